// The resampler and the voice effects, on synthetic signals.
#include "ttsengine/pcm_dsp.h"
#include "ttsengine/voice_role.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>
#include <vector>

namespace {

std::vector<int16_t> sine(double freq, int rate, size_t n) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * freq * i / rate));
  return v;
}

int zeroCrossings(const std::vector<int16_t> &v, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; i++)
    if ((v[i - 1] < 0) != (v[i] < 0)) n++;
  return n;
}

TEST(Resampler, OneSecondBecomesSixteenThousandSamplesAtTheSamePitch) {
  Resampler r;
  ASSERT_TRUE(r.ok());
  std::vector<int16_t> in = sine(1000, 22050, 22050), out;
  r.Process(in.data(), in.size(), &out);
  r.Flush(&out);
  EXPECT_EQ(out.size(), 16000u);
  // 1 kHz has 2000 zero crossings a second; at a wrong rate it would not.
  int z = zeroCrossings(out, 1000, 15000);
  EXPECT_NEAR(z, 2000 * 14000 / 16000, 4);
}

TEST(Resampler, PiecesMakeTheSameLengthAndResetForgets) {
  Resampler r;
  std::vector<int16_t> in = sine(440, 22050, 11025), whole, pieces;
  r.Process(in.data(), in.size(), &whole);
  r.Flush(&whole);
  r.Reset();
  for (size_t i = 0; i < in.size(); i += 1060) r.Process(in.data() + i, std::min<size_t>(1060, in.size() - i), &pieces);
  r.Flush(&pieces);
  EXPECT_EQ(whole.size(), 8000u);
  EXPECT_EQ(pieces.size(), whole.size());
  // Starting a new text right after: no samples of the old one leak in.
  r.Reset();
  std::vector<int16_t> silence(2205, 0), out;
  r.Process(silence.data(), silence.size(), &out);
  r.Flush(&out);
  EXPECT_EQ(out.size(), 1600u);
  for (int16_t s : out) ASSERT_EQ(s, 0);
}

TEST(PcmEffect, EchoRepeatsAfterItsDelayAndDecays) {
  PcmEffect e;
  e.Reset(2);
  std::vector<int16_t> pcm(6000, 0);
  pcm[0] = 10000;
  e.Process(pcm.data(), pcm.size());
  EXPECT_EQ(pcm[0], 10000);
  EXPECT_EQ(pcm[2880], 4500);
  EXPECT_EQ(pcm[5760], 2025);
  EXPECT_GT(e.TailSamples(), 0u);
  e.Reset(0);
  EXPECT_EQ(e.TailSamples(), 0u);
  std::vector<int16_t> loud(100, 30000);
  e.Reset(6);
  e.Process(loud.data(), loud.size());  // clips instead of wrapping around
  for (int16_t s : loud) EXPECT_GT(s, 0);
}

TEST(PcmEffect, OnlyTheMenuEffectsAreSupported) {
  for (int m : {0, 2, 6, 7}) EXPECT_TRUE(PcmEffect::Supported(m)) << m;
  for (int m : {-1, 1, 3, 4, 5, 8}) EXPECT_FALSE(PcmEffect::Supported(m)) << m;
}

TEST(VoiceRole, TheEightSettingsSoundDifferent) {
  const int pairs[8][2] = {{3, 19}, {4, 17}, {15, 19}, {56, 56}, {14, 19}, {22, 19}, {55, 19}, {54, 17}};
  std::set<std::tuple<std::string, int, int>> voices;
  VoiceSettings s;
  for (auto &p : pairs) {
    const VoiceRole *main = VoiceRoleFind(p[0]);
    const VoiceRole *companion = VoiceRoleFind(p[1]);
    ASSERT_TRUE(main && companion) << p[0] << "," << p[1];
    EspeakVoice v = VoiceRoleVoice(*main, RunLang::kChinese, s);
    voices.emplace(v.name, v.pitch, v.range);
    EXPECT_EQ(VoiceRoleVoice(*companion, RunLang::kEnglish, s).name.rfind("en", 0), 0u);
  }
  EXPECT_EQ(voices.size(), 8u);
  EXPECT_EQ(VoiceRoleVoice(*VoiceRoleFind(15), RunLang::kChinese, s).name.rfind("yue", 0), 0u);
  EXPECT_EQ(VoiceRoleVoice(*VoiceRoleFind(3), RunLang::kChinese, s).name.rfind("cmn-latn-pinyin", 0), 0u);
  EXPECT_EQ(VoiceRoleFind(99), nullptr);
}

TEST(VoiceRole, SpeedPitchAndVolumeMapOntoEspeakRanges) {
  const VoiceRole &r = *VoiceRoleFind(3);
  VoiceSettings s;
  EspeakVoice normal = VoiceRoleVoice(r, RunLang::kChinese, s);
  EXPECT_EQ(normal.rate, 175);
  EXPECT_EQ(normal.volume, 100);
  s.speed = 32000;  // the fastest speed setting reaches the engine as 32000
  EXPECT_EQ(VoiceRoleVoice(r, RunLang::kChinese, s).rate, 350);
  s.speed = -32000;
  EXPECT_EQ(VoiceRoleVoice(r, RunLang::kChinese, s).rate, 88);
  s.speed = -32768;
  EXPECT_GE(VoiceRoleVoice(r, RunLang::kChinese, s).rate, 80);
  s = {};
  s.pitch = 5 * 6400;
  EXPECT_GT(VoiceRoleVoice(r, RunLang::kChinese, s).pitch, normal.pitch);
  s.pitch = -32768;
  EXPECT_GE(VoiceRoleVoice(r, RunLang::kChinese, s).pitch, 0);
  s = {};
  s.volume = -32768;
  EXPECT_EQ(VoiceRoleVoice(r, RunLang::kChinese, s).volume, 0);
}

}  // namespace
