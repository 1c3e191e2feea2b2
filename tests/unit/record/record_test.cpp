// The recording pipeline against the host board's capture device playing
// the counter pattern (frame k holds k mod 65536), so that every frame of a
// recording says where it came from.
#include "board/board.h"
#include "board/host/host.h"
#include "record/record.h"
#include "support/files.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t le32(const std::string &s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; i--) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

int deviceRead(void *arg, void *buf, int len) { return BoardDspRead(*static_cast<int *>(arg), buf, len); }

// One recording from the counter capture into a WAV file.
struct CounterRecording {
  TempRoot root;
  std::string path = root.at("/rec.wav");
  int dsp = -1;
  RecData *rec = nullptr;

  CounterRecording(int rate, int ch, const CodecOps *ops = &WaveEncode) {
    BoardHostSetCapture(":counter");
    dsp = BoardDspOpen(rate, ch, 1);
    rec = MallocRecData(32);
    rec->fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    rec->ops = ops;
    rec->read = deviceRead;
    rec->read_arg = &dsp;
    rec->live = 1;
  }
  ~CounterRecording() {
    BoardDspClose(dsp);
    close(rec->fd);
    FreeRecData(rec);
  }
  // Frame values of channel 0 after the 512-byte header.
  std::vector<uint16_t> frames(int ch) {
    std::string bytes = ReadFile(path);
    std::vector<uint16_t> out;
    for (size_t i = 512; i + 2 * ch <= bytes.size(); i += 2 * ch)
      out.push_back(static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
  }
};

// Runs of consecutive counter values: their lengths and the jumps between them.
struct Runs {
  std::vector<size_t> lengths;
  std::vector<int> jumps;  // frames skipped between runs (never negative if nothing repeats)
};

Runs runsOf(const std::vector<uint16_t> &f) {
  Runs r;
  if (f.empty()) return r;
  size_t len = 1;
  for (size_t i = 1; i < f.size(); i++) {
    auto step = static_cast<uint16_t>(f[i] - f[i - 1]);
    if (step == 1) {
      len++;
      continue;
    }
    r.lengths.push_back(len);
    r.jumps.push_back(static_cast<int16_t>(step) - 1);
    len = 1;
  }
  r.lengths.push_back(len);
  return r;
}

TEST(RecordPipeline, PausesLeaveOutExactlyThePausedSpans) {
  struct Case {
    int rate, ch;
  };
  for (Case c : {Case{22050, 1}, Case{44100, 2}}) {
    CounterRecording r(c.rate, c.ch);
    r.rec->pause = 1;  // as the screen starts: paused until the input is routed
    ASSERT_EQ(EncodeInit(r.rec, c.ch, 16, c.rate), 0);
    // Pause flips at these times (ms after the first unpause): on, off, on, off.
    std::vector<double> at;
    auto t0 = Clock::now();
    auto flip = [&](int pause, int thenMs) {
      EncodeSetPause(r.rec, pause);
      at.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      sleepMs(thenMs);
    };
    sleepMs(100);
    t0 = Clock::now();
    for (auto [pause, ms] : {std::pair{0, 300}, {1, 400}, {0, 300}, {1, 200}, {0, 300}}) flip(pause, ms);
    EncodeDeinit(r.rec);
    Runs runs = runsOf(r.frames(c.ch));
    ASSERT_EQ(runs.jumps.size(), 2u) << c.rate;
    // Nothing repeated or reordered; the gaps are the paused spans, give or
    // take a read and the reader's wake-up.
    const double perMs = c.rate / 1000.0;
    EXPECT_NEAR(runs.jumps[0] / perMs, at[2] - at[1], 60);
    EXPECT_NEAR(runs.jumps[1] / perMs, at[4] - at[3], 60);
    EXPECT_NEAR(runs.lengths[0] / perMs, at[1] - at[0], 60);
    EXPECT_NEAR(runs.lengths[1] / perMs, at[3] - at[2], 60);
    EXPECT_EQ(r.rec->overrun_bytes, 0);
  }
}

TEST(RecordPipeline, HeaderCountsOnlyAudio) {
  struct Case {
    int rate, ch, bytes;
  };
  for (Case c : {Case{22050, 1, 44100}, Case{44100, 2, 4 * 44100 + 8}}) {
    TempRoot root;
    std::string path = root.at("/h.wav");
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    void *h = WaveEncode.init(fd, c.ch, 16, c.rate);
    ASSERT_NE(h, nullptr);
    std::vector<unsigned char> pcm(kRecBlock, 0x11);
    for (int left = c.bytes; left > 0; left -= kRecBlock) {
      const unsigned char *out = nullptr;
      int n = WaveEncode.encode(h, pcm.data(), std::min(left, kRecBlock), c.ch, &out);
      ASSERT_EQ(write(fd, out, static_cast<size_t>(n)), n);
    }
    ASSERT_EQ(WaveEncode.finish(h, fd), 0);
    WaveEncode.deinit(h);
    close(fd);
    std::string f = ReadFile(path);
    ASSERT_EQ(f.size(), 512u + c.bytes);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(f, 4), 512u - 8 + c.bytes);
    EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(f, 16), 16u);
    EXPECT_EQ(le32(f, 20), 1u | static_cast<uint32_t>(c.ch) << 16);  // PCM, channels
    EXPECT_EQ(le32(f, 24), static_cast<uint32_t>(c.rate));
    EXPECT_EQ(le32(f, 28), static_cast<uint32_t>(c.rate * c.ch * 2));
    EXPECT_EQ(le32(f, 32), static_cast<uint32_t>(c.ch * 2) | 16u << 16);  // block align, bits
    EXPECT_EQ(f.substr(36, 4), "JUNK");
    EXPECT_EQ(le32(f, 40), 460u);
    EXPECT_EQ(f.substr(44, 460), std::string(460, '\0'));
    EXPECT_EQ(f.substr(504, 4), "data");
    EXPECT_EQ(le32(f, 508), static_cast<uint32_t>(c.bytes));
  }
}

// A card that stalls: the tenth block takes 300 ms to write.
int g_calls = 0;
int stallingEncode(void *h, const unsigned char *pcm, int bytes, int ch, const unsigned char **out) {
  if (++g_calls == 10) sleepMs(300);
  return WaveEncode.encode(h, pcm, bytes, ch, out);
}

TEST(RecordPipeline, StallingCardLosesNothingAndStopsPromptly) {
  CodecOps slow = WaveEncode;
  slow.encode = stallingEncode;
  g_calls = 0;
  CounterRecording r(44100, 2, &slow);
  ASSERT_EQ(EncodeInit(r.rec, 2, 16, 44100), 0);
  sleepMs(1000);
  auto t0 = Clock::now();
  EncodeDeinit(r.rec);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1));
  EXPECT_GE(g_calls, 10);
  EXPECT_EQ(r.rec->overrun_bytes, 0);
  Runs runs = runsOf(r.frames(2));
  EXPECT_EQ(runs.jumps.size(), 0u);
  EXPECT_GE(runs.lengths[0], 44100u * 9 / 10);  // the second recorded, from the device's open on
}

TEST(RecordPipeline, Mp3StartsWithAFrameAndCarriesNoTag) {
  CounterRecording r(22050, 1, &LameMp3Encode);
  BoardHostSetCapture("");
  ASSERT_EQ(EncodeInit(r.rec, 1, 16, 22050), 0);
  sleepMs(500);
  EncodeDeinit(r.rec);
  std::string f = ReadFile(r.path);
  ASSERT_GE(f.size(), 4u);
  // An MPEG-2 layer III frame header at the start: no tag before the audio.
  EXPECT_EQ(static_cast<unsigned char>(f[0]), 0xff);
  EXPECT_EQ(static_cast<unsigned char>(f[1]) & 0xe0, 0xe0);
  EXPECT_EQ(f.find("Xing"), std::string::npos);
  EXPECT_EQ(f.find("Info"), std::string::npos);
}

TEST(RecordMemo, KeyHeldForASecondAndAHalfMakesAnMp3) {
  TempRoot root;
  BoardHostSetCapture(":counter");
  BoardHostSetRecordKey(1);
  std::thread release([] {
    sleepMs(1500);
    BoardHostSetRecordKey(0);
  });
  std::string name = MicSoundRecord();
  release.join();
  ASSERT_EQ(name.rfind("/home/tag/tag", 0), 0u) << name;
  std::string mp3 = ReadFile(root.at(name));
  ASSERT_GT(mp3.size(), 2000u);
  EXPECT_EQ(static_cast<unsigned char>(mp3[0]), 0xff);
}

}  // namespace

namespace {

double rms(const std::vector<int16_t> &s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; i++) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(RecordSpeex, SteadyNoiseIsSuppressedWellBelowTheScaling) {
  auto *st = record_speex_init(512, 22050);
  ASSERT_NE(st, nullptr);
  std::vector<int16_t> noise(22050 * 2);
  unsigned seed = 7;
  for (int16_t &v : noise) {
    seed = seed * 1103515245 + 12345;
    v = static_cast<int16_t>(static_cast<int>(seed >> 16 & 0xfff) - 2048);
  }
  std::vector<int16_t> out = noise;
  // As the encoder hands it over: one block of 2048 samples at a time.
  for (size_t at = 0; at + 2048 <= out.size(); at += 2048) record_speex_denoise(st, out.data() + at, 2048, 512);
  record_speex_destroy(st);
  size_t tail = out.size() / 2;
  EXPECT_LT(rms(out, tail, out.size()), 0.85 * rms(noise, tail, out.size()) / 2);
}

}  // namespace
