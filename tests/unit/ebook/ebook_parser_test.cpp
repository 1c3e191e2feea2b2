#include "ebook/ebook_parser.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using ebooktest::convert;
using ebooktest::TempDir;

TEST(EbookRegistry, FindsRecordsByExtension) {
  struct Case {
    const char *name;
    ebook_parser *want;
  } cases[] = {
      {"book.txt", &ebook_parser_for_txt},       {"/mnt/sdcard/BOOK.TXT", &ebook_parser_for_txt},
      {"a.b.Ebk", &ebook_parser_for_ebk},        {"x.ebd", &ebook_parser_for_ebd},
      {"x.ebe", &ebook_parser_for_ebe},          {"x.docx", &ebook_parser_for_docx},
      {"x.pdf", &ebook_parser_for_pdf},          {"x.epub", &ebook_parser_for_epub},
      {"x.doc", &ebook_parser_for_doc},          {"x.htm", &ebook_parser_for_htm},
      {"x.HTML", &ebook_parser_for_html},        {"song.lrc", &ebook_parser_for_lrc},
      {"page.mht", &ebook_parser_for_mht},       {"README", nullptr},
      {"book.", nullptr},                        {"book.txt.mp3", nullptr},
      {"dir.txt/book", nullptr},                 {"", nullptr},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(find_ebook_parser(c.name), c.want) << c.name;
    EXPECT_EQ(check_is_ebook(c.name), c.want ? 1 : 0) << c.name;
  }
  EXPECT_EQ(find_ebook_parser(nullptr), nullptr);
  EXPECT_EQ(get_extension_name("book."), nullptr);
  EXPECT_STREQ(get_extension_name("a.tar.gz"), "gz");
  int n = 0;
  while (g_ebook_parser_list[n]) n++;
  EXPECT_EQ(n, 12);
}

// Opens path with record p and joins all its pages.
// Reads the pages in order, as the reader does (a text book is paged as
// reading reaches its pages), then asks the page count.
std::string readAll(ebook_parser *p, const std::string &path, int *pages = nullptr) {
  EXPECT_EQ(p->open(p, path.c_str()), 0) << path;
  std::string all;
  int total = 0;
  for (const char *text = nullptr;; total++) {
    int n = p->read_page(p, total, &text);
    if (n <= 0) break;
    all.append(text, static_cast<size_t>(n));
  }
  EXPECT_EQ(p->get_total_pages(p), total);
  if (pages) *pages = total;
  p->close(p);
  return all;
}

// Where two long texts part, for a readable failure.
std::string firstDifference(const std::string &a, const std::string &b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
  if (i == a.size() && i == b.size()) return "equal";
  size_t from = i > 20 ? i - 20 : 0;
  return "sizes " + std::to_string(a.size()) + "/" + std::to_string(b.size()) + ", first difference at " +
         std::to_string(i) + ": [" + a.substr(from, 40) + "] vs [" + b.substr(from, 40) + "]";
}

unsigned seed() {
  const char *env = std::getenv("TB_EBOOK_SEED");
  return env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 20241113u;
}

// Random text of the characters that the target set can encode, with dense
// multi-byte characters and long stretches without a break character, so
// page cuts land inside characters unless the cutter keeps them whole.
struct TextMaker {
  std::mt19937 rng;
  std::vector<std::string> letters, hanzi, breaks, wide, rare;  // encoded in the target set
  std::vector<std::string> letters8, hanzi8, breaks8, wide8, rare8;  // the same in UTF-8
  const char *set;

  TextMaker(const char *iconvName, unsigned s) : rng(s), set(iconvName) {
    auto add = [&](std::vector<std::string> *enc, std::vector<std::string> *u8, const std::string &ch) {
      bool ok = false;
      std::string e = convert(ch, iconvName, "UTF-8", &ok);
      if (ok && !e.empty()) {
        enc->push_back(e);
        u8->push_back(ch);
      }
    };
    for (char c = 'a'; c <= 'z'; c++) add(&letters, &letters8, std::string(1, c));
    for (const char *w : {"A", "Q", "0", "7", " ", " ", "3.14", "e.g", "'", "\""}) add(&letters, &letters8, w);
    for (const char *b : {".", ",", "!", "?", ":", ";", "\n", "\r\n", ". "}) add(&breaks, &breaks8, b);
    for (const char *w : {"。", "，", "、", "！", "？", "“", "”", "《", "》", "（", "）", "：", "「", "」"})
      add(&wide, &wide8, w);
    for (const char *r : {"é", "ж", "ö", "Ω", "\xF0\x9F\x98\x80", "\xF0\xA0\x80\x80", "\xF0\x9D\x84\x9E", "€"})
      add(&rare, &rare8, r);
    std::uniform_int_distribution<int> cjk(0x4E00, 0x9FA5);
    for (int i = 0; i < 600; i++) {
      int cp = cjk(rng);
      std::string u8 = {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                        static_cast<char>(0x80 | (cp & 0x3F))};
      add(&hanzi, &hanzi8, u8);
    }
  }

  // Appends one character of a class to both texts.
  void put(std::string *enc, std::string *u8, const std::vector<std::string> &e, const std::vector<std::string> &u) {
    if (e.empty()) return;
    size_t i = std::uniform_int_distribution<size_t>(0, e.size() - 1)(rng);
    *enc += e[i];
    *u8 += u[i];
  }

  // At least bytes bytes of encoded text; *u8 gets the same text in UTF-8.
  std::string make(size_t bytes, std::string *u8, bool asciiOnly = false) {
    std::string enc;
    std::uniform_int_distribution<int> pick(0, 99);
    while (enc.size() < bytes) {
      bool noBreaks = pick(rng) < 25;
      int run = noBreaks ? 150 + pick(rng) * 4 : 40;
      for (int i = 0; i < run; i++) {
        int p = pick(rng);
        if (asciiOnly) {
          if (p < 90) put(&enc, u8, letters, letters8);
          else if (!noBreaks) put(&enc, u8, breaks, breaks8);
        } else if (p < 30) {
          put(&enc, u8, letters, letters8);
        } else if (p < 75 || (noBreaks && p < 90)) {
          put(&enc, u8, hanzi, hanzi8);
        } else if (p < 85) {
          put(&enc, u8, rare, rare8);
        } else if (!noBreaks) {
          put(&enc, u8, p < 93 ? breaks : wide, p < 93 ? breaks8 : wide8);
        }
      }
    }
    return enc;
  }
};

class PlainText : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(register_iconv_cd(), 0); }
  TempDir dir_;
};

// The pages of a file, joined, are iconv's conversion of the whole file:
// no character is cut, lost or doubled at a page boundary or at a refill of
// the work buffer.
TEST_F(PlainText, PagesJoinedEqualTheWholeFileConverted) {
  struct Case {
    const char *set;
    const char *bom;
    size_t bom_len;
    size_t minBytes, maxBytes;
    int want;
  } cases[] = {
      {"UTF-8", "", 0, 1 << 20, 3 << 20, CHARSET_UTF8},
      {"UTF-16LE", "\xFF\xFE", 2, 1 << 20, 3 << 20, CHARSET_UTF16LE},
      {"UTF-16BE", "", 0, 1 << 20, 3 << 20, CHARSET_UTF16BE},
      {"GB18030", "", 0, 1 << 20, 3 << 20, CHARSET_NOT_TEXT},  // four-byte sequences make it "not text"
      {"GBK", "", 0, 1 << 20, 3 << 20, CHARSET_GBK},
      {"BIG5", "", 0, 1 << 20, 3 << 20, CHARSET_BIG5},
      {"UTF-8", "\xEF\xBB\xBF", 3, 200000, 600000, CHARSET_UTF8},
      {"UTF-16LE", "", 0, 200000, 600000, CHARSET_UTF16LE},
      {"UTF-16BE", "\xFE\xFF", 2, 200000, 600000, CHARSET_UTF16BE},
  };
  unsigned s = seed();
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.set) + (c.bom_len ? " with mark" : "") + ", seed " + std::to_string(s));
    TextMaker maker(c.set, s++);
    size_t size = std::uniform_int_distribution<size_t>(c.minBytes, c.maxBytes)(maker.rng);
    std::string u8 = "Title of the book\n";
    std::string body = convert(u8, c.set, "UTF-8");
    body += maker.make(size, &u8);
    bool ok = false;
    std::string expected = convert(body, "UTF-8", c.set, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(expected == u8) << firstDifference(expected, u8);
    std::string file = std::string(c.bom, c.bom_len) + body;
    EXPECT_EQ(get_charset(reinterpret_cast<const unsigned char *>(file.data()),
                          static_cast<int>(std::min<size_t>(file.size(), 0x80000))),
              c.want);

    std::string path = dir_.file("book.txt");
    ASSERT_TRUE(WriteFile(path, file));
    int pages = 0;
    std::string joined = readAll(&ebook_parser_for_txt, path, &pages);
    EXPECT_TRUE(joined == expected) << firstDifference(joined, expected);
    EXPECT_GE(pages, static_cast<int>(body.size() / 504));
    EXPECT_LE(pages, static_cast<int>(body.size() / 400) + 1);
  }
}

// A text book opens paged only so far; its whole table, made by another
// opening of the book, is handed over and read as its own.
TEST_F(PlainText, APagedTableIsHandedToAnotherOpening) {
  TextMaker maker("GBK", seed());
  std::string u8;
  const std::string path = dir_.file("big.txt");
  ASSERT_TRUE(WriteFile(path, maker.make(2 << 20, &u8)));
  ebook_parser reading = ebook_parser_for_txt, counting = ebook_parser_for_txt;
  ASSERT_EQ(reading.open(&reading, path.c_str()), 0);
  ASSERT_EQ(counting.open(&counting, path.c_str()), 0);
  const int known = ebook_text_known_pages(&reading);
  EXPECT_GT(known, 1000);
  EbookTextPages table;
  ASSERT_EQ(ebook_text_get_pages(&counting, &table), 0);
  const int total = counting.get_total_pages(&counting);
  EXPECT_GT(total, known);
  EXPECT_EQ(ebook_text_known_pages(&counting), -1);  // whole
  ASSERT_EQ(ebook_text_set_pages(&reading, table), 0);
  EXPECT_EQ(ebook_text_known_pages(&reading), -1);
  EXPECT_EQ(reading.get_total_pages(&reading), total);
  const char *a = nullptr, *b = nullptr;
  int n = reading.read_page(&reading, total - 1, &a);
  std::string last(a ? a : "", static_cast<size_t>(std::max(n, 0)));
  ASSERT_EQ(counting.read_page(&counting, total - 1, &b), n);
  EXPECT_EQ(last, std::string(b, static_cast<size_t>(n)));
  EXPECT_EQ(ebook_text_set_pages(&reading, table), -1);  // whole already
  reading.close(&reading);
  counting.close(&counting);
}

// A long ASCII preface decides nothing: the set is detected where the first
// non-ASCII byte appears, past the first 512 KiB and past a refill.
TEST_F(PlainText, AsciiPrefaceThenAnotherSet) {
  for (const char *set : {"GBK", "BIG5", "UTF-8"}) {
    SCOPED_TRACE(set);
    TextMaker maker(set, seed());
    std::string u8;
    std::string ascii = maker.make(700000, &u8, true);
    std::string rest8;
    std::string rest = maker.make(200000, &rest8);
    std::string path = dir_.file("late.txt");
    ASSERT_TRUE(WriteFile(path, ascii + rest));
    std::string joined = readAll(&ebook_parser_for_txt, path);
    std::string expected = u8 + rest8;
    EXPECT_TRUE(joined == expected) << firstDifference(joined, expected);
  }
}

TEST_F(PlainText, SmallFilesMarksAndFailures) {
  ebook_parser *p = &ebook_parser_for_txt;
  std::string small(300, 'x');
  ASSERT_TRUE(WriteFile(dir_.file("small.txt"), small));
  int pages = 0;
  EXPECT_EQ(readAll(p, dir_.file("small.txt"), &pages), small);
  EXPECT_EQ(pages, 1);

  ASSERT_TRUE(WriteFile(dir_.file("one.txt"), "A"));
  EXPECT_EQ(readAll(p, dir_.file("one.txt"), &pages), "A");
  EXPECT_EQ(pages, 1);

  ASSERT_TRUE(WriteFile(dir_.file("empty.txt"), ""));
  EXPECT_EQ(readAll(p, dir_.file("empty.txt"), &pages), "");
  EXPECT_EQ(pages, 0);

  // The byte-order mark is never part of a page.
  ASSERT_TRUE(WriteFile(dir_.file("bom.txt"), "\xEF\xBB\xBFHello."));
  EXPECT_EQ(readAll(p, dir_.file("bom.txt")), "Hello.");

  // Exactly 1 MiB of ASCII: pages of 400-500 bytes across the refills.
  std::string mib;
  while (mib.size() < (1u << 20)) mib += "All work and no play makes a dull reader, they say. ";
  mib.resize(1u << 20);
  ASSERT_TRUE(WriteFile(dir_.file("mib.txt"), mib));
  ASSERT_EQ(p->open(p, dir_.file("mib.txt").c_str()), 0);
  std::string joined;
  for (int k = 0; k < p->get_total_pages(p); k++) {
    const char *text = nullptr;
    int n = p->read_page(p, k, &text);
    if (k + 1 < p->get_total_pages(p)) {
      EXPECT_GE(n, 400) << k;
      EXPECT_LE(n, 500) << k;
    }
    joined.append(text, static_cast<size_t>(n));
  }
  EXPECT_TRUE(joined == mib) << firstDifference(joined, mib);

  const char *text = nullptr;
  EXPECT_EQ(p->open(p, dir_.file("mib.txt").c_str()), -4);  // open already
  EXPECT_EQ(p->read_page(p, -1, &text), 0);
  EXPECT_EQ(p->read_page(p, p->get_total_pages(p), &text), 0);
  EXPECT_EQ(p->read_page(p, 0, nullptr), 0);
  EXPECT_EQ(p->close(p), 0);
  EXPECT_EQ(p->get_total_pages(p), 0);
  EXPECT_EQ(p->read_page(p, 0, &text), 0);
  EXPECT_EQ(p->open(p, dir_.file("missing.txt").c_str()), -6);
  EXPECT_EQ(p->context, nullptr);
  EXPECT_EQ(p->close(nullptr), -1);
}

std::string scramble(const std::string &text, const unsigned char key[8]) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); i++) out[i] = static_cast<char>(out[i] ^ key[i % 8]);
  return out;
}

TEST_F(PlainText, ScrambledFormatsDecodeFromAnyPage) {
  TextMaker maker("UTF-8", seed());
  std::string u8;
  std::string text = maker.make(30000, &u8);
  ASSERT_TRUE(WriteFile(dir_.file("plain.txt"), text));
  ebook_parser *txt = &ebook_parser_for_txt;
  ASSERT_EQ(txt->open(txt, dir_.file("plain.txt").c_str()), 0);
  int total = txt->get_total_pages(txt);
  ASSERT_GT(total, 40);
  const char *page = nullptr;
  int n = txt->read_page(txt, 37, &page);
  std::string page37(page, static_cast<size_t>(n));
  txt->close(txt);

  const unsigned char key[8] = {1, 0x80, 0xFF, 0x3C, 7, 0x55, 0xAA, 0x10};
  set_xor_value_for_ebd(key);
  ASSERT_TRUE(WriteFile(dir_.file("book.ebd"), scramble(text, key)));
  ebook_parser *ebd = &ebook_parser_for_ebd;
  ASSERT_EQ(ebd->open(ebd, dir_.file("book.ebd").c_str()), 0);
  EXPECT_EQ(ebd->get_total_pages(ebd), total);
  n = ebd->read_page(ebd, 37, &page);
  EXPECT_EQ(std::string(page, static_cast<size_t>(n)), page37);
  ebd->close(ebd);

  // The ebe key: read_raw over a file of zero bytes returns key bytes.
  // Which key byte comes first depends on where the page read stopped, so
  // each rotation is tried on a scrambled copy of the text.
  ebook_parser *ebe = &ebook_parser_for_ebe;
  ASSERT_TRUE(WriteFile(dir_.file("zero.ebe"), std::string(4096, '\0')));
  ASSERT_EQ(ebe->open(ebe, dir_.file("zero.ebe").c_str()), 0);
  ASSERT_GT(ebe->read_page(ebe, 0, &page), 0);
  unsigned char stream[16];
  ASSERT_EQ(ebe->read_raw(ebe, stream, 16), 16);
  ebe->close(ebe);
  bool matched = false;
  for (int rot = 0; rot < 8 && !matched; rot++) {
    unsigned char ebeKey[8];
    for (int i = 0; i < 8; i++) ebeKey[(rot + i) % 8] = stream[i];
    ASSERT_TRUE(WriteFile(dir_.file("book.ebe"), scramble(text, ebeKey)));
    ASSERT_EQ(ebe->open(ebe, dir_.file("book.ebe").c_str()), 0);
    n = ebe->read_page(ebe, 37, &page);
    matched = ebe->get_total_pages(ebe) == total && std::string(page, static_cast<size_t>(n > 0 ? n : 0)) == page37;
    ebe->close(ebe);
  }
  EXPECT_TRUE(matched);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(stream), 8), std::string(reinterpret_cast<char *>(stream + 8), 8));
}

TEST_F(PlainText, LyricsLoseTheirTags) {
  struct Case {
    const char *what;
    std::string file;
    std::string want;
  } cases[] = {
      {"UTF-8", "[ti:Song]\n[00:01.00]Line one\n[00:05.00][00:09.50]Line two\n[unterminated tag",
       "\nLine one\nLine two\n"},
      {"UTF-8 mark", "\xEF\xBB\xBF[00:01]Hello", "Hello"},
      {"GBK", convert("[ar:歌手]\n[00:01.00]第一行，歌词\n", "GBK", "UTF-8"), "\n第一行，歌词\n"},
      {"UTF-16LE mark", "\xFF\xFE" + convert("[00:01]你好 world", "UTF-16LE", "UTF-8"), "你好 world"},
  };
  ebook_parser *p = &ebook_parser_for_lrc;
  for (const Case &c : cases) {
    ASSERT_TRUE(WriteFile(dir_.file("song.lrc"), c.file));
    int pages = 0;
    EXPECT_EQ(readAll(p, dir_.file("song.lrc"), &pages), c.want) << c.what;
    EXPECT_EQ(pages, 1) << c.what;
  }
  // A long lyric is paged like UTF-8 text.
  std::string longLrc, want;
  for (int i = 0; i < 400; i++) {
    longLrc += "[00:" + std::to_string(i % 60) + ".00]第" + std::to_string(i) + "行歌词\n";
    want += "第" + std::to_string(i) + "行歌词\n";
  }
  ASSERT_TRUE(WriteFile(dir_.file("long.lrc"), longLrc));
  int pages = 0;
  EXPECT_EQ(readAll(p, dir_.file("long.lrc"), &pages), want);
  EXPECT_GT(pages, 10);
  EXPECT_EQ(p->open(p, dir_.file("missing.lrc").c_str()), -6);
}

}  // namespace
