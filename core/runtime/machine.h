// core/runtime/machine.h: machine identity from the kernel's version and command
// line, and the manufacturer file. Written once at start-up.
#pragma once

#include "core/runtime/globals.h"  // the identity's values

// Reads "/proc/version" and "/proc/cmdline" into the globals of core/runtime/globals.h and
// prints the machine summary. Returns 0, or -1 when the machine is unknown.
int LoadMachineType(void);

// "v" digit "." digit to major * 16 + minor; -1 otherwise.
int ReadVerFromStr(const char *text);

// Parses a kernel command line into the globals (the part of
// LoadMachineType after reading the file). Returns 0 or -1.
int ParseCommandLine(const char *cmdline);

// Packs "/proc/version" text into KernelVer form; -1 when it is not one.
int ParseKernelVersion(const char *text);

// Spoken device and maker names from "/home/<device>mf.xml" for a language
// (0 Chinese, 1 English); outputs are new[] strings or null.
// Returns 0, or -1 when the file cannot be parsed or has no root.
int LoadMfInfo(int language, char **deviceName, char **makerName);
