// The plain-text family: txt and ebk read the file as it is, ebd and ebe
// un-scramble it (byte i of the file is XOR-ed with byte i mod 8 of the
// format's key, so any position decodes by itself). One implementation; the
// four records differ only in read_raw.
//
// Opening walks the first megabyte through a 512 KiB work buffer, refilled
// 256 KiB at a time, and records where each page starts; the table grows
// from its last boundary as reading goes further, and is completed when the
// book's page count is asked for (or handed over whole, see
// ebook_text_set_pages). Reading a page seeks there, reads at most 512 bytes
// and converts them to UTF-8 into the work buffer.
//
// The character set is detected on the first 512 KiB. A file whose first
// 512 KiB are plain ASCII is undecided: ASCII is the same in every set the
// reader knows except UTF-16, so the set is detected again where the first
// byte above 0x7F appears (a long English preface before a GBK text).
#include "ebook/ebook_parser.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr char kLogSource[] = "ebook/ebook_txt.c";
constexpr int kWorkSize = 0x80000;
constexpr int kRefill = 0x40000;
constexpr size_t kOpenPages = 2048;  // paged at open: about a megabyte

unsigned char g_ebdKey[8] = {0x5A, 0xC3, 0x1E, 0x97, 0x64, 0xB8, 0x2D, 0xF1};
// CHARSET_* chosen by the listener for the next open on this thread, 0
// detect: the reader and the background count each open with their own.
thread_local int g_chosenCharset = 0;
const unsigned char kEbeKey[8] = {0xA7, 0x3C, 0xE1, 0x58, 0x9B, 0x06, 0xD4, 0x72};

struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

struct TxtBook {
  std::unique_ptr<FILE, FileClose> file;
  int charset = CHARSET_UTF8;
  PageSizeFunc page_size = get_page_size_for_utf8;
  unsigned char raw[kEbookPageBytes];
  std::unique_ptr<char[]> work;  // kWorkSize bytes (+1 for a NUL)
  int64_t work_offset = 0;       // file offset of work[0]
  int work_len = 0;
  std::vector<int64_t> pages;    // boundaries: page k is [pages[k], pages[k+1])
  bool paged = false;            // pages reach the file's end
  bool undecided = false;        // all bytes paged so far are ASCII (see above)
};

TxtBook *book(ebook_parser *p) { return static_cast<TxtBook *>(p->context); }

int readPlain(ebook_parser *parser, void *buffer, int count) {
  TxtBook *b = parser ? book(parser) : nullptr;
  if (!b || !buffer || count <= 0) return 0;
  return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), b->file.get()));
}

int readXor(ebook_parser *parser, void *buffer, int count, const unsigned char *key) {
  TxtBook *b = parser ? book(parser) : nullptr;
  if (!b || !buffer || count <= 0) return 0;
  int64_t at = ftello(b->file.get());
  int n = readPlain(parser, buffer, count);
  if (at < 0) return n;
  auto *p = static_cast<unsigned char *>(buffer);
  for (int i = 0; i < n; i++) p[i] ^= key[(at + i) % 8];
  return n;
}

int read_txt(ebook_parser *parser, void *buffer, int count) { return readPlain(parser, buffer, count); }
int read_ebd(ebook_parser *parser, void *buffer, int count) { return readXor(parser, buffer, count, g_ebdKey); }
int read_ebe(ebook_parser *parser, void *buffer, int count) { return readXor(parser, buffer, count, kEbeKey); }

int bomLength(int charset, const unsigned char *b, int n) {
  if (charset == CHARSET_UTF8 && n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return 3;
  if (charset == CHARSET_UTF16LE && n >= 2 && b[0] == 0xFF && b[1] == 0xFE) return 2;
  if (charset == CHARSET_UTF16BE && n >= 2 && b[0] == 0xFE && b[1] == 0xFF) return 2;
  return 0;
}

bool hasHighByte(const char *p, int n) {
  for (int i = 0; i < n; i++)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return true;
  return false;
}

// Extends the page table from its last boundary until it holds `want`
// pages or reaches the file's end (then b->paged), reading through the work
// buffer (which reading a page overwrites, so it is filled again here).
void paginate(ebook_parser *parser, TxtBook *b, size_t want) {
  if (b->paged || b->pages.empty()) return;
  char *work = b->work.get();
  int pos = 0;
  int scanned = 0;  // bytes before this are known to be ASCII while undecided
  bool ended = false;
  b->work_offset = b->pages.back();
  b->work_len = 0;
  if (fseeko(b->file.get(), b->work_offset, SEEK_SET) != 0) {
    b->paged = true;  // an unreadable rest ends the book where it stands
    return;
  }
  // Moves the unread bytes to the front and appends the next part.
  auto refill = [&]() {
    int rest = b->work_len - pos;
    std::memmove(work, work + pos, static_cast<size_t>(rest));
    b->work_offset += pos;
    scanned -= pos;
    pos = 0;
    int room = kWorkSize - rest < kRefill ? kWorkSize - rest : kRefill;
    int n = parser->read_raw(parser, work + rest, room);
    b->work_len = rest + (n > 0 ? n : 0);
    if (n < room) ended = true;
  };
  while (b->pages.size() <= want) {
    if (static_cast<int>(b->pages.size()) >= kEbookMaxPageEntries) {
      b->paged = true;
      return;
    }
    int rest = b->work_len - pos;
    if (rest < kEbookPageBytes && !ended) {
      refill();
      continue;
    }
    if (rest < kEbookPageBytes) {
      if (rest > 0) b->pages.push_back(b->work_offset + b->work_len);
      b->paged = true;
      return;
    }
    if (b->undecided) {
      int end = pos + kEbookPageBytes;
      if (scanned < end && hasHighByte(work + scanned, end - scanned)) {
        if (!ended && rest < kRefill) {
          refill();  // detect on a good sample, not on the last few bytes
          continue;
        }
        b->charset = get_charset(reinterpret_cast<unsigned char *>(work + pos), rest);
        b->page_size = get_page_size_func(b->charset);
        b->undecided = false;
        LOGI("text turns non-ASCII near %lld: charset %d\n", static_cast<long long>(b->work_offset + pos),
             b->charset);
      }
      scanned = end;
    }
    int n = b->page_size(reinterpret_cast<unsigned char *>(work + pos), rest);
    if (n <= 0 || n > rest) n = kEbookPageBytes - 12;  // never loop on a bad cut
    pos += n;
    b->pages.push_back(b->work_offset + pos);
  }
}

int openTxt(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  if (!path) return -6;
  std::unique_ptr<TxtBook> b(new (std::nothrow) TxtBook);
  if (b) b->work.reset(new (std::nothrow) char[kWorkSize + 1]);
  if (!b || !b->work) {
    LOGE("malloc fail %s %d\n", __FILE__, __LINE__);
    return -2;
  }
  b->file.reset(std::fopen(BoardPath(path).c_str(), "rb"));
  if (!b->file) {
    LOGE("can not open the file: %s\n", path);
    return -6;
  }
  parser->context = b.get();  // read_raw finds the file through the record
  int n = parser->read_raw(parser, b->work.get(), kWorkSize);
  b->work_len = n > 0 ? n : 0;
  bool ended = b->work_len < kWorkSize;
  auto *head = reinterpret_cast<unsigned char *>(b->work.get());
  b->charset = g_chosenCharset ? g_chosenCharset : get_charset(head, b->work_len);
  b->page_size = get_page_size_func(b->charset);
  b->undecided =
      !g_chosenCharset && b->charset == CHARSET_UTF8 && !ended && !hasHighByte(b->work.get(), b->work_len);
  b->pages.assign(1, bomLength(b->charset, head, b->work_len));
  // The first pages only: the rest are found as reading reaches them, or
  // all at once when the book's end is asked for.
  paginate(parser, b.get(), kOpenPages);
  LOGI("open %s: charset %d, %d pages%s\n", path, b->charset, static_cast<int>(b->pages.size()) - 1,
       b->paged ? "" : " so far");
  b.release();
  return 0;
}

int closeTxt(ebook_parser *parser) {
  if (!parser) return -1;
  delete book(parser);
  parser->context = nullptr;
  return 0;
}

int totalTxt(ebook_parser *parser) {
  TxtBook *b = parser ? book(parser) : nullptr;
  if (b) paginate(parser, b, SIZE_MAX);
  if (!b || b->pages.size() < 2) return 0;
  return static_cast<int>(b->pages.size()) - 1;
}

int readPageTxt(ebook_parser *parser, int page, const char **text) {
  TxtBook *b = parser ? book(parser) : nullptr;
  if (!b || !text || page < 0) return 0;
  paginate(parser, b, static_cast<size_t>(page) + 1);
  if (static_cast<size_t>(page) + 1 >= b->pages.size()) return 0;
  int64_t start = b->pages[static_cast<size_t>(page)];
  int64_t len = b->pages[static_cast<size_t>(page) + 1] - start;
  if (len > kEbookPageBytes) len = kEbookPageBytes;
  if (fseeko(b->file.get(), start, SEEK_SET) != 0) return 0;
  int n = parser->read_raw(parser, b->raw, static_cast<int>(len));
  if (n <= 0) return 0;
  int out = charset_page_to_utf8(b->charset, reinterpret_cast<char *>(b->raw), n, b->work.get(), kWorkSize + 1);
  if (out < 0) {
    LOGE("converters are not open\n");
    return 0;
  }
  *text = b->work.get();
  return out;
}

}  // namespace

int ebook_text_known_pages(ebook_parser *parser) {
  if (!parser || !parser->context || parser->open != openTxt) return -1;
  TxtBook *b = book(parser);
  return b->paged ? -1 : static_cast<int>(b->pages.size()) - 1;
}

int ebook_text_get_pages(ebook_parser *parser, EbookTextPages *out) {
  if (!out || !parser || !parser->context || parser->open != openTxt) return -1;
  TxtBook *b = book(parser);
  paginate(parser, b, SIZE_MAX);
  out->pages = b->pages;
  out->charset = b->charset;
  return 0;
}

int ebook_text_set_pages(ebook_parser *parser, const EbookTextPages &in) {
  if (!parser || !parser->context || parser->open != openTxt || in.pages.size() < 2) return -1;
  TxtBook *b = book(parser);
  if (b->paged || b->pages.front() != in.pages.front()) return -1;
  b->pages = in.pages;
  b->charset = in.charset;
  b->page_size = get_page_size_func(in.charset);
  b->undecided = false;
  b->paged = true;
  return 0;
}

int ebook_text_charset(ebook_parser *parser) {
  if (!parser || !parser->context || parser->open != openTxt) return -1;
  return book(parser)->charset;
}

int ebook_text_choose_charset(int charset) {
  switch (charset) {
    case 0:
    case CHARSET_GBK:
    case CHARSET_BIG5:
    case CHARSET_UTF8:
    case CHARSET_UTF16LE:
    case CHARSET_UTF16BE:
      g_chosenCharset = charset;
      return 0;
    default:
      g_chosenCharset = 0;
      return -1;
  }
}

void set_xor_value_for_ebd(const unsigned char *key) {
  if (key) std::memcpy(g_ebdKey, key, sizeof g_ebdKey);
}

ebook_parser ebook_parser_for_txt = {"txt", nullptr, openTxt, closeTxt, read_txt, totalTxt, readPageTxt, nullptr};
ebook_parser ebook_parser_for_ebk = {"ebk", nullptr, openTxt, closeTxt, read_txt, totalTxt, readPageTxt, nullptr};
ebook_parser ebook_parser_for_ebd = {"ebd", nullptr, openTxt, closeTxt, read_ebd, totalTxt, readPageTxt, nullptr};
ebook_parser ebook_parser_for_ebe = {"ebe", nullptr, openTxt, closeTxt, read_ebe, totalTxt, readPageTxt, nullptr};
