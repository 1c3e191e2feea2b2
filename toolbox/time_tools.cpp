// The count-up timer and the massage log: the two tools that keep a store.
// Both stores are small XML files written crash-safe (XxmlSaveFile) after
// every change, so a power cut loses at most the change being made.
//
// Timer ("/home/calcultime.xml"): OK starts and stops timing; the moment it
// started is stored at once, so a run goes on across a restart. A stopped
// run is added to the totals of the day, month and year it stopped in (the
// year before's total is kept for one year). UP/DOWN step through the
// totals, ESC speaks the running time and all totals.
// Massage log ("/home/anmo.xml"): the first entry adds a treatment at the
// present time (OK), the following ones are the treatments, newest first
// (UP/DOWN); ESC speaks the counts of today, this month and all. At most
// kMaxTreatments are kept; the oldest go first.
#include "toolbox/toolbox.h"

#include "board/board.h"
#include "core/clock/lunar.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/xml.h"
#include "info/info.h"
#include "menu/mdata.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr char kLogSource[] = "toolbox/calcultime.c";
constexpr char kTimerFile[] = "/home/calcultime.xml";
constexpr char kAnMoFile[] = "/home/anmo.xml";
constexpr size_t kMaxTreatments = 1000;

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

int lang() { return PromptLanguage(); }

int64_t now() { return static_cast<int64_t>(BoardTime()); }

// Day number, year and month of a time.
struct Day {
  int y, m, d;
};
Day dayOf(int64_t t) {
  Day r{};
  GetSdate(static_cast<int>(t / 86400 + 25567), &r.y, &r.m, &r.d);
  return r;
}

// Reads the root element of a store; null when missing or damaged (a
// damaged store is logged and starts afresh).
xmlNode *storeRoot(const char *path, const char *name, XmlDocPtr *doc) {
  if (XxmlReadFile(path, doc) != 0) return nullptr;
  xmlNode *root = xmlDocGetRootElement(doc->get());
  if (!root || xmlStrcmp(root->name, X(name)) != 0) {
    LOGW("%s: no %s element, starting afresh\n", path, name);
    return nullptr;
  }
  return root;
}

int64_t number(xmlNode *node) {
  xmlChar *text = xmlNodeGetContent(node);
  int64_t v = text ? std::strtoll(reinterpret_cast<const char *>(text), nullptr, 10) : 0;
  xmlFree(text);
  return v;
}

// A new document with its root element; values appended with addNumber.
XmlDocPtr newStore(const char *name, xmlNode **root) {
  XmlDocPtr doc(xmlNewDoc(X("1.0")));
  *root = xmlNewDocNode(doc.get(), nullptr, X(name), nullptr);
  xmlDocSetRootElement(doc.get(), *root);
  return doc;
}

void addNumber(xmlNode *root, const char *name, int64_t v) {
  xmlNewChild(root, nullptr, X(name), X(std::to_string(v).c_str()));
}

// "1小时05分钟" style in Chinese through the info builder, or English.
std::string hoursMinutes(int64_t seconds, char *(*zh)(int, char *, int, int), const char *en) {
  int minutes = static_cast<int>(seconds / 60);
  char buf[128];
  if (lang() == 0) return zh(minutes, buf, sizeof buf, 0);
  std::snprintf(buf, sizeof buf, "%s%s%d hours %d minutes", en, *en ? " " : "", minutes / 60, minutes % 60);
  return buf;
}

// ---- Count-up timer -----------------------------------------------------

ToolTexts kTimerTitle = {"计时器", "Timer"}, kRunning = {"正在计时", "running"};
ToolTexts kPressOk = {"按OK键开始计时", "press OK to start"}, kSaveFailed = {"保存失败", "Cannot save"};
ToolTexts kStarted = {"开始计时", "Timing started"}, kStopped = {"停止计时", "Timing stopped"};

enum { T_DAY, T_MONTH, T_YEAR, T_LASTYEAR, T_COUNT };
const char *const kTotalTags[T_COUNT] = {"day", "month", "year", "lastyear"};
const char *const kTotalEn[T_COUNT] = {"Today", "This month", "This year", "Last year"};
char *(*const kTotalZh[T_COUNT])(int, char *, int, int) = {CalculDTotalHMToStr, CalculMTotalHMToStr,
                                                            CalculYTotalHMToStr, CalculPreYTotalHMToStr};

struct Timer : ToolScreen {
  int64_t start = 0;        // 0: stopped
  int64_t stamp = 0;        // when the totals were last brought up to date
  int64_t total[T_COUNT] = {};
  int cursor = 0;

  Timer() {
    XmlDocPtr doc;
    xmlNode *root = storeRoot(kTimerFile, "calcultime", &doc);
    for (xmlNode *n = root ? root->children : nullptr; n; n = n->next) {
      if (n->type != XML_ELEMENT_NODE) continue;
      if (!xmlStrcmp(n->name, X("start"))) start = number(n);
      if (!xmlStrcmp(n->name, X("stamp"))) stamp = number(n);
      for (int i = 0; i < T_COUNT; i++)
        if (!xmlStrcmp(n->name, X(kTotalTags[i]))) total[i] = number(n) < 0 ? 0 : number(n);
    }
    roll(now());
  }

  // Starts new periods when the day, month or year has changed.
  void roll(int64_t t) {
    Day a = dayOf(stamp), b = dayOf(t);
    if (a.y != b.y) {
      total[T_LASTYEAR] = b.y == a.y + 1 ? total[T_YEAR] : 0;
      total[T_YEAR] = total[T_MONTH] = total[T_DAY] = 0;
    } else if (a.m != b.m) {
      total[T_MONTH] = total[T_DAY] = 0;
    } else if (a.d != b.d) {
      total[T_DAY] = 0;
    }
    stamp = t;
  }

  bool save() const {
    xmlNode *root = nullptr;
    XmlDocPtr doc = newStore("calcultime", &root);
    addNumber(root, "start", start);
    addNumber(root, "stamp", stamp);
    for (int i = 0; i < T_COUNT; i++) addNumber(root, kTotalTags[i], total[i]);
    return XxmlSaveFile(doc.get(), kTimerFile) == 0;
  }

  int64_t elapsed() const { return start && now() > start ? now() - start : 0; }

  std::string totalText(int i) const { return hoursMinutes(total[i], kTotalZh[i], kTotalEn[i]); }

  int Show() override {
    std::string text = std::string(ToolText(kTimerTitle)) + ", ";
    text += start ? std::string(ToolText(kRunning)) + ", " + hoursMinutes(elapsed(), CalculPassedHMToStr, "")
                  : ToolText(kPressOk);
    return ToolSay(text.c_str());
  }

  int toggle() {
    std::string text;
    if (!start) {
      start = now();
      text = ToolText(kStarted);
    } else {
      int64_t run = elapsed();
      roll(now());
      for (int i = T_DAY; i <= T_YEAR; i++) total[i] += run;
      start = 0;
      text = std::string(ToolText(kStopped)) + ", " + hoursMinutes(run, CalculHMToStr, "") + ", " +
             totalText(T_DAY);
    }
    if (!save()) text += std::string(", ") + ToolText(kSaveFailed);
    if (CfgDebugCTime) LOGI("timer %s\n", text.c_str());
    return ToolSay(text.c_str());
  }

  int report() {
    roll(now());
    std::string text = start ? hoursMinutes(elapsed(), CalculPassedHMToStr, "") + ", " : std::string();
    for (int i = 0; i < T_COUNT; i++) text += totalText(i) + (i + 1 < T_COUNT ? ", " : "");
    return ToolSay(text.c_str());
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_OK: return toggle();
      case VKEY_ESC: return report();
      case VKEY_UP:
      case VKEY_LEFT:
        cursor = (cursor + T_COUNT - 1) % T_COUNT;
        return ToolSay(totalText(cursor).c_str());
      case VKEY_DOWN:
      case VKEY_RIGHT:
        cursor = (cursor + 1) % T_COUNT;
        return ToolSay(totalText(cursor).c_str());
      default: return 1;
    }
  }
};

// ---- Massage log --------------------------------------------------------

ToolTexts kAnMoTitle = {"按摩管理系统", "Massage log"}, kAdd = {"按OK键新增按摩记录", "Press OK to add a treatment"};
ToolTexts kAdded = {"已记录第%d次按摩", "Treatment %d recorded"}, kEntry = {"第%d次按摩", "Treatment %d"};
ToolTexts kCounts = {"今天%d次, 本月%d次, 共%d次", "Today %d, this month %d, in all %d treatments"};

struct AnMo : ToolScreen {
  std::vector<int64_t> treatments;  // oldest first
  int cursor = 0;                   // 0: add; k: the k-th newest treatment

  AnMo() {
    XmlDocPtr doc;
    xmlNode *root = storeRoot(kAnMoFile, "anmo", &doc);
    for (xmlNode *n = root ? root->children : nullptr; n; n = n->next)
      if (n->type == XML_ELEMENT_NODE && !xmlStrcmp(n->name, X("treatment")) && treatments.size() < kMaxTreatments)
        treatments.push_back(number(n));
  }

  int count() const { return static_cast<int>(treatments.size()); }

  std::string entryText(int k) const {
    int number = count() - k + 1;  // the k-th newest is treatment count - k + 1
    int64_t t = treatments[static_cast<size_t>(number - 1)];
    char head[64], when[256];
    std::snprintf(head, sizeof head, ToolText(kEntry), number);
    time_t tt = static_cast<time_t>(t);
    struct tm tm {};
    gmtime_r(&tt, &tm);
    if (lang() == 0) {
      RmdTimeToStr(when, sizeof when, 0, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                   GetTimeFormat());
    } else {
      std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
    }
    return std::string(head) + ", " + when;
  }

  int Show() override {
    if (cursor == 0) return ToolSay((std::string(ToolText(kAnMoTitle)) + ", " + ToolText(kAdd)).c_str());
    return ToolSay(entryText(cursor).c_str());
  }

  int add() {
    treatments.push_back(now());
    if (treatments.size() > kMaxTreatments) treatments.erase(treatments.begin());
    xmlNode *root = nullptr;
    XmlDocPtr doc = newStore("anmo", &root);
    for (int64_t t : treatments) addNumber(root, "treatment", t);
    if (XxmlSaveFile(doc.get(), kAnMoFile) != 0) return ToolSay(ToolText(kSaveFailed));
    char text[128];
    std::snprintf(text, sizeof text, ToolText(kAdded), count());
    return ToolSay(text);
  }

  int counts() const {
    Day today = dayOf(now());
    int d = 0, m = 0;
    for (int64_t t : treatments) {
      Day x = dayOf(t);
      if (x.y == today.y && x.m == today.m) m++, d += x.d == today.d;
    }
    char text[128];
    std::snprintf(text, sizeof text, ToolText(kCounts), d, m, count());
    return ToolSay(text);
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_UP:
      case VKEY_LEFT:
        cursor = (cursor + count()) % (count() + 1);
        return Show();
      case VKEY_DOWN:
      case VKEY_RIGHT:
        cursor = (cursor + 1) % (count() + 1);
        return Show();
      case VKEY_OK: return cursor == 0 ? add() : Show();
      case VKEY_ESC: return counts();
      default: return 1;
    }
  }
};

}  // namespace

int CalculTimeTool(void *, int, int) { return ToolOpen(new (std::nothrow) Timer, "CalculTime"); }
int AnMoTool(void *, int, int) { return ToolOpen(new (std::nothrow) AnMo, "AnMo"); }
