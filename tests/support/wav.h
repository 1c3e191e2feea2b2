// WAV files built byte by byte (little-endian whatever the host), for tests
// that play, probe or capture them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline void Put16(std::string &s, unsigned v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>((v >> 8) & 0xff);
}
inline void Put32(std::string &s, uint32_t v) {
  Put16(s, v & 0xffff);
  Put16(s, v >> 16);
}

// A WAV header: tag 1 integer PCM, 3 float; a nonzero channel mask makes it
// WAVE_FORMAT_EXTENSIBLE so that the layout is named.
inline std::string WavHeader(int tag, int channels, int rate, int bits, uint32_t mask, uint32_t dataBytes) {
  std::string h;
  const bool ext = mask != 0;
  h += "RIFF";
  Put32(h, (ext ? 60u : 36u) + dataBytes);
  h += "WAVEfmt ";
  Put32(h, ext ? 40 : 16);
  Put16(h, ext ? 0xFFFE : static_cast<unsigned>(tag));
  Put16(h, static_cast<unsigned>(channels));
  Put32(h, static_cast<uint32_t>(rate));
  Put32(h, static_cast<uint32_t>(rate * channels * bits / 8));
  Put16(h, static_cast<unsigned>(channels * bits / 8));
  Put16(h, static_cast<unsigned>(bits));
  if (ext) {
    Put16(h, 22);
    Put16(h, static_cast<unsigned>(bits));
    Put32(h, mask);
    // The sub-format GUID: the tag followed by the fixed tail.
    Put32(h, static_cast<uint32_t>(tag));
    const unsigned char tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    h.append(reinterpret_cast<const char *>(tail), sizeof tail);
  }
  h += "data";
  Put32(h, dataBytes);
  return h;
}

// A whole 16-bit PCM WAV file of interleaved samples.
inline std::string Wav16(int rate, int channels, const std::vector<int16_t> &samples) {
  std::string w = WavHeader(1, channels, rate, 16, 0, static_cast<uint32_t>(samples.size() * 2));
  for (int16_t v : samples) Put16(w, static_cast<uint16_t>(v));
  return w;
}
