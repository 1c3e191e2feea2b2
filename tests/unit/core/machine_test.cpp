#include "core/runtime/machine.h"

#include "core/runtime/app.h"
#include "core/library/storage.h"
#include "menu/mdata.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kGood = "q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4";

TEST(Machine, ParsesEveryFieldOfTheToken) {
  ASSERT_EQ(ParseCommandLine("console=ttyS0 hard_ver=Q7_V1.0_4_64MB,ABcd000042240229,v1.0d,v2.1,v1.2d,v0.3,v9.9 quiet"),
            0);
  EXPECT_STREQ(HardType, "q7");  // lower-cased
  EXPECT_EQ(HardVer, 16);
  EXPECT_EQ(MiniHardType, 4);
  EXPECT_EQ(TotalMemory, 64);
  EXPECT_STREQ(SubManufacture, "abcd");
  EXPECT_EQ(SerialNo, 42);
  EXPECT_EQ(ProductionYear, 2024);  // a leap year: 29 February exists
  EXPECT_EQ(ProductionMonth, 2);
  EXPECT_EQ(ProductionDay, 29);
  EXPECT_EQ(BootLoadVer, 0x110);  // debug build
  EXPECT_EQ(uImageVer, 0x21);
  EXPECT_EQ(rootVer, 0x112);
  EXPECT_EQ(dataVer, 0x03);
  EXPECT_EQ(userVer, 0x99);
}

TEST(Machine, RefusesMalformedCommandLines) {
  const char *bad[] = {
      "HARD_VER=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4",  // name in upper case: not found
      "hard_ver=q7_v2.0_3_128mb,abcd123456230229,v1.0,v1.1,v1.2,v1.3,v1.4",  // 2023 has no 29 February
      "hard_ver=q7_v2.0_3_128mb,abcd123456241301,v1.0,v1.1,v1.2,v1.3,v1.4",  // month 13
      "hard_ver=q7_v2.0_9_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4",  // mini type above 8
      "hard_ver=q7_v2.0_3_128kb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4",
      "hard_ver=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3",       // a version missing
      "hard_ver=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4x", // trailing text
      "hard_ver=q7_v2.0_3_128mb,abcd12345624031",                             // cut short
      "hard_ver=",
      "",
  };
  for (const char *line : bad) EXPECT_EQ(ParseCommandLine(line), -1) << line;
  EXPECT_EQ(ParseCommandLine(nullptr), -1);
  EXPECT_EQ(ParseCommandLine("hard_ver=q7_x2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4"), -1);
  EXPECT_EQ(HardVer, -1);  // a bad version part marks the hardware version unknown
}

TEST(Machine, LongHardwareTypeIsCut) {
  ASSERT_EQ(ParseCommandLine("hard_ver=abcdefghijklmnopqrst_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4"), 0);
  EXPECT_STREQ(HardType, "abcdefghijklmno");
}

TEST(Machine, VersionTexts) {
  EXPECT_EQ(ReadVerFromStr("v2.0"), 32);
  EXPECT_EQ(ReadVerFromStr("v1.9"), 25);
  EXPECT_EQ(ReadVerFromStr("V1.0"), -1);
  EXPECT_EQ(ReadVerFromStr("v1,0"), -1);
  EXPECT_EQ(ReadVerFromStr("v1."), -1);
  const struct {
    const char *text;
    int version;
  } kernels[] = {
      {"Linux version 3.10.14 (gcc) #1", 0x30a0e}, {"Linux version   3.0.8-rc1", 0x30008},
      {"Linux  version 3.0.8", -1},                {"Linux version 3.10.14.255", 0x30a0eff},
      // No overflow, no part cut to its low byte (3.266.14 is not 3.10.14), nothing past INT_MAX.
      {"Linux version 55555555555.10.14", -1},     {"Linux version 3.266.14", -1}, {"Linux version 200.1.1.1", -1},
  };
  for (const auto &k : kernels) EXPECT_EQ(ParseKernelVersion(k.text), k.version) << k.text;
}

TEST(Machine, IdentifiesTheBoardFromItsFiles) {
  TempRoot root;
  root.write("/proc/version", "Linux version 3.10.14 (builder) #1\n");
  root.write("/proc/cmdline", "console=ttyS0 hard_ver=" + kGood + "\n");
  MRecordVolume = 10;
  ASSERT_EQ(LoadMachineType(), 0);
  EXPECT_EQ(KernelVer, 0x30a0e);
  EXPECT_EQ(HardVer, 32);
  EXPECT_EQ(MRecordVolume, 19);  // v2.0 records louder
  EXPECT_EQ(CardIsTf, 1);        // mini type 3: bit value 4 clear
  EXPECT_NE(root.read("/host/commands.txt").find("printf '%s\\n' 'SerialNo: 123456' >> /tmp/machine"), std::string::npos);

  root.write("/proc/version", "Linux version 4.19.0\n");
  EXPECT_EQ(LoadMachineType(), -1);
  std::filesystem::remove(root.at("/proc/version"));
  EXPECT_EQ(LoadMachineType(), -1);
}

TEST(Machine, ManufacturerNames) {
  TempRoot root;
  ASSERT_EQ(ParseCommandLine(("hard_ver=" + kGood).c_str()), 0);
  root.write("/home/q7mf.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<q7><chn><q7_3_128>阅读器</q7_3_128><abcd>制造商</abcd></chn>"
             "<eng><q7_3_128>Reader</q7_3_128></eng></q7>");
  char *device = nullptr, *maker = nullptr;
  ASSERT_EQ(LoadMfInfo(0, &device, &maker), 0);
  EXPECT_STREQ(device, "阅读器");
  EXPECT_STREQ(maker, "制造商");
  delete[] device;
  delete[] maker;
  ASSERT_EQ(LoadMfInfo(1, &device, &maker), 0);
  EXPECT_STREQ(device, "Reader");
  EXPECT_EQ(maker, nullptr);  // no English maker name
  delete[] device;
  root.write("/home/q7mf.xml", "<q7><chn>");  // truncated
  EXPECT_EQ(LoadMfInfo(0, &device, &maker), -1);
  EXPECT_EQ(device, nullptr);
}

TEST(App, DaisyFolders) {
  EXPECT_EQ(IsDaisyDir("/MNT/EMMC/DAISY/book"), 1);
  EXPECT_EQ(IsDaisyDir("/mnt/sdcard/Daisy"), 1);
  EXPECT_EQ(IsDaisyDir("/mnt/emmc/dais"), 0);
  EXPECT_EQ(IsDaisyDir("/mnt/sdcard/dais"), 0);
  EXPECT_EQ(IsDaisyDir("/mnt/usb/daisy"), 0);
  EXPECT_EQ(IsDaisyDir(nullptr), 0);
}

}  // namespace
