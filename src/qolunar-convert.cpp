// SPDX-License-Identifier: MIT
// Solar-to-lunar conversion from two tables of 205 entries.
//
// Where the data stands: over 1898..2101 it agrees day for day with a widely
// used astronomical lunar library, except two stretches, 2089-09-04..10-03
// and 2097-08-07..09-05, where it starts a month one day later. Both fall on
// new moons near midnight that published sources themselves flag as
// uncertain by a day (2057-09-28 is another such new moon; there the data
// agrees with that library). The values are carried exactly as they are.
#include "qolunar-convert.h"

// clang-format off
const int32_t g_aiSolars[LUNAR_TABLE_SIZE] = {
    0x000769, 0x0ED436, 0x0ED64A, 0x0ED83F, 0x0EDA53, 0x0EDC48, 0x0EDE3D, 0x0EE050, 0x0EE244, 0x0EE439, //   0: 1897
    0x0EE64D, 0x0EE842, 0x0EEA36, 0x0EEC4A, 0x0EEE3E, 0x0EF052, 0x0EF246, 0x0EF43A, 0x0EF64E, 0x0EF843, //  10: 1907
    0x0EFA37, 0x0EFC4B, 0x0EFE41, 0x0F0054, 0x0F0248, 0x0F043C, 0x0F0650, 0x0F0845, 0x0F0A38, 0x0F0C4D, //  20: 1917
    0x0F0E42, 0x0F1037, 0x0F124A, 0x0F143E, 0x0F1651, 0x0F1846, 0x0F1A3A, 0x0F1C4E, 0x0F1E44, 0x0F2038, //  30: 1927
    0x0F224B, 0x0F243F, 0x0F2653, 0x0F2848, 0x0F2A3B, 0x0F2C4F, 0x0F2E45, 0x0F3039, 0x0F324D, 0x0F3442, //  40: 1937
    0x0F3636, 0x0F384A, 0x0F3A3D, 0x0F3C51, 0x0F3E46, 0x0F403B, 0x0F424E, 0x0F4443, 0x0F4638, 0x0F484C, //  50: 1947
    0x0F4A3F, 0x0F4C52, 0x0F4E48, 0x0F503C, 0x0F524F, 0x0F5445, 0x0F5639, 0x0F584D, 0x0F5A42, 0x0F5C35, //  60: 1957
    0x0F5E49, 0x0F603E, 0x0F6251, 0x0F6446, 0x0F663B, 0x0F684F, 0x0F6A43, 0x0F6C37, 0x0F6E4B, 0x0F703F, //  70: 1967
    0x0F7252, 0x0F7447, 0x0F763C, 0x0F7850, 0x0F7A45, 0x0F7C39, 0x0F7E4D, 0x0F8042, 0x0F8254, 0x0F8449, //  80: 1977
    0x0F863D, 0x0F8851, 0x0F8A46, 0x0F8C3B, 0x0F8E4F, 0x0F9044, 0x0F9237, 0x0F944A, 0x0F963F, 0x0F9853, //  90: 1987
    0x0F9A47, 0x0F9C3C, 0x0F9E50, 0x0FA045, 0x0FA238, 0x0FA44C, 0x0FA641, 0x0FA836, 0x0FAA49, 0x0FAC3D, // 100: 1997
    0x0FAE52, 0x0FB047, 0x0FB23A, 0x0FB44E, 0x0FB643, 0x0FB837, 0x0FBA4A, 0x0FBC3F, 0x0FBE53, 0x0FC048, // 110: 2007
    0x0FC23C, 0x0FC450, 0x0FC645, 0x0FC839, 0x0FCA4C, 0x0FCC41, 0x0FCE36, 0x0FD04A, 0x0FD23D, 0x0FD451, // 120: 2017
    0x0FD646, 0x0FD83A, 0x0FDA4D, 0x0FDC43, 0x0FDE37, 0x0FE04B, 0x0FE23F, 0x0FE453, 0x0FE648, 0x0FE83C, // 130: 2027
    0x0FEA4F, 0x0FEC44, 0x0FEE38, 0x0FF04C, 0x0FF241, 0x0FF436, 0x0FF64A, 0x0FF83E, 0x0FFA51, 0x0FFC46, // 140: 2037
    0x0FFE3A, 0x10004E, 0x100242, 0x100437, 0x10064B, 0x100841, 0x100A53, 0x100C48, 0x100E3C, 0x10104F, // 150: 2047
    0x101244, 0x101438, 0x10164C, 0x101842, 0x101A35, 0x101C49, 0x101E3D, 0x102051, 0x102245, 0x10243A, // 160: 2057
    0x10264E, 0x102843, 0x102A37, 0x102C4B, 0x102E3F, 0x103053, 0x103247, 0x10343B, 0x10364F, 0x103845, // 170: 2067
    0x103A38, 0x103C4C, 0x103E42, 0x104036, 0x104249, 0x10443D, 0x104651, 0x104846, 0x104A3A, 0x104C4E, // 180: 2077
    0x104E43, 0x105038, 0x10524A, 0x10543E, 0x105652, 0x105847, 0x105A3B, 0x105C4F, 0x105E45, 0x106039, // 190: 2087
    0x10624C, 0x106441, 0x106635, 0x106849, 0x106A3D,                                                   // 200: 2097
};

const int32_t g_aiLunarMonthDays[LUNAR_TABLE_SIZE] = {
    0x00769, 0x075AA, 0x0156A, 0x1096D, 0x0095C, 0x014AE, 0x0AA4D, 0x01A4C, 0x01B2A, 0x08D55, //   0: 1897
    0x00AD4, 0x0135A, 0x0495D, 0x0095C, 0x0D49B, 0x0149A, 0x01A4A, 0x0BAA5, 0x016A8, 0x01AD4, //  10: 1907
    0x052DA, 0x012B6, 0x0E937, 0x0092E, 0x01496, 0x0B64B, 0x00D4A, 0x00DA8, 0x095B5, 0x0056C, //  20: 1917
    0x012AE, 0x0492F, 0x0092E, 0x0CC96, 0x01A94, 0x01D4A, 0x0ADA9, 0x00B5A, 0x0056C, 0x0726E, //  30: 1927
    0x0125C, 0x0F92D, 0x0192A, 0x01A94, 0x0DB4A, 0x016AA, 0x00AD4, 0x0955B, 0x004BA, 0x0125A, //  40: 1937
    0x0592B, 0x0152A, 0x0F695, 0x00D94, 0x016AA, 0x0AAB5, 0x009B4, 0x014B6, 0x06A57, 0x00A56, //  50: 1947
    0x1152A, 0x01D2A, 0x00D54, 0x0D5AA, 0x0156A, 0x0096C, 0x094AE, 0x014AE, 0x00A4C, 0x07D26, //  60: 1957
    0x01B2A, 0x0EB55, 0x00AD4, 0x012DA, 0x0A95D, 0x0095A, 0x0149A, 0x09A4D, 0x01A4A, 0x11AA5, //  70: 1967
    0x016A8, 0x016D4, 0x0D2DA, 0x012B6, 0x00936, 0x09497, 0x01496, 0x1564B, 0x00D4A, 0x00DA8, //  80: 1977
    0x0D5B4, 0x0156C, 0x012AE, 0x0A92F, 0x0092E, 0x00C96, 0x06D4A, 0x01D4A, 0x10D65, 0x00B58, //  90: 1987
    0x0156C, 0x0B26D, 0x0125C, 0x0192C, 0x09A95, 0x01A94, 0x01B4A, 0x04B55, 0x00AD4, 0x0F55B, // 100: 1997
    0x004BA, 0x0125A, 0x0B92B, 0x0152A, 0x01694, 0x096AA, 0x015AA, 0x12AB5, 0x00974, 0x014B6, // 110: 2007
    0x0CA57, 0x00A56, 0x01526, 0x08E95, 0x00D54, 0x015AA, 0x049B5, 0x0096C, 0x0D4AE, 0x0149C, // 120: 2017
    0x01A4C, 0x0BD26, 0x01AA6, 0x00B54, 0x06D6A, 0x012DA, 0x1695D, 0x0095A, 0x0149A, 0x0DA4B, // 130: 2027
    0x01A4A, 0x01AA4, 0x0BB54, 0x016B4, 0x00ADA, 0x0495B, 0x00936, 0x0F497, 0x01496, 0x0154A, // 140: 2037
    0x0B6A5, 0x00DA4, 0x015B4, 0x06AB6, 0x0126E, 0x1092F, 0x0092E, 0x00C96, 0x0CD4A, 0x01D4A, // 150: 2047
    0x00D64, 0x0956C, 0x0155C, 0x0125C, 0x0792E, 0x0192C, 0x0FA95, 0x01A94, 0x01B4A, 0x0AB55, // 160: 2057
    0x00AD4, 0x014DA, 0x08A5D, 0x00A5A, 0x1152B, 0x0152A, 0x01694, 0x0D6AA, 0x015AA, 0x00AB4, // 170: 2067
    0x094BA, 0x014B6, 0x00A56, 0x07527, 0x00D26, 0x0EE53, 0x00D54, 0x015AA, 0x0A9B5, 0x0096C, // 180: 2077
    0x014AE, 0x08A4E, 0x01A4C, 0x11D26, 0x01AA4, 0x01B54, 0x0CD6A, 0x00ADA, 0x0095C, 0x0949D, // 190: 2087
    0x0149A, 0x01A2A, 0x05B25, 0x01AA4, 0x0FB52,                                              // 200: 2097
};
// clang-format on

namespace {

// Bits [shift, shift + width) of value; every use keeps width + shift <= 21.
int32_t qo_get_bit_int(int32_t iValue, int32_t iWidth, int32_t iShift) {
    return (iValue & (((1 << iWidth) - 1) << iShift)) >> iShift;
}

// Days in the proleptic Gregorian calendar, day 0 being 1 March of year 0;
// only differences are used. The day is not checked.
int64_t qo_solar_to_int(int32_t iYear, int32_t iMonth, int32_t iDay) {
    const int32_t m = (iMonth + 9) % 12; // March 0 .. February 11
    const int32_t y = iYear - m / 10;    // January and February count in the year before
    return static_cast<int64_t>(365 * y + y / 4 - y / 100 + y / 400 + (306 * m + 5) / 10 +
                                (iDay - 1));
}

bool qo_validate_days(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay) {
    const bool bLeap = (usYear % 4 == 0 && usYear % 100 != 0) || usYear % 400 == 0;
    int iLength = 0;
    if (ucMonth == 2)
        iLength = bLeap ? 29 : 28;
    else
        iLength = 31 - (ucMonth - 1) % 7 % 2; // 31, -, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31
    return ucDay >= 1 && ucDay <= iLength;
}

// Where a date falls in the lunar tables: its lunar year, the position of
// its month in that year, the day within the month and the month's length.
struct LunarPlace {
    int iIndex;  // table element of the lunar year: 1 .. 204
    int iLeap;   // the year's leap month, 0 for none
    int iPos;    // position of the month in the year: 1 .. 13
    int iDay;    // 1 .. 30
    int iLength; // 29 or 30
};

// The day number (as qo_solar_to_int counts) of the new year of lunar year
// g_aiSolars[0] + iIndex.
int64_t qo_lunar_new_year(int iIndex) {
    const int32_t e = g_aiSolars[iIndex];
    return qo_solar_to_int(qo_get_bit_int(e, 12, 9), qo_get_bit_int(e, 4, 5),
                           qo_get_bit_int(e, 5, 0));
}

// Day n (1 .. 384) of lunar year iIndex: the walk stops at the month holding
// it, so the month's length is at hand.
LunarPlace qo_lunar_place(int iIndex, int n) {
    const int32_t md = g_aiLunarMonthDays[iIndex];
    int p = 1;
    int iLength = 29;
    for (int k = 0; k <= 12; ++k) {
        iLength = qo_get_bit_int(md, 1, 12 - k) == 1 ? 30 : 29;
        if (iLength >= n)
            break;
        ++p;
        n -= iLength;
    }
    return {iIndex, qo_get_bit_int(md, 4, 13), p, n, iLength};
}

// False for a date that is invalid or outside the tables.
bool qo_lunar_locate(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay, LunarPlace *pstPlace) {
    int iIndex = usYear - g_aiSolars[0];
    if (iIndex < 1 || iIndex >= LUNAR_TABLE_SIZE || ucMonth < 1 || ucMonth > 12)
        return false;
    // The date is checked before anything is written, so that a refusal
    // leaves the caller's record as it was. It also keeps the day inside its
    // five bits of the packed value below.
    if (!qo_validate_days(usYear, ucMonth, ucDay))
        return false;

    const int32_t iPacked = usYear << 9 | ucMonth << 5 | ucDay;
    if (g_aiSolars[iIndex] > iPacked)
        --iIndex; // before this year's new year: the lunar year before
    if (iIndex == 0)
        return false; // 1898 before 1898-01-22

    const int64_t n = qo_solar_to_int(usYear, ucMonth, ucDay) - qo_lunar_new_year(iIndex) + 1;
    *pstPlace = qo_lunar_place(iIndex, static_cast<int>(n));
    return true;
}

// Months up to the leap month keep their position; the leap month (L + 1)
// and every later one report position - 1.
uint8_t qo_lunar_month_number(const LunarPlace &stPlace) {
    const bool bAfterLeap = stPlace.iLeap != 0 && stPlace.iPos > stPlace.iLeap;
    return static_cast<uint8_t>(bAfterLeap ? stPlace.iPos - 1 : stPlace.iPos);
}

} // namespace

bool qo_solar_to_lunar(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay, LunarDate *pstOut) {
    LunarPlace stPlace;
    if (!qo_lunar_locate(usYear, ucMonth, ucDay, &stPlace))
        return false;
    pstOut->usYear = static_cast<uint16_t>(stPlace.iIndex + g_aiSolars[0]);
    pstOut->ucMonth = qo_lunar_month_number(stPlace);
    pstOut->ucDay = static_cast<uint8_t>(stPlace.iDay);
    return true;
}

namespace {

void qo_lunar_day_info(const LunarPlace &stPlace, LunarDayInfo *pstOut) {
    pstOut->ucMonth = qo_lunar_month_number(stPlace);
    pstOut->ucDay = static_cast<uint8_t>(stPlace.iDay);
    pstOut->ucMonthDays = static_cast<uint8_t>(stPlace.iLength);
    pstOut->bLeap = stPlace.iLeap != 0 && stPlace.iPos == stPlace.iLeap + 1;
}

} // namespace

bool qo_solar_to_lunar_day(uint16_t usYear, uint8_t ucMonth, uint8_t ucDay, LunarDayInfo *pstOut) {
    LunarPlace stPlace;
    if (!qo_lunar_locate(usYear, ucMonth, ucDay, &stPlace))
        return false;
    qo_lunar_day_info(stPlace, pstOut);
    return true;
}

bool qo_days_to_lunar_day(int64_t llDays, LunarDayInfo *pstOut) {
    // The tables' first day, 1898-01-22, is 26 276 days before 1970-01-01,
    // their last, 2101-12-31, 48 211 days after it.
    if (llDays < -26276 || llDays > 48211)
        return false;
    // 1970-01-01 as qo_solar_to_int counts: 365 * 1969 + 1969 / 4 - 1969 / 100
    // + 1969 / 400 + 306 days from March to January.
    const int64_t llDay = llDays + 719468;
    // The Gregorian year of the day is near this estimate, and a lunar year
    // begins in January or February of its Gregorian year: a step or two
    // find the lunar year that holds the day.
    int iIndex = static_cast<int>(1970 + llDays * 400 / 146097) - g_aiSolars[0];
    while (iIndex + 1 < LUNAR_TABLE_SIZE && qo_lunar_new_year(iIndex + 1) <= llDay)
        ++iIndex;
    while (qo_lunar_new_year(iIndex) > llDay)
        --iIndex;
    qo_lunar_day_info(
        qo_lunar_place(iIndex, static_cast<int>(llDay - qo_lunar_new_year(iIndex) + 1)), pstOut);
    return true;
}
