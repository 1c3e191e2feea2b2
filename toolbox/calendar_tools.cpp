// The calendar converter and the almanac, both over core/clock/lunar.
//
// Calendar: a date in the Gregorian or the lunar calendar, 1900..2100, edited
// field by field: UP/DOWN move between year, month, day and the calendar,
// LEFT/RIGHT change the field (a lunar month steps through the leap month
// too), OK speaks the date converted into the other calendar, ESC the date in
// both. Almanac: one day at a time from today, LEFT/RIGHT a day back or on,
// UP/DOWN a month, OK back to today, ESC the day again; each day is spoken
// as its date, weekday, lunar date, festivals and solar term.
//
// Lunar dates are spoken with the sentence the clock speaks on ESC in
// Chinese; English has its own shorter sentence.
#include "toolbox/toolbox.h"

#include "board/board.h"
#include "core/clock/lunar.h"
#include "core/runtime/globals.h"
#include "info/info.h"

#include <cstdio>
#include <new>
#include <string>

namespace {

constexpr int kFirstYear = 1900, kLastYear = 2100;
constexpr int kEpochDay = 25567;  // day number of 1970-01-01

ToolTexts kCalendarTitle = {"万年历", "Calendar"}, kAlmanacTitle = {"老黄历", "Almanac"};
ToolTexts kSolar = {"公历", "Gregorian calendar"}, kLunar = {"农历", "Lunar calendar"};
ToolTexts kOutOfRange = {"超出范围", "Out of range"}, kToday = {"今天", "Today"};
const char *const kWeekday[2][7] = {{"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"},
                                    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};
const char *const kMonthEn[13] = {"",     "January", "February", "March",     "April",   "May",      "June",
                                  "July", "August",  "September", "October", "November", "December"};
const char *const kAnimalEn[12] = {"Rat",   "Ox",     "Tiger", "Rabbit", "Dragon", "Snake",
                                   "Horse", "Goat",   "Monkey", "Rooster", "Dog",  "Pig"};
const char *const kTermEn[24] = {
    "Minor Cold",  "Major Cold",   "Start of Spring", "Rain Water",     "Awakening of Insects", "Spring Equinox",
    "Clear and Bright", "Grain Rain", "Start of Summer", "Grain Buds", "Grain in Ear", "Summer Solstice",
    "Minor Heat", "Major Heat",   "Start of Autumn", "End of Heat",    "White Dew",           "Autumn Equinox",
    "Cold Dew",   "Frost's Descent", "Start of Winter", "Minor Snow",  "Major Snow",          "Winter Solstice"};

int lang() { return PromptLanguage(); }

std::string fmt(const char *form, int a, int b = 0, int c = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, form, a, b, c);
  return buf;
}

// "2020年5月23日, 星期六" / "Saturday, May 23, 2020".
std::string solarDate(int y, int m, int d) {
  int w = solarWeek(y, m, d);
  if (lang() == 0) return fmt("%d年%d月%d日, ", y, m, d) + kWeekday[0][w];
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s, %s %d, %d", kWeekday[1][w], kMonthEn[m], d, y);
  return buf;
}

// The lunar month as spoken: "润四月" / "leap month 4".
std::string lunarMonth(int month, int leap) {
  if (lang() == 0) return (leap ? lunarLeapMonthName : lunarMonthName)[month];
  return fmt(leap ? "leap month %d" : "month %d", month);
}

// The lunar sentence of a Gregorian date: in Chinese the clock's (stem-
// branches, month, nine nines or dog days, the nearest solar term) with the
// day's festivals; in English the lunar date, the animal and the term.
std::string lunarSentence(int y, int m, int d) {
  CalendarInfo c{};
  c.sYear = y, c.sMonth = m, c.sDay = d, c.hour = 12;
  if (ToLunar(&c) != 0) return ToolText(kOutOfRange);
  std::string text;
  if (lang() == 0) {
    char buf[1024];
    LunarInfoToStr((static_cast<int64_t>(solarOffsetDays(y, m, d)) - kEpochDay) * 86400 + 12 * 3600, buf,
                   sizeof buf, 0);
    text = std::string("农历") + buf;
    for (const char *f : {c.solarFestival, c.lunarFestival})
      if (f && *f) text += std::string(", 今日是") + f;
    return text;
  }
  char buf[256];
  std::snprintf(buf, sizeof buf, "lunar year %d, %s, day %d, year of the %s", c.lYear,
                lunarMonth(c.lMonth, c.isLeap).c_str(), c.lDay, kAnimalEn[c.gzYear % 12]);
  text = buf;
  int days = 0;
  int term = GetJQ(y, m, d, &days);
  if (term >= 0) {
    text += days == 0 ? std::string(", today is ") + kTermEn[term]
                      : fmt(", %d days to ", days) + kTermEn[term];
  }
  return text;
}

void today(int *y, int *m, int *d) {
  int64_t days = static_cast<int64_t>(BoardTime()) / 86400;
  GetSdate(static_cast<int>(days + kEpochDay), y, m, d);
}

// ---- Calendar converter -------------------------------------------------

enum { F_YEAR, F_MONTH, F_DAY, F_KIND, F_COUNT };

struct Calendar : ToolScreen {
  int lunar = 0;  // the calendar being edited
  int field = F_YEAR;
  int y = 2000, m = 1, d = 1, leap = 0;  // in the calendar being edited

  Calendar() { today(&y, &m, &d); }

  int monthLength() const {
    if (!lunar) return solarDays(y, m);
    return leap ? leapDays(y) : monthDays(y, m);
  }

  std::string fieldText(int f) const {
    char buf[128];
    switch (f) {
      case F_YEAR: return lunar ? SetLYearStr(y, buf, sizeof buf, lang()) : SetSYearStr(y, buf, sizeof buf, lang());
      case F_MONTH: return lunar ? lunarMonth(m, leap) : SetMonthStr(m, buf, sizeof buf, lang());
      case F_DAY:
        if (lunar && lang() == 0) return lunarDayName[d];
        return SetDayStr(d, buf, sizeof buf, lang());
      default: return ToolText(lunar ? kLunar : kSolar);
    }
  }

  std::string date() const {
    return fieldText(F_YEAR) + ", " + fieldText(F_MONTH) + ", " + fieldText(F_DAY);
  }

  int Show() override { return ToolSay((std::string(ToolText(kCalendarTitle)) + ", " + date()).c_str()); }

  // The edited date as a Gregorian one; false when it does not exist.
  bool solar(int *sy, int *sm, int *sd) const {
    if (!lunar) return *sy = y, *sm = m, *sd = d, y > kFirstYear || m > 1 || d >= 31;
    CalendarInfo c{};
    c.lYear = y, c.lMonth = m, c.lDay = d, c.isLeap = leap, c.hour = 12;
    if (ToSolar(&c) != 0) return false;
    return *sy = c.sYear, *sm = c.sMonth, *sd = c.sDay, true;
  }

  void step(int up) {
    switch (field) {
      case F_YEAR:
        y += up ? 1 : -1;
        if (y > kLastYear) y = kFirstYear;
        if (y < kFirstYear) y = kLastYear;
        if (leap && leapMonth(y) != m) leap = 0;
        break;
      case F_MONTH:
        if (lunar && up && !leap && leapMonth(y) == m) {
          leap = 1;
        } else if (lunar && !up && leap) {
          leap = 0;
        } else {
          m = up ? m % 12 + 1 : (m + 10) % 12 + 1;
          leap = lunar && !up && leapMonth(y) == m ? 1 : 0;
        }
        break;
      case F_DAY: {
        int len = monthLength();
        d = up ? d % len + 1 : (d + len - 2) % len + 1;
        break;
      }
      default: {
        // Switch calendars on the same day.
        int sy, sm, sd;
        if (solar(&sy, &sm, &sd)) {
          CalendarInfo c{};
          c.sYear = sy, c.sMonth = sm, c.sDay = sd, c.hour = 12;
          if (!lunar && ToLunar(&c) == 0) y = c.lYear, m = c.lMonth, d = c.lDay, leap = c.isLeap;
          else if (lunar) y = sy, m = sm, d = sd, leap = 0;
        }
        lunar = !lunar;
        return;
      }
    }
    if (d > monthLength()) d = monthLength();
  }

  // OK: the date in the other calendar.
  int convert() const {
    int sy, sm, sd;
    if (!solar(&sy, &sm, &sd)) return ToolSay(ToolText(kOutOfRange));
    std::string text = lunar ? solarDate(sy, sm, sd) : lunarSentence(sy, sm, sd);
    return ToolSay(text.c_str());
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_UP: field = (field + F_COUNT - 1) % F_COUNT; return ToolSay(fieldText(field).c_str());
      case VKEY_DOWN: field = (field + 1) % F_COUNT; return ToolSay(fieldText(field).c_str());
      case VKEY_LEFT:
      case VKEY_RIGHT:
        step(code == VKEY_RIGHT);
        return ToolSay((field == F_KIND ? fieldText(field) + ", " + date() : fieldText(field)).c_str());
      case VKEY_OK: return convert();
      case VKEY_ESC: {
        int sy, sm, sd;
        if (!solar(&sy, &sm, &sd)) return ToolSay(ToolText(kOutOfRange));
        return ToolSay((solarDate(sy, sm, sd) + ", " + lunarSentence(sy, sm, sd)).c_str());
      }
      default: return 1;
    }
  }
};

// ---- Almanac ------------------------------------------------------------

struct Almanac : ToolScreen {
  int day;  // day number

  Almanac() { goToday(); }

  void goToday() {
    int y, m, d;
    today(&y, &m, &d);
    day = solarOffsetDays(y, m, d);
  }

  int speakDay(const char *prefix) const {
    int y, m, d;
    GetSdate(day, &y, &m, &d);
    std::string text = prefix ? std::string(prefix) + ", " : std::string();
    text += solarDate(y, m, d) + ", " + lunarSentence(y, m, d);
    return ToolSay(text.c_str());
  }

  int Show() override { return speakDay(ToolText(kAlmanacTitle)); }

  void move(int days) {
    int first = solarOffsetDays(kFirstYear, 1, 31), last = solarOffsetDays(kLastYear, 12, 31);
    if (day + days >= first && day + days <= last) day += days;
  }

  void moveMonth(int up) {
    int y, m, d;
    GetSdate(day, &y, &m, &d);
    m += up ? 1 : -1;
    if (m > 12) m = 1, y++;
    if (m < 1) m = 12, y--;
    if (d > solarDays(y, m)) d = solarDays(y, m);
    if (y >= kFirstYear && y <= kLastYear) move(solarOffsetDays(y, m, d) - day);
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_LEFT: move(-1); return speakDay(nullptr);
      case VKEY_RIGHT: move(1); return speakDay(nullptr);
      case VKEY_UP: moveMonth(0); return speakDay(nullptr);
      case VKEY_DOWN: moveMonth(1); return speakDay(nullptr);
      case VKEY_OK: goToday(); return speakDay(ToolText(kToday));
      case VKEY_ESC: return speakDay(nullptr);
      default: return 1;
    }
  }
};

}  // namespace

int CalendarTool(void *, int, int) { return ToolOpen(new (std::nothrow) Calendar, "Calendar"); }
int HuanLiTool(void *, int, int) { return ToolOpen(new (std::nothrow) Almanac, "HuanLi"); }
