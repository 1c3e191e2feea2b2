// The spoken information strings: every builder writes one sentence into the
// caller's buffer with snprintf and returns the buffer. Chinese is language
// 0, English 1; anything else, and a sentence a language lacks, gives the
// empty text. The clock, the battery and the storage are read through the
// board and the modules that own them; nothing here keeps state.
#include "info/info.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/log.h"
#include "core/clock/lunar.h"
#include "core/runtime/machine.h"
#include "core/runtime/battery.h"
#include "core/library/storage.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr char kLogSource[] = "info/info.c";

// Empties dst; false when there is no buffer to write.
bool clear(char *dst, int size) {
  if (!dst || size <= 0) return false;
  dst[0] = '\0';
  return true;
}

// Writes the format of the language (zh for 0, en for 1; null for a
// sentence the language lacks) with the arguments into dst.
char *say(char *dst, int size, int lang, const char *zh, const char *en, ...) {
  if (!clear(dst, size)) return dst;
  const char *format = lang == 0 ? zh : lang == 1 ? en : nullptr;
  if (!format) return dst;
  va_list ap;
  va_start(ap, en);
  std::vsnprintf(dst, static_cast<size_t>(size), format, ap);
  va_end(ap);
  return dst;
}

// Copies a sentence built elsewhere into dst, cut like snprintf.
char *put(char *dst, int size, const std::string &text) {
  if (clear(dst, size)) std::snprintf(dst, static_cast<size_t>(size), "%s", text.c_str());
  return dst;
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// A play position: "m分ss秒" / "h小时mm分ss秒" in Chinese, "m:s" / "h:m:s" in
// English, after the prefix of the language.
char *secondsToStr(int seconds, char *dst, int size, int lang, const char *zhPrefix, const char *enPrefix) {
  if (!clear(dst, size)) return dst;
  if (seconds < 0) seconds = 0;
  int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (lang == 0) {
    if (h > 0) return say(dst, size, lang, "%s%d小时%02d分%02d秒", nullptr, zhPrefix, h, m, s);
    return say(dst, size, lang, "%s%d分%02d秒", nullptr, zhPrefix, seconds / 60, s);
  }
  if (h > 0) return say(dst, size, lang, nullptr, "%s%d:%d:%d", enPrefix, h, m, s);
  return say(dst, size, lang, nullptr, "%s%d:%d", enPrefix, seconds / 60, s);
}

// Timer texts: minutes as hours and two-digit minutes after a Chinese label.
char *hoursMinutes(int minutes, char *dst, int size, int lang, const char *label) {
  return say(dst, size, lang, "%s%d小时%02d分钟", nullptr, label, minutes / 60, minutes % 60);
}

bool brokenDownUtc(int64_t seconds, struct tm *tm) {
  time_t t = static_cast<time_t>(seconds);
  return gmtime_r(&t, tm) != nullptr;
}

// "V<high nibble>.<low nibble>" of a version byte.
int major(int v) { return (v >> 4) & 0xf; }
int minor(int v) { return v & 0xf; }

void setOffset(int *offsets, int count, int index, size_t value) {
  if (offsets && index < count) offsets[index] = static_cast<int>(value);
}

}  // namespace

char *SecondToStr(int seconds, char *dst, int size, int lang) {
  return secondsToStr(seconds, dst, size, lang, "", "");
}
char *TotalSecondToStr(int seconds, char *dst, int size, int lang) {
  return secondsToStr(seconds, dst, size, lang, "总时间", "total time ");
}
char *CurSecondToStr(int seconds, char *dst, int size, int lang) {
  return secondsToStr(seconds, dst, size, lang, "当前播放", "current time ");
}

char *LeftSecondToStr(int kind, int seconds, char *dst, int size, int lang) {
  static const char *const kPrefix[4][2] = {
      {"剩余", "time left "}, {"本节剩余", "left in section "}, {"全书剩余", "left in book "},
      {"预计剩余朗读时间", "reading time left about "}};
  const char *const *p = kPrefix[kind >= 0 && kind < 4 ? kind : 0];
  return secondsToStr(seconds, dst, size, lang, p[0], p[1]);
}

char *UnknownTotalTimeStr(char *dst, int size, int lang) {
  return say(dst, size, lang, "总时间未知", "total time unknown");
}

const char *OpenErrorText(int why, int lang) {
  static const char *const kTexts[3][2] = {
      {"文件已损坏", "the file is damaged"},
      {"不支持此文件格式", "this file format cannot be read"},
      {"文档受保护，无法打开", "the document is protected"},
  };
  if (why < 0 || why > 2) why = OPEN_ERROR_FILE_DAMAGED;
  return kTexts[why][lang == 0 ? 0 : 1];
}

char *PageToStr(int n, char *dst, int size, int lang) { return say(dst, size, lang, "第%d页", "page %d", n); }
char *PageLabelToStr(const char *label, char *dst, int size, int lang) {
  return say(dst, size, lang, "第%s页", "page %s", label ? label : "");
}
char *CurPageToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "当前第%d页", "current page %d", n);
}
char *TotalPageToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "总共%d页", "total %d pages", n);
}
char *CurLineToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "当前第%d句", "current sentence %d", n);
}
char *TotalLineToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "总共%d句", "total %d sentences", n);
}
char *CurParagraphToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "当前第%d段", "current paragraph %d", n);
}
char *TotalParagraphToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "总共%d段", "total %d paragraphs", n);
}
char *MarkToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "第%d书签", "bookmark %d", n);
}
char *CurMarkToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "当前第%d个书签", "current bookmark %d", n);
}
char *TotalMarkToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "总共%d个书签", "total %d bookmarks", n);
}
char *AlarmAfterMinutes(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "%d分钟后继续闹钟", "Continue alarm after %d minutes", n);
}
char *TimesToStr(int n, char *dst, int size, int lang) { return say(dst, size, lang, "%d次", "times:%d", n); }
char *AlmTimesToStr(int n, char *dst, int size, int lang) {
  return say(dst, size, lang, "提醒%d次", "alarm times:%d", n);
}
char *getCopyProcessString(char *dst, int size, int percent, int lang) {
  return say(dst, size, lang, "已完成百分之%d", "%d percent completed", percent);
}
char *GetAlarmReminderStr(char *dst, int size, int times, int minutes, int lang) {
  return say(dst, size, lang, ", 提醒%d次，间隔%d分钟", ", reminder %d times, %d minutes apart", times, minutes);
}
char *CurTotalFileInfoStr(int cur, int total, char *dst, int size, int lang) {
  return say(dst, size, lang, ", 当前第%d个文件, 总共%d个文件", ", current: %d，total: %d", cur, total);
}

char *SetHourStr(int hour, char *dst, int size, int lang) { return say(dst, size, lang, "%d点", "hour:%d", hour); }
char *SetHour12Str(int hour, char *dst, int size, int lang) {
  if (hour < 12) return say(dst, size, lang, "上午%d点", "hour:%d AM", hour);
  return say(dst, size, lang, "下午%d点", "hour:%d PM", hour - 12);
}
char *SetMinuteStr(int minute, char *dst, int size, int lang) {
  return say(dst, size, lang, "%d分", "minute:%d", minute);
}
char *SetYearStr(int year, char *dst, int size, int lang) { return say(dst, size, lang, "%d年", "year:%d", year); }
char *SetLYearStr(int year, char *dst, int size, int lang) {
  return say(dst, size, lang, "农历%d年", "year:%d", year);
}
char *SetSYearStr(int year, char *dst, int size, int lang) {
  return say(dst, size, lang, "公历%d年", "year:%d", year);
}
char *SetMonthStr(int month, char *dst, int size, int lang) {
  return say(dst, size, lang, "%d月", "month:%d", month);
}
char *SetDayStr(int day, char *dst, int size, int lang) { return say(dst, size, lang, "%d日", "day:%d", day); }

char *LDataToStr(int year, int month, int day, int leap, char *dst, int size, int lang) {
  if (!clear(dst, size) || month < 1 || month > 12 || day < 1 || day > 30) return dst;
  const char *monthName = leap ? lunarLeapMonthName[month] : lunarMonthName[month];
  return say(dst, size, lang, "农历%d年%s%s", nullptr, year, monthName, lunarDayName[day]);
}

char *SDataToStr(int year, int month, int day, char *dst, int size, int lang) {
  return say(dst, size, lang, "公元%d年%d月%d日", nullptr, year, month, day);
}

char *RmdTimeToStr(char *dst, int size, int lang, int year, int month, int day, int hour, int minute, int is24h) {
  if (!clear(dst, size) || lang != 0) return dst;
  std::string text;
  if (year >= 1) text += format("%d年", year);
  if (month > 0) text += format("%d月", month);
  if (day > 0) text += format("%d日", day);
  if (is24h) {
    text += format("%d点", hour);
  } else if (hour < 12) {
    text += format("上午%d点", hour);
  } else {
    text += format("下午%d点", hour - 12);
  }
  text += format("%d分", minute);
  return put(dst, size, text);
}

char *CalculHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "计时 ");
}
char *CalculPassedHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "已计时 ");
}
char *CalculPassedAndRemainHMToStr(int minutes, int remain, char *dst, int size, int lang) {
  return say(dst, size, lang, "已计时 %d小时%02d分钟，本次计时还剩余%d分钟", nullptr, minutes / 60, minutes % 60,
             remain);
}
char *CalculCustMToStr(int minutes, char *dst, int size, int lang) {
  return say(dst, size, lang, "自定义 %d分钟", nullptr, minutes);
}
char *CalculRemindMToStr(int minutes, char *dst, int size, int lang) {
  return say(dst, size, lang, "计时提醒 %d分钟", nullptr, minutes);
}
char *CalculPreYTotalHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "上年累计  ");
}
char *CalculYTotalHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "本年累计  ");
}
char *CalculMTotalHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "本月累计  ");
}
char *CalculDTotalHMToStr(int minutes, char *dst, int size, int lang) {
  return hoursMinutes(minutes, dst, size, lang, "本日累计  ");
}

char *TimeAndDateToStr(int64_t seconds, int is24h, char *dst, int size, int lang) {
  struct tm tm;
  if (!clear(dst, size) || lang != 0 || !brokenDownUtc(seconds, &tm)) return dst;
  int year = tm.tm_year + 1900, month = tm.tm_mon + 1, day = tm.tm_mday;
  int week = solarWeek(year, month, day);
  if (is24h) {
    return say(dst, size, lang, "现在时间: %d点%02d分, 星期%d, %d年%d月%d日", nullptr, tm.tm_hour, tm.tm_min, week,
               year, month, day);
  }
  // Noon stays in the morning form: "上午12点".
  bool morning = tm.tm_hour < 13;
  return say(dst, size, lang, "现在时间: %s%d点%02d分, 星期%d, %d年%d月%d日", nullptr, morning ? "上午" : "下午",
             morning ? tm.tm_hour : tm.tm_hour - 12, tm.tm_min, week, year, month, day);
}

char *SysTimeAndDateStr(int is24h, char *dst, int size, int lang) {
  return TimeAndDateToStr(static_cast<int64_t>(BoardTime()), is24h, dst, size, lang);
}

char *BatteryStateToStr(int status, int capacity, char *dst, int size, int lang) {
  if (!clear(dst, size)) return dst;
  if (capacity < 0) return say(dst, size, lang, "获取电池信息失败", "get battery information failed");
  if (capacity > 100) capacity = 100;
  const char *word = NumBerInfoStr[101 + capacity];
  if (status == 1) {
    return lang == 0 ? say(dst, size, lang, "电池电量百分之%d, 正在充电", nullptr, capacity)
                     : say(dst, size, lang, nullptr, "battery level is %s percent, charging", word);
  }
  if (status == 3) return say(dst, size, lang, "电池已充满", "battery full");
  if (capacity < CfgBatteryLow) return say(dst, size, lang, "电池电量低", "battery low");
  return lang == 0 ? say(dst, size, lang, "电池电量百分之%d", nullptr, capacity)
                   : say(dst, size, lang, nullptr, "battery level is %s percent", word);
}

char *BatteryLevelStr(char *dst, int size, int lang) {
  if (!clear(dst, size) || (lang != 0 && lang != 1)) return dst;
  int status = GetBatteryStaus();
  return BatteryStateToStr(status, GetBatteryCapacity(), dst, size, lang);
}

char *LunarInfoToStr(int64_t seconds, char *dst, int size, int lang) {
  struct tm tm;
  if (!clear(dst, size) || lang != 0 || !brokenDownUtc(seconds, &tm)) return dst;
  CalendarInfo c{};
  c.sYear = tm.tm_year + 1900, c.sMonth = tm.tm_mon + 1, c.sDay = tm.tm_mday, c.hour = tm.tm_hour;
  // Past the calendar's tables the date is said to be out of range, not guessed.
  if (c.sYear > LunarLastYear() || ToLunar(&c) != 0) {
    LOGW("no lunar date for %d-%d-%d\n", c.sYear, c.sMonth, c.sDay);
    return say(dst, size, lang, "农历日期超出范围", nullptr);
  }
  int len = c.isLeap ? leapDays(c.lYear) : monthDays(c.lYear, c.lMonth);
  std::string text = format("%s, %s, %s月,%s日,%s时, %s%s%s, %s", GanZhi[c.gzYear], Animals[c.gzYear % 12],
                            GanZhi[c.gzMonth], GanZhi[c.gzDay], GanZhi[c.gzHour], c.isLeap ? "润" : "",
                            lunarMonthName[c.lMonth], lunarDayName[c.lDay], len < 30 ? "小月" : "大月");
  static const char *const kPeriods[2][9] = {
      {"一九", "二九", "三九", "四九", "五九", "六九", "七九", "八九", "九九"},
      {"初伏", "中伏", "末伏"},
  };
  int period = 0, day = 0;
  int kind = GetJF(c.sYear, c.sMonth, c.sDay, &period, &day);
  if (kind >= 0 && period >= 0 && period < (kind == 0 ? 9 : 3)) {
    text += format(", %s第%d天", kPeriods[kind][period], day + 1);
  }
  int days = 0;
  int term = GetJQ(c.sYear, c.sMonth, c.sDay, &days);
  if (term >= 0) {
    text += days == 0 ? format(", 今天是: %s", solarTerm[term]) : format(", %d 天后是: %s", days, solarTerm[term]);
  }
  return put(dst, size, text);
}

char *LunarInfoStr(char *dst, int size, int lang) {
  return LunarInfoToStr(static_cast<int64_t>(BoardTime()), dst, size, lang);
}

int GetSysInfo(char *dst, int size, int *offsets, int count, int lang) {
  for (int i = 0; offsets && i < count; i++) offsets[i] = 0;
  if (!clear(dst, size) || (lang != 0 && lang != 1)) return 0;
  char *device = nullptr, *maker = nullptr;
  LoadMfInfo(lang, &device, &maker);  // a missing file leaves both null
  LOGD("devname:%s\nmfstr:%s\n", device ? device : "", maker ? maker : "");

  std::string text;
  if (device && *device) text += format("%s, ", device);
  setOffset(offsets, count, 1, text.size());
  if (lang == 0) {
    text += format("序列号：%s%d, ", SubManufacture, SerialNo);
    setOffset(offsets, count, 2, text.size());
    text += format("出厂日期：%d年%d月%d日, ", ProductionYear, ProductionMonth, ProductionDay);
    setOffset(offsets, count, 3, text.size());
    text += format("系统版本：V%d.%d, V%d.%d, ", major(BootLoadVer), minor(BootLoadVer), major(uImageVer),
                   minor(uImageVer));
    setOffset(offsets, count, 4, text.size());
    text += format("软件版本：V%d.%d, ", major(AppVersion), minor(AppVersion));
    setOffset(offsets, count, 5, text.size());
    text += format("软件日期：%d年%d月%d日, %d点%d分%d秒", AppY, AppM, AppD, AppHH, AppMM, AppSS);
  }
  int items = 6;
  if (maker) {
    setOffset(offsets, count, 6, text.size());
    text += maker;
    items = 7;
  }
  delete[] device;
  delete[] maker;
  put(dst, size, text);
  return items;
}

char *MemSizeToStr(uint32_t kib, char *dst, int size) {
  if (kib < 1048576u) {
    return say(dst, size, 0, "%d.%d 兆, ", nullptr, static_cast<int>(kib / 1024),
               static_cast<int>((kib % 1024) * 10 / 1024));
  }
  return say(dst, size, 0, "%d.%d GB, ", nullptr, static_cast<int>(kib >> 20),
             static_cast<int>(((kib >> 10) & 1023) * 10 >> 10));
}

int GetMemInfo(char *dst, int size, int *offsets, int count, int lang) {
  for (int i = 0; offsets && i < count; i++) offsets[i] = 0;
  if (!clear(dst, size) || (lang != 0 && lang != 1)) return 2;
  // English has its own sentence too, so that the screen is never silent.
  const char *card = (MiniHardType & 4) ? "SD" : "TF";
  const char *cardEn = (MiniHardType & 4) ? "sd" : "tf";
  struct Storage {
    int type;
    std::string missing, capacity, free;
  } storages[2][2] = {
      {{0, "没有内存卡, ", "内存容量：", "内存剩余："},
       {1, format("没有%s卡, ", card), format("%s容量：", card), format("%s剩余：", card)}},
      {{0, "No memory, ", "Memory capacity: ", "Memory free: "},
       {1, format("No %s card, ", cardEn), format("%s card capacity: ", card), format("%s card free: ", card)}},
  };
  std::string text;
  for (int i = 0; i < 2; i++) {
    const Storage &st = storages[lang][i];
    setOffset(offsets, count, i, text.size());
    unsigned int total = 0, avail = 0;
    int blockSize = GetMountDeviceSize(st.type, &total, &avail);
    if (blockSize <= 0) {
      text += st.missing;
      continue;
    }
    // (blocks / 1024) x block size: KiB without overflowing 32 bits first.
    auto spoken = [&](unsigned int blocks) {
      char buf[64];
      std::string s = MemSizeToStr(
          static_cast<uint32_t>(static_cast<uint64_t>(blocks / 1024) * static_cast<uint64_t>(blockSize)), buf,
          sizeof buf);
      size_t mb = s.find(" 兆");
      if (lang == 1 && mb != std::string::npos) s.replace(mb, std::strlen(" 兆"), " MB");
      return s;
    };
    text += st.capacity + spoken(total);
    text += st.free + spoken(avail);
  }
  put(dst, size, text);
  return 2;
}
