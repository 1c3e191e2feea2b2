// The speech service: sentences in blocks to the sink, the finish call, stop
// and pause within one block, a refusing sink, parameter changes with the
// speed mapping, two voices at once.
#include "speech/tts.h"

#include "sound/sound_speed.h"
#include "speech_support.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What the sink and the finish function saw. The sink takes `accept` blocks
// (-1: all) and refuses the rest as a full device would.
struct Listener {
  std::mutex m;
  std::condition_variable cv;
  std::vector<int> blocks;  // sizes of the blocks taken
  int refused = 0;
  int finished = 0;
  int accept = -1;
  std::function<void()> onFinish;

  size_t bytes() {
    std::scoped_lock lock(m);
    size_t n = 0;
    for (int b : blocks) n += static_cast<size_t>(b);
    return n;
  }
  int count() {
    std::scoped_lock lock(m);
    return static_cast<int>(blocks.size());
  }
  int done() {
    std::scoped_lock lock(m);
    return finished;
  }
  void reset() {
    std::scoped_lock lock(m);
    blocks.clear();
  }
  void setAccept(int n) {
    std::scoped_lock lock(m);
    accept = n;
  }
  // Waits until pred holds (false after 30 s).
  template <class P>
  bool waitFor(P pred) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, 30s, pred);
  }
};

int sink(void *user, void *, int bytes) {
  auto *l = static_cast<Listener *>(user);
  std::scoped_lock lock(l->m);
  if (l->accept >= 0 && static_cast<int>(l->blocks.size()) >= l->accept) {
    l->refused++;
    l->cv.notify_all();
    return -3;
  }
  l->blocks.push_back(bytes);
  l->cv.notify_all();
  return bytes;
}

void finish(void *user) {
  auto *l = static_cast<Listener *>(user);
  std::function<void()> next;
  {
    std::scoped_lock lock(l->m);
    l->finished++;
    next = l->onFinish;
    l->cv.notify_all();
  }
  if (next) next();
}

// A reading voice (tempo processor 1) with its listener.
struct Voice {
  std::unique_ptr<TtsApp> app = std::make_unique<TtsApp>();
  Listener heard;
  explicit Voice(const char *name = "reader", int tempo = 1) {
    TtsGetDefaultParam(app->params);
    app->params[TTS_PARAM_CODEPAGE] = 65001;
    std::snprintf(app->name, sizeof app->name, "%s", name);
    app->tempo = tempo;
  }
  int start() { return tts_init(app.get(), sink, finish, &heard); }
  void say(const char *text) { tts_synth_sentence(app.get(), text, -1); }
  bool finished(int n = 1) {
    return heard.waitFor([&] { return heard.finished >= n; });
  }
  ~Voice() { tts_deinit(app.get()); }
};

class Tts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!speechtest::HaveEngineData()) GTEST_SKIP() << "no espeak-ng data (set ESPEAK_DATA_PATH)";
    speechtest::InstallResource(root);
    SoundSpeed_Init();
  }
  TempRoot root;
};

constexpr char kSentence[] = "你好，世界。Hello.";

// Bytes of PCM the sentence gives when nothing interferes.
size_t referenceBytes(const char *text) {
  Voice v;
  if (v.start() != 0 || (v.say(text), !v.finished())) return 0;
  return v.heard.bytes();
}

TEST_F(Tts, SpeaksASentenceInBlocksAndFinishesOnce) {
  Voice v;
  std::snprintf(v.app->voice, sizeof v.app->voice, "book");
  ASSERT_EQ(v.start(), 0);
  v.say(kSentence);
  ASSERT_TRUE(v.finished());
  std::vector<int> blocks;
  {
    std::scoped_lock lock(v.heard.m);
    blocks = v.heard.blocks;
  }
  ASSERT_GE(blocks.size(), 3u);  // more than a quarter second of speech
  for (size_t i = 0; i + 1 < blocks.size(); i++) EXPECT_EQ(blocks[i], TTS_PCM_SIZE);
  EXPECT_GT(blocks.back(), 0);
  EXPECT_LE(blocks.back(), TTS_PCM_SIZE);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(v.heard.done(), 1);
  unsigned idle = TTS_FLAG_STOP | TTS_FLAG_END | TTS_FLAG_STOP_ACK;
  EXPECT_EQ(tts_status(v.app.get()) & idle, idle);
  EXPECT_EQ(TranscriptLines("book"), std::vector<std::string>{kSentence});
}

TEST_F(Tts, StopTakesEffectWithinOneBlockAndSkipsTheFinish) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  v.heard.setAccept(2);  // then the "device" is full
  v.say(kSentence);
  ASSERT_TRUE(v.heard.waitFor([&] { return v.heard.refused > 0; }));
  tts_stop(v.app.get());
  EXPECT_TRUE(tts_status(v.app.get()) & TTS_FLAG_STOP_ACK);
  v.heard.setAccept(-1);  // room again: nothing more may come
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(v.heard.count(), 2);
  EXPECT_EQ(v.heard.done(), 0);
  tts_stop(v.app.get());  // idle: returns at once
}

TEST_F(Tts, PauseHoldsTheSpeechAndContinueLosesNothing) {
  size_t whole = referenceBytes(kSentence);
  ASSERT_GT(whole, 0u);
  Voice v;
  ASSERT_EQ(v.start(), 0);
  // Paused while the sink refuses, and paused at once after the start.
  v.heard.setAccept(2);
  v.say(kSentence);
  ASSERT_TRUE(v.heard.waitFor([&] { return v.heard.refused > 0; }));
  tts_pause(v.app.get());
  EXPECT_TRUE(tts_status(v.app.get()) & TTS_FLAG_PAUSE_ACK);
  v.heard.setAccept(-1);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(v.heard.count(), 2);
  tts_continue(v.app.get());
  ASSERT_TRUE(v.finished());
  EXPECT_EQ(v.heard.bytes(), whole);

  v.heard.reset();
  v.say(kSentence);
  tts_pause(v.app.get());
  int atPause = v.heard.count();
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(v.heard.count(), atPause + 1);  // at most the block in hand
  tts_continue(v.app.get());
  ASSERT_TRUE(v.finished(2));
  EXPECT_EQ(v.heard.bytes(), whole);
}

TEST_F(Tts, StopDuringAPauseEndsTheSentenceWithoutFinish) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  v.heard.setAccept(1);
  v.say(kSentence);
  ASSERT_TRUE(v.heard.waitFor([&] { return v.heard.refused > 0; }));
  tts_pause(v.app.get());
  tts_stop(v.app.get());
  unsigned f = tts_status(v.app.get());
  EXPECT_TRUE(f & TTS_FLAG_STOP_ACK);
  EXPECT_FALSE(f & TTS_FLAG_PAUSE);
  v.heard.setAccept(-1);
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(v.heard.count(), 1);
  EXPECT_EQ(v.heard.done(), 0);
}

TEST_F(Tts, ANewSentenceCutsOffTheOneBeingSpoken) {
  size_t second = referenceBytes("二。");
  Voice v("cut");
  ASSERT_EQ(v.start(), 0);
  v.heard.setAccept(1);
  v.say("第一句话会被打断。");
  ASSERT_TRUE(v.heard.waitFor([&] { return v.heard.refused > 0; }));
  v.heard.setAccept(-1);
  v.say("二。");
  ASSERT_TRUE(v.finished());
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(v.heard.done(), 1);
  EXPECT_EQ(v.heard.bytes(), TTS_PCM_SIZE + second);
  EXPECT_EQ(TranscriptLines("cut"), (std::vector<std::string>{"第一句话会被打断。", "二。"}));
}

TEST_F(Tts, TheFinishFunctionMayStartTheNextSentence) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  TtsApp *app = v.app.get();
  v.heard.onFinish = [&v, app] {
    v.heard.onFinish = nullptr;  // only once; the listener's lock is not held here
    tts_synth_sentence(app, "下一句。", -1);
  };
  v.say("第一句。");
  ASSERT_TRUE(v.finished(2));
  EXPECT_EQ(TranscriptLines("reader"), (std::vector<std::string>{"第一句。", "下一句。"}));
}

TEST_F(Tts, OnlyTheFirst4096BytesAreSpoken) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  std::string text;
  while (text.size() < 5000) text += "ab ";
  v.heard.setAccept(0);
  v.say(text.c_str());
  tts_stop(v.app.get());
  EXPECT_EQ(v.app->text_len, TTS_TEXT_SIZE);
  EXPECT_EQ(TranscriptLines("reader"), std::vector<std::string>{text.substr(0, TTS_TEXT_SIZE)});
}

TEST_F(Tts, SpeedAboveTenStretchesTheEnginesFastestOutput) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  auto engineSpeed = [&] {
    intptr_t value = -1;
    ivTTS_GetParam(v.app->handle, ivTTS_PARAM_VOICE_SPEED, &value);
    return static_cast<int>(value);
  };
  struct Case {
    int setting, engine, tempo;
  };
  for (Case c : {Case{15, 32000, 50}, Case{4, 12800, 0}, Case{10, 32000, 0}, Case{-10, -32000, 0}}) {
    ASSERT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VSPEED, c.setting), 0) << c.setting;
    EXPECT_EQ(v.app->params[TTS_PARAM_VSPEED], c.setting);
    EXPECT_EQ(engineSpeed(), c.engine) << c.setting;
    EXPECT_EQ(SoundSpeed_GetSpeed(1), c.tempo) << c.setting;
  }
  // The same sentence at 10 and at 15: half as fast again, tail included.
  ASSERT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VSPEED, 10), 0);
  v.say(kSentence);
  ASSERT_TRUE(v.finished(1));
  size_t at10 = v.heard.bytes();
  v.heard.reset();
  ASSERT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VSPEED, 15), 0);
  v.say(kSentence);
  ASSERT_TRUE(v.finished(2));
  EXPECT_NEAR(static_cast<double>(v.heard.bytes()), at10 / 1.5, at10 * 0.08);
}

TEST_F(Tts, ParameterChangesStopTheSpeechOnlyWhenTheValueChanges) {
  Voice v;
  ASSERT_EQ(v.start(), 0);
  v.heard.setAccept(1);
  v.say(kSentence);
  ASSERT_TRUE(v.heard.waitFor([&] { return v.heard.refused > 0; }));
  EXPECT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VOLUME, 32767), 0);  // unchanged
  EXPECT_FALSE(tts_status(v.app.get()) & TTS_FLAG_STOP);
  EXPECT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VEMODE, 1), -1);  // no effect 1: refused
  EXPECT_EQ(v.app->params[TTS_PARAM_VEMODE], 0);
  EXPECT_EQ(TtsSetParam(v.app.get(), 19, 0), -1);
  EXPECT_EQ(TtsSetParam(v.app.get(), -1, 0), -1);
  EXPECT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_VEMODE, 2), 0);  // echo: a change stops
  EXPECT_TRUE(tts_status(v.app.get()) & TTS_FLAG_STOP_ACK);
  EXPECT_EQ(v.heard.done(), 0);
  EXPECT_EQ(TtsCheckParamId(18), 0);
  EXPECT_EQ(TtsCheckParamId(19), -1);
}

TEST_F(Tts, ParametersBeforeTheStartAreOnlyStored) {
  Voice v;
  EXPECT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_MAIN_ROLE, 4), 0);
  EXPECT_EQ(TtsSetParam(v.app.get(), TTS_PARAM_SUB_ROLE, 17), 0);
  ASSERT_EQ(v.start(), 0);
  intptr_t main = 0, sub = 0;
  ivTTS_GetParam(v.app->handle, ivTTS_PARAM_ROLE_MAIN, &main);
  ivTTS_GetParam(v.app->handle, ivTTS_PARAM_ROLE_COMPANION, &sub);
  EXPECT_EQ(main, 4);
  EXPECT_EQ(sub, 17);
}

TEST_F(Tts, CreationFailuresLeaveNothingRunning) {
  {
    Voice badRole;
    badRole.app->params[TTS_PARAM_MAIN_ROLE] = 99;  // no such voice
    EXPECT_EQ(badRole.start(), -1);
    EXPECT_EQ(badRole.app->handle, nullptr);
    EXPECT_EQ(badRole.app->res_file, nullptr);
    EXPECT_FALSE(badRole.app->thread.joinable());
  }
  std::filesystem::remove(root.at("/home/Resource.irf"));
  Voice noResource;
  EXPECT_EQ(noResource.start(), -1);
  EXPECT_EQ(noResource.app->handle, nullptr);
  EXPECT_FALSE(noResource.app->thread.joinable());
  EXPECT_EQ(tts_deinit(noResource.app.get()), -1);
  tts_synth_sentence(noResource.app.get(), "x", -1);  // harmless
  tts_stop(noResource.app.get());
}

// The prompt voice blocked by a device that takes nothing must not hold up
// a reading voice; both end cleanly.
TEST_F(Tts, TwoVoicesAndABlockedSink) {
  Voice prompt("text_sound", 0), reader("reader", 1);
  ASSERT_EQ(prompt.start(), 0);
  ASSERT_EQ(reader.start(), 0);
  prompt.heard.setAccept(0);
  prompt.say("这个声音被挡住了。");
  ASSERT_TRUE(prompt.heard.waitFor([&] { return prompt.heard.refused > 0; }));
  reader.say("另一个声音照常朗读。");
  ASSERT_TRUE(reader.finished());
  EXPECT_GT(reader.heard.bytes(), 16000u);
  EXPECT_EQ(prompt.heard.count(), 0);
  tts_stop(prompt.app.get());
  EXPECT_EQ(prompt.heard.done(), 0);
}

}  // namespace
