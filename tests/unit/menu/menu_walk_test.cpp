// Replays the golden walks of the whole system menu, with every item shown
// and every value allowed, against the real tree and engine, and compares
// what was spoken line by line. The walks are generated from the menu
// tables by tools/menuwalk; the start-up walks run end to end as stories.
#include "core/clock/alarm_screens.h"
#include "support/files.h"
#include "core/runtime/activity.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "speech/text_sound.h"
#include "core/clock/reminder.h"
#include "core/clock/systime.h"
#include "record/record.h"
#include "toolbox/toolbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The bottom screen: stands for the file browser, which opens the system
// menu with MENU and speaks its one file.
Activity g_bottom;

int bottomShow(Activity *) {
  text_sound_insert("book.txt");
  return 0;
}
int bottomKey(Activity *a, const KeyEvent *k) {
  if (k->code != VKEY_MENU) return 1;
  is_menu = 0;
  Activity *m = MenuCreate1(a, &SystemMenu, nullptr, nullptr, a, 0);
  if (m) ActivitySetActive(m, 1);
  return 0;
}

struct Walk {
  std::vector<int> keys;
  std::vector<std::string> said;  // in order, over all keys
};

Walk readWalk(const std::string &path) {
  static const std::map<std::string, int> codes = {{"MENU", VKEY_MENU}, {"BACK", VKEY_BACK}, {"UP", VKEY_UP},
                                                   {"DOWN", VKEY_DOWN}, {"LEFT", VKEY_LEFT}, {"RIGHT", VKEY_RIGHT},
                                                   {"OK", VKEY_OK}};
  Walk w;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("key ", 0) == 0) {
      w.keys.push_back(codes.at(line.substr(4)));
    } else if (line.rfind("expect next \"", 0) == 0 && line.size() > 14 && line.back() == '"') {
      w.said.push_back(line.substr(13, line.size() - 14));
    }
  }
  return w;
}

class MenuWalk : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    MenuResetState();
    for (MenuItem *it : {&CancelTest, &FormatSd, &FormatUsbdisk, &SendToSd, &SendToEmmc}) ItemSetVisable(it, 1);
    g_bottom = {"Bottom", 0, bottomKey, bottomShow, nullptr, 0, nullptr};
    ASSERT_EQ(ActivityAdd(&g_bottom), 0);
    ActivitySetActive(&g_bottom, 1);
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    MenuResetState();
  }
  TempRoot root;
};

TEST_P(MenuWalk, SpeaksEveryItemAndValue) {
  Walk w = readWalk(SourcePath("/tests/unit/menu/walks/") + GetParam());
  ASSERT_GT(w.keys.size(), 300u);
  size_t before = TranscriptLines().size();
  for (int code : w.keys) {
    KeyEvent k{KEY_TYPE_PRESS, code};
    ActivityKeyCallBack(&k);
  }
  std::vector<std::string> heard = TranscriptSince(before);
  for (size_t i = 0; i < w.said.size() && i < heard.size(); i++)
    ASSERT_EQ(heard[i], w.said[i]) << "line " << i;
  EXPECT_EQ(heard.size(), w.said.size());
  // Every menu was closed again: only the bottom screen is left.
  EXPECT_EQ(ActivityGetNumb(), 1);
}

INSTANTIATE_TEST_SUITE_P(Languages, MenuWalk, ::testing::Values("all_zh.walk", "all_en.walk"));

// ---- OK on every command -------------------------------------------------

// Commands whose OK needs what only the running player has: a confirmation
// box on its own key thread (factory reset and format: factory_reset.story,
// format.story) or the file browser's selection (the file menu:
// browser_copy_to_card.story, browser_data_safety.story), or speaks from the
// key thread's posted work (the key describer: key_describer.story).
// By Chinese name or bound action.
const std::set<std::string> kCheckedByStories = {"恢复出厂设置",  "格式化内存卡",  "格式化 SD 卡", "格式化 U 盘",
                                                 "MenuDeleteFile", "MenuSendTo",    "MenuCopyFile", "MenuCutFile",
                                                 "MenuPasteFile", "按键说明"};

// The bindings the player makes at start-up for the system menu's commands.
void bindActions() {
  AlarmScreensInit();
  ToolboxInit();
  VoiceMemoInit();
  InitVoiceRemind();
  SysScreensInit();
}

// Presses OK on every command of menu and its submenus, each time in a
// fresh menu screen over the bottom one, and collects the commands whose OK
// was not heard (nothing said but the menu's own line again).
void pressEveryCommand(MenuNode *menu, std::vector<std::string> *silent) {
  for (int i = 0; i < menu->count; i++) {
    MenuEntry *e = menu->children[i];
    if (e->flags & MENU_NODE) {
      pressEveryCommand(static_cast<MenuNode *>(e), silent);
      continue;
    }
    auto *item = static_cast<MenuItem *>(e);
    if (!(item->flags & MENU_COMMAND) || kCheckedByStories.count(item->name[0]) ||
        (item->bound && kCheckedByStories.count(item->bound)))
      continue;
    menu->current = i;
    Activity *m = MenuCreate(&g_bottom, menu, nullptr, nullptr, &g_bottom, 0);
    ASSERT_NE(m, nullptr) << item->name[0];
    ActivitySetActive(m, 1);
    size_t before = TranscriptLines().size();
    KeyEvent ok{KEY_TYPE_PRESS, VKEY_OK};
    ActivityKeyCallBack(&ok);
    bool heard = false;
    for (const std::string &line : TranscriptSince(before)) heard = heard || line != item->name[0];
    if (!heard) silent->push_back(item->name[0]);
    // BACK out of whatever the command opened, then out of the menu.
    KeyEvent back{KEY_TYPE_PRESS, VKEY_BACK};
    for (int k = 0; k < 4 && GetCurrentActivity() != &g_bottom; k++) ActivityKeyCallBack(&back);
    ASSERT_EQ(GetCurrentActivity(), &g_bottom) << item->name[0];
  }
}

TEST_F(MenuWalk, EveryCommandIsHeard) {
  bindActions();
  std::vector<std::string> silent;
  pressEveryCommand(&SystemMenu, &silent);
  EXPECT_TRUE(silent.empty()) << "silent: " << ::testing::PrintToString(silent);
}

}  // namespace
