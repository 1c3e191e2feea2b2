#include "audio/pcm_out.h"

#include "audio/ffaudio.h"
#include "core/runtime/log.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

namespace {

constexpr char kLogSource[] = "audio/pcm_out.c";
constexpr int kBlockBytes = 4096;     // what the device gets per write
constexpr int kTempoSamples = 65536;  // tempo output per call, all channels
constexpr int kRetryMs = 23;          // while a prompt holds the device or it is full

void append(PcmOut *o, const int16_t *pcm, int samples) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(pcm);
  o->out.insert(o->out.end(), bytes, bytes + static_cast<size_t>(samples) * 2);
}

void advance(PcmOut *o, Audio *a) {
  if (a->ff_ctx) AudioAdvance(a, o->heldFrames);
  o->heldFrames = 0;
}

// After a send of `sent` bytes: the position moves on by the share of the
// held frames that the device took; the part block still waiting (and what
// a pause kept back) is counted when it goes out.
void advanceSent(PcmOut *o, Audio *a, size_t sent) {
  const size_t waiting = o->out.size();
  int64_t move = o->heldFrames;
  if (waiting > 0)
    move = static_cast<int64_t>(static_cast<double>(o->heldFrames) * static_cast<double>(sent) /
                                static_cast<double>(sent + waiting));
  if (a->ff_ctx && move > 0) AudioAdvance(a, move);
  o->heldFrames -= move;
}

bool tempoActive() { return SoundSpeed_GetSpeed(kTempoMusic) != 0 || SoundSpeed_GetPitch(kTempoMusic) != 0; }

}  // namespace

int PcmOutInit(PcmOut *o, int handle) {
  o->handle = handle;
  try {
    o->tempo.resize(kTempoSamples);
    o->out.reserve(4 * kBlockBytes);
  } catch (const std::bad_alloc &) {
    return -1;
  }
  return 0;
}

bool PcmOutSend(PcmOut *o, Audio *a, bool all, size_t *sent) {
  size_t done = 0;
  bool complete = true;
  for (;;) {
    size_t left = o->out.size() - done;
    if (left == 0 || (!all && left < kBlockBytes)) break;
    int len = static_cast<int>(std::min<size_t>(left, kBlockBytes));
    int r = sound_write(o->handle, o->out.data() + done, len);
    if (r > 0) {
      done += static_cast<size_t>(r);
      o->sounded = true;
      continue;
    }
    if (a->state.load() != AUDIO_RUN) {
      complete = false;
      break;
    }
    if (r < 0 && r != -2 && r != -3) {
      // No device behind the handle: this block is lost, and the wait
      // keeps a dead device from turning the decoder into a busy loop.
      if (!o->deviceFailed) LOGE("sound_write return %d\n", r);
      o->deviceFailed = true;
      done += static_cast<size_t>(len);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
  o->out.erase(o->out.begin(), o->out.begin() + static_cast<long>(done));
  if (sent) *sent = done;
  return complete;
}

void PcmOutWrite(PcmOut *o, Audio *a, const int16_t *pcm, int frames, int channels) {
  if (frames < 1 || channels < 1) return;
  const int cap = kTempoSamples / channels;
  int got = SoundSpeed(kTempoMusic, pcm, frames, o->tempo.data(), cap);
  if (got < 0) {
    append(o, pcm, frames * channels);
  } else {
    append(o, o->tempo.data(), got * channels);
    // A slowed-down chunk can give more than one buffer.
    while (got == cap && (got = SoundSpeed_Receive(kTempoMusic, o->tempo.data(), cap)) > 0)
      append(o, o->tempo.data(), got * channels);
  }
  o->heldFrames += frames;
  size_t sent = 0;
  PcmOutSend(o, a, false, &sent);
  advanceSent(o, a, sent);
}

void PcmOutDrain(PcmOut *o, Audio *a, int channels) {
  if (channels > 0 && tempoActive() && SoundSpeed_Flush(kTempoMusic) == 0) {
    const int cap = kTempoSamples / channels;
    for (int got; (got = SoundSpeed_Receive(kTempoMusic, o->tempo.data(), cap)) > 0;)
      append(o, o->tempo.data(), got * channels);
  }
  if (PcmOutSend(o, a, true)) advance(o, a);
}

void PcmOutTail(PcmOut *o, Audio *a, int wait_ms) {
  size_t done = 0;
  for (int waited = 0; done < o->out.size() && waited < wait_ms;) {
    int len = static_cast<int>(std::min<size_t>(o->out.size() - done, kBlockBytes));
    int r = sound_write(o->handle, o->out.data() + done, len);
    if (r > 0) {
      done += static_cast<size_t>(r);
    } else if (r == -2 || r == -3) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
      waited += kRetryMs;
    } else {
      break;
    }
  }
  o->out.clear();
  advance(o, a);
}

void PcmOutDrop(PcmOut *o) {
  o->out.clear();
  o->heldFrames = 0;
  o->deviceFailed = false;
  SoundSpeed_Clear(kTempoMusic);
}
