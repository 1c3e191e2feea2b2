// The numeric input box: one heap screen, freed by its own key callback.
#include "core/ui/inputbox.h"

#include "core/runtime/log.h"
#include "speech/text_sound.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr char kLogSource[] = "core/inputbox.c";
constexpr int kMaxDigits = 9;

struct InputBox {
  Activity head;  // first: the stack holds &head
  void (*callback)(void *arg, int value);
  void *arg;
  int digits;  // how many digits may be entered
  int cursor;  // index of the last digit
  char text[kMaxDigits + 1];
};

InputBox *boxOf(Activity *a) { return static_cast<InputBox *>(a->data); }

int InputBoxShow(Activity *a) {
  if (!a) return -1;
  text_sound_insert(boxOf(a)->text);
  return 0;
}

int InputBoxHide(Activity *a) { return ActivityHideScreen(a); }

// Hands value to the opener, closes the box; the screen below speaks again
// unless the key travels on.
void finish(InputBox *box, int value, bool reshow) {
  if (box->callback && box->arg) box->callback(box->arg, value);
  ActivityRemove(&box->head);
  delete box;
  if (reshow) ActivityReshow(GetCurrentActivity());
}

int InputBoxKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  InputBox *box = boxOf(a);
  char &digit = box->text[box->cursor];
  switch (key->code) {
    case VKEY_UP:
      digit = digit == '9' ? '0' : static_cast<char>(digit + 1);
      break;
    case VKEY_DOWN:
      digit = digit == '0' ? '9' : static_cast<char>(digit - 1);
      break;
    case VKEY_RIGHT:
      if (box->cursor + 1 < box->digits) {
        box->text[++box->cursor] = '0';
        box->text[box->cursor + 1] = '\0';
      }
      break;
    case VKEY_LEFT:
      if (box->cursor > 0) box->text[box->cursor--] = '\0';
      break;
    case VKEY_ESC:
      break;
    case VKEY_OK:
      finish(box, std::atoi(box->text), true);
      return 0;
    case VKEY_BACK:
      finish(box, -1, true);
      return 0;
    case VKEY_POWEROFF:
      finish(box, -1, false);
      return 1;
    default:
      return 1;
  }
  InputBoxShow(a);
  return 0;
}

}  // namespace

Activity *InputBoxCreate(int initial, int digits, void (*callback)(void *arg, int value), void *arg) {
  InputBox *box = new (std::nothrow) InputBox;
  if (!box) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  if (digits < 1) digits = 1;
  if (digits > kMaxDigits) digits = kMaxDigits;
  box->head = {"InputBox", 0, InputBoxKey, InputBoxShow, InputBoxHide, 0, box};
  box->callback = callback;
  box->arg = arg;
  box->digits = digits;
  char full[16];
  std::snprintf(full, sizeof full, "%d", initial < 0 ? 0 : initial);
  int len = static_cast<int>(std::strlen(full));
  if (len > digits) len = digits;
  std::memcpy(box->text, full, static_cast<size_t>(len));
  box->text[len] = '\0';
  box->cursor = len - 1;
  if (ActivityAdd(&box->head) != 0) {
    delete box;
    return nullptr;
  }
  return &box->head;
}

const char *InputBoxText(Activity *a) {
  if (!a || a->key != InputBoxKey) return "";
  return boxOf(a)->text;
}
