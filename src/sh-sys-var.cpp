// SPDX-License-Identifier: MIT
// Home-time arithmetic: four-year cycles from 1970, no table of years.
#include "sh-sys-var.h"

#include <climits>
#include <cstring>

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

time_t qo_formate_time(const SysRtc *pstRtc, int iYear, int iMonth, int iDay, int iSecondOfDay) {
    // Script arguments are arbitrary ints: years since 1900 and the 0-based
    // month are formed wide, and a field that does not fit is a moment
    // mktime cannot represent.
    const long long llYear = (iYear == -1 ? pstRtc->ucYear : iYear) + 100LL;
    const long long llMonth = (iMonth == -1 ? pstRtc->ucMonth : iMonth) - 1LL;
    if (llYear > INT_MAX || llMonth < INT_MIN)
        return static_cast<time_t>(-1);

    struct tm stTm;
    std::memset(&stTm, 0, sizeof(stTm));
    stTm.tm_year = static_cast<int>(llYear);
    stTm.tm_mon = static_cast<int>(llMonth);
    stTm.tm_mday = iDay == -1 ? pstRtc->ucDay : iDay;
    // Only the time of day counts: whole days are dropped, not carried.
    stTm.tm_hour = iSecondOfDay / 3600 % 24;
    stTm.tm_min = iSecondOfDay / 60 % 60;
    stTm.tm_sec = iSecondOfDay % 60;
    stTm.tm_isdst = 0;
    return mktime(&stTm);
}
