// core/clock/systime.h: the screens of the system menu that edit the clock
// and speak the device and storage facts, and the clock file a computer
// leaves on the internal card.
//
// "SysTime" edits year, month, day, hour and minute of the UTC clock field
// by field (years 1900..2200) and sets the board's clock and real-time
// clock. "SysInfo" and "MemInfo" speak the texts of GetSysInfo and
// GetMemInfo item by item. All three are heap records created, shown and
// freed on the key distribution thread; UpTime runs there too (the file
// browser calls it when USB mass-storage mode ends).
#pragma once

#include "core/runtime/activity.h"

#include <cstdint>

// Unix seconds of a UTC date and time (any year the day numbers of
// core/clock/lunar.h hold, 1900 onwards), in 64 bits on every build.
int64_t SysTimeToSeconds(int year, int month, int day, int hour, int minute, int second);

// Sets the board's clock to a Unix time, writes it into the real-time clock
// ("hwclock -w"), applies the alarm settings and rebuilds the alarm list
// when the date changed or the clock went back. Returns 0, -1 when the
// board refused the time (nothing else is done then).
int SysTimeApply(int64_t seconds);

// The screens; Create pushes an inactive record (null when memory or the
// clock fails), the Func forms are the menu actions that also activate it.
Activity *SysTimeCreate(void);
Activity *SysInfoCreate(void);
Activity *MemInfoCreate(void);
int TimeSettingFunc(void *context, int value, int preview);
int SystemInfoFunc(void *context, int value, int preview);
int MemoryInfoFunc(void *context, int value, int preview);

// The clock file "/mnt/emmc/q4snb.bin": when it exists the clock is set to
// its modification time and the file is removed. Returns the result of the
// removal's shell command, 0 without a file, -1 when it cannot be examined
// or the board refused the time.
int UpTime(void);

// Binds the three menu actions by name. Called once at start-up.
void SysScreensInit(void);
