// EPUB books: the spine's text in order, chapters from the navigation
// document or the NCX, and damaged books that open as far as they can.
// tests/data/ebook/epub holds pandoc's EPUB 3 and EPUB 2 of the texts in
// tests/data/ebook/html (make.sh there); the shared samples are DAISY
// pipeline EPUBs.
#include "ebook/ebook_epub.h"
#include "support/files.h"
#include "ebook/epub.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <minizip/zip.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using ebooktest::TempDir;

const std::string kData = SourcePath("/tests/data/ebook/");

std::string withoutSpace(const std::string &s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '#') out += c;
  return out;
}

struct Member {
  std::string name, bytes;
};

// Writes a ZIP of members (deflated) to path.
void writeZip(const std::string &path, const std::vector<Member> &members) {
  zipFile z = zipOpen64(path.c_str(), 0);
  ASSERT_NE(z, nullptr);
  for (const Member &m : members) {
    ASSERT_EQ(zipOpenNewFileInZip64(z, m.name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 1),
              ZIP_OK);
    zipWriteInFileInZip(z, m.bytes.data(), static_cast<unsigned>(m.bytes.size()));
    zipCloseFileInZip(z);
  }
  zipClose(z, nullptr);
}

const char kContainer[] =
    "<?xml version=\"1.0\"?><container xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" version=\"1.0\">"
    "<rootfiles><rootfile full-path=\"OPS/book.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles>"
    "</container>";

std::string opf(const std::string &spine) {
  return "<package xmlns=\"http://www.idpf.org/2007/opf\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
         "<dc:title>Small</dc:title><dc:creator>Maker</dc:creator></metadata><manifest>"
         "<item id=\"a\" href=\"text/a%20one.xhtml\" media-type=\"application/xhtml+xml\"/>"
         "<item id=\"b\" href=\"text/../text/b.xhtml\" media-type=\"application/xhtml+xml\"/>"
         "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
         "</manifest><spine toc=\"ncx\">" + spine + "</spine></package>";
}

const char kNcx[] =
    "<ncx><navMap><navPoint><navLabel><text>One</text></navLabel><content src=\"text/a%20one.xhtml\"/></navPoint>"
    "<navPoint><navLabel><text>Two</text></navLabel><content src=\"text/b.xhtml#two\"/></navPoint>"
    "<navPoint><navLabel><text>Nowhere</text></navLabel><content src=\"text/c.xhtml\"/></navPoint>"
    "<navPoint><navLabel><text>Lost</text></navLabel><content src=\"text/b.xhtml#unknown\"/></navPoint>"
    "</navMap></ncx>";

std::vector<Member> smallBook() {
  return {{"mimetype", "application/epub+zip"},
          {"META-INF/container.xml", kContainer},
          {"OPS/book.opf", opf("<itemref idref=\"a\"/><itemref idref=\"b\"/>")},
          {"OPS/toc.ncx", kNcx},
          {"OPS/text/a one.xhtml", "<html><body><h1>One</h1><p>First chapter.</p></body></html>"},
          {"OPS/text/b.xhtml",
           "<html><body><p>Lead in.</p><h1 id=\"two\">Two</h1><p>Second chapter.</p></body></html>"}};
}

// The text at each chapter start begins with the chapter's label (where
// the label is a text of the book at all: one sample labels a heading "hd").
void expectChaptersAtLabels(const EpubBook &book, const std::string &name) {
  ASSERT_FALSE(book.chapters.empty()) << name;
  const std::string all = withoutSpace(book.text);
  for (const EpubChapter &c : book.chapters) {
    std::string label = withoutSpace(c.title).substr(0, 24);
    if (label.size() < 4 || all.find(label) == std::string::npos) continue;
    EXPECT_EQ(withoutSpace(book.text.substr(static_cast<size_t>(c.offset), 400)).substr(0, label.size()), label)
        << name << ": " << c.title;
  }
}

TEST(Epub, PandocBooksReadInSpineOrderWithChapters) {
  ASSERT_EQ(register_iconv_cd(), 0);
  for (std::string lang : {"en", "zh"}) {
    std::string md = ReadFile(kData + "html/" + lang + ".md");
    std::string title = md.substr(2, md.find('\n') - 2);
    std::string expected = withoutSpace(title + "Writer " + lang + "2026-01-01" + md);
    for (std::string version : {"3", "2"}) {
      std::string name = "pandoc" + version + "_" + lang + ".epub";
      EpubBook book;
      ASSERT_EQ(epub_open((kData + "epub/" + name).c_str(), &book), 0) << name;
      EXPECT_EQ(withoutSpace(book.text), expected) << name;
      EXPECT_EQ(book.title, title);
      EXPECT_EQ(book.author, "Writer " + lang);
      EXPECT_GE(book.chapters.size(), 3u) << name;
      expectChaptersAtLabels(book, name);
    }
  }
}

TEST(Epub, SampleBooksOpenWithTheirTableOfContents) {
  std::string dir = SamplesDir() + "/epub";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no samples at " << dir;
  int books = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    EpubBook book;
    std::string name = entry.path().filename();
    ASSERT_EQ(epub_open(entry.path().c_str(), &book), 0) << name;
    EXPECT_GT(book.text.size(), 10000u) << name;
    EXPECT_GE(book.chapters.size(), 5u) << name;
    EXPECT_EQ(book.missing, 0);
    expectChaptersAtLabels(book, name);
    books++;
  }
  EXPECT_GE(books, 4);
}

TEST(Epub, HrefsAndFragmentsLandOnTheirChapter) {
  TempDir dir;
  std::string path = dir.path() + "/small.epub";
  writeZip(path, smallBook());
  EpubBook book;
  ASSERT_EQ(epub_open(path.c_str(), &book), 0);
  EXPECT_EQ(book.text, "One\nFirst chapter.\fLead in.\nTwo\nSecond chapter.\n");
  EXPECT_EQ(book.title, "Small");
  // "Nowhere" is not in the spine; "Lost" has an unknown fragment and
  // points at its document's start.
  ASSERT_EQ(book.chapters.size(), 3u);
  EXPECT_EQ(book.chapters[0].title, "One");
  EXPECT_EQ(book.chapters[1].title, "Lost");
  EXPECT_EQ(book.chapters[1].offset, 19);
  EXPECT_EQ(book.chapters[2].title, "Two");
  EXPECT_EQ(book.text.substr(static_cast<size_t>(book.chapters[2].offset), 3), "Two");
  EXPECT_EQ(epub_find_next_section(&book, 1), 19);
  EXPECT_EQ(epub_find_last_section(&book, 20), 19);
  EXPECT_EQ(epub_chapter_at(&book, 40), 2);
}

TEST(Epub, DamagedBooksOpenAsFarAsTheyCan) {
  TempDir dir;
  const std::string enc =
      "<encryption><EncryptedData><EncryptionMethod Algorithm=\"http://www.w3.org/2001/04/xmlenc#aes128-cbc\"/>"
      "<CipherData><CipherReference URI=\"OPS/text/b.xhtml\"/></CipherData></EncryptedData></encryption>";
  const std::string encAll =
      "<encryption><EncryptedData><EncryptionMethod Algorithm=\"http://www.w3.org/2001/04/xmlenc#aes128-cbc\"/>"
      "<CipherData><CipherReference URI=\"OPS/text/a%20one.xhtml\"/></CipherData></EncryptedData>" +
      enc.substr(12);
  auto without = [](std::string name) {
    std::vector<Member> m = smallBook();
    std::erase_if(m, [&](const Member &x) { return x.name == name; });
    return m;
  };
  auto with = [](Member extra) {
    std::vector<Member> m = smallBook();
    for (Member &x : m)
      if (x.name == extra.name) x = extra;
    if (std::none_of(m.begin(), m.end(), [&](const Member &x) { return x.name == extra.name; })) m.push_back(extra);
    return m;
  };
  const struct {
    const char *what;
    std::vector<Member> members;
    int result, missing;
  } cases[] = {
      {"wrong mimetype", with({"mimetype", "application/zip"}), EPUB_BAD_MIMETYPE, 0},
      {"no container", without("META-INF/container.xml"), EPUB_NO_CONTAINER, 0},
      {"container without rootfile", with({"META-INF/container.xml", "<container/>"}), EPUB_BAD_CONTAINER, 0},
      {"no package", without("OPS/book.opf"), EPUB_NO_OPF, 0},
      {"empty spine", with({"OPS/book.opf", opf("")}), EPUB_BAD_OPF, 0},
      {"spine item missing", without("OPS/text/b.xhtml"), 0, 1},
      {"spine idref unknown", with({"OPS/book.opf", opf("<itemref idref=\"x\"/><itemref idref=\"a\"/>")}), 0, 1},
      {"one document encrypted", with({"META-INF/encryption.xml", enc}), 0, 1},
      {"all encrypted", with({"META-INF/encryption.xml", encAll}), EPUB_ENCRYPTED, 2},
      {"no documents at all", with({"OPS/book.opf", opf("<itemref idref=\"x\"/>")}), EPUB_NO_TEXT, 1},
  };
  for (const auto &c : cases) {
    std::string path = dir.path() + "/bad.epub";
    writeZip(path, c.members);
    EpubBook book;
    EXPECT_EQ(epub_open(path.c_str(), &book), c.result) << c.what;
    EXPECT_EQ(book.missing + book.encrypted, c.missing) << c.what;
    EXPECT_LT(book.text.size(), 16u << 20) << c.what;
  }
  WriteFile(dir.path() + "/not.epub", "PK not a zip at all");
  EpubBook book;
  EXPECT_EQ(epub_open((dir.path() + "/not.epub").c_str(), &book), EPUB_NOT_ZIP);
}

// A member that inflates past what one document may hold is cut there and
// the book still opens. Apart from the others: its megabytes are slow under
// the thread sanitizer, which has nothing to look for here.
TEST(Epub, OversizedMemberIsCut) {
  TempDir dir;
  std::vector<Member> m = smallBook();
  for (Member &x : m)
    if (x.name == "OPS/text/b.xhtml") x.bytes = "<p>" + std::string(17u << 20, 'z');
  const std::string path = dir.path() + "/bomb.epub";
  writeZip(path, m);
  EpubBook book;
  EXPECT_EQ(epub_open(path.c_str(), &book), 0);
  EXPECT_EQ(book.missing + book.encrypted, 0);
  EXPECT_LT(book.text.size(), 16u << 20);
}

TEST(Epub, PagesEndAtDocumentEnds) {
  std::string text = std::string(300, 'a') + "\f" + std::string(900, 'b');
  auto *b = reinterpret_cast<const unsigned char *>(text.data());
  EXPECT_EQ(get_page_size_for_epub(b, 400), 400);
  EXPECT_EQ(get_page_size_for_epub(b, static_cast<int>(text.size())), 301);
  text = std::string(450, 'a') + ".b" + std::string(900, 'b');
  EXPECT_EQ(get_page_size_for_epub(reinterpret_cast<const unsigned char *>(text.data()), 1352), 451);
}

}  // namespace
