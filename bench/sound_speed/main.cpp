// Prints how many times faster than real time the tempo processors (speech
// and music settings) and the equalizer run, and beside them the library's
// own soundstretch tool on the same input (its time includes reading and
// writing the WAV files and starting the process).
//   bench_sound_speed [SECONDS]     length of each input, default 20
#include "board/board.h"
#include "sound/af_equalizer.h"
#include "sound/sound_speed.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Input {
  const char *name;
  int rate, ch;
  std::vector<short> pcm;
};

// Speech-like: a buzz of harmonics whose pitch glides, in syllables.
Input Speech(int seconds) {
  Input in{"speech 16 kHz mono", 16000, 1, {}};
  int n = in.rate * seconds;
  in.pcm.resize(static_cast<size_t>(n));
  double phase = 0;
  for (int i = 0; i < n; i++) {
    double t = static_cast<double>(i) / in.rate;
    double f0 = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
    phase += 2 * M_PI * f0 / in.rate;
    double v = 0;
    for (int h = 1; h <= 12; h++) v += std::sin(h * phase) / h;
    double syllable = std::max(0.0, std::sin(2 * M_PI * 4 * t));
    in.pcm[static_cast<size_t>(i)] = static_cast<short>(6000 * v * syllable);
  }
  return in;
}

// Music-like: a chord with a beat and some noise, different in each channel.
Input Music(int seconds) {
  Input in{"music 44.1 kHz stereo", 44100, 2, {}};
  int n = in.rate * seconds;
  in.pcm.resize(static_cast<size_t>(n) * 2);
  uint32_t seed = 1;
  for (int i = 0; i < n; i++) {
    double t = static_cast<double>(i) / in.rate;
    double beat = 0.6 + 0.4 * std::exp(-8 * std::fmod(t, 0.5));
    seed = seed * 1664525 + 1013904223;
    double noise = (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.1;
    double l = std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 277.2 * t) + noise;
    double r = std::sin(2 * M_PI * 329.6 * t) + 0.5 * std::sin(2 * M_PI * 440 * t) + noise;
    in.pcm[static_cast<size_t>(2 * i)] = static_cast<short>(8000 * beat * l);
    in.pcm[static_cast<size_t>(2 * i + 1)] = static_cast<short>(8000 * beat * r);
  }
  return in;
}

double Seconds(const Input &in) { return static_cast<double>(in.pcm.size()) / in.ch / in.rate; }

// Tempo +50 % through processor n in the chunks its producer uses.
double TempoFactor(const Input &in, int n, int chunkFrames) {
  SoundSpeed_Init();
  SoundSpeed_SetSampleRate(n, in.rate);
  SoundSpeed_SetChannels(n, in.ch);
  SoundSpeed_SetSpeed(n, 50);
  std::vector<short> out(static_cast<size_t>(65536));
  int outFrames = 65536 / in.ch;
  int frames = static_cast<int>(in.pcm.size()) / in.ch;
  int64_t start = BoardMonotonicUs();
  long produced = 0;
  for (int off = 0; off < frames; off += chunkFrames) {
    int len = std::min(chunkFrames, frames - off);
    int got = SoundSpeed(n, in.pcm.data() + static_cast<size_t>(off) * in.ch, len, out.data(), outFrames);
    if (got > 0) produced += got;
  }
  SoundSpeed_Flush(n);
  for (int got; (got = SoundSpeed_Receive(n, out.data(), outFrames)) > 0;) produced += got;
  double secs = static_cast<double>(BoardMonotonicUs() - start) / 1e6;
  if (produced <= 0) return 0;
  return Seconds(in) / secs;
}

double EqualizerFactor(const Input &in) {
  std::vector<short> pcm = in.pcm;
  af_equalizer_init(in.rate, in.ch, 4);
  const int chunk = 4096 / 2;  // samples of one 4096-byte block
  int64_t start = BoardMonotonicUs();
  for (size_t off = 0; off < pcm.size(); off += chunk) {
    int len = static_cast<int>(std::min<size_t>(chunk, pcm.size() - off));
    af_equalizer_play(pcm.data() + off, len * 2);
  }
  double secs = static_cast<double>(BoardMonotonicUs() - start) / 1e6;
  af_equalizer_deinit();
  return Seconds(in) / secs;
}

void WriteWav(const std::string &path, const Input &in) {
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; i++) f.put(static_cast<char>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { f.put(static_cast<char>(v & 0xff)); f.put(static_cast<char>(v >> 8)); };
  uint32_t bytes = static_cast<uint32_t>(in.pcm.size() * 2);
  f.write("RIFF", 4); u32(36 + bytes); f.write("WAVEfmt ", 8); u32(16); u16(1);
  u16(static_cast<uint16_t>(in.ch)); u32(static_cast<uint32_t>(in.rate));
  u32(static_cast<uint32_t>(in.rate * in.ch * 2)); u16(static_cast<uint16_t>(in.ch * 2)); u16(16);
  f.write("data", 4); u32(bytes);
  f.write(reinterpret_cast<const char *>(in.pcm.data()), static_cast<std::streamsize>(bytes));
}

// soundstretch on the same input; 0 when the tool is missing or fails.
double SoundstretchFactor(const Input &in, const std::string &dir, bool speech) {
  std::string src = dir + "/in.wav", dst = dir + "/out.wav";
  WriteWav(src, in);
  std::vector<std::string> args = {"soundstretch", src, dst, "-tempo=50"};
  if (speech) args.push_back("-speech");
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  int64_t start = BoardMonotonicUs();
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "soundstretch", &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return 0;
  int status = 0;
  waitpid(pid, &status, 0);
  double secs = static_cast<double>(BoardMonotonicUs() - start) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
  return Seconds(in) / secs;
}

void PrintFactor(double f) {
  if (f > 0) {
    std::printf("  %10.0fx", f);
  } else {
    std::printf("  %11s", "n/a");
  }
}

}  // namespace

int main(int argc, char **argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (seconds < 1 || seconds > 600) seconds = 20;
  char tmpl[] = "/tmp/bench-sound-XXXXXX";
  std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";

  Input speech = Speech(seconds), music = Music(seconds);
  double f[2][3] = {
      {TempoFactor(speech, 1, 1060), SoundstretchFactor(speech, dir, true), EqualizerFactor(speech)},
      {TempoFactor(music, 2, 1024), SoundstretchFactor(music, dir, false), EqualizerFactor(music)},
  };
  const char *rows[2] = {"speech settings (0/1)", "music settings (2)"};
  const char *names[2] = {speech.name, music.name};
  std::printf("\nReal-time factor (seconds of audio per second of processing), %d s inputs, tempo +50 %%\n", seconds);
  std::printf("%-24s  %11s  %11s  %11s\n", "", "tempo", "soundstretch", "equalizer");
  for (int r = 0; r < 2; r++) {
    std::printf("%-24s", rows[r]);
    for (double v : f[r]) PrintFactor(v);
    std::printf("   %s\n", names[r]);
  }
  std::printf("soundstretch: -tempo=50 (-speech for speech), whole process including WAV file I/O;\n"
              "equalizer: preset 4, 4096-byte blocks\n");

  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
