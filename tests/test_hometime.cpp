// SPDX-License-Identifier: MIT
// Home-time decomposition against the C++20 civil calendar, and the
// conversion back through mktime.
#include <array>
#include <chrono>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "sh-sys-var.h"
#include "zone_guard.h"

namespace {

using namespace std::chrono;

SysRtc decompose(uint64_t ms) {
    SysRtc rtc;
    std::memset(&rtc, 0x5A, sizeof(rtc));
    qo_get_hometime(ms, &rtc);
    return rtc;
}

// Every day of the range at its first, a random and its last millisecond.
TEST(HomeTime, EveryDayAgreesWithTheCivilCalendar) {
    std::mt19937_64 rng(2024);
    const sys_days first{1970y / January / 1};
    const sys_days last{2099y / December / 31};
    for (sys_days day = first; day <= last; day += days{1}) {
        const year_month_day ymd{day};
        const unsigned iso = weekday{day}.iso_encoding();
        const uint64_t dayMs =
            static_cast<uint64_t>(duration_cast<milliseconds>(day.time_since_epoch()).count());
        for (uint64_t offset : {uint64_t{0}, rng() % 86400000, uint64_t{86399999}}) {
            const SysRtc rtc = decompose(dayMs + offset);
            const uint64_t s = offset / 1000;
            ASSERT_EQ(rtc.ucYear, int(ymd.year()) - 2000) << int(ymd.year());
            ASSERT_EQ(rtc.ucMonth, unsigned(ymd.month())) << int(ymd.year());
            ASSERT_EQ(rtc.ucDay, unsigned(ymd.day())) << int(ymd.year());
            ASSERT_EQ(rtc.ucHour, s / 3600);
            ASSERT_EQ(rtc.ucMinute, s % 3600 / 60);
            ASSERT_EQ(rtc.ucSecond, s % 60);
            ASSERT_EQ(rtc.ucWeek, iso);
        }
    }
}

struct Worked {
    uint64_t ms;
    int year, month, day, hour, minute, second, week;
};

TEST(HomeTime, WorkedDecompositions) {
    const Worked table[] = {
        {0, -30, 1, 1, 0, 0, 0, 4},
        {86399999, -30, 1, 1, 23, 59, 59, 4},
        {31492800000, -30, 12, 31, 12, 0, 0, 4},
        {31536000000, -29, 1, 1, 0, 0, 0, 5},
        {68193000000, -28, 2, 29, 6, 30, 0, 2},
        {94521600000, -28, 12, 30, 0, 0, 0, 6},
        {94694399000, -28, 12, 31, 23, 59, 59, 7},
        {126172800000, -27, 12, 31, 8, 0, 0, 1},
        {946598400000, -1, 12, 31, 0, 0, 0, 5},
        {951782400000, 0, 2, 29, 0, 0, 0, 2},
        {1609437600000, 20, 12, 31, 18, 0, 0, 4},
        {1640908801000, 21, 12, 31, 0, 0, 1, 5},
        {1709195400000, 24, 2, 29, 8, 30, 0, 4},
        {1735689599999, 24, 12, 31, 23, 59, 59, 2},
        {4102444799999, 99, 12, 31, 23, 59, 59, 4},
    };
    for (const Worked &w : table) {
        const SysRtc r = decompose(w.ms);
        EXPECT_EQ((std::array<int, 7>{r.ucYear, r.ucMonth, r.ucDay, r.ucHour, r.ucMinute,
                                      r.ucSecond, r.ucWeek}),
                  (std::array<int, 7>{w.year, w.month, w.day, w.hour, w.minute, w.second, w.week}))
            << w.ms;
    }
}

TEST(HomeTime, AfterTheRangeTheCalendarStopsAtItsLastSecond) {
    const SysRtc lastOne = decompose(HOME_TIME_LAST_MS);
    for (uint64_t ms :
         {HOME_TIME_LAST_MS + 1, uint64_t{4102444800000}, uint64_t{1} << 62, UINT64_MAX}) {
        const SysRtc r = decompose(ms);
        EXPECT_EQ(std::memcmp(&r, &lastOne, sizeof(r)), 0) << ms;
    }
}

TEST(HomeTime, StrayDaysOfYearStayInsideTheMonthTable) {
    for (int doy : {-400, -1, 0, 367, 400, 100000}) {
        for (uint8_t leap : {0, 1}) {
            SysRtc r{};
            get_month_day(leap, doy, &r);
            EXPECT_GE(r.ucMonth, 1);
            EXPECT_LE(r.ucMonth, 12);
        }
    }
}

// 64 bits whatever the width of time_t: 4024-01-01 does not fit in 32.
int64_t utcSeconds(sys_days day, int secondOfDay) {
    return int64_t{duration_cast<seconds>(day.time_since_epoch()).count()} + secondOfDay;
}

TEST(FormateTime, NormalisesLikeMktimeUnderUtc) {
    ZoneGuard utc("UTC");
    const SysRtc leapDay = decompose(1709195400000); // 2024-02-29 08:30
    EXPECT_EQ(qo_formate_time(&leapDay, -1, -1, -1, 30600), 1709195400);
    const sys_days mar1{2024y / March / 1};
    EXPECT_EQ(qo_formate_time(&leapDay, 24, 3, 1, 86400), utcSeconds(mar1, 0)) << "not 2 March";
    EXPECT_EQ(qo_formate_time(&leapDay, 24, 3, 1, 90000), utcSeconds(mar1, 3600));
    EXPECT_EQ(qo_formate_time(&leapDay, 24, 3, 1, -1), utcSeconds(mar1, -1))
        << "23:59:59 the day before";
    EXPECT_EQ(qo_formate_time(&leapDay, 24, 3, 0, 0),
              utcSeconds(sys_days{2024y / February / 29}, 0));
    EXPECT_EQ(qo_formate_time(&leapDay, 24, 13, 1, 0),
              utcSeconds(sys_days{2025y / January / 1}, 0));
    EXPECT_EQ(qo_formate_time(&leapDay, 2024, 1, 1, 0),
              utcSeconds(sys_days{4024y / January / 1}, 0))
        << "years always count from 2000";
}

TEST(FormateTime, ArbitraryArgumentsNeverOverflow) {
    ZoneGuard utc("UTC");
    const SysRtc r = decompose(0);
    for (int v : {INT32_MIN, INT32_MIN + 1, -2, INT32_MAX - 100, INT32_MAX}) {
        qo_formate_time(&r, v, v, v, v); // must not overflow: checked by UBSan
        qo_formate_time(&r, v, 1, 1, 0);
        qo_formate_time(&r, 24, v, 1, 0);
    }
    EXPECT_EQ(qo_formate_time(&r, INT32_MAX, 1, 1, 0), -1);
}

// Under a zone with daylight saving, fields marked as standard time map onto
// one steady scale: every moment of a year lies as far from New Year as the
// civil calendar says, across both changes of the clock.
TEST(FormateTime, OrdersMomentsUnderDaylightSaving) {
    ZoneGuard dst(kZoneWithDst);
    const SysRtc r = decompose(0);
    const sys_days newYear{2024y / January / 1};
    const time_t origin = qo_formate_time(&r, 24, 1, 1, 0);
    for (sys_days day = newYear; day <= sys_days{2024y / December / 31}; day += days{1}) {
        const year_month_day ymd{day};
        for (int s = 0; s < 86400; s += 1800) {
            const time_t t = qo_formate_time(&r, int(ymd.year()) - 2000, unsigned(ymd.month()),
                                             unsigned(ymd.day()), s);
            ASSERT_EQ(t - origin, (day - newYear).count() * 86400 + s)
                << unsigned(ymd.month()) << "-" << unsigned(ymd.day()) << " " << s;
        }
    }
}

} // namespace
