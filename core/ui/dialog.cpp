// Worker dialogs and the confirmation box.
//
// A worker dialog's screen is one of a few static slots, so that a key
// callback that picked the screen off the stack just before the worker
// thread removed it still finds valid memory; the slot's record pointer,
// guarded by g_mutex, says whether the dialog is still alive. The record is
// the heap part: it is freed exactly once, by its worker thread, after the
// slot has let go of it under g_mutex. Key and show callbacks copy what they
// need under g_mutex and speak after releasing it.
//
// The worker thread runs the job only; the ending (the screen leaves the
// stack, the record is freed, the screen below speaks) is posted to the
// screen thread, as a worker must never touch a screen.
//
// Lock order: g_mutex, then the activity stack's own lock (ActivityRemove).
// No screen callback, job or info function runs under g_mutex.
#include "core/ui/dialog.h"

#include "core/runtime/globals.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "speech/text_sound.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr char kLogSource[] = "core/dialog.c";
constexpr int kSlots = 8;

int DailogKey(Activity *a, const KeyEvent *key);
int DailogShow(Activity *a);
int DailogHide(Activity *a);

struct DialogScreen {
  Activity head;
  DialogBox *rec;  // guarded by g_mutex; null while the slot is free
  bool started;    // guarded by g_mutex; DailogBoxRun has shown the screen
};

constexpr std::array<DialogScreen, kSlots> makeSlots() {
  std::array<DialogScreen, kSlots> s{};
  for (DialogScreen &d : s) d = {{"Dailog", 0, DailogKey, DailogShow, DailogHide, 0, nullptr}, nullptr, false};
  return s;
}

std::mutex g_mutex;
std::condition_variable g_cond;               // state changes, started, a dialog ended
constinit std::array<DialogScreen, kSlots> g_slots = makeSlots();
int g_live = 0;                               // guarded by g_mutex: worker threads not yet ended
std::vector<std::thread> g_finished;          // guarded by g_mutex: ended or ending, to be joined
std::atomic<int> g_saveKey{-1};

DialogScreen *slotOf(Activity *a) { return reinterpret_cast<DialogScreen *>(a); }


void say(const std::string &text) {
  if (!text.empty()) wait_text_sound_end(text_sound_insert(text.c_str()));
}

// The confirmation box does not wait for its message: an answer given while
// it is read cuts it off.
void sayAsync(const std::string &text) {
  if (!text.empty()) text_sound_insert(text.c_str());
}

const char *stateText(const DialogBox *rec, int state) {
  return state >= 1 && state <= 3 ? rec->text[state - 1] : nullptr;
}

// Joins the threads of dialogs that have ended (never the calling thread).
void joinFinished() {
  std::vector<std::thread> done;
  {
    std::scoped_lock lock(g_mutex);
    done.swap(g_finished);
  }
  for (std::thread &t : done) {
    if (t.get_id() == std::this_thread::get_id()) {
      std::scoped_lock lock(g_mutex);
      g_finished.push_back(std::move(t));
    } else if (t.joinable()) {
      t.join();
    }
  }
}

// The dialog's ending, on the screen thread: the screen leaves the stack,
// the record is freed, the screen below speaks again (unless aborted) and an
// end-of-media key kept meanwhile is posted again. The slot stays taken
// until then, so slot and record still belong together.
void endDialog(DialogScreen *slot, DialogBox *rec) {
  int final;
  {
    std::scoped_lock lock(g_mutex);
    final = rec->state;
    ActivityRemove(&slot->head);
    slot->rec = nullptr;
    slot->started = false;
    g_finished.push_back(std::move(rec->thread));
  }
  g_cond.notify_all();
  delete rec;
  if (final != DLG_ABORT) ActivityReshow(GetCurrentActivity());
  int saved = g_saveKey.exchange(-1);
  if (saved != -1) SendVKey(saved);
  KeyIdle();
}

// The worker thread: waits for OK, runs the job, and posts the ending to the
// screen thread, which may be closing the screens below at this moment.
// The job starts once the dialog has been shown, its prompt ended or cut
// off: what the job says (a failure, "Disk full") is then always heard after
// the dialog's own words, never cut off by them.
void worker(DialogScreen *slot) {
  DialogBox *rec;
  {
    // DailogBoxRun hands rec->thread over before `started`.
    std::unique_lock lock(g_mutex);
    rec = slot->rec;
    g_cond.wait(lock, [slot] { return slot->started; });
    while (rec->state == DLG_WAIT_OK) g_cond.wait_for(lock, std::chrono::milliseconds(100));
  }
  if (rec->state == DLG_RUNNING && rec->work) rec->work(rec->work_arg, &rec->state);
  ActivityPost([slot, rec] { endDialog(slot, rec); });
  {
    std::scoped_lock lock(g_mutex);
    g_live--;
  }
  g_cond.notify_all();
}

bool stopsStateful(int st) { return st == DLG_WAIT_OK || st == DLG_RUNNING; }

int DailogKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  int code = key->code;
  LOGI("DailogKey recive key: %d\n", code);
  DialogScreen *slot = slotOf(a);
  std::string text;
  char *(*info)(char *, int, int, int) = nullptr;
  int infoArg = -1;
  int ret = 0;
  {
    std::scoped_lock lock(g_mutex);
    DialogBox *rec = slot->rec;
    if (!rec) return 1;
    int st = rec->state;
    auto setState = [&](int s, int textOf) {
      rec->state = s;
      if (const char *t = stateText(rec, textOf)) text = t;
    };
    bool modal = rec->key_mode == 0;
    if (modal && (code < VKEY_MENU || code > VKEY_FM)) return 1;
    // BACK cancels and OK starts in both modes; POWEROFF always aborts.
    if (code == VKEY_BACK) {
      if (stopsStateful(st)) setState(DLG_CANCEL, DLG_CANCEL);
    } else if (code == VKEY_OK && st == DLG_WAIT_OK) {
      setState(DLG_RUNNING, DLG_RUNNING);
    } else if (code == VKEY_POWEROFF) {
      rec->state = DLG_ABORT;
      ret = 1;
    } else if (modal) {
      switch (code) {
        case VKEY_OK: case VKEY_MENU: case VKEY_ESC: case VKEY_UP: case VKEY_DOWN: case VKEY_LEFT: case VKEY_RIGHT:
          info = rec->info;
          break;
        case VKEY_RECORD: case VKEY_SDIN: case VKEY_USBDISKIN: case VKEY_USBIN: case VKEY_MP3: case VKEY_FM:
          rec->state = DLG_ABORT;
          ret = 1;
          break;
        default:  // volume keys, end-of-media keys and the rest
          ret = 1;
          break;
      }
    } else {
      switch (code) {
        case VKEY_OK:
          break;
        case VKEY_AUDIOEND: case VKEY_EBOOKEND: case VKEY_DAISYEND: {
          int expected = -1;
          if (!g_saveKey.compare_exchange_strong(expected, code) && expected != code)
            LOGE("error:  save_key=%d, cur_key=%d\n", expected, code);
          break;
        }
        case VKEY_ESC: case VKEY_VOL_: case VKEY_VOLADD:
          if (stopsStateful(st)) rec->state = DLG_STOP;
          ret = 1;  // ESC speaks the information, the volume keys change the volume
          break;
        default:
          if (stopsStateful(st)) rec->state = DLG_STOP;
          break;
      }
    }
    infoArg = rec->info_arg;
  }
  g_cond.notify_all();
  if (info) {
    char buffer[512] = "";
    if (const char *t = info(buffer, sizeof buffer, infoArg, PromptLanguage())) text = t;
  }
  say(text);
  return ret;
}

int DailogShow(Activity *a) {
  if (!a) return -1;
  std::string text;
  {
    std::scoped_lock lock(g_mutex);
    DialogBox *rec = slotOf(a)->rec;
    if (!rec) return 0;
    if (const char *t = stateText(rec, rec->state)) text = t;
  }
  say(text);
  return 0;
}

int DailogHide(Activity *a) { return ActivityHideScreen(a); }

// The confirmation box: answered on the nested distribution thread, read
// by the waiting caller.
struct ConfirmBox {
  Activity head;
  std::string message;
  std::mutex mutex;
  std::condition_variable cond;
  std::atomic<bool> done{false};  // written under mutex; the nested distributor stops on it
  int result = VKEY_BACK;         // guarded by mutex
};

ConfirmBox *boxOf(Activity *a) { return static_cast<ConfirmBox *>(a->data); }

int BoxShow(Activity *a) {
  if (!a) return -1;
  sayAsync(boxOf(a)->message);
  return 0;
}

int BoxHide(Activity *a) { return ActivityHideScreen(a); }

void answer(ConfirmBox *box, int result) {
  {
    std::scoped_lock lock(box->mutex);
    if (!box->done) box->result = result;
    box->done = true;
  }
  box->cond.notify_all();
}

int BoxKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  ConfirmBox *box = boxOf(a);
  switch (key->code) {
    case VKEY_OK:
      answer(box, VKEY_OK);
      return 0;
    case VKEY_BACK:
      answer(box, VKEY_BACK);
      return 0;
    case VKEY_POWEROFF:
      answer(box, VKEY_BACK);
      return 1;
    case VKEY_MENU: case VKEY_ESC: case VKEY_RECORD: case VKEY_UP: case VKEY_DOWN: case VKEY_LEFT:
    case VKEY_RIGHT: case VKEY_MARK: case VKEY_MP3: case VKEY_FM:
      sayAsync(box->message);
      return 0;
    default:
      return 1;
  }
}

}  // namespace

DialogBox *NewDialogBox(void) { return new (std::nothrow) DialogBox; }

int DailogBoxRun(DialogBox *rec) {
  if (!rec) return -1;
  LOGI("enter: \tDailogBox ------\n");
  int st = rec->state;
  if (st != DLG_WAIT_OK && st != DLG_RUNNING) {
    LOGW("Init dlg status error\n");
    delete rec;
    return -1;
  }
  joinFinished();
  DialogScreen *slot = nullptr;
  {
    std::scoped_lock lock(g_mutex);
    for (DialogScreen &s : g_slots) {
      if (!s.rec) {
        slot = &s;
        break;
      }
    }
    if (slot) {
      slot->rec = rec;
      slot->started = false;
      g_live++;
    }
  }
  if (!slot) {
    LOGE("Not enough memory\n");
    delete rec;
    return -1;
  }
  g_saveKey = -1;
  std::thread thread;
  try {
    thread = std::thread(worker, slot);
  } catch (const std::system_error &) {
    LOGE("Cannot creat thread\n");
    {
      std::scoped_lock lock(g_mutex);
      slot->rec = nullptr;
      g_live--;
    }
    delete rec;
    return -2;
  }
  {
    // The worker touches rec->thread only after `started`, below.
    std::scoped_lock lock(g_mutex);
    rec->thread = std::move(thread);
  }
  int result = 0;
  if (ActivityAdd(&slot->head) != 0) {
    // No room on the stack: nobody could answer it; end it at once.
    std::scoped_lock lock(g_mutex);
    rec->state = DLG_ABORT;
    result = -1;
  } else {
    ActivitySetActive(&slot->head, 1);
  }
  {
    std::scoped_lock lock(g_mutex);
    slot->started = true;
  }
  g_cond.notify_all();
  LOGI("exit: \tDailogBox -----\n");
  return result;
}

int DialogBoxCreate(const char *message) {
  ConfirmBox *box = new (std::nothrow) ConfirmBox;
  if (!box) {
    LOGE("dialogbox can't creat thread\n");
    return VKEY_BACK;
  }
  box->message = message ? message : "";
  box->head = {"DialogBox", 0, BoxKey, BoxShow, BoxHide, 0, box};
  if (ActivityAdd(&box->head) != 0) {
    delete box;
    return VKEY_BACK;
  }
  ActivitySetActive(&box->head, 1);
  // The caller is a key callback on the distribution thread, which stays
  // blocked here: the box needs a distributor of its own.
  KeyDistributor *nested = SysInitKeyDstr(&box->done);
  if (!nested) {
    LOGE("dialogbox can't creat thread\n");
    ActivityRemove(&box->head);
    delete box;
    return VKEY_BACK;
  }
  sayAsync(box->message);
  int result;
  {
    std::unique_lock lock(box->mutex);
    box->cond.wait(lock, [box] { return box->done.load(); });
    result = box->result;
  }
  DeInitKeyDistribution(nested);
  ActivityRemove(&box->head);
  delete box;
  return result;
}

void DialogDeInit(void) {
  {
    std::unique_lock lock(g_mutex);
    for (DialogScreen &s : g_slots)
      if (s.rec && stopsStateful(s.rec->state)) s.rec->state = DLG_ABORT;
    g_cond.notify_all();
    g_cond.wait(lock, [] { return g_live == 0; });
  }
  // The keys have stopped: the endings the workers posted run here.
  ActivityRunPosted();
  joinFinished();
}

int DialogSavedKey(void) { return g_saveKey; }
