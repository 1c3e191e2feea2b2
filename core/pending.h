// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

int AlarmInit(void);        // alarms
int AlarmResetAutoPowerOffTime(void);
// Alarms: the idle auto-shutdown. Save-and-stop returns the previous
// enable after disabling it; restore re-enables it (fresh countdown) or
// keeps it off.
int SaveAndStopAutoShutdown(void);
int RestoryAutoShutdown(int enable);
int InitVoiceRemind(void);  // voice reminders
int DeInitVoiceRemind(void);
int LoadAlarm(const char *path);
int SaveAlarm(const char *path);
int InitAlarmFromMenu(void);
int AlarmSetPowerOnRTC(void);
extern int radio_enable_sleep;  // radio: the device may sleep
int ReadySleep(void);

struct Activity;
// Screens the file browser opens with its keys (radio): the screen stacked
// over browser, or null while they do not exist (the browser then speaks its
// entry again).
Activity *RadioCreate(Activity *browser);
// Firmware upgrade check after USB mass-storage mode. Returns 0.
int UpGrage(int code);
