// The music player screen. One heap record (Player) holds the screen head,
// the play list (full paths), the audio object "AUDIO" and the writer's
// buffers; it lives from AudioPlayerCreate until the player is left.
//
// Threads and ownership: keys, menus and the input box run on the key
// distribution thread and own the record. The decoder thread runs the writer
// (AudioWritePcm) and the end notice (AudioFileEnd); they use `pcm` and
// `bSent`. The key thread touches `pcm` and the tempo processor's contents only
// while the decoder thread is parked (after AudioPause, checked by `ended`
// being 0) or joined (after AudioClose). This file has no lock; the end
// notice reaches the key thread as the AUDIOEND key.
#include "audio/player.h"

#include "audio/ffaudio.h"
#include "audio/pcm_out.h"
#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/ui/inputbox.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "core/library/bookmark.h"
#include "core/library/filebrowser.h"
#include "core/clock/alarm.h"
#include "core/clock/sleep_timer.h"
#include "ebook/charset.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/text_sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

namespace {

constexpr char kLogSource[] = "audio/player.c";

constexpr int kNoMark = 0x7fffffff;    // end mark B when none is set
constexpr int kLongJumpMs = 1800000;   // jumps this long speak a notice first ...
constexpr int kLongFileMs = 3600000;   // ... in files this long
constexpr int kDefaultStepS = 10;

// The classic list, then the other audio containers the decoder opens
// (Matroska and WebM audio, Ogg Opus and FLAC, raw AAC and AC-3, AIFF, ...).
const char *const kExtensions[] = {"mp3", "wav", "wma", "flac", "ape", "acc",  "ogg",  "ra",  "m4a",
                                   "rm",  "rmvb", "avi", "mp4", "3gp", "mov", "wmv",  "flv",  "mpg", "mpeg",
                                   "dat", "f4v", "vob", "mkv", "mka", "webm", "opus", "oga",  "aac", "m4b",
                                   "ac3", "mp2", "aif", "aiff", "au", "amr", "wv",   "caf",  "ts",  "m4v"};

const char *const kPause[2] = {"暂停", "pause"};
const char *const kJumping[2] = {"正在跳转，需要等待较长时间", "Jumping, please wait ..."};
const char *const kMarkAdded[2] = {"已增加书签", "add book mark"};


struct Player {
  Activity head{};
  Activity *browser = nullptr;  // borrowed; moved along with the player
  Audio *audio = nullptr;       // owned
  std::vector<std::string> files;  // full paths of the play list
  int cur = 0;                  // index in files
  bool opened = false;          // files[cur] is open in audio
  bool endHandled = false;      // the current file's end was acted upon
  bool menuPaused = false;      // a menu or the input box paused the music
  int startMs = 0;              // where the current file was opened
  int emptyRun = 0;             // files in a row that ended without a sound
  int savedShutdown = 0;        // auto power-off state before the player
  int opens = 0;                // files opened so far: the sleep timer's track number
  int keptMs = -1;              // the position last written to the history
  // Decoder thread; the key thread only while it is parked or joined.
  PcmOut pcm;                       // the writer's way to the device
  std::atomic<bool> bSent{false};   // the end notice for B went out
  // The decoder thread set `ended` before it sends its tail to the device;
  // this is set once the tail went out, just before the thread's own end
  // notice. Until then the file's end cannot be judged (was it silent?).
  std::atomic<bool> drained{false};
};

Player *playerOf(Activity *a) { return a && a->key == AudioKey ? static_cast<Player *>(a->data) : nullptr; }
Player *playerOf(Audio *a) { return static_cast<Player *>(a->data); }

std::string baseName(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string &currentPath(const Player *p) { return p->files[static_cast<size_t>(p->cur)]; }

int64_t durationMs(const Audio *a) {
  if (!a->ff_ctx || a->ff_ctx->duration == kNoDuration) return -1;
  return a->ff_ctx->duration / 1000;
}

void say(const char *const *text) { text_sound_insert(text[PromptLanguage()]); }

// Says a prompt and waits until it has been heard: the music stays quiet
// until then (a prompt said while it plays would lose the device to it).
void sayFirst(const char *const *text) { wait_text_sound_end(text_sound_insert(text[PromptLanguage()])); }

// Why the last file could not be opened, as the user hears it.
int openErrorOf(const Audio *a) {
  return a->open_error == AUDIO_OPEN_UNSUPPORTED ? OPEN_ERROR_FORMAT_CANNOT_BE_READ : OPEN_ERROR_FILE_DAMAGED;
}
void sayOpenError(int why) { text_sound_insert(OpenErrorText(why, PromptLanguage())); }

// ---- the decoder thread's side ----

// The end notice: the key thread decides what the end means (the file's
// end, or B passed). Nothing after a close.
void notifyEnd(Audio *a) {
  if (a->state.load() == AUDIO_STOP) return;
  SendVKey(VKEY_AUDIOEND);
}

// The writer: volume, tempo, 4096-byte blocks to the device, the position in
// file time, and the end notice once the position reaches B.
int AudioWritePcm(Audio *a, int bytes) {
  if (!a || !a->ff_ctx || bytes < 1) return 0;
  Player *p = playerOf(a);
  const int ch = a->ff_ctx->out_channels;
  const int frames = bytes / 2 / ch;
  if (frames < 1) return 0;
  VolumeSetMain(0);
  PcmOutWrite(&p->pcm, a, a->ff_ctx->m_AudioBuf, frames, ch);
  if (CfgDebugAudio) {
    int ms = a->pos_ms.load();
    std::printf("%02d:%02d  %03d\r", ms / 60000, ms / 1000 % 60, ms % 1000);
  }
  if (a->pos_ms.load() >= a->end_ms.load() && !p->bSent.exchange(true)) notifyEnd(a);
  return 0;
}

// Prepares the device for the file's format.
int AudioSetParam(Audio *a, int rate, int channels) {
  int r = sound_set(a->sound_handle, rate, channels);
  if (r < 0) LOGE("sound_set return %d\n", r);
  return r;
}

// The decoder thread has ended. At the file's end the tempo processor's
// tail and the last part block still go to the device before the notice.
int AudioFileEnd(Audio *a) {
  if (a->state.load() == AUDIO_STOP) return 0;
  Player *p = playerOf(a);
  PcmOutDrain(&p->pcm, a, a->ff_ctx ? a->ff_ctx->out_channels : 1);
  p->drained = true;
  notifyEnd(a);
  return 0;
}

// ---- the key thread's side ----

// Drops what the writer holds for the old position. The decoder thread must
// be parked or gone.
void dropPending(Player *p) {
  PcmOutDrop(&p->pcm);
  p->bSent = false;
}

// The resume position of a file from the audio history, 0 without one.
int AudioLoadAutoMark(const std::string &path) {
  std::string name = baseName(path);
  int ms = 0;
  int index = MarkFind(1, path.c_str(), name.c_str());
  if (index >= 0) {
    const Mark *m = MarkArryGet(1, index);
    if (m && !m->items.empty()) ms = std::max(m->items[0].timeoffset, 0);
  }
  if (CfgDebugAudio) LOGD("%s, Find history: time=%d\n", path.c_str(), ms);
  std::printf("[---Audio---]:%s, time=%d\n", path.c_str(), ms);
  return ms;
}

void storeHistory(Player *p, int ms) {
  if (!p->opened) return;
  const std::string &path = currentPath(p);
  int r = MarkAddItem(1, path.c_str(), baseName(path).c_str(), nullptr, nullptr, std::max(ms, 0), 0);
  if (r < 0) LOGE("MarkAddItem return %d\n", r);
}

// The position keeper's tick (key thread): a place that moved since the
// last tick goes into the history and is written at once, so a power cut
// loses a tick or two of listening, not the whole session.
void keepPosition(void *context) {
  Player *p = static_cast<Player *>(context);
  if (!p->opened) return;
  const int ms = p->audio->pos_ms.load();
  if (ms == p->keptMs) return;
  p->keptMs = ms;
  storeHistory(p, ms);
  BookMarkSaveNow();
}

// Opens the current file at start_ms on stream. Returns 0, or -1 with
// nothing open.
int AudioOpenFile(Player *p, int start_ms, int stream) {
  Audio *a = p->audio;
  const std::string &path = currentPath(p);
  if (CfgDebugAudio) LOGD("audio play: %s\n", path.c_str());
  a->a_ms = 0;
  a->end_ms = kNoMark;
  a->spare = 0;
  ItemSetValue(&AudioABrepeat, 0);
  int preset = 0;
  if (ItemGetValue(&AudioPlayScape, nullptr, &preset) < 0) {
    LOGE("MenuItemGetValue return error!\n");
    preset = 0;
  }
  dropPending(p);
  p->pcm.sounded = false;
  p->drained = false;
  p->endHandled = false;
  int r = AudioOpen(a, path.c_str(), start_ms, stream, preset);
  if (r != 0) {
    LOGE("AudioOpen return %d\n", r);
    p->opened = false;
    return -1;
  }
  p->opened = true;
  p->opens++;
  p->startMs = start_ms;
  int streams = a->ff_ctx->TotalAudioStreams;
  int m = ItemSetBitmask(&AudioSelectStream, (uint64_t{1} << streams) - 1);
  if (m < 0) LOGE("MenuItemSetBitmask return %d\n", m);
  return 0;
}

void closeCurrent(Player *p) {
  AudioClose(p->audio);
  dropPending(p);
  p->opened = false;
}

// Goes to file `next` at its history position. A file that cannot be
// opened is named as such and the walk goes on in direction dir (wrapping
// when wrap) for at most `tries` files. The browser follows the file that
// opened. Returns true when one opened.
bool openFrom(Player *p, int next, int dir, bool wrap, int tries) {
  const int n = static_cast<int>(p->files.size());
  for (int i = 0; i < tries; i++) {
    p->cur = next;
    if (AudioOpenFile(p, AudioLoadAutoMark(currentPath(p)), 0) == 0) {
      // Deliberately ignored: a browser that cannot follow stays where it was.
      if (p->browser) FileBrowserLoadFile(p->browser, currentPath(p).c_str());
      return true;
    }
    sayOpenError(openErrorOf(p->audio));
    next += dir;
    if (next < 0 || next >= n) {
      if (!wrap) return false;
      next = (next + n) % n;
    }
  }
  return false;
}

// Seeks the open file, dropping what the writer holds for the old place;
// playback goes on from there.
void seekTo(Player *p, int ms) {
  Audio *a = p->audio;
  if (!p->opened || !a->ff_ctx) return;
  AudioPause(a);
  // Ended meanwhile: the end notice is on its way and the thread may still
  // be writing its tail.
  if (a->ended) return;
  dropPending(p);
  AudioSeek(a, std::max(ms, 0), 1000, a->ff_ctx->seek_by_bytes);
}

// Leaves the player: the screen goes, the current file's position (or ms
// when >= 0) goes into the history, the device and the decoder are closed.
// passOn: the key travels on and the file is reopened at the next start.
int leave(Player *p, int ms, bool passOn) {
  ActivityRemove(&p->head);
  SleepTimerDetach(p);
  BookMarkKeepPosition(nullptr, nullptr);
  storeHistory(p, ms >= 0 ? ms : p->audio->pos_ms.load());
  BookMarkSaveNow();
  RestoryAutoShutdown(p->savedShutdown);
  AudioClose(p->audio);
  sound_close(p->audio->sound_handle);
  AudioDeInit(p->audio);
  SoundSpeed_Clear(kTempoMusic);
  delete p;
  return FileBrowserReturn(passOn, 2);
}

// The decoder thread ended at the file's end: the next file by play mode.
int fileEnded(Player *p) {
  const int n = static_cast<int>(p->files.size());
  storeHistory(p, 0);
  const bool silent = !p->pcm.sounded.load();
  if (silent) {
    p->emptyRun++;
    // Started from the top and not a sound: the file is broken.
    if (p->startMs == 0) sayOpenError(OPEN_ERROR_FILE_DAMAGED);
  } else {
    p->emptyRun = 0;
  }
  int mode = 0, next = -1, tries = n;
  bool wrap = true;
  if (ItemGetValue(&AudioPlayMode, nullptr, &mode) < 0) {
    LOGE("MenuItemGetValue return error!\n");
  } else {
    switch (mode) {
      case 0:
        next = p->cur + 1 < n ? p->cur + 1 : -1;
        wrap = false;
        break;
      case 1:
        next = silent ? -1 : p->cur;
        tries = 1;
        break;
      case 2:
        next = std::rand() % n;
        break;
      case 3:
        next = (p->cur + 1) % n;
        break;
      default:
        break;
    }
  }
  if (CfgDebugAudio) LOGD("*******AudioFile end**********\n");
  // Every file of the list ended in a row without a sound: stop rather than
  // go round for ever.
  if (p->emptyRun >= n) next = -1;
  if (next >= 0) {
    closeCurrent(p);
    if (openFrom(p, next, 1, wrap, tries)) return 0;
  }
  SleepTimerSectionEnded(p);
  return leave(p, 0, false);
}

// AUDIOEND: the file's end, or B passed (A-B repeat goes back to A).
int onAudioEnd(Player *p) {
  Audio *a = p->audio;
  if (!p->opened) return 0;
  if (a->ended) {
    // A notice sent before the thread's tail went out: its own follows.
    if (p->endHandled || !p->drained) return 0;
    p->endHandled = true;
    return fileEnded(p);
  }
  const int A = a->a_ms, B = a->end_ms.load();
  const int64_t total = durationMs(a);
  if (a->spare != 0 && A >= 0 && A < B && B >= 1 && total >= 0 && B < total) seekTo(p, A);
  return 0;
}

// LEFT / RIGHT: a step of the AudioStep setting.
void jump(Player *p, int dir) {
  Audio *a = p->audio;
  if (!p->opened || !a->ff_ctx) return;
  int step = kDefaultStepS;
  if (ItemGetValue(&AudioStep, nullptr, &step) < 0) step = kDefaultStepS;
  const int64_t total = durationMs(a);
  const int64_t now = a->pos_ms.load();
  int64_t target = now + static_cast<int64_t>(dir) * step * 1000;
  if (target < 0) target = 0;
  if (dir > 0 && total >= 0 && target > total) target = total;
  target = std::min<int64_t>(target, INT_MAX);
  if (CfgDebugAudio)
    LOGD("total: %dms, cur: %dms, jmp to: %dms\n", static_cast<int>(total), static_cast<int>(now),
         static_cast<int>(target));
  if (step * 1000LL >= kLongJumpMs && total >= kLongFileMs) {
    AudioPause(a);
    sayFirst(kJumping);
  }
  seekTo(p, static_cast<int>(target));
  RestoryAutoShutdown(0);
}

// Where am I: the time left in the file, when the file gives its length.
int trackLeftMs(void *context) {
  Player *p = static_cast<Player *>(context);
  const int64_t total = p->opened ? durationMs(p->audio) : -1;
  return total < 0 ? -1 : static_cast<int>(std::clamp<int64_t>(total - p->audio->pos_ms.load(), 0, INT_MAX));
}

int trackId(void *context) { return static_cast<Player *>(context)->opens; }

const SleepTimerClient kSleepClient = {trackLeftMs, trackId};

// Appended to the position.
void appendTimeLeft(Player *p, char *text, size_t size) {
  const int left = trackLeftMs(p);
  if (left < 0) return;
  char spoken[128];
  LeftSecondToStr(LEFT_FILE, left / 1000, spoken, sizeof spoken, PromptLanguage());
  const size_t n = std::strlen(text);
  std::snprintf(text + n, size - n, ", %s", spoken);
}

void speakInfo(Player *p) {
  Audio *a = p->audio;
  const int64_t total = durationMs(a);
  char totalText[128], curText[128], text[1024];
  // A file that gives no length says so rather than "0 seconds".
  if (total >= 0)
    TotalSecondToStr(static_cast<int>(std::min<int64_t>(total / 1000, INT_MAX)), totalText, sizeof totalText, PromptLanguage());
  else
    UnknownTotalTimeStr(totalText, sizeof totalText, PromptLanguage());
  CurSecondToStr(p->opened ? a->pos_ms.load() / 1000 : 0, curText, sizeof curText, PromptLanguage());
  std::snprintf(text, sizeof text, "%s, %s, %s", charset_name_text(baseName(currentPath(p)).c_str()).c_str(), totalText, curText);
  appendTimeLeft(p, text, sizeof text);
  text_sound_insert(text);
}

// ---- menus ----

void AudioMenuEnter(void *context) {
  Player *p = static_cast<Player *>(context);
  p->menuPaused = p->opened && AudioStatus(p->audio) == AUDIO_RUN;
  if (p->menuPaused) AudioPause(p->audio);
}

// Continues what the menu paused; music the user had paused stays paused.
void AudioMenuExit(void *context) {
  Player *p = static_cast<Player *>(context);
  if (p->menuPaused && p->opened) AudioCont(p->audio);
  p->menuPaused = false;
}

void openMenu(Player *p, MenuNode *menu) {
  Activity *m = MenuCreate(&p->head, menu, AudioMenuEnter, AudioMenuExit, p, 1);
  if (!m) {
    LOGE("MenuCreate return NULL\n");
    AudioMenuExit(p);  // the open callback may have paused already
    return;
  }
  ActivitySetActive(m, 1);
}

int audiospeedfunc(void *context, int value, int preview) { return SoundSpeed_SetSpeed(kTempoMusic, value); }

int audiopitchfunc(void *context, int value, int preview) { return SoundSpeed_SetPitch(kTempoMusic, value); }

int MenuSetEq(void *context, int preset, int preview) {
  Player *p = static_cast<Player *>(context);
  if (!p) return -1;
  Audio *a = p->audio;
  // Without a file the preset applies at the next open.
  if (p->opened && a->ff_ctx && a->dsp.eq_init)
    return a->dsp.eq_init(a->ff_ctx->out_sample_rate, a->ff_ctx->out_channels, preset) < 0 ? -1 : 0;
  return 0;
}

int MenuSelectStream(void *context, int stream, int preview) {
  Player *p = static_cast<Player *>(context);
  if (!p || !p->opened || !p->audio->ff_ctx) return -1;
  Audio *a = p->audio;
  const int current = a->ff_ctx->CurAudioStream, total = a->ff_ctx->TotalAudioStreams;
  if (CfgDebugAudio)
    LOGD("audio->ff_ctx->CurAudioStream=%d, audio->ff_ctx->TotalAudioStreams=%d, val = %d\n", current, total,
         stream);
  if (stream == current) return 0;
  if (stream < 0 || stream >= total) {
    LOGE("selected stream out of range, total stream = %d, selected stream = %d\n", total, stream);
    return -2;
  }
  const int at = a->pos_ms.load();
  closeCurrent(p);
  if (AudioOpenFile(p, at, stream) == 0) return 0;
  // The file opened a moment ago: go back to the stream it had.
  sayOpenError(openErrorOf(a));
  AudioOpenFile(p, at, current);
  return -1;
}

int AudioMarkAddRepeat(void *context, int value, int preview) {
  Player *p = static_cast<Player *>(context);
  if (!p || !p->opened) return -1;
  Audio *a = p->audio;
  switch (value) {
    case 0:
      a->a_ms = a->pos_ms.load();
      a->end_ms = kNoMark;
      a->spare = 1;
      p->bSent = false;
      return 0;
    case 1:
      // B only after A.
      if (!(a->spare & 1)) return -1;
      p->bSent = false;
      a->end_ms = a->pos_ms.load();
      a->spare = 3;
      return 0;
    case 2:
      a->a_ms = 0;
      a->end_ms = kNoMark;
      a->spare = 0;
      p->bSent = false;
      return 0;
    default:
      return -1;
  }
}

int AudioMarkAddItem(void *context, int value, int preview) {
  Player *p = static_cast<Player *>(context);
  if (!p || !p->opened) {
    LOGE("AudioGetFile return NULL");
    return -1;
  }
  const std::string &path = currentPath(p);
  const int ms = p->audio->pos_ms.load();
  int r = MarkAddItem(0, path.c_str(), baseName(path).c_str(), nullptr, nullptr, ms, 0);
  if (r < 0) {
    LOGE("MarkAddItem return %d\n", r);
    return -1;
  }
  char when[128], text[512];
  SecondToStr(ms / 1000, when, sizeof when, PromptLanguage());
  std::snprintf(text, sizeof text, "%s%d, %s", kMarkAdded[PromptLanguage()], r, when);
  text_sound_insert(text);
  return 0;
}

// The input box of "jump to minutes" handed back its number (-1: cancelled).
void MenuJmpToMinutesCallBack(void *arg, int minutes) {
  Player *p = static_cast<Player *>(arg);
  if (minutes < 0) {
    AudioMenuExit(p);
    return;
  }
  p->menuPaused = false;
  if (!p->opened) return;
  Audio *a = p->audio;
  const int64_t total = durationMs(a);
  int64_t target = static_cast<int64_t>(minutes) * 60000;
  if (total >= 0 && target > total - 3000) target = std::max<int64_t>(total - 3000, 0);
  target = std::min<int64_t>(target, INT_MAX);
  const int64_t distance = target - a->pos_ms.load();
  if ((distance >= kLongJumpMs || distance <= -kLongJumpMs) && total > kLongFileMs) {
    AudioPause(a);
    sayFirst(kJumping);
  }
  seekTo(p, static_cast<int>(target));
}

int AudioMenuJmpToMinutes(void *context, int value, int preview) {
  Player *p = static_cast<Player *>(context);
  if (!p) return -1;
  Activity *box = InputBoxCreate(0, 6, MenuJmpToMinutesCallBack, p);
  if (!box) return -1;
  // Active without a show: the bookmark menu closes after this and speaks
  // the screen on top, which is the box ("0" once).
  box->active = 1;
  return 0;
}

// ---- the screen ----

// Speaks nothing while music plays. An end notice that reached a menu or
// the input box over the player went no further: it is posted again.
int AudioShow(Activity *a) {
  Player *p = playerOf(a);
  if (!p) return -1;
  if (p->opened && p->drained && !p->endHandled) SendVKey(VKEY_AUDIOEND);
  return 0;
}

int AudioHide(Activity *a) { return ActivityHideScreen(a); }

// UP / DOWN: the previous / next file of the list, wrapping.
int step(Player *p, int dir) {
  const int n = static_cast<int>(p->files.size());
  storeHistory(p, p->audio->pos_ms.load());
  closeCurrent(p);
  p->emptyRun = 0;
  if (openFrom(p, (p->cur + dir + n) % n, dir, true, n)) return 0;
  return leave(p, -1, false);
}

int applySetting(MenuItem *item, int (*set)(int, int)) {
  int value = 0;
  if (ItemGetValue(item, nullptr, &value) < 0) {
    LOGE("ItemGetValue return error\n");
    return -1;
  }
  return set(kTempoMusic, value);
}

// The audio files of a folder in name order (the order setting decides the
// direction). Returns false when the folder cannot be read.
bool listAudioFiles(const std::string &dir, std::vector<std::string> *names) {
  std::error_code ec;
  std::filesystem::directory_iterator it(BoardPath(dir.c_str()), ec);
  if (ec) return false;
  for (const auto &entry : it) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code sec;
    if (entry.symlink_status(sec).type() != std::filesystem::file_type::regular) continue;
    if (IsAudioFile(dir.c_str(), name.c_str())) names->push_back(name);
  }
  std::sort(names->begin(), names->end());
  if (!CfgFileSortAscent) std::reverse(names->begin(), names->end());
  return true;
}

}  // namespace

int AudioPlayerInit(void) {
  static const FileBrowserPlayer kPlayer = {IsAudioFile, AudioCreate, nullptr};
  int r = FileBrowserRegisterPlayer(FILE_KIND_AUDIO, &kPlayer);
  r |= MenuBindFunc("audiospeedfunc", audiospeedfunc);
  r |= MenuBindFunc("audiopitchfunc", audiopitchfunc);
  r |= MenuBindFunc("MenuSetEq", MenuSetEq);
  r |= MenuBindFunc("MenuSelectStream", MenuSelectStream);
  r |= MenuBindFunc("AudioMarkAddRepeat", AudioMarkAddRepeat);
  r |= MenuBindFunc("AudioMarkAddItem", AudioMarkAddItem);
  r |= MenuBindFunc("AudioMenuJmpToMinutes", AudioMenuJmpToMinutes);
  return r == 0 ? 0 : -1;
}

int IsAudioFile(const char *dir, const char *name) {
  if (!name) return 0;
  const char *dot = std::strrchr(name, '.');
  if (!dot) return 0;
  for (const char *ext : kExtensions)
    if (strcasecmp(dot + 1, ext) == 0) return 1;
  return 0;
}

int AudioKey(Activity *act, const KeyEvent *key) {
  Player *p = playerOf(act);
  if (!p || !key) return -1;
  Audio *a = p->audio;
  switch (key->code) {
    case VKEY_MENU:
      openMenu(p, &AudioMenu);
      return 0;
    case VKEY_MARK:
      openMenu(p, &AudioMarkMenu);
      return 0;
    case VKEY_BACK:
      return leave(p, -1, false);
    case VKEY_VOL_:
      VolumeDecMedia();
      return 0;
    case VKEY_VOLADD:
      VolumeAddMedia();
      return 0;
    case VKEY_ESC:
      speakInfo(p);
      return 0;
    case VKEY_UP:
      return step(p, -1);
    case VKEY_DOWN:
      return step(p, 1);
    case VKEY_LEFT:
      jump(p, -1);
      return 0;
    case VKEY_RIGHT:
      jump(p, 1);
      return 0;
    case VKEY_OK:
      if (!p->opened) return 0;
      if (AudioStatus(a) == AUDIO_RUN) {
        AudioPause(a);
        RestoryAutoShutdown(1);
        say(kPause);
        keepPosition(p);
      } else if (AudioStatus(a) == AUDIO_PAUSE) {
        AudioCont(a);
        RestoryAutoShutdown(0);
      }
      return 0;
    case VKEY_AUDIOEND:
      return onAudioEnd(p);
    case VKEY_SDOUT:
    case VKEY_USBDISKOUT: {
      const int removed = key->code == VKEY_SDOUT ? 1 : 2;
      if (GetMoutPointTypeFpath(currentPath(p).c_str()) != removed) return 0;
      if (CfgDebugAudio) LOGD("The current device has been pulled out!");
      return leave(p, -1, true);
    }
    case VKEY_POWEROFF:
      return leave(p, -1, true);
    default:
      return 1;
  }
}

Activity *AudioPlayerCreateList(Activity *browser, const char *const *paths, int count, int current,
                                int start_ms) {
  if (!paths || count < 1 || current < 0 || current >= count || !paths[current]) {
    LOGE("Cannot find cur audio file int list\n");
    return nullptr;
  }
  std::unique_ptr<Player> p(new (std::nothrow) Player);
  try {
    if (p) {
      p->files.reserve(static_cast<size_t>(count));
      for (int i = 0; i < count; i++) p->files.emplace_back(paths[i] ? paths[i] : "");
    }
  } catch (const std::bad_alloc &) {
    p.reset();
  }
  if (!p) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  p->browser = browser;
  p->cur = current;
  int handle = sound_open(1, 44100, 2);
  if (handle < 0) {
    LOGE("sound open return %d\n", handle);
    return nullptr;
  }
  applySetting(&AudioSpeed, SoundSpeed_SetSpeed);
  applySetting(&AudioPitch, SoundSpeed_SetPitch);
  p->audio = AudioInit("AUDIO", &gfile, AudioWritePcm, AudioSetParam, AudioFileEnd);
  if (!p->audio) {
    LOGE("Not enough memory\n");
    sound_close(handle);
    return nullptr;
  }
  p->audio->sound_handle = handle;
  // Seeks land on the sample asked for, also in formats whose index only
  // knows pages or clusters (Ogg, FLAC, WMA, Matroska).
  p->audio->exact = 1;
  if (PcmOutInit(&p->pcm, handle) != 0) {
    LOGE("Not enough memory\n");
    AudioDeInit(p->audio);
    sound_close(handle);
    return nullptr;
  }
  p->audio->data = p.get();
  ItemSetValue(&AudioSelectStream, 0);
  if (AudioOpenFile(p.get(), std::max(start_ms, 0), 0) != 0) {
    FileBrowserOpenFailed(openErrorOf(p->audio));
    AudioDeInit(p->audio);
    sound_close(handle);
    return nullptr;
  }
  p->savedShutdown = SaveAndStopAutoShutdown();
  p->head = {"Audio", 0, AudioKey, AudioShow, AudioHide, 0, p.get()};
  if (ActivityAdd(&p->head) != 0) {
    RestoryAutoShutdown(p->savedShutdown);
    AudioDeInit(p->audio);
    sound_close(handle);
    return nullptr;
  }
  SleepTimerAttach(&kSleepClient, p.get());
  BookMarkKeepPosition(keepPosition, p.get());
  return &p.release()->head;
}

Activity *AudioPlayerCreate(Activity *browser, const char *path, int start_ms) {
  FileBrowserOpenFailed(-1);
  if (!path) return nullptr;
  std::string full(path);
  size_t slash = full.rfind('/');
  if (slash == std::string::npos || slash + 1 == full.size()) {
    LOGE("GetFullPath return NULL\n");
    return nullptr;
  }
  const std::string dir = full.substr(0, slash > 0 ? slash : 1), name = full.substr(slash + 1);
  std::vector<std::string> names;
  if (!IsAudioFile(dir.c_str(), name.c_str()) || !listAudioFiles(dir, &names)) {
    LOGE("GetFileList return NULL\n");
    return nullptr;
  }
  auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) {
    LOGE("Cannot find cur audio file int list\n");
    return nullptr;
  }
  std::vector<std::string> fulls;
  std::vector<const char *> ptrs;
  fulls.reserve(names.size());
  for (const std::string &n : names) fulls.push_back(dir == "/" ? "/" + n : dir + "/" + n);
  for (const std::string &f : fulls) ptrs.push_back(f.c_str());
  return AudioPlayerCreateList(browser, ptrs.data(), static_cast<int>(ptrs.size()),
                               static_cast<int>(it - names.begin()), start_ms);
}

Activity *AudioCreate(Activity *browser, int start_ms, int) {
  // The play list is the browser's own listing, in its (pinyin) order.
  const std::vector<int> list = GetFileList(browser, IsAudioFile);
  const int cur = FileBrowserGetCur(browser);
  std::vector<std::string> fulls;
  std::vector<const char *> ptrs;
  int current = -1;
  for (int index : list) {
    if (index == cur) current = static_cast<int>(fulls.size());
    fulls.push_back(GetFullPath(browser, index));
  }
  for (const std::string &f : fulls) ptrs.push_back(f.c_str());
  if (current < 0) {
    LOGE("Cannot find cur audio file int list\n");
    return nullptr;
  }
  Activity *player = AudioPlayerCreateList(browser, ptrs.data(), static_cast<int>(ptrs.size()), current, start_ms);
  // The entry's name is still being spoken: the music starts now, not after it.
  if (player) text_sound_stop();
  return player;
}

int AudioPlayerFunc(Activity *browser, const char *path, int start_ms) {
  Activity *player = AudioPlayerCreate(browser, path, start_ms);
  if (!player) {
    wait_text_sound_end(text_sound_insert(OpenErrorText(FileBrowserTakeOpenError(), PromptLanguage())));
    return -1;
  }
  text_sound_stop();
  ActivitySetActive(player, 1);
  return 0;
}

Audio *AudioPlayerAudio(Activity *player) {
  Player *p = playerOf(player);
  return p ? p->audio : nullptr;
}

const char *AudioPlayerPath(Activity *player) {
  Player *p = playerOf(player);
  return p ? currentPath(p).c_str() : nullptr;
}
