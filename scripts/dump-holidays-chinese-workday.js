#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Dumps the mainland China holiday schedule 2011..2026 (the years its data
// covers) as the npm package chinese-workday models it, an independent
// oracle for data/holidays-cn.txt:
//
//   cd SCRATCH && npm install chinese-workday@1.16.1
//   node REPO/scripts/dump-holidays-chinese-workday.js > REPO/tests/data/holidays-chinese-workday.txt
//
// Compact form: only the days the library does not treat as the plain week.
// A line is "YYYY-MM-DD off NAME" for a day off the library ties to a holiday
// (weekend days inside a holiday included), or "YYYY-MM-DD work NAME" for a
// Saturday or Sunday it makes a working day; NAME is the library's Chinese
// name ("补春节" and the like for a worked weekend day). Every day not listed
// is a working day when it is Monday..Friday and a rest day otherwise.
'use strict';

const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');

// Loads the named version of an ES module package from node_modules of the current folder (where
// it was installed), through the entry its package.json gives to import, or
// its main entry.
async function importInstalled(name, version) {
    const dir = path.join(process.cwd(), 'node_modules', name);
    const pkg = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
    if (pkg.version !== version)
        throw new Error(`${name} ${pkg.version} is installed, the dump is of ${version}`);
    const dot = pkg.exports && pkg.exports['.'];
    const entry = (dot && (dot.import || dot.default)) || pkg.main;
    return import(pathToFileURL(path.join(dir, typeof entry === 'string' ? entry : entry.default)).href);
}

const FIRST = 2011;
const LAST = 2026;

function isoDate(ms) {
    return new Date(ms).toISOString().slice(0, 10);
}

(async () => {
    // The package is an ES module; its CommonJS entry exports nothing.
    const lib = await importInstalled('chinese-workday', '1.16.1');
    const lines = [];
    const start = Date.UTC(FIRST, 0, 1);
    const end = Date.UTC(LAST, 11, 31);
    for (let ms = start; ms <= end; ms += 86400000) {
        const date = isoDate(ms);
        const weekday = new Date(ms).getUTCDay(); // 0 Sunday .. 6 Saturday
        const plainWork = weekday >= 1 && weekday <= 5;
        const work = lib.isWorkday(date);
        if (work === lib.isHoliday(date))
            throw new Error(`${date} is both or neither a workday and a holiday`);
        // getFestival answers "工作日" or "周末" for a plain day.
        const festival = lib.getFestival(date);
        const name = festival === '工作日' || festival === '周末' ? null : festival;
        if (work === plainWork && name === null)
            continue;
        if (name === null)
            throw new Error(`${date} departs from the plain week without a holiday name`);
        lines.push(`${date} ${work ? 'work' : 'off'} ${name}`);
    }
    process.stdout.write(lines.join('\n') + '\n');
})().catch((err) => {
    console.error(err);
    process.exit(1);
});
