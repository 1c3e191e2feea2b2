// The process-wide values of core/runtime/globals.h with their built-in
// values.
#include "core/runtime/globals.h"

int MLanguageSetting = 0;
int AppY, AppM, AppD, AppHH, AppMM, AppSS;
char *LastPath = nullptr;
int pwroff_tone = 0;

int HardVer = -1;
int KernelVer = -1;
char HardType[16];
char *DeviceName = HardType;
int MiniHardType, TotalMemory, SerialNo;
char SubManufacture[16];
int ProductionYear, ProductionMonth, ProductionDay;
int BootLoadVer, uImageVer, rootVer, dataVer, userVer;
int CardIsTf = 1;

int MainVolume = 10, PromptVolume = 10, RadioVolume = 10, MRecordVolume = 10;

int CfgDebugEvt, CfgDebugSnd, CfgDebugTts, CfgDebugTxtSnd, CfgDebugKey, CfgDebugFilebrowser, CfgDebugMenu,
    CfgDebugEbook, CfgDebugBookmark, CfgDebugDaisy, CfgDebugAudio, CfgDebugRadio, CfgDebugFfaudio,
    CfgDebugRecord, CfgDebugAlarm, CfgDebugCalendar, CfgDebugRes, CfgDebugAnMo, CfgDebugCTime, CfgDebugCalcul;
