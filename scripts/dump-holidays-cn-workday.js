#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Dumps the mainland China working days 2022..2026 (the years its data covers)
// as the npm package cn-workday models them, an independent oracle for
// data/holidays-cn.txt:
//
//   cd SCRATCH && npm install cn-workday@1.0.14
//   node REPO/scripts/dump-holidays-cn-workday.js > REPO/tests/data/holidays-cn-workday.txt
//
// Compact form: only the days the library takes out of the plain week. A line
// is "YYYY-MM-DD off -" for a Monday..Friday it makes a day off, or
// "YYYY-MM-DD work -" for a Saturday or Sunday it makes a working day; the
// library tells no holiday names, hence "-". Every day not listed is a
// working day when it is Monday..Friday and a rest day otherwise.
'use strict';

// The library turns a date string into a Date and reads it back in local
// time: UTC keeps both readings on the same calendar day.
process.env.TZ = 'UTC';

const fs = require('fs');
const path = require('path');

const NAME = 'cn-workday';
const VERSION = '1.0.14';
const FIRST = 2022;
const LAST = 2026;

const dir = path.join(process.cwd(), 'node_modules', NAME);
const pkg = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
if (pkg.version !== VERSION)
    throw new Error(`${NAME} ${pkg.version} is installed, the dump is of ${VERSION}`);
const lib = require(path.join(dir, pkg.main));

const lines = [];
for (let ms = Date.UTC(FIRST, 0, 1); ms <= Date.UTC(LAST, 11, 31); ms += 86400000) {
    const date = new Date(ms).toISOString().slice(0, 10);
    const weekday = new Date(ms).getUTCDay(); // 0 Sunday .. 6 Saturday
    const plainWork = weekday >= 1 && weekday <= 5;
    const work = lib.isWorkday(date);
    if (typeof work !== 'boolean')
        throw new Error(`no answer for ${date}`);
    if (work !== plainWork)
        lines.push(`${date} ${work ? 'work' : 'off'} -`);
}
process.stdout.write(lines.join('\n') + '\n');
