// The mark store and its screens.
//
// Six lists of at most 50 marks, index 0 the most recently used. Changes
// (MarkAddItem, MarkDel, MarkClean, loading) take g_mutex and set the dirty
// time; BookMarkSave takes it while it reads. The save timer runs on the
// main loop and writes only the "bookmark" block (SaveConfigBlock), so it
// never reads the settings that the key thread changes.
//
// The screens run on the key distribution thread. "Mark" lists the merged
// view of the three bookmark or history lists, or one of them; "MarkValue"
// lists one mark's bookmarks. The mark menu's commands find the list screen
// through the screen they were opened from.
#include "core/bookmark.h"

#include "board/board.h"
#include "core/app.h"
#include "core/config.h"
#include "core/dialog.h"
#include "core/filebrowser.h"
#include "core/log.h"
#include "core/loop.h"
#include "core/menu.h"
#include "core/xml.h"
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

int itemLimit(int type) { return type % 2 ? 1 : kMarkBookmarkItems; }
bool goodType(int type) { return type >= 0 && type < MARK_TYPES; }
int lang() { return MLanguageSetting == 1 ? 1 : 0; }

void changed() {
  int64_t now = BoardMonotonicUs() | 1;
  std::scoped_lock lock(g_dirtyMutex);
  if (!g_dirtySince) g_dirtySince = now;
}

int64_t dirtySince() {
  std::scoped_lock lock(g_dirtyMutex);
  return g_dirtySince;
}

const xmlChar *X(const char *s) { return reinterpret_cast<const xmlChar *>(s); }

// Escaped text child; names may hold any bytes (Str2XmlStr keeps bytes that
// are not UTF-8 as "$x" escapes), at most four bytes each.
void addText(xmlNode *parent, const char *name, const std::string &text) {
  std::vector<char> escaped(text.size() * 4 + 1);
  Str2XmlStr(text.c_str(), escaped.data(), static_cast<int>(escaped.size()));
  xmlNewTextChild(parent, nullptr, X(name), X(escaped.data()));
}

void addInt(xmlNode *parent, const char *name, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  xmlNewTextChild(parent, nullptr, X(name), X(text));
}

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

int saveTimerCallback(void *arg, int flag) {
  if (flag != EVENT_TIMER) return 0;
  BookMarkAutoSave(BoardMonotonicUs());
  g_saveTimer.timeout = kBookMarkTickUs;
  EventAdd(&g_saveTimer);
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
  EventDel(&g_saveTimer);
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
  addText(m, "path", mark->path);
  addText(m, "title", mark->title);
  addInt(m, "type", mark->type);
  for (const MarkItem &it : mark->items) {
    xmlNode *v = xmlNewChild(m, nullptr, X("value"), nullptr);
    addInt(v, "time", it.time);
    if (!it.ncxref.empty()) addText(v, "ncxref", it.ncxref);
    if (!it.uri.empty()) addText(v, "uri", it.uri);
    addInt(v, "timeoffset", it.timeoffset);
    addInt(v, "charoffset", it.charoffset);
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
  g_saveTimer.timeout = kBookMarkTickUs;
  g_saveTimer.callback = saveTimerCallback;
  g_saveTimer.check = nullptr;
  g_saveTimer.flag = EVENT_TIMER;
  g_saveTimer.arg = &g_saveTimer;
  EventAdd(&g_saveTimer);
  return 0;
}

void BookMarkFlush(void) { g_flush = true; }

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

// ---- The screens ----

namespace {

const char *const kTitles[2][4][2] = {
    {{"全部书签列表", "All bookmark"},
     {"音频书签列表", "audio bookmark"},
     {"电子书书签列表", "E-book bookmark"},
     {"daisy 书签列表", "daisy bookmark"}},
    {{"最近听过的书和音频", "recent books and audio"},
     {"最近听过的音频", "audio history"},
     {"最近听过的书", "e-book history"},
     {"最近听过的 daisy", "daisy history"}},
};
const char *const kNoBookmark[2] = {"没有书签", "no bookmark"};
const char *const kNoHistory[2] = {"没有文件", "no history"};
const char *const kNotExist[2] = {"文件不存在", "file not exist"};
const char *const kBookmarkWord[2] = {"书签", "bookmark"};
const char *const kAskDelete[2] = {"是否删除书签", "delete book mark"};
const char *const kDeleteCancelled[2] = {"已取消删除书签", "Cancelled"};
const char *const kDeleteFailed[2] = {"删除书签失败", "Error"};
const char *const kDeleted[2] = {"书签已删除", "done"};
const char *const kAskClean[2] = {"是否清空书签", "Clean book mark"};
const char *const kCleanCancelled[2] = {"已取消清空书签", "Cancelled"};
const char *const kCleanFailed[2] = {"清空书签失败", "Error"};
const char *const kCleaned[2] = {"书签已清空", "done"};

struct MarkValueScreen;

struct MarkListScreen {
  Activity head;
  Activity *browser = nullptr;
  int is_history = 0;
  std::vector<uint32_t> table;  // the merged view
  int total = 0;                // entries of the merged view
  int count = 0;                // entries of the current category
  int category = 0;             // 0 all, 1 audio, 2 e-book, 3 DAISY
  int cursor = 0;
  int selected = -1;            // item chosen in the MarkValue screen, or -1
  MarkValueScreen *value = nullptr;  // the MarkValue screen over this one
};

struct MarkValueScreen {
  Activity head;
  Activity *browser = nullptr;
  MarkListScreen *list = nullptr;
  int type = 0;
  int index = 0;  // of the mark in its list
  int item = 0;   // the item under the cursor
};

MarkListScreen *listOf(Activity *a) { return static_cast<MarkListScreen *>(a->data); }
MarkValueScreen *valueOf(Activity *a) { return static_cast<MarkValueScreen *>(a->data); }

void say(const char *const *pair, bool wait) {
  int h = text_sound_insert(pair[lang()]);
  if (wait) wait_text_sound_end(h);
}

void rebuild(MarkListScreen *s) {
  s->table.assign(kMarkTableLength, 0);
  s->total = GetTotalMark(s->is_history, s->table.data(), kMarkTableLength);
  if (s->total < 0) s->total = 0;
  s->count = s->category == 0 ? s->total : MarkArryTotal((s->category - 1) * 2 + s->is_history);
  if (s->count < 0) s->count = 0;
}

// The type and index of the entry under the cursor; false when there is none.
bool entryAt(const MarkListScreen *s, int *type, int *index) {
  if (s->cursor < 0 || s->cursor >= s->count) return false;
  if (s->category == 0) {
    uint32_t e = s->table[static_cast<size_t>(s->cursor)];
    *type = static_cast<int>(e >> 24);
    *index = static_cast<int>((e >> 12) & 0x3ff);
  } else {
    *type = (s->category - 1) * 2 + s->is_history;
    *index = s->cursor;
  }
  return MarkArryGet(*type, *index) != nullptr;
}

void printScreen(const MarkListScreen *s) {
  if (CfgDebugBookmark)
    LOGD("mark screen: history=%d category=%d cursor=%d count=%d selected=%d\n", s->is_history, s->category,
         s->cursor, s->count, s->selected);
}

void closeList(MarkListScreen *s) {
  ActivityRemove(&s->head);
  delete s;
}

void closeValue(MarkValueScreen *v) {
  if (v->list) v->list->value = nullptr;
  ActivityRemove(&v->head);
  delete v;
}

void openDeleteMenu(Activity *from) {
  Activity *menu = MenuCreate(from, &DeleteMarkMenu, nullptr, nullptr, from, 1);
  if (menu) ActivitySetActive(menu, 1);
}

// The page a mark speaks: e-book marks keep the 0-based page, DAISY marks
// the page + 1 already; a reader counts from 1.
int spokenPage(int type, int charoffset) { return type / 2 == FILE_KIND_EBOOK ? charoffset + 1 : charoffset; }

// The page part of a mark's sentence: none for a DAISY mark without a page
// (a book without pages keeps 0).
void pageWords(int type, int charoffset, char *dst, int size) {
  dst[0] = '\0';
  if (type / 2 == FILE_KIND_DAISY && charoffset < 1) return;
  PageToStr(spokenPage(type, charoffset), dst, size, lang());
}

// "head, tail", or head alone when tail is empty.
std::string joined(const std::string &head, const char *tail) { return *tail ? head + ", " + tail : head; }

// Opens item `item` of mark (type, index) in its player, with the browser
// moved to the file. The list screen is already closed.
void openMark(Activity *browser, int type, int index, int item) {
  Mark *m = MarkArryGet(type, index);
  if (!m || item < 0 || item >= static_cast<int>(m->items.size()) || !browser) {
    LOGW("bookmark error!\n");
    ActivityReshow(GetCurrentActivity());
    return;
  }
  struct stat st;
  if (stat(BoardPath(m->path.c_str()).c_str(), &st) != 0) {
    say(kNotExist, true);
    ActivityReshow(GetCurrentActivity());
    return;
  }
  // Copies: opening the player may add to the store.
  std::string path = m->path;
  MarkItem it = m->items[static_cast<size_t>(item)];
  if (FileBrowserLoadFile(browser, path.c_str()) != 0) LOGW("FileBrowserLoadFile return error\n");
  int kind = type / 2;
  int v1 = 0, v2 = 0;
  if (kind == FILE_KIND_AUDIO) {
    v1 = it.timeoffset;
  } else if (kind == FILE_KIND_EBOOK) {
    v1 = it.charoffset;  // the page, 0-based
    v2 = it.timeoffset;  // the sentence in that page
  } else {
    v1 = std::atoi(it.ncxref.c_str());
    v2 = std::atoi(it.uri.c_str());
  }
  if (FileBrowserOpenPlayer(browser, kind, v1, v2) != 0) ActivityReshow(GetCurrentActivity());
}

}  // namespace

int MarkShow(Activity *a) {
  if (!a) return -1;
  MarkListScreen *s = listOf(a);
  int type, index;
  if (!s->count || !entryAt(s, &type, &index)) {
    say(s->is_history ? kNoHistory : kNoBookmark, false);
    return 0;
  }
  const Mark *m = MarkArryGet(type, index);
  char what[256] = "";
  if (type % 2 == 0) TotalMarkToStr(static_cast<int>(m->items.size()), what, sizeof what, lang());
  else if (type == MARK_AUDIO_HISTORY) SecondToStr(m->items[0].timeoffset / 1000, what, sizeof what, lang());
  else pageWords(type, m->items[0].charoffset, what, sizeof what);
  std::string text = joined(m->title, what);
  text_sound_insert(text.c_str());
  return 0;
}

int MarkHide(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

Activity *MarkCreate(Activity *browser, int is_history) {
  MarkListScreen *s = new (std::nothrow) MarkListScreen;
  if (!s) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  s->head = {"Mark", 0, MarkKey, MarkShow, MarkHide, 0, s};
  s->browser = browser;
  s->is_history = is_history ? 1 : 0;
  rebuild(s);
  say(kTitles[s->is_history][0], true);
  if (ActivityAdd(&s->head) != 0) {
    delete s;
    return nullptr;
  }
  return &s->head;
}

int MarkKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  MarkListScreen *s = listOf(a);
  printScreen(s);
  switch (key->code) {
    case VKEY_MENU:
      openDeleteMenu(a);
      return 0;
    case VKEY_BACK:
      closeList(s);
      ActivityReshow(GetCurrentActivity());
      return 0;
    case VKEY_ESC:
      MarkShow(a);
      return 0;
    case VKEY_RECORD: case VKEY_SDIN: case VKEY_USBDISKIN: case VKEY_USBIN: case VKEY_POWEROFF: case VKEY_MP3:
      closeList(s);
      return 1;
    case VKEY_UP:
      if (s->count) s->cursor = (s->cursor + s->count - 1) % s->count;
      MarkShow(a);
      return 0;
    case VKEY_DOWN:
      if (s->count) s->cursor = (s->cursor + 1) % s->count;
      MarkShow(a);
      return 0;
    case VKEY_LEFT:
    case VKEY_RIGHT:
      s->category = (s->category + (key->code == VKEY_LEFT ? 3 : 1)) % 4;
      rebuild(s);
      s->cursor = 0;
      say(kTitles[s->is_history][s->category], false);
      return 0;
    case VKEY_OK: {
      int type, index;
      if (!s->count || !entryAt(s, &type, &index)) {
        MarkShow(a);
        return 0;
      }
      if (!s->is_history && s->selected < 0) {
        MarkValueCreate(s->browser, a, MarkArryGet(type, index));
        return 0;
      }
      int item = s->is_history ? 0 : s->selected;
      Activity *browser = s->browser;
      closeList(s);
      openMark(browser, type, index, item);
      return 0;
    }
    case VKEY_MARK: {
      Activity *browser = s->browser;
      int history = !s->is_history;
      closeList(s);
      Activity *next = MarkCreate(browser, history);
      if (next) ActivitySetActive(next, 1);
      else ActivityReshow(GetCurrentActivity());
      return 0;
    }
    default:
      return 1;
  }
}

// ---- One mark's bookmarks ----

Activity *MarkValueCreate(Activity *browser, Activity *list, Mark *mark) {
  if (!list || !mark) return nullptr;
  MarkListScreen *ls = listOf(list);
  int index = MarkFind(mark->type, mark->path.c_str(), mark->title.c_str());
  if (index < 0) return nullptr;
  MarkValueScreen *v = new (std::nothrow) MarkValueScreen;
  if (!v) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  v->head = {"MarkValue", 0, MarkValueKey, MarkValueShow, MarkValueHide, 0, v};
  v->browser = browser;
  v->list = ls;
  v->type = mark->type;
  v->index = index;
  if (ActivityAdd(&v->head) != 0) {
    delete v;
    return nullptr;
  }
  ls->value = v;
  ActivitySetActive(&v->head, 1);
  return &v->head;
}

int MarkValueShow(Activity *a) {
  if (!a) return -1;
  MarkValueScreen *v = valueOf(a);
  const Mark *m = MarkArryGet(v->type, v->index);
  if (!m || v->item >= static_cast<int>(m->items.size())) return -1;
  const MarkItem &it = m->items[static_cast<size_t>(v->item)];
  char where[256] = "";
  if (v->type / 2 == FILE_KIND_AUDIO) SecondToStr(it.timeoffset / 1000, where, sizeof where, lang());
  else pageWords(v->type, it.charoffset, where, sizeof where);
  char head[128];
  std::snprintf(head, sizeof head, "%s%d", kBookmarkWord[lang()], static_cast<int>(m->items.size()) - v->item);
  text_sound_insert(joined(head, where).c_str());
  return 0;
}

int MarkValueHide(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

int MarkValueKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  MarkValueScreen *v = valueOf(a);
  const Mark *m = MarkArryGet(v->type, v->index);
  int n = m ? static_cast<int>(m->items.size()) : 0;
  switch (key->code) {
    case VKEY_MENU:
      openDeleteMenu(a);
      return 0;
    case VKEY_BACK: {
      MarkListScreen *ls = v->list;
      if (ls) ls->selected = -1;
      closeValue(v);
      ActivityReshow(GetCurrentActivity());
      return 0;
    }
    case VKEY_ESC:
      MarkValueShow(a);
      return 0;
    case VKEY_UP:
      if (n) v->item = (v->item + n - 1) % n;
      MarkValueShow(a);
      return 0;
    case VKEY_DOWN:
      if (n) v->item = (v->item + 1) % n;
      MarkValueShow(a);
      return 0;
    case VKEY_LEFT:
      v->item = std::max(0, v->item - 10);
      MarkValueShow(a);
      return 0;
    case VKEY_RIGHT:
      v->item = std::max(0, std::min(n - 1, v->item + 10));
      MarkValueShow(a);
      return 0;
    case VKEY_OK: {
      MarkListScreen *ls = v->list;
      int item = v->item;
      closeValue(v);
      if (!ls) return 0;
      ls->selected = item;
      KeyEvent ok{0, VKEY_OK};
      return MarkKey(&ls->head, &ok);
    }
    case VKEY_RECORD: case VKEY_SDIN: case VKEY_USBDISKIN: case VKEY_USBIN: case VKEY_POWEROFF: case VKEY_MP3:
      if (v->list) v->list->selected = -1;
      closeValue(v);
      return 1;
    default:
      return 1;
  }
}

// ---- The mark menu ----

namespace {

// The list screen behind a menu context (the list or its MarkValue screen).
MarkListScreen *listFromContext(void *context, MarkValueScreen **value) {
  *value = nullptr;
  Activity *a = static_cast<Activity *>(context);
  if (!a) return nullptr;
  if (a->key == MarkValueKey) {
    *value = valueOf(a);
    return (*value)->list;
  }
  if (a->key == MarkKey) return listOf(a);
  return nullptr;
}

}  // namespace

int MarkDeleteItemFunc(void *context, int value, int preview) {
  if (preview) return 0;
  MarkValueScreen *v;
  MarkListScreen *s = listFromContext(context, &v);
  if (!s) {
    say(kDeleteFailed, true);
    return -1;
  }
  if (DialogBoxCreate(kAskDelete[lang()]) != VKEY_OK) {
    say(kDeleteCancelled, true);
    return 0;
  }
  int type, index;
  if (!s->count || !entryAt(s, &type, &index)) {
    say(kDeleteFailed, true);
    return 0;
  }
  Mark *m = MarkArryGet(type, index);
  if (v && m && m->items.size() >= 2) {
    MarkDel(type, index, v->item);
    if (v->item >= static_cast<int>(m->items.size())) v->item = 0;
    say(kDeleted, true);
    return 0;
  }
  MarkDel(type, index, -1);
  rebuild(s);
  if (s->cursor >= s->count) s->cursor = 0;
  say(kDeleted, true);
  if (v) {
    KeyEvent back{0, VKEY_BACK};
    MarkValueKey(&v->head, &back);
  }
  return 0;
}

int MarkCleanFunc(void *context, int value, int preview) {
  if (preview) return 0;
  MarkValueScreen *v;
  MarkListScreen *s = listFromContext(context, &v);
  if (!s) {
    say(kCleanFailed, true);
    return -1;
  }
  if (DialogBoxCreate(kAskClean[lang()]) != VKEY_OK) {
    say(kCleanCancelled, true);
    return 0;
  }
  if (s->category == 0) {
    for (int kind = 0; kind < 3; kind++) MarkClean(kind * 2 + s->is_history);
  } else {
    MarkClean((s->category - 1) * 2 + s->is_history);
  }
  rebuild(s);
  s->cursor = 0;
  say(kCleaned, true);
  if (v) {
    KeyEvent back{0, VKEY_BACK};
    MarkValueKey(&v->head, &back);
  }
  return 0;
}
