#include "info/info.h"

#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/machine.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Builder = std::function<char *(char *, int, int)>;  // (dst, size, lang)

std::string run(const Builder &b, int lang, int size = 512) {
  std::vector<char> buf(static_cast<size_t>(size), 'x');
  char *r = b(buf.data(), size, lang);
  EXPECT_EQ(r, buf.data());
  return r;
}

struct Case {
  const char *name;
  Builder build;
  const char *zh, *en;
};

// 2024-01-01 00:00:00 UTC.
constexpr int64_t kNewYear2024 = 1704067200;

const std::vector<Case> &cases() {
  static const std::vector<Case> all = {
      {"SecondToStr 3599", [](char *d, int s, int l) { return SecondToStr(3599, d, s, l); }, "59分59秒", "59:59"},
      {"SecondToStr 3600", [](char *d, int s, int l) { return SecondToStr(3600, d, s, l); }, "1小时00分00秒",
       "1:0:0"},
      {"SecondToStr 65", [](char *d, int s, int l) { return SecondToStr(65, d, s, l); }, "1分05秒", "1:5"},
      {"SecondToStr negative", [](char *d, int s, int l) { return SecondToStr(-5, d, s, l); }, "0分00秒", "0:0"},
      {"TotalSecondToStr", [](char *d, int s, int l) { return TotalSecondToStr(7322, d, s, l); },
       "总时间2小时02分02秒", "total time 2:2:2"},
      {"CurSecondToStr", [](char *d, int s, int l) { return CurSecondToStr(61, d, s, l); }, "当前播放1分01秒",
       "current time 1:1"},
      {"UnknownTotalTimeStr", [](char *d, int s, int l) { return UnknownTotalTimeStr(d, s, l); }, "总时间未知",
       "total time unknown"},
      {"PageToStr", [](char *d, int s, int l) { return PageToStr(12, d, s, l); }, "第12页", "page 12"},
      {"PageLabelToStr", [](char *d, int s, int l) { return PageLabelToStr("iv", d, s, l); }, "第iv页", "page iv"},
      {"CurPageToStr", [](char *d, int s, int l) { return CurPageToStr(3, d, s, l); }, "当前第3页", "current page 3"},
      {"TotalPageToStr", [](char *d, int s, int l) { return TotalPageToStr(9, d, s, l); }, "总共9页",
       "total 9 pages"},
      {"CurLineToStr", [](char *d, int s, int l) { return CurLineToStr(4, d, s, l); }, "当前第4句",
       "current sentence 4"},
      {"TotalLineToStr", [](char *d, int s, int l) { return TotalLineToStr(5, d, s, l); }, "总共5句",
       "total 5 sentences"},
      {"CurParagraphToStr", [](char *d, int s, int l) { return CurParagraphToStr(6, d, s, l); }, "当前第6段",
       "current paragraph 6"},
      {"TotalParagraphToStr", [](char *d, int s, int l) { return TotalParagraphToStr(7, d, s, l); }, "总共7段",
       "total 7 paragraphs"},
      {"MarkToStr", [](char *d, int s, int l) { return MarkToStr(2, d, s, l); }, "第2书签", "bookmark 2"},
      {"CurMarkToStr", [](char *d, int s, int l) { return CurMarkToStr(2, d, s, l); }, "当前第2个书签",
       "current bookmark 2"},
      {"TotalMarkToStr", [](char *d, int s, int l) { return TotalMarkToStr(8, d, s, l); }, "总共8个书签",
       "total 8 bookmarks"},
      {"AlarmAfterMinutes", [](char *d, int s, int l) { return AlarmAfterMinutes(5, d, s, l); }, "5分钟后继续闹钟",
       "Continue alarm after 5 minutes"},
      {"TimesToStr", [](char *d, int s, int l) { return TimesToStr(3, d, s, l); }, "3次", "times:3"},
      {"AlmTimesToStr", [](char *d, int s, int l) { return AlmTimesToStr(3, d, s, l); }, "提醒3次",
       "alarm times:3"},
      {"getCopyProcessString", [](char *d, int s, int l) { return getCopyProcessString(d, s, 42, l); },
       "已完成百分之42", "42 percent completed"},
      {"GetAlarmReminderStr", [](char *d, int s, int l) { return GetAlarmReminderStr(d, s, 3, 10, l); },
       ", 提醒3次，间隔10分钟", ", reminder 3 times, 10 minutes apart"},
      {"CurTotalFileInfoStr", [](char *d, int s, int l) { return CurTotalFileInfoStr(2, 9, d, s, l); },
       ", 当前第2个文件, 总共9个文件", ", current: 2，total: 9"},
      {"SetHourStr", [](char *d, int s, int l) { return SetHourStr(7, d, s, l); }, "7点", "hour:7"},
      {"SetHour12Str 13", [](char *d, int s, int l) { return SetHour12Str(13, d, s, l); }, "下午1点", "hour:1 PM"},
      {"SetHour12Str 0", [](char *d, int s, int l) { return SetHour12Str(0, d, s, l); }, "上午0点", "hour:0 AM"},
      {"SetHour12Str 12", [](char *d, int s, int l) { return SetHour12Str(12, d, s, l); }, "下午0点", "hour:0 PM"},
      {"SetMinuteStr", [](char *d, int s, int l) { return SetMinuteStr(30, d, s, l); }, "30分", "minute:30"},
      {"SetYearStr", [](char *d, int s, int l) { return SetYearStr(2024, d, s, l); }, "2024年", "year:2024"},
      {"SetLYearStr", [](char *d, int s, int l) { return SetLYearStr(2024, d, s, l); }, "农历2024年", "year:2024"},
      {"SetSYearStr", [](char *d, int s, int l) { return SetSYearStr(2024, d, s, l); }, "公历2024年", "year:2024"},
      {"SetMonthStr", [](char *d, int s, int l) { return SetMonthStr(2, d, s, l); }, "2月", "month:2"},
      {"SetDayStr", [](char *d, int s, int l) { return SetDayStr(29, d, s, l); }, "29日", "day:29"},
      {"LDataToStr", [](char *d, int s, int l) { return LDataToStr(2024, 12, 30, 0, d, s, l); },
       "农历2024年腊月三十", ""},
      {"LDataToStr leap", [](char *d, int s, int l) { return LDataToStr(2020, 4, 1, 1, d, s, l); },
       "农历2020年润四月初一", ""},
      {"LDataToStr bad month", [](char *d, int s, int l) { return LDataToStr(2020, 13, 1, 0, d, s, l); }, "", ""},
      {"SDataToStr", [](char *d, int s, int l) { return SDataToStr(2024, 2, 29, d, s, l); }, "公元2024年2月29日",
       ""},
      {"RmdTimeToStr full 12h",
       [](char *d, int s, int l) { return RmdTimeToStr(d, s, l, 2024, 5, 6, 15, 7, 0); }, "2024年5月6日下午3点7分",
       ""},
      {"RmdTimeToStr daily 24h", [](char *d, int s, int l) { return RmdTimeToStr(d, s, l, 0, 0, 0, 15, 7, 1); },
       "15点7分", ""},
      {"RmdTimeToStr monthly morning",
       [](char *d, int s, int l) { return RmdTimeToStr(d, s, l, 0, 0, 12, 9, 0, 0); }, "12日上午9点0分", ""},
      {"CalculHMToStr", [](char *d, int s, int l) { return CalculHMToStr(125, d, s, l); }, "计时 2小时05分钟", ""},
      {"CalculPassedHMToStr", [](char *d, int s, int l) { return CalculPassedHMToStr(59, d, s, l); },
       "已计时 0小时59分钟", ""},
      {"CalculPassedAndRemainHMToStr",
       [](char *d, int s, int l) { return CalculPassedAndRemainHMToStr(61, 14, d, s, l); },
       "已计时 1小时01分钟，本次计时还剩余14分钟", ""},
      {"CalculCustMToStr", [](char *d, int s, int l) { return CalculCustMToStr(90, d, s, l); }, "自定义 90分钟", ""},
      {"CalculRemindMToStr", [](char *d, int s, int l) { return CalculRemindMToStr(45, d, s, l); },
       "计时提醒 45分钟", ""},
      {"CalculPreYTotalHMToStr", [](char *d, int s, int l) { return CalculPreYTotalHMToStr(600, d, s, l); },
       "上年累计  10小时00分钟", ""},
      {"CalculYTotalHMToStr", [](char *d, int s, int l) { return CalculYTotalHMToStr(61, d, s, l); },
       "本年累计  1小时01分钟", ""},
      {"CalculMTotalHMToStr", [](char *d, int s, int l) { return CalculMTotalHMToStr(1, d, s, l); },
       "本月累计  0小时01分钟", ""},
      {"CalculDTotalHMToStr", [](char *d, int s, int l) { return CalculDTotalHMToStr(0, d, s, l); },
       "本日累计  0小时00分钟", ""},
      {"TimeAndDateToStr 24h noon",
       [](char *d, int s, int l) { return TimeAndDateToStr(kNewYear2024 + 12 * 3600 + 300, 1, d, s, l); },
       "现在时间: 12点05分, 星期1, 2024年1月1日", ""},
      {"TimeAndDateToStr 12h noon",
       [](char *d, int s, int l) { return TimeAndDateToStr(kNewYear2024 + 12 * 3600 + 300, 0, d, s, l); },
       "现在时间: 上午12点05分, 星期1, 2024年1月1日", ""},
      {"TimeAndDateToStr 12h afternoon",
       [](char *d, int s, int l) { return TimeAndDateToStr(kNewYear2024 + 13 * 3600 + 300, 0, d, s, l); },
       "现在时间: 下午1点05分, 星期1, 2024年1月1日", ""},
      {"TimeAndDateToStr Sunday",
       [](char *d, int s, int l) { return TimeAndDateToStr(kNewYear2024 - 86400 + 59, 1, d, s, l); },
       "现在时间: 0点00分, 星期0, 2023年12月31日", ""},
      {"BatteryStateToStr 26", [](char *d, int s, int l) { return BatteryStateToStr(2, 26, d, s, l); },
       "电池电量百分之26", "battery level is twenty-six  percent"},
      {"BatteryStateToStr charging", [](char *d, int s, int l) { return BatteryStateToStr(1, 5, d, s, l); },
       "电池电量百分之5, 正在充电", "battery level is five percent, charging"},
      {"BatteryStateToStr full", [](char *d, int s, int l) { return BatteryStateToStr(3, 100, d, s, l); },
       "电池已充满", "battery full"},
      {"BatteryStateToStr low", [](char *d, int s, int l) { return BatteryStateToStr(2, 9, d, s, l); },
       "电池电量低", "battery low"},
      {"BatteryStateToStr at the threshold", [](char *d, int s, int l) { return BatteryStateToStr(0, 10, d, s, l); },
       "电池电量百分之10", "battery level is ten percent"},
      {"BatteryStateToStr unreadable", [](char *d, int s, int l) { return BatteryStateToStr(1, -2, d, s, l); },
       "获取电池信息失败", "get battery information failed"},
      {"LunarInfoToStr new year",
       [](char *d, int s, int l) { return LunarInfoToStr(kNewYear2024 + 40 * 86400 + 8 * 3600, d, s, l); },
       "甲辰, 龙, 丙寅月,甲辰日,戊辰时, 正月初一, 小月, 六九第6天, 9 天后是: 雨水", ""},
      {"LunarInfoToStr term day",
       [](char *d, int s, int l) { return LunarInfoToStr(kNewYear2024 + 94 * 86400, d, s, l); },
       "甲辰, 龙, 戊辰月,戊戌日,壬子时, 二月廿六, 大月, 今天是: 清明", ""},
      {"LunarInfoToStr term day, morning",
       [](char *d, int s, int l) { return LunarInfoToStr(kNewYear2024 + 94 * 86400 + 8 * 3600 + 310, d, s, l); },
       "甲辰, 龙, 戊辰月,戊戌日,丙辰时, 二月廿六, 大月, 今天是: 清明", ""},
      {"LunarInfoToStr leap month and dog days",
       [](char *d, int s, int l) { return LunarInfoToStr(1595808000 /* 2020-07-27 */, d, s, l); },
       "庚子, 鼠, 癸未月,辛未日,戊子时, 六月初七, 小月, 中伏第2天, 11 天后是: 立秋", ""},
      {"LunarInfoToStr leap month",
       [](char *d, int s, int l) { return LunarInfoToStr(1590192000 /* 2020-05-23 */, d, s, l); },
       "庚子, 鼠, 辛巳月,丙寅日,戊子时, 润四月初一, 小月, 13 天后是: 芒种", ""},
      {"LunarInfoToStr the tables' last day",
       [](char *d, int s, int l) { return LunarInfoToStr(4133894400 /* 2100-12-31 */, d, s, l); },
       "庚申, 猴, 戊子月,丁未日,庚子时, 腊月初一, 小月, 二九第1天, 5 天后是: 小寒", ""},
      {"LunarInfoToStr past the tables",
       [](char *d, int s, int l) { return LunarInfoToStr(4133980800 /* 2101-01-01 */, d, s, l); }, "农历日期超出范围", ""},
      {"MemSizeToStr GB", [](char *d, int s, int l) { return MemSizeToStr(1572864, d, s); }, "1.5 GB, ",
       "1.5 GB, "},
      {"MemSizeToStr MB", [](char *d, int s, int l) { return MemSizeToStr(1536, d, s); }, "1.5 兆, ", "1.5 兆, "},
      {"MemSizeToStr just below 1 GiB", [](char *d, int s, int l) { return MemSizeToStr(1048575, d, s); },
       "1023.9 兆, ", "1023.9 兆, "},
  };
  return all;
}

TEST(Info, EveryBuilderInBothLanguages) {
  for (const Case &c : cases()) {
    EXPECT_EQ(run(c.build, 0), c.zh) << c.name;
    EXPECT_EQ(run(c.build, 1), c.en) << c.name;
  }
}

TEST(Info, UnknownLanguageGivesTheEmptyText) {
  for (const Case &c : cases()) {
    if (std::string(c.name).rfind("MemSizeToStr", 0) == 0) continue;  // a size, not a sentence
    EXPECT_EQ(run(c.build, 2), "") << c.name;
    EXPECT_EQ(run(c.build, -1), "") << c.name;
  }
}

TEST(Info, LongSentencesAreCutAtTheBuffer) {
  for (const Case &c : cases()) {
    std::string whole = run(c.build, 0);
    for (int size : {1, 2, 7}) {
      std::string cut = run(c.build, 0, size);
      EXPECT_EQ(cut, whole.substr(0, static_cast<size_t>(size - 1))) << c.name << " in " << size;
    }
  }
  char untouched[4] = "abc";
  EXPECT_EQ(PageToStr(1, untouched, 0, 0), untouched);
  EXPECT_STREQ(untouched, "abc");
  EXPECT_EQ(PageToStr(1, nullptr, 10, 0), nullptr);
}

TEST(Info, NumberWordsAndSymbols) {
  EXPECT_STREQ(NumBerInfoStr[0], "0");
  EXPECT_STREQ(NumBerInfoStr[100], "100");
  EXPECT_STREQ(NumBerInfoStr[101 + 0], "zero");
  EXPECT_STREQ(NumBerInfoStr[101 + 19], "nineteen");
  EXPECT_STREQ(NumBerInfoStr[101 + 21], "twenty-one");
  EXPECT_STREQ(NumBerInfoStr[101 + 96], "ninety-six ");
  EXPECT_STREQ(NumBerInfoStr[101 + 97], "ninety-seven");
  EXPECT_STREQ(NumBerInfoStr[101 + 100], "one-hundred");

  ASSERT_EQ(SymbolTableItemNumb(), 171);
  for (int i = 1; i < SymbolTableItemNumb(); i++) EXPECT_LT(SymbolTable[i - 1].code, SymbolTable[i].code);
  struct {
    uint32_t code;
    const char *name;
  } names[] = {
      {0x09, "空格"},     {0x2D, "连字符 减号"}, {0x3C2, "未知符号"},  {0x3C3, "Sigma"},
      {0x300E, "左方括号"}, {0xFE5D, "左方括号"},  {0xFE67, "未知符号"}, {0xFF01, "感叹号"},
      {0xFF20, "at符号"},  {0xFF5E, "波浪号"},    {0xFFE5, "人民币符号"}, {0x41, "未知符号"},
      {0, "未知符号"},     {0xFFFFFFFF, "未知符号"},
  };
  for (auto n : names) EXPECT_STREQ(SymbolName(n.code), n.name) << std::hex << n.code;
}

TEST(Info, BatteryLevelReadsTheGauge) {
  TempRoot root;
  const std::string gauge = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/";
  char buf[128];
  EXPECT_STREQ(BatteryLevelStr(buf, sizeof buf, 0), "获取电池信息失败");  // no gauge files
  root.write(gauge + "status", "Discharging\n");
  root.write(gauge + "capacity", "26\n");
  EXPECT_STREQ(BatteryLevelStr(buf, sizeof buf, 1), "battery level is twenty-six  percent");
  root.write(gauge + "status", "Charging\n");
  EXPECT_STREQ(BatteryLevelStr(buf, sizeof buf, 0), "电池电量百分之26, 正在充电");
  root.write(gauge + "capacity", "26%\n");  // malformed
  EXPECT_STREQ(BatteryLevelStr(buf, sizeof buf, 0), "获取电池信息失败");
  EXPECT_STREQ(BatteryLevelStr(buf, sizeof buf, 2), "");
}

TEST(Info, SystemInformationItems) {
  TempRoot root;
  ASSERT_EQ(ParseCommandLine("hard_ver=q7_v2.0_3_128mb,abcd000042240315,v1.2d,v3.4,v1.0,v1.0,v1.0"), 0);
  AppY = 2024, AppM = 11, AppD = 13, AppHH = 11, AppMM = 20, AppSS = 12;
  char text[1024];
  int offsets[10];

  // No manufacturer file: no device name, no maker text.
  EXPECT_EQ(GetSysInfo(text, sizeof text, offsets, 10, 0), 6);
  EXPECT_STREQ(text,
               "序列号：abcd42, 出厂日期：2024年3月15日, 系统版本：V1.2, V3.4, 软件版本：V5.8, "
               "软件日期：2024年11月13日, 11点20分12秒");
  EXPECT_EQ(offsets[0], 0);
  EXPECT_EQ(offsets[1], 0);
  EXPECT_EQ(std::string(text + offsets[2]).rfind("出厂日期", 0), 0u);
  EXPECT_EQ(std::string(text + offsets[5]).rfind("软件日期", 0), 0u);

  root.write("/home/q7mf.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<q7><chn><q7_3_128>阅读器</q7_3_128><abcd>制造商</abcd></chn>"
             "<eng><q7_3_128>Reader</q7_3_128><abcd>Maker</abcd></eng></q7>");
  EXPECT_EQ(GetSysInfo(text, sizeof text, offsets, 10, 0), 7);
  EXPECT_EQ(std::string(text).rfind("阅读器, 序列号：abcd42, ", 0), 0u);
  EXPECT_EQ(offsets[1], static_cast<int>(std::string("阅读器, ").size()));
  EXPECT_STREQ(text + offsets[6], "制造商");
  EXPECT_EQ(offsets[7], 0);

  EXPECT_EQ(GetSysInfo(text, sizeof text, offsets, 10, 1), 7);
  EXPECT_STREQ(text, "Reader, Maker");
  EXPECT_EQ(offsets[1], 8);
  EXPECT_EQ(offsets[2] + offsets[3] + offsets[4] + offsets[5], 0);
  EXPECT_EQ(offsets[6], 8);

  // A short offsets array is only filled as far as it goes.
  int two[2] = {-1, -1};
  EXPECT_EQ(GetSysInfo(text, sizeof text, two, 2, 0), 7);
  EXPECT_EQ(two[1], static_cast<int>(std::string("阅读器, ").size()));
}

TEST(Info, MemoryInformationWithoutMountedStorage) {
  char text[256];
  int offsets[7] = {5, 5, 5, 5, 5, 5, 5};
  MiniHardType = 3;  // bit 2 clear: a TF card
  EXPECT_EQ(GetMemInfo(text, sizeof text, offsets, 7, 0), 2);
  EXPECT_STREQ(text, "没有内存卡, 没有TF卡, ");
  EXPECT_EQ(offsets[1], static_cast<int>(std::string("没有内存卡, ").size()));
  EXPECT_EQ(offsets[2], 0);
  MiniHardType = 4;
  EXPECT_EQ(GetMemInfo(text, sizeof text, offsets, 7, 0), 2);
  EXPECT_STREQ(text, "没有内存卡, 没有SD卡, ");
  EXPECT_EQ(GetMemInfo(text, sizeof text, offsets, 7, 1), 2);
  EXPECT_STREQ(text, "No memory, No sd card, ");
}

}  // namespace
