// SPDX-License-Identifier: MIT
// The sun seen from a place on the Earth: its elevation at an instant, its
// transit over a longitude (solar noon), and the moments it crosses a given
// elevation on the way up or down (sunrise, sunset, dawn, dusk).
//
// Angles are in degrees: latitude north positive, longitude east positive,
// elevations geometric (no atmospheric refraction), of the sun's centre, as
// an observer at sea level sees them. Instants are UTC, counted from
// 1970-01-01 00:00:00 and given without leap seconds, as POSIX time is.
// Every function takes any argument without undefined behaviour; the
// results are meant for 1970..2099. There, against a high-precision
// ephemeris (tests/test_sun.cpp), the elevation is within 0.01 degree, and
// transits, sunrises and sunsets up to 65 degrees of latitude within 5
// seconds; a crossing where the sun only grazes the altitude, its elevation
// changing a few thousandths of a degree a minute, may be off by more
// seconds, but never by more than 0.01 degree of elevation.
#ifndef SH_SYS_SUN_H
#define SH_SYS_SUN_H

#include <cstdint>

// Sunrise and sunset: the centre 50 arc minutes below the horizon (the
// sun's semi-diameter and the mean refraction at the horizon).
constexpr double SUN_ALTITUDE_RISE_SET = -0.833;
// Civil dawn and dusk.
constexpr double SUN_ALTITUDE_CIVIL = -6.0;

// Geometric elevation of the sun's centre (no refraction), degrees, seen
// from latitude and longitude (degrees, north and east positive) at the UTC
// instant llUtcMs (ms since 1970 UTC). NaN when an argument is not finite or
// the latitude lies beyond +-90 degrees.
double sh_sun_elevation(double dLatitude, double dLongitude, int64_t llUtcMs);

// The sun's upper transit over the longitude (solar noon) nearest to
// llUtcNear, UTC seconds since 1970, rounded to the second. Transits come
// about 24 hours apart: an instant about 12 hours from two of them may get
// either. A longitude that is not finite is taken as 0.
int64_t sh_sun_transit(double dLongitude, int64_t llUtcNear);

// The moment the sun's centre crosses elevation dAltitude (degrees,
// geometric: SUN_ALTITUDE_RISE_SET for sunrise and sunset,
// SUN_ALTITUDE_CIVIL for civil dawn and dusk) rising (bRising) in the half
// day before, or setting in the half day after, the transit llTransit (as
// sh_sun_transit gives it); UTC seconds rounded to the second, in *pllUtc.
//
// False when it does not cross in that half day (polar day or night);
// *pbAbove then tells whether the sun stays above dAltitude (true) or below.
// The half day runs from the transit to 12 hours before it (rising) or
// after it (setting), about to the sun's lowest point: the sun crosses when
// it stands above dAltitude at the transit and below it 12 hours away. On a
// marginal day, when the sun barely reaches the altitude, that decides and
// the crossing lies close to the transit or to the lowest point; should the
// sun graze the altitude so closely that it crosses more than once in the
// half day, one of the crossings is given. True leaves *pbAbove untouched;
// false leaves *pllUtc untouched. Arguments that are not finite, a latitude
// beyond +-90 degrees or a null pointer answer false (stays below).
bool sh_sun_crossing(double dLatitude, double dLongitude, double dAltitude, int64_t llTransit,
                     bool bRising, int64_t *pllUtc, bool *pbAbove);

#endif // SH_SYS_SUN_H
