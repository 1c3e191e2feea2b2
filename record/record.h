// record/record.h: the recording pipeline and the recording screen.
//
// Pipeline: a reader thread fills 4096-byte blocks from a read function (the
// sound device, or a RAM buffer for memos) and an encoder thread drains them
// into a codec (WAV or MP3 through LAME) and the output file. A pool of
// blocks sits between the two so that a slow card does not lose input. One
// mutex and one condition variable guard both block lists; the threads wait
// on predicates, never on sleeps. Blocks still queued when the pipeline
// stops are encoded, and the file is made playable every second (WAV header
// rewritten, data synced) so that a power cut keeps all but the last second.
//
// Screen: "Record", stacked over the file browser (or the radio), recording
// from the moment it is created until a navigation key, the removal of its
// card, a full card or power-off ends it.
#pragma once

#include "core/runtime/activity.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct SpeexPreprocessState_;

constexpr int kRecBlock = 4096;

// Posted by a pipeline that stopped writing on its own (card full, write
// error) so that the recording screen ends the recording on the key thread.
constexpr int VKEY_RECORDSTOP = 276;

// One encoder. init → handle or null; encode → output bytes at *out (0
// none), negative on failure; flush → bytes at *out or negative; finish
// writes what the file still needs (the WAV header) → 0 or -1; checkpoint
// makes what was written so far playable after a power cut → 0 or -1;
// deinit frees the handle.
struct CodecOps {
  uint32_t name;   // "mp3" or "wave" as a 32-bit word
  uint32_t spare;
  void *(*init)(int fd, int channels, int bits, int rate);
  int (*encode)(void *handle, const unsigned char *pcm, int bytes, int channels, const unsigned char **out);
  int (*flush)(void *handle, const unsigned char **out);
  int (*finish)(void *handle, int fd);
  void (*deinit)(void *handle);
  int (*checkpoint)(void *handle, int fd);
};

extern const CodecOps LameMp3Encode;
extern const CodecOps WaveEncode;

// A block of the pool: two list links and up to 4096 bytes of PCM.
struct RecNode {
  RecNode *prev;
  RecNode *next;
  int bytes;  // PCM held; a block cut short by a pause or the stop holds less
  unsigned char pcm[kRecBlock];
};

// Why the encoder stopped writing before it was asked to.
enum { REC_OK = 0, REC_FULL = 1, REC_WRITE_ERROR = 2, REC_ENCODE_ERROR = 3 };

struct RecData {
  std::vector<RecNode> nodes;
  RecNode free_head;  // sentinel heads of circular lists; guarded by mutex
  RecNode used_head;
  int (*read)(void *arg, void *buf, int len) = nullptr;  // bytes read, or <= 0 (nothing now)
  void *read_arg = nullptr;
  int fd = -1;
  const CodecOps *ops = nullptr;
  void *codec = nullptr;
  int channels = 0;
  int rate = 0;
  std::atomic<int> pause{0};
  // 1: the source is live (the sound device). The reader keeps reading
  // while paused and drops what it reads, so that the recording resumes at
  // the present moment (the device's buffer would otherwise hand back the
  // paused span), and with every block queued it reads on and counts what
  // it drops rather than let the device overrun unseen. 0: a stored source
  // (a RAM buffer) waits instead.
  int live = 0;
  std::thread reader;
  std::thread encoder;
  std::mutex mutex;
  std::condition_variable cond;
  std::atomic<bool> stop{false};
  bool reader_done = false;  // guarded by mutex: no block will be queued any more
  int post_stop_key = 0;     // 1: a failure posts VKEY_RECORDSTOP
  SpeexPreprocessState_ *ns = nullptr;
  int ns_frame = 0;  // samples
  // Free-space watch: the fixed path of the recording's folder ("" none)
  // and the bytes that must stay free; below them the encoder stops.
  std::string space_path;
  int64_t space_reserve = 0;
  std::atomic<int> failed{REC_OK};
  std::atomic<int64_t> overrun_bytes{0};  // read but dropped: the pool was empty
  std::atomic<int64_t> encoded_bytes{0};  // PCM handed to the codec
};

// A record with n blocks, all free. Null when n < 2 or out of memory.
RecData *MallocRecData(int n);
void FreeRecData(RecData *rec);

// Creates the codec and starts both threads. The caller has set fd, ops,
// read and read_arg, and optionally ns, pause and the space watch.
// Returns 0, or -1 (codec refused, threads could not start).
int EncodeInit(RecData *rec, int channels, int bits, int rate);
// Stops the reader (a block it was filling is kept), lets the encoder encode
// every queued block, finishes the file and joins both; frees the codec.
void EncodeDeinit(RecData *rec);
void EncodeSetPause(RecData *rec, int flag);
int EncodeGetStatus(RecData *rec);

// The speexdsp preprocessor: denoise on, suppression -20 dB. Null on failure.
SpeexPreprocessState_ *record_speex_init(int frame_size, int rate);
// Scales samples by 85/100, then preprocesses each whole frame in turn.
void record_speex_denoise(SpeexPreprocessState_ *state, int16_t *samples, int count, int frame_size);
void record_speex_destroy(SpeexPreprocessState_ *state);

// Hold-to-record memo: captures the microphone into RAM while the record key
// is held, then encodes it to "/home/tag/tag%u.mp3". Returns the new file's
// fixed path, or "" when nothing was recorded (too short, device busy).
std::string MicSoundRecord(void);

// ---- The recording screen ----

// Starts recording into a new file on the device of RecordDir (from_fm: the
// radio, always 44100 Hz). Returns the screen, stacked and recording but not
// yet active, or null (nothing started; what went wrong was spoken).
Activity *RecordCreate(Activity *browser, int from_fm = 0);
int RecordKey(Activity *screen, const KeyEvent *key);
// A new recording's fixed path in the folder "录音文件" (Chinese prompts) or
// "RECORD" on the device of RecordDir, made when missing; never an existing
// file. "" when the device is not mounted (spoken) or the folder cannot be
// made.
std::string RecordGetFileName(const char *ext);

// ---- The voice memo screen ("VoiceMemo") ----

constexpr int kMemoMax = 100;
constexpr char kMemoIndexFile[] = "/home/tag/beiwang";

// The memo paths of an index text: one path per line (a last line without
// its newline counts), blanks around it dropped, only files that exist, at
// most kMemoMax.
std::vector<std::string> MemoParseIndex(std::string_view text);
// The index text of paths, each followed by "\n".
std::string MemoFormatIndex(const std::vector<std::string> &paths);

// Binds the memo screen's menu actions (VoiceMemoFunc, DelVoiceMemoFunc,
// CleanVoiceMemoFunc). Returns 0.
int VoiceMemoInit(void);
