// The battery check and the control devices (charger, LED, motor) through
// the host board's files.
#include "core/runtime/battery.h"

#include "board/board.h"
#include "cfgtest_support.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/gpio.h"
#include "core/runtime/key.h"
#include "core/runtime/loop.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using cfgtest::Transcript;

const std::string kGauge = "/sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/";

class Battery : public ::testing::Test {
 protected:
  void SetUp() override {
    buf_ = KeyBufferInit(32);
    gKeyBuffer = buf_;
    MLanguageSetting = 1;
  }
  void TearDown() override {
    DeinitBatStatus();
    gKeyBuffer = nullptr;
    KeyBufferDeInit(buf_);
    MLanguageSetting = 0;
    CfgBatteryLow = 10;
    CfgBatteryOff = 5;
  }
  // Writes the gauge's files into the root in use.
  void Gauge(const char *status, const char *capacity, const char *voltage = "3800000\n") {
    auto write = [](const std::string &name, const char *text) {
      std::string file = BoardPath((kGauge + name).c_str());
      std::filesystem::create_directories(std::filesystem::path(file).parent_path());
      std::ofstream(file, std::ios::trunc) << text;
    };
    write("status", status);
    write("capacity", capacity);
    write("voltage_now", voltage);
  }

  TempRoot root_;
  KeyBuffer *buf_ = nullptr;
};

TEST_F(Battery, ReadsTheGaugeFiles) {
  struct {
    const char *status, *capacity;
    int wantStatus, wantCapacity;
  } cases[] = {
      {"Charging\n", "57\n", 1, 57}, {"Discharging\n", "0\n", 2, 0}, {"Full\n", "100", 3, 100},
      {"Unknown\n", "12%\n", 0, -2}, {"charging\n", " 5\n", 0, -2},  {"", "", 0, -2},
      {"Full\n\n", "5\n\n", 0, -2},   {"Full", "99999999999\n", 3, -2},
  };
  for (const auto &c : cases) {
    Gauge(c.status, c.capacity);
    EXPECT_EQ(GetBatteryStaus(), c.wantStatus) << c.status;
    EXPECT_EQ(GetBatteryCapacity(), c.wantCapacity) << c.capacity;
  }
  EXPECT_EQ(GetBatteryVoltage(), 3800000);
  TempRoot empty;
  EXPECT_EQ(GetBatteryStaus(), -1);
  EXPECT_EQ(GetBatteryCapacity(), -1);
  EXPECT_EQ(GetBatteryVoltage(), -1);
}

TEST_F(Battery, ChecksWarnAndPowerOff) {
  struct {
    const char *status, *capacity;
    std::vector<std::string> spoken;
    std::vector<int> keys;
  } cases[] = {
      {"Discharging\n", "4\n", {"Battry low, please recharging"}, {VKEY_POWEROFF}},
      {"Discharging\n", "7\n", {"Battry low, please recharging"}, {}},
      {"Discharging\n", "10\n", {}, {}},
      {"Discharging\n", "bad\n", {"Battry low, please recharging"}, {VKEY_POWEROFF}},
      {"Full\n", "100\n", {}, {}},
      {"Charging\n", "3\n", {}, {}},
  };
  for (const auto &c : cases) {
    TempRoot root;  // a transcript of its own
    Gauge(c.status, c.capacity);
    ResetBatCheckTime();
    EXPECT_EQ(Transcript(), c.spoken) << c.status << c.capacity;
    EXPECT_EQ(cfgtest::DrainCodes(buf_), c.keys) << c.status << c.capacity;
  }
}

TEST_F(Battery, WarningRepeatsAtEveryCheck) {
  Gauge("Discharging\n", "7\n");
  BatteryCallback(nullptr, EVENT_TIMER);
  BatteryCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(Transcript().size(), 2u);
}

TEST_F(Battery, FullIsAnnouncedOnceAfterCharging) {
  const char *states[] = {"Full\n", "Charging\n", "Full\n", "Full\n", "Discharging\n", "Full\n"};
  for (const char *s : states) {
    Gauge(s, "100\n");
    BatteryCallback(nullptr, EVENT_TIMER);
  }
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"Battery full"}));
}

TEST_F(Battery, ControlDevicesKeepTheirState) {
  EXPECT_EQ(LedOn(), 0);
  EXPECT_EQ(root_.read("/dev/led"), "on\n");
  EXPECT_EQ(LedStatus(), 1);
  EXPECT_EQ(LedOff(), 0);
  EXPECT_EQ(root_.read("/dev/led"), "off\n");
  EXPECT_EQ(LedStatus(), 0);
  EXPECT_EQ(MotorOnDelay(300), 0);
  EXPECT_EQ(root_.read("/dev/motor"), "delay 300\n");
  EXPECT_EQ(MotorStatus(), 1);
  EXPECT_EQ(SetChargeHigh(), 0);
  EXPECT_EQ(root_.read("/dev/charg_set"), "1 0\n");
  int value = -1;
  EXPECT_EQ(GpioFunc("/dev/charg_set", 2, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(SetChargeLow(), 0);
  EXPECT_EQ(GpioFunc("/dev/charg_set", 2, &value), 1);
}

TEST_F(Battery, MissingDeviceIsAFailureNotACrash) {
  root_.write("/dev", "not a folder");
  EXPECT_EQ(LedOn(), -1);
  EXPECT_EQ(LedStatus(), -1);
  EXPECT_EQ(SetChargeLow(), -1);
  int value = 0;
  EXPECT_EQ(GpioFunc("/dev/charg_set", 7, &value), -1);
}

}  // namespace
