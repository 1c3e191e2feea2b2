// The EPUB record: the book's text (ebook/epub.h) held in memory and paged
// with the EPUB page size, and the chapters for the reader's chapter unit,
// as pages and offsets in them.
#include "ebook/ebook_epub.h"
#include "ebook/epub.h"

#include "core/runtime/log.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/ebook_epub.c";

std::atomic<int> g_lastError{0};

struct EpubState {
  EbookMemText pages;
  EpubBook book;  // its text moved into pages.text
};

EpubState *state(ebook_parser *p) {
  return p && p->context && p->open == ebook_parser_for_epub.open ? static_cast<EpubState *>(p->context) : nullptr;
}

int openEpub(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  std::unique_ptr<EpubState> s(new (std::nothrow) EpubState);
  if (!s) {
    LOGE("can not malloc for EPUB\n");
    return -2;
  }
  int err = epub_open(path, &s->book);
  g_lastError = err;
  if (err) {
    LOGE("can not open the file: %s, err = %d\n", path ? path : "(null)", err);
    return err == EPUB_NO_MEMORY ? -2 : -6;
  }
  s->pages.text.swap(s->book.text);
  ebook_memtext_paginate(&s->pages, get_page_size_for_epub, 0);
  parser->context = s.release();
  return 0;
}

int closeEpub(ebook_parser *parser) {
  if (!parser) return -1;
  delete static_cast<EpubState *>(parser->context);
  parser->context = nullptr;
  return 0;
}

int totalEpub(ebook_parser *parser) {
  EpubState *s = state(parser);
  return s ? ebook_memtext_total_pages(&s->pages) : 0;
}

int readPageEpub(ebook_parser *parser, int page, const char **text) {
  EpubState *s = state(parser);
  return s ? ebook_memtext_read_page(&s->pages, page, text) : 0;
}

}  // namespace

ebook_parser ebook_parser_for_epub = {"epub", nullptr, openEpub, closeEpub, nullptr, totalEpub, readPageEpub, nullptr};

int ebook_epub_last_error(void) { return g_lastError; }

int ebook_epub_chapter_count(ebook_parser *parser) {
  EpubState *s = state(parser);
  return s ? static_cast<int>(s->book.chapters.size()) : 0;
}

int ebook_epub_chapter_start(ebook_parser *parser, int chapter, int *page, int *offset) {
  EpubState *s = state(parser);
  if (!s || chapter < 0 || chapter >= static_cast<int>(s->book.chapters.size()) || !page || !offset) return -1;
  const std::vector<int> &bounds = s->pages.pages;
  int at = s->book.chapters[static_cast<size_t>(chapter)].offset;
  auto it = std::upper_bound(bounds.begin(), bounds.end(), at);
  int k = static_cast<int>(it - bounds.begin()) - 1;
  k = std::clamp(k, 0, std::max(ebook_memtext_total_pages(&s->pages) - 1, 0));
  *page = k;
  *offset = std::max(at - bounds[static_cast<size_t>(k)], 0);
  return 0;
}

int ebook_epub_chapter_of(ebook_parser *parser, int page, int offset) {
  EpubState *s = state(parser);
  if (!s || page < 0 || page >= ebook_memtext_total_pages(&s->pages)) return -1;
  int at = s->pages.pages[static_cast<size_t>(page)] + offset;
  if (s->book.chapters.empty() || at < s->book.chapters[0].offset) return -1;
  return epub_chapter_at(&s->book, at);
}

const char *ebook_epub_chapter_title(ebook_parser *parser, int chapter) {
  EpubState *s = state(parser);
  if (!s || chapter < 0 || chapter >= static_cast<int>(s->book.chapters.size())) return nullptr;
  return s->book.chapters[static_cast<size_t>(chapter)].title.c_str();
}

const char *ebook_epub_title(ebook_parser *parser) {
  EpubState *s = state(parser);
  return s ? s->book.title.c_str() : nullptr;
}

const char *ebook_epub_author(ebook_parser *parser) {
  EpubState *s = state(parser);
  return s ? s->book.author.c_str() : nullptr;
}

int ebook_epub_missing(ebook_parser *parser) {
  EpubState *s = state(parser);
  return s ? s->book.missing + s->book.encrypted : 0;
}
