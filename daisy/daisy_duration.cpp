// Duration probe over libavformat: the container's duration, or the longest
// stream's when the container gives none. Replaced by the audio decoder's own
// probe (get_audio_total_ms) once that module is in the tree.
#include "daisy/daisy_duration.h"

#include "board/board.h"
#include "core/log.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <memory>
#include <string>

namespace {

constexpr char kLogSource[] = "daisy/daisy_duration.c";

struct InputClose {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};

}  // namespace

int daisy_audio_total_ms(const char *path) {
  if (!path || !*path) return -1;
  std::string real = BoardPath(path);
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, real.c_str(), nullptr, nullptr) < 0) {
    LOGW("open audio file error: %s\n", path);
    return -1;
  }
  std::unique_ptr<AVFormatContext, InputClose> ctx(raw);
  if (ctx->duration == AV_NOPTS_VALUE || ctx->duration <= 0) {
    if (avformat_find_stream_info(ctx.get(), nullptr) < 0) return -1;
  }
  int64_t us = ctx->duration;
  if (us == AV_NOPTS_VALUE || us <= 0) {
    us = -1;
    for (unsigned i = 0; i < ctx->nb_streams; i++) {
      const AVStream *s = ctx->streams[i];
      if (s->duration == AV_NOPTS_VALUE || s->duration <= 0) continue;
      int64_t d = av_rescale_q(s->duration, s->time_base, AVRational{1, AV_TIME_BASE});
      if (d > us) us = d;
    }
  }
  if (us <= 0) return -1;
  int64_t ms = us / 1000;
  return ms > 2147483647 ? 2147483647 : static_cast<int>(ms);
}
