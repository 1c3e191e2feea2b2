// The host board's sound device honours the board driver's contract.
#include "sound_fixture.h"

#include "support/files.h"

#include <chrono>
#include <cstring>
#include <thread>

using soundtest::ReadOutWav;
using soundtest::ReadSoundLog;
using soundtest::SoundTest;

namespace {

class HostDsp : public SoundTest {
 protected:
  void SetUp() override { StartBoard(32, false); }
};

}  // namespace

TEST_F(HostDsp, OneDescriptorAtATime) {
  int fd = BoardDspOpen(44100, 2, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(BoardDspOpen(16000, 1, 0), -1);
  EXPECT_EQ(BoardDspOpen(16000, 1, 1), -1);
  BoardDspClose(fd);
  int again = BoardDspOpen(16000, 1, 0);
  EXPECT_GE(again, 0);
  EXPECT_NE(again, fd);
  BoardDspClose(again);
  EXPECT_EQ(BoardDspWrite(again, "abcd", 4), -1);  // closed
}

TEST_F(HostDsp, RefusedParametersSayWhich) {
  EXPECT_EQ(BoardDspOpen(100, 2, 0), -2);
  EXPECT_EQ(BoardDspOpen(16000, 3, 0), -3);
  int fd = BoardDspOpen(16000, 1, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(BoardDspSetParams(fd, 16000, 0), -3);
  EXPECT_EQ(BoardDspSetParams(fd + 1, 16000, 1), -1);
  EXPECT_EQ(BoardDspSetParams(fd, 22050, 2), 0);  // kept descriptor, new format
  BoardDspClose(fd);
}

TEST_F(HostDsp, FragmentsFillThenRefuseThenDrainInRealTime) {
  int fd = BoardDspOpen(44100, 2, 0);
  ASSERT_GE(fd, 0);
  BoardDspSpace sp{};
  ASSERT_EQ(BoardDspGetSpace(fd, &sp), 0);
  EXPECT_EQ(sp.fragments, sp.fragstotal);
  EXPECT_EQ(sp.bytes, sp.fragstotal * sp.fragsize);
  const int total = sp.bytes;

  std::vector<char> big(static_cast<size_t>(total) + 4096);
  auto start = std::chrono::steady_clock::now();
  int taken = BoardDspWrite(fd, big.data(), static_cast<int>(big.size()));
  // A non-blocking write takes what fits, in whole frames.
  EXPECT_LE(taken, total);
  EXPECT_GT(taken, total - 4 * 4);
  EXPECT_EQ(taken % 4, 0);
  // Full: refused, apart from what played meanwhile (a slow machine, or an
  // emulated CPU, lets a fragment or more play between two calls).
  int r = 0, more = 0, tries = 0;
  while ((r = BoardDspWrite(fd, big.data(), 4096)) != -3 && ++tries < 64) more += r;
  EXPECT_EQ(r, -3);
  ASSERT_EQ(BoardDspGetSpace(fd, &sp), 0);
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double fragmentMs = 4096 / 4 / 44.1;
  EXPECT_LE(more, (ms / fragmentMs + 1) * 4096) << ms << " ms";
  EXPECT_LE(sp.fragments, ms / fragmentMs + 1) << ms << " ms";

  // 30 ms of 44.1 kHz stereo is more than one fragment (23 ms), and no
  // more than what played since the buffer was full.
  auto full = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(BoardDspGetSpace(fd, &sp), 0);
  ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - full).count();
  EXPECT_GE(sp.fragments, 1);
  EXPECT_LE(sp.fragments, ms / fragmentMs + 2) << ms << " ms";
  BoardDspClose(fd);
}

TEST_F(HostDsp, OutWavHoldsEverySessionAt44100Stereo) {
  int fd = BoardDspOpen(22050, 1, 0);
  ASSERT_GE(fd, 0);
  std::vector<int16_t> mono(441);
  for (size_t i = 0; i < mono.size(); i++) mono[i] = static_cast<int16_t>(i * 10);
  ASSERT_EQ(BoardDspWrite(fd, mono.data(), 882), 882);
  BoardDspClose(fd);
  auto wav = ReadOutWav();
  // 441 frames at 22050 Hz are 882 frames at 44100 Hz, both channels alike,
  // interpolated between the originals.
  ASSERT_EQ(wav.size(), 882u * 2);
  for (size_t i = 0; i + 2 < 880; i += 2) {
    EXPECT_EQ(wav[2 * i], mono[i / 2]);
    EXPECT_EQ(wav[2 * i + 1], mono[i / 2]);
    EXPECT_EQ(wav[2 * (i + 1)], (mono[i / 2] + mono[i / 2 + 1]) / 2);
  }
  auto log = ReadSoundLog();
  int writes = 0;
  for (const auto &l : log)
    if (l.has("dsp") && l.has("write")) {
      writes++;
      EXPECT_EQ(l.num("pos"), 0);
      EXPECT_EQ(l.num("bytes"), 882);
    }
  EXPECT_EQ(writes, 1);
}

// The ALSA outlet through ALSA's own plugins: this root's configuration
// (ALSA_CONFIG_PATH) makes "default" a file plugin in front of the null
// device, so what the outlet handed to ALSA lands in root/alsa-RATE-CH.raw.
class AlsaOutlet : public HostDsp {
 protected:
  void UseAlsa(const std::string &defaultPcm) {
    std::string conf = root_ + "/asound.conf";
    std::ofstream(conf) << "pcm.!default " << defaultPcm << "\npcm.null { type null }\n";
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    BoardHostOptions o = BoardHostGetOptions();
    o.audio = "alsa";
    ASSERT_EQ(BoardHostConfigure(o), 0);
  }
  std::string FileDevice() {
    return "{ type file slave.pcm \"null\" file \"" + root_ + "/alsa-%r-%c.raw\" format \"raw\" }";
  }
  void TearDown() override {
    HostDsp::TearDown();
    unsetenv("ALSA_CONFIG_PATH");
  }
  std::vector<soundtest::LogLine> AlsaLines(const char *what) {
    std::vector<soundtest::LogLine> out;
    for (const auto &l : ReadSoundLog())
      if (l.has("alsa") && l.has(what)) out.push_back(l);
    return out;
  }
};

TEST_F(AlsaOutlet, EverySessionReachesTheDefaultDeviceAndDrains) {
  UseAlsa(FileDevice());
  int fd = BoardDspOpen(16000, 1, 0);
  ASSERT_GE(fd, 0);
  std::vector<int16_t> mono(1600), stereo(2 * 441);
  for (size_t i = 0; i < mono.size(); i++) mono[i] = static_cast<int16_t>(i * 7);
  for (int i = 0; i < 441; i++) {
    stereo[2 * i] = static_cast<int16_t>(i);
    stereo[2 * i + 1] = static_cast<int16_t>(-i);
  }
  EXPECT_EQ(BoardDspWrite(fd, mono.data(), 3200), 3200);
  ASSERT_EQ(BoardDspSetParams(fd, 44100, 2), 0);  // the mono session drains first
  EXPECT_EQ(BoardDspWrite(fd, stereo.data(), 441 * 4), 441 * 4);
  BoardDspClose(fd);

  // What the codec sounds: mono unchanged, then stereo with left and right
  // exchanged; nothing went to out.wav.
  auto samples = [this](const char *name) {
    std::string raw = ReadFile(root_ + name);
    std::vector<int16_t> out(raw.size() / 2);
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    return out;
  };
  EXPECT_EQ(samples("/alsa-16000-1.raw"), mono);
  std::vector<int16_t> exchanged = samples("/alsa-44100-2.raw");
  ASSERT_EQ(exchanged.size(), stereo.size());
  for (int i = 0; i < 441; i++) {
    ASSERT_EQ(exchanged[2 * i], -i) << i;
    ASSERT_EQ(exchanged[2 * i + 1], i) << i;
  }
  EXPECT_TRUE(ReadOutWav().empty());

  // The device's queue holds the model's whole buffer (16 fragments of
  // 4096 bytes), so a write the model accepted always fits.
  auto opens = AlsaLines("open"), closes = AlsaLines("close");
  ASSERT_EQ(opens.size(), 2u);
  ASSERT_EQ(closes.size(), 2u);
  for (size_t i = 0; i < 2; i++) {
    EXPECT_TRUE(opens[i].has("pcm=default"));
    EXPECT_GE(opens[i].num("buffer") * opens[i].num("ch") * 2, 16 * 4096);
    EXPECT_GT(opens[i].num("period"), 0);
    EXPECT_TRUE(closes[i].has("drain"));
    EXPECT_GE(closes[i].num("queued"), 0);
    EXPECT_EQ(closes[i].num("dropped"), 0);
  }
  EXPECT_EQ(opens[0].num("rate"), 16000);
  EXPECT_EQ(opens[1].num("rate"), 44100);
  EXPECT_EQ(closes[0].num("written"), 1600);
  EXPECT_EQ(closes[1].num("written"), 441);
}

TEST_F(AlsaOutlet, AMissingCardFallsBackToNullAndAResetDrops) {
  UseAlsa("{ type hw card 99 }");
  int fd = BoardDspOpen(16000, 1, 0);
  ASSERT_GE(fd, 0);
  std::vector<int16_t> pcm(1600);
  EXPECT_EQ(BoardDspWrite(fd, pcm.data(), 3200), 3200);
  HostSoundReset();  // the board goes away with the session open
  auto opens = AlsaLines("open"), closes = AlsaLines("close");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_TRUE(opens[0].has("pcm=null"));
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_TRUE(closes[0].has("drop"));
  EXPECT_EQ(closes[0].num("written"), 1600);
  EXPECT_TRUE(ReadOutWav().empty());
}

TEST_F(HostDsp, RoutingLinesArePlainFiles) {
  int v = 7;
  EXPECT_EQ(BoardGpioFunc("/dev/head_in", 2, &v), 0);
  EXPECT_EQ(v, 1);  // nothing plugged
  SetLine("/dev/head_in", 0);
  EXPECT_EQ(BoardGpioFunc("/dev/head_in", 2, &v), 0);
  EXPECT_EQ(v, 0);
  v = 1;
  EXPECT_EQ(BoardGpioFunc("/dev/amp_en", 1, &v), 0);
  EXPECT_EQ(Line("/dev/amp_en"), 1);
  EXPECT_EQ(BoardGpioFunc("/dev/sgm_en", 2, &v), -1);  // never configured
  SetLine("/dev/dac_fm", 0);
  std::ofstream(root_ + "/dev/dac_fm") << "junk";
  EXPECT_EQ(BoardGpioFunc("/dev/dac_fm", 2, &v), -1);
}
