// The host board's real-time clock wake alarm: a file under the root holds
// the time the board would switch itself on, and the command log records
// each programming so that a story can see it.
#include "board/board.h"
#include "board/host/host.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

int BoardRtcSetWakeAlarm(time_t when) {
  std::string path = BoardPath("/sys/class/rtc/rtc0/wakealarm");
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) return -1;
  std::fprintf(f, "%lld\n", static_cast<long long>(when));
  int r = std::fclose(f) == 0 ? 0 : -2;
  struct tm tm{};
  gmtime_r(&when, &tm);
  if (FILE *log = std::fopen(BoardHostFile("commands.txt").c_str(), "a")) {
    std::fprintf(log, "rtc wakealarm %04d-%02d-%02d %02d:%02d:%02d\n", tm.tm_year + 1900, tm.tm_mon + 1,
                 tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::fclose(log);
  }
  return r;
}
