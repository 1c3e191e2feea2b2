// The SMIL reader: one SAX pass fills the element table, then the audio
// time before each element is summed. Containers are matched to their end
// tags by depth, so a file whose tags do not balance still gives a table;
// containers still open at the end of the file close there.
#include "daisy/smil.h"

#include "core/runtime/log.h"
#include "audio/ffaudio.h"
#include "daisy/daisy_util.h"
#include "ebook/string_array.h"
#include "ebook/xml_sax.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <strings.h>
#include <utility>
#include <vector>

namespace {

constexpr char kLogSource[] = "daisy/smil.c";
constexpr int kMaxOpen = 64;
constexpr int kMaxPath = 8192;

using daisyutil::equalsNoCase;
using daisyutil::localName;

enum { kOutside = 0, kRoot = 1, kHead = 2, kBody = 3 };

struct SmilParse : XmlSaxCallbacks {
  DsySmlInfo *info = nullptr;
  int depth = 0;
  int state = kOutside;
  int bodyDepth = 0;
  struct Open {
    int index;
    int depth;
    uint8_t skip;  // SMIL_SKIP_* bits its descendants inherit
  } open[kMaxOpen];
  std::vector<std::pair<std::string, uint8_t>> customTests;  // the head's customTest ids and their bits
  int height = 0;
  int lastText = -1;   // last text file found, tried first
  int lastAudio = -1;  // last audio file found
};

void fail(SmilParse *p, int code) {
  if (p->result == 0) p->result = code;
}

// Position of name in array, appended when new; hint is tried first.
int lookupOrAdd(StringArray *array, const char *name, int length, int *hint, int *error) {
  if (*hint >= 0) {
    const char *s = StringArray_get(array, *hint);
    if (s && static_cast<int>(std::strlen(s)) == length && std::memcmp(s, name, static_cast<size_t>(length)) == 0)
      return *hint;
  }
  for (int i = 0; i < array->count; i++) {
    const char *s = array->text + array->index[i];
    if (static_cast<int>(std::strlen(s)) == length && std::memcmp(s, name, static_cast<size_t>(length)) == 0)
      return *hint = i;
  }
  int rc = StringArray_add_with_length(array, name, length);
  if (rc != 0) {
    *error = rc == -2 ? -2 : -1;
    return -1;
  }
  return *hint = array->count - 1;
}

const char *attr(const char **atts, const char *primary, const char *secondary) {
  const char *v = get_xml_attribute(atts, primary);
  if (!v && secondary) v = get_xml_attribute(atts, secondary);
  return v;
}

// Reserves one more element slot and returns its index, or -1 after setting
// the error.
int newElement(SmilParse *p, int kind, const char **atts) {
  DsySmlInfo *s = p->info;
  if (s->count >= s->capacity) {
    int cap = s->capacity;
    bool ok = daisyutil::growArray(&s->kind, &cap, s->step);
    cap = s->capacity;
    ok = ok && daisyutil::growArray(&s->id_index, &cap, s->step);
    cap = s->capacity;
    ok = ok && daisyutil::growArray(&s->file_index, &cap, s->step);
    cap = s->capacity;
    ok = ok && daisyutil::growArray(&s->begin, &cap, s->step);
    cap = s->capacity;
    ok = ok && daisyutil::growArray(&s->end, &cap, s->step);
    cap = s->capacity;
    ok = ok && daisyutil::growArray(&s->skip, &cap, s->step);
    if (!ok) {
      fail(p, -2);
      return -1;
    }
    s->capacity = cap;
  }
  int i = s->count;
  s->kind[i] = static_cast<uint8_t>(kind);
  s->id_index[i] = -1;
  s->file_index[i] = -1;
  s->begin[i] = -1;
  s->end[i] = -1;
  s->skip[i] = 0;
  if (const char *id = get_xml_attribute(atts, "id")) {
    int rc = StringArray_add(s->ids, id);
    if (rc != 0) {
      fail(p, rc == -2 ? -2 : -1);
      return -1;
    }
    s->id_index[i] = s->ids->count - 1;
  }
  return i;
}

// Skip bits of one name: a class, a customTest id or its bookStruct, a
// system-required test. 0 for a name of no skippable structure.
uint8_t skipOfName(std::string_view name) {
  static const struct {
    const char *name;
    uint8_t bits;
  } kNames[] = {
      {"pagenum", SMIL_SKIP_PAGE},        {"page-normal", SMIL_SKIP_PAGE},
      {"page-front", SMIL_SKIP_PAGE},     {"page-special", SMIL_SKIP_PAGE},
      {"page_number", SMIL_SKIP_PAGE},    {"pagenumber-on", SMIL_SKIP_PAGE},
      {"note", SMIL_SKIP_NOTE},           {"noteref", SMIL_SKIP_NOTE},
      {"footnote", SMIL_SKIP_NOTE},       {"endnote", SMIL_SKIP_NOTE},
      {"annotation", SMIL_SKIP_NOTE},     {"annoref", SMIL_SKIP_NOTE},
      {"note_reference", SMIL_SKIP_NOTE}, {"footnote-on", SMIL_SKIP_NOTE},
      {"sidebar", SMIL_SKIP_SIDEBAR},     {"optional_sidebar", SMIL_SKIP_SIDEBAR},
      {"sidebar-on", SMIL_SKIP_SIDEBAR},  {"prodnote", SMIL_SKIP_PRODNOTE},
      {"optional-prodnote", SMIL_SKIP_PRODNOTE}, {"optional_producer_note", SMIL_SKIP_PRODNOTE},
      {"prodnote-on", SMIL_SKIP_PRODNOTE},
  };
  for (const auto &n : kNames)
    if (name.size() == std::strlen(n.name) && strncasecmp(name.data(), n.name, name.size()) == 0) return n.bits;
  return 0;
}

// The bits of every blank-separated name in value; customTest ids are
// first looked up among the head's declarations.
uint8_t skipOfNames(const SmilParse *p, const char *value, bool tests) {
  uint8_t bits = 0;
  std::string_view rest = value ? value : "";
  while (!rest.empty()) {
    size_t start = rest.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    std::string_view name = rest.substr(0, rest.find_first_of(" \t\r\n"));
    rest.remove_prefix(name.size());
    uint8_t found = 0;
    if (tests)
      for (const auto &t : p->customTests)
        if (t.first == name) found = t.second;
    bits |= found ? found : skipOfName(name);
  }
  return bits;
}

uint8_t ownSkip(const SmilParse *p, const char **atts) {
  return skipOfNames(p, get_xml_attribute(atts, "class"), false) |
         skipOfNames(p, get_xml_attribute(atts, "customTest"), true) |
         skipOfNames(p, get_xml_attribute(atts, "system-required"), false);
}

void readTimingMeta(SmilParse *p, const char **atts) {
  const char *name = get_xml_attribute(atts, "name");
  const char *content = get_xml_attribute(atts, "content");
  if (!name || !content) return;
  DsySmlInfo *s = p->info;
  if (s->is_daisy3) {
    if (equalsNoCase(name, "dtb:totalElapsedTime")) s->total_elapsed = clipping_and_clock_value_to_ms(content);
    return;
  }
  if (equalsNoCase(name, "ncc:timeInThisSmil") || equalsNoCase(name, "time-in-this-smil"))
    s->time_in_this_smil = clipping_and_clock_value_to_ms(content);
  else if (equalsNoCase(name, "ncc:totalElapsedTime") || equalsNoCase(name, "total-elapsed-time"))
    s->total_elapsed = clipping_and_clock_value_to_ms(content);
}

// name (length bytes) seen from the book's folder: the SMIL's folder in
// front, "." and ".." resolved.
std::string fromBook(const DsySmlInfo *s, const char *name, int length) {
  std::string joined = std::string(s->base) + std::string(name, static_cast<size_t>(length));
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= joined.size()) {
    size_t slash = joined.find('/', at);
    if (slash == std::string::npos) slash = joined.size();
    std::string part = joined.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else parts.push_back(part);
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string out;
  for (const std::string &part : parts) out += (out.empty() ? "" : "/") + part;
  return out;
}

void addText(SmilParse *p, int i, const char **atts) {
  DsySmlInfo *s = p->info;
  const char *src = get_xml_attribute(atts, "src");
  if (!src) return;
  const char *hash = std::strrchr(src, '#');
  if (!hash || hash == src || hash[1] == '\0' || hash - src >= kMaxPath) return;
  int error = 0;
  int length = static_cast<int>(hash - src);
  std::string based;
  if (s->base && *s->base) {
    based = fromBook(s, src, length);
    src = based.c_str();
    length = static_cast<int>(based.size());
  }
  int file = lookupOrAdd(s->text_files, src, length, &p->lastText, &error);
  if (file < 0) {
    fail(p, error);
    return;
  }
  int rc = StringArray_add(s->text_fragments, hash + 1);
  if (rc != 0) {
    fail(p, rc == -2 ? -2 : -1);
    return;
  }
  s->file_index[i] = file;
  s->begin[i] = s->text_fragments->count - 1;
}

void addAudio(SmilParse *p, int i, const char **atts) {
  DsySmlInfo *s = p->info;
  // Books of either version sometimes use the other version's names.
  const char *b = s->is_daisy3 ? attr(atts, "clipBegin", "clip-begin") : attr(atts, "clip-begin", "clipBegin");
  const char *e = s->is_daisy3 ? attr(atts, "clipEnd", "clip-end") : attr(atts, "clip-end", "clipEnd");
  s->begin[i] = b ? clipping_and_clock_value_to_ms(b) : -1;
  s->end[i] = e ? clipping_and_clock_value_to_ms(e) : -1;
  const char *src = get_xml_attribute(atts, "src");
  if (!src || !*src) return;
  std::string based;
  if (s->base && *s->base) {
    based = fromBook(s, src, static_cast<int>(std::strlen(src)));
    src = based.c_str();
  }
  int error = 0;
  int file = lookupOrAdd(s->audio_files, src, static_cast<int>(std::strlen(src)), &p->lastAudio, &error);
  if (file < 0) {
    fail(p, error);
    return;
  }
  s->file_index[i] = file;
}

void onStart(XmlSaxCallbacks *state, const char *name, const char **atts) {
  auto *p = daisyutil::enterElement(static_cast<SmilParse *>(state), &SmilParse::info);
  if (!p) return;
  if (p->height >= kMaxOpen) return;
  const char *local = localName(name);
  if (p->depth == 1) {
    p->state = kRoot;
    return;
  }
  // head and body by name, at any depth: a head whose meta elements are not
  // closed nests the body deeper than it should be.
  if (p->state != kBody && equalsNoCase(local, "body")) {
    p->state = kBody;
    p->bodyDepth = p->depth;
    return;
  }
  if (p->state == kRoot && equalsNoCase(local, "head")) {
    p->state = kHead;
    return;
  }
  if (p->state == kHead) {
    if (equalsNoCase(local, "meta")) readTimingMeta(p, atts);
    const char *id = get_xml_attribute(atts, "id");
    if (equalsNoCase(local, "customTest") && id && static_cast<int>(p->customTests.size()) < kMaxOpen) {
      const char *structure = get_xml_attribute(atts, "bookStruct");
      uint8_t bits = structure ? skipOfName(structure) : 0;
      p->customTests.emplace_back(id, bits ? bits : skipOfName(id));
    }
    return;
  }
  if (p->state != kBody) return;
  int kind;
  if (equalsNoCase(local, "seq")) kind = SMIL_SEQ;
  else if (equalsNoCase(local, "par")) kind = SMIL_PAR;
  else if (equalsNoCase(local, "text")) kind = SMIL_TEXT;
  else if (equalsNoCase(local, "audio")) kind = SMIL_AUDIO;
  else return;
  int i = newElement(p, kind, atts);
  if (i < 0) return;
  const uint8_t own = ownSkip(p, atts);
  p->info->skip[i] = static_cast<uint8_t>(own | (p->height > 0 ? p->open[p->height - 1].skip : 0));
  // A class on the text names what its whole par is (DAISY 2.02).
  if (own && kind == SMIL_TEXT && p->height > 0 && p->info->kind[p->open[p->height - 1].index] == SMIL_PAR) {
    SmilParse::Open &par = p->open[p->height - 1];
    par.skip |= own;
    p->info->skip[par.index] |= own;
  }
  if (kind == SMIL_SEQ || kind == SMIL_PAR) {
    p->info->begin[i] = i;
    p->open[p->height++] = {i, p->depth, p->info->skip[i]};
  } else if (kind == SMIL_TEXT) {
    addText(p, i, atts);
  } else {
    addAudio(p, i, atts);
  }
  if (p->result == 0) p->info->count++;
}

void onEnd(XmlSaxCallbacks *state, const char *name) {
  auto *p = static_cast<SmilParse *>(state);
  if (p->result) return;
  if (!p->info) {
    p->result = -1;
    return;
  }
  if (p->height > 0 && p->open[p->height - 1].depth == p->depth) {
    p->height--;
    p->info->end[p->open[p->height].index] = p->info->count;
  }
  if (p->state == kBody && p->depth == p->bodyDepth) p->state = kRoot;
  if (p->state == kHead && p->depth == 2) p->state = kRoot;
  p->depth--;
  if (p->depth == 1) p->state = kRoot;
  if (p->depth < 0) p->depth = 0;
}

// Sums the audio before each element. An audio element without an end runs
// to the end of its file, whose length is asked once per file.
int buildStartTimes(DsySmlInfo *s, const char *path) {
  if (!s->audio_files || s->audio_files->count == 0 || s->count == 0) return 0;
  s->start_ms = static_cast<int32_t *>(std::malloc(static_cast<size_t>(s->count) * sizeof(int32_t)));
  if (!s->start_ms) return -2;
  // Audio names are relative to the book's folder, which is the SMIL's
  // folder without its base.
  std::string dir = daisyutil::dirOf(path);
  size_t baseLength = s->base ? std::strlen(s->base) : 0;
  if (baseLength && dir.size() >= baseLength && dir.compare(dir.size() - baseLength, baseLength, s->base) == 0)
    dir.resize(dir.size() - baseLength);
  std::map<int, int> durations;
  long long sum = 0;
  for (int i = 0; i < s->count; i++) {
    s->start_ms[i] = daisyutil::clampInt(sum);
    if (s->kind[i] != SMIL_AUDIO) continue;
    long long b = s->begin[i] > 0 ? s->begin[i] : 0;
    long long e = s->end[i];
    if (e < 0) {
      e = 0;
      int file = s->file_index[i];
      const char *name = StringArray_get(s->audio_files, file);
      if (name && dir.size() + std::strlen(name) < static_cast<size_t>(kMaxPath)) {
        auto it = durations.find(file);
        if (it == durations.end()) it = durations.emplace(file, get_audio_total_ms((dir + name).c_str())).first;
        e = it->second;
      }
    }
    if (b < e) sum += e - b;
  }
  if (s->time_in_this_smil < 0) s->time_in_this_smil = daisyutil::clampInt(sum);
  return 0;
}

// The digits at *p (advanced past all of them) as a number, held at 10^12:
// that is past INT_MAX ms in every unit, and 10^12 hours in ms still fits in
// a long long, so a long run of digits saturates instead of overflowing.
int parseDigits(const char **p, long long *value) {
  constexpr long long kCap = 1000000000000LL;
  int n = 0;
  long long v = 0;
  while (**p >= '0' && **p <= '9') {
    v = v < kCap ? std::min(v * 10 + (**p - '0'), kCap) : kCap;
    (*p)++;
    n++;
  }
  *value = v;
  return n;
}

// ms of the first three fraction digits after a '.' at *p (which is
// advanced past all of them).
long long parseFraction(const char **p) {
  if (**p != '.') return 0;
  (*p)++;
  long long ms = 0;
  int scale = 100;
  while (**p >= '0' && **p <= '9') {
    ms += (**p - '0') * scale;
    scale /= 10;
    (*p)++;
  }
  return ms;
}

// "ss.fff" after the last colon of a clock value.
long long secondsPart(const char *p) {
  long long whole = 0;
  parseDigits(&p, &whole);
  if (*p != '.') return whole * 1000;
  return whole * 1000 + parseFraction(&p);
}

}  // namespace

DsySmlInfo *DsySmlInfo_new(int file_size_bytes, int is_daisy3) {
  auto *s = static_cast<DsySmlInfo *>(std::calloc(1, sizeof(DsySmlInfo)));
  if (!s) return nullptr;
  int n = file_size_bytes > 0 ? file_size_bytes / 32 : 0;
  int block = 2048;
  while (block < n && block < 1048576) block *= 2;
  s->is_daisy3 = is_daisy3;
  s->block = block;
  s->step = block / 16;
  s->ids = StringArray_new(block, s->step);
  s->text_fragments = StringArray_new(block, s->step);
  s->audio_files = StringArray_new(block, s->step);
  s->text_files = StringArray_new(1024, 16);
  s->owns_text_files = 1;
  s->owns_id_lists = 1;
  s->time_in_this_smil = -1;
  s->total_elapsed = -1;
  if (!s->ids || !s->text_fragments || !s->audio_files || !s->text_files) {
    DsySmlInfo_free(s);
    return nullptr;
  }
  return s;
}

void DsySmlInfo_free(DsySmlInfo *s) {
  if (!s) return;
  if (s->owns_id_lists) {
    StringArray_free(s->ids);
    StringArray_free(s->text_fragments);
  }
  StringArray_free(s->audio_files);
  if (s->owns_text_files) StringArray_free(s->text_files);
  std::free(s->kind);
  std::free(s->id_index);
  std::free(s->file_index);
  std::free(s->begin);
  std::free(s->end);
  std::free(s->skip);
  std::free(s->start_ms);
  std::free(s->base);
  std::free(s);
}

int smil_use_text_files(DsySmlInfo *info, StringArray *text_files) {
  if (!info || !text_files) return -1;
  if (info->owns_text_files) StringArray_free(info->text_files);
  info->text_files = text_files;
  info->owns_text_files = 0;
  return 0;
}

int smil_use_id_lists(DsySmlInfo *info, StringArray *ids, StringArray *fragments) {
  if (!info || !ids || !fragments) return -1;
  if (info->owns_id_lists) {
    StringArray_free(info->ids);
    StringArray_free(info->text_fragments);
  }
  info->ids = ids;
  info->text_fragments = fragments;
  info->owns_id_lists = 0;
  return 0;
}

int smil_set_base(DsySmlInfo *info, const char *folder) {
  if (!info || !folder) return -1;
  char *copy = strdup(folder);
  if (!copy) return -2;
  std::free(info->base);
  info->base = copy;
  return 0;
}

int smil_parse(const char *path, DsySmlInfo *info) {
  if (!path || !info || !info->ids || !info->text_files || !info->text_fragments || !info->audio_files) return -1;
  SmilParse p{};
  p.info = info;
  p.on(onStart, onEnd, nullptr);
  int rc = xml_sax_parse(path, &p);
  // Containers the file never closed end with it.
  while (p.height > 0) {
    p.height--;
    info->end[p.open[p.height].index] = info->count;
  }
  if (rc == -1 || rc == -2 || rc == -4) return rc;
  if (buildStartTimes(info, path) != 0) {
    LOGE("%s: no memory for the start times\n", path);
    return -2;
  }
  return rc;
}

int smil_get_total_elements(const DsySmlInfo *info) { return info ? info->count : -1; }

int smil_find_id(const DsySmlInfo *info, const char *id, int from, int direction) {
  if (!info || !id) return -1;
  if (info->count <= 0 || !info->ids) return -101;
  if (from < 0) from = 0;
  if (from >= info->count) from = info->count - 1;
  int step = direction >= 0 ? 1 : -1;
  for (int i = from; i >= 0 && i < info->count; i += step) {
    const char *s = StringArray_get(info->ids, info->id_index[i]);
    if (s && std::strcmp(s, id) == 0) return i;
  }
  return -101;
}

const char *smil_get_audio_element_filename(const DsySmlInfo *info, int i) {
  if (!info || i < 0 || i >= info->count || info->kind[i] != SMIL_AUDIO) return nullptr;
  return StringArray_get(info->audio_files, info->file_index[i]);
}

int smil_find_text_or_audio(const DsySmlInfo *info, int from) {
  if (!info) return -1;
  for (int i = from > 0 ? from : 0; i < info->count; i++)
    if (info->kind[i] == SMIL_TEXT || info->kind[i] == SMIL_AUDIO) return i;
  return -1;
}

int smil_find_last_text_or_audio(const DsySmlInfo *info, int from) {
  if (!info) return -1;
  for (int i = from < info->count ? from : info->count - 1; i >= 0; i--)
    if (info->kind[i] == SMIL_TEXT || info->kind[i] == SMIL_AUDIO) return i;
  return -1;
}

int smil_find_next_par(const DsySmlInfo *info, int from) {
  if (!info) return -1;
  for (int i = from > 0 ? from : 0; i < info->count; i++)
    if (info->kind[i] == SMIL_PAR) return i;
  return -1;
}

int smil_find_last_par(const DsySmlInfo *info, int from) {
  if (!info) return -1;
  for (int i = from < info->count ? from : info->count - 1; i >= 0; i--)
    if (info->kind[i] == SMIL_PAR) return i;
  return -1;
}

int smil_check_text_element_is_only_text(const DsySmlInfo *info, int i) {
  if (!info || i < 0 || i >= info->count) return -1;
  if (i == 0) return 1;
  int container = -1;
  for (int j = i - 1; j >= 0; j--) {
    int k = info->kind[j];
    if (k == SMIL_AUDIO) return 0;
    if ((k == SMIL_SEQ || k == SMIL_PAR) && info->end[j] > i) {
      container = j;
      break;
    }
  }
  if (container < 0) return 1;
  int limit = info->end[container] < info->count ? info->end[container] : info->count;
  for (int j = i + 1; j < limit; j++)
    if (info->kind[j] == SMIL_AUDIO) return 0;
  return 1;
}

int clipping_and_clock_value_to_ms(const char *text) {
  if (!text) return -1;
  while (daisyutil::isSpace(static_cast<unsigned char>(*text))) text++;
  size_t len = std::strlen(text);
  if (len == 0) return 0;
  if (len >= 5 && std::strncmp(text, "npt=", 4) == 0) text += 4;
  int colons = 0;
  const char *last = nullptr;
  for (const char *c = text; *c; c++)
    if (*c == ':') {
      colons++;
      last = c;
    }
  if (colons > 2) return -1;
  long long ms = 0;
  if (colons == 2) {
    const char *p = text;
    long long hours = 0, minutes = 0;
    parseDigits(&p, &hours);
    p = std::strchr(text, ':') + 1;
    parseDigits(&p, &minutes);
    ms = hours * 3600000 + minutes * 60000 + secondsPart(last + 1);
  } else if (colons == 1) {
    const char *p = text;
    long long minutes = 0;
    parseDigits(&p, &minutes);
    ms = minutes * 60000 + secondsPart(last + 1);
  } else {
    const char *p = text;
    if (!((*p >= '0' && *p <= '9') || *p == '.')) return 0;
    long long n = 0;
    parseDigits(&p, &n);
    long long fraction = parseFraction(&p);
    long long seconds = n * 1000 + fraction;
    if (*p == 'h' && p[1] == '\0') ms = seconds * 3600;
    else if (std::strcmp(p, "min") == 0) ms = seconds * 60;
    else if (std::strcmp(p, "ms") == 0) ms = n;
    else ms = seconds;
  }
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}
