// The file browser: the bottom screen, created once at start-up and alive
// until the device is switched off. For now it walks the entries of one
// folder and speaks their names; MENU opens the system menu; POWEROFF ends
// the program.
#include "core/filebrowser.h"

#include "board/board.h"
#include "core/app.h"
#include "core/log.h"
#include "core/loop.h"
#include "core/menu.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/filebrowser.c";
constexpr char kRoot[] = "/mnt/emmc";

struct FileBrowser {
  Activity head;  // first: the stack holds &head
  std::string dir;
  std::vector<std::string> names;
  int current = 0;
};

FileBrowser *self(Activity *a) { return static_cast<FileBrowser *>(a->data); }

void loadDir(FileBrowser *fb, const std::string &want) {
  fb->names.clear();
  fb->current = 0;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(BoardPath(fb->dir.c_str()), ec))
    fb->names.push_back(e.path().filename().string());
  std::sort(fb->names.begin(), fb->names.end());
  auto it = std::find(fb->names.begin(), fb->names.end(), want);
  if (it != fb->names.end()) fb->current = static_cast<int>(it - fb->names.begin());
}

// A mount point lies on another device than its parent.
bool isMountDir(const char *path) {
  struct stat own, parent;
  std::string p = BoardPath(path);
  if (stat(p.c_str(), &own) != 0 || stat((p + "/..").c_str(), &parent) != 0) return false;
  return own.st_dev != parent.st_dev;
}

bool under(const std::string &dir, const char *root) {
  size_t n = std::strlen(root);
  return dir.compare(0, n, root) == 0 && (dir.size() == n || dir[n] == '/');
}

// The system menu offers sending to the other storage device only when that
// one is mounted.
void openSystemMenu(FileBrowser *fb) {
  ItemSetVisable(&SendToSd, under(fb->dir, "/mnt/emmc") && isMountDir("/mnt/sdcard"));
  ItemSetVisable(&SendToEmmc, under(fb->dir, "/mnt/sdcard") && isMountDir("/mnt/emmc"));
  is_menu = 0;
  Activity *menu = MenuCreate1(&fb->head, &SystemMenu, nullptr, nullptr, &fb->head, 0);
  if (menu) ActivitySetActive(menu, 1);
}

int FileBrowserShow(Activity *a) {
  if (!a) return -1;
  FileBrowser *fb = self(a);
  if (fb->names.empty()) {
    text_sound_insert(MLanguageSetting == 0 ? "空文件夹" : "Empty folder");
    return 0;
  }
  text_sound_insert(fb->names[static_cast<size_t>(fb->current)].c_str());
  return 0;
}

int FileBrowserHide(Activity *a) {
  if (!a) return -1;
  a->active = 0;
  return 0;
}

void powerOff(FileBrowser *fb) {
  ActivityRemove(&fb->head);
  std::string last = fb->dir;
  if (!fb->names.empty()) last += "/" + fb->names[static_cast<size_t>(fb->current)];
  delete[] LastPath;
  LastPath = new char[last.size() + 1];
  std::memcpy(LastPath, last.c_str(), last.size() + 1);
  LOGI("LastPath=%s\n", LastPath);
  wait_text_sound_end(text_sound_insert(MLanguageSetting == 0 ? "正在关机" : "Power off"));
  delete fb;
  LoopExit();
}

int FileBrowserKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  FileBrowser *fb = self(a);
  int n = static_cast<int>(fb->names.size());
  switch (key->code) {
    case VKEY_UP:
    case VKEY_LEFT:
      if (n) fb->current = (fb->current + n - 1) % n;
      FileBrowserShow(a);
      return 0;
    case VKEY_DOWN:
    case VKEY_RIGHT:
      if (n) fb->current = (fb->current + 1) % n;
      FileBrowserShow(a);
      return 0;
    case VKEY_ESC:
      FileBrowserShow(a);
      return 0;
    case VKEY_MENU:
      openSystemMenu(fb);
      return 0;
    case VKEY_POWEROFF:
      powerOff(fb);
      return 0;
    default:
      return 1;
  }
}

}  // namespace

Activity *FileBrowserCreate(const char *path) {
  FileBrowser *fb = new (std::nothrow) FileBrowser;
  if (!fb) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  fb->head = {"FileBrowser", 0, FileBrowserKey, FileBrowserShow, FileBrowserHide, 0, fb};
  // The folder of the last path, or the internal card.
  std::string dir = kRoot;
  std::string want;
  if (path && *path) {
    std::filesystem::path p(path);
    std::error_code ec;
    if (std::filesystem::is_directory(BoardPath(p.parent_path().c_str()), ec)) {
      dir = p.parent_path().string();
      want = p.filename().string();
    }
  }
  fb->dir = dir;
  loadDir(fb, want);
  if (ActivityAdd(&fb->head) != 0) {
    delete fb;
    return nullptr;
  }
  return &fb->head;
}

void FileBrowserReloadDir(Activity *browser) {
  if (!browser || browser->key != FileBrowserKey) return;
  FileBrowser *fb = self(browser);
  std::string keep = fb->names.empty() ? std::string() : fb->names[static_cast<size_t>(fb->current)];
  loadDir(fb, keep);
}

int DoFormating(int type) {
  switch (type) {
    case 0:
      BoardRunShell("umount /mnt/emmc");
      BoardRunShell("/home/mkfs.vfat /dev/mmcblk0p3");
      BoardRunShell("mount /dev/mmcblk0p3  /mnt/emmc");
      return 0;
    case 1: {
      std::error_code ec;
      bool part = std::filesystem::exists(BoardPath("/dev/mmcblk1p1"), ec);
      bool whole = !part && std::filesystem::exists(BoardPath("/dev/mmcblk1"), ec);
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
