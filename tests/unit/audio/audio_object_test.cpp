// The audio object: its decoder thread, pause, continue, seek, close, the
// stream choice, the equaliser and tempo hooks, the duration, and the
// waiting prompt before a long seek. Uses the committed files only, so it
// runs under qemu too.
#include "audio_support.h"

#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "sound/af_equalizer.h"
#include "sound/sound_speed.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

// A guard against hangs in waits below, not a speed requirement.
constexpr auto kHang = 60s;

// What the client saw, and a tap that lets the test hand out chunks one by
// one. The writer waits for credit while the player runs; like the player's
// writer it gives up waiting when the state is no longer "run".
struct Client {
  std::mutex m;
  std::condition_variable cv;
  std::vector<int16_t> pcm;  // guarded by m
  int chunks = 0;            // guarded by m
  int finished = 0;          // guarded by m
  int credit = -1;           // guarded by m; -1 unlimited
  int rate = 0, channels = 0;
  int formatResult = 0;
  Audio *closeFromFinish = nullptr;
  int closeFromFinishResult = 1;

  void give(int n) {
    std::scoped_lock lock(m);
    credit = n;
    cv.notify_all();
  }
  bool waitFinished() {
    std::unique_lock lock(m);
    return cv.wait_for(lock, kHang, [&] { return finished > 0; });
  }
  bool waitChunks(int n) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, kHang, [&] { return chunks >= n; });
  }
  int chunkCount() {
    std::scoped_lock lock(m);
    return chunks;
  }
};

Client *Of(Audio *a) { return static_cast<Client *>(a->data); }

int Writer(Audio *a, int bytes) {
  Client *c = Of(a);
  if (bytes < 1) return 0;
  std::unique_lock lock(c->m);
  while (c->credit == 0) {
    if (AudioStatus(a) != AUDIO_RUN) return -1;  // paused or stopped: drop the chunk
    c->cv.wait_for(lock, 1ms);
  }
  if (c->credit > 0) c->credit--;
  c->pcm.insert(c->pcm.end(), a->ff_ctx->m_AudioBuf, a->ff_ctx->m_AudioBuf + bytes / 2);
  c->chunks++;
  AudioAdvance(a, bytes / 2 / a->ff_ctx->out_channels);
  c->cv.notify_all();
  return 0;
}

int Format(Audio *a, int rate, int channels) {
  Of(a)->rate = rate;
  Of(a)->channels = channels;
  return Of(a)->formatResult;
}

int Finish(Audio *a) {
  Client *c = Of(a);
  if (c->closeFromFinish) c->closeFromFinishResult = AudioClose(c->closeFromFinish);
  std::scoped_lock lock(c->m);
  c->finished++;
  c->cv.notify_all();
  return 0;
}

struct AudioPtr {
  Audio *a;
  explicit AudioPtr(Client *c, const AudioSource *src = &gfile) : a(AudioInit("TEST", src, Writer, Format, Finish)) {
    if (a) a->data = c;
  }
  ~AudioPtr() { AudioDeInit(a); }
  Audio *operator->() const { return a; }
  operator Audio *() const { return a; }
};

// 8000 Hz 16-bit mono whose sample i is i mod 32768: every sample tells
// where it comes from. FFmpeg reads it in chunks of 2048 frames.
std::string CounterWav(const TempDir &dir, int seconds) {
  std::vector<int16_t> pcm(static_cast<size_t>(seconds) * 8000);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = static_cast<int16_t>(i % 32768);
  const std::string path = dir / "counter.wav";
  WriteFile(path, WavHeader(1, 1, 8000, 16, 0, static_cast<uint32_t>(pcm.size() * 2)) + Bytes(pcm));
  return path;
}

TEST(Audio, InitRefusesMissingParts) {
  EXPECT_EQ(AudioInit(nullptr, &gfile, Writer, Format, Finish), nullptr);
  EXPECT_EQ(AudioInit("x", nullptr, Writer, Format, Finish), nullptr);
  EXPECT_EQ(AudioInit("x", &gfile, nullptr, Format, Finish), nullptr);
  EXPECT_EQ(AudioInit("x", &gfile, Writer, nullptr, Finish), nullptr);
  EXPECT_EQ(AudioInit("x", &gfile, Writer, Format, nullptr), nullptr);
  AudioDeInit(nullptr);
  // Not open: every control is a no-op.
  Client c;
  AudioPtr a(&c);
  AudioPause(a);
  AudioCont(a);
  EXPECT_EQ(AudioClose(a), 0);
  EXPECT_EQ(AudioSeek(a, 1000, 1000, 0), 0);
  EXPECT_EQ(AudioStatus(a), AUDIO_RUN);
}

// Played to the end, the writer got exactly what the decoder gives, then
// the finish function ran once; the object can be opened again.
TEST(Audio, PlaysToTheEndThenFinishes) {
  for (const char *name : {"u8.wav", "s16.wav", "vorbis.ogg", "cbr.mp3"}) {
    SCOPED_TRACE(name);
    Client c;
    AudioPtr a(&c);
    ASSERT_EQ(AudioOpen(a, DataFile(name).c_str(), 0, 0, 0), 0);
    EXPECT_EQ(a->open, 1);
    ASSERT_TRUE(c.waitFinished());
    EXPECT_EQ(AudioStatus(a), AUDIO_STOP);
    EXPECT_EQ(a->ended, 1);
    Decoded ref = DecodeAll(DataFile(name));
    EXPECT_EQ(c.rate, ref.rate);
    EXPECT_EQ(c.channels, ref.channels);
    {
      std::scoped_lock lock(c.m);
      EXPECT_EQ(c.pcm, ref.pcm);
      EXPECT_EQ(a->pos_frames, static_cast<int64_t>(ref.pcm.size()) / ref.channels);
    }
    EXPECT_EQ(AudioClose(a), 0);
    EXPECT_EQ(a->open, 0);
    EXPECT_EQ(a->src.fd, -1);
    EXPECT_EQ(c.finished, 1);
    // Again, on the same object.
    c.finished = 0;
    ASSERT_EQ(AudioOpen(a, DataFile("u8.wav").c_str(), 0, 0, 0), 0);
    ASSERT_TRUE(c.waitFinished());
    EXPECT_EQ(AudioClose(a), 0);
  }
}

TEST(Audio, OpenFailuresLeaveNothingOpen) {
  const int level = LogGetLevel();
  LogSetLevel(-1);
  Client c;
  AudioPtr a(&c);
  TempDir dir;
  WriteFile(dir / "text.mp3", std::string(5000, 'a'));
  for (std::string path : {dir / "missing.mp3", dir / "text.mp3", dir.path()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(AudioOpen(a, path.c_str(), 0, 0, 0), -1);
    EXPECT_EQ(a->open, 0);
    EXPECT_EQ(a->src.fd, -1);
    EXPECT_EQ(a->ff_ctx, nullptr);
  }
  // The output refuses the format: the open fails and closes the file.
  c.formatResult = -1;
  EXPECT_EQ(AudioOpen(a, DataFile("u8.wav").c_str(), 0, 0, 0), -1);
  EXPECT_EQ(c.rate, 8000);
  EXPECT_EQ(a->src.fd, -1);
  EXPECT_EQ(a->ff_ctx, nullptr);
  EXPECT_EQ(c.finished, 0);
  LogSetLevel(level);
}

// Pause returns with the thread parked: no chunk is written until continue.
TEST(Audio, PauseHoldsTheThreadUntilContinue) {
  TempDir dir;
  Client c;
  c.credit = 3;
  AudioPtr a(&c);
  ASSERT_EQ(AudioOpen(a, CounterWav(dir, 5).c_str(), 0, 0, 0), 0);
  ASSERT_TRUE(c.waitChunks(3));
  AudioPause(a);  // the writer waits for credit, sees the pause, gives up
  EXPECT_EQ(AudioStatus(a), AUDIO_PAUSE);
  const int held = c.chunkCount();
  c.give(-1);
  std::this_thread::sleep_for(20ms);  // room for a wrongly running thread to write
  EXPECT_EQ(c.chunkCount(), held);
  EXPECT_EQ(c.finished, 0);
  AudioPause(a);  // a second pause is harmless
  AudioCont(a);
  EXPECT_TRUE(c.waitFinished());
  EXPECT_EQ(AudioClose(a), 0);
}

// A seek, paused or not, moves the position and leaves the player running;
// what is written next is the audio of the new position.
TEST(Audio, SeekResumesPlayback) {
  TempDir dir;
  Client c;
  c.credit = 1;
  AudioPtr a(&c);
  ASSERT_EQ(AudioOpen(a, CounterWav(dir, 5).c_str(), 0, 0, 0), 0);
  ASSERT_TRUE(c.waitChunks(1));
  AudioPause(a);
  int64_t frames = AudioSeek(a, 3000, 100, 0);
  EXPECT_NEAR(static_cast<double>(frames), 24000, 800);
  EXPECT_EQ(a->pos_ms, static_cast<int>(frames * 1000 / 8000));
  EXPECT_EQ(AudioStatus(a), AUDIO_RUN);
  size_t mark;
  {
    std::scoped_lock lock(c.m);
    mark = c.pcm.size();
    c.credit = 1;
  }
  ASSERT_TRUE(c.waitChunks(2));
  {
    std::scoped_lock lock(c.m);
    EXPECT_EQ(c.pcm[mark], frames % 32768);
  }
  // Seek while running (the writer is waiting for credit), backwards.
  frames = AudioSeek(a, 1000, 100, 0);
  EXPECT_NEAR(static_cast<double>(frames), 8000, 800);
  EXPECT_EQ(AudioStatus(a), AUDIO_RUN);
  {
    std::scoped_lock lock(c.m);
    mark = c.pcm.size();
  }
  c.give(-1);
  EXPECT_TRUE(c.waitFinished());
  {
    std::scoped_lock lock(c.m);
    EXPECT_EQ(c.pcm[mark], frames);
    // Everything after the last seek point was written.
    EXPECT_EQ(a->pos_frames, 40000);
    EXPECT_EQ(c.pcm.size() - mark, static_cast<size_t>(40000 - frames));
  }
  // After the end the seek still works on the file; the thread stays ended.
  frames = AudioSeek(a, 2000, 100, 0);
  EXPECT_NEAR(static_cast<double>(frames), 16000, 800);
  EXPECT_EQ(AudioStatus(a), AUDIO_STOP);
  EXPECT_EQ(AudioClose(a), 0);
}

// Close while the writer is blocked: it sees the stop and the join returns.
TEST(Audio, CloseStopsABlockedWriter) {
  Client c;
  c.credit = 0;
  AudioPtr a(&c);
  ASSERT_EQ(AudioOpen(a, DataFile("vorbis.ogg").c_str(), 0, 0, 0), 0);
  EXPECT_EQ(AudioClose(a), 0);
  EXPECT_EQ(c.finished, 1);
  EXPECT_EQ(c.chunkCount(), 0);
  EXPECT_EQ(AudioClose(a), 0);  // already closed
}

// The finish function runs on the decoder thread: closing from there is
// refused instead of joining itself.
TEST(Audio, CloseFromItsOwnThreadIsRefused) {
  Client c;
  AudioPtr a(&c);
  c.closeFromFinish = a;
  ASSERT_EQ(AudioOpen(a, DataFile("u8.wav").c_str(), 0, 0, 0), 0);
  ASSERT_TRUE(c.waitFinished());
  EXPECT_EQ(c.closeFromFinishResult, -1);
  c.closeFromFinish = nullptr;
  EXPECT_EQ(AudioClose(a), 0);
}

// Ten audio streams: the first eight are offered, stream k plays stream k,
// an index past them plays the first.
TEST(Audio, StreamChoice) {
  struct {
    int asked, plays;
  } const cases[] = {{0, 0}, {3, 3}, {7, 7}, {8, 0}, {9, 0}, {-1, 0}};
  for (const auto &t : cases) {
    SCOPED_TRACE(t.asked);
    Client c;
    AudioPtr a(&c);
    ASSERT_EQ(AudioOpen(a, DataFile("streams10.mka").c_str(), 0, t.asked, 0), 0);
    EXPECT_EQ(a->ff_ctx->TotalAudioStreams, 8);
    EXPECT_EQ(a->ff_ctx->CurAudioStream, t.plays);
    ASSERT_TRUE(c.waitFinished());
    std::scoped_lock lock(c.m);
    ASSERT_GT(c.pcm.size(), 100u);
    // Stream k is the constant (k + 1) / 16 of full scale.
    EXPECT_EQ(c.pcm[c.pcm.size() / 2], (t.plays + 1) * 2048);
  }
}

// The equaliser sees every chunk before the writer, and is set up and taken
// down with the file; the music tempo processor gets the output format. The
// sound module's own functions fit the hooks as they are.
std::vector<std::string> *g_tempo = nullptr;

int SpeedRate(int n, int rate) {
  g_tempo->push_back("rate " + std::to_string(n) + " " + std::to_string(rate));
  return SoundSpeed_SetSampleRate(n, rate);
}
int SpeedChannels(int n, int ch) {
  g_tempo->push_back("channels " + std::to_string(n) + " " + std::to_string(ch));
  return SoundSpeed_SetChannels(n, ch);
}

TEST(Audio, EqualiserAndTempoHooks) {
  std::vector<std::string> tempo;
  g_tempo = &tempo;
  const AudioDsp dsp = {af_equalizer_init, af_equalizer_play, af_equalizer_deinit, SpeedRate, SpeedChannels};
  AudioSetDsp(&dsp);
  Client c;
  AudioPtr a(&c);
  AudioSetDsp(nullptr);
  ASSERT_EQ(AudioOpen(a, DataFile("s16.wav").c_str(), 0, 0, 2), 0);
  ASSERT_TRUE(c.waitFinished());
  EXPECT_EQ(AudioClose(a), 0);
  g_tempo = nullptr;
  EXPECT_EQ(tempo, (std::vector<std::string>{"channels 2 2", "rate 2 8000"}));
  AfEqualizer left;
  EXPECT_EQ(af_equalizer_get(&left), -1);  // taken down with the file

  // What the writer got is the plain decode run through preset 2.
  Decoded ref = DecodeAll(DataFile("s16.wav"));
  std::vector<int16_t> expected = ref.pcm;
  ASSERT_EQ(af_equalizer_init(ref.rate, ref.channels, 2), 0);
  af_equalizer_play(expected.data(), static_cast<int>(expected.size() * 2));
  af_equalizer_deinit();
  std::scoped_lock lock(c.m);
  EXPECT_NE(c.pcm, ref.pcm);
  EXPECT_EQ(c.pcm, expected);
}

// A source that fails to read ends the file; the thread does not spin.
int FailingRead(AudioSource *src, unsigned char *buf, int len) {
  if (src->spare++ < 3) return gfile.read(src, buf, len);
  return -1;
}

TEST(Audio, ReadErrorEndsTheFile) {
  const int level = LogGetLevel();
  LogSetLevel(-1);
  AudioSource flaky = gfile;
  flaky.read = FailingRead;
  flaky.seek = nullptr;  // not seekable: FFmpeg reads straight on
  Client c;
  AudioPtr a(&c, &flaky);
  // The first reads get the header; decoding then meets the error.
  TempDir dir;
  std::string big = ReadFile(DataFile("u8.wav"));
  for (int i = 0; i < 30; i++) big += big.substr(44, 4000);
  WriteFile(dir / "long.wav", big);
  ASSERT_EQ(AudioOpen(a, (dir / "long.wav").c_str(), 0, 0, 0), 0);
  EXPECT_TRUE(c.waitFinished());
  EXPECT_EQ(AudioClose(a), 0);
  LogSetLevel(level);
  std::scoped_lock lock(c.m);
  EXPECT_GT(c.pcm.size(), 0u);
  EXPECT_LT(c.pcm.size(), big.size() - 44);
}

TEST(Audio, TotalMilliseconds) {
  struct {
    const char *name;
    int ms;
  } const cases[] = {{"u8.wav", 500}, {"s16.wav", 250}, {"mono.flac", 500}, {"vorbis.ogg", 600},
                     {"aac.m4a", 600}, {"wma2.wma", 603}, {"noduration.mka", -1}};
  for (const auto &t : cases) EXPECT_NEAR(get_audio_total_ms(DataFile(t.name).c_str()), t.ms, 60) << t.name;
  EXPECT_EQ(get_audio_total_ms("/no/such/file.mp3"), -1);
  EXPECT_EQ(get_audio_total_ms(nullptr), -1);
}

// A start point past 30 minutes in a file of an hour or more is preceded
// by the waiting prompt; shorter files seek without it.
TEST(Audio, LongSeekAtOpenSpeaksFirst) {
  const int lang = MLanguageSetting;
  MLanguageSetting = 1;
  struct {
    int minutes;
    int startMs;
    bool prompt;
  } const cases[] = {{120, 2400000, true}, {50, 2400000, false}, {120, 1000000, false}, {60, 1800000, true}};
  for (const auto &t : cases) {
    SCOPED_TRACE(t.minutes);
    TempRoot root;  // a fresh transcript per case
    // 8000 Hz 8-bit mono, sparse: the silence costs no disk.
    const uint32_t bytes = static_cast<uint32_t>(t.minutes) * 60 * 8000;
    const std::string path = root.at("/mnt/sdcard/long.wav");
    root.write("/mnt/sdcard/long.wav", WavHeader(1, 1, 8000, 8, 0, bytes));
    ASSERT_EQ(truncate(path.c_str(), 44 + static_cast<off_t>(bytes)), 0);
    Client c;
    c.credit = 0;
    AudioPtr a(&c);
    // A fixed path of the board: the source maps it into the root.
    ASSERT_EQ(AudioOpen(a, "/mnt/sdcard/long.wav", t.startMs, 0, 0), 0);
    EXPECT_NEAR(a->pos_ms, t.startMs, 1000);
    EXPECT_EQ(AudioClose(a), 0);
    bool spoke = root.read("/host/transcript.txt").find("Opening, please wait ...") != std::string::npos;
    EXPECT_EQ(spoke, t.prompt);
  }
  MLanguageSetting = lang;
}

}  // namespace
