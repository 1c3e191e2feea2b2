// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "board/board.h"
#include "core/app.h"

#include <cstdio>
#include <cstring>
#include <vector>

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
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

Activity *RadioCreate(Activity *browser) { return nullptr; }
int UpGrage(int code) { return 0; }
