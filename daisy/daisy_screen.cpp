// The DAISY screen. One heap record (DaisyScreen) holds the screen head, the
// sound handle, the reading voice, the decoder and the writer's buffers; it
// lives from DaisyCreate until the screen is left. See daisy_screen.h for
// the threads.
//
// Ownership between threads: `pcm` and the clip log
// fields belong to the decoder thread while it runs and to the key thread
// while it is parked or gone. `playGen`, `doneGen` and `speechGen` are
// atomics: an end notice (DAISYEND) counts only when it was given for the
// item being performed now, so a notice that crossed a move is dropped.
#include "daisy/daisy_screen.h"

#include "audio/ffaudio.h"
#include "audio/pcm_out.h"
#include "board/board.h"
#include "core/clock/sleep_timer.h"
#include "core/runtime/globals.h"
#include "core/library/bookmark.h"
#include "core/runtime/config.h"
#include "core/library/filebrowser.h"
#include "core/ui/inputbox.h"
#include "core/ui/listbox.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "core/clock/alarm.h"
#include "daisy/daisy.h"
#include "daisy/smil.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/text_sound.h"
#include "speech/tts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kLogSource[] = "daisy/daisy_screen.c";

constexpr int kFinishDelayMs = 250;
constexpr int kTailWaitMs = 3000;  // longest wait for the device to take a clip's last part block
constexpr int kMaxPath = 4097;
constexpr int kMaxLevels = 6;
constexpr int kStepPage = 0x3000, kStepSentence = 0x4000;

const char *const kPause[2] = {"暂停", "pause"};
const char *const kCannotOpen[2] = {"无法打开文件", "can not open the file"};
const char *const kReadingEnd[2] = {"已到文件结尾", "reading end"};
const char *const kNoSummary[2] = {"无法获取出版信息", "Can not get publication information."};
const char *const kPageNotFound[2] = {"没有找到指定页!", "page not found!"};
const char *const kStillOpening[2] = {"正在打开大文件，需要等待较长时间", "Opening, please wait ..."};
const char *const kHeadNotFound[2] = {"没有找到指定标题!", "heading not found!"};
const char *const kNoHeadings[2] = {"本书没有标题", "this book has no headings"};
const char *const kMarkAdded[2] = {"已增加书签", "add book mark"};
const char *const kTitle[2] = {"书名：", "Title: "};
const char *const kTotalTime[2] = {"总时间", "total time"};
const char *const kCreator[2] = {"作者：", "Creator: "};
const char *const kPublisher[2] = {"出版：", "Publisher: "};
const char *const kNarrator[2] = {"录音：", "Recorded: "};
const char *const kDate[2] = {"出版日期：", "Publisher date: "};
const char *const kFormat[2] = {"格式：", "Format: "};

void say(const char *const *text) { text_sound_insert(text[PromptLanguage()]); }

// A key that needs the whole book before the background read has it in.
void sayStillOpening() { say(kStillOpening); }

enum { OUT_NONE = 0, OUT_SPEECH = 1, OUT_AUDIO = 2 };

struct RepeatMark {
  DaisyBookMarkInfo pos{};
  int audio_ms = -1;  // decoder position when set during a clip, else -1
};

struct DaisyScreen {
  Activity head{};
  Activity *browser = nullptr;
  int sound_handle = -1;
  std::unique_ptr<TtsApp> tts;  // "DAISY_TTS"; started when tts_live
  bool tts_live = false;
  Audio *audio = nullptr;       // "DAISY_AUDIO"
  DaisyPlayItem *item = nullptr;
  std::string book_path, book_dir, title;
  std::string audio_path;  // the file open in the decoder, "" none
  std::string audio_path_tried;  // the file of the clip last performed
  std::string failed_path;       // the last file that could not be opened (said once)
  int output = OUT_NONE;
  int text_only = 0, pages = 0, levels = 0;
  unsigned step_mask = 0;
  int skip = 0;  // SMIL_SKIP_* bits of the structures the reading passes over (kept per book)
  int repeat_state = 0;
  RepeatMark mark_a, mark_b;
  int start_offset_ms = 0;  // where the history left the clip (first item only)
  DaisyBookMarkInfo noted{-1, -1, -1};  // the position last kept in the history
  bool at_end = false;      // the end of the book was reached and said
  bool menu_paused = false;
  bool menu_replay = false;  // a voice setting cut the sentence off: say it again
  int saved_shutdown = 0;
  // End notices.
  std::atomic<int> playGen{0};     // the item being performed
  std::atomic<int> doneGen{-1};    // the item whose end was noticed
  std::atomic<int> speechGen{-1};  // the item the reading voice speaks
  // Decoder thread (see the file comment).
  PcmOut pcm;
  bool clipLogPending = false;
  char clipLog[512] = {};
};

DaisyScreen *screenOf(Activity *a) {
  return a && a->key == DaisyKey ? static_cast<DaisyScreen *>(a->data) : nullptr;
}
DaisyScreen *screenOf(Audio *a) { return static_cast<DaisyScreen *>(a->data); }

// ---- the decoder thread's side ----

// The decoder's writer: the clip log line at a clip's first sample, the
// speed processor, 4096-byte blocks to the device, the position.
int DaisyAudioWritePcm(Audio *a, int bytes) {
  if (!a || !a->ff_ctx || bytes < 1) return 0;
  DaisyScreen *p = screenOf(a);
  const int ch = a->ff_ctx->out_channels;
  const int frames = bytes / 2 / ch;
  if (frames < 1) return 0;
  if (p->clipLogPending) {
    p->clipLogPending = false;
    BoardSoundEvent("%s rate=%d ch=%d skip=%zu", p->clipLog, a->ff_ctx->out_sample_rate, ch, p->pcm.out.size());
  }
  PcmOutWrite(&p->pcm, a, a->ff_ctx->m_AudioBuf, frames, ch);
  return 0;
}

int DaisyAudioSetParam(Audio *a, int rate, int channels) {
  DaisyScreen *p = screenOf(a);
  SoundSpeed_SetChannels(kTempoMusic, channels);
  SoundSpeed_SetSampleRate(kTempoMusic, rate);
  int r = sound_set(p->sound_handle, rate, channels);
  if (r < 0) LOGE("sound_set return %d\n", r);
  return r;
}

// The clip reached its stop, or the file its end: the key thread goes on.
// Nothing after a close.
int DaisyAudioFileEnd(Audio *a) {
  if (a->state.load() == AUDIO_STOP) return 0;
  DaisyScreen *p = screenOf(a);
  p->doneGen = p->playGen.load();
  SendVKey(VKEY_DAISYEND);
  return 0;
}

// ---- the speech thread's side ----

int DaisyTtsWritePcm(void *user, void *pcm, int bytes) {
  DaisyScreen *p = static_cast<DaisyScreen *>(user);
  int r = sound_write(p->sound_handle, pcm, bytes);
  if (r == -2 || r == -3) return -1;  // offered again in 23 ms
  if (r < 0) LOGE("sound_write return %d\n", r);
  return bytes;  // taken (or lost on a dead device rather than spinning)
}

void DaisyTtsFinish(void *user) {
  DaisyScreen *p = static_cast<DaisyScreen *>(user);
  const int gen = p->speechGen.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(kFinishDelayMs));
  if (gen != p->playGen.load()) return;
  p->doneGen = gen;
  SendVKey(VKEY_DAISYEND);
}

// ---- output control (key thread) ----

// Writes what the writer still holds (a clip's last part block) before
// the device changes hands or format. The decoder must be parked or gone.
void flushTail(DaisyScreen *p) { PcmOutTail(&p->pcm, p->audio, kTailWaitMs); }

// Drops what the writer holds: the listener moved away.
void dropPending(DaisyScreen *p) { PcmOutDrop(&p->pcm); }

void speechStop(DaisyScreen *p) {
  if (p->tts_live) tts_stop(p->tts.get());
}

// Stops speech and pauses audio: a move follows.
void stopOutput(DaisyScreen *p) {
  p->playGen++;
  if (p->output == OUT_SPEECH) speechStop(p);
  if (p->output == OUT_AUDIO && p->audio->open) {
    AudioPause(p->audio);
    dropPending(p);
  }
  sound_discard(p->sound_handle);  // the move is heard at once
}

int readMark(DaisyScreen *p, DaisyBookMarkInfo *info) {
  if (p->output == OUT_AUDIO && p->audio->open) daisy_set_audio_pos(p->audio->pos_ms.load());
  return daisy_get_book_mark_info(info);
}

// ---- performing items ----

int playSpeech(DaisyScreen *p) {
  if (!p->tts_live) return -1;
  if (p->output == OUT_AUDIO) {
    if (p->audio->open) AudioPause(p->audio);
    flushTail(p);
  }
  if (p->output != OUT_SPEECH) {
    int r = sound_set(p->sound_handle, 16000, 1);
    if (r < 0) LOGE("sound_set return %d\n", r);
  }
  p->speechGen = p->playGen.load();
  tts_synth_sentence(p->tts.get(), p->item->data ? p->item->data : "", -1);
  p->output = OUT_SPEECH;
  return 0;
}

// The clip's log line, written by the writer with the clip's first sample.
// The decoder must be parked or gone.
void setClipLog(DaisyScreen *p, int begin, int end) {
  std::snprintf(p->clipLog, sizeof p->clipLog, "daisy clip src=%s begin=%d end=%d",
                p->item->data ? p->item->data : "", begin, end);
  p->clipLogPending = true;
}

int playAudio(DaisyScreen *p) {
  const DaisyPlayItem *item = p->item;
  std::string path = p->book_dir + "/" + (item->data ? item->data : "");
  p->audio_path_tried = path;
  if (path.size() >= kMaxPath) {
    LOGE("full path to length!\n");
    return -1;
  }
  int begin = std::max(item->clip_begin_ms, 0);
  int stop = item->clip_end_ms == kDaisyOpenEnd ? -1 : item->clip_end_ms;
  if (p->repeat_state == 3 && p->mark_b.audio_ms >= 0) {
    DaisyBookMarkInfo now{};
    if (daisy_get_book_mark_info(&now) == 0 && now.smil_index == p->mark_b.pos.smil_index &&
        now.element_index == p->mark_b.pos.element_index)
      stop = p->mark_b.audio_ms;
  }
  if (stop >= 0 && stop <= begin) stop = begin + 1;
  Audio *a = p->audio;
  if (p->output == OUT_SPEECH) speechStop(p);
  if (a->open && p->audio_path == path && AudioStatus(a) != AUDIO_STOP) {
    AudioPause(a);
    const int rate = a->ff_ctx->out_sample_rate;
    if (p->output != OUT_AUDIO) {
      int r = sound_set(p->sound_handle, rate, a->ff_ctx->out_channels);
      if (r < 0) LOGE("sound_set return %d\n", r);
    }
    const int64_t from = AudioMsToFrame(begin, rate);
    const int64_t until = stop >= 0 ? AudioMsToFrame(stop, rate) : -1;
    setClipLog(p, begin, stop);
    p->output = OUT_AUDIO;
    if (AudioNextFrame(a) == from) {
      // Where the last clip stopped: on without a seek.
      AudioContTo(a, until);
      return 0;
    }
    if (AudioSeekExact(a, from, until, 1) >= 0) return 0;
    LOGW("AudioSeekExact %s to %d failed, reopening\n", path.c_str(), begin);
  }
  if (a->open) {
    AudioPause(a);
    flushTail(p);
    AudioClose(a);
  }
  dropPending(p);
  p->audio_path = path;
  p->output = OUT_AUDIO;
  setClipLog(p, begin, stop);
  int r = AudioOpenClip(a, path.c_str(), begin, stop);
  if (r != 0) {
    LOGE("AudioOpen return %d\n", r);
    p->audio_path.clear();
    p->output = OUT_NONE;
    return -1;
  }
  return 0;
}

}  // namespace

namespace {

// Performs the current item. A clip whose file is missing or broken is
// named (once per file, and heard before anything else) and its par's text
// is read in its place with the reading voice. Returns 0, or -1 when the
// item could not be performed (a clip without text, text without a voice).
int perform(DaisyScreen *p) {
  p->playGen++;
  p->doneGen = -1;
  int r = 0;
  if (p->item->kind == DAISY_ITEM_TEXT) r = playSpeech(p);
  else if (p->item->kind == DAISY_ITEM_AUDIO) r = playAudio(p);
  if (r < 0 && p->item->kind == DAISY_ITEM_AUDIO) {
    if (p->failed_path != p->audio_path_tried) {
      p->failed_path = p->audio_path_tried;
      wait_text_sound_end(text_sound_insert(kCannotOpen[PromptLanguage()]));
    }
    DaisyPlayItem *text = nullptr;
    if (daisy_read_par_text(&text) == 0 && text) {
      p->item = text;
      r = playSpeech(p);
    }
  }
  return r;
}

}  // namespace

int DaisyPlay(Activity *screen) {
  DaisyScreen *p = screenOf(screen);
  if (!p || !p->item) return -1;
  int r = perform(p);
  if (r < 0) {
    // Nothing to perform here: the book goes on with the next item.
    p->doneGen = p->playGen.load();
    SendVKey(VKEY_DAISYEND);
  }
  return r;
}

namespace {

int moveByStep(DaisyScreen *p, int value, int dir);

// The item after the current one; a navigator error leaves no item.
// Returns false then.
bool continueItem(DaisyScreen *p) {
  DaisyPlayItem *next = nullptr;
  int r = daisy_continue(&next);
  if (r != 0 || !next) {
    LOGE("daisy_continue return %d\n", r);
    p->item = nullptr;
    return false;
  }
  p->item = next;
  return true;
}

// Items a backward step passes over at most before it gives up and goes on
// forwards (a book whose audio is missing throughout).
constexpr int kMaxBackSkips = 10000;

// After every move: on to something that can be performed, then perform it.
// back: the step value of a backward move, 0 for any other move; an item
// that cannot be performed is then passed over backwards, so that the
// listener gets past it to what lies before.
void advance(DaisyScreen *p, int back = 0) {
  for (int skips = 0;; skips++) {
    while (p->item && p->item->kind != DAISY_ITEM_TEXT && p->item->kind != DAISY_ITEM_AUDIO) {
      if (p->item->kind == DAISY_ITEM_END) {
        // Said once: a move from the end that stays there says nothing.
        if (p->at_end) return;
        p->at_end = true;
        LOGI("Daisy file end!!!!!\n");
        if (p->output == OUT_AUDIO && p->audio->open) {
          AudioPause(p->audio);
          flushTail(p);
        }
        if (p->output == OUT_SPEECH) speechStop(p);
        p->output = OUT_NONE;
        wait_text_sound_end(text_sound_insert(kReadingEnd[PromptLanguage()]));
        return;
      }
      if (!continueItem(p)) return;
    }
    if (!p->item) return;
    p->at_end = false;
    if (!back || skips >= kMaxBackSkips) {
      DaisyPlay(&p->head);
      return;
    }
    if (perform(p) == 0) return;
    if (moveByStep(p, back, -1) != 0) {
      p->doneGen = p->playGen.load();
      SendVKey(VKEY_DAISYEND);
      return;
    }
    // Back at the start: from there on forwards.
    if (p->item->kind == DAISY_ITEM_BEGIN) back = 0;
  }
}

// Moves by the step value in direction dir (+1 / -1). Returns the move's result.
int moveByStep(DaisyScreen *p, int value, int dir) {
  DaisyPlayItem *next = nullptr;
  int r;
  if (value == kStepPage) {
    r = dir > 0 ? daisy_play_next_page(&next) : daisy_play_last_page(&next);
  } else if (value == kStepSentence) {
    r = dir > 0 ? daisy_play_next_par(&next) : daisy_play_last_par(&next);
  } else if ((value & 0xf000) == 0x2000) {
    int level = __builtin_ffs(value & 0xfff);
    if (level == 0) {
      LOGE("ffs return error, rel=0x%08x\n", value);
      return -1;
    }
    r = dir > 0 ? daisy_play_next_level(level, &next) : daisy_play_last_level(level, &next);
  } else if ((value & 0xf000) == 0x1000) {
    const char *text = nullptr;
    if (p->output == OUT_AUDIO && p->audio->open) daisy_set_audio_pos(p->audio->pos_ms.load());
    r = daisy_time_jump(dir * (value & 0xfff) * 1000, &next, &text);
    if (r > 0) r = 0;  // how far into the clip it landed: not used here
  } else {
    LOGE("ffs return error, rel=0x%08x\n", value);
    return -1;
  }
  if (r == 0 && next) p->item = next;
  return r;
}

int stepIndex() { return MDaisyStep >= 0 && MDaisyStep < kDaisySteps ? MDaisyStep : 0; }

// UP / DOWN: the previous / next enabled entry, wrapping.
void changeStep(DaisyScreen *p, int dir) {
  if (p->step_mask == 0) return;
  int i = stepIndex();
  for (int n = 0; n < kDaisySteps; n++) {
    i = (i + dir + kDaisySteps) % kDaisySteps;
    if (p->step_mask & (1u << i)) break;
  }
  MDaisyStep = i;
  const char *name = kDaisyStepTable[i].name[PromptLanguage()];
  char number[16];
  if (!name || !*name) {
    std::snprintf(number, sizeof number, "%d", i + 1);
    name = number;
  }
  text_sound_insert(name);
}

// Resumes what a move that failed had interrupted.
void resumeOutput(DaisyScreen *p) {
  if (!p->item) return;
  if (p->item->kind == DAISY_ITEM_END) return;
  DaisyPlay(&p->head);
}

void move(DaisyScreen *p, int dir) {
  if (!p->item) return;
  stopOutput(p);
  const int value = kDaisyStepTable[stepIndex()].value;
  if (moveByStep(p, value, dir) == 0) advance(p, dir < 0 ? value : 0);
  else resumeOutput(p);
}

void keepPosition(void *context);

void pauseResume(DaisyScreen *p) {
  if (p->output == OUT_SPEECH && p->tts_live) {
    unsigned status = tts_status(p->tts.get());
    if ((status & 0x83) == TTS_FLAG_PAUSE) {
      tts_continue(p->tts.get());
    } else if (status & 0x81) {
      // idle or leaving: nothing to pause
    } else {
      tts_pause(p->tts.get());
      say(kPause);
      keepPosition(p);
    }
  } else if (p->output == OUT_AUDIO) {
    int s = AudioStatus(p->audio);
    if (s == AUDIO_RUN) {
      AudioPause(p->audio);
      say(kPause);
      keepPosition(p);
    } else if (s == AUDIO_PAUSE) {
      // A clip that stopped at its end waits for its notice, not for OK.
      if (p->doneGen.load() != p->playGen.load()) AudioCont(p->audio);
    }
  }
}

bool afterMark(const DaisyBookMarkInfo &now, const DaisyBookMarkInfo &b) {
  return now.smil_index > b.smil_index || (now.smil_index == b.smil_index && now.element_index > b.element_index);
}

void onItemEnd(DaisyScreen *p) {
  if (p->doneGen.exchange(-1) != p->playGen.load() || !p->item) return;  // a notice that crossed a move
  if (!continueItem(p)) return;
  // Advance without performing yet: the repeat may send us back to A.
  while (p->item->kind != DAISY_ITEM_TEXT && p->item->kind != DAISY_ITEM_AUDIO && p->item->kind != DAISY_ITEM_END)
    if (!continueItem(p)) return;
  if (p->repeat_state == 3) {
    DaisyBookMarkInfo now{};
    bool past = p->item->kind == DAISY_ITEM_END ||
                (daisy_get_book_mark_info(&now) == 0 && afterMark(now, p->mark_b.pos));
    if (past) {
      DaisyBookMarkInfo a = p->mark_a.pos;
      a.offset_ms = 0;
      DaisyPlayItem *next = nullptr;
      if (daisy_go_to_book_mark(&a, &next) == 0 && next) {
        p->item = next;
        if (p->item->kind == DAISY_ITEM_AUDIO && p->mark_a.audio_ms >= p->item->clip_begin_ms &&
            p->mark_a.audio_ms <= p->item->clip_end_ms)
          p->item->clip_begin_ms = p->mark_a.audio_ms;
      }
    }
  }
  advance(p);
}

// Where am I: the time left in the section and in the book, from the SMIL
// durations; -1 for a book without audio. *section: the section's number.
int timeLeft(DaisyScreen *p, int *book_ms, int *section) {
  int section_ms = 0;
  *book_ms = 0;
  *section = -1;
  if (p->text_only) return -1;
  if (p->output == OUT_AUDIO && p->audio && p->audio->open) daisy_set_audio_pos(p->audio->pos_ms.load());
  *section = daisy_get_time_left(&section_ms, book_ms);
  return section_ms;
}

int sectionLeftMs(void *context) {
  int book = 0, section = 0;
  return timeLeft(static_cast<DaisyScreen *>(context), &book, &section);
}

int sectionId(void *context) {
  int book = 0, section = 0;
  timeLeft(static_cast<DaisyScreen *>(context), &book, &section);
  return section;
}

const SleepTimerClient kSleepClient = {sectionLeftMs, sectionId};

// Appended to the summary.
void appendTimeLeft(DaisyScreen *p, std::string *text) {
  int book = 0, section = 0;
  const int left = timeLeft(p, &book, &section);
  if (left < 0) return;
  char spoken[128];
  *text += LeftSecondToStr(LEFT_SECTION, left / 1000, spoken, sizeof spoken, PromptLanguage());
  *text += ", ";
  *text += LeftSecondToStr(LEFT_BOOK, book / 1000, spoken, sizeof spoken, PromptLanguage());
}

void speakSummary(DaisyScreen *p) {
  DaisySummary s{};
  if (daisy_get_publication_summary(&s) != 0) {
    say(kNoSummary);
    return;
  }
  const int lg = PromptLanguage();
  std::string text;
  auto field = [&](const char *const *label, const char *value) {
    text += label[lg];
    text += ", ";
    text += value;
    text += ", ";
  };
  field(kTitle, s.title && *s.title ? s.title : " ");
  if (!p->text_only) {
    if (p->output == OUT_AUDIO && p->audio->open) daisy_set_audio_pos(p->audio->pos_ms.load());
    int ms = daisy_get_cur_time();
    char cur[128];
    CurSecondToStr(std::max(ms, 0) / 1000, cur, sizeof cur, lg);
    text += cur;
    text += ", ";
  }
  if (s.total_time && *s.total_time) {
    // Spoken like every other length; a value that is no clock value as it stands.
    const int total = clipping_and_clock_value_to_ms(s.total_time);
    char spoken[128];
    if (total > 0 || (total == 0 && s.total_time[0] >= '0' && s.total_time[0] <= '9'))
      field(kTotalTime, SecondToStr(total / 1000, spoken, sizeof spoken, lg));
    else
      field(kTotalTime, s.total_time);
  }
  if (s.creator && *s.creator) field(kCreator, s.creator);
  if (s.publisher && *s.publisher) field(kPublisher, s.publisher);
  if (s.narrator && *s.narrator) field(kNarrator, s.narrator);
  if (s.date && *s.date) field(kDate, s.date);
  if (s.format && *s.format) field(kFormat, s.format);
  appendTimeLeft(p, &text);
  if (text.size() >= 4096) text.resize(4095);
  text_sound_insert(text.c_str());
}

void saveHistory(DaisyScreen *p);

// The position keeper's tick (key thread): a position that moved since the
// last tick is written at once.
void keepPosition(void *context) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  DaisyBookMarkInfo now{};
  if (!p->item || readMark(p, &now) != 0) return;
  if (now.smil_index == p->noted.smil_index && now.element_index == p->noted.element_index &&
      now.offset_ms == p->noted.offset_ms)
    return;
  p->noted = now;
  saveHistory(p);
  BookMarkSaveNow();
}

// The history entry: position, page and the place inside the clip.
void saveHistory(DaisyScreen *p) {
  DaisyBookMarkInfo info{};
  if (readMark(p, &info) != 0) {
    LOGE("daisy_get_book_mark_info return error\n");
    return;
  }
  char smil[16], element[16];
  std::snprintf(smil, sizeof smil, "%d", info.smil_index);
  std::snprintf(element, sizeof element, "%d", info.element_index);
  const int page = daisy_get_cur_page();
  const int offset = p->output == OUT_AUDIO ? std::max(info.offset_ms, 0) : 0;
  if (MarkAddItem(MARK_DAISY_HISTORY, p->book_path.c_str(), p->title.c_str(), smil, element, offset, page + 1) < 0)
    LOGE("MarkAddItem return error\n");
  else if (MarkSetOptions(MARK_DAISY_HISTORY, p->book_path.c_str(), p->title.c_str(), p->skip) == 0)
    LOGI("Daisy history %d %d offset=%d\n", info.smil_index, info.element_index, offset);
  BookMarkFlush();
}

void releaseOutputs(DaisyScreen *p) {
  if (p->audio) {
    AudioClose(p->audio);
    AudioDeInit(p->audio);
    p->audio = nullptr;
  }
  if (p->tts_live) {
    tts_deinit(p->tts.get());
    p->tts_live = false;
  }
  SoundSpeed_Clear(kTempoMusic);
}

// Leaves the screen: position saved, book, decoder, voice and device
// closed, record freed. passOn: the key travels on.
int leave(DaisyScreen *p, bool passOn) {
  ActivityRemove(&p->head);
  BookMarkKeepPosition(nullptr, nullptr);
  SleepTimerDetach(p);
  p->playGen++;
  if (p->output == OUT_SPEECH) speechStop(p);
  if (p->audio && p->audio->open) AudioPause(p->audio);
  saveHistory(p);
  releaseOutputs(p);
  DaisyCloseFile();
  sound_close(p->sound_handle);
  RestoryAutoShutdown(p->saved_shutdown);
  delete p;
  return FileBrowserReturn(passOn, 3);
}

// ---- menus ----

void DaisyMenuEnter(void *context) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  p->menu_paused = false;
  if (p->output == OUT_SPEECH && p->tts_live) {
    if (!(tts_status(p->tts.get()) & (TTS_FLAG_STOP | TTS_FLAG_PAUSE))) {
      tts_pause(p->tts.get());
      p->menu_paused = true;
    }
  } else if (p->output == OUT_AUDIO && AudioStatus(p->audio) == AUDIO_RUN) {
    AudioPause(p->audio);
    p->menu_paused = true;
  }
}

void DaisyMenuExit(void *context) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (p->menu_replay && p->output == OUT_SPEECH && p->item) {
    p->menu_replay = false;
    p->menu_paused = false;
    DaisyPlay(&p->head);
    return;
  }
  p->menu_replay = false;
  if (p->menu_paused) {
    if (p->output == OUT_SPEECH && p->tts_live) tts_continue(p->tts.get());
    else if (p->output == OUT_AUDIO) AudioCont(p->audio);
  }
  p->menu_paused = false;
}

void openMenu(DaisyScreen *p, MenuNode *menu) {
  Activity *m = MenuCreate(&p->head, menu, DaisyMenuEnter, DaisyMenuExit, p, 1);
  if (!m) {
    LOGE("MenuCreate return NULL\n");
    DaisyMenuExit(p);
    return;
  }
  ActivitySetActive(m, 1);
}

// A jump's result: a move that worked is advanced; otherwise the interrupted
// item is performed again from its start.
void afterJump(DaisyScreen *p, int r, const char *const *notFound) {
  p->menu_paused = false;
  if (r == 0) {
    advance(p);
    return;
  }
  if (notFound) wait_text_sound_end(text_sound_insert(notFound[PromptLanguage()]));
  stopOutput(p);
  if (p->item) DaisyPlay(&p->head);
}

void applyTtsRole(TtsApp *app, int voice) {
  if (voice < 0 || voice > 7) return;
  TtsSetParam(app, TTS_PARAM_MAIN_ROLE, RoleTable[PromptLanguage()][voice][0]);
  TtsSetParam(app, TTS_PARAM_SUB_ROLE, RoleTable[PromptLanguage()][voice][1]);
}

int settingValue(MenuItem *item, int fallback) {
  int v = fallback;
  if (ItemGetValue(item, nullptr, &v) < 0) return fallback;
  return v;
}

int speedPercent(int v) { return v >= 0 ? v * 10 : v * 5; }

int titleOf(const char *path, char *buf, int size) { return daisy_get_title(path, buf, size); }

int isDaisyControlFile(const char *dir, const char *name) { return get_daisy_type_from_filename(name) != 0; }

}  // namespace

const DaisyStepEntry kDaisyStepTable[kDaisySteps] = {
    {0x2001, {"一级标题", "level 1"}}, {0x2002, {"二级标题", "level 2"}}, {0x2004, {"三级标题", "level 3"}},
    {0x2008, {"四级标题", "level 4"}}, {0x2010, {"五级标题", "level 5"}}, {0x2020, {"六级标题", "level 6"}},
    {0x2040, {"七级标题", "level 7"}}, {0x2080, {"八级标题", "level 8"}}, {0x3000, {"页", "page"}},
    {0x4000, {"句子", "sentence"}},     {0x101E, {"30秒", "30 seconds"}}, {0x103C, {"1分钟", "1 minutes"}},
    {0x112C, {"5分钟", "5 minutes"}},
};

unsigned DaisyStepMask(int levels, int pages, int text_only) {
  unsigned mask = 0;
  const int usable = std::clamp(levels, 0, kMaxLevels);
  for (int i = 0; i < usable; i++) mask |= 1u << i;
  if (pages > 0) mask |= 1u << 8;
  mask |= 1u << 9;
  if (!text_only) mask |= 7u << 10;
  return mask;
}

// A jump's result: the item found replaces the interrupted one, then the
// jump is finished (or reported as not found).
static void landOn(DaisyScreen *p, int r, DaisyPlayItem *next, const char *const *notFound) {
  if (r == 0 && next) {
    stopOutput(p);
    p->item = next;
  }
  afterJump(p, r, notFound);
}

int DaisyMenuJmpToPage(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  Activity *box = InputBoxCreate(0, 6, DaisyJmpToPageCallBack, p);
  if (!box) return -1;
  ActivitySetActive(box, 1);
  return 0;
}

int DaisyMenuJmpToHead(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  Activity *box = InputBoxCreate(0, 6, DaisyJmpToHeadCallBack, p);
  if (!box) return -1;
  ActivitySetActive(box, 1);
  return 0;
}

void DaisyJmpToPageCallBack(void *context, int value) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return;
  DaisyPlayItem *next = nullptr;
  int r = -1;
  if (value == 0) {
    r = daisy_start(&next);
  } else if (value > 0) {
    char label[16];
    std::snprintf(label, sizeof label, "%d", value);
    r = daisy_go_to_page(label, &next);
  }
  landOn(p, r, next, value < 0 ? nullptr : kPageNotFound);
}

void DaisyJmpToHeadCallBack(void *context, int value) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return;
  DaisyPlayItem *next = nullptr;
  int r = -1;
  if (value == 0) r = daisy_start(&next);
  else if (value > 0) r = daisy_go_to_heading(value, &next);
  landOn(p, r, next, value < 0 ? nullptr : kHeadNotFound);
}

void DaisyHeadingListCallBack(void *context, int index) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return;
  DaisyPlayItem *next = nullptr;
  const int r = index < 0 ? -1 : daisy_go_to_heading(index + 1, &next);
  landOn(p, r, next, index < 0 ? nullptr : kHeadNotFound);
}

int DaisyMenuHeadingList(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  const int lg = PromptLanguage();
  std::vector<std::string> lines;
  const char *label = nullptr;
  for (int i = 0, level; (level = daisy_get_heading(i, &label)) >= 0; i++) {
    char name[16];
    std::snprintf(name, sizeof name, "%d", level);
    const char *levelName = level >= 1 && level <= 8 ? kDaisyStepTable[level - 1].name[lg] : name;
    lines.push_back(std::string(levelName) + ", " + (label && *label ? label : " "));
  }
  Activity *box = ListBoxCreate(std::move(lines), daisy_get_cur_section(), DaisyHeadingListCallBack, p);
  if (!box) {
    landOn(p, -1, nullptr, kNoHeadings);  // the reading goes on where it was
    return 0;
  }
  box->active = 1;  // spoken once, when the menu that opened it closes
  return 0;
}

// The skip items: the structure's bit in the high byte, the choice in the
// low one (see menu/mdata.cpp). The choice is kept with the book's history
// at once and heard from the next phrase on.
int DaisySetSkip(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  const int bit = (value >> 8) & 0xF;
  p->skip = (value & bit) ? (p->skip | bit) : (p->skip & ~bit);
  daisy_set_skip(p->skip);
  MarkSetOptions(MARK_DAISY_HISTORY, p->book_path.c_str(), p->title.c_str(), p->skip);  // none before the first leave
  return 0;
}

int DaisyMenuJmpToBegin(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  DaisyPlayItem *next = nullptr;
  int r = daisy_start(&next);
  landOn(p, r, next, nullptr);
  return 0;
}

int DaisyMenuJmpToEnd(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  DaisyPlayItem *next = nullptr;
  int r = daisy_end(&next);
  landOn(p, r, next, nullptr);
  return 0;
}

int DaisyMarkAddItem(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  DaisyBookMarkInfo info{};
  if (readMark(p, &info) != 0) {
    LOGE("daisy_get_book_mark_info return error\n");
    return -1;
  }
  DaisySummary s{};
  if (daisy_get_publication_summary(&s) != 0) {
    LOGE("daisy_get_publication_summary return error\n");
    return -1;
  }
  char smil[16], element[16];
  std::snprintf(smil, sizeof smil, "%d", info.smil_index);
  std::snprintf(element, sizeof element, "%d", info.element_index);
  const int page = daisy_get_cur_page();
  int r = MarkAddItem(MARK_DAISY_BOOKMARK, p->book_path.c_str(), p->title.c_str(), smil, element, 0, page + 1);
  if (r < 0) {
    LOGE("MarkAddItem return error\n");
    return -1;
  }
  // The page as the book labels it; a book without pages (or a place
  // before its first page) has no page to say.
  char text[512];
  const char *label = page >= 0 ? daisy_get_page_label(page) : nullptr;
  if (label && *label) {
    char pageText[128];
    PageLabelToStr(label, pageText, sizeof pageText, PromptLanguage());
    std::snprintf(text, sizeof text, "%s%d, %s", kMarkAdded[PromptLanguage()], r, pageText);
  } else {
    std::snprintf(text, sizeof text, "%s%d", kMarkAdded[PromptLanguage()], r);
  }
  text_sound_insert(text);
  return 0;
}

int DaisyMarkAddRepeat(void *context, int value, int preview) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  RepeatMark mark;
  switch (value) {
    case 0:
    case 1:
      if (value == 1 && !(p->repeat_state & 1)) return -1;  // B only after A
      if (readMark(p, &mark.pos) != 0) return -1;
      mark.pos.text = nullptr;
      mark.audio_ms = p->output == OUT_AUDIO && p->audio->open ? p->audio->pos_ms.load() : -1;
      if (value == 0) {
        p->mark_a = mark;
        p->repeat_state = 1;
      } else {
        p->mark_b = mark;
        p->repeat_state = 3;
        // The repeat takes effect at once: the current item counts as ended.
        stopOutput(p);
        p->doneGen = p->playGen.load();
        SendVKey(VKEY_DAISYEND);
      }
      return 0;
    case 2:
      p->repeat_state = 0;
      return 0;
    default:
      return -1;
  }
}

int DaisySetParam(void *context, int param, int value) {
  DaisyScreen *p = static_cast<DaisyScreen *>(context);
  if (!p) return -1;
  if (param == TTS_PARAM_SPEED) SoundSpeed_SetSpeed(kTempoMusic, speedPercent(value));
  if (param == TTS_PARAM_PITCH) SoundSpeed_SetPitch(kTempoMusic, value);
  if (!p->tts_live) return 0;
  int r;
  if (param == TTS_PARAM_ROLE) {
    applyTtsRole(p->tts.get(), value);
    r = 0;
  } else {
    // The menu hands the setting's own value; the engine takes pitch x 6400.
    r = TtsSetParam(p->tts.get(), param, param == TTS_PARAM_PITCH ? value * 6400 : value);
  }
  if (p->output == OUT_SPEECH) {
    // A changed voice parameter has cut the sentence off: it is said again
    // with the new voice when the menu closes.
    tts_pause(p->tts.get());
    p->menu_replay = true;
  }
  return r < 0 ? -1 : 0;
}

int DaisyShow(Activity *screen) {
  DaisyScreen *p = screenOf(screen);
  if (!p) return -1;
  // An end notice that reached a menu over the screen went no further.
  if (p->doneGen.load() == p->playGen.load()) SendVKey(VKEY_DAISYEND);
  return 0;
}

int DaisyHide(Activity *screen) { return ActivityHideScreen(screen); }

int DaisyKey(Activity *screen, const KeyEvent *key) {
  DaisyScreen *p = screenOf(screen);
  if (!p || !key) return -1;
  switch (key->code) {
    case VKEY_MENU:
      openMenu(p, &DaisyMenu);
      return 0;
    case VKEY_MARK:
      openMenu(p, &DaisyMarkMenu);
      return 0;
    case VKEY_BACK:
      return leave(p, false);
    case VKEY_VOL_:
      VolumeDecNoTts();
      return 0;
    case VKEY_VOLADD:
      VolumeAddNoTts();
      return 0;
    case VKEY_ESC:
      speakSummary(p);
      return 0;
    case VKEY_UP:
      changeStep(p, -1);
      return 0;
    case VKEY_DOWN:
      changeStep(p, 1);
      return 0;
    case VKEY_LEFT:
      move(p, -1);
      return 0;
    case VKEY_RIGHT:
      move(p, 1);
      return 0;
    case VKEY_OK:
      pauseResume(p);
      return 0;
    case VKEY_DAISYEND:
      // Play going on by itself waits in silence: only a key's wait is said.
      daisy_set_wait_notice(nullptr);
      onItemEnd(p);
      daisy_set_wait_notice(sayStillOpening);
      return 0;
    case VKEY_SDOUT:
    case VKEY_USBDISKOUT: {
      const int removed = key->code == VKEY_SDOUT ? 1 : 2;
      if (GetMoutPointTypeFpath(p->book_path.c_str()) != removed) return 0;
      return leave(p, true);
    }
    case VKEY_POWEROFF:
      return leave(p, true);
    default:
      return 1;
  }
}

void DaisyCloseFile(void) { daisy_close(); }

int DaisyOpenFile(Activity *screen, int, int smil_index, int element_index) {
  DaisyScreen *p = screenOf(screen);
  if (!p) return -1;
  p->item = nullptr;
  p->repeat_state = 0;
  ItemSetValue(&DaisyABrepeat, 0);
  int r = daisy_open(p->book_path.c_str());
  if (r != 0) {
    LOGE("daisy_start return error: %d (%s)\n", r, p->book_path.c_str());
    daisy_close();
    return -1;
  }
  daisy_set_wait_notice(sayStillOpening);
  p->pages = std::max(daisy_get_ttl_page(), 0);
  p->levels = std::min(std::max(daisy_get_total_levels(), 0), kMaxLevels);
  p->text_only = daisy_check_is_text_only_file() == 1 ? 1 : 0;
  p->step_mask = DaisyStepMask(p->levels, p->pages, p->text_only);
  daisy_set_skip(p->skip);
  ItemSetValue(&DaisySkipPage, p->skip & SMIL_SKIP_PAGE ? 1 : 0);
  ItemSetValue(&DaisySkipNote, p->skip & SMIL_SKIP_NOTE ? 1 : 0);
  ItemSetValue(&DaisySkipSidebar, p->skip & SMIL_SKIP_SIDEBAR ? 1 : 0);
  ItemSetValue(&DaisySkipProdnote, p->skip & SMIL_SKIP_PRODNOTE ? 1 : 0);
  if (!(p->step_mask & (1u << stepIndex()))) {
    // As a menu item's mask would: the next allowed value above, else the lowest.
    int i = stepIndex();
    int found = -1;
    for (int k = i + 1; k < kDaisySteps && found < 0; k++)
      if (p->step_mask & (1u << k)) found = k;
    for (int k = 0; k < kDaisySteps && found < 0; k++)
      if (p->step_mask & (1u << k)) found = k;
    MDaisyStep = found < 0 ? 9 : found;
  }
  DaisyBookMarkInfo pos{smil_index, element_index, -1, -1, nullptr, std::max(p->start_offset_ms, 0)};
  DaisyPlayItem *item = nullptr;
  r = daisy_go_to_book_mark(&pos, &item);
  if (r != 0 || !item) {
    // A position the book no longer has: from the start.
    r = daisy_start(&item);
  }
  if (r != 0 || !item) {
    LOGE("daisy_start return error: %d\n", r);
    daisy_close();
    return -1;
  }
  p->item = item;
  if (smil_index != 0 || element_index != 0)
    LOGI("Daisy resume %d %d offset=%d\n", smil_index, element_index, p->start_offset_ms);
  return 0;
}

Activity *DaisyCreate(Activity *browser, int smil_index, int element_index) {
  int handle = sound_open(1, 16000, 1);
  if (handle < 0) {
    LOGE("sound open return %d\n", handle);
    return nullptr;
  }
  std::unique_ptr<DaisyScreen> p(new (std::nothrow) DaisyScreen);
  if (p) {
    p->tts.reset(new (std::nothrow) TtsApp);
    if (PcmOutInit(&p->pcm, handle) != 0) p->tts.reset();
  }
  if (!p || !p->tts) {
    LOGE("Not enough memory\n");
    sound_close(handle);
    return nullptr;
  }
  p->head = {"Daisy", 0, DaisyKey, DaisyShow, DaisyHide, 0, p.get()};
  p->browser = browser;
  p->sound_handle = handle;
  p->book_path = browser ? FileBrowserCurPath(browser) : "";
  p->book_dir = browser ? FileBrowserCurDir(browser) : "";
  {
    std::vector<char> buf(4096, '\0');
    if (daisy_get_title(p->book_path.c_str(), buf.data(), static_cast<int>(buf.size())) >= 0 && buf[0])
      p->title = buf.data();
    else
      p->title = browser ? FileBrowserCurName(browser) : "";
  }
  p->skip = MarkGetOptions(MARK_DAISY_HISTORY, p->book_path.c_str(), p->title.c_str()) & 0xF;
  // The history keeps the place inside the clip beside the position.
  if (const Mark *m = MarkArryGet(MARK_DAISY_HISTORY,
                                  MarkFind(MARK_DAISY_HISTORY, p->book_path.c_str(), p->title.c_str()))) {
    if (!m->items.empty() && std::atoi(m->items[0].ncxref.c_str()) == smil_index && std::atoi(m->items[0].uri.c_str()) == element_index)
      p->start_offset_ms = std::max(m->items[0].timeoffset, 0);
  }

  // The reading voice.
  TtsApp *app = p->tts.get();
  TtsGetDefaultParam(app->params);
  app->params[TTS_PARAM_CODEPAGE] = 65001;
  const int voice = settingValue(&DReadRole, 0);
  if (voice >= 0 && voice < 8) {
    app->params[TTS_PARAM_MAIN_ROLE] = RoleTable[PromptLanguage()][voice][0];
    app->params[TTS_PARAM_SUB_ROLE] = RoleTable[PromptLanguage()][voice][1];
  }
  const int speed = settingValue(&DReadSpeed, 0);
  const int pitch = settingValue(&DReadPitch, 0);
  app->params[TTS_PARAM_VSPEED] = speed;
  app->params[TTS_PARAM_VEMODE] = settingValue(&DReadEffect, 0);
  app->params[TTS_PARAM_VPITCH] = pitch * 6400;
  std::snprintf(app->name, sizeof app->name, "DAISY_TTS");
  app->tempo = 1;
  if (tts_init(app, DaisyTtsWritePcm, DaisyTtsFinish, p.get()) == 0) p->tts_live = true;
  else LOGE("tts_init return error\n");
  SoundSpeed_SetSpeed(kTempoMusic, speedPercent(speed));
  SoundSpeed_SetPitch(kTempoMusic, pitch);

  p->audio = AudioInit("DAISY_AUDIO", &gfile, DaisyAudioWritePcm, DaisyAudioSetParam, DaisyAudioFileEnd);
  if (!p->audio) {
    LOGE("Not enough memory\n");
    releaseOutputs(p.get());
    sound_close(handle);
    return nullptr;
  }
  p->audio->data = p.get();
  p->audio->sound_handle = handle;
  p->audio->exact = 1;

  if (DaisyOpenFile(&p->head, 0, smil_index, element_index) != 0) {
    LOGE("DaisyOpenFile return error\n");
    releaseOutputs(p.get());
    sound_close(handle);
    return nullptr;
  }
  p->saved_shutdown = SaveAndStopAutoShutdown();
  if (ActivityAdd(&p->head) != 0) {
    RestoryAutoShutdown(p->saved_shutdown);
    releaseOutputs(p.get());
    DaisyCloseFile();
    sound_close(handle);
    return nullptr;
  }
  DaisyScreen *screen = p.release();
  BookMarkKeepPosition(keepPosition, screen);
  SleepTimerAttach(&kSleepClient, screen);
  screen->start_offset_ms = 0;
  advance(screen);
  return &screen->head;
}

int DaisyScreenInit(void) {
  static const FileBrowserPlayer kPlayer = {isDaisyControlFile, DaisyCreate, titleOf};
  int r = FileBrowserRegisterPlayer(FILE_KIND_DAISY, &kPlayer);
  r |= MenuBindFunc("DaisyMenuJmpToPage", DaisyMenuJmpToPage);
  r |= MenuBindFunc("DaisyMenuJmpToHead", DaisyMenuJmpToHead);
  r |= MenuBindFunc("DaisyMenuJmpToBegin", DaisyMenuJmpToBegin);
  r |= MenuBindFunc("DaisyMenuJmpToEnd", DaisyMenuJmpToEnd);
  r |= MenuBindFunc("DaisyMarkAddItem", DaisyMarkAddItem);
  r |= MenuBindFunc("DaisyMarkAddRepeat", DaisyMarkAddRepeat);
  r |= MenuBindFunc("DaisyMenuHeadingList", DaisyMenuHeadingList);
  r |= MenuBindFunc("DaisySetSkip", DaisySetSkip);
  r |= MenuBindParamFunc("DaisySetParam", DaisySetParam);
  return r == 0 ? 0 : -1;
}

int DaisyScreenStepMask(Activity *screen) {
  DaisyScreen *p = screenOf(screen);
  return p ? static_cast<int>(p->step_mask) : -1;
}

int DaisyScreenRepeatState(Activity *screen) {
  DaisyScreen *p = screenOf(screen);
  return p ? p->repeat_state : -1;
}

int DaisyScreenOutput(Activity *screen) {
  DaisyScreen *p = screenOf(screen);
  return p ? p->output : -1;
}
