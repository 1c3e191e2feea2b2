// Lists and sorts a folder of 10,000 names (digits, Latin, Chinese, hyphens,
// mixed case) as the file browser does when it is entered, and times the
// same folder through `ls -v` (version order) and `sort` in the zh_CN
// locale, in one run. Prints the figures and the first names of each order;
// it asserts nothing.
//
//   bench_browser_sort [COUNT]
//
// The zh_CN locale is compiled into the temporary folder with localedef
// when the machine has none; without it the sort line says so.
#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/config.h"
#include "core/library/filebrowser.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const kChinese[] = {"中文", "阿姨", "爸爸", "张三", "第", "章", "音乐", "北京", "上海", "天津",
                                "录音", "故事", "红楼梦", "西游记", "三国", "水浒"};
const char *const kLatin[] = {"track", "Track", "book", "Book", "a", "B", "chapter", "zoo", "Music", "podcast"};

std::string makeName(std::mt19937 &rng, int i) {
  std::uniform_int_distribution<int> kind(0, 5), num(0, 999);
  std::string n;
  switch (kind(rng)) {
    case 0: n = std::to_string(num(rng)); break;
    case 1: n = std::string(kLatin[num(rng) % 10]) + std::to_string(num(rng)); break;
    case 2: n = std::string(kLatin[num(rng) % 10]) + "-" + std::to_string(num(rng)); break;
    case 3: n = std::string(kChinese[num(rng) % 16]) + std::to_string(num(rng)); break;
    case 4: n = std::string("第") + std::to_string(num(rng)) + "章" + kChinese[num(rng) % 16]; break;
    default: n = std::string(kChinese[num(rng) % 16]) + kLatin[num(rng) % 10]; break;
  }
  return n + "_" + std::to_string(i) + ".mp3";
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Runs a shell line, returning its wall time and the first lines it printed.
double timeCommand(const std::string &line, std::vector<std::string> *head) {
  auto t0 = std::chrono::steady_clock::now();
  FILE *p = popen(line.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) {
    if (head->size() < 8) {
      std::string s = buf;
      if (!s.empty() && s.back() == '\n') s.pop_back();
      head->push_back(s);
    }
  }
  int rc = pclose(p);
  auto t1 = std::chrono::steady_clock::now();
  return rc == 0 ? seconds(t0, t1) : -1;
}

void printHead(const char *what, const std::vector<std::string> &names) {
  std::printf("  %-22s", what);
  for (size_t i = 0; i < names.size() && i < 8; i++) std::printf(" %s", names[i].c_str());
  std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  char tmpl[] = "/tmp/bench-browser-XXXXXX";
  const char *made = mkdtemp(tmpl);
  if (!made) return 1;
  std::string root = made;
  fs::create_directories(root + "/home");
  fs::create_directories(root + "/mnt/emmc/many");
  fs::copy_file(std::string(TB_SOURCE_DIR) + "/data/ChnCharIndexs.bin", root + "/home/ChnCharIndexs.bin");
  BoardHostOptions o;
  o.root = root;
  o.audio = "null";
  BoardHostConfigure(o);

  std::mt19937 rng(20241113);
  std::string dir = root + "/mnt/emmc/many";
  for (int i = 0; i < count; i++) std::ofstream(dir + "/" + makeName(rng, i));

  // The browser: read the folder, sort, as on entering it. The first run
  // loads the collation table; the figure is the best of five.
  Activity *browser = FileBrowserCreate(nullptr);
  if (!browser) return 1;
  // Beside the wall time, the thread's own processor time: on a loaded
  // machine the wall time also holds the waits for a processor.
  auto cpuNow = [] {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
  };
  double best = 1e9, bestCpu = 1e9;
  for (int run = 0; run < 5; run++) {
    auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpuNow();
    FilebrowserLoadDir(browser, "/mnt/emmc/many", nullptr);
    bestCpu = std::min(bestCpu, cpuNow() - c0);
    best = std::min(best, seconds(t0, std::chrono::steady_clock::now()));
  }
  std::vector<std::string> ours;
  for (int i = 0; i < 8 && i < FileBrowserGetCount(browser); i++)
    ours.push_back(fs::path(GetFullPath(browser, i)).filename().string());

  std::vector<std::string> lsHead, sortHead;
  double ls = timeCommand("ls -v '" + dir + "'", &lsHead);
  std::string loc = root + "/locale";
  fs::create_directories(loc);
  std::string sortLine = "ls -f '" + dir + "' | grep -v '^\\.' | LC_ALL=zh_CN.UTF-8 sort";
  std::vector<std::string> probe;
  bool haveZh = timeCommand("locale -a | grep -qi '^zh_CN.utf-\\?8$'", &probe) >= 0;
  if (!haveZh) {
    std::vector<std::string> ignored;
    timeCommand("localedef -i zh_CN -f UTF-8 '" + loc + "/zh_CN.UTF-8' >/dev/null 2>&1; true", &ignored);
    sortLine = "ls -f '" + dir + "' | grep -v '^\\.' | LOCPATH='" + loc + "' LC_ALL=zh_CN.UTF-8 sort";
  }
  double sort = timeCommand(sortLine, &sortHead);

  std::printf("folder of %d names (digits, Latin, Chinese, hyphens)\n", count);
  std::printf("  file browser list+sort: %8.3f ms (best of 5; goal < 10), processor time %.3f ms\n", best * 1000,
              bestCpu * 1000);
  std::printf("  ls -v:                  %8.3f ms (process included)\n", ls * 1000);
  std::printf("  zh_CN sort:             %8.3f ms (process and ls -f included)\n", sort * 1000);
  printHead("browser order:", ours);
  printHead("ls -v order:", lsHead);
  printHead("zh_CN sort order:", sortHead);

  ActivityRemove(browser);
  BoardHostConfigure(BoardHostOptions{});
  fs::remove_all(root);
  return 0;
}
