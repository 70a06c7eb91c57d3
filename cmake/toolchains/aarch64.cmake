# SPDX-License-Identifier: MIT
# 64-bit ARM (aarch64) with Debian's cross compiler; tests run under qemu-user on the
# target's sysroot. Packages: g++-aarch64-linux-gnu qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KELVO_TARGET_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
