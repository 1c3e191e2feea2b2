// The background whole-book count (see ebook_count.h). g_worker, g_stop and
// g_ready are the screen thread's; the generation number lets posted work of
// an abandoned count find out that it is stale.
#include "ebook/ebook_count.h"

#include "core/runtime/activity.h"
#include "core/runtime/log.h"
#include "ebook/ebook_lines.h"
#include "ebook/ebook_parser.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr char kLogSource[] = "ebook/ebook_count.c";

std::thread g_worker;
std::shared_ptr<std::atomic<bool>> g_stop;  // the running worker's stop flag
unsigned g_generation = 0;                  // screen thread only
bool g_ready = false;                       // screen thread only

ebook_parser *g_reading = nullptr;          // the reader's record of the book; screen thread only

void countBook(ebook_parser parser, std::string path, int charset, std::shared_ptr<std::atomic<bool>> stop,
               unsigned generation) {
  parser.context = nullptr;
  auto result = std::make_shared<EbookBookCount>();
  auto table = std::make_shared<EbookTextPages>();
  ebook_text_choose_charset(charset);  // the reader's pages are cut in this set
  if (parser.open(&parser, path.c_str()) != 0) {
    LOGW("%s: cannot open it again to count it\n", path.c_str());
    return;
  }
  // A text book's whole page table goes to the reader with the count.
  const bool paged = ebook_text_get_pages(&parser, table.get()) == 0;
  const int pages = parser.get_total_pages(&parser);
  int counted = pages > 0 ? EbookCountPages(&parser, pages, result.get(), stop.get()) : -1;
  parser.close(&parser);
  if (counted < 0) return;
  ActivityPost([result, table, paged, generation] {
    if (generation != g_generation) return;
    if (paged && g_reading) ebook_text_set_pages(g_reading, *table);
    EbookInstallCount(*result);
    g_ready = true;
  });
}

}  // namespace

int EbookCountStart(const ebook_parser *record, const char *path, int charset, ebook_parser *reading) {
  EbookCountStop();
  g_generation++;
  if (!record || !record->open || !path) return -1;
  g_reading = reading;
  g_stop = std::make_shared<std::atomic<bool>>(false);
  g_worker = std::thread(countBook, *record, std::string(path), charset, g_stop, g_generation);
  return 0;
}

void EbookCountStop(void) {
  g_generation++;
  g_ready = false;
  g_reading = nullptr;
  if (g_stop) *g_stop = true;
  if (g_worker.joinable()) g_worker.join();
  g_stop.reset();
}

int EbookCountReady(void) { return g_ready ? 1 : 0; }

void EbookCountJoin(void) {
  if (g_worker.joinable()) g_worker.join();
}
