// The e-book reader screen over a temporary root with the real reading
// voice: where each unit moves on small books, letter mode, A-B repeat,
// the end of a book, resuming from the history, the jumps, bookmarks and
// the position report, and books that cannot be opened. Books are short
// UTF-8 texts written here; sentence ends are delivered by hand.
#include "core/runtime/activity.h"
#include "support/files.h"
#include "core/runtime/globals.h"
#include "core/library/bookmark.h"
#include "core/runtime/config.h"
#include "core/runtime/key.h"
#include "core/runtime/machine.h"
#include "core/ui/menu.h"
#include "ebook/charset.h"
#include "ebook/ebook_lines.h"
#include "ebook/ebook_parser.h"
#include "ebook/ebook_count.h"
#include "ebook/ebook_reader.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "sound/sound_speed.h"
#include "speech/tts.h"
#include "support/keys.h"
#include "support/screen_fixture.h"
#include "support/temp_root.h"
#include "support/transcript.h"
#include "unit/speech/speech_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kHangMs = 20000;  // a guard against hangs, not a speed requirement
constexpr int kLast = 100000;   // "the last sentence of the page"

int bottomShow(Activity *) { return 0; }

class Reader : public ScreenTest {
 protected:
  void SetUp() override {
    if (!speechtest::HaveEngineData()) GTEST_SKIP() << "no espeak-ng data (set ESPEAK_DATA_PATH)";
    speechtest::InstallResource(root_);
    StartScreens("Bottom", bottomShow);
    if (HasFatalFailure()) return;
    ASSERT_EQ(register_iconv_cd(), 0);
    ASSERT_EQ(EbookReaderInit(), 0);
    MLanguageSetting = 1;
    MReadSpeed = 20;  // the fastest voice keeps the spoken sentences short
  }

  // "Sentence NNN here. " sentences until the book has `pages` pages.
  std::string bookWithPages(const std::string &fixed, int pages) {
    for (int n = pages * 18; n < pages * 40; n++) {
      std::string text;
      for (int i = 0; i < n; i++) text += "Sentence " + std::to_string(1000 + i) + " here. ";
      root_.write(fixed, text);
      ebook_parser p = ebook_parser_for_txt;
      if (p.open(&p, fixed.c_str()) != 0) break;
      int total = p.get_total_pages(&p);
      p.close(&p);
      if (total == pages) return fixed;
    }
    ADD_FAILURE() << "no book of " << pages << " pages";
    return fixed;
  }

  Activity *open(const std::string &fixed, int page = 0, int line = 0) {
    Activity *r = EbookCreateFile(nullptr, fixed.c_str(), page, line);
    if (r) ActivitySetActive(r, 1);
    return r;
  }

  int key(int code) { return PressKey(code); }

  // Waits for the reader to post EBOOKEND (other keys are dropped) and hands
  // it to the screen on top.
  bool deliverEnd(int ms = kHangMs) {
    if (!WaitPostedKey(VKEY_EBOOKEND, ms)) return false;
    key(VKEY_EBOOKEND);
    return true;
  }

  // Delivers sentence ends until the position moves (or the reader is
  // gone): a sentence end that a key made stale moves nothing.
  bool advance(Activity *r) {
    const EbookReaderInfo was = info(r);
    for (int i = 0; i < 8; i++) {
      if (!deliverEnd()) return false;
      if (gone()) return true;
      const EbookReaderInfo now = info(r);
      if (now.cur_page != was.cur_page || now.cur_line != was.cur_line || now.path != was.path) return true;
    }
    return false;
  }

  // Sets the unit by its value (4 sentence ... 0 10 %, 5, 6).
  static void setUnit(int value) {
    for (int row = 0; row < 7; row++) {
      ItemSetValue(&FastMode, row);
      if (MenuItemGetValue(&FastMode) == value) return;
    }
  }

  static EbookReaderInfo info(Activity *r) {
    EbookReaderInfo i;
    EbookReaderGetInfo(r, &i);
    return i;
  }

  int call(Activity *r, const char *name, int value) {
    MenuSetFunc fn = MenuFindFunc(name);
    return fn ? fn(r->data, value, 0) : -100;
  }

  static const MarkItem *mark(int type, const std::string &fixed) {
    const std::string name = fixed.substr(fixed.rfind('/') + 1);
    const Mark *m = MarkArryGet(type, MarkFind(type, fixed.c_str(), name.c_str()));
    return m ? &m->items[0] : nullptr;
  }

  bool gone() const { return GetCurrentActivity() == &bottom_; }

};

TEST_F(Reader, EachUnitMovesWhereItShould) {
  const std::string book = bookWithPages("/mnt/emmc/five.txt", 5);
  struct Case {
    int unit, page, line, code, expectPage, expectLine;
  } cases[] = {
      {0, 0, 3, VKEY_RIGHT, 1, 0},  // 10 % of a 5-page book is one page
      {0, 2, 0, VKEY_LEFT, 1, 0},
      {0, 0, 2, VKEY_LEFT, 0, 0},   // not before the first page
      {1, 3, 0, VKEY_RIGHT, 4, 0},  // 1 % likewise
      {2, 1, 5, VKEY_RIGHT, 2, 0},
      {2, 3, 5, VKEY_LEFT, 2, 0},
      {2, 4, 1, VKEY_RIGHT, 4, 2},  // on the last page: the next sentence
      {4, 1, 2, VKEY_RIGHT, 1, 3},
      {4, 1, kLast, VKEY_RIGHT, 2, 0},
      {4, 2, 0, VKEY_LEFT, 1, kLast},
      {4, 0, 0, VKEY_LEFT, 0, 0},   // the start of the book
      {5, 1, 0, VKEY_LEFT, 0, kLast},
  };
  for (const Case &c : cases) {
    setUnit(c.unit);
    Activity *r = open(book, c.page, c.line);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(key(c.code), 0);
    EbookReaderInfo i = info(r);
    const int line = c.expectLine == kLast ? i.line_count - 1 : c.expectLine;
    EXPECT_EQ(i.cur_page, c.expectPage) << "unit " << c.unit << " from " << c.page << "/" << c.line;
    EXPECT_EQ(i.cur_line, line) << "unit " << c.unit << " from " << c.page << "/" << c.line;
    EXPECT_EQ(i.mode, c.unit == 5 ? 5 : 0);
    key(VKEY_BACK);
    ASSERT_TRUE(gone());
  }
}

TEST_F(Reader, TenPercentOfALongerBookIsATenthOfItsPages) {
  const std::string book = bookWithPages("/mnt/emmc/long.txt", 30);
  setUnit(0);
  Activity *r = open(book, 10);
  ASSERT_NE(r, nullptr);
  key(VKEY_RIGHT);
  EXPECT_EQ(info(r).cur_page, 13);
  key(VKEY_LEFT);
  key(VKEY_LEFT);
  EXPECT_EQ(info(r).cur_page, 7);
  key(VKEY_BACK);
  // Above 100 pages 1 % is a hundredth of them.
  std::string text;
  for (int i = 0; i < 200 * 25; i++) text += "Sentence " + std::to_string(10000 + i) + " here. ";
  root_.write("/mnt/emmc/longer.txt", text);
  setUnit(1);
  r = open("/mnt/emmc/longer.txt", 5);
  ASSERT_NE(r, nullptr);
  const int total = info(r).total_pages;
  ASSERT_GE(total, 200);  // a step of two pages at least
  key(VKEY_RIGHT);
  EXPECT_EQ(info(r).cur_page, 5 + total / 100);
}

TEST_F(Reader, ParagraphsForwardAndBack) {
  root_.write("/mnt/emmc/para.txt", "P1a. P1b.\nP2a. P2b.\nP3a. P3b.\n");
  setUnit(3);
  Activity *r = open("/mnt/emmc/para.txt");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(info(r).line_count, 6);
  struct Step {
    int code, line;
  } steps[] = {{VKEY_RIGHT, 2}, {VKEY_RIGHT, 4}, {VKEY_LEFT, 2}, {VKEY_LEFT, 0}, {VKEY_RIGHT, 2}};
  for (const Step &s : steps) {
    key(s.code);
    EXPECT_EQ(info(r).cur_line, s.line);
  }
  const size_t said = TranscriptLines().size();
  key(VKEY_LEFT);
  key(VKEY_LEFT);
  EXPECT_EQ(info(r).cur_line, 0);
  EXPECT_EQ(TranscriptSince(said), std::vector<std::string>(2, "beginning of the book"));
}

TEST_F(Reader, LettersOneByOneWithWhiteSpaceRunsOnce) {
  root_.write("/mnt/emmc/abc.txt", "ab   c\n\n\nd.");
  setUnit(6);
  Activity *r = open("/mnt/emmc/abc.txt");
  ASSERT_NE(r, nullptr);
  const size_t said = TranscriptLines("ebook").size();
  struct Step {
    int code, offset;
  } steps[] = {{VKEY_RIGHT, 0}, {VKEY_RIGHT, 1}, {VKEY_RIGHT, 2}, {VKEY_RIGHT, 5}, {VKEY_RIGHT, 6},
               {VKEY_RIGHT, 9}, {VKEY_LEFT, 6},  {VKEY_LEFT, 5}};
  for (const Step &s : steps) {
    key(s.code);
    EbookReaderInfo i = info(r);
    EXPECT_EQ(i.mode, 6);
    EXPECT_EQ((i.cur_line == 0 ? 0 : 9) + i.cur_char, s.offset);
  }
  const std::vector<std::string> expect = {"a", "b", "空格", "c", "换行", "d", "换行", "c"};
  EXPECT_EQ(TranscriptSince(said, "ebook"), expect);
  key(VKEY_OK);  // back to reading on, from the sentence
  EXPECT_EQ(info(r).mode, 0);
  EXPECT_EQ(TranscriptLines("ebook").back(), "ab   c");
}

TEST_F(Reader, ABRepeatGoesBackToA) {
  root_.write("/mnt/emmc/ab.txt", "S0. S1. S2. S3. S4. S5.");
  setUnit(4);
  Activity *r = open("/mnt/emmc/ab.txt", 0, 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(call(r, "EbookMarkAddRepeat", 1), -1);  // B needs A
  ASSERT_EQ(call(r, "EbookMarkAddRepeat", 0), 0);
  key(VKEY_RIGHT);
  key(VKEY_RIGHT);
  ASSERT_EQ(info(r).cur_line, 3);
  ASSERT_EQ(call(r, "EbookMarkAddRepeat", 1), 0);
  EXPECT_EQ(info(r).ab_state, 3);
  ASSERT_TRUE(advance(r));  // posted with B: reading goes back to A
  EXPECT_EQ(info(r).cur_line, 1);
  ASSERT_TRUE(advance(r));  // S1 spoken
  EXPECT_EQ(info(r).cur_line, 2);
  ASSERT_TRUE(advance(r));  // S2 spoken: B reached
  EXPECT_EQ(info(r).cur_line, 1);
  ASSERT_EQ(call(r, "EbookMarkAddRepeat", 2), 0);
  ASSERT_TRUE(advance(r));
  ASSERT_TRUE(advance(r));
  EXPECT_EQ(info(r).cur_line, 3);
}

TEST_F(Reader, TheEndOfABookGoesOnWithTheNextAndKeepsPageZero) {
  ItemSetValue(&AutoPlayNextFile, 1);
  const std::string a = bookWithPages("/mnt/emmc/books/a.txt", 2);
  root_.write("/mnt/emmc/books/b.txt", "B0. B1. B2.");
  root_.write("/mnt/emmc/books/c.doc", "not a book yet");
  ASSERT_GE(MarkAddItem(MARK_EBOOK_HISTORY, "/mnt/emmc/books/b.txt", "b.txt", nullptr, nullptr, 1, 0), 1);
  Activity *r = open(a, 1, kLast);
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(advance(r));
  EbookReaderInfo i = info(r);
  EXPECT_EQ(i.path, "/mnt/emmc/books/b.txt");
  EXPECT_EQ(i.cur_line, 1);  // where b was left
  ASSERT_NE(mark(MARK_EBOOK_HISTORY, a), nullptr);
  EXPECT_EQ(mark(MARK_EBOOK_HISTORY, a)->charoffset, 0);
  EXPECT_EQ(mark(MARK_EBOOK_HISTORY, a)->timeoffset, 0);
  ASSERT_TRUE(advance(r));
  ASSERT_TRUE(advance(r));  // b ends; c cannot be opened; the list is done
  EXPECT_TRUE(gone());
  EXPECT_EQ(mark(MARK_EBOOK_HISTORY, "/mnt/emmc/books/b.txt")->charoffset, 0);
}

TEST_F(Reader, ResumesAtPageAndSentenceAndStoresThemOnLeaving) {
  const std::string book = bookWithPages("/mnt/emmc/five.txt", 5);
  struct Case {
    int page, line, expectPage, expectLine;
  } cases[] = {{2, 3, 2, 3}, {99, 4, 0, 0}, {-1, 2, 0, 0}, {1, kLast, 1, kLast}};
  for (const Case &c : cases) {
    Activity *r = open(book, c.page, c.line);
    ASSERT_NE(r, nullptr);
    EbookReaderInfo i = info(r);
    EXPECT_EQ(i.cur_page, c.expectPage);
    EXPECT_EQ(i.cur_line, c.expectLine == kLast ? i.line_count - 1 : c.expectLine);
    key(VKEY_BACK);
    ASSERT_TRUE(gone());
    const MarkItem *m = mark(MARK_EBOOK_HISTORY, book);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->charoffset, i.cur_page);
    EXPECT_EQ(m->timeoffset, i.cur_line);
  }
}

TEST_F(Reader, ReadingIntoTheNextPageMovesTheHistoryAlong) {
  const std::string book = bookWithPages("/mnt/emmc/two.txt", 2);
  Activity *r = open(book, 0, kLast);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(mark(MARK_EBOOK_HISTORY, book), nullptr);
  ASSERT_TRUE(advance(r));
  ASSERT_EQ(info(r).cur_page, 1);
  const MarkItem *m = mark(MARK_EBOOK_HISTORY, book);
  ASSERT_NE(m, nullptr);  // before the book is left
  EXPECT_EQ(m->charoffset, 1);
  EXPECT_EQ(m->timeoffset, 0);
}

TEST_F(Reader, AVoiceChangeSpeaksTheUnitAgainAndWaitsForTheMenu) {
  root_.write("/mnt/emmc/v.txt", "One. Two. Three.");
  setUnit(5);
  Activity *r = open("/mnt/emmc/v.txt");
  ASSERT_NE(r, nullptr);
  key(VKEY_RIGHT);  // sentence by sentence: "Two." once
  ASSERT_EQ(info(r).cur_line, 1);
  MenuParamFunc set = MenuFindParamFunc("EbookSetParam");
  ASSERT_NE(set, nullptr);
  const size_t said = TranscriptLines("ebook").size();
  EXPECT_EQ(set(r->data, TTS_PARAM_SPEED, 5), 0);
  EXPECT_EQ(set(r->data, TTS_PARAM_ROLE, 3), 0);
  EXPECT_EQ(set(r->data, TTS_PARAM_ROLE, 9), -1);
  EXPECT_EQ(TranscriptSince(said, "ebook"), std::vector<std::string>(2, "Two."));
  EXPECT_EQ(info(r).cur_line, 1);
}

TEST_F(Reader, JumpsCountPagesFromOne) {
  const std::string book = bookWithPages("/mnt/emmc/five.txt", 5);
  struct Case {
    const char *func;
    std::vector<int> keys;
    int expect;
  } cases[] = {
      {"EbookMenuJmpToPage", {VKEY_UP, VKEY_UP, VKEY_OK}, 3},    // "2" -> "4": the fourth page
      {"EbookMenuJmpToPage", {VKEY_DOWN, VKEY_OK}, 0},           // "1": the first
      {"EbookMenuJmpToPage", {VKEY_DOWN, VKEY_DOWN, VKEY_OK}, 0},  // "0": the first too
      {"EbookMenuJmpToPage", {VKEY_RIGHT, VKEY_OK}, 4},          // "20": the last
      {"EbookMenuJmpToPage", {VKEY_UP, VKEY_BACK}, 1},         // cancelled: stays
      {"EbookMenuJmpToPercent", {VKEY_UP, VKEY_UP, VKEY_UP, VKEY_UP, VKEY_UP, VKEY_RIGHT, VKEY_OK}, 2},
      {"EbookMenuJmpToPercent", {VKEY_DOWN, VKEY_RIGHT, VKEY_DOWN, VKEY_OK}, 4},  // 99 %
  };
  for (const Case &c : cases) {
    Activity *r = open(book, 1, 2);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(call(r, c.func, 0), 0);
    ASSERT_NE(GetCurrentActivity(), r);
    for (int k : c.keys) key(k);
    ASSERT_EQ(GetCurrentActivity(), r);
    EXPECT_EQ(info(r).cur_page, c.expect) << c.func << " " << c.keys.size();
    EXPECT_EQ(info(r).cur_line, c.expect == 1 ? 2 : 0);
    key(VKEY_BACK);
  }
}

TEST_F(Reader, BookmarksAndReportsSpeakPagesFromOne) {
  const std::string book = bookWithPages("/mnt/emmc/five.txt", 5);
  Activity *r = open(book, 2, 4);
  ASSERT_NE(r, nullptr);
  size_t said = TranscriptLines().size();
  ASSERT_EQ(call(r, "EbookMarkAddItem", 0), 0);
  ASSERT_EQ(call(r, "EbookMarkAddItem", 0), 0);
  const MarkItem *m = mark(MARK_EBOOK_BOOKMARK, book);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->charoffset, 2);
  EXPECT_EQ(m->timeoffset, 4);
  setUnit(2);
  key(VKEY_ESC);
  setUnit(4);
  // The whole-book count comes in after reading has started.
  ASSERT_TRUE(WaitOnScreenThread([] { return EbookCountReady() == 1; }));
  int estimated = -1;
  EXPECT_EQ(EbookPercentRead(r, &estimated), (StartLineOfPage[2] + 4) * 100 / StartLineOfPage[5]);
  EXPECT_EQ(estimated, 0);
  key(VKEY_ESC);
  EbookCountStop();  // as before the count is in: pages stand in for sentences
  EXPECT_EQ(EbookPercentRead(r, &estimated), 40);
  EXPECT_EQ(estimated, 1);
  key(VKEY_ESC);
  const int before = StartLineOfPage[2] + 4 + 1;
  // Then what is left: the percent read and the reading time at the voice's speed.
  const std::string left = ", 43 percent read, reading time left about 0:18";
  const std::vector<std::string> expect = {
      "add book mark1, page 3", "add book mark2, page 3", "five.txt, total 5 pages, current page 3" + left,
      "five.txt, total " + std::to_string(StartLineOfPage[5]) + " sentences, current sentence " +
          std::to_string(before) + left,
      "five.txt, sentences and paragraphs are still being counted, total 5 pages, current page 3" + left};
  EXPECT_EQ(TranscriptSince(said), expect);
}

TEST_F(Reader, OpeningCanSayWhereTheBookStands) {
  const std::string book = bookWithPages("/mnt/emmc/five.txt", 5);
  ItemSetValue(&AutoReportFileInfo, 1);
  const size_t said = TranscriptLines().size();
  Activity *r = open(book, 2, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(TranscriptSince(said), std::vector<std::string>{"five.txt, total 5 pages, current page 3"});
}

// A GBK book of rare characters looks like Big5 to the detection; read in
// GBK chosen by hand, its background count cuts the same sentences the
// reader does (in Big5 its full stops are no stops at all).
TEST_F(Reader, TheCountReadsABookInTheSetChosenByHand) {
  const std::string sentence = "\xb0\x40\xb0\x41\xc1\x50\xd2\x60\xa1\xa3";  // four characters and "。"
  std::string text;
  for (int i = 0; i < 300; i++) text += sentence;
  const std::string book = "/mnt/emmc/rare.txt";
  root_.write(book, text);
  ASSERT_EQ(get_charset(reinterpret_cast<const unsigned char *>(text.data()), static_cast<int>(text.size())),
            CHARSET_BIG5);
  MarkAddItem(MARK_EBOOK_HISTORY, book.c_str(), "rare.txt", nullptr, nullptr, 0, 0);
  ASSERT_EQ(MarkSetOptions(MARK_EBOOK_HISTORY, book.c_str(), "rare.txt", CHARSET_GBK), 0);
  Activity *r = open(book);
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(WaitOnScreenThread([] { return EbookCountReady() == 1; }));
  EXPECT_EQ(StartLineOfPage[info(r).total_pages], 300);
  EXPECT_EQ(info(r).line_count, StartLineOfPage[1]);
}

// Noise, broken UTF-16, pages of nothing but line breaks or blanks: every
// key and sentence end does what it can, and nothing breaks.
TEST_F(Reader, HostileBooksAreReadWithoutHarm) {
  std::string noise;
  uint32_t x = 12345;
  for (int i = 0; i < 3000; i++) noise.push_back(static_cast<char>((x = x * 1103515245 + 12345) >> 16));
  std::string utf16 = "\xff\xfe";
  for (int i = 0; i < 700; i++) utf16 += i % 7 ? std::string("a\0", 2) : std::string("\x00\xd8", 2);  // lone surrogates
  utf16 += "x";  // odd length
  const std::vector<std::pair<std::string, std::string>> books = {
      {"/mnt/emmc/h1/noise.txt", noise},  // a folder each: the last book closes the reader
      {"/mnt/emmc/h2/utf16.txt", utf16},
      {"/mnt/emmc/h3/breaks.txt", std::string(2000, '\n')},
      {"/mnt/emmc/h4/blanks.ebk", std::string(2000, ' ')},
  };
  for (const auto &b : books) root_.write(b.first, b.second);
  for (const auto &b : books) {
    SCOPED_TRACE(b.first);
    Activity *r = open(b.first);
    if (!r) continue;  // refused: the browser would say it cannot open it
    for (int unit : {4, 3, 6, 5, 0}) {
      setUnit(unit);
      for (int code : {VKEY_RIGHT, VKEY_RIGHT, VKEY_LEFT, VKEY_ESC, VKEY_OK}) {
        if (gone()) break;
        key(code);
      }
    }
    setUnit(4);
    for (int i = 0; i < 5000 && !gone(); i++) key(VKEY_RIGHT);  // to the end, where the reader closes
    EXPECT_TRUE(gone());
  }
}

// A PDF of one text line per page (Helvetica).
std::string onePdfLinePerPage(const std::vector<std::string> &pages) {
  const int n = static_cast<int>(pages.size()), font = 3 + 2 * n;
  std::vector<std::string> obj = {"<< /Type /Catalog /Pages 2 0 R >>"};
  std::string kids;
  for (int i = 0; i < n; i++) kids += std::to_string(3 + 2 * i) + " 0 R ";
  obj.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
  for (int i = 0; i < n; i++) {
    obj.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                  std::to_string(font) + " 0 R >> >> /Contents " + std::to_string(4 + 2 * i) + " 0 R >>");
    std::string content = "BT /F1 18 Tf 72 700 Td (" + pages[static_cast<size_t>(i)] + ") Tj ET";
    obj.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  obj.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  std::string pdf = "%PDF-1.4\n", xref;
  for (size_t i = 0; i < obj.size(); i++) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", pdf.size());
    xref += line;
    pdf += std::to_string(i + 1) + " 0 obj\n" + obj[i] + "\nendobj\n";
  }
  const size_t at = pdf.size();
  return pdf + "xref\n0 " + std::to_string(obj.size() + 1) + "\n0000000000 65535 f \n" + xref +
         "trailer\n<< /Size " + std::to_string(obj.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(at) + "\n%%EOF\n";
}

TEST_F(Reader, APdfIsReadPageByPageAndReportedInPages) {
  for (const char *tool : {"/home/pdfinfo", "/home/pdftotext"})
    std::filesystem::copy_file(SourcePath("/board/host/pdftools/pdfwrap.sh"), root_.at(tool),
                               std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(SourcePath("/data/xpdfrc"), root_.at("/home/xpdfrc"),
                             std::filesystem::copy_options::overwrite_existing);
  root_.write("/mnt/emmc/pdf/book.pdf", onePdfLinePerPage({"First page.", "Second page.", "Third page."}));
  setUnit(4);
  const size_t heard = TranscriptLines("ebook").size();
  Activity *r = open("/mnt/emmc/pdf/book.pdf");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(info(r).total_pages, 3);
  ASSERT_TRUE(advance(r));
  EXPECT_EQ(info(r).cur_page, 1);
  EXPECT_EQ(TranscriptSince(heard, "ebook").front(), "First page.");
  EXPECT_EQ(TranscriptLines("ebook").back(), "Second page.");
  const size_t said = TranscriptLines().size();
  key(VKEY_ESC);  // in pages whatever the unit: a PDF is not counted in sentences
  EXPECT_EQ(TranscriptSince(said),
            std::vector<std::string>{"book.pdf, total 3 pages, current page 2, 33 percent read, reading time left about 0:0"});
}

TEST_F(Reader, WhatCannotBeOpenedLeavesNothingOpen) {
  root_.write("/mnt/emmc/bad/empty.txt", "");
  root_.write("/mnt/emmc/bad/word.doc", "not a document");
  root_.write("/mnt/emmc/bad/notes", "no extension");
  for (const char *f : {"/mnt/emmc/bad/empty.txt", "/mnt/emmc/bad/word.doc", "/mnt/emmc/bad/notes",
                        "/mnt/emmc/bad/missing.txt", "/mnt/nowhere/x.txt", "relative.txt"}) {
    EXPECT_EQ(EbookCreateFile(nullptr, f, 0, 0), nullptr) << f;
    SoundHandle live{};
    SoundGetHandles(&live, nullptr);
    EXPECT_EQ(live.id, 0) << f;
  }
  EXPECT_EQ(ActivityGetNumb(), 1);
}

}  // namespace
