// The XML access functions and the dollar escapes.
#include "core/runtime/xml.h"

#include "cfgtest_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <string>

namespace {

XmlDocPtr ParseText(const std::string &text) {
  return XmlDocPtr(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, 0));
}

// The first child node of the root element.
xmlNode *Inside(const XmlDocPtr &doc) { return xmlDocGetRootElement(doc.get())->children; }

TEST(XmlEscape, RoundTripsEveryByteOfAName) {
  const char *cases[] = {
      "/mnt/emmc/a&b$c.txt",
      "<>&\"'$",
      "/mnt/emmc/音乐/歌.mp3",
      "/mnt/sdcard/\xd2\xf4\xc0\xd6/x.mp3",  // a folder name in GBK
      "$x41 stays $x41",
      "tab\there\x01\x7f",
      "",
  };
  for (const char *src : cases) {
    char escaped[256];
    Str2XmlStr(src, escaped, sizeof escaped);
    for (const char *c = "<>&\"'"; *c; c++) EXPECT_EQ(std::strchr(escaped, *c), nullptr) << src;
    EXPECT_STREQ(XmlStr2Str(escaped), src);
  }
}

TEST(XmlEscape, UsesTheDigitEscapes) {
  char out[64];
  EXPECT_STREQ(Str2XmlStr("a&b$c", out, sizeof out), "a$2b$5c");
  EXPECT_STREQ(Str2XmlStr("<\">'", out, sizeof out), "$0$3$1$4");
  EXPECT_STREQ(Str2XmlStr("\xff", out, sizeof out), "$xFF");
}

TEST(XmlEscape, StopsBeforeAnEscapeThatDoesNotFit) {
  struct {
    const char *src;
    int size;
    const char *want;
  } cases[] = {
      {"abc", 4, "abc"},
      {"abcd", 4, "abc"},
      {"ab&", 4, "ab"},       // "$2" needs two bytes, one is left
      {"a&", 4, "a$2"},
      {"a音", 4, "a"},        // a character is never cut in half
      {"a\xff", 5, "a"},      // nor an escape of a byte
      {"x", 1, ""},
  };
  for (const auto &c : cases) {
    char out[16];
    std::memset(out, 'Z', sizeof out);
    EXPECT_STREQ(Str2XmlStr(c.src, out, c.size), c.want) << c.src << " in " << c.size;
  }
}

TEST(XmlEscape, UnknownDollarStaysAndTheNextCharacterCounts) {
  struct {
    const char *in;
    const char *want;
  } cases[] = {
      {"$9", "$9"}, {"a$", "a$"}, {"$$5", "$$"}, {"$x4", "$x4"}, {"$x00", "$x00"}, {"$xg1", "$xg1"}, {"$2$0", "&<"},
  };
  for (const auto &c : cases) {
    std::string text = c.in;
    EXPECT_STREQ(XmlStr2Str(text.data()), c.want) << c.in;
  }
}

TEST(XmlValue, ReadsDecimalTextOnly) {
  XmlDocPtr doc = ParseText(
      "<r><a>12</a><neg>-7</neg><bad>12ab</bad><empty></empty><sp> 5 </sp><big>99999999999</big>"
      "<child><x>1</x></child><a>99</a></r>");
  struct {
    const char *name;
    int rc;
    int value;
  } cases[] = {
      {"a", 0, 12},     // the first of two elements of that name
      {"neg", 0, -7},   {"bad", -3, 0}, {"empty", -2, 0}, {"sp", 0, 5},
      {"big", -3, 0},   {"child", -2, 0}, {"missing", -1, 0}, {"A", -1, 0},
  };
  for (const auto &c : cases) {
    int v = 0;
    EXPECT_EQ(XxmlGetValue(Inside(doc), c.name, &v), c.rc) << c.name;
    if (c.rc == 0) {
      EXPECT_EQ(v, c.value) << c.name;
    }
  }
  int v;
  EXPECT_EQ(XxmlGetValue(nullptr, "a", &v), -1);
}

TEST(XmlValue, PathsStepThroughElements) {
  XmlDocPtr doc = ParseText("<r><a><b><c>3</c><s>x$2y</s><n></n></b></a><top>4</top></r>");
  struct {
    const char *path;
    int rc;
    int value;
  } cases[] = {
      {"a/b/c", 0, 3}, {"top", 0, 4},  {"a/b/", -1, 0}, {"", -1, 0},   {"/a/b/c", -2, 0},
      {"a/x/c", -2, 0}, {"a/b/z", -2, 0}, {"a/b/s", -3, 0}, {"a/b/n", -3, 0}, {"a//c", -2, 0},
  };
  for (const auto &c : cases) {
    int v = 0;
    EXPECT_EQ(XxmlPathGetValue(Inside(doc), c.path, &v), c.rc) << c.path;
    if (c.rc == 0) {
      EXPECT_EQ(v, c.value) << c.path;
    }
  }
  xmlNode *b = XxmlEnterPath(Inside(doc), "a/b");
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char *>(b->name), "c");
  EXPECT_EQ(XxmlEnterPath(Inside(doc), "/a"), nullptr);
  EXPECT_EQ(XxmlEnterPath(Inside(doc), ""), nullptr);
  EXPECT_EQ(XxmlEnterPath(Inside(doc), "a/q"), nullptr);

  char *text = nullptr;
  EXPECT_EQ(XxmlPathGetStr(Inside(doc), "a/b/s", &text), 0);
  EXPECT_STREQ(text, "x&y");
  EXPECT_EQ(XxmlPathGetStr(Inside(doc), "a/b/n", &text), 0);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(XxmlPathGetStr(Inside(doc), "a/b/q", &text), -2);
  EXPECT_EQ(XxmlPathGetStr(Inside(doc), "a/", &text), -1);
}

TEST(XmlValue, TextIsUnescapedInsideTheTree) {
  // Short texts may be shared through the parser's dictionary: unescaping
  // one must not change another.
  XmlDocPtr doc = ParseText("<r><p>$5</p><q>$5</q><s>a$0b</s></r>");
  char *p = nullptr, *s = nullptr;
  ASSERT_EQ(XxmlGetStr(Inside(doc), "p", &p), 0);
  EXPECT_STREQ(p, "$");
  ASSERT_EQ(XxmlGetStr(Inside(doc), "s", &s), 0);
  EXPECT_STREQ(s, "a<b");
  xmlNode *q = Inside(doc);
  while (std::strcmp(reinterpret_cast<const char *>(q->name), "q")) q = q->next;
  EXPECT_STREQ(reinterpret_cast<const char *>(q->children->content), "$5");
}

TEST(XmlFile, ReadsFilesWithTextInAnotherEncoding) {
  TempRoot root;
  root.write("/home/a.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><p>/mnt/\xd2\xf4</p><v>7</v></r>");
  root.write("/home/b.xml", "<r><p>cut");
  root.write("/home/c.xml", "");
  root.write("/home/d.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><r><p>\xd2\xf4</p></r>");
  XmlDocPtr doc;
  ASSERT_EQ(XxmlReadFile("/home/a.xml", &doc), 0);
  char *text = nullptr;
  ASSERT_EQ(XxmlGetStr(Inside(doc), "p", &text), 0);
  EXPECT_STREQ(text, "/mnt/\xd2\xf4");
  int v = 0;
  EXPECT_EQ(XxmlGetValue(Inside(doc), "v", &v), 0);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(XxmlReadFile("/home/b.xml", &doc), -2);
  EXPECT_EQ(XxmlReadFile("/home/c.xml", &doc), -2);
  EXPECT_EQ(XxmlReadFile("/home/none.xml", &doc), -1);
  ASSERT_EQ(XxmlReadFile("/home/d.xml", &doc), 0);  // declared GBK: converted by the parser
  ASSERT_EQ(XxmlGetStr(Inside(doc), "p", &text), 0);
  EXPECT_STREQ(text, "音");
}

TEST(XmlFile, SaveReplacesTheFileAndLeavesNoTemporary) {
  TempRoot root;
  root.write("/home/s.xml", "old");
  XmlDocPtr doc = ParseText("<r><a>1</a></r>");
  ASSERT_EQ(XxmlSaveFile(doc.get(), "/home/s.xml"), 0);
  EXPECT_NE(root.read("/home/s.xml").find("<a>1</a>"), std::string::npos);
  EXPECT_FALSE(root.exists("/home/s.xml.tmp"));
  EXPECT_EQ(XxmlSaveFile(doc.get(), "/nofolder/s.xml"), -1);
  EXPECT_FALSE(root.exists("/nofolder/s.xml.tmp"));
}

}  // namespace
