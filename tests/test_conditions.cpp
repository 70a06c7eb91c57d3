// SPDX-License-Identifier: MIT
// The script time conditions through the public header.
#include <array>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>

#include "civil_oracle.h"
#include "qolunar-convert.h"
#include "sh-sys-var.h"
#include "test_host.h"
#include "zone_guard.h"

using namespace testhost;
using namespace std::chrono;

namespace {

class Conditions : public PluginTest {
  protected:
    Answer range(std::initializer_list<int32_t> bounds) { return call(sh_time_range, 1, bounds); }
    Answer today(int32_t fromSecond, int32_t toSecond) {
        return range({-1, -1, -1, fromSecond, -1, -1, -1, toSecond});
    }
};

// A condition answered with status 1 and the expected bool.
::testing::AssertionResult answered(const Answer &a, bool expected) {
    if (!a.status)
        return ::testing::AssertionFailure() << "status 0";
    if (!a.hasValue)
        return ::testing::AssertionFailure() << "no value stored";
    if (a.boolValue != expected)
        return ::testing::AssertionFailure() << "the condition answered " << a.boolValue;
    return ::testing::AssertionSuccess();
}

TEST_F(Conditions, StatusAndOutSlot) {
    struct Case {
        Native native;
        int argc;
    };
    const Case natives[] = {
        {sh_time_range, 8}, {sh_calendar, 3}, {sh_week_day, 1}, {sh_lunar_time, 2}};
    for (const Case &c : natives) {
        for (int argc : {0, c.argc - 1, c.argc + 1}) {
            Args args;
            for (int i = 0; i < argc; ++i)
                args.addInt(1);
            const Answer a = call(c.native, 1, args);
            EXPECT_FALSE(a.status) << argc;
            EXPECT_TRUE(a.hasValue) << "a wrong count still stores false";
            EXPECT_FALSE(a.boolValue);
        }
        qo_object out = nullptr;
        EXPECT_FALSE(c.native(1, nullptr, c.argc, &out));
        EXPECT_FALSE(qo_object_to_bool(out, nullptr));
        qo_object_free(&out);
    }

    // Stopped: status 0 and the slot left exactly as it was.
    sh_func_manager_deinit();
    qo_object sentinel = qo_object_new_int32(99);
    for (const Case &c : natives) {
        Args args;
        for (int i = 0; i < c.argc; ++i)
            args.addInt(1);
        qo_object out = sentinel;
        EXPECT_FALSE(c.native(1, args.argv(), c.argc, &out));
        EXPECT_EQ(out, sentinel);
    }
    qo_object out = sentinel;
    EXPECT_FALSE(sh_get_second_of_day(1, nullptr, 0, &out));
    EXPECT_EQ(out, sentinel);
    qo_object_free(&sentinel);
}

TEST_F(Conditions, EachCallMakesOneValueTakesNoLockAndLogsNothing) {
    tick(homeMs(2024, 2, 10, 12));
    const long before = host.allocations();
    Args eight{-1, -1, -1, 0, -1, -1, -1, 86399}, three{24, 2, 10}, one{0x7F}, two{1, 1};
    EXPECT_GT(host.allocations(), before);
    expectOneValueNoLockNoLog({{sh_time_range, &eight},
                               {sh_calendar, &three},
                               {sh_week_day, &one},
                               {sh_lunar_time, &two},
                               {sh_get_second_of_day, &one}});
}

TEST_F(Conditions, NullOutSlotIsNotWritten) {
    Args one{0x7F};
    EXPECT_TRUE(sh_week_day(1, one.argv(), 1, nullptr));
    EXPECT_TRUE(sh_get_second_of_day(1, nullptr, 0, nullptr));
    EXPECT_FALSE(sh_week_day(1, one.argv(), 2, nullptr));
}

TEST_F(Conditions, NoValueMeansNoSuccess) {
    Args one{0x7F};
    qo_object out = nullptr;
    host.failAllocation(1);
    EXPECT_FALSE(sh_week_day(1, one.argv(), 1, &out));
    EXPECT_EQ(out, nullptr);
}

// Time ranges under UTC and under a zone with daylight saving, on a summer
// and a winter day.
class TimeRange : public Conditions, public ::testing::WithParamInterface<const char *> {};

TEST_P(TimeRange, BoundsAreInclusiveToTheSecond) {
    ZoneGuard zone(GetParam());
    for (unsigned month : {1u, 7u}) {
        auto at = [&](int h, int m, int s, int ms = 0) {
            tick(homeMs(2024, month, 15, h, m, s, ms));
        };
        at(8, 0, 0);
        EXPECT_TRUE(answered(today(28800, 64800), true));
        at(7, 59, 59, 999);
        EXPECT_TRUE(answered(today(28800, 64800), false));
        at(18, 0, 0, 999);
        EXPECT_TRUE(answered(today(28800, 64800), true));
        at(18, 0, 1);
        EXPECT_TRUE(answered(today(28800, 64800), false));
    }
}

TEST_P(TimeRange, SecondsOfDayKeepOnlyTheirTimeOfDay) {
    ZoneGuard zone(GetParam());
    tick(homeMs(2024, 3, 31, 0, 0, 0, 500));
    EXPECT_TRUE(answered(today(0, 86400), true));
    tick(homeMs(2024, 3, 31, 0, 0, 1));
    EXPECT_TRUE(answered(today(0, 86400), false)) << "86400 is midnight of the same day";
    tick(homeMs(2024, 3, 31, 0, 30));
    EXPECT_TRUE(answered(today(0, 90000), true)) << "90000 is 01:00 of the same day";
    EXPECT_TRUE(answered(today(-1, 3600), true)) << "-1 is 23:59:59 of the day before";
    EXPECT_TRUE(answered(today(1801, 3600), false));
}

TEST_P(TimeRange, NoWrapOverMidnight) {
    ZoneGuard zone(GetParam());
    for (int hour : {0, 3, 12, 22, 23}) {
        tick(homeMs(2024, 10, 27, hour, 30));
        EXPECT_TRUE(answered(today(79200, 21600), false)) << hour;
    }
}

TEST_P(TimeRange, DatesInBounds) {
    ZoneGuard zone(GetParam());
    const std::initializer_list<int32_t> christmas = {24, 12, 24, 64800, 24, 12, 26, 28800};
    tick(homeMs(2024, 12, 24, 17, 59, 59));
    EXPECT_TRUE(answered(range(christmas), false));
    tick(homeMs(2024, 12, 25, 3));
    EXPECT_TRUE(answered(range(christmas), true));
    tick(homeMs(2024, 12, 26, 8));
    EXPECT_TRUE(answered(range(christmas), true));
    tick(homeMs(2024, 12, 26, 8, 0, 1));
    EXPECT_TRUE(answered(range(christmas), false));
    tick(homeMs(2024, 6, 1, 12));
    EXPECT_TRUE(answered(range({2024, 1, 1, 0, 2024, 12, 31, 86399}), false))
        << "2024 means the year 4024";
    EXPECT_TRUE(answered(range({24, 1, 1, 0, 24, 12, 31, 86399}), true));
    EXPECT_TRUE(answered(range({-1, 6, -1, 0, -1, 6, -1, 86399}), true))
        << "wildcards mix with fixed fields";
    EXPECT_TRUE(answered(range({-1, 5, -1, 0, -1, 5, -1, 86399}), false));
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeRange,
                         ::testing::Values("UTC", "Europe/Moscow", "America/New_York",
                                           "Australia/Lord_Howe", "Asia/Kathmandu", kZoneWithDst));

// The machine's zone must not reach the answers. Each zone comes with the
// offset from UTC it shows at a known moment: the C library falls back to
// UTC for a zone it cannot find, which would prove nothing.
struct MachineZone {
    const char *tz;
    time_t probeUtc;
    long offset;
};
const MachineZone kMachineZones[] = {
    {"UTC", 1719792000, 0},                      // 2024-07-01
    {"Europe/Moscow", 1404172800, 4 * 3600},     // 2014-07-01, before it went back to +3
    {"America/New_York", 1704067200, -5 * 3600}, // 2024-01-01
    {"Australia/Lord_Howe", 1719792000, 10 * 3600 + 30 * 60}, // winter: half an hour off summer
    {"Asia/Kathmandu", 1704067200, 5 * 3600 + 45 * 60},
    {kZoneWithDst, 1719792000, 2 * 3600}, // summer time
};

::testing::AssertionResult zoneIsReal(const MachineZone &z) {
#if defined(_WIN32)
    // The Windows C runtime has no zone database and takes of a TZ string
    // what it can: the zones are set all the same, and the answers must
    // still not move, but there is no offset to prove them by.
    (void)z;
    return ::testing::AssertionSuccess();
#else
    ZoneGuard zone(z.tz);
    struct tm local;
    if (localtime_r(&z.probeUtc, &local) == nullptr)
        return ::testing::AssertionFailure() << "localtime_r failed under " << z.tz;
    if (local.tm_gmtoff != z.offset)
        return ::testing::AssertionFailure()
               << z.tz << " shows " << local.tm_gmtoff << " s from UTC, not " << z.offset
               << ": is tzdata installed?";
    return ::testing::AssertionSuccess();
#endif
}

struct RangeCase {
    uint64_t ms;
    std::array<int32_t, 8> bounds;
};

// start <= now <= end by the civil calendar, -1 dates resolved to today's.
bool civilAnswer(const RangeCase &c) {
    const int64_t now = static_cast<int64_t>(c.ms / 1000);
    const civil::Date today = civil::dateOf(now);
    auto bound = [&](int i) {
        auto field = [&](int32_t v, int64_t todays) { return v == -1 ? todays : int64_t{v}; };
        return civil::seconds(field(c.bounds[i], today.yearFrom2000),
                              field(c.bounds[i + 1], today.month),
                              field(c.bounds[i + 2], today.day), c.bounds[i + 3]);
    };
    return bound(0) <= now && now <= bound(4);
}

class TimeRangeZones : public Conditions {
  protected:
    // The plug-in's answer, status and value checked.
    bool answer(const RangeCase &c) {
        tick(c.ms);
        host.clearEvents();
        Args args;
        for (int32_t v : c.bounds)
            args.addInt(v);
        const Answer a = call(sh_time_range, 1, args);
        EXPECT_TRUE(a.status && a.hasValue);
        return a.boolValue;
    }
    // Every case under every zone, switched inside this one run: the same
    // answer each time, and the civil calendar's.
    void expectTheSameEverywhere(const std::vector<RangeCase> &cases) {
        for (const MachineZone &z : kMachineZones) {
            ASSERT_TRUE(zoneIsReal(z));
            ZoneGuard zone(z.tz);
            for (const RangeCase &c : cases) {
                ASSERT_EQ(answer(c), civilAnswer(c))
                    << "under " << z.tz << " at " << c.ms << " ms, bounds " << c.bounds[0] << " "
                    << c.bounds[1] << " " << c.bounds[2] << " " << c.bounds[3] << ", "
                    << c.bounds[4] << " " << c.bounds[5] << " " << c.bounds[6] << " "
                    << c.bounds[7];
            }
        }
    }
};

// Moscow at home time 2014-10-26 01:30, the night its clocks went back
// from 02:00 to 01:00: 00:00 to 01:30 today holds, whatever the machine.
TEST_F(TimeRangeZones, MoscowOnTheNightItsClocksWentBack) {
    const uint64_t ms = homeMs(2014, 10, 26, 1, 30);
    const RangeCase c{ms, {-1, -1, -1, 0, -1, -1, -1, 5400}};
    ASSERT_TRUE(civilAnswer(c));
    expectTheSameEverywhere({c});
    ZoneGuard moscow("Europe/Moscow");
    EXPECT_TRUE(answer(c));
    EXPECT_FALSE(answer({ms + 1000, c.bounds}));
}

// The nights the zones changed their clocks: every ten minutes of the small
// hours against bounds every half hour, today's and across midnight.
TEST_F(TimeRangeZones, NightsOfClockChanges) {
    struct Night {
        int y;
        unsigned m, d;
    };
    const Night nights[] = {
        {2011, 3, 27},  // Moscow: 02:00 -> 03:00 for good
        {2014, 10, 26}, // Moscow: 02:00 -> 01:00, back to +3
        {2024, 3, 10},  // New York: 02:00 -> 03:00
        {2024, 11, 3},  // New York: 02:00 -> 01:00
        {2024, 4, 7},   // Lord Howe: 02:00 -> 01:30
        {2024, 10, 6},  // Lord Howe: 02:00 -> 02:30
        {1986, 1, 1},   // Kathmandu: 00:00 -> 00:15
        {2024, 3, 31},  // CET: 02:00 -> 03:00
        {2024, 10, 27}, // CET: 03:00 -> 02:00
    };
    std::vector<RangeCase> cases;
    for (const Night &n : nights) {
        const std::chrono::year_month_day day{std::chrono::year{n.y} / n.m / n.d};
        const std::chrono::year_month_day eve{std::chrono::sys_days{day} - std::chrono::days{1}};
        const int32_t y = int(day.year()) - 2000, m = int32_t(unsigned(day.month())),
                      d = int32_t(unsigned(day.day()));
        const int32_t ey = int(eve.year()) - 2000, em = int32_t(unsigned(eve.month())),
                      ed = int32_t(unsigned(eve.day()));
        for (int minute = 0; minute <= 4 * 60; minute += 10) {
            const uint64_t ms = homeMs(n.y, n.m, n.d, 0, minute);
            for (int32_t from = 0; from <= 4 * 3600; from += 1800) {
                for (int32_t to = from; to <= 4 * 3600; to += 1800) {
                    cases.push_back({ms, {-1, -1, -1, from, -1, -1, -1, to}});
                    cases.push_back({ms, {y, m, d, from, y, m, d, to}});
                }
                cases.push_back({ms, {ey, em, ed, 82800, y, m, d, from}}); // from 23:00 the eve
                cases.push_back({ms, {y, m, d, from, y, m, d + 1, 3600}}); // into the next day
            }
        }
    }
    expectTheSameEverywhere(cases);
}

// Random moments from 1970 to 2099 against random bounds: wildcards, fields
// near today's and past their ends, seconds of day in and beyond the day.
TEST_F(TimeRangeZones, RandomCallsOverTheWholeRange) {
    std::mt19937_64 rng(20141026);
    auto near = [&](int32_t today, int spread, int32_t wildcardChance) {
        if (static_cast<int32_t>(rng() % 100) < wildcardChance)
            return int32_t{-1};
        return today + static_cast<int32_t>(rng() % (2 * spread + 1)) - spread;
    };
    auto second = [&] {
        return rng() % 4 == 0 ? static_cast<int32_t>(rng() % 360000) - 90000
                              : static_cast<int32_t>(rng() % 86400);
    };
    std::vector<RangeCase> cases;
    int holds = 0;
    for (int i = 0; i < 3000; ++i) {
        const uint64_t ms = rng() % (HOME_TIME_LAST_MS + 1);
        const civil::Date today = civil::dateOf(static_cast<int64_t>(ms / 1000));
        RangeCase c{ms, {}};
        for (int b = 0; b < 8; b += 4) {
            const int shift = b == 0 ? -1 : 1; // start a little before, end a little after
            c.bounds[b] = near(int32_t(today.yearFrom2000) + (rng() % 3 == 0 ? shift : 0), 0, 40);
            c.bounds[b + 1] = near(int32_t(today.month), 1, 40);
            c.bounds[b + 2] = near(int32_t(today.day), 2, 40);
            c.bounds[b + 3] = second();
        }
        holds += civilAnswer(c);
        cases.push_back(c);
    }
    ASSERT_GT(holds, 300) << "the cases should not all fail";
    ASSERT_LT(holds, 2700) << "nor all hold";
    expectTheSameEverywhere(cases);
}

// Moments a 32-bit time_t cannot hold: from 2038-01-19 03:14:08 UTC on.
TEST_F(Conditions, TimeRangesAfter2038) {
    const std::initializer_list<int32_t> untilEnd = {24, 1, 1, 0, 99, 12, 31, 86399};
    const std::initializer_list<int32_t> all2040 = {40, 1, 1, 0, 40, 12, 31, 86399};
    const std::initializer_list<int32_t> edge = {38, 1, 19, 11647, 38, 1, 19, 11648};
    tick(homeMs(2024, 6, 15, 12));
    EXPECT_TRUE(answered(range(untilEnd), true)) << "a range ending after 2038 holds today";
    tick(homeMs(2038, 1, 19, 3, 14, 7));
    EXPECT_TRUE(answered(range(edge), true));
    EXPECT_TRUE(answered(range(untilEnd), true));
    tick(homeMs(2038, 1, 19, 3, 14, 8));
    EXPECT_TRUE(answered(range(edge), true));
    EXPECT_TRUE(answered(today(11648, 11648), true));
    tick(homeMs(2038, 1, 19, 3, 14, 9));
    EXPECT_TRUE(answered(range(edge), false));
    tick(homeMs(2039, 6, 15, 12));
    EXPECT_TRUE(answered(range(all2040), false)) << "2040 has not come";
    EXPECT_TRUE(answered(range(untilEnd), true));
    tick(homeMs(2040, 2, 29, 12));
    EXPECT_TRUE(answered(range(all2040), true));
    tick(homeMs(2041, 1, 1));
    EXPECT_TRUE(answered(range(all2040), false));
    tick(homeMs(2099, 12, 31, 23, 59, 59, 999));
    EXPECT_TRUE(answered(range(untilEnd), true));
    EXPECT_TRUE(answered(today(86399, 86399), true));

    // Every day from 2038 on, at a random second: the second itself holds,
    // by date and by wildcard, and the seconds either side do not.
    std::mt19937 rng(2038);
    using namespace std::chrono;
    for (sys_days d{2038y / January / 1}; d <= sys_days{2099y / December / 31}; d += days{1}) {
        const year_month_day ymd{d};
        const int32_t y = int(ymd.year()) - 2000, m = int32_t(unsigned(ymd.month())),
                      dd = int32_t(unsigned(ymd.day()));
        const int32_t s = 1 + static_cast<int32_t>(rng() % 86398); // s ± 1 stays in the day
        tick(static_cast<uint64_t>(duration_cast<milliseconds>(d.time_since_epoch()).count()) +
             uint64_t(s) * 1000 + rng() % 1000);
        host.clearEvents();
        ASSERT_TRUE(range({y, m, dd, s, y, m, dd, s}).boolValue) << y << "-" << m << "-" << dd;
        ASSERT_TRUE(today(s, s).boolValue) << y << "-" << m << "-" << dd;
        ASSERT_FALSE(range({y, m, dd, s + 1, y + 1, m, dd, 0}).boolValue) << y << "-" << m;
        ASSERT_FALSE(range({y - 1, m, dd, 0, y, m, dd, s - 1}).boolValue) << y << "-" << m;
    }
}

TEST_F(Conditions, CalendarWeekDayAndLunarAtKnownDays) {
    tick(homeMs(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_TRUE(answered(call(sh_calendar, 1, {24, 2, 29}), true));
    EXPECT_TRUE(answered(call(sh_calendar, 1, {2024, 2, 29}), false));
    EXPECT_TRUE(answered(call(sh_calendar, 1, {-1, 2, 29}), false)) << "no wildcard";
    tick(homeMs(1999, 5, 5));
    EXPECT_TRUE(answered(call(sh_calendar, 1, {-1, 5, 5}), true)) << "-1 is 1999";
    tick(0);
    EXPECT_TRUE(answered(call(sh_week_day, 1, {0x08}), true)) << "1970-01-01 was a Thursday";
    EXPECT_TRUE(answered(call(sh_week_day, 1, {0}), false));
    EXPECT_TRUE(answered(call(sh_week_day, 1, {0x7F}), true));
    EXPECT_TRUE(answered(call(sh_week_day, 1, {~0x08}), false)) << "bits 7..31 are not looked at";
    tick(homeMs(2020, 5, 23));
    EXPECT_TRUE(answered(call(sh_lunar_time, 1, {4, 1}), true)) << "the leap month after month 4";
    tick(homeMs(2024, 2, 10));
    EXPECT_TRUE(answered(call(sh_lunar_time, 1, {1, 1}), true));
    tick(86399999);
    EXPECT_EQ(call(sh_get_second_of_day, 1, {1, 2, 3}).intValue, 86399);
    tick(86400000);
    EXPECT_EQ(call(sh_get_second_of_day, 1, {}).intValue, 0);
}

TEST_F(Conditions, AfterTheCalendarRangeConditionsStillAnswer) {
    tick(UINT64_MAX);
    EXPECT_TRUE(answered(call(sh_calendar, 1, {99, 12, 31}), true));
    EXPECT_TRUE(answered(call(sh_lunar_time, 1, {1, 1}), false));
    EXPECT_TRUE(answered(call(sh_week_day, 1, {0x08}), true));
}

// Every day of the range against the civil calendar.
TEST_F(Conditions, EveryDayAgreesWithTheCivilCalendar) {
    std::mt19937_64 rng(99);
    for (sys_days d{1970y / January / 1}; d <= sys_days{2099y / December / 31}; d += days{1}) {
        const year_month_day ymd{d}, yesterday{d - days{1}};
        const uint64_t ms =
            static_cast<uint64_t>(duration_cast<milliseconds>(d.time_since_epoch()).count()) +
            rng() % 86400000;
        tick(ms);
        const int32_t y = int(ymd.year()) - 2000;
        ASSERT_TRUE(
            call(sh_calendar, 1, {y, int32_t(unsigned(ymd.month())), int32_t(unsigned(ymd.day()))})
                .boolValue);
        ASSERT_FALSE(call(sh_calendar, 1,
                          {int(yesterday.year()) - 2000, int32_t(unsigned(yesterday.month())),
                           int32_t(unsigned(yesterday.day()))})
                         .boolValue);
        const int32_t bit = 1 << (weekday{d}.iso_encoding() - 1);
        ASSERT_TRUE(call(sh_week_day, 1, {bit}).boolValue);
        ASSERT_FALSE(call(sh_week_day, 1, {0x7F ^ bit}).boolValue);
        ASSERT_EQ(call(sh_get_second_of_day, 1, {}).intValue, int32_t(ms / 1000 % 86400));
        host.clearEvents();
    }
}

// The lunar new year of every year from its table date.
TEST_F(Conditions, LunarNewYearHoldsEveryYear) {
    for (int lunarYear = 1971; lunarYear <= 2099; ++lunarYear) {
        const int32_t e = g_aiSolars[lunarYear - 1897];
        tick(homeMs(e >> 9, unsigned(e >> 5 & 0xF), unsigned(e & 0x1F), 12));
        ASSERT_TRUE(call(sh_lunar_time, 1, {1, 1}).boolValue) << lunarYear;
        ASSERT_FALSE(call(sh_lunar_time, 1, {1, 2}).boolValue) << lunarYear;
        tick(homeMs(e >> 9, unsigned(e >> 5 & 0xF), unsigned(e & 0x1F)) - 1);
        ASSERT_FALSE(call(sh_lunar_time, 1, {1, 1}).boolValue) << lunarYear;
    }
}

// Conditions from several threads while one ticks across midnight of the
// lunar new year: each answer comes from one timestamp, whole.
TEST_F(Conditions, ConcurrentCallsWhileTicking) {
    const uint64_t before = homeMs(2024, 2, 9, 23, 59, 59, 999);
    const uint64_t after = before + 1;
    tick(before);
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t) {
        callers.emplace_back([&] {
            while (!stop.load()) {
                qo_object out = nullptr;
                // Both moments lie in the range and on a Friday or Saturday.
                Args range{24, 2, 9, 86399, 24, 2, 10, 0}, date{24, 2, 9}, lunar{12, 30},
                    week{0x30};
                bool ok =
                    sh_time_range(1, range.argv(), 8, &out) && qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                ok = ok && sh_week_day(1, week.argv(), 1, &out) && qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                // date and lunar day change at this midnight; they must answer
                ok = ok && sh_calendar(1, date.argv(), 3, &out);
                qo_object_free(&out);
                ok = ok && sh_lunar_time(1, lunar.argv(), 2, &out);
                qo_object_free(&out);
                if (!ok)
                    ++wrong;
                ++calls;
            }
        });
    }
    // Tick until the callers have had a fair share of the machine.
    for (long i = 0; i < 2000 || calls.load() < 300; ++i)
        tick(i % 2 == 0 ? after : before);
    stop = true;
    for (auto &c : callers)
        c.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(calls, 0);
}

} // namespace
