// SPDX-License-Identifier: MIT
// The moment a date and a time of day stand for, by the C++20 civil
// calendar alone: the independent reference for qo_formate_time and for
// the bounds of sh_time_range.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace civil {

// std::chrono::year stops at +-32767; the Gregorian calendar repeats every
// 400 years (4800 months, 146097 days), so whole cycles are counted apart
// and chrono places the rest.
inline constexpr int64_t MONTHS_OF_400_YEARS = 4800;
inline constexpr int64_t DAYS_OF_400_YEARS = 146097;

inline int64_t floorDiv(int64_t n, int64_t d) {
    return n / d - (n % d != 0 && (n < 0) != (d < 0));
}

// Seconds from 1970-01-01 00:00:00 for a year counted from 2000, a 1-based
// month and a day of any value (chrono normalises them) and the time of day
// made of the hour secondOfDay / 3600 % 24, the minute secondOfDay / 60 % 60
// and the second secondOfDay % 60.
inline int64_t seconds(int64_t yearFrom2000, int64_t month, int64_t day, int secondOfDay) {
    using namespace std::chrono;
    const int64_t monthsFrom2000 = yearFrom2000 * 12 + (month - 1);
    const int64_t cycles = floorDiv(monthsFrom2000, MONTHS_OF_400_YEARS);
    const int64_t rest = monthsFrom2000 - cycles * MONTHS_OF_400_YEARS; // [0, 4799]
    const year_month ym = year{2000} / January + months{rest};
    const sys_days first = ym / 1;
    const int64_t dayCount =
        first.time_since_epoch().count() + cycles * DAYS_OF_400_YEARS + (day - 1);
    const auto timeOfDay = hours{secondOfDay / 3600 % 24} + minutes{secondOfDay / 60 % 60} +
                           std::chrono::seconds{secondOfDay % 60};
    return dayCount * 86400 + timeOfDay.count();
}

// The civil date of a moment, with its year counted from 2000.
struct Date {
    int64_t yearFrom2000;
    int64_t month;
    int64_t day;
};
inline Date dateOf(int64_t secondsSinceEpoch) {
    using namespace std::chrono;
    const sys_days d{days{floorDiv(secondsSinceEpoch, 86400)}};
    const year_month_day ymd{d};
    return {int(ymd.year()) - 2000, unsigned(ymd.month()), unsigned(ymd.day())};
}

// YYYY-MM-DD, for failure messages.
inline std::string show(const std::chrono::year_month_day &d) {
    char text[16];
    std::snprintf(text, sizeof(text), "%04d-%02u-%02u", int(d.year()), unsigned(d.month()),
                  unsigned(d.day()));
    return text;
}

} // namespace civil
