// The file browser screen: listing and speaking, walking the tree, opening
// files in their players and USB mass-storage mode. The name order lives in
// file_order.cpp, the file commands in file_ops.cpp, the devices in
// storage.cpp.
//
// One browser record exists at a time (g_browser); it outlives its place on
// the stack, because a worker dialog that is ending may still re-show the
// screen it found on top, so power-off only empties it. The listing fields
// are guarded by FileBrowser::mutex (see filebrowser.h).
#include "core/library/filebrowser.h"

#include "core/library/filebrowser_record.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/library/bookmark_screens.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "core/runtime/machine.h"
#include "core/ui/menu.h"
#include "core/library/keymp3.h"
#include "core/library/upgrade.h"
#include "core/clock/systime.h"
#include "radio/radio.h"
#include "record/record.h"
#include "core/runtime/vkey.h"
#include "ebook/charset.h"
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

using namespace browser;

namespace {

constexpr char kLogSource[] = "core/filebrowser.c";
constexpr char kRoot[] = "/mnt";

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
  return charset_name_text(name.c_str());
}

}  // namespace

namespace browser {

void say(const char *const *pair, bool wait) {
  int h = text_sound_insert(pair[PromptLanguage()]);
  if (wait) wait_text_sound_end(h);
}

void sayText(const std::string &text, bool wait) {
  int h = text_sound_insert(text.c_str());
  if (wait) wait_text_sound_end(h);
}

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


std::string join(const std::string &dir, const std::string &name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
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

FileBrowser *browserOf(Activity *a) {
  return a && a->key == FileBrowserKey ? static_cast<FileBrowser *>(a->data) : nullptr;
}

Entry current(FileBrowser *fb, bool takeAnnounce) {
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

}  // namespace browser

namespace {

std::unique_ptr<FileBrowser> g_browser;  // the one browser; replaced only by a new FileBrowserCreate

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
  int lg = PromptLanguage();
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
  int lg = PromptLanguage();
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
  // A name another device wrote in GBK or Big5 is heard as its text.
  const std::string name = charset_name_text(e.name.c_str());
  if (e.is_dir) {
    if (announce) return std::string(kRootDir[lg]) + ". " + name + ". " + kFolder[lg];
    return name + ". " + kFolder[lg];
  }
  std::string path = join(e.dir, e.name);
  if (e.daisy) return daisyTitle(path, e.name);
  struct stat st;
  if (stat(BoardPath(path.c_str()).c_str(), &st) != 0) {
    LOGW("stat file %s error\n", path.c_str());
    return name;
  }
  return sizeText(name, st.st_size);
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
    if (e.depth == 2) text = std::string(kRootDir[PromptLanguage()]) + ",";
    text += entryText(e, false);
    char info[256] = "";
    CurTotalFileInfoStr(e.index + 1, e.total, info, sizeof info, PromptLanguage());
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
  UpTime();
  UpGrage(1287);
  FileBrowserShow(&fb->head);
}

// LastPath becomes the current entry: where the browser opens at the next
// start (and, with ContinueLastFile, the file it reopens).
void keepPlace(FileBrowser *fb) {
  Entry e = current(fb);
  std::string last = e.name.empty() ? e.dir + "/" : join(e.dir, e.name);
  if (LastPath && last == LastPath) return;
  char *copy = new (std::nothrow) char[last.size() + 1];
  if (copy) {
    std::memcpy(copy, last.c_str(), last.size() + 1);
    delete[] LastPath;
    LastPath = copy;
    LOGI("LastPath=%s\n", LastPath);
  }
}

void powerOff(FileBrowser *fb) {
  ActivityRemove(&fb->head);
  keepPlace(fb);
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
  say(pwroff_tone ? kRebooting : kPowerOff, true);
  LoopExit();
}
}  // namespace

// ---- Players ----

const char *FileBrowserNotInsertedText(int type) {
  const char *const *pair = notInserted(type);
  return pair ? pair[PromptLanguage()] : nullptr;
}

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
    const char *why = p.open_error ? p.open_error(PromptLanguage()) : nullptr;
    sayText(why ? why : OpenErrorText(FileBrowserTakeOpenError(), PromptLanguage()), true);
    return -2;
  }
  ActivitySetActive(screen, 1);
  // Saved with the settings from now on: a power cut reopens it too.
  ContinueLastFile = kind == FILE_KIND_DAISY ? 3 : 2;
  return 0;
}

void FileBrowserKeepPlace(void) {
  FileBrowser *fb = g_browser.get();
  if (!fb) return;
  {
    std::scoped_lock lock(fb->mutex);
    if (fb->closed) return;
  }
  keepPlace(fb);
}

// ---- The screen ----

int IsFileBrowser(const Activity *screen) { return screen && screen->key == FileBrowserKey ? 1 : 0; }

Activity *FileBrowserCreate(const char *fullpath) {
  FileOpsRecover();
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
  } else if (type >= 0 && IsMountDir(MountPointOf(type)) != 1) {
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

int FileBrowserReturn(bool passOn, int next) {
  if (passOn) {
    ContinueLastFile = next;
    return 1;
  }
  ContinueLastFile = 0;
  ActivityReshow(GetCurrentActivity());
  return 0;
}

int FileBrowserHide(Activity *a) { return ActivityHideScreen(a); }

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
      activateOrReshow(RecordCreate(a, 0), a);
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
