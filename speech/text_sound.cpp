// The spoken-prompt queue: the prompt voice, the sound handle it writes
// with, the number of the prompt being spoken and the audio file to play
// after it.
//
// Locks: g_mutex serialises insert, stop and parameter changes (callers are
// the key, main, alarm and dialog threads); it is held while the prompt
// voice is stopped and started, which waits for the speech thread to go
// idle, so the speech thread's callbacks (text_sound_pcm, text_sound_finish)
// never take it. g_endMutex only pairs the end state with the condition
// variable that wait_text_sound_end sleeps on; nothing is called under it.
#include "speech/text_sound.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "sound/sound.h"
#include "speech/tts.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

constexpr char kLogSource[] = "speech/text_sound.c";

namespace {

// The prompt voice's record; its parameters start as the service's defaults
// so that settings made before the voice starts have something to change.
struct PromptVoice {
  TtsApp app;
  PromptVoice() {
    TtsGetDefaultParam(app.params);
    app.params[TTS_PARAM_CODEPAGE] = 65001;
  }
};

PromptVoice g_voice;
TtsApp &text_sound = g_voice.app;

std::mutex g_mutex;
bool g_live = false;  // guarded by g_mutex: the voice runs
int g_lastId = 0;     // guarded by g_mutex: the last prompt's number
int param_id = -1;    // guarded by g_mutex
int param_old = 0;    // guarded by g_mutex

// The sound handle the prompt voice writes with; written under g_mutex while
// the voice is idle, read by the speech thread.
std::atomic<int> g_soundId{0};

// The prompt's number and end state: written under g_endMutex (so that a
// waiter cannot miss a change), read by the speech thread without it.
std::mutex g_endMutex;
std::condition_variable g_endCond;
std::atomic<int> id{0};
std::atomic<int> text_sound_end{1};
std::atomic<const char *> gfname{nullptr};  // not owned

void publish(int handle, int ended) {
  std::scoped_lock lock(g_endMutex);
  if (handle >= 0) id = handle;
  text_sound_end = ended;
  g_endCond.notify_all();
}

int nextId() {
  g_lastId = g_lastId >= 0x7fffffff ? 1 : g_lastId + 1;
  return g_lastId;
}

// Caller holds g_mutex, the voice is idle. Makes sure the prompt voice holds
// the device as insert client. A prompt cut off by the next one leaves its
// insert open; when it is still the device's client, in the prompt format,
// the next prompt goes on with it after discarding what the cut-off one
// left queued in the device, so that the answer to a key sounds at once
// rather than after the old prompt's last blocks (sound_iopen discards a
// pre-empted client's sound the same way).
// Returns 0, or the failed result of sound_iopen.
int takeDevice() {
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  if (g_soundId > 0 && live.id == g_soundId && live.is_insert && live.fd != -1 && live.rate == 16000 &&
      live.ch == 1) {
    sound_discard(g_soundId);
    return 0;
  }
  int handle = sound_iopen(1, 16000, 1);
  if (handle < 0) return handle;
  g_soundId = handle;
  return 0;
}

void recordParam(int index, int value, const char *how) {
  char line[64];
  std::snprintf(line, sizeof line, "%d=%d%s%s", index, value, *how ? " " : "", how);
  BoardTranscript("param", line);
}

// Caller holds g_mutex. Stores a parameter in the voice (or only in its
// record while there is no voice). A change cuts off the prompt being
// spoken: it counts as ended, and its insert is reused by the next prompt.
int setParam(int index, int value) {
  int old = text_sound.params[index];
  int r = TtsSetParam(&text_sound, index, value);
  if (r == 0 && old != value && g_live) publish(-1, 1);
  return r;
}

// Caller holds g_mutex. Puts a previewed parameter back; it stays pending
// when the voice refuses.
void restorePreview() {
  if (param_id < 0) return;
  if (setParam(param_id, param_old) != 0) {
    LOGW("TtsSetParam return error!\n");
    return;
  }
  recordParam(param_id, param_old, "restore");
  param_id = -1;
}

int insert(const char *text, bool restore, const char *file) {
  gfname = nullptr;
  if (!text || !*text) return -1;
  std::scoped_lock lock(g_mutex);
  if (!g_live) {
    if (restore) restorePreview();
    BoardTranscript("prompt", text);
    int handle = nextId();
    publish(handle, 1);
    return handle;
  }
  // The prompt in progress is cut off without its finish function; its
  // insert stays open for this one.
  tts_stop(&text_sound);
  if (restore) restorePreview();
  publish(-1, 0);
  int r = takeDevice();
  if (r < 0) {
    LOGW("sound_iopen return error: %d\n", r);
    publish(-1, 1);
    return -1;
  }
  gfname = file;
  int handle = nextId();
  publish(handle, 0);
  tts_synth_sentence(&text_sound, text, -1);
  return handle;
}

// The sink: one block to the device. A refused block (device full, or
// another insert holds it) comes back negative and is offered again; a
// device error drops the block so that the prompt still ends.
int text_sound_pcm(void *, void *pcm, int bytes) {
  int r = sound_iwrite(g_soundId, pcm, bytes);
  if (r == bytes) return bytes;
  if (CfgDebugTxtSnd) LOGD("text_sound_pcm write error! len=%d, err=%d\n", bytes, r);
  return r == -1 ? bytes : r;
}

// The end of a prompt, on the speech thread: the drained device goes back to
// the pre-empted player, then the pending file plays.
void text_sound_finish(void *) {
  sound_iclose(g_soundId);
  publish(-1, 1);
  if (const char *file = gfname.exchange(nullptr)) AudioSoundInsert(file);
}

}  // namespace

int text_sound_insert(const char *text) { return insert(text, true, nullptr); }

int text_sound_insert1(const char *text, int keep_preview) { return insert(text, keep_preview == 0, nullptr); }

int text_audio_sound_insert(const char *text, const char *file) {
  gfname = nullptr;
  return insert(text, true, file);
}

void text_sound_stop(void) {
  std::scoped_lock lock(g_mutex);
  if (g_live) {
    tts_stop(&text_sound);
    sound_discard(g_soundId);  // cut off: nothing more of it is heard
    sound_iclose(g_soundId);
  }
  publish(-1, 1);
  if (const char *file = gfname.exchange(nullptr)) AudioSoundInsert(file);
}

int wait_text_sound_end(int handle) {
  if (handle < 0) return -2;
  std::unique_lock lock(g_endMutex);
  g_endCond.wait(lock, [handle] { return handle != id || text_sound_end; });
  return text_sound_end ? 0 : -1;
}

int TextSoundSetParam(int index, int value, int preview) {
  std::scoped_lock lock(g_mutex);
  restorePreview();
  if (index < 0 || index >= TTS_PARAM_NUM) return -1;
  int old = text_sound.params[index];
  int r = setParam(index, value);
  if (r < 0) return r;
  recordParam(index, value, preview ? "preview" : "");
  if (preview) {
    param_old = old;
    param_id = index;
  }
  return 0;
}

int TextSoundGetParam(int index) {
  if (index < 0 || index >= TTS_PARAM_NUM) return -1;
  std::scoped_lock lock(g_mutex);
  return text_sound.params[index];
}

int text_sound_init(const char *name, const int *params) {
  std::scoped_lock lock(g_mutex);
  if (g_live) return 0;
  param_id = -1;
  std::snprintf(text_sound.name, sizeof text_sound.name, "%s", name ? name : "text_sound");
  std::snprintf(text_sound.voice, sizeof text_sound.voice, "prompt");
  if (params) {
    std::memcpy(text_sound.params, params, sizeof text_sound.params);
  } else {
    TtsGetDefaultParam(text_sound.params);
    text_sound.params[TTS_PARAM_CODEPAGE] = 65001;
  }
  text_sound.tempo = 0;
  if (tts_init(&text_sound, text_sound_pcm, text_sound_finish, nullptr) != 0) return -1;
  g_live = true;
  publish(-1, 1);
  return 0;
}

int text_sound_deinit(void) {
  int r = -1;
  {
    std::scoped_lock lock(g_mutex);
    if (g_live) {
      tts_stop(&text_sound);
      sound_iclose(g_soundId);
      r = tts_deinit(&text_sound);
      g_live = false;
    }
    gfname = nullptr;
    publish(-1, 1);
  }
  AudioSoundDeInit();
  return r;
}
