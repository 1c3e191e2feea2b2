// The settings as data: loading and saving them in the "menu" block of the
// configuration file, the factory reset from the device's defaults file,
// and the set functions that apply the speech settings.
//
// XML access: the few tree reads the settings need are done here directly
// on libxml2 (xmlReadFile, element walk, xmlNodeGetContent), in the shape of
// the configuration store's helpers.
#include "menu/mdata.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/ui/dialog.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "speech/text_sound.h"
#include "speech/tts.h"

#include <libxml/parser.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr char kLogSource[] = "menu/mdata.c";

struct Setting {
  const char *key;
  int *var;
  int minimum, maximum, builtin;
};

// Every saved setting, in the order of the "menu" block.
const Setting kSettings[] = {
    {"MTimeFormat", &MTimeFormat, 0, 1, 0},
    {"MTimeAnnounce", &MTimeAnnounce, 0, 3, 0},
    {"MAutoShutDown", &MAutoShutDown, 0, 16, 10},
    {"MLanguageSetting", &MLanguageSetting, 0, 1, 0},
    {"MReadSpeed", &MReadSpeed, -10, 20, 0},
    {"MReadRole", &MReadRole, 0, 7, 0},
    {"MReadEffect", &MReadEffect, 0, 3, 0},
    {"MReadPitch", &MReadPitch, -5, 5, 0},
    {"MFastMode", &MFastMode, 0, 6, 2},
    {"MEpubFastMode", &MEpubFastMode, 0, 1, 0},
    {"MAutoNext", &MAutoNext, 0, 1, 0},
    {"MAutoReport", &MAutoReport, 0, 1, 0},
    {"MToneSpeed", &MToneSpeed, -10, 20, 0},
    {"MToneRole", &MToneRole, 0, 7, 0},
    {"MToneEffect", &MToneEffect, 0, 3, 0},
    {"MTonePitch", &MTonePitch, -5, 5, 0},
    {"MDReadSpeed", &MDReadSpeed, -10, 20, 0},
    {"MDReadRole", &MDReadRole, 0, 7, 0},
    {"MDReadEffect", &MDReadEffect, 0, 3, 0},
    {"MDReadPitch", &MDReadPitch, -5, 5, 0},
    {"MDaisyStep", &MDaisyStep, 0, 12, 8},
    {"MAudioSpeed", &MAudioSpeed, 0, 40, 10},
    {"MAudioPitch", &MAudioPitch, -5, 5, 0},
    {"MAudioPlayMode", &MAudioPlayMode, 0, 3, 0},
    {"MAudioPlayScape", &MAudioPlayScape, 0, 4, 0},
    {"MAudioStep", &MAudioStep, 0, 7, 1},
    {"MAudioSelectStream", &MAudioSelectStream, 0, 4, 0},
    {"MRecordVolume", &MRecordVolume, 0, 25, 10},
    {"MRecordFmt", &MRecordFmt, 0, 3, 0},
    {"MRecordDir", &MRecordDir, 0, 2, 0},
    {"MRecordNoise", &MRecordNoise, 0, 1, 0},
    {"MExtInput", &MExtInput, 0, 1, 0},
    {"MSelectArea", &MSelectArea, 0, 0, 0},
    {"MStepMode", &MStepMode, 0, 1, 0},
    {"MSelectBand", &MSelectBand, 0, 0, 0},
};

struct XmlDocFree {
  void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
struct XmlCharFree {
  void operator()(xmlChar *s) const { xmlFree(s); }
};

bool named(const xmlNode *n, const char *name) {
  return n && n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(n->name), name) == 0;
}

const xmlNode *findElement(const xmlNode *first, const char *name) {
  for (const xmlNode *n = first; n; n = n->next)
    if (named(n, name)) return n;
  return nullptr;
}

// The decimal value of the first element called name among first and its
// following siblings. 0; -1 no such element; -2 no text; -3 not a number.
int getValue(const xmlNode *first, const char *name, int *value) {
  const xmlNode *e = findElement(first, name);
  if (!e) return -1;
  std::unique_ptr<xmlChar, XmlCharFree> text(xmlNodeGetContent(e));
  if (!text || !*text) return -2;
  const char *s = reinterpret_cast<const char *>(text.get());
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (end == s || *end || errno || v < -2147483647L - 1 || v > 2147483647L) return -3;
  *value = static_cast<int>(v);
  return 0;
}

// A setting's mapped value, for the set functions of the prompt voice.
int mappedOf(MenuItem *item) { return MenuItemGetValue(item); }


// Voice pairs: the second number first, as the engine wants it.
int setRole(int voice, int preview) {
  if (voice < 0 || voice > 7) return -1;
  const int *pair = RoleTable[PromptLanguage()][voice];
  return TextSoundSetParam(TTS_PARAM_ROLE2, pair[1], preview) | TextSoundSetParam(TTS_PARAM_ROLE, pair[0], preview);
}

int setParam(int id, int value, int preview) {
  if (id == TTS_PARAM_ROLE) return setRole(value, preview);
  if (id == TTS_PARAM_PITCH) value *= 6400;
  return TextSoundSetParam(id, value, preview);
}

// The e-book and DAISY screens apply a committed value to the open book.
int commitToBook(const char *setter, void *context, int id, int value) {
  MenuParamFunc fn = MenuFindParamFunc(setter);
  return fn ? fn(context, id, value) : 0;
}

int readFamily(const char *setter, void *context, int id, int value, int preview) {
  if (preview) return setParam(id, value, preview);
  return commitToBook(setter, context, id, value);
}

}  // namespace

int MenuLoad(xmlNode *first) {
  if (!first) return -1;
  for (const Setting &s : kSettings) {
    int v = 0;
    if (getValue(first, s.key, &v) != 0) {
      LOGW("%s: XxmlGetStr return error\n", s.key);
      continue;
    }
    if (v < s.minimum || v > s.maximum) {
      LOGW("%d out range!\n", v);
      continue;
    }
    *s.var = v;
  }
  return 0;
}

int MenuSave(xmlNode *parent) {
  if (!parent) return -1;
  xmlNode *menu = xmlNewChild(parent, nullptr, BAD_CAST "menu", nullptr);
  if (!menu) return -1;
  for (const Setting &s : kSettings) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", *s.var);
    xmlNewChild(menu, nullptr, BAD_CAST s.key, BAD_CAST text);
  }
  return 0;
}

int LoadDefaultMenu(void) {
  char path[256];
  std::snprintf(path, sizeof path, "%s/%sdef.xml", "/home", DeviceName ? DeviceName : "");
  std::unique_ptr<xmlDoc, XmlDocFree> doc(
      xmlReadFile(BoardPath(path).c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (!root) {
    LOGW("xml_file %s no root\n", path);
    return -1;
  }
  if (const xmlNode *device = findElement(root, DeviceName ? DeviceName : "")) {
    if (const xmlNode *menu = findElement(device->children, "menu")) MenuLoad(menu->children);
  }
  tonespeedfunc(nullptr, mappedOf(&ToneSpeed), 0);
  tonerolefunc(nullptr, mappedOf(&ToneRole), 0);
  toneeffectfunc(nullptr, mappedOf(&ToneEffect), 0);
  tonepitchfunc(nullptr, mappedOf(&TonePitch), 0);
  LanguageSettingFunc(nullptr, MLanguageSetting, 0);
  return 0;
}

int DefaultSettingFunc(void *context, int value, int preview) {
  static const char *const kWarning[2] = {
      "警告：恢复出厂设置将把您的设置恢复到出厂状态, 按OK键确认，按退出键取消",
      "Warning: Restoring factory settings will restore your settings to factory status, press OK key to "
      "confirm, press exit key to cancel"};
  static const char *const kDone[2] = {"设置已完成", "Setting done"};
  static const char *const kCancelled[2] = {"设置已取消", "Cancelled"};
  if (DialogBoxCreate(kWarning[PromptLanguage()]) == VKEY_OK) {
    // A missing defaults file leaves the settings as they are; the user
    // still hears that the reset is done.
    LoadDefaultMenu();
    if (HardVer == 32) MRecordVolume = 19;
    wait_text_sound_end(text_sound_insert(kDone[PromptLanguage()]));
  } else {
    wait_text_sound_end(text_sound_insert(kCancelled[PromptLanguage()]));
  }
  return 0;
}

int CancelTestFunc(void *context, int value, int preview) {
  if (value) BoardRunShell("echo clean >  /home/clean_config");
  return 0;
}

int DefaultSheetFunc(void *context, int value, int preview) {
  static const char *const kDone[2] = {"设置已完成", "Setting done"};
  static const char *const kFailed[2] = {"设置失败", "Setting error"};
  int r = BoardRunShell("cp /home/manual/*  /mnt/emmc");
  // The user hears whether the manual came back before the menu speaks again.
  wait_text_sound_end(text_sound_insert((r == 0 ? kDone : kFailed)[PromptLanguage()]));
  return 0;
}

// English prompts read a number on their own in English, Chinese ones in Chinese.
int LanguageSettingFunc(void *context, int value, int preview) {
  return preview ? 0 : TextSoundSetParam(TTS_PARAM_LANGUAGE, value == 1 ? 2 : 1, 0);
}

int tonespeedfunc(void *c, int v, int p) { return setParam(TTS_PARAM_SPEED, v, p); }
int tonerolefunc(void *c, int v, int p) { return setParam(TTS_PARAM_ROLE, v, p); }
int toneeffectfunc(void *c, int v, int p) { return setParam(TTS_PARAM_EFFECT, v, p); }
int tonepitchfunc(void *c, int v, int p) { return setParam(TTS_PARAM_PITCH, v, p); }

// The system e-book settings take effect when the next book opens.
int sreadspeedfunc(void *c, int v, int p) { return p ? setParam(TTS_PARAM_SPEED, v, p) : 0; }
int sreadrolefunc(void *c, int v, int p) { return p ? setParam(TTS_PARAM_ROLE, v, p) : 0; }
int sreadeffectfunc(void *c, int v, int p) { return p ? setParam(TTS_PARAM_EFFECT, v, p) : 0; }
int sreadpitchfunc(void *c, int v, int p) { return p ? setParam(TTS_PARAM_PITCH, v, p) : 0; }

int readspeedfunc(void *c, int v, int p) { return readFamily("EbookSetParam", c, TTS_PARAM_SPEED, v, p); }
int readrolefunc(void *c, int v, int p) { return readFamily("EbookSetParam", c, TTS_PARAM_ROLE, v, p); }
int readeffectfunc(void *c, int v, int p) { return readFamily("EbookSetParam", c, TTS_PARAM_EFFECT, v, p); }
int readpitchfunc(void *c, int v, int p) { return readFamily("EbookSetParam", c, TTS_PARAM_PITCH, v, p); }

int dreadspeedfunc(void *c, int v, int p) { return readFamily("DaisySetParam", c, TTS_PARAM_SPEED, v, p); }
int dreadrolefunc(void *c, int v, int p) { return readFamily("DaisySetParam", c, TTS_PARAM_ROLE, v, p); }
int dreadeffectfunc(void *c, int v, int p) { return readFamily("DaisySetParam", c, TTS_PARAM_EFFECT, v, p); }
int dreadpitchfunc(void *c, int v, int p) { return readFamily("DaisySetParam", c, TTS_PARAM_PITCH, v, p); }

void MenuResetState(void) {
  for (const Setting &s : kSettings) *s.var = s.builtin;
  MCancelTest = MDaisyABRepeat = MEbookABRepeat = MAudioABRepeat = MSleepTimer = 0;
  MDaisySkipPage = MDaisySkipNote = MDaisySkipSidebar = MDaisySkipProdnote = MEbookCharset = 0;
  MenuSetCardName(0);
  MenuNode *menus[] = {&SystemMenu,    &SystemFuncMenu, &SysToneMenu,    &FormatMenu,    &TimeMenu,
                       &RecordMenu,    &SEbookMenu,     &SAudioMenu,     &ToolBoxMenu,   &YiZhMenu,
                       &XiaoHuaMenu,   &TwoMenu,        &TextBookMenu,   &AudioMenu,     &DaisyMenu,
                       &ToneMenu,      &RadioMenu,      &DaisyMarkMenu,  &EbookMarkMenu, &AudioMarkMenu,
                       &DeleteMarkMenu, &VoiceRemindingMenu, &VoiceMemoMenu};
  for (MenuNode *m : menus) {
    m->current = 0;
    m->edit = 0;
    for (int i = 0; i < m->count; i++) {
      MenuEntry *e = m->children[i];
      if (!(e->flags & MENU_ITEM)) continue;
      MenuItem *it = static_cast<MenuItem *>(e);
      it->bitmask = ~uint64_t{0};
      it->visible = 1;
    }
  }
  for (MenuItem *hidden : {&CancelTest, &FormatSd, &FormatUsbdisk, &SelectArea, &SelectBand})
    hidden->visible = 0;
  is_menu = 0;
  MenuSetRoots(&SystemMenu, &TwoMenu);
}
