// core/library/bookmark.h: the mark store, six lists of reading positions (for each
// kind of player, audio, e-book and DAISY, the user's bookmarks and the
// history of files played), kept in the "bookmark" block of the
// configuration file. The screens that list, open, delete and clean them are in
// bookmark_screens.h.
//
// Types: 0 audio bookmarks, 1 audio history, 2 e-book bookmarks, 3 e-book
// history, 4 DAISY bookmarks, 5 DAISY history. Even types hold up to 200
// items per mark, odd (history) types one. type / 2 is the player kind.
//
// Threads: the lists change on the key distribution thread (players, the
// screens) and at start-up on the main thread. The main loop's save timer
// reads them on the main thread, so every change and every save takes the
// store's mutex; readers on the key thread need none (the only other reader
// never writes). MarkArryGet hands out pointers into the store: use them on
// the key thread only, and not across a call that changes the store.
#pragma once

#include "core/runtime/activity.h"

#include <cstdint>
#include <libxml/tree.h>
#include <string>
#include <vector>

enum {
  MARK_AUDIO_BOOKMARK = 0,
  MARK_AUDIO_HISTORY = 1,
  MARK_EBOOK_BOOKMARK = 2,
  MARK_EBOOK_HISTORY = 3,
  MARK_DAISY_BOOKMARK = 4,
  MARK_DAISY_HISTORY = 5,
  MARK_TYPES = 6,
};

constexpr int kMarkListCapacity = 50;   // marks per list
constexpr int kMarkBookmarkItems = 200; // items per mark of a bookmark type
constexpr int kMarkTableLength = 512;   // entries of the merged view

// One position. Audio: timeoffset in ms. E-book: charoffset is the page.
// DAISY: ncxref the SMIL index and uri the element index (decimal text),
// charoffset the page + 1. An empty ncxref or uri is absent.
struct MarkItem {
  int time = 0;  // seconds since the epoch / 5 (MarkGetTime)
  std::string ncxref;
  std::string uri;
  int timeoffset = 0;
  int charoffset = 0;
};

// A file's marks: identified by (type, path, title). items[0] is the newest;
// a mark in a list always has at least one item.
struct Mark {
  std::string path;   // full path of the file
  std::string title;  // title or file name, as the player gave it
  int type = 0;
  std::vector<MarkItem> items;
  // The player's choices for this file, kept with its history mark (DAISY:
  // the skipped structures; e-book: the character set chosen by hand).
  int options = 0;
};

// Sets up the six empty lists and binds the mark menu's commands
// ("MarkMenuDelete", "MarkMenuClean"). Returns 0.
int BookMarkInit(void);
// Frees every mark and stops the save timer. Returns 0.
int BookMarkDeInit(void);

// Loads every "mark" element among first and its siblings (the children of
// the configuration's "bookmark" element), appending each to its list in
// file order. Returns 0, -1 for a null node.
int BookMarkLoad(xmlNode *first);
// Appends the "bookmark" element with every mark, lists in type order.
// Returns 0, -1 for a null parent.
int BookMarkSave(xmlNode *parent);

// Reads one "mark" element's children into a new mark, keeping at most
// item_limit items. Returns the mark, or null when path, title or type is
// missing, the type is out of range or no item is valid.
Mark *MarkLoad(xmlNode *first, int item_limit);
// Appends one "mark" element for mark. Returns 0, -1 for a null argument.
int MarkSave(xmlNode *parent, const Mark *mark);
void MarkFree(Mark *mark);

// Adds a position to the mark (type, path, title), making it the most
// recent mark of its list: a known mark gets a new newest item (its oldest
// is dropped at the type's item limit: 200 bookmarks, 1 history entry); a
// new mark pushes the least recently used one out of a full list. ncxref
// and uri may be null or empty (absent). Returns the mark's item count after
// the addition (the bookmark number players announce), or -1 for an empty
// path or title or a bad type.
int MarkAddItem(int type, const char *path, const char *title, const char *ncxref, const char *uri,
                int timeoffset, int charoffset);

// The options of the mark (type, path, title), 0 when there is none.
int MarkGetOptions(int type, const char *path, const char *title);
// Sets them on that mark (saved with it). Returns 0, -1 when there is none.
int MarkSetOptions(int type, const char *path, const char *title, int options);

// Index of the mark (type, path, title) in its list, or -1 (also for empty
// strings and bad types).
int MarkFind(int type, const char *path, const char *title);
// The mark at index of the list, or null.
Mark *MarkArryGet(int type, int index);
// Number of marks in the list, -1 for a bad type.
int MarkArryTotal(int type);

// Removes item `item` of mark `index` (later items move up); item -1, or a
// mark with a single item, removes the whole mark (later marks move up).
// Returns 0, -1 for a bad type, index or item.
int MarkDel(int type, int index, int item);
// Empties one list. Returns 0, -1 for a bad type.
int MarkClean(int type);

// Seconds since the epoch divided by 5.
int MarkGetTime(void);

// Fills table with the marks of the three bookmark lists (is_history 0) or
// the three history lists, newest first by their newest item; each entry is
// (type << 24) | (index << 12). Returns the number of entries, or -1 when
// the table is too short or an entry is inconsistent.
int GetTotalMark(int is_history, uint32_t *table, int table_len);

// ---- Saving between start and shutdown ----
//
// The configuration file is otherwise written only at an orderly shutdown.
// So that a power cut loses at most a few minutes of reading position, a
// main-loop timer writes the "bookmark" block into the file (crash-safe,
// SaveConfigBlock) when marks have changed: at once after BookMarkFlush, and
// otherwise once the oldest unsaved change is kBookMarkSaveDelayUs old.
constexpr int64_t kBookMarkSaveDelayUs = 120 * 1000000LL;
constexpr int kBookMarkTickUs = 5 * 1000000;  // the timer's period

// Starts the timer (main thread, after the main loop was set up). Returns 0.
// It ticks only while a change waits for the file or a reader keeps its
// place: an idle player has no timer to wake it.
int BookMarkAutoSaveStart(void);
// Asks for a save at the next tick: a player calls it when its file is left.
void BookMarkFlush(void);
// One tick at monotonic time now_us: writes the block when due. Returns 1
// when it wrote, 0 when nothing was due, -1 when the write failed (retried
// at the next tick).
int BookMarkAutoSave(int64_t now_us);
// 1 while changes are not in the file yet.
int BookMarkDirty(void);
// Writes the changed marks at once, on the calling thread (the key thread,
// when a reader pauses). Returns what BookMarkAutoSave returns.
int BookMarkSaveNow(void);
// While a reader is open it keeps its place in the file: at every tick of
// the timer the key thread calls note(context), which notes the position
// when it moved (MarkAddItem) and calls BookMarkSaveNow, so that a power
// cut loses at most a tick and a half of listening. Null stops it; both are
// called on the key thread.
void BookMarkKeepPosition(void (*note)(void *context), void *context);
