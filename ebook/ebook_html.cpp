// The records of HTML pages (htm, html) and MHT web archives (mht): the
// visible text of the page or archive (ebook/html_text.h) held in memory and
// paged like any UTF-8 text.
#include "ebook/ebook_parser.h"
#include "ebook/html_text.h"

#include "core/log.h"

#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/ebook_html.c";

EbookMemText *book(ebook_parser *p) { return static_cast<EbookMemText *>(p->context); }

int openWith(ebook_parser *parser, const char *path, int (*extract)(const char *, std::string *)) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  std::unique_ptr<EbookMemText> b(new (std::nothrow) EbookMemText);
  if (!b) {
    LOGE("can not malloc for HtmlCtx\n");
    return -2;
  }
  int err = extract(path, &b->text);
  if (err) {
    LOGE("can not open the file: %s, err = %d\n", path ? path : "(null)", err);
    return err == -2 ? -2 : -6;
  }
  ebook_memtext_paginate(b.get(), get_page_size_for_utf8, 0);
  parser->context = b.release();
  return 0;
}

int openHtml(ebook_parser *parser, const char *path) { return openWith(parser, path, html_parser_open); }
int openMht(ebook_parser *parser, const char *path) { return openWith(parser, path, mht_open); }

int closeHtml(ebook_parser *parser) {
  if (!parser) return -1;
  delete book(parser);
  parser->context = nullptr;
  return 0;
}

int totalHtml(ebook_parser *parser) { return parser ? ebook_memtext_total_pages(book(parser)) : 0; }

int readPageHtml(ebook_parser *parser, int page, const char **text) {
  return parser ? ebook_memtext_read_page(book(parser), page, text) : 0;
}

}  // namespace

ebook_parser ebook_parser_for_htm = {"htm", nullptr, openHtml, closeHtml, nullptr, totalHtml, readPageHtml, nullptr};
ebook_parser ebook_parser_for_html = {"html", nullptr, openHtml, closeHtml, nullptr, totalHtml, readPageHtml, nullptr};
ebook_parser ebook_parser_for_mht = {"mht", nullptr, openMht, closeHtml, nullptr, totalHtml, readPageHtml, nullptr};
