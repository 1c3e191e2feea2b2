// core/runtime/config.h: the device configuration file "/home/<device>cfg.xml" and
// the settings of its "config" and "calendar" blocks, as process-wide
// integers holding their built-in values until the file is loaded. Loaded and
// saved on the main thread before the other threads start and after they
// have stopped; read everywhere, written by the key thread while running.
#pragma once

#include "core/runtime/globals.h"

#include <libxml/tree.h>

extern int LogFileNo;
extern int ContinueLastFile;
extern int CfgLogToFile, CfgLogLevel, CfgMaxLogFileSize, CfgMaxLogFile;
extern int CfgMaxKeyBufferLength, CfgKeyFirstDelay, CfgKeyDelay;
extern int CfgFileSortAscent;
extern int CfgYear, CfgMonth, CfgDay, CfgHour, CfgMinute;
extern int CfgUsbDelay, CfgBatteryCheckTime, CfgBatteryLow, CfgBatteryOff;

// The calendar tool's four saved dates ("calendar" block): year, month, day,
// hour and the two-month flag of date N.
extern int WnlYear[4], WnlMonth[4], WnlDay[4], WnlHour[4], WnlTwoMonth[4];

// The recording counter of the recording screen's file names; starts at 0
// and is set back to 1 when the device starts on another day than it last
// ran.
extern int record_no;

// A block of the configuration file that a higher layer owns (the menu
// settings, the bookmarks), or work of that layer that goes with loading and
// saving the file (alarms). Registered at start-up, before LoadConfig, on
// the main thread; the record must outlive the program. Any member may be
// null.
struct CfgBlock {
  const char *name;              // its element in the device's element; null: none
  int (*init)(void);             // before the file is read
  int (*load)(xmlNode *first);   // the element's first child
  int (*loaded)(void);           // after the file was read
  int (*save)(xmlNode *parent);  // appends the element to parent
  int (*deinit)(void);           // after the file was written
};

// Adds a block after those registered before it; the same record twice
// counts once. Returns 0, -1 for null or when the table is full.
int CfgRegisterBlock(const CfgBlock *block);

// Every registered block's init, then the device's configuration file is
// read (a damaged or oversized file, or one without this device's element,
// is logged, kept beside it as a numbered "...cfg.xml.bad", and the backup
// copy of the last save is read instead), then every block's loaded.
// Returns 0.
int LoadConfig(void);

// 1 when LoadConfig found a file it could not use and no usable backup, so
// the settings are the built-in ones (the language excepted, when the
// damaged file still showed it): the user is to be told.
int CfgWasReset(void);

// Reads a configuration file: the element named after the device among the
// root and its siblings, and in it the "config" and "calendar" blocks and
// those registered. Returns 0 (also when no element is named after the
// device), -1 when the file cannot be read or parsed.
int _LoadConfig(const char *path);

// Writes the configuration file crash-safe (and its backup copy): "config",
// the registered blocks in order, "calendar"; a file that already holds the
// same is not written again. Reads the settings: the thread that changes
// them calls it (the key thread while running, the main thread at
// shutdown). Returns 0, -1 without a device name or when it cannot write.
int CfgSaveAll(void);

// CfgSaveAll, then releases LastPath and calls every block's deinit.
// Returns 0.
int SaveConfig(void);

// Rewrites the configuration file crash-safe (and its backup copy) with one
// block replaced: the elements named block are taken out of the device's
// element as the file holds it (or its backup, or a new document), save
// appends the new block, everything else stays as last written. Used to keep
// reading positions between start and shutdown. Any thread. Returns 0,
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
