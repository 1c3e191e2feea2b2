// The spoken-prompt queue. Until the speech engine is in, a prompt is "heard"
// at once: its text goes to the board's transcript and it has ended when
// insert returns. Voice parameters are only remembered; each change is
// recorded in the transcript as voice "param" ("14=5", "14=5 preview",
// "14=0 restore") so that tests can follow previews.
#include "speech/text_sound.h"

#include "board/board.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

constexpr int kParamCount = 19;

std::atomic<int> g_lastHandle{0};
std::mutex g_mutex;
int g_params[kParamCount];  // guarded by g_mutex
int g_paramId = -1;         // guarded by g_mutex; the parameter changed for a preview
int g_paramOld = 0;         // guarded by g_mutex

void recordParam(int index, int value, const char *how) {
  char line[64];
  std::snprintf(line, sizeof line, "%d=%d%s%s", index, value, *how ? " " : "", how);
  BoardTranscript("param", line);
}

// Caller holds g_mutex.
void restorePreview() {
  if (g_paramId < 0) return;
  g_params[g_paramId] = g_paramOld;
  recordParam(g_paramId, g_paramOld, "restore");
  g_paramId = -1;
}

int insert(const char *text, bool restore) {
  if (!text || !*text) return -1;
  std::scoped_lock lock(g_mutex);
  if (restore) restorePreview();
  BoardTranscript("prompt", text);
  return ++g_lastHandle;
}

}  // namespace

int text_sound_insert(const char *text) { return insert(text, true); }

int text_sound_insert1(const char *text, int keep_preview) { return insert(text, keep_preview == 0); }

void text_sound_stop(void) {}

int wait_text_sound_end(int handle) {
  if (handle < 0) return -2;
  return handle == g_lastHandle ? 0 : -1;
}

int TextSoundSetParam(int index, int value, int preview) {
  std::scoped_lock lock(g_mutex);
  restorePreview();
  if (index < 0 || index >= kParamCount) return -1;
  int old = g_params[index];
  g_params[index] = value;
  recordParam(index, value, preview ? "preview" : "");
  if (preview) {
    g_paramOld = old;
    g_paramId = index;
  }
  return 0;
}

int TextSoundGetParam(int index) {
  if (index < 0 || index >= kParamCount) return -1;
  std::scoped_lock lock(g_mutex);
  return g_params[index];
}

int text_sound_init(const char *name, const void *params) { return 0; }

void text_sound_deinit(void) {}
