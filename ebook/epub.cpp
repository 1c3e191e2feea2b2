// EPUB books: container -> package (metadata, manifest, spine) -> content
// documents in spine order -> table of contents. Members are read whole
// through minizip up to a cap each and in total, so a ZIP bomb costs at
// most the cap; a member that inflates past it is cut there.
#include "ebook/epub.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "ebook/html_text.h"
#include "ebook/xml_sax.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>

namespace {

constexpr char kLogSource[] = "ebook/epub.c";
constexpr size_t kMaxMember = 16u << 20;     // one member, inflated
constexpr size_t kMaxInflated = 64u << 20;   // all members of one book
constexpr size_t kMaxText = 15000000;        // the book's text
// Spine items and table-of-contents entries taken; a book has a few
// hundred, a hostile package millions, each costing a look-up in the ZIP.
constexpr size_t kMaxEntries = 20000;

struct ZipClose {
  void operator()(void *z) const { unzClose(z); }
};
using Zip = std::unique_ptr<void, ZipClose>;

struct Reader {
  unzFile zip;
  size_t inflated = 0;
};

// Reads member name (exact, else ignoring case) into *out. 0; -1 missing;
// -2 unreadable.
int readMember(Reader *r, const std::string &name, std::string *out) {
  out->clear();
  if (r->inflated >= kMaxInflated) return -2;  // the book has had its share
  if (name.empty() || (unzLocateFile(r->zip, name.c_str(), 1) != UNZ_OK &&
                       unzLocateFile(r->zip, name.c_str(), 2) != UNZ_OK))
    return -1;
  if (unzOpenCurrentFile(r->zip) != UNZ_OK) return -2;
  char buffer[16384];
  int n;
  while ((n = unzReadCurrentFile(r->zip, buffer, sizeof buffer)) > 0) {
    out->append(buffer, static_cast<size_t>(n));
    r->inflated += static_cast<size_t>(n);
    if (out->size() >= kMaxMember || r->inflated >= kMaxInflated) {
      LOGW("%s inflates past the limit; cut\n", name.c_str());
      break;
    }
  }
  // A CRC error shows at close; what was read is still used.
  if (unzCloseCurrentFile(r->zip) != UNZ_OK || n < 0) LOGW("%s is damaged\n", name.c_str());
  return n < 0 && out->empty() ? -2 : 0;
}

std::string localName(const char *name) {
  const char *colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

// ---- paths ------------------------------------------------------------------

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecoded(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string folderOf(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The member an href names, seen from folder: fragment dropped, decoded,
// "." and ".." resolved. fragment (optional) gets what followed '#'.
std::string resolve(const std::string &folder, const std::string &href, std::string *fragment = nullptr) {
  size_t hash = href.find('#');
  if (fragment) *fragment = hash == std::string::npos ? "" : percentDecoded(href.substr(hash + 1));
  std::string path = percentDecoded(href.substr(0, hash));
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
  else path = folder + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string &p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

// ---- XML files ------------------------------------------------------------------

struct ContainerParse : XmlSaxCallbacks {
  std::string rootfile, anyRootfile;
};

void containerStart(XmlSaxCallbacks *s, const char *name, const char **atts) {
  auto *c = static_cast<ContainerParse *>(s);
  if (localName(name) != "rootfile") return;
  const char *path = get_xml_attribute(atts, "full-path");
  const char *type = get_xml_attribute(atts, "media-type");
  if (!path || !*path) return;
  if (c->anyRootfile.empty()) c->anyRootfile = path;
  if (c->rootfile.empty() && type && std::strcmp(type, "application/oebps-package+xml") == 0) c->rootfile = path;
}

struct Item {
  std::string href, type, properties;
};

struct OpfParse : XmlSaxCallbacks {
  std::map<std::string, Item> manifest;
  std::vector<std::string> spine;
  std::string toc;
  std::string title, author;
  std::string *field = nullptr;  // the metadata text being gathered
  bool inMetadata = false;
};

void opfStart(XmlSaxCallbacks *s, const char *name, const char **atts) {
  auto *o = static_cast<OpfParse *>(s);
  std::string n = localName(name);
  if (n == "metadata") o->inMetadata = true;
  if (o->inMetadata && n == "title" && o->title.empty()) o->field = &o->title;
  if (o->inMetadata && n == "creator" && o->author.empty()) o->field = &o->author;
  if (n == "item") {
    const char *id = get_xml_attribute(atts, "id");
    const char *href = get_xml_attribute(atts, "href");
    const char *type = get_xml_attribute(atts, "media-type");
    const char *props = get_xml_attribute(atts, "properties");
    if (id && href) o->manifest[id] = Item{href, type ? type : "", props ? props : ""};
  } else if (n == "itemref") {
    const char *idref = get_xml_attribute(atts, "idref");
    if (idref && o->spine.size() < kMaxEntries) o->spine.push_back(idref);
  } else if (n == "spine") {
    if (const char *toc = get_xml_attribute(atts, "toc")) o->toc = toc;
  }
}

void opfEnd(XmlSaxCallbacks *s, const char *name) {
  auto *o = static_cast<OpfParse *>(s);
  o->field = nullptr;
  if (localName(name) == "metadata") o->inMetadata = false;
}

void opfText(XmlSaxCallbacks *s, const char *text, int length) {
  auto *o = static_cast<OpfParse *>(s);
  if (o->field && o->field->size() < 1024) o->field->append(text, static_cast<size_t>(length));
}

// Table of contents entries, from an NCX (navPoint > navLabel > text,
// content@src) or a navigation document (nav of type toc > a@href).
struct TocParse : XmlSaxCallbacks {
  struct Entry {
    std::string label, href;
  };
  std::vector<Entry> entries;
  bool ncx = false;
  int navDepth = 0;     // inside the navMap, or the toc nav
  bool inLabel = false; // gathering a label
  std::string label;
};

void tocStart(XmlSaxCallbacks *s, const char *name, const char **atts) {
  auto *t = static_cast<TocParse *>(s);
  std::string n = localName(name);
  if (t->ncx) {
    // Only the navMap: a pageList's targets are pages, not chapters.
    if (n == "navMap") t->navDepth++;
    if (!t->navDepth) return;
    if (n == "navPoint" && t->entries.size() < kMaxEntries) t->entries.push_back({});
    if (n == "text" && !t->entries.empty() && t->entries.back().label.empty()) t->inLabel = true;
    if (n == "content" && !t->entries.empty() && t->entries.back().href.empty())
      if (const char *src = get_xml_attribute(atts, "src")) t->entries.back().href = src;
    return;
  }
  if (n == "nav") {
    const char *type = get_xml_attribute(atts, "epub:type");
    if (t->navDepth > 0 || (type && std::strstr(type, "toc"))) t->navDepth++;
  } else if (n == "a" && t->navDepth > 0 && t->entries.size() < kMaxEntries) {
    const char *href = get_xml_attribute(atts, "href");
    t->entries.push_back({"", href ? href : ""});
    t->inLabel = true;
  }
}

void tocEnd(XmlSaxCallbacks *s, const char *name) {
  auto *t = static_cast<TocParse *>(s);
  std::string n = localName(name);
  if (t->ncx ? n == "text" : n == "a") t->inLabel = false;
  if ((t->ncx ? n == "navMap" : n == "nav") && t->navDepth > 0) t->navDepth--;
}

void tocText(XmlSaxCallbacks *s, const char *text, int length) {
  auto *t = static_cast<TocParse *>(s);
  if (!t->inLabel || t->entries.empty() || t->entries.back().label.size() > 512) return;
  std::string &label = t->entries.back().label;
  for (int i = 0; i < length; i++) {
    char c = text[i];
    bool nbsp = c == '\xC2' && i + 1 < length && text[i + 1] == '\xA0';
    if (nbsp) i++;
    bool space = nbsp || c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (space && (label.empty() || label.back() == ' ')) continue;
    label += space ? ' ' : c;
  }
}

// A content document as it landed in the book's text.
struct Placed {
  std::string path;
  int start = -1;  // -1: not in the text (missing, empty)
  int end = 0;
  std::map<std::string, int> anchors;
};

bool isBlank(char c) { return c == ' ' || c == '\n' || c == '\f' || c == '\r' || c == '\t'; }

// Moves offset forward past white space, not past limit.
int firstVisible(const std::string &text, int offset, int limit) {
  while (offset < limit && isBlank(text[static_cast<size_t>(offset)])) offset++;
  return offset;
}

void readToc(Reader *r, const std::string &tocPath, bool ncx, const std::vector<Placed> &placed, EpubBook *book) {
  std::string bytes;
  if (tocPath.empty() || readMember(r, tocPath, &bytes) != 0) return;
  TocParse t{};
  t.ncx = ncx;
  t.on(tocStart, tocEnd, tocText);
  xml_sax_parse_memory(bytes.data(), static_cast<int>(bytes.size()), tocPath.c_str(), &t);
  const std::string folder = folderOf(tocPath);
  std::map<std::string, const Placed *> byPath;
  for (const Placed &p : placed) byPath.emplace(p.path, &p);
  for (auto &e : t.entries) {
    std::string fragment;
    auto found = byPath.find(resolve(folder, e.href, &fragment));
    if (found == byPath.end() || found->second->start < 0) continue;  // not in the spine, or it gave no text
    const Placed *doc = found->second;
    int offset = doc->start;
    auto anchor = doc->anchors.find(fragment);
    if (!fragment.empty() && anchor != doc->anchors.end()) offset = doc->start + anchor->second;
    while (!e.label.empty() && e.label.back() == ' ') e.label.pop_back();
    book->chapters.push_back({firstVisible(book->text, offset, doc->end), e.label});
  }
}

// The encrypted members named by META-INF/encryption.xml; fonts obfuscated
// the usual way are no obstacle to the text and are left out.
struct EncryptionParse : XmlSaxCallbacks {
  std::vector<std::string> members;
  std::string algorithm;
};

void encryptionStart(XmlSaxCallbacks *s, const char *name, const char **atts) {
  auto *e = static_cast<EncryptionParse *>(s);
  std::string n = localName(name);
  if (n == "EncryptionMethod") {
    const char *a = get_xml_attribute(atts, "Algorithm");
    e->algorithm = a ? a : "";
  } else if (n == "CipherReference") {
    const char *uri = get_xml_attribute(atts, "URI");
    bool font = e->algorithm.find("embedding") != std::string::npos || e->algorithm.find("enc#RC") != std::string::npos;
    if (uri && !font) e->members.push_back(resolve("", uri));
  }
}

}  // namespace

int epub_open(const char *path, EpubBook *book) {
  if (!path || !book) return EPUB_NOT_ZIP;
  *book = EpubBook();
  Zip zip(unzOpen64(BoardPath(path).c_str()));
  if (!zip) {
    LOGE("can not unzip %s\n", path);
    return EPUB_NOT_ZIP;
  }
  Reader r{zip.get()};
  std::string bytes;
  if (readMember(&r, "mimetype", &bytes) == 0 && bytes.compare(0, 20, "application/epub+zip") != 0) {
    LOGE("%s: mimetype is not application/epub+zip\n", path);
    return EPUB_BAD_MIMETYPE;
  }
  if (readMember(&r, "META-INF/container.xml", &bytes) != 0) {
    LOGE("%s: no META-INF/container.xml\n", path);
    return EPUB_NO_CONTAINER;
  }
  ContainerParse c{};
  c.start_element = containerStart;
  xml_sax_parse_memory(bytes.data(), static_cast<int>(bytes.size()), "container.xml", &c);
  std::string opfPath = c.rootfile.empty() ? c.anyRootfile : c.rootfile;
  if (opfPath.empty()) {
    LOGE("%s: container.xml names no package\n", path);
    return EPUB_BAD_CONTAINER;
  }
  opfPath = resolve("", opfPath);
  if (readMember(&r, opfPath, &bytes) != 0) {
    LOGE("%s: package %s not found\n", path, opfPath.c_str());
    return EPUB_NO_OPF;
  }
  OpfParse o{};
  o.on(opfStart, opfEnd, opfText);
  xml_sax_parse_memory(bytes.data(), static_cast<int>(bytes.size()), opfPath.c_str(), &o);
  if (o.spine.empty()) {
    LOGE("%s: the package has no spine\n", path);
    return EPUB_BAD_OPF;
  }
  book->title = o.title;
  book->author = o.author;

  EncryptionParse enc{};
  enc.start_element = encryptionStart;
  if (readMember(&r, "META-INF/encryption.xml", &bytes) == 0)
    xml_sax_parse_memory(bytes.data(), static_cast<int>(bytes.size()), "encryption.xml", &enc);

  const std::string folder = folderOf(opfPath);
  std::vector<Placed> placed;
  for (const std::string &idref : o.spine) {
    auto item = o.manifest.find(idref);
    Placed p;
    p.path = item == o.manifest.end() ? "" : resolve(folder, item->second.href);
    if (std::find(enc.members.begin(), enc.members.end(), p.path) != enc.members.end()) {
      LOGW("%s: %s is encrypted\n", path, p.path.c_str());
      book->encrypted++;
    } else if (book->text.size() < kMaxText) {
      if (item == o.manifest.end() || readMember(&r, p.path, &bytes) != 0) {
        LOGW("%s: spine item %s (%s) is missing\n", path, idref.c_str(), p.path.c_str());
        book->missing++;
      } else {
        HtmlTextOptions options;
        options.max_text = kMaxText - book->text.size();
        std::string text;
        std::vector<HtmlAnchor> anchors;
        html_text_extract(bytes.data(), bytes.size(), options, &text, &anchors);
        while (!text.empty() && isBlank(text.back())) text.pop_back();
        if (!text.empty()) {
          p.start = static_cast<int>(book->text.size());
          for (const HtmlAnchor &a : anchors)
            p.anchors.emplace(a.id, std::min(a.offset, static_cast<int>(text.size())));
          book->text += text;
          p.end = static_cast<int>(book->text.size());
          book->text += '\f';
        }
      }
    }
    placed.push_back(std::move(p));
  }
  if (book->text.empty()) {
    LOGE("%s: no text (%d missing, %d encrypted)\n", path, book->missing, book->encrypted);
    return book->encrypted ? EPUB_ENCRYPTED : EPUB_NO_TEXT;
  }
  book->text.back() = '\n';  // no form feed at the very end

  // The navigation document of EPUB 3 first, else the NCX.
  std::string nav, ncx;
  for (const auto &[id, item] : o.manifest) {
    if (nav.empty() && (" " + item.properties + " ").find(" nav ") != std::string::npos)
      nav = resolve(folder, item.href);
    if (ncx.empty() && item.type == "application/x-dtbncx+xml") ncx = resolve(folder, item.href);
  }
  auto toc = o.manifest.find(o.toc);
  if (toc != o.manifest.end()) ncx = resolve(folder, toc->second.href);
  readToc(&r, nav, false, placed, book);
  if (book->chapters.empty()) readToc(&r, ncx, true, placed, book);
  if (book->chapters.empty()) {
    // No usable table of contents: every document is a chapter.
    for (const Placed &p : placed)
      if (p.start >= 0) book->chapters.push_back({firstVisible(book->text, p.start, p.end), ""});
  }
  std::stable_sort(book->chapters.begin(), book->chapters.end(),
                   [](const EpubChapter &a, const EpubChapter &b) { return a.offset < b.offset; });
  book->chapters.erase(std::unique(book->chapters.begin(), book->chapters.end(),
                                   [](const EpubChapter &a, const EpubChapter &b) { return a.offset == b.offset; }),
                       book->chapters.end());
  if (book->missing) LOGW("%s: %d spine items missing\n", path, book->missing);
  return 0;
}

int epub_find_next_section(const EpubBook *book, int offset) {
  if (!book) return 0;
  for (const EpubChapter &c : book->chapters)
    if (c.offset >= std::max(offset, 0)) return c.offset;
  return static_cast<int>(book->text.size());
}

int epub_find_last_section(const EpubBook *book, int offset) {
  if (!book) return 0;
  int last = 0;
  for (const EpubChapter &c : book->chapters)
    if (c.offset <= offset) last = c.offset;
  return last;
}

int epub_chapter_at(const EpubBook *book, int offset) {
  if (!book) return 0;
  int at = 0;
  for (size_t i = 0; i < book->chapters.size(); i++)
    if (book->chapters[i].offset <= offset) at = static_cast<int>(i);
  return at;
}

int get_page_size_for_epub(const unsigned char *b, int n) {
  if (!b || n <= 500) return n < 0 ? 0 : n;
  auto charLen = [](unsigned char c) { return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; };
  int p = 0;
  while (p < 400) {
    if (b[p] == '\f') return p + 1;
    p += charLen(b[p]);
  }
  while (p < 500 && p < n) {
    unsigned char c = b[p];
    int len = charLen(c);
    unsigned cp = c;
    if (len == 3 && p + 2 < n) cp = (c & 0x0F) << 12 | (b[p + 1] & 0x3F) << 6 | (b[p + 2] & 0x3F);
    p += len;
    if (c < 0x20 || c == '!' || c == ',' || c == '.' || (c >= 0x3A && c <= 0x40) ||
        (cp >= 0x3000 && cp <= 0x303F) || (cp >= 0xFF00 && cp <= 0xFFEF))
      return std::min(p, n);
  }
  return std::min(p, n);
}
