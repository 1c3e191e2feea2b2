// The clip player of the prompt queue: one audio file at a time played as an
// insert client, for recorded reminders that follow a prompt.
//
// The clip's writer and finish function run on its decoder thread. Closing
// a clip joins that thread, so the end of a clip is handed to the main loop
// through a timer, whose callback closes it there. g_insertMutex serialises
// whole insertions (the prompt's speech thread and the callers of
// text_sound_stop both start clips); audio_mutex guards only the slot.
// Neither is held while a decoder thread is joined by someone it waits for:
// the writer and the finish function take neither.
#include "speech/text_sound.h"

#include "audio/ffaudio.h"
#include "core/runtime/log.h"
#include "core/runtime/loop.h"
#include "sound/sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

constexpr char kLogSource[] = "speech/audio_sound.c";

namespace {

constexpr auto kRetry = std::chrono::milliseconds(23);

std::mutex g_insertMutex;
std::mutex audio_mutex;
Audio *g_clip = nullptr;  // guarded by audio_mutex
std::atomic<int> audio_sound_end{1};
Event g_finishTimer = EVENT_INIT_SELF(g_finishTimer);

// Closes and frees a clip taken out of the slot.
void closeClip(Audio *clip) {
  AudioClose(clip);
  sound_iclose(clip->sound_handle);
  AudioDeInit(clip);
  audio_sound_end = 1;
}

Audio *takeClip(const Audio *only) {
  std::scoped_lock lock(audio_mutex);
  Audio *clip = g_clip;
  if (only && clip != only) return nullptr;
  g_clip = nullptr;
  return clip;
}

// Writes the collected block, waiting while the device is busy. Returns 0,
// or -1 when the clip is stopped meanwhile or the device fails.
int writeBlock(Audio *audio) {
  int off = 0;
  while (off < audio->pcm_fill) {
    int r = sound_iwrite(audio->sound_handle, audio->pcm + off, audio->pcm_fill - off);
    if (r > 0) {
      off += r;
    } else if (r == -2 || r == -3 || r == 0) {
      if (AudioStatus(audio) != AUDIO_RUN) return -1;
      std::this_thread::sleep_for(kRetry);
    } else {
      return -1;
    }
  }
  audio->pcm_fill = 0;
  return 0;
}

int AudioSoundWritePcm(Audio *audio, int bytes) {
  if (bytes < 1 || !audio->ff_ctx) return 0;
  const auto *src = reinterpret_cast<const unsigned char *>(audio->ff_ctx->m_AudioBuf);
  for (int left = bytes; left > 0;) {
    int n = std::min(left, static_cast<int>(sizeof audio->pcm) - audio->pcm_fill);
    std::memcpy(audio->pcm + audio->pcm_fill, src, static_cast<size_t>(n));
    audio->pcm_fill += n;
    src += n;
    left -= n;
    if (audio->pcm_fill == static_cast<int>(sizeof audio->pcm) && writeBlock(audio) != 0) {
      audio->pcm_fill = 0;
      return -1;
    }
  }
  AudioAdvance(audio, bytes / 2 / std::max(audio->ff_ctx->out_channels, 1));
  int ms = audio->pos_ms;
  LOGI("%02d:%02d  %03d\r", ms / 60000, ms / 1000 % 60, ms % 1000);
  return bytes;
}

int AudioSoundSetParam(Audio *audio, int rate, int channels) {
  return sound_iset(audio->sound_handle, rate, channels);
}

int AudioFinishCallback(void *arg, int flag) {
  LOGI("-------enter AudioFinishCallback---\n");
  if (Audio *clip = takeClip(static_cast<Audio *>(arg))) closeClip(clip);
  LOGI("-------exit  AudioFinishCallback---\n");
  return 0;
}

int AudioSoundFinish(Audio *audio) {
  if (audio->state == AUDIO_STOP) return 0;
  if (audio->pcm_fill > 0) writeBlock(audio);  // the last part block
  LOGI("-----start\tAudioSoundFinish delay task-----\n");
  EventDel(&g_finishTimer);
  g_finishTimer.timeout = 100;
  g_finishTimer.flag = EVENT_TIMER;
  g_finishTimer.check = nullptr;
  g_finishTimer.callback = AudioFinishCallback;
  g_finishTimer.arg = audio;
  EventAdd(&g_finishTimer);
  return 0;
}

}  // namespace

int AudioSoundInsert(const char *file) {
  if (!file || !*file) return -1;
  std::scoped_lock insertLock(g_insertMutex);
  if (Audio *old = takeClip(nullptr)) closeClip(old);
  int handle = sound_iopen(1, 44100, 2);
  if (handle < 0) {
    LOGW("sound open return %d\n", handle);
    return -1;
  }
  Audio *clip = AudioInit("AUDIO_SOUND", &gfile, AudioSoundWritePcm, AudioSoundSetParam, AudioSoundFinish);
  if (!clip) {
    sound_iclose(handle);
    return -1;
  }
  clip->dsp = AudioDsp{};  // no equaliser, and the music's tempo processor is left alone
  clip->sound_handle = handle;
  {
    // In the slot before its thread starts, so that even a clip that ends at
    // once is found by the timer.
    std::scoped_lock lock(audio_mutex);
    g_clip = clip;
  }
  audio_sound_end = 0;
  int r = AudioOpen(clip, file, 0, 0, 0);
  if (r != 0) {
    LOGW("AudioOpen return %d\n", r);
    takeClip(clip);
    AudioDeInit(clip);
    sound_iclose(handle);
    audio_sound_end = 1;
    return -1;
  }
  return handle;
}

void AudioSoundDeInit(void) {
  std::scoped_lock insertLock(g_insertMutex);
  EventDel(&g_finishTimer);
  if (Audio *clip = takeClip(nullptr)) closeClip(clip);
}

int AudioSoundEnded(void) { return audio_sound_end; }
