// Seeking. A plain seek lands within a second of the target and the audio
// that follows is the audio of the position reported: the file's tone steps
// up by 100 Hz every second, so the frequency heard tells the second it
// comes from. An exact seek lands on the very sample a decode from the start
// has there, and clips that follow each other in one file (stop, then go on)
// give the file's samples without a gap or a repeat; the reference is our
// own decode from the start.
#include "audio_support.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace audiotest;
using namespace std::chrono_literals;

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

// ---- Exact seeking ----

// Formats whose container times every packet exactly (the books' CBR MP3
// among them). A VBR MP3 seeks through its table of contents and AAC in
// MP4 through its priming, both a few ms off: not listed.
const Format kExactFormats[] = {
    {"cbr.mp3", "-c:a libmp3lame -b:a 64k"}, {"pcm.wav", "-c:a pcm_s16le"},
    {"lossless.flac", "-c:a flac"},          {"vorbis.ogg", "-c:a libvorbis -q:a 2"},
};

// Five seconds of a tone whose pitch glides and whose loudness wobbles, so
// that any two stretches differ.
std::string MakeGlide(const TempDir &dir, const Format &f, int rate, int channels) {
  const std::string file = dir / f.name;
  std::string src = "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*t*(200+150*t))*(0.6+0.4*sin(7*t))|0.4*sin(2*PI*t*330):s=" +
                    std::to_string(rate) + ":d=5\" -ac " + std::to_string(channels);
  return RunFfmpeg(src + " " + f.encode + " '" + file + "'") ? file : std::string();
}

// Largest difference between got and the reference from frame `at` on.
int MaxDiff(const std::vector<int16_t> &ref, int64_t at, const std::vector<int16_t> &got, int ch) {
  int worst = 0;
  for (size_t i = 0; i < got.size(); i++) {
    size_t j = static_cast<size_t>(at) * ch + i;
    if (j >= ref.size()) return 99999;  // more than the file has
    worst = std::max(worst, std::abs(ref[j] - got[i]));
  }
  return worst;
}

class ExactSeek : public ::testing::TestWithParam<Format> {};

TEST_P(ExactSeek, LandsOnTheSampleADecodeFromTheStartHasThere) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  TempDir dir;
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels == 1 ? "mono" : "stereo");
    const std::string file = MakeGlide(dir, GetParam(), 22050, channels);
    ASSERT_FALSE(file.empty());
    const Decoded ref = DecodeAll(file);
    ASSERT_EQ(ref.rc, 0);
    const int ch = ref.channels, rate = ref.rate;
    OpenedFile opened(file);
    FfAudioCtx *ctx = opened.ctx;
    ASSERT_NE(ctx, nullptr);
    // Forwards, backwards, inside the preroll of the start, on and off packet boundaries.
    for (int64_t frame : {int64_t{33075}, int64_t{11025}, int64_t{100}, int64_t{0}, int64_t{80001}, int64_t{1152 * 40},
                          int64_t{57331}}) {
      SCOPED_TRACE("frame " + std::to_string(frame));
      ASSERT_EQ(FfAudioSeekExact(ctx, frame), frame);
      std::vector<int16_t> got;
      int64_t first = -2;
      for (int guard = 0; guard < 1000 && got.size() < static_cast<size_t>(rate / 5 * ch); guard++) {
        int n = FfDecodeFrame(ctx);
        if (n == -2) break;
        if (n <= 0) continue;
        if (first == -2) first = ctx->chunk_frame;
        got.insert(got.end(), ctx->m_AudioBuf, ctx->m_AudioBuf + n / 2);
      }
      EXPECT_EQ(first, frame);
      ASSERT_GE(got.size(), static_cast<size_t>(rate / 5 * ch));
      EXPECT_LE(MaxDiff(ref.pcm, frame, got, ch), 1);
    }
  }
}

// A client that keeps what it is handed and counts the stops.
struct Collector {
  std::mutex m;
  std::condition_variable cv;
  std::vector<int16_t> pcm;  // guarded by m
  int stops = 0;             // guarded by m: finish calls
  size_t limit = 0;          // set before open: the writer waits (as for a full device) once pcm holds this much
};

int Collect(Audio *a, int bytes) {
  if (bytes < 1) return 0;
  auto *c = static_cast<Collector *>(a->data);
  {
    std::scoped_lock lock(c->m);
    c->pcm.insert(c->pcm.end(), a->ff_ctx->m_AudioBuf, a->ff_ctx->m_AudioBuf + bytes / 2);
  }
  auto full = [c] {
    std::scoped_lock lock(c->m);
    return c->limit > 0 && c->pcm.size() >= c->limit;
  };
  while (full() && a->state.load() == AUDIO_RUN) std::this_thread::sleep_for(1ms);
  return 0;
}
int KeepFormat(Audio *, int, int) { return 0; }
int CountStop(Audio *a) {
  auto *c = static_cast<Collector *>(a->data);
  std::scoped_lock lock(c->m);
  c->stops++;
  c->cv.notify_all();
  return 0;
}

// Clips that follow each other in one file: the first opens at its start
// (an exact open), each stops at its end and the next goes on from there;
// then a clip elsewhere is sought. Together they are the file's samples
// with nothing missing and nothing twice.
TEST_P(ExactSeek, ClipsThatFollowEachOtherPlayWithoutGapOrRepeat) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  TempDir dir;
  const std::string file = MakeGlide(dir, GetParam(), 22050, 1);
  ASSERT_FALSE(file.empty());
  const Decoded ref = DecodeAll(file);
  ASSERT_EQ(ref.rc, 0);
  const int rate = ref.rate;
  Collector c;
  Audio *a = AudioInit("EXACT", &gfile, Collect, KeepFormat, CountStop);
  ASSERT_NE(a, nullptr);
  a->data = &c;
  a->exact = 1;
  // Clip times in ms, as a book gives them: 1.234-1.500, 1.500-2.017, 2.017-2.018 (one frame or so).
  const int bounds[] = {1234, 1500, 2017, 2018};
  auto waitStops = [&](int n) {
    std::unique_lock lock(c.m);
    return c.cv.wait_for(lock, 30s, [&] { return c.stops >= n; });
  };
  a->stop_frame = AudioMsToFrame(bounds[1], rate);
  ASSERT_EQ(AudioOpen(a, file.c_str(), bounds[0], 0, 0), 0);
  ASSERT_TRUE(waitStops(1));
  EXPECT_EQ(AudioStatus(a), AUDIO_PAUSE);
  for (int i = 2; i < 4; i++) {
    EXPECT_EQ(AudioNextFrame(a), AudioMsToFrame(bounds[i - 1], rate));
    AudioContTo(a, AudioMsToFrame(bounds[i], rate));
    ASSERT_TRUE(waitStops(i));
  }
  std::vector<int16_t> run;
  {
    std::scoped_lock lock(c.m);
    run.swap(c.pcm);
  }
  const int64_t from = AudioMsToFrame(bounds[0], rate), to = AudioMsToFrame(bounds[3], rate);
  EXPECT_EQ(static_cast<int64_t>(run.size()), to - from);
  EXPECT_LE(MaxDiff(ref.pcm, from, run, 1), 1);

  // Back to an earlier clip: a seek, then its samples only.
  const int64_t back = AudioMsToFrame(300, rate), backEnd = AudioMsToFrame(650, rate);
  EXPECT_EQ(AudioSeekExact(a, back, backEnd, 1), back);
  ASSERT_TRUE(waitStops(4));
  {
    std::scoped_lock lock(c.m);
    run.swap(c.pcm);
  }
  EXPECT_EQ(static_cast<int64_t>(run.size()), backEnd - back);
  EXPECT_LE(MaxDiff(ref.pcm, back, run, 1), 1);
  AudioDeInit(a);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExactSeek, ::testing::ValuesIn(kExactFormats),
                         FileCaseName<Format>);

// Where a seek lands in the file's own time, whatever the codec's frame
// numbering: the file is a tone whose pitch rises kSweep Hz every second
// from kLowHz, so the pitch of what comes out tells when in the file it
// was made: within 20 ms of the target.
constexpr double kLowHz = 200, kSweep = 300;

std::string MakeSweep(const TempDir &dir, const Format &f) {
  const std::string file = dir / f.name;
  const std::string src = "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*(" + std::to_string(kLowHz) + "*t+" +
                          std::to_string(kSweep / 2) + "*t*t)):s=44100:d=8\"";
  return RunFfmpeg(src + " " + f.encode + " '" + file + "'") ? file : std::string();
}

// The file time (ms) of the first sample of pcm (mono or left channel),
// from the mean pitch between its first and last rising zero crossings
// (interpolated between samples) in the 0.4 s after the first 10 ms.
double SweepTimeMs(const std::vector<int16_t> &pcm, int ch, int rate) {
  const int from = rate / 100, len = rate * 2 / 5;
  double first = -1, last = -1;
  int cycles = -1;
  for (int i = from + 1; i < from + len && static_cast<size_t>(i * ch) < pcm.size(); i++) {
    const double a = pcm[static_cast<size_t>((i - 1) * ch)], b = pcm[static_cast<size_t>(i * ch)];
    if (!(a < 0 && b >= 0)) continue;
    const double t = (i - 1 + a / (a - b)) / rate;
    if (first < 0) first = t;
    last = t;
    cycles++;
  }
  if (cycles < 10) return -1e9;
  const double hz = cycles / (last - first);
  return ((hz - kLowHz) / kSweep - (first + last) / 2) * 1000;
}

class SeekLanding : public ::testing::TestWithParam<Format> {};

// An audio object in exact mode (as the music player's): opened at a
// place, or sought there, it reports the target and what is heard next
// comes from there.
TEST_P(SeekLanding, AudioSeekInExactModeReportsWhatIsHeard) {
  if (Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  TempDir dir;
  const std::string file = MakeSweep(dir, GetParam());
  ASSERT_FALSE(file.empty());
  Collector c;
  Audio *a = AudioInit("LANDING", &gfile, Collect, KeepFormat, CountStop);
  ASSERT_NE(a, nullptr);
  a->data = &c;
  a->exact = 1;
  c.limit = 44100 / 2;  // mono
  ASSERT_EQ(AudioOpen(a, file.c_str(), 1500, 0, 0), 0);
  const int rate = a->ff_ctx->out_sample_rate, ch = a->ff_ctx->out_channels;
  for (int target : {1500, 4700, 3100}) {
    SCOPED_TRACE("target " + std::to_string(target));
    if (target != 1500) {
      AudioPause(a);  // parked: what is collected from now on follows the seek
      {
        std::scoped_lock lock(c.m);
        c.pcm.clear();
      }
      EXPECT_EQ(AudioSeek(a, target, 1000, 0), AudioMsToFrame(target, rate));
    }
    EXPECT_EQ(a->pos_ms.load(), target);
    ASSERT_TRUE(WaitFor([&] {
      std::scoped_lock lock(c.m);
      return c.pcm.size() >= static_cast<size_t>(rate / 2 * ch);
    }));
    std::scoped_lock lock(c.m);
    EXPECT_NEAR(SweepTimeMs(c.pcm, ch, rate), target, 20);
  }
  AudioDeInit(a);
}

const Format kLandingFormats[] = {
    {"cbr.mp3", "-c:a libmp3lame -b:a 96k"}, {"vorbis.ogg", "-c:a libvorbis -q:a 2"},
    {"lossless.flac", "-c:a flac"},          {"wma.wma", "-c:a wmav2 -b:a 64k"},
    {"pcm.wav", "-c:a pcm_s16le"},           {"aac.m4a", "-c:a aac -b:a 64k"},
};
INSTANTIATE_TEST_SUITE_P(Formats, SeekLanding, ::testing::ValuesIn(kLandingFormats), FileCaseName<Format>);

}  // namespace
