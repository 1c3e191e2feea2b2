// core/library/bookmark_screens.h: the two screens that list, open, delete
// and clean the marks of the store (core/library/bookmark.h): "Mark", the
// bookmarks or the history by category, and "MarkValue", one mark's items.
// Key distribution thread only.
#pragma once

#include "core/library/bookmark.h"

// Opens the list of bookmarks (is_history 0) or of the history over the
// file browser: builds the merged view, speaks the category title and waits
// for it, stacks the "Mark" screen (not active; the caller activates it).
// Returns the screen, or null when out of memory.
Activity *MarkCreate(Activity *browser, int is_history);
int MarkKey(Activity *screen, const KeyEvent *key);
int MarkShow(Activity *screen);
int MarkHide(Activity *screen);

// The items of one mark, over the list. Stacked and activated. Returns the
// screen, or null.
Activity *MarkValueCreate(Activity *browser, Activity *list, Mark *mark);
int MarkValueKey(Activity *screen, const KeyEvent *key);
int MarkValueShow(Activity *screen);
int MarkValueHide(Activity *screen);

// Menu commands of the mark menu; context is the "Mark" or "MarkValue"
// screen. Ask first; then delete the entry (or the selected item) or empty
// the category. Return 0, -1 without a screen.
int MarkDeleteItemFunc(void *context, int value, int preview);
int MarkCleanFunc(void *context, int value, int preview);
