// core/config.h: the settings of the device configuration file's "config"
// block, as process-wide integers holding their built-in values until the
// file is loaded. Written by the main thread at start-up and shutdown, read
// everywhere.
#pragma once

extern int MainVolume, PromptVolume, RadioVolume;
extern int LogFileNo;
extern int ContinueLastFile;
extern int CfgLogToFile, CfgLogLevel, CfgMaxLogFileSize, CfgMaxLogFile;
extern int CfgMaxKeyBufferLength, CfgKeyFirstDelay, CfgKeyDelay;
extern int CfgFileSortAscent;
extern int CfgYear, CfgMonth, CfgDay, CfgHour, CfgMinute;
extern int CfgUsbDelay, CfgBatteryCheckTime, CfgBatteryLow, CfgBatteryOff;
extern int CfgDebugEvt, CfgDebugSnd, CfgDebugTts, CfgDebugTxtSnd, CfgDebugKey, CfgDebugFilebrowser,
    CfgDebugMenu, CfgDebugEbook, CfgDebugBookmark, CfgDebugDaisy, CfgDebugAudio, CfgDebugRadio,
    CfgDebugFfaudio, CfgDebugRecord, CfgDebugAlarm, CfgDebugCalendar, CfgDebugRes, CfgDebugAnMo,
    CfgDebugCTime, CfgDebugCalcul;

// Reads the device's configuration file and the stores that start with it.
// Returns 0.
int LoadConfig(void);

// Writes the configuration file and the stores saved with it. Returns 0.
int SaveConfig(void);
