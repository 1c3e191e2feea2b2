// Start-up and shutdown: every subsystem comes up in a fixed order on the
// main thread, the file browser becomes the bottom screen, the main loop runs
// until the device is switched off, and the subsystems go down in reverse
// order with the configuration saved last.
#include "core/app.h"

#include "audio/ffaudio.h"
#include "audio/player.h"
#include "board/board.h"
#include "core/config.h"
#include "core/dialog.h"
#include "core/filebrowser.h"
#include "core/gpio.h"
#include "core/key.h"
#include "core/log.h"
#include "core/loop.h"
#include "core/machine.h"
#include "core/pending.h"
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

#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

int AppY, AppM, AppD, AppHH, AppMM, AppSS;
char *LastPath = nullptr;
int MLanguageSetting = 0;

namespace {

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

}  // namespace

int IsDaisyDir(const char *path) {
  if (!path) return 0;
  return strncasecmp(path, "/mnt/emmc/daisy", 15) == 0 || strncasecmp(path, "/mnt/sdcard/daisy", 17) == 0;
}

int new_machine_set(void) {
  int fd = open(BoardPath("/home/new_machine").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fd;
  static const char *const kTesting[] = {"正在测试。。。", "Testing..."};
  wait_text_sound_end(text_sound_insert(kTesting[MLanguageSetting ? 1 : 0]));
  ItemSetVisable(&CancelTest, 1);
  return close(fd);
}

int ToneGetTtsParam(int *params) {
  TtsGetDefaultParam(params);
  params[TTS_PARAM_CODEPAGE] = 65001;
  // English prompts read a number on its own in English.
  params[TTS_PARAM_LANGUAGE] = MLanguageSetting == 1 ? 2 : 1;
  int lang = MLanguageSetting == 1 ? 1 : 0;
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

int AppMain(void) {
  BoardRunShell("mkdir -p /home/tag");
  std::printf("Compile Date: %s  %s\n", "Nov 13 2024", "11:20:12");
  AppY = 2024, AppM = 11, AppD = 13, AppHH = 11, AppMM = 20, AppSS = 12;
  if (LoadMachineType() < 0) return -1;

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
  if (sound_init() != 0) goto t4;
  if (InitKey() != 0) goto t3;
  SoundSpeed_Init();
  AudioSetDsp(&kDsp);
  AudioPlayerInit();
  EbookReaderInit();
  DaisyScreenInit();
  {
    int params[TTS_PARAM_NUM];
    ToneGetTtsParam(params);
    if (text_sound_init("text_sound", params) != 0) goto t2;
  }
  AlarmInit();
  WordList_Init();
  startUsbGadget();
  new_machine_set();
  // The key thread owns the screens from here: it opens the first one too.
  ActivityPost([] { ActivitySetActive(FileBrowserCreate(LastPath), 1); });

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
  return 0;
}
