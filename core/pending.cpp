// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "board/board.h"

#include <cstdio>
#include <cstring>

int InitDuoYing(void) { return 0; }
void DeInitDuoYing(void) {}
int AlarmInit(void) { return 0; }
int BookMarkInit(void) { return 0; }
int BookMarkDeInit(void) { return 0; }
int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int LoadAlarm(const char *path) { return 0; }
int SaveAlarm(const char *path) { return 0; }
int InitAlarmFromMenu(void) { return 0; }
int AlarmSetPowerOnRTC(void) { return 0; }
int SetChargeLow(void) { return 0; }
int LedOn(void) { return 0; }
int LedOff(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

namespace {

constexpr char kGauge[] = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/";

// Reads up to 511 bytes of a gauge file; -1 when it cannot be read.
int readGauge(const char *name, char *buf, int size) {
  std::string path = std::string(kGauge) + name;
  FILE *f = std::fopen(BoardPath(path.c_str()).c_str(), "rb");
  if (!f) return -1;
  size_t n = std::fread(buf, 1, static_cast<size_t>(size - 1), f);
  std::fclose(f);
  buf[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace

int GetBatteryStaus(void) {
  char buf[512];
  if (readGauge("status", buf, sizeof buf) < 0) return -1;
  if (std::strcmp(buf, "Charging\n") == 0) return 1;
  if (std::strcmp(buf, "Discharging\n") == 0) return 2;
  if (std::strcmp(buf, "Full\n") == 0) return 3;
  return 0;
}

int GetBatteryCapacity(void) {
  char buf[512];
  if (readGauge("capacity", buf, sizeof buf) < 0) return -1;
  int value = 0, i = 0;
  for (; buf[i] >= '0' && buf[i] <= '9' && i < 9; i++) value = value * 10 + (buf[i] - '0');
  if (i == 0 || (buf[i] != '\0' && std::strcmp(buf + i, "\n") != 0)) return -2;
  return value;
}

int GetMountDeviceSize(int type, unsigned int *totalBlocks, unsigned int *freeBlocks) { return -1; }
