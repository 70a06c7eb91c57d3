// SPDX-License-Identifier: MIT
// The sun's elevation and the day's events (the transit and the two
// crossings a sunrise or sunset condition needs), per call, against the
// trivial native sh_calendar measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_host.h"
#include "ratio_main.h"
#include "sh-sys-sun.h"

namespace {

struct Place {
    double latitude;
    double longitude;
    int64_t utcMs; // an instant over 1970..2099
};

// Places between 65 S and 65 N at instants spread over the range, so that
// branches see real data.
const std::vector<Place> &places() {
    static const std::vector<Place> ps = [] {
        std::vector<Place> v;
        uint64_t x = 88172645463325252ULL;
        const auto next = [&x] {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            return x;
        };
        for (int i = 0; i < 4096; ++i) {
            const double latitude = double(next() % 13001) / 100.0 - 65.0;
            const double longitude = double(next() % 36001) / 100.0 - 180.0;
            v.push_back({latitude, longitude, int64_t(next() % 4102444800000ULL)});
        }
        return v;
    }();
    return ps;
}

void BM_Calendar(benchmark::State &state) {
    kbench::PluginGuard plugin;
    sh_time_update(1718447400000ULL); // 2024-06-15 10:30:00
    qo_object argv[3] = {qo_object_new_int32(24), qo_object_new_int32(6), qo_object_new_int32(15)};
    for (auto _ : state) {
        qo_object out = nullptr;
        benchmark::DoNotOptimize(sh_calendar(1, argv, 3, &out));
        qo_object_free(&out);
    }
    for (qo_object &o : argv)
        qo_object_free(&o);
}
BENCHMARK(BM_Calendar);

void BM_SunElevation(benchmark::State &state) {
    const auto &ps = places();
    size_t i = 0;
    for (auto _ : state) {
        const Place &p = ps[i++ & 4095];
        benchmark::DoNotOptimize(sh_sun_elevation(p.latitude, p.longitude, p.utcMs));
    }
}
BENCHMARK(BM_SunElevation);

// As a condition asks: one place, the clock moving on a second a call.
void BM_SunElevationTicking(benchmark::State &state) {
    int64_t ms = 1718447400000LL; // 2024-06-15 10:30:00 UTC
    for (auto _ : state)
        benchmark::DoNotOptimize(sh_sun_elevation(48.2, 16.37, ms += 1000));
}
BENCHMARK(BM_SunElevationTicking);

void BM_SunTransit(benchmark::State &state) {
    const auto &ps = places();
    size_t i = 0;
    for (auto _ : state) {
        const Place &p = ps[i++ & 4095];
        benchmark::DoNotOptimize(sh_sun_transit(p.longitude, p.utcMs / 1000));
    }
}
BENCHMARK(BM_SunTransit);

// What the first question of a day costs: the transit nearest the day's
// noon and the crossings before and after it.
void day(benchmark::State &state, double altitude) {
    const auto &ps = places();
    size_t i = 0;
    for (auto _ : state) {
        const Place &p = ps[i++ & 4095];
        const int64_t transit = sh_sun_transit(p.longitude, p.utcMs / 1000);
        int64_t rise = 0, set = 0;
        bool above = false;
        benchmark::DoNotOptimize(
            sh_sun_crossing(p.latitude, p.longitude, altitude, transit, true, &rise, &above));
        benchmark::DoNotOptimize(
            sh_sun_crossing(p.latitude, p.longitude, altitude, transit, false, &set, &above));
        benchmark::DoNotOptimize(rise);
        benchmark::DoNotOptimize(set);
    }
}
void BM_SunDayRiseSet(benchmark::State &state) {
    day(state, SUN_ALTITUDE_RISE_SET);
}
BENCHMARK(BM_SunDayRiseSet);
void BM_SunDayCivil(benchmark::State &state) {
    day(state, SUN_ALTITUDE_CIVIL);
}
BENCHMARK(BM_SunDayCivil);

// One place, day after day, as the per-day cache asks.
void BM_SunDayTicking(benchmark::State &state) {
    int64_t noon = 1718449800; // 2024-06-15 11:10 UTC, mean noon at 16.37 E
    for (auto _ : state) {
        const int64_t transit = sh_sun_transit(16.37, noon += 86400);
        int64_t rise = 0, set = 0;
        bool above = false;
        benchmark::DoNotOptimize(
            sh_sun_crossing(48.2, 16.37, SUN_ALTITUDE_RISE_SET, transit, true, &rise, &above));
        benchmark::DoNotOptimize(
            sh_sun_crossing(48.2, 16.37, SUN_ALTITUDE_RISE_SET, transit, false, &set, &above));
        benchmark::DoNotOptimize(rise);
        benchmark::DoNotOptimize(set);
        if (noon > 4000000000)
            noon = 1718449800;
    }
}
BENCHMARK(BM_SunDayTicking);

} // namespace

KBENCH_MAIN({"BM_SunElevation", "BM_Calendar"}, {"BM_SunElevationTicking", "BM_Calendar"},
            {"BM_SunTransit", "BM_Calendar"}, {"BM_SunDayRiseSet", "BM_Calendar"},
            {"BM_SunDayCivil", "BM_Calendar"}, {"BM_SunDayTicking", "BM_Calendar"})
