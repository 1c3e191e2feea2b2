// The text-document reader: each non-blank piece of character data between
// two tags is one chunk, and each element with an id owns the chunks
// collected between its start and end tags.
#include "daisy/xhtml_text.h"

#include "daisy/daisy_util.h"
#include "ebook/string_array.h"
#include "ebook/xml_sax.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr int kMaxOpen = 64;

struct XhtmlParse : XmlSaxCallbacks {
  XhtmlText *text = nullptr;
  int depth = 0;
  struct Open {
    int id;
    int depth;
  } open[kMaxOpen];
  int height = 0;
  int skipDepth = 0;  // depth of an open style or script element, 0 when none
};

void fail(XhtmlParse *p, int rc) {
  if (p->result == 0) p->result = rc == -2 ? -2 : -1;
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **atts) {
  auto *p = static_cast<XhtmlParse *>(state);
  if (p->result) return;
  XhtmlText *t = p->text;
  if (!t) {
    p->result = -1;
    return;
  }
  p->depth++;
  const char *local = daisyutil::localName(name);
  if (!p->skipDepth && (daisyutil::equalsNoCase(local, "style") || daisyutil::equalsNoCase(local, "script")))
    p->skipDepth = p->depth;
  if (p->height >= kMaxOpen) return;
  const char *id = get_xml_attribute_caseless(atts, "id");
  if (!id) return;
  if (t->count >= t->capacity) {
    int cap = t->capacity;
    bool ok = daisyutil::growArray(&t->first_string, &cap, t->step);
    cap = t->capacity;
    ok = ok && daisyutil::growArray(&t->end_string, &cap, t->step);
    if (!ok) {
      fail(p, -2);
      return;
    }
    t->capacity = cap;
  }
  int rc = StringArray_add(t->ids, id);
  if (rc != 0) {
    fail(p, rc);
    return;
  }
  t->first_string[t->count] = t->strings->count;
  t->end_string[t->count] = -1;
  p->open[p->height++] = {t->count, p->depth};
  t->count++;
}

void onCharacters(XmlSaxCallbacks *state, const char *text, int length) {
  auto *p = static_cast<XhtmlParse *>(state);
  if (p->result || !p->text || p->skipDepth) return;
  std::string_view chunk = daisyutil::trim(std::string_view(text, static_cast<size_t>(length > 0 ? length : 0)));
  if (chunk.empty()) return;
  int rc = StringArray_add_with_length(p->text->strings, chunk.data(), static_cast<int>(chunk.size()));
  if (rc != 0) fail(p, rc);
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = static_cast<XhtmlParse *>(state);
  if (p->result) return;
  if (!p->text) {
    p->result = -1;
    return;
  }
  if (p->height > 0 && p->open[p->height - 1].depth == p->depth) {
    p->height--;
    p->text->end_string[p->open[p->height].id] = p->text->strings->count;
  }
  if (p->skipDepth == p->depth) p->skipDepth = 0;
  p->depth--;
  if (p->depth < 0) p->result = -3;
}

}  // namespace

XhtmlText *XhtmlText_new(int file_size_bytes) {
  auto *t = static_cast<XhtmlText *>(std::calloc(1, sizeof(XhtmlText)));
  if (!t) return nullptr;
  int n = file_size_bytes > 0 ? file_size_bytes / 8 : 0;
  int size = 8192;
  while (size < n && size < 1048576) size *= 2;
  t->strings = StringArray_new(size, size / 16);
  t->ids = StringArray_new(size / 8, size / 32);
  t->step = size / 32;
  t->first_string = static_cast<int32_t *>(std::malloc(static_cast<size_t>(t->step) * sizeof(int32_t)));
  t->end_string = static_cast<int32_t *>(std::malloc(static_cast<size_t>(t->step) * sizeof(int32_t)));
  t->capacity = t->step;
  if (!t->strings || !t->ids || !t->first_string || !t->end_string) {
    XhtmlText_free(t);
    return nullptr;
  }
  return t;
}

void XhtmlText_free(XhtmlText *t) {
  if (!t) return;
  StringArray_free(t->strings);
  StringArray_free(t->ids);
  std::free(t->first_string);
  std::free(t->end_string);
  std::free(t);
}

int xhtml_parse(const char *path, XhtmlText *t) {
  if (!path || !t || !t->strings || !t->ids) return -1;
  XhtmlParse p{};
  p.text = t;
  p.on(onStart, onEnd, onCharacters);
  int rc = xml_sax_parse(path, &p);
  // Elements a damaged file never closed end with it.
  while (p.height > 0) {
    p.height--;
    t->end_string[p.open[p.height].id] = t->strings->count;
  }
  return rc;
}

int xhtml_text_find_id(const XhtmlText *t, const char *id, int from, int direction) {
  if (!t || !id) return -1;
  if (t->count <= 0 || !t->ids) return -101;
  if (from >= t->count) from = t->count - 1;
  if (from < 0) from = 0;
  int step = direction >= 0 ? 1 : -1;
  for (int i = from; i >= 0 && i < t->count; i += step) {
    const char *s = StringArray_get(t->ids, i);
    if (s && std::strcmp(s, id) == 0) return i;
  }
  return -101;
}

void xhtml_text_compact(XhtmlText *t) {
  if (!t) return;
  StringArray_free(t->ids);
  t->ids = nullptr;
  StringArray_shrink(t->strings);
  if (t->count > 0 && t->count < t->capacity) {
    const size_t bytes = static_cast<size_t>(t->count) * sizeof(int32_t);
    // A failed realloc keeps the larger table, which is no harm.
    if (auto *f = static_cast<int32_t *>(std::realloc(t->first_string, bytes))) t->first_string = f;
    if (auto *e = static_cast<int32_t *>(std::realloc(t->end_string, bytes))) t->end_string = e;
    t->capacity = t->count;  // both or either shrank; each still holds count entries
  }
}

const char *xhtml_text_get(const XhtmlText *t, int id_index, int n) {
  if (!t || id_index < 0 || id_index >= t->count) return nullptr;
  int first = t->first_string[id_index];
  int end = t->end_string[id_index];
  if (end < 0 || n < 0 || first + n >= end) return nullptr;
  return StringArray_get(t->strings, first + n);
}

int xhtml_text_get_total_ids(const XhtmlText *t) { return t ? t->count : -1; }

int xhtml_text_get_id_total_strings(const XhtmlText *t, int id_index) {
  if (!t || id_index < 0 || id_index >= t->count) return 0;
  int n = t->end_string[id_index] - t->first_string[id_index];
  return n > 0 ? n : 0;
}

int GetXhtmlTextChnEngCnt(const XhtmlText *t, int *chinese, int *english) {
  if (!t || !chinese || !english) return -1;
  *chinese = 0;
  *english = 0;
  if (!t->strings || !t->strings->text) return 0;
  const unsigned char *s = reinterpret_cast<const unsigned char *>(t->strings->text);
  int n = t->strings->text_used;
  for (int i = 0; i < n;) {
    unsigned c = s[i];
    unsigned cp;
    if (c < 0x80) {
      cp = c;
      i += 1;
    } else if (c < 0xE0) {
      cp = i + 1 < n ? ((c & 0x1F) << 6) | (s[i + 1] & 0x3F) : 0;
      i += 2;
    } else if (c < 0xF0) {
      cp = i + 2 < n ? ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F) : 0;
      i += 3;
    } else {
      cp = 0x10000;  // outside the basic plane: counted, not decoded
      i += 4;
    }
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z')) (*english)++;
    else if (cp >= 256) (*chinese)++;
  }
  return 0;
}
