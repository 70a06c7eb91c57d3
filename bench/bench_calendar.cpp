// SPDX-License-Identifier: MIT
// Home-time decomposition and lunar conversion, per call, against the C
// library's gmtime_r and the C++20 civil calendar.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <vector>

#include "qolunar-convert.h"
#include "ratio_main.h"
#include "sh-sys-var.h"

namespace {

// Timestamps spread over the whole range, so that branches see real data.
const std::vector<uint64_t> &timestamps() {
    static const std::vector<uint64_t> ts = [] {
        std::vector<uint64_t> v;
        uint64_t x = 88172645463325252ULL;
        for (int i = 0; i < 4096; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            v.push_back(x % 4102444800000ULL);
        }
        return v;
    }();
    return ts;
}

// The same moments decomposed, as the callers of the date functions hold them.
const std::vector<SysRtc> &records() {
    static const std::vector<SysRtc> rs = [] {
        std::vector<SysRtc> v;
        for (uint64_t t : timestamps()) {
            SysRtc rtc;
            qo_get_hometime(t, &rtc);
            v.push_back(rtc);
        }
        return v;
    }();
    return rs;
}

using Convert = void (*)(uint64_t, SysRtc *);

// Timestamps spread over the range: what branch predictors find hardest.
void overRandom(benchmark::State &state, Convert convert) {
    const auto &ts = timestamps();
    size_t i = 0;
    for (auto _ : state) {
        SysRtc rtc;
        convert(ts[i++ & 4095], &rtc);
        benchmark::DoNotOptimize(rtc);
    }
}

// As the conditions see it: the clock advancing 100 ms between calls.
void overTicking(benchmark::State &state, Convert convert) {
    uint64_t t = 1707523140000ULL;
    for (auto _ : state) {
        SysRtc rtc;
        convert(t += 100, &rtc);
        benchmark::DoNotOptimize(rtc);
    }
}

void BM_HomeTime(benchmark::State &state) {
    overRandom(state, qo_get_hometime);
}
BENCHMARK(BM_HomeTime);

void BM_GmtimeR(benchmark::State &state) {
    const auto &ts = timestamps();
    size_t i = 0;
    for (auto _ : state) {
        const time_t t = static_cast<time_t>(ts[i++ & 4095] / 1000);
        struct tm tm;
        gmtime_r(&t, &tm);
        benchmark::DoNotOptimize(tm);
    }
}
BENCHMARK(BM_GmtimeR);

// The same seven fields through std::chrono, behind a call like ours.
__attribute__((noinline)) void chrono_hometime(uint64_t ms, SysRtc *out) {
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds{ms}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{floor<seconds>(t - day)};
    out->ucYear = static_cast<int8_t>(int(ymd.year()) - 2000);
    out->ucMonth = static_cast<uint8_t>(unsigned(ymd.month()));
    out->ucDay = static_cast<uint8_t>(unsigned(ymd.day()));
    out->ucHour = static_cast<uint8_t>(hms.hours().count());
    out->ucMinute = static_cast<uint8_t>(hms.minutes().count());
    out->ucSecond = static_cast<uint8_t>(hms.seconds().count());
    out->ucWeek = static_cast<uint8_t>(weekday{day}.iso_encoding());
}

void BM_ChronoCivil(benchmark::State &state) {
    overRandom(state, chrono_hometime);
}
BENCHMARK(BM_ChronoCivil);
void BM_HomeTimeTicking(benchmark::State &state) {
    overTicking(state, qo_get_hometime);
}
BENCHMARK(BM_HomeTimeTicking);
void BM_ChronoCivilTicking(benchmark::State &state) {
    overTicking(state, chrono_hometime);
}
BENCHMARK(BM_ChronoCivilTicking);

void BM_SolarToLunar(benchmark::State &state) {
    // Dates spread over the table's range.
    const std::vector<SysRtc> &dates = records();
    size_t i = 0;
    for (auto _ : state) {
        const SysRtc &r = dates[i++ & 4095];
        LunarDate l;
        benchmark::DoNotOptimize(
            qo_solar_to_lunar(static_cast<uint16_t>(r.ucYear + 2000), r.ucMonth, r.ucDay, &l));
        benchmark::DoNotOptimize(l);
    }
}
BENCHMARK(BM_SolarToLunar);

// The conversions each sh_time_range makes, its two bounds (one with a
// wildcard date, one with a date given), from records spread over the
// range: against the one decomposition it also makes. now needs none: it is
// the timestamp's second.
void BM_TimeRangeBounds(benchmark::State &state) {
    const std::vector<SysRtc> &spread = records();
    size_t i = 0;
    for (auto _ : state) {
        const SysRtc &r = spread[i++ & 4095];
        benchmark::DoNotOptimize(qo_formate_time(&r, -1, -1, -1, 28800));
        benchmark::DoNotOptimize(qo_formate_time(&r, r.ucYear, 12, 31, 64800));
    }
}
BENCHMARK(BM_TimeRangeBounds);

} // namespace

KBENCH_MAIN({"BM_HomeTime", "BM_GmtimeR"}, {"BM_HomeTime", "BM_ChronoCivil"},
            {"BM_HomeTimeTicking", "BM_ChronoCivilTicking"}, {"BM_TimeRangeBounds", "BM_HomeTime"})
