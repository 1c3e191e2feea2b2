// The menu engine over small menus of its own: browsing and masks, what OK
// does with set functions, closing, the two top-level menus, and the
// registry of bound set functions.
#include "core/runtime/globals.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"
#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char *const kDone[2] = {"done", "done-en"};
const char *const kFail[2] = {"fail", "fail-en"};
const MenuValue kFour[] = {{{"a", "A"}, 10}, {{"b", "B"}, 11}, {{"c", "C"}, 12}, {{"d", "D"}, 13}};

std::vector<std::string> g_calls;  // set functions and close callbacks, in order
int g_setResult = 0;

int recordSet(void *context, int value, int preview) {
  g_calls.push_back("set " + std::to_string(value) + (preview ? " preview" : ""));
  return g_setResult;
}
void recordClose(void *) { g_calls.push_back("close"); }

MenuItem numberItem(int lo, int hi, int *var) {
  return MenuItem{{MENU_ITEM | MENU_HAS_VALUE, {"num", "num"}}, 1, lo, hi, var, ~uint64_t{0}, nullptr, recordSet,
                  kDone, kFail, nullptr, nullptr};
}
MenuItem namedItem(int *var, int flags = MENU_ITEM | MENU_HAS_VALUE) {
  return MenuItem{{flags, {"named", "named"}}, 1, 0, 3, var, ~uint64_t{0}, kFour, recordSet,
                  kDone, kFail, nullptr, nullptr};
}
MenuItem commandItem(const char *name, int flags = MENU_ITEM | MENU_COMMAND) {
  return MenuItem{{flags, {name, name}}, 1, 0, 0, nullptr, ~uint64_t{0}, nullptr, recordSet, nullptr, kFail,
                  nullptr, nullptr};
}

class MenuEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    MenuInit();
    g_calls.clear();
    g_setResult = 0;
    MLanguageSetting = 0;
    bottom = {"Bottom", 1, nullptr, nullptr, nullptr, 0, nullptr};
    ActivityAdd(&bottom);
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    MenuResetState();
  }
  // Opens menu over the bottom screen and speaks it.
  Activity *open(MenuNode *menu, int closeAfterSet = 0, void (*onClose)(void *) = nullptr) {
    Activity *m = MenuCreate(&bottom, menu, nullptr, onClose, &bottom, closeAfterSet);
    if (m) ActivitySetActive(m, 1);
    return m;
  }
  int key(int code) { return PressKey(code); }
  std::string lastSaid() { return LastSpoken(); }
  TempRoot root;
  Activity bottom;
};

TEST_F(MenuEngine, NumbersWrapAtBothEnds) {
  int v = 3;
  MenuItem it = numberItem(0, 3, &v);
  MenuEntry *children[] = {&it, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 1, 0, 0, children};
  ASSERT_NE(open(&menu), nullptr);
  EXPECT_EQ(lastSaid(), "num, 3");
  key(VKEY_RIGHT);
  EXPECT_EQ(lastSaid(), "num, 0");
  key(VKEY_LEFT);
  EXPECT_EQ(lastSaid(), "num, 3");
  key(VKEY_LEFT);
  EXPECT_EQ(lastSaid(), "num, 2");
  EXPECT_EQ(v, 3);  // browsing alone stores nothing
  key(VKEY_BACK);
  EXPECT_EQ(v, 3);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(MenuEngine, MaskSkipsValuesBothWays) {
  int v = 0;
  MenuItem it = namedItem(&v);
  ASSERT_EQ(ItemSetBitmask(&it, 0b0101), 0);
  MenuEntry *children[] = {&it, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 1, 0, 0, children};
  open(&menu);
  struct Step {
    int key;
    const char *said;
  } steps[] = {{VKEY_RIGHT, "named, c"}, {VKEY_RIGHT, "named, a"}, {VKEY_LEFT, "named, c"}, {VKEY_LEFT, "named, a"}};
  for (const Step &s : steps) {
    key(s.key);
    EXPECT_EQ(lastSaid(), s.said);
  }
  key(VKEY_BACK);
}

TEST_F(MenuEngine, BitmaskMovesTheStoredValue) {
  int v = 1;
  MenuItem it = namedItem(&v);
  EXPECT_EQ(ItemSetBitmask(&it, 0b0010), 0);  // only the current value: kept
  EXPECT_EQ(v, 1);
  EXPECT_EQ(ItemSetBitmask(&it, 0), -2);  // nothing allowed: refused
  EXPECT_EQ(ItemSetBitmask(&it, 0b10000), -2);  // only beyond the range
  EXPECT_EQ(it.bitmask, 0b0010u);
  EXPECT_EQ(ItemSetBitmask(&it, 0b1001), 0);  // next allowed above
  EXPECT_EQ(v, 3);
  EXPECT_EQ(ItemSetBitmask(&it, 0b0011), 0);  // none above: lowest allowed
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ItemSetBitmask(nullptr, 1), -1);
}

TEST_F(MenuEngine, SetValueAndStepRespectRangeAndMask) {
  int v = 0;
  MenuItem it = namedItem(&v);
  ItemSetBitmask(&it, 0b1011);
  struct Case {
    int value, result, stored;
  } cases[] = {{3, 0, 3}, {2, -1, 3}, {4, -1, 3}, {-1, -1, 3}, {32, -1, 3}, {1, 0, 1}};
  for (const Case &c : cases) {
    EXPECT_EQ(ItemSetValue(&it, c.value), c.result) << c.value;
    EXPECT_EQ(v, c.stored) << c.value;
  }
  ItemChgVal(&it, 1, 0);  // 1 -> 3, skipping 2
  EXPECT_EQ(v, 3);
  ItemChgVal(&it, 1, 0);  // at the top without wrapping: stays
  EXPECT_EQ(v, 3);
  ItemChgVal(&it, 1, 1);
  EXPECT_EQ(v, 0);
  // The music speed has 41 values: the widened mask reaches all of them.
  EXPECT_EQ(ItemSetValue(&AudioSpeed, 40), 0);
  EXPECT_EQ(MenuItemGetValue(&AudioSpeed), 300);
  ItemSetBitmask(&AudioSpeed, uint64_t{1} << 35);
  EXPECT_EQ(MAudioSpeed, 35);
  EXPECT_EQ(ItemSetValue(&AudioSpeed, 40), -1);
}

TEST_F(MenuEngine, ValueNamesAndMappedValues) {
  MAudioSpeed = 10;
  const char *name = nullptr;
  int value = -1;
  ASSERT_EQ(ItemGetValue(&SAudioSpeed, &name, &value), 0);
  EXPECT_STREQ(name, "正常");
  EXPECT_EQ(value, 0);
  MLanguageSetting = 1;
  ItemGetValue(&SAudioSpeed, &name, nullptr);
  EXPECT_STREQ(name, "Normal");
  MTonePitch = -4;
  ASSERT_EQ(ItemGetValue(&TonePitch, &name, &value), 0);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(value, -4);
  EXPECT_EQ(ItemGetValue(&Delete, &name, &value), -1);  // a command has no value
}

TEST_F(MenuEngine, OkCommitsThroughTheSetFunction) {
  int v = 0;
  MenuItem it = namedItem(&v);
  MenuEntry *children[] = {&it, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 1, 0, 0, children};
  open(&menu);
  key(VKEY_RIGHT);
  size_t before = TranscriptLines().size();
  key(VKEY_OK);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"set 11"}));  // the mapped value
  EXPECT_EQ(v, 1);
  EXPECT_EQ(TranscriptSince(before), (std::vector<std::string>{"done", "named, b"}));
  // A failing set function: the fail text, the value stays, the menu stays.
  g_setResult = -1;
  key(VKEY_RIGHT);
  before = TranscriptLines().size();
  key(VKEY_OK);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(TranscriptSince(before), (std::vector<std::string>{"fail", "named, c"}));
  key(VKEY_BACK);
}

TEST_F(MenuEngine, FailingCommandSpeaksFailTextAndStaysOpen) {
  MenuItem cmd = commandItem("cmd");
  MenuEntry *children[] = {&cmd, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 1, 0, 0, children};
  Activity *m = open(&menu, 1);
  g_setResult = -1;
  size_t before = TranscriptLines().size();
  EXPECT_EQ(key(VKEY_OK), 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"set 0"}));
  EXPECT_EQ(TranscriptSince(before), (std::vector<std::string>{"fail", "cmd"}));
  EXPECT_EQ(GetCurrentActivity(), m);
  // LEFT and RIGHT do nothing on a command, not even speak.
  before = TranscriptLines().size();
  key(VKEY_RIGHT);
  EXPECT_TRUE(TranscriptSince(before).empty());
  key(VKEY_BACK);
}

TEST_F(MenuEngine, ClosingCallsTheCloseCallbackUnlessTheItemSaysNot) {
  MenuItem jump = commandItem("jump", MENU_ITEM | MENU_COMMAND | MENU_NO_CLOSE_CB);
  MenuItem cmd = commandItem("cmd");
  MenuEntry *children[] = {&jump, &cmd, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 2, 0, 0, children};
  struct Case {
    int current, key, result;
    std::vector<std::string> calls;
  } cases[] = {
      {0, VKEY_OK, 0, {"set 0"}},                // jump: closes without the callback
      {1, VKEY_OK, 0, {"set 0", "close"}},       // closes after a successful set
      {0, VKEY_BACK, 0, {"close"}},              // BACK always calls it
      {0, VKEY_POWEROFF, 1, {}},                 // POWEROFF passes on, not on a jump item
      {1, VKEY_POWEROFF, 1, {"close"}},
  };
  for (const Case &c : cases) {
    g_calls.clear();
    menu.current = c.current;
    ASSERT_NE(open(&menu, 1, recordClose), nullptr);
    EXPECT_EQ(key(c.key), c.result);
    EXPECT_EQ(g_calls, c.calls) << "current " << c.current << " key " << c.key;
    EXPECT_EQ(GetCurrentActivity(), &bottom);
  }
}

TEST_F(MenuEngine, InvisibleChildrenAreSkipped) {
  MenuItem a = commandItem("a"), b = commandItem("b"), c = commandItem("c");
  MenuEntry *children[] = {&a, &b, &c, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 3, 1, 0, children};
  b.visible = 0;
  open(&menu);
  EXPECT_EQ(lastSaid(), "c");  // the current child became invisible: the next one
  key(VKEY_DOWN);
  EXPECT_EQ(lastSaid(), "a");
  key(VKEY_UP);
  EXPECT_EQ(lastSaid(), "c");
  key(VKEY_BACK);
  a.visible = c.visible = 0;
  MenuNode outer{{MENU_NODE, {"o", "o"}}, 1, 0, 0, nullptr};
  MenuEntry *outerChildren[] = {&menu, nullptr};
  outer.children = outerChildren;
  EXPECT_EQ(MenuVisable(&outer), 0);
  EXPECT_EQ(open(&menu), nullptr);  // nothing to show
  EXPECT_EQ(MenuCreate(nullptr, &menu, nullptr, nullptr, nullptr, 0), nullptr);
}

TEST_F(MenuEngine, ToggleAdvancesAfterEachCommit) {
  MenuBindFunc("AudioMarkAddRepeat", recordSet);
  MenuEntry *children[] = {&AudioABrepeat, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 1, 0, 0, children};
  open(&menu);
  EXPECT_EQ(lastSaid(), "AB复唱, 标记复唱开始");
  key(VKEY_OK);
  EXPECT_EQ(lastSaid(), "AB复唱, 标记复唱结束");
  key(VKEY_OK);
  key(VKEY_OK);
  EXPECT_EQ(lastSaid(), "AB复唱, 标记复唱开始");
  EXPECT_EQ(g_calls, (std::vector<std::string>{"set 0", "set 1", "set 2"}));
  key(VKEY_BACK);
  MenuBindFunc("AudioMarkAddRepeat", nullptr);
}

TEST_F(MenuEngine, PreviewSpeaksInTheBrowsedVoiceAndBackKeepsTheBook) {
  int calls = 0;
  static int *callsPtr;
  callsPtr = &calls;
  MenuBindParamFunc("EbookSetParam", [](void *, int, int) { return ++*callsPtr, 0; });
  int voiceBefore = TextSoundGetParam(TTS_PARAM_ROLE);
  Activity *m = MenuCreate(&bottom, &TextBookMenu, nullptr, nullptr, &bottom, 1);
  ASSERT_NE(m, nullptr);
  ActivitySetActive(m, 1);
  key(VKEY_DOWN);  // the voice
  key(VKEY_RIGHT);
  EXPECT_EQ(lastSaid(), "朗读方式, 国英男声");
  // Heard in voice 1, (4, 17), on the prompt voice.
  EXPECT_EQ(TranscriptLines("param").back(), "11=4 preview");
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_ROLE), 4);
  key(VKEY_BACK);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(MReadRole, 0);
  text_sound_insert("next prompt");  // puts the prompt voice back
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_ROLE), voiceBefore);
  MenuBindParamFunc("EbookSetParam", nullptr);
}

TEST_F(MenuEngine, BoundFunctionsAndTheirAbsence) {
  // Unbound: a value item still stores, a command does nothing.
  MAutoShutDown = 10;
  MenuEntry *children[] = {&AutoShutDown, &Alarm, nullptr};
  MenuNode menu{{MENU_NODE, {"m", "m"}}, 2, 0, 0, children};
  open(&menu);
  key(VKEY_RIGHT);
  key(VKEY_OK);
  EXPECT_EQ(MAutoShutDown, 11);
  key(VKEY_DOWN);
  size_t before = TranscriptLines().size();
  key(VKEY_OK);
  EXPECT_EQ(TranscriptSince(before), (std::vector<std::string>{"闹钟"}));
  // Bound: "1 minutes" hands 120 seconds on, the command gets the context.
  static void *seen;
  ASSERT_EQ(MenuBindFunc("AutoShutDownFunc", recordSet), 0);
  ASSERT_EQ(MenuBindFunc("AlarmSettingFunc", [](void *c, int, int) { return seen = c, 0; }), 0);
  key(VKEY_OK);
  EXPECT_EQ(seen, &bottom);
  key(VKEY_UP);
  for (int i = 0; i < 7; i++) key(VKEY_RIGHT);  // 11 ... 16, 0, 1
  EXPECT_EQ(lastSaid(), "闲置关机时间, 1分钟");
  key(VKEY_OK);
  EXPECT_EQ(g_calls.back(), "set 120");
  key(VKEY_BACK);
  MenuBindFunc("AutoShutDownFunc", nullptr);
  MenuBindFunc("AlarmSettingFunc", nullptr);
  EXPECT_EQ(MenuBindFunc("", recordSet), -1);
  EXPECT_EQ(MenuBindFunc(std::string(60, 'x').c_str(), recordSet), -1);
  EXPECT_EQ(MenuFindFunc("NoSuchFunc"), nullptr);
}

TEST_F(MenuEngine, TopLevelMenuSwitchesAndAdvancesAfterACommand) {
  is_menu = 0;
  Activity *m = MenuCreate1(&bottom, &SystemMenu, nullptr, recordClose, &bottom, 0);
  ActivitySetActive(m, 1);
  EXPECT_EQ(lastSaid(), "系统功能");
  key(VKEY_ESC);
  EXPECT_EQ(lastSaid(), "系统功能");
  key(VKEY_MENU);
  EXPECT_EQ(is_menu, 1);
  EXPECT_EQ(lastSaid(), "删除");
  EXPECT_EQ(g_calls, (std::vector<std::string>{"close"}));
  key(VKEY_MENU);
  EXPECT_EQ(is_menu, 0);
  EXPECT_EQ(lastSaid(), "系统功能");
  // A successful command in the system menu moves on to the next entry.
  MenuBindFunc("VoiceRemindFunc", recordSet);
  for (int i = 0; i < 5; i++) key(VKEY_DOWN);
  EXPECT_EQ(lastSaid(), "语音提醒");
  key(VKEY_OK);
  EXPECT_EQ(lastSaid(), "语音备忘录");
  MenuBindFunc("VoiceRemindFunc", nullptr);
  g_calls.clear();
  key(VKEY_BACK);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"close"}));
  EXPECT_EQ(GetCurrentActivity(), &bottom);
}

}  // namespace
