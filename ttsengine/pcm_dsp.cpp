// Resampler and voice effects (see pcm_dsp.h).
#include "ttsengine/pcm_dsp.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kOutRate = 16000;
// speexdsp quality 3 (its default for speech): at 5 the filter took more time
// than espeak-ng itself, for no difference audible in 16 kHz speech.
constexpr int kQuality = 3;
constexpr float kPi = 3.14159265f;

int16_t clip(float v) { return static_cast<int16_t>(std::clamp(std::lround(v), -32768l, 32767l)); }

}  // namespace

Resampler::Resampler(int inRate, int outRate) : inRate_(inRate), outRate_(outRate) {
  int err = 0;
  state_ = (
      speex_resampler_init(1, static_cast<spx_uint32_t>(inRate), static_cast<spx_uint32_t>(outRate), kQuality, &err));
  if (err != RESAMPLER_ERR_SUCCESS && state_) {
    speex_resampler_destroy(state_);
    state_ = nullptr;
  }
  Reset();
}

Resampler::~Resampler() {
  if (state_) speex_resampler_destroy(state_);
}

void Resampler::Reset() {
  in_ = out_ = 0;
  if (!state_) return;
  auto *st = state_;
  speex_resampler_reset_mem(st);
  speex_resampler_skip_zeros(st);  // no filter delay at the start of a text
}

void Resampler::Process(const int16_t *in, size_t n, std::vector<int16_t> *out) {
  if (!state_ || n == 0) return;
  auto *st = state_;
  while (n > 0) {
    spx_uint32_t inLen = static_cast<spx_uint32_t>(std::min<size_t>(n, 4096));
    spx_uint32_t outLen = inLen * static_cast<spx_uint32_t>(outRate_) / static_cast<spx_uint32_t>(inRate_) + 16;
    size_t base = out->size();
    out->resize(base + outLen);
    speex_resampler_process_int(st, 0, in, &inLen, out->data() + base, &outLen);
    out->resize(base + outLen);
    in += inLen;
    n -= inLen;
    in_ += inLen;
    out_ += outLen;
    if (inLen == 0 && outLen == 0) break;
  }
}

void Resampler::Flush(std::vector<int16_t> *out) {
  if (!state_) return;
  auto *st = state_;
  uint64_t want = (in_ * static_cast<uint64_t>(outRate_) + static_cast<uint64_t>(inRate_) / 2) /
                  static_cast<uint64_t>(inRate_);
  // Zeros push the last samples through the filter; what they make beyond
  // the text's own length is dropped.
  std::vector<int16_t> zeros(static_cast<size_t>(speex_resampler_get_input_latency(st)) + 8, 0);
  std::vector<int16_t> tail;
  uint64_t in = in_, before = out_;
  Process(zeros.data(), zeros.size(), &tail);
  size_t keep = want > before ? std::min<size_t>(static_cast<size_t>(want - before), tail.size()) : 0;
  out->insert(out->end(), tail.begin(), tail.begin() + static_cast<long>(keep));
  in_ = in;
  out_ = before + keep;
}

void PcmEffect::Reset(int mode) {
  mode_ = Supported(mode) ? mode : 0;
  pos_ = 0;
  t_ = 0;
  delay_.clear();
  if (mode_ == 2) delay_.assign(kOutRate * 18 / 100, 0.0f);  // 180 ms
  if (mode_ == 6) {
    // Schroeder's reverberator: four combs in parallel, two all-passes in series.
    const size_t combLen[4] = {405, 431, 463, 492}, allLen[2] = {82, 202};
    for (int k = 0; k < 4; k++) {
      combs_[k].assign(combLen[k], 0.0f);
      combPos_[k] = 0;
      damp_[k] = 0.0f;
    }
    for (int k = 0; k < 2; k++) {
      allpass_[k].assign(allLen[k], 0.0f);
      allPos_[k] = 0;
    }
  }
}

float PcmEffect::comb(int k, float x) {
  std::vector<float> &line = combs_[k];
  float y = line[combPos_[k]];
  damp_[k] = y * 0.8f + damp_[k] * 0.2f;
  line[combPos_[k]] = x + damp_[k] * 0.8f;
  combPos_[k] = (combPos_[k] + 1) % line.size();
  return y;
}

void PcmEffect::Process(int16_t *pcm, size_t n) {
  for (size_t i = 0; i < n; i++) {
    float x = pcm[i];
    float y = x;
    switch (mode_) {
      case 2: {
        float echo = delay_[pos_];
        y = x + 0.45f * echo;
        delay_[pos_] = y;
        pos_ = (pos_ + 1) % delay_.size();
        break;
      }
      case 6: {
        float wet = 0.0f;
        for (int k = 0; k < 4; k++) wet += comb(k, x * 0.25f);
        for (int k = 0; k < 2; k++) {
          std::vector<float> &line = allpass_[k];
          float b = line[allPos_[k]];
          float v = wet + 0.5f * b;
          line[allPos_[k]] = v;
          wet = b - 0.5f * v;
          allPos_[k] = (allPos_[k] + 1) % line.size();
        }
        y = x * 0.85f + wet * 0.9f;
        break;
      }
      case 7: {
        float t = static_cast<float>(t_++) / kOutRate;
        y = x * (0.7f + 0.3f * std::sin(2 * kPi * 5.5f * t)) * (0.7f + 0.3f * std::sin(2 * kPi * 70.0f * t));
        break;
      }
      default:
        break;
    }
    pcm[i] = clip(y);
  }
}

size_t PcmEffect::TailSamples() const {
  if (mode_ == 2) return kOutRate * 7 / 10;
  if (mode_ == 6) return kOutRate * 4 / 10;
  return 0;
}
