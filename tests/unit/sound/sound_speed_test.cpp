// Tempo and pitch processors.
#include "sound/sound_speed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Frames of a tone (with a slow amplitude swell, like a voiced sound).
std::vector<short> Tone(int rate, int ch, double hz, int frames, double amp = 12000) {
  std::vector<short> s(static_cast<size_t>(frames) * static_cast<size_t>(ch));
  for (int i = 0; i < frames; i++) {
    double env = 0.75 + 0.25 * std::sin(2 * M_PI * 3 * i / rate);
    auto v = static_cast<short>(amp * env * std::sin(2 * M_PI * hz * i / rate));
    for (int c = 0; c < ch; c++) s[static_cast<size_t>(i * ch + c)] = v;
  }
  return s;
}

// Runs a whole stream through processor n in chunks, then flushes and
// drains it as a producer does at a stream's end. Returns the output.
std::vector<short> Process(int n, const std::vector<short> &in, int ch, int chunk = 1024) {
  std::vector<short> out, buf(static_cast<size_t>(8192 * ch));
  int frames = static_cast<int>(in.size()) / ch;
  for (int off = 0; off < frames; off += chunk) {
    int len = std::min(chunk, frames - off);
    int got = SoundSpeed(n, in.data() + static_cast<size_t>(off * ch), len, buf.data(), 8192);
    EXPECT_GE(got, 0);
    if (got > 0) out.insert(out.end(), buf.begin(), buf.begin() + got * ch);
  }
  EXPECT_EQ(SoundSpeed_Flush(n), 0);
  for (int got; (got = SoundSpeed_Receive(n, buf.data(), 8192)) > 0;)
    out.insert(out.end(), buf.begin(), buf.begin() + got * ch);
  return out;
}

// Frequency of a mono signal from its upward zero crossings, interpolated,
// over the middle of the signal (the ends hold the processor's ramps).
double Frequency(const std::vector<short> &s, int rate) {
  size_t from = s.size() / 4, to = s.size() * 3 / 4;
  double first = -1, last = -1;
  int cycles = -1;
  for (size_t i = from; i + 1 < to; i++) {
    if (s[i] < 0 && s[i + 1] >= 0) {
      double t = static_cast<double>(i) + static_cast<double>(-s[i]) / (s[i + 1] - s[i]);
      if (first < 0) first = t;
      last = t;
      cycles++;
    }
  }
  return cycles > 0 ? cycles * rate / (last - first) : 0;
}

double Rms(const std::vector<short> &s) {
  double sum = 0;
  for (short v : s) sum += static_cast<double>(v) * v;
  return s.empty() ? 0 : std::sqrt(sum / static_cast<double>(s.size()));
}

class SoundSpeedTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SoundSpeed_Init(), 0); }
  void TearDown() override { SoundSpeed_Init(); }
};

}  // namespace

TEST_F(SoundSpeedTest, BypassLeavesTheCallerAlone) {
  std::vector<short> in = Tone(16000, 1, 440, 256), copy = in, out(512, 7);
  for (int n = 0; n < kSoundSpeedCount; n++) EXPECT_EQ(SoundSpeed(n, in.data(), 256, out.data(), 512), -2);
  EXPECT_EQ(in, copy);
  EXPECT_EQ(out, std::vector<short>(512, 7));
}

TEST_F(SoundSpeedTest, BadArgumentsAreRefused) {
  SoundSpeed_SetSpeed(1, 50);
  short buf[64] = {};
  EXPECT_EQ(SoundSpeed(3, buf, 32, buf, 64), -1);
  EXPECT_EQ(SoundSpeed(-1, buf, 32, buf, 64), -1);
  EXPECT_EQ(SoundSpeed(1, nullptr, 32, buf, 64), -1);
  EXPECT_EQ(SoundSpeed(1, buf, 0, buf, 64), -1);
  EXPECT_EQ(SoundSpeed(1, buf, 32, buf, 0), -1);
  EXPECT_EQ(SoundSpeed_SetSampleRate(3, 16000), -1);
  EXPECT_EQ(SoundSpeed_SetSampleRate(1, 0), -1);
  EXPECT_EQ(SoundSpeed_SetChannels(3, 1), -1);
  EXPECT_EQ(SoundSpeed_SetPitch(3, 1), -1);
  EXPECT_EQ(SoundSpeed_Flush(3), -1);
  EXPECT_EQ(SoundSpeed_Clear(3), -1);
}

TEST_F(SoundSpeedTest, SettingsAreClamped) {
  struct Case {
    int n, speed, stored;
  } speeds[] = {{0, 100, 90}, {2, 100, 100}, {1, -95, -90}, {1, 1500, 1000}, {0, 99, 99}, {3, 10, -1}};
  for (const auto &c : speeds) {
    SoundSpeed_SetSpeed(c.n, c.speed);
    EXPECT_EQ(SoundSpeed_GetSpeed(c.n), c.stored) << c.n << " " << c.speed;
  }
  struct PitchCase {
    int set, stored;
  } pitches[] = {{15, 10}, {-11, -10}, {3, 3}};
  for (const auto &c : pitches) {
    SoundSpeed_SetPitch(2, c.set);
    EXPECT_EQ(SoundSpeed_GetPitch(2), c.stored);
  }
}

TEST_F(SoundSpeedTest, TempoShortensByItsRatio) {
  // {processor, rate, channels, tempo %}: speech and music settings.
  struct Case {
    int n, rate, ch, tempo;
  } cases[] = {{1, 16000, 1, 50}, {0, 16000, 1, -30}, {2, 44100, 2, 50}, {2, 22050, 1, 100}};
  for (const auto &c : cases) {
    SoundSpeed_SetSampleRate(c.n, c.rate);
    SoundSpeed_SetChannels(c.n, c.ch);
    SoundSpeed_SetSpeed(c.n, c.tempo);
    int frames = c.rate;  // one second
    auto out = Process(c.n, Tone(c.rate, c.ch, 300, frames), c.ch);
    double expected = frames / (1 + c.tempo / 100.0);
    double got = static_cast<double>(out.size()) / c.ch;
    EXPECT_NEAR(got / expected, 1.0, 0.02) << "processor " << c.n << " tempo " << c.tempo;
    // Tempo leaves the pitch alone.
    if (c.ch == 1) {
      EXPECT_NEAR(Frequency(out, c.rate) / 300, 1.0, 0.01);
    }
  }
}

TEST_F(SoundSpeedTest, PitchShiftsByTheSemitoneRatio) {
  struct Case {
    int n, rate, semis;
  } cases[] = {{1, 16000, 5}, {1, 16000, -7}, {2, 22050, 10}, {2, 22050, -3}};
  for (const auto &c : cases) {
    SoundSpeed_Init();
    SoundSpeed_SetSampleRate(c.n, c.rate);
    SoundSpeed_SetPitch(c.n, c.semis);
    int frames = c.rate / 2;
    auto out = Process(c.n, Tone(c.rate, 1, 400, frames), 1);
    double ratio = Frequency(out, c.rate) / 400;
    EXPECT_NEAR(ratio / std::pow(2.0, c.semis / 12.0), 1.0, 0.01) << "semitones " << c.semis;
    // Pitch leaves the duration alone.
    EXPECT_NEAR(static_cast<double>(out.size()) / frames, 1.0, 0.02);
  }
}

TEST_F(SoundSpeedTest, FlushedTailDoesNotReachTheNextSentence) {
  SoundSpeed_SetSpeed(1, 50);
  auto first = Process(1, Tone(16000, 1, 500, 4000), 1);
  EXPECT_GT(Rms(std::vector<short>(first.end() - 200, first.end())), 1000) << "the sentence's tail was lost";
  std::vector<short> silence(4000, 0);
  auto second = Process(1, silence, 1);
  EXPECT_EQ(Rms(second), 0) << "the last sentence came out in this one";
}

TEST_F(SoundSpeedTest, ClearDropsStaleAudioAfterASeek) {
  SoundSpeed_SetSampleRate(2, 22050);
  SoundSpeed_SetSpeed(2, 25);
  std::vector<short> buf(8192);
  auto tone = Tone(22050, 1, 700, 3000);
  SoundSpeed(2, tone.data(), 3000, buf.data(), 8192);
  ASSERT_EQ(SoundSpeed_Clear(2), 0);
  auto after = Process(2, std::vector<short>(3000, 0), 1);
  EXPECT_EQ(Rms(after), 0);
}

TEST_F(SoundSpeedTest, SwitchingToBypassDropsWhatWasHeld) {
  SoundSpeed_SetSpeed(0, 60);
  std::vector<short> buf(8192);
  auto tone = Tone(16000, 1, 500, 3000);
  SoundSpeed(0, tone.data(), 3000, buf.data(), 8192);
  SoundSpeed_SetSpeed(0, 0);  // bypass: the caller plays its own input now
  SoundSpeed_SetSpeed(0, 60);
  auto after = Process(0, std::vector<short>(3000, 0), 1);
  EXPECT_EQ(Rms(after), 0);
}
