// HTML pages and MHT archives: what is read aloud is what a browser shows.
// The fixtures in tests/data/ebook/html are pages saved by pandoc,
// LibreOffice and a browser (make.sh there); their text is en.md and zh.md.
#include "ebook/ebook_parser.h"
#include "support/files.h"
#include "ebook/html_text.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using ebooktest::convert;
using ebooktest::TempDir;

const std::string kDir = SourcePath("/tests/data/ebook/html/");

std::string withoutSpace(const std::string &s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '#') out += c;
  return out;
}

// The book as the reader gets it: every page in turn.
std::string joinedPages(const std::string &path) {
  ebook_parser *record = find_ebook_parser(path.c_str());
  if (!record) return "(no record)";
  ebook_parser p = *record;
  if (p.open(&p, path.c_str()) != 0) return "(cannot open)";
  std::string text;
  const char *page = nullptr;
  for (int i = 0; i < p.get_total_pages(&p); i++) {
    int n = p.read_page(&p, i, &page);
    EXPECT_GT(n, 0) << path << " page " << i;
    EXPECT_LE(n, kEbookPageBytes);
    text.append(page, static_cast<size_t>(n));
  }
  p.close(&p);
  return text;
}

std::string extract(const std::string &page, const char *charset = nullptr) {
  HtmlTextOptions options;
  options.charset = charset;
  std::string text;
  html_text_extract(page.data(), page.size(), options, &text, nullptr);
  return text;
}

TEST(HtmlText, SavedPagesReadAsTheirVisibleText) {
  ASSERT_EQ(register_iconv_cd(), 0);
  const std::string en = withoutSpace(ReadFile(kDir + "en.md"));
  const std::string zh = withoutSpace(ReadFile(kDir + "zh.md"));
  const struct {
    const char *file;
    const std::string &text;
  } cases[] = {
      {"pandoc_en.html", en},     {"libreoffice_en.html", en}, {"browser_en.mht", en},
      {"pandoc_zh.html", zh},     {"libreoffice_zh.html", zh}, {"browser_zh.mht", zh},
      {"pandoc_zh_gbk.html", zh}, {"refs_zh.htm", zh},         {"browser_zh_gbk.mht", zh},
      {"browser_zh_b64.mht", zh},
  };
  for (const auto &c : cases) EXPECT_EQ(withoutSpace(joinedPages(kDir + c.file)), c.text) << c.file;
  // Not only the same characters: the same text, line for line.
  const std::string utf8 = joinedPages(kDir + "pandoc_zh.html");
  EXPECT_EQ(joinedPages(kDir + "pandoc_zh_gbk.html"), utf8);
  EXPECT_EQ(joinedPages(kDir + "refs_zh.htm"), utf8);
  EXPECT_EQ(joinedPages(kDir + "browser_zh_gbk.mht"), utf8);
}

TEST(HtmlText, MarkupBecomesLinesOfText) {
  const struct {
    const char *html, *text;
  } cases[] = {
      {"<title>T</title><style>p{}</style><p>shown</p>", "shown"},
      {"<script>if (a<b && c>d) document.write(\"<p>leak</p>\");</script><p>text</p>", "text"},
      {"<p>&#20013;&#x4E2D;&amp;&lt;&gt;&quot;x&nbsp;y&shy;z &copy;</p>", "中中&<>\"x yz ©"},
      {"<p>a < b, 1 <2</p>", "a < b, 1 <2"},
      {"<p>one</p><div>two</div><h2>three</h2><ul><li>four<li>five</ul>"
       "<table><tr><td>six<td>seven<tr><td>eight</table>nine<br>ten",
       "one\ntwo\nthree\nfour\nfive\nsix seven\neight\nnine\nten"},
      {"<p>  words\n   run\ton  <b>bold</b><i>it</i> </p>", "words run on boldit"},
      {"<pre>a\n  b</pre>", "a\n  b"},
      {"<p>before</p><!-- never closed <p>after", "before"},
      {"<p>cut <b class=\"x", "cut"},
      {"&#x48;&#x69;&#x20;&#x4E16;&#x754C;", "Hi 世界"},
  };
  for (const auto &c : cases) EXPECT_EQ(extract(c.html), c.text) << c.html;
}

TEST(HtmlText, CharsetFromTheBytesThenFromThePage) {
  ASSERT_EQ(register_iconv_cd(), 0);
  const std::string zh = "<p>中文网页的字符集。</p>", hant = "<p>中文網頁的字符集。</p>";
  const struct {
    std::string page;
    const char *named;
    const char *text;
  } cases[] = {
      {zh, nullptr, "中文网页的字符集。"},
      {convert(zh, "GBK", "UTF-8"), nullptr, "中文网页的字符集。"},
      {convert(zh, "UTF-16LE", "UTF-8"), nullptr, "中文网页的字符集。"},
      // A short Big5 text the detector takes for GBK: the page knows better.
      {"<meta charset=\"big5\">" + convert(hant, "BIG5", "UTF-8"), nullptr, "中文網頁的字符集。"},
      // The container's word counts.
      {convert(hant, "BIG5", "UTF-8"), "big5", "中文網頁的字符集。"},
      // A page that claims UTF-8 but is not.
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">" + convert(zh, "GBK", "UTF-8"),
       nullptr, "中文网页的字符集。"},
      {"<meta charset=windows-1252><p>caf\xE9 cr\xE8me</p>", nullptr, "café crème"},
  };
  for (const auto &c : cases) EXPECT_EQ(extract(c.page, c.named), c.text) << c.page;
}

struct Parts {
  std::string text;
  int count = 0;
};

void collect(void *user, const char *bytes, size_t length, const std::string &charset, bool html) {
  auto *p = static_cast<Parts *>(user);
  p->text += (html ? "html:" : "plain:") + charset + ":" + std::string(bytes, length) + "|";
  p->count++;
}

TEST(Mht, TextPartsAreDecodedOthersSkipped) {
  const char *archive =
      "MIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n\tboundary=\"B1\"; type=\"text/html\"\r\n\r\n"
      "preamble\r\n--B1\r\nContent-Type: text/html; charset=\"gb2312\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\n<p>=D6=D0=\r\n=CE=C4 a=3Db</p>\r\n"
      "--B1\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw0KGgo=\r\n"
      "--B1\r\ncontent-type: TEXT/PLAIN\r\ncontent-transfer-encoding: Base64\r\n\r\naGVs\r\nbG8=\r\n"
      "--B1\r\nContent-Type: multipart/alternative; boundary=B2\r\n\r\n--B2\r\n\r\nno type\r\n--B2--\r\n"
      "--B1--\r\nepilogue";
  Parts parts;
  EXPECT_EQ(MhtDecode(archive, std::strlen(archive), collect, &parts), 3);
  EXPECT_EQ(parts.text, "html:gb2312:<p>\xD6\xD0\xCE\xC4 a=b</p>\r\n|plain::hello|plain::no type\r\n|");
}

TEST(Mht, DamagedArchivesGiveWhatTheyHold) {
  ASSERT_EQ(register_iconv_cd(), 0);
  TempDir dir;
  const std::string gbk = convert("<p>没有字符集的部分</p>", "GBK", "UTF-8");
  const struct {
    std::string archive, text;
  } cases[] = {
      // A boundary that never closes; a part without a charset.
      {"Content-Type: multipart/related; boundary=X\n\n--X\nContent-Type: text/html\n\n" + gbk, "没有字符集的部分"},
      {"Content-Type: multipart/related; boundary=X\n\n--X\nContent-Type: text/html\n"
       "Content-Transfer-Encoding: base64\n\n" + std::string("PHA+b2s8L3A+!!!@@@\x01\xFF\n===="),
       "ok"},
      {"Content-Type: multipart/related; boundary=X\n\nno delimiter at all", ""},
      {"Content-Type: message/rfc822\n\n" + std::string(100, '\n'), ""},
  };
  for (const auto &c : cases) {
    WriteFile(dir.path() + "/a.mht", c.archive);
    std::string text;
    EXPECT_EQ(mht_open((dir.path() + "/a.mht").c_str(), &text), 0);
    EXPECT_EQ(withoutSpace(text), c.text) << c.archive;
  }
}

TEST(HtmlText, HostilePagesEndWithTheirText) {
  ASSERT_EQ(register_iconv_cd(), 0);
  TempDir dir;
  std::string nested;
  for (int i = 0; i < 50000; i++) nested += "<div><span>";
  nested += "deep";
  const struct {
    const char *name;
    std::string page;
    std::string start;
  } cases[] = {
      {"line.html", "<p>" + std::string(4 << 20, 'x') + "</p>", "xxxxxxxx"},
      {"nested.htm", nested, "deep"},
      {"tag.html", "<p>text</p><a href=\"" + std::string(1 << 20, 'y'), "text"},
      {"nested.mht", "Content-Type: message/rfc822\n\nContent-Type: text/html\n\n" + nested, "deep"},
  };
  for (const auto &c : cases) {
    std::string path = dir.path() + "/" + c.name;
    WriteFile(path, c.page);
    std::string text = joinedPages(path);
    EXPECT_EQ(text.compare(0, c.start.size(), c.start), 0) << c.name << ": " << text.substr(0, 40);
  }
  // Nothing to read: the record says it cannot open the book.
  WriteFile(dir.path() + "/empty.html", "<html><script>only code</script></html>");
  ebook_parser p = ebook_parser_for_html;
  ASSERT_EQ(p.open(&p, (dir.path() + "/empty.html").c_str()), 0);
  EXPECT_EQ(p.get_total_pages(&p), 0);
  p.close(&p);
  p = ebook_parser_for_html;
  EXPECT_EQ(p.open(&p, (dir.path() + "/missing.html").c_str()), -6);
}

}  // namespace
