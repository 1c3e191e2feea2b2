// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

#include <libxml/tree.h>

int register_iconv_cd(void);  // character-set converters
int InitDuoYing(void);        // polyphone table
void DeInitDuoYing(void);
int sound_init(void);  // sound device
void sound_deinit(void);
int sound_setvol(int which, int play_step, int rec_step);  // 0: the level was set
int SetOutToHead(void);   // output routing: headphones
int SetOutToSpeak(void);  // output routing: speaker
int SoundSpeed_Init(void);  // tempo processors
int AlarmInit(void);        // alarms
int AlarmResetAutoPowerOffTime(void);
int WordList_Init(void);    // example words
void WordList_DeInit(void);
int BookMarkInit(void);  // bookmarks and history
int BookMarkDeInit(void);
int BookMarkLoad(xmlNode *first);
int BookMarkSave(xmlNode *parent);
int MenuLoad(xmlNode *first);  // menu settings in the configuration file
int MenuSave(xmlNode *parent);
int GetTimeFormat(void);  // 1: 24-hour clock
int InitVoiceRemind(void);  // voice reminders
int DeInitVoiceRemind(void);
int LoadAlarm(const char *path);
int SaveAlarm(const char *path);
int InitAlarmFromMenu(void);
int AlarmSetPowerOnRTC(void);
extern int radio_enable_sleep;  // radio: the device may sleep
int ReadySleep(void);

// Spoken information strings: each writes a sentence into dst and returns
// dst. Until the information module arrives they say something simple.
char *SysTimeAndDateStr(int is24h, char *dst, int size, int lang);
char *BatteryLevelStr(char *dst, int size, int lang);
char *LunarInfoStr(char *dst, int size, int lang);
