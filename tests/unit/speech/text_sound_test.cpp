// The prompt queue on the host board's sound device (real time, as on the
// board): pre-empting a player and handing the device back, a prompt cut off
// by the next, stop, previews, a recorded file after a prompt, and the
// parameters the start-up gives the prompt voice.
#include "speech/text_sound.h"

#include "core/runtime/app.h"
#include "core/runtime/machine.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/tts.h"
#include "speech_support.h"
#include "support/transcript.h"
#include "unit/sound/sound_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using soundtest::LogLine;
using soundtest::ReadSoundLog;

class TextSound : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!speechtest::HaveEngineData()) GTEST_SKIP() << "no espeak-ng data (set ESPEAK_DATA_PATH)";
    std::filesystem::create_directories(root.at("/dev"));
    speechtest::InstallResource(root);
    HardVer = 32;
    ASSERT_EQ(sound_init(), 0);
    SoundSpeed_Init();
    int params[TTS_PARAM_NUM];
    TtsGetDefaultParam(params);
    params[TTS_PARAM_CODEPAGE] = 65001;
    ASSERT_EQ(text_sound_init("text_sound", params), 0);
    started = true;
  }
  void TearDown() override {
    if (started) text_sound_deinit();
    SoundHandle live{};
    SoundGetHandles(&live, nullptr);
    if (live.id) sound_close(live.id);
  }
  TempRoot root;
  bool started = false;
};

// Sound-log lines that contain every one of the words.
std::vector<LogLine> logLines(std::initializer_list<const char *> words) {
  std::vector<LogLine> out;
  for (const LogLine &l : ReadSoundLog()) {
    bool all = true;
    for (const char *w : words) all = all && l.has(w);
    if (all) out.push_back(l);
  }
  return out;
}

// A music player on its own thread: 44.1 kHz stereo blocks of 4096 bytes as
// main client, retrying every 23 ms while pre-empted.
struct Player {
  int id = -1;
  std::atomic<bool> run{true};
  std::atomic<int> refused{0}, written{0};
  std::thread thread;
  void start() {
    id = sound_open(1, 44100, 2);
    thread = std::thread([this] {
      std::vector<int16_t> block(2048);
      for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<int16_t>(3000 * std::sin(i * 0.05));
      while (run) {
        int r = sound_write(id, block.data(), 4096);
        if (r > 0) {
          written++;
        } else if (r == -2) {
          refused++;
          std::this_thread::sleep_for(23ms);
        } else {
          std::this_thread::sleep_for(5ms);
        }
      }
    });
  }
  void stop() {
    run = false;
    if (thread.joinable()) thread.join();
  }
  ~Player() { stop(); }
};

TEST_F(TextSound, APromptPreemptsThePlayerAndHandsTheDeviceBack) {
  Player music;
  music.start();
  ASSERT_GE(music.id, 1);
  std::this_thread::sleep_for(200ms);
  int h = text_sound_insert("好的");
  ASSERT_GE(h, 1);
  EXPECT_EQ(wait_text_sound_end(h), 0);
  int before = music.written;
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(music.written, before) << "the music did not resume";
  music.stop();

  EXPECT_GT(music.refused, 0) << "the music was never pre-empted";
  auto iopen = logLines({"sound", "iopen"});
  ASSERT_EQ(iopen.size(), 1u);
  EXPECT_EQ(iopen[0].num("rate"), 16000);
  EXPECT_EQ(iopen[0].num("ch"), 1);
  // The prompt's first samples reach the device right after it takes it.
  double firstPrompt = -1, restored = -1;
  long speech = 0;
  for (const LogLine &l : ReadSoundLog()) {
    if (l.has("dsp") && l.has("write") && l.ms > iopen[0].ms && restored < 0) {
      if (firstPrompt < 0) firstPrompt = l.real("play");
      speech += l.num("bytes");
    }
    if (l.has("restore") && l.num("client") == music.id) restored = l.ms;
  }
  ASSERT_GT(firstPrompt, 0);
  std::printf("prompt sounded %.1f ms after it took the device\n", firstPrompt - iopen[0].ms);
  EXPECT_GT(speech, 8000) << "less than a quarter second of speech";
  ASSERT_GT(restored, firstPrompt) << "the device was not handed back to the player";
  auto restore = logLines({"restore"});
  EXPECT_EQ(restore.back().num("rate"), 44100);
  EXPECT_EQ(restore.back().num("ch"), 2);
  // Refused writes only while the prompt held the device.
  for (const LogLine &l : logLines({"sound", "write", "result=-2"})) {
    EXPECT_GE(l.ms, iopen[0].ms);
    EXPECT_LE(l.ms, restored);
  }
  EXPECT_EQ(TranscriptLines(), std::vector<std::string>{"好的"});
}

TEST_F(TextSound, ASecondPromptReplacesTheFirst) {
  int first = text_sound_insert("第一句话比较长，会被下一句打断。");
  ASSERT_GE(first, 1);
  std::this_thread::sleep_for(150ms);
  int second = text_sound_insert("二");
  ASSERT_GE(second, 1);
  EXPECT_NE(second, first);
  EXPECT_EQ(wait_text_sound_end(first), -1);
  // A refused prompt leaves the current one speaking.
  EXPECT_EQ(text_sound_insert(""), -1);
  EXPECT_EQ(text_sound_insert(nullptr), -1);
  EXPECT_EQ(wait_text_sound_end(second), 0);
  EXPECT_EQ(wait_text_sound_end(-3), -2);
  EXPECT_EQ(TranscriptLines(), (std::vector<std::string>{"第一句话比较长，会被下一句打断。", "二"}));
  // The second went on with the first one's insert.
  EXPECT_EQ(logLines({"sound", "iopen"}).size(), 1u);
  EXPECT_EQ(logLines({"sound", "iclose"}).size(), 1u);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.is_insert, 0);
}

TEST_F(TextSound, StopCutsThePromptOffAndHandsTheDeviceBack) {
  int player = sound_open(1, 44100, 2);
  ASSERT_GE(player, 1);
  int h = text_sound_insert("一二三四五六七八九十");
  ASSERT_GE(h, 1);
  std::this_thread::sleep_for(100ms);
  text_sound_stop();
  EXPECT_EQ(wait_text_sound_end(h), 0);
  SoundHandle live{};
  SoundGetHandles(&live, nullptr);
  EXPECT_EQ(live.is_insert, 0);
  EXPECT_EQ(live.id, player);
  EXPECT_EQ(logLines({"restore"}).back().num("client"), player);
}

TEST_F(TextSound, APreviewLastsUntilTheNextOrdinaryPrompt) {
  ASSERT_EQ(TextSoundSetParam(TTS_PARAM_VSPEED, 5, 1), 0);
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_VSPEED), 5);
  wait_text_sound_end(text_sound_insert1("五", 1));
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_VSPEED), 5);
  int h = text_sound_insert("好");
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_VSPEED), 0);
  EXPECT_EQ(TranscriptLines("param"), (std::vector<std::string>{"14=5 preview", "14=0 restore"}));
  // A committed change cuts the prompt off; waiting for it does not hang.
  ASSERT_EQ(TextSoundSetParam(TTS_PARAM_VSPEED, 3, 0), 0);
  EXPECT_EQ(wait_text_sound_end(h), 0);
  EXPECT_EQ(TextSoundSetParam(19, 0, 0), -1);
  EXPECT_EQ(TextSoundSetParam(TTS_PARAM_VEMODE, 1, 0), -1);  // refused by the voice
  EXPECT_EQ(TextSoundGetParam(19), -1);
}

TEST_F(TextSound, ARecordedFileFollowsThePrompt) {
  std::vector<int16_t> tone(22050 / 4);
  for (size_t i = 0; i < tone.size(); i++) tone[i] = static_cast<int16_t>(4000 * std::sin(i * 0.1));
  std::filesystem::create_directories(root.at("/home/tag"));
  soundtest::WriteWav(root.at("/home/tag/memo.wav"), 22050, 1, tone);
  static const char kFile[] = "/home/tag/memo.wav";
  int h = text_audio_sound_insert("提醒", kFile);
  ASSERT_GE(h, 1);
  EXPECT_EQ(wait_text_sound_end(h), 0);
  auto clipPlayed = [] {
    for (int i = 0; i < 100; i++) {
      auto set = logLines({"sound", "iset", "rate=22050", "ch=1"});
      if (!set.empty()) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  };
  EXPECT_TRUE(clipPlayed());
  auto iopen = logLines({"sound", "iopen"});
  ASSERT_EQ(iopen.size(), 2u);
  EXPECT_EQ(iopen[1].num("rate"), 44100);
  EXPECT_EQ(iopen[1].num("ch"), 2);
  EXPECT_EQ(AudioSoundEnded(), 0);
  AudioSoundDeInit();
  EXPECT_EQ(AudioSoundEnded(), 1);

  // Stopped before its end, the prompt hands over to the file at once.
  h = text_audio_sound_insert("这个提醒很长，还没有说完就被停止了。", kFile);
  std::this_thread::sleep_for(100ms);
  text_sound_stop();
  EXPECT_EQ(wait_text_sound_end(h), 0);
  EXPECT_EQ(logLines({"sound", "iopen"}).size(), 4u);
  EXPECT_EQ(AudioSoundEnded(), 0);
  // A missing file plays nothing.
  EXPECT_EQ(AudioSoundInsert("/home/tag/none.wav"), -1);
  EXPECT_EQ(AudioSoundEnded(), 1);
}

// Without a voice (before start-up or after shutdown) prompts only reach
// the transcript and have ended at once.
TEST(TextSoundWithoutVoice, PromptsGoToTheTranscriptAndEndAtOnce) {
  TempRoot root;
  int h = text_sound_insert("无声");
  ASSERT_GE(h, 1);
  EXPECT_EQ(wait_text_sound_end(h), 0);
  EXPECT_EQ(text_sound_insert(""), -1);
  EXPECT_EQ(TranscriptLines(), std::vector<std::string>{"无声"});
  EXPECT_EQ(TextSoundSetParam(TTS_PARAM_VSPEED, 7, 0), 0);
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_VSPEED), 7);
  EXPECT_EQ(TextSoundSetParam(TTS_PARAM_VSPEED, 0, 0), 0);
}

TEST(ToneParams, TheToneSettingsMakeThePromptVoice) {
  struct Case {
    int language, role, speed, effectRow, pitch;
    int expectLanguage, main, sub, effect;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 1, 3, 19, 0},
      {1, 3, 4, 2, 2, 2, 56, 56, 6},
      {0, 7, 15, 1, -5, 1, 54, 17, 2},
  };
  int savedLang = MLanguageSetting;
  for (const Case &c : cases) {
    MLanguageSetting = c.language;
    MToneRole = c.role;
    MToneSpeed = c.speed;
    MToneEffect = c.effectRow;
    MTonePitch = c.pitch;
    int p[TTS_PARAM_NUM];
    EXPECT_EQ(ToneGetTtsParam(p), 0);
    int expect[TTS_PARAM_NUM];
    TtsGetDefaultParam(expect);
    expect[TTS_PARAM_LANGUAGE] = c.expectLanguage;
    expect[TTS_PARAM_CODEPAGE] = 65001;
    expect[TTS_PARAM_MAIN_ROLE] = c.main;
    expect[TTS_PARAM_SUB_ROLE] = c.sub;
    expect[TTS_PARAM_VSPEED] = c.speed;
    expect[TTS_PARAM_VEMODE] = c.effect;
    expect[TTS_PARAM_VPITCH] = c.pitch * 6400;
    EXPECT_EQ(std::vector<int>(p, p + TTS_PARAM_NUM), std::vector<int>(expect, expect + TTS_PARAM_NUM))
        << "role " << c.role;
  }
  MLanguageSetting = savedLang;
  MToneRole = MToneSpeed = MToneEffect = MTonePitch = 0;
}

}  // namespace
