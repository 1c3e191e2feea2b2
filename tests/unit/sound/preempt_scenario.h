// A player and a prompt on two threads, as the decoder and the speech
// thread use the layer: the player writes 44.1 kHz stereo whose frames
// encode their own index, retrying every 23 ms while pre-empted; after
// `insertAtMs` a 16 kHz mono insert client takes the device for
// `insertMs`. CheckPreempt then reads the host device's sound.log and
// out.wav. The unit test runs it short; the end-to-end one at full length.
#pragma once

#include "sound_fixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace soundtest {

inline int16_t IndexLeft(int64_t i) { return static_cast<int16_t>(i & 0xffff); }
inline int16_t IndexRight(int64_t i) { return static_cast<int16_t>((i >> 8) & 0xffff); }

struct PreemptRun {
  int mainId = -1;
  int insertId = -1;
  int64_t frames = 0;       // frames the player handed over
  double insertOpenMs = 0;  // when the prompt called sound_iopen, sound.log time
  int minusTwo = 0;         // -2 results the player saw
};

inline double LogMs(int64_t us) { return static_cast<double>(us - BoardHostStartUs()) / 1000.0; }

inline PreemptRun RunPreempt(int playMs, int insertAtMs, int insertMs) {
  PreemptRun run;
  const int64_t total = static_cast<int64_t>(playMs) * 44100 / 1000;
  run.mainId = sound_open(1, 44100, 2);
  if (run.mainId < 1) return run;
  std::atomic<bool> playing{true};

  std::thread player([&] {
    std::vector<int16_t> block;
    int64_t next = 0;
    while (next < total) {
      int frames = static_cast<int>(std::min<int64_t>(1024, total - next));
      block.resize(static_cast<size_t>(frames) * 2);
      for (int f = 0; f < frames; f++) {
        block[2 * f] = IndexLeft(next + f);
        block[2 * f + 1] = IndexRight(next + f);
      }
      int off = 0, len = frames * 4;
      while (off < len) {
        int r = sound_write(run.mainId, reinterpret_cast<char *>(block.data()) + off, len - off);
        if (r > 0) {
          off += r;
        } else if (r == -2) {
          run.minusTwo++;
          std::this_thread::sleep_for(std::chrono::milliseconds(23));
        } else if (r == -3) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
          playing = false;
          return;
        }
      }
      next += frames;
    }
    run.frames = next;
    sound_close(run.mainId);
    playing = false;
  });

  std::thread prompt([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(insertAtMs));
    run.insertOpenMs = LogMs(BoardMonotonicUs());
    run.insertId = sound_iopen(1, 16000, 1);
    if (run.insertId < 1) return;
    std::vector<int16_t> pcm(2048);
    int64_t left = static_cast<int64_t>(insertMs) * 16000 / 1000;
    int64_t n = 0;
    while (left > 0) {
      int frames = static_cast<int>(std::min<int64_t>(2048, left));
      for (int f = 0; f < frames; f++) pcm[static_cast<size_t>(f)] = static_cast<int16_t>(((n + f) % 40) * 500 - 10000);
      int r = sound_iwrite(run.insertId, pcm.data(), frames * 2);
      if (r > 0) {
        left -= r / 2;
        n += r / 2;
      } else if (r == -3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      } else {
        break;
      }
    }
    sound_iclose(run.insertId);
  });

  prompt.join();
  player.join();
  return run;
}

// Checks the run against what the host device recorded. The latency of the
// insert is a real-time figure: only the end-to-end run checks it.
inline void CheckPreempt(const PreemptRun &run, int playMs, bool checkLatency) {
  ASSERT_GE(run.mainId, 1);
  ASSERT_GE(run.insertId, 1);
  const int64_t total = static_cast<int64_t>(playMs) * 44100 / 1000;
  ASSERT_EQ(run.frames, total) << "the player gave up";
  EXPECT_GT(run.minusTwo, 0) << "the player was never pre-empted";

  auto log = ReadSoundLog();
  double restoreMs = -1, iopenMs = -1;
  long insertFd = -1;
  bool reopened = false;
  for (const auto &l : log) {
    if (l.has("sound") && l.has("iopen") && l.num("client") == run.insertId) {
      iopenMs = l.ms;
      insertFd = l.num("fd");
    }
    if (l.has("sound") && l.has("restore") && l.num("client") == run.mainId) {
      restoreMs = l.ms;
      reopened = l.num("rate") == 44100 && l.num("ch") == 2;
    }
  }
  ASSERT_GT(iopenMs, 0);
  ASSERT_GT(restoreMs, iopenMs);
  EXPECT_TRUE(reopened) << "main client not reopened at 44100/2";

  // -2 only while the insert held the device.
  int refused = 0;
  for (const auto &l : log) {
    if (l.has("sound") && l.has("write") && l.num("result") == -2) {
      refused++;
      EXPECT_GE(l.ms, run.insertOpenMs);
      EXPECT_LE(l.ms, restoreMs);
    }
  }
  EXPECT_EQ(refused, run.minusTwo);

  // The insert sounds within 260 ms of asking for the device. The insert
  // may keep the player's descriptor, so descriptors belong to whoever
  // opened them last.
  double firstInsert = -1, playerQueuedEnd = 0;
  bool afterIopen = false;
  for (const auto &l : log) {
    if (!afterIopen && l.has("dsp") && l.has("write") && l.kv.count("play"))
      playerQueuedEnd = std::max(playerQueuedEnd, l.real("play") + l.num("bytes") * 1000.0 / (44100 * 4));
    if (l.has("sound") && l.has("iopen") && l.num("client") == run.insertId) afterIopen = true;
    if (afterIopen && l.has("dsp") && l.has("write") && l.num("fd") == insertFd && l.kv.count("play")) {
      firstInsert = l.real("play");
      break;
    }
  }
  ASSERT_GT(firstInsert, 0);
  // What the player had queued was dropped, not waited for.
  EXPECT_LT(firstInsert, playerQueuedEnd);
  std::printf("insert sounded %.1f ms after sound_iopen\n", firstInsert - run.insertOpenMs);
  if (checkLatency) {
    EXPECT_LE(firstInsert - run.insertOpenMs, 260.0);
  }

  // The player's output, joined, is its input sample for sample.
  auto wav = ReadOutWav();
  std::vector<int16_t> joined;
  std::map<long, int> owner;  // descriptor -> client, as of this line
  for (const auto &l : log) {
    if (l.has("sound") && (l.has("open") || l.has("iopen") || l.has("restore")) && l.kv.count("fd"))
      owner[l.num("fd")] = static_cast<int>(l.num("client"));
    if (!l.has("dsp") || !l.has("write") || !l.kv.count("pos")) continue;
    auto it = owner.find(l.num("fd"));
    if (it == owner.end() || it->second != run.mainId) continue;
    size_t pos = static_cast<size_t>(l.num("pos")) * 2, n = static_cast<size_t>(l.num("bytes")) / 2;
    ASSERT_LE(pos + n, wav.size());
    joined.insert(joined.end(), wav.begin() + static_cast<long>(pos), wav.begin() + static_cast<long>(pos + n));
  }
  ASSERT_EQ(joined.size(), static_cast<size_t>(total * 2));
  int64_t bad = -1;
  for (int64_t i = 0; i < total && bad < 0; i++)
    if (joined[static_cast<size_t>(2 * i)] != IndexLeft(i) || joined[static_cast<size_t>(2 * i + 1)] != IndexRight(i))
      bad = i;
  EXPECT_EQ(bad, -1) << "first wrong frame";
}

}  // namespace soundtest
