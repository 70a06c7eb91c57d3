// SPDX-License-Identifier: MIT
// Home-time arithmetic: four-year cycles from 1970 for the breakdown, no
// table of years; the Gregorian calendar in 64 bits for the way back.
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
// leap rule repeats every 400 years. Years are counted from 1 March here, so
// that the leap day, when there is one, is the last day of its year and no
// month before it depends on the rule.
const int64_t DAYS_OF_400_YEARS = 400 * 365 + 97; // 146097: 100 leap years less 3 centuries
// From 0000-03-01 to 1970-01-01 of the proleptic calendar: 4 whole eras
// (0 .. 1599), the 370 years 1600 .. 1969 with their 90 leap days, less
// January and February of the leap year 0.
const int64_t DAYS_FROM_0000_03_01_TO_1970 =
    4 * DAYS_OF_400_YEARS + 370 * 365 + 90 - (31 + 29); // 719468

// Days before the first of each month of a year that begins in March:
// March .. December, then January and February.
struct MarchStarts {
    int aiBefore[12];
};
constexpr MarchStarts march_starts() {
    MarchStarts st{};
    for (int i = 1; i < 12; ++i)
        st.aiBefore[i] = st.aiBefore[i - 1] + norMoth[(i - 1 + 2) % 12];
    return st;
}
constexpr MarchStarts MARCH_STARTS = march_starts();
static_assert(MARCH_STARTS.aiBefore[10] == 306 && MARCH_STARTS.aiBefore[11] == 337,
              "January and February close the year that began in March");

// Arguments reach some 2.33e9 years before year 0 (a year of INT_MIN less
// the INT_MAX / 12 years of a month of INT_MIN). Shifted by this many whole
// eras every year is positive, so the divisions below are plain unsigned
// ones, and the calendar, repeating each era, is the same.
const uint64_t ERAS_OF_SHIFT = 6000000; // 2.4e9 years
const int64_t YEARS_OF_SHIFT = 400 * static_cast<int64_t>(ERAS_OF_SHIFT);

// Days from 1970-01-01 to the first of a month: llYear any year an
// argument reaches, iMonthIndex 0 (January) .. 11. Negative before 1970.
constexpr int64_t days_before_month(int64_t llYear, int iMonthIndex) {
    const bool bJanFeb = iMonthIndex < 2;
    const int iMonthFromMarch = bJanFeb ? iMonthIndex + 10 : iMonthIndex - 2; // [0, 11]
    // The year that began the March before, shifted: [7e7, 4.9e9].
    const auto ullMarchYear = static_cast<uint64_t>(llYear - bJanFeb + YEARS_OF_SHIFT);
    const uint64_t ullEra = ullMarchYear / 400; // eras begin 0000-03-01, 0400-03-01, ...
    const auto uYearOfEra = static_cast<unsigned>(ullMarchYear % 400); // [0, 399]
    // Leap days in the years of the era before this one: years 3, 7, 11,
    // ... end in a leap February, but 99, 199 and 299 do not (399 does,
    // and comes before none).
    const unsigned uDayOfEra = 365 * uYearOfEra + uYearOfEra / 4 - uYearOfEra / 100 +
                               MARCH_STARTS.aiBefore[iMonthFromMarch]; // [0, 146096]
    return (static_cast<int64_t>(ullEra) - static_cast<int64_t>(ERAS_OF_SHIFT)) *
               DAYS_OF_400_YEARS +
           uDayOfEra - DAYS_FROM_0000_03_01_TO_1970;
}

// 1 January of each year that scripts name in practice, 1900 .. 2155 (year
// arguments -100 .. 155): one lookup instead of the era arithmetic, and the
// year's length tells its leap rule.
const int FIRST_TABLE_YEAR = 1900;
const int TABLE_YEARS = 256;
struct YearStarts {
    int32_t aiDays[TABLE_YEARS + 1]; // from 1970-01-01, negative before
};
constexpr YearStarts year_starts() {
    YearStarts st{};
    for (int i = 0; i <= TABLE_YEARS; ++i)
        st.aiDays[i] = static_cast<int32_t>(days_before_month(FIRST_TABLE_YEAR + i, 0));
    return st;
}
constexpr YearStarts YEAR_STARTS = year_starts();
static_assert(YEAR_STARTS.aiDays[1970 - FIRST_TABLE_YEAR] == 0, "the scale begins in 1970");
static_assert(YEAR_STARTS.aiDays[2001 - FIRST_TABLE_YEAR] -
                      YEAR_STARTS.aiDays[2000 - FIRST_TABLE_YEAR] ==
                  366,
              "2000 is a leap year");
static_assert(YEAR_STARTS.aiDays[2101 - FIRST_TABLE_YEAR] -
                      YEAR_STARTS.aiDays[2100 - FIRST_TABLE_YEAR] ==
                  365,
              "2100 is not");

// Days from 1970-01-01 to the first of a month, through the table where it
// reaches.
int64_t days_before_month_fast(int64_t llYear, int iMonthIndex) {
    const int64_t llIndex = llYear - FIRST_TABLE_YEAR;
    if (llIndex < 0 || llIndex >= TABLE_YEARS)
        return days_before_month(llYear, iMonthIndex);
    const int32_t *piYear = &YEAR_STARTS.aiDays[llIndex];
    const int *piBefore = piYear[1] - piYear[0] == 366 ? LEAP_STARTS.aiBefore : NOR_STARTS.aiBefore;
    return piYear[0] + piBefore[iMonthIndex];
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
    const int64_t llMonth0 = int64_t{iMonth == -1 ? pstRtc->ucMonth : iMonth} - 1;
    // Shifted by 2^28 years of months it is positive: [1e9, 5.4e9].
    const auto ullMonthShifted = static_cast<uint64_t>(llMonth0 + 12 * (int64_t{1} << 28));
    const bool bInYear = llMonth0 >= 0 && llMonth0 < 12;
    const auto iMonthIndex = static_cast<int>(bInYear ? llMonth0 : ullMonthShifted % 12); // [0, 11]
    const int64_t llYearCarry =
        bInYear ? 0 : static_cast<int64_t>(ullMonthShifted / 12) - (int64_t{1} << 28);
    const int64_t llYear = int64_t{iYear == -1 ? pstRtc->ucYear : iYear} + 2000 + llYearCarry;
    const int64_t llDays = days_before_month_fast(llYear, iMonthIndex) +
                           (int64_t{iDay == -1 ? pstRtc->ucDay : iDay} - 1);
    // The time of day as the hour (s / 3600 % 24), minute (s / 60 % 60) and
    // second (s % 60) it is made of, all truncating toward zero: together
    // they are s % 86400. Whole days are dropped, never carried, and a
    // negative second of day reaches back into the day before.
    return llDays * SECONDS_OF_DAYS + iSecondOfDay % SECONDS_OF_DAYS;
}
