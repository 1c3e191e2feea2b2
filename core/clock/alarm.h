// core/clock/alarm.h: the alarm scheduler, its idle power-off and the voice
// reminders, as start-up, shutdown and the players call them. Not built
// yet: every call does nothing and returns 0.
#pragma once

int AlarmInit(void);
int AlarmResetAutoPowerOffTime(void);
// The idle auto-shutdown. Save-and-stop returns the previous enable after
// disabling it; restore re-enables it (fresh countdown) or keeps it off.
int SaveAndStopAutoShutdown(void);
int RestoryAutoShutdown(int enable);
int InitVoiceRemind(void);
int DeInitVoiceRemind(void);
int LoadAlarm(const char *path);
int SaveAlarm(const char *path);
int InitAlarmFromMenu(void);
int AlarmSetPowerOnRTC(void);
