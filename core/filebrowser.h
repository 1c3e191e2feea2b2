// core/filebrowser.h: the file browser, the bottom screen of the stack.
#pragma once

#include "core/activity.h"

// Creates the browser at path (its folder is listed) and stacks it.
// Returns the record, or null.
Activity *FileBrowserCreate(const char *path);

// Lists the browser's folder again, keeping the current entry by name.
void FileBrowserReloadDir(Activity *browser);

// Formats a storage device (0 internal memory, 1 memory card, 2 USB disk)
// with the board's shell. Returns 0, -1 for another type or a card without
// a device.
int DoFormating(int type);
