// The music key's screens: the entry screen (the bare head, the browser in
// its spare word) and the history list (head plus count and cursor in one
// block). The list reads the audio history in place and owns nothing but
// its own block; each screen frees itself when it closes.
#include "core/library/keymp3.h"

#include "audio/player.h"
#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/log.h"
#include "core/library/bookmark.h"
#include "core/library/filebrowser.h"
#include "info/info.h"
#include "speech/text_sound.h"

#include <cstdio>
#include <new>
#include <string>
#include <sys/stat.h>

namespace {

constexpr char kLogSource[] = "core/keymp3.c";

const char *const KeyMp3InfoStr[2] = {"最近听过的音频", "Recently played"};
const char *const KeyMp3NoInfoStr[2] = {"没有最近听过的音频", "No recently played"};
const char *const KeyMp3Dir[2] = {"音频", "AUDIO"};

constexpr int kAudioHistory = 1;  // mark type of the audio history


struct KeyHistory {
  Activity head;  // first: the stack holds &head; browser in head.reserved
  int count;      // marks in the history when the list was made
  int cursor;
};

Activity *browserOf(const Activity *a) { return reinterpret_cast<Activity *>(a->reserved); }

void closeScreen(Activity *a) {
  ActivityRemove(a);
  delete a;
}

void closeList(KeyHistory *h) {
  ActivityRemove(&h->head);
  delete h;
}

void reshowTop() { ActivityReshow(GetCurrentActivity()); }

// OK on the entry screen: it gives way to the history list.
void openList(Activity *entry) {
  Activity *browser = browserOf(entry);
  closeScreen(entry);
  KeyHistory *h = new (std::nothrow) KeyHistory;
  if (!h) {
    LOGW("Not enough memory\n");
    return;
  }
  h->head = {"KeyHistory", 0, KeyHistoryKey, KeyHistoryShow, KeyHistoryHide,
             reinterpret_cast<long>(browser), &h->count};
  h->count = MarkArryTotal(kAudioHistory);
  h->cursor = 0;
  if (ActivityAdd(&h->head) != 0) {
    delete h;
    return;
  }
  ActivitySetActive(&h->head, 1);
}

// OK on the history list: the file of the mark under the cursor plays from
// its stored position, with the browser moved onto it.
void openMark(KeyHistory *h) {
  Activity *browser = browserOf(&h->head);
  const Mark *m = MarkArryGet(kAudioHistory, h->cursor);
  closeList(h);
  if (!m || m->items.empty() || m->path.empty()) {
    LOGW("bookmark error!\n");
    reshowTop();
    return;
  }
  // Copies: the store may change under the player's feet.
  const std::string path = m->path;
  const int ms = m->items[0].timeoffset;
  struct stat st;
  if (stat(BoardPath(path.c_str()).c_str(), &st) != 0) {
    if (CfgDebugBookmark) LOGI("stat: %s return error\n", path.c_str());
    reshowTop();
    return;
  }
  if (CfgDebugBookmark) LOGI("mk->fpath=%s\n", path.c_str());
  if (FileBrowserLoadFile(browser, path.c_str()) < 0) std::printf("FileBrowserLoadFile return error\n");
  if (CfgDebugBookmark) {
    LOGI("[1]mk->fpath=%s\n", path.c_str());
    LOGI("time = %d\n", ms);
  }
  Activity *player = AudioPlayerCreate(browser, path.c_str(), ms);
  if (!player) {
    // A damaged file: the user hears why before the browser speaks again.
    wait_text_sound_end(text_sound_insert(OpenErrorText(FileBrowserTakeOpenError(), PromptLanguage())));
    reshowTop();
    return;
  }
  text_sound_stop();
  ActivitySetActive(player, 1);
}

}  // namespace

Activity *KeyMp3Create(Activity *browser) {
  if (!browser) return nullptr;
  Activity *a = new (std::nothrow) Activity;
  if (!a) {
    LOGW("Not enough memory\n");
    return nullptr;
  }
  *a = {"KeyMp3", 0, KeyMp3Key, KeyMp3Show, KeyMp3Hide, reinterpret_cast<long>(browser), nullptr};
  if (ActivityAdd(a) != 0) {
    delete a;
    return nullptr;
  }
  return a;
}

int KeyMp3Show(Activity *screen) {
  if (!screen) return -1;
  text_sound_insert(KeyMp3InfoStr[PromptLanguage()]);
  return 0;
}

int KeyMp3Hide(Activity *screen) { return ActivityHideScreen(screen); }

int KeyMp3Key(Activity *screen, const KeyEvent *key) {
  if (!screen || !key) return -1;
  if (key->code < VKEY_BACK || key->code > VKEY_POWEROFF) return 1;
  switch (key->code) {
    case VKEY_BACK:
      closeScreen(screen);
      reshowTop();
      return 0;
    case VKEY_ESC:
      ActivityReshow(screen);
      return 0;
    case VKEY_UP:
    case VKEY_DOWN:
    case VKEY_LEFT:
    case VKEY_RIGHT: {
      char dir[256];
      std::snprintf(dir, sizeof dir, "%s/%s", "/mnt/emmc", KeyMp3Dir[PromptLanguage()]);
      // Deliberately ignored: without the folder the browser stays put.
      FilebrowserLoadDir(browserOf(screen), dir, nullptr);
      closeScreen(screen);
      reshowTop();
      return 0;
    }
    case VKEY_OK:
      openList(screen);
      return 0;
    case VKEY_POWEROFF:
      closeScreen(screen);
      return 1;
    default:
      return 1;
  }
}

int KeyHistoryShow(Activity *screen) {
  if (!screen) return -1;
  const KeyHistory *h = reinterpret_cast<KeyHistory *>(screen);
  if (h->count < 1) {
    text_sound_insert(KeyMp3NoInfoStr[PromptLanguage()]);
    return 0;
  }
  const Mark *m = MarkArryGet(kAudioHistory, h->cursor);
  if (!m || m->items.empty()) return -1;
  char when[256], text[4096];
  SecondToStr(m->items[0].timeoffset / 1000, when, sizeof when, PromptLanguage());
  std::snprintf(text, sizeof text, "%s, %s", m->title.c_str(), when);
  text_sound_insert(text);
  return 0;
}

int KeyHistoryHide(Activity *screen) { return ActivityHideScreen(screen); }

int KeyHistoryKey(Activity *screen, const KeyEvent *key) {
  if (!screen || !key) return -1;
  if (key->code < VKEY_BACK || key->code > VKEY_MP3) return 1;
  KeyHistory *h = reinterpret_cast<KeyHistory *>(screen);
  switch (key->code) {
    case VKEY_BACK:
      closeList(h);
      reshowTop();
      return 0;
    case VKEY_ESC:
      ActivityReshow(screen);
      return 0;
    case VKEY_RECORD:
    case VKEY_SDIN:
    case VKEY_USBDISKIN:
    case VKEY_USBIN:
    case VKEY_POWEROFF:
    case VKEY_MP3:
      closeList(h);
      return 1;
    case VKEY_UP:
    case VKEY_LEFT:
      if (h->count > 0) h->cursor = h->cursor == 0 ? h->count - 1 : h->cursor - 1;
      ActivityReshow(screen);
      return 0;
    case VKEY_DOWN:
    case VKEY_RIGHT:
      if (h->count > 0) h->cursor = h->cursor + 1 >= h->count ? 0 : h->cursor + 1;
      ActivityReshow(screen);
      return 0;
    case VKEY_OK:
      openMark(h);
      return 0;
    default:
      return 1;
  }
}
