// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

int register_iconv_cd(void);  // character-set converters
int InitDuoYing(void);        // polyphone table
void DeInitDuoYing(void);
int sound_init(void);  // sound device
void sound_deinit(void);
int SoundSpeed_Init(void);  // tempo processors
int AlarmInit(void);        // alarms
int WordList_Init(void);    // example words
void WordList_DeInit(void);
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
