// What both tuner drivers share: the area table and the chip's bus at
// address 0x10 on "/dev/i2c-1".
#include "radio/tuner.h"

#include "board/board.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr int kChipAddr = 0x10;

struct Area {
  int min_freq, max_freq, step;
};
constexpr Area gAreaTable[] = {{87000000, 108000000, 100000}};
constexpr int kAreas = sizeof gAreaTable / sizeof gAreaTable[0];

}  // namespace

int TunerSetArea(RadioBand *band, int area) {
  if (!band) return -1;
  if (area < 0 || area >= kAreas) {
    std::printf("area_id out of range, area_id=%d, max_area=%d\n", area, kAreas);
    return -1;
  }
  band->area_id = area;
  band->min_freq = gAreaTable[area].min_freq;
  band->max_freq = gAreaTable[area].max_freq;
  band->step = gAreaTable[area].step;
  band->chip_band = 0;
  return 0;
}

void TunerAttach(Radio *radio, const char *chip, int (*volume)(int), int (*setArea)(RadioBand *, int),
                 int (*init)(RadioBand *), int (*tune)(RadioStation *), int (*seek)(RadioStation *, int),
                 void (*deinit)(void)) {
  radio->chip_volume = volume;
  radio->chip_name = chip;
  RadioBand &band = radio->bands[0];
  band.BandSetArea = setArea;
  band.BandInit = init;
  band.BandTune = tune;
  band.BandSeek = seek;
  band.BandDeInit = deinit;
}

int TunerBusOpen(void) {
  int fd = BoardI2cOpen("/dev/i2c-1");
  if (fd < 0) std::printf("open /dev/i2c-1 error\n");
  return fd;
}

int TunerRead(int fd, const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) {
  if (BoardI2cTransfer(fd, kChipAddr, tx, txlen, rx, rxlen) == 0) return 0;
  std::printf("rd_reg: error during I2C_RDWR ioctl with errcode:%d\n", errno);
  return -1;
}

int TunerWrite(int fd, const unsigned char *tx, int txlen) {
  if (BoardI2cTransfer(fd, kChipAddr, tx, txlen, nullptr, 0) == 0) return 0;
  std::printf("wr_reg: error during I2C_RDWR ioctl with errcode:%d\n", errno);
  return -1;
}
