// core/runtime/key.h: key codes, the key event, the key ring buffer, and the key
// subsystem (reader on the main loop, distribution thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

enum {
  VKEY_MENU = 256, VKEY_BACK = 257, VKEY_VOL_ = 258, VKEY_ESC = 259, VKEY_RECORD = 260,
  VKEY_UP = 261, VKEY_DOWN = 262, VKEY_LEFT = 263, VKEY_RIGHT = 264, VKEY_OK = 265,
  VKEY_AUDIOEND = 273, VKEY_EBOOKEND = 274, VKEY_DAISYEND = 275,
  VKEY_SDIN = 277, VKEY_SDOUT = 278, VKEY_USBDISKIN = 279, VKEY_USBDISKOUT = 288,
  VKEY_USBIN = 289, VKEY_USBOUT = 290, VKEY_POWEROFF = 291,
  VKEY_MARK = 304, VKEY_VOLADD = 305, VKEY_MP3 = 306, VKEY_FM = 307,
  VKEY_HPDET = 309, VKEY_WIFIWAKEUP = 310, VKEY_USBOC = 311, VKEY_BTWAKEUP = 312,
};

enum { KEY_TYPE_PRESS = 0, KEY_TYPE_REPEAT = 1, KEY_TYPE_RELEASE = 2, KEY_TYPE_REDO = 128 };

struct KeyEvent {
  int32_t type;
  int32_t code;
};

// The name of a key code ("MENU", "" for back); "ERROR" for unnamed codes.
const char *KeyGetName(int code);

// The ring of key events between every writer (key reader, virtual-key
// server, players) and the key distribution thread. All fields are guarded
// by mutex; cond is signalled after every change.
struct KeyBuffer {
  std::mutex mutex;
  std::condition_variable cond;
  int exit = 0;
  int wr = 0;  // next slot to fill
  int rd = 0;  // next slot to read
  int len = 0;
  int wake = 0;  // KeyBufferWake called since the last read
  KeyEvent *keys = nullptr;  // len slots, owned
};

// Makes a buffer of length slots; null when length < 4.
KeyBuffer *KeyBufferInit(int length);
int KeyBufferDeInit(KeyBuffer *buf);

// Takes the next event, waiting while the buffer is empty. Returns 0 with
// *event filled, 1 without an event when woken by KeyBufferWake, or -1 for
// null arguments or once the exit flag is set.
int KeyBufferRead(KeyBuffer *buf, KeyEvent *event);

// Ends the wait of a reader, or makes its next read return at once: there
// is posted work to run (ActivityPost). Returns 0, -1 for null.
int KeyBufferWake(KeyBuffer *buf);

// Appends at the tail unless that would leave fewer than two free slots.
// Returns 0, or -1 when refused or exiting. Never blocks.
int KeyBufferWriteNoWait(KeyBuffer *buf, const KeyEvent *event);

// Stores the event so that it is read next. Returns 0, or -1 when the buffer
// is completely full or exiting.
int KeyBufferWriteToHeadNoWait(KeyBuffer *buf, const KeyEvent *event);

// Blocking forms: wait for room. Return 0, or -1 once the exit flag is set.
int KeyBufferWrite(KeyBuffer *buf, const KeyEvent *event);
int KeyBufferWriteToHead(KeyBuffer *buf, const KeyEvent *event);

int KeyBufferClean(KeyBuffer *buf);
int KeyBufferSetExit(KeyBuffer *buf, int flag);

// The one buffer of the program, made by InitKey; null before.
extern KeyBuffer *gKeyBuffer;

// Post a press of code at the tail / at the head of the key buffer.
void SendVKey(int code);
void SendVkeyHead(int code);


// Starts the key subsystem: buffer, distribution thread, virtual-key server,
// input device on the main loop, card probe, battery timer. Returns 0, or -1
// with everything started so far stopped again.
int InitKey(void);

// Stops all of it again, in reverse order; joins both threads.
void DeInitKey(void);

// Work of higher layers that goes with the keys, registered at start-up
// (before InitKey) on the main thread: pressed runs on the key distribution
// thread for every key it takes (the alarm scheduler's idle countdown);
// idle whenever the device may sleep again: before the thread waits for a
// key, after a headphone change and when a dialog ends (the radio lets the
// device sleep); take, on the same thread after pressed, may keep the key
// from the screens by returning nonzero. A null record or member does
// nothing.
struct KeyHooks {
  void (*pressed)(void);
  void (*idle)(void);
  int (*take)(const KeyEvent *key) = nullptr;
};
void KeySetHooks(const KeyHooks *hooks);

// Runs the idle hook, if any. Any thread.
void KeyIdle(void);

// The reader, an event of the main loop on the input device: flag 1 reads
// one event, flag 3 means the held key's time-out elapsed. Re-adds its
// record. Main-loop thread.
int KeyCallback(void *arg, int flag);

// The key-lock window: (re)armed for seconds after a power press while the
// keys are locked; its end (flag 3) closes the window.
void LockEvent(int seconds);
int LockCallback(void *arg, int flag);

// The quick auto-power-off: minutes >= 1 start a countdown that ends in
// POWEROFF; 0 stops it. FTPCallback is its minute timer.
void FastTimePowerOff(int minutes);
int FTPCallback(void *arg, int flag);
extern int gFTPminutes;  // minutes left

// Reader state, for the screens that speak it and for tests.
int KeyIsLocked(void);
int KeyFastPowerOffChoice(void);  // 0..6: off, 15, 30, 45, 60, 90, 120 minutes
// Back to the start-up state: unlocked, no key held, quick power-off off.
void KeyReaderReset(void);

// Volume steps 0..25. Add/Dec change MainVolume and speak it; NoTts the
// same silently; Media change PromptVolume silently (VolumeSetMain of
// sound/sound.h applies them). Return 0, -1 when the level could not be set
// (the step is then not stored).
int VolumeAdd(void);
int VolumeDec(void);
int VolumeAddNoTts(void);
int VolumeDecNoTts(void);
int VolumeAddMedia(void);
int VolumeDecMedia(void);

// A key distribution thread on gKeyBuffer: it hands each key to the
// top-most active screen and applies the defaults no screen took. InitKey
// starts the program's own; a blocking dialog starts a second one while the
// first waits inside the dialog's caller.
struct KeyDistributor;

// Starts a distribution thread. When until is given the thread ends by
// itself after the key during which *until became true. Returns null when
// the thread cannot start.
KeyDistributor *SysInitKeyDstr(const std::atomic<bool> *until);

// Stops the thread (waking it when it waits for a key), joins and frees it.
void DeInitKeyDistribution(KeyDistributor *dstr);

// Decodes one 16-byte board input event (two 32-bit time words, 16-bit type,
// 16-bit code, 32-bit value, little-endian). Returns 0, -1 for a short read.
int KeyDecodeEvent(const unsigned char *data, int len, int *type, int *code, int *value);
