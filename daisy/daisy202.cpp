// The DAISY 2.02 navigator: the NCC gives the SMIL files (in order of first
// mention), the headings and the pages; the navigator core (daisy_nav.h)
// does the rest.
#include "daisy/daisy202.h"

#include "core/runtime/log.h"
#include "daisy/daisy_nav.h"
#include "daisy/daisy_util.h"
#include "daisy/ncc_html.h"
#include "ebook/string_array.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr char kLogSource[] = "daisy/daisy202.c";

enum {
  kItemSpan = 2,
  kItemPageFront = 3,
  kItemPageNormal = 4,
  kItemPageSpecial = 5,
  kItemH1 = 10,
  kItemOther = 200,
};

struct Daisy202Info {
  daisynav::Book book;
  NccHtmlInfo *ncc = nullptr;  // title and metas
  int spans_are_pages = 0;
  ~Daisy202Info() { NccHtmlInfo_free(ncc); }
};

Daisy202Info *g_book = nullptr;

// Kind of an NCC item from its element name and class. Spans of the other
// classes the DAISY 2.02 NCC knows (note references, sidebars, producer's
// notes, groups) are navigable items but never pages.
int itemKind(const char *name, const char *cls) {
  if (!name) return kItemOther;
  if ((name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6' && name[2] == '\0')
    return kItemH1 + (name[1] - '1');
  if (strcasecmp(name, "span") != 0) return kItemOther;
  if (!cls || !*cls) return kItemSpan;
  if (strcasecmp(cls, "page-front") == 0) return kItemPageFront;
  if (strcasecmp(cls, "page-normal") == 0) return kItemPageNormal;
  if (strcasecmp(cls, "page-special") == 0) return kItemPageSpecial;
  static const char *const kNotPages[] = {"noteref", "sidebar", "optional-prodnote", "group"};
  for (const char *c : kNotPages)
    if (strcasecmp(cls, c) == 0) return kItemOther;
  return kItemSpan;
}

// Copies text into buf, cut on a character boundary.
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

const char *meta(const NccHtmlInfo *ncc, const char *name) {
  if (const char *v = NccHtmlInfo_find_meta(ncc, name)) return v;
  int n = NccHtmlInfo_get_total_metas(ncc);
  for (int i = 0; i < n; i++)
    if (daisyutil::equalsNoCase(NccHtmlInfo_get_meta_name(ncc, i), name)) return NccHtmlInfo_get_meta_content(ncc, i);
  return nullptr;
}

// Reads the book at ncc_path into d: whole, or (quick) only to the clips
// of its first SMIL file (see Book::loadFirstSmil; 1: it has none there).
int build(Daisy202Info *d, const char *ncc_path, bool quick) {
  daisynav::Book &b = d->book;
  if (!b.text_names || !b.page_labels) return -2;
  b.setDir(ncc_path);
  b.back_to_enclosing = true;
  d->ncc = NccHtmlInfo_new();
  if (!d->ncc) {
    LOGE("info == NULL\n");
    return -2;
  }
  int rc = ncc_html_parse(ncc_path, d->ncc);
  if (rc < 0 && rc != -3) return rc;
  int n = NccHtmlInfo_get_total_headers(d->ncc);
  if (n < 1) return rc == -3 ? -3 : -102;

  // Kinds, and the SMIL files in order of first mention.
  std::vector<int> kinds(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) {
    int kind = itemKind(NccHtmlInfo_get_header_name(d->ncc, i), NccHtmlInfo_get_header_class(d->ncc, i));
    const char *href = NccHtmlInfo_get_header_href(d->ncc, i);
    const char *hash = href ? std::strchr(href, '#') : nullptr;
    std::string file = !href ? "" : hash ? std::string(href, static_cast<size_t>(hash - href)) : href;
    if (file.empty() || b.smilIndex(file, true) < 0) kind = kItemOther;
    kinds[static_cast<size_t>(i)] = kind;
  }
  if (b.smil_names.empty()) return -102;
  if (quick) {
    int classed = 0, spans = 0;
    for (int kind : kinds) {
      if (kind >= kItemPageFront && kind <= kItemPageSpecial) classed++;
      if (kind == kItemSpan) spans++;
      if (kind >= kItemH1 && kind < kItemH1 + 6) b.partial_levels = std::max(b.partial_levels, kind - kItemH1 + 1);
    }
    b.partial_pages = classed > 0 ? classed : spans;
    return b.loadFirstSmil(0);
  }
  rc = b.loadSmils(0);
  if (rc < 0) return rc;

  std::vector<daisynav::Target> targets(static_cast<size_t>(n));
  int classed = 0, spans = 0;
  for (int i = 0; i < n; i++) {
    int kind = kinds[static_cast<size_t>(i)];
    if (kind == kItemOther) continue;
    b.resolve(NccHtmlInfo_get_header_href(d->ncc, i), false, &targets[static_cast<size_t>(i)]);
    if (kind >= kItemPageFront && kind <= kItemPageSpecial) classed++;
    if (kind == kItemSpan) spans++;
  }
  b.fixAudioNames();
  rc = b.loadTexts(false);
  if (rc < 0) return rc;

  // Plain spans are pages only in an NCC that marks no page by class.
  d->spans_are_pages = classed == 0 && spans > 0;
  int lowest = d->spans_are_pages ? kItemSpan : kItemPageFront;
  for (int i = 0; i < n; i++) {
    int kind = kinds[static_cast<size_t>(i)];
    daisynav::Target t = targets[static_cast<size_t>(i)];
    if (kind >= lowest && kind <= kItemPageSpecial) {
      t.level = kind;
      b.pages.push_back(t);
      const char *label = NccHtmlInfo_get_header_label(d->ncc, i);
      if (StringArray_add(b.page_labels, label ? label : "") != 0) return -2;
    } else if (kind >= kItemH1 && kind < kItemH1 + 6) {
      t.level = kind - kItemH1 + 1;
      b.headings.push_back(t);
      const char *label = NccHtmlInfo_get_header_label(d->ncc, i);
      b.heading_labels.emplace_back(label ? label : "");
      if (t.level > b.max_level) b.max_level = t.level;
    }
  }
  b.buildTimeline();
  return 0;
}

}  // namespace

int daisy202_get_title(const char *ncc_path, char *buf, int size) {
  if (!ncc_path || !buf || size < 2) return -1;
  buf[0] = '\0';
  NccHtmlInfo *ncc = NccHtmlInfo_new();
  if (!ncc) return -2;
  int rc = ncc_html_parse(ncc_path, ncc);
  if (rc == 0 || rc == -3) {
    copyText(buf, size, ncc->title);
    rc = 0;
  }
  NccHtmlInfo_free(ncc);
  return rc;
}

namespace {

Daisy202Info *g_old = nullptr;  // the tables a quick open began with (see Book::adopt)

// A new book record read from ncc_path (quick: see build), or null with *rc
// set.
Daisy202Info *read(const char *ncc_path, bool quick, int *rc, const std::atomic<bool> *stop = nullptr) {
  *rc = -1;
  if (!ncc_path || !*ncc_path) return nullptr;
  char last = ncc_path[std::strlen(ncc_path) - 1];
  *rc = -4;
  if (last == '/' || last == '\\') return nullptr;
  auto *d = new (std::nothrow) Daisy202Info;
  *rc = -2;
  if (!d) {
    LOGE("Daisy202Info_new() failed\n");
    return nullptr;
  }
  d->book.stop = stop;
  *rc = build(d, ncc_path, quick);
  if (*rc < 0) {
    LOGW("%s: cannot open the book (%d)\n", ncc_path, *rc);
    delete d;
    return nullptr;
  }
  return d;
}

}  // namespace

int daisy202_open(const char *ncc_path) {
  daisy202_close();
  int rc = 0;
  g_book = read(ncc_path, false, &rc);
  return g_book ? 0 : rc;
}

int daisy202_open_first(const char *ncc_path) {
  daisy202_close();
  int rc = 0;
  g_book = read(ncc_path, true, &rc);
  if (g_book && rc == 1) {
    daisy202_close();
    return daisy202_open(ncc_path) == 0 ? 1 : -1;
  }
  return g_book ? 0 : rc;
}

void *daisy202_read_whole(const char *ncc_path, int *rc, const std::atomic<bool> *stop) {
  return read(ncc_path, false, rc, stop);
}

void daisy202_adopt(void *whole) {
  auto *w = static_cast<Daisy202Info *>(whole);
  if (!g_book || !w) {
    delete w;
    return;
  }
  w->book.stop = nullptr;
  g_book->book.adopt(w->book);
  std::swap(g_book->ncc, w->ncc);
  g_book->spans_are_pages = w->spans_are_pages;
  delete g_old;
  g_old = w;
}

void daisy202_discard(void *whole) { delete static_cast<Daisy202Info *>(whole); }

void daisy202_close(void) {
  delete g_book;
  g_book = nullptr;
  delete g_old;
  g_old = nullptr;
}

int daisy202_get_total_pages(void) {
  if (!g_book) return -1;
  return g_book->book.partial ? g_book->book.partial_pages : static_cast<int>(g_book->book.pages.size());
}
int daisy202_get_total_levels(void) {
  if (!g_book) return -1;
  return g_book->book.partial ? g_book->book.partial_levels : g_book->book.max_level;
}
int daisy202_get_total_level_items(void) { return g_book ? static_cast<int>(g_book->book.headings.size()) : -1; }
int daisy202_get_cur_page(void) { return g_book ? g_book->book.cur_page : -1; }
int daisy202_get_cur_level_item(void) { return g_book ? g_book->book.cur_heading : -1; }

int daisy202_start(DaisyPlayItem **out) { return g_book ? g_book->book.start(out) : -1; }
int daisy202_end(DaisyPlayItem **out) { return g_book ? g_book->book.end(out) : -1; }
int daisy202_continue(DaisyPlayItem **out) { return g_book ? g_book->book.continuePlay(out) : -1; }
int daisy202_next_phrase(DaisyPlayItem **out) { return g_book ? g_book->book.nextPhrase(out) : -1; }
int daisy202_last_phrase(DaisyPlayItem **out) { return g_book ? g_book->book.lastPhrase(out) : -1; }
int daisy202_next_par(DaisyPlayItem **out) { return g_book ? g_book->book.nextPar(out) : -1; }
int daisy202_last_par(DaisyPlayItem **out) { return g_book ? g_book->book.lastPar(out) : -1; }
int daisy202_replay_cur_par(DaisyPlayItem **out) { return g_book ? g_book->book.replayCurPar(out) : -1; }
int daisy202_next_page(DaisyPlayItem **out) { return g_book ? g_book->book.nextPage(out) : -1; }
int daisy202_last_page(DaisyPlayItem **out) { return g_book ? g_book->book.lastPage(out) : -1; }

int daisy202_goto_page(const char *label, DaisyPlayItem **out) {
  return g_book ? g_book->book.gotoPage(label, out) : -1;
}

int daisy202_next_nav_point(int level, DaisyPlayItem **out) {
  return g_book ? g_book->book.nextNavPoint(level, out) : -1;
}

int daisy202_last_nav_point(int level, DaisyPlayItem **out) {
  return g_book ? g_book->book.lastNavPoint(level, out) : -1;
}

int daisy202_goto_nav_point(int n, DaisyPlayItem **out) { return g_book ? g_book->book.gotoNavPoint(n, out) : -1; }

int daisy202_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out) {
  return g_book ? g_book->book.goToBookMark(position, out) : -1;
}

int daisy202_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text) {
  if (!g_book || !out || !out_text) return -1;
  return g_book->book.timeJump(delta_ms, out, out_text);
}

int daisy202_set_audio_pos(int file_ms) { return g_book ? g_book->book.setAudioPos(file_ms) : -1; }
int daisy202_read_par_text(DaisyPlayItem **out) { return g_book ? g_book->book.readParText(out) : -1; }

const char *daisy202_get_page_label(int i) { return g_book ? g_book->book.pageLabel(i) : nullptr; }

int daisy202_get_publication_summary(DaisySummary *summary) {
  if (!g_book || !summary) return -1;
  const NccHtmlInfo *ncc = g_book->ncc;
  summary->title = meta(ncc, "dc:title");
  if (!summary->title) summary->title = ncc->title;
  summary->creator = meta(ncc, "dc:creator");
  summary->publisher = meta(ncc, "dc:publisher");
  summary->narrator = meta(ncc, "ncc:narrator");
  summary->total_time = meta(ncc, "ncc:totalTime");
  summary->date = meta(ncc, "dc:date");
  summary->format = meta(ncc, "dc:format");
  if (!summary->format) summary->format = meta(ncc, "ncc:format");
  return 0;
}

int daisy202_get_book_mark_info(DaisyBookMarkInfo *info) {
  return g_book ? g_book->book.getBookMarkInfo(info) : -1;
}

int daisy202_get_cur_time(void) { return g_book ? g_book->book.curTime() : -1; }

int daisy202_get_time_left(int *section_ms, int *book_ms) {
  return g_book ? g_book->book.timeLeft(section_ms, book_ms) : -1;
}

int daisy202_check_is_text_only_file(void) {
  if (!g_book) return -1;
  return !g_book->book.partial && g_book->book.total_ms < 1 ? 1 : 0;
}

int daisy202_get_chn_eng_cnt(int *chinese, int *english) {
  return g_book ? g_book->book.chnEngCount(chinese, english) : -1;
}

int daisy202_set_skip(int bits) {
  if (!g_book) return -1;
  g_book->book.skip_mask = static_cast<unsigned>(bits);
  return 0;
}

int daisy202_get_heading(int i, const char **label) { return g_book ? g_book->book.heading(i, label) : -1; }
