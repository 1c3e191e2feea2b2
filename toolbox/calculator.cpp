// The calculator: a pocket calculator worked with three rows of keys that
// LEFT/RIGHT turn through and UP/DOWN switch between: digits and the point,
// the operators and equals, delete and clear. OK presses the key under the
// cursor and speaks it; equals speaks the result. Operators act in the order
// they are pressed, as on a pocket calculator (1 + 2 x 3 = 9).
#include "toolbox/toolbox.h"

#include "core/runtime/globals.h"
#include "core/runtime/log.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

namespace {

constexpr char kLogSource[] = "toolbox/calculator.c";

struct CalcKey {
  const char *name[2];
  char symbol;  // digit, '.', operator, '=', 'D' delete, 'C' clear
};

const CalcKey kDigits[] = {{{"0", "0"}, '0'}, {{"1", "1"}, '1'}, {{"2", "2"}, '2'}, {{"3", "3"}, '3'},
                       {{"4", "4"}, '4'}, {{"5", "5"}, '5'}, {{"6", "6"}, '6'}, {{"7", "7"}, '7'},
                       {{"8", "8"}, '8'}, {{"9", "9"}, '9'}, {{"点", "point"}, '.'}};
const CalcKey kOperators[] = {{{"加", "plus"}, '+'},
                          {{"减", "minus"}, '-'},
                          {{"乘", "times"}, '*'},
                          {{"除以", "divided by"}, '/'},
                          {{"等于", "equals"}, '='}};
const CalcKey kEdits[] = {{{"删除", "delete"}, 'D'}, {{"清除", "clear"}, 'C'}};

struct Row {
  const CalcKey *keys;
  int count;
};
const Row kRows[] = {{kDigits, 11}, {kOperators, 5}, {kEdits, 2}};
constexpr int kRowCount = 3;
constexpr size_t kMaxDigits = 15;

ToolTexts kTitle = {"计算器", "Calculator"}, kEmpty = {"已清除", "Cleared"}, kMinus = {"负", "minus "};
ToolTexts kDivZero = {"除数不能为零", "Cannot divide by zero"}, kTooBig = {"数字太大", "Number too large"};

const char *keyName(const CalcKey &k) { return ToolText(k.name); }

std::string number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", std::fabs(v));
  return (v < 0 ? std::string(ToolText(kMinus)) : std::string()) + buf;
}

struct Calculator : ToolScreen {
  int row = 0;
  int pos[kRowCount] = {};
  std::string entry;  // the number being typed
  double acc = 0;     // the result so far
  char op = 0;        // the operator waiting for its second number

  const CalcKey &current() const { return kRows[row].keys[pos[row]]; }

  int Show() override {
    char text[128];
    std::snprintf(text, sizeof text, "%s, %s", ToolText(kTitle), keyName(current()));
    return ToolSay(text);
  }

  void reset() {
    entry.clear();
    acc = 0;
    op = 0;
  }

  // Applies the waiting operator to the typed number. false: division by
  // zero or a result beyond numbers (everything is cleared, the user told).
  bool apply() {
    if (entry.empty() || entry == ".") return true;
    double v = std::strtod(entry.c_str(), nullptr);
    entry.clear();
    switch (op) {
      case '+': acc += v; break;
      case '-': acc -= v; break;
      case '*': acc *= v; break;
      case '/':
        if (v == 0) {
          reset();
          ToolSay(ToolText(kDivZero));
          return false;
        }
        acc /= v;
        break;
      default: acc = v; break;
    }
    if (!std::isfinite(acc) || std::fabs(acc) >= 1e15) {
      reset();
      ToolSay(ToolText(kTooBig));
      return false;
    }
    return true;
  }

  int press(const CalcKey &k) {
    char text[128];
    switch (k.symbol) {
      case 'D':
        if (!entry.empty()) entry.pop_back();
        std::snprintf(text, sizeof text, "%s, %s", keyName(k), entry.empty() ? "0" : entry.c_str());
        return ToolSay(text);
      case 'C':
        reset();
        return ToolSay(ToolText(kEmpty));
      case '=':
        if (!apply()) return 0;
        op = 0;
        std::snprintf(text, sizeof text, "%s %s", keyName(k), number(acc).c_str());
        if (CfgDebugCalcul) LOGI("result %s\n", text);
        return ToolSay(text);
      case '+':
      case '-':
      case '*':
      case '/':
        if (!apply()) return 0;
        op = k.symbol;
        return ToolSay(keyName(k));
      default:
        if (entry.size() >= kMaxDigits || (k.symbol == '.' && entry.find('.') != std::string::npos))
          return ToolSay(entry.c_str());
        if (op == 0 && entry.empty()) acc = 0;  // a new number after a result starts afresh
        entry += k.symbol;
        return ToolSay(keyName(k));
    }
  }

  // ESC: the calculation so far.
  int report() {
    std::string text = op || entry.empty() ? number(acc) : std::string();
    if (op) text += std::string(" ") + keyName(kOperators[op == '+' ? 0 : op == '-' ? 1 : op == '*' ? 2 : 3]);
    if (!entry.empty()) text += " " + entry;
    return ToolSay(text.c_str());
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_LEFT:
        pos[row] = (pos[row] + kRows[row].count - 1) % kRows[row].count;
        return ToolSay(keyName(current()));
      case VKEY_RIGHT:
        pos[row] = (pos[row] + 1) % kRows[row].count;
        return ToolSay(keyName(current()));
      case VKEY_UP:
        row = (row + kRowCount - 1) % kRowCount;
        return ToolSay(keyName(current()));
      case VKEY_DOWN:
        row = (row + 1) % kRowCount;
        return ToolSay(keyName(current()));
      case VKEY_OK:
        return press(current());
      case VKEY_ESC:
        return report();
      default:
        return 1;
    }
  }
};

}  // namespace

int CalculatorTool(void *, int, int) { return ToolOpen(new (std::nothrow) Calculator, "Calculator"); }
