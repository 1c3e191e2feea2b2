// A fresh root folder for the host board, removed when the test ends; the
// board set up before it comes back then. Keys come from an empty script,
// so no test reads the terminal, and the key server of the root listens on
// a loopback port free when the root was made, so that test programs run
// side by side.
#pragma once

#include "board/host/host.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A loopback port nobody listens on right now.
inline int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

class TempRoot {
 public:
  TempRoot() : saved_(BoardHostGetOptions()) {
    char tmpl[] = "/tmp/talkbook-unit-XXXXXX";
    const char *made = mkdtemp(tmpl);
    path_ = made ? made : "/tmp/talkbook-unit-fallback";
    for (const char *d : {"home", "mnt/emmc", "mnt/sdcard", "proc", "tmp"})
      std::filesystem::create_directories(path_ + "/" + d);
    BoardHostOptions o;
    o.root = path_;
    o.keys = "/dev/null";
    o.audio = "null";
    o.vkeyPort = FreePort();
    BoardHostConfigure(o);
  }
  ~TempRoot() {
    BoardHostConfigure(saved_);
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
  BoardHostOptions saved_;
  std::string path_;
};
