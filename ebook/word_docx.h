// ebook/word_docx.h: the Word 2007 reader. A .docx file is a zip package;
// "[Content_Types].xml" names its main part, whose paragraphs (the text of
// its w:t elements) are gathered as UTF-8 with a line feed after each
// paragraph and line break, a tab for each tab. Pages start where the
// document says Word last rendered a page break; a page longer than the
// reader's sentence table can hold, and a whole document that was never
// paged (most tools write none), is cut into pages of 400-500 bytes like
// any UTF-8 text, so no text is left out.
//
// The main part is inflated and parsed as it is read; the text is capped
// at 32 MiB and the part at 64 MiB of XML, so a hostile package costs
// bounded memory and time. One document is used by one thread at a time.
#pragma once

#include <string>
#include <vector>

struct DocxDocument {
  std::string text;         // UTF-8
  std::vector<int> pages;   // boundaries: page k runs from pages[k] to pages[k+1]
  std::string page;         // the page last read, NUL-terminated
};

// Reasons of a failed docx_open (docx_last_error).
enum {
  DOCX_NOT_ZIP = -1,         // neither a zip package nor an encrypted one
  DOCX_NO_TYPES = -2,        // "[Content_Types].xml" missing
  DOCX_BAD_TYPES = -3,       // "[Content_Types].xml" unreadable
  DOCX_NO_MAIN = -4,         // no Word main part named: another kind of package
  DOCX_NO_FILE = -5,         // the file cannot be opened
  DOCX_MAIN_MISSING = -6,    // the named main part is not in the package
  DOCX_MAIN_BAD = -7,        // the main part cannot be inflated or parsed
  DOCX_NO_MEMORY = -8,
  DOCX_PROTECTED = -9,       // an encrypted package, or encrypted members
  DOCX_DAMAGED_ZIP = -10,    // starts as a zip but its directory cannot be read
};

// Opens the document at path (a fixed path, mapped by the board) and builds
// its text and page table. Returns the document, or null with the reason in
// docx_last_error().
DocxDocument *docx_open(const char *path);

// The reason of the last failed docx_open (0 after a good one).
int docx_last_error(void);

void docx_close(DocxDocument *doc);

// Page count of an open document.
int docx_total_pages(const DocxDocument *doc);

// Sets *text to page (0-based), NUL-terminated, and returns its byte count;
// 0 for a page outside the table.
int docx_read_page(DocxDocument *doc, int page, const char **text);
