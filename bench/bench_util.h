// bench/bench_util.h: what every benchmark program measures with: the peak
// resident size, elapsed milliseconds, and a run in a child process so that
// each case's peak memory is its own.
#pragma once

#include "board/board.h"

#include <cstdint>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

// Peak resident set of this process in KiB.
inline long maxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Milliseconds since a BoardMonotonicUs() reading.
inline double msSince(int64_t from) { return static_cast<double>(BoardMonotonicUs() - from) / 1000.0; }

// Runs f in a child process and waits for it.
template <typename F>
void inChild(F f) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    f();
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
}

}  // namespace bench
