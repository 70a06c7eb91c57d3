# SPDX-License-Identifier: MIT
# 32-bit ARM, hard float (armhf) with Debian's cross compiler; tests run under qemu-user on the
# target's sysroot. Packages: g++-arm-linux-gnueabihf qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KELVO_TARGET_TRIPLE arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
