// ttsengine/zh_number.h: turns the numbers of Chinese text into the words a
// Chinese listener expects, before the text reaches the voice: years and
// phone numbers digit by digit, quantities with their units, decimals,
// percentages, negative numbers, times, dates, ratios, ranges and fractions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ZhNumberOptions {
  int readDigit = 0;  // 0 by context, 1 always as a value, 2 always digit by digit
  int yao = 0;        // 1: the digit 1 of a digit string is read "yao"
};

// The Chinese words for an unsigned integer given as decimal digits:
// "10" -> 十, "110" -> 一百一十, "10050" -> 一万零五十, "2000" -> 两千.
// More than 16 digits are read digit by digit.
std::string ZhIntegerWords(std::string_view digits);

// Each digit as a word: "0138" -> 零一三八 (〇 instead of 零 when circle is set).
std::string ZhDigitWords(std::string_view digits, bool circle, bool yao);

// Rewrites every number of UTF-8 text; the rest is copied unchanged.
// Digits that follow a Latin letter (mp3, A4) are left for the English voice.
std::string ZhNormalizeNumbers(std::string_view utf8, const ZhNumberOptions &options);
