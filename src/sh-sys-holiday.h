// SPDX-License-Identifier: MIT
// The holiday schedule of mainland China: which days the State Council's
// notices give off and which weekend days they make working days, by year.
// The plug-in carries data/holidays-cn.txt built in; the host may add or
// replace whole years with sh_holiday_schedule_load (the same parser reads
// both). Natives read the schedule without a lock (ShPublished).
#ifndef SH_SYS_HOLIDAY_H
#define SH_SYS_HOLIDAY_H

#include <cstddef>
#include <cstdint>

// Holidays 1 New Year's Day .. 7 National Day, 8 any other day off.
const int32_t HOLIDAY_KINDS = 8;
const int32_t HOLIDAY_FIRST_YEAR = 1970;
const int32_t HOLIDAY_LAST_YEAR = 2099;
// A schedule text longer than this is refused.
const size_t HOLIDAY_TEXT_LIMIT = 65536;

// The schedule text carried in the library (comments and blank lines left
// out), generated at build time from data/holidays-cn.txt.
extern const char gszHolidayBuiltin[];
extern const size_t gnHolidayBuiltinLength;

// Hooks of the core: init puts the built-in schedule in force (false, with
// one log line, when its block cannot be allocated); deinit releases every
// block. Both run while no native runs.
bool sh_holiday_init();
void sh_holiday_deinit();

// Day numbers count from 1970-01-01 (day 0) and may be negative. A day of a
// year the schedule does not cover answers by the plain week (Monday to
// Friday work, no holiday), and the first such question of each year after
// init logs one line.
bool sh_holiday_is_workday(int32_t iDay);
// iHoliday 1..8 as above, or 0 for any of them.
bool sh_holiday_in_break(int32_t iDay, int32_t iHoliday);

#endif // SH_SYS_HOLIDAY_H
