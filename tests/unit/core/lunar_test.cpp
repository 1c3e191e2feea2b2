#include "core/clock/lunar.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

CalendarInfo lunarOf(int y, int m, int d, int hour = 12) {
  CalendarInfo c{};
  c.sYear = y, c.sMonth = m, c.sDay = d, c.hour = hour;
  EXPECT_EQ(ToLunar(&c), 0) << y << "-" << m << "-" << d;
  return c;
}

TEST(Lunar, DayNumbersAndWeekdays) {
  EXPECT_EQ(solarOffsetDays(1900, 1, 1), 0);
  EXPECT_EQ(solarOffsetDays(1900, 3, 1), 59);  // 1900 is no leap year
  EXPECT_EQ(solarOffsetDays(2000, 3, 1), 36584);  // 2000 is one
  EXPECT_EQ(solarOffsetDays(2024, 1, 1), 45290);
  EXPECT_EQ(solarOffsetDays(1850, 6, 1), 0);
  EXPECT_EQ(solarOffsetDays(2024, 13, 1), -1);
  EXPECT_EQ(solarWeek(1900, 1, 1), 1);  // a Monday
  EXPECT_EQ(solarWeek(2024, 1, 1), 1);
  EXPECT_EQ(solarWeek(2024, 2, 29), 4);
  EXPECT_EQ(solarWeek(2000, 1, 2), 0);
  EXPECT_EQ(solarWeek(1899, 12, 31), 1);
  EXPECT_EQ(GetDayOf_2000(2000, 1, 1), 0);
  EXPECT_EQ(GetDayOf_2000(1999, 12, 31), -1);
  EXPECT_EQ(solarDays(1900, 2), 28);
  EXPECT_EQ(solarDays(2000, 2), 29);
  EXPECT_EQ(solarDays(2023, 2), 28);
  EXPECT_EQ(solarDays(2023, 0), 0);
  int y, m, d;
  GetSdate(-1, &y, &m, &d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 18991231);
  GetSdate(45290 + 59, &y, &m, &d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
}

TEST(Lunar, KnownDates) {
  CalendarInfo c = lunarOf(1900, 1, 31);
  EXPECT_EQ(c.lYear * 10000 + c.lMonth * 100 + c.lDay, 19000101);
  EXPECT_STREQ(c.lunarFestival, "春节");

  EXPECT_STREQ(lunarOf(2024, 1, 1).solarFestival, "元旦");
  // The stem-branch numbers against their names (the numbers themselves
  // are checked day by day against the reference below).
  c = lunarOf(2024, 6, 1);
  EXPECT_STREQ(GanZhi[c.gzYear], "甲辰");
  EXPECT_STREQ(Animals[c.gzYear % 12], "龙");
  EXPECT_STREQ(GanZhi[lunarOf(2024, 3, 5).gzMonth], "丁卯");

  c = lunarOf(2000, 1, 6);
  EXPECT_STREQ(solarTerm[c.term], "小寒");
  EXPECT_EQ(c.termHour, 9);
  EXPECT_EQ(c.termMinute, 1);
  EXPECT_EQ(lunarOf(2000, 1, 7).term, -1);

  // Hours: the 子 hour starts at 23:00 and belongs to the next day.
  EXPECT_STREQ(GanZhi[lunarOf(2024, 1, 1, 0).gzHour], "甲子");
  EXPECT_STREQ(GanZhi[lunarOf(2024, 1, 1, 1).gzHour], "乙丑");
  EXPECT_STREQ(GanZhi[lunarOf(2024, 1, 1, 12).gzHour], "庚午");
  EXPECT_STREQ(GanZhi[lunarOf(2024, 1, 1, 23).gzHour], "丙子");
}

TEST(Lunar, FestivalsSkipLeapMonths) {
  CalendarInfo c{};
  c.lYear = 2009, c.lMonth = 5, c.lDay = 5, c.hour = 0;
  ASSERT_EQ(ToSolar(&c), 0);
  EXPECT_EQ(c.sYear * 10000 + c.sMonth * 100 + c.sDay, 20090528);
  EXPECT_STREQ(c.lunarFestival, "端午节");
  c.isLeap = 1;
  ASSERT_EQ(ToSolar(&c), 0);
  EXPECT_EQ(c.sYear * 10000 + c.sMonth * 100 + c.sDay, 20090627);
  EXPECT_STREQ(c.lunarFestival, "");
  EXPECT_STREQ(lunarOf(2024, 9, 17).lunarFestival, "中秋节");
  EXPECT_STREQ(lunarOf(2024, 12, 25).solarFestival, "圣诞节");
}

TEST(Lunar, RefusesDatesThatDoNotExist) {
  CalendarInfo c{};
  struct {
    int y, m, d, hour;
  } badSolar[] = {{2023, 2, 29, 0}, {2024, 4, 31, 0}, {2024, 0, 1, 0}, {1899, 12, 31, 0}, {1900, 1, 30, 0},
                  {2024, 1, 1, 24}, {2104, 1, 1, 0}};
  for (auto b : badSolar) {
    c = CalendarInfo{};
    c.sYear = b.y, c.sMonth = b.m, c.sDay = b.d, c.hour = b.hour;
    EXPECT_EQ(ToLunar(&c), -1) << b.y << "-" << b.m << "-" << b.d;
  }
  struct {
    int y, m, d, leap;
  } badLunar[] = {{2020, 5, 1, 1},    // 2020 leaps the fourth month, not the fifth
                  {2021, 1, 1, 1},    // no leap month at all
                  {2024, 1, 30, 0},   // the first month of 2024 has 29 days
                  {2024, 13, 1, 0}, {1899, 1, 1, 0}, {2103, 1, 1, 0}, {2024, 1, 0, 0}};
  for (auto b : badLunar) {
    c = CalendarInfo{};
    c.lYear = b.y, c.lMonth = b.m, c.lDay = b.d, c.isLeap = b.leap;
    EXPECT_EQ(ToSolar(&c), -1) << b.y << "-" << b.m << "-" << b.d;
  }
  EXPECT_EQ(ToLunar(nullptr), -1);
  EXPECT_EQ(ToSolar(nullptr), -1);
}

// The table's years inside 1901..2099 are checked day by day below; here
// its ends.
TEST(Lunar, YearTableEnds) {
  EXPECT_EQ(lYearDays(1899), 0);
  EXPECT_EQ(leapMonth(2103), 0);
  // The last lunar year of the table converts to its last day.
  CalendarInfo c{};
  c.lYear = 2102, c.lMonth = 12, c.lDay = monthDays(2102, 12);
  ASSERT_EQ(ToSolar(&c), 0);
  CalendarInfo back{};
  back.sYear = c.sYear, back.sMonth = c.sMonth, back.sDay = c.sDay;
  ASSERT_EQ(ToLunar(&back), 0);
  EXPECT_EQ(back.lYear * 10000 + back.lMonth * 100 + back.lDay, c.lYear * 10000 + c.lMonth * 100 + c.lDay);
}

TEST(Lunar, NextTermAndTermOfTheHalfMonth) {
  const char *name = nullptr;
  // 2024: 小寒 6 January, 大寒 20 January, 立春 4 February.
  EXPECT_EQ(GetNextTerm(2024, 1, 6, &name), 14);  // on the day the next one is meant
  EXPECT_STREQ(name, "大寒");
  EXPECT_EQ(GetNextTerm(2023, 12, 22, &name), 15);  // across the year
  EXPECT_STREQ(name, "小寒");
  EXPECT_EQ(GetNextTerm(2099, 12, 25, &name), 11);  // into 2100: 小寒 2100-01-05
  EXPECT_STREQ(name, "小寒");
  EXPECT_EQ(GetNextTerm(2100, 12, 25, &name), 11);  // the table's last days: 小寒 2101-01-05
  EXPECT_EQ(GetNextTerm(2101, 12, 25, &name), -1);  // beyond the table

  int days = -1;
  EXPECT_EQ(GetJQ(2024, 1, 6, &days), 0);
  EXPECT_EQ(days, 0);
  EXPECT_EQ(GetJQ(2024, 1, 3, &days), 0);
  EXPECT_EQ(days, 3);
  EXPECT_EQ(GetJQ(2024, 1, 10, &days), 1);  // 小寒 has passed: 大寒 in 10 days
  EXPECT_EQ(days, 10);
  EXPECT_EQ(GetJQ(2024, 1, 25, &days), 2);  // 大寒 has passed: 立春
  EXPECT_EQ(days, 10);
  EXPECT_EQ(GetJQ(2023, 12, 25, &days), 0);  // 冬至 has passed: next year's 小寒
  EXPECT_EQ(days, 12);
  EXPECT_EQ(GetJQ(1900, 6, 1, &days), -1);
  EXPECT_EQ(GetJQ(2100, 12, 1, &days), 22);  // 大雪 2100-12-07
  EXPECT_EQ(days, 6);
  EXPECT_EQ(GetJQ(2101, 12, 25, &days), -1);
}

TEST(Lunar, NineNinesAndDogDays) {
  struct {
    int y, m, d, result, period, day;
  } cases[] = {
      {2023, 12, 22, 0, 0, 0},   // 冬至 2023
      {2023, 12, 23, 0, 0, 1},   // the day after
      {2024, 1, 1, 0, 1, 1},
      {2024, 3, 11, 0, 8, 8},    // the 81st day
      {2024, 3, 12, -1, 0, 0},
      {2024, 7, 14, -1, 0, 0},
      {2024, 7, 15, 1, 0, 0},    // 初伏: the third Geng day after 夏至 (21 June)
      {2024, 7, 24, 1, 0, 9},
      {2024, 7, 25, 1, 1, 0},    // 中伏
      {2024, 8, 13, 1, 1, 19},   // a 20-day middle period
      {2024, 8, 14, 1, 2, 0},    // 末伏: the first Geng day after 立秋 (7 August)
      {2024, 8, 23, 1, 2, 9},
      {2024, 8, 24, -1, 0, 0},
      {2023, 7, 10, -1, 0, 0},
      {2023, 7, 11, 1, 0, 0},    // 夏至 2023 is itself a Geng day and counts
      {2023, 8, 10, 1, 2, 0},
      {2014, 8, 6, 1, 1, 9},
      {2014, 8, 7, 1, 2, 0},     // 立秋 2014 is a Geng day and starts 末伏
      {1900, 12, 30, -1, 0, 0},  // before the range
  };
  for (auto c : cases) {
    int period = -7, day = -7;
    int r = GetJF(c.y, c.m, c.d, &period, &day);
    EXPECT_EQ(r, c.result) << c.y << "-" << c.m << "-" << c.d;
    if (r >= 0 && c.result >= 0) {
      EXPECT_EQ(period, c.period) << c.y << "-" << c.m << "-" << c.d;
      EXPECT_EQ(day, c.day) << c.y << "-" << c.m << "-" << c.d;
    }
  }
}

TEST(Lunar, FestivalAndTermSentences) {
  char buf[256];
  CalendarInfo c = lunarOf(2024, 2, 10);  // 春节
  std::snprintf(buf, sizeof buf, "正月初一");
  EXPECT_STREQ(GetFTStr_yinli(&c, buf, sizeof buf), ",正月初一,今日是春节");
  std::snprintf(buf, sizeof buf, "x");
  EXPECT_STREQ(GetFTStr_gongli(&c, buf, sizeof buf), "x");  // no Gregorian festival, no term

  c = lunarOf(2000, 1, 6);
  std::snprintf(buf, sizeof buf, "今天");
  EXPECT_STREQ(GetFTStr_gongli(&c, buf, sizeof buf), "今天,今日9点1分小寒");

  c = lunarOf(2021, 2, 14);  // 情人节 and 初三; no term
  std::snprintf(buf, sizeof buf, "a");
  EXPECT_STREQ(GetFTStr_tts_report(&c, buf, sizeof buf), ",a,今日是情人节");
  c = lunarOf(2018, 2, 16);  // 春节 on 16 February, no Gregorian festival
  std::snprintf(buf, sizeof buf, "a");
  EXPECT_STREQ(GetFTStr_tts_report(&c, buf, sizeof buf), ",a,今日是春节");
  c = lunarOf(2024, 4, 4);  // 清明 at 15:02
  std::snprintf(buf, sizeof buf, "a");
  EXPECT_STREQ(GetFTStr_tts_report(&c, buf, sizeof buf), "a,今日15点2分清明");

  char small[8] = "ab";
  c = lunarOf(2024, 2, 10);
  GetFTStr_yinli(&c, small, sizeof small);
  EXPECT_STREQ(small, ",ab,今");  // cut at the buffer, as snprintf cuts
}

// ---- every day of 1901..2099 against the independent reference ---------

struct RefDay {
  int ly, lm, leap, ld, gy, gm, gd, term;
};

// Decodes the reference file: lines of "<days since the previous line>
// <field>..." where each day continues the one before (lunar day + 1, day
// stem-branch + 1, no term) unless a field says otherwise.
bool readReference(std::vector<RefDay> *days) {
  std::ifstream in(SourcePath("/tests/unit/core/lunar_reference.txt"));
  if (!in) return false;
  RefDay cur{};
  cur.term = -1;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int gap = 0;
    fields >> gap;
    for (int i = 0; i < gap; i++) {
      days->push_back(cur);
      cur.ld++;
      cur.gd = (cur.gd + 1) % 60;
      cur.term = -1;
    }
    if (!first && gap == 0) return false;
    first = false;
    std::string f;
    while (fields >> f) {
      if (f == "end") return true;
      int v = std::atoi(f.c_str() + 1);
      switch (f[0]) {
        case 'L':
          cur.ly = v;
          cur.lm = std::atoi(f.c_str() + f.find('.') + 1);
          cur.leap = f.back() == '+';
          cur.ld = 1;
          break;
        case 'd': cur.ld = v; break;
        case 'Y': cur.gy = v; break;
        case 'M': cur.gm = v; break;
        case 'D': cur.gd = v; break;
        case 'T': cur.term = v; break;
        default: return false;
      }
    }
  }
  return false;
}

// Where the reference and these tables part, and why:
// - 1933: the new moon of the sixth month falls at 00:03 on 23 July; the
//   reference (an older table) starts the month on 22 July.
// - 2097: the seventh month's new moon is three seconds before midnight of
//   7 August; the reference starts the month on 8 August.
// - Terms of 1912-1928: the almanacs of those years reckoned otherwise than
//   Beijing time; 1979 大寒 falls four seconds before midnight of 20 January,
//   which the reference puts on the 21st. A jie term moved by a day also
//   moves the month's stem-branch switch.
struct KnownDifference {
  int from, to;  // yyyymmdd, inclusive
  const char *what;
};
const KnownDifference kKnown[] = {
    {19330722, 19330820, "lunar"}, {20970807, 20970905, "lunar"},
    {19121122, 19121123, "term"},  {19130923, 19130924, "term"},
    {19171207, 19171208, "term"},  {19171207, 19171207, "month"},
    {19270908, 19270909, "term"},  {19270908, 19270908, "month"},
    {19280621, 19280622, "term"},  {19790120, 19790121, "term"},
};

bool known(int ymd, const char *what) {
  for (const auto &k : kKnown) {
    if (ymd >= k.from && ymd <= k.to && std::strcmp(k.what, what) == 0) return true;
  }
  return false;
}

TEST(Lunar, EveryDayAgreesWithTheReference) {
  std::vector<RefDay> ref;
  ASSERT_TRUE(readReference(&ref)) << "unreadable reference file";
  int first = solarOffsetDays(1901, 1, 1);
  ASSERT_EQ(static_cast<int>(ref.size()), solarOffsetDays(2100, 1, 1) - first);

  std::map<std::string, int> knownSeen;
  int unexpected = 0;
  for (size_t i = 0; i < ref.size(); i++) {
    int dn = first + static_cast<int>(i);
    CalendarInfo c{};
    GetSdate(dn, &c.sYear, &c.sMonth, &c.sDay);
    ASSERT_EQ(solarOffsetDays(c.sYear, c.sMonth, c.sDay), dn);
    ASSERT_EQ(ToLunar(&c), 0);
    int ymd = c.sYear * 10000 + c.sMonth * 100 + c.sDay;
    const RefDay &r = ref[i];

    auto check = [&](bool same, const char *what) {
      if (same) return;
      if (known(ymd, what)) {
        knownSeen[what]++;
      } else if (++unexpected <= 20) {
        ADD_FAILURE() << ymd << ": " << what << " differs: lunar " << c.lYear << "-" << c.lMonth
                      << (c.isLeap ? "+" : "") << "-" << c.lDay << " (reference " << r.ly << "-" << r.lm
                      << (r.leap ? "+" : "") << "-" << r.ld << "), year " << c.gzYear << "/" << r.gy << ", month "
                      << c.gzMonth << "/" << r.gm << ", day " << c.gzDay << "/" << r.gd << ", term " << c.term << "/"
                      << r.term;
      }
    };
    check(c.lYear == r.ly && c.lMonth == r.lm && c.isLeap == r.leap && c.lDay == r.ld, "lunar");
    check(c.gzYear == r.gy, "year");
    check(c.gzMonth == r.gm, "month");
    check(c.gzDay == r.gd, "day");
    check(c.term == r.term, "term");

    // The reverse conversion lands on the same day.
    CalendarInfo back{};
    back.lYear = c.lYear, back.lMonth = c.lMonth, back.lDay = c.lDay, back.isLeap = c.isLeap;
    ASSERT_EQ(ToSolar(&back), 0) << ymd;
    ASSERT_EQ(back.sYear * 10000 + back.sMonth * 100 + back.sDay, ymd);
    ASSERT_EQ(back.gzDay, c.gzDay);
    ASSERT_EQ(back.gzMonth, c.gzMonth);
  }
  EXPECT_EQ(unexpected, 0);
  // Every listed difference still exists; a list that no longer matches the
  // tables would hide a change.
  int lunarDays = 0, termDays = 0, monthDays = 0;
  for (const auto &k : kKnown) {
    int n = solarOffsetDays(k.to / 10000, k.to / 100 % 100, k.to % 100) -
            solarOffsetDays(k.from / 10000, k.from / 100 % 100, k.from % 100) + 1;
    (std::strcmp(k.what, "lunar") == 0 ? lunarDays : std::strcmp(k.what, "term") == 0 ? termDays : monthDays) += n;
  }
  EXPECT_EQ(knownSeen["lunar"], lunarDays);
  EXPECT_EQ(knownSeen["term"], termDays);
  EXPECT_EQ(knownSeen["month"], monthDays);
}

}  // namespace
