// core/ui/inputbox.h: the numeric input box. The user builds a number of up
// to nine digits with the arrow keys: UP and DOWN change the digit under the
// cursor, RIGHT appends a digit, LEFT deletes the last one; OK hands the
// number to the opener's callback, BACK hands it -1. Runs on the key
// distribution thread.
#pragma once

#include "core/runtime/activity.h"

// Makes the box ("InputBox") with the text of initial cut to digits (1..9)
// digits and the cursor on its last digit; stacked, not active. callback
// receives the value, or -1 when cancelled; it is called only when both
// callback and arg are set. Returns the screen, or null without memory.
Activity *InputBoxCreate(int initial, int digits, void (*callback)(void *arg, int value), void *arg);

// The digits the box holds now; "" for a null or foreign screen.
const char *InputBoxText(Activity *box);
