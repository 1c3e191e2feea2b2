// tools/daisywalk/daisy_report.h: a book walked through the navigator and
// written as text, one line per play item. daisywalk prints it; the unit
// tests compare it with golden files that tools/daisygolden/make_goldens.py
// writes from the books' own files (the two must agree on this format).
//
// Sections, each opened by a line "# name" and closed by "end" or "begin"
// where the walk ran out:
//   counts           total ms, smil files, headings, levels, pages and their labels
//   summary          the publication summary, "field: value"
//   walk             start, then continue to the end
//   phrase-back      end, then last phrase to the beginning
//   par / par-back   next / last paragraph from the start / the end
//   heading L        next heading of level <= L from the start, per level
//   heading-back L   last heading of level <= L from the end, per level
//   goto             heading n for n = 1 .. headings
//   pages / page-back  next / last page from the start / the end
//   time             start, then a jump to t for t = 0, step, 2 step ...
//   time-chain +S / -S  jumps of S ms from the start / from the end
// An item is "begin", "end", or "S E text|speak|audio ..." with S and E the
// bookmark position (SMIL, element) of the item.
#pragma once

#include "daisy/daisy202.h"
#include "daisy/daisy3.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace daisyreport {

// The calls of one navigator.
struct Api {
  int (*open)(const char *);
  void (*close)(void);
  int (*start)(DaisyPlayItem **);
  int (*end)(DaisyPlayItem **);
  int (*cont)(DaisyPlayItem **);
  int (*last_phrase)(DaisyPlayItem **);
  int (*next_par)(DaisyPlayItem **);
  int (*last_par)(DaisyPlayItem **);
  int (*next_page)(DaisyPlayItem **);
  int (*last_page)(DaisyPlayItem **);
  int (*next_nav)(int, DaisyPlayItem **);
  int (*last_nav)(int, DaisyPlayItem **);
  int (*goto_nav)(int, DaisyPlayItem **);
  int (*time_jump)(int, DaisyPlayItem **, const char **);
  int (*mark)(DaisyBookMarkInfo *);
  int (*summary)(DaisySummary *);
  int (*total_pages)(void);
  int (*total_levels)(void);
  int (*total_headings)(void);
  const char *(*page_label)(int);
  int (*cur_time)(void);
};

inline const Api kDaisy202 = {daisy202_open,           daisy202_close,           daisy202_start,
                              daisy202_end,            daisy202_continue,        daisy202_last_phrase,
                              daisy202_next_par,       daisy202_last_par,        daisy202_next_page,
                              daisy202_last_page,      daisy202_next_nav_point,  daisy202_last_nav_point,
                              daisy202_goto_nav_point, daisy202_time_jump,       daisy202_get_book_mark_info,
                              daisy202_get_publication_summary, daisy202_get_total_pages,
                              daisy202_get_total_levels, daisy202_get_total_level_items, daisy202_get_page_label,
                              daisy202_get_cur_time};

inline const Api kDaisy3 = {daisy3_open,           daisy3_close,         daisy3_start,
                            daisy3_end,            daisy3_continue,      daisy3_last_phrase,
                            daisy3_next_par,       daisy3_last_par,      daisy3_next_page,
                            daisy3_last_page,      daisy3_next_nav_point, daisy3_last_nav_point,
                            daisy3_goto_nav_point, daisy3_time_jump,     daisy3_get_book_mark_info,
                            daisy3_get_publication_summary, daisy3_get_total_pages,
                            daisy3_get_total_levels, daisy3_get_total_nav_points, daisy3_get_page_label,
                            daisy3_get_cur_time};

// The navigator of a control file: DAISY 3 for a package (.opf), else 2.02.
inline const Api &apiFor(const std::string &path) {
  size_t n = path.size();
  bool opf = n >= 4 && (path.compare(n - 4, 4, ".opf") == 0 || path.compare(n - 4, 4, ".OPF") == 0);
  return opf ? kDaisy3 : kDaisy202;
}

// Text on one line: every run of white space becomes one space.
inline std::string oneLine(const char *text) {
  std::string out;
  bool space = false;
  for (const char *p = text ? text : ""; *p; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c <= ' ') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += *p;
  }
  return out;
}

inline std::string itemLine(const Api &api, const DaisyPlayItem *item) {
  if (!item) return "none";
  if (item->kind == DAISY_ITEM_BEGIN) return "begin";
  if (item->kind == DAISY_ITEM_END) return "end";
  DaisyBookMarkInfo mark;
  api.mark(&mark);
  std::string line = std::to_string(mark.smil_index) + " " + std::to_string(mark.element_index) + " ";
  switch (item->kind) {
    case DAISY_ITEM_TEXT_REACHED: return line + "text " + oneLine(item->data);
    case DAISY_ITEM_TEXT: return line + "speak " + oneLine(item->data);
    case DAISY_ITEM_AUDIO:
      return line + "audio " + oneLine(item->data) + " " + std::to_string(item->clip_begin_ms) + " " +
             (item->clip_end_ms == kDaisyOpenEnd ? std::string("open") : std::to_string(item->clip_end_ms));
    default: return line + "kind " + std::to_string(item->kind);
  }
}

constexpr int kMaxSteps = 200000;

// Repeats a move until the book's beginning or end (after the first item,
// so that a walk may start at either), one line per item.
template <typename Move>
void repeat(const Api &api, std::string *out, DaisyPlayItem *first, Move move) {
  DaisyPlayItem *item = first;
  for (int i = 0; i < kMaxSteps && item; i++) {
    *out += itemLine(api, item) + "\n";
    if (i > 0 && (item->kind == DAISY_ITEM_BEGIN || item->kind == DAISY_ITEM_END)) return;
    DaisyPlayItem *next = nullptr;
    if (move(&next) != 0 || !next) {
      *out += "error\n";
      return;
    }
    item = next;
  }
}

inline void section(std::string *out, const std::string &name) { *out += "# " + name + "\n"; }

// The whole report of the open book; time_step_ms <= 0 leaves the time
// sections out.
inline std::string report(const Api &api, int time_step_ms) {
  std::string out;
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  int levels = api.total_levels();
  int headings = api.total_headings();
  int pages = api.total_pages();

  section(&out, "counts");
  DaisyBookMarkInfo mark;
  api.end(&item);
  api.mark(&mark);
  int total = api.cur_time();
  out += "total_ms " + std::to_string(total) + "\n";
  out += "smil " + std::to_string(mark.smil_index) + "\nheadings " + std::to_string(headings) + "\nlevels " +
         std::to_string(levels) + "\npages " + std::to_string(pages) + "\n";
  for (int i = 0; i < pages; i++) out += "page " + oneLine(api.page_label(i)) + "\n";

  section(&out, "summary");
  DaisySummary s{};
  api.summary(&s);
  const std::pair<const char *, const char *> fields[] = {
      {"title", s.title}, {"creator", s.creator}, {"publisher", s.publisher}, {"narrator", s.narrator},
      {"total_time", s.total_time}, {"date", s.date}, {"format", s.format}};
  for (const auto &f : fields)
    if (f.second) out += std::string(f.first) + ": " + oneLine(f.second) + "\n";

  section(&out, "walk");
  api.start(&item);
  repeat(api, &out, item, api.cont);
  section(&out, "phrase-back");
  api.end(&item);
  repeat(api, &out, item, api.last_phrase);
  section(&out, "par");
  api.start(&item);
  repeat(api, &out, item, api.next_par);
  section(&out, "par-back");
  api.end(&item);
  repeat(api, &out, item, api.last_par);
  for (int level = 1; level <= levels; level++) {
    section(&out, "heading " + std::to_string(level));
    api.start(&item);
    repeat(api, &out, item, [&](DaisyPlayItem **o) { return api.next_nav(level, o); });
    section(&out, "heading-back " + std::to_string(level));
    api.end(&item);
    repeat(api, &out, item, [&](DaisyPlayItem **o) { return api.last_nav(level, o); });
  }
  section(&out, "goto");
  for (int n = 1; n <= headings; n++) {
    int rc = api.goto_nav(n, &item);
    out += std::to_string(n) + " " + (rc == 0 ? itemLine(api, item) : "error " + std::to_string(rc)) + "\n";
  }
  section(&out, "pages");
  api.start(&item);
  repeat(api, &out, item, api.next_page);
  section(&out, "page-back");
  api.end(&item);
  repeat(api, &out, item, api.last_page);
  if (time_step_ms <= 0) return out;

  section(&out, "time");
  for (int t = 0; t < total; t += time_step_ms) {
    api.start(&item);
    int into = api.time_jump(t, &item, &text);
    out += std::to_string(t) + " " + itemLine(api, item) + " into " + std::to_string(into) + "\n";
  }
  section(&out, "time-chain +" + std::to_string(time_step_ms));
  api.start(&item);
  repeat(api, &out, item, [&](DaisyPlayItem **o) { return api.time_jump(time_step_ms, o, &text) < 0 ? -1 : 0; });
  section(&out, "time-chain -" + std::to_string(time_step_ms));
  api.end(&item);
  repeat(api, &out, item, [&](DaisyPlayItem **o) { return api.time_jump(-time_step_ms, o, &text) < 0 ? -1 : 0; });
  return out;
}

}  // namespace daisyreport
