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
