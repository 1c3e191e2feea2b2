// The NCC reader. NCC files are XHTML in name only: many are hand-made HTML
// with unclosed meta elements, upper-case names, wrapper elements around
// the headings and anchors whose text is split by entities or inline
// elements. The reader therefore finds head, title and body by name at any
// depth, keeps its own stack of open elements, and takes each anchor's
// enclosing heading or span as the item, with all of the anchor's text as
// its label.
#include "daisy/ncc_html.h"

#include "core/runtime/log.h"
#include "daisy/daisy_util.h"
#include "ebook/string_array.h"
#include "ebook/xml_sax.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kLogSource[] = "daisy/ncc_html.c";
constexpr size_t kMaxStack = 256;
constexpr size_t kMaxName = 511;
constexpr size_t kMaxTitle = 4096;

using daisyutil::equalsNoCase;

struct Elem {
  std::string name;
  std::string cls;
};

struct NccParse : XmlSaxCallbacks {
  NccHtmlInfo *info = nullptr;
  int depth = 0;
  std::vector<Elem> stack;  // stack[d - 1] is the open element at depth d
  bool inHead = false, inTitle = false, titleSeen = false;
  bool bodySeen = false, bodyClosed = false;
  int headDepth = 0, titleDepth = 0, bodyDepth = 0;
  std::string title;
  bool inAnchor = false;
  int anchorDepth = 0;
  std::string itemName, itemClass, href, label;
};

void fail(NccParse *p, int rc) {
  if (p->result == 0) p->result = rc == -2 ? -2 : -1;
}

bool isHeading(const std::string &name) {
  return name.size() == 2 && (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6';
}

void addMeta(NccParse *p, const char **atts) {
  const char *name = get_xml_attribute_caseless(atts, "name");
  const char *content = get_xml_attribute_caseless(atts, "content");
  if (!name || !content) return;
  std::string value;
  daisyutil::appendCollapsed(&value, content);
  int rc = StringArray_add(p->info->meta_names, name);
  if (rc == 0) rc = StringArray_add(p->info->meta_contents, daisyutil::finishCollapsed(value).c_str());
  if (rc != 0) fail(p, rc);
}

// The anchor just opened at the top of the stack: choose its item.
void openAnchor(NccParse *p, const char *href) {
  if (p->stack.size() != static_cast<size_t>(p->depth)) return;  // deeper than the stack keeps
  // Elements strictly between the body (or the root of a body-less file)
  // and the anchor.
  size_t low = p->bodySeen ? static_cast<size_t>(p->bodyDepth) : 1;
  size_t top = p->stack.size() - 1;  // the anchor itself
  if (top <= low) return;            // an anchor straight in the body is no item
  const Elem *item = nullptr;
  for (size_t i = top; i-- > low && !item;)
    if (isHeading(p->stack[i].name)) item = &p->stack[i];
  for (size_t i = top; i-- > low && !item;)
    if (equalsNoCase(p->stack[i].name.c_str(), "span")) item = &p->stack[i];
  if (!item) item = &p->stack[low];
  if (item->name.empty() || item->name.size() > kMaxName || item->cls.size() > kMaxName) return;
  p->inAnchor = true;
  p->anchorDepth = p->depth;
  p->itemName = item->name;
  p->itemClass = item->cls;
  p->href = href;
  p->label.clear();
}

void commitAnchor(NccParse *p) {
  p->inAnchor = false;
  NccHtmlInfo *info = p->info;
  int rc = StringArray_add(info->header_names, p->itemName.c_str());
  if (rc == 0) rc = StringArray_add(info->header_classes, p->itemClass.c_str());
  if (rc == 0) rc = StringArray_add(info->header_hrefs, p->href.c_str());
  if (rc == 0) rc = StringArray_add(info->header_labels, daisyutil::finishCollapsed(p->label).c_str());
  if (rc != 0) fail(p, rc);
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **atts) {
  auto *p = daisyutil::enterElement(static_cast<NccParse *>(state), &NccParse::info);
  if (!p) return;
  const char *local = daisyutil::localName(name);
  if (p->stack.size() < kMaxStack && p->stack.size() + 1 == static_cast<size_t>(p->depth)) {
    const char *cls = get_xml_attribute_caseless(atts, "class");
    p->stack.push_back({local, cls ? cls : ""});
  }
  if (p->depth == 1 || p->bodyClosed) return;
  if (!p->bodySeen) {
    if (equalsNoCase(local, "body")) {
      p->bodySeen = true;
      p->bodyDepth = p->depth;
      p->inHead = false;
      return;
    }
    if (equalsNoCase(local, "head")) {
      p->inHead = true;
      p->headDepth = p->depth;
      return;
    }
    if (equalsNoCase(local, "title")) {
      if (!p->titleSeen && !p->inTitle) {
        p->inTitle = true;
        p->titleDepth = p->depth;
      }
      return;
    }
    if (equalsNoCase(local, "meta")) {
      addMeta(p, atts);
      return;
    }
    if (p->inHead) return;
  }
  if (!p->inAnchor && equalsNoCase(local, "a")) {
    if (const char *href = get_xml_attribute_caseless(atts, "href")) openAnchor(p, href);
  }
}

void onCharacters(XmlSaxCallbacks *state, const char *text, int length) {
  auto *p = static_cast<NccParse *>(state);
  if (p->result || length <= 0) return;
  std::string_view piece(text, static_cast<size_t>(length));
  if (p->inTitle && p->title.size() < kMaxTitle) p->title.append(piece.substr(0, kMaxTitle - p->title.size()));
  if (p->inAnchor) daisyutil::appendCollapsed(&p->label, piece);
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = static_cast<NccParse *>(state);
  if (p->result) return;
  if (!p->info) {
    p->result = -1;
    return;
  }
  if (p->inTitle && p->depth == p->titleDepth) {
    p->inTitle = false;
    p->titleSeen = true;
  }
  if (p->inAnchor && p->depth == p->anchorDepth) commitAnchor(p);
  if (p->inHead && p->depth == p->headDepth) p->inHead = false;
  if (p->bodySeen && p->depth == p->bodyDepth) p->bodyClosed = true;
  if (p->stack.size() == static_cast<size_t>(p->depth)) p->stack.pop_back();
  p->depth--;
  if (p->depth < 0) p->result = -3;
}

}  // namespace

NccHtmlInfo *NccHtmlInfo_new(void) {
  auto *n = static_cast<NccHtmlInfo *>(std::calloc(1, sizeof(NccHtmlInfo)));
  if (!n) return nullptr;
  n->meta_names = StringArray_new(1024, 32);
  n->meta_contents = StringArray_new(1024, 32);
  n->header_names = StringArray_new(4096, 128);
  n->header_classes = StringArray_new(4096, 128);
  n->header_hrefs = StringArray_new(4096, 128);
  n->header_labels = StringArray_new(4096, 128);
  if (!n->meta_names || !n->meta_contents || !n->header_names || !n->header_classes || !n->header_hrefs ||
      !n->header_labels) {
    NccHtmlInfo_free(n);
    return nullptr;
  }
  return n;
}

void NccHtmlInfo_free(NccHtmlInfo *n) {
  if (!n) return;
  std::free(n->title);
  StringArray_free(n->meta_names);
  StringArray_free(n->meta_contents);
  StringArray_free(n->header_names);
  StringArray_free(n->header_classes);
  StringArray_free(n->header_hrefs);
  StringArray_free(n->header_labels);
  std::free(n);
}

int ncc_html_parse(const char *path, NccHtmlInfo *info) {
  if (!path || !info || !info->meta_names || !info->header_names) return -1;
  NccParse p{};
  p.info = info;
  p.on(onStart, onEnd, onCharacters);
  int rc = xml_sax_parse(path, &p);
  if (rc == -1 || rc == -2) return rc;
  // A file cut short: the anchor and title it was in still count.
  if (p.inAnchor) commitAnchor(&p);
  if (p.result == -1 || p.result == -2) return p.result;
  if (p.titleSeen || p.inTitle) {
    std::string collapsed;
    daisyutil::appendCollapsed(&collapsed, p.title);
    collapsed = daisyutil::finishCollapsed(collapsed);
    std::free(info->title);
    info->title = strdup(collapsed.c_str());
    if (!info->title) return -2;
  }
  if (rc != 0) LOGW("%s: read with errors (%d)\n", path, rc);
  return rc;
}

int NccHtmlInfo_get_total_metas(const NccHtmlInfo *info) {
  if (!info) return -1;
  int n = StringArray_get_cnt(info->meta_names);
  return n == StringArray_get_cnt(info->meta_contents) ? n : -1;
}

const char *NccHtmlInfo_find_meta(const NccHtmlInfo *info, const char *name) {
  if (!info || !name) return nullptr;
  int i = StringArray_find(info->meta_names, name);
  return i < 0 ? nullptr : StringArray_get(info->meta_contents, i);
}

const char *NccHtmlInfo_get_meta_name(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->meta_names, i) : nullptr;
}

const char *NccHtmlInfo_get_meta_content(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->meta_contents, i) : nullptr;
}

int NccHtmlInfo_get_total_headers(const NccHtmlInfo *info) {
  if (!info) return -1;
  int n = StringArray_get_cnt(info->header_names);
  if (n != StringArray_get_cnt(info->header_classes) || n != StringArray_get_cnt(info->header_hrefs)) return -1;
  return n;
}

const char *NccHtmlInfo_get_header_name(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->header_names, i) : nullptr;
}

const char *NccHtmlInfo_get_header_class(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->header_classes, i) : nullptr;
}

const char *NccHtmlInfo_get_header_href(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->header_hrefs, i) : nullptr;
}

const char *NccHtmlInfo_get_header_label(const NccHtmlInfo *info, int i) {
  return info ? StringArray_get(info->header_labels, i) : nullptr;
}
