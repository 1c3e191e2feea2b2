// The sound device layer on the host board's model of the board's driver.
#include "preempt_scenario.h"
#include "sound_fixture.h"

#include "menu/mdata.h"

#include <chrono>
#include <cstring>

using soundtest::ReadOutWav;
using soundtest::ReadSoundLog;
using soundtest::SoundTest;

namespace {

// Writes one block, polling while the device is full (as a player does).
int WriteBlock(int id, void *buf, int len, bool insert = false) {
  for (int tries = 0; tries < 400; tries++) {
    int r = insert ? sound_iwrite(id, buf, len) : sound_write(id, buf, len);
    if (r != -3) return r;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -3;
}

int CountLog(const char *a, const char *b) {
  int n = 0;
  for (const auto &l : ReadSoundLog())
    if (l.has(a) && l.has(b)) n++;
  return n;
}

}  // namespace

TEST(SoundVolume, StepTablesFollowTheHardware) {
  struct Case {
    int hw, step, main, rec;
  } cases[] = {
      {16, 0, 0, 0},    {16, 18, 54, 43}, {16, 19, 56, 45}, {16, 25, 67, 60},
      {32, 19, 57, 76}, {32, 25, 78, 100}, {32, 30, 78, 100}, {32, -4, 0, 0},
  };
  int saved = HardVer;
  for (const auto &c : cases) {
    HardVer = c.hw;
    EXPECT_EQ(main_step_to_volume(c.step), c.main) << c.hw << " step " << c.step;
    EXPECT_EQ(rec_step_to_volume(c.step), c.rec) << c.hw << " step " << c.step;
  }
  HardVer = saved;
}

TEST_F(SoundTest, InitOnV2RoutesToTheSpeakerWithVolumes) {
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 17);
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_VOLUME), main_step_to_volume(MainVolume));
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_MIC), rec_step_to_volume(MRecordVolume));
  EXPECT_EQ(is_head.load(), 0);
  EXPECT_EQ(Line("/dev/amp_en"), 0);  // inverted on 2.0: speaker on
  EXPECT_EQ(LineRecordWithPlay.load(), 1);
}

TEST_F(SoundTest, InitOnV2WithHeadphoneRaisesTheVolume) {
  SetLine("/dev/head_in", 0);
  BoardHostMixerRefuse(BOARD_MIXER_OUTSRC, 22);
  ASSERT_EQ(sound_init(), 0);
  EXPECT_EQ(is_head.load(), 1);
  EXPECT_EQ(Line("/dev/amp_en"), 1);
  EXPECT_EQ(LineRecordWithPlay.load(), 0);
  // 30 * 130 / 100
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_VOLUME), main_step_to_volume(MainVolume) * 130 / 100);
  EXPECT_EQ(SetLineRecord(), 0);
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 18);
}

TEST_F(SoundTest, InitOnV1SetsTheLines) {
  HardVer = 16;
  SetLine("/dev/head_in", 1);
  ASSERT_EQ(sound_init(), 0);
  EXPECT_EQ(Line("/dev/sgm_en"), 1);
  EXPECT_EQ(Line("/dev/dac_fm"), 0);
  EXPECT_EQ(Line("/dev/mic_line"), 0);
  EXPECT_EQ(Line("/dev/amp_en"), 1);  // speaker on, nothing plugged
  EXPECT_EQ(is_head.load(), 0);
  EXPECT_EQ(sound_deinit(), 0);
  EXPECT_EQ(Line("/dev/amp_en"), 0);
}

TEST_F(SoundTest, UnknownHardwareIsRefused) {
  HardVer = 48;
  EXPECT_EQ(sound_init(), -1);
  EXPECT_EQ(sound_deinit(), -5);
  EXPECT_EQ(SetOutToHead(), -5);
  EXPECT_EQ(SetFmOut(), -5);
  EXPECT_EQ(AutoSetHead(), -5);
  HardVer = 32;
  EXPECT_EQ(sound_init(), 0);
}

TEST_F(SoundTest, RoutingByHardwareVersion) {
  // {hardware, headphone line, operation, outsrc, recsrc, line vol, amp_en, is_head after}
  struct Case {
    int hw;
    int headIn;
    int (*op)(void);
    const char *name;
    int outsrc, recsrc, linevol, amp, head;
  } cases[] = {
      {32, 1, SetOutToHead, "head v2", 4, -1, -1, 1, 1},
      {32, 1, SetOutToSpeak, "speak v2", 5, -1, -1, 0, 0},
      {32, 0, AutoSetHead, "auto plugged v2", 4, -1, -1, 1, 1},
      {32, 1, AutoSetHead, "auto free v2", 5, -1, -1, 0, 0},
      {32, 1, SetFmOut, "fm v2", 19, 15, 0, -1, -1},
      {32, 1, SetMicRecord, "mic v2", 18, 7, 100, 1, -1},
      {32, 1, SetExtMicRecord, "ext mic v2", 18, 6, 100, 1, -1},
      {32, 1, SetLineRecord, "line v2", 22, 14, 0, -1, -1},
      {32, 1, SetDacOut, "dac v2", 17, -1, -1, -1, -1},
      {16, 1, SetOutToHead, "head v1", -1, -1, -1, 0, 1},
      {16, 1, SetOutToSpeak, "speak v1", -1, -1, -1, 1, 0},
      {16, 0, AutoSetHead, "auto plugged v1", -1, -1, -1, 0, 1},
      {16, 1, SetMicRecord, "mic v1", -1, -1, 100, 0, -1},
      {16, 1, SetFmOut, "fm v1", -1, -1, 0, -1, -1},
  };
  for (const auto &c : cases) {
    HardVer = c.hw;
    SetLine("/dev/head_in", c.headIn);
    ASSERT_EQ(sound_init(), 0) << c.name;  // chooses the version's routing
    std::filesystem::remove(root_ + "/dev/amp_en");
    HostSoundReset();
    EXPECT_EQ(c.op(), 0) << c.name;
    EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), c.outsrc) << c.name;
    EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_RECSRC), c.recsrc) << c.name;
    EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_LINE), c.linevol) << c.name;
    EXPECT_EQ(Line("/dev/amp_en"), c.amp) << c.name;
    if (c.head >= 0) {
      EXPECT_EQ(is_head.load(), c.head) << c.name;
    }
  }
  HardVer = 32;
  SetLine("/dev/head_in", 1);
  EXPECT_EQ(sound_init(), 0);
}

TEST_F(SoundTest, RevAmpEnPlaysTheRadioThroughTheSpeaker) {
  SetLine("/dev/head_in", 0);  // headphone in: the antenna
  ASSERT_EQ(SetOutToHead(), 0);
  ASSERT_EQ(RevAmpEn(), 0);
  EXPECT_EQ(is_head.load(), 0);
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 5);
  EXPECT_EQ(Line("/dev/amp_en"), 0);
  ASSERT_EQ(RevAmpEn(), 0);  // and back
  EXPECT_EQ(is_head.load(), 1);
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 4);
}

TEST_F(SoundTest, MixerFailuresAreReported) {
  BoardHostMixerRefuse(BOARD_MIXER_VOLUME, -1);
  EXPECT_EQ(sound_setvol(0, 12, -1), -3);
  EXPECT_EQ(sound_setvol(0, -1, 12), 0);  // the record volume alone still works
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_MIC), rec_step_to_volume(12));
  BoardHostMixerRefuse(BOARD_MIXER_OUTSRC, -1);
  EXPECT_EQ(SetOutToSpeak(), -3);
  EXPECT_EQ(sound_init(), -1);
}

TEST_F(SoundTest, OneMainClientAtATime) {
  EXPECT_EQ(sound_open(3, 44100, 2), -1);
  EXPECT_EQ(sound_open(1, 44100, 5), -1);
  int a = sound_open(1, 44100, 2);
  ASSERT_GE(a, 1);
  EXPECT_EQ(sound_open(2, 16000, 1), -2);
  sound_close(a);
  int b = sound_open(1, 22050, 1);
  EXPECT_GT(b, a);  // numbers are never reused
  sound_close(b);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, 0);
  EXPECT_EQ(live.fd, -1);
}

TEST_F(SoundTest, RadioBlocksPlayButNotRecording) {
  ASSERT_EQ(sound_open_fm(), 0);
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 19);
  EXPECT_EQ(sound_open(1, 44100, 2), -1);
  int rec = sound_open(2, 16000, 1);
  ASSERT_GE(rec, 1);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.mode, kSoundModeFm | 2u);
  sound_close(rec);
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.mode, kSoundModeFm);  // survives the reset
  EXPECT_EQ(sound_open_fm(), -1);
  sound_close_fm();
  EXPECT_EQ(BoardHostMixerGet(BOARD_MIXER_OUTSRC), 17);
}

TEST_F(SoundTest, LatencyBudgetFollowsRateAndChannels) {
  // The host device has 16 fragments of 4096 bytes.
  struct Case {
    int rate, ch, fragsfree;
  } cases[] = {{16000, 1, 14}, {44100, 2, 5}, {8000, 1, 14}, {48000, 2, 4}, {22050, 2, 10}};
  int id = sound_open(1, 16000, 1);
  ASSERT_GE(id, 1);
  for (const auto &c : cases) {
    ASSERT_EQ(sound_set(id, c.rate, c.ch), 0);
    SoundHandle live{};
    SoundGetHandles(&live, nullptr);
    EXPECT_EQ(live.fragsfree, c.fragsfree) << c.rate << "/" << c.ch;
    EXPECT_EQ(live.time, 250);
  }
  BoardHostDspRefuseRate(11025);
  EXPECT_EQ(sound_set(id, 11025, 1), -1);
  EXPECT_EQ(sound_set(id + 100, 16000, 1), -2);
  sound_close(id);
}

TEST_F(SoundTest, FullDeviceRefusesWritesUntouched) {
  int id = sound_open(1, 44100, 2);
  ASSERT_GE(id, 1);
  std::vector<int16_t> block(2048);
  for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<int16_t>(i);
  int written = 0, r;
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::vector<int16_t> copy = block;
    r = sound_write(id, copy.data(), 4096);
    if (r == -3) {
      EXPECT_EQ(copy, block) << "a refused write changed the caller's data";
      break;
    }
    ASSERT_EQ(r, 4096);
    written += r;
    ASSERT_LT(written, 20 * 4096);
  }
  // About 250 ms of 44.1 kHz stereo (11 fragments), never the whole buffer;
  // a slow machine also gets back what the device played meanwhile.
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(written, 10 * 4096);
  EXPECT_LE(written, 11 * 4096 + static_cast<int>(us * 44100 * 4 / 1000000) + 4096);
  sound_close(id);
  // Closing drains: nothing was left in the device.
  int closes = 0;
  for (const auto &l : ReadSoundLog()) {
    if (l.has("dsp") && l.has("close")) {
      closes++;
      EXPECT_EQ(l.num("queued"), 0);
    }
  }
  EXPECT_EQ(closes, 1);
}

TEST_F(SoundTest, StereoComesBackSwappedAndPlaysRightWayRound) {
  int id = sound_open(1, 44100, 2);
  ASSERT_GE(id, 1);
  int16_t frames[8] = {1, -1, 2, -2, 3, -3, 4, -4};
  ASSERT_EQ(WriteBlock(id, frames, sizeof frames), static_cast<int>(sizeof frames));
  const int16_t swapped[8] = {-1, 1, -2, 2, -3, 3, -4, 4};
  EXPECT_EQ(std::memcmp(frames, swapped, sizeof frames), 0);
  sound_close(id);
  auto wav = ReadOutWav();
  ASSERT_EQ(wav.size(), 8u);
  const int16_t played[8] = {1, -1, 2, -2, 3, -3, 4, -4};
  EXPECT_EQ(std::memcmp(wav.data(), played, sizeof played), 0);
}

TEST_F(SoundTest, FadeScalesWhatPlaysNotTheCallersDataUntilTheNextOpen) {
  const int16_t pcm[4] = {1000, -1000, 400, -32768};
  for (int fade : {500, 1000}) {
    int id = sound_open(1, 44100, 2);
    ASSERT_GE(id, 1);
    if (fade < 1000) sound_fade(fade);  // the second open starts at full volume again
    int16_t data[4];
    std::memcpy(data, pcm, sizeof pcm);
    ASSERT_EQ(WriteBlock(id, data, sizeof data), static_cast<int>(sizeof data));
    if (fade < 1000) {
      EXPECT_EQ(std::memcmp(data, pcm, sizeof pcm), 0);
    }
    sound_close(id);
  }
  const std::vector<int16_t> played = {500, -500, 200, -16384, 1000, -1000, 400, -32768};
  EXPECT_EQ(ReadOutWav(), played);
}

TEST_F(SoundTest, InsertPreemptsAndHandsBack) {
  int main = sound_open(1, 22050, 2);
  ASSERT_GE(main, 1);
  std::vector<int16_t> pcm(1024, 100);
  ASSERT_EQ(WriteBlock(main, pcm.data(), 2048), 2048);

  int ins = sound_iopen(1, 16000, 1);
  ASSERT_GE(ins, 1);
  EXPECT_EQ(sound_write(main, pcm.data(), 2048), -2);
  EXPECT_EQ(sound_iwrite(main, pcm.data(), 2048), -2);
  EXPECT_EQ(sound_set(main, 44100, 2), 0);  // applies at the hand-back
  EXPECT_EQ(WriteBlock(ins, pcm.data(), 2048, true), 2048);
  EXPECT_EQ(sound_discard(main), -2);  // only the device's client drops its sound
  EXPECT_EQ(sound_discard(ins), 0);
  EXPECT_EQ(sound_iset(ins, 8000, 1), 0);
  EXPECT_EQ(sound_iclose(ins), 0);

  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, main);
  EXPECT_EQ(live.is_insert, 0);
  EXPECT_EQ(live.rate, 44100);
  EXPECT_EQ(live.ch, 2);
  EXPECT_EQ(live.fragsfree, 5);
  EXPECT_EQ(WriteBlock(main, pcm.data(), 2048), 2048);
  EXPECT_EQ(sound_iwrite(ins, pcm.data(), 2048), -2);
  EXPECT_EQ(sound_iclose(ins), 0);  // a stale insert handle does nothing
  sound_close(main);
  // Reopened with the parameters it asked for meanwhile.
  bool reopened = false;
  for (const auto &l : ReadSoundLog())
    if (l.has("dsp") && l.has("open") && l.num("rate") == 44100 && l.num("ch") == 2) reopened = true;
  EXPECT_TRUE(reopened);
}

TEST_F(SoundTest, MainOpenDuringInsertWaitsForTheDevice) {
  int ins = sound_iopen(1, 16000, 1);
  ASSERT_GE(ins, 1);
  int main = sound_open(1, 32000, 2);
  ASSERT_GE(main, 1);
  EXPECT_GT(main, ins);
  SoundHandle saved{};
  SoundGetHandles(nullptr, &saved);
  EXPECT_EQ(saved.fd, 100);
  EXPECT_EQ(sound_open(1, 32000, 2), -2);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(sound_write(main, pcm.data(), 1024), -2);
  EXPECT_EQ(sound_iclose(ins), 0);
  EXPECT_EQ(WriteBlock(main, pcm.data(), 1024), 1024);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.rate, 32000);
  sound_close(main);
}

TEST_F(SoundTest, MainClosedDuringInsertIsNotRestored) {
  int main = sound_open(1, 44100, 2);
  ASSERT_GE(main, 1);
  int ins = sound_iopen(1, 16000, 1);
  ASSERT_GE(ins, 1);
  sound_close(main);
  EXPECT_EQ(sound_iclose(ins), -1);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, 0);
  EXPECT_EQ(live.fd, -1);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(sound_write(main, pcm.data(), 1024), -2);
  int next = sound_open(1, 44100, 2);  // the device is free again
  EXPECT_GE(next, 1);
  sound_close(next);
}

TEST_F(SoundTest, NextClipOpenedDuringInsertIsRestored) {
  // A player moving to its next clip while a prompt speaks.
  int first = sound_open(1, 44100, 2);
  int ins = sound_iopen(1, 16000, 1);
  sound_close(first);
  int second = sound_open(1, 22050, 1);
  ASSERT_GE(second, 1);
  EXPECT_EQ(sound_iclose(ins), 0);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(WriteBlock(second, pcm.data(), 1024), 1024);
  sound_close(second);
}

TEST_F(SoundTest, PromptInterruptingPromptKeepsTheDescriptor) {
  int main = sound_open(1, 44100, 2);
  int p1 = sound_iopen(1, 16000, 1);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  int fd = live.fd;
  int p2 = sound_iopen(1, 16000, 1);
  ASSERT_GE(p2, 1);
  EXPECT_NE(p1, p2);
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.fd, fd);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(sound_iwrite(p1, pcm.data(), 1024), -2);
  EXPECT_EQ(sound_iclose(p1), 0);  // ignored: p2 holds the device
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, p2);
  EXPECT_EQ(sound_iclose(p2), 0);
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, main);
  EXPECT_EQ(CountLog("dsp", "open"), 2);  // the player's, then its restore
  sound_close(main);
}

TEST_F(SoundTest, RecordingInsertOverAPlayerOpensAFreshDescriptor) {
  int main = sound_open(1, 44100, 2);
  int memo = sound_iopen(2, 16000, 1);
  ASSERT_GE(memo, 1);
  std::vector<int16_t> pcm(160);
  EXPECT_EQ(sound_iread(memo, pcm.data(), 320), 320);
  EXPECT_EQ(sound_read(main, pcm.data(), 320), -2);
  EXPECT_EQ(sound_iclose(memo), 0);
  EXPECT_EQ(CountLog("dsp", "open"), 3);
  sound_close(main);
}

TEST_F(SoundTest, FailedRestoreLeavesTheDeviceFree) {
  int main = sound_open(1, 44100, 2);
  int ins = sound_iopen(1, 16000, 1);
  BoardHostDspRefuseRate(44100);
  EXPECT_EQ(sound_iclose(ins), -1);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(sound_write(main, pcm.data(), 1024), -2);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.id, 0);
}

TEST_F(SoundTest, FailedInsertHandsTheDeviceBack) {
  int main = sound_open(1, 44100, 2);
  BoardHostDspRefuseRate(11025);
  EXPECT_EQ(sound_iopen(1, 11025, 1), -1);
  std::vector<int16_t> pcm(512);
  EXPECT_EQ(WriteBlock(main, pcm.data(), 1024), 1024);
  sound_close(main);
}

TEST_F(SoundTest, CaptureReadsTheGivenWavFile) {
  std::vector<int16_t> src(3200);
  for (size_t i = 0; i < src.size(); i++) src[i] = static_cast<int16_t>(i * 7);
  std::string wav = root_ + "/capture.wav";
  soundtest::WriteWav(wav, 16000, 1, src);
  BoardHostSetCapture(wav);
  int id = sound_open(2, 16000, 1);
  ASSERT_GE(id, 1);
  std::vector<int16_t> got(1600);
  ASSERT_EQ(sound_read(id, got.data(), 3200), 3200);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), src.begin()));
  std::vector<int16_t> stereo(200);
  EXPECT_EQ(sound_write(id, stereo.data(), 400), -3);  // not a play descriptor: no room reported
  sound_close(id);
}

TEST_F(SoundTest, DamagedCaptureFileGivesSilence) {
  std::string bad = root_ + "/bad.wav";
  std::ofstream(bad) << "RIFF\x10\0\0\0WAVEfmt junk";
  BoardHostSetCapture(bad);
  int id = sound_open(2, 8000, 1);
  ASSERT_GE(id, 1);
  std::vector<int16_t> got(80, 5);
  ASSERT_EQ(sound_read(id, got.data(), 160), 160);
  EXPECT_EQ(std::count(got.begin(), got.end(), 0), 80);
  sound_close(id);
}

TEST_F(SoundTest, PromptPreemptsAPlayerOnAnotherThread) {
  auto run = soundtest::RunPreempt(600, 100, 400);
  soundtest::CheckPreempt(run, 600, false);
}
