// toolbox/toolbox.h: the toolbox screens opened from the menu tree: the
// calendar converter, the almanac, the calculator, the count-up timer, the
// massage log, the quiz and the joke reader. Each is a heap screen on the
// activity stack that frees itself when it closes (BACK, or a global key it
// hands down: power off, record, music, radio, storage changes). Keys follow
// the other screens: UP/DOWN move, LEFT/RIGHT change, OK acts, ESC reports,
// BACK leaves. Everything runs on the key distribution thread.
#pragma once

#include "core/runtime/activity.h"

// Binds the tools to the names the menu tree gives them (CalendarTool,
// HuanLiTool, CalculatorTool, CalculTimeTool, AnMoTool, XianZeTool,
// XiaoHuaTool). Called once at start-up.
void ToolboxInit(void);

// Menu actions: open their screen and return 0, -1 when it cannot be made.
int CalendarTool(void *context, int value, int preview);
int HuanLiTool(void *context, int value, int preview);
int CalculatorTool(void *context, int value, int preview);
int CalculTimeTool(void *context, int value, int preview);
int AnMoTool(void *context, int value, int preview);
// On a resource file (res_file.h); a file that cannot be read is reported
// aloud and the menu stays.
int XianZeTool(void *context, const char *file);
int XiaoHuaTool(void *context, const char *file);

// The base of every toolbox screen: the record on the stack and the screen's
// own show and key handlers.
struct ToolScreen {
  Activity head{};
  virtual ~ToolScreen() = default;
  // Speaks the screen's current state.
  virtual int Show() = 0;
  // A key other than BACK and the global keys: 0 consumed, 1 not.
  virtual int Key(int code) = 0;
};

// Stacks screen (named name) and activates it, which speaks it. Takes
// ownership; returns 0, or -1 (screen freed) when the stack is full.
int ToolOpen(ToolScreen *screen, const char *name);

// The prompt text of a pair in the prompt language.
using ToolTexts = const char *const[2];
const char *ToolText(ToolTexts texts);
// Speaks text through the prompt queue. Returns 0.
int ToolSay(const char *text);
