// A key press handed to the screen on top, as the key distribution thread
// hands it.
#pragma once

#include "core/runtime/activity.h"
#include "core/runtime/key.h"
#include "support/wait.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

inline int PressKey(int code) {
  KeyEvent k{KEY_TYPE_PRESS, code};
  ActivityRunPosted();
  return ActivityKeyCallBack(&k);
}

// Waits for cond while running the work other threads post to the screen
// thread, for which the test thread stands. The limit is a hang guard.
inline bool WaitOnScreenThread(const std::function<bool()> &cond, int ms = 20000) {
  return WaitFor([&] {
    ActivityRunPosted();
    return cond();
  }, ms);
}

// Waits until a screen posts `code` to gKeyBuffer; keys of other codes met
// on the way are taken and dropped. The limit is a hang guard.
inline bool WaitPostedKey(int code, int ms = 20000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    bool have;
    {
      std::scoped_lock lock(gKeyBuffer->mutex);
      have = gKeyBuffer->rd != gKeyBuffer->wr;
    }
    if (!have) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    KeyEvent e{};
    KeyBufferRead(gKeyBuffer, &e);
    if (e.code == code) return true;
  }
  return false;
}
