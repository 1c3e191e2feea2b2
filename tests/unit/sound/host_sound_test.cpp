// The host board's sound device honours the board driver's contract.
#include "sound_fixture.h"

#include <chrono>
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
  int taken = BoardDspWrite(fd, big.data(), static_cast<int>(big.size()));
  // A non-blocking write takes what fits, in whole frames.
  EXPECT_LE(taken, total);
  EXPECT_GT(taken, total - 4 * 4);
  EXPECT_EQ(taken % 4, 0);
  // Full: refused, apart from the few frames played meanwhile.
  int r = 0, tries = 0;
  while ((r = BoardDspWrite(fd, big.data(), 4096)) != -3 && ++tries < 4) EXPECT_LT(r, 1024);
  EXPECT_EQ(r, -3);
  ASSERT_EQ(BoardDspGetSpace(fd, &sp), 0);
  EXPECT_EQ(sp.fragments, 0);

  // 30 ms of 44.1 kHz stereo is more than one fragment (23 ms).
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(BoardDspGetSpace(fd, &sp), 0);
  EXPECT_GE(sp.fragments, 1);
  EXPECT_LT(sp.fragments, sp.fragstotal);
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

TEST_F(HostDsp, AlsaOutletFallsBackWithoutACard) {
  BoardHostOptions o = BoardHostGetOptions();
  o.audio = "alsa";
  ASSERT_EQ(BoardHostConfigure(o), 0);
  int fd = BoardDspOpen(16000, 1, 0);
  ASSERT_GE(fd, 0);
  std::vector<int16_t> pcm(1600);
  EXPECT_EQ(BoardDspWrite(fd, pcm.data(), 3200), 3200);
  BoardDspClose(fd);
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
