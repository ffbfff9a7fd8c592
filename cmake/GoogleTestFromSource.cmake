# GoogleTest and GoogleMock built with the project, for a toolchain that has no GoogleTest package
# (the Windows cross build): from the sources Debian's libgtest-dev ships.
set(ZELIO_GOOGLETEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian: libgtest-dev)")
if(NOT EXISTS ${ZELIO_GOOGLETEST_SOURCES}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest package for this toolchain, and no GoogleTest sources in ${ZELIO_GOOGLETEST_SOURCES}")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest with the project" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "Build GoogleMock" FORCE)
add_subdirectory(${ZELIO_GOOGLETEST_SOURCES} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Recent sources name their targets GTest::... themselves.
foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
        add_library(GTest::${library} ALIAS ${library})
    endif()
endforeach()
