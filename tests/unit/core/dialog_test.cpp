// Worker dialogs (a job on its own thread while keys keep arriving) and the
// confirmation box (a second key distributor while its caller waits). Run
// these under the ThreadSanitizer preset as well.
#include "core/ui/dialog.h"

#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "support/keys.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A job that runs until its state changes, writing its progress.
struct Job {
  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
  std::atomic<int> finalState{0};
  std::thread::id thread;
  std::atomic<int> *progress = nullptr;
};

void runJob(void *arg, std::atomic<int> *state) {
  Job *job = static_cast<Job *>(arg);
  job->thread = std::this_thread::get_id();
  if (job->progress) *job->progress = 42;
  job->started = true;
  while (*state == DLG_RUNNING) std::this_thread::sleep_for(1ms);
  job->finalState = state->load();
  job->ended = true;
}

char *progressText(char *buffer, int size, int arg, int language) {
  std::snprintf(buffer, static_cast<size_t>(size), "progress %d", arg);
  return buffer;
}

std::atomic<int> g_bottomShows{0};
int bottomShow(Activity *) {
  g_bottomShows++;
  return 0;
}
int bottomKey(Activity *, const KeyEvent *) { return 1; }

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    gKeyBuffer = KeyBufferInit(32);
    g_bottomShows = 0;
    bottom = {"Bottom", 1, bottomKey, bottomShow, nullptr, 0, nullptr};
    ActivityAdd(&bottom);
    level = LogGetLevel();
    LogSetLevel(LOG_WARNING);
  }
  void TearDown() override {
    DialogDeInit();
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    LogSetLevel(level);
  }
  DialogBox *make(int state, int keyMode, Job *job) {
    DialogBox *d = NewDialogBox();
    d->text[0] = "confirm?";
    d->text[1] = "working";
    d->text[2] = "cancelled";
    d->state = state;
    d->key_mode = keyMode;
    d->work = runJob;
    d->work_arg = job;
    d->info = progressText;
    job->progress = &d->info_arg;
    return d;
  }
  int key(int code) { return PressKey(code); }
  bool closed() {
    return WaitOnScreenThread([] { return ActivityGetNumb() == 1; });
  }
  TempRoot root;
  Activity bottom;
  int level = 0;
};

TEST_F(Dialogs, ConfirmThenRunWhileKeysStillWork) {
  Job job;
  size_t before = TranscriptLines().size();
  ASSERT_EQ(DailogBoxRun(make(DLG_WAIT_OK, 0, &job)), 0);
  EXPECT_EQ(ActivityGetNumb(), 2);
  EXPECT_FALSE(job.started);
  EXPECT_EQ(key(VKEY_OK), 0);
  ASSERT_TRUE(WaitFor([&] { return job.started.load(); }));
  EXPECT_NE(job.thread, std::this_thread::get_id());
  // The job is running; keys are answered at once.
  EXPECT_EQ(key(VKEY_MENU), 0);
  EXPECT_EQ(key(VKEY_BACK), 0);
  ASSERT_TRUE(closed());
  EXPECT_EQ(job.finalState, DLG_CANCEL);
  EXPECT_EQ(TranscriptSince(before), (std::vector<std::string>{"confirm?", "working", "progress 42", "cancelled"}));
  EXPECT_TRUE(WaitFor([] { return g_bottomShows == 1; }));
}

TEST_F(Dialogs, BackBeforeOkCancelsWithoutRunning) {
  Job job;
  ASSERT_EQ(DailogBoxRun(make(DLG_WAIT_OK, 0, &job)), 0);
  EXPECT_EQ(key(VKEY_BACK), 0);
  ASSERT_TRUE(closed());
  EXPECT_FALSE(job.started);
  EXPECT_EQ(TranscriptLines().back(), "cancelled");
  EXPECT_TRUE(WaitFor([] { return g_bottomShows == 1; }));
}

TEST_F(Dialogs, ConfirmModeKeys) {
  struct Case {
    int key, result, state;
  } cases[] = {
      {309, 1, DLG_WAIT_OK},           // outside the key range
      {VKEY_VOLADD, 1, DLG_WAIT_OK},   // volume as usual
      {VKEY_UP, 0, DLG_WAIT_OK},       // information
      {VKEY_AUDIOEND, 1, DLG_WAIT_OK},
      {VKEY_RECORD, 1, DLG_ABORT},     // passes down the stack
      {VKEY_POWEROFF, 1, DLG_ABORT},
  };
  for (const Case &c : cases) {
    Job job;
    ASSERT_EQ(DailogBoxRun(make(DLG_WAIT_OK, 0, &job)), 0);
    EXPECT_EQ(key(c.key), c.result) << c.key;
    if (c.state == DLG_WAIT_OK) {
      EXPECT_EQ(ActivityGetNumb(), 2) << c.key;
      key(VKEY_BACK);
    }
    ASSERT_TRUE(closed()) << c.key;
    EXPECT_FALSE(job.started) << c.key;
  }
}

TEST_F(Dialogs, StopOnKeyMode) {
  struct Case {
    int key, result, state;
    bool reshown;
  } cases[] = {
      {VKEY_DOWN, 0, DLG_STOP, true},     // an alarm snoozes
      {VKEY_VOLADD, 1, DLG_STOP, true},   // ... and the volume still changes
      {VKEY_ESC, 1, DLG_STOP, true},
      {VKEY_RECORD, 0, DLG_STOP, true},
      {VKEY_BACK, 0, DLG_CANCEL, true},   // stops
      {VKEY_POWEROFF, 1, DLG_ABORT, false},
  };
  for (const Case &c : cases) {
    Job job;
    g_bottomShows = 0;
    ASSERT_EQ(DailogBoxRun(make(DLG_RUNNING, 1, &job)), 0);
    ASSERT_TRUE(WaitFor([&] { return job.started.load(); }));
    EXPECT_EQ(key(c.key), c.result) << c.key;
    ASSERT_TRUE(closed()) << c.key;
    EXPECT_EQ(job.finalState, c.state) << c.key;
    DialogDeInit();  // joins the worker: its ending is complete
    EXPECT_EQ(g_bottomShows, c.reshown ? 1 : 0) << c.key;
  }
}

TEST_F(Dialogs, EndOfMediaKeyIsKeptAndPostedAtTheEnd) {
  Job job;
  ASSERT_EQ(DailogBoxRun(make(DLG_RUNNING, 1, &job)), 0);
  EXPECT_EQ(key(VKEY_AUDIOEND), 0);
  EXPECT_EQ(key(VKEY_AUDIOEND), 0);
  LogSetLevel(-1);
  EXPECT_EQ(key(VKEY_EBOOKEND), 0);  // another one is refused
  LogSetLevel(LOG_WARNING);
  EXPECT_EQ(DialogSavedKey(), VKEY_AUDIOEND);
  key(VKEY_DOWN);
  ASSERT_TRUE(closed());
  DialogDeInit();
  KeyEvent k{};
  ASSERT_EQ(KeyBufferRead(gKeyBuffer, &k), 0);
  EXPECT_EQ(k.code, VKEY_AUDIOEND);
  EXPECT_EQ(DialogSavedKey(), -1);
}

TEST_F(Dialogs, RefusedRecordsAreFreed) {
  LogSetLevel(-1);
  for (int state : {0, int{DLG_CANCEL}, int{DLG_ABORT}, int{DLG_STOP}}) {
    DialogBox *d = NewDialogBox();
    d->state = state;
    EXPECT_EQ(DailogBoxRun(d), -1) << state;
  }
  EXPECT_EQ(DailogBoxRun(nullptr), -1);
  EXPECT_EQ(ActivityGetNumb(), 1);
}

TEST_F(Dialogs, DeInitEndsOpenDialogs) {
  Job waiting, running;
  ASSERT_EQ(DailogBoxRun(make(DLG_WAIT_OK, 0, &waiting)), 0);
  ASSERT_EQ(DailogBoxRun(make(DLG_RUNNING, 1, &running)), 0);
  ASSERT_TRUE(WaitFor([&] { return running.started.load(); }));
  DialogDeInit();
  EXPECT_EQ(ActivityGetNumb(), 1);
  EXPECT_FALSE(waiting.started);
  EXPECT_EQ(running.finalState, DLG_ABORT);
}

// A screen under a dialog that closes itself on BACK, as a menu does once
// its command has started the dialog. Its show notes the thread, waits a
// little for the closing key and then reads its own record.
struct Below {
  Activity head;
  int shows = 0;
};
std::mutex g_belowMutex;
std::vector<std::thread::id> g_belowThreads;  // guarded by g_belowMutex: show, ..., key
std::atomic<bool> g_belowClosed{false};

int belowShow(Activity *a) {
  {
    std::scoped_lock lock(g_belowMutex);
    g_belowThreads.push_back(std::this_thread::get_id());
  }
  WaitFor([] { return g_belowClosed.load(); }, 100);
  static_cast<Below *>(a->data)->shows++;
  return 0;
}
int belowKey(Activity *a, const KeyEvent *key) {
  if (key->code != VKEY_BACK) return 1;
  {
    std::scoped_lock lock(g_belowMutex);
    g_belowThreads.push_back(std::this_thread::get_id());
  }
  g_belowClosed = true;
  ActivityRemove(a);
  delete static_cast<Below *>(a->data);
  return 0;
}

TEST_F(Dialogs, EndsOnTheKeyThreadWhileAKeyClosesTheScreenBelow) {
  g_belowThreads.clear();
  g_belowClosed = false;
  Below *below = new Below;
  below->head = {"Below", 1, belowKey, belowShow, nullptr, 0, below};
  ActivityAdd(&below->head);
  Job job;
  ASSERT_EQ(DailogBoxRun(make(DLG_RUNNING, 1, &job)), 0);
  KeyDistributor *keys = SysInitKeyDstr(nullptr);
  ASSERT_NE(keys, nullptr);
  SendVKey(VKEY_DOWN);  // the job stops and the dialog ends...
  ASSERT_TRUE(WaitFor([] {
    std::scoped_lock lock(g_belowMutex);
    return !g_belowThreads.empty();
  }));
  SendVKey(VKEY_BACK);  // ... while the screen below is closed
  ASSERT_TRUE(WaitFor([] { return ActivityGetNumb() == 1; }));
  DeInitKeyDistribution(keys);
  std::scoped_lock lock(g_belowMutex);
  ASSERT_EQ(g_belowThreads.size(), 2u);
  EXPECT_EQ(g_belowThreads[0], g_belowThreads[1]);
}

// The confirmation box, asked from a thread that stands for the key thread.
class ConfirmBox : public Dialogs {
 protected:
  int ask(const std::vector<int> &keys) {
    std::atomic<int> answer{0};
    std::thread keyThread([&] { answer = DialogBoxCreate("sure?"); });
    EXPECT_TRUE(WaitFor([] { return ActivityGetNumb() == 2; }));
    for (int k : keys) SendVKey(k);
    keyThread.join();
    EXPECT_EQ(ActivityGetNumb(), 1);
    return answer;
  }
};

TEST_F(ConfirmBox, AnswersWithTheClosingKey) {
  EXPECT_EQ(ask({VKEY_OK}), VKEY_OK);
  EXPECT_EQ(ask({VKEY_BACK}), VKEY_BACK);
  size_t before = TranscriptLines().size();
  EXPECT_EQ(ask({VKEY_UP, VKEY_VOLADD, VKEY_OK}), VKEY_OK);
  // Shown, spoken, and repeated for UP; the volume key is not the box's.
  // The box's second reading may come before or after the keys are taken,
  // so only the count of its lines is fixed, not their place.
  std::vector<std::string> said = TranscriptSince(before);
  EXPECT_EQ(std::count(said.begin(), said.end(), "sure?"), 3) << said.size();
  EXPECT_EQ(std::count_if(said.begin(), said.end(), [](const std::string &l) { return l.rfind("音量 ", 0) == 0; }), 1);
}

TEST_F(ConfirmBox, PowerOffCancelsAndTravelsOn) {
  EXPECT_EQ(ask({VKEY_POWEROFF}), VKEY_BACK);
  KeyEvent k{};
  ASSERT_EQ(KeyBufferRead(gKeyBuffer, &k), 0);
  EXPECT_EQ(k.code, VKEY_POWEROFF);
  EXPECT_EQ(k.type, KEY_TYPE_REDO);
}

}  // namespace
