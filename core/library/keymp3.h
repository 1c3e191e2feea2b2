// core/library/keymp3.h: the screens of the music key. The entry screen ("KeyMp3")
// says "Recently played"; OK opens the list of the audio files played last
// ("KeyHistory", the audio history), from which OK resumes a file in the
// music player at its stored position; an arrow key instead takes the file
// browser to the music folder of the internal storage. Both keep the file
// browser in their head's spare word and run on the key distribution
// thread.
#pragma once

#include "core/runtime/activity.h"

// Makes the entry screen over browser, stacked but not active (the browser
// activates it, which speaks it). Returns null for a null browser or when
// memory runs out.
Activity *KeyMp3Create(Activity *browser);

// Entry screen callbacks. Show: -1 for a null record.
int KeyMp3Show(Activity *screen);
int KeyMp3Key(Activity *screen, const KeyEvent *key);
int KeyMp3Hide(Activity *screen);

// History list callbacks. Show speaks the entry under the cursor: title and
// stored position, or "No recently played"; -1 when the mark at the cursor
// is missing.
int KeyHistoryShow(Activity *screen);
int KeyHistoryKey(Activity *screen, const KeyEvent *key);
int KeyHistoryHide(Activity *screen);
