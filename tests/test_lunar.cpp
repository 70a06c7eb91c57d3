// SPDX-License-Identifier: MIT
// The lunar tables checked against each other and against the civil
// calendar, and the conversion walked over its whole range.
#include <chrono>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "qolunar-convert.h"

namespace {

using namespace std::chrono;

constexpr int FIRST_YEAR = 1898;
constexpr int LAST_INDEX = LUNAR_TABLE_SIZE - 1; // lunar year 2101

year_month_day newYear(int index) {
    const int32_t e = g_aiSolars[index];
    return year{e >> 9} / month{static_cast<unsigned>(e >> 5 & 0xF)} /
           day{static_cast<unsigned>(e & 0x1F)};
}
int leapMonth(int index) {
    return g_aiLunarMonthDays[index] >> 13 & 0xF;
}
int monthCount(int index) {
    return leapMonth(index) == 0 ? 12 : 13;
}
int monthLength(int index, int k) {
    return (g_aiLunarMonthDays[index] >> (12 - k) & 1) ? 30 : 29;
}

LunarDate convert(const year_month_day &ymd, bool *ok) {
    LunarDate l{};
    *ok = qo_solar_to_lunar(static_cast<uint16_t>(int(ymd.year())),
                            static_cast<uint8_t>(unsigned(ymd.month())),
                            static_cast<uint8_t>(unsigned(ymd.day())), &l);
    return l;
}

TEST(LunarTables, EveryYearAddsUpToTheNextNewYear) {
    EXPECT_EQ(g_aiSolars[0], 1897);
    EXPECT_EQ(g_aiLunarMonthDays[0], 1897);
    int leapYears = 0;
    for (int i = 1; i <= LAST_INDEX; ++i) {
        const year_month_day ny = newYear(i);
        ASSERT_TRUE(ny.ok()) << i;
        EXPECT_EQ(int(ny.year()), 1897 + i);
        // every new year falls between 21 January and 20 February
        EXPECT_GE(sys_days{ny}, sys_days{ny.year() / January / 21}) << i;
        EXPECT_LE(sys_days{ny}, sys_days{ny.year() / February / 20}) << i;
        EXPECT_EQ(g_aiLunarMonthDays[i] >> 17, 0) << i;
        const int L = leapMonth(i);
        if (L != 0) {
            ++leapYears;
            EXPECT_GE(L, 2) << i;
            EXPECT_LE(L, 11) << i;
        } else {
            EXPECT_EQ(g_aiLunarMonthDays[i] & 1, 0) << "12-month year uses bits 12..1: " << i;
        }
        if (i == LAST_INDEX)
            break;
        int length = 0;
        for (int k = 0; k < monthCount(i); ++k)
            length += monthLength(i, k);
        EXPECT_EQ(length, (sys_days{newYear(i + 1)} - sys_days{ny}).count())
            << "lunar year " << 1897 + i;
    }
    EXPECT_EQ(leapYears, 76);
}

// Walks every day of the range: each is converted, new years give 1/1, and
// the next day is either the next day of the same month or day 1 of the next
// month, of the leap month (same number, once a year, the table's L) or of
// the next year.
TEST(LunarConversion, ConsecutiveDatesGiveConsecutiveLunarDays) {
    const sys_days first{year{FIRST_YEAR} / January / 22};
    const sys_days last{2101y / December / 31};
    bool ok = false;
    LunarDate prev = convert(year_month_day{first}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(prev.usYear, FIRST_YEAR);
    EXPECT_EQ(prev.ucMonth, 1);
    EXPECT_EQ(prev.ucDay, 1);
    int index = 1;
    int repeatsThisYear = 0;
    for (sys_days d = first + days{1}; d <= last; d += days{1}) {
        const year_month_day ymd{d};
        const LunarDate cur = convert(ymd, &ok);
        ASSERT_TRUE(ok) << int(ymd.year()) << "-" << unsigned(ymd.month()) << "-"
                        << unsigned(ymd.day());
        ASSERT_GE(cur.ucMonth, 1);
        ASSERT_LE(cur.ucMonth, 12);
        ASSERT_GE(cur.ucDay, 1);
        ASSERT_LE(cur.ucDay, 30);
        if (cur.ucDay == prev.ucDay + 1) {
            ASSERT_EQ(cur.usYear, prev.usYear);
            ASSERT_EQ(cur.ucMonth, prev.ucMonth);
        } else if (cur.usYear == prev.usYear) {
            ASSERT_EQ(cur.ucDay, 1);
            ASSERT_GE(prev.ucDay, 29);
            if (cur.ucMonth == prev.ucMonth) { // the leap month reports the month it follows
                ++repeatsThisYear;
                ASSERT_EQ(cur.ucMonth, leapMonth(index)) << cur.usYear;
            } else {
                ASSERT_EQ(cur.ucMonth, prev.ucMonth + 1);
            }
        } else {
            ASSERT_EQ(cur.usYear, prev.usYear + 1);
            ASSERT_EQ(cur.ucMonth, 1);
            ASSERT_EQ(cur.ucDay, 1);
            ASSERT_EQ(prev.ucMonth, 12);
            ASSERT_EQ(ymd, newYear(index + 1)) << "new year on its table date";
            ASSERT_EQ(repeatsThisYear, leapMonth(index) == 0 ? 0 : 1) << prev.usYear;
            ++index;
            repeatsThisYear = 0;
        }
        prev = cur;
    }
    EXPECT_EQ(index, LAST_INDEX);
}

struct Known {
    int y, m, d;
    int ly, lm, ld;
};

// Dates around leap months and the ends of the tables.
TEST(LunarConversion, KnownDates) {
    const Known table[] = {
        {1898, 12, 31, 1898, 11, 19}, {1900, 1, 30, 1899, 12, 30}, {1900, 1, 31, 1900, 1, 1},
        {2000, 2, 4, 1999, 12, 29},   {2000, 2, 29, 2000, 1, 25},  {2020, 4, 22, 2020, 3, 30},
        {2020, 4, 23, 2020, 4, 1},    {2020, 5, 23, 2020, 4, 1},   {2020, 6, 21, 2020, 5, 1},
        {2020, 2, 29, 2020, 2, 7},    {2023, 3, 22, 2023, 2, 1},   {2023, 4, 19, 2023, 2, 29},
        {2023, 4, 20, 2023, 3, 1},    {2033, 12, 22, 2033, 11, 1}, {2034, 1, 20, 2033, 12, 1},
        {2024, 2, 9, 2023, 12, 30},   {2024, 2, 10, 2024, 1, 1},   {2101, 1, 28, 2100, 12, 29},
        {2101, 12, 31, 2101, 11, 12},
    };
    for (const Known &k : table) {
        bool ok = false;
        const LunarDate l = convert(year{k.y} / month{unsigned(k.m)} / day{unsigned(k.d)}, &ok);
        EXPECT_TRUE(ok) << k.y << "-" << k.m << "-" << k.d;
        EXPECT_EQ((std::array<int, 3>{l.usYear, l.ucMonth, l.ucDay}),
                  (std::array<int, 3>{k.ly, k.lm, k.ld}))
            << k.y << "-" << k.m << "-" << k.d;
    }
}

TEST(LunarConversion, RefusalsLeaveTheWholeRecordUntouched) {
    const int refused[][3] = {{1897, 12, 31}, {2102, 1, 1},  {1898, 1, 21}, {2021, 2, 29},
                              {1900, 2, 29},  {2100, 2, 29}, {2020, 2, 30}, {2020, 3, 0},
                              {2020, 4, 31},  {2020, 0, 1},  {2020, 13, 1}, {0, 1, 1},
                              {65535, 1, 1},  {2020, 1, 32}, {2020, 1, 255}};
    for (const auto &r : refused) {
        LunarDate l;
        std::memset(&l, 0xA5, sizeof(l));
        EXPECT_FALSE(qo_solar_to_lunar(static_cast<uint16_t>(r[0]), static_cast<uint8_t>(r[1]),
                                       static_cast<uint8_t>(r[2]), &l))
            << r[0] << "-" << r[1] << "-" << r[2];
        const LunarDate untouched = [] {
            LunarDate u;
            std::memset(&u, 0xA5, sizeof(u));
            return u;
        }();
        EXPECT_EQ(std::memcmp(&l, &untouched, sizeof(l)), 0) << r[0] << "-" << r[1] << "-" << r[2];
    }
}

// Arbitrary inputs, the edges of every field included: an accepted date is a
// real date inside the tables, and a refused one writes nothing. Under the
// sanitizers this also proves no read outside the tables.
TEST(LunarConversion, ArbitraryInputsStayInBounds) {
    std::mt19937 rng(1);
    const uint16_t years[] = {0, 1, 1897, 1898, 1899, 2000, 2100, 2101, 2102, 4095, 4096, 65535};
    auto check = [](uint16_t y, uint8_t m, uint8_t d) {
        LunarDate l;
        std::memset(&l, 0xA5, sizeof(l));
        const bool ok = qo_solar_to_lunar(y, m, d, &l);
        const year_month_day ymd = year{y} / month{m} / day{d};
        if (ok) {
            ASSERT_TRUE(ymd.ok());
            ASSERT_GE(sys_days{ymd}, sys_days{1898y / January / 22});
            ASSERT_LE(y, 2101);
            ASSERT_GE(l.ucMonth, 1);
            ASSERT_LE(l.ucMonth, 12);
            ASSERT_GE(l.ucDay, 1);
            ASSERT_LE(l.ucDay, 30);
        } else {
            ASSERT_EQ(l.usYear, 0xA5A5);
            ASSERT_EQ(l.ucMonth, 0xA5);
            ASSERT_EQ(l.ucDay, 0xA5);
            ASSERT_FALSE(ymd.ok() && y >= 1899 && y <= 2101) << y << "-" << int(m) << "-" << int(d);
        }
    };
    for (uint16_t y : years)
        for (int m = 0; m < 256; ++m)
            for (int d = 0; d < 256; ++d)
                check(y, static_cast<uint8_t>(m), static_cast<uint8_t>(d));
    for (int i = 0; i < 200000; ++i)
        check(static_cast<uint16_t>(rng()), static_cast<uint8_t>(rng()),
              static_cast<uint8_t>(rng()));
}

} // namespace
