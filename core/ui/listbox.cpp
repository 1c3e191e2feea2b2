// The spoken list box: one heap screen, freed by its own key callback.
#include "core/ui/listbox.h"

#include "speech/text_sound.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

struct ListBox {
  Activity head;  // first: the stack holds &head
  std::vector<std::string> lines;
  int current = 0;
  void (*callback)(void *arg, int index) = nullptr;
  void *arg = nullptr;
};

ListBox *boxOf(Activity *a) { return static_cast<ListBox *>(a->data); }

int ListBoxShow(Activity *a) {
  if (!a) return -1;
  ListBox *box = boxOf(a);
  text_sound_insert(box->lines[static_cast<size_t>(box->current)].c_str());
  return 0;
}

// Closes the box, then hands index to the opener (which may stack a screen
// of its own); the screen on top speaks again unless the key travels on.
void finish(ListBox *box, int index, bool reshow) {
  const auto callback = box->callback;
  void *const arg = box->arg;
  ActivityRemove(&box->head);
  delete box;
  if (callback && arg) callback(arg, index);
  if (reshow) ActivityReshow(GetCurrentActivity());
}

int ListBoxKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  ListBox *box = boxOf(a);
  const int code = key->code;
  if (code == VKEY_OK || code == VKEY_BACK || code == VKEY_POWEROFF) {
    // OK chooses, BACK cancels; power-off cancels and travels on.
    finish(box, code == VKEY_OK ? box->current : -1, code != VKEY_POWEROFF);
    return code == VKEY_POWEROFF ? 1 : 0;
  }
  if (code == VKEY_UP) box->current = std::max(box->current - 1, 0);
  else if (code == VKEY_DOWN) box->current = std::min(box->current + 1, static_cast<int>(box->lines.size()) - 1);
  else if (code != VKEY_ESC) return 1;
  ListBoxShow(a);
  return 0;
}

}  // namespace

Activity *ListBoxCreate(std::vector<std::string> lines, int current, void (*callback)(void *arg, int index),
                        void *arg) {
  if (lines.empty()) return nullptr;
  ListBox *box = ActivityNew<ListBox>("ListBox", ListBoxKey, ListBoxShow);
  if (!box) return nullptr;
  box->lines = std::move(lines);
  box->current = std::clamp(current, 0, static_cast<int>(box->lines.size()) - 1);
  box->callback = callback;
  box->arg = arg;
  if (ActivityAdd(&box->head) != 0) {
    delete box;
    return nullptr;
  }
  return &box->head;
}
