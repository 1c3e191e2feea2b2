// The alarm scheduler's calls, doing nothing until it is built.
#include "core/clock/alarm.h"

int AlarmInit(void) { return 0; }
int AlarmResetAutoPowerOffTime(void) { return 0; }
int SaveAndStopAutoShutdown(void) { return 0; }
int RestoryAutoShutdown(int enable) { return 0; }
int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
