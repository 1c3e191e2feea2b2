// core/config.h: the device configuration file "/home/<device>cfg.xml" and
// the settings of its "config" and "calendar" blocks, as process-wide
// integers holding their built-in values until the file is loaded. Loaded and
// saved on the main thread before the other threads start and after they
// have stopped; read everywhere, written by the key thread while running.
#pragma once

#include <libxml/tree.h>

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

// The calendar tool's four saved dates ("calendar" block): year, month, day,
// hour and the two-month flag of date N.
extern int WnlYear[4], WnlMonth[4], WnlDay[4], WnlHour[4], WnlTwoMonth[4];

// The recording counter of the recording screen's file names; starts at 0
// and is set back to 1 when the device starts on another day than it last
// ran.
extern int record_no;

// Menus and bookmarks are set up, the device's configuration file is read
// (a damaged file is logged, kept beside it as "...cfg.xml.bad", and the
// backup copy of the last save is read instead), then voice reminders and
// alarms. Returns 0.
int LoadConfig(void);

// Reads a configuration file: the element named after the device among the
// root and its siblings, and in it the "config", "menu", "bookmark" and
// "calendar" blocks. Returns 0 (also when no element is named after the
// device), -1 when the file cannot be read or parsed.
int _LoadConfig(const char *path);

// Writes the configuration file crash-safe (and its backup copy), then
// releases what LoadConfig set up and saves alarms and the RTC wake-up.
// Returns 0.
int SaveConfig(void);

// Rewrites the configuration file crash-safe (and its backup copy) with one
// block replaced: the elements named block are taken out of the device's
// element as the file holds it (or its backup, or a new document), save
// appends the new block, everything else stays as last written. Used to keep
// reading positions between start and shutdown. Main thread only. Returns 0,
// -1 without a device name or when the file cannot be written.
int SaveConfigBlock(const char *block, int (*save)(xmlNode *parent));

int CfgDataInit(void);
void CfgDataDeInit(void);  // frees LastPath

// Read one block from its first child node: every key in range is taken,
// every other keeps its value. Return 0, -1 for a null node.
int CfgDataLoad(xmlNode *first);
int WnlLoad(xmlNode *first);

// Append the "config" / "calendar" element to parent. Return 0, -1 for null.
int CfgDataSave(xmlNode *parent);
int WnlSave(xmlNode *parent);
