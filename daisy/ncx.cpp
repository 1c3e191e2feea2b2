// The NCX reader: a state machine over the list elements directly below
// the root. Navigation points are counted by nesting; a page or navigation
// target is kept once it ends, with its content src and its label together,
// so labels and srcs of a list always pair up.
#include "daisy/ncx.h"

#include "daisy/daisy_util.h"
#include "ebook/string_array.h"
#include "ebook/xml_sax.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using daisyutil::equalsNoCase;

enum { kOutside = 0, kNcx = 1, kNavMap = 2, kPageList = 3, kNavList = 4, kPageTarget = 6, kNavTarget = 7 };

struct NcxParse : XmlSaxCallbacks {
  NavInfo *nav = nullptr;
  int depth = 0;
  int state = kOutside;
  int level = 0;  // navPoint nesting inside the current map
  // The target being read.
  bool haveSrc = false, haveLabel = false;
  int labelDepth = 0;  // depth of its navLabel while open
  int textDepth = 0;   // depth of the label's text element while open
  std::string src, label;
};

void fail(NcxParse *p, int rc) {
  if (p->result == 0) p->result = rc == -2 ? -2 : -1;
}

template <typename T>
bool append(T ***array, int *count, int *capacity, T *item) {
  if (*count >= *capacity && !daisyutil::growArray(array, capacity, 8)) return false;
  (*array)[(*count)++] = item;
  return true;
}

void freeList(NavTargetList *l) {
  if (!l) return;
  std::free(l->class_name);
  StringArray_free(l->srcs);
  StringArray_free(l->labels);
  std::free(l);
}

void freeMap(NavMapRec *m) {
  if (!m) return;
  StringArray_free(m->srcs);
  StringArray_free(m->labels);
  std::free(m->levels);
  std::free(m);
}

bool addList(NcxParse *p, bool page, const char **atts) {
  auto *l = static_cast<NavTargetList *>(std::calloc(1, sizeof(NavTargetList)));
  if (!l) return false;
  const char *cls = get_xml_attribute(atts, "class");
  l->class_name = cls ? strdup(cls) : nullptr;
  l->srcs = StringArray_new(2048, 128);
  l->labels = StringArray_new(2048, 128);
  NavInfo *n = p->nav;
  bool ok = (!cls || l->class_name) && l->srcs && l->labels &&
            (page ? append(&n->page_lists, &n->page_list_count, &n->page_list_capacity, l)
                  : append(&n->nav_lists, &n->nav_list_count, &n->nav_list_capacity, l));
  if (!ok) freeList(l);
  return ok;
}

bool addMap(NcxParse *p) {
  auto *m = static_cast<NavMapRec *>(std::calloc(1, sizeof(NavMapRec)));
  if (!m) return false;
  m->srcs = StringArray_new(2048, 128);
  m->labels = StringArray_new(2048, 128);
  m->levels = static_cast<int32_t *>(std::malloc(128 * sizeof(int32_t)));
  m->levels_capacity = 128;
  NavInfo *n = p->nav;
  bool ok = m->srcs && m->labels && m->levels && append(&n->nav_maps, &n->nav_map_count, &n->nav_map_capacity, m);
  if (!ok) freeMap(m);
  return ok;
}

void addNavPoint(NcxParse *p, const char *src) {
  if (p->nav->nav_map_count == 0) {
    fail(p, -1);
    return;
  }
  NavMapRec *m = p->nav->nav_maps[p->nav->nav_map_count - 1];
  int count = m->srcs->count;
  if (count >= m->levels_capacity && !daisyutil::growArray(&m->levels, &m->levels_capacity, 128)) {
    fail(p, -2);
    return;
  }
  int rc = StringArray_add(m->srcs, src);
  // A navPoint's label stands before its content.
  if (rc == 0) rc = StringArray_add(m->labels, p->haveLabel ? p->label.c_str() : "");
  if (rc != 0) {
    fail(p, rc);
    return;
  }
  m->levels[count] = p->level;
}

void commitTarget(NcxParse *p) {
  bool page = p->state == kPageTarget;
  int count = page ? p->nav->page_list_count : p->nav->nav_list_count;
  if (!p->haveSrc || count == 0) return;
  NavTargetList *l = page ? p->nav->page_lists[count - 1] : p->nav->nav_lists[count - 1];
  int rc = StringArray_add(l->srcs, p->src.c_str());
  if (rc == 0) rc = StringArray_add(l->labels, p->haveLabel ? p->label.c_str() : "");
  if (rc != 0) fail(p, rc);
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **atts) {
  auto *p = daisyutil::enterElement(static_cast<NcxParse *>(state), &NcxParse::nav);
  if (!p) return;
  const char *local = daisyutil::localName(name);
  switch (p->state) {
    case kOutside:
      if (p->depth == 1) p->state = kNcx;
      break;
    case kNcx:
      if (p->depth != 2) break;
      if (equalsNoCase(local, "navMap")) {
        if (!addMap(p)) fail(p, -2);
        p->level = 0;
        p->state = kNavMap;
      } else if (equalsNoCase(local, "pageList")) {
        if (!addList(p, true, atts)) fail(p, -2);
        p->state = kPageList;
      } else if (equalsNoCase(local, "navList")) {
        if (!addList(p, false, atts)) fail(p, -2);
        p->state = kNavList;
      }
      break;
    case kNavMap:
      if (equalsNoCase(local, "navPoint")) {
        p->level++;
        p->haveLabel = false;
        p->label.clear();
      } else if (equalsNoCase(local, "navLabel")) {
        p->labelDepth = p->depth;
      } else if (p->labelDepth && p->depth == p->labelDepth + 1 && equalsNoCase(local, "text")) {
        p->textDepth = p->depth;
      } else if (equalsNoCase(local, "content") && p->level >= 1) {
        if (const char *src = get_xml_attribute(atts, "src")) addNavPoint(p, src);
      }
      break;
    case kPageList:
    case kNavList:
      if (p->depth == 3 && equalsNoCase(local, p->state == kPageList ? "pageTarget" : "navTarget")) {
        p->state = p->state == kPageList ? kPageTarget : kNavTarget;
        p->haveSrc = p->haveLabel = false;
        p->labelDepth = p->textDepth = 0;
        p->src.clear();
        p->label.clear();
      }
      break;
    case kPageTarget:
    case kNavTarget:
      if (p->depth == 4 && equalsNoCase(local, "navLabel")) {
        p->labelDepth = p->depth;
      } else if (p->depth == 4 && equalsNoCase(local, "content")) {
        const char *src = get_xml_attribute(atts, "src");
        if (src && !p->haveSrc) {
          p->src = src;
          p->haveSrc = true;
        }
      } else if (p->labelDepth && p->depth == p->labelDepth + 1 && equalsNoCase(local, "text")) {
        p->textDepth = p->depth;
      }
      break;
  }
}

void onCharacters(XmlSaxCallbacks *state, const char *text, int length) {
  auto *p = static_cast<NcxParse *>(state);
  if (p->result || !p->textDepth || p->haveLabel || length <= 0) return;
  std::string label;
  daisyutil::appendCollapsed(&label, std::string_view(text, static_cast<size_t>(length)));
  label = daisyutil::finishCollapsed(label);
  if (label.empty()) return;
  p->label = label;
  p->haveLabel = true;
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = static_cast<NcxParse *>(state);
  if (p->result) return;
  if (!p->nav) {
    p->result = -1;
    return;
  }
  if (p->depth < 1) {
    p->result = -3;
    return;
  }
  const char *local = daisyutil::localName(name);
  switch (p->state) {
    case kNcx:
      if (p->depth == 1) p->state = kOutside;
      break;
    case kNavMap:
      if (p->textDepth == p->depth) p->textDepth = 0;
      if (p->labelDepth == p->depth) p->labelDepth = 0;
      if (p->depth == 2) p->state = kNcx;
      else if (equalsNoCase(local, "navPoint") && p->level > 0) p->level--;
      break;
    case kPageList:
    case kNavList:
      if (p->depth == 2) p->state = kNcx;
      break;
    case kPageTarget:
    case kNavTarget:
      if (p->textDepth == p->depth) p->textDepth = 0;
      if (p->labelDepth == p->depth) p->labelDepth = 0;
      if (p->depth == 3) {
        commitTarget(p);
        p->state = p->state == kPageTarget ? kPageList : kNavList;
      } else if (p->depth < 3) {
        p->state = kNcx;  // the list ended inside a target: the file is damaged
      }
      break;
  }
  p->depth--;
}

const NavTargetList *listAt(NavTargetList *const *lists, int count, int i) {
  return lists && i >= 0 && i < count ? lists[i] : nullptr;
}

}  // namespace

NavInfo *NavInfo_new(void) { return static_cast<NavInfo *>(std::calloc(1, sizeof(NavInfo))); }

void NavInfo_free(NavInfo *n) {
  if (!n) return;
  for (int i = 0; i < n->nav_map_count; i++) freeMap(n->nav_maps[i]);
  for (int i = 0; i < n->page_list_count; i++) freeList(n->page_lists[i]);
  for (int i = 0; i < n->nav_list_count; i++) freeList(n->nav_lists[i]);
  std::free(n->nav_maps);
  std::free(n->page_lists);
  std::free(n->nav_lists);
  std::free(n);
}

int ncx_parse(const char *path, NavInfo *n) {
  if (!path || !n) return -1;
  NcxParse p{};
  p.nav = n;
  p.on(onStart, onEnd, onCharacters);
  int rc = xml_sax_parse(path, &p);
  // A file cut inside a target still gives that target.
  if (rc != -1 && rc != -2 && (p.state == kPageTarget || p.state == kNavTarget)) commitTarget(&p);
  if (p.result == -1 || p.result == -2) return p.result;
  return rc;
}

int ncx_get_total_nav_maps(const NavInfo *n) { return n ? n->nav_map_count : -1; }
int ncx_get_total_page_lists(const NavInfo *n) { return n ? n->page_list_count : -1; }
int ncx_get_total_nav_lists(const NavInfo *n) { return n ? n->nav_list_count : -1; }

const char *ncx_get_page_list_class(const NavInfo *n, int i) {
  const NavTargetList *l = n ? listAt(n->page_lists, n->page_list_count, i) : nullptr;
  return l ? l->class_name : nullptr;
}

const char *ncx_get_nav_list_class(const NavInfo *n, int i) {
  const NavTargetList *l = n ? listAt(n->nav_lists, n->nav_list_count, i) : nullptr;
  return l ? l->class_name : nullptr;
}

int ncx_get_nav_map_total_refs(const NavInfo *n, int i) {
  if (!n || i < 0 || i >= n->nav_map_count) return -1;
  return n->nav_maps[i]->srcs->count;
}

int ncx_get_page_list_total_refs(const NavInfo *n, int i) {
  const NavTargetList *l = n ? listAt(n->page_lists, n->page_list_count, i) : nullptr;
  return l ? l->srcs->count : -1;
}

int ncx_get_nav_list_total_refs(const NavInfo *n, int i) {
  const NavTargetList *l = n ? listAt(n->nav_lists, n->nav_list_count, i) : nullptr;
  return l ? l->srcs->count : -1;
}

int ncx_get_nav_map_nav_point_level(const NavInfo *n, int map, int j) {
  if (!n || map < 0 || map >= n->nav_map_count) return -1;
  const NavMapRec *m = n->nav_maps[map];
  return j >= 0 && j < m->srcs->count ? m->levels[j] : -1;
}

const char *ncx_get_nav_map_ref(const NavInfo *n, int map, int j) {
  if (!n || map < 0 || map >= n->nav_map_count) return nullptr;
  return StringArray_get(n->nav_maps[map]->srcs, j);
}

const char *ncx_get_page_list_ref(const NavInfo *n, int list, int j) {
  const NavTargetList *l = n ? listAt(n->page_lists, n->page_list_count, list) : nullptr;
  return l ? StringArray_get(l->srcs, j) : nullptr;
}

const char *ncx_get_nav_list_ref(const NavInfo *n, int list, int j) {
  const NavTargetList *l = n ? listAt(n->nav_lists, n->nav_list_count, list) : nullptr;
  return l ? StringArray_get(l->srcs, j) : nullptr;
}

const char *ncx_get_page_list_ref_label(const NavInfo *n, int list, int j) {
  const NavTargetList *l = n ? listAt(n->page_lists, n->page_list_count, list) : nullptr;
  return l ? StringArray_get(l->labels, j) : nullptr;
}

const char *ncx_get_nav_map_ref_label(const NavInfo *n, int map, int j) {
  const NavMapRec *m = n && map >= 0 && map < n->nav_map_count ? n->nav_maps[map] : nullptr;
  return m ? StringArray_get(m->labels, j) : nullptr;
}

const char *ncx_get_nav_list_ref_label(const NavInfo *n, int list, int j) {
  const NavTargetList *l = n ? listAt(n->nav_lists, n->nav_list_count, list) : nullptr;
  return l ? StringArray_get(l->labels, j) : nullptr;
}
