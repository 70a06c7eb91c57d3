// SPDX-License-Identifier: MIT
// POSIX TZ strings: a parser that walks the text one token at a time, and
// the offset in force at an instant from the rule's transitions of the
// years around it.
#include "sh-sys-zone.h"

#include "sh-sys-var.h"

namespace {

const int64_t SECONDS_OF_DAY = 24 * 60 * 60;
const int32_t SECONDS_OF_HOUR = 60 * 60;
// The calendar and its weekdays repeat every 400 Gregorian years: 146097
// days, a whole number of weeks. So do the rules, which name only days of a
// year, and with them every offset.
const int64_t DAYS_OF_400_YEARS = 146097;
const int64_t SECONDS_OF_400_YEARS = DAYS_OF_400_YEARS * SECONDS_OF_DAY;
static_assert(DAYS_OF_400_YEARS % 7 == 0, "400 years are whole weeks");

// A transition without "/time" happens at 02:00.
const int32_t DEFAULT_RULE_TIME = 2 * SECONDS_OF_HOUR;

// ---------------------------------------------------------------------------
// Parsing. Each function reads one token at stCur.p, advances past it and
// answers true, or records why and where it failed and answers false.

struct Cursor {
    const char *p;
    const char *pszWhy;
    const char *pWhere;
};

bool fail(Cursor &stCur, const char *pszWhy) {
    stCur.pszWhy = pszWhy;
    stCur.pWhere = stCur.p;
    return false;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A name: three or more letters, or three or more letters, digits, '+' and
// '-' between '<' and '>'. Kept in szOut without the brackets.
bool parse_name(Cursor &stCur, char (&szOut)[SH_ZONE_NAME_MAX + 1]) {
    const bool bQuoted = *stCur.p == '<';
    const char *pBegin = stCur.p + bQuoted;
    const char *pEnd = pBegin;
    if (bQuoted) {
        while (is_alpha(*pEnd) || is_digit(*pEnd) || *pEnd == '+' || *pEnd == '-')
            ++pEnd;
        if (*pEnd != '>') {
            stCur.p = pEnd;
            return fail(stCur, *pEnd == '\0' ? "quoted name without '>'"
                                             : "quoted name holds a character other than "
                                               "letters, digits, '+' and '-'");
        }
    } else {
        while (is_alpha(*pEnd))
            ++pEnd;
    }
    const auto iLength = static_cast<int>(pEnd - pBegin);
    stCur.p = pBegin;
    if (iLength == 0)
        return fail(stCur, "name missing");
    if (iLength < 3)
        return fail(stCur, "name shorter than 3 characters");
    if (iLength > SH_ZONE_NAME_MAX)
        return fail(stCur, "name longer than 15 characters");
    for (int i = 0; i < iLength; ++i)
        szOut[i] = pBegin[i];
    szOut[iLength] = '\0';
    stCur.p = pEnd + bQuoted;
    return true;
}

// A decimal number of at most iMaxDigits digits, iMin .. iMax.
bool parse_number(Cursor &stCur, int iMaxDigits, int32_t iMin, int32_t iMax, const char *pszRange,
                  int32_t *piOut) {
    if (!is_digit(*stCur.p))
        return fail(stCur, "number expected");
    const char *pBegin = stCur.p;
    int32_t iValue = 0;
    while (is_digit(*stCur.p)) {
        if (stCur.p - pBegin == iMaxDigits) {
            stCur.p = pBegin;
            return fail(stCur, pszRange);
        }
        iValue = iValue * 10 + (*stCur.p - '0');
        ++stCur.p;
    }
    if (iValue < iMin || iValue > iMax) {
        stCur.p = pBegin;
        return fail(stCur, pszRange);
    }
    *piOut = iValue;
    return true;
}

// hh[:mm[:ss]] in seconds, hours no more than iHourMax.
bool parse_clock(Cursor &stCur, int32_t iHourMax, const char *pszHourRange, int32_t *piOut) {
    int32_t iHour = 0, iMinute = 0, iSecond = 0;
    if (!parse_number(stCur, 3, 0, iHourMax, pszHourRange, &iHour))
        return false;
    if (*stCur.p == ':') {
        ++stCur.p;
        if (!parse_number(stCur, 2, 0, 59, "minutes out of range", &iMinute))
            return false;
        if (*stCur.p == ':') {
            ++stCur.p;
            if (!parse_number(stCur, 2, 0, 59, "seconds out of range", &iSecond))
                return false;
        }
    }
    *piOut = iHour * SECONDS_OF_HOUR + iMinute * 60 + iSecond;
    return true;
}

// [+|-]hh[:mm[:ss]], hours 0..24, west of UTC when positive: answered as
// seconds east.
bool parse_offset(Cursor &stCur, int32_t *piEast) {
    const bool bNegative = *stCur.p == '-';
    stCur.p += *stCur.p == '-' || *stCur.p == '+';
    if (!is_digit(*stCur.p))
        return fail(stCur, "offset missing");
    int32_t iWest = 0;
    if (!parse_clock(stCur, 24, "offset out of range", &iWest))
        return false;
    *piEast = bNegative ? iWest : -iWest;
    return true;
}

// Jn, n or Mm.w.d, then an optional /[+|-]hh[:mm[:ss]], hours -167..167.
bool parse_rule(Cursor &stCur, ShZoneRule *pstRule) {
    ShZoneRule stRule{};
    int32_t iValue = 0;
    if (*stCur.p == 'J') {
        ++stCur.p;
        stRule.ucKind = SH_ZONE_RULE_JULIAN;
        if (!parse_number(stCur, 3, 1, 365, "day out of range", &iValue))
            return false;
        stRule.sDay = static_cast<int16_t>(iValue);
    } else if (is_digit(*stCur.p)) {
        stRule.ucKind = SH_ZONE_RULE_DAY;
        if (!parse_number(stCur, 3, 0, 365, "day out of range", &iValue))
            return false;
        stRule.sDay = static_cast<int16_t>(iValue);
    } else if (*stCur.p == 'M') {
        ++stCur.p;
        stRule.ucKind = SH_ZONE_RULE_MONTH;
        if (!parse_number(stCur, 2, 1, 12, "month out of range", &iValue))
            return false;
        stRule.ucMonth = static_cast<uint8_t>(iValue);
        if (*stCur.p != '.')
            return fail(stCur, "'.' expected after the month");
        ++stCur.p;
        if (!parse_number(stCur, 1, 1, 5, "week out of range", &iValue))
            return false;
        stRule.ucWeek = static_cast<uint8_t>(iValue);
        if (*stCur.p != '.')
            return fail(stCur, "'.' expected after the week");
        ++stCur.p;
        if (!parse_number(stCur, 1, 0, 6, "weekday out of range", &iValue))
            return false;
        stRule.ucWeekday = static_cast<uint8_t>(iValue);
    } else {
        return fail(stCur, "rule expected: Jn, n or Mm.w.d");
    }

    stRule.iTime = DEFAULT_RULE_TIME;
    if (*stCur.p == '/') {
        ++stCur.p;
        const bool bNegative = *stCur.p == '-';
        stCur.p += *stCur.p == '-' || *stCur.p == '+';
        int32_t iTime = 0;
        if (!is_digit(*stCur.p))
            return fail(stCur, "time expected after '/'");
        if (!parse_clock(stCur, 167, "transition time out of range", &iTime))
            return false;
        stRule.iTime = bNegative ? -iTime : iTime;
    }
    *pstRule = stRule;
    return true;
}

bool parse_zone(Cursor &stCur, ShZone *pstZone) {
    if (!parse_name(stCur, pstZone->szStdName))
        return false;
    if (!parse_offset(stCur, &pstZone->iStdOffset))
        return false;
    pstZone->iDstOffset = pstZone->iStdOffset;
    if (*stCur.p == '\0')
        return true;
    if (*stCur.p == ',')
        return fail(stCur, "rules without summer time");
    if (*stCur.p != '<' && !is_alpha(*stCur.p))
        return fail(stCur, "trailing characters");
    if (!parse_name(stCur, pstZone->szDstName))
        return false;
    pstZone->ucHasDst = 1;
    pstZone->iDstOffset = pstZone->iStdOffset + SECONDS_OF_HOUR;
    const char c = *stCur.p;
    if ((c == '+' || c == '-' || is_digit(c)) && !parse_offset(stCur, &pstZone->iDstOffset))
        return false;
    if (*stCur.p == '\0')
        return fail(stCur, "summer time without rules");
    if (*stCur.p != ',')
        return fail(stCur, "',' expected before the rules");
    ++stCur.p;
    if (!parse_rule(stCur, &pstZone->stStart))
        return false;
    if (*stCur.p != ',')
        return fail(stCur,
                    *stCur.p == '\0' ? "second rule missing" : "',' expected between the rules");
    ++stCur.p;
    if (!parse_rule(stCur, &pstZone->stEnd))
        return false;
    if (*stCur.p != '\0')
        return fail(stCur, "trailing characters");
    return true;
}

// ---------------------------------------------------------------------------
// The calendar, through the Gregorian arithmetic of sh-sys-var.

int64_t floor_div(int64_t llA, int64_t llB) {
    const int64_t llQ = llA / llB;
    return llQ - (llA % llB != 0 && (llA % llB < 0) != (llB < 0));
}

// Days from 1970-01-01 to the first of a month; month 13 is January of the
// next year.
int64_t days_before(int iYear, int iMonth) {
    // A year argument of -1 (1999) takes the record's year: give it 1999.
    SysRtc stRecord{};
    stRecord.ucYear = -1;
    return qo_formate_time(&stRecord, iYear - 2000, iMonth, 1, 0) / SECONDS_OF_DAY;
}

// The year a day number (0 for 1970-01-01) falls in; days of a few
// centuries around 1970 at most.
int year_of_day(int64_t llDay) {
    auto iYear = static_cast<int>(1970 + floor_div(llDay * 400, DAYS_OF_400_YEARS));
    while (days_before(iYear, 1) > llDay)
        --iYear;
    while (days_before(iYear + 1, 1) <= llDay)
        ++iYear;
    return iYear;
}

// The day number of the rule's day in iYear. Day 365 of a common year
// (rule "n") is 1 January of the next.
int64_t rule_day(const ShZoneRule &stRule, int iYear) {
    const int64_t llJanuary = days_before(iYear, 1);
    switch (stRule.ucKind) {
    case SH_ZONE_RULE_JULIAN: {
        const bool bLeap = days_before(iYear + 1, 1) - llJanuary == 366;
        return llJanuary + stRule.sDay - 1 + (bLeap && stRule.sDay >= 60);
    }
    case SH_ZONE_RULE_DAY:
        return llJanuary + stRule.sDay;
    default: {
        const int64_t llFirst = days_before(iYear, stRule.ucMonth);
        const int64_t llNext = days_before(iYear, stRule.ucMonth + 1);
        // 1970-01-01 was a Thursday (4, counting Sunday as 0).
        const auto iFirstWeekday = static_cast<int>(llFirst + 4 - floor_div(llFirst + 4, 7) * 7);
        int64_t llDay =
            llFirst + (stRule.ucWeekday - iFirstWeekday + 7) % 7 + 7 * (stRule.ucWeek - 1);
        while (llDay >= llNext) // week 5: the last such weekday
            llDay -= 7;
        return llDay;
    }
    }
}

// The UTC instant of a transition in iYear, written in the home time in
// force before it.
int64_t transition(const ShZoneRule &stRule, int iYear, int32_t iOffsetBefore) {
    return rule_day(stRule, iYear) * SECONDS_OF_DAY + stRule.iTime - iOffsetBefore;
}

// An instant moved by whole 400-year cycles into [0, SECONDS_OF_400_YEARS):
// 1970 .. 2369, where every offset repeats.
int64_t reduce(int64_t llT, int64_t *pllCycles) {
    int64_t llCycles = llT / SECONDS_OF_400_YEARS;
    int64_t llRest = llT % SECONDS_OF_400_YEARS;
    if (llRest < 0) {
        llRest += SECONDS_OF_400_YEARS;
        --llCycles;
    }
    *pllCycles = llCycles;
    return llRest;
}

bool is_dst_at(const ShZone &stZone, int64_t llUtc) {
    int64_t llCycles = 0;
    const int64_t llT = reduce(llUtc, &llCycles);
    const int iYear = year_of_day(floor_div(llT + stZone.iStdOffset, SECONDS_OF_DAY));
    // Each year's summer runs from its start to its end, or, where the end
    // comes first (the southern hemisphere), to the end of the next year.
    // A transition may lie up to a week outside its year: the summers of
    // two years back to one ahead are all that can hold llT. Summers that
    // touch join: permanent summer time ends at the very instant it starts
    // again. A summer that ends as it starts lasts no time.
    for (int iY = iYear - 2; iY <= iYear + 1; ++iY) {
        const int64_t llStart = transition(stZone.stStart, iY, stZone.iStdOffset);
        int64_t llEnd = transition(stZone.stEnd, iY, stZone.iDstOffset);
        if (llEnd < llStart)
            llEnd = transition(stZone.stEnd, iY + 1, stZone.iDstOffset);
        if (llStart <= llT && llT < llEnd)
            return true;
    }
    return false;
}

// The UTC instant of home time llHome within the first cycle, and how often
// the clock shows it.
int64_t home_to_utc_in_cycle(const ShZone &stZone, int64_t llHome, int *piKind) {
    const int32_t iStd = stZone.iStdOffset;
    const int32_t iDst = stZone.iDstOffset;
    const int64_t llAsStd = llHome - iStd;
    const int64_t llAsDst = llHome - iDst;
    const bool bStd = sh_zone_utc_offset(&stZone, llAsStd) == iStd;
    const bool bDst = sh_zone_utc_offset(&stZone, llAsDst) == iDst;
    if (bStd && bDst) {
        *piKind = iStd == iDst ? SH_ZONE_HOME_ONCE : SH_ZONE_HOME_TWICE;
        return llAsStd < llAsDst ? llAsStd : llAsDst;
    }
    if (bStd || bDst) {
        *piKind = SH_ZONE_HOME_ONCE;
        return bStd ? llAsStd : llAsDst;
    }
    // A gap: the clock moved ahead from the smaller offset to the larger.
    // Read with the larger, the instant lies before the transition, where
    // the offset of before the gap is in force.
    *piKind = SH_ZONE_HOME_SKIPPED;
    const int64_t llBefore = iStd > iDst ? llAsStd : llAsDst;
    return llHome - sh_zone_utc_offset(&stZone, llBefore);
}

} // namespace

bool sh_zone_parse_at(const char *pszTz, ShZone *pstZone, const char **ppszWhy, int *piWhere) {
    const char *pszWhy = nullptr;
    int iWhere = 0;
    if (pszTz == nullptr || *pszTz == '\0') {
        pszWhy = "no zone given";
    } else if (*pszTz == ':') {
        pszWhy = "a zone file name, not a rule";
    } else {
        int iLength = 0;
        while (iLength <= SH_ZONE_TEXT_MAX && pszTz[iLength] != '\0')
            ++iLength;
        if (iLength > SH_ZONE_TEXT_MAX) {
            pszWhy = "longer than 64 characters";
            iWhere = SH_ZONE_TEXT_MAX;
        } else {
            ShZone stZone{};
            Cursor stCur{pszTz, nullptr, nullptr};
            if (parse_zone(stCur, &stZone)) {
                *pstZone = stZone;
                return true;
            }
            pszWhy = stCur.pszWhy;
            iWhere = static_cast<int>(stCur.pWhere - pszTz);
        }
    }
    if (ppszWhy != nullptr)
        *ppszWhy = pszWhy;
    if (piWhere != nullptr)
        *piWhere = iWhere;
    return false;
}

bool sh_zone_parse(const char *pszTz, ShZone *pstZone, const char **ppszWhy) {
    return sh_zone_parse_at(pszTz, pstZone, ppszWhy, nullptr);
}

int32_t sh_zone_utc_offset(const ShZone *pstZone, int64_t llUtc) {
    if (pstZone->ucHasDst == 0)
        return pstZone->iStdOffset;
    return is_dst_at(*pstZone, llUtc) ? pstZone->iDstOffset : pstZone->iStdOffset;
}

int64_t sh_zone_home_to_utc(const ShZone *pstZone, int64_t llHome) {
    int64_t llCycles = 0;
    const int64_t llInCycle = reduce(llHome, &llCycles);
    int iKind = 0;
    // The answer differs from llHome by an offset, or two in a gap: well
    // within 32 bits. Only the move back out of the cycle can overflow.
    const int64_t llShift = home_to_utc_in_cycle(*pstZone, llInCycle, &iKind) - llInCycle;
    if (llShift > 0 && llHome > INT64_MAX - llShift)
        return INT64_MAX;
    if (llShift < 0 && llHome < INT64_MIN - llShift)
        return INT64_MIN;
    return llHome + llShift;
}

int sh_zone_home_kind(const ShZone *pstZone, int64_t llHome) {
    int64_t llCycles = 0;
    int iKind = 0;
    home_to_utc_in_cycle(*pstZone, reduce(llHome, &llCycles), &iKind);
    return iKind;
}
