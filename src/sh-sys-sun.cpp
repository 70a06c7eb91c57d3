// SPDX-License-Identifier: MIT
// The sun's position and its daily events, from closed formulas: no
// tables, no allocation, only the C library's libm.
//
// Sources, as cited beside each formula:
//   [AA]   J. Meeus, Astronomical Algorithms, 2nd ed. (Willmann-Bell, 1998).
//   [EM]   F. Espenak and J. Meeus, Five Millennium Canon of Solar Eclipses,
//          NASA/TP-2006-214141 (2006), section 2.6: Delta T polynomials.
//
// The solar coordinates are those of [AA] chapter 25 of lower accuracy (the
// equation of the centre on the mean elements), made apparent with the
// leading terms of nutation and aberration; the sidereal time is [AA]
// chapter 12's; the place on the sky turns into the local hour angle and
// the elevation by [AA] chapter 13, and the sun's parallax of [AA] chapter
// 40 makes it the elevation a sea-level observer sees. Rising and setting
// start from the hour-angle formula of [AA] chapter 15 and refine it with
// the position at the estimate, as that chapter does.
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

int64_t sh_sun_clamp_seconds(int64_t llSeconds) {
    return llSeconds < -TIME_LIMIT_S ? -TIME_LIMIT_S
                                     : (llSeconds > TIME_LIMIT_S ? TIME_LIMIT_S : llSeconds);
}

// An angle in degrees brought to [0, 360).
double sh_sun_deg_360(double dDegrees) {
    return dDegrees - 360.0 * std::floor(dDegrees / 360.0);
}

// An angle in degrees brought to [-180, 180).
double sh_sun_deg_180(double dDegrees) {
    return dDegrees - 360.0 * std::floor((dDegrees + 180.0) / 360.0);
}

// Delta T = TT - UT in seconds for a decimal year [EM]. Its effect on the
// sun's place is small (a minute of Delta T moves it 2.5 arc seconds), but
// it costs little to keep the same time scale as the ephemerides.
double sh_sun_delta_t(double dYear) {
    if (dYear < 1986.0) { // [EM] 1961..1986
        const double dT = dYear - 1975.0;
        return 45.45 + dT * (1.067 - dT * (1.0 / 260.0 + dT / 718.0));
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
    const double dU = (dYear - 1820.0) / 100.0; // [EM] 2050..2150
    return -20.0 + 32.0 * dU * dU - 0.5628 * (2150.0 - dYear);
}

// The sun as seen from a longitude at one instant: its direction in the
// frame of the local meridian (hour angle and declination), as components
// of a unit vector, and its horizontal parallax.
struct SunSky {
    double dSinDec;     // sin(declination)
    double dCosDecCosH; // cos(declination) cos(hour angle)
    double dCosDecSinH; // cos(declination) sin(hour angle)
    double dParallax;   // equatorial horizontal parallax, degrees
};

// dDaysUt: days of UT from J2000.0.
void sh_sun_sky(double dDaysUt, double dLongitude, SunSky *pstSky) {
    // Julian centuries of TT from J2000.0: [AA] (22.1), with Delta T [EM].
    const double dYear = 2000.0 + dDaysUt / 365.25;
    const double dDaysTt = dDaysUt + sh_sun_delta_t(dYear) / DAY_S;
    const double dT = dDaysTt / JULIAN_CENTURY_DAYS;

    // Geometric mean longitude of the sun, [AA] (25.2).
    const double dL0 = 280.46646 + dT * (36000.76983 + dT * 0.0003032);
    // Mean anomaly of the sun, [AA] (25.3).
    const double dM = (357.52911 + dT * (35999.05029 - dT * 0.0001537)) * RAD;
    const double dSinM = std::sin(dM);
    const double dCosM = std::cos(dM);
    // Eccentricity of the Earth's orbit, [AA] (25.4).
    const double dE = 0.016708634 - dT * (0.000042037 + dT * 0.0000001267);
    // Equation of the centre, [AA] chapter 25, with sin 2M and sin 3M from
    // sin M and cos M.
    const double dSin2M = 2.0 * dSinM * dCosM;
    const double dSin3M = dSinM * (3.0 - 4.0 * dSinM * dSinM);
    const double dC = (1.914602 - dT * (0.004817 + dT * 0.000014)) * dSinM +
                      (0.019993 - dT * 0.000101) * dSin2M + 0.000289 * dSin3M;
    // True anomaly and radius vector in AU, [AA] (25.5).
    const double dNu = dM + dC * RAD;
    const double dR = 1.000001018 * (1.0 - dE * dE) / (1.0 + dE * std::cos(dNu));
    // Longitude of the Moon's ascending node, [AA] chapter 25.
    const double dOmega = (125.04 - 1934.136 * dT) * RAD;
    const double dSinOmega = std::sin(dOmega);
    const double dCosOmega = std::cos(dOmega);
    // Apparent longitude: the true longitude L0 + C with the aberration
    // (-20.4898" / R, [AA] (25.10)) and the nutation in longitude's leading
    // term (-17.20" sin Omega, [AA] chapter 22).
    const double dNutationLon = -0.00478 * dSinOmega;
    const double dLambda = sh_sun_deg_360(dL0 + dC - 0.0056916 / dR + dNutationLon) * RAD;
    // Mean obliquity of the ecliptic, [AA] (22.2), and the true one with
    // the nutation in obliquity's leading term (+9.20" cos Omega), [AA]
    // chapter 25.
    const double dEpsilon =
        (23.4392911111 - dT * (0.0130041667 + dT * (0.0000001639 - dT * 0.0000005036)) +
         0.00256 * dCosOmega) *
        RAD;
    const double dSinEpsilon = std::sin(dEpsilon);
    const double dCosEpsilon = std::cos(dEpsilon);

    // Apparent sidereal time at Greenwich, [AA] (12.4), plus the equation of
    // the equinoxes (nutation in longitude times cos(obliquity), [AA]
    // chapter 12); then local, east longitudes positive. 360.98564736629
    // degrees a day are split into whole turns and the rest for precision.
    const double dTu = dDaysUt / JULIAN_CENTURY_DAYS;
    const double dTheta0 = 280.46061837 + 360.0 * (dDaysUt - std::floor(dDaysUt)) +
                           0.98564736629 * dDaysUt + dTu * dTu * (0.000387933 - dTu / 38710000.0);
    const double dTheta = sh_sun_deg_360(dTheta0 + dNutationLon * dCosEpsilon + dLongitude) * RAD;

    // Ecliptic longitude to right ascension and declination, [AA] (13.3)
    // and (13.4) with zero latitude, kept as the components of the unit
    // vector: cos(d) cos(a), cos(d) sin(a), sin(d).
    const double dSinLambda = std::sin(dLambda);
    const double dCosLambda = std::cos(dLambda);
    const double dX = dCosLambda;
    const double dY = dCosEpsilon * dSinLambda;
    // The hour angle H = theta - alpha as cos(d) cos(H) and cos(d) sin(H).
    const double dSinTheta = std::sin(dTheta);
    const double dCosTheta = std::cos(dTheta);
    pstSky->dSinDec = dSinEpsilon * dSinLambda;
    pstSky->dCosDecCosH = dCosTheta * dX + dSinTheta * dY;
    pstSky->dCosDecSinH = dSinTheta * dX - dCosTheta * dY;
    // Equatorial horizontal parallax, [AA] chapter 40: 8.794" / R.
    pstSky->dParallax = (8.794 / 3600.0) / dR;
}

double sh_sun_days_ut(double dPosixSeconds) {
    return (dPosixSeconds - J2000_POSIX_S) / DAY_S;
}

// A place on the Earth, with what every elevation needs of it.
struct SunObserver {
    double dSinLat;
    double dCosLat;
    double dLongitude;
};

void sh_sun_observer(double dLatitude, double dLongitude, SunObserver *pstObs) {
    pstObs->dSinLat = std::sin(dLatitude * RAD);
    pstObs->dCosLat = std::cos(dLatitude * RAD);
    pstObs->dLongitude = dLongitude;
}

// Elevation from the sky components: [AA] (13.6) for the geocentric
// elevation, less the parallax in elevation, the horizontal parallax times
// cos(elevation), [AA] chapter 40.
double sh_sun_topocentric(const SunObserver &stObs, const SunSky &stSky) {
    double dSinH = stObs.dSinLat * stSky.dSinDec + stObs.dCosLat * stSky.dCosDecCosH;
    dSinH = dSinH > 1.0 ? 1.0 : (dSinH < -1.0 ? -1.0 : dSinH);
    const double dCosH = std::sqrt(1.0 - dSinH * dSinH);
    return std::asin(dSinH) * DEG - stSky.dParallax * dCosH;
}

// What the search for a crossing needs at one instant.
struct SunPoint {
    double dSinDec;
    double dCosDec;
    double dHourAngle; // degrees, [-180, 180)
    double dAltitude;  // topocentric, degrees
    double dParallax;
};

void sh_sun_point(const SunObserver &stObs, double dPosixSeconds, SunPoint *pstPoint) {
    SunSky stSky;
    sh_sun_sky(sh_sun_days_ut(dPosixSeconds), stObs.dLongitude, &stSky);
    pstPoint->dSinDec = stSky.dSinDec;
    pstPoint->dCosDec =
        std::sqrt(stSky.dCosDecCosH * stSky.dCosDecCosH + stSky.dCosDecSinH * stSky.dCosDecSinH);
    pstPoint->dHourAngle = std::atan2(stSky.dCosDecSinH, stSky.dCosDecCosH) * DEG;
    pstPoint->dAltitude = sh_sun_topocentric(stObs, stSky);
    pstPoint->dParallax = stSky.dParallax;
}

// cos H0 of [AA] (15.1): the cosine of the hour angle at which a body of
// that declination stands at the geocentric elevation whose sine is
// dSinTarget.
double sh_sun_cos_h0(const SunObserver &stObs, double dSinTarget, const SunPoint &stPoint) {
    return (dSinTarget - stObs.dSinLat * stPoint.dSinDec) / (stObs.dCosLat * stPoint.dCosDec);
}

// Beyond these, the hour-angle refinement is not trusted to converge fast
// and the bracketed search decides (see sh_sun_crossing).
constexpr double SAFE_COS_H0 = 0.9;
constexpr double SAFE_LATITUDE = 80.0;
constexpr int HOUR_ANGLE_STEPS = 5;
// A step of the hour-angle refinement below this (seconds) ends it: the
// next would be at most a few hundredths of it.
constexpr double HOUR_ANGLE_DONE_S = 20.0;
constexpr int BRACKET_STEPS = 60;
constexpr double BRACKET_DONE_S = 0.05;

// The crossing between the transit (offset 0) and the instant dFarS seconds
// from it (-12 h or +12 h), where the sun stands on the other side of the
// altitude: a Newton iteration on the elevation, kept inside the bracket
// that the signs narrow, halving it whenever Newton would leave it or would
// not shrink it enough. Answers the offset from the transit.
double sh_sun_bracketed(const SunObserver &stObs, double dTransit, double dAltitude, double dFarS,
                        double dFirstGuessS) {
    // The rising (or setting) bracket: lo where the sun is below, hi above.
    double dLo = dFarS;
    double dHi = 0.0;
    double dX = dFirstGuessS;
    if (!(dX > std::fmin(dLo, dHi) && dX < std::fmax(dLo, dHi)))
        dX = 0.5 * (dLo + dHi);
    double dStepBefore = std::fabs(dLo - dHi);
    for (int i = 0; i < BRACKET_STEPS; ++i) {
        SunPoint stPoint;
        sh_sun_point(stObs, dTransit + dX, &stPoint);
        const double dF = stPoint.dAltitude - dAltitude;
        if (dF < 0.0)
            dLo = dX;
        else
            dHi = dX;
        if (std::fabs(dHi - dLo) < BRACKET_DONE_S)
            break;
        // d(elevation)/dt from (13.6): -cos(lat) cos(d) sin(H) dH/dt / cos(h).
        const double dCosAlt = std::cos(stPoint.dAltitude * RAD);
        const double dSlope = -stObs.dCosLat * stPoint.dCosDec *
                              std::sin(stPoint.dHourAngle * RAD) * HOUR_ANGLE_DEG_PER_S /
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

int64_t sh_sun_round(double dSeconds) {
    return static_cast<int64_t>(std::floor(dSeconds + 0.5));
}

} // namespace

double sh_sun_elevation(double dLatitude, double dLongitude, int64_t llUtcMs) {
    if (!std::isfinite(dLatitude) || !std::isfinite(dLongitude))
        return NAN;
    // Whole seconds and the milliseconds apart, so that the division below
    // keeps every millisecond of a 64-bit count.
    const int64_t llSeconds = sh_sun_clamp_seconds(llUtcMs / 1000);
    const double dSeconds =
        static_cast<double>(llSeconds) + static_cast<double>(llUtcMs % 1000) / 1000.0;
    SunObserver stObs;
    sh_sun_observer(dLatitude, dLongitude, &stObs);
    SunSky stSky;
    sh_sun_sky(sh_sun_days_ut(dSeconds), dLongitude, &stSky);
    return sh_sun_topocentric(stObs, stSky);
}

int64_t sh_sun_transit(double dLongitude, int64_t llUtcNear) {
    if (!std::isfinite(dLongitude))
        dLongitude = 0.0;
    dLongitude = sh_sun_deg_180(dLongitude);
    // Hour angle 0, [AA] chapter 15: step back by the hour angle at the
    // estimate, at the sun's mean rate; the rate differs from the true one
    // by a few parts in ten thousand, so each step leaves that much of the
    // one before.
    const double dNear = static_cast<double>(sh_sun_clamp_seconds(llUtcNear));
    double dOffset = 0.0;
    for (int i = 0; i < HOUR_ANGLE_STEPS; ++i) {
        SunSky stSky;
        sh_sun_sky(sh_sun_days_ut(dNear + dOffset), dLongitude, &stSky);
        const double dHourAngle = std::atan2(stSky.dCosDecSinH, stSky.dCosDecCosH) * DEG;
        const double dStep = -dHourAngle / HOUR_ANGLE_DEG_PER_S;
        dOffset += dStep;
        if (std::fabs(dStep) < HOUR_ANGLE_DONE_S * 3.0)
            break;
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
    SunObserver stObs;
    sh_sun_observer(dLatitude, sh_sun_deg_180(dLongitude), &stObs);
    const double dTransit = static_cast<double>(sh_sun_clamp_seconds(llTransit));
    const double dSign = bRising ? -1.0 : 1.0;

    SunPoint stAtTransit;
    sh_sun_point(stObs, dTransit, &stAtTransit);
    // The geocentric elevation at which the topocentric one is dAltitude:
    // the parallax lowers the sun by dParallax cos(h), [AA] chapter 40.
    const double dSinTarget =
        std::sin((dAltitude + stAtTransit.dParallax * std::cos(dAltitude * RAD)) * RAD);

    // Where the sun clearly rises and sets that day, the hour angle H0 of
    // [AA] (15.1) from the declination at the transit gives the crossing
    // to minutes; each refinement takes the declination and the hour angle
    // at the estimate, as [AA] chapter 15 corrects m0, m1, m2.
    double dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stAtTransit);
    if (std::fabs(dLatitude) <= SAFE_LATITUDE && std::fabs(dCosH0) < SAFE_COS_H0) {
        double dOffset = dSign * std::acos(dCosH0) * DEG / HOUR_ANGLE_DEG_PER_S;
        for (int i = 0; i < HOUR_ANGLE_STEPS; ++i) {
            SunPoint stPoint;
            sh_sun_point(stObs, dTransit + dOffset, &stPoint);
            dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stPoint);
            if (!(std::fabs(dCosH0) < 1.0))
                break;
            const double dWanted = dSign * std::acos(dCosH0) * DEG;
            const double dStep =
                sh_sun_deg_180(dWanted - stPoint.dHourAngle) / HOUR_ANGLE_DEG_PER_S;
            dOffset += dStep;
            if (std::fabs(dStep) < HOUR_ANGLE_DONE_S && std::fabs(dOffset) < HALF_DAY_S) {
                *pllUtc = sh_sun_round(dTransit + dOffset);
                return true;
            }
        }
    }

    // Near polar day or night (or at a pole): whether the sun crosses is
    // decided by its elevation at the transit and 12 hours away, and the
    // crossing is searched for between them.
    const double dFar = dSign * HALF_DAY_S;
    SunPoint stFar;
    sh_sun_point(stObs, dTransit + dFar, &stFar);
    if (stAtTransit.dAltitude < dAltitude) {
        *pbAbove = false;
        return false;
    }
    if (stFar.dAltitude >= dAltitude) {
        *pbAbove = true;
        return false;
    }
    double dGuess = 0.5 * dFar;
    dCosH0 = sh_sun_cos_h0(stObs, dSinTarget, stAtTransit);
    if (std::fabs(dCosH0) < 1.0)
        dGuess = dSign * std::acos(dCosH0) * DEG / HOUR_ANGLE_DEG_PER_S;
    const double dOffset = sh_sun_bracketed(stObs, dTransit, dAltitude, dFar, dGuess);
    *pllUtc = sh_sun_round(dTransit + dOffset);
    return true;
}
