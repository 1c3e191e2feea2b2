// core/clock/reminder.h: the voice reminders, as start-up and shutdown call
// them. Not built yet: both calls do nothing and return 0.
#pragma once

int InitVoiceRemind(void);
int DeInitVoiceRemind(void);
