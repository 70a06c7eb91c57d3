# SPDX-License-Identifier: MIT
# KELVO_QOLIB=system: the plug-in is built against the host's own qolib
# instead of the stand-in, which is then neither built nor installed. The
# host's qolib is found as a CMake package "qolib" defining kelvo::qolib
# (CMAKE_PREFIX_PATH, qolib_DIR) or else as the pkg-config module "qolib"
# (PKG_CONFIG_PATH). Either way the rest of the build links "qolib" as it
# links the stand-in, and the installed kelvo-sh-sys package names
# kelvo::qolib, which its config file finds the same two ways.
find_package(qolib 1 CONFIG QUIET)
if(TARGET kelvo::qolib)
  message(STATUS "qolib: the host's, CMake package in ${qolib_DIR}")
else()
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(KELVO_SYSTEM_QOLIB QUIET qolib)
  endif()
  if(NOT KELVO_SYSTEM_QOLIB_FOUND)
    message(FATAL_ERROR "KELVO_QOLIB=system: no qolib found, neither a CMake package qolib "
      "(set CMAKE_PREFIX_PATH or qolib_DIR) nor a pkg-config module qolib (set PKG_CONFIG_PATH)")
  endif()
  # A shared library target with its file, as the CMake package gives: the
  # tests open the library by its path.
  find_library(KELVO_SYSTEM_QOLIB_LIBRARY qolib HINTS ${KELVO_SYSTEM_QOLIB_LIBRARY_DIRS} NO_CACHE)
  if(NOT KELVO_SYSTEM_QOLIB_LIBRARY)
    message(FATAL_ERROR "pkg-config names qolib in ${KELVO_SYSTEM_QOLIB_LIBRARY_DIRS}, but no libqolib is there")
  endif()
  add_library(kelvo::qolib SHARED IMPORTED)
  set_target_properties(kelvo::qolib PROPERTIES
    IMPORTED_LOCATION ${KELVO_SYSTEM_QOLIB_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES "${KELVO_SYSTEM_QOLIB_INCLUDE_DIRS}"
    INTERFACE_COMPILE_OPTIONS "${KELVO_SYSTEM_QOLIB_CFLAGS_OTHER}")
  message(STATUS "qolib: the host's, pkg-config module ${KELVO_SYSTEM_QOLIB_LIBRARY} ${KELVO_SYSTEM_QOLIB_VERSION}")
endif()
add_library(qolib ALIAS kelvo::qolib)
