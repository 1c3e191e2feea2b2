// The voice reminders' calls, doing nothing until they are built.
#include "core/clock/reminder.h"

int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
