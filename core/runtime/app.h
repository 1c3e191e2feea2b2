// core/runtime/app.h: process-wide globals of the application and its start-up and
// shutdown. Written during start-up on the main thread, read everywhere.
#pragma once

#include "core/runtime/globals.h"

// Registers what the layers above the configuration store, the keys and the
// format screen hand down to them: the configuration blocks of the menu
// settings, the bookmarks and the alarms; what every key press and an idle
// device do; what follows a format. Idempotent. Main thread, before the
// configuration is loaded.
void AppRegisterHooks(void);

// Brings every subsystem up, runs the main loop until the device is switched
// off, takes them down in reverse order and saves the configuration.
// Returns 0 after an orderly shutdown, -1 when the machine is not recognised.
int AppMain(void);

// Speaks the factory-test message when "/home/new_machine" exists.
// Returns close()'s result, or the negative result of open().
int new_machine_set(void);

// The prompt voice's 19 speech parameters (speech/tts.h) from the tone
// settings: the service's defaults, UTF-8 input, the language's number
// reading, the voice pair of ToneRole, ToneSpeed, ToneEffect and TonePitch
// x 6400. A setting that cannot be read keeps its default. Returns 0.
int ToneGetTtsParam(int *params);

// Diagnostic timer: prints the wall clock when started and the elapsed time
// when it fires. Returns 0.
int InitTimer(void);
int TimeCallback(void *arg, int flag);
