// Settings as data: the "menu" block round trip, refusals while loading,
// the factory defaults file and the reset behind its confirmation, and the
// set functions that reach the speech voices.
#include "core/runtime/activity.h"
#include "core/runtime/globals.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "menu/mdata.h"
#include "speech/text_sound.h"
#include "support/temp_root.h"
#include "support/transcript.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct DocFree {
  void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// The first child node of the "menu" element in xml.
xmlNode *menuBlock(const Doc &doc) {
  for (xmlNode *n = xmlDocGetRootElement(doc.get())->children; n; n = n->next)
    if (n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(n->name), "menu") == 0)
      return n->children;
  return nullptr;
}

Doc parse(const std::string &xml) { return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "m.xml", nullptr, 0)); }

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    MenuResetState();
    std::strcpy(HardType, "q7");
    DeviceName = HardType;
    savedHardVer = HardVer;
    savedLevel = LogGetLevel();
    LogSetLevel(LOG_ERROR);  // refusals are logged as warnings, one per key
  }
  void TearDown() override {
    MenuResetState();
    HardVer = savedHardVer;
    LogSetLevel(savedLevel);
  }
  TempRoot root;
  int savedHardVer = 0;
  int savedLevel = 0;
};

TEST_F(Settings, SaveThenLoadKeepsEveryValue) {
  MToneSpeed = -7, MAudioSpeed = 40, MLanguageSetting = 1, MRecordFmt = 3, MDaisyStep = 12, MEpubFastMode = 1;
  MDReadPitch = -5;
  Doc doc(xmlNewDoc(BAD_CAST "1.0"));
  xmlNode *rootNode = xmlNewNode(nullptr, BAD_CAST "q7");
  xmlDocSetRootElement(doc.get(), rootNode);
  ASSERT_EQ(MenuSave(rootNode), 0);
  xmlChar *text = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc.get(), &text, &size);
  std::string xml(reinterpret_cast<char *>(text), static_cast<size_t>(size));
  xmlFree(text);
  // One element per setting, in the saved order.
  EXPECT_LT(xml.find("<MTimeFormat>0</MTimeFormat>"), xml.find("<MSelectBand>0</MSelectBand>"));
  EXPECT_NE(xml.find("<MAudioSpeed>40</MAudioSpeed>"), std::string::npos);

  MenuResetState();
  Doc again = parse(xml);
  ASSERT_EQ(MenuLoad(menuBlock(again)), 0);
  EXPECT_EQ(MToneSpeed, -7);
  EXPECT_EQ(MAudioSpeed, 40);
  EXPECT_EQ(MLanguageSetting, 1);
  EXPECT_EQ(MRecordFmt, 3);
  EXPECT_EQ(MDaisyStep, 12);
  EXPECT_EQ(MEpubFastMode, 1);
  EXPECT_EQ(MDReadPitch, -5);
  EXPECT_EQ(MenuSave(nullptr), -1);
  EXPECT_EQ(MenuLoad(nullptr), -1);
}

TEST_F(Settings, LoadRefusesKeyByKey) {
  struct Case {
    const char *xml;
    int *var;
    int expect;
  } cases[] = {
      {"<MSelectBand>1</MSelectBand>", &MSelectBand, 0},        // only 0 is accepted
      {"<MReadSpeed>-11</MReadSpeed>", &MReadSpeed, 0},         // below the range
      {"<MReadSpeed>20</MReadSpeed>", &MReadSpeed, 20},         // its top
      {"<MAudioSpeed>41</MAudioSpeed>", &MAudioSpeed, 10},      // one past the 41 speeds
      {"<MAutoShutDown>abc</MAutoShutDown>", &MAutoShutDown, 10},  // not a number
      {"<MAutoShutDown>3x</MAutoShutDown>", &MAutoShutDown, 10},
      {"<MAutoShutDown></MAutoShutDown>", &MAutoShutDown, 10},    // no text
      {"<MTonePitch>-5</MTonePitch>", &MTonePitch, -5},
      {"<Other>1</Other>", &MFastMode, 2},                        // missing: the built-in value stays
  };
  for (const Case &c : cases) {
    MenuResetState();
    Doc doc = parse(std::string("<q7><menu>") + c.xml + "</menu></q7>");
    ASSERT_EQ(MenuLoad(menuBlock(doc)), 0) << c.xml;
    EXPECT_EQ(*c.var, c.expect) << c.xml;
  }
}

TEST_F(Settings, DefaultsFileLoadsAndSetsThePromptVoice) {
  root.write("/home/q7def.xml",
             "<?xml version=\"1.0\"?>\n<q7><menu><MToneSpeed>4</MToneSpeed><MToneRole>3</MToneRole>"
             "<MToneEffect>2</MToneEffect><MTonePitch>-2</MTonePitch></menu></q7>\n");
  MAudioPlayMode = 3;  // absent from the file: kept
  ASSERT_EQ(LoadDefaultMenu(), 0);
  EXPECT_EQ(MToneSpeed, 4);
  EXPECT_EQ(MToneRole, 3);
  EXPECT_EQ(MAudioPlayMode, 3);
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_SPEED), 4);
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_ROLE), 56);   // voice 3: (56, 56)
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_ROLE2), 56);
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_EFFECT), 6);  // row 2 maps to effect 6
  EXPECT_EQ(TextSoundGetParam(TTS_PARAM_PITCH), -2 * 6400);

  // Another device's file loads nothing but still applies the voice.
  root.write("/home/q7def.xml", "<q8><menu><MToneSpeed>9</MToneSpeed></menu></q8>");
  EXPECT_EQ(LoadDefaultMenu(), 0);
  EXPECT_EQ(MToneSpeed, 4);
  root.write("/home/q7def.xml", "<q7><menu><MToneSpeed>");
  EXPECT_EQ(LoadDefaultMenu(), -1);
  EXPECT_EQ(MToneSpeed, 4);
}

// The factory reset runs inside a key callback: it blocks in its
// confirmation box while a second distributor feeds the box.
class FactoryReset : public Settings {
 protected:
  void SetUp() override {
    Settings::SetUp();
    gKeyBuffer = KeyBufferInit(32);
    bottom = {"Bottom", 1, nullptr, nullptr, nullptr, 0, nullptr};
    ActivityAdd(&bottom);
  }
  void TearDown() override {
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    KeyBufferDeInit(gKeyBuffer);
    gKeyBuffer = nullptr;
    Settings::TearDown();
  }
  // Runs the reset as the key thread would and answers with key.
  std::vector<std::string> reset(int key) {
    size_t before = TranscriptLines().size();
    std::thread keyThread([] { DefaultSettingFunc(nullptr, 0, 0); });
    while (ActivityGetNumb() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SendVKey(key);
    keyThread.join();
    EXPECT_EQ(ActivityGetNumb(), 1);
    return TranscriptSince(before);
  }
  Activity bottom;
};

TEST_F(FactoryReset, OkLoadsTheDefaultsAndSaysSo) {
  root.write("/home/q7def.xml", "<q7><menu><MAudioPlayMode>2</MAudioPlayMode></menu></q7>");
  HardVer = 32;
  std::vector<std::string> said = reset(VKEY_OK);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.front().rfind("警告：恢复出厂设置", 0), 0u);
  EXPECT_EQ(said.back(), "设置已完成");
  EXPECT_EQ(MAudioPlayMode, 2);
  EXPECT_EQ(MRecordVolume, 19);  // the v2.0 board's own value
}

TEST_F(FactoryReset, ExitKeyLeavesTheSettings) {
  root.write("/home/q7def.xml", "<q7><menu><MAudioPlayMode>2</MAudioPlayMode></menu></q7>");
  MLanguageSetting = 1;
  std::vector<std::string> said = reset(VKEY_BACK);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), "Cancelled");
  EXPECT_EQ(MAudioPlayMode, 0);
}

TEST_F(FactoryReset, MissingDefaultsFileStillSaysDone) {
  MToneSpeed = 3;
  std::vector<std::string> said = reset(VKEY_OK);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(), "设置已完成");
  EXPECT_EQ(MToneSpeed, 3);
}

TEST_F(Settings, SystemActionsRunTheirCommands) {
  CancelTestFunc(nullptr, 0, 0);
  CancelTestFunc(nullptr, 1, 0);
  DefaultSheetFunc(nullptr, 0, 0);
  std::string log = root.read("/host/commands.txt");
  EXPECT_EQ(log, "echo clean >  /home/clean_config\ncp /home/manual/*  /mnt/emmc\n");
}

TEST_F(Settings, TimeFormatMapsTheRowToTheClock) {
  EXPECT_EQ(GetTimeFormat(), 1);  // row 0: 24 hours
  MTimeFormat = 1;
  EXPECT_EQ(GetTimeFormat(), 0);
}

// The book's own voice changes only on commit, through its screen's setter.
int g_bookId = -1, g_bookValue = -1;
int bookSetParam(void *, int id, int value) {
  g_bookId = id;
  g_bookValue = value;
  return 0;
}

// (A preview goes to the prompt voice, never the book:
// MenuEngine.PreviewSpeaksInTheBrowsedVoiceAndBackKeepsTheBook.)
TEST_F(Settings, SpeechFamiliesCommitWhereTheyBelong) {
  MenuBindParamFunc("EbookSetParam", bookSetParam);
  g_bookId = g_bookValue = -1;
  // Commit: the open book.
  ASSERT_EQ(readspeedfunc(nullptr, 7, 0), 0);
  EXPECT_EQ(g_bookId, TTS_PARAM_SPEED);
  EXPECT_EQ(g_bookValue, 7);
  // The system e-book settings wait for the next book.
  g_bookId = -1;
  EXPECT_EQ(sreadspeedfunc(nullptr, 5, 0), 0);
  EXPECT_EQ(g_bookId, -1);
  // A voice pair is set second number first.
  size_t before = TranscriptLines("param").size();
  tonerolefunc(nullptr, 7, 0);
  EXPECT_EQ(TranscriptSince(before, "param"), (std::vector<std::string>{"12=17", "11=54"}));
  MenuBindParamFunc("EbookSetParam", nullptr);
}

}  // namespace
