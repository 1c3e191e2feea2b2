// core/ui/format.h: the format screen. Formatting a storage device is guarded
// by a four-key code: after the warning the user must press UP, DOWN, LEFT
// and RIGHT in this order; any other key cancels. Runs on the key
// distribution thread; the format commands run there too.
#pragma once

#include "core/runtime/activity.h"

enum { FORMAT_EMMC = 0, FORMAT_SDCARD = 1, FORMAT_USBDISK = 2 };

// Makes the screen ("Format") for target over owner (the file browser,
// reloaded after formatting), stacked and not active, and queues the
// warning. Returns null for a null owner or a target outside 0..2.
Activity *FormatCreate(Activity *owner, int target);

// What the owner does once its device was formatted (the file browser lists
// its folder again), registered at start-up; null: nothing.
void FormatSetDoneHook(int (*done)(Activity *owner));

// Menu action: creates and activates the format screen for the file browser
// given as context. Returns 0, -1 when the context is missing or the screen
// cannot be made.
int MenuFormat(void *context, int target);

// Menu items' set functions: MenuFormat with targets 0, 1 and 2.
int MenuFormatEmmc(void *context, int value, int preview);
int MenuFormatSd(void *context, int value, int preview);
int MenuFormatUsbdisk(void *context, int value, int preview);
