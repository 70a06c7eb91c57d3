// SPDX-License-Identifier: MIT
// The home's time zone, as gateways keep it: a POSIX TZ string such as
// "CET-1CEST,M3.5.0,M10.5.0/3". Parsed once into a rule, then UTC instants
// turn into home time and back by arithmetic alone: no zone database, no
// allocation, no C library zone functions.
#ifndef SH_SYS_ZONE_H
#define SH_SYS_ZONE_H

#include <cstdint>

// The longest TZ string accepted, in characters: the usual limit of
// firmware settings (tzdata's longest footer has 44).
constexpr int SH_ZONE_TEXT_MAX = 64;
// The longest zone name kept, without the quotes of a "<+0545>" form.
constexpr int SH_ZONE_NAME_MAX = 15;
// Offsets from UTC reach 24:59:59 either way; transition times of a rule
// reach 167:59:59 either way (a week less an hour, as tzdata writes them).
constexpr int32_t SH_ZONE_OFFSET_MAX = 24 * 3600 + 59 * 60 + 59;
constexpr int32_t SH_ZONE_RULE_TIME_MAX = 167 * 3600 + 59 * 60 + 59;

// The day of the year on which summer time starts or ends.
enum : uint8_t {
    SH_ZONE_RULE_JULIAN = 1, // Jn: day n, 1..365, February 29 never counted
    SH_ZONE_RULE_DAY = 2,    // n: day n, 0..365, February 29 counted
    SH_ZONE_RULE_MONTH = 3,  // Mm.w.d: weekday d (0 Sunday) of week w (5 the last) of month m
};

struct ShZoneRule {
    uint8_t ucKind;    // SH_ZONE_RULE_*
    uint8_t ucMonth;   // 1..12 (month rule)
    uint8_t ucWeek;    // 1..5 (month rule)
    uint8_t ucWeekday; // 0 Sunday .. 6 Saturday (month rule)
    int16_t sDay;      // 1..365 (Jn) or 0..365 (n)
    int32_t iTime;     // seconds after the day's home midnight, in the time in force before
};

// A parsed zone. Offsets are seconds east of UTC (home time = UTC + offset):
// the opposite sign of the TZ string, where "CET-1" is one hour east.
struct ShZone {
    int32_t iStdOffset; // standard time
    int32_t iDstOffset; // summer time; iStdOffset when the zone has none
    uint8_t ucHasDst;   // 1 when summer time and its two rules are given
    ShZoneRule stStart; // summer time starts, in standard time
    ShZoneRule stEnd;   // summer time ends, in summer time
    char szStdName[SH_ZONE_NAME_MAX + 1];
    char szDstName[SH_ZONE_NAME_MAX + 1]; // empty without summer time
};

// Parses a POSIX TZ string. False, with a short static English reason in
// *ppszWhy (e.g. "summer time without rules", "offset out of range"), when
// it is not one; *pstZone is then untouched. ppszWhy may be null.
bool sh_zone_parse(const char *pszTz, ShZone *pstZone, const char **ppszWhy);

// The same, and on failure *piWhere gets the index of the character at
// which the string went wrong (0 .. its length), for a message such as
// "offset out of range at 'CET-25'". piWhere may be null.
bool sh_zone_parse_at(const char *pszTz, ShZone *pstZone, const char **ppszWhy, int *piWhere);

// Seconds east of UTC in force at the UTC instant llUtc (seconds since
// 1970-01-01 UTC): home time = UTC + offset. Defined for every int64_t: the
// rules repeat every 400 Gregorian years.
int32_t sh_zone_utc_offset(const ShZone *pstZone, int64_t llUtc);

// The UTC instant of home time llHome (seconds since 1970-01-01 home time).
// Where home time repeats (summer time ends, the clock goes back) the
// earlier instant: the first time the clock shows it. Where home time is
// skipped (summer time starts, the clock goes forward) the offset in force
// before the gap still applies, so the answer lies after the gap by as much
// as llHome lies after its start: 02:30 in a gap of 02:00..03:00 is the
// instant that reads 03:30. Results saturate at the ends of int64_t.
int64_t sh_zone_home_to_utc(const ShZone *pstZone, int64_t llHome);

// How often the home's clock shows llHome: the cases sh_zone_home_to_utc
// resolves as documented above.
enum : int {
    SH_ZONE_HOME_ONCE = 0,
    SH_ZONE_HOME_SKIPPED = 1, // in the gap where summer time starts
    SH_ZONE_HOME_TWICE = 2,   // in the overlap where summer time ends
};
int sh_zone_home_kind(const ShZone *pstZone, int64_t llHome);

#endif // SH_SYS_ZONE_H
