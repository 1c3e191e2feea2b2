// The DAISY 3 navigator: the package gives the SMIL files (spine order), the
// NCX gives the navigation points and the pages; the navigator core
// (daisy_nav.h) does the rest.
#include "daisy/daisy3.h"

#include "core/runtime/log.h"
#include "daisy/daisy_nav.h"
#include "daisy/daisy_util.h"
#include "daisy/ncx.h"
#include "daisy/opf.h"
#include "ebook/string_array.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr char kLogSource[] = "daisy/daisy3.c";

struct Daisy3Info {
  daisynav::Book book;
  OpfInfo *opf = nullptr;  // metadata
  ~Daisy3Info() { OpfInfo_free(opf); }
};

Daisy3Info *g_book = nullptr;

struct NavFree {
  void operator()(NavInfo *n) const { NavInfo_free(n); }
};

void copyText(char *buf, int size, const char *text) {
  if (!text) text = "";
  size_t n = std::strlen(text);
  if (n >= static_cast<size_t>(size)) {
    n = static_cast<size_t>(size) - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) n--;
  }
  std::memcpy(buf, text, n);
  buf[n] = '\0';
}

// Dublin Core by element name, exactly and then ignoring case ("dc:Title"
// and "dc:title" both occur).
const char *dc(const OpfInfo *o, const char *name) {
  int i = opf_find_dcmetadata(o, name);
  if (i < 0) {
    int n = opf_get_dcmetadata_cnt(o);
    for (int k = 0; k < n && i < 0; k++)
      if (daisyutil::equalsNoCase(opf_get_dcmetadata_name(o, k), name)) i = k;
  }
  return i < 0 ? nullptr : opf_get_dcmetadata_content(o, i);
}

const char *xmeta(const OpfInfo *o, const char *name) {
  int i = opf_find_xmetadata(o, name);
  if (i < 0) {
    int n = opf_get_xmetadata_cnt(o);
    for (int k = 0; k < n && i < 0; k++)
      if (daisyutil::equalsNoCase(opf_get_xmetadata_name(o, k), name)) i = k;
  }
  return i < 0 ? nullptr : opf_get_xmetadata_content(o, i);
}

// The list the pages come from: the first page list with entries, else the
// first navigation list whose class says pages. -1 for none; *page_list
// tells which kind.
int pageListOf(const NavInfo *nav, bool *page_list) {
  *page_list = true;
  for (int i = 0; i < ncx_get_total_page_lists(nav); i++)
    if (ncx_get_page_list_total_refs(nav, i) > 0) return i;
  *page_list = false;
  int lists = ncx_get_total_nav_lists(nav);
  auto find = [&](auto match) {
    for (int i = 0; i < lists; i++) {
      const char *cls = ncx_get_nav_list_class(nav, i);
      if (cls && ncx_get_nav_list_total_refs(nav, i) > 0 && match(cls)) return i;
    }
    return -1;
  };
  int i = find([](const char *c) {
    return strcasecmp(c, "page") == 0 || strcasecmp(c, "pages") == 0 || strcasecmp(c, "pagenum") == 0;
  });
  if (i < 0) i = find([](const char *c) { return std::strncmp(c, "page ", 5) == 0; });
  if (i < 0) i = find([](const char *c) { return std::strncmp(c, "page", 4) == 0; });
  return i;
}

int readNcx(daisynav::Book &b, const std::string &path) {
  std::unique_ptr<NavInfo, NavFree> nav(NavInfo_new());
  if (!nav) return -2;
  int rc = ncx_parse(path.c_str(), nav.get());
  if (rc == -1 || rc == -2) return rc;
  if (rc == -4 || rc == -5) {
    LOGW("%s: no navigation (%d)\n", path.c_str(), rc);
    return 0;
  }
  if (ncx_get_total_nav_maps(nav.get()) > 0) {
    int n = ncx_get_nav_map_total_refs(nav.get(), 0);
    for (int j = 0; j < n; j++) {
      daisynav::Target t;
      b.resolve(ncx_get_nav_map_ref(nav.get(), 0, j), false, &t);
      t.level = ncx_get_nav_map_nav_point_level(nav.get(), 0, j);
      b.headings.push_back(t);
      const char *label = ncx_get_nav_map_ref_label(nav.get(), 0, j);
      b.heading_labels.emplace_back(label ? label : "");
      if (t.level > b.max_level) b.max_level = t.level;
    }
  }
  bool pageList = true;
  int list = pageListOf(nav.get(), &pageList);
  if (list < 0) return 0;
  int n = pageList ? ncx_get_page_list_total_refs(nav.get(), list) : ncx_get_nav_list_total_refs(nav.get(), list);
  for (int j = 0; j < n; j++) {
    const char *src = pageList ? ncx_get_page_list_ref(nav.get(), list, j) : ncx_get_nav_list_ref(nav.get(), list, j);
    const char *label =
        pageList ? ncx_get_page_list_ref_label(nav.get(), list, j) : ncx_get_nav_list_ref_label(nav.get(), list, j);
    daisynav::Target t;
    b.resolve(src, false, &t);
    t.level = 0;
    b.pages.push_back(t);
    if (StringArray_add(b.page_labels, label ? label : "") != 0) return -2;
  }
  return 0;
}

// Reads the book at opf_path into d: whole, or (quick) only to the clips
// of its first SMIL file (see Book::loadFirstSmil; 1: it has none there).
int build(Daisy3Info *d, const char *opf_path, bool quick) {
  daisynav::Book &b = d->book;
  if (!b.text_names || !b.page_labels) return -2;
  b.setDir(opf_path);
  d->opf = OpfInfo_new();
  if (!d->opf) return -2;
  int rc = opf_parse(opf_path, d->opf);
  if (rc < 0 && rc != -3) return rc;
  const OpfInfo *o = d->opf;
  if (opf_get_manifest_cnt(o) < 1 || opf_get_spine_cnt(o) < 1) return -102;

  int ncx = opf_find_manifest_id(o, "ncx");
  if (ncx < 0) ncx = opf_find_manifest_mediatype(o, "application/x-dtbncx+xml");
  for (int i = 0; i < opf_get_spine_cnt(o); i++) {
    int item = opf_find_manifest_id(o, opf_get_spine(o, i));
    if (item >= 0) b.smilIndex(opf_get_manifest_href(o, item), true);
  }
  if (b.smil_names.empty()) return -102;
  if (quick) {
    // The counts of pages and levels the navigation file gives (its
    // targets, unresolved without the SMIL files, are dropped).
    if (ncx >= 0 && readNcx(b, b.path(opf_get_manifest_href(o, ncx))) < 0) return -2;
    b.partial_pages = static_cast<int>(b.pages.size());
    b.partial_levels = b.max_level;
    b.pages.clear();
    b.headings.clear();
    b.heading_labels.clear();
    b.max_level = 0;
    StringArray_free(b.page_labels);
    b.page_labels = StringArray_new(2048, 128);
    return b.loadFirstSmil(1);
  }
  rc = b.loadSmils(1);
  if (rc < 0) return rc;
  if (ncx >= 0) {
    rc = readNcx(b, b.path(opf_get_manifest_href(o, ncx)));
    if (rc < 0) return rc;
  }
  b.fixAudioNames();
  rc = b.loadTexts(false);
  if (rc < 0) return rc;
  b.buildTimeline();
  return 0;
}

}  // namespace

int daisy3_get_title(const char *opf_path, char *buf, int size) {
  if (!opf_path || !buf || size < 2) return -1;
  buf[0] = '\0';
  OpfInfo *o = OpfInfo_new();
  if (!o) return -2;
  int rc = opf_parse(opf_path, o);
  if (rc == 0 || rc == -3) {
    copyText(buf, size, dc(o, "dc:Title"));
    rc = 0;
  }
  OpfInfo_free(o);
  return rc;
}

namespace {

Daisy3Info *g_old = nullptr;  // the tables a quick open began with (see Book::adopt)

// A new book record read from opf_path (quick: see build), or null with *rc
// set.
Daisy3Info *read(const char *opf_path, bool quick, int *rc, const std::atomic<bool> *stop = nullptr) {
  *rc = -1;
  if (!opf_path || !*opf_path) return nullptr;
  char last = opf_path[std::strlen(opf_path) - 1];
  *rc = -4;
  if (last == '/' || last == '\\') return nullptr;
  auto *d = new (std::nothrow) Daisy3Info;
  *rc = -2;
  if (!d) return nullptr;
  d->book.stop = stop;
  *rc = build(d, opf_path, quick);
  if (*rc < 0) {
    LOGW("%s: cannot open the book (%d)\n", opf_path, *rc);
    delete d;
    return nullptr;
  }
  return d;
}

}  // namespace

int daisy3_open(const char *opf_path) {
  daisy3_close();
  int rc = 0;
  g_book = read(opf_path, false, &rc);
  return g_book ? 0 : rc;
}

int daisy3_open_first(const char *opf_path) {
  daisy3_close();
  int rc = 0;
  g_book = read(opf_path, true, &rc);
  if (g_book && rc == 1) {
    daisy3_close();
    return daisy3_open(opf_path) == 0 ? 1 : -1;
  }
  return g_book ? 0 : rc;
}

void *daisy3_read_whole(const char *opf_path, int *rc, const std::atomic<bool> *stop) {
  return read(opf_path, false, rc, stop);
}

void daisy3_adopt(void *whole) {
  auto *w = static_cast<Daisy3Info *>(whole);
  if (!g_book || !w) {
    delete w;
    return;
  }
  w->book.stop = nullptr;
  g_book->book.adopt(w->book);
  std::swap(g_book->opf, w->opf);
  delete g_old;
  g_old = w;
}

void daisy3_discard(void *whole) { delete static_cast<Daisy3Info *>(whole); }

void daisy3_close(void) {
  delete g_book;
  g_book = nullptr;
  delete g_old;
  g_old = nullptr;
}

int daisy3_get_total_pages(void) {
  if (!g_book) return -1;
  return g_book->book.partial ? g_book->book.partial_pages : static_cast<int>(g_book->book.pages.size());
}
int daisy3_get_cur_page(void) { return g_book ? g_book->book.cur_page : -1; }
int daisy3_get_total_levels(void) {
  if (!g_book) return -1;
  return g_book->book.partial ? g_book->book.partial_levels : g_book->book.max_level;
}
int daisy3_get_total_nav_points(void) { return g_book ? static_cast<int>(g_book->book.headings.size()) : -1; }
int daisy3_get_cur_nav_point(void) { return g_book ? g_book->book.cur_heading : -1; }

int daisy3_start(DaisyPlayItem **out) { return g_book ? g_book->book.start(out) : -1; }
int daisy3_end(DaisyPlayItem **out) { return g_book ? g_book->book.end(out) : -1; }
int daisy3_continue(DaisyPlayItem **out) { return g_book ? g_book->book.continuePlay(out) : -1; }
int daisy3_next_phrase(DaisyPlayItem **out) { return g_book ? g_book->book.nextPhrase(out) : -1; }
int daisy3_last_phrase(DaisyPlayItem **out) { return g_book ? g_book->book.lastPhrase(out) : -1; }
int daisy3_next_par(DaisyPlayItem **out) { return g_book ? g_book->book.nextPar(out) : -1; }
int daisy3_last_par(DaisyPlayItem **out) { return g_book ? g_book->book.lastPar(out) : -1; }
int daisy3_replay_cur_par(DaisyPlayItem **out) { return g_book ? g_book->book.replayCurPar(out) : -1; }
int daisy3_goto_page(const char *label, DaisyPlayItem **out) { return g_book ? g_book->book.gotoPage(label, out) : -1; }
const char *daisy3_get_page_label(int i) { return g_book ? g_book->book.pageLabel(i) : nullptr; }
int daisy3_next_page(DaisyPlayItem **out) { return g_book ? g_book->book.nextPage(out) : -1; }
int daisy3_last_page(DaisyPlayItem **out) { return g_book ? g_book->book.lastPage(out) : -1; }

int daisy3_next_nav_point(int level, DaisyPlayItem **out) {
  return g_book ? g_book->book.nextNavPoint(level, out) : -1;
}

int daisy3_last_nav_point(int level, DaisyPlayItem **out) {
  return g_book ? g_book->book.lastNavPoint(level, out) : -1;
}

int daisy3_goto_nav_point(int n, DaisyPlayItem **out) { return g_book ? g_book->book.gotoNavPoint(n, out) : -1; }

int daisy3_get_publication_summary(DaisySummary *summary) {
  if (!g_book || !summary) return -1;
  const OpfInfo *o = g_book->opf;
  summary->title = dc(o, "dc:Title");
  summary->creator = dc(o, "dc:Creator");
  summary->publisher = dc(o, "dc:Publisher");
  summary->date = dc(o, "dc:Date");
  summary->format = dc(o, "dc:Format");
  summary->narrator = xmeta(o, "dtb:narrator");
  summary->total_time = xmeta(o, "dtb:totalTime");
  return 0;
}

int daisy3_get_book_mark_info(DaisyBookMarkInfo *info) { return g_book ? g_book->book.getBookMarkInfo(info) : -1; }

int daisy3_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out) {
  return g_book ? g_book->book.goToBookMark(position, out) : -1;
}

int daisy3_check_is_text_only_file(void) {
  if (!g_book) return -1;
  return !g_book->book.partial && g_book->book.total_ms < 1 ? 1 : 0;
}

int daisy3_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text) {
  if (!g_book || !out || !out_text) return -1;
  return g_book->book.timeJump(delta_ms, out, out_text);
}

int daisy3_set_audio_pos(int file_ms) { return g_book ? g_book->book.setAudioPos(file_ms) : -1; }
int daisy3_read_par_text(DaisyPlayItem **out) { return g_book ? g_book->book.readParText(out) : -1; }
int daisy3_get_cur_time(void) { return g_book ? g_book->book.curTime() : -1; }

int daisy3_get_time_left(int *section_ms, int *book_ms) {
  return g_book ? g_book->book.timeLeft(section_ms, book_ms) : -1;
}

int daisy3_get_chn_eng_cnt(int *chinese, int *english) {
  return g_book ? g_book->book.chnEngCount(chinese, english) : -1;
}

int daisy3_set_skip(int bits) {
  if (!g_book) return -1;
  g_book->book.skip_mask = static_cast<unsigned>(bits);
  return 0;
}

int daisy3_get_heading(int i, const char **label) { return g_book ? g_book->book.heading(i, label) : -1; }
