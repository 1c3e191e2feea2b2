#include "ebook/wordlist.h"
#include "support/files.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using ebooktest::TempDir;

void put16(std::string *s, size_t at, unsigned v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string *s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*s)[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// A list file over first..last with the given words per code (UTF-16 units),
// padded with a filler entry so it passes the minimum size.
std::string makeList(unsigned first, unsigned last, const std::map<unsigned, std::vector<std::u16string>> &words) {
  std::string area;
  std::vector<uint32_t> offsets;
  for (unsigned code = first; code <= last; code++) {
    offsets.push_back(static_cast<uint32_t>(area.size()));
    auto it = words.find(code);
    if (it == words.end()) continue;
    const auto &w = it->second;
    area += static_cast<char>(w.size());
    for (const auto &word : w) area += static_cast<char>(word.size());
    if (w.size() % 2 == 0) area += '\0';
    for (const auto &word : w)
      for (char16_t u : word) {
        area += static_cast<char>(u & 0xFF);
        area += static_cast<char>(u >> 8);
      }
  }
  if (area.size() < 12000) area.resize(12000, '\0');  // belongs to the last code
  offsets.push_back(static_cast<uint32_t>(area.size()));
  uint32_t wordsOffset = 512 + 4 * static_cast<uint32_t>(offsets.size());
  std::string file(wordsOffset, '\0');
  std::memcpy(file.data(), "WordList", 9);
  put16(&file, 32, first);
  put16(&file, 34, last);
  put32(&file, 36, 512);
  put32(&file, 40, wordsOffset);
  for (size_t i = 0; i < offsets.size(); i++) put32(&file, 512 + 4 * i, offsets[i]);
  return file + area;
}

std::u16string wordAt(const unsigned char *p, int units) {
  std::u16string s;
  for (int i = 0; i < units; i++) s += static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  return s;
}

class WordListTest : public ::testing::Test {
 protected:
  void TearDown() override { WordList_DeInit(); }
  TempDir dir_;
};

TEST_F(WordListTest, GivesTheWordsOfEachCode) {
  // Code 0x5F00 with 2 words (pad byte), 0x5F02 with 1 word (no pad),
  // 0x5F01 without words.
  std::string file = makeList(0x5F00, 0x5F03,
                              {{0x5F00, {u"开心", u"打开"}}, {0x5F02, {u"弓"}}, {0x5F03, {u"弓长张"}}});
  std::string path = dir_.file("WordList.bin");
  ASSERT_TRUE(WriteFile(path, file));

  const unsigned char *words[kWordListMaxWords];
  unsigned char lengths[kWordListMaxWords];
  EXPECT_EQ(WordList_GetWords(0x5F00, words, lengths), -1);  // not loaded
  ASSERT_EQ(WordList_InitFrom(path.c_str()), 0);
  ASSERT_EQ(WordList_InitFrom(path.c_str()), 0);  // loaded already

  ASSERT_EQ(WordList_GetWords(0x5F00, words, lengths), 2);
  EXPECT_EQ(wordAt(words[0], lengths[0]), u"开心");
  EXPECT_EQ(wordAt(words[1], lengths[1]), u"打开");
  EXPECT_EQ(WordList_GetWords(0x5F01, words, lengths), 0);
  ASSERT_EQ(WordList_GetWords(0x5F02, words, lengths), 1);
  EXPECT_EQ(wordAt(words[0], lengths[0]), u"弓");
  ASSERT_EQ(WordList_GetWords(0x5F03, words, lengths), 1);  // the last code covered
  EXPECT_EQ(wordAt(words[0], lengths[0]), u"弓长张");
  EXPECT_EQ(WordList_GetWords(0x5EFF, words, lengths), 0);  // one below the first
  EXPECT_EQ(WordList_GetWords(0x5F04, words, lengths), 0);
  EXPECT_EQ(WordList_GetWords(0x5F00, nullptr, lengths), -1);
}

TEST_F(WordListTest, RejectsDamagedFiles) {
  std::string good = makeList(0x4E00, 0x4E10, {{0x4E00, {u"一个"}}});
  struct Case {
    const char *what;
    std::string bytes;
  };
  std::vector<Case> cases;
  auto with = [&](const char *what, auto change) {
    std::string b = good;
    change(&b);
    cases.push_back({what, b});
  };
  with("wrong tag", [](std::string *b) { (*b)[0] = 'w'; });
  with("last before first", [](std::string *b) { put16(b, 34, 0x4D00); });
  with("table not at 512", [](std::string *b) { put32(b, 36, 516); });
  with("words area inside the table", [](std::string *b) { put32(b, 40, 520); });
  with("size differs from the end offset", [](std::string *b) { b->push_back('\0'); });
  with("truncated", [](std::string *b) { b->resize(b->size() - 100); });
  with("exactly 10240 bytes", [](std::string *b) { b->resize(10240); });
  with("too small", [](std::string *b) { b->resize(5000); });
  cases.push_back({"empty", ""});

  std::string path = dir_.file("WordList.bin");
  for (const Case &c : cases) {
    ASSERT_TRUE(WriteFile(path, c.bytes));
    EXPECT_EQ(WordList_InitFrom(path.c_str()), -1) << c.what;
  }
  EXPECT_EQ(WordList_InitFrom(dir_.file("missing.bin").c_str()), -1);
  ASSERT_TRUE(WriteFile(path, good));
  EXPECT_EQ(WordList_InitFrom(path.c_str()), 0);
}

TEST_F(WordListTest, DamagedEntryYieldsNoWords) {
  // The entry claims a word longer than the entry itself.
  std::string file = makeList(0x4E00, 0x4E01, {{0x4E00, {u"一个"}}});
  uint32_t wordsOffset = 512 + 4 * 3;
  file[wordsOffset + 1] = static_cast<char>(200);
  std::string path = dir_.file("WordList.bin");
  ASSERT_TRUE(WriteFile(path, file));
  ASSERT_EQ(WordList_InitFrom(path.c_str()), 0);
  const unsigned char *words[kWordListMaxWords];
  unsigned char lengths[kWordListMaxWords];
  EXPECT_EQ(WordList_GetWords(0x4E00, words, lengths), 0);
}

TEST_F(WordListTest, ShippedListExplainsCommonCharacters) {
  ASSERT_EQ(WordList_InitFrom(SourcePath("/data/WordList.bin").c_str()), 0);
  const unsigned char *words[kWordListMaxWords];
  unsigned char lengths[kWordListMaxWords];
  for (char16_t ch : std::u16string(u"开张的书們說")) {
    int n = WordList_GetWords(ch, words, lengths);
    ASSERT_GT(n, 0) << static_cast<unsigned>(ch);
    for (int i = 0; i < n; i++) {
      std::u16string w = wordAt(words[i], lengths[i]);
      EXPECT_NE(w.find(ch), std::u16string::npos);
    }
  }
}

}  // namespace
