// The music key's screens over a stand-in browser: the entry screen's keys,
// walking the audio history, and resuming a file from it in the player.
#include "core/library/bookmark.h"
#include "core/library/keymp3.h"

#include "audio/ffaudio.h"
#include "audio/player.h"
#include "core/runtime/globals.h"
#include "core/runtime/machine.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/text_sound.h"
#include "support/keys.h"
#include "support/screen_fixture.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "unit/audio/audio_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

int g_browserShows = 0;
int browserShow(Activity *) {
  g_browserShows++;
  text_sound_insert("browser");
  return 0;
}

std::string Seconds(int s, int lang) {
  char text[128];
  return SecondToStr(s, text, sizeof text, lang);
}

class KeyMp3 : public ScreenTest {
 protected:
  void SetUp() override {
    g_browserShows = 0;
    StartScreens("FileBrower", browserShow);
  }
  void Release() override {
    if (held_ > 0) sound_iclose(held_);
  }

  Activity *entry() {
    Activity *a = KeyMp3Create(&browser_);
    if (a) ActivitySetActive(a, 1);
    return a;
  }
  int key(int code) { return PressKey(code); }
  std::string last() { return LastSpoken(); }
  void history(const std::string &fixed, int ms) {
    MarkAddItem(1, fixed.c_str(), fixed.substr(fixed.rfind('/') + 1).c_str(), nullptr, nullptr, ms, 0);
  }
  void wav(const std::string &fixed, int seconds) {
    std::string bytes = audiotest::WavHeader(1, 1, 8000, 16, 0, static_cast<uint32_t>(seconds) * 16000);
    root_.write(fixed, bytes);
    std::filesystem::resize_file(root_.at(fixed), bytes.size() + static_cast<size_t>(seconds) * 16000);
  }

  Activity &browser_ = bottom_;
  int held_ = 0;
};

TEST_F(KeyMp3, EntryScreenKeys) {
  EXPECT_EQ(KeyMp3Create(nullptr), nullptr);
  struct Case {
    int code, result;
    bool stays;
    int browserShows;
  } cases[] = {
      {VKEY_ESC, 0, true, 0},    {VKEY_BACK, 0, false, 1},    {VKEY_UP, 0, false, 1},
      {VKEY_RIGHT, 0, false, 1}, {VKEY_POWEROFF, 1, false, 0}, {VKEY_MENU, 1, true, 0},
      {VKEY_MARK, 1, true, 0},   {VKEY_MP3, 1, true, 0},       {VKEY_USBOUT, 1, true, 0},
  };
  for (const Case &c : cases) {
    g_browserShows = 0;
    Activity *a = entry();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(last(), "最近听过的音频");
    size_t said = TranscriptLines().size();
    EXPECT_EQ(key(c.code), c.result) << c.code;
    EXPECT_EQ(GetCurrentActivity() == a, c.stays) << c.code;
    EXPECT_EQ(g_browserShows, c.browserShows) << c.code;
    if (c.code == VKEY_ESC) {
      EXPECT_EQ(TranscriptSince(said), (std::vector<std::string>{"最近听过的音频"}));
    }
    if (c.stays) key(VKEY_BACK);
  }
  MLanguageSetting = 1;
  entry();
  EXPECT_EQ(last(), "Recently played");
}

TEST_F(KeyMp3, EmptyHistory) {
  for (int language : {0, 1}) {
    MLanguageSetting = language;
    entry();
    key(VKEY_OK);
    const std::string none = language ? "No recently played" : "没有最近听过的音频";
    EXPECT_EQ(last(), none);
    EXPECT_EQ(key(VKEY_UP), 0);
    EXPECT_EQ(key(VKEY_DOWN), 0);
    EXPECT_EQ(last(), none);
    EXPECT_EQ(key(VKEY_OK), 0);  // nothing to open: back to the browser
    EXPECT_EQ(GetCurrentActivity(), &browser_);
  }
}

TEST_F(KeyMp3, WalkingTheHistory) {
  history("/mnt/emmc/a.mp3", 1000);
  history("/mnt/emmc/b.mp3", 2000);
  history("/mnt/emmc/c.mp3", 61500);  // the most recent comes first
  entry();
  key(VKEY_OK);
  struct Step {
    int code;
    std::string heard;
  } steps[] = {
      {VKEY_ESC, "c.mp3, " + Seconds(61, 0)}, {VKEY_UP, "a.mp3, " + Seconds(1, 0)},
      {VKEY_UP, "b.mp3, " + Seconds(2, 0)},   {VKEY_DOWN, "a.mp3, " + Seconds(1, 0)},
      {VKEY_RIGHT, "c.mp3, " + Seconds(61, 0)}, {VKEY_LEFT, "a.mp3, " + Seconds(1, 0)},
  };
  for (const Step &s : steps) {
    EXPECT_EQ(key(s.code), 0);
    EXPECT_EQ(last(), s.heard);
  }
  Activity *list = GetCurrentActivity();
  for (int code : {VKEY_MENU, VKEY_VOL_, VKEY_VOLADD, VKEY_FM, VKEY_USBOUT}) {
    EXPECT_EQ(key(code), 1) << code;
    EXPECT_EQ(GetCurrentActivity(), list);
  }
  EXPECT_EQ(key(VKEY_BACK), 0);
  EXPECT_EQ(last(), "browser");
  for (int code : {VKEY_MP3, VKEY_RECORD, VKEY_POWEROFF}) {
    entry();
    key(VKEY_OK);
    EXPECT_EQ(key(code), 1) << code;  // closed; the key travels down
    EXPECT_EQ(GetCurrentActivity(), &browser_);
  }
}

TEST_F(KeyMp3, OkResumesTheFileInThePlayer) {
  held_ = sound_iopen(1, 16000, 1);  // keeps the position where the player put it
  wav("/mnt/emmc/music/song.wav", 120);
  history("/mnt/emmc/music/gone.wav", 5000);
  root_.write("/mnt/emmc/music/broken.wav", "RIFF....WAVE");
  history("/mnt/emmc/music/broken.wav", 0);
  history("/mnt/emmc/music/song.wav", 42000);
  entry();
  key(VKEY_OK);
  g_browserShows = 0;
  key(VKEY_OK);
  Activity *player = GetCurrentActivity();
  ASSERT_NE(AudioPlayerAudio(player), nullptr);
  EXPECT_TRUE(player->active);
  EXPECT_STREQ(AudioPlayerPath(player), "/mnt/emmc/music/song.wav");
  EXPECT_EQ(AudioPlayerAudio(player)->pos_ms.load(), 42000);
  EXPECT_EQ(g_browserShows, 0);
  key(VKEY_BACK);
  EXPECT_EQ(g_browserShows, 1);

  // Now song, broken, gone: a file that does not open is named, a file that
  // is gone is not; both leave the user in the browser.
  struct Case {
    int downs;
    std::vector<std::string> heard;
  } cases[] = {{1, {"文件已损坏", "browser"}}, {2, {"browser"}}};
  for (const Case &c : cases) {
    entry();
    key(VKEY_OK);
    for (int i = 0; i < c.downs; i++) key(VKEY_DOWN);
    size_t said = TranscriptLines().size();
    EXPECT_EQ(key(VKEY_OK), 0);
    EXPECT_EQ(GetCurrentActivity(), &browser_);
    EXPECT_EQ(TranscriptSince(said), c.heard);
  }
  EXPECT_EQ(MarkArryTotal(1), 3);  // the marks stay
}

}  // namespace
