// The host board's model of the board's control drivers and of its storage
// state. Everything is a plain file under the root that a test writes or
// reads:
//
//   root/dev/led, root/dev/motor   one line, the driver's state: "on", "off",
//                                  or "delay T" (switched on for T, timed by
//                                  the driver)
//   root/dev/charg_set             one line "MODE VALUE", the charge pin:
//                                  "1 1" low charge current, "1 0" high
//   root/proc/mounts               the mounted file systems, one per line as
//                                  the kernel lists them ("DEV MOUNTPOINT
//                                  TYPE ..."; a line of one word names the
//                                  mount point alone). No file: nothing is
//                                  mounted.
//   root/dev/mmcblk1p1             exists (any kind of file): the card's
//                                  partition exists, as a block device would
//   root/proc/diskfree             simulated free space, one line per file
//                                  system "MOUNTPOINT BYTES [BLOCK]"; a path
//                                  under a listed mount point (the longest
//                                  that holds it) has that many bytes free
//                                  in units of BLOCK bytes (default 1),
//                                  any other the real file system's figures
//
// A control request that writes creates the device file (and root/dev) when
// it is missing and replaces its line; a request that reads parses the line.
// Request numbers are the board drivers' own. One mutex serialises the
// requests, which come from the main loop and the virtual-key server.
#include "board/board.h"
#include "board/host/host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/statfs.h>

namespace {

std::mutex g_mutex;

constexpr unsigned long kOn = 0x80045d7c;        // int 100
constexpr unsigned long kOnDelay = 0x80045d7d;   // int t
constexpr unsigned long kOff = 0x80045d7e;       // int 100
constexpr unsigned long kStatus = 0x40045b7f;    // int, filled
constexpr unsigned long kPinSet = 0x80085d78;    // {mode, value}
constexpr unsigned long kPinGet = 0x40085d7b;    // {mode, value}, filled
constexpr unsigned long kPinValue = 0x80085d7a;  // {mode, value}: value only

bool readLine(const std::string &file, std::string *line) {
  std::ifstream in(file);
  if (!in) return false;
  std::getline(in, *line);
  return true;
}

bool writeLine(const std::string &file, const std::string &line) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  std::ofstream out(file, std::ios::trunc);
  if (!out) return false;
  out << line << "\n";
  return static_cast<bool>(out.flush());
}

}  // namespace

int BoardDeviceIoctl(const char *path, unsigned long request, void *arg) {
  if (!path || !arg) return -1;
  std::string file = BoardPath(path);
  std::scoped_lock lock(g_mutex);
  std::string line;
  bool have = readLine(file, &line);
  int *words = static_cast<int *>(arg);
  switch (request) {
    case kOn:
      return writeLine(file, "on") ? 0 : -1;
    case kOnDelay:
      return writeLine(file, "delay " + std::to_string(words[0])) ? 0 : -1;
    case kOff:
      return writeLine(file, "off") ? 0 : -1;
    case kStatus:
      if (!have) return -1;
      words[0] = line.rfind("on", 0) == 0 || line.rfind("delay", 0) == 0 ? 1 : 0;
      return 0;
    case kPinSet:
      return writeLine(file, std::to_string(words[0]) + " " + std::to_string(words[1])) ? 0 : -1;
    case kPinValue: {
      int mode = 1, value = 0;
      if (have) std::sscanf(line.c_str(), "%d %d", &mode, &value);
      return writeLine(file, std::to_string(mode) + " " + std::to_string(words[1])) ? 0 : -1;
    }
    case kPinGet:
      if (!have) return -1;
      if (std::sscanf(line.c_str(), "%d %d", &words[0], &words[1]) != 2) return -2;
      return 0;
    default:
      errno = ENOTTY;
      return have ? -2 : -1;
  }
}

int BoardIsMountPoint(const char *path) {
  if (!path) return -1;
  std::ifstream in(BoardPath("/proc/mounts"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    const std::string &mountPoint = second.empty() ? first : second;
    if (!mountPoint.empty() && mountPoint == path) return 1;
  }
  return 0;
}

namespace {

// The simulated line of root/proc/diskfree for path: free bytes and block
// size (0 when the line gives none). False when no line holds path.
bool simulatedDisk(const char *path, long long *bytes, long long *block) {
  std::ifstream in(BoardPath("/proc/diskfree"));
  std::string line;
  size_t best = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string mountPoint;
    long long value, unit = 0;
    if (!(words >> mountPoint >> value)) continue;
    words >> unit;
    size_t n = mountPoint.size();
    bool holds = std::strncmp(path, mountPoint.c_str(), n) == 0 && (path[n] == '\0' || path[n] == '/');
    if (holds && n > best) {
      best = n;
      *bytes = value;
      *block = unit;
    }
  }
  return best > 0;
}

}  // namespace

int64_t BoardFreeBytes(const char *path) {
  if (!path) return -1;
  long long bytes, block;
  if (simulatedDisk(path, &bytes, &block)) return bytes;
  struct statfs fs;
  if (statfs(BoardPath(path).c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_bsize);
}

int BoardFsBlockSize(const char *path) {
  if (!path) return -1;
  long long bytes, block;
  if (simulatedDisk(path, &bytes, &block)) return block > 0 ? static_cast<int>(block) : 1;
  struct statfs fs;
  if (statfs(BoardPath(path).c_str(), &fs) != 0) return -1;
  return static_cast<int>(fs.f_bsize);
}

int BoardIsBlockDevice(const char *path) {
  if (!path) return 0;
  std::error_code ec;
  return std::filesystem::exists(BoardPath(path), ec) ? 1 : 0;
}
