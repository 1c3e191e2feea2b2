// Hostile input: random bytes and damaged files through every reader of
// this module. Buffers are exactly as long as their data, so the sanitizer
// build catches any read past them; the checks are that nothing crashes and
// the results stay within their contracts.
#include "ebook/charset.h"
#include "ebook/ebook_parser.h"
#include "ebook/wordlist.h"
#include "ebook/xml_sax.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

using ebooktest::TempDir;

std::string randomBytes(std::mt19937 &rng, size_t n, bool highBytes) {
  std::string s(n, '\0');
  std::uniform_int_distribution<int> byte(0, 255);
  for (char &c : s) {
    int b = byte(rng);
    // Mostly text-like bytes, so the double-byte and UTF-8 paths are taken.
    if (highBytes && b < 96) b = 0x80 + b;
    c = static_cast<char>(b);
  }
  return s;
}

TEST(Robustness, DetectionAndPageCutsStayInsideTheBuffer) {
  std::mt19937 rng(7);
  const PageSizeFunc cutters[] = {get_page_size_for_utf8, get_page_size_for_gbk, get_page_size_for_big5,
                                  get_page_size_for_utf16le, get_page_size_for_utf16be};
  for (int round = 0; round < 300; round++) {
    size_t n = std::uniform_int_distribution<size_t>(0, 1200)(rng);
    std::string bytes = randomBytes(rng, n, round % 2 == 0);
    std::unique_ptr<unsigned char[]> exact(new unsigned char[n ? n : 1]);
    std::memcpy(exact.get(), bytes.data(), n);
    int code = get_charset(exact.get(), static_cast<int>(n));
    EXPECT_TRUE(code == 0 || code == 936 || code == 950 || code == 65001 || code == 65005 || code == 65006);
    for (PageSizeFunc cut : cutters) {
      int page = cut(exact.get(), static_cast<int>(n));
      EXPECT_GE(page, n ? 1 : 0);
      EXPECT_LE(page, static_cast<int>(n));
      if (n > 500) {
        EXPECT_LE(page, 504);
      }
    }
  }
}

TEST(Robustness, ReadersSurviveBinaryFiles) {
  ASSERT_EQ(register_iconv_cd(), 0);
  std::mt19937 rng(11);
  TempDir dir;
  for (int round = 0; round < 12; round++) {
    size_t n = std::uniform_int_distribution<size_t>(0, 40000)(rng) | (round % 2);  // odd sizes too
    std::string bytes = randomBytes(rng, n, round % 3 != 0);
    if (round == 4) bytes = "\xFF\xFE" + bytes;  // UTF-16 mark before junk
    for (ebook_parser *p : {&ebook_parser_for_txt, &ebook_parser_for_ebd, &ebook_parser_for_lrc}) {
      std::string path = dir.file(std::string("junk.") + p->extension);
      ASSERT_TRUE(WriteFile(path, bytes));
      ASSERT_EQ(p->open(p, path.c_str()), 0) << p->extension;
      int total = p->get_total_pages(p);
      if (p != &ebook_parser_for_lrc) {
        EXPECT_GE(total, static_cast<int>(bytes.size() / 504));
      }
      for (int k = 0; k < total; k++) {
        const char *text = nullptr;
        int len = p->read_page(p, k, &text);
        EXPECT_GE(len, 0);
        EXPECT_LE(len, 512 * 3 + 3);
      }
      p->close(p);
    }
  }
}

TEST(Robustness, SaxSurvivesMutatedBooks) {
  std::string base =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE smil [<!ENTITY e \"entity &amp; text\">]>\n"
      "<smil><head><meta name=\"dc:title\" content=\"A &amp; B\"/></head><body><seq dur=\"1.5s\">";
  for (int i = 0; i < 30; i++)
    base += "<par id=\"p" + std::to_string(i) + "\"><text src=\"c.html#t" + std::to_string(i) +
            "\"/><audio src=\"a.mp3\" clip-begin=\"npt=" + std::to_string(i) + ".0s\"/>&e; 中文&nbsp;<![CDATA[x<y]]></par>";
  base += "</seq></body></smil>\n";
  std::mt19937 rng(3);
  const char inserts[] = "<>&\"';/![]\xE4\x00\xFF";
  // One short pass: the DAISY readers' fuzz targets drive this parser at length.
  for (int round = 0; round < 20; round++) {
    std::string doc = base;
    int edits = std::uniform_int_distribution<int>(1, 12)(rng);
    for (int e = 0; e < edits && !doc.empty(); e++) {
      size_t at = std::uniform_int_distribution<size_t>(0, doc.size() - 1)(rng);
      switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
        case 0: doc.erase(at, std::uniform_int_distribution<size_t>(1, 40)(rng)); break;
        case 1: doc.insert(at, 1, inserts[std::uniform_int_distribution<size_t>(0, sizeof inserts - 2)(rng)]); break;
        case 2: doc[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng)); break;
        default: doc.resize(at); break;
      }
    }
    struct Counter : XmlSaxCallbacks {
      int elements = 0;
      size_t text = 0;
    } c{};
    c.start_element = [](XmlSaxCallbacks *s, const char *name, const char **atts) {
      static_cast<Counter *>(s)->elements++;
      for (int i = 0; atts && atts[i]; i += 2) ASSERT_NE(atts[i + 1], nullptr);
    };
    c.characters = [](XmlSaxCallbacks *s, const char *text, int len) {
      ASSERT_GT(len, 0);
      static_cast<Counter *>(s)->text += static_cast<size_t>(len);
    };
    std::unique_ptr<char[]> exact(new char[doc.size() + 1]);
    std::memcpy(exact.get(), doc.data(), doc.size());
    int rc = xml_sax_parse_memory(exact.get(), static_cast<int>(doc.size()), "mutant", &c);
    EXPECT_TRUE(rc == 0 || rc == -3 || rc == -5) << rc;
  }
}

TEST(Robustness, WordListWithRandomOffsetsNeverReadsOutside) {
  std::mt19937 rng(5);
  TempDir dir;
  for (int round = 0; round < 20; round++) {
    // A valid head over random offsets and words.
    const unsigned first = 0x4E00, last = 0x4E00 + 300;
    const uint32_t wordsOffset = 512 + 4 * (last - first + 2);
    std::string file = randomBytes(rng, wordsOffset + 12000, false);
    std::memcpy(file.data(), "WordList", 9);
    auto put = [&](size_t at, uint32_t v, int bytes) {
      for (int i = 0; i < bytes; i++) file[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    put(32, first, 2);
    put(34, last, 2);
    put(36, 512, 4);
    put(40, wordsOffset, 4);
    for (unsigned k = 0; k <= last - first; k++)
      put(512 + 4 * k, std::uniform_int_distribution<uint32_t>(0, 14000)(rng), 4);
    put(512 + 4 * (last - first + 1), 12000, 4);
    std::string path = dir.file("WordList.bin");
    ASSERT_TRUE(WriteFile(path, file));
    ASSERT_EQ(WordList_InitFrom(path.c_str()), 0);
    const unsigned char *words[kWordListMaxWords];
    unsigned char lengths[kWordListMaxWords];
    for (unsigned code = first - 1; code <= last + 1; code++) {
      int n = WordList_GetWords(code, words, lengths);
      ASSERT_GE(n, 0);
      for (int i = 0; i < n; i++) {
        volatile unsigned char sink = 0;
        for (int u = 0; u < 2 * lengths[i]; u++) sink = static_cast<unsigned char>(sink ^ words[i][u]);
        (void)sink;
      }
    }
    WordList_DeInit();
  }
}

}  // namespace
