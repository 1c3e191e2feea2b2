// The configuration store: the settings' built-in values, and reading and
// writing the device's configuration file "/home/<device>cfg.xml".
//
// Saving never leaves a broken file: the document is written to a temporary
// file, flushed and renamed over the old one, then the same is done for the
// backup copy "...cfg.xml.bak". At start a file that cannot be parsed (or is
// too big, or has no element of this device) is logged, kept as a numbered
// "...cfg.xml.bad" (so no save overwrites the evidence) and the backup copy
// is read instead; with neither, the built-in values stay and CfgWasReset
// says so. Loading runs on the main thread at start-up; CfgSaveAll also
// runs on the key thread while the device is on, one writer at a time.
#include "core/runtime/config.h"

#include "board/board.h"
#include "core/clock/lunar.h"
#include "core/runtime/log.h"
#include "core/runtime/xml.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <ctime>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

int LogFileNo = 0;
int ContinueLastFile = 0;
int CfgLogToFile = 1, CfgLogLevel = 1, CfgMaxLogFileSize = 1048576, CfgMaxLogFile = 4;
int CfgMaxKeyBufferLength = 32, CfgKeyFirstDelay = 1000000, CfgKeyDelay = 150000;
int CfgFileSortAscent = 1;
int CfgYear = -1, CfgMonth = -1, CfgDay = -1, CfgHour = -1, CfgMinute = -1;
int CfgUsbDelay = 200, CfgBatteryCheckTime = 300, CfgBatteryLow = 10, CfgBatteryOff = 5;

int WnlYear[4] = {2018, 2018, 2018, 2018};
int WnlMonth[4] = {1, 1, 1, 1};
int WnlDay[4] = {1, 1, 1, 1};
int WnlHour[4] = {0, 0, 0, 0};
int WnlTwoMonth[4] = {0, 0, 0, 0};

int record_no = 0;

namespace {

constexpr char kLogSource[] = "core/config.c";

// One integer key; a null variable marks LastPath, the one text key.
struct CfgKey {
  const char *name;
  int *value;
  unsigned min, max;
};

// The "config" block, in the order of the file.
const CfgKey kConfigKeys[] = {
    {"MainVolume", &MainVolume, 0, 25},
    {"PromptVolume", &PromptVolume, 1, 25},
    {"RadioVolume", &RadioVolume, 0, 25},
    {"LogFileNo", &LogFileNo, 0, 9999},
    {"LastPath", nullptr, 0, 0},
    {"ContinueLastFile", &ContinueLastFile, 0, 100},
    {"CfgLogToFile", &CfgLogToFile, 0, 100},
    {"CfgLogLevel", &CfgLogLevel, 0, 100},
    {"CfgMaxLogFileSize", &CfgMaxLogFileSize, 1048576, 104857600},
    {"CfgMaxLogFile", &CfgMaxLogFile, 0, 100},
    {"CfgMaxKeyBufferLength", &CfgMaxKeyBufferLength, 4, 64},
    {"CfgKeyFirstDelay", &CfgKeyFirstDelay, 100000, 4000000},
    {"CfgKeyDelay", &CfgKeyDelay, 100000, 1000000},
    {"CfgFileSortAscent", &CfgFileSortAscent, 0, 100},
    {"CfgYear", &CfgYear, 1970, 3000},
    {"CfgMonth", &CfgMonth, 1, 12},
    {"CfgDay", &CfgDay, 1, 31},
    {"CfgHour", &CfgHour, 0, 23},
    {"CfgMinute", &CfgMinute, 0, 59},
    {"CfgUsbDelay", &CfgUsbDelay, 1, 1000},
    {"CfgBatteryCheckTime", &CfgBatteryCheckTime, 1, 1800},
    {"CfgBatteryLow", &CfgBatteryLow, 0, 100},
    {"CfgBatteryOff", &CfgBatteryOff, 0, 100},
    {"CfgDebugEvt", &CfgDebugEvt, 0, 100},
    {"CfgDebugSnd", &CfgDebugSnd, 0, 100},
    {"CfgDebugTts", &CfgDebugTts, 0, 100},
    {"CfgDebugTxtSnd", &CfgDebugTxtSnd, 0, 100},
    {"CfgDebugKey", &CfgDebugKey, 0, 100},
    {"CfgDebugFilebrowser", &CfgDebugFilebrowser, 0, 100},
    {"CfgDebugMenu", &CfgDebugMenu, 0, 100},
    {"CfgDebugEbook", &CfgDebugEbook, 0, 100},
    {"CfgDebugBookmark", &CfgDebugBookmark, 0, 100},
    {"CfgDebugDaisy", &CfgDebugDaisy, 0, 100},
    {"CfgDebugAudio", &CfgDebugAudio, 0, 100},
    {"CfgDebugRadio", &CfgDebugRadio, 0, 100},
    {"CfgDebugFfaudio", &CfgDebugFfaudio, 0, 100},
    {"CfgDebugRecord", &CfgDebugRecord, 0, 100},
    {"CfgDebugAlarm", &CfgDebugAlarm, 0, 100},
    {"CfgDebugCalendar", &CfgDebugCalendar, 0, 100},
    {"CfgDebugRes", &CfgDebugRes, 0, 100},
    {"CfgDebugAnMo", &CfgDebugAnMo, 0, 100},
    {"CfgDebugCTime", &CfgDebugCTime, 0, 100},
    {"CfgDebugCalcul", &CfgDebugCalcul, 0, 100},
};

// The "calendar" block: year0, month0, day0, hour0, twomonth0, then 1..3.
struct WnlField {
  const char *name;
  int *values;
  unsigned min, max;
};
const WnlField kWnlFields[] = {
    {"year", WnlYear, 1970, 3000}, {"month", WnlMonth, 1, 12}, {"day", WnlDay, 1, 31},
    {"hour", WnlHour, 0, 23},      {"twomonth", WnlTwoMonth, 0, 1},
};

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

// Reads one integer key; out-of-range values (compared as unsigned, so
// negative ones too) leave the variable alone.
void loadInt(xmlNode *first, const char *name, int *var, unsigned min, unsigned max) {
  int v;
  if (XxmlGetValue(first, name, &v) != 0) {
    LOGW("%s: XxmlGetStr return error\n", name);
    return;
  }
  if (static_cast<unsigned>(v) < min || static_cast<unsigned>(v) > max) {
    LOGW("%d out range!\n", v);
    return;
  }
  *var = v;
}

void loadLastPath(xmlNode *first) {
  char *text = nullptr;
  if (XxmlGetStr(first, "LastPath", &text) != 0) {
    LOGW("%s: XxmlGetStr return error\n", "LastPath");
    return;
  }
  size_t n = std::strlen(text);
  char *copy = new (std::nothrow) char[n + 1];
  if (!copy) {
    LOGW("strdup %s return NULL!\n", text);
    return;
  }
  std::memcpy(copy, text, n + 1);
  delete[] LastPath;
  LastPath = copy;
}

// A start on another day than the stored one restarts the recording
// counter; the stored date then becomes now.
void applyDateRule() {
  time_t now = BoardTime();
  struct tm tm;
  gmtime_r(&now, &tm);
  int y = tm.tm_year + 1900, m = tm.tm_mon + 1, d = tm.tm_mday;
  if (CfgYear >= 0 && CfgMonth >= 0 && CfgDay >= 0 && CfgHour >= 0 && CfgMinute >= 0 &&
      CfgDay <= solarDays(CfgYear, CfgMonth) && (CfgYear != y || CfgMonth != m || CfgDay != d))
    record_no = 1;
  CfgYear = y;
  CfgMonth = m;
  CfgDay = d;
  CfgHour = tm.tm_hour;
  CfgMinute = tm.tm_min;
}

void addInt(xmlNode *parent, const char *name, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  xmlNewTextChild(parent, nullptr, X(name), X(text));
}

// The blocks of higher layers, in the order they were registered.
const CfgBlock *g_blocks[8];
int g_blockCount;

std::string configFile() { return std::string("/home/") + (DeviceName ? DeviceName : "") + "cfg.xml"; }

bool exists(const std::string &path) {
  struct stat st;
  return stat(BoardPath(path.c_str()).c_str(), &st) == 0;
}

}  // namespace

int CfgDataInit(void) { return 0; }

void CfgDataDeInit(void) {
  delete[] LastPath;
  LastPath = nullptr;
}

int CfgDataLoad(xmlNode *first) {
  if (!first) return -1;
  for (const CfgKey &k : kConfigKeys) {
    if (k.value) loadInt(first, k.name, k.value, k.min, k.max);
    else loadLastPath(first);
  }
  applyDateRule();
  return 0;
}

int CfgDataSave(xmlNode *parent) {
  if (!parent) return -1;
  xmlNode *block = xmlNewChild(parent, nullptr, X("config"), nullptr);
  for (const CfgKey &k : kConfigKeys) {
    if (k.value) {
      // Read as an atomic: the log's rotation moves LogFileNo on whatever
      // thread writes the line that fills a file.
      addInt(block, k.name, std::atomic_ref<int>(*k.value).load(std::memory_order_relaxed));
      continue;
    }
    // Up to four bytes per byte of text (a "$x" escape).
    const char *path = LastPath ? LastPath : "";
    std::vector<char> escaped(std::strlen(path) * 4 + 1);
    Str2XmlStr(path, escaped.data(), static_cast<int>(escaped.size()));
    xmlNewTextChild(block, nullptr, X("LastPath"), X(escaped.data()));
  }
  return 0;
}

int WnlLoad(xmlNode *first) {
  if (!first) return -1;
  for (int n = 0; n < 4; n++) {
    for (const WnlField &f : kWnlFields) {
      char name[16];
      std::snprintf(name, sizeof name, "%s%d", f.name, n);
      loadInt(first, name, &f.values[n], f.min, f.max);
    }
  }
  return 0;
}

int WnlSave(xmlNode *parent) {
  if (!parent) return -1;
  xmlNode *block = xmlNewChild(parent, nullptr, X("calendar"), nullptr);
  for (int n = 0; n < 4; n++) {
    for (const WnlField &f : kWnlFields) {
      char name[16];
      std::snprintf(name, sizeof name, "%s%d", f.name, n);
      addInt(block, name, f.values[n]);
    }
  }
  return 0;
}

namespace {

// Reads a configuration file. Returns 0 loaded, -1 unreadable or not XML,
// -2 well-formed but without the device's element.
int loadFile(const char *path) {
  XmlDocPtr doc;
  if (!path || XxmlReadFile(path, &doc) != 0) return -1;
  xmlNode *root = xmlDocGetRootElement(doc.get());
  if (!root) {
    LOGW("xml_file %s no root\n", path);
    return -1;
  }
  const char *device = DeviceName ? DeviceName : "";
  xmlNode *dev = root;
  while (dev && !(dev->type == XML_ELEMENT_NODE && !std::strcmp(reinterpret_cast<const char *>(dev->name), device)))
    dev = dev->next;
  if (!dev) return -2;
  for (xmlNode *block = dev->children; block; block = block->next) {
    if (block->type != XML_ELEMENT_NODE) continue;
    const char *name = reinterpret_cast<const char *>(block->name);
    if (!std::strcmp(name, "config")) CfgDataLoad(block->children);
    else if (!std::strcmp(name, "calendar")) WnlLoad(block->children);
    for (int i = 0; i < g_blockCount; i++)
      if (g_blocks[i]->name && g_blocks[i]->load && !std::strcmp(name, g_blocks[i]->name))
        g_blocks[i]->load(block->children);
  }
  return 0;
}

// The prompt language of a file that could not be loaded, when its head
// still shows it; else -1.
int salvageLanguage(const std::string &path) {
  std::string head;
  if (ReadFileHead(path.c_str(), 64 * 1024, &head) <= 0) return -1;
  for (int lang : {0, 1})
    if (head.find("<MLanguageSetting>" + std::to_string(lang) + "</MLanguageSetting>") != std::string::npos) return lang;
  return -1;
}

bool g_reset = false;  // main thread: the settings fell back to the built-in values
std::mutex g_fileMutex;  // one writer of the file at a time, each rewriting what the last one wrote

}  // namespace

int _LoadConfig(const char *path) {
  int r = loadFile(path);
  return r == -2 ? 0 : r;
}

int CfgRegisterBlock(const CfgBlock *block) {
  if (!block) return -1;
  for (int i = 0; i < g_blockCount; i++)
    if (g_blocks[i] == block) return 0;
  if (g_blockCount == static_cast<int>(std::size(g_blocks))) return -1;
  g_blocks[g_blockCount++] = block;
  return 0;
}

int LoadConfig(void) {
  for (int i = 0; i < g_blockCount; i++)
    if (g_blocks[i]->init) g_blocks[i]->init();
  std::string file = configFile();
  std::string backup = file + ".bak";
  bool present = exists(file);
  g_reset = false;
  int r = present ? loadFile(file.c_str()) : -1;
  if (r != 0) {
    // A file that cannot be read, or one written for something else, is kept
    // (the next save would replace it) and the backup of the last save is
    // read instead; without one the built-in values stay and the user is
    // told, in the language the damaged file still shows.
    int lang = -1;
    if (present) {
      LOGE("config file %s cannot be used\n", file.c_str());
      lang = salvageLanguage(file);
      XxmlKeepBad(file.c_str());
    }
    if (exists(backup) && loadFile(backup.c_str()) == 0) {
      LOGW("config loaded from %s\n", backup.c_str());
    } else if (present) {
      LOGE("no usable backup %s, built-in settings used\n", backup.c_str());
      g_reset = true;
      if (lang >= 0) MLanguageSetting = lang;
    }
  }
  for (int i = 0; i < g_blockCount; i++)
    if (g_blocks[i]->loaded) g_blocks[i]->loaded();
  return 0;
}

int CfgWasReset(void) { return g_reset ? 1 : 0; }

int SaveConfigBlock(const char *block, int (*save)(xmlNode *parent)) {
  if (!block || !save || !DeviceName || !*DeviceName) return -1;
  std::scoped_lock lock(g_fileMutex);
  std::string file = configFile();
  XmlDocPtr doc;
  if (!(exists(file) && XxmlReadFile(file.c_str(), &doc) == 0)) {
    std::string backup = file + ".bak";
    if (!(exists(backup) && XxmlReadFile(backup.c_str(), &doc) == 0)) doc.reset();
  }
  xmlNode *dev = nullptr;
  if (doc) {
    for (xmlNode *n = xmlDocGetRootElement(doc.get()); n; n = n->next)
      if (n->type == XML_ELEMENT_NODE && !std::strcmp(reinterpret_cast<const char *>(n->name), DeviceName)) {
        dev = n;
        break;
      }
  }
  if (!dev) {
    // Nothing usable on disk: a document holding only this block.
    doc.reset(xmlNewDoc(X("1.0")));
    if (!doc) return -1;
    dev = xmlNewDocNode(doc.get(), nullptr, X(DeviceName), nullptr);
    xmlDocSetRootElement(doc.get(), dev);
  }
  doc->standalone = 1;
  for (xmlNode *n = dev->children; n;) {
    xmlNode *next = n->next;
    if (n->type == XML_ELEMENT_NODE && !std::strcmp(reinterpret_cast<const char *>(n->name), block)) {
      xmlUnlinkNode(n);
      xmlFreeNode(n);
    }
    n = next;
  }
  if (save(dev) != 0) return -1;
  if (XxmlSaveFile(doc.get(), file.c_str()) != 0) return -1;
  XxmlSaveFile(doc.get(), (file + ".bak").c_str());
  return 0;
}

int CfgSaveAll(void) {
  if (!DeviceName || !*DeviceName) {
    LOGE("no device name, configuration not saved\n");
    return -1;
  }
  XmlDocPtr doc(xmlNewDoc(X("1.0")));
  if (!doc) return -1;
  doc->standalone = 1;
  xmlNode *root = xmlNewDocNode(doc.get(), nullptr, X(DeviceName), nullptr);
  xmlDocSetRootElement(doc.get(), root);
  CfgDataSave(root);
  for (int i = 0; i < g_blockCount; i++)
    if (g_blocks[i]->save) g_blocks[i]->save(root);
  WnlSave(root);
  std::string file = configFile();
  std::scoped_lock lock(g_fileMutex);
  // The backup is only refreshed after the file itself was written, so
  // one of the two always holds a complete save.
  if (XxmlSaveFile(doc.get(), file.c_str()) != 0) return -1;
  XxmlSaveFile(doc.get(), (file + ".bak").c_str());
  return 0;
}

int SaveConfig(void) {
  CfgSaveAll();
  CfgDataDeInit();
  for (int i = 0; i < g_blockCount; i++)
    if (g_blocks[i]->deinit) g_blocks[i]->deinit();
  return 0;
}
