// The format screen: one heap screen that frees itself when the code is
// completed or broken.
#include "core/ui/format.h"

#include "core/runtime/globals.h"
#include "core/library/storage.h"
#include "core/runtime/log.h"
#include "speech/text_sound.h"

#include <atomic>
#include <new>

namespace {

constexpr char kLogSource[] = "core/format.c";
std::atomic<int (*)(Activity *)> g_done{nullptr};  // FormatSetDoneHook

struct Format {
  Activity head;  // first: the stack holds &head
  Activity *owner;
  int step;  // 0 warning, 1..4 the keys up, down, left, right entered so far
  int target;
};

const char *const kWarning[2] = {"警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认",
                                 "Warning! Formatting will delete all data. Please enter up,down, left and right key "
                                 "to confirm"};
const char *const kSteps[5][2] = {
    {nullptr, nullptr}, {"上", "up"}, {"下", "down"}, {"左", "left"}, {"右", "right"}};
const char *const kWorking[2] = {"格式化中, 请稍候", "Formating..."};
const char *const kDone[2] = {"格式化已完成", "Done"};
const char *const kFailed[2] = {"格式化失败", "Error"};
const char *const kCancelled[2] = {"输入错误, 取消格式化", "Input error, cancelled"};


Format *formatOf(Activity *a) { return static_cast<Format *>(a->data); }

int FormatShow(Activity *a) {
  if (!a) return -1;
  int step = formatOf(a)->step;
  text_sound_insert(step == 0 ? kWarning[PromptLanguage()] : kSteps[step][PromptLanguage()]);
  return 0;
}

int FormatHide(Activity *a) { return ActivityHideScreen(a); }

// The code is broken: the screen goes, and the user hears why before the
// screen below speaks again.
void cancel(Format *f, bool reshow) {
  ActivityRemove(&f->head);
  delete f;
  wait_text_sound_end(text_sound_insert(kCancelled[PromptLanguage()]));
  if (reshow) ActivityReshow(GetCurrentActivity());
}

void format(Format *f) {
  f->step = 4;
  wait_text_sound_end(text_sound_insert(kSteps[4][PromptLanguage()]));
  text_sound_insert(kWorking[PromptLanguage()]);
  int rc = DoFormating(f->target);
  wait_text_sound_end(text_sound_insert(rc == 0 ? kDone[PromptLanguage()] : kFailed[PromptLanguage()]));
  if (int (*done)(Activity *) = g_done.load()) done(f->owner);
  ActivityRemove(&f->head);
  delete f;
  ActivityReshow(GetCurrentActivity());
}

int FormatKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  Format *f = formatOf(a);
  int next = -1;
  switch (key->code) {
    case VKEY_UP:
      next = 1;
      break;
    case VKEY_DOWN:
      if (f->step == 1) next = 2;
      break;
    case VKEY_LEFT:
      if (f->step == 2) next = 3;
      break;
    case VKEY_RIGHT:
      if (f->step == 3) {
        format(f);
        return 0;
      }
      break;
    case VKEY_ESC:
      FormatShow(a);
      return 0;
    case VKEY_POWEROFF:
    case VKEY_MARK:
      cancel(f, false);
      return 1;
    case VKEY_MENU:
    case VKEY_BACK:
    case VKEY_OK:
      break;
    default:
      return 1;
  }
  if (next < 0) {
    cancel(f, true);
    return 0;
  }
  f->step = next;
  FormatShow(a);
  return 0;
}

}  // namespace

Activity *FormatCreate(Activity *owner, int target) {
  if (!owner || target < FORMAT_EMMC || target > FORMAT_USBDISK) return nullptr;
  Format *f = ActivityNew<Format>("Format", FormatKey, FormatShow, FormatHide);
  if (!f) return nullptr;
  f->owner = owner;
  f->step = 0;
  f->target = target;
  if (ActivityAdd(&f->head) != 0) {
    delete f;
    return nullptr;
  }
  text_sound_insert(kWarning[PromptLanguage()]);
  return &f->head;
}

void FormatSetDoneHook(int (*done)(Activity *owner)) { g_done.store(done); }

int MenuFormat(void *context, int target) {
  if (!context) return -1;
  Activity *f = FormatCreate(static_cast<Activity *>(context), target);
  if (!f) return -1;
  ActivitySetActive(f, 1);
  return 0;
}

int MenuFormatEmmc(void *context, int value, int preview) { return MenuFormat(context, FORMAT_EMMC); }
int MenuFormatSd(void *context, int value, int preview) { return MenuFormat(context, FORMAT_SDCARD); }
int MenuFormatUsbdisk(void *context, int value, int preview) { return MenuFormat(context, FORMAT_USBDISK); }
