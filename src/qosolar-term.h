// SPDX-License-Identifier: MIT
// The 24 solar terms of the Chinese almanac, 1970..2099: the day on which
// the Sun's apparent ecliptic longitude reaches each multiple of 15 degrees,
// counted in China Standard Time (UTC+8).
#ifndef QOSOLAR_TERM_H
#define QOSOLAR_TERM_H

#include <cstdint>

constexpr int SOLAR_TERM_FIRST_YEAR = 1970;
constexpr int SOLAR_TERM_LAST_YEAR = 2099;
constexpr int SOLAR_TERM_YEARS = SOLAR_TERM_LAST_YEAR - SOLAR_TERM_FIRST_YEAR + 1;
constexpr int SOLAR_TERMS = 24; // two in every month

// Row y - SOLAR_TERM_FIRST_YEAR: the day of the month of each of the year's
// terms, in calendar order (Minor Cold, term 23, first).
extern const uint8_t g_aucSolarTermDays[SOLAR_TERM_YEARS][SOLAR_TERMS];

// The term (1 Start of Spring, 315 degrees .. 24 Major Cold, 300 degrees)
// that falls on the given Gregorian date, or 0 when none does or the year
// lies outside 1970..2099.
int qo_solar_term_of_day(int iYear, int iMonth, int iDay);

#endif // QOSOLAR_TERM_H
