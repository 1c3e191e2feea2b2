// Character-set detection, page cutting and the converters to UTF-8.
//
// Pages: every page-size function first walks whole characters to byte 400,
// then looks for a break character up to byte 500 and cuts after it, so a
// page is 400-503 bytes (the last character may run past 500) and never ends
// inside a character: multi-byte UTF-8 (4-byte sequences included), UTF-16
// surrogate pairs and GB18030's 4-byte sequences stay whole.
//
// Converters: six iconv descriptors opened by register_iconv_cd, each with a
// mutex because iconv descriptors carry state and several threads convert.
#include "ebook/charset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <mutex>

namespace {

constexpr int kPageMin = 400;
constexpr int kPageMax = 500;

// ---- detection -------------------------------------------------------------

bool isCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// UTF-8 validity as the detector sees it: lead bytes are checked up to the
// third-last byte, so a buffer cut inside a character still counts as UTF-8.
bool looksUtf8(const unsigned char *b, int n) {
  if (n == 2) {
    if (b[0] >= 0xE0 && b[0] <= 0xEF) return false;
    if (b[0] >= 0xC0 && b[0] <= 0xDF && !isCont(b[1])) return false;
    return true;
  }
  int i = 0;
  while (i <= n - 3) {
    unsigned char c = b[i];
    int need;
    if (c < 0x80) need = 0;
    else if ((c & 0xE0) == 0xC0) need = 1;
    else if ((c & 0xF0) == 0xE0) need = 2;
    else if ((c & 0xF8) == 0xF0 && c <= 0xF4) need = 3;
    else return false;  // a stray continuation byte, or F5-FF
    for (int k = 1; k <= need; k++)
      if (i + k < n && !isCont(b[i + k])) return false;
    i += 1 + need;
  }
  return true;
}

// GBK or Big5 for bytes that are not UTF-8 (CHARSET_NOT_TEXT for bytes no
// text holds): a trail byte only GBK uses decides at once; otherwise Big5
// when at least minHigh pairs lead from 0xA1 up and one in five of them has
// a trail byte below 0x7F, which GBK's common characters never have.
int doubleByteSet(const unsigned char *b, int n, int minHigh) {
  int high = 0, low = 0;
  int i = 0;
  while (i <= n - 2) {
    unsigned char c = b[i];
    if (c < 0x80) {
      i++;
      continue;
    }
    if (c == 0x80 || c == 0xFF) return CHARSET_NOT_TEXT;
    unsigned char t = b[i + 1];
    if (t < 0x40 || t == 0xFF) return CHARSET_NOT_TEXT;
    if (t >= 0x7F && t <= 0xA0) return CHARSET_GBK;  // trail bytes Big5 never uses
    i += 2;
    if (c < 0xA1) continue;
    high++;
    if (t < 0x7F) low++;
  }
  if (high < minHigh || low * 5 < high) return CHARSET_GBK;
  return CHARSET_BIG5;
}

}  // namespace

int get_charset(const unsigned char *b, int n) {
  if (!b || n < 2) return CHARSET_UTF8;
  if (b[0] == 0xFF && b[1] == 0xFE) return CHARSET_UTF16LE;
  if (b[0] == 0xFE && b[1] == 0xFF) return CHARSET_UTF16BE;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return CHARSET_UTF8;

  int le = 0, be = 0;
  for (int i = 0; i < 100 && i + 1 < n; i += 2) {
    if (b[i] >= 0x01 && b[i] <= 0x7F && b[i + 1] == 0) le++;
    if (b[i] == 0 && b[i + 1] >= 0x01 && b[i + 1] <= 0x7F) be++;
  }
  if (le >= 5) return CHARSET_UTF16LE;
  if (be >= 5) return CHARSET_UTF16BE;

  if (looksUtf8(b, n)) return CHARSET_UTF8;
  return doubleByteSet(b, n, 20);
}

// ---- pages -----------------------------------------------------------------

namespace {

bool isAlnum(unsigned c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Break characters of the UTF-8 and UTF-16 pages ('.' is handled apart).
bool isBreak(unsigned cp) {
  return cp < 0x20 || cp == '!' || cp == ',' || (cp >= 0x3A && cp <= 0x40) || (cp >= 0x3000 && cp <= 0x303F) ||
         (cp >= 0xFF00 && cp <= 0xFFEF);
}

int utf8Len(unsigned char c) {
  if (c < 0xC0) return 1;  // ASCII, or a stray continuation byte
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  if (c < 0xF8) return 4;
  return 1;
}

unsigned utf8Value(const unsigned char *p, int len) {
  switch (len) {
    case 2: return (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    case 3: return (p[0] & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    case 4: return (p[0] & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
    default: return p[0];
  }
}

// The '.' rule shared by all pages: the page ends after the dot unless the
// next character is an ASCII letter or digit, which is then taken too (a
// decimal number or a dotted name stays whole). p is just past the dot,
// next the character after it (0 at the end of the data).
bool dotEnds(int p, unsigned next) { return p >= kPageMax || !isAlnum(next); }

int gbkLen(const unsigned char *b, int p, int n) {
  if (b[p] <= 0x80 || b[p] == 0xFF) return 1;  // 0x80: Windows' euro sign
  // GB18030 four-byte sequences: a digit as the second byte
  if (p + 3 < n && b[p + 1] >= 0x30 && b[p + 1] <= 0x39) return 4;
  return 2;
}

bool gbkLetter(unsigned c, unsigned t) {
  return (c >= 0xB0 && c <= 0xF7 && t >= 0xA0 && t <= 0xFE) || (c >= 0x81 && c <= 0xA0 && t >= 0x40 && t <= 0xFE) ||
         (c >= 0xAA && c != 0xFF && t >= 0x40 && t <= 0xA0) || (c == 0xA1 && (t == 0xB0 || t == 0xB1));
}

// GBK and Big5 differ only in their two-byte test; big5 selects Big5's.
int pageDoubleByte(const unsigned char *b, int n, bool big5) {
  if (!b || n <= 0) return 0;
  if (n <= kPageMax) return n;
  int p = 0;
  while (p < kPageMin) p += big5 ? (b[p] < 0x80 ? 1 : 2) : gbkLen(b, p, n);
  while (p < kPageMax) {
    unsigned c = b[p];
    int len = big5 ? (c < 0x80 ? 1 : 2) : gbkLen(b, p, n);
    if (len > 1) {
      if (p + len > n) return n;
      unsigned t = b[p + 1];
      p += len;
      bool letter = big5 ? c >= 0xA4 : (len == 4 || gbkLetter(c, t));
      if (!letter) return p;
      continue;
    }
    p++;
    if (c < 0x20 || c == '!' || c == ',') return p;
    if (c == '.') {
      if (dotEnds(p, p < n ? b[p] : 0)) return p;
      p++;
    }
  }
  return p;
}

unsigned unit16(const unsigned char *b, int p, bool be) {
  return be ? (b[p] << 8 | b[p + 1]) : (b[p] | b[p + 1] << 8);
}

int pageUtf16(const unsigned char *b, int n, bool be) {
  if (!b || n <= 0) return 0;
  if (n <= kPageMax) return n;
  int p = kPageMin;
  // Byte 400 may fall between the two halves of a surrogate pair.
  unsigned prev = unit16(b, p - 2, be);
  if (prev >= 0xD800 && prev <= 0xDBFF) {
    unsigned cur = unit16(b, p, be);
    if (cur >= 0xDC00 && cur <= 0xDFFF) p += 2;
  }
  while (p < kPageMax && p + 1 < n) {
    unsigned u = unit16(b, p, be);
    p += 2;
    if (u >= 0xD800 && u <= 0xDBFF && p + 1 < n) {
      unsigned lo = unit16(b, p, be);
      if (lo >= 0xDC00 && lo <= 0xDFFF) p += 2;  // a whole pair: never a break
      continue;
    }
    if (u == '.') {
      if (dotEnds(p, p + 1 < n ? unit16(b, p, be) : 0)) return p;
      p += 2;
      continue;
    }
    if (isBreak(u)) return p;
  }
  return p;
}

}  // namespace

int get_page_size_for_utf8(const unsigned char *b, int n) {
  if (!b || n <= 0) return 0;
  if (n <= kPageMax) return n;
  int p = 0;
  while (p < kPageMin) p += utf8Len(b[p]);
  while (p < kPageMax) {
    int len = utf8Len(b[p]);
    if (p + len > n) return n;
    unsigned cp = utf8Value(b + p, len);
    p += len;
    if (cp == '.') {
      if (dotEnds(p, p < n ? b[p] : 0)) return p;
      p++;
      continue;
    }
    if (isBreak(cp)) return p;
  }
  return p;
}

int get_page_size_for_gbk(const unsigned char *b, int n) { return pageDoubleByte(b, n, false); }
int get_page_size_for_big5(const unsigned char *b, int n) { return pageDoubleByte(b, n, true); }
int get_page_size_for_utf16le(const unsigned char *b, int n) { return pageUtf16(b, n, false); }
int get_page_size_for_utf16be(const unsigned char *b, int n) { return pageUtf16(b, n, true); }

PageSizeFunc get_page_size_func(int charset) {
  switch (charset) {
    case CHARSET_UTF8: return get_page_size_for_utf8;
    case CHARSET_UTF16LE: return get_page_size_for_utf16le;
    case CHARSET_UTF16BE: return get_page_size_for_utf16be;
    case CHARSET_BIG5: return get_page_size_for_big5;
    default: return get_page_size_for_gbk;
  }
}

// ---- converters ------------------------------------------------------------

namespace {

struct Converter {
  const char *to;
  const char *from;
  const char *message;
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  std::mutex mutex;
};

enum { kUtf16le, kUtf16be, kUtf8, kBig5, kGbk, kToGbk, kConverters };

Converter g_cd[kConverters] = {
    {"UTF-8", "UTF-16LE", "iconv_open(\"UTF-8\", \"UTF-16\") fail"},
    {"UTF-8", "UTF-16BE", "iconv_open(\"UTF-8\", \"UTF-16BE\") fail"},
    {"UTF-8", "UTF-8", "iconv_open(\"UTF-8\", \"UTF-8\") fail"},
    {"UTF-8", "BIG5", "iconv_open(\"UTF-8\", \"BIG5\") fail"},
    // GB18030 reads every GBK text and the characters GBK lacks.
    {"UTF-8", "GB18030", "iconv_open(\"UTF-8\", \"GBK\") fail"},
    {"GBK", "UTF-8", "iconv_open(\"GBK\", \"UTF-8\") fail"},
};
std::mutex g_registerMutex;

bool isOpen(const Converter &c) { return c.cd != reinterpret_cast<iconv_t>(-1); }

size_t convert(int which, char **in, size_t *in_left, char **out, size_t *out_left) {
  Converter &c = g_cd[which];
  std::scoped_lock lock(c.mutex);
  if (!isOpen(c)) {
    errno = EBADF;
    return static_cast<size_t>(-1);
  }
  return iconv(c.cd, in, in_left, out, out_left);
}

int converterFor(int charset) {
  switch (charset) {
    case CHARSET_UTF8: return kUtf8;
    case CHARSET_UTF16LE: return kUtf16le;
    case CHARSET_UTF16BE: return kUtf16be;
    case CHARSET_BIG5: return kBig5;
    default: return kGbk;
  }
}

}  // namespace

int register_iconv_cd(void) {
  std::scoped_lock lock(g_registerMutex);
  for (int i = 0; i < kConverters; i++) {
    Converter &c = g_cd[i];
    std::scoped_lock cl(c.mutex);
    if (isOpen(c)) continue;
    c.cd = iconv_open(c.to, c.from);
    if (!isOpen(c)) {
      std::fprintf(stderr, "%s\n", c.message);
      return -(i + 1);
    }
  }
  return 0;
}

void unregister_iconv_cd(void) {
  std::scoped_lock lock(g_registerMutex);
  for (Converter &c : g_cd) {
    std::scoped_lock cl(c.mutex);
    if (isOpen(c)) iconv_close(c.cd);
    c.cd = reinterpret_cast<iconv_t>(-1);
  }
}

size_t utf16le_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kUtf16le, in, in_left, out, out_left);
}
size_t utf16be_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kUtf16be, in, in_left, out, out_left);
}
size_t utf8_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kUtf8, in, in_left, out, out_left);
}
size_t big5_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kBig5, in, in_left, out, out_left);
}
size_t gbk_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kGbk, in, in_left, out, out_left);
}
size_t utf8_to_gbk(char **in, size_t *in_left, char **out, size_t *out_left) {
  return convert(kToGbk, in, in_left, out, out_left);
}

int charset_page_to_utf8(int charset, const char *in, int in_len, char *out, int out_size) {
  if (!in || in_len < 0 || !out || out_size <= 0) return 0;
  Converter &c = g_cd[converterFor(charset)];
  std::scoped_lock lock(c.mutex);
  if (!isOpen(c)) return -1;
  iconv(c.cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state per page
  char *ip = const_cast<char *>(in);
  size_t il = static_cast<size_t>(in_len);
  char *op = out;
  size_t ol = static_cast<size_t>(out_size - 1);  // room for the NUL
  bool doubleByte = charset != CHARSET_UTF8 && charset != CHARSET_UTF16LE && charset != CHARSET_UTF16BE;
  size_t skip = charset == CHARSET_UTF8 ? 1 : 2;
  while (il > 0) {
    if (iconv(c.cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;
    if (doubleByte) {
      // The euro sign of Windows' GBK, a single byte GB18030 does not know.
      if (charset != CHARSET_BIG5 && errno == EILSEQ && static_cast<unsigned char>(*ip) == 0x80 && ol >= 3) {
        std::memcpy(op, "\xE2\x82\xAC", 3);
        op += 3;
        ol -= 3;
        ip++;
        il--;
        continue;
      }
      // An unknown pair (or an incomplete character) reads as a space.
      if (il < 2 || ol < 3) break;
      *op++ = ' ';
      ol--;
    } else if (errno == EINVAL || il < skip) {
      break;  // a character cut off at the end of the page
    }
    ip += skip;
    il -= skip;
  }
  *op = '\0';
  return static_cast<int>(op - out);
}

const char *charset_iconv_name(int charset) {
  switch (charset) {
    case CHARSET_UTF8: return "UTF-8";
    case CHARSET_UTF16LE: return "UTF-16LE";
    case CHARSET_UTF16BE: return "UTF-16BE";
    case CHARSET_BIG5: return "BIG5";
    default: return "GB18030";
  }
}

// ---- file names ------------------------------------------------------------

namespace {

// The whole of s is UTF-8 (no cut character at the end, no overlong lead).
bool wholeUtf8(const unsigned char *s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    size_t need = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
    if (need > 3 || i + need >= n) return false;  // not a lead byte, or a character cut off
    for (size_t k = 1; k <= need; k++)
      if (!isCont(s[i + k])) return false;
    i += 1 + need;
  }
  return true;
}

}  // namespace

bool charset_name_is_utf8(const char *name) {
  return !name || wholeUtf8(reinterpret_cast<const unsigned char *>(name), std::strlen(name));
}

std::string charset_name_text(const char *name) {
  if (!name) return {};
  if (charset_name_is_utf8(name)) return name;
  size_t n = std::strlen(name);
  const auto *b = reinterpret_cast<const unsigned char *>(name);
  // A short name has few pairs to tell the sets apart: one is enough.
  int set = doubleByteSet(b, static_cast<int>(n), 1);
  std::string text(3 * n + 1, '\0');  // a pair or a byte gives at most 3 bytes, 4 bytes at most 4
  int len = charset_page_to_utf8(set == CHARSET_BIG5 ? CHARSET_BIG5 : CHARSET_GBK, name, static_cast<int>(n),
                                 text.data(), static_cast<int>(text.size()));
  if (len < 0) return name;  // no converters (a tool): the bytes as they are
  text.resize(static_cast<size_t>(len));
  return text;
}
