// Skippable structures and the heading texts, on the two books of
// tests/data/daisy/make_skip_books.py (tests/e2e/fixtures): what a listener
// reading on from the start meets with each choice of skipped structures,
// what a step back meets, and the heading list's levels and texts.
#include "daisy/daisy.h"
#include "daisy/smil.h"

#include "support/files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kDaisy3 = SourcePath("/tests/e2e/fixtures/daisy3_skip/book.opf");
const std::string kDaisy202 = SourcePath("/tests/e2e/fixtures/daisy202_skip/ncc.html");

// A played item as the walk records it: the text spoken, or the clip's
// file and start.
std::string said(const DaisyPlayItem *item) {
  if (item->kind == DAISY_ITEM_TEXT) return item->data;
  return std::string(item->data) + "@" + std::to_string(item->clip_begin_ms);
}

// Everything performed from the start to the end of the book.
std::vector<std::string> readThrough() {
  std::vector<std::string> out;
  DaisyPlayItem *item = nullptr;
  if (daisy_start(&item) != 0) return out;
  for (int guard = 0; guard < 200 && item->kind != DAISY_ITEM_END; guard++) {
    if (item->kind == DAISY_ITEM_TEXT || item->kind == DAISY_ITEM_AUDIO) out.push_back(said(item));
    if (daisy_continue(&item) != 0) break;
  }
  return out;
}

struct SkipCase {
  const std::string *book;
  int skip;
  std::vector<std::string> heard;
};

TEST(DaisySkip, ReadingPassesOverTheChosenStructures) {
  const std::vector<SkipCase> cases = {
      {&kDaisy3, 0, {"Chapter One", "The river starts in the hills.", "Page 2", "It runs past the old mill.",
                     "Note reference 1", "Note 1 says the mill is old.", "Sidebar about fishing.",
                     "Fishing needs a permit.", "Producer note on the map.", "At last the river reaches the sea.",
                     "A Smaller Stream", "A brook joins it from the east.", "Chapter Two", "Page 3",
                     "Boats wait in the harbour."}},
      {&kDaisy3, SMIL_SKIP_PAGE | SMIL_SKIP_NOTE | SMIL_SKIP_SIDEBAR | SMIL_SKIP_PRODNOTE,
       {"Chapter One", "The river starts in the hills.", "It runs past the old mill.",
        "At last the river reaches the sea.", "A Smaller Stream", "A brook joins it from the east.", "Chapter Two",
        "Boats wait in the harbour."}},
      {&kDaisy3, SMIL_SKIP_SIDEBAR,
       {"Chapter One", "The river starts in the hills.", "Page 2", "It runs past the old mill.", "Note reference 1",
        "Note 1 says the mill is old.", "Producer note on the map.", "At last the river reaches the sea.",
        "A Smaller Stream", "A brook joins it from the east.", "Chapter Two", "Page 3", "Boats wait in the harbour."}},
      // DAISY 2.02: the class on the par (page, note), on the text only
      // (note reference) and a system-required test (sidebar).
      {&kDaisy202, SMIL_SKIP_PAGE | SMIL_SKIP_NOTE,
       {"intro.mp3@0", "intro.mp3@800", "intro.mp3@2000", "garden.mp3@0", "garden.mp3@400", "garden.mp3@800",
        "garden.mp3@1200", "garden.mp3@2000"}},
      {&kDaisy202, SMIL_SKIP_SIDEBAR,
       {"intro.mp3@0", "intro.mp3@400", "intro.mp3@800", "intro.mp3@1200", "intro.mp3@1600", "intro.mp3@2000",
        "garden.mp3@0", "garden.mp3@400", "garden.mp3@1200", "garden.mp3@1600", "garden.mp3@2000"}},
  };
  for (const SkipCase &c : cases) {
    SCOPED_TRACE(*c.book + " skip " + std::to_string(c.skip));
    ASSERT_EQ(daisy_open(c.book->c_str()), 0);
    ASSERT_EQ(daisy_set_skip(c.skip), 0);
    // Text beside audio is not a phrase of its own: only the clips count.
    std::vector<std::string> heard;
    for (const std::string &s : readThrough())
      if (c.book == &kDaisy3 || s.find('@') != std::string::npos) heard.push_back(s);
    EXPECT_EQ(heard, c.heard);
    daisy_close();
  }
}

TEST(DaisySkip, StepsBackNeverStopInASkippedStructure) {
  ASSERT_EQ(daisy_open(kDaisy3.c_str()), 0);
  daisy_set_skip(SMIL_SKIP_PAGE | SMIL_SKIP_NOTE | SMIL_SKIP_SIDEBAR | SMIL_SKIP_PRODNOTE);
  DaisyPlayItem *item = nullptr;
  for (auto step : {daisy_play_last_phrase, daisy_play_last_par}) {
    ASSERT_EQ(daisy_go_to_heading(2, &item), 0);  // "A Smaller Stream"
    ASSERT_EQ(step(&item), 0);
    while (item->kind == DAISY_ITEM_TEXT_REACHED) daisy_continue(&item);
    EXPECT_STREQ(item->data, "At last the river reaches the sea.");
  }
  // A page move lands after the page number it skips.
  ASSERT_EQ(daisy_go_to_page("2", &item), 0);
  while (item->kind == DAISY_ITEM_TEXT_REACHED) daisy_continue(&item);
  EXPECT_STREQ(item->data, "It runs past the old mill.");
  daisy_close();
}

TEST(DaisySkip, HeadingsKeepTheirLevelsAndTexts) {
  const struct {
    const std::string *book;
    std::vector<std::pair<int, std::string>> headings;
  } cases[] = {
      {&kDaisy3, {{1, "Chapter One"}, {2, "A Smaller Stream"}, {1, "Chapter Two"}}},
      {&kDaisy202, {{1, "Introduction"}, {1, "The Garden"}, {2, "Roses"}}},
  };
  for (const auto &c : cases) {
    ASSERT_EQ(daisy_open(c.book->c_str()), 0);
    std::vector<std::pair<int, std::string>> got;
    const char *label = nullptr;
    for (int i = 0, level; (level = daisy_get_heading(i, &label)) >= 0; i++) got.emplace_back(level, label);
    EXPECT_EQ(got, c.headings) << *c.book;
    daisy_close();
  }
  const char *label = nullptr;
  EXPECT_EQ(daisy_get_heading(0, &label), DAISY_ERR_ARG);  // no book
}

}  // namespace
