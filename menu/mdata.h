// menu/mdata.h: the menu tree and every user setting. Each setting is an int
// named M plus the setting, reached through its menu item(s); an item with
// value names stores the row (value - minimum) and hands the mapped value to
// its set function and to readers (ItemGetValue, MenuItemGetValue).
//
// Threads: the settings are written at start-up and shutdown on the main
// thread and by menu commits on the key distribution thread; readers on
// other threads read plain ints, as every screen does.
//
// Set functions that belong to screens of other modules are bound by name
// with MenuBindFunc (core/menu.h) when those modules start:
//   set functions (int f(void *context, int value, int preview)):
//     TimeAnnounceFunc AutoShutDownFunc AlarmSettingFunc AlarmSetPwrOffFunc
//     AlarmSetPwrOnFunc TimeSettingFunc SystemInfoFunc MemoryInfoFunc
//     VoiceRemindFunc VoiceMemoFunc CalculTimeTool CalendarTool HuanLiTool
//     CalculatorTool AnMoTool MenuDeleteFile MenuSendTo MenuCopyFile
//     MenuCutFile MenuPasteFile audiospeedfunc audiopitchfunc MenuSetEq
//     MenuSelectStream AudioMenuJmpToMinutes AudioMarkAddItem
//     AudioMarkAddRepeat EbookMenuJmpToPage EbookMenuJmpToPercent
//     EbookMarkAddItem EbookMarkAddRepeat DaisyMenuJmpToPage
//     DaisyMenuJmpToHead DaisyMenuJmpToBegin DaisyMenuJmpToEnd
//     DaisyMarkAddItem DaisyMarkAddRepeat DaisyMenuHeadingList DaisySetSkip
//     EbookMenuChapterList EbookSetCharset MarkMenuDelete MarkMenuClean
//     MenuAddStation MenuAutoSearch MenuDelAllStagion MenuDelStation
//     MenuSetarea MenuSetband AddVoiceRemindingFunc VoiceRemindChangeFunc
//     DelVoiceRemindingFunc CleanVoiceRemindingFunc DelVoiceMemoFunc
//     CleanVoiceMemoFunc
//   tools on a resource file (int f(void *context, const char *file)), bound
//   with MenuBindToolFunc:
//     XianZeTool (quiz) XiaoHuaTool (jokes)
//   speech parameters of an open book (int f(void *context, int id, int
//   value)), bound with MenuBindParamFunc:
//     EbookSetParam DaisySetParam
#pragma once

#include "core/runtime/globals.h"
#include "core/ui/menu.h"

#include <libxml/tree.h>

// Settings, saved in this order (MRecordVolume: core/runtime/globals.h) in the "menu" block of the configuration.
extern int MTimeFormat, MTimeAnnounce, MAutoShutDown;  // MLanguageSetting: core/runtime/globals.h
extern int MReadSpeed, MReadRole, MReadEffect, MReadPitch, MFastMode, MEpubFastMode, MAutoNext, MAutoReport;
extern int MToneSpeed, MToneRole, MToneEffect, MTonePitch;
extern int MDReadSpeed, MDReadRole, MDReadEffect, MDReadPitch, MDaisyStep;
extern int MAudioSpeed, MAudioPitch, MAudioPlayMode, MAudioPlayScape, MAudioStep, MAudioSelectStream;
extern int MRecordFmt, MRecordDir, MRecordNoise, MExtInput;
extern int MSelectArea, MStepMode, MSelectBand;
// State held by items but not saved.
extern int MCancelTest, MDaisyABRepeat, MEbookABRepeat, MAudioABRepeat;
// Per book, kept with its history mark: the structures a DAISY book's reading
// skips (0 read, 1 skip) and the character set of a text book (0 automatic).
extern int MDaisySkipPage, MDaisySkipNote, MDaisySkipSidebar, MDaisySkipProdnote, MEbookCharset;
// The sleep timer's choice, kept in its own block by core/clock/sleep_timer.
extern int MSleepTimer;

// Value items.
extern MenuItem TimeFormatSetting, TimeAnnounce, AutoShutDown, LanguageSetting;
extern MenuItem ReadSpeed, ReadRole, ReadEffect, ReadPitch, FastMode, EpubFastMode;
extern MenuItem SReadSpeed, SReadRole, SReadEffect, SReadPitch, SFastMode, AutoPlayNextFile, AutoReportFileInfo;
extern MenuItem DReadSpeed, DReadRole, DReadEffect, DReadPitch;
extern MenuItem ToneSpeed, ToneRole, ToneEffect, TonePitch;
extern MenuItem AudioSpeed, SAudioSpeed, AudioPitch, SAudioPitch, AudioPlayMode, AudioPlayScape, AudioStep,
    AudioSelectStream;
extern MenuItem RecordVolume, RecordFmt, ExtRecInput, RecordNoise, RecordDir;
extern MenuItem SelectArea, StepMode, SelectBand;
extern MenuItem CancelTest, DaisyABrepeat, EbookABrepeat, AudioABrepeat;
extern MenuItem AudioSleepTimer, BookSleepTimer;  // the players' menus; bound: SleepTimerFunc
// Command items.
extern MenuItem KeyDescriber;
extern MenuItem DefaultSetting, DefaultSheet, SystemInfo, MemoryInfo, FormatEmmc, FormatSd, FormatUsbdisk;
extern MenuItem Alarm, CalculTime, AlarmPwrOff, AlarmPwrOn, SysTime, VoiceReminding, VoiceMemo;
extern MenuItem Calendar, HuanLi, Calculator, AnMoItem;
extern MenuItem YiZhiFengKuang, YiZhiJianKang, YiZhiXiaoXue;
extern MenuItem XiaoHa1000, XiaoHa5W, XiaoHaGaoXiao, XiaoHaGanWu, XiaoHaFuQi;
extern MenuItem Delete, SendToSd, SendToEmmc, Copy, Cut, Paste;
extern MenuItem JmpToPage, JmpToPercent, AudioJmpto;
extern MenuItem DaisyJmptoPage, DaisyJmptoHead, DaisyJmptoBegin, DaisyJmptoEnd;
extern MenuItem DaisyHeadingList, DaisySkipPage, DaisySkipNote, DaisySkipSidebar, DaisySkipProdnote;
extern MenuItem EbookChapterList, EbookCharset;
extern MenuItem AddStation, AutoSearch, DelAllStation, DelStation;
extern MenuItem DaisyAddMark, EbookAddMark, AudioAddMark, DeleteMark, CleanMark;
extern MenuItem AddVoiceReminding, ChangeVoiceReminding, DelVoiceReminding, CleanVoiceReminding;
extern MenuItem DelVoiceMemo, CleanVoiceMemo;

// The system menu (opened by the file browser with MenuCreate1) and its
// submenus; TwoMenu, the file menu that MENU switches to.
extern MenuNode SystemMenu, SystemFuncMenu, SysToneMenu, FormatMenu, TimeMenu, RecordMenu, SEbookMenu, SAudioMenu,
    ToolBoxMenu, YiZhMenu, XiaoHuaMenu, TwoMenu;
// Menus that screens open with MenuCreate.
extern MenuNode TextBookMenu, AudioMenu, DaisyMenu, ToneMenu, RadioMenu, DaisyMarkMenu, EbookMarkMenu, AudioMarkMenu,
    DeleteMarkMenu, VoiceRemindingMenu, VoiceMemoMenu;

// Voices of the speech engine by voice setting (0..7), for each language:
// {first, second} as parameters 11 and 12.
extern const int RoleTable[2][8][2];
// Speech engine parameter numbers the set functions use.
enum { TTS_PARAM_ROLE = 11, TTS_PARAM_ROLE2 = 12, TTS_PARAM_SPEED = 14, TTS_PARAM_PITCH = 15, TTS_PARAM_EFFECT = 17 };

// Names the card slot in the menu texts of this machine (CardIsTf). Return 0.
int MenuInit(void);
int MenuDeInit(void);

// Reads the settings from the children of a "menu" element (first is its
// first child node). A missing key or a value out of range is logged and
// keeps the setting as it is. Returns 0, -1 for a null node.
int MenuLoad(xmlNode *first);

// Appends a "menu" element with one child per setting. Returns 0, -1 for a
// null parent.
int MenuSave(xmlNode *parent);

// Loads the factory defaults from "/home/<device>def.xml" (keys absent there
// keep their values) and applies the prompt voice settings. Returns 0, -1
// when the file cannot be parsed or has no root.
int LoadDefaultMenu(void);

// Menu actions of the system menu. Return 0.
int DefaultSettingFunc(void *context, int value, int preview);  // factory reset, after a confirmation
int DefaultSheetFunc(void *context, int value, int preview);    // restores the manual files
int CancelTestFunc(void *context, int value, int preview);      // ends the factory test mode
int LanguageSettingFunc(void *context, int value, int preview);

// Speech settings: the prompt voice (tone), the system e-book settings
// (sread), the e-book screen's menu (read) and the DAISY screen's menu
// (dread). Preview sets the prompt voice for a moment; commit applies.
int tonespeedfunc(void *context, int value, int preview);
int tonerolefunc(void *context, int value, int preview);
int toneeffectfunc(void *context, int value, int preview);
int tonepitchfunc(void *context, int value, int preview);
int sreadspeedfunc(void *context, int value, int preview);
int sreadrolefunc(void *context, int value, int preview);
int sreadeffectfunc(void *context, int value, int preview);
int sreadpitchfunc(void *context, int value, int preview);
int readspeedfunc(void *context, int value, int preview);
int readrolefunc(void *context, int value, int preview);
int readeffectfunc(void *context, int value, int preview);
int readpitchfunc(void *context, int value, int preview);
int dreadspeedfunc(void *context, int value, int preview);
int dreadrolefunc(void *context, int value, int preview);
int dreadeffectfunc(void *context, int value, int preview);
int dreadpitchfunc(void *context, int value, int preview);

// The texts of SendToSd and FormatSd and the value names of RecordDir for a
// card slot called "TF" (tf 1) or "SD" (tf 0, the tree's own texts).
void MenuSetCardName(int tf);

// 1 for the 24-hour clock, 0 for the 12-hour clock.
int GetTimeFormat(void);

// Puts every setting back to its built-in value, every menu at its first
// child and every item's visibility and mask as the tree declares them.
// For tests.
void MenuResetState(void);
