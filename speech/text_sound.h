// speech/text_sound.h: the spoken-prompt queue through which every screen
// speaks.
#pragma once

// Speaks text as a prompt, cutting off the one in progress. Returns the
// prompt's handle (>= 1), or -1 for a null or empty text.
int text_sound_insert(const char *text);

// The same; a pending preview parameter (TextSoundSetParam) is put back
// first only when keep_preview is 0, so a menu can speak a value in the voice
// that the value selects.
int text_sound_insert1(const char *text, int keep_preview);

// Cuts off the prompt being spoken.
void text_sound_stop(void);

// Blocks until the prompt handle has ended. Returns 0 when it ended, -1 when
// another prompt replaced it, -2 for a negative handle.
int wait_text_sound_end(int handle);

// Sets voice parameter index (0..18) of the prompt voice. With preview
// nonzero the old value is remembered and put back by the next ordinary
// prompt; an earlier pending preview is put back first in every case.
// Returns 0, or -1 for an index of 19 or more.
int TextSoundSetParam(int index, int value, int preview);

// The prompt voice's current value of parameter index; -1 for a bad index.
int TextSoundGetParam(int index);

// Starts and ends the prompt voice. Return 0 / nothing.
int text_sound_init(const char *name, const void *params);
void text_sound_deinit(void);
