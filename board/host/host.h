// board/host/host.h: the host board's own controls, for main's options and
// for tests. The rest of the program sees only board/board.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BoardHostOptions {
  std::string root;          // the board's file system; "" maps paths to themselves
  int vkeyPort = 5020;
  int64_t clockOffset = 0;   // seconds added to the wall clock
  std::string audio;         // "alsa", "wav" or "null"
  int runFor = 0;            // seconds until an orderly power-off; 0 never
  std::string keys;          // script of keys ("-" standard input); "" the terminal
  std::string capture;       // WAV file the sound device captures from; "" silence;
                             // ":counter" a 16-bit counter per frame
  bool captureLoop = false;  // the capture file starts again at its end
};

// Sets the host board up as BoardInit would from the command line, without
// starting the key feeder. Creates root/host/ for the logs.
int BoardHostConfigure(const BoardHostOptions &options);
const BoardHostOptions &BoardHostGetOptions(void);

// Moves the simulated wall clock: offset in seconds from the real one.
void BoardHostSetClockOffset(int64_t seconds);
int64_t BoardHostClockOffset(void);

// Monotonic time (BoardMonotonicUs) at which the board was configured: the
// zero of the times in transcript.txt and sound.log.
int64_t BoardHostStartUs(void);

// Paths of the host board's records under root/host/.
std::string BoardHostFile(const char *name);

// Maps a path of a shell command onto the root: "" when it leaves the root.
std::string BoardHostConfine(const std::string &path);

// Key feeder (host_keys.cpp): writes board input events for a script of key
// lines or the terminal into the write end of the input pipe.
int HostKeysStart(int writeFd);
void HostKeysStop(void);

// Encodes one board input event (16 bytes, little-endian 32-bit layout).
void HostKeysEncode(unsigned char out[16], int type, int code, int value);

// Sound device (host_sound.cpp). BoardHostConfigure resets it: the device is
// closed, sound.log and out.wav start afresh under the new root, refusals
// are cleared and capture comes from options.capture.
void HostSoundReset(void);
// Capture (host_capture.cpp): the microphone, line and FM inputs hear one
// live source that starts with the first record open after a reset and runs
// on in real time whether or not anyone reads it, as a microphone does. A
// reader that falls more than the driver's buffer behind loses the oldest
// audio (logged as an overrun in sound.log).
// Source of the inputs: a 16-bit PCM WAV file (played once, or looped), the
// counter pattern ":counter" (frame k of the session rate holds k mod 65536
// in every channel), or "" silence. Restarts the source's clock.
void BoardHostSetCapture(const std::string &path, bool loop = false);
// Called by host_sound.cpp under its lock: a record descriptor opened,
// changed its parameters, or closed; and the source from the options.
void HostCaptureOpen(int fd, int rate, int ch);
void HostCaptureClose(int fd);
void HostCaptureReset(void);
// Reads len bytes of the descriptor's capture, waiting until they exist.
// Returns the bytes read, or -1 when fd is not the open record descriptor.
int HostCaptureRead(int fd, void *pcm, int len);
// Sets the record key's level as the key feeder would (tests): 1 held.
void BoardHostSetRecordKey(int held);
// Last value written to a mixer control, or -1 when never written.
int BoardHostMixerGet(int control);
// Makes the mixer refuse writes of `value` (-1: any) to `control`; a
// negative control clears every refusal.
void BoardHostMixerRefuse(int control, int value);
// Makes the PCM device refuse a sample rate (0: none) on open and set.
void BoardHostDspRefuseRate(int rate);
// Tuner chip models (host_tuner.cpp), chosen by root/host/tuner. Reset by
// BoardHostConfigure: the next bus open reads the file again.
void HostTunerReset(void);
// The tuner log lines (registers written, power, tune, seek, waits) since
// the last call, oldest first.
std::vector<std::string> BoardHostTunerTake(void);
