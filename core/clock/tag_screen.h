// core/clock/tag_screen.h: what the voice memo and voice reminder screens
// share. Each is a heap record whose first member is its Activity head,
// created stacked but not active and freed on the key distribution thread
// when it closes.
#pragma once

#include "core/runtime/activity.h"
#include "core/runtime/log.h"

#include <new>

struct MenuNode;

// Makes record T with its head filled in and stacks it. Null (logged) when
// memory is short or the stack is full.
template <typename T>
T *TagScreenNew(const char *name, int (*key)(Activity *, const KeyEvent *), int (*show)(Activity *),
                int (*hide)(Activity *)) {
  T *t = new (std::nothrow) T;
  if (!t) {
    LogPrintf(LOG_ERROR, "toolbox/tag.c", __LINE__, "Not enough memory\n");
    return nullptr;
  }
  t->head = {name, 0, key, show, hide, 0, t};
  if (ActivityAdd(&t->head) != 0) {
    delete t;
    return nullptr;
  }
  return t;
}

// Marks the screen inactive. Returns 0, -1 for null.
int TagScreenHide(Activity *a);

// The keys the tag screens treat alike: MENU opens menu over the screen
// (when menu is not null); BACK closes it and re-shows the screen below;
// POWEROFF closes it and passes on; a removed card is not theirs. close(a,
// reshow) frees the screen. Returns the key callback's result, or -2 for a
// key the screen handles itself.
int TagScreenKey(Activity *a, const KeyEvent *key, MenuNode *menu, void (*close)(Activity *a, bool reshow));
