// core/ui/keyhelp.h: the key describer. Chosen from the system menu, it
// makes every key say its name and what it does on the screen on top (the
// screen the menu was opened from, while that menu is open) instead of
// acting, until MENU is pressed or ten seconds pass without a
// key; both ends are spoken. A new user learns the keys alone.
//
// Threads: started and fed on the key distribution thread; its time-out is
// a timer of the main loop. The state is two atomics.
#pragma once

#include "core/runtime/key.h"

// The menu command: the describer starts and says how to leave it. Returns 0.
int KeyDescribeFunc(void *context, int value, int preview);

// Every key the distribution thread takes, before any screen: returns true
// when the describer spoke for the key (the key goes no further), false when
// it is not running or the key is not one of the keyboard's (card and
// player notices, the held power key, auto-repeats pass).
bool KeyHelpTake(const KeyEvent *key);
