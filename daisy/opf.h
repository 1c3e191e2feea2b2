// daisy/opf.h: the reader of a DAISY 3 package file (OPF): Dublin Core and
// extra metadata, the manifest and the spine.
// A record is used by one thread at a time.
#pragma once

struct StringArray;

struct OpfInfo {
  StringArray *dc_names;       // element name of each Dublin Core element ("dc:Title")
  StringArray *dc_contents;    // its text (at most 1024 bytes)
  StringArray *x_names;        // name and content of each x-metadata meta
  StringArray *x_contents;
  StringArray *manifest_ids;   // id, href and media-type of each manifest item
  StringArray *manifest_hrefs;
  StringArray *manifest_types;
  StringArray *spine;          // idref of each spine itemref
};

// Makes an empty record, or null when out of memory.
OpfInfo *OpfInfo_new(void);
void OpfInfo_free(OpfInfo *o);

// Reads the package at path. Dublin Core elements are taken from
// dc-metadata, or straight from metadata in packages without it. Returns 0;
// -3 when the file had XML errors (what could be read was read); -1 bad
// argument; -2 out of memory; -4 cannot open; -5 empty.
int opf_parse(const char *path, OpfInfo *o);

// Counts; -1 when parallel lists disagree or o is null.
int opf_get_dcmetadata_cnt(const OpfInfo *o);
int opf_get_xmetadata_cnt(const OpfInfo *o);
int opf_get_manifest_cnt(const OpfInfo *o);
int opf_get_spine_cnt(const OpfInfo *o);

// Entry i, or null.
const char *opf_get_dcmetadata_name(const OpfInfo *o, int i);
const char *opf_get_dcmetadata_content(const OpfInfo *o, int i);
const char *opf_get_xmetadata_name(const OpfInfo *o, int i);
const char *opf_get_xmetadata_content(const OpfInfo *o, int i);
const char *opf_get_manifest_id(const OpfInfo *o, int i);
const char *opf_get_manifest_href(const OpfInfo *o, int i);
const char *opf_get_manifest_mediatype(const OpfInfo *o, int i);
const char *opf_get_spine(const OpfInfo *o, int i);

// Index of the first exact match: Dublin Core element by name, x-metadata
// by name, manifest item by id or by media-type. -101 when none, -1 for
// null arguments.
int opf_find_dcmetadata(const OpfInfo *o, const char *name);
int opf_find_xmetadata(const OpfInfo *o, const char *name);
int opf_find_manifest_id(const OpfInfo *o, const char *id);
int opf_find_manifest_mediatype(const OpfInfo *o, const char *type);
