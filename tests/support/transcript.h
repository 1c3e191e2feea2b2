// What the host board recorded as spoken: the transcript's lines of one
// voice (nullptr: of every voice), in order.
#pragma once

#include "board/host/host.h"

#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> TranscriptLines(const char *voice = "prompt") {
  std::vector<std::string> out;
  std::ifstream in(BoardHostFile("transcript.txt"));
  std::string line;
  while (std::getline(in, line)) {
    size_t a = line.find('\t');
    size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    if (!voice || line.compare(a + 1, b - a - 1, voice) == 0) out.push_back(line.substr(b + 1));
  }
  return out;
}

// Lines spoken after the first `from` ones.
inline std::vector<std::string> TranscriptSince(size_t from, const char *voice = "prompt") {
  std::vector<std::string> all = TranscriptLines(voice);
  if (from >= all.size()) return {};
  return std::vector<std::string>(all.begin() + static_cast<long>(from), all.end());
}

// The last line spoken, or "".
inline std::string LastSpoken() {
  std::vector<std::string> all = TranscriptLines();
  return all.empty() ? "" : all.back();
}
