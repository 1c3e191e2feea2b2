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

#include <cerrno>
#include <cstdio>
#include <ctime>
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

void sayAndWait(Texts text) { wait_text_sound_end(text_sound_insert(text[PromptLanguage()])); }

int hideScreen(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
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

void closeTime(TimeEditor *t, Texts said) {
  ActivityRemove(&t->head);
  delete t;
  if (!said) return;
  sayAndWait(said);
  ActivityReshow(GetCurrentActivity());
}

int SysTimeKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  TimeEditor *t = timeOf(a);
  switch (key->code) {
    case VKEY_UP:
    case VKEY_DOWN:
      change(t, key->code == VKEY_UP ? 1 : -1);
      return SysTimeShow(a);
    case VKEY_LEFT:
      t->field = wrap(t->field + 1, F_MINUTE, F_YEAR);
      return SysTimeShow(a);
    case VKEY_RIGHT:
      t->field = wrap(t->field - 1, F_MINUTE, F_YEAR);
      return SysTimeShow(a);
    case VKEY_ESC:
      return SysTimeShow(a);
    case VKEY_OK:
      if (SysTimeApply(SysTimeToSeconds(t->year, t->month, t->day, t->hour, t->minute, 0)) != 0) {
        // The board keeps its clock: the user hears so and may try again.
        sayAndWait(kRefused);
        return SysTimeShow(a);
      }
      closeTime(t, kDone);
      return 0;
    case VKEY_BACK:
      closeTime(t, kCancelled);
      return 0;
    case VKEY_RECORD:
    case VKEY_USBDISKIN:
    case VKEY_USBIN:
    case VKEY_POWEROFF:
    case VKEY_MP3:
    case VKEY_FM:
    case VKEY_SDIN:
      closeTime(t, nullptr);
      return 1;
    default:
      return 1;
  }
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

void closeInfo(InfoScreen *s, bool reshow) {
  ActivityRemove(&s->head);
  delete s;
  if (reshow) ActivityReshow(GetCurrentActivity());
}

int InfoKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  InfoScreen *s = infoOf(a);
  switch (key->code) {
    case VKEY_BACK:
    case VKEY_OK:
      closeInfo(s, true);
      return 0;
    case VKEY_ESC:
      return InfoShow(a);
    case VKEY_UP:
    case VKEY_LEFT:
      if (s->index > 0) s->index--;
      return InfoShow(a);
    case VKEY_DOWN:
    case VKEY_RIGHT:
      // The index may reach the count: that entry's offset is 0, the whole text.
      if (s->index < s->filled && s->index < 9) s->index++;
      return InfoShow(a);
    case VKEY_RECORD:
    case VKEY_SDIN:
    case VKEY_USBDISKIN:
    case VKEY_USBIN:
    case VKEY_MP3:
    case VKEY_FM:
      if (!s->memory) return 1;
      closeInfo(s, false);
      return 1;
    case VKEY_POWEROFF:
      closeInfo(s, false);
      return 1;
    default:
      return 1;
  }
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
