// Shared by the sound tests: a fresh host board root per test, readers for
// the host device's sound.log and out.wav.
#pragma once

#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/config.h"
#include "core/runtime/machine.h"
#include "sound/sound.h"
#include "support/wav.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace soundtest {

// One line of sound.log: time in ms, then words; key=value words also land
// in `kv`.
struct LogLine {
  double ms = 0;
  std::vector<std::string> words;
  std::map<std::string, std::string> kv;
  bool has(const std::string &w) const {
    for (const auto &x : words)
      if (x == w) return true;
    return false;
  }
  long num(const std::string &key, long dflt = -99999) const {
    auto it = kv.find(key);
    return it == kv.end() ? dflt : std::strtol(it->second.c_str(), nullptr, 10);
  }
  double real(const std::string &key) const {
    auto it = kv.find(key);
    return it == kv.end() ? -1 : std::strtod(it->second.c_str(), nullptr);
  }
};

inline std::vector<LogLine> ReadSoundLog() {
  std::vector<LogLine> out;
  std::ifstream f(BoardHostFile("sound.log"));
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    LogLine l;
    in >> l.ms;
    std::string w;
    while (in >> w) {
      l.words.push_back(w);
      auto eq = w.find('=');
      if (eq != std::string::npos) l.kv[w.substr(0, eq)] = w.substr(eq + 1);
    }
    out.push_back(l);
  }
  return out;
}

// out.wav's samples (44100 Hz stereo), or empty.
inline std::vector<int16_t> ReadOutWav() {
  std::ifstream f(BoardHostFile("out.wav"), std::ios::binary);
  std::vector<char> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<int16_t> s;
  if (data.size() < 44) return s;
  s.resize((data.size() - 44) / 2);
  for (size_t i = 0; i < s.size(); i++)
    s[i] = static_cast<int16_t>(static_cast<unsigned char>(data[44 + 2 * i]) |
                                static_cast<unsigned char>(data[45 + 2 * i]) << 8);
  return s;
}

// Writes a 16-bit PCM WAV file.
inline void WriteWav(const std::string &path, int rate, int ch, const std::vector<int16_t> &s) {
  std::ofstream(path, std::ios::binary) << Wav16(rate, ch, s);
}

// A fresh root with the WAV outlet, the given hardware version and the
// layer started.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override { StartBoard(32); }

  void StartBoard(int hardVer, bool init = true) {
    char tmpl[] = "/tmp/tb-sound-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/dev");
    BoardHostOptions o;
    o.root = root_;
    o.audio = "wav";
    ASSERT_EQ(BoardHostConfigure(o), 0);
    HardVer = hardVer;
    if (init) {
      ASSERT_EQ(sound_init(), 0);
    }
  }

  void TearDown() override {
    SoundHandle live{};
    SoundGetHandles(&live, nullptr);
    if (live.is_insert) sound_iclose(live.id);
    SoundGetHandles(&live, nullptr);
    if (live.id) sound_close(live.id);
    sound_close_fm();
    HostSoundReset();
    std::error_code ec;
    // TB_KEEP_ROOT=1 keeps the root (sound.log, out.wav) for a look afterwards.
    if (!getenv("TB_KEEP_ROOT")) std::filesystem::remove_all(root_, ec);
  }

  // Level written to a routing line file, or -1.
  int Line(const char *path) {
    std::ifstream f(root_ + path);
    int v = -1;
    f >> v;
    return v;
  }
  void SetLine(const char *path, int v) { std::ofstream(root_ + path) << v << "\n"; }

  std::string root_;
};

}  // namespace soundtest
