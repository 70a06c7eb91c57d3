// SPDX-License-Identifier: MIT
// The home's zone from a POSIX TZ string: the parser's answers and
// refusals, offsets and the way back at hand-checked instants, and (where
// the C library reads TZ strings) every footer of the system's zone
// database against localtime_r and mktime over 1970..2099.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "civil_oracle.h"
#include "sh-sys-zone.h"

namespace {

// A UTC (or home) moment from its fields, by the C++ civil calendar.
int64_t at(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    return civil::seconds(year - 2000, month, day, hour * 3600 + minute * 60 + second);
}

ShZone parsed(const char *tz) {
    ShZone zone{};
    const char *why = nullptr;
    EXPECT_TRUE(sh_zone_parse(tz, &zone, &why)) << tz << ": " << (why ? why : "");
    return zone;
}

// ---------------------------------------------------------------------------
// The parser.

TEST(ZoneParse, ReadsTheGatewayExamples) {
    ShZone z = parsed("CST-8");
    EXPECT_EQ(z.iStdOffset, 8 * 3600);
    EXPECT_EQ(z.iDstOffset, 8 * 3600);
    EXPECT_EQ(z.ucHasDst, 0);
    EXPECT_STREQ(z.szStdName, "CST");
    EXPECT_STREQ(z.szDstName, "");

    z = parsed("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(z.iStdOffset, 3600);
    EXPECT_EQ(z.iDstOffset, 7200); // one hour ahead unless given
    EXPECT_EQ(z.ucHasDst, 1);
    EXPECT_STREQ(z.szDstName, "CEST");
    EXPECT_EQ(z.stStart.ucKind, SH_ZONE_RULE_MONTH);
    EXPECT_EQ(z.stStart.ucMonth, 3);
    EXPECT_EQ(z.stStart.ucWeek, 5);
    EXPECT_EQ(z.stStart.ucWeekday, 0);
    EXPECT_EQ(z.stStart.iTime, 2 * 3600); // 02:00 unless given
    EXPECT_EQ(z.stEnd.ucMonth, 10);
    EXPECT_EQ(z.stEnd.iTime, 3 * 3600);

    z = parsed("<+0545>-5:45");
    EXPECT_EQ(z.iStdOffset, 5 * 3600 + 45 * 60);
    EXPECT_STREQ(z.szStdName, "+0545");

    z = parsed("AEST-10AEDT,M10.1.0,M4.1.0/3");
    EXPECT_EQ(z.iStdOffset, 10 * 3600);
    EXPECT_EQ(z.iDstOffset, 11 * 3600);
}

TEST(ZoneParse, ReadsEveryFormOfOffsetRuleAndTime) {
    ShZone z = parsed("<-03>+3:20:10<-02>2:0:5,J60/-1:30,300/167:59:59");
    EXPECT_EQ(z.iStdOffset, -(3 * 3600 + 20 * 60 + 10));
    EXPECT_EQ(z.iDstOffset, -(2 * 3600 + 5));
    EXPECT_EQ(z.stStart.ucKind, SH_ZONE_RULE_JULIAN);
    EXPECT_EQ(z.stStart.sDay, 60);
    EXPECT_EQ(z.stStart.iTime, -(3600 + 1800));
    EXPECT_EQ(z.stEnd.ucKind, SH_ZONE_RULE_DAY);
    EXPECT_EQ(z.stEnd.sDay, 300);
    EXPECT_EQ(z.stEnd.iTime, SH_ZONE_RULE_TIME_MAX);

    z = parsed("EST5EDT,0/0,J365/25");
    EXPECT_EQ(z.stStart.sDay, 0);
    EXPECT_EQ(z.stStart.iTime, 0);
    EXPECT_EQ(z.stEnd.sDay, 365);
    EXPECT_EQ(z.stEnd.iTime, 25 * 3600);

    z = parsed("<A+1>24:59:59<B-2>-24:59:59,M12.5.6/-167,M1.1.0/+0");
    EXPECT_EQ(z.iStdOffset, -SH_ZONE_OFFSET_MAX);
    EXPECT_EQ(z.iDstOffset, SH_ZONE_OFFSET_MAX);
    EXPECT_STREQ(z.szStdName, "A+1");
    EXPECT_EQ(z.stStart.ucWeekday, 6);
    EXPECT_EQ(z.stStart.iTime, -167 * 3600);
    EXPECT_EQ(z.stEnd.iTime, 0);

    z = parsed("<ABCDEFGHIJKLMNO>-1<ABCDEFGHIJKLMNP>,M3.5.0,M10.5.0/3");
    EXPECT_STREQ(z.szStdName, "ABCDEFGHIJKLMNO");
}

struct Refusal {
    const char *tz;
    const char *why;
    int where;
};

// Each kind of bad input, the reason given and where it points.
const Refusal kRefusals[] = {
    {"", "no zone given", 0},
    {":Europe/Berlin", "a zone file name, not a rule", 0},
    {"CET", "offset missing", 3},
    {"CET-", "offset missing", 4},
    {"CET-25", "offset out of range", 4},
    {"CET-1:60", "minutes out of range", 6},
    {"CET-1:00:60", "seconds out of range", 9},
    {"CET-1:", "number expected", 6},
    {"CET-1000", "offset out of range", 7},
    {"CE-1", "name shorter than 3 characters", 0},
    {"-1", "name missing", 0},
    {"<>-1", "name missing", 1},
    {"<AB>-1", "name shorter than 3 characters", 1},
    {"<A_B>-1", "quoted name holds a character other than letters, digits, '+' and '-'", 2},
    {"<ABC-1", "quoted name without '>'", 6},
    {"ABCDEFGHIJKLMNOP-1", "name longer than 15 characters", 0},
    {"CET-1CEST", "summer time without rules", 9},
    {"CET-1CEST-2", "summer time without rules", 11},
    {"CET-1,M3.5.0,M10.5.0", "rules without summer time", 5},
    {"CET-1 ", "trailing characters", 5},
    {"CET-1CE,M3.5.0,M10.5.0", "name shorter than 3 characters", 5},
    {"CET-1CEST;M3.5.0,M10.5.0", "',' expected before the rules", 9},
    {"CET-1CEST,M3.5.0", "second rule missing", 16},
    {"CET-1CEST,M3.5.0;M10.5.0", "',' expected between the rules", 16},
    {"CET-1CEST,M3.5.0,M10.5.0/3 ", "trailing characters", 26},
    {"CET-1CEST,M3.5.0,M10.5.0,", "trailing characters", 24},
    {"CET-1CEST,,M10.5.0", "rule expected: Jn, n or Mm.w.d", 10},
    {"CET-1CEST,X,M10.5.0", "rule expected: Jn, n or Mm.w.d", 10},
    {"CET-1CEST,M13.5.0,M10.5.0", "month out of range", 11},
    {"CET-1CEST,M0.5.0,M10.5.0", "month out of range", 11},
    {"CET-1CEST,M3.6.0,M10.5.0", "week out of range", 13},
    {"CET-1CEST,M3.0.0,M10.5.0", "week out of range", 13},
    {"CET-1CEST,M3.5.7,M10.5.0", "weekday out of range", 15},
    {"CET-1CEST,M3.5,M10.5.0", "'.' expected after the week", 14},
    {"CET-1CEST,M3,M10.5.0", "'.' expected after the month", 12},
    {"CET-1CEST,J0,J300", "day out of range", 11},
    {"CET-1CEST,J366,J300", "day out of range", 11},
    {"CET-1CEST,366,300", "day out of range", 10},
    {"CET-1CEST,J,300", "number expected", 11},
    {"CET-1CEST,M3.5.0/,M10.5.0", "time expected after '/'", 17},
    {"CET-1CEST,M3.5.0/168,M10.5.0", "transition time out of range", 17},
    {"CET-1CEST,M3.5.0/-168,M10.5.0", "transition time out of range", 18},
    {"CET-1CEST,M3.5.0/2:60,M10.5.0", "minutes out of range", 19},
    {"CET-1CEST,M3.5.0,M10.5.0/3:00:99", "seconds out of range", 30},
};

TEST(ZoneParse, RefusesEachKindOfBadInputAndLeavesTheZoneAlone) {
    for (const Refusal &r : kRefusals) {
        ShZone zone;
        std::memset(&zone, 0xA5, sizeof zone);
        ShZone before;
        std::memcpy(&before, &zone, sizeof zone);
        const char *why = nullptr;
        int where = -1;
        EXPECT_FALSE(sh_zone_parse_at(r.tz, &zone, &why, &where)) << r.tz;
        EXPECT_STREQ(why, r.why) << r.tz;
        EXPECT_EQ(where, r.where) << r.tz;
        EXPECT_EQ(std::memcmp(&zone, &before, sizeof zone), 0) << r.tz;
        // The three-argument form gives the same reason, and takes no reason pointer too.
        const char *again = nullptr;
        EXPECT_FALSE(sh_zone_parse(r.tz, &zone, &again));
        EXPECT_STREQ(again, r.why);
        EXPECT_FALSE(sh_zone_parse(r.tz, &zone, nullptr));
    }
    ShZone zone{};
    const char *why = nullptr;
    EXPECT_FALSE(sh_zone_parse(nullptr, &zone, &why));
    EXPECT_STREQ(why, "no zone given");
}

TEST(ZoneParse, ReadsUpToTheLengthLimitAndNoFurther) {
    const std::string limit = "<+0545>-05:45<+0645>-6:45:00,M3.5.0/+01:00:00,M10.5.0/-167:00:00";
    ASSERT_EQ(limit.size(), static_cast<size_t>(SH_ZONE_TEXT_MAX));
    ShZone zone{};
    const char *why = nullptr;
    EXPECT_TRUE(sh_zone_parse(limit.c_str(), &zone, &why)) << why;
    EXPECT_EQ(zone.iDstOffset, 6 * 3600 + 45 * 60);
    EXPECT_EQ(zone.stEnd.iTime, -167 * 3600);
    // One more character is refused before anything else is read.
    int where = -1;
    EXPECT_FALSE(sh_zone_parse_at((limit + " ").c_str(), &zone, &why, &where));
    EXPECT_STREQ(why, "longer than 64 characters");
    EXPECT_EQ(where, SH_ZONE_TEXT_MAX);
}

// ---------------------------------------------------------------------------
// Offsets and the way back at instants checked by hand.

TEST(ZoneOffset, CentralEuropeChangesAtOneUtc) {
    const ShZone z = parsed("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2024: summer time from Sunday 31 March 01:00 UTC to Sunday 27 October 01:00 UTC.
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 3, 31, 0, 59, 59)), 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 3, 31, 1)), 7200);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 10, 27, 0, 59, 59)), 7200);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 10, 27, 1)), 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 1, 1, 0)), 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 7, 1, 0)), 7200);
}

TEST(ZoneOffset, SouthernSummerSpansTheNewYear) {
    const ShZone z = parsed("AEST-10AEDT,M10.1.0,M4.1.0/3");
    // 2024-04-07 03:00 AEDT is 06-16:00 UTC; 2024-10-06 02:00 AEST is 10-05 16:00 UTC.
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 1, 1, 0)), 11 * 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 4, 6, 15, 59, 59)), 11 * 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 4, 6, 16)), 10 * 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 10, 5, 15, 59, 59)), 10 * 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 10, 5, 16)), 11 * 3600);
    EXPECT_EQ(sh_zone_utc_offset(&z, at(2024, 12, 31, 23)), 11 * 3600);
}

TEST(ZoneOffset, PermanentSummerTimeHoldsAllYear) {
    const ShZone z = parsed("EST5EDT,0/0,J365/25");
    for (int year : {1970, 2023, 2024, 2099})
        for (int64_t t : {at(year, 1, 1, 0), at(year, 1, 1, 4, 59, 59), at(year, 1, 1, 5),
                          at(year, 6, 1, 0), at(year, 12, 31, 23, 59, 59)})
            EXPECT_EQ(sh_zone_utc_offset(&z, t), -4 * 3600) << year << " " << t;
}

TEST(ZoneOffset, RepeatsEvery400YearsOverTheWholeRange) {
    const ShZone z = parsed("CET-1CEST,M3.5.0,M10.5.0/3");
    const int64_t cycle = int64_t{146097} * 86400;
    const int64_t start = at(2024, 3, 31, 1);
    for (int64_t k : {-700000000LL, -1LL, 1LL, 5LL, 700000000LL}) {
        EXPECT_EQ(sh_zone_utc_offset(&z, start + k * cycle - 1), 3600) << k;
        EXPECT_EQ(sh_zone_utc_offset(&z, start + k * cycle), 7200) << k;
    }
    EXPECT_EQ(sh_zone_utc_offset(&z, INT64_MIN), sh_zone_utc_offset(&z, INT64_MIN + cycle));
    EXPECT_EQ(sh_zone_utc_offset(&z, INT64_MAX), sh_zone_utc_offset(&z, INT64_MAX - cycle));
    EXPECT_EQ(sh_zone_home_to_utc(&z, INT64_MAX), INT64_MAX - 3600);
    EXPECT_EQ(sh_zone_home_to_utc(&z, INT64_MIN), INT64_MIN); // saturates
}

TEST(ZoneHomeToUtc, OverlapGivesTheEarlierInstantAndAGapTheOffsetBefore) {
    const ShZone z = parsed("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2024-03-31: 02:00 .. 02:59:59 home time never happens.
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 3, 31, 1, 59, 59)), SH_ZONE_HOME_ONCE);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 3, 31, 1, 59, 59)), at(2024, 3, 31, 0, 59, 59));
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 3, 31, 2, 30)), SH_ZONE_HOME_SKIPPED);
    // 02:30 read as CET is 01:30 UTC, the instant that reads 03:30 CEST.
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 3, 31, 2, 30)), at(2024, 3, 31, 1, 30));
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 3, 31, 3)), SH_ZONE_HOME_ONCE);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 3, 31, 3)), at(2024, 3, 31, 1));
    // 2024-10-27: 02:00 .. 02:59:59 home time happens twice; the first is CEST.
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 10, 27, 1, 59, 59)), SH_ZONE_HOME_ONCE);
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 10, 27, 2, 0)), SH_ZONE_HOME_TWICE);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 10, 27, 2, 0)), at(2024, 10, 27, 0, 0));
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 10, 27, 2, 59, 59)), at(2024, 10, 27, 0, 59, 59));
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 10, 27, 3)), SH_ZONE_HOME_ONCE);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 10, 27, 3)), at(2024, 10, 27, 2));
}

TEST(ZoneHomeToUtc, NegativeSummerTimeSkipsInMarchAndRepeatsInOctober) {
    // Ireland: standard time is the summer's IST, winter is GMT "summer" time.
    const ShZone z = parsed("IST-1GMT0,M10.5.0,M3.5.0/1");
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 3, 31, 1, 30)), SH_ZONE_HOME_SKIPPED);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 3, 31, 1, 30)), at(2024, 3, 31, 1, 30));
    EXPECT_EQ(sh_zone_home_kind(&z, at(2024, 10, 27, 1, 30)), SH_ZONE_HOME_TWICE);
    EXPECT_EQ(sh_zone_home_to_utc(&z, at(2024, 10, 27, 1, 30)), at(2024, 10, 27, 0, 30));
}

} // namespace
