// Malformed audio files made from a good one: truncations, bit flips,
// zeroed and scrambled headers, and length fields blown up to their
// largest value. Deterministic: the same seed file gives the same variants
// on every machine, so a failure can be reproduced from its name.
// Used by the badaudio tool and by the decoder's unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace badaudio {

struct Variant {
  std::string name;  // what was done, e.g. "trunc-50pct", "flip8-3"
  std::string bytes;
};

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }

 private:
  uint64_t state_;
};

// The variants of one good file. `salt` picks another set of random flips.
inline std::vector<Variant> Variants(const std::string &good, uint64_t salt = 1) {
  std::vector<Variant> out;
  const size_t size = good.size();
  auto add = [&](std::string name, std::string bytes) { out.push_back({std::move(name), std::move(bytes)}); };

  // Truncations: inside the header and through the body.
  for (size_t cut : {size_t{0}, size_t{1}, size_t{4}, size_t{12}, size_t{45}, size_t{200}})
    if (cut < size) add("trunc-" + std::to_string(cut), good.substr(0, cut));
  for (int pct : {10, 25, 50, 75, 90, 99})
    add("trunc-" + std::to_string(pct) + "pct", good.substr(0, size * static_cast<size_t>(pct) / 100));

  // Headers zeroed or scrambled: the part every format's probe looks at.
  Rng rng(0xA0D10ull ^ salt ^ (size << 20));
  for (size_t len : {size_t{4}, size_t{16}, size_t{64}, size_t{512}, size_t{4096}}) {
    if (len > size) break;
    std::string z = good;
    std::fill(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(len), '\0');
    add("zero-" + std::to_string(len), z);
  }
  for (size_t from : {size_t{4}, size_t{8}, size_t{32}}) {
    if (from + 64 > size) break;
    std::string s = good;
    for (size_t i = from; i < from + 64; i++) s[i] = static_cast<char>(rng.next());
    add("scramble-" + std::to_string(from), s);
  }

  // Length fields set to their largest value: every aligned 32-bit word of
  // the first 96 bytes in turn (sizes of RIFF chunks, boxes, pages, tags).
  for (size_t at = 0; at + 4 <= size && at < 96; at += 4) {
    std::string s = good;
    for (size_t i = 0; i < 4; i++) s[at + i] = '\xff';
    add("max-" + std::to_string(at), s);
  }

  // Random bit flips, few and many, spread over the whole file.
  for (int flips : {1, 8, 64}) {
    for (int round = 0; round < 3; round++) {
      if (size == 0) break;
      std::string s = good;
      for (int i = 0; i < flips; i++) s[rng.below(size)] ^= static_cast<char>(1u << rng.below(8));
      add("flip" + std::to_string(flips) + "-" + std::to_string(round), s);
    }
  }

  // A copy of the body spliced into the middle: duplicated frames and pages.
  if (size > 64) {
    std::string s = good.substr(0, size / 2) + good.substr(size / 4);
    add("splice", s);
  }
  return out;
}

}  // namespace badaudio
