// SPDX-License-Identifier: MIT
// The script time conditions through the public header.
#include <chrono>
#include <random>
#include <thread>

#include "qolunar-convert.h"
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
    host.clearTrace();
    const long before = host.allocations();
    qo_object out = nullptr;
    Args eight{-1, -1, -1, 0, -1, -1, -1, 86399}, three{24, 2, 10}, one{0x7F}, two{1, 1};
    const long afterArgs = host.allocations();
    EXPECT_GT(afterArgs, before);
    const std::pair<Native, Args *> calls[] = {{sh_time_range, &eight},
                                               {sh_calendar, &three},
                                               {sh_week_day, &one},
                                               {sh_lunar_time, &two},
                                               {sh_get_second_of_day, &one}};
    for (const auto &[native, args] : calls) {
        const long n = host.allocations();
        EXPECT_TRUE(native(1, args->argv(), args->argc(), &out));
        EXPECT_EQ(host.allocations(), n + 1);
        qo_object_free(&out);
    }
    for (const std::string &entry : host.trace())
        EXPECT_TRUE(entry == "free") << entry;
    EXPECT_TRUE(host.logs().empty());
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

INSTANTIATE_TEST_SUITE_P(Zones, TimeRange, ::testing::Values("UTC", kZoneWithDst));

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
