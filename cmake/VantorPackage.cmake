# The installation for everyone that the Debian package carries: the programs on the PATH, the
# rest in share/vantor/, the desktop entry and icon where menus look. It is its own install
# component, left out of a plain `cmake --install`, which keeps making a self-contained folder.
#   cpack -G DEB            (in the build folder) makes vantor_<version>_<arch>.deb
include(GNUInstallDirs)

set(VANTOR_PACKAGE_COMPONENT system)
set(system_install COMPONENT ${VANTOR_PACKAGE_COMPONENT} EXCLUDE_FROM_ALL)

install(TARGETS vantor-build DESTINATION ${CMAKE_INSTALL_BINDIR} ${system_install})
if(TARGET vantor)
    install(TARGETS vantor DESTINATION ${CMAKE_INSTALL_BINDIR} ${system_install})
endif()
install(FILES resources/blank.html DESTINATION ${CMAKE_INSTALL_DATADIR}/vantor ${system_install})
install(DIRECTORY resources/plugintemplate DESTINATION ${CMAKE_INSTALL_DATADIR}/vantor ${system_install})
# Found by the window program in share/vantor beside its bin/ folder.
install(DIRECTORY resources/manual DESTINATION ${CMAKE_INSTALL_DATADIR}/vantor ${system_install})
install(FILES resources/vantor.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        ${system_install})

set(VANTOR_BINARY vantor)
set(VANTOR_ICON vantor)
configure_file(resources/vantor.desktop.in "${CMAKE_BINARY_DIR}/package/vantor.desktop" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/package/vantor.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        ${system_install})

# Debian wants the changelog and the manual pages compressed the reproducible way.
find_program(VANTOR_GZIP gzip REQUIRED)
set(compressed)
foreach(name changelog vantor.1 vantor-build.1)
    set(out "${CMAKE_BINARY_DIR}/package/${name}.gz")
    add_custom_command(OUTPUT "${out}"
        COMMAND "${VANTOR_GZIP}" -9nc "${PROJECT_SOURCE_DIR}/resources/debian/${name}" > "${out}"
        DEPENDS "${PROJECT_SOURCE_DIR}/resources/debian/${name}"
        VERBATIM)
    list(APPEND compressed "${out}")
endforeach()
add_custom_target(vantor_package_files ALL DEPENDS ${compressed})
install(FILES resources/debian/copyright "${CMAKE_BINARY_DIR}/package/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantor ${system_install})
install(FILES "${CMAKE_BINARY_DIR}/package/vantor.1.gz" "${CMAKE_BINARY_DIR}/package/vantor-build.1.gz"
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 ${system_install})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantor developers")
set(CPACK_PACKAGE_CONTACT "Vantor developers <developers@vantor.dev>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VANTOR_PACKAGE_COMPONENT})
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME vantor)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vantor.dev)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The archiver is found on the PATH.
set(CPACK_DEBIAN_PACKAGE_DEPENDS p7zip-full)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "turns a small HTML sales site into a WordPress plugin
Vantor loads a reseller site's folder, lets you mark its sales page and its
download page, edit them in place to say where the buy button and the download
links go, and makes a WordPress plugin ZIP that serves both pages from inside
WordPress, with every image, style sheet and script of the site in place and
the files a buyer pays for handed out only at a secret download address.")
include(CPack)
