// The activity stack: 32 slots, index 0 the bottom (the file browser).
// Locking: g_mutex guards the slots and the count. It is taken by the key
// thread (nearly every push and pop) and by main-loop callbacks (alarms), and
// it is never held while a key or show callback runs: a callback is free to
// push or remove screens. Each screen is freed by the screen itself (or by
// its creator) after ActivityRemove; the stack never frees.
#include "core/runtime/activity.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_mutex;
Activity *g_stack[kActivityMax];  // guarded by g_mutex
int current_num = 0;              // guarded by g_mutex

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
  std::scoped_lock lock(g_mutex);
  if (current_num >= kActivityMax) return -2;
  g_stack[current_num++] = act;
  return 0;
}

int ActivityRemove(Activity *act) {
  if (!act) return -1;
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
  bool isTop;
  {
    std::scoped_lock lock(g_mutex);
    isTop = topActive() == act;
  }
  if (isTop) show(act);
  return 0;
}

int ActivityKeyCallBack(const KeyEvent *key) {
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
