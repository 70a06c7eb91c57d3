// SPDX-License-Identifier: MIT
// The sun's position and its daily events, from closed formulas: no
// tables, no allocation; sines and cosines of its own, the inverse
// functions and square roots from libm.
//
// Sources, as cited beside each formula:
//   [AA]   J. Meeus, Astronomical Algorithms, 2nd ed. (Willmann-Bell, 1998).
//   [EM]   F. Espenak and J. Meeus, Five Millennium Canon of Solar Eclipses,
//          NASA/TP-2006-214141 (2006), section 2.6: Delta T polynomials.
//
// The solar coordinates are those of [AA] chapter 25 of lower accuracy (the
// equation of the centre on the mean elements, good to 0.01 degree), made
// apparent with the leading terms of nutation and aberration; the sidereal
// time is [AA] chapter 12's; the place on the sky turns into the local hour
// angle and the elevation by [AA] chapter 13, and the sun's parallax of
// [AA] chapter 40 makes it the elevation a sea-level observer sees. Rising
// and setting start from the hour angle of [AA] (15.1) and refine it with
// the position at the estimate, as [AA] chapter 15 does.
#include "sh-sys-sun.h"

#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double RAD = PI / 180.0;
constexpr double DEG = 180.0 / PI;
constexpr double DAY_S = 86400.0;
constexpr double HALF_DAY_S = 43200.0;
// 2000-01-01 12:00:00 UTC, the epoch J2000.0 (JD 2451545.0) in POSIX seconds.
constexpr double J2000_POSIX_S = 946728000.0;
constexpr double JULIAN_CENTURY_DAYS = 36525.0;
// Instants beyond +-3000 years are held there, so that every conversion
// between integers and doubles stays defined; the answers are meant for
// 1970..2099.
constexpr int64_t TIME_LIMIT_S = 95000000000LL;
// The sun's hour angle grows by 360 degrees in a mean solar day.
constexpr double HOUR_ANGLE_DEG_PER_S = 360.0 / DAY_S;
// Equatorial horizontal parallax of the sun at 1 AU, [AA] chapter 40:
// 8.794". The Earth's distance changes it by 0.15" over the year.
constexpr double PARALLAX_DEG = 8.794 / 3600.0;

int64_t sh_sun_clamp_seconds(int64_t llSeconds) {
    return llSeconds < -TIME_LIMIT_S ? -TIME_LIMIT_S
                                     : (llSeconds > TIME_LIMIT_S ? TIME_LIMIT_S : llSeconds);
}

// The integer nearest to a double of magnitude below 2^62.
int64_t sh_sun_nearest(double dValue) {
    return static_cast<int64_t>(dValue >= 0.0 ? dValue + 0.5 : dValue - 0.5);
}

// An angle in degrees brought to [-180, 180]; finite angles within the
// range the clamped instants give (some 10^9 degrees).
double sh_sun_deg_180(double dDegrees) {
    return dDegrees - 360.0 * static_cast<double>(sh_sun_nearest(dDegrees * (1.0 / 360.0)));
}

// A longitude from the caller, any finite value, brought to [-180, 180]:
// fmod is exact at every magnitude.
double sh_sun_longitude(double dLongitude) {
    return sh_sun_deg_180(std::fmod(dLongitude, 360.0));
}

// Sine and cosine of an angle in degrees: the quadrant taken off in
// degrees, where it is exact, then the Taylor series on at most 45 degrees
// (pi / 4) to the 11th and 12th powers, whose first omitted terms are below
// 1e-11 (2e-6 arc seconds). The same arithmetic on every target, and a
// fraction of the C library's cost. Inline, so that the independent angles
// of one position are computed side by side.
inline __attribute__((always_inline)) void sh_sun_sincos(double dDegrees, double *pdSin,
                                                         double *pdCos) {
    const int64_t llQuadrant = sh_sun_nearest(dDegrees * (1.0 / 90.0));
    const double dX = (dDegrees - 90.0 * static_cast<double>(llQuadrant)) * RAD;
    const double dX2 = dX * dX;
    const double dX4 = dX2 * dX2;
    // x - x^3/3! + ... - x^11/11!, and 1 - x^2/2! + ... + x^12/12!, in
    // pairs of terms so that fewer operations wait on each other.
    const double dSin = dX * ((1.0 - dX2 * (1.0 / 6.0)) +
                              dX4 * ((1.0 / 120.0 - dX2 * (1.0 / 5040.0)) +
                                     dX4 * (1.0 / 362880.0 - dX2 * (1.0 / 39916800.0))));
    const double dCos =
        (1.0 - dX2 * 0.5) +
        dX4 * ((1.0 / 24.0 - dX2 * (1.0 / 720.0)) +
               dX4 * ((1.0 / 40320.0 - dX2 * (1.0 / 3628800.0)) + dX4 * (1.0 / 479001600.0)));
    // Quadrant q turns (sin, cos) into (cos, -sin), (-sin, -cos), (-cos, sin).
    const int iQuadrant = static_cast<int>(llQuadrant & 3);
    const double dA = (iQuadrant & 1) != 0 ? dCos : dSin;
    const double dB = (iQuadrant & 1) != 0 ? dSin : dCos;
    *pdSin = (iQuadrant & 2) != 0 ? -dA : dA;
    *pdCos = ((iQuadrant + 1) & 2) != 0 ? -dB : dB;
}

// Delta T = TT - UT in seconds for a decimal year [EM]. Its effect on the
// sun's place is small (a minute of Delta T moves it 2.5 arc seconds), but
// it costs little to keep the same time scale as the ephemerides.
double sh_sun_delta_t(double dYear) {
    if (dYear < 1986.0) { // [EM] 1961..1986
        const double dT = dYear - 1975.0;
        return 45.45 + dT * (1.067 - dT * (1.0 / 260.0 + dT * (1.0 / 718.0)));
    }
    if (dYear < 2005.0) { // [EM] 1986..2005
        const double dT = dYear - 2000.0;
        return 63.86 +
               dT * (0.3345 +
                     dT * (-0.060374 + dT * (0.0017275 + dT * (0.000651814 + dT * 0.00002373599))));
    }
    if (dYear < 2050.0) { // [EM] 2005..2050
        const double dT = dYear - 2000.0;
        return 62.92 + dT * (0.32217 + dT * 0.005589);
    }
    const double dU = (dYear - 1820.0) * 0.01; // [EM] 2050..2150
    return -20.0 + 32.0 * dU * dU - 0.5628 * (2150.0 - dYear);
}

// The sun as seen from a longitude at one instant: its direction in the
// frame of the local meridian (hour angle and declination), as the
// components of a unit vector.
struct SunSky {
    double dSinDec;     // sin(declination)
    double dCosDecCosH; // cos(declination) cos(hour angle)
    double dCosDecSinH; // cos(declination) sin(hour angle)
};

// The sine and cosine of the mean obliquity at J2000.0, 23 deg 26' 21.448"
// [AA] (22.2). The obliquity of date differs from it by less than 0.02
// degree over 1970..2099, so its sine and cosine follow to 1e-8 from the
// first terms of their Taylor series about it.
constexpr double SIN_OBLIQUITY_J2000 = 0.397777155931914;
constexpr double COS_OBLIQUITY_J2000 = 0.917482062069182;

// dDaysUt: days of UT from J2000.0.
void sh_sun_sky(double dDaysUt, double dLongitude, SunSky *pstSky) {
    // Julian centuries of TT from J2000.0: [AA] (22.1), with Delta T [EM].
    const double dYear = 2000.0 + dDaysUt * (1.0 / 365.25);
    const double dDaysTt = dDaysUt + sh_sun_delta_t(dYear) * (1.0 / DAY_S);
    const double dT = dDaysTt * (1.0 / JULIAN_CENTURY_DAYS);

    // Geometric mean longitude of the sun, [AA] (25.2).
    const double dL0 = 280.46646 + dT * (36000.76983 + dT * 0.0003032);
    // Mean anomaly of the sun, [AA] (25.3).
    const double dM = 357.52911 + dT * (35999.05029 - dT * 0.0001537);
    double dSinM, dCosM;
    sh_sun_sincos(dM, &dSinM, &dCosM);
    // Equation of the centre, [AA] chapter 25, with sin 2M and sin 3M from
    // sin M and cos M.
    const double dSin2M = 2.0 * dSinM * dCosM;
    const double dSin3M = dSinM * (3.0 - 4.0 * dSinM * dSinM);
    const double dC = (1.914602 - dT * (0.004817 + dT * 0.000014)) * dSinM +
                      (0.019993 - dT * 0.000101) * dSin2M + 0.000289 * dSin3M;
    // Longitude of the Moon's ascending node, [AA] chapter 25.
    double dSinOmega, dCosOmega;
    sh_sun_sincos(125.04 - 1934.136 * dT, &dSinOmega, &dCosOmega);
    // Apparent longitude, [AA] chapter 25: the true longitude L0 + C less
    // the aberration (0.00569 degree) and with the leading term of the
    // nutation in longitude (-17.20" sin Omega, [AA] chapter 22).
    const double dNutationLon = -0.00478 * dSinOmega;
    const double dLambda = dL0 + dC - 0.00569 + dNutationLon;
    // Obliquity: the mean one, [AA] (22.2), and the leading term of the
    // nutation in obliquity (+9.20" cos Omega), [AA] (25.8), as a departure
    // from its value at J2000.0.
    const double dEpsilonOffset =
        (-dT * (0.0130041667 + dT * (0.0000001639 - dT * 0.0000005036)) + 0.00256 * dCosOmega) *
        RAD;
    const double dSinEpsilon = SIN_OBLIQUITY_J2000 + COS_OBLIQUITY_J2000 * dEpsilonOffset -
                               0.5 * SIN_OBLIQUITY_J2000 * dEpsilonOffset * dEpsilonOffset;
    const double dCosEpsilon = COS_OBLIQUITY_J2000 - SIN_OBLIQUITY_J2000 * dEpsilonOffset -
                               0.5 * COS_OBLIQUITY_J2000 * dEpsilonOffset * dEpsilonOffset;

    // Mean sidereal time at Greenwich, [AA] (12.4), with the equation of the
    // equinoxes (the nutation in longitude times cos(obliquity), [AA]
    // chapter 12) for the apparent one; then local, east longitudes
    // positive. Of the 360.98564736629 degrees a day, the whole turns are
    // taken off first, for precision.
    const double dTu = dDaysUt * (1.0 / JULIAN_CENTURY_DAYS);
    const double dWholeDays = static_cast<double>(sh_sun_nearest(dDaysUt));
    const double dTheta = 280.46061837 + 360.0 * (dDaysUt - dWholeDays) + 0.98564736629 * dDaysUt +
                          dTu * dTu * (0.000387933 - dTu * (1.0 / 38710000.0)) +
                          dNutationLon * dCosEpsilon + dLongitude;

    // Ecliptic longitude to right ascension and declination, [AA] (13.3)
    // and (13.4) with zero latitude, kept as the components of the unit
    // vector: cos(d) cos(a) = cos(l), cos(d) sin(a) = cos(e) sin(l),
    // sin(d) = sin(e) sin(l).
    double dSinLambda, dCosLambda;
    sh_sun_sincos(dLambda, &dSinLambda, &dCosLambda);
    const double dX = dCosLambda;
    const double dY = dCosEpsilon * dSinLambda;
    // The hour angle H = theta - alpha as cos(d) cos(H) and cos(d) sin(H).
    double dSinTheta, dCosTheta;
    sh_sun_sincos(dTheta, &dSinTheta, &dCosTheta);
    pstSky->dSinDec = dSinEpsilon * dSinLambda;
    pstSky->dCosDecCosH = dCosTheta * dX + dSinTheta * dY;
    pstSky->dCosDecSinH = dSinTheta * dX - dCosTheta * dY;
}

double sh_sun_days_ut(double dPosixSeconds) {
    return (dPosixSeconds - J2000_POSIX_S) * (1.0 / DAY_S);
}

// A place on the Earth, with what every elevation needs of it.
struct SunObserver {
    double dSinLat;
    double dCosLat;
    double dLongitude;
};

void sh_sun_observer(double dLatitude, double dLongitude, SunObserver *pstObs) {
    sh_sun_sincos(dLatitude, &pstObs->dSinLat, &pstObs->dCosLat);
    pstObs->dLongitude = dLongitude;
}

// Elevation from the sky components: [AA] (13.6) for the geocentric
// elevation, less the parallax in elevation, the horizontal parallax times
// cos(elevation), [AA] chapter 40.
double sh_sun_topocentric(const SunObserver &stObs, const SunSky &stSky) {
    double dSinH = stObs.dSinLat * stSky.dSinDec + stObs.dCosLat * stSky.dCosDecCosH;
    dSinH = dSinH > 1.0 ? 1.0 : (dSinH < -1.0 ? -1.0 : dSinH);
    const double dCosH = std::sqrt(1.0 - dSinH * dSinH);
    return std::asin(dSinH) * DEG - PARALLAX_DEG * dCosH;
}

// What the search for a crossing needs at one instant.
struct SunPoint {
    SunSky stSky;
    double dCosDec;
    double dHourAngle; // degrees, [-180, 180]
};

void sh_sun_point(const SunObserver &stObs, double dPosixSeconds, SunPoint *pstPoint) {
    sh_sun_sky(sh_sun_days_ut(dPosixSeconds), stObs.dLongitude, &pstPoint->stSky);
    const SunSky &stSky = pstPoint->stSky;
    pstPoint->dCosDec =
        std::sqrt(stSky.dCosDecCosH * stSky.dCosDecCosH + stSky.dCosDecSinH * stSky.dCosDecSinH);
    pstPoint->dHourAngle = std::atan2(stSky.dCosDecSinH, stSky.dCosDecCosH) * DEG;
}

// cos H0 of [AA] (15.1): the cosine of the hour angle at which the sun, at
// the declination of the point, stands at the geocentric elevation whose
// sine is dSinTarget. At a pole, where no hour angle decides, 2.
double sh_sun_cos_h0(const SunObserver &stObs, double dSinTarget, const SunPoint &stPoint) {
    const double dDenominator = stObs.dCosLat * stPoint.dCosDec;
    if (!(std::fabs(dDenominator) > 1e-12))
        return 2.0;
    return (dSinTarget - stObs.dSinLat * stPoint.stSky.dSinDec) / dDenominator;
}

// Where the hour-angle refinement is used: the sun well clear of grazing
// the altitude (|cos H0| below this at the transit) away from the poles.
// Elsewhere the bracketed search decides (see sh_sun_crossing).
constexpr double SAFE_COS_H0 = 0.9;
constexpr double SAFE_LATITUDE = 80.0;
constexpr int HOUR_ANGLE_STEPS = 4;
// A step of the hour-angle refinement below this (seconds) ends it: what
// the next would add is below a few parts in 10^5 of it.
constexpr double HOUR_ANGLE_DONE_S = 600.0;
// The same for the transit, whose last step may have been taken at the
// mean rate: what it leaves is below 3e-4 of it.
constexpr double TRANSIT_DONE_S = 100.0;
constexpr int BRACKET_STEPS = 60;
constexpr double BRACKET_DONE_S = 0.05;

// Topocentric elevation at the point.
double sh_sun_point_elevation(const SunObserver &stObs, const SunPoint &stPoint) {
    return sh_sun_topocentric(stObs, stPoint.stSky);
}

// The crossing between the transit (offset 0) and the instant dFarS seconds
// from it (-12 h or +12 h), where the sun stands on the other side of the
// altitude: a Newton iteration on the elevation, kept inside the bracket
// that the signs narrow, halving it whenever Newton would leave it or would
// not shrink it enough. Answers the offset from the transit.
double sh_sun_bracketed(const SunObserver &stObs, double dTransit, double dAltitude, double dFarS,
                        double dFirstGuessS) {
    // The bracket: dLo where the sun is below, dHi where it is above.
    double dLo = dFarS;
    double dHi = 0.0;
    double dX = dFirstGuessS;
    if (!(dX > std::fmin(dLo, dHi) && dX < std::fmax(dLo, dHi)))
        dX = 0.5 * (dLo + dHi);
    double dStepBefore = std::fabs(dLo - dHi);
    for (int i = 0; i < BRACKET_STEPS; ++i) {
        SunPoint stPoint;
        sh_sun_point(stObs, dTransit + dX, &stPoint);
        const double dElevation = sh_sun_point_elevation(stObs, stPoint);
        const double dF = dElevation - dAltitude;
        if (dF < 0.0)
            dLo = dX;
        else
            dHi = dX;
        if (std::fabs(dHi - dLo) < BRACKET_DONE_S)
            break;
        // d(elevation)/dt from (13.6): -cos(lat) cos(d) sin(H) dH/dt / cos(h).
        double dSinAlt, dCosAlt, dSinH, dCosH;
        sh_sun_sincos(dElevation, &dSinAlt, &dCosAlt);
        sh_sun_sincos(stPoint.dHourAngle, &dSinH, &dCosH);
        const double dSlope = -stObs.dCosLat * stPoint.dCosDec * dSinH * HOUR_ANGLE_DEG_PER_S /
                              (dCosAlt > 1e-9 ? dCosAlt : 1e-9);
        double dNext = dSlope != 0.0 ? dX - dF / dSlope : dX;
        const double dStep = std::fabs(dNext - dX);
        if (!(dNext > std::fmin(dLo, dHi) && dNext < std::fmax(dLo, dHi)) ||
            dStep > 0.5 * dStepBefore) {
            dNext = 0.5 * (dLo + dHi);
            dStepBefore = std::fabs(dHi - dLo);
        } else {
            dStepBefore = dStep;
            if (dStep < BRACKET_DONE_S) {
                dX = dNext;
                break;
            }
        }
        dX = dNext;
    }
    return dX;
}

// The crossing by the hour angle, where the sun clearly rises and sets:
// from the transit, the hour angle H0 of [AA] (15.1) at the transit's
// declination gives the crossing to minutes; each refinement takes the
// declination and hour angle at the estimate, as [AA] chapter 15 corrects
// m1 and m2, and solves for the instant at which the hour angle meets H0,
// both changing linearly at the rates seen since the point before (H0 with
// the declination: dH0/dd = (tan(lat) - tan(d) cos H0) / sin H0, from
// (15.1)). True and the offset from the transit in *pdOffset, or false when
// the estimate leaves the range of (15.1).
bool sh_sun_by_hour_angle(const SunObserver &stObs, double dTransit, double dSinTarget,
                          double dSign, const SunPoint &stAtTransit, double *pdOffset) {
    double dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stAtTransit);
    double dOffset = dSign * std::acos(dCosH0) * DEG / HOUR_ANGLE_DEG_PER_S;
    double dBefore = 0.0;
    double dSinDecBefore = stAtTransit.stSky.dSinDec;
    double dHourAngleBefore = stAtTransit.dHourAngle;
    for (int i = 0; i < HOUR_ANGLE_STEPS; ++i) {
        SunPoint stPoint;
        sh_sun_point(stObs, dTransit + dOffset, &stPoint);
        dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stPoint);
        if (!(std::fabs(dCosH0) < 1.0))
            return false;
        const double dH0 = std::acos(dCosH0) * DEG;
        const double dElapsed = dOffset - dBefore;
        // The rates since the point before: of the hour angle (degrees a
        // second) and of the declination (radians a second; the change of
        // its sine over its cosine, which the sun's tenth of a degree in a
        // quarter day keeps to a part in a thousand, of a correction that
        // is itself small).
        const double dHourAngleRate =
            sh_sun_deg_180(stPoint.dHourAngle - dHourAngleBefore) / dElapsed;
        const double dDecRate =
            (stPoint.stSky.dSinDec - dSinDecBefore) / stPoint.dCosDec / dElapsed;
        const double dSinH0 = std::sqrt(1.0 - dCosH0 * dCosH0);
        const double dTanDec = stPoint.stSky.dSinDec / stPoint.dCosDec;
        const double dH0PerDec = (stObs.dSinLat / stObs.dCosLat - dTanDec * dCosH0) / dSinH0 * DEG;
        const double dStep = sh_sun_deg_180(dSign * dH0 - stPoint.dHourAngle) /
                             (dHourAngleRate - dSign * dH0PerDec * dDecRate);
        dBefore = dOffset;
        dSinDecBefore = stPoint.stSky.dSinDec;
        dHourAngleBefore = stPoint.dHourAngle;
        dOffset += dStep;
        if (!(dSign * dOffset > 0.0 && dSign * dOffset < HALF_DAY_S))
            return false;
        if (std::fabs(dStep) < HOUR_ANGLE_DONE_S) {
            *pdOffset = dOffset;
            return true;
        }
    }
    return false;
}

int64_t sh_sun_round(double dSeconds) {
    return static_cast<int64_t>(std::floor(dSeconds + 0.5));
}

} // namespace

double sh_sun_elevation(double dLatitude, double dLongitude, int64_t llUtcMs) {
    if (!std::isfinite(dLatitude) || !std::isfinite(dLongitude) || std::fabs(dLatitude) > 90.0)
        return NAN;
    // Whole seconds and the milliseconds apart, so that the division below
    // keeps every millisecond of a 64-bit count.
    const int64_t llSeconds = sh_sun_clamp_seconds(llUtcMs / 1000);
    const double dSeconds =
        static_cast<double>(llSeconds) + static_cast<double>(llUtcMs % 1000) / 1000.0;
    SunObserver stObs;
    sh_sun_observer(dLatitude, sh_sun_longitude(dLongitude), &stObs);
    SunSky stSky;
    sh_sun_sky(sh_sun_days_ut(dSeconds), stObs.dLongitude, &stSky);
    return sh_sun_topocentric(stObs, stSky);
}

int64_t sh_sun_transit(double dLongitude, int64_t llUtcNear) {
    if (!std::isfinite(dLongitude))
        dLongitude = 0.0;
    dLongitude = sh_sun_longitude(dLongitude);
    // Hour angle 0, [AA] chapter 15: step back by the hour angle at the
    // estimate, at the sun's mean rate, then at the rate seen over that
    // step. The mean rate differs from the true one by a few parts in ten
    // thousand, so each step leaves at most that much of the one before.
    const double dNear = static_cast<double>(sh_sun_clamp_seconds(llUtcNear));
    double dOffset = 0.0;
    double dRate = HOUR_ANGLE_DEG_PER_S;
    double dHourAngleBefore = 0.0;
    double dStepBefore = 0.0;
    for (int i = 0; i < HOUR_ANGLE_STEPS; ++i) {
        SunSky stSky;
        sh_sun_sky(sh_sun_days_ut(dNear + dOffset), dLongitude, &stSky);
        const double dHourAngle = std::atan2(stSky.dCosDecSinH, stSky.dCosDecCosH) * DEG;
        if (i > 0 && std::fabs(dStepBefore) > 1.0)
            dRate = sh_sun_deg_180(dHourAngle - dHourAngleBefore) / dStepBefore;
        if (!(dRate > 0.9 * HOUR_ANGLE_DEG_PER_S && dRate < 1.1 * HOUR_ANGLE_DEG_PER_S))
            dRate = HOUR_ANGLE_DEG_PER_S;
        const double dStep = -dHourAngle / dRate;
        dOffset += dStep;
        if (std::fabs(dStep) < TRANSIT_DONE_S)
            break;
        dHourAngleBefore = dHourAngle;
        dStepBefore = dStep;
    }
    return sh_sun_round(dNear + dOffset);
}

bool sh_sun_crossing(double dLatitude, double dLongitude, double dAltitude, int64_t llTransit,
                     bool bRising, int64_t *pllUtc, bool *pbAbove) {
    if (pllUtc == nullptr || pbAbove == nullptr || !std::isfinite(dLatitude) ||
        !std::isfinite(dLongitude) || !std::isfinite(dAltitude) || std::fabs(dLatitude) > 90.0) {
        if (pbAbove != nullptr)
            *pbAbove = false;
        return false;
    }
    // Beyond the zenith or the nadir the answer is the same as at them:
    // never reached, or never left.
    dAltitude = std::fmax(-90.0, std::fmin(90.0, dAltitude));
    SunObserver stObs;
    sh_sun_observer(dLatitude, sh_sun_longitude(dLongitude), &stObs);
    const double dTransit = static_cast<double>(sh_sun_clamp_seconds(llTransit));
    const double dSign = bRising ? -1.0 : 1.0;

    SunPoint stAtTransit;
    sh_sun_point(stObs, dTransit, &stAtTransit);
    // The geocentric elevation at which the topocentric one is dAltitude:
    // the parallax lowers the sun by the horizontal parallax times cos(h),
    // [AA] chapter 40.
    double dSinTarget, dCosAltitude;
    sh_sun_sincos(dAltitude, &dSinTarget, &dCosAltitude);
    sh_sun_sincos(dAltitude + PARALLAX_DEG * dCosAltitude, &dSinTarget, &dCosAltitude);

    const double dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stAtTransit);
    double dOffset = 0.0;
    if (std::fabs(dLatitude) <= SAFE_LATITUDE && std::fabs(dCosH0) < SAFE_COS_H0 &&
        sh_sun_by_hour_angle(stObs, dTransit, dSinTarget, dSign, stAtTransit, &dOffset)) {
        *pllUtc = sh_sun_round(dTransit + dOffset);
        return true;
    }

    // Near polar day or night (or at a pole): whether the sun crosses is
    // decided by its elevation at the transit and 12 hours away, and the
    // crossing is searched for between them.
    const double dFar = dSign * HALF_DAY_S;
    SunPoint stFar;
    sh_sun_point(stObs, dTransit + dFar, &stFar);
    if (sh_sun_point_elevation(stObs, stAtTransit) < dAltitude) {
        *pbAbove = false;
        return false;
    }
    if (sh_sun_point_elevation(stObs, stFar) >= dAltitude) {
        *pbAbove = true;
        return false;
    }
    double dGuess = 0.5 * dFar;
    if (std::fabs(dCosH0) < 1.0)
        dGuess = dSign * std::acos(dCosH0) * DEG / HOUR_ANGLE_DEG_PER_S;
    dOffset = sh_sun_bracketed(stObs, dTransit, dAltitude, dFar, dGuess);
    *pllUtc = sh_sun_round(dTransit + dOffset);
    return true;
}
