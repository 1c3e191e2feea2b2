// The text of HTML pages and MHT archives: the character set settled and
// the page converted to UTF-8 here, the markup parsed by the HTML reader of
// ebook/xml_sax, and what a browser would show gathered by the callbacks
// below. The MIME walk of an archive works on the file's bytes in memory;
// files are read up to a cap, so a huge or endless one costs bounded memory.
#include "ebook/html_text.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "ebook/charset.h"
#include "ebook/xml_sax.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <new>
#include <string_view>
#include <strings.h>

namespace {

constexpr char kLogSource[] = "ebook/html_text.c";
// Files beyond this are read in part: a page or archive of a book is far
// smaller, and the text of 16 MiB already makes the page table full.
constexpr size_t kMaxFile = 16u << 20;
// Where a page names its charset: in its head, near the start.
constexpr size_t kMetaWindow = 64 * 1024;
constexpr size_t kDetectWindow = 512 * 1024;
// An archive nests parts inside parts; deeper ones are not entered.
constexpr int kMaxMimeDepth = 8;

// ---- the extractor -----------------------------------------------------------

struct Extract : XmlSaxCallbacks {
  std::string *out = nullptr;
  std::vector<HtmlAnchor> *anchors = nullptr;
  size_t max = 0;
  int skip = 0;  // open elements whose content is not shown
  int pre = 0;   // open pre elements: white space as written
  bool breakPending = false;
  bool spacePending = false;
  bool cut = false;
};

bool nameIn(const char *name, const char *const *list) {
  const char *colon = std::strrchr(name, ':');  // XHTML with a prefix
  if (colon) name = colon + 1;
  for (; *list; list++)
    if (strcasecmp(name, *list) == 0) return true;
  return false;
}

const char *const kSkipped[] = {"title", "script", "style", "template", "noscript", nullptr};
// A line ends before and after each of these.
const char *const kBlocks[] = {"p",       "div",     "h1",      "h2",       "h3",         "h4",     "h5",
                               "h6",      "li",      "tr",      "ul",       "ol",         "dl",     "dt",
                               "dd",      "table",   "caption", "blockquote", "pre",      "hr",     "section",
                               "article", "header",  "footer",  "nav",      "aside",      "figure", "figcaption",
                               "address", "main",    "form",    "fieldset", "legend",     "center", "body",
                               // DTBook, the XML of talking books some EPUBs carry
                               "level",   "level1",  "level2",  "level3",   "level4",     "level5", "level6",
                               "line",    "doctitle", "docauthor", "pagenum", "sidebar",  "note",   "prodnote",
                               "hd",      "bridgehead", "byline", "dateline", "epigraph", "poem",   "author",
                               nullptr};
const char *const kCells[] = {"td", "th", nullptr};

void newline(Extract *x) {
  if (!x->out->empty() && x->out->back() != '\n') *x->out += '\n';
  x->breakPending = false;
  x->spacePending = false;
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **attributes) {
  auto *x = static_cast<Extract *>(state);
  if (nameIn(name, kSkipped)) x->skip++;
  if (x->skip) return;
  if (strcasecmp(name, "br") == 0) {
    if (!x->out->empty()) *x->out += '\n';
    x->spacePending = false;
  } else if (nameIn(name, kBlocks)) {
    x->breakPending = true;
  } else if (nameIn(name, kCells)) {
    x->spacePending = true;
  }
  if (strcasecmp(name, "pre") == 0) x->pre++;
  if (x->anchors) {
    const char *id = get_xml_attribute_caseless(attributes, "id");
    if (!id && strcasecmp(name, "a") == 0) id = get_xml_attribute_caseless(attributes, "name");
    if (id && *id) x->anchors->push_back({id, static_cast<int>(x->out->size())});
  }
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *x = static_cast<Extract *>(state);
  if (nameIn(name, kSkipped)) {
    if (x->skip > 0) x->skip--;
    return;
  }
  if (x->skip) return;
  if (strcasecmp(name, "pre") == 0 && x->pre > 0) x->pre--;
  if (nameIn(name, kBlocks)) x->breakPending = true;
  if (nameIn(name, kCells)) x->spacePending = true;
}

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

void onText(XmlSaxCallbacks *state, const char *text, int length) {
  auto *x = static_cast<Extract *>(state);
  if (x->skip || length <= 0) return;
  std::string &out = *x->out;
  for (int i = 0; i < length; i++) {
    auto c = static_cast<unsigned char>(text[i]);
    bool nbsp = c == 0xC2 && i + 1 < length && static_cast<unsigned char>(text[i + 1]) == 0xA0;
    if (c == 0xC2 && i + 1 < length && static_cast<unsigned char>(text[i + 1]) == 0xAD) {
      i++;  // a soft hyphen shows nothing
      continue;
    }
    if (x->pre && (c == '\n' || c == ' ' || c == '\t')) {
      if (x->breakPending) newline(x);
      out += c == '\n' ? '\n' : ' ';
      x->spacePending = false;
      continue;
    }
    if (isSpace(c) || nbsp) {
      if (nbsp) i++;
      if (!out.empty() && out.back() != '\n') x->spacePending = true;
      continue;
    }
    if (c < 0x20 || c == 0x7F) continue;  // control characters are not read
    if (x->breakPending) newline(x);
    if (x->spacePending && !out.empty() && out.back() != '\n') out += ' ';
    x->spacePending = false;
    out += static_cast<char>(c);
  }
  if (out.size() >= x->max) {
    x->cut = true;
    x->result = 1;  // stop the parse
  }
}

// ---- character sets ------------------------------------------------------------

std::string lower(std::string_view s) {
  std::string l(s);
  for (char &c : l)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return l;
}

// The code of a charset name the shared converters serve, or -1.
int knownCode(const std::string &name) {
  static const struct {
    const char *name;
    int code;
  } kNames[] = {{"utf-8", CHARSET_UTF8},      {"utf8", CHARSET_UTF8},        {"utf-16le", CHARSET_UTF16LE},
                {"utf-16be", CHARSET_UTF16BE}, {"gbk", CHARSET_GBK},          {"gb2312", CHARSET_GBK},
                {"gb18030", CHARSET_GBK},      {"x-gbk", CHARSET_GBK},        {"cp936", CHARSET_GBK},
                {"euc-cn", CHARSET_GBK},       {"big5", CHARSET_BIG5},        {"cp950", CHARSET_BIG5},
                {"big5-hkscs", CHARSET_BIG5}};
  std::string l = lower(name);
  for (const auto &n : kNames)
    if (l == n.name) return n.code;
  return -1;
}

bool iconvKnows(const std::string &name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

// The charset a meta element of the page's head names, or "".
std::string metaCharset(const char *bytes, size_t length) {
  std::string head = lower(std::string_view(bytes, length < kMetaWindow ? length : kMetaWindow));
  for (size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
    size_t end = head.find('>', at);
    if (end == std::string::npos) end = head.size();
    size_t cs = head.find("charset", at);
    if (cs == std::string::npos || cs > end) continue;
    size_t i = cs + 7;
    while (i < end && (isSpace(static_cast<unsigned char>(head[i])) || head[i] == '=' || head[i] == '"' ||
                       head[i] == '\''))
      i++;
    size_t j = i;
    while (j < end && (std::isalnum(static_cast<unsigned char>(head[j])) || std::strchr("-_.:", head[j]))) j++;
    if (j > i) return head.substr(i, j - i);
  }
  return {};
}

// Converts with iconv by name; an unconvertible byte is dropped.
bool convertNamed(const std::string &name, const char *bytes, size_t length, std::string *out) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char *ip = const_cast<char *>(bytes);
  size_t il = length;
  char buffer[16384];
  while (il > 0) {
    char *op = buffer;
    size_t ol = sizeof buffer;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    out->append(buffer, sizeof buffer - ol);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    if (errno == EINVAL) break;  // cut off at the end
    ip++;
    il--;
  }
  iconv_close(cd);
  return true;
}

// bytes in charset (an iconv name or a code's name) as UTF-8, a byte-order
// mark left out.
bool toUtf8(const std::string &charset, const char *bytes, size_t length, std::string *out) {
  int code = knownCode(charset);
  if (code < 0) return convertNamed(charset, bytes, length, out);
  auto *u = reinterpret_cast<const unsigned char *>(bytes);
  size_t bom = 0;
  if (code == CHARSET_UTF8 && length >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) bom = 3;
  if ((code == CHARSET_UTF16LE && length >= 2 && u[0] == 0xFF && u[1] == 0xFE) ||
      (code == CHARSET_UTF16BE && length >= 2 && u[0] == 0xFE && u[1] == 0xFF))
    bom = 2;
  bytes += bom;
  length -= bom;
  if (length > static_cast<size_t>(INT32_MAX / 2 - 16)) length = INT32_MAX / 2 - 16;
  // At most 1.5 bytes out per byte in (UTF-16 and the double-byte sets),
  // the UTF-8 check drops bytes only.
  size_t size = length + length / 2 + 16;
  std::unique_ptr<char[]> area(new (std::nothrow) char[size]);
  if (!area) return false;
  int n = charset_page_to_utf8(code, bytes, static_cast<int>(length), area.get(), static_cast<int>(size));
  if (n < 0) return convertNamed(charset_iconv_name(code), bytes, length, out);  // converters not open
  out->append(area.get(), static_cast<size_t>(n));
  return true;
}

std::string detectedCharset(const char *bytes, size_t length, bool page) {
  int code = get_charset(reinterpret_cast<const unsigned char *>(bytes),
                         static_cast<int>(length < kDetectWindow ? length : kDetectWindow));
  if (code == CHARSET_UTF8 || code == CHARSET_UTF16LE || code == CHARSET_UTF16BE) return charset_iconv_name(code);
  // GBK and Big5 are guesses: a page that names its charset knows better.
  if (page) {
    // A page that claims UTF-8 or UTF-16 is wrong: the bytes said no.
    std::string named = metaCharset(bytes, length);
    int known = knownCode(named);
    bool unicode = known == CHARSET_UTF8 || known == CHARSET_UTF16LE || known == CHARSET_UTF16BE;
    if (!named.empty() && !unicode && (known >= 0 || iconvKnows(named))) return named;
  }
  return charset_iconv_name(code);
}

// ---- MIME --------------------------------------------------------------------

struct MimePart {
  std::string type, subtype, charset, boundary, encoding;
};

// The value of parameter name in a header value ("text/html; charset=gbk").
std::string parameter(const std::string &value, const char *name) {
  std::string l = lower(value);
  size_t n = std::strlen(name);
  for (size_t at = l.find(name); at != std::string::npos; at = l.find(name, at + n)) {
    bool startsWord = at == 0 || l[at - 1] == ';' || isSpace(static_cast<unsigned char>(l[at - 1]));
    size_t i = at + n;
    while (i < l.size() && isSpace(static_cast<unsigned char>(l[i]))) i++;
    if (!startsWord || i >= l.size() || l[i] != '=') continue;
    i++;
    while (i < l.size() && isSpace(static_cast<unsigned char>(l[i]))) i++;
    if (i < l.size() && l[i] == '"') {
      size_t close = value.find('"', i + 1);
      return value.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
    }
    size_t j = i;
    while (j < l.size() && l[j] != ';' && !isSpace(static_cast<unsigned char>(l[j]))) j++;
    return value.substr(i, j - i);
  }
  return {};
}

// Reads the headers at the start of d into *part; returns where the body
// begins.
size_t parseHeaders(std::string_view d, MimePart *part) {
  std::string contentType, encoding, *current = nullptr;
  size_t pos = 0;
  while (pos < d.size()) {
    size_t eol = d.find('\n', pos);
    size_t next = eol == std::string_view::npos ? d.size() : eol + 1;
    std::string_view line = d.substr(pos, next - pos);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    pos = next;
    if (line.empty()) break;
    if (line[0] == ' ' || line[0] == '\t') {
      if (current) current->append(" ").append(line);
      continue;
    }
    size_t colon = line.find(':');
    std::string field = lower(line.substr(0, colon == std::string_view::npos ? 0 : colon));
    current = field == "content-type" ? &contentType : field == "content-transfer-encoding" ? &encoding : nullptr;
    if (current) current->assign(line.substr(colon + 1));
  }
  size_t start = contentType.find_first_not_of(" \t");
  std::string type = start == std::string::npos ? "" : lower(contentType.substr(start));
  type = type.substr(0, type.find_first_of("; \t"));
  size_t slash = type.find('/');
  part->type = type.substr(0, slash);
  part->subtype = slash == std::string::npos ? "" : type.substr(slash + 1);
  part->charset = parameter(contentType, "charset");
  part->boundary = parameter(contentType, "boundary");
  part->encoding = lower(encoding);
  part->encoding.erase(0, part->encoding.find_first_not_of(" \t"));
  part->encoding.erase(part->encoding.find_last_not_of(" \t") + 1);
  return pos;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string quotedPrintable(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); i++) {
    if (in[i] != '=') {
      out += in[i];
    } else if (i + 1 < in.size() && (in[i + 1] == '\n' || in[i + 1] == '\r')) {
      i += in[i + 1] == '\r' && i + 2 < in.size() && in[i + 2] == '\n' ? 2 : 1;  // soft line break
    } else if (i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
      i += 2;
    } else {
      out += '=';
    }
  }
  return out;
}

// Characters outside the alphabet (line breaks, garbage) are passed over;
// the padding ends the data.
std::string base64(std::string_view in) {
  std::string out;
  out.reserve(in.size() / 4 * 3 + 3);
  unsigned bits = 0;
  int count = 0;
  for (char ch : in) {
    int v;
    if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
    else if (ch == '+') v = 62;
    else if (ch == '/') v = 63;
    else if (ch == '=') break;
    else continue;
    bits = (bits << 6 | static_cast<unsigned>(v)) & 0xFFFFFF;
    if (++count == 4) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>(bits >> 8 & 0xFF);
      out += static_cast<char>(bits & 0xFF);
      count = 0;
    }
  }
  if (count >= 2) out += static_cast<char>(bits >> (count == 2 ? 4 : 10) & 0xFF);
  if (count == 3) out += static_cast<char>(bits >> 2 & 0xFF);
  return out;
}

// Where the next delimiter line "--boundary" starts at or after from (at the
// start of d or of a line), or npos.
size_t findDelimiter(std::string_view d, const std::string &delimiter, size_t from) {
  for (size_t at = d.find(delimiter, from); at != std::string_view::npos; at = d.find(delimiter, at + 1))
    if (at == 0 || d[at - 1] == '\n') return at;
  return std::string_view::npos;
}

int walkPart(std::string_view d, int depth, MhtWriteFunc write, void *user) {
  if (depth > kMaxMimeDepth) return 0;
  MimePart part;
  std::string_view body = d.substr(parseHeaders(d, &part));
  if (part.type == "multipart" && !part.boundary.empty()) {
    const std::string delimiter = "--" + part.boundary;
    int parts = 0;
    size_t at = findDelimiter(body, delimiter, 0);
    while (at != std::string_view::npos) {
      size_t after = at + delimiter.size();
      if (body.compare(after, 2, "--") == 0) break;  // the closing delimiter
      size_t eol = body.find('\n', after);
      if (eol == std::string_view::npos) break;
      size_t next = findDelimiter(body, delimiter, eol + 1);
      size_t end = next == std::string_view::npos ? body.size() : next;
      parts += walkPart(body.substr(eol + 1, end - eol - 1), depth + 1, write, user);
      at = next;
    }
    return parts;
  }
  if (part.type == "message") return walkPart(body, depth + 1, write, user);
  // A part without a type is plain text.
  bool html = part.type == "text" && part.subtype == "html";
  if (!html && !part.type.empty() && !(part.type == "text" && part.subtype == "plain")) return 0;
  std::string decoded = part.encoding == "base64"             ? base64(body)
                        : part.encoding == "quoted-printable" ? quotedPrintable(body)
                                                              : std::string(body);
  write(user, decoded.data(), decoded.size(), part.charset, html);
  return 1;
}

struct Gather {
  std::string *text;
  size_t max;
};

void gatherPart(void *user, const char *bytes, size_t length, const std::string &charset, bool html) {
  auto *g = static_cast<Gather *>(user);
  if (g->text->size() >= g->max) return;
  if (!g->text->empty() && g->text->back() != '\n') *g->text += '\n';
  if (html) {
    HtmlTextOptions options;
    options.charset = charset.c_str();
    options.max_text = g->max;
    html_text_extract(bytes, length, options, g->text, nullptr);
    return;
  }
  std::string cs = charset.empty() ? detectedCharset(bytes, length, false) : charset;
  if (!toUtf8(cs, bytes, length, g->text)) toUtf8(detectedCharset(bytes, length, false), bytes, length, g->text);
  if (g->text->size() > g->max) g->text->resize(g->max);
}

struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

// Reads the file at path (at most kMaxFile bytes). 0, -2, -6.
int readFile(const char *path, std::string *bytes) {
  std::unique_ptr<FILE, FileClose> f(std::fopen(BoardPath(path).c_str(), "rb"));
  if (!f) {
    LOGE("Can not open the file: %s\n", path);
    return -6;
  }
  char buffer[65536];
  size_t n;
  while (bytes->size() < kMaxFile && (n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes->append(buffer, n);
  if (std::ferror(f.get())) {
    LOGE("Can not read the file: %s\n", path);
    return -6;
  }
  if (bytes->size() >= kMaxFile) LOGW("%s: only the first %zu bytes are read\n", path, kMaxFile);
  return 0;
}

}  // namespace

std::string html_page_charset(const char *bytes, size_t length) {
  return bytes ? detectedCharset(bytes, length, true) : "UTF-8";
}

int html_text_extract(const char *bytes, size_t length, const HtmlTextOptions &options, std::string *text,
                      std::vector<HtmlAnchor> *anchors) {
  if (!bytes || !text) return -1;
  std::string named = options.charset && *options.charset ? options.charset : "";
  if (!named.empty() && knownCode(named) < 0 && !iconvKnows(named)) {
    LOGW("unknown charset %s, detecting\n", named.c_str());
    named.clear();
  }
  std::string utf8;
  std::string charset = named.empty() ? detectedCharset(bytes, length, true) : named;
  if (!toUtf8(charset, bytes, length, &utf8)) return -1;
  if (utf8.size() > static_cast<size_t>(INT32_MAX)) utf8.resize(INT32_MAX);
  Extract x{};
  x.on(onStart, onEnd, onText);
  x.out = text;
  x.anchors = anchors;
  x.max = options.max_text;
  if (!utf8.empty()) html_sax_parse_memory(utf8.data(), static_cast<int>(utf8.size()), "html", &x);
  return x.cut ? 1 : 0;
}

int html_parser_open(const char *path, std::string *text) {
  if (!path || !text) return -1;
  std::string bytes;
  int err = readFile(path, &bytes);
  if (err) return err;
  html_text_extract(bytes.data(), bytes.size(), HtmlTextOptions(), text, nullptr);
  return 0;
}

int MhtDecode(const char *bytes, size_t length, MhtWriteFunc write, void *user) {
  if (!bytes || !write) return 0;
  return walkPart(std::string_view(bytes, length), 0, write, user);
}

int mht_open(const char *path, std::string *text) {
  if (!path || !text) return -1;
  std::string bytes;
  int err = readFile(path, &bytes);
  if (err) return err;
  Gather g{text, HtmlTextOptions().max_text};
  int parts = MhtDecode(bytes.data(), bytes.size(), gatherPart, &g);
  LOGI("mht decode finished: total length = %d (%d parts)\n", static_cast<int>(text->size()), parts);
  return 0;
}
