// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "core/app.h"
#include "core/xml.h"

#include <cstdio>

int AlarmInit(void) { return 0; }
int AlarmResetAutoPowerOffTime(void) { return 0; }
int BookMarkInit(void) { return 0; }
int BookMarkDeInit(void) { return 0; }
int BookMarkLoad(xmlNode *first) { return first ? 0 : -1; }
int BookMarkSave(xmlNode *parent) { return parent ? 0 : -1; }

int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

int GetMountDeviceSize(int type, unsigned int *totalBlocks, unsigned int *freeBlocks) { return -1; }
