// radio/radio.h: the FM radio screen ("Radio") and its station store.
//
// The screen plays the tuner through the sound layer's FM path, steps
// through the saved stations (UP/DOWN), seeks or steps the frequency
// (LEFT/RIGHT, by the "Operation mode" setting), searches the band, adds and
// deletes stations (its menu), switches speaker and headphone (OK) and
// records the radio (RECORD, through the recording screen). Stations live
// in "/home/radio.xml" with the chip's name; they are written crash-safe
// when the screen is left.
//
// Threads: everything runs on the key distribution thread; gRadio is only
// touched there.
#pragma once

#include "radio/tuner.h"

struct Activity;
struct KeyEvent;

extern Radio *gRadio;           // the open radio, or null
extern int radio_enable_sleep;  // 1 while the radio lets the device sleep

// The device's sleep handling while the radio plays: nothing to do on this
// board. Return 0.
int ReadySleep(void);
int RemoveSleep(void);

// Binds the radio menu's set functions by name. Start-up, once. Returns 0.
int RadioInit(void);

// Detects the chip, loads the stations, tunes and opens the FM path; the
// screen is stacked over browser but not yet active. Null when there is no
// chip (said so) or the radio cannot play; everything is freed again.
Activity *RadioCreate(Activity *browser);
int RadioKey(Activity *screen, const KeyEvent *key);
int RadioShow(Activity *screen);
int RadioHide(Activity *screen);

// The radio menu's brackets: the FM path closes while the menu speaks.
void RadioMenuEnter(void *context);
void RadioMenuExit(void *context);

// VOL+ and VOL- of the radio for callers outside the screen. Return 0.
int RadioVolAdd(void);
int RadioVolDec(void);

// Reads the stations of path into the radio's bands. Returns 0; -1 no file;
// -2 a damaged file, -3 one written for another chip: both are renamed to
// path + ".bak" and the bands keep no stations.
int RadioLoadStation(Radio *radio, const char *path);
// Writes the radio's bands crash-safe with chip's name. Returns 0 or -1.
int RadioSaveStation(Radio *radio, const char *chip, const char *path);
// Inserts station into the band's list by frequency; a frequency already
// there is not added again. Returns 0, or -1 when the list is full.
int RadioAddStation(RadioBand *band, const RadioStation &station);
// Removes the current station; the current index stays or moves to the new
// last entry (-1 when the list is empty). Returns 0, -1 when none is current.
int RadioDelStation(RadioBand *band);
// The band searched upwards from its minimum, found stations added, until a
// seek fails or comes back at or below the last find. Returns stations added.
int RadioSearchBand(RadioBand *band);
