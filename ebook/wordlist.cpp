// The example-word list: the whole file image in one buffer, checked once at
// load time; a lookup reads the character's offset and the next one from the
// offsets table and walks one entry, checking it against the entry's bounds
// so a damaged file never reads outside the image.
//
// File layout (all numbers little-endian):
//   0   "WordList" NUL-terminated        32  first code (2)   34  last code (2)
//   36  offsets table offset, 512 (4)    40  words area offset (4)
//   512 one offset per code first..last plus an end offset (4 each), relative
//       to the words area
//   entry: count n (1), n lengths in 16-bit units (1 each), a pad byte when n
//       is even, then the n words as UTF-16LE without terminators.
#include "ebook/wordlist.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/WordList.c";
constexpr char kWordListPath[] = "/home/WordList.bin";
constexpr long kMinSize = 10240;
constexpr long kMaxSize = 10485760;
constexpr uint32_t kTableOffset = 512;

struct WordList {
  std::unique_ptr<unsigned char[]> image;
  size_t size = 0;
  unsigned first = 0;
  unsigned last = 0;
  uint32_t words = 0;  // offset of the words area in the image
};

std::unique_ptr<WordList> g_list;

uint16_t le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void red(const char *text) { std::printf("\033[31m%s\033[0m\n", text); }

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};

}  // namespace

int WordList_Init(void) { return WordList_InitFrom(kWordListPath); }

int WordList_InitFrom(const char *path) {
  if (g_list) return 0;
  if (!path) return -1;
  std::unique_ptr<FILE, FileCloser> f(std::fopen(BoardPath(path).c_str(), "rb"));
  if (!f) {
    char msg[300];
    std::snprintf(msg, sizeof msg, "can not open %s", path);
    red(msg);
    return -1;
  }
  long len = -1;
  if (std::fseek(f.get(), 0, SEEK_END) == 0) len = std::ftell(f.get());
  if (len < kMinSize || len > kMaxSize) {
    LOGE("file len = %ld, error\n", len);
    return -1;
  }
  std::unique_ptr<WordList> list(new (std::nothrow) WordList);
  if (list) list->image.reset(new (std::nothrow) unsigned char[static_cast<size_t>(len)]);
  if (!list || !list->image) {
    red("malloc for g_pFileData fail");
    return -1;
  }
  list->size = static_cast<size_t>(len);
  std::rewind(f.get());
  if (std::fread(list->image.get(), 1, list->size, f.get()) != list->size) {
    red("fread for g_pFileData fail");
    return -1;
  }
  const unsigned char *img = list->image.get();
  list->first = le16(img + 32);
  list->last = le16(img + 34);
  uint32_t table = le32(img + 36);
  list->words = le32(img + 40);
  uint64_t tableBytes = 4ull * (list->last - list->first + 2);
  bool ok = len > kMinSize && std::memcmp(img, "WordList", 9) == 0 && list->last >= list->first &&
            table == kTableOffset && list->words >= kTableOffset &&
            list->words - kTableOffset >= tableBytes && list->words <= static_cast<uint64_t>(len);
  if (ok) {
    uint32_t end = le32(img + kTableOffset + 4 * (list->last - list->first + 1));
    ok = static_cast<uint64_t>(list->words) + end == static_cast<uint64_t>(len);
  }
  if (!ok) {
    red("File format error");
    return -1;
  }
  g_list = std::move(list);
  return 0;
}

void WordList_DeInit(void) { g_list.reset(); }

int WordList_GetWords(unsigned code, const unsigned char **word_pointers, unsigned char *word_lengths) {
  if (!g_list || !word_pointers || !word_lengths) return -1;
  const WordList &w = *g_list;
  if (code < w.first || code > w.last) return 0;
  const unsigned char *img = w.image.get();
  const unsigned char *slot = img + kTableOffset + 4 * (code - w.first);
  uint32_t start = le32(slot);
  uint32_t end = le32(slot + 4);
  uint64_t area = w.size - w.words;
  if (start >= end || end > area) return 0;
  const unsigned char *entry = img + w.words + start;
  size_t size = end - start;
  unsigned n = entry[0];
  size_t pos = 1 + n + (n % 2 == 0 ? 1 : 0);
  if (n == 0 || pos > size) return 0;
  for (unsigned i = 0; i < n; i++) {
    unsigned units = entry[1 + i];
    if (pos + 2 * units > size) return 0;  // a damaged entry yields nothing
    word_pointers[i] = entry + pos;
    word_lengths[i] = static_cast<unsigned char>(units);
    pos += 2 * units;
  }
  return static_cast<int>(n);
}
