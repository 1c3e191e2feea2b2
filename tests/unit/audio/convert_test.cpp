// The decoder's own sample-format conversion and down-mix, on frames built
// here (no files, no command line: these run under qemu as well).
#include "audio/ffaudio.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct FrameDeleter {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct CtxDeleter {
  void operator()(FfAudioCtx *c) const { FfAudioClose(c); }
};
using CtxPtr = std::unique_ptr<FfAudioCtx, CtxDeleter>;

// Layouts by name; "unspec6" / "unspec3" have no named channels.
AVChannelLayout Layout(const std::string &name, int channels) {
  AVChannelLayout l{};
  if (name.rfind("unspec", 0) == 0) {
    l.order = AV_CHANNEL_ORDER_UNSPEC;
    l.nb_channels = channels;
  } else {
    av_channel_layout_from_string(&l, name.c_str());
  }
  return l;
}

template <typename T>
void Put(AVFrame *f, int c, int i, int channels, bool planar, double v) {
  T *p = reinterpret_cast<T *>(f->extended_data[planar ? c : 0]);
  p[planar ? i : i * channels + c] = static_cast<T>(v);
}

// A frame of format fmt whose channel c holds samples[c] (raw values of the
// format: 0..255 for u8, full-scale integers, floats as they are).
FramePtr MakeFrame(AVSampleFormat fmt, const std::string &layout, const std::vector<std::vector<double>> &samples) {
  FramePtr f(av_frame_alloc());
  const int channels = static_cast<int>(samples.size());
  f->format = fmt;
  f->nb_samples = static_cast<int>(samples[0].size());
  f->ch_layout = Layout(layout, channels);
  EXPECT_EQ(f->ch_layout.nb_channels, channels) << layout;
  EXPECT_EQ(av_frame_get_buffer(f.get(), 0), 0);
  const bool planar = av_sample_fmt_is_planar(fmt);
  for (int c = 0; c < channels; c++)
    for (int i = 0; i < f->nb_samples; i++) {
      double v = samples[c][i];
      switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_U8: Put<uint8_t>(f.get(), c, i, channels, planar, v); break;
        case AV_SAMPLE_FMT_S16: Put<int16_t>(f.get(), c, i, channels, planar, v); break;
        case AV_SAMPLE_FMT_S32: Put<int32_t>(f.get(), c, i, channels, planar, v); break;
        case AV_SAMPLE_FMT_S64: Put<int64_t>(f.get(), c, i, channels, planar, v); break;
        case AV_SAMPLE_FMT_FLT: Put<float>(f.get(), c, i, channels, planar, v); break;
        default: Put<double>(f.get(), c, i, channels, planar, v); break;
      }
    }
  return f;
}

std::vector<int16_t> Convert(const AVFrame *f, int outChannels, int *rc = nullptr) {
  CtxPtr ctx(new FfAudioCtx);
  ctx->out_channels = outChannels;
  int n = FfAudioFmt(ctx.get(), f);
  if (rc) *rc = n;
  if (n <= 0) return {};
  return std::vector<int16_t>(ctx->m_AudioBuf, ctx->m_AudioBuf + n / 2);
}

struct Case {
  const char *what;
  AVSampleFormat fmt;
  const char *layout;
  std::vector<std::vector<double>> in;  // per channel
  int outChannels;
  std::vector<int16_t> out;  // interleaved
};

const double F1 = 0.25, F2 = 0.5;  // float test levels: 8192 and 16384

std::vector<Case> Cases() {
  return {
      // Sample formats, one channel.
      {"u8 centre and ends", AV_SAMPLE_FMT_U8, "mono", {{0, 128, 255, 129}}, 1, {-32768, 0, 32512, 256}},
      {"s16 unchanged", AV_SAMPLE_FMT_S16, "mono", {{-32768, -1, 0, 32767}}, 1, {-32768, -1, 0, 32767}},
      {"s32 upper half", AV_SAMPLE_FMT_S32, "mono", {{0x12345678, -1, -0x7fffffff - 1.0, 0xffff}}, 1,
       {0x1234, -1, -32768, 0}},
      {"s64 upper quarter", AV_SAMPLE_FMT_S64, "mono", {{0x1234p48, -0x1p62}}, 1,
       {0x1234, -16384}},
      {"float scaled, truncated, clamped", AV_SAMPLE_FMT_FLT, "mono",
       {{0.5, -0.5, 1.0, -1.0, 0.99999, -0.00004, 2.5, -3.0}}, 1,
       {16384, -16384, 32767, -32768, 32767, -1, 32767, -32768}},
      {"float NaN is silence, infinities clamp", AV_SAMPLE_FMT_FLT, "mono", {{kNan, kInf, -kInf}}, 1,
       {0, 32767, -32768}},
      {"double like float", AV_SAMPLE_FMT_DBL, "mono", {{0.5, -0.75, 1.5, kNan}}, 1, {16384, -24576, 32767, 0}},
      // Planar and packed stereo.
      {"s16 packed stereo", AV_SAMPLE_FMT_S16, "stereo", {{1, 2, 3}, {-1, -2, -3}}, 2, {1, -1, 2, -2, 3, -3}},
      {"s16 planar stereo interleaves", AV_SAMPLE_FMT_S16P, "stereo", {{1, 2}, {-1, -2}}, 2, {1, -1, 2, -2}},
      {"float planar stereo", AV_SAMPLE_FMT_FLTP, "stereo", {{F1, F2}, {-F1, -F2}}, 2, {8192, -8192, 16384, -16384}},
      {"u8 planar stereo", AV_SAMPLE_FMT_U8P, "stereo", {{0, 255}, {128, 64}}, 2, {-32768, 0, 32512, -16384}},
      {"s32 planar stereo", AV_SAMPLE_FMT_S32P, "stereo", {{0x10000, 0x7fffffff}, {-0x10000, 0}}, 2,
       {1, -1, 32767, 0}},
      // Channel counts to the output.
      {"mono to stereo duplicates", AV_SAMPLE_FMT_S16, "mono", {{5, -7}}, 2, {5, 5, -7, -7}},
      {"stereo to mono averages", AV_SAMPLE_FMT_S16, "stereo", {{100, 30000}, {300, 30000}}, 1, {200, 30000}},
      // Surround: the side or back channels and the centre join the fronts,
      // LFE is dropped, the sum clamps (integers as well as floats).
      {"5.1 float planar", AV_SAMPLE_FMT_FLTP, "5.1(side)",
       {{0.1, 0.5}, {0.2, -0.5}, {0.05, 0.4}, {0.9, 0.9}, {0.01, 0.3}, {0.02, -0.3}}, 2,
       {static_cast<int16_t>((0.1f + 0.05f + 0.01f) * 32768), static_cast<int16_t>((0.2f + 0.05f + 0.02f) * 32768),
        32767, -13107}},
      {"5.1 back channels", AV_SAMPLE_FMT_S16P, "5.1", {{100}, {200}, {10}, {9999}, {1}, {2}}, 2, {111, 212}},
      {"5.1 s16 packed clamps", AV_SAMPLE_FMT_S16, "5.1(side)",
       {{30000, -30000}, {1, -30000}, {30000, -30000}, {0, 0}, {30000, -30000}, {1, 1}}, 2,
       {32767, 30002, -32768, -32768}},
      {"7.1 sums every left channel", AV_SAMPLE_FMT_S16, "7.1", {{1}, {2}, {10}, {5000}, {100}, {200}, {1000}, {2000}}, 2,
       {1111, 2212}},
      {"quad", AV_SAMPLE_FMT_FLTP, "quad", {{F1}, {0}, {F1}, {-F1}}, 2, {16384, -8192}},
      {"3.0 centre to both", AV_SAMPLE_FMT_S16, "3.0", {{1}, {2}, {40}}, 2, {41, 42}},
      {"unnamed six by position", AV_SAMPLE_FMT_S16P, "unspec6", {{1}, {2}, {10}, {500}, {100}, {200}}, 2, {111, 212}},
      {"unnamed three: first two", AV_SAMPLE_FMT_S16, "unspec3", {{1}, {2}, {40}}, 2, {1, 2}},
      {"surround to mono", AV_SAMPLE_FMT_S16, "5.1(side)", {{100}, {200}, {10}, {0}, {20}, {40}}, 1, {190}},
  };
}

TEST(FfAudioFmt, FormatsAndLayouts) {
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.what);
    FramePtr f = MakeFrame(c.fmt, c.layout, c.in);
    int rc = 0;
    std::vector<int16_t> out = Convert(f.get(), c.outChannels, &rc);
    EXPECT_EQ(rc, static_cast<int>(c.out.size() * 2));
    EXPECT_EQ(out, c.out);
  }
}

TEST(FfAudioFmt, RefusesUnusableFrames) {
  FramePtr good = MakeFrame(AV_SAMPLE_FMT_S16, "stereo", {{1}, {2}});
  CtxPtr ctx(new FfAudioCtx);
  ctx->out_channels = 2;
  EXPECT_EQ(FfAudioFmt(ctx.get(), nullptr), -1);
  EXPECT_EQ(FfAudioFmt(nullptr, good.get()), -1);

  FramePtr empty(av_frame_alloc());
  EXPECT_EQ(FfAudioFmt(ctx.get(), empty.get()), -1);  // no samples, no channels, no format

  FramePtr f = MakeFrame(AV_SAMPLE_FMT_S16P, "stereo", {{1, 2}, {3, 4}});
  f->nb_samples = 0;
  EXPECT_EQ(FfAudioFmt(ctx.get(), f.get()), -1);
  f->nb_samples = 2;
  f->format = AV_SAMPLE_FMT_NB;
  EXPECT_EQ(FfAudioFmt(ctx.get(), f.get()), -1);
  f->format = AV_SAMPLE_FMT_S16P;
  f->nb_samples = 1 << 20;  // more samples than the planes hold
  EXPECT_EQ(FfAudioFmt(ctx.get(), f.get()), -1);
  f->nb_samples = 2;
  uint8_t *plane = f->extended_data[1];
  f->extended_data[1] = nullptr;
  EXPECT_EQ(FfAudioFmt(ctx.get(), f.get()), -1);
  f->extended_data[1] = plane;
  EXPECT_EQ(FfAudioFmt(ctx.get(), f.get()), 8);
}

// The output buffer grows to the largest frame and is then reused.
TEST(FfAudioFmt, BufferOnlyGrows) {
  CtxPtr ctx(new FfAudioCtx);
  ctx->out_channels = 2;
  FramePtr big = MakeFrame(AV_SAMPLE_FMT_FLTP, "stereo", {std::vector<double>(4096, 0.1), std::vector<double>(4096, 0.2)});
  FramePtr small = MakeFrame(AV_SAMPLE_FMT_FLTP, "stereo", {{0.1}, {0.2}});
  EXPECT_EQ(FfAudioFmt(ctx.get(), big.get()), 4096 * 4);
  const int16_t *buffer = ctx->m_AudioBuf;
  EXPECT_EQ(FfAudioFmt(ctx.get(), small.get()), 4);
  EXPECT_EQ(FfAudioFmt(ctx.get(), big.get()), 4096 * 4);
  EXPECT_EQ(ctx->m_AudioBuf, buffer);
  EXPECT_EQ(ctx->m_AudioBufSize, 4096 * 4);
}

}  // namespace
