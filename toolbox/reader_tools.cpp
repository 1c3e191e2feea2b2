// The two tools that read resource files (res_file.h): the joke reader and
// the quiz. Both walk the file's entries in index order and speak one record
// at a time; each owns its open file and frees it when it closes.
//
// Joke reader: DOWN/UP the next/previous joke, RIGHT/LEFT the first joke of
// the next/previous section, OK reads the joke again, ESC says where it is.
// Quiz: records of a question, its choices and the answer's field name (the
// last field); LEFT/RIGHT choose a choice, OK answers it (the verdict and
// the next question), UP/DOWN skip back or on, ESC speaks the score.
#include "toolbox/toolbox.h"

#include "core/runtime/log.h"
#include "speech/text_sound.h"
#include "toolbox/res_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr char kLogSource[] = "toolbox/xiaohua.c";

// Both readers.
ToolTexts kUnreadable = {"无法读取文件", "Cannot read the file"}, kNothing = {"没有内容", "Nothing to read"};
ToolTexts kWhere = {"%s, 第%d条, 共%d条", "%s, item %d of %d"};
// The quiz.
ToolTexts kCorrect = {"回答正确", "Correct"}, kWrong = {"回答错误, 正确答案是 %s", "Wrong, the answer is %s"};
ToolTexts kChoose = {"请用左右键选择答案", "Choose an answer with LEFT and RIGHT"};
ToolTexts kScore = {"答对%d题, 共答%d题", "%d correct out of %d answered"};

struct ResScreen : ToolScreen {
  ResCtrl ctrl;
  ResData data;
  int cur = 0;

  ResScreen() {
    InitResCtrl(&ctrl);
    InitResData(&data);
  }
  ~ResScreen() override {
    FreeResData(&data);
    DeInitSourceFile(&ctrl);
  }

  // Reads entry pos into data. false when it cannot be read (said aloud).
  bool load(int pos) {
    if (ctrl.index_num < 1) return ToolSay(ToolText(kNothing)), false;
    cur = (pos % ctrl.index_num + ctrl.index_num) % ctrl.index_num;
    if (ReadSourceFile(&ctrl.index[static_cast<size_t>(cur)], &ctrl, &data) != 0)
      return ToolSay(ToolText(kUnreadable)), false;
    return true;
  }

  // The spoken text of the loaded record (ResDataToUtfStr's which).
  std::string text(int which) const {
    char *t = nullptr;
    if (ResDataToUtfStr(&ctrl, &data, &t, which) != 0) return std::string();
    std::unique_ptr<char[]> owned(t);
    return t;
  }

  // The section holding entry pos, or -1.
  int section(int pos) const {
    for (int i = 0; i < ctrl.sect_num; i++)
      if (pos >= ctrl.sect[i].start && pos - ctrl.sect[i].start < ctrl.sect[i].num) return i;
    return -1;
  }

  int where() const {
    char name[256], buf[512];
    int s = section(cur);
    GbkToUtf8(s >= 0 ? ctrl.sect[s].name : "", name, sizeof name);
    std::snprintf(buf, sizeof buf, ToolText(kWhere), name, cur + 1, ctrl.index_num);
    return ToolSay(buf);
  }
};

struct Jokes : ResScreen {
  int Show() override { return load(cur) ? ToolSay(text(-1).c_str()) : 0; }

  // First entry of the section step sections away from the current one.
  int sectionStart(int step) const {
    if (ctrl.sect_num < 1) return cur + step;
    int s = section(cur);
    s = ((s < 0 ? 0 : s) + step + ctrl.sect_num) % ctrl.sect_num;
    return ctrl.sect[s].start;
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_DOWN: cur++; return Show();
      case VKEY_UP: cur--; return Show();
      case VKEY_RIGHT: cur = sectionStart(1); return Show();
      case VKEY_LEFT: cur = sectionStart(-1); return Show();
      case VKEY_OK: return Show();
      case VKEY_ESC: return where();
      default: return 1;
    }
  }
};

struct Quiz : ResScreen {
  int choice = -1;  // field of the chosen answer, -1 none yet
  int right = 0, answered = 0;

  int Show() override {
    choice = -1;
    return load(cur) ? ToolSay(text(-2).c_str()) : 0;
  }

  // The choices are the fields between the question and the answer.
  int moveChoice(int step) {
    int first = 1, last = ctrl.head_num - 2;
    if (last < first || data.field.empty()) return Show();
    for (int k = 0; k <= last - first; k++) {
      choice = choice < 0 ? (step > 0 ? first : last) : choice + step;
      if (choice > last) choice = first;
      if (choice < first) choice = last;
      if (*data.field[static_cast<size_t>(choice)]) break;
    }
    return ToolSay(text(choice).c_str());
  }

  int answer() {
    if (choice < 0) return ToolSay(ToolText(kChoose));
    char answerGbk[64], verdict[256];
    std::snprintf(answerGbk, sizeof answerGbk, "%s", data.field[static_cast<size_t>(ctrl.head_num - 1)]);
    answered++;
    if (std::strcmp(answerGbk, ctrl.head[static_cast<size_t>(choice)]) == 0) {
      right++;
      std::snprintf(verdict, sizeof verdict, "%s", ToolText(kCorrect));
    } else {
      char answer[128];
      GbkToUtf8(answerGbk, answer, sizeof answer);
      std::snprintf(verdict, sizeof verdict, ToolText(kWrong), answer);
    }
    // The verdict and the next question in one prompt: the keys stay free.
    cur++;
    choice = -1;
    std::string next = load(cur) ? text(-2) : std::string();
    return ToolSay((std::string(verdict) + ". " + next).c_str());
  }

  int score() {
    char buf[128];
    std::snprintf(buf, sizeof buf, ToolText(kScore), right, answered);
    return ToolSay(buf);
  }

  int Key(int code) override {
    switch (code) {
      case VKEY_DOWN: cur++; return Show();
      case VKEY_UP: cur--; return Show();
      case VKEY_RIGHT: return moveChoice(1);
      case VKEY_LEFT: return moveChoice(-1);
      case VKEY_OK: return answer();
      case VKEY_ESC: return score();
      default: return 1;
    }
  }
};

// Opens file into screen and shows it; an unreadable file is said aloud and
// the screen is not made.
int openReader(ResScreen *screen, const char *file, const char *name) {
  if (!screen) return -1;
  if (!file || InitSourceFile(file, &screen->ctrl) != 0) {
    delete screen;
    wait_text_sound_end(text_sound_insert(ToolText(kUnreadable)));
    return -1;
  }
  return ToolOpen(screen, name);
}

}  // namespace

int XiaoHuaTool(void *, const char *file) { return openReader(new (std::nothrow) Jokes, file, "XiaoHua"); }
int XianZeTool(void *, const char *file) { return openReader(new (std::nothrow) Quiz, file, "XianZe"); }
