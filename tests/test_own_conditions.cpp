// SPDX-License-Identifier: MIT
// The plug-in's own conditions sh_time_of_day, sh_lunar_day and
// sh_solar_term through the public header.
#include <chrono>
#include <cstdio>
#include <string>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "qolunar-convert.h"
#include "native_args.h"
#include "test_host.h"
#include "civil_oracle.h"

using namespace testhost;
using namespace std::chrono;

namespace {

using civil::show;

class OwnConditions : public PluginTest {};

::testing::AssertionResult answered(const Answer &a, bool expected) {
    if (!a.status)
        return ::testing::AssertionFailure() << "status 0";
    if (!a.hasValue)
        return ::testing::AssertionFailure() << "no value stored";
    if (a.boolValue != expected)
        return ::testing::AssertionFailure() << "the condition answered " << a.boolValue;
    return ::testing::AssertionSuccess();
}

uint64_t msOf(sys_days d, int secondOfDay = 0) {
    return static_cast<uint64_t>(duration_cast<milliseconds>(d.time_since_epoch()).count()) +
           static_cast<uint64_t>(secondOfDay) * 1000;
}

const NativeShape kShapes[] = {
    {sh_time_of_day, {0, 86400}}, {sh_lunar_day, {1, 1, 0}}, {sh_solar_term, {0}}};

TEST_F(OwnConditions, WrongCountOrArgumentTypeIsRefusedWithFalse) {
    for (const NativeShape &s : kShapes) {
        expectWrongArgumentsRefused(s);
        Args good;
        for (int32_t v : s.valid)
            good.addInt(v);
        EXPECT_TRUE(call(s.native, 1, good).status);
    }
}

TEST_F(OwnConditions, StoppedManagerLeavesTheSlotAlone) {
    sh_func_manager_deinit();
    qo_object sentinel = qo_object_new_int32(99);
    for (const NativeShape &s : kShapes) {
        Args args;
        for (int32_t v : s.valid)
            args.addInt(v);
        qo_object out = sentinel;
        EXPECT_FALSE(s.native(1, args.argv(), args.argc(), &out));
        EXPECT_EQ(out, sentinel);
    }
    qo_object_free(&sentinel);
}

TEST_F(OwnConditions, EachCallMakesOneValueTakesNoLockAndLogsNothing) {
    tick(homeMs(2024, 4, 4, 12));
    Args window{79200, 21600}, lunar{2, 26, -1}, term{5};
    expectOneValueNoLockNoLog(
        {{sh_time_of_day, &window}, {sh_lunar_day, &lunar}, {sh_solar_term, &term}});
}

TEST_F(OwnConditions, NoValueMeansNoSuccess) {
    Args window{0, 86400};
    qo_object out = nullptr;
    host.failAllocation(1);
    EXPECT_FALSE(sh_time_of_day(1, window.argv(), 2, &out));
    EXPECT_EQ(out, nullptr);
}

// ------------------------------------------------------------ sh_time_of_day

Answer timeOfDay(int32_t start, int32_t end) {
    return call(sh_time_of_day, 1, {start, end});
}

TEST_F(OwnConditions, TimeOfDayRangeOfTheBounds) {
    for (int32_t bad : {-1, 86401, INT32_MIN, INT32_MAX}) {
        EXPECT_TRUE(refused(timeOfDay(bad, 3600))) << bad;
        EXPECT_TRUE(refused(timeOfDay(3600, bad))) << bad;
    }
    EXPECT_TRUE(answered(timeOfDay(0, 86400), true));
    EXPECT_TRUE(answered(timeOfDay(86400, 86400), false));
}

TEST_F(OwnConditions, TimeOfDayWithinOneDay) {
    const sys_days d{2024y / March / 1};
    tick(msOf(d, 28800) - 1); // 07:59:59.999
    EXPECT_TRUE(answered(timeOfDay(28800, 64800), false));
    tick(msOf(d, 28800));
    EXPECT_TRUE(answered(timeOfDay(28800, 64800), true)) << "start is inside";
    tick(msOf(d, 64800) - 1);
    EXPECT_TRUE(answered(timeOfDay(28800, 64800), true));
    tick(msOf(d, 64800));
    EXPECT_TRUE(answered(timeOfDay(28800, 64800), false)) << "end is outside";
}

TEST_F(OwnConditions, TimeOfDayOverMidnight) {
    const sys_days d{2024y / December / 31};
    const std::pair<int, bool> moments[] = {
        {79199, false},        {79200, true},          {86399, true},
        {86400, true}, // 00:00 of 1 January
        {86400 + 21599, true}, {86400 + 21600, false}, {86400 + 43200, false}};
    for (const auto &[second, holds] : moments) {
        tick(msOf(d, second) + 999);
        EXPECT_TRUE(answered(timeOfDay(79200, 21600), holds)) << second;
    }
}

TEST_F(OwnConditions, TimeOfDayUntilMidnightWrittenAs86400) {
    const sys_days d{2024y / June / 30};
    tick(msOf(d, 86399) + 999);
    EXPECT_TRUE(answered(timeOfDay(79200, 86400), true)) << "23:59:59.999";
    tick(msOf(d, 86400));
    EXPECT_TRUE(answered(timeOfDay(79200, 86400), false)) << "00:00 belongs to the next day";
    EXPECT_TRUE(answered(timeOfDay(0, 86400), true)) << "the whole day";
    EXPECT_TRUE(answered(timeOfDay(86400, 3600), true)) << "from midnight to 01:00";
}

TEST_F(OwnConditions, TimeOfDayEqualBoundsNeverHold) {
    for (int32_t bound : {0, 1, 43200, 86399, 86400}) {
        for (int32_t second : {0, 1, 43199, 43200, 86399}) {
            tick(msOf(sys_days{2024y / January / 1}, second));
            EXPECT_TRUE(answered(timeOfDay(bound, bound), false)) << bound << " at " << second;
        }
    }
}

// Against the window as an arc of the clock: the second lies less than the
// window's length after its start, counted round the day.
TEST_F(OwnConditions, TimeOfDayAgreesWithTheArcOfTheClock) {
    const int32_t edges[] = {0, 1, 3599, 3600, 43200, 79200, 86399, 86400};
    std::vector<int32_t> seconds = {0,     1,     3598,  3599,  3600,  3601,  43199,
                                    43200, 43201, 79199, 79200, 79201, 86398, 86399};
    std::mt19937 rng(16);
    for (int i = 0; i < 40; ++i)
        seconds.push_back(int32_t(rng() % 86400));
    for (int32_t s : seconds) {
        tick(msOf(sys_days{2031y / May / 17}, s) + rng() % 1000);
        for (int32_t start : edges) {
            for (int32_t end : edges) {
                // the length of the window, going forward round the clock
                const int length = start < end   ? end - start
                                   : start > end ? 86400 - start + end
                                                 : 0;
                const bool holds = ((s - start) % 86400 + 86400) % 86400 < length;
                ASSERT_TRUE(answered(timeOfDay(start, end), holds))
                    << start << ".." << end << " at " << s;
            }
        }
    }
}

// ------------------------------------------------------------ sh_lunar_day

Answer lunarDay(int32_t m, int32_t d, int32_t leap) {
    return call(sh_lunar_day, 1, {m, d, leap});
}

TEST_F(OwnConditions, LunarDayRangeOfTheArguments) {
    const int32_t good[] = {8, 15, 0};
    const std::vector<int32_t> bad[] = {{0, 13, -1, INT32_MAX}, {0, 31, -2, INT32_MIN}, {2, -2}};
    for (int pos = 0; pos < 3; ++pos) {
        for (int32_t b : bad[pos]) {
            int32_t a[3] = {good[0], good[1], good[2]};
            a[pos] = b;
            EXPECT_TRUE(refused(lunarDay(a[0], a[1], a[2]))) << pos << ": " << b;
        }
    }
    EXPECT_TRUE(lunarDay(12, -1, -1).status);
    EXPECT_TRUE(lunarDay(1, 30, 1).status);
}

TEST_F(OwnConditions, LunarDayLeapMonthAndTheOrdinaryMonth) {
    // 1995 has a leap eighth month: Mid-Autumn is 1995-09-09, the same day
    // of the leap month 1995-10-09.
    tick(homeMs(1995, 9, 9, 20));
    EXPECT_TRUE(answered(lunarDay(8, 15, 0), true));
    EXPECT_TRUE(answered(lunarDay(8, 15, 1), false));
    EXPECT_TRUE(answered(lunarDay(8, 15, -1), true));
    EXPECT_TRUE(answered(call(sh_lunar_time, 1, {8, 15}), true));
    tick(homeMs(1995, 10, 9, 20));
    EXPECT_TRUE(answered(lunarDay(8, 15, 0), false)) << "Mid-Autumn is only once";
    EXPECT_TRUE(answered(lunarDay(8, 15, 1), true));
    EXPECT_TRUE(answered(lunarDay(8, 15, -1), true));
    EXPECT_TRUE(answered(call(sh_lunar_time, 1, {8, 15}), true)) << "the standard condition twice";
    // 2020: leap month after month 4.
    tick(homeMs(2020, 4, 23));
    EXPECT_TRUE(answered(lunarDay(4, 1, 0), true));
    EXPECT_TRUE(answered(lunarDay(4, 1, 1), false));
    tick(homeMs(2020, 5, 23));
    EXPECT_TRUE(answered(lunarDay(4, 1, 0), false));
    EXPECT_TRUE(answered(lunarDay(4, 1, 1), true));
    EXPECT_TRUE(answered(lunarDay(5, 1, 1), false));
}

TEST_F(OwnConditions, LunarDayLastDaysOf29And30) {
    tick(homeMs(2024, 2, 9, 23, 59, 59, 999)); // 12/30 of a 30-day month
    EXPECT_TRUE(answered(lunarDay(12, -1, 0), true));
    EXPECT_TRUE(answered(lunarDay(12, 30, 0), true));
    EXPECT_TRUE(answered(lunarDay(12, 29, 0), false));
    tick(homeMs(2024, 2, 8, 12)); // 12/29 of that month: not its last
    EXPECT_TRUE(answered(lunarDay(12, -1, 0), false));
    EXPECT_TRUE(answered(lunarDay(12, 29, 0), true));
    tick(homeMs(2000, 2, 4)); // 12/29 of a 29-day month
    EXPECT_TRUE(answered(lunarDay(12, -1, 0), true));
    EXPECT_TRUE(answered(lunarDay(12, 29, 0), true));
    EXPECT_TRUE(answered(lunarDay(12, 30, 0), false));
    tick(homeMs(2000, 2, 5)); // the new year
    EXPECT_TRUE(answered(lunarDay(12, -1, 0), false));
    EXPECT_TRUE(answered(lunarDay(1, 1, 0), true));
}

// Home time stops at the last second of 2099; the lunar day is that day's.
TEST_F(OwnConditions, LunarDayAfterTheHomeRangeIsThatOfItsLastDay) {
    LunarDate last{};
    ASSERT_TRUE(qo_solar_to_lunar(2099, 12, 31, &last));
    tick(UINT64_MAX);
    EXPECT_TRUE(answered(lunarDay(last.ucMonth, last.ucDay, -1), true));
    EXPECT_TRUE(answered(lunarDay(last.ucMonth, last.ucDay + 1, -1), false));
}

// Every day of the home range against the plain conversion: the last-day
// form holds exactly when tomorrow is a day 1, and the leap forms follow the
// second month of a year that bears the same number.
TEST_F(OwnConditions, LunarDayEveryDayAgreesWithTheConversion) {
    auto convert = [](sys_days d) {
        const year_month_day ymd{d};
        LunarDate l{};
        EXPECT_TRUE(qo_solar_to_lunar(uint16_t(int(ymd.year())), uint8_t(unsigned(ymd.month())),
                                      uint8_t(unsigned(ymd.day())), &l));
        return l;
    };
    std::mt19937_64 rng(95);
    int eves = 0;
    int previousMonth = 0;
    bool inLeap = false;
    for (sys_days d{1969y / December / 1}; d <= sys_days{2099y / December / 31}; d += days{1}) {
        const LunarDate today = convert(d), tomorrow = convert(d + days{1});
        if (today.ucDay == 1) {
            inLeap = today.ucMonth == previousMonth;
            previousMonth = today.ucMonth;
        }
        if (d < sys_days{1970y / January / 1})
            continue;
        tick(msOf(d) + rng() % 86400000);
        const int32_t m = today.ucMonth, dd = today.ucDay;
        const bool last = tomorrow.ucDay == 1;
        ASSERT_EQ(call(sh_lunar_day, 1, {m, dd, -1}).boolValue, true) << show(year_month_day{d});
        ASSERT_EQ(call(sh_lunar_day, 1, {m, dd, inLeap ? 1 : 0}).boolValue, true);
        ASSERT_EQ(call(sh_lunar_day, 1, {m, dd, inLeap ? 0 : 1}).boolValue, false);
        ASSERT_EQ(call(sh_lunar_day, 1, {m, -1, -1}).boolValue, last) << show(year_month_day{d});
        const bool eve = tomorrow.ucMonth == 1 && tomorrow.ucDay == 1;
        ASSERT_EQ(call(sh_lunar_day, 1, {12, -1, 0}).boolValue, eve) << show(year_month_day{d});
        eves += eve;
        host.clearEvents();
    }
    EXPECT_EQ(eves, 130) << "one New Year's Eve a year, 1970 to 2099";
}

// ------------------------------------------------------------ sh_solar_term

Answer solarTerm(int32_t term) {
    return call(sh_solar_term, 1, {term});
}

TEST_F(OwnConditions, SolarTermRangeOfTheArgument) {
    for (int32_t bad : {-1, 25, INT32_MIN, INT32_MAX})
        EXPECT_TRUE(refused(solarTerm(bad))) << bad;
    for (int32_t term = 0; term <= 24; ++term)
        EXPECT_TRUE(solarTerm(term).status) << term;
}

TEST_F(OwnConditions, SolarTermClearAndBrightAndTheWinterSolstice) {
    tick(homeMs(2024, 4, 3, 23, 59, 59, 999));
    EXPECT_TRUE(answered(solarTerm(5), false));
    EXPECT_TRUE(answered(solarTerm(0), false));
    tick(homeMs(2024, 4, 4));
    EXPECT_TRUE(answered(solarTerm(5), true)) << "Clear and Bright, from midnight";
    EXPECT_TRUE(answered(solarTerm(0), true));
    EXPECT_TRUE(answered(solarTerm(4), false));
    tick(homeMs(2024, 4, 4, 23, 59, 59, 999));
    EXPECT_TRUE(answered(solarTerm(5), true)) << "to the last millisecond of the day";
    tick(homeMs(2024, 4, 5));
    EXPECT_TRUE(answered(solarTerm(5), false));
    tick(homeMs(2024, 12, 21, 17));
    EXPECT_TRUE(answered(solarTerm(22), true));
    tick(homeMs(1970, 1, 6));
    EXPECT_TRUE(answered(solarTerm(23), true)) << "the first term of the table";
    tick(homeMs(2099, 12, 21, 12));
    EXPECT_TRUE(answered(solarTerm(22), true)) << "the last";
    tick(homeMs(2100, 1, 5, 12));
    EXPECT_TRUE(answered(solarTerm(0), false)) << "read as 2099-12-31, no term";
}

// Every day of a year against the dates of an independent library: the
// term of the day holds, and no other.
TEST_F(OwnConditions, SolarTermEveryDayOfAYearAgreesWithAnIndependentLibrary) {
    std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/solar-terms-lunar-javascript.txt");
    ASSERT_TRUE(in);
    std::map<sys_days, int> terms;
    std::string date, time;
    int term = 0;
    while (in >> date >> time >> term) {
        if (date.compare(0, 4, "2024") == 0) {
            const int y = std::stoi(date.substr(0, 4));
            const unsigned mo = unsigned(std::stoi(date.substr(5, 2)));
            const unsigned d = unsigned(std::stoi(date.substr(8, 2)));
            terms[sys_days{year{y} / month{mo} / day{d}}] = term;
        }
    }
    ASSERT_EQ(terms.size(), 24u);
    for (sys_days d{2024y / January / 1}; d <= sys_days{2024y / December / 31}; d += days{1}) {
        tick(msOf(d, 43200));
        const auto it = terms.find(d);
        const int expected = it == terms.end() ? 0 : it->second;
        for (int32_t t = 0; t <= 24; ++t) {
            const bool holds = t == 0 ? expected != 0 : t == expected;
            ASSERT_TRUE(answered(solarTerm(t), holds)) << show(year_month_day{d}) << " term " << t;
        }
        host.clearEvents();
    }
}

} // namespace
