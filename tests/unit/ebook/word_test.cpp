// The Word readers through their e-book records: the same document from
// different writers reads the same, pages follow the rules of each format,
// and every kind of bad file is refused with its reason. Small compound
// files and packages are built here so each case shows what it changes.
#include "ebook/ebook_parser.h"
#include "support/files.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using ebooktest::TempDir;

const std::string kData = SourcePath("/tests/data/word/");

class Word : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(register_iconv_cd(), 0); }
  TempDir dir;
};

// Opens path with the record of its extension; the open result, the pages.
int openPages(const std::string &path, std::vector<std::string> *pages) {
  ebook_parser p = *find_ebook_parser(path.c_str());
  int rc = p.open(&p, path.c_str());
  if (rc != 0) return rc;
  for (int k = 0; k < p.get_total_pages(&p); k++) {
    const char *text = nullptr;
    int n = p.read_page(&p, k, &text);
    pages->emplace_back(text ? text : "", n > 0 ? static_cast<size_t>(n) : 0);
  }
  p.close(&p);
  return 0;
}

std::string joined(const std::string &path, int *count = nullptr) {
  std::vector<std::string> pages;
  EXPECT_EQ(openPages(path, &pages), 0) << path;
  std::string all;
  for (const std::string &p : pages) all += p;
  if (count) *count = static_cast<int>(pages.size());
  while (!all.empty() && all.back() == '\n') all.pop_back();
  return all;
}

TEST_F(Word, WritersAgreeOnTheMainText) {
  const struct {
    const char *lang;
    std::vector<std::string> lines;
  } cases[] = {
      {"en",
       {"A Walk by the River\nThe river was high that morning, and the path was wet. We walked for 3.14 miles before the "
        "rain began.\n“Look,” she said — pointing at the café — “it’s open.”\nThe sign read: coffee €2.50, tea €1.80.\n"
        "See the river guide for more.\nPlace\nMiles\nBridge\n1\nMill\n2\nParagraph 1. The water",
        "and the wind turned cold.\nParagraph 2."}},
      {"zh", {"河边散步\n那天早上河水很高，小路很湿。", "“看，”她说，“咖啡馆开门了。”\n招牌上写着", "请看河流指南。\n第1段。"}},
  };
  for (const auto &c : cases) {
    const std::string lang = c.lang;
    std::string doc = joined(kData + lang + "-libreoffice.doc");
    EXPECT_EQ(joined(kData + lang + "-pandoc.docx"), doc) << lang;
    EXPECT_EQ(joined(kData + lang + "-libreoffice.docx"), doc) << lang;
    for (const std::string &line : c.lines) EXPECT_NE(doc.find(line), std::string::npos) << line;
    // Footnotes and field codes are not main text.
    for (const char *hidden : {"footnote", "HYPERLINK", "example.com"}) EXPECT_EQ(doc.find(hidden), std::string::npos);
  }
}

TEST_F(Word, DocIsPagedLikeUtf16Text) {
  // The same text as a UTF-16LE plain-text file without a byte-order mark.
  std::string text = joined(kData + "en-libreoffice.doc") + "\n";
  ASSERT_TRUE(dir.write("same.txt", ebooktest::convert(text, "UTF-16LE", "UTF-8")));
  std::vector<std::string> doc, txt;
  ASSERT_EQ(openPages(kData + "en-libreoffice.doc", &doc), 0);
  ASSERT_EQ(openPages(dir / "same.txt", &txt), 0);
  EXPECT_GT(doc.size(), 4u);
  EXPECT_EQ(doc, txt);
}

TEST_F(Word, DocxPagesFollowRenderedBreaksOrSize) {
  int pages = 0;
  std::string sample = SamplesDir() + "/word/MentalHealthGuide.docx";
  if (std::filesystem::exists(sample)) {
    joined(sample, &pages);
    EXPECT_EQ(pages, 20);  // 19 rendered page breaks
  }
  std::vector<std::string> pandoc;
  ASSERT_EQ(openPages(kData + "en-pandoc.docx", &pandoc), 0);  // never paged by its writer
  EXPECT_GT(pandoc.size(), 4u);
  for (const std::string &p : pandoc) EXPECT_LE(p.size(), 500u);
}

// ---- packages built here ----

struct Member {
  std::string name, bytes;
  const char *password = nullptr;
};

bool writeZip(const std::string &path, const std::vector<Member> &members) {
  zipFile z = zipOpen64(path.c_str(), 0);
  if (!z) return false;
  for (const Member &m : members) {
    zip_fileinfo info{};
    unsigned long crc = crc32(0, reinterpret_cast<const Bytef *>(m.bytes.data()), static_cast<uInt>(m.bytes.size()));
    if (zipOpenNewFileInZip3(z, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9, 0, -MAX_WBITS,
                             DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, m.password, m.password ? crc : 0) != ZIP_OK)
      return false;
    zipWriteInFileInZip(z, m.bytes.data(), static_cast<unsigned>(m.bytes.size()));
    zipCloseFileInZip(z);
  }
  return zipClose(z, nullptr) == ZIP_OK;
}

const char kMainType[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";

std::string types(const std::string &part, const char *type = kMainType) {
  return "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/" +
         part + "\" ContentType=\"" + type + "\"/></Types>";
}

std::string body(const std::string &inner) {
  return "<?xml version=\"1.0\"?><x:document xmlns:x=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
         "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><x:body>" +
         inner + "</x:body></x:document>";
}

std::string para(const std::string &runs) { return "<x:p>" + runs + "</x:p>"; }
std::string run(const std::string &text) { return "<x:r><x:t>" + text + "</x:t></x:r>"; }
const char kRendered[] = "<x:r><x:lastRenderedPageBreak/></x:r>";

TEST_F(Word, DocxTextComesFromRunsOfTheNamedPart) {
  // Another prefix and part name; field code, tab stops and fallback
  // content are not text; tabs, breaks and hyphens are.
  std::string xml = body(
      para(run("One") + "<x:r><x:tab/><x:t>two</x:t><x:br/><x:t>three</x:t><x:noBreakHyphen/><x:t>four</x:t></x:r>") +
      "<x:p><x:pPr><x:tabs><x:tab x:val=\"left\"/></x:tabs></x:pPr><x:r><x:instrText>PAGE</x:instrText></x:r>" +
      run("Five") + "<mc:AlternateContent><mc:Choice>" + run(" six") + "</mc:Choice><mc:Fallback>" + run(" six") +
      "</mc:Fallback></mc:AlternateContent></x:p>");
  std::string path = dir / "a.docx";
  ASSERT_TRUE(writeZip(path, {{"[Content_Types].xml", types("main/text.xml")}, {"main/text.xml", xml}}));
  EXPECT_EQ(joined(path), "One\ttwo\nthree-four\nFive six");
}

TEST_F(Word, DocxLongRenderedPageIsCutToFitTheSentenceTable) {
  std::string sentences;
  for (int i = 0; i < 1500; i++) sentences += "a,";  // 3000 bytes, 1500 sentences
  std::string xml = body(para(run("Short page.")) + para(kRendered + run(sentences + sentences)) +
                         para(kRendered + run("Last.")));
  std::string path = dir / "long.docx";
  ASSERT_TRUE(writeZip(path, {{"[Content_Types].xml", types("word/document.xml")}, {"word/document.xml", xml}}));
  std::vector<std::string> pages;
  ASSERT_EQ(openPages(path, &pages), 0);
  ASSERT_GT(pages.size(), 4u);
  EXPECT_EQ(pages.front(), "Short page.\n");
  EXPECT_EQ(pages.back(), "Last.");
  std::string all;
  for (const std::string &p : pages) {
    EXPECT_LE(p.size(), 3998u);
    all += p;
  }
  EXPECT_EQ(all, "Short page.\n" + sentences + sentences + "\nLast.");
}

TEST_F(Word, BadDocxIsRefusedWithItsReason) {
  std::string good = body(para(run("Text")));
  std::string zeros(16 << 20, '\0');  // inflates from a few KiB
  const struct {
    const char *what;
    std::vector<Member> members;
    int want;
  } cases[] = {
      {"no content types", {{"word/document.xml", good}}, EBOOK_OPEN_DAMAGED},
      {"main part missing", {{"[Content_Types].xml", types("word/document.xml")}}, EBOOK_OPEN_DAMAGED},
      {"a spreadsheet", {{"[Content_Types].xml", types("xl/workbook.xml", "application/vnd.ms-excel.main+xml")}},
       EBOOK_OPEN_UNSUPPORTED},
      {"not XML", {{"[Content_Types].xml", types("word/document.xml")}, {"word/document.xml", "\x01\x02 binary"}},
       EBOOK_OPEN_DAMAGED},
      {"huge member", {{"[Content_Types].xml", types("word/document.xml")}, {"word/document.xml", zeros}},
       EBOOK_OPEN_DAMAGED},
      {"password", {{"[Content_Types].xml", types("word/document.xml")}, {"word/document.xml", good, "secret"}},
       EBOOK_OPEN_PROTECTED},
  };
  for (const auto &c : cases) {
    std::string path = dir / "bad.docx";
    ASSERT_TRUE(writeZip(path, c.members)) << c.what;
    std::vector<std::string> pages;
    EXPECT_EQ(openPages(path, &pages), c.want) << c.what;
  }
  // A package cut short, and a file that is no package at all.
  std::string whole = ReadFile(kData + "en-pandoc.docx");
  ASSERT_TRUE(dir.write("cut.docx", whole.substr(0, whole.size() / 2)));
  ASSERT_TRUE(dir.write("text.docx", "just some text, not a package"));
  std::vector<std::string> pages;
  EXPECT_EQ(openPages(dir / "cut.docx", &pages), EBOOK_OPEN_DAMAGED);
  EXPECT_EQ(openPages(dir / "text.docx", &pages), EBOOK_OPEN_UNSUPPORTED);
  EXPECT_EQ(openPages(dir / "missing.docx", &pages), -6);
}

// ---- compound files built here ----

void put16(std::string *s, size_t at, uint16_t v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string *s, size_t at, uint32_t v) {
  put16(s, at, static_cast<uint16_t>(v & 0xFFFF));
  put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

struct Piece {
  std::string bytes;  // as stored: one byte a character when compressed
  bool compressed;
};

// A Word 97 file of 512-byte sectors: FAT (sector 0), directory (1),
// WordDocument (2-9) with the FIB and the pieces' text from 0x800 (the
// last piece first when fast-saved), the table stream (10-17) with the
// piece table at 0.
std::string makeDoc(const std::vector<Piece> &pieces, uint16_t flags = 0x0200, uint16_t nFib = 0xC1) {
  std::string f(19 * 512, '\0');
  const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(f.data(), sig, 8);
  put16(&f, 0x18, 0x3E);
  put16(&f, 0x1A, 3);
  put16(&f, 0x1C, 0xFFFE);
  put16(&f, 0x1E, 9);
  put16(&f, 0x20, 6);
  put32(&f, 0x2C, 1);
  put32(&f, 0x30, 1);
  put32(&f, 0x38, 4096);
  put32(&f, 0x3C, 0xFFFFFFFE);
  put32(&f, 0x44, 0xFFFFFFFE);
  for (int i = 0; i < 109; i++) put32(&f, 0x4C + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
  const size_t fat = 512, dir = 1024, word = 1536, table = 11 * 512;
  for (uint32_t s = 0; s < 128; s++) {
    uint32_t next = 0xFFFFFFFF;
    if (s == 0) next = 0xFFFFFFFD;
    else if (s == 1 || s == 9 || s == 17) next = 0xFFFFFFFE;
    else if (s < 17) next = s + 1;
    put32(&f, fat + 4 * s, next);
  }
  auto entry = [&](int id, const char *name, uint8_t type, uint32_t child, uint32_t right, uint32_t start) {
    size_t e = dir + 128 * static_cast<size_t>(id);
    size_t n = std::strlen(name);
    for (size_t i = 0; i < n; i++) put16(&f, e + 2 * i, static_cast<uint16_t>(name[i]));
    put16(&f, e + 0x40, static_cast<uint16_t>(2 * n + 2));
    f[e + 0x42] = static_cast<char>(type);
    put32(&f, e + 0x44, 0xFFFFFFFF);
    put32(&f, e + 0x48, right);
    put32(&f, e + 0x4C, child);
    put32(&f, e + 0x74, start);
    put32(&f, e + 0x78, type == 5 ? 0 : 4096);
  };
  entry(0, "Root Entry", 5, 1, 0xFFFFFFFF, 0xFFFFFFFE);
  entry(1, "WordDocument", 2, 0xFFFFFFFF, 2, 2);
  entry(2, flags & 0x0200 ? "1Table" : "0Table", 2, 0xFFFFFFFF, 0xFFFFFFFF, 10);
  put16(&f, word, 0xA5EC);
  put16(&f, word + 2, nFib);
  put16(&f, word + 0x0A, flags);
  // Pieces: text from 0x800 in WordDocument; CPs and descriptors at 0 of
  // the table stream.
  uint32_t cp = 0, at = 0x800;
  if (flags & 0x0004)
    for (const Piece &p : pieces) at += static_cast<uint32_t>(p.bytes.size());
  std::string clx(1, '\x02');
  clx.append(4, '\0');
  std::string cps, pcds;
  for (const Piece &p : pieces) {
    cps.append(4, '\0');
    put32(&cps, cps.size() - 4, cp);
    cp += static_cast<uint32_t>(p.compressed ? p.bytes.size() : p.bytes.size() / 2);
    pcds.append(8, '\0');
    if (flags & 0x0004) at -= static_cast<uint32_t>(p.bytes.size());
    put32(&pcds, pcds.size() - 6, p.compressed ? (at * 2) | 0x40000000 : at);
    f.replace(word + at, p.bytes.size(), p.bytes);
    if (!(flags & 0x0004)) at += static_cast<uint32_t>(p.bytes.size());
  }
  cps.append(4, '\0');
  put32(&cps, cps.size() - 4, cp);
  put32(&clx, 1, static_cast<uint32_t>(cps.size() + pcds.size()));
  clx += cps + pcds;
  f.replace(table, clx.size(), clx);
  put32(&f, word + 0x4C, cp);  // ccpText: all of it
  put32(&f, word + 0x1A2, 0);
  put32(&f, word + 0x1A6, static_cast<uint32_t>(clx.size()));
  return f;
}

std::string utf16(const std::string &utf8) { return ebooktest::convert(utf8, "UTF-16LE", "UTF-8"); }

TEST_F(Word, DocPiecesFieldsAndMarksBecomeReadableText) {
  // 8-bit pieces are code page 1252; a field shows its result only; cells
  // end in a line feed and a row's end mark adds nothing.
  std::vector<Piece> pieces = {
      {"\x93" "Caf\xe9\x94 \x80" "5\x85\r", true},
      {utf16("See \x13 HYPERLINK \"x\" \x14the guide\x15 and \x13PAGE\x15.\r"), false},
      {"A\x07" "B\x07\x07" "Line\x0b" "non\x1e" "breaking\x1fx\x01\r", true},
      {utf16("中文。\r"), false},
  };
  for (uint16_t flags : {0x0200, 0x0000, 0x0204}) {  // 1Table, 0Table, fast-saved
    std::string path = dir / "p.doc";
    ASSERT_TRUE(dir.write("p.doc", makeDoc(pieces, flags)));
    EXPECT_EQ(joined(path), "“Café” €5…\nSee the guide and .\nA\nB\nLine\nnon-breakingx\n中文。") << flags;
  }
}

TEST_F(Word, BadDocIsRefusedWithItsReason) {
  std::vector<Piece> text = {{"Some text.\r", true}};
  std::string good = makeDoc(text);
  std::string cycle = good, dirCycle = good, cut = good.substr(0, 12 * 512), outside = good, word6 = makeDoc(text, 0x0200, 0x68);
  put32(&cycle, 512 + 4 * 5, 3);              // WordDocument's chain loops back
  put32(&dirCycle, 1024 + 2 * 128 + 0x48, 1);  // the siblings point at each other
  put32(&outside, 1536 + 0x1A2, 4000);        // the piece table lies beyond its stream
  const struct {
    const char *what;
    std::string bytes;
    int want;
  } cases[] = {
      {"encrypted", makeDoc(text, 0x0300), EBOOK_OPEN_PROTECTED},
      {"obfuscated", makeDoc(text, 0x8200), EBOOK_OPEN_PROTECTED},
      {"FAT cycle", cycle, EBOOK_OPEN_DAMAGED},
      {"truncated", cut, EBOOK_OPEN_DAMAGED},
      {"piece table outside", outside, EBOOK_OPEN_DAMAGED},
      {"Word 6", word6, EBOOK_OPEN_UNSUPPORTED},
      {"not a compound file", "{\\rtf1 text}", EBOOK_OPEN_UNSUPPORTED},
      {"directory loop", dirCycle, 0},  // each entry is visited once: still read
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(dir.write("bad.doc", c.bytes));
    std::vector<std::string> pages;
    EXPECT_EQ(openPages(dir / "bad.doc", &pages), c.want) << c.what;
  }
  // An encrypted .docx is a compound file holding the package ciphered.
  std::string package = good;
  const std::string name = utf16(std::string("EncryptedPackage") + '\0');
  package.replace(1024 + 128, name.size(), name);
  put16(&package, 1024 + 128 + 0x40, static_cast<uint16_t>(name.size()));
  ASSERT_TRUE(dir.write("locked.docx", package));
  std::vector<std::string> pages;
  EXPECT_EQ(openPages(dir / "locked.docx", &pages), EBOOK_OPEN_PROTECTED);
}

}  // namespace
