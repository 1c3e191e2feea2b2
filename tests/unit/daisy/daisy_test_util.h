// Helpers of the DAISY tests: a temporary book folder, small SMIL, NCC and
// content files written from short descriptions, and a WAV file of a given
// length (the duration probe reads it).
#pragma once

#include "support/files.h"
#include "support/temp_dir.h"
#include "support/wav.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace daisytest {

using TempDir = ::TempDir;

// A par of a SMIL file: its id, the text it shows ("" none) and its clip
// (end < 0: no audio element; end == 0: an audio element without clip-end).
struct Par {
  std::string id;
  std::string text;  // "content.html#t1"
  int begin = 0;
  int end = -1;
  std::string audio = "a.mp3";
};

inline std::string ms(int v) {
  char b[32];
  std::snprintf(b, sizeof b, "%d.%03ds", v / 1000, v % 1000);
  return b;
}

// A SMIL file of pars in one seq; daisy3 picks the attribute names.
inline std::string smil(const std::vector<Par> &pars, bool daisy3 = false, const std::string &head = "") {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<smil><head>" + head + "</head><body><seq>\n";
  for (const Par &p : pars) {
    s += "<par id=\"" + p.id + "\">";
    if (!p.text.empty()) s += "<text src=\"" + p.text + "\"/>";
    if (p.end >= 0) {
      s += "<audio src=\"" + p.audio + "\"";
      s += std::string(daisy3 ? " clipBegin=\"" : " clip-begin=\"npt=") + ms(p.begin) + "\"";
      if (p.end > 0) s += std::string(daisy3 ? " clipEnd=\"" : " clip-end=\"npt=") + ms(p.end) + "\"";
      s += "/>";
    }
    s += "</par>\n";
  }
  return s + "</seq></body></smil>\n";
}

// An NCC item: element, class, href and label.
struct Item {
  std::string name, cls, href, label;
};

inline std::string ncc(const std::vector<Item> &items, const std::string &title = "Book",
                       const std::string &metas = "") {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" +
                  title + "</title>" + metas + "</head><body>\n";
  for (const Item &i : items) {
    s += "<" + i.name + (i.cls.empty() ? "" : " class=\"" + i.cls + "\"") + "><a href=\"" + i.href + "\">" + i.label +
         "</a></" + i.name + ">\n";
  }
  return s + "</body></html>\n";
}

// A content document whose elements p with the given ids hold the texts.
inline std::string content(const std::vector<std::pair<std::string, std::string>> &paragraphs) {
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><head><title>c</title></head><body>\n";
  for (const auto &p : paragraphs) s += "<p id=\"" + p.first + "\">" + p.second + "</p>\n";
  return s + "</body></html>\n";
}

// A 16-bit mono PCM WAV file of the given length at 8000 Hz (silence).
inline std::string wav(int length_ms) { return Wav16(8000, 1, std::vector<int16_t>(length_ms * 8)); }

}  // namespace daisytest
