// The records of the Word documents. A .doc is read whole by the Word 97
// reader into UTF-16LE text, paged like a UTF-16LE plain-text file without
// a byte-order mark, and each page is converted to UTF-8 when read. A .docx
// keeps the page table the Word 2007 reader builds. Both tell a protected or
// damaged file, or a variant they cannot read, by their open result.
#include "ebook/ebook_parser.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "ebook/word_doc.h"
#include "ebook/word_docx.h"

#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/ebook_word.c";

struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

// The .doc state: the document's text, its pages (offsets into the UTF-16
// text) and the converted page.
struct DocBook {
  WordDoc doc;
  std::vector<int> pages;
  char raw[kEbookPageBytes];
  char page[kEbookPageBytes * 3 + 1];
};

DocBook *docBook(ebook_parser *p) { return static_cast<DocBook *>(p->context); }

int openDoc(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  std::unique_ptr<FILE, FileClose> f(path ? std::fopen(BoardPath(path).c_str(), "rb") : nullptr);
  if (!f) {
    LOGE("can not open the file: %s\n", path ? path : "(null)");
    return -6;
  }
  std::unique_ptr<DocBook> b(new (std::nothrow) DocBook);
  if (!b) {
    LOGE("can not malloc for DOC\n");
    return -2;
  }
  int rc = DocInit(&b->doc, f.get());
  if (rc != 0) {
    LOGE("can not open the file: %s (DocInit %d)\n", path, rc);
    switch (rc) {
      case DOC_PROTECTED: return EBOOK_OPEN_PROTECTED;
      case DOC_UNSUPPORTED: return EBOOK_OPEN_UNSUPPORTED;
      case DOC_NO_MEMORY: return -2;
      default: return EBOOK_OPEN_DAMAGED;
    }
  }
  // Paged as a UTF-16LE plain text: the page-size function over the whole
  // text, the rest below one page read as the last page.
  const auto *text = reinterpret_cast<const unsigned char *>(b->doc.text.data());
  const int len = static_cast<int>(b->doc.text.size());
  int pos = 0;
  b->pages.assign(1, 0);
  while (static_cast<int>(b->pages.size()) < kEbookMaxPageEntries && pos < len) {
    int rest = len - pos;
    int n = rest < kEbookPageBytes ? rest : get_page_size_for_utf16le(text + pos, rest);
    if (n <= 0 || n > rest) n = rest < 500 ? rest : 500;  // never loop on a bad cut
    pos += n;
    b->pages.push_back(pos);
  }
  LOGI("open %s: %d characters, %d pages\n", path, len / 2, static_cast<int>(b->pages.size()) - 1);
  parser->context = b.release();
  return 0;
}

int closeDoc(ebook_parser *parser) {
  if (!parser) return -1;
  if (DocBook *b = docBook(parser)) DocRelease(&b->doc);
  delete docBook(parser);
  parser->context = nullptr;
  return 0;
}

int totalDoc(ebook_parser *parser) {
  DocBook *b = parser ? docBook(parser) : nullptr;
  return b && b->pages.size() >= 2 ? static_cast<int>(b->pages.size()) - 1 : 0;
}

int readPageDoc(ebook_parser *parser, int page, const char **text) {
  DocBook *b = parser ? docBook(parser) : nullptr;
  if (!b || !text || page < 0 || page >= totalDoc(parser)) return 0;
  int start = b->pages[static_cast<size_t>(page)];
  int len = b->pages[static_cast<size_t>(page) + 1] - start;
  if (len > kEbookPageBytes) len = kEbookPageBytes;
  if (DocSeek(&b->doc, start) != 0) return 0;
  int n = DocRead(&b->doc, b->raw, len);
  if (n <= 0) return 0;
  int out = charset_page_to_utf8(CHARSET_UTF16LE, b->raw, n, b->page, sizeof b->page);
  if (out < 0) {
    LOGE("converters are not open\n");
    return 0;
  }
  *text = b->page;
  return out;
}

DocxDocument *docxBook(ebook_parser *p) { return static_cast<DocxDocument *>(p->context); }

int openDocx(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  DocxDocument *doc = docx_open(path);
  if (!doc) {
    int why = docx_last_error();
    LOGE("can not open the file: %s (docx_open %d)\n", path ? path : "(null)", why);
    switch (why) {
      case DOCX_PROTECTED: return EBOOK_OPEN_PROTECTED;
      case DOCX_NOT_ZIP: case DOCX_NO_MAIN: return EBOOK_OPEN_UNSUPPORTED;
      case DOCX_NO_MEMORY: return -2;
      case DOCX_NO_FILE: return -6;
      default: return EBOOK_OPEN_DAMAGED;
    }
  }
  parser->context = doc;
  return 0;
}

int closeDocx(ebook_parser *parser) {
  if (!parser) return -1;
  docx_close(docxBook(parser));
  parser->context = nullptr;
  return 0;
}

int totalDocx(ebook_parser *parser) { return parser ? docx_total_pages(docxBook(parser)) : 0; }

int readPageDocx(ebook_parser *parser, int page, const char **text) {
  return parser ? docx_read_page(docxBook(parser), page, text) : 0;
}

}  // namespace

ebook_parser ebook_parser_for_docx = {"docx", nullptr, openDocx, closeDocx, nullptr, totalDocx, readPageDocx, nullptr};
ebook_parser ebook_parser_for_doc = {"doc", nullptr, openDoc, closeDoc, nullptr, totalDoc, readPageDoc, nullptr};
