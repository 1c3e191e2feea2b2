// core/runtime/battery.h: the battery, read from the fuel gauge's files, checked on
// a main-loop timer that warns when the charge is low, powers the device off
// when it is nearly empty and announces a full battery.
#pragma once

// "status": 1 Charging, 2 Discharging, 3 Full, 0 anything else; -1 when the
// file cannot be read.
int GetBatteryStaus(void);

// "capacity" (percent) and "voltage_now" (microvolts): the number; -1 when
// the file cannot be read, -2 when anything but a newline follows the
// digits.
int GetBatteryCapacity(void);
int GetBatteryVoltage(void);

// The battery timer: first check 5 s after InitBatStatus, then every
// CfgBatteryCheckTime seconds. Main-loop thread.
int InitBatStatus(void);
void DeinitBatStatus(void);
int BatteryCallback(void *arg, int flag);

// One check now, with its own memory of the previous state; the timer is
// left as it is.
int ResetBatCheckTime(void);
