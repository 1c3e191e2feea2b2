// The PDF record against the real poppler tools behind the host board's
// wrapper, installed in a temporary board root as scripts/install-home does.
#include "ebook/ebook_lines.h"
#include "support/files.h"
#include "ebook/ebook_parser.h"

#include "ebook_test_util.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A PDF of text lines in Helvetica, a page per string, its lines split at '\n'.
std::string makePdf(const std::vector<std::string> &pages) {
  std::vector<std::string> objects;
  int n = static_cast<int>(pages.size());
  int font = 3 + 2 * n;
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < n; i++) kids += std::to_string(3 + 2 * i) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
  for (int i = 0; i < n; i++) {
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                      std::to_string(font) + " 0 R >> >> /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
    std::string content = "BT /F1 18 Tf 72 700 Td 22 TL", line;
    for (char ch : pages[static_cast<size_t>(i)] + "\n") {
      if (ch != '\n') {
        line += ch;
        continue;
      }
      content += " (" + line + ") Tj T*";
      line.clear();
    }
    content += " ET";
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); i++) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t off : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

class PdfBook : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string wrapper = SourcePath("/board/host/pdftools/pdfwrap.sh");
    for (const char *tool : {"/home/pdfinfo", "/home/pdftotext"})
      fs::copy_file(wrapper, root_.at(tool), fs::copy_options::overwrite_existing);
    fs::copy_file(SourcePath("/data/xpdfrc"), root_.at("/home/xpdfrc"));
  }
  void TearDown() override {
    set_pdf_programs("/home/pdfinfo", "/home/pdftotext", "/home/xpdfrc");
    ebook_parser_for_pdf.close(&ebook_parser_for_pdf);
  }
  std::string file(const std::string &fixed) const { return root_.at(fixed); }
  TempRoot root_;
};

TEST_F(PdfBook, ReadsPagesOfFilesWithAwkwardNames) {
  std::string pdf = makePdf({"First page.", "Second page here.", "Third and last."});
  ebook_parser *p = &ebook_parser_for_pdf;
  for (const char *name : {"book.pdf", "my book's \"best\" copy.pdf", "$(touch pwned) `touch pwned2`; x.pdf",
                           "-dash.pdf", "中文 书名.pdf"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WriteFile(file(std::string("/mnt/sdcard/") + name), pdf));
    std::string path = std::string("/mnt/sdcard/") + name;
    ASSERT_EQ(p->open(p, path.c_str()), 0);
    EXPECT_EQ(p->get_total_pages(p), 3);
    const char *text = nullptr;
    int n = p->read_page(p, 1, &text);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(text, static_cast<size_t>(n)).find("Second page here."), 0u);
    EXPECT_EQ(static_cast<int>(std::strlen(text)), n);
    EXPECT_EQ(p->read_page(p, 3, &text), 0);
    EXPECT_EQ(p->open(p, path.c_str()), -4);  // open already
    EXPECT_EQ(p->close(p), 0);
  }
  std::error_code ec;
  EXPECT_FALSE(fs::exists("pwned", ec) || fs::exists("pwned2", ec) || fs::exists(file("/pwned"), ec));
}

// A paragraph the PDF wraps over three lines reads as its two sentences,
// not as three lines.
TEST_F(PdfBook, WrappedLinesReadAsSentences) {
  ASSERT_TRUE(WriteFile(file("/mnt/sdcard/wrapped.pdf"),
                        makePdf({"In the beginning God created the heaven and the\n"
                                 "earth. And the earth was without form and void\n"
                                 "and darkness was upon the face of the deep."})));
  ebook_parser *p = &ebook_parser_for_pdf;
  ASSERT_EQ(p->open(p, "/mnt/sdcard/wrapped.pdf"), 0);
  const char *text = nullptr;
  int n = p->read_page(p, 0, &text);
  ASSERT_GT(n, 0);
  EbookLines lines;
  InitLineInfo(&lines, text, n);
  std::vector<std::string> said;
  for (int i = 0; i < lines.count; i++) {
    int len = 0;
    const char *s = GetSentence(&lines, i, &len);
    said.push_back(SpeakableSentence(s, len));
  }
  EXPECT_EQ(said, (std::vector<std::string>{"In the beginning God created the heaven and the earth.",
                                            "And the earth was without form and void and darkness was upon "
                                            "the face of the deep."}));
}

TEST_F(PdfBook, BadInformationCannotBeOpened) {
  struct Case {
    const char *what;
    const char *info;  // what the information tool prints
  } cases[] = {
      {"no Pages line", "Title: x\nProducer: y\n"},
      {"zero pages", "Pages:          0\n"},
      {"junk after the count", "Pages: 3x\n"},
      {"no count", "Pages:\n"},
      {"nothing", ""},
  };
  ASSERT_TRUE(WriteFile(file("/mnt/sdcard/book.pdf"), makePdf({"One."})));
  ebook_parser *p = &ebook_parser_for_pdf;
  for (const Case &c : cases) {
    std::string script = "#!/bin/sh\nprintf '" + std::string(c.info) + "'\n";
    ASSERT_TRUE(WriteFile(file("/home/fakeinfo"), script));
    fs::permissions(file("/home/fakeinfo"), fs::perms::owner_all);
    set_pdf_programs("/home/fakeinfo", nullptr, nullptr);
    EXPECT_EQ(p->open(p, "/mnt/sdcard/book.pdf"), -4) << c.what;
    EXPECT_EQ(p->context, nullptr) << c.what;
  }
  set_pdf_programs("/home/pdfinfo", nullptr, nullptr);
  ASSERT_TRUE(WriteFile(file("/mnt/sdcard/fake.pdf"), "not a PDF at all"));
  EXPECT_EQ(p->open(p, "/mnt/sdcard/fake.pdf"), -4);
  EXPECT_EQ(p->open(p, "/mnt/sdcard/missing.pdf"), -4);
  EXPECT_EQ(p->open(p, "/mnt/sdcard/book.pdf"), 0);
  EXPECT_EQ(p->get_total_pages(p), 1);
}

}  // namespace
