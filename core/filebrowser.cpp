// The file browser: the bottom screen, created once at start-up and alive
// until the device is switched off. For now it walks the entries of one
// folder and speaks their names; POWEROFF ends the program.
#include "core/filebrowser.h"

#include "board/board.h"
#include "core/app.h"
#include "core/log.h"
#include "core/loop.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
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
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(BoardPath(dir.c_str()), ec))
    fb->names.push_back(e.path().filename().string());
  std::sort(fb->names.begin(), fb->names.end());
  auto it = std::find(fb->names.begin(), fb->names.end(), want);
  if (it != fb->names.end()) fb->current = static_cast<int>(it - fb->names.begin());
  if (ActivityAdd(&fb->head) != 0) {
    delete fb;
    return nullptr;
  }
  return &fb->head;
}
