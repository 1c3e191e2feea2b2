// The menu tree: every setting with its range, built-in value and spoken
// value names, every item and menu with its Chinese and English name. All
// records are static and constant-initialised; only the settings, the
// visibility and mask of items and the position in menus change.
#include "menu/mdata.h"

#include "core/runtime/globals.h"
#include "core/ui/format.h"
#include "core/ui/keyhelp.h"

#include <cstddef>

int MTimeFormat = 0, MTimeAnnounce = 0, MAutoShutDown = 10;
int MReadSpeed = 0, MReadRole = 0, MReadEffect = 0, MReadPitch = 0, MFastMode = 2, MEpubFastMode = 0, MAutoNext = 0,
    MAutoReport = 0;
int MToneSpeed = 0, MToneRole = 0, MToneEffect = 0, MTonePitch = 0;
int MDReadSpeed = 0, MDReadRole = 0, MDReadEffect = 0, MDReadPitch = 0, MDaisyStep = 8;
int MAudioSpeed = 10, MAudioPitch = 0, MAudioPlayMode = 0, MAudioPlayScape = 0, MAudioStep = 1,
    MAudioSelectStream = 0;
int MRecordFmt = 0, MRecordDir = 0, MRecordNoise = 0, MExtInput = 0;
int MSelectArea = 0, MStepMode = 0, MSelectBand = 0;
int MCancelTest = 0, MDaisyABRepeat = 0, MEbookABRepeat = 0, MAudioABRepeat = 0;
int MDaisySkipPage = 0, MDaisySkipNote = 0, MDaisySkipSidebar = 0, MDaisySkipProdnote = 0, MEbookCharset = 0;
int MSleepTimer = 0;

const int RoleTable[2][8][2] = {
    {{3, 19}, {4, 17}, {15, 19}, {56, 56}, {14, 19}, {22, 19}, {55, 19}, {54, 17}},
    {{3, 19}, {4, 17}, {15, 19}, {56, 56}, {14, 19}, {22, 19}, {55, 19}, {54, 17}},
};

namespace {

constexpr const char *kDone[2] = {"设置已完成", "Setting done"};
constexpr const char *kFail[2] = {"设置失败", "Setting error"};
constexpr const char *kCancel[2] = {"设置已取消", "Cancelled"};

constexpr int kValueItem = MENU_ITEM | MENU_HAS_VALUE;
constexpr int kSpeechItem = kValueItem | MENU_PREVIEW;
constexpr int kCommandItem = MENU_ITEM | MENU_COMMAND;
constexpr int kJumpItem = kCommandItem | MENU_NO_CLOSE_CB;  // 0x212: jumps inside an open book

// A value item; values null for a plain number.
template <size_t N = 1>
constexpr MenuItem value(int flags, const char *zh, const char *en, int min, int max, int *var,
                         const MenuValue (*values)[N], MenuSetFunc set, const char *bound = nullptr,
                         int visible = 1) {
  return MenuItem{{flags, {zh, en}}, visible, min, max, var, ~uint64_t{0}, values ? *values : nullptr, set,
                  kDone, kFail, kCancel, bound};
}
constexpr MenuItem number(int flags, const char *zh, const char *en, int min, int max, int *var, MenuSetFunc set,
                          const char *bound = nullptr) {
  return MenuItem{{flags, {zh, en}}, 1, min, max, var, ~uint64_t{0}, nullptr, set, kDone, kFail, kCancel, bound};
}
constexpr MenuItem command(const char *zh, const char *en, MenuSetFunc set, const char *bound = nullptr,
                           int flags = kCommandItem, int visible = 1) {
  return MenuItem{{flags, {zh, en}}, visible, 0, 0, nullptr, ~uint64_t{0}, nullptr, set, nullptr, nullptr, nullptr,
                  bound};
}
template <size_t N>
constexpr MenuNode menu(const char *zh, const char *en, MenuEntry *const (&children)[N]) {
  return MenuNode{{MENU_NODE, {zh, en}}, static_cast<int>(N) - 1, 0, 0, children};
}

// Value-name lists.
constexpr MenuValue kVoices[] = {
    {{"国英女声", "female"}, 0}, {{"国英男声", "male"}, 1}, {{"粤英女声", "female"}, 2}, {{"粤英男声", "male"}, 3},
    {{"四川话", "female"}, 4},   {{"台湾话", "female"}, 5}, {{"童声", "male"}, 6},       {{"卡通人物", "male"}, 7},
};
constexpr MenuValue kEffects[] = {
    {{"正常", "normal"}, 0}, {{"回声", "echo"}, 2}, {{"混响", "reverberation"}, 6}, {{"阴阳怪气", "strange tone"}, 7},
};
constexpr MenuValue kMusicSpeed[] = {
    {{"减慢百分之五十", "slow 50%"}, -50},
    {{"减慢百分之四十五", "slow 45%"}, -45},
    {{"减慢百分之四十", "slow 40%"}, -40},
    {{"减慢百分之三十五", "slow 35%"}, -35},
    {{"减慢百分之三十", "slow 30%"}, -30},
    {{"减慢百分之二十五", "slow 25%"}, -25},
    {{"减慢百分之二十", "slow 20%"}, -20},
    {{"减慢百分之十五", "slow 15%"}, -15},
    {{"减慢百分之十", "slow 10%"}, -10},
    {{"减慢百分之五", "slow 5%"}, -5},
    {{"正常", "Normal"}, 0},
    {{"加快百分之十", "fast 10%"}, 10},
    {{"加快百分之二十", "fast 20%"}, 20},
    {{"加快百分之三十", "fast 30%"}, 30},
    {{"加快百分之四十", "fast 40%"}, 40},
    {{"加快百分之五十", "fast 50%"}, 50},
    {{"加快百分之六十", "fast 60%"}, 60},
    {{"加快百分之七十", "fast 70%"}, 70},
    {{"加快百分之八十", "fast 80%"}, 80},
    {{"加快百分之九十", "fast 90%"}, 90},
    {{"加快百分之一百", "fast 100%"}, 100},
    {{"加快百分之一百一十", "fast 110%"}, 110},
    {{"加快百分之一百二十", "fast 120%"}, 120},
    {{"加快百分之一百三十", "fast 130%"}, 130},
    {{"加快百分之一百四十", "fast 140%"}, 140},
    {{"加快百分之一百五十", "fast 150%"}, 150},
    {{"加快百分之一百六十", "fast 160%"}, 160},
    {{"加快百分之一百七十", "fast 170%"}, 170},
    {{"加快百分之一百八十", "fast 180%"}, 180},
    {{"加快百分之一百九十", "fast 190%"}, 190},
    {{"加快百分之二百", "fast 200%"}, 200},
    {{"加快百分之二百一十", "fast 210%"}, 210},
    {{"加快百分之二百二十", "fast 220%"}, 220},
    {{"加快百分之二百三十", "fast 230%"}, 230},
    {{"加快百分之二百四十", "fast 240%"}, 240},
    {{"加快百分之二百五十", "fast 250%"}, 250},
    {{"加快百分之二百六十", "fast 260%"}, 260},
    {{"加快百分之二百七十", "fast 270%"}, 270},
    {{"加快百分之二百八十", "fast 280%"}, 280},
    {{"加快百分之二百九十", "fast 290%"}, 290},
    {{"加快百分之三百", "fast 300%"}, 300},
};
constexpr MenuValue kTimeFormat[] = {{{"24小时", "24 hours"}, 1}, {{"12小时", "12 hours"}, 0}};
constexpr MenuValue kTimeAnnounce[] = {
    {{"禁止", "disable"}, 0}, {{"一刻钟", "15 minutes"}, 900}, {{"半小时", "30 minutes"}, 1800},
    {{"一小时", "60 minutes"}, 3600},
};
// The seconds handed on for the first choices are what the scheduler expects.
constexpr MenuValue kAutoShutDown[] = {
    {{"禁止", "disable"}, 0},           {{"1分钟", "1 minutes"}, 120},    {{"2分钟", "2 minutes"}, 180},
    {{"3分钟", "3 minutes"}, 240},      {{"4分钟", "4 minutes"}, 300},    {{"5分钟", "5 minutes"}, 300},
    {{"6分钟", "6 minutes"}, 360},      {{"7分钟", "7 minutes"}, 420},    {{"8分钟", "8 minutes"}, 480},
    {{"9分钟", "9 minutes"}, 540},      {{"10分钟", "10 minutes"}, 600},  {{"15分钟", "15 minutes"}, 900},
    {{"20分钟", "20 minutes"}, 1200},   {{"30分钟", "30 minutes"}, 1800}, {{"40分钟", "40 minutes"}, 2400},
    {{"50分钟", "50 minutes"}, 3000},   {{"60分钟", "60 minutes"}, 3600},
};
// Each language is named in its own language.
constexpr MenuValue kLanguages[] = {{{"中文", "中文"}, 0}, {{"english", "english"}, 1}};
constexpr MenuValue kFastMode[] = {
    {{"句子", "sentence"}, 4},
    {{"段落", "paragraph"}, 3},
    {{"页", "page"}, 2},
    {{"100等份", "1% of file size"}, 1},
    {{"10等份", "10% of file size"}, 0},
    {{"逐句", "sentence by sentence"}, 5},
    {{"逐字", "letter by letter"}, 6},
};
constexpr MenuValue kOnOff[] = {{{"关", "off"}, 0}, {{"开", "on"}, 1}};
constexpr MenuValue kPlayMode[] = {
    {{"顺序播放", "Normal"}, 0}, {{"单曲重复", "Repeat"}, 1}, {{"随机播放", "Shuffle"}, 2},
    {{"目录重复", "Repeat All"}, 3},
};
constexpr MenuValue kPlayScape[] = {
    {{"正常", "Normal"}, 0}, {{"流行", "POP"}, 1}, {{"摇滚", "Rock"}, 2}, {{"爵士", "Jazz"}, 3},
    {{"古典", "classical"}, 4},
};
constexpr MenuValue kAudioStep[] = {
    {{"5秒", "5 seconds"}, 5},       {{"10秒", "10 seconds"}, 10},    {{"30秒", "30 seconds"}, 30},
    {{"1分钟", "1 minute"}, 60},     {{"5分钟", "5 minutes"}, 300},   {{"10分钟", "10 minutes"}, 600},
    {{"30分钟", "30 minutes"}, 1800}, {{"1小时", "1 hour"}, 3600},
};
constexpr MenuValue kStreams[] = {
    {{"流 1", "stream  1"}, 0}, {{"流 2", "stream  2"}, 1}, {{"流 3", "stream  3"}, 2},
    {{"流 4", "stream  4"}, 3}, {{"流 5", "stream  5"}, 4},
};
constexpr MenuValue kRecordFmt[] = {
    {{"mp3, 22.050千赫", "mp3, 22.050KHz"}, 259},
    {{"mp3, 44.100千赫", "mp3, 44.100KHz"}, 261},
    {{"wav, 22.050千赫", "wav, 22.050KHz"}, 515},
    {{"wav, 44.100千赫", "wav, 44.100KHz"}, 517},
};
constexpr MenuValue kRecordDir[] = {{{"本机磁盘", "Local disk"}, 0}, {{"SD 卡", "SD card"}, 1}, {{"U 盘", "Usb disk"}, 2}};
constexpr MenuValue kEnable[] = {{{"禁止", "disable"}, 0}, {{"起用", "enable"}, 1}};
constexpr MenuValue kExtInput[] = {{{"咪头", "mic"}, 0}, {{"线路", "line"}, 1}};
constexpr MenuValue kArea[] = {{{"欧洲", "Europe"}, 0}};
constexpr MenuValue kStepMode[] = {{{"自动", "auto"}, 1}, {{"手动", "manual"}, 0}};
constexpr MenuValue kBand[] = {{{"调频", "FM"}, 0}};
constexpr MenuValue kCancelTest[] = {{{" ", " "}, 1}};
constexpr MenuValue kReadRepeat[] = {{{"标记复读开始", "A-"}, 0}, {{"标记复读结束", "B"}, 1}, {{"停止复读", "stop"}, 2}};
// The skip items hand DaisySetSkip the structure's bit in the high byte and
// the choice (the bit, or 0 to read) in the low one.
constexpr MenuValue kSkipPage[] = {{{"朗读", "read"}, 0x100}, {{"跳过", "skip"}, 0x101}};
constexpr MenuValue kSkipNote[] = {{{"朗读", "read"}, 0x200}, {{"跳过", "skip"}, 0x202}};
constexpr MenuValue kSkipSidebar[] = {{{"朗读", "read"}, 0x400}, {{"跳过", "skip"}, 0x404}};
constexpr MenuValue kSkipProdnote[] = {{{"朗读", "read"}, 0x800}, {{"跳过", "skip"}, 0x808}};
constexpr MenuValue kCharsets[] = {{{"自动", "automatic"}, 0},         {{"GBK/GB18030", "GBK/GB18030"}, 936},
                                   {{"Big5", "Big5"}, 950},             {{"UTF-8", "UTF-8"}, 65001},
                                   {{"UTF-16LE", "UTF-16LE"}, 65005},   {{"UTF-16BE", "UTF-16BE"}, 65006}};
constexpr MenuValue kSingRepeat[] = {{{"标记复唱开始", "A-"}, 0}, {{"标记复唱结束", "B"}, 1}, {{"停止复唱", "stop"}, 2}};

// Tools on resource files: the quiz and joke items pass their file.
int callTool(const char *tool, void *context, const char *file) {
  MenuToolFunc fn = MenuFindToolFunc(tool);
  return fn ? fn(context, file) : 0;
}
int FengKuangFunc(void *c, int, int) { return callTool("XianZeTool", c, "/home/res_fengkuangwd"); }
int JianKangFunc(void *c, int, int) { return callTool("XianZeTool", c, "/home/res_jiankangzs"); }
int XiaoXueFunc(void *c, int, int) { return callTool("XianZeTool", c, "/home/res_xiaoxuebk"); }
int Joke1000Func(void *c, int, int) { return callTool("XiaoHuaTool", c, "/home/res_yiqiannhdz"); }
int Joke5WFunc(void *c, int, int) { return callTool("XiaoHuaTool", c, "/home/res_wuwanxh"); }
int JokeGaoXiaoFunc(void *c, int, int) { return callTool("XiaoHuaTool", c, "/home/res_gaoxiaodxdq"); }
int JokeGanWuFunc(void *c, int, int) { return callTool("XiaoHuaTool", c, "/home/res_ganwuxdz"); }
int JokeFuQiFunc(void *c, int, int) { return callTool("XiaoHuaTool", c, "/home/res_fuqilxh"); }

}  // namespace

// ---- Items ----------------------------------------------------------------

MenuItem TimeFormatSetting = value(kValueItem, "时间格式", "Time format", 0, 1, &MTimeFormat, &kTimeFormat,
                                   EmptMenuSetFunc);
MenuItem TimeAnnounce = value(kValueItem, "报时", "Time announcement", 0, 3, &MTimeAnnounce, &kTimeAnnounce, nullptr,
                              "TimeAnnounceFunc");
MenuItem AutoShutDown = value(kValueItem, "闲置关机时间", "Auto shutdown", 0, 16, &MAutoShutDown, &kAutoShutDown,
                              nullptr, "AutoShutDownFunc");
MenuItem LanguageSetting = value(kValueItem, "语言设置", "Language settings", 0, 1, &MLanguageSetting, &kLanguages,
                                 LanguageSettingFunc);

MenuItem ReadSpeed = number(kSpeechItem, "朗读速度", "Reading speed", -10, 20, &MReadSpeed, readspeedfunc);
MenuItem ReadRole = value(kSpeechItem, "朗读方式", "Voice", 0, 7, &MReadRole, &kVoices, readrolefunc);
MenuItem ReadEffect = value(kSpeechItem, "朗读效果", "Vocal effect", 0, 3, &MReadEffect, &kEffects, readeffectfunc);
MenuItem ReadPitch = number(kSpeechItem, "朗读语调", "Pitch", -5, 5, &MReadPitch, readpitchfunc);
MenuItem FastMode = value(kValueItem, "快翻模式", "Fast page turning mode", 0, 6, &MFastMode, &kFastMode,
                          EmptMenuSetFunc);
// The EPUB refinement of the page unit; the reader shows it while an EPUB
// is open.
constexpr MenuValue kEpubFastMode[] = {{{"页", "page"}, 0}, {{"章节", "chapter"}, 1}};
MenuItem EpubFastMode = value(kValueItem, "电子书翻页单位", "EPUB page turning unit", 0, 1, &MEpubFastMode,
                              &kEpubFastMode, EmptMenuSetFunc, nullptr, 0);
MenuItem SReadSpeed = number(kSpeechItem, "朗读速度", "Reading speed", -10, 20, &MReadSpeed, sreadspeedfunc);
MenuItem SReadRole = value(kSpeechItem, "朗读方式", "Voice", 0, 7, &MReadRole, &kVoices, sreadrolefunc);
MenuItem SReadEffect = value(kSpeechItem, "朗读效果", "Vocal effect", 0, 3, &MReadEffect, &kEffects, sreadeffectfunc);
MenuItem SReadPitch = number(kSpeechItem, "朗读语调", "Pitch", -5, 5, &MReadPitch, sreadpitchfunc);
MenuItem SFastMode = value(kValueItem, "快翻模式", "Fast page turning mode", 0, 6, &MFastMode, &kFastMode,
                           EmptMenuSetFunc);
MenuItem AutoPlayNextFile = value(kValueItem, "自动顺序播放", "automatically play the next one", 0, 1, &MAutoNext,
                                  &kOnOff, EmptMenuSetFunc);
MenuItem AutoReportFileInfo = value(kValueItem, "自动报页", "auto news Page", 0, 1, &MAutoReport, &kOnOff,
                                    EmptMenuSetFunc);
MenuItem DReadSpeed = number(kSpeechItem, "朗读速度", "Reading speed", -10, 20, &MReadSpeed, dreadspeedfunc);
MenuItem DReadRole = value(kSpeechItem, "朗读方式", "Voice", 0, 7, &MReadRole, &kVoices, dreadrolefunc);
MenuItem DReadEffect = value(kSpeechItem, "朗读效果", "Vocal effect", 0, 3, &MReadEffect, &kEffects, dreadeffectfunc);
MenuItem DReadPitch = number(kSpeechItem, "朗读语调", "Pitch", -5, 5, &MReadPitch, dreadpitchfunc);

MenuItem ToneSpeed = number(kSpeechItem, "速度", "speed", -10, 20, &MToneSpeed, tonespeedfunc);
MenuItem ToneRole = value(kSpeechItem, "角色", "Voice", 0, 7, &MToneRole, &kVoices, tonerolefunc);
MenuItem ToneEffect = value(kSpeechItem, "效果", "effect", 0, 3, &MToneEffect, &kEffects, toneeffectfunc);
MenuItem TonePitch = number(kSpeechItem, "语调", "Pitch", -5, 5, &MTonePitch, tonepitchfunc);

MenuItem AudioSpeed = value(kValueItem, "播放速度", "speed", 0, 40, &MAudioSpeed, &kMusicSpeed, nullptr,
                            "audiospeedfunc");
MenuItem SAudioSpeed = value(kValueItem, "播放速度", "speed", 0, 40, &MAudioSpeed, &kMusicSpeed, EmptMenuSetFunc);
MenuItem AudioPitch = number(kValueItem, "播放语调", "Pitch", -5, 5, &MAudioPitch, nullptr, "audiopitchfunc");
MenuItem SAudioPitch = number(kValueItem, "播放语调", "Pitch", -5, 5, &MAudioPitch, EmptMenuSetFunc);
MenuItem AudioPlayMode = value(kValueItem, "播放模式", "Playing mode", 0, 3, &MAudioPlayMode, &kPlayMode,
                               EmptMenuSetFunc);
MenuItem AudioPlayScape = value(kValueItem, "播放音效", "Equalizer", 0, 4, &MAudioPlayScape, &kPlayScape, nullptr,
                                "MenuSetEq");
MenuItem AudioStep = value(kValueItem, "快进快退步长", "step", 0, 7, &MAudioStep, &kAudioStep, EmptMenuSetFunc);
MenuItem AudioSelectStream = value(kValueItem, "选择音频流", "Select audio stream", 0, 4, &MAudioSelectStream,
                                   &kStreams, nullptr, "MenuSelectStream");

MenuItem RecordVolume = number(kValueItem, "录音音量", "Record volume", 0, 25, &MRecordVolume, EmptMenuSetFunc);
MenuItem RecordFmt = value(kValueItem, "录音格式", "Recording format", 0, 3, &MRecordFmt, &kRecordFmt,
                           EmptMenuSetFunc);
MenuItem ExtRecInput = value(kValueItem, "外置录音", "input", 0, 1, &MExtInput, &kExtInput, EmptMenuSetFunc);
MenuItem RecordNoise = value(kValueItem, "软件降噪", "Software noise reduction", 0, 1, &MRecordNoise, &kEnable,
                             EmptMenuSetFunc);
MenuItem RecordDir = value(kValueItem, "录音文件夹", "Recording fold", 0, 2, &MRecordDir, &kRecordDir,
                           EmptMenuSetFunc);

MenuItem SelectArea = value(kValueItem, "选择地区", "Select area", 0, 0, &MSelectArea, &kArea, nullptr, "MenuSetarea",
                            0);
MenuItem StepMode = value(kValueItem, "操作方式", "Operation mode", 0, 1, &MStepMode, &kStepMode, EmptMenuSetFunc);
MenuItem SelectBand = value(kValueItem, "选择波段", "Select band", 0, 0, &MSelectBand, &kBand, nullptr, "MenuSetband",
                            0);

MenuItem CancelTest = value(kValueItem, "停止测试", "Cancel test", 0, 0, &MCancelTest, &kCancelTest, CancelTestFunc,
                            nullptr, 0);
MenuItem DaisyABrepeat = value(kValueItem | MENU_TOGGLE, "AB复读", "A-B repeat", 0, 2, &MDaisyABRepeat, &kReadRepeat,
                               nullptr, "DaisyMarkAddRepeat");
MenuItem EbookABrepeat = value(kValueItem | MENU_TOGGLE, "AB复读", "A-B repeat", 0, 2, &MEbookABRepeat, &kReadRepeat,
                               nullptr, "EbookMarkAddRepeat");
MenuItem AudioABrepeat = value(kValueItem | MENU_TOGGLE, "AB复唱", "A-B repeat", 0, 2, &MAudioABRepeat, &kSingRepeat,
                               nullptr, "AudioMarkAddRepeat");

// The sleep timer: minutes, or -1 for the end of the track (music) or of
// the section or chapter (books). Kept in its own block (core/clock/sleep_timer).
constexpr MenuValue kSleepTrack[] = {
    {{"关", "off"}, 0},           {{"15分钟", "15 minutes"}, 15}, {{"30分钟", "30 minutes"}, 30},
    {{"45分钟", "45 minutes"}, 45}, {{"60分钟", "60 minutes"}, 60}, {{"90分钟", "90 minutes"}, 90},
    {{"本曲结束", "end of track"}, -1},
};
constexpr MenuValue kSleepSection[] = {
    {{"关", "off"}, 0},           {{"15分钟", "15 minutes"}, 15}, {{"30分钟", "30 minutes"}, 30},
    {{"45分钟", "45 minutes"}, 45}, {{"60分钟", "60 minutes"}, 60}, {{"90分钟", "90 minutes"}, 90},
    {{"本章结束", "end of chapter"}, -1},
};
MenuItem AudioSleepTimer = value(kValueItem, "睡眠定时", "Sleep timer", 0, 6, &MSleepTimer, &kSleepTrack, nullptr,
                                 "SleepTimerFunc");
MenuItem BookSleepTimer = value(kValueItem, "睡眠定时", "Sleep timer", 0, 6, &MSleepTimer, &kSleepSection, nullptr,
                                "SleepTimerFunc");

MenuItem DefaultSetting = command("恢复出厂设置", "Factory settings", DefaultSettingFunc);
MenuItem DefaultSheet = command("恢复说明书", "Manual recovery", DefaultSheetFunc);
MenuItem KeyDescriber = command("按键说明", "Key describer", KeyDescribeFunc);
MenuItem SystemInfo = command("系统信息", "Device information", nullptr, "SystemInfoFunc");
MenuItem MemoryInfo = command("存储器信息", "Memory information", nullptr, "MemoryInfoFunc");
MenuItem FormatEmmc = command("格式化内存卡", "Format emmc", MenuFormatEmmc);
MenuItem FormatSd = command("格式化 SD 卡", "Format sd card", MenuFormatSd, nullptr, kCommandItem, 0);
MenuItem FormatUsbdisk = command("格式化 U 盘", "Format usb disk", MenuFormatUsbdisk, nullptr, kCommandItem, 0);

MenuItem Alarm = command("闹钟", "Alarms", nullptr, "AlarmSettingFunc");
MenuItem CalculTime = command("计时器", "timer", nullptr, "CalculTimeTool");
MenuItem AlarmPwrOff = command("定时关机", "Timed shutdown", nullptr, "AlarmSetPwrOffFunc");
MenuItem AlarmPwrOn = command("定时开机", "Timed power on", nullptr, "AlarmSetPwrOnFunc");
MenuItem SysTime = command("系统时间设置", "System time settings", nullptr, "TimeSettingFunc");
MenuItem VoiceReminding = command("语音提醒", "voice reminding", nullptr, "VoiceRemindFunc");
MenuItem VoiceMemo = command("语音备忘录", "voice memorandum", nullptr, "VoiceMemoFunc");

MenuItem Calendar = command("万年历", "Calendar", nullptr, "CalendarTool");
MenuItem HuanLi = command("老黄历", "Almanac", nullptr, "HuanLiTool");
MenuItem Calculator = command("计算器", "Calculator", nullptr, "CalculatorTool");
MenuItem AnMoItem = command("按摩管理系统", " ", nullptr, "AnMoTool");
MenuItem YiZhiFengKuang = command("疯狂问答", " ", FengKuangFunc);
MenuItem YiZhiJianKang = command("健康知识题库", " ", JianKangFunc);
MenuItem YiZhiXiaoXue = command("小学百科知识题库", " ", XiaoXueFunc);
MenuItem XiaoHa1000 = command("1000内涵段子", " ", Joke1000Func);
MenuItem XiaoHa5W = command("5万笑话", " ", Joke5WFunc);
MenuItem XiaoHaGaoXiao = command("搞笑短信大全", " ", JokeGaoXiaoFunc);
MenuItem XiaoHaGanWu = command("感悟段子", " ", JokeGanWuFunc);
MenuItem XiaoHaFuQi = command("夫妻冷笑话", " ", JokeFuQiFunc);

MenuItem Delete = command("删除", "delete", nullptr, "MenuDeleteFile");
MenuItem SendToSd = command("发送到SD卡", "send to sd card", nullptr, "MenuSendTo");
MenuItem SendToEmmc = command("发送到内存", "send to internal memory", nullptr, "MenuSendTo");
MenuItem Copy = command("复制", "copy", nullptr, "MenuCopyFile");
MenuItem Cut = command("剪切", "cut", nullptr, "MenuCutFile");
MenuItem Paste = command("粘贴", "paste", nullptr, "MenuPasteFile");

MenuItem JmpToPage = command("跳转到页", "go to page", nullptr, "EbookMenuJmpToPage", kJumpItem);
MenuItem JmpToPercent = command("跳转到百分比", "go to percent", nullptr, "EbookMenuJmpToPercent", kJumpItem);
MenuItem AudioJmpto = command("跳转到分钟", "jump to minutes", nullptr, "AudioMenuJmpToMinutes", kJumpItem);
MenuItem DaisyJmptoPage = command("跳转到页", "jump to page", nullptr, "DaisyMenuJmpToPage", kJumpItem);
MenuItem DaisyJmptoHead = command("跳转到标题", "jump to heading", nullptr, "DaisyMenuJmpToHead", kJumpItem);
MenuItem DaisyJmptoBegin = command("跳转到开头", "jump to beginning", nullptr, "DaisyMenuJmpToBegin", kJumpItem);
MenuItem DaisyJmptoEnd = command("跳转到结尾", "jump to end", nullptr, "DaisyMenuJmpToEnd", kJumpItem);
MenuItem DaisyHeadingList = command("标题列表", "heading list", nullptr, "DaisyMenuHeadingList", kJumpItem);
MenuItem DaisySkipPage = value(kValueItem, "页码", "page numbers", 0, 1, &MDaisySkipPage, &kSkipPage, nullptr,
                               "DaisySetSkip");
MenuItem DaisySkipNote = value(kValueItem, "注释", "notes", 0, 1, &MDaisySkipNote, &kSkipNote, nullptr, "DaisySetSkip");
MenuItem DaisySkipSidebar = value(kValueItem, "边栏", "sidebars", 0, 1, &MDaisySkipSidebar, &kSkipSidebar, nullptr,
                                  "DaisySetSkip");
MenuItem DaisySkipProdnote = value(kValueItem, "制作者注释", "producer's notes", 0, 1, &MDaisySkipProdnote,
                                   &kSkipProdnote, nullptr, "DaisySetSkip");
// Shown by the reader while a book of their kind is open.
MenuItem EbookChapterList = command("章节列表", "chapter list", nullptr, "EbookMenuChapterList", kJumpItem, 0);
MenuItem EbookCharset = value(kValueItem, "字符集", "character set", 0, 5, &MEbookCharset, &kCharsets, nullptr,
                              "EbookSetCharset", 0);

MenuItem AddStation = command("添加频道", "Add Channel", nullptr, "MenuAddStation");
MenuItem AutoSearch = command("自动搜台", "Auto searching", nullptr, "MenuAutoSearch");
MenuItem DelAllStation = command("删除所有频道", "Delete all Channel", nullptr, "MenuDelAllStagion");
MenuItem DelStation = command("删除频道", "Delete Channel", nullptr, "MenuDelStation");

MenuItem DaisyAddMark = command("添加书签", "Add book mark", nullptr, "DaisyMarkAddItem");
MenuItem EbookAddMark = command("添加书签", "Add book mark", nullptr, "EbookMarkAddItem");
MenuItem AudioAddMark = command("添加书签", "Add book mark", nullptr, "AudioMarkAddItem");
MenuItem DeleteMark = command("删除书签", "delete book mark", nullptr, "MarkMenuDelete");
MenuItem CleanMark = command("清空书签", "clearn book mark", nullptr, "MarkMenuClean");

MenuItem AddVoiceReminding = command("添加语音提醒", "Add voice reminding", nullptr, "AddVoiceRemindingFunc");
MenuItem ChangeVoiceReminding = command("修改语音提醒", "Modify reminding", nullptr, "VoiceRemindChangeFunc");
MenuItem DelVoiceReminding = command("删除语音提醒", "Delete", nullptr, "DelVoiceRemindingFunc");
MenuItem CleanVoiceReminding = command("清空语音提醒", "Empty voice reminding", nullptr, "CleanVoiceRemindingFunc");
MenuItem DelVoiceMemo = command("删除语音备忘录", "Delete", nullptr, "DelVoiceMemoFunc");
MenuItem CleanVoiceMemo = command("清空语音备忘录", "Empty voice memorandum", nullptr, "CleanVoiceMemoFunc");

// ---- Menus ----------------------------------------------------------------

namespace {
constexpr MenuEntry *const kSysTone[] = {&ToneSpeed, &ToneRole, &ToneEffect, &TonePitch, nullptr};
constexpr MenuEntry *const kFormat[] = {&FormatEmmc, &FormatSd, &FormatUsbdisk, nullptr};
}  // namespace
MenuNode SysToneMenu = menu("系统提示音", "System tone", kSysTone);
MenuNode FormatMenu = menu("格式化", "Format", kFormat);

namespace {
constexpr MenuEntry *const kSystemFunc[] = {&DefaultSetting, &DefaultSheet, &SysToneMenu, &LanguageSetting,
                                            &SystemInfo,     &MemoryInfo,   &FormatMenu,  &KeyDescriber,
                                            nullptr};
constexpr MenuEntry *const kTime[] = {&Alarm, &CalculTime, &AlarmPwrOff, &AlarmPwrOn, &SysTime, &TimeAnnounce,
                                      &AutoShutDown, nullptr};
constexpr MenuEntry *const kRecord[] = {&RecordVolume, &RecordFmt, &ExtRecInput, &RecordNoise, &RecordDir, nullptr};
constexpr MenuEntry *const kSEbook[] = {&SReadSpeed, &SReadRole,        &SReadEffect,        &SReadPitch,
                                        &SFastMode,  &AutoPlayNextFile, &AutoReportFileInfo, nullptr};
constexpr MenuEntry *const kSAudio[] = {&SAudioSpeed, &SAudioPitch, &AudioStep, &AudioPlayMode, &AudioPlayScape,
                                        nullptr};
constexpr MenuEntry *const kToolBox[] = {&Calendar, &HuanLi, &Calculator, &AnMoItem, nullptr};
constexpr MenuEntry *const kYiZh[] = {&YiZhiFengKuang, &YiZhiJianKang, &YiZhiXiaoXue, nullptr};
constexpr MenuEntry *const kXiaoHua[] = {&XiaoHa1000, &XiaoHa5W, &XiaoHaGaoXiao, &XiaoHaGanWu, &XiaoHaFuQi, nullptr};
constexpr MenuEntry *const kTwo[] = {&Delete, &SendToSd, &SendToEmmc, &Copy, &Cut, &Paste, nullptr};
}  // namespace
MenuNode SystemFuncMenu = menu("系统功能", "System functions", kSystemFunc);
MenuNode TimeMenu = menu("时间设置", "Time settings", kTime);
MenuNode RecordMenu = menu("录音设置", "Record setting", kRecord);
MenuNode SEbookMenu = menu("电子书设置", "Ebook setting", kSEbook);
MenuNode SAudioMenu = menu("音乐设置", "Music setting", kSAudio);
MenuNode ToolBoxMenu = menu("工具箱", "tool box", kToolBox);
MenuNode YiZhMenu = menu("益智游戏", " ", kYiZh);
MenuNode XiaoHuaMenu = menu("笑话", " ", kXiaoHua);
MenuNode TwoMenu = menu("系统设置", "System setting", kTwo);

namespace {
constexpr MenuEntry *const kSystem[] = {
    &CancelTest,     &SystemFuncMenu, &TimeMenu,    &RecordMenu,  &SEbookMenu, &SAudioMenu,
    &VoiceReminding, &VoiceMemo,      &ToolBoxMenu, &YiZhMenu,    &XiaoHuaMenu, &Delete,
    &SendToSd,       &SendToEmmc,     &Copy,        &Cut,         &Paste,      nullptr};
constexpr MenuEntry *const kTextBook[] = {&ReadSpeed,    &ReadRole,  &ReadEffect,   &ReadPitch,
                                          &FastMode,     &EpubFastMode, &JmpToPage, &JmpToPercent,
                                          &EbookChapterList, &EbookCharset, &BookSleepTimer, nullptr};
constexpr MenuEntry *const kAudio[] = {&AudioSpeed, &AudioPitch, &AudioPlayMode,     &AudioPlayScape,
                                       &AudioStep,  &AudioJmpto, &AudioSelectStream, &AudioSleepTimer, nullptr};
constexpr MenuEntry *const kDaisy[] = {&DReadSpeed,     &DReadRole,      &DReadEffect,     &DReadPitch,
                                       &DaisyJmptoPage, &DaisyJmptoHead, &DaisyJmptoBegin, &DaisyJmptoEnd,
                                       &DaisyHeadingList, &DaisySkipPage, &DaisySkipNote, &DaisySkipSidebar,
                                       &DaisySkipProdnote, &BookSleepTimer, nullptr};
constexpr MenuEntry *const kRadio[] = {&AddStation, &StepMode,   &AutoSearch, &DelAllStation,
                                       &SelectArea, &SelectBand, &DelStation, nullptr};
constexpr MenuEntry *const kDaisyMark[] = {&DaisyAddMark, &DaisyABrepeat, nullptr};
constexpr MenuEntry *const kEbookMark[] = {&EbookAddMark, &EbookABrepeat, nullptr};
constexpr MenuEntry *const kAudioMark[] = {&AudioAddMark, &AudioJmpto, &AudioABrepeat, nullptr};
constexpr MenuEntry *const kDeleteMark[] = {&DeleteMark, &CleanMark, nullptr};
constexpr MenuEntry *const kVoiceRemind[] = {&AddVoiceReminding, &ChangeVoiceReminding, &DelVoiceReminding,
                                             &CleanVoiceReminding, nullptr};
constexpr MenuEntry *const kVoiceMemo[] = {&DelVoiceMemo, &CleanVoiceMemo, nullptr};
}  // namespace
MenuNode SystemMenu = menu("系统设置", "System setting", kSystem);
MenuNode TextBookMenu = menu("电子书设置", "E-book setting", kTextBook);
MenuNode AudioMenu = menu("音乐设置", "Music setting", kAudio);
MenuNode DaisyMenu = menu("Daisy设置", "Daisy setting", kDaisy);
MenuNode ToneMenu = menu("语音设置", "Tone setting", kSysTone);
MenuNode RadioMenu = menu("收音机设置", "Radio setting", kRadio);
MenuNode DaisyMarkMenu = menu("书签设置", "Daisymark setting", kDaisyMark);
MenuNode EbookMarkMenu = menu("书签设置", "Bookmark setting", kEbookMark);
MenuNode AudioMarkMenu = menu("书签设置", "Bookmark setting", kAudioMark);
MenuNode DeleteMarkMenu = menu("删除书签", "delete bookmark", kDeleteMark);
MenuNode VoiceRemindingMenu = menu("语音提醒", "voice reminding", kVoiceRemind);
MenuNode VoiceMemoMenu = menu("语音备忘录", "voice memorandum", kVoiceMemo);

void MenuSetCardName(int tf) {
  // The tree's own texts are the "SD" ones; a TF slot has its own wording.
  static constexpr MenuValue kRecordDirTf[] = {
      {{"本机磁盘", "Local disk"}, 0}, {{"TF 卡", "TF card"}, 1}, {{"U 盘", "Usb disk"}, 2}};
  SendToSd.name[0] = tf ? "发送到TF卡" : "发送到SD卡";
  SendToSd.name[1] = tf ? "send to tf card" : "send to sd card";
  FormatSd.name[0] = tf ? "格式化 TF 卡" : "格式化 SD 卡";
  FormatSd.name[1] = tf ? "Format tf card" : "Format sd card";
  RecordDir.values = tf ? kRecordDirTf : kRecordDir;
}

int MenuInit(void) {
  MenuSetRoots(&SystemMenu, &TwoMenu);
  MenuSetCardName(CardIsTf);
  return 0;
}

int MenuDeInit(void) { return 0; }

int GetTimeFormat(void) { return MenuItemGetValue(&TimeFormatSetting); }
