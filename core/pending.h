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

// The marks the players add and look up (bookmarks and history). Until the
// store arrives this stand-in keeps them in memory for the running process
// only: nothing is loaded or saved, and BookMarkDeInit forgets them all.
// Key distribution thread only.
struct MarkItem {
  int time;        // seconds since the epoch / 5
  char *ncxref;    // or null
  char *uri;       // or null
  int timeoffset;  // audio: position in ms
  int charoffset;  // e-book: page
};
struct Mark {
  char *path;
  char *title;
  int type;  // 0..5: audio, e-book, DAISY bookmarks (even) and history (odd)
  int count;
  MarkItem *items;  // count items, newest first
};
// Adds an item to the mark (type, path, title), making it the most recent
// of its list. Returns the mark's item count, or -1.
int MarkAddItem(int type, const char *path, const char *title, const char *ncxref, const char *uri,
                int timeoffset, int charoffset);
// Index of the mark in its list, or -1.
int MarkFind(int type, const char *path, const char *title);
// The mark at index of the type's list, or null.
Mark *MarkArryGet(int type, int index);
// Marks in the type's list, -1 for a bad type.
int MarkArryTotal(int type);

// File browser: moves the browser to a file (its folder, the file
// selected) or lists a folder. The stand-ins leave the browser as it is
// and return -1.
struct Activity;
int FileBrowserLoadFile(Activity *browser, const char *fullpath);
int FilebrowserLoadDir(Activity *browser, const char *dir, const char *select_name);
// 0 for "/mnt/emmc" or below, 1 "/mnt/sdcard", 2 "/mnt/usb", else -1.
int GetMoutPointTypeFpath(const char *path);

// Alarms: the idle auto-shutdown. Save-and-stop returns the previous
// enable after disabling it; restore re-enables it (fresh countdown) or
// keeps it off.
int SaveAndStopAutoShutdown(void);
int RestoryAutoShutdown(int enable);
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
