// sound/af_equalizer.h: the ten-band octave graphic equalizer applied to
// decoded audio, with four presets. One process-wide equalizer exists while
// a preset is active; decoder threads filter through it while the main
// thread sets it up, replaces or removes it, so every call is serialised.
#pragma once

#include <memory>

constexpr int kEqBands = 10;
constexpr int kEqMaxChannels = 8;
constexpr int kEqPresets = 5;  // 0 "Normal" (no equalizer), 1..4

// The equalizer record (g_af_equalizer).
struct AfEqualizer {
  float a[kEqBands][2];                  // band filter coefficients
  float b[kEqBands][2];
  float wq[kEqMaxChannels][kEqBands][2]; // filter history per channel and band
  float g[kEqMaxChannels][kEqBands];     // linear gain - 1 per channel and band
  int K;                                 // bands in use (fewer at low rates)
  int channels;                          // 1 or 2
  float gain_factor;                     // output scale
  int rate;                              // Hz
  std::unique_ptr<float[]> buffer;       // work buffer, grown as needed
  int capacity;                          // floats in buffer
  int used;                              // floats of the last chunk
};

// Band centres in Hz and the presets' gains in dB (g_af_equalizer_lists).
extern const float kEqCentres[kEqBands];
extern const int g_af_equalizer_lists[kEqPresets][kEqBands];

// Sets up (or replaces) the equalizer for a format and preset 1..4; preset
// 0, or channels other than 1 and 2, remove it. Returns 0, or -1 when
// memory is short.
int af_equalizer_init(int rate, int channels, int preset);

// The same with the ten band gains in dB given directly (presets use
// g_af_equalizer_lists). Returns 0, or -1 when memory is short.
int af_equalizer_init_gains(int rate, int channels, const int gains_db[kEqBands]);

// Filters interleaved 16-bit PCM in place; nothing without an equalizer.
void af_equalizer_play(void *samples, int bytes);

// Removes the equalizer.
void af_equalizer_deinit(void);

// Copies the current equalizer's coefficients and settings (not its work
// buffer) for tests. Returns 0, or -1 when none is active.
int af_equalizer_get(AfEqualizer *copy);
