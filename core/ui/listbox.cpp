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

// Hands index to the opener and closes the box; the screen below speaks
// again unless the key travels on.
void finish(ListBox *box, int index, bool reshow) {
  if (box->callback && box->arg) box->callback(box->arg, index);
  ActivityRemove(&box->head);
  delete box;
  if (reshow) ActivityReshow(GetCurrentActivity());
}

int ListBoxKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  ListBox *box = boxOf(a);
  const int last = static_cast<int>(box->lines.size()) - 1;
  switch (key->code) {
    case VKEY_UP:
      box->current = std::max(box->current - 1, 0);
      break;
    case VKEY_DOWN:
      box->current = std::min(box->current + 1, last);
      break;
    case VKEY_ESC:
      break;
    case VKEY_OK:
      finish(box, box->current, true);
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

int ListBoxCurrent(Activity *a) {
  if (!a || a->key != ListBoxKey) return -1;
  return boxOf(a)->current;
}
