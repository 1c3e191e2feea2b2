// ebook/ebook_epub.h: what the reader asks of an open EPUB beside its pages:
// its chapters (the table of contents) as page and offset in the page, and
// what was left out. parser is the reader's copy of ebook_parser_for_epub;
// every call answers "nothing" (-1, 0, null) for another record or a
// closed one.
#pragma once

#include "ebook/ebook_parser.h"

// Number of chapters (at least 1 for an open book).
int ebook_epub_chapter_count(ebook_parser *parser);

// Where chapter (0-based) starts: *page and the byte *offset in that page's
// text. 0, or -1 for a chapter outside the book.
int ebook_epub_chapter_start(ebook_parser *parser, int chapter, int *page, int *offset);

// The chapter that holds byte offset of page: the last one starting at or
// before it; -1 before the first chapter.
int ebook_epub_chapter_of(ebook_parser *parser, int page, int offset);

// The chapter's label in the table of contents ("" when it has none), or
// null.
const char *ebook_epub_chapter_title(ebook_parser *parser, int chapter);

// The book's title and author from its metadata ("" when it names none),
// or null.
const char *ebook_epub_title(ebook_parser *parser);
const char *ebook_epub_author(ebook_parser *parser);

// Content documents the book could not give (missing from the archive,
// unreadable, encrypted).
int ebook_epub_missing(ebook_parser *parser);

// The result of the last EPUB open (0, or a code of ebook/epub.h), so the
// reader can say why a book did not open.
int ebook_epub_last_error(void);
