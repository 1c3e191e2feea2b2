// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

int register_iconv_cd(void) { return 0; }
int InitDuoYing(void) { return 0; }
void DeInitDuoYing(void) {}
int sound_init(void) { return 0; }
void sound_deinit(void) {}
int SoundSpeed_Init(void) { return 0; }
int AlarmInit(void) { return 0; }
int WordList_Init(void) { return 0; }
void WordList_DeInit(void) {}
int BookMarkInit(void) { return 0; }
int BookMarkDeInit(void) { return 0; }
int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
int SetChargeLow(void) { return 0; }
int LedOn(void) { return 0; }
int LedOff(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }
