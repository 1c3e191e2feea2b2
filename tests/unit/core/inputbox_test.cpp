// The numeric input box: what each key makes of the text, and what the
// opener receives.
#include "core/ui/inputbox.h"

#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int> g_values;
void record(void *, int value) { g_values.push_back(value); }

int bottomShows = 0;
int bottomShow(Activity *) { return ++bottomShows, 0; }

class InputBox : public ::testing::Test {
 protected:
  void SetUp() override {
    g_values.clear();
    bottomShows = 0;
    bottom = {"Bottom", 1, nullptr, bottomShow, nullptr, 0, nullptr};
    ActivityAdd(&bottom);
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  }
  Activity *open(int initial, int digits, void *arg = &g_values) {
    Activity *box = InputBoxCreate(initial, digits, record, arg);
    if (box) ActivitySetActive(box, 1);
    return box;
  }
  int key(int code) { return PressKey(code); }
  TempRoot root;
  Activity bottom;
};

TEST_F(InputBox, KeysEditTheDigits) {
  struct Case {
    int initial, digits;
    std::vector<int> keys;
    const char *text;
  } cases[] = {
      {12345, 3, {}, "123"},                       // cut to the digits allowed
      {12345, 3, {VKEY_UP}, "124"},                // the cursor is on the last digit
      {9, 2, {VKEY_RIGHT}, "90"},                  // a new digit after the cursor
      {9, 2, {VKEY_RIGHT, VKEY_RIGHT}, "90"},      // no room left
      {5, 3, {VKEY_LEFT}, "5"},                    // a single digit stays
      {57, 3, {VKEY_LEFT, VKEY_UP}, "6"},          // LEFT deletes the last digit
      {9, 1, {VKEY_UP}, "0"},                      // wraps both ways
      {0, 1, {VKEY_DOWN}, "9"},
      {-4, 3, {}, "0"},
      {123456789, 12, {VKEY_RIGHT}, "123456789"},  // nine digits at most
  };
  for (const Case &c : cases) {
    Activity *box = open(c.initial, c.digits);
    ASSERT_NE(box, nullptr);
    for (int k : c.keys) EXPECT_EQ(key(k), 0);
    EXPECT_STREQ(InputBoxText(box), c.text) << c.initial;
    // Every key speaks the whole text.
    EXPECT_EQ(TranscriptLines().back(), c.text) << c.initial;
    key(VKEY_BACK);
  }
}

TEST_F(InputBox, OkAcceptsBackAndPowerOffReject) {
  open(4, 3);
  key(VKEY_RIGHT);
  key(VKEY_UP);
  EXPECT_EQ(key(VKEY_OK), 0);
  EXPECT_EQ(g_values, (std::vector<int>{41}));
  EXPECT_EQ(bottomShows, 1);  // the screen below speaks again
  open(4, 3);
  EXPECT_EQ(key(VKEY_BACK), 0);
  open(4, 3);
  EXPECT_EQ(key(VKEY_POWEROFF), 1);  // the key travels on
  EXPECT_EQ(g_values, (std::vector<int>{41, -1, -1}));
  EXPECT_EQ(bottomShows, 2);  // not after POWEROFF
  // Without an argument the callback is not called.
  open(4, 3, nullptr);
  EXPECT_EQ(key(VKEY_MENU), 1);
  key(VKEY_OK);
  EXPECT_EQ(g_values.size(), 3u);
  EXPECT_EQ(ActivityGetNumb(), 1);
}

}  // namespace
