# cmake -D LINK=<path> -P VantorArchiverLink.cmake: points LINK at the 7za on the PATH, or removes
# it where there is none (the programs then look for 7za on the PATH themselves). The build runs
# it for the installation folder in the build tree, and `cmake --install` for the one it makes.
find_program(archiver 7za NO_CACHE)
if(archiver)
    file(CREATE_LINK "${archiver}" "${LINK}" SYMBOLIC)
else()
    file(REMOVE "${LINK}")
    message(STATUS "No 7za on the PATH (Debian: p7zip-full): no link at ${LINK}")
endif()
