#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Dumps the 24 solar terms of every year 1970..2099 from the npm package
// lunar-javascript, an independent lunar calendar library, as test data for
// the plug-in's own solar-term table:
//
//   npm install lunar-javascript@1.7.7
//   node scripts/dump-solar-terms-lunar-javascript.js > tests/data/solar-terms-lunar-javascript.txt
//
// One term a line: its date and time in China Standard Time (UTC+8) as the
// library gives them, and the term number (1 Start of Spring .. 24 Major Cold).
'use strict';
const { Lunar } = require('lunar-javascript');

// The library keys a term by its Chinese name, or by its pinyin when the
// instant belongs to the neighbouring lunar year.
const NAMES = [
    ['立春', 'LI_CHUN'], ['雨水', 'YU_SHUI'], ['惊蛰', 'JING_ZHE'], ['春分', 'CHUN_FEN'],
    ['清明', 'QING_MING'], ['谷雨', 'GU_YU'], ['立夏', 'LI_XIA'], ['小满', 'XIAO_MAN'],
    ['芒种', 'MANG_ZHONG'], ['夏至', 'XIA_ZHI'], ['小暑', 'XIAO_SHU'], ['大暑', 'DA_SHU'],
    ['立秋', 'LI_QIU'], ['处暑', 'CHU_SHU'], ['白露', 'BAI_LU'], ['秋分', 'QIU_FEN'],
    ['寒露', 'HAN_LU'], ['霜降', 'SHUANG_JIANG'], ['立冬', 'LI_DONG'], ['小雪', 'XIAO_XUE'],
    ['大雪', 'DA_XUE'], ['冬至', 'DONG_ZHI'], ['小寒', 'XIAO_HAN'], ['大寒', 'DA_HAN'],
];
const NUMBER = new Map();
NAMES.forEach((pair, i) => pair.forEach((name) => NUMBER.set(name, i + 1)));

const FIRST = 1970;
const LAST = 2099;
const terms = new Map(); // "date time" -> number, so overlapping tables count once
for (let year = FIRST - 1; year <= LAST + 1; ++year) {
    const table = Lunar.fromYmd(year, 1, 1).getJieQiTable();
    for (const [name, solar] of Object.entries(table)) {
        if (!NUMBER.has(name))
            throw new Error(`unknown term name ${name}`);
        const y = solar.getYear();
        if (y >= FIRST && y <= LAST)
            terms.set(solar.toYmdHms(), NUMBER.get(name));
    }
}
const lines = [...terms.entries()].sort().map(([when, n]) => `${when} ${n}`);
if (lines.length !== 24 * (LAST - FIRST + 1))
    throw new Error(`expected ${24 * (LAST - FIRST + 1)} terms, found ${lines.length}`);
process.stdout.write(lines.join('\n') + '\n');
