// board/host/host.h: the host board's own controls, for main's options and
// for tests. The rest of the program sees only board/board.h.
#pragma once

#include <string>

struct BoardHostOptions {
  std::string root;          // the board's file system; "" maps paths to themselves
  int vkeyPort = 5020;
  long clockOffset = 0;      // seconds added to the wall clock
  std::string audio;         // "alsa", "wav" or "null"
  int runFor = 0;            // seconds until an orderly power-off; 0 never
  std::string keys;          // script of keys ("-" standard input); "" the terminal
  bool echo = false;         // echo spoken texts on standard output
};

// Sets the host board up as BoardInit would from the command line, without
// starting the key feeder. Creates root/host/ for the logs.
int BoardHostConfigure(const BoardHostOptions &options);
const BoardHostOptions &BoardHostGetOptions(void);

// Moves the simulated wall clock: offset in seconds from the real one.
void BoardHostSetClockOffset(long seconds);

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
