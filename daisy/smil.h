// daisy/smil.h: the SMIL reader of both DAISY versions. One SMIL file
// becomes a flat, document-ordered table of its seq, par, text and audio
// elements with their clip times; the navigators build the book from these
// tables. Also the conversion of SMIL clock values to milliseconds.
// A record is used by one thread at a time.
#pragma once

#include <cstdint>

struct StringArray;

// Skippable structures an element belongs to (DsySmlInfo::skip): DAISY 3
// marks them with customTest (named by the head's customAttributes),
// DAISY 2.02 with a class or a system-required test on the par or text.
enum {
  SMIL_SKIP_PAGE = 1,      // page numbers
  SMIL_SKIP_NOTE = 2,      // notes and note references
  SMIL_SKIP_SIDEBAR = 4,   // sidebars
  SMIL_SKIP_PRODNOTE = 8,  // producer's notes
};

enum {
  SMIL_SEQ = 0,
  SMIL_PAR = 1,
  SMIL_TEXT = 2,
  SMIL_AUDIO = 3,
};

struct DsySmlInfo {
  int is_daisy3;               // 0: DAISY 2.02 names; else DAISY 3 names
  StringArray *ids;            // id values of the elements (released by the navigators after open)
  StringArray *text_files;     // text documents named by text elements (own, or the book's list)
  StringArray *text_fragments; // fragment of each text element's src (released after open)
  StringArray *audio_files;    // audio files, each name once
  int owns_text_files;         // 0 when text_files is the book-wide list of the navigator
  int owns_id_lists;           // 0 when ids and text_fragments are the navigator's book-wide lists
  int block, step;             // string block size and growth of the tables
  // Per element, in document order:
  uint8_t *kind;      // SMIL_SEQ ... SMIL_AUDIO
  int32_t *id_index;  // position in ids, -1 without id (released with ids by the navigators)
  int32_t *file_index;  // text: in text_files; audio: in audio_files; else -1
  int32_t *begin;     // seq/par: own index; text: fragment (then id index in the document); audio: clip begin ms
  int32_t *end;       // seq/par: one past the last descendant (-1 unclosed); text: -1; audio: clip end ms
  uint8_t *skip;      // SMIL_SKIP_* bits: its own and its containers' (a text's also reach its par)
  int capacity, count;
  int32_t time_in_this_smil;  // ms, -1 until known
  int32_t total_elapsed;      // ms from the book's start to this file's, -1 until known
  int32_t *start_ms;          // per element, audio time before it in this file; null without audio
  char *base;                 // folder of the SMIL file inside the book ("" or null: the book's own)
};

// Makes an empty record sized for a file of file_size_bytes. Returns null
// when out of memory.
DsySmlInfo *DsySmlInfo_new(int file_size_bytes, int is_daisy3);
void DsySmlInfo_free(DsySmlInfo *info);

// Makes the parse record its text document names in text_files (owned by the
// caller, which must outlive info) instead of its own list, so that text file
// indices are the same across every SMIL of a book. Call before smil_parse.
// Returns 0, or -1 for a missing argument.
int smil_use_text_files(DsySmlInfo *info, StringArray *text_files);

// Makes the parse record its ids and text fragments in ids and fragments
// (owned by the caller, which must outlive info), shared by every SMIL of
// a book, so that a navigator drops them in one piece once resolved. Call
// before smil_parse. Returns 0, or -1 for a missing argument.
int smil_use_id_lists(DsySmlInfo *info, StringArray *ids, StringArray *fragments);

// Names the folder of the SMIL file relative to the book's ("smil/"): text
// and audio names are then recorded relative to the book's folder
// ("smil/../audio/a.mp3" as "audio/a.mp3"). Returns 0, -1 for a missing
// argument, -2 out of memory.
int smil_set_base(DsySmlInfo *info, const char *folder);

// Reads the SMIL file at path into info. Returns 0; -3 when the file had
// XML errors (everything readable was still read); -1 bad argument; -2 out
// of memory; -4 cannot open; -5 empty file.
int smil_parse(const char *path, DsySmlInfo *info);

int smil_get_total_elements(const DsySmlInfo *info);  // count, -1 for null

// Index of the element whose id is id, searching from `from` forwards
// (direction >= 0) or backwards; from is clamped into the table. Returns
// -101 when not found, -1 for null arguments.
int smil_find_id(const DsySmlInfo *info, const char *id, int from, int direction);

// Audio file of element i, or null.
const char *smil_get_audio_element_filename(const DsySmlInfo *info, int i);

// First text or audio element at or after max(from, 0), or the last one at
// or before min(from, count-1); -1 when none. The par variants find pars.
int smil_find_text_or_audio(const DsySmlInfo *info, int from);
int smil_find_last_text_or_audio(const DsySmlInfo *info, int from);
int smil_find_next_par(const DsySmlInfo *info, int from);
int smil_find_last_par(const DsySmlInfo *info, int from);

// 1 when text element i has no audio in its par (it is spoken), 0 when it
// has (the audio is the phrase), -1 for bad arguments.
int smil_check_text_element_is_only_text(const DsySmlInfo *info, int i);

// A SMIL clock value in ms: full clock "h:mm:ss.fff", partial "mm:ss.fff",
// timecount "12.5s" / "2min" / "1.5h" / "40ms" / "7", each optionally after
// "npt=". Returns -1 for null or more than two colons, 0 for text that is
// no clock value.
int clipping_and_clock_value_to_ms(const char *text);
