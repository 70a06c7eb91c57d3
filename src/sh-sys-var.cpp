// SPDX-License-Identifier: MIT
// Home-time arithmetic: four-year cycles from 1970, no table of years.
#include "sh-sys-var.h"

namespace {

const int SECONDS_OF_DAYS = 24 * 60 * 60;             // 86400
const int DAYS_OF_FOUR_YEARS = 365 + 365 + 366 + 365; // 1461: cycles begin 1970, 1974, ...

constexpr int norMoth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int leapMoth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The four years of a cycle: first day (0-based, within the cycle), offset
// from the cycle's first year, leap flag.
struct CycleYear {
    int iFirstDay;
    int iYearOffset;
    uint8_t ucLeap;
};
const CycleYear CYCLE[4] = {
    {0, 0, 0},    // 1970 + 4K: E    0 ..  364
    {365, 1, 0},  // 1971 + 4K: E  365 ..  729
    {730, 2, 1},  // 1972 + 4K: E  730 .. 1095
    {1096, 3, 0}, // 1973 + 4K: E 1096 .. 1460
};

// Days before each month, summed from a month-length table at compile time;
// entry 12 is the length of the year.
struct MonthStarts {
    int aiBefore[13];
};
constexpr MonthStarts month_starts(const int (&aiLength)[12]) {
    MonthStarts st{};
    for (int i = 1; i <= 12; ++i)
        st.aiBefore[i] = st.aiBefore[i - 1] + aiLength[i - 1];
    return st;
}
constexpr MonthStarts NOR_STARTS = month_starts(norMoth);
constexpr MonthStarts LEAP_STARTS = month_starts(leapMoth);
static_assert(NOR_STARTS.aiBefore[12] == 365, "a common year has 365 days");
static_assert(LEAP_STARTS.aiBefore[12] == 366, "a leap year has 366 days");

// The Gregorian calendar, for turning fields back into a time value. Its
// leap rule repeats every 400 years.
const int64_t DAYS_OF_400_YEARS = 400 * 365 + 97; // 146097: 100 leap years less 3 centuries
// From 0000-01-01 to 1970-01-01 of the proleptic calendar: 4 whole eras
// (0 .. 1599) and the 370 years 1600 .. 1969, 90 of them leap years.
const int64_t DAYS_FROM_YEAR_0_TO_1970 = 4 * DAYS_OF_400_YEARS + 370 * 365 + 90; // 719528

// Rounds toward minus infinity, so that eras and years carried out of a
// month index keep counting through zero.
int64_t floor_div(int64_t llNum, int64_t llDen) {
    const int64_t q = llNum / llDen;
    return q - (llNum % llDen != 0 && (llNum < 0) != (llDen < 0));
}

bool is_leap_year(int64_t llYear) {
    return llYear % 4 == 0 && (llYear % 100 != 0 || llYear % 400 == 0);
}

// Days from 1970-01-01 to 1 January of llYear, which may be any year in
// +-2^32: negative before 1970.
int64_t days_before_year(int64_t llYear) {
    const int64_t llEra = floor_div(llYear, 400); // year 400 * llEra opens the era
    const auto iYearOfEra = static_cast<int>(llYear - llEra * 400); // [0, 399]
    // Leap years among years 0 .. iYearOfEra - 1 of the era; year 0 is one.
    const int iLeaps = (iYearOfEra + 3) / 4 - (iYearOfEra + 99) / 100 + (iYearOfEra + 399) / 400;
    return llEra * DAYS_OF_400_YEARS + 365 * iYearOfEra + iLeaps - DAYS_FROM_YEAR_0_TO_1970;
}

} // namespace

// The month is the first whose last day is at or after the day of the year.
// No month is longer than 32 days and any two are longer than 32, so
// (day - 1) / 32 is the month or the one before it: one comparison settles
// it, in constant time. A stray day of year still lands in January ..
// December.
void get_month_day(uint8_t ucLeap, int iDayOfYear, SysRtc *pstOut) {
    const int *piBefore = ucLeap != 0 ? LEAP_STARTS.aiBefore : NOR_STARTS.aiBefore;
    int iMonth = iDayOfYear < 1 ? 0 : (iDayOfYear - 1) / 32; // 0-based
    if (iMonth > 11)
        iMonth = 11;
    iMonth += iDayOfYear > piBefore[iMonth + 1];
    if (iMonth > 11)
        iMonth = 11;
    pstOut->ucMonth = static_cast<uint8_t>(iMonth + 1);
    pstOut->ucDay = static_cast<uint8_t>(iDayOfYear - piBefore[iMonth]);
}

void get_HMS(int iSecondOfDay, SysRtc *pstOut) {
    pstOut->ucHour = static_cast<uint8_t>(iSecondOfDay / 3600);
    pstOut->ucMinute = static_cast<uint8_t>(iSecondOfDay % 3600 / 60);
    pstOut->ucSecond = static_cast<uint8_t>(iSecondOfDay % 3600 % 60);
}

void get_week(int iDayNumber, SysRtc *pstOut) {
    // Day 1, 1970-01-01, was a Thursday (4).
    const int w = (iDayNumber + 3) % 7;
    pstOut->ucWeek = static_cast<uint8_t>(w == 0 ? 7 : w);
}

void qo_get_hometime(uint64_t ullTimestamp, SysRtc *pstOut) {
    if (ullTimestamp > HOME_TIME_LAST_MS)
        ullTimestamp = HOME_TIME_LAST_MS;
    // One wide division: whole days of milliseconds are whole days of
    // seconds, and the rest of the day fits 32 bits.
    const uint64_t ullMsOfDays = 1000ULL * SECONDS_OF_DAYS;
    const int N = static_cast<int>(ullTimestamp / ullMsOfDays); // [0, 47481]
    const auto uMsOfDay = static_cast<uint32_t>(ullTimestamp - N * ullMsOfDays);
    const int D = N + 1;
    const int K = N / DAYS_OF_FOUR_YEARS; // [0, 32]
    const int E = N % DAYS_OF_FOUR_YEARS; // [0, 1460]

    const int iCycleYear =
        (E >= CYCLE[1].iFirstDay) + (E >= CYCLE[2].iFirstDay) + (E >= CYCLE[3].iFirstDay);
    const CycleYear &stYear = CYCLE[iCycleYear];
    const int iYear = 1970 + 4 * K + stYear.iYearOffset;
    const int iDayOfYear = E - stYear.iFirstDay + 1; // [1, 366]

    pstOut->ucYear = static_cast<int8_t>(iYear - 2000); // [-30, 99]
    get_month_day(stYear.ucLeap, iDayOfYear, pstOut);
    get_HMS(static_cast<int>(uMsOfDay / 1000), pstOut);
    get_week(D, pstOut);
}

int64_t qo_formate_time(const SysRtc *pstRtc, int iYear, int iMonth, int iDay, int iSecondOfDay) {
    // Every field is widened before it is offset: a year of INT_MAX or a
    // month of INT_MIN is a moment like any other, at most some 2.4e9 years
    // away, and its seconds fit 64 bits many times over.
    const int64_t llMonth0 = int64_t{iMonth == -1 ? pstRtc->ucMonth : iMonth} - 1; // any int64
    const int64_t llYearCarry = floor_div(llMonth0, 12);
    const auto iMonthIndex = static_cast<int>(llMonth0 - llYearCarry * 12); // [0, 11]
    const int64_t llYear = int64_t{iYear == -1 ? pstRtc->ucYear : iYear} + 2000 + llYearCarry;

    const int *piBefore = is_leap_year(llYear) ? LEAP_STARTS.aiBefore : NOR_STARTS.aiBefore;
    const int64_t llDays = days_before_year(llYear) + piBefore[iMonthIndex] +
                           (int64_t{iDay == -1 ? pstRtc->ucDay : iDay} - 1);
    // The time of day as the hour (s / 3600 % 24), minute (s / 60 % 60) and
    // second (s % 60) it is made of, all truncating toward zero: together
    // they are s % 86400. Whole days are dropped, never carried, and a
    // negative second of day reaches back into the day before.
    return llDays * SECONDS_OF_DAYS + iSecondOfDay % SECONDS_OF_DAYS;
}
