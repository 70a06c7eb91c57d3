# SPDX-License-Identifier: MIT
# 32-bit MIPS, little-endian with Debian's cross compiler; tests run under qemu-user on the
# target's sysroot. Packages: g++-mipsel-linux-gnu qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(KELVO_TARGET_TRIPLE mipsel-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L /usr/mipsel-linux-gnu)
