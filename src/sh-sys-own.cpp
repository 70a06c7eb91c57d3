// SPDX-License-Identifier: MIT
// The plug-in's own conditions, beyond the standard set: sh_time_of_day,
// sh_lunar_day and sh_solar_term; sh_workday and sh_holiday on the holiday
// schedule (sh-sys-holiday.cpp).
//
// Unlike the standard conditions, these check their arguments: each must be
// an int32 within its range, or the call answers status 0 and false.
#include <cstdint>
#include <cstring>

#include "qolunar-convert.h"
#include "qosolar-term.h"
#include "sh-sys-func.h"
#include "sh-sys-holiday.h"
#include "sh-sys-var.h"

namespace {

const int32_t SECONDS_OF_DAY = 86400;
const int64_t MS_OF_DAY = 86400000;
// How far the holiday conditions look back and ahead, in days.
const int32_t DAYS_AHEAD_REACH = 7;

// [start, end) within one day, or over midnight when start > end; an empty
// window when they are equal.
bool sh_in_day_window(int32_t iSecond, int32_t iStart, int32_t iEnd) {
    if (iStart < iEnd)
        return iStart <= iSecond && iSecond < iEnd;
    if (iStart > iEnd)
        return iSecond >= iStart || iSecond < iEnd;
    return false;
}

} // namespace

extern "C" {

bool sh_time_of_day(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iStart = 0;
    int32_t iEnd = 0;
    if (argv == nullptr || argc != 2 || !sh_arg_in(argv, 0, 0, SECONDS_OF_DAY, &iStart) ||
        !sh_arg_in(argv, 1, 0, SECONDS_OF_DAY, &iEnd))
        return sh_condition_answer(out, false, false);
    const uint64_t ullTimestamp = sh_home_timestamp_ms();
    const auto iSecond = static_cast<int32_t>(ullTimestamp / 1000 % SECONDS_OF_DAY);
    return sh_condition_answer(out, true, sh_in_day_window(iSecond, iStart, iEnd));
}

bool sh_lunar_day(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t m = 0;
    int32_t d = 0;
    int32_t iLeap = 0;
    if (argv == nullptr || argc != 3 || !sh_arg_in(argv, 0, 1, 12, &m) ||
        !sh_arg_in(argv, 1, -1, 30, &d) || d == 0 || !sh_arg_in(argv, 2, -1, 1, &iLeap))
        return sh_condition_answer(out, false, false);
    // The day number comes straight from the timestamp: no Gregorian date
    // is needed on the way to the lunar one. The calendar ends with 2099.
    const uint64_t ullNowMs = sh_home_now_ms();
    LunarDayInfo stLunar;
    std::memset(&stLunar, 0, sizeof(stLunar));
    if (!qo_days_to_lunar_day(static_cast<int64_t>(ullNowMs / 86400000), &stLunar))
        return sh_condition_answer(out, true, false);
    const bool bDay = d == -1 ? stLunar.ucDay == stLunar.ucMonthDays : stLunar.ucDay == d;
    const bool bLeap = iLeap == -1 || stLunar.bLeap == (iLeap == 1);
    return sh_condition_answer(out, true, stLunar.ucMonth == m && bDay && bLeap);
}

bool sh_solar_term(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iTerm = 0;
    if (argv == nullptr || argc != 1 || !sh_arg_in(argv, 0, 0, SOLAR_TERMS, &iTerm))
        return sh_condition_answer(out, false, false);
    const SysRtc stSysRtc = sh_home_now();
    const int iToday =
        qo_solar_term_of_day(stSysRtc.ucYear + 2000, stSysRtc.ucMonth, stSysRtc.ucDay);
    return sh_condition_answer(out, true, iToday != 0 && (iTerm == 0 || iTerm == iToday));
}

// The holiday schedule: today's day number (home time held to the calendar's
// range) moved by the days-ahead argument.

bool sh_workday(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iAhead = 0;
    if (argv == nullptr || argc != 1 ||
        !sh_arg_in(argv, 0, -DAYS_AHEAD_REACH, DAYS_AHEAD_REACH, &iAhead))
        return sh_condition_answer(out, false, false);
    const auto iDay = static_cast<int32_t>(static_cast<int64_t>(sh_home_now_ms()) / MS_OF_DAY);
    return sh_condition_answer(out, true, sh_holiday_is_workday(iDay + iAhead));
}

bool sh_holiday(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iHoliday = 0;
    int32_t iAhead = 0;
    if (argv == nullptr || argc != 2 || !sh_arg_in(argv, 0, 0, HOLIDAY_KINDS, &iHoliday) ||
        !sh_arg_in(argv, 1, -DAYS_AHEAD_REACH, DAYS_AHEAD_REACH, &iAhead))
        return sh_condition_answer(out, false, false);
    const auto iDay = static_cast<int32_t>(static_cast<int64_t>(sh_home_now_ms()) / MS_OF_DAY);
    return sh_condition_answer(out, true, sh_holiday_in_break(iDay + iAhead, iHoliday));
}

} // extern "C"
