// The battery check. Its timer record and the previous battery state belong
// to the main-loop thread; nothing here is touched from elsewhere.
#include "core/runtime/battery.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "speech/text_sound.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "core/battery.c";
constexpr char kStatusFile[] = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/status";
constexpr char kCapacityFile[] = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/capacity";
constexpr char kVoltageFile[] = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/voltage_now";
constexpr int kFirstCheckUs = 5000000;

enum { kCharging = 1, kDischarging = 2, kFull = 3 };

Event g_batteryEvent = EVENT_INIT_SELF(g_batteryEvent);
int g_timerPrevious = -1;  // state at the timer's previous check
int g_resetPrevious = -1;  // state at ResetBatCheckTime's previous check

const char *const kLowWarning[] = {"电池电量低, 请充电", "Battry low, please recharging"};
const char *const kFullNotice[] = {"电池已充满", "Battery full"};

// Up to 511 bytes of a sysfs file; false when it cannot be read.
bool readSmall(const char *path, char *buf, size_t size) {
  int fd = open(BoardPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t n;
  do n = read(fd, buf, size - 1);
  while (n < 0 && errno == EINTR);
  close(fd);
  if (n < 0) return false;
  buf[n] = '\0';
  return true;
}

// Digits, then nothing or one newline.
int readNumber(const char *path, const char *what) {
  char buf[512];
  if (!readSmall(path, buf, sizeof buf)) return -1;
  if (CfgDebugKey) LOGD("%s return:%s", what, buf);
  int64_t v = 0;  // wide enough on the 32-bit board to see an overflow coming
  const char *p = buf;
  if (*p < '0' || *p > '9') return -2;
  for (; *p >= '0' && *p <= '9'; p++) {
    v = v * 10 + (*p - '0');
    if (v > 0x7fffffff) return -2;
  }
  if (*p == '\n') p++;
  return *p ? -2 : static_cast<int>(v);
}

const char *stateName(int state) {
  switch (state) {
    case kCharging: return "Charging";
    case kDischarging: return "Discharging";
    case kFull: return "Full";
    default: return "Unknown";
  }
}


void check(int *previous) {
  int state = GetBatteryStaus();
  int capacity = GetBatteryCapacity();
  int voltage = GetBatteryVoltage();
  if (state < 0) LOGW("GetBatteryStaus return error: %d\n", state);
  if (capacity < 0) LOGW("GetBatteryCapacity return error: %d\n", capacity);
  if (voltage < 0) LOGW("GetBatteryVoltage return error: %d\n", voltage);
  if (CfgDebugKey)
    LOGD("battery status: %s, capacity: %%%d, voltage: %d.%03dV\n", stateName(state), capacity, voltage / 1000000,
         voltage / 1000 % 1000);
  if (state == kDischarging) {
    // A capacity that cannot be read counts as empty: better a warning too
    // many than a device that dies mid-sentence.
    if (capacity < CfgBatteryOff) {
      wait_text_sound_end(text_sound_insert(kLowWarning[PromptLanguage()]));
      SendVKey(VKEY_POWEROFF);
    } else if (capacity < CfgBatteryLow) {
      text_sound_insert(kLowWarning[PromptLanguage()]);
    }
  } else if (state == kFull && *previous == kCharging) {
    text_sound_insert(kFullNotice[PromptLanguage()]);
  }
  *previous = state;
}

void arm(int timeoutUs) { EventArmTimer(&g_batteryEvent, timeoutUs, BatteryCallback); }

}  // namespace

int GetBatteryStaus(void) {
  char buf[512];
  if (!readSmall(kStatusFile, buf, sizeof buf)) return -1;
  if (CfgDebugKey) LOGD("GetBatteryStaus return:%s", buf);
  size_t n = std::strlen(buf);
  if (n && buf[n - 1] == '\n') buf[n - 1] = '\0';
  if (!std::strcmp(buf, "Charging")) return kCharging;
  if (!std::strcmp(buf, "Discharging")) return kDischarging;
  if (!std::strcmp(buf, "Full")) return kFull;
  return 0;
}

int GetBatteryCapacity(void) { return readNumber(kCapacityFile, "GetBatteryCapacity"); }

int GetBatteryVoltage(void) { return readNumber(kVoltageFile, "GetBatteryVoltage"); }

int BatteryCallback(void *arg, int flag) {
  if (flag != EVENT_TIMER) return 0;
  check(&g_timerPrevious);
  arm(CfgBatteryCheckTime * 1000000);
  return 0;
}

int InitBatStatus(void) {
  arm(kFirstCheckUs);
  return 0;
}

void DeinitBatStatus(void) { EventDel(&g_batteryEvent); }

int ResetBatCheckTime(void) {
  check(&g_resetPrevious);
  return 0;
}
