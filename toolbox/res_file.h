// toolbox/res_file.h: the indexed resource text files of the reading tools
// (quiz and jokes). A file holds, all numbers as decimal text and every field
// ended by the separator byte 0x19:
//   a 17-byte header: index entry count, separator, text offset, separator
//     (the second separator is byte 16);
//   the index: one 24-byte entry per record (id, offset, length, each ended
//     by the separator), the last entry 25 bytes with CR LF in place of its
//     last separator; sorted by id;
//   at the text offset the field-name line and the section line (triples of
//     name, first entry, entry count), each ended by CR LF;
//   the records: at (offset past the two lines) + record offset, record
//     length bytes ending in CR LF, one GBK value per field name.
// Everything read is bounded by the file's size: a hostile count, offset or
// length makes the open or the read fail, never allocate beyond the file.
//
// A ResCtrl is owned by one screen and used on the key distribution thread.
#pragma once

#include <cstdint>
#include <vector>

constexpr unsigned char kResSeparator = 0x19;

struct ResIndex {
  int id;
  int offset;  // from ResCtrl::text_offset
  int length;  // bytes, CR LF included
};

struct ResSection {
  const char *name;  // points into ResCtrl::sect_text
  int start;         // first index entry
  int num;           // entries
};

struct ResCtrl {
  int fd;            // -1 when closed
  int64_t size;      // of the file, bounds every read
  int text_offset;   // advanced past the name and section lines
  std::vector<ResIndex> index;
  int index_num;
  std::vector<char> head_text;  // field names, NUL-separated
  std::vector<const char *> head;
  int head_num;
  std::vector<char> sect_text;  // section fields, NUL-separated
  std::vector<ResSection> sect;
  int sect_num;
};

struct ResData {
  std::vector<char> text;           // the record, separators turned into NULs
  std::vector<const char *> field;  // one per field name
  int spare;
};

// Bit of ResDataToUtfStr's which: the first (which & 0xFFF) fields.
constexpr int kResFirstFields = 0x1000;
// Size of the text ResDataToUtfStr builds.
constexpr int kResTextSize = 4096;

void InitResCtrl(ResCtrl *ctrl);
void InitResData(ResData *data);
void FreeResData(ResData *data);

// Opens the file at path (a path of the system, mapped onto the board),
// reads and checks the header, the index, the field names and the
// sections. Returns 0, or -1 after logging the fault; ctrl is then closed.
int InitSourceFile(const char *path, ResCtrl *ctrl);
// Closes the file and frees what InitSourceFile read.
void DeInitSourceFile(ResCtrl *ctrl);

// The position of the entry with id in the sorted entries, or -1.
int find(int id, const ResIndex *entries, int count);

// Reads the record of entry and splits it into ctrl->head_num fields (a
// record with fewer values leaves the rest empty). Returns 0 or -1.
int ReadSourceFile(const ResIndex *entry, const ResCtrl *ctrl, ResData *data);

// Builds the spoken UTF-8 text of a record into a new kResTextSize buffer
// that the caller frees with delete[]: which >= 0 the one field "name:
// value" (empty when the value is); -1 every field, -2 all but the last, -3
// the second to the one before the last, -4 the third to the one before the
// last, each non-empty one as "name: value,"; with kResFirstFields (or any
// other negative value) the first (which & 0xFFF) fields. Characters GBK
// cannot give are spoken as blanks. Returns 0, or -1 with *text null for a
// field beyond the record.
int ResDataToUtfStr(const ResCtrl *ctrl, const ResData *data, char **text, int which);

// Converts GBK text to UTF-8 in out (size bytes, always terminated); a
// character that cannot be converted becomes one blank per byte. Returns
// the UTF-8 length.
int GbkToUtf8(const char *in, char *out, int size);

// The decimal number at *cursor, which must be followed by the separator
// and lie in 0..max; the cursor moves past the separator. Returns the
// number, or -1 after logging "Source file error.".
int ReadValue(const char **cursor, int max);
