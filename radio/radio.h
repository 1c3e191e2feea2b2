// radio/radio.h: the FM radio as the file browser and the keys reach it.
// Not built yet: no radio screen opens and the device may always sleep.
#pragma once

struct Activity;

// The radio screen stacked over browser, or null while there is none (the
// browser then speaks its entry again).
Activity *RadioCreate(Activity *browser);

extern int radio_enable_sleep;  // 1 while the radio lets the device sleep
int ReadySleep(void);
