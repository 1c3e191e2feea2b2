// Character-set detection beside uchardet, and paging throughput.
//
// Detection: excerpts of real prose (the Chinese and English tutors that
// Debian's vim-runtime ships, the sample text when present) at several
// sizes, encoded with iconv in each set the reader knows. A detection counts
// as right when decoding the bytes with the detected set gives the text back
// (so ASCII-only excerpts are right as UTF-8, GBK or Big5 alike). Printed:
// the share right per set and size for get_charset and for uchardet, and
// the detection speed of each.
//
// Paging: an 8 MiB text per set, opened through the txt record (the paging
// pass) and read page by page (the conversion); MiB/s of the source bytes.
//
//   bench_ebook_charset [SAMPLES_DIR]
#include "ebook/charset.h"
#include "ebook/ebook_parser.h"

#include "core/runtime/log.h"

#include <uchardet/uchardet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool convert(const std::string &in, const char *to, const char *from, std::string *out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->assign(in.size() * 4 + 16, '\0');
  char *ip = const_cast<char *>(in.data());
  size_t il = in.size();
  char *op = out->data();
  size_t ol = out->size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out->resize(out->size() - ol);
  return r != static_cast<size_t>(-1) && il == 0;
}

// A cut of UTF-8 text at a character boundary at or after pos.
size_t boundary(const std::string &s, size_t pos) {
  while (pos < s.size() && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) pos++;
  return pos;
}

struct Set {
  const char *name;     // as printed
  const char *iconv;    // to encode
  std::string bom;
  const char *corpus;   // which text it is made from
};

struct Score {
  int total = 0, ours = 0, theirs = 0;
};

double mib(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::string uchardetGuess(uchardet_t ud, const std::string &bytes) {
  uchardet_reset(ud);
  uchardet_handle_data(ud, bytes.data(), bytes.size());
  uchardet_data_end(ud);
  const char *cs = uchardet_get_charset(ud);
  return cs ? cs : "";
}

bool decodesBack(const std::string &bytes, const std::string &bom, const char *set, const std::string &text) {
  if (!set || !*set) return false;
  std::string body = bytes.compare(0, bom.size(), bom) == 0 ? bytes.substr(bom.size()) : bytes;
  std::string back;
  if (!convert(body, "UTF-8", set, &back)) {
    // uchardet names UTF-16 with a mark "UTF-16"; iconv then wants the mark.
    if (!convert(bytes, "UTF-8", set, &back)) return false;
  }
  return back == text;
}

}  // namespace

int main(int argc, char **argv) {
  LogSetLevel(-1);
  if (register_iconv_cd() != 0) return 1;
  std::string samples = argc > 1 ? argv[1] : TB_SAMPLES_DIR;

  std::map<std::string, std::string> corpus;
  corpus["zh_cn"] = readFile("/usr/share/vim/vim90/tutor/tutor.zh_cn.utf-8");
  corpus["zh_tw"] = readFile("/usr/share/vim/vim90/tutor/tutor.zh_tw.utf-8");
  corpus["en"] = readFile(samples + "/txt/wasteland.txt");
  if (corpus["en"].empty()) corpus["en"] = readFile("/usr/share/vim/vim90/tutor/tutor");
  for (const auto &c : corpus)
    if (c.second.size() < 20000) {
      std::fprintf(stderr, "corpus %s missing (vim-runtime and the samples give it)\n", c.first.c_str());
      return 1;
    }

  const std::vector<Set> sets = {
      {"UTF-8 zh", "UTF-8", "", "zh_cn"},         {"UTF-8 en", "UTF-8", "", "en"},
      {"UTF-8+mark", "UTF-8", "\xEF\xBB\xBF", "zh_tw"},
      {"UTF-16LE", "UTF-16LE", "", "zh_cn"},      {"UTF-16LE+mark", "UTF-16LE", "\xFF\xFE", "zh_cn"},
      {"UTF-16BE", "UTF-16BE", "", "en"},         {"UTF-16BE+mark", "UTF-16BE", "\xFE\xFF", "zh_tw"},
      {"GBK", "GBK", "", "zh_cn"},                {"Big5", "BIG5", "", "zh_tw"},
  };
  const std::vector<size_t> sizes = {32, 128, 512, 2048, 16384};
  const int kExcerpts = 40;

  uchardet_t ud = uchardet_new();
  std::printf("Detection: share decoded back correctly, %d excerpts per cell (ours / uchardet)\n\n", kExcerpts);
  std::printf("%-14s", "set \\ bytes");
  for (size_t s : sizes) std::printf("%14zu", s);
  std::printf("\n");
  Score all;
  size_t detectedBytes = 0;
  double oursTime = 0, theirsTime = 0;
  for (const Set &set : sets) {
    const std::string &text = corpus[set.corpus];
    std::printf("%-14s", set.name);
    for (size_t size : sizes) {
      Score cell;
      for (int k = 0; k < kExcerpts; k++) {
        size_t start = boundary(text, (text.size() - size) * static_cast<size_t>(k) / kExcerpts);
        size_t end = boundary(text, start + size);
        std::string excerpt = text.substr(start, end - start);
        std::string enc;
        if (!convert(excerpt, set.iconv, "UTF-8", &enc)) continue;  // a character the set lacks
        std::string bytes = set.bom + enc;
        auto t0 = Clock::now();
        int code = get_charset(reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<int>(bytes.size()));
        auto t1 = Clock::now();
        std::string guess = uchardetGuess(ud, bytes);
        auto t2 = Clock::now();
        oursTime += seconds(t0, t1);
        theirsTime += seconds(t1, t2);
        detectedBytes += bytes.size();
        cell.total++;
        if (decodesBack(bytes, set.bom, charset_iconv_name(code), excerpt)) cell.ours++;
        if (decodesBack(bytes, set.bom, guess.c_str(), excerpt)) cell.theirs++;
      }
      all.total += cell.total;
      all.ours += cell.ours;
      all.theirs += cell.theirs;
      if (cell.total == 0) {
        std::printf("%14s", "-");
      } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%3d%% / %3d%%", 100 * cell.ours / cell.total, 100 * cell.theirs / cell.total);
        std::printf("%14s", buf);
      }
    }
    std::printf("\n");
  }
  uchardet_delete(ud);
  std::printf("\nall %d excerpts: get_charset %.1f%%, uchardet %.1f%%\n", all.total, 100.0 * all.ours / all.total,
              100.0 * all.theirs / all.total);
  std::printf("detection speed: get_charset %.1f MiB/s, uchardet %.1f MiB/s\n\n", mib(detectedBytes) / oursTime,
              mib(detectedBytes) / theirsTime);

  // Paging throughput.
  char dir[] = "/tmp/bench-ebook-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::printf("Paging an 8 MiB text: open (page table) and read every page (to UTF-8)\n");
  for (const Set &set : sets) {
    if (set.name == std::string("UTF-8 en") || set.name == std::string("UTF-16BE")) continue;
    std::string enc;
    std::string text = corpus[set.corpus];
    if (!convert(text, set.iconv, "UTF-8", &enc)) {
      // Drop what the set lacks, line by line.
      enc.clear();
      size_t pos = 0;
      while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl + 1 - pos);
        std::string e;
        if (convert(line, set.iconv, "UTF-8", &e)) enc += e;
        pos = nl == std::string::npos ? text.size() : nl + 1;
      }
    }
    std::string body = set.bom;
    while (body.size() < (8u << 20)) body += enc;
    std::string path = std::string(dir) + "/book.txt";
    std::ofstream(path, std::ios::binary) << body;
    ebook_parser *p = &ebook_parser_for_txt;
    auto t0 = Clock::now();
    if (p->open(p, path.c_str()) != 0) return 1;
    auto t1 = Clock::now();
    size_t out = 0;
    int pages = p->get_total_pages(p);
    for (int k = 0; k < pages; k++) {
      const char *page = nullptr;
      out += static_cast<size_t>(p->read_page(p, k, &page));
    }
    auto t2 = Clock::now();
    p->close(p);
    std::printf("%-14s %6d pages  open %7.1f MiB/s  read %7.1f MiB/s  (%zu UTF-8 bytes)\n", set.name, pages,
                mib(body.size()) / seconds(t0, t1), mib(body.size()) / seconds(t1, t2), out);
    unlink(path.c_str());
  }
  rmdir(dir);
  return 0;
}
