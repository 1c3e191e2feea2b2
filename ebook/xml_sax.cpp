// The SAX wrapper: libxml2's push parser in recover mode, fed 2048 bytes at
// a time. The wrapper sits between libxml2 and the caller's callbacks to do
// what libxml2 does not:
//  - character data arrives from libxml2 in pieces (at entities, at chunk
//    ends, every few hundred bytes); it is gathered here and handed on as one
//    piece when the next tag (or the end) comes;
//  - a callback that stores a result stops the parser at once;
//  - entities: those declared inside the document and HTML's named ones are
//    kept in a private document of this parse, so &nbsp; in an XHTML book
//    becomes U+00A0 instead of vanishing with an error. External entities
//    are never loaded, nor is any DTD;
//  - the bytes pass a filter (StrayFilter) that turns a stray '<' or '&'
//    into text, where libxml2 would stop reading the file.
#include "ebook/xml_sax.h"

#include "board/board.h"
#include "core/runtime/log.h"

#include <libxml/HTMLparser.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "ebook/xml_sax.c";
constexpr int kChunk = 2048;
// Text beyond this is handed on in pieces: a hostile file must not make one
// text node take all memory.
constexpr size_t kMaxPendingText = 1 << 20;
constexpr int kMaxLoggedErrors = 8;

struct DocFree {
  void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
struct CtxtFree {
  void operator()(xmlParserCtxt *c) const {
    if (c->myDoc) xmlFreeDoc(c->myDoc);  // recover mode may leave one behind
    c->myDoc = nullptr;
    xmlFreeParserCtxt(c);
  }
};
struct FileClose {
  void operator()(FILE *f) const { std::fclose(f); }
};

struct Parse {
  XmlSaxCallbacks *user = nullptr;
  xmlParserCtxt *ctxt = nullptr;
  std::unique_ptr<xmlDoc, DocFree> entities;  // holds the entities of this parse
  std::string text;                           // character data not yet handed on
  std::vector<std::string> attributeText;     // the current element's attributes
  std::vector<const char *> attributeList;
  const char *name = "";
  int errors = 0;
};

Parse *self(void *ctx) { return static_cast<Parse *>(ctx); }

bool stopped(Parse *p) { return p->user->result != 0; }

// A callback asked to stop: no further callback may run.
void checkStop(Parse *p) {
  if (stopped(p) && p->ctxt) xmlStopParser(p->ctxt);
}

// Length of the longest prefix of s[0..n) that does not end inside a UTF-8
// character.
size_t utf8Cut(const std::string &s, size_t n) {
  size_t lead = n;
  for (int back = 0; back < 4 && lead > 0; back++) {
    unsigned char c = static_cast<unsigned char>(s[--lead]);
    if ((c & 0xC0) == 0x80) continue;
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    return lead + len <= n ? n : lead;
  }
  return n;
}

void flushText(Parse *p, size_t upTo) {
  if (p->text.empty() || stopped(p)) return;
  if (p->user->characters) {
    p->user->characters(p->user, p->text.data(), static_cast<int>(upTo));
    checkStop(p);
  }
  p->text.erase(0, upTo);
}

// libxml2's SAX2 callbacks give names in parts and attribute values as
// ranges; the caller gets what the plain SAX interface would give: the
// qualified name, and name/value pairs (namespace declarations included)
// ended by a null name.
std::string qualified(const xmlChar *prefix, const xmlChar *local) {
  std::string name;
  if (prefix) name = std::string(reinterpret_cast<const char *>(prefix)) + ":";
  return name + reinterpret_cast<const char *>(local);
}

void onStart(void *ctx, const xmlChar *localname, const xmlChar *prefix, const xmlChar *URI, int nb_namespaces,
             const xmlChar **namespaces, int nb_attributes, int nb_defaulted, const xmlChar **attributes) {
  Parse *p = self(ctx);
  flushText(p, p->text.size());
  if (stopped(p) || !p->user->start_element) return;
  std::string name = qualified(prefix, localname);
  std::vector<std::string> &strings = p->attributeText;
  strings.clear();
  for (int i = 0; i < nb_namespaces; i++) {
    const xmlChar *nsPrefix = namespaces[2 * i];
    const xmlChar *nsUri = namespaces[2 * i + 1];
    strings.push_back(nsPrefix ? "xmlns:" + std::string(reinterpret_cast<const char *>(nsPrefix)) : "xmlns");
    strings.push_back(nsUri ? reinterpret_cast<const char *>(nsUri) : "");
  }
  for (int i = 0; i < nb_attributes; i++) {
    const xmlChar *const *a = attributes + 5 * i;  // localname, prefix, URI, value, end
    strings.push_back(qualified(a[1], a[0]));
    strings.emplace_back(reinterpret_cast<const char *>(a[3]), static_cast<size_t>(a[4] - a[3]));
  }
  std::vector<const char *> &list = p->attributeList;
  list.clear();
  for (const std::string &s : strings) list.push_back(s.c_str());
  list.push_back(nullptr);
  p->user->start_element(p->user, name.c_str(), strings.empty() ? nullptr : list.data());
  checkStop(p);
}

void onEnd(void *ctx, const xmlChar *localname, const xmlChar *prefix, const xmlChar *URI) {
  Parse *p = self(ctx);
  flushText(p, p->text.size());
  if (stopped(p) || !p->user->end_element) return;
  p->user->end_element(p->user, qualified(prefix, localname).c_str());
  checkStop(p);
}

void onCharacters(void *ctx, const xmlChar *ch, int len) {
  Parse *p = self(ctx);
  if (stopped(p) || !ch || len <= 0) return;
  p->text.append(reinterpret_cast<const char *>(ch), static_cast<size_t>(len));
  if (p->text.size() > kMaxPendingText) flushText(p, utf8Cut(p->text, p->text.size()));
}

void appendUtf8(std::string *out, unsigned cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | cp >> 6);
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | cp >> 12);
    *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | cp >> 18);
    *out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

xmlEntity *onGetEntity(void *ctx, const xmlChar *name) {
  Parse *p = self(ctx);
  if (!p->entities) return nullptr;
  if (xmlEntity *e = xmlGetDocEntity(p->entities.get(), name)) return e;
  const htmlEntityDesc *html = htmlEntityLookup(name);
  if (!html) return nullptr;
  std::string value;
  appendUtf8(&value, html->value);
  return xmlAddDocEntity(p->entities.get(), name, XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr,
                         reinterpret_cast<const xmlChar *>(value.c_str()));
}

// General entities of the document's own subset are kept; an external one
// is kept empty, so a reference to it is no error and reads nothing outside
// the file. Parameter entities are ignored.
void onEntityDecl(void *ctx, const xmlChar *name, int type, const xmlChar *publicId, const xmlChar *systemId,
                  xmlChar *content) {
  Parse *p = self(ctx);
  if (!p->entities || xmlGetDocEntity(p->entities.get(), name)) return;  // the first declaration counts
  if (type == XML_INTERNAL_GENERAL_ENTITY && content)
    xmlAddDocEntity(p->entities.get(), name, type, nullptr, nullptr, content);
  else if (type == XML_EXTERNAL_GENERAL_PARSED_ENTITY)
    xmlAddDocEntity(p->entities.get(), name, XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr,
                    reinterpret_cast<const xmlChar *>(""));
}

void onError(void *ctx, xmlError *error) {
  Parse *p = self(ctx);
  if (!error || error->level == XML_ERR_WARNING) return;
  if (p->errors++ < kMaxLoggedErrors)
    LOGW("%s:%d: %s", p->name, error->line, error->message ? error->message : "error\n");
}

// The XML handler (namespaces, entities), or with html the HTML parser's.
xmlSAXHandler makeHandler(bool html = false);

// Repairs the two faults of hand-made markup that stop libxml2 for good: a
// '<' that starts no tag ("a < b", the book-title marks "<<...>>") becomes
// "&#60;", and a '&' that starts no reference becomes "&#38;", so the text
// and every element after them still arrive. Comments, CDATA sections and
// the DOCTYPE pass untouched. Works on any ASCII-compatible encoding (GBK and Big5
// trail bytes are never '<' or '&'); UTF-16 input is passed through.
//
// Named references to the predefined and HTML entities become character
// references on the way: libxml2 drops every named reference once it has
// met an error, character references it keeps.
class StrayFilter {
 public:
  // Filters n bytes (more may follow unless last) into out; returns the
  // number of repairs.
  int feed(const char *data, size_t n, bool last, std::string *out) {
    std::string in;
    in.swap(carry_);
    in.append(data, n);
    out->clear();
    int repairs = 0;
    if (!checked_) {
      // A byte-order mark of UTF-16 or a zero byte among the first two: the
      // markup is not ASCII-compatible, leave it to libxml2.
      if (in.size() < 2 && !last) {
        carry_.swap(in);
        return 0;
      }
      checked_ = true;
      off_ = in.size() >= 2 && (in[0] == '\0' || in[1] == '\0' || (in[0] == '\xFF' && in[1] == '\xFE') ||
                                (in[0] == '\xFE' && in[1] == '\xFF'));
    }
    if (off_) {
      out->swap(in);
      return 0;
    }
    size_t i = 0;
    while (i < in.size()) {
      char c = in[i];
      if (state_ == kDoctype) {
        // The internal subset passes as it is: a reference in an entity
        // value means something else than in the text.
        if (c == '[') depth_++;
        if (c == ']' && depth_ > 0) depth_--;
        if (c == '>' && depth_ == 0) state_ = kText;
        *out += c;
        i++;
        continue;
      }
      if (state_ == kComment || state_ == kCdata) {
        char closer = state_ == kComment ? '-' : ']';
        if (c == '>' && run_ >= 2) state_ = kText;
        run_ = c == closer ? run_ + 1 : 0;
        *out += c;
        i++;
        continue;
      }
      if (c != '<' && c != '&') {
        *out += c;
        i++;
        continue;
      }
      size_t rest = in.size() - i;
      if (rest < 9 && !last &&
          (in.compare(i, std::string::npos, std::string("<![CDATA[").substr(0, rest)) == 0 ||
           in.compare(i, std::string::npos, std::string("<!DOCTYPE").substr(0, rest)) == 0)) {
        carry_ = in.substr(i);  // maybe a CDATA section or a DOCTYPE: wait for more
        return repairs;
      }
      if (rest < 2 && !last) {
        carry_ = in.substr(i);
        return repairs;
      }
      unsigned char next = rest >= 2 ? static_cast<unsigned char>(in[i + 1]) : 0;
      bool nameStart = (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '_' || next == ':';
      if (c == '&') {
        if (next == '#') {  // a character reference
          *out += c;
          i++;
          continue;
        }
        size_t j = i + 1;
        while (nameStart && j < in.size() && j - i <= kMaxEntityName && isNameChar(in[j])) j++;
        if (nameStart && j == in.size() && !last) {
          carry_ = in.substr(i);  // the name may go on in the next chunk
          return repairs;
        }
        if (nameStart && j < in.size() && in[j] == ';') {
          std::string name = in.substr(i + 1, j - i - 1);
          unsigned cp = knownEntity(name);
          *out += cp ? "&#" + std::to_string(cp) + ";" : in.substr(i, j + 1 - i);
          i = j + 1;
          continue;
        }
        *out += "&#38;";  // a '&' that starts no reference
        repairs++;
        i++;
        continue;
      }
      if (in.compare(i, 4, "<!--") == 0) {
        state_ = kComment;
        run_ = 0;
        *out += "<!--";
        i += 4;
      } else if (in.compare(i, 9, "<![CDATA[") == 0) {
        state_ = kCdata;
        run_ = 0;
        *out += "<![CDATA[";
        i += 9;
      } else if (in.compare(i, 9, "<!DOCTYPE") == 0) {
        state_ = kDoctype;
        depth_ = 0;
        *out += "<!DOCTYPE";
        i += 9;
      } else if (nameStart || next == '/' || next == '!' || next == '?') {
        *out += c;
        i++;
      } else {
        *out += "&#60;";
        repairs++;
        i++;
      }
    }
    return repairs;
  }

 private:
  static constexpr size_t kMaxEntityName = 32;

  static bool isNameChar(char ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
           c == '-' || c == '.' || c >= 0x80;
  }

  // Code point of a predefined or HTML entity, 0 for any other name.
  static unsigned knownEntity(const std::string &name) {
    static const struct {
      const char *name;
      unsigned cp;
    } predefined[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto &e : predefined)
      if (name == e.name) return e.cp;
    const htmlEntityDesc *html = htmlEntityLookup(reinterpret_cast<const xmlChar *>(name.c_str()));
    return html ? html->value : 0;
  }

  enum { kText, kComment, kCdata, kDoctype };
  std::string carry_;
  int state_ = kText;
  int depth_ = 0;  // '[' open in a DOCTYPE
  int run_ = 0;  // closing '-' or ']' seen in a row
  bool checked_ = false;
  bool off_ = false;
};

// The parse proper over a source of chunks: read(buffer, size) gives the
// next bytes, 0 at the end. first holds the first chunk.
int run(const char *name, XmlSaxCallbacks *state, const char *first, int firstLen,
        const std::function<int(char *, int)> &read) {
  Parse p;
  p.user = state;
  p.name = name;
  p.entities.reset(xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0")));
  if (p.entities) xmlCreateIntSubset(p.entities.get(), reinterpret_cast<const xmlChar *>("entities"), nullptr, nullptr);

  // The first chunk goes to the context (it decides the encoding); an
  // empty one is fine when the filter holds those bytes back.
  StrayFilter filter;
  std::string filtered;
  int repairs = filter.feed(first, static_cast<size_t>(firstLen), false, &filtered);
  xmlSAXHandler handler = makeHandler();
  std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt(
      xmlCreatePushParserCtxt(&handler, &p, filtered.data(), static_cast<int>(filtered.size()), name));
  if (!ctxt) {
    LOGE("xmlCreatePushParserCtxt fail: %s\n", name);
    return -3;
  }
  p.ctxt = ctxt.get();
  xmlCtxtUseOptions(p.ctxt, XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOWARNING);

  bool failed = false;
  bool end = false;
  char buffer[kChunk];
  while (!end) {
    if (stopped(&p)) return state->result;
    int n = read(buffer, kChunk);
    end = n <= 0;
    repairs += filter.feed(buffer, end ? 0 : static_cast<size_t>(n), end, &filtered);
    if (filtered.empty()) continue;
    int err = xmlParseChunk(p.ctxt, filtered.data(), static_cast<int>(filtered.size()), 0);
    if (stopped(&p)) return state->result;
    if (err != 0) {
      if (!failed) LOGW("xmlParseChunk error: %d\n", err);
      failed = true;
      if (err < 0) break;  // the parser gave up; what it delivered stands
      p.ctxt->errNo = 0;
    }
  }
  if (!stopped(&p)) {
    int err = xmlParseChunk(p.ctxt, nullptr, 0, 1);
    if (err != 0) {
      if (!failed) LOGW("xmlParseChunk error %d\n", err);
      failed = true;
    }
  }
  if (repairs) {
    LOGW("%s: %d stray '<' or '&' read as text\n", name, repairs);
    failed = true;
  }
  // Text at the end of a truncated file is still text.
  flushText(&p, p.text.size());
  if (stopped(&p)) return state->result;
  return failed || p.errors ? -3 : 0;
}

// HTML goes through libxml2's HTML parser, which knows what XML does not:
// elements that need no end tag, end tags that close several elements, the
// content of script and style as raw text up to its end tag, and every named
// entity. It recovers from anything and is fed UTF-8 only (the caller has
// converted the page); a charset named inside the page is ignored.
void onStartHtml(void *ctx, const xmlChar *name, const xmlChar **atts) {
  Parse *p = self(ctx);
  flushText(p, p->text.size());
  if (stopped(p) || !p->user->start_element) return;
  p->user->start_element(p->user, reinterpret_cast<const char *>(name), reinterpret_cast<const char **>(atts));
  checkStop(p);
}

void onEndHtml(void *ctx, const xmlChar *name) {
  Parse *p = self(ctx);
  flushText(p, p->text.size());
  if (stopped(p) || !p->user->end_element) return;
  p->user->end_element(p->user, reinterpret_cast<const char *>(name));
  checkStop(p);
}

void onErrorHtml(void *ctx, xmlError *error) {
  if (error && error->level != XML_ERR_WARNING) self(ctx)->errors++;
}

xmlSAXHandler makeHandler(bool html) {
  xmlSAXHandler h;
  std::memset(&h, 0, sizeof h);
  h.characters = onCharacters;
  h.cdataBlock = onCharacters;
  h.ignorableWhitespace = onCharacters;
  if (html) {
    h.startElement = onStartHtml;
    h.endElement = onEndHtml;
    h.serror = onErrorHtml;
    return h;
  }
  h.initialized = XML_SAX2_MAGIC;
  h.startElementNs = onStart;
  h.endElementNs = onEnd;
  h.getEntity = onGetEntity;
  h.entityDecl = onEntityDecl;
  h.serror = onError;
  return h;
}

void clearHead(XmlSaxCallbacks *state) {
  state->reserved1 = nullptr;
  state->result = 0;
  state->reserved2 = nullptr;
}

}  // namespace

int xml_sax_parse(const char *path, XmlSaxCallbacks *state) {
  if (!path || !state) return -1;
  clearHead(state);
  std::unique_ptr<FILE, FileClose> f(std::fopen(BoardPath(path).c_str(), "rb"));
  if (!f) {
    LOGW("can not open %s\n", path);
    return -4;
  }
  char first[kChunk];
  int n = static_cast<int>(std::fread(first, 1, sizeof first, f.get()));
  if (n <= 0) return -5;
  FILE *file = f.get();
  return run(path, state, first, n,
             [file](char *buf, int size) { return static_cast<int>(std::fread(buf, 1, static_cast<size_t>(size), file)); });
}

int xml_sax_parse_memory(const char *bytes, int length, const char *name, XmlSaxCallbacks *state) {
  if (!bytes || length < 0 || !state) return -1;
  clearHead(state);
  if (length == 0) return -5;
  int firstLen = length < kChunk ? length : kChunk;
  int pos = firstLen;
  return run(name ? name : "memory", state, bytes, firstLen, [&](char *buf, int size) {
    int n = length - pos < size ? length - pos : size;
    std::memcpy(buf, bytes + pos, static_cast<size_t>(n));
    pos += n;
    return n;
  });
}

int xml_sax_parse_stream(const char *name, XmlSaxCallbacks *state, int (*read)(void *source, char *buffer, int size),
                         void *source) {
  if (!read || !state) return -1;
  clearHead(state);
  char first[kChunk];
  int n = read(source, first, kChunk);
  if (n <= 0) return -5;
  return run(name ? name : "stream", state, first, n, [&](char *buf, int size) {
    int got = read(source, buf, size);
    return got > 0 ? got : 0;
  });
}

int html_sax_parse_memory(const char *bytes, int length, const char *name, XmlSaxCallbacks *state) {
  if (!bytes || length < 0 || !state) return -1;
  clearHead(state);
  if (length == 0) return -5;
  Parse p;
  p.user = state;
  p.name = name ? name : "memory";
  htmlSAXHandler handler = makeHandler(true);
  std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt(
      htmlCreatePushParserCtxt(&handler, &p, nullptr, 0, p.name, XML_CHAR_ENCODING_UTF8));
  if (!ctxt) {
    LOGE("htmlCreatePushParserCtxt fail: %s\n", p.name);
    return -3;
  }
  p.ctxt = ctxt.get();
  htmlCtxtUseOptions(p.ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                 HTML_PARSE_IGNORE_ENC);
  // Larger chunks than XML's: the HTML push parser looks ahead for the end
  // of a comment or a tag from the chunk's start each time.
  constexpr int kHtmlChunk = 64 * 1024;
  for (int pos = 0; pos < length; pos += kHtmlChunk) {
    int n = length - pos < kHtmlChunk ? length - pos : kHtmlChunk;
    htmlParseChunk(p.ctxt, bytes + pos, n, 0);
    if (stopped(&p)) return state->result;
  }
  htmlParseChunk(p.ctxt, nullptr, 0, 1);
  flushText(&p, p.text.size());
  if (stopped(&p)) return state->result;
  return p.errors ? -3 : 0;
}

const char *get_xml_attribute(const char **attributes, const char *name) {
  if (!attributes || !name) return nullptr;
  for (int i = 0; attributes[i]; i += 2)
    if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
  return nullptr;
}

const char *get_xml_attribute_caseless(const char **attributes, const char *name) {
  if (!attributes || !name) return nullptr;
  for (int i = 0; attributes[i]; i += 2)
    if (strcasecmp(attributes[i], name) == 0) return attributes[i + 1];
  return nullptr;
}

int get_no_white_space_len(const char *text, int length) {
  if (!text || length <= 0) return 0;
  while (length > 0) {
    unsigned char c = static_cast<unsigned char>(text[length - 1]);
    if (!((c >= 0x01 && c <= 0x0A) || c == 0x0D || c == ' ')) break;
    length--;
  }
  return length;
}
