// core/clock/alarm_screens.h: the spoken screens that edit the alarm
// records: the list of the four user alarms ("AlarmSet"), which speaks a
// summary of each, and the editor of one record ("AlarmItem"), which walks
// its fields. The editor works on a copy: OK writes it back and reschedules
// it, BACK leaves the record as it was and reschedules it. The timed power-on
// and power-off use the editor reduced to hour, minute and enable.
//
// Threads: key distribution thread only; records are reached through the
// scheduler's locked calls (AlarmGet, AlarmEditBegin/End).
#pragma once

#include "core/runtime/activity.h"
#include "core/clock/alarm.h"

// Summary of a weekday mask: "Once" for 0, "Every day" for 127, else the
// selected days from Sunday on. Returns text.
char *GetAlmSelectStr(char *text, int size, int mask);
// Summary of a record as the list speaks it. Returns text.
char *GetAlarmStr(char *text, int size, const AlarmRecord *record, int format24);

// The list screen, stacked and not active; null without memory.
Activity *AlarmSetCreate(void);
// The editor of record id (reduced: hour, minute and enable only), stacked
// and not active; null without memory ("Not enough memory\n") or a bad id.
Activity *AlarmItemCreate(int id, int reduced);

// Menu commands: the list, the timed power-off and power-on editors,
// activated. Return 0, -1 when the screen cannot be made.
int AlarmSettingFunc(void *context, int value, int preview);
int AlarmSetPwrOffFunc(void *context, int value, int preview);
int AlarmSetPwrOnFunc(void *context, int value, int preview);

// Binds the three commands to the menu. Called by AlarmInit.
void AlarmScreensInit(void);
