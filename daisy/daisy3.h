// daisy/daisy3.h: the DAISY 3 navigator. Opens a book from its package file
// (.opf), follows it to the NCX, the SMIL files of the spine and the DTBook
// documents, and offers the moves of the DAISY 2.02 navigator (daisy202.h:
// same results, same play item) with the NCX navigation points in place of
// the headings. One book is open at a time; one thread.
#pragma once

#include "daisy/daisy_types.h"

#include <atomic>

// Copies the package's dc:Title ("" when absent) into buf (size >= 2).
// Returns 0, or the parse error.
int daisy3_get_title(const char *opf_path, char *buf, int size);

// Opens the book whose package is at opf_path, closing any open one. Returns
// 0; -1 empty path; -4 path ends in a separator or the package cannot be
// opened; -5 empty package; -2 out of memory or a SMIL file missing;
// -102 no manifest, no spine or no SMIL. A missing or unreadable NCX leaves
// the book without navigation points and pages; a missing DTBook reads as
// empty text.
int daisy3_open(const char *opf_path);
void daisy3_close(void);
// The quick open (daisy.h): the book opened to the clips of its first
// SMIL file, the rest parsed when play reaches it, no pages, headings, texts
// or time line until daisy3_adopt. Returns 0, 1 when the book has no clip
// there and was opened whole instead, or daisy3_open's errors.
int daisy3_open_first(const char *opf_path);
// Reads the whole book without touching the open one (any thread): a record
// for daisy3_adopt or daisy3_discard, or null with *rc set to the error
// (also when stop, which may be null, is set meanwhile).
void *daisy3_read_whole(const char *opf_path, int *rc, const std::atomic<bool> *stop = nullptr);
// The open book takes over the tables of `whole` (the same book read whole),
// keeping its position and play item; the record is kept or freed here.
void daisy3_adopt(void *whole);
void daisy3_discard(void *whole);

int daisy3_get_total_pages(void);
int daisy3_get_cur_page(void);
int daisy3_get_total_levels(void);      // deepest navigation point level
int daisy3_get_total_nav_points(void);
int daisy3_get_cur_nav_point(void);

int daisy3_start(DaisyPlayItem **out);
int daisy3_end(DaisyPlayItem **out);
int daisy3_continue(DaisyPlayItem **out);
int daisy3_next_phrase(DaisyPlayItem **out);
int daisy3_last_phrase(DaisyPlayItem **out);
int daisy3_next_par(DaisyPlayItem **out);
int daisy3_last_par(DaisyPlayItem **out);
int daisy3_replay_cur_par(DaisyPlayItem **out);
int daisy3_goto_page(const char *label, DaisyPlayItem **out);
const char *daisy3_get_page_label(int i);
int daisy3_next_page(DaisyPlayItem **out);
int daisy3_last_page(DaisyPlayItem **out);
// Next / previous navigation point of level <= level (the previous one is
// the nearest before the current point).
int daisy3_next_nav_point(int level, DaisyPlayItem **out);
int daisy3_last_nav_point(int level, DaisyPlayItem **out);
int daisy3_goto_nav_point(int n, DaisyPlayItem **out);
int daisy3_get_publication_summary(DaisySummary *summary);
int daisy3_get_book_mark_info(DaisyBookMarkInfo *info);
int daisy3_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out);
int daisy3_check_is_text_only_file(void);
int daisy3_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text);
int daisy3_set_audio_pos(int file_ms);
int daisy3_read_par_text(DaisyPlayItem **out);
int daisy3_get_cur_time(void);
int daisy3_get_time_left(int *section_ms, int *book_ms);
int daisy3_get_chn_eng_cnt(int *chinese, int *english);
int daisy3_set_skip(int bits);                        // as daisy202_set_skip
int daisy3_get_heading(int i, const char **label);  // as daisy202_get_heading
