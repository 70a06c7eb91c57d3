# SPDX-License-Identifier: MIT
# 64-bit RISC-V (lp64d) with Debian's cross compiler; tests run under qemu-user on the
# target's sysroot. Packages: g++-riscv64-linux-gnu qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(KELVO_TARGET_TRIPLE riscv64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-riscv64 -L /usr/riscv64-linux-gnu)
