// The AR1019 tuner: 16-bit registers read and written one at a time, fields
// changed by reading the register and writing it back (ar1019_set_value).
#include "radio/tuner.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"

#include <algorithm>

namespace {

constexpr char kLogSource[] = "radio/ar1019.c";
// Registers 0x00..0x11 as the chip wants them at power-up, and register 0x00
// again with the enable bit.
constexpr int ar1019_init_table[18] = {65530, 23301, 53433, 32784, 1920, 10411, 58383, 7911,  28993,
                                       125,   33478, 20053, 38668, 47173, 64557, 32919, 1249, 57194};
constexpr int kPowerOn = 65531;
// The chip tunes no lower than this in band 0, so the band starts there too.
constexpr int kFloor = 87500000;

int g_fd = -1;
int g_band = 0;
int g_step = 100000;

int readReg(int r, int *value) {
  unsigned char tx[1] = {static_cast<unsigned char>(r)}, rx[2] = {};
  int ret = TunerRead(g_fd, tx, 1, rx, 2);
  *value = rx[0] << 8 | rx[1];
  return ret;
}

void writeReg(int r, int value) {
  const unsigned char tx[3] = {static_cast<unsigned char>(r), static_cast<unsigned char>(value >> 8),
                               static_cast<unsigned char>(value)};
  TunerWrite(g_fd, tx, 3);
}

void ar1019_set_value(int r, int mask, int value) {
  int old = 0;
  readReg(r, &old);
  writeReg(r, (old & ~mask) | (value & mask));
}

// Polls the status register until the chip has settled (at most a second).
int waitComplete() {
  int st = 0;
  for (int i = 0; i < 100; i++) {
    if (readReg(0x13, &st) == 0 && (st & 0x0020)) break;
    BoardI2cWaitMs(10);
  }
  return st;
}

int channelOf(int freq) {
  if (g_band == 0) freq = std::clamp(freq, kFloor, 108000000);
  int chan = (freq - 69000000) / 100000;
  if (g_step == 50000 && (freq - 69000000) % 100000 >= 50000) chan |= 0x0800;
  return chan;
}

int setArea(RadioBand *band, int area) {
  if (TunerSetArea(band, area) != 0) return -1;
  band->min_freq = std::max(band->min_freq, kFloor);
  return 0;
}

int bandTune(RadioStation *station) {
  if (g_fd < 0 || !station) return -1;
  ar1019_set_value(0x01, 0x0002, 0x0002);
  ar1019_set_value(0x02, 0x0200, 0);
  ar1019_set_value(0x03, 0x4000, 0);
  ar1019_set_value(0x02, 0x09FF, channelOf(station->freq));
  ar1019_set_value(0x02, 0x0200, 0x0200);
  waitComplete();
  ar1019_set_value(0x01, 0x0002, 0);
  if (CfgDebugRadio) LOGD("tune freq: %d\n", station->freq);
  return 0;
}

int bandSeek(RadioStation *station, int up) {
  if (g_fd < 0 || !station) return -1;
  ar1019_set_value(0x01, 0x0002, 0x0002);
  ar1019_set_value(0x02, 0x0200, 0);
  ar1019_set_value(0x02, 0x09FF, channelOf(station->freq));
  ar1019_set_value(0x03, 0x4000, 0);
  ar1019_set_value(0x03, 0x807F, up ? 0x8010 : 0x0010);
  ar1019_set_value(0x03, 0x4000, 0x4000);
  int st = waitComplete();
  ar1019_set_value(0x01, 0x0002, 0);
  int r12 = 0;
  readReg(0x12, &r12);
  int freq = (st >> 7) * 100000 + ((st & 0x0800) && g_step == 50000 ? 50000 : 0) + (g_band == 1 ? 64000000 : 69000000);
  if (CfgDebugRadio) LOGD("seek: freq=%d, rssi=%d, is_sereo=%d\n", freq, r12 >> 9, (st >> 3) & 1);
  if (st & 0x0010) return -1;
  station->freq = freq;
  station->rssi = r12 >> 9;
  station->stereo = (st >> 3) & 1;
  return 0;
}

int bandInit(RadioBand *band) {
  if (!band || band->chip_band < 0 || band->chip_band > 3) return -1;
  if (band->step != 50000 && band->step != 100000 && band->step != 200000) return -1;
  g_fd = TunerBusOpen();
  if (g_fd < 0) return -1;
  g_band = band->chip_band;
  g_step = band->step;
  int id = 0, ret = readReg(0x1B, &id);
  if (ret != 0) LOGW("ar1019 read reg error, ret=%d!\n", ret);
  else if (CfgDebugRadio) LOGD("ar1019[0x1b] = 0x%04x\n", id);
  int image[18];
  std::copy(std::begin(ar1019_init_table), std::end(ar1019_init_table), image);
  image[3] = (image[3] & ~0x1800) | g_band << 11;
  image[3] = (image[3] & ~0x2000) | (g_step == 100000 ? 0x2000 : 0);
  image[0x0F] = (image[0x0F] & ~0x0100) | (g_step == 50000 ? 0x0100 : 0);
  unsigned char tx[1 + 18 * 2] = {0};
  for (int i = 0; i < 18; i++) {
    tx[1 + 2 * i] = static_cast<unsigned char>(image[i] >> 8);
    tx[2 + 2 * i] = static_cast<unsigned char>(image[i]);
  }
  TunerWrite(g_fd, tx, sizeof tx);
  BoardI2cWaitMs(10);
  writeReg(0x00, kPowerOn);
  waitComplete();
  Ar1019SetVolume(RadioVolume);
  BoardI2cWaitMs(1000);
  return 0;
}

void bandDeInit(void) {
  if (g_fd < 0) return;
  ar1019_set_value(0x02, 0x0200, 0);
  ar1019_set_value(0x03, 0x4000, 0);
  ar1019_set_value(0x00, 0x0001, 0);
  BoardI2cClose(g_fd);
  g_fd = -1;
}

}  // namespace

int Ar1019SetVolume(int step) {
  if (g_fd < 0) return -1;
  int level = step <= 0 ? 0 : std::min(15, step * 14 / 25 + 1);
  ar1019_set_value(0x01, 0x0004, level == 0 ? 0x0004 : 0);
  int r6 = 0;
  readReg(0x06, &r6);
  if (r6 & 0x8000) {
    ar1019_set_value(0x06, 0x00FF, level == 0 ? 0xF0 : level);
  } else {
    ar1019_set_value(0x03, 0x0780, level == 0 ? 0x0780 : 0);
    ar1019_set_value(0x0E, 0xF000, level << 12);
  }
  return 0;
}

int Ar1019RadioInit(Radio *radio) {
  if (!radio || radio->bands.size() != 1) return -1;
  g_fd = TunerBusOpen();
  if (g_fd < 0) return -2;
  int id = 0;
  int ret = readReg(0x1B, &id);
  BoardI2cClose(g_fd);
  g_fd = -1;
  if (ret != 0 || id != 0x65B1) {
    LOGW("ar1019 read reg return %d, id=0x%04x\n", ret, id);
    return -2;
  }
  TunerAttach(radio, "ar1019", Ar1019SetVolume, setArea, bandInit, bandTune, bandSeek, bandDeInit);
  return 0;
}
