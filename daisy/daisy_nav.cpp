// The navigator core. Positions are (SMIL index, element index) pairs in
// the flat element tables of smil.h; a "playable" element is a text or an
// audio element with a file. Every move ends in one of: the beginning-of-
// book item, the end-of-book item, or a reached element (text or audio),
// after which the current page and heading are found again.
#include "daisy/daisy_nav.h"

#include "board/board.h"
#include "core/runtime/log.h"
#include "daisy/daisy_util.h"
#include "daisy/smil.h"
#include "daisy/xhtml_text.h"
#include "ebook/string_array.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace daisynav {

namespace {

constexpr char kLogSource[] = "daisy/daisy_nav.c";
constexpr int kShortestJumpClip = 200;  // a jump never starts closer than this to a clip's end

// Size of a file, -1 when it cannot be read.
long long fileSize(const std::string &path) {
  struct stat st;
  if (stat(BoardPath(path.c_str()).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

std::string stripDotSlash(std::string name) {
  while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
  return name;
}

std::string percentDecoded(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

Book::Book() {
  text_names = StringArray_new(1024, 16);
  page_labels = StringArray_new(2048, 128);
  smil_ids_ = StringArray_new(65536, 4096);
  smil_fragments_ = StringArray_new(65536, 4096);
}

Book::~Book() {
  StringArray_free(smil_ids_);
  StringArray_free(smil_fragments_);
  for (DsySmlInfo *s : smils) DsySmlInfo_free(s);
  for (XhtmlText *t : texts) XhtmlText_free(t);
  StringArray_free(text_names);
  StringArray_free(page_labels);
}

void Book::setDir(const char *control_path) { dir = daisyutil::dirOf(control_path); }

std::string Book::path(const char *name) const { return dir + (name ? name : ""); }

int Book::smilIndex(const std::string &raw, bool add) {
  std::string name = stripDotSlash(raw);
  auto it = smil_lookup_.find(name);
  if (it != smil_lookup_.end()) return it->second;
  if (!add) return -1;
  int i = static_cast<int>(smil_names.size());
  smil_names.push_back(name);
  smil_lookup_.emplace(name, i);
  return i;
}

long long Book::findFile(const std::string &name, std::string *file) {
  *file = path(name.c_str());
  long long size = fileSize(*file);
  if (size >= 0) return size;
  std::string other = findSpelling(name);
  if (other.empty()) return size;
  *file = path(other.c_str());
  return fileSize(*file);
}

int Book::loadSmil(int s) {
  const std::string &name = smil_names[static_cast<size_t>(s)];
  std::string file;
  long long size = findFile(name, &file);
  if (size < 0) {
    LOGE("fp(%s) == NULL\n", file.c_str());
    return -2;
  }
  DsySmlInfo *info = DsySmlInfo_new(size > INT_MAX ? INT_MAX : static_cast<int>(size), is_daisy3_);
  if (!info) {
    LOGE("info == NULL\n");
    return -2;
  }
  smils[static_cast<size_t>(s)] = info;
  smil_use_text_files(info, text_names);
  if (!smil_ids_ || !smil_fragments_ || smil_use_id_lists(info, smil_ids_, smil_fragments_) != 0) return -2;
  std::string folder = daisyutil::dirOf(name.c_str());
  if (!folder.empty() && smil_set_base(info, folder.c_str()) != 0) return -2;
  int rc = smil_parse(file.c_str(), info);
  if (rc == -1 || rc == -2) {
    LOGE("d2_deal_one_smil() = %d\n", rc);
    return rc;
  }
  if (rc != 0) LOGW("%s: %d, read what could be read\n", file.c_str(), rc);
  return 0;
}

int Book::loadSmils(int is_daisy3) {
  if (!text_names) return -2;
  is_daisy3_ = is_daisy3;
  smils.assign(smil_names.size(), nullptr);
  smil_hint_.assign(smils.size(), 0);
  for (size_t s = 0; s < smils.size(); s++) {
    if (stop && stop->load()) return -2;
    int rc = loadSmil(static_cast<int>(s));
    if (rc < 0) return rc;
  }
  return 0;
}

int Book::loadFirstSmil(int is_daisy3) {
  if (!text_names || smil_names.empty()) return -2;
  std::string file;
  for (const std::string &name : smil_names) {
    if (findFile(name, &file) < 0) {
      LOGE("fp(%s) == NULL\n", file.c_str());
      return -2;
    }
  }
  is_daisy3_ = is_daisy3;
  smils.assign(smil_names.size(), nullptr);
  smil_hint_.assign(smils.size(), 0);
  int rc = loadSmil(0);
  if (rc < 0) return rc;
  const DsySmlInfo *first = smils[0];
  if (!first->audio_files || first->audio_files->count < 1) return 1;
  partial = true;
  fixAudioNames();
  return 0;
}

void Book::adopt(Book &whole) {
  std::swap(dir, whole.dir);
  std::swap(smil_names, whole.smil_names);
  std::swap(smils, whole.smils);
  std::swap(text_names, whole.text_names);
  std::swap(texts, whole.texts);
  std::swap(pages, whole.pages);
  std::swap(page_labels, whole.page_labels);
  std::swap(headings, whole.headings);
  std::swap(heading_labels, whole.heading_labels);
  std::swap(max_level, whole.max_level);
  std::swap(total_ms, whole.total_ms);
  std::swap(back_to_enclosing, whole.back_to_enclosing);
  std::swap(partial, whole.partial);
  std::swap(smil_lookup_, whole.smil_lookup_);
  std::swap(listings_, whole.listings_);
  std::swap(smil_hint_, whole.smil_hint_);
  std::swap(smil_ids_, whole.smil_ids_);
  std::swap(smil_fragments_, whole.smil_fragments_);
  std::swap(is_daisy3_, whole.is_daisy3_);
  // The text of the current par was not loaded: its chunks are none.
  text_doc = text_id = -1;
  text_chunks = text_chunk = 0;
  cur_page = cur_heading = -1;
  if (cur_smil >= smilCount()) {
    cur_page = static_cast<int>(pages.size());
    cur_heading = static_cast<int>(headings.size());
  } else if (cur_smil >= 0) {
    refresh();
  }
}

bool Book::resolve(const char *src, bool add_smil, Target *target) {
  target->smil = -1;
  target->element = -1;
  if (!src) return false;
  const char *hash = std::strchr(src, '#');
  if (hash == src) return false;
  std::string file = hash ? std::string(src, static_cast<size_t>(hash - src)) : std::string(src);
  if (file.empty()) return false;
  if (hash && hash[1] == '\0') hash = nullptr;
  int s = smilIndex(file, add_smil);
  if (s < 0) return false;
  target->smil = s;
  target->element = 0;
  if (!hash || s >= smilCount() || !smils[s]) return true;
  const DsySmlInfo *info = smils[s];
  int from = smil_hint_[s];
  int e = smil_find_id(info, hash + 1, from, 1);
  if (e < 0) e = smil_find_id(info, hash + 1, from, -1);
  target->element = e >= 0 ? e : -101;
  if (e >= 0) smil_hint_[s] = e;
  return true;
}

int Book::loadTexts(bool required) {
  int n = StringArray_get_cnt(text_names);
  texts.assign(n > 0 ? static_cast<size_t>(n) : 0, nullptr);
  for (int i = 0; i < n; i++) {
    std::string name = StringArray_get(text_names, i);
    std::string file;
    long long size = findFile(name, &file);
    if (size < 0) {
      LOGW("fp(%s) == NULL\n", file.c_str());
      if (required) return -2;
      continue;
    }
    XhtmlText *t = XhtmlText_new(size > INT_MAX ? INT_MAX : static_cast<int>(size));
    if (!t) {
      LOGE("info->xhtml_texts == NULL\n");
      return -2;
    }
    texts[static_cast<size_t>(i)] = t;
    int rc = xhtml_parse(file.c_str(), t);
    if (rc == -1 || rc == -2) {
      LOGE("d2_deal_one_xhtml() = %d\n", rc);
      return rc;
    }
    if (rc != 0) LOGW("%s: %d, read what could be read\n", file.c_str(), rc);
  }
  // Text references become id indices of their documents; the id lists of
  // the SMIL files are not needed after this.
  std::vector<int> hint(texts.size(), 0);
  for (DsySmlInfo *s : smils) {
    if (!s) continue;
    for (int e = 0; e < s->count; e++) {
      if (s->kind[e] != SMIL_TEXT) continue;
      int f = s->file_index[e];
      const char *fragment = StringArray_get(s->text_fragments, s->begin[e]);
      const XhtmlText *t = f >= 0 && f < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(f)] : nullptr;
      int id = -1;
      if (t && fragment) {
        int &h = hint[static_cast<size_t>(f)];
        id = xhtml_text_find_id(t, fragment, h, 1);
        if (id < 0) id = xhtml_text_find_id(t, fragment, h, -1);
        if (id >= 0) h = id;
        else id = -1;
      }
      s->begin[e] = id;
    }
    s->ids = nullptr;
    s->text_fragments = nullptr;
    std::free(s->id_index);  // finding by id ends with the ids
    s->id_index = nullptr;
  }
  StringArray_free(smil_ids_);
  StringArray_free(smil_fragments_);
  smil_ids_ = smil_fragments_ = nullptr;
  // The book plays for hours: give back what the parse reserved for more.
  for (XhtmlText *t : texts) xhtml_text_compact(t);
  return 0;
}

void Book::buildTimeline() {
  int64_t sum = 0;
  for (DsySmlInfo *s : smils) {
    if (!s) continue;
    if (s->total_elapsed < 0) s->total_elapsed = daisyutil::clampInt(sum);
    if (s->time_in_this_smil > 0) sum += s->time_in_this_smil;
  }
  total_ms = sum;
}

void Book::fixAudioNames() {
  std::unordered_map<std::string, std::string> seen;  // name as written -> name to use
  for (DsySmlInfo *s : smils) {
    if (!s || !s->audio_files) continue;
    int n = s->audio_files->count;
    bool differs = false;
    std::vector<std::string> names;
    for (int i = 0; i < n; i++) {
      std::string name = StringArray_get(s->audio_files, i);
      auto it = seen.find(name);
      if (it == seen.end()) {
        std::string use = name;
        if (fileSize(path(name.c_str())) < 0) {
          std::string other = findSpelling(name);
          if (!other.empty()) use = other;
        }
        it = seen.emplace(name, use).first;
      }
      differs = differs || it->second != name;
      names.push_back(it->second);
    }
    if (!differs) continue;
    StringArray *fixed = StringArray_new(s->block, s->step);
    bool ok = fixed != nullptr;
    for (const std::string &name : names) ok = ok && StringArray_add(fixed, name.c_str()) == 0;
    if (!ok) {
      StringArray_free(fixed);  // keep the names as written
      continue;
    }
    StringArray_free(s->audio_files);
    s->audio_files = fixed;
  }
}

// ---- position ------------------------------------------------------------

void Book::setBegin() {
  cur_page = -1;
  cur_heading = -1;
  cur_smil = 0;
  cur_element = 0;
  mode = kModeNone;
  offset_ms = 0;
  item = DaisyPlayItem{};
  item.kind = DAISY_ITEM_BEGIN;
  item.changed = 3;
}

void Book::setEnd() {
  cur_smil = smilCount();
  cur_element = 0;
  cur_page = static_cast<int>(pages.size());
  cur_heading = static_cast<int>(headings.size());
  mode = kModeNone;
  offset_ms = 0;
  item = DaisyPlayItem{};
  item.kind = DAISY_ITEM_END;
  item.changed = 3;
}

namespace {

// skip: SMIL_SKIP_* bits of the structures the listener passes over.
bool skipped(const DsySmlInfo *s, int i, unsigned skip) { return s->skip && (s->skip[i] & skip); }

bool playable(const DsySmlInfo *s, int i, unsigned skip = 0) {
  if (skipped(s, i, skip)) return false;
  if (s->kind[i] == SMIL_TEXT) return true;
  return s->kind[i] == SMIL_AUDIO && smil_get_audio_element_filename(s, i) != nullptr;
}

// The last target at or before (s, e), starting from index cur.
int locate(const std::vector<Target> &t, int cur, int s, int e) {
  auto after = [&](const Target &x) { return x.smil > s || (x.smil == s && std::max(x.element, 0) > e); };
  int n = static_cast<int>(t.size());
  int i = std::clamp(cur, -1, n - 1);
  while (i + 1 < n && !after(t[static_cast<size_t>(i + 1)])) i++;
  while (i >= 0 && after(t[static_cast<size_t>(i)])) i--;
  return i;
}

}  // namespace

int Book::findPlayable(int s, int e) {
  if (s < 0) {
    s = 0;
    e = 0;
  }
  for (; s < smilCount(); s++, e = 0) {
    if (partial && !smils[static_cast<size_t>(s)]) {
      int rc = loadSmil(s);
      if (rc < 0) return rc;
      fixAudioNames();
    }
    const DsySmlInfo *info = smils[static_cast<size_t>(s)];
    if (!info) continue;
    for (int i = smil_find_text_or_audio(info, e); i >= 0; i = smil_find_text_or_audio(info, i + 1)) {
      if (!playable(info, i, skip_mask)) continue;
      cur_smil = s;
      cur_element = i;
      return playReached();
    }
  }
  setEnd();
  return 0;
}

int Book::playReached() {
  const DsySmlInfo *info = smils[static_cast<size_t>(cur_smil)];
  int e = cur_element;
  offset_ms = 0;
  item = DaisyPlayItem{};
  if (info->kind[e] == SMIL_TEXT) {
    int f = info->file_index[e];
    int id = info->begin[e];
    const XhtmlText *t = f >= 0 && f < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(f)] : nullptr;
    // A text whose document is missing reads as empty, so that the audio
    // beside it still plays.
    text_doc = f;
    text_id = id;
    text_chunks = t && id >= 0 ? xhtml_text_get_id_total_strings(t, id) : 0;
    text_chunk = 0;
    const char *first = text_chunks > 0 ? xhtml_text_get(t, id, 0) : nullptr;
    item.kind = DAISY_ITEM_TEXT_REACHED;
    item.data = first ? first : "";
    mode = kModeText;
  } else {
    item.kind = DAISY_ITEM_AUDIO;
    item.clip_begin_ms = std::max(info->begin[e], 0);
    item.clip_end_ms = info->end[e] < 0 ? kDaisyOpenEnd : info->end[e];
    item.data = smil_get_audio_element_filename(info, e);
    mode = kModeAudio;
  }
  refresh();
  return 0;
}

void Book::refresh() {
  cur_page = locate(pages, cur_page, cur_smil, cur_element);
  cur_heading = locate(headings, cur_heading, cur_smil, cur_element);
}

int Book::goTarget(const Target &t) {
  if (t.smil < 0) {
    setBegin();
    return 0;
  }
  return findPlayable(t.smil, std::max(t.element, 0));
}

// Runs one move: reports which of page and heading changed from before the
// move (both at the ends of the book), and hands out the item on success.
template <typename F>
int Book::move(DaisyPlayItem **out, F f) {
  if (!out) return DAISY_ERR_ARG;
  if (smils.empty()) return DAISY_ERR_NO_CONTENT;
  int page = cur_page;
  int heading = cur_heading;
  int rc = f();
  if (rc < 0) return rc;
  if (item.kind == DAISY_ITEM_BEGIN || item.kind == DAISY_ITEM_END) {
    item.changed = 3;
  } else {
    item.changed = static_cast<uint8_t>((cur_page != page ? DAISY_CHANGED_PAGE : 0) |
                                        (cur_heading != heading ? DAISY_CHANGED_HEADING : 0));
  }
  *out = &item;
  return rc;
}

// ---- moves -------------------------------------------------------------

int Book::start(DaisyPlayItem **out) {
  return move(out, [this] {
    cur_page = -1;
    cur_heading = -1;
    return findPlayable(0, 0);
  });
}

int Book::end(DaisyPlayItem **out) {
  return move(out, [this] {
    setEnd();
    return 0;
  });
}

int Book::continuePlay(DaisyPlayItem **out) {
  return move(out, [this] {
    if (cur_smil < 0) {
      cur_page = -1;
      cur_heading = -1;
      return findPlayable(0, 0);
    }
    if (cur_smil >= smilCount()) {
      setEnd();
      return 0;
    }
    if (mode == kModeNone) return findPlayable(cur_smil, cur_element);
    const DsySmlInfo *info = smils[static_cast<size_t>(cur_smil)];
    const XhtmlText *t =
        text_doc >= 0 && text_doc < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(text_doc)] : nullptr;
    if (mode == kModeText && info && info->kind[cur_element] == SMIL_TEXT && text_chunks > 0 &&
        smil_check_text_element_is_only_text(info, cur_element) == 1) {
      mode = kModeChunks;
      text_chunk = 0;
      item = DaisyPlayItem{};
      item.kind = DAISY_ITEM_TEXT;
      item.data = xhtml_text_get(t, text_id, 0);
      return 0;
    }
    if (mode == kModeChunks && text_chunk + 1 < text_chunks) {
      text_chunk++;
      item = DaisyPlayItem{};
      item.kind = DAISY_ITEM_TEXT;
      item.data = xhtml_text_get(t, text_id, text_chunk);
      return 0;
    }
    return findPlayable(cur_smil, cur_element + 1);
  });
}

int Book::nextPhrase(DaisyPlayItem **out) {
  return move(out, [this] { return findPlayable(cur_smil, mode == kModeNone ? cur_element : cur_element + 1); });
}

int Book::lastPhrase(DaisyPlayItem **out) {
  return move(out, [this] {
    if (cur_smil < 0) {
      setBegin();
      return 0;
    }
    int s = cur_smil;
    int e = cur_element - 1;
    if (s >= smilCount()) {
      s = smilCount() - 1;
      e = INT_MAX;
    }
    for (; s >= 0; s--, e = INT_MAX) {
      const DsySmlInfo *info = smils[static_cast<size_t>(s)];
      if (!info) continue;
      for (int i = smil_find_last_text_or_audio(info, e); i >= 0; i = smil_find_last_text_or_audio(info, i - 1)) {
        if (!playable(info, i, skip_mask)) continue;
        // A text beside audio is not a phrase of its own: its audio is.
        if (info->kind[i] == SMIL_TEXT && smil_check_text_element_is_only_text(info, i) != 1) continue;
        cur_smil = s;
        cur_element = i;
        return playReached();
      }
    }
    setBegin();
    return 0;
  });
}

bool Book::lastParAtOrBefore(int s, int e, int *ps, int *pe) const {
  for (; s >= 0; s--, e = INT_MAX) {
    if (s >= smilCount()) continue;
    const DsySmlInfo *info = smils[static_cast<size_t>(s)];
    if (!info) continue;
    int p = smil_find_last_par(info, e);
    while (p >= 0 && skipped(info, p, skip_mask)) p = smil_find_last_par(info, p - 1);
    if (p >= 0) {
      *ps = s;
      *pe = p;
      return true;
    }
  }
  return false;
}

int Book::nextParInner() {
  int s = cur_smil < 0 ? 0 : cur_smil;
  int from = cur_smil < 0 || mode == kModeNone ? cur_element : cur_element + 1;
  for (; s < smilCount(); s++, from = 0) {
    const DsySmlInfo *info = smils[static_cast<size_t>(s)];
    if (!info) continue;
    int p = smil_find_next_par(info, from);
    if (p >= 0) return findPlayable(s, p);
  }
  setEnd();
  return 0;
}

int Book::lastParInner() {
  if (cur_smil < 0) {
    setBegin();
    return 0;
  }
  int ps, pe;
  if (cur_smil >= smilCount()) {
    // From past the end the previous paragraph is the book's last one.
    if (!lastParAtOrBefore(smilCount() - 1, INT_MAX, &ps, &pe)) {
      setBegin();
      return 0;
    }
    return findPlayable(ps, pe);
  }
  int ts, te;
  if (!lastParAtOrBefore(cur_smil, cur_element - 1, &ps, &pe) || !lastParAtOrBefore(ps, pe - 1, &ts, &te)) {
    setBegin();
    return 0;
  }
  return findPlayable(ts, te);
}

int Book::nextPar(DaisyPlayItem **out) {
  return move(out, [this] { return nextParInner(); });
}

int Book::lastPar(DaisyPlayItem **out) {
  return move(out, [this] { return lastParInner(); });
}

int Book::replayCurPar(DaisyPlayItem **out) {
  return move(out, [this] {
    int rc = lastParInner();
    if (rc < 0) return rc;
    return nextParInner();
  });
}

int Book::nextPage(DaisyPlayItem **out) {
  return move(out, [this] {
    int p = cur_page + 1;
    if (p < 0 || p >= static_cast<int>(pages.size())) {
      setEnd();
      return 0;
    }
    return goTarget(pages[static_cast<size_t>(p)]);
  });
}

int Book::lastPage(DaisyPlayItem **out) {
  return move(out, [this] {
    int p = cur_page - 1;
    if (p < 0) {
      setBegin();
      return 0;
    }
    if (p >= static_cast<int>(pages.size())) {
      setEnd();
      return 0;
    }
    return goTarget(pages[static_cast<size_t>(p)]);
  });
}

int Book::gotoPage(const char *label, DaisyPlayItem **out) {
  if (!label) return DAISY_ERR_ARG;
  int i = StringArray_find(page_labels, label);
  if (i < 0 && !pages.empty()) {
    // "12" also finds " 12 " and "12" written with letters of another case.
    std::string want(daisyutil::trim(label));
    for (int k = 0; k < StringArray_get_cnt(page_labels) && i < 0; k++)
      if (strcasecmp(std::string(daisyutil::trim(StringArray_get(page_labels, k))).c_str(), want.c_str()) == 0) i = k;
  }
  if (i < 0 || i >= static_cast<int>(pages.size())) {
    if (smils.empty()) return DAISY_ERR_NO_CONTENT;
    return DAISY_ERR_NOT_FOUND;
  }
  return move(out, [this, i] { return goTarget(pages[static_cast<size_t>(i)]); });
}

int Book::nextNavPoint(int level, DaisyPlayItem **out) {
  return move(out, [this, level] {
    int n = static_cast<int>(headings.size());
    for (int i = std::max(cur_heading + 1, 0); i < n; i++)
      if (headings[static_cast<size_t>(i)].level <= level) return goTarget(headings[static_cast<size_t>(i)]);
    setEnd();
    return 0;
  });
}

int Book::lastNavPoint(int level, DaisyPlayItem **out) {
  return move(out, [this, level] {
    int n = static_cast<int>(headings.size());
    auto lv = [this](int i) { return headings[static_cast<size_t>(i)].level; };
    int t;
    if (cur_smil >= smilCount()) {
      for (t = n - 1; t >= 0 && lv(t) > level; t--) {
      }
    } else {
      int h = std::min(cur_heading, n - 1);
      if (back_to_enclosing)
        while (h >= 0 && lv(h) > level) h--;
      for (t = h - 1; t >= 0 && lv(t) > level; t--) {
      }
    }
    if (t < 0) {
      setBegin();
      return 0;
    }
    return goTarget(headings[static_cast<size_t>(t)]);
  });
}

int Book::gotoNavPoint(int n, DaisyPlayItem **out) {
  if (n > static_cast<int>(headings.size())) return smils.empty() ? DAISY_ERR_NO_CONTENT : DAISY_ERR_NOT_FOUND;
  return move(out, [this, n] {
    if (n < 1) {
      setBegin();
      return 0;
    }
    return goTarget(headings[static_cast<size_t>(n - 1)]);
  });
}

int Book::goToBookMark(const DaisyBookMarkInfo *mark, DaisyPlayItem **out) {
  if (!mark) return DAISY_ERR_ARG;
  return move(out, [this, mark] {
    cur_page = -1;
    cur_heading = -1;
    int rc = findPlayable(0, 0);
    if (rc < 0) return rc;
    int s = mark->smil_index;
    int e = mark->element_index < 0 ? 0 : mark->element_index;
    rc = findPlayable(s, e);
    if (rc < 0) return rc;
    // Resume inside the clip the mark was taken in.
    if (mark->offset_ms > 0 && item.kind == DAISY_ITEM_AUDIO && cur_smil == s && cur_element == e) {
      int64_t begin = static_cast<int64_t>(item.clip_begin_ms) + mark->offset_ms;
      if (item.clip_end_ms != kDaisyOpenEnd && begin >= item.clip_end_ms - (kShortestJumpClip - 1))
        begin = std::max(item.clip_end_ms - kShortestJumpClip, item.clip_begin_ms);
      offset_ms = static_cast<int>(begin - item.clip_begin_ms);
      item.clip_begin_ms = daisyutil::clampInt(begin);
    }
    return 0;
  });
}

int Book::timeJump(int delta_ms, DaisyPlayItem **out, const char **out_text) {
  if (out_text) *out_text = "";
  int64_t now;
  if (cur_smil < 0) {
    now = 0;
  } else if (cur_smil >= smilCount()) {
    now = total_ms;
  } else {
    const DsySmlInfo *s = smils[static_cast<size_t>(cur_smil)];
    if (!s) return DAISY_ERR_ARG;
    now = s->total_elapsed;
    if (s->time_in_this_smil > 0 && s->start_ms && cur_element >= 1)
      now += cur_element >= s->count ? s->time_in_this_smil : s->start_ms[cur_element];
    if (mode == kModeAudio) now += offset_ms;
  }
  int64_t target = now + delta_ms;
  const char *text = "";
  int into = 0;
  int rc = move(out, [&] {
    if (target < 0) {
      setBegin();
      return 0;
    }
    if (target >= total_ms) {
      setEnd();
      return 0;
    }
    int k = smilCount() - 1;
    for (; k >= 0; k--) {
      const DsySmlInfo *s = smils[static_cast<size_t>(k)];
      if (s && s->count > 0 && s->time_in_this_smil > 0 && s->start_ms && s->total_elapsed <= target) break;
    }
    if (k < 0) {
      setBegin();
      return 0;
    }
    const DsySmlInfo *s = smils[static_cast<size_t>(k)];
    int64_t offset = target - s->total_elapsed;
    int chosen = -1;
    for (int i = s->count - 1; i >= 0; i--) {
      if (s->start_ms[i] > offset) continue;
      if (chosen < 0) {
        if (s->kind[i] == SMIL_AUDIO && playable(s, i)) chosen = i;
      } else if (s->kind[i] == SMIL_TEXT) {
        const XhtmlText *t = s->file_index[i] >= 0 && s->file_index[i] < static_cast<int>(texts.size())
                                 ? texts[static_cast<size_t>(s->file_index[i])]
                                 : nullptr;
        const char *first = t ? xhtml_text_get(t, s->begin[i], 0) : nullptr;
        if (first) text = first;
        break;
      }
    }
    if (chosen < 0) return findPlayable(k, 0);
    into = daisyutil::clampInt(offset - s->start_ms[chosen]);
    // A file whose stated duration is longer than its audio: going forwards,
    // a target past its last clip belongs to what follows (going backwards,
    // the last clip is nearer).
    if (delta_ms > 0 && s->end[chosen] >= 0 && into >= s->end[chosen] - std::max(s->begin[chosen], 0)) {
      bool later = false;
      for (int i = chosen + 1; i < s->count && !later; i++) later = s->kind[i] == SMIL_AUDIO && playable(s, i);
      if (!later) {
        into = 0;
        text = "";
        return findPlayable(k + 1, 0);
      }
    }
    cur_smil = k;
    cur_element = chosen;
    playReached();
    int64_t begin = static_cast<int64_t>(item.clip_begin_ms) + into;
    if (item.clip_end_ms != kDaisyOpenEnd && begin >= item.clip_end_ms - (kShortestJumpClip - 1))
      begin = std::max(item.clip_end_ms - kShortestJumpClip, 0);
    offset_ms = std::max(0, daisyutil::clampInt(begin - item.clip_begin_ms));
    item.clip_begin_ms = daisyutil::clampInt(begin);
    return 0;
  });
  if (rc < 0) return rc;
  if (out_text) *out_text = text;
  return into;
}

int Book::getBookMarkInfo(DaisyBookMarkInfo *info) const {
  if (!info) return DAISY_ERR_ARG;
  *info = DaisyBookMarkInfo{};
  info->reserved1 = -1;
  info->reserved2 = -1;
  if (cur_smil < 0 || (cur_smil == 0 && cur_element < 0)) {
    info->smil_index = 0;
    info->element_index = -1;
    return 0;
  }
  if (cur_smil >= smilCount()) {
    info->smil_index = smilCount();
    info->element_index = 0;
    return 0;
  }
  info->smil_index = cur_smil;
  info->element_index = cur_element;
  if (mode == kModeAudio) info->offset_ms = offset_ms;
  const DsySmlInfo *s = smils[static_cast<size_t>(cur_smil)];
  if (!s) return 0;
  int p = smil_find_last_par(s, cur_element);
  int i = smil_find_text_or_audio(s, p < 0 ? 0 : p);
  if (i >= 0 && s->kind[i] == SMIL_TEXT) {
    int f = s->file_index[i];
    const XhtmlText *t = f >= 0 && f < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(f)] : nullptr;
    info->text = t ? xhtml_text_get(t, s->begin[i], 0) : nullptr;
  }
  return 0;
}

int Book::curTime() const {
  if (total_ms < 1 || cur_smil < 0) return 0;
  if (cur_smil >= smilCount()) return daisyutil::clampInt(total_ms);
  const DsySmlInfo *s = smils[static_cast<size_t>(cur_smil)];
  if (!s) return 0;
  int64_t t = s->total_elapsed > 0 ? s->total_elapsed : 0;
  if (cur_element >= 1) {
    if (cur_element >= s->count) t += std::max(s->time_in_this_smil, 0);
    else if (s->start_ms) t += s->start_ms[cur_element];
  }
  if (mode == kModeAudio) t += offset_ms;
  return daisyutil::clampInt(t);
}

int Book::timeLeft(int *section_ms, int *book_ms) const {
  *section_ms = *book_ms = 0;
  if (total_ms < 1) return -1;
  const int64_t now = curTime();
  int64_t next = total_ms;
  int section = -1;
  for (size_t h = 0; h < headings.size(); h++) {
    const Target &t = headings[h];
    const DsySmlInfo *s = t.smil >= 0 && t.smil < smilCount() ? smils[static_cast<size_t>(t.smil)] : nullptr;
    if (!s) continue;
    int64_t at = std::max(s->total_elapsed, 0);
    if (t.element >= 1 && t.element < s->count && s->start_ms) at += s->start_ms[t.element];
    if (at > now) {
      next = at;
      break;
    }
    section = static_cast<int>(h);
  }
  *section_ms = daisyutil::clampInt(next - now);
  *book_ms = daisyutil::clampInt(total_ms - now);
  return section;
}

int Book::readParText(DaisyPlayItem **out) {
  if (!out) return DAISY_ERR_ARG;
  if (mode != kModeAudio || cur_smil < 0 || cur_smil >= smilCount()) return DAISY_ERR_NOT_FOUND;
  const DsySmlInfo *s = smils[static_cast<size_t>(cur_smil)];
  if (!s) return DAISY_ERR_NOT_FOUND;
  const int par = smil_find_last_par(s, cur_element);
  if (par < 0 || (s->end[par] >= 0 && s->end[par] <= cur_element)) return DAISY_ERR_NOT_FOUND;
  // A later clip of a par whose text has just been read instead.
  if (read_smil_ == cur_smil && read_par_ == par && cur_element > read_clip_) return DAISY_ERR_NOT_FOUND;
  const int last = s->end[par] >= 0 ? std::min(s->end[par], s->count) : s->count;
  for (int i = par + 1; i < last; i++) {
    if (s->kind[i] != SMIL_TEXT) continue;
    const int f = s->file_index[i], id = s->begin[i];
    const XhtmlText *t = f >= 0 && f < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(f)] : nullptr;
    const int chunks = t && id >= 0 ? xhtml_text_get_id_total_strings(t, id) : 0;
    if (chunks < 1) continue;
    read_smil_ = cur_smil;
    read_par_ = par;
    read_clip_ = cur_element;
    text_doc = f;
    text_id = id;
    text_chunks = chunks;
    text_chunk = 0;
    mode = kModeChunks;
    const uint8_t changed = item.changed;
    item = DaisyPlayItem{};
    item.kind = DAISY_ITEM_TEXT;
    item.changed = changed;
    item.data = xhtml_text_get(t, id, 0);
    *out = &item;
    return 0;
  }
  return DAISY_ERR_NOT_FOUND;
}

int Book::setAudioPos(int file_ms) {
  if (mode != kModeAudio || cur_smil < 0 || cur_smil >= smilCount()) return DAISY_ERR_ARG;
  const DsySmlInfo *s = smils[static_cast<size_t>(cur_smil)];
  if (!s || s->kind[cur_element] != SMIL_AUDIO) return DAISY_ERR_ARG;
  int begin = std::max(s->begin[cur_element], 0);
  int64_t off = static_cast<int64_t>(file_ms) - begin;
  if (s->end[cur_element] >= 0) off = std::min<int64_t>(off, s->end[cur_element] - begin);
  offset_ms = std::max(0, daisyutil::clampInt(off));
  return 0;
}

int Book::chnEngCount(int *chinese, int *english) const {
  if (!chinese || !english) return DAISY_ERR_ARG;
  *chinese = 0;
  *english = 0;
  for (const XhtmlText *t : texts) {
    int c = 0, e = 0;
    if (t && GetXhtmlTextChnEngCnt(t, &c, &e) == 0) {
      *chinese += c;
      *english += e;
    }
  }
  return 0;
}

// The name of the file in the book folder that is name spelled
// differently (case, percent-escapes), or "" when there is none. Only the
// last path component is matched without case; each folder is listed once.
std::string Book::findSpelling(const std::string &name) {
  std::string decoded = percentDecoded(name);
  if (decoded != name && fileSize(path(decoded.c_str())) >= 0) return decoded;
  size_t slash = decoded.find_last_of("/\\");
  std::string sub = slash == std::string::npos ? "" : decoded.substr(0, slash + 1);
  std::string leaf = slash == std::string::npos ? decoded : decoded.substr(slash + 1);
  auto it = listings_.find(sub);
  if (it == listings_.end()) {
    std::vector<std::string> names;
    if (DIR *d = opendir(BoardPath(path(sub.c_str()).c_str()).c_str())) {
      while (dirent *e = readdir(d)) names.push_back(e->d_name);
      closedir(d);
    }
    it = listings_.emplace(sub, std::move(names)).first;
  }
  for (const std::string &n : it->second)
    if (strcasecmp(n.c_str(), leaf.c_str()) == 0) return sub + n;
  return {};
}

const char *Book::pageLabel(int i) const { return StringArray_get(page_labels, i); }

int Book::heading(int i, const char **label) const {
  if (!label || i < 0 || i >= static_cast<int>(headings.size())) return -1;
  *label = i < static_cast<int>(heading_labels.size()) ? heading_labels[static_cast<size_t>(i)].c_str() : "";
  return headings[static_cast<size_t>(i)].level;
}

}  // namespace daisynav
