// core/ui/menu.h: the spoken menu engine. A menu is a static tree of nodes:
// menus, whose children are menus or items, and items, which hold a value
// (a setting variable, optionally with spoken value names and a mask of the
// values that may be chosen) and a set function that applies it. An open
// menu is a screen on the activity stack that walks the children with UP and
// DOWN, browses a value with LEFT and RIGHT and applies it with OK.
//
// Threads: everything runs on the key distribution thread (key and show
// callbacks); the tree is static data without a lock. The registry of bound
// set functions has its own mutex, never held while a function runs.
#pragma once

#include "core/runtime/activity.h"

#include <cstdint>

enum {
  MENU_HAS_VALUE = 0x001,  // the item holds a value
  MENU_COMMAND = 0x002,    // command item: only its name is spoken, LEFT and RIGHT do nothing
  MENU_PREVIEW = 0x004,    // the set function previews every value as it is spoken
  MENU_TOGGLE = 0x008,     // after a successful set the stored value advances by one
  MENU_NO_CLOSE_CB = 0x010,  // closing the menu on this item does not call its close callback
  MENU_NODE = 0x100,       // the node is a menu
  MENU_ITEM = 0x200,       // the node is an item
};

// The widest mask: an item with value names may offer at most 64 values.
constexpr int kMenuMaxValues = 64;

// int set(context, value, preview): applies value (the mapped value for an
// item with value names). preview 1: only let the user hear it. Returns 0,
// negative on failure.
typedef int (*MenuSetFunc)(void *context, int value, int preview);

// The common start of items and menus: flags and the Chinese and English
// names, indexed by the language setting.
struct MenuEntry {
  int flags;
  const char *name[2];
};

// One value of an item with value names: its spoken names and the number
// handed to the set function and to readers.
struct MenuValue {
  const char *name[2];
  int value;
};

struct MenuItem : MenuEntry {
  int visible;  // 0 hidden, 1 shown
  int minimum;
  int maximum;
  int *value;         // the setting variable; null for command items
  uint64_t bitmask;   // bit (v - minimum): v may be chosen (items with value names only)
  const MenuValue *values;  // value names, indexed by v - minimum; or null
  MenuSetFunc set;     // or null
  const char *const *done;    // null or {Chinese, English}: spoken after a successful set
  const char *const *fail;    // spoken when the set function fails
  const char *const *cancel;  // kept with the item, not spoken by the engine
  const char *bound;   // set function bound by name (MenuBindFunc) when set is null
};

struct MenuNode : MenuEntry {
  int count;    // number of children
  int current;  // index of the current child: a menu reopens where it was left
  int edit;     // the value being browsed for the current item
  MenuEntry *const *children;  // null-terminated
};

// Opens menu as a screen, stacked but not active (the caller activates it,
// which speaks it). The current child moves forward to a visible one; the
// edit value is loaded from a value item. onOpen(context) runs before the
// screen is stacked; onClose(context) when it closes. closeAfterSet 1: the
// menu closes after a successful set. Returns the screen, or null for a
// null owner or menu, a menu without a visible child, or no memory.
Activity *MenuCreate(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                     int closeAfterSet);

// The same for the two top-level menus of the file browser: MENU switches
// between SystemMenu and TwoMenu (global is_menu, 0 or 1).
Activity *MenuCreate1(void *owner, MenuNode *menu, void (*onOpen)(void *), void (*onClose)(void *), void *context,
                      int closeAfterSet);
extern int is_menu;

// The two root menus that MENU switches between: system (is_menu 0) and file
// (is_menu 1). Registered at start-up by the menu tree (MenuInit); until
// then MENU on a top menu only closes it.
void MenuSetRoots(MenuNode *system, MenuNode *file);

// The screen a menu screen was opened from (a submenu's too); null for a
// screen that is no menu.
Activity *MenuOwner(Activity *menu);

// Speaks the current child. Returns 0, -1 for a null screen or menu.
int MenuShow(Activity *menu);
int MenuHide(Activity *menu);

// Item: its visible flag. Menu: the first nonzero visibility among its
// descendants (0 when none is visible). -1 for a node that is neither.
int MenuVisable(MenuEntry *node);

// The item's current value: with value names the mapped value and the name
// in the current language, else the stored value and null. Either output
// may be null. Returns 0, -1 for a null item, one without a value variable
// or without MENU_HAS_VALUE.
int ItemGetValue(MenuItem *item, const char **name, int *value);

// Stores value (a stored value, not a mapped one). Returns 0; -1 for a bad
// item or a value outside the range or, with value names, not allowed.
int ItemSetValue(MenuItem *item, int value);

// Steps the stored value by one up (up nonzero) or down, skipping values the
// mask does not allow; at the end of the range it wraps when wrap is nonzero.
// Returns 0, -1 for a bad item.
int ItemChgVal(MenuItem *item, int up, int wrap);

// Sets the allowed values. A stored value no longer allowed moves to the
// next allowed one above it, else to the lowest allowed. Returns 0; -1 for a
// bad item; -2 when the mask allows no value of the range (the old mask stays).
int ItemSetBitmask(MenuItem *item, uint64_t mask);

// visible = 1 when flag > 0, else 0. Returns 0, -1 for null.
int ItemSetVisable(MenuItem *item, int flag);

// The mapped value of the item's stored value (the stored value itself for
// an item without value names); 0 for a bad item.
int MenuItemGetValue(MenuItem *item);

// A set function that does nothing. Returns 0.
int EmptMenuSetFunc(void *context, int value, int preview);

// Set functions that live with screens of other modules are bound by name,
// once, when those modules start (or by tests); the tree names them in its
// items' `bound` field. An unbound name leaves a command item without an
// action (OK speaks the menu again) and lets a value item store its value as
// with EmptMenuSetFunc. Three shapes exist: set functions, tools that open a
// resource file, and the players' speech-parameter setters.
typedef int (*MenuToolFunc)(void *context, const char *file);
typedef int (*MenuParamFunc)(void *context, int id, int value);
// Binds (or, with null, unbinds) fn to name, one call per shape. Returns 0,
// -1 for a null or too long name or a full registry.
int MenuBindFunc(const char *name, MenuSetFunc fn);
int MenuBindToolFunc(const char *name, MenuToolFunc fn);
int MenuBindParamFunc(const char *name, MenuParamFunc fn);
// What is bound to name, or null.
MenuSetFunc MenuFindFunc(const char *name);
MenuToolFunc MenuFindToolFunc(const char *name);
MenuParamFunc MenuFindParamFunc(const char *name);

// The set function OK and previews call for item: item->set, else what is
// bound to item->bound; for an unbound value item EmptMenuSetFunc (the value
// is stored), for an unbound command null.
MenuSetFunc MenuItemSetFunc(const MenuItem *item);
