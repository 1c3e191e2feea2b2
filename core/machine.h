// core/machine.h: machine identity from the kernel's version and command
// line, and the manufacturer file. Written once at start-up.
#pragma once

extern int HardVer;     // major << 4 | minor (v1.0 is 16); -1 when malformed
extern int KernelVer;   // one byte per component: 0x30a0e for 3.10.14
extern char HardType[16];
extern char *DeviceName;  // points at HardType
extern int MiniHardType, TotalMemory, SerialNo;
extern char SubManufacture[16];
extern int ProductionYear, ProductionMonth, ProductionDay;
extern int BootLoadVer, uImageVer, rootVer, dataVer, userVer;  // + 0x100 for a debug build
extern int CardIsTf;  // 1: the card slot is spoken of as a "TF" card, 0: "SD"

constexpr int AppVersion = 88;  // 5.8

// Reads "/proc/version" and "/proc/cmdline" into the globals above and
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
