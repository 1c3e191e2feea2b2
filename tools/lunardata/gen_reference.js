#!/usr/bin/env node
// Writes the day-by-day lunar calendar reference for 1901-01-01 .. 2099-12-31
// from solarlunar, a source independent of the one the tables come from.
// Run with TZ=UTC (solarlunar reads dates through the local time zone).
//
// Output: comment lines, then one line per day on which something differs
// from the plain continuation of the day before (lunar day + 1, day
// stem-branch + 1, no term):
//   <days since the previous line> <field> ...
//   L<year>.<month>[+]  lunar month (+: leap) starting on lunar day 1
//   d<n>                lunar day
//   Y<n> M<n> D<n>      stem-branch index (0 甲子 .. 59 癸亥) of year, month, day
//   T<n>                solar term of the day (0 小寒 .. 23 冬至)
'use strict';
const SL = require('solarlunar').default || require('solarlunar');

const TERMS = ['小寒', '大寒', '立春', '雨水', '惊蛰', '春分', '清明', '谷雨', '立夏', '小满', '芒种', '夏至',
  '小暑', '大暑', '立秋', '处暑', '白露', '秋分', '寒露', '霜降', '立冬', '小雪', '大雪', '冬至'];
const GAN = '甲乙丙丁戊己庚辛壬癸', ZHI = '子丑寅卯辰巳午未申酉戌亥';

function fail(msg) { process.stderr.write('gen_reference: ' + msg + '\n'); process.exit(1); }
function ganzhi(text) {
  const g = GAN.indexOf(text[0]), z = ZHI.indexOf(text[1]);
  if (text.length !== 2 || g < 0 || z < 0) fail('not a stem-branch: ' + text);
  for (let i = 0; i < 60; i++) if (i % 10 === g && i % 12 === z) return i;
  return fail('impossible stem-branch: ' + text);
}

const out = [
  '# Lunar calendar of every day 1901-01-01 .. 2099-12-31 from solarlunar 3.1.0,',
  '# written by tools/lunardata/gen_reference.js. Each line: days since the previous',
  '# line, then what differs from the day before continued (lunar day + 1, day',
  '# stem-branch + 1, no term): L<year>.<month>[+] a new lunar month (+ leap) from',
  '# day 1, d<lunar day>, Y/M/D<stem-branch of year/month/day, 0..59>, T<term 0..23>.',
];
let prev = null, gap = 0;
const day = new Date(Date.UTC(1901, 0, 1));
const end = Date.UTC(2099, 11, 31);
for (; day.getTime() <= end; day.setUTCDate(day.getUTCDate() + 1)) {
  const r = SL.solar2lunar(day.getUTCFullYear(), day.getUTCMonth() + 1, day.getUTCDate());
  if (r === -1) fail('no answer for ' + day.toISOString());
  const cur = { ly: r.lYear, lm: r.lMonth, leap: r.isLeap ? 1 : 0, ld: r.lDay, y: ganzhi(r.gzYear),
    m: ganzhi(r.gzMonth), d: ganzhi(r.gzDay), t: r.term ? TERMS.indexOf(r.term) : -1 };
  if (r.term && cur.t < 0) fail('unknown term ' + r.term);
  const fields = [];
  const sameMonth = prev && prev.ly === cur.ly && prev.lm === cur.lm && prev.leap === cur.leap;
  if (!sameMonth) fields.push(`L${cur.ly}.${cur.lm}${cur.leap ? '+' : ''}`);
  if (cur.ld !== (sameMonth ? prev.ld + 1 : 1)) fields.push(`d${cur.ld}`);
  if (!prev || cur.y !== prev.y) fields.push(`Y${cur.y}`);
  if (!prev || cur.m !== prev.m) fields.push(`M${cur.m}`);
  if (!prev || cur.d !== (prev.d + 1) % 60) fields.push(`D${cur.d}`);
  if (cur.t >= 0) fields.push(`T${cur.t}`);
  if (fields.length) {
    out.push(`${gap} ${fields.join(' ')}`);
    gap = 0;
  }
  gap++;
  prev = cur;
}
out.push(`${gap} end`);
process.stdout.write(out.join('\n') + '\n');
