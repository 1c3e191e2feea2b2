// core/runtime/activity.h: screens and the stack they live on. The device has no
// display: a screen "shows" itself by speaking its current item.
#pragma once

#include "core/runtime/key.h"

struct Activity {
  const char *name;
  int active;  // nonzero while the screen may receive keys and speak
  int (*key)(Activity *self, const KeyEvent *key);  // 0 consumed, 1 not consumed
  int (*show)(Activity *self);
  int (*hide)(Activity *self);
  long reserved;  // not used by the stack; the screen's own word
  void *data;
};

constexpr int kActivityMax = 32;

// Pushes act on top; its active flag is left as it is. Returns 0, -1 for
// null, -2 when 32 screens are already stacked.
int ActivityAdd(Activity *act);

// Removes act wherever it stands (entries above move down). Returns 0, also
// when act is not stacked; -1 for null. Never frees the record.
int ActivityRemove(Activity *act);

// Stores flag in act's active field, then shows the top-most active screen.
// Returns 0, -1 for null.
int ActivitySetActive(Activity *act, int flag);

// Shows the top-most active screen, if any. Returns 0.
int ActivityRefresh(void);

// Shows act only when it is the top-most active screen. Returns 0, -1 for null.
int ActivityReshow(Activity *act);

// Hands key to the top-most active screen. Returns the screen's result, or
// -2 when no screen is active or it has no key callback.
int ActivityKeyCallBack(const KeyEvent *key);

// The top slot, active or not; null on an empty stack.
Activity *GetCurrentActivity(void);

int ActivityGetNumb(void);
