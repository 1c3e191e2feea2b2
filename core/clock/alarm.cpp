// The alarm scheduler (see alarm.h for the records, threads and the lock).
//
// A ringing occurrence: counter 0 -> due (counter 1) -> ring -> snooze
// (next ring repeat_delay x counter minutes after the alarm time) ... ->
// stopped or used up (counter 0). A daily or weekday alarm is then
// scheduled for its next day at once, whether it rang out, was snoozed to
// its end or stopped: it never drops out of the list while enabled, so it
// rings every day and always programs a wake-up. The scheduler's date moves
// on at midnight and a clock set back or to another day reschedules every
// record, so the relative records (announcement, idle countdown) carry on.
#include "core/clock/alarm.h"

#include "board/board.h"
#include "core/clock/alarm_screens.h"
#include "core/runtime/globals.h"
#include "core/runtime/activity.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/clock/lunar.h"
#include "core/clock/reminder.h"
#include "core/runtime/xml.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>

constexpr char kLogSource[] = "core/alarm.c";

AlarmRecord galm[ALARM_COUNT];

namespace {

constexpr int kRingMs = 45000;  // a ring ends before the next minute's tick
constexpr const char *kRingFiles[] = {"/home/ring1.mp3", "/home/ring2.mp3", "/home/ring3.mp3", "/home/ring4.mp3",
                                      "/home/ring5.mp3", "/home/ring6.mp3", "/home/ring7.mp3"};
constexpr const char *kDefaultRing = "/home/default_ringl.mp3";
constexpr const char *kAlarmFields[] = {"id",   "mode", "hours",        "minutes",      "delay",   "yy", "mm",
                                        "dd",   "flag", "enable",       "repeat_count", "repeat_delay",
                                        "counter", "val"};

std::mutex g_mutex;  // guards galm, the list and everything below marked so
AlarmNode g_head = {&g_head, &g_head, 0, 0, nullptr, nullptr};  // guarded by g_mutex
int g_curTt = 0;       // guarded by g_mutex: the current minute as last seen (tick, edits)
int g_day = -1;        // guarded by g_mutex: the scheduler's date (day number), -1 none yet
int g_announceSeconds = 0;  // guarded by g_mutex: the settings as last applied
int g_autoOffSeconds = 0;
bool g_autoOffHeld = false;  // guarded by g_mutex: a player holds the idle countdown off
bool g_damaged = false;      // the alarm file and its backup were unreadable (main thread)
Event g_tick = EVENT_INIT_SELF(g_tick);
std::array<AlarmJob, 4> g_jobs;  // guarded by g_mutex: jobs handed to dialogs, reused in turn
int g_nextJob = 0;

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

void say(const char *text) { wait_text_sound_end(text_sound_insert(text)); }

int weekdayOf(int minute) { return (minute / kAlarmDayMinutes + 1) % 7; }  // 1900-01-01 was a Monday

bool validDate(int y, int m, int d) { return y >= 1900 && m >= 1 && m <= 12 && d >= 1 && d <= solarDays(y, m); }

int rescheduleRecord(AlarmNode *node);

AlarmRecord builtIn(int id) {
  AlarmRecord a{};
  a.id = id;
  a.mode = id >= ALARM_ID_POWER_OFF ? 1 : 0;
  a.delay = 1;
  a.flag = id < ALARM_ID_USER ? 127 : 0;
  a.repeat_count = 1;
  a.repeat_delay = 1;
  a.counter = 1;
  a.val = id == ALARM_ID_ANNOUNCE    ? ALARM_VAL_ANNOUNCE
          : id == ALARM_ID_AUTO_OFF  ? ALARM_VAL_AUTO_OFF
          : id == ALARM_ID_POWER_OFF ? ALARM_VAL_POWER_OFF
          : id == ALARM_ID_POWER_ON  ? ALARM_VAL_POWER_ON
                                     : 0;
  a.node = {&galm[id].node, &galm[id].node, 0, ALARM_NODE_RECORD | (id >= 3 ? 0x10000 : 0), &galm[id],
            rescheduleRecord};
  return a;
}

// The records hold their built-in values from the start: players hold the
// idle countdown off before the alarm file is read.
struct BuiltInRecords {
  BuiltInRecords() {
    for (int id = 0; id < ALARM_COUNT; id++) galm[id] = builtIn(id);
  }
} g_builtInRecords;

bool isRecord(const AlarmNode *n) { return (n->type & 0xffff) == ALARM_NODE_RECORD; }
bool linked(const AlarmNode *n) { return n->next != n; }

void unlink(AlarmNode *n) {
  n->prev->next = n->next;
  n->next->prev = n->prev;
  n->next = n->prev = n;
}

// The announcement fires on the quarter, half or full hour: its base is the
// current minute cut down to a multiple of the interval.
void rebaseAnnounce(AlarmRecord *a, int now) {
  int mod = now % kAlarmDayMinutes;
  if (a->delay > 0 && a->delay <= 60) mod -= mod % a->delay;
  a->hours = mod / 60;
  a->minutes = mod % 60;
}

void syncDate(AlarmRecord *a, int now) {
  GetSdate(now / kAlarmDayMinutes, &a->yy, &a->mm, &a->dd);
  if (a->mode == 0) {
    a->hours = now % kAlarmDayMinutes / 60;
    a->minutes = now % 60;
  }
}

// The reschedule of a record node (lock held). A ringing alarm whose
// occurrence is used up starts its next occurrence.
int rescheduleRecord(AlarmNode *node) {
  auto *a = static_cast<AlarmRecord *>(node->owner);
  if (a->val == ALARM_VAL_ANNOUNCE) rebaseAnnounce(a, g_curTt);
  if (a->mode == 1 && a->flag != 0 && a->enable && a->counter >= a->repeat_count) a->counter = 0;
  return _AlarmAddA(a);
}

// Records 0 and 1 from a setting in seconds (lock held).
void applySetting(AlarmRecord *a, int seconds, int now) {
  _AlarmListDel(&a->node);
  if (seconds <= 0 || (a->id == ALARM_ID_AUTO_OFF && g_autoOffHeld)) {
    a->enable = 0;
    return;
  }
  syncDate(a, now);
  a->counter = 0;
  a->delay = seconds / 60;
  a->enable = 1;
  if (a->id == ALARM_ID_ANNOUNCE) rebaseAnnounce(a, now);
  _AlarmAddA(a);
}

void resetLocked(int now) {
  if (CfgDebugAlarm && g_day >= 0) {
    int y0, m0, d0, y1, m1, d1;
    GetSdate(g_day, &y0, &m0, &d0);
    GetSdate(now / kAlarmDayMinutes, &y1, &m1, &d1);
    LOGI("%d-%d-%d ==> %d-%d-%d\n", y0, m0, d0, y1, m1, d1);
  }
  while (linked(&g_head)) unlink(g_head.next);
  g_curTt = now;
  applySetting(&galm[ALARM_ID_ANNOUNCE], g_announceSeconds, now);
  applySetting(&galm[ALARM_ID_AUTO_OFF], g_autoOffSeconds, now);
  for (int id = ALARM_ID_POWER_OFF; id < ALARM_COUNT; id++) {
    if (galm[id].in_edit) continue;  // the editor reschedules it when it closes
    galm[id].counter = 0;
    _AlarmAddA(&galm[id]);
  }
  _ReInitVoiceRemind();
  g_day = now / kAlarmDayMinutes;
}

int AlarmCallback(void *arg, int flag);

void armTick(int seconds) {
  EventDel(&g_tick);
  g_tick.timeout = seconds * 1000000;
  g_tick.callback = AlarmCallback;
  g_tick.check = nullptr;
  g_tick.flag = EVENT_TIMER;
  g_tick.arg = nullptr;
  EventAdd(&g_tick);
}

void speakTime(const AlarmJob &job) {
  char hour[64], minute[64], text[192];
  if (GetTimeFormat()) SetHourStr(job.hours, hour, sizeof hour, PromptLanguage());
  else SetHour12Str(job.hours, hour, sizeof hour, PromptLanguage());
  SetMinuteStr(job.minutes, minute, sizeof minute, PromptLanguage());
  std::snprintf(text, sizeof text, "%s: %s %s", PromptLanguage() ? "current time" : "现在时间", hour, minute);
  say(text);
}

const char *ringFile(int val) {
  const char *file = AlarmRingFile(val);
  struct stat st;
  return stat(BoardPath(file).c_str(), &st) == 0 ? file : kDefaultRing;
}

// Ends the occurrence of a ringing alarm: off the list, counter 0, a
// one-date alarm switched off, the next occurrence scheduled.
void endOccurrence(int id) {
  std::scoped_lock lock(g_mutex);
  AlarmRecord *a = &galm[id];
  _AlarmListDel(&a->node);
  a->counter = 0;
  if (a->flag == 0) a->enable = 0;
  if (!a->in_edit) _AlarmAddA(a);
}

void ring(const AlarmJob &job, std::atomic<int> *state) {
  AlarmRecord a;
  AlarmGet(job.alarm, &a);
  const char *file = ringFile(a.val);
  int64_t start = BoardMonotonicUs();
  while (*state == DLG_RUNNING && BoardMonotonicUs() - start < kRingMs * 1000LL) {
    if (AudioSoundEnded() && AudioSoundInsert(file) < 0) {
      LOGW("ring tone %s cannot be played\n", file);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  int st = *state;
  AudioSoundDeInit();
  static const char *const kClosed[] = {"已关闭闹钟", "Alarm closed"};
  if (st == DLG_CANCEL || st == DLG_ABORT || (st == DLG_RUNNING && job.ring_counter >= a.repeat_count)) {
    endOccurrence(job.alarm);
    if (st != DLG_ABORT) say(kClosed[PromptLanguage()]);
    return;
  }
  if (job.ring_counter < a.repeat_count) {
    char text[96];
    say(AlarmAfterMinutes(a.repeat_delay, text, sizeof text, PromptLanguage()));
  } else {
    say(kClosed[PromptLanguage()]);
  }
}

// Plays a voice reminder's recording once, until a key stops it.
void playReminder(const std::string &file, std::atomic<int> *state) {
  constexpr int64_t kLongestUs = 70 * 1000000LL;  // a memo recording holds at most 65 s
  std::printf("voice reminder: %s\n", file.c_str());
  int h = AudioSoundInsert(file.c_str());
  if (h < 0) {
    LOGW("AudioOpen return %d\n", h);
    return;
  }
  int64_t start = BoardMonotonicUs();
  while (*state == DLG_RUNNING && !AudioSoundEnded() && BoardMonotonicUs() - start < kLongestUs)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  AudioSoundDeInit();
}

// The worker dialog's job: a reminder, then ring, speak the time, switch off.
void AlarmRun(void *arg, std::atomic<int> *state) {
  AlarmJob job;
  {
    std::scoped_lock lock(g_mutex);
    job = *static_cast<AlarmJob *>(arg);
  }
  if (!job.reminder.empty()) playReminder(job.reminder, state);
  if (job.alarm >= 0) {
    AlarmRecord a;
    AlarmGet(job.alarm, &a);
    if (a.val == ALARM_VAL_ANNOUNCE) speakTime(job);
    else if (a.val < ALARM_VAL_POWER_ON) ring(job, state);
  }
  if (job.power_off >= 0) {
    // The listener hears why the device goes off before it says so.
    static const char *const kWhy[2][2] = {{"定时关机", "Timed shutdown"}, {"自动关机", "Auto shutdown"}};
    AlarmRecord a;
    AlarmGet(job.power_off, &a);
    say(kWhy[a.val == ALARM_VAL_AUTO_OFF ? 1 : 0][PromptLanguage()]);
    *state = DLG_ABORT;
    SendVKey(VKEY_POWEROFF);
  }
}

// On the key distribution thread: the dialog that runs a job.
void startJob(void *arg) {
  auto *job = static_cast<AlarmJob *>(arg);
  int powerOff;
  {
    std::scoped_lock lock(g_mutex);
    powerOff = job->power_off;
  }
  DialogBox *box = NewDialogBox();
  if (box) {
    // NewDialogBox leaves the texts unset: the ring says nothing of its own.
    box->text[0] = box->text[1] = box->text[2] = nullptr;
    box->info = nullptr;
    box->state = DLG_RUNNING;
    box->key_mode = 1;
    box->work = AlarmRun;
    box->work_arg = job;
  }
  int r = box ? DailogBoxRun(box) : -1;
  if (r != 0) {
    LOGE("DailogBoxRun return %d\n", r);
    if (powerOff >= 0) SendVKey(VKEY_POWEROFF);
  }
}

int AlarmCallback(void *, int flag) {
  if (flag != EVENT_TIMER) return 0;
  time_t now = BoardTime();
  AlarmJob job;
  if (AlarmTickAt(AlarmMinuteOf(now), &job)) {
    AlarmJob *slot;
    {
      std::scoped_lock lock(g_mutex);
      slot = &g_jobs[static_cast<size_t>(g_nextJob)];
      g_nextJob = (g_nextJob + 1) % static_cast<int>(g_jobs.size());
      *slot = job;
    }
    ActivityPost([slot] { startJob(slot); });
  }
  armTick(65 - static_cast<int>(now % 60));
  return 0;
}

bool readRecord(xmlNode *first, AlarmRecord *out) {
  int v[14];
  for (int i = 0; i < 14; i++) {
    if (XxmlGetValue(first, kAlarmFields[i], &v[i]) != 0) {
      LOGW("alarm/%s: XmlGetValue return error\n", kAlarmFields[i]);
      return false;
    }
  }
  int id = v[0], val = v[13];
  bool kindOk = id == ALARM_ID_POWER_ON ? val == ALARM_VAL_POWER_ON
                : id == ALARM_ID_POWER_OFF ? val == ALARM_VAL_POWER_OFF
                                           : id >= ALARM_ID_USER && id < ALARM_COUNT && val >= 0 && val <= 6;
  if (!kindOk || v[2] < 0 || v[2] >= 24 || v[3] < 0 || v[3] > 59 || v[4] < 0 || v[8] < 0 || v[8] > 127 ||
      v[11] < 1 || v[11] > 10 || v[10] < 1 || v[10] > 5)
    return false;
  AlarmRecord a = builtIn(id);
  a.mode = v[1] ? 1 : 0;
  a.hours = v[2];
  a.minutes = v[3];
  a.delay = v[4];
  a.yy = v[5];
  a.mm = v[6];
  a.dd = v[7];
  a.flag = v[8];
  a.enable = v[9] ? 1 : 0;
  a.repeat_count = v[10];
  a.repeat_delay = v[11];
  a.val = val;
  *out = a;
  return true;
}

// Reads one alarm file into the records. Returns 0, -1 unreadable or no
// root (records untouched).
int loadFile(const char *path) {
  XmlDocPtr doc;
  xmlNode *root = nullptr;
  if (XxmlReadFile(path, &doc) != 0 || !(root = xmlDocGetRootElement(doc.get()))) {
    LOGW("xml_file %s no root\n", path);
    return -1;
  }
  if (std::strcmp(reinterpret_cast<const char *>(root->name), "q7_alarm") != 0) {
    LOGW("XmlEnterPath enter q7_alarm return NULL\n");
    return -1;
  }
  for (const char *f : {"alarm_time/year", "alarm_time/month", "alarm_time/day"}) {
    int v;
    if (XxmlPathGetValue(root->children, f, &v) != 0) LOGW("%s: XmlGetValue return error\n", f);
  }
  std::scoped_lock lock(g_mutex);
  for (xmlNode *n = root->children; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char *>(n->name), "alarm") != 0) continue;
    AlarmRecord a;
    if (!readRecord(n->children, &a)) continue;
    _AlarmListDel(&galm[a.id].node);
    galm[a.id] = a;
    galm[a.id].node.next = galm[a.id].node.prev = &galm[a.id].node;
    if (CfgDebugAlarm)
      LOGI("%s: ------alarm[%d]------\nmode:         %d\nhours:        %d\nminutes:      %d\n", path, a.id, a.mode,
           a.hours, a.minutes);
  }
  return 0;
}

}  // namespace

int AlarmMinuteOf(time_t seconds) {
  int64_t s = static_cast<int64_t>(seconds);  // minutes before 1970 round down too
  return static_cast<int>(s / 60 - (s % 60 < 0 ? 1 : 0)) + kAlarmEpochMinutes;
}
time_t AlarmSecondsOf(int minute) { return static_cast<time_t>(minute - kAlarmEpochMinutes) * 60; }
int AlarmNowMinute(void) { return AlarmMinuteOf(BoardTime()); }

const char *AlarmRingFile(int val) { return val >= 0 && val <= 6 ? kRingFiles[val] : kDefaultRing; }

int AGetTimeAt(const AlarmRecord *a, int now) {
  if (!a || a->hours < 0 || a->hours >= 24 || a->minutes < 0 || a->minutes >= 60 || !a->enable ||
      a->counter >= a->repeat_count || now < 0)
    return -1;
  int base = a->hours * 60 + a->minutes + a->repeat_delay * a->counter;
  int mod = now % kAlarmDayMinutes;
  int day0 = now - mod;
  if (a->mode == 0) return base + a->delay > mod ? day0 + base + a->delay : -1;
  if (a->flag & 127) {
    int t = day0 + base;
    int w = weekdayOf(now);
    if (base <= mod) {
      t += kAlarmDayMinutes;
      w = (w + 1) % 7;
    }
    for (int k = 0; k < 7; k++)
      if (a->flag & (1 << ((w + k) % 7))) return t + kAlarmDayMinutes * k;
    return -1;
  }
  if (!validDate(a->yy, a->mm, a->dd)) return -1;
  int t = base + kAlarmDayMinutes * solarOffsetDays(a->yy, a->mm, a->dd);
  return t > now ? t : -1;
}

int AGetTime(const AlarmRecord *a) { return AGetTimeAt(a, AlarmNowMinute()); }

int _AlarmListAdd(AlarmNode *node, int t) {
  if (!node) return -1;
  if (t <= g_curTt) return -2;
  if (linked(node)) unlink(node);
  AlarmNode *at = g_head.next;
  while (at != &g_head && at->time <= t) at = at->next;
  node->time = t;
  node->next = at;
  node->prev = at->prev;
  at->prev->next = node;
  at->prev = node;
  return 0;
}

int AlarmListAdd(AlarmNode *node, int t) {
  std::scoped_lock lock(g_mutex);
  return _AlarmListAdd(node, t);
}

int _AlarmListDel(AlarmNode *node) {
  if (!node) return -1;
  if (linked(node)) unlink(node);
  return 0;
}

int AlarmListDel(AlarmNode *node) {
  std::scoped_lock lock(g_mutex);
  return _AlarmListDel(node);
}

int _AlarmAddA(AlarmRecord *a) {
  if (!a) return -1;
  int t = AGetTimeAt(a, g_curTt);
  return t < 0 ? -2 : _AlarmListAdd(&a->node, t);
}

int AlarmAddA(AlarmRecord *a) {
  std::scoped_lock lock(g_mutex);
  g_curTt = std::max(g_curTt, AlarmNowMinute());
  return _AlarmAddA(a);
}

int AlarmDelA(AlarmRecord *a) { return a ? AlarmListDel(&a->node) : -1; }

int AlarmPendingTime(const AlarmRecord *a) {
  std::scoped_lock lock(g_mutex);
  return a && linked(&a->node) ? a->node.time : -1;
}

std::mutex &AlarmMutex(void) { return g_mutex; }
int _AlarmCurTt(void) { return g_curTt; }

void AlarmSyncTime(AlarmRecord *a) {
  if (a) syncDate(a, AlarmNowMinute());
}

int AlarmGet(int id, AlarmRecord *out) {
  if (id < 0 || id >= ALARM_COUNT || !out) return -1;
  std::scoped_lock lock(g_mutex);
  *out = galm[id];
  return 0;
}

int AlarmEditBegin(int id, AlarmRecord *copy) {
  if (id < 0 || id >= ALARM_COUNT || !copy) return -1;
  std::scoped_lock lock(g_mutex);
  _AlarmListDel(&galm[id].node);
  galm[id].in_edit = 1;
  *copy = galm[id];
  return 0;
}

int AlarmEditEnd(int id, const AlarmRecord *changed) {
  if (id < 0 || id >= ALARM_COUNT) return -1;
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  AlarmRecord *a = &galm[id];
  if (changed) {
    AlarmNode node = a->node;  // the links stay the record's own
    *a = *changed;
    a->node = node;
  }
  a->in_edit = 0;
  g_curTt = std::max(g_curTt, now);
  _AlarmAddA(a);
  return 0;
}

int AlarmTickAt(int now, AlarmJob *job) {
  *job = {-1, 0, -1, now % kAlarmDayMinutes / 60, now % 60, {}};
  std::scoped_lock lock(g_mutex);
  bool back = now < g_curTt;
  g_curTt = now;
  AlarmNode late{&late, &late, 0, 0, nullptr, nullptr}, due{&due, &due, 0, 0, nullptr, nullptr};
  while (g_head.next != &g_head && g_head.next->time <= now) {
    AlarmNode *n = g_head.next;
    AlarmNode *into = n->time < now ? &late : &due;
    unlink(n);
    n->next = into;
    n->prev = into->prev;
    into->prev->next = n;
    into->prev = n;
  }
  while (linked(&late)) {
    AlarmNode *n = late.next;
    unlink(n);
    if (isRecord(n)) static_cast<AlarmRecord *>(n->owner)->counter = 0;
    if (n->callback) n->callback(n);
  }
  while (linked(&due)) {
    AlarmNode *n = due.next;
    unlink(n);
    if (!isRecord(n)) {
      if ((n->type & 1) && job->reminder.empty()) job->reminder = _RmdPathOfNode(n);
      if (n->owner && n->callback) n->callback(n);  // voice reminders carry their own work
      continue;
    }
    auto *a = static_cast<AlarmRecord *>(n->owner);
    if (a->val == ALARM_VAL_POWER_OFF || a->val == ALARM_VAL_AUTO_OFF) {
      if (job->power_off < 0) job->power_off = a->id;
    } else if (a->val < ALARM_VAL_POWER_ON) {
      if (job->alarm >= 0 && galm[job->alarm].val < ALARM_VAL_POWER_ON) galm[job->alarm].counter = 0;
      a->counter++;
      job->alarm = a->id;
      job->ring_counter = a->counter;
    } else if (a->val == ALARM_VAL_ANNOUNCE) {
      if (job->alarm < 0) job->alarm = a->id;
    }
    if (n->callback) n->callback(n);
  }
  if (back || now / kAlarmDayMinutes != g_day) resetLocked(now);
  return job->alarm >= 0 || job->power_off >= 0 || !job->reminder.empty();
}

int AlarmInit(void) {
  {
    std::scoped_lock lock(g_mutex);
    g_curTt = AlarmNowMinute();
  }
  AlarmScreensInit();
  MenuBindFunc("TimeAnnounceFunc", TimeAnnounceFunc);
  MenuBindFunc("AutoShutDownFunc", AutoShutDownFunc);
  armTick(1);
  if (g_damaged) {
    static const char *const kDamaged[] = {"闹钟设置已损坏，已恢复默认设置", "Alarm settings were damaged; defaults restored"};
    say(kDamaged[PromptLanguage()]);
  }
  return 0;
}

void AlarmDeInit(void) { EventDel(&g_tick); }

void AlarmReset(void) {
  std::scoped_lock lock(g_mutex);
  while (linked(&g_head)) unlink(g_head.next);
  for (int id = 0; id < ALARM_COUNT; id++) galm[id] = builtIn(id);
  g_curTt = 0;
  g_day = -1;
  g_announceSeconds = g_autoOffSeconds = 0;
  g_autoOffHeld = false;
}

int LoadAlarm(const char *path) {
  if (!path) return -1;
  std::string file = path, backup = file + ".bak";
  struct stat st;
  bool present = stat(BoardPath(path).c_str(), &st) == 0;
  int r = present ? loadFile(path) : -1;
  if (r != 0 && present) {
    LOGE("alarm file %s is damaged\n", path);
    XxmlKeepBad(path);  // a failure only loses the evidence
  }
  if (r != 0 && stat(BoardPath(backup.c_str()).c_str(), &st) == 0) {
    r = loadFile(backup.c_str());
    if (r == 0) LOGW("alarms loaded from %s\n", backup.c_str());
  }
  g_damaged = r != 0 && present;
  std::scoped_lock lock(g_mutex);
  resetLocked(AlarmNowMinute());
  return r;
}

int SaveAlarm(const char *path) {
  if (!path) return -1;
  XmlDocPtr doc(xmlNewDoc(X("1.0")));
  if (!doc) return -1;
  xmlNode *root = xmlNewDocNode(doc.get(), nullptr, X("q7_alarm"), nullptr);
  xmlDocSetRootElement(doc.get(), root);
  auto put = [](xmlNode *parent, const char *name, int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", v);
    xmlNewTextChild(parent, nullptr, X(name), X(text));
  };
  int y, m, d;
  GetSdate(AlarmNowMinute() / kAlarmDayMinutes, &y, &m, &d);
  xmlNode *date = xmlNewChild(root, nullptr, X("alarm_time"), nullptr);
  put(date, "year", y);
  put(date, "month", m);
  put(date, "day", d);
  {
    std::scoped_lock lock(g_mutex);
    for (int id = ALARM_ID_POWER_OFF; id < ALARM_COUNT; id++) {
      const AlarmRecord &a = galm[id];
      const int v[14] = {a.id, a.mode, a.hours, a.minutes, a.delay, a.yy, a.mm, a.dd, a.flag, a.enable,
                         a.repeat_count, a.repeat_delay, a.counter > 0 ? a.repeat_count : 0, a.val};
      xmlNode *e = xmlNewChild(root, nullptr, X("alarm"), nullptr);
      for (int i = 0; i < 14; i++) put(e, kAlarmFields[i], v[i]);
    }
  }
  if (XxmlSaveFile(doc.get(), path) != 0) return -1;
  XxmlSaveFile(doc.get(), (std::string(path) + ".bak").c_str());
  return 0;
}

int InitAlarmFromMenu(void) {
  int announce = 0, autoOff = 0;
  if (ItemGetValue(&TimeAnnounce, nullptr, &announce) != 0 || ItemGetValue(&AutoShutDown, nullptr, &autoOff) != 0)
    LOGW("ItemGetValue return error!\n");
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  g_curTt = std::max(g_curTt, now);
  g_announceSeconds = announce;
  g_autoOffSeconds = autoOff;
  applySetting(&galm[ALARM_ID_ANNOUNCE], announce, now);
  applySetting(&galm[ALARM_ID_AUTO_OFF], autoOff, now);
  return 0;
}

int TimeAnnounceFunc(void *, int seconds, int preview) {
  if (preview) return 0;
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  g_announceSeconds = seconds;
  applySetting(&galm[ALARM_ID_ANNOUNCE], seconds, now);
  return 0;
}

int AutoShutDownFunc(void *, int seconds, int preview) {
  if (preview) return 0;
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  g_autoOffSeconds = seconds;
  g_autoOffHeld = false;  // the user's own choice applies at once
  applySetting(&galm[ALARM_ID_AUTO_OFF], seconds, now);
  return 0;
}

int AlarmResetAutoPowerOffTime(void) {
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  AlarmRecord *a = &galm[ALARM_ID_AUTO_OFF];
  if (!a->enable || a->in_edit) return 0;
  g_curTt = std::max(g_curTt, now);
  applySetting(a, g_autoOffSeconds, now);
  return 0;
}

int SaveAndStopAutoShutdown(void) {
  std::scoped_lock lock(g_mutex);
  AlarmRecord *a = &galm[ALARM_ID_AUTO_OFF];
  int previous = a->enable;
  g_autoOffHeld = true;
  a->enable = 0;
  _AlarmListDel(&a->node);
  return previous;
}

int RestoryAutoShutdown(int enable) {
  int now = AlarmNowMinute();
  std::scoped_lock lock(g_mutex);
  g_autoOffHeld = !enable;
  g_curTt = std::max(g_curTt, now);
  // Only a countdown the user chose comes back: a paused player asks for
  // one even when the setting is off.
  applySetting(&galm[ALARM_ID_AUTO_OFF], g_autoOffSeconds, now);
  return 0;
}

int ReSetAlarm(int now) {
  std::scoped_lock lock(g_mutex);
  resetLocked(now);
  return 0;
}

time_t AlarmWakeTime(time_t now) {
  int minute = AlarmMinuteOf(now + 14);  // second 46 and later count as the next minute
  std::scoped_lock lock(g_mutex);
  for (AlarmNode *n = g_head.next; n != &g_head; n = n->next) {
    if (n->time <= minute) continue;
    if (isRecord(n) ? static_cast<AlarmRecord *>(n->owner)->val < ALARM_VAL_POWER_OFF : (n->type & 1))
      return AlarmSecondsOf(n->time - 1) + 45;
  }
  return -1;
}

int AlarmSetPowerOnRTC(void) {
  time_t wake = AlarmWakeTime(BoardTime());
  if (wake < 0) return -1;
  return BoardRtcSetWakeAlarm(wake) == 0 ? 0 : -1;
}
