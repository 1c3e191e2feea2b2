// The main loop: two circular lists with sentinel heads (descriptors and
// timers) and the exit flag. The loop runs on the main thread; other threads
// (the virtual-key server re-arming its USB timer, screens on the key thread)
// add and delete records too, so every list operation takes g_mutex. It is
// recursive because check functions run under it and may add records; it is
// never held while a callback runs. A record's owner writes its fields only
// while it is unlinked (EventDel, set, EventAdd), so the loop reads them
// under g_mutex only. Nothing here allocates: the poll and run
// lists of an iteration are local sentinels.
//
// The loop sleeps until a descriptor is ready or the nearest timeout is due,
// for ever when nothing is due: an idle player wakes no one. Adding a record
// and asking the loop to end write a byte to a wake-up pipe that the loop
// always watches, so a record added from another thread counts at once.
#include "core/runtime/loop.h"

#include "board/board.h"
#include "core/runtime/config.h"
#include "core/runtime/log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

namespace {

constexpr char kLogSource[] = "core/loop.c";
constexpr int64_t kForever = INT64_MAX;

Event g_file = EVENT_INIT_SELF(g_file);    // descriptor list; guarded by g_mutex
Event g_timer = EVENT_INIT_SELF(g_timer);  // timer list; guarded by g_mutex
std::recursive_mutex g_mutex;
std::atomic<bool> g_exit{false};  // __loop_exit
int g_wake[2] = {-1, -1};          // wake-up pipe; made once, kept for the process

// Makes a select in progress (or the next one) return. Safe from any
// thread and from a signal handler.
void wake() {
  if (g_wake[1] < 0) return;
  char c = 1;
  if (write(g_wake[1], &c, 1) < 0) return;  // full: the loop wakes anyway
}

void drainWake() {
  char b[64];
  while (read(g_wake[0], b, sizeof b) > 0) {
  }
}

void selfLink(Event *e) { e->next = e->prev = e; }

void unlink(Event *e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
  selfLink(e);
}

void appendTail(Event *head, Event *e) {
  e->prev = head->prev;
  e->next = head;
  head->prev->next = e;
  head->prev = e;
}

bool empty(const Event *head) { return head->next == head; }

// Moves every record of list whose timeout equals the elapsed wait to run,
// marked as timed out. Caller holds g_mutex.
void moveDue(Event *list, Event *run, int64_t wait) {
  for (Event *e = list->next, *next; e != list; e = next) {
    next = e->next;
    if (e->timeout == wait) {
      unlink(e);
      e->flag = EVENT_TIMER;
      appendTail(run, e);
    }
  }
}

int64_t countDown(int64_t timeout, int64_t elapsed) { return timeout > elapsed ? timeout - elapsed : 0; }

}  // namespace

void LoopInit(void) {
  std::scoped_lock lock(g_mutex);
  g_exit = false;
  if (g_wake[0] < 0 && pipe2(g_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
    // Without the pipe a record added by another thread waits for the next
    // due timeout; the key records are added on the loop's own thread.
    LOGW("main_loop: no wake-up pipe: %s\n", std::strerror(errno));
    g_wake[0] = g_wake[1] = -1;
  }
  // Records still linked from an earlier run are let go, not walked.
  selfLink(&g_file);
  selfLink(&g_timer);
}

int EventAdd(Event *rec) {
  if (!rec || !rec->callback) return -1;
  if (rec->flag == EVENT_TIMER) {
    if (rec->timeout <= 0) return -1;
  } else if (rec->flag == EVENT_READ || rec->flag == EVENT_WRITE) {
    if (rec->fd < 0 || !rec->check) return -1;
  } else {
    return -1;
  }
  {
    std::scoped_lock lock(g_mutex);
    appendTail(rec->flag == EVENT_TIMER ? &g_timer : &g_file, rec);
  }
  wake();
  return 0;
}

void EventDel(Event *rec) {
  if (!rec) return;
  std::scoped_lock lock(g_mutex);
  if (rec->next == rec) return;
  unlink(rec);
}

int EventArmTimer(Event *rec, int timeoutUs, int (*callback)(void *, int)) {
  if (!rec) return -1;
  EventDel(rec);
  rec->flag = EVENT_TIMER;
  rec->timeout = timeoutUs;
  rec->callback = callback;
  rec->arg = rec;
  return EventAdd(rec);
}

void LoopExit(void) {
  g_exit = true;
  wake();
}

void MainLoop(void) {
  if (CfgDebugEvt) LOGD("enter main_loop!\n");
  if (g_exit) {
    if (CfgDebugEvt) LOGD("exit main_loop!\n");
    return;
  }
  int64_t carried = 150;
  while (!g_exit) {
    Event poll = EVENT_INIT_SELF(poll);
    Event run = EVENT_INIT_SELF(run);
    fd_set rset, wset;
    FD_ZERO(&rset);
    FD_ZERO(&wset);
    int64_t t0 = BoardMonotonicUs();
    int maxfd = -1;
    int64_t wait = kForever;
    if (g_wake[0] >= 0) {
      FD_SET(g_wake[0], &rset);
      maxfd = g_wake[0];
    }
    {
      std::scoped_lock lock(g_mutex);
      for (Event *e = g_file.next, *next; e != &g_file; e = next) {
        next = e->next;
        if (e->check(e->arg)) {
          unlink(e);
          appendTail(&poll, e);
        }
      }
      for (Event *e = poll.next; e != &poll; e = e->next) {
        FD_SET(e->fd, e->flag == EVENT_WRITE ? &wset : &rset);
        maxfd = std::max(maxfd, e->fd);
        if (e->timeout >= 0) wait = std::min<int64_t>(wait, e->timeout);
      }
      for (Event *e = g_timer.next; e != &g_timer; e = e->next) wait = std::min<int64_t>(wait, e->timeout);
    }

    struct timeval tv = {static_cast<time_t>(wait / 1000000), static_cast<suseconds_t>(wait % 1000000)};
    int r = select(maxfd >= 0 ? maxfd + 1 : 1, &rset, &wset, nullptr, wait == kForever ? nullptr : &tv);
    int err = errno;
    const bool woken = r > 0 && g_wake[0] >= 0 && FD_ISSET(g_wake[0], &rset);
    if (woken) {
      drainWake();
      r--;  // the records' own readiness decides what runs
    }

    {
      std::scoped_lock lock(g_mutex);
      if (r < 0) {
        LOGW("main_loop, select return %d, %s\n", r, std::strerror(err));
      } else if (r > 0) {
        for (Event *e = poll.next, *next; e != &poll; e = next) {
          next = e->next;
          int reason = FD_ISSET(e->fd, &rset) ? EVENT_READ : FD_ISSET(e->fd, &wset) ? EVENT_WRITE : 0;
          if (reason) {
            unlink(e);
            e->flag = reason;
            appendTail(&run, e);
          }
        }
      } else if (!woken) {
        // The wait ran out: what it waited for is due.
        moveDue(&g_timer, &run, wait);
        moveDue(&poll, &run, wait);
      }
    }

    // Run in order; each record is unlinked before its callback so that the
    // callback may add it again. A record deleted by an earlier callback of
    // this iteration has left the run list and does not run.
    // The callback, argument and reason are taken under the lock: once the
    // record is unlinked its owner may re-arm it from another thread.
    for (;;) {
      int (*callback)(void *, int);
      void *arg;
      int flag;
      {
        std::scoped_lock lock(g_mutex);
        if (empty(&run)) break;
        Event *e = run.next;
        unlink(e);
        callback = e->callback;
        arg = e->arg;
        flag = e->flag;
      }
      callback(arg, flag);
    }

    int64_t t1 = BoardMonotonicUs();
    int64_t elapsed = t1 - t0 + carried;
    {
      std::scoped_lock lock(g_mutex);
      for (Event *e = g_timer.next; e != &g_timer; e = e->next)
        e->timeout = static_cast<int>(countDown(e->timeout, elapsed));
      while (!empty(&poll)) {
        Event *e = poll.next;
        if (e->timeout >= 0) e->timeout = static_cast<int>(countDown(e->timeout, elapsed));
        unlink(e);
        appendTail(&g_file, e);
      }
    }
    carried = BoardMonotonicUs() - t1;
  }
  if (CfgDebugEvt) LOGD("exit main_loop!\n");
}

void print_list(const char *title, const Event *head) {
  if (!head) return;
  std::scoped_lock lock(g_mutex);
  std::printf("%s: ", title ? title : "");
  for (const Event *e = head->next; e != head; e = e->next)
    std::printf(" --> %d[flag:%d, timeout:%d]", e->fd, e->flag, e->timeout);
  std::printf("\n");
}
