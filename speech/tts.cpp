// The speech service: one engine instance and one speech thread per TtsApp.
//
// The thread waits while any of the stop, pause and end bits is set and
// acknowledges stop and pause requests by setting their acknowledgement
// bits (the clients' tts_stop and tts_pause wait for those on the same
// condition variable, which is therefore always notified with notify_all).
// While it speaks it is inside ivTTS_SynthText most of the time; the engine
// calls TtsOutputPcm with pieces of PCM, which checks the flags before every
// block, so a stop or a pause takes effect within one 4096-byte block (plus
// the synthesis of the clause in progress). The instance mutex is never held
// while the engine, the sink or the finish function runs.
#include "speech/tts.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

constexpr char kLogSource[] = "speech/tts.c";

const uint32_t tts_param_id[TTS_PARAM_NUM] = {0x100, 0x101, 0x102, 0x105, 0x301, 0x302, 0x303,
                                              0x304, 0x305, 0x306, 0x500, 0x510, 0x511, 0x501,
                                              0x502, 0x503, 0x504, 0x600, 0x800};

namespace {

constexpr int kDefaults[TTS_PARAM_NUM] = {1, 936, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 1, 0, 0, 32767, 0, 0};
constexpr char kResourceFile[] = "/home/Resource.irf";
constexpr auto kSinkRetry = std::chrono::milliseconds(23);
constexpr int kTempoRoom = 32768;         // samples offered to the tempo processor
constexpr int kUnknownPcmCode = 32775;    // result for an output code we do not take
constexpr unsigned kHalt = TTS_FLAG_STOP | TTS_FLAG_EXIT;

bool onSpeechThread(const TtsApp *app) { return std::this_thread::get_id() == app->thread_id; }

// What speed setting v means for the engine and for the tempo processor.
struct SpeedMapping {
  int engine;
  int tempo;  // percent
};

SpeedMapping mapSpeed(int v) { return v < 11 ? SpeedMapping{v * 3200, 0} : SpeedMapping{32000, (v - 10) * 10}; }

void applyTempo(const TtsApp *app, int percent) {
  SoundSpeed_SetSpeed(app->tempo, percent);
  SoundSpeed_SetPitch(app->tempo, 0);
}

bool tempoActive(const TtsApp *app) { return SoundSpeed_GetSpeed(app->tempo) != 0 || SoundSpeed_GetPitch(app->tempo) != 0; }

// ---- Engine callbacks ----

uint32_t TtsReadRes(void *param, void *buffer, uint32_t offset, uint32_t size) {
  auto *app = static_cast<TtsApp *>(param);
  if (!app || !app->res_file || !buffer) return 0;
  if (fseeko(app->res_file, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return std::fread(buffer, 1, size, app->res_file) == size ? static_cast<uint32_t>(ivTTS_RES_READ_ALL) : 0u;
}

int TtsOpenRes(TtsApp *app) {
  app->res_file = std::fopen(BoardPath(kResourceFile).c_str(), "rbe");
  if (!app->res_file) {
    LOGE("%s: cannot open %s\n", app->name, kResourceFile);
    return -1;
  }
  return 0;
}

int TtsCloseRes(TtsApp *app) {
  if (!app->res_file) return 0;
  int r = std::fclose(app->res_file);
  app->res_file = nullptr;
  return r;
}

int TtsParamChange(void *, uint32_t, intptr_t) { return 0; }

int TtsEvent(void *, uint32_t, uint32_t) { return 0; }

int TtsProgressExt(void *param, uint32_t pos, uint32_t len) {
  static_cast<TtsApp *>(param)->progress_pos = static_cast<int>(pos + len);
  return 0;
}

// Caller holds the mutex. Sets the acknowledgements the requests ask for.
void acknowledge(TtsApp *app) {
  unsigned before = app->flags;
  if (app->flags & TTS_FLAG_STOP) app->flags |= TTS_FLAG_STOP_ACK;
  if (app->flags & TTS_FLAG_PAUSE) app->flags |= TTS_FLAG_PAUSE_ACK;
  if (app->flags != before) app->cond.notify_all();
}

// Caller holds the mutex through lock. Waits out a pause (acknowledging
// it). Returns false on a stop or exit request.
bool holdWhilePaused(TtsApp *app, std::unique_lock<std::mutex> &lock) {
  for (;;) {
    if (app->flags & kHalt) return false;
    if (!(app->flags & TTS_FLAG_PAUSE)) return true;
    if (!(app->flags & TTS_FLAG_PAUSE_ACK)) {
      app->flags |= TTS_FLAG_PAUSE_ACK;
      app->cond.notify_all();
    }
    app->cond.wait(lock);
  }
}

// Hands the PCM block to the sink, offering it again every 23 ms while the
// sink cannot take it. Returns false when a stop or exit request ended the
// attempts (the block is then not sent).
bool handOver(TtsApp *app) {
  for (;;) {
    if (app->sink(app->user, app->pcm, app->pcm_fill) >= 0) return true;
    std::unique_lock lock(app->mutex);
    if (!holdWhilePaused(app, lock)) return false;
    app->cond.wait_for(lock, kSinkRetry, [app] { return (app->flags & (kHalt | TTS_FLAG_PAUSE)) != 0; });
    if (!holdWhilePaused(app, lock)) return false;
  }
}

// Collects bytes of PCM in the block and hands every full block over.
// Returns false when the speech was stopped; the block is then emptied.
bool feed(TtsApp *app, const unsigned char *data, int bytes) {
  while (bytes > 0) {
    {
      std::unique_lock lock(app->mutex);
      if (!holdWhilePaused(app, lock)) {
        app->pcm_fill = 0;
        return false;
      }
    }
    int n = std::min(bytes, TTS_PCM_SIZE - app->pcm_fill);
    std::memcpy(app->pcm + app->pcm_fill, data, static_cast<size_t>(n));
    app->pcm_fill += n;
    data += n;
    bytes -= n;
    if (app->pcm_fill == TTS_PCM_SIZE) {
      bool taken = handOver(app);
      app->pcm_fill = 0;
      if (!taken) return false;
    }
  }
  return true;
}

int TtsOutputPcm(void *param, uint16_t code, const void *pcm, uint32_t bytes) {
  auto *app = static_cast<TtsApp *>(param);
  if (code != ivTTS_CODE_PCM && code != ivTTS_CODE_PCM_TAIL && code != ivTTS_CODE_PCM_FLUSH) {
    LOGW("%s: unknow pcm param: nCode = %d\n", app->name, code);
    return kUnknownPcmCode;
  }
  auto data = static_cast<const unsigned char *>(pcm);
  int len = static_cast<int>(bytes);
  if (len >= 2) {
    int got = SoundSpeed(app->tempo, static_cast<const short *>(pcm), len / 2, app->tempo_buf, kTempoRoom);
    if (got >= 0) {
      data = reinterpret_cast<const unsigned char *>(app->tempo_buf);
      len = got * 2;
    }
  }
  return feed(app, data, len) ? ivTTS_OUTPUT_CONTINUE : ivTTS_OUTPUT_ABORT;
}

// Speaks the text from the current position to its end.
void speak(TtsApp *app) {
  int r = ivTTS_SynthText(app->handle, app->text + app->text_pos,
                          static_cast<uint32_t>(app->text_len - app->text_pos));
  if (r != 0 && CfgDebugTts) LOGD("%s: tts synth text error. errcode=%d\n", app->name, r);
  app->text_pos = app->text_len;
  bool stopped = r == ivTTS_ERR_EXIT;
  if (tempoActive(app)) {
    // What the tempo processor still holds is the end of this sentence, or
    // nothing anyone will hear after a stop.
    if (stopped) {
      SoundSpeed_Clear(app->tempo);
    } else {
      SoundSpeed_Flush(app->tempo);
      int got;
      while (!stopped && (got = SoundSpeed_Receive(app->tempo, app->tempo_buf, kTempoRoom)) > 0)
        stopped = !feed(app, reinterpret_cast<const unsigned char *>(app->tempo_buf), got * 2);
      if (stopped) SoundSpeed_Clear(app->tempo);
    }
  }
  if (!stopped && app->pcm_fill > 0) handOver(app);
  app->pcm_fill = 0;
}

void tts_thread(TtsApp *app) {
  for (;;) {
    {
      std::unique_lock lock(app->mutex);
      for (;;) {
        if (app->flags & TTS_FLAG_EXIT) {
          if (CfgDebugTts) LOGD("%s: text thread stop\n", app->name);
          return;
        }
        acknowledge(app);
        if (!(app->flags & (TTS_FLAG_STOP | TTS_FLAG_PAUSE | TTS_FLAG_END))) break;
        app->cond.wait(lock);
      }
    }
    if (app->text_pos >= app->text_len) {
      {
        std::scoped_lock lock(app->mutex);
        app->flags |= TTS_FLAG_STOP | TTS_FLAG_END;
      }
      if (CfgDebugTts) LOGD("%s: ....tts sync end....\n", app->name);
      if (app->finish) app->finish(app->user);
      continue;
    }
    speak(app);
  }
}

// Creates the engine and gives it the callbacks and parameters.
int TtsAppSetParam(TtsApp *app) {
  for (int i = 0; i < TTS_PARAM_NUM; i++) {
    if (i == TTS_PARAM_ROLE_ALL || i == TTS_PARAM_MAIN_ROLE || i == TTS_PARAM_SUB_ROLE) continue;
    int v = app->params[i];
    if (i == TTS_PARAM_VSPEED) {
      SpeedMapping m = mapSpeed(v);
      applyTempo(app, m.tempo);
      v = m.engine;
    }
    int err = ivTTS_SetParam(app->handle, tts_param_id[i], v);
    if (err != 0) {
      LOGW("ivTTS can't set param:id = %d, value = %d. errcode= %d\n", tts_param_id[i], v, err);
      break;
    }
  }
  int err = ivTTS_SetParam(app->handle, tts_param_id[TTS_PARAM_SUB_ROLE], app->params[TTS_PARAM_SUB_ROLE]);
  if (err != 0)
    LOGW("ivTTS can't set param:id = %d, value = %d. errcode= %d\n", tts_param_id[TTS_PARAM_SUB_ROLE],
         app->params[TTS_PARAM_SUB_ROLE], err);
  err = ivTTS_SetParam(app->handle, tts_param_id[TTS_PARAM_MAIN_ROLE], app->params[TTS_PARAM_MAIN_ROLE]);
  if (err != 0) {
    LOGW("ivTTS can't set param:id = %d, value = %d. errcode= %d\n", tts_param_id[TTS_PARAM_MAIN_ROLE],
         app->params[TTS_PARAM_MAIN_ROLE], err);
    return -1;
  }
  return 0;
}

int TtsAppInit(TtsApp *app) {
  if (!app->output || !app->open_res || !app->close_res || !app->sink) {
    LOGE("%s: callbacks missing\n", app->name);
    return -1;
  }
  if (app->open_res(app) != 0) return -1;
  app->res.pCBParam = app;
  app->res.pfnRead = TtsReadRes;
  std::memset(app->res.reserved, 0, sizeof app->res.reserved);

  auto fail = [app]() {
    if (app->handle) ivTTS_Destroy(app->handle);
    app->handle = nullptr;
    app->close_res(app);
    return -1;
  };
  int err = ivTTS_CreateG(&app->handle, app->heap, ivTTS_HEAP_SIZE, app, &app->res, 1, nullptr);
  if (err != 0) {
    LOGE("ivTTS can't creat ivTTS. errcode= %d\n", err);
    app->handle = nullptr;
    return fail();
  }
  if ((err = ivTTS_SetParam(app->handle, ivTTS_PARAM_INPUT_MODE, 0)) != 0) {
    LOGE("ivTTS can't set input_mode. errcode= %d\n", err);
    return fail();
  }
  if ((err = ivTTS_SetParam(app->handle, ivTTS_PARAM_OUTPUT_CALLBACK, reinterpret_cast<intptr_t>(app->output))) != 0 ||
      (err = ivTTS_SetParam(app->handle, ivTTS_PARAM_EVENT_CALLBACK, reinterpret_cast<intptr_t>(app->event))) != 0) {
    LOGE("ivTTS can't set output_callback. errcode= %d\n", err);
    return fail();
  }
  if ((err = ivTTS_SetParam(app->handle, ivTTS_PARAM_PROGRESS_CALLBACK_EXT,
                            reinterpret_cast<intptr_t>(app->progress_ext))) != 0) {
    LOGE("ivTTS can't set progress_callback_ext. errcode= %d\n", err);
    return fail();
  }
  if (app->progress &&
      (err = ivTTS_SetParam(app->handle, ivTTS_PARAM_PROGRESS_CALLBACK, reinterpret_cast<intptr_t>(app->progress))) !=
          0) {
    LOGE("ivTTS can't set progress_callback. errcode= %d\n", err);
    return fail();
  }
  if ((err = ivTTS_SetParam(app->handle, ivTTS_PARAM_PARAMCH_CALLBACK,
                            reinterpret_cast<intptr_t>(app->param_change))) != 0) {
    LOGE("ivTTS can't set paramchg_callback. errcode= %d\n", err);
    return fail();
  }
  if (TtsAppSetParam(app) != 0) return fail();
  return 0;
}

}  // namespace

void TtsGetDefaultParam(int *params) {
  if (params) std::memcpy(params, kDefaults, sizeof kDefaults);
}

int TtsCheckParamId(int index) {
  if (index >= 0 && index < TTS_PARAM_NUM) return 0;
  LOGW("tts param id out of range, id=%d\n", index);
  return -1;
}

int tts_init(TtsApp *app, TtsSink sink, TtsFinish finish, void *user) {
  if (!app || app->thread.joinable()) return -1;
  app->param_change = TtsParamChange;
  app->progress = nullptr;
  app->progress_ext = TtsProgressExt;
  app->output = TtsOutputPcm;
  app->event = TtsEvent;
  app->open_res = TtsOpenRes;
  app->close_res = TtsCloseRes;
  app->sink = sink;
  app->finish = finish;
  app->user = user;
  {
    std::scoped_lock lock(app->mutex);
    app->flags = TTS_FLAG_STOP;
  }
  app->text_len = app->text_pos = app->progress_pos = app->pcm_fill = 0;
  SoundSpeed_SetChannels(app->tempo, 1);
  SoundSpeed_SetSampleRate(app->tempo, 16000);
  if (TtsAppInit(app) != 0) return -1;
  app->thread = std::thread(tts_thread, app);
  app->thread_id = app->thread.get_id();
  return 0;
}

int tts_deinit(TtsApp *app) {
  if (!app || !app->thread.joinable()) return -1;
  if (onSpeechThread(app)) {
    LOGE("%s: tts_deinit from the speech thread\n", app->name);
    return -1;
  }
  {
    std::scoped_lock lock(app->mutex);
    app->flags = TTS_FLAG_EXIT;
    app->cond.notify_all();
  }
  app->thread.join();
  app->thread_id = std::thread::id();
  ivTTS_Destroy(app->handle);
  app->handle = nullptr;
  SoundSpeed_Clear(app->tempo);
  return app->close_res(app);
}

void tts_stop(TtsApp *app) {
  if (!app || !app->handle) return;
  if (CfgDebugTts) LOGD("%s: enter tts_stop\n", app->name);
  std::unique_lock lock(app->mutex);
  app->flags = (app->flags & ~(TTS_FLAG_PAUSE | TTS_FLAG_PAUSE_ACK | TTS_FLAG_STOP_ACK)) | TTS_FLAG_STOP;
  app->cond.notify_all();
  // From the sink or the finish function: the thread sees the request as
  // soon as they return.
  if (!onSpeechThread(app))
    app->cond.wait(lock, [app] { return (app->flags & (TTS_FLAG_STOP_ACK | TTS_FLAG_EXIT)) != 0; });
  if (CfgDebugTts) LOGD("%s: exit tts_stop\n", app->name);
}

void tts_pause(TtsApp *app) {
  if (!app || !app->handle) return;
  if (CfgDebugTts) LOGD("%s: enter tts_pause\n", app->name);
  std::unique_lock lock(app->mutex);
  app->flags |= TTS_FLAG_PAUSE;
  app->cond.notify_all();
  if (!onSpeechThread(app))
    app->cond.wait(lock, [app] { return (app->flags & (TTS_FLAG_PAUSE_ACK | TTS_FLAG_EXIT)) != 0; });
  if (CfgDebugTts) LOGD("%s: exit tts_pause\n", app->name);
}

void tts_continue(TtsApp *app) {
  if (!app) return;
  std::scoped_lock lock(app->mutex);
  app->flags &= ~(TTS_FLAG_PAUSE | TTS_FLAG_PAUSE_ACK);
  app->cond.notify_all();
}

unsigned tts_status(TtsApp *app) {
  if (!app) return 0;
  std::scoped_lock lock(app->mutex);
  return app->flags;
}

void tts_synth_sentence(TtsApp *app, const char *text, int len) {
  if (!app || !app->handle) return;
  tts_stop(app);
  VolumeSetMain(-1);
  if (!text) text = "";
  size_t n = len < 1 ? std::strlen(text) : static_cast<size_t>(len);
  n = std::min<size_t>(n, TTS_TEXT_SIZE);
  std::memcpy(app->text, text, n);
  std::printf("tts : %.*s\n", static_cast<int>(n), app->text);
  BoardTranscript(app->voice[0] ? app->voice : app->name, std::string(app->text, n).c_str());
  app->text_len = static_cast<int>(n);
  app->text_pos = app->progress_pos = app->pcm_fill = 0;
  std::scoped_lock lock(app->mutex);
  app->flags = 0;
  app->cond.notify_all();
}

int TtsSetParam(TtsApp *app, int index, int value) {
  if (!app || TtsCheckParamId(index) != 0) return -1;
  if (app->params[index] == value) return 0;
  if (!app->handle) {
    app->params[index] = value;
    return 0;
  }
  tts_stop(app);
  int engine = value;
  SpeedMapping m{};
  if (index == TTS_PARAM_VSPEED) {
    m = mapSpeed(value);
    engine = m.engine;
  }
  int err = ivTTS_SetParam(app->handle, tts_param_id[index], engine);
  if (err != 0) {
    LOGE("ivTTS can't set param:id = %d, value = %d. errcode= %d\n", tts_param_id[index], engine, err);
    return -1;
  }
  if (index == TTS_PARAM_VSPEED) applyTempo(app, m.tempo);
  app->params[index] = value;
  return 0;
}
