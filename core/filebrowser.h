// core/filebrowser.h: the file browser, the bottom screen of the stack.
#pragma once

#include "core/activity.h"

// Creates the browser at path (its folder is listed) and stacks it.
// Returns the record, or null.
Activity *FileBrowserCreate(const char *path);
