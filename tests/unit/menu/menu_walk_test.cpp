// Replays the golden walks of the whole system menu, with every item shown
// and every value allowed, against the real tree and engine, and compares
// what was spoken line by line. The walks are generated from the menu
// tables by tools/menuwalk; the start-up walks run end to end as stories.
#include "core/runtime/activity.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "speech/text_sound.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
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
  Walk w = readWalk(std::string(TB_SOURCE_DIR) + "/tests/unit/menu/walks/" + GetParam());
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

}  // namespace
