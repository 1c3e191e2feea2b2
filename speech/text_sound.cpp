// The spoken-prompt queue. Until the speech engine is in, a prompt is "heard"
// at once: its text goes to the board's transcript and it has ended when
// insert returns.
#include "speech/text_sound.h"

#include "board/board.h"

#include <atomic>

namespace {
std::atomic<int> g_lastHandle{0};
}

int text_sound_insert(const char *text) {
  if (!text || !*text) return -1;
  BoardTranscript("prompt", text);
  return ++g_lastHandle;
}

int wait_text_sound_end(int handle) {
  if (handle < 0) return -2;
  return handle == g_lastHandle ? 0 : -1;
}

int text_sound_init(const char *name, const void *params) { return 0; }

void text_sound_deinit(void) {}
