// The reader's text side without speech: sentences of a page, paragraph
// breaks, letter steps with white-space runs, what letter mode says, and
// the whole-book counts over a real book.
#include "ebook/ebook_lines.h"
#include "support/files.h"
#include "ebook/ebook_parser.h"
#include "ebook/wordlist.h"
#include "ebook_test_util.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> sentences(const std::string &text) {
  EbookLines lines;
  InitLineInfo(&lines, text.data(), static_cast<int>(text.size()));
  std::vector<std::string> out;
  for (int i = 0; i < lines.count; i++) {
    int len = 0;
    const char *s = GetSentence(&lines, i, &len);
    out.emplace_back(s, static_cast<size_t>(len));
  }
  return out;
}

using Lines = std::vector<std::string>;

TEST(ReaderSentences, SplitByTheBreakRules) {
  struct Case {
    std::string text;
    Lines expect;
  } cases[] = {
      {"", {""}},
      {"Yes. No", {"Yes. ", "No"}},
      {"Pi is 3.14 here. And e", {"Pi is 3.14 here. ", "And e"}},
      {"file.txt stays whole", {"file.txt stays whole"}},
      {"a,b;c?d!e", {"a,", "b;", "c?", "d!", "e"}},
      {"第一句。第二句！第三句", {"第一句。", "第二句！", "第三句"}},
      {"甲，乙、丙", {"甲，", "乙、", "丙"}},
      {"Line one\nLine two\n", {"Line one\n", "Line two\n"}},
      {"Line one\r\n\r\nLine two", {"Line one\r\n\r\n", "Line two"}},
      // Breaks before any content, and neutral ASCII, start nothing.
      {"...!! \"Hello\" (there.) Next", {"...!! \"Hello\" (there.) ", "Next"}},
      {"\n\n  Title\nBody", {"\n\n  Title\n", "Body"}},
      // A stray byte neither starts nor ends a sentence.
      {"ab.\xff cd", {"ab.\xff ", "cd"}},
      // An opening mark goes with the sentence it opens.
      {"唐诗选《静夜思》床前", {"唐诗选", "《静夜思》", "床前"}},
      {"He said, (quietly) no. [Note] end", {"He said, ", "(quietly) no. ", "[Note] end"}},
      // Hard-wrapped lines: a full line goes on; a short one, or the line
      // before a blank or an indented line, ends its sentence.
      {"The quick brown fox jumps over the lazy\ndog and the slow cat watches from the\nfence all day long.\nTitle\n"
       "Short lines stay apart\n",
       {"The quick brown fox jumps over the lazy\ndog and the slow cat watches from the\nfence all day long.\n",
        "Title\n", "Short lines stay apart\n"}},
      {"A line that is long enough to wrap\n    Indented next paragraph.\r\nA line that is long enough to go\r\n\r\nOn",
       {"A line that is long enough to wrap\n    ", "Indented next paragraph.\r\n",
        "A line that is long enough to go\r\n\r\n", "On"}},
      {"这是一个很长的句子它被硬换行切成了\n两行但仍是同一句。", {"这是一个很长的句子它被硬换行切成了\n两行但仍是同一句。"}},
  };
  for (const Case &c : cases) EXPECT_EQ(sentences(c.text), c.expect) << c.text;
}

TEST(ReaderSentences, CountMatchesTheTable) {
  for (const std::string text : {"", "a", "a. b. c.", "一。二。三", "x\n\ny\n", "3.14. 2.71."}) {
    EbookLines lines;
    EXPECT_EQ(CountLines(text.data(), static_cast<int>(text.size())),
              InitLineInfo(&lines, text.data(), static_cast<int>(text.size())))
        << text;
  }
}

TEST(ReaderSentences, APageStopsAt2000Sentences) {
  std::string text;
  for (int i = 0; i < 2500; i++) text += "a. ";
  EbookLines lines;
  EXPECT_EQ(InitLineInfo(&lines, text.data(), static_cast<int>(text.size())), kEbookMaxLines);
  EXPECT_EQ(lines.start[kEbookMaxLines - 1], 3 * (kEbookMaxLines - 1));
  EXPECT_EQ(lines.start[kEbookMaxLines], 3 * kEbookMaxLines);  // the rest of the page is not read
  EXPECT_EQ(CountLines(text.data(), static_cast<int>(text.size())), kEbookMaxLines);
}

TEST(ReaderParagraphs, RunsOfLineBreaksCountOnce) {
  struct Case {
    std::string text;
    int runs;
  } cases[] = {
      {"", 0}, {"abc", 0}, {"\n", 1}, {"a\r\n\r\nb\nc", 2}, {"\n\n\nx\n", 2}, {"a\rb\rc\r", 3},
  };
  for (const Case &c : cases)
    EXPECT_EQ(CountParagraphBreaks(c.text.data(), static_cast<int>(c.text.size())), c.runs) << c.text;
  const std::string t = "ab\ncd";
  EXPECT_EQ(HasLineBreak(t.data(), 0, 2), 0);
  EXPECT_EQ(HasLineBreak(t.data(), 0, 3), 1);
}

TEST(ReaderParagraphs, ASentenceEndsItsParagraphWithABreakAfterItsText) {
  struct Case {
    std::string text;
    int ends;
  } cases[] = {
      {"Hello.\n", 1}, {"Hello.\r\n  ", 1}, {"\nHello.", 0}, {"\nHello.\n", 1}, {"Hello. ", 0}, {"", 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(EndsWithBreak(c.text.data(), 0, static_cast<int>(c.text.size())), c.ends) << c.text;
}

// A book whose pages cut runs of line breaks in two.
const char *const kCutPages[] = {"a\r", "\nb\n", "\nc"};
int cutTotal(ebook_parser *) { return 3; }
int cutRead(ebook_parser *, int page, const char **text) {
  if (page < 0 || page > 2) return 0;
  *text = kCutPages[page];
  return static_cast<int>(std::strlen(kCutPages[page]));
}

TEST(ReaderParagraphs, ARunCutByAPageEndCountsOnce) {
  ebook_parser book{"txt", nullptr, nullptr, nullptr, nullptr, cutTotal, cutRead, nullptr};
  ASSERT_EQ(doExtraInit(&book, 3), 3);
  EXPECT_EQ(StartParagraphOfPage[1], 1);
  EXPECT_EQ(StartParagraphOfPage[2], 2);
  EXPECT_EQ(StartParagraphOfPage[3], 2);
  EXPECT_EQ(ParagraphsBefore(1, kCutPages[1], 0), 1);
  EXPECT_EQ(ParagraphsBefore(1, kCutPages[1], 1), 1);  // the run began on page 0
  EXPECT_EQ(ParagraphsBefore(1, kCutPages[1], 3), 2);
  EXPECT_EQ(ParagraphsBefore(2, kCutPages[2], 3), 2);
}

// Letter offsets visited forwards from 0, and backwards from the end.
std::vector<int> walkForward(const std::string &t) {
  std::vector<int> out;
  const int n = static_cast<int>(t.size());
  for (int p = 0; p < n; p = NextLetter(t.data(), n, p)) out.push_back(p);
  return out;
}
std::vector<int> walkBack(const std::string &t) {
  std::vector<int> out;
  for (int p = PrevLetter(t.data(), static_cast<int>(t.size())); p >= 0; p = PrevLetter(t.data(), p))
    out.push_back(p);
  return out;
}

TEST(ReaderLetters, WhiteSpaceRunsAreOneLetter) {
  struct Case {
    std::string text;
    std::vector<int> forward, back;
  } cases[] = {
      {"ab", {0, 1}, {1, 0}},
      {"a   b", {0, 1, 4}, {4, 1, 0}},
      {"a \t b", {0, 1, 4}, {4, 1, 0}},
      {"a\r\n\r\nb", {0, 1, 5}, {5, 1, 0}},
      {"a \nb", {0, 1, 2, 3}, {3, 2, 1, 0}},  // a blank and a line break are two runs
      {"中 文", {0, 3, 4}, {4, 3, 0}},
      {"  x", {0, 2}, {2, 0}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(walkForward(c.text), c.forward) << c.text;
    EXPECT_EQ(walkBack(c.text), c.back) << c.text;
  }
}

TEST(ReaderLetters, ARunGoesOnAcrossThePageEnd) {
  const std::string next = "  \nx";
  EXPECT_EQ(SkipRunFrom(next.data(), 4, 0, ' '), 2);   // after a blank the blanks go
  EXPECT_EQ(SkipRunFrom(next.data(), 4, 0, '\n'), 0);  // after a line break they stay
  EXPECT_EQ(SkipRunFrom(next.data(), 4, 0, 'a'), 0);
}

TEST(ReaderLetters, DecodesUtf8AndStrayBytes) {
  struct Case {
    std::string text;
    uint32_t code;
    int len;
  } cases[] = {
      {"a", 'a', 1},          {"中", 0x4E2D, 3},   {"\xc3\xa9", 0xE9, 2}, {"\xf0\x9f\x98\x80", 0x1F600, 4},
      {"\xe4\xb8", 0xE4, 1},  {"\x80z", 0x80, 1}, {"\xe4z\x80", 0xE4, 1},
  };
  for (const Case &c : cases) {
    uint32_t code = 0;
    EXPECT_EQ(Utf8CharAt(c.text.data(), static_cast<int>(c.text.size()), 0, &code), c.len) << c.text;
    EXPECT_EQ(code, c.code) << c.text;
  }
  EXPECT_EQ(Utf8PrevStart("a中", 4), 1);
  EXPECT_EQ(Utf8PrevStart("a中", 1), 0);
  EXPECT_EQ(Utf8PrevStart("a", 0), -1);
}

TEST(ReaderSpeech, SentenceTextForTheVoice) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"  第一句。\r\n", "第一句。"},
      {"旅遊\t指南", "旅游 指南"},  // substituted; the tab is a blank
      {"\n\n", ""},
      {"", ""},
      {"佈告 祐 祂 箋", "布告 佑 他 笺"},
      {"硬换行切成\r\n两行", "硬换行切成两行"},  // no pause inside Chinese
      {"wrapped\nline", "wrapped line"},
  };
  for (const Case &c : cases) EXPECT_EQ(SpeakableSentence(c.in.data(), static_cast<int>(c.in.size())), c.out) << c.in;
}

TEST(ReaderSpeech, WhatALetterSays) {
  WordList_DeInit();
  struct Case {
    uint32_t code;
    int lang;
    std::string says;
  } cases[] = {
      {'a', 1, "a"},       {'7', 1, "7"},          {'.', 0, "点"},   {' ', 1, "空格"},   {'\n', 0, "换行"},
      {0xFF0C, 0, "逗号"}, {0x3002, 1, "句号"},     {0xE9, 0, "未知符号"}, {0x4E2D, 1, "中"},
      {0x904A, 1, "游"},   {0x4E2D, 0, "中"},  // no word list loaded: the character alone
  };
  for (const Case &c : cases) EXPECT_EQ(LetterText(c.code, c.lang), c.says) << std::hex << c.code;
}

TEST(ReaderSpeech, ChineseLettersComeWithExampleWords) {
  WordList_DeInit();
  ASSERT_EQ(WordList_InitFrom(SourcePath("/data/WordList.bin").c_str()), 0);
  const std::string says = LetterText(0x4E2D, 0);  // 中
  WordList_DeInit();
  ASSERT_GT(says.size(), 6u);
  EXPECT_EQ(says.substr(0, 2), ", ");
  EXPECT_NE(says.find("的中"), std::string::npos) << says;
  EXPECT_LE(says.size(), 508u);
}

// A UTF-8 book of several pages through the txt record: the whole-book
// counts add up page by page.
TEST(ReaderBook, WholeBookCountsAddUpPerPage) {
  TempRoot root;
  ASSERT_EQ(register_iconv_cd(), 0);
  std::string text;
  int paragraphs = 0;
  for (int i = 0; i < 40; i++) {
    text += "Sentence " + std::to_string(i) + " one. And two, three!\n";
    paragraphs++;
  }
  root.write("/mnt/emmc/book.txt", text);
  ebook_parser parser = ebook_parser_for_txt;
  ASSERT_EQ(parser.open(&parser, "/mnt/emmc/book.txt"), 0);
  const int total = parser.get_total_pages(&parser);
  ASSERT_GT(total, 2);
  EXPECT_EQ(doExtraInit(&parser, total), total);
  int lines = 0, runs = 0;
  for (int p = 0; p < total; p++) {
    EXPECT_EQ(StartLineOfPage[p], lines) << p;
    EXPECT_EQ(StartParagraphOfPage[p], runs) << p;
    const char *page = nullptr;
    int n = parser.read_page(&parser, p, &page);
    lines += CountLines(page, n);
    runs += CountParagraphBreaks(page, n);
  }
  EXPECT_EQ(StartLineOfPage[total], lines);
  EXPECT_EQ(StartParagraphOfPage[total], paragraphs);
  EXPECT_EQ(lines, 40 * 3);  // every page ends on a sentence end here
  parser.close(&parser);
}

}  // namespace
