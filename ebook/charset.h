// ebook/charset.h: character sets of e-book text. Detection of the set a
// plain text is written in, the page-size functions that cut a text into
// pages of about 400-500 bytes on character boundaries (preferably after
// punctuation), and the process-wide converters to UTF-8, opened once at
// start-up. Everything the reader speaks is UTF-8.
//
// The converters are shared by every thread; each has its own lock, taken
// only for the one iconv call.
#pragma once

#include <cstddef>
#include <string>

enum {
  CHARSET_NOT_TEXT = 0,  // the readers treat it as GBK
  CHARSET_GBK = 936,     // decoded as GB18030, its superset
  CHARSET_BIG5 = 950,
  CHARSET_UTF8 = 65001,
  CHARSET_UTF16LE = 65005,
  CHARSET_UTF16BE = 65006,
};

// The character set of a text from its first bytes: a byte-order mark, the
// zero bytes of ASCII written as UTF-16, UTF-8 validity, and the trail bytes
// that tell GBK from Big5. Returns one of the codes above.
int get_charset(const unsigned char *buffer, int length);

// Byte length of the next page starting at buffer, length bytes being
// available: the whole rest when it is 500 bytes or less, else a cut between
// about 400 and 500 bytes after a break character (punctuation, a control
// character), never inside a character. The UTF-16 variants return even
// lengths and keep surrogate pairs whole.
int get_page_size_for_utf8(const unsigned char *buffer, int length);
int get_page_size_for_gbk(const unsigned char *buffer, int length);
int get_page_size_for_big5(const unsigned char *buffer, int length);
int get_page_size_for_utf16le(const unsigned char *buffer, int length);
int get_page_size_for_utf16be(const unsigned char *buffer, int length);

typedef int (*PageSizeFunc)(const unsigned char *buffer, int length);

// The page-size function for a character-set code (GBK's for 0 and unknown
// codes).
PageSizeFunc get_page_size_func(int charset);

// Opens the six converters (UTF-16LE, UTF-16BE, UTF-8, Big5 and GBK to UTF-8,
// UTF-8 to GBK). Returns 0 (also when they are open already), or -1 ... -6
// for the first one that could not be opened, after a line on the error
// stream.
int register_iconv_cd(void);

// Closes the converters (tools and tests; the player keeps them for life).
void unregister_iconv_cd(void);

// One iconv call on the matching converter, with iconv's contract: pointers
// and counts advanced, the result as iconv's ((size_t)-1 with errno set on
// failure; EBADF when the converters are not open).
size_t utf16le_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left);
size_t utf16be_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left);
size_t utf8_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left);
size_t big5_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left);
size_t gbk_to_utf8(char **in, size_t *in_left, char **out, size_t *out_left);
size_t utf8_to_gbk(char **in, size_t *in_left, char **out, size_t *out_left);

// Converts one page of text in charset to UTF-8 in out (NUL-terminated when
// there is room). An invalid sequence is skipped: in GBK and Big5 two bytes
// become one space, in UTF-16 one unit is dropped, in UTF-8 one byte is
// dropped; an incomplete character at the end is dropped. Returns the
// number of UTF-8 bytes written, or -1 when the converters are not open.
int charset_page_to_utf8(int charset, const char *in, int in_len, char *out, int out_size);

// The iconv name of a code ("UTF-8", "GB18030", ...), for per-file
// converters and messages.
const char *charset_iconv_name(int charset);

// The text of a file name, for speaking and for the name order: the name
// itself when it is UTF-8, else its bytes decoded as GBK (GB18030) or Big5,
// whichever they look like, an undecodable pair read as a space. The name
// that opens the file is always the original one. Without the converters
// the name comes back as it is.
std::string charset_name_text(const char *name);
// Whether a name is UTF-8 through and through (null counts as one).
bool charset_name_is_utf8(const char *name);
