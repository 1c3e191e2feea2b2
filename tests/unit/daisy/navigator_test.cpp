// The two navigators on small books made here, whose expected landings are
// worked out by hand from the files below.
//
// The book (both versions carry the same SMIL content):
//   s1.smil  p1 t1 a 0-1000 | p2 t2 a 1000-2000 | p3 t3 a 2000-3000
//   s2.smil  p4 t4 a 0-4000 | p5 t5 a 4000-8000 | p6 t6 a 8000-20000
//   s3.smil  p7 t7 (no audio: two chunks) | p8 t8 a 0-500 | p9 t9 a 500-1500
// Element indices in each SMIL: 0 seq, then par/text/audio per par (p7 has
// no audio, so s3 is 0 seq, 1 p7, 2 t7, 3 p8, 4 t8, 5 a, 6 p9, 7 t9, 8 a).
// Headings: h1 One -> s1#p1, h2 One.A -> s1#p3, h1 Two -> s2#p4,
//           h3 Two.A.i -> s2#p6, h1 Three -> s3#p7.
// Pages: "1" s1#p1, "2" s2#p4, "3" s2#p6, "iv" s3#p9.
// Time line: s1 0-3000, s2 3000-23000, s3 23000-24500.
#include "daisy/daisy202.h"
#include "daisy/daisy3.h"
#include "tools/daisywalk/daisy_report.h"

#include "daisy_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using daisyreport::Api;
using daisytest::Item;
using daisytest::Par;
using daisytest::TempDir;

const std::vector<std::vector<Par>> kSmils = {
    {{"p1", "content.html#t1", 0, 1000}, {"p2", "content.html#t2", 1000, 2000}, {"p3", "content.html#t3", 2000, 3000}},
    {{"p4", "content.html#t4", 0, 4000}, {"p5", "content.html#t5", 4000, 8000}, {"p6", "content.html#t6", 8000, 20000}},
    {{"p7", "content.html#t7"}, {"p8", "content.html#t8", 0, 500}, {"p9", "content.html#t9", 500, 1500}},
};

std::string contentFile(bool dtbook) {
  std::string c = dtbook ? "<?xml version=\"1.0\"?><dtbook><book>" : "<?xml version=\"1.0\"?><html><body>";
  for (int i = 1; i <= 9; i++) {
    std::string id = "t" + std::to_string(i);
    std::string text = i == 7 ? "Chunk A<br/>Chunk B" : "Sentence " + std::to_string(i);
    c += "<p id=\"" + id + "\">" + text + "</p>";
  }
  return c + (dtbook ? "</book></dtbook>" : "</body></html>");
}

void writeSmils(const TempDir &dir, bool daisy3, const std::string &textFile) {
  for (size_t i = 0; i < kSmils.size(); i++) {
    std::vector<Par> pars = kSmils[i];
    for (Par &p : pars) p.text.replace(0, p.text.find('#'), textFile);
    dir.write("s" + std::to_string(i + 1) + ".smil", daisytest::smil(pars, daisy3));
  }
}

// The DAISY 2.02 book; returns the path of its NCC.
std::string write202(const TempDir &dir, const std::vector<Item> &extra = {}) {
  writeSmils(dir, false, "content.html");
  dir.write("content.html", contentFile(false));
  std::vector<Item> items = {
      {"h1", "title", "s1.smil#p1", "One"}, {"span", "page-normal", "s1.smil#p1", "1"},
      {"h2", "", "s1.smil#p3", "One.A"},    {"span", "page-normal", "s2.smil#p4", "2"},
      {"h1", "", "s2.smil#p4", "Two"},      {"h3", "", "s2.smil#p6", "Two.A.i"},
      {"span", "page-normal", "s2.smil#p6", "3"}, {"h1", "", "s3.smil#p7", "Three"},
      {"span", "page-normal", "s3.smil#p9", "iv"}, {"span", "noteref", "s2.smil#p5", "n1"},
  };
  items.insert(items.end(), extra.begin(), extra.end());
  dir.write("ncc.html", daisytest::ncc(items, "The Book",
                                       "<meta name=\"dc:creator\" content=\"Author\"/>"
                                       "<meta name=\"ncc:totaltime\" content=\"0:00:24\"/>"
                                       "<meta name=\"ncc:format\" content=\"Daisy 2.02\"/>"));
  return dir.file("ncc.html");
}

// The DAISY 3 book; ncx "" leaves the NCX out of the package.
std::string write3(const TempDir &dir, const std::string &ncx) {
  writeSmils(dir, true, "book.xml");
  dir.write("book.xml", contentFile(true));
  std::string opf =
      "<?xml version=\"1.0\"?><package><metadata><dc-metadata xmlns:dc=\"x\"><dc:Title>Three Book</dc:Title>"
      "<dc:Creator>Author</dc:Creator></dc-metadata><x-metadata><meta name=\"dtb:totalTime\" content=\"0:00:24.5\"/>"
      "</x-metadata></metadata><manifest>";
  for (int i = 1; i <= 3; i++)
    opf += "<item id=\"smil" + std::to_string(i) + "\" href=\"s" + std::to_string(i) +
           ".smil\" media-type=\"application/smil\"/>";
  if (!ncx.empty()) {
    opf += "<item id=\"nav\" href=\"book.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
    dir.write("book.ncx", ncx);
  }
  opf += "</manifest><spine><itemref idref=\"smil1\"/><itemref idref=\"smil2\"/><itemref idref=\"nothing\"/>"
         "<itemref idref=\"smil3\"/></spine></package>";
  dir.write("book.opf", opf);
  return dir.file("book.opf");
}

std::string navPoint(const std::string &src, const std::string &inner = "") {
  return "<navPoint><navLabel><text>x</text></navLabel><content src=\"" + src + "\"/>" + inner + "</navPoint>";
}

// The NCX of the book: One(One.A), Two(Two.A(Two.A.i)), Three, and the pages
// in a page list, or in a navigation list of class PageNum.
std::string ncxFile(bool pageList) {
  std::string s = "<ncx><navMap>" + navPoint("s1.smil#p1", navPoint("s1.smil#p3")) +
                  navPoint("s2.smil#p4", navPoint("s2.smil#p5", navPoint("s2.smil#p6"))) + navPoint("s3.smil#p7") +
                  "</navMap>";
  std::string targets;
  const char *pages[][2] = {{"1", "s1.smil#p1"}, {"2", "s2.smil#p4"}, {"3", "s2.smil#p6"}, {"iv", "s3.smil#p9"}};
  const char *tag = pageList ? "pageTarget" : "navTarget";
  for (auto &p : pages)
    targets += std::string("<") + tag + "><navLabel><text>" + p[0] + "</text></navLabel><content src=\"" + p[1] +
               "\"/></" + tag + ">";
  if (pageList) s += "<pageList>" + targets + "</pageList>";
  else s += "<navList class=\"note\"><navTarget><content src=\"s2.smil#p5\"/></navTarget></navList>"
            "<navList class=\"PageNum\">" + targets + "</navList>";
  return s + "</ncx>";
}

// "S E kind" of the item, as the report writes it (without the text).
std::string at(const Api &api, const DaisyPlayItem *item) {
  std::string line = daisyreport::itemLine(api, item);
  size_t cut = line.find(' ', line.find(' ', line.find(' ') + 1) + 1);
  return cut == std::string::npos ? line : line.substr(0, cut);
}

class Navigator : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    daisy3_ = GetParam();
    api_ = daisy3_ ? &daisyreport::kDaisy3 : &daisyreport::kDaisy202;
    std::string path = daisy3_ ? write3(dir_, ncxFile(true)) : write202(dir_);
    ASSERT_EQ(api_->open(path.c_str()), 0);
  }
  void TearDown() override { api_->close(); }
  std::string move(int (*f)(DaisyPlayItem **)) {
    DaisyPlayItem *item = nullptr;
    int rc = f(&item);
    return rc == 0 ? at(*api_, item) : "error " + std::to_string(rc);
  }
  std::string moveLevel(int (*f)(int, DaisyPlayItem **), int level) {
    DaisyPlayItem *item = nullptr;
    int rc = f(level, &item);
    return rc == 0 ? at(*api_, item) : "error " + std::to_string(rc);
  }
  std::string gotoPage(const char *label) {
    DaisyPlayItem *item = nullptr;
    int rc = daisy3_ ? daisy3_goto_page(label, &item) : daisy202_goto_page(label, &item);
    return rc == 0 ? at(*api_, item) : "error " + std::to_string(rc);
  }
  int curPage() const { return daisy3_ ? daisy3_get_cur_page() : daisy202_get_cur_page(); }
  int curHeading() const { return daisy3_ ? daisy3_get_cur_nav_point() : daisy202_get_cur_level_item(); }
  int jump(int delta, DaisyPlayItem **item, const char **text) {
    return daisy3_ ? daisy3_time_jump(delta, item, text) : daisy202_time_jump(delta, item, text);
  }
  int curTime() const { return daisy3_ ? daisy3_get_cur_time() : daisy202_get_cur_time(); }
  int setAudioPos(int ms) { return daisy3_ ? daisy3_set_audio_pos(ms) : daisy202_set_audio_pos(ms); }

  TempDir dir_;
  bool daisy3_ = false;
  const Api *api_ = nullptr;
};

TEST_P(Navigator, CountsAndSummary) {
  EXPECT_EQ(api_->total_pages(), 4);
  EXPECT_EQ(api_->total_headings(), daisy3_ ? 6 : 5);
  EXPECT_EQ(api_->total_levels(), 3);
  EXPECT_STREQ(api_->page_label(3), "iv");
  EXPECT_EQ(api_->page_label(4), nullptr);
  DaisySummary s{};
  ASSERT_EQ(api_->summary(&s), 0);
  EXPECT_STREQ(s.title, daisy3_ ? "Three Book" : "The Book");
  EXPECT_STREQ(s.creator, "Author");
  EXPECT_STREQ(s.total_time, daisy3_ ? "0:00:24.5" : "0:00:24");  // ncc:totaltime when ncc:totalTime is absent
  if (!daisy3_) {
    EXPECT_STREQ(s.format, "Daisy 2.02");
  }
  EXPECT_EQ(s.publisher, nullptr);
  EXPECT_EQ(daisy3_ ? daisy3_check_is_text_only_file() : daisy202_check_is_text_only_file(), 0);
  int chinese = -1, english = -1;
  ASSERT_EQ(daisy3_ ? daisy3_get_chn_eng_cnt(&chinese, &english) : daisy202_get_chn_eng_cnt(&chinese, &english), 0);
  EXPECT_EQ(chinese, 0);
  EXPECT_EQ(english, 8 * 8 + 2 * 6);  // "Sentence" eight times, "Chunk" and one letter twice
}

// A quick open plays on through the SMIL files it reaches; the whole book,
// read apart, then takes over without moving the position or the play item.
TEST_P(Navigator, AQuickOpenPlaysOnThenTakesTheWholeBookOver) {
  auto walk = [&](DaisyPlayItem *item, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n && api_->cont(&item) == 0; i++) out.push_back(at(*api_, item));
    return out;
  };
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(api_->start(&item), 0);
  const std::vector<std::string> first = walk(item, 7);
  ASSERT_EQ(api_->next_par(&item), 0);
  const std::string next = at(*api_, item);
  const int page = curPage(), heading = curHeading();
  const std::string path = dir_.file(daisy3_ ? "book.opf" : "ncc.html");
  api_->close();
  ASSERT_EQ(daisy3_ ? daisy3_open_first(path.c_str()) : daisy202_open_first(path.c_str()), 0);
  EXPECT_EQ(api_->total_pages(), 4);
  EXPECT_EQ(api_->total_levels(), 3);
  ASSERT_EQ(api_->start(&item), 0);
  EXPECT_EQ(walk(item, 7), first);  // into s2, parsed when reached
  DaisyBookMarkInfo was{}, now{};
  ASSERT_EQ(api_->mark(&was), 0);
  int rc = -1;
  void *whole = daisy3_ ? daisy3_read_whole(path.c_str(), &rc) : daisy202_read_whole(path.c_str(), &rc);
  ASSERT_NE(whole, nullptr);
  (daisy3_ ? daisy3_adopt : daisy202_adopt)(whole);
  ASSERT_EQ(api_->mark(&now), 0);
  EXPECT_EQ(std::make_pair(now.smil_index, now.element_index), std::make_pair(was.smil_index, was.element_index));
  EXPECT_EQ(api_->total_headings(), daisy3_ ? 6 : 5);
  DaisyPlayItem *moved = nullptr;
  ASSERT_EQ(api_->next_par(&moved), 0);
  EXPECT_EQ(moved, item);  // the screen keeps its pointer
  EXPECT_EQ(at(*api_, moved), next);
  EXPECT_EQ(std::make_pair(curPage(), curHeading()), std::make_pair(page, heading));
}

TEST_P(Navigator, PhrasesTextChunksAndChangedBits) {
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(api_->start(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_TEXT_REACHED);
  EXPECT_STREQ(item->data, "Sentence 1");
  EXPECT_EQ(item->changed, DAISY_CHANGED_PAGE | DAISY_CHANGED_HEADING);
  ASSERT_EQ(api_->cont(&item), 0);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "0 3 audio a.mp3 0 1000");
  EXPECT_EQ(item->changed, 0);
  // The text-only paragraph is spoken chunk by chunk.
  ASSERT_EQ(api_->goto_nav(api_->total_headings(), &item), 0);  // Three
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "2 2 text Chunk A");
  EXPECT_EQ(item->changed, DAISY_CHANGED_PAGE | DAISY_CHANGED_HEADING);
  const char *expected[] = {"2 2 speak Chunk A", "2 2 speak Chunk B", "2 4 text Sentence 8",
                            "2 5 audio a.mp3 0 500"};
  for (const char *e : expected) {
    ASSERT_EQ(api_->cont(&item), 0);
    EXPECT_EQ(daisyreport::itemLine(*api_, item), e);
  }
  EXPECT_EQ(item->changed, 0);
  // Back by phrase: the text beside audio is passed over, the spoken text is not.
  EXPECT_EQ(move(api_->last_phrase), "2 2 text");
  EXPECT_EQ(move(api_->last_phrase), "1 9 audio");
  EXPECT_EQ(move(daisy3_ ? daisy3_next_phrase : daisy202_next_phrase), "2 2 text");
}

TEST_P(Navigator, Paragraphs) {
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(api_->goto_nav(3, &item), 0);  // Two: s2 p4
  ASSERT_EQ(api_->cont(&item), 0);
  ASSERT_EQ(api_->next_par(&item), 0);
  ASSERT_EQ(api_->cont(&item), 0);
  EXPECT_EQ(at(*api_, item), "1 6 audio");  // in p5
  EXPECT_EQ(move(daisy3_ ? daisy3_replay_cur_par : daisy202_replay_cur_par), "1 5 text");
  EXPECT_EQ(move(api_->last_par), "1 2 text");
  EXPECT_EQ(move(api_->last_par), "0 8 text");  // across the SMIL boundary
  EXPECT_EQ(move(api_->next_par), "1 2 text");
  ASSERT_EQ(api_->start(&item), 0);
  EXPECT_EQ(move(api_->last_par), "begin");
  EXPECT_EQ(move(api_->next_par), "0 2 text");  // from the beginning, the first paragraph
  ASSERT_EQ(api_->end(&item), 0);
  EXPECT_EQ(move(api_->last_par), "2 7 text");
}

TEST_P(Navigator, Pages) {
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(api_->start(&item), 0);
  EXPECT_EQ(curPage(), 0);
  const char *forward[] = {"1 2 text", "1 8 text", "2 7 text", "end"};
  for (const char *f : forward) EXPECT_EQ(move(api_->next_page), f);
  EXPECT_EQ(curPage(), 4);
  const char *back[] = {"2 7 text", "1 8 text", "1 2 text", "0 2 text", "begin"};
  for (const char *b : back) EXPECT_EQ(move(api_->last_page), b);
  EXPECT_EQ(gotoPage("3"), "1 8 text");
  EXPECT_EQ(curPage(), 2);
  EXPECT_EQ(curHeading(), daisy3_ ? 4 : 3);  // Two.A.i
  EXPECT_EQ(gotoPage(" IV "), "2 7 text");
  EXPECT_EQ(gotoPage("n1"), "error -101");  // a note reference is no page
  EXPECT_EQ(curPage(), 3);                  // and the failed jump moved nothing
  // From inside a page, back goes to the page before, not to this page's start.
  ASSERT_EQ(api_->cont(&item), 0);
  EXPECT_EQ(move(api_->last_page), "1 8 text");
}

TEST_P(Navigator, HeadingsByLevel) {
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(api_->start(&item), 0);
  const char *level1[] = {"1 2 text", "2 2 text", "end"};
  for (const char *h : level1) EXPECT_EQ(moveLevel(api_->next_nav, 1), h);
  ASSERT_EQ(api_->start(&item), 0);
  // Level 2 passes over h3 Two.A.i (DAISY 2.02); the NCX's level-2 point Two.A is s2#p5.
  std::vector<std::string> level2 = daisy3_ ? std::vector<std::string>{"0 8 text", "1 2 text", "1 5 text", "2 2 text"}
                                            : std::vector<std::string>{"0 8 text", "1 2 text", "2 2 text"};
  for (const std::string &h : level2) EXPECT_EQ(moveLevel(api_->next_nav, 2), h);
  // Back from inside the deepest section of Two.
  EXPECT_EQ(gotoPage("3"), "1 8 text");
  EXPECT_EQ(api_->cont(&item), 0);
  // DAISY 2.02 first goes back to the heading that opens the section (Two),
  // then to the one before (One); DAISY 3 goes to the nearest level-1 point
  // before the current one, the one that opens the section.
  EXPECT_EQ(moveLevel(api_->last_nav, 1), daisy3_ ? "1 2 text" : "0 2 text");
  EXPECT_EQ(moveLevel(api_->last_nav, 1), daisy3_ ? "0 2 text" : "begin");
  ASSERT_EQ(api_->end(&item), 0);
  EXPECT_EQ(moveLevel(api_->last_nav, 1), "2 2 text");
  EXPECT_EQ(moveLevel(api_->goto_nav, 0), "begin");
  EXPECT_EQ(moveLevel(api_->goto_nav, api_->total_headings() + 1), "error -101");
  EXPECT_EQ(moveLevel(api_->goto_nav, 4), daisy3_ ? "1 5 text" : "1 8 text");
}

TEST_P(Navigator, TimeJumpsLandInsideTheClip) {
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  ASSERT_EQ(api_->start(&item), 0);
  EXPECT_EQ(curTime(), 0);
  EXPECT_EQ(jump(10000, &item, &text), 3000);  // s2 starts at 3000; p5's clip at 4000 of it
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "1 6 audio a.mp3 7000 8000");
  EXPECT_STREQ(text, "Sentence 5");
  EXPECT_EQ(curTime(), 10000);
  EXPECT_EQ(jump(5000, &item, &text), 4000);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "1 9 audio a.mp3 12000 20000");
  // The decoder says it has played to 18 s of the file: jumps count from there.
  EXPECT_EQ(setAudioPos(18000), 0);
  EXPECT_EQ(curTime(), 21000);
  EXPECT_EQ(jump(1000, &item, &text), 11000);
  EXPECT_EQ(item->clip_begin_ms, 19000);
  EXPECT_EQ(jump(1500, &item, &text), 0);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "2 8 audio a.mp3 500 1500");
  // A jump near the end of a short clip starts 200 ms before its end.
  EXPECT_EQ(jump(-100, &item, &text), 400);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "2 5 audio a.mp3 300 500");
  EXPECT_EQ(jump(100000, &item, &text), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  EXPECT_EQ(curTime(), 24500);
  EXPECT_EQ(jump(-30000, &item, &text), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_BEGIN);
  EXPECT_EQ(setAudioPos(1), -1);  // no clip is current
}

TEST_P(Navigator, BookmarksKeepTheOffsetInsideTheClip) {
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  DaisyBookMarkInfo mark{};
  ASSERT_EQ(api_->mark(&mark), 0);
  EXPECT_EQ(mark.smil_index, 0);  // before any move
  EXPECT_EQ(mark.element_index, -1);
  ASSERT_EQ(api_->start(&item), 0);
  ASSERT_EQ(jump(10000, &item, &text), 3000);
  ASSERT_EQ(api_->mark(&mark), 0);
  EXPECT_EQ(mark.smil_index, 1);
  EXPECT_EQ(mark.element_index, 6);
  EXPECT_EQ(mark.reserved1, -1);
  EXPECT_EQ(mark.reserved2, -1);
  EXPECT_STREQ(mark.text, "Sentence 5");
  EXPECT_EQ(mark.offset_ms, 3000);
  ASSERT_EQ(setAudioPos(7500), 0);
  ASSERT_EQ(api_->mark(&mark), 0);
  EXPECT_EQ(mark.offset_ms, 3500);
  ASSERT_EQ(api_->end(&item), 0);
  int (*go)(const DaisyBookMarkInfo *, DaisyPlayItem **) = daisy3_ ? daisy3_go_to_book_mark : daisy202_go_to_book_mark;
  ASSERT_EQ(go(&mark, &item), 0);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "1 6 audio a.mp3 7500 8000");
  EXPECT_EQ(curTime(), 10500);
  // An offset past the clip starts 200 ms before its end; a text element
  // position ignores it.
  mark.offset_ms = 60000;
  ASSERT_EQ(go(&mark, &item), 0);
  EXPECT_EQ(item->clip_begin_ms, 7800);
  mark.element_index = 5;
  ASSERT_EQ(go(&mark, &item), 0);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "1 5 text Sentence 5");
  // Positions of the ends of the book.
  ASSERT_EQ(api_->end(&item), 0);
  ASSERT_EQ(api_->mark(&mark), 0);
  EXPECT_EQ(mark.smil_index, 3);
  EXPECT_EQ(mark.element_index, 0);
  ASSERT_EQ(go(&mark, &item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  mark = DaisyBookMarkInfo{0, -1, -1, -1, nullptr, 0};
  ASSERT_EQ(go(&mark, &item), 0);
  EXPECT_EQ(daisyreport::itemLine(*api_, item), "0 2 text Sentence 1");
  EXPECT_EQ(go(nullptr, &item), -1);
}

INSTANTIATE_TEST_SUITE_P(BothVersions, Navigator, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "Daisy3" : "Daisy202"; });

TEST(Navigator202, OpenErrors) {
  TempDir dir;
  EXPECT_EQ(daisy202_open(""), -1);
  EXPECT_EQ(daisy202_open(nullptr), -1);
  EXPECT_EQ(daisy202_open((dir.path() + "/").c_str()), -4);
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -4);
  dir.write("ncc.html", "");
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -5);
  dir.write("ncc.html", daisytest::ncc({}));
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -102);
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "#only-fragment", "x"}}));
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -102);
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "missing.smil#x", "x"}}));
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -2);
  dir.write("ncc.html", "\x01\x02 not a document at all");
  EXPECT_EQ(daisy202_open(dir.file("ncc.html").c_str()), -3);
  // No book: every call says so.
  DaisyPlayItem *item = nullptr;
  EXPECT_EQ(daisy202_start(&item), -1);
  EXPECT_EQ(daisy202_get_total_pages(), -1);
  EXPECT_EQ(daisy202_get_page_label(0), nullptr);
  char title[8];
  EXPECT_EQ(daisy202_get_title(dir.file("nothing.html").c_str(), title, sizeof title), -4);
}

TEST(Navigator202, TitleIsCutOnACharacter) {
  TempDir dir;
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "s.smil#x", "x"}}, "\xE4\xB8\xAD\xE6\x96\x87 book"));
  char title[6];
  ASSERT_EQ(daisy202_get_title(dir.file("ncc.html").c_str(), title, sizeof title), 0);
  EXPECT_STREQ(title, "\xE4\xB8\xAD");
  EXPECT_EQ(daisy202_get_title(dir.file("ncc.html").c_str(), title, 1), -1);
}

TEST(Navigator202, MissingContentStillPlaysTheAudio) {
  TempDir dir;
  std::string ncc = write202(dir);
  std::filesystem::remove(dir.file("content.html"));
  ASSERT_EQ(daisy202_open(ncc.c_str()), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy202_start(&item), 0);
  EXPECT_EQ(daisyreport::itemLine(daisyreport::kDaisy202, item), "0 2 text ");
  ASSERT_EQ(daisy202_continue(&item), 0);
  EXPECT_EQ(daisyreport::itemLine(daisyreport::kDaisy202, item), "0 3 audio a.mp3 0 1000");
  ASSERT_EQ(daisy202_goto_nav_point(5, &item), 0);  // the text-only paragraph reads as empty
  ASSERT_EQ(daisy202_continue(&item), 0);
  EXPECT_EQ(daisyreport::itemLine(daisyreport::kDaisy202, item), "2 4 text ");
  daisy202_close();
}

TEST(Navigator202, PlainSpansArePagesOnlyWithoutClassedPages) {
  TempDir dir;
  writeSmils(dir, false, "content.html");
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "s1.smil#p1", "One"}, {"span", "", "s1.smil#p2", "1"},
                                        {"span", "", "s2.smil#p5", "2"}, {"span", "noteref", "s3.smil#p8", "*"}}));
  ASSERT_EQ(daisy202_open(dir.file("ncc.html").c_str()), 0);
  EXPECT_EQ(daisy202_get_total_pages(), 2);
  EXPECT_STREQ(daisy202_get_page_label(1), "2");
  dir.write("ncc.html", daisytest::ncc({{"span", "", "s1.smil#p2", "1"}, {"span", "page-normal", "s2.smil#p5", "2"}}));
  ASSERT_EQ(daisy202_open(dir.file("ncc.html").c_str()), 0);
  EXPECT_EQ(daisy202_get_total_pages(), 1);
  EXPECT_STREQ(daisy202_get_page_label(0), "2");
  // A page whose fragment is nowhere in its SMIL starts at that SMIL's first phrase.
  dir.write("ncc.html",
            daisytest::ncc({{"h1", "", "s1.smil#p1", "One"}, {"span", "page-front", "s2.smil#nowhere", "i"}}));
  ASSERT_EQ(daisy202_open(dir.file("ncc.html").c_str()), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy202_start(&item), 0);
  ASSERT_EQ(daisy202_next_page(&item), 0);
  EXPECT_EQ(at(daisyreport::kDaisy202, item), "1 2 text");
  EXPECT_EQ(daisy202_get_total_levels(), 1);
  ASSERT_EQ(daisy202_next_nav_point(6, &item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  daisy202_close();
}

TEST(Navigator202, TextOnlyBookHasNoTime) {
  TempDir dir;
  dir.write("s.smil", daisytest::smil({{"p1", "c.html#a"}, {"p2", "c.html#b"}}));
  dir.write("c.html", daisytest::content({{"a", "First"}, {"b", "Second"}}));
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "s.smil#p1", "One"}}));
  ASSERT_EQ(daisy202_open(dir.file("ncc.html").c_str()), 0);
  EXPECT_EQ(daisy202_check_is_text_only_file(), 1);
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  ASSERT_EQ(daisy202_start(&item), 0);
  ASSERT_EQ(daisy202_continue(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_TEXT);
  EXPECT_EQ(daisy202_get_cur_time(), 0);
  ASSERT_EQ(daisy202_time_jump(30000, &item, &text), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  daisy202_close();
}

TEST(Navigator202, FileNamesSpelledInAnotherCase) {
  TempDir dir;
  writeSmils(dir, false, "Content.HTML");
  dir.write("content.html", contentFile(false));
  std::filesystem::rename(dir.file("s1.smil"), dir.file("S1.SMIL"));
  dir.write("A.MP3", "");
  dir.write("ncc.html", daisytest::ncc({{"h1", "", "s1.smil#p1", "One"}}));
  ASSERT_EQ(daisy202_open(dir.file("ncc.html").c_str()), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy202_start(&item), 0);
  EXPECT_STREQ(item->data, "Sentence 1");
  ASSERT_EQ(daisy202_continue(&item), 0);
  EXPECT_STREQ(item->data, "A.MP3");
  daisy202_close();
}

TEST(Navigator3, WithoutNcxOrWithPagesInANavList) {
  TempDir dir;
  ASSERT_EQ(daisy3_open(write3(dir, "").c_str()), 0);
  EXPECT_EQ(daisy3_get_total_nav_points(), 0);
  EXPECT_EQ(daisy3_get_total_pages(), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy3_start(&item), 0);
  ASSERT_EQ(daisy3_next_nav_point(1, &item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  ASSERT_EQ(daisy3_last_nav_point(1, &item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_BEGIN);
  ASSERT_EQ(daisy3_last_page(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_BEGIN);
  // The spine's unknown item is passed over: three SMIL files.
  ASSERT_EQ(daisy3_end(&item), 0);
  DaisyBookMarkInfo mark;
  ASSERT_EQ(daisy3_get_book_mark_info(&mark), 0);
  EXPECT_EQ(mark.smil_index, 3);

  TempDir other;
  ASSERT_EQ(daisy3_open(write3(other, ncxFile(false)).c_str()), 0);
  EXPECT_EQ(daisy3_get_total_pages(), 4);
  EXPECT_STREQ(daisy3_get_page_label(2), "3");
  char title[64];
  ASSERT_EQ(daisy3_get_title(other.file("book.opf").c_str(), title, sizeof title), 0);
  EXPECT_STREQ(title, "Three Book");
  daisy3_close();
}

TEST(Navigator3, OpenErrors) {
  TempDir dir;
  EXPECT_EQ(daisy3_open(""), -1);
  EXPECT_EQ(daisy3_open((dir.path() + "\\").c_str()), -4);
  EXPECT_EQ(daisy3_open(dir.file("book.opf").c_str()), -4);
  dir.write("book.opf", "<package><manifest/><spine/></package>");
  EXPECT_EQ(daisy3_open(dir.file("book.opf").c_str()), -102);
  std::string opf = write3(dir, ncxFile(true));
  std::filesystem::remove(dir.file("s2.smil"));
  EXPECT_EQ(daisy3_open(opf.c_str()), -2);
  // A missing DTBook and a missing NCX leave a book that plays.
  write3(dir, ncxFile(true));
  std::filesystem::remove(dir.file("book.xml"));
  std::filesystem::remove(dir.file("book.ncx"));
  ASSERT_EQ(daisy3_open(opf.c_str()), 0);
  EXPECT_EQ(daisy3_get_total_nav_points(), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy3_start(&item), 0);
  ASSERT_EQ(daisy3_continue(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_AUDIO);
  daisy3_close();
  EXPECT_EQ(daisy3_start(&item), -1);
}

TEST(Navigator3, NavigationPointsSevenDeep) {
  TempDir dir;
  std::string points;
  for (int i = 7; i >= 1; i--) points = navPoint("s1.smil#p1", points);
  ASSERT_EQ(daisy3_open(write3(dir, "<ncx><navMap>" + points + "</navMap></ncx>").c_str()), 0);
  EXPECT_EQ(daisy3_get_total_nav_points(), 7);
  EXPECT_EQ(daisy3_get_total_levels(), 7);
  daisy3_close();
}

}  // namespace

namespace {

TEST(Navigator3, FilesInFoldersAreNamedFromTheBooksFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("smil"));
  std::filesystem::create_directories(dir.file("text"));
  dir.write("smil/s1.smil", daisytest::smil({{"p1", "../text/book.xml#t1", 0, 1000, "../audio/a.mp3"},
                                             {"p2", "./../text/book.xml#t2", 1000, 2000, "b.mp3"}},
                                            true));
  dir.write("text/book.xml", contentFile(true));
  dir.write("book.opf",
            "<package><manifest><item id=\"s\" href=\"smil/s1.smil\" media-type=\"application/smil\"/></manifest>"
            "<spine><itemref idref=\"s\"/></spine></package>");
  ASSERT_EQ(daisy3_open(dir.file("book.opf").c_str()), 0);
  DaisyPlayItem *item = nullptr;
  ASSERT_EQ(daisy3_start(&item), 0);
  EXPECT_STREQ(item->data, "Sentence 1");
  ASSERT_EQ(daisy3_continue(&item), 0);
  EXPECT_STREQ(item->data, "audio/a.mp3");
  ASSERT_EQ(daisy3_continue(&item), 0);
  EXPECT_STREQ(item->data, "Sentence 2");
  ASSERT_EQ(daisy3_continue(&item), 0);
  EXPECT_STREQ(item->data, "smil/b.mp3");
  daisy3_close();
}

}  // namespace
