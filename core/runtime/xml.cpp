// XML access by element name and path, the dollar escapes, and whole-file
// reading and crash-safe writing. No state of its own: every function works
// on the caller's tree or buffer, from any thread.
#include "core/runtime/xml.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/xml.c";
constexpr char kSpecials[] = "<>&\"'$";  // escaped as "$0".."$5"

const char *name(const xmlNode *n) { return reinterpret_cast<const char *>(n->name); }

// Length of the character at p when it is valid UTF-8 and allowed in XML
// text (no control characters but tab, newline and return; no U+FFFE,
// U+FFFF); 0 when the byte at p has to be escaped.
int xmlCharLength(const unsigned char *p) {
  unsigned c = p[0];
  if (c < 0x80) return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' ? 1 : 0;
  int len;
  unsigned cp, min;
  if ((c & 0xe0) == 0xc0) len = 2, cp = c & 0x1f, min = 0x80;
  else if ((c & 0xf0) == 0xe0) len = 3, cp = c & 0x0f, min = 0x800;
  else if ((c & 0xf8) == 0xf0) len = 4, cp = c & 0x07, min = 0x10000;
  else return 0;
  for (int i = 1; i < len; i++) {
    if ((p[i] & 0xc0) != 0x80) return 0;  // also stops at the terminating zero
    cp = cp << 6 | (p[i] & 0x3f);
  }
  if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff) || cp == 0xfffe || cp == 0xffff) return 0;
  return len;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

xmlNode *findElement(xmlNode *first, std::string_view want) {
  for (xmlNode *n = first; n; n = n->next)
    if (n->type == XML_ELEMENT_NODE && want == name(n)) return n;
  return nullptr;
}

// The element's own text node, or null.
xmlNode *textNode(xmlNode *element) {
  for (xmlNode *c = element->children; c; c = c->next)
    if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) return c;
  return nullptr;
}

int parseInt(const char *text, int *value) {
  std::string_view s(text);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  if (s.empty()) return -1;
  int v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return -1;
  *value = v;
  return 0;
}

// Splits "a/b/c" into the folder part "a/b" and the last step "c".
void splitLast(std::string_view path, std::string *dir, std::string *leaf) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    dir->clear();
    *leaf = path;
  } else {
    *dir = path.substr(0, slash);
    *leaf = path.substr(slash + 1);
  }
}

// The element list that the last step of path is searched in: first
// itself, or the children reached by the steps before it.
bool enterParent(xmlNode *first, const std::string &dir, xmlNode **out) {
  if (dir.empty()) {
    *out = first;
    return true;
  }
  *out = XxmlEnterPath(first, dir.c_str());
  return *out != nullptr;
}

// The encoding named in the XML declaration, "" when none is named.
std::string declaredEncoding(const std::string &data) {
  if (data.compare(0, 5, "<?xml") != 0) return {};
  size_t end = data.find("?>");
  size_t at = data.find("encoding", 0);
  if (end == std::string::npos || at == std::string::npos || at > end) return {};
  size_t q = data.find_first_of("\"'", at);
  if (q == std::string::npos || q > end) return {};
  size_t q2 = data.find(data[q], q + 1);
  if (q2 == std::string::npos || q2 > end) return {};
  std::string enc = data.substr(q + 1, q2 - q - 1);
  for (char &c : enc) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return enc;
}

// Keeps every byte that cannot stand in UTF-8 XML text as a "$x" escape.
// Returns false when there was nothing to repair.
bool escapeBadBytes(const std::string &in, std::string *out) {
  bool changed = false;
  out->clear();
  out->reserve(in.size() + 16);
  const unsigned char *p = reinterpret_cast<const unsigned char *>(in.c_str());
  const unsigned char *end = p + in.size();
  while (p < end) {
    int n = *p ? xmlCharLength(p) : 0;
    if (n == 0) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "$x%02X", *p);
      out->append(esc);
      p++;
      changed = true;
    } else {
      out->append(reinterpret_cast<const char *>(p), static_cast<size_t>(n));
      p += n;
    }
  }
  return changed;
}

xmlDoc *parse(const std::string &data, const char *url) {
  return xmlReadMemory(data.data(), static_cast<int>(data.size()), url, nullptr,
                       XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
}

bool readAll(const std::string &file, std::string *data) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kXmlMaxFileSize;
  if (ok) {
    data->resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data->size()) {
      ssize_t r = read(fd, data->data() + got, data->size() - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    data->resize(got);
  }
  close(fd);
  return ok;
}

bool writeAll(int fd, const char *data, size_t len) {
  while (len > 0) {
    ssize_t w = write(fd, data, len);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    len -= static_cast<size_t>(w);
  }
  return true;
}

// Makes a finished rename durable: the folder entry reaches the disk.
void syncFolder(const std::string &file) {
  size_t slash = file.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // a folder that cannot be synced still holds the renamed file
  close(fd);
}

}  // namespace

char *Str2XmlStr(const char *src, char *dst, int size) {
  if (!dst || size <= 0) return dst;
  if (!src) src = "";
  const unsigned char *p = reinterpret_cast<const unsigned char *>(src);
  int w = 0;
  while (*p && w < size - 1) {
    char esc[8];
    int len = xmlCharLength(p);
    const char *special = len == 1 ? std::strchr(kSpecials, *p) : nullptr;
    if (len == 0) {
      std::snprintf(esc, sizeof esc, "$x%02X", *p);
      len = 1;
    } else if (special) {
      esc[0] = '$';
      esc[1] = static_cast<char>('0' + (special - kSpecials));
      esc[2] = '\0';
    } else {
      // A character is copied whole or not at all.
      if (w + len > size - 1) break;
      std::memcpy(dst + w, p, static_cast<size_t>(len));
      w += len;
      p += len;
      continue;
    }
    int n = static_cast<int>(std::strlen(esc));
    if (w + n > size - 1) break;
    std::memcpy(dst + w, esc, static_cast<size_t>(n));
    w += n;
    p += len;
  }
  dst[w] = '\0';
  if (*p) std::printf("Error: Str2XmlStr: destation string too short!\n");
  return dst;
}

char *XmlStr2Str(char *text) {
  if (!text) return text;
  char *r = text, *w = text;
  while (*r) {
    if (*r == '$') {
      char c = r[1];
      if (c >= '0' && c <= '5') {
        *w++ = kSpecials[c - '0'];
        r += 2;
        continue;
      }
      if (c == 'x') {
        int hi = hexValue(r[2]);
        int lo = hi >= 0 ? hexValue(r[3]) : -1;
        if (lo >= 0 && (hi | lo) != 0) {
          *w++ = static_cast<char>(hi << 4 | lo);
          r += 4;
          continue;
        }
      }
      std::printf("Warning: XmlStr2Str find a special: $\n");
    }
    *w++ = *r++;
  }
  *w = '\0';
  return text;
}

int XxmlGetValue(xmlNode *first, const char *elementName, int *value) {
  if (!first || !elementName || !value) return -1;
  xmlNode *e = findElement(first, elementName);
  if (!e) return -1;
  xmlNode *t = textNode(e);
  if (!t) return -2;
  return parseInt(reinterpret_cast<const char *>(t->content), value) == 0 ? 0 : -3;
}

int XxmlGetStr(xmlNode *first, const char *elementName, char **text) {
  if (!first || !elementName || !text) return -1;
  xmlNode *e = findElement(first, elementName);
  if (!e) return -1;
  xmlNode *t = textNode(e);
  if (!t) return -2;
  // Text shared through the parser's dictionary must not change under other
  // nodes: give this node its own copy before unescaping in place.
  if (std::strchr(reinterpret_cast<const char *>(t->content), '$') && t->doc && t->doc->dict &&
      xmlDictOwns(t->doc->dict, t->content)) {
    std::string copy(reinterpret_cast<const char *>(t->content));
    xmlNodeSetContent(t, reinterpret_cast<const xmlChar *>(copy.c_str()));
  }
  *text = XmlStr2Str(reinterpret_cast<char *>(t->content));
  return 0;
}

xmlNode *XxmlEnterPath(xmlNode *first, const char *path) {
  if (!first || !path || !*path || *path == '/') return nullptr;
  std::string_view rest(path);
  xmlNode *cur = first;
  while (true) {
    size_t slash = rest.find('/');
    std::string_view step = rest.substr(0, slash);
    if (step.empty()) return nullptr;
    xmlNode *e = findElement(cur, step);
    if (!e) return nullptr;
    cur = e->children;
    if (slash == std::string_view::npos) return cur;
    rest.remove_prefix(slash + 1);
    if (!cur) return nullptr;
  }
}

int XxmlPathGetValue(xmlNode *first, const char *path, int *value) {
  if (!path || !*path || path[std::strlen(path) - 1] == '/' || !value) return -1;
  std::string dir, leaf;
  splitLast(path, &dir, &leaf);
  xmlNode *parent;
  if (!enterParent(first, dir, &parent)) return -2;
  int r = XxmlGetValue(parent, leaf.c_str(), value);
  if (r == -1) return -2;
  if (r < 0) {
    LOGW("Gettext return NULL\n");
    return -3;
  }
  return 0;
}

int XxmlPathGetStr(xmlNode *first, const char *path, char **text) {
  if (!path || !*path || path[std::strlen(path) - 1] == '/' || !text) return -1;
  std::string dir, leaf;
  splitLast(path, &dir, &leaf);
  xmlNode *parent;
  if (!enterParent(first, dir, &parent)) return -2;
  int r = XxmlGetStr(parent, leaf.c_str(), text);
  if (r == -1) return -2;
  if (r == -2) *text = nullptr;
  return 0;
}

int XxmlReadFile(const char *path, XmlDocPtr *doc) {
  if (!path || !doc) return -1;
  std::string file = BoardPath(path);
  std::string data;
  if (!readAll(file, &data)) return -1;
  xmlResetLastError();
  doc->reset(parse(data, file.c_str()));
  if (*doc) return 0;
  const xmlError *err = xmlGetLastError();
  std::string why = err && err->message ? err->message : "no XML document\n";
  int line = err ? err->line : 0;
  // A name in another encoding is no reason to lose the rest of the file.
  std::string enc = declaredEncoding(data), repaired;
  if ((enc.empty() || enc == "UTF-8" || enc == "UTF8") && escapeBadBytes(data, &repaired)) {
    doc->reset(parse(repaired, file.c_str()));
    if (*doc) {
      LOGW("%s: text that is not UTF-8 kept as escapes\n", path);
      return 0;
    }
  }
  LOGW("%s: line %d: %s", path, line, why.c_str());
  return -2;
}

void XxmlAddText(xmlNode *parent, const char *name, const std::string &text) {
  std::vector<char> escaped(text.size() * 4 + 1);
  Str2XmlStr(text.c_str(), escaped.data(), static_cast<int>(escaped.size()));
  xmlNewTextChild(parent, nullptr, reinterpret_cast<const xmlChar *>(name),
                  reinterpret_cast<const xmlChar *>(escaped.data()));
}

void XxmlAddInt(xmlNode *parent, const char *name, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  xmlNewTextChild(parent, nullptr, reinterpret_cast<const xmlChar *>(name), reinterpret_cast<const xmlChar *>(text));
}

int XxmlSaveFile(xmlDoc *doc, const char *path) {
  if (!doc || !path) return -1;
  xmlChar *mem = nullptr;
  int len = 0;
  xmlDocDumpFormatMemoryEnc(doc, &mem, &len, "UTF-8", 1);
  if (!mem) {
    LOGE("%s: cannot format the document\n", path);
    return -1;
  }
  int r = SaveFileSafe(path, reinterpret_cast<const char *>(mem), static_cast<size_t>(len));
  xmlFree(mem);
  return r;
}

int SaveFileSafe(const char *path, const char *data, size_t len) {
  if (!path || (!data && len)) return -1;
  std::string file = BoardPath(path), now;
  if (ReadFileHead(path, len + 1, &now) == static_cast<int>(len) && now.compare(0, len, data, len) == 0) return 0;
  std::string tmp = file + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && writeAll(fd, data, len) && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), file.c_str()) == 0) {
    syncFolder(file);
    return 0;
  }
  LOGE("%s: cannot write: %s\n", path, std::strerror(errno));
  unlink(tmp.c_str());
  return -1;
}

int XxmlKeepBad(const char *path) {
  if (!path) return -1;
  std::string from = BoardPath(path);
  for (int n = 0; n < 1000; n++) {
    std::string to = from + ".bad" + (n ? "." + std::to_string(n) : std::string());
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) continue;
    if (std::rename(from.c_str(), to.c_str()) != 0) break;
    syncFolder(from);
    LOGE("%s cannot be used, kept as %s%s\n", path, path, to.c_str() + from.size());
    return 0;
  }
  LOGE("%s cannot be kept aside: %s\n", path, std::strerror(errno));
  return -1;
}

int ReadFileHead(const char *path, size_t limit, std::string *data) {
  if (!path || !data) return -1;
  data->clear();
  int fd = open(BoardPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  data->resize(limit);
  size_t got = 0;
  while (got < limit) {
    ssize_t r = read(fd, data->data() + got, limit - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  close(fd);
  data->resize(got);
  return static_cast<int>(got);
}
