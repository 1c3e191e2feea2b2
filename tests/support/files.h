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

// A file of the source tree, rel starting with "/": under TB_SOURCE_DIR
// from the environment (CTest sets it), else under the tree the program was
// built in (build/<preset>/tests/<program>). A run-time value rather than a
// compile-time one, so that the compiler cache serves every clone alike.
inline std::string SourcePath(const std::string &rel) {
  static const std::string root = [] {
    const char *env = std::getenv("TB_SOURCE_DIR");
    if (env && *env) return std::string(env);
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return exe.parent_path().parent_path().parent_path().parent_path().string();
  }();
  return root + rel;
}

// The sample books: TB_SAMPLES_DIR from the environment when set, else the
// tree's own third_party/samples.
inline std::string SamplesDir() {
  const char *env = std::getenv("TB_SAMPLES_DIR");
  return env && *env ? std::string(env) : SourcePath("/third_party/samples");
}
