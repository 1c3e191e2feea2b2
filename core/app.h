// core/app.h: process-wide globals of the application and its start-up and
// shutdown. Written during start-up on the main thread, read everywhere.
#pragma once

extern int AppY, AppM, AppD, AppHH, AppMM, AppSS;
extern char *LastPath;  // heap, owned here; the file browser's start path (new[]/delete[])
extern int MLanguageSetting;  // 0 Chinese, 1 English

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

// 1 when path starts, in any case, with "/mnt/emmc/daisy" or
// "/mnt/sdcard/daisy"; else 0.
int IsDaisyDir(const char *path);

// Diagnostic timer: prints the wall clock when started and the elapsed time
// when it fires. Returns 0.
int InitTimer(void);
int TimeCallback(void *arg, int flag);
