// core/clock/sleep_timer.h: the sleep timer of the players. Set in the
// menus of the music player, the e-book reader and the DAISY screen (the
// MSleepTimer setting: off, 15 to 90 minutes, or the end of the current
// track, section or chapter), it counts on the board's wall clock. Thirty
// seconds before its end it says so; any key in those seconds gives it its
// period again (and does nothing else); the last ten seconds fade the
// player out; then the device switches off as the idle power-off does, the
// player keeping its position on the way. The choice is kept in the
// "sleeptimer" block of the configuration and counts again from the next
// player opened after a restart.
//
// Threads: everything runs on the key distribution thread (menu set
// function, key hook, players attaching and leaving, the ticks that a
// main-loop timer posts there with ActivityPost). The timer record belongs
// to the key thread; nothing else is shared.
#pragma once

#include "core/runtime/config.h"
#include "core/runtime/key.h"

// The player on screen, as the timer asks it at each tick (key thread).
struct SleepTimerClient {
  // Milliseconds left in the current track, section or chapter; -1 unknown.
  int (*sectionLeftMs)(void *context);
  // A number that changes when the position enters another one.
  int (*sectionId)(void *context);
};

// A player opened (client and context outlive the attachment) / left
// (context as attached; another context is ignored). Opening arms the
// timer with the kept choice when it does not run yet.
void SleepTimerAttach(const SleepTimerClient *client, void *context);
void SleepTimerDetach(void *context);

// The attached player played its last track to the end and is leaving: a
// timer waiting for the end of the section ends now.
void SleepTimerSectionEnded(void *context);

// The menu's set function (bound as "SleepTimerFunc"): minutes > 0 count
// from now, -1 waits for the end of the current section, 0 stops.
// Returns 0.
int SleepTimerFunc(void *context, int value, int preview);

// The key hook: during the last thirty seconds a key of the keyboard gives
// the timer its period again and is taken (returns 1); otherwise 0.
int SleepTimerTake(const KeyEvent *key);

// Milliseconds until the timer ends, -1 when it is off or waits for a
// section end it cannot foresee. Key thread.
int64_t SleepTimerLeftMs(void);

// Binds the set function. Returns 0, -1 when the binding failed.
int SleepTimerInit(void);

// The configuration block that keeps the choice.
extern const CfgBlock kSleepTimerBlock;
