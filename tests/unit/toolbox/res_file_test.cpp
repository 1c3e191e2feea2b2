// The resource file reader on files written here in its format: a good
// file read field by field, and damaged or hostile ones (huge counts,
// offsets past the end, missing separators and line ends) refused without
// reading or allocating beyond the file.
#include "toolbox/res_file.h"

#include "ebook/charset.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string S = "\x19";

// A file in the format: records are GBK values joined by the separator.
std::string resFile(const std::string &names, const std::string &sections, const std::vector<std::string> &records) {
  std::string index, body;
  for (size_t i = 0; i < records.size(); i++) {
    std::string r = records[i] + "\r\n";
    char e[96];
    std::snprintf(e, sizeof e, "%07zu%s%09zu%s%05zu", i + 1, S.c_str(), body.size(), S.c_str(), r.size());
    index += e + (i + 1 == records.size() ? std::string("\r\n") : S);
    body += r;
  }
  char head[64];
  std::snprintf(head, sizeof head, "%07zu%s%08zu%s", records.size(), S.c_str(), 17 + index.size(), S.c_str());
  return head + index + names + "\r\n" + sections + "\r\n" + body;
}

// "题目", "答案" in GBK; values include an empty one and one GBK cannot give.
const std::string kNames = "\xCC\xE2\xC4\xBF" + S + "A" + S + "\xB4\xF0\xB0\xB8" + S;
const std::string kGood = resFile(kNames, "g1" + S + "0" + S + "2" + S + "g2" + S + "2" + S + "1" + S,
                                  {"q1" + S + S + "x", "q2" + S + "a2" + S + "y", "q3\xFF\xFF" + S + "a3"});

class ResFile : public ::testing::Test {
 protected:
  void SetUp() override {
    register_iconv_cd();
    InitResCtrl(&ctrl);
    InitResData(&data);
  }
  void TearDown() override {
    FreeResData(&data);
    DeInitSourceFile(&ctrl);
  }
  int open(const std::string &bytes) {
    root.write("/home/res", bytes);
    return InitSourceFile("/home/res", &ctrl);
  }
  std::string spoken(int entry, int which) {
    if (ReadSourceFile(&ctrl.index[entry], &ctrl, &data) != 0) return "<unread>";
    char *t = nullptr;
    if (ResDataToUtfStr(&ctrl, &data, &t, which) != 0) return "<fail>";
    std::string s = t;
    delete[] t;
    return s;
  }
  TempRoot root;
  ResCtrl ctrl;
  ResData data;
};

TEST_F(ResFile, ReadsTablesAndRecords) {
  ASSERT_EQ(open(kGood), 0);
  EXPECT_EQ(ctrl.index_num, 3);
  EXPECT_EQ(ctrl.head_num, 3);
  ASSERT_EQ(ctrl.sect_num, 2);
  EXPECT_STREQ(ctrl.sect[1].name, "g2");
  EXPECT_EQ(ctrl.sect[1].start, 2);
  EXPECT_EQ(find(2, ctrl.index.data(), 3), 1);
  EXPECT_EQ(find(4, ctrl.index.data(), 3), -1);
  EXPECT_EQ(find(0, ctrl.index.data(), 3), -1);
  // An empty value is left out; a record with fewer values reads the rest empty.
  EXPECT_EQ(spoken(0, -1), "题目: q1,答案: x,");
  EXPECT_EQ(spoken(1, -2), "题目: q2,A: a2,");
  EXPECT_EQ(spoken(1, -3), "A: a2,");
  EXPECT_EQ(spoken(1, kResFirstFields | 1), "题目: q2,");
  EXPECT_EQ(spoken(1, 2), "答案: y");
  EXPECT_EQ(spoken(0, 1), "");
  EXPECT_EQ(spoken(1, 3), "<fail>");
  EXPECT_EQ(spoken(2, 0), "题目: q3  ");  // a pair GBK cannot give: two blanks
  EXPECT_EQ(spoken(2, 2), "");
}

TEST_F(ResFile, RefusesDamagedFiles) {
  std::string hugeCount = kGood;
  hugeCount.replace(0, 7, "9999999");
  std::string offsetPast = kGood;
  offsetPast.replace(8, 8, "99999999");
  std::string earlyEnd = kGood;
  earlyEnd.replace(0, 17, "3" + S + "00000000000090" + S);  // second number ends at byte 15... and 16
  std::string shortEnd = kGood;
  shortEnd.replace(8, 8, "0000090" + S);  // the second separator at byte 15
  std::string noSep = kGood;
  noSep[17 + 7] = '0';  // the first entry's id runs into its offset
  std::string lastNoCrLf = kGood;
  lastNoCrLf[17 + 2 * 24 + 23] = S[0];
  std::string noNameEnd = resFile(kNames, "", {});
  noNameEnd.resize(noNameEnd.size() - 4);
  const struct {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"short header", kGood.substr(0, 12)},
      {"huge count", hugeCount},
      {"count beyond the format", "10000000" + S + "0000017" + S + kNames + "\r\n\r\n"},
      {"text offset past the end", offsetPast},
      {"second number ending before byte 16", shortEnd},
      {"letters in a number", earlyEnd.replace(3, 1, "x")},
      {"entry without its separator", noSep},
      {"last entry without CR LF", lastNoCrLf},
      {"field names without CR LF", noNameEnd},
      {"sections not in threes", resFile(kNames, "g1" + S + "0" + S, {"q" + S + "a" + S + "b"})},
      {"no field names", resFile("", "", {"q"})},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(open(c.bytes), -1) << c.what;
    EXPECT_EQ(ctrl.fd, -1) << c.what;
    EXPECT_TRUE(ctrl.index.empty()) << c.what;
  }
  EXPECT_EQ(InitSourceFile("/home/missing", &ctrl), -1);
}

TEST_F(ResFile, RefusesRecordsBeyondTheFile) {
  ASSERT_EQ(open(kGood), 0);
  ResIndex past = ctrl.index[2];
  past.offset += 1000;
  EXPECT_EQ(ReadSourceFile(&past, &ctrl, &data), -1);
  ResIndex cut = ctrl.index[0];
  cut.length -= 1;  // ends before its CR LF
  EXPECT_EQ(ReadSourceFile(&cut, &ctrl, &data), -1);
  ResIndex huge = ctrl.index[0];
  huge.length = 99999;
  EXPECT_EQ(ReadSourceFile(&huge, &ctrl, &data), -1);
  EXPECT_EQ(ReadSourceFile(&ctrl.index[1], &ctrl, &data), 0);
}

TEST(ResValue, ReadsBoundedNumbers) {
  const struct {
    const char *text;
    int max, want;
  } cases[] = {{"42\x19", 100, 42}, {"042\x19", 100, 42}, {"101\x19", 100, -1}, {"42", 100, -1},
               {"\x19", 100, -1},   {"-1\x19", 100, -1}, {"99999999999999999999\x19", 1000000000, -1}};
  for (const auto &c : cases) {
    const char *p = c.text;
    EXPECT_EQ(ReadValue(&p, c.max), c.want) << c.text;
  }
}

}  // namespace
