// Stand-ins for the records of formats whose readers are not built yet
// (Word): the registry already knows their extensions, so
// the file browser lists such files as e-books, and opening one fails as a
// file that cannot be parsed. A format that arrives defines its record in
// its own file and deletes the stand-in here.
#include "ebook/ebook_parser.h"

#include "core/log.h"

namespace {

constexpr char kLogSource[] = "ebook/ebook_pending.c";

int openPending(ebook_parser *parser, const char *path) {
  if (!parser) return -1;
  if (parser->context) return ebook_parser_busy(parser);
  LOGE("can not open the file: %s (no reader for .%s yet)\n", path ? path : "(null)", parser->extension);
  return -6;
}

int closePending(ebook_parser *parser) { return parser ? 0 : -1; }
int totalPending(ebook_parser *) { return 0; }
int readPagePending(ebook_parser *, int, const char **) { return 0; }

}  // namespace

#define PENDING_RECORD(ext) \
  ebook_parser ebook_parser_for_##ext = {#ext, nullptr, openPending, closePending, nullptr, totalPending, readPagePending, nullptr}

PENDING_RECORD(docx);
PENDING_RECORD(doc);
