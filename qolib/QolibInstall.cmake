# SPDX-License-Identifier: MIT
# Install rules of the stand-in qolib: the library under its SONAME with its
# link name, qolib.h, the CMake package "qolib" (imported target kelvo::qolib)
# and qolib.pc. Used by the whole project (KELVO_QOLIB=bundled) and by qolib/
# built alone, as a host's own qolib would be.
include(CMakePackageConfigHelpers)
set_target_properties(qolib PROPERTIES EXPORT_NAME qolib)
install(TARGETS qolib EXPORT qolib-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT qolib-targets NAMESPACE kelvo:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qolib COMPONENT dev)
set(QOLIB_CMAKE_IN_DIR ${CMAKE_CURRENT_LIST_DIR}/../cmake)
configure_file(${QOLIB_CMAKE_IN_DIR}/qolib-config.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/qolib-config.cmake @ONLY)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qolib-config-version.cmake
  VERSION 1.0.0 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qolib-config.cmake ${CMAKE_CURRENT_BINARY_DIR}/qolib-config-version.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qolib COMPONENT dev)

# The .pc file finds its prefix from where it lies.
file(RELATIVE_PATH QOLIB_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KELVO_PC_TO_PREFIX "${QOLIB_PC_TO_PREFIX}")
configure_file(${QOLIB_CMAKE_IN_DIR}/qolib.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qolib.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qolib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
