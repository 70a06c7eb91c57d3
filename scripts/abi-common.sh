# SPDX-License-Identifier: MIT
# Shared by scripts/update-abi and scripts/check-abi: where the libraries
# are built and how their ABI is written, the same way for both.
set -euo pipefail
cd "$(dirname "$0")/.."

# The dev preset's build: it carries debug information, which abidw reads.
ABI_BUILD=${ABI_BUILD:-build/dev}
ABI_DIR=abi
ABI_LIBS=(kelvo-sh-sys qolib)

abi_build() {
  if [ ! -f "$ABI_BUILD/CMakeCache.txt" ]; then
    cmake --preset dev > /dev/null
  fi
  cmake --build "$ABI_BUILD" -j2 --target "${ABI_LIBS[@]}" > /dev/null
}

# The built library of target $1, under its SONAME.
abi_library() {
  local real
  real=$(find "$ABI_BUILD/lib" -maxdepth 1 -type f -name "lib$1.so.*" | head -n 1)
  [ -n "$real" ] || { echo "no lib$1.so.* in $ABI_BUILD/lib" >&2; return 1; }
  echo "$real"
}

abi_soname() {
  readelf -d "$1" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p'
}

# Paths (source files relative to the tree), locations and needed libraries differ between builds of the same
# interface, so they stay out of the stored form.
abi_dump() {
  abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed "$1" |
    sed "s|path='$PWD/|path='|" > "$2"
}

# Debian's name of the package that holds a library: libfoo.so.4 -> libfoo4.
abi_package() {
  local soname=$1 base version
  base=${soname%%.so.*}
  version=${soname##*.so.}
  case $base in
    *[0-9]) echo "$base-$version" ;;
    *) echo "$base$version" ;;
  esac
}

abi_project_version() {
  sed -n 's/^project(kelvo-sh-sys VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}
