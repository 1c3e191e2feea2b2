// Toolbox screens driven by keys as the menu opens them: the calculator's
// arithmetic, and the timer's totals across a change of year, kept in its
// store from one opening to the next.
#include "toolbox/toolbox.h"

#include "board/host/host.h"
#include "support/screen_fixture.h"
#include "support/transcript.h"

#include <ctime>
#include <string>

namespace {

class Tools : public ScreenTest {
 protected:
  void SetUp() override { StartScreens(); }
  void TearDown() override {
    BoardHostSetClockOffset(0);
    ScreenTest::TearDown();
  }
  // Enters text on a calculator just opened, turning each row (digits, then
  // + - * / =) from where the screen left it.
  void type(const std::string &text) {
    static const std::string rows[2] = {"0123456789.", "+-*/="};
    int row = 0, pos[2] = {0, 0};
    for (char c : text) {
      int want = rows[0].find(c) != std::string::npos ? 0 : 1;
      for (; row < want; row++) PressKey(VKEY_DOWN);
      for (; row > want; row--) PressKey(VKEY_UP);
      int n = static_cast<int>(rows[row].size());
      for (int target = static_cast<int>(rows[row].find(c)); pos[row] != target; pos[row] = (pos[row] + 1) % n)
        PressKey(VKEY_RIGHT);
      PressKey(VKEY_OK);
    }
  }
  void setClock(int y, int m, int d, int h) {
    struct tm tm {};
    tm.tm_year = y - 1900, tm.tm_mon = m - 1, tm.tm_mday = d, tm.tm_hour = h;
    offset_ = static_cast<long>(timegm(&tm) - std::time(nullptr));
    BoardHostSetClockOffset(offset_);
  }
  // Moves the clock on from where setClock put it: a real second that
  // ticks in between cannot take one off what is measured.
  void moveClock(long seconds) { BoardHostSetClockOffset(offset_ += seconds); }
  long offset_ = 0;
};

TEST_F(Tools, CalculatorWorksInTheOrderOfTheKeys) {
  const struct {
    const char *keys, *said;
  } cases[] = {{"1+2*3=", "等于 9"}, {"9-12=", "等于 负3"}, {"0.5+.25=", "等于 0.75"},
               {"7/2=", "等于 3.5"}, {"5/0=", "除数不能为零"},  {"6*=", "等于 6"}};
  for (const auto &c : cases) {
    ASSERT_EQ(CalculatorTool(nullptr, 0, 0), 0);
    type(c.keys);
    EXPECT_EQ(LastSpoken(), c.said) << c.keys;
    PressKey(VKEY_BACK);
  }
}

TEST_F(Tools, TimerTotalsMoveOnWithTheYear) {
  setClock(2024, 12, 31, 10);
  ASSERT_EQ(CalculTimeTool(nullptr, 0, 0), 0);
  PressKey(VKEY_OK);
  moveClock(2 * 3600);
  PressKey(VKEY_OK);
  EXPECT_EQ(LastSpoken(), "停止计时, 计时 2小时00分钟, 本日累计  2小时00分钟");
  PressKey(VKEY_BACK);
  // A day later the store is read again: the old year's time is last year's.
  setClock(2025, 1, 1, 9);
  ASSERT_EQ(CalculTimeTool(nullptr, 0, 0), 0);
  PressKey(VKEY_ESC);
  EXPECT_EQ(LastSpoken(), "本日累计  0小时00分钟, 本月累计  0小时00分钟, 本年累计  0小时00分钟, 上年累计  2小时00分钟");
}

}  // namespace
