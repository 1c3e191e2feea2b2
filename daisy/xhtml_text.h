// daisy/xhtml_text.h: the text documents of DAISY books (XHTML content of
// DAISY 2.02, DTBook of DAISY 3) as the list of their text chunks, indexed
// by element id, so that a SMIL text reference can be spoken.
// A record is used by one thread at a time.
#pragma once

#include <cstdint>

struct StringArray;

struct XhtmlText {
  StringArray *strings;  // every non-blank piece of character data, in order, trimmed
  StringArray *ids;      // id values, in the order of their start tags
  int32_t *first_string; // per id: index of its first chunk
  int32_t *end_string;   // per id: one past its last chunk; -1 while open
  int step, capacity, count;
};

// Makes an empty record sized for a file of file_size_bytes, or null when
// out of memory.
XhtmlText *XhtmlText_new(int file_size_bytes);
void XhtmlText_free(XhtmlText *t);

// Reads the document at path. The chunks of an element include those of its
// descendants; elements still open at the end of the file end there. Text
// of style and script elements is skipped. Returns 0; -3 when the file had
// XML errors (what could be read was read); -1 bad argument; -2 out of
// memory; -4 cannot open; -5 empty.
int xhtml_parse(const char *path, XhtmlText *t);

// Index of the id equal to id, searching from `from` forwards (direction
// >= 0) or backwards; from >= count starts at the last id, a negative from
// at 0. Returns -101 when not found, -1 for null arguments.
int xhtml_text_find_id(const XhtmlText *t, const char *id, int from, int direction);

// Once every reference is resolved: drops the id values (find_id finds
// nothing after this) and the room reserved for more, keeping the chunks.
// Moves the chunks: earlier pointers to them become invalid.
void xhtml_text_compact(XhtmlText *t);

// Chunk n of the id's range, or null when out of range or unterminated.
const char *xhtml_text_get(const XhtmlText *t, int id_index, int n);

int xhtml_text_get_total_ids(const XhtmlText *t);  // -1 for null
// Number of chunks of the id, 0 when out of range or empty.
int xhtml_text_get_id_total_strings(const XhtmlText *t, int id_index);

// Counts the characters of the document's chunks (read as UTF-8): A-Z and
// a-z as English, code points from 256 up as Chinese. Returns 0, -1 for
// null arguments.
int GetXhtmlTextChnEngCnt(const XhtmlText *t, int *chinese, int *english);
