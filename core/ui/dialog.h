// core/ui/dialog.h: the worker dialog, which runs a long job on a thread of its
// own while its screen listens for stop keys (copying, deleting, a ringing
// alarm), and the blocking confirmation box that asks OK or cancel.
//
// Threads: a worker dialog's job runs on the dialog's worker thread; its
// keys and its ending (the screen leaves the stack, the record is freed)
// run on the screen thread (core/activity.h), to which the worker posts the
// ending. The state word is atomic: key callbacks write it, the job polls
// it. Worker threads are joined by the next DailogBoxRun or by
// DialogDeInit, never detached. A confirmation box runs a second key
// distribution thread while its caller waits.
#pragma once

#include "core/runtime/activity.h"

#include <atomic>
#include <thread>

enum {
  DLG_WAIT_OK = 1,  // waiting for OK
  DLG_RUNNING = 2,  // the job runs
  DLG_CANCEL = 3,   // cancelled by the user
  DLG_ABORT = 4,    // aborted by a key that must pass down the stack
  DLG_STOP = 5,     // stopped by a key
};

// The worker dialog record. NewDialogBox makes it zeroed with info_arg -1;
// the caller fills it and hands it to DailogBoxRun, which owns it from then.
struct DialogBox {
  const char *text[3];  // spoken in states 1, 2 and 3; may be null
  // Builds a progress text into buffer for the language; may be null.
  char *(*info)(char *buffer, int size, int arg, int language);
  std::atomic<int> state{0};
  std::atomic<int> info_arg{-1};  // handed to info; a job may write it (progress)
  int key_mode = 0;               // 0: confirm, then run; nonzero: stop on any key (the job already runs)
  void *work_arg = nullptr;
  // The job: polls *state and returns when it is no longer DLG_RUNNING or
  // when it is done.
  void (*work)(void *arg, std::atomic<int> *state) = nullptr;
  std::thread thread;
};

// A new record, or null.
DialogBox *NewDialogBox(void);

// Starts the worker thread and stacks and activates the dialog's screen
// ("Dailog"), which speaks the text of the current state. The thread waits
// while the state is DLG_WAIT_OK, runs the job in DLG_RUNNING, then posts
// the ending: the screen thread removes the screen, frees the record,
// re-shows the screen below (unless aborted) and re-posts an end-of-media
// key that came meanwhile. Screen thread only. Returns 0; -1 when
// the state is not 1 or 2 (the record is freed) or too many dialogs are
// open; -2 when the thread cannot start (the record is freed).
int DailogBoxRun(DialogBox *record);

// Asks message with a "DialogBox" screen and waits for the answer; a second
// key distribution thread feeds the box meanwhile, as the caller is itself
// inside a key callback. Returns VKEY_OK, or VKEY_BACK when cancelled
// (also by POWEROFF, which then travels on) or on any failure.
int DialogBoxCreate(const char *message);

// Ends every worker dialog still open (state DLG_ABORT), waits for their
// jobs, runs the posted endings (and any other posted work) on the calling
// thread and joins the workers. Run at shutdown after the keys have stopped.
void DialogDeInit(void);

// The end-of-media key kept while a dialog was open, or -1.
int DialogSavedKey(void);
