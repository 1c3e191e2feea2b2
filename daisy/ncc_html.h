// daisy/ncc_html.h: the reader of a DAISY 2.02 navigation control file
// (ncc.html): its title, its meta elements and its navigable items (the
// headings, page numbers and other anchored elements of the body).
// A record is used by one thread at a time.
#pragma once

struct StringArray;

struct NccHtmlInfo {
  char *title;                 // text of head/title, null when the file has none
  StringArray *meta_names;     // name and content of every meta with both
  StringArray *meta_contents;
  StringArray *header_names;   // per item: element name (h1 ... h6, span, div, ...)
  StringArray *header_classes; // its class ("" when none)
  StringArray *header_hrefs;   // the href of its anchor
  StringArray *header_labels;  // the text of its anchor
};

// Makes an empty record, or null when out of memory.
NccHtmlInfo *NccHtmlInfo_new(void);
void NccHtmlInfo_free(NccHtmlInfo *info);

// Reads the NCC at path into info. Items are the elements of the body that
// hold an anchor with an href; the item is the anchor's nearest enclosing
// heading (h1-h6), else its nearest span, else the body's child that holds
// it. The label is all text of the anchor, white space collapsed.
// Returns 0; -3 when the file had XML errors (what could be read was read);
// -1 bad argument; -2 out of memory; -4 cannot open; -5 empty file.
int ncc_html_parse(const char *path, NccHtmlInfo *info);

// Number of metas, or -1 when the two lists disagree.
int NccHtmlInfo_get_total_metas(const NccHtmlInfo *info);
// Content of the first meta named exactly name, or null.
const char *NccHtmlInfo_find_meta(const NccHtmlInfo *info, const char *name);
const char *NccHtmlInfo_get_meta_name(const NccHtmlInfo *info, int i);
const char *NccHtmlInfo_get_meta_content(const NccHtmlInfo *info, int i);

// Number of items, or -1 unless names, classes and hrefs agree.
int NccHtmlInfo_get_total_headers(const NccHtmlInfo *info);
const char *NccHtmlInfo_get_header_name(const NccHtmlInfo *info, int i);
const char *NccHtmlInfo_get_header_class(const NccHtmlInfo *info, int i);
const char *NccHtmlInfo_get_header_href(const NccHtmlInfo *info, int i);
const char *NccHtmlInfo_get_header_label(const NccHtmlInfo *info, int i);
