#!/usr/bin/env node
// Writes core/clock/lunar_data.inc: the lunar year table (lunarInfo,
// 1900..2102) and the solar term table (sTermInfo, 1900..2101: the terms of
// 2101 give the days until the next term on the last days of 2100) computed with
// lunar-javascript, after checking both against solarlunar (the classic
// published table) and lunar-calendar. Differences go to stderr and into the
// header of the generated file. See README.md for how to run it.
'use strict';
const { LunarYear, ShouXingUtil } = require('lunar-javascript');
const SL = require('solarlunar').default || require('solarlunar');
const fs = require('fs');
const path = require('path');

const J2000 = 2451545;
const TERMS = ['小寒', '大寒', '立春', '雨水', '惊蛰', '春分', '清明', '谷雨', '立夏', '小满', '芒种', '夏至',
  '小暑', '大暑', '立秋', '处暑', '白露', '秋分', '寒露', '霜降', '立冬', '小雪', '大雪', '冬至'];

function fail(msg) { process.stderr.write('gen_tables: ' + msg + '\n'); process.exit(1); }

// Gregorian date of a Julian day number (noon-based integer).
function fromJdn(jdn) {
  const a = jdn + 32044, b = Math.floor((4 * a + 3) / 146097), c = a - Math.floor(146097 * b / 4);
  const d = Math.floor((4 * c + 3) / 1461), e = c - Math.floor(1461 * d / 4), m = Math.floor((5 * e + 2) / 153);
  return { y: 100 * b + d - 4800 + Math.floor(m / 10), m: m + 3 - 12 * Math.floor(m / 10),
    d: e - Math.floor((153 * m + 2) / 5) + 1 };
}
function toJdn(y, m, d) {
  const a = Math.floor((14 - m) / 12), yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + Math.floor((153 * mm + 2) / 5) + 365 * yy + Math.floor(yy / 4) - Math.floor(yy / 100) +
    Math.floor(yy / 400) - 32045;
}

// ---- lunar years ------------------------------------------------------
function lunarWord(year) {
  let word = 0, leap = 0, leapLong = 0;
  for (const m of LunarYear.fromYear(year).getMonthsInYear()) {
    const n = m.getMonth(), days = m.getDayCount();
    if (days !== 29 && days !== 30) fail(`lunar ${year} month ${n} has ${days} days`);
    if (n < 0) { leap = -n; leapLong = days === 30 ? 1 : 0; } else if (days === 30) word |= 1 << (16 - n);
  }
  return word | leap | (leapLong << 16);
}
const lunarInfo = [];
for (let y = 1900; y <= 2102; y++) lunarInfo.push(lunarWord(y));
const firstMonth = LunarYear.fromYear(1900).getMonthsInYear()[0];
if (fromJdn(Math.floor(firstMonth.getFirstJulianDay() + 0.5)).d !== 31) fail('lunar 1900 does not start on 1900-01-31');

// lunar-calendar keeps [leap month, new-year month, day, month bits from the
// high bit, the leap month right after its month] per year from 1890.
const lcPath = require.resolve('lunar-calendar');
const lcSource = fs.readFileSync(path.join(path.dirname(lcPath), 'LunarCalendar.js'), 'utf8');
const lcInfo = JSON.parse(lcSource.match(/var lunarInfo = (\[\[.*?\]\]);/)[1]);
function lcWord(year) {
  const [leap, , , bits] = lcInfo[year - 1890];
  const s = bits.toString(2).padStart(16, '0');
  let word = 0, leapLong = 0, k = 0;
  for (let m = 1; m <= 12; m++) {
    if (s[k++] === '1') word |= 1 << (16 - m);
    if (m === leap && s[k++] === '1') leapLong = 1;
  }
  return word | leap | (leapLong << 16);
}

const notes = [];
for (let y = 1900; y <= 2100; y++) {
  const ours = lunarInfo[y - 1900], classic = SL.lunarInfo[y - 1900], lc = lcWord(y);
  if (ours !== classic || ours !== lc) {
    notes.push(`lunar year ${y}: 0x${ours.toString(16)}; solarlunar 0x${classic.toString(16)}, ` +
      `lunar-calendar 0x${lc.toString(16)}`);
  }
}

// ---- solar terms ------------------------------------------------------
// Moment of term k of year y in days from J2000, Beijing time.
function termMoment(y, k) {
  return ShouXingUtil.qiAccurate2(toJdn(y, 1, 6) - J2000 + k * 15.2184);
}
const sTermInfo = [];
for (let y = 1900; y <= 2101; y++) {
  for (let k = 0; k < 24; k++) {
    const t = termMoment(y, k) + J2000 + 0.5;  // days, the integer part a day number
    const jdn = Math.floor(t);
    let minute = Math.round((t - jdn) * 1440);
    const exactSec = Math.round((t - jdn) * 86400);
    if (minute > 1439) minute = 1439;  // keep the day the term falls on
    const date = fromJdn(jdn);
    if (date.y !== y || date.m !== Math.floor(k / 2) + 1 || (k % 2 === 0) !== (date.d < 16)) {
      fail(`term ${k} of ${y} lands on ${date.y}-${date.m}-${date.d}`);
    }
    sTermInfo.push(date.d * 2048 + Math.floor(minute / 60) * 64 + minute % 60);
    const classicDay = y <= 2100 ? SL.getTerm(y, k + 1) : date.d;  // the classic table ends with 2100
    if (classicDay !== date.d) {
      const hms = [Math.floor(exactSec / 3600), Math.floor(exactSec / 60) % 60, exactSec % 60]
        .map((v) => String(v).padStart(2, '0')).join(':');
      notes.push(`term ${TERMS[k]} ${y}: ${y}-${date.m}-${date.d} ${hms}; solarlunar day ${classicDay}`);
    }
  }
}

// The values the calendar's own description quotes.
const expect = [[lunarInfo[0], 0x4bd8], [lunarInfo[1], 0x4ae0], [lunarInfo[2], 0xa570], [lunarInfo[3], 0x54d5],
  [lunarInfo[4], 0xd260], [lunarInfo[5], 0xd950], [lunarInfo[200], 0xd520], [sTermInfo[100 * 24], 0x3241]];
for (const [got, want] of expect) if (got !== want) fail(`0x${got.toString(16)} where 0x${want.toString(16)} is known`);

for (const n of notes) process.stderr.write(n + '\n');

const hex = (v, w) => '0x' + v.toString(16).padStart(w, '0');
const out = [];
out.push('// Generated by tools/lunardata/gen_tables.js from lunar-javascript 1.7.7; do not edit.');
out.push('// Checked against solarlunar 3.1.0 and lunar-calendar 0.1.4. Where they differ:');
for (const n of notes) out.push('//   ' + n);
out.push('// 1933 and 2097: the new moon that starts the month falls within minutes of');
out.push('// midnight (1933-07-23 00:03, 2097-08-07 23:59:57). Terms of 1912-1928: the');
out.push('// almanacs of those years reckoned otherwise (Beijing local time, older');
out.push('// theory); these tables keep Beijing time throughout. 1979 大寒 is four seconds');
out.push('// before midnight.');
out.push('');
out.push('// Lunar years 1900..2102: bits 0-3 leap month, bit 16 - m a 30-day month m,');
out.push('// bit 16 a 30-day leap month.');
out.push(`constexpr uint32_t lunarInfo[${lunarInfo.length}] = {`);
for (let i = 0; i < lunarInfo.length; i += 10) {
  out.push('    ' + lunarInfo.slice(i, i + 10).map((v) => hex(v, 5)).join(', ') + `,  // ${1900 + i}`);
}
out.push('};');
out.push('');
out.push('// Solar terms 1900..2101, 24 a year from 小寒: day * 2048 + hour * 64 + minute,');
out.push('// Beijing time.');
out.push(`constexpr uint16_t sTermInfo[${sTermInfo.length}] = {`);
for (let i = 0; i < sTermInfo.length; i += 12) {
  const tail = i % 24 === 0 ? `  // ${1900 + i / 24}` : '';
  out.push('    ' + sTermInfo.slice(i, i + 12).map((v) => hex(v, 4)).join(', ') + ',' + tail);
}
out.push('};');
process.stdout.write(out.join('\n') + '\n');
