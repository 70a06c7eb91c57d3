# SPDX-License-Identifier: MIT
# 32-bit MIPS, big-endian with Debian's cross compiler; tests run under qemu-user on the
# target's sysroot. Packages: g++-mips-linux-gnu qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(KELVO_TARGET_TRIPLE mips-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips -L /usr/mips-linux-gnu)
