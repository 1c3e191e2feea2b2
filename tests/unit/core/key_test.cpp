// The key reader (driven event by event as the main loop would) and the key
// distribution thread (with screens of its own on the stack).
#include "core/runtime/key.h"

#include "board/host/host.h"
#include "cfgtest_support.h"
#include "core/runtime/activity.h"
#include "core/runtime/globals.h"
#include "core/runtime/config.h"
#include "core/runtime/loop.h"
#include "core/runtime/vkey.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <list>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using cfgtest::Transcript;

// One step of a reader scenario: a press ('P'), a release ('R'), the held
// key's time-out ('H'), or the end of the key-lock window ('W').
struct Step {
  char what;
  int code;
};

struct Queued {
  int type, code;
  bool operator==(const Queued &o) const { return type == o.type && code == o.code; }
};

std::ostream &operator<<(std::ostream &os, const Queued &q) { return os << "{" << q.type << "," << q.code << "}"; }

class KeyReader : public ::testing::Test {
 protected:
  void SetUp() override {
    KeyReaderReset();
    buf_ = KeyBufferInit(32);
    gKeyBuffer = buf_;
    ASSERT_EQ(pipe(fds_), 0);
    fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    rec_ = Event{&rec_, &rec_, -1, 0, nullptr, nullptr, 0, nullptr};
    rec_.fd = fds_[0];
    rec_.flag = EVENT_READ;
    rec_.timeout = -1;
    rec_.callback = KeyCallback;
    rec_.check = [](void *) { return 1; };
    rec_.arg = &rec_;
    MLanguageSetting = 1;
  }
  void TearDown() override {
    EventDel(&rec_);
    KeyReaderReset();
    gKeyBuffer = nullptr;
    KeyBufferDeInit(buf_);
    close(fds_[0]);
    close(fds_[1]);
    MLanguageSetting = 0;
  }

  // The loop unlinks a record before its callback, which adds it again.
  void Run(int flag) {
    EventDel(&rec_);
    KeyCallback(&rec_, flag);
  }

  void Send(int type, int code, int value) {
    unsigned char ev[16];
    HostKeysEncode(ev, type, code, value);
    ASSERT_EQ(write(fds_[1], ev, sizeof ev), 16);
    Run(EVENT_READ);
  }

  void Do(const std::vector<Step> &steps) {
    for (const Step &s : steps) {
      if (s.what == 'P') Send(1, s.code, 1);
      else if (s.what == 'R') Send(1, s.code, 0);
      else if (s.what == 'H') Run(EVENT_TIMER);
      else if (s.what == 'W') LockCallback(nullptr, EVENT_TIMER);
    }
  }

  std::vector<Queued> Keys() {
    std::vector<Queued> out;
    KeyEvent e;
    while (cfgtest::TakeKey(buf_, &e)) out.push_back({e.type, e.code});
    return out;
  }

  TempRoot root_;
  KeyBuffer *buf_ = nullptr;
  int fds_[2] = {-1, -1};
  Event rec_;
};

const std::vector<Step> kLock = {{'P', VKEY_MP3}, {'H', 0}, {'R', VKEY_MP3}};

std::vector<Step> Then(std::vector<Step> a, const std::vector<Step> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(KeyReader, TurnsPressesHoldsAndReleasesIntoKeys) {
  struct {
    const char *what;
    std::vector<Step> steps;
    std::vector<Queued> keys;
    std::vector<std::string> spoken;
    int locked;
  } cases[] = {
      {"held DOWN repeats until released",
       {{'P', VKEY_DOWN}, {'H', 0}, {'H', 0}, {'R', VKEY_DOWN}, {'H', 0}},
       {{0, VKEY_DOWN}, {1, VKEY_DOWN}, {1, VKEY_DOWN}}, {}, 0},
      {"MENU acts at once and never repeats", {{'P', VKEY_MENU}, {'H', 0}, {'R', VKEY_MENU}}, {{0, VKEY_MENU}}, {}, 0},
      {"short MP3 acts on release", {{'P', VKEY_MP3}, {'R', VKEY_MP3}}, {{0, VKEY_MP3}}, {}, 0},
      {"MP3 held locks the keys", kLock, {}, {"Keyboard locked!"}, 1},
      {"locked keys only speak",
       Then(kLock, {{'P', VKEY_DOWN}, {'H', 0}, {'R', VKEY_DOWN}, {'P', VKEY_MP3}, {'R', VKEY_MP3}}), {},
       {"Keyboard locked!", "Keyboard locked!", "Keyboard locked!"}, 1},
      {"power then MP3 unlocks",
       Then(kLock, {{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}, {'P', VKEY_MP3}, {'R', VKEY_MP3}, {'P', VKEY_OK}}),
       {{0, VKEY_OK}}, {"Keyboard locked!", "Keyboard unlocked"}, 0},
      {"the unlock window closes after a while",
       Then(kLock, {{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}, {'W', 0}, {'P', VKEY_MP3}, {'R', VKEY_MP3}}), {},
       {"Keyboard locked!", "Keyboard locked!"}, 1},
      {"another key between power and MP3 spoils the unlock",
       Then(kLock, {{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}, {'P', VKEY_UP}, {'P', VKEY_MP3}}), {},
       {"Keyboard locked!", "Keyboard locked!", "Keyboard locked!"}, 1},
      {"power held powers off", {{'P', VKEY_POWEROFF}, {'H', 0}, {'R', VKEY_POWEROFF}}, {{0, VKEY_POWEROFF}}, {}, 0},
      {"power held powers off while locked", Then(kLock, {{'P', VKEY_POWEROFF}, {'H', 0}}), {{0, VKEY_POWEROFF}},
       {"Keyboard locked!"}, 1},
      {"short power walks the auto-power-off cycle", {{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}}, {},
       {"auto poweroff: 15 minutes"}, 0},
      {"headphone switch and unknown codes queue nothing",
       {{'P', VKEY_HPDET}, {'R', VKEY_HPDET}, {'P', 300}, {'R', 300}}, {}, {}, 0},
      {"a second key takes over the hold",
       {{'P', VKEY_DOWN}, {'P', VKEY_UP}, {'H', 0}, {'R', VKEY_DOWN}, {'H', 0}},
       {{0, VKEY_DOWN}, {0, VKEY_UP}, {1, VKEY_UP}}, {}, 0},
  };
  for (const auto &c : cases) {
    KeyReaderReset();
    size_t before = Transcript().size();
    Do(c.steps);
    EXPECT_EQ(Keys(), c.keys) << c.what;
    std::vector<std::string> spoken = Transcript();
    spoken.erase(spoken.begin(), spoken.begin() + static_cast<long>(before));
    EXPECT_EQ(spoken, c.spoken) << c.what;
    EXPECT_EQ(KeyIsLocked(), c.locked) << c.what;
  }
}

TEST_F(KeyReader, HoldTimeOutIsArmedOnlyWhileAKeyIsHeld) {
  Send(1, VKEY_DOWN, 1);
  EXPECT_GT(rec_.timeout, 0);
  EXPECT_LE(rec_.timeout, CfgKeyFirstDelay);
  Send(0, 0, 0);  // a sync event in between: the hold goes on
  EXPECT_GT(rec_.timeout, 0);
  Send(1, VKEY_DOWN, 2);  // the kernel's own repeat: ignored
  EXPECT_GT(rec_.timeout, 0);
  ASSERT_EQ(write(fds_[1], "short", 5), 5);  // not a whole event
  Run(EVENT_READ);
  EXPECT_GT(rec_.timeout, 0);
  Send(1, VKEY_HPDET, 1);
  EXPECT_GT(rec_.timeout, 0);
  Send(1, VKEY_DOWN, 0);
  EXPECT_EQ(rec_.timeout, -1);
  EXPECT_EQ(Keys(), (std::vector<Queued>{{0, VKEY_DOWN}}));
  Send(1, VKEY_MENU, 1);
  EXPECT_EQ(rec_.timeout, -1);
  EXPECT_EQ(rec_.flag, EVENT_READ);
}

TEST_F(KeyReader, PowerTapsWalkTheCycleAndAHoldDoesNot) {
  const char *want[] = {"auto poweroff: 15 minutes", "auto poweroff: 30 minutes", "auto poweroff: 45 minutes",
                        "auto poweroff: 60 minutes", "auto poweroff: 90 minutes", "auto poweroff: 120 minutes",
                        "auto poweroff: off",        "auto poweroff: 15 minutes"};
  const int minutes[] = {15, 30, 45, 60, 90, 120, 0, 15};
  for (int i = 0; i < 8; i++) {
    Do({{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}});
    EXPECT_EQ(Transcript().back(), want[i]);
    EXPECT_EQ(KeyFastPowerOffChoice(), (i + 1) % 7);
    if (minutes[i]) {
      EXPECT_EQ(gFTPminutes, minutes[i]);
    }
  }
  size_t spoken = Transcript().size();
  Do({{'P', VKEY_POWEROFF}, {'H', 0}, {'R', VKEY_POWEROFF}});
  EXPECT_EQ(KeyFastPowerOffChoice(), 1);
  EXPECT_EQ(Transcript().size(), spoken);
  MLanguageSetting = 0;
  Do({{'P', VKEY_POWEROFF}, {'R', VKEY_POWEROFF}});
  EXPECT_EQ(Transcript().back(), "自动关机: 30分钟");
}

TEST_F(KeyReader, QuickPowerOffCountsDownToPowerOff) {
  FastTimePowerOff(3);
  FTPCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(gFTPminutes, 2);
  EXPECT_TRUE(Keys().empty());
  FTPCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(Transcript().back(), "It poweroff automatically after 1 minute");
  FTPCallback(nullptr, EVENT_TIMER);
  EXPECT_EQ(Keys(), (std::vector<Queued>{{0, VKEY_POWEROFF}}));
}

// A screen for the distribution tests: records every key it gets; when
// closing is on it removes itself for the keys that are passed down, as
// screens do.
struct TestScreen {
  Activity head;
  std::mutex mutex;
  std::vector<Queued> got;  // guarded by mutex
  int result = 0;
  bool closes = false;

  explicit TestScreen(const char *name, int r = 0, bool c = false) : result(r), closes(c) {
    head = {name, 0, Key, nullptr, nullptr, 0, this};
  }
  static int Key(Activity *a, const KeyEvent *k) {
    auto *s = static_cast<TestScreen *>(a->data);
    {
      std::scoped_lock lock(s->mutex);
      s->got.push_back({k->type, k->code});
    }
    if (s->closes && (k->code == VKEY_POWEROFF || k->code == VKEY_FM || k->code == VKEY_USBIN)) {
      ActivityRemove(a);
      return 1;
    }
    return s->result;
  }
  std::vector<Queued> Got() {
    std::scoped_lock lock(mutex);
    return got;
  }
  bool Has(int code) {
    std::vector<Queued> g = Got();
    return std::any_of(g.begin(), g.end(), [code](const Queued &q) { return q.code == code; });
  }
  void Push() {
    ActivityAdd(&head);
    ActivitySetActive(&head, 1);
  }
};

class KeyDistribution : public ::testing::Test {
 protected:
  void SetUp() override {
    MLanguageSetting = 1;
    MainVolume = 10;
    ContinueLastFile = 0;  // an earlier test's open player leaves "reopen" set: InitKey would send OK
  }
  void TearDown() override {
    DeInitKey();
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    MLanguageSetting = 0;
    MainVolume = 10;
    ContinueLastFile = 0;
  }
  // Sends the keys, then a marker, and waits until the bottom screen has it.
  void Deliver(TestScreen &bottom, std::vector<int> codes) {
    for (int c : codes) SendVKey(c);
    SendVKey(VKEY_MARK);
    ASSERT_TRUE(WaitFor([&] { return bottom.Has(VKEY_MARK); }));
  }

  // Screens live as long as the fixture, past the key thread's end.
  TestScreen &Screen(const char *name, int result = 0, bool closes = false) {
    return screens_.emplace_back(name, result, closes);
  }

  TempRoot root_;
  std::list<TestScreen> screens_;
};

TEST_F(KeyDistribution, GlobalKeysUnwindTheStackToTheBottomScreen) {
  TestScreen &bottom = Screen("bottom"), &middle = Screen("middle", 0, true), &top = Screen("top", 0, true);
  bottom.Push();
  middle.Push();
  top.Push();
  ASSERT_EQ(InitKey(), 0);
  Deliver(bottom, {VKEY_FM});
  EXPECT_EQ(top.Got(), (std::vector<Queued>{{0, VKEY_FM}}));
  EXPECT_EQ(middle.Got(), (std::vector<Queued>{{KEY_TYPE_REDO, VKEY_POWEROFF}}));
  EXPECT_EQ(bottom.Got(), (std::vector<Queued>{{KEY_TYPE_REDO, VKEY_FM}, {0, VKEY_MARK}}));
  EXPECT_EQ(ActivityGetNumb(), 1);
}

TEST_F(KeyDistribution, HotPlugWordReachesTheBottomScreenAsItsKey) {
  TestScreen &bottom = Screen("bottom"), &top = Screen("top", 0, true);
  bottom.Push();
  top.Push();
  ASSERT_EQ(InitKey(), 0);
  VkeyClientSend("usb_plug_in");  // no key of its own
  VkeyClientSend("usb_config");
  ASSERT_TRUE(WaitFor([&] { return bottom.Has(VKEY_USBIN); }));
  EXPECT_EQ(bottom.Got(), (std::vector<Queued>{{KEY_TYPE_REDO, VKEY_USBIN}}));
  EXPECT_EQ(GetUsbStatus(), 3);
}

TEST_F(KeyDistribution, EscPressesSpeakTimeBatteryAndLunarDate) {
  TestScreen &bottom = Screen("bottom");
  bottom.Push();
  ASSERT_EQ(InitKey(), 0);
  MLanguageSetting = 0;
  Deliver(bottom, {VKEY_ESC, VKEY_ESC, VKEY_ESC, VKEY_ESC, VKEY_ESC});
  std::vector<Queued> got = bottom.Got();
  EXPECT_EQ(std::count(got.begin(), got.end(), Queued{0, VKEY_ESC}), 2);  // the first and the fifth
  std::vector<std::string> spoken = Transcript();
  ASSERT_EQ(spoken.size(), 3u);
  EXPECT_EQ(spoken[0].rfind("现在时间", 0), 0u);
  EXPECT_EQ(spoken[1], "获取电池信息失败");
}

TEST_F(KeyDistribution, EnglishHasNoLunarDateAndOtherKeysRestartTheSequence) {
  TestScreen &bottom = Screen("bottom");
  bottom.Push();
  ASSERT_EQ(InitKey(), 0);
  Deliver(bottom, {VKEY_ESC, VKEY_ESC, VKEY_ESC, VKEY_ESC, VKEY_AUDIOEND, VKEY_ESC, VKEY_DOWN, VKEY_ESC});
  EXPECT_EQ(bottom.Got(), (std::vector<Queued>{{0, VKEY_ESC},
                                               {0, VKEY_ESC},
                                               {0, VKEY_AUDIOEND},
                                               {0, VKEY_DOWN},
                                               {0, VKEY_ESC},
                                               {0, VKEY_MARK}}));
  // ESC 2 and 3 were the time (Chinese only: silent) and the battery; ESC 4
  // went to the screen; after AUDIOEND the sequence went on (ESC 5, the
  // time); DOWN started it again.
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"get battery information failed"}));
}

TEST_F(KeyDistribution, VolumeKeysThatNoScreenTakesSetTheVolume) {
  TestScreen &bottom = Screen("bottom", 1);
  bottom.Push();
  MainVolume = 24;
  ASSERT_EQ(InitKey(), 0);
  Deliver(bottom, {VKEY_VOLADD, VKEY_VOLADD, VKEY_VOL_});
  EXPECT_EQ(MainVolume, 24);
  EXPECT_EQ(Transcript(), (std::vector<std::string>{"volume 25", "volume 25", "volume 24"}));
  MainVolume = 0;
  Deliver(bottom, {VKEY_VOL_});
  EXPECT_EQ(MainVolume, 0);
  EXPECT_EQ(Transcript().size(), 3u);
}

TEST_F(KeyDistribution, ContinueLastFileReopensWithOk) {
  TestScreen &bottom = Screen("bottom");
  bottom.Push();
  ContinueLastFile = 1;
  ASSERT_EQ(InitKey(), 0);
  EXPECT_EQ(ContinueLastFile, 0);
  Deliver(bottom, {});
  EXPECT_EQ(bottom.Got().front(), (Queued{0, VKEY_OK}));
}

TEST_F(KeyDistribution, StartsWithoutAScreenAndStopsCleanly) {
  ASSERT_EQ(InitKey(), 0);
  SendVKey(VKEY_DOWN);
  DeInitKey();
  EXPECT_EQ(gKeyBuffer, nullptr);
  ASSERT_EQ(InitKey(), 0);  // and starts again
}

}  // namespace
