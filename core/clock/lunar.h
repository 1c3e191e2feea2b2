// core/clock/lunar.h: Gregorian date arithmetic and the Chinese lunar calendar
// with its stem-branch names, zodiac animals, 24 solar terms, festivals, the
// nine nines after the winter solstice and the three dog-day periods.
//
// Everything is table-driven: lunar years 1900..2102, solar terms 1900..2101
// (Beijing time). Dates are Gregorian dates as the caller gives them (the
// system keeps UTC). Day numbers count days since 1900-01-01 (day 0). Only
// constant tables: every function is safe from any thread.
#pragma once

// One date in both calendars, filled by ToLunar (from the Gregorian fields)
// or ToSolar (from the lunar fields).
struct CalendarInfo {
  int sYear, sMonth, sDay;  // Gregorian date
  int hour;                 // 0..23, input of both conversions
  int lYear, lMonth, lDay;  // lunar date, month 1..12, day 1..30
  int isLeap;               // 1 when lMonth is the year's leap month
  int gzYear, gzMonth, gzDay, gzHour;  // stem-branch indexes 0 (甲子) .. 59 (癸亥)
  const char *lunarFestival;  // festival name, or "" when none
  const char *solarFestival;
  int term;  // solar term of the day 0 (小寒) .. 23 (冬至), or -1
  int termHour, termMinute;  // its moment, Beijing time, when term >= 0
};

struct CalendarFestival {
  int month, day;  // Gregorian, or lunar month and day
  const char *name;
};

extern const char *const GanZhi[60];    // "甲子" .. "癸亥"
extern const char *const Animals[12];   // "鼠" .. "猪", by year index % 12
extern const char *const solarTerm[24];  // "小寒" .. "冬至"
extern const CalendarFestival sFtv[];    // Gregorian festivals, ends with {0, 0}
extern const CalendarFestival lFtv[];    // lunar festivals, ends with {0, 0}
// Spoken names indexed from 1: "正月" .. "腊月", "润正月" .. "润腊月",
// "初一" .. "三十".
extern const char *const lunarMonthName[13];
extern const char *const lunarLeapMonthName[13];
extern const char *const lunarDayName[31];

// Days in a Gregorian month (February by the Gregorian leap rule); 0 for a
// month outside 1..12.
int solarDays(int year, int month);

// Day number of a Gregorian date: days since 1900-01-01. 0 for years before
// 1900; -1 for a month outside 1..12.
int solarOffsetDays(int year, int month, int day);

// Weekday 0 (Sunday) .. 6 (Saturday); 1 for years before 1900.
int solarWeek(int year, int month, int day);

// Gregorian date of a day number (negative numbers reach back before 1900).
// Returns 0.
int GetSdate(int dayNumber, int *year, int *month, int *day);

// Days since 2000-01-01 (negative before it).
int GetDayOf_2000(int year, int month, int day);

// The last Gregorian year whose every date the tables answer whole, the
// days until the next solar term included (2100); past it terms, month and
// year stem-branches would be guesses.
int LunarLastYear(void);

// Lunar year facts, from the year table; 0 for years outside 1900..2102.
int leapMonth(int year);           // the leap month 1..12, 0 none
int leapDays(int year);            // 0, 29 or 30
int monthDays(int year, int month);  // 29 or 30
int lYearDays(int year);           // days of the lunar year, leap month included

// Fills the lunar date, stem-branches, festivals and the day's solar term of
// the Gregorian date and hour in info. Returns 0, or -1 when the date is not
// a real date or lies outside 1900-01-31 .. the end of lunar year 2102 (info
// is then left as it was).
int ToLunar(CalendarInfo *info);

// The reverse: fills the Gregorian date and the rest from the lunar year,
// month, day, leap flag and hour. Returns 0, or -1 when the lunar date does
// not exist (day beyond the month, leap flag on a month that is not the
// year's leap month, year outside 1900..2102).
int ToSolar(CalendarInfo *info);

// Days until the next solar term after the date (the date's own term counts
// while the date is before it; on the term's day the following one is
// taken), with its name in *name. Returns the days, or -1 outside the term
// table (name then untouched).
int GetNextTerm(int year, int month, int day, const char **name);

// The term of the date's half-month and the days until it (0 on its day),
// or, once it has passed, the following term and the days until that one.
// Returns the term index 0..23, or -1 before 1901 or beyond the term table.
int GetJQ(int year, int month, int day, int *days);

// Nine nines and dog days. Returns 0 inside the nine nines (*period 0..8,
// *dayInPeriod 0..8), 1 inside the dog days (*period 0 first, 1 middle, 2 last;
// *dayInPeriod from 0), -1 otherwise or outside 1901..2101.
int GetJF(int year, int month, int day, int *period, int *dayInPeriod);

// Festival and term sentences appended to the text already in dst (size
// bytes, cut like snprintf): a festival as ",<text so far>,今日是<name>", a
// term of the day as "<text so far>,今日<h>点<m>分<name>". gongli: Gregorian
// festival then term; yinli: lunar festival then term; tts_report: both
// festivals then the term. Return dst.
char *GetFTStr_gongli(const CalendarInfo *info, char *dst, int size);
char *GetFTStr_yinli(const CalendarInfo *info, char *dst, int size);
char *GetFTStr_tts_report(const CalendarInfo *info, char *dst, int size);
