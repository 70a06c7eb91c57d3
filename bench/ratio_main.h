// SPDX-License-Identifier: MIT
// A benchmark main that also prints, after the usual table, each measured
// case as a ratio to its baseline from the same run.
#pragma once

#include <string>
#include <vector>

namespace kbench {

struct Ratio {
    std::string subject;  // benchmark name prefix, such as "BM_TickNoFire"
    std::string baseline; // matched by the same "/arg" suffix, or alone
};

int runWithRatios(int argc, char **argv, const std::vector<Ratio> &ratios);

} // namespace kbench

#define KBENCH_MAIN(...)                                                                           \
    int main(int argc, char **argv) {                                                              \
        return kbench::runWithRatios(argc, argv, {__VA_ARGS__});                                   \
    }
