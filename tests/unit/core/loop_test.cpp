#include "core/runtime/loop.h"

#include "board/board.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// The replacement pair below is malloc/free underneath; GCC cannot see that
// they match once inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Counts operator new while armed, to show the loop allocates nothing per
// iteration.
static std::atomic<bool> g_countNew{false};
static std::atomic<long> g_newCalls{0};

void *operator new(std::size_t n) {
  if (g_countNew) g_newCalls++;
  if (void *p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// The nothrow form too, or its blocks (screens use it) would be freed by the
// replacement delete after the sanitizer's allocator made them.
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  if (g_countNew) g_newCalls++;
  return std::malloc(n ? n : 1);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

struct Trace {
  std::vector<std::string> fired;
};

struct Rec {
  Event ev = EVENT_INIT_SELF(ev);
  const char *name = "";
  Trace *trace = nullptr;
  int fired = 0;
  int lastFlag = 0;
  int64_t firedAtUs = 0;
  bool exitLoop = false;
};

int recCallback(void *arg, int flag) {
  Rec *r = static_cast<Rec *>(arg);
  r->fired++;
  r->lastFlag = flag;
  r->firedAtUs = BoardMonotonicUs();
  if (r->trace) r->trace->fired.push_back(r->name);
  if (r->exitLoop) LoopExit();
  return 0;
}

int alwaysCheck(void *) { return 1; }

void arm(Rec &r, const char *name, int timeoutUs, Trace *t = nullptr, bool exit = false) {
  r.ev.flag = EVENT_TIMER;
  r.ev.timeout = timeoutUs;
  r.ev.callback = recCallback;
  r.ev.arg = &r;
  r.name = name;
  r.trace = t;
  r.exitLoop = exit;
}

void watch(Rec &r, int fd, int timeoutUs) {
  r.ev.flag = EVENT_READ;
  r.ev.fd = fd;
  r.ev.timeout = timeoutUs;
  r.ev.callback = recCallback;
  r.ev.check = alwaysCheck;
  r.ev.arg = &r;
}

TEST(Loop, RefusesInvalidRecords) {
  LoopInit();
  Rec r;
  struct Case {
    int flag, timeout, fd;
    bool callback, check;
  } cases[] = {
      {EVENT_TIMER, 0, -1, true, false},   // a timer must be in the future
      {EVENT_TIMER, -5, -1, true, false},
      {EVENT_TIMER, 10, -1, false, false}, // no callback
      {EVENT_READ, -1, -1, true, true},    // no descriptor
      {EVENT_READ, -1, 0, true, false},    // no check function
      {7, 10, 0, true, true},              // unknown flag
  };
  for (const Case &c : cases) {
    r.ev.flag = c.flag;
    r.ev.timeout = c.timeout;
    r.ev.fd = c.fd;
    r.ev.callback = c.callback ? recCallback : nullptr;
    r.ev.check = c.check ? alwaysCheck : nullptr;
    EXPECT_EQ(EventAdd(&r.ev), -1) << "flag " << c.flag << " timeout " << c.timeout;
  }
  EXPECT_EQ(EventAdd(nullptr), -1);
  EXPECT_EQ(r.ev.next, &r.ev);  // nothing was linked
}

TEST(Loop, TimersFireInTimeOrderAndTogetherInAddOrder) {
  LoopInit();
  Trace t;
  Rec late, a, b, stop;
  arm(late, "late", 60000, &t);
  arm(a, "a", 20000, &t);
  arm(b, "b", 20000, &t);
  arm(stop, "stop", 90000, &t, true);
  for (Rec *r : {&late, &a, &b, &stop}) ASSERT_EQ(EventAdd(&r->ev), 0);
  int64_t t0 = BoardMonotonicUs();
  MainLoop();
  EXPECT_EQ(t.fired, (std::vector<std::string>{"a", "b", "late", "stop"}));
  // Same timeout, added together: they fire in the same iteration.
  EXPECT_LT(b.firedAtUs - a.firedAtUs, 5000);
  EXPECT_GE(late.firedAtUs - t0, 55000);  // not before its time (minus the loop's slack)
  EXPECT_EQ(a.lastFlag, EVENT_TIMER);
}

TEST(Loop, DescriptorTimesOutOnlyWithATimeout) {
  LoopInit();
  int quiet[2], busy[2];
  ASSERT_EQ(pipe(quiet), 0);
  ASSERT_EQ(pipe(busy), 0);
  Rec never, timed, readable, stop;
  watch(never, quiet[0], -1);
  watch(timed, quiet[0], 30000);
  watch(readable, busy[0], 30000);
  ASSERT_EQ(write(busy[1], "x", 1), 1);
  arm(stop, "stop", 150000, nullptr, true);
  for (Rec *r : {&never, &timed, &readable, &stop}) ASSERT_EQ(EventAdd(&r->ev), 0);
  MainLoop();
  EXPECT_EQ(never.fired, 0);
  EXPECT_EQ(timed.fired, 1);
  EXPECT_EQ(timed.lastFlag, EVENT_TIMER);
  EXPECT_EQ(readable.fired, 1);
  EXPECT_EQ(readable.lastFlag, EVENT_READ);
  EventDel(&never.ev);  // still listed: the loop keeps descriptors that did not fire
  EXPECT_EQ(never.ev.next, &never.ev);
  for (int fd : {quiet[0], quiet[1], busy[0], busy[1]}) close(fd);
}

TEST(Loop, ExitLetsTheIterationFinish) {
  LoopInit();
  Trace t;
  Rec first, second;
  arm(first, "first", 10000, &t, true);
  arm(second, "second", 10000, &t);
  EventAdd(&first.ev);
  EventAdd(&second.ev);
  MainLoop();
  EXPECT_EQ(t.fired, (std::vector<std::string>{"first", "second"}));
}

TEST(Loop, ARecordAddedByAnotherThreadWakesIt) {
  LoopInit();
  // A timer far away: the loop sleeps towards it, and a record added by
  // another thread must still wake it at once.
  Rec far, late;
  arm(far, "far", 5000000);
  EventAdd(&far.ev);
  arm(late, "late", 1000, nullptr, true);
  std::thread other([&] {
    usleep(20000);
    EventAdd(&late.ev);
  });
  int64_t t0 = BoardMonotonicUs();
  MainLoop();
  other.join();
  EXPECT_EQ(late.fired, 1);
  EXPECT_LT(BoardMonotonicUs() - t0, 1000000);
  EXPECT_EQ(far.fired, 0);
  EventDel(&far.ev);
}

// A periodic timer re-adding itself from its callback: from the second
// iteration on the loop must not allocate.
struct Periodic {
  Event ev = EVENT_INIT_SELF(ev);
  int left = 30;
};

int periodicCallback(void *arg, int flag) {
  auto *p = static_cast<Periodic *>(arg);
  if (p->left == 29) g_countNew = true;  // after the first round
  if (--p->left == 0) {
    g_countNew = false;
    LoopExit();
    return 0;
  }
  p->ev.flag = EVENT_TIMER;
  p->ev.timeout = 1000;
  EventAdd(&p->ev);
  return 0;
}

TEST(Loop, AllocatesNothingPerIteration) {
  LoopInit();
  Periodic p;
  p.ev.flag = EVENT_TIMER;
  p.ev.timeout = 1000;
  p.ev.callback = periodicCallback;
  p.ev.arg = &p;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Rec watcher;  // a descriptor that is polled every iteration too
  watch(watcher, fds[0], -1);
  EventAdd(&watcher.ev);
  g_newCalls = 0;
  EventAdd(&p.ev);
  MainLoop();
  EXPECT_EQ(p.left, 0);
  EXPECT_EQ(g_newCalls.load(), 0);
  EventDel(&watcher.ev);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
