// Speed of the speech engine: for Chinese and English text, how much faster
// than real time it synthesises (16 kHz PCM delivered to a sink that only
// counts), how long a short prompt waits for its first samples, and the same
// with two voices synthesising at once on two threads.
//   bench_tts_rtf [rounds]
#include "board/board.h"
#include "ttsengine/espeak_core.h"
#include "ttsengine/ivtts.h"
#include "ttsengine/pcm_dsp.h"
#include "ttsengine/voice_role.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Count {
  uint64_t samples = 0;
  int64_t firstUs = -1;
  int64_t startUs = 0;
};

int countPcm(void *param, uint16_t, const void *, uint32_t bytes) {
  auto *c = static_cast<Count *>(param);
  if (c->firstUs < 0) c->firstUs = BoardMonotonicUs() - c->startUs;
  c->samples += bytes / 2;
  return ivTTS_OUTPUT_CONTINUE;
}

struct Voice {
  std::unique_ptr<unsigned char[]> heap{new unsigned char[ivTTS_HEAP_SIZE]};
  ivHTTS h = nullptr;
  Count count;
  bool create(int role) {
    if (ivTTS_CreateG(&h, heap.get(), ivTTS_HEAP_SIZE, &count, nullptr, 0, nullptr) != 0) return false;
    ivTTS_SetParam(h, ivTTS_PARAM_INPUT_CODEPAGE, 65001);
    ivTTS_SetParam(h, ivTTS_PARAM_OUTPUT_CALLBACK, reinterpret_cast<intptr_t>(&countPcm));
    ivTTS_SetParam(h, ivTTS_PARAM_ROLE_MAIN, role);
    return true;
  }
  // Seconds of wall time to speak text rounds times.
  double run(const char *text, int rounds) {
    count = Count();
    int64_t t0 = BoardMonotonicUs();
    for (int i = 0; i < rounds; i++) {
      count.startUs = BoardMonotonicUs();
      count.firstUs = -1;
      ivTTS_SynthText(h, text, static_cast<uint32_t>(std::strlen(text)));
    }
    return (BoardMonotonicUs() - t0) / 1e6;
  }
  ~Voice() {
    if (h) ivTTS_Destroy(h);
  }
};

const char kChinese[] =
    "二〇二四年十一月十三日，星期三。今天的天气很好，气温在15到22度之间。"
    "我们在银行门口见面，然后一起去听音乐会，大约需要2个小时。";
const char kEnglish[] =
    "The quick brown fox jumps over the lazy dog. This talking book has twelve chapters, "
    "and reading resumes where it stopped last time.";
const char kPrompt[] = "键盘已锁";

void report(const char *name, Voice &v, const char *text, int rounds) {
  double wall = v.run(text, rounds);
  double audio = v.count.samples / 16000.0;
  std::printf("%-22s %7.2f s audio in %6.3f s: %7.1fx real time\n", name, audio, wall, wall > 0 ? audio / wall : 0);
}

}  // namespace

int main(int argc, char **argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char dir[512];
  if (ivTTS_FindDataPath(dir, sizeof dir) != 0) {
    std::fprintf(stderr, "no espeak-ng data (set ESPEAK_DATA_PATH)\n");
    return 1;
  }
  std::printf("espeak-ng data: %s, %d rounds\n", dir, rounds);
  Voice zh, en;
  if (!zh.create(ivTTS_ROLE_MANDARIN_FEMALE) || !en.create(ivTTS_ROLE_ENGLISH_MALE)) return 1;
  ivTTS_SetParam(en.h, ivTTS_PARAM_ROLE_COMPANION, ivTTS_ROLE_ENGLISH_MALE);
  zh.run("预热", 1);  // the first voice load scans the voice files

  report("Chinese (Mandarin)", zh, kChinese, rounds);
  report("English", en, kEnglish, rounds);
  ivTTS_SetParam(zh.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_CANTONESE_FEMALE);
  report("Chinese (Cantonese)", zh, kChinese, rounds);
  ivTTS_SetParam(zh.h, ivTTS_PARAM_ROLE_MAIN, ivTTS_ROLE_MANDARIN_FEMALE);
  ivTTS_SetParam(zh.h, ivTTS_PARAM_VEMODE, 6);
  report("Chinese, reverberation", zh, kChinese, rounds);
  ivTTS_SetParam(zh.h, ivTTS_PARAM_VEMODE, 0);

  // espeak-ng alone (22050 Hz, no resampling) and the resampler alone, for
  // where the time goes.
  {
    VoiceSettings s;
    EspeakVoice v = VoiceRoleVoice(*VoiceRoleFind(ivTTS_ROLE_MANDARIN_FEMALE), RunLang::kChinese, s);
    std::vector<int16_t> pcm;
    int64_t t = BoardMonotonicUs();
    for (int i = 0; i < rounds; i++) EspeakSynth(v, kChinese, &pcm);
    double wall = (BoardMonotonicUs() - t) / 1e6;
    std::printf("%-22s %7.2f s audio in %6.3f s: %7.1fx real time\n", "espeak-ng alone (zh)", pcm.size() / 22050.0,
                wall, pcm.size() / 22050.0 / wall);
    Resampler r;
    std::vector<int16_t> out;
    t = BoardMonotonicUs();
    r.Process(pcm.data(), pcm.size(), &out);
    r.Flush(&out);
    wall = (BoardMonotonicUs() - t) / 1e6;
    std::printf("%-22s %7.2f s audio in %6.3f s: %7.1fx real time\n", "resampler alone", out.size() / 16000.0, wall,
                out.size() / 16000.0 / wall);
  }

  int64_t best = -1, worst = 0;
  for (int i = 0; i < rounds; i++) {
    zh.run(kPrompt, 1);
    best = best < 0 ? zh.count.firstUs : std::min(best, zh.count.firstUs);
    worst = std::max(worst, zh.count.firstUs);
  }
  std::printf("short prompt \"%s\": first samples after %.2f ms (worst %.2f ms)\n", kPrompt, best / 1000.0,
              worst / 1000.0);

  // Two voices at once share the one engine.
  double zhWall = 0, enWall = 0;
  int64_t t0 = BoardMonotonicUs();
  std::thread a([&] { zhWall = zh.run(kChinese, rounds); });
  std::thread b([&] { enWall = en.run(kEnglish, rounds); });
  a.join();
  b.join();
  double wall = (BoardMonotonicUs() - t0) / 1e6;
  double audio = (zh.count.samples + en.count.samples) / 16000.0;
  std::printf("two voices at once      %7.2f s audio in %6.3f s: %7.1fx real time together\n", audio, wall,
              audio / wall);
  return 0;
}
