// The player's own board: fixed paths are real paths, shell commands run
// through system(), keys come from the kernel's input device.
#include "board/board.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

int BoardInit(int argc, char **argv) { return 0; }

void BoardDeInit(void) {}

int BoardMapPath(const char *path, char *out, int size) {
  if (!path || !out || size <= 0) return -1;
  int n = static_cast<int>(std::strlen(path));
  if (n >= size) return -1;
  std::memcpy(out, path, static_cast<size_t>(n) + 1);
  return n;
}

std::string BoardPath(const char *path) { return path ? path : ""; }

int BoardRunShell(const char *command) { return command ? std::system(command) : -1; }

int BoardPopen(const char *command, char *out, int size) {
  if (!command || !out || size <= 0) return -1;
  FILE *pipe = popen(command, "r");
  if (!pipe) return -1;
  size_t used = 0;
  char drain[4096];
  for (;;) {
    size_t room = static_cast<size_t>(size) - 1 - used;
    char *dst = room ? out + used : drain;
    size_t n = std::fread(dst, 1, room ? room : sizeof drain, pipe);
    if (n == 0) break;
    if (room) used += n;
  }
  out[used] = '\0';
  pclose(pipe);  // the output is the answer; the exit status adds nothing
  return static_cast<int>(used);
}

int BoardGetTimeOfDay(struct timeval *tv) { return tv && gettimeofday(tv, nullptr) == 0 ? 0 : -1; }

int BoardSetTimeOfDay(const struct timeval *tv) { return tv && settimeofday(tv, nullptr) == 0 ? 0 : -1; }

time_t BoardTime(void) { return time(nullptr); }

int64_t BoardMonotonicUs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int BoardInputOpen(void) { return open("/dev/input/event0", O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

void BoardInputClose(int fd) {
  if (fd >= 0) close(fd);
}

int BoardVkeyPort(void) { return 5020; }

void BoardTranscript(const char *voice, const char *text) {}

int BoardDeviceIoctl(const char *path, unsigned long request, void *arg) {
  if (!path) return -1;
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  int r = ioctl(fd, request, arg);
  close(fd);
  return r < 0 ? -2 : r;
}

int BoardIsMountPoint(const char *path) {
  if (!path) return -1;
  struct stat self, parent;
  std::string up = std::string(path) + "/..";
  if (stat(path, &self) != 0 || stat(up.c_str(), &parent) != 0) return -1;
  return self.st_dev != parent.st_dev ? 1 : 0;
}

int BoardIsBlockDevice(const char *path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISBLK(st.st_mode) ? 1 : 0;
}

int64_t BoardFreeBytes(const char *path) {
  struct statfs fs;
  if (!path || statfs(path, &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_bsize);
}

int BoardFsBlockSize(const char *path) {
  struct statfs fs;
  if (!path || statfs(path, &fs) != 0) return -1;
  return static_cast<int>(fs.f_bsize);
}

// The record key is the pin in line 7 of the GPIO listing; its first word
// is the level in hexadecimal, bit 0 clear while the key is held.
int BoardRecordKeyHeld(void) {
  if (std::system("cat /proc/jz/gpio/gpios | awk 'NR==7{ print $1}' > /tmp/mic") != 0) return -1;
  FILE *f = std::fopen("/tmp/mic", "r");
  if (!f) return -1;
  char buf[32] = "";
  bool got = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!got) return -1;
  char *end = nullptr;
  unsigned long v = std::strtoul(buf, &end, 16);
  if (end == buf || *end != '\n') {
    std::printf("RecordCont error: buf=%s, *p=0x%02x\n", buf, static_cast<unsigned char>(end ? *end : 0));
    return -1;
  }
  return (v & 1) ? 0 : 1;
}
