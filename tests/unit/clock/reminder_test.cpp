#include "core/clock/reminder.h"

#include "core/clock/lunar.h"
#include "core/ui/menu.h"
#include "record/record.h"
#include "support/screen_fixture.h"
#include "support/transcript.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Scheduler minute of a UTC date and time.
int At(int y, int mo, int d, int h, int mi) { return solarOffsetDays(y, mo, d) * kAlarmDayMinutes + h * 60 + mi; }

VoiceRemind Rmd(unsigned kind, int y, int mo, int d, int h, int mi, std::string path = "/home/tag/r.mp3") {
  VoiceRemind r;
  r.kind = kind;
  r.year = y, r.month = mo, r.day = d, r.hour = h, r.minute = mi;
  r.path = std::move(path);
  return r;
}

constexpr unsigned kSunday = 1u << 16, kMonday = 1u << 17, kWednesday = 1u << 19;

// 2024-04-07 is a Sunday.
TEST(ReminderNextDue, Table) {
  struct Case {
    const char *what;
    VoiceRemind r;
    int now, want;
  } cases[] = {
      {"daily at the minute is today", Rmd(RMD_DAILY, 0, 0, 0, 9, 0), At(2024, 4, 7, 9, 0), At(2024, 4, 7, 9, 0)},
      {"daily passed -> tomorrow", Rmd(RMD_DAILY, 0, 0, 0, 9, 0), At(2024, 4, 7, 9, 1), At(2024, 4, 8, 9, 0)},
      {"daily over the year's end", Rmd(RMD_DAILY, 0, 0, 0, 0, 5), At(2024, 12, 31, 23, 0), At(2025, 1, 1, 0, 5)},
      {"weekly Sunday after its time -> 7 days", Rmd(RMD_WEEKLY | kSunday, 0, 0, 0, 8, 0), At(2024, 4, 7, 9, 0),
       At(2024, 4, 14, 8, 0)},
      {"weekly Monday+Wednesday on Tuesday", Rmd(RMD_WEEKLY | kMonday | kWednesday, 0, 0, 0, 8, 0),
       At(2024, 4, 9, 12, 0), At(2024, 4, 10, 8, 0)},
      {"weekly without a day", Rmd(RMD_WEEKLY, 0, 0, 0, 8, 0), At(2024, 4, 9, 12, 0), -1},
      {"monthly 31 on 31 January passed -> 31 March", Rmd(RMD_MONTHLY, 0, 0, 31, 8, 0), At(2024, 1, 31, 9, 0),
       At(2024, 3, 31, 8, 0)},
      {"monthly over December", Rmd(RMD_MONTHLY, 0, 0, 5, 8, 0), At(2024, 12, 10, 0, 0), At(2025, 1, 5, 8, 0)},
      {"monthly day 0", Rmd(RMD_MONTHLY, 0, 0, 0, 8, 0), At(2024, 12, 10, 0, 0), -1},
      {"annual 29 February -> next leap year", Rmd(RMD_ANNUALLY, 0, 2, 29, 7, 0), At(2025, 3, 1, 0, 0),
       At(2028, 2, 29, 7, 0)},
      {"annual in the last year", Rmd(RMD_ANNUALLY, 0, 1, 1, 7, 0), At(2098, 6, 1, 0, 0), At(2099, 1, 1, 7, 0)},
      {"annual past the last year", Rmd(RMD_ANNUALLY, 0, 1, 1, 7, 0), At(2099, 6, 1, 0, 0), -1},
      {"annual before the first year", Rmd(RMD_ANNUALLY, 0, 3, 1, 7, 0), At(2010, 6, 1, 0, 0), -1},
      {"once ahead", Rmd(RMD_ONCE, 2024, 4, 10, 7, 0), At(2024, 4, 7, 9, 0), At(2024, 4, 10, 7, 0)},
      {"once past", Rmd(RMD_ONCE, 2024, 4, 7, 7, 0), At(2024, 4, 7, 9, 0), -1},
      {"once in 2099 (64-bit time)", Rmd(RMD_ONCE, 2099, 12, 31, 23, 59), At(2024, 4, 7, 9, 0),
       At(2099, 12, 31, 23, 59)},
      {"once in 2100", Rmd(RMD_ONCE, 2100, 1, 1, 0, 0), At(2024, 4, 7, 9, 0), -1},
      {"once in 2014", Rmd(RMD_ONCE, 2014, 12, 1, 0, 0), At(2010, 4, 7, 9, 0), -1},
      {"once on 29 February 2023", Rmd(RMD_ONCE, 2023, 2, 29, 0, 0), At(2023, 1, 1, 0, 0), -1},
      {"hour 24", Rmd(RMD_DAILY, 0, 0, 0, 24, 0), At(2024, 4, 7, 9, 0), -1},
      {"unknown rule", Rmd(0x1234, 2024, 4, 10, 7, 0), At(2024, 4, 7, 9, 0), -1},
  };
  for (const Case &c : cases) EXPECT_EQ(RmdGetTimeAt(&c.r, c.now), c.want) << c.what;
  EXPECT_EQ(AlarmMinuteOf(static_cast<time_t>(4102444740)), At(2099, 12, 31, 23, 59));  // past 2038
}

TEST(ReminderIndex, LineRoundTripAndMalformedLines) {
  for (const char *good : {"0x3f01,2024,4,10,7,0,/home/tag/tag1.mp3\n", "0x2a20ff,0,0,0,23,59,/home/tag/a b.mp3\n"}) {
    VoiceRemind r;
    std::string line = good;
    ASSERT_EQ(RmdParseLine(line.substr(0, line.size() - 1), &r), 0) << good;
    EXPECT_EQ(RmdFormatLine(&r), line);
  }
  VoiceRemind r;
  EXPECT_EQ(RmdParseLine("3801,0,0,0,9,30,/x.mp3\r", &r), 0);  // no "0x", a CR
  EXPECT_EQ(r.kind, RMD_DAILY);
  EXPECT_EQ(r.path, "/x.mp3");
  for (const char *bad : {"", "0x3801", "0x3801,0,0,0,9,30", "0x3801,0,0,0,9,30,", "0xzz,0,0,0,9,30,/x",
                          "0x3801,0,0,x,9,30,/x", "0x3801;0,0,0,9,30,/x", "0x1ffffffff,0,0,0,9,30,/x",
                          "0x3801,0,0,0,99999999999,30,/x"})
    EXPECT_EQ(RmdParseLine(bad, &r), -1) << bad;
}

class ReminderStore : public ::testing::Test {
 protected:
  void SetUp() override {
    AlarmReset();
    root_.write("/home/tag/.keep", "");
    InitVoiceRemind();  // no index yet: an empty store
  }
  void TearDown() override {
    DeInitVoiceRemind();
    AlarmReset();
  }
  std::string Recording(const std::string &name) {
    root_.write("/home/tag/" + name, "mp3");
    return "/home/tag/" + name;
  }
  AlarmJob Tick(int now) {
    AlarmJob job;
    AlarmTickAt(now, &job);
    return job;
  }
  TempRoot root_;
};

TEST_F(ReminderStore, IndexLoadKeepsLastLineAndDropsBadOnes) {
  std::string a = Recording("a.mp3"), b = Recording("b.mp3");
  root_.write(kRmdIndexFile, "0x3801,0,0,0,9,0," + a + "\ngarbage\n0x3801,0,0,0,9,0,/home/tag/gone.mp3\n" +
                                 "0x3801,0,0,0,10,0," + b);
  ReSetAlarm(At(2024, 4, 7, 8, 0));
  ASSERT_EQ(InitVoiceRemind(), 0);
  ASSERT_EQ(RmdCount(), 2);
  VoiceRemind r;
  RmdGet(1, &r);
  EXPECT_EQ(r.path, b);
  ASSERT_EQ(RmdSaveIndex(), 0);
  EXPECT_EQ(root_.read(kRmdIndexFile), "0x3801,0,0,0,9,0," + a + "\n0x3801,0,0,0,10,0," + b + "\n");
  EXPECT_FALSE(root_.exists(std::string(kRmdIndexFile) + ".tmp"));
}

TEST_F(ReminderStore, DeletingOneKeepsTheOthersRingingInOrder) {
  int now = At(2024, 4, 7, 8, 0);  // a Sunday
  ReSetAlarm(now);
  std::string once = Recording("once.mp3"), daily = Recording("daily.mp3"), weekly = Recording("weekly.mp3");
  RmdAppend(Rmd(RMD_ONCE, 2024, 4, 7, 9, 0, once));
  RmdAppend(Rmd(RMD_DAILY, 0, 0, 0, 9, 30, daily));
  RmdAppend(Rmd(RMD_WEEKLY | kMonday, 0, 0, 0, 7, 0, weekly));
  ASSERT_EQ(RmdDelete(1), 0);
  EXPECT_FALSE(root_.exists(daily));
  root_.write("/home/q7cfg.xml", "x");
  RmdRemoveFile("/home/tag/../q7cfg.xml");  // a hostile index line deletes nothing outside the folder
  EXPECT_TRUE(root_.exists("/home/q7cfg.xml"));
  EXPECT_EQ(RmdCursor(), 1);
  EXPECT_EQ(Tick(At(2024, 4, 7, 9, 0)).reminder, once);
  EXPECT_EQ(Tick(At(2024, 4, 7, 9, 30)).reminder, "");
  // The job keeps its own copy: deleting the reminder that rings frees nothing it plays.
  AlarmJob job = Tick(At(2024, 4, 8, 7, 0));
  ASSERT_EQ(RmdDelete(1), 0);
  EXPECT_EQ(job.reminder, weekly);
  EXPECT_EQ(RmdCount(), 1);  // the once reminder stays listed, with no further time
  EXPECT_EQ(Tick(At(2024, 4, 15, 7, 0)).reminder, "");
  EXPECT_EQ(root_.read(kRmdIndexFile), "0x3f01,2024,4,7,9,0," + once + "\n");
}

TEST_F(ReminderStore, RingsAgainAfterItsMinuteAndAfterAClockChange) {
  ReSetAlarm(At(2024, 4, 7, 8, 0));
  std::string daily = Recording("daily.mp3");
  RmdAppend(Rmd(RMD_DAILY, 0, 0, 0, 9, 0, daily));
  EXPECT_EQ(Tick(At(2024, 4, 7, 9, 0)).reminder, daily);
  EXPECT_EQ(Tick(At(2024, 4, 8, 9, 0)).reminder, daily);  // rescheduled, not dropped at its own minute
  ReSetAlarm(At(2024, 6, 1, 8, 0));                        // the clock set to another day
  EXPECT_EQ(Tick(At(2024, 6, 1, 9, 0)).reminder, daily);
  // Held by an editor it stays out of the list, even through a clock change.
  VoiceRemind copy;
  ASSERT_EQ(RmdEditBegin(0, &copy), 0);
  ReSetAlarm(At(2024, 6, 2, 8, 0));
  EXPECT_EQ(Tick(At(2024, 6, 2, 9, 0)).reminder, "");
  copy.hour = 10;
  RmdEditEnd(0, &copy);
  EXPECT_EQ(Tick(At(2024, 6, 2, 10, 0)).reminder, daily);
}

TEST(MemoIndex, ParseSkipsBlanksAndMissingFilesAndKeepsTheLastLine) {
  TempRoot root;
  root.write("/home/tag/a.mp3", "x");
  root.write("/home/tag/b.mp3", "x");
  auto paths = MemoParseIndex("  /home/tag/a.mp3 \n\n/home/tag/gone.mp3\n/home/tag/b.mp3");
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(MemoFormatIndex(paths), "/home/tag/a.mp3\n/home/tag/b.mp3\n");
  EXPECT_EQ(MemoParseIndex(MemoFormatIndex(paths)), paths);
}

// The editor from the menu actions, on Sunday 2024-03-31 at 10:00.
class ReminderEditor : public ScreenTest {
 protected:
  void SetUp() override {
    StartScreens();
    AlarmReset();
    root_.write("/home/tag/.keep", "");
    InitVoiceRemind();
    BoardHostSetClockOffset(static_cast<long>(AlarmSecondsOf(now_) - std::time(nullptr)));
    ReSetAlarm(now_);
  }
  void Release() override {
    DeInitVoiceRemind();
    AlarmReset();
    BoardHostSetClockOffset(0);
  }
  static std::string Said() { return TranscriptLines().empty() ? "" : TranscriptLines().back(); }
  static void Run(const MenuItem &item) { MenuItemSetFunc(&item)(nullptr, 0, 0); }
  const int now_ = At(2024, 3, 31, 10, 0);
};

TEST_F(ReminderEditor, RuleSwitchCutsTheDayAndWeeklyNeedsADay) {
  Run(AddVoiceReminding);
  EXPECT_EQ(Said(), "仅一次");
  for (int i = 0; i < 4; i++) PressKey(VKEY_UP);  // daily, weekly, monthly, annually
  EXPECT_EQ(Said(), "每年");
  PressKey(VKEY_RIGHT);
  EXPECT_EQ(Said(), "3月");
  PressKey(VKEY_DOWN);
  PressKey(VKEY_RIGHT);
  EXPECT_EQ(Said(), "29日");  // 31 cut down to the longest February
  PressKey(VKEY_OK);
  EXPECT_EQ(Said(), "请按住录音键开始录音");  // nothing recorded yet
  PressKey(VKEY_BACK);
  EXPECT_EQ(RmdCount(), 0);
}

TEST_F(ReminderEditor, AbandonedEditKeepsTheScheduleAndSavedEditIsWritten) {
  root_.write("/home/tag/old.mp3", "x");
  RmdAppend(Rmd(RMD_DAILY, 0, 0, 0, 11, 0, "/home/tag/old.mp3"));
  time_t wake = AlarmSecondsOf(At(2024, 3, 31, 10, 59)) + 45;
  Run(ChangeVoiceReminding);
  EXPECT_EQ(AlarmWakeTime(AlarmSecondsOf(now_)), -1);  // out of the list while edited
  PressKey(VKEY_BACK);
  EXPECT_EQ(AlarmWakeTime(AlarmSecondsOf(now_)), wake);
  Run(ChangeVoiceReminding);
  PressKey(VKEY_UP);  // weekly, no day yet
  PressKey(VKEY_OK);
  EXPECT_EQ(Said(), "请选择星期几");
  PressKey(VKEY_RIGHT);
  PressKey(VKEY_RIGHT);
  PressKey(VKEY_UP);
  EXPECT_EQ(Said(), "周一, 已选择");
  PressKey(VKEY_OK);
  EXPECT_EQ(root_.read(kRmdIndexFile), "0x220ff,0,0,0,11,0,/home/tag/old.mp3\n");
  EXPECT_EQ(AlarmWakeTime(AlarmSecondsOf(now_)), AlarmSecondsOf(At(2024, 4, 1, 10, 59)) + 45);
}

}  // namespace
