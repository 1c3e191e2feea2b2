// Helpers of the decoder tests: the ffmpeg command line (for making files and
// for the reference decode), a WAV writer, and decode-everything loops.
#pragma once

#include "audio/ffaudio.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/wav.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace audiotest {

// The committed test files (tiny, made by tools/badaudio/make-seeds).
inline std::string DataFile(const char *name) {
  return SourcePath("/tests/data/audio/") + name;
}

// The ffmpeg command line, or "" when it cannot run here (under qemu, or
// not installed). TB_FFMPEG overrides the program.
inline const std::string &Ffmpeg() {
  static const std::string program = [] {
    const char *env = std::getenv("TB_FFMPEG");
    std::string p = env && *env ? env : "ffmpeg";
    std::string cmd = p + " -hide_banner -version >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 ? p : std::string();
  }();
  return program;
}

// Runs a shell command; its standard output is returned, *ok tells whether
// it exited with 0.
inline std::string Capture(const std::string &cmd, bool *ok = nullptr) {
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) {
    if (ok) *ok = false;
    return out;
  }
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = pclose(p);
  if (ok) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}

// Runs ffmpeg with args (quiet, overwriting); true when it succeeded.
inline bool RunFfmpeg(const std::string &args) {
  bool ok = false;
  Capture(Ffmpeg() + " -hide_banner -loglevel error -nostdin -y " + args + " 2>&1", &ok);
  return ok;
}

// ffmpeg's own decode of path to interleaved s16 with `channels` channels
// (extra: more options before the output, e.g. a filter).
inline std::vector<int16_t> CliDecode(const std::string &path, int channels, const std::string &extra = "") {
  bool ok = false;
  std::string raw = Capture(Ffmpeg() + " -hide_banner -loglevel error -nostdin -i '" + path + "' " + extra +
                                " -ac " + std::to_string(channels) + " -f s16le -",
                            &ok);
  std::vector<int16_t> pcm(raw.size() / 2);
  if (ok) std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
  else pcm.clear();
  return pcm;
}

using ::Put16;
using ::Put32;
using ::ReadFile;
using ::SamplesDir;
using ::TempDir;
using ::WavHeader;
using ::WriteFile;

// A test name from a case's file name ("cbr.mp3" -> "cbr_mp3").
template <typename Case>
std::string FileCaseName(const ::testing::TestParamInfo<Case> &info) {
  std::string n = info.param.name;
  for (char &ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
}

// A format of the seek tests: the file name (its extension picks the
// container) and ffmpeg's encoder options.
struct Format {
  const char *name;
  const char *encode;
};
// Test names and failure lines show the file, not the record's bytes.
inline void PrintTo(const Format &c, std::ostream *os) { *os << c.name; }

template <typename T>
std::string Bytes(const std::vector<T> &v) {
  return std::string(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(T));
}

// A decoder over a file through the plain-file source, closed with the object.
struct OpenedFile {
  AudioSource src = gfile;
  FfAudioCtx *ctx = nullptr;
  explicit OpenedFile(const std::string &path, int stream = 0) {
    if (src.open(&src, path.c_str(), 0) == 0) ctx = FfAudioOpen(&src, 32768, -1, -1, -1, stream);
  }
  ~OpenedFile() {
    FfAudioClose(ctx);
    src.close(&src);
  }
  OpenedFile(const OpenedFile &) = delete;
  OpenedFile &operator=(const OpenedFile &) = delete;
};

// What a whole decode gave.
struct Decoded {
  int rc = -1;  // 0, or -1 when the file did not open
  int rate = 0, channels = 0;
  int64_t durationUs = kNoDuration;
  std::vector<int16_t> pcm;
  int chunks = 0;
};

// Decodes a file start to end through the plain-file source, as the decoder
// thread does (chunks, then the drain), giving up after maxChunks.
inline Decoded DecodeAll(const std::string &path, int stream = 0, int maxChunks = 1 << 20) {
  Decoded d;
  OpenedFile file(path, stream);
  FfAudioCtx *ctx = file.ctx;
  if (!ctx) return d;
  d.rc = 0;
  d.rate = ctx->out_sample_rate;
  d.channels = ctx->out_channels;
  d.durationUs = ctx->duration;
  for (;;) {
    if (++d.chunks > maxChunks) break;
    int n = FfDecodeFrame(ctx);
    if (n == -2) {
      for (int m; (m = FfDecodeFlush(ctx)) > 0 && ++d.chunks <= maxChunks;)
        d.pcm.insert(d.pcm.end(), ctx->m_AudioBuf, ctx->m_AudioBuf + m / 2);
      break;
    }
    if (n > 0) d.pcm.insert(d.pcm.end(), ctx->m_AudioBuf, ctx->m_AudioBuf + n / 2);
  }
  return d;
}

// The largest difference between two sample sequences of the same length
// (INT32_MAX when the lengths differ).
inline int MaxDiff(const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
  if (a.size() != b.size()) return INT32_MAX;
  int worst = 0;
  for (size_t i = 0; i < a.size(); i++) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Frequency of a mono or left channel stretch by counting rising zero
// crossings.
inline double Frequency(const int16_t *pcm, int frames, int channels, int rate) {
  int crossings = 0;
  for (int i = 1; i < frames; i++)
    if (pcm[(i - 1) * channels] < 0 && pcm[i * channels] >= 0) crossings++;
  return frames > 0 ? crossings * static_cast<double>(rate) / frames : 0;
}

}  // namespace audiotest
