// The voice reminder store, its index file and its place in the alarm
// scheduler (see reminder.h for the records and the lock).
#include "core/clock/reminder.h"

#include "board/board.h"
#include "core/clock/lunar.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/xml.h"
#include "info/info.h"
#include "menu/mdata.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "toolbox/yuyintixin.c";
constexpr size_t kIndexLimit = 32767;

using Texts = const char *const[2];

std::vector<std::unique_ptr<VoiceRemind>> g_store;  // guarded by AlarmMutex(); slots never move
int g_cursor = 0;                                   // guarded by AlarmMutex()
// Guarded by AlarmMutex(): the index has been read, so the store may be
// written back (a store that never loaded must not overwrite the file).
bool g_loaded = false;

int weekdayOfDay(int dayNumber) { return (dayNumber + 1) % 7; }  // 1900-01-01 was a Monday

int nodeCallback(AlarmNode *node) { return _AlarmAddRmd(static_cast<VoiceRemind *>(node->owner)); }

void resetNode(VoiceRemind *r) {
  r->node = {&r->node, &r->node, 0, kRmdNodeType, r, nodeCallback};
}

bool fileExists(const std::string &path) {
  struct stat st;
  return !path.empty() && stat(BoardPath(path.c_str()).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The fields of a copy that the store keeps (not the node, not in_edit).
void copyFields(VoiceRemind *to, const VoiceRemind &from) {
  to->kind = from.kind;
  to->year = from.year;
  to->month = from.month;
  to->day = from.day;
  to->hour = from.hour;
  to->minute = from.minute;
  to->path = from.path;
}

// Parses an unsigned number in base at the front of text and moves past it.
bool number(std::string_view *text, int base, long long *out) {
  const char *b = text->data(), *e = b + text->size();
  auto [p, ec] = std::from_chars(b, e, *out, base);
  if (ec != std::errc() || p == b) return false;
  text->remove_prefix(static_cast<size_t>(p - b));
  return true;
}

std::string formatIndex() {
  std::string out;
  for (const auto &r : g_store) out += RmdFormatLine(r.get());
  return out;
}

}  // namespace

int RmdCheck(int year, int month, int day) {
  if (year < kRmdFirstYear || year > kRmdLastYear || month < 1 || month > 12 || day < 1 ||
      day > solarDays(year, month))
    return -1;
  return 0;
}

int RmdGetTimeAt(const VoiceRemind *r, int now) {
  if (!r || r->hour < 0 || r->hour >= 24 || r->minute < 0 || r->minute > 59 || now < 0) return -1;
  int mod = now % kAlarmDayMinutes;
  int dayNumber = now / kAlarmDayMinutes;
  int today = now - mod;
  int t0 = r->hour * 60 + r->minute;
  int y, m, d;
  GetSdate(dayNumber, &y, &m, &d);
  auto at = [t0](int yy, int mm, int dd) { return solarOffsetDays(yy, mm, dd) * kAlarmDayMinutes + t0; };
  switch (r->kind & 0xffff) {
    case RMD_ONCE: {
      if (RmdCheck(r->year, r->month, r->day) != 0) {
        LOGW("RmdCheck %d-%d-%d return -1\n", r->year, r->month, r->day);
        return -1;
      }
      int due = at(r->year, r->month, r->day);
      return due < now ? -1 : due;
    }
    case RMD_DAILY:
      return today + t0 + (t0 < mod ? kAlarmDayMinutes : 0);
    case RMD_WEEKLY: {
      int start = today + t0, w = weekdayOfDay(dayNumber);
      if (t0 < mod) {
        start += kAlarmDayMinutes;
        w = (w + 1) % 7;
      }
      for (int k = 0; k < 7; k++)
        if (r->kind & (1u << (16 + (w + k) % 7))) return start + k * kAlarmDayMinutes;
      return -1;
    }
    case RMD_MONTHLY:
      for (int k = 0; k < 3; k++, m = m % 12 + 1, y += m == 1) {
        if (r->day < 1 || r->day > solarDays(y, m)) continue;
        if (at(y, m, r->day) >= now) return at(y, m, r->day);
      }
      return -1;
    case RMD_ANNUALLY:
      for (int yy = y; yy < y + 5; yy++) {
        if (yy < kRmdFirstYear || yy > kRmdLastYear) continue;
        if (r->month < 1 || r->month > 12 || r->day < 1 || r->day > solarDays(yy, r->month)) continue;
        if (at(yy, r->month, r->day) >= now) return at(yy, r->month, r->day);
      }
      return -1;
    default:
      return -1;
  }
}

int RmdGetTime(const VoiceRemind *r) { return RmdGetTimeAt(r, AlarmNowMinute()); }

int RmdParseLine(std::string_view line, VoiceRemind *out) {
  if (!out) return -1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > 2 && line[0] == '0' && (line[1] == 'x' || line[1] == 'X')) line.remove_prefix(2);
  long long v[6];
  if (!number(&line, 16, &v[0]) || v[0] > 0xffffffffLL) return -1;
  for (int i = 1; i < 6; i++) {
    if (line.empty() || line[0] != ',') return -1;
    line.remove_prefix(1);
    bool negative = !line.empty() && line[0] == '-';
    if (negative) line.remove_prefix(1);
    if (!number(&line, 10, &v[i]) || v[i] > 1000000) return -1;
    if (negative) v[i] = -v[i];
  }
  if (line.size() < 2 || line[0] != ',') return -1;
  line.remove_prefix(1);
  out->kind = static_cast<unsigned>(v[0]);
  out->year = static_cast<int>(v[1]);
  out->month = static_cast<int>(v[2]);
  out->day = static_cast<int>(v[3]);
  out->hour = static_cast<int>(v[4]);
  out->minute = static_cast<int>(v[5]);
  out->path.assign(line);
  return 0;
}

std::string RmdFormatLine(const VoiceRemind *r) {
  char head[96];
  std::snprintf(head, sizeof head, "0x%x,%d,%d,%d,%d,%d,", r->kind, r->year, r->month, r->day, r->hour, r->minute);
  return head + r->path + "\n";
}

void RmdRemoveFile(const std::string &path) {
  if (path.empty()) return;
  // The index files are read from the disk: a line naming a file outside
  // the recordings' folder deletes nothing.
  if (path.rfind("/home/tag/", 0) != 0 || path.find("..") != std::string::npos) {
    LOGW("not a recording, kept: %s\n", path.c_str());
    return;
  }
  if (unlink(BoardPath(path.c_str()).c_str()) != 0 && errno != ENOENT) LOGW("cannot remove %s\n", path.c_str());
}

// ---- Scheduling ----

int _AlarmAddRmd(VoiceRemind *r) {
  if (!r) return -1;
  // A reminder due in the scheduler's current minute has rung (or missed
  // its tick): the next one counts from the following minute.
  int t = RmdGetTimeAt(r, _AlarmCurTt() + 1);
  if (t < 0) {
    _AlarmListDel(&r->node);
    return -2;
  }
  return _AlarmListAdd(&r->node, t);
}

int AlarmAddRmd(VoiceRemind *r) {
  std::scoped_lock lock(AlarmMutex());
  return _AlarmAddRmd(r);
}

int AlarmDelRmd(VoiceRemind *r) { return r ? AlarmListDel(&r->node) : -1; }

std::string _RmdPathOfNode(const AlarmNode *node) {
  if (!node || node->type != kRmdNodeType || !node->owner) return {};
  return static_cast<const VoiceRemind *>(node->owner)->path;
}

void _ReInitVoiceRemind(void) {
  for (auto &r : g_store)
    if (!r->in_edit) _AlarmAddRmd(r.get());
}

void ReInitVoiceRemind(void) {
  std::scoped_lock lock(AlarmMutex());
  _ReInitVoiceRemind();
}

int InitVoiceRemind(void) {
  VoiceRemindScreensInit();
  std::string text;
  int got = ReadFileHead(kRmdIndexFile, kIndexLimit, &text);
  std::vector<std::unique_ptr<VoiceRemind>> loaded;
  TagIndexLines(text, [&](std::string_view line) {
    VoiceRemind r;
    if (loaded.size() >= kRmdMax || RmdParseLine(line, &r) != 0) return;
    if (!fileExists(r.path)) {
      LOGW("voice reminder %s is gone\n", r.path.c_str());
      return;
    }
    auto slot = std::make_unique<VoiceRemind>();
    copyFields(slot.get(), r);
    resetNode(slot.get());
    loaded.push_back(std::move(slot));
  });
  std::scoped_lock lock(AlarmMutex());
  for (auto &slot : g_store) _AlarmListDel(&slot->node);
  g_store = std::move(loaded);
  g_cursor = 0;
  g_loaded = true;
  _ReInitVoiceRemind();
  return got < 0 ? -1 : 0;
}

int RmdSaveIndex(void) {
  std::string text;
  {
    std::scoped_lock lock(AlarmMutex());
    if (!g_loaded) return -1;
    text = formatIndex();
  }
  return SaveFileSafe(kRmdIndexFile, text.data(), text.size());
}

int DeInitVoiceRemind(void) {
  int r = RmdSaveIndex();
  std::scoped_lock lock(AlarmMutex());
  for (auto &slot : g_store) _AlarmListDel(&slot->node);
  g_store.clear();
  g_cursor = 0;
  g_loaded = false;
  return r;
}

// ---- The store ----

int RmdCount(void) {
  std::scoped_lock lock(AlarmMutex());
  return static_cast<int>(g_store.size());
}

int RmdCursor(void) {
  std::scoped_lock lock(AlarmMutex());
  return g_cursor;
}

void RmdSetCursor(int cursor) {
  std::scoped_lock lock(AlarmMutex());
  int n = static_cast<int>(g_store.size());
  g_cursor = n == 0 ? 0 : (cursor % n + n) % n;
}

int RmdGet(int index, VoiceRemind *out) {
  std::scoped_lock lock(AlarmMutex());
  if (!out || index < 0 || index >= static_cast<int>(g_store.size())) return -1;
  copyFields(out, *g_store[static_cast<size_t>(index)]);
  return 0;
}

int RmdAppend(const VoiceRemind &r) {
  auto slot = std::make_unique<VoiceRemind>();
  copyFields(slot.get(), r);
  resetNode(slot.get());
  int index;
  {
    std::scoped_lock lock(AlarmMutex());
    if (g_store.size() >= kRmdMax) return -1;
    g_store.push_back(std::move(slot));
    index = g_cursor = static_cast<int>(g_store.size()) - 1;
    _AlarmAddRmd(g_store.back().get());
  }
  RmdSaveIndex();
  return index;
}

int RmdEditBegin(int index, VoiceRemind *copy) {
  std::scoped_lock lock(AlarmMutex());
  if (!copy || index < 0 || index >= static_cast<int>(g_store.size())) return -1;
  VoiceRemind *r = g_store[static_cast<size_t>(index)].get();
  _AlarmListDel(&r->node);
  r->in_edit = 1;
  copyFields(copy, *r);
  return 0;
}

int RmdEditEnd(int index, const VoiceRemind *changed) {
  {
    std::scoped_lock lock(AlarmMutex());
    if (index < 0 || index >= static_cast<int>(g_store.size())) return -1;
    VoiceRemind *r = g_store[static_cast<size_t>(index)].get();
    if (changed) copyFields(r, *changed);
    r->in_edit = 0;
    _AlarmAddRmd(r);
  }
  if (changed) RmdSaveIndex();
  return 0;
}

int RmdDelete(int index) {
  std::unique_ptr<VoiceRemind> gone;
  {
    std::scoped_lock lock(AlarmMutex());
    if (index < 0 || index >= static_cast<int>(g_store.size())) return -1;
    auto at = g_store.begin() + index;
    _AlarmListDel(&(*at)->node);  // the others keep their nodes: slots never move
    gone = std::move(*at);
    g_store.erase(at);
    int n = static_cast<int>(g_store.size());
    if (g_cursor >= n) g_cursor = n > 0 ? n - 1 : 0;
  }
  RmdRemoveFile(gone->path);
  RmdSaveIndex();
  return 0;
}

int RmdClean(void) {
  std::vector<std::unique_ptr<VoiceRemind>> gone;
  {
    std::scoped_lock lock(AlarmMutex());
    for (auto &slot : g_store) _AlarmListDel(&slot->node);
    gone.swap(g_store);
    g_cursor = 0;
  }
  if (gone.empty()) return 0;
  for (auto &slot : gone) RmdRemoveFile(slot->path);
  RmdSaveIndex();
  return 0;
}

// ---- Spoken texts ----

const char *RmdRuleName(unsigned kind, int lang) {
  static Texts kOnce = {"仅一次", "Only once"}, kDaily = {"每天", "Every day"}, kWeekly = {"每周", "weekly"},
               kMonthly = {"每月", "monthly"}, kAnnually = {"每年", "annually"};
  lang = lang ? 1 : 0;
  switch (kind & 0xffff) {
    case RMD_DAILY: return kDaily[lang];
    case RMD_WEEKLY: return kWeekly[lang];
    case RMD_MONTHLY: return kMonthly[lang];
    case RMD_ANNUALLY: return kAnnually[lang];
    default: return kOnce[lang];
  }
}

char *YuYinTinXinToStr(char *buf, int size, const VoiceRemind *r, int index) {
  static const char *const kWeekday[2][7] = {
      {"周日", "周一", "周二", "周三", "周四", "周五", "周六"},
      {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};
  if (!buf || size < 1) return buf;
  buf[0] = '\0';
  if (!r) return buf;
  int lg = PromptLanguage();
  std::string text = lg ? "Voice reminder " : "语音提醒 ";
  text += std::to_string(index + 1) + ":" + RmdRuleName(r->kind, lg) + ",";
  unsigned rule = r->kind & 0xffff;
  if (rule == RMD_WEEKLY)
    for (int d = 0; d < 7; d++)
      if (r->kind & (1u << (16 + d))) text += std::string(kWeekday[lg][d]) + ",";
  int year = rule == RMD_ONCE ? r->year : 0;
  int month = rule == RMD_ONCE || rule == RMD_ANNUALLY ? r->month : 0;
  int day = rule == RMD_ONCE || rule == RMD_ANNUALLY || rule == RMD_MONTHLY ? r->day : 0;
  char when[160];
  if (lg == 0) {
    RmdTimeToStr(when, sizeof when, 0, year, month, day, r->hour, r->minute, GetTimeFormat());
  } else {
    // The date and time phrase has no English form: the setting phrases stand in.
    char part[48];
    when[0] = '\0';
    auto add = [&](char *phrase) {
      std::strncat(when, phrase, sizeof when - std::strlen(when) - 1);
      std::strncat(when, " ", sizeof when - std::strlen(when) - 1);
    };
    if (year >= 1) add(SetYearStr(year, part, sizeof part, 1));
    if (month > 0) add(SetMonthStr(month, part, sizeof part, 1));
    if (day > 0) add(SetDayStr(day, part, sizeof part, 1));
    add(GetTimeFormat() ? SetHourStr(r->hour, part, sizeof part, 1) : SetHour12Str(r->hour, part, sizeof part, 1));
    SetMinuteStr(r->minute, part, sizeof part, 1);
    std::strncat(when, part, sizeof when - std::strlen(when) - 1);
  }
  text += when;
  std::snprintf(buf, static_cast<size_t>(size), "%s", text.c_str());
  return buf;
}

int remind_next_value(int field, unsigned mask) {
  for (int k = 1; k < 14; k++)
    if (mask & (1u << ((field + k) % 14))) return (field + k) % 14;
  std::printf("remind_next_value: not next_value!\n");
  return field;
}

int remind_prev_value(int field, unsigned mask) {
  for (int k = 1; k < 14; k++)
    if (mask & (1u << ((field + 14 - k) % 14))) return (field + 14 - k) % 14;
  std::printf("remind_next_value: not next_value!\n");
  return field;
}
