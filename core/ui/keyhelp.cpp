// The key describer (see keyhelp.h). What a key does is looked up by the
// name of the screen on top (under the menu that started the describer),
// then in the table of what every screen does with it.
#include "core/ui/keyhelp.h"

#include "board/board.h"
#include "core/runtime/activity.h"
#include "core/runtime/globals.h"
#include "core/runtime/loop.h"
#include "core/ui/menu.h"
#include "speech/text_sound.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kQuietUs = 10000000;  // ten seconds without a key end it

const char *const kStart[2] = {"按键说明：按任意键听它的作用，按菜单键退出",
                               "Key describer: press a key to hear what it does, MENU to leave"};
const char *const kEnd[2] = {"按键说明已关闭", "Key describer off"};

// The keys described, in the order of the tables below.
constexpr int kKeys[] = {VKEY_UP,     VKEY_DOWN,  VKEY_LEFT,   VKEY_RIGHT, VKEY_OK, VKEY_BACK, VKEY_ESC,
                         VKEY_VOLADD, VKEY_VOL_, VKEY_RECORD, VKEY_MARK,  VKEY_MP3, VKEY_FM};
constexpr int kKeyCount = sizeof kKeys / sizeof kKeys[0];
constexpr int kScreenKeys = 7;  // the keys a screen has its own use for: UP .. ESC

const char *const kNames[kKeyCount][2] = {
    {"上键", "UP"}, {"下键", "DOWN"}, {"左键", "LEFT"}, {"右键", "RIGHT"}, {"确认键", "OK"}, {"返回键", "BACK"},
    {"信息键", "ESC"}, {"音量加键", "volume up"}, {"音量减键", "volume down"}, {"录音键", "RECORD"},
    {"书签键", "MARK"}, {"音乐键", "music key"}, {"收音机键", "radio key"},
};

// What a key does on any screen that has no use of its own for it.
const char *const kDefaultUse[kKeyCount][2] = {
    {"上一项", "previous"}, {"下一项", "next"}, {"向后", "back"}, {"向前", "forward"}, {"确认", "confirm"},
    {"返回", "go back"}, {"重复，再按报时间、日期和电量", "repeat; again: time, date and battery"},
    {"调大音量", "louder"}, {"调小音量", "softer"}, {"录音", "record"}, {"书签", "bookmarks"},
    {"音乐，按住两秒锁键", "music; held two seconds: lock the keys"}, {"收音机", "radio"},
};

// A screen's own uses of UP, DOWN, LEFT, RIGHT, OK, BACK and ESC (null:
// the default), by the screen's name.
struct ScreenUse {
  const char *screen;
  const char *text[kScreenKeys][2];
};
const ScreenUse kScreenUses[] = {
    {"FileBrower",
     {{"上一个文件", "previous file"}, {"下一个文件", "next file"}, {"向前跳十个文件", "ten files back"},
      {"向后跳十个文件", "ten files on"}, {"打开文件或文件夹", "open the file or folder"},
      {"回到上一级文件夹", "up to the folder above"},
      {"文件信息，再按报时间、电量", "about the file; again: time, date and battery"}}},
    {"Audio",
     {{"上一首", "previous track"}, {"下一首", "next track"}, {"快退", "rewind a step"}, {"快进", "forward a step"},
      {"暂停或继续", "pause or play"}, {"停止并回到文件列表", "stop and go back to the files"},
      {"播放位置和剩余时间", "where you are and the time left"}}},
    {"Daisy",
     {{"上一个跳转单位", "previous navigation unit"}, {"下一个跳转单位", "next navigation unit"},
      {"按单位向后跳", "back by the unit"}, {"按单位向前跳", "forward by the unit"}, {"暂停或继续", "pause or play"},
      {"关闭书回到文件列表", "close the book"}, {"书的信息和剩余时间", "about the book and the time left"}}},
    {"EBOOK",
     {{"上一个翻页单位", "previous reading unit"}, {"下一个翻页单位", "next reading unit"},
      {"按单位向后翻", "back by the unit"}, {"按单位向前翻", "forward by the unit"},
      {"暂停或继续", "pause or read on"}, {"关闭书回到文件列表", "close the book"},
      {"阅读位置和剩余时间", "where you are and the time left"}}},
    {"Radio",
     {{nullptr, nullptr}, {nullptr, nullptr}, {"向下搜台", "search down"}, {"向上搜台", "search up"},
      {nullptr, nullptr}, {"关闭收音机", "leave the radio"}, {nullptr, nullptr}}},
};

std::atomic<bool> g_running{false};
std::atomic<int64_t> g_lastKeyUs{0};
Event g_quiet = EVENT_INIT_SELF(g_quiet);  // owned by the key thread

void speak(const char *const text[2]) { text_sound_insert(text[PromptLanguage()]); }

void stop() {
  if (g_running.exchange(false)) speak(kEnd);
}

// Main loop: ten seconds without a key end it.
int quietCallback(void *, int flag) {
  if (flag == EVENT_TIMER && BoardMonotonicUs() - g_lastKeyUs.load() >= kQuietUs - 1000) stop();
  return 0;
}

void armQuiet() {
  g_lastKeyUs = BoardMonotonicUs();
  EventArmTimer(&g_quiet, kQuietUs, quietCallback);
}

int keyIndex(int code) {
  for (int i = 0; i < kKeyCount; i++)
    if (kKeys[i] == code) return i;
  return -1;
}

const char *useOf(const char *screen, int key) {
  const int lg = PromptLanguage();
  for (const ScreenUse &u : kScreenUses)
    if (key < kScreenKeys && screen && std::strcmp(screen, u.screen) == 0 && u.text[key][lg]) return u.text[key][lg];
  return kDefaultUse[key][lg];
}

}  // namespace

int KeyDescribeFunc(void *, int, int) {
  g_running = true;
  armQuiet();
  // After the menu has spoken its item again, which would cut this off.
  ActivityPost([] { speak(kStart); });
  return 0;
}

bool KeyHelpTake(const KeyEvent *key) {
  if (!g_running || !key) return false;
  // Time ran out just now and the timer has not said so yet.
  if (BoardMonotonicUs() - g_lastKeyUs.load() >= kQuietUs) {
    EventDel(&g_quiet);
    stop();
    return false;
  }
  if (key->code == VKEY_MENU && key->type == KEY_TYPE_PRESS) {
    EventDel(&g_quiet);
    stop();
    return true;
  }
  const int k = keyIndex(key->code);
  if (k < 0 || key->type == KEY_TYPE_REDO) return false;
  armQuiet();
  if (key->type != KEY_TYPE_PRESS) return true;  // a held key says it once
  // The menu that started it stands over the screen whose keys are meant.
  Activity *top = GetCurrentActivity();
  if (Activity *owner = MenuOwner(top)) top = owner;
  char text[256];
  std::snprintf(text, sizeof text, "%s: %s", kNames[k][PromptLanguage()], useOf(top ? top->name : nullptr, k));
  text_sound_stop();
  text_sound_insert(text);
  return true;
}
