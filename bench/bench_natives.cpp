// SPDX-License-Identifier: MIT
// The script time conditions, per call, each with its one qolib value.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
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

// The plug-in's own conditions, each measured against sh_calendar.
void BM_TimeOfDay(benchmark::State &s) {
    runNative<sh_time_of_day>(s, {79200, 21600});
}
void BM_LunarDay(benchmark::State &s) {
    runNative<sh_lunar_day>(s, {5, 10, -1});
}
void BM_LunarDayLast(benchmark::State &s) {
    runNative<sh_lunar_day>(s, {12, -1, 0});
}
void BM_SolarTerm(benchmark::State &s) {
    runNative<sh_solar_term>(s, {0});
}
BENCHMARK(BM_TimeOfDay);
BENCHMARK(BM_LunarDay);
BENCHMARK(BM_LunarDayLast);
BENCHMARK(BM_SolarTerm);

// The holiday conditions, each measured against sh_calendar: today, a
// Saturday of an ordinary week, and five days back, Monday 2024-06-10, the
// Dragon Boat Festival.
void BM_Workday(benchmark::State &s) {
    runNative<sh_workday>(s, {0});
}
void BM_HolidayAny(benchmark::State &s) {
    runNative<sh_holiday>(s, {0, -5});
}
void BM_HolidayDragonBoat(benchmark::State &s) {
    runNative<sh_holiday>(s, {5, -5});
}
BENCHMARK(BM_Workday);
BENCHMARK(BM_HolidayAny);
BENCHMARK(BM_HolidayDragonBoat);

// sh_time_range against sh_calendar, each with the machine's zone unset
// (tz:0) and set to one with summer time (tz:1): neither may care.
void withZone(benchmark::State &state) {
    if (state.range(0) == 0)
        unsetenv("TZ");
    else
        setenv("TZ", "Europe/Berlin", 1);
    tzset();
}
void BM_CalendarZone(benchmark::State &s) {
    withZone(s);
    runNative<sh_calendar>(s, {24, 6, 15});
}
void BM_TimeRangeZone(benchmark::State &s) {
    withZone(s);
    runNative<sh_time_range>(s, {-1, -1, -1, 28800, -1, -1, -1, 64800});
}
BENCHMARK(BM_CalendarZone)->ArgName("tz")->Arg(0)->Arg(1);
BENCHMARK(BM_TimeRangeZone)->ArgName("tz")->Arg(0)->Arg(1);

// The sun conditions for a home in Beijing. The window with the day's
// events known (every call after the first of a day), and the first
// question of each day in turn: the clock moves a day forward before each
// call, outside the measured time, so each call computes the day's new
// events.
void sunHome() {
    if (!sh_set_home_location(39.9042, 116.4074) || !sh_set_home_zone("CST-8"))
        std::abort();
}
void BM_SunWindow(benchmark::State &s) {
    kbench::PluginGuard plugin;
    sunHome();
    runNative<sh_sun_window>(s, {2, 1800, 1, 0});
}
// A day forward before each call, outside the measured time: through
// 2024..2078, then back to 2024 (one question in twenty thousand starts the
// cache afresh).
template <bool (*Native)(uint32_t, qo_object *, int32_t, qo_object *)>
void runNativeDayByDay(benchmark::State &state, std::initializer_list<int32_t> values) {
    qo_object argv[8] = {};
    int32_t argc = 0;
    for (int32_t v : values)
        argv[argc++] = qo_object_new_int32(v);
    uint64_t now = NOW;
    for (auto _ : state) {
        now = now + 86400000ULL > NOW + 20000 * 86400000ULL ? NOW : now + 86400000ULL;
        sh_time_update(now);
        qo_object out = nullptr;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Native(1, argv, argc, &out));
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        qo_object_free(&out);
    }
    for (int32_t i = 0; i < argc; ++i)
        qo_object_free(&argv[i]);
}
void BM_SunWindowNewDay(benchmark::State &s) {
    kbench::PluginGuard plugin;
    sunHome();
    runNativeDayByDay<sh_sun_window>(s, {2, 1800, 1, 0});
}
// sh_calendar timed the same way, for the same clock reads.
void BM_CalendarManualTime(benchmark::State &s) {
    kbench::PluginGuard plugin;
    runNativeDayByDay<sh_calendar>(s, {24, 6, 15});
}
void BM_SunElevation(benchmark::State &s) {
    kbench::PluginGuard plugin;
    sunHome();
    runNative<sh_sun_elevation>(s, {-60, 900});
}
// The same in Berlin's zone, with summer time: the zone's conversions
// cost more than the Beijing's fixed offset.
void BM_SunElevationSummerTime(benchmark::State &s) {
    kbench::PluginGuard plugin;
    sunHome();
    if (!sh_set_home_zone("CET-1CEST,M3.5.0,M10.5.0/3"))
        std::abort();
    runNative<sh_sun_elevation>(s, {-60, 900});
}
BENCHMARK(BM_SunWindow);
BENCHMARK(BM_SunElevationSummerTime);
BENCHMARK(BM_SunWindowNewDay)->UseManualTime();
BENCHMARK(BM_CalendarManualTime)->UseManualTime();
BENCHMARK(BM_SunElevation);

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

KBENCH_MAIN({"BM_TimeRangeZone", "BM_CalendarZone"}, {"BM_TimeRange", "BM_Calendar"},
            {"BM_Calendar", "BM_NewBoolValue"}, {"BM_WeekDay", "BM_NewBoolValue"},
            {"BM_LunarTime", "BM_NewBoolValue"},
            // the plug-in's own conditions: each within 2x of sh_calendar
            {"BM_TimeOfDay", "BM_Calendar"}, {"BM_LunarDay", "BM_Calendar"},
            {"BM_LunarDayLast", "BM_Calendar"}, {"BM_SolarTerm", "BM_Calendar"},
            {"BM_LunarTime", "BM_Calendar"},
            // the timer controls, also within 2x of sh_calendar
            {"BM_DelayRestart", "BM_Calendar"}, {"BM_DelayRemaining", "BM_Calendar"},
            // the sun conditions: the window within 2x of sh_calendar once the
            // day's events are known, 50x for the first question of a day;
            // the elevation within 4x
            {"BM_SunWindow", "BM_Calendar"}, {"BM_SunWindowNewDay", "BM_Calendar"},
            {"BM_SunWindowNewDay", "BM_CalendarManualTime"}, {"BM_SunElevation", "BM_Calendar"},
            {"BM_SunElevationSummerTime", "BM_Calendar"})
