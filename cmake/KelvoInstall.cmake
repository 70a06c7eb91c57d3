# SPDX-License-Identifier: MIT
# Install rules, the CMake package, pkg-config files and CPack packages.
#
# Components: "runtime" (the two libraries under their SONAMEs), "dev"
# (headers, link names, export lists, CMake and pkg-config files) and
# "host" (sh-sys-host, its manual page and the examples).
include(CMakePackageConfigHelpers)

set(KELVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelvo-sh-sys)
set(KELVO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set_target_properties(qolib PROPERTIES EXPORT_NAME qolib)
# The plug-in finds qolib installed beside it.
set_target_properties(kelvo-sh-sys PROPERTIES EXPORT_NAME sh-sys INSTALL_RPATH "$ORIGIN")

install(TARGETS qolib kelvo-sh-sys EXPORT kelvo-sh-sys-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/kelvo_sh_sys.def ${PROJECT_SOURCE_DIR}/include/kelvo_sh_sys.map
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvo-sh-sys COMPONENT dev)

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
foreach(pc kelvo-sh-sys qolib)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${KELVO_PKGCONFIG_DIR} COMPONENT dev)
endforeach()

if(KELVO_BUILD_HOST)
  file(RELATIVE_PATH KELVO_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(sh-sys-host PROPERTIES INSTALL_RPATH "$ORIGIN/${KELVO_BIN_TO_LIB}")
  install(TARGETS sh-sys-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
  # The manual page is sh-sys-host's own --help text.
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/sh-sys-host.1
    COMMAND sh-sys-host --help > ${PROJECT_BINARY_DIR}/sh-sys-host.txt
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_BINARY_DIR}/sh-sys-host.txt -DOUT=${PROJECT_BINARY_DIR}/sh-sys-host.1
            -DVERSION=${PROJECT_VERSION} -P ${PROJECT_SOURCE_DIR}/cmake/help-to-man.cmake
    DEPENDS sh-sys-host ${PROJECT_SOURCE_DIR}/cmake/help-to-man.cmake
    COMMENT "Writing the sh-sys-host manual page")
  add_custom_target(sh-sys-host-man ALL DEPENDS ${PROJECT_BINARY_DIR}/sh-sys-host.1)
  install(FILES ${PROJECT_BINARY_DIR}/sh-sys-host.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host)
  file(GLOB KELVO_SCENARIOS ${PROJECT_SOURCE_DIR}/examples/*.scn)
  install(FILES ${KELVO_SCENARIOS} ${PROJECT_SOURCE_DIR}/examples/minimal-host.c
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT host)
endif()

set(CPACK_PACKAGE_NAME kelvo-sh-sys)
set(CPACK_PACKAGE_VENDOR "kelvo-sh-sys developers")
set(CPACK_PACKAGE_CONTACT "kelvo-sh-sys developers <kelvo-sh-sys@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkelvo-sh-sys${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkelvo-sh-sys-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libkelvo-sh-sys${PROJECT_VERSION_MAJOR} (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_HOST_PACKAGE_NAME kelvo-sh-sys-host)
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "libkelvo-sh-sys${PROJECT_VERSION_MAJOR} (= ${CPACK_PACKAGE_VERSION}), libstdc++6")
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION devel)
set(CPACK_COMPONENTS_ALL runtime dev host)
include(CPack)
