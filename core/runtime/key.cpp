// The key subsystem. The reader (KeyCallback) runs as an event of the main
// loop on the input device and turns presses, holds and releases into key
// events: auto-repeat, the two long presses (power off, key lock), the key
// lock itself and the quick auto-power-off cycle. The distribution thread
// reads the key buffer and hands each event to the top-most active screen,
// applies the volume keys and the ESC information sequence, and passes
// global keys down the screen stack.
//
// Threads, locks and who owns what (every screen and module keeps to this):
// - Main-loop thread: the reader, the lock-window and quick power-off
//   timers, the battery check, alarm callbacks. The reader's state below is
//   touched by this thread only (the two atomics are read by others).
// - Key distribution thread: runs every screen's key callback, so nearly all
//   screen logic and all setting changes (MainVolume, menus) happen here.
//   The ESC-sequence state is its own.
// - Virtual-key server thread (core/vkey.cpp): queues keys, keeps the card
//   and USB state, re-arms the USB delay timer.
// - The key buffer has its own mutex (core/key_buffer.cpp); any thread
//   writes, only the distribution thread reads.
// - Activity stack (core/activity.cpp): one mutex around the slots and the
//   count, never held while a key, show or hide callback runs, so a callback
//   may push and remove screens freely. The distribution thread is the
//   screen thread: it alone shows, hides, pushes and pops screens, and it
//   runs the work other threads post (ActivityPost) before the next key.
// - A screen has one owner that frees it: the screen itself, on the key
//   distribution thread, right after removing itself in its own key callback
//   (close, or close and pass the key on). Main-loop callbacks (alarms) and
//   worker threads never push, show, remove or free a screen: they post the
//   work (a ringing alarm's dialog, a worker dialog's ending) or a key
//   (SendVKey/SendVkeyHead): POWEROFF unwinds the stack, a screen's own key
//   closes that screen.
// - Timer and descriptor lists (core/loop.cpp): one mutex around the links
//   and the count-down, never held while a callback runs; the loop copies a
//   record's callback, argument and reason under it. A record's fields are
//   written by its owner only while it is unlinked (EventDel, set,
//   EventAdd), from whatever thread owns it; no record has two owners.
#include "core/runtime/key.h"

#include "board/board.h"
#include "core/runtime/activity.h"
#include "core/runtime/globals.h"
#include "core/runtime/battery.h"
#include "core/runtime/config.h"
#include "core/runtime/gpio.h"
#include "core/runtime/log.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "core/runtime/loop.h"
#include "core/runtime/vkey.h"
#include "core/ui/keyhelp.h"
#include "sound/sound.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>

int gFTPminutes = 0;

namespace {

constexpr char kLogSource[] = "core/key.c";
constexpr int kEvKey = 1;
constexpr int kLongPressUs = 2000000;
constexpr int kLockWindowS = 5;
constexpr int kMinuteUs = 60000000;
constexpr int64_t kInfoWindowUs = 4000000;
constexpr int64_t kInfoCapUs = 100000000;
constexpr int kFtpMinutes[7] = {0, 15, 30, 45, 60, 90, 120};

const char *const kUnlocked[] = {"按键已解锁", "Keyboard unlocked"};
const char *const kLocked[] = {"按键已加锁，需要解锁，请先按开关键再按音乐键", "Keyboard locked!"};
const char *const kLastMinute[] = {"1分钟后自动关机", "It poweroff automatically after 1 minute"};
const char *const kVolumeWord[] = {"音量", "volume"};
const char *const kFtpAnnounce[2][7] = {
    {"自动关机: 关", "自动关机: 15分钟", "自动关机: 30分钟", "自动关机: 45分钟", "自动关机: 60分钟",
     "自动关机: 90分钟", "自动关机: 120分钟"},
    {"auto poweroff: off", "auto poweroff: 15 minutes", "auto poweroff: 30 minutes", "auto poweroff: 45 minutes",
     "auto poweroff: 60 minutes", "auto poweroff: 90 minutes", "auto poweroff: 120 minutes"},
};

Event g_keyEvent = EVENT_INIT_SELF(g_keyEvent);
Event pwr = EVENT_INIT_SELF(pwr);    // the key-lock window
Event poff = EVENT_INIT_SELF(poff);  // the quick auto-power-off minute

// Reader state: main-loop thread.
KeyEvent g_pending{KEY_TYPE_RELEASE, 0};  // the key being held
int64_t g_deadline = -1;  // when the held key's time-out ends (monotonic us), -1 none
std::atomic<const KeyHooks *> g_hooks{nullptr};  // registered at start-up
std::atomic<int> key_locked{0};
int key_unlocking = 0;
int power_key_short = 0;
int power_key_long = 0;
std::atomic<int> fast_time_poweroff{0};

// Distribution thread.
KeyDistributor *g_distribution = nullptr;  // the program's own, started by InitKey
int64_t key_info_time = 0;
int key_info_count = 0;

VkeyServer g_vkey;


void speak(const char *const texts[2]) { text_sound_insert(texts[PromptLanguage()]); }

void queue(int type, int code) {
  KeyEvent e{type, code};
  if (KeyBufferWriteNoWait(gKeyBuffer, &e) != 0) LOGW("KeyBufferWriteNoWait return error\n");
}

void armTimer(Event *rec, int timeoutUs, int (*callback)(void *, int)) { EventArmTimer(rec, timeoutUs, callback); }

bool repeats(int code) {
  return code == VKEY_VOL_ || code == VKEY_UP || code == VKEY_DOWN || code == VKEY_LEFT || code == VKEY_RIGHT ||
         code == VKEY_OK || code == VKEY_VOLADD;
}

bool passesDown(int code) {
  switch (code) {
    case VKEY_RECORD: case VKEY_SDIN: case VKEY_SDOUT: case VKEY_USBDISKIN: case VKEY_USBDISKOUT:
    case VKEY_USBIN: case VKEY_USBOUT: case VKEY_POWEROFF: case VKEY_MARK: case VKEY_MP3: case VKEY_FM:
      return true;
    default:
      return false;
  }
}

// A press while the keys are locked: only the power key and the unlock
// sequence do anything. Returns the hold time-out, or -1.
int onLockedPress(int code) {
  if (code == VKEY_POWEROFF) {
    g_pending = {KEY_TYPE_PRESS, VKEY_POWEROFF};
    LedOn();
    power_key_short = 1;
    LockEvent(kLockWindowS);
    return kLongPressUs;
  }
  if (code == VKEY_MP3 && power_key_short) {
    key_locked = 0;
    key_unlocking = 1;
    EventDel(&pwr);
    speak(kUnlocked);
    power_key_short = 0;
    return -1;
  }
  power_key_short = 0;
  speak(kLocked);
  return -1;
}

// A press: returns the time-out until the hold matters, or -1.
int onPress(int code) {
  if (key_locked) return onLockedPress(code);
  switch (code) {
    case VKEY_MENU: case VKEY_BACK: case VKEY_ESC: case VKEY_RECORD: case VKEY_MARK: case VKEY_FM: case VKEY_USBOC:
      queue(KEY_TYPE_PRESS, code);
      LedOn();
      power_key_short = 0;
      return -1;
    case VKEY_POWEROFF:
      power_key_long = 0;
      g_pending = {KEY_TYPE_PRESS, code};
      LedOn();
      return kLongPressUs;  // nothing queued yet: short and long presses differ
    case VKEY_MP3:
      g_pending = {KEY_TYPE_PRESS, code};
      LedOn();
      return kLongPressUs;
    default:
      if (repeats(code)) {
        queue(KEY_TYPE_PRESS, code);
        g_pending = {KEY_TYPE_PRESS, code};
        LedOn();
        power_key_short = 0;
        return CfgKeyFirstDelay;
      }
      LOGW("unknown key!!!!!!!!\n");
      return -1;
  }
}

void onRelease(int code) {
  LedOff();
  g_pending.type = KEY_TYPE_RELEASE;
  if (code == VKEY_MP3) {
    // A short press of the music key acts on release; the release that ends
    // a lock or unlock press does nothing.
    if (!key_locked && !key_unlocking) queue(KEY_TYPE_PRESS, VKEY_MP3);
    else key_unlocking = 0;
  } else if (code == VKEY_POWEROFF) {
    if (!power_key_long && !key_locked && !key_unlocking) {
      std::printf("****VKEY_POWEROFF release, key_locked=%d, key_unlocking=%d\n", key_locked.load(), key_unlocking);
      int choice = (fast_time_poweroff + 1) % 7;
      fast_time_poweroff = choice;
      text_sound_insert(kFtpAnnounce[PromptLanguage()][choice]);
      FastTimePowerOff(kFtpMinutes[choice]);
    }
  }
}

// The held key's time-out elapsed: a long press, or the next auto-repeat.
// Returns the next time-out, or -1.
int onHold() {
  if (g_pending.type == KEY_TYPE_RELEASE) return -1;
  g_pending.type = KEY_TYPE_REPEAT;
  if (g_pending.code == VKEY_POWEROFF) {
    // Held 2 s: power off, locked or not.
    g_pending.type = KEY_TYPE_PRESS;
    EventDel(&pwr);
    power_key_short = 0;
    power_key_long = 1;
    queue(KEY_TYPE_PRESS, VKEY_POWEROFF);
    return -1;
  }
  if (g_pending.code == VKEY_MP3) {
    key_locked = 1;
    speak(kLocked);
    return -1;
  }
  queue(KEY_TYPE_REPEAT, g_pending.code);
  return CfgKeyDelay;
}

void onHeadphone(int value) {
  if (value) SetOutToHead();
  else SetOutToSpeak();
  KeyIdle();
}

int KeyCheck(void *arg) { return 1; }

void speakInfo(int position) {
  char text[512] = "";
  if (position == 1) SysTimeAndDateStr(GetTimeFormat(), text, sizeof text, PromptLanguage());
  else if (position == 2) BatteryLevelStr(text, sizeof text, PromptLanguage());
  else LunarInfoStr(text, sizeof text, PromptLanguage());
  text_sound_insert(text);
}

// The ESC information sequence. Returns true when this ESC was spoken here
// and goes no further.
bool escSequence(const KeyEvent &key, int64_t sincePrevious) {
  if (key_info_time < kInfoCapUs) key_info_time += std::min(sincePrevious, kInfoCapUs);
  if (key.code == VKEY_ESC) {
    int position = key_info_time < kInfoWindowUs ? key_info_count % (PromptLanguage() ? 3 : 4) : 0;
    key_info_time = 0;
    key_info_count = position + 1;
    if (position == 0) return false;
    speakInfo(position);
    return true;
  }
  if (key.code != VKEY_AUDIOEND && key.code != VKEY_EBOOKEND && key.code != VKEY_DAISYEND) {
    key_info_count = 0;
    key_info_time = 0;
  }
  return false;
}

bool ending(const KeyDistributor *d);

void KeyDistribution(KeyDistributor *d) {
  std::thread::id before = ActivitySetScreenThread(std::this_thread::get_id());
  // Start-up posts the first screen; keys wait until there is one.
  while (!ending(d) && ActivityGetNumb() == 0) {
    ActivityRunPosted();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  int64_t previous = BoardMonotonicUs();
  while (!ending(d)) {
    KeyIdle();
    KeyEvent key;
    int read = KeyBufferRead(gKeyBuffer, &key);
    // What other threads posted happened before this key: it runs first.
    ActivityRunPosted();
    if (read != 0) continue;
    int64_t now = BoardMonotonicUs();
    int64_t since = now - previous;
    previous = now;
    const KeyHooks *hooks = g_hooks.load();
    if (hooks && hooks->pressed) hooks->pressed();
    // A key taken by a higher layer (the sleep timer's extension) or spoken
    // by the key describer does nothing more.
    if ((hooks && hooks->take && hooks->take(&key)) || KeyHelpTake(&key)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (escSequence(key, since)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    // A re-queued key is a request to close while screens remain above the
    // bottom one; the bottom screen gets the real key.
    int n = ActivityGetNumb();
    KeyEvent handed = key;
    if (n >= 2 && key.type == KEY_TYPE_REDO) handed.code = VKEY_POWEROFF;
    int ret = ActivityKeyCallBack(&handed);
    if (CfgDebugKey) LOGD("n=%d, key.code=%d, key.type=%d, ret = %d\n", n, handed.code, handed.type, ret);
    if (ret == 1) {
      if (key.code == VKEY_VOL_) {
        if (MainVolume > 0) VolumeDec();
      } else if (key.code == VKEY_VOLADD) {
        VolumeAdd();
      } else if (passesDown(key.code) && n >= 2) {
        KeyEvent redo{KEY_TYPE_REDO, key.code};
        if (KeyBufferWriteToHeadNoWait(gKeyBuffer, &redo) != 0) LOGE("lost redo key: code=%d\n", key.code);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ActivitySetScreenThread(before);
}

void stopDistribution() {
  DeInitKeyDistribution(g_distribution);
  g_distribution = nullptr;
}

// Sets a volume step; speaks "volume N" when asked.
int setVolume(int *var, int step, bool say) {
  if (sound_setvol(0, step, -1) != 0) {
    LOGW("sound_setvol return error: volume = %d", step);
    return -1;
  }
  *var = step;
  if (say) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d", kVolumeWord[PromptLanguage()], step);
    text_sound_insert(text);
  }
  return 0;
}

}  // namespace

// A distribution thread. Only one runs at a time: a second one is started by
// a blocking dialog while the first waits inside that dialog's caller, so the
// distribution state (the ESC sequence) is never shared by two at once.
struct KeyDistributor {
  std::thread thread;
  std::atomic<bool> stop{false};
  const std::atomic<bool> *until = nullptr;
};

namespace {
bool ending(const KeyDistributor *d) { return d->stop || (d->until && *d->until); }
}  // namespace

KeyDistributor *SysInitKeyDstr(const std::atomic<bool> *until) {
  KeyDistributor *d = new (std::nothrow) KeyDistributor;
  if (!d) return nullptr;
  d->until = until;
  try {
    d->thread = std::thread(KeyDistribution, d);
  } catch (const std::system_error &) {
    delete d;
    return nullptr;
  }
  return d;
}

void DeInitKeyDistribution(KeyDistributor *d) {
  if (!d) return;
  // A thread that ends by itself is not waiting for a key: no need to wake
  // it, and no key written meanwhile is refused.
  bool byItself = d->until && *d->until;
  d->stop = true;
  if (!byItself) KeyBufferSetExit(gKeyBuffer, 1);
  if (d->thread.joinable()) d->thread.join();
  if (!byItself) KeyBufferSetExit(gKeyBuffer, 0);
  delete d;
}

int KeyCallback(void *arg, int flag) {
  Event *rec = static_cast<Event *>(arg);
  if (!rec) return -1;
  int64_t now = BoardMonotonicUs();
  if (flag == EVENT_READ) {
    unsigned char ev[16];
    ssize_t n = read(rec->fd, ev, sizeof ev);
    int type, code, value;
    // Anything but one whole key event is ignored; a held key's time-out
    // goes on from where it was.
    if (n == static_cast<ssize_t>(sizeof ev) && KeyDecodeEvent(ev, 16, &type, &code, &value) == 0 &&
        type == kEvKey) {
      if (CfgDebugKey) LOGD("key: code=%d, type=%d\n", code, value);
      if (code == VKEY_HPDET) {
        onHeadphone(value);
      } else if (value == 1) {
        int t = onPress(code);
        g_deadline = t < 0 ? -1 : now + t;
      } else if (value == 0) {
        onRelease(code);
        g_deadline = -1;
      }
      // Value 2, the kernel's own auto-repeat: ignored.
    }
  } else if (flag == EVENT_TIMER) {
    int t = onHold();
    if (t < 0) {
      g_deadline = -1;
    } else {
      // Repeats keep their rhythm from the previous time-out, without
      // catching up after a stall.
      int64_t next = (g_deadline >= 0 ? g_deadline : now) + t;
      g_deadline = next > now ? next : now + t;
    }
  }
  rec->flag = EVENT_READ;
  rec->timeout = g_deadline < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, g_deadline - now));
  EventAdd(rec);
  return 0;
}

void LockEvent(int seconds) { armTimer(&pwr, seconds * 1000000, LockCallback); }

int LockCallback(void *arg, int flag) {
  if (flag == EVENT_TIMER) power_key_short = 0;
  return 0;
}

void FastTimePowerOff(int minutes) {
  EventDel(&poff);
  if (minutes < 1) return;
  gFTPminutes = minutes;
  armTimer(&poff, kMinuteUs, FTPCallback);
}

int FTPCallback(void *arg, int flag) {
  std::printf("FTPCallback\n");
  if (flag != EVENT_TIMER) return 0;
  gFTPminutes--;
  std::printf("gFTPminutes = %d\n", gFTPminutes);
  if (gFTPminutes > 0) {
    armTimer(&poff, kMinuteUs, FTPCallback);
    if (gFTPminutes == 1) speak(kLastMinute);
  } else {
    queue(KEY_TYPE_PRESS, VKEY_POWEROFF);
  }
  return 0;
}

int KeyIsLocked(void) { return key_locked; }

int KeyFastPowerOffChoice(void) { return fast_time_poweroff; }

void KeyReaderReset(void) {
  EventDel(&pwr);
  EventDel(&poff);
  g_pending = {KEY_TYPE_RELEASE, 0};
  g_deadline = -1;
  key_locked = 0;
  key_unlocking = 0;
  power_key_short = 0;
  power_key_long = 0;
  fast_time_poweroff = 0;
  gFTPminutes = 0;
}

int VolumeAdd(void) { return setVolume(&MainVolume, std::min(25, MainVolume + 1), true); }

int VolumeDec(void) { return MainVolume <= 0 ? 0 : setVolume(&MainVolume, MainVolume - 1, true); }

int VolumeAddNoTts(void) { return setVolume(&MainVolume, std::min(25, MainVolume + 1), false); }

int VolumeDecNoTts(void) { return MainVolume <= 0 ? 0 : setVolume(&MainVolume, MainVolume - 1, false); }

int VolumeAddMedia(void) { return setVolume(&PromptVolume, std::min(25, PromptVolume + 1), false); }

int VolumeDecMedia(void) { return PromptVolume <= 0 ? 0 : setVolume(&PromptVolume, PromptVolume - 1, false); }

void KeySetHooks(const KeyHooks *hooks) { g_hooks.store(hooks); }

void KeyIdle(void) {
  if (const KeyHooks *hooks = g_hooks.load(); hooks && hooks->idle) hooks->idle();
}

int InitKey(void) {
  KeyReaderReset();
  key_info_time = 0;
  key_info_count = 0;
  gKeyBuffer = KeyBufferInit(CfgMaxKeyBufferLength);
  if (!gKeyBuffer) {
    LOGE("KeyBufferInit return error!\n");
    return -1;
  }
  g_distribution = SysInitKeyDstr(nullptr);
  if (!g_distribution) {
    LOGE("key can't creat thread\n");
    LOGE("InitKeyDistribution return error!\n");
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    return -1;
  }
  std::printf("ContinueLastFile = %d\n", ContinueLastFile);
  if (ContinueLastFile) {
    // The file browser reopens the last file as if OK had been pressed.
    queue(KEY_TYPE_PRESS, VKEY_OK);
    ContinueLastFile = 0;
  }
  if (InitVkey(&g_vkey) != 0) {
    LOGE("InitVkey return error!\n");
    stopDistribution();
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    return -1;
  }
  int fd = BoardInputOpen();
  if (fd < 0) {
    LOGE("key can not open device: %s\n", "/dev/input/event0");
    DeInitVkey(&g_vkey);
    stopDistribution();
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    return -1;
  }
  EventDel(&g_keyEvent);
  g_keyEvent.fd = fd;
  g_keyEvent.flag = EVENT_READ;
  g_keyEvent.timeout = -1;
  g_keyEvent.callback = KeyCallback;
  g_keyEvent.check = KeyCheck;
  g_keyEvent.arg = &g_keyEvent;
  EventAdd(&g_keyEvent);
  InitSdcardStatus();
  InitBatStatus();
  return 0;
}

void DeInitKey(void) {
  DeinitBatStatus();
  EventDel(&g_keyEvent);
  EventDel(&pwr);
  EventDel(&poff);
  if (g_keyEvent.fd >= 0) BoardInputClose(g_keyEvent.fd);
  g_keyEvent.fd = -1;
  DeInitVkey(&g_vkey);
  stopDistribution();
  KeyBufferDeInit(gKeyBuffer);
  gKeyBuffer = nullptr;
}
