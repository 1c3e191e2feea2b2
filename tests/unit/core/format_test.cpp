// The format screen: the four-key code, the commands it hands the board,
// and every way of breaking the code.
#include "core/ui/format.h"

#include "core/runtime/globals.h"
#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Format : public ::testing::Test {
 protected:
  void SetUp() override {
    MLanguageSetting = 0;
    owner = {"Owner", 1, nullptr, nullptr, nullptr, 0, nullptr};
    ActivityAdd(&owner);
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    MLanguageSetting = 0;
  }
  int key(int code) { return PressKey(code); }
  std::string commands() { return root.read("/host/commands.txt"); }
  TempRoot root;
  Activity owner;
};

TEST_F(Format, TheCodeFormatsTheInternalMemory) {
  ASSERT_EQ(MenuFormat(&owner, FORMAT_EMMC), 0);
  size_t before = TranscriptLines().size();
  for (int k : {VKEY_UP, VKEY_UP, VKEY_DOWN, VKEY_LEFT, VKEY_RIGHT}) EXPECT_EQ(key(k), 0);
  EXPECT_EQ(TranscriptSince(before),
            (std::vector<std::string>{"上", "上", "下", "左", "右", "格式化中, 请稍候", "格式化已完成"}));
  EXPECT_EQ(commands(), "umount /mnt/emmc\n/home/mkfs.vfat /dev/mmcblk0p3\nmount /dev/mmcblk0p3  /mnt/emmc\n");
  EXPECT_EQ(ActivityGetNumb(), 1);
}

TEST_F(Format, TheCardUsesItsPartitionOrFails) {
  MLanguageSetting = 1;
  MenuFormat(&owner, FORMAT_SDCARD);
  for (int k : {VKEY_UP, VKEY_DOWN, VKEY_LEFT, VKEY_RIGHT}) key(k);
  EXPECT_EQ(TranscriptLines().back(), "Error");
  EXPECT_EQ(commands(), "umount /mnt/sdcard\n");
  root.write("/dev/mmcblk1p1", "");
  MenuFormat(&owner, FORMAT_SDCARD);
  for (int k : {VKEY_UP, VKEY_DOWN, VKEY_LEFT, VKEY_RIGHT}) key(k);
  EXPECT_EQ(TranscriptLines().back(), "Done");
  EXPECT_EQ(commands(), "umount /mnt/sdcard\numount /mnt/sdcard\n/home/mkfs.vfat /dev/mmcblk1p1\n"
                        "mount /dev/mmcblk1p1 /mnt/sdcard\n");
}

TEST_F(Format, AnyOtherKeyCancels) {
  struct Case {
    std::vector<int> keys;
    int lastResult;
  } cases[] = {
      {{VKEY_UP, VKEY_LEFT}, 0},
      {{VKEY_DOWN}, 0},
      {{VKEY_UP, VKEY_DOWN, VKEY_RIGHT}, 0},
      {{VKEY_UP, VKEY_OK}, 0},
      {{VKEY_MENU}, 0},
      {{VKEY_BACK}, 0},
      {{VKEY_UP, VKEY_MARK}, 1},      // cancels and travels on
      {{VKEY_POWEROFF}, 1},
  };
  for (const Case &c : cases) {
    ASSERT_EQ(MenuFormat(&owner, FORMAT_EMMC), 0);
    int result = -9;
    for (int k : c.keys) result = key(k);
    EXPECT_EQ(result, c.lastResult);
    EXPECT_EQ(TranscriptLines().back(), "输入错误, 取消格式化");
    EXPECT_EQ(ActivityGetNumb(), 1);
  }
  EXPECT_EQ(commands(), "");
}

TEST_F(Format, WarnsFirstAndRefusesBadTargets) {
  ASSERT_EQ(MenuFormat(&owner, FORMAT_USBDISK), 0);
  EXPECT_EQ(TranscriptLines().back(), "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认");
  EXPECT_EQ(key(VKEY_VOLADD), 1);  // the volume is not the screen's
  EXPECT_EQ(key(VKEY_ESC), 0);
  EXPECT_EQ(TranscriptLines().back(), "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认");
  key(VKEY_BACK);
  EXPECT_EQ(FormatCreate(nullptr, 0), nullptr);
  EXPECT_EQ(FormatCreate(&owner, 3), nullptr);
  EXPECT_EQ(FormatCreate(&owner, -1), nullptr);
  EXPECT_EQ(MenuFormat(nullptr, 0), -1);
}

}  // namespace
