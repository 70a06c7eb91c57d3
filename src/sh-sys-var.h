// SPDX-License-Identifier: MIT
// Home time: a millisecond timestamp broken down into calendar fields, and a
// date with a time of day turned back into a comparable time value.
#ifndef SH_SYS_VAR_H
#define SH_SYS_VAR_H

#include <cstdint>

// Broken-down home time. Every reader widens ucYear with its sign.
struct SysRtc {
    int8_t ucYear;    // year - 2000, -30 .. 99
    uint8_t ucMonth;  // 1 .. 12
    uint8_t ucDay;    // 1 .. 31
    uint8_t ucHour;   // 0 .. 23
    uint8_t ucMinute; // 0 .. 59
    uint8_t ucSecond; // 0 .. 59
    uint8_t ucWeek;   // 1 = Monday .. 7 = Sunday
};
static_assert(sizeof(SysRtc) == 7, "SysRtc is seven one-byte fields");

// The last millisecond that breaks down exactly: 2099-12-31 23:59:59.999.
constexpr uint64_t HOME_TIME_LAST_MS = 4102444799999ULL;

// Fills all seven fields of *pstOut. Timestamps after HOME_TIME_LAST_MS give
// the record of HOME_TIME_LAST_MS: the calendar stops at the end of 2099.
void qo_get_hometime(uint64_t ullTimestamp, SysRtc *pstOut);

// Seconds from 1970-01-01 00:00:00 to the given date and time of day, on
// the Gregorian calendar and with no time zone: what timegm gives for the
// same fields, normalised the same way (month 13 is January of the next
// year, day 0 the last day of the month before). -1 in year, month or day
// takes the field of *pstRtc; years count from 2000. Whole days in
// iSecondOfDay are dropped; a negative one reaches back. Defined for every
// int argument.
int64_t qo_formate_time(const SysRtc *pstRtc, int iYear, int iMonth, int iDay, int iSecondOfDay);

// Month and day from a 1-based day of the year.
void get_month_day(uint8_t ucLeap, int iDayOfYear, SysRtc *pstOut);
// Hour, minute and second from a second of the day, 0 .. 86399.
void get_HMS(int iSecondOfDay, SysRtc *pstOut);
// Weekday from a day number, 1970-01-01 being day 1.
void get_week(int iDayNumber, SysRtc *pstOut);

#endif // SH_SYS_VAR_H
