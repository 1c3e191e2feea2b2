// ebook/word_doc.h: the Word 97 reader. A .doc file is a compound file (a
// small file system of sectors: the FAT chains them into streams, the
// mini-FAT chains 64-byte pieces of the mini stream, the directory names the
// streams). The reader finds the `WordDocument` stream and its table stream,
// reads the piece table there, and turns the main text of the document
// (footnotes, headers and comments are left out) into UTF-16LE a voice can
// read: 8-bit pieces decoded as code page 1252, paragraph, line, page and
// cell marks made line feeds, fields reduced to their shown result, object
// anchors and optional hyphens dropped.
//
// The text is held in memory; a WordDoc is used by one thread at a time.
// Every size and chain is checked against the file, so a hostile file is
// refused (never looped on, never over-read, never allocated for).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct WordDoc {
  std::string text;  // UTF-16LE bytes of the main text
  int64_t pos = 0;   // read position (bytes) of DocRead
};

// Results of DocInit besides 0.
enum {
  DOC_DAMAGED = -1,      // malformed structure, cycle, truncation or read error
  DOC_PROTECTED = -4,    // encrypted or obfuscated
  DOC_NO_MEMORY = -5,
  DOC_UNSUPPORTED = -6,  // not a compound file, or a Word version before 97
};

// Reads the main text of the Word 97 document in file into doc. Returns 0,
// or one of the results above (doc->text then empty).
int DocInit(WordDoc *doc, FILE *file);

// Frees the text.
void DocRelease(WordDoc *doc);

// Moves the read position to byte offset of the UTF-16 text. 0, or -1
// outside 0 ... its length.
int DocSeek(WordDoc *doc, int64_t offset);

// Copies up to count bytes of UTF-16LE text from the read position and
// advances it. Returns the bytes delivered (0 at the end), -1 for a bad
// argument.
int DocRead(WordDoc *doc, void *buffer, int count);

// 1 when file is a compound file holding a top-level stream of that name
// (an encrypted Office package keeps "EncryptedPackage"), 0 when it does
// not, -1 when it is no compound file or a damaged one.
int DocHasStream(FILE *file, const char *name);
