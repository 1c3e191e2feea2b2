// The host board's audio inputs: microphone, line and FM all hear one live
// source (--capture FILE, once or with --capture-loop; ":counter" for the
// counter pattern; silence without it), and the record key's level.
//
// The source has a clock of its own that starts with the first record open
// after a reset and then runs in real time, heard or not. A record
// descriptor starts reading at the source's present moment, waits for audio
// that does not exist yet, and loses the oldest audio when its reader falls
// further behind than the driver's buffer holds (an overrun, logged in
// sound.log). So a pause in reading leaves a gap, as on the board, and a
// descriptor reopened after a prompt goes on where the source has got to.
//
// g_mu guards the source and the session; host_sound.cpp calls Open and
// Close under its own lock (its lock, then ours); reads sleep outside both.
#include "board/board.h"
#include "board/host/host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kDriverBytes = 16 * 4096;  // the capture buffer of the driver
constexpr char kCounter[] = ":counter";

struct Source {
  std::string path;  // "" silence, kCounter the counter pattern
  bool loop = false;
  bool unreadable = false;  // the file could not be read: silence, reported once
  int rate = 0;      // 0: nothing to play (silence)
  int ch = 0;
  std::vector<int16_t> samples;
  int64_t epochUs = -1;  // the source's time zero; -1 until the first open
};

struct Reading {
  int fd = -1;
  int rate = 0;
  int ch = 0;
  int64_t pos = 0;  // next frame to hand out, in frames of this rate since the epoch
};

std::mutex g_mu;
Source g_src;        // guarded by g_mu
Reading g_read;      // guarded by g_mu
std::atomic<int> g_recordKey{0};

uint32_t le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Reads a 16-bit PCM WAV file; false for anything else or a damaged file.
bool readWav(const std::string &path, Source *src) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) || std::memcmp(data.data() + 8, "WAVE", 4)) return false;
  size_t p = 12;
  bool haveFmt = false;
  while (p + 8 <= data.size()) {
    uint32_t size = le32(&data[p + 4]);
    const unsigned char *body = &data[p + 8];
    size_t avail = data.size() - p - 8;
    if (!std::memcmp(&data[p], "fmt ", 4)) {
      if (size < 16 || avail < 16) return false;
      if (le16(body) != 1 || le16(body + 14) != 16) return false;
      src->ch = le16(body + 2);
      src->rate = static_cast<int>(le32(body + 4));
      if (src->ch < 1 || src->ch > 2 || src->rate < 1000 || src->rate > 192000) return false;
      haveFmt = true;
    } else if (!std::memcmp(&data[p], "data", 4)) {
      if (!haveFmt) return false;
      size_t n = std::min<size_t>(size, avail) / 2;  // a truncated file keeps what it has
      src->samples.resize(n - n % static_cast<size_t>(src->ch));
      for (size_t i = 0; i < src->samples.size(); i++)
        src->samples[i] = static_cast<int16_t>(le16(body + 2 * i));
      return true;
    }
    if (size > avail) return false;
    p += 8 + size + (size & 1);
  }
  return false;
}

int16_t sourceSample(int64_t frame, int c) {
  auto frames = static_cast<int64_t>(g_src.samples.size()) / g_src.ch;
  if (frames == 0 || frame < 0) return 0;
  if (frame >= frames) {
    if (!g_src.loop) return 0;
    frame %= frames;
  }
  return g_src.samples[static_cast<size_t>(frame * g_src.ch + (g_src.ch == 2 ? c : 0))];
}

// Fills frames [from, from + count) of the reading's format.
void fill(int16_t *out, int64_t from, int count) {
  const int ch = g_read.ch;
  if (g_src.path == kCounter) {
    for (int i = 0; i < count; i++)
      for (int c = 0; c < ch; c++) out[i * ch + c] = static_cast<int16_t>(static_cast<uint16_t>(from + i));
    return;
  }
  if (g_src.rate <= 0) {
    std::fill(out, out + count * ch, int16_t{0});
    return;
  }
  double step = static_cast<double>(g_src.rate) / g_read.rate;
  for (int i = 0; i < count; i++) {
    double pos = static_cast<double>(from + i) * step;
    auto i0 = static_cast<int64_t>(pos);
    double frac = pos - static_cast<double>(i0);
    double v[2];
    for (int c = 0; c < 2; c++) v[c] = sourceSample(i0, c) * (1.0 - frac) + sourceSample(i0 + 1, c) * frac;
    if (ch == 1) {
      out[i] = static_cast<int16_t>(std::lround(g_src.ch == 2 ? (v[0] + v[1]) / 2 : v[0]));
    } else {
      out[2 * i] = static_cast<int16_t>(std::lround(v[0]));
      out[2 * i + 1] = static_cast<int16_t>(std::lround(v[1]));
    }
  }
}

// Frames of the reading's rate that the source has produced by now.
int64_t framesBy(int64_t nowUs) { return (nowUs - g_src.epochUs) * g_read.rate / 1000000; }

}  // namespace

void HostCaptureReset(void) {
  const BoardHostOptions &o = BoardHostGetOptions();
  BoardHostSetCapture(o.capture, o.captureLoop);
}

void BoardHostSetCapture(const std::string &path, bool loop) {
  std::scoped_lock lock(g_mu);
  g_src = Source{};
  g_src.path = path;
  g_src.loop = loop;
  // Read now, not at the first capture read: the reader must not stall.
  if (!path.empty() && path != kCounter && !readWav(path, &g_src)) {
    g_src.rate = 0;
    g_src.samples.clear();
    g_src.unreadable = true;
  }
  if (g_read.fd >= 0) g_src.epochUs = BoardMonotonicUs();
  g_read.pos = 0;
}

void HostCaptureOpen(int fd, int rate, int ch) {
  std::scoped_lock lock(g_mu);
  int64_t now = BoardMonotonicUs();
  if (g_src.epochUs < 0) g_src.epochUs = now;
  g_read = Reading{fd, rate, ch, 0};
  g_read.pos = framesBy(now);  // the driver starts empty
}

void HostCaptureClose(int fd) {
  std::scoped_lock lock(g_mu);
  if (g_read.fd == fd) g_read = Reading{};
}

int HostCaptureRead(int fd, void *pcm, int len) {
  int64_t due = 0;
  int64_t lost = 0;
  bool unreadable = false;
  std::string path;
  {
    std::scoped_lock lock(g_mu);
    if (g_read.fd != fd || g_read.rate <= 0) return -1;
    unreadable = g_src.unreadable;
    g_src.unreadable = false;
    path = g_src.path;
    int frameBytes = g_read.ch * 2;
    int64_t now = BoardMonotonicUs();
    int64_t keep = kDriverBytes / frameBytes;
    int64_t behind = framesBy(now) - g_read.pos;
    if (behind > keep) {
      lost = behind - keep;
      g_read.pos += lost;
    }
    int64_t end = g_read.pos + len / frameBytes;
    due = g_src.epochUs + (end * 1000000 + g_read.rate - 1) / g_read.rate;
  }
  if (unreadable) BoardSoundEvent("capture unreadable: %s", path.c_str());
  if (lost > 0) BoardSoundEvent("capture overrun fd=%d frames=%lld", fd, static_cast<long long>(lost));
  // The microphone delivers in real time: wait until these frames exist.
  int64_t wait = due - BoardMonotonicUs();
  if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(wait));
  std::scoped_lock lock(g_mu);
  if (g_read.fd != fd) return -1;  // closed while we waited
  int frames = len / (g_read.ch * 2);
  fill(static_cast<int16_t *>(pcm), g_read.pos, frames);
  g_read.pos += frames;
  return frames * g_read.ch * 2;
}

void BoardHostSetRecordKey(int held) { g_recordKey = held ? 1 : 0; }

int BoardRecordKeyHeld(void) { return g_recordKey.load(); }
