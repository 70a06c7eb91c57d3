# SPDX-License-Identifier: MIT
# Install rules, the CMake packages, pkg-config files and the CPack archive.
# Debian packages are made by debian/ (dpkg-buildpackage), not here.
#
# Components: "runtime" (the two libraries under their SONAMEs), "dev"
# (headers, link names, export lists, CMake and pkg-config files) and
# "host" (sh-sys-host, its manual page and the examples) and "holidays"
# (the holiday schedule file). qolib has a CMake
# package of its own (kelvo::qolib), so that a host that brings its own qolib
# can put it in place of ours.
include(CMakePackageConfigHelpers)

set(KELVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelvo-sh-sys)
set(KELVO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The plug-in finds qolib installed beside it.
set_target_properties(kelvo-sh-sys PROPERTIES EXPORT_NAME sh-sys INSTALL_RPATH "$ORIGIN")
if(KELVO_QOLIB STREQUAL "bundled" AND NOT CMAKE_SKIP_INSTALL_RPATH)
  # The stand-in lies beside it in the build tree too: the plug-in is built
  # as it is installed, with no path of the build machine inside, and its
  # size (scripts/footprint) does not depend on where it was built. (The
  # Debian build installs no search path and keeps the build tree's.)
  set_target_properties(kelvo-sh-sys PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
endif()
install(TARGETS kelvo-sh-sys EXPORT kelvo-sh-sys-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/include/kelvo_sh_sys_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/kelvo_sh_sys.def ${PROJECT_SOURCE_DIR}/include/kelvo_sh_sys.map
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo-sh-sys COMPONENT dev)

# The stand-in's own rules (qolib/QolibInstall.cmake); with KELVO_QOLIB=system
# nothing of qolib is installed.
if(KELVO_QOLIB STREQUAL "bundled")
  include(${PROJECT_SOURCE_DIR}/qolib/QolibInstall.cmake)
endif()

install(EXPORT kelvo-sh-sys-targets NAMESPACE kelvo:: DESTINATION ${KELVO_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kelvo-sh-sys-config.cmake.in
  ${PROJECT_BINARY_DIR}/kelvo-sh-sys-config.cmake INSTALL_DESTINATION ${KELVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kelvo-sh-sys-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kelvo-sh-sys-config.cmake ${PROJECT_BINARY_DIR}/kelvo-sh-sys-config-version.cmake
  DESTINATION ${KELVO_CMAKE_DIR} COMPONENT dev)

# pkg-config files find their prefix from where they lie, so the same files
# serve any install prefix and the packages.
file(RELATIVE_PATH KELVO_PC_TO_PREFIX /${KELVO_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" KELVO_PC_TO_PREFIX "${KELVO_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kelvo-sh-sys.pc.in ${PROJECT_BINARY_DIR}/kelvo-sh-sys.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kelvo-sh-sys.pc DESTINATION ${KELVO_PKGCONFIG_DIR} COMPONENT dev)

if(KELVO_BUILD_HOST)
  file(RELATIVE_PATH KELVO_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(sh-sys-host PROPERTIES INSTALL_RPATH "$ORIGIN/${KELVO_BIN_TO_LIB}")
  install(TARGETS sh-sys-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
  # doc/sh-sys-host.1 is kept by hand beside --help; a test holds the two
  # to the same options.
  install(FILES ${PROJECT_SOURCE_DIR}/doc/sh-sys-host.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host)
  file(GLOB KELVO_SCENARIOS ${PROJECT_SOURCE_DIR}/examples/*.scn)
  install(FILES ${KELVO_SCENARIOS} ${PROJECT_SOURCE_DIR}/examples/minimal-host.c
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT host)
endif()

# The holiday schedule the plug-in carries built in, as a file: the
# starting point of a schedule a host loads (sh_holiday_schedule_load), and
# the content of the data-only Debian package kelvo-sh-sys-holidays.
install(FILES ${PROJECT_SOURCE_DIR}/data/holidays-cn.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo-sh-sys COMPONENT holidays)

# CPack makes one .tar.gz of everything (cd build/host && cpack).
set(CPACK_PACKAGE_NAME kelvo-sh-sys)
set(CPACK_PACKAGE_VENDOR "the kelvo-sh-sys authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR TGZ)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
