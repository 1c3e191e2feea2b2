// Damaged books: copies of the sample books with one file cut short, bit
// flipped or sprinkled with markup characters go through the reader of that
// file and through the whole navigator. The checks are that nothing crashes
// (the sanitizer build sees every bad read) and that results stay within
// their contracts: one short pass over real books. The libFuzzer targets of
// tests/fuzz give every reader random input at length.
#include "daisy/daisy202.h"
#include "daisy/daisy3.h"
#include "daisy/ncc_html.h"
#include "daisy/ncx.h"
#include "daisy/opf.h"
#include "daisy/smil.h"
#include "daisy/xhtml_text.h"
#include "tools/daisywalk/daisy_report.h"

#include "daisy_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using daisytest::TempDir;

std::string mutate(const std::string &base, std::mt19937 &rng) {
  std::string s = base;
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n ? n - 1 : 0)(rng); };
  static const char inserts[] = "<>&\"'/=#:;![]\xE4\xB8\x00\xFF";
  switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
    case 0:  // cut short
      s.resize(pick(s.size() + 1));
      break;
    case 1:  // bit flips
      for (int k = std::uniform_int_distribution<int>(1, 16)(rng); k > 0 && !s.empty(); k--)
        s[pick(s.size())] ^= static_cast<char>(1 << std::uniform_int_distribution<int>(0, 7)(rng));
      break;
    case 2:  // markup characters in random places
      for (int k = std::uniform_int_distribution<int>(1, 12)(rng); k > 0; k--)
        s.insert(pick(s.size() + 1), 1, inserts[pick(sizeof inserts - 1)]);
      break;
    default:  // a slice removed and another doubled
      if (s.size() > 10) {
        size_t at = pick(s.size()), n = pick(std::min<size_t>(200, s.size() - at) + 1);
        std::string slice = s.substr(at, n);
        s.erase(at, n);
        s.insert(pick(s.size() + 1), slice + slice);
      }
      break;
  }
  return s;
}

// Runs the reader that fits the file's name; returns its result.
int parseOne(const std::string &path) {
  std::string ext = fs::path(path).extension().string();
  int size = static_cast<int>(fs::file_size(path));
  int rc;
  if (fs::path(path).filename() == "ncc.html") {
    NccHtmlInfo *n = NccHtmlInfo_new();
    rc = ncc_html_parse(path.c_str(), n);
    int total = NccHtmlInfo_get_total_headers(n);
    EXPECT_GE(total, 0);
    for (int i = 0; i < total; i++) EXPECT_NE(NccHtmlInfo_get_header_label(n, i), nullptr);
    NccHtmlInfo_free(n);
  } else if (ext == ".smil") {
    DsySmlInfo *s = DsySmlInfo_new(size, 1);
    rc = smil_parse(path.c_str(), s);
    for (int i = 0; i < s->count; i++) {
      EXPECT_LE(s->kind[i], SMIL_AUDIO);
      if (s->kind[i] <= SMIL_PAR) {
        EXPECT_GT(s->end[i], i);
      }
      if (s->start_ms) {
        EXPECT_GE(s->start_ms[i], 0);
      }
      if (s->kind[i] == SMIL_TEXT) smil_check_text_element_is_only_text(s, i);
    }
    DsySmlInfo_free(s);
  } else if (ext == ".ncx") {
    NavInfo *n = NavInfo_new();
    rc = ncx_parse(path.c_str(), n);
    for (int i = 0; i < ncx_get_total_page_lists(n); i++) {
      int refs = ncx_get_page_list_total_refs(n, i);
      for (int j = 0; j < refs; j++) EXPECT_NE(ncx_get_page_list_ref_label(n, i, j), nullptr);
    }
    NavInfo_free(n);
  } else if (ext == ".opf") {
    OpfInfo *o = OpfInfo_new();
    rc = opf_parse(path.c_str(), o);
    EXPECT_GE(opf_get_dcmetadata_cnt(o), 0);
    EXPECT_GE(opf_get_manifest_cnt(o), 0);
    OpfInfo_free(o);
  } else {
    XhtmlText *t = XhtmlText_new(size);
    rc = xhtml_parse(path.c_str(), t);
    for (int i = 0; i < xhtml_text_get_total_ids(t); i++)
      for (int k = 0; k < xhtml_text_get_id_total_strings(t, i); k++) EXPECT_NE(xhtml_text_get(t, i, k), nullptr);
    XhtmlText_free(t);
  }
  return rc;
}

// Opens the book and moves about in it; every move must succeed or fail
// with a documented code, and walks must end.
void exercise(const std::string &control) {
  const daisyreport::Api &api = daisyreport::apiFor(control);
  int rc = api.open(control.c_str());
  EXPECT_TRUE(rc == 0 || rc == -1 || rc == -2 || rc == -3 || rc == -4 || rc == -5 || rc == -102) << rc;
  if (rc != 0) return;
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  ASSERT_EQ(api.start(&item), 0);
  int steps = 0;
  while (item->kind != DAISY_ITEM_END && steps++ < 2000) ASSERT_EQ(api.cont(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_END);
  steps = 0;
  while (item->kind != DAISY_ITEM_BEGIN && steps++ < 2000) ASSERT_EQ(api.last_phrase(&item), 0);
  EXPECT_EQ(item->kind, DAISY_ITEM_BEGIN);
  for (int level = 1; level <= 3; level++) {
    api.start(&item);
    for (steps = 0; item->kind != DAISY_ITEM_END && steps < 500; steps++) ASSERT_EQ(api.next_nav(level, &item), 0);
    for (steps = 0; item->kind != DAISY_ITEM_BEGIN && steps < 500; steps++) ASSERT_EQ(api.last_nav(level, &item), 0);
  }
  api.start(&item);
  for (steps = 0; item->kind != DAISY_ITEM_END && steps < 500; steps++) ASSERT_EQ(api.next_par(&item), 0);
  for (steps = 0; item->kind != DAISY_ITEM_BEGIN && steps < 500; steps++) ASSERT_EQ(api.last_par(&item), 0);
  for (steps = 0; item->kind != DAISY_ITEM_END && steps < 500; steps++) ASSERT_EQ(api.next_page(&item), 0);
  for (int delta : {30000, 30000, -45000, 600000, -600000}) EXPECT_GE(api.time_jump(delta, &item, &text), 0);
  DaisyBookMarkInfo mark;
  ASSERT_EQ(api.mark(&mark), 0);
  EXPECT_EQ(api.goto_nav(1, &item) == 0 || api.total_headings() == 0, true);
  api.close();
}

struct Sample {
  const char *folder;
  const char *control;
};

TEST(DaisyRobustness, MutatedSampleFilesNeverCrash) {
  const Sample samples[] = {{"daisy202/dontworrybehappy-invalid", "ncc.html"},
                            {"daisy3/speechgen", "06-speechgen.opf"}};
  std::string root = SamplesDir();
  std::mt19937 rng(12);
  for (const Sample &sample : samples) {
    TempDir dir;
    std::vector<std::string> texts;
    for (const auto &e : fs::directory_iterator(root + "/" + sample.folder)) {
      std::string name = e.path().filename().string();
      std::string ext = e.path().extension().string();
      if (ext == ".mp3") continue;  // clips carry their ends; the audio is not read
      dir.write(name, ReadFile(e.path().string()));
      fs::permissions(dir.file(name), fs::perms::owner_read | fs::perms::owner_write);
      if (ext == ".html" || ext == ".smil" || ext == ".ncx" || ext == ".opf" || ext == ".xml") texts.push_back(name);
    }
    ASSERT_FALSE(texts.empty());
    for (const std::string &name : texts) {
      std::string original = ReadFile(dir.file(name));
      for (int round = 0; round < 2; round++) {
        ASSERT_TRUE(dir.write(name, mutate(original, rng)));
        int rc = parseOne(dir.file(name));
        EXPECT_TRUE(rc == 0 || rc == -3 || rc == -5) << name << " " << rc;
        exercise(dir.file(sample.control));
      }
      dir.write(name, original);
    }
  }
}

}  // namespace
