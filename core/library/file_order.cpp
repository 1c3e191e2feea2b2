// Folder listings and the name order.
#include "core/library/file_order.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "ebook/charset.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/filebrowser.c";
constexpr size_t kNamesStep = 4096;
constexpr size_t kOffsetsStep = 1024;
constexpr size_t kPathMax = 4096;
constexpr char kCollationFile[] = "/home/ChnCharIndexs.bin";


std::mutex g_tableMutex;
std::atomic<bool> g_tableLoaded{false};
std::array<uint16_t, 65536> g_table;  // written once under g_tableMutex before g_tableLoaded

bool loadTable() {
  if (g_tableLoaded.load(std::memory_order_acquire)) return true;
  std::scoped_lock lock(g_tableMutex);
  if (g_tableLoaded.load(std::memory_order_relaxed)) return true;
  FILE *f = std::fopen(BoardPath(kCollationFile).c_str(), "rb");
  if (!f) return false;
  unsigned char raw[2 * 65536];
  size_t n = std::fread(raw, 1, sizeof raw, f);
  std::fclose(f);
  if (n != sizeof raw) {
    LOGW("%s is short: %zu bytes\n", kCollationFile, n);
    return false;
  }
  for (size_t i = 0; i < 65536; i++) g_table[i] = static_cast<uint16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  g_tableLoaded.store(true, std::memory_order_release);
  return true;
}

// One character decoded by its lead byte. Continuation bytes are taken only
// while they are there, so a name in another encoding never reads past its
// end; a four-byte character sorts after every other.
unsigned decodeChar(const unsigned char *s, int *len) {
  unsigned b0 = s[0];
  int want = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
  int n = 1;
  while (n < want && s[n]) n++;
  *len = n;
  if (n != want) return b0;
  switch (want) {
    case 2: return ((b0 & 0x1F) << 6) | (s[1] & 0x3F);
    case 3: return ((b0 & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    case 4: return 0x10000;
    default: return b0;
  }
}

unsigned weight(unsigned c) { return c > 0xFFFF ? 0x10000 : g_table[c]; }

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Compares the digit runs at a and b as whole numbers of any length.
int compareNumbers(const unsigned char *a, const unsigned char *b) {
  while (*a == '0' && isDigit(a[1])) a++;
  while (*b == '0' && isDigit(b[1])) b++;
  size_t la = 0, lb = 0;
  while (isDigit(a[la])) la++;
  while (isDigit(b[lb])) lb++;
  if (la != lb) return la < lb ? -1 : 1;
  int c = std::memcmp(a, b, la);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Names equal apart from hyphens and case: a hyphen where the other has
// none sorts later; then case-insensitive, then byte order.
int tieBreak(const char *a, const char *b) {
  for (size_t i = 0;; i++) {
    if (!a[i] && !b[i]) {
      int c = strcasecmp(a, b);
      if (!c) c = std::strcmp(a, b);
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (!a[i]) return -1;
    if (!b[i]) return 1;
    if (a[i] == '-' && b[i] != '-') return 1;
    if (b[i] == '-' && a[i] != '-') return -1;
  }
}

// LogicalStrCmp of two names in UTF-8, the table loaded.
int compareTexts(const char *a, const char *b) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
  const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
  bool numbersMet = false;
  for (;;) {
    while (*p == '-') p++;
    while (*q == '-') q++;
    if (!*p) break;
    if (!*q) return 1;
    int la, lb;
    unsigned ca = decodeChar(p, &la), cb = decodeChar(q, &lb);
    if (isDigit(*p) && isDigit(*q)) {
      size_t k = static_cast<size_t>(p - reinterpret_cast<const unsigned char *>(a));
      if (!numbersMet || strncasecmp(a, b, k) == 0) {
        numbersMet = true;
        int r = compareNumbers(p, q);
        if (r) return r;
      }
    }
    unsigned wa = weight(ca), wb = weight(cb);
    if (wa != wb) return wa < wb ? -1 : 1;
    p += la;
    q += lb;
  }
  if (*q) return -1;
  return tieBreak(a, b);
}

}  // namespace

int FileOrderListAdd(FileOrderList *list, const char *name) {
  if (!list || !name) return -1;
  size_t len = std::strlen(name);
  if (len >= kPathMax) return -1;
  if (list->names_used + len + 1 > list->names.size()) {
    size_t grow = ((list->names_used + len + 1 - list->names.size()) / kNamesStep + 1) * kNamesStep;
    list->names.resize(list->names.size() + grow);
  }
  if (static_cast<size_t>(list->count) >= list->offsets.size()) list->offsets.resize(list->offsets.size() + kOffsetsStep);
  std::memcpy(list->names.data() + list->names_used, name, len + 1);
  list->offsets[static_cast<size_t>(list->count++)] = static_cast<uint32_t>(list->names_used);
  list->names_used += len + 1;
  return 0;
}

void FileOrderListReset(FileOrderList *list) {
  if (!list) return;
  list->names.assign(kNamesStep, '\0');
  list->names.shrink_to_fit();
  list->offsets.assign(kOffsetsStep, 0);
  list->offsets.shrink_to_fit();
  list->names_used = 0;
  list->count = 0;
}

const char *FileOrderListGet(const FileOrderList *list, int i) {
  if (!list || i < 0 || i >= list->count) return nullptr;
  return list->names.data() + list->offsets[static_cast<size_t>(i)];
}

void SortFileByName(FileOrderList *list, int ascending, int (*compare)(const char *, const char *)) {
  if (!list || !compare || list->count < 2) return;
  uint32_t *off = list->offsets.data();
  const char *base = list->names.data();
  int dir = ascending ? 1 : -1;  // compare results are multiplied by it
  auto cmp = [&](uint32_t x, uint32_t y) { return dir * compare(base + x, base + y); };
  // The order of binary insertion, where a name goes in front of the names
  // it equals (so without a collation table the list comes out reversed),
  // made by a merge sort of the reversed list: n log n comparisons and no
  // shifting of the whole table for every name.
  std::reverse(off, off + list->count);
  if (compare != LogicalStrCmp) {
    std::stable_sort(off, off + list->count, [&](uint32_t x, uint32_t y) { return cmp(x, y) < 0; });
    return;
  }
  // The name order prepares each name once (the table, a GBK or Big5 name's
  // text) rather than at every comparison. Without the table every pair is
  // equal: the reversed list is the order.
  if (!loadTable()) return;
  const size_t n = static_cast<size_t>(list->count);
  std::vector<std::string> converted;
  std::vector<std::pair<const char *, uint32_t>> keyed(n);
  for (size_t i = 0; i < n; i++) {
    const char *name = base + off[i];
    if (!charset_name_is_utf8(name)) {
      converted.push_back(charset_name_text(name));
      name = nullptr;  // set below, once `converted` stops moving
    }
    keyed[i] = {name, off[i]};
  }
  for (size_t i = 0, c = 0; i < n; i++)
    if (!keyed[i].first) keyed[i].first = converted[c++].c_str();
  std::stable_sort(keyed.begin(), keyed.end(),
                   [dir](const auto &x, const auto &y) { return dir * compareTexts(x.first, y.first) < 0; });
  for (size_t i = 0; i < n; i++) off[i] = keyed[i].second;
}

int LogicalStrCmp(const char *a, const char *b) {
  if (!a || !b) return 0;
  if (!loadTable()) return 0;
  // A name another device wrote in GBK or Big5 takes its place by its text.
  std::string textA, textB;
  if (!charset_name_is_utf8(a)) a = (textA = charset_name_text(a)).c_str();
  if (!charset_name_is_utf8(b)) b = (textB = charset_name_text(b)).c_str();
  return compareTexts(a, b);
}

void LogicalStrCmpReset(void) {
  std::scoped_lock lock(g_tableMutex);
  g_tableLoaded = false;
}
