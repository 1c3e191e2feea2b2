// The polyphone table (see duoying.h): 268 buckets of entries in file order,
// a word of n characters (2..5) in bucket GetHCode(word)[n - 2], so the
// bucket number also encodes the length (bucket mod 4 = n - 2).
#include "speech/duoying.h"

#include "board/board.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr char kFile[] = "/mnt/emmc/duo_ying_zi.res";
constexpr int kBuckets = 268;
constexpr int kLineMax = 1024;
constexpr int kWorkBuf = 1024;
constexpr size_t kMaxFile = 16u << 20;  // far beyond any real table

struct Entry {
  std::string word, replacement;
};

std::mutex g_mutex;
std::array<std::vector<Entry>, kBuckets> g_table;  // guarded by g_mutex
bool g_inited = false;                             // guarded by g_mutex
time_t g_mtime = 0;                                // guarded by g_mutex
char g_workbuf[kWorkBuf];                          // shared result buffer

bool blank(char c) { return c == ' ' || c == '\t'; }

void freeTable() {
  for (auto &bucket : g_table) {
    bucket.clear();
    bucket.shrink_to_fit();
  }
  g_inited = false;
}

// Splits "  word , replacement  " into its two texts. Returns 0, 1 for a
// line to ignore, -4 for a malformed one.
int dealLine(const char *line, std::string *word, std::string *replacement) {
  if (line[0] == '\0' || line[0] == '#') return 1;
  const char *p = line;
  while (blank(*p)) p++;
  const char *w = p;
  while (*p && !blank(*p) && *p != ',') p++;
  word->assign(w, static_cast<size_t>(p - w));
  while (blank(*p)) p++;
  if (*p != ',') return -4;
  p++;
  while (blank(*p)) p++;
  const char *r = p;
  while (*p && !blank(*p) && *p != ',') p++;
  replacement->assign(r, static_cast<size_t>(p - r));
  while (blank(*p)) p++;
  if (*p || word->empty() || replacement->empty()) return -4;
  return 0;
}

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};

// Loads the file; lock held. Returns 0 or -1 (table left unloaded).
int load() {
  freeTable();
  std::string path = BoardPath(kFile);
  std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "r"));
  if (!f) {
    std::printf("cannot open file: %s\n", kFile);
    return -1;
  }
  struct stat st;
  if (fstat(fileno(f.get()), &st) != 0) {
    std::printf("cannot stat file: %s\n", kFile);
    return -1;
  }
  g_mtime = st.st_mtime;
  // The whole file at once; a line is at most kLineMax - 2 bytes with its end.
  std::string data;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
    data.append(chunk, got);
    if (data.size() > kMaxFile) break;
  }
  if (std::ferror(f.get()) || data.size() > kMaxFile) {
    std::puts("error int reading file");
    return -1;
  }
  size_t pos = 0;
  int lineNo = 0;
  while (pos < data.size()) {
    lineNo++;
    size_t nl = data.find('\n', pos);
    size_t end = nl == std::string::npos ? data.size() : nl + 1;
    if (end - pos > kLineMax - 2) {
      std::printf("error: line %d too long\n", lineNo);
      freeTable();
      return -1;
    }
    std::string line = data.substr(pos, end - pos);
    pos = end;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string word, replacement;
    int r = dealLine(line.c_str(), &word, &replacement);
    if (r == 1) continue;
    if (r < 0) {
      std::printf("DealLine %d return error: %d\n", lineNo, r);
      continue;
    }
    int codes[4];
    int k = GetHCode(codes, word.c_str());
    if (k < 0) continue;  // not a word of GBK characters
    if (word.size() != static_cast<size_t>((k + 2) * 2))
      std::printf("warning: line %d GetHCode return len!!!!\n", lineNo);
    g_table[static_cast<size_t>(codes[k])].push_back({std::move(word), std::move(replacement)});
  }
  g_inited = true;
  return 0;
}

// Appends up to n bytes; false (with the message) when dst has no room for
// one byte and its terminator.
bool putByte(char *dst, int size, int *used, char c, int line) {
  if (size - *used < 2) {
    std::printf("line %d: DuoYingConvert: out buffer too short!!!\n", line);
    return false;
  }
  dst[(*used)++] = c;
  dst[*used] = '\0';
  return true;
}

// Length of the UTF-8 sequence at p to skip when it cannot be converted: by
// its lead byte, or a stray continuation byte with those that follow it.
size_t skipUtf8(const unsigned char *p, size_t left) {
  unsigned char b = p[0];
  size_t n = 1;
  if ((b & 0xf8) == 0xf0)
    n = 4;
  else if ((b & 0xf0) == 0xe0)
    n = 3;
  else if ((b & 0xe0) == 0xc0)
    n = 2;
  else if ((b & 0xc0) == 0x80)
    while (n < left && (p[n] & 0xc0) == 0x80) n++;
  return n < left ? n : left;
}

struct Converter {
  iconv_t toGbk = iconv_open("GBK", "UTF-8");
  iconv_t toUtf8 = iconv_open("UTF-8", "GBK");
  ~Converter() {
    if (toGbk != reinterpret_cast<iconv_t>(-1)) iconv_close(toGbk);
    if (toUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf8);
  }
};

Converter &converter() {
  static Converter c;
  return c;
}

}  // namespace

int GetHCode(int codes[4], const char *text) {
  if (!text || !*text) return -1;
  const auto *t = reinterpret_cast<const unsigned char *>(text);
  for (int i = 1; i < 4; i++)
    if (!t[i]) return -2;
  if (t[0] < 129 || t[1] < 64 || t[2] < 129 || t[3] < 64) return -3;
  uint32_t h = ((((t[0] - 129u) * 31u + (t[1] - 64u)) * 31u) + (t[2] - 129u)) * 31u + (t[3] - 64u);
  codes[0] = static_cast<int>(h % 67u) * 4;
  int k = 0;
  for (int c = 1; c <= 3; c++) {
    const unsigned char *p = t + 2 + 2 * c;
    if (!p[0] || !p[1] || p[0] < 129 || p[1] < 64) break;
    h = (h * 31u + (p[0] - 129u)) * 31u + (p[1] - 64u);
    codes[c] = static_cast<int>(h % 67u) * 4 + c;
    k = c;
  }
  return k;
}

int InitDuoYing(void) {
  std::scoped_lock lock(g_mutex);
  return load();
}

void DeInitDuoYing(void) {
  std::scoped_lock lock(g_mutex);
  freeTable();
}

void reload_duoying_file(void) {
  std::scoped_lock lock(g_mutex);
  struct stat st;
  if (stat(BoardPath(kFile).c_str(), &st) != 0) {
    std::printf("cannot stat file: %s\n", kFile);
    if (g_inited) freeTable();
    return;
  }
  if (st.st_mtime == g_mtime) return;
  load();  // its result is reported by what the table holds afterwards
  std::puts("reload_duoying_file ok!");
}

namespace {

char *convertLocked(const char *src, char *dst, int size) {
  if (!src) return nullptr;
  if (!*src) return nullptr;
  if (dst == src) return const_cast<char *>(src);
  if (!dst) {
    dst = g_workbuf;
    size = kWorkBuf;
  }
  if (size < 1) return dst;
  if (!g_inited) {
    std::strncpy(dst, src, static_cast<size_t>(size));
    dst[size - 1] = '\0';
    return dst;
  }
  int used = 0;
  dst[0] = '\0';
  size_t pos = 0;
  const size_t n = std::strlen(src);
  while (pos < n) {
    int codes[4];
    int k = GetHCode(codes, src + pos);
    if (k == -2) {
      size_t rest = std::min(n - pos, static_cast<size_t>(size - used - 1));
      std::memcpy(dst + used, src + pos, rest);
      used += static_cast<int>(rest);
      dst[used] = '\0';
      break;
    }
    if (k < 0) {
      if (!putByte(dst, size, &used, src[pos], 386)) break;
      pos++;
      continue;
    }
    const Entry *match = nullptr;
    size_t matchLen = 0;
    for (int i = k; i >= 0 && !match; i--) {
      size_t len = static_cast<size_t>((i + 2) * 2);
      for (const Entry &e : g_table[codes[i]])
        if (std::strncmp(e.word.c_str(), src + pos, len) == 0) {
          match = &e;
          matchLen = len;
          break;
        }
    }
    if (match) {
      const std::string &r = match->replacement;
      if (static_cast<int>(r.size()) >= size - used) {
        size_t fit = static_cast<size_t>(size - used - 1);
        std::memcpy(dst + used, r.data(), fit);
        used += static_cast<int>(fit);
        dst[used] = '\0';
        std::printf("line %d: DuoYingConvert: out buffer too short!!!\n", 364);
        break;
      }
      std::memcpy(dst + used, r.data(), r.size());
      used += static_cast<int>(r.size());
      dst[used] = '\0';
      pos += matchLen;
      continue;
    }
    if (!putByte(dst, size, &used, src[pos], 377) || !putByte(dst, size, &used, src[pos + 1], 386)) break;
    pos += 2;
  }
  return dst;
}

}  // namespace

char *DuoYingConvert(const char *src, char *dst, int size) {
  std::scoped_lock lock(g_mutex);
  return convertLocked(src, dst, size);
}

const char *convert_utf8(const char *text, int len, int *out_len) {
  static char blankText[] = " ";
  std::scoped_lock lock(g_mutex);
  if (!g_inited) {
    *out_len = len;
    return text;
  }
  if (!text || !*text || len <= 0) {
    *out_len = 1;
    return blankText;
  }
  Converter &cv = converter();
  if (cv.toGbk == reinterpret_cast<iconv_t>(-1) || cv.toUtf8 == reinterpret_cast<iconv_t>(-1)) {
    *out_len = len;
    return text;
  }
  // UTF-8 to GBK; what GBK cannot hold becomes a blank.
  char *in = const_cast<char *>(text);
  size_t inLeft = static_cast<size_t>(len);
  char *out = g_workbuf;
  size_t outLeft = kWorkBuf - 1;
  iconv(cv.toGbk, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0 && outLeft >= 2) {
    if (iconv(cv.toGbk, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
    // A bad sequence may be met with the buffer just full: no room for its blank.
    if (errno == E2BIG || outLeft == 0) break;
    size_t skip = skipUtf8(reinterpret_cast<unsigned char *>(in), inLeft);
    in += skip;
    inLeft -= skip;
    *out++ = ' ';
    outLeft--;
  }
  *out = '\0';

  char local[kWorkBuf];
  const char *converted = convertLocked(g_workbuf, local, sizeof local);
  if (!converted || !*converted) {
    *out_len = 1;
    return blankText;
  }
  // And back; a GBK pair that has no UTF-8 form becomes a blank.
  in = local;
  inLeft = std::strlen(local);
  out = g_workbuf;
  outLeft = kWorkBuf - 1;
  iconv(cv.toUtf8, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cv.toUtf8, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || inLeft < 2 || outLeft < 3) break;
    in += 2;
    inLeft -= 2;
    *out++ = ' ';
    outLeft--;
  }
  *out = '\0';
  *out_len = static_cast<int>(out - g_workbuf);
  return g_workbuf;
}
