// The tuner drivers against the host board's chip models (register traces
// and results), and the station store and list.
#include "board/host/host.h"
#include "core/runtime/globals.h"
#include "radio/radio.h"
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Trace = std::vector<std::string>;

// A radio with the chip of root/host/tuner detected, its band on area 0
// and initialised; the trace of all that taken away.
struct Tuner {
  TempRoot root;
  Radio radio;
  RadioBand *band = nullptr;
  explicit Tuner(const std::string &chip, const std::string &extra = "") {
    root.write("/host/tuner", "chip " + chip + "\n" + extra + "station 93500 40\nstation 88100 25\n");
    radio.bands.resize(1);
    band = &radio.bands[0];
  }
  int open() {
    int r = chipInit();
    if (r == 0 && (band->BandSetArea(band, 0) != 0 || band->BandInit(band) != 0)) r = -9;
    BoardHostTunerTake();
    return r;
  }
  int chipInit() { return radio.chip_name.empty() && Ar1019RadioInit(&radio) == 0 ? 0 : Rda5807RadioInit(&radio); }
  ~Tuner() {
    if (band->BandDeInit) band->BandDeInit();
  }
};

TEST(TunerDriver, DetectsTheModelledChipOnly) {
  struct Case {
    const char *chip;
    int ar, rda;
  } cases[] = {{"ar1019", 0, -2}, {"rda5807", -2, 0}, {"none", -2, -2}};
  for (const Case &c : cases) {
    Tuner t(c.chip);
    EXPECT_EQ(Ar1019RadioInit(&t.radio), c.ar) << c.chip;
    EXPECT_EQ(Rda5807RadioInit(&t.radio), c.rda) << c.chip;
  }
  Radio twoBands;
  twoBands.bands.resize(2);
  EXPECT_EQ(Rda5807RadioInit(&twoBands), -1);
}

TEST(TunerDriver, GoldenTuneAndSeekTraces) {
  struct Case {
    const char *chip;
    Trace tune, seek;
  } cases[] = {
      {"rda5807",
       {"w 02 c081", "w 03 0000", "w 04 0c00", "w 05 c6e0", "w 02 c081", "w 03 1050", "tune 93500", "wait 90",
        "w 02 c081", "w 03 1040", "w 04 0c00", "w 05 c6ef"},
       {"w 02 c081", "w 03 1040", "w 04 0c00", "w 05 c6e0", "w 02 c381", "w 03 03d0", "seek up found 93500",
        "wait 90", "w 02 c081", "w 03 03c0", "w 04 0c00", "w 05 c6ef"}},
      {"ar1019",
       {"w 01 5b03", "w 02 d0b9", "w 03 a010", "w 02 d0f5", "w 02 d2f5", "tune 93500", "w 01 5b01"},
       {"w 01 5b03", "w 02 d0f5", "w 02 d0c3", "w 03 a010", "w 03 a010", "w 03 e010", "seek up found 93500",
        "w 01 5b01"}},
  };
  RadioVolume = 10;  // the AR1019's init sets the volume: not muted
  for (const Case &c : cases) {
    Tuner t(c.chip);
    ASSERT_EQ(t.open(), 0) << c.chip;
    RadioStation s;
    s.freq = 93500000;
    EXPECT_EQ(t.band->BandTune(&s), 0) << c.chip;
    EXPECT_EQ(BoardHostTunerTake(), c.tune) << c.chip;
    s.freq = 88500000;
    EXPECT_EQ(t.band->BandSeek(&s, 1), 0) << c.chip;
    EXPECT_EQ(s.freq, 93500000) << c.chip;
    EXPECT_EQ(BoardHostTunerTake(), c.seek) << c.chip;
  }
}

TEST(TunerDriver, ResultsAtTheBandEdges) {
  struct Case {
    const char *chip;
    int freq;
    bool seek, up;
    int result, found;
  } cases[] = {
      {"rda5807", 108000000, false, false, -1, 0},   // no station there
      {"rda5807", 93500000, false, false, 0, 0},     // the station flag
      {"rda5807", 108100000, false, false, -1, 0},   // beyond the band
      {"rda5807", 93500000, true, true, -1, 0},      // nothing above: stops at the end
      {"rda5807", 93500000, true, false, 0, 88100000},
      {"ar1019", 108000000, false, false, 0, 0},     // tunes report no station check
      {"ar1019", 93500000, true, true, -1, 0},
      {"ar1019", 93500000, true, false, 0, 88100000},
  };
  for (const Case &c : cases) {
    Tuner t(c.chip);
    ASSERT_EQ(t.open(), 0);
    RadioStation s;
    s.freq = c.freq;
    int r = c.seek ? t.band->BandSeek(&s, c.up) : t.band->BandTune(&s);
    EXPECT_EQ(r, c.result) << c.chip << " " << c.freq;
    if (c.found) {
      EXPECT_EQ(s.freq, c.found) << c.chip;
    }
  }
}

TEST(TunerDriver, AreasAndFloors) {
  for (const char *chip : {"ar1019", "rda5807"}) {
    Tuner t(chip);
    ASSERT_EQ(t.open(), 0);
    EXPECT_EQ(t.band->BandSetArea(t.band, 1), -1);
    EXPECT_EQ(t.band->max_freq, 108000000);
    // The AR1019 tunes no lower than 87.5 MHz: its band starts there.
    EXPECT_EQ(t.band->min_freq, std::string(chip) == "ar1019" ? 87500000 : 87000000);
  }
}

TEST(TunerDriver, WrappingSeekEndsTheSearch) {
  Tuner t("rda5807", "wrap\n");
  ASSERT_EQ(t.open(), 0);
  RadioStation old;
  old.freq = 99000000;
  RadioAddStation(t.band, old);
  EXPECT_EQ(RadioSearchBand(t.band), 2);
  ASSERT_EQ(t.band->stations.size(), 3u);
  EXPECT_EQ(t.band->stations[0].freq, 88100000);
  EXPECT_EQ(t.band->stations[2].freq, 99000000);
}

RadioStation at(int freq) {
  RadioStation s;
  s.freq = freq;
  return s;
}

TEST(StationList, AddKeepsOrderAndOneEntryPerFrequency) {
  RadioBand band;
  for (int f : {101700000, 88100000, 93500000, 88100000}) EXPECT_EQ(RadioAddStation(&band, at(f)), 0);
  ASSERT_EQ(band.stations.size(), 3u);
  EXPECT_EQ(band.stations[1].freq, 93500000);
  band.cur_station = 2;
  EXPECT_EQ(RadioDelStation(&band), 0);
  EXPECT_EQ(band.cur_station, 1);
  band.stations.clear();
  band.cur_station = -1;
  EXPECT_EQ(RadioDelStation(&band), -1);
}

TEST(StationStore, RoundTrip) {
  TempRoot root;
  Radio out;
  out.chip_name = "ar1019";
  out.bands.resize(1);
  for (int f : {88100000, 93500000}) RadioAddStation(&out.bands[0], at(f));
  out.bands[0].stations[0].name = "a<b>$";
  out.bands[0].cur_station = 1;
  out.bands[0].station = at(93500000);
  ASSERT_EQ(RadioSaveStation(&out, "ar1019", "/home/radio.xml"), 0);
  Radio in;
  in.chip_name = "ar1019";
  in.bands.resize(1);
  ASSERT_EQ(RadioLoadStation(&in, "/home/radio.xml"), 0);
  ASSERT_EQ(in.bands[0].stations.size(), 2u);
  EXPECT_EQ(in.bands[0].stations[0].name, "a<b>$");
  EXPECT_EQ(in.bands[0].stations[1].freq, 93500000);
  EXPECT_EQ(in.bands[0].cur_station, 1);
  EXPECT_EQ(in.bands[0].station.freq, 93500000);
}

TEST(StationStore, RejectsDamagedAndForeignFilesKeepingThem) {
  const std::string band = "<band><name>fm</name><station_no>%</station_no><station><freq>88100000</freq></station>"
                           "<station><freq>9x</freq></station><station><name>n</name></station>"
                           "<station><freq>93500000</freq></station></band>";
  auto file = [&](const char *chip, const char *no) {
    std::string b = band;
    b.replace(b.find('%'), 1, no);
    return std::string("<radio_station><chip>") + chip + "</chip><cur_band>x</cur_band>" + b + "</radio_station>";
  };
  struct Case {
    std::string content;
    int result;
    size_t stations;
    int current;
  } cases[] = {
      {file("rda5807", "1"), 0, 2, 1},
      {file("rda5807", "7"), 0, 2, 0},          // current index out of range
      {file("ar1019", "1"), -3, 0, -1},         // another chip's stations
      {"<radio_station><chip>rda5807</chip><band>", -2, 0, -1},
      {"<other><chip>rda5807</chip></other>", -2, 0, -1},
      {std::string("\0\xff\xfe", 3), -2, 0, -1},
  };
  for (const Case &c : cases) {
    TempRoot root;
    root.write("/home/radio.xml", c.content);
    Radio r;
    r.chip_name = "rda5807";
    r.bands.resize(1);
    EXPECT_EQ(RadioLoadStation(&r, "/home/radio.xml"), c.result) << c.content;
    EXPECT_EQ(r.bands[0].stations.size(), c.stations) << c.content;
    EXPECT_EQ(r.bands[0].cur_station, c.current) << c.content;
    EXPECT_EQ(root.exists("/home/radio.xml.bad"), c.result < 0) << c.content;
    EXPECT_EQ(root.exists("/home/radio.xml"), c.result == 0) << c.content;
  }
  TempRoot empty;
  Radio r;
  r.bands.resize(1);
  EXPECT_EQ(RadioLoadStation(&r, "/home/radio.xml"), -1);
}

}  // namespace
