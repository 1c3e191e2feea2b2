#include "ebook/string_array.h"

#include <gtest/gtest.h>

#include <string>

TEST(StringArray, KeepsManyStringsAcrossGrowth) {
  // Tiny growth steps force many reallocations of both buffer and index.
  StringArray *a = StringArray_new(16, 3);
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 500; i++) ASSERT_EQ(StringArray_add(a, ("item" + std::to_string(i)).c_str()), 0);
  EXPECT_EQ(StringArray_get_cnt(a), 500);
  for (int i = 0; i < 500; i++) EXPECT_STREQ(StringArray_get(a, i), ("item" + std::to_string(i)).c_str());
  EXPECT_EQ(a->text_size % 16, 0);
  EXPECT_EQ(StringArray_find(a, "item250"), 250);
  EXPECT_EQ(StringArray_find(a, "item25"), 25);
  EXPECT_EQ(StringArray_find(a, "item"), -1);
  // Shrunk to what it holds, it still reads and grows.
  StringArray_shrink(a);
  EXPECT_EQ(a->text_size, a->text_used);
  EXPECT_EQ(StringArray_add(a, "more"), 0);
  EXPECT_STREQ(StringArray_get(a, 499), "item499");
  EXPECT_STREQ(StringArray_get(a, 500), "more");
  StringArray_free(a);
}

TEST(StringArray, LengthAddsOnlyThoseBytesAndBadArgumentsFail) {
  StringArray *a = StringArray_new(0, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(StringArray_add_with_length(a, "abcdef", 3), 0);
  EXPECT_EQ(StringArray_add_with_length(a, "", 0), 0);
  EXPECT_STREQ(StringArray_get(a, 0), "abc");
  EXPECT_STREQ(StringArray_get(a, 1), "");
  EXPECT_EQ(StringArray_add_with_length(a, "x", -1), -1);
  EXPECT_EQ(StringArray_add(a, nullptr), -1);
  EXPECT_EQ(StringArray_add(nullptr, "x"), -1);
  EXPECT_EQ(StringArray_get(a, 2), nullptr);
  EXPECT_EQ(StringArray_get(a, -1), nullptr);
  EXPECT_EQ(StringArray_get_cnt(nullptr), -1);
  StringArray_free(a);
  StringArray_free(nullptr);
}

TEST(StringCollection, BuildsOneStringFromPieces) {
  StringCollection *c = new_string_collection(8);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(add_text_to_string_collection(c, "x", 1), -3);  // nothing to append to yet
  ASSERT_EQ(add_string_to_string_collection(c, "Chapter"), 0);
  ASSERT_EQ(add_text_to_string_collection(c, " one, and a long tail", 9), 0);
  ASSERT_EQ(add_string_to_string_collection(c, "second"), 0);
  ASSERT_EQ(add_text_to_string_collection(c, "!", 1), 0);
  EXPECT_STREQ(get_string_from_string_collection(c, 0), "Chapter one, and");
  EXPECT_STREQ(get_string_from_string_collection(c, 1), "second!");
  EXPECT_EQ(c->buffer_size % 8, 0);

  EXPECT_EQ(remove_last_string_in_string_collection(c), 0);
  EXPECT_EQ(get_string_cnt_in_string_collection(c), 1);
  EXPECT_EQ(get_string_from_string_collection(c, 1), nullptr);
  // The text goes to the string that is now last.
  ASSERT_EQ(add_text_to_string_collection(c, ".", 1), 0);
  EXPECT_STREQ(get_string_from_string_collection(c, 0), "Chapter one, and.");
  ASSERT_EQ(add_string_to_string_collection(c, "third"), 0);
  EXPECT_STREQ(get_string_from_string_collection(c, 1), "third");
  delete_string_collection(c);
}

TEST(StringCollection, FindsExactOrByLength) {
  StringCollection *c = new_string_collection(0);
  ASSERT_NE(c, nullptr);
  for (int i = 0; i < 250; i++) ASSERT_EQ(add_string_to_string_collection(c, ("s" + std::to_string(i)).c_str()), 0);
  add_string_to_string_collection(c, "chapter");
  EXPECT_EQ(get_string_cnt_in_string_collection(c), 251);
  EXPECT_EQ(find_string_cnt_in_string_collection(c, "s249"), 249);
  EXPECT_EQ(find_string_cnt_in_string_collection(c, "s2490"), -1);

  struct Case {
    const char *text;
    int n;
    const char *found;
  } cases[] = {
      {"chapter", -1, "chapter"}, {"chap", -1, nullptr},   {"chapter.xhtml#p1", 7, "chapter"},
      {"chapterX", 7, "chapter"}, {"chapter", 4, nullptr}, {"s12", 2, "s1"},
  };
  for (const Case &k : cases) {
    const char *got = find_string_in_string_collection(c, k.text, k.n);
    if (k.found) {
      ASSERT_NE(got, nullptr) << k.text << " " << k.n;
      EXPECT_STREQ(got, k.found);
    } else {
      EXPECT_EQ(got, nullptr) << k.text << " " << k.n;
    }
  }
  EXPECT_EQ(remove_last_string_in_string_collection(nullptr), -1);
  EXPECT_EQ(get_string_cnt_in_string_collection(nullptr), -1);
  delete_string_collection(c);
}
