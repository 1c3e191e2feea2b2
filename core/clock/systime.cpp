// The time-setting screen, the system and memory information screens and
// the clock file (see systime.h). Times are 64-bit Unix seconds throughout;
// the fields go to seconds through the calendar's day numbers and back
// through gmtime_r, which a 64-bit time_t carries past 2038 on the board.
#include "core/clock/systime.h"

#include "board/board.h"
#include "core/clock/alarm.h"
#include "core/clock/lunar.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <new>
#include <string>
#include <sys/stat.h>

namespace {

constexpr char kLogSource[] = "core/systime.c";
constexpr char kClockFile[] = "/mnt/emmc/q4snb.bin";
constexpr int kFirstYear = 1900, kLastYear = 2200;

using Texts = const char *const[2];
Texts kDone = {"设置已完成", "Setting done"};
Texts kCancelled = {"设置已取消", "Cancelled"};
Texts kRefused = {"操作失败...", "Error"};

void sayAndWait(const char *const *text) { wait_text_sound_end(text_sound_insert(text[PromptLanguage()])); }

int hideScreen(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

// Takes a screen off the stack and frees it; then speaks said (if any) and
// waits, and with reshow lets the screen below speak again.
template <class Screen>
void closeScreen(Screen *s, const char *const *said, bool reshow) {
  ActivityRemove(&s->head);
  delete s;
  if (said) sayAndWait(said);
  if (reshow) ActivityReshow(GetCurrentActivity());
}

int openScreen(Activity *screen) {
  if (screen) ActivitySetActive(screen, 1);
  return 0;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

// ---- Time setting ---------------------------------------------------------

enum { F_MINUTE = 1, F_HOUR = 2, F_DAY = 3, F_MONTH = 4, F_YEAR = 5 };

struct TimeEditor {
  Activity head;  // first: the stack holds &head
  int year, month, day, hour, minute;  // month 1..12
  int field;
};

TimeEditor *timeOf(Activity *a) { return static_cast<TimeEditor *>(a->data); }

int SysTimeShow(Activity *a) {
  if (!a) return -1;
  const TimeEditor *t = timeOf(a);
  int lg = PromptLanguage();
  char text[64];
  switch (t->field) {
    case F_MINUTE: SetMinuteStr(t->minute, text, sizeof text, lg); break;
    case F_HOUR:
      if (GetTimeFormat()) SetHourStr(t->hour, text, sizeof text, lg);
      else SetHour12Str(t->hour, text, sizeof text, lg);
      break;
    case F_DAY: SetDayStr(t->day, text, sizeof text, lg); break;
    case F_MONTH: SetMonthStr(t->month, text, sizeof text, lg); break;
    default: SetYearStr(t->year, text, sizeof text, lg); break;
  }
  text_sound_insert(text);
  return 0;
}

int wrap(int v, int lo, int hi) { return v > hi ? lo : v < lo ? hi : v; }

void cutDay(TimeEditor *t) {
  int last = solarDays(t->year, t->month);
  if (t->day > last) t->day = last;
}

void change(TimeEditor *t, int by) {
  switch (t->field) {
    case F_MINUTE: t->minute = wrap(t->minute + by, 0, 59); break;
    case F_HOUR: t->hour = wrap(t->hour + by, 0, 23); break;
    case F_DAY: t->day = wrap(t->day + by, 1, solarDays(t->year, t->month)); break;
    case F_MONTH: t->month = wrap(t->month + by, 1, 12), cutDay(t); break;
    default: t->year = wrap(t->year + by, kFirstYear, kLastYear), cutDay(t); break;
  }
}

// The global keys that close these screens and go on to the screen below
// (the information screen passes only POWEROFF).
bool passedOn(int code) {
  static constexpr int kKeys[] = {VKEY_RECORD, VKEY_USBDISKIN, VKEY_USBIN, VKEY_POWEROFF,
                                  VKEY_MP3,    VKEY_FM,        VKEY_SDIN};
  return std::find(std::begin(kKeys), std::end(kKeys), code) != std::end(kKeys);
}

int SysTimeKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  TimeEditor *t = timeOf(a);
  const int code = key->code;
  if (code == VKEY_UP || code == VKEY_DOWN) {
    change(t, code == VKEY_UP ? 1 : -1);
  } else if (code == VKEY_LEFT || code == VKEY_RIGHT) {
    t->field = wrap(t->field + (code == VKEY_LEFT ? 1 : -1), F_MINUTE, F_YEAR);
  } else if (code == VKEY_OK) {
    if (SysTimeApply(SysTimeToSeconds(t->year, t->month, t->day, t->hour, t->minute, 0)) == 0) {
      closeScreen(t, kDone, true);
      return 0;
    }
    sayAndWait(kRefused);  // the board keeps its clock: the user may try again
  } else if (code == VKEY_BACK || passedOn(code)) {
    closeScreen(t, code == VKEY_BACK ? kCancelled : nullptr, code == VKEY_BACK);
    return code == VKEY_BACK ? 0 : 1;
  } else if (code != VKEY_ESC) {
    return 1;
  }
  return SysTimeShow(a);
}

// ---- Information screens ------------------------------------------------------

struct InfoScreen {
  Activity head;  // first: the stack holds &head
  char text[4096];
  int offsets[10];
  int filled;  // items the builder returned
  int index;
  bool memory;  // the memory screen also passes the global keys on
};

InfoScreen *infoOf(Activity *a) { return static_cast<InfoScreen *>(a->data); }

int InfoShow(Activity *a) {
  if (!a) return -1;
  const InfoScreen *s = infoOf(a);
  text_sound_insert(s->text + s->offsets[s->index]);
  return 0;
}

int InfoKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  InfoScreen *s = infoOf(a);
  const int code = key->code;
  if (code == VKEY_BACK || code == VKEY_OK) {
    closeScreen(s, nullptr, true);
    return 0;
  }
  if (code == VKEY_POWEROFF || (s->memory && passedOn(code))) {
    closeScreen(s, nullptr, false);
    return 1;
  }
  if ((code == VKEY_UP || code == VKEY_LEFT) && s->index > 0) {
    s->index--;
  } else if ((code == VKEY_DOWN || code == VKEY_RIGHT) && s->index < s->filled && s->index < 9) {
    s->index++;  // the index may reach the count: that entry's offset is 0, the whole text
  } else if (code != VKEY_ESC && code != VKEY_UP && code != VKEY_LEFT && code != VKEY_DOWN && code != VKEY_RIGHT) {
    return 1;
  }
  return InfoShow(a);
}

Activity *infoCreate(const char *name, bool memory) {
  InfoScreen *s = new (std::nothrow) InfoScreen{};
  if (!s) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  s->head = {name, 0, InfoKey, InfoShow, hideScreen, 0, s};
  s->memory = memory;
  int lg = PromptLanguage();
  s->filled = memory ? GetMemInfo(s->text, sizeof s->text, s->offsets, 7, lg)
                     : GetSysInfo(s->text, sizeof s->text, s->offsets, 10, lg);
  if (ActivityAdd(&s->head) != 0) {
    delete s;
    return nullptr;
  }
  return &s->head;
}

}  // namespace

int64_t SysTimeToSeconds(int year, int month, int day, int hour, int minute, int second) {
  // solarOffsetDays counts from 1900-01-01, 25567 days before 1970-01-01.
  int64_t days = static_cast<int64_t>(solarOffsetDays(year, month, day)) - 25567;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

int SysTimeApply(int64_t seconds) {
  time_t before = BoardTime();
  struct timeval tv{};
  tv.tv_sec = static_cast<time_t>(seconds);
  if (BoardSetTimeOfDay(&tv) != 0) {
    LOGE("settimeofday return error\n");
    return -1;
  }
  BoardRunShell("hwclock -w");
  if (BoardGetTimeOfDay(&tv) != 0) LOGE("gettimeofday return error\n");
  InitAlarmFromMenu();
  int64_t now = static_cast<int64_t>(tv.tv_sec);
  // Another day, or the clock set back: every alarm and reminder is placed
  // anew; the same day keeps the list (records 0 and 1 were refreshed above).
  if (floorDiv(now, 86400) != floorDiv(before, 86400) || now < static_cast<int64_t>(before))
    ReSetAlarm(AlarmNowMinute());
  return 0;
}

Activity *SysTimeCreate(void) {
  TimeEditor *t = new (std::nothrow) TimeEditor{};
  if (!t) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  struct timeval tv{};
  struct tm tm{};
  if (BoardGetTimeOfDay(&tv) != 0) {
    LOGE("gettimeofday return error\n");
    delete t;
    return nullptr;
  }
  LOGI("tv.tv_sec=%lld, tv.tv_usec=%ld\n", static_cast<long long>(tv.tv_sec), static_cast<long>(tv.tv_usec));
  LOGI("tz.tz_minuteswest = %d, tz.tz_sttime=%d\n", 0, 0);  // the system keeps UTC
  time_t now = tv.tv_sec;
  gmtime_r(&now, &tm);
  t->head = {"SysTime", 0, SysTimeKey, SysTimeShow, hideScreen, 0, t};
  t->year = tm.tm_year + 1900, t->month = tm.tm_mon + 1, t->day = tm.tm_mday;
  t->hour = tm.tm_hour, t->minute = tm.tm_min;
  // A clock outside the editor's years starts the editor at its nearest end.
  if (t->year < kFirstYear || t->year > kLastYear) {
    t->year = t->year < kFirstYear ? kFirstYear : kLastYear;
    cutDay(t);
  }
  t->field = F_YEAR;
  if (ActivityAdd(&t->head) != 0) {
    delete t;
    return nullptr;
  }
  return &t->head;
}

Activity *SysInfoCreate(void) { return infoCreate("SysInfo", false); }
Activity *MemInfoCreate(void) { return infoCreate("MemInfo", true); }

int TimeSettingFunc(void *, int, int) { return openScreen(SysTimeCreate()); }
int SystemInfoFunc(void *, int, int) { return openScreen(SysInfoCreate()); }
int MemoryInfoFunc(void *, int, int) { return openScreen(MemInfoCreate()); }

int UpTime(void) {
  std::string path = BoardPath(kClockFile);
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return 0;  // no file: nothing to do
    LOGE("stat %s error\n", kClockFile);
    return -1;
  }
  if (SysTimeApply(static_cast<int64_t>(st.st_mtim.tv_sec)) != 0) return -1;
  LOGI("clock set from %s\n", kClockFile);
  return BoardRunShell("rm -rf /mnt/emmc/q4snb.bin");
}

void SysScreensInit(void) {
  MenuBindFunc("TimeSettingFunc", TimeSettingFunc);
  MenuBindFunc("SystemInfoFunc", SystemInfoFunc);
  MenuBindFunc("MemoryInfoFunc", MemoryInfoFunc);
}
