// The registry of e-book formats and the paging of books held in memory.
#include "ebook/ebook_parser.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

ebook_parser *const g_ebook_parser_list[] = {
    &ebook_parser_for_txt,  &ebook_parser_for_ebk, &ebook_parser_for_ebd,  &ebook_parser_for_ebe,
    &ebook_parser_for_docx, &ebook_parser_for_pdf, &ebook_parser_for_epub, &ebook_parser_for_doc,
    &ebook_parser_for_htm,  &ebook_parser_for_html, &ebook_parser_for_lrc, &ebook_parser_for_mht,
    nullptr,
};

const char *get_extension_name(const char *filename) {
  if (!filename) return nullptr;
  const char *dot = std::strrchr(filename, '.');
  if (!dot || dot[1] == '\0') return nullptr;
  return dot + 1;
}

ebook_parser *find_ebook_parser(const char *filename) {
  const char *ext = get_extension_name(filename);
  if (!ext) return nullptr;
  for (int i = 0; g_ebook_parser_list[i]; i++)
    if (strcasecmp(g_ebook_parser_list[i]->extension, ext) == 0) return g_ebook_parser_list[i];
  return nullptr;
}

int check_is_ebook(const char *filename) { return find_ebook_parser(filename) ? 1 : 0; }

int ebook_parser_busy(const ebook_parser *parser) {
  std::fprintf(stderr, "ebook_parser_for_%s is using, can't open again\n", parser->extension);
  return -4;
}

int ebook_memtext_paginate(EbookMemText *book, PageSizeFunc page_size, int start) {
  if (!book) return 0;
  if (!page_size) page_size = get_page_size_for_utf8;
  const int len = static_cast<int>(book->text.size());
  if (start < 0 || start > len) start = len;
  const auto *base = reinterpret_cast<const unsigned char *>(book->text.data());
  book->pages.assign(1, start);
  int pos = start;
  while (static_cast<int>(book->pages.size()) < kEbookMaxPageEntries) {
    int rest = len - pos;
    if (rest < kEbookPageBytes) {
      if (rest > 0) book->pages.push_back(len);
      break;
    }
    int n = page_size(base + pos, rest);
    if (n <= 0 || n > rest) n = rest < 500 ? rest : 500;  // never loop on a bad cut
    pos += n;
    book->pages.push_back(pos);
  }
  return ebook_memtext_total_pages(book);
}

int ebook_memtext_total_pages(const EbookMemText *book) {
  if (!book || book->pages.size() < 2) return 0;
  return static_cast<int>(book->pages.size()) - 1;
}

int ebook_memtext_read_page(EbookMemText *book, int page, const char **text) {
  if (!book || !text || page < 0 || page >= ebook_memtext_total_pages(book)) return 0;
  int start = book->pages[static_cast<size_t>(page)];
  int len = book->pages[static_cast<size_t>(page) + 1] - start;
  if (len > kEbookPageBytes) len = kEbookPageBytes;
  std::memcpy(book->page, book->text.data() + start, static_cast<size_t>(len));
  book->page[len] = '\0';
  *text = book->page;
  return len;
}

int ebook_memtext_close(ebook_parser *parser) {
  if (!parser) return -1;
  delete static_cast<EbookMemText *>(parser->context);
  parser->context = nullptr;
  return 0;
}

int ebook_memtext_get_total_pages(ebook_parser *parser) {
  return parser ? ebook_memtext_total_pages(static_cast<EbookMemText *>(parser->context)) : 0;
}

int ebook_memtext_get_page(ebook_parser *parser, int page, const char **text) {
  return parser ? ebook_memtext_read_page(static_cast<EbookMemText *>(parser->context), page, text) : 0;
}
