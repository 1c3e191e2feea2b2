// ebook/ebook_reader.h: the e-book reader screen ("EBOOK"). It opens a book
// through a private copy of its format record, reads one page at a time,
// cuts it into sentences (ebook/ebook_lines.h) and has the reading voice (a
// speech instance of its own, tempo processor 1) speak one sentence after
// the other; the keys move by 10 % or 1 % of the book, page, paragraph or
// sentence, or step sentence by sentence or letter by letter. At the end of
// a book it goes on with the next e-book of the folder. Positions are kept
// in the e-book history (mark type 3) and bookmarks (type 2): charoffset is
// the 0-based page, timeoffset the sentence in that page; pages are spoken
// from 1.
//
// Threads: keys, menus, dialogs and the input box run on the key
// distribution thread and own the reader. The speech thread calls only the
// PCM sink (the reader's sound handle, fixed while the voice runs) and the
// finish function, which counts the finished sentence (atomic) and posts
// EBOOKEND; the reader takes no lock of its own.
#pragma once

#include "core/runtime/activity.h"

#include <string>

// Registers the reader with the file browser (kind e-book) and binds the
// menu functions (EbookMenuJmpToPage, EbookMenuJmpToPercent,
// EbookMarkAddItem, EbookMarkAddRepeat, EbookSetParam). Start-up calls it
// once. Returns 0, -1 when a binding was refused.
int EbookReaderInit(void);

// The browser's predicate: 1 when name has an extension the e-book registry
// serves.
int IsEbookFile(const char *dir, const char *name);

// The browser's player: opens the browser's current file at page
// start_page (0-based) and sentence start_line, with the e-book files of
// the browser's listing as the list to go on with. Returns the screen,
// stacked and not active, or null (nothing is left open; the browser says
// it cannot open the file).
Activity *EbookCreate(Activity *browser, int start_page, int start_line);

// The same on a fixed path, the list being the e-book files of its folder
// in name order; browser may be null.
Activity *EbookCreateFile(Activity *browser, const char *path, int start_page, int start_line);

// What to say when the last EbookCreate or EbookOpenFile failed, in
// language (0 Chinese, 1 English): "this document is protected", "this file
// is damaged", "do not support this file" when the format told why, else
// "can not open the file".
const char *EbookOpenErrorText(int language);

// The reader's key callback: 0 handled, 1 passed on, -1 bad screen.
int EbookKey(Activity *reader, const KeyEvent *key);
int EbookShow(Activity *reader);
int EbookHide(Activity *reader);

// How much of the open book lies before the current sentence, in percent
// (0..100): by sentences once the whole-book count is in (*estimated 0),
// until then by pages, which hold equal shares of the file's bytes
// (*estimated 1; estimated may be null). -1 for a screen that is not a
// reader.
int EbookPercentRead(Activity *reader, int *estimated);

// For tests and diagnostics: where a reader stands.
struct EbookReaderInfo {
  std::string path;
  int total_pages = 0;
  int cur_page = 0;
  int cur_line = 0;
  int cur_char = 0;
  int line_count = 0;  // sentences of the current page
  int mode = 0;        // 0 reading on, 5 sentence by sentence, 6 letter by letter
  int ab_state = 0;
};
// Returns 0 with *info filled, -1 for a screen that is not a reader.
int EbookReaderGetInfo(Activity *reader, EbookReaderInfo *info);
