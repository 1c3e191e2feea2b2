// Lyrics files (lrc): the first 512 KiB of the file converted to UTF-8 in
// memory, every bracketed tag ([00:12.34], [ar:...]) removed, and the lyric
// text that remains paged like any UTF-8 text.
#include "ebook/ebook_parser.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/ebook_lrc.c";
constexpr size_t kMaxRead = 0x80000;
constexpr size_t kConvertSize = 0xC0000;

struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

// Drops each '[' and everything up to and including the next ']'; an
// unterminated '[' drops the rest.
void removeTags(std::string *text) {
  std::string out;
  out.reserve(text->size());
  size_t i = 0;
  while (i < text->size()) {
    size_t open = text->find('[', i);
    if (open == std::string::npos) {
      out.append(*text, i, std::string::npos);
      break;
    }
    out.append(*text, i, open - i);
    size_t close = text->find(']', open + 1);
    if (close == std::string::npos) break;
    i = close + 1;
  }
  text->swap(out);
}

// Converts bytes in charset to UTF-8 (unconvertible bytes skipped as on a
// plain-text page) into an area of 768 KiB.
bool toUtf8(int charset, const char *in, size_t len, std::string *out) {
  std::unique_ptr<char[]> area(new (std::nothrow) char[kConvertSize]);
  if (!area) return false;
  int n = charset_page_to_utf8(charset, in, static_cast<int>(len), area.get(), static_cast<int>(kConvertSize));
  if (n < 0) {
    LOGE("converters are not open\n");
    return false;
  }
  out->assign(area.get(), static_cast<size_t>(n));
  return true;
}

int openLrc(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  std::unique_ptr<FILE, FileClose> f(path ? std::fopen(BoardPath(path).c_str(), "rb") : nullptr);
  if (!f) {
    LOGE("Can not open the file: %s\n", path ? path : "(null)");
    return -6;
  }
  std::unique_ptr<EbookMemText> b(new (std::nothrow) EbookMemText);
  std::unique_ptr<char[]> raw(new (std::nothrow) char[kMaxRead]);
  if (!b || !raw) {
    LOGE("malloc fail %s %d\n", __FILE__, __LINE__);
    return -2;
  }
  size_t n = std::fread(raw.get(), 1, kMaxRead, f.get());
  auto *u = reinterpret_cast<unsigned char *>(raw.get());
  int charset = get_charset(u, static_cast<int>(n));
  if (charset == CHARSET_UTF8) {
    size_t skip = n >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF ? 3 : 0;
    b->text.assign(raw.get() + skip, n - skip);
  } else {
    size_t skip = 0;
    if ((charset == CHARSET_UTF16LE && n >= 2 && u[0] == 0xFF && u[1] == 0xFE) ||
        (charset == CHARSET_UTF16BE && n >= 2 && u[0] == 0xFE && u[1] == 0xFF))
      skip = 2;
    if (!toUtf8(charset, raw.get() + skip, n - skip, &b->text)) return -6;
  }
  removeTags(&b->text);
  ebook_memtext_paginate(b.get(), get_page_size_for_utf8, 0);
  parser->context = b.release();
  return 0;
}

}  // namespace

ebook_parser ebook_parser_for_lrc = {"lrc", nullptr, openLrc, ebook_memtext_close, nullptr,
                                   ebook_memtext_get_total_pages, ebook_memtext_get_page, nullptr};
