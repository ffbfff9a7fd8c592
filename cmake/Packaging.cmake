# Installs the CMake package ZelIO (find_package(ZelIO CONFIG)) and the pkg-config file zelio.pc.
include(CMakePackageConfigHelpers)

set(ZELIO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZelIO)
install(EXPORT ZelIOTargets NAMESPACE ZelIO:: DESTINATION ${ZELIO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZelIOConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/ZelIOConfig.cmake INSTALL_DESTINATION ${ZELIO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ZelIOConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ZelIOConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/ZelIOConfigVersion.cmake
    DESTINATION ${ZELIO_CMAKE_DIR})

# The .pc file finds its prefix relative to itself, so the installed tree can move.
file(RELATIVE_PATH ZELIO_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zelio.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zelio.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zelio.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
