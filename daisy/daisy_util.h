// daisy/daisy_util.h: small helpers shared by the DAISY parsers and
// navigators (not part of the module's interface).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

namespace daisyutil {

// Grows a malloc'd array of T from *capacity to *capacity + step slots.
// Returns false when out of memory (the array is unchanged).
template <typename T>
bool growArray(T **array, int *capacity, int step) {
  if (step <= 0) step = 16;
  long long want = static_cast<long long>(*capacity) + step;
  if (want > INT_MAX / static_cast<long long>(sizeof(T))) return false;
  void *p = std::realloc(*array, static_cast<size_t>(want) * sizeof(T));
  if (!p) return false;
  *array = static_cast<T *>(p);
  *capacity = static_cast<int>(want);
  return true;
}

inline bool equalsNoCase(const char *a, const char *b) { return a && b && strcasecmp(a, b) == 0; }

// The element name without a namespace prefix ("dc:Title" stays whole for
// callers that want it; this is for structural names like "smil:par").
inline const char *localName(const char *name) {
  const char *colon = name ? std::strrchr(name, ':') : nullptr;
  return colon ? colon + 1 : name;
}

inline bool isSpace(unsigned char c) { return (c >= 0x01 && c <= 0x0A) || c == 0x0D || c == ' '; }

// text without white space at both ends.
inline std::string_view trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && isSpace(static_cast<unsigned char>(text[b]))) b++;
  while (e > b && isSpace(static_cast<unsigned char>(text[e - 1]))) e--;
  return text.substr(b, e - b);
}

// Appends text to out with every run of white space made one space, and
// without white space at the ends of out. Text of a label split over
// several pieces reads as one phrase.
inline void appendCollapsed(std::string *out, std::string_view text, size_t limit = 4096) {
  bool space = !out->empty() && out->back() == ' ';
  for (size_t i = 0; i < text.size(); i++) {
    if (out->size() >= limit) return;
    char ch = text[i];
    // A no-break space (U+00A0, the &nbsp; of hand-made files) counts as space.
    bool nbsp = ch == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0';
    if (isSpace(static_cast<unsigned char>(ch)) || nbsp) {
      if (nbsp) i++;
      if (!out->empty() && !space) {
        *out += ' ';
        space = true;
      }
      continue;
    }
    *out += ch;
    space = false;
  }
}

inline std::string finishCollapsed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The folder part of path, up to and including its last '/' or '\\' ("" when
// it has none).
inline std::string dirOf(const char *path) {
  std::string p = path ? path : "";
  size_t cut = p.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

inline int clampInt(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// The head of a parser's start-element callback: the parse behind state
// with its depth counted, or null when the parse already failed or has no
// output to fill (then it fails with -1).
template <typename Parse, typename Out>
Parse *enterElement(void *state, Out *Parse::*output) {
  auto *p = static_cast<Parse *>(state);
  if (p->result) return nullptr;
  if (!(p->*output)) {
    p->result = -1;
    return nullptr;
  }
  p->depth++;
  return p;
}

}  // namespace daisyutil
