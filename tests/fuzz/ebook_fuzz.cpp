// libFuzzer targets of the e-book formats that arrive as markup: one source,
// one target per format (EBOOK_FUZZ_FORMAT picks it, see CMakeLists.txt).
// The input is written to a file and opened through the format's record,
// every page read, as the reader would; the sanitizers report what goes
// wrong, libFuzzer's limits catch a hang or unbounded memory.
#include "core/runtime/log.h"
#include "ebook/charset.h"
#include "ebook/ebook_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const char *const kNames[] = {"page.html", "page.mht", "book.epub"};

const std::string &path() {
  static std::string file = [] {
    char tmpl[] = "/tmp/ebook-fuzz-XXXXXX";
    const char *d = mkdtemp(tmpl);
    if (!d) std::abort();
    return std::string(d) + "/" + kNames[EBOOK_FUZZ_FORMAT];
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LogSetLevel(-1);  // every damaged file is logged
  return register_iconv_cd() == 0 ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (4 << 20)) return 0;
  FILE *f = std::fopen(path().c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  ebook_parser parser = *find_ebook_parser(path().c_str());
  parser.context = nullptr;
  if (parser.open(&parser, path().c_str()) != 0) return 0;
  const char *text = nullptr;
  int pages = parser.get_total_pages(&parser);
  for (int i = 0; i < pages; i++)
    if (parser.read_page(&parser, i, &text) > kEbookPageBytes) std::abort();
  parser.close(&parser);
  return 0;
}
