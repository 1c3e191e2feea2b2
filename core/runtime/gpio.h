// core/runtime/gpio.h: the board's charge switch, key LED and vibration motor, each
// a small character device of the board's own drivers. Every call opens the
// device, issues one request and closes it, so the calls are safe from any
// thread (main loop, virtual-key server).
#pragma once

// The charge pin, with a pair {mode, value}: func 1 sets the pin to value
// (the one in use), 0 sets mode 0, 2 reads the pair and returns the value,
// 3 writes the value. Returns 0 (func 2: the value), -1 on failure.
int GpioFunc(const char *path, int func, int *value);

// LED and motor requests: func 0 on, 1 on for *value (timed by the driver),
// 2 off, 3 status (returned). Returns 0 (func 3: the status), -1 on failure.
int GpioDelayFunc(const char *path, int func, int *value);

int SetChargeLow(void);   // low charge current
int SetChargeHigh(void);  // high charge current (power only, no host)

int LedOn(void);
int LedOnDelay(int t);
int LedOff(void);
int LedStatus(void);  // the driver's status, or -1

int MotorOn(void);
int MotorOnDelay(int t);
int MotorOff(void);
int MotorStatus(void);
