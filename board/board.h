// board/board.h: everything that differs between the device and this machine.
//
// Two implementations link against this header: board/device (the player's
// own board: evdev, sysfs, device files, system()) and board/host (a root
// folder on an ordinary Linux machine standing in for the board's file system,
// a command log instead of a shell, keys from the terminal or a script).
// Application code never opens a device node, runs a shell command or reads
// the clock except through these calls.
#pragma once

#include <cstdint>
#include <string>
#include <sys/time.h>

// Parses the board's own command-line options (the host board's --root,
// --vkey-port, ...) and prepares the board. Returns 0, or -1 after printing
// the reason when the options are unusable.
int BoardInit(int argc, char **argv);

// Ends what BoardInit started (host: the key feeder, open log files).
void BoardDeInit(void);

// Fixed path of the system ("/home/...", "/mnt/sdcard", "/proc/cmdline")
// to the path where it really lives. Relative paths are returned unchanged.
// Returns the length written, or -1 when out cannot hold it.
int BoardMapPath(const char *path, char *out, int size);
std::string BoardPath(const char *path);

// Runs one of the system's shell commands (mount, mkfs, insmod, rm, ...).
// Returns what system() would: the wait status, 0 for success.
int BoardRunShell(const char *command);

// Runs one of the system's helper programs and collects what it prints.
// command is the program's fixed path ("/home/pdftotext") and its arguments,
// quoted for sh (a file name in single quotes). At most size - 1 bytes of
// its standard output go to out, NUL-terminated; the rest is read and
// dropped. The board runs the line through the shell (popen); the host
// board runs no shell: it splits the line into words, maps the program and
// every absolute path argument onto the root and starts the program itself.
// Returns the number of bytes stored, or -1 when the program could not run.
int BoardPopen(const char *command, char *out, int size);

// Wall clock, as gettimeofday/settimeofday. The host board keeps an offset
// instead of changing the machine's clock. Return 0, or -1.
int BoardGetTimeOfDay(struct timeval *tv);
int BoardSetTimeOfDay(const struct timeval *tv);
time_t BoardTime(void);

// Monotonic clock in microseconds; wall-clock changes do not move it.
int64_t BoardMonotonicUs(void);

// The key input device: a descriptor that becomes readable with 16-byte
// board input events (Linux input_event as the 32-bit board lays it out).
// Returns the descriptor, or -1 with errno set.
int BoardInputOpen(void);
void BoardInputClose(int fd);

// TCP port of the virtual-key server on the loopback address.
int BoardVkeyPort(void);

// Records a text as spoken by a voice. The host writes it to the transcript
// that the end-to-end tests read; the board has no use for it.
void BoardTranscript(const char *voice, const char *text);
