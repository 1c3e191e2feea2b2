// The voice reminder screens: the list ("VoiceRemind"), which steps through
// the reminders speaking each one's summary and recording, its menu
// actions, and the editor ("RemindInput") that walks the fields a rule uses.
// Both are heap screens freed on the key distribution thread when they close.
#include "core/clock/reminder.h"

#include "core/clock/lunar.h"
#include "core/clock/tag_screen.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/ui/dialog.h"
#include "core/ui/menu.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "record/record.h"
#include "speech/text_sound.h"

#include <array>
#include <cstdio>

namespace {

enum {
  T_NONE, T_FULL, T_ASK_DELETE, T_DELETED, T_DELETE_CANCELLED, T_ASK_CLEAN, T_CLEANED, T_CLEAN_CANCELLED,
  T_RECORD_HINT, T_TOO_SHORT, T_RECORDED, T_CHOOSE_DAYS, T_SELECTED, T_UNSELECTED,
};
const char *const kTexts[][2] = {
    {"没有语音提醒", "No voice reminding"},
    {"语音提醒已满", "not space"},
    {"是否删除语音提醒", "Whether to delete voice reminding"},
    {"语音提醒已删除", "deleted"},
    {"已取消删除", "Cancelled"},
    {"是否清空语音提醒", "Whether the emptying voice reminding"},
    {"已清空语音提醒", "Empty voice reminding"},
    {"已取消清空", "Cancelled"},
    {"请按住录音键开始录音", "Please hold down the recording key and start the recording"},
    {"录音太短, 请重录", "Tone too short"},
    {"录音完成，请按确认键保存", "Ok"},
    {"请选择星期几", "Please choose the days of the week"},
    {"已选择", "selected"},
    {"未选择", "unselected"},
};
const char *const kWeekday[2][7] = {{"周日", "周一", "周二", "周三", "周四", "周五", "周六"},
                                    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};

const char *tx(int t) { return kTexts[t][PromptLanguage()]; }
void say(int t) { text_sound_insert(tx(t)); }
void sayAndWait(int t) { wait_text_sound_end(text_sound_insert(tx(t))); }

// A recording spoken after a prompt must outlive the prompt, whatever
// happens to the reminder meanwhile: each show copies the path into the
// next of a few buffers.
const char *keepPath(const std::string &path) {
  static std::array<std::array<char, 512>, 4> kept;
  static int next = 0;
  auto &buf = kept[static_cast<size_t>(next)];
  next = (next + 1) % static_cast<int>(kept.size());
  std::snprintf(buf.data(), buf.size(), "%s", path.c_str());
  return buf.data();
}

// ---- List ----------------------------------------------------------------

struct RemindList {
  Activity head;  // first: the stack holds &head
};

int VoiceRemindShow(Activity *a) {
  if (!a) return -1;
  int cursor = RmdCursor();
  VoiceRemind r;
  if (RmdGet(cursor, &r) != 0) {
    say(T_NONE);
    return 0;
  }
  char text[384];
  YuYinTinXinToStr(text, sizeof text, &r, cursor);
  text_audio_sound_insert(text, keepPath(r.path));
  return 0;
}

void closeList(Activity *a, bool reshow) {
  ActivityRemove(a);
  delete static_cast<RemindList *>(a->data);
  if (reshow) ActivityReshow(GetCurrentActivity());
}

Activity *RemindInputCreate(bool isNew);

void openScreen(Activity *screen) {
  if (screen) ActivitySetActive(screen, 1);
}

int VoiceRemindKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  int r = TagScreenKey(a, key, &VoiceRemindingMenu, closeList);
  if (r != -2) return r;
  switch (key->code) {
    case VKEY_ESC:
    case VKEY_RECORD:
      return VoiceRemindShow(a);
    case VKEY_UP:
    case VKEY_LEFT:
      RmdSetCursor(RmdCursor() + 1);
      return VoiceRemindShow(a);
    case VKEY_DOWN:
    case VKEY_RIGHT:
      RmdSetCursor(RmdCursor() - 1);
      return VoiceRemindShow(a);
    case VKEY_OK:
      if (RmdCount() == 0) say(T_NONE);
      else openScreen(RemindInputCreate(false));
      return 0;
    default:
      return 1;
  }
}

// ---- Editor --------------------------------------------------------------

struct RemindInput {
  Activity head;  // first: the stack holds &head
  VoiceRemind copy;
  bool is_new;
  int index;        // the edited reminder (not new)
  int field;        // 0..13
  std::string made;  // a recording made during this edit, "" none
};

RemindInput *inputOf(Activity *a) { return static_cast<RemindInput *>(a->data); }

unsigned rule(const VoiceRemind &r) { return r.kind & 0xffff; }

// Longest day the rule allows in the edited month: February keeps 29 for
// the rules that recur, as a 29 February reminder rings in leap years.
int monthLength(const VoiceRemind &r) {
  if (rule(r) == RMD_MONTHLY) return 31;
  if (rule(r) != RMD_ONCE && r.month == 2) return 29;
  return solarDays(r.year >= kRmdFirstYear ? r.year : kRmdFirstYear, r.month);
}

int step(int v, int by, int lo, int hi) { return v + by > hi ? lo : v + by < lo ? hi : v + by; }

void changeRule(VoiceRemind *r, int by) {
  static constexpr unsigned kCycle[] = {RMD_DAILY, RMD_WEEKLY, RMD_MONTHLY, RMD_ANNUALLY, RMD_ONCE};
  int at = 0;
  for (int i = 0; i < 5; i++)
    if (kCycle[i] == rule(*r)) at = i;
  r->kind = kCycle[(at + by + 5) % 5];  // a rule switched to or from weekly starts without weekdays
}

void change(RemindInput *e, int by) {
  VoiceRemind &r = e->copy;
  int f = e->field;
  if (f == RMD_F_RULE) changeRule(&r, by);
  else if (f >= RMD_F_SUNDAY && f < RMD_F_YEAR) r.kind ^= 1u << (16 + f - RMD_F_SUNDAY);
  else if (f == RMD_F_YEAR) r.year = step(r.year, by, kRmdFirstYear, kRmdLastYear);
  else if (f == RMD_F_MONTH) r.month = step(r.month, by, 1, 12);
  else if (f == RMD_F_DAY) r.day = step(r.day, by, 1, monthLength(r));
  else if (f == RMD_F_HOUR) r.hour = step(r.hour, by, 0, 23);
  else if (f == RMD_F_MINUTE) r.minute = step(r.minute, by, 0, 59);
  if (r.day > monthLength(r)) r.day = monthLength(r);
}

int RemindInputShow(Activity *a) {
  if (!a) return -1;
  RemindInput *e = inputOf(a);
  const VoiceRemind &r = e->copy;
  int lg = PromptLanguage();
  char text[160] = "";
  int f = e->field;
  if (f == RMD_F_RULE) {
    std::snprintf(text, sizeof text, "%s", RmdRuleName(r.kind, lg));
  } else if (f < RMD_F_YEAR) {
    bool on = r.kind & (1u << (16 + f - RMD_F_SUNDAY));
    std::snprintf(text, sizeof text, "%s, %s", kWeekday[lg][f - RMD_F_SUNDAY], tx(on ? T_SELECTED : T_UNSELECTED));
  } else if (f == RMD_F_YEAR) {
    SetYearStr(r.year, text, sizeof text, lg);
  } else if (f == RMD_F_MONTH) {
    SetMonthStr(r.month, text, sizeof text, lg);
  } else if (f == RMD_F_DAY) {
    SetDayStr(r.day, text, sizeof text, lg);
  } else if (f == RMD_F_HOUR) {
    if (GetTimeFormat()) SetHourStr(r.hour, text, sizeof text, lg);
    else SetHour12Str(r.hour, text, sizeof text, lg);
  } else if (f == RMD_F_MINUTE) {
    SetMinuteStr(r.minute, text, sizeof text, lg);
  } else {
    const std::string &play = e->made.empty() ? r.path : e->made;
    if (play.empty()) say(T_RECORD_HINT);
    else if (AudioSoundInsert(keepPath(play)) < 0) say(T_RECORD_HINT);
    return 0;
  }
  text_sound_insert(text);
  return 0;
}

// Closes the editor. save: the copy is stored (and scheduled); otherwise a
// recording made here is dropped and an edited reminder goes back as it was.
void closeInput(RemindInput *e, bool save, bool reshow) {
  if (save) {
    if (!e->made.empty()) {
      if (!e->copy.path.empty()) RmdRemoveFile(e->copy.path);
      e->copy.path = e->made;
    }
    if (e->is_new) RmdAppend(e->copy);
    else RmdEditEnd(e->index, &e->copy);
  } else {
    RmdRemoveFile(e->made);
    if (!e->is_new) RmdEditEnd(e->index, nullptr);
  }
  ActivityRemove(&e->head);
  delete e;
  if (reshow) ActivityReshow(GetCurrentActivity());
}

void dropInput(Activity *a, bool reshow) { closeInput(inputOf(a), false, reshow); }

int RemindInputKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  RemindInput *e = inputOf(a);
  switch (key->code) {
    case VKEY_LEFT:
      e->field = remind_prev_value(e->field, e->copy.kind & 0x3fff);
      return RemindInputShow(a);
    case VKEY_RIGHT:
      e->field = remind_next_value(e->field, e->copy.kind & 0x3fff);
      return RemindInputShow(a);
    case VKEY_UP:
    case VKEY_DOWN:
      if (e->field == RMD_F_RECORD) {
        say(T_RECORD_HINT);
        return 0;
      }
      change(e, key->code == VKEY_UP ? 1 : -1);
      return RemindInputShow(a);
    case VKEY_RECORD: {
      if (key->type != 0) return 0;
      std::string path = MicSoundRecord();
      if (path.empty()) {
        say(T_TOO_SHORT);
        return 0;
      }
      RmdRemoveFile(e->made);
      e->made = path;
      say(T_RECORDED);
      return 0;
    }
    case VKEY_OK:
      if (rule(e->copy) == RMD_WEEKLY && !(e->copy.kind & 0x7f0000u)) say(T_CHOOSE_DAYS);
      else if (e->made.empty() && e->copy.path.empty()) say(T_RECORD_HINT);
      else closeInput(e, true, true);
      return 0;
    case VKEY_MENU:
    case VKEY_ESC:
      return RemindInputShow(a);
    default: {
      int r = TagScreenKey(a, key, nullptr, dropInput);
      return r == -2 ? 1 : r;
    }
  }
}

Activity *RemindInputCreate(bool isNew) {
  if (isNew && RmdCount() >= kRmdMax) return nullptr;
  RemindInput *e = TagScreenNew<RemindInput>("RemindInput", RemindInputKey, RemindInputShow, TagScreenHide);
  if (!e) return nullptr;
  e->is_new = isNew;
  e->index = RmdCursor();
  e->field = RMD_F_RULE;
  if (isNew) {
    int now = AlarmNowMinute();
    e->copy.kind = RMD_ONCE;
    GetSdate(now / kAlarmDayMinutes, &e->copy.year, &e->copy.month, &e->copy.day);
    e->copy.hour = now % kAlarmDayMinutes / 60;
    e->copy.minute = now % 60;
  } else if (RmdEditBegin(e->index, &e->copy) != 0) {
    ActivityRemove(&e->head);
    delete e;
    return nullptr;
  }
  return &e->head;
}

// ---- Menu actions ----------------------------------------------------------

int VoiceRemindFunc(void *, int, int preview) {
  if (preview) return 0;
  RemindList *s = TagScreenNew<RemindList>("VoiceRemind", VoiceRemindKey, VoiceRemindShow, TagScreenHide);
  if (!s) return -1;
  ActivitySetActive(&s->head, 1);
  return 0;
}

int AddVoiceRemindingFunc(void *, int, int preview) {
  if (preview) return 0;
  if (RmdCount() >= kRmdMax) sayAndWait(T_FULL);
  else openScreen(RemindInputCreate(true));
  return 0;
}

int VoiceRemindChangeFunc(void *, int, int preview) {
  if (preview) return 0;
  if (RmdCount() == 0) sayAndWait(T_NONE);
  else openScreen(RemindInputCreate(false));
  return 0;
}

int DelVoiceRemindingFunc(void *, int, int preview) {
  if (preview) return 0;
  if (RmdCount() == 0) {
    sayAndWait(T_NONE);
    return 0;
  }
  if (DialogBoxCreate(tx(T_ASK_DELETE)) != VKEY_OK) {
    sayAndWait(T_DELETE_CANCELLED);
    return 0;
  }
  RmdDelete(RmdCursor());
  sayAndWait(T_DELETED);
  return 0;
}

int CleanVoiceRemindingFunc(void *, int, int preview) {
  if (preview) return 0;
  if (DialogBoxCreate(tx(T_ASK_CLEAN)) != VKEY_OK) {
    sayAndWait(T_CLEAN_CANCELLED);
    return 0;
  }
  RmdClean();
  sayAndWait(T_CLEANED);
  return 0;
}

}  // namespace

int VoiceRemindScreensInit(void) {
  MenuBindFunc("VoiceRemindFunc", VoiceRemindFunc);
  MenuBindFunc("AddVoiceRemindingFunc", AddVoiceRemindingFunc);
  MenuBindFunc("VoiceRemindChangeFunc", VoiceRemindChangeFunc);
  MenuBindFunc("DelVoiceRemindingFunc", DelVoiceRemindingFunc);
  MenuBindFunc("CleanVoiceRemindingFunc", CleanVoiceRemindingFunc);
  return 0;
}

int TagScreenHide(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

int TagScreenKey(Activity *a, const KeyEvent *key, MenuNode *menu, void (*close)(Activity *a, bool reshow)) {
  switch (key->code) {
    case VKEY_MENU: {
      if (!menu) return -2;
      Activity *m = MenuCreate(a, menu, nullptr, nullptr, a, 1);
      if (m) ActivitySetActive(m, 1);
      return 0;
    }
    case VKEY_BACK:
    case VKEY_POWEROFF:
      // The power key goes on down the stack; BACK lets the screen below speak.
      close(a, key->code == VKEY_BACK);
      return key->code == VKEY_POWEROFF ? 1 : 0;
    case VKEY_SDOUT:
    case VKEY_USBDISKOUT:
      return 0;
    default:
      return -2;
  }
}
