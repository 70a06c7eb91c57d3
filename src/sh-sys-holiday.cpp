// SPDX-License-Identifier: MIT
// The holiday schedule: its text format, the parser shared by the built-in
// schedule and sh_holiday_schedule_load, and the compact form the natives
// read.
//
// Exports (kelvo_sh_sys.h): sh_holiday_schedule_load and
// sh_holiday_schedule_covers. Everything else here is hidden.
//
// The text, one statement a line ('#' starts a comment):
//   year 2024
//   spring-festival  off 02-10..02-17  work 02-04 02-18
//   mid-autumn+national-day  off 09-29..10-06  work 10-07 10-08
// A day is MM-DD in the section's year or YYYY-MM-DD, which may also name
// the December before. A worked day is a Saturday or a Sunday; no day is
// given twice in one text.
//
// Storage: one block from the host allocator per published copy, holding
// every year (built in and loaded). The block keeps the statements as items
// (day ranges with their section and holidays), from which a load rebuilds
// the next block, and what the natives read: per calendar year a bitmap of
// the days given off and one of the weekend days worked, and the breaks
// (maximal runs of days off, weekends included, that hold a day given off
// for a holiday) sorted by their first day. A writer builds a new block,
// frees the block of the spare copy (no reader is on it) and publishes.
#include "sh-sys-holiday.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kelvo_sh_sys.h"
#include "sh-sys-func.h"
#include "sh-sys-publish.h"

namespace {

const int32_t YEAR_SLOTS = HOLIDAY_LAST_YEAR - HOLIDAY_FIRST_YEAR + 1; // 130
const int WORDS_OF_YEAR = 12;                                          // 384 bits >= 366 days

// One statement's days: a range given off for some holidays, or one worked
// weekend day.
struct ShHolidayItem {
    int32_t iFirst; // day numbers, inclusive
    int32_t iLast;
    uint32_t uLine; // where the loaded text gave it
    int16_t iYear;  // its section
    uint8_t ucMask; // holidays, bit h - 1; 0 for a worked day
    uint8_t bWork;
};

// One calendar year as the natives read it.
struct ShHolidayYear {
    uint32_t auOff[WORDS_OF_YEAR];  // day of the year (0-based) given off
    uint32_t auWork[WORDS_OF_YEAR]; // weekend day worked
    int32_t iFirstDay;              // day number of 1 January
    uint32_t bCovered;              // the year has a section of its own
};

struct ShHolidayBreak {
    int32_t iFirst;
    int32_t iLast;
    uint32_t uMask;
};

struct ShHolidayBlock {
    uint32_t nItems;
    uint32_t nYears;
    uint32_t nBreaks;
    uint32_t nBreakCapacity;
    int16_t aiYear[YEAR_SLOTS]; // index into pYears, or -1
    ShHolidayItem *pItems;      // sorted by first day
    ShHolidayYear *pYears;
    ShHolidayBreak *pBreaks; // sorted, disjoint
};

struct ShHolidaySlot {
    ShHolidayBlock *pBlock;
};

ShPublished<ShHolidaySlot> gHolidaySchedule;

// Years (1969 .. 2100, the reach of a question seven days either side of
// home time) already logged as having no schedule since init.
const int32_t LOG_FIRST_YEAR = HOLIDAY_FIRST_YEAR - 1;
std::atomic<uint32_t> gauUncoveredLogged[5];

// ---------------------------------------------------------------- calendar

// Day number of a Gregorian date (days from 1970-01-01).
int32_t sh_day_of_date(int32_t y, int32_t m, int32_t d) {
    y -= m <= 2;
    const int32_t iEra = (y >= 0 ? y : y - 399) / 400;
    const int32_t iYearOfEra = y - iEra * 400;
    const int32_t iDayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int32_t iDayOfEra = iYearOfEra * 365 + iYearOfEra / 4 - iYearOfEra / 100 + iDayOfYear;
    return iEra * 146097 + iDayOfEra - 719468;
}

// Year of a day number. Within 1970..2099 every fourth year is a leap year
// and four years are 1461 days: one division. Elsewhere the Gregorian rule.
const int32_t DAY_OF_2100_01_01 = 47482;
int32_t sh_year_of_day(int32_t iDay) {
    if (iDay >= 0 && iDay < DAY_OF_2100_01_01)
        return HOLIDAY_FIRST_YEAR + (4 * iDay + 2) / 1461;
    const int32_t z = iDay + 719468;
    const int32_t iEra = (z >= 0 ? z : z - 146096) / 146097;
    const int32_t iDayOfEra = z - iEra * 146097;
    const int32_t iYearOfEra =
        (iDayOfEra - iDayOfEra / 1460 + iDayOfEra / 36524 - iDayOfEra / 146096) / 365;
    const int32_t iDayOfYear = iDayOfEra - (365 * iYearOfEra + iYearOfEra / 4 - iYearOfEra / 100);
    const int32_t iMonthIndex = (5 * iDayOfYear + 2) / 153;
    return iYearOfEra + iEra * 400 + (iMonthIndex >= 10);
}

int32_t sh_days_of_month(int32_t y, int32_t m) {
    static const uint8_t aucDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && bLeap ? 29 : aucDays[m - 1];
}

// 1970-01-01 was a Thursday; Monday is 0.
bool sh_is_weekend(int32_t iDay) {
    const int32_t iWeekday = ((iDay % 7) + 7 + 3) % 7;
    return iWeekday >= 5;
}

bool sh_bit(const uint32_t *puWords, int32_t i) {
    return ((puWords[i / 32] >> (i % 32)) & 1U) != 0;
}
void sh_set_bit(uint32_t *puWords, int32_t i, bool bOn) {
    if (bOn)
        puWords[i / 32] |= 1U << (i % 32);
    else
        puWords[i / 32] &= ~(1U << (i % 32));
}

bool sh_year_in_set(const uint32_t *puSet, int32_t iYear) {
    return iYear >= HOLIDAY_FIRST_YEAR && iYear <= HOLIDAY_LAST_YEAR &&
           sh_bit(puSet, iYear - HOLIDAY_FIRST_YEAR);
}

// ---------------------------------------------------------------- parser

const char *const HOLIDAY_NAMES[HOLIDAY_KINDS] = {
    "new-year",    "spring-festival", "qingming",     "labour-day",
    "dragon-boat", "mid-autumn",      "national-day", "other"};

struct ShWord {
    const char *p;
    size_t n;
};

bool sh_word_is(const ShWord &w, const char *szText) {
    const size_t n = std::strlen(szText);
    return w.n == n && std::memcmp(w.p, szText, n) == 0;
}

bool sh_is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The next word of pLine[*pnPos, nEnd); false at the end.
bool sh_next_word(const char *pLine, size_t nEnd, size_t *pnPos, ShWord *pWord) {
    size_t i = *pnPos;
    while (i < nEnd && sh_is_space(pLine[i]))
        ++i;
    if (i == nEnd)
        return false;
    const size_t nStart = i;
    while (i < nEnd && !sh_is_space(pLine[i]))
        ++i;
    pWord->p = pLine + nStart;
    pWord->n = i - nStart;
    *pnPos = i;
    return true;
}

// A word as a log line may show it: at most 24 printable ASCII characters.
struct ShShown {
    char sz[28];
};
ShShown sh_shown(const ShWord &w) {
    ShShown st;
    size_t n = w.n < 24 ? w.n : 24;
    for (size_t i = 0; i < n; ++i) {
        const char c = w.p[i];
        st.sz[i] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    if (w.n > 24) {
        st.sz[n++] = '.';
        st.sz[n++] = '.';
    }
    st.sz[n] = '\0';
    return st;
}

// What the first pass learns: the number of items and the years given.
struct ShHolidayCount {
    uint32_t nItems;
    uint32_t auYears[5];
};

// Reads pText, reporting the first fault in one log line. With pItems it
// stores the items (at most nCapacity).
class ShHolidayParser {
  public:
    ShHolidayParser(const char *pText, size_t nLength, ShHolidayItem *pItems, uint32_t nCapacity)
        : m_pText(pText), m_nLength(nLength), m_pItems(pItems), m_nCapacity(nCapacity) {}

    bool run(ShHolidayCount *pCount);

  private:
    bool line(const char *pLine, size_t nEnd);
    bool year_statement(const char *pLine, size_t nEnd, size_t nPos);
    bool holiday_statement(const ShWord &stName, const char *pLine, size_t nEnd, size_t nPos);
    bool day(const ShWord &w, int32_t *piDay);
    bool add(int32_t iFirst, int32_t iLast, uint8_t ucMask, bool bWork);
    bool fail(const char *szWhat, const ShWord *pWord = nullptr);

    const char *m_pText;
    size_t m_nLength;
    ShHolidayItem *m_pItems;
    uint32_t m_nCapacity;
    uint32_t m_uLine = 0;
    int32_t m_iYear = 0; // the open section; 0 before the first
    ShHolidayCount m_stCount{};
};

bool ShHolidayParser::fail(const char *szWhat, const ShWord *pWord) {
    if (pWord != nullptr)
        sh_log_out("holiday schedule line %u: %s '%s'", static_cast<unsigned>(m_uLine), szWhat,
                   sh_shown(*pWord).sz);
    else
        sh_log_out("holiday schedule line %u: %s", static_cast<unsigned>(m_uLine), szWhat);
    return false;
}

bool ShHolidayParser::run(ShHolidayCount *pCount) {
    size_t i = 0;
    while (i < m_nLength) {
        ++m_uLine;
        size_t nEnd = i;
        while (nEnd < m_nLength && m_pText[nEnd] != '\n')
            ++nEnd;
        size_t nCode = i;
        while (nCode < nEnd && m_pText[nCode] != '#')
            ++nCode;
        if (!line(m_pText + i, nCode - i))
            return false;
        i = nEnd + 1;
    }
    bool bAnyYear = false;
    for (uint32_t uWord : m_stCount.auYears)
        bAnyYear = bAnyYear || uWord != 0;
    if (!bAnyYear) {
        sh_log_out("holiday schedule: no year in the text");
        return false;
    }
    *pCount = m_stCount;
    return true;
}

bool ShHolidayParser::line(const char *pLine, size_t nEnd) {
    size_t nPos = 0;
    ShWord stFirst;
    if (!sh_next_word(pLine, nEnd, &nPos, &stFirst))
        return true; // blank or a comment
    if (sh_word_is(stFirst, "year"))
        return year_statement(pLine, nEnd, nPos);
    if (m_iYear == 0)
        return fail("no 'year' before", &stFirst);
    return holiday_statement(stFirst, pLine, nEnd, nPos);
}

bool ShHolidayParser::year_statement(const char *pLine, size_t nEnd, size_t nPos) {
    ShWord w;
    if (!sh_next_word(pLine, nEnd, &nPos, &w))
        return fail("'year' without a year");
    int32_t iYear = 0;
    bool bDigits = w.n == 4;
    for (size_t i = 0; bDigits && i < 4; ++i) {
        bDigits = w.p[i] >= '0' && w.p[i] <= '9';
        iYear = iYear * 10 + (w.p[i] - '0');
    }
    if (!bDigits)
        return fail("not a year", &w);
    if (iYear < HOLIDAY_FIRST_YEAR || iYear > HOLIDAY_LAST_YEAR)
        return fail("year out of range 1970..2099:", &w);
    if (sh_year_in_set(m_stCount.auYears, iYear))
        return fail("year given twice:", &w);
    ShWord stExtra;
    if (sh_next_word(pLine, nEnd, &nPos, &stExtra))
        return fail("unexpected word", &stExtra);
    sh_set_bit(m_stCount.auYears, iYear - HOLIDAY_FIRST_YEAR, true);
    m_iYear = iYear;
    return true;
}

// A holiday's name, or names joined by '+', as a mask.
bool sh_holiday_mask(const ShWord &w, uint8_t *pucMask) {
    uint8_t ucMask = 0;
    size_t i = 0;
    while (i <= w.n) {
        size_t j = i;
        while (j < w.n && w.p[j] != '+')
            ++j;
        const ShWord stPart{w.p + i, j - i};
        int iFound = -1;
        for (int h = 0; h < HOLIDAY_KINDS; ++h)
            if (sh_word_is(stPart, HOLIDAY_NAMES[h]))
                iFound = h;
        if (iFound < 0 || (ucMask & (1U << iFound)) != 0)
            return false;
        ucMask = static_cast<uint8_t>(ucMask | (1U << iFound));
        i = j + 1;
    }
    *pucMask = ucMask;
    return true;
}

bool ShHolidayParser::holiday_statement(const ShWord &stName, const char *pLine, size_t nEnd,
                                        size_t nPos) {
    uint8_t ucMask = 0;
    if (!sh_holiday_mask(stName, &ucMask))
        return fail("unknown holiday", &stName);
    enum { NONE, OFF, WORK } eMode = NONE;
    bool bWorkSeen = false;
    uint32_t nInMode = 0;
    ShWord w;
    while (sh_next_word(pLine, nEnd, &nPos, &w)) {
        if (sh_word_is(w, "off") || sh_word_is(w, "work")) {
            const bool bWork = w.p[0] == 'w';
            if (eMode != NONE && nInMode == 0)
                return fail(eMode == OFF ? "'off' with no day" : "'work' with no day");
            if ((!bWork && eMode != NONE) || (bWork && bWorkSeen))
                return fail("out of place:", &w);
            eMode = bWork ? WORK : OFF;
            bWorkSeen = bWorkSeen || bWork;
            nInMode = 0;
            continue;
        }
        if (eMode == NONE)
            return fail("expected 'off' or 'work', not", &w);
        const char *pDots = nullptr;
        for (size_t i = 0; i + 1 < w.n && pDots == nullptr; ++i)
            if (w.p[i] == '.' && w.p[i + 1] == '.')
                pDots = w.p + i;
        int32_t iFirst = 0;
        int32_t iLast = 0;
        if (pDots != nullptr) {
            if (eMode == WORK)
                return fail("a worked day is one day, not", &w);
            const ShWord stA{w.p, static_cast<size_t>(pDots - w.p)};
            const ShWord stB{pDots + 2, w.n - stA.n - 2};
            if (!day(stA, &iFirst) || !day(stB, &iLast))
                return false;
            if (iLast < iFirst)
                return fail("range ends before it starts:", &w);
        } else {
            if (!day(w, &iFirst))
                return false;
            iLast = iFirst;
            if (eMode == WORK && !sh_is_weekend(iFirst))
                return fail("worked day not a Saturday or Sunday:", &w);
        }
        if (!add(iFirst, iLast, eMode == WORK ? 0 : ucMask, eMode == WORK))
            return false;
        ++nInMode;
    }
    if (eMode == NONE)
        return fail("no 'off' or 'work' for", &stName);
    if (nInMode == 0)
        return fail(eMode == OFF ? "'off' with no day" : "'work' with no day");
    return true;
}

// MM-DD in the section's year, or YYYY-MM-DD in it or in the December before.
bool ShHolidayParser::day(const ShWord &w, int32_t *piDay) {
    int32_t aiField[3] = {0, 0, 0};
    int nFields = 0;
    size_t nDigits = 0;
    bool bOk = w.n > 0;
    for (size_t i = 0; bOk && i <= w.n; ++i) {
        if (i == w.n || w.p[i] == '-') {
            const size_t nWant = nFields == 0 && (w.n == 10) ? 4 : 2;
            bOk = nFields < 3 && nDigits == nWant;
            if (bOk)
                ++nFields;
            nDigits = 0;
        } else if (w.p[i] >= '0' && w.p[i] <= '9' && nFields < 3) {
            // A field of more than four digits is refused below; its value
            // stops growing here.
            if (nDigits < 4)
                aiField[nFields] = aiField[nFields] * 10 + (w.p[i] - '0');
            ++nDigits;
        } else {
            bOk = false;
        }
    }
    if (!bOk || (w.n == 5 && nFields != 2) || (w.n == 10 && nFields != 3) ||
        (w.n != 5 && w.n != 10))
        return fail("not a day (MM-DD or YYYY-MM-DD):", &w);
    const int32_t y = nFields == 3 ? aiField[0] : m_iYear;
    const int32_t m = aiField[nFields - 2];
    const int32_t d = aiField[nFields - 1];
    if (m < 1 || m > 12 || d < 1 || d > sh_days_of_month(y, m))
        return fail("no such date:", &w);
    if (y != m_iYear && !(y == m_iYear - 1 && m == 12))
        return fail("date outside the year's section:", &w);
    *piDay = sh_day_of_date(y, m, d);
    return true;
}

bool ShHolidayParser::add(int32_t iFirst, int32_t iLast, uint8_t ucMask, bool bWork) {
    if (m_pItems != nullptr) {
        if (m_stCount.nItems >= m_nCapacity)
            return fail("the text changed while it was read");
        ShHolidayItem &st = m_pItems[m_stCount.nItems];
        st.iFirst = iFirst;
        st.iLast = iLast;
        st.uLine = m_uLine;
        st.iYear = static_cast<int16_t>(m_iYear);
        st.ucMask = ucMask;
        st.bWork = bWork ? 1 : 0;
    }
    ++m_stCount.nItems;
    return true;
}

int sh_item_order(const void *pA, const void *pB) {
    const auto *a = static_cast<const ShHolidayItem *>(pA);
    const auto *b = static_cast<const ShHolidayItem *>(pB);
    if (a->iFirst != b->iFirst)
        return a->iFirst < b->iFirst ? -1 : 1;
    if (a->uLine != b->uLine)
        return a->uLine < b->uLine ? -1 : 1;
    return 0;
}

// ---------------------------------------------------------------- block

size_t sh_align8(size_t n) {
    return (n + 7) & ~static_cast<size_t>(7);
}

ShHolidayYear *sh_year_record(const ShHolidayBlock *pBlock, int32_t iYear) {
    if (pBlock == nullptr || iYear < HOLIDAY_FIRST_YEAR || iYear > HOLIDAY_LAST_YEAR)
        return nullptr;
    const int16_t iIndex = pBlock->aiYear[iYear - HOLIDAY_FIRST_YEAR];
    return iIndex < 0 ? nullptr : &pBlock->pYears[iIndex];
}

// A day off: given off, or a weekend day not worked.
bool sh_block_day_off(const ShHolidayBlock *pBlock, int32_t iDay) {
    const ShHolidayYear *pYear = sh_year_record(pBlock, sh_year_of_day(iDay));
    if (pYear != nullptr) {
        const int32_t i = iDay - pYear->iFirstDay;
        if (sh_bit(pYear->auOff, i))
            return true;
        if (sh_bit(pYear->auWork, i))
            return false;
    }
    return sh_is_weekend(iDay);
}

// Sets the bits of one item's days. A December day given by the next
// year's section (bNextYearPass) overrides what its own year's section says.
void sh_block_mark(ShHolidayBlock *pBlock, const ShHolidayItem &stItem, bool bNextYearPass) {
    for (int32_t iDay = stItem.iFirst; iDay <= stItem.iLast; ++iDay) {
        const int32_t iYear = sh_year_of_day(iDay);
        if ((iYear != stItem.iYear) != bNextYearPass)
            continue;
        ShHolidayYear *pYear = sh_year_record(pBlock, iYear);
        if (pYear == nullptr)
            continue; // before 1970
        const int32_t i = iDay - pYear->iFirstDay;
        sh_set_bit(pYear->auOff, i, stItem.bWork == 0);
        sh_set_bit(pYear->auWork, i, stItem.bWork != 0);
    }
}

// The break holding iDay (a day off), made if new; its mask gains ucMask.
void sh_block_add_to_break(ShHolidayBlock *pBlock, int32_t iDay, uint8_t ucMask) {
    uint32_t k = pBlock->nBreaks;
    while (k > 0 && pBlock->pBreaks[k - 1].iFirst > iDay)
        --k;
    if (k > 0 && pBlock->pBreaks[k - 1].iLast >= iDay) {
        pBlock->pBreaks[k - 1].uMask |= ucMask;
        return;
    }
    if (pBlock->nBreaks == pBlock->nBreakCapacity)
        return; // cannot happen: every break holds a day of an item
    int32_t iFirst = iDay;
    int32_t iLast = iDay;
    // A run of days off is bounded: given days by the text, weekends by two.
    while (sh_block_day_off(pBlock, iFirst - 1))
        --iFirst;
    while (sh_block_day_off(pBlock, iLast + 1))
        ++iLast;
    std::memmove(&pBlock->pBreaks[k + 1], &pBlock->pBreaks[k],
                 (pBlock->nBreaks - k) * sizeof(ShHolidayBreak));
    pBlock->pBreaks[k] = ShHolidayBreak{iFirst, iLast, ucMask};
    ++pBlock->nBreaks;
}

// Fills years and breaks from the sorted items.
void sh_block_derive(ShHolidayBlock *pBlock) {
    for (uint32_t i = 0; i < pBlock->nItems; ++i)
        sh_block_mark(pBlock, pBlock->pItems[i], false);
    for (uint32_t i = 0; i < pBlock->nItems; ++i)
        sh_block_mark(pBlock, pBlock->pItems[i], true);
    for (uint32_t i = 0; i < pBlock->nItems; ++i) {
        const ShHolidayItem &stItem = pBlock->pItems[i];
        if (stItem.bWork != 0)
            continue;
        for (int32_t iDay = stItem.iFirst; iDay <= stItem.iLast; ++iDay) {
            const ShHolidayYear *pYear = sh_year_record(pBlock, sh_year_of_day(iDay));
            if (pYear != nullptr && sh_bit(pYear->auOff, iDay - pYear->iFirstDay))
                sh_block_add_to_break(pBlock, iDay, stItem.ucMask);
        }
    }
}

// A new block: the items of pCurrent whose years the text does not give,
// and the text's items (read by the second pass), with years and breaks
// derived. Null after one log line when the text holds a day twice or
// memory runs out.
ShHolidayBlock *sh_block_build(const ShHolidayBlock *pCurrent, const char *pText, size_t nLength,
                               const ShHolidayCount &stCount) {
    uint32_t nKept = 0;
    uint32_t auCovered[5];
    std::memcpy(auCovered, stCount.auYears, sizeof(auCovered));
    if (pCurrent != nullptr) {
        for (uint32_t i = 0; i < pCurrent->nItems; ++i) {
            const int32_t iYear = pCurrent->pItems[i].iYear;
            if (!sh_year_in_set(stCount.auYears, iYear))
                ++nKept;
        }
        for (int32_t y = HOLIDAY_FIRST_YEAR; y <= HOLIDAY_LAST_YEAR; ++y) {
            const ShHolidayYear *pYear = sh_year_record(pCurrent, y);
            if (pYear != nullptr && pYear->bCovered != 0)
                sh_set_bit(auCovered, y - HOLIDAY_FIRST_YEAR, true);
        }
    }
    // A record for each covered year and the year before it (its December).
    uint32_t auRecords[5] = {0, 0, 0, 0, 0};
    uint32_t nYears = 0;
    for (int32_t y = HOLIDAY_FIRST_YEAR; y <= HOLIDAY_LAST_YEAR; ++y) {
        const bool bNeeded = sh_year_in_set(auCovered, y) || sh_year_in_set(auCovered, y + 1);
        if (bNeeded) {
            sh_set_bit(auRecords, y - HOLIDAY_FIRST_YEAR, true);
            ++nYears;
        }
    }
    const uint32_t nItems = nKept + stCount.nItems;
    const size_t nItemsAt = sh_align8(sizeof(ShHolidayBlock));
    const size_t nYearsAt = sh_align8(nItemsAt + nItems * sizeof(ShHolidayItem));
    const size_t nBreaksAt = sh_align8(nYearsAt + nYears * sizeof(ShHolidayYear));
    const size_t nSize = nBreaksAt + nItems * sizeof(ShHolidayBreak);
    auto *pBytes = static_cast<unsigned char *>(sh_calloc(1, nSize));
    if (pBytes == nullptr) {
        sh_log_out("holiday schedule: no memory for a block of %lu bytes",
                   static_cast<unsigned long>(nSize));
        return nullptr;
    }
    auto *pBlock = reinterpret_cast<ShHolidayBlock *>(pBytes);
    pBlock->pItems = reinterpret_cast<ShHolidayItem *>(pBytes + nItemsAt);
    pBlock->pYears = reinterpret_cast<ShHolidayYear *>(pBytes + nYearsAt);
    pBlock->pBreaks = reinterpret_cast<ShHolidayBreak *>(pBytes + nBreaksAt);
    pBlock->nBreakCapacity = nItems;

    // The text's items first, to find a day given twice within it.
    ShHolidayItem *pNew = pBlock->pItems + nKept;
    ShHolidayParser stParser(pText, nLength, pNew, stCount.nItems);
    ShHolidayCount stAgain{};
    if (!stParser.run(&stAgain) || stAgain.nItems != stCount.nItems) {
        sh_free(pBytes);
        return nullptr;
    }
    std::qsort(pNew, stCount.nItems, sizeof(ShHolidayItem), sh_item_order);
    for (uint32_t i = 1, iReach = 0; i < stCount.nItems; ++i) {
        if (pNew[i].iFirst <= pNew[iReach].iLast) {
            const int32_t iDay = pNew[i].iFirst;
            const int32_t iYear = sh_year_of_day(iDay);
            const int32_t iDayOfYear = iDay - sh_day_of_date(iYear, 1, 1);
            // Month and day back from the day of the year.
            int32_t m = 1;
            int32_t d = iDayOfYear + 1;
            while (d > sh_days_of_month(iYear, m))
                d -= sh_days_of_month(iYear, m++);
            const uint32_t uA = pNew[i].uLine;
            const uint32_t uB = pNew[iReach].uLine;
            sh_log_out("holiday schedule line %u: %04d-%02d-%02d given twice (also line %u)",
                       static_cast<unsigned>(uA > uB ? uA : uB), static_cast<int>(iYear),
                       static_cast<int>(m), static_cast<int>(d),
                       static_cast<unsigned>(uA > uB ? uB : uA));
            sh_free(pBytes);
            return nullptr;
        }
        if (pNew[i].iLast > pNew[iReach].iLast)
            iReach = i;
    }
    if (pCurrent != nullptr) {
        uint32_t k = 0;
        for (uint32_t i = 0; i < pCurrent->nItems; ++i)
            if (!sh_year_in_set(stCount.auYears, pCurrent->pItems[i].iYear))
                pBlock->pItems[k++] = pCurrent->pItems[i];
    }
    pBlock->nItems = nItems;
    std::qsort(pBlock->pItems, nItems, sizeof(ShHolidayItem), sh_item_order);

    uint32_t nYear = 0;
    for (int32_t y = HOLIDAY_FIRST_YEAR; y <= HOLIDAY_LAST_YEAR; ++y) {
        const int32_t iSlot = y - HOLIDAY_FIRST_YEAR;
        pBlock->aiYear[iSlot] = -1;
        if (!sh_bit(auRecords, iSlot))
            continue;
        ShHolidayYear &stYear = pBlock->pYears[nYear];
        stYear.iFirstDay = sh_day_of_date(y, 1, 1);
        stYear.bCovered = sh_bit(auCovered, iSlot) ? 1 : 0;
        pBlock->aiYear[iSlot] = static_cast<int16_t>(nYear++);
    }
    pBlock->nYears = nYears;
    sh_block_derive(pBlock);
    return pBlock;
}

// Checks the whole text, then publishes a block with its years in force.
bool sh_holiday_apply(const char *pText, size_t nLength) {
    if (nLength > HOLIDAY_TEXT_LIMIT) {
        sh_log_out("holiday schedule: %lu bytes, more than the limit of %lu",
                   static_cast<unsigned long>(nLength),
                   static_cast<unsigned long>(HOLIDAY_TEXT_LIMIT));
        return false;
    }
    if (pText == nullptr && nLength != 0) {
        sh_log_out("holiday schedule: no text");
        return false;
    }
    ShHolidayCount stCount{};
    ShHolidayParser stParser(pText, nLength, nullptr, 0);
    if (!stParser.run(&stCount))
        return false;
    return gHolidaySchedule.write([&](ShHolidaySlot &stSpare, const ShHolidaySlot &stCurrent) {
        ShHolidayBlock *pBlock = sh_block_build(stCurrent.pBlock, pText, nLength, stCount);
        if (pBlock == nullptr)
            return false;
        sh_free(stSpare.pBlock);
        stSpare.pBlock = pBlock;
        return true;
    });
}

// What the schedule says of one day. bKnown: the day's year is covered, or
// the next year's section gives this December day.
struct ShDayAnswer {
    bool bKnown;
    bool bOff;
    bool bWork;
    uint32_t uBreakMask;
};

ShDayAnswer sh_block_day(const ShHolidayBlock *pBlock, int32_t iDay, int32_t iYear, bool bBreak) {
    ShDayAnswer st{false, false, false, 0};
    const ShHolidayYear *pYear = sh_year_record(pBlock, iYear);
    if (pYear == nullptr)
        return st;
    const int32_t i = iDay - pYear->iFirstDay;
    st.bOff = sh_bit(pYear->auOff, i);
    st.bWork = sh_bit(pYear->auWork, i);
    st.bKnown = pYear->bCovered != 0 || st.bOff || st.bWork;
    if (!st.bKnown || !bBreak)
        return st;
    // The last break starting on or before the day.
    uint32_t uLow = 0;
    uint32_t uHigh = pBlock->nBreaks;
    while (uLow < uHigh) {
        const uint32_t uMid = (uLow + uHigh) / 2;
        if (pBlock->pBreaks[uMid].iFirst <= iDay)
            uLow = uMid + 1;
        else
            uHigh = uMid;
    }
    if (uLow > 0 && pBlock->pBreaks[uLow - 1].iLast >= iDay)
        st.uBreakMask = pBlock->pBreaks[uLow - 1].uMask;
    return st;
}

// bBreak: also find the day's break.
ShDayAnswer sh_holiday_day(int32_t iDay, bool bBreak) {
    const int32_t iYear = sh_year_of_day(iDay);
    const ShDayAnswer st = gHolidaySchedule.read([&](const ShHolidaySlot &stSlot) {
        return sh_block_day(stSlot.pBlock, iDay, iYear, bBreak);
    });
    if (!st.bKnown) {
        int32_t iSlot = iYear - LOG_FIRST_YEAR;
        iSlot = iSlot < 0 ? 0 : iSlot > 159 ? 159 : iSlot;
        const uint32_t uBit = 1U << (iSlot % 32);
        if ((gauUncoveredLogged[iSlot / 32].fetch_or(uBit, std::memory_order_relaxed) & uBit) == 0)
            sh_log_out("holiday schedule: none for %d; Monday to Friday work, no holiday",
                       static_cast<int>(iYear));
    }
    return st;
}

void sh_holiday_release_spare() {
    gHolidaySchedule.write([](ShHolidaySlot &stSpare, const ShHolidaySlot &) {
        sh_free(stSpare.pBlock);
        stSpare.pBlock = nullptr;
        return true;
    });
}

} // namespace

bool sh_holiday_init() {
    for (std::atomic<uint32_t> &uWord : gauUncoveredLogged)
        uWord.store(0, std::memory_order_relaxed);
    return sh_holiday_apply(gszHolidayBuiltin, gnHolidayBuiltinLength);
}

void sh_holiday_deinit() {
    // Each write frees the spare copy's block and publishes it empty: two
    // leave both copies empty.
    sh_holiday_release_spare();
    sh_holiday_release_spare();
}

bool sh_holiday_is_workday(int32_t iDay) {
    const ShDayAnswer st = sh_holiday_day(iDay, false);
    if (st.bWork)
        return true;
    return !sh_is_weekend(iDay) && !st.bOff;
}

bool sh_holiday_in_break(int32_t iDay, int32_t iHoliday) {
    const ShDayAnswer st = sh_holiday_day(iDay, true);
    if (iHoliday == 0)
        return st.uBreakMask != 0;
    return (st.uBreakMask & (1U << (iHoliday - 1))) != 0;
}

extern "C" {

bool sh_holiday_schedule_load(const char *text, size_t length) {
    if (!sh_is_init())
        return false;
    return sh_holiday_apply(text, length);
}

bool sh_holiday_schedule_covers(int32_t year) {
    if (!sh_is_init())
        return false;
    return gHolidaySchedule.read([&](const ShHolidaySlot &stSlot) {
        const ShHolidayYear *pYear = sh_year_record(stSlot.pBlock, year);
        return pYear != nullptr && pYear->bCovered != 0;
    });
}

} // extern "C"
