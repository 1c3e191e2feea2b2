// The radio's calls, doing nothing until it is built.
#include "radio/radio.h"

int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }
Activity *RadioCreate(Activity *browser) { return nullptr; }
