// libFuzzer targets of the Word readers: the input is written to a file and
// opened through the e-book record of its format (WORD_FUZZ_DOCX picks
// .docx, else .doc), every page is read, and the book is closed. The
// sanitizers report what goes wrong.
#include "core/runtime/log.h"
#include "ebook/charset.h"
#include "ebook/ebook_parser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LogSetLevel(-1);  // the readers log every damaged file
  if (register_iconv_cd() != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/word-fuzz-" + std::to_string(getpid()) + (WORD_FUZZ_DOCX ? ".docx" : ".doc");
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  ebook_parser parser = WORD_FUZZ_DOCX ? ebook_parser_for_docx : ebook_parser_for_doc;
  parser.context = nullptr;
  if (parser.open(&parser, path.c_str()) != 0) return 0;
  int pages = parser.get_total_pages(&parser);
  for (int i = 0; i < pages; i++) {
    const char *text = nullptr;
    int n = parser.read_page(&parser, i, &text);
    if (n < 0 || (n > 0 && !text)) std::abort();
  }
  parser.close(&parser);
  return 0;
}
