// The host board's sound device: a model of the board's OSS driver with the
// same contract (one descriptor at a time, a buffer of fragments drained in
// real time, non-blocking writes answered with -3 when full, the space
// query, parameters set again on a kept descriptor, left and right of a
// stereo frame exchanged by the "codec"), feeding one outlet (host_outlet.h)
// chosen by --audio when the board is configured:
//   alsa  the machine's sound card ("default", or ALSA's "null" without one;
//         host_alsa.cpp)
//   wav   root/host/out.wav, 44100 Hz stereo: every session in that format
//         is copied sample for sample, others are converted on the way in
//   null  nothing
// In every mode root/host/sound.log gets one line per event, with the time
// in milliseconds since the board started:
//   T dsp open fd=1000 mode=play rate=44100 ch=2
//   T dsp write fd=1000 bytes=4096 play=T0 pos=N   (T0: its first sample
//                                                   sounds; N: its frame in out.wav)
//   T dsp set fd=1000 rate=16000 ch=1 | T dsp close fd=1000
//   T dsp reset fd=1000 dropped=N     (N queued bytes discarded unplayed)
//   T mixer control=volume value=30  | T line /dev/amp_en=1
// and the sound layer's own lines ("T sound ...") through BoardSoundEvent.
// Capture comes from host_capture.cpp (a live source paced in real time).
// Routing lines are plain files under the root holding the level as text.
//
// One mutex guards the whole model; a capture read sleeps outside it.
#include "board/board.h"
#include "board/host/host.h"
#include "board/host/host_outlet.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kFragSize = 4096;
constexpr int kFragsTotal = 16;
constexpr int kBufferBytes = kFragSize * kFragsTotal;
constexpr int kWavRate = 44100;
constexpr int kFirstFd = 1000;
constexpr int kFirstMixerFd = 5000;

// A run of PCM in the device buffer, playing from startUs to endUs.
struct Chunk {
  int64_t startUs;
  int64_t endUs;
  int bytes;
};

// Converts a stream of frames at one rate and channel count to 44100 Hz
// stereo by linear interpolation; 44100 Hz stereo passes unchanged.
struct ToWav {
  int rate = kWavRate;
  int ch = 2;
  int64_t inFrames = 0;   // frames received so far
  int64_t outFrames = 0;  // frames emitted so far
  int16_t last[2] = {0, 0};

  void reset(int r, int c) {
    rate = r;
    ch = c;
    inFrames = outFrames = 0;
    last[0] = last[1] = 0;
  }

  void convert(const int16_t *in, int frames, std::vector<int16_t> *out) {
    auto frameAt = [&](int64_t i, int c) -> int16_t {
      int64_t local = i - inFrames;
      if (local < 0) return last[c];
      return in[local * ch + (ch == 2 ? c : 0)];
    };
    if (rate == kWavRate) {
      for (int i = 0; i < frames; i++) {
        out->push_back(in[i * ch]);
        out->push_back(in[i * ch + (ch == 2 ? 1 : 0)]);
      }
      outFrames += frames;
    } else {
      int64_t total = inFrames + frames;
      for (;;) {
        // Source position of the next output frame, in input frames.
        double pos = static_cast<double>(outFrames) * rate / kWavRate;
        auto i0 = static_cast<int64_t>(pos);
        if (i0 + 1 >= total) break;
        double frac = pos - static_cast<double>(i0);
        for (int c = 0; c < 2; c++) {
          double v = frameAt(i0, c) * (1.0 - frac) + frameAt(i0 + 1, c) * frac;
          out->push_back(static_cast<int16_t>(std::lround(v)));
        }
        outFrames++;
      }
    }
    if (frames > 0) {
      last[0] = in[(frames - 1) * ch];
      last[1] = in[(frames - 1) * ch + (ch == 2 ? 1 : 0)];
    }
    inFrames += frames;
  }

  // Emits the frames held back for interpolation at the end of a session.
  void finish(std::vector<int16_t> *out) {
    if (rate == kWavRate) return;
    for (;;) {
      double pos = static_cast<double>(outFrames) * rate / kWavRate;
      if (static_cast<int64_t>(pos) >= inFrames) break;
      out->push_back(last[0]);
      out->push_back(last[1]);
      outFrames++;
    }
  }
};

struct Session {
  int fd = -1;
  bool record = false;
  int rate = 0;
  int ch = 0;
  std::deque<Chunk> queue;  // play: what the buffer holds
  int64_t openUs = 0;
  int64_t written = 0;   // play: bytes taken since open
};

std::mutex g_mu;
Session g_session;            // guarded by g_mu; fd -1 when the device is free
int g_nextFd = kFirstFd;      // guarded by g_mu
int g_nextMixerFd = kFirstMixerFd;  // guarded by g_mu
std::map<int, int> g_mixer;   // guarded by g_mu: control -> last value
std::vector<std::pair<int, int>> g_mixerRefused;  // guarded by g_mu
int g_refusedRate = 0;        // guarded by g_mu
FILE *g_log = nullptr;        // guarded by g_mu
FILE *g_wav = nullptr;        // guarded by g_mu
int64_t g_wavFrames = 0;      // guarded by g_mu
ToWav g_toWav;                // guarded by g_mu: the WAV outlet's converter

double msSinceStart(int64_t us) { return static_cast<double>(us - BoardHostStartUs()) / 1000.0; }

void logLineV(const char *format, va_list ap) {
  if (!g_log) {
    g_log = std::fopen(BoardHostFile("sound.log").c_str(), "a");
    if (!g_log) return;  // nowhere to record; the device still works
  }
  std::fprintf(g_log, "%.3f ", msSinceStart(BoardMonotonicUs()));
  std::vfprintf(g_log, format, ap);
  std::fputc('\n', g_log);
  std::fflush(g_log);
}

void logLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  logLineV(format, ap);
  va_end(ap);
}

const char *controlName(int control) {
  switch (control) {
    case BOARD_MIXER_VOLUME: return "volume";
    case BOARD_MIXER_LINE: return "line";
    case BOARD_MIXER_MIC: return "mic";
    case BOARD_MIXER_OUTSRC: return "outsrc";
    case BOARD_MIXER_RECSRC: return "recsrc";
    default: return "other";
  }
}

void put32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void openWav() {
  g_wav = std::fopen(BoardHostFile("out.wav").c_str(), "w+b");
  if (!g_wav) return;
  unsigned char h[44] = {};
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  h[20] = 1;  // PCM
  h[22] = 2;  // channels
  put32(h + 24, kWavRate);
  put32(h + 28, kWavRate * 4);
  h[32] = 4;   // block align
  h[34] = 16;  // bits
  std::memcpy(h + 36, "data", 4);
  std::fwrite(h, 1, sizeof h, g_wav);
  g_wavFrames = 0;
}

// Appends frames and rewrites the sizes, so the file is whole at any moment.
void appendWav(const std::vector<int16_t> &frames) {
  if (!g_wav) openWav();
  if (!g_wav) return;
  std::fseek(g_wav, 0, SEEK_END);
  std::vector<unsigned char> bytes(frames.size() * 2);
  for (size_t i = 0; i < frames.size(); i++) {
    auto v = static_cast<uint16_t>(frames[i]);
    bytes[2 * i] = static_cast<unsigned char>(v & 0xff);
    bytes[2 * i + 1] = static_cast<unsigned char>(v >> 8);
  }
  std::fwrite(bytes.data(), 1, bytes.size(), g_wav);
  g_wavFrames += static_cast<int64_t>(frames.size() / 2);
  unsigned char v[4];
  put32(v, static_cast<uint32_t>(36 + g_wavFrames * 4));
  std::fseek(g_wav, 4, SEEK_SET);
  std::fwrite(v, 1, 4, g_wav);
  put32(v, static_cast<uint32_t>(g_wavFrames * 4));
  std::fseek(g_wav, 40, SEEK_SET);
  std::fwrite(v, 1, 4, g_wav);
  std::fflush(g_wav);
}

// ---- Outlets ----

// Whether drained or dropped, what the device was given stays in the file:
// the frames held back for interpolation are written out.
void wavClose(bool) {
  std::vector<int16_t> tail;
  g_toWav.finish(&tail);
  if (!tail.empty()) appendWav(tail);
  g_toWav.reset(kWavRate, 2);
}

void wavOpen(int rate, int channels) {
  wavClose(true);
  g_toWav.reset(rate, channels);
}

void wavWrite(const int16_t *pcm, int frames) {
  std::vector<int16_t> wav;
  g_toWav.convert(pcm, frames, &wav);
  appendWav(wav);
}

void nullOpen(int, int) {}
void nullWrite(const int16_t *, int) {}
void nullClose(bool) {}
// The file keeps what the device was given, dropped or not: the log's reset
// line says where the listener stopped hearing it.
void noDrop() {}

const HostOutlet kWavOutlet = {"wav", wavOpen, wavWrite, wavClose, noDrop};
const HostOutlet kNullOutlet = {"null", nullOpen, nullWrite, nullClose, noDrop};

// The outlet of --audio; null for a name this build cannot serve.
const HostOutlet *outletFor(const std::string &name) {
  if (name == "wav") return &kWavOutlet;
  const HostOutlet *alsa = HostAlsaOutlet();
  if (name == "alsa" && alsa) return alsa;
  return &kNullOutlet;
}

const HostOutlet *g_outlet = &kNullOutlet;  // guarded by g_mu; chosen by HostSoundReset

int checkParams(int rate, int channels) {
  if (rate < 4000 || rate > 96000 || rate == g_refusedRate) return -2;
  if (channels != 1 && channels != 2) return -3;
  return 0;
}

// Bytes still waiting to sound at `now`; drops what has played.
int64_t soundingBytes(Session *s, int64_t now) {
  while (!s->queue.empty() && s->queue.front().endUs <= now) s->queue.pop_front();
  double q = 0;
  for (const Chunk &c : s->queue) {
    if (c.startUs >= now) {
      q += c.bytes;
    } else {
      q += static_cast<double>(c.bytes) * static_cast<double>(c.endUs - now) /
           static_cast<double>(c.endUs - c.startUs);
    }
  }
  return static_cast<int64_t>(std::ceil(q));
}

// Bytes the buffer holds at `now` as the driver counts them: like a DMA
// engine it frees a fragment only once the whole fragment has played.
int64_t queuedBytes(Session *s, int64_t now) {
  int64_t q = soundingBytes(s, now);
  if (q == 0) return 0;
  int64_t played = s->written - q;
  return s->written - played / kFragSize * kFragSize;
}

// Ends the session: drain true when its descriptor was closed, false when
// the board is being reset (see HostOutlet::close).
void closeSession(bool drain) {
  if (g_session.record) HostCaptureClose(g_session.fd);
  if (!g_session.record && g_session.fd >= 0) g_outlet->close(drain);
  g_session = Session{};
}

bool sessionFd(int fd) { return fd >= kFirstFd && fd == g_session.fd; }

}  // namespace

void HostSoundLog(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  logLineV(format, ap);
  va_end(ap);
}

void HostSoundReset(void) {
  std::scoped_lock lock(g_mu);
  closeSession(false);
  if (g_log) std::fclose(g_log);
  g_log = nullptr;
  if (g_wav) std::fclose(g_wav);
  g_wav = nullptr;
  g_wavFrames = 0;
  g_mixer.clear();
  g_mixerRefused.clear();
  g_refusedRate = 0;
  HostCaptureReset();
  g_outlet = outletFor(BoardHostGetOptions().audio);
}

int BoardHostMixerGet(int control) {
  std::scoped_lock lock(g_mu);
  auto it = g_mixer.find(control);
  return it == g_mixer.end() ? -1 : it->second;
}

void BoardHostMixerRefuse(int control, int value) {
  std::scoped_lock lock(g_mu);
  if (control < 0) {
    g_mixerRefused.clear();
  } else {
    g_mixerRefused.emplace_back(control, value);
  }
}

void BoardHostDspRefuseRate(int rate) {
  std::scoped_lock lock(g_mu);
  g_refusedRate = rate;
}

int BoardDspOpen(int rate, int channels, int record) {
  std::scoped_lock lock(g_mu);
  if (g_session.fd >= 0) {
    logLine("dsp open busy");
    return -1;
  }
  int r = checkParams(rate, channels);
  if (r < 0) {
    logLine("dsp open refused rate=%d ch=%d", rate, channels);
    return r;
  }
  Session &s = g_session;
  s.fd = g_nextFd++;
  s.record = record != 0;
  s.rate = rate;
  s.ch = channels;
  s.openUs = BoardMonotonicUs();
  if (s.record) HostCaptureOpen(s.fd, rate, channels);
  logLine("dsp open fd=%d mode=%s rate=%d ch=%d", s.fd, s.record ? "record" : "play", rate, channels);
  if (!s.record) g_outlet->open(rate, channels);
  return s.fd;
}

int BoardDspSetParams(int fd, int rate, int channels) {
  std::scoped_lock lock(g_mu);
  if (!sessionFd(fd)) return -1;
  int r = checkParams(rate, channels);
  if (r < 0) {
    logLine("dsp set refused fd=%d rate=%d ch=%d", fd, rate, channels);
    return r;
  }
  Session &s = g_session;
  if (s.rate == rate && s.ch == channels) return 0;
  s.rate = rate;
  s.ch = channels;
  if (s.record) HostCaptureOpen(fd, rate, channels);
  logLine("dsp set fd=%d rate=%d ch=%d", fd, rate, channels);
  if (!s.record) g_outlet->open(rate, channels);
  return 0;
}

int BoardDspGetSpace(int fd, BoardDspSpace *space) {
  std::scoped_lock lock(g_mu);
  if (!space || !sessionFd(fd) || g_session.record) return -1;
  auto free = static_cast<int>(kBufferBytes - queuedBytes(&g_session, BoardMonotonicUs()));
  free = std::max(free, 0);
  space->fragments = free / kFragSize;
  space->fragstotal = kFragsTotal;
  space->fragsize = kFragSize;
  space->bytes = free;
  return 0;
}

int BoardDspWrite(int fd, const void *pcm, int len) {
  std::scoped_lock lock(g_mu);
  if (!pcm || len < 0 || !sessionFd(fd) || g_session.record) return -1;
  Session &s = g_session;
  int frameBytes = s.ch * 2;
  int64_t now = BoardMonotonicUs();
  int64_t free = kBufferBytes - queuedBytes(&s, now);
  int take = static_cast<int>(std::min<int64_t>(len, free));
  take -= take % frameBytes;
  if (take <= 0) {
    logLine("dsp write fd=%d full", fd);
    return -3;
  }
  int64_t start = s.queue.empty() ? now : std::max(now, s.queue.back().endUs);
  int64_t dur = static_cast<int64_t>(take) * 1000000 / (static_cast<int64_t>(s.rate) * frameBytes);
  s.queue.push_back({start, start + std::max<int64_t>(dur, 1), take});
  s.written += take;

  // What the codec plays: the board exchanges left and right.
  int frames = take / frameBytes;
  std::vector<int16_t> out(static_cast<size_t>(frames * s.ch));
  std::memcpy(out.data(), pcm, static_cast<size_t>(take));
  if (s.ch == 2)
    for (int i = 0; i < frames; i++) std::swap(out[2 * i], out[2 * i + 1]);

  int64_t pos = g_wavFrames;
  g_outlet->write(out.data(), frames);
  logLine("dsp write fd=%d bytes=%d play=%.3f pos=%lld", fd, take, msSinceStart(start),
          static_cast<long long>(pos));
  return take;
}

int BoardDspReset(int fd) {
  std::scoped_lock lock(g_mu);
  if (!sessionFd(fd) || g_session.record) return -1;
  Session &s = g_session;
  int64_t left = queuedBytes(&s, BoardMonotonicUs());
  // Like the driver's reset, the fragment count starts again from an empty
  // buffer.
  s.queue.clear();
  s.written = 0;
  g_outlet->drop();
  logLine("dsp reset fd=%d dropped=%lld", fd, static_cast<long long>(left));
  return 0;
}

int BoardDspRead(int fd, void *pcm, int len) {
  {
    std::scoped_lock lock(g_mu);
    if (!pcm || len < 0 || !sessionFd(fd) || !g_session.record) return -1;
  }
  // The capture model waits for the audio outside our lock.
  return HostCaptureRead(fd, pcm, len);
}

void BoardDspClose(int fd) {
  std::scoped_lock lock(g_mu);
  if (!sessionFd(fd)) return;
  int64_t left = g_session.record ? 0 : queuedBytes(&g_session, BoardMonotonicUs());
  logLine("dsp close fd=%d queued=%lld", fd, static_cast<long long>(left));
  closeSession(true);
}

int BoardMixerOpen(void) {
  std::scoped_lock lock(g_mu);
  return g_nextMixerFd++;
}

int BoardMixerWrite(int fd, int control, int value) {
  std::scoped_lock lock(g_mu);
  if (fd < kFirstMixerFd) return -1;
  for (const auto &[c, v] : g_mixerRefused) {
    if (c == control && (v < 0 || v == value)) {
      logLine("mixer control=%s value=%d refused", controlName(control), value);
      return -1;
    }
  }
  g_mixer[control] = value;
  logLine("mixer control=%s value=%d", controlName(control), value);
  return 0;
}

void BoardMixerClose(int fd) {}

int BoardGpioFunc(const char *path, int func, int *value) {
  if (!path || !value) return -1;
  std::string file = BoardPath(path);
  std::scoped_lock lock(g_mu);
  switch (func) {
    case 0:
      return 0;
    case 1:
    case 3: {
      // The board always has its device nodes; the root may not yet.
      std::error_code ec;
      std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
      FILE *f = std::fopen(file.c_str(), "w");
      if (!f) return -1;
      std::fprintf(f, "%d\n", *value);
      std::fclose(f);
      logLine("line %s=%d", path, *value);
      return 0;
    }
    case 2: {
      FILE *f = std::fopen(file.c_str(), "r");
      if (!f) {
        // Nothing in the jacks: the detect lines idle high.
        if (!std::strcmp(path, "/dev/head_in") || !std::strcmp(path, "/dev/mic_line")) {
          *value = 1;
          return 0;
        }
        return -1;
      }
      int v = 0;
      int n = std::fscanf(f, "%d", &v);
      std::fclose(f);
      if (n != 1) return -1;
      *value = v;
      return 0;
    }
    default:
      return -1;
  }
}

void BoardSoundEvent(const char *format, ...) {
  if (!format) return;
  char text[512];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  std::scoped_lock lock(g_mu);
  logLine("sound %s", text);
}
