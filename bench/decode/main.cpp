// bench_decode: how fast and how lean the audio decoder is, beside ffmpeg's
// own command-line decode of the same files to 16-bit PCM.
//
//   bench_decode [--seconds N] [FILE...]
//
// Without files it makes N seconds (default 60) of a stereo 44.1 kHz test
// signal in each format the player meets, with the ffmpeg command line.
// Each decode runs in a child process of its own, so that the peak resident
// memory (getrusage ru_maxrss) belongs to that decode alone. For the decoder
// the child runs a real audio object (its thread, a writer that takes every
// chunk) and counts allocations once two seconds of audio are decoded:
// operator new (the decoder's own code) and, in builds without
// AddressSanitizer, every malloc-family call of the process (that is
// FFmpeg's: its demuxers allocate each packet's buffer and its decoders a
// reference for each frame they hand out, from pools that reuse the memory).
#include "audio/ffaudio.h"
#include "core/runtime/log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <mutex>
#include <new>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define BENCH_SANITIZED 1
#else
#define BENCH_SANITIZED 0
#endif

// ---- allocation counters ----

static std::atomic<long> g_newCalls{0};
static std::atomic<long> g_mallocCalls{0};

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t n) {
  g_newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void *p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t n) {
  g_newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void *p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  g_newCalls.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
  g_newCalls.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

#if !BENCH_SANITIZED
// glibc's own entry points, so that the process's malloc family (FFmpeg
// included) can be counted here.
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);

void *malloc(size_t n) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
void *calloc(size_t n, size_t m) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, m);
}
void *realloc(void *p, size_t n) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
int posix_memalign(void **out, size_t align, size_t n) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  void *p = __libc_memalign(align, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
void *aligned_alloc(size_t align, size_t n) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(align, n);
}
void *memalign(size_t align, size_t n) {
  g_mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(align, n);
}
void free(void *p) { __libc_free(p); }
}
#endif

namespace {

constexpr double kWarmupSeconds = 2.0;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---- the decoder, in the child ----

struct Run {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  long frames = 0;  // decoder thread only
  int rate = 0;
  bool warm = false;
  long warmFrames = 0, warmNew = 0, warmMalloc = 0;
  double warmAt = 0;
  long heapKb = 0;  // heap in use while decoding
};

long HeapInUseKb() {
  struct mallinfo2 mi = mallinfo2();
  return static_cast<long>((mi.uordblks + mi.hblkhd) / 1024);
}

Run g_run;

int CountingWriter(Audio *a, int bytes) {
  if (bytes < 1) return 0;
  g_run.frames += bytes / 2 / a->ff_ctx->out_channels;
  if (!g_run.warm && g_run.frames >= kWarmupSeconds * g_run.rate) {
    g_run.warm = true;
    g_run.warmFrames = g_run.frames;
    g_run.warmNew = g_newCalls.load();
    g_run.warmMalloc = g_mallocCalls.load();
    g_run.warmAt = Now();
    g_run.heapKb = std::max(g_run.heapKb, HeapInUseKb());
  }
  return 0;
}
int TakeFormat(Audio *, int rate, int) {
  g_run.rate = rate;
  return 0;
}
int Done(Audio *) {
  std::scoped_lock lock(g_run.m);
  g_run.done = true;
  g_run.cv.notify_all();
  return 0;
}

// What the child reports to the parent through a pipe.
struct Report {
  int ok;
  double wall, audioSeconds, steadySeconds;
  long steadyNew, steadyMalloc;
  long baseRssKb;
  long heapKb;  // heap in use while decoding, above the heap before the open
};

Report DecodeInChild(const std::string &path) {
  Report r{};
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  r.baseRssKb = ru.ru_maxrss;
  r.heapKb = HeapInUseKb();
  Audio *audio = AudioInit("BENCH", &gfile, CountingWriter, TakeFormat, Done);
  const double start = Now();
  if (!audio || AudioOpen(audio, path.c_str(), 0, 0, 0) != 0) return r;
  {
    std::unique_lock lock(g_run.m);
    g_run.cv.wait(lock, [] { return g_run.done; });
  }
  const double end = Now();
  const long newEnd = g_newCalls.load(), mallocEnd = g_mallocCalls.load();
  r.heapKb = std::max(g_run.heapKb, HeapInUseKb()) - r.heapKb;
  AudioClose(audio);
  AudioDeInit(audio);
  r.ok = 1;
  r.wall = end - start;
  r.audioSeconds = static_cast<double>(g_run.frames) / g_run.rate;
  if (g_run.warm) {
    r.steadySeconds = static_cast<double>(g_run.frames - g_run.warmFrames) / g_run.rate;
    r.steadyNew = newEnd - g_run.warmNew;
    r.steadyMalloc = mallocEnd - g_run.warmMalloc;
  }
  return r;
}

// Runs the decoder on path in a child; fills the report and the child's
// peak memory and CPU time.
bool Ours(const std::string &path, Report *r, long *rssKb, double *cpu) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Report rep = DecodeInChild(path);
    ssize_t w = write(fds[1], &rep, sizeof rep);
    _exit(w == static_cast<ssize_t>(sizeof rep) ? 0 : 1);
  }
  close(fds[1]);
  ssize_t n = read(fds[0], r, sizeof *r);
  close(fds[0]);
  int status = 0;
  struct rusage ru;
  wait4(pid, &status, 0, &ru);
  *rssKb = ru.ru_maxrss;
  *cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  return n == static_cast<ssize_t>(sizeof *r) && r->ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- ffmpeg's command line ----

int Spawn(const std::vector<std::string> &args, struct rusage *ru, double *wall) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const double start = Now();
  int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  wait4(pid, &status, 0, ru);
  *wall = Now() - start;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Cli(const std::string &path, int channels, long *rssKb, double *wall, double *cpu) {
  struct rusage ru;
  int rc = Spawn({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-i", path, "-ac",
                  std::to_string(channels), "-f", "s16le", "-"},
                 &ru, wall);
  *rssKb = ru.ru_maxrss;
  *cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  return rc == 0;
}

struct Made {
  std::string name, encode;
};

std::vector<std::string> MakeFiles(const std::string &dir, int seconds) {
  const Made kinds[] = {
      {"cbr128.mp3", "-c:a libmp3lame -b:a 128k"}, {"vbr.mp3", "-c:a libmp3lame -q:a 4"},
      {"vorbis.ogg", "-c:a libvorbis -q:a 4"},     {"lossless.flac", "-c:a flac"},
      {"aac.m4a", "-c:a aac -b:a 128k"},           {"wma2.wma", "-c:a wmav2 -b:a 128k"},
      {"pcm16.wav", "-c:a pcm_s16le"},
  };
  // Something like music: chords that move, a little noise, stereo.
  const std::string src = "-f lavfi -i \"aevalsrc=0.3*sin(2*PI*(220+20*sin(t))*t)+0.2*sin(2*PI*330*t)+0.05*(random(0)-0.5)|"
                          "0.3*sin(2*PI*(277+30*sin(0.7*t))*t)+0.2*sin(2*PI*440*t)+0.05*(random(1)-0.5):s=44100:d=" +
                          std::to_string(seconds) + "\"";
  std::vector<std::string> files;
  for (const Made &k : kinds) {
    std::string out = dir + "/" + k.name;
    std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y " + src + " " + k.encode + " '" + out + "'";
    if (std::system(cmd.c_str()) == 0) files.push_back(out);
    else std::fprintf(stderr, "bench_decode: could not make %s\n", k.name.c_str());
  }
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  int seconds = 60;
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atoi(argv[++i]);
    else files.push_back(argv[i]);
  }
  LogSetLevel(LOG_ERROR);
  std::string tmp;
  if (files.empty()) {
    char tmpl[] = "/tmp/bench-decode-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    tmp = tmpl;
    std::printf("making %d s test files in %s ...\n", seconds, tmp.c_str());
    files = MakeFiles(tmp, seconds);
  }
  if (BENCH_SANITIZED)
    std::printf("NOTE: built with a sanitizer; speed and memory are not representative (use host-release).\n");
  std::printf("\n%-14s %7s | %8s %8s %9s %9s %8s | %8s %8s %9s | %8s %9s\n", "file", "audio s", "ours x", "ours cpu",
              "peak MB", "+decoder", "heap MB", "ffmpeg x", "ff cpu", "peak MB", "new/s", "malloc/s");
  int failures = 0;
  for (const std::string &f : files) {
    Report r{};
    long rss = 0, ffRss = 0;
    double cpu = 0, ffWall = 0, ffCpu = 0;
    const std::string name = std::filesystem::path(f).filename().string();
    if (!Ours(f, &r, &rss, &cpu)) {
      std::printf("%-14s decoder failed\n", name.c_str());
      failures++;
      continue;
    }
    const int channels = [&] {
      AudioSource s = gfile;
      if (s.open(&s, f.c_str(), 0) < 0) return 2;
      FfAudioCtx *c = FfAudioOpen(&s, 32768, -1, -1, -1, 0);
      int ch = c ? c->out_channels : 2;
      FfAudioClose(c);
      s.close(&s);
      return ch;
    }();
    bool cliOk = Cli(f, channels, &ffRss, &ffWall, &ffCpu);
    char mallocs[32];
    if (BENCH_SANITIZED) std::snprintf(mallocs, sizeof mallocs, "n/a");
    else std::snprintf(mallocs, sizeof mallocs, "%.1f", r.steadySeconds > 0 ? r.steadyMalloc / r.steadySeconds : 0.0);
    std::printf("%-14s %7.1f | %8.0f %8.0f %9.1f %9.1f %8.2f | %8.0f %8.0f %9.1f | %8.1f %9s\n", name.c_str(),
                r.audioSeconds, r.audioSeconds / r.wall, r.audioSeconds / cpu, rss / 1024.0,
                (rss - r.baseRssKb) / 1024.0, r.heapKb / 1024.0,
                cliOk ? r.audioSeconds / ffWall : 0.0, cliOk ? r.audioSeconds / ffCpu : 0.0, ffRss / 1024.0,
                r.steadySeconds > 0 ? r.steadyNew / r.steadySeconds : 0.0, mallocs);
  }
  std::printf(
      "\nours x / ffmpeg x: seconds of audio decoded per second of wall-clock time (cpu: per second of CPU time).\n"
      "ffmpeg's figures include its own start-up (some tens of milliseconds per run).\n"
      "peak MB: the process's peak resident memory; +decoder: what opening and decoding added to it\n"
      "  (mostly FFmpeg's code and tables paged in); heap MB: heap in use while decoding.\n"
      "new/s: operator new calls per decoded second after %.0f s of warm-up: the decoder's own code\n"
      "  (conversion buffer that only grows, packet and frame reused): expected 0.\n"
      "malloc/s: every malloc-family call of the process in the same stretch. These are FFmpeg's:\n"
      "  av_read_frame allocates each packet's data, and decoders take a buffer reference from\n"
      "  their pools for each frame. Pool memory is reused; the peak memory does not grow with\n"
      "  the file's length.\n",
      kWarmupSeconds);
  if (!tmp.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(tmp, ec);
  }
  return failures ? 1 : 0;
}
