// ebook/ebook_count.h: the whole-book sentence and paragraph count, made
// after reading has started. A worker thread opens a copy of the book's
// format record of its own, counts every page (ebook_lines.h) and posts the
// result to the screen thread (ActivityPost), which installs it in the
// process-wide arrays (and a text book's page table in the reader's record). Until then positions by sentence or paragraph are
// not known and the reader says so; nothing waits for the count.
//
// Threads: start, stop and the ready flag belong to the screen thread; the
// worker touches only its own parser copy, its own count and the stop flag.
#pragma once

struct ebook_parser;

// Starts counting the book at path (a fixed path) through a copy of the
// registry record `record`. A count in progress is abandoned first.
// Returns 0, or -1 when there is nothing to count. charset: the character
// set chosen by hand that the reader opened the book in (0 automatic).
// reading (may be null): the reader's open record of the book; a plain-text
// book's whole page table is handed to it with the count
// (ebook_text_set_pages), so the reader never pages the book itself.
int EbookCountStart(const ebook_parser *record, const char *path, int charset = 0, ebook_parser *reading = nullptr);

// Abandons a count in progress (its result is never installed) and joins
// its worker.
void EbookCountStop(void);

// 1 once the count of the book last started is installed, else 0.
int EbookCountReady(void);

// Waits until the count of the book last started is installed or given up
// (tests and benchmarks; the screen thread must run the posted work).
void EbookCountJoin(void);
