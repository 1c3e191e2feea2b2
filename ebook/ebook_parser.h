// ebook/ebook_parser.h: the e-book formats behind one record type. The
// registry picks a record by the file's extension; a record opens a book,
// cuts it into pages and hands each page over as UTF-8. One static record per
// extension, at most one book open per record, used by one thread at a time
// (the reader's).
#pragma once

#include "ebook/charset.h"

#include <cstdint>
#include <string>
#include <vector>

struct ebook_parser {
  const char *extension;  // lower case, without the dot
  void *context;          // the open book's state; null while closed
  // Opens the book at path (a fixed path, mapped by the board) and builds
  // its page table. 0; -1 missing parser; -2 out of memory; -4 already open
  // (PDF: also no usable page count); -6 the file cannot be opened or parsed.
  int (*open)(ebook_parser *parser, const char *path);
  // Releases the book. 0, or -1 for a missing parser.
  int (*close)(ebook_parser *parser);
  // Raw bytes of the plain-text family (null for the other formats): reads
  // count bytes at the file's current position. Returns the bytes read.
  int (*read_raw)(ebook_parser *parser, void *buffer, int count);
  // Number of pages; 0 while closed.
  int (*get_total_pages)(ebook_parser *parser);
  // Makes page (0-based) available as UTF-8 at *text (NUL-terminated, valid
  // until the next call) and returns its byte count; 0 for a page outside
  // the table, a closed parser or a missing text pointer.
  int (*read_page)(ebook_parser *parser, int page, const char **text);
  void *spare;  // always null
};

// Page tables hold at most this many boundaries; a longer text is cut off.
constexpr int kEbookMaxPageEntries = 0x1ffff;
// A page is read as at most this many bytes.
constexpr int kEbookPageBytes = 512;

extern ebook_parser ebook_parser_for_txt, ebook_parser_for_ebk, ebook_parser_for_ebd, ebook_parser_for_ebe,
    ebook_parser_for_docx, ebook_parser_for_pdf, ebook_parser_for_epub, ebook_parser_for_doc,
    ebook_parser_for_htm, ebook_parser_for_html, ebook_parser_for_lrc, ebook_parser_for_mht;

// The registry, in search order; null-terminated.
extern ebook_parser *const g_ebook_parser_list[];

// The extension of filename: what follows its last '.', or null when there
// is no '.' or nothing follows it.
const char *get_extension_name(const char *filename);

// The record for filename's extension (compared ignoring case), or null.
ebook_parser *find_ebook_parser(const char *filename);

// 1 when a record serves filename's extension, else 0.
int check_is_ebook(const char *filename);

// A plain-text book (txt, ebk, ebd, ebe) is paged as far as reading has
// gone: the pages found so far, or -1 when the table is whole (then
// get_total_pages answers at once) or for another record. Asking
// get_total_pages completes the table.
int ebook_text_known_pages(ebook_parser *parser);

// The whole page table of a plain-text book and the set it was cut in, as
// one opening of a book makes it for another opening of the same book.
struct EbookTextPages {
  std::vector<int64_t> pages;
  int charset = 0;
};
// Completes the table of parser's book and copies it out. Returns 0, -1
// for another record or a closed one.
int ebook_text_get_pages(ebook_parser *parser, EbookTextPages *out);
// Makes `in` the table of parser's book, which must be paged no further
// than its start matches. Returns 0, or -1 (nothing changed).
int ebook_text_set_pages(ebook_parser *parser, const EbookTextPages &in);

// The character set an open plain-text book (txt, ebk, ebd, ebe) is read
// in, or -1 for another record or a closed one.
int ebook_text_charset(ebook_parser *parser);

// The character set (CHARSET_*) the plain-text books opened from now on are
// read in whatever they look like, or 0 to detect it (the default). Key
// distribution thread. Returns 0, -1 for a code the reader does not know
// (detection is kept).
int ebook_text_choose_charset(int charset);

// Replaces the 8-byte key of the ebd format (taken in order).
void set_xor_value_for_ebd(const unsigned char *key);

// Where the PDF record finds its outside programs and their configuration
// (fixed paths, mapped by the board): "/home/pdfinfo", "/home/pdftotext" and
// "/home/xpdfrc" unless set. Null keeps a value.
void set_pdf_programs(const char *pdfinfo, const char *pdftotext, const char *config);

// The page count in the output of the PDF info program (after "Pages:"), or
// -1 after a message when it names none or a count out of range.
int pdf_info_pages(const char *info);

// Memory-text books (lrc here; html, mht and epub build on it): the whole
// book as UTF-8 in memory, a page table of offsets into it and a page buffer.
struct EbookMemText {
  std::string text;
  std::vector<int> pages;  // boundaries: page k runs from pages[k] to pages[k+1]
  char page[kEbookPageBytes + 1];
};

// Cuts text into pages with page_size (the UTF-8 one when null), starting at
// offset start. Returns the page count.
int ebook_memtext_paginate(EbookMemText *book, PageSizeFunc page_size, int start);

// Number of pages of a paginated text.
int ebook_memtext_total_pages(const EbookMemText *book);

// Copies page (at most 512 bytes) into the page buffer, sets *text to it and
// returns its length; 0 for a page outside the table.
int ebook_memtext_read_page(EbookMemText *book, int page, const char **text);

// The close, get_total_pages and read_page of a record whose context is an
// EbookMemText its open allocated with new.
int ebook_memtext_close(ebook_parser *parser);
int ebook_memtext_get_total_pages(ebook_parser *parser);
int ebook_memtext_get_page(ebook_parser *parser, int page, const char **text);

// Writes the "... is using, can't open again" line for a record that is
// open already. Returns -4.
int ebook_parser_busy(const ebook_parser *parser);

// Open results beyond the common ones, from the formats that can tell why a
// file cannot be read (the Word documents); the reader speaks the reason.
enum {
  EBOOK_OPEN_PROTECTED = -7,    // encrypted or protected by a password
  EBOOK_OPEN_DAMAGED = -8,      // truncated, inconsistent or unreadable
  EBOOK_OPEN_UNSUPPORTED = -9,  // a version or variant of the format the reader does not know
};
