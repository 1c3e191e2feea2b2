// daisy/daisy_nav.h: the navigator core that the DAISY 2.02 and DAISY 3
// navigators share (not part of the module's interface). A book is its SMIL
// tables, its text documents, its page and heading tables and its time
// line; one reading position moves through it and every move fills the one
// play item. The two navigators differ only in how they open a book and in
// the details noted on the fields below.
// Used by one thread at a time (the screen's).
#pragma once

#include "daisy/daisy_types.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct DsySmlInfo;
struct XhtmlText;
struct StringArray;

namespace daisynav {

// A page or a heading: where it starts in the book.
struct Target {
  int level;    // headings: 1 for the top level; pages: their kind
  int smil;     // SMIL index, -1 when unknown
  int element;  // element index, -101 when the fragment was not found (start of its SMIL)
};

class Book {
 public:
  Book();
  ~Book();
  Book(const Book &) = delete;
  Book &operator=(const Book &) = delete;

  // Building (the navigators' open).
  // Sets the book folder from the control file's path.
  void setDir(const char *control_path);
  std::string path(const char *name) const;  // the book folder + name
  // Index of a SMIL file name; appended when add and new; -1 when unknown.
  int smilIndex(const std::string &name, bool add);
  // Parses every SMIL named so far into smils (is_daisy3 picks the
  // attribute names). Returns 0, or -1 / -2 for a fatal parse result or -2
  // for a missing file (the book cannot open).
  int loadSmils(int is_daisy3);
  // Looked at before each SMIL file loadSmils parses (may be null): set, the
  // load gives up with -2 (the book is being closed).
  const std::atomic<bool> *stop = nullptr;
  // The quick open: every SMIL named so far must exist, but only the first
  // is parsed; the others are parsed when a forward move reaches them
  // (partial stays true until adopt). Returns 0, 1 when the first SMIL
  // holds no audio clip (a text book: open it whole instead), or the error
  // of loadSmils.
  int loadFirstSmil(int is_daisy3);
  // Takes over the tables of `whole`, the same book opened whole, keeping
  // the position, the play item (its address too) and the skip bits;
  // `whole` is left with this book's old tables, which the play item may
  // still point into: keep it until the book closes.
  void adopt(Book &whole);
  // src "file#fragment" to (SMIL, element): the SMIL through smilIndex, the
  // element by id near the last hit. Without a fragment the target is the
  // SMIL's first element. Returns false when the file is unknown.
  bool resolve(const char *src, bool add_smil, Target *target);
  // Loads the text documents the SMIL files name; a missing one is skipped
  // unless required. Resolves every text reference, then drops the id
  // lists. Returns 0 or a fatal error.
  int loadTexts(bool required);
  // The time line: elapsed time of each SMIL and the book's total.
  void buildTimeline();
  // Points each audio element's file name at the file that exists in the
  // book folder when the SMIL's spelling differs only in case or in
  // percent-escapes (books made on other systems).
  void fixAudioNames();

  // Moves. Each returns 0 (time_jump: the ms into the clip) with *out set,
  // or an error with *out and the position unchanged.
  int start(DaisyPlayItem **out);
  int end(DaisyPlayItem **out);
  int continuePlay(DaisyPlayItem **out);
  int nextPhrase(DaisyPlayItem **out);
  int lastPhrase(DaisyPlayItem **out);
  int nextPar(DaisyPlayItem **out);
  int lastPar(DaisyPlayItem **out);
  int replayCurPar(DaisyPlayItem **out);
  int nextPage(DaisyPlayItem **out);
  int lastPage(DaisyPlayItem **out);
  int gotoPage(const char *label, DaisyPlayItem **out);
  int nextNavPoint(int level, DaisyPlayItem **out);
  int lastNavPoint(int level, DaisyPlayItem **out);
  int gotoNavPoint(int n, DaisyPlayItem **out);
  int goToBookMark(const DaisyBookMarkInfo *mark, DaisyPlayItem **out);
  int timeJump(int delta_ms, DaisyPlayItem **out, const char **out_text);

  // The current audio clip cannot be played: its par's text is read in
  // its place, chunk by chunk, and `continue` goes on after the clip. A
  // further clip of the same par reads nothing again. Returns 0 with the
  // first chunk, or -101 when there is no text to read (nothing changed).
  int readParText(DaisyPlayItem **out);

  int getBookMarkInfo(DaisyBookMarkInfo *info) const;
  int curTime() const;
  // What is left from the position: to the next heading (*section_ms) and
  // to the book's end (*book_ms), from the SMIL durations. Returns the
  // index of the heading whose section holds the position (-1 before the
  // first), or -1 with both 0 for a book without a time line.
  int timeLeft(int *section_ms, int *book_ms) const;
  int setAudioPos(int file_ms);
  int chnEngCount(int *chinese, int *english) const;
  const char *pageLabel(int i) const;
  // Level of heading i and its text into *label; -1 out of range.
  int heading(int i, const char **label) const;

  // The book.
  std::string dir;
  std::vector<std::string> smil_names;
  std::vector<DsySmlInfo *> smils;   // owned; null for an empty slot
  StringArray *text_names = nullptr; // text documents named by the SMIL files (owned)
  std::vector<XhtmlText *> texts;    // owned; null when the file is missing
  std::vector<Target> pages;
  StringArray *page_labels = nullptr;  // one per page (owned)
  std::vector<Target> headings;
  std::vector<std::string> heading_labels;  // the NCC's / NCX's text of each heading
  int max_level = 0;
  // SMIL_SKIP_* bits of the structures that moves by phrase and paragraph
  // pass over: such phrases are neither played nor stopped at.
  unsigned skip_mask = 0;
  int64_t total_ms = 0;
  // DAISY 2.02: a step back by heading first goes back to the heading of
  // the asked level that opens the current section.
  bool back_to_enclosing = false;

  // Opened by loadFirstSmil and not yet adopted: SMIL slots may be null,
  // there are no texts, pages, headings or time line; the counts of pages
  // and heading levels that the control file gives are in partial_pages
  // and partial_levels.
  bool partial = false;
  int partial_pages = 0, partial_levels = 0;

  // The position.
  int cur_page = -1, cur_heading = -1;
  int cur_smil = -1, cur_element = -1;
  int text_doc = -1, text_id = -1, text_chunks = 0, text_chunk = 0;
  int mode = kModeNone;
  int offset_ms = 0;  // ms into the current audio clip where play starts
  DaisyPlayItem item{};

  enum { kModeText = 0, kModeChunks = 1, kModeAudio = 2, kModeNone = 3 };

 private:
  int smilCount() const { return static_cast<int>(smils.size()); }
  void setBegin();
  void setEnd();
  int findPlayable(int s, int e);
  int playReached();
  void refresh();
  int goTarget(const Target &t);
  bool lastParAtOrBefore(int s, int e, int *ps, int *pe) const;
  int lastParInner();
  int nextParInner();
  template <typename F>
  int move(DaisyPlayItem **out, F f);

  std::string findSpelling(const std::string &name);
  // The path of a book file into *file, also under another spelling of its
  // name; its size, or -1 when it is under neither.
  long long findFile(const std::string &name, std::string *file);
  // Parses SMIL s into its slot. Returns 0, or loadSmils' errors.
  int loadSmil(int s);

  std::unordered_map<std::string, int> smil_lookup_;
  std::unordered_map<std::string, std::vector<std::string>> listings_;  // folder -> its file names
  std::vector<int> smil_hint_;  // last element found by id, per SMIL
  // The ids and text fragments of every SMIL (smil_use_id_lists), dropped
  // in one piece once the text references are resolved.
  StringArray *smil_ids_ = nullptr, *smil_fragments_ = nullptr;
  int is_daisy3_ = 0;
  int read_smil_ = -1, read_par_ = -1, read_clip_ = -1;  // the clip whose par text readParText read last
};

}  // namespace daisynav
