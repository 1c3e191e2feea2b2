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

struct KeyName {
  int code;
  const char *name[2];
};
const KeyName kNames[] = {
    {VKEY_BACK, {"返回键", "BACK"}},      {VKEY_VOL_, {"音量减键", "volume down"}},
    {VKEY_ESC, {"信息键", "ESC"}},        {VKEY_RECORD, {"录音键", "RECORD"}},
    {VKEY_UP, {"上键", "UP"}},            {VKEY_DOWN, {"下键", "DOWN"}},
    {VKEY_LEFT, {"左键", "LEFT"}},        {VKEY_RIGHT, {"右键", "RIGHT"}},
    {VKEY_OK, {"确认键", "OK"}},          {VKEY_MARK, {"书签键", "MARK"}},
    {VKEY_VOLADD, {"音量加键", "volume up"}}, {VKEY_MP3, {"音乐键", "music key"}},
    {VKEY_FM, {"收音机键", "radio key"}},
};

// What a key does: screen null is every screen's default.
struct KeyUse {
  const char *screen;
  int code;
  const char *text[2];
};
const KeyUse kUses[] = {
    {"FileBrower", VKEY_UP, {"上一个文件", "previous file"}},
    {"FileBrower", VKEY_DOWN, {"下一个文件", "next file"}},
    {"FileBrower", VKEY_LEFT, {"向前跳十个文件", "ten files back"}},
    {"FileBrower", VKEY_RIGHT, {"向后跳十个文件", "ten files on"}},
    {"FileBrower", VKEY_OK, {"打开文件或文件夹", "open the file or folder"}},
    {"FileBrower", VKEY_BACK, {"回到上一级文件夹", "up to the folder above"}},
    {"FileBrower", VKEY_ESC, {"文件信息，再按报时间、电量", "about the file; again: time, date and battery"}},
    {"Audio", VKEY_UP, {"上一首", "previous track"}},
    {"Audio", VKEY_DOWN, {"下一首", "next track"}},
    {"Audio", VKEY_LEFT, {"快退", "rewind a step"}},
    {"Audio", VKEY_RIGHT, {"快进", "forward a step"}},
    {"Audio", VKEY_OK, {"暂停或继续", "pause or play"}},
    {"Audio", VKEY_ESC, {"播放位置和剩余时间", "where you are and the time left"}},
    {"Audio", VKEY_BACK, {"停止并回到文件列表", "stop and go back to the files"}},
    {"Daisy", VKEY_UP, {"上一个跳转单位", "previous navigation unit"}},
    {"Daisy", VKEY_DOWN, {"下一个跳转单位", "next navigation unit"}},
    {"Daisy", VKEY_LEFT, {"按单位向后跳", "back by the unit"}},
    {"Daisy", VKEY_RIGHT, {"按单位向前跳", "forward by the unit"}},
    {"Daisy", VKEY_OK, {"暂停或继续", "pause or play"}},
    {"Daisy", VKEY_ESC, {"书的信息和剩余时间", "about the book and the time left"}},
    {"Daisy", VKEY_BACK, {"关闭书回到文件列表", "close the book"}},
    {"EBOOK", VKEY_UP, {"上一个翻页单位", "previous reading unit"}},
    {"EBOOK", VKEY_DOWN, {"下一个翻页单位", "next reading unit"}},
    {"EBOOK", VKEY_LEFT, {"按单位向后翻", "back by the unit"}},
    {"EBOOK", VKEY_RIGHT, {"按单位向前翻", "forward by the unit"}},
    {"EBOOK", VKEY_OK, {"暂停或继续", "pause or read on"}},
    {"EBOOK", VKEY_ESC, {"阅读位置和剩余时间", "where you are and the time left"}},
    {"EBOOK", VKEY_BACK, {"关闭书回到文件列表", "close the book"}},
    {"Radio", VKEY_LEFT, {"向下搜台", "search down"}},
    {"Radio", VKEY_RIGHT, {"向上搜台", "search up"}},
    {"Radio", VKEY_BACK, {"关闭收音机", "leave the radio"}},
    {nullptr, VKEY_UP, {"上一项", "previous"}},
    {nullptr, VKEY_DOWN, {"下一项", "next"}},
    {nullptr, VKEY_LEFT, {"向后", "back"}},
    {nullptr, VKEY_RIGHT, {"向前", "forward"}},
    {nullptr, VKEY_OK, {"确认", "confirm"}},
    {nullptr, VKEY_BACK, {"返回", "go back"}},
    {nullptr, VKEY_ESC, {"重复，再按报时间、日期和电量", "repeat; again: time, date and battery"}},
    {nullptr, VKEY_VOL_, {"调小音量", "softer"}},
    {nullptr, VKEY_VOLADD, {"调大音量", "louder"}},
    {nullptr, VKEY_RECORD, {"录音", "record"}},
    {nullptr, VKEY_MARK, {"书签", "bookmarks"}},
    {nullptr, VKEY_MP3, {"音乐，按住两秒锁键", "music; held two seconds: lock the keys"}},
    {nullptr, VKEY_FM, {"收音机", "radio"}},
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
  EventDel(&g_quiet);
  g_quiet.flag = EVENT_TIMER;
  g_quiet.timeout = kQuietUs;
  g_quiet.callback = quietCallback;
  g_quiet.arg = &g_quiet;
  EventAdd(&g_quiet);
}

const char *nameOf(int code) {
  for (const KeyName &k : kNames)
    if (k.code == code) return k.name[PromptLanguage()];
  return nullptr;
}

const char *useOf(const char *screen, int code) {
  for (const KeyUse &u : kUses)
    if (u.code == code && (!u.screen || (screen && std::strncmp(screen, u.screen, std::strlen(u.screen)) == 0)))
      return u.text[PromptLanguage()];
  return nullptr;
}

}  // namespace

int KeyDescribeFunc(void *, int, int) {
  g_running = true;
  armQuiet();
  // After the menu has spoken its item again, which would cut this off.
  ActivityPost([] { speak(kStart); });
  return 0;
}

int KeyHelpRunning(void) { return g_running ? 1 : 0; }

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
  const char *name = nameOf(key->code);
  if (!name || key->type == KEY_TYPE_REDO) return false;
  armQuiet();
  if (key->type != KEY_TYPE_PRESS) return true;  // a held key says it once
  // The menu that started it stands over the screen whose keys are meant.
  Activity *top = GetCurrentActivity();
  if (Activity *owner = MenuOwner(top)) top = owner;
  const char *use = useOf(top ? top->name : nullptr, key->code);
  char text[256];
  std::snprintf(text, sizeof text, "%s: %s", name, use ? use : "");
  text_sound_stop();
  text_sound_insert(text);
  return true;
}
