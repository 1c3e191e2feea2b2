// speech/tts.h: the speech service. A speech instance (TtsApp) wraps one
// engine instance (ttsengine/ivtts.h) in a worker thread of its own: the
// client hands it one sentence of UTF-8 text, the thread synthesises it,
// runs the 16 kHz mono PCM through the instance's tempo processor
// (sound/sound_speed.h), cuts it into 4096-byte blocks for the client's sink
// and calls the client's finish function when the sentence has been spoken
// to its end. Stop, pause and continue take effect within one block.
//
// Instances in the system: the prompt voice of the prompt queue
// (speech/text_sound.h, tempo processor 0) and the reading voice of the
// e-book or the DAISY reader (tempo processor 1; never both at once).
//
// Using an instance (a reading voice):
//   TtsApp *app = new TtsApp;                  // about 500 KB: heap or static
//   TtsGetDefaultParam(app->params);           // then the reader's settings:
//   app->params[TTS_PARAM_CODEPAGE] = 65001;   //   speed, roles, effect, pitch
//   std::snprintf(app->name, sizeof app->name, "DAISY_TTS");
//   app->tempo = 1;
//   tts_init(app, sink, finish, user);         // starts the speech thread
//   tts_synth_sentence(app, text, -1);         // speaks; finish(user) at its end
//   tts_pause(app); tts_continue(app); tts_stop(app);
//   TtsSetParam(app, TTS_PARAM_SPEED, 5);      // cuts off the sentence
//   tts_deinit(app); delete app;               // joins the thread
//
// Threads and locks: clients call from any one thread at a time; the speech
// thread runs the engine, the output callback, the sink and the finish
// function, none of them with the instance mutex held. The mutex guards the
// flags word; the text, the PCM block and the positions belong to the
// client while the thread is idle (after a stop has been acknowledged) and
// to the thread while it speaks. The sink and the finish function may call
// tts_stop and tts_synth_sentence of their own instance (those do not wait
// for the thread then); they must not call tts_pause, TtsSetParam or
// tts_deinit of it.
//
// Every sentence is written to the board's transcript as it starts, with
// the instance's voice label (`voice`, else its name).
#pragma once

#include "ttsengine/ivtts.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

constexpr int TTS_PARAM_NUM = 19;

// Indices into TtsApp::params (the engine id each goes to is tts_param_id).
enum {
  TTS_PARAM_LANGUAGE = 0,   // 0x100: 1 Chinese prompts, 2 English prompts
  TTS_PARAM_CODEPAGE = 1,   // 0x101: 65001 for UTF-8
  TTS_PARAM_ROLE_ALL = 10,  // 0x500: not sent at creation
  TTS_PARAM_MAIN_ROLE = 11, // 0x510: first value of the role pair
  TTS_PARAM_SUB_ROLE = 12,  // 0x511: second value of the role pair
  TTS_PARAM_STYLE = 13,     // 0x501
  TTS_PARAM_VSPEED = 14,    // 0x502: the speed setting, mapped (see TtsSetParam)
  TTS_PARAM_VPITCH = 15,    // 0x503: the pitch setting x 6400
  TTS_PARAM_VOLUME = 16,    // 0x504
  TTS_PARAM_VEMODE = 17,    // 0x600: the effect setting
};

// Bits of TtsApp::flags.
enum : unsigned {
  TTS_FLAG_STOP = 0x1,        // stop request (also set at the end of a sentence)
  TTS_FLAG_PAUSE = 0x2,       // pause request
  TTS_FLAG_END = 0x4,         // the sentence was spoken to its end
  TTS_FLAG_EXIT = 0x80,       // tts_deinit: the thread ends
  TTS_FLAG_STOP_ACK = 0x100,  // the thread is idle
  TTS_FLAG_PAUSE_ACK = 0x200, // the thread is paused
};

constexpr int TTS_TEXT_SIZE = 4096;
constexpr int TTS_PCM_SIZE = 4096;
constexpr int TTS_TEMPO_SAMPLES = 65536;  // 131072 bytes

// Receives one block of PCM (16-bit mono, 16000 Hz, at most 4096 bytes).
// Returns bytes (or any value >= 0) when taken, negative when it cannot take
// the block now: the thread offers it again every 23 ms until it is taken
// or the speech is stopped.
using TtsSink = int (*)(void *user, void *pcm, int bytes);
// Called when a sentence has been spoken to its end (never after a stop).
using TtsFinish = void (*)(void *user);

// One speech instance. The client fills params, name, tempo (and voice)
// before tts_init; the rest belongs to the service.
struct TtsApp {
  ivTResPackDesc res{};  // the instance itself, TtsReadRes, seven zero words
  ivCBParamChange param_change = nullptr;
  ivCBProgress progress = nullptr;  // never set
  ivCBProgress progress_ext = nullptr;
  ivCBOutput output = nullptr;
  ivCBEvent event = nullptr;
  ivHTTS handle = nullptr;
  alignas(16) unsigned char heap[ivTTS_HEAP_SIZE];
  FILE *res_file = nullptr;  // "/home/Resource.irf" while the instance exists
  int (*open_res)(TtsApp *app) = nullptr;
  int (*close_res)(TtsApp *app) = nullptr;
  unsigned flags = 0;  // guarded by mutex
  std::condition_variable cond;
  std::mutex mutex;
  std::thread thread;
  void *user = nullptr;
  TtsFinish finish = nullptr;
  TtsSink sink = nullptr;
  char text[TTS_TEXT_SIZE];  // not terminated
  int text_len = 0;
  int text_pos = 0;
  int progress_pos = 0;  // end offset of the fragment the engine last reported
  unsigned char pcm[TTS_PCM_SIZE];
  int pcm_fill = 0;
  int params[TTS_PARAM_NUM] = {};
  short tempo_buf[TTS_TEMPO_SAMPLES];
  int tempo = 0;  // tempo processor: 0 prompt voice, 1 reading voice
  char name[32] = {};
  // Transcript label of the spoken sentences; empty: the name.
  char voice[32] = {};
  std::thread::id thread_id;  // of the speech thread, for calls from the sink
};

// Fills params with the 19 defaults of the service.
void TtsGetDefaultParam(int *params);

// Starts the instance: engine, tempo processor (mono, 16000 Hz, the speed
// parameter's tempo), speech thread. The client has filled params, name and
// tempo. Returns 0, or -1 (no sink, no resource file "/home/Resource.irf",
// engine refused; nothing is left running).
int tts_init(TtsApp *app, TtsSink sink, TtsFinish finish, void *user);

// Ends the thread from any state, frees the engine and closes the resource
// file. Returns the result of closing it (0), or -1 for an instance that
// was never started.
int tts_deinit(TtsApp *app);

// Speaks text (len bytes; len < 1: up to its terminator), cutting off the
// sentence in progress. Only the first 4096 bytes are spoken.
void tts_synth_sentence(TtsApp *app, const char *text, int len);

// Stops the sentence; returns once the thread is idle. The finish function
// is not called for it.
void tts_stop(TtsApp *app);
// Pauses; returns once the thread has stopped handing out PCM.
void tts_pause(TtsApp *app);
// Ends a pause; returns at once.
void tts_continue(TtsApp *app);

// The flags word (TTS_FLAG_*).
unsigned tts_status(TtsApp *app);

// Changes parameter index to value. The same value changes nothing;
// another one stops the sentence being spoken first. Index 14 (speed) v
// goes to the engine as v x 3200 for v < 11 with the tempo processor
// neutral, else as 32000 with the tempo processor at (v - 10) x 10 % faster;
// params keeps v. Before tts_init the value is only stored.
// Returns 0, or -1 (index out of range, the engine refused the value).
int TtsSetParam(TtsApp *app, int index, int value);

// 0 when index < 19, else -1 (logged).
int TtsCheckParamId(int index);

// The engine parameter id of each index.
extern const uint32_t tts_param_id[TTS_PARAM_NUM];
