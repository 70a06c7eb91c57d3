#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Dumps the mainland China holiday schedule 2004..2026 as the npm package
// chinese-days models it, an independent oracle for data/holidays-cn.txt:
//
//   cd SCRATCH && npm install chinese-days@1.5.7
//   node REPO/scripts/dump-holidays-chinese-days.js > REPO/tests/data/holidays-chinese-days.txt
//
// Compact form: only the days the library does not treat as the plain week.
// A line is "YYYY-MM-DD off NAME" for a day off the library ties to a holiday
// (weekend days inside a holiday included), or "YYYY-MM-DD work NAME" for a
// Saturday or Sunday it makes a working day; NAME is the library's Chinese
// name of the holiday. Every day not listed is a working day when it is
// Monday..Friday and a rest day otherwise; the script checks that.
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

const FIRST = 2004;
const LAST = 2026;

function isoDate(ms) {
    return new Date(ms).toISOString().slice(0, 10);
}

(async () => {
    const lib = await importInstalled('chinese-days', '1.5.7');
    const days = lib.default || lib;
    const lines = [];
    const start = Date.UTC(FIRST, 0, 1);
    const end = Date.UTC(LAST, 11, 31);
    for (let ms = start; ms <= end; ms += 86400000) {
        const date = isoDate(ms);
        const weekday = new Date(ms).getUTCDay(); // 0 Sunday .. 6 Saturday
        const plainWork = weekday >= 1 && weekday <= 5;
        const detail = days.getDayDetail(date);
        if (detail.date !== date || detail.work !== days.isWorkday(date))
            throw new Error(`inconsistent answers for ${date}`);
        // The name is "English,中文,number" for a holiday or a worked weekend day
        // and the English weekday name otherwise.
        const parts = detail.name.split(',');
        const name = parts.length === 3 ? parts[1] : null;
        if (detail.work === plainWork && name === null)
            continue;
        if (name === null)
            throw new Error(`${date} departs from the plain week without a holiday name`);
        lines.push(`${date} ${detail.work ? 'work' : 'off'} ${name}`);
    }
    process.stdout.write(lines.join('\n') + '\n');
})().catch((err) => {
    console.error(err);
    process.exit(1);
});
