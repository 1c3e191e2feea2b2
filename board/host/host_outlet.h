// board/host/host_outlet.h: where the host sound device's PCM goes once the
// device model (host_sound.cpp) has taken it. One const record per outlet
// (alsa, wav, null); BoardHostConfigure picks one from --audio and the model
// calls it for every play session. The model keeps the board's time and
// fragment accounting itself, so an outlet never refuses or slows a write.
//
// Every callback runs under the device model's lock, one session at a time;
// an outlet keeps its own state for the session in progress.
#pragma once

#include <cstdint>

struct HostOutlet {
  const char *name;  // as given to --audio

  // A play session starts, or its format changes on a kept descriptor:
  // PCM that follows comes at `rate` Hz with `channels` (1 or 2) interleaved
  // 16-bit samples. A format change lets what was written before finish in
  // its own format first. Cannot fail: an outlet that cannot take sound
  // logs why once and drops what follows.
  void (*open)(int rate, int channels);

  // PCM as the codec sounds it (left and right already exchanged):
  // `frames` frames in the format of the last open. What the outlet cannot
  // take now is dropped; the device model has counted it as played.
  void (*write)(const int16_t *pcm, int frames);

  // The session ends. drain true: the descriptor was closed, so what was
  // written sounds to its end; false: the board is being reset, so it is
  // dropped at once.
  void (*close)(bool drain);

  // The device was reset: what the outlet still holds of this session is
  // dropped now and the session goes on with the next write.
  void (*drop)(void);
};

// The ALSA outlet: the machine's sound card ("default", or ALSA's "null"
// device where the default cannot be opened). nullptr in a build without
// ALSA (CMake then compiles host_alsa_absent.cpp instead of host_alsa.cpp).
const HostOutlet *HostAlsaOutlet(void);

// Appends one line to root/host/sound.log ("T text"). Caller holds the
// device model's lock, as every outlet callback does.
void HostSoundLog(const char *format, ...) __attribute__((format(printf, 1, 2)));
