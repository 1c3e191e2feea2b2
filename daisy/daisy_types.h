// daisy/daisy_types.h: the records every DAISY navigation call hands back.
// Both navigators (daisy202.h, daisy3.h) fill the same play item, bookmark
// position and publication summary.
#pragma once

#include <cstdint>

enum {
  DAISY_ITEM_BEGIN = 1,      // before the first phrase of the book
  DAISY_ITEM_END = 2,        // after the last phrase of the book
  DAISY_ITEM_TEXT_REACHED = 3,  // a text element was reached; data = its first chunk ("" when none)
  DAISY_ITEM_TEXT = 4,       // speak data
  DAISY_ITEM_AUDIO = 5,      // play data from clip_begin_ms to clip_end_ms
};

enum {
  DAISY_CHANGED_PAGE = 1,     // the current page changed
  DAISY_CHANGED_HEADING = 2,  // the current heading / navigation point changed
};

// Errors of the DAISY calls.
enum {
  DAISY_ERR_ARG = -1,          // bad argument, no book open, internal failure
  DAISY_ERR_NOMEM = -2,        // out of memory or a file the book needs is missing
  DAISY_ERR_XML = -3,          // malformed XML
  DAISY_ERR_OPEN = -4,         // the file cannot be opened
  DAISY_ERR_EMPTY = -5,        // empty file
  DAISY_ERR_NOT_FOUND = -101,  // the target of a move does not exist
  DAISY_ERR_NO_CONTENT = -102, // the book has no content (no SMIL file)
};

constexpr int32_t kDaisyOpenEnd = 2147483647;  // clip_end_ms of a clip that runs to the file's end

// What the screen does next. Overwritten by every move; data stays valid
// until the book is closed.
struct DaisyPlayItem {
  uint8_t kind;     // DAISY_ITEM_*
  uint8_t changed;  // DAISY_CHANGED_* bits; 3 at the beginning and end of the book
  int32_t clip_begin_ms;  // audio: where to start in the file (a jump inside the clip is included)
  int32_t clip_end_ms;    // audio: where to stop, kDaisyOpenEnd when open-ended
  const char *data;       // text to speak, or the audio file name relative to the book folder
};

// A reading position, as a bookmark or history mark keeps it.
struct DaisyBookMarkInfo {
  int32_t smil_index;
  int32_t element_index;
  int32_t reserved1;     // -1
  int32_t reserved2;     // -1
  const char *text;      // first chunk of the current paragraph's text, or null
  int32_t offset_ms;     // ms into the current audio clip (0 at its start)
};

// Publication summary: pointers into the open book, null when absent.
struct DaisySummary {
  const char *title;
  const char *creator;
  const char *publisher;
  const char *narrator;
  const char *total_time;
  const char *date;
  const char *format;
};
