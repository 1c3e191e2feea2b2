// The engine through its ivTTS calls, with espeak-ng underneath. Tests that
// synthesise need espeak-ng's data: they find it as the engine does (under
// qemu set ESPEAK_DATA_PATH to a copy on tmpfs) and are skipped without it.
#include "ttsengine/espeak_core.h"
#include "support/files.h"
#include "ttsengine/ivtts.h"
#include "ttsengine/voice_role.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What one instance produced.
struct Sink {
  std::vector<int16_t> pcm;
  std::vector<uint16_t> codes;
  int calls = 0;
  int abortAfter = -1;  // return ABORT on this call (0-based)
  std::vector<std::pair<uint32_t, uint32_t>> progress;
  int endEvents = 0;
  uint32_t endValue = 99;
  std::function<void()> onOutput;
};

int output(void *param, uint16_t code, const void *pcm, uint32_t bytes) {
  auto *s = static_cast<Sink *>(param);
  if (s->onOutput) s->onOutput();
  int call = s->calls++;
  s->codes.push_back(code);
  const auto *p = static_cast<const int16_t *>(pcm);
  s->pcm.insert(s->pcm.end(), p, p + bytes / 2);
  return call == s->abortAfter ? ivTTS_OUTPUT_ABORT : ivTTS_OUTPUT_CONTINUE;
}

int progressExt(void *param, uint32_t pos, uint32_t len) {
  static_cast<Sink *>(param)->progress.emplace_back(pos, len);
  return 0;
}

int event(void *param, uint32_t ev, uint32_t value) {
  auto *s = static_cast<Sink *>(param);
  if (ev == ivTTS_EVENT_TEXT_END) {
    s->endEvents++;
    s->endValue = value;
  }
  return 0;
}

// An instance in its own work memory, set up as the speech service does.
struct Engine {
  std::unique_ptr<unsigned char[]> heap{new unsigned char[ivTTS_HEAP_SIZE]};
  ivHTTS h = nullptr;
  Sink sink;
  int create(const ivTResPackDesc *res = nullptr) {
    int r = ivTTS_CreateG(&h, heap.get(), ivTTS_HEAP_SIZE, &sink, res, res ? 1 : 0, nullptr);
    if (r != 0) return r;
    ivTTS_SetParam(h, ivTTS_PARAM_INPUT_CODEPAGE, 65001);
    ivTTS_SetParam(h, ivTTS_PARAM_OUTPUT_CALLBACK, reinterpret_cast<intptr_t>(&output));
    ivTTS_SetParam(h, ivTTS_PARAM_PROGRESS_CALLBACK_EXT, reinterpret_cast<intptr_t>(&progressExt));
    ivTTS_SetParam(h, ivTTS_PARAM_EVENT_CALLBACK, reinterpret_cast<intptr_t>(&event));
    return 0;
  }
  int say(const char *text) { return ivTTS_SynthText(h, text, static_cast<uint32_t>(std::strlen(text))); }
  std::string phonemes(const char *text) {
    char out[2048];
    return ivTTS_GetPhonemes(h, text, out, sizeof out) >= 0 ? std::string(out) : std::string("<error>");
  }
  ~Engine() {
    if (h) ivTTS_Destroy(h);
  }
};

class IvTts : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[512];
    if (ivTTS_FindDataPath(dir, sizeof dir) != 0)
      GTEST_SKIP() << "no espeak-ng data (set ESPEAK_DATA_PATH)";
    ASSERT_EQ(e.create(), 0);
  }
  Engine e;
};

TEST(IvTtsCreate, RefusesUnusableArguments) {
  ivHTTS h = reinterpret_cast<ivHTTS>(1);
  unsigned char small[16];
  EXPECT_EQ(ivTTS_CreateG(&h, small, sizeof small, nullptr, nullptr, 0, nullptr), ivTTS_ERR_BUFFER);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(ivTTS_CreateG(&h, nullptr, ivTTS_HEAP_SIZE, nullptr, nullptr, 0, nullptr), ivTTS_ERR_BUFFER);
  int dummy;
  std::vector<unsigned char> heap(ivTTS_HEAP_SIZE);
  EXPECT_EQ(ivTTS_CreateG(&h, heap.data(), ivTTS_HEAP_SIZE, nullptr, nullptr, 0, &dummy), ivTTS_ERR_INVPARAM);
  EXPECT_EQ(ivTTS_SetParam(nullptr, ivTTS_PARAM_VOLUME, 0), ivTTS_ERR_INVCALL);
  EXPECT_EQ(ivTTS_SynthText(nullptr, "a", 1), ivTTS_ERR_INVCALL);
}

TEST_F(IvTts, TakesTheSpeechServiceParametersAndRefusesOthers) {
  // The 19 parameters the speech service sends, with their defaults.
  const std::pair<uint32_t, intptr_t> service[] = {
      {0x100, 1}, {0x101, 65001}, {0x102, 0}, {0x105, 0}, {0x301, 0}, {0x302, 0}, {0x303, 0},
      {0x304, 0}, {0x305, 0}, {0x306, 0}, {0x500, 3}, {0x510, 3}, {0x511, 3}, {0x501, 1},
      {0x502, 0}, {0x503, 0}, {0x504, 32767}, {0x600, 0}, {0x800, 0}, {0x200, 0}};
  for (auto [id, v] : service) EXPECT_EQ(ivTTS_SetParam(e.h, id, v), 0) << std::hex << id;
  for (auto [id, v] : {std::pair<uint32_t, intptr_t>{0x502, 10 * 3200}, {0x502, 32000}, {0x503, -5 * 6400},
                       {0x600, 2}, {0x600, 6}, {0x600, 7}, {0x510, 56}, {0x511, 17}, {0x510, 54}})
    EXPECT_EQ(ivTTS_SetParam(e.h, id, v), 0) << std::hex << id << " " << std::dec << v;
  const std::pair<uint32_t, intptr_t> refused[] = {
      {0x510, 99}, {0x511, -1}, {0x600, 1}, {0x600, 8}, {0x101, 1234}, {0x502, 40000},
      {0x100, 3}, {0x102, 1}, {0x200, 1}, {0x999, 0}, {0x301, 3}};
  for (auto [id, v] : refused) EXPECT_EQ(ivTTS_SetParam(e.h, id, v), ivTTS_ERR_INVPARAM) << std::hex << id;
  intptr_t role = 0;
  ASSERT_EQ(ivTTS_GetParam(e.h, 0x510, &role), 0);
  EXPECT_EQ(role, 54);  // the refused 99 left the last good value
}

TEST_F(IvTts, OutputIs16kHzOfThePlausibleLength) {
  const char *text = "今天天气很好。";
  ASSERT_EQ(e.say(text), 0);
  ASSERT_FALSE(e.sink.pcm.empty());
  // espeak-ng's own 22050 Hz rendering of the same text and voice.
  std::vector<int16_t> native;
  VoiceSettings s;
  ASSERT_EQ(EspeakSynth(VoiceRoleVoice(*VoiceRoleFind(3), RunLang::kChinese, s), text, &native), 0);
  double expected = native.size() * 16000.0 / 22050.0;
  EXPECT_NEAR(static_cast<double>(e.sink.pcm.size()), expected, expected * 0.02);
  // About a second and a half of speech for six syllables, not silence.
  EXPECT_GT(e.sink.pcm.size(), 16000u * 8 / 10);
  EXPECT_LT(e.sink.pcm.size(), 16000u * 4);
  int peak = 0;
  for (int16_t v : e.sink.pcm) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_GT(peak, 3000);
  EXPECT_EQ(e.sink.codes.back(), ivTTS_CODE_PCM_FLUSH);
  EXPECT_EQ(e.sink.endEvents, 1);
  EXPECT_EQ(e.sink.endValue, 0u);
  for (uint16_t c : e.sink.codes) EXPECT_TRUE(c == 520 || c == 523 || c == 528);
}

TEST_F(IvTts, SpeedParameterChangesTheLength) {
  ASSERT_EQ(e.say("Hello world, this is a test."), 0);
  size_t normal = e.sink.pcm.size();
  ASSERT_GT(normal, 8000u);
  e.sink.pcm.clear();
  ASSERT_EQ(ivTTS_SetParam(e.h, ivTTS_PARAM_VOICE_SPEED, 32000), 0);
  ASSERT_EQ(e.say("Hello world, this is a test."), 0);
  EXPECT_LT(e.sink.pcm.size(), normal * 7 / 10);
}

TEST_F(IvTts, ProgressCoversTheClausesInInputBytes) {
  const char *text = "第一句，Second one. 第三句。";
  ASSERT_EQ(e.say(text), 0);
  ASSERT_EQ(e.sink.progress.size(), 3u);
  EXPECT_EQ(e.sink.progress[0], std::make_pair(0u, 12u));
  EXPECT_EQ(e.sink.progress[1].first, 12u);
  EXPECT_EQ(e.sink.progress[2].first + e.sink.progress[2].second, std::strlen(text));
}

TEST_F(IvTts, AbortFromTheOutputCallbackStopsAtOnce) {
  const char *text = "第一句话比较长一些。第二句话也很长。第三句话还是很长。第四句。";
  e.sink.abortAfter = 0;
  EXPECT_EQ(e.say(text), ivTTS_ERR_EXIT);
  EXPECT_EQ(e.sink.calls, 1);
  EXPECT_EQ(e.sink.progress.size(), 1u);  // the later clauses were never synthesised
  EXPECT_EQ(e.sink.endValue, 1u);
  // The engine is usable again at once.
  e.sink = Sink();
  EXPECT_EQ(e.say("好。"), 0);
  EXPECT_GT(e.sink.pcm.size(), 1000u);
}

TEST_F(IvTts, CallsFromInsideTheCallbackAreRefused) {
  int nested = -1, destroyed = -1;
  e.sink.onOutput = [&] {
    if (nested == -1) {
      nested = ivTTS_SynthText(e.h, "a", 1);
      destroyed = ivTTS_Destroy(e.h);
    }
  };
  ASSERT_EQ(e.say("好"), 0);
  EXPECT_EQ(nested, ivTTS_ERR_INVCALL);
  EXPECT_EQ(destroyed, ivTTS_ERR_INVCALL);
}

TEST_F(IvTts, EffectsAddTheirTail) {
  ASSERT_EQ(e.say("好"), 0);
  size_t plain = e.sink.pcm.size();
  e.sink = Sink();
  ASSERT_EQ(ivTTS_SetParam(e.h, ivTTS_PARAM_VEMODE, 2), 0);
  ASSERT_EQ(e.say("好"), 0);
  EXPECT_GT(e.sink.pcm.size(), plain + 16000 / 2);
  EXPECT_EQ(e.sink.codes.back(), ivTTS_CODE_PCM_TAIL);
}

TEST_F(IvTts, GbkInputReadsLikeUtf8) {
  ASSERT_EQ(e.say("你好"), 0);
  size_t utf8 = e.sink.pcm.size();
  e.sink = Sink();
  ASSERT_EQ(ivTTS_SetParam(e.h, ivTTS_PARAM_INPUT_CODEPAGE, 936), 0);
  const unsigned char gbk[] = {0xc4, 0xe3, 0xba, 0xc3};
  ASSERT_EQ(ivTTS_SynthText(e.h, gbk, sizeof gbk), 0);
  EXPECT_NEAR(static_cast<double>(e.sink.pcm.size()), static_cast<double>(utf8), utf8 * 0.02);
}

// Readings checked through espeak-ng's phonemes rather than by ear.
TEST_F(IvTts, MandarinVoiceReadsCharactersNumbersAndInlinePinyin) {
  std::string today = e.phonemes("今天");
  EXPECT_EQ(today.find("(en)"), std::string::npos) << today;  // plain cmn would spell English
  EXPECT_NE(today.find("55n"), std::string::npos) << today;
  EXPECT_NE(e.phonemes("银hang2").find("X'a35N"), std::string::npos);
  EXPECT_EQ(e.phonemes("2024年"), e.phonemes("二〇二四年"));
  EXPECT_EQ(e.phonemes("3.5"), e.phonemes("三点五"));
  EXPECT_EQ(e.phonemes("10:30"), e.phonemes("十点三十分"));
  EXPECT_EQ(e.phonemes("50%"), e.phonemes("百分之五十"));
  EXPECT_EQ(e.phonemes("-5"), e.phonemes("负五"));
  std::string mixed = e.phonemes("播放mp3");
  EXPECT_NE(mixed.find("Emp'i: Tr'i:"), std::string::npos) << mixed;  // "M P three" in English,
  EXPECT_EQ(mixed.find("mph"), std::string::npos) << mixed;  // not the Mandarin voice's "mph"
}

TEST_F(IvTts, CantoneseRoleUsesTheCantoneseVoice) {
  std::string mandarin = e.phonemes("银行");
  ASSERT_EQ(ivTTS_SetParam(e.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_CANTONESE_FEMALE), 0);
  std::string cantonese = e.phonemes("银行");
  EXPECT_NE(mandarin, cantonese);
  EXPECT_NE(cantonese.find("h'ong4"), std::string::npos) << cantonese;
}

// Two instances with different voices on two threads: espeak-ng is shared
// behind one lock, so both finish and each hears its own voice.
TEST_F(IvTts, TwoVoicesOnTwoThreads) {
  Engine other;
  ASSERT_EQ(other.create(), 0);
  ASSERT_EQ(ivTTS_SetParam(other.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_MANDARIN_MALE), 0);
  ASSERT_EQ(ivTTS_SetParam(other.h, ivTTS_PARAM_ROLE_COMPANION, ivTTS_ROLE_ENGLISH_MALE), 0);
  // Alone first, for reference lengths.
  ASSERT_EQ(e.say("你好，世界。"), 0);
  ASSERT_EQ(other.say("Good morning."), 0);
  size_t aloneA = e.sink.pcm.size(), aloneB = other.sink.pcm.size();
  e.sink = Sink();
  other.sink = Sink();
  constexpr int kRounds = 3;
  std::atomic<int> failures{0};
  std::thread a([&] {
    for (int i = 0; i < kRounds; i++)
      if (e.say("你好，世界。") != 0) failures++;
  });
  std::thread b([&] {
    for (int i = 0; i < kRounds; i++)
      if (other.say("Good morning.") != 0) failures++;
  });
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_NEAR(static_cast<double>(e.sink.pcm.size()), kRounds * aloneA, kRounds * aloneA * 0.02);
  EXPECT_NEAR(static_cast<double>(other.sink.pcm.size()), kRounds * aloneB, kRounds * aloneB * 0.02);
}

// An instance whose sink is blocked (a prompt holds the device) must not
// keep another instance from synthesising.
TEST_F(IvTts, ABlockedSinkDoesNotHoldUpAnotherVoice) {
  Engine other;
  ASSERT_EQ(other.create(), 0);
  std::mutex m;
  std::condition_variable cv;
  bool release = false, blocked = false;
  e.sink.onOutput = [&] {
    std::unique_lock lock(m);
    blocked = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  };
  std::thread a([&] { e.say("这个声音被挡住了。"); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return blocked; });
  }
  auto done = std::async(std::launch::async, [&] { return other.say("另一个声音。"); });
  bool finished = done.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  {
    std::scoped_lock lock(m);
    release = true;
  }
  cv.notify_all();
  a.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(done.get(), 0);
  EXPECT_GT(other.sink.pcm.size(), 8000u);
}

// A resource held in memory, read through the engine's read callback.
uint32_t readMemory(void *param, void *buffer, uint32_t offset, uint32_t size) {
  auto *bytes = static_cast<std::string *>(param);
  if (offset > bytes->size() || size > bytes->size() - offset) return 0;
  std::memcpy(buffer, bytes->data() + offset, size);
  return ivTTS_RES_READ_ALL;
}

std::string resourceWith(uint32_t type, const std::string &body, uint32_t count = 1) {
  auto le = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  return "ivTTSres" + le(1) + le(count) + le(type) + le(28) + le(static_cast<uint32_t>(body.size())) + body;
}

TEST_F(IvTts, ResourceLexiconCorrectsMandarinReadings) {
  std::string bytes = resourceWith(2, "# words\n银行\t银hang2\n长大\tzhang3大\r\n坏行\n");
  ivTResPackDesc res{&bytes, &readMemory, {}};
  Engine withLexicon;
  ASSERT_EQ(withLexicon.create(&res), 0);
  EXPECT_EQ(withLexicon.phonemes("在银行长大"), e.phonemes("在银hang2zhang3大"));
  EXPECT_NE(e.phonemes("银行"), withLexicon.phonemes("银行"));  // the plain instance has none
  // Cantonese reads its own way: the Mandarin lexicon is not applied.
  ASSERT_EQ(ivTTS_SetParam(withLexicon.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_CANTONESE_MALE), 0);
  ASSERT_EQ(ivTTS_SetParam(e.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_CANTONESE_MALE), 0);
  EXPECT_EQ(withLexicon.phonemes("银行"), e.phonemes("银行"));
}

TEST_F(IvTts, DamagedResourcesLeaveTheDefaults) {
  const std::string damaged[] = {
      "",
      "not a resource at all",
      resourceWith(2, "银行\t银hang2\n").substr(0, 20),      // cut inside the section table
      resourceWith(2, "银行\t银hang2\n", 1000),              // absurd section count
      resourceWith(2, "银行\t银hang2\n").substr(0, 32),      // section runs past the end
      resourceWith(1, std::string(5000, 'x')),                 // data path far too long
      resourceWith(7, "whatever"),                             // unknown section
  };
  for (const std::string &d : damaged) {
    std::string bytes = d;
    ivTResPackDesc res{&bytes, &readMemory, {}};
    Engine engine;
    ASSERT_EQ(engine.create(&res), 0) << d.size();
    EXPECT_EQ(engine.phonemes("银行"), e.phonemes("银行"));
  }
}

uint32_t readFile(void *param, void *buffer, uint32_t offset, uint32_t size) {
  FILE *f = static_cast<FILE *>(param);
  if (std::fseek(f, offset, SEEK_SET) != 0) return 0;
  if (std::fread(buffer, 1, size, f) != size) return 0;
  return ivTTS_RES_READ_ALL;
}

// The resource the device ships: prompts with common polyphones read right.
TEST_F(IvTts, ShippedResourceReadsCommonPolyphones) {
  FILE *f = std::fopen(SourcePath("/data/Resource.irf").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ivTResPackDesc res{f, &readFile, {}};
  Engine shipped;
  ASSERT_EQ(shipped.create(&res), 0);
  std::fclose(f);  // read once, at creation
  const std::pair<const char *, const char *> cases[] = {
      {"银行", "银hang2"}, {"长大", "zhang3大"}, {"重复", "chong2复"}, {"音乐", "音yue4"}};
  for (auto [word, pinyin] : cases) {
    EXPECT_EQ(shipped.phonemes(word), e.phonemes(pinyin)) << word;
    EXPECT_NE(e.phonemes(word), e.phonemes(pinyin)) << word << ": the voice alone would misread it";
  }
}

}  // namespace
