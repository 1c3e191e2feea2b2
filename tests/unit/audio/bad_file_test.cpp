// Broken files are normal input: every malformed variant of every committed
// seed (truncated, bit-flipped, zeroed or scrambled headers, blown-up length
// fields) either fails to open with an error or decodes to its end within a
// bounded number of chunks, seeks without harm, and never crashes.
#include "audio_support.h"

#include "core/runtime/log.h"
#include "tools/badaudio/badaudio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace audiotest;

namespace {

const char *const kSeeds[] = {"cbr.mp3",    "vbr.mp3",  "vorbis.ogg", "mono.flac",     "aac.m4a",
                              "adts.aac",   "wma2.wma", "u8.wav",     "s16.wav",       "f32.wav",
                              "noduration.mka", "streams10.mka"};

// More chunks than any variant of a seed below a second can honestly give.
constexpr int kMaxChunks = 20000;

class QuietLog {
 public:
  QuietLog() : level_(LogGetLevel()) { LogSetLevel(-1); }
  ~QuietLog() { LogSetLevel(level_); }

 private:
  int level_;
};

// Open, decode to the end, seek about, decode a little more. Returns the
// chunks the first decode took (kMaxChunks + 1 when it did not end), or -1
// when the file did not open.
int Exercise(const std::string &path) {
  OpenedFile f(path);
  if (!f.ctx) return -1;
  // Duration: none or a number of milliseconds that fits the callers' int.
  EXPECT_TRUE(f.ctx->duration == kNoDuration || f.ctx->duration >= 0);
  int chunks = 0;
  for (int n = 0; n != -2 && chunks <= kMaxChunks; chunks++) n = FfDecodeFrame(f.ctx);
  for (int i = 0; i < 64 && FfDecodeFlush(f.ctx) > 0; i++) {
  }
  for (int ms : {0, 300, 100000}) {
    FfAudioSeek(f.ctx, ms, 1000, f.ctx->seek_by_bytes);
    for (int i = 0, n = 0; i < 50 && n != -2; i++) n = FfDecodeFrame(f.ctx);
  }
  return chunks;
}

// One seed and all its variants per test, so that they run in parallel.
class BadFiles : public ::testing::TestWithParam<const char *> {};

TEST_P(BadFiles, OpenDecodeSeekEndOrFail) {
  QuietLog quiet;
  TempDir dir;
  const char *seed = GetParam();
  const std::string good = ReadFile(DataFile(seed));
  ASSERT_FALSE(good.empty()) << seed;
  // The seed itself decodes.
  ASSERT_GT(Exercise(DataFile(seed)), 0) << seed;
  int files = 0, opened = 0;
  for (const badaudio::Variant &v : badaudio::Variants(good)) {
    const std::string path = dir / (std::string(seed) + "." + v.name);
    WriteFile(path, v.bytes);
    SCOPED_TRACE(path);
    int chunks = Exercise(path);
    EXPECT_LE(chunks, kMaxChunks) << "decoding did not end";
    files++;
    opened += chunks >= 0;
    std::remove(path.c_str());
  }
  // Not everything is turned away at the door: the decode paths are reached
  // (few for Vorbis, whose codebooks fill most of a small file).
  EXPECT_GT(opened, 0) << opened << " of " << files << " opened";
  // The duration call on a broken file: a number or -1.
  const std::string cut = dir / "cut";
  WriteFile(cut, good.substr(0, good.size() / 2));
  EXPECT_GE(get_audio_total_ms(cut.c_str()), -1);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BadFiles, ::testing::ValuesIn(kSeeds), [](const auto &info) {
  std::string n = info.param;
  for (char &c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

// The same through audio objects: the thread ends by itself on a broken
// file (finish is called), and close always returns.
struct Finished {
  std::mutex m;
  std::condition_variable cv;
  int done = 0;
  long bytes = 0;
};

int CountWriter(Audio *a, int bytes) {
  if (bytes > 0) static_cast<Finished *>(a->data)->bytes += bytes;
  return 0;
}
int AnyFormat(Audio *, int, int) { return 0; }
int Finish(Audio *a) {
  auto *f = static_cast<Finished *>(a->data);
  std::scoped_lock lock(f->m);
  f->done++;
  f->cv.notify_all();
  return 0;
}

TEST(BadFilesThread, DecoderThreadEndsOnItsOwn) {
  QuietLog quiet;
  TempDir dir;
  Finished fin;
  Audio *audio = AudioInit("bad", &gfile, CountWriter, AnyFormat, Finish);
  ASSERT_NE(audio, nullptr);
  audio->data = &fin;
  for (const char *seed : kSeeds) {
    const std::string good = ReadFile(DataFile(seed));
    for (const badaudio::Variant &v : badaudio::Variants(good, 7)) {
      if (v.name.rfind("trunc-", 0) != 0 && v.name.rfind("flip", 0) != 0) continue;
      const std::string path = dir / (std::string(seed) + "." + v.name);
      WriteFile(path, v.bytes);
      SCOPED_TRACE(path);
      {
        std::scoped_lock lock(fin.m);
        fin.done = 0;
      }
      if (AudioOpen(audio, path.c_str(), v.name == "flip1-0" ? 200 : 0, 0, 0) == 0) {
        std::unique_lock lock(fin.m);
        // A guard against a hang, not a speed requirement.
        EXPECT_TRUE(fin.cv.wait_for(lock, std::chrono::seconds(60), [&] { return fin.done > 0; }));
        lock.unlock();
        EXPECT_EQ(AudioStatus(audio), AUDIO_STOP);
        EXPECT_EQ(AudioClose(audio), 0);
        EXPECT_EQ(fin.done, 1);
      }
      EXPECT_EQ(audio->open, 0);
      EXPECT_EQ(audio->src.fd, -1);
      std::remove(path.c_str());
    }
  }
  AudioDeInit(audio);
}

}  // namespace
