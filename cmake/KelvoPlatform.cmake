# SPDX-License-Identifier: MIT
# What the target's toolchain needs, found by asking it rather than by a list
# of targets: 64-bit time and file offsets, libatomic, and, when cross
# compiling, the header-only libraries the build machine has.
include(CheckCSourceCompiles)
include(CheckCXXSourceCompiles)
include(CMakePushCheckState)

# glibc keeps a 32-bit time_t and off_t on 32-bit targets unless asked;
# asking costs nothing where they are 64 bits already. Directory-wide, so
# every library, program and test (and GoogleTest, when built here) agrees;
# nothing of it reaches the installed package: the public headers hold no
# time_t or off_t (tests/abi/layout.c proves it).
cmake_push_check_state(RESET)
set(CMAKE_REQUIRED_DEFINITIONS -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64)
check_c_source_compiles([[
#include <sys/types.h>
#include <time.h>
typedef char time_is_64_bits[sizeof(time_t) == 8 ? 1 : -1];
typedef char off_is_64_bits[sizeof(off_t) == 8 ? 1 : -1];
int main(void) { return 0; }
]] KELVO_HAVE_64BIT_TIME_AND_OFFSETS)
cmake_pop_check_state()
if(KELVO_HAVE_64BIT_TIME_AND_OFFSETS)
  add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)
else()
  message(WARNING "The C library offers no 64-bit time_t; home time past 2038 will be wrong")
endif()

# A 64-bit atomic is a library call on targets without 64-bit atomic
# instructions (32-bit MIPS): link libatomic there, and only there.
set(KELVO_ATOMIC_PROBE [[
#include <atomic>
#include <cstdint>
std::atomic<std::uint64_t> value{0};
int main() { value.store(value.load() + 1); return static_cast<int>(value.fetch_add(1)); }
]])
check_cxx_source_compiles("${KELVO_ATOMIC_PROBE}" KELVO_ATOMIC64_BUILTIN)
if(NOT KELVO_ATOMIC64_BUILTIN)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_LIBRARIES atomic)
  check_cxx_source_compiles("${KELVO_ATOMIC_PROBE}" KELVO_ATOMIC64_WITH_LIBATOMIC)
  cmake_pop_check_state()
  if(NOT KELVO_ATOMIC64_WITH_LIBATOMIC)
    message(FATAL_ERROR "std::atomic<uint64_t> links neither alone nor with libatomic")
  endif()
  link_libraries(atomic)
endif()

# Header-only libraries (CLI11) come from the build machine when cross
# compiling; a root holding only them keeps the rest of /usr/include (the
# build machine's C library) away from the target's compiler.
if(CMAKE_CROSSCOMPILING)
  set(KELVO_CROSS_OVERLAY ${PROJECT_BINARY_DIR}/cross-overlay)
  foreach(dir include/CLI share/cmake/CLI11)
    if(EXISTS /usr/${dir})
      get_filename_component(parent ${KELVO_CROSS_OVERLAY}/usr/${dir} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK /usr/${dir} ${KELVO_CROSS_OVERLAY}/usr/${dir} SYMBOLIC)
    endif()
  endforeach()
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELVO_CROSS_OVERLAY})
  if(EXISTS ${KELVO_CROSS_OVERLAY}/usr/include/CLI)
    set(KELVO_CLI11_INCLUDE_DIR ${KELVO_CROSS_OVERLAY}/usr/include)
  endif()
endif()

# Paths baked into test programs must be ones the target can open: a Windows
# build run under wine sees the build machine's / as drive Z:.
set(KELVO_TARGET_PATH_PREFIX "")
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  set(KELVO_TARGET_PATH_PREFIX "Z:")
endif()

# Tests that start target programs through the shell start them as ctest
# does: through the emulator. Wine's own cmd.exe starts Windows programs.
set(KELVO_TEST_EMULATOR "")
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR AND NOT WIN32)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " KELVO_TEST_EMULATOR)
endif()
