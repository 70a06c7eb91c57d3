// SPDX-License-Identifier: MIT
// Home-time decomposition, and the conversion back into a time value, against
// the C++20 civil calendar and the C library's timegm.
#include <array>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "civil_oracle.h"
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

TEST(FormateTime, WorkedValues) {
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
    EXPECT_EQ(qo_formate_time(&leapDay, 38, 1, 19, 11648), int64_t{INT32_MAX} + 1)
        << "the first second a 32-bit time_t cannot hold";
    EXPECT_EQ(qo_formate_time(&leapDay, 99, 12, 31, 86399), 4102444799);
}

// A decomposition converts back to its own second, every day of the range,
// and past the range to the last second: so the moment now of a time range
// is the timestamp's second, on the scale of its bounds.
TEST(FormateTime, ADecompositionConvertsBackToItsSecond) {
    std::mt19937_64 rng(86399);
    for (sys_days day{1970y / January / 1}; day <= sys_days{2099y / December / 31};
         day += days{1}) {
        const uint64_t ms =
            static_cast<uint64_t>(duration_cast<milliseconds>(day.time_since_epoch()).count()) +
            rng() % 86400000;
        const SysRtc r = decompose(ms);
        ASSERT_EQ(qo_formate_time(&r, r.ucYear, r.ucMonth, r.ucDay,
                                  r.ucHour * 3600 + r.ucMinute * 60 + r.ucSecond),
                  static_cast<int64_t>(ms / 1000))
            << ms;
    }
    const SysRtc last = decompose(UINT64_MAX);
    EXPECT_EQ(qo_formate_time(&last, last.ucYear, last.ucMonth, last.ucDay,
                              last.ucHour * 3600 + last.ucMinute * 60 + last.ucSecond),
              static_cast<int64_t>(HOME_TIME_LAST_MS / 1000));
}

// Records that lend their fields to -1: the first day, a leap day, the last.
const uint64_t kRecordMs[] = {0, 1709195400000, HOME_TIME_LAST_MS};

// The argument as the record resolves it, widened.
int64_t resolved(int arg, int fromRecord) {
    return arg == -1 ? fromRecord : arg;
}

int64_t oracle(const SysRtc &r, int y, int m, int d, int s) {
    return civil::seconds(resolved(y, r.ucYear), resolved(m, r.ucMonth), resolved(d, r.ucDay), s);
}

// The Windows C runtime has no timegm (its _mkgmtime stops at year 3000):
// there the civil calendar is the only reference.
#if defined(_WIN32)
constexpr bool HAVE_TIMEGM = false;
#else
constexpr bool HAVE_TIMEGM = true;
#endif

// timegm of the same fields where they fit a struct tm; false where they
// do not, or where this machine's time_t cannot hold the moment.
bool viaTimegm(const SysRtc &r, int y, int m, int d, int s, int64_t &out) {
#if defined(_WIN32)
    (void)r, (void)y, (void)m, (void)d, (void)s, (void)out;
    return false;
#else
    const int64_t tmYear = resolved(y, r.ucYear) + 100;
    const int64_t tmMon = resolved(m, r.ucMonth) - 1;
    if (tmYear > INT_MAX || tmMon < INT_MIN)
        return false;
    struct tm tm;
    std::memset(&tm, 0, sizeof tm);
    tm.tm_year = static_cast<int>(tmYear);
    tm.tm_mon = static_cast<int>(tmMon);
    tm.tm_mday = static_cast<int>(resolved(d, r.ucDay));
    tm.tm_hour = s / 3600 % 24;
    tm.tm_min = s / 60 % 60;
    tm.tm_sec = s % 60;
    errno = 0;
    const time_t t = timegm(&tm);
    if (t == static_cast<time_t>(-1) && errno == EOVERFLOW)
        return false;
    out = static_cast<int64_t>(t);
    return true;
#endif
}

// One case against both references; tells whether timegm could check it.
::testing::AssertionResult agrees(const SysRtc &r, int y, int m, int d, int s, bool &checked) {
    const int64_t got = qo_formate_time(&r, y, m, d, s);
    const int64_t want = oracle(r, y, m, d, s);
    int64_t libc = 0;
    checked = viaTimegm(r, y, m, d, s, libc);
    if (got == want && (!checked || libc == want))
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "(" << y << ", " << m << ", " << d << ", " << s << ") on the record of "
            << int(r.ucYear) << "-" << int(r.ucMonth) << "-" << int(r.ucDay) << ": got " << got
            << ", civil calendar " << want;
    if (checked)
        failure << ", timegm " << libc;
    return failure;
}

// Every combination of the edges of each field: months before January and
// past December by a little and by a lot, days before the first and past
// the last, seconds of day past either end, years at both ends of int.
TEST(FormateTime, EveryNormalisationEdgeAgreesWithTheCivilCalendarAndTimegm) {
    // clang-format off
    const int years[] = {INT_MIN, INT_MIN + 1, -3900, -2001, -2000, -1901, -1900, -101, -100,
                         -31, -30, -2, -1, 0, 24, 37, 38, 39, 99, 100, 155, 156, 2024, 32767,
                         1 << 30, INT_MAX - 100, INT_MAX - 99, INT_MAX};
    // clang-format on
    const int months[] = {INT_MIN, INT_MIN + 1, -1200, -25, -24,  -13,         -12,    -11,
                          -2,      -1,          0,     1,   2,    3,           11,     12,
                          13,      14,          24,    25,  1200, INT_MAX - 1, INT_MAX};
    const int monthDays[] = {INT_MIN, INT_MIN + 1, -366, -32,    -2,          -1,
                             0,       1,           28,   29,     30,          31,
                             32,      60,          366,  146097, INT_MAX - 1, INT_MAX};
    const int secondsOfDay[] = {INT_MIN, INT_MIN + 1, -172800,     -90000, -86401, -86400, -86399,
                                -3601,   -3600,       -61,         -60,    -1,     0,      1,
                                59,      60,          3599,        3600,   86399,  86400,  86401,
                                90000,   172800,      INT_MAX - 1, INT_MAX};
    // timegm writes the normalised fields back, so it refuses a moment
    // whose year does not fit tm_year, and, carrying a day or a month
    // before it settles, some moments of that year's last day.
    const int64_t firstTm = civil::seconds(int64_t{INT_MIN} - 100, 1, 1, 0);
    const int64_t lastTm = civil::seconds(int64_t{INT_MAX} - 100, 12, 31, 0) - 1;
    long viaLibc = 0;
    for (uint64_t ms : kRecordMs) {
        const SysRtc r = decompose(ms);
        for (int y : years)
            for (int m : months)
                for (int d : monthDays)
                    for (int s : secondsOfDay) {
                        bool checked = false;
                        ASSERT_TRUE(agrees(r, y, m, d, s, checked));
                        viaLibc += checked;
                        const int64_t want = oracle(r, y, m, d, s);
                        const bool fieldsFit = resolved(y, r.ucYear) + 100 <= INT_MAX &&
                                               resolved(m, r.ucMonth) - 1 >= INT_MIN;
                        if (HAVE_TIMEGM && sizeof(time_t) >= 8 && fieldsFit && firstTm <= want &&
                            want <= lastTm) {
                            ASSERT_TRUE(checked)
                                << "timegm refused " << y << " " << m << " " << d << " " << s;
                        }
                    }
    }
    EXPECT_TRUE(viaLibc > 0 || !HAVE_TIMEGM);
}

// Random fields: mostly near the calendar people use, some anywhere in int.
TEST(FormateTime, RandomFieldsAgreeWithTheCivilCalendarAndTimegm) {
    std::mt19937 rng(1709195400);
    auto pick = [&](int lo, int hi) {
        switch (rng() % 4) {
        case 0:
            return static_cast<int>(rng()); // anywhere in int
        case 1:
            return -1; // the record's field
        default:
            return std::uniform_int_distribution<int>(lo, hi)(rng);
        }
    };
    long viaLibc = 0;
    bool checked = false;
    for (int i = 0; i < 400000; ++i) {
        const SysRtc r = decompose(rng() % (HOME_TIME_LAST_MS + 1));
        const int y = pick(-400, 500), m = pick(-30, 40), d = pick(-400, 400);
        const int s = rng() % 2 ? static_cast<int>(rng()) : pick(-200000, 200000);
        ASSERT_TRUE(agrees(r, y, m, d, s, checked));
        viaLibc += checked;
    }
    if (HAVE_TIMEGM && sizeof(time_t) >= 8) {
        EXPECT_GT(viaLibc, 300000);
    }
}

// Day after day, the value moves on by exactly one day's seconds: 800 years
// from 0000-01-01, across every month end and every kind of leap rule.
TEST(FormateTime, ConsecutiveDaysAreOneDayApart) {
    const SysRtc r = decompose(0);
    int64_t previous = qo_formate_time(&r, -2000, 1, 1, 0); // 0000-01-01
    for (int d = 2; d <= 400 * 366 * 2; ++d) {
        const int64_t t = qo_formate_time(&r, -2000, 1, d, 0);
        ASSERT_EQ(t - previous, 86400) << d;
        previous = t;
    }
}

// The machine's zone plays no part: the same fields give the same value
// under every zone, daylight saving or not.
TEST(FormateTime, TheMachinesZonePlaysNoPart) {
    const SysRtc r = decompose(1709195400000);
    const int64_t march = qo_formate_time(&r, 24, 3, 31, 9000),
                  july = qo_formate_time(&r, -1, 7, 1, 0);
    for (const char *zone : {"UTC", "Europe/Moscow", "America/New_York", "Australia/Lord_Howe",
                             "Asia/Kathmandu", kZoneWithDst}) {
        ZoneGuard guard(zone);
        EXPECT_EQ(qo_formate_time(&r, -1, -1, -1, 30600), 1709195400) << zone;
        EXPECT_EQ(qo_formate_time(&r, 24, 3, 31, 9000), march) << zone;
        EXPECT_EQ(qo_formate_time(&r, -1, 7, 1, 0), july) << zone;
    }
    EXPECT_EQ(july - march,
              (sys_days{2024y / July / 1} - sys_days{2024y / March / 31}).count() * 86400 - 9000);
}

} // namespace
