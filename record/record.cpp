// The recording pipeline: the block pool, the reader and encoder threads,
// the WAV and MP3 codecs, the noise suppressor and the memo capture.
//
// Threads: ReadThread and EncodeThread per running pipeline, started by
// EncodeInit and joined by EncodeDeinit. rec->mutex guards the two block
// lists and reader_done; rec->cond is notified on every list change and on
// stop. Neither thread calls the codec or the read function under the lock.
#include "record/record.h"

#include "board/board.h"
#include "core/runtime/config.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "sound/sound.h"

#include <lame/lame.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "record/record.c";
// The reader fills a block from reads of this size, so that a pause or the
// stop cuts the recording within a few milliseconds of the key.
constexpr int kReadChunk = 1024;
constexpr int kWavHeader = 512;
constexpr int kMp3Out = 16384;

// ---- Block lists (callers hold rec->mutex) ----

void listInit(RecNode *head) { head->prev = head->next = head; }
bool listEmpty(const RecNode *head) { return head->next == head; }

void listAppend(RecNode *head, RecNode *node) {
  node->prev = head->prev;
  node->next = head;
  head->prev->next = node;
  head->prev = node;
}

RecNode *listTake(RecNode *head) {
  if (listEmpty(head)) return nullptr;
  RecNode *n = head->next;
  n->prev->next = n->next;
  n->next->prev = n->prev;
  n->prev = n->next = nullptr;
  return n;
}

void giveBack(RecData *r, RecNode *node, bool used) {
  {
    std::scoped_lock lock(r->mutex);
    listAppend(used ? &r->used_head : &r->free_head, node);
  }
  r->cond.notify_all();
}

// Writes all of data. Returns 0, or the errno of the failure.
int writeAll(int fd, const unsigned char *data, int len) {
  while (len > 0) {
    ssize_t n = write(fd, data, static_cast<size_t>(len));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    data += n;
    len -= static_cast<int>(n);
  }
  return 0;
}

// Records why the encoder stops writing and tells the screen once.
void fail(RecData *r, int why) {
  int expected = REC_OK;
  if (!r->failed.compare_exchange_strong(expected, why)) return;
  LOGW("record stopped writing: %s\n", why == REC_FULL ? "storage full" : why == REC_WRITE_ERROR ? "write error" : "encode error");
  if (r->post_stop_key) SendVKey(VKEY_RECORDSTOP);
}

void writeOut(RecData *r, const unsigned char *out, int n) {
  if (n <= 0) return;
  int err = writeAll(r->fd, out, n);
  if (err) {
    std::printf("write record file error, want %d: %s\n", n, std::strerror(err));
    fail(r, err == ENOSPC || err == EDQUOT ? REC_FULL : REC_WRITE_ERROR);
  }
}

// Once a second of audio: the file is made playable as it stands, and the
// storage is checked before it fills up.
void checkpoint(RecData *r) {
  if (r->ops->checkpoint && r->ops->checkpoint(r->codec, r->fd) != 0) LOGW("record checkpoint failed\n");
  if (r->space_path.empty()) return;
  int64_t free = BoardFreeBytes(r->space_path.c_str());
  if (free >= 0 && free < r->space_reserve) fail(r, REC_FULL);
}

void denoise(RecData *r, RecNode *node) {
  if (!r->ns || r->channels != 1 || r->rate == 44100 || r->ns_frame <= 0) return;
  int16_t samples[kRecBlock / 2];
  int count = node->bytes / 2;
  std::memcpy(samples, node->pcm, static_cast<size_t>(count) * 2);
  // Only whole frames go through the suppressor; a short block's tail stays as it is.
  int whole = count / r->ns_frame * r->ns_frame;
  record_speex_denoise(r->ns, samples, whole, r->ns_frame);
  std::memcpy(node->pcm, samples, static_cast<size_t>(whole) * 2);
}

// Waits up to ms for the stop (or, with `paused`, for the pause to end).
void nap(RecData *r, int ms, bool paused = false) {
  std::unique_lock lock(r->mutex);
  r->cond.wait_for(lock, std::chrono::milliseconds(ms), [&] { return r->stop.load() || (paused && !r->pause); });
}

void ReadThread(RecData *r) {
  std::printf("read thread start!\n");
  std::vector<unsigned char> scratch(kRecBlock);
  bool overrun = false;
  while (r->read && !r->stop) {
    if (r->pause) {
      if (!r->live) {
        nap(r, 100, true);
      } else if (r->read(r->read_arg, scratch.data(), kReadChunk) <= 0) {
        nap(r, 50);
      }
      continue;
    }
    RecNode *node = nullptr;
    {
      std::unique_lock lock(r->mutex);
      if (!r->live) r->cond.wait(lock, [&] { return !listEmpty(&r->free_head) || r->stop; });
      node = listTake(&r->free_head);
    }
    if (!node && !r->live) break;  // stopped while waiting
    unsigned char *buf = node ? node->pcm : scratch.data();
    int fill = 0;
    while (fill < kRecBlock && !r->stop && !r->pause) {
      int n = r->read(r->read_arg, buf + fill, std::min(kReadChunk, kRecBlock - fill));
      if (n > 0) {
        fill += n;
      } else {
        nap(r, 50);  // the device is lent to a prompt, or the source is dry
      }
    }
    if (!node) {
      // Every block waits for the encoder: this one is lost.
      r->overrun_bytes += fill;
      if (!overrun) LOGW("record overrun: the block pool is full\n");
      overrun = true;
      continue;
    }
    overrun = false;
    node->bytes = fill;
    giveBack(r, node, fill > 0);
  }
  if (!r->read) LOGW("r->read = NULL\n");
  {
    std::scoped_lock lock(r->mutex);
    r->reader_done = true;
  }
  r->cond.notify_all();
  std::printf("read thread stop!\n");
}

void EncodeThread(RecData *r) {
  std::printf("encode thread start!\n");
  const int64_t second = static_cast<int64_t>(r->rate) * r->channels * 2;
  int64_t sinceCheckpoint = 0;
  for (;;) {
    RecNode *node = nullptr;
    {
      std::unique_lock lock(r->mutex);
      r->cond.wait(lock, [&] { return !listEmpty(&r->used_head) || r->reader_done; });
      node = listTake(&r->used_head);
    }
    if (!node) break;  // the reader has ended and every block is encoded
    if (r->failed == REC_OK) {
      denoise(r, node);
      const unsigned char *out = nullptr;
      int n = r->ops->encode(r->codec, node->pcm, node->bytes, r->channels, &out);
      if (n < 0) {
        std::printf("encode frame return %d\n", n);
        fail(r, REC_ENCODE_ERROR);
      } else {
        writeOut(r, out, n);
        r->encoded_bytes += node->bytes;
        sinceCheckpoint += node->bytes;
        if (sinceCheckpoint >= second) {
          sinceCheckpoint = 0;
          checkpoint(r);
        }
      }
    }
    giveBack(r, node, false);
  }
  if (r->failed == REC_OK) {
    const unsigned char *out = nullptr;
    int n = r->ops->flush(r->codec, &out);
    if (n < 0) std::printf("encode flush return %d\n", n);
    else writeOut(r, out, n);
  }
  // Whatever happened, the file gets its header for what it holds.
  if (r->ops->finish(r->codec, r->fd) != 0) LOGW("record finish failed\n");
  std::printf("encode thread stop\n");
}

// ---- WAV ----

struct WaveCodec {
  int rate, channels, bits;
};

void put16(unsigned char *p, unsigned v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char *p, uint32_t v) {
  put16(p, v & 0xffff);
  put16(p + 2, v >> 16);
}

// Writes the 512-byte header for the audio the file holds now: RIFF, fmt,
// a JUNK chunk filling the header area, and data at 512 counting only audio.
int writeWaveHeader(const WaveCodec *w, int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return -1;
  int frame = w->channels * 2;
  int64_t audio = std::max<int64_t>(0, static_cast<int64_t>(st.st_size) - kWavHeader);
  audio = std::min<int64_t>(audio - audio % frame, 0xffffffffLL - kWavHeader);
  unsigned char h[kWavHeader] = {};
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, static_cast<uint32_t>(kWavHeader - 8 + audio));
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);
  put16(h + 22, static_cast<unsigned>(w->channels));
  put32(h + 24, static_cast<uint32_t>(w->rate));
  put32(h + 28, static_cast<uint32_t>(w->rate * frame));
  put16(h + 32, static_cast<unsigned>(frame));
  put16(h + 34, 16);
  std::memcpy(h + 36, "JUNK", 4);
  put32(h + 40, kWavHeader - 44 - 8);
  std::memcpy(h + kWavHeader - 8, "data", 4);
  put32(h + kWavHeader - 4, static_cast<uint32_t>(audio));
  if (pwrite(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) {
    std::printf("write record file error\n");
    return -1;
  }
  return 0;
}

void *WaveInit(int fd, int channels, int bits, int rate) {
  if (bits != 16 || (channels != 1 && channels != 2)) return nullptr;
  auto *w = new (std::nothrow) WaveCodec{rate, channels, bits};
  if (!w) return nullptr;
  // A header for no audio at once: the file plays even if nothing follows.
  unsigned char zero[kWavHeader] = {};
  if (writeAll(fd, zero, kWavHeader) != 0 || writeWaveHeader(w, fd) != 0) {
    std::printf("write record file error\n");
    delete w;
    return nullptr;
  }
  return w;
}

int WaveEncodeFrame(void *handle, const unsigned char *pcm, int bytes, int channels, const unsigned char **out) {
  *out = pcm;
  return bytes - bytes % (channels * 2);
}

int WaveFlush(void *handle, const unsigned char **out) {
  *out = nullptr;
  return 0;
}

int WaveFinsh(void *handle, int fd) { return writeWaveHeader(static_cast<WaveCodec *>(handle), fd); }

int WaveCheckpoint(void *handle, int fd) {
  if (WaveFinsh(handle, fd) != 0) return -1;
  return fdatasync(fd) == 0 || errno == EINVAL ? 0 : -1;
}

void WaveDeinit(void *handle) { delete static_cast<WaveCodec *>(handle); }

// ---- MP3 ----

struct Mp3Codec {
  lame_global_flags *lame;
  int rate, channels, bits;
  int brate = 128, mode = 0, quality = 7, flag = 0;
  unsigned char out[kMp3Out];
};

void *Mp3Init(int fd, int channels, int bits, int rate) {
  if (bits != 16 || (channels != 1 && channels != 2)) return nullptr;
  lame_global_flags *gf = lame_init();
  if (!gf) {
    std::printf("lame_init return error\n");
    return nullptr;
  }
  lame_set_num_channels(gf, channels);
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_brate(gf, 128);
  // One channel is coded as mono; two as plain stereo.
  lame_set_mode(gf, channels == 1 ? MONO : STEREO);
  lame_set_quality(gf, 7);
  lame_set_bWriteVbrTag(gf, 0);
  if (lame_init_params(gf) < 0) {
    std::printf("lame_init_params return error\n");
    lame_close(gf);
    return nullptr;
  }
  auto *m = new (std::nothrow) Mp3Codec;
  if (!m) {
    lame_close(gf);
    return nullptr;
  }
  m->lame = gf;
  m->rate = rate;
  m->channels = channels;
  m->bits = bits;
  m->mode = channels == 1 ? MONO : STEREO;
  return m;
}

int Mp3EncodeFrame(void *handle, const unsigned char *pcm, int bytes, int channels, const unsigned char **out) {
  auto *m = static_cast<Mp3Codec *>(handle);
  bytes = std::min(bytes, kRecBlock);
  int16_t samples[kRecBlock / 2];
  std::memcpy(samples, pcm, static_cast<size_t>(bytes));
  int frames = bytes / (2 * channels);
  int n = channels == 1 ? lame_encode_buffer(m->lame, samples, samples, frames, m->out, kMp3Out)
                        : lame_encode_buffer_interleaved(m->lame, samples, frames, m->out, kMp3Out);
  *out = m->out;
  return n;
}

int Mp3Flush(void *handle, const unsigned char **out) {
  auto *m = static_cast<Mp3Codec *>(handle);
  *out = m->out;
  return lame_encode_flush(m->lame, m->out, kMp3Out);
}

// No tag is written (the frames are all there is).
int Mp3Finsh(void *handle, int fd) { return 0; }

int Mp3Checkpoint(void *handle, int fd) { return fdatasync(fd) == 0 || errno == EINVAL ? 0 : -1; }

void Mp3Deinit(void *handle) {
  auto *m = static_cast<Mp3Codec *>(handle);
  if (!m) return;
  lame_close(m->lame);
  delete m;
}

constexpr uint32_t fourcc(const char *s) {
  return static_cast<uint32_t>(s[0]) | static_cast<uint32_t>(s[1]) << 8 | static_cast<uint32_t>(s[2]) << 16 |
         static_cast<uint32_t>(s[3]) << 24;
}

}  // namespace

const CodecOps LameMp3Encode = {fourcc("mp3\0"), 0, Mp3Init, Mp3EncodeFrame, Mp3Flush, Mp3Finsh, Mp3Deinit, Mp3Checkpoint};
const CodecOps WaveEncode = {fourcc("wave"), 0, WaveInit, WaveEncodeFrame, WaveFlush, WaveFinsh, WaveDeinit, WaveCheckpoint};

RecData *MallocRecData(int n) {
  if (n < 2) return nullptr;
  auto *r = new (std::nothrow) RecData;
  if (!r) return nullptr;
  try {
    r->nodes.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc &) {
    delete r;
    return nullptr;
  }
  listInit(&r->free_head);
  listInit(&r->used_head);
  for (RecNode &node : r->nodes) listAppend(&r->free_head, &node);
  return r;
}

void FreeRecData(RecData *rec) { delete rec; }

int EncodeInit(RecData *rec, int channels, int bits, int rate) {
  if (!rec || !rec->ops) return -1;
  rec->channels = channels;
  rec->rate = rate;
  rec->codec = rec->ops->init(rec->fd, channels, bits, rate);
  if (!rec->codec) {
    LOGW("codec init return error!\n");
    return -1;
  }
  rec->stop = false;
  rec->reader_done = false;
  rec->failed = REC_OK;
  try {
    rec->reader = std::thread(ReadThread, rec);
  } catch (const std::system_error &) {
    LOGW("can't creat ReadThread\n");
    rec->ops->deinit(rec->codec);
    rec->codec = nullptr;
    return -1;
  }
  try {
    rec->encoder = std::thread(EncodeThread, rec);
  } catch (const std::system_error &) {
    LOGW("can't creat EncodeThread\n");
    rec->stop = true;
    rec->cond.notify_all();
    rec->reader.join();
    rec->ops->deinit(rec->codec);
    rec->codec = nullptr;
    return -1;
  }
  return 0;
}

void EncodeDeinit(RecData *rec) {
  if (!rec) return;
  {
    std::scoped_lock lock(rec->mutex);
    rec->stop = true;
  }
  rec->cond.notify_all();
  if (rec->reader.joinable()) rec->reader.join();
  if (rec->encoder.joinable()) rec->encoder.join();
  if (rec->codec) rec->ops->deinit(rec->codec);
  rec->codec = nullptr;
  if (rec->overrun_bytes > 0) LOGW("record lost %lld bytes: the block pool was full\n", static_cast<long long>(rec->overrun_bytes.load()));
}

void EncodeSetPause(RecData *rec, int flag) {
  if (!rec) return;
  {
    std::scoped_lock lock(rec->mutex);
    rec->pause = flag ? 1 : 0;
  }
  rec->cond.notify_all();
}

int EncodeGetStatus(RecData *rec) { return rec ? rec->pause.load() : 0; }

// ---- Noise suppression ----

SpeexPreprocessState_ *record_speex_init(int frame_size, int rate) {
  SpeexPreprocessState *st = speex_preprocess_state_init(frame_size, rate);
  if (!st) return nullptr;
  int on = 1;
  int level = -20;
  speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DENOISE, &on);
  speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &level);
  return st;
}

void record_speex_denoise(SpeexPreprocessState_ *state, int16_t *samples, int count, int frame_size) {
  if (!state || !samples || frame_size <= 0) return;
  for (int i = 0; i < count; i++) samples[i] = static_cast<int16_t>(samples[i] * 85 / 100);
  for (int i = 0; i + frame_size <= count; i += frame_size) speex_preprocess_run(state, samples + i);
}

void record_speex_destroy(SpeexPreprocessState_ *state) {
  if (state) speex_preprocess_state_destroy(state);
}
