// The activity stack: 32 slots, index 0 the bottom (the file browser).
// Locking: g_mutex guards the slots and the count. Only the screen thread
// changes them, but other threads count them (ActivityGetNumb), so the lock
// stays; it is never held while a key or show callback runs: a callback is
// free to push or remove screens. Each screen is freed by the screen itself
// (or by its creator) after ActivityRemove; the stack never frees.
//
// The posted work: g_postMutex guards the queue and the screen thread's
// name (also kept atomic for the debug checks). A post wakes the key buffer
// only while a distribution thread is the screen thread; that thread names
// itself, and gives up the name before the buffer goes, under g_postMutex.
// Lock order: g_postMutex, then the key buffer's mutex. No work runs under
// either.
#include "core/runtime/activity.h"

#include "core/runtime/log.h"

#include <atomic>
#include <cassert>
#include <cstdio>
#include <deque>
#include <mutex>

namespace {

constexpr char kLogSource[] = "core/activity.c";

std::mutex g_mutex;
Activity *g_stack[kActivityMax];  // guarded by g_mutex
int current_num = 0;              // guarded by g_mutex

std::mutex g_postMutex;
std::deque<std::function<void()>> g_posted;  // guarded by g_postMutex
std::atomic<std::thread::id> g_screenThread;  // written under g_postMutex

// Every function that touches screens starts with this.
void checkThread() { assert(ActivityOnScreenThread() && "screens are touched on the screen thread only"); }

// Caller holds g_mutex.
Activity *topActive() {
  for (int i = current_num - 1; i >= 0; i--)
    if (g_stack[i]->active) return g_stack[i];
  return nullptr;
}

void show(Activity *act) {
  if (act && act->show) act->show(act);
}

}  // namespace

int ActivityAdd(Activity *act) {
  if (!act) return -1;
  checkThread();
  std::scoped_lock lock(g_mutex);
  if (current_num >= kActivityMax) return -2;
  g_stack[current_num++] = act;
  return 0;
}

int ActivityRemove(Activity *act) {
  if (!act) return -1;
  checkThread();
  std::scoped_lock lock(g_mutex);
  for (int i = 0; i < current_num; i++) {
    if (g_stack[i] != act) continue;
    for (int j = i; j + 1 < current_num; j++) g_stack[j] = g_stack[j + 1];
    g_stack[--current_num] = nullptr;
    break;
  }
  return 0;
}

int ActivitySetActive(Activity *act, int flag) {
  if (!act) return -1;
  checkThread();
  Activity *top;
  {
    std::scoped_lock lock(g_mutex);
    act->active = flag;
    top = topActive();
  }
  show(top);
  return 0;
}

int ActivityRefresh(void) {
  checkThread();
  Activity *top;
  {
    std::scoped_lock lock(g_mutex);
    top = topActive();
  }
  show(top);
  return 0;
}

int ActivityReshow(Activity *act) {
  if (!act) return -1;
  checkThread();
  bool isTop;
  {
    std::scoped_lock lock(g_mutex);
    isTop = topActive() == act;
  }
  if (isTop) show(act);
  return 0;
}

void ActivityLogNoMemory(const char *name) { LOGE("Not enough memory for %s\n", name); }

int ActivityHideScreen(Activity *act) {
  if (!act) return -1;
  act->active = 0;
  return 0;
}

int ActivityKeyCallBack(const KeyEvent *key) {
  checkThread();
  Activity *top;
  {
    std::scoped_lock lock(g_mutex);
    top = topActive();
  }
  if (!top || !top->key) return -2;
  return top->key(top, key);
}

Activity *GetCurrentActivity(void) {
  std::scoped_lock lock(g_mutex);
  if (current_num == 0) {
    std::printf("GetCurrentActivity return NULL\n");
    return nullptr;
  }
  return g_stack[current_num - 1];
}

int ActivityGetNumb(void) {
  std::scoped_lock lock(g_mutex);
  return current_num;
}

std::thread::id ActivitySetScreenThread(std::thread::id id) {
  std::scoped_lock lock(g_postMutex);
  return g_screenThread.exchange(id);
}

bool ActivityOnScreenThread(void) {
  std::thread::id owner = g_screenThread;
  return owner == std::thread::id() || owner == std::this_thread::get_id();
}

int ActivityPost(std::function<void()> work) {
  if (!work) return -1;
  std::scoped_lock lock(g_postMutex);
  g_posted.push_back(std::move(work));
  if (g_screenThread.load() != std::thread::id()) KeyBufferWake(gKeyBuffer);
  return 0;
}

int ActivityRunPosted(void) {
  checkThread();
  int ran = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::scoped_lock lock(g_postMutex);
      if (g_posted.empty()) return ran;
      work = std::move(g_posted.front());
      g_posted.pop_front();
    }
    work();
    ran++;
  }
}
