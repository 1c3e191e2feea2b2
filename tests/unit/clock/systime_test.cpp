// The clock past 2038 (this program also runs under qemu-mipsel, the
// board's 32-bit CPU) and the time-setting screen's editor.
#include "core/clock/systime.h"

#include "board/board.h"
#include "board/host/host.h"
#include "core/clock/alarm.h"
#include "info/info.h"
#include "support/screen_fixture.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <string>

namespace {

TEST(Time64, DatesPast2038ConvertBothWays) {
  ASSERT_EQ(sizeof(time_t), 8u);
  struct Case {
    int y, mo, d, h, mi;
    int64_t seconds;
    const char *spoken;
  } cases[] = {
      {2040, 6, 1, 0, 0, 2222121600LL, "现在时间: 0点00分, 星期5, 2040年6月1日"},
      {2100, 12, 31, 23, 59, 4133980740LL, "现在时间: 23点59分, 星期5, 2100年12月31日"},
      {1900, 1, 1, 0, 0, -2208988800LL, "现在时间: 0点00分, 星期1, 1900年1月1日"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.spoken);
    EXPECT_EQ(SysTimeToSeconds(c.y, c.mo, c.d, c.h, c.mi, 0), c.seconds);
    time_t t = static_cast<time_t>(c.seconds);
    struct tm tm{};
    ASSERT_NE(gmtime_r(&t, &tm), nullptr);
    EXPECT_EQ(tm.tm_year + 1900, c.y);
    EXPECT_EQ(tm.tm_mon + 1, c.mo);
    EXPECT_EQ(tm.tm_mday, c.d);
    EXPECT_EQ(timegm(&tm), t);
    char text[128];
    EXPECT_STREQ(TimeAndDateToStr(c.seconds, 1, text, sizeof text, 0), c.spoken);
    EXPECT_EQ(static_cast<int64_t>(AlarmSecondsOf(AlarmMinuteOf(t))), c.seconds);
    // The host board's clock carries the date as the board's clock would.
    struct timeval tv{};
    tv.tv_sec = t;
    ASSERT_EQ(BoardSetTimeOfDay(&tv), 0);
    EXPECT_LE(static_cast<int64_t>(BoardTime()) - c.seconds, 2);
  }
  BoardHostSetClockOffset(0);
}

class SysTimeScreen : public ScreenTest {
 protected:
  void SetUp() override { StartScreens(); }
  void Release() override { BoardHostSetClockOffset(0); }
  void Set(int y, int mo, int d, int h, int mi) {
    struct timeval tv{};
    tv.tv_sec = static_cast<time_t>(SysTimeToSeconds(y, mo, d, h, mi, 30));
    BoardSetTimeOfDay(&tv);
  }
  // Presses the keys and returns what the screen said last.
  std::string Keys(std::initializer_list<int> keys) {
    for (int k : keys) PressKey(k);
    return LastSpoken();
  }
};

TEST_F(SysTimeScreen, FieldsWrapAndCutTheDay) {
  Set(2024, 1, 31, 8, 5);
  ASSERT_EQ(TimeSettingFunc(nullptr, 0, 0), 0);
  EXPECT_EQ(LastSpoken(), "2024年");
  struct {
    std::initializer_list<int> keys;
    const char *said;
  } steps[] = {
      {{VKEY_RIGHT}, "1月"},
      {{VKEY_UP}, "2月"},
      {{VKEY_RIGHT}, "29日"},          // 31 January, month up: 29 February 2024
      {{VKEY_LEFT, VKEY_LEFT}, "2024年"},
      {{VKEY_DOWN}, "2023年"},
      {{VKEY_RIGHT, VKEY_RIGHT}, "28日"},  // 2023 has no 29 February
      {{VKEY_UP}, "1日"},
      {{VKEY_RIGHT}, "8点"},
      {{VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN, VKEY_DOWN}, "23点"},
      {{VKEY_RIGHT}, "5分"},
      {{VKEY_RIGHT}, "2023年"},         // minute -> year
      {{VKEY_LEFT}, "5分"},             // year -> minute
      {{VKEY_ESC}, "5分"},
  };
  for (const auto &s : steps) EXPECT_EQ(Keys(s.keys), s.said);
}

TEST_F(SysTimeScreen, YearsWrapBetween1900And2200AndOkSetsTheClock) {
  Set(2200, 12, 31, 23, 59);
  ASSERT_EQ(TimeSettingFunc(nullptr, 0, 0), 0);
  EXPECT_EQ(Keys({VKEY_UP}), "1900年");
  EXPECT_EQ(Keys({VKEY_DOWN}), "2200年");
  EXPECT_EQ(Keys({VKEY_DOWN, VKEY_DOWN}), "2198年");
  PressKey(VKEY_OK);
  EXPECT_EQ(LastSpoken(), "设置已完成");
  EXPECT_EQ(GetCurrentActivity(), &bottom_);
  EXPECT_LE(static_cast<int64_t>(BoardTime()) - SysTimeToSeconds(2198, 12, 31, 23, 59, 0), 2);

  ASSERT_EQ(TimeSettingFunc(nullptr, 0, 0), 0);
  PressKey(VKEY_UP);
  PressKey(VKEY_BACK);
  EXPECT_EQ(LastSpoken(), "设置已取消");
  EXPECT_LT(static_cast<int64_t>(BoardTime()), SysTimeToSeconds(2199, 1, 1, 0, 0, 0));
}

TEST_F(SysTimeScreen, ClockFileSetsTheClockOnceAndGoes) {
  EXPECT_EQ(UpTime(), 0);  // no file: nothing happens
  root_.write("/mnt/emmc/q4snb.bin", "");
  struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(SysTimeToSeconds(2040, 6, 1, 12, 0, 0)), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, root_.at("/mnt/emmc/q4snb.bin").c_str(), times, 0), 0);
  EXPECT_EQ(UpTime(), 0);
  EXPECT_LE(static_cast<int64_t>(BoardTime()) - SysTimeToSeconds(2040, 6, 1, 12, 0, 0), 2);
  EXPECT_FALSE(std::filesystem::exists(root_.at("/mnt/emmc/q4snb.bin")));
}

}  // namespace
