// core/ui/listbox.h: the spoken list box. The user walks a list of lines
// (the headings of a book, its chapters) with UP and DOWN, each line spoken
// as it is reached; OK hands the chosen line's index to the opener's
// callback, BACK hands it -1. Runs on the key distribution thread.
#pragma once

#include "core/runtime/activity.h"

#include <string>
#include <vector>

// Makes the box ("ListBox") over lines with line current (clamped into the
// list) chosen; stacked, not active (activating it speaks that line). UP
// and DOWN stop at the ends of the list, where the end line is spoken
// again. callback receives the index, or -1 when cancelled; it is called
// only when both callback and arg are set. Returns the screen, or null for
// an empty list or without memory.
Activity *ListBoxCreate(std::vector<std::string> lines, int current, void (*callback)(void *arg, int index),
                        void *arg);
