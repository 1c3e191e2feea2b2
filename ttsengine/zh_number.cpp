// Chinese readings of numbers. The text arrives with ASCII digits and
// symbols (full-width forms are folded before); everything that is not part
// of a number is copied byte for byte.
#include "ttsengine/zh_number.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<const char *, 10> kDigit = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
constexpr std::array<const char *, 4> kGroupUnit = {"", "万", "亿", "万亿"};
constexpr std::array<const char *, 4> kPlaceUnit = {"千", "百", "十", ""};

// Measure words after which a lone 2 is read 两 (两个, 两小时), unless the
// number is an ordinal (第2个).
constexpr const char *kMeasureWords[] = {
    "个", "本", "次", "位", "件", "张", "条", "只", "天", "种", "名", "台", "部", "首", "页",
    "项", "块", "辆", "句", "段", "章", "节", "层", "岁", "倍", "份", "套", "元", "斤", "双",
    "对", "遍", "周", "小时", "分钟", "公里", "千米", "米",
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t digitRun(std::string_view s, size_t i) {
  size_t j = i;
  while (j < s.size() && isDigit(s[j])) j++;
  return j - i;
}

int smallValue(std::string_view digits) {
  int v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > 100000) return v;
  }
  return v;
}

bool startsWith(std::string_view s, size_t i, const char *word) {
  return s.substr(i).substr(0, std::strlen(word)) == word;
}

// One group of up to four digits (thousands to ones), value 1..9999.
// leadingTen: a group that starts the number reads 10..19 as 十, 十五.
std::string groupWords(std::string_view four, bool leadingTen, bool twoAsLiang, bool aloneBeforeUnit) {
  std::string out;
  bool started = false, gap = false;
  int value = smallValue(four);
  for (size_t p = 0; p < 4; p++) {
    int d = four[p] - '0';
    if (d == 0) {
      if (started) gap = true;
      continue;
    }
    if (gap) out += kDigit[0];
    gap = false;
    bool firstDigit = !started;
    started = true;
    if (firstDigit && p == 2 && d == 1 && leadingTen) {
      out += "十";
      continue;
    }
    if (d == 2 && firstDigit && twoAsLiang && (p == 0 || (value == 2 && aloneBeforeUnit)))
      out += "两";
    else
      out += kDigit[d];
    out += kPlaceUnit[p];
  }
  return out;
}

struct Number {
  size_t end = 0;         // index after the number (suffix not included)
  bool negative = false;
  std::string intDigits;  // without thousands separators
  bool grouped = false;   // written with thousands separators
  std::string fracDigits; // after the point, "" when none
  bool hasPoint = false;
};

// Reads [-]digits[,ddd...][.digits] at i (s[i] is a digit or the sign).
Number parseNumber(std::string_view s, size_t i) {
  Number n;
  if (s[i] == '-') {
    n.negative = true;
    i++;
  }
  size_t run = digitRun(s, i);
  n.intDigits.assign(s.substr(i, run));
  i += run;
  // Thousands separators: 1,234,567 (exactly three digits after each comma).
  if (run <= 3) {
    size_t j = i;
    std::string more;
    while (j + 3 < s.size() && s[j] == ',' && digitRun(s, j + 1) == 3) {
      more.append(s.substr(j + 1, 3));
      j += 4;
    }
    if (!more.empty() && !(j < s.size() && isDigit(s[j]))) {
      n.intDigits += more;
      n.grouped = true;
      i = j;
    }
  }
  if (i + 1 < s.size() && s[i] == '.' && isDigit(s[i + 1])) {
    size_t f = digitRun(s, i + 1);
    n.fracDigits.assign(s.substr(i + 1, f));
    n.hasPoint = true;
    i += 1 + f;
  }
  n.end = i;
  return n;
}

class Normalizer {
 public:
  Normalizer(std::string_view s, const ZhNumberOptions &o) : s_(s), o_(o) {}

  std::string run() {
    size_t i = 0;
    while (i < s_.size()) {
      char c = s_[i];
      bool signStart = c == '-' && i + 1 < s_.size() && isDigit(s_[i + 1]) && !afterNumber_ &&
                       !(i > 0 && (isDigit(s_[i - 1]) || isLetter(s_[i - 1])));
      bool pointStart = c == '.' && i + 1 < s_.size() && isDigit(s_[i + 1]) &&
                        !(i > 0 && (isDigit(s_[i - 1]) || isLetter(s_[i - 1])));
      if (!isDigit(c) && !signStart && !pointStart) {
        afterNumber_ = false;
        out_ += c;
        i++;
        continue;
      }
      if (i > 0 && isLetter(s_[i - 1])) {
        // mp3, A4: the digits belong to a Latin word, which English reads.
        // Version numbers stay whole too (v1.2.3).
        size_t j = i + digitRun(s_, i);
        while (j + 1 < s_.size() && s_[j] == '.' && isDigit(s_[j + 1])) j += 1 + digitRun(s_, j + 1);
        out_.append(s_.substr(i, j - i));
        i = j;
        continue;
      }
      if (pointStart) {
        size_t run = digitRun(s_, i + 1);
        out_ += afterNumber_ ? "点" : "零点";
        out_ += ZhDigitWords(s_.substr(i + 1, run), false, false);
        i += 1 + run;
        afterNumber_ = true;
        continue;
      }
      i = number(i);
      // A dash or tilde between two numbers is a range (3-5 -> 三到五),
      // except after a digit string such as a telephone area code.
      if (i + 1 < s_.size() && (s_[i] == '-' || s_[i] == '~') && isDigit(s_[i + 1])) {
        out_ += lastWasDigits_ ? " " : "到";
        forceDigits_ = lastWasDigits_;  // 010-12345678: the rest is digits too
        i++;
        afterNumber_ = true;
      } else {
        afterNumber_ = true;
      }
    }
    return out_;
  }

 private:
  bool prevIs(size_t i, const char *word) const {
    size_t len = std::strlen(word);
    return i >= len && s_.substr(i - len, len) == word;
  }

  size_t number(size_t i) {
    bool forceDigits = forceDigits_;
    forceDigits_ = false;
    lastWasDigits_ = false;
    if (size_t end = date(i)) return end;
    if (size_t end = clock(i)) return end;
    Number n = parseNumber(s_, i);
    size_t end = n.end;
    // Ratio 3:2 (a time was tried first).
    if (!n.hasPoint && !n.negative && end + 1 < s_.size() && s_[end] == ':' && isDigit(s_[end + 1])) {
      size_t run = digitRun(s_, end + 1);
      out_ += ZhIntegerWords(n.intDigits) + "比" + ZhIntegerWords(s_.substr(end + 1, run));
      return end + 1 + run;
    }
    // Fraction 1/2 -> 二分之一.
    if (!n.hasPoint && !n.grouped && end + 1 < s_.size() && s_[end] == '/' && isDigit(s_[end + 1])) {
      size_t run = digitRun(s_, end + 1);
      if (n.negative) out_ += "负";
      out_ += ZhIntegerWords(s_.substr(end + 1, run)) + "分之" + ZhIntegerWords(n.intDigits);
      return end + 1 + run;
    }
    if (n.negative) out_ += "负";
    bool percent = startsWith(s_, end, "%");
    if (percent) out_ += "百分之";
    if (!percent && !n.negative && !n.hasPoint && !n.grouped && n.intDigits.size() == 4 &&
        startsWith(s_, end, "年")) {
      out_ += ZhDigitWords(n.intDigits, true, false);  // 2024年 -> 二〇二四年
      return end;
    }
    bool asDigits = false;
    if (!n.grouped && !percent) {
      if (o_.readDigit == 2 || (forceDigits && !n.hasPoint))
        asDigits = true;
      else if (o_.readDigit == 0 && !n.hasPoint)
        asDigits = (n.intDigits.size() > 1 && n.intDigits[0] == '0') || n.intDigits.size() >= 9;
    }
    if (asDigits) {
      out_ += ZhDigitWords(n.intDigits, false, o_.yao != 0);
      lastWasDigits_ = !n.hasPoint;
    } else if (n.intDigits == "2" && !n.hasPoint && !percent && !prevIs(i, "第") && measureWordAt(end)) {
      out_ += "两";
    } else {
      out_ += ZhIntegerWords(n.intDigits);
    }
    if (n.hasPoint) out_ += "点" + ZhDigitWords(n.fracDigits, false, false);
    return percent ? end + 1 : end;
  }

  bool measureWordAt(size_t i) const {
    for (const char *w : kMeasureWords)
      if (startsWith(s_, i, w)) return true;
    return false;
  }

  // 2024-11-13, 2024/11/13, 2024.11.13 and 2024-11: year digit by digit.
  size_t date(size_t i) {
    if (digitRun(s_, i) != 4) return 0;
    size_t j = i + 4;
    if (j + 1 >= s_.size()) return 0;
    char sep = s_[j];
    if (sep != '-' && sep != '/' && sep != '.') return 0;
    size_t mrun = digitRun(s_, j + 1);
    if (mrun < 1 || mrun > 2) return 0;
    int month = smallValue(s_.substr(j + 1, mrun));
    if (month < 1 || month > 12) return 0;
    size_t k = j + 1 + mrun;
    std::string words = ZhDigitWords(s_.substr(i, 4), true, false) + "年" + ZhIntegerWords(s_.substr(j + 1, mrun)) + "月";
    if (k + 1 < s_.size() && s_[k] == sep && isDigit(s_[k + 1])) {
      size_t drun = digitRun(s_, k + 1);
      int day = smallValue(s_.substr(k + 1, drun));
      if (drun > 2 || day < 1 || day > 31) return 0;
      out_ += words + ZhIntegerWords(s_.substr(k + 1, drun)) + "日";
      return k + 1 + drun;
    }
    // A year and a month alone: only with a dash or slash (2024.5 is a decimal).
    if (sep == '.' || (k < s_.size() && (isDigit(s_[k]) || s_[k] == sep))) return 0;
    out_ += words;
    return k;
  }

  // 10:30 -> 十点三十分, 8:05:09 -> 八点零五分九秒, 2:00 -> 两点整.
  size_t clock(size_t i) {
    size_t hrun = digitRun(s_, i);
    if (hrun < 1 || hrun > 2) return 0;
    size_t j = i + hrun;
    if (j + 2 >= s_.size() || s_[j] != ':' || digitRun(s_, j + 1) != 2) return 0;
    int hour = smallValue(s_.substr(i, hrun));
    int minute = smallValue(s_.substr(j + 1, 2));
    if (hour > 24 || minute > 59) return 0;
    size_t k = j + 3;
    int second = -1;
    if (k + 2 < s_.size() && s_[k] == ':' && digitRun(s_, k + 1) == 2) {
      second = smallValue(s_.substr(k + 1, 2));
      if (second > 59) return 0;
      k += 3;
    }
    if (k < s_.size() && (isDigit(s_[k]) || s_[k] == ':')) return 0;
    out_ += hour == 2 ? std::string("两") : ZhIntegerWords(s_.substr(i, hrun));
    out_ += "点";
    if (minute == 0 && second <= 0) {
      out_ += "整";
      return k;
    }
    out_ += minuteWords(s_.substr(j + 1, 2)) + "分";
    if (second > 0) out_ += minuteWords(s_.substr(k - 2, 2)) + "秒";
    return k;
  }

  static std::string minuteWords(std::string_view two) {
    if (two[0] == '0') return std::string(kDigit[0]) + kDigit[two[1] - '0'];
    return ZhIntegerWords(two);
  }

  std::string_view s_;
  const ZhNumberOptions &o_;
  std::string out_;
  bool afterNumber_ = false;   // the last thing written was a number
  bool lastWasDigits_ = false; // ... read digit by digit
  bool forceDigits_ = false;   // the next number continues a digit string
};

}  // namespace

std::string ZhDigitWords(std::string_view digits, bool circle, bool yao) {
  std::string out;
  for (char c : digits) {
    if (!isDigit(c)) continue;
    if (c == '0' && circle)
      out += "〇";
    else if (c == '1' && yao)
      out += "幺";
    else
      out += kDigit[c - '0'];
  }
  return out;
}

std::string ZhIntegerWords(std::string_view digits) {
  size_t first = 0;
  while (first + 1 < digits.size() && digits[first] == '0') first++;
  digits = digits.substr(first);
  if (digits.empty()) return "";
  if (digits.size() > 16) return ZhDigitWords(digits, false, false);
  if (digits == "0") return kDigit[0];
  std::string padded(static_cast<size_t>((4 - digits.size() % 4) % 4), '0');
  padded.append(digits);
  size_t groups = padded.size() / 4;
  std::string out;
  bool started = false, pendingZero = false;
  for (size_t g = 0; g < groups; g++) {
    std::string_view four = std::string_view(padded).substr(g * 4, 4);
    int value = smallValue(four);
    size_t unit = groups - 1 - g;
    if (value == 0) {
      if (started) pendingZero = true;
      continue;
    }
    if (started && (value < 1000 || pendingZero)) out += kDigit[0];
    out += groupWords(four, !started, true, unit > 0);
    out += kGroupUnit[unit];
    started = true;
    pendingZero = false;
  }
  return out;
}

std::string ZhNormalizeNumbers(std::string_view utf8, const ZhNumberOptions &options) {
  return Normalizer(utf8, options).run();
}
