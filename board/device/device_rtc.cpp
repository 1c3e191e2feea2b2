// The board's real-time clock: the wake alarm that switches the device on.
#include "board/board.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <linux/rtc.h>
#include <sys/ioctl.h>
#include <unistd.h>

int BoardRtcSetWakeAlarm(time_t when) {
  const char *dev = "/dev/rtc0";
  int fd = open(dev, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::printf("error on open device file: %s\n", dev);
    return -1;
  }
  struct tm tm{};
  gmtime_r(&when, &tm);
  struct rtc_wkalrm alarm{};
  alarm.enabled = 1;
  alarm.pending = 0;
  alarm.time.tm_year = tm.tm_year;  // already years since 1900, months 0..11
  alarm.time.tm_mon = tm.tm_mon;
  alarm.time.tm_mday = tm.tm_mday;
  alarm.time.tm_hour = tm.tm_hour;
  alarm.time.tm_min = tm.tm_min;
  alarm.time.tm_sec = tm.tm_sec;
  int r = 0;
  if (ioctl(fd, RTC_WKALM_SET, &alarm) < 0) {
    std::printf("ioctl RTC_WKALM_SET return error: %d\n", -1);
    r = -2;
  } else if (ioctl(fd, RTC_WKALM_RD, &alarm) < 0) {
    std::printf("ioctl RTC_WKALM_RD return error: %d\n", -1);
  } else {
    std::printf("RTC_WKALM_RD: %d-%d-%d  %d:%d:%d, en=%d, pend=%d\n", alarm.time.tm_year + 1900,
                alarm.time.tm_mon + 1, alarm.time.tm_mday, alarm.time.tm_hour, alarm.time.tm_min,
                alarm.time.tm_sec, alarm.enabled, alarm.pending);
  }
  close(fd);
  return r;
}
