#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Dumps the sun's daily events and elevations from the npm package
// astronomy-engine, a high-precision ephemeris (VSOP87, IAU 2000B nutation,
// aberration, Delta T by Espenak and Meeus), as test data for the plug-in's
// own solar unit (src/sh-sys-sun.cpp):
//
//   (cd /tmp/sun-oracle && npm install astronomy-engine@2.1.19)
//   NODE_PATH=/tmp/sun-oracle/node_modules node scripts/dump-sun-astronomy-engine.js tests/data
//
// (about ten seconds; the output is the same on every run).
// It writes three files into the folder given:
//
//   sun-events-astronomy-engine.txt   places from 65 S to 65 N, days over 1970..2099
//   sun-polar-astronomy-engine.txt    70 and 78 degrees north and south, every day of two years
//   sun-elevation-astronomy-engine.txt elevations at instants spread over 1970..2099
//
// An events line: latitude, longitude (degrees, north and east positive),
// the date, the UTC second of mean solar noon at that longitude (the instant
// the transit is asked near), then the transit (the sun's upper culmination,
// hour angle 0, the first after noon - 12 h), sunrise and sunset (the centre
// at -0.833 degrees), civil dawn and dusk (-6 degrees): the rising ones the
// first in the half day before the transit, the setting ones the first in
// the half day after it. Each instant is in seconds since 1970 UTC with one
// decimal; a half day without the crossing gives "above" or "below", as the
// sun stays above or below that altitude (from its altitude at the transit).
// The observer stands at height 0; no refraction anywhere (geometric
// altitudes of the sun's centre, topocentric).
//
// An elevation line: latitude, longitude, the instant in ms since 1970 UTC,
// the elevation in degrees (topocentric, no refraction).
'use strict';
const fs = require('fs');
const path = require('path');
const A = require('astronomy-engine');

const outDir = process.argv[2];
if (!outDir)
    throw new Error('usage: dump-sun-astronomy-engine.js OUTPUT_FOLDER');

const DAY_MS = 86400000;
const SUNRISE = -0.833;
const CIVIL = -6;

// A small deterministic generator, so that the dump is reproducible.
let seed = 0x2545f491;
function random() {
    seed ^= seed << 13;
    seed >>>= 0;
    seed ^= seed >>> 17;
    seed ^= seed << 5;
    seed >>>= 0;
    return seed / 4294967296;
}

function seconds(time) {
    return (time.date.getTime() / 1000).toFixed(1);
}

function altitude(observer, date) {
    const eq = A.Equator(A.Body.Sun, date, observer, true, true);
    return A.Horizon(date, observer, eq.ra, eq.dec).altitude;
}

function crossing(observer, transit, direction, alt) {
    const start = direction > 0 ? transit.AddDays(-0.5) : transit;
    const found = A.SearchAltitude(A.Body.Sun, observer, direction, start, 0.5, alt);
    if (found)
        return seconds(found);
    return altitude(observer, transit.date) > alt ? 'above' : 'below';
}

function dayLine(lat, lon, utcMidnightMs) {
    const observer = new A.Observer(lat, lon, 0);
    const noonMs = utcMidnightMs + DAY_MS / 2 - Math.round(lon * 240) * 1000;
    const transit =
        A.SearchHourAngle(A.Body.Sun, observer, 0, new Date(noonMs - DAY_MS / 2), +1).time;
    const date = new Date(utcMidnightMs).toISOString().slice(0, 10);
    return [lat, lon, date, noonMs / 1000, seconds(transit),
            crossing(observer, transit, +1, SUNRISE), crossing(observer, transit, -1, SUNRISE),
            crossing(observer, transit, +1, CIVIL), crossing(observer, transit, -1, CIVIL)]
        .join(' ');
}

function utcDay(year, month, day) {
    return Date.UTC(year, month - 1, day);
}

// Places: every 5 degrees of latitude, each at a longitude of its own, and
// towns far from their zone's meridian or near the limits.
const places = [];
for (let lat = -65; lat <= 65; lat += 5)
    places.push([lat, ((lat + 65) * 67) % 360 - 180 + 0.25]);
places.push([39.47, 75.99],    // Kashgar
            [64.15, -21.94],   // Reykjavik
            [-54.8, -68.3],    // Ushuaia
            [-0.18, -78.47],   // Quito
            [39.9, 116.4],     // Beijing
            [43.82, 87.62],    // Urumqi
            [42.88, -8.54],    // Santiago de Compostela
            [-33.87, 151.21],  // Sydney
            [62.0, -179.5],    // near the date line
            [-64.5, 179.75]);

// Days: one drawn from each year and the solstices and equinoxes of every
// fifth year for each place, and every eighth day of 2024.
const events = [];
for (const [lat, lon] of places) {
    const days = new Set();
    for (let year = 1970; year <= 2099; ++year) {
        days.add(utcDay(year, 1, 1) + Math.floor(random() * 365) * DAY_MS);
        if (year % 5 === 0)
            for (const [m, d] of [[3, 20], [6, 21], [9, 22], [12, 21]])
                days.add(utcDay(year, m, d));
    }
    for (let d = 0; d < 366; d += 8)
        days.add(utcDay(2024, 1, 1) + d * DAY_MS);
    for (const day of [...days].sort((a, b) => a - b))
        events.push(dayLine(lat, lon, day));
}
fs.writeFileSync(path.join(outDir, 'sun-events-astronomy-engine.txt'), events.join('\n') + '\n');

// Polar places: every day of 2024 and 2087, where the sun stays up or down
// for days and the edges of those spells.
const polar = [];
for (const lat of [70, 78, -70, -78])
    for (const lon of [18.95, -105.5])
        for (const year of [2024, 2087])
            for (let day = utcDay(year, 1, 1); day < utcDay(year + 1, 1, 1); day += DAY_MS)
                polar.push(dayLine(lat, lon, day));
fs.writeFileSync(path.join(outDir, 'sun-polar-astronomy-engine.txt'), polar.join('\n') + '\n');

// Elevations at random places and instants, and at the places above.
const elevations = [];
const first = utcDay(1970, 1, 1), last = utcDay(2100, 1, 1);
for (let i = 0; i < 6000; ++i) {
    const lat = Math.round((random() * 180 - 90) * 100) / 100;
    const lon = Math.round((random() * 360 - 180) * 100) / 100;
    const ms = first + Math.floor(random() * (last - first));
    elevations.push([lat, lon, ms, altitude(new A.Observer(lat, lon, 0), new Date(ms)).toFixed(6)]
                        .join(' '));
}
for (const [lat, lon] of places)
    for (let i = 0; i < 60; ++i) {
        const ms = first + Math.floor(random() * (last - first));
        elevations.push(
            [lat, lon, ms, altitude(new A.Observer(lat, lon, 0), new Date(ms)).toFixed(6)].join(' '));
    }
fs.writeFileSync(path.join(outDir, 'sun-elevation-astronomy-engine.txt'),
                 elevations.join('\n') + '\n');
