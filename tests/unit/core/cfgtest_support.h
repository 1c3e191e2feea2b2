// Helpers of the configuration, key, hot-plug and battery tests: a fresh
// board root per test, the spoken transcript, waiting for another thread.
#pragma once

#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/key.h"
#include "support/transcript.h"
#include "support/wait.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cfgtest {

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

// The board's file system for one test, removed afterwards. Keys come from
// an empty script, so no test reads the terminal.
class TempRoot {
 public:
  TempRoot() : saved_(BoardHostGetOptions()) {
    std::string tmpl = ::testing::TempDir() + "tb-cfgtest-XXXXXX";
    char *made = mkdtemp(tmpl.data());
    dir_ = made ? made : "";
    BoardHostOptions o;
    o.root = dir_;
    o.keys = "/dev/null";
    o.audio = "null";
    o.vkeyPort = FreePort();
    BoardHostConfigure(o);
  }
  // The root in use before this one comes back.
  ~TempRoot() {
    BoardHostConfigure(saved_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempRoot(const TempRoot &) = delete;
  TempRoot &operator=(const TempRoot &) = delete;

  // A system path ("/home/q7cfg.xml") inside this root.
  std::string Path(const std::string &p) const { return dir_ + p; }

  void Write(const std::string &p, const std::string &content) const {
    std::filesystem::create_directories(std::filesystem::path(Path(p)).parent_path());
    std::ofstream(Path(p), std::ios::binary | std::ios::trunc) << content;
  }

  std::string Read(const std::string &p) const {
    std::ifstream in(Path(p), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool Exists(const std::string &p) const { return std::filesystem::exists(Path(p)); }

 private:
  BoardHostOptions saved_;
  std::string dir_;
};

// The texts spoken since the root was set up, in order.
inline std::vector<std::string> Transcript() { return TranscriptLines(nullptr); }

using ::WaitFor;

// Takes the next key without blocking for ever.
inline bool TakeKey(KeyBuffer *buf, KeyEvent *out, int ms = 0) {
  auto queued = [buf] {
    std::scoped_lock lock(buf->mutex);
    return buf->wr != buf->rd;
  };
  if (!(ms > 0 ? WaitFor(queued, ms) : queued())) return false;
  return KeyBufferRead(buf, out) == 0;
}

// Every key queued now, as codes.
inline std::vector<int> DrainCodes(KeyBuffer *buf) {
  std::vector<int> codes;
  KeyEvent e;
  while (TakeKey(buf, &e)) codes.push_back(e.code);
  return codes;
}

}  // namespace cfgtest
