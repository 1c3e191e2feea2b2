// speech/text_sound.h: the spoken-prompt queue through which every screen
// speaks. It owns the prompt voice (a speech instance named "text_sound",
// tempo processor 0) and speaks one prompt at a time: a new prompt cuts off
// the one being spoken. A prompt takes the sound device as an insert client
// (sound/sound.h), so it pre-empts a playing player, and hands the device
// back when it ends. A prompt may be followed by an audio file (a recorded
// reminder), played as an insert client too.
//
// Before text_sound_init (and after text_sound_deinit) there is no voice: a
// prompt is only written to the transcript and has ended at once, and
// parameter changes are only stored.
#pragma once

// Speaks text as a prompt, cutting off the one in progress. Returns as soon
// as speaking has started: the prompt's handle (>= 1, a number that only
// wait_text_sound_end understands; every prompt gets a new one), or -1 for
// a null or empty text (the current prompt goes on) or when the sound device
// cannot be taken.
int text_sound_insert(const char *text);

// The same; a pending preview parameter (TextSoundSetParam) is put back
// first only when keep_preview is 0, so a menu can speak a value in the voice
// that the value selects.
int text_sound_insert1(const char *text, int keep_preview);

// Speaks text, then plays the audio file (a fixed path of the system; it
// must stay valid until the prompt has ended). Returns the prompt's handle
// or -1.
int text_audio_sound_insert(const char *text, const char *file);

// Cuts off the prompt being spoken and hands the device back; a pending
// audio file starts at once.
void text_sound_stop(void);

// Blocks until the prompt handle has ended. Returns 0 when it ended (or was
// stopped, or cut off by a change of voice), -1 when another prompt replaced
// it, -2 for a negative handle.
int wait_text_sound_end(int handle);

// Sets voice parameter index (0..18, see speech/tts.h) of the prompt voice;
// a change cuts off the prompt being spoken. With preview nonzero the old
// value is remembered and put back by the next ordinary prompt; an earlier
// pending preview is put back first in every case. Each change is recorded
// in the transcript as voice "param" ("14=5", "14=5 preview", "14=0 restore").
// Returns 0, -1 for an index of 19 or more, or the negative result of
// TtsSetParam.
int TextSoundSetParam(int index, int value, int preview);

// The prompt voice's current value of parameter index; -1 for a bad index.
int TextSoundGetParam(int index);

// Starts the prompt voice with the 19 parameters (null: the service's
// defaults with UTF-8 input). Returns 0, or -1 (the voice cannot start).
int text_sound_init(const char *name, const int *params);
// Ends the prompt voice (the prompt being spoken is cut off) and any clip.
// Returns the result of tts_deinit.
int text_sound_deinit(void);

// The clip player. AudioSoundInsert plays an audio file as an insert
// client, closing the clip before it; the clip's end is handed to the main
// loop, which closes it. Returns the clip's sound handle, or -1.
int AudioSoundInsert(const char *file);
// Closes the clip that plays, if any (text_sound_deinit calls it).
void AudioSoundDeInit(void);
// 1 when no clip plays.
int AudioSoundEnded(void);
