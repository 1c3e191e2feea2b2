// ttsengine/espeak_core.h: the process's one espeak-ng engine. espeak-ng
// keeps all of its state in globals and is not safe for threads, so every
// call goes through here under g_engineMutex (espeak_core.cpp); each call
// applies the caller's complete voice and prosody first, because another
// instance may have changed them since. Nothing here calls back into the
// instances: PCM is collected into the caller's buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EspeakVoice {
  std::string name;  // espeak-ng voice with variant: "cmn-latn-pinyin+f2"
  int rate = 175;    // words per minute, 80..450
  int pitch = 50;    // 0..100
  int range = 50;    // 0..100
  int volume = 100;  // 0..200
};

enum { kEspeakRate = 22050 };  // espeak-ng's own output rate

// Finds espeak-ng's data: the first of the explicit folder, the folder named
// by ESPEAK_DATA_PATH and the distribution's folder that holds a phontab
// (each may be the espeak-ng-data folder or the folder holding it). Returns
// 0 with *dir set to the espeak-ng-data folder, -1 when there is none.
int EspeakFindData(const char *explicitDir, std::string *dir);

// Starts the engine once per process with the data found from dataDir (see
// EspeakFindData); later calls only report. espeak-ng cannot be shut down
// safely (its terminate call hangs), so it stays up until the process ends.
// Returns 0, or -1 when no usable data was found.
int EspeakOpen(const char *dataDir);

// The data folder in use ("" before EspeakOpen succeeded).
std::string EspeakDataDir(void);

// Synthesises UTF-8 text with the voice and appends the 22050 Hz samples to
// *pcm. Returns 0, or -1 (engine not open, unknown voice, synthesis error).
int EspeakSynth(const EspeakVoice &voice, const std::string &text, std::vector<int16_t> *pcm);

// Phoneme mnemonics of the text as the voice reads it (clauses joined by
// " "). Returns 0 or -1.
int EspeakPhonemes(const EspeakVoice &voice, const std::string &text, std::string *out);
