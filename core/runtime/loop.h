// core/runtime/loop.h: the single main loop. It multiplexes descriptor readiness and
// one-shot timers with select(); owners keep their records (usually static)
// and the loop only links them.
#pragma once

enum { EVENT_READ = 1, EVENT_WRITE = 2, EVENT_TIMER = 3 };

struct Event {
  Event *next;
  Event *prev;  // a record in no list links to itself
  int fd;       // watched descriptor (EVENT_READ, EVENT_WRITE)
  int timeout;  // microseconds; counted down in place; < 0: descriptor never times out
  int (*callback)(void *arg, int flag);  // flag: the reason, 1 readable, 2 writable, 3 time-out
  int (*check)(void *arg);  // descriptors: watched this iteration only when it returns nonzero
  int flag;                 // what to wait for; overwritten with the reason before the callback
  void *arg;
};

// A record that is in no list, for static initialisation.
#define EVENT_INIT_SELF(rec) \
  { &(rec), &(rec), -1, 0, nullptr, nullptr, 0, nullptr }

// Clears the exit flag and empties both lists.
void LoopInit(void);

// Links a record at the tail of the timer or descriptor list. Returns 0, or
// -1 for a null record, a bad flag, no callback, a timer whose timeout is
// not > 0, or a descriptor record with fd < 0 or no check.
int EventAdd(Event *rec);

// Unlinks a record and links it to itself; a self-linked record is left alone.
void EventDel(Event *rec);

// (Re)arms rec as a one-shot timer of timeoutUs calling callback with the
// record as its argument: unlinked, set and linked again by its owner.
// Returns as EventAdd.
int EventArmTimer(Event *rec, int timeoutUs, int (*callback)(void *arg, int flag));

// Ends the loop after the iteration in progress.
void LoopExit(void);

// Runs until LoopExit.
void MainLoop(void);

// Debug print of a list: "title:  --> fd[flag:f, timeout:t] ...".
void print_list(const char *title, const Event *head);
