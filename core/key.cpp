// The key subsystem. The reader (KeyCallback) runs as an event of the main
// loop on the input device and turns presses, holds and releases into key
// events; the distribution thread reads the buffer and hands each event to
// the top-most active screen, passing global keys down the stack.
//
// Threads: main loop (reader, its hold time-out), key distribution thread
// (every screen's key callback). The reader's state is touched only by the
// main-loop thread.
#include "core/key.h"

#include "board/board.h"
#include "core/activity.h"
#include "core/config.h"
#include "core/log.h"
#include "core/loop.h"

#include <atomic>
#include <cstdio>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "core/key.c";
constexpr int kEvKey = 1;
constexpr int kLongPressUs = 2000000;

int KeyCallback(void *arg, int flag);
int KeyCheck(void *arg) { return 1; }

Event g_keyEvent = EVENT_INIT_SELF(g_keyEvent);
KeyEvent g_pending{KEY_TYPE_RELEASE, 0};  // the key being held (main-loop thread)
int g_powerKeyLong = 0;

KeyDistributor *g_distribution = nullptr;  // the program's own, started by InitKey

void queue(int type, int code) {
  KeyEvent e{type, code};
  if (KeyBufferWriteNoWait(gKeyBuffer, &e) != 0) LOGW("KeyBufferWriteNoWait return error\n");
}

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

// A press: returns the time-out until the hold matters, or -1.
int onPress(int code) {
  switch (code) {
    case VKEY_MENU: case VKEY_BACK: case VKEY_ESC: case VKEY_RECORD: case VKEY_MARK: case VKEY_FM: case VKEY_USBOC:
      queue(KEY_TYPE_PRESS, code);
      return -1;
    case VKEY_POWEROFF:
      g_powerKeyLong = 0;
      g_pending = {KEY_TYPE_PRESS, code};
      return kLongPressUs;
    case VKEY_MP3:
      g_pending = {KEY_TYPE_PRESS, code};
      return kLongPressUs;
    default:
      if (repeats(code)) {
        queue(KEY_TYPE_PRESS, code);
        g_pending = {KEY_TYPE_PRESS, code};
        return CfgKeyFirstDelay;
      }
      LOGW("unknown key!!!!!!!!\n");
      return -1;
  }
}

void onRelease(int code) {
  g_pending.type = KEY_TYPE_RELEASE;
  if (code == VKEY_MP3) queue(KEY_TYPE_PRESS, VKEY_MP3);  // a short press of the music key acts on release
}

// The held key's time-out: a long press, or the next auto-repeat.
int onHold() {
  if (g_pending.type == KEY_TYPE_RELEASE) return -1;
  if (g_pending.code == VKEY_POWEROFF) {
    g_pending.type = KEY_TYPE_RELEASE;
    g_powerKeyLong = 1;
    queue(KEY_TYPE_PRESS, VKEY_POWEROFF);
    return -1;
  }
  if (g_pending.code == VKEY_MP3) {
    g_pending.type = KEY_TYPE_RELEASE;
    return -1;
  }
  g_pending.type = KEY_TYPE_REPEAT;
  queue(KEY_TYPE_REPEAT, g_pending.code);
  return CfgKeyDelay;
}

int KeyCallback(void *arg, int flag) {
  Event *rec = static_cast<Event *>(arg);
  int timeout = -1;
  if (flag == EVENT_READ) {
    unsigned char ev[16];
    ssize_t n = read(rec->fd, ev, sizeof ev);
    int type, code, value;
    // Anything but one whole key event is ignored and the record re-armed.
    if (KeyDecodeEvent(ev, static_cast<int>(n), &type, &code, &value) == 0 && type == kEvKey) {
      if (CfgDebugKey) LOGD("key: code=%d, type=%d\n", code, value);
      if (value == 1) timeout = onPress(code);
      else if (value == 0) onRelease(code);
      else timeout = rec->timeout;  // the kernel's own auto-repeat: ignored
    } else {
      timeout = rec->timeout;
    }
  } else if (flag == EVENT_TIMER) {
    timeout = onHold();
  }
  rec->flag = EVENT_READ;
  rec->timeout = timeout;
  EventAdd(rec);
  return 0;
}

}  // namespace

struct KeyDistributor {
  std::thread thread;
  std::atomic<bool> stop{false};
  const std::atomic<bool> *until = nullptr;
};

namespace {

bool ending(const KeyDistributor *d) { return d->stop || (d->until && *d->until); }

void KeyDistribution(KeyDistributor *d) {
  while (!ending(d) && ActivityGetNumb() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  while (!ending(d)) {
    KeyEvent key;
    if (KeyBufferRead(gKeyBuffer, &key) != 0) continue;
    int n = ActivityGetNumb();
    KeyEvent handed = key;
    if (n >= 2 && key.type == KEY_TYPE_REDO) handed.code = VKEY_POWEROFF;
    int ret = ActivityKeyCallBack(&handed);
    if (CfgDebugKey) LOGD("n=%d, key.code=%d, key.type=%d, ret = %d\n", n, handed.code, handed.type, ret);
    if (ret == 1 && passesDown(key.code) && n >= 2) {
      KeyEvent redo{KEY_TYPE_REDO, key.code};
      if (KeyBufferWriteToHeadNoWait(gKeyBuffer, &redo) != 0) LOGE("lost redo key: code=%d\n", key.code);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

int InitKey(void) {
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
    queue(KEY_TYPE_PRESS, VKEY_OK);
    ContinueLastFile = 0;
  }
  int fd = BoardInputOpen();
  if (fd < 0) {
    LOGE("key can not open device: %s\n", "/dev/input/event0");
    DeInitKey();
    return -1;
  }
  g_keyEvent.fd = fd;
  g_keyEvent.flag = EVENT_READ;
  g_keyEvent.timeout = -1;
  g_keyEvent.callback = KeyCallback;
  g_keyEvent.check = KeyCheck;
  g_keyEvent.arg = &g_keyEvent;
  EventAdd(&g_keyEvent);
  return 0;
}

void DeInitKey(void) {
  EventDel(&g_keyEvent);
  if (g_keyEvent.fd >= 0) BoardInputClose(g_keyEvent.fd);
  g_keyEvent.fd = -1;
  DeInitKeyDistribution(g_distribution);
  g_distribution = nullptr;
  KeyBufferDeInit(gKeyBuffer);
  gKeyBuffer = nullptr;
}

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
