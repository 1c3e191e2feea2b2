// The Word 2007 reader: package, content types, main part, pages. See
// ebook/word_docx.h.
#include "ebook/word_docx.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "ebook/ebook_lines.h"
#include "ebook/charset.h"
#include "ebook/ebook_parser.h"
#include "ebook/word_doc.h"
#include "ebook/xml_sax.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr char kLogSource[] = "ebook/word_docx.c";
constexpr size_t kMaxText = 32u << 20;
constexpr int64_t kMaxMainXml = 64 << 20;
constexpr int64_t kMaxTypesXml = 1 << 20;
constexpr int kMaxRenderedPages = 8191;
// The longest page kept whole: n sentences need at least 2n - 1 bytes, so
// a page of this size never holds more sentences than the reader keeps.
constexpr int kMaxWholePage = 2 * kEbookMaxLines - 2;

const char *const kMainTypes[] = {
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
    "application/vnd.ms-word.document.macroEnabled.main+xml",
    "application/vnd.ms-word.template.macroEnabledTemplate.main+xml",
};
const char *const kWordNamespaces[] = {
    "http://schemas.openxmlformats.org/wordprocessingml/2006/main",
    "http://purl.oclc.org/ooxml/wordprocessingml/main",
};

int g_lastError = 0;

struct ZipClose {
  void operator()(void *z) const { unzClose(static_cast<unzFile>(z)); }
};
struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

// The member being inflated, as the parser's byte source.
struct Member {
  unzFile zip;
  int64_t limit;
  int64_t done = 0;
  bool failed = false;  // inflating failed (damaged data)
  bool cut = false;     // the limit was reached
};

int readMember(void *source, char *buffer, int size) {
  auto *m = static_cast<Member *>(source);
  if (m->failed || m->done >= m->limit) {
    m->cut = m->done >= m->limit;
    return 0;
  }
  int64_t room = m->limit - m->done;
  int n = unzReadCurrentFile(m->zip, buffer, static_cast<unsigned>(room < size ? room : size));
  if (n < 0) {
    LOGE("unzReadCurrentFile return %d\n", n);
    m->failed = true;
    return -1;
  }
  m->done += n;
  return n;
}

// Parses the current member (located already) with state. DOCX_PROTECTED
// for an encrypted member, DOCX_MAIN_BAD when it cannot be inflated; else
// the parse's result in *parsed and 0.
int parseMember(unzFile zip, const char *name, int64_t limit, XmlSaxCallbacks *state, int *parsed, bool *cut) {
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return DOCX_MAIN_BAD;
  if (info.flag & 1) {
    LOGE("%s is encrypted\n", name);
    return DOCX_PROTECTED;
  }
  if (unzOpenCurrentFile(zip) != UNZ_OK) return DOCX_MAIN_BAD;
  Member m{zip, limit};
  *parsed = xml_sax_parse_stream(name, state, readMember, &m);
  // A member read to its end has its CRC checked on closing.
  int closed = unzCloseCurrentFile(zip);
  if (m.failed || (!m.cut && closed == UNZ_CRCERROR && state->result == 0)) {
    LOGE("%s cannot be inflated (close %d)\n", name, closed);
    return DOCX_MAIN_BAD;
  }
  if (cut) *cut = m.cut;
  return 0;
}

// ---- [Content_Types].xml ----

const char *localName(const char *name) {
  const char *colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

struct TypesParse {
  XmlSaxCallbacks head;
  std::string part;
};

void typesStart(XmlSaxCallbacks *state, const char *name, const char **attributes) {
  auto *t = reinterpret_cast<TypesParse *>(state);
  if (std::strcmp(localName(name), "Override") != 0) return;
  const char *type = get_xml_attribute(attributes, "ContentType");
  const char *part = get_xml_attribute(attributes, "PartName");
  if (!type || !part) return;
  for (const char *main : kMainTypes)
    if (std::strcmp(type, main) == 0) {
      while (*part == '/' || *part == '\\') part++;
      t->part = part;
      state->result = 1;  // the first one is the one
      return;
    }
}

// ---- the main part ----

struct MainParse {
  XmlSaxCallbacks head;
  DocxDocument *doc;
  std::string w = "w:";  // the prefix of WordprocessingML
  std::vector<int> breaks;
  int skip = 0;       // depth inside a fallback that repeats the content before it
  int runs = 0;       // depth of w:r
  bool inText = false;
  bool full = false;  // the text cap was reached
  bool rootSeen = false;

  bool is(const char *name, const char *local) const {
    return std::strncmp(name, w.data(), w.size()) == 0 && std::strcmp(name + w.size(), local) == 0;
  }
  void append(const char *text, size_t len) {
    if (full) return;
    if (doc->text.size() + len > kMaxText) {
      full = true;
      LOGW("text cut at %zu bytes\n", doc->text.size());
      return;
    }
    doc->text.append(text, len);
  }
};

void mainStart(XmlSaxCallbacks *state, const char *name, const char **attributes) {
  auto *p = reinterpret_cast<MainParse *>(state);
  if (!p->rootSeen) {  // the root declares the prefix the part uses
    p->rootSeen = true;
    for (int i = 0; attributes && attributes[i]; i += 2) {
      if (std::strncmp(attributes[i], "xmlns:", 6) != 0) continue;
      for (const char *ns : kWordNamespaces)
        if (std::strcmp(attributes[i + 1], ns) == 0) p->w = std::string(attributes[i] + 6) + ":";
    }
  }
  if (p->skip) {
    p->skip++;
    return;
  }
  if (std::strcmp(localName(name), "Fallback") == 0) {
    p->skip = 1;
    return;
  }
  if (p->is(name, "t")) {
    p->inText = true;
  } else if (p->is(name, "r")) {
    p->runs++;
  } else if (p->runs > 0 && p->is(name, "tab")) {
    p->append("\t", 1);
  } else if (p->runs > 0 && (p->is(name, "br") || p->is(name, "cr"))) {
    p->append("\n", 1);
  } else if (p->runs > 0 && p->is(name, "noBreakHyphen")) {
    p->append("-", 1);
  } else if (p->is(name, "lastRenderedPageBreak")) {
    if (static_cast<int>(p->breaks.size()) < kMaxRenderedPages && !p->full)
      p->breaks.push_back(static_cast<int>(p->doc->text.size()));
  }
}

void mainEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = reinterpret_cast<MainParse *>(state);
  if (p->skip) {
    p->skip--;
    return;
  }
  if (p->is(name, "t")) {
    p->inText = false;
  } else if (p->is(name, "r")) {
    if (p->runs > 0) p->runs--;
  } else if (p->is(name, "p")) {
    p->append("\n", 1);
  }
}

void mainText(XmlSaxCallbacks *state, const char *text, int length) {
  auto *p = reinterpret_cast<MainParse *>(state);
  if (p->inText && !p->skip && length > 0) p->append(text, static_cast<size_t>(length));
}

// Page boundaries: each rendered page, and pages of 400-500 bytes in place
// of a page too long to keep whole. A document never paged by its writer
// is cut into pages of 400-500 bytes throughout.
void paginate(DocxDocument *doc, std::vector<int> breaks) {
  const int len = static_cast<int>(doc->text.size());
  const int whole = breaks.empty() ? 0 : kMaxWholePage;
  breaks.push_back(0);
  breaks.push_back(len);
  std::sort(breaks.begin(), breaks.end());
  breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
  const auto *base = reinterpret_cast<const unsigned char *>(doc->text.data());
  doc->pages.assign(1, 0);
  for (size_t i = 0; i + 1 < breaks.size(); i++) {
    int from = breaks[i], to = std::min(breaks[i + 1], len);
    if (to <= from) continue;
    while (to - from > whole && static_cast<int>(doc->pages.size()) < kEbookMaxPageEntries) {
      int n = get_page_size_for_utf8(base + from, to - from);
      if (n <= 0 || n > to - from) n = std::min(500, to - from);  // never loop on a bad cut
      from += n;
      if (from == to) break;
      doc->pages.push_back(from);
    }
    if (static_cast<int>(doc->pages.size()) >= kEbookMaxPageEntries) break;
    doc->pages.push_back(to);
  }
}

// Why a file that is no zip cannot be read: an encrypted Office package
// is a compound file; a file that starts like a zip was cut or damaged.
int notZipReason(const char *path) {
  std::unique_ptr<FILE, FileClose> f(std::fopen(BoardPath(path).c_str(), "rb"));
  if (!f) return DOCX_NO_FILE;
  unsigned char head[4] = {};
  if (std::fread(head, 1, 4, f.get()) == 4 && head[0] == 'P' && head[1] == 'K') return DOCX_DAMAGED_ZIP;
  std::rewind(f.get());
  return DocHasStream(f.get(), "EncryptedPackage") == 1 ? DOCX_PROTECTED : DOCX_NOT_ZIP;
}

int open(const char *path, DocxDocument *doc) {
  std::unique_ptr<void, ZipClose> zip(unzOpen64(BoardPath(path).c_str()));
  if (!zip) {
    LOGE("can not unzip %s\n", path);
    return notZipReason(path);
  }
  if (unzLocateFile(zip.get(), "[Content_Types].xml", 2) != UNZ_OK) return DOCX_NO_TYPES;
  TypesParse types{{nullptr, 0, nullptr, typesStart, nullptr, nullptr}, {}};
  int parsed = 0;
  int rc = parseMember(zip.get(), "[Content_Types].xml", kMaxTypesXml, &types.head, &parsed, nullptr);
  if (rc == DOCX_MAIN_BAD) return DOCX_BAD_TYPES;
  if (rc != 0) return rc;
  if (types.part.empty()) return parsed != 0 ? DOCX_BAD_TYPES : DOCX_NO_MAIN;
  LOGI("start open %s\n", types.part.c_str());
  if (unzLocateFile(zip.get(), types.part.c_str(), 2) != UNZ_OK) {
    LOGE("main part %s missing\n", types.part.c_str());
    return DOCX_MAIN_MISSING;
  }
  MainParse main{{nullptr, 0, nullptr, mainStart, mainEnd, mainText}, doc};
  bool cut = false;
  rc = parseMember(zip.get(), types.part.c_str(), kMaxMainXml, &main.head, &parsed, &cut);
  if (rc != 0) return rc;
  if (parsed == -3 && !main.rootSeen) return DOCX_MAIN_BAD;  // not XML at all
  if (parsed == -3 || cut) LOGW("%s: read with errors or cut (%d)\n", types.part.c_str(), parsed);
  LOGI("end open document.xml\n");
  if (!doc->text.empty() && doc->text.back() == '\n') doc->text.pop_back();
  paginate(doc, std::move(main.breaks));
  return 0;
}

}  // namespace

DocxDocument *docx_open(const char *path) {
  g_lastError = DOCX_NOT_ZIP;
  if (!path) return nullptr;
  std::unique_ptr<DocxDocument> doc(new (std::nothrow) DocxDocument);
  if (!doc) {
    g_lastError = DOCX_NO_MEMORY;
    return nullptr;
  }
  try {
    g_lastError = open(path, doc.get());
  } catch (const std::bad_alloc &) {
    g_lastError = DOCX_NO_MEMORY;
  }
  return g_lastError == 0 ? doc.release() : nullptr;
}

int docx_last_error(void) { return g_lastError; }

void docx_close(DocxDocument *doc) { delete doc; }

int docx_total_pages(const DocxDocument *doc) {
  return doc && doc->pages.size() >= 2 ? static_cast<int>(doc->pages.size()) - 1 : 0;
}

int docx_read_page(DocxDocument *doc, int page, const char **text) {
  if (!doc || !text || page < 0 || page >= docx_total_pages(doc)) return 0;
  int from = doc->pages[static_cast<size_t>(page)];
  int len = doc->pages[static_cast<size_t>(page) + 1] - from;
  try {
    doc->page.assign(doc->text, static_cast<size_t>(from), static_cast<size_t>(len));
  } catch (const std::bad_alloc &) {
    LOGE("malloc( %d ) fail\n", len);
    return 0;
  }
  *text = doc->page.c_str();
  return len;
}
