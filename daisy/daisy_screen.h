// daisy/daisy_screen.h: the DAISY screen ("Daisy"). It opens a book from the
// file browser at a saved position, performs the navigator's play items
// (text through its own reading voice "DAISY_TTS", audio clips through its
// own decoder "DAISY_AUDIO" on the same sound handle), maps the keys to
// moves by the step setting, offers the DAISY menu and the bookmark menu,
// keeps an A-B repeat and saves the position in the history when it
// closes.
//
// Threads: keys, menus and the input box run on the key distribution
// thread, which alone moves the navigator. The speech thread runs the
// speech sink and finish function, the decoder thread the PCM writer and
// the end notice; both reach the screen only through the DAISYEND key.
// The writer's buffers are touched by the key thread only while the decoder
// thread is parked (AudioPause, AudioSeekExact) or gone (AudioClose).
//
// Clips: a clip that starts where the previous one stopped in the same file
// goes on without a seek (AudioContTo), any other clip of an open file is
// reached by an exact seek; the decoder stops on the clip's last sample.
// The writer records every clip start in the sound log beside the device
// writes ("sound daisy clip src=F begin=MS end=MS rate=R ch=C skip=BYTES":
// the clip's first sample lies BYTES into what the screen writes next).
#pragma once

#include "core/runtime/activity.h"

// Registers the screen with the file browser (DAISY control files) and
// binds its menu functions by name. Start-up calls it once. Returns 0, -1.
int DaisyScreenInit(void);

// Creates the screen for the browser's current file at the saved position
// (SMIL index, element index; 0, 0 from the start). A history entry of the
// book at that position also gives the place inside the audio clip.
// Returns the screen, stacked but not active, or null (nothing left open).
Activity *DaisyCreate(Activity *browser, int smil_index, int element_index);

// Opens the book of the browser's current file at the position. Returns 0,
// -1 (the book is closed again).
int DaisyOpenFile(Activity *screen, int unused, int smil_index, int element_index);
void DaisyCloseFile(void);
// Performs the current play item. Returns 0, -1.
int DaisyPlay(Activity *screen);
int DaisyKey(Activity *screen, const KeyEvent *key);
int DaisyShow(Activity *screen);
int DaisyHide(Activity *screen);
// The DAISY reading settings (speed 14, role 11, pitch 15, effect 17) with
// the setting's own value. Returns 0, -1.
int DaisySetParam(void *context, int param, int value);

// Menu functions (context: the screen's record, as the menus get it).
int DaisyMenuJmpToPage(void *context, int value, int preview);
int DaisyMenuJmpToHead(void *context, int value, int preview);
int DaisyMenuJmpToBegin(void *context, int value, int preview);
int DaisyMenuJmpToEnd(void *context, int value, int preview);
int DaisyMarkAddItem(void *context, int value, int preview);
int DaisyMarkAddRepeat(void *context, int value, int preview);
void DaisyJmpToPageCallBack(void *context, int value);
void DaisyJmpToHeadCallBack(void *context, int value);
// The heading list: every heading spoken by its level and text, UP and DOWN
// walk it from the current one, OK jumps there, BACK goes on reading where
// the reading was. A book without headings says so and reads on.
int DaisyMenuHeadingList(void *context, int value, int preview);
void DaisyHeadingListCallBack(void *context, int index);
// A skip item's value: the structure's SMIL_SKIP_* bit << 8, and in the low
// byte the bit to skip it or 0 to read it. Kept with the book's history.
int DaisySetSkip(void *context, int value, int preview);

// The step table: entry i is enabled by bit i of the mask.
struct DaisyStepEntry {
  int value;
  const char *name[2];  // Chinese, English
};
constexpr int kDaisySteps = 13;
extern const DaisyStepEntry kDaisyStepTable[kDaisySteps];
// The mask a book gets: levels 1..min(levels, 6), page when it has pages,
// sentence always, the time steps only for a book with audio.
unsigned DaisyStepMask(int levels, int pages, int text_only);

// For tests and diagnostics: the screen's step mask, repeat state (0 off,
// 1 A set, 3 A and B) and output (0 none, 1 speech, 2 audio); -1 for a
// screen that is not the DAISY screen.
int DaisyScreenStepMask(Activity *screen);
int DaisyScreenRepeatState(Activity *screen);
int DaisyScreenOutput(Activity *screen);
