// Home-time arithmetic: four-year cycles from 1970, no table of years.
#include "sh-sys-var.h"

#include <climits>
#include <cstring>

namespace {

const int SECONDS_OF_DAYS = 24 * 60 * 60;             // 86400
const int DAYS_OF_FOUR_YEARS = 365 + 365 + 366 + 365; // 1461: cycles begin 1970, 1974, ...

const int norMoth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int leapMoth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

} // namespace

void get_month_day(uint8_t ucLeap, int iDayOfYear, SysRtc *pstOut) {
    const int *piLength = ucLeap != 0 ? leapMoth : norMoth;
    int i = 0;
    // A day past November's end lands in December, so a stray day of year
    // never indexes beyond the table.
    while (i < 11 && iDayOfYear > piLength[i]) {
        iDayOfYear -= piLength[i];
        ++i;
    }
    pstOut->ucMonth = static_cast<uint8_t>(i + 1);
    pstOut->ucDay = static_cast<uint8_t>(iDayOfYear);
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
    const uint64_t S = ullTimestamp / 1000;
    const int N = static_cast<int>(S / SECONDS_OF_DAYS); // [0, 47481]
    const int D = N + 1;
    const int K = N / DAYS_OF_FOUR_YEARS; // [0, 32]
    const int E = N % DAYS_OF_FOUR_YEARS; // [0, 1460]

    int iYear = 0;
    int iDayOfYear = 0;
    uint8_t ucLeap = 0;
    if (E <= 364) {
        iYear = 1970 + 4 * K;
        iDayOfYear = E + 1;
    } else if (E <= 729) {
        iYear = 1971 + 4 * K;
        iDayOfYear = E - 364;
    } else if (E <= 1095) {
        iYear = 1972 + 4 * K;
        iDayOfYear = E - 729;
        ucLeap = 1;
    } else {
        iYear = 1973 + 4 * K;
        iDayOfYear = E - 1095;
    }

    pstOut->ucYear = static_cast<int8_t>(iYear - 2000); // [-30, 99]
    get_month_day(ucLeap, iDayOfYear, pstOut);
    get_HMS(static_cast<int>(S % SECONDS_OF_DAYS), pstOut);
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
