// Sentences, paragraphs and letters of e-book pages, and the whole-book
// counters. Everything here works on UTF-8 bytes of one page at a time; the
// reader screen (ebook_reader.cpp) moves between pages.
#include "ebook/ebook_lines.h"

#include "core/runtime/log.h"
#include "ebook/ebook_parser.h"
#include "ebook/wordlist.h"
#include "info/info.h"

#include <algorithm>
#include <cstring>
#include <vector>

int StartLineOfPage[kEbookMaxPages + 1];
int StartParagraphOfPage[kEbookMaxPages + 1];

namespace {
// Pages whose first byte goes on with a run of line breaks that the page
// before ended in (counted there). Written by doExtraInit only.
std::vector<bool> g_continuesRun;
}  // namespace

namespace {

constexpr char kLogSource[] = "ebook/ebook.c";
constexpr int kLetterUnits = 508;  // UTF-16 units (and UTF-8 bytes) of a letter's text

enum CharClass { kNeutral, kContent, kBreak };

bool asciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool cjkPunct(uint32_t code) { return (code >= 0x3000 && code <= 0x303F) || (code >= 0xFF00 && code <= 0xFFEF); }

CharClass classify(const char *text, int length, int pos, uint32_t code, int n) {
  if (n > 1) return cjkPunct(code) ? kBreak : kContent;
  const auto c = static_cast<unsigned char>(text[pos]);
  if (c >= 0x80) return kNeutral;  // a stray byte: neither starts nor ends a sentence
  if (asciiAlnum(c)) return kContent;
  if (c < 0x20 || c == '!' || c == ',' || c == ';' || c == '?') return kBreak;
  if (c == '.') {
    // 3.14 and file.txt stay whole.
    bool joined = pos + 1 < length && asciiAlnum(static_cast<unsigned char>(text[pos + 1]));
    return joined ? kContent : kBreak;
  }
  return kNeutral;
}

// Marks that open a quotation, a title or an aside: they belong to the
// sentence they open, never to the one before.
bool opensQuote(uint32_t c) {
  switch (c) {
    case '(': case '[': case '{': case 0x2018: case 0x201C: case 0x3008: case 0x300A: case 0x300C:
    case 0x300E: case 0x3010: case 0x3014: case 0x3016: case 0xFF08: case 0xFF3B: case 0xFF5B:
      return true;
    default:
      return false;
  }
}

bool isWide(uint32_t c) { return c >= 0x1100; }

// Width of text[from..to) in columns (wide characters count two; control
// characters none).
int columns(const char *text, int length, int from, int to) {
  int w = 0;
  for (int pos = from; pos < to;) {
    uint32_t code;
    int n = Utf8CharAt(text, length, pos, &code);
    if (code >= 0x20) w += isWide(code) ? 2 : 1;
    pos += n;
  }
  return w;
}

// Hard-wrapped text (a PDF's lines, a text file broken at a fixed width):
// a line break where the line was full goes on with the same sentence. The
// break before a blank or an indented line, and after a line much shorter
// than the page's widest (a heading, a paragraph's last line, a verse),
// still ends a sentence; so does every break of a page whose lines are all
// short, as in a list.
constexpr int kWrapMinColumns = 20;   // narrower pages are not taken as wrapped
constexpr int kWrapFullPercent = 60;  // a line this full (of the widest) was wrapped

struct Wrap {
  int widest = 0;
  explicit Wrap(const char *text, int length) {
    for (int from = 0, pos = 0; pos <= length; pos++) {
      if (pos < length && text[pos] != '\n') continue;
      widest = std::max(widest, columns(text, length, from, pos));
      from = pos + 1;
    }
  }
  // The line break at pos (CR or LF) was made by the wrap.
  bool joins(const char *text, int length, int pos) const {
    if (widest < kWrapMinColumns) return false;
    int next = pos + 1;
    if (text[pos] == '\r' && next < length && text[next] == '\n') next++;
    if (next >= length) return false;
    uint32_t code;
    Utf8CharAt(text, length, next, &code);
    if (code == '\r' || code == '\n' || code == ' ' || code == '\t' || code == 0x3000) return false;
    int start = pos;
    while (start > 0 && text[start - 1] != '\n') start--;
    return columns(text, length, start, pos) * 100 >= widest * kWrapFullPercent;
  }
};

// The splitting walk: calls onStart(offset) for every sentence after the
// first; stops when it returns false. Returns the offset where the walk
// ended (length, or where a sentence could not be started).
template <typename OnStart>
int splitWalk(const char *text, int length, OnStart onStart) {
  const Wrap wrap(text, length);
  bool inText = false, pending = false;
  int pos = 0;
  while (pos < length) {
    uint32_t code;
    int n = Utf8CharAt(text, length, pos, &code);
    CharClass kind = classify(text, length, pos, code, n);
    if (opensQuote(code) && (pending || (inText && kind == kBreak))) {
      // The mark opens the next sentence: it starts here, not at the first
      // letter after it.
      if (!onStart(pos)) return pos;
      pending = false;
      inText = false;
      kind = kNeutral;
    } else if (kind == kBreak && inText && (code == '\r' || code == '\n') && wrap.joins(text, length, pos)) {
      kind = kNeutral;
    }
    switch (kind) {
      case kContent:
        if (pending) {
          if (!onStart(pos)) return pos;
          pending = false;
        }
        inText = true;
        break;
      case kBreak:
        if (inText) {
          pending = true;
          inText = false;
        }
        break;
      case kNeutral:
        break;
    }
    pos += n;
  }
  return length;
}

bool isBlank(uint32_t c) { return c == ' ' || c == '\t'; }
bool isNewline(uint32_t c) { return c == '\r' || c == '\n'; }

std::string utf16ToUtf8(const std::u16string &in) {
  std::string out;
  for (size_t i = 0; i < in.size(); i++) {
    uint32_t c = in[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      i++;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

std::string alone(uint32_t code) {
  std::string s;
  AppendUtf8(&s, code);
  return s;
}

// ", word的X" for each example word, or the character alone.
std::string exampleWords(uint32_t code) {
  if (code > 0xFFFF) return alone(code);
  const unsigned char *words[kWordListMaxWords];
  unsigned char lens[kWordListMaxWords];
  int n = WordList_GetWords(code, words, lens);
  if (n <= 0) return alone(code);
  std::u16string text;
  for (int i = 0; i < n; i++) {
    if (lens[i] == 0) {
      LOGE("pWords[%d]=0x%08x, len=%d\n", i, static_cast<unsigned>(reinterpret_cast<uintptr_t>(words[i])), lens[i]);
      return alone(code);
    }
    const int need = static_cast<int>(text.size()) + 2 + lens[i] + 2;
    if (need > kLetterUnits) {
      LOGW("utf16buff too short, utf16len=%d, len=%d\n", static_cast<int>(text.size()), lens[i]);
      return alone(code);
    }
    text.push_back(u',');
    text.push_back(u' ');
    // Word units are little-endian and not necessarily aligned.
    for (int k = 0; k < lens[i]; k++)
      text.push_back(static_cast<char16_t>(words[i][2 * k] | (words[i][2 * k + 1] << 8)));
    text.push_back(u'\u7684');
    text.push_back(static_cast<char16_t>(code));
  }
  std::string out = utf16ToUtf8(text);
  if (static_cast<int>(out.size()) > kLetterUnits) {
    LOGW("text buffer too short, i=%d\n", static_cast<int>(out.size()));
    int cut = kLetterUnits;
    while (cut > 0 && (static_cast<unsigned char>(out[static_cast<size_t>(cut)]) & 0xC0) == 0x80) cut--;
    out.resize(static_cast<size_t>(cut));
  }
  return out;
}

}  // namespace

int Utf8CharAt(const char *text, int length, int pos, uint32_t *code) {
  const auto *s = reinterpret_cast<const unsigned char *>(text);
  const unsigned char c = s[pos];
  int n = c < 0x80 ? 1 : c < 0xC0 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 0;
  if (n == 0 || pos + n > length) {
    *code = c;
    return 1;
  }
  uint32_t v = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
  for (int i = 1; i < n; i++) {
    if ((s[pos + i] & 0xC0) != 0x80) {
      *code = c;
      return 1;
    }
    v = (v << 6) | (s[pos + i] & 0x3F);
  }
  *code = v;
  return n;
}

int Utf8PrevStart(const char *text, int pos) {
  if (pos <= 0) return -1;
  int p = pos - 1;
  // At most three continuation bytes belong to one character.
  for (int k = 0; k < 3 && p > 0 && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80; k++) p--;
  return p;
}

int InitLineInfo(EbookLines *lines, const char *text, int length) {
  if (!lines) return 0;
  if (!text || length < 0) length = 0;
  lines->text.assign(text ? text : "", static_cast<size_t>(length));
  lines->start[0] = 0;
  lines->count = 1;
  const char *t = lines->text.data();
  int end = splitWalk(t, length, [lines](int pos) {
    if (lines->count >= kEbookMaxLines) return false;
    lines->start[lines->count++] = pos;
    return true;
  });
  lines->start[lines->count] = end;
  return lines->count;
}

int CountLines(const char *text, int length) {
  if (!text || length <= 0) return 1;
  int count = 1;
  splitWalk(text, length, [&count](int) {
    if (count >= kEbookMaxLines) return false;
    count++;
    return true;
  });
  return count;
}

int CountParagraphBreaks(const char *text, int length) {
  int runs = 0;
  bool inRun = false;
  for (int i = 0; text && i < length; i++) {
    bool nl = text[i] == '\r' || text[i] == '\n';
    if (nl && !inRun) runs++;
    inRun = nl;
  }
  return runs;
}

const char *GetSentence(const EbookLines *lines, int i, int *len) {
  if (!lines || i < 0 || i >= lines->count) {
    if (len) *len = 0;
    return nullptr;
  }
  if (len) *len = lines->start[i + 1] - lines->start[i];
  return lines->text.data() + lines->start[i];
}

int HasLineBreak(const char *text, int from, int to) {
  for (int i = from; text && i < to; i++)
    if (text[i] == '\r' || text[i] == '\n') return 1;
  return 0;
}

int EndsWithBreak(const char *text, int from, int to) {
  bool seen = false;
  for (int i = from; text && i < to; i++) {
    const char c = text[i];
    if (c == '\r' || c == '\n') seen = true;
    else if (c != ' ' && c != '\t') seen = false;
  }
  return seen ? 1 : 0;
}

int ParagraphsBefore(int page, const char *text, int offset) {
  if (page < 0 || page > kEbookMaxPages) return 0;
  int n = StartParagraphOfPage[page] + CountParagraphBreaks(text, offset);
  if (offset > 0 && static_cast<size_t>(page) < g_continuesRun.size() && g_continuesRun[static_cast<size_t>(page)]) n--;
  return n;
}

int EbookCountPages(ebook_parser *parser, int total_pages, EbookBookCount *count, const std::atomic<bool> *stop) {
  if (!parser || !parser->read_page || total_pages < 0 || !count) return 0;
  int pages = total_pages;
  if (pages > kEbookMaxPages) {
    LOGW("doExtraInit: [warning] total_pages(%d) bigger than MAX_PAGES(%d)!!!\n", total_pages, kEbookMaxPages);
    pages = kEbookMaxPages;
  }
  int lines = 0, paragraphs = 0;
  bool endedInRun = false;
  const auto size = static_cast<size_t>(pages) + 1;
  count->lines.assign(size, 0);
  count->paragraphs.assign(size, 0);
  count->continuesRun.assign(size, false);
  for (int p = 0; p < pages; p++) {
    if (stop && *stop) return -1;
    count->lines[static_cast<size_t>(p)] = lines;
    count->paragraphs[static_cast<size_t>(p)] = paragraphs;
    const char *text = nullptr;
    int n = parser->read_page(parser, p, &text);
    if (n <= 0 || !text) n = 0;
    lines += CountLines(text, n);
    paragraphs += CountParagraphBreaks(text, n);
    if (n > 0) {
      const bool startsInRun = text[0] == '\r' || text[0] == '\n';
      if (startsInRun && endedInRun) {
        paragraphs--;
        count->continuesRun[static_cast<size_t>(p)] = true;
      }
      endedInRun = text[n - 1] == '\r' || text[n - 1] == '\n';
    }
  }
  count->lines[static_cast<size_t>(pages)] = lines;
  count->paragraphs[static_cast<size_t>(pages)] = paragraphs;
  LOGI("[doExtraInit]lines=%d, paragraphs=%d\n", lines, paragraphs);
  return pages;
}

void EbookInstallCount(const EbookBookCount &count) {
  const size_t n = std::min(count.lines.size(), static_cast<size_t>(kEbookMaxPages) + 1);
  std::copy_n(count.lines.begin(), n, StartLineOfPage);
  std::copy_n(count.paragraphs.begin(), std::min(n, count.paragraphs.size()), StartParagraphOfPage);
  g_continuesRun = count.continuesRun;
}

int doExtraInit(ebook_parser *parser, int total_pages) {
  EbookBookCount count;
  int pages = EbookCountPages(parser, total_pages, &count, nullptr);
  EbookInstallCount(count);
  return pages;
}

int NextLetter(const char *text, int length, int pos) {
  if (pos >= length) return length;
  uint32_t code;
  int p = pos + Utf8CharAt(text, length, pos, &code);
  return SkipRunFrom(text, length, p, code);
}

int SkipRunFrom(const char *text, int length, int pos, uint32_t code) {
  if (isBlank(code))
    while (pos < length && isBlank(static_cast<unsigned char>(text[pos]))) pos++;
  else if (isNewline(code))
    while (pos < length && isNewline(static_cast<unsigned char>(text[pos]))) pos++;
  return pos;
}

int PrevLetter(const char *text, int pos) {
  int p = Utf8PrevStart(text, pos);
  if (p < 0) return -1;
  const auto c = static_cast<unsigned char>(text[p]);
  if (isBlank(c))
    while (p > 0 && isBlank(static_cast<unsigned char>(text[p - 1]))) p--;
  else if (isNewline(c))
    while (p > 0 && isNewline(static_cast<unsigned char>(text[p - 1]))) p--;
  return p;
}

uint32_t EbookSubstitute(uint32_t code) {
  static const uint32_t kTable[][2] = {
      {0x7B8B, 0x7B3A}, {0x7950, 0x4F51}, {0x7942, 0x4ED6}, {0x904A, 0x6E38}, {0x4F48, 0x5E03},
  };
  for (const auto &row : kTable)
    if (row[0] == code) return row[1];
  return code;
}

void AppendUtf8(std::string *out, uint32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string SpeakableSentence(const char *text, int len) {
  std::string out;
  for (int pos = 0; text && pos < len;) {
    uint32_t code;
    int n = Utf8CharAt(text, len, pos, &code);
    if (n == 1 && code >= 0x80) {
      out.push_back(text[pos]);  // a stray byte goes on as it came
    } else {
      code = EbookSubstitute(code);
      if (code < 0x20) {
        // A line break that a wrap left inside a Chinese sentence is no pause.
        uint32_t next = 0;
        int after = pos + n;
        while (after < len && (text[after] == '\r' || text[after] == '\n')) after++;
        if (after < len) Utf8CharAt(text, len, after, &next);
        uint32_t before = 0;
        int prev = Utf8PrevStart(text, pos);
        if (prev >= 0) Utf8CharAt(text, len, prev, &before);
        if ((code == '\r' || code == '\n') && (isWide(before) || isNewline(before)) && isWide(next)) {
          pos += n;
          continue;
        }
        code = ' ';
      }
      AppendUtf8(&out, code);
    }
    pos += n;
  }
  size_t a = out.find_first_not_of(' '), b = out.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : out.substr(a, b - a + 1);
}

std::string LetterText(uint32_t code, int lang) {
  code = EbookSubstitute(code);
  if (code < 0x80 && asciiAlnum(static_cast<unsigned char>(code))) return lang == 1 ? alone(code) : exampleWords(code);
  if (code < 0x80 || code < 0x3040 || (code >= 0xFF00 && code <= 0xFFEF)) return SymbolName(code);
  return lang == 1 ? alone(code) : exampleWords(code);
}
