#include "ebook/charset.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using ebooktest::convert;

int detect(const std::string &b) {
  return get_charset(reinterpret_cast<const unsigned char *>(b.data()), static_cast<int>(b.size()));
}

std::string repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

TEST(Charset, DetectsEachSet) {
  const std::string zh = "中文的书，第一章。";
  const std::string trad = "中文的書，這是第一章。";
  std::string gbk = convert(repeat(zh, 10), "GBK", "UTF-8");
  std::string big5 = convert(repeat(trad, 10), "BIG5", "UTF-8");
  struct Case {
    const char *what;
    std::string bytes;
    int want;
  } cases[] = {
      {"one byte", "\xB0", CHARSET_UTF8},
      {"empty", "", CHARSET_UTF8},
      {"UTF-16LE mark", "\xFF\xFE\x41\x00", CHARSET_UTF16LE},
      {"UTF-16BE mark", "\xFE\xFF\x00\x41", CHARSET_UTF16BE},
      {"UTF-8 mark before GBK bytes", "\xEF\xBB\xBF\xD6\xD0", CHARSET_UTF8},
      {"ASCII as UTF-16LE without mark", convert("Hello world", "UTF-16LE", "UTF-8"), CHARSET_UTF16LE},
      {"ASCII as UTF-16BE without mark", convert("Hello world", "UTF-16BE", "UTF-8"), CHARSET_UTF16BE},
      {"four ASCII units are too few", convert("Hell", "UTF-16LE", "UTF-8") + "\xD6\xD0\xCE\xC4", CHARSET_GBK},
      {"ASCII", "Just a plain English line.\n", CHARSET_UTF8},
      {"UTF-8 Chinese", repeat(zh, 5), CHARSET_UTF8},
      {"UTF-8 with 4-byte characters", "emoji \xF0\x9F\x98\x80 and \xF0\xA0\x80\x80 end", CHARSET_UTF8},
      {"UTF-8 cut inside the last character", repeat(zh, 3) + "\xE4\xB8", CHARSET_UTF8},
      {"two bytes: 3-byte lead", "\xE4\xB8", CHARSET_GBK},
      {"two bytes: 2-byte lead without trail", "\xC4\x41", CHARSET_GBK},
      {"two bytes: valid 2-byte character", "\xC3\xA9", CHARSET_UTF8},
      {"GBK", gbk, CHARSET_GBK},
      {"GBK with a trail byte 0x80-0xA0", "\xB0\xA1\x81\x80", CHARSET_GBK},
      {"Big5", big5, CHARSET_BIG5},
      {"short Big5 is taken as GBK", convert(trad, "BIG5", "UTF-8"), CHARSET_GBK},
      {"lead 0x80 is not text", "abc\x80\x41zz", CHARSET_NOT_TEXT},
      {"trail below 0x40 is not text", "abc\xB0\x20zz", CHARSET_NOT_TEXT},
      {"GB18030 four-byte sequence is not text", "abc\x95\x32\x82\x36zz", CHARSET_NOT_TEXT},
  };
  for (const Case &c : cases) EXPECT_EQ(detect(c.bytes), c.want) << c.what;
}

int pageUtf8(const std::string &s) {
  return get_page_size_for_utf8(reinterpret_cast<const unsigned char *>(s.data()), static_cast<int>(s.size()));
}

TEST(Charset, Utf8PageCuts) {
  std::string letters = repeat("abcdefghij", 60);  // 600 bytes, no break
  EXPECT_EQ(pageUtf8(letters), 500);
  EXPECT_EQ(pageUtf8(letters.substr(0, 300)), 300);
  EXPECT_EQ(pageUtf8(letters.substr(0, 500)), 500);

  std::string stop = letters;
  stop[420] = '.';
  stop[421] = ' ';
  EXPECT_EQ(pageUtf8(stop), 421);  // the full stop ends the page
  stop[421] = '5';                 // 3.5 stays whole: the scan goes on
  EXPECT_EQ(pageUtf8(stop), 500);
  std::string early = letters;
  early[300] = ',';  // before 400: no break
  EXPECT_EQ(pageUtf8(early), 500);

  struct Case {
    const char *what;
    std::string breakChar;
  } breaks[] = {{"comma", ","}, {"question", "?"}, {"at", "@"}, {"line feed", "\n"}, {"ideographic full stop", "。"},
                {"full-width comma", "，"}};
  for (const Case &c : breaks) {
    std::string s = letters.substr(0, 450) + c.breakChar + letters.substr(0, 100);
    EXPECT_EQ(pageUtf8(s), 450 + static_cast<int>(c.breakChar.size())) << c.what;
  }
  // A quote or a space is no break.
  EXPECT_EQ(pageUtf8(letters.substr(0, 450) + "\" " + letters), 500);

  // Multi-byte characters across 400 and 500 are never split.
  for (const std::string ch : {"é", "中", "\xF0\x9F\x98\x80"}) {
    for (int shift = 0; shift < 4; shift++) {
      std::string s = letters.substr(0, static_cast<size_t>(shift)) + repeat(ch, 300);
      int n = pageUtf8(s);
      EXPECT_GE(n, 500) << ch << shift;
      EXPECT_LE(n, 503) << ch << shift;
      EXPECT_EQ((n - shift) % static_cast<int>(ch.size()), 0) << ch << shift;
    }
  }
}

TEST(Charset, DoubleBytePageCuts) {
  std::string hanzi = convert(repeat("中文书本", 100), "GBK", "UTF-8");  // letters only
  auto gbk = [](const std::string &s) {
    return get_page_size_for_gbk(reinterpret_cast<const unsigned char *>(s.data()), static_cast<int>(s.size()));
  };
  auto big5 = [](const std::string &s) {
    return get_page_size_for_big5(reinterpret_cast<const unsigned char *>(s.data()), static_cast<int>(s.size()));
  };
  EXPECT_EQ(gbk(hanzi), 500);
  EXPECT_EQ(gbk("a" + hanzi), 501);  // 500 falls inside a character
  std::string withStop = hanzi.substr(0, 440) + convert("。", "GBK", "UTF-8") + hanzi;
  EXPECT_EQ(gbk(withStop), 442);
  EXPECT_EQ(gbk(hanzi.substr(0, 440) + "\xA1\xB0" + hanzi), 500);  // a curly quote goes on
  EXPECT_EQ(gbk(hanzi.substr(0, 440) + ":" + hanzi), 501);         // no ASCII symbol breaks here
  EXPECT_EQ(gbk(hanzi.substr(0, 440) + "!" + hanzi), 441);
  EXPECT_EQ(gbk(hanzi.substr(0, 440) + "3.14" + hanzi), 500);
  // A GB18030 four-byte character straddling 500 stays whole.
  std::string four = hanzi.substr(0, 498) + "\x95\x32\x82\x36" + hanzi;
  EXPECT_EQ(gbk(four), 502);

  std::string trad = convert(repeat("書本中文", 100), "BIG5", "UTF-8");
  EXPECT_EQ(big5(trad), 500);
  EXPECT_EQ(big5(trad.substr(0, 440) + convert("，", "BIG5", "UTF-8") + trad), 442);
}

TEST(Charset, Utf16PageCutsKeepPairsWhole) {
  std::string letters = convert(repeat("abcdefghij", 60), "UTF-16LE", "UTF-8");
  auto le = [](const std::string &s) {
    return get_page_size_for_utf16le(reinterpret_cast<const unsigned char *>(s.data()), static_cast<int>(s.size()));
  };
  auto be = [](const std::string &s) {
    return get_page_size_for_utf16be(reinterpret_cast<const unsigned char *>(s.data()), static_cast<int>(s.size()));
  };
  EXPECT_EQ(le(letters), 500);
  std::string stop = letters.substr(0, 420) + convert(". ", "UTF-16LE", "UTF-8") + letters;
  EXPECT_EQ(le(stop), 422);
  std::string bigStop = convert(convert(stop, "UTF-8", "UTF-16LE"), "UTF-16BE", "UTF-8");
  EXPECT_EQ(be(bigStop), 422);
  // Surrogate pairs at every alignment around 400 and 500.
  for (int shift : {0, 2}) {
    std::string s = letters.substr(0, static_cast<size_t>(shift)) + convert(repeat("\xF0\x9F\x98\x80", 200), "UTF-16LE", "UTF-8");
    int n = le(s);
    EXPECT_EQ((n - shift) % 4, 0) << shift;
    EXPECT_GE(n, 500);
  }
}

TEST(Charset, PageConversionSkipsBadSequences) {
  ASSERT_EQ(register_iconv_cd(), 0);
  char out[64];
  struct Case {
    const char *what;
    int charset;
    std::string in;
    std::string want;
  } cases[] = {
      {"GBK", CHARSET_GBK, "\xD6\xD0\xCE\xC4", "中文"},
      {"GBK bad pair reads as a space", CHARSET_GBK, "a\xFF\xFF" "b", "a b"},
      {"GBK lone lead at the end", CHARSET_GBK, "ab\xD6", "ab"},
      {"not text reads as GBK", CHARSET_NOT_TEXT, "\xD6\xD0", "中"},
      {"Big5", CHARSET_BIG5, "\xA4\xA4\xA4\xE5", "中文"},
      {"UTF-8 stray byte dropped", CHARSET_UTF8, "a\x80" "b", "ab"},
      {"UTF-8 cut character dropped", CHARSET_UTF8, "ab\xE4\xB8", "ab"},
      {"UTF-16LE", CHARSET_UTF16LE, std::string("a\0b\0", 4), "ab"},
      {"UTF-16BE lone surrogate dropped", CHARSET_UTF16BE, std::string("\0a\xDC\x00\0b", 6), "ab"},
  };
  for (const Case &c : cases) {
    int n = charset_page_to_utf8(c.charset, c.in.data(), static_cast<int>(c.in.size()), out, sizeof out);
    EXPECT_EQ(std::string(out, static_cast<size_t>(n > 0 ? n : 0)), c.want) << c.what;
  }
  // The raw converters keep iconv's contract.
  char in[] = "\xD6\xD0";
  char *ip = in, *op = out;
  size_t il = 2, ol = sizeof out;
  EXPECT_EQ(gbk_to_utf8(&ip, &il, &op, &ol), 0u);
  EXPECT_EQ(il, 0u);
  EXPECT_EQ(std::string(out, sizeof out - ol), "中");
}

// Names written by other devices are spoken as their text; a UTF-8 name,
// even one with a four-byte character, is left as it is.
TEST(Charset, FileNamesReadAsText) {
  ASSERT_EQ(register_iconv_cd(), 0);
  const struct {
    std::string name, want;
  } cases[] = {
      {"plain.txt", "plain.txt"},
      {"读书笔记😀.txt", "读书笔记😀.txt"},
      {convert("读书笔记.txt", "GBK", "UTF-8"), "读书笔记.txt"},
      {convert("大書.txt", "BIG5", "UTF-8"), "大書.txt"},
      {convert("這是第一章.mp3", "BIG5", "UTF-8"), "這是第一章.mp3"},
      {"cut \xE4", "cut "},        // a lone lead byte at the end is dropped
      {"\xFF\xFE.txt", " .txt"},  // no set knows the pair
  };
  for (const auto &c : cases) {
    EXPECT_EQ(charset_name_text(c.name.c_str()), c.want) << c.want;
    EXPECT_EQ(charset_name_is_utf8(c.name.c_str()), c.name == c.want) << c.want;
  }
}

// The converters are shared by the reader, the prompts and the DAISY
// player; each keeps its shift state to one call at a time.
TEST(Charset, ConvertersServeSeveralThreads) {
  ASSERT_EQ(register_iconv_cd(), 0);
  const std::string utf8 = repeat("中文的书，第一章。English text. ", 12);
  const std::string gbk = convert(utf8, "GBK", "UTF-8");
  const std::string le = convert(utf8, "UTF-16LE", "UTF-8");
  auto work = [&](int charset, const std::string &in, int *bad) {
    char out[2048];
    for (int i = 0; i < 300; i++) {
      int n = charset_page_to_utf8(charset, in.data(), static_cast<int>(in.size()), out, sizeof out);
      if (std::string(out, static_cast<size_t>(n > 0 ? n : 0)) != utf8) ++*bad;
    }
  };
  int bad[4] = {};
  std::thread a(work, CHARSET_GBK, std::cref(gbk), &bad[0]);
  std::thread b(work, CHARSET_GBK, std::cref(gbk), &bad[1]);
  std::thread c(work, CHARSET_UTF16LE, std::cref(le), &bad[2]);
  work(CHARSET_UTF8, utf8, &bad[3]);
  a.join();
  b.join();
  c.join();
  for (int k : bad) EXPECT_EQ(k, 0);
}

}  // namespace
