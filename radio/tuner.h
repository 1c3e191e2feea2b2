// radio/tuner.h: the FM tuner drivers behind one table of band operations.
//
// The radio screen creates a Radio with one band and asks each driver in
// turn whether its chip answers; the driver that finds its chip fills in the
// chip name, the chip's volume function and the band's operations. The
// drivers keep their bus descriptor, band code and spacing in statics: one
// chip and one band are in use at a time. All calls come from the key
// distribution thread (the radio screen and its menu).
#pragma once

#include <string>
#include <vector>

struct RadioStation {
  std::string name;
  int spare = 0;
  int freq = 0;    // Hz
  int rssi = 0;
  int stereo = 0;
};

struct RadioBand {
  int band_id = 0;      // index into the band names; 0 is FM
  int area_id = 0;
  int min_freq = 0;     // Hz
  int max_freq = 0;
  int step = 0;
  int chip_band = 0;    // the chip's band code
  std::vector<RadioStation> stations;  // sorted by frequency, no two alike
  int cur_station = -1;  // index into stations, -1 when none
  RadioStation station;  // what is tuned now
  int saved_poweroff = 0;
  // BandSetArea: 0, -1 area out of range. BandInit: 0, -1 (bus, band code or
  // step refused). BandTune: 0, -1 (no station there; the AR1019 reports
  // one whenever its bus is open). BandSeek: 0 with the station's frequency,
  // RSSI and stereo flag set, -1 nothing found. BandDeInit powers down.
  int (*BandSetArea)(RadioBand *band, int area) = nullptr;
  int (*BandInit)(RadioBand *band) = nullptr;
  int (*BandTune)(RadioStation *station) = nullptr;
  int (*BandSeek)(RadioStation *station, int up) = nullptr;
  void (*BandDeInit)(void) = nullptr;
};

struct Radio {
  std::vector<RadioBand> bands;
  int cur_band = 0;
  int (*chip_volume)(int step) = nullptr;
  std::string chip_name;  // "ar1019" or "rda5807"
  int saved_poweroff = 0;
};

// Detection: 0 when the chip answers and the radio is filled in; -1 a radio
// without exactly one band; -2 no bus or no such chip.
int Ar1019RadioInit(Radio *radio);
int Rda5807RadioInit(Radio *radio);
int Ar1019SetVolume(int step);
int Rda5807SetVolume(int step);

// ---- Shared by the drivers (tuner.cpp) ----

// Copies the area's limits and step into the band, chip band code 0.
// Returns 0, or -1 for an area other than 0.
int TunerSetArea(RadioBand *band, int area);
// Fills in what a driver that found its chip gives the radio: the chip's
// name and volume function and the operations of the (one) band.
void TunerAttach(Radio *radio, const char *chip, int (*volume)(int), int (*setArea)(RadioBand *, int),
                 int (*init)(RadioBand *), int (*tune)(RadioStation *), int (*seek)(RadioStation *, int),
                 void (*deinit)(void));
// Opens "/dev/i2c-1": the descriptor, or -1 ("open /dev/i2c-1 error").
int TunerBusOpen(void);
// One transaction with the chip at 0x10; failures are printed and passed on
// as -1 (the status bits read back then show no station).
int TunerRead(int fd, const unsigned char *tx, int txlen, unsigned char *rx, int rxlen);
int TunerWrite(int fd, const unsigned char *tx, int txlen);
