// Machine identity: which board variant this is, from "/proc/version" and
// the "hard_ver=" token of "/proc/cmdline". Runs once on the main thread
// before anything else starts.
#include "core/runtime/machine.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/shell.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>
#include <string>


namespace {

constexpr char kLogSource[] = "core/machine.c";

bool readFile(const char *path, std::string *out, size_t max) {
  FILE *f = std::fopen(BoardPath(path).c_str(), "rb");
  if (!f) {
    LOGE("Open %s error!\n", path);
    return false;
  }
  out->resize(max);
  size_t n = std::fread(out->data(), 1, max, f);
  bool bad = std::ferror(f);
  std::fclose(f);
  if (bad) {
    LOGE("Read %s error!\n", path);
    return false;
  }
  out->resize(n);
  return true;
}

int daysOfMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A cursor over the lower-cased "hard_ver=" token.
struct Cursor {
  const char *p;
  bool digits(int n, int *out) {
    int v = 0;
    for (int i = 0; i < n; i++) {
      if (!std::isdigit(static_cast<unsigned char>(p[i]))) return false;
      v = v * 10 + (p[i] - '0');
    }
    p += n;
    *out = v;
    return true;
  }
  bool lit(char c) {
    if (*p != c) return false;
    p++;
    return true;
  }
  // "v" digit "." digit, then an optional "d" for a debug build.
  bool version(int *out, bool allowDebug) {
    char buf[5] = {};
    for (int i = 0; i < 4 && p[i]; i++) buf[i] = p[i];  // never reads past the token's end
    int v = ReadVerFromStr(buf);
    if (v < 0) return false;
    p += 4;
    if (allowDebug && *p == 'd') {
      v += 0x100;
      p++;
    }
    *out = v;
    return true;
  }
};

void summaryLine(FILE *out, std::string *all, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
void summaryLine(FILE *out, std::string *all, const char *fmt, ...) {
  char line[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  std::fprintf(out, "%s\n", line);
  all->append(line).append("\n");
}

char debugMark(int v) { return v & 0x100 ? 'D' : ' '; }

void printSummary() {
  std::string all;
  std::printf("*********** System Info ****************\n");
  summaryLine(stdout, &all, "HardType: %s", HardType);
  summaryLine(stdout, &all, "HardVersion: %d.%d", HardVer >> 4, HardVer & 15);
  summaryLine(stdout, &all, "MiniHardType: %d", MiniHardType);
  summaryLine(stdout, &all, "TotalMemory: %dMB", TotalMemory);
  summaryLine(stdout, &all, "SubManufacture: %s", SubManufacture);
  summaryLine(stdout, &all, "SerialNo: %d", SerialNo);
  summaryLine(stdout, &all, "Production date: %d-%02d-%02d", ProductionYear, ProductionMonth, ProductionDay);
  const struct {
    const char *name;
    int v;
  } vers[] = {{"BootLoad", BootLoadVer}, {"uImage", uImageVer}, {"root", rootVer},
              {"data", dataVer},         {"user", userVer},     {"App", AppVersion}};
  for (const auto &v : vers)
    summaryLine(stdout, &all, "%s version: %d.%d%c", v.name, (v.v >> 4) & 15, v.v & 15, debugMark(v.v));
  summaryLine(stdout, &all, "App date: %04d-%02d-%02d %02d:%02d:%02d", AppY, AppM, AppD, AppHH, AppMM, AppSS);
  std::printf("****************************************\n");
  // The same lines for other programs of the device, through the shell.
  size_t start = 0;
  bool first = true;
  while (start < all.size()) {
    size_t nl = all.find('\n', start);
    std::string cmd =
        "printf '%s\\n' " + ShellQuote(all.substr(start, nl - start)) + (first ? " >" : " >>") + " /tmp/machine";
    BoardRunShell(cmd.c_str());
    first = false;
    start = nl + 1;
  }
}

struct XmlDocFree {
  void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};

xmlNode *childElement(xmlNode *parent, const char *name) {
  for (xmlNode *n = parent ? parent->children : nullptr; n; n = n->next)
    if (n->type == XML_ELEMENT_NODE && !std::strcmp(reinterpret_cast<const char *>(n->name), name)) return n;
  return nullptr;
}

char *elementText(xmlNode *parent, const char *name) {
  xmlNode *e = childElement(parent, name);
  xmlChar *text = e ? xmlNodeGetContent(e) : nullptr;
  if (!text) {
    LOGW("%s: XxmlGetStr return error\n", name);
    return nullptr;
  }
  size_t n = std::strlen(reinterpret_cast<char *>(text));
  char *out = new char[n + 1];
  std::memcpy(out, text, n + 1);
  xmlFree(text);
  return out;
}

}  // namespace

int ReadVerFromStr(const char *t) {
  if (!t || t[0] != 'v' || !std::isdigit(static_cast<unsigned char>(t[1])) || t[2] != '.' ||
      !std::isdigit(static_cast<unsigned char>(t[3])))
    return -1;
  return (t[1] - '0') * 16 + (t[3] - '0');
}

int ParseKernelVersion(const char *text) {
  static const char kHead[] = "Linux version ";
  if (!text || std::strncmp(text, kHead, sizeof kHead - 1) != 0) return -1;
  const char *p = text + sizeof kHead - 1;
  while (*p == ' ') p++;
  // One byte a part: a part past 255 is no version this code knows (and
  // taking its low byte would make "3.266.14" pass for 3.10.14).
  unsigned v = 0;
  for (int part = 0; part < 4; part++) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) {
      if (part == 0) return -1;
      break;
    }
    unsigned n = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)))
      if ((n = n * 10 + (*p++ - '0')) > 255) return -1;
    v = v << 8 | n;
    if (*p != '.') break;
    p++;
  }
  return v > INT_MAX ? -1 : static_cast<int>(v);
}

int ParseCommandLine(const char *cmdline) {
  const char *at = cmdline ? std::strstr(cmdline, "hard_ver=") : nullptr;
  if (!at) {
    LOGE("Command line error!\n");
    return -1;
  }
  at += std::strlen("hard_ver=");
  char token[256];
  size_t n = 0;
  while (at[n] && at[n] != ' ' && at[n] != '\n' && n + 1 < sizeof token) {
    token[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(at[n])));
    n++;
  }
  token[n] = 0;

  Cursor c{token};
  size_t t = 0;
  while (*c.p && *c.p != '_') {
    if (t < sizeof HardType - 1) HardType[t++] = *c.p;
    else if (t == sizeof HardType - 1) {
      LOGW("hard type too long!!!\n");
      t++;
    }
    c.p++;
  }
  HardType[std::min(t, sizeof HardType - 1)] = 0;
  auto bad = [] {
    LOGE("Command line format error!\n");
    return -1;
  };
  if (!c.lit('_')) return bad();
  int v;
  if (!c.version(&v, false)) {
    HardVer = -1;
    return bad();
  }
  HardVer = v;
  if (!c.lit('_')) return bad();
  if (!c.digits(1, &MiniHardType) || MiniHardType > 8 || !c.lit('_')) return bad();
  int mem = 0, digits = 0;
  while (std::isdigit(static_cast<unsigned char>(*c.p)) && digits < 9) {
    mem = mem * 10 + (*c.p++ - '0');
    digits++;
  }
  if (!digits || !c.lit('m') || !c.lit('b') || !c.lit(',')) return bad();
  TotalMemory = mem;
  for (int i = 0; i < 4; i++) {
    if (!*c.p || *c.p == ',') return bad();
    SubManufacture[i] = *c.p++;
  }
  SubManufacture[4] = 0;
  int yy, mm, dd;
  if (!c.digits(6, &SerialNo) || !c.digits(2, &yy) || !c.digits(2, &mm) || !c.digits(2, &dd)) return bad();
  if (mm < 1 || mm > 12 || dd < 1 || dd > daysOfMonth(2000 + yy, mm)) return bad();
  ProductionYear = 2000 + yy;
  ProductionMonth = mm;
  ProductionDay = dd;
  if (!c.lit(',')) return bad();
  int *vers[] = {&BootLoadVer, &uImageVer, &rootVer, &dataVer, &userVer};
  for (int i = 0; i < 5; i++) {
    if (i > 0 && !c.lit(',')) return bad();
    if (!c.version(vers[i], true)) return bad();
  }
  if (*c.p) return bad();
  return 0;
}

int LoadMachineType(void) {
  std::string version;
  if (!readFile("/proc/version", &version, 4096)) return -1;
  KernelVer = ParseKernelVersion(version.c_str());
  std::printf("KernelVersion: 0x%x\n", static_cast<unsigned>(KernelVer));
  if (KernelVer != 0x30a0e && KernelVer != 0x30008) {
    LOGE("Kernel Version Error!\n");
    return -1;
  }
  std::string cmdline;
  if (!readFile("/proc/cmdline", &cmdline, 4096)) return -1;
  if (ParseCommandLine(cmdline.c_str()) != 0) return -1;

  CardIsTf = (MiniHardType & 4) ? 0 : 1;
  if (HardVer == 32) MRecordVolume = 19;
  printSummary();
  return 0;
}

int LoadMfInfo(int language, char **deviceName, char **makerName) {
  if (deviceName) *deviceName = nullptr;
  if (makerName) *makerName = nullptr;
  char path[128];
  std::snprintf(path, sizeof path, "%s/%smf.xml", "/home", DeviceName);
  std::unique_ptr<xmlDoc, XmlDocFree> doc(
      xmlReadFile(BoardPath(path).c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (!root) return -1;
  xmlNode *lang = root;
  if (std::strcmp(reinterpret_cast<const char *>(root->name), DeviceName) != 0) return -1;
  lang = childElement(root, language == 0 ? "chn" : "eng");
  char name[64];
  std::snprintf(name, sizeof name, "%s_%d_%d", HardType, MiniHardType, TotalMemory);
  if (deviceName) *deviceName = elementText(lang, name);
  if (makerName) *makerName = elementText(lang, SubManufacture);
  return 0;
}
