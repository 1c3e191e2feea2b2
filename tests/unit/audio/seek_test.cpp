// Seeking lands within a second of the target and the audio that follows is
// the audio of the position reported. The file's tone steps up by 100 Hz
// every second, so the frequency heard tells the second it comes from.
#include "audio_support.h"

#include <gtest/gtest.h>

using namespace audiotest;

namespace {

constexpr int kSeconds = 12;
constexpr int kBaseHz = 300, kStepHz = 100;

const Format kFormats[] = {
    {"cbr.mp3", "-c:a libmp3lame -b:a 96k"}, {"vbr.mp3", "-c:a libmp3lame -q:a 5"},
    {"vorbis.ogg", "-c:a libvorbis -q:a 2"},  {"lossless.flac", "-c:a flac"},
    {"aac.m4a", "-c:a aac -b:a 64k"},         {"wma.wma", "-c:a wmav2 -b:a 64k"},
    {"pcm.wav", "-c:a pcm_s16le"},            {"aac.aac", "-c:a aac -b:a 64k"},
};

std::string MakeSteps(const TempDir &dir, const Format &f) {
  const std::string file = dir / f.name;
  std::string src = "-f lavfi -i \"aevalsrc=0.6*sin(2*PI*t*(" + std::to_string(kBaseHz) + "+" +
                    std::to_string(kStepHz) + "*floor(t))):s=22050:d=" + std::to_string(kSeconds) + "\"";
  return RunFfmpeg(src + " " + f.encode + " '" + file + "'") ? file : std::string();
}

class Seek : public ::testing::TestWithParam<Format> {};

TEST_P(Seek, LandsNearTargetOnTheRightContent) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  TempDir dir;
  const std::string file = MakeSteps(dir, GetParam());
  ASSERT_FALSE(file.empty());
  OpenedFile opened(file);
  FfAudioCtx *ctx = opened.ctx;
  ASSERT_NE(ctx, nullptr);
  const int rate = ctx->out_sample_rate, ch = ctx->out_channels;

  // Forwards, backwards, to the start, and across most of the file.
  for (int target : {5500, 2300, 9000, 0, 7000, 1000, 10400}) {
    SCOPED_TRACE("target " + std::to_string(target));
    int64_t frames = FfAudioSeek(ctx, target, 1000, ctx->seek_by_bytes);
    ASSERT_GE(frames, 0);
    const int posMs = static_cast<int>(frames * 1000 / rate);
    EXPECT_LE(std::abs(posMs - target), 1000) << "landed at " << posMs;

    // 2 s of what follows.
    std::vector<int16_t> pcm;
    for (int guard = 0; guard < 4000 && pcm.size() < static_cast<size_t>(rate * 2 * ch); guard++) {
      int n = FfDecodeFrame(ctx);
      if (n == -2) break;
      if (n > 0) pcm.insert(pcm.end(), ctx->m_AudioBuf, ctx->m_AudioBuf + n / 2);
    }
    // The middle of the first whole second after the landing point.
    const int second = (posMs + 999) / 1000;
    if (second >= kSeconds) continue;
    const int from = (second * 1000 + 300 - posMs) * rate / 1000;
    const int len = 400 * rate / 1000;
    ASSERT_LE(static_cast<size_t>((from + len) * ch), pcm.size());
    double hz = Frequency(pcm.data() + static_cast<size_t>(from) * ch, len, ch, rate);
    EXPECT_NEAR(hz, kBaseHz + kStepHz * second, 30) << "second " << second;
  }
  // Beyond the end: an error, or (formats that clamp) a place inside the file.
  EXPECT_LE(FfAudioSeek(ctx, 3600000, 1000, ctx->seek_by_bytes), static_cast<int64_t>(kSeconds) * rate);
}

INSTANTIATE_TEST_SUITE_P(Formats, Seek, ::testing::ValuesIn(kFormats),
                         FileCaseName<Format>);

}  // namespace
