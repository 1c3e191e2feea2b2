// The alarm list and the alarm editor (see alarm_screens.h). Both are heap
// screens that free themselves on the key distribution thread when they
// close (BACK, OK in the editor, POWEROFF).
#include "core/clock/alarm_screens.h"

#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/clock/lunar.h"
#include "core/ui/menu.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr char kLogSource[] = "core/alarmset.c";

using Texts = const char *const[2];

const char *const kWeekday[2][7] = {{"周日", "周一", "周二", "周三", "周四", "周五", "周六"},
                                    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};
// Selection and deselection texts: the seven days, then "once" and "every day".
const char *const kSelect[2][9] = {
    {"已选择周日", "已选择周一", "已选择周二", "已选择周三", "已选择周四", "已选择周五", "已选择周六", "一次", "每天"},
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Once", "Every day"}};
const char *const kDeselect[2][9] = {{"已取消选择周日", "已取消选择周一", "已取消选择周二", "已取消选择周三",
                                      "已取消选择周四", "已取消选择周五", "已取消选择周六", "一次", "每天"},
                                     {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
                                      "Once", "Every day"}};
Texts kEnable = {"启用", "Enable"};
Texts kDisable = {"禁用", "Disable"};
Texts kOnce = {"一次", "Once"};
Texts kRepeat = {"重复", "repeat"};
Texts kRingTone = {"铃声%d", "Ringtones %d"};
Texts kMarkHint = {"按书签键选择或取消选择", "Press the bookmark key to select or deselect"};
Texts kDelay = {"延时", "Delay"};
Texts kAlarm = {"闹钟", "Alarm"};
Texts kMinutes = {"分钟", "minutes"};
Texts kDone = {"设置已完成", "Setting done"};
Texts kCancelled = {"设置已取消", "Cancelled"};

const char *enableWord(int enable) { return (enable ? kEnable : kDisable)[PromptLanguage()]; }

void say(const char *text) { text_sound_insert(text); }
void sayAndWait(const char *text) { wait_text_sound_end(text_sound_insert(text)); }

char *hourText(int hour, char *dst, int size) {
  return GetTimeFormat() ? SetHourStr(hour, dst, size, PromptLanguage()) : SetHour12Str(hour, dst, size, PromptLanguage());
}

// ---- List ----------------------------------------------------------------

struct AlarmSet {
  Activity head;  // first: the stack holds &head
  int index;      // 0..3: the alarm with id 4 + index
};

AlarmSet *setOf(Activity *a) { return static_cast<AlarmSet *>(a->data); }

int AlarmSetShow(Activity *a) {
  if (!a) return -1;
  AlarmRecord r;
  AlarmGet(ALARM_ID_USER + setOf(a)->index, &r);
  char summary[384], text[448];
  GetAlarmStr(summary, sizeof summary, &r, GetTimeFormat());
  std::snprintf(text, sizeof text, "%s %d: , %s", kAlarm[PromptLanguage()], setOf(a)->index + 1, summary);
  say(text);
  return 0;
}

int AlarmSetKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  AlarmSet *s = setOf(a);
  switch (key->code) {
    case VKEY_UP:
    case VKEY_LEFT:
      s->index = (s->index + 3) % 4;
      return AlarmSetShow(a);
    case VKEY_DOWN:
    case VKEY_RIGHT:
      s->index = (s->index + 1) % 4;
      return AlarmSetShow(a);
    case VKEY_ESC:
      return AlarmSetShow(a);
    case VKEY_OK: {
      Activity *item = AlarmItemCreate(ALARM_ID_USER + s->index, 0);
      if (!item) {
        LOGE("AlarmItemCreate return error\n");
        return AlarmSetShow(a);
      }
      ActivitySetActive(item, 1);
      return 0;
    }
    case VKEY_BACK:
      ActivityRemove(a);
      delete s;
      ActivityReshow(GetCurrentActivity());
      return 0;
    case VKEY_POWEROFF:
      ActivityRemove(a);
      delete s;
      return 1;
    default:
      return 1;
  }
}

// ---- Editor --------------------------------------------------------------

enum { F_HOUR = 1, F_MINUTE = 2, F_ENABLE = 3, F_WEEKDAY = 4, F_TIMES = 5, F_INTERVAL = 6, F_TONE = 7 };

struct AlarmItem {
  Activity head;  // first: the stack holds &head
  int id;
  AlarmRecord copy;
  int field;
  int weekday;  // 0 Sunday .. 6 Saturday: the day MARK toggles
  int reduced;  // 1: hour, minute and enable only
};

AlarmItem *itemOf(Activity *a) { return static_cast<AlarmItem *>(a->data); }

int AlarmItemShow(Activity *a) {
  if (!a) return -1;
  const AlarmItem *e = itemOf(a);
  const AlarmRecord &r = e->copy;
  int lg = PromptLanguage();
  char text[256] = "";
  if (r.mode == 0) {
    if (e->field == F_MINUTE) std::snprintf(text, sizeof text, "%d %s", r.delay, kMinutes[lg]);
    else if (e->field == F_ENABLE) std::snprintf(text, sizeof text, "%s", enableWord(r.enable));
    else std::snprintf(text, sizeof text, "%s", (r.flag ? kRepeat : kOnce)[lg]);
  } else {
    switch (e->field) {
      case F_HOUR: hourText(r.hours, text, sizeof text); break;
      case F_MINUTE: SetMinuteStr(r.minutes, text, sizeof text, lg); break;
      case F_ENABLE: std::snprintf(text, sizeof text, "%s", enableWord(r.enable)); break;
      case F_WEEKDAY: std::snprintf(text, sizeof text, "%s, %s", kWeekday[lg][e->weekday], kMarkHint[lg]); break;
      case F_TIMES: AlmTimesToStr(r.repeat_count, text, sizeof text, lg); break;
      case F_INTERVAL: std::snprintf(text, sizeof text, "%d %s", r.repeat_delay, kMinutes[lg]); break;
      default: std::snprintf(text, sizeof text, kRingTone[lg], r.val + 1); break;
    }
  }
  say(text);
  return 0;
}

// Steps v by one within lo..hi, wrapping.
int step(int v, int by, int lo, int hi) { return v + by > hi ? lo : v + by < lo ? hi : v + by; }

void change(AlarmItem *e, int by) {
  AlarmRecord &r = e->copy;
  if (e->field == F_ENABLE) {
    r.enable = !r.enable;
    if (r.enable) r.counter = 0;
    return;
  }
  if (r.mode == 0) {
    if (e->field == F_MINUTE) r.delay = step(r.delay, by, 1, 100);
    else r.flag = r.flag ? 0 : 127;
    return;
  }
  switch (e->field) {
    case F_HOUR: r.hours = step(r.hours, by, 0, 23); break;
    case F_MINUTE: r.minutes = step(r.minutes, by, 0, 59); break;
    case F_WEEKDAY: e->weekday = step(e->weekday, by, 0, 6); break;
    case F_TIMES: r.repeat_count = step(r.repeat_count, by, 1, 5); break;
    case F_INTERVAL: r.repeat_delay = step(r.repeat_delay, by, 1, 10); break;
    default: break;
  }
}

void moveField(AlarmItem *e, int by) {
  if (e->copy.mode == 0) e->field = step(e->field, by, F_MINUTE, F_ENABLE);
  else e->field = step(e->field, by, F_HOUR, e->reduced ? F_ENABLE : F_INTERVAL);
  e->weekday = 0;
}

void toggleWeekday(AlarmItem *e) {
  int &mask = e->copy.flag;
  int bit = 1 << e->weekday;
  mask ^= bit;
  int lg = PromptLanguage();
  if (!(mask & bit)) say(mask == 0 ? kDeselect[lg][7] : kDeselect[lg][e->weekday]);
  else say(mask == 127 ? kSelect[lg][8] : kSelect[lg][e->weekday]);
}

void closeItem(AlarmItem *e, const AlarmRecord *changed, Texts said) {
  AlarmEditEnd(e->id, changed);
  ActivityRemove(&e->head);
  delete e;
  if (said) {
    sayAndWait(said[PromptLanguage()]);
    ActivityReshow(GetCurrentActivity());
  }
}

void commit(AlarmItem *e) {
  AlarmRecord r = e->copy;
  int now = AlarmNowMinute();
  AlarmSyncTime(&r);
  if (r.enable) r.counter = 0;
  if (r.mode == 1 && r.flag == 0 && r.hours * 60 + r.minutes <= now % kAlarmDayMinutes)
    GetSdate(now / kAlarmDayMinutes + 1, &r.yy, &r.mm, &r.dd);
  closeItem(e, &r, kDone);
}

int AlarmItemKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  AlarmItem *e = itemOf(a);
  switch (key->code) {
    case VKEY_UP:
    case VKEY_DOWN:
      change(e, key->code == VKEY_UP ? 1 : -1);
      return AlarmItemShow(a);
    case VKEY_LEFT:
    case VKEY_RIGHT:
      moveField(e, key->code == VKEY_RIGHT ? 1 : -1);
      return AlarmItemShow(a);
    case VKEY_MARK:
      if (e->copy.mode == 1 && !e->reduced) toggleWeekday(e);
      else AlarmItemShow(a);  // nothing to toggle here: the field is said again
      return 0;
    case VKEY_ESC:
      return AlarmItemShow(a);
    case VKEY_OK:
      commit(e);
      return 0;
    case VKEY_BACK:
      closeItem(e, nullptr, kCancelled);
      return 0;
    case VKEY_POWEROFF:
      closeItem(e, nullptr, nullptr);
      return 1;
    case VKEY_SDOUT:
    case VKEY_USBDISKOUT:
      return 0;
    default:
      return 1;
  }
}

int openScreen(Activity *screen) {
  if (!screen) return -1;
  ActivitySetActive(screen, 1);
  return 0;
}

}  // namespace

char *GetAlmSelectStr(char *text, int size, int mask) {
  if (!text || size < 1) return text;
  int lg = PromptLanguage();
  text[0] = 0;
  mask &= 127;
  if (mask == 0 || mask == 127) {
    std::snprintf(text, static_cast<size_t>(size), "%s", kSelect[lg][mask ? 8 : 7]);
    return text;
  }
  int used = 0;
  for (int d = 0; d < 7 && used < size; d++) {
    if (!(mask & (1 << d))) continue;
    int n = used == 0 ? std::snprintf(text, static_cast<size_t>(size), "%s", kSelect[lg][d])
                      : std::snprintf(text + used, static_cast<size_t>(size - used), ", %s", kWeekday[lg][d]);
    used += n > 0 ? n : 0;
  }
  return text;
}

char *GetAlarmStr(char *text, int size, const AlarmRecord *r, int format24) {
  if (!text || size < 1) return text;
  text[0] = 0;
  if (!r) return text;
  int lg = PromptLanguage();
  if (r->mode == 0) {
    std::snprintf(text, static_cast<size_t>(size), "%s %d %s, %s, %s", kDelay[lg], r->delay, kMinutes[lg],
                  enableWord(r->enable), (r->flag ? kRepeat : kOnce)[lg]);
    return text;
  }
  char hour[64], minute[64], days[192], reminder[128];
  if (format24) SetHourStr(r->hours, hour, sizeof hour, lg);
  else SetHour12Str(r->hours, hour, sizeof hour, lg);
  SetMinuteStr(r->minutes, minute, sizeof minute, lg);
  GetAlmSelectStr(days, sizeof days, r->flag);
  GetAlarmReminderStr(reminder, sizeof reminder, r->repeat_count, r->repeat_delay, lg);
  std::snprintf(text, static_cast<size_t>(size), "%s %s, %s, %s%s", hour, minute, enableWord(r->enable), days,
                reminder);
  return text;
}

Activity *AlarmSetCreate(void) {
  AlarmSet *s = ActivityNew<AlarmSet>("AlarmSet", AlarmSetKey, AlarmSetShow);
  if (!s) return nullptr;
  s->index = 0;
  if (ActivityAdd(&s->head) != 0) {
    delete s;
    return nullptr;
  }
  return &s->head;
}

Activity *AlarmItemCreate(int id, int reduced) {
  if (id < 0 || id >= ALARM_COUNT) return nullptr;
  AlarmItem *e = ActivityNew<AlarmItem>("AlarmItem", AlarmItemKey, AlarmItemShow);
  if (!e) return nullptr;
  e->id = id;
  e->weekday = 0;
  e->reduced = reduced ? 1 : 0;
  AlarmEditBegin(id, &e->copy);
  e->field = e->copy.mode == 0 ? F_MINUTE : F_HOUR;
  if (ActivityAdd(&e->head) != 0) {
    AlarmEditEnd(id, nullptr);
    delete e;
    return nullptr;
  }
  return &e->head;
}

int AlarmSettingFunc(void *, int, int) { return openScreen(AlarmSetCreate()); }
int AlarmSetPwrOffFunc(void *, int, int) { return openScreen(AlarmItemCreate(ALARM_ID_POWER_OFF, 1)); }
int AlarmSetPwrOnFunc(void *, int, int) { return openScreen(AlarmItemCreate(ALARM_ID_POWER_ON, 1)); }

void AlarmScreensInit(void) {
  MenuBindFunc("AlarmSettingFunc", AlarmSettingFunc);
  MenuBindFunc("AlarmSetPwrOffFunc", AlarmSetPwrOffFunc);
  MenuBindFunc("AlarmSetPwrOnFunc", AlarmSetPwrOnFunc);
}
