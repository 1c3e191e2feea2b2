// The configuration store: the settings' built-in values, and loading and
// saving the device's configuration file.
#include "core/config.h"

#include "core/app.h"

int MainVolume = 10, PromptVolume = 10, RadioVolume = 10;
int LogFileNo = 0;
int ContinueLastFile = 0;
int CfgLogToFile = 1, CfgLogLevel = 1, CfgMaxLogFileSize = 1048576, CfgMaxLogFile = 4;
int CfgMaxKeyBufferLength = 32, CfgKeyFirstDelay = 1000000, CfgKeyDelay = 150000;
int CfgFileSortAscent = 1;
int CfgYear = -1, CfgMonth = -1, CfgDay = -1, CfgHour = -1, CfgMinute = -1;
int CfgUsbDelay = 200, CfgBatteryCheckTime = 300, CfgBatteryLow = 10, CfgBatteryOff = 5;
int CfgDebugEvt, CfgDebugSnd, CfgDebugTts, CfgDebugTxtSnd, CfgDebugKey, CfgDebugFilebrowser, CfgDebugMenu,
    CfgDebugEbook, CfgDebugBookmark, CfgDebugDaisy, CfgDebugAudio, CfgDebugRadio, CfgDebugFfaudio,
    CfgDebugRecord, CfgDebugAlarm, CfgDebugCalendar, CfgDebugRes, CfgDebugAnMo, CfgDebugCTime, CfgDebugCalcul;

// Not built yet: the file is neither read nor written, so every setting keeps
// its built-in value.
int LoadConfig(void) { return 0; }

int SaveConfig(void) {
  delete[] LastPath;
  LastPath = nullptr;
  return 0;
}
