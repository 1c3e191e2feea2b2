// ttsengine/pcm_dsp.h: what happens to espeak-ng's PCM on its way out: the
// 22050 -> 16000 Hz resampler and the voice effects. One of each per
// instance; neither is shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SpeexResamplerState_;

// speexdsp's resampler from espeak-ng's 22050 Hz to 16000 Hz, mono. The
// output of one text has round(in * 16000 / 22050) samples once flushed.
class Resampler {
 public:
  Resampler(int inRate = 22050, int outRate = 16000);
  ~Resampler();
  Resampler(const Resampler &) = delete;
  Resampler &operator=(const Resampler &) = delete;

  bool ok() const { return state_ != nullptr; }
  // Forgets the previous text.
  void Reset();
  // Appends the resampled samples of in to *out.
  void Process(const int16_t *in, size_t n, std::vector<int16_t> *out);
  // Appends the samples still inside the filter at the end of a text.
  void Flush(std::vector<int16_t> *out);

 private:
  SpeexResamplerState_ *state_ = nullptr;
  int inRate_, outRate_;
  uint64_t in_ = 0, out_ = 0;  // samples of the current text
};

// Voice effects on 16 kHz PCM: 0 none, 2 echo, 6 reverberation, 7 strange
// tone (a wobbling, ring-modulated voice).
class PcmEffect {
 public:
  static bool Supported(int mode) { return mode == 0 || mode == 2 || mode == 6 || mode == 7; }
  // Starts a text with the mode; the echo and reverberation forget the last one.
  void Reset(int mode);
  void Process(int16_t *pcm, size_t n);
  // Samples of decay to append after a text (0 for no effect).
  size_t TailSamples() const;

 private:
  float comb(int k, float x);
  int mode_ = 0;
  std::vector<float> delay_;                 // echo line
  size_t pos_ = 0;
  std::vector<float> combs_[4], allpass_[2];  // reverberation
  size_t combPos_[4] = {}, allPos_[2] = {};
  float damp_[4] = {};
  uint64_t t_ = 0;                           // samples since the start (strange tone)
};
