// Stand-ins for subsystems that are not built yet (see pending.h).
#include "core/pending.h"

#include "board/board.h"
#include "core/app.h"

#include <cstdio>
#include <cstring>
#include <vector>

int InitVoiceRemind(void) { return 0; }
int DeInitVoiceRemind(void) { return 0; }
int radio_enable_sleep = 0;
int ReadySleep(void) { return 0; }

Activity *RecordCreate(Activity *browser) { return nullptr; }
Activity *RadioCreate(Activity *browser) { return nullptr; }
int UpGrage(int code) { return 0; }
