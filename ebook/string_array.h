// ebook/string_array.h: two growable string containers that keep every
// string in one text buffer with an index of offsets, so thousands of short
// strings cost two allocations. StringArray serves the DAISY parsers; the
// string collection serves the EPUB parser, which builds one string from
// several pieces of character data. Neither is thread-safe: one owner at a
// time.
#pragma once

struct StringArray {
  int block;          // growth unit of the text buffer in bytes
  int grow;           // growth step of the index in entries
  char *text;         // the strings, each NUL-terminated, one after another
  int text_size;
  int text_used;
  int *index;         // offset of each string in text
  int index_size;
  int count;
};

// Makes an empty array; block <= 0 means 2048 bytes, grow <= 0 100 entries.
// Returns the array, or null when out of memory.
StringArray *StringArray_new(int block, int grow);
void StringArray_free(StringArray *array);

// Appends a copy of text (NUL-terminated) or of length bytes of bytes (a NUL
// is added). Return 0; -1 for a missing argument or a negative length; -2 out
// of memory (the array is unchanged).
int StringArray_add(StringArray *array, const char *text);
int StringArray_add_with_length(StringArray *array, const char *bytes, int length);

// Gives back the room reserved for strings not yet added (an add grows
// the array again). Moves the strings: earlier pointers become invalid.
void StringArray_shrink(StringArray *array);

// Number of strings, or -1 for a missing array.
int StringArray_get_cnt(const StringArray *array);

// String i, or null when i is out of range. The pointer stays valid until
// the next add.
const char *StringArray_get(const StringArray *array, int i);

// Index of the first string equal to text, or -1.
int StringArray_find(const StringArray *array, const char *text);

struct StringCollection {
  int block;     // growth unit of the buffer in bytes
  char *buffer;
  int buffer_size;
  int used;
  int *index;
  int index_size;
  int count;
};

// Makes a collection with a buffer of block bytes (<= 0: 2048) and an index
// of 100 entries. Returns it, or null when out of memory.
StringCollection *new_string_collection(int block);
void delete_string_collection(StringCollection *coll);

// Appends a copy of text as a new string. Returns 0; -1 for a missing
// argument; -2 the buffer or -3 the index could not grow.
int add_string_to_string_collection(StringCollection *coll, const char *text);

// Appends length bytes to the last string. Returns 0; -1 for a missing
// argument or a negative length; -2 the buffer could not grow; -3 when the
// collection holds no string yet.
int add_text_to_string_collection(StringCollection *coll, const char *bytes, int length);

// String i, or null when out of range.
const char *get_string_from_string_collection(const StringCollection *coll, int i);

// Forgets the last string (its bytes stay allocated). Returns 0, or -1 when
// there is none.
int remove_last_string_in_string_collection(StringCollection *coll);

// Number of strings, or -1 for a missing collection.
int get_string_cnt_in_string_collection(const StringCollection *coll);

// Index of the first string equal to text, or -1.
int find_string_cnt_in_string_collection(const StringCollection *coll, const char *text);

// With n < 0 the first string equal to text; with n >= 0 the first string
// that is exactly n bytes long and equals the first n bytes of text. Returns
// the string, or null.
const char *find_string_in_string_collection(const StringCollection *coll, const char *text, int n);
