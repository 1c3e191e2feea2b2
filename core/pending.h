// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

#include <libxml/tree.h>

int AlarmInit(void);        // alarms
int AlarmResetAutoPowerOffTime(void);
int BookMarkInit(void);  // bookmarks and history
int BookMarkDeInit(void);
int BookMarkLoad(xmlNode *first);
int BookMarkSave(xmlNode *parent);
int InitVoiceRemind(void);  // voice reminders
int DeInitVoiceRemind(void);
int LoadAlarm(const char *path);
int SaveAlarm(const char *path);
int InitAlarmFromMenu(void);
int AlarmSetPowerOnRTC(void);
extern int radio_enable_sleep;  // radio: the device may sleep
int ReadySleep(void);

// Size of the mounted storage of a type (0 internal, 1 card, 2 USB disk)
// (file browser): the block size with the total and free block counts, or
// -1 when it is not mounted. The stand-in knows no mounted device.
int GetMountDeviceSize(int type, unsigned int *totalBlocks, unsigned int *freeBlocks);
