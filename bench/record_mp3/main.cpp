// Cost of MP3 recording: how much faster than real time the recorder's
// MP3 codec (LAME at 128 kbit/s, quality 7, no tag) encodes, and the share
// of one core it takes while recording in real time, for the microphone
// (22050 Hz mono) and the line input (44100 Hz stereo); beside the lame
// command line encoding the same PCM with the same settings.
//   bench_record_mp3 [seconds]      (default 60 s of audio per case)
#include "bench/bench_util.h"
#include "record/record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// A voice-like signal: a wandering tone with harmonics and a little noise.
std::vector<int16_t> makePcm(int rate, int ch, int seconds) {
  std::vector<int16_t> pcm(static_cast<size_t>(rate) * ch * seconds);
  double phase = 0;
  unsigned seed = 1;
  for (size_t f = 0; f < pcm.size() / ch; f++) {
    double t = static_cast<double>(f) / rate;
    phase += 2 * M_PI * (180 + 60 * std::sin(t * 3)) / rate;
    seed = seed * 1103515245 + 12345;
    double v = 6000 * std::sin(phase) + 3000 * std::sin(2 * phase) + 1500 * std::sin(3 * phase) +
               static_cast<double>(seed >> 16 & 0x3ff) - 512;
    for (int c = 0; c < ch; c++) pcm[f * ch + c] = static_cast<int16_t>(v);
  }
  return pcm;
}

// Encodes through the recorder's codec into path. Returns {wall s, cpu s}.
std::pair<double, double> ours(const std::vector<int16_t> &pcm, int rate, int ch, const std::string &path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int64_t t0 = BoardMonotonicUs();
  double c0 = cpuSeconds();
  void *h = LameMp3Encode.init(fd, ch, 16, rate);
  const auto *bytes = reinterpret_cast<const unsigned char *>(pcm.data());
  size_t total = pcm.size() * 2;
  for (size_t at = 0; h && at < total; at += kRecBlock) {
    const unsigned char *out = nullptr;
    int n = LameMp3Encode.encode(h, bytes + at, static_cast<int>(std::min<size_t>(kRecBlock, total - at)), ch, &out);
    if (n > 0 && write(fd, out, static_cast<size_t>(n)) != n) break;
  }
  if (h) {
    const unsigned char *out = nullptr;
    int n = LameMp3Encode.flush(h, &out);
    if (n > 0 && write(fd, out, static_cast<size_t>(n)) != n) std::printf("short write\n");
    LameMp3Encode.finish(h, fd);
    LameMp3Encode.deinit(h);
  }
  close(fd);
  return {bench::msSince(t0) / 1000.0, cpuSeconds() - c0};
}

// The lame command line on the same raw PCM. Returns {wall s, cpu s}, or
// negative when it cannot run.
std::pair<double, double> cli(const std::vector<int16_t> &pcm, int rate, int ch, const std::string &dir) {
  std::string raw = dir + "/in.raw", out = dir + "/cli.mp3";
  FILE *f = std::fopen(raw.c_str(), "wb");
  if (!f) return {-1, -1};
  std::fwrite(pcm.data(), 2, pcm.size(), f);
  std::fclose(f);
  char khz[16];
  std::snprintf(khz, sizeof khz, "%g", rate / 1000.0);
  int64_t t0 = BoardMonotonicUs();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execlp("lame", "lame", "-r", "-s", khz, "--bitwidth", "16", "--signed", "--little-endian", "-m",
           ch == 1 ? "m" : "s", "-b", "128", "-q", "7", "-t", "--resample", khz, raw.c_str(), out.c_str(),
           static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (pid < 0 || wait4(pid, &status, 0, &ru) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, -1};
  double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  return {bench::msSince(t0) / 1000.0, cpu};
}

}  // namespace

int main(int argc, char **argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  if (seconds < 1) seconds = 60;
  char dir[] = "/tmp/bench-record-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::printf("MP3 encoding of %d s of audio, 128 kbit/s, quality 7 (real-time factor = audio / wall time;\n"
              "core share = CPU time / audio time, what recording in real time costs)\n\n", seconds);
  std::printf("%-22s %-14s %10s %10s %12s\n", "input", "encoder", "wall s", "rt factor", "core share");
  struct Case {
    const char *name;
    int rate, ch;
  };
  for (Case c : {Case{"mic 22050 Hz mono", 22050, 1}, Case{"line 44100 Hz stereo", 44100, 2}}) {
    std::vector<int16_t> pcm = makePcm(c.rate, c.ch, seconds);
    auto [wall, cpu] = ours(pcm, c.rate, c.ch, std::string(dir) + "/ours.mp3");
    std::printf("%-22s %-14s %10.3f %10.1f %11.1f%%\n", c.name, "recorder", wall, seconds / wall, 100 * cpu / seconds);
    auto [cwall, ccpu] = cli(pcm, c.rate, c.ch, dir);
    if (cwall < 0) std::printf("%-22s %-14s %10s\n", c.name, "lame CLI", "(not installed)");
    else std::printf("%-22s %-14s %10.3f %10.1f %11.1f%%\n", c.name, "lame CLI", cwall, seconds / cwall, 100 * ccpu / seconds);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
