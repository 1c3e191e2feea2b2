// The lunar calendar: conversions both ways, stem-branches, solar terms,
// festivals, nine nines and dog days over the two generated tables of
// lunar_data.inc (tools/lunardata). Only constant data, no state.
#include "core/clock/lunar.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

#include "core/clock/lunar_data.inc"

constexpr int kFirstLunarYear = 1900;
constexpr int kLunarYears = sizeof(lunarInfo) / sizeof(lunarInfo[0]);  // 1900..2102
constexpr int kFirstTermYear = 1900;
constexpr int kTermYears = sizeof(sTermInfo) / sizeof(sTermInfo[0]) / 24;  // 1900..2101
constexpr int kLunarEpoch = 30;  // day number of lunar 1900-1-1 (1900-01-31)

constexpr int kDaysBefore[2][12] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
                                    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

constexpr bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int yearDays(uint32_t info) {
  int days = 348;
  for (uint32_t bit = 0x8000; bit > 0x8; bit >>= 1) days += (info & bit) ? 1 : 0;
  if (info & 0xf) days += (info & 0x10000) ? 30 : 29;
  return days;
}

// Day number of the first day of each lunar year; one more entry for the
// day after the last year.
struct YearStarts {
  int day[kLunarYears + 1];
  constexpr YearStarts() : day() {
    day[0] = kLunarEpoch;
    for (int i = 0; i < kLunarYears; i++) day[i + 1] = day[i] + yearDays(lunarInfo[i]);
  }
};
constexpr YearStarts kYearStart;
static_assert(kYearStart.day[124] == 45330, "lunar 2024 starts on 2024-02-10");

// The table word of term k (0..23) of a Gregorian year; 0 when the table
// does not hold the year.
int termWord(int year, int k) {
  if (year < kFirstTermYear || year >= kFirstTermYear + kTermYears || k < 0 || k > 23) return 0;
  return sTermInfo[(year - kFirstTermYear) * 24 + k];
}

// Day of month of term k. Past the table's last year the day of four years
// earlier stands in (the terms repeat within a day in a four-year cycle);
// it only places the month and year stem-branch switches of 2102.
int termDayApprox(int year, int k) {
  int last = kFirstTermYear + kTermYears - 1;
  while (year > last) year -= 4;
  return termWord(year, k) >> 11;
}

// Day number of term k of year y, or -1 outside the table.
int termDayNumber(int year, int k) {
  int word = termWord(year, k);
  if (word == 0) return -1;
  return solarOffsetDays(year, k / 2 + 1, word >> 11);
}

bool validSolar(int y, int m, int d) { return m >= 1 && m <= 12 && d >= 1 && d <= solarDays(y, m); }

int mod(int a, int n) { return ((a % n) + n) % n; }

// The Gregorian-dependent fields: term of the day, month and year
// stem-branches, festivals.
void fillTermsAndFestivals(CalendarInfo *c) {
  int y = c->sYear, m = c->sMonth, d = c->sDay;
  c->term = -1;
  c->termHour = c->termMinute = 0;
  int k = (m - 1) * 2 + (d >= 16 ? 1 : 0);
  int word = termWord(y, k);
  if (word != 0 && (word >> 11) == d) {
    c->term = k;
    c->termHour = (word >> 6) & 31;
    c->termMinute = word & 63;
  }
  int jie = termDayApprox(y, (m - 1) * 2);
  c->gzMonth = mod(12 * (y - 1900) + m + (d >= jie ? 12 : 11), 60);
  int liChun = termDayApprox(y, 2);
  bool afterLiChun = m > 2 || (m == 2 && d >= liChun);
  c->gzYear = mod(y - (afterLiChun ? 1864 : 1865), 60);

  c->solarFestival = "";
  for (const CalendarFestival *f = sFtv; f->month; f++) {
    if (f->month == m && f->day == d) c->solarFestival = f->name;
  }
  // A leap month repeats the month's number but none of its festivals.
  c->lunarFestival = "";
  for (const CalendarFestival *f = lFtv; f->month && !c->isLeap; f++) {
    if (f->month == c->lMonth && f->day == c->lDay) c->lunarFestival = f->name;
  }
}

// Appends to dst: snprintf of format over the text already there.
char *appendFestival(char *dst, int size, const char *name) {
  if (!dst || size <= 0 || !name || !*name) return dst;
  std::string sofar(dst);
  std::snprintf(dst, static_cast<size_t>(size), ",%s,今日是%s", sofar.c_str(), name);
  return dst;
}

char *appendTerm(const CalendarInfo *c, char *dst, int size) {
  if (!dst || size <= 0 || c->term < 0 || c->term > 23) return dst;
  std::string sofar(dst);
  std::snprintf(dst, static_cast<size_t>(size), "%s,今日%u点%u分%s", sofar.c_str(),
                static_cast<unsigned>(c->termHour), static_cast<unsigned>(c->termMinute), solarTerm[c->term]);
  return dst;
}

}  // namespace

const char *const GanZhi[60] = {
    "甲子", "乙丑", "丙寅", "丁卯", "戊辰", "己巳", "庚午", "辛未", "壬申", "癸酉",
    "甲戌", "乙亥", "丙子", "丁丑", "戊寅", "己卯", "庚辰", "辛巳", "壬午", "癸未",
    "甲申", "乙酉", "丙戌", "丁亥", "戊子", "己丑", "庚寅", "辛卯", "壬辰", "癸巳",
    "甲午", "乙未", "丙申", "丁酉", "戊戌", "己亥", "庚子", "辛丑", "壬寅", "癸卯",
    "甲辰", "乙巳", "丙午", "丁未", "戊申", "己酉", "庚戌", "辛亥", "壬子", "癸丑",
    "甲寅", "乙卯", "丙辰", "丁巳", "戊午", "己未", "庚申", "辛酉", "壬戌", "癸亥",
};

const char *const Animals[12] = {"鼠", "牛", "虎", "兔", "龙", "蛇", "马", "羊", "猴", "鸡", "狗", "猪"};

const char *const solarTerm[24] = {"小寒", "大寒", "立春", "雨水", "惊蛰", "春分", "清明", "谷雨",
                                   "立夏", "小满", "芒种", "夏至", "小暑", "大暑", "立秋", "处暑",
                                   "白露", "秋分", "寒露", "霜降", "立冬", "小雪", "大雪", "冬至"};

const CalendarFestival sFtv[] = {
    {1, 1, "元旦"},        {2, 14, "情人节"},       {3, 8, "国际妇女节"}, {3, 12, "植树节"},
    {4, 1, "愚人节"},      {5, 1, "国际劳动节"},    {5, 4, "五四青年节"}, {6, 1, "国际儿童节"},
    {9, 10, "教师节"},     {10, 1, "国庆节"},       {12, 25, "圣诞节"},   {0, 0, nullptr},
};

// "除夕" is listed with day 0, which no date has.
const CalendarFestival lFtv[] = {
    {1, 1, "春节"},   {1, 15, "元宵节"}, {5, 5, "端午节"}, {7, 7, "七夕情人节"}, {8, 15, "中秋节"},
    {9, 9, "重阳节"}, {12, 8, "腊八节"}, {12, 23, "小年"}, {1, 0, "除夕"},        {0, 0, nullptr},
};

const char *const lunarMonthName[13] = {"",     "正月", "二月", "三月", "四月", "五月", "六月",
                                        "七月", "八月", "九月", "十月", "冬月", "腊月"};
const char *const lunarLeapMonthName[13] = {"",       "润正月", "润二月", "润三月", "润四月",
                                            "润五月", "润六月", "润七月", "润八月", "润九月",
                                            "润十月", "润冬月", "润腊月"};
const char *const lunarDayName[31] = {
    "",     "初一", "初二", "初三", "初四", "初五", "初六", "初七", "初八", "初九", "初十",
    "十一", "十二", "十三", "十四", "十五", "十六", "十七", "十八", "十九", "二十",
    "廿一", "廿二", "廿三", "廿四", "廿五", "廿六", "廿七", "廿八", "廿九", "三十",
};

int solarDays(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

int solarOffsetDays(int year, int month, int day) {
  if (month < 1 || month > 12) return -1;
  if (year < 1900) return 0;
  // Leap days of the years 1900 .. year - 1 (460 of them fall before 1900).
  int y = year - 1;
  int leaps = y / 4 - y / 100 + y / 400 - 460;
  return year * 365 - 693500 + leaps + kDaysBefore[isLeapYear(year) ? 1 : 0][month - 1] + day - 1;
}

int solarWeek(int year, int month, int day) {
  if (year < 1900) return 1;
  return mod(solarOffsetDays(year, month, day) + 1, 7);
}

int GetSdate(int dayNumber, int *year, int *month, int *day) {
  // Civil date from days since 1970-01-01 (1900-01-01 is day -25567 there),
  // counted in 400-year eras from 0000-03-01.
  long z = static_cast<long>(dayNumber) - 25567 + 719468;
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  if (year) *year = y;
  if (month) *month = m;
  if (day) *day = d;
  return 0;
}

int GetDayOf_2000(int year, int month, int day) {
  return solarOffsetDays(year, month, day) - solarOffsetDays(2000, 1, 1);
}

// The table's last year only gives the year before its next terms.
int LunarLastYear(void) { return kFirstTermYear + kTermYears - 2; }

int leapMonth(int year) {
  if (year < kFirstLunarYear || year >= kFirstLunarYear + kLunarYears) return 0;
  return static_cast<int>(lunarInfo[year - kFirstLunarYear] & 0xf);
}

int leapDays(int year) {
  if (leapMonth(year) == 0) return 0;
  return (lunarInfo[year - kFirstLunarYear] & 0x10000) ? 30 : 29;
}

int monthDays(int year, int month) {
  if (year < kFirstLunarYear || year >= kFirstLunarYear + kLunarYears || month < 1 || month > 12) return 0;
  return (lunarInfo[year - kFirstLunarYear] & (0x10000u >> month)) ? 30 : 29;
}

int lYearDays(int year) {
  if (year < kFirstLunarYear || year >= kFirstLunarYear + kLunarYears) return 0;
  return yearDays(lunarInfo[year - kFirstLunarYear]);
}

int ToLunar(CalendarInfo *info) {
  if (!info || !validSolar(info->sYear, info->sMonth, info->sDay) || info->hour < 0 || info->hour > 23) return -1;
  if (info->sYear < 1900) return -1;
  int dn = solarOffsetDays(info->sYear, info->sMonth, info->sDay);
  if (dn < kYearStart.day[0] || dn >= kYearStart.day[kLunarYears]) return -1;

  // The year: binary search over the first days of the lunar years.
  int lo = 0, hi = kLunarYears - 1;
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (kYearStart.day[mid] <= dn) lo = mid; else hi = mid - 1;
  }
  int year = kFirstLunarYear + lo;
  int n = dn - kYearStart.day[lo];

  // The months, the leap month right after its own.
  int leap = leapMonth(year);
  int month = 1, isLeap = 0;
  for (;;) {
    int len = isLeap ? leapDays(year) : monthDays(year, month);
    if (n < len) break;
    n -= len;
    if (!isLeap && month == leap) {
      isLeap = 1;
    } else {
      isLeap = 0;
      month++;
    }
  }

  info->lYear = year;
  info->lMonth = month;
  info->lDay = n + 1;
  info->isLeap = isLeap;
  info->gzDay = mod(dn + 10, 60);
  info->gzHour = mod((info->hour + 1 + (dn - kLunarEpoch) * 24) / 2, 60);
  fillTermsAndFestivals(info);
  return 0;
}

int ToSolar(CalendarInfo *info) {
  if (!info || info->hour < 0 || info->hour > 23) return -1;
  int year = info->lYear, month = info->lMonth, day = info->lDay;
  if (year < kFirstLunarYear || year >= kFirstLunarYear + kLunarYears || month < 1 || month > 12) return -1;
  int leap = leapMonth(year);
  if (info->isLeap && leap != month) return -1;
  int len = info->isLeap ? leapDays(year) : monthDays(year, month);
  if (day < 1 || day > len) return -1;

  int dn = kYearStart.day[year - kFirstLunarYear];
  for (int m = 1; m < month; m++) dn += monthDays(year, m);
  if (leap && leap < month) dn += leapDays(year);
  if (info->isLeap) dn += monthDays(year, month);
  dn += day - 1;

  GetSdate(dn, &info->sYear, &info->sMonth, &info->sDay);
  info->isLeap = info->isLeap ? 1 : 0;
  info->gzDay = mod(dn + 10, 60);
  info->gzHour = mod((info->hour + 1 + (dn - kLunarEpoch) * 24) / 2, 60);
  fillTermsAndFestivals(info);
  return 0;
}

int GetNextTerm(int year, int month, int day, const char **name) {
  if (!validSolar(year, month, day)) return -1;
  int dn = solarOffsetDays(year, month, day);
  int y = year, k = (month - 1) * 2;
  for (int step = 0; step < 4; step++) {
    int t = termDayNumber(y, k);
    if (t < 0) return -1;
    if (t > dn) {
      if (name) *name = solarTerm[k];
      return t - dn;
    }
    if (++k == 24) {
      k = 0;
      y++;
    }
  }
  return -1;
}

int GetJQ(int year, int month, int day, int *days) {
  if (year < 1901 || !validSolar(year, month, day)) return -1;
  int k = (month - 1) * 2 + (day >= 16 ? 1 : 0);
  int word = termWord(year, k);
  if (word == 0) return -1;
  if ((word >> 11) >= day) {
    if (days) *days = (word >> 11) - day;
    return k;
  }
  int ny = k == 23 ? year + 1 : year, nk = (k + 1) % 24;
  int t = termDayNumber(ny, nk);
  if (t < 0) return -1;
  if (days) *days = t - solarOffsetDays(year, month, day);
  return nk;
}

int GetJF(int year, int month, int day, int *period, int *dayInPeriod) {
  if (year < 1901 || year >= kFirstTermYear + kTermYears || !validSolar(year, month, day)) return -1;
  int dn = solarOffsetDays(year, month, day);
  int p = 0, d = 0, result = -1;

  int start = termDayNumber(year - 1, 23);  // last year's winter solstice
  if (dn - start >= 81) start = termDayNumber(year, 23);
  if (dn >= start && dn - start < 81) {
    p = (dn - start) / 9;
    d = (dn - start) % 9;
    result = 0;
  } else {
    // Geng days have day numbers = 6 (mod 10). The first period starts on
    // the third Geng day from 夏至, the last on the first Geng day from 立秋,
    // each counting the term's own day when it is a Geng day (2023: 夏至 on
    // 21 June, a Geng day, and 入伏 on 11 July).
    auto gengFrom = [](int dn) { return dn + mod(6 - dn, 10); };
    int first = gengFrom(termDayNumber(year, 11)) + 20;
    int last = gengFrom(termDayNumber(year, 14));
    if (dn >= first && dn < first + 10) {
      p = 0, d = dn - first, result = 1;
    } else if (dn >= first + 10 && dn < last) {
      p = 1, d = dn - first - 10, result = 1;
    } else if (dn >= last && dn < last + 10) {
      p = 2, d = dn - last, result = 1;
    }
  }
  if (result >= 0) {
    if (period) *period = p;
    if (dayInPeriod) *dayInPeriod = d;
  }
  return result;
}

char *GetFTStr_gongli(const CalendarInfo *info, char *dst, int size) {
  if (!info) return dst;
  appendFestival(dst, size, info->solarFestival);
  return appendTerm(info, dst, size);
}

char *GetFTStr_yinli(const CalendarInfo *info, char *dst, int size) {
  if (!info) return dst;
  appendFestival(dst, size, info->lunarFestival);
  return appendTerm(info, dst, size);
}

char *GetFTStr_tts_report(const CalendarInfo *info, char *dst, int size) {
  if (!info) return dst;
  appendFestival(dst, size, info->solarFestival);
  appendFestival(dst, size, info->lunarFestival);
  return appendTerm(info, dst, size);
}
