// SPDX-License-Identifier: MIT
// Gregorian ("solar") dates to dates of the Chinese lunisolar calendar,
// 1898-01-22 .. 2101-12-31.
#ifndef QOLUNAR_CONVERT_H
#define QOLUNAR_CONVERT_H

#include <cstdint>

// A leap month carries the number of the month it follows.
struct LunarDate {
    uint16_t usYear; // the Gregorian year in which the lunar year begins
    uint8_t ucMonth; // 1 .. 12
    uint8_t ucDay;   // 1 .. 30
};
static_assert(sizeof(LunarDate) == 4, "LunarDate is a 4-byte record");

constexpr int LUNAR_TABLE_SIZE = 205; // element 0 holds the base year 1897

// Element i (1..204): packed date (year << 9 | month << 5 | day) of the new
// year of lunar year 1897 + i.
extern const int32_t g_aiSolars[LUNAR_TABLE_SIZE];
// Element i (1..204): bits 13-16 the leap month (0: none), bits 12..0 the
// months in order, first month in bit 12; 1 = 30 days, 0 = 29.
extern const int32_t g_aiLunarMonthDays[LUNAR_TABLE_SIZE];

// Converts a Gregorian date. True and the whole record written when the date
// is valid and within the tables; false with *pstOut untouched otherwise.
bool qo_solar_to_lunar(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay, LunarDate *pstOut);

// Where a date falls in its lunar month, for conditions that ask for the
// last day of a month or tell a leap month from the ordinary one.
struct LunarDayInfo {
    uint8_t ucMonth;     // 1 .. 12, a leap month numbered as in LunarDate
    uint8_t ucDay;       // 1 .. 30
    uint8_t ucMonthDays; // 29 or 30: the length of that month
    bool bLeap;          // the month is the year's leap month
};

// The same conversion as qo_solar_to_lunar, with the month's length and leap
// flag found in the same walk over the tables. True and the whole record
// written for a valid date within the tables; false, untouched, otherwise.
bool qo_solar_to_lunar_day(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay, LunarDayInfo *pstOut);

// The same for a day given as days since 1970-01-01 (negative before), as a
// home timestamp holds it, with no Gregorian date to make first. False,
// untouched, outside 1898-01-22 .. 2101-12-31.
bool qo_days_to_lunar_day(int64_t llDays, LunarDayInfo *pstOut);

#endif // QOLUNAR_CONVERT_H
