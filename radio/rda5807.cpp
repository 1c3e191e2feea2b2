// The RDA5807 tuner. Writes always start at register 0x02 and go upwards,
// reads at register 0x0A, two bytes per register, high byte first; the
// driver keeps a shadow of the registers it writes (gRda5807WriteReg) and
// changes fields there before writing the first registers back.
#include "radio/tuner.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kLogSource[] = "radio/rda5807.c";
constexpr int kRegs = 36;  // registers 0x02..0x25
constexpr unsigned char tbl_rda5807m_init[kRegs * 2] = {
    0xc0, 0x01, 0x00, 0x00, 0x04, 0x00, 0xc6, 0xed, 0x60, 0x00, 0x42, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x2a, 0x11, 0xb0, 0x42, 0x2a, 0x11,
    0xb8, 0x31, 0xc0, 0x00, 0x2a, 0x91, 0x94, 0x00, 0x00, 0xa8, 0xc4, 0x00, 0xf7, 0xcf, 0x24, 0x14, 0x80, 0x6f,
    0x46, 0x08, 0x00, 0x86, 0x06, 0x61, 0x00, 0x00, 0x10, 0x9e, 0x23, 0xc8, 0x04, 0x06, 0x0e, 0x1c};
constexpr int kBase[] = {87000000, 76000000, 76000000, 65000000};
constexpr int kTop[] = {108000000, 91000000, 108000000, 76000000};

unsigned char gRda5807WriteReg[kRegs * 2];
int g_fd = -1;
int g_band = 0;
int g_space = 100000;
int g_spaceCode = 0;

int reg(int r) { return gRda5807WriteReg[(r - 2) * 2] << 8 | gRda5807WriteReg[(r - 2) * 2 + 1]; }
void setReg(int r, int v) {
  gRda5807WriteReg[(r - 2) * 2] = static_cast<unsigned char>(v >> 8);
  gRda5807WriteReg[(r - 2) * 2 + 1] = static_cast<unsigned char>(v);
}
void setBits(int r, int mask, int value) { setReg(r, (reg(r) & ~mask) | (value & mask)); }

// Writes registers 0x02 .. 0x02 + count - 1 from the shadow.
void writeFirst(int count) { TunerWrite(g_fd, gRda5807WriteReg, count * 2); }

// Tunes (seek 0) or seeks from station's frequency and waits for the chip.
// Returns 0 with *found the frequency reached and *rssi, *stereo; -1 for a
// frequency outside the band; 1 when the chip found no station there.
int tuneOrSeek(const RadioStation *station, int seek, int up, int *found, int *rssi, int *stereo) {
  if (g_fd < 0 || !station) return -1;
  int base = kBase[g_band];
  if (station->freq < base || station->freq > kTop[g_band]) return -1;
  int chan = (station->freq - base) / g_space;
  setBits(5, 0x000F, 0);  // mute while the chip moves
  writeFirst(4);
  setBits(2, 0x0300, seek ? (up ? 0x0300 : 0x0100) : 0);
  setReg(3, chan << 6 | 0x10 | g_band << 2 | g_spaceCode);
  writeFirst(2);
  BoardI2cWaitMs(90);
  unsigned char st[4] = {};
  for (int i = 0; i < 200; i++) {
    if (TunerRead(g_fd, nullptr, 0, st, sizeof st) == 0 && (st[0] & 0x40)) break;
    BoardI2cWaitMs(10);
  }
  int r0a = st[0] << 8 | st[1];
  *found = base + (r0a & 0x3FF) * g_space;
  *rssi = st[2] >> 1;
  *stereo = (r0a & 0x0400) ? 1 : 0;
  bool fmTrue = st[2] & 0x01, ready = st[3] & 0x80;
  if (CfgDebugRadio)
    LOGD("rda5807_set_freq: freq=%d, rssi=%d, fm_true=%d, fm_ready=%d\n", *found, *rssi, fmTrue, ready);
  // The tune and seek bits must not start the chip again with the next write.
  setBits(2, 0x0300, 0);
  setBits(3, 0x0010, 0);
  setBits(5, 0x000F, 15);
  writeFirst(4);
  return fmTrue ? 0 : 1;
}

int bandTune(RadioStation *station) {
  int found = 0, rssi = 0, stereo = 0;
  int r = tuneOrSeek(station, 0, 0, &found, &rssi, &stereo);
  if (r < 0) return -1;
  station->rssi = rssi;
  if (r == 0 && CfgDebugRadio) LOGD("tune freq: %d\n", station->freq);
  return r == 0 ? 0 : -1;
}

int bandSeek(RadioStation *station, int up) {
  int found = 0, rssi = 0, stereo = 0;
  if (tuneOrSeek(station, 1, up, &found, &rssi, &stereo) != 0) return -1;
  station->freq = found;
  station->rssi = rssi;
  station->stereo = stereo;
  return 0;
}

int bandInit(RadioBand *band) {
  if (!band || band->chip_band < 0 || band->chip_band > 3) return -1;
  static constexpr int kSpaces[] = {100000, 200000, 50000};
  int code = -1;
  for (int i = 0; i < 3; i++)
    if (band->step == kSpaces[i]) code = i;
  if (code < 0) return -1;
  g_fd = TunerBusOpen();
  if (g_fd < 0) return -1;
  g_band = band->chip_band;
  g_space = band->step;
  g_spaceCode = code;
  std::memcpy(gRda5807WriteReg, tbl_rda5807m_init, sizeof gRda5807WriteReg);
  setBits(3, 0x000F, g_band << 2 | code);
  if (g_band == 3) setBits(7, 0x0200, 0x0200);
  setBits(4, 0x0800, 0x0800);
  setBits(2, 0x0080, 0x0080);  // seeks stop at the band end
  writeFirst(1);
  BoardI2cWaitMs(75);
  writeFirst(kRegs);
  BoardI2cWaitMs(75);
  setBits(3, 0x0010, 0);
  setBits(5, 0x000F, 15);
  writeFirst(4);
  BoardI2cWaitMs(55);
  return 0;
}

void bandDeInit(void) {
  if (g_fd < 0) return;
  setBits(2, 0x0001, 0);  // fm_rda5807_off
  writeFirst(1);
  BoardI2cClose(g_fd);
  g_fd = -1;
}

}  // namespace

int Rda5807SetVolume(int step) { return 0; }

int Rda5807RadioInit(Radio *radio) {
  if (!radio || radio->bands.size() != 1) return -1;
  int fd = TunerBusOpen();
  if (fd < 0) return -2;
  const unsigned char reset[2] = {0x00, 0x02};
  unsigned char id[10] = {};
  TunerWrite(fd, reset, sizeof reset);
  BoardI2cWaitMs(55);
  int r = TunerRead(fd, nullptr, 0, id, sizeof id);
  BoardI2cClose(fd);
  int chip = id[4] << 8 | id[5];
  std::printf("rda5807 id=0x%04x\n", chip);
  if (r != 0 || id[4] != 0x58) {
    LOGW("fm_rda5807_readid return, id=0x%04x\n", chip);
    return -2;
  }
  TunerAttach(radio, "rda5807", Rda5807SetVolume, TunerSetArea, bandInit, bandTune, bandSeek, bandDeInit);
  return 0;
}
