// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "board/board.h"
#include "core/app.h"
#include "core/xml.h"

#include <cstdio>
#include <cstring>
#include <vector>

int AlarmInit(void) { return 0; }
int AlarmResetAutoPowerOffTime(void) { return 0; }
namespace {

constexpr int kMarkTypes = 6;
constexpr int kMarksPerList = 50;

std::vector<Mark *> g_marks[kMarkTypes];  // index 0 the most recent

char *copyText(const char *s) {
  if (!s || !*s) return nullptr;
  size_t n = std::strlen(s) + 1;
  char *c = new char[n];
  std::memcpy(c, s, n);
  return c;
}

void freeMark(Mark *m) {
  for (int i = 0; i < m->count; i++) {
    delete[] m->items[i].ncxref;
    delete[] m->items[i].uri;
  }
  delete[] m->items;
  delete[] m->path;
  delete[] m->title;
  delete m;
}

}  // namespace

int BookMarkInit(void) { return 0; }
int BookMarkDeInit(void) {
  for (auto &list : g_marks) {
    for (Mark *m : list) freeMark(m);
    list.clear();
  }
  return 0;
}

int MarkAddItem(int type, const char *path, const char *title, const char *ncxref, const char *uri,
                int timeoffset, int charoffset) {
  if (type < 0 || type >= kMarkTypes || !path || !*path || !title || !*title) return -1;
  auto &list = g_marks[type];
  const int limit = type % 2 ? 1 : 200;
  int at = MarkFind(type, path, title);
  Mark *m;
  if (at >= 0) {
    m = list[static_cast<size_t>(at)];
    list.erase(list.begin() + at);
  } else {
    m = new Mark{copyText(path), copyText(title), type, 0, nullptr};
    if (static_cast<int>(list.size()) >= kMarksPerList) {
      freeMark(list.back());
      list.pop_back();
    }
  }
  list.insert(list.begin(), m);
  int keep = m->count < limit ? m->count : limit - 1;
  auto *items = new MarkItem[static_cast<size_t>(keep + 1)];
  for (int i = 0; i < keep; i++) items[i + 1] = m->items[i];
  for (int i = keep; i < m->count; i++) {
    delete[] m->items[i].ncxref;
    delete[] m->items[i].uri;
  }
  items[0] = {static_cast<int>(BoardTime() / 5), copyText(ncxref), copyText(uri), timeoffset, charoffset};
  delete[] m->items;
  m->items = items;
  m->count = keep + 1;
  return m->count;
}

int MarkFind(int type, const char *path, const char *title) {
  if (type < 0 || type >= kMarkTypes || !path || !*path || !title || !*title) return -1;
  const auto &list = g_marks[type];
  for (size_t i = 0; i < list.size(); i++)
    if (std::strcmp(list[i]->path, path) == 0 && std::strcmp(list[i]->title, title) == 0) return static_cast<int>(i);
  return -1;
}

Mark *MarkArryGet(int type, int index) {
  if (type < 0 || type >= kMarkTypes || index < 0 || index >= static_cast<int>(g_marks[type].size())) return nullptr;
  return g_marks[type][static_cast<size_t>(index)];
}

int MarkArryTotal(int type) {
  if (type < 0 || type >= kMarkTypes) return -1;
  return static_cast<int>(g_marks[type].size());
}

int FileBrowserLoadFile(Activity *browser, const char *fullpath) { return -1; }
int FilebrowserLoadDir(Activity *browser, const char *dir, const char *select_name) { return -1; }

int GetMoutPointTypeFpath(const char *path) {
  if (!path) return -1;
  static const char *const kRoots[] = {"/mnt/emmc", "/mnt/sdcard", "/mnt/usb"};
  for (int type = 0; type < 3; type++) {
    size_t n = std::strlen(kRoots[type]);
    if (std::strncmp(path, kRoots[type], n) == 0 && (path[n] == 0 || path[n] == '/')) return type;
  }
  return -1;
}

int SaveAndStopAutoShutdown(void) { return 0; }
int RestoryAutoShutdown(int enable) { return 0; }
int BookMarkLoad(xmlNode *first) { return first ? 0 : -1; }
int BookMarkSave(xmlNode *parent) { return parent ? 0 : -1; }

int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

int GetMountDeviceSize(int type, unsigned int *totalBlocks, unsigned int *freeBlocks) { return -1; }
