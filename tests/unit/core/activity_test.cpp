#include "core/runtime/activity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A screen that records what it was asked to do.
struct Probe {
  Activity head;
  std::vector<std::string> *log;
  int keyResult = 0;
};

int probeShow(Activity *a) {
  auto *p = static_cast<Probe *>(a->data);
  p->log->push_back(std::string("show ") + a->name);
  return 0;
}
int probeKey(Activity *a, const KeyEvent *k) {
  auto *p = static_cast<Probe *>(a->data);
  p->log->push_back(std::string("key ") + a->name);
  return p->keyResult;
}
int probeHide(Activity *a) {
  a->active = 0;
  return 0;
}

class ActivityStack : public ::testing::Test {
 protected:
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  }
  Probe make(const char *name) { return Probe{{name, 0, probeKey, probeShow, probeHide, 0, nullptr}, &log}; }
  void add(Probe &p) {
    p.head.data = &p;
    ASSERT_EQ(ActivityAdd(&p.head), 0);
  }
  std::vector<std::string> log;
};

TEST_F(ActivityStack, KeysAndShowGoToTopMostActiveScreen) {
  Probe lower = make("lower"), upper = make("upper");
  add(lower);
  add(upper);
  ActivitySetActive(&lower.head, 1);  // upper stays inactive
  KeyEvent k{0, VKEY_OK};
  EXPECT_EQ(ActivityKeyCallBack(&k), 0);
  ActivityRefresh();
  EXPECT_EQ(log, (std::vector<std::string>{"show lower", "key lower", "show lower"}));

  log.clear();
  ActivitySetActive(&upper.head, 1);
  ActivityReshow(&lower.head);  // no longer the top-most active one: silent
  ActivityReshow(&upper.head);
  EXPECT_EQ(log, (std::vector<std::string>{"show upper", "show upper"}));
  EXPECT_EQ(GetCurrentActivity(), &upper.head);
}

TEST_F(ActivityStack, NoActiveScreenTakesNoKey) {
  Probe p = make("idle");
  add(p);
  KeyEvent k{0, VKEY_OK};
  EXPECT_EQ(ActivityKeyCallBack(&k), -2);
  p.head.active = 1;
  p.head.key = nullptr;
  EXPECT_EQ(ActivityKeyCallBack(&k), -2);
  EXPECT_TRUE(log.empty());
}

TEST_F(ActivityStack, HoldsThirtyTwoAndRemovalClosesTheGap) {
  std::vector<Probe> screens(kActivityMax + 1, make("s"));
  for (int i = 0; i < kActivityMax; i++) add(screens[static_cast<size_t>(i)]);
  EXPECT_EQ(ActivityAdd(&screens.back().head), -2);
  EXPECT_EQ(ActivityGetNumb(), kActivityMax);

  EXPECT_EQ(ActivityRemove(&screens[0].head), 0);  // the bottom one
  EXPECT_EQ(ActivityGetNumb(), kActivityMax - 1);
  EXPECT_EQ(GetCurrentActivity(), &screens[kActivityMax - 1].head);
  EXPECT_EQ(ActivityRemove(&screens[0].head), 0);  // not stacked any more: harmless
  EXPECT_EQ(ActivityGetNumb(), kActivityMax - 1);
  // Every other screen moved down by one: removing from the top empties it in order.
  for (int i = kActivityMax - 1; i >= 1; i--) {
    EXPECT_EQ(GetCurrentActivity(), &screens[static_cast<size_t>(i)].head);
    ActivityRemove(GetCurrentActivity());
  }
  EXPECT_EQ(GetCurrentActivity(), nullptr);
}

TEST_F(ActivityStack, NullRecordsAreRefused) {
  EXPECT_EQ(ActivityAdd(nullptr), -1);
  EXPECT_EQ(ActivityRemove(nullptr), -1);
  EXPECT_EQ(ActivitySetActive(nullptr, 1), -1);
  EXPECT_EQ(ActivityReshow(nullptr), -1);
}

// A key callback may close its own screen (the usual way a screen ends): the
// stack lock is not held while it runs.
TEST_F(ActivityStack, KeyCallbackMayRemoveItself) {
  static std::vector<std::string> *seen;
  seen = &log;
  Probe bottom = make("bottom");
  add(bottom);
  ActivitySetActive(&bottom.head, 1);
  Activity top{"top", 1,
               [](Activity *self, const KeyEvent *) {
                 ActivityRemove(self);
                 ActivityReshow(GetCurrentActivity());
                 return 0;
               },
               nullptr, nullptr, 0, nullptr};
  ASSERT_EQ(ActivityAdd(&top), 0);
  KeyEvent k{0, VKEY_BACK};
  EXPECT_EQ(ActivityKeyCallBack(&k), 0);
  EXPECT_EQ(ActivityGetNumb(), 1);
  EXPECT_EQ(seen->back(), "show bottom");
}

}  // namespace
