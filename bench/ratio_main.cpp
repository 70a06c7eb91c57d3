// SPDX-License-Identifier: MIT
#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace kbench {

namespace {

// Keeps the real time per iteration of every run while printing as usual.
class Collector : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                ns[r.benchmark_name()] =
                    r.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
};

// "BM_X/100/iterations:50" -> ("BM_X", "/100"): the name and its first argument
std::pair<std::string, std::string> split(const std::string &name) {
    const size_t slash = name.find('/');
    if (slash == std::string::npos)
        return {name, std::string()};
    const size_t next = name.find('/', slash + 1);
    return {name.substr(0, slash),
            name.substr(slash, next == std::string::npos ? next : next - slash)};
}

} // namespace

int runWithRatios(int argc, char **argv, const std::vector<Ratio> &ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    bool header = false;
    for (const Ratio &ratio : ratios) {
        for (const auto &[name, ns] : collector.ns) {
            const auto [prefix, suffix] = split(name);
            if (prefix != ratio.subject)
                continue;
            auto base = collector.ns.find(ratio.baseline + suffix);
            if (base == collector.ns.end())
                base = collector.ns.find(ratio.baseline);
            if (base == collector.ns.end() || base->second <= 0)
                continue;
            if (!header) {
                std::printf("\n%-44s %-36s %s\n", "ratio: subject", "baseline (same run)",
                            "subject / baseline");
                header = true;
            }
            std::printf("%-44s %-36s %6.2fx\n", name.c_str(), base->first.c_str(),
                        ns / base->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace kbench
