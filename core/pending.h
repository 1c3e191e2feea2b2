// core/pending.h: subsystems that start-up and shutdown call but that are
// not built yet. Each is a named no-op returning success; a module that
// arrives takes its function out of pending.cpp and declares it in its own
// header instead.
#pragma once

int InitVoiceRemind(void);  // voice reminders
int DeInitVoiceRemind(void);
extern int radio_enable_sleep;  // radio: the device may sleep
int ReadySleep(void);

struct Activity;
// Screens the file browser opens with its keys (recording, recently played
// music, radio): the screen stacked over browser, or null while they do not
// exist (the browser then speaks its entry again).
Activity *RecordCreate(Activity *browser);

Activity *RadioCreate(Activity *browser);
// Firmware upgrade check after USB mass-storage mode. Returns 0.
int UpGrage(int code);
