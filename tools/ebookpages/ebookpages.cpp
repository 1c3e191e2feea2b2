// ebookpages: prints an e-book's pages as the reader gets them, through the
// same format records, character-set detection and paging as the player.
//
//   ebookpages [options] FILE
//     (default)   every page after a line "=== page K/N, B bytes ==="
//     --raw       the pages joined, nothing else (all the reader would speak)
//     --page K    page K only (1-based)
//     --info      format, character set and page count (and an EPUB's chapters)
//     --verify    plain text: the joined pages must equal the whole file
//                 converted at once; exit status 1 and the first difference
//                 otherwise
//     --root DIR  the board's root folder: FILE and the PDF tools are fixed
//                 paths under it ("/mnt/sdcard/book.txt", "/home/pdftotext")
//     --log       print the player's warnings (standard output)
//
// Without --root, FILE is an ordinary path and PDF files go through the
// wrappers of board/host/pdftools in the source tree.
#include "board/host/host.h"
#include "core/runtime/log.h"
#include "ebook/charset.h"
#include "ebook/ebook_epub.h"
#include "ebook/ebook_parser.h"
#include "tools/host_setup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <string>

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: ebookpages [--raw | --page K | --info | --verify] [--root DIR] [--log] FILE\n");
}

const char *charsetName(int code) {
  switch (code) {
    case CHARSET_UTF8: return "UTF-8";
    case CHARSET_UTF16LE: return "UTF-16LE";
    case CHARSET_UTF16BE: return "UTF-16BE";
    case CHARSET_GBK: return "GBK";
    case CHARSET_BIG5: return "Big5";
    case CHARSET_NOT_TEXT: return "not text (read as GBK)";
    default: return "-";
  }
}

// The whole file converted by iconv in one go, its byte-order mark left out.
bool convertWhole(const std::string &path, int charset, std::string *out) {
  std::ifstream f(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (!f.good() && !f.eof()) return false;
  size_t skip = 0;
  if (charset == CHARSET_UTF8 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) skip = 3;
  if (charset == CHARSET_UTF16LE && bytes.compare(0, 2, "\xFF\xFE") == 0) skip = 2;
  if (charset == CHARSET_UTF16BE && bytes.compare(0, 2, "\xFE\xFF") == 0) skip = 2;
  iconv_t cd = iconv_open("UTF-8", charset_iconv_name(charset));
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->assign(bytes.size() * 2 + 16, '\0');
  char *ip = bytes.data() + skip;
  size_t il = bytes.size() - skip;
  char *op = out->data();
  size_t ol = out->size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out->resize(out->size() - ol);
  if (r == static_cast<size_t>(-1))
    std::fprintf(stderr, "iconv stops at byte %zu: %s\n", bytes.size() - skip - il, std::strerror(errno));
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  enum { kAll, kRaw, kPage, kInfo, kVerify } mode = kAll;
  long page = 0;
  std::string root;
  const char *file = nullptr;
  bool log = false;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--raw") mode = kRaw;
    else if (a == "--info") mode = kInfo;
    else if (a == "--verify") mode = kVerify;
    else if (a == "--log") log = true;
    else if (a == "--page" && i + 1 < argc) {
      mode = kPage;
      page = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      usage();
      return 2;
    } else {
      file = argv[i];
    }
  }
  if (!file) {
    usage();
    return 2;
  }
  if (ToolHostSetUp(root, log) != 0) return 2;
  if (root.empty())
    set_pdf_programs(TB_SOURCE_DIR "/board/host/pdftools/pdfinfo", TB_SOURCE_DIR "/board/host/pdftools/pdftotext",
                     TB_SOURCE_DIR "/data/xpdfrc");
  if (register_iconv_cd() != 0) return 2;

  ebook_parser *parser = find_ebook_parser(file);
  if (!parser) {
    std::fprintf(stderr, "%s: not an e-book\n", file);
    return 1;
  }
  int rc = parser->open(parser, file);
  if (rc != 0) {
    std::fprintf(stderr, "%s: open failed (%d)\n", file, rc);
    return 1;
  }
  int total = parser->get_total_pages(parser);
  int status = 0;
  std::string joined;
  for (int k = 0; k < total; k++) {
    if (mode == kPage && k + 1 != page) continue;
    const char *text = nullptr;
    int n = parser->read_page(parser, k, &text);
    if (n < 0 || !text) n = 0;
    if (mode == kAll) std::printf("=== page %d/%d, %d bytes ===\n", k + 1, total, n);
    if (mode == kAll || mode == kRaw || mode == kPage) {
      std::fwrite(text ? text : "", 1, static_cast<size_t>(n), stdout);
      if (mode == kAll) std::printf("\n");
    }
    if (mode == kVerify) joined.append(text ? text : "", static_cast<size_t>(n));
  }
  int charset = ebook_text_charset(parser);
  if (mode == kInfo) {
    std::printf("format %s\ncharset %s\npages %d\n", parser->extension, charsetName(charset), total);
    for (int c = 0; c < ebook_epub_chapter_count(parser); c++) {
      int at = 0, offset = 0;
      ebook_epub_chapter_start(parser, c, &at, &offset);
      std::printf("chapter %d: page %d + %d: %s\n", c + 1, at + 1, offset, ebook_epub_chapter_title(parser, c));
    }
  }
  if (mode == kPage && (page < 1 || page > total)) {
    std::fprintf(stderr, "no page %ld (1..%d)\n", page, total);
    status = 1;
  }
  if (mode == kVerify) {
    std::string whole;
    if (charset < 0 || parser->read_raw != ebook_parser_for_txt.read_raw) {
      std::fprintf(stderr, "--verify reads plain text files (txt, ebk) only\n");
      status = 2;
    } else if (!convertWhole(root.empty() ? file : root + file, charset, &whole)) {
      std::fprintf(stderr, "cannot read %s\n", file);
      status = 2;
    } else if (whole != joined) {
      size_t i = 0;
      while (i < whole.size() && i < joined.size() && whole[i] == joined[i]) i++;
      std::fprintf(stderr, "differs at UTF-8 byte %zu of %zu (pages give %zu bytes)\n", i, whole.size(), joined.size());
      status = 1;
    } else {
      std::printf("ok: %d pages, %s, %zu UTF-8 bytes\n", total, charsetName(charset), joined.size());
    }
  }
  parser->close(parser);
  return status;
}
