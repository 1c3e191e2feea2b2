// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

int InitDuoYing(void);        // polyphone table
void DeInitDuoYing(void);
int AlarmInit(void);        // alarms
int BookMarkInit(void);  // bookmarks and history
int BookMarkDeInit(void);
int InitVoiceRemind(void);  // voice reminders
int DeInitVoiceRemind(void);
int LoadAlarm(const char *path);
int SaveAlarm(const char *path);
int InitAlarmFromMenu(void);
int AlarmSetPowerOnRTC(void);
int SetChargeLow(void);  // charger, LED
int LedOn(void);
int LedOff(void);
extern int radio_enable_sleep;  // radio: sleep handling while the radio plays
int ReadySleep(void);

// Fuel gauge readings (battery module): state 1 charging, 2 discharging,
// 3 full, 0 other, -1 unreadable; capacity in percent, -1 unreadable, -2
// malformed. The stand-ins read the gauge's sysfs files.
int GetBatteryStaus(void);
int GetBatteryCapacity(void);
// Size of the mounted storage of a type (0 internal, 1 card, 2 USB disk)
// (file browser): the block size with the total and free block counts, or
// -1 when it is not mounted. The stand-in knows no mounted device.
int GetMountDeviceSize(int type, unsigned int *totalBlocks, unsigned int *freeBlocks);
