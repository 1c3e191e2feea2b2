// The audio decoder: the plain-file source, the FFmpeg decoder context with
// its own sample-format conversion and down-mix, and the audio object with
// its decoder thread. See ffaudio.h for the threads and the lock.
#include "audio/ffaudio.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "speech/text_sound.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "audio/ffaudio.c";

constexpr int kIoSize = 32768;
// Packets read without the file position reaching new ground and without a
// frame coming out; past this the file is treated as ended (a demuxer that
// goes round in circles on a broken file).
constexpr int kMaxStalledPackets = 1000;
// Consecutive chunks that fail (no frame could be allocated) before the
// thread gives up instead of spinning.
constexpr int kMaxFailedChunks = 64;
// Chunks the drain at the end may produce; decoder delays are a few frames.
constexpr int kMaxDrainChunks = 256;
constexpr int kMaxRouteChannels = 64;
// Positions stay below 2^53 sample frames, so that milliseconds never overflow.
constexpr int64_t kMaxPositionFrames = int64_t{1} << 53;
constexpr int kBigFileStartMs = 1800000;
// An exact seek lands this much before its target: decoders such as MP3
// need the frames before a sample to give it right.
constexpr int kPrerollMs = 300;
constexpr int64_t kBigFileMs = 3600000;

int openAt(Audio *audio, const char *path, int start_ms, int stream, int eq_mode, int stop_ms);

const AudioDsp *g_defaultDsp = nullptr;  // set at start-up, before any AudioInit

// FFmpeg's messages go to our log as debug lines of the decoder; without
// the switch they are dropped (a broken file makes FFmpeg chatty).
void avLogToOurs(void *avcl, int level, const char *fmt, va_list vl) {
  if (level > AV_LOG_WARNING || !CfgDebugFfaudio) return;
  char line[512];
  int prefix = 1;
  av_log_format_line2(avcl, level, fmt, vl, line, sizeof line, &prefix);
  LOGD("ffmpeg: %s", line);
}

void registerFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(avLogToOurs); });
}

std::string avErrorText(int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return text;
}

// I/O callbacks of the AVIOContext: FFmpeg reads through the source record.
int ioRead(void *opaque, uint8_t *buf, int size) {
  AudioSource *src = static_cast<AudioSource *>(opaque);
  int n = src->read(src, buf, size);
  if (n == 0) return AVERROR_EOF;
  if (n < 0) return AVERROR(EIO);
  return n;
}

int64_t ioSeek(void *opaque, int64_t offset, int whence) {
  AudioSource *src = static_cast<AudioSource *>(opaque);
  return src->seek(src, offset, whence);
}

// ---- the plain-file source ----

int aopen(AudioSource *src, const char *path, int flags) {
  if (!src || !path) return -1;
  int fd = ::open(BoardPath(path).c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    LOGE("open  file %s return %d\n", path, fd);
    return fd;
  }
  src->fd = fd;
  src->size = 0;
  return 0;
}

int aclose(AudioSource *src) {
  if (src && src->fd >= 0) {
    ::close(src->fd);
    src->fd = -1;
  }
  return 0;
}

int aread(AudioSource *src, unsigned char *buf, int len) {
  if (!buf || len < 1) return 0;
  ssize_t n;
  do n = ::read(src->fd, buf, static_cast<size_t>(len));
  while (n < 0 && errno == EINTR);
  if (n < 0) LOGE("aread %d byte, return %d, af->fd=%d\n", len, static_cast<int>(n), src->fd);
  return static_cast<int>(n);
}

int64_t agetsize(AudioSource *src) {
  struct stat st;
  if (::fstat(src->fd, &st) != 0) return -1;
  return st.st_size;
}

int64_t aseek(AudioSource *src, int64_t offset, int whence) {
  whence &= ~kAvseekForce;
  if (whence == kAvseekSize) {
    if (src->size == 0) src->size = src->getsize ? src->getsize(src) : -1;
    return src->size;
  }
  int64_t r = ::lseek(src->fd, static_cast<off_t>(offset), whence);
  if (r < 0)
    LOGE("aseek %lld pos, whence=%d, return %lld\n", static_cast<long long>(offset), whence,
         static_cast<long long>(r));
  return r;
}

// ---- conversion ----

// Where each input channel goes: bit 0 left, bit 1 right (both for a centre
// channel, none for LFE and unknown ones).
struct Route {
  unsigned char to[kMaxRouteChannels];
  int channels;
};

int sideOf(enum AVChannel ch) {
  switch (ch) {
    case AV_CHAN_FRONT_LEFT: case AV_CHAN_BACK_LEFT: case AV_CHAN_FRONT_LEFT_OF_CENTER:
    case AV_CHAN_SIDE_LEFT: case AV_CHAN_TOP_FRONT_LEFT: case AV_CHAN_TOP_BACK_LEFT:
    case AV_CHAN_STEREO_LEFT: case AV_CHAN_WIDE_LEFT: case AV_CHAN_SURROUND_DIRECT_LEFT:
    case AV_CHAN_TOP_SIDE_LEFT: case AV_CHAN_BOTTOM_FRONT_LEFT:
      return 1;
    case AV_CHAN_FRONT_RIGHT: case AV_CHAN_BACK_RIGHT: case AV_CHAN_FRONT_RIGHT_OF_CENTER:
    case AV_CHAN_SIDE_RIGHT: case AV_CHAN_TOP_FRONT_RIGHT: case AV_CHAN_TOP_BACK_RIGHT:
    case AV_CHAN_STEREO_RIGHT: case AV_CHAN_WIDE_RIGHT: case AV_CHAN_SURROUND_DIRECT_RIGHT:
    case AV_CHAN_TOP_SIDE_RIGHT: case AV_CHAN_BOTTOM_FRONT_RIGHT:
      return 2;
    case AV_CHAN_FRONT_CENTER: case AV_CHAN_BACK_CENTER: case AV_CHAN_TOP_CENTER:
    case AV_CHAN_TOP_FRONT_CENTER: case AV_CHAN_TOP_BACK_CENTER: case AV_CHAN_BOTTOM_FRONT_CENTER:
      return 3;
    default:
      return 0;  // LFE, ambisonic, unknown
  }
}

// The down-mix to stereo: every channel of the left side plus the centre
// channels make the left output, and the same for the right, without
// attenuation (5.1: L = FL + FC + SL, R = FR + FC + SR); the low-frequency
// channel is dropped. A layout without named channels mixes by position:
// two to five channels take the first two, six and more take 0+2+4 / 1+2+5.
void makeRoute(const AVChannelLayout &layout, int channels, Route *route) {
  route->channels = channels < kMaxRouteChannels ? channels : kMaxRouteChannels;
  std::memset(route->to, 0, sizeof route->to);
  if (channels == 1) {
    route->to[0] = 3;
    return;
  }
  int sides = 0;
  if (layout.order != AV_CHANNEL_ORDER_UNSPEC && layout.nb_channels == channels) {
    for (int c = 0; c < route->channels; c++) {
      route->to[c] = static_cast<unsigned char>(sideOf(av_channel_layout_channel_from_index(&layout, c)));
      sides |= route->to[c];
    }
  }
  if (sides == 3) return;
  std::memset(route->to, 0, sizeof route->to);
  route->to[0] = 1;
  route->to[1] = 2;
  if (channels >= 6) {
    route->to[2] = 3;
    route->to[4] = 1;
    route->to[5] = 2;
  }
}

int16_t clampS16(int32_t v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

// Scaled float to 16 bits: truncated toward zero, clamped; NaN is silence.
template <typename F>
int16_t floatToS16(F x) {
  F v = x * F(32768);
  if (v >= F(32767)) return 32767;
  if (v <= F(-32768)) return -32768;
  if (v == v) return static_cast<int16_t>(v);
  return 0;
}

// One sample in the accumulator's domain: integers as 16-bit values, floats
// as they are (summed before scaling).
inline int32_t load(uint8_t x) { return (static_cast<int32_t>(x) - 128) * 256; }
inline int32_t load(int16_t x) { return x; }
inline int32_t load(int32_t x) { return x >> 16; }
inline int32_t load(int64_t x) { return static_cast<int32_t>(x >> 48); }
inline float load(float x) { return x; }
inline double load(double x) { return x; }
inline int16_t store(int32_t acc) { return clampS16(acc); }
inline int16_t store(float acc) { return floatToS16(acc); }
inline int16_t store(double acc) { return floatToS16(acc); }

template <typename T>
void mixFrame(const uint8_t *const *planes, bool planar, int channels, int n, const Route &r,
              int outCh, int16_t *out) {
  using Acc = decltype(load(T{}));
  auto sample = [&](int c, int i) -> Acc {
    const T *p = reinterpret_cast<const T *>(planar ? planes[c] : planes[0]);
    return load(planar ? p[i] : p[static_cast<size_t>(i) * channels + c]);
  };
  if (channels == 1) {
    for (int i = 0; i < n; i++) {
      int16_t v = store(sample(0, i));
      for (int o = 0; o < outCh; o++) *out++ = v;
    }
    return;
  }
  if (channels == 2 && r.to[0] == 1 && r.to[1] == 2 && outCh == 2) {
    for (int i = 0; i < n; i++) {
      *out++ = store(sample(0, i));
      *out++ = store(sample(1, i));
    }
    return;
  }
  for (int i = 0; i < n; i++) {
    Acc left = 0, right = 0;
    for (int c = 0; c < r.channels; c++) {
      if (!r.to[c]) continue;
      Acc v = sample(c, i);
      if (r.to[c] & 1) left += v;
      if (r.to[c] & 2) right += v;
    }
    if (outCh == 2) {
      *out++ = store(left);
      *out++ = store(right);
    } else {
      *out++ = store(static_cast<Acc>((left + right) / 2));
    }
  }
}

// ---- packets ----

// Reads packets until one of the current stream with data; the others are
// dropped.
// Returns 0, or FFmpeg's negative result (AVERROR_INVALIDDATA when the file
// stops making progress).
int readStreamPacket(FfAudioCtx *ctx, int64_t *furthest, int *stalls) {
  const int index = ctx->audio_streams[ctx->CurAudioStream];
  for (;;) {
    int r = av_read_frame(ctx->fmt_ctx, ctx->packet);
    if (r < 0) return r;
    int64_t pos = avio_tell(ctx->fmt_ctx->pb);
    if (pos > *furthest) {
      *furthest = pos;
      *stalls = 0;
    } else if (++*stalls > kMaxStalledPackets) {
      av_packet_unref(ctx->packet);
      LOGW("no progress after %d packets\n", kMaxStalledPackets);
      return AVERROR_INVALIDDATA;
    }
    // An empty packet would tell the decoder that the file has ended.
    if (ctx->packet->stream_index == index && ctx->packet->size > 0) {
      ctx->pts = ctx->packet->pts;
      ctx->dts = ctx->packet->dts;
      return 0;
    }
    av_packet_unref(ctx->packet);
  }
}

int64_t frameStart(const FfAudioCtx *ctx, const AVFrame *f);

// After any seek: the decoder still holds frames of the old position; drop
// them, the pending packet and what a stop held back, and leave the drained
// state so that decoding can go on after the end.
void resetAfterSeek(FfAudioCtx *ctx) {
  avcodec_flush_buffers(ctx->codec_ctx);
  ctx->draining = 0;
  ctx->drain_chunks = 0;
  av_packet_unref(ctx->packet);
  ctx->packet_pending = 0;
  ctx->io_furthest = avio_tell(ctx->fmt_ctx->pb);
  ctx->io_stalls = 0;
  ctx->skip_to = -1;
  ctx->carry_bytes = 0;
  ctx->carry_off = 0;
}

// Takes a frame the decoder already holds and converts it. Returns the
// bytes (> 0), 0 when it needs input, -2 at its end, -3 for a frame that
// gave nothing, other negatives for a decode error.
int receiveConverted(FfAudioCtx *ctx) {
  int r = avcodec_receive_frame(ctx->codec_ctx, ctx->frame);
  if (r == AVERROR(EAGAIN)) return 0;
  if (r == AVERROR_EOF) return -2;
  if (r < 0) {
    LOGE("Error decoding audio frame (%s)\n", avErrorText(r).c_str());
    return -4;
  }
  const AVFrame *f = ctx->frame;
  int64_t start = frameStart(ctx, f);
  if (start < 0) start = ctx->next_frame;
  int64_t drop = 0;
  if (ctx->skip_to >= 0) {
    if (start >= 0 && start + f->nb_samples <= ctx->skip_to) {
      // Wholly before the target of an exact seek: the decoder needed it
      // to settle, the listener does not hear it.
      ctx->next_frame = start + f->nb_samples;
      av_frame_unref(ctx->frame);
      return -3;
    }
    if (start >= 0 && start < ctx->skip_to) drop = ctx->skip_to - start;
    ctx->skip_to = -1;
  }
  const int samples = f->nb_samples;
  int n = FfAudioFmt(ctx, ctx->frame);
  av_frame_unref(ctx->frame);
  if (n > 0) {
    const int frameBytes = ctx->out_channels * 2;
    const int64_t dropBytes = std::min<int64_t>(drop * frameBytes, n);
    if (dropBytes > 0) {
      std::memmove(ctx->m_AudioBuf, reinterpret_cast<const char *>(ctx->m_AudioBuf) + dropBytes,
                   static_cast<size_t>(n - dropBytes));
      n -= static_cast<int>(dropBytes);
    }
    ctx->chunk_frame = start >= 0 ? start + drop : -1;
    ctx->next_frame = start >= 0 ? start + samples : -1;
    if (n > 0) return n;
    return -3;
  }
  if (CfgDebugFfaudio) LOGD("decode = %d\n", n);
  return -3;
}

// The output frame of a decoded frame's first sample, counted from the
// stream's start, or -1 without a timestamp.
int64_t frameStart(const FfAudioCtx *ctx, const AVFrame *f) {
  int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
  if (pts == AV_NOPTS_VALUE) return -1;
  const AVStream *st = ctx->fmt_ctx->streams[ctx->audio_streams[ctx->CurAudioStream]];
  const int64_t origin = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  double frames = static_cast<double>(pts - origin) * ctx->time_base * ctx->out_sample_rate;
  if (ctx->stamped_late) frames -= f->nb_samples;
  if (!(frames > 0)) return 0;
  return frames < kMaxPositionFrames ? std::llround(frames) : kMaxPositionFrames;
}

struct CtxCloser {
  void operator()(FfAudioCtx *ctx) const { FfAudioClose(ctx); }
};

// ---- the decoder thread ----

// Hands one chunk of n bytes (in m_AudioBuf) to the writer, cut at the
// stop position: what lies after it stays in the buffer as the carry, the
// thread pauses itself and the finish function says so. Returns true when
// the stop was reached.
bool handOut(Audio *audio, int n) {
  FfAudioCtx *ctx = audio->ff_ctx;
  if (audio->dsp.eq_play) audio->dsp.eq_play(ctx->m_AudioBuf, n);
  const int frameBytes = ctx->out_channels * 2;
  const int64_t stop = audio->stop_frame;
  int give = n;
  if (stop >= 0 && ctx->chunk_frame >= 0) {
    const int64_t room = stop - ctx->chunk_frame;  // frames before the stop
    if (room * frameBytes < n) give = static_cast<int>(std::max<int64_t>(room, 0) * frameBytes);
  }
  if (give > 0) audio->writer(audio, give);
  if (give == n) return false;
  ctx->carry_off = give;
  ctx->carry_bytes = n - give;
  ctx->chunk_frame += give / frameBytes;
  {
    std::scoped_lock lock(audio->mutex);
    if (audio->state == AUDIO_RUN) audio->state = AUDIO_PAUSE;
  }
  if (CfgDebugAudio) LOGD("%s: stop at frame %lld\n", audio->name.c_str(), static_cast<long long>(stop));
  if (audio->finish) audio->finish(audio);
  return true;
}

void audioThread(Audio *audio) {
  if (CfgDebugAudio) LOGD("%s: AudioThread start\n", audio->name.c_str());
  FfAudioCtx *ctx = audio->ff_ctx;
  int failed = 0;
  for (;;) {
    {
      std::unique_lock lock(audio->mutex);
      while (audio->state == AUDIO_PAUSE) {
        audio->parked = 1;
        audio->cond.notify_all();
        audio->cond.wait(lock);
      }
      audio->parked = 0;
      if (audio->state == AUDIO_STOP) break;
    }
    int n;
    if (ctx->carry_bytes > 0) {
      // What a stop held back: the clip that follows starts with it.
      n = ctx->carry_bytes;
      std::memmove(ctx->m_AudioBuf, reinterpret_cast<const char *>(ctx->m_AudioBuf) + ctx->carry_off,
                   static_cast<size_t>(n));
      ctx->carry_bytes = 0;
      ctx->carry_off = 0;
    } else {
      n = ctx->draining ? -2 : FfDecodeFrame(ctx);
      if (n == -2) {
        // The end of the file: the decoder's delay still comes out.
        n = ++ctx->drain_chunks <= kMaxDrainChunks ? FfDecodeFlush(ctx) : 0;
        if (CfgDebugAudio) LOGD("FfDecodeFlush return %d byte\n", n);
        if (n <= 0) {
          if (ctx->frame) av_frame_unref(ctx->frame);
          break;
        }
      }
    }
    if (n > 0) {
      failed = 0;
      handOut(audio, n);
      continue;
    }
    if (++failed > kMaxFailedChunks) {
      LOGE("%s: decoding keeps failing (%d), giving up\n", audio->name.c_str(), n);
      break;
    }
    audio->writer(audio, n);
  }
  {
    std::scoped_lock lock(audio->mutex);
    audio->ended = 1;
    audio->parked = 0;
  }
  audio->cond.notify_all();
  if (audio->finish) audio->finish(audio);
  if (CfgDebugAudio) LOGD("%s: AudioThread stop\n", audio->name.c_str());
}

int framesToMs(int64_t frames, int rate) {
  double ms = static_cast<double>(frames) * 1000.0 / rate;
  return ms < INT32_MAX ? static_cast<int>(ms) : INT32_MAX;
}

bool onDecoderThread(const Audio *audio) {
  return audio->thread.joinable() && audio->thread.get_id() == std::this_thread::get_id();
}

// Asks the thread to pause and waits until it sits between chunks or has
// ended. From the thread itself (a writer or finish function) it cannot wait.
void pauseAndPark(Audio *audio) {
  std::unique_lock lock(audio->mutex);
  if (audio->state == AUDIO_RUN) audio->state = AUDIO_PAUSE;
  if (onDecoderThread(audio)) return;
  while (audio->state == AUDIO_PAUSE && !audio->parked && !audio->ended) audio->cond.wait(lock);
}

void closeDecoder(Audio *audio) {
  if (audio->dsp.eq_deinit) audio->dsp.eq_deinit();
  FfAudioClose(audio->ff_ctx);
  audio->ff_ctx = nullptr;
  audio->src.close(&audio->src);
}

}  // namespace

const AudioSource gfile = {aopen, aclose, aread, nullptr, aseek, agetsize, -1, 0, 0, nullptr};

// ---- decoder context ----

FfAudioCtx *FfAudioOpen(AudioSource *source, int io_size, int64_t out_layout, int out_fmt,
                        int out_rate, int stream, int *why) {
  int unused = 0;
  if (!why) why = &unused;
  *why = AUDIO_OPEN_DAMAGED;
  if (!source || !source->read || io_size < 1) return nullptr;
  registerFfmpeg();
  std::unique_ptr<FfAudioCtx, CtxCloser> ctx(new (std::nothrow) FfAudioCtx);
  if (!ctx) {
    LOGE("not enough memory\n");
    return nullptr;
  }
  ctx->source = source;
  auto *buffer = static_cast<unsigned char *>(av_malloc(static_cast<size_t>(io_size)));
  if (!buffer) {
    LOGE("not enough memory\n");
    return nullptr;
  }
  ctx->io_ctx = avio_alloc_context(buffer, io_size, 0, source, ioRead, nullptr,
                                   source->seek ? ioSeek : nullptr);
  if (!ctx->io_ctx) {
    av_free(buffer);
    LOGE("avio alloc failed!\n");
    return nullptr;
  }
  ctx->fmt_ctx = avformat_alloc_context();
  if (!ctx->fmt_ctx) {
    LOGE("avformat open failed.\n");
    return nullptr;
  }
  ctx->fmt_ctx->pb = ctx->io_ctx;
  ctx->fmt_ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  // On failure avformat_open_input frees the format context (not our I/O).
  if (avformat_open_input(&ctx->fmt_ctx, "", nullptr, nullptr) < 0) {
    LOGE("avformat open failed.\n");
    return nullptr;
  }
  LOGW("open stream success!\n");
  if (avformat_find_stream_info(ctx->fmt_ctx, nullptr) < 0) {
    LOGE("could not fine stream.\n");
    return nullptr;
  }
  const AVInputFormat *ifmt = ctx->fmt_ctx->iformat;
  ctx->seek_by_bytes = (ifmt->flags & AVFMT_TS_DISCONT) && std::strcmp(ifmt->name, "ogg") != 0;
  if (CfgDebugFfaudio) LOGD("seek_by_bytes = %d\n", ctx->seek_by_bytes);

  for (unsigned i = 0; i < ctx->fmt_ctx->nb_streams && ctx->TotalAudioStreams < 8; i++) {
    const AVStream *st = ctx->fmt_ctx->streams[i];
    if (CfgDebugFfaudio) LOGD("stream[%u]: type: %d\n", i, st->codecpar->codec_type);
    if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
      ctx->audio_streams[ctx->TotalAudioStreams++] = static_cast<int>(i);
  }
  if (ctx->TotalAudioStreams == 0) {
    LOGE("no audio stream\n");
    *why = AUDIO_OPEN_UNSUPPORTED;
    return nullptr;
  }
  ctx->CurAudioStream = stream >= 0 && stream < ctx->TotalAudioStreams ? stream : 0;
  if (CfgDebugFfaudio) LOGD("cur sream: %d\n", ctx->CurAudioStream);
  const int index = ctx->audio_streams[ctx->CurAudioStream];
  AVStream *st = ctx->fmt_ctx->streams[index];
  for (unsigned i = 0; i < ctx->fmt_ctx->nb_streams; i++)
    ctx->fmt_ctx->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

  const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) {
    LOGE("could not find audio decoder!\n");
    *why = AUDIO_OPEN_UNSUPPORTED;
    return nullptr;
  }
  ctx->codec_ctx = avcodec_alloc_context3(codec);
  if (!ctx->codec_ctx || avcodec_parameters_to_context(ctx->codec_ctx, st->codecpar) < 0) {
    LOGE("could not open audio codec!\n");
    return nullptr;
  }
  ctx->codec_ctx->pkt_timebase = st->time_base;
  ctx->stamped_late = codec->id == AV_CODEC_ID_WMAV1 || codec->id == AV_CODEC_ID_WMAV2;
  if (avcodec_open2(ctx->codec_ctx, codec, nullptr) < 0) {
    LOGE("could not open audio codec!\n");
    return nullptr;
  }

  const AVCodecContext *cc = ctx->codec_ctx;
  int channels;
  if (out_layout >= 0) {
    channels = __builtin_popcountll(static_cast<uint64_t>(out_layout));
  } else {
    channels = cc->ch_layout.nb_channels;
    if (channels <= 0)
      LOGE("pAudioCodecCtx->channels = %d and pAudioCodecCtx->channel_layout =%lld\n", channels,
           static_cast<long long>(cc->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? cc->ch_layout.u.mask : 0));
  }
  ctx->out_channels = channels <= 1 ? 1 : 2;
  ctx->out_ch_layout = ctx->out_channels == 1 ? AV_CH_LAYOUT_MONO : AV_CH_LAYOUT_STEREO;
  // The output is always s16: a format other than the decoder's own cannot be
  // honoured without a converter from it, so it is only logged.
  if (out_fmt >= 0 && out_fmt != cc->sample_fmt)
    LOGW("output format %d ignored, decoding %d\n", out_fmt, static_cast<int>(cc->sample_fmt));
  ctx->out_sample_fmt = cc->sample_fmt;
  ctx->out_sample_rate = out_rate >= 0 ? out_rate : cc->sample_rate;
  if (ctx->out_sample_rate <= 0) {
    LOGE("no sample rate\n");
    return nullptr;
  }
  // A broken header can give a negative duration: that is none.
  const int64_t d = ctx->fmt_ctx->duration;
  ctx->duration = d == AV_NOPTS_VALUE || d < 0 ? kNoDuration : d;
  ctx->time_base = av_q2d(st->time_base);

  const AVSampleFormat fmt = cc->sample_fmt;
  ctx->m_bPlanar = av_sample_fmt_is_planar(fmt);
  switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: ctx->m_BytesPerSample = 1; break;
    case AV_SAMPLE_FMT_S32: case AV_SAMPLE_FMT_FLT: ctx->m_BytesPerSample = 4; break;
    case AV_SAMPLE_FMT_DBL: case AV_SAMPLE_FMT_S64: ctx->m_BytesPerSample = 8; break;
    default: ctx->m_BytesPerSample = 2; break;
  }
  if (CfgDebugFfaudio)
    LOGD("----ff_ctx->m_bPlanar = %d, ff_ctx->m_BytesPerSample = %d\n", ctx->m_bPlanar, ctx->m_BytesPerSample);

  ctx->packet = av_packet_alloc();
  if (!ctx->packet) {
    LOGE("not enough memory\n");
    return nullptr;
  }
  ctx->io_furthest = avio_tell(ctx->fmt_ctx->pb);
  return ctx.release();
}

void FfAudioClose(FfAudioCtx *ctx) {
  if (!ctx) return;
  av_packet_free(&ctx->packet);
  av_frame_free(&ctx->frame);
  avcodec_free_context(&ctx->codec_ctx);
  avformat_close_input(&ctx->fmt_ctx);
  // With custom I/O the context and its buffer (which FFmpeg may have
  // replaced) are ours.
  if (ctx->io_ctx) {
    av_freep(&ctx->io_ctx->buffer);
    avio_context_free(&ctx->io_ctx);
  }
  delete[] ctx->m_AudioBuf;
  delete ctx;
}

int FfAudioFmt(FfAudioCtx *ctx, const AVFrame *frame) {
  if (!ctx || !frame || !frame->extended_data) return -1;
  const int channels = frame->ch_layout.nb_channels;
  const int n = frame->nb_samples;
  const auto fmt = static_cast<AVSampleFormat>(frame->format);
  if (channels < 1 || n < 1 || fmt <= AV_SAMPLE_FMT_NONE || fmt >= AV_SAMPLE_FMT_NB) return -1;
  int plane = 0;
  int total = av_samples_get_buffer_size(&plane, channels, n, fmt, 1);
  if (total <= 0 || plane <= 0 || plane > total || frame->linesize[0] < plane) return -1;
  const bool planar = av_sample_fmt_is_planar(fmt);
  for (int p = 0; p < (planar ? channels : 1); p++)
    if (!frame->extended_data[p]) return -1;

  const int outCh = ctx->out_channels == 1 ? 1 : 2;
  const int64_t need64 = static_cast<int64_t>(n) * outCh * 2;
  if (need64 > INT32_MAX / 2) return -1;
  const int need = static_cast<int>(need64);
  if (need > ctx->m_AudioBufSize) {
    auto *grown = new (std::nothrow) int16_t[static_cast<size_t>(need) / 2];
    if (!grown) return -1;
    delete[] ctx->m_AudioBuf;
    ctx->m_AudioBuf = grown;
    ctx->m_AudioBufSize = need;
    if (CfgDebugFfaudio) LOGD("enlarge m_AudioBufSize to %d\n", need);
  }
  Route route;
  makeRoute(frame->ch_layout, channels, &route);
  const uint8_t *const *planes = frame->extended_data;
  int16_t *out = ctx->m_AudioBuf;
  switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: mixFrame<uint8_t>(planes, planar, channels, n, route, outCh, out); break;
    case AV_SAMPLE_FMT_S16: mixFrame<int16_t>(planes, planar, channels, n, route, outCh, out); break;
    case AV_SAMPLE_FMT_S32: mixFrame<int32_t>(planes, planar, channels, n, route, outCh, out); break;
    case AV_SAMPLE_FMT_S64: mixFrame<int64_t>(planes, planar, channels, n, route, outCh, out); break;
    case AV_SAMPLE_FMT_FLT: mixFrame<float>(planes, planar, channels, n, route, outCh, out); break;
    case AV_SAMPLE_FMT_DBL: mixFrame<double>(planes, planar, channels, n, route, outCh, out); break;
    default: return -1;
  }
  return need;
}

int FfDecodeFrame(FfAudioCtx *ctx) {
  if (!ctx || !ctx->codec_ctx) return -2;
  if (!ctx->frame && !(ctx->frame = av_frame_alloc())) {
    std::printf("Could not allocate frame");
    return -1;
  }
  if (ctx->draining) return -2;
  for (;;) {
    int got = receiveConverted(ctx);
    if (got > 0) {
      ctx->io_stalls = 0;
      return got;
    }
    if (got == -2) return -2;
    if (got == -4 && ctx->packet_pending) {
      // The decoder refused its output; the packet that caused it goes too.
      av_packet_unref(ctx->packet);
      ctx->packet_pending = 0;
    }
    if (!ctx->packet_pending) {
      if (readStreamPacket(ctx, &ctx->io_furthest, &ctx->io_stalls) < 0) {
        LOGW("FfDecodeFrame: audio file end!!!!!\n");
        return -2;
      }
      ctx->packet_pending = 1;
    }
    int r = avcodec_send_packet(ctx->codec_ctx, ctx->packet);
    if (r == AVERROR(EAGAIN)) {
      // The decoder is full: take its output first (receive above), keep the
      // packet. It has just said it needs input, so this cannot repeat.
      if (got == 0) {
        av_packet_unref(ctx->packet);
        ctx->packet_pending = 0;
      }
      continue;
    }
    if (r < 0) LOGE("Error decoding audio frame (%s)\n", avErrorText(r).c_str());
    av_packet_unref(ctx->packet);
    ctx->packet_pending = 0;
    if (r < 0 && ++ctx->io_stalls > kMaxStalledPackets) {
      LOGW("FfDecodeFrame: audio file end!!!!!\n");
      return -2;
    }
  }
}

int FfDecodeFlush(FfAudioCtx *ctx) {
  if (!ctx || !ctx->codec_ctx) return -1;
  if (!ctx->frame && !(ctx->frame = av_frame_alloc())) {
    std::printf("Could not allocate frame");
    return -1;
  }
  if (!ctx->draining) {
    av_packet_unref(ctx->packet);
    ctx->packet_pending = 0;
    int r = avcodec_send_packet(ctx->codec_ctx, nullptr);
    ctx->draining = 1;
    if (r < 0 && r != AVERROR_EOF) {
      LOGE("Error decoding audio frame (%s)\n", avErrorText(r).c_str());
      return -1;
    }
  }
  for (int i = 0; i < kMaxDrainChunks; i++) {
    int got = receiveConverted(ctx);
    if (got > 0) return got;
    if (got == 0 || got == -2) return 0;
    if (got == -4) return -1;
  }
  return 0;
}

int64_t FfAudioSeek(FfAudioCtx *ctx, int ms, int range_ms, int flags) {
  if (!ctx || !ctx->fmt_ctx) return -1;
  const int64_t target = static_cast<int64_t>(ms) * 1000;
  const int64_t range = static_cast<int64_t>(range_ms) * 1000;
  int r = avformat_seek_file(ctx->fmt_ctx, -1, target - range, target, target + range, flags);
  if (CfgDebugFfaudio) LOGD("avformat_seek_file return: %d\n", r);
  if (r < 0) return r;
  resetAfterSeek(ctx);
  if (readStreamPacket(ctx, &ctx->io_furthest, &ctx->io_stalls) < 0) {
    LOGW("FfAudioSeek: audio file end!!!!!\n");
    return -2;
  }
  ctx->packet_pending = 1;
  if (ctx->packet->pts == AV_NOPTS_VALUE) return -1;
  // Computed in double and bounded: a broken file's timestamp must not
  // overflow. Before the start (codec priming) is the start.
  double frames = static_cast<double>(ctx->packet->pts) * ctx->time_base * ctx->out_sample_rate;
  int64_t position = 0;
  if (frames > 0) position = frames < kMaxPositionFrames ? static_cast<int64_t>(frames) : kMaxPositionFrames;
  ctx->next_frame = position;
  return position;
}

int64_t FfAudioSeekExact(FfAudioCtx *ctx, int64_t frame) {
  if (!ctx || !ctx->fmt_ctx || frame < 0) return -1;
  const int rate = ctx->out_sample_rate;
  const int64_t from = std::max<int64_t>(frame - static_cast<int64_t>(rate) * kPrerollMs / 1000, 0);
  const AVStream *st = ctx->fmt_ctx->streams[ctx->audio_streams[ctx->CurAudioStream]];
  int64_t origin = 0;
  if (st->start_time != AV_NOPTS_VALUE) origin = av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
  // At or before `from`, never after: what is missing up to the target is
  // decoded and dropped.
  const int64_t ts = origin + av_rescale(from, AV_TIME_BASE, rate);
  int r = from == 0 ? -1 : avformat_seek_file(ctx->fmt_ctx, -1, INT64_MIN, ts, ts, 0);
  if (r < 0) r = avformat_seek_file(ctx->fmt_ctx, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
  if (r < 0) r = av_seek_frame(ctx->fmt_ctx, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
  if (CfgDebugFfaudio) LOGD("exact seek to frame %lld from %lld: %d\n", static_cast<long long>(frame),
                            static_cast<long long>(from), r);
  if (r < 0) return r;
  resetAfterSeek(ctx);
  ctx->next_frame = -1;
  ctx->chunk_frame = -1;
  ctx->skip_to = frame;
  return frame;
}

// ---- the audio object ----

void AudioSetDsp(const AudioDsp *dsp) { g_defaultDsp = dsp; }

Audio *AudioInit(const char *name, const AudioSource *source_template, AudioWriter writer,
                 AudioFormatFn format, AudioFinishFn finish) {
  if (!name || !source_template || !writer || !format || !finish) return nullptr;
  registerFfmpeg();
  Audio *audio = new (std::nothrow) Audio;
  if (!audio) return nullptr;
  audio->name = name;
  audio->src = *source_template;
  audio->src.fd = -1;
  audio->writer = writer;
  audio->format = format;
  audio->finish = finish;
  if (g_defaultDsp) audio->dsp = *g_defaultDsp;
  return audio;
}

void AudioDeInit(Audio *audio) {
  if (!audio) return;
  AudioClose(audio);
  delete audio;
}

int AudioOpen(Audio *audio, const char *path, int start_ms, int stream, int eq_mode) {
  return openAt(audio, path, start_ms, stream, eq_mode, -2);
}

int AudioOpenClip(Audio *audio, const char *path, int start_ms, int stop_ms) {
  if (!audio) return -1;
  audio->exact = 1;
  return openAt(audio, path, start_ms, 0, 0, stop_ms);
}

namespace {

// AudioOpen with a stop position in ms (-1 none, -2 leave stop_frame as it is).
int openAt(Audio *audio, const char *path, int start_ms, int stream, int eq_mode, int stop_ms) {
  if (!audio || !path || audio->open) return -1;
  audio->open_error = AUDIO_OPEN_DAMAGED;
  if (audio->src.open(&audio->src, path, 0) < 0) {
    LOGW("open audio file error\n");
    return -1;
  }
  audio->state = AUDIO_RUN;
  audio->pcm_fill = 0;
  audio->ended = 0;
  audio->parked = 0;
  audio->pos_frames = 0;
  audio->pos_ms = 0;
  audio->ff_ctx = FfAudioOpen(&audio->src, kIoSize, -1, -1, -1, stream, &audio->open_error);
  if (!audio->ff_ctx) {
    audio->src.close(&audio->src);
    return -1;
  }
  FfAudioCtx *ctx = audio->ff_ctx;
  if (audio->format(audio, ctx->out_sample_rate, ctx->out_channels) < 0) {
    closeDecoder(audio);
    return -1;
  }
  if (audio->dsp.speed_set_channels) audio->dsp.speed_set_channels(kTempoMusic, ctx->out_channels);
  if (audio->dsp.speed_set_rate) audio->dsp.speed_set_rate(kTempoMusic, ctx->out_sample_rate);
  if (audio->dsp.eq_init) audio->dsp.eq_init(ctx->out_sample_rate, ctx->out_channels, eq_mode);

  if (stop_ms >= -1) audio->stop_frame = stop_ms < 0 ? -1 : AudioMsToFrame(stop_ms, ctx->out_sample_rate);
  if (start_ms > 0) {
    // Heard before the music starts: the thread does not run yet. A clip
    // (AudioOpenClip, a talking book's) opens without it.
    if (stop_ms == -2 && start_ms >= kBigFileStartMs && ctx->duration != kNoDuration &&
        ctx->duration / 1000 >= kBigFileMs)
      wait_text_sound_end(
          text_sound_insert(MLanguageSetting == 0 ? "正在打开大文件，需要等待较长时间" : "Opening, please wait ..."));
    if (audio->exact && !ctx->seek_by_bytes) {
      int64_t frame = AudioMsToFrame(start_ms, ctx->out_sample_rate);
      if (FfAudioSeekExact(ctx, frame) >= 0) {
        audio->pos_frames = frame;
        audio->pos_ms = framesToMs(frame, ctx->out_sample_rate);
      }
    } else {
      AudioSeek(audio, start_ms, 10000, ctx->seek_by_bytes);
    }
  }
  try {
    // Held while the thread object is stored: the thread's first step takes
    // the mutex, so it sees audio->thread complete (onDecoderThread).
    // The same holds for `open`, which a writer's AudioPause reads.
    std::scoped_lock lock(audio->mutex);
    audio->open = 1;
    audio->thread = std::thread(audioThread, audio);
  } catch (const std::system_error &) {
    LOGE("audio can't creat thread\n");
    audio->open = 0;
    closeDecoder(audio);
    return -1;
  }
  return 0;
}

}  // namespace

int AudioClose(Audio *audio) {
  if (!audio || !audio->open) return 0;
  if (onDecoderThread(audio)) {
    LOGE("%s: AudioClose from its own thread\n", audio->name.c_str());
    return -1;
  }
  {
    std::scoped_lock lock(audio->mutex);
    audio->state = AUDIO_STOP;
  }
  audio->cond.notify_all();
  audio->thread.join();
  closeDecoder(audio);
  audio->open = 0;
  return 0;
}

void AudioPause(Audio *audio) {
  if (!audio || !audio->open) return;
  pauseAndPark(audio);
}

void AudioCont(Audio *audio) {
  if (!audio || !audio->open) return;
  {
    std::scoped_lock lock(audio->mutex);
    if (audio->state == AUDIO_PAUSE) audio->state = AUDIO_RUN;
  }
  audio->cond.notify_all();
}

int AudioStatus(Audio *audio) {
  if (!audio) return AUDIO_STOP;
  if (audio->ended) return AUDIO_STOP;
  return audio->state;
}

int64_t AudioSeek(Audio *audio, int ms, int range_ms, int flags) {
  if (!audio || !audio->ff_ctx) return audio ? audio->pos_frames : 0;
  if (CfgDebugAudio) LOGD("Enter AudioSeek, ms =%d, rel=%d, flag=%d\n", ms, range_ms, flags);
  if (audio->exact && !audio->ff_ctx->seek_by_bytes) {
    const int64_t r = AudioSeekExact(audio, AudioMsToFrame(std::max(ms, 0), audio->ff_ctx->out_sample_rate),
                                     audio->stop_frame, 1);
    if (r >= 0) return r;
    // A seek always resumes, also one that failed; the position is read
    // while the thread is still parked.
    const int64_t old = audio->pos_frames;
    AudioCont(audio);
    return old;
  }
  const bool running = audio->open && !onDecoderThread(audio);
  if (running) pauseAndPark(audio);
  int64_t r = FfAudioSeek(audio->ff_ctx, ms, range_ms, flags);
  if (r >= 0) {
    audio->pos_frames = r;
    audio->pos_ms = framesToMs(r, audio->ff_ctx->out_sample_rate);
  }
  if (CfgDebugAudio)
    LOGD("FfAudioSeek %dms return %lld[%dms]\n", ms, static_cast<long long>(r), audio->pos_ms.load());
  // Read before the thread resumes: from then on its writer moves it.
  const int64_t position = audio->pos_frames;
  if (running) {
    {
      std::scoped_lock lock(audio->mutex);
      if (audio->state == AUDIO_PAUSE) audio->state = AUDIO_RUN;
    }
    audio->cond.notify_all();
  }
  return position;
}

void AudioAdvance(Audio *audio, int64_t frames) {
  if (!audio || !audio->ff_ctx || frames <= 0) return;
  audio->pos_frames = std::min(audio->pos_frames + frames, kMaxPositionFrames);
  audio->pos_ms = framesToMs(audio->pos_frames, audio->ff_ctx->out_sample_rate);
}

int get_audio_total_ms(const char *path) {
  if (!path) return -1;
  registerFfmpeg();
  AudioSource src = gfile;
  if (src.open(&src, path, 0) < 0) {
    LOGW("open audio file error\n");
    return -1;
  }
  FfAudioCtx *ctx = FfAudioOpen(&src, kIoSize, -1, -1, -1, 0);
  int ms = -1;
  if (ctx && ctx->duration != kNoDuration) ms = static_cast<int>(std::min<int64_t>(ctx->duration / 1000, INT32_MAX));
  FfAudioClose(ctx);
  src.close(&src);
  return ms;
}

int64_t AudioMsToFrame(int64_t ms, int rate) {
  if (ms <= 0 || rate <= 0) return 0;
  return (ms * rate + 500) / 1000;
}

int64_t AudioSeekExact(Audio *audio, int64_t frame, int64_t stop_frame, int resume) {
  if (!audio || !audio->ff_ctx || frame < 0) return -1;
  const bool running = audio->open && !onDecoderThread(audio);
  if (running) pauseAndPark(audio);
  int64_t r = FfAudioSeekExact(audio->ff_ctx, frame);
  if (r >= 0) {
    audio->pos_frames = r;
    audio->pos_ms = framesToMs(r, audio->ff_ctx->out_sample_rate);
    audio->stop_frame = stop_frame;
  }
  if (CfgDebugAudio) LOGD("%s: exact seek to frame %lld: %lld\n", audio->name.c_str(), static_cast<long long>(frame),
                          static_cast<long long>(r));
  if (running && r >= 0 && resume) {
    {
      std::scoped_lock lock(audio->mutex);
      if (audio->state == AUDIO_PAUSE) audio->state = AUDIO_RUN;
    }
    audio->cond.notify_all();
  }
  return r >= 0 ? r : -1;
}

void AudioContTo(Audio *audio, int64_t stop_frame) {
  if (!audio || !audio->open) return;
  pauseAndPark(audio);
  audio->stop_frame = stop_frame;
  AudioCont(audio);
}

int64_t AudioNextFrame(Audio *audio) {
  if (!audio || !audio->open || !audio->ff_ctx) return -1;
  const FfAudioCtx *ctx = audio->ff_ctx;
  // After a stop the carry's first sample is next; else what follows the
  // last chunk.
  if (ctx->carry_bytes > 0) return ctx->chunk_frame;
  if (ctx->skip_to >= 0) return ctx->skip_to;
  return ctx->next_frame;
}
