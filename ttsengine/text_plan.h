// ttsengine/text_plan.h: how a text is cut up before synthesis. The input
// (GBK, UTF-8 or UTF-16LE) is decoded, cut into clauses at punctuation so
// that each piece is synthesised and delivered on its own, and each clause is
// split into runs of one language: Han text (with its numbers turned into
// Chinese words) for the main voice, Latin words for the companion voice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum { kCodePageGbk = 936, kCodePageUtf8 = 65001, kCodePageUtf16le = 1200 };

enum class RunLang { kChinese, kEnglish };

struct TextRun {
  RunLang lang;
  std::string text;  // UTF-8, ready for the voice
};

struct TextClause {
  uint32_t byteStart = 0, byteLen = 0;  // in the input
  uint32_t charStart = 0, charLen = 0;  // in characters of the input
  std::vector<TextRun> runs;
};

struct TextPlanOptions {
  int codePage = kCodePageUtf8;
  int language = 1;   // ivTTS_PARAM_LANGUAGE: how numbers are read
  int readDigit = 0;  // ZhNumberOptions
  int yao = 0;
  size_t maxClauseChars = 60;
};

// Cuts text into clauses and language runs. Undecodable bytes are read as
// blanks. Clauses with nothing to say (blanks, punctuation) are dropped.
std::vector<TextClause> TextPlan(const void *text, uint32_t bytes, const TextPlanOptions &options);

// True for a Latin token made only of tone-numbered pinyin syllables
// ("hang2", "yin2hang2", "xi5").
bool TextIsPinyin(std::string_view token);
