// SPDX-License-Identifier: MIT
// The plug-in's own sun conditions: sh_sun_window and sh_sun_elevation, on
// the home's place and zone (sh-sys-home.cpp).
//
// The events of home day D are those around the solar noon nearest to D's
// home noon: the rise and dawn in the half day before that transit, the set
// and dusk in the half day after it. Each is computed in UTC and turned into
// home time with the offset in force at its instant. An event that does not
// happen (polar day or night) is placed at a boundary of the day: where the
// sun stays above the event's altitude a missing rise or dawn is at D's
// 00:00 and a missing set or dusk at D+1's 00:00; where it stays below, the
// other way round.
//
// The events of a few days around today are kept in a small cache that the
// natives read without a lock and publish with ShPublished::try_write. It
// is keyed by the settings' generation, so a new place or zone drops it; it
// slides along the days, so a new day computes only the events it adds.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "sh-sys-func.h"
#include "sh-sys-home.h"
#include "sh-sys-publish.h"
#include "sh-sys-sun.h"
#include "sh-sys-zone.h"

namespace {

const int64_t SECONDS_OF_DAY = 86400;
const int64_t SECONDS_OF_HALF_DAY = 43200;

// Event numbers as scripts give them.
enum : int32_t {
    SUN_EVENT_RISE = 1,
    SUN_EVENT_SET = 2,
    SUN_EVENT_DAWN = 3,
    SUN_EVENT_DUSK = 4,
    SUN_EVENT_NOON = 5,
    SUN_EVENTS = 5,
};
const int32_t SUN_OFFSET_MAX = 43200;
const int32_t SUN_ELEVATION_MAX = 900; // tenths of a degree

// The order of the events in the sun's day: dawn, rise, noon, set, dusk.
// A window closes on the same day when its closing event comes later in
// this order than its opening one, otherwise on the next day.
const int SUN_EVENT_ORDER[SUN_EVENTS + 1] = {0, 1, 3, 0, 4, 2};

// Where an event of day D can lie, in seconds from D's 00:00, before the
// difference between the zone's offsets is added either way: the transit
// nearest to home noon lies within the day, rise and dawn within the half
// day before it, set and dusk within the half day after it.
const int64_t SUN_EVENT_EARLIEST[SUN_EVENTS + 1] = {
    0, -SECONDS_OF_HALF_DAY, 0, -SECONDS_OF_HALF_DAY, 0, 0};
const int64_t SUN_EVENT_LATEST[SUN_EVENTS + 1] = {0,
                                                  SECONDS_OF_DAY,
                                                  SECONDS_OF_DAY + SECONDS_OF_HALF_DAY,
                                                  SECONDS_OF_DAY,
                                                  SECONDS_OF_DAY + SECONDS_OF_HALF_DAY,
                                                  SECONDS_OF_DAY};

const uint8_t SUN_KNOWN_TRANSIT = 1U << 7;

struct ShSunDay {
    int64_t allEvent[SUN_EVENTS + 1]; // home seconds, by event number
    int64_t llTransitUtc;
    uint8_t ucKnown; // bit n: event n known; SUN_KNOWN_TRANSIT: the transit
};

// Days of events kept: today with three days either way, and room for
// zones whose offsets differ by up to two days.
const int SUN_CACHE_DAYS = 16;

struct ShSunCache {
    uint32_t uGeneration; // of the settings the events belong to; 0 none
    int64_t llMargin;     // seconds an event may stray from its bounds
    int64_t llFirstDay;   // home day number of astDay[0]
    ShSunDay astDay[SUN_CACHE_DAYS];
};

ShPublished<ShSunCache> gSunCache;

int64_t sh_floor_div(int64_t llA, int64_t llB) {
    const int64_t llQ = llA / llB;
    return (llA % llB != 0 && (llA < 0) != (llB < 0)) ? llQ - 1 : llQ;
}

// One question of sh_sun_window.
struct ShSunQuery {
    int64_t llNow; // home seconds
    int64_t llDay; // home day of llNow
    int32_t iFrom;
    int32_t iFromOffset;
    int32_t iTo;
    int32_t iToOffset;
    int64_t llCloseDay; // 0: the opening day's event closes, 1: the next day's
};

// 1 when llNow lies in the window of some day, 0 when in none; -1 when
// fnEvent(day, event, &home) could not give an event it needed. Only the
// days whose window can reach llNow by the bounds of their events are asked,
// the latest first.
template <typename F> int sh_sun_in_window(const ShSunQuery &stQ, int64_t llMargin, F fnEvent) {
    const int64_t llSecond = stQ.llNow - stQ.llDay * SECONDS_OF_DAY;
    // Opens no later than llNow: the day's earliest open is not after it.
    const int64_t llLast = stQ.llDay + sh_floor_div(llSecond - SUN_EVENT_EARLIEST[stQ.iFrom] +
                                                        llMargin - stQ.iFromOffset,
                                                    SECONDS_OF_DAY);
    // Closes after llNow: the closing day's latest close is after it.
    const int64_t llFirst =
        stQ.llDay - stQ.llCloseDay + 1 +
        sh_floor_div(llSecond - SUN_EVENT_LATEST[stQ.iTo] - llMargin - stQ.iToOffset,
                     SECONDS_OF_DAY);
    for (int64_t llDay = llLast; llDay >= llFirst; --llDay) {
        int64_t llOpen = 0;
        if (!fnEvent(llDay, stQ.iFrom, &llOpen))
            return -1;
        if (llOpen + stQ.iFromOffset > stQ.llNow)
            continue;
        int64_t llClose = 0;
        if (!fnEvent(llDay + stQ.llCloseDay, stQ.iTo, &llClose))
            return -1;
        if (stQ.llNow < llClose + stQ.iToOffset)
            return 1;
    }
    return 0;
}

// The altitude of the sun that event iEvent crosses.
double sh_sun_event_altitude(int32_t iEvent) {
    return iEvent == SUN_EVENT_RISE || iEvent == SUN_EVENT_SET ? SUN_ALTITUDE_RISE_SET
                                                               : SUN_ALTITUDE_CIVIL;
}

int64_t sh_home_of_utc(const ShZone &stZone, int64_t llUtc) {
    return llUtc + sh_zone_utc_offset(&stZone, llUtc);
}

// Event iEvent of home day llDay, in home seconds, computed into stDay.
int64_t sh_sun_event_compute(const ShHome &stHome, int64_t llDay, int32_t iEvent, ShSunDay &stDay) {
    if ((stDay.ucKnown & SUN_KNOWN_TRANSIT) == 0) {
        const int64_t llNoonUtc =
            sh_zone_home_to_utc(&stHome.stZone, llDay * SECONDS_OF_DAY + SECONDS_OF_HALF_DAY);
        stDay.llTransitUtc = sh_sun_transit(stHome.dLongitude, llNoonUtc);
        stDay.ucKnown |= SUN_KNOWN_TRANSIT;
    }
    if (iEvent == SUN_EVENT_NOON)
        return sh_home_of_utc(stHome.stZone, stDay.llTransitUtc);
    const bool bRising = iEvent == SUN_EVENT_RISE || iEvent == SUN_EVENT_DAWN;
    int64_t llUtc = 0;
    bool bAbove = false;
    if (sh_sun_crossing(stHome.dLatitude, stHome.dLongitude, sh_sun_event_altitude(iEvent),
                        stDay.llTransitUtc, bRising, &llUtc, &bAbove))
        return sh_home_of_utc(stHome.stZone, llUtc);
    // No crossing: at the boundary that keeps the sun's side all day.
    const int64_t llStart = llDay * SECONDS_OF_DAY;
    return bRising == bAbove ? llStart : llStart + SECONDS_OF_DAY;
}

// Event iEvent of day llDay from the cache, computed and kept when missing.
bool sh_sun_event(const ShHome &stHome, ShSunCache &stCache, int64_t llDay, int32_t iEvent,
                  int64_t *pllHome) {
    const int64_t llIndex = llDay - stCache.llFirstDay;
    ShSunDay stScratch{};
    ShSunDay &stDay =
        llIndex >= 0 && llIndex < SUN_CACHE_DAYS ? stCache.astDay[llIndex] : stScratch;
    const auto ucBit = static_cast<uint8_t>(1U << iEvent);
    if ((stDay.ucKnown & ucBit) == 0) {
        stDay.allEvent[iEvent] = sh_sun_event_compute(stHome, llDay, iEvent, stDay);
        stDay.ucKnown |= ucBit;
    }
    *pllHome = stDay.allEvent[iEvent];
    return true;
}

// Makes stCache hold the settings' generation and the days a question on
// day llDay may need, keeping the days it already holds.
void sh_sun_cache_prepare(const ShHome &stHome, int64_t llDay, ShSunCache &stCache) {
    if (stCache.uGeneration != stHome.uGeneration) {
        std::memset(&stCache, 0, sizeof(stCache));
        stCache.uGeneration = stHome.uGeneration;
        const int64_t llShift = static_cast<int64_t>(stHome.stZone.iDstOffset) -
                                static_cast<int64_t>(stHome.stZone.iStdOffset);
        // The offsets at home noon and at an event may differ by the shift;
        // five minutes more cover the transits' spacing, which is not quite
        // a day, and the rounding of the events.
        stCache.llMargin = (llShift < 0 ? -llShift : llShift) + 300;
        stCache.llFirstDay = llDay;
    }
    const int64_t llReach = 4 + stCache.llMargin / SECONDS_OF_DAY;
    const int64_t llLow = llDay - llReach;
    const int64_t llHigh = llDay + llReach;
    if (llLow >= stCache.llFirstDay && llHigh < stCache.llFirstDay + SUN_CACHE_DAYS)
        return;
    // Forward, the days ahead get the room; backward, the days behind.
    const int64_t llFirst =
        llHigh >= stCache.llFirstDay + SUN_CACHE_DAYS ? llLow : llHigh - SUN_CACHE_DAYS + 1;
    ShSunDay astDay[SUN_CACHE_DAYS];
    std::memset(astDay, 0, sizeof(astDay));
    for (int64_t i = 0; i < SUN_CACHE_DAYS; ++i) {
        const int64_t llOld = llFirst + i - stCache.llFirstDay;
        if (llOld >= 0 && llOld < SUN_CACHE_DAYS)
            astDay[i] = stCache.astDay[llOld];
    }
    std::memcpy(stCache.astDay, astDay, sizeof(astDay));
    stCache.llFirstDay = llFirst;
}

// Logs, once per life of the manager, which setting the sun natives miss.
void sh_sun_log_missing(const char *pszNative, const ShHome &stHome) {
    if (!sh_home_first_miss())
        return;
    if (!stHome.bHasPlace && !stHome.bHasZone)
        sh_log_out("%s: no home location and no home zone (sh_set_home_location, "
                   "sh_set_home_zone)",
                   pszNative);
    else if (!stHome.bHasPlace)
        sh_log_out("%s: no home location (sh_set_home_location)", pszNative);
    else
        sh_log_out("%s: no home zone (sh_set_home_zone)", pszNative);
}

int sh_sun_window_answer(const ShSunQuery &stQ) {
    const uint32_t uGeneration = sh_home_generation();
    // The day's events are known: answered from the published cache.
    const int iCached = gSunCache.read([&stQ, uGeneration](const ShSunCache &stCache) {
        if (uGeneration == 0 || stCache.uGeneration != uGeneration)
            return -1;
        return sh_sun_in_window(stQ, stCache.llMargin,
                                [&stCache](int64_t llDay, int32_t iEvent, int64_t *pllHome) {
                                    const int64_t llIndex = llDay - stCache.llFirstDay;
                                    if (llIndex < 0 || llIndex >= SUN_CACHE_DAYS)
                                        return false;
                                    const ShSunDay &stDay = stCache.astDay[llIndex];
                                    if ((stDay.ucKnown & (1U << iEvent)) == 0)
                                        return false;
                                    *pllHome = stDay.allEvent[iEvent];
                                    return true;
                                });
    });
    if (iCached >= 0)
        return iCached;
    const ShHome stHome = sh_home_get();
    if (!stHome.bHasPlace || !stHome.bHasZone) {
        sh_sun_log_missing("sh_sun_window", stHome);
        return 0;
    }
    ShSunCache stCache = gSunCache.read([](const ShSunCache &stCurrent) { return stCurrent; });
    sh_sun_cache_prepare(stHome, stQ.llDay, stCache);
    const int iAnswer =
        sh_sun_in_window(stQ, stCache.llMargin,
                         [&stHome, &stCache](int64_t llDay, int32_t iEvent, int64_t *pllHome) {
                             return sh_sun_event(stHome, stCache, llDay, iEvent, pllHome);
                         });
    // Another native publishing at the same time keeps its copy instead.
    gSunCache.try_write([&stCache](ShSunCache &stSpare, const ShSunCache &) {
        stSpare = stCache;
        return true;
    });
    return iAnswer;
}

// ---------------------------------------------------------------- elevation
//
// The sun's elevation changes smoothly: its sine is a day-long wave whose
// height drifts slowly with the season. So the sine is taken from the sun
// unit at every tenth minute (UTC) and interpolated between with a cubic
// through the four samples around the instant; the interpolation strays
// from the unit's own value by less than a millionth of the sine (a few
// millionths of a degree), far below the unit's accuracy. The samples are
// kept, with the place and zone they belong to, in a record published like
// the day's events: a question in a new ten minutes computes one sample.

const double DEG_TO_RAD = 3.14159265358979323846 / 180.0;
const int64_t SUN_SAMPLE_MS = 600000;
const int SUN_SAMPLES = 8;

struct ShSunSamples {
    uint32_t uGeneration; // of the settings; 0 none
    double dLatitude;
    double dLongitude;
    ShZone stZone;
    int64_t llFirst; // sample index (UTC ms / SUN_SAMPLE_MS) of adSine[0]
    uint32_t uKnown; // bit i: adSine[i] known
    double adSine[SUN_SAMPLES];
    // The last home second turned into UTC: with summer time the zone's
    // conversion costs more than the rest of the answer.
    int64_t llHomeSecond;
    int64_t llUtcSecond;
};

ShPublished<ShSunSamples> gSunSamples;

// The UTC instant of home time llHomeMs: where the clock shows a time twice
// (summer time ends) the earlier instant. The samples' last conversion
// answers for the same second.
int64_t sh_sun_utc_ms(const ShSunSamples &stSamples, int64_t llHomeMs) {
    const int64_t llSecond = sh_floor_div(llHomeMs, 1000);
    const int64_t llUtc = llSecond == stSamples.llHomeSecond
                              ? stSamples.llUtcSecond
                              : sh_zone_home_to_utc(&stSamples.stZone, llSecond);
    return llUtc * 1000 + (llHomeMs - llSecond * 1000);
}

// The cubic through the samples at -1, 0, 1, 2 at x in [0, 1).
double sh_sun_cubic(const double *pdSine, double x) {
    const double xm = x - 1.0;
    const double xmm = x - 2.0;
    const double xp = x + 1.0;
    return -x * xm * xmm / 6.0 * pdSine[0] + xp * xm * xmm / 2.0 * pdSine[1] -
           xp * x * xmm / 2.0 * pdSine[2] + xp * x * xm / 6.0 * pdSine[3];
}

// The sine at llUtcMs from stSamples; false when a sample is not there.
bool sh_sun_sine_from(const ShSunSamples &stSamples, int64_t llUtcMs, double *pdSine) {
    const int64_t llIndex = sh_floor_div(llUtcMs, SUN_SAMPLE_MS);
    const int64_t llAt = llIndex - 1 - stSamples.llFirst;
    if (llAt < 0 || llAt + 4 > SUN_SAMPLES)
        return false;
    const uint32_t uNeeded = 0xFU << llAt;
    if ((stSamples.uKnown & uNeeded) != uNeeded)
        return false;
    const double x =
        static_cast<double>(llUtcMs - llIndex * SUN_SAMPLE_MS) / static_cast<double>(SUN_SAMPLE_MS);
    const double dSine = sh_sun_cubic(&stSamples.adSine[llAt], x);
    *pdSine = dSine > 1.0 ? 1.0 : (dSine < -1.0 ? -1.0 : dSine);
    return true;
}

// The sine of the sun's elevation at home time llHomeMs; NaN without a
// place or a zone.
double sh_sun_elevation_sine(int64_t llHomeMs) {
    const uint32_t uGeneration = sh_home_generation();
    double dSine = 0.0;
    const bool bCached =
        gSunSamples.read([llHomeMs, uGeneration, &dSine](const ShSunSamples &stSamples) {
            return uGeneration != 0 && stSamples.uGeneration == uGeneration &&
                   (stSamples.stZone.ucHasDst == 0 ||
                    sh_floor_div(llHomeMs, 1000) == stSamples.llHomeSecond) &&
                   sh_sun_sine_from(stSamples, sh_sun_utc_ms(stSamples, llHomeMs), &dSine);
        });
    if (bCached)
        return dSine;
    const ShHome stHome = sh_home_get();
    if (!stHome.bHasPlace || !stHome.bHasZone) {
        sh_sun_log_missing("sh_sun_elevation", stHome);
        return NAN;
    }
    ShSunSamples stSamples =
        gSunSamples.read([](const ShSunSamples &stCurrent) { return stCurrent; });
    if (stSamples.uGeneration != stHome.uGeneration) {
        std::memset(&stSamples, 0, sizeof(stSamples));
        stSamples.uGeneration = stHome.uGeneration;
        stSamples.dLatitude = stHome.dLatitude;
        stSamples.dLongitude = stHome.dLongitude;
        stSamples.stZone = stHome.stZone;
        stSamples.llHomeSecond = INT64_MIN;
    }
    const int64_t llUtcMs = sh_sun_utc_ms(stSamples, llHomeMs);
    stSamples.llHomeSecond = sh_floor_div(llHomeMs, 1000);
    stSamples.llUtcSecond = sh_floor_div(llUtcMs, 1000);
    const int64_t llIndex = sh_floor_div(llUtcMs, SUN_SAMPLE_MS);
    if (stSamples.uKnown == 0)
        stSamples.llFirst = llIndex - 1;
    if (llIndex - 1 < stSamples.llFirst || llIndex + 2 >= stSamples.llFirst + SUN_SAMPLES) {
        // Forward, the samples ahead get the room; backward, those behind.
        const int64_t llFirst =
            llIndex - 1 >= stSamples.llFirst ? llIndex - 1 : llIndex + 3 - SUN_SAMPLES;
        const int64_t llShift = llFirst - stSamples.llFirst;
        double adSine[SUN_SAMPLES] = {};
        uint32_t uKnown = 0;
        for (int64_t i = 0; i < SUN_SAMPLES; ++i) {
            const int64_t llOld = i + llShift;
            if (llOld >= 0 && llOld < SUN_SAMPLES && (stSamples.uKnown & (1U << llOld)) != 0) {
                adSine[i] = stSamples.adSine[llOld];
                uKnown |= 1U << i;
            }
        }
        std::memcpy(stSamples.adSine, adSine, sizeof(adSine));
        stSamples.uKnown = uKnown;
        stSamples.llFirst = llFirst;
    }
    for (int64_t i = llIndex - 1 - stSamples.llFirst; i < llIndex + 3 - stSamples.llFirst; ++i) {
        if ((stSamples.uKnown & (1U << i)) == 0) {
            const double dElevation = sh_sun_elevation(stHome.dLatitude, stHome.dLongitude,
                                                       (stSamples.llFirst + i) * SUN_SAMPLE_MS);
            stSamples.adSine[i] = std::sin(dElevation * DEG_TO_RAD);
            stSamples.uKnown |= 1U << i;
        }
    }
    sh_sun_sine_from(stSamples, llUtcMs, &dSine);
    gSunSamples.try_write([&stSamples](ShSunSamples &stSpare, const ShSunSamples &) {
        stSpare = stSamples;
        return true;
    });
    return dSine;
}

// Home time now in ms, held to the calendar's range as the other natives
// hold it.
int64_t sh_sun_home_now_ms() {
    return static_cast<int64_t>(sh_home_now_ms());
}

} // namespace

extern "C" {

bool sh_sun_window(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    ShSunQuery stQ{};
    if (argv == nullptr || argc != 4 || !sh_arg_in(argv, 0, 1, SUN_EVENTS, &stQ.iFrom) ||
        !sh_arg_in(argv, 1, -SUN_OFFSET_MAX, SUN_OFFSET_MAX, &stQ.iFromOffset) ||
        !sh_arg_in(argv, 2, 1, SUN_EVENTS, &stQ.iTo) ||
        !sh_arg_in(argv, 3, -SUN_OFFSET_MAX, SUN_OFFSET_MAX, &stQ.iToOffset))
        return sh_condition_answer(out, false, false);
    stQ.llNow = sh_sun_home_now_ms() / 1000;
    stQ.llDay = sh_floor_div(stQ.llNow, SECONDS_OF_DAY);
    // The same event closes on its own day when its offset comes later.
    const bool bSameDay = stQ.iFrom == stQ.iTo
                              ? stQ.iFromOffset < stQ.iToOffset
                              : SUN_EVENT_ORDER[stQ.iFrom] < SUN_EVENT_ORDER[stQ.iTo];
    stQ.llCloseDay = bSameDay ? 0 : 1;
    return sh_condition_answer(out, true, sh_sun_window_answer(stQ) == 1);
}

bool sh_sun_elevation(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iLow = 0;
    int32_t iHigh = 0;
    if (argv == nullptr || argc != 2 ||
        !sh_arg_in(argv, 0, -SUN_ELEVATION_MAX, SUN_ELEVATION_MAX, &iLow) ||
        !sh_arg_in(argv, 1, -SUN_ELEVATION_MAX, SUN_ELEVATION_MAX, &iHigh) || iLow > iHigh)
        return sh_condition_answer(out, false, false);
    const double dSin = sh_sun_elevation_sine(sh_sun_home_now_ms());
    if (std::isnan(dSin))
        return sh_condition_answer(out, true, false);
    // The sine grows with the elevation over -90..90 degrees.
    const double dLow = std::sin(iLow / 10.0 * DEG_TO_RAD);
    const double dHigh = std::sin(iHigh / 10.0 * DEG_TO_RAD);
    return sh_condition_answer(out, true, dSin >= dLow && dSin <= dHigh);
}

} // extern "C"
