// The host sound device's ALSA outlet (see host_outlet.h): one PCM handle
// for the play session in progress, opened non-blocking on "default" (or
// "null" where there is no card) with a buffer that holds the whole device
// model's buffer and some slack, so that writes the model accepted fit.
// Every callback runs under the device model's lock, which guards the
// fields below.
#include "board/host/host_outlet.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <initializer_list>

namespace {

constexpr int64_t kModelBufferBytes = 16 * 4096;  // host_sound.cpp's fragments
constexpr unsigned kSlackUs = 200000;

snd_pcm_t *g_pcm = nullptr;      // the session's handle; nullptr when none
const char *g_device = "";       // which ALSA device g_pcm is
int g_channels = 0;
int64_t g_written = 0;           // frames ALSA took this session
int64_t g_dropped = 0;           // frames it had no room for

// ALSA reports a missing card on standard error before we fall back.
void quiet(const char *, int, const char *, int, const char *, ...) {}

// Frames waiting in the device's buffer; 0 when it cannot tell.
long queuedFrames() {
  snd_pcm_uframes_t buffer = 0, period = 0;
  snd_pcm_sframes_t avail = snd_pcm_avail(g_pcm);
  if (avail < 0 || snd_pcm_get_params(g_pcm, &buffer, &period) < 0) return 0;
  return static_cast<long>(buffer) - static_cast<long>(avail);
}

void alsaClose(bool drain) {
  if (!g_pcm) return;
  long queued = queuedFrames();
  if (drain) {
    snd_pcm_nonblock(g_pcm, 0);  // drain waits for the buffer to play out
    snd_pcm_drain(g_pcm);
  } else {
    snd_pcm_drop(g_pcm);
  }
  snd_pcm_close(g_pcm);
  g_pcm = nullptr;
  HostSoundLog("dsp alsa close pcm=%s %s queued=%ld written=%lld dropped=%lld", g_device,
               drain ? "drain" : "drop", queued, static_cast<long long>(g_written),
               static_cast<long long>(g_dropped));
}

void alsaOpen(int rate, int channels) {
  alsaClose(true);
  g_written = g_dropped = 0;
  g_channels = channels;
  snd_lib_error_set_handler(quiet);
  auto latency = static_cast<unsigned>(kModelBufferBytes * 1000000 / (static_cast<int64_t>(rate) * channels * 2)) +
                 kSlackUs;
  for (const char *device : {"default", "null"}) {
    snd_pcm_t *pcm = nullptr;
    if (snd_pcm_open(&pcm, device, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) continue;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(channels), static_cast<unsigned>(rate), 1, latency) < 0) {
      snd_pcm_close(pcm);
      continue;
    }
    g_pcm = pcm;
    g_device = device;
    snd_pcm_uframes_t buffer = 0, period = 0;
    snd_pcm_get_params(pcm, &buffer, &period);
    HostSoundLog("dsp alsa open pcm=%s rate=%d ch=%d buffer=%lu period=%lu", device, rate, channels,
                 static_cast<unsigned long>(buffer), static_cast<unsigned long>(period));
    return;
  }
  HostSoundLog("dsp alsa unavailable");
}

void alsaWrite(const int16_t *pcm, int frames) {
  if (!g_pcm) return;
  while (frames > 0) {
    snd_pcm_sframes_t n = snd_pcm_writei(g_pcm, pcm, static_cast<snd_pcm_uframes_t>(frames));
    if (n == -EPIPE || n == -ESTRPIPE) {
      // An underrun (the card ran dry between sessions' writes): start again.
      if (snd_pcm_recover(g_pcm, static_cast<int>(n), 1) < 0) break;
      continue;
    }
    if (n < 0) break;  // the card is behind our clock: the rest is dropped
    pcm += n * g_channels;
    frames -= static_cast<int>(n);
    g_written += n;
  }
  g_dropped += frames;
}

void alsaDrop() {
  if (!g_pcm) return;
  snd_pcm_drop(g_pcm);
  snd_pcm_prepare(g_pcm);  // ready for the next write
}

const HostOutlet kAlsaOutlet = {"alsa", alsaOpen, alsaWrite, alsaClose, alsaDrop};

}  // namespace

const HostOutlet *HostAlsaOutlet(void) { return &kAlsaOutlet; }
