// PDF through two outside programs: the information tool gives the page
// count ("Pages: N"), the text tool prints one page's text as UTF-8 (its
// configuration file sets the encoding). Each page is extracted when it is
// read, so a PDF page is not limited to 512 bytes.
//
// The programs run through BoardPopen and their output is read from the
// pipe; the file name is quoted for the shell, so names with spaces, quotes
// or shell characters reach the program as one argument.
#include "ebook/ebook_parser.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "core/runtime/shell.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr char kLogSource[] = "ebook/ebook_pdf.c";
constexpr int kTextSize = 0x10000;

std::string g_pdfinfo = "/home/pdfinfo";
std::string g_pdftotext = "/home/pdftotext";
std::string g_config = "/home/xpdfrc";

struct PdfBook {
  std::string path;
  std::unique_ptr<char[]> text;  // kTextSize bytes
  int pages = 0;
};

PdfBook *book(ebook_parser *p) { return static_cast<PdfBook *>(p->context); }


}  // namespace

int pdf_info_pages(const char *info) {
  const char *p = std::strstr(info, "Pages:");
  if (!p) {
    LOGE("pdf info error: no Pages\n");
    return -1;
  }
  p += 6;
  while (*p == ' ' || *p == '\t') p++;
  char *end = nullptr;
  long pages = std::strtol(p, &end, 10);
  if (end == p || pages <= 0 || pages > 0x7fffffff || (*end != '\n' && *end != '\r' && *end != ' ')) {
    LOGE("pdf info error: pages=%ld, *p=%d\n", pages, end ? *end : 0);
    return -1;
  }
  return static_cast<int>(pages);
}

namespace {

int openPdf(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  if (!path) return -4;
  std::unique_ptr<PdfBook> b(new (std::nothrow) PdfBook);
  if (b) b->text.reset(new (std::nothrow) char[kTextSize]);
  if (!b || !b->text) {
    LOGE("can not malloc for pdf ctx\n");
    return -2;
  }
  b->path = path;
  std::string cmd = ShellQuotePath(g_pdfinfo) + "  -cfg " + ShellQuotePath(g_config) + " " + ShellQuotePath(b->path);
  int n = BoardPopen(cmd.c_str(), b->text.get(), kTextSize);
  if (n <= 0) {
    LOGE("pdf info error: %s gave nothing\n", path);
    return -4;
  }
  b->pages = pdf_info_pages(b->text.get());
  if (b->pages <= 0) return -4;
  parser->context = b.release();
  return 0;
}

int closePdf(ebook_parser *parser) {
  if (!parser) return -1;
  delete book(parser);
  parser->context = nullptr;
  return 0;
}

int totalPdf(ebook_parser *parser) {
  PdfBook *b = parser ? book(parser) : nullptr;
  return b ? b->pages : 0;
}

int readPagePdf(ebook_parser *parser, int page, const char **text) {
  PdfBook *b = parser ? book(parser) : nullptr;
  if (!b || !text || page < 0 || page >= b->pages) return 0;
  char range[64];
  std::snprintf(range, sizeof range, " -f %d  -l %d  ", page + 1, page + 1);
  std::string cmd = ShellQuotePath(g_pdftotext) + " -raw  -cfg " + ShellQuotePath(g_config) + range + ShellQuotePath(b->path) + " -";
  int n = BoardPopen(cmd.c_str(), b->text.get(), kTextSize);
  if (n < 0) {
    LOGE("can not run %s\n", g_pdftotext.c_str());
    return 0;
  }
  *text = b->text.get();
  return n;
}

}  // namespace

void set_pdf_programs(const char *pdfinfo, const char *pdftotext, const char *config) {
  if (pdfinfo) g_pdfinfo = pdfinfo;
  if (pdftotext) g_pdftotext = pdftotext;
  if (config) g_config = config;
}

ebook_parser ebook_parser_for_pdf = {"pdf", nullptr, openPdf, closePdf, nullptr, totalPdf, readPagePdf, nullptr};
