// chncollate: makes the file browser's collation weights
// "/home/ChnCharIndexs.bin" (data/ChnCharIndexs.bin) and checks them.
//
//   chncollate --out FILE
//       Every code point of the basic plane is ordered by ICU's Chinese
//       collation with the pinyin tailoring (locale "zh@collation=pinyin")
//       at secondary strength: case does not count, accents do. The weight
//       of a character is its rank in that order (characters that collate
//       equal share one), written as 65536 little-endian 16-bit words.
//       Surrogates, which are no characters, get the highest weight.
//
//   chncollate --check FILE
//       Checks a weights file: its size; digits before Latin letters before
//       Chinese; upper and lower case equal; and the order of the 3755
//       common characters (GB2312 level 1, which that standard itself lists
//       by pinyin) against two sources that share nothing with ICU: the GB2312
//       code order, and the C library's zh_CN collation (LOCPATH must name a
//       folder holding a compiled zh_CN.UTF-8, see check.sh). Prints the
//       share of all pairs of characters that each source puts in the same
//       order and fails below 98 %: characters with several readings and the
//       order inside one syllable differ between sources, the order of the
//       syllables must not.
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <locale.h>
#include <memory>
#include <string>
#include <vector>

namespace {

int makeTable(const char *out) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> coll(icu::Collator::createInstance(icu::Locale("zh@collation=pinyin"), status));
  if (U_FAILURE(status)) {
    std::fprintf(stderr, "chncollate: no pinyin collator: %s\n", u_errorName(status));
    return 1;
  }
  coll->setStrength(icu::Collator::SECONDARY);
  // The Chinese tailoring puts Chinese before every other script; on the
  // device digits come first, then Latin names, then Chinese ones.
  const int32_t order[] = {USCRIPT_LATIN, USCRIPT_HAN};
  coll->setReorderCodes(order, 2, status);
  if (U_FAILURE(status)) {
    std::fprintf(stderr, "chncollate: cannot reorder scripts: %s\n", u_errorName(status));
    return 1;
  }
  struct Key {
    std::string key;
    uint32_t cp;
  };
  std::vector<Key> keys;
  for (uint32_t cp = 0; cp < 0x10000; cp++) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    icu::UnicodeString s(static_cast<UChar32>(cp));
    int32_t n = coll->getSortKey(s, nullptr, 0);
    std::string k(static_cast<size_t>(n), '\0');
    coll->getSortKey(s, reinterpret_cast<uint8_t *>(k.data()), n);
    keys.push_back({k, cp});
  }
  std::stable_sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) { return a.key < b.key; });
  std::vector<uint16_t> weight(0x10000, 0xFFFF);
  unsigned rank = 0;
  for (size_t i = 0; i < keys.size(); i++) {
    if (i && keys[i].key != keys[i - 1].key) rank++;
    if (rank >= 0xFFFF) {
      std::fprintf(stderr, "chncollate: more than 65535 weights\n");
      return 1;
    }
    weight[keys[i].cp] = static_cast<uint16_t>(rank);
  }
  FILE *f = std::fopen(out, "wb");
  if (!f) {
    std::perror(out);
    return 1;
  }
  for (uint16_t w : weight) {
    unsigned char b[2] = {static_cast<unsigned char>(w & 0xFF), static_cast<unsigned char>(w >> 8)};
    std::fwrite(b, 1, 2, f);
  }
  if (std::fclose(f) != 0) {
    std::perror(out);
    return 1;
  }
  std::printf("chncollate: %s: %u distinct weights\n", out, rank + 1);
  std::fflush(stdout);
  return 0;
}

std::string utf8(uint32_t cp) {
  std::string s;
  icu::UnicodeString(static_cast<UChar32>(cp)).toUTF8String(s);
  return s;
}

uint32_t codePoint(const std::string &s) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(s);
  return u.length() ? static_cast<uint32_t>(u.char32At(0)) : 0;
}

// The GB2312 level-1 characters in code order (rows 16 to 55).
std::vector<uint32_t> gb2312Level1() {
  std::vector<uint32_t> out;
  iconv_t cd = iconv_open("UTF-8", "GB2312");
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  for (int row = 0xB0; row <= 0xD7; row++) {
    for (int col = 0xA1; col <= 0xFE; col++) {
      char in[2] = {static_cast<char>(row), static_cast<char>(col)};
      char buf[8];
      char *ip = in, *op = buf;
      size_t il = 2, ol = sizeof buf;
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) continue;
      out.push_back(codePoint(std::string(buf, static_cast<size_t>(op - buf))));
    }
  }
  iconv_close(cd);
  return out;
}

// Inversions of v (pairs i < j with v[i] > v[j]), counted by merge sort.
uint64_t inversions(std::vector<size_t> &v, size_t lo, size_t hi, std::vector<size_t> &tmp) {
  if (hi - lo < 2) return 0;
  size_t mid = (lo + hi) / 2;
  uint64_t n = inversions(v, lo, mid, tmp) + inversions(v, mid, hi, tmp);
  size_t i = lo, j = mid, k = lo;
  while (i < mid || j < hi) {
    if (j >= hi || (i < mid && v[i] <= v[j])) {
      tmp[k++] = v[i++];
    } else {
      n += mid - i;
      tmp[k++] = v[j++];
    }
  }
  std::copy(tmp.begin() + static_cast<long>(lo), tmp.begin() + static_cast<long>(hi), v.begin() + static_cast<long>(lo));
  return n;
}

// Share of all pairs of `order` that the other source (rank: the
// character's position there) puts in the same order (Kendall's tau as a
// percentage of agreeing pairs).
double agreement(const std::vector<uint32_t> &order, const std::vector<size_t> &rank) {
  std::vector<size_t> v, tmp(order.size());
  for (uint32_t c : order) v.push_back(rank[c]);
  double pairs = static_cast<double>(order.size()) * static_cast<double>(order.size() - 1) / 2;
  return pairs > 0 ? 100.0 * (1.0 - static_cast<double>(inversions(v, 0, v.size(), tmp)) / pairs) : 0;
}

int checkTable(const char *path) {
  FILE *f = std::fopen(path, "rb");
  if (!f) {
    std::perror(path);
    return 1;
  }
  std::vector<unsigned char> raw(0x20001);
  size_t n = std::fread(raw.data(), 1, raw.size(), f);
  std::fclose(f);
  if (n != 0x20000) {
    std::fprintf(stderr, "chncollate: %s has %zu bytes, not 131072\n", path, n);
    return 1;
  }
  auto w = [&](uint32_t cp) { return static_cast<unsigned>(raw[2 * cp] | (raw[2 * cp + 1] << 8)); };
  int failures = 0;
  auto expect = [&](bool ok, const char *what) {
    if (!ok) {
      std::fprintf(stderr, "chncollate: FAIL %s\n", what);
      failures++;
    }
  };
  expect(w('0') < w('1') && w('1') < w('9'), "digits in order");
  expect(w('9') < w('a') && w('a') < w('b') && w('y') < w('z'), "digits before letters, letters in order");
  expect(w('a') == w('A') && w('z') == w('Z'), "case does not count");
  expect(w('z') < w(codePoint("阿")), "Latin before Chinese");
  expect(w(codePoint("阿")) < w(codePoint("八")) && w(codePoint("八")) < w(codePoint("中")),
         "阿 (a) before 八 (ba) before 中 (zhong)");
  expect(w(' ') < w('0'), "space before digits");

  std::vector<uint32_t> level1 = gb2312Level1();
  expect(level1.size() == 3755, "3755 GB2312 level-1 characters");
  std::vector<uint32_t> byWeight = level1;
  std::stable_sort(byWeight.begin(), byWeight.end(), [&](uint32_t a, uint32_t b) { return w(a) < w(b); });

  // Source 2: GB2312 orders its level 1 by pinyin itself.
  std::vector<size_t> gbPos(0x10000, 0);
  for (size_t i = 0; i < level1.size(); i++) gbPos[level1[i]] = i;
  double gb = agreement(byWeight, gbPos);
  std::printf("chncollate: GB2312 code order agrees on %.2f %% of pairs\n", gb);
  expect(gb >= 98.0, "agreement with the GB2312 order");

  // Source 3: the C library's zh_CN collation.
  locale_t zh = newlocale(LC_COLLATE_MASK, "zh_CN.UTF-8", static_cast<locale_t>(0));
  if (!zh) {
    std::fprintf(stderr, "chncollate: no zh_CN.UTF-8 locale (set LOCPATH)\n");
    failures++;
  } else {
    std::vector<uint32_t> byLibc = level1;
    std::stable_sort(byLibc.begin(), byLibc.end(),
                     [&](uint32_t a, uint32_t b) { return strcoll_l(utf8(a).c_str(), utf8(b).c_str(), zh) < 0; });
    std::vector<size_t> libcPos(0x10000, 0);
    for (size_t i = 0; i < byLibc.size(); i++) libcPos[byLibc[i]] = i;
    double libc = agreement(byWeight, libcPos);
    std::printf("chncollate: zh_CN collation agrees on %.2f %% of pairs\n", libc);
    expect(libc >= 98.0, "agreement with the zh_CN collation");
    freelocale(zh);
  }
  std::fflush(stdout);
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && !std::strcmp(argv[1], "--out")) return makeTable(argv[2]);
  if (argc == 3 && !std::strcmp(argv[1], "--check")) return checkTable(argv[2]);
  std::fprintf(stderr, "usage: chncollate --out FILE | --check FILE\n");
  return 2;
}
