# SPDX-License-Identifier: MIT
# Windows x86_64 with mingw-w64; tests run under wine. Packages:
# g++-mingw-w64-x86-64-posix (and -win32) wine64.
# KELVO_MINGW_THREADS picks the compiler's thread model: posix (the whole
# project: the host and tests use std::thread) or win32 (Debian's default,
# which lacks std::thread and std::mutex: the libraries build with it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELVO_MINGW_THREADS posix CACHE STRING "mingw-w64 thread model: win32 or posix")
set(KELVO_TARGET_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVO_TARGET_TRIPLE}-gcc-${KELVO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${KELVO_TARGET_TRIPLE}-g++-${KELVO_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${KELVO_TARGET_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELVO_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's runtime goes into each binary, so that the DLLs and programs
# run from the build tree (and wherever they are copied) without it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# The posix model's threads live in libwinpthread-1.dll, found through
# WINEPATH; a quiet wine keeps test output readable.
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPATH=/usr/${KELVO_TARGET_TRIPLE}/lib wine)
