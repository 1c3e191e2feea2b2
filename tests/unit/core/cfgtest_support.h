// Helpers of the configuration, key, hot-plug and battery tests: the
// spoken transcript and taking keys from a key buffer.
#pragma once

#include "core/runtime/key.h"
#include "support/transcript.h"
#include "support/temp_root.h"
#include "support/wait.h"

#include <vector>

namespace cfgtest {

// The texts spoken since the root was set up, in order.
inline std::vector<std::string> Transcript() { return TranscriptLines(nullptr); }

// Takes the next key without blocking for ever.
inline bool TakeKey(KeyBuffer *buf, KeyEvent *out, int ms = 0) {
  auto queued = [buf] {
    std::scoped_lock lock(buf->mutex);
    return buf->wr != buf->rd;
  };
  if (!(ms > 0 ? WaitFor(queued, ms) : queued())) return false;
  return KeyBufferRead(buf, out) == 0;
}

// Every key queued now, as codes.
inline std::vector<int> DrainCodes(KeyBuffer *buf) {
  std::vector<int> codes;
  KeyEvent e;
  while (TakeKey(buf, &e)) codes.push_back(e.code);
  return codes;
}

}  // namespace cfgtest
