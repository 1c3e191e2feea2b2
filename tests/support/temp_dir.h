// A temporary folder on this machine (not a board root), removed when the
// test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/talkbook-test-XXXXXX";
    if (char *d = mkdtemp(tmpl)) path_ = d;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  std::string operator/(const std::string &name) const { return file(name); }
  // Writes bytes to name inside the folder; false when it cannot.
  bool write(const std::string &name, const std::string &bytes) const {
    std::ofstream f(file(name), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
  }

 private:
  std::string path_;
};
