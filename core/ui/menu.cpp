// The spoken menu engine: an open menu is one heap screen over a static menu
// node. The node keeps the current child and the value being browsed, so a
// menu reopens where it was left; the browsed value reaches the setting only
// on a successful OK.
//
// Threads: the key distribution thread runs every key and show callback
// here. The registry of bound set functions is guarded by g_bindMutex, which
// is never held while a bound function runs.
#include "core/ui/menu.h"

#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/log.h"
#include "speech/text_sound.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

int is_menu = 0;

namespace {

// The roots of MenuSetRoots: written at start-up before the key thread runs.
MenuNode *g_systemRoot = nullptr;
MenuNode *g_fileRoot = nullptr;

constexpr char kLogSource[] = "core/menu.c";

// One open menu: the stack holds &head; head.data is the node.
struct MenuScreen {
  Activity head;
  void *owner;
  MenuNode *node;
  void (*onOpen)(void *);
  void (*onClose)(void *);
  void *context;
  int closeAfterSet;
};

MenuScreen *screenOf(Activity *a) { return reinterpret_cast<MenuScreen *>(a); }


bool isMenu(const MenuEntry *e) { return e && (e->flags & MENU_NODE); }
bool isItem(const MenuEntry *e) { return e && (e->flags & MENU_ITEM); }
MenuItem *asItem(MenuEntry *e) { return isItem(e) ? static_cast<MenuItem *>(e) : nullptr; }
MenuNode *asMenu(MenuEntry *e) { return isMenu(e) ? static_cast<MenuNode *>(e) : nullptr; }

bool isCommand(const MenuItem *it) { return (it->flags & MENU_COMMAND) != 0; }

// An item whose value can be browsed with LEFT and RIGHT.
bool browsable(const MenuItem *it) {
  return it && !isCommand(it) && (it->flags & MENU_HAS_VALUE) && it->value;
}

// Number of values the item's mask can speak for: the range, at most 64.
int span(const MenuItem *it) {
  int n = it->maximum - it->minimum + 1;
  if (n < 1) return 0;
  return n > kMenuMaxValues ? kMenuMaxValues : n;
}

uint64_t fullMask(const MenuItem *it) {
  int n = span(it);
  return n >= 64 ? ~uint64_t{0} : ((uint64_t{1} << n) - 1);
}

// Whether v may be stored in the item.
bool allowed(const MenuItem *it, int v) {
  if (v < it->minimum || v > it->maximum) return false;
  if (!it->values) return true;
  int row = v - it->minimum;
  return row < kMenuMaxValues && (it->bitmask >> row & 1);
}

const MenuValue *valueRecord(const MenuItem *it, int v) {
  if (!it->values || v < it->minimum || v > it->maximum || v - it->minimum >= kMenuMaxValues) return nullptr;
  return &it->values[v - it->minimum];
}

// The number a set function receives for the stored or browsed value v.
int mapped(const MenuItem *it, int v) {
  if (!it->values) return v;
  const MenuValue *r = valueRecord(it, v);
  return r ? r->value : 0;
}

// One step from v; -1 direction down. Returns the new value, or v itself
// when wrapping is off at the end of the range (or nothing else is allowed).
int step(const MenuItem *it, int v, int up, bool wrap) {
  int lo = it->minimum, hi = it->maximum;
  if (!it->values) {
    if (up) return v < hi ? v + 1 : (wrap ? lo : v);
    return v > lo ? v - 1 : (wrap ? hi : v);
  }
  if (hi - lo >= kMenuMaxValues) hi = lo + kMenuMaxValues - 1;
  if (up) {
    for (int x = v + 1; x <= hi; x++)
      if (allowed(it, x)) return x;
    if (!wrap) return v;
    for (int x = lo; x <= hi; x++)
      if (allowed(it, x)) return x;
  } else {
    for (int x = v - 1; x >= lo; x--)
      if (allowed(it, x)) return x;
    if (!wrap) return v;
    for (int x = hi; x >= lo; x--)
      if (allowed(it, x)) return x;
  }
  return v;
}

MenuEntry *currentChild(MenuNode *node) {
  if (!node || node->current < 0 || node->current >= node->count) return nullptr;
  return node->children[node->current];
}

// Index of the next visible child from `from` in direction dir (+1 / -1),
// wrapping; `from` itself when the walk comes back to it; -1 when no child
// is visible at all.
int nextVisible(MenuNode *node, int from, int dir) {
  if (node->count <= 0) return -1;
  for (int i = 1; i <= node->count; i++) {
    int idx = ((from + dir * i) % node->count + node->count) % node->count;
    if (MenuVisable(node->children[idx]) > 0) return idx;
  }
  return -1;
}

// The edit value follows the current child when it is a value item.
void loadEdit(MenuNode *node) {
  MenuItem *it = asItem(currentChild(node));
  if (!it || !(it->flags & MENU_HAS_VALUE)) return;
  if (!it->value) {
    LOGW("menu item val is NULL\n");
    return;
  }
  node->edit = *it->value;
}

void speakPair(const char *const *pair, bool wait) {
  if (!pair) return;
  int h = text_sound_insert(pair[PromptLanguage()]);
  if (wait) wait_text_sound_end(h);
}

Activity *create(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                 int closeAfterSet, bool top);

// Removes and frees the screen; the caller decides about onClose and reshow.
void closeScreen(MenuScreen *m) {
  ActivityRemove(&m->head);
  delete m;
}

void reshowTop() { ActivityReshow(GetCurrentActivity()); }

// OK on an item. top: the screen is one of the two top-level menus.
void commit(MenuScreen *m, MenuItem *it, bool top) {
  MenuNode *node = m->node;
  MenuSetFunc set = MenuItemSetFunc(it);
  if (!set) {
    ActivityReshow(&m->head);
    return;
  }
  bool hasValue = (it->flags & MENU_HAS_VALUE) && it->value;
  int value = hasValue ? mapped(it, node->edit) : 0;
  if (set(m->context, value, 0) < 0) {
    speakPair(it->fail, true);
    if (CfgDebugMenu) LOGI("menuiitem %s setfun return error\n", it->name[0] ? it->name[0] : "");
    ActivityReshow(&m->head);
    return;
  }
  if (hasValue) *it->value = node->edit;
  speakPair(it->done, true);
  if ((it->flags & MENU_TOGGLE) && hasValue) {
    ItemChgVal(it, 1, 1);
    node->edit = *it->value;
  }
  if (m->closeAfterSet == 1) {
    void (*onClose)(void *) = m->onClose;
    void *context = m->context;
    closeScreen(m);
    if (onClose && !(it->flags & MENU_NO_CLOSE_CB)) onClose(context);
    if (!top) reshowTop();
    return;
  }
  if (top) {
    int next = nextVisible(node, node->current, 1);
    if (next >= 0) node->current = next;
    loadEdit(node);
  }
  // A set function may have opened a screen of its own: speak only when the
  // menu is still the one the user hears.
  ActivityReshow(&m->head);
}

int menuKey(Activity *a, const KeyEvent *key, bool top) {
  if (!a || !key) return -1;
  MenuScreen *m = screenOf(a);
  if (!m->owner || !m->node) return -1;
  MenuNode *node = m->node;
  MenuEntry *cur = currentChild(node);
  switch (key->code) {
    case VKEY_MENU:
      if (!top) {
        MenuShow(a);
        return 0;
      } else {
        void *owner = m->owner, *context = m->context;
        void (*onOpen)(void *) = m->onOpen;
        void (*onClose)(void *) = m->onClose;
        closeScreen(m);
        if (onClose) onClose(context);
        is_menu = is_menu ? 0 : 1;
        Activity *next = nullptr;
        if (is_menu && g_fileRoot) {
          g_fileRoot->current = 0;
          next = MenuCreate1(owner, g_fileRoot, onOpen, onClose, context, 1);
        } else if (!is_menu && g_systemRoot) {
          next = MenuCreate1(owner, g_systemRoot, onOpen, onClose, context, 0);
        }
        text_sound_stop();
        if (next) ActivitySetActive(next, 1);
        else reshowTop();
        return 0;
      }
    case VKEY_ESC:
      if (!top) return 1;
      MenuShow(a);
      return 0;
    case VKEY_BACK: {
      void (*onClose)(void *) = m->onClose;
      void *context = m->context;
      bool callClose = onClose && (!top || !cur || !(cur->flags & MENU_NO_CLOSE_CB));
      closeScreen(m);
      if (callClose) onClose(context);
      reshowTop();
      return 0;
    }
    case VKEY_UP:
    case VKEY_DOWN: {
      int next = nextVisible(node, node->current, key->code == VKEY_UP ? -1 : 1);
      if (next >= 0) node->current = next;
      loadEdit(node);
      MenuShow(a);
      return 0;
    }
    case VKEY_LEFT:
    case VKEY_RIGHT: {
      MenuItem *it = asItem(cur);
      if (!browsable(it)) return 0;
      node->edit = step(it, node->edit, key->code == VKEY_RIGHT, true);
      MenuShow(a);
      return 0;
    }
    case VKEY_OK: {
      if (MenuNode *sub = asMenu(cur)) {
        Activity *s = MenuCreate(m->owner, sub, nullptr, nullptr, m->context, 0);
        if (!s) {
          LOGE("MenuItemCreate return error\n");
          return 0;
        }
        ActivitySetActive(s, 1);
        return 0;
      }
      if (MenuItem *it = asItem(cur)) commit(m, it, top);
      return 0;
    }
    case VKEY_POWEROFF: {
      void (*onClose)(void *) = m->onClose;
      void *context = m->context;
      bool callClose = onClose && !(cur && (cur->flags & MENU_NO_CLOSE_CB));
      closeScreen(m);
      if (callClose) onClose(context);
      return 1;
    }
    default:
      return 1;
  }
}

int MenuKey(Activity *a, const KeyEvent *key) { return menuKey(a, key, false); }
int MenuKey1(Activity *a, const KeyEvent *key) { return menuKey(a, key, true); }

Activity *create(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                 int closeAfterSet, bool top) {
  if (!owner || !menu) return nullptr;
  if (MenuVisable(menu) <= 0) return nullptr;
  if (menu->current < 0 || menu->current >= menu->count) menu->current = 0;
  if (MenuVisable(menu->children[menu->current]) <= 0) {
    int next = nextVisible(menu, menu->current, 1);
    if (next < 0) return nullptr;
    menu->current = next;
  }
  loadEdit(menu);
  MenuScreen *m = new (std::nothrow) MenuScreen;
  if (!m) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  m->head = {top ? "Menu1" : "Menu", 0, top ? MenuKey1 : MenuKey, MenuShow, MenuHide, 0, menu};
  m->owner = owner;
  m->node = menu;
  m->onOpen = onOpen;
  m->onClose = onClose;
  m->context = context;
  m->closeAfterSet = closeAfterSet;
  if (onOpen) onOpen(context);
  if (ActivityAdd(&m->head) != 0) {
    delete m;
    return nullptr;
  }
  return &m->head;
}

// The registry of bound functions. Kinds keep the three shapes apart.
enum BindKind { kBindSet, kBindTool, kBindParam };
struct Binding {
  char name[48];
  BindKind kind;
  void (*fn)();
};
constexpr int kBindMax = 128;
std::mutex g_bindMutex;
Binding g_bindings[kBindMax];  // guarded by g_bindMutex
int g_bindCount = 0;           // guarded by g_bindMutex

int bind(const char *name, BindKind kind, void (*fn)()) {
  if (!name || !*name || std::strlen(name) >= sizeof g_bindings[0].name) return -1;
  std::scoped_lock lock(g_bindMutex);
  for (int i = 0; i < g_bindCount; i++) {
    if (std::strcmp(g_bindings[i].name, name) == 0) {
      g_bindings[i].kind = kind;
      g_bindings[i].fn = fn;
      return 0;
    }
  }
  if (g_bindCount >= kBindMax) {
    LOGE("menu function registry full: %s\n", name);
    return -1;
  }
  Binding &b = g_bindings[g_bindCount++];
  std::snprintf(b.name, sizeof b.name, "%s", name);
  b.kind = kind;
  b.fn = fn;
  return 0;
}

void (*find(const char *name, BindKind kind))() {
  if (!name) return nullptr;
  std::scoped_lock lock(g_bindMutex);
  for (int i = 0; i < g_bindCount; i++)
    if (g_bindings[i].kind == kind && std::strcmp(g_bindings[i].name, name) == 0) return g_bindings[i].fn;
  return nullptr;
}

}  // namespace

Activity *MenuOwner(Activity *menu) {
  if (!menu || (menu->key != MenuKey && menu->key != MenuKey1)) return nullptr;
  return static_cast<Activity *>(screenOf(menu)->owner);
}

Activity *MenuCreate(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                     int closeAfterSet) {
  return create(owner, menu, onOpen, onClose, context, closeAfterSet, false);
}

Activity *MenuCreate1(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                      int closeAfterSet) {
  return create(owner, menu, onOpen, onClose, context, closeAfterSet, true);
}

int MenuShow(Activity *a) {
  if (!a || !a->data) return -1;
  MenuNode *node = static_cast<MenuNode *>(a->data);
  MenuEntry *child = currentChild(node);
  const char *menuName = node->name[0] ? node->name[0] : "";
  if (!child) {
    LOGW("menu %s item[%d] is NULL\n", menuName, node->current);
    return 0;
  }
  int lg = PromptLanguage();
  if (!child->name[lg]) {
    LOGW("menu %s item[%d] no name\n", menuName, node->current);
    return 0;
  }
  MenuItem *it = asItem(child);
  char text[512];
  if (!it || isCommand(it) || !(it->flags & MENU_HAS_VALUE)) {
    text_sound_insert(child->name[lg]);
    return 0;
  }
  int v = node->edit;
  const MenuValue *rec = valueRecord(it, v);
  if (it->value == &MLanguageSetting) {
    // The language item speaks in the language being browsed.
    int vl = v == 1 ? 1 : 0;
    std::snprintf(text, sizeof text, "%s, %s", it->name[vl] ? it->name[vl] : "",
                  rec && rec->name[vl] ? rec->name[vl] : "");
  } else if (it->values) {
    std::snprintf(text, sizeof text, "%s, %s", child->name[lg], rec && rec->name[lg] ? rec->name[lg] : "");
  } else {
    std::snprintf(text, sizeof text, "%s, %d", child->name[lg], v);
  }
  int previewed = 0;
  MenuSetFunc set = MenuItemSetFunc(it);
  if (set && (it->flags & MENU_PREVIEW)) {
    previewed = 1;
    if (set(a, mapped(it, v), 1) < 0 && CfgDebugMenu)
      LOGI("menuitem %s setfunc [val = %d] return error\n", it->name[0] ? it->name[0] : "", v);
  }
  text_sound_insert1(text, previewed);
  return 0;
}

int MenuHide(Activity *a) { return ActivityHideScreen(a); }

int MenuVisable(MenuEntry *node) {
  if (MenuItem *it = asItem(node)) return it->visible;
  if (MenuNode *menu = asMenu(node)) {
    for (int i = 0; i < menu->count; i++) {
      int v = MenuVisable(menu->children[i]);
      if (v > 0) return v;
    }
    return 0;
  }
  LOGW("param menu not a menu or menu item\n");
  return -1;
}

int ItemGetValue(MenuItem *item, const char **name, int *value) {
  if (!item || !item->value || !(item->flags & MENU_HAS_VALUE)) return -1;
  int v = *item->value;
  if (item->values) {
    const MenuValue *rec = valueRecord(item, v);
    if (value) *value = rec ? rec->value : 0;
    if (name) *name = rec ? rec->name[PromptLanguage()] : nullptr;
  } else {
    if (value) *value = v;
    if (name) *name = nullptr;
  }
  return 0;
}

int ItemSetValue(MenuItem *item, int value) {
  if (!item || !item->value) return -1;
  if (!allowed(item, value)) return -1;
  *item->value = value;
  return 0;
}

int ItemChgVal(MenuItem *item, int up, int wrap) {
  if (!item || !item->value) return -1;
  *item->value = step(item, *item->value, up, wrap != 0);
  return 0;
}

int ItemSetBitmask(MenuItem *item, uint64_t mask) {
  if (!item) return -1;
  if ((mask & fullMask(item)) == 0) return -2;
  item->bitmask = mask;
  if (item->values && item->value && !allowed(item, *item->value)) {
    // The next allowed value above the old one, else the lowest allowed.
    int v = *item->value, hi = item->minimum + span(item) - 1, next = v;
    for (int x = v + 1; x <= hi && next == v; x++)
      if (allowed(item, x)) next = x;
    for (int x = item->minimum; x <= hi && next == v; x++)
      if (allowed(item, x)) next = x;
    *item->value = next;
  }
  return 0;
}

int ItemSetVisable(MenuItem *item, int flag) {
  if (!item) return -1;
  item->visible = flag > 0 ? 1 : 0;
  return 0;
}

int MenuItemGetValue(MenuItem *item) {
  if (!item || !item->value) return 0;
  return mapped(item, *item->value);
}

int EmptMenuSetFunc(void *context, int value, int preview) { return 0; }

int MenuBindFunc(const char *name, MenuSetFunc fn) { return bind(name, kBindSet, reinterpret_cast<void (*)()>(fn)); }
int MenuBindToolFunc(const char *name, MenuToolFunc fn) { return bind(name, kBindTool, reinterpret_cast<void (*)()>(fn)); }
int MenuBindParamFunc(const char *name, MenuParamFunc fn) {
  return bind(name, kBindParam, reinterpret_cast<void (*)()>(fn));
}

MenuSetFunc MenuFindFunc(const char *name) { return reinterpret_cast<MenuSetFunc>(find(name, kBindSet)); }
MenuToolFunc MenuFindToolFunc(const char *name) { return reinterpret_cast<MenuToolFunc>(find(name, kBindTool)); }
MenuParamFunc MenuFindParamFunc(const char *name) { return reinterpret_cast<MenuParamFunc>(find(name, kBindParam)); }

MenuSetFunc MenuItemSetFunc(const MenuItem *item) {
  if (!item) return nullptr;
  if (item->set) return item->set;
  if (!item->bound) return nullptr;
  if (MenuSetFunc fn = MenuFindFunc(item->bound)) return fn;
  // A value item keeps working before its screen's module binds it.
  return (item->flags & MENU_HAS_VALUE) && item->value ? EmptMenuSetFunc : nullptr;
}

void MenuSetRoots(MenuNode *system, MenuNode *file) {
  g_systemRoot = system;
  g_fileRoot = file;
}
