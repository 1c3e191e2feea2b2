// daisywalk: opens a DAISY 2.02 book (ncc.html) or DAISY 3 book (.opf)
// through the player's navigators and prints what they hand the screen.
//
//   daisywalk [options] BOOK
//     (default)    the full report of daisy_report.h: counts, summary, the
//                  walk from start to end, phrases, paragraphs, headings,
//                  pages and time jumps
//     --walk       the walk only: every play item from start to end
//     --time MS    step of the time sections (default 30000; 0 leaves them out)
//     --root DIR   the board's root folder: BOOK is a fixed path under it
//     --log        print the player's warnings (standard output)
// Exit status: 0, 1 when the book does not open (the error code is printed),
// 2 for bad usage.
#include "board/host/host.h"
#include "core/runtime/log.h"
#include "tools/daisywalk/daisy_report.h"
#include "tools/host_setup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void usage() { std::fprintf(stderr, "usage: daisywalk [--walk] [--time MS] [--root DIR] [--log] BOOK\n"); }

}  // namespace

int main(int argc, char **argv) {
  std::string book, root;
  bool walkOnly = false, log = false;
  int step = 30000;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--walk") {
      walkOnly = true;
    } else if (a == "--time" && i + 1 < argc) {
      step = std::atoi(argv[++i]);
    } else if (a == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (a == "--log") {
      log = true;
    } else if (!a.empty() && a[0] != '-' && book.empty()) {
      book = a;
    } else {
      usage();
      return 2;
    }
  }
  if (book.empty()) {
    usage();
    return 2;
  }
  if (ToolHostSetUp(root, log) != 0) return 2;

  const daisyreport::Api &api = daisyreport::apiFor(book);
  int rc = api.open(book.c_str());
  if (rc != 0) {
    std::printf("open failed: %d\n", rc);
    return 1;
  }
  if (walkOnly) {
    std::string out;
    DaisyPlayItem *item = nullptr;
    api.start(&item);
    daisyreport::repeat(api, &out, item, api.cont);
    std::fputs(out.c_str(), stdout);
  } else {
    std::fputs(daisyreport::report(api, step).c_str(), stdout);
  }
  api.close();
  return 0;
}
