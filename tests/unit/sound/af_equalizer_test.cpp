// The graphic equalizer.
#include "sound/af_equalizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// Gain in dB of the current equalizer for a tone at `hz`, measured once the
// band filters have settled.
double GainDb(int rate, double hz) {
  int cycles = 24;
  int frames = std::max(static_cast<int>(cycles * rate / hz), 2048);
  std::vector<int16_t> s(static_cast<size_t>(frames));
  for (int i = 0; i < frames; i++) s[static_cast<size_t>(i)] = static_cast<int16_t>(4000 * std::sin(2 * M_PI * hz * i / rate));
  std::vector<int16_t> in = s;
  af_equalizer_play(s.data(), frames * 2);
  double a = 0, b = 0;
  for (int i = frames / 2; i < frames; i++) {
    a += static_cast<double>(in[static_cast<size_t>(i)]) * in[static_cast<size_t>(i)];
    b += static_cast<double>(s[static_cast<size_t>(i)]) * s[static_cast<size_t>(i)];
  }
  return 10 * std::log10(b / a);
}

// The filter bank's response in dB at `hz`: every band is a peaking stage
// 1 + g * (1-C)/2 * (1 - 1.005 z^-2) / (1 - (1+C)cos(x) z^-1 + C z^-2)
// with C from the band's centre and an octave-wide bandwidth.
double BankDb(int rate, int preset, double hz) {
  std::complex<double> h = 1, z1 = std::polar(1.0, -2 * M_PI * hz / rate), z2 = z1 * z1;
  for (int k = 0; k < kEqBands; k++) {
    double x = 2 * M_PI * kEqCentres[k] / rate;
    double t = std::tan(x * std::sqrt(1.5) / 2), c = (1 - t) / (1 + t);
    double g = std::pow(10.0, g_af_equalizer_lists[preset][k] / 20.0) - 1;
    h *= 1.0 + g * (1 - c) / 2 * (1.0 - 1.005 * z2) / (1.0 - (1 + c) * std::cos(x) * z1 + c * z2);
  }
  return 20 * std::log10(std::abs(h));
}

class EqualizerTest : public ::testing::Test {
 protected:
  void TearDown() override { af_equalizer_deinit(); }
};

}  // namespace

TEST_F(EqualizerTest, LowRatesLimitTheBands) {
  struct Case {
    int rate, bands;
  } cases[] = {{8000, 7}, {16000, 8}, {32000, 9}, {44100, 10}, {48000, 10}, {100, 1}, {60, 0}};
  for (const auto &c : cases) {
    ASSERT_EQ(af_equalizer_init(c.rate, 2, 2), 0);
    AfEqualizer eq{};
    ASSERT_EQ(af_equalizer_get(&eq), 0);
    EXPECT_EQ(eq.K, c.bands) << c.rate;
  }
  // No usable band: the sound passes, only scaled.
  std::vector<int16_t> s(64, 1000);
  af_equalizer_play(s.data(), 128);
}

TEST_F(EqualizerTest, NormalAndOddFormatsRemoveIt) {
  struct Case {
    int channels, preset;
  } cases[] = {{2, 0}, {3, 1}, {0, 2}, {2, 5}, {1, -1}};
  for (const auto &c : cases) {
    ASSERT_EQ(af_equalizer_init(44100, 2, 1), 0);
    ASSERT_EQ(af_equalizer_init(44100, c.channels, c.preset), 0);
    AfEqualizer eq{};
    EXPECT_EQ(af_equalizer_get(&eq), -1) << c.channels << "/" << c.preset;
  }
  std::vector<int16_t> s = {1, 2, 3, 4};
  af_equalizer_play(s.data(), 8);
  EXPECT_EQ(s, (std::vector<int16_t>{1, 2, 3, 4}));
}

TEST_F(EqualizerTest, EachPresetGivesItsBandGains) {
  // Each band of each preset, on its own, lifts or cuts its centre by its
  // gain. Measured relative to the output scale the preset sets.
  const int rate = 44100;
  for (int preset = 1; preset < kEqPresets; preset++) {
    ASSERT_EQ(af_equalizer_init(rate, 1, preset), 0);
    AfEqualizer eq{};
    ASSERT_EQ(af_equalizer_get(&eq), 0);
    const double scale = 20 * std::log10(eq.gain_factor);
    for (int k = 0; k < kEqBands; k++) {
      int one[kEqBands] = {};
      one[k] = g_af_equalizer_lists[preset][k];
      ASSERT_EQ(af_equalizer_init_gains(rate, 1, one), 0);
      AfEqualizer single{};
      ASSERT_EQ(af_equalizer_get(&single), 0);
      double db = GainDb(rate, kEqCentres[k]) - 20 * std::log10(single.gain_factor);
      EXPECT_NEAR(db, one[k], 0.25) << "preset " << preset << " band " << kEqCentres[k];
    }
    // All bands together: the bands overlap, so the curve at each centre is
    // that of the whole filter bank, computed here in the frequency domain.
    for (int k = 0; k < kEqBands; k++) {
      af_equalizer_init(rate, 1, preset);  // fresh filter history for each tone
      double db = GainDb(rate, kEqCentres[k]) - scale;
      EXPECT_NEAR(db, BankDb(rate, preset, kEqCentres[k]), 0.25) << "preset " << preset << " band " << kEqCentres[k];
    }
  }
}

TEST_F(EqualizerTest, StereoChannelsAreFilteredApart) {
  ASSERT_EQ(af_equalizer_init(44100, 2, 4), 0);
  // Left 62.5 Hz (boosted), right 1 kHz (flat): each keeps its own gain, as
  // each channel has its own filter history.
  const int frames = 44100 / 2;
  std::vector<int16_t> s(static_cast<size_t>(frames) * 2), in;
  for (int i = 0; i < frames; i++) {
    s[static_cast<size_t>(2 * i)] = static_cast<int16_t>(3000 * std::sin(2 * M_PI * 62.5 * i / 44100));
    s[static_cast<size_t>(2 * i + 1)] = static_cast<int16_t>(3000 * std::sin(2 * M_PI * 1000 * i / 44100));
  }
  in = s;
  af_equalizer_play(s.data(), frames * 4);
  AfEqualizer eq{};
  ASSERT_EQ(af_equalizer_get(&eq), 0);
  double e[2][2] = {};  // [channel][in, out]
  for (int i = frames / 2; i < frames; i++)
    for (int c = 0; c < 2; c++) {
      e[c][0] += std::pow(in[static_cast<size_t>(2 * i + c)], 2);
      e[c][1] += std::pow(s[static_cast<size_t>(2 * i + c)], 2);
    }
  double scale = 20 * std::log10(eq.gain_factor);
  EXPECT_NEAR(10 * std::log10(e[0][1] / e[0][0]) - scale, BankDb(44100, 4, 62.5), 0.25);
  EXPECT_NEAR(10 * std::log10(e[1][1] / e[1][0]) - scale, BankDb(44100, 4, 1000), 0.25);
}

TEST_F(EqualizerTest, LoudInputSaturatesInsteadOfWrapping) {
  ASSERT_EQ(af_equalizer_init(44100, 1, 4), 0);
  const int frames = 8192;
  std::vector<int16_t> s(frames);
  for (int i = 0; i < frames; i++) s[static_cast<size_t>(i)] = i % 200 < 100 ? 32767 : -32768;
  af_equalizer_play(s.data(), frames * 2);
  // A square wave boosted at 62.5/125 Hz: clipped at the rails, never
  // flipped to the other sign by overflow.
  int flips = 0;
  for (int i = 1; i < frames; i++)
    if ((s[static_cast<size_t>(i - 1)] > 30000 && s[static_cast<size_t>(i)] < -30000) ||
        (s[static_cast<size_t>(i - 1)] < -30000 && s[static_cast<size_t>(i)] > 30000))
      flips++;
  EXPECT_EQ(flips, 0);
}

TEST_F(EqualizerTest, ReplacingWhileADecoderFiltersIsSafe) {
  std::atomic<bool> stop{false};
  std::thread decoder([&] {
    std::vector<int16_t> chunk(2048);
    int n = 0;
    while (!stop) {
      // Growing chunks make the equalizer reallocate its buffer meanwhile.
      int frames = 256 + (n++ % 4) * 256;
      for (int i = 0; i < frames * 2; i++) chunk[static_cast<size_t>(i)] = static_cast<int16_t>(i * 37);
      af_equalizer_play(chunk.data(), frames * 4);
    }
  });
  for (int i = 0; i < 200; i++) {
    af_equalizer_init(i % 2 ? 44100 : 22050, 2, 1 + i % 4);
    if (i % 5 == 0) af_equalizer_deinit();
  }
  stop = true;
  decoder.join();
}
