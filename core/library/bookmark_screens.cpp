// The mark screens, on the key distribution thread. "Mark" lists the merged
// view of the three bookmark or history lists, or one of them; "MarkValue"
// lists one mark's bookmarks. The mark menu's commands find the list screen
// through the screen they were opened from.
#include "core/library/bookmark_screens.h"

#include "core/library/bookmark.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/library/filebrowser.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/ui/menu.h"
#include "core/runtime/xml.h"
#include "ebook/charset.h"
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
}  // namespace

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
  int h = text_sound_insert(pair[PromptLanguage()]);
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
  PageToStr(spokenPage(type, charoffset), dst, size, PromptLanguage());
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
  if (type % 2 == 0) TotalMarkToStr(static_cast<int>(m->items.size()), what, sizeof what, PromptLanguage());
  else if (type == MARK_AUDIO_HISTORY) SecondToStr(m->items[0].timeoffset / 1000, what, sizeof what, PromptLanguage());
  else pageWords(type, m->items[0].charoffset, what, sizeof what);
  std::string text = joined(charset_name_text(m->title.c_str()), what);  // a GBK file name as its text
  text_sound_insert(text.c_str());
  return 0;
}

int MarkHide(Activity *a) { return ActivityHideScreen(a); }

Activity *MarkCreate(Activity *browser, int is_history) {
  MarkListScreen *s = ActivityNew<MarkListScreen>("Mark", MarkKey, MarkShow, MarkHide);
  if (!s) return nullptr;
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
  MarkValueScreen *v = ActivityNew<MarkValueScreen>("MarkValue", MarkValueKey, MarkValueShow, MarkValueHide);
  if (!v) return nullptr;
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
  if (v->type / 2 == FILE_KIND_AUDIO) SecondToStr(it.timeoffset / 1000, where, sizeof where, PromptLanguage());
  else pageWords(v->type, it.charoffset, where, sizeof where);
  char head[128];
  std::snprintf(head, sizeof head, "%s%d", kBookmarkWord[PromptLanguage()], static_cast<int>(m->items.size()) - v->item);
  text_sound_insert(joined(head, where).c_str());
  return 0;
}

int MarkValueHide(Activity *a) { return ActivityHideScreen(a); }

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
  if (DialogBoxCreate(kAskDelete[PromptLanguage()]) != VKEY_OK) {
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
  if (DialogBoxCreate(kAskClean[PromptLanguage()]) != VKEY_OK) {
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
