// Start-up and shutdown: every subsystem comes up in a fixed order on the
// main thread, the file browser becomes the bottom screen, the main loop runs
// until the device is switched off, and the subsystems go down in reverse
// order with the configuration saved last.
#include "core/runtime/app.h"

#include "audio/ffaudio.h"
#include "audio/player.h"
#include "board/board.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/library/bookmark.h"
#include "core/library/filebrowser.h"
#include "core/runtime/vkey.h"
#include "core/ui/format.h"
#include "core/runtime/gpio.h"
#include "core/runtime/activity.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/runtime/machine.h"
#include "core/clock/alarm.h"
#include "core/clock/reminder.h"
#include "core/clock/sleep_timer.h"
#include "core/clock/systime.h"
#include "core/library/upgrade.h"
#include "radio/radio.h"
#include "record/record.h"
#include "daisy/daisy_screen.h"
#include "ebook/charset.h"
#include "ebook/ebook_reader.h"
#include "ebook/wordlist.h"
#include "menu/mdata.h"
#include "sound/af_equalizer.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/duoying.h"
#include "speech/text_sound.h"
#include "speech/tts.h"
#include "toolbox/toolbox.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>


namespace {

constexpr char kAlarmFile[] = "/home/q7alm.xml";

int alarmsLoaded() {
  InitVoiceRemind();
  LoadAlarm(kAlarmFile);
  InitAlarmFromMenu();
  return 0;
}

int alarmsSaved() {
  SaveAlarm(kAlarmFile);
  AlarmSetPowerOnRTC();
  DeInitVoiceRemind();
  return 0;
}

// The blocks of the configuration file that live above the store, in the
// file's order, and the alarms that are loaded and saved with it.
const CfgBlock kConfigBlocks[] = {
    {"menu", MenuInit, MenuLoad, nullptr, MenuSave, MenuDeInit},
    {"bookmark", BookMarkInit, BookMarkLoad, nullptr, BookMarkSave, BookMarkDeInit},
    {nullptr, nullptr, nullptr, alarmsLoaded, nullptr, alarmsSaved},
};

// Settings, the place in the browser and the alarms are written a few
// seconds after a key (any key may change them), however many keys follow
// in between: the first key arms a timer; when it fires the save runs on
// the key thread, which is the one that changes them, and writes a file
// only when its content changed. A power cut then loses at most those
// seconds, and reopens the book that was open.
constexpr int kSettingsSaveDelayUs = 3 * 1000000;
std::atomic<bool> g_settingsArmed{false};
Event g_settingsTimer = EVENT_INIT_SELF(g_settingsTimer);

int settingsDue(void *, int) {
  g_settingsArmed = false;
  ActivityPost([] {
    FileBrowserKeepPlace();
    CfgSaveAll();
    SaveAlarm(kAlarmFile);
  });
  return 0;
}

void keyPressed() {
  AlarmResetAutoPowerOffTime();
  if (g_settingsArmed.exchange(true)) return;
  g_settingsTimer.timeout = kSettingsSaveDelayUs;
  g_settingsTimer.callback = settingsDue;
  g_settingsTimer.flag = EVENT_TIMER;
  if (EventAdd(&g_settingsTimer) != 0) g_settingsArmed = false;
}

void deviceIdle() {
  if (radio_enable_sleep) ReadySleep();
}

const KeyHooks kKeyHooks = {keyPressed, deviceIdle, SleepTimerTake};

Event g_diagTimer = EVENT_INIT_SELF(g_diagTimer);
struct timeval g_diagStart;

// What every decoder runs its PCM through: the equaliser and the music
// tempo processor.
const AudioDsp kDsp = {af_equalizer_init, af_equalizer_play, af_equalizer_deinit, SoundSpeed_SetSampleRate,
                       SoundSpeed_SetChannels};

// The gadget that lets a computer see the internal card as a disk.
void startUsbGadget() {
  if (KernelVer != 0x30008) {
    BoardRunShell("rmmod g_mass_storage");
    BoardRunShell("insmod /lib/modules/3.10.14/libcomposite.ko");
    BoardRunShell("insmod /lib/modules/3.10.14/g_mass_storage.ko file=/home/tdev  removable=1");
  } else {
    BoardRunShell("insmod /lib/modules/3.0.8/g_file_storage.ko");
  }
}

// SIGTERM, SIGINT and SIGHUP switch the device off as the power key does.
// The handler only writes the signal's number into a pipe; the main loop
// reads it and posts the power-off key, so the screens close, positions and
// settings are saved and teardown runs as after a held power key. Should
// the screens not end the loop (a stuck dialog), it ends 10 s later anyway.
int g_stopPipe[2] = {-1, -1};
Event g_stopRead = EVENT_INIT_SELF(g_stopRead);
Event g_stopLate = EVENT_INIT_SELF(g_stopLate);

void onStopSignal(int sig) {
  int saved = errno;
  unsigned char b = static_cast<unsigned char>(sig);
  (void)!write(g_stopPipe[1], &b, 1);  // a full pipe already holds a request
  errno = saved;
}

int stopLate(void *, int) {
  std::printf("still running 10 s after a stop signal: main loop ended\n");
  LoopExit();
  return 0;
}

int stopRead(void *, int) {
  unsigned char b = 0;
  if (read(g_stopPipe[0], &b, 1) == 1) {
    std::printf("signal %d: switching off\n", b);
    SendVKey(VKEY_POWEROFF);
    if (g_stopLate.next == &g_stopLate) {
      g_stopLate.timeout = 10 * 1000000;
      g_stopLate.callback = stopLate;
      g_stopLate.flag = EVENT_TIMER;
      EventAdd(&g_stopLate);
    }
  }
  EventAdd(&g_stopRead);
  return 0;
}

int stopWatched(void *) { return 1; }

// Installs the handlers (at once, so that a signal during start-up is kept
// in the pipe) and watches the pipe from the main loop.
void watchStopSignals() {
  if (g_stopPipe[0] < 0 && pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction sa = {};
  sa.sa_handler = onStopSignal;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

void readStopSignals() {
  g_stopRead.fd = g_stopPipe[0];
  g_stopRead.timeout = -1;
  g_stopRead.callback = stopRead;
  g_stopRead.check = stopWatched;
  g_stopRead.flag = EVENT_READ;
  if (g_stopRead.fd >= 0) EventAdd(&g_stopRead);
}

// The upgrade check of start-up; the screen below speaks again after it.
void startupUpgrade() {
  if (UpGrage(1287) != 0) ActivityRefresh();
}

}  // namespace

int new_machine_set(void) {
  int fd = open(BoardPath("/home/new_machine").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fd;
  static const char *const kTesting[] = {"正在测试。。。", "Testing..."};
  wait_text_sound_end(text_sound_insert(kTesting[PromptLanguage()]));
  ItemSetVisable(&CancelTest, 1);
  return close(fd);
}

int ToneGetTtsParam(int *params) {
  TtsGetDefaultParam(params);
  params[TTS_PARAM_CODEPAGE] = 65001;
  // English prompts read a number on its own in English.
  params[TTS_PARAM_LANGUAGE] = MLanguageSetting == 1 ? 2 : 1;
  int lang = PromptLanguage();
  int v = 0;
  if (ItemGetValue(&ToneRole, nullptr, &v) == 0 && v >= 0 && v < 8) {
    params[TTS_PARAM_MAIN_ROLE] = RoleTable[lang][v][0];
    params[TTS_PARAM_SUB_ROLE] = RoleTable[lang][v][1];
  }
  if (ItemGetValue(&ToneSpeed, nullptr, &v) == 0) params[TTS_PARAM_VSPEED] = v;
  if (ItemGetValue(&ToneEffect, nullptr, &v) == 0) params[TTS_PARAM_VEMODE] = v;
  if (ItemGetValue(&TonePitch, nullptr, &v) == 0) params[TTS_PARAM_VPITCH] = v * 6400;
  return 0;
}

int TimeCallback(void *arg, int flag) {
  if (flag != EVENT_TIMER) return 0;
  struct timeval now;
  BoardGetTimeOfDay(&now);
  long sec = static_cast<long>(now.tv_sec - g_diagStart.tv_sec);
  long usec = static_cast<long>(now.tv_usec - g_diagStart.tv_usec);
  if (usec < 0) {
    usec += 1000000;
    sec--;
  }
  std::printf("time end: %ld-%ld\n", static_cast<long>(now.tv_sec), static_cast<long>(now.tv_usec));
  std::printf("delay time =%ld.%06lds\n", sec, usec);
  return 0;
}

int InitTimer(void) {
  EventDel(&g_diagTimer);
  g_diagTimer.timeout = 2000000000;
  g_diagTimer.callback = TimeCallback;
  g_diagTimer.check = nullptr;
  g_diagTimer.flag = EVENT_TIMER;
  g_diagTimer.arg = &g_diagTimer;
  EventAdd(&g_diagTimer);
  BoardGetTimeOfDay(&g_diagStart);
  std::printf("time start: %ld-%ld\n", static_cast<long>(g_diagStart.tv_sec), static_cast<long>(g_diagStart.tv_usec));
  return 0;
}

void AppRegisterHooks(void) {
  for (const CfgBlock &block : kConfigBlocks) CfgRegisterBlock(&block);
  CfgRegisterBlock(&kSleepTimerBlock);
  KeySetHooks(&kKeyHooks);
  FormatSetDoneHook(FileBrowserReloadDir);
}

int AppMain(void) {
  AppRegisterHooks();
  BoardRunShell("mkdir -p /home/tag");
  std::printf("Compile Date: %s  %s\n", "Nov 13 2024", "11:20:12");
  AppY = 2024, AppM = 11, AppD = 13, AppHH = 11, AppMM = 20, AppSS = 12;
  if (LoadMachineType() < 0) return -1;
  watchStopSignals();

  LoadConfig();
  OpenLog();
  SetChargeLow();
  LedOff();
  ItemSetBitmask(&RecordDir, 3);
  BoardRunShell("rm -rf /mnt/usb");
  ItemSetVisable(&ExtRecInput, HardVer == 16 ? 0 : 1);

  // Each failure skips the rest of start-up and enters teardown at the step
  // that undoes what did start; the configuration is saved in every case.
  if (register_iconv_cd() != 0) goto t4;
  InitDuoYing();
  LoopInit();
  readStopSignals();
  if (sound_init() != 0) goto t4;
  if (InitKey() != 0) goto t3;
  ItemSetVisable(&FormatSd, GetSdcardStatus() >= 1 ? 1 : 0);
  ItemSetVisable(&FormatUsbdisk, BoardIsMountPoint("/mnt/usb") == 1 ? 1 : 0);
  SoundSpeed_Init();
  AudioSetDsp(&kDsp);
  AudioPlayerInit();
  EbookReaderInit();
  DaisyScreenInit();
  RadioInit();
  SleepTimerInit();
  {
    int params[TTS_PARAM_NUM];
    ToneGetTtsParam(params);
    if (text_sound_init("text_sound", params) != 0) goto t2;
  }
  AlarmInit();
  VoiceMemoInit();
  ToolboxInit();
  SysScreensInit();
  WordList_Init();
  startUsbGadget();
  new_machine_set();
  if (CfgWasReset()) {
    static const char *const kReset[] = {"设置已损坏，已恢复默认设置", "Settings were damaged; defaults restored"};
    wait_text_sound_end(text_sound_insert(kReset[PromptLanguage()]));
  }
  // The key thread owns the screens from here: it opens the first one too,
  // then looks at a package left on the card while the device was off, as
  // after USB mass-storage mode.
  ActivityPost([] {
    ActivitySetActive(FileBrowserCreate(LastPath), 1);
    startupUpgrade();
  });

  MainLoop();

  BoardRunShell("rmmod g_file_storage");
  WordList_DeInit();
  text_sound_deinit();
t2:
  DeInitKey();
  DialogDeInit();
t3:
  sound_deinit();
t4:
  DeInitDuoYing();
  CloseLog();
  SaveConfig();
  LedOn();
  if (pwroff_tone) BoardRunShell("reboot");  // an upgrade asked for a restart
  return 0;
}
