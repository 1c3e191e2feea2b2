// The host board's shell must act like the board's on the simulated file
// system and never reach outside it.
#include "board/board.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

namespace {

TEST(HostShell, FileCommandsActInsideTheRootOnly) {
  TempRoot root;
  root.write("/mnt/emmc/a b/it's \"here\".txt", "data");
  EXPECT_EQ(BoardRunShell("mkdir -p /mnt/sdcard/x/y"), 0);
  EXPECT_EQ(BoardRunShell("cp -rf '/mnt/emmc/a b' /mnt/sdcard/x/y"), 0);
  EXPECT_EQ(root.read("/mnt/sdcard/x/y/a b/it's \"here\".txt"), "data");
  EXPECT_EQ(BoardRunShell("mv \"/mnt/sdcard/x/y/a b/it's \\\"here\\\".txt\" /mnt/sdcard/moved.txt"), 0);
  EXPECT_EQ(root.read("/mnt/sdcard/moved.txt"), "data");
  EXPECT_EQ(BoardRunShell("rm  '/mnt/sdcard/moved.txt'"), 0);
  EXPECT_FALSE(root.exists("/mnt/sdcard/moved.txt"));
  EXPECT_NE(BoardRunShell("rm /mnt/sdcard/moved.txt"), 0);  // gone: rm fails, rm -f does not
  EXPECT_EQ(BoardRunShell("rm -f /mnt/sdcard/moved.txt"), 0);
  EXPECT_NE(BoardRunShell("cp /mnt/emmc/nothing /mnt/sdcard/"), 0);

  // Paths that climb out of the root, and commands that are not plain, are
  // recorded and never carried out.
  root.write("/../outside-marker", "keep");  // a sibling of the root folder
  // As on the board, "/.." is "/": the command acts on ROOT/outside-marker.
  BoardRunShell("rm -rf /../outside-marker");
  BoardRunShell("rm -rf /mnt/../../outside-marker");
  EXPECT_TRUE(std::filesystem::exists(root.path() + "/../outside-marker"));
  std::filesystem::remove(root.path() + "/../outside-marker");
  EXPECT_EQ(BoardRunShell("rm -rf /mnt/emmc; touch /tmp/pwned"), 0);
  EXPECT_TRUE(root.exists("/mnt/emmc/a b"));
  EXPECT_EQ(BoardRunShell("mount /dev/mmcblk1p1 /mnt/sdcard"), 0);

  std::string log = root.read("/host/commands.txt");
  EXPECT_NE(log.find("rm -rf /mnt/emmc; touch /tmp/pwned\n"), std::string::npos);
  EXPECT_NE(log.find("mount /dev/mmcblk1p1 /mnt/sdcard\n"), std::string::npos);
}

TEST(HostShell, PathsAndClock) {
  TempRoot root;
  EXPECT_EQ(BoardPath("/home/x.xml"), root.path() + "/home/x.xml");
  EXPECT_EQ(BoardPath(BoardPath("/home/x.xml").c_str()), root.path() + "/home/x.xml");  // mapped once
  EXPECT_EQ(BoardPath("relative/file"), "relative/file");
  char small[4];
  EXPECT_EQ(BoardMapPath("/home/x.xml", small, sizeof small), -1);

  time_t before = BoardTime();
  BoardHostSetClockOffset(86400);
  EXPECT_GE(BoardTime() - before, 86400);
  struct timeval tv = {1000000000, 0};
  ASSERT_EQ(BoardSetTimeOfDay(&tv), 0);
  EXPECT_LE(BoardTime() - 1000000000, 2);
  BoardHostSetClockOffset(0);
}

}  // namespace
