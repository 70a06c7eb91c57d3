// SPDX-License-Identifier: MIT
// Arbitrary TZ strings, instants and home times. Input: an int64 UTC
// instant, an int64 home time, then the text. A refusal gives a reason and
// leaves the zone alone; a parsed zone gives offsets in range, and its
// offset and its way back from home time agree with each other.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sh-sys-zone.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

bool addOverflows(int64_t a, int64_t b, int64_t *sum) {
    return __builtin_add_overflow(a, b, sum);
}

// Home time llHome as the answer of sh_zone_home_to_utc reads it back.
void checkHome(const ShZone &z, int64_t home) {
    const int64_t utc = sh_zone_home_to_utc(&z, home);
    const int kind = sh_zone_home_kind(&z, home);
    int64_t asStd = 0, asDst = 0, back = 0;
    if (__builtin_sub_overflow(home, z.iStdOffset, &asStd) ||
        __builtin_sub_overflow(home, z.iDstOffset, &asDst) ||
        addOverflows(utc, sh_zone_utc_offset(&z, utc), &back))
        return; // at the ends of the range, where the answer saturates
    check(utc == asStd || utc == asDst);
    if (kind == SH_ZONE_HOME_SKIPPED)
        check(back != home);
    else
        check(back == home && (kind == SH_ZONE_HOME_ONCE || kind == SH_ZONE_HOME_TWICE));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int64_t instant = 0, homeTime = 0;
    if (size < 2 * sizeof(int64_t))
        return 0;
    std::memcpy(&instant, data, sizeof instant);
    std::memcpy(&homeTime, data + 8, sizeof homeTime);
    const std::string text(reinterpret_cast<const char *>(data) + 16, size - 16);

    ShZone zone;
    std::memset(&zone, 0x5A, sizeof zone);
    ShZone before;
    std::memcpy(&before, &zone, sizeof zone);
    const char *why = nullptr;
    int where = -1;
    if (!sh_zone_parse_at(text.c_str(), &zone, &why, &where)) {
        check(why != nullptr && *why != '\0');
        check(where >= 0 && static_cast<size_t>(where) <= std::strlen(text.c_str()));
        check(std::memcmp(&zone, &before, sizeof zone) == 0);
        return 0;
    }
    check(std::strlen(text.c_str()) <= static_cast<size_t>(SH_ZONE_TEXT_MAX));
    check(zone.iStdOffset >= -SH_ZONE_OFFSET_MAX && zone.iStdOffset <= SH_ZONE_OFFSET_MAX);
    check(zone.iDstOffset >= -SH_ZONE_OFFSET_MAX - 3600 &&
          zone.iDstOffset <= SH_ZONE_OFFSET_MAX + 3600); // an hour ahead unless given
    check(std::strlen(zone.szStdName) >= 3);
    check(zone.ucHasDst ? std::strlen(zone.szDstName) >= 3
                        : zone.szDstName[0] == '\0' && zone.iDstOffset == zone.iStdOffset);
    for (const ShZoneRule *rule : {&zone.stStart, &zone.stEnd}) {
        if (!zone.ucHasDst)
            break;
        check(rule->iTime >= -SH_ZONE_RULE_TIME_MAX && rule->iTime <= SH_ZONE_RULE_TIME_MAX);
        check(rule->ucKind == SH_ZONE_RULE_MONTH
                  ? rule->ucMonth >= 1 && rule->ucMonth <= 12 && rule->ucWeek >= 1 &&
                        rule->ucWeek <= 5 && rule->ucWeekday <= 6
                  : rule->sDay >= (rule->ucKind == SH_ZONE_RULE_JULIAN) && rule->sDay <= 365);
    }

    // The offset is one of the two, and the same 400 years on.
    const int32_t offset = sh_zone_utc_offset(&zone, instant);
    check(offset == zone.iStdOffset || offset == zone.iDstOffset);
    const int64_t cycle = int64_t{146097} * 86400;
    int64_t later = 0;
    if (!addOverflows(instant, cycle, &later))
        check(sh_zone_utc_offset(&zone, later) == offset);

    // The home time of the instant comes back to it, or to an earlier
    // instant that shows the same.
    int64_t home = 0;
    if (!addOverflows(instant, offset, &home)) {
        const int64_t utc = sh_zone_home_to_utc(&zone, home);
        const int kind = sh_zone_home_kind(&zone, home);
        check(kind != SH_ZONE_HOME_SKIPPED);
        if (kind == SH_ZONE_HOME_ONCE)
            check(utc == instant);
        else
            check(utc <= instant && utc + sh_zone_utc_offset(&zone, utc) == home);
        checkHome(zone, home);
    }
    checkHome(zone, homeTime);
    return 0;
}
