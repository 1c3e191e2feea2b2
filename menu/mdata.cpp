// The menu tree's items and settings (the tree itself grows here).
#include "menu/mdata.h"

MenuItem RecordDir{"RecordDir", 1, 0xffffffffu, 0};
MenuItem ExtRecInput{"ExtRecInput", 1, 0xffffffffu, 0};
MenuItem CancelTest{"CancelTest", 0, 0xffffffffu, 0};
MenuItem FormatSd{"FormatSd", 0, 0xffffffffu, 0};
MenuItem FormatUsbdisk{"FormatUsbdisk", 0, 0xffffffffu, 0};

int MRecordVolume = 10;

int ItemSetBitmask(MenuItem *item, unsigned mask) {
  if (!item) return -1;
  item->bitmask = mask;
  return 0;
}

int ItemSetVisable(MenuItem *item, int visible) {
  if (!item) return -1;
  item->visible = visible ? 1 : 0;
  return 0;
}

int MenuInit(void) { return 0; }

int MenuDeInit(void) { return 0; }
