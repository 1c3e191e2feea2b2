// The configuration file: what is read, what is refused, and that no crash
// or damaged file costs the user the settings of the last save.
#include "core/runtime/config.h"

#include "board/board.h"
#include "cfgtest_support.h"
#include "core/runtime/app.h"
#include "core/runtime/globals.h"
#include "core/runtime/machine.h"
#include "core/runtime/xml.h"

#include <csignal>
#include <filesystem>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kFile[] = "/home/q7cfg.xml";

void SetLastPath(const char *path) {
  delete[] LastPath;
  LastPath = nullptr;
  if (!path) return;
  LastPath = new char[std::strlen(path) + 1];
  std::strcpy(LastPath, path);
}

// The built-in values of everything these tests change.
void BuiltIns() {
  MainVolume = PromptVolume = RadioVolume = 10;
  LogFileNo = 0;
  SetLastPath(nullptr);
  CfgMaxKeyBufferLength = 32;
  CfgMaxLogFileSize = 1048576;
  CfgKeyDelay = 150000;
  CfgUsbDelay = 200;
  CfgBatteryCheckTime = 300;
  CfgYear = CfgMonth = CfgDay = CfgHour = CfgMinute = -1;
  for (int n = 0; n < 4; n++) WnlYear[n] = 2018, WnlMonth[n] = 1, WnlDay[n] = 1, WnlHour[n] = 0, WnlTwoMonth[n] = 0;
  record_no = 0;
}

class ConfigStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(HardType, "q7");
    AppRegisterHooks();  // the menu and bookmark blocks, as at start-up
    BuiltIns();
    std::filesystem::create_directories(root_.at("/home"));
  }
  void TearDown() override { BuiltIns(); }

  // A file whose config block holds the given elements.
  void WriteConfig(const std::string &elements, const std::string &calendar = "") {
    root_.write(kFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><q7><config>" + elements + "</config><calendar>" +
                           calendar + "</calendar></q7>");
  }

  TempRoot root_;
};

TEST_F(ConfigStore, SavedSettingsComeBack) {
  const char *path = "/mnt/emmc/a&b$c 音乐/\xd2\xf4<x>.mp3";
  MainVolume = 3;
  PromptVolume = 25;
  RadioVolume = 0;
  CfgKeyDelay = 200000;
  WnlYear[2] = 2020;
  WnlTwoMonth[3] = 1;
  SetLastPath(path);
  SaveConfig();
  EXPECT_EQ(LastPath, nullptr);  // released with the rest at shutdown
  std::string text = root_.read(kFile);
  EXPECT_NE(text.find("<LastPath>/mnt/emmc/a$2b$5c"), std::string::npos) << text;
  EXPECT_NE(text.find("standalone=\"yes\""), std::string::npos);
  EXPECT_EQ(root_.read(std::string(kFile) + ".bak"), text);

  BuiltIns();
  LoadConfig();
  EXPECT_EQ(MainVolume, 3);
  EXPECT_EQ(PromptVolume, 25);
  EXPECT_EQ(RadioVolume, 0);
  EXPECT_EQ(CfgKeyDelay, 200000);
  EXPECT_EQ(WnlYear[2], 2020);
  EXPECT_EQ(WnlTwoMonth[3], 1);
  ASSERT_NE(LastPath, nullptr);
  EXPECT_STREQ(LastPath, path);
}

TEST_F(ConfigStore, ValuesOutOfRangeKeepTheBuiltInOnes) {
  struct {
    const char *element;
    const char *value;
    int *var;
    int want;
    bool calendar = false;  // an element of the calendar block
  } cases[] = {
      {"MainVolume", "26", &MainVolume, 10},
      {"MainVolume", "25", &MainVolume, 25},
      {"MainVolume", "-1", &MainVolume, 10},
      {"MainVolume", "7x", &MainVolume, 10},
      {"PromptVolume", "0", &PromptVolume, 10},
      {"PromptVolume", "1", &PromptVolume, 1},
      {"CfgMaxKeyBufferLength", "3", &CfgMaxKeyBufferLength, 32},
      {"CfgMaxKeyBufferLength", "65", &CfgMaxKeyBufferLength, 32},
      {"CfgMaxKeyBufferLength", "4", &CfgMaxKeyBufferLength, 4},
      {"CfgMaxKeyBufferLength", "64", &CfgMaxKeyBufferLength, 64},
      {"CfgMaxLogFileSize", "1048575", &CfgMaxLogFileSize, 1048576},
      {"CfgMaxLogFileSize", "104857600", &CfgMaxLogFileSize, 104857600},
      {"CfgBatteryCheckTime", "0", &CfgBatteryCheckTime, 300},
      {"CfgUsbDelay", "1000", &CfgUsbDelay, 1000},
      {"CfgUsbDelay", "1001", &CfgUsbDelay, 200},
      {"LogFileNo", "9999", &LogFileNo, 9999},
      {"year1", "1969", &WnlYear[1], 2018, true},
      {"year1", "3000", &WnlYear[1], 3000, true},
      {"twomonth0", "2", &WnlTwoMonth[0], 0, true},
      {"day3", "31", &WnlDay[3], 31, true},
      {"hour2", "24", &WnlHour[2], 0, true},
  };
  for (const auto &c : cases) {
    BuiltIns();
    const std::string element = std::string("<") + c.element + ">" + c.value + "</" + c.element + ">";
    WriteConfig(c.calendar ? "" : element, c.calendar ? element : "");
    LoadConfig();
    EXPECT_EQ(*c.var, c.want) << c.element << "=" << c.value;
  }
}

TEST_F(ConfigStore, AnotherDevicesFileLoadsNothingAndIsKept) {
  const std::string other = "<q5><config><MainVolume>3</MainVolume></config></q5>";
  root_.write(kFile, other);
  EXPECT_EQ(_LoadConfig(kFile), 0);
  EXPECT_EQ(MainVolume, 10);
  LoadConfig();
  EXPECT_EQ(CfgWasReset(), 1);
  EXPECT_EQ(root_.read(std::string(kFile) + ".bad"), other);  // kept before a save replaces it
  EXPECT_FALSE(root_.exists(kFile));
}

// A file the store cannot take falls back to the built-in values, keeps
// the prompt language when its head still shows it, and is kept under the
// next free numbered name: no earlier copy is ever replaced.
TEST_F(ConfigStore, UnusableFilesAreKeptNumberedAndTheLanguageSurvives) {
  const std::string huge = "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu>" +
                           std::string(kXmlMaxFileSize, ' ') + "</q7>";
  struct {
    std::string content;
    int language;
  } cases[] = {
      {"<q7><menu><MLanguageSetting>1</MLanguageSetting></menu><config><MainVolume>3</Main", 1},
      {huge, 1},  // well-formed but too big to be read
      {"<q7><menu><MLanguageSetting>0</MLanguageSetting>", 0},
      {"garbage <<", 0},
  };
  int n = 0;
  for (const auto &c : cases) {
    BuiltIns();
    MLanguageSetting = 0;
    root_.write(kFile, c.content);
    LoadConfig();
    EXPECT_EQ(CfgWasReset(), 1) << n;
    EXPECT_EQ(MainVolume, 10) << n;
    EXPECT_EQ(MLanguageSetting, c.language) << n;
    const std::string kept = std::string(kFile) + ".bad" + (n ? "." + std::to_string(n) : "");
    EXPECT_EQ(root_.read(kept).size(), c.content.size()) << kept;
    n++;
  }
  SaveConfig();
  LoadConfig();
  EXPECT_EQ(CfgWasReset(), 0);
}

TEST_F(ConfigStore, RecordCounterRestartsOnAnotherDay) {
  time_t now = BoardTime();
  struct tm today, yesterday;
  gmtime_r(&now, &today);
  time_t before = now - 86400;
  gmtime_r(&before, &yesterday);
  auto date = [](const struct tm &t, int day) {
    return "<CfgYear>" + std::to_string(t.tm_year + 1900) + "</CfgYear><CfgMonth>" + std::to_string(t.tm_mon + 1) +
           "</CfgMonth><CfgDay>" + std::to_string(day) + "</CfgDay><CfgHour>1</CfgHour>";
  };
  struct {
    std::string elements;
    int want;
  } cases[] = {
      {date(today, today.tm_mday) + "<CfgMinute>5</CfgMinute>", 42},
      {date(yesterday, yesterday.tm_mday) + "<CfgMinute>5</CfgMinute>", 1},
      {date(today, today.tm_mday), 42},  // no minute stored: the rule does not apply
      {"<CfgYear>2023</CfgYear><CfgMonth>2</CfgMonth><CfgDay>29</CfgDay><CfgHour>1</CfgHour><CfgMinute>1</CfgMinute>",
       42},  // not a date
      {"<CfgYear>2024</CfgYear><CfgMonth>2</CfgMonth><CfgDay>29</CfgDay><CfgHour>1</CfgHour><CfgMinute>1</CfgMinute>",
       1},
  };
  for (const auto &c : cases) {
    BuiltIns();
    record_no = 42;
    WriteConfig(c.elements);
    LoadConfig();
    EXPECT_EQ(record_no, c.want) << c.elements;
    EXPECT_EQ(CfgYear, today.tm_year + 1900);
    EXPECT_EQ(CfgMonth, today.tm_mon + 1);
    EXPECT_EQ(CfgDay, today.tm_mday);
  }
}

TEST_F(ConfigStore, DamagedFileIsKeptAndTheBackupIsRead) {
  MainVolume = 4;
  SetLastPath("/mnt/emmc/book");
  SaveConfig();
  std::string good = root_.read(kFile);
  std::string truncated = good.substr(0, good.size() / 2);
  int n = 0;
  for (const std::string &damage : {truncated, std::string(), std::string("\0\0\0\0", 4)}) {
    root_.write(kFile, damage);
    BuiltIns();
    LoadConfig();
    EXPECT_EQ(CfgWasReset(), 0);
    EXPECT_EQ(MainVolume, 4);
    ASSERT_NE(LastPath, nullptr);
    EXPECT_STREQ(LastPath, "/mnt/emmc/book");
    const std::string kept = std::string(kFile) + ".bad" + (n++ ? "." + std::to_string(n - 1) : "");
    EXPECT_EQ(root_.read(kept), damage);
    SaveConfig();
    EXPECT_NE(root_.read(kFile).find("<MainVolume>4</MainVolume>"), std::string::npos);
    EXPECT_EQ(root_.read(kept), damage);  // not overwritten by the save
  }
}

TEST_F(ConfigStore, DamagedFileWithoutBackupGivesBuiltIns) {
  root_.write(kFile, "<q7><config><MainVolume>3</MainVolume>");
  LoadConfig();
  EXPECT_EQ(MainVolume, 10);
  EXPECT_TRUE(root_.exists(std::string(kFile) + ".bad"));
  EXPECT_FALSE(root_.exists(kFile));
}

TEST_F(ConfigStore, NameInAnotherEncodingDoesNotLoseTheFile) {
  // As another program might have written it: the raw bytes of a GBK name.
  WriteConfig("<MainVolume>6</MainVolume><LastPath>/mnt/sdcard/\xd2\xf4\xc0\xd6/a.mp3</LastPath>");
  LoadConfig();
  EXPECT_EQ(MainVolume, 6);
  ASSERT_NE(LastPath, nullptr);
  EXPECT_STREQ(LastPath, "/mnt/sdcard/\xd2\xf4\xc0\xd6/a.mp3");
  SaveConfig();  // and it is saved so that the next start reads it too
  BuiltIns();
  LoadConfig();
  EXPECT_EQ(MainVolume, 6);
  ASSERT_NE(LastPath, nullptr);
  EXPECT_STREQ(LastPath, "/mnt/sdcard/\xd2\xf4\xc0\xd6/a.mp3");
  EXPECT_FALSE(root_.exists(std::string(kFile) + ".bad"));
}

TEST_F(ConfigStore, KilledSaveLeavesTheOldOrTheNewSettings) {
  MainVolume = 5;
  SetLastPath("/mnt/emmc/A");
  SaveConfig();
  for (int round = 0; round < 8; round++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(10);  // never outlives a broken parent
      for (int n = 1;; n++) {
        MainVolume = n % 2 ? 20 : 5;
        SetLastPath(n % 2 ? "/mnt/emmc/B" : "/mnt/emmc/A");
        SaveConfig();
      }
    }
    usleep(static_cast<useconds_t>(2000 + round * 1500));
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    BuiltIns();
    LoadConfig();
    ASSERT_NE(LastPath, nullptr);
    bool oldOrNew = (MainVolume == 5 && !std::strcmp(LastPath, "/mnt/emmc/A")) ||
                    (MainVolume == 20 && !std::strcmp(LastPath, "/mnt/emmc/B"));
    EXPECT_TRUE(oldOrNew) << MainVolume << " " << LastPath;
    EXPECT_FALSE(root_.exists(std::string(kFile) + ".bad"));
  }
}

}  // namespace
