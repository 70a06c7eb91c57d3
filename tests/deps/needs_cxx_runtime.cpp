// SPDX-License-Identifier: MIT
// A library that needs the C++ runtime, which the plug-in must not:
// scripts/check-deps has to refuse it whatever scripts/allowed-deps.txt says.
#include <cstddef>
#include <string>

extern "C" __attribute__((visibility("default"))) std::size_t deps_probe_length(const char *text) {
    return std::string(text).size();
}
