# SPDX-License-Identifier: MIT
# Shared by the Linux cross toolchains: compilers and search paths for the
# Debian multiarch-less cross layout /usr/<triple>.
set(CMAKE_C_COMPILER ${KELVO_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KELVO_TARGET_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${KELVO_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# A staging sysroot that packages were installed into with DESTDIR, as an
# SDK (OpenWrt, Buildroot, Yocto) stages them: -DKELVO_STAGING_DIR=/path is
# searched beside the compiler's own root. CMAKE_SYSROOT stays unset: Debian's
# cross compilers keep the target's C library in /usr/<triple>, not there.
if(KELVO_STAGING_DIR)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELVO_STAGING_DIR})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELVO_STAGING_DIR)
