// sound/sound.h: the sound device layer. It owns the PCM device, the mixer
// and the routing lines, and gives the device to one client at a time:
// a main client (a player or the recorder) with sound_open, or an insert
// client (a prompt, an alarm, a memo) with sound_iopen, which pre-empts the
// main client. The pre-empted client keeps its handle number; its writes and
// reads return -2 until sound_iclose reopens the device with its parameters.
//
// Results: handle numbers from 1; -1 error, -2 handle not current, -3 device
// buffer full (nothing written, retry).
#pragma once

#include <atomic>

// A client of the device. Fields and their order are those of the board's
// record; all 32-bit.
struct SoundHandle {
  int pid;         // opener's process id, for the log only
  int id;          // handle number; 0 = no client
  int fd;          // device descriptor, -1 closed; 100 in the saved handle
                   // for a client that opened during an insert
  int is_insert;   // live handle: 1 while an insert client holds the device
  unsigned mode;   // low byte 0 closed, 1 play, 2 record; 0x100 FM path active
  int fmt;         // 16 (signed 16-bit LE), 0 when closed
  int ch;          // 1 or 2
  int rate;        // Hz
  int time;        // latency budget in ms (250)
  int fragsfree;   // a write needs more free fragments than this
  int fragstotal;  // fragments of the device buffer
  int fragsize;    // bytes per fragment
};

constexpr unsigned kSoundModeFm = 0x100;

// 1 while the output goes to the headphone, 0 for the speaker.
extern std::atomic<int> is_head;
// 1 when the codec records the line input while playing.
extern std::atomic<int> LineRecordWithPlay;

// Volume steps 0..25 to mixer levels for the running hardware version
// (HardVer); steps outside 0..25 are clamped.
int main_step_to_volume(int step);
int rec_step_to_volume(int step);

// Resets the handles, sets the routing lines and mixer for the hardware
// version, applies MainVolume and MRecordVolume. Returns 0, or -1 (mixer
// absent, a line or mixer write failed, unknown hardware version).
int sound_init(void);
// Switches the speaker amplifier off. Returns 0, -4 (line failed) or -5
// (unknown hardware version).
int sound_deinit(void);

// Opens the device as main client: mode 1 play, 2 record. During an insert
// the client is queued and gets the device when the insert closes.
// Returns the handle number; -1 bad mode or parameters, device error, FM
// busy; -2 another main client holds the device.
int sound_open(int mode, int rate, int ch);
// Closes a main client (drains first when playing). Returns 0.
int sound_close(int id);
// Changes rate and channels. During an insert they apply at the hand-back.
// Returns 0, -1 device refused, -2 not the current or saved handle.
int sound_set(int id, int rate, int ch);
// Writes PCM when the device has room; stereo frames come back with left
// and right exchanged (the board swaps them again). Returns the bytes
// written, -1 no descriptor, -2 not current (or an insert holds the device),
// -3 full.
int sound_write(int id, void *buf, int len);
// Scales what the main client plays from now on by permille / 1000 (0..1000,
// clamped), for a fade-out; prompts and other insert clients are not
// touched. The next sound_open starts at 1000 again.
void sound_fade(int permille);
// Reads captured PCM. Returns the bytes read, -1, -2.
int sound_read(int id, void *buf, int len);
// Sets play and record volume steps; a negative step is left alone; id is
// ignored. Returns 0, -2 mixer cannot be opened, -3 mixer write failed.
int sound_setvol(int id, int play_step, int rec_step);
// Applies the volume of the main output: MainVolume for which == -1, any
// other value PromptVolume. Returns 0, -1 when the mixer refused it.
int VolumeSetMain(int which);

// The insert client: takes the device at once (what a playing client has
// queued is discarded unplayed), keeping the descriptor when the mode is
// the same.
// Returns the handle number or -1.
int sound_iopen(int mode, int rate, int ch);
// Ends the insert and hands the device back to the saved main client.
// Returns 0, or -1 when the saved client closed meanwhile or could not be
// restored (the device is then free).
int sound_iclose(int id);
int sound_iset(int id, int rate, int ch);
// Discards what the live handle id (main or insert) has queued and not yet
// played, so that the next write sounds at once: for a client that cuts
// off its own sound (a new prompt, a move in a book). Returns 0, -1 when
// the handle does not play or the device refused, -2 not the live handle.
int sound_discard(int id);
int sound_iwrite(int id, void *buf, int len);
int sound_iread(int id, void *buf, int len);

// The FM radio path. Open returns 0, or -1 when the device is in use.
int sound_open_fm(void);
int sound_close_fm(void);

// Applies volume steps without the layer's lock (the routing operations
// use it). Returns 0, -2, -3 as sound_setvol.
int snd_set_volume(int play_step, int rec_step);

// Routing. Each returns 0, -1 headphone line unreadable, -2 mixer cannot be
// opened, -3 mixer write failed, -4 control line failed, -5 unknown
// hardware version. They take no lock.
int SetOutToHead(void);
int SetOutToSpeak(void);
int AutoSetHead(void);
int RevAmpEn(void);
int SetDacOut(void);
int SetFmOut(void);
int SetFmRecord(void);
int SetMicRecord(void);
int SetExtMicRecord(void);
int SetLineRecord(void);

// Copies the live and the saved handle (either may be null), for tests and
// diagnostics.
void SoundGetHandles(SoundHandle *live, SoundHandle *saved);
