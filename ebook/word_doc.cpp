// The Word 97 reader: compound file, FIB, piece table, main text. See
// ebook/word_doc.h. The compound file is read through a table of the file
// offset of every sector (or mini sector) of a stream, built once per
// stream from the FAT; a chain longer than the file has sectors is a cycle.
#include "ebook/word_doc.h"

#include "core/runtime/log.h"

#include <cctype>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "ebook/word_doc.c";
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kLastSector = 0xFFFFFFFA;  // above: special values
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr int kHeaderDifat = 109;
constexpr int kMiniSector = 64;
constexpr int64_t kMaxTextUnits = 16 << 20;  // 32 MiB of UTF-16: more is cut off
constexpr uint32_t kMaxClx = 16 << 20;
constexpr size_t kMaxDirectory = 4 << 20;  // 32768 entries; Word writes a few dozen

uint16_t le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// A stream: the file offset of each of its units (sectors, or mini sectors
// of 64 bytes) and its size.
struct Stream {
  std::vector<int64_t> units;
  int unit = 0;
  int64_t size = 0;
};

struct DirEntry {
  uint32_t start = kEndOfChain;
  int64_t size = 0;
  bool found = false;
};

struct Cfb {
  FILE *file = nullptr;
  int64_t file_size = 0;
  int sector = 512;
  uint32_t sectors = 0;  // whole or partial sectors after the header
  uint32_t mini_cutoff = 4096;
  std::vector<uint32_t> fat, minifat;
  Stream mini_stream;  // the root entry's stream, holding the mini sectors
  std::vector<unsigned char> dir;
};

int64_t sectorOffset(const Cfb &c, uint32_t s) { return static_cast<int64_t>(s + 1) * c.sector; }

// Reads n bytes at offset. A last sector that the writer did not pad out
// reads as zeros past the end; false for a read that starts past the end
// or fails.
bool readAt(const Cfb &c, int64_t offset, void *buf, size_t n) {
  if (offset < 0 || offset >= c.file_size) return false;
  size_t want = offset + static_cast<int64_t>(n) > c.file_size ? static_cast<size_t>(c.file_size - offset) : n;
  if (fseeko(c.file, offset, SEEK_SET) != 0 || std::fread(buf, 1, want, c.file) != want) return false;
  std::memset(static_cast<char *>(buf) + want, 0, n - want);
  return true;
}

// Follows a chain from start through table. Fails on a sector outside the
// table or the file, a free sector inside the chain, or a cycle (more links
// than the table has entries).
bool followChain(const std::vector<uint32_t> &table, uint32_t start, uint32_t limit, std::vector<uint32_t> *out) {
  out->clear();
  for (uint32_t s = start; s != kEndOfChain; s = table[s]) {
    if (s > kLastSector || s >= table.size() || s >= limit || out->size() >= table.size()) return false;
    out->push_back(s);
  }
  return true;
}

// Reads the FAT: the sectors named by the header's DIFAT entries and then
// by the DIFAT sector chain, until the FAT covers every sector of the file.
bool readFat(Cfb *c, const unsigned char *header) {
  const uint32_t per = static_cast<uint32_t>(c->sector / 4);
  const uint32_t need = (c->sectors + per - 1) / per;  // FAT sectors that cover the file
  std::vector<uint32_t> fatSectors;
  for (int i = 0; i < kHeaderDifat && fatSectors.size() < need; i++) {
    uint32_t s = le32(header + 0x4C + 4 * i);
    if (s > kLastSector) break;
    fatSectors.push_back(s);
  }
  std::vector<unsigned char> buf(static_cast<size_t>(c->sector));
  uint32_t difat = le32(header + 0x44);
  for (uint32_t steps = 0; fatSectors.size() < need && difat <= kLastSector; steps++) {
    if (steps > c->sectors || difat >= c->sectors || !readAt(*c, sectorOffset(*c, difat), buf.data(), buf.size()))
      return false;
    for (uint32_t i = 0; i + 1 < per && fatSectors.size() < need; i++) {
      uint32_t s = le32(buf.data() + 4 * i);
      if (s > kLastSector) break;
      fatSectors.push_back(s);
    }
    difat = le32(buf.data() + 4 * (per - 1));
  }
  if (fatSectors.empty()) return false;
  c->fat.reserve(fatSectors.size() * per);
  for (uint32_t s : fatSectors) {
    if (s >= c->sectors || !readAt(*c, sectorOffset(*c, s), buf.data(), buf.size())) return false;
    for (uint32_t i = 0; i < per; i++) c->fat.push_back(le32(buf.data() + 4 * i));
  }
  return true;
}

// The units of a stream of size bytes starting at start; a stream below the
// cutoff lives in the mini stream.
bool openStream(const Cfb &c, uint32_t start, int64_t size, bool mini, Stream *st) {
  std::vector<uint32_t> chain;
  st->size = size;
  st->units.clear();
  if (mini) {
    if (!followChain(c.minifat, start, UINT32_MAX, &chain)) return false;
    st->unit = kMiniSector;
    for (uint32_t m : chain) {
      int64_t at = static_cast<int64_t>(m) * kMiniSector;
      size_t k = static_cast<size_t>(at / c.sector);
      if (k >= c.mini_stream.units.size()) return false;
      st->units.push_back(c.mini_stream.units[k] + at % c.sector);
    }
  } else {
    if (!followChain(c.fat, start, c.sectors, &chain)) return false;
    st->unit = c.sector;
    for (uint32_t s : chain) st->units.push_back(sectorOffset(c, s));
  }
  // A chain shorter than the size: the file was cut or the directory lies.
  return static_cast<int64_t>(st->units.size()) * st->unit >= size;
}

// Reads n bytes of a stream at offset. false outside the stream or on a
// read error.
bool streamRead(const Cfb &c, const Stream &st, int64_t offset, unsigned char *buf, int64_t n) {
  if (offset < 0 || n < 0 || offset + n > st.size) return false;
  while (n > 0) {
    size_t k = static_cast<size_t>(offset / st.unit);
    int64_t in = offset % st.unit;
    int64_t take = st.unit - in < n ? st.unit - in : n;
    if (!readAt(c, st.units[k] + in, buf, static_cast<size_t>(take))) return false;
    buf += take;
    offset += take;
    n -= take;
  }
  return true;
}

bool nameIs(const unsigned char *entry, const char *name) {
  int len = le16(entry + 0x40) / 2 - 1;  // characters without the NUL
  if (len != static_cast<int>(std::strlen(name)) || len > 31) return false;
  for (int i = 0; i < len; i++) {
    uint16_t ch = le16(entry + 2 * i);
    if (ch > 0x7F || std::tolower(ch) != std::tolower(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

// Finds top-level streams by name: walks the root's red-black tree of
// children, each entry visited once however the links point.
void findStreams(const Cfb &c, const char *const *names, DirEntry *found, int count) {
  const size_t entries = c.dir.size() / 128;
  std::vector<bool> seen(entries, false);
  std::vector<uint32_t> todo{le32(c.dir.data() + 0x4C)};
  while (!todo.empty()) {
    uint32_t id = todo.back();
    todo.pop_back();
    if (id >= entries || seen[id]) continue;
    seen[id] = true;
    const unsigned char *e = c.dir.data() + static_cast<size_t>(id) * 128;
    todo.push_back(le32(e + 0x44));
    todo.push_back(le32(e + 0x48));
    if (e[0x42] != 2) continue;  // only streams
    for (int i = 0; i < count; i++) {
      if (found[i].found || !nameIs(e, names[i])) continue;
      found[i] = {le32(e + 0x74), static_cast<int64_t>(le32(e + 0x78)) | static_cast<int64_t>(le32(e + 0x7C)) << 32,
                  true};
      if (c.sector == 512) found[i].size &= 0xFFFFFFFF;  // version 3 files leave the high word undefined
    }
  }
}

// Opens the compound file: header, FAT, directory, mini-FAT and mini
// stream. DOC_UNSUPPORTED without the signature, DOC_DAMAGED when the
// structure does not hold together.
int cfbOpen(Cfb *c, FILE *file) {
  static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  struct stat st;
  if (!file || fstat(fileno(file), &st) != 0) return DOC_DAMAGED;
  c->file = file;
  c->file_size = st.st_size;
  unsigned char header[512];
  if (!readAt(*c, 0, header, sizeof header) || std::memcmp(header, kSignature, 8) != 0) return DOC_UNSUPPORTED;
  int shift = le16(header + 0x1E);
  if (le16(header + 0x1C) != 0xFFFE || (shift != 9 && shift != 12) || le16(header + 0x20) != 6) {
    LOGE("compound file header: byte order %04x, sector shift %d\n", le16(header + 0x1C), shift);
    return DOC_DAMAGED;
  }
  c->sector = 1 << shift;
  if (c->file_size <= c->sector) return DOC_DAMAGED;
  int64_t sectors = (c->file_size - c->sector + c->sector - 1) / c->sector;
  c->sectors = sectors > kLastSector ? kLastSector : static_cast<uint32_t>(sectors);
  c->mini_cutoff = le32(header + 0x38);
  if (!readFat(c, header)) {
    LOGE("compound file: FAT cannot be read\n");
    return DOC_DAMAGED;
  }
  std::vector<uint32_t> chain;
  if (!followChain(c->fat, le32(header + 0x30), c->sectors, &chain) || chain.empty() ||
      chain.size() * c->sector > kMaxDirectory) {
    LOGE("compound file: directory chain broken\n");
    return DOC_DAMAGED;
  }
  c->dir.resize(chain.size() * static_cast<size_t>(c->sector));
  for (size_t i = 0; i < chain.size(); i++)
    if (!readAt(*c, sectorOffset(*c, chain[i]), c->dir.data() + i * c->sector, static_cast<size_t>(c->sector)))
      return DOC_DAMAGED;
  if (c->dir[0x42] != 5) return DOC_DAMAGED;  // the first entry is the root
  // The mini-FAT and the mini stream; a file without small streams has none.
  uint32_t miniStart = le32(header + 0x3C);
  if (miniStart <= kLastSector) {
    if (!followChain(c->fat, miniStart, c->sectors, &chain)) return DOC_DAMAGED;
    std::vector<unsigned char> buf(static_cast<size_t>(c->sector));
    for (uint32_t s : chain) {
      if (!readAt(*c, sectorOffset(*c, s), buf.data(), buf.size())) return DOC_DAMAGED;
      for (int i = 0; i < c->sector / 4; i++) c->minifat.push_back(le32(buf.data() + 4 * i));
    }
    int64_t rootSize = le32(c->dir.data() + 0x78);
    if (!openStream(*c, le32(c->dir.data() + 0x74), rootSize, false, &c->mini_stream)) return DOC_DAMAGED;
  }
  return 0;
}

bool openNamed(const Cfb &c, const DirEntry &e, Stream *st) {
  if (!e.found || e.size < 0 || e.size > c.file_size) return false;
  return openStream(c, e.start, e.size, e.size < c.mini_cutoff, st);
}

// Code page 1252 for the bytes 0x80-0x9F (0 where it has no character);
// the rest of the 8-bit range is Latin-1.
const uint16_t kCp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Turns the characters of the main text into readable text: the shown
// result of each field (its code hidden), marks made line feeds, a table
// cell's end a line feed and the row's end nothing, anchors dropped.
struct TextMaker {
  std::string *out;
  std::vector<bool> fields;  // per open field: its result is being shown
  int hidden = 0;            // open fields whose code is being read
  bool afterCell = false;
  int64_t units = 0;

  void put(uint16_t ch) {
    out->push_back(static_cast<char>(ch & 0xFF));
    out->push_back(static_cast<char>(ch >> 8));
    units++;
  }
  void add(uint16_t ch) {
    if (ch == 0x13) {  // field begin: its code follows
      fields.push_back(false);
      hidden++;
      return;
    }
    if (ch == 0x14) {  // separator: the result follows
      if (!fields.empty() && !fields.back()) {
        fields.back() = true;
        hidden--;
      }
      return;
    }
    if (ch == 0x15) {  // field end
      if (fields.empty()) return;
      if (!fields.back()) hidden--;
      fields.pop_back();
      return;
    }
    if (hidden > 0) return;
    const bool cell = ch == 0x07;
    if (cell && afterCell) {  // the row's end mark follows its last cell
      afterCell = false;
      return;
    }
    afterCell = cell;
    switch (ch) {
      case 0x07: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E:
        put(0x0A);
        return;
      case 0x09:
        put(0x09);
        return;
      case 0x1E:  // non-breaking hyphen
        put('-');
        return;
      case 0xA0:
        put(' ');
        return;
      default:
        break;
    }
    if (ch < 0x20) return;                      // anchors of pictures, notes, objects; optional hyphen
    if (ch >= 0xF000 && ch <= 0xF0FF) return;   // a symbol font's private code
    put(ch);
  }
};

// Reads the main text's ccpText characters through the piece table.
int readText(const Cfb &c, const Stream &word, const unsigned char *plc, uint32_t lcb, int64_t ccpText,
             std::string *out) {
  const uint32_t n = (lcb - 4) / 12;
  TextMaker maker{out};
  std::vector<unsigned char> buf(64 * 1024);
  uint32_t narrow = 0;
  for (uint32_t i = 0; i < n && maker.units < kMaxTextUnits; i++) {
    int64_t cp0 = static_cast<int32_t>(le32(plc + 4 * i));
    int64_t cp1 = static_cast<int32_t>(le32(plc + 4 * (i + 1)));
    if (cp0 < 0 || cp1 <= cp0 || cp0 >= ccpText) continue;
    if (cp1 > ccpText) cp1 = ccpText;
    uint32_t fc = le32(plc + 4 * (n + 1) + 8 * i + 2);
    const bool compressed = fc & 0x40000000;
    narrow += compressed;
    int64_t at = compressed ? (fc & 0x3FFFFFFF) / 2 : fc & 0x3FFFFFFF;
    int64_t bytes = (cp1 - cp0) * (compressed ? 1 : 2);
    while (bytes > 0 && maker.units < kMaxTextUnits) {
      int64_t take = bytes < static_cast<int64_t>(buf.size()) ? bytes : static_cast<int64_t>(buf.size());
      if (!streamRead(c, word, at, buf.data(), take)) {
        LOGE("piece %u at %lld (%lld bytes) outside WordDocument\n", i, static_cast<long long>(at),
             static_cast<long long>(take));
        return DOC_DAMAGED;
      }
      if (compressed) {
        for (int64_t k = 0; k < take; k++) {
          unsigned char b = buf[static_cast<size_t>(k)];
          maker.add(b >= 0x80 && b < 0xA0 ? kCp1252[b - 0x80] : b);
        }
      } else {
        for (int64_t k = 0; k + 1 < take; k += 2) maker.add(le16(buf.data() + k));
      }
      at += take;
      bytes -= take;
    }
  }
  LOGI("%u pieces, %u of them 8-bit; %lld characters of text\n", n, narrow, static_cast<long long>(ccpText));
  if (maker.units >= kMaxTextUnits) LOGW("text cut at %lld characters\n", static_cast<long long>(kMaxTextUnits));
  return 0;
}

int init(WordDoc *doc, FILE *file) {
  Cfb c;
  int rc = cfbOpen(&c, file);
  if (rc != 0) return rc;
  static const char *const kNames[] = {"WordDocument", "0Table", "1Table"};
  DirEntry found[3];
  findStreams(c, kNames, found, 3);
  Stream word;
  if (!found[0].found) {
    LOGE("no WordDocument stream\n");
    return DOC_UNSUPPORTED;
  }
  if (!openNamed(c, found[0], &word)) return DOC_DAMAGED;
  unsigned char fib[0x1AA];
  if (!streamRead(c, word, 0, fib, sizeof fib)) return DOC_DAMAGED;
  if (le16(fib) != 0xA5EC) {
    LOGE("FIB identifier %04x\n", le16(fib));
    return DOC_DAMAGED;
  }
  const uint16_t nFib = le16(fib + 2), flags = le16(fib + 0x0A);
  if (flags & 0x8100) {  // fEncrypted, fObfuscated
    LOGE("encrypted document (flags %04x)\n", flags);
    return DOC_PROTECTED;
  }
  if (nFib < 0xC0) {
    LOGE("Word version before 97 (nFib %u)\n", nFib);
    return DOC_UNSUPPORTED;
  }
  Stream table;
  if (!openNamed(c, found[flags & 0x0200 ? 2 : 1], &table)) {
    LOGE("table stream %s missing or broken\n", kNames[flags & 0x0200 ? 2 : 1]);
    return DOC_DAMAGED;
  }
  const int64_t ccpText = static_cast<int32_t>(le32(fib + 0x4C));
  const uint32_t fcClx = le32(fib + 0x1A2), lcbClx = le32(fib + 0x1A6);
  if (ccpText < 0 || lcbClx == 0 || lcbClx > kMaxClx) return DOC_DAMAGED;
  std::vector<unsigned char> clx(lcbClx);
  if (!streamRead(c, table, fcClx, clx.data(), lcbClx)) return DOC_DAMAGED;
  // Property runs (type 1) come first; the piece table (type 2) follows.
  uint32_t pos = 0;
  while (pos < lcbClx && clx[pos] == 1) {
    if (pos + 3 > lcbClx) return DOC_DAMAGED;
    pos += 3 + le16(clx.data() + pos + 1);
  }
  if (pos + 5 > lcbClx || clx[pos] != 2) return DOC_DAMAGED;
  uint32_t lcb = le32(clx.data() + pos + 1);
  if (lcb > lcbClx - pos - 5 || lcb < 16 || (lcb - 4) % 12 != 0) return DOC_DAMAGED;
  try {
    return readText(c, word, clx.data() + pos + 5, lcb, ccpText, &doc->text);
  } catch (const std::bad_alloc &) {
    return DOC_NO_MEMORY;
  }
}

}  // namespace

int DocInit(WordDoc *doc, FILE *file) {
  if (!doc) return DOC_DAMAGED;
  DocRelease(doc);
  int rc;
  try {
    rc = init(doc, file);
  } catch (const std::bad_alloc &) {
    rc = DOC_NO_MEMORY;
  }
  if (rc != 0) DocRelease(doc);
  return rc;
}

void DocRelease(WordDoc *doc) {
  if (!doc) return;
  std::string().swap(doc->text);
  doc->pos = 0;
}

int DocSeek(WordDoc *doc, int64_t offset) {
  if (!doc || offset < 0 || offset > static_cast<int64_t>(doc->text.size())) return -1;
  doc->pos = offset;
  return 0;
}

int DocRead(WordDoc *doc, void *buffer, int count) {
  if (!doc || !buffer || count < 0) return -1;
  int64_t rest = static_cast<int64_t>(doc->text.size()) - doc->pos;
  int n = rest < count ? static_cast<int>(rest) : count;
  if (n <= 0) return 0;
  std::memcpy(buffer, doc->text.data() + doc->pos, static_cast<size_t>(n));
  doc->pos += n;
  return n;
}

int DocHasStream(FILE *file, const char *name) {
  Cfb c;
  try {
    if (!name || cfbOpen(&c, file) != 0) return -1;
    DirEntry e;
    findStreams(c, &name, &e, 1);
    return e.found ? 1 : 0;
  } catch (const std::bad_alloc &) {
    return -1;
  }
}
