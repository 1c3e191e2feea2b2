// The shared espeak-ng engine (see espeak_core.h). g_engineMutex guards
// every espeak_* call and the fields below; it is never held while anything
// outside this file runs.
#include "ttsengine/espeak_core.h"

#include "core/runtime/log.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

namespace {

constexpr char kLogSource[] = "ttsengine/espeak_core.c";

#ifndef TB_ESPEAK_DEFAULT_DATA
#define TB_ESPEAK_DEFAULT_DATA "/usr/share/espeak-ng-data"
#endif

std::mutex g_engineMutex;
bool g_open = false;        // guarded by g_engineMutex
std::string g_dataDir;      // guarded by g_engineMutex
std::string g_voiceLoaded;  // guarded by g_engineMutex: voice espeak-ng holds now

bool isFile(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool dataIn(const char *candidate, std::string *dir) {
  if (!candidate || !*candidate) return false;
  std::string base(candidate);
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (isFile(base + "/espeak-ng-data/phontab")) {
    *dir = base + "/espeak-ng-data";
    return true;
  }
  if (isFile(base + "/phontab")) {
    *dir = base;
    return true;
  }
  return false;
}

// espeak-ng's synthesis callback: samples go to the vector handed to
// espeak_Synth as user data. Runs inside espeak_Synth, under the lock.
int collect(short *wav, int samples, espeak_EVENT *events) {
  // Every event of the list, the terminating one included, carries the
  // user data of the espeak_Synth call.
  if (!wav || samples <= 0 || !events || !events->user_data) return 0;
  auto *pcm = static_cast<std::vector<int16_t> *>(events->user_data);
  pcm->insert(pcm->end(), wav, wav + samples);
  return 0;
}

// Loads the voice unless espeak-ng holds it already, then sets every
// prosody parameter. Lock held.
int applyVoice(const EspeakVoice &voice) {
  if (voice.name != g_voiceLoaded) {
    if (espeak_SetVoiceByName(voice.name.c_str()) != EE_OK) {
      LOGE("espeak-ng has no voice %s\n", voice.name.c_str());
      g_voiceLoaded.clear();
      return -1;
    }
    g_voiceLoaded = voice.name;
  }
  espeak_SetParameter(espeakRATE, voice.rate, 0);
  espeak_SetParameter(espeakPITCH, voice.pitch, 0);
  espeak_SetParameter(espeakRANGE, voice.range, 0);
  espeak_SetParameter(espeakVOLUME, voice.volume, 0);
  return 0;
}

}  // namespace

int EspeakFindData(const char *explicitDir, std::string *dir) {
  if (dataIn(explicitDir, dir)) return 0;
  if (dataIn(std::getenv("ESPEAK_DATA_PATH"), dir)) return 0;
  if (dataIn(TB_ESPEAK_DEFAULT_DATA, dir)) return 0;
  return -1;
}

int EspeakOpen(const char *dataDir) {
  std::scoped_lock lock(g_engineMutex);
  if (g_open) return 0;
  std::string dir;
  if (EspeakFindData(dataDir, &dir) != 0) {
    LOGE("no espeak-ng data found (%s, ESPEAK_DATA_PATH, %s)\n", dataDir ? dataDir : "-",
         TB_ESPEAK_DEFAULT_DATA);
    return -1;
  }
  int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, dir.c_str(), espeakINITIALIZE_DONT_EXIT);
  if (rate != kEspeakRate) {
    LOGE("espeak-ng did not start with %s: %d\n", dir.c_str(), rate);
    return -1;
  }
  espeak_SetSynthCallback(collect);
  g_dataDir = dir;
  g_open = true;
  LOGI("espeak-ng %s started with %s\n", espeak_Info(nullptr), dir.c_str());
  return 0;
}

std::string EspeakDataDir(void) {
  std::scoped_lock lock(g_engineMutex);
  return g_dataDir;
}

int EspeakSynth(const EspeakVoice &voice, const std::string &text, std::vector<int16_t> *pcm) {
  std::scoped_lock lock(g_engineMutex);
  if (!g_open || applyVoice(voice) != 0) return -1;
  espeak_ERROR err = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                                  nullptr, pcm);
  if (err != EE_OK) {
    LOGW("espeak-ng synthesis failed: %d\n", static_cast<int>(err));
    return -1;
  }
  return 0;
}

int EspeakPhonemes(const EspeakVoice &voice, const std::string &text, std::string *out) {
  std::scoped_lock lock(g_engineMutex);
  if (!g_open || applyVoice(voice) != 0) return -1;
  const void *p = text.c_str();
  while (p) {
    const char *ph = espeak_TextToPhonemes(&p, espeakCHARS_UTF8, 0);
    if (!ph) break;
    if (!out->empty() && *ph) *out += ' ';
    *out += ph;
  }
  return 0;
}
