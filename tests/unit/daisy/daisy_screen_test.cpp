// The dispatch layer and the DAISY screen over a temporary root: which
// control files are books, what the calls give without a book, the step
// table of text-only and audio books, the A-B repeat's order, the end of
// the book, and the history that keeps the place inside the clip.
//
// Where a position must not move a prompt holds the sound device: the
// screen's writes then wait and the decoder stays where the keys put it.
#include "audio/ffaudio.h"
#include "core/runtime/globals.h"
#include "core/library/bookmark.h"
#include "core/runtime/config.h"
#include "core/library/filebrowser.h"
#include "core/runtime/key.h"
#include "core/ui/menu.h"
#include "daisy/daisy.h"
#include "daisy/daisy_screen.h"
#include "daisy_test_util.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "support/keys.h"
#include "support/screen_fixture.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "support/wait.h"
#include "unit/sound/sound_fixture.h"
#include "unit/speech/speech_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(DaisyDispatch, TypeComesFromTheControlFilesName) {
  struct Case {
    const char *path;
    int type;
  } cases[] = {
      {"ncc.html", 1},           {"/mnt/emmc/daisy/b/ncc.html", 1}, {"/mnt/emmc/daisy/b/NCC.HTML", 1},
      {"c:\\book\\ncc.html", 1}, {"/mnt/emmc/b/Ncc.html", 0},       {"/mnt/emmc/b/myncc.html", 0},
      {"/b/ncc.html.bak", 0},    {"book.opf", 2},                    {"/mnt/x/BOOK.OPF", 2},
      {"/mnt/x/book.Opf", 0},    {"/mnt/x/opf", 0},                  {"", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(get_daisy_type_from_filename(c.path), c.type) << c.path;
  EXPECT_EQ(get_daisy_type_from_filename(nullptr), 0);
}

TEST(DaisyDispatch, WithoutABookEveryCallSaysSo) {
  daisy_close();
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  DaisyBookMarkInfo mark{};
  DaisySummary summary{};
  int a = 0, b = 0;
  const std::vector<std::pair<const char *, std::function<int()>>> calls = {
      {"start", [&] { return daisy_start(&item); }},
      {"continue", [&] { return daisy_continue(&item); }},
      {"next par", [&] { return daisy_play_next_par(&item); }},
      {"last page", [&] { return daisy_play_last_page(&item); }},
      {"next section", [&] { return daisy_play_next_section(&item); }},
      {"level", [&] { return daisy_play_next_level(2, &item); }},
      {"heading", [&] { return daisy_go_to_heading(1, &item); }},
      {"page", [&] { return daisy_go_to_page("1", &item); }},
      {"pages", [&] { return daisy_get_ttl_page(); }},
      {"sections", [&] { return daisy_get_ttl_section(); }},
      {"summary", [&] { return daisy_get_publication_summary(&summary); }},
      {"mark", [&] { return daisy_get_book_mark_info(&mark); }},
      {"go to mark", [&] { return daisy_go_to_book_mark(&mark, &item); }},
      {"text only", [&] { return daisy_check_is_text_only_file(); }},
      {"time jump", [&] { return daisy_time_jump(1000, &item, &text); }},
      {"time", [&] { return daisy_get_cur_time(); }},
      {"counts", [&] { return daisy_get_chn_eng_cnt(&a, &b); }},
  };
  for (const auto &c : calls) EXPECT_EQ(c.second(), -1) << c.first;
  EXPECT_EQ(daisy_get_page_label(0), nullptr);
  EXPECT_EQ(daisy_get_type(), DAISY_TYPE_NONE);
  // A name of neither kind is no book; a missing one fails in its navigator.
  EXPECT_EQ(daisy_open("/mnt/emmc/book.txt"), -102);
  EXPECT_LT(daisy_open("/mnt/emmc/missing/ncc.html"), 0);
  EXPECT_EQ(daisy_get_type(), DAISY_TYPE_NONE);
  char title[16] = "x";
  EXPECT_EQ(daisy_get_title("/mnt/emmc/Ncc.html", title, sizeof title), -102);
  EXPECT_STREQ(title, "");
}

TEST(DaisySteps, MaskFollowsTheBook) {
  struct Case {
    int levels, pages, text_only;
    std::vector<int> enabled;  // values of the enabled entries, in table order
  } cases[] = {
      {2, 0, 0, {0x2001, 0x2002, 0x4000, 0x101E, 0x103C, 0x112C}},
      {1, 3, 1, {0x2001, 0x3000, 0x4000}},
      {0, 0, 1, {0x4000}},
      {9, 1, 0, {0x2001, 0x2002, 0x2004, 0x2008, 0x2010, 0x2020, 0x3000, 0x4000, 0x101E, 0x103C, 0x112C}},
  };
  for (const Case &c : cases) {
    unsigned mask = DaisyStepMask(c.levels, c.pages, c.text_only);
    std::vector<int> enabled;
    for (int i = 0; i < kDaisySteps; i++)
      if (mask & (1u << i)) enabled.push_back(kDaisyStepTable[i].value);
    EXPECT_EQ(enabled, c.enabled) << c.levels << " levels, " << c.pages << " pages, text only " << c.text_only;
  }
}


// A small book in the root: two SMIL files, headings on both, one page;
// with audio its clips lie back to back in a.wav (6 s), else it is text.
class Screen : public ScreenTest {
 protected:
  void SetUp() override {
    StartScreens(nullptr);
    if (HasFatalFailure()) return;
    ASSERT_EQ(DaisyScreenInit(), 0);
    root_.write("/proc/mounts", "/dev/x /mnt/emmc vfat rw 0 0\n/dev/y /mnt/sdcard vfat rw 0 0\n"
                                "/dev/z /mnt/usb vfat rw 0 0\n");
    speechtest::InstallResource(root_);
  }
  void TearDown() override {
    release();
    if (screen_ && GetCurrentActivity() == screen_) key(VKEY_BACK);
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
    for (int k = 0; k < FILE_KINDS; k++) FileBrowserRegisterPlayer(k, nullptr);
    ScreenTest::TearDown();
  }

  // label: of the one page ("" no page); metas: extra NCC head elements.
  std::string book(bool audio, const std::string &dir = "/mnt/emmc/daisy/b", const std::string &label = "1",
                   const std::string &metas = "") {
    auto par = [&](const char *id, const char *text, int begin, int end) {
      return daisytest::Par{id, std::string("content.html#") + text, begin, audio ? end : -1, "a.wav"};
    };
    root_.write(dir + "/s1.smil", daisytest::smil({par("p1", "t1", 0, 1000), par("p2", "t2", 1000, 4000)}));
    root_.write(dir + "/s2.smil", daisytest::smil({par("p3", "t3", 4000, 5000), par("p4", "t4", 5000, 6000)}));
    root_.write(dir + "/content.html",
                daisytest::content({{"t1", "One"}, {"t2", "First words."}, {"t3", "Two"}, {"t4", "Last words."}}));
    if (audio) root_.write(dir + "/a.wav", daisytest::wav(6000));
    std::vector<daisytest::Item> items{{"h1", "title", "s1.smil#p1", "One"},
                                       {"span", "page-normal", "s1.smil#p2", label},
                                       {"h1", "", "s2.smil#p3", "Two"}};
    if (label.empty()) items.erase(items.begin() + 1);
    root_.write(dir + "/ncc.html", daisytest::ncc(items, "Small Book", metas));
    return dir + "/ncc.html";
  }

  Activity *open(const std::string &ncc, int smil = 0, int element = 0) {
    browser_ = FileBrowserCreate(ncc.c_str());
    if (!browser_) return nullptr;
    screen_ = DaisyCreate(browser_, smil, element);
    if (screen_) ActivitySetActive(screen_, 1);
    return screen_;
  }

  int key(int code) { return PressKey(code); }
  int set(const char *name, int value) {
    MenuSetFunc fn = MenuFindFunc(name);
    return fn ? fn(screen_->data, value, 0) : -100;
  }
  void hold() { held_ = sound_iopen(1, 16000, 1); }
  void release() {
    if (held_ > 0) sound_iclose(held_);
    held_ = 0;
  }
  // Hands the screen its end notices (and drops other posted keys) until
  // done() holds or nothing more is posted.
  bool deliverUntil(const std::function<bool()> &done) {
    for (int i = 0; i < 50 && !done(); i++) {
      if (!WaitFor([] {
            std::scoped_lock lock(gKeyBuffer->mutex);
            return gKeyBuffer->rd != gKeyBuffer->wr;
          }))
        break;
      if (done()) break;  // the notice is of what done() waited for
      KeyEvent e{};
      KeyBufferRead(gKeyBuffer, &e);
      if (e.code == VKEY_DAISYEND) key(e.code);
    }
    return done();
  }
  static bool clipStarted(size_t from, const std::string &clip) {
    std::vector<std::string> lines = clipLines();
    for (size_t i = from; i < lines.size(); i++)
      if (lines[i].rfind("daisy clip src=" + clip + " ", 0) == 0) return true;
    return false;
  }
  static std::vector<std::string> clipLines() {
    std::vector<std::string> out;
    std::ifstream in(BoardHostFile("sound.log"));
    std::string line;
    while (std::getline(in, line))
      if (line.find("daisy clip") != std::string::npos) out.push_back(line.substr(line.find("daisy clip")));
    return out;
  }

  Activity *browser_ = nullptr;
  Activity *screen_ = nullptr;
  int held_ = 0;
};

TEST_F(Screen, StepsOfATextOnlyAndOfAnAudioBook) {
  hold();
  struct Case {
    bool audio;
    std::vector<std::string> down;  // what DOWN says, from the page step on
  } cases[] = {
      {false, {"句子", "一级标题", "页"}},
      {true, {"句子", "30秒", "1分钟", "5分钟", "一级标题", "页"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.audio ? "audio" : "text only");
    MDaisyStep = 8;
    ASSERT_NE(open(book(c.audio)), nullptr);
    EXPECT_EQ(DaisyScreenStepMask(screen_), static_cast<int>(DaisyStepMask(1, 1, c.audio ? 0 : 1)));
    size_t said = TranscriptLines().size();
    for (size_t i = 0; i < c.down.size(); i++) key(VKEY_DOWN);
    EXPECT_EQ(TranscriptSince(said), c.down);
    key(VKEY_UP);
    EXPECT_EQ(TranscriptLines().back(), "一级标题");
    key(VKEY_BACK);
    screen_ = nullptr;
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  }
}

TEST_F(Screen, RepeatNeedsAFirst) {
  hold();
  ASSERT_NE(open(book(true)), nullptr);
  struct Step {
    int value, result, state;
  } steps[] = {{1, -1, 0}, {2, 0, 0}, {0, 0, 1}, {0, 0, 1}, {1, 0, 3}, {2, 0, 0}, {1, -1, 0}};
  for (const Step &s : steps) {
    EXPECT_EQ(set("DaisyMarkAddRepeat", s.value), s.result) << s.value;
    EXPECT_EQ(DaisyScreenRepeatState(screen_), s.state) << s.value;
  }
}

// The end of the book is said once; the screen then stays idle and moves
// have nowhere to go.
TEST_F(Screen, EndOfBookIsSaidOnceThenIdle) {
  hold();
  ASSERT_NE(open(book(true)), nullptr);
  size_t said = TranscriptLines().size();
  EXPECT_EQ(set("DaisyMenuJmpToEnd", 0), 0);
  EXPECT_EQ(TranscriptSince(said), std::vector<std::string>{"已到文件结尾"});
  EXPECT_EQ(DaisyScreenOutput(screen_), 0);
  for (int code : {VKEY_RIGHT, VKEY_DAISYEND, VKEY_OK, VKEY_RIGHT}) key(code);
  EXPECT_EQ(TranscriptSince(said), std::vector<std::string>{"已到文件结尾"});
  EXPECT_EQ(DaisyScreenOutput(screen_), 0);
}

// BACK keeps the place inside the clip in the history; the book opened at
// that history entry starts its clip there (and only at that entry).
TEST_F(Screen, HistoryKeepsThePlaceInsideTheClip) {
  hold();
  const std::string ncc = book(true);
  // As if the book had been left 1.5 s into p2 (1000-4000).
  ASSERT_GE(MarkAddItem(MARK_DAISY_HISTORY, ncc.c_str(), "Small Book", "0", "6", 1500, 1), 0);
  ASSERT_NE(open(ncc, 0, 6), nullptr);
  release();  // the clip line is written with the clip's first sample
  ASSERT_TRUE(WaitFor([] { return !clipLines().empty(); }));
  EXPECT_EQ(clipLines().front().rfind("daisy clip src=a.wav begin=2500 end=4000 ", 0), 0u) << clipLines().front();
  hold();
  key(VKEY_OK);  // pause where it is
  key(VKEY_BACK);
  screen_ = nullptr;
  const Mark *m = MarkArryGet(MARK_DAISY_HISTORY, MarkFind(MARK_DAISY_HISTORY, ncc.c_str(), "Small Book"));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->items[0].ncxref, "0");
  EXPECT_EQ(m->items[0].uri, "6");
  EXPECT_GE(m->items[0].timeoffset, 1500);
  EXPECT_LT(m->items[0].timeoffset, 3000);
  // Another position of the same book: the offset is not used.
  while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  release();
  const size_t before = clipLines().size();
  ASSERT_NE(open(ncc, 1, 3), nullptr);
  ASSERT_TRUE(WaitFor([&] { return clipLines().size() > before; }));
  EXPECT_EQ(clipLines()[before].rfind("daisy clip src=a.wav begin=4000 end=5000 ", 0), 0u) << clipLines()[before];
}

// A clip whose file is missing is named once and the book goes on: the
// next clips of that file are passed over silently, then a file that
// exists plays.
TEST_F(Screen, MissingAudioFileIsSaidOnceAndTheBookGoesOn) {
  const std::string dir = "/mnt/emmc/daisy/m";
  auto par = [](const char *id, const char *audio, int begin, int end) {
    return daisytest::Par{id, "", begin, end, audio};
  };
  root_.write(dir + "/s1.smil", daisytest::smil({par("p1", "gone.mp3", 0, 1000), par("p2", "gone.mp3", 1000, 2000),
                                                 par("p3", "b.wav", 0, 1000)}));
  root_.write(dir + "/b.wav", daisytest::wav(1000));
  root_.write(dir + "/ncc.html", daisytest::ncc({{"h1", "title", "s1.smil#p1", "M"}}, "M"));
  const size_t before = clipLines().size();
  size_t said = TranscriptLines().size();
  ASSERT_NE(open(dir + "/ncc.html"), nullptr);
  EXPECT_TRUE(deliverUntil([&] { return clipStarted(before, "b.wav begin=0 end=1000"); }));
  EXPECT_EQ(TranscriptSince(said), std::vector<std::string>{"无法打开文件"});
}

// A clip whose file is missing is named once; the text of its par is read
// in its place with the reading voice, and a clip with no text is passed
// over.
TEST_F(Screen, MissingAudioFileReadsTheTextInstead) {
  if (!speechtest::HaveEngineData()) GTEST_SKIP() << "no speech engine data";
  const std::string dir = "/mnt/emmc/daisy/t";
  root_.write(dir + "/s1.smil", daisytest::smil({{"p1", "content.html#t1", 0, 1000, "gone.mp3"},
                                                 {"p2", "content.html#t2", 1000, 2000, "gone.mp3"},
                                                 {"p3", "", 2000, 3000, "gone.mp3"},
                                                 {"p4", "content.html#t4", 0, 500, "b.wav"}}));
  root_.write(dir + "/content.html",
              daisytest::content({{"t1", "Read instead."}, {"t2", "Also read."}, {"t4", "Heard."}}));
  root_.write(dir + "/b.wav", daisytest::wav(500));
  root_.write(dir + "/ncc.html", daisytest::ncc({{"h1", "title", "s1.smil#p1", "T"}}, "T"));
  const size_t before = clipLines().size();
  const size_t said = TranscriptLines().size(), read = TranscriptLines("DAISY_TTS").size();
  ASSERT_NE(open(dir + "/ncc.html"), nullptr);
  EXPECT_TRUE(deliverUntil([&] { return clipStarted(before, "b.wav begin=0 end=500"); }));
  const std::vector<std::string> prompts = TranscriptSince(said);
  EXPECT_EQ(std::count(prompts.begin(), prompts.end(), "无法打开文件"), 1);
  EXPECT_EQ(TranscriptSince(read, "DAISY_TTS"), (std::vector<std::string>{"Read instead.", "Also read."}));
}

// A backward step that lands on a clip which can be neither played nor
// read goes on backwards past it instead of bouncing forwards again.
TEST_F(Screen, BackwardStepPassesOverWhatCannotPlay) {
  const std::string dir = "/mnt/emmc/daisy/k";
  root_.write(dir + "/s1.smil", daisytest::smil({{"p1", "", 0, 500, "b.wav"},
                                                 {"p2", "", 0, 1000, "gone.mp3"},
                                                 {"p3", "", 500, 1000, "b.wav"}}));
  root_.write(dir + "/b.wav", daisytest::wav(1000));
  root_.write(dir + "/ncc.html", daisytest::ncc({{"h1", "title", "s1.smil#p1", "K"}}, "K"));
  MDaisyStep = 9;  // sentence
  const size_t before = clipLines().size();
  ASSERT_NE(open(dir + "/ncc.html", 0, 5), nullptr);
  ASSERT_TRUE(WaitFor([&] { return clipStarted(before, "b.wav begin=500 end=1000"); }));
  const size_t back = clipLines().size();
  key(VKEY_LEFT);
  EXPECT_TRUE(deliverUntil([&] { return clipStarted(back, "b.wav begin=0 end=500"); }));
  EXPECT_FALSE(clipStarted(back, "b.wav begin=500 end=1000"));
}

// A bookmark names the page by the book's own label, and no page in a
// book without pages; the summary speaks the book's length as a duration.
TEST_F(Screen, BookmarkPageLabelAndSummaryLength) {
  hold();
  struct Case {
    const char *label;
    std::string mark;
  } cases[] = {{"7", "已增加书签1, 第7页"}, {"", "已增加书签1"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    MarkClean(MARK_DAISY_BOOKMARK);
    ASSERT_NE(open(book(true, "/mnt/emmc/daisy/b", c.label,
                        "<meta name=\"ncc:totalTime\" content=\"1:05:49.072\"/>"),
                   0, 4),
              nullptr);
    EXPECT_EQ(set("DaisyMarkAddItem", 0), 0);
    EXPECT_EQ(TranscriptLines().back(), c.mark);
    key(VKEY_ESC);
    EXPECT_NE(TranscriptLines().back().find("总时间, 1小时05分49秒, "), std::string::npos) << TranscriptLines().back();
    key(VKEY_BACK);
    screen_ = nullptr;
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  }
}

// Removing the medium the book lies on closes the screen (the key travels
// on and the book reopens later); removing another one changes nothing.
// Power-off always closes. Each close keeps the position in the history.
TEST_F(Screen, MediumRemovalAndPowerOff) {
  hold();
  struct Case {
    const char *dir;
    int code;
    int result;
    bool closes;
  } cases[] = {
      {"/mnt/sdcard/daisy/b", VKEY_SDOUT, 1, true},      {"/mnt/usb/b", VKEY_SDOUT, 0, false},
      {"/mnt/usb/b", VKEY_USBDISKOUT, 1, true},          {"/mnt/emmc/daisy/b", VKEY_USBDISKOUT, 0, false},
      {"/mnt/emmc/daisy/b", VKEY_POWEROFF, 1, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.dir) + " key " + std::to_string(c.code));
    ContinueLastFile = 0;
    MarkClean(MARK_DAISY_HISTORY);
    const std::string ncc = book(true, c.dir);
    ASSERT_NE(open(ncc), nullptr);
    EXPECT_EQ(key(c.code), c.result);
    EXPECT_EQ(GetCurrentActivity() == screen_, !c.closes);
    EXPECT_EQ(ContinueLastFile, c.closes ? 3 : 0);
    EXPECT_EQ(MarkArryTotal(MARK_DAISY_HISTORY), c.closes ? 1 : 0);
    if (!c.closes) key(VKEY_BACK);
    screen_ = nullptr;
    while (Activity *a = GetCurrentActivity()) ActivityRemove(a);
  }
  ContinueLastFile = 0;
}

}  // namespace
