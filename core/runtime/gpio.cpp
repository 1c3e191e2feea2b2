// The charge switch, LED and motor through the board's control devices
// ("/dev/charg_set", "/dev/led", "/dev/motor"). No state: one request per
// call, so the wrappers need no lock of their own.
#include "core/runtime/gpio.h"

#include "board/board.h"
#include "core/runtime/log.h"

namespace {

constexpr char kLogSource[] = "core/gpio.c";
constexpr char kCharge[] = "/dev/charg_set";
constexpr char kLed[] = "/dev/led";
constexpr char kMotor[] = "/dev/motor";

// Request numbers of the board's drivers.
constexpr unsigned long kPinSet = 0x80085d78;
constexpr unsigned long kPinGet = 0x40085d7b;
constexpr unsigned long kPinValue = 0x80085d7a;
constexpr unsigned long kOn = 0x80045d7c;
constexpr unsigned long kOnDelay = 0x80045d7d;
constexpr unsigned long kOff = 0x80045d7e;
constexpr unsigned long kStatus = 0x40045b7f;

// Issues one request; logs with the caller's name on failure.
int request(const char *who, const char *path, int func, unsigned long req, void *arg) {
  int r = BoardDeviceIoctl(path, req, arg);
  if (r == -1) {
    LOGW("error on open device file: %s\n", path);
    return -1;
  }
  if (r < 0) {
    LOGW("%s %s, func=%d return %d\n", who, path, func, r);
    return -1;
  }
  return 0;
}

}  // namespace

int GpioFunc(const char *path, int func, int *value) {
  if (!path || !value) return -1;
  int pair[2] = {1, *value};
  switch (func) {
    case 0:
      pair[0] = 0;
      return request("GpioFunc", path, func, kPinSet, pair);
    case 1:
      return request("GpioFunc", path, func, kPinSet, pair);
    case 2:
      if (request("GpioFunc", path, func, kPinGet, pair) != 0) return -1;
      *value = pair[1];
      return pair[1];
    case 3:
      return request("GpioFunc", path, func, kPinValue, pair);
    default:
      return -1;
  }
}

int GpioDelayFunc(const char *path, int func, int *value) {
  if (!path || !value) return -1;
  int arg = *value;
  switch (func) {
    case 0:
      return request("GpioDelayFunc", path, func, kOn, &arg);
    case 1:
      return request("GpioDelayFunc", path, func, kOnDelay, &arg);
    case 2:
      return request("GpioDelayFunc", path, func, kOff, &arg);
    case 3:
      if (request("GpioDelayFunc", path, func, kStatus, &arg) != 0) return -1;
      *value = arg;
      return arg;
    default:
      return -1;
  }
}

int SetChargeLow(void) {
  int v = 1;
  return GpioFunc(kCharge, 1, &v);
}

int SetChargeHigh(void) {
  int v = 0;
  return GpioFunc(kCharge, 1, &v);
}

int LedOn(void) {
  int v = 100;
  return GpioDelayFunc(kLed, 0, &v);
}

int LedOnDelay(int t) { return GpioDelayFunc(kLed, 1, &t); }

int LedOff(void) {
  int v = 100;
  return GpioDelayFunc(kLed, 2, &v);
}

int LedStatus(void) {
  int v = 0;
  return GpioDelayFunc(kLed, 3, &v);
}

int MotorOn(void) {
  int v = 100;
  return GpioDelayFunc(kMotor, 0, &v);
}

int MotorOnDelay(int t) { return GpioDelayFunc(kMotor, 1, &t); }

int MotorOff(void) {
  int v = 100;
  return GpioDelayFunc(kMotor, 2, &v);
}

int MotorStatus(void) {
  int v = 0;
  return GpioDelayFunc(kMotor, 3, &v);
}
