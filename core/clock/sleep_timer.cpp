// The sleep timer (see sleep_timer.h for what it does and its threads).
//
// Its end is a wall-clock time (minutes) or the end of the section the
// player is in. A tick four times a second, posted from a main-loop timer
// to the key thread while the timer runs, compares what is left with the
// two marks: thirty seconds (the warning, after which a key extends) and
// ten seconds (the fade, a gain on the player's output falling to zero).
// At zero the position is kept by the player as it leaves on the power key.
#include "core/clock/sleep_timer.h"

#include "board/board.h"
#include "core/runtime/activity.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/runtime/xml.h"
#include "core/ui/menu.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>

namespace {

constexpr char kLogSource[] = "core/sleep_timer.c";
constexpr int kTickUs = 250000;
constexpr int64_t kWarnMs = 30000;
constexpr int64_t kFadeMs = 10000;
constexpr int kSection = -1;  // the setting's value for the end of the section

const char *const kWarning[2] = {"睡眠定时：30秒后关机，按任意键延长", "Sleep timer: power off in 30 seconds, press a key to go on"};
const char *const kExtended[2] = {"睡眠定时已延长", "Sleep timer extended"};
const char *const kEnded[2] = {"睡眠定时到", "Sleep timer"};

// Key thread.
int g_value = 0;           // what the timer counts: minutes, kSection, 0 off
int64_t g_endMs = 0;       // minutes: the wall-clock end
bool g_warned = false;     // the thirty seconds were announced
int g_skipSection = -1;    // section mode: the section whose end an extension passed over
int g_warnSection = -1;    // section mode: the section the warning was given in
const SleepTimerClient *g_client = nullptr;
void *g_context = nullptr;

std::atomic<bool> g_armed{false};
std::atomic<bool> g_ticking{false};
Event g_tick = EVENT_INIT_SELF(g_tick);

int64_t wallMs() {
  struct timeval tv;
  BoardGetTimeOfDay(&tv);
  return static_cast<int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

void speak(const char *const text[2]) { text_sound_insert(text[PromptLanguage()]); }

void tick();

// Main loop: the next tick is posted while the timer runs. Exactly one of
// this callback and startTicks links the record again (g_ticking).
int tickCallback(void *, int flag) {
  if (flag != EVENT_TIMER) return 0;
  g_ticking = false;
  if (!g_armed) return 0;
  ActivityPost(tick);
  if (!g_ticking.exchange(true)) EventArmTimer(&g_tick, kTickUs, tickCallback);
  return 0;
}

void startTicks() {
  if (!g_ticking.exchange(true)) EventArmTimer(&g_tick, kTickUs, tickCallback);
}

int sectionId() { return g_client && g_client->sectionId ? g_client->sectionId(g_context) : -1; }

// Starts counting value (minutes or kSection) from now; 0 stops.
void arm(int value) {
  g_value = value;
  g_warned = false;
  g_skipSection = -1;
  sound_fade(1000);
  g_endMs = value > 0 ? wallMs() + int64_t{value} * 60000 : 0;
  g_armed = value != 0;
  if (g_armed) startTicks();
}

// The warning was given and a key came: the period starts again.
void extend() {
  const int section = sectionId();
  arm(g_value);
  if (g_value == kSection) g_skipSection = section;
  speak(kExtended);
}

void finish() {
  g_armed = false;
  g_warned = false;
  LOGI("sleep timer ended\n");
  wait_text_sound_end(text_sound_insert(kEnded[PromptLanguage()]));
  SendVKey(VKEY_POWEROFF);
}

// Key thread, four times a second while armed.
void tick() {
  if (!g_armed) return;
  int64_t left = SleepTimerLeftMs();
  if (left < 0) return;
  if (g_value == kSection && g_warned && sectionId() != g_warnSection) left = 0;  // it ended meanwhile
  if (left > kWarnMs) {
    if (g_warned) sound_fade(1000);
    g_warned = false;
    return;
  }
  if (!g_warned) {
    g_warned = true;
    g_warnSection = sectionId();
    speak(kWarning);
  }
  if (left <= 0) {
    finish();
    return;
  }
  if (left <= kFadeMs) sound_fade(static_cast<int>(left * 1000 / kFadeMs));
}

bool keyboardKey(int code) {
  return (code >= VKEY_MENU && code <= VKEY_OK) || code == VKEY_MARK || code == VKEY_VOLADD || code == VKEY_MP3 ||
         code == VKEY_FM;
}

int load(xmlNode *first) {
  int v = 0;
  if (XxmlGetValue(first, "MSleepTimer", &v) == 0 && v >= AudioSleepTimer.minimum && v <= AudioSleepTimer.maximum)
    MSleepTimer = v;
  return 0;
}

int save(xmlNode *parent) {
  xmlNode *block = parent ? xmlNewChild(parent, nullptr, BAD_CAST "sleeptimer", nullptr) : nullptr;
  if (!block) return -1;
  char text[16];
  std::snprintf(text, sizeof text, "%d", MSleepTimer);
  xmlNewChild(block, nullptr, BAD_CAST "MSleepTimer", BAD_CAST text);
  return 0;
}

}  // namespace

const CfgBlock kSleepTimerBlock = {"sleeptimer", nullptr, load, nullptr, save, nullptr};

void SleepTimerAttach(const SleepTimerClient *client, void *context) {
  g_client = client;
  g_context = context;
  if (!g_armed) arm(MenuItemGetValue(&AudioSleepTimer));
}

void SleepTimerDetach(void *context) {
  if (context != g_context) return;
  g_client = nullptr;
  g_context = nullptr;
}

void SleepTimerSectionEnded(void *context) {
  if (context == g_context && g_armed && g_value == kSection) finish();
}

int SleepTimerFunc(void *, int value, int) {
  arm(value);
  return 0;
}

int SleepTimerTake(const KeyEvent *key) {
  if (!g_armed || !g_warned || !key || key->type != KEY_TYPE_PRESS || !keyboardKey(key->code)) return 0;
  extend();
  return 1;
}

int64_t SleepTimerLeftMs(void) {
  if (!g_armed) return -1;
  if (g_value > 0) return std::max<int64_t>(g_endMs - wallMs(), 0);
  if (!g_client || !g_client->sectionLeftMs) return -1;
  // An extension passed this section's end over: the next one counts.
  if (sectionId() == g_skipSection) return INT64_MAX;
  return g_client->sectionLeftMs(g_context);
}

int SleepTimerInit(void) { return MenuBindFunc("SleepTimerFunc", SleepTimerFunc); }
