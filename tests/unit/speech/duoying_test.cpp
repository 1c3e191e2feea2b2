// The polyphone table: loading the file, the bucket codes, longest-match
// replacement in GBK and through the UTF-8 entry, reloading.
#include "speech/duoying.h"
#include "support/files.h"

#include "board/board.h"
#include "board/host/host.h"
#include "ttsengine/ivtts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string toGbk(const std::string &utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char *in = const_cast<char *>(utf8.data()), *o = out.data();
  size_t il = utf8.size(), ol = out.size();
  iconv(cd, &in, &il, &o, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

class DuoYing : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duoying-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    BoardHostOptions o;
    o.root = root_;
    ASSERT_EQ(BoardHostConfigure(o), 0);
    fs::create_directories(root_ + "/mnt/emmc");
  }
  void TearDown() override {
    DeInitDuoYing();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  // Writes the table file from UTF-8 lines (stored as GBK).
  void writeTable(const std::string &utf8) {
    std::ofstream(file(), std::ios::binary) << toGbk(utf8);
  }
  std::string file() const { return BoardPath("/mnt/emmc/duo_ying_zi.res"); }
  static std::string convert(const std::string &utf8) {
    int len = -1;
    const char *out = convert_utf8(utf8.c_str(), static_cast<int>(utf8.size()), &len);
    EXPECT_EQ(len, static_cast<int>(std::strlen(out)));
    return std::string(out, static_cast<size_t>(len));
  }
  std::string root_;
};

TEST(GetHCode, BucketsEncodeTheLength) {
  int codes[4] = {-9, -9, -9, -9};
  EXPECT_EQ(GetHCode(codes, nullptr), -1);
  EXPECT_EQ(GetHCode(codes, ""), -1);
  EXPECT_EQ(GetHCode(codes, "abc"), -2);
  EXPECT_EQ(GetHCode(codes, toGbk("你").c_str()), -2);
  EXPECT_EQ(GetHCode(codes, ("ab" + toGbk("你好")).c_str()), -3);
  EXPECT_EQ(GetHCode(codes, toGbk("银行").c_str()), 0);
  EXPECT_EQ(codes[0], 228);
  EXPECT_EQ(GetHCode(codes, toGbk("银行行长来了").c_str()), 3);
  EXPECT_EQ(codes[0], 228);  // the same first two characters, the same bucket
  EXPECT_EQ(codes[1], 73);
  EXPECT_EQ(codes[2], 126);
  EXPECT_EQ(codes[3], 199);
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(codes[k] % 4, k);
    EXPECT_LT(codes[k], 268);
  }
  // A character out of range after the second only ends the codes.
  EXPECT_EQ(GetHCode(codes, (toGbk("银行") + "a" + toGbk("长")).c_str()), 0);
}

TEST_F(DuoYing, LongestWordWins) {
  writeTable("行长,航长\n银行行长,银航航长\n");
  ASSERT_EQ(InitDuoYing(), 0);
  EXPECT_EQ(convert("银行行长来了"), "银航航长来了");
  EXPECT_EQ(convert("他是行长"), "他是航长");
  EXPECT_EQ(convert("Hello, world 123!"), "Hello, world 123!");  // ASCII byte by byte
  EXPECT_EQ(convert("你😀好"), "你 好");                          // no GBK form: a blank
}

TEST_F(DuoYing, LineSyntax) {
  writeTable(
      "# comment,ignored\n"
      "\n"
      "银行 银航\n"            // 3: no comma
      "  音乐 ,  音月  \r\n"   // blanks and CRLF are fine
      "长大,掌大,多余\n"       // 5: more than blanks after the replacement
      ",空词\n"                // 6: empty word
      "重复,\n"                // 7: empty replacement
      "ab,cd\n"                // not GBK: skipped silently
      "一二三四五六,甲\n"       // 9: six characters, kept with a warning
      "重复,虫复");            // last line without its end
  testing::internal::CaptureStdout();
  ASSERT_EQ(InitDuoYing(), 0);
  std::string printed = testing::internal::GetCapturedStdout();
  for (const char *msg : {"DealLine 3 return error: -4", "DealLine 5 return error: -4",
                          "DealLine 6 return error: -4", "DealLine 7 return error: -4",
                          "warning: line 9 GetHCode return len!!!!"})
    EXPECT_NE(printed.find(msg), std::string::npos) << msg << "\n" << printed;
  EXPECT_EQ(printed.find("DealLine 8"), std::string::npos);
  EXPECT_EQ(convert("银行的音乐重复长大"), "银行的音月虫复长大");
  // The six-character word matches on its first five and consumes five.
  EXPECT_EQ(convert("一二三四五七"), "甲七");
  EXPECT_EQ(convert("一二三四六"), "一二三四六");
}

TEST_F(DuoYing, UnusableFilesLeaveTextUnchanged) {
  const std::string text = "银行";
  int len = 0;
  EXPECT_EQ(InitDuoYing(), -1);  // no file
  EXPECT_EQ(convert_utf8(text.c_str(), 6, &len), text.c_str());
  EXPECT_EQ(len, 6);
  writeTable("银行,银航\n" + std::string(1100, 'x') + "\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(InitDuoYing(), -1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error: line 2 too long"), std::string::npos);
  EXPECT_EQ(convert_utf8(text.c_str(), 6, &len), text.c_str());
  char dst[8];
  std::string gbk = toGbk("银行");
  EXPECT_STREQ(DuoYingConvert(gbk.c_str(), dst, sizeof dst), gbk.c_str());  // copied as it is
}

TEST_F(DuoYing, OutputBufferLimits) {
  writeTable("银行,银hang2很长的替换文字\n");
  ASSERT_EQ(InitDuoYing(), 0);
  std::string src = toGbk("银行");
  char small[8];
  testing::internal::CaptureStdout();
  EXPECT_EQ(DuoYingConvert(src.c_str(), small, sizeof small), small);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("line 364: DuoYingConvert: out buffer too short!!!"),
            std::string::npos);
  EXPECT_EQ(std::strlen(small), 7u);  // what fits, terminated
  // An unmatched character needs room for both bytes and the terminator.
  std::string plain = toGbk("你好吗");
  char three[3], four[4];
  testing::internal::CaptureStdout();
  DuoYingConvert(plain.c_str(), three, sizeof three);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("line 377:"), std::string::npos);
  EXPECT_EQ(std::string(three), toGbk("你"));
  testing::internal::CaptureStdout();
  DuoYingConvert(plain.c_str(), four, sizeof four);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("line 386:"), std::string::npos);
  EXPECT_EQ(std::strlen(four), 3u);
  EXPECT_EQ(DuoYingConvert(nullptr, small, 8), nullptr);
  EXPECT_EQ(DuoYingConvert("", small, 8), nullptr);
  EXPECT_EQ(DuoYingConvert(src.c_str(), const_cast<char *>(src.c_str()), 8), src.c_str());
  EXPECT_STREQ(DuoYingConvert(src.c_str(), nullptr, 0), toGbk("银hang2很长的替换文字").c_str());
  int len = 0;
  EXPECT_STREQ(convert_utf8("", 0, &len), " ");
  EXPECT_EQ(len, 1);
  // A bad byte met just as the work buffer fills stays inside it.
  std::string full;
  for (int i = 0; i < 511; i++) full += "中";
  full += "a\xFF";
  EXPECT_LE(convert(full).size(), 1023u);
}

TEST_F(DuoYing, ReloadsWhenTheFileChanges) {
  writeTable("银行,银航\n");
  ASSERT_EQ(InitDuoYing(), 0);
  writeTable("音乐,音月\n");
  auto t = fs::last_write_time(file());
  fs::last_write_time(file(), t - std::chrono::hours(1));  // an older copy, as a computer may leave it
  testing::internal::CaptureStdout();
  reload_duoying_file();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reload_duoying_file ok!"), std::string::npos);
  EXPECT_EQ(convert("银行音乐"), "银行音月");
  testing::internal::CaptureStdout();
  reload_duoying_file();  // unchanged: nothing printed, nothing reloaded
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  fs::remove(file());
  testing::internal::CaptureStdout();
  reload_duoying_file();
  testing::internal::GetCapturedStdout();
  int len = 0;
  const char *text = "音乐";
  EXPECT_EQ(convert_utf8(text, 6, &len), text);  // the table was freed
}

// The table the device ships, made from public dictionaries: typical
// polyphones are replaced, and the engine's Mandarin voice (without its own
// lexicon) then reads them as the pinyin says.
TEST_F(DuoYing, ShippedTableCorrectsTypicalPolyphones) {
  fs::copy_file(SourcePath("/data/duo_ying_zi.res"), file());
  testing::internal::CaptureStdout();
  ASSERT_EQ(InitDuoYing(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("DealLine"), std::string::npos);
  const std::pair<const char *, const char *> cases[] = {
      {"银行", "银hang2"}, {"长大", "zhang3大"}, {"重复", "chong2复"}, {"音乐", "音yue4"}};
  std::vector<std::string> replaced;
  for (auto [word, pinyin] : cases) {
    replaced.push_back(convert(word));
    EXPECT_NE(replaced.back(), word);
  }
  char dir[512];
  if (ivTTS_FindDataPath(dir, sizeof dir) != 0) GTEST_SKIP() << "no espeak-ng data for the reading check";
  auto heap = std::make_unique<unsigned char[]>(ivTTS_HEAP_SIZE);
  ivHTTS h = nullptr;
  ASSERT_EQ(ivTTS_CreateG(&h, heap.get(), ivTTS_HEAP_SIZE, nullptr, nullptr, 0, nullptr), 0);
  auto phonemes = [&](const std::string &text) {
    char out[512];
    return ivTTS_GetPhonemes(h, text.c_str(), out, sizeof out) >= 0 ? std::string(out) : std::string("?");
  };
  for (size_t i = 0; i < replaced.size(); i++) {
    EXPECT_EQ(phonemes(replaced[i]), phonemes(cases[i].second)) << cases[i].first << " -> " << replaced[i];
    EXPECT_NE(phonemes(cases[i].first), phonemes(cases[i].second)) << cases[i].first;
  }
  ivTTS_Destroy(h);
}

}  // namespace
