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

void countBook(ebook_parser parser, std::string path, int pages, int charset,
               std::shared_ptr<std::atomic<bool>> stop, unsigned generation) {
  parser.context = nullptr;
  auto result = std::make_shared<EbookBookCount>();
  ebook_text_choose_charset(charset);  // the reader's pages are cut in this set
  if (parser.open(&parser, path.c_str()) != 0) {
    LOGW("%s: cannot open it again to count it\n", path.c_str());
    return;
  }
  int counted = EbookCountPages(&parser, pages, result.get(), stop.get());
  parser.close(&parser);
  if (counted < 0) return;
  ActivityPost([result, generation] {
    if (generation != g_generation) return;
    EbookInstallCount(*result);
    g_ready = true;
  });
}

}  // namespace

int EbookCountStart(const ebook_parser *record, const char *path, int total_pages, int charset) {
  EbookCountStop();
  g_generation++;
  if (!record || !record->open || !path || total_pages <= 0) return -1;
  g_stop = std::make_shared<std::atomic<bool>>(false);
  g_worker = std::thread(countBook, *record, std::string(path), total_pages, charset, g_stop, g_generation);
  return 0;
}

void EbookCountStop(void) {
  g_generation++;
  g_ready = false;
  if (g_stop) *g_stop = true;
  if (g_worker.joinable()) g_worker.join();
  g_stop.reset();
}

int EbookCountReady(void) { return g_ready ? 1 : 0; }

void EbookCountJoin(void) {
  if (g_worker.joinable()) g_worker.join();
}
