// Decoding, clause cutting and language runs (see text_plan.h).
#include "ttsengine/text_plan.h"

#include "ttsengine/zh_number.h"

#include <algorithm>
#include <iconv.h>
#include <cstring>
#include <string>

namespace {

struct Char {
  char32_t cp;
  uint32_t byte;  // offset of its first byte in the input
};

// Every pinyin syllable (ü written v), for telling pinyin from English.
constexpr const char kSyllables[] =
    " a ai an ang ao ba bai ban bang bao bei ben beng bi bian biao bie bin bing bo bu ca cai can"
    " cang cao ce cen ceng cha chai chan chang chao che chen cheng chi chong chou chu chua chuai"
    " chuan chuang chui chun chuo ci cong cou cu cuan cui cun cuo da dai dan dang dao de dei den"
    " deng di dia dian diao die ding diu dong dou du duan dui dun duo e ei en eng er fa fan fang"
    " fei fen feng fiao fo fou fu ga gai gan gang gao ge gei gen geng gong gou gu gua guai guan"
    " guang gui gun guo ha hai han hang hao he hei hen heng hm hng hong hou hu hua huai huan huang"
    " hui hun huo ji jia jian jiang jiao jie jin jing jiong jiu ju juan jue jun ka kai kan kang"
    " kao ke kei ken keng kong kou ku kua kuai kuan kuang kui kun kuo la lai lan lang lao le lei"
    " leng li lia lian liang liao lie lin ling liu lo long lou lu luan lun luo lv lve ma mai man"
    " mang mao me mei men meng mi mian miao mie min ming miu mo mou mu n na nai nan nang nao ne"
    " nei nen neng ng ni nian niang niao nie nin ning niu nong nou nu nuan nun nuo nv nve o ou pa"
    " pai pan pang pao pei pen peng pi pian piao pie pin ping po pou pu qi qia qian qiang qiao qie"
    " qin qing qiong qiu qu quan que qun ran rang rao re ren reng ri rong rou ru ruan rui run ruo"
    " sa sai san sang sao se sen seng sha shai shan shang shao she shei shen sheng shi shou shu"
    " shua shuai shuan shuang shui shun shuo si song sou su suan sui sun suo ta tai tan tang tao"
    " te teng ti tian tiao tie ting tong tou tu tuan tui tun tuo wa wai wan wang wei wen weng wo"
    " wu xi xia xian xiang xiao xie xin xing xiong xiu xu xuan xue xun ya yan yang yao ye yi yin"
    " ying yo yong you yu yuan yue yun za zai zan zang zao ze zei zen zeng zha zhai zhan zhang"
    " zhao zhe zhei zhen zheng zhi zhong zhou zhu zhua zhuai zhuan zhuang zhui zhun zhuo zi zong"
    " zou zu zuan zui zun zuo ";

bool isSyllable(std::string_view s) {
  if (s.empty() || s.size() > 6) return false;
  char key[10];
  key[0] = ' ';
  std::memcpy(key + 1, s.data(), s.size());
  key[s.size() + 1] = ' ';
  key[s.size() + 2] = '\0';
  return std::strstr(kSyllables, key) != nullptr;
}

bool isHan(char32_t c) {
  return (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xf900 && c <= 0xfaff) ||
         (c >= 0x20000 && c <= 0x2ffff) || c == 0x3007;
}
bool isAsciiLetter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isLatinLetter(char32_t c) {
  return isAsciiLetter(c) || (c >= 0xc0 && c <= 0x24f && c != 0xd7 && c != 0xf7);
}
bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool isWordChar(char32_t c) { return isLatinLetter(c) || isDigit(c) || c == '\''; }

// Full-width digits, letters and the symbols of numbers read as ASCII.
char32_t fold(char32_t c) {
  if (c == 0x3000) return ' ';
  if (c >= 0xff10 && c <= 0xff19) return c - 0xfee0;
  if ((c >= 0xff21 && c <= 0xff3a) || (c >= 0xff41 && c <= 0xff5a)) return c - 0xfee0;
  switch (c) {
    case 0xff05: case 0xff0b: case 0xff0d: case 0xff0e: case 0xff0f: case 0xff1a:
      return c - 0xfee0;
    default:
      return c;
  }
}

void appendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

void decodeUtf8(const unsigned char *s, uint32_t n, std::vector<Char> &out) {
  uint32_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1f) : len == 3 ? (b & 0x0f) : (b & 0x07);
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; k++) {
      if ((s[i + k] & 0xc0) != 0x80) ok = false;
      cp = (cp << 6) | (s[i + k] & 0x3f);
    }
    if (ok && len > 1 && (cp < (len == 2 ? 0x80u : len == 3 ? 0x800u : 0x10000u) || cp > 0x10ffff)) ok = false;
    if (!ok) {
      out.push_back({U' ', i});
      i++;
      continue;
    }
    out.push_back({cp, i});
    i += len;
  }
}

void decodeUtf16le(const unsigned char *s, uint32_t n, std::vector<Char> &out) {
  uint32_t i = 0;
  while (i + 1 < n) {
    char32_t u = s[i] | (s[i + 1] << 8);
    if (u >= 0xd800 && u <= 0xdbff && i + 3 < n) {
      char32_t lo = s[i + 2] | (s[i + 3] << 8);
      if (lo >= 0xdc00 && lo <= 0xdfff) {
        out.push_back({0x10000 + ((u - 0xd800) << 10) + (lo - 0xdc00), i});
        i += 4;
        continue;
      }
    }
    out.push_back({(u >= 0xd800 && u <= 0xdfff) ? U' ' : u, i});
    i += 2;
  }
}

void decodeGbk(const unsigned char *s, uint32_t n, std::vector<Char> &out) {
  iconv_t cd = iconv_open("UTF-32LE", "GBK");
  uint32_t i = 0;
  while (i < n) {
    if (s[i] < 0x80) {
      out.push_back({s[i], i});
      i++;
      continue;
    }
    char32_t cp = U' ';
    uint32_t len = 1;
    if (i + 1 < n && s[i] >= 0x81 && s[i] <= 0xfe && s[i + 1] >= 0x40 && s[i + 1] != 0x7f) {
      len = 2;
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        char in[2] = {static_cast<char>(s[i]), static_cast<char>(s[i + 1])};
        unsigned char u32[4];
        char *ip = in, *op = reinterpret_cast<char *>(u32);
        size_t il = 2, ol = 4;
        if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 0)
          cp = u32[0] | (u32[1] << 8) | (u32[2] << 16) | (static_cast<char32_t>(u32[3]) << 24);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
    }
    out.push_back({cp, i});
    i += len;
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

bool endsClause(const std::vector<Char> &t, size_t i) {
  char32_t c = t[i].cp;
  switch (c) {
    case U'。': case U'！': case U'？': case U'；': case U'，': case U'、': case U'：': case U'…':
    case U'\n': case U'\r':
      return true;
    case U',': case U'.': case U':': case U';': case U'!': case U'?': {
      // Not inside 3.5, 10:30 or 1,000.
      bool digitBefore = i > 0 && isDigit(t[i - 1].cp);
      bool digitAfter = i + 1 < t.size() && isDigit(t[i + 1].cp);
      return !(digitBefore && digitAfter);
    }
    default:
      return false;
  }
}

bool closesQuote(char32_t c) {
  return c == U'”' || c == U'’' || c == U'」' || c == U'』' || c == U'）' || c == U')' || c == U'"' ||
         c == U'\'' || c == U'》' || c == U'】';
}

// Where to cut a clause that has no punctuation within max characters:
// after the last blank, else between two characters that are not both part
// of a word or number.
size_t cutPoint(const std::vector<Char> &t, size_t start, size_t max) {
  size_t limit = start + max;
  for (size_t i = limit; i > start + max / 2; i--)
    if (t[i - 1].cp == U' ') return i;
  for (size_t i = limit; i > start + 1; i--)
    if (!(isWordChar(t[i - 1].cp) && isWordChar(t[i].cp))) return i;
  return limit;
}

std::vector<Char> decodeString(std::string_view s) {
  std::vector<Char> cps;
  decodeUtf8(reinterpret_cast<const unsigned char *>(s.data()), static_cast<uint32_t>(s.size()), cps);
  return cps;
}

// Something to say: a Han character, a letter or a digit.
bool speakable(std::string_view s) {
  for (const Char &c : decodeString(s))
    if (isHan(c.cp) || isLatinLetter(c.cp) || isDigit(c.cp)) return true;
  return false;
}

bool hasHan(std::string_view s) {
  for (const Char &c : decodeString(s))
    if (isHan(c.cp)) return true;
  return false;
}

// Splits a clause with Han text into runs: Latin words (not pinyin) go to
// English, Han text and pinyin to Chinese; blanks and punctuation stay with
// the run they follow.
std::vector<TextRun> splitRuns(const std::string &clause) {
  std::vector<Char> cps = decodeString(clause);
  std::vector<TextRun> runs;
  std::string pending;  // neutral text before the first run
  auto add = [&](RunLang lang, const std::string &text) {
    if (runs.empty() || runs.back().lang != lang) {
      runs.push_back({lang, pending + text});
      pending.clear();
    } else {
      runs.back().text += text;
    }
  };
  size_t i = 0;
  while (i < cps.size()) {
    char32_t c = cps[i].cp;
    std::string text;
    if (isWordChar(c) && c != '\'') {
      size_t j = i;
      while (j < cps.size() && isWordChar(cps[j].cp)) appendUtf8(text, cps[j++].cp);
      i = j;
      add(TextIsPinyin(text) ? RunLang::kChinese : RunLang::kEnglish, text);
      continue;
    }
    appendUtf8(text, c);
    i++;
    if (isHan(c)) {
      add(RunLang::kChinese, text);
    } else if (runs.empty()) {
      pending += text;
    } else {
      runs.back().text += text;
    }
  }
  if (!pending.empty() && !runs.empty()) runs.back().text += pending;
  return runs;
}

}  // namespace

bool TextIsPinyin(std::string_view token) {
  if (token.empty()) return false;
  size_t start = 0;
  for (size_t i = 0; i < token.size(); i++) {
    char c = token[i];
    if (c >= '1' && c <= '5') {
      std::string lower(token.substr(start, i - start));
      for (char &ch : lower)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
      if (!isSyllable(lower)) return false;
      start = i + 1;
    } else if (!isAsciiLetter(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return start == token.size();
}

std::vector<TextClause> TextPlan(const void *text, uint32_t bytes, const TextPlanOptions &options) {
  std::vector<TextClause> plan;
  if (!text || bytes == 0) return plan;
  const auto *s = static_cast<const unsigned char *>(text);
  std::vector<Char> t;
  t.reserve(bytes);
  if (options.codePage == kCodePageGbk)
    decodeGbk(s, bytes, t);
  else if (options.codePage == kCodePageUtf16le)
    decodeUtf16le(s, bytes, t);
  else
    decodeUtf8(s, bytes, t);
  // A terminating zero inside the byte count ends the text.
  for (size_t i = 0; i < t.size(); i++)
    if (t[i].cp == 0) {
      bytes = t[i].byte;
      t.resize(i);
      break;
    }
  bool anyHan = false, anyLatin = false;
  for (Char &c : t) {
    c.cp = fold(c.cp);
    anyHan = anyHan || isHan(c.cp);
    anyLatin = anyLatin || isLatinLetter(c.cp);
  }
  // Numbers are read in Chinese in text with Han characters; text of
  // numbers alone follows the language setting.
  bool chineseNumbers = options.language != 2 && (anyHan || (options.language == 1 && !anyLatin));
  ZhNumberOptions numbers;
  numbers.readDigit = options.readDigit;
  numbers.yao = options.yao;
  size_t maxChars = std::max<size_t>(options.maxClauseChars, 8);

  size_t start = 0;
  while (start < t.size()) {
    size_t end = start;
    while (end < t.size() && end - start < maxChars && !endsClause(t, end)) end++;
    if (end < t.size() && end - start < maxChars) {
      end++;  // the punctuation stays with its clause, with any closing quotes
      while (end < t.size() && (closesQuote(t[end].cp) || endsClause(t, end))) end++;
    } else if (end < t.size()) {
      end = cutPoint(t, start, maxChars);
    }
    std::string utf8;
    for (size_t i = start; i < end; i++) appendUtf8(utf8, t[i].cp);
    TextClause clause;
    clause.byteStart = t[start].byte;
    clause.byteLen = (end < t.size() ? t[end].byte : bytes) - t[start].byte;
    clause.charStart = static_cast<uint32_t>(start);
    clause.charLen = static_cast<uint32_t>(end - start);
    if (speakable(utf8)) {
      if (chineseNumbers) utf8 = ZhNormalizeNumbers(utf8, numbers);
      if (hasHan(utf8))
        clause.runs = splitRuns(utf8);
      else
        clause.runs.push_back({RunLang::kEnglish, utf8});
      std::erase_if(clause.runs, [](const TextRun &r) { return !speakable(r.text); });
      if (!clause.runs.empty()) plan.push_back(std::move(clause));
    }
    start = end;
  }
  return plan;
}
