// libFuzzer target of the audio decoder: open, decode, seek and decode again
// on any bytes, through a memory source record. The first byte picks the
// audio stream and the seek targets; the rest is the file.
#include "audio/ffaudio.h"
#include "core/runtime/log.h"

#include <cstdint>
#include <cstring>

namespace {

struct Memory {
  const uint8_t *data;
  size_t size;
  size_t pos;
};

Memory *Mem(AudioSource *s) { return static_cast<Memory *>(s->data); }

int MemRead(AudioSource *s, unsigned char *buf, int len) {
  Memory *m = Mem(s);
  if (!buf || len < 1) return 0;
  size_t n = m->size - m->pos < static_cast<size_t>(len) ? m->size - m->pos : static_cast<size_t>(len);
  std::memcpy(buf, m->data + m->pos, n);
  m->pos += n;
  return static_cast<int>(n);
}

int64_t MemSeek(AudioSource *s, int64_t offset, int whence) {
  Memory *m = Mem(s);
  whence &= ~kAvseekForce;
  int64_t base;
  switch (whence) {
    case kAvseekSize: return static_cast<int64_t>(m->size);
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(m->pos); break;
    case SEEK_END: base = static_cast<int64_t>(m->size); break;
    default: return -1;
  }
  if (offset > INT64_MAX - base) return -1;
  int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(m->size)) return -1;
  m->pos = static_cast<size_t>(to);
  return to;
}

// Bounded: a file that decodes forever is a finding, not a slow input.
constexpr int kMaxChunks = 50000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool quiet = [] {
    LogSetLevel(-1);
    return true;
  }();
  (void)quiet;
  if (size < 1) return 0;
  const uint8_t knob = data[0];
  Memory mem{data + 1, size - 1, 0};
  AudioSource src = {nullptr, nullptr, MemRead, nullptr, MemSeek, nullptr, -1, 0, 0, &mem};
  FfAudioCtx *ctx = FfAudioOpen(&src, 4096, -1, -1, -1, knob & 7);
  if (!ctx) return 0;
  int chunks = 0;
  for (int n = 0; n != -2 && chunks < kMaxChunks; chunks++) n = FfDecodeFrame(ctx);
  if (chunks >= kMaxChunks) __builtin_trap();
  for (int i = 0; i < 64 && FfDecodeFlush(ctx) > 0; i++) {
  }
  const int targets[] = {0, 250 * (knob >> 3), 60000, 1};
  for (int ms : targets) {
    FfAudioSeek(ctx, ms, 1000, ctx->seek_by_bytes);
    for (int i = 0, n = 0; i < 32 && n != -2; i++) n = FfDecodeFrame(ctx);
  }
  FfAudioClose(ctx);
  return 0;
}
