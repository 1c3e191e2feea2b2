// The mark store.
//
// Six lists of at most 50 marks, index 0 the most recently used. Changes
// (MarkAddItem, MarkDel, MarkClean, loading) take g_mutex and set the dirty
// time; BookMarkSave takes it while it reads. The save timer runs on the
// main loop and writes only the "bookmark" block (SaveConfigBlock), so it
// never reads the settings that the key thread changes.
#include "core/library/bookmark.h"

#include "core/library/bookmark_screens.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/activity.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/library/filebrowser.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/ui/menu.h"
#include "core/runtime/xml.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>

namespace {

constexpr char kLogSource[] = "core/bookmark.c";

struct MarkList {
  int limit = 1;  // items per mark
  std::vector<std::unique_ptr<Mark>> marks;  // at most kMarkListCapacity
};

std::mutex g_mutex;  // guards changes of g_lists and the save's reading
std::array<MarkList, MARK_TYPES> g_lists;
// No 64-bit atomics: the board's 32-bit MIPS has none without libatomic.
std::mutex g_dirtyMutex;
int64_t g_dirtySince = 0;  // guarded by g_dirtyMutex: monotonic time of the oldest unsaved change; 0 none
std::atomic<bool> g_flush{false};
Event g_saveTimer = EVENT_INIT_SELF(g_saveTimer);
// The timer ticks only while there is something to do: a change waiting for
// the file or a reader keeping its place. Idle, the main loop sleeps.
std::atomic<bool> g_autoSave{false};  // started (BookMarkAutoSaveStart)
std::atomic<bool> g_armed{false};     // the timer is linked or about to be

int saveTimerCallback(void *arg, int flag);

void armSaveTimer() {
  if (!g_autoSave.load() || g_armed.exchange(true)) return;
  EventArmTimer(&g_saveTimer, kBookMarkTickUs, saveTimerCallback);
}

int itemLimit(int type) { return type % 2 ? 1 : kMarkBookmarkItems; }
bool goodType(int type) { return type >= 0 && type < MARK_TYPES; }

void changed() {
  int64_t now = BoardMonotonicUs() | 1;
  {
    std::scoped_lock lock(g_dirtyMutex);
    if (!g_dirtySince) g_dirtySince = now;
  }
  armSaveTimer();
}

int64_t dirtySince() {
  std::scoped_lock lock(g_dirtyMutex);
  return g_dirtySince;
}

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }


void printMark(const Mark *m) {
  if (!CfgDebugBookmark || !m) return;
  LOGD("full path: %s\n", m->path.c_str());
  LOGD("title    : %s\n", m->title.c_str());
  LOGD("type     : %d\n", m->type);
  for (const MarkItem &it : m->items) {
    LOGD("time      : %d\n", it.time);
    LOGD("ncxref    : %s\n", it.ncxref.c_str());
    LOGD("uri       : %s\n", it.uri.c_str());
    LOGD("timeoffset: %d\n", it.timeoffset);
    LOGD("charoffset: %d\n", it.charoffset);
  }
}

// The open reader's position keeper (key thread), and whether there is one
// (read by the timer on the main loop).
void (*g_keeper)(void *) = nullptr;
void *g_keeperContext = nullptr;
std::atomic<bool> g_keeping{false};

void keepPosition() {
  if (!g_keeper) return;  // the reader closed since the timer posted this
  g_keeper(g_keeperContext);
}

int saveTimerCallback(void *, int flag) {
  if (flag != EVENT_TIMER) return 0;
  g_armed = false;
  if (g_keeping) ActivityPost(keepPosition);
  BookMarkAutoSave(BoardMonotonicUs());
  if (g_keeping || dirtySince() != 0) armSaveTimer();
  return 0;
}

}  // namespace

// ---- The store ----

int BookMarkInit(void) {
  {
    std::scoped_lock lock(g_mutex);
    for (int t = 0; t < MARK_TYPES; t++) {
      g_lists[t].limit = itemLimit(t);
      g_lists[t].marks.clear();
    }
  }
  {
    std::scoped_lock lock(g_dirtyMutex);
    g_dirtySince = 0;
  }
  g_flush = false;
  MenuBindFunc("MarkMenuDelete", MarkDeleteItemFunc);
  MenuBindFunc("MarkMenuClean", MarkCleanFunc);
  return 0;
}

int BookMarkDeInit(void) {
  g_autoSave = false;
  EventDel(&g_saveTimer);
  g_armed = false;
  std::scoped_lock lock(g_mutex);
  for (MarkList &l : g_lists) l.marks.clear();
  return 0;
}

void MarkFree(Mark *mark) { delete mark; }

int MarkGetTime(void) { return static_cast<int>(BoardTime() / 5); }

Mark *MarkLoad(xmlNode *first, int item_limit) {
  if (!first) return nullptr;
  char *path = nullptr, *title = nullptr;
  int type = -1;
  if (XxmlGetStr(first, "path", &path) != 0 || !path || !*path) {
    LOGW("path: XmlGetStr return error\n");
    return nullptr;
  }
  if (XxmlGetStr(first, "title", &title) != 0 || !title || !*title) {
    LOGW("title: XmlGetStr return error\n");
    return nullptr;
  }
  if (XxmlGetValue(first, "type", &type) != 0) {
    LOGW("type: XxmlGetValue return error\n");
    return nullptr;
  }
  if (!goodType(type)) return nullptr;
  auto mark = std::make_unique<Mark>();
  mark->path = path;
  mark->title = title;
  mark->type = type;
  XxmlGetValue(first, "options", &mark->options);  // absent: none chosen
  for (xmlNode *v = first; v; v = v->next) {
    if (v->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char *>(v->name), "value")) continue;
    if (static_cast<int>(mark->items.size()) >= item_limit) break;
    MarkItem item;
    xmlNode *c = v->children;
    if (XxmlGetValue(c, "time", &item.time) != 0) {
      LOGW("time: XxmlGetValue return error\n");
      continue;
    }
    if (XxmlGetValue(c, "timeoffset", &item.timeoffset) != 0) {
      LOGW("timeoffset: XxmlGetValue return error\n");
      continue;
    }
    if (XxmlGetValue(c, "charoffset", &item.charoffset) != 0) {
      LOGW("charoffset: XxmlGetValue return error\n");
      continue;
    }
    char *text = nullptr;
    if (XxmlGetStr(c, "ncxref", &text) == 0 && text) item.ncxref = text;
    else if (CfgDebugBookmark) LOGD("ncxref: XxmlGetStr return error\n");
    text = nullptr;
    if (XxmlGetStr(c, "uri", &text) == 0 && text) item.uri = text;
    else if (CfgDebugBookmark) LOGD("uri: XxmlGetStr return error\n");
    mark->items.push_back(std::move(item));
  }
  if (mark->items.empty()) return nullptr;
  return mark.release();
}

int BookMarkLoad(xmlNode *first) {
  if (!first) return -1;
  for (xmlNode *n = first; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE || std::strcmp(reinterpret_cast<const char *>(n->name), "mark")) continue;
    // The type decides the item limit, so peek at it first.
    int type = -1;
    XxmlGetValue(n->children, "type", &type);
    std::unique_ptr<Mark> mark(MarkLoad(n->children, goodType(type) ? itemLimit(type) : 1));
    if (!mark) {
      LOGW("MarkLoad return error\n");
      continue;
    }
    printMark(mark.get());
    std::scoped_lock lock(g_mutex);
    MarkList &list = g_lists[mark->type];
    if (static_cast<int>(list.marks.size()) >= kMarkListCapacity) {
      LOGW("Too many of mark!\n");
      continue;
    }
    list.marks.push_back(std::move(mark));
  }
  return 0;
}

int MarkSave(xmlNode *parent, const Mark *mark) {
  if (!parent || !mark) return -1;
  xmlNode *m = xmlNewChild(parent, nullptr, X("mark"), nullptr);
  XxmlAddText(m, "path", mark->path);
  XxmlAddText(m, "title", mark->title);
  XxmlAddInt(m, "type", mark->type);
  if (mark->options) XxmlAddInt(m, "options", mark->options);
  for (const MarkItem &it : mark->items) {
    xmlNode *v = xmlNewChild(m, nullptr, X("value"), nullptr);
    XxmlAddInt(v, "time", it.time);
    if (!it.ncxref.empty()) XxmlAddText(v, "ncxref", it.ncxref);
    if (!it.uri.empty()) XxmlAddText(v, "uri", it.uri);
    XxmlAddInt(v, "timeoffset", it.timeoffset);
    XxmlAddInt(v, "charoffset", it.charoffset);
  }
  return 0;
}

int BookMarkSave(xmlNode *parent) {
  if (!parent) return -1;
  xmlNode *block = xmlNewChild(parent, nullptr, X("bookmark"), nullptr);
  std::scoped_lock lock(g_mutex);
  for (const MarkList &l : g_lists) {
    for (const auto &m : l.marks) {
      MarkSave(block, m.get());
      printMark(m.get());
    }
  }
  return 0;
}

int MarkAddItem(int type, const char *path, const char *title, const char *ncxref, const char *uri,
                int timeoffset, int charoffset) {
  if (!goodType(type) || !path || !*path || !title || !*title) return -1;
  MarkItem item;
  item.time = MarkGetTime();
  if (ncxref) item.ncxref = ncxref;
  if (uri) item.uri = uri;
  item.timeoffset = timeoffset;
  item.charoffset = charoffset;
  int count;
  {
    std::scoped_lock lock(g_mutex);
    MarkList &list = g_lists[type];
    auto it = std::find_if(list.marks.begin(), list.marks.end(),
                           [&](const auto &m) { return m->path == path && m->title == title; });
    if (it != list.marks.end()) {
      std::rotate(list.marks.begin(), it, it + 1);  // to the front, the others move down
      Mark *m = list.marks.front().get();
      if (static_cast<int>(m->items.size()) >= list.limit) m->items.pop_back();
      m->items.insert(m->items.begin(), std::move(item));
      count = static_cast<int>(m->items.size());
    } else {
      auto m = std::unique_ptr<Mark>(new (std::nothrow) Mark);
      if (!m) return -1;
      m->path = path;
      m->title = title;
      m->type = type;
      m->items.push_back(std::move(item));
      if (static_cast<int>(list.marks.size()) >= kMarkListCapacity) list.marks.pop_back();
      list.marks.insert(list.marks.begin(), std::move(m));
      count = 1;
    }
  }
  changed();
  return count;
}

int MarkFind(int type, const char *path, const char *title) {
  if (!goodType(type) || !path || !*path || !title || !*title) return -1;
  const MarkList &list = g_lists[type];
  for (size_t i = 0; i < list.marks.size(); i++)
    if (list.marks[i]->path == path && list.marks[i]->title == title) return static_cast<int>(i);
  return -1;
}

int MarkGetOptions(int type, const char *path, const char *title) {
  const Mark *m = MarkArryGet(type, MarkFind(type, path, title));
  return m ? m->options : 0;
}

int MarkSetOptions(int type, const char *path, const char *title, int options) {
  {
    std::scoped_lock lock(g_mutex);
    Mark *m = MarkArryGet(type, MarkFind(type, path, title));
    if (!m) return -1;
    if (m->options == options) return 0;
    m->options = options;
  }
  changed();
  return 0;
}

Mark *MarkArryGet(int type, int index) {
  if (!goodType(type) || index < 0 || index >= static_cast<int>(g_lists[type].marks.size())) return nullptr;
  return g_lists[type].marks[index].get();
}

int MarkArryTotal(int type) { return goodType(type) ? static_cast<int>(g_lists[type].marks.size()) : -1; }

int MarkDel(int type, int index, int item) {
  if (!goodType(type)) return -1;
  {
    std::scoped_lock lock(g_mutex);
    MarkList &list = g_lists[type];
    if (index < 0 || index >= static_cast<int>(list.marks.size())) return -1;
    Mark *m = list.marks[index].get();
    int count = static_cast<int>(m->items.size());
    if (item < -1 || item >= count) return -1;
    if (item == -1 || count == 1) list.marks.erase(list.marks.begin() + index);
    else m->items.erase(m->items.begin() + item);
  }
  changed();
  return 0;
}

int MarkClean(int type) {
  if (!goodType(type)) return -1;
  {
    std::scoped_lock lock(g_mutex);
    if (g_lists[type].marks.empty()) return 0;
    g_lists[type].marks.clear();
  }
  changed();
  return 0;
}

int GetTotalMark(int is_history, uint32_t *table, int table_len) {
  if (!table || table_len <= 0) return -1;
  int total = 0;
  for (int kind = 0; kind < 3; kind++) {
    int type = kind * 2 + (is_history ? 1 : 0);
    int n = MarkArryTotal(type);
    for (int i = 0; i < n; i++) {
      Mark *m = MarkArryGet(type, i);
      if (!m || m->items.empty() || i >= 1024) {
        LOGE("MarkArryGet return error!, type=%d, no=%d\n", type, i);
        return -1;
      }
      if (total + 1 >= table_len) {
        LOGE("table length to small, length=%d, total=%d\n", table_len, total);
        return -1;
      }
      int time = m->items[0].time;
      int pos = 0;
      while (pos < total) {
        Mark *o = MarkArryGet(static_cast<int>(table[pos] >> 24), static_cast<int>((table[pos] >> 12) & 0x3ff));
        if (o && o->items[0].time <= time) break;
        pos++;
      }
      std::memmove(table + pos + 1, table + pos, sizeof(uint32_t) * static_cast<size_t>(total - pos));
      table[pos] = (static_cast<uint32_t>(type) << 24) | (static_cast<uint32_t>(i) << 12);
      total++;
    }
  }
  return total;
}

// ---- Saving between start and shutdown ----

int BookMarkAutoSaveStart(void) {
  EventDel(&g_saveTimer);
  g_armed = false;
  g_autoSave = true;
  if (g_keeping || dirtySince() != 0) armSaveTimer();
  return 0;
}

void BookMarkFlush(void) { g_flush = true; }

int BookMarkSaveNow(void) {
  g_flush = true;
  return BookMarkAutoSave(BoardMonotonicUs());
}

void BookMarkKeepPosition(void (*note)(void *context), void *context) {
  g_keeper = note;
  g_keeperContext = context;
  g_keeping = note != nullptr;
  if (note) armSaveTimer();
}

int BookMarkDirty(void) { return dirtySince() != 0 ? 1 : 0; }

int BookMarkAutoSave(int64_t now_us) {
  int64_t since = dirtySince();
  if (!since) {
    g_flush = false;
    return 0;
  }
  if (!g_flush && now_us - since < kBookMarkSaveDelayUs) return 0;
  // Cleared first: a change made while the file is written marks it again.
  {
    std::scoped_lock lock(g_dirtyMutex);
    g_dirtySince = 0;
  }
  g_flush = false;
  if (SaveConfigBlock("bookmark", BookMarkSave) != 0) {
    LOGE("bookmarks not saved\n");
    std::scoped_lock lock(g_dirtyMutex);
    if (!g_dirtySince) g_dirtySince = since;
    return -1;
  }
  return 1;
}
