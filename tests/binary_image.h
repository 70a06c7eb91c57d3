// SPDX-License-Identifier: MIT
// Reads the dynamic symbols of a shared library as the loader sees them:
// ELF (32 or 64 bits, either byte order) and PE (Windows DLLs). Every
// offset is checked against the file; the first malformed header ends the
// reading with an error instead of reading on.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace binimg {

struct Exports {
    std::set<std::string> defined;   // exported names
    std::vector<std::string> needed; // libraries needed by name
    std::string name;                // ELF soname or the PE export name
    std::string error;               // empty when the image was read whole
};

Exports readElf(const std::vector<unsigned char> &image);
Exports readPe(const std::vector<unsigned char> &image);
// ELF or PE, by the magic number.
Exports readSharedLibrary(const std::vector<unsigned char> &image);

// A small ELF image holding a .dynsym, a .dynstr and a .dynamic: the test
// reads every class and byte order whatever the machine builds.
std::vector<unsigned char> makeElf(bool is64, bool bigEndian,
                                   const std::vector<std::string> &defined,
                                   const std::vector<std::string> &needed,
                                   const std::string &soname);

} // namespace binimg
