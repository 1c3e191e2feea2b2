// audio/pcm_out.h: decoded PCM on its way from a decoder thread to the
// sound device, shared by the screens that play files (music, talking
// books): the music tempo processor, 4096-byte blocks, retries every 23 ms
// while a prompt holds the device (-2) or its buffer is full (-3), and the
// decoder's position moved on only by what the device has taken (a part
// block waiting for the next chunk is not counted yet), so that a pause
// keeps the unsent part and marks land on what was heard.
//
// Ownership: the decoder thread uses a PcmOut while it runs; the key thread
// only while that thread is parked (after AudioPause) or gone. `sounded`
// may be read by any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

struct Audio;

struct PcmOut {
  int handle = -1;                   // the sound handle written to
  std::vector<int16_t> tempo;        // the tempo processor's output
  std::vector<unsigned char> out;    // PCM the device has not taken yet
  int64_t heldFrames = 0;            // decoded frames in `out` not yet counted
  bool deviceFailed = false;         // a write failed for good (logged once)
  std::atomic<bool> sounded{false};  // the device took something
};

// Sizes the buffers for handle. Returns 0, or -1 without memory.
int PcmOutInit(PcmOut *o, int handle);

// The writer's body: frames of interleaved s16 through the tempo processor,
// then every whole block to the device; the decoder's position moves on
// once all of it is out. Gives up waiting when the decoder is paused or
// stopped, keeping the rest.
void PcmOutWrite(PcmOut *o, Audio *a, const int16_t *pcm, int frames, int channels);

// Hands the device the whole blocks (everything when all), as above, with
// the bytes that went out in *sent (when given). Returns true when all that
// was asked went out.
bool PcmOutSend(PcmOut *o, Audio *a, bool all, size_t *sent = nullptr);

// At a file's end: the tempo processor's tail and the last part block go
// out, and the position moves on.
void PcmOutDrain(PcmOut *o, Audio *a, int channels);

// With the decoder parked or gone: what is left goes out, waiting at most
// wait_ms for the device, and the position moves on.
void PcmOutTail(PcmOut *o, Audio *a, int wait_ms);

// Drops what is held for the old position (and the tempo processor's
// contents). The decoder must be parked or gone.
void PcmOutDrop(PcmOut *o);
