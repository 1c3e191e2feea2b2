// What every screen test sets up and takes down: a fresh root, the sound
// layer with the tempo processor, the menus, the mark store and the key
// buffer as at start-up, Chinese prompts, and a bottom screen standing for
// the file browser (the screen under test is stacked over it). A test
// class derives from ScreenTest, calls StartScreens from its SetUp with
// what its screen needs, and may override Release for what it holds.
#pragma once

#include "core/library/bookmark.h"
#include "core/runtime/activity.h"
#include "core/runtime/config.h"
#include "core/runtime/globals.h"
#include "core/runtime/key.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "support/keys.h"
#include "support/temp_root.h"

#include <filesystem>
#include <gtest/gtest.h>


class ScreenTest : public ::testing::Test {
 protected:
  // bottom: the bottom screen's name, or null for none; show: its show
  // callback (null: none).
  void StartScreens(const char *bottom = "Bottom", int (*show)(Activity *) = nullptr) {
    std::filesystem::create_directories(root_.at("/dev"));
    HardVer = 32;
    ASSERT_EQ(sound_init(), 0);
    SoundSpeed_Init();
    MenuResetState();
    MLanguageSetting = 0;
    ContinueLastFile = 0;
    BookMarkDeInit();
    BookMarkInit();
    gKeyBuffer = KeyBufferInit(64);
    if (bottom) {
      bottom_ = {bottom, 1, nullptr, show, nullptr, 0, nullptr};
      ActivityAdd(&bottom_);
    }
    started_ = true;
  }

  // What the test holds beyond the screens (sounds, decoders); called before
  // the screens are taken down.
  virtual void Release() {}

  void TearDown() override {
    if (!started_) return;
    Release();
    for (int i = 0; i < 8 && GetCurrentActivity() && GetCurrentActivity() != &bottom_; i++) PressKey(VKEY_BACK);
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    BookMarkDeInit();
    MenuResetState();
    MLanguageSetting = 0;
    SoundSpeed_Init();
    HostSoundReset();
  }

  TempRoot root_;
  Activity bottom_{};
  bool started_ = false;
};
