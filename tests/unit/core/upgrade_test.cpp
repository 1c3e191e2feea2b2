// The upgrade check over the packages of tests/e2e/fixtures/upgrade and a
// few hand-made headers: what is accepted, and that only an accepted
// package leaves the archive behind.
#include "core/library/upgrade.h"
#include "support/files.h"

#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Fixture(const char *name) {
  std::ifstream in(SourcePath("/tests/e2e/fixtures/upgrade/") + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Upgrade, VersionText) {
  struct {
    const char *text;
    int value;
  } cases[] = {{"v5.8", 0x508}, {" V 5 . 8 ", 0x508}, {"v12.34", 12 * 256 + 34}, {"5.8", -1},
               {"v5", -1},      {"v.8", -1},         {"v5.", -1},            {"v5.8a", -1}};
  for (const auto &c : cases) {
    char field[12] = {};  // as the header holds it: padded with NULs
    std::strncpy(field, c.text, sizeof field);
    EXPECT_EQ(GetUpdateFileVersion(field, sizeof field), c.value) << c.text;
  }
}

TEST(Upgrade, CheckAcceptsOnlyAWholePackage) {
  TempRoot root;
  std::string good = Fixture("good.up");
  ASSERT_GT(good.size(), 33u);
  std::string badMagic = good;
  badMagic[0] = 'x';
  struct {
    const char *what;
    std::string bytes;
    int minimum, result;
  } cases[] = {
      {"good", good, 0x507, 0},
      {"lower", Fixture("lower.up"), 0x507, -4},
      {"bad digest", Fixture("badmd5.up"), 0x507, -3},
      {"truncated body", Fixture("truncated.up"), 0x507, -3},
      {"header only", good.substr(0, 32), 0, -1},
      {"bad magic", badMagic, 0, -1},
  };
  for (const auto &c : cases) {
    root.write("/mnt/emmc/q7up", c.bytes);
    std::filesystem::remove(root.at("/home/tmp.tar.gz"));
    EXPECT_EQ(CheckUpgrade("/mnt/emmc/q7up", c.minimum), c.result) << c.what;
    EXPECT_EQ(std::filesystem::exists(root.at("/home/tmp.tar.gz")), c.result == 0) << c.what;
  }
  EXPECT_EQ(CheckUpgrade("/mnt/emmc/none", 0), -1);
}

}  // namespace
