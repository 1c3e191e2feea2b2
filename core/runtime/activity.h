// core/runtime/activity.h: screens and the stack they live on. The device has no
// display: a screen "shows" itself by speaking its current item.
//
// One thread at a time touches the screens: the screen thread. Every show,
// hide, reshow, push and pop of a screen, and every key handed to one,
// happens on it. While a key distribution thread runs, it is the screen
// thread (a confirmation box's nested distributor takes over while its
// caller waits, and hands back when it ends); before the first one starts
// and after the last one ends, the thread that sets up or tears down the
// program is. Worker, decoder, speech, timer and main-loop threads never
// call the functions below that touch screens: they post the work with
// ActivityPost (a worker dialog's ending, a ringing alarm's dialog) or a key
// with SendVKey, and the screen thread runs it between two keys. A debug
// build asserts the rule in each of those functions.
#pragma once

#include "core/runtime/key.h"

#include <functional>
#include <new>
#include <thread>

struct Activity {
  const char *name;
  int active;  // nonzero while the screen may receive keys and speak
  int (*key)(Activity *self, const KeyEvent *key);  // 0 consumed, 1 not consumed
  int (*show)(Activity *self);
  int (*hide)(Activity *self);
  long reserved;  // not used by the stack; the screen's own word
  void *data;
};

constexpr int kActivityMax = 32;

// Pushes act on top; its active flag is left as it is. Returns 0, -1 for
// null, -2 when 32 screens are already stacked.
int ActivityAdd(Activity *act);

// Removes act wherever it stands (entries above move down). Returns 0, also
// when act is not stacked; -1 for null. Never frees the record.
int ActivityRemove(Activity *act);

// Stores flag in act's active field, then shows the top-most active screen.
// Returns 0, -1 for null.
int ActivitySetActive(Activity *act, int flag);

// Shows the top-most active screen, if any. Returns 0.
int ActivityRefresh(void);

// Shows act only when it is the top-most active screen. Returns 0, -1 for null.
int ActivityReshow(Activity *act);

// The hide callback most screens share: the screen stops speaking and
// taking keys until it is shown again. Returns 0, -1 for null.
int ActivityHideScreen(Activity *act);

// Logs that a screen could not be made.
void ActivityLogNoMemory(const char *name);

// A new screen record T whose first member `head` names it and holds its
// callbacks, with the record as its data; null (logged) without memory.
template <typename T>
T *ActivityNew(const char *name, int (*key)(Activity *, const KeyEvent *), int (*show)(Activity *),
               int (*hide)(Activity *) = ActivityHideScreen) {
  T *screen = new (std::nothrow) T;
  if (!screen) {
    ActivityLogNoMemory(name);
    return nullptr;
  }
  screen->head = {name, 0, key, show, hide, 0, screen};
  return screen;
}

// Hands key to the top-most active screen. Returns the screen's result, or
// -2 when no screen is active or it has no key callback.
int ActivityKeyCallBack(const KeyEvent *key);

// The top slot, active or not; null on an empty stack.
Activity *GetCurrentActivity(void);

int ActivityGetNumb(void);

// Makes id the screen thread (a default id: none, any thread may) and
// returns the one before. A key distribution thread names itself when it
// starts and puts the previous one back when it ends.
std::thread::id ActivitySetScreenThread(std::thread::id id);

// Whether the calling thread may touch screens now.
bool ActivityOnScreenThread(void);

// Queues work for the screen thread, from any thread, and wakes the key
// distribution thread if it waits for a key. The work runs before the next
// key is handed out, in the order posted. Returns 0, -1 for empty work.
int ActivityPost(std::function<void()> work);

// Runs the work posted so far, in order, on the calling thread, which must
// be the screen thread; work posted meanwhile runs too. Returns how many
// ran. The key distribution thread calls it after every key read; a test
// that stands for that thread calls it itself.
int ActivityRunPosted(void);
