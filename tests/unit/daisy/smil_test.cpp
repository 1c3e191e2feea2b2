// The SMIL reader and the clock values.
#include "daisy/smil.h"
#include "ebook/string_array.h"

#include "daisy_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using daisytest::Par;
using daisytest::TempDir;

TEST(SmilClock, EveryFormOfTheStandard) {
  const struct {
    const char *text;
    int ms;
  } cases[] = {
      {"npt=12.5s", 12500},      {"0:01:02.0345", 62034}, {"1:30", 90000},       {"2.25min", 135000},
      {"40ms", 40},              {"3h", 10800000},        {"7", 7000},           {"npt=", 0},
      {"1:2:3:4", -1},           {"10.5", 10500},         {"0:00:05", 5000},     {"12.3456s", 12345},
      {"5mins", 5000},           {"1.5ms", 1},            {"1.5h", 5400000},     {".5", 500},
      {"npt=0:00:02.197", 2197}, {"02:03.5", 123500},     {"", 0},               {"abc", 0},
      {"npt=2.658s", 2658},      {"1h2", 1000},           {":05", 5000},         {" 3.25s", 3250},
      {"100:00:00", 360000000},  {"9999999:00:00", 2147483647},
      // Past any long long: saturated, never wrapped.
      {"5555555555555:00:00", 2147483647}, {"0:99999999999999999999:00", 2147483647},
      {"555555555555555:00.5", 2147483647}, {"99999999999999999999h", 2147483647},
      {"99999999999999999999.999min", 2147483647}, {"99999999999999999999ms", 2147483647},
  };
  for (const auto &c : cases) EXPECT_EQ(clipping_and_clock_value_to_ms(c.text), c.ms) << c.text;
  EXPECT_EQ(clipping_and_clock_value_to_ms(nullptr), -1);
}

class SmilFile : public ::testing::Test {
 protected:
  DsySmlInfo *parse(const std::string &text, bool daisy3 = false, int *rc = nullptr) {
    dir.write("s.smil", text);
    DsySmlInfo *info = DsySmlInfo_new(static_cast<int>(text.size()), daisy3);
    int r = smil_parse(dir.file("s.smil").c_str(), info);
    if (rc) *rc = r;
    infos.push_back(info);
    return info;
  }
  void TearDown() override {
    for (DsySmlInfo *i : infos) DsySmlInfo_free(i);
  }
  TempDir dir;
  std::vector<DsySmlInfo *> infos;
};

TEST_F(SmilFile, FlatTableWithContainersTextsAndClips) {
  DsySmlInfo *s = parse(daisytest::smil({{"p1", "c.html#t1", 0, 1500}, {"p2", "c.html#t2", 1500, 4000, "b.mp3"},
                                          {"p3", "d.html#t3", 4000, 5000}},
                                         false,
                                         "<meta name=\"ncc:timeInThisSmil\" content=\"0:00:06\"/>"
                                         "<meta name=\"ncc:totalElapsedTime\" content=\"1:00\"/>"));
  ASSERT_EQ(smil_get_total_elements(s), 10);
  const int kinds[] = {SMIL_SEQ, SMIL_PAR, SMIL_TEXT, SMIL_AUDIO, SMIL_PAR, SMIL_TEXT, SMIL_AUDIO, SMIL_PAR,
                       SMIL_TEXT, SMIL_AUDIO};
  for (int i = 0; i < 10; i++) EXPECT_EQ(s->kind[i], kinds[i]) << i;
  EXPECT_EQ(s->end[0], 10);
  EXPECT_EQ(s->begin[1], 1);
  EXPECT_EQ(s->end[1], 4);
  EXPECT_EQ(s->begin[6], 1500);
  EXPECT_EQ(s->end[6], 4000);
  EXPECT_EQ(s->file_index[3], s->file_index[9]);  // a.mp3 once
  EXPECT_STREQ(smil_get_audio_element_filename(s, 6), "b.mp3");
  EXPECT_EQ(StringArray_get_cnt(s->audio_files), 2);
  EXPECT_STREQ(StringArray_get(s->text_files, s->file_index[8]), "d.html");
  EXPECT_STREQ(StringArray_get(s->text_fragments, s->begin[5]), "t2");
  EXPECT_EQ(s->time_in_this_smil, 6000);  // the meta wins over the clips
  EXPECT_EQ(s->total_elapsed, 60000);
  const int start[] = {0, 0, 0, 0, 1500, 1500, 1500, 4000, 4000, 4000};
  for (int i = 0; i < 10; i++) EXPECT_EQ(s->start_ms[i], start[i]) << i;
  EXPECT_EQ(smil_find_id(s, "p2", 0, 1), 4);
  EXPECT_EQ(smil_find_id(s, "p2", 9, -1), 4);
  EXPECT_EQ(smil_find_id(s, "p1", 5, 1), -101);
  EXPECT_EQ(smil_find_id(s, "p3", -7, 1), 7);
  EXPECT_EQ(smil_find_id(s, nullptr, 0, 1), -1);
  EXPECT_EQ(smil_find_text_or_audio(s, -3), 2);
  EXPECT_EQ(smil_find_text_or_audio(s, 4), 5);
  EXPECT_EQ(smil_find_last_text_or_audio(s, 100), 9);
  EXPECT_EQ(smil_find_last_text_or_audio(s, 1), -1);
  EXPECT_EQ(smil_find_next_par(s, 5), 7);
  EXPECT_EQ(smil_find_last_par(s, 6), 4);
  EXPECT_EQ(smil_find_next_par(s, 8), -1);
}

TEST_F(SmilFile, TextSourcesWithoutFileOrFragmentStillMakeElements) {
  DsySmlInfo *s = parse(
      "<smil><body><par><text src=\"#only\"/><text src=\"nofragment.html\"/><text src=\"x.html#\"/>"
      "<text/><text src=\"a#b#c\"/></par></body></smil>");
  ASSERT_EQ(s->count, 6);
  for (int i = 1; i <= 4; i++) {
    EXPECT_EQ(s->kind[i], SMIL_TEXT);
    EXPECT_EQ(s->file_index[i], -1) << i;
    EXPECT_EQ(s->begin[i], -1) << i;
  }
  EXPECT_STREQ(StringArray_get(s->text_files, s->file_index[5]), "a#b");
  EXPECT_STREQ(StringArray_get(s->text_fragments, s->begin[5]), "c");
  EXPECT_EQ(s->start_ms, nullptr);  // no audio
  EXPECT_EQ(s->time_in_this_smil, -1);
}

TEST_F(SmilFile, OpenClipRunsToTheEndOfItsFile) {
  dir.write("long.wav", daisytest::wav(2500));
  DsySmlInfo *s = parse(
      "<smil><body><seq><audio src=\"long.wav\" clip-begin=\"npt=1s\"/><audio src=\"long.wav\" clip-begin=\"0s\" "
      "clip-end=\"0.5s\"/><audio src=\"missing.wav\"/><par/></seq></body></smil>");
  ASSERT_EQ(s->count, 5);
  EXPECT_EQ(s->end[1], -1);  // stays open in the table
  EXPECT_EQ(s->start_ms[2], 1500);
  EXPECT_EQ(s->start_ms[3], 2000);
  EXPECT_EQ(s->start_ms[4], 2000);  // a file that cannot be read adds nothing
  EXPECT_EQ(s->time_in_this_smil, 2000);
}

TEST_F(SmilFile, AttributeNamesOfBothVersionsAndDaisy3Elapsed) {
  DsySmlInfo *s = parse(daisytest::smil({{"p", "", 250, 1250}}, true,
                                        "<meta name=\"dtb:totalElapsedTime\" content=\"0:00:10.5\"/>"
                                        "<meta name=\"ncc:timeInThisSmil\" content=\"0:09\"/>"),
                        true);
  EXPECT_EQ(s->begin[2], 250);
  EXPECT_EQ(s->end[2], 1250);
  EXPECT_EQ(s->total_elapsed, 10500);
  EXPECT_EQ(s->time_in_this_smil, 1000);  // DAISY 3 reads no time-in-this-smil
  // A DAISY 2.02 book written with the DAISY 3 names.
  DsySmlInfo *t = parse("<smil><body><audio src=\"a\" clipBegin=\"1s\" clipEnd=\"2s\"/></body></smil>");
  EXPECT_EQ(t->begin[0], 1000);
  EXPECT_EQ(t->end[0], 2000);
}

TEST_F(SmilFile, OnlyTextTellsSpokenTextFromTextBesideAudio) {
  // 0 seq, 1 par(text), 2 text, 3 par, 4 text, 5 audio, 6 par, 7 audio, 8 text, 9 par, 10 text, 11 seq,
  // 12 audio, 13 text
  DsySmlInfo *s = parse(
      "<smil><body><seq><par><text src=\"c#1\"/></par><par><text src=\"c#2\"/><audio src=\"a\"/></par>"
      "<par><audio src=\"a\"/><text src=\"c#3\"/></par><par><text src=\"c#4\"/><seq><audio src=\"a\"/></seq></par>"
      "</seq><text src=\"c#5\"/></body></smil>");
  ASSERT_EQ(s->count, 14);
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 2), 1);
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 4), 0);
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 8), 0);
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 10), 0);  // audio in a seq inside the par
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 13), 0);  // walking back meets audio first
  EXPECT_EQ(smil_check_text_element_is_only_text(s, 99), -1);
  EXPECT_EQ(smil_check_text_element_is_only_text(nullptr, 0), -1);
}

TEST_F(SmilFile, DamagedFilesGiveWhatTheyHold) {
  int rc = 0;
  // Cut inside the third par: the containers close at the end of the file.
  DsySmlInfo *s = parse(daisytest::smil({{"p1", "c#1", 0, 1000}, {"p2", "c#2", 1000, 2000}}).substr(0, 200), false, &rc);
  EXPECT_EQ(rc, -3);
  ASSERT_GE(s->count, 3);
  EXPECT_EQ(s->end[0], s->count);
  for (int i = 0; i < s->count; i++)
    if (s->kind[i] <= SMIL_PAR) {
      EXPECT_GT(s->end[i], i) << i;
    }
  // 70 nested seqs: the stack keeps 64, deeper elements are dropped.
  std::string deep = "<smil><body>";
  for (int i = 0; i < 70; i++) deep += "<seq>";
  deep += "<audio src=\"a\"/>";
  for (int i = 0; i < 70; i++) deep += "</seq>";
  deep += "<audio src=\"b\" clip-end=\"1s\"/></body></smil>";
  DsySmlInfo *d = parse(deep, false, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(d->count, 65);
  EXPECT_EQ(d->end[0], 64);
  EXPECT_STREQ(smil_get_audio_element_filename(d, 64), "b");
  DsySmlInfo *m = DsySmlInfo_new(0, 0);
  EXPECT_EQ(smil_parse(dir.file("nothing.smil").c_str(), m), -4);
  dir.write("empty.smil", "");
  EXPECT_EQ(smil_parse(dir.file("empty.smil").c_str(), m), -5);
  EXPECT_EQ(smil_parse(nullptr, m), -1);
  EXPECT_EQ(smil_parse(dir.file("empty.smil").c_str(), nullptr), -1);
  DsySmlInfo_free(m);
}

TEST(SmilSizing, BlockGrowsWithTheFile) {
  const struct {
    int size, block, step;
  } cases[] = {{0, 2048, 128}, {65536, 2048, 128}, {65537 * 2, 4096, 256}, {1 << 30, 1048576, 65536}};
  for (const auto &c : cases) {
    DsySmlInfo *s = DsySmlInfo_new(c.size, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->block, c.block) << c.size;
    EXPECT_EQ(s->step, c.step) << c.size;
    EXPECT_EQ(s->time_in_this_smil, -1);
    EXPECT_EQ(s->total_elapsed, -1);
    DsySmlInfo_free(s);
  }
}

}  // namespace
