// audio/player.h: the music player screen ("Audio"). It plays the audio
// files of one folder one after another through an audio object of its own
// ("AUDIO"), remembers where each file was left (audio history, mark type 1)
// and offers bookmarks, jumps, A-B repeat, play modes, speed, pitch,
// equaliser presets and the audio stream through its two menus.
//
// Threads: keys, menus and the input box run on the key distribution
// thread; the PCM writer and the end notice run on the decoder thread, which
// reaches the screen only through the AUDIOEND virtual key. The screen takes
// no lock of its own: what the writer shares with the key thread is atomic,
// or touched by the key thread only while the decoder thread is parked
// (AudioPause, AudioSeek) or gone (AudioClose).
#pragma once

#include "core/runtime/activity.h"

struct Audio;

// Binds the player's menu set functions by name (audiospeedfunc,
// audiopitchfunc, MenuSetEq, MenuSelectStream, AudioMarkAddRepeat,
// AudioMarkAddItem, AudioMenuJmpToMinutes). Start-up calls it once.
// Returns 0, -1 when a binding was refused.
int AudioPlayerInit(void);

// The file browser's predicate: 1 when name carries one of the audio and
// video extensions the player opens (compared without case, after the last
// "."), else 0. dir is not looked at.
int IsAudioFile(const char *dir, const char *name);

// Creates the player on path (a fixed path of the system) playing from
// start_ms; the play list is the audio files of path's folder in name
// order. browser (may be null) is moved to each file the player goes on
// to, so that it stands on the file last played when the player closes.
// Returns the screen, stacked but not active, or null when the file is no
// audio file, the sound device cannot be opened, the file cannot be opened
// or memory is short (nothing is left open; nothing is spoken).
Activity *AudioPlayerCreate(Activity *browser, const char *path, int start_ms);

// The same with the play list given: count full paths, current the index
// of the file to play first (the browser hands over its own listing).
Activity *AudioPlayerCreateList(Activity *browser, const char *const *paths, int count, int current,
                                int start_ms);

// The browser's player for audio files: the browser's current file at
// start_ms, with the audio files of its listing, in its order, as the play
// list. Registered with the browser by AudioPlayerInit.
Activity *AudioCreate(Activity *browser, int start_ms, int unused);

// Creates the player as above, stops the prompt in progress and makes the
// player the active screen. When it cannot be created the user hears
// "无法打开文件" / "can not open the file". Returns 0, or -1.
int AudioPlayerFunc(Activity *browser, const char *path, int start_ms);

// The player's key callback: 0 when the key was handled, 1 to pass it on,
// -1 for a bad record.
int AudioKey(Activity *player, const KeyEvent *key);

// For tests and diagnostics: the player's audio object, the full path of its
// current file (null for a screen that is not a player).
Audio *AudioPlayerAudio(Activity *player);
const char *AudioPlayerPath(Activity *player);
