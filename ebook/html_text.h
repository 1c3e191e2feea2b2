// ebook/html_text.h: the text of HTML pages and MHT web archives, for
// reading aloud. A page is converted to UTF-8 (its character set detected
// from the bytes, the one the page names taken when detection is unsure),
// parsed by the HTML reader of ebook/xml_sax.h and reduced to what a browser
// shows: markup dropped, title, script and style skipped, white space
// collapsed as in a browser, a line feed at the end of every block (p, div,
// headings, list items, table rows, br, ...), references decoded. An MHT
// archive is a MIME message whose text parts are decoded and read the same
// way, in archive order. No state outside the call; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Where an element with an id began in the text (the target of a link).
struct HtmlAnchor {
  std::string id;
  int offset;
};

// Extraction of one page.
struct HtmlTextOptions {
  // The page's character set as its container names it (an MHT part's
  // charset, an iconv name); null or empty: detect it.
  const char *charset = nullptr;
  // The text stops growing at this many bytes.
  size_t max_text = 64u << 20;
};

// Appends the visible text of the page in bytes[0..length) to *text and,
// when anchors is not null, the ids met with their offsets in *text.
// Returns 0, 1 when the text was cut at max_text, -1 for a missing
// argument.
int html_text_extract(const char *bytes, size_t length, const HtmlTextOptions &options, std::string *text,
                      std::vector<HtmlAnchor> *anchors);

// The character set of a page as an iconv name: from the bytes when they
// tell (a byte-order mark, UTF-16's zero bytes, valid UTF-8), else the
// charset named by a meta element in the page's head when the converters
// know it, else GBK or Big5 by the detector's guess.
std::string html_page_charset(const char *bytes, size_t length);

// Reads the HTML file at path (a fixed path, mapped by the board) into
// *text as above. 0; -1 missing argument; -2 out of memory; -6 the file
// cannot be opened or read (error logged).
int html_parser_open(const char *path, std::string *text);

// Walks the MIME archive in bytes[0..length) and calls write for every
// text part of subtype html or plain, decoded from quoted-printable or
// base64, with its charset parameter (empty when the part has none) and
// whether it is HTML. Multipart bodies are split at their boundary (a
// boundary that never closes ends at the end of the data), message parts
// are entered; other parts are skipped. Returns the number of parts
// handed on; 0 when there was none.
typedef void (*MhtWriteFunc)(void *user, const char *bytes, size_t length, const std::string &charset,
                             bool html);
int MhtDecode(const char *bytes, size_t length, MhtWriteFunc write, void *user);

// The visible text of every text part of the archive at path, in archive
// order, a line feed between parts. Returns as html_parser_open.
int mht_open(const char *path, std::string *text);
