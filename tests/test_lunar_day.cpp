// SPDX-License-Identifier: MIT
// The one-pass lunar day lookup against the plain conversion, walked over
// the whole range.
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <cstring>

#include <gtest/gtest.h>

#include "qolunar-convert.h"
#include "civil_oracle.h"

namespace {

using namespace std::chrono;

using civil::show;

bool lunarDay(const year_month_day &ymd, LunarDayInfo *info) {
    return qo_solar_to_lunar_day(static_cast<uint16_t>(int(ymd.year())),
                                 static_cast<uint8_t>(unsigned(ymd.month())),
                                 static_cast<uint8_t>(unsigned(ymd.day())), info);
}
bool lunar(const year_month_day &ymd, LunarDate *date) {
    return qo_solar_to_lunar(static_cast<uint16_t>(int(ymd.year())),
                             static_cast<uint8_t>(unsigned(ymd.month())),
                             static_cast<uint8_t>(unsigned(ymd.day())), date);
}

// The month's length is where the plain conversion's next day is 1 again;
// a leap month is the second month of a lunar year with the same number.
TEST(LunarDayLookup, AgreesWithTheConversionOverTheWholeRange) {
    const sys_days first{1898y / January / 22};
    const sys_days last{2101y / December / 31};
    int leapMonthStarts = 0;
    bool inLeap = false;
    int previousMonth = 0;
    for (sys_days d = first; d <= last; d += days{1}) {
        LunarDate plain{};
        ASSERT_TRUE(lunar(year_month_day{d}, &plain)) << show(year_month_day{d});
        if (plain.ucDay == 1) {
            inLeap = plain.ucMonth == previousMonth;
            leapMonthStarts += inLeap;
            previousMonth = plain.ucMonth;
        }
        LunarDayInfo info{};
        ASSERT_TRUE(lunarDay(year_month_day{d}, &info)) << show(year_month_day{d});
        ASSERT_EQ(info.ucMonth, plain.ucMonth) << show(year_month_day{d});
        ASSERT_EQ(info.ucDay, plain.ucDay) << show(year_month_day{d});
        ASSERT_EQ(info.bLeap, inLeap) << show(year_month_day{d});
        ASSERT_TRUE(info.ucMonthDays == 29 || info.ucMonthDays == 30);
        // The same day given as a day number, as the timestamp holds it.
        LunarDayInfo byNumber{};
        ASSERT_TRUE(qo_days_to_lunar_day(d.time_since_epoch().count(), &byNumber))
            << show(year_month_day{d});
        ASSERT_EQ(std::memcmp(&byNumber, &info, sizeof info), 0) << show(year_month_day{d});
        LunarDate next{};
        if (d < last) {
            ASSERT_TRUE(lunar(year_month_day{d + days{1}}, &next));
            ASSERT_EQ(next.ucDay == 1, info.ucDay == info.ucMonthDays) << show(year_month_day{d});
        }
    }
    // Every leap month of the tables lies within the walk: 76 of them.
    EXPECT_EQ(leapMonthStarts, 76);
}

TEST(LunarDayLookup, KnownDays) {
    LunarDayInfo info{};
    // 1995 has a leap eighth month: Mid-Autumn on 1995-09-09, its leap
    // twin on 1995-10-09.
    ASSERT_TRUE(lunarDay(1995y / September / 9, &info));
    EXPECT_EQ(info.ucMonth, 8);
    EXPECT_EQ(info.ucDay, 15);
    EXPECT_FALSE(info.bLeap);
    ASSERT_TRUE(lunarDay(1995y / October / 9, &info));
    EXPECT_EQ(info.ucMonth, 8);
    EXPECT_EQ(info.ucDay, 15);
    EXPECT_TRUE(info.bLeap);
    // New Year's Eve on a 30th and on a 29th.
    ASSERT_TRUE(lunarDay(2024y / February / 9, &info));
    EXPECT_EQ(info.ucMonth, 12);
    EXPECT_EQ(info.ucDay, 30);
    EXPECT_EQ(info.ucMonthDays, 30);
    ASSERT_TRUE(lunarDay(2000y / February / 4, &info));
    EXPECT_EQ(info.ucMonth, 12);
    EXPECT_EQ(info.ucDay, 29);
    EXPECT_EQ(info.ucMonthDays, 29);
}

TEST(LunarDayLookup, DayNumbersOutsideTheTablesAreRefused) {
    LunarDayInfo info{9, 9, 9, true};
    const LunarDayInfo before = info;
    const int64_t first = sys_days{1898y / January / 22}.time_since_epoch().count();
    const int64_t last = sys_days{2101y / December / 31}.time_since_epoch().count();
    for (int64_t day : {first - 1, last + 1, int64_t{INT32_MIN}, int64_t{INT32_MAX},
                        -(int64_t{1} << 40), int64_t{1} << 40}) {
        EXPECT_FALSE(qo_days_to_lunar_day(day, &info)) << day;
        EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0) << day;
    }
    EXPECT_TRUE(qo_days_to_lunar_day(first, &info));
    EXPECT_TRUE(qo_days_to_lunar_day(last, &info));
}

TEST(LunarDayLookup, RefusalsLeaveTheRecordUntouched) {
    LunarDayInfo info{7, 7, 7, true};
    const LunarDayInfo before = info;
    for (const year_month_day &ymd :
         {1897y / December / 31, 1898y / January / 21, 2102y / January / 1, 2021y / February / 29})
        EXPECT_FALSE(lunarDay(ymd, &info)) << show(ymd);
    EXPECT_FALSE(qo_solar_to_lunar_day(2020, 13, 1, &info));
    EXPECT_FALSE(qo_solar_to_lunar_day(2020, 3, 0, &info));
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0);
}

} // namespace
