// The records of HTML pages (htm, html) and MHT web archives (mht): the
// visible text of the page or archive (ebook/html_text.h) held in memory and
// paged like any UTF-8 text.
#include "ebook/ebook_parser.h"
#include "ebook/html_text.h"

#include "core/runtime/log.h"

#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/ebook_html.c";

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

}  // namespace

#define HTML_RECORD(ext, open)                                                                 \
  ebook_parser ebook_parser_for_##ext = {#ext,    nullptr, open, ebook_memtext_close, nullptr, \
                                         ebook_memtext_get_total_pages, ebook_memtext_get_page, nullptr}

HTML_RECORD(htm, openHtml);
HTML_RECORD(html, openHtml);
HTML_RECORD(mht, openMht);
