// bench_daisy_open: writes a book of 20 hours in 30,000 phrases over 300
// SMIL files (full text and audio: every phrase has its text and its clip;
// a heading per SMIL file, a page every 30 phrases) into a temporary folder,
// once as DAISY 2.02 and once as DAISY 3, then opens each through its
// navigator and prints the open time, the peak memory of the process (the
// books are written and each is opened in a process of its own, so no peak
// hides another) and the heap the open book holds, and the time of a walk
// through every phrase and of a few long moves; then the player's quick
// open beside it (daisy.h): OK to the first clip, a resume, and memory.
//
//   bench_daisy_open [--keep]    (--keep leaves the generated books)
#include "bench/bench_util.h"
#include "board/board.h"
#include "core/runtime/log.h"
#include "daisy/daisy.h"
#include "daisy/daisy202.h"
#include "daisy/daisy3.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using bench::inChild;
using bench::maxRssKb;
double ms(int64_t from) { return bench::msSince(from); }

constexpr int kSmils = 300;
constexpr int kPhrasesPerSmil = 100;
constexpr int kPhraseMs = 2400;  // 30,000 x 2.4 s = 20 h
constexpr int kPhrasesPerPage = 30;

std::string clock(long long ms) {
  char b[32];
  std::snprintf(b, sizeof b, "%lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return b;
}

void put(const std::string &path, const std::string &text) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::fclose(f);
}

std::string phraseText(int n) {
  return "Phrase " + std::to_string(n) + " of the generated book, a sentence of about the usual length.";
}

// Writes both books; returns the bytes written.
long long generate(const std::string &dir202, const std::string &dir3) {
  long long bytes = 0;
  std::string ncc =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
      "<title>Generated</title><meta name=\"dc:title\" content=\"Generated\"/></head><body>\n";
  std::string content = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><body>\n";
  std::string dtbook = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<dtbook><book><bodymatter>\n";
  std::string ncx = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ncx><navMap>\n";
  std::string pages = "<pageList>\n";
  std::string manifest, spine;
  int phrase = 0;
  for (int s = 1; s <= kSmils; s++) {
    std::string name = "s" + std::to_string(s) + ".smil";
    long long elapsed = static_cast<long long>(phrase) * kPhraseMs;
    std::string body202, body3;
    for (int p = 0; p < kPhrasesPerSmil; p++, phrase++) {
      std::string id = std::to_string(phrase);
      std::string b = std::to_string(p * kPhraseMs / 1000) + "." + std::to_string(p * kPhraseMs % 1000 + 1000).substr(1);
      std::string e = std::to_string((p + 1) * kPhraseMs / 1000) + "." +
                      std::to_string((p + 1) * kPhraseMs % 1000 + 1000).substr(1);
      std::string audio = "s" + std::to_string(s) + ".mp3";
      body202 += "<par endsync=\"last\" id=\"p" + id + "\"><text id=\"x" + id + "\" src=\"content.html#t" + id +
                 "\"/><audio src=\"" + audio + "\" clip-begin=\"npt=" + b + "s\" clip-end=\"npt=" + e + "s\" id=\"a" + id +
                 "\"/></par>\n";
      body3 += "<par id=\"p" + id + "\"><text src=\"book.xml#t" + id + "\"/><audio src=\"" + audio + "\" clipBegin=\"" +
               b + "s\" clipEnd=\"" + e + "s\"/></par>\n";
      content += "<p><span class=\"sentence\" id=\"t" + id + "\">" + phraseText(phrase) + "</span></p>\n";
      dtbook += "<p><sent id=\"t" + id + "\">" + phraseText(phrase) + "</sent></p>\n";
      if (p == 0) {
        ncc += "<h1><a href=\"" + name + "#p" + id + "\">Chapter " + std::to_string(s) + "</a></h1>\n";
        ncx += "<navPoint><navLabel><text>Chapter " + std::to_string(s) + "</text></navLabel><content src=\"" + name +
               "#p" + id + "\"/></navPoint>\n";
      }
      if (phrase % kPhrasesPerPage == 0) {
        std::string label = std::to_string(phrase / kPhrasesPerPage + 1);
        ncc += "<span class=\"page-normal\"><a href=\"" + name + "#p" + id + "\">" + label + "</a></span>\n";
        pages += "<pageTarget><navLabel><text>" + label + "</text></navLabel><content src=\"" + name + "#p" + id +
                 "\"/></pageTarget>\n";
      }
    }
    std::string smil202 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<smil><head><meta name=\"ncc:totalElapsedTime\" "
                          "content=\"" + clock(elapsed) + "\"/><meta name=\"ncc:timeInThisSmil\" content=\"" +
                          clock(kPhrasesPerSmil * kPhraseMs) + "\"/></head><body><seq>\n" + body202 +
                          "</seq></body></smil>\n";
    std::string smil3 = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<smil><head><meta name=\"dtb:totalElapsedTime\" "
                        "content=\"" + clock(elapsed) + "\"/></head><body><seq>\n" + body3 + "</seq></body></smil>\n";
    put(dir202 + "/" + name, smil202);
    put(dir3 + "/" + name, smil3);
    bytes += static_cast<long long>(smil202.size() + smil3.size());
    manifest += "<item id=\"m" + std::to_string(s) + "\" href=\"" + name + "\" media-type=\"application/smil\"/>\n";
    spine += "<itemref idref=\"m" + std::to_string(s) + "\"/>\n";
  }
  ncc += "</body></html>\n";
  content += "</body></html>\n";
  dtbook += "</bodymatter></book></dtbook>\n";
  ncx += "</navMap>\n" + pages + "</pageList></ncx>\n";
  std::string opf = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package><metadata><dc-metadata>"
                    "<dc:Title xmlns:dc=\"http://purl.org/dc/elements/1.1/\">Generated</dc:Title></dc-metadata>"
                    "</metadata><manifest>\n" + manifest +
                    "<item id=\"ncx\" href=\"book.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n"
                    "<item id=\"text\" href=\"book.xml\" media-type=\"application/x-dtbook+xml\"/>\n"
                    "</manifest><spine>\n" + spine + "</spine></package>\n";
  put(dir202 + "/ncc.html", ncc);
  put(dir202 + "/content.html", content);
  put(dir3 + "/book.opf", opf);
  put(dir3 + "/book.ncx", ncx);
  put(dir3 + "/book.xml", dtbook);
  return bytes + static_cast<long long>(ncc.size() + content.size() + opf.size() + ncx.size() + dtbook.size());
}

struct Navigator {
  const char *name;
  int (*open)(const char *);
  void (*close)(void);
  int (*start)(DaisyPlayItem **);
  int (*cont)(DaisyPlayItem **);
  int (*time_jump)(int, DaisyPlayItem **, const char **);
  int (*goto_page)(const char *, DaisyPlayItem **);
  int (*last_page)(DaisyPlayItem **);
  int (*total_pages)(void);
};

// Private memory of this process (RssAnon), in MiB; -1 when unknown.
double rssAnonMiB() {
  FILE *f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "RssAnon: %ld kB", &kb) == 1) break;
  std::fclose(f);
  return kb < 0 ? -1 : static_cast<double>(kb) / 1024.0;
}

void measure(const Navigator &n, const std::string &path) {
  long rssBefore = maxRssKb();
  size_t heapBefore = mallinfo2().uordblks;
  int64_t t0 = BoardMonotonicUs();
  int rc = n.open(path.c_str());
  double openMs = ms(t0);
  if (rc != 0) {
    std::printf("%s: open failed: %d\n", n.name, rc);
    return;
  }
  size_t heapAfter = mallinfo2().uordblks;
  long rssAfter = maxRssKb();
  // What the player's open does next (daisy_open): freed parse buffers go
  // back to the system.
  const double anonOpen = rssAnonMiB();
  malloc_trim(0);
  const double anonTrimmed = rssAnonMiB();
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  t0 = BoardMonotonicUs();
  int items = 0;
  for (n.start(&item); item->kind != DAISY_ITEM_END; n.cont(&item)) items++;
  double walkMs = ms(t0);
  t0 = BoardMonotonicUs();
  n.start(&item);
  n.time_jump(10 * 3600 * 1000 + 1234, &item, &text);
  n.goto_page("900", &item);
  for (int i = 0; i < 100; i++) n.last_page(&item);
  double movesMs = ms(t0);
  std::printf("%-10s open %7.1f ms   peak RSS %6.1f MiB (%.1f before the open)   heap held %6.1f MiB   pages %d\n",
              n.name, openMs, static_cast<double>(rssAfter) / 1024.0, static_cast<double>(rssBefore) / 1024.0,
              static_cast<double>(heapAfter - heapBefore) / (1024.0 * 1024.0), n.total_pages());
  std::printf("%-10s private memory (RssAnon) after the open %.1f MiB, with the freed parse buffers returned %.1f MiB\n",
              n.name, anonOpen, anonTrimmed);
  std::printf("%-10s walk of %d items %.1f ms (%.2f us per item); jump 10 h + page 900 + 100 pages back %.2f ms\n",
              n.name, items, walkMs, walkMs * 1000.0 / items, movesMs);
  n.close();
}


// The player's open (daisy_open): to the first clip, and to a clip in the
// middle of the book (a resume), while the rest is read in the background;
// then the wait until the whole book is in, and the private memory while
// it plays.
void measureQuick(const char *name, const std::string &path) {
  DaisyPlayItem *item = nullptr;
  int64_t t0 = BoardMonotonicUs();
  if (daisy_open(path.c_str()) != 0 || daisy_start(&item) != 0) {
    std::printf("%s: quick open failed\n", name);
    return;
  }
  while (item->kind != DAISY_ITEM_AUDIO && item->kind != DAISY_ITEM_END && daisy_continue(&item) == 0) {
  }
  const double firstMs = ms(t0);
  const double anonFirst = rssAnonMiB();
  t0 = BoardMonotonicUs();
  const int headings = daisy_get_ttl_section();  // waits for the whole book
  const double wholeMs = ms(t0);
  const double anonWhole = rssAnonMiB();
  daisy_close();
  t0 = BoardMonotonicUs();
  DaisyBookMarkInfo mark{kSmils / 2, 1, -1, -1, nullptr, 1000};
  const int rc = daisy_open(path.c_str()) == 0 ? daisy_go_to_book_mark(&mark, &item) : -1;
  const double resumeMs = ms(t0);
  daisy_close();
  std::printf("%-10s OK -> first clip %6.1f ms (goal < 100), resume in SMIL %d %6.1f ms%s; whole book in %.1f ms "
              "later (%d headings)\n",
              name, firstMs, kSmils / 2, resumeMs, rc == 0 ? "" : " FAILED", wholeMs, headings);
  std::printf("%-10s private memory (RssAnon) playing the first clip %.1f MiB, playing with the whole book in %.1f "
              "MiB (goal < 12 MB)\n",
              name, anonFirst, anonWhole);
}

}  // namespace

int main(int argc, char **argv) {
  bool keep = argc > 1 && std::string(argv[1]) == "--keep";
  LogSetLevel(-1);
  char tmpl[] = "/tmp/bench-daisy-XXXXXX";
  const char *root = mkdtemp(tmpl);
  if (!root) return 1;
  std::string dir202 = std::string(root) + "/daisy202", dir3 = std::string(root) + "/daisy3";
  std::filesystem::create_directories(dir202);
  std::filesystem::create_directories(dir3);
  inChild([&] {
    int64_t t0 = BoardMonotonicUs();
    long long bytes = generate(dir202, dir3);
    std::printf("book: %d SMIL files, %d phrases, %.1f h; both versions %.1f MiB, written in %.0f ms (%s)\n", kSmils,
                kSmils * kPhrasesPerSmil, kSmils * kPhrasesPerSmil * (kPhraseMs / 1000.0) / 3600.0,
                static_cast<double>(bytes) / (1024.0 * 1024.0), ms(t0), root);
  });
  inChild([&] {
    measure({"DAISY 2.02", daisy202_open, daisy202_close, daisy202_start, daisy202_continue, daisy202_time_jump,
           daisy202_goto_page, daisy202_last_page, daisy202_get_total_pages},
            dir202 + "/ncc.html");
  });
  inChild([&] {
    measure({"DAISY 3", daisy3_open, daisy3_close, daisy3_start, daisy3_continue, daisy3_time_jump, daisy3_goto_page,
           daisy3_last_page, daisy3_get_total_pages},
            dir3 + "/book.opf");
  });
  std::printf("the player's open (the rest read in the background):\n");
  inChild([&] { measureQuick("DAISY 2.02", dir202 + "/ncc.html"); });
  inChild([&] { measureQuick("DAISY 3", dir3 + "/book.opf"); });
  if (!keep) std::filesystem::remove_all(root);
  return 0;
}
