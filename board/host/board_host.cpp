// The host board: this machine standing in for the player's board.
//
// Every fixed path of the system lives under one root folder (--root DIR).
// The board's records of what happened go to DIR/host/: transcript.txt (one
// line per spoken text), commands.txt (one line per shell command) and, from
// the sound layer, sound.log and out.wav. The wall clock can be offset; the
// monotonic clock is the machine's. Keys arrive through a pipe written by the
// key feeder (host_keys.cpp) in the board's 16-byte event layout. The LED,
// motor and charger, the mount table and the card's partition are files
// under the root too (host_devices.cpp).
#include "board/board.h"
#include "board/host/host.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <unistd.h>
#include <fcntl.h>

namespace {

BoardHostOptions g_options;
std::atomic<int64_t> g_clockOffset{0};  // seconds; past 2038 on a 32-bit build too
std::mutex g_transcriptMutex;
FILE *g_transcript = nullptr;  // guarded by g_transcriptMutex
int64_t g_startUs = 0;
int g_inputWrite = -1;

void usage(const char *prog) {
  std::fprintf(stderr,
               "usage: %s [--root DIR] [--vkey-port N] [--clock-offset SECONDS]\n"
               "          [--audio alsa|wav|null] [--run-for SECONDS] [--keys FILE|-]\n"
               "          [--capture FILE.wav|:counter] [--capture-loop]\n",
               prog);
}

bool parseLong(const char *text, long *out) {
  if (!text || !*text) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno || *end) return false;
  *out = v;
  return true;
}

bool haveSoundCard() {
  std::error_code ec;
  return std::filesystem::exists("/dev/snd/controlC0", ec) ||
         std::filesystem::exists("/proc/asound/card0", ec);
}

}  // namespace

int BoardHostConfigure(const BoardHostOptions &options) {
  g_options = options;
  g_clockOffset = options.clockOffset;
  if (g_startUs == 0) g_startUs = BoardMonotonicUs();
  std::error_code ec;
  if (!options.root.empty()) {
    g_options.root = std::filesystem::absolute(options.root, ec).lexically_normal().string();
    while (g_options.root.size() > 1 && g_options.root.back() == '/') g_options.root.pop_back();
    std::filesystem::create_directories(g_options.root + "/host", ec);
    if (ec) {
      std::fprintf(stderr, "host board: cannot create %s/host: %s\n", g_options.root.c_str(),
                   ec.message().c_str());
      return -1;
    }
  }
  HostSoundReset();
  HostTunerReset();
  std::scoped_lock lock(g_transcriptMutex);
  if (g_transcript) std::fclose(g_transcript);
  g_transcript = nullptr;
  return 0;
}

int64_t BoardHostStartUs(void) { return g_startUs; }

const BoardHostOptions &BoardHostGetOptions(void) { return g_options; }

void BoardHostSetClockOffset(int64_t seconds) { g_clockOffset = seconds; }

int64_t BoardHostClockOffset(void) { return g_clockOffset; }

std::string BoardHostFile(const char *name) {
  std::string dir = g_options.root.empty() ? std::string(".") : g_options.root;
  return dir + "/host/" + name;
}

int BoardInit(int argc, char **argv) {
  BoardHostOptions o;
  o.audio = haveSoundCard() ? "alsa" : "wav";
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
    long n = 0;
    if (a == "--root" && v) {
      o.root = v;
    } else if (a == "--vkey-port" && parseLong(v, &n) && n > 0 && n < 65536) {
      o.vkeyPort = static_cast<int>(n);
    } else if (a == "--clock-offset" && v && *v) {
      char *end = nullptr;
      errno = 0;
      long long offset = std::strtoll(v, &end, 10);
      if (errno || *end) {
        usage(argv[0]);
        return -1;
      }
      o.clockOffset = offset;
    } else if (a == "--audio" && v && (!std::strcmp(v, "alsa") || !std::strcmp(v, "wav") || !std::strcmp(v, "null"))) {
      o.audio = v;
    } else if (a == "--run-for" && parseLong(v, &n) && n > 0) {
      o.runFor = static_cast<int>(n);
    } else if (a == "--keys" && v) {
      o.keys = v;
    } else if (a == "--capture" && v) {
      o.capture = v;
    } else if (a == "--capture-loop") {
      o.captureLoop = true;
      continue;  // a flag: no value follows
    } else {
      usage(argv[0]);
      return -1;
    }
    i++;
  }
  if (o.root.empty()) {
    std::fprintf(stderr, "host board: --root DIR is required (the board's file system)\n");
    usage(argv[0]);
    return -1;
  }
  return BoardHostConfigure(o);
}

void BoardDeInit(void) {
  HostSoundReset();
  std::scoped_lock lock(g_transcriptMutex);
  if (g_transcript) std::fclose(g_transcript);
  g_transcript = nullptr;
}

int BoardMapPath(const char *path, char *out, int size) {
  if (!path || !out || size <= 0) return -1;
  std::string mapped = BoardPath(path);
  if (static_cast<int>(mapped.size()) >= size) return -1;
  std::memcpy(out, mapped.c_str(), mapped.size() + 1);
  return static_cast<int>(mapped.size());
}

std::string BoardPath(const char *path) {
  if (!path) return {};
  if (path[0] != '/' || g_options.root.empty()) return path;
  // A path already inside the root (one that went through here before) stays.
  const std::string &root = g_options.root;
  if (std::strncmp(path, root.c_str(), root.size()) == 0 &&
      (path[root.size()] == '/' || path[root.size()] == '\0'))
    return path;
  return root + path;
}

std::string BoardHostConfine(const std::string &path) {
  if (path.empty() || path[0] != '/') return {};
  std::filesystem::path p = std::filesystem::path(path).lexically_normal();
  // lexically_normal keeps ".." at the root ("/.." stays "/.."); refuse it.
  for (const auto &part : p)
    if (part == "..") return {};
  // Without a root there is no simulated file system to touch.
  if (g_options.root.empty()) return {};
  return g_options.root + p.string();
}

int BoardGetTimeOfDay(struct timeval *tv) {
  if (!tv) return -1;
  if (gettimeofday(tv, nullptr) != 0) return -1;
  tv->tv_sec = static_cast<time_t>(static_cast<int64_t>(tv->tv_sec) + g_clockOffset.load());
  return 0;
}

int BoardSetTimeOfDay(const struct timeval *tv) {
  if (!tv) return -1;
  struct timeval now;
  gettimeofday(&now, nullptr);
  g_clockOffset = static_cast<int64_t>(tv->tv_sec) - static_cast<int64_t>(now.tv_sec);
  return 0;
}

time_t BoardTime(void) {
  struct timeval tv;
  BoardGetTimeOfDay(&tv);
  return tv.tv_sec;
}

int64_t BoardMonotonicUs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int BoardInputOpen(void) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  g_inputWrite = fds[1];
  if (HostKeysStart(fds[1]) != 0) {
    close(fds[0]);
    close(fds[1]);
    g_inputWrite = -1;
    return -1;
  }
  return fds[0];
}

void BoardInputClose(int fd) {
  HostKeysStop();
  if (g_inputWrite >= 0) close(g_inputWrite);
  g_inputWrite = -1;
  if (fd >= 0) close(fd);
}

int BoardVkeyPort(void) { return g_options.vkeyPort; }

void BoardTranscript(const char *voice, const char *text) {
  if (!text) return;
  std::scoped_lock lock(g_transcriptMutex);
  if (!g_transcript) {
    g_transcript = std::fopen(BoardHostFile("transcript.txt").c_str(), "a");
    if (!g_transcript) return;  // nothing to record into; speech goes on
  }
  long ms = static_cast<long>((BoardMonotonicUs() - g_startUs) / 1000);
  std::fprintf(g_transcript, "%ld\t%s\t%s\n", ms, voice ? voice : "", text);
  std::fflush(g_transcript);
  // No echo on the terminal: the speech service prints every sentence it
  // speaks ("tts : ...") on standard output already.
}
