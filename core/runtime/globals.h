// core/runtime/globals.h: the process-wide values that every layer reads:
// the prompt language, the date and time at start, the machine's identity,
// the volumes and the debug switches. Defined with their built-in values in
// globals.cpp. The machine identity is written once at start-up, the rest
// at start-up and shutdown on the main thread and by menu commits and the
// volume keys on the key distribution thread; every thread reads them as
// plain ints.
#pragma once

extern int MLanguageSetting;  // 0 Chinese, 1 English

// The language prompts are spoken in: 1 English, 0 Chinese (also for a
// value the setting should never hold).
inline int PromptLanguage() { return MLanguageSetting == 1 ? 1 : 0; }

extern int AppY, AppM, AppD, AppHH, AppMM, AppSS;  // the clock when the player started
extern int pwroff_tone;  // 1: the next power-off is a reboot (an upgrade asked for it)
extern char *LastPath;  // heap, owned by the configuration; the file browser's start path (new[]/delete[])

// Machine identity, from the kernel's version and command line.
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

// Volume steps 0..25.
extern int MainVolume, PromptVolume, RadioVolume, MRecordVolume;

// Debug switches of the configuration file, one per subsystem.
extern int CfgDebugEvt, CfgDebugSnd, CfgDebugTts, CfgDebugTxtSnd, CfgDebugKey, CfgDebugFilebrowser,
    CfgDebugMenu, CfgDebugEbook, CfgDebugBookmark, CfgDebugDaisy, CfgDebugAudio, CfgDebugRadio,
    CfgDebugFfaudio, CfgDebugRecord, CfgDebugAlarm, CfgDebugCalendar, CfgDebugRes, CfgDebugAnMo,
    CfgDebugCTime, CfgDebugCalcul;
