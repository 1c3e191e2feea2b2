// The resource text file reader (see res_file.h). Every buffer it parses is
// NUL-terminated, so a number or a line that runs off its end stops at the
// terminator instead of reading beyond it.
#include "toolbox/res_file.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "ebook/charset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "toolbox/res_file.c";

// Sizes and bounds of the format. The section line has no bound of its
// own; kSectLineMax covers 3000 sections.
enum : int { kHeaderSize = 17, kEntrySize = 24, kNameLineMax = 4096, kSectLineMax = 65536 };
enum : int { kMaxEntries = 10000000, kMaxOffset = 1000000000, kMaxLength = 100000 };

// Reads exactly len bytes at offset. Returns 0, -1 on a short read.
int readAt(int fd, int64_t offset, char *dst, int len) {
  int done = 0;
  while (done < len) {
    ssize_t n = pread(fd, dst + done, static_cast<size_t>(len - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<int>(n);
  }
  return 0;
}

// Parses a number ended by term at *cursor into 0..max; the cursor moves
// past term. -1 without logging (callers log their own message).
int parseField(const char **cursor, int max, char term) {
  const char *p = *cursor;
  int64_t v = 0;
  if (*p < '0' || *p > '9') return -1;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    if (v > max) return -1;
  }
  if (*p != term) return -1;
  *cursor = p + 1;
  return static_cast<int>(v);
}

// Reads the line at offset (at most max bytes, CR LF included) into text,
// NUL-terminated, and splits it at the separators into NUL-ended fields
// (a separator right before the CR LF ends the last field). Returns the
// number of fields and the line's length with CR LF in *used, or -1 when
// the line has no CR LF within reach.
int readLine(const ResCtrl *ctrl, int64_t offset, int max, std::vector<char> *text, std::vector<int> *starts,
             int *used) {
  int64_t left = ctrl->size - offset;
  int len = static_cast<int>(left < max ? left : max);
  if (len < 2) return -1;
  text->assign(static_cast<size_t>(len) + 1, 0);
  if (readAt(ctrl->fd, offset, text->data(), len) != 0) return -1;
  char *b = text->data();
  char *crlf = nullptr;
  for (int i = 0; i + 1 < len && !crlf; i++)
    if (b[i] == '\r' && b[i + 1] == '\n') crlf = b + i;
  if (!crlf) return -1;
  *used = static_cast<int>(crlf - b) + 2;
  *crlf = 0;
  starts->clear();
  char *p = b;
  while (p < crlf) {
    starts->push_back(static_cast<int>(p - b));
    char *sep = static_cast<char *>(std::memchr(p, kResSeparator, static_cast<size_t>(crlf - p)));
    if (!sep) break;
    *sep = 0;
    p = sep + 1;
  }
  return static_cast<int>(starts->size());
}

void debugSummary(const ResCtrl *c) {
  LOGI("InitSourceFile:\n");
  LOGI("text offset = %d\n", c->text_offset);
  LOGI("g_index_num = %d\n", c->index_num);
  LOGI("head_num = %d\n    ", c->head_num);
  for (int i = 0; i < c->head_num; i++) LOGI("    [%d]: %s\n", i, c->head[i]);
  LOGI("sect_num = %d\n", c->sect_num);
  for (int i = 0; i < c->sect_num; i++)
    LOGI("    [%d]: %s, start=%d, num=%d\n", i, c->sect[i].name, c->sect[i].start, c->sect[i].num);
}

// The steps of InitSourceFile after the open; -1 after logging.
int readTables(const char *path, ResCtrl *c) {
  char header[kHeaderSize + 1] = {};
  if (readAt(c->fd, 0, header, kHeaderSize) != 0) {
    LOGE("Read source file %s error.\n", path);
    return -1;
  }
  const char *p = header;
  int n = ReadValue(&p, kMaxEntries - 1);
  int text = n < 0 ? -1 : ReadValue(&p, kMaxOffset - 1);
  if (text < 0 || p != header + kHeaderSize) {
    LOGE("Source file %s error.\n", path);
    return -1;
  }
  // The index must lie inside the file before a byte of it is allocated.
  int64_t indexBytes = n ? static_cast<int64_t>(n) * kEntrySize + 1 : 0;
  if (kHeaderSize + indexBytes > c->size || text >= c->size) {
    LOGE("Source file %s error.\n", path);
    return -1;
  }
  std::vector<char> raw;
  c->index.clear();
  if (n) {
    raw.assign(static_cast<size_t>(indexBytes) + 1, 0);
    c->index.resize(static_cast<size_t>(n));
    if (readAt(c->fd, kHeaderSize, raw.data(), static_cast<int>(indexBytes)) != 0) {
      LOGE("Read source file %s error.\n", path);
      return -1;
    }
  }
  for (int i = 0; i < n; i++) {
    const char *e = raw.data() + static_cast<size_t>(i) * kEntrySize;
    const char *q = e;
    bool last = i == n - 1;
    ResIndex &r = c->index[static_cast<size_t>(i)];
    r.id = parseField(&q, kMaxEntries - 1, kResSeparator);
    r.offset = r.id < 0 ? -1 : parseField(&q, kMaxOffset - 1, kResSeparator);
    r.length = r.offset < 0 ? -1 : parseField(&q, kMaxLength - 1, last ? '\r' : kResSeparator);
    bool sized = last ? q == e + kEntrySize && *q == '\n' : q == e + kEntrySize;
    if (r.length < 0 || !sized) {
      LOGE("Source file %s error.\n", path);
      return -1;
    }
  }
  c->index_num = n;

  std::vector<int> starts;
  int used = 0;
  int names = readLine(c, text, kNameLineMax, &c->head_text, &starts, &used);
  if (names < 1) {
    LOGE("Source file %s error.\n", path);
    return -1;
  }
  if (CfgDebugRes) LOGI("head offset = %d\n", text);
  c->head.clear();
  for (int s : starts) c->head.push_back(c->head_text.data() + s);
  c->head_num = names;
  int64_t sectAt = static_cast<int64_t>(text) + used;
  if (CfgDebugRes) LOGI("sect offset = %d\n", static_cast<int>(sectAt));
  int fields = readLine(c, sectAt, kSectLineMax, &c->sect_text, &starts, &used);
  if (fields < 0 || fields % 3 != 0) {
    LOGE("Source file %s error.\n", path);
    return -1;
  }
  c->sect.clear();
  for (int i = 0; i < fields; i += 3) {
    const char *first = c->sect_text.data() + starts[static_cast<size_t>(i) + 1];
    const char *count = c->sect_text.data() + starts[static_cast<size_t>(i) + 2];
    int start = parseField(&first, kMaxEntries - 1, 0);
    int num = parseField(&count, kMaxEntries - 1, 0);
    if (start < 0 || num < 0) {
      LOGE("Source file %s error.\n", path);
      return -1;
    }
    c->sect.push_back({c->sect_text.data() + starts[static_cast<size_t>(i)], start, num});
  }
  c->sect_num = fields / 3;
  c->text_offset = static_cast<int>(sectAt + used);
  if (CfgDebugRes) debugSummary(c);
  return 0;
}

// Appends "name: value" plus tail to out when the value is not empty.
void appendField(std::string *out, const char *name, const char *value, const char *tail) {
  if (!value || !*value) return;
  *out += name;
  *out += ": ";
  *out += value;
  *out += tail;
}

}  // namespace

void InitResCtrl(ResCtrl *ctrl) {
  if (!ctrl) return;
  ctrl->fd = -1;
  ctrl->size = 0;
  ctrl->text_offset = 0;
  ctrl->index.clear();
  ctrl->index_num = 0;
  ctrl->head_text.clear();
  ctrl->head.clear();
  ctrl->head_num = 0;
  ctrl->sect_text.clear();
  ctrl->sect.clear();
  ctrl->sect_num = 0;
}

void InitResData(ResData *data) {
  if (!data) return;
  data->text.clear();
  data->field.clear();
  data->spare = 0;
}

void FreeResData(ResData *data) {
  if (!data) return;
  std::vector<char>().swap(data->text);
  std::vector<const char *>().swap(data->field);
}

int ReadValue(const char **cursor, int max) {
  if (!cursor || !*cursor) return -1;
  int v = parseField(cursor, max, static_cast<char>(kResSeparator));
  if (v < 0) LOGE("Source file error.\n");
  return v;
}

int InitSourceFile(const char *path, ResCtrl *ctrl) {
  if (!path || !ctrl) return -1;
  InitResCtrl(ctrl);
  ctrl->fd = open(BoardPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (ctrl->fd < 0) {
    LOGE("Cannot open source file: %s.\n", path);
    return -1;
  }
  struct stat st;
  if (fstat(ctrl->fd, &st) != 0) {
    LOGE("fstat error\n");
    DeInitSourceFile(ctrl);
    return -1;
  }
  ctrl->size = st.st_size;
  int r = -1;
  try {
    r = readTables(path, ctrl);
  } catch (const std::bad_alloc &) {
    LOGE("Not enough of memory.\n");
  }
  if (r != 0) DeInitSourceFile(ctrl);
  return r;
}

void DeInitSourceFile(ResCtrl *ctrl) {
  if (!ctrl) return;
  if (ctrl->fd >= 0) close(ctrl->fd);
  InitResCtrl(ctrl);
  std::vector<ResIndex>().swap(ctrl->index);
  std::vector<char>().swap(ctrl->head_text);
  std::vector<char>().swap(ctrl->sect_text);
}

int find(int id, const ResIndex *entries, int count) {
  if (!entries) return -1;
  int lo = 0, hi = count - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    if (entries[mid].id == id) return mid;
    if (entries[mid].id < id) lo = mid + 1;
    else hi = mid - 1;
  }
  return -1;
}

int ReadSourceFile(const ResIndex *entry, const ResCtrl *ctrl, ResData *data) {
  if (!entry || !ctrl || !data || ctrl->fd < 0 || ctrl->head_num < 1) return -1;
  FreeResData(data);
  int64_t at = static_cast<int64_t>(ctrl->text_offset) + entry->offset;
  if (entry->length < 2 || entry->length >= kMaxLength || at + entry->length > ctrl->size) {
    LOGE("Read source file error.\n");
    return -1;
  }
  data->text.assign(static_cast<size_t>(entry->length) + 1, 0);
  if (readAt(ctrl->fd, at, data->text.data(), entry->length) != 0) {
    LOGE("Read source file error.\n");
    FreeResData(data);
    return -1;
  }
  char *b = data->text.data();
  char *end = b + entry->length - 2;
  if (end[0] != '\r' || end[1] != '\n') {
    LOGE("Source file error.\n");
    FreeResData(data);
    return -1;
  }
  *end = 0;
  data->field.assign(static_cast<size_t>(ctrl->head_num), end);  // missing values read as empty
  char *p = b;
  for (int i = 0; i < ctrl->head_num && p <= end; i++) {
    data->field[static_cast<size_t>(i)] = p;
    char *sep = static_cast<char *>(std::memchr(p, kResSeparator, static_cast<size_t>(end - p)));
    if (!sep) break;
    *sep = 0;
    p = sep + 1;
  }
  return 0;
}

int GbkToUtf8(const char *in, char *out, int size) {
  if (!out || size < 1) return 0;
  out[0] = 0;
  if (!in) return 0;
  char *src = const_cast<char *>(in);
  size_t left = std::strlen(in);
  char *dst = out;
  size_t room = static_cast<size_t>(size) - 1;
  while (left > 0 && room > 0) {
    if (gbk_to_utf8(&src, &left, &dst, &room) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;
    if (errno != EILSEQ && errno != EINVAL) break;  // converters closed: stop with what there is
    // A byte pair that GBK cannot give, or a broken one at the end: blanks.
    size_t skip = static_cast<unsigned char>(*src) >= 0x81 && left >= 2 ? 2 : 1;
    for (size_t k = 0; k < skip && room > 0; k++, room--) *dst++ = ' ';
    src += skip;
    left -= skip;
  }
  *dst = 0;
  return static_cast<int>(dst - out);
}

int ResDataToUtfStr(const ResCtrl *ctrl, const ResData *data, char **text, int which) {
  if (!text) return -1;
  *text = nullptr;
  if (!ctrl || !data || data->field.size() < static_cast<size_t>(ctrl->head_num)) return -1;
  int n = ctrl->head_num;
  std::string gbk;
  if (which >= 0 && !(which & kResFirstFields)) {
    if (which >= n) return -1;
    const char *v = data->field[static_cast<size_t>(which)];
    if (*v) gbk = std::string(ctrl->head[static_cast<size_t>(which)]) + ": " + v;
  } else {
    int from = 0, to = n;
    switch (which) {
      case -1: break;
      case -2: to = n - 1; break;
      case -3: from = 1, to = n - 1; break;
      case -4: from = 2, to = n - 1; break;
      default: to = (which & 0xFFF) < n ? (which & 0xFFF) : n; break;
    }
    for (int i = from; i < to; i++)
      appendField(&gbk, ctrl->head[static_cast<size_t>(i)], data->field[static_cast<size_t>(i)], ",");
  }
  char *out = new (std::nothrow) char[kResTextSize];
  if (!out) {
    LOGE("Not enough of memory.\n");
    return -1;
  }
  int len = GbkToUtf8(gbk.c_str(), out, kResTextSize);
  if (CfgDebugRes) {
    LOGI("ResDataToUtfStr:\n");
    LOGI("input n=%d\n", which);
    LOGI("iconv: gbk_len=%d, utf8_len=%d\n", static_cast<int>(gbk.size()), len);
    LOGI("[gbk]:%s\n", gbk.c_str());
    LOGI("[utf8]:%s\n", out);
  }
  *text = out;
  return 0;
}
