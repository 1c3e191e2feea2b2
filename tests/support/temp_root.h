// A fresh root folder for the host board, removed when the test ends.
#pragma once

#include "board/host/host.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempRoot {
 public:
  TempRoot() {
    char tmpl[] = "/tmp/talkbook-unit-XXXXXX";
    const char *made = mkdtemp(tmpl);
    path_ = made ? made : "/tmp/talkbook-unit-fallback";
    for (const char *d : {"home", "mnt/emmc", "mnt/sdcard", "proc", "tmp"})
      std::filesystem::create_directories(path_ + "/" + d);
    BoardHostOptions o;
    o.root = path_;
    o.audio = "null";
    BoardHostConfigure(o);
  }
  ~TempRoot() {
    BoardHostConfigure(BoardHostOptions{});
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempRoot(const TempRoot &) = delete;
  TempRoot &operator=(const TempRoot &) = delete;

  const std::string &path() const { return path_; }
  // The real path of a fixed path of the board ("/home/x" -> ROOT/home/x).
  std::string at(const std::string &fixed) const { return path_ + fixed; }

  void write(const std::string &fixed, const std::string &content) const {
    std::filesystem::create_directories(std::filesystem::path(at(fixed)).parent_path());
    std::ofstream(at(fixed), std::ios::binary) << content;
  }
  std::string read(const std::string &fixed) const {
    std::ifstream in(at(fixed), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string &fixed) const { return std::filesystem::exists(at(fixed)); }

 private:
  std::string path_;
};
