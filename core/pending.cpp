// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "board/board.h"
#include "core/app.h"
#include "core/battery.h"
#include "core/xml.h"

#include <cstdio>
#include <ctime>

int register_iconv_cd(void) { return 0; }
int InitDuoYing(void) { return 0; }
void DeInitDuoYing(void) {}
int sound_init(void) { return 0; }
void sound_deinit(void) {}
int sound_setvol(int which, int play_step, int rec_step) { return 0; }
int SetOutToHead(void) { return 0; }
int SetOutToSpeak(void) { return 0; }
int SoundSpeed_Init(void) { return 0; }
int AlarmInit(void) { return 0; }
int AlarmResetAutoPowerOffTime(void) { return 0; }
int WordList_Init(void) { return 0; }
void WordList_DeInit(void) {}
int BookMarkInit(void) { return 0; }
int BookMarkDeInit(void) { return 0; }
int BookMarkLoad(xmlNode *first) { return first ? 0 : -1; }
int BookMarkSave(xmlNode *parent) { return parent ? 0 : -1; }
// Until the menu tree arrives its block keeps only the prompt language, so
// that a configuration file can already choose English.
int MenuLoad(xmlNode *first) {
  if (!first) return -1;
  int v;
  if (XxmlGetValue(first, "MLanguageSetting", &v) == 0 && (v == 0 || v == 1)) MLanguageSetting = v;
  return 0;
}

int MenuSave(xmlNode *parent) {
  if (!parent) return -1;
  xmlNode *menu = xmlNewChild(parent, nullptr, reinterpret_cast<const xmlChar *>("menu"), nullptr);
  char text[16];
  std::snprintf(text, sizeof text, "%d", MLanguageSetting);
  xmlNewTextChild(menu, nullptr, reinterpret_cast<const xmlChar *>("MLanguageSetting"),
                  reinterpret_cast<const xmlChar *>(text));
  return 0;
}
int GetTimeFormat(void) { return 1; }
int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

// Chinese only, like the real sentences: English gets the empty text.
char *SysTimeAndDateStr(int is24h, char *dst, int size, int lang) {
  time_t now = BoardTime();
  struct tm tm;
  gmtime_r(&now, &tm);
  dst[0] = '\0';
  if (!lang)
    std::snprintf(dst, static_cast<size_t>(size), "现在时间: %d点%02d分, %d年%d月%d日", tm.tm_hour, tm.tm_min,
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return dst;
}

char *BatteryLevelStr(char *dst, int size, int lang) {
  int capacity = GetBatteryCapacity();
  if (capacity < 0) std::snprintf(dst, static_cast<size_t>(size), lang ? "get battery information failed" : "获取电池信息失败");
  else std::snprintf(dst, static_cast<size_t>(size), lang ? "battery level %d" : "电池电量 %d", capacity);
  return dst;
}

char *LunarInfoStr(char *dst, int size, int lang) {
  dst[0] = '\0';
  if (!lang) std::snprintf(dst, static_cast<size_t>(size), "%s", "农历日期");
  return dst;
}
