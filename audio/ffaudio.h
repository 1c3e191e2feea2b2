// audio/ffaudio.h: the audio decoder. An audio object (Audio) opens one file
// at a time through a pluggable source record (AudioSource), decodes it with
// FFmpeg on a thread of its own, converts every frame to interleaved signed
// 16-bit PCM at the file's own rate with at most two channels, runs it
// through the equaliser hook and hands it to the client's writer.
//
// Threads and locks: the decoder thread is started by AudioOpen and joined
// by AudioClose. The client's writer and finish function run on it. The
// object's mutex guards the state word and the thread's parked/ended flags;
// it is never held while the writer, the finish function or a hook runs.
// AudioPause and AudioSeek return only once the thread sits between two
// chunks, so the FFmpeg objects are used by one thread at a time: a writer
// that waits for the sound device must give up when AudioStatus() is no
// longer 0, or a pause waits for the device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

// A source of bytes for FFmpeg (the plain-file source gfile below; tests and
// the fuzzer plug in others). Fields in order; copied into every audio object.
struct AudioSource {
  // Opens path (a fixed path of the system) with open(2) flags, 0 = read
  // only. Returns 0, or the negative result of open.
  int (*open)(AudioSource *src, const char *path, int flags);
  // Closes the descriptor. Returns 0.
  int (*close)(AudioSource *src);
  // Reads up to len bytes. Returns the count, 0 at the end (and for a null
  // buffer or len < 1), negative on a read error.
  int (*read)(AudioSource *src, unsigned char *buf, int len);
  int (*write)(AudioSource *src, const unsigned char *buf, int len);  // none for files
  // lseek64 with whence; whence kAvseekSize asks for the size instead
  // (kAvseekForce is ignored). Returns the new offset or size, negative on failure.
  int64_t (*seek)(AudioSource *src, int64_t offset, int whence);
  // The size in bytes, -1 when unknown.
  int64_t (*getsize)(AudioSource *src);
  int fd;        // -1 when closed
  int spare;     // 0; free for a source of another kind
  int64_t size;  // cached answer to the size request, 0 = not asked yet
  void *data;    // for sources that are not files (memory, ...); null for gfile
};

// FFmpeg's size request and force bit of the I/O seek callback.
constexpr int kAvseekSize = 0x10000;
constexpr int kAvseekForce = 0x20000;

// The plain-file source: open/read/seek on a descriptor opened with O_CLOEXEC.
extern const AudioSource gfile;

// The decoder of one open file.
struct FfAudioCtx {
  AVFormatContext *fmt_ctx = nullptr;
  AVIOContext *io_ctx = nullptr;  // buffer and context are ours to free
  AVCodecContext *codec_ctx = nullptr;
  int m_bPlanar = 0;         // the decoder's sample format is planar
  int m_BytesPerSample = 0;  // of the decoder's sample format
  int audio_streams[8] = {};  // stream indices of the audio streams, in file order
  int TotalAudioStreams = 0;
  int CurAudioStream = 0;  // position in audio_streams
  int64_t duration = 0;    // microseconds; kNoDuration when the file gives none
  uint64_t out_ch_layout = 0;  // channel mask of the output (mono or stereo)
  int out_channels = 0;        // 1 or 2
  int out_sample_fmt = -1;     // the decoder's sample format (AVSampleFormat); output is s16
  int out_sample_rate = 0;     // Hz, the file's own
  double time_base = 0;        // of the current stream, in seconds
  AVPacket *packet = nullptr;  // the packet waiting to go into the decoder
  int packet_pending = 0;      // 1 while packet holds data not yet sent
  int64_t pts = 0, dts = 0;    // of the last packet read
  AVFrame *frame = nullptr;    // allocated on first use
  int16_t *m_AudioBuf = nullptr;  // converted PCM of the last chunk; only grows
  int m_AudioBufSize = 0;         // bytes
  int seek_by_bytes = 0;  // discontinuous timestamps (and not ogg)
  int draining = 0;       // the end of the file was signalled to the decoder
  int64_t io_furthest = 0;  // furthest file position reached since open or seek
  int io_stalls = 0;        // packets since the position last moved on or a frame came out
  AudioSource *source = nullptr;  // borrowed; FFmpeg reads through it
  // Sample numbering: frame 0 is the first sample a decode from the start
  // hands out. chunk_frame is the frame of m_AudioBuf's first sample, -1
  // when unknown; next_frame the frame after the last chunk.
  int64_t chunk_frame = -1;
  int64_t next_frame = 0;
  int64_t skip_to = -1;   // exact seek under way: samples before this frame are dropped
  // The decoder hands out each frame one frame later than its packet's
  // timestamp says (WMA's transform overlap): a frame's sample numbers are
  // its timestamp less its own length.
  int stamped_late = 0;
  int drain_chunks = 0;   // chunks the drain at the end has given
  // PCM after a stop position, still in m_AudioBuf: handed out when the
  // thread goes on without a seek (a clip that continues where one ended).
  int carry_off = 0;    // bytes
  int carry_bytes = 0;
};

constexpr int64_t kNoDuration = INT64_MIN;  // FFmpeg's "no value"

// Signal processing that the decoder drives: the equaliser on every chunk
// and the music tempo processor set up at open. Provided by the sound
// module (af_equalizer_init, af_equalizer_play, af_equalizer_deinit,
// SoundSpeed_SetSampleRate, SoundSpeed_SetChannels); a null pointer skips
// that step.
struct AudioDsp {
  int (*eq_init)(int rate, int channels, int preset);
  void (*eq_play)(void *samples, int bytes);  // interleaved s16, in place
  void (*eq_deinit)(void);
  int (*speed_set_rate)(int n, int rate);
  int (*speed_set_channels)(int n, int ch);
};

// The processing every later AudioInit copies into its object (null: none).
// Set once at start-up, before the first AudioInit.
void AudioSetDsp(const AudioDsp *dsp);

constexpr int kTempoMusic = 2;  // the tempo processor of decoded audio

// Why an open failed: the file is damaged (or cannot be read at all), or
// it is a file of a kind this decoder cannot play (no audio stream, no
// decoder for its codec).
enum { AUDIO_OPEN_DAMAGED = 0, AUDIO_OPEN_UNSUPPORTED = 1 };

enum { AUDIO_RUN = 0, AUDIO_PAUSE = 1, AUDIO_STOP = 2 };

struct Audio;
// Consumes bytes from audio->ff_ctx->m_AudioBuf (sizes below 1 are to be
// ignored). Runs on the decoder thread. The result is not used.
using AudioWriter = int (*)(Audio *audio, int bytes);
// Prepares the output for rate and channels; negative aborts the open.
using AudioFormatFn = int (*)(Audio *audio, int rate, int channels);
// Called on the decoder thread when it ends (end of file, or after close),
// and when it has handed out everything before its stop position (it has
// paused itself then; AudioStatus is 1).
using AudioFinishFn = int (*)(Audio *audio);

struct Audio {
  std::string name;  // for log lines
  FfAudioCtx *ff_ctx = nullptr;  // owned while open
  AudioSource src{};             // copy of the template given at creation
  AudioWriter writer = nullptr;
  AudioFormatFn format = nullptr;
  AudioFinishFn finish = nullptr;
  AudioDsp dsp{};                         // copied from AudioSetDsp at creation
  std::atomic<int> state{AUDIO_RUN};      // changed under mutex
  std::atomic<int> ended{0};              // 1 once the thread has finished
  int64_t pos_frames = 0;  // sample frames written: decoder thread while it runs,
                           // the caller of AudioSeek while it is parked
  std::atomic<int> pos_ms{0};             // the same in milliseconds, for any thread
  std::atomic<int> end_ms{0x7fffffff};    // end mark B
  int a_ms = 0;                           // A mark (player screen)
  int spare = 0;                          // A-B state (player screen)
  // Exact mode (set before AudioOpen): seeks (AudioSeek as well), and the
  // start of AudioOpen, land on the sample of the target instead of the
  // packet before it. Files whose timestamps are discontinuous
  // (seek_by_bytes) are sought the plain way.
  int exact = 0;
  // The thread hands out the samples before this frame, then pauses and
  // calls finish; -1 none. Written while the thread is parked or absent
  // (AudioSetStop), read by the thread.
  int64_t stop_frame = -1;
  int open = 0;                           // 1 while the decoder thread exists
  std::thread thread;
  std::mutex mutex;
  std::condition_variable cond;
  int parked = 0;  // guarded by mutex: the thread waits between chunks
  int sound_handle = 0;
  int open_error = AUDIO_OPEN_DAMAGED;  // why the last AudioOpen failed
  unsigned char pcm[4096] = {};  // the writer's block
  int pcm_fill = 0;
  void *data = nullptr;  // the client's own pointer
};

// Creates an audio object. Returns it, or null when any argument is null.
Audio *AudioInit(const char *name, const AudioSource *source_template, AudioWriter writer,
                 AudioFormatFn format, AudioFinishFn finish);

// Frees the object, closing it first if needed (null allowed).
void AudioDeInit(Audio *audio);

// Opens path and starts the decoder thread at start_ms on the given audio
// stream (out of range: the first) with equaliser preset eq_mode.
// Returns 0, or -1 with nothing left open (also when already open).
int AudioOpen(Audio *audio, const char *path, int start_ms, int stream, int eq_mode);

// AudioOpen in exact mode for a clip: starts on the sample of start_ms and
// stops after the sample before stop_ms (-1: at the file's end), on the
// first stream without equaliser. Returns 0, -1 as AudioOpen.
int AudioOpenClip(Audio *audio, const char *path, int start_ms, int stop_ms);

// Stops and joins the thread and closes the file. Does nothing when not
// open. Returns 0, or -1 when called from the decoder thread itself.
int AudioClose(Audio *audio);

// Pause: state 1 when running; returns once the thread is between chunks
// (called from the decoder thread itself, it only sets the state).
// Continue: state 0. Both do nothing when not open.
void AudioPause(Audio *audio);
void AudioCont(Audio *audio);

// 2 when the thread has ended, else the state (0 run, 1 pause, 2 stop).
int AudioStatus(Audio *audio);

// Seeks to ms (FFmpeg may land within range_ms) with FFmpeg's seek flags and
// resumes playback; the thread is parked meanwhile, as for AudioPause. Returns the new position in sample frames, or the old
// one when the seek failed.
int64_t AudioSeek(Audio *audio, int ms, int range_ms, int flags);

// For writers: moves the position on by frames sample frames of output.
void AudioAdvance(Audio *audio, int64_t frames);

// Exact seek: parks the thread, makes the next sample handed out the one of
// frame `frame` (output frames from the file's start), sets the stop
// position (-1 none) and resumes unless `resume` is 0. Returns the new
// position in frames, or -1 when the file could not be sought (the old
// position stays, the thread stays parked).
int64_t AudioSeekExact(Audio *audio, int64_t frame, int64_t stop_frame, int resume);

// Parks the thread (it may have paused itself at its stop), sets a new stop
// position and continues where it was: nothing dropped, nothing repeated.
// Does nothing when not open.
void AudioContTo(Audio *audio, int64_t stop_frame);

// The frame the thread hands out next (where a stop left it), -1 when not
// open or unknown. Call while the thread is parked.
int64_t AudioNextFrame(Audio *audio);

// Milliseconds to the frame that holds that instant at rate (rounded to
// the nearest frame), and back (truncated).
int64_t AudioMsToFrame(int64_t ms, int rate);

// Duration of a file in milliseconds, -1 when the file gives none or
// cannot be opened.
int get_audio_total_ms(const char *path);

// Lower level, used by the above.

// Opens a decoder over an opened source with an I/O buffer of io_size bytes.
// out_layout / out_fmt / out_rate < 0: the file's own (out_fmt may only
// name the decoder's own format; the output is always s16). Returns the
// context, or null with everything freed and *why (when given) set to an
// AUDIO_OPEN_* value.
FfAudioCtx *FfAudioOpen(AudioSource *source, int io_size, int64_t out_layout, int out_fmt,
                        int out_rate, int stream, int *why = nullptr);
// Frees everything FfAudioOpen made (null allowed). The source stays open.
void FfAudioClose(FfAudioCtx *ctx);
// Decodes the next chunk into m_AudioBuf. Returns its size in bytes, -2 at
// the end of the file (or when the file makes no progress), -1 when no
// frame can be allocated.
int FfDecodeFrame(FfAudioCtx *ctx);
// Drains the decoder's delay after the end. Returns the size of the next
// chunk, 0 when nothing is left, -1 on error.
int FfDecodeFlush(FfAudioCtx *ctx);
// Seeks all streams to ms within range_ms. Returns the position in output
// sample frames, -1 when the packet there has no timestamp, -2 at the end
// of the file, FFmpeg's negative error when the seek failed.
int64_t FfAudioSeek(FfAudioCtx *ctx, int ms, int range_ms, int flags);
// Seeks so that the next chunk starts at output frame `frame` exactly:
// FFmpeg's seek lands a little before it (the decoder needs a few frames to
// settle), and the chunks before the target are decoded and dropped.
// Returns frame, or FFmpeg's negative error.
int64_t FfAudioSeekExact(FfAudioCtx *ctx, int64_t frame);
// Converts a decoded frame into m_AudioBuf. Returns the bytes, -1 when the
// frame is unusable.
int FfAudioFmt(FfAudioCtx *ctx, const AVFrame *frame);
