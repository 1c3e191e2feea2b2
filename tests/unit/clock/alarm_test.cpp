#include "core/clock/alarm.h"

#include "board/host/host.h"
#include "core/runtime/app.h"
#include "core/clock/alarm_screens.h"
#include "support/keys.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

// Scheduler minute of a UTC date and time.
int At(int y, int mo, int d, int h, int mi) {
  struct tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  return AlarmMinuteOf(timegm(&tm));
}

// 2024-04-08 is a Monday.
constexpr int kWeekdays = 0b0111110;

AlarmRecord Alarm(int h, int m, int flag, int repeat = 1, int delay = 1) {
  AlarmRecord a{};
  a.id = ALARM_ID_USER;
  a.mode = 1;
  a.hours = h;
  a.minutes = m;
  a.flag = flag;
  a.enable = 1;
  a.repeat_count = repeat;
  a.repeat_delay = delay;
  a.val = 0;
  return a;
}

TEST(AlarmNextTime, Table) {
  AlarmRecord weekday = Alarm(7, 30, kWeekdays);
  AlarmRecord snoozed = Alarm(7, 30, kWeekdays, 3, 5);
  snoozed.counter = 1;
  AlarmRecord usedUp = snoozed;
  usedUp.counter = 3;
  AlarmRecord off = weekday;
  off.enable = 0;
  AlarmRecord sunday = Alarm(9, 0, 1);
  AlarmRecord midnight = Alarm(0, 0, 127);
  AlarmRecord once = Alarm(7, 0, 0);
  once.yy = 2024, once.mm = 4, once.dd = 10;
  AlarmRecord badDate = once;
  badDate.mm = 2, badDate.dd = 30;
  AlarmRecord hourly{};  // the announcement: 23:00 + 60 minutes
  hourly.hours = 23, hourly.delay = 60, hourly.enable = 1, hourly.repeat_count = 1;
  AlarmRecord late = hourly;
  late.hours = 22;
  struct Case {
    const char *what;
    const AlarmRecord *a;
    int now, want;
  } cases[] = {
      {"Friday 08:00 -> Monday", &weekday, At(2024, 4, 5, 8, 0), At(2024, 4, 8, 7, 30)},
      {"Monday before", &weekday, At(2024, 4, 8, 7, 29), At(2024, 4, 8, 7, 30)},
      {"Monday at the minute -> tomorrow", &weekday, At(2024, 4, 8, 7, 30), At(2024, 4, 9, 7, 30)},
      {"snooze", &snoozed, At(2024, 4, 8, 7, 30), At(2024, 4, 8, 7, 35)},
      {"used up", &usedUp, At(2024, 4, 8, 7, 30), -1},
      {"disabled", &off, At(2024, 4, 8, 7, 0), -1},
      {"Saturday -> Sunday", &sunday, At(2024, 4, 6, 10, 0), At(2024, 4, 7, 9, 0)},
      {"23:59 -> 00:00", &midnight, At(2024, 4, 8, 23, 59), At(2024, 4, 9, 0, 0)},
      {"one date ahead", &once, At(2024, 4, 8, 8, 0), At(2024, 4, 10, 7, 0)},
      {"one date past", &once, At(2024, 4, 10, 7, 0), -1},
      {"invalid date", &badDate, At(2024, 1, 1, 0, 0), -1},
      {"relative over midnight", &hourly, At(2024, 4, 8, 23, 30), At(2024, 4, 9, 0, 0)},
      {"relative passed", &late, At(2024, 4, 8, 23, 30), -1},
  };
  for (const Case &c : cases) EXPECT_EQ(AGetTimeAt(c.a, c.now), c.want) << c.what;
}

class AlarmTick : public ::testing::Test {
 protected:
  void SetUp() override { AlarmReset(); }
  void TearDown() override { AlarmReset(); }
  // Makes record id an enabled alarm and schedules everything from now.
  void Set(int id, const AlarmRecord &a, int now) {
    AlarmNode node = galm[id].node;
    galm[id] = a;
    galm[id].id = id;
    galm[id].node = node;
    ReSetAlarm(now);
  }
  AlarmJob Tick(int now) {
    AlarmJob job;
    last_ = AlarmTickAt(now, &job);
    return job;
  }
  int last_ = 0;
};

TEST_F(AlarmTick, RingSnoozeThenNextDay) {
  Set(4, Alarm(7, 30, kWeekdays, 2, 1), At(2024, 4, 8, 7, 0));
  EXPECT_EQ(Tick(At(2024, 4, 8, 7, 29)).alarm, -1);
  EXPECT_EQ(last_, 0);
  AlarmJob job = Tick(At(2024, 4, 8, 7, 30));
  EXPECT_EQ(job.alarm, 4);
  EXPECT_EQ(job.ring_counter, 1);
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 8, 7, 31));
  job = Tick(At(2024, 4, 8, 7, 31));
  EXPECT_EQ(job.ring_counter, 2);
  // The occurrence is used up: the alarm stays in the list for Tuesday.
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 9, 7, 30));
}

TEST_F(AlarmTick, PowerOffLateAndTwoAlarms) {
  Set(2, [] { AlarmRecord a = Alarm(22, 0, 127); a.val = ALARM_VAL_POWER_OFF; return a; }(), At(2024, 4, 8, 21, 0));
  Set(4, Alarm(22, 0, 127, 2), At(2024, 4, 8, 21, 0));
  Set(5, Alarm(22, 0, 127, 2), At(2024, 4, 8, 21, 0));
  AlarmJob job = Tick(At(2024, 4, 8, 22, 0));
  EXPECT_EQ(job.power_off, 2);
  EXPECT_EQ(job.alarm, 5);  // the later one in list order rings
  EXPECT_EQ(galm[4].counter, 0);
  // Missed minutes: the snooze of 22:01 is late at 22:05 and moves on.
  job = Tick(At(2024, 4, 8, 22, 5));
  EXPECT_EQ(job.alarm, -1);
  EXPECT_EQ(galm[5].counter, 0);
  EXPECT_EQ(AlarmPendingTime(&galm[5]), At(2024, 4, 9, 22, 0));
}

TEST_F(AlarmTick, ClockBackAndMidnightReschedule) {
  Set(4, Alarm(7, 30, 127), At(2024, 4, 8, 7, 0));
  Tick(At(2024, 4, 8, 7, 30));
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 9, 7, 30));
  Tick(At(2024, 4, 8, 7, 10));  // the clock was set back
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 8, 7, 30));
  // An hourly announcement goes on past midnight.
  TimeAnnounceFunc(nullptr, 3600, 0);
  ReSetAlarm(At(2024, 4, 8, 23, 10));
  EXPECT_EQ(AlarmPendingTime(&galm[ALARM_ID_ANNOUNCE]), At(2024, 4, 9, 0, 0));
  AlarmJob job = Tick(At(2024, 4, 9, 0, 0));
  EXPECT_EQ(job.alarm, ALARM_ID_ANNOUNCE);
  EXPECT_EQ(job.hours * 60 + job.minutes, 0);
  EXPECT_EQ(AlarmPendingTime(&galm[ALARM_ID_ANNOUNCE]), At(2024, 4, 9, 1, 0));
}

TEST_F(AlarmTick, WakeTimeRounding) {
  Set(4, Alarm(6, 30, 127), At(2024, 4, 8, 20, 0));
  AlarmRecord on = Alarm(7, 0, 127);
  on.val = ALARM_VAL_POWER_ON;
  Set(3, on, At(2024, 4, 8, 20, 0));
  AlarmRecord off = Alarm(6, 0, 127);
  off.val = ALARM_VAL_POWER_OFF;  // needs no wake-up
  Set(2, off, At(2024, 4, 8, 20, 0));
  auto secs = [](int minute, int s) { return AlarmSecondsOf(minute) + s; };
  struct {
    time_t now, want;
  } cases[] = {
      {secs(At(2024, 4, 8, 21, 0), 0), secs(At(2024, 4, 9, 6, 29), 45)},
      {secs(At(2024, 4, 9, 6, 29), 45), secs(At(2024, 4, 9, 6, 29), 45)},
      {secs(At(2024, 4, 9, 6, 29), 46), secs(At(2024, 4, 9, 6, 59), 45)},
  };
  for (const auto &c : cases) EXPECT_EQ(AlarmWakeTime(c.now), c.want) << c.now;
  TempRoot root;
  BoardHostSetClockOffset(static_cast<long>(cases[0].now - std::time(nullptr)));
  EXPECT_EQ(AlarmSetPowerOnRTC(), 0);
  EXPECT_EQ(root.read("/sys/class/rtc/rtc0/wakealarm"), std::to_string(cases[0].want) + "\n");
  BoardHostSetClockOffset(0);
}

TEST_F(AlarmTick, FileRoundTripAndDamage) {
  TempRoot root;
  Set(4, Alarm(7, 30, kWeekdays, 3, 5), At(2024, 4, 8, 7, 0));
  ASSERT_EQ(SaveAlarm("/home/q7alm.xml"), 0);
  AlarmReset();
  ASSERT_EQ(LoadAlarm("/home/q7alm.xml"), 0);
  EXPECT_EQ(galm[4].hours * 100 + galm[4].minutes, 730);
  EXPECT_EQ(galm[4].flag, kWeekdays);
  EXPECT_EQ(galm[4].repeat_count * 10 + galm[4].repeat_delay, 35);
  EXPECT_EQ(galm[4].enable, 1);
  EXPECT_GT(AlarmPendingTime(&galm[4]), 0);
  // Cut short: kept aside as .bad, the backup is read instead.
  std::string whole = root.read("/home/q7alm.xml");
  root.write("/home/q7alm.xml", whole.substr(0, whole.size() / 2));
  AlarmReset();
  EXPECT_EQ(LoadAlarm("/home/q7alm.xml"), 0);
  EXPECT_EQ(galm[4].flag, kWeekdays);
  EXPECT_TRUE(root.exists("/home/q7alm.xml.bad"));
  // Both unreadable: built-in records. Bad elements are skipped one by one.
  root.write("/home/q7alm.xml", "<q7_alarm");
  root.write("/home/q7alm.xml.bak", "\xff\xfe garbage");
  AlarmReset();
  EXPECT_EQ(LoadAlarm("/home/q7alm.xml"), -1);
  EXPECT_EQ(galm[4].enable, 0);
  const std::string good = "<delay>1</delay><yy>0</yy><mm>0</mm><dd>0</dd><flag>127</flag><enable>1</enable>"
                           "<repeat_count>1</repeat_count><repeat_delay>1</repeat_delay><counter>0</counter>";
  root.write("/home/q7alm.xml", "<q7_alarm><alarm><id>5</id><mode>1</mode><hours>24</hours><minutes>0</minutes>" +
                                    good + "<val>0</val></alarm><alarm><id>3</id><mode>1</mode><hours>6</hours>"
                                    "<minutes>0</minutes>" + good + "<val>0</val></alarm><alarm><id>6</id><mode>1"
                                    "</mode><hours>6</hours>" + good + "<val>0</val></alarm><alarm><id>7</id>"
                                    "<mode>1</mode><hours>6</hours><minutes>5</minutes>" + good +
                                    "<val>2</val></alarm></q7_alarm>");
  AlarmReset();
  EXPECT_EQ(LoadAlarm("/home/q7alm.xml"), 0);
  EXPECT_EQ(galm[5].enable + galm[3].enable + galm[6].enable, 0);
  EXPECT_EQ(galm[7].enable, 1);
  EXPECT_EQ(galm[7].val, 2);
}

TEST(AlarmScreens, Summaries) {
  AlarmRecord a = Alarm(7, 30, kWeekdays, 3, 5);
  AlarmRecord relative{};
  relative.delay = 20, relative.flag = 127;
  struct {
    int lang;
    int mask;
    const char *days;
    const char *record;
    const char *relative;
  } cases[] = {
      {0, 0b0000110, "已选择周一, 周二", "7点 30分, 启用, 已选择周一, 周二, 周三, 周四, 周五, 提醒3次，间隔5分钟",
       "延时 20 分钟, 禁用, 重复"},
      {1, 0b1000001, "Sunday, Saturday",
       "hour:7 minute:30, Enable, Monday, Tuesday, Wednesday, Thursday, Friday, reminder 3 times, 5 minutes apart",
       "Delay 20 minutes, Disable, repeat"},
      {1, 127, "Every day", nullptr, nullptr},
      {0, 0, "一次", nullptr, nullptr},
  };
  int saved = MLanguageSetting;
  for (const auto &c : cases) {
    MLanguageSetting = c.lang;
    char text[256];
    EXPECT_STREQ(GetAlmSelectStr(text, sizeof text, c.mask), c.days);
    if (c.record) {
      EXPECT_STREQ(GetAlarmStr(text, sizeof text, &a, 1), c.record);
      EXPECT_STREQ(GetAlarmStr(text, sizeof text, &relative, 1), c.relative);
    }
  }
  MLanguageSetting = saved;
}

TEST_F(AlarmTick, EditorOneDateGoesToTomorrowAndBackKeepsRecord) {
  TempRoot root;
  int now = At(2024, 4, 8, 8, 0);
  BoardHostSetClockOffset(static_cast<long>(AlarmSecondsOf(now) - std::time(nullptr)));
  Set(4, Alarm(7, 0, 0), now);
  galm[4].enable = 0;
  Activity *item = AlarmItemCreate(4, 0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(galm[4].in_edit, 1);
  ActivitySetActive(item, 1);
  for (int key : {VKEY_RIGHT, VKEY_RIGHT, VKEY_UP, VKEY_OK}) PressKey(key);  // enable, then OK
  EXPECT_EQ(galm[4].enable, 1);
  EXPECT_EQ(galm[4].dd, 9);
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 9, 7, 0));
  item = AlarmItemCreate(4, 0);
  ActivitySetActive(item, 1);
  for (int key : {VKEY_UP, VKEY_UP, VKEY_BACK}) PressKey(key);
  EXPECT_EQ(galm[4].hours, 7);
  EXPECT_EQ(galm[4].in_edit, 0);
  EXPECT_EQ(AlarmPendingTime(&galm[4]), At(2024, 4, 9, 7, 0));
  BoardHostSetClockOffset(0);
}

}  // namespace
