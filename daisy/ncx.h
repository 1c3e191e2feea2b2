// daisy/ncx.h: the reader of a DAISY 3 navigation control file (NCX): the
// navigation maps with the nesting level of each navigation point, the page
// lists and the other navigation lists with their labels.
// A record is used by one thread at a time.
#pragma once

#include <cstdint>

struct StringArray;

struct NavMapRec {
  StringArray *srcs;  // content src of each navigation point, in document order
  StringArray *labels;  // its navLabel's text ("" when it has none); as many as srcs
  int32_t *levels;    // per entry: navPoint nesting depth, 1 at the top
  int levels_capacity;
};

struct NavTargetList {
  char *class_name;    // the list's class, null when missing
  StringArray *srcs;   // content src of each target
  StringArray *labels; // label text of each target ("" when it has none); as many as srcs
};

struct NavInfo {
  NavMapRec **nav_maps;
  int nav_map_count, nav_map_capacity;
  NavTargetList **page_lists;
  int page_list_count, page_list_capacity;
  NavTargetList **nav_lists;
  int nav_list_count, nav_list_capacity;
};

// Makes an empty record, or null when out of memory.
NavInfo *NavInfo_new(void);
void NavInfo_free(NavInfo *n);

// Reads the NCX at path. A target without a content src is skipped; its
// label is its navLabel's first non-blank text wherever the label stands in
// the target. Returns 0; -3 when the file had XML errors (what could be read
// was read); -1 bad argument; -2 out of memory; -4 cannot open; -5 empty.
int ncx_parse(const char *path, NavInfo *n);

// Counts of maps and lists, -1 for null.
int ncx_get_total_nav_maps(const NavInfo *n);
int ncx_get_total_page_lists(const NavInfo *n);
int ncx_get_total_nav_lists(const NavInfo *n);
// Class of list i, or null.
const char *ncx_get_page_list_class(const NavInfo *n, int i);
const char *ncx_get_nav_list_class(const NavInfo *n, int i);
// Entries in map / list i, -1 out of range.
int ncx_get_nav_map_total_refs(const NavInfo *n, int i);
int ncx_get_page_list_total_refs(const NavInfo *n, int i);
int ncx_get_nav_list_total_refs(const NavInfo *n, int i);
// Level of entry j of map i, -1 out of range.
int ncx_get_nav_map_nav_point_level(const NavInfo *n, int map, int j);
// src or label of entry j of map / list i, null out of range.
const char *ncx_get_nav_map_ref(const NavInfo *n, int map, int j);
const char *ncx_get_page_list_ref(const NavInfo *n, int list, int j);
const char *ncx_get_nav_list_ref(const NavInfo *n, int list, int j);
const char *ncx_get_page_list_ref_label(const NavInfo *n, int list, int j);
const char *ncx_get_nav_list_ref_label(const NavInfo *n, int list, int j);
const char *ncx_get_nav_map_ref_label(const NavInfo *n, int map, int j);
