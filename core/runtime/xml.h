// core/runtime/xml.h: reading values out of parsed XML trees by element name and
// path, the dollar escapes of free text stored in the program's XML files,
// and reading and crash-safe writing of whole XML files.
//
// The access functions search a node and its following siblings ("first" is
// the first child node of the element whose children are searched) for
// element nodes whose name matches exactly. They are pure functions over a
// tree the caller owns, except that the text functions unescape the
// element's text in place.
#pragma once

#include <libxml/tree.h>
#include <cstddef>
#include <memory>
#include <string>

// Copies src into dst (size bytes) with the dollar escapes: "<" "$0", ">"
// "$1", "&" "$2", '"' "$3", "'" "$4", "$" "$5". Bytes that are not valid
// UTF-8 (a name in another encoding) are kept as "$x" and two hex digits, so
// that the file stays well-formed and the text reads back byte for byte.
// The copy stops before an escape that no longer fits; dst is always
// terminated. Returns dst.
char *Str2XmlStr(const char *src, char *dst, int size);

// Undoes the escapes in place. A "$" followed by anything else stays and a
// warning is printed. Returns text.
char *XmlStr2Str(char *text);

// Reads the decimal text of the element name. Returns 0 with *value set; -1
// no such element (or null node); -2 element without text; -3 text that is
// not a decimal int.
int XxmlGetValue(xmlNode *first, const char *name, int *value);

// The text of element name, unescaped in place inside the tree; it lives as
// long as the document. Returns 0, -1 no such element, -2 no text.
int XxmlGetStr(xmlNode *first, const char *name, char **text);

// The first child node of the element reached by a path of element names
// separated by "/"; null when a step is missing, the path is empty or
// starts with "/".
xmlNode *XxmlEnterPath(xmlNode *first, const char *path);

// Reads the element at path ("a/b/c": c inside b inside a). Returns 0; -1
// empty path or one ending in "/"; -2 a step not found; -3 no text or not a
// number.
int XxmlPathGetValue(xmlNode *first, const char *path, int *value);

// Returns 0 with *text the element's unescaped text (null when it has no
// text), -1 or -2 as XxmlPathGetValue.
int XxmlPathGetStr(xmlNode *first, const char *path, char **text);

struct XmlDocFree {
  void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// The largest file XxmlReadFile parses: settings, marks, alarms and stations
// fit many times over; anything bigger is refused unread, as the board has
// 64 MB and a parsed tree takes several times the file.
constexpr long kXmlMaxFileSize = 1L << 20;

// Parses a file of the system ("/home/..."; mapped onto the board). A file
// that is well-formed except for text in another encoding is read with
// those bytes kept as "$x" escapes. Returns 0 with *doc set; -1 when the
// file cannot be read or is larger than kXmlMaxFileSize; -2 when it is not
// well-formed XML.
int XxmlReadFile(const char *path, XmlDocPtr *doc);

// Appends an element name with text under parent: XxmlAddText with the
// dollar escapes (any bytes, as Str2XmlStr keeps them), XxmlAddInt in decimal.
void XxmlAddText(xmlNode *parent, const char *name, const std::string &text);
void XxmlAddInt(xmlNode *parent, const char *name, int value);

// Writes doc as UTF-8 to a file of the system so that a power cut leaves
// either the old or the new file: a temporary file beside it is written and
// flushed to the disk, then renamed over the old one. Returns 0 or -1.
int XxmlSaveFile(xmlDoc *doc, const char *path);

// Writes len bytes of data to a file of the system the same crash-safe way;
// a file that already holds exactly these bytes is left alone, so saving
// often wears nothing. Returns 0 or -1.
int SaveFileSafe(const char *path, const char *data, size_t len);

// Keeps a file the program cannot accept for whoever wants to see it: it is
// renamed to the first free name of path".bad", path".bad.1", path".bad.2"...
// so that no earlier copy is ever replaced. Returns 0, -1 when it cannot be
// renamed (it stays where it is).
int XxmlKeepBad(const char *path);

// Reads at most limit bytes from the start of a regular file of the system.
// Returns the number of bytes read, or -1 when it cannot be opened.
int ReadFileHead(const char *path, size_t limit, std::string *data);
