// ebook/xml_sax.h: a streaming XML reader over libxml2's push parser for the
// DAISY, EPUB and Word parsers, with the attribute and white-space helpers
// their callbacks use. A parse runs on the caller's thread and calls back on
// it; one parse per state record at a time.
#pragma once

struct XmlSaxCallbacks;

// attributes: name/value pairs, ended by a null name (null when the element
// has none). text is not NUL-terminated.
typedef void (*XmlStartElementFunc)(XmlSaxCallbacks *state, const char *name, const char **attributes);
typedef void (*XmlEndElementFunc)(XmlSaxCallbacks *state, const char *name);
typedef void (*XmlCharactersFunc)(XmlSaxCallbacks *state, const char *text, int length);

// The head of a caller's parse state: the caller's record begins with these
// six words (derive from it, or make it the first member) and its own fields
// follow. Any callback may be null.
struct XmlSaxCallbacks {
  void *reserved1;  // set to null by the parser
  int result;       // 0 at the start; a callback stores non-zero to stop the parse
  void *reserved2;  // set to null by the parser
  XmlStartElementFunc start_element;
  XmlEndElementFunc end_element;
  XmlCharactersFunc characters;

  // Sets the three callbacks.
  void on(XmlStartElementFunc start, XmlEndElementFunc end, XmlCharactersFunc text) {
    start_element = start;
    end_element = end;
    characters = text;
  }
};

// Parses the file at path (a fixed path, mapped by the board), feeding it to
// the parser in 2048-byte chunks, and calls state's callbacks for every
// element and every text node. The character data between two tags reaches
// characters() as one piece (entities replaced), however the parser split
// it. Malformed input is recovered from: the elements before and after an
// error are all delivered, the error is logged, and the result says so.
// No network access; external entities are never loaded. HTML's named
// entities (&nbsp; ...) are known without a declaration.
// Returns the result a callback stored to stop the parse, else 0 for a
// well-formed file, -3 when the file had errors (everything readable was
// still delivered), -1 missing argument, -4 the file cannot be opened, -5
// the file is empty.
int xml_sax_parse(const char *path, XmlSaxCallbacks *state);

// The same over length bytes in memory (an entry of a zip container);
// name is used in messages only. -5 for an empty buffer.
int xml_sax_parse_memory(const char *bytes, int length, const char *name, XmlSaxCallbacks *state);

// The same over a byte source that is read as the parse goes (a member of
// a zip container inflated on the fly): read(source, buffer, size) fills
// buffer and returns the bytes given, 0 at the end, negative after a read
// error (the parse then ends there, as on a truncated file). name is used
// in messages only. -5 when the source gives nothing.
int xml_sax_parse_stream(const char *name, XmlSaxCallbacks *state, int (*read)(void *source, char *buffer, int size),
                         void *source);

// The same callbacks over an HTML page of length bytes in UTF-8, through an
// HTML parser: elements without end tags, stray end tags and unclosed
// elements are mended so that every start has its end, the content of
// script and style reaches characters() as raw text, and every named and
// numeric reference is replaced. Element names come in lower case. A
// charset named in the page is ignored. Returns as xml_sax_parse (-3: the
// page had errors, everything readable was delivered).
int html_sax_parse_memory(const char *bytes, int length, const char *name, XmlSaxCallbacks *state);

// Value of the first attribute named exactly name, or null. The caseless
// variant compares names ignoring ASCII case.
const char *get_xml_attribute(const char **attributes, const char *name);
const char *get_xml_attribute_caseless(const char **attributes, const char *name);

// Length of text without its trailing white space (bytes 0x01-0x0A, 0x0D
// and the space; 0x0B, 0x0C and NUL are kept).
int get_no_white_space_len(const char *text, int length);
