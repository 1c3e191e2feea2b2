// The voice memo screen: up to 100 short recordings made by holding the
// record key, listed in the index file "/home/tag/beiwang", played with OK,
// deleted and emptied from the memo menu after a confirmation. The index is
// rewritten crash-safe after every change, so that a power cut never leaves
// a recording without its line or a line without its recording.
//
// The screen and its record live on the key distribution thread only.
#include "record/record.h"

#include "board/board.h"
#include "core/clock/reminder.h"
#include "core/clock/tag_screen.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/xml.h"
#include "core/ui/dialog.h"
#include "core/ui/menu.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"

#include <cctype>
#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr char kLogSource[] = "toolbox/yuyinbeiwang.c";
constexpr size_t kIndexLimit = 16384;

enum {
  T_EMPTY, T_FULL, T_ADD_FAILED, T_ADDED, T_ASK_DELETE, T_DELETED, T_DELETE_CANCELLED, T_ASK_CLEAN, T_CLEANED,
  T_CLEAN_CANCELLED,
};
const char *const kTexts[][2] = {
    {"语音备忘录为空", "Voice memorandum is empty"},
    {"语音备忘录已满", "not space"},
    {"语音备忘录添加失败", "Add failure"},
    {"语音备忘录添加成功", "Add success"},
    {"是否删除语音备忘录", "Whether to delete the voice memo"},
    {"语音备忘录已删除", "deleted"},
    {"已取消删除", "Cancelled"},
    {"是否清空语音备忘录", "Whether a memorandum is deleted"},
    {"已清空语音备忘录", "Done"},
    {"已取消清空", "Cancelled"},
};

const char *tx(int t) { return kTexts[t][PromptLanguage()]; }
void say(int t) { text_sound_insert(tx(t)); }
void sayAndWait(int t) { wait_text_sound_end(text_sound_insert(tx(t))); }

struct VoiceMemo {
  Activity head;  // first: the stack holds &head
  std::vector<std::string> paths;
  int cursor = 0;
};

VoiceMemo *memoOf(Activity *a) { return static_cast<VoiceMemo *>(a->data); }

void saveIndex(const VoiceMemo *m) {
  std::string text = MemoFormatIndex(m->paths);
  if (SaveFileSafe(kMemoIndexFile, text.data(), text.size()) != 0 && CfgDebugRecord)
    LOGD("DeInitYuYinBeiWang: cannot open file to write\n");
}

int VoiceMemoShow(Activity *a) {
  if (!a) return -1;
  VoiceMemo *m = memoOf(a);
  if (m->paths.empty()) {
    say(T_EMPTY);
    return 0;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d", m->cursor);
  text_sound_insert(text);
  return 0;
}

void leave(Activity *a, bool reshow) {
  VoiceMemo *m = memoOf(a);
  saveIndex(m);
  ActivityRemove(a);
  delete m;
  if (reshow) ActivityReshow(GetCurrentActivity());
}

void record(VoiceMemo *m) {
  if (static_cast<int>(m->paths.size()) >= kMemoMax) {
    say(T_FULL);
    return;
  }
  std::string path = MicSoundRecord();
  if (path.empty()) {
    say(T_ADD_FAILED);
    return;
  }
  m->paths.push_back(path);
  m->cursor = static_cast<int>(m->paths.size()) - 1;
  saveIndex(m);
  say(T_ADDED);
}

int VoiceMemoKey(Activity *a, const KeyEvent *key) {
  if (!a || !key) return -1;
  int r = TagScreenKey(a, key, &VoiceMemoMenu, leave);
  if (r != -2) return r;
  VoiceMemo *m = memoOf(a);
  int n = static_cast<int>(m->paths.size());
  switch (key->code) {
    case VKEY_RECORD:
      if (key->type == 0) record(m);
      return 0;
    case VKEY_OK:
      if (!n) say(T_EMPTY);
      else if (AudioSoundInsert(m->paths[static_cast<size_t>(m->cursor)].c_str()) < 0) LOGW("memo cannot be played\n");
      return 0;
    case VKEY_UP:
    case VKEY_LEFT:
      if (n) m->cursor = (m->cursor + 1) % n;
      return VoiceMemoShow(a);
    case VKEY_DOWN:
    case VKEY_RIGHT:
      if (n) m->cursor = (m->cursor + n - 1) % n;
      return VoiceMemoShow(a);
    case VKEY_ESC:
      return VoiceMemoShow(a);
    default:
      return 1;
  }
}

// The memo screen behind a menu action's context; null for anything else.
VoiceMemo *memoFromContext(void *context) {
  auto *a = static_cast<Activity *>(context);
  return a && a->key == VoiceMemoKey ? memoOf(a) : nullptr;
}

int VoiceMemoFunc(void *, int, int preview) {
  if (preview) return 0;
  VoiceMemo *m = TagScreenNew<VoiceMemo>("VoiceMemo", VoiceMemoKey, VoiceMemoShow, TagScreenHide);
  if (!m) return -1;
  std::string text;
  if (ReadFileHead(kMemoIndexFile, kIndexLimit, &text) >= 0) m->paths = MemoParseIndex(text);
  ActivitySetActive(&m->head, 1);
  return 0;
}

int DelVoiceMemoFunc(void *context, int, int preview) {
  if (preview) return 0;
  VoiceMemo *m = memoFromContext(context);
  if (!m || m->paths.empty()) {
    sayAndWait(T_EMPTY);
    return 0;
  }
  if (DialogBoxCreate(tx(T_ASK_DELETE)) != VKEY_OK) {
    sayAndWait(T_DELETE_CANCELLED);
    return 0;
  }
  auto at = m->paths.begin() + m->cursor;
  RmdRemoveFile(*at);
  m->paths.erase(at);
  int n = static_cast<int>(m->paths.size());
  if (m->cursor >= n) m->cursor = n > 0 ? n - 1 : 0;
  saveIndex(m);
  sayAndWait(T_DELETED);
  return 0;
}

int CleanVoiceMemoFunc(void *context, int, int preview) {
  if (preview) return 0;
  VoiceMemo *m = memoFromContext(context);
  if (!m) {
    sayAndWait(T_EMPTY);
    return 0;
  }
  if (DialogBoxCreate(tx(T_ASK_CLEAN)) != VKEY_OK) {
    sayAndWait(T_CLEAN_CANCELLED);
    return 0;
  }
  for (const std::string &path : m->paths) RmdRemoveFile(path);
  m->paths.clear();
  m->cursor = 0;
  saveIndex(m);
  sayAndWait(T_CLEANED);
  return 0;
}

}  // namespace

std::vector<std::string> MemoParseIndex(std::string_view text) {
  std::vector<std::string> paths;
  TagIndexLines(text, [&paths](std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    if (line.empty() || paths.size() >= kMemoMax) return;
    std::string path(line);
    struct stat st;
    if (stat(BoardPath(path.c_str()).c_str(), &st) == 0 && S_ISREG(st.st_mode)) paths.push_back(std::move(path));
  });
  return paths;
}

std::string MemoFormatIndex(const std::vector<std::string> &paths) {
  std::string text;
  for (const std::string &p : paths) text += p + "\n";
  return text;
}

int VoiceMemoInit(void) {
  MenuBindFunc("VoiceMemoFunc", VoiceMemoFunc);
  MenuBindFunc("DelVoiceMemoFunc", DelVoiceMemoFunc);
  MenuBindFunc("CleanVoiceMemoFunc", CleanVoiceMemoFunc);
  return 0;
}
