// bench_instructions: instructions executed, as callgrind counts them, on
// the paths a listener waits for. Counts do not move with the machine's
// load, so a regression shows as a number even on a busy machine:
//   ebook     a 4 MiB GBK book opened to its first sentence, the reader's
//             way (paging pass, page 0, sentences); and the whole-book
//             count that now runs after reading has started
//   daisy     the sample DAISY 2.02 and DAISY 3 books opened to their
//             first play item
// Without arguments it runs itself under valgrind once per case and prints
// the totals; without valgrind it says so and prints nothing else.
// valgrind 3.19 stops at an instruction (RDTSCP) in the start-up code of a
// library that FFmpeg loads: that probe is replaced by a preloaded stand-in
// (hwy_timer.cpp). Where valgrind still cannot run the program, each case
// says so instead of a count.
//
//   bench_instructions             (the table)
//   bench_instructions CASE DIR    (one case, instrumented; used by the table)
#include "bench/bench_util.h"
#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/log.h"
#include "daisy/daisy.h"
#include "ebook/charset.h"
#include "ebook/ebook_lines.h"
#include "ebook/ebook_parser.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

namespace {

namespace fs = std::filesystem;

void configure(const std::string &root) {
  for (const char *d : {"/home", "/dev", "/mnt/emmc", "/proc", "/tmp"}) fs::create_directories(root + d);
  std::error_code ec;
  fs::copy_file(std::string(TB_SOURCE_DIR) + "/data/Resource.irf", root + "/home/Resource.irf", ec);
  BoardHostOptions o;
  o.root = root;
  o.audio = "null";
  BoardHostConfigure(o);
}

void ebookCase() {
  register_iconv_cd();
  {
    std::ofstream out(BoardPath("/mnt/emmc/book.txt"), std::ios::binary);
    // "第N段。这是一个普通的句子，用来测试朗读。" in GBK, until 4 MiB.
    const std::string s = "\xb5\xda\xd2\xbb\xb6\xce\xa1\xa3\xd5\xe2\xca\xc7\xd2\xbb\xb8\xf6\xc6\xd5\xcd\xa8\xb5\xc4"
                          "\xbe\xe4\xd7\xd3\xa3\xac\xd3\xc3\xc0\xb4\xb2\xe2\xca\xd4\xc0\xca\xb6\xc1\xa1\xa3\r\n";
    for (size_t n = 0; n < (4u << 20); n += s.size()) out << s;
  }
  ebook_parser parser = ebook_parser_for_txt;
  static EbookLines lines;
  CALLGRIND_START_INSTRUMENTATION;
  if (parser.open(&parser, "/mnt/emmc/book.txt") != 0) return;
  const char *text = nullptr;
  int n = parser.read_page(&parser, 0, &text);
  InitLineInfo(&lines, text, n);
  CALLGRIND_STOP_INSTRUMENTATION;
  // The count is a case of its own: the first argument says which.
  parser.close(&parser);
}

void ebookCountCase() {
  ebookCase();
  ebook_parser parser = ebook_parser_for_txt;
  parser.open(&parser, "/mnt/emmc/book.txt");
  CALLGRIND_START_INSTRUMENTATION;
  doExtraInit(&parser, parser.get_total_pages(&parser));
  CALLGRIND_STOP_INSTRUMENTATION;
  parser.close(&parser);
}

// The sample book's folder is linked into the board root (the board maps
// every path under it). Returns 1 when the book did not open.
int daisyCase(const std::string &root, const char *folder, const char *control) {
  std::error_code ec;
  fs::create_directory_symlink(std::string(TB_SOURCE_DIR) + "/third_party/samples/" + folder, root + "/mnt/emmc/book",
                               ec);
  const std::string path = std::string("/mnt/emmc/book/") + control;
  DaisyPlayItem *item = nullptr;
  CALLGRIND_START_INSTRUMENTATION;
  int rc = daisy_open(path.c_str());
  if (rc == 0) rc = daisy_start(&item);
  CALLGRIND_STOP_INSTRUMENTATION;
  daisy_close();
  return rc == 0 ? 0 : 1;
}

// The "totals:" or "summary:" figure of a callgrind output file; -1 when absent.
long long totals(const std::string &file) {
  std::ifstream in(file);
  std::string line;
  long long n = -1;
  while (std::getline(in, line)) {
    if (line.rfind("totals:", 0) == 0) n = std::atoll(line.c_str() + 7);
    if (line.rfind("summary:", 0) == 0 && n < 0) n = std::atoll(line.c_str() + 8);
  }
  return n;
}

struct Case {
  const char *name;
  const char *what;
};

const Case kCases[] = {
    {"ebook", "4 MiB GBK book: open to the first sentence"},
    {"ebook-count", "4 MiB GBK book: whole-book count (after reading starts)"},
    {"daisy202", "DAISY 2.02 sample: open to the first item"},
    {"daisy3", "DAISY 3 sample: open to the first item"},
};

}  // namespace

int main(int argc, char **argv) {
  LogSetLevel(-1);
  if (argc == 3) {
    configure(argv[2]);
    const std::string c = argv[1];
    if (c == "ebook") ebookCase();
    if (c == "ebook-count") ebookCountCase();
    if (c == "daisy202") return daisyCase(argv[2], "daisy202/mental_health", "ncc.html");
    if (c == "daisy3") return daisyCase(argv[2], "daisy3/mental_health", "speechgen.opf");
    return 0;
  }
  if (std::system("valgrind --version >/dev/null 2>&1") != 0) {
    std::printf("valgrind absent (scripts/deps --bench installs it): no instruction counts\n");
    return 0;
  }
  char tmpl[] = "/tmp/bench-instr-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::string self = fs::canonical("/proc/self/exe").string();
  std::printf("instructions executed (callgrind; all threads between start and stop)\n");
  bool keep = false;  // the logs of a failed case stay for a look
  for (const Case &c : kCases) {
    const std::string out = dir + "/cg." + c.name;
    const std::string root = dir + "/root-" + c.name;
    const std::string log = out + ".log";
    // The timer probe that valgrind cannot run is replaced (hwy_timer.cpp).
    const std::string cmd = "LD_PRELOAD='" + std::string(TB_HWY_TIMER) +
                            "' valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=" + out + " " + self +
                            " " + c.name + " " + root + " >" + log + " 2>&1";
    int r = std::system(cmd.c_str());
    const long long n = r == 0 ? totals(out) : -1;
    const std::string unhandled = "grep -q 'Unrecognised instruction' " + log;
    if (n <= 0 && std::system(unhandled.c_str()) == 0)
      std::printf("  %-58s valgrind cannot run it here (an instruction it does not know)\n", c.what);
    else if (n <= 0) std::printf("  %-58s failed (%s)\n", c.what, log.c_str());
    else std::printf("  %-58s %14lld\n", c.what, n);
    keep = keep || n <= 0;
  }
  std::error_code ec;
  if (!keep) fs::remove_all(dir, ec);
  return 0;
}
