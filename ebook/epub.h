// ebook/epub.h: EPUB books. The ZIP container is read through minizip, its
// XML (container, package, NCX, navigation document) through the SAX
// wrapper, and every content document of the spine through the HTML text
// extraction (ebook/html_text.h), in spine order, a form feed after each.
// Chapters come from the navigation document (EPUB 3) or the NCX (EPUB 2):
// each entry's href, percent-decoded and resolved against the folder of the
// file that names it, becomes an offset into the text. A book is one
// record, owned by its opener; no state outside it.
#pragma once

#include <string>
#include <vector>

struct EpubChapter {
  int offset;          // where the chapter's first visible text starts
  std::string title;   // the table of contents' label
};

struct EpubBook {
  std::string text;                   // UTF-8; a form feed ends each document
  std::vector<EpubChapter> chapters;  // ascending offsets, at least one
  std::string title, author;          // from the package's metadata
  int missing = 0;                    // spine documents not in the archive or unreadable
  int encrypted = 0;                  // spine documents the archive says are encrypted
};

// Result codes of epub_open, beside 0.
enum {
  EPUB_NOT_ZIP = -1,        // not a ZIP file
  EPUB_BAD_MIMETYPE = -3,   // "mimetype" holds something else than an EPUB's
  EPUB_NO_CONTAINER = -4,   // no META-INF/container.xml
  EPUB_BAD_CONTAINER = -5,  // container without a usable rootfile
  EPUB_NO_OPF = -6,         // the package file is missing
  EPUB_BAD_OPF = -7,        // the package has no spine
  EPUB_NO_TEXT = -8,        // no content document gave any text
  EPUB_ENCRYPTED = -12,     // every content document is encrypted (DRM)
  EPUB_NO_MEMORY = -255,
};

// Opens the EPUB at path (a fixed path, mapped by the board) into *book.
// A spine document that is missing, unreadable or encrypted is skipped and
// counted; the book opens while any document gives text. Returns 0 or a
// code above (logged).
int epub_open(const char *path, EpubBook *book);

// The first chapter start >= offset, or the text length when none; the last
// chapter start <= offset, or 0.
int epub_find_next_section(const EpubBook *book, int offset);
int epub_find_last_section(const EpubBook *book, int offset);

// The chapter that holds offset: the last one starting at or before it (0
// when offset lies before the first).
int epub_chapter_at(const EpubBook *book, int offset);

// Page size of EPUB text: as get_page_size_for_utf8, but a form feed (the
// end of a document) met before byte 400 ends the page right after it, and
// a '.' always breaks.
int get_page_size_for_epub(const unsigned char *buffer, int length);
