// core/clock/reminder.h: the voice reminders. Up to 100 recordings, each
// with a repetition rule and a time, kept in one process-wide store and in
// the index file "/home/tag/tixin". Every reminder is a node of the alarm
// scheduler's list (core/clock/alarm.h), which rings it when it is due and
// asks this module for its next due time.
//
// Records: a reminder lives in a heap slot that never moves while it
// exists, so its list node stays valid whatever else is added or deleted;
// the store keeps the slots in the order the user walks them. The store and
// every slot are guarded by the scheduler's lock (AlarmMutex); the
// underscore functions expect it held. A ringing reminder plays a copy of
// its path, so deleting it meanwhile frees nothing that plays.
//
// Index line: "0x%x,%d,%d,%d,%d,%d,%s\n" of kind, year, month, day, hour,
// minute and the recording's path.
#pragma once

#include "core/clock/alarm.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

constexpr int kRmdMax = 100;
constexpr int kRmdNodeType = 0x10001;  // odd: a voice reminder node of the scheduler's list
constexpr char kRmdIndexFile[] = "/home/tag/tixin";

// Rule codes (the low 16 bits of kind). Bit i of a code marks edit field i
// as used by the rule; a weekly kind holds its weekdays in bits 16..22
// (bit 16 Sunday).
enum : unsigned {
  RMD_ONCE = 0x3F01,
  RMD_DAILY = 0x3801,
  RMD_WEEKLY = 0x20FF,
  RMD_MONTHLY = 0x3C01,
  RMD_ANNUALLY = 0x3E01,
};

// Edit fields: 0 rule, 1..7 weekdays Sunday..Saturday, 8 year, 9 month,
// 10 day, 11 hour, 12 minute, 13 recording.
enum { RMD_F_RULE = 0, RMD_F_SUNDAY = 1, RMD_F_YEAR = 8, RMD_F_MONTH = 9, RMD_F_DAY = 10, RMD_F_HOUR = 11,
       RMD_F_MINUTE = 12, RMD_F_RECORD = 13 };

// Years a one-date or annual reminder may use.
constexpr int kRmdFirstYear = 2015;
constexpr int kRmdLastYear = 2099;

struct VoiceRemind {
  AlarmNode node;  // links to itself while not scheduled
  unsigned kind = RMD_ONCE;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  std::string path;  // the recording's fixed path
  int in_edit = 0;   // 1 while an editor holds it out of the list
};

// 0 when year/month/day is a date of the reminders' years, else -1.
int RmdCheck(int year, int month, int day);

// Next due scheduler minute of r seen at minute now (a reminder due at now
// itself counts), or -1 when there is none. Pure.
int RmdGetTimeAt(const VoiceRemind *r, int now);
int RmdGetTime(const VoiceRemind *r);

// One index line without its newline into *out (path included; the file is
// not looked at). Returns 0, or -1 when the line does not have the shape.
int RmdParseLine(std::string_view line, VoiceRemind *out);
// The index line of r, newline included.
std::string RmdFormatLine(const VoiceRemind *r);

// Calls fn for each line of an index text: a line runs to "\n" or to the
// end of the text, so a last line without its newline counts too.
template <typename Fn>
void TagIndexLines(std::string_view text, Fn fn) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    fn(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// Removes a recording file of the system (no shell). A file that is already
// gone is fine; a path outside "/home/tag/" is left alone.
void RmdRemoveFile(const std::string &path);

// Start-up: reads the index (reminders whose recording is gone are dropped)
// and schedules every reminder. Returns 0, or -1 when there is no index.
int InitVoiceRemind(void);
// Shutdown: writes the index and empties the store. Returns 0, -1.
int DeInitVoiceRemind(void);
// Reschedules every reminder not in edit (after a clock change). The
// underscore form runs with the scheduler's lock held.
void ReInitVoiceRemind(void);
void _ReInitVoiceRemind(void);

// Schedules r at its next due time after the scheduler's current minute:
// 0, -2 when there is none. AlarmDelRmd unlinks it. Underscore: lock held.
int AlarmAddRmd(VoiceRemind *r);
int _AlarmAddRmd(VoiceRemind *r);
int AlarmDelRmd(VoiceRemind *r);

// The recording of a reminder node, for the ringing job ("" for another node).
std::string _RmdPathOfNode(const AlarmNode *node);

// ---- The store (each call takes the lock) ----

int RmdCount(void);
int RmdCursor(void);
void RmdSetCursor(int cursor);
// A copy of reminder index (its node is not part of it). 0, -1 no such.
int RmdGet(int index, VoiceRemind *out);
// Appends a reminder (kind, date, time, path), makes it current, schedules
// it and writes the index. Returns its index, -1 when the store is full.
int RmdAppend(const VoiceRemind &r);
// Takes reminder index out of the list for an editor; End writes changed
// back (null: keeps it as it was), schedules it and writes the index.
int RmdEditBegin(int index, VoiceRemind *copy);
int RmdEditEnd(int index, const VoiceRemind *changed);
// Unschedules and deletes reminder index with its recording, closes the
// gap and writes the index. Returns 0, -1 no such.
int RmdDelete(int index);
// Unschedules and deletes every reminder. Returns 0.
int RmdClean(void);
// Writes the index file crash-safe. Returns 0, -1.
int RmdSaveIndex(void);

// The spoken summary of reminder r, numbered index + 1.
char *YuYinTinXinToStr(char *buf, int size, const VoiceRemind *r, int index);
// The rule's spoken name.
const char *RmdRuleName(unsigned kind, int lang);

// The next / previous edit field after field (wrapping) whose bit is set
// in mask; field itself when there is no other.
int remind_next_value(int field, unsigned mask);
int remind_prev_value(int field, unsigned mask);

// Binds the reminder menu actions and screens. Returns 0.
int VoiceRemindScreensInit(void);
