// Speed of the speech engine: for Chinese and English text, how much faster
// than real time it synthesises (16 kHz PCM delivered to a sink that only
// counts), how long a short prompt waits for its first samples, and the same
// with two voices synthesising at once on two threads; the same sentences
// through the espeak-ng command line piped to sox (resampled to 16 kHz) for
// comparison; and the whole road of a key: a key posted to the key buffer,
// the distribution thread, a screen that speaks a prompt, the prompt queue,
// the speech thread, the host board's sound device (real time, as on the
// board), until the prompt's first sample sounds: on an idle device, over a
// prompt still sounding (scrolling a list) and over a book's clip that a
// player writes as the DAISY reader does (44100 Hz stereo, 4096-byte
// blocks, offered again every 23 ms).
//   bench_tts_rtf [rounds]
#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/activity.h"
#include "core/runtime/key.h"
#include "core/runtime/machine.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/text_sound.h"
#include "speech/tts.h"
#include "ttsengine/espeak_core.h"
#include "ttsengine/ivtts.h"
#include "ttsengine/pcm_dsp.h"
#include "ttsengine/voice_role.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
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

// The same text through the espeak-ng program and sox, as a shell user
// would make 16 kHz speech: wall seconds per round and seconds of audio.
void commandLine(const char *name, const char *voice, const char *text, int rounds) {
  if (std::system("command -v espeak-ng >/dev/null && command -v sox >/dev/null") != 0) {
    std::printf("%-22s espeak-ng or sox not installed\n", name);
    return;
  }
  std::string raw = std::filesystem::temp_directory_path() / "bench_tts_cli.raw";
  std::string cmd = std::string("espeak-ng -v ") + voice + " --stdout '" + text + "' | sox -V1 -q -t wav - -r 16000 -c 1 -b 16 -e signed -t raw " + raw;
  int64_t t0 = BoardMonotonicUs();
  for (int i = 0; i < rounds; i++)
    if (std::system(cmd.c_str()) != 0) {
      std::printf("%-22s failed: %s\n", name, cmd.c_str());
      return;
    }
  double wall = (BoardMonotonicUs() - t0) / 1e6;
  std::error_code ec;
  double audio = static_cast<double>(std::filesystem::file_size(raw, ec)) / 32000.0 * rounds;
  std::filesystem::remove(raw, ec);
  std::printf("%-22s %7.2f s audio in %6.3f s: %7.1fx real time\n", name, audio, wall, wall > 0 ? audio / wall : 0);
}

// ---- key to first sample ----

std::atomic<int64_t> g_keyTakenUs{0};

int benchKey(Activity *, const KeyEvent *key) {
  if (key->type != KEY_TYPE_PRESS || key->code != VKEY_DOWN) return 1;
  g_keyTakenUs = BoardMonotonicUs();
  text_sound_insert(kPrompt);
  return 0;
}

// When ("play=") the new prompt's first write sounds: the first write in
// the prompt format (16000 Hz mono) after fromMs that follows the device
// being opened, set or reset for it; and whether the prompt's insert has
// been closed since.
struct Heard {
  double firstPlayMs = -1;
  bool closed = false;
};

Heard readLog(double fromMs) {
  Heard h;
  std::ifstream in(BoardHostFile("sound.log"));
  std::string line;
  bool prompt = false, taken = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    double ms = 0;
    std::string a, b;
    words >> ms >> a >> b;
    if (a == "dsp" && (b == "open" || b == "set")) prompt = line.find("rate=16000 ch=1") != std::string::npos;
    if (ms < fromMs) continue;
    if (a == "dsp" && (b == "open" || b == "set" || b == "reset")) taken = true;
    if (a == "dsp" && b == "write" && prompt && taken && h.firstPlayMs < 0) {
      size_t p = line.find("play=");
      if (p != std::string::npos) h.firstPlayMs = std::atof(line.c_str() + p + 5);
    }
    if (a == "sound" && b == "iclose") h.closed = true;
  }
  return h;
}

// A player writing a book's clip as the DAISY reader does, until stopped.
struct ClipPlayer {
  std::atomic<bool> stop{false};
  std::thread thread;
  void start() {
    int handle = sound_open(1, 44100, 2);
    thread = std::thread([this, handle] {
      std::vector<char> block(4096);
      while (!stop) {
        int r = sound_write(handle, block.data(), static_cast<int>(block.size()));
        if (r == -2 || r == -3) std::this_thread::sleep_for(std::chrono::milliseconds(23));
      }
      sound_close(handle);
    });
  }
  void end() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

double sinceStartMs(int64_t us) { return static_cast<double>(us - BoardHostStartUs()) / 1000.0; }

void keyToFirstSample(int rounds) {
  char tmpl[] = "/tmp/bench-tts-XXXXXX";
  if (!mkdtemp(tmpl)) return;
  std::string root = tmpl;
  for (const char *d : {"/home", "/dev", "/mnt/emmc", "/proc", "/tmp"}) std::filesystem::create_directories(root + d);
  std::error_code ec;
  std::filesystem::copy_file(std::string(TB_SOURCE_DIR) + "/data/Resource.irf", root + "/home/Resource.irf", ec);
  BoardHostOptions o;
  o.root = root;
  o.audio = "null";
  BoardHostConfigure(o);
  HardVer = 32;
  sound_init();
  SoundSpeed_Init();
  int params[TTS_PARAM_NUM];
  TtsGetDefaultParam(params);
  params[TTS_PARAM_CODEPAGE] = 65001;
  if (text_sound_init("text_sound", params) != 0) {
    std::printf("key to first sample: the prompt voice does not start\n");
    return;
  }
  gKeyBuffer = KeyBufferInit(32);
  KeyDistributor *dstr = SysInitKeyDstr(nullptr);
  Activity screen{"bench", 0, benchKey, nullptr, nullptr, 0, nullptr};
  ActivityAdd(&screen);
  ActivitySetActive(&screen, 1);

  // Idle device: the prompt plays from silence. Over a prompt: the key comes
  // while the previous prompt speaks, whose queued audio is discarded. Over
  // a clip: the prompt pre-empts the player, whose queued audio is too.
  const char *const kCases[] = {"", " over a prompt", " over a clip"};
  for (int c = 0; c < 3; c++) {
    const bool over = c == 1;
    ClipPlayer clip;
    if (c == 2) {
      clip.start();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    double best = 1e9, worst = 0, sum = 0, dispatch = 0;
    for (int i = 0; i < rounds; i++) {
      if (c == 2) std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the clip fills the device again
      if (over) {
        SendVKey(VKEY_DOWN);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      }
      int64_t t0 = BoardMonotonicUs();
      double fromMs = sinceStartMs(t0);
      SendVKey(VKEY_DOWN);
      Heard h;
      for (int k = 0; k < 500 && h.firstPlayMs < 0; k++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        h = readLog(fromMs);
      }
      double ms = h.firstPlayMs - fromMs;
      best = std::min(best, ms);
      worst = std::max(worst, ms);
      sum += ms;
      dispatch += (g_keyTakenUs - t0) / 1000.0;
      for (int k = 0; k < 1000 && !h.closed; k++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        h = readLog(fromMs);
      }
    }
    std::printf("key to first sample%s \"%s\": mean %.1f ms, best %.1f ms, worst %.1f ms (key to screen %.2f ms)\n",
                kCases[c], kPrompt, sum / rounds, best, worst, dispatch / rounds);
    clip.end();
  }

  ActivityRemove(&screen);
  DeInitKeyDistribution(dstr);
  KeyBufferDeInit(gKeyBuffer);
  gKeyBuffer = nullptr;
  text_sound_deinit();
  sound_deinit();
  BoardHostConfigure(BoardHostOptions{});
  std::filesystem::remove_all(root, ec);
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

  commandLine("espeak-ng | sox (zh)", "cmn-latn-pinyin+f2", kChinese, rounds);
  commandLine("espeak-ng | sox (en)", "en-us+m1", kEnglish, rounds);

  keyToFirstSample(rounds);
  return 0;
}
