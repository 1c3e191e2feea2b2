// daisy/daisy.h: the DAISY dispatch layer. It recognises a book's version
// from its control file's name and forwards every call to the DAISY 2.02
// navigator (daisy202.h, "ncc.html") or the DAISY 3 navigator (daisy3.h,
// ".opf"). One book is open at a time; all calls come from one thread (the
// DAISY screen's key thread).
//
// The open is quick: the control file and the first SMIL file are read, the
// book plays from there (later SMIL files are read as play reaches them),
// and a worker thread reads the whole book meanwhile, which the open book
// takes over at the next call once it is in. Playing on (start, continue,
// next phrase, a bookmark), the counts of pages and levels, the summary, the
// skip bits and the position never wait for it; every other call (headings,
// pages, times, texts, moves back) first waits until the whole book is in.
//
// Every call returns -1 when no book is open or a pointer argument is
// null, else the navigator's result (see daisy202.h).
#pragma once

#include "daisy/daisy_types.h"

enum { DAISY_TYPE_NONE = 0, DAISY_TYPE_202 = 1, DAISY_TYPE_3 = 2 };

// 2 for a path ending in ".opf" or ".OPF"; 1 when its last component is
// exactly "ncc.html" or "NCC.HTML"; else 0.
int get_daisy_type_from_filename(const char *path);
// The type of the open book (DAISY_TYPE_*).
int daisy_get_type(void);

// The book's title into buf ("" first). Returns the navigator's result, -102
// for a name of neither type, -1 for a null argument.
int daisy_get_title(const char *path, char *buf, int size);
// Opens a book, closing any open one. Returns 0, -102 for a name of neither
// type, or the navigator's error (nothing is left open).
int daisy_open(const char *path);
// Closes the book. Returns 0.
int daisy_close(void);
// A call that needs the whole book while the background read is still on
// calls notice (on the calling thread) once it has waited 0.4 s, so that
// the listener hears why it is quiet; null (the default, and again after a close) waits
// silently.
void daisy_set_wait_notice(void (*notice)(void));

int daisy_start(DaisyPlayItem **out);
int daisy_end(DaisyPlayItem **out);
int daisy_continue(DaisyPlayItem **out);
int daisy_play_next_phrase(DaisyPlayItem **out);
int daisy_play_last_phrase(DaisyPlayItem **out);
int daisy_play_next_par(DaisyPlayItem **out);
int daisy_play_last_par(DaisyPlayItem **out);
int daisy_replay_cur_par(DaisyPlayItem **out);
int daisy_play_next_page(DaisyPlayItem **out);
int daisy_play_last_page(DaisyPlayItem **out);
// Next / last navigation point of any level up to 6.
int daisy_play_next_section(DaisyPlayItem **out);
int daisy_play_last_section(DaisyPlayItem **out);
int daisy_play_next_level(int level, DaisyPlayItem **out);
int daisy_play_last_level(int level, DaisyPlayItem **out);
// Heading (navigation point) n, 1-based.
int daisy_go_to_heading(int n, DaisyPlayItem **out);
int daisy_go_to_page(const char *label, DaisyPlayItem **out);
// Label of page i, null without a book or out of range.
const char *daisy_get_page_label(int i);
int daisy_get_ttl_page(void);
int daisy_get_cur_page(void);
// DAISY 2.02: headings; DAISY 3: navigation points.
int daisy_get_ttl_section(void);
int daisy_get_cur_section(void);
int daisy_get_total_levels(void);
int daisy_get_publication_summary(DaisySummary *summary);
int daisy_get_book_mark_info(DaisyBookMarkInfo *info);
int daisy_go_to_book_mark(const DaisyBookMarkInfo *position, DaisyPlayItem **out);
int daisy_check_is_text_only_file(void);
int daisy_time_jump(int delta_ms, DaisyPlayItem **out, const char **out_text);
// Tells the navigator where the decoder is in the current audio file (ms
// from the file's start), for the current time and bookmarks.
int daisy_set_audio_pos(int file_ms);
// The current audio clip cannot be played: its par's text instead (see
// daisy202_read_par_text).
int daisy_read_par_text(DaisyPlayItem **out);
int daisy_get_cur_time(void);
// Milliseconds left in the current section (to the next heading) and in
// the book, from the SMIL durations. Returns the current section's heading
// index (-1 before the first heading or for a book without a time line,
// both outputs 0 then), or an error.
int daisy_get_time_left(int *section_ms, int *book_ms);
int daisy_get_chn_eng_cnt(int *chinese, int *english);
// Structures (SMIL_SKIP_* bits of smil.h) that moves by phrase and
// paragraph pass over from now on: they are neither played nor stopped at.
int daisy_set_skip(int bits);
// Level of heading (navigation point) i, 0-based, with its text into *label.
int daisy_get_heading(int i, const char **label);
