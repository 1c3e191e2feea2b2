// speech/text_sound.h: the spoken-prompt queue through which every screen
// speaks.
#pragma once

// Speaks text as a prompt, cutting off the one in progress. Returns the
// prompt's handle (>= 1), or -1 for a null or empty text.
int text_sound_insert(const char *text);

// Blocks until the prompt handle has ended. Returns 0 when it ended, -1 when
// another prompt replaced it, -2 for a negative handle.
int wait_text_sound_end(int handle);

// Starts and ends the prompt voice. Return 0 / nothing.
int text_sound_init(const char *name, const void *params);
void text_sound_deinit(void);
