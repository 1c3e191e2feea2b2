// menu/mdata.h: the menu items and settings that other modules reach.
// The menu tree grows here; what exists so far is what start-up touches.
#pragma once

// A menu item: the part of the record that start-up and the screens use.
struct MenuItem {
  const char *name;
  int visible;
  unsigned bitmask;  // which values of the item can be chosen
  int value;
};

extern MenuItem RecordDir, ExtRecInput, CancelTest, FormatSd, FormatUsbdisk;

// Settings (each reached through its menu item).
extern int MRecordVolume;

int ItemSetBitmask(MenuItem *item, unsigned mask);
int ItemSetVisable(MenuItem *item, int visible);

// Menu tree set-up and release, run by LoadConfig and SaveConfig.
int MenuInit(void);
int MenuDeInit(void);
