// The OPF reader: a state machine over metadata, manifest and spine.
#include "daisy/opf.h"

#include "daisy/daisy_util.h"
#include "ebook/string_array.h"
#include "ebook/xml_sax.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using daisyutil::equalsNoCase;

constexpr int kTextMax = 1024;

enum { kOutside, kRoot, kMetadata, kDcMetadata, kDcElement, kXMetadata, kManifest, kSpine };

struct OpfParse : XmlSaxCallbacks {
  OpfInfo *opf = nullptr;
  int depth = 0;
  int state = kOutside;
  int dcDepth = 0;     // depth of the open Dublin Core element
  int dcReturn = 0;    // state to return to after it
  char text[kTextMax];
  int fill = 0;
};

void fail(OpfParse *p, int rc) {
  if (p->result == 0) p->result = rc == -2 ? -2 : -1;
}

void add(OpfParse *p, StringArray *a, const char *s) {
  int rc = StringArray_add(a, s);
  if (rc != 0) fail(p, rc);
}

void startDc(OpfParse *p, const char *name) {
  add(p, p->opf->dc_names, name);
  p->fill = 0;
  p->dcReturn = p->state;
  p->dcDepth = p->depth;
  p->state = kDcElement;
}

void addMeta(OpfParse *p, const char **atts) {
  const char *name = get_xml_attribute(atts, "name");
  const char *content = get_xml_attribute(atts, "content");
  if (!name || !content) return;
  add(p, p->opf->x_names, name);
  add(p, p->opf->x_contents, content);
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **atts) {
  auto *p = daisyutil::enterElement(static_cast<OpfParse *>(state), &OpfParse::opf);
  if (!p) return;
  const char *local = daisyutil::localName(name);
  switch (p->state) {
    case kOutside:
      p->state = kRoot;
      break;
    case kRoot:
      if (p->depth != 2) break;
      if (equalsNoCase(local, "metadata")) p->state = kMetadata;
      else if (equalsNoCase(local, "manifest")) p->state = kManifest;
      else if (equalsNoCase(local, "spine")) p->state = kSpine;
      break;
    case kMetadata:
      if (p->depth != 3) break;
      if (equalsNoCase(local, "dc-metadata")) p->state = kDcMetadata;
      else if (equalsNoCase(local, "x-metadata")) p->state = kXMetadata;
      // Packages without the two wrappers put both kinds straight here.
      else if (strncasecmp(name, "dc:", 3) == 0) startDc(p, name);
      else if (equalsNoCase(local, "meta")) addMeta(p, atts);
      break;
    case kDcMetadata:
      if (p->depth == 4) startDc(p, name);
      break;
    case kXMetadata:
      if (p->depth == 4 && equalsNoCase(local, "meta")) addMeta(p, atts);
      break;
    case kManifest:
      if (p->depth == 3 && equalsNoCase(local, "item")) {
        const char *id = get_xml_attribute(atts, "id");
        const char *href = get_xml_attribute(atts, "href");
        const char *type = get_xml_attribute(atts, "media-type");
        if (id && href && type) {
          add(p, p->opf->manifest_ids, id);
          add(p, p->opf->manifest_hrefs, href);
          add(p, p->opf->manifest_types, type);
        }
      }
      break;
    case kSpine:
      if (p->depth == 3 && equalsNoCase(local, "itemref")) {
        if (const char *idref = get_xml_attribute(atts, "idref")) add(p, p->opf->spine, idref);
      }
      break;
  }
}

void onCharacters(XmlSaxCallbacks *state, const char *text, int length) {
  auto *p = static_cast<OpfParse *>(state);
  if (p->result || p->state != kDcElement || length <= 0) return;
  int room = kTextMax - p->fill;
  int n = length < room ? length : room;
  std::memcpy(p->text + p->fill, text, static_cast<size_t>(n));
  p->fill += n;
}

void endDc(OpfParse *p) {
  if (p->fill == kTextMax) {
    // Cut to the buffer: drop a character the cut went through.
    int lead = p->fill;
    while (lead > 0 && (static_cast<unsigned char>(p->text[lead - 1]) & 0xC0) == 0x80) lead--;
    if (lead > 0 && static_cast<unsigned char>(p->text[lead - 1]) >= 0xC0) {
      unsigned char c = static_cast<unsigned char>(p->text[lead - 1]);
      int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      if (lead - 1 + len > p->fill) p->fill = lead - 1;
    }
  }
  std::string_view value = daisyutil::trim(std::string_view(p->text, static_cast<size_t>(p->fill)));
  int rc = StringArray_add_with_length(p->opf->dc_contents, value.data(), static_cast<int>(value.size()));
  if (rc != 0) fail(p, rc);
  p->state = p->dcReturn;
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = static_cast<OpfParse *>(state);
  if (p->result) return;
  if (!p->opf) {
    p->result = -1;
    return;
  }
  if (p->depth < 1) {
    p->result = -3;
    return;
  }
  switch (p->state) {
    case kRoot:
      if (p->depth == 1) p->state = kOutside;
      break;
    case kMetadata:
    case kManifest:
    case kSpine:
      if (p->depth == 2) p->state = kRoot;
      break;
    case kDcMetadata:
    case kXMetadata:
      if (p->depth == 3) p->state = kMetadata;
      break;
    case kDcElement:
      if (p->depth == p->dcDepth) endDc(p);
      break;
  }
  p->depth--;
}

}  // namespace

OpfInfo *OpfInfo_new(void) {
  auto *o = static_cast<OpfInfo *>(std::calloc(1, sizeof(OpfInfo)));
  if (!o) return nullptr;
  StringArray **all[] = {&o->dc_names,     &o->dc_contents,    &o->x_names,        &o->x_contents,
                         &o->manifest_ids, &o->manifest_hrefs, &o->manifest_types, &o->spine};
  for (StringArray **a : all) {
    *a = StringArray_new(2048, 64);
    if (!*a) {
      OpfInfo_free(o);
      return nullptr;
    }
  }
  return o;
}

void OpfInfo_free(OpfInfo *o) {
  if (!o) return;
  StringArray *all[] = {o->dc_names,     o->dc_contents,    o->x_names,        o->x_contents,
                        o->manifest_ids, o->manifest_hrefs, o->manifest_types, o->spine};
  for (StringArray *a : all) StringArray_free(a);
  std::free(o);
}

int opf_parse(const char *path, OpfInfo *o) {
  if (!path || !o || !o->dc_names || !o->spine) return -1;
  OpfParse p{};
  p.opf = o;
  p.on(onStart, onEnd, onCharacters);
  int rc = xml_sax_parse(path, &p);
  // A file cut inside a Dublin Core element: keep its name and text paired.
  if (rc != -1 && rc != -2 && p.state == kDcElement) endDc(&p);
  if (p.result == -1 || p.result == -2) return p.result;
  return rc;
}

int opf_get_dcmetadata_cnt(const OpfInfo *o) {
  if (!o) return -1;
  int n = StringArray_get_cnt(o->dc_names);
  return n == StringArray_get_cnt(o->dc_contents) ? n : -1;
}

int opf_get_xmetadata_cnt(const OpfInfo *o) {
  if (!o) return -1;
  int n = StringArray_get_cnt(o->x_names);
  return n == StringArray_get_cnt(o->x_contents) ? n : -1;
}

int opf_get_manifest_cnt(const OpfInfo *o) {
  if (!o) return -1;
  int n = StringArray_get_cnt(o->manifest_ids);
  if (n != StringArray_get_cnt(o->manifest_hrefs) || n != StringArray_get_cnt(o->manifest_types)) return -1;
  return n;
}

int opf_get_spine_cnt(const OpfInfo *o) { return o ? StringArray_get_cnt(o->spine) : -1; }

const char *opf_get_dcmetadata_name(const OpfInfo *o, int i) { return o ? StringArray_get(o->dc_names, i) : nullptr; }
const char *opf_get_dcmetadata_content(const OpfInfo *o, int i) {
  return o ? StringArray_get(o->dc_contents, i) : nullptr;
}
const char *opf_get_xmetadata_name(const OpfInfo *o, int i) { return o ? StringArray_get(o->x_names, i) : nullptr; }
const char *opf_get_xmetadata_content(const OpfInfo *o, int i) {
  return o ? StringArray_get(o->x_contents, i) : nullptr;
}
const char *opf_get_manifest_id(const OpfInfo *o, int i) { return o ? StringArray_get(o->manifest_ids, i) : nullptr; }
const char *opf_get_manifest_href(const OpfInfo *o, int i) {
  return o ? StringArray_get(o->manifest_hrefs, i) : nullptr;
}
const char *opf_get_manifest_mediatype(const OpfInfo *o, int i) {
  return o ? StringArray_get(o->manifest_types, i) : nullptr;
}
const char *opf_get_spine(const OpfInfo *o, int i) { return o ? StringArray_get(o->spine, i) : nullptr; }

namespace {

int findIn(const StringArray *a, const char *s) {
  if (!a || !s) return -1;
  int i = StringArray_find(a, s);
  return i < 0 ? -101 : i;
}

}  // namespace

int opf_find_dcmetadata(const OpfInfo *o, const char *name) { return o ? findIn(o->dc_names, name) : -1; }
int opf_find_xmetadata(const OpfInfo *o, const char *name) { return o ? findIn(o->x_names, name) : -1; }
int opf_find_manifest_id(const OpfInfo *o, const char *id) { return o ? findIn(o->manifest_ids, id) : -1; }
int opf_find_manifest_mediatype(const OpfInfo *o, const char *type) {
  return o ? findIn(o->manifest_types, type) : -1;
}
