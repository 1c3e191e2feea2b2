// The common screen record of the toolbox and the binding of its tools to
// the menu tree (see toolbox.h).
#include "toolbox/toolbox.h"

#include "core/runtime/globals.h"
#include "core/ui/menu.h"
#include "speech/text_sound.h"

namespace {

ToolScreen *screenOf(Activity *a) { return static_cast<ToolScreen *>(a->data); }

void closeScreen(Activity *a) {
  ToolScreen *s = screenOf(a);
  ActivityRemove(a);
  delete s;
}

int toolShow(Activity *a) { return a ? screenOf(a)->Show() : -1; }

// A hidden screen takes no keys until it is activated again.
int toolHide(Activity *a) { return a ? (a->active = 0) : -1; }

int toolKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  // A held OK would start and stop the timer or log treatments over and over.
  if (key->type == KEY_TYPE_REPEAT && key->code == VKEY_OK) return 0;
  switch (key->code) {
    case VKEY_BACK:
      closeScreen(a);
      ActivityReshow(GetCurrentActivity());
      return 0;
    // Keys the screens below act on: the tool gives way.
    case VKEY_POWEROFF:
    case VKEY_RECORD:
    case VKEY_MP3:
    case VKEY_FM:
    case VKEY_SDIN:
    case VKEY_SDOUT:
    case VKEY_USBDISKIN:
    case VKEY_USBDISKOUT:
    case VKEY_USBIN:
    case VKEY_USBOUT:
      closeScreen(a);
      return 1;
    default:
      return screenOf(a)->Key(key->code);
  }
}

}  // namespace

int ToolOpen(ToolScreen *screen, const char *name) {
  if (!screen) return -1;
  screen->head = {name, 0, toolKey, toolShow, toolHide, 0, screen};
  if (ActivityAdd(&screen->head) != 0) {
    delete screen;
    return -1;
  }
  ActivitySetActive(&screen->head, 1);
  return 0;
}

const char *ToolText(ToolTexts texts) { return texts[PromptLanguage()]; }

int ToolSay(const char *text) {
  text_sound_insert(text);
  return 0;
}

void ToolboxInit(void) {
  MenuBindFunc("CalendarTool", CalendarTool);
  MenuBindFunc("HuanLiTool", HuanLiTool);
  MenuBindFunc("CalculatorTool", CalculatorTool);
  MenuBindFunc("CalculTimeTool", CalculTimeTool);
  MenuBindFunc("AnMoTool", AnMoTool);
  MenuBindToolFunc("XianZeTool", XianZeTool);
  MenuBindToolFunc("XiaoHuaTool", XiaoHuaTool);
}
