// The file browser: listing and speaking, the name order, opening files in
// their players, file commands, formatting and USB mass-storage mode.
//
// One browser record exists at a time (g_browser); it outlives its place on
// the stack, because a worker dialog that is ending may still re-show the
// screen it found on top, so power-off only empties it. The listing fields
// are guarded by FileBrowser::mutex (see filebrowser.h). File commands work
// on system paths ("/mnt/sdcard/x") mapped by BoardPath at each call, with
// the C library's calls, so no file name ever reaches a shell; the one
// command the system must run as text, the same-device move, is quoted.
// A paste never replaces an existing entry and a failed copy leaves no
// partial file behind.
#include "core/filebrowser.h"

#include "board/board.h"
#include "core/app.h"
#include "core/bookmark.h"
#include "core/config.h"
#include "core/dialog.h"
#include "core/log.h"
#include "core/loop.h"
#include "core/machine.h"
#include "core/menu.h"
#include "core/keymp3.h"
#include "core/pending.h"
#include "core/vkey.h"
#include "ebook/ebook_parser.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "speech/duoying.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "core/filebrowser.c";
constexpr size_t kNamesStep = 4096;
constexpr size_t kOffsetsStep = 1024;
constexpr size_t kPathMax = 4096;
constexpr size_t kCopyBuffer = 0x100000;
constexpr char kRoot[] = "/mnt";
constexpr char kCollationFile[] = "/home/ChnCharIndexs.bin";

int lang() { return MLanguageSetting == 1 ? 1 : 0; }

// ---- Spoken texts ----
using Pair = const char *const[2];
Pair kMemory = {"本机磁盘", "Memory"};
Pair kSdCard = {"SD卡", "SD card"};
Pair kTfCard = {"TF卡", "TF card"};
Pair kUsbDisk = {"U盘", "USB disk"};
Pair kNoMemory = {"没有内存卡", "No memory"};
Pair kNoSdCard = {"没有SD卡", "No sd card"};
Pair kNoTfCard = {"没有TF卡", "No tf card"};
Pair kNoUsbDisk = {"没有Ｕ盘", "No usb disk"};
Pair kEmptyFolder = {"空文件夹", "no file"};
Pair kFolder = {"文件夹", "folder"};
Pair kRootDir = {"根目录", "root directory"};
Pair kByte = {"字节", "byte"};
Pair kKilo = {"K字节", "KB"};
Pair kMega = {"兆", "MB"};
Pair kGiga = {"GB", "GB"};
Pair kUnsupported = {"不支持此类文件", "do not support this file"};
Pair kCopyMark = {"已设置复制标志：", "Copy: "};
Pair kCutMark = {"已设置剪切标志：", "Cut: "};
Pair kError = {"操作失败...", "Error"};
Pair kPasteDone = {"粘贴完成...", "Done"};
Pair kCopyDone = {"复制完成...", "Done"};
Pair kDiskFull = {"磁盘已满...", "Disk full"};
Pair kPastingDir = {"正在粘贴目录...", "Pasting"};
Pair kPastingFile = {"正在粘贴文件...", "Pasting"};
Pair kPasteCancelDir = {"已取消粘贴目录...", "Cancelled"};
Pair kPasteCancelFile = {"已取消粘贴文件...", "Cancelled"};
Pair kCopyingDir = {"正在复制目录...", "Pasting"};
Pair kCopyingFile = {"正在复制文件...", "Pasting"};
Pair kCopyCancelDir = {"已取复制目录...", "Cancelled"};
Pair kCopyCancelFile = {"已取复制文件...", "Cancelled"};
Pair kAskDeleteDir = {"是否删除目录...", "Delete the directory?"};
Pair kAskDeleteFile = {"是否删除文件...", "Delete the file?"};
Pair kDeletingDir = {"正在删除目录...", "deleting"};
Pair kDeletingFile = {"正在删除文件...", "deleting"};
Pair kDeleteCancelDir = {"已取消删除目录...", "Cancelled"};
Pair kDeleteCancelFile = {"已取消删除文件...", "Cancelled"};
Pair kDirDeleted = {"目录已删除...", "Done"};
Pair kFileDeleted = {"文件已删除...", "Done"};
Pair kUsbConnecting = {"USB连接中...", "Usb connecting!"};
Pair kPowerOff = {"正在关机", "Power off"};

void say(const char *const *pair, bool wait) {
  int h = text_sound_insert(pair[lang()]);
  if (wait) wait_text_sound_end(h);
}

void sayText(const std::string &text, bool wait) {
  int h = text_sound_insert(text.c_str());
  if (wait) wait_text_sound_end(h);
}

// ---- Collation table ----

std::mutex g_tableMutex;
std::atomic<bool> g_tableLoaded{false};
std::array<uint16_t, 65536> g_table;  // written once under g_tableMutex before g_tableLoaded

bool loadTable() {
  if (g_tableLoaded.load(std::memory_order_acquire)) return true;
  std::scoped_lock lock(g_tableMutex);
  if (g_tableLoaded.load(std::memory_order_relaxed)) return true;
  FILE *f = std::fopen(BoardPath(kCollationFile).c_str(), "rb");
  if (!f) return false;
  unsigned char raw[2 * 65536];
  size_t n = std::fread(raw, 1, sizeof raw, f);
  std::fclose(f);
  if (n != sizeof raw) {
    LOGW("%s is short: %zu bytes\n", kCollationFile, n);
    return false;
  }
  for (size_t i = 0; i < 65536; i++) g_table[i] = static_cast<uint16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  g_tableLoaded.store(true, std::memory_order_release);
  return true;
}

// One character decoded by its lead byte. Continuation bytes are taken only
// while they are there, so a name in another encoding never reads past its
// end; a four-byte character sorts after every other.
unsigned decodeChar(const unsigned char *s, int *len) {
  unsigned b0 = s[0];
  int want = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 1;
  int n = 1;
  while (n < want && s[n]) n++;
  *len = n;
  if (n != want) return b0;
  switch (want) {
    case 2: return ((b0 & 0x1F) << 6) | (s[1] & 0x3F);
    case 3: return ((b0 & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    case 4: return 0x10000;
    default: return b0;
  }
}

unsigned weight(unsigned c) { return c > 0xFFFF ? 0x10000 : g_table[c]; }

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Compares the digit runs at a and b as whole numbers of any length.
int compareNumbers(const unsigned char *a, const unsigned char *b) {
  while (*a == '0' && isDigit(a[1])) a++;
  while (*b == '0' && isDigit(b[1])) b++;
  size_t la = 0, lb = 0;
  while (isDigit(a[la])) la++;
  while (isDigit(b[lb])) lb++;
  if (la != lb) return la < lb ? -1 : 1;
  int c = std::memcmp(a, b, la);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Names equal apart from hyphens and case: a hyphen where the other has
// none sorts later; then case-insensitive, then byte order.
int tieBreak(const char *a, const char *b) {
  for (size_t i = 0;; i++) {
    if (!a[i] && !b[i]) {
      int c = strcasecmp(a, b);
      if (!c) c = std::strcmp(a, b);
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (!a[i]) return -1;
    if (!b[i]) return 1;
    if (a[i] == '-' && b[i] != '-') return 1;
    if (b[i] == '-' && a[i] != '-') return -1;
  }
}

// ---- Players ----

std::mutex g_playersMutex;
FileBrowserPlayer g_players[FILE_KINDS];  // guarded by g_playersMutex; create null: none

bool playerOf(int kind, FileBrowserPlayer *out) {
  std::scoped_lock lock(g_playersMutex);
  if (kind < 0 || kind >= FILE_KINDS || !g_players[kind].create) return false;
  *out = g_players[kind];
  return true;
}

const char *const kAudioExtensions[] = {"mp3", "wav", "wma", "flac", "ape", "acc", "ogg", "ra",
                                        "m4a", "rm",  "rmvb", "avi", "mp4", "3gp", "mov", "wmv",
                                        "flv", "mpg", "mpeg", "dat", "f4v", "vob", "mkv"};

int builtinAudioCheck(const char *dir, const char *name) {
  const char *dot = name ? std::strrchr(name, '.') : nullptr;
  if (!dot) return 0;
  for (const char *e : kAudioExtensions)
    if (!strcasecmp(dot + 1, e)) return 1;
  return 0;
}

int builtinEbookCheck(const char *dir, const char *name) { return name && check_is_ebook(name) ? 1 : 0; }

// A DAISY book's control file: a package file (".opf") or "ncc.html".
int builtinDaisyCheck(const char *dir, const char *name) {
  if (!name) return 0;
  size_t n = std::strlen(name);
  if (n >= 4 && (!std::strcmp(name + n - 4, ".opf") || !std::strcmp(name + n - 4, ".OPF"))) return 1;
  return !std::strcmp(name, "ncc.html") || !std::strcmp(name, "NCC.HTML");
}

int (*const kBuiltinChecks[FILE_KINDS])(const char *, const char *) = {builtinAudioCheck, builtinEbookCheck,
                                                                        builtinDaisyCheck};

int checkKind(int kind, const char *dir, const char *name) {
  FileBrowserPlayer p;
  if (!playerOf(kind, &p)) return 0;
  return (p.check ? p.check : kBuiltinChecks[kind])(dir, name);
}

int daisyListCheck(const char *dir, const char *name) {
  FileBrowserPlayer p;
  if (playerOf(FILE_KIND_DAISY, &p) && p.check) return p.check(dir, name);
  return builtinDaisyCheck(dir, name);
}

std::string daisyTitle(const std::string &path, const std::string &name) {
  FileBrowserPlayer p;
  if (playerOf(FILE_KIND_DAISY, &p) && p.title) {
    std::vector<char> buf(4096, '\0');
    if (p.title(path.c_str(), buf.data(), static_cast<int>(buf.size())) >= 0 && buf[0]) return buf.data();
    LOGW("DaisyGetTitle return error: fpath=%s\n", path.c_str());
  }
  return name;
}

// ---- Paths ----

bool lexists(const std::string &path) {
  struct stat st;
  return lstat(BoardPath(path.c_str()).c_str(), &st) == 0;
}

bool isDirPath(const std::string &path) {
  struct stat st;
  return stat(BoardPath(path.c_str()).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int depthOf(const std::string &dir) {
  int n = 0;
  for (size_t i = 0; i < dir.size(); i++)
    if (dir[i] == '/' && i + 1 < dir.size()) n++;
  return n;
}

bool under(const std::string &path, const char *prefix) {
  size_t n = std::strlen(prefix);
  return path.compare(0, n, prefix) == 0 && (path.size() == n || path[n] == '/');
}

std::string join(const std::string &dir, const std::string &name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

// sh single quotes; a quote inside becomes '\''.
std::string shellQuote(const std::string &s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

const char *mountPointOf(int type) {
  switch (type) {
    case 0: return "/mnt/emmc";
    case 1: return "/mnt/sdcard";
    case 2: return "/mnt/usb";
    default: return nullptr;
  }
}

const char *const *deviceName(int type) {
  switch (type) {
    case 0: return kMemory;
    case 1: return CardIsTf ? kTfCard : kSdCard;
    case 2: return kUsbDisk;
    default: return nullptr;
  }
}

const char *const *notInserted(int type) {
  switch (type) {
    case 0: return kNoMemory;
    case 1: return CardIsTf ? kNoTfCard : kNoSdCard;
    case 2: return kNoUsbDisk;
    default: return nullptr;
  }
}

}  // namespace

// ---- The browser record ----

// A paste, send or delete in progress: its own copies of the paths, run on
// the worker dialog's thread. Owned by the browser's job list; `phase` says
// whether the browser may forget it.
struct FileBrowser;

struct FileJob {
  FileBrowser *fb = nullptr;
  std::string src_dir, name, dst_dir;
  bool is_dir = false;
  int mode = 1;       // 1 copy, 2 move
  bool send = false;  // sending: keep the current entry afterwards
  std::atomic<int> *state = nullptr;
  std::atomic<int> *progress = nullptr;
  uint64_t total_bytes = 0, done_bytes = 0;
  std::vector<char> buffer;
  std::atomic<int> phase{0};  // 0 not started, 1 running, 2 ended
};


struct FileBrowser {
  Activity head;  // first: the stack holds &head
  mutable std::mutex mutex;
  FileOrderList dirs;    // guarded by mutex
  FileOrderList files;   // guarded by mutex
  std::string cur_dir;   // guarded by mutex
  int depth = 0;         // guarded by mutex
  int is_daisy_dir = 0;  // guarded by mutex
  int cur = 0;           // guarded by mutex
  int announce_root = 0; // guarded by mutex
  bool closed = false;   // guarded by mutex: switched off, nothing more is listed
  int usb_connected = 0; // key thread only
  // The clipboard (key thread only; a job works on its own copies).
  std::string clip_dir, clip_name;
  int clip_is_dir = 0;
  int clip_mode = 0;  // 0 nothing, 1 copy, 2 cut
  // The folder last left with back and its current entry (key thread only).
  std::string history_path, history_name;
  std::list<std::unique_ptr<FileJob>> jobs;  // guarded by mutex
  std::condition_variable job_ended;
};

namespace {

std::unique_ptr<FileBrowser> g_browser;  // the one browser; replaced only by a new FileBrowserCreate

FileBrowser *browserOf(Activity *a) {
  return a && a->key == FileBrowserKey ? static_cast<FileBrowser *>(a->data) : nullptr;
}

// What one entry is, copied out of the listing.
struct Entry {
  std::string dir;
  std::string name;  // "" for an empty folder
  bool is_dir = false;
  int depth = 0;
  int index = 0;
  int total = 0;
  bool daisy = false;
  bool announce = false;
};

Entry current(FileBrowser *fb, bool takeAnnounce = false) {
  std::scoped_lock lock(fb->mutex);
  Entry e;
  e.dir = fb->cur_dir;
  e.depth = fb->depth;
  e.index = fb->cur;
  e.total = fb->dirs.count + fb->files.count;
  e.daisy = fb->is_daisy_dir != 0;
  if (fb->cur < fb->dirs.count) {
    e.name = FileOrderListGet(&fb->dirs, fb->cur);
    e.is_dir = true;
    e.announce = fb->announce_root != 0;
    if (takeAnnounce) fb->announce_root = 0;
  } else if (const char *n = FileOrderListGet(&fb->files, fb->cur - fb->dirs.count)) {
    e.name = n;
  }
  return e;
}

int loadDir(FileBrowser *fb, const char *dirArg, const char *select) {
  std::string dir = dirArg ? dirArg : kRoot;
  if (!dirArg) select = "emmc";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  DIR *d = opendir(BoardPath(dir.c_str()).c_str());
  if (!d) {
    LOGW("cannot open dir: %s\n", dir.c_str());
    return -1;
  }
  bool daisy = IsDaisyDir(dir.c_str()) != 0;
  FileOrderList dirs, files;
  FileOrderListReset(&dirs);
  FileOrderListReset(&files);
  std::string mapped = BoardPath(dir.c_str());
  while (struct dirent *e = readdir(d)) {
    const char *name = e->d_name;
    if (name[0] == '.') continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems leave the type to a stat of the entry.
      struct stat st;
      if (lstat((mapped + "/" + name).c_str(), &st) == 0)
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      FileOrderListAdd(&dirs, name);
    } else if (type == DT_REG) {
      if (daisy) {
        if (!daisyListCheck(dir.c_str(), name)) continue;
        if (CfgDebugFilebrowser) LOGD("Add daisy file: %s\n", name);
      }
      FileOrderListAdd(&files, name);
    }
  }
  closedir(d);
  int ascending = CfgFileSortAscent ? 1 : 0;
  SortFileByName(&dirs, ascending, LogicalStrCmp);
  SortFileByName(&files, ascending, LogicalStrCmp);
  int cur = 0;
  if (select && *select) {
    bool found = false;
    for (int i = 0; i < dirs.count && !found; i++)
      if (!strcasecmp(FileOrderListGet(&dirs, i), select)) cur = i, found = true;
    for (int i = 0; i < files.count && !found; i++)
      if (!strcasecmp(FileOrderListGet(&files, i), select)) cur = dirs.count + i, found = true;
  }
  std::scoped_lock lock(fb->mutex);
  if (fb->closed) return -1;
  fb->dirs = std::move(dirs);
  fb->files = std::move(files);
  fb->cur_dir = dir;
  fb->is_daisy_dir = daisy ? 1 : 0;
  fb->cur = cur;
  fb->depth = depthOf(dir);
  return 0;
}

int loadFile(FileBrowser *fb, const char *fullpath) {
  std::string p = fullpath ? fullpath : "";
  if (!p.empty() && p.back() == '/') return loadDir(fb, p.c_str(), nullptr);
  size_t slash = p.rfind('/');
  if (slash == std::string::npos || slash == 0) {
    LOGW("path %s error\n", p.c_str());
    return loadDir(fb, nullptr, nullptr);
  }
  return loadDir(fb, p.substr(0, slash).c_str(), p.c_str() + slash + 1);
}

void setAnnounce(FileBrowser *fb) {
  std::scoped_lock lock(fb->mutex);
  if (fb->depth == 2) fb->announce_root = 1;
}

// The spoken size of a file: bytes up to 1024, then K, M and G with two
// truncated decimals.
std::string sizeText(const std::string &name, int64_t size) {
  char text[4352];
  int lg = lang();
  if (size <= 1024) {
    std::snprintf(text, sizeof text, "%s. %d%s", name.c_str(), static_cast<int>(size), kByte[lg]);
  } else {
    int shift = size > 1073741824 ? 30 : size > 1048576 ? 20 : 10;
    const char *unit = shift == 30 ? kGiga[lg] : shift == 20 ? kMega[lg] : kKilo[lg];
    int64_t whole = size >> shift;
    int64_t lower = (size >> (shift - 10)) & 1023;
    std::snprintf(text, sizeof text, "%s. %d.%02d%s", name.c_str(), static_cast<int>(whole),
                  static_cast<int>(lower * 100 / 1024), unit);
  }
  return text;
}

// The text of the current entry (steps of the show); empty when nothing is
// to be said.
std::string entryText(const Entry &e, bool announce) {
  int lg = lang();
  if (e.name.empty()) return kEmptyFolder[lg];
  if (e.depth == 1) {
    int type = GetMoutPointType(e.name.c_str());
    const char *const *n = deviceName(type);
    if (!n) {
      LOGW("GetMoutPointType return error: %d\n", type);
      return "";
    }
    return n[lg];
  }
  if (e.is_dir) {
    if (announce) return std::string(kRootDir[lg]) + ". " + e.name + ". " + kFolder[lg];
    return e.name + ". " + kFolder[lg];
  }
  std::string path = join(e.dir, e.name);
  if (e.daisy) return daisyTitle(path, e.name);
  struct stat st;
  if (stat(BoardPath(path.c_str()).c_str(), &st) != 0) {
    LOGW("stat file %s error\n", path.c_str());
    return e.name;
  }
  return sizeText(e.name, st.st_size);
}

// A current folder that has gone (card pulled, folder deleted) sends the
// browser back to the device list.
void checkCurrentDir(FileBrowser *fb) {
  std::string dir;
  {
    std::scoped_lock lock(fb->mutex);
    if (fb->closed) return;
    dir = fb->cur_dir;
  }
  if (!isDirPath(dir)) {
    LOGW("Current direction %s is removed, to default direction!!!!!\n", dir.c_str());
    loadDir(fb, nullptr, nullptr);
  }
}

void speakDetail(FileBrowser *fb) {
  checkCurrentDir(fb);
  Entry e = current(fb);
  std::string text;
  if (e.depth == 1 || e.name.empty()) {
    text = entryText(e, false);
  } else {
    if (e.depth == 2) text = std::string(kRootDir[lang()]) + ",";
    text += entryText(e, false);
    char info[256] = "";
    CurTotalFileInfoStr(e.index + 1, e.total, info, sizeof info, lang());
    text += info;
  }
  if (!text.empty()) sayText(text, false);
}

void moveCursor(FileBrowser *fb, int key) {
  std::scoped_lock lock(fb->mutex);
  int n = fb->dirs.count + fb->files.count;
  if (!n) return;
  switch (key) {
    case VKEY_UP: fb->cur = (fb->cur + n - 1) % n; break;
    case VKEY_DOWN: fb->cur = (fb->cur + 1) % n; break;
    case VKEY_LEFT: fb->cur = std::max(0, fb->cur - 10); break;
    case VKEY_RIGHT: fb->cur = std::min(n - 1, fb->cur + 10); break;
  }
}

// ---- Opening ----

void openEntry(FileBrowser *fb) {
  Entry e = current(fb);
  if (e.name.empty()) {
    FileBrowserShow(&fb->head);
    return;
  }
  std::string path = join(e.dir, e.name);
  if (e.is_dir) {
    if (e.depth == 1) {
      int type = GetMoutPointType(e.name.c_str());
      if (type < 0) {
        LOGW("unknow mount point: dir=%s\n", path.c_str());
        return;
      }
      if (IsMountDir(path.c_str()) != 1) {
        say(notInserted(type), false);
        return;
      }
    }
    const char *select = fb->history_path == path ? fb->history_name.c_str() : nullptr;
    if (loadDir(fb, path.c_str(), select) == 0) setAnnounce(fb);
    FileBrowserShow(&fb->head);
    return;
  }
  if (e.daisy && checkKind(FILE_KIND_DAISY, e.dir.c_str(), e.name.c_str())) {
    std::string title = daisyTitle(path, e.name);
    int v1 = 0, v2 = 0;
    if (const Mark *m = MarkArryGet(MARK_DAISY_HISTORY, MarkFind(MARK_DAISY_HISTORY, path.c_str(), title.c_str()))) {
      v1 = std::atoi(m->items[0].ncxref.c_str());
      v2 = std::atoi(m->items[0].uri.c_str());
      LOGI("%s, Find history: simile=%d, element=%d\n", path.c_str(), v1, v2);
    }
    text_sound_stop();
    FileBrowserOpenPlayer(&fb->head, FILE_KIND_DAISY, v1, v2);
    return;
  }
  if (checkKind(FILE_KIND_AUDIO, e.dir.c_str(), e.name.c_str())) {
    int t = 0;
    if (const Mark *m = MarkArryGet(MARK_AUDIO_HISTORY, MarkFind(MARK_AUDIO_HISTORY, path.c_str(), e.name.c_str()))) {
      t = m->items[0].timeoffset;
      LOGI("%s, Find history: time=%d\n", path.c_str(), t);
    }
    FileBrowserOpenPlayer(&fb->head, FILE_KIND_AUDIO, t, 0);
    return;
  }
  if (checkKind(FILE_KIND_EBOOK, e.dir.c_str(), e.name.c_str())) {
    // The reader keeps the sentence of the page in timeoffset (0 in older marks).
    int page = 0, sentence = 0;
    if (const Mark *m = MarkArryGet(MARK_EBOOK_HISTORY, MarkFind(MARK_EBOOK_HISTORY, path.c_str(), e.name.c_str()))) {
      page = m->items[0].charoffset;
      sentence = m->items[0].timeoffset;
      LOGI("%s, Find history: page=%d\n", path.c_str(), page);
    }
    FileBrowserOpenPlayer(&fb->head, FILE_KIND_EBOOK, page, sentence);
    return;
  }
  say(kUnsupported, false);
}

void goUp(FileBrowser *fb) {
  Entry e = current(fb);
  if (e.depth <= 1) return;
  if (!e.name.empty()) {
    LOGI("history[old]:%s %s\n", fb->history_path.c_str(), fb->history_name.c_str());
    fb->history_path = e.dir;
    fb->history_name = e.name;
    LOGI("history[new]:%s %s\n", fb->history_path.c_str(), fb->history_name.c_str());
  }
  size_t slash = e.dir.rfind('/');
  if (slash == std::string::npos) {
    LOGW("can not find '/' in: %s\n", e.dir.c_str());
    return;
  }
  std::string parent = slash ? e.dir.substr(0, slash) : "/";
  std::string left = e.dir.substr(slash + 1);
  if (!isDirPath(parent) || loadDir(fb, parent.c_str(), left.c_str()) != 0) loadDir(fb, nullptr, nullptr);
  else setAnnounce(fb);
  FileBrowserShow(&fb->head);
}

// ---- The system menu and the other screens ----

void openSystemMenu(FileBrowser *fb) {
  std::string dir = current(fb).dir;
  ItemSetVisable(&SendToSd, 0);
  ItemSetVisable(&SendToEmmc, 0);
  if (under(dir, "/mnt/emmc") && IsMountDir("/mnt/sdcard") == 1) ItemSetVisable(&SendToSd, 1);
  if (under(dir, "/mnt/sdcard") && IsMountDir("/mnt/emmc") == 1) ItemSetVisable(&SendToEmmc, 1);
  is_menu = 0;
  Activity *menu = MenuCreate1(&fb->head, &SystemMenu, nullptr, nullptr, &fb->head, 0);
  if (menu) ActivitySetActive(menu, 1);
}

void activateOrReshow(Activity *screen, Activity *browser) {
  if (screen) ActivitySetActive(screen, 1);
  else ActivityReshow(browser);
}

// ---- USB mass-storage mode ----

void usbConnect(FileBrowser *fb) {
  fb->usb_connected = 1;
  say(kUsbConnecting, false);
  if (KernelVer == 0x30008) {
    BoardRunShell("umount /mnt/emmc");
    BoardRunShell("umount /mnt/sdcard");
    BoardRunShell("echo /dev/mmcblk1  > /sys/devices/platform/jz-dwc2/dwc2/gadget/gadget-lun1/file");
    BoardRunShell("echo /dev/mmcblk0p3  > /sys/devices/platform/jz-dwc2/dwc2/gadget/gadget-lun0/file");
    return;
  }
  BoardRunShell("rmmod g_mass_storage");
  BoardRunShell("umount /mnt/emmc");
  BoardRunShell("umount /mnt/sdcard");
  if (BoardIsBlockDevice("/dev/mmcblk1p1"))
    BoardRunShell("insmod /lib/modules/3.10.14/g_mass_storage.ko luns=2 file=/dev/mmcblk0p3,/dev/mmcblk1p1  removable=1,1");
  else if (BoardIsBlockDevice("/dev/mmcblk1"))
    BoardRunShell("insmod /lib/modules/3.10.14/g_mass_storage.ko luns=2 file=/dev/mmcblk0p3,/dev/mmcblk1  removable=1,1");
  else
    BoardRunShell("insmod /lib/modules/3.10.14/g_mass_storage.ko file=/dev/mmcblk0p3  removable=1");
}

void usbDisconnect(FileBrowser *fb) {
  if (KernelVer == 0x30008) {
    BoardRunShell("echo > /sys/devices/platform/jz-dwc2/dwc2/gadget/gadget-lun1/file");
    BoardRunShell("echo > /sys/devices/platform/jz-dwc2/dwc2/gadget/gadget-lun0/file");
  } else {
    BoardRunShell("rmmod g_mass_storage");
    BoardRunShell("insmod /lib/modules/3.10.14/g_mass_storage.ko file=/home/tdev  removable=1");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  BoardRunShell("mount /dev/mmcblk0p3 /mnt/emmc");
  bool part = BoardIsBlockDevice("/dev/mmcblk1p1") != 0;
  bool exfat = GetSdFsExfat() != 0;
  if (part || BoardIsBlockDevice("/dev/mmcblk1")) {
    const char *dev = part ? "/dev/mmcblk1p1" : "/dev/mmcblk1";
    std::string cmd = std::string(exfat ? "mount.exfat " : "mount ") + dev + " /mnt/sdcard";
    BoardRunShell(cmd.c_str());
  }
  FileBrowserReloadDir(&fb->head);
  fb->usb_connected = 0;
  reload_duoying_file();
  UpGrage(1287);
  FileBrowserShow(&fb->head);
}

void powerOff(FileBrowser *fb) {
  ActivityRemove(&fb->head);
  Entry e = current(fb);
  std::string last = e.name.empty() ? e.dir + "/" : join(e.dir, e.name);
  char *copy = new (std::nothrow) char[last.size() + 1];
  if (copy) {
    std::memcpy(copy, last.c_str(), last.size() + 1);
    delete[] LastPath;
    LastPath = copy;
    LOGI("LastPath=%s\n", LastPath);
  }
  {
    // A paste or delete still running finishes its file first.
    std::unique_lock lock(fb->mutex);
    fb->job_ended.wait(lock, [fb] {
      return std::none_of(fb->jobs.begin(), fb->jobs.end(), [](const auto &j) { return j->phase == 1; });
    });
    fb->closed = true;
    FileOrderListReset(&fb->dirs);
    FileOrderListReset(&fb->files);
  }
  fb->clip_name.clear();
  fb->clip_mode = 0;
  fb->history_path.clear();
  fb->history_name.clear();
  say(kPowerOff, true);
  LoopExit();
}

}  // namespace

// ---- FileOrderList and sorting ----

int FileOrderListAdd(FileOrderList *list, const char *name) {
  if (!list || !name) return -1;
  size_t len = std::strlen(name);
  if (len >= kPathMax) return -1;
  if (list->names_used + len + 1 > list->names.size()) {
    size_t grow = ((list->names_used + len + 1 - list->names.size()) / kNamesStep + 1) * kNamesStep;
    list->names.resize(list->names.size() + grow);
  }
  if (static_cast<size_t>(list->count) >= list->offsets.size()) list->offsets.resize(list->offsets.size() + kOffsetsStep);
  std::memcpy(list->names.data() + list->names_used, name, len + 1);
  list->offsets[static_cast<size_t>(list->count++)] = static_cast<uint32_t>(list->names_used);
  list->names_used += len + 1;
  return 0;
}

void FileOrderListReset(FileOrderList *list) {
  if (!list) return;
  list->names.assign(kNamesStep, '\0');
  list->names.shrink_to_fit();
  list->offsets.assign(kOffsetsStep, 0);
  list->offsets.shrink_to_fit();
  list->names_used = 0;
  list->count = 0;
}

const char *FileOrderListGet(const FileOrderList *list, int i) {
  if (!list || i < 0 || i >= list->count) return nullptr;
  return list->names.data() + list->offsets[static_cast<size_t>(i)];
}

void SortFileByName(FileOrderList *list, int ascending, int (*compare)(const char *, const char *)) {
  if (!list || !compare || list->count < 2) return;
  uint32_t *off = list->offsets.data();
  const char *base = list->names.data();
  int dir = ascending ? 1 : -1;  // compare results are multiplied by it
  auto cmp = [&](uint32_t x, uint32_t y) { return dir * compare(base + x, base + y); };
  for (int i = 1; i < list->count; i++) {
    uint32_t x = off[i];
    int pos;
    if (cmp(x, off[0]) <= 0) {
      pos = 0;
    } else if (cmp(x, off[i - 1]) >= 0) {
      continue;
    } else {
      // off[lo] < x < off[hi] throughout; an equal entry ends the search
      // with x placed after it.
      int lo = 0, hi = i - 1;
      pos = -1;
      while (lo + 1 < hi) {
        int mid = (lo + hi) / 2;
        int r = cmp(x, off[mid]);
        if (r == 0) {
          pos = mid + 1;
          break;
        }
        if (r > 0) lo = mid;
        else hi = mid;
      }
      if (pos < 0) pos = hi;
    }
    std::memmove(off + pos + 1, off + pos, sizeof(uint32_t) * static_cast<size_t>(i - pos));
    off[pos] = x;
  }
}

int LogicalStrCmp(const char *a, const char *b) {
  if (!a || !b) return 0;
  if (!loadTable()) return 0;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
  const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
  bool numbersMet = false;
  for (;;) {
    while (*p == '-') p++;
    while (*q == '-') q++;
    if (!*p) break;
    if (!*q) return 1;
    int la, lb;
    unsigned ca = decodeChar(p, &la), cb = decodeChar(q, &lb);
    if (isDigit(*p) && isDigit(*q)) {
      size_t k = static_cast<size_t>(p - reinterpret_cast<const unsigned char *>(a));
      if (!numbersMet || strncasecmp(a, b, k) == 0) {
        numbersMet = true;
        int r = compareNumbers(p, q);
        if (r) return r;
      }
    }
    unsigned wa = weight(ca), wb = weight(cb);
    if (wa != wb) return wa < wb ? -1 : 1;
    p += la;
    q += lb;
  }
  if (*q) return -1;
  return tieBreak(a, b);
}

void LogicalStrCmpReset(void) {
  std::scoped_lock lock(g_tableMutex);
  g_tableLoaded = false;
}

// ---- Players ----

int FileBrowserRegisterPlayer(int kind, const FileBrowserPlayer *player) {
  if (kind < 0 || kind >= FILE_KINDS) return -1;
  if (player && !player->create) return -1;
  std::scoped_lock lock(g_playersMutex);
  g_players[kind] = player ? *player : FileBrowserPlayer{};
  return 0;
}

namespace {
std::atomic<int> g_openError{-1};  // what a failing player told, -1 nothing
}  // namespace

void FileBrowserOpenFailed(int why) { g_openError = why; }

int FileBrowserTakeOpenError(void) {
  int why = g_openError.exchange(-1);
  return why < 0 ? OPEN_ERROR_FILE_DAMAGED : why;
}

int FileBrowserOpenPlayer(Activity *browser, int kind, int value1, int value2) {
  FileBrowserPlayer p;
  if (!playerOf(kind, &p)) {
    say(kUnsupported, false);
    return -1;
  }
  g_openError = -1;
  Activity *screen = p.create(browser, value1, value2);
  if (!screen) {
    sayText(OpenErrorText(FileBrowserTakeOpenError(), lang()), true);
    return -2;
  }
  ActivitySetActive(screen, 1);
  return 0;
}

// ---- The screen ----

int IsFileBrowser(const Activity *screen) { return screen && screen->key == FileBrowserKey ? 1 : 0; }

Activity *FileBrowserCreate(const char *fullpath) {
  auto fb = std::unique_ptr<FileBrowser>(new (std::nothrow) FileBrowser);
  if (!fb) {
    LOGE("Not enouth memory\n");
    return nullptr;
  }
  fb->head = {"FileBrower", 0, FileBrowserKey, FileBrowserShow, FileBrowserHide, 0, fb.get()};
  FileOrderListReset(&fb->dirs);
  FileOrderListReset(&fb->files);
  std::string path = fullpath ? fullpath : "";
  int rc;
  struct stat st;
  size_t slash = path.rfind('/', path.size() > 1 ? path.size() - 2 : 0);
  int type = GetMoutPointTypeFpath(path.c_str());
  if (path.empty() || lstat(BoardPath(path.c_str()).c_str(), &st) != 0 || slash == std::string::npos ||
      slash == 0) {
    if (!path.empty()) LOGW("stat file %s error\n", path.c_str());
    rc = loadDir(fb.get(), nullptr, nullptr);
  } else if (type >= 0 && IsMountDir(mountPointOf(type)) != 1) {
    // The device it was on is gone.
    rc = loadDir(fb.get(), nullptr, nullptr);
  } else {
    rc = loadFile(fb.get(), path.c_str());
    if (rc != 0) rc = loadDir(fb.get(), nullptr, nullptr);
  }
  if (rc != 0) {
    LOGE("FileOrderListAlloc return error\n");
    return nullptr;
  }
  if (ActivityAdd(&fb->head) != 0) return nullptr;
  if (g_browser) ActivityRemove(&g_browser->head);
  g_browser = std::move(fb);
  MenuBindFunc("MenuCopyFile", MenuCopyFile);
  MenuBindFunc("MenuCutFile", MenuCutFile);
  MenuBindFunc("MenuPasteFile", MenuPasteFile);
  MenuBindFunc("MenuDeleteFile", MenuDeleteFile);
  MenuBindFunc("MenuSendTo", MenuSendTo);
  BookMarkAutoSaveStart();
  return &g_browser->head;
}

int FileBrowserShow(Activity *a) {
  FileBrowser *fb = browserOf(a);
  if (!fb) return -1;
  {
    std::scoped_lock lock(fb->mutex);
    if (fb->closed) return 0;
  }
  // The browser speaks again when a player or list closed over it: a good
  // moment to keep the positions just stored.
  BookMarkFlush();
  checkCurrentDir(fb);
  Entry e = current(fb, true);
  std::string text = entryText(e, e.announce);
  if (!text.empty()) sayText(text, false);
  return 0;
}

int FileBrowserHide(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

int FileBrowserKey(Activity *a, const KeyEvent *key) {
  FileBrowser *fb = browserOf(a);
  if (!fb || !key) return -1;
  int code = key->code;
  if (fb->usb_connected) {
    if (code == VKEY_USBOUT) usbDisconnect(fb);
    else say(kUsbConnecting, false);
    return 0;
  }
  switch (code) {
    case VKEY_UP: case VKEY_DOWN: case VKEY_LEFT: case VKEY_RIGHT:
      moveCursor(fb, code);
      FileBrowserShow(a);
      return 0;
    case VKEY_OK:
      openEntry(fb);
      return 0;
    case VKEY_BACK:
      goUp(fb);
      return 0;
    case VKEY_ESC:
      speakDetail(fb);
      return 0;
    case VKEY_MENU:
      openSystemMenu(fb);
      return 0;
    case VKEY_RECORD:
      activateOrReshow(RecordCreate(a), a);
      return 0;
    case VKEY_MARK:
      activateOrReshow(MarkCreate(a, 0), a);
      return 0;
    case VKEY_MP3:
      activateOrReshow(KeyMp3Create(a), a);
      return 0;
    case VKEY_FM:
      text_sound_stop();
      activateOrReshow(RadioCreate(a), a);
      return 0;
    case VKEY_SDIN:
      loadDir(fb, "/mnt/sdcard", nullptr);
      ItemSetVisable(&FormatSd, 1);
      FileBrowserShow(a);
      return 0;
    case VKEY_SDOUT:
      if (under(current(fb).dir, "/mnt/sdcard")) {
        loadDir(fb, nullptr, nullptr);
        FileBrowserShow(a);
      }
      ItemSetVisable(&FormatSd, 0);
      return 0;
    case VKEY_USBDISKIN:
      loadDir(fb, "/mnt/usb", nullptr);
      ItemSetVisable(&FormatUsbdisk, 0);
      FileBrowserShow(a);
      return 0;
    case VKEY_USBDISKOUT:
      if (under(current(fb).dir, "/mnt/usb")) {
        loadDir(fb, nullptr, nullptr);
        FileBrowserShow(a);
      }
      ItemSetVisable(&FormatUsbdisk, 0);
      return 0;
    case VKEY_USBIN:
      usbConnect(fb);
      return 0;
    case VKEY_USBOUT:
      return 0;
    case VKEY_POWEROFF:
      powerOff(fb);
      return 0;
    case VKEY_AUDIOEND: case VKEY_EBOOKEND: case VKEY_DAISYEND:
      return 0;
    default:
      return 1;
  }
}

int FilebrowserLoadDir(Activity *browser, const char *dir, const char *select_name) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return -1;
  return loadDir(fb, dir, select_name);
}

int FileBrowserLoadFile(Activity *browser, const char *fullpath) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return -1;
  return loadFile(fb, fullpath);
}

int FileBrowserReloadDir(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return -1;
  Entry e = current(fb);
  if (loadDir(fb, e.dir.c_str(), e.name.c_str()) != 0) {
    LOGW("FilebrowserLoadDir return error\n");
    return -1;
  }
  return 0;
}

std::string GetFullPath(Activity *browser, int index) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return "";
  std::scoped_lock lock(fb->mutex);
  const char *name = index < fb->dirs.count ? FileOrderListGet(&fb->dirs, index)
                                            : FileOrderListGet(&fb->files, index - fb->dirs.count);
  if (!name) return "";
  return join(fb->cur_dir, name);
}

int FileBrowserGetCur(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return -1;
  std::scoped_lock lock(fb->mutex);
  return fb->cur;
}

int FileBrowserGetCount(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return -1;
  std::scoped_lock lock(fb->mutex);
  return fb->dirs.count + fb->files.count;
}

std::string FileBrowserCurPath(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  if (!fb) return "";
  Entry e = current(fb);
  return e.name.empty() ? "" : join(e.dir, e.name);
}

std::string FileBrowserCurName(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  return fb ? current(fb).name : "";
}

std::string FileBrowserCurDir(Activity *browser) {
  FileBrowser *fb = browserOf(browser);
  return fb ? current(fb).dir : "";
}

std::vector<int> GetFileList(Activity *browser, int (*predicate)(const char *dir, const char *name)) {
  std::vector<int> out;
  FileBrowser *fb = browserOf(browser);
  if (!fb || !predicate) return out;
  std::string dir;
  std::vector<std::string> names;
  int first;
  {
    std::scoped_lock lock(fb->mutex);
    dir = fb->cur_dir;
    first = fb->dirs.count;
    for (int i = 0; i < fb->files.count; i++) names.emplace_back(FileOrderListGet(&fb->files, i));
  }
  for (size_t i = 0; i < names.size(); i++)
    if (predicate(dir.c_str(), names[i].c_str())) out.push_back(first + static_cast<int>(i));
  return out;
}

// ---- Storage ----

int IsMountDir(const char *path) {
  int r = BoardIsMountPoint(path);
  if (r < 0) LOGW("stat %s error\n", path ? path : "(null)");
  return r;
}

int GetMoutPointTypeFpath(const char *path) {
  if (!path) return -1;
  std::string p = path;
  for (int t = 0; t < 3; t++)
    if (under(p, mountPointOf(t))) return t;
  return -1;
}

int GetMoutPointType(const char *name) {
  if (!name || !*name) return -1;
  switch (name[std::strlen(name) - 1]) {
    case 'c': return 0;
    case 'd': return 1;
    case 'b': return 2;
    default: return -1;
  }
}

int GetMountDeviceSize(int type, unsigned int *total_blocks, unsigned int *free_blocks) {
  const char *mp = mountPointOf(type);
  if (!mp || IsMountDir(mp) != 1) return -1;
  struct statfs fs;
  if (statfs(BoardPath(mp).c_str(), &fs) != 0) {
    LOGW("statfs %s return error!\n", mp);
    return -1;
  }
  if (total_blocks) *total_blocks = static_cast<unsigned int>(fs.f_blocks);
  if (free_blocks) *free_blocks = static_cast<unsigned int>(fs.f_bavail);
  return static_cast<int>(fs.f_bsize);
}

int DoFormating(int type) {
  switch (type) {
    case 0:
      BoardRunShell("umount /mnt/emmc");
      BoardRunShell("/home/mkfs.vfat /dev/mmcblk0p3");
      BoardRunShell("mount /dev/mmcblk0p3  /mnt/emmc");
      return 0;
    case 1: {
      bool part = BoardIsBlockDevice("/dev/mmcblk1p1") != 0;
      bool whole = !part && BoardIsBlockDevice("/dev/mmcblk1") != 0;
      BoardRunShell("umount /mnt/sdcard");
      if (part) {
        BoardRunShell("/home/mkfs.vfat /dev/mmcblk1p1");
        BoardRunShell("mount /dev/mmcblk1p1 /mnt/sdcard");
      } else if (whole) {
        BoardRunShell("/home/mkfs.vfat /dev/mmcblk1");
        BoardRunShell("mount /dev/mmcblk1 /mnt/sdcard");
      } else {
        return -1;
      }
      return 0;
    }
    default:
      return -1;
  }
}

// ---- File commands ----

namespace {

bool cancelled(const FileJob *j) {
  int s = j->state ? j->state->load() : DLG_RUNNING;
  return s == DLG_CANCEL || s == DLG_ABORT || s == DLG_STOP;
}

// Sums the sizes of the regular files under path into total_bytes.
int sumSize(FileJob *j, const std::string &path) {
  if (cancelled(j)) {
    LOGI("Operation  is  canceled\n");
    return -2;
  }
  if (path.size() >= kPathMax) {
    LOGW("source file path too long\n");
    return -1;
  }
  struct stat st;
  if (lstat(BoardPath(path.c_str()).c_str(), &st) != 0) return -1;
  if (S_ISREG(st.st_mode)) {
    j->total_bytes += static_cast<uint64_t>(st.st_size);
    return 0;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  DIR *d = opendir(BoardPath(path.c_str()).c_str());
  if (!d) {
    LOGW("cannot open dir: %s\n", path.c_str());
    return -1;
  }
  int r = 0;
  while (struct dirent *e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    r = sumSize(j, path + "/" + e->d_name);
    if (r < 0) break;
  }
  closedir(d);
  return r;
}

int copyRegular(FileJob *j, const std::string &src, const std::string &dst) {
  int in = open(BoardPath(src.c_str()).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    LOGW("cannot open src file: %s\n", src.c_str());
    return -1;
  }
  struct stat st;
  if (fstat(in, &st) != 0) {
    close(in);
    return -1;
  }
  // Never replaces a file that is there.
  std::string dstMapped = BoardPath(dst.c_str());
  int out = open(dstMapped.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    LOGW("cannot create destion file: %s\n", dst.c_str());
    close(in);
    return -1;
  }
  int r = 0;
  for (;;) {
    ssize_t n = read(in, j->buffer.data(), j->buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      LOGW("read src file:%s error\n", src.c_str());
      r = -1;
      break;
    }
    if (n == 0) break;
    ssize_t off = 0;
    while (off < n) {
      ssize_t w = write(out, j->buffer.data() + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        int err = w < 0 ? errno : ENOSPC;
        LOGW("write dst file:%s error: %s\n", dst.c_str(), std::strerror(err));
        r = err == ENOSPC ? -3 : -1;
        break;
      }
      off += w;
    }
    if (r) break;
    j->done_bytes += static_cast<uint64_t>(n);
    if (j->progress && j->total_bytes)
      j->progress->store(static_cast<int>(j->done_bytes * 100 / j->total_bytes));
    if (cancelled(j)) {
      LOGI("Operation  is  canceled\n");
      r = -2;
      break;
    }
  }
  // A moved file must be on the card before its source goes.
  if (!r && j->mode == 2 && fsync(out) != 0) r = errno == ENOSPC ? -3 : -1;
  if (!r) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
  }
  if (close(out) != 0 && !r) r = errno == ENOSPC ? -3 : -1;
  close(in);
  if (r && unlink(dstMapped.c_str()) != 0) LOGW("unlink: %s error\n", dst.c_str());
  return r;
}

void removeSource(const std::string &path, bool dir) {
  std::string m = BoardPath(path.c_str());
  if ((dir ? rmdir(m.c_str()) : unlink(m.c_str())) != 0)
    LOGW("cannot remove %s: %s\n", path.c_str(), std::strerror(errno));
}

int copyEntry(FileJob *j, const std::string &src, const std::string &dst) {
  if (cancelled(j)) {
    LOGI("Operation  is  canceled\n");
    return -2;
  }
  if (src.size() >= kPathMax) {
    LOGW("source file path too long\n");
    return -1;
  }
  if (dst.size() >= kPathMax) {
    LOGW("destination file path too long\n");
    return -1;
  }
  struct stat st;
  if (lstat(BoardPath(src.c_str()).c_str(), &st) != 0) return -1;
  if (S_ISREG(st.st_mode)) {
    int r = copyRegular(j, src, dst);
    if (!r && j->mode == 2) removeSource(src, false);
    return r;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  if (mkdir(BoardPath(dst.c_str()).c_str(), 0777) != 0) {
    LOGW("cannot make dir: %s\n", dst.c_str());
    return -1;
  }
  DIR *d = opendir(BoardPath(src.c_str()).c_str());
  if (!d) {
    LOGW("cannot open dir: %s\n", src.c_str());
    return -1;
  }
  std::vector<std::string> names;
  while (struct dirent *e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
  closedir(d);
  for (const std::string &n : names) {
    int r = copyEntry(j, src + "/" + n, dst + "/" + n);
    if (r < 0) return r;
  }
  if (j->mode == 2) removeSource(src, true);
  return 0;
}

// Removes path and everything under it, without following links.
int removeTree(const FileJob *j, const std::string &path) {
  struct stat st;
  std::string m = BoardPath(path.c_str());
  if (lstat(m.c_str(), &st) != 0) {
    LOGW("stat file %s error\n", path.c_str());
    return -1;
  }
  if (!S_ISDIR(st.st_mode)) {
    if (unlink(m.c_str()) != 0) {
      LOGW("unlink file %s error\n", path.c_str());
      return -1;
    }
    return 0;
  }
  DIR *d = opendir(m.c_str());
  if (!d) {
    LOGW("cannot open dir %s\n", path.c_str());
    return -1;
  }
  std::vector<std::string> names;
  while (struct dirent *e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.emplace_back(e->d_name);
  if (closedir(d) != 0) {
    LOGW("cannot close dir %s\n", path.c_str());
    return -1;
  }
  for (const std::string &n : names) {
    if (j && cancelled(j)) return -2;
    if (path.size() + 1 + n.size() > 4093) {
      LOGW("full path %s/%s too long\n", path.c_str(), n.c_str());
      return -1;
    }
    int r = removeTree(j, path + "/" + n);
    if (r < 0) return r;
  }
  if (rmdir(m.c_str()) != 0) {
    LOGW("cannot rmdir dir %s\n", path.c_str());
    return -1;
  }
  return 0;
}

int runCopy(FileJob *j) {
  std::string src = join(j->src_dir, j->name);
  std::string dst = join(j->dst_dir, j->name);
  j->total_bytes = j->done_bytes = 0;
  int r = sumSize(j, src);
  if (r < 0) return r;
  int64_t free = BoardFreeBytes(j->dst_dir.c_str());
  if (free >= 0 && static_cast<uint64_t>(free) < j->total_bytes) {
    LOGW("no room for %llu bytes in %s (%lld free)\n", static_cast<unsigned long long>(j->total_bytes),
         j->dst_dir.c_str(), static_cast<long long>(free));
    return -3;
  }
  j->buffer.resize(kCopyBuffer);
  r = copyEntry(j, src, dst);
  j->buffer.clear();
  j->buffer.shrink_to_fit();
  if (r < 0 && j->mode == 1 && j->is_dir && lexists(dst)) {
    // The folder was made by this copy (an existing one stops it at once)
    // and its source is untouched: no half copy stays behind.
    removeTree(nullptr, dst);
  }
  if (r == 0 && j->mode == 1) {
    int fd = open(BoardPath(j->dst_dir.c_str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      syncfs(fd);
      close(fd);
    }
  }
  return r;
}

void jobEnded(FileJob *j) {
  FileBrowser *fb = j->fb;
  {
    std::scoped_lock lock(fb->mutex);
    j->phase = 2;
  }
  fb->job_ended.notify_all();
}

// Starts a job on the browser; false when switched off.
bool jobStart(FileJob *j) {
  std::scoped_lock lock(j->fb->mutex);
  if (j->fb->closed) return false;
  j->phase = 1;
  return true;
}

void pasteWork(void *arg, std::atomic<int> *state) {
  FileJob *j = static_cast<FileJob *>(arg);
  if (!jobStart(j)) return;
  j->state = state;
  int r = runCopy(j);
  FileBrowser *fb = j->fb;
  if (j->send) {
    FileBrowserReloadDir(&fb->head);
  } else if (loadDir(fb, j->dst_dir.c_str(), j->name.c_str()) != 0) {
    LOGW("FilebrowserLoadDir return error\n");
  }
  const char *const *text;
  switch (r) {
    case 0: text = j->send ? kCopyDone : kPasteDone; break;
    case -2:
      text = j->send ? (j->is_dir ? kCopyCancelDir : kCopyCancelFile) : (j->is_dir ? kPasteCancelDir : kPasteCancelFile);
      break;
    case -3: text = kDiskFull; break;
    default: text = kError; break;
  }
  say(text, true);
  jobEnded(j);
}

void deleteWork(void *arg, std::atomic<int> *state) {
  FileJob *j = static_cast<FileJob *>(arg);
  if (!jobStart(j)) return;
  j->state = state;
  FileBrowser *fb = j->fb;
  int r = removeTree(j, join(j->src_dir, j->name));
  if (r == 0) {
    // The entry after the deleted one becomes current.
    std::string next;
    {
      std::scoped_lock lock(fb->mutex);
      int n = fb->dirs.count + fb->files.count;
      int i = n ? (fb->cur + 1) % n : 0;
      const char *name = i < fb->dirs.count ? FileOrderListGet(&fb->dirs, i)
                                            : FileOrderListGet(&fb->files, i - fb->dirs.count);
      if (name) next = name;
    }
    loadDir(fb, j->src_dir.c_str(), next.c_str());
    say(j->is_dir ? kDirDeleted : kFileDeleted, true);
  } else if (r == -2) {
    say(j->is_dir ? kDeleteCancelDir : kDeleteCancelFile, true);
  } else {
    FileBrowserReloadDir(&fb->head);
    say(kError, true);
  }
  jobEnded(j);
}

char *copyInfo(char *buffer, int size, int arg, int language) {
  return getCopyProcessString(buffer, size, arg < 0 ? 0 : arg, language);
}

// A new job in the browser's list; jobs that ended are forgotten.
FileJob *newJob(FileBrowser *fb) {
  auto j = std::unique_ptr<FileJob>(new (std::nothrow) FileJob);
  if (!j) return nullptr;
  j->fb = fb;
  std::scoped_lock lock(fb->mutex);
  fb->jobs.remove_if([](const std::unique_ptr<FileJob> &x) { return x->phase == 2; });
  fb->jobs.push_back(std::move(j));
  return fb->jobs.back().get();
}

int runDialog(FileBrowser *fb, FileJob *j, int state, const char *t1, const char *t2, const char *t3,
              void (*work)(void *, std::atomic<int> *), bool progress) {
  DialogBox *box = NewDialogBox();
  if (!box) {
    LOGE("NewDialogBox return NULL\n");
    say(kError, false);
    return -1;
  }
  box->text[0] = t1;
  box->text[1] = t2;
  box->text[2] = t3;
  box->state = state;
  box->key_mode = 0;
  box->work = work;
  box->work_arg = j;
  if (progress) {
    box->info = copyInfo;
    box->info_arg = 0;
    j->progress = &box->info_arg;
  }
  int r = DailogBoxRun(box);
  if (r != 0) {
    LOGE("DailogBoxRun return error: %d\n", r);
    say(kError, false);
    return -1;
  }
  return 0;
}

FileBrowser *contextBrowser(void *context) { return browserOf(static_cast<Activity *>(context)); }

int markEntry(void *context, int mode) {
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return -1;
  Entry e = current(fb);
  if (e.depth < 2 || e.name.empty()) {
    LOGW(mode == 1 ? "root dir, disable copying \n" : "root dir, disable cutting \n");
    say(kError, false);
    return -1;
  }
  fb->clip_dir = e.dir;
  fb->clip_name = e.name;
  fb->clip_is_dir = e.is_dir;
  fb->clip_mode = mode;
  sayText(std::string((mode == 1 ? kCopyMark : kCutMark)[lang()]) + e.name, false);
  return 0;
}

// A same-device cut: one rename by the system's mv.
int moveSameDevice(FileBrowser *fb, const std::string &dst) {
  std::string cmd = "mv " + shellQuote(join(fb->clip_dir, fb->clip_name)) + "  " + shellQuote(dst);
  if (cmd.size() >= kPathMax) {
    LOGW("command to long\n");
    say(kError, false);
    return -1;
  }
  int rc = BoardRunShell(cmd.c_str());
  bool ok = rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
  loadDir(fb, dst.c_str(), fb->clip_name.c_str());
  say(ok ? kPasteDone : kError, true);
  ActivityReshow(GetCurrentActivity());
  return ok ? 0 : -1;
}

}  // namespace

int MenuCopyFile(void *context, int value, int preview) { return preview ? 0 : markEntry(context, 1); }
int MenuCutFile(void *context, int value, int preview) { return preview ? 0 : markEntry(context, 2); }

int MenuPasteFile(void *context, int value, int preview) {
  if (preview) return 0;
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return -1;
  Entry e = current(fb);
  std::string src = join(fb->clip_dir, fb->clip_name);
  std::string dst = join(e.dir, fb->clip_name);
  bool refuse = false;
  if (!fb->clip_mode) {
    refuse = true;
  } else if (e.depth < 2) {
    LOGW("root dir, desable deleting\n");
    refuse = true;
  } else if (fb->clip_dir.empty() || fb->clip_dir[0] != '/' || e.dir.empty() || e.dir[0] != '/' ||
             src.size() >= kPathMax || dst.size() >= kPathMax) {
    refuse = true;
  } else if (under(e.dir, src.c_str())) {
    LOGW("cannot copy: %s to it's subdir: %s\n", src.c_str(), e.dir.c_str());
    refuse = true;
  } else if (!lexists(src)) {
    LOGW("%s is gone\n", src.c_str());
    refuse = true;
  } else if (lexists(dst)) {
    // Also a paste into the folder that holds the entry: it stays as it is.
    LOGW("%s exists, not replaced\n", dst.c_str());
    refuse = true;
  }
  if (refuse) {
    say(kError, false);
    return -1;
  }
  if (fb->clip_mode == 2) {
    // The same device: the source's first three components start cur_dir.
    size_t third = src.find('/', src.find('/', 1) + 1);
    std::string device = src.substr(0, third);
    if (third != std::string::npos && under(e.dir, device.c_str())) return moveSameDevice(fb, e.dir);
  }
  FileJob *j = newJob(fb);
  if (!j) {
    LOGE("Not enough memory!\n");
    say(kError, false);
    return -1;
  }
  j->src_dir = fb->clip_dir;
  j->name = fb->clip_name;
  j->dst_dir = e.dir;
  j->is_dir = fb->clip_is_dir != 0;
  j->mode = fb->clip_mode;
  int lg = lang();
  return runDialog(fb, j, DLG_RUNNING, nullptr, (j->is_dir ? kPastingDir : kPastingFile)[lg],
                   (j->is_dir ? kPasteCancelDir : kPasteCancelFile)[lg], pasteWork, true);
}

int MenuSendTo(void *context, int value, int preview) {
  if (preview) return 0;
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return -1;
  Entry e = current(fb);
  if (e.depth < 2 || e.name.empty()) {
    LOGW("root dir, disable copying \n");
    say(kError, false);
    return -1;
  }
  int type = GetMoutPointTypeFpath(e.dir.c_str());
  const char *target = type == 0 ? "/mnt/sdcard" : type == 1 ? "/mnt/emmc" : nullptr;
  if (!target) {
    LOGW("GetMoutPointType return %d\n", type);
    return 0;
  }
  if (lexists(join(target, e.name))) {
    LOGW("%s/%s exists, not replaced\n", target, e.name.c_str());
    say(kError, false);
    return -1;
  }
  FileJob *j = newJob(fb);
  if (!j) {
    LOGE("Not enough memory!\n");
    say(kError, false);
    return -1;
  }
  j->src_dir = e.dir;
  j->name = e.name;
  j->dst_dir = target;
  j->is_dir = e.is_dir;
  j->mode = 1;
  j->send = true;
  int lg = lang();
  return runDialog(fb, j, DLG_RUNNING, nullptr, (j->is_dir ? kCopyingDir : kCopyingFile)[lg],
                   (j->is_dir ? kCopyCancelDir : kCopyCancelFile)[lg], pasteWork, true);
}

int MenuDeleteFile(void *context, int value, int preview) {
  if (preview) return 0;
  FileBrowser *fb = contextBrowser(context);
  if (!fb) return -1;
  Entry e = current(fb);
  if (e.depth < 2 || e.name.empty()) {
    LOGW("root dir, desable deleting\n");
    say(kError, false);
    return -1;
  }
  FileJob *j = newJob(fb);
  if (!j) {
    LOGE("Not enough memory!\n");
    say(kError, false);
    return -1;
  }
  j->src_dir = e.dir;
  j->name = e.name;
  j->is_dir = e.is_dir;
  int lg = lang();
  return runDialog(fb, j, DLG_WAIT_OK, (e.is_dir ? kAskDeleteDir : kAskDeleteFile)[lg],
                   (e.is_dir ? kDeletingDir : kDeletingFile)[lg], (e.is_dir ? kDeleteCancelDir : kDeleteCancelFile)[lg],
                   deleteWork, false);
}
