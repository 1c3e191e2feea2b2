// daisy/daisy202.h: the DAISY 2.02 navigator. Opens a book from its
// ncc.html, loads every SMIL file and content document into memory and
// moves one reading position through the book. One book is open at a time
// (a process-wide record); all calls come from one thread (the DAISY
// screen's).
//
// Moves take an out-parameter that receives the play item and return 0, or
// -1 (no book, null argument), -102 (the book has no SMIL file), -101 (the
// target does not exist). On failure the position, the item and *out stay
// as they were. The item is overwritten by the next move; its data stays
// valid until the book is closed.
#pragma once

#include "daisy/daisy_types.h"

#include <atomic>

// Copies the NCC's title ("" when it has none) into buf (size >= 2).
// Returns 0, or the parse error.
int daisy202_get_title(const char *ncc_path, char *buf, int size);

// Opens the book whose ncc.html is at ncc_path (a fixed path, mapped by the
// board), closing any open one. Returns 0; -1 empty path; -4 path ends in a
// separator or the NCC cannot be opened; -5 empty NCC; -2 out of memory or a
// SMIL file missing; -3 the NCC has XML errors and no usable item; -102 no
// item or no SMIL file. A content document that is missing is skipped: its
// text reads as empty and the audio beside it plays.
int daisy202_open(const char *ncc_path);
void daisy202_close(void);
// The quick open (daisy.h): the book opened to the clips of its first
// SMIL file, the rest parsed when play reaches it, no pages, headings, texts
// or time line until daisy202_adopt. Returns 0, 1 when the book has no clip
// there and was opened whole instead, or daisy202_open's errors.
int daisy202_open_first(const char *ncc_path);
// Reads the whole book without touching the open one (any thread): a record
// for daisy202_adopt or daisy202_discard, or null with *rc set to the error
// (also when stop, which may be null, is set meanwhile).
void *daisy202_read_whole(const char *ncc_path, int *rc, const std::atomic<bool> *stop = nullptr);
// The open book takes over the tables of `whole` (the same book read whole),
// keeping its position and play item; the record is kept or freed here.
void daisy202_adopt(void *whole);
void daisy202_discard(void *whole);

// Counters; -1 without a book.
int daisy202_get_total_pages(void);
int daisy202_get_total_levels(void);       // deepest heading level present (1-6)
int daisy202_get_total_level_items(void);  // headings
int daisy202_get_cur_page(void);           // -1 before the first page
int daisy202_get_cur_level_item(void);     // -1 before the first heading

int daisy202_start(DaisyPlayItem **out);
int daisy202_end(DaisyPlayItem **out);
// The current item has finished: the next chunk of a spoken text, or the
// next phrase.
int daisy202_continue(DaisyPlayItem **out);
int daisy202_next_phrase(DaisyPlayItem **out);
int daisy202_last_phrase(DaisyPlayItem **out);
int daisy202_next_par(DaisyPlayItem **out);
int daisy202_last_par(DaisyPlayItem **out);
int daisy202_replay_cur_par(DaisyPlayItem **out);  // back to the first phrase of this paragraph
int daisy202_next_page(DaisyPlayItem **out);
int daisy202_last_page(DaisyPlayItem **out);
// The first page labelled label (then ignoring case and surrounding blanks).
int daisy202_goto_page(const char *label, DaisyPlayItem **out);
// Next / previous heading of level <= level. Going back first goes to the
// heading of that level that opens the current section, then to the one
// before it.
int daisy202_next_nav_point(int level, DaisyPlayItem **out);
int daisy202_last_nav_point(int level, DaisyPlayItem **out);
// Heading n (1-based, all levels); n < 1 gives the beginning of the book.
int daisy202_goto_nav_point(int n, DaisyPlayItem **out);
// To a position of daisy202_get_book_mark_info, inside its audio clip when
// the mark's offset_ms says so.
int daisy202_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out);
// Moves by delta_ms on the book's time line. The audio item starts inside
// its clip (clip_begin_ms includes the jump); *out_text is the text of the
// phrase or "". Returns how far into the clip the jump landed, in ms (0 at
// the book's ends).
int daisy202_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text);

// The screen reports where the decoder is in the current audio file (ms
// from the file's start), so that time jumps, the current time and
// bookmarks count from there. Returns 0, or -1 when no audio clip is current.
int daisy202_set_audio_pos(int file_ms);
// The current audio clip cannot be played (its file is missing or
// broken): *out becomes the first chunk of its par's text, to be read in
// its place; `continue` goes on after the clip. Returns 0, -101 when the
// par has no text (or a later clip of it had its text read already).
int daisy202_read_par_text(DaisyPlayItem **out);

const char *daisy202_get_page_label(int i);  // null out of range
int daisy202_get_publication_summary(DaisySummary *summary);
int daisy202_get_book_mark_info(DaisyBookMarkInfo *info);
int daisy202_get_cur_time(void);                // ms from the book's start
int daisy202_get_time_left(int *section_ms, int *book_ms);  // Book::timeLeft
int daisy202_check_is_text_only_file(void);     // 1 when the book has no audio time
int daisy202_get_chn_eng_cnt(int *chinese, int *english);
// Structures (SMIL_SKIP_* bits) that moves by phrase and paragraph pass
// over from now on. Returns 0.
int daisy202_set_skip(int bits);
// Level of heading i (0-based) and its text into *label; -1 out of range.
int daisy202_get_heading(int i, const char **label);
