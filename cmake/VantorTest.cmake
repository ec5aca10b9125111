# vantor_add_test(NAME SOURCES... [LIBS ...] [LABELS ...] [ARCHIVER]): one QtTest executable,
# linked with the test support library and registered with CTest. ARCHIVER marks a test that runs
# 7za through the installation folder's link: where the build found no 7za, CTest does not run it
# and names the missing link. Test executables stay out of the installation folder.
function(vantor_add_test name)
    if(NOT VANTOR_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "ARCHIVER" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    target_link_libraries(${name} PRIVATE vantor_test_support Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}")
    target_compile_definitions(${name} PRIVATE
        VANTOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        VANTOR_INSTALL_DIR="${VANTOR_INSTALL_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    # A run in which every test function skipped (a slow test without VANTOR_SLOW_TESTS, say)
    # shows as not run, never as passed.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        SKIP_REGULAR_EXPRESSION "Totals: 0 passed, 0 failed, [1-9][0-9]* skipped"
        TIMEOUT 300)
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    if(ARG_ARCHIVER)
        set_tests_properties(${name} PROPERTIES REQUIRED_FILES "${VANTOR_INSTALL_DIR}/7za")
    endif()
endfunction()
