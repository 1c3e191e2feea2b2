// The tempo processors (g_SoundTouchCtrls) on the SoundTouch library, which
// Debian builds for float samples: 16-bit PCM is converted at this edge.
// Each processor has its own mutex: the speech or decoder thread processes
// while the main thread changes its settings. No lock is held across
// another module's code.
#include "sound/sound_speed.h"

#include "core/runtime/log.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

constexpr char kLogSource[] = "sound/sound_speed.c";

namespace {

struct SoundParam {
  int speed = 0;  // tempo change, percent
  int pitch = 0;  // semitones
};

struct Processor {
  std::mutex mu;
  soundtouch::SoundTouch st;     // guarded by mu
  SoundParam param;              // guarded by mu (g_SoundParam)
  int rate = 16000;              // guarded by mu
  int ch = 1;                    // guarded by mu
  bool flushed = false;          // guarded by mu: a stream's end is being drained
  std::vector<float> in, out;    // guarded by mu: conversion buffers

  Processor() {
    st.setSampleRate(16000);
    st.setChannels(1);
  }
  bool bypass() const { return param.speed == 0 && param.pitch == 0; }
};

Processor g_SoundTouchCtrls[kSoundSpeedCount];

Processor *get(int n) { return n >= 0 && n < kSoundSpeedCount ? &g_SoundTouchCtrls[n] : nullptr; }

void configure(Processor *p, bool speech) {
  p->st.clear();
  p->st.setSampleRate(16000);
  p->st.setChannels(1);
  p->rate = 16000;
  p->ch = 1;
  p->st.setTempoChange(0);
  p->st.setPitchSemiTones(0);
  p->st.setRateChange(0);
  p->st.setSetting(SETTING_USE_QUICKSEEK, 0);
  p->st.setSetting(SETTING_USE_AA_FILTER, 1);
  if (speech) {
    p->st.setSetting(SETTING_SEQUENCE_MS, 40);
    p->st.setSetting(SETTING_SEEKWINDOW_MS, 16);
    p->st.setSetting(SETTING_OVERLAP_MS, 8);
  } else {
    // 0: the library picks sequence and seek window from the tempo.
    p->st.setSetting(SETTING_SEQUENCE_MS, 0);
    p->st.setSetting(SETTING_SEEKWINDOW_MS, 0);
    p->st.setSetting(SETTING_OVERLAP_MS, 8);
  }
  p->param = SoundParam{};
  p->flushed = false;
}

// Frames of the library's output into 16-bit samples, rounded and clamped.
int receive(Processor *p, short *out, int out_frames) {
  size_t need = static_cast<size_t>(out_frames) * static_cast<size_t>(p->ch);
  if (p->out.size() < need) p->out.resize(need);
  auto got = static_cast<int>(p->st.receiveSamples(p->out.data(), static_cast<unsigned>(out_frames)));
  for (size_t i = 0; i < static_cast<size_t>(got) * static_cast<size_t>(p->ch); i++) {
    float v = std::nearbyint(p->out[i]);
    out[i] = static_cast<short>(std::clamp(v, -32768.0f, 32767.0f));
  }
  return got;
}

}  // namespace

int SoundSpeed_Init(void) {
  for (int n = 0; n < kSoundSpeedCount; n++) {
    Processor *p = get(n);
    std::scoped_lock lock(p->mu);
    configure(p, n != 2);
  }
  return 0;
}

int SoundSpeed_SetSampleRate(int n, int rate) {
  Processor *p = get(n);
  if (!p || rate < 1000 || rate > 192000) return -1;
  std::scoped_lock lock(p->mu);
  if (p->rate != rate) {
    p->st.clear();
    p->flushed = false;
  }
  p->rate = rate;
  p->st.setSampleRate(static_cast<unsigned>(rate));
  return 0;
}

int SoundSpeed_SetChannels(int n, int ch) {
  Processor *p = get(n);
  if (!p) return -1;
  int c = ch == 1 ? 1 : 2;
  std::scoped_lock lock(p->mu);
  if (p->ch != c) {
    p->st.clear();
    p->flushed = false;
  }
  p->ch = c;
  p->st.setChannels(static_cast<unsigned>(c));
  return 0;
}

int SoundSpeed_SetSpeed(int n, int percent) {
  Processor *p = get(n);
  if (!p) return -1;
  percent = std::clamp(percent, -90, 1000);
  if (n == 0 && percent == 100) percent = 90;
  std::scoped_lock lock(p->mu);
  p->param.speed = percent;
  p->st.setTempoChange(percent);
  // Audio held back in a processor that callers now pass by would come out
  // in the middle of some later stream.
  if (p->bypass()) p->st.clear();
  return 0;
}

int SoundSpeed_SetPitch(int n, int semitones) {
  Processor *p = get(n);
  if (!p) return -1;
  semitones = std::clamp(semitones, -10, 10);
  std::scoped_lock lock(p->mu);
  p->param.pitch = semitones;
  p->st.setPitchSemiTones(semitones);
  if (p->bypass()) p->st.clear();
  return 0;
}

int SoundSpeed_GetSpeed(int n) {
  Processor *p = get(n);
  if (!p) return -1;
  std::scoped_lock lock(p->mu);
  return p->param.speed;
}

int SoundSpeed_GetPitch(int n) {
  Processor *p = get(n);
  if (!p) return -1;
  std::scoped_lock lock(p->mu);
  return p->param.pitch;
}

int SoundSpeed(int n, const short *in, int frames, short *out, int out_frames) {
  Processor *p = get(n);
  if (!p || !in || !out || frames <= 0 || out_frames <= 0) return -1;
  std::scoped_lock lock(p->mu);
  if (p->bypass()) return -2;
  size_t count = static_cast<size_t>(frames) * static_cast<size_t>(p->ch);
  if (p->in.size() < count) p->in.resize(count);
  for (size_t i = 0; i < count; i++) p->in[i] = in[i];
  try {
    p->st.putSamples(p->in.data(), static_cast<unsigned>(frames));
    p->flushed = false;
    return receive(p, out, out_frames);
  } catch (...) {
    // The library reports misuse by throwing; it must not leave this module.
    LOGE("SoundSpeed(%d): processing failed\n", n);
    p->st.clear();
    return -1;
  }
}

int SoundSpeed_Receive(int n, short *out, int out_frames) {
  Processor *p = get(n);
  if (!p || !out || out_frames <= 0) return -1;
  std::scoped_lock lock(p->mu);
  int got = receive(p, out, out_frames);
  if (got == 0 && p->flushed) {
    // The stream's tail is out: start the next one from nothing.
    p->st.clear();
    p->flushed = false;
  }
  return got;
}

int SoundSpeed_Flush(int n) {
  Processor *p = get(n);
  if (!p) return -1;
  std::scoped_lock lock(p->mu);
  try {
    p->st.flush();
  } catch (...) {
    p->st.clear();
    return -1;
  }
  p->flushed = true;
  return 0;
}

int SoundSpeed_Clear(int n) {
  Processor *p = get(n);
  if (!p) return -1;
  std::scoped_lock lock(p->mu);
  p->st.clear();
  p->flushed = false;
  return 0;
}
