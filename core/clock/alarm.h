// core/clock/alarm.h: the alarm scheduler. Eight fixed records (the time
// announcement, the idle auto power-off, timed power-off, timed power-on and
// four user alarms) are kept in one list of pending times, sorted by
// scheduler minute. A main-loop timer ticks once a minute, takes what is
// due off the list, reschedules it and has an alarm rung (or the time
// spoken, or the device switched off) through a worker dialog. At shutdown
// the alarms are saved and the next wake-up is written into the real-time
// clock's wake alarm.
//
// Time unit: scheduler minutes, minutes since 1900-01-01 00:00 UTC (Unix
// seconds / 60 + kAlarmEpochMinutes).
//
// Threads and locks: the tick runs on the main loop; the ringing job on a
// worker dialog's thread; menu and editor changes on the key distribution
// thread. One mutex guards the list and every record's fields; it is the
// innermost lock of the program: nothing is spoken, no screen, dialog or
// sound call is made while it is held. Records are read by other threads
// only through AlarmGet (a copy).
#pragma once

#include <ctime>
#include <mutex>
#include <string>

constexpr int kAlarmEpochMinutes = 36816480;  // 25567 days, 1900-01-01 to 1970-01-01
constexpr int kAlarmDayMinutes = 1440;

enum {
  ALARM_ID_ANNOUNCE = 0,
  ALARM_ID_AUTO_OFF = 1,
  ALARM_ID_POWER_OFF = 2,
  ALARM_ID_POWER_ON = 3,
  ALARM_ID_USER = 4,  // 4..7
  ALARM_COUNT = 8,
};

// Kinds (val): 0..6 ringing alarms (ring tone index), then these.
enum { ALARM_VAL_POWER_ON = 7, ALARM_VAL_POWER_OFF = 8, ALARM_VAL_ANNOUNCE = 9, ALARM_VAL_AUTO_OFF = 10 };

enum { ALARM_NODE_RECORD = 2 };  // low half of a node's type; odd types are voice reminders

// One pending time of the list. A node in no list links to itself.
struct AlarmNode {
  AlarmNode *next;
  AlarmNode *prev;
  int time;   // scheduler minute
  int type;   // ALARM_NODE_RECORD (| 0x10000 for ids 3..7), or odd for a voice reminder
  void *owner;                        // the record, or the reminder's own data
  int (*callback)(AlarmNode *node);   // reschedules; runs with the lock held
};

struct AlarmRecord {
  int id;
  int mode;          // 0 relative: delay minutes after hours:minutes, within today; 1 absolute
  int hours;         // 0..23
  int minutes;       // 0..59
  int delay;         // minutes (mode 0)
  int yy, mm, dd;    // the date of a one-date alarm (flag 0); for the rest the day it was set
  int flag;          // weekday mask, bit 0 Sunday; 127 every day; 0 one date
  int enable;        // 0/1
  int repeat_count;  // rings per occurrence, snoozes included, 1..5
  int repeat_delay;  // minutes between rings, 1..10
  int counter;       // rings made in the current occurrence
  int in_edit;       // 1 while an editor holds the record out of the list
  int val;           // kind
  AlarmNode node;
};

// The records, index = id. Guarded by the scheduler's lock.
extern AlarmRecord galm[ALARM_COUNT];

// Scheduler minute of a Unix time, and back (the minute's first second).
int AlarmMinuteOf(time_t seconds);
time_t AlarmSecondsOf(int minute);
// The current scheduler minute from the board's clock.
int AlarmNowMinute(void);

// Next scheduler minute at which record a fires, seen at minute now;
// -1 when it never will (disabled, bad time, occurrence used up, one date
// past). Pure.
int AGetTimeAt(const AlarmRecord *a, int now);
int AGetTime(const AlarmRecord *a);

// The pending list. Add links node at time t in order: 0; -1 null node;
// -2 when t is not after the current minute (nothing linked). A node
// already in the list is moved. Del unlinks (a node in no list is left
// alone): 0, -1 null. The underscore forms expect the lock to be held.
int AlarmListAdd(AlarmNode *node, int t);
int _AlarmListAdd(AlarmNode *node, int t);
int AlarmListDel(AlarmNode *node);
int _AlarmListDel(AlarmNode *node);
// Schedules a record at its next time (AGetTime): 0, -2 when it has none.
int AlarmAddA(AlarmRecord *a);
int _AlarmAddA(AlarmRecord *a);
int AlarmDelA(AlarmRecord *a);
// Pending time of a record, -1 when it is not in the list.
int AlarmPendingTime(const AlarmRecord *a);

// The scheduler's lock, which guards the voice reminders' store too, and
// its current minute (lock held).
std::mutex &AlarmMutex(void);
int _AlarmCurTt(void);

// Sets the record's date to today and, for mode 0, its time to now.
void AlarmSyncTime(AlarmRecord *a);

// A copy of record id taken under the lock; 0, -1 for a bad id.
int AlarmGet(int id, AlarmRecord *out);

// The editor's bracket: Begin takes record id out of the list, marks it in
// edit and copies it; End writes changed back (null: keeps the record as it
// was), clears the mark and reschedules it. Both return 0, -1 for a bad id.
int AlarmEditBegin(int id, AlarmRecord *copy);
int AlarmEditEnd(int id, const AlarmRecord *changed);

// What one tick chose to do.
struct AlarmJob {
  int alarm;         // id of the alarm to ring or the announcement; -1 none
  int ring_counter;  // that alarm's counter when it became due
  int power_off;     // id of the power-off or auto power-off record; -1 none
  int hours, minutes;  // the minute of the tick (spoken by the announcement)
  std::string reminder;  // a copy of the due voice reminder's recording, "" none
};

// The tick's work at minute now, without clock or sound: takes late and due
// nodes off the list, reschedules them and fills job (the first due voice
// reminder is played before the alarm). Returns 1 when the
// job has something to do, else 0. A date other than the scheduler's date
// (midnight passed, clock set to another day) or a clock set back
// reschedules everything afterwards.
int AlarmTickAt(int now, AlarmJob *job);

// Starts the scheduler: the current minute, the tick on the main loop, the
// menu bindings of the alarm screens. Speaks a notice when the alarm file
// was damaged beyond its backup. Returns 0.
int AlarmInit(void);
// Takes the tick off the main loop. For tests.
void AlarmDeInit(void);

// Reads the alarm file (and its backup when the file is damaged, which is
// kept as path.bad). Returns 0; -1 when neither can be parsed or has the
// root; the records then keep their built-in values. Records 2..7 are
// scheduled; a file saved on another day reschedules everything.
int LoadAlarm(const char *path);
// Writes the alarm file and its backup, each crash-safe. Returns 0, -1.
int SaveAlarm(const char *path);

// Applies the time announcement and idle power-off settings to records 0
// and 1 and reschedules them. Returns 0.
int InitAlarmFromMenu(void);
// The set functions of those two menu items (value: seconds, 0 off).
int TimeAnnounceFunc(void *context, int seconds, int preview);
int AutoShutDownFunc(void *context, int seconds, int preview);

// Restarts the idle countdown (every key, and playback ending). Returns 0.
int AlarmResetAutoPowerOffTime(void);
// Holds the idle countdown off while a player plays: returns the previous
// enable of record 1 after disabling it. Restory re-enables it with a fresh
// countdown (when the setting is not off) or keeps it off.
int SaveAndStopAutoShutdown(void);
int RestoryAutoShutdown(int enable);

// Rebuilds the whole list for the day of minute now (a new date, a clock
// set back). Returns 0.
int ReSetAlarm(int now);

// The wake-up the real-time clock should hold when switched off at Unix
// time now: one minute before the first ringing alarm or timed power-on
// after now, at second 45. Now counts as the next minute from its second
// 46 on. Returns the Unix time, or -1 when nothing needs a wake-up.
time_t AlarmWakeTime(time_t now);
// Programs that wake-up (shutdown). Returns 0, or -1 when there is none or
// the clock refused it.
int AlarmSetPowerOnRTC(void);

// Puts the records back to their built-in values and empties the list.
// For tests.
void AlarmReset(void);

// The ring tone file of a kind 0..6.
const char *AlarmRingFile(int val);
