// Work posted to the key distribution thread: a small queue of functions,
// each announced by one VKEY_WORK key in the key buffer. The queue's mutex
// is a leaf: no work runs under it.
#include "core/runtime/key.h"

#include <array>
#include <mutex>

namespace {

struct Work {
  void (*fn)(void *);
  void *arg;
};

std::mutex g_mutex;
std::array<Work, 16> g_queue;  // guarded by g_mutex
int g_count = 0;               // guarded by g_mutex

}  // namespace

int KeyPostWork(void (*fn)(void *arg), void *arg) {
  if (!fn || !gKeyBuffer) return -1;
  {
    std::scoped_lock lock(g_mutex);
    if (g_count == static_cast<int>(g_queue.size())) return -1;
    g_queue[static_cast<size_t>(g_count++)] = {fn, arg};
  }
  KeyEvent key{KEY_TYPE_PRESS, VKEY_WORK};
  // Without its key the work still runs with the next one posted.
  return KeyBufferWriteNoWait(gKeyBuffer, &key) == 0 ? 0 : -1;
}

void KeyRunPostedWork(void) {
  for (;;) {
    Work w;
    {
      std::scoped_lock lock(g_mutex);
      if (g_count == 0) return;
      w = g_queue[0];
      for (int i = 1; i < g_count; i++) g_queue[static_cast<size_t>(i - 1)] = g_queue[static_cast<size_t>(i)];
      g_count--;
    }
    w.fn(w.arg);
  }
}
