// The board's I2C bus, through the kernel's i2c-dev interface: every call
// is one I2C_RDWR transaction of one or two messages.
#include "board/board.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

int BoardI2cOpen(const char *bus) {
  if (!bus) return -1;
  int fd = open(bus, O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  // Time-out and retries are advice to the adapter; one that refuses them still works.
  ioctl(fd, I2C_TIMEOUT, 2);
  ioctl(fd, I2C_RETRIES, 1);
  return fd;
}

void BoardI2cClose(int fd) {
  if (fd >= 0) close(fd);
}

int BoardI2cTransfer(int fd, int addr, const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) {
  if (fd < 0 || txlen < 0 || rxlen < 0 || txlen + rxlen == 0 || (txlen && !tx) || (rxlen && !rx)) {
    errno = EINVAL;
    return -1;
  }
  struct i2c_msg msgs[2];
  int n = 0;
  if (txlen) msgs[n++] = {static_cast<__u16>(addr), 0, static_cast<__u16>(txlen), const_cast<unsigned char *>(tx)};
  if (rxlen) msgs[n++] = {static_cast<__u16>(addr), I2C_M_RD, static_cast<__u16>(rxlen), rx};
  struct i2c_rdwr_ioctl_data data = {msgs, static_cast<__u32>(n)};
  return ioctl(fd, I2C_RDWR, &data) < 0 ? -1 : 0;
}

void BoardI2cWaitMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
