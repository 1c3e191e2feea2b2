// A key press handed to the screen on top, as the key distribution thread
// hands it.
#pragma once

#include "core/activity.h"
#include "core/key.h"

inline int PressKey(int code) {
  KeyEvent k{KEY_TYPE_PRESS, code};
  return ActivityKeyCallBack(&k);
}
