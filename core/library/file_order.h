// core/library/file_order.h: the names of one folder and the order the
// browser lists them in (numbers by value, Chinese by pinyin through the
// collation table). The table is loaded once, on first use, by whichever
// thread sorts first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The names of one folder's subfolders or files: one growing byte buffer
// holding the NUL-terminated names back to back, and their offsets. Sorting
// moves only offsets.
struct FileOrderList {
  std::vector<char> names;         // capacity names.size(), grows by 4096 bytes
  size_t names_used = 0;
  std::vector<uint32_t> offsets;   // capacity offsets.size(), grows by 1024 entries
  int count = 0;
};

// Adds a name. Returns 0, -1 for a name of 4096 bytes or more.
int FileOrderListAdd(FileOrderList *list, const char *name);
// Empties the list and shrinks it back to 4096 bytes and 1024 entries.
void FileOrderListReset(FileOrderList *list);
// Name i, or null outside 0..count-1.
const char *FileOrderListGet(const FileOrderList *list, int i);

// Sorts a list in place as binary insertion would, a name in front of
// those it equals (ascending nonzero: smallest first) with compare; lists
// of fewer than two names are left alone.
void SortFileByName(FileOrderList *list, int ascending, int (*compare)(const char *, const char *));

// The name order: digit runs compare as numbers, hyphens are ignored (a
// name with hyphens sorts after the same name without), every other
// character by its weight in the collation table "/home/ChnCharIndexs.bin"
// (65536 little-endian 16-bit weights by code point; Chinese by pinyin).
// Without the table every pair compares equal. Returns <0, 0 or >0.
int LogicalStrCmp(const char *a, const char *b);
// Forgets the loaded table, so the next comparison reads the file again
// (for tests; not while another thread sorts).
void LogicalStrCmpReset(void);
