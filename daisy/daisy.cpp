// The DAISY dispatch layer: the process-wide book type and the forwarders
// to the two navigators. See daisy.h.
//
// Threads: everything here runs on the caller's (the key) thread but the
// indexer, which reads the whole book into a record of its own while the
// quick open plays; it writes g_whole and g_wholeRc, then g_indexed; the
// key thread reads them only after joining it (settle).
#include "daisy/daisy.h"

#include "core/runtime/log.h"
#include "daisy/daisy202.h"
#include "daisy/daisy3.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <libxml/parser.h>
#include <string>
#include <thread>
#include <initializer_list>
#include <malloc.h>
#include <type_traits>

namespace {

constexpr int kMaxLevel = 6;  // sections: every navigation point up to this level

constexpr char kLogSource[] = "daisy/daisy.c";
constexpr int kQuietWaitMs = 400;  // a wait for the whole book this short is not announced

int g_type = DAISY_TYPE_NONE;  // key thread only

std::thread g_indexer;
std::atomic<bool> g_indexed{false};
std::atomic<bool> g_stopIndexer{false};  // the book is being closed
void *g_whole = nullptr;  // the indexer's result, see the file comment
int g_wholeRc = 0;
void (*g_waitNotice)(void) = nullptr;  // key thread

// Ends the indexer: when it is done (or wait is set, after waiting for it)
// the open book takes over the whole book it read, or (adopt false) that
// record is dropped.
void settle(bool wait, bool adopt = true) {
  if (!g_indexer.joinable()) return;
  if (!g_indexed.load(std::memory_order_acquire)) {
    if (!wait) return;
    // A short wait goes unsaid; a longer one is explained first.
    for (int ms = 0; ms < kQuietWaitMs && !g_indexed.load(std::memory_order_acquire); ms += 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (adopt && g_waitNotice && !g_indexed.load(std::memory_order_acquire)) g_waitNotice();
  }
  g_indexer.join();
  void *whole = g_whole;
  g_whole = nullptr;
  const bool v3 = g_type == DAISY_TYPE_3;
  if (!whole) {
    if (adopt) LOGW("the book cannot be read whole (%d): it plays as far as it was read\n", g_wholeRc);
  } else if (adopt) {
    (v3 ? daisy3_adopt : daisy202_adopt)(whole);
    malloc_trim(0);  // the parse buffers of the whole book
  } else {
    (v3 ? daisy3_discard : daisy202_discard)(whole);
  }
}

// Forwards a call to the open book's navigator; -1 without one. The calls
// that a book opened to its first clips answers (play on from there, the
// counts of the control file) do not wait for the whole book.
template <typename R, typename... A>
R forwardNow(R (*v202)(A...), R (*v3)(A...), std::type_identity_t<R> none, std::type_identity_t<A>... args) {
  settle(false);
  switch (g_type) {
    case DAISY_TYPE_202: return v202(args...);
    case DAISY_TYPE_3: return v3(args...);
    default: return none;
  }
}

template <typename R, typename... A>
R forward(R (*v202)(A...), R (*v3)(A...), std::type_identity_t<R> none, std::type_identity_t<A>... args) {
  settle(true);
  return forwardNow(v202, v3, none, args...);
}

int moveNow(int (*v202)(DaisyPlayItem **), int (*v3)(DaisyPlayItem **), DaisyPlayItem **out) {
  if (!out) return DAISY_ERR_ARG;
  return forwardNow(v202, v3, DAISY_ERR_ARG, out);
}

int countNow(int (*v202)(void), int (*v3)(void)) { return forwardNow(v202, v3, DAISY_ERR_ARG); }

int move(int (*v202)(DaisyPlayItem **), int (*v3)(DaisyPlayItem **), DaisyPlayItem **out) {
  if (!out) return DAISY_ERR_ARG;
  return forward(v202, v3, DAISY_ERR_ARG, out);
}

int moveBy(int (*v202)(int, DaisyPlayItem **), int (*v3)(int, DaisyPlayItem **), int n, DaisyPlayItem **out) {
  if (!out) return DAISY_ERR_ARG;
  return forward(v202, v3, DAISY_ERR_ARG, n, out);
}

int count(int (*v202)(void), int (*v3)(void)) { return forward(v202, v3, DAISY_ERR_ARG); }

}  // namespace

int get_daisy_type_from_filename(const char *path) {
  if (!path) return DAISY_TYPE_NONE;
  const size_t n = std::strlen(path);
  if (n >= 4 && (std::strcmp(path + n - 4, ".opf") == 0 || std::strcmp(path + n - 4, ".OPF") == 0))
    return DAISY_TYPE_3;
  for (const char *name : {"ncc.html", "NCC.HTML"}) {
    const size_t m = std::strlen(name);
    if (n < m || std::strcmp(path + n - m, name) != 0) continue;
    if (n == m || path[n - m - 1] == '/' || path[n - m - 1] == '\\') return DAISY_TYPE_202;
  }
  return DAISY_TYPE_NONE;
}

int daisy_get_type(void) { return g_type; }

int daisy_get_title(const char *path, char *buf, int size) {
  if (!path || !buf || size < 1) return DAISY_ERR_ARG;
  buf[0] = '\0';
  switch (get_daisy_type_from_filename(path)) {
    case DAISY_TYPE_202: return daisy202_get_title(path, buf, size);
    case DAISY_TYPE_3: return daisy3_get_title(path, buf, size);
    default: return DAISY_ERR_NO_CONTENT;
  }
}

int daisy_open(const char *path) {
  daisy_close();
  if (!path) return DAISY_ERR_ARG;
  const int type = get_daisy_type_from_filename(path);
  int r = DAISY_ERR_NO_CONTENT;
  // Opened to the first clips (r 0), the rest of the book is read behind
  // the listener's back; a book without clips there is opened whole (r 1).
  if (type == DAISY_TYPE_202) {
    r = daisy202_open_first(path);
    if (r < 0) daisy202_close();
  } else if (type == DAISY_TYPE_3) {
    r = daisy3_open_first(path);
    if (r < 0) daisy3_close();
  }
  g_type = r >= 0 ? type : DAISY_TYPE_NONE;
  if (r == 0) {
    xmlInitParser();  // before two threads parse at once
    g_indexed = false;
    g_stopIndexer = false;
    g_indexer = std::thread([whole = type == DAISY_TYPE_3 ? daisy3_read_whole : daisy202_read_whole,
                             book = std::string(path)] {
      g_whole = whole(book.c_str(), &g_wholeRc, &g_stopIndexer);
      g_indexed.store(true, std::memory_order_release);
    });
  }
  r = r > 0 ? 0 : r;
  // Parsing a book leaves megabytes of freed buffers in the heap; give them
  // back to the system before the book plays for hours.
  malloc_trim(0);
  return r;
}

void daisy_set_wait_notice(void (*notice)(void)) { g_waitNotice = notice; }

int daisy_close(void) {
  g_waitNotice = nullptr;
  g_stopIndexer = true;
  settle(true, false);
  daisy202_close();
  daisy3_close();
  g_type = DAISY_TYPE_NONE;
  return 0;
}

int daisy_start(DaisyPlayItem **out) { return moveNow(daisy202_start, daisy3_start, out); }
int daisy_end(DaisyPlayItem **out) { return move(daisy202_end, daisy3_end, out); }
int daisy_continue(DaisyPlayItem **out) { return moveNow(daisy202_continue, daisy3_continue, out); }
int daisy_play_next_phrase(DaisyPlayItem **out) { return moveNow(daisy202_next_phrase, daisy3_next_phrase, out); }
int daisy_play_last_phrase(DaisyPlayItem **out) { return move(daisy202_last_phrase, daisy3_last_phrase, out); }
int daisy_play_next_par(DaisyPlayItem **out) { return move(daisy202_next_par, daisy3_next_par, out); }
int daisy_play_last_par(DaisyPlayItem **out) { return move(daisy202_last_par, daisy3_last_par, out); }
int daisy_replay_cur_par(DaisyPlayItem **out) { return move(daisy202_replay_cur_par, daisy3_replay_cur_par, out); }
int daisy_play_next_page(DaisyPlayItem **out) { return move(daisy202_next_page, daisy3_next_page, out); }
int daisy_play_last_page(DaisyPlayItem **out) { return move(daisy202_last_page, daisy3_last_page, out); }
int daisy_play_next_section(DaisyPlayItem **out) {
  return moveBy(daisy202_next_nav_point, daisy3_next_nav_point, kMaxLevel, out);
}
int daisy_play_last_section(DaisyPlayItem **out) {
  return moveBy(daisy202_last_nav_point, daisy3_last_nav_point, kMaxLevel, out);
}
int daisy_play_next_level(int level, DaisyPlayItem **out) {
  return moveBy(daisy202_next_nav_point, daisy3_next_nav_point, level, out);
}
int daisy_play_last_level(int level, DaisyPlayItem **out) {
  return moveBy(daisy202_last_nav_point, daisy3_last_nav_point, level, out);
}
int daisy_go_to_heading(int n, DaisyPlayItem **out) {
  return moveBy(daisy202_goto_nav_point, daisy3_goto_nav_point, n, out);
}
int daisy_go_to_page(const char *label, DaisyPlayItem **out) {
  if (!label || !out) return DAISY_ERR_ARG;
  return forward(daisy202_goto_page, daisy3_goto_page, DAISY_ERR_ARG, label, out);
}
const char *daisy_get_page_label(int i) {
  return forward<const char *>(daisy202_get_page_label, daisy3_get_page_label, nullptr, i);
}
int daisy_get_ttl_page(void) { return countNow(daisy202_get_total_pages, daisy3_get_total_pages); }
int daisy_get_cur_page(void) { return count(daisy202_get_cur_page, daisy3_get_cur_page); }
int daisy_get_ttl_section(void) { return count(daisy202_get_total_level_items, daisy3_get_total_nav_points); }
int daisy_get_cur_section(void) { return count(daisy202_get_cur_level_item, daisy3_get_cur_nav_point); }
int daisy_get_total_levels(void) { return countNow(daisy202_get_total_levels, daisy3_get_total_levels); }
int daisy_get_publication_summary(DaisySummary *summary) {
  if (!summary) return DAISY_ERR_ARG;
  return forwardNow(daisy202_get_publication_summary, daisy3_get_publication_summary, DAISY_ERR_ARG, summary);
}
int daisy_get_book_mark_info(DaisyBookMarkInfo *info) {
  if (!info) return DAISY_ERR_ARG;
  return forwardNow(daisy202_get_book_mark_info, daisy3_get_book_mark_info, DAISY_ERR_ARG, info);
}
int daisy_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out) {
  if (!position || !out) return DAISY_ERR_ARG;
  return forwardNow(daisy202_go_to_book_mark, daisy3_go_to_book_mark, DAISY_ERR_ARG, position, out);
}
int daisy_check_is_text_only_file(void) {
  return countNow(daisy202_check_is_text_only_file, daisy3_check_is_text_only_file);
}
int daisy_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text) {
  if (!out || !out_text) return DAISY_ERR_ARG;
  return forward(daisy202_time_jump, daisy3_time_jump, DAISY_ERR_ARG, delta_ms, out, out_text);
}
int daisy_set_audio_pos(int file_ms) {
  return forwardNow(daisy202_set_audio_pos, daisy3_set_audio_pos, DAISY_ERR_ARG, file_ms);
}
int daisy_read_par_text(DaisyPlayItem **out) {
  if (!out) return DAISY_ERR_ARG;
  return forward(daisy202_read_par_text, daisy3_read_par_text, DAISY_ERR_ARG, out);
}
int daisy_get_cur_time(void) { return count(daisy202_get_cur_time, daisy3_get_cur_time); }
int daisy_set_skip(int bits) { return forwardNow(daisy202_set_skip, daisy3_set_skip, DAISY_ERR_ARG, bits); }
int daisy_get_heading(int i, const char **label) {
  if (!label) return DAISY_ERR_ARG;
  return forward(daisy202_get_heading, daisy3_get_heading, DAISY_ERR_ARG, i, label);
}
int daisy_get_time_left(int *section_ms, int *book_ms) {
  if (!section_ms || !book_ms) return DAISY_ERR_ARG;
  return forward(daisy202_get_time_left, daisy3_get_time_left, DAISY_ERR_ARG, section_ms, book_ms);
}
int daisy_get_chn_eng_cnt(int *chinese, int *english) {
  if (!chinese || !english) return DAISY_ERR_ARG;
  return forward(daisy202_get_chn_eng_cnt, daisy3_get_chn_eng_cnt, DAISY_ERR_ARG, chinese, english);
}
