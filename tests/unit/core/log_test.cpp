#include "core/runtime/log.h"

#include "core/runtime/config.h"
#include "core/runtime/machine.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr char kLogSource[] = "tests/log.c";

class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(HardType, "q7");
    saved_ = {CfgLogLevel, CfgLogToFile, CfgMaxLogFileSize, CfgMaxLogFile, LogFileNo};
    CfgLogToFile = 1;
    CfgLogLevel = 1;
  }
  void TearDown() override {
    CloseLog();
    CfgLogLevel = saved_[0], CfgLogToFile = saved_[1], CfgMaxLogFileSize = saved_[2];
    CfgMaxLogFile = saved_[3], LogFileNo = saved_[4];
  }
  std::string file(int no) { return root_.read("/home/q7" + std::to_string(no) + ".log"); }
  std::string commands() { return root_.read("/host/commands.txt"); }

  TempRoot root_;
  std::array<int, 5> saved_;
};

TEST_F(Log, WritesOnlyUpToTheConfiguredLevel) {
  LogFileNo = 3;
  OpenLog();
  LOGI("info %d\n", 1);  // level 2 > CfgLogLevel 1
  LOGW("warned %s\n", "here");
  LogPrintf(7, "x/y.c", 9, "odd level\n");  // above 3: an empty level word
  LogSetLevel(7);
  LogPrintf(7, "x/y.c", 9, "odd level\n");
  CloseLog();
  std::string text = file(3);
  EXPECT_EQ(text.find("info 1"), std::string::npos);
  EXPECT_NE(text.find(" warning]tests/log.c line "), std::string::npos) << text;
  EXPECT_NE(text.find("warned here\n"), std::string::npos);
  // "[<ctime> ]x/y.c": the level word is empty, the blank before it stays.
  size_t odd = text.find("]x/y.c line 9: odd level\n");
  ASSERT_NE(odd, std::string::npos) << text;
  EXPECT_EQ(text[odd - 1], ' ');
  EXPECT_EQ(text.find("odd level"), text.rfind("odd level"));  // written once
}

TEST_F(Log, RotatesPastTheSizeLimitAndDeletesTheOldest) {
  struct Case {
    int startNo, keep, nextNo;
    const char *deleted;
  } cases[] = {
      {1, 4, 2, "rm  '/home/q79998.log'"},  // wraps below zero
      {9999, 4, 0, "rm  '/home/q79996.log'"},
      {10, 2, 11, "rm  '/home/q79.log'"},
  };
  for (const Case &c : cases) {
    LogFileNo = c.startNo;
    CfgMaxLogFile = c.keep;
    CfgMaxLogFileSize = 200;
    root_.write("/home/q7" + std::to_string(c.nextNo) + ".log", "stale content of an old run\n");
    OpenLog();
    LOGE("%s\n", std::string(150, 'a').c_str());  // under the limit with its prefix? no: past it
    EXPECT_EQ(LogFileNo, c.nextNo) << c.startNo;
    LOGE("after rotation\n");
    CloseLog();
    EXPECT_NE(commands().find(c.deleted), std::string::npos) << commands();
    // The new file was truncated, not appended to.
    EXPECT_EQ(file(c.nextNo).find("stale"), std::string::npos);
    EXPECT_NE(file(c.nextNo).find("after rotation"), std::string::npos);
  }
}

TEST_F(Log, StaysOnTheFileUnderTheLimit) {
  LogFileNo = 5;
  CfgMaxLogFileSize = 1 << 20;
  OpenLog();
  for (int i = 0; i < 50; i++) LOGE("line %d\n", i);
  CloseLog();
  EXPECT_EQ(LogFileNo, 5);
  EXPECT_EQ(commands().find("rm "), std::string::npos);
}

TEST_F(Log, FallsBackToStandardOutput) {
  CfgLogToFile = 0;
  LogFileNo = 6;
  OpenLog();
  testing::internal::CaptureStdout();
  LOGE("to the console\n");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("to the console"), std::string::npos);
  EXPECT_FALSE(root_.exists("/home/q76.log"));
}

}  // namespace
