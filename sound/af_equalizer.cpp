// The equalizer: one object (g_af_equalizer) behind g_mutex, which every
// call holds for its whole run, so a decoder thread never filters through
// an object the main thread is replacing or freeing.
#include "sound/af_equalizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

const float kEqCentres[kEqBands] = {31.25f, 62.5f, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};

const int g_af_equalizer_lists[kEqPresets][kEqBands] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},          // "正常" / "Normal"
    {3, 1, 0, -2, -4, -4, -2, 0, 1, 2},      // "流行" / "POP"
    {-2, 0, 2, 4, -2, -2, 0, 0, 4, 4},       // "摇滚" / "Rock"
    {0, 0, 0, 4, 4, 4, 0, 2, 3, 4},          // "爵士" / "Jazz"
    {0, 8, 8, 4, 0, 0, 0, 0, 2, 2},          // "古典" / "classical"
};

namespace {

std::mutex g_mutex;
std::unique_ptr<AfEqualizer> g_af_equalizer;  // guarded by g_mutex

void copySettings(const AfEqualizer &from, AfEqualizer *to) {
  std::memcpy(to->a, from.a, sizeof from.a);
  std::memcpy(to->b, from.b, sizeof from.b);
  std::memcpy(to->wq, from.wq, sizeof from.wq);
  std::memcpy(to->g, from.g, sizeof from.g);
  to->K = from.K;
  to->channels = from.channels;
  to->gain_factor = from.gain_factor;
  to->rate = from.rate;
  to->buffer.reset();
  to->capacity = 0;
  to->used = 0;
}

}  // namespace

int af_equalizer_init(int rate, int channels, int preset) {
  std::printf("af_equalizer_init: %d\n", preset);
  if ((channels != 1 && channels != 2) || preset < 1 || preset >= kEqPresets) {
    af_equalizer_deinit();
    return 0;
  }
  return af_equalizer_init_gains(rate, channels, g_af_equalizer_lists[preset]);
}

int af_equalizer_init_gains(int rate, int channels, const int gains_db[kEqBands]) {
  std::scoped_lock lock(g_mutex);
  if ((channels != 1 && channels != 2) || !gains_db) {
    g_af_equalizer.reset();
    return 0;
  }
  if (!g_af_equalizer) {
    g_af_equalizer.reset(new (std::nothrow) AfEqualizer{});
    if (!g_af_equalizer) {
      std::printf("malloc fail for g_af_equalizer\n");
      return -1;
    }
  }
  AfEqualizer &eq = *g_af_equalizer;
  eq.channels = channels;
  eq.rate = rate;
  for (auto &gains : eq.g)
    for (int k = 0; k < kEqBands; k++)
      gains[k] = static_cast<float>(std::pow(10.0, gains_db[k] / 20.0) - 1.0);

  eq.K = kEqBands;
  double top = rate / 2.2;
  if (top < 16000) {
    eq.K = 0;
    while (eq.K < kEqBands && kEqCentres[eq.K] <= top) eq.K++;
    std::printf("[equalizer] Limiting the number of filters to %i due to low sample rate.\n", eq.K);
  }
  for (int k = 0; k < eq.K; k++) {
    double x = 2 * M_PI * kEqCentres[k] / rate;
    double t = std::tan(x * 1.2247449 / 2);
    double c = (1 - t) / (1 + t);
    eq.a[k][0] = static_cast<float>((1 + c) * std::cos(x));
    eq.a[k][1] = static_cast<float>(-c);
    eq.b[k][0] = static_cast<float>((1 - c) / 2);
    eq.b[k][1] = -1.005f;
  }

  float m = 0;
  for (int ch = 0; ch < 2; ch++)
    for (int k = 0; k < kEqBands; k++) m = std::max(m, eq.g[ch][k]);
  double d = 20 * std::log10(m + 1.0);
  eq.gain_factor = d > 0 ? static_cast<float>(d / 12 + 0.1) : 1.0f;

  std::memset(eq.wq, 0, sizeof eq.wq);
  return 0;
}

void af_equalizer_play(void *samples, int bytes) {
  if (!samples || bytes <= 0) return;
  std::scoped_lock lock(g_mutex);
  if (!g_af_equalizer) return;
  AfEqualizer &eq = *g_af_equalizer;
  const int n = eq.channels;
  const int frames = bytes / 2 / n;
  const int count = frames * n;
  if (eq.capacity < count) {
    std::unique_ptr<float[]> grown(new (std::nothrow) float[static_cast<size_t>(count)]);
    if (!grown) {
      std::printf("Can not malloc for af_equalizer_play\n");
      return;
    }
    eq.buffer = std::move(grown);
    eq.capacity = count;
  }
  eq.used = count;
  auto *pcm = static_cast<int16_t *>(samples);
  float *buf = eq.buffer.get();
  for (int i = 0; i < count; i++) buf[i] = pcm[i] * (1.0f / 32768.0f);

  for (int ci = 0; ci < n; ci++) {
    const float *g = eq.g[ci];
    for (int i = ci; i < count; i += n) {
      float y = buf[i];
      for (int k = 0; k < eq.K; k++) {
        float *wq = eq.wq[ci][k];
        float w = y * eq.b[k][0] + wq[0] * eq.a[k][0] + wq[1] * eq.a[k][1];
        y += (w + wq[1] * eq.b[k][1]) * g[k];
        wq[1] = wq[0];
        wq[0] = w;
      }
      buf[i] = y * eq.gain_factor;
    }
  }

  for (int i = 0; i < count; i++) {
    float v = buf[i] * 32767.0f;
    if (v > 32767.0f) {
      pcm[i] = 32767;
    } else if (v < -32768.0f) {
      pcm[i] = -32768;
    } else {
      pcm[i] = static_cast<int16_t>(v);  // toward zero
    }
  }
}

void af_equalizer_deinit(void) {
  std::scoped_lock lock(g_mutex);
  g_af_equalizer.reset();
}

int af_equalizer_get(AfEqualizer *copy) {
  if (!copy) return -1;
  std::scoped_lock lock(g_mutex);
  if (!g_af_equalizer) return -1;
  copySettings(*g_af_equalizer, copy);
  return 0;
}
