// The host board's FM tuner: models of the two supported chips answering
// I2C transactions at address 0x10 as the chips do, over a band of stations
// described by root/host/tuner:
//
//   chip rda5807                 # ar1019, rda5807 or none (no file: none)
//   wrap                         # optional: seeks wrap round the band end
//   station 93500 45 /host/a.wav # kHz, signal strength, optional capture WAV
//
// The file is read again at each bus open. A station is found by a seek when its strength is at least the chip's seek
// threshold (16 for both); a tune reports it on the RDA5807's station flag.
// Tuned to a station with a capture WAV, the FM input hears that file (the
// recording inputs share one source, host_capture.cpp); elsewhere it hears
// the source of the options again.
//
// Every register written, and each power-up, power-down, reset, tune, seek
// and settle wait, is a line of root/host/tuner.log and of the list tests
// take with BoardHostTunerTake. The chips settle at once: waits only count.
//
// g_mu guards the model; the capture is set outside it.
#include "board/board.h"
#include "board/host/host.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kAddr = 0x10;
constexpr int kFd = 0x7210;  // the one descriptor of the modelled bus
constexpr int kSeekThreshold = 16;

struct HostStation {
  int khz = 0;
  int strength = 0;
  std::string wav;
};

class Chip {
 public:
  virtual ~Chip() = default;
  // One transaction; false when the chip does not acknowledge it.
  virtual bool transfer(const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) = 0;

  std::vector<HostStation> stations;
  bool wrap = false;
  std::vector<std::string> log;
  std::string capture;  // the WAV the FM input should hear now, "" the options' source

 protected:
  void note(const char *format, ...) __attribute__((format(printf, 2, 3))) {
    char line[128];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    log.push_back(line);
  }
  const HostStation *at(int khz) const {
    for (const auto &s : stations)
      if (s.khz == khz) return &s;
    return nullptr;
  }
  // Walks from `from` by step towards up or down, wrapping at the band end
  // when the chip does. Returns the station's kHz with *ok true, or the band
  // end where the search stopped with *ok false.
  int seek(int from, bool up, int low, int high, int step, bool chipWraps, bool *ok) const {
    int f = from;
    int limit = (high - low) / step + 1;
    for (int i = 0; i < limit; i++) {
      f += up ? step : -step;
      if (f > high || f < low) {
        if (!chipWraps) break;
        f = up ? low : high;
      }
      const HostStation *s = at(f);
      if (s && s->strength >= kSeekThreshold) {
        *ok = true;
        return f;
      }
    }
    *ok = false;
    return up ? high : low;
  }
  void landed(int khz) {
    const HostStation *s = at(khz);
    capture = s ? s->wav : std::string();
  }
  int strengthAt(int khz) const {
    const HostStation *s = at(khz);
    return s ? s->strength : 2;
  }
};

// RDA5807: writes start at register 0x02, reads at 0x0A, two bytes per
// register, high byte first.
class Rda5807 : public Chip {
 public:
  Rda5807() { r_[0x0C] = 0x5804; }
  bool transfer(const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) override {
    if (txlen >= 2) write(tx, txlen);
    for (int i = 0; i < rxlen; i++) {
      uint16_t v = r_[(0x0A + i / 2) & 0x3F];
      rx[i] = static_cast<unsigned char>(i % 2 ? v & 0xFF : v >> 8);
    }
    return true;
  }

 private:
  void write(const unsigned char *tx, int txlen) {
    uint16_t old2 = r_[2];
    bool wrote3 = false;
    for (int i = 0; i + 1 < txlen && 2 + i / 2 < 0x40; i += 2) {
      int reg = 2 + i / 2;
      r_[reg] = static_cast<uint16_t>(tx[i] << 8 | tx[i + 1]);
      note("w %02x %04x", reg, r_[reg]);
      wrote3 |= reg == 3;
    }
    if (r_[2] & 0x0002) {
      note("reset");
      r_[0x0A] = r_[0x0B] = 0;
      return;
    }
    if ((old2 ^ r_[2]) & 1) note(r_[2] & 1 ? "power up" : "power down");
    if (!(r_[2] & 1)) return;
    static constexpr int kBase[] = {87000, 76000, 76000, 65000};
    static constexpr int kTop[] = {108000, 91000, 108000, 76000};
    static constexpr int kSpace[] = {100, 200, 50, 25};
    int band = (r_[3] >> 2) & 3, space = kSpace[r_[3] & 3];
    int chan = r_[3] >> 6;
    int khz = kBase[band] + chan * space;
    bool seeking = (r_[2] & 0x0100) && (!(old2 & 0x0100) || wrote3);
    if (seeking) {
      bool up = r_[2] & 0x0200, ok = false;
      // Bit 7 makes the chip stop at the band end; a wrapping model ignores it.
      khz = seek(khz, up, kBase[band], kTop[band], space, wrap || !(r_[2] & 0x0080), &ok);
      note("seek %s %s %d", up ? "up" : "down", ok ? "found" : "fail", khz);
      r_[2] &= static_cast<uint16_t>(~0x0100);
      finish(khz, kBase[band], space, ok);
      r_[0x0A] |= ok ? 0 : 0x2000;
    } else if (wrote3 && (r_[3] & 0x0010)) {
      note("tune %d", khz);
      finish(khz, kBase[band], space, at(khz) && strengthAt(khz) >= kSeekThreshold);
    }
  }
  void finish(int khz, int base, int space, bool station) {
    r_[0x0A] = static_cast<uint16_t>(0x4000 | (((khz - base) / space) & 0x3FF));
    r_[0x0B] = static_cast<uint16_t>(strengthAt(khz) << 9 | (station ? 0x0100 : 0) | 0x0080);
    landed(khz);
  }
  std::array<uint16_t, 0x40> r_{};
};

// AR1019: a write names its first register and then carries registers high
// byte first; a read names the register in a write and reads on from it.
class Ar1019 : public Chip {
 public:
  Ar1019() { r_[0x1B] = 0x65B1; }
  bool transfer(const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) override {
    if (txlen < 1) return false;
    int first = tx[0] & 0x1F;
    if (txlen >= 3) write(first, tx + 1, txlen - 1);
    for (int i = 0; i < rxlen; i++) {
      uint16_t v = r_[(first + i / 2) & 0x1F];
      rx[i] = static_cast<unsigned char>(i % 2 ? v & 0xFF : v >> 8);
    }
    return true;
  }

 private:
  void write(int first, const unsigned char *data, int len) {
    std::array<uint16_t, 0x20> old = r_;
    for (int i = 0; i + 1 < len && first + i / 2 < 0x20; i += 2) {
      int reg = first + i / 2;
      r_[reg] = static_cast<uint16_t>(data[i] << 8 | data[i + 1]);
      note("w %02x %04x", reg, r_[reg]);
    }
    if ((old[0] ^ r_[0]) & 1) {
      note(r_[0] & 1 ? "power up" : "power down");
      if (r_[0] & 1) r_[0x13] |= 0x0020;
    }
    // Clearing the tune or seek bit clears the complete flag; setting one starts it.
    if (((old[2] & ~r_[2]) & 0x0200) || ((old[3] & ~r_[3]) & 0x4000)) r_[0x13] &= static_cast<uint16_t>(~0x0020);
    int base = ((r_[3] >> 11) & 3) == 1 ? 64000 : 69000;
    int khz = base + (r_[2] & 0x1FF) * 100;
    if ((r_[2] & ~old[2]) & 0x0200) {
      note("tune %d", khz);
      finish(khz, base, false);
    } else if ((r_[3] & ~old[3]) & 0x4000) {
      bool up = r_[3] & 0x8000, ok = false;
      khz = seek(std::clamp(khz, 87500, 108000), up, 87500, 108000, 100, wrap, &ok);
      note("seek %s %s %d", up ? "up" : "down", ok ? "found" : "fail", khz);
      finish(khz, base, !ok);
    }
  }
  void finish(int khz, int base, bool failed) {
    bool stereo = at(khz) != nullptr;
    r_[0x13] = static_cast<uint16_t>(((khz - base) / 100) << 7 | 0x0020 | (failed ? 0x0010 : 0) | (stereo ? 0x0008 : 0));
    r_[0x12] = static_cast<uint16_t>(strengthAt(khz) << 9);
    landed(khz);
  }
  std::array<uint16_t, 0x20> r_{};
};

std::mutex g_mu;
std::unique_ptr<Chip> g_chip;  // guarded by g_mu; made afresh at each open
bool g_open = false;           // guarded by g_mu
std::string g_capture;         // guarded by g_mu: what the FM input was last given

std::unique_ptr<Chip> loadChip() {
  std::ifstream in(BoardHostFile("tuner"));
  if (!in) return nullptr;
  std::unique_ptr<Chip> chip;
  bool wrap = false;
  std::vector<HostStation> stations;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    if (!(words >> word)) continue;
    if (word == "chip" && words >> word) {
      if (word == "ar1019") chip = std::make_unique<Ar1019>();
      else if (word == "rda5807") chip = std::make_unique<Rda5807>();
    } else if (word == "wrap") {
      wrap = true;
    } else if (word == "station") {
      HostStation s;
      if (words >> s.khz >> s.strength) {
        words >> s.wav;
        stations.push_back(s);
      }
    }
  }
  if (chip) {
    chip->stations = stations;
    chip->wrap = wrap;
  }
  return chip;
}

void append(const std::vector<std::string> &lines, size_t from) {
  if (from >= lines.size()) return;
  FILE *f = std::fopen(BoardHostFile("tuner.log").c_str(), "a");
  if (!f) return;  // the log is a record for tests; the chip works without it
  for (size_t i = from; i < lines.size(); i++) std::fprintf(f, "%s\n", lines[i].c_str());
  std::fclose(f);
}

}  // namespace

void HostTunerReset(void) {
  std::scoped_lock lock(g_mu);
  g_chip.reset();
  g_open = false;
  g_capture.clear();
}

std::vector<std::string> BoardHostTunerTake(void) {
  std::scoped_lock lock(g_mu);
  std::vector<std::string> out;
  if (g_chip) out.swap(g_chip->log);
  return out;
}

int BoardI2cOpen(const char *bus) {
  std::scoped_lock lock(g_mu);
  if (!bus || g_open) {
    errno = EBUSY;
    return -1;
  }
  // The file is read at every open, so that a test may change the chip
  // between two radio sessions; the log goes on.
  std::unique_ptr<Chip> chip = loadChip();
  if (!chip) {
    errno = ENODEV;
    return -1;
  }
  if (g_chip) chip->log.swap(g_chip->log);
  g_chip = std::move(chip);
  g_open = true;
  return kFd;
}

void BoardI2cClose(int fd) {
  std::scoped_lock lock(g_mu);
  if (fd == kFd) g_open = false;
}

int BoardI2cTransfer(int fd, int addr, const unsigned char *tx, int txlen, unsigned char *rx, int rxlen) {
  std::string capture;
  bool changed = false;
  {
    std::scoped_lock lock(g_mu);
    if (fd != kFd || !g_open || !g_chip || addr != kAddr || txlen < 0 || rxlen < 0 || txlen + rxlen == 0) {
      errno = fd != kFd ? EBADF : EIO;
      return -1;
    }
    size_t from = g_chip->log.size();
    bool ok = g_chip->transfer(tx, txlen, rx, rxlen);
    append(g_chip->log, from);
    if (!ok) {
      errno = EIO;
      return -1;
    }
    changed = g_chip->capture != g_capture;
    capture = g_capture = g_chip->capture;
  }
  if (changed) {
    if (capture.empty()) HostCaptureReset();
    else BoardHostSetCapture(BoardPath(capture.c_str()));
  }
  return 0;
}

void BoardI2cWaitMs(int ms) {
  std::scoped_lock lock(g_mu);
  if (!g_chip) return;
  char line[32];
  std::snprintf(line, sizeof line, "wait %d", ms);
  g_chip->log.push_back(line);
  append(g_chip->log, g_chip->log.size() - 1);
}
