// SPDX-License-Identifier: MIT
// The script time conditions, per call, each with its one qolib value.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>

#include "bench_host.h"
#include "ratio_main.h"

namespace {

constexpr uint64_t NOW = 1718447400000ULL; // 2024-06-15 10:30:00

template <bool (*Native)(uint32_t, qo_object *, int32_t, qo_object *)>
void runNative(benchmark::State &state, std::initializer_list<int32_t> values) {
    kbench::PluginGuard plugin;
    sh_time_update(NOW);
    qo_object argv[8] = {};
    int32_t argc = 0;
    for (int32_t v : values)
        argv[argc++] = qo_object_new_int32(v);
    for (auto _ : state) {
        qo_object out = nullptr;
        benchmark::DoNotOptimize(Native(1, argv, argc, &out));
        qo_object_free(&out);
    }
    for (int32_t i = 0; i < argc; ++i)
        qo_object_free(&argv[i]);
}

void BM_Calendar(benchmark::State &s) {
    runNative<sh_calendar>(s, {24, 6, 15});
}
void BM_WeekDay(benchmark::State &s) {
    runNative<sh_week_day>(s, {0x60});
}
void BM_SecondOfDay(benchmark::State &s) {
    runNative<sh_get_second_of_day>(s, {});
}
void BM_LunarTime(benchmark::State &s) {
    runNative<sh_lunar_time>(s, {5, 10});
}
void BM_TimeRange(benchmark::State &s) {
    runNative<sh_time_range>(s, {-1, -1, -1, 28800, -1, -1, -1, 64800});
}
// Timer controls, with one pending delay of the calling VM: the shape of a
// script that restarts its timer or asks how long is left.
void BM_DelayRestart(benchmark::State &state) {
    kbench::PluginGuard plugin;
    sh_time_update(NOW);
    qo_object argv[2] = {qo_object_new_int32(1), qo_object_new_int32(300)};
    if (!sh_delay(1, argv, 2, nullptr))
        state.SkipWithError("no delay");
    for (auto _ : state)
        benchmark::DoNotOptimize(sh_delay_restart(1, argv, 2, nullptr));
    qo_object_free(&argv[0]);
    qo_object_free(&argv[1]);
}
void BM_DelayRemaining(benchmark::State &state) {
    kbench::PluginGuard plugin;
    sh_time_update(NOW);
    qo_object argv[2] = {qo_object_new_int32(1), qo_object_new_int32(300)};
    if (!sh_delay(1, argv, 2, nullptr))
        state.SkipWithError("no delay");
    for (auto _ : state) {
        qo_object out = nullptr;
        benchmark::DoNotOptimize(sh_delay_remaining(1, argv, 1, &out));
        qo_object_free(&out);
    }
    qo_object_free(&argv[0]);
    qo_object_free(&argv[1]);
}

BENCHMARK(BM_Calendar);
BENCHMARK(BM_DelayRestart);
BENCHMARK(BM_DelayRemaining);
BENCHMARK(BM_WeekDay);
BENCHMARK(BM_SecondOfDay);
BENCHMARK(BM_LunarTime);
BENCHMARK(BM_TimeRange);

// The floor of sh_time_range: the three mktime calls it makes.
void BM_ThreeMktime(benchmark::State &state) {
    for (auto _ : state) {
        for (int sec : {37800, 28800, 64800}) {
            struct tm tm;
            std::memset(&tm, 0, sizeof tm);
            tm.tm_year = 124;
            tm.tm_mon = 5;
            tm.tm_mday = 15;
            tm.tm_hour = sec / 3600;
            tm.tm_min = sec / 60 % 60;
            tm.tm_sec = sec % 60;
            benchmark::DoNotOptimize(mktime(&tm));
        }
    }
}
BENCHMARK(BM_ThreeMktime);

// What one result value costs on its own.
void BM_NewBoolValue(benchmark::State &state) {
    for (auto _ : state) {
        qo_object o = qo_object_new_bool(true);
        benchmark::DoNotOptimize(o);
        qo_object_free(&o);
    }
}
BENCHMARK(BM_NewBoolValue);

} // namespace

KBENCH_MAIN({"BM_TimeRange", "BM_ThreeMktime"}, {"BM_Calendar", "BM_NewBoolValue"},
            {"BM_WeekDay", "BM_NewBoolValue"}, {"BM_LunarTime", "BM_NewBoolValue"},
            {"BM_DelayRestart", "BM_Calendar"}, {"BM_DelayRemaining", "BM_Calendar"})
