// Whole-file reads and writes of the test programs, and where the sample
// books are.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes bytes to path, replacing it; false when it cannot.
inline bool WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

// The sample books: TB_SAMPLES_DIR from the environment when set, else the
// tree's own third_party/samples (the folder the build names).
inline std::string SamplesDir() {
  const char *env = std::getenv("TB_SAMPLES_DIR");
  return env && *env ? env : TB_SAMPLES_DIR;
}
