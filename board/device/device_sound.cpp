// The board's sound hardware: the OSS PCM device "/dev/dsp", the OSS mixer
// "/dev/mixer" and the control lines of the board's own pin driver, each
// reached by open + ioctl as its kernel driver expects.
#include "board/board.h"

#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <linux/soundcard.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr char kDsp[] = "/dev/dsp";
constexpr char kMixer[] = "/dev/mixer";

// Requests of the pin driver: the argument is a pair {mode, value}.
constexpr unsigned long kGpioSetMode = 0x80085d78;
constexpr unsigned long kGpioWrite = 0x80085d7a;
constexpr unsigned long kGpioRead = 0x40085d7b;

int ioctlRetry(int fd, unsigned long request, void *arg) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r;
}

// Rate, channels, format, in this order: the driver derives its fragment
// layout from them as they arrive.
int setParams(int fd, int rate, int channels) {
  int v = rate;
  if (ioctlRetry(fd, SNDCTL_DSP_SPEED, &v) < 0) return -2;
  v = channels;
  if (ioctlRetry(fd, SNDCTL_DSP_CHANNELS, &v) < 0) return -3;
  v = AFMT_S16_LE;
  if (ioctlRetry(fd, SNDCTL_DSP_SETFMT, &v) < 0) return -4;
  return 0;
}

}  // namespace

int BoardDspOpen(int rate, int channels, int record) {
  int fd = open(kDsp, (record ? O_RDONLY : O_WRONLY | O_NONBLOCK) | O_CLOEXEC);
  if (fd < 0) return -1;
  int r = setParams(fd, rate, channels);
  if (r < 0) {
    close(fd);
    return r;
  }
  return fd;
}

int BoardDspSetParams(int fd, int rate, int channels) {
  if (fd < 0) return -1;
  return setParams(fd, rate, channels);
}

int BoardDspGetSpace(int fd, BoardDspSpace *space) {
  if (fd < 0 || !space) return -1;
  audio_buf_info info{};
  if (ioctlRetry(fd, SNDCTL_DSP_GETOSPACE, &info) < 0) return -1;
  space->fragments = info.fragments;
  space->fragstotal = info.fragstotal;
  space->fragsize = info.fragsize;
  space->bytes = info.bytes;
  return 0;
}

int BoardDspWrite(int fd, const void *pcm, int len) {
  if (fd < 0 || !pcm || len < 0) return -1;
  for (;;) {
    ssize_t n = write(fd, pcm, static_cast<size_t>(len));
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN ? -3 : -1;
  }
}

int BoardDspReset(int fd) {
  if (fd < 0) return -1;
  return ioctlRetry(fd, SNDCTL_DSP_RESET, nullptr) < 0 ? -1 : 0;
}

int BoardDspRead(int fd, void *pcm, int len) {
  if (fd < 0 || !pcm || len < 0) return -1;
  for (;;) {
    ssize_t n = read(fd, pcm, static_cast<size_t>(len));
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return -1;
  }
}

void BoardDspClose(int fd) {
  if (fd >= 0) close(fd);
}

int BoardMixerOpen(void) { return open(kMixer, O_RDWR | O_CLOEXEC); }

int BoardMixerWrite(int fd, int control, int value) {
  if (fd < 0 || control < 0 || control > 0xff) return -1;
  int v = value;
  return ioctlRetry(fd, MIXER_WRITE(control), &v) < 0 ? -1 : 0;
}

void BoardMixerClose(int fd) {
  if (fd >= 0) close(fd);
}

int BoardGpioFunc(const char *path, int func, int *value) {
  if (!path || !value) return -1;
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  int pair[2] = {1, *value};
  int r = -1;
  switch (func) {
    case 0:
      pair[0] = 0;
      r = ioctlRetry(fd, kGpioSetMode, pair);
      break;
    case 1:
      r = ioctlRetry(fd, kGpioSetMode, pair);
      break;
    case 2:
      r = ioctlRetry(fd, kGpioRead, pair);
      if (r >= 0) *value = pair[1];
      break;
    case 3:
      r = ioctlRetry(fd, kGpioWrite, pair);
      break;
    default:
      break;
  }
  close(fd);
  return r < 0 ? -1 : 0;
}

void BoardSoundEvent(const char *format, ...) {}
