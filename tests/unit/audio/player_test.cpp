// The music player screen over a temporary root: what each key does to the
// position, the files and the history, what the user hears, the play modes
// at the end of a file, A-B repeat, the menus, and broken files in the play
// list. Fixtures are WAV files written here (long ones sparse), so the tests
// also run under qemu.
//
// Where a position must be exact a prompt holds the sound device: the
// player's writes then wait and the position stays where the keys put it.
#include "core/library/bookmark.h"
#include "audio/ffaudio.h"
#include "audio/player.h"
#include "audio_support.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "core/ui/menu.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/af_equalizer.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "support/keys.h"
#include "support/screen_fixture.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "support/wait.h"
#include "tools/badaudio/badaudio.h"
#include "unit/sound/sound_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

const AudioDsp kDsp = {af_equalizer_init, af_equalizer_play, af_equalizer_deinit, SoundSpeed_SetSampleRate,
                       SoundSpeed_SetChannels};

// A guard against hangs, not a speed requirement.
constexpr int kHangMs = 20000;

int g_bottomShows = 0;
int bottomShow(Activity *) { return ++g_bottomShows, 0; }

std::string Say(char *(*fn)(int, char *, int, int), int value) {
  char text[256];
  return fn(value, text, sizeof text, MLanguageSetting);
}

class Player : public ScreenTest {
 protected:
  void SetUp() override {
    g_bottomShows = 0;
    StartScreens("Bottom", bottomShow);
    if (HasFatalFailure()) return;
    AudioSetDsp(&kDsp);
    ASSERT_EQ(AudioPlayerInit(), 0);
  }

  void Release() override {
    release();
    AudioSetDsp(nullptr);
  }

  // A WAV file of 16-bit mono at rate: a tone, or (sparse) silence for long
  // ones. Returns its fixed path.
  std::string wav(const std::string &fixed, double seconds, int rate = 8000) {
    const auto frames = static_cast<uint32_t>(seconds * rate);
    const std::string real = root_.at(fixed);
    std::filesystem::create_directories(std::filesystem::path(real).parent_path());
    std::string bytes = audiotest::WavHeader(1, 1, rate, 16, 0, frames * 2);
    if (frames <= 48000) {
      for (uint32_t i = 0; i < frames; i++)
        audiotest::Put16(bytes, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.2))));
      audiotest::WriteFile(real, bytes);
    } else {
      audiotest::WriteFile(real, bytes);
      std::filesystem::resize_file(real, bytes.size() + frames * 2ull);
    }
    return fixed;
  }

  Activity *open(const std::string &fixed, int start_ms = 0) {
    Activity *p = AudioPlayerCreate(nullptr, fixed.c_str(), start_ms);
    if (p) ActivitySetActive(p, 1);
    return p;
  }
  Activity *openList(const std::vector<std::string> &files, int current, int start_ms = 0) {
    std::vector<const char *> paths;
    for (const auto &f : files) paths.push_back(f.c_str());
    Activity *p = AudioPlayerCreateList(nullptr, paths.data(), static_cast<int>(paths.size()), current, start_ms);
    if (p) ActivitySetActive(p, 1);
    return p;
  }

  int key(int code) { return PressKey(code); }

  // Calls a set function the way the player's menus do.
  int set(Activity *player, const char *name, int value) {
    MenuSetFunc fn = MenuFindFunc(name);
    return fn ? fn(player->data, value, 0) : -100;
  }

  // Waits for the player to post code; keys of other codes are dropped.
  bool posted(int code, int ms = kHangMs) { return WaitPostedKey(code, ms); }
  // The end notice arrives and is handed to the player.
  int deliverEnd() { return posted(VKEY_AUDIOEND) ? key(VKEY_AUDIOEND) : -100; }
  // The end notice of a file that played to its end. The writer may post one
  // already when the position reaches the end mark, before the decoder thread
  // has ended (the player then waits for the thread's own notice), so the
  // notice is delivered once the file has really ended.
  int deliverFileEnd() {
    Activity *top = GetCurrentActivity();
    Audio *a = top && top != &bottom_ ? AudioPlayerAudio(top) : nullptr;
    if (a && !WaitFor([a] { return a->ended.load() != 0; })) return -101;
    return deliverEnd();
  }


  // A prompt takes the device: the player's writes wait from now on.
  void hold() { held_ = sound_iopen(1, 16000, 1); }
  void release() {
    if (held_ > 0) sound_iclose(held_);
    held_ = 0;
  }

  static int pos(Activity *p) { return AudioPlayerAudio(p)->pos_ms.load(); }
  static std::string path(Activity *p) { return AudioPlayerPath(p) ? AudioPlayerPath(p) : ""; }
  static int history(const std::string &fixed) {
    std::string name = fixed.substr(fixed.rfind('/') + 1);
    const Mark *m = MarkArryGet(1, MarkFind(1, fixed.c_str(), name.c_str()));
    return m ? m->items[0].timeoffset : -1;
  }
  bool playerGone() const { return GetCurrentActivity() == &bottom_; }

  int held_ = 0;
};

TEST(AudioFiles, ExtensionsDecide) {
  struct Case {
    const char *name;
    int expect;
  } cases[] = {
      {"a.mp3", 1}, {"A.MP3", 1}, {"x.tar.flac", 1}, {"v.mkv", 1}, {"r.Rmvb", 1}, {"b.acc", 1}, {"m.MKA", 1},
      {"o.opus", 1}, {"w.webm", 1},
      {"a.txt", 0}, {"mp3", 0},   {"a.mp3.txt", 0},  {"a.", 0},    {"", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(IsAudioFile("/mnt/emmc", c.name), c.expect) << c.name;
  EXPECT_EQ(IsAudioFile("/mnt/emmc", nullptr), 0);
}

TEST_F(Player, WhatCannotBeOpenedLeavesNothingOpen) {
  root_.write("/mnt/emmc/notes.txt", "text");
  root_.write("/mnt/emmc/noise.mp3", std::string(3000, '\x5a'));
  root_.write("/mnt/emmc/header.wav", audiotest::WavHeader(1, 1, 8000, 16, 0, 0).substr(0, 36));
  for (const char *f : {"/mnt/emmc/notes.txt", "/mnt/emmc/missing.mp3", "/mnt/emmc/noise.mp3",
                        "/mnt/emmc/header.wav", "/mnt/nowhere/x.mp3", "relative.mp3"}) {
    EXPECT_EQ(AudioPlayerCreate(nullptr, f, 0), nullptr) << f;
    SoundHandle live{};
    SoundGetHandles(&live, nullptr);
    EXPECT_EQ(live.id, 0) << f;
  }
  EXPECT_EQ(ActivityGetNumb(), 1);
  // A damaged file and a healthy one of a codec no decoder reads are told apart.
  std::string odd = audiotest::WavHeader(0x1234, 1, 8000, 16, 0, 1600) + std::string(1600, '\0');
  root_.write("/mnt/emmc/odd.wav", odd);
  size_t said = TranscriptLines().size();
  EXPECT_EQ(AudioPlayerFunc(nullptr, "/mnt/emmc/noise.mp3", 0), -1);
  EXPECT_EQ(AudioPlayerFunc(nullptr, "/mnt/emmc/odd.wav", 0), -1);
  MLanguageSetting = 1;
  EXPECT_EQ(AudioPlayerFunc(nullptr, "/mnt/emmc/odd.wav", 0), -1);
  EXPECT_EQ(TranscriptSince(said),
            (std::vector<std::string>{"文件已损坏", "不支持此文件格式", "this file format cannot be read"}));
}

// LEFT and RIGHT land where asked (to the sample, which the position in
// whole ms rounds down) also where the index is coarse.
TEST_F(Player, StepsLandWhereAsked) {
  if (audiotest::Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  hold();
  for (const char *f : {"/mnt/emmc/v.ogg", "/mnt/emmc/l.flac", "/mnt/emmc/w.wma"}) {
    SCOPED_TRACE(f);
    ASSERT_TRUE(audiotest::RunFfmpeg("-f lavfi -i sine=f=440:d=25:r=44100 '" + root_.at(f) + "'"));
    Activity *p = open(f, 1234);
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(pos(p), 1234, 1);
    key(VKEY_RIGHT);
    EXPECT_NEAR(pos(p), 11234, 2);
    key(VKEY_LEFT);
    EXPECT_NEAR(pos(p), 1234, 3);
    key(VKEY_BACK);
  }
}

// A file that gives no length (FLAC in Matroska written as a stream) is
// offered, plays, and its length is said to be unknown.
TEST_F(Player, UnknownLengthIsSaidSo) {
  if (audiotest::Ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg command line here";
  hold();
  const std::string real = root_.at("/mnt/emmc/s.mka");
  ASSERT_TRUE(audiotest::RunFfmpeg("-f lavfi -i sine=f=440:d=2 -c:a flac -f matroska - > '" + real + "'"));
  Activity *p = open("/mnt/emmc/s.mka");
  ASSERT_NE(p, nullptr);
  key(VKEY_ESC);
  EXPECT_EQ(TranscriptLines().back(), "s.mka, 总时间未知, " + Say(CurSecondToStr, 0));
}

TEST_F(Player, ListIsTheFoldersAudioFilesInNameOrder) {
  hold();
  for (const char *f : {"/mnt/emmc/m/b.mp3", "/mnt/emmc/m/a.WAV", "/mnt/emmc/m/c.wav"}) wav(f, 10);
  root_.write("/mnt/emmc/m/c.txt", "x");
  root_.write("/mnt/emmc/m/.hidden.mp3", "x");
  std::filesystem::create_directories(root_.at("/mnt/emmc/m/d.mp3"));
  for (int ascending : {1, 0}) {
    CfgFileSortAscent = ascending;
    Activity *p = open("/mnt/emmc/m/b.mp3");
    ASSERT_NE(p, nullptr);
    std::vector<std::string> order{path(p)};
    for (int i = 0; i < 3; i++) {
      key(VKEY_DOWN);
      order.push_back(path(p));
    }
    std::vector<std::string> expect = ascending
        ? std::vector<std::string>{"/mnt/emmc/m/b.mp3", "/mnt/emmc/m/c.wav", "/mnt/emmc/m/a.WAV", "/mnt/emmc/m/b.mp3"}
        : std::vector<std::string>{"/mnt/emmc/m/b.mp3", "/mnt/emmc/m/a.WAV", "/mnt/emmc/m/c.wav", "/mnt/emmc/m/b.mp3"};
    EXPECT_EQ(order, expect);
    key(VKEY_BACK);
  }
  CfgFileSortAscent = 1;
}

// UP and DOWN store the position left, wrap at both ends, and every file
// starts where its history says.
TEST_F(Player, UpDownWrapAndResumeFromHistory) {
  hold();
  std::vector<std::string> files{wav("/mnt/emmc/a.wav", 60), wav("/mnt/emmc/b.wav", 60), wav("/mnt/emmc/c.wav", 60)};
  MarkAddItem(1, files[2].c_str(), "c.wav", nullptr, nullptr, 7000, 0);
  Activity *p = openList(files, 0, 2000);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pos(p), 2000);
  key(VKEY_UP);  // first -> last
  EXPECT_EQ(path(p), files[2]);
  EXPECT_EQ(pos(p), 7000);
  EXPECT_EQ(history(files[0]), 2000);
  key(VKEY_DOWN);  // last -> first, at the position just stored
  EXPECT_EQ(path(p), files[0]);
  EXPECT_EQ(pos(p), 2000);
  key(VKEY_DOWN);
  EXPECT_EQ(path(p), files[1]);
  EXPECT_EQ(pos(p), 0);
  EXPECT_EQ(key(VKEY_BACK), 0);
  EXPECT_TRUE(playerGone());
  EXPECT_EQ(g_bottomShows, 1);
  EXPECT_EQ(history(files[1]), 0);
  EXPECT_EQ(MarkArryGet(1, 0)->path, files[1]);  // the most recent first
}

TEST_F(Player, JumpsByTheStepSetting) {
  hold();
  const std::string shortFile = wav("/mnt/emmc/short.wav", 60);
  const std::string hourFile = wav("/mnt/emmc/hour.wav", 3599);
  const std::string longFile = wav("/mnt/emmc/long.wav", 7200);
  struct Case {
    std::string file;
    int start, stepRow, key, expect;
    bool notice;
  } cases[] = {
      {shortFile, 3000, 1, VKEY_LEFT, 0, false},  // 10 s back from 3 s: the start
      {shortFile, 20000, 1, VKEY_LEFT, 10000, false},
      {shortFile, 20000, 1, VKEY_RIGHT, 30000, false},
      {shortFile, 20000, 0, VKEY_RIGHT, 25000, false},
      {shortFile, 20000, 3, VKEY_LEFT, 0, false},
      {longFile, 0, 5, VKEY_RIGHT, 600000, false},
      {longFile, 3600000, 6, VKEY_RIGHT, 5400000, true},  // 30 minutes in a two-hour file
      {longFile, 3600000, 6, VKEY_LEFT, 1800000, true},
      {longFile, 60000, 7, VKEY_RIGHT, 3660000, true},
      {hourFile, 2000000, 6, VKEY_LEFT, 200000, false},  // under an hour: no notice
  };
  for (const Case &c : cases) {
    MAudioStep = c.stepRow;
    Activity *p = open(c.file, c.start);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(pos(p), c.start);
    size_t said = TranscriptLines().size();
    EXPECT_EQ(key(c.key), 0);
    EXPECT_EQ(pos(p), c.expect) << c.file << " from " << c.start;
    std::vector<std::string> heard = TranscriptSince(said);
    EXPECT_EQ(heard, c.notice ? std::vector<std::string>{"正在跳转，需要等待较长时间"} : std::vector<std::string>{})
        << c.file << " from " << c.start;
    EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_RUN);
    key(VKEY_BACK);
  }
}

TEST_F(Player, RightPastTheEndEndsTheFile) {
  std::vector<std::string> files{wav("/mnt/emmc/a.wav", 20), wav("/mnt/emmc/b.wav", 20)};
  Activity *p = openList(files, 0, 15000);
  ASSERT_NE(p, nullptr);
  key(VKEY_RIGHT);
  EXPECT_EQ(deliverFileEnd(), 0);
  EXPECT_EQ(path(p), files[1]);
  EXPECT_EQ(history(files[0]), 0);
}

TEST_F(Player, OkPausesAndContinuesWhileAPromptHoldsTheDevice) {
  const std::string a = wav("/mnt/emmc/a.wav", 60);
  std::strcpy(HardType, "q7");  // a device name: the marks have a file to go to
  root_.write("/home/q7cfg.xml", "<q7/>\n");
  Activity *p = open(a, 20000);
  ASSERT_NE(p, nullptr);
  hold();  // the writer now waits for the device; a pause must still get through
  size_t said = TranscriptLines().size();
  EXPECT_EQ(key(VKEY_OK), 0);
  EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_PAUSE);
  EXPECT_EQ(TranscriptSince(said), (std::vector<std::string>{"暂停"}));
  int at = pos(p);
  EXPECT_EQ(history(a), at);  // the paused place is in the file at once
  EXPECT_EQ(BookMarkDirty(), 0);
  EXPECT_NE(root_.read("/home/q7cfg.xml").find("<timeoffset>20000</timeoffset>"), std::string::npos);
  HardType[0] = '\0';
  EXPECT_EQ(key(VKEY_OK), 0);
  EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_RUN);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(pos(p), at);  // still waiting for the device
  release();
  EXPECT_TRUE(WaitFor([&] { return pos(p) > at; }));
}

TEST_F(Player, EscSpeaksNameTotalCurrentAndTimeLeft) {
  hold();
  wav("/mnt/emmc/long.wav", 7200);
  Activity *p = open("/mnt/emmc/long.wav", 65000);
  ASSERT_NE(p, nullptr);
  const char *const left[2] = {"剩余1小时58分55秒", "time left 1:58:55"};
  for (int language : {0, 1}) {
    MLanguageSetting = language;
    key(VKEY_ESC);
    EXPECT_EQ(TranscriptLines().back(), "long.wav, " + Say(TotalSecondToStr, 7200) + ", " +
                                            Say(CurSecondToStr, 65) + ", " + left[language]);
  }
}

struct EndCase {
  int mode, from;
  int next;  // index of the file that plays next; -1 the player leaves
};

TEST_F(Player, EndOfFileFollowsThePlayMode) {
  // Files long enough that none ends by itself on a slow (emulated) CPU
  // while a case runs: only the delivered end moves the player.
  std::vector<std::string> files{wav("/mnt/emmc/a.wav", 3), wav("/mnt/emmc/b.wav", 3),
                                 wav("/mnt/emmc/c.wav", 3)};
  const EndCase cases[] = {{0, 0, 1}, {0, 2, -1}, {1, 1, 1}, {3, 2, 0}, {2, 0, 3}};
  for (const EndCase &c : cases) {
    MAudioPlayMode = c.mode;
    Activity *p = openList(files, c.from);
    ASSERT_NE(p, nullptr);
    g_bottomShows = 0;
    EXPECT_EQ(deliverFileEnd(), 0) << c.mode << "/" << c.from;
    const std::string &finished = files[static_cast<size_t>(c.from)];
    EXPECT_EQ(history(finished), 0) << c.mode << "/" << c.from;
    if (c.next < 0) {
      EXPECT_TRUE(playerGone());
      EXPECT_EQ(g_bottomShows, 1);
      continue;
    }
    ASSERT_FALSE(playerGone());
    if (c.next < 3) EXPECT_EQ(path(p), files[static_cast<size_t>(c.next)]) << c.mode << "/" << c.from;
    else EXPECT_NE(std::find(files.begin(), files.end(), path(p)), files.end());
    key(VKEY_BACK);
  }
}

// Broken files in the list are named and passed over; a list of nothing but
// silent files ends instead of going round for ever.
TEST_F(Player, BrokenFilesAreNamedAndPassedOver) {
  MAudioPlayMode = 0;
  std::vector<std::string> files{wav("/mnt/emmc/a.wav", 0.2), "/mnt/emmc/b.wav", "/mnt/emmc/c.wav",
                                 wav("/mnt/emmc/d.wav", 0.2)};
  root_.write(files[1], audiotest::WavHeader(1, 1, 8000, 16, 0, 0).substr(0, 36));  // no data chunk
  root_.write(files[2], audiotest::WavHeader(1, 1, 8000, 16, 0, 0));              // opens, plays nothing
  Activity *p = openList(files, 0);
  ASSERT_NE(p, nullptr);
  size_t said = TranscriptLines().size();
  EXPECT_EQ(deliverFileEnd(), 0);
  EXPECT_EQ(path(p), files[2]);
  EXPECT_EQ(deliverFileEnd(), 0);
  EXPECT_EQ(path(p), files[3]);
  EXPECT_EQ(TranscriptSince(said), (std::vector<std::string>{"文件已损坏", "文件已损坏"}));
  EXPECT_EQ(deliverFileEnd(), 0);
  EXPECT_TRUE(playerGone());

  MAudioPlayMode = 3;
  std::vector<std::string> silent{files[2], "/mnt/emmc/e.wav", "/mnt/emmc/f.wav"};
  for (size_t i = 1; i < silent.size(); i++) root_.write(silent[i], root_.read(files[2]));
  ASSERT_NE(openList(silent, 0), nullptr);
  int ends = 0;
  while (!playerGone() && ends < 10) ends += deliverFileEnd() == 0;
  EXPECT_TRUE(playerGone());
  EXPECT_EQ(ends, 3);
}

// Every malformed variant of a seed in one play list: the player walks
// through them to the end of the list without crashing or hanging.
TEST_F(Player, WalksThroughMalformedFiles) {
  MAudioPlayMode = 0;
  int previous = LogGetLevel();
  LogSetLevel(-1);
  std::vector<std::string> files{wav("/mnt/emmc/bad/000.wav", 0.1)};
  // Every variant of the WAV seed; of the MP3 seed the damaged headers (its
  // bit flips decode to long garbage that would only cost time here).
  for (const char *seed : {"s16.wav", "cbr.mp3"}) {
    const std::string ext = std::strrchr(seed, '.');
    for (const auto &v : badaudio::Variants(audiotest::ReadFile(audiotest::DataFile(seed)))) {
      if (ext == ".mp3" && (v.name.rfind("flip", 0) == 0 || v.name == "splice")) continue;
      std::string f = "/mnt/emmc/bad/" + std::to_string(files.size()) + "-" + v.name + ext;
      root_.write(f, v.bytes);
      files.push_back(f);
    }
  }
  Activity *p = openList(files, 0);
  ASSERT_NE(p, nullptr);
  set(p, "audiospeedfunc", 1000);  // eleven times as fast: the walk plays in real time
  int ends = 0;
  while (!playerGone() && ends <= static_cast<int>(files.size())) {
    int r = deliverFileEnd();
    ASSERT_NE(r, -100) << "no end notice after " << (playerGone() ? "" : path(p));
    ends++;
  }
  LogSetLevel(previous);
  EXPECT_TRUE(playerGone());
}

TEST_F(Player, ABRepeatGoesBackToA) {
  wav("/mnt/emmc/a.wav", 60, 16000);
  Activity *p = open("/mnt/emmc/a.wav");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(set(p, "AudioMarkAddRepeat", 1), -1);  // B before A does nothing
  EXPECT_EQ(AudioPlayerAudio(p)->end_ms.load(), 0x7fffffff);
  ASSERT_TRUE(WaitFor([&] { return pos(p) >= 200; }));
  ASSERT_EQ(set(p, "AudioMarkAddRepeat", 0), 0);
  const int a = AudioPlayerAudio(p)->a_ms;
  // Far enough from A that what the device takes right after a seek stays
  // short of B.
  ASSERT_TRUE(WaitFor([&] { return pos(p) >= a + 800; }));
  ASSERT_EQ(set(p, "AudioMarkAddRepeat", 1), 0);
  const int b = AudioPlayerAudio(p)->end_ms.load();
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(deliverEnd(), 0);
    EXPECT_GE(pos(p), a - 50);
    EXPECT_LT(pos(p), b);
  }
  ASSERT_EQ(set(p, "AudioMarkAddRepeat", 2), 0);
  ASSERT_TRUE(WaitFor([&] { return pos(p) > b + 100; }));
  EXPECT_FALSE(posted(VKEY_AUDIOEND, 50));
}

TEST_F(Player, BookmarksAreNumberedAndSpoken) {
  hold();
  wav("/mnt/emmc/a.wav", 120);
  Activity *p = open("/mnt/emmc/a.wav", 61000);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(set(p, "AudioMarkAddItem", 0), 0);
  EXPECT_EQ(TranscriptLines().back(), "已增加书签1, " + Say(SecondToStr, 61));
  // Through the bookmark menu: its first item, then the music goes on.
  key(VKEY_MARK);
  EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_PAUSE);
  EXPECT_EQ(TranscriptLines().back(), "添加书签");
  key(VKEY_OK);
  EXPECT_EQ(TranscriptLines().back(), "已增加书签2, " + Say(SecondToStr, 61));
  EXPECT_EQ(GetCurrentActivity(), p);
  EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_RUN);
  const Mark *m = MarkArryGet(0, MarkFind(0, "/mnt/emmc/a.wav", "a.wav"));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->items.size(), 2u);
  EXPECT_EQ(m->items[0].timeoffset, 61000);
}

TEST_F(Player, JumpToMinutesThroughTheInputBox) {
  hold();
  struct Case {
    double seconds;
    std::vector<int> keys;  // after the box opens with "0"
    int expect;
    bool notice;
  } cases[] = {
      {7200, {VKEY_UP, VKEY_UP, VKEY_UP, VKEY_UP, VKEY_RIGHT}, 2400000, true},  // 40 minutes
      {7200, {VKEY_UP}, 60000, false},
      {60, {VKEY_UP, VKEY_UP}, 57000, false},  // capped 3 s before the end
  };
  for (const Case &c : cases) {
    Activity *p = open(wav("/mnt/emmc/j.wav", c.seconds));
    ASSERT_NE(p, nullptr);
    AudioMarkMenu.current = 0;
    key(VKEY_MARK);
    key(VKEY_DOWN);
    EXPECT_EQ(TranscriptLines().back(), "跳转到分钟");
    size_t opened = TranscriptLines().size();
    key(VKEY_OK);
    EXPECT_EQ(TranscriptSince(opened), std::vector<std::string>{"0"});  // said once
    for (int k : c.keys) key(k);
    size_t said = TranscriptLines().size();
    key(VKEY_OK);
    EXPECT_EQ(GetCurrentActivity(), p);
    EXPECT_EQ(pos(p), c.expect);
    EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_RUN);
    std::vector<std::string> heard = TranscriptSince(said);
    EXPECT_EQ(!heard.empty() && heard[0] == "正在跳转，需要等待较长时间", c.notice) << c.expect;
    key(VKEY_BACK);
  }
  // Cancelled: the music goes on where it was.
  Activity *p = open("/mnt/emmc/j.wav", 5000);
  AudioMarkMenu.current = 0;
  key(VKEY_MARK);
  key(VKEY_DOWN);
  key(VKEY_OK);
  key(VKEY_BACK);
  EXPECT_EQ(GetCurrentActivity(), p);
  EXPECT_EQ(pos(p), 5000);
  EXPECT_EQ(AudioStatus(AudioPlayerAudio(p)), AUDIO_RUN);
}

TEST_F(Player, MenusPauseAndGiveBackWhatTheyFound) {
  hold();
  wav("/mnt/emmc/a.wav", 60);
  Activity *p = open("/mnt/emmc/a.wav");
  ASSERT_NE(p, nullptr);
  Audio *a = AudioPlayerAudio(p);
  key(VKEY_MENU);
  EXPECT_EQ(AudioStatus(a), AUDIO_PAUSE);
  key(VKEY_BACK);
  EXPECT_EQ(AudioStatus(a), AUDIO_RUN);
  key(VKEY_OK);  // paused by the user: a menu leaves it paused
  key(VKEY_MENU);
  key(VKEY_BACK);
  EXPECT_EQ(AudioStatus(a), AUDIO_PAUSE);
  EXPECT_EQ(GetCurrentActivity(), p);
}

TEST_F(Player, SettingsReachTheProcessors) {
  hold();
  MAudioSpeed = 20;  // fast 100%
  MAudioPitch = -3;
  Activity *p = open(wav("/mnt/emmc/a.wav", 10));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(SoundSpeed_GetSpeed(kTempoMusic), 100);
  EXPECT_EQ(SoundSpeed_GetPitch(kTempoMusic), -3);
  EXPECT_EQ(set(p, "audiospeedfunc", -30), 0);
  EXPECT_EQ(set(p, "audiopitchfunc", 2), 0);
  EXPECT_EQ(SoundSpeed_GetSpeed(kTempoMusic), -30);
  EXPECT_EQ(SoundSpeed_GetPitch(kTempoMusic), 2);
  EXPECT_EQ(set(p, "MenuSetEq", 2), 0);
  AfEqualizer eq{};
  EXPECT_EQ(af_equalizer_get(&eq), 0);
  EXPECT_EQ(eq.rate, 8000);
  EXPECT_EQ(set(p, "MenuSetEq", 0), 0);
  EXPECT_EQ(af_equalizer_get(&eq), -1);
}

TEST_F(Player, FasterTempoWritesLessAndKeepsTheTail) {
  MAudioSpeed = 20;  // fast 100%: half the samples
  Activity *p = open(wav("/mnt/emmc/a.wav", 1.0));
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(deliverFileEnd(), 0);
  long bytes = 0;
  for (const auto &line : soundtest::ReadSoundLog())
    if (line.has("dsp") && line.has("write")) bytes += line.num("bytes", 0);
  EXPECT_GT(bytes, 16000 * 40 / 100);
  EXPECT_LT(bytes, 16000 * 60 / 100);
}

TEST_F(Player, StreamChoiceReopensAtThePosition) {
  hold();
  root_.write("/mnt/emmc/s.mkv", audiotest::ReadFile(audiotest::DataFile("streams10.mka")));
  Activity *p = open("/mnt/emmc/s.mkv", 100);
  ASSERT_NE(p, nullptr);
  Audio *a = AudioPlayerAudio(p);
  EXPECT_EQ(AudioSelectStream.bitmask & 0x1f, 0x1fu);
  const int at = pos(p);
  EXPECT_EQ(set(p, "MenuSelectStream", 3), 0);
  EXPECT_EQ(a->ff_ctx->CurAudioStream, 3);
  EXPECT_EQ(pos(p), at);
  EXPECT_EQ(set(p, "MenuSelectStream", 3), 0);
  EXPECT_EQ(set(p, "MenuSelectStream", 8), -2);  // ten in the file, eight offered
  EXPECT_EQ(a->ff_ctx->CurAudioStream, 3);
}

TEST_F(Player, RemovalAndPowerOffCloseThePlayerForTheNextStart) {
  hold();
  struct Case {
    std::string file;
    int key;
    int result;  // 0: the player stays
  } cases[] = {
      {"/mnt/emmc/a.wav", VKEY_SDOUT, 0},      {"/mnt/emmc/a.wav", VKEY_USBDISKOUT, 0},
      {"/mnt/sdcard/a.wav", VKEY_USBDISKOUT, 0}, {"/mnt/sdcard/a.wav", VKEY_SDOUT, 1},
      {"/mnt/usb/a.wav", VKEY_USBDISKOUT, 1},  {"/mnt/emmc/a.wav", VKEY_POWEROFF, 1},
  };
  for (const Case &c : cases) {
    ContinueLastFile = 0;
    Activity *p = open(wav(c.file, 10), 3000);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(key(c.key), c.result) << c.file << " " << c.key;
    EXPECT_EQ(playerGone(), c.result == 1);
    EXPECT_EQ(ContinueLastFile, c.result == 1 ? 2 : 0);
    if (c.result == 1) EXPECT_EQ(history(c.file), 3000);
    else key(VKEY_BACK);
  }
}

TEST_F(Player, OtherKeysPassOn) {
  hold();
  Activity *p = open(wav("/mnt/emmc/a.wav", 10));
  ASSERT_NE(p, nullptr);
  for (int code : {VKEY_RECORD, VKEY_MP3, VKEY_FM, VKEY_SDIN, VKEY_USBIN, VKEY_EBOOKEND})
    EXPECT_EQ(key(code), 1) << code;
  EXPECT_EQ(GetCurrentActivity(), p);
}

}  // namespace
