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

// The clock runs past 2038 on the 32-bit board too: every target is built
// with _TIME_BITS=64 (CMakeLists.txt).
static_assert(sizeof(time_t) == 8, "time_t must be 64 bits");

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

// Programs the real-time clock's wake alarm: the board switches itself on
// at `when` (Unix seconds, UTC, whole seconds). The host board writes the
// time into root/sys/class/rtc/rtc0/wakealarm (seconds, as Linux's sysfs
// file shows it) and records "rtc wakealarm YYYY-MM-DD HH:MM:SS" in its
// command log. Returns 0, -1 when the clock cannot be opened, -2 when it
// refuses the request.
int BoardRtcSetWakeAlarm(time_t when);

// Monotonic clock in microseconds; wall-clock changes do not move it.
int64_t BoardMonotonicUs(void);

// The key input device: a descriptor that becomes readable with 16-byte
// board input events (Linux input_event as the 32-bit board lays it out).
// Returns the descriptor, or -1 with errno set.
int BoardInputOpen(void);
void BoardInputClose(int fd);

// TCP port of the virtual-key server on the loopback address.
int BoardVkeyPort(void);

// One request to a board control device ("/dev/led", "/dev/motor",
// "/dev/charg_set"): opens it, issues the ioctl request with arg, closes it.
// Returns the request's result (>= 0), -1 when the device cannot be opened,
// -2 when the request fails. The host models these drivers with plain files.
int BoardDeviceIoctl(const char *path, unsigned long request, void *arg);

// 1 when path ("/mnt/sdcard", "/mnt/usb") is a mount point, 0 when it is
// not, -1 when it cannot be examined.
int BoardIsMountPoint(const char *path);

// 1 when path ("/dev/mmcblk1p1") is a block device, else 0.
int BoardIsBlockDevice(const char *path);

// Bytes an ordinary writer may still store on the file system that holds
// path ("/mnt/sdcard/books"): statfs's available blocks times the block
// size; -1 when it cannot be examined. The host board answers from its
// simulated figures when root/proc/diskfree names a mount point that holds
// path, so that tests can fill a card.
int64_t BoardFreeBytes(const char *path);

// Bytes of one allocation unit of the file system that holds path (statfs's
// block size: a FAT card's cluster), which every file and folder fills up
// to the next whole unit; -1 when it cannot be examined. The host board
// takes a third figure of a root/proc/diskfree line when there is one.
int BoardFsBlockSize(const char *path);

// Records a text as spoken by a voice. The host writes it to the transcript
// that the end-to-end tests read; the board has no use for it.
void BoardTranscript(const char *voice, const char *text);

// ---- Sound device: the OSS PCM device, its mixer and the routing lines ----
//
// The device serves one descriptor at a time. Play descriptors are
// non-blocking: the driver holds `fragstotal` fragments of `fragsize` bytes
// and plays them in real time; a write takes what fits. On the board
// left and right of a stereo frame come out exchanged.

// Free space of a play descriptor, as the driver reports it.
struct BoardDspSpace {
  int fragments;   // whole free fragments
  int fragstotal;  // fragments of the device buffer
  int fragsize;    // bytes per fragment
  int bytes;       // free bytes
};

// Opens the PCM device for play (record 0) or capture (record 1) and sets
// rate, channels and signed 16-bit little-endian, in that order.
// Returns the descriptor, or -1 the device cannot be opened (busy, absent),
// -2 rate refused, -3 channels refused, -4 format refused (closed again).
int BoardDspOpen(int rate, int channels, int record);

// Sets rate, channels and format again on an open descriptor.
// Returns 0, -1 bad descriptor, -2/-3/-4 as BoardDspOpen.
int BoardDspSetParams(int fd, int rate, int channels);

// Returns 0 with *space filled, or -1 (not a play descriptor, query failed).
int BoardDspGetSpace(int fd, BoardDspSpace *space);

// Queues PCM. Returns the bytes taken (fewer than len when only part fits),
// -3 when the buffer is full and nothing was taken, -1 on error.
int BoardDspWrite(int fd, const void *pcm, int len);

// Discards what a play descriptor holds and has not yet played (the OSS
// driver's reset), so that the next write sounds at once: a prompt that cuts
// off other sound does not wait behind it. The descriptor stays open with
// its parameters. Returns 0, or -1 (not a play descriptor, driver refused).
int BoardDspReset(int fd);

// Reads captured PCM, waiting for it. Returns the bytes read, or -1.
int BoardDspRead(int fd, void *pcm, int len);

void BoardDspClose(int fd);

// Mixer controls: OSS mixer channels plus the board driver's output source.
enum {
  BOARD_MIXER_VOLUME = 0,    // play volume 0..100
  BOARD_MIXER_LINE = 6,      // input volume of the analogue paths
  BOARD_MIXER_MIC = 7,       // record volume
  BOARD_MIXER_OUTSRC = 0xfa, // output path (driver-specific)
  BOARD_MIXER_RECSRC = 0xff, // record source
};

// Opens the mixer: a descriptor, or -1.
int BoardMixerOpen(void);
// Writes one control. Returns 0, or -1 when the driver refused it.
int BoardMixerWrite(int fd, int control, int value);
void BoardMixerClose(int fd);

// A control line ("/dev/amp_en", "/dev/head_in", ...): func 0 release,
// 1 configure as output at *value, 2 read the level into *value, 3 write
// *value. Returns 0, or -1 when the line cannot be opened or refused.
int BoardGpioFunc(const char *path, int func, int *value);

// The record key's level while a voice memo is captured: 1 held, 0
// released, -1 unknown (the level could not be read). The board reads its
// GPIO listing through a shell command; the host follows the key feeder.
int BoardRecordKeyHeld(void);

// Records a sound-layer event (open, close, refused write, ...) beside the
// device's own events: the host's sound log; nothing on the board.
void BoardSoundEvent(const char *format, ...) __attribute__((format(printf, 1, 2)));

// ---- I2C bus: the FM tuner chip ----
//
// Opens an I2C bus ("/dev/i2c-1") read-write with a time-out of 2 (tens of
// milliseconds) and one retry. Returns a descriptor, or -1 when the bus
// cannot be opened (the host board: no tuner chip in root/host/tuner).
int BoardI2cOpen(const char *bus);
void BoardI2cClose(int fd);

// One combined transaction (I2C_RDWR) with the device at addr: txlen bytes
// written, then rxlen bytes read into rx; either length may be 0, not both.
// Returns 0, or -1 with errno set when the transaction failed.
int BoardI2cTransfer(int fd, int addr, const unsigned char *tx, int txlen, unsigned char *rx, int rxlen);

// Waits ms milliseconds for a chip on the bus to settle (after a reset, a
// tune). The board sleeps; the host board's chip models settle at once, so
// it only counts the time in the tuner log.
void BoardI2cWaitMs(int ms);
