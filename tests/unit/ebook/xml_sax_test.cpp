#include "ebook/xml_sax.h"

#include "ebook_test_util.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using ebooktest::TempDir;

// Records every callback as a line: "<name k=v ...", ">name", or "text".
struct Recorder : XmlSaxCallbacks {
  std::vector<std::string> events;
  std::vector<std::string> starts;
  int textCalls = 0;
  int stopAfterStarts = -1;  // store a result after this many elements
  int stopCode = 0;

  Recorder() {
    reserved1 = reserved2 = nullptr;
    result = 0;
    start_element = [](XmlSaxCallbacks *s, const char *name, const char **atts) {
      auto *r = static_cast<Recorder *>(s);
      std::string e = std::string("<") + name;
      for (int i = 0; atts && atts[i]; i += 2) e += std::string(" ") + atts[i] + "=" + atts[i + 1];
      r->events.push_back(e);
      r->starts.push_back(name);
      if (r->stopAfterStarts > 0 && static_cast<int>(r->starts.size()) >= r->stopAfterStarts) r->result = r->stopCode;
    };
    end_element = [](XmlSaxCallbacks *s, const char *name) {
      static_cast<Recorder *>(s)->events.push_back(std::string(">") + name);
    };
    characters = [](XmlSaxCallbacks *s, const char *text, int len) {
      auto *r = static_cast<Recorder *>(s);
      r->events.push_back(std::string(text, static_cast<size_t>(len)));
      r->textCalls++;
    };
  }

  std::string allText() const {
    std::string t;
    for (const std::string &e : events)
      if (e.empty() || (e[0] != '<' && e[0] != '>')) t += e;
    return t;
  }
};

// The element names and the text of a file as libxml2's own tree has them.
void treeOf(xmlNode *n, std::vector<std::string> *names, std::string *text) {
  for (; n; n = n->next) {
    if (n->type == XML_ELEMENT_NODE) {
      std::string name = n->ns && n->ns->prefix ? std::string(reinterpret_cast<const char *>(n->ns->prefix)) + ":" : "";
      names->push_back(name + reinterpret_cast<const char *>(n->name));
    } else if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
      *text += reinterpret_cast<const char *>(n->content);
    }
    treeOf(n->children, names, text);
  }
}

std::vector<std::string> sampleFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  for (const char *dir : {"/daisy202/dontworrybehappy", "/daisy202/mental_health", "/daisy3/mental_health",
                          "/daisy3/speechgen"}) {
    for (const auto &e : std::filesystem::directory_iterator(SamplesDir() + dir, ec)) {
      std::string ext = e.path().extension().string();
      if (ext == ".html" || ext == ".smil" || ext == ".ncx" || ext == ".opf" || ext == ".xml")
        files.push_back(e.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(XmlSax, SamplesDeliverEveryElementAndAllText) {
  std::vector<std::string> files = sampleFiles();
  ASSERT_GE(files.size(), 20u) << "samples missing under " << SamplesDir();
  for (const std::string &path : files) {
    Recorder r;
    EXPECT_EQ(xml_sax_parse(path.c_str(), &r), 0) << path;

    xmlDoc *doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOERROR);
    ASSERT_NE(doc, nullptr) << path;
    std::vector<std::string> names;
    std::string text;
    treeOf(xmlDocGetRootElement(doc), &names, &text);
    xmlFreeDoc(doc);
    EXPECT_EQ(r.starts, names) << path;
    EXPECT_EQ(r.allText(), text) << path;
  }
}

// The broken copies: every element of the original still reaches the
// callbacks, and the parse says the file had errors.
TEST(XmlSax, BrokenCopiesStillDeliverEveryElement) {
  TempDir dir;
  const std::string base = SamplesDir() + "/daisy202/dontworrybehappy/";
  for (const char *name : {"ncc.html", "content.html", "speechgen0002.smil"}) {
    std::string original = ReadFile(base + name);
    ASSERT_FALSE(original.empty()) << name;
    Recorder ref;
    ASSERT_EQ(xml_sax_parse((base + name).c_str(), &ref), 0);

    struct Variant {
      const char *what;
      std::string bytes;
      std::string inserted;  // text the variant adds after <body>
    };
    std::vector<Variant> variants;
    // An end tag left out in the middle of the body.
    size_t body = original.find("<body");
    size_t end = original.find("</", original.find('>', original.find("<", body + 5)));
    if (body != std::string::npos && end != std::string::npos) {
      size_t close = original.find('>', end);
      variants.push_back({"unclosed element", original.substr(0, end) + original.substr(close + 1)});
      variants.push_back({"wrong end tag", original.substr(0, end) + "</wrong>" + original.substr(close + 1)});
    }
    // Entities nobody declared.
    size_t gt = original.find('>', original.find("<body"));
    variants.push_back({"undeclared entities",
                        original.substr(0, gt + 1) + "&bogus;&nbsp;x&unknown;" + original.substr(gt + 1), "\u00a0x"});
    variants.push_back({"stray ampersand and lt", original.substr(0, gt + 1) + "a & b < c" + original.substr(gt + 1),
                        "a & b < c"});
    // The text of the reference parse with the inserted text after <body>.
    std::string before, after;
    bool inBody = false;
    for (const std::string &e : ref.events) {
      if (e.rfind("<body", 0) == 0) inBody = true;
      if (e.empty() || (e[0] != '<' && e[0] != '>')) (inBody ? after : before) += e;
    }

    for (const Variant &v : variants) {
      std::string path = dir.file("broken.xml");
      ASSERT_TRUE(WriteFile(path, v.bytes));
      Recorder r;
      EXPECT_EQ(xml_sax_parse(path.c_str(), &r), -3) << name << ": " << v.what;
      std::vector<std::string> starts = r.starts;
      starts.erase(std::remove(starts.begin(), starts.end(), "wrong"), starts.end());
      EXPECT_EQ(starts, ref.starts) << name << ": " << v.what;
      if (!v.inserted.empty()) {
        EXPECT_EQ(r.allText(), before + v.inserted + after) << name << ": " << v.what;
      }
    }

    // Truncated copies: everything before the cut arrives, text included.
    for (size_t cut : {original.size() / 3, original.size() * 2 / 3, original.size() - 3}) {
      std::string bytes = original.substr(0, cut);
      std::string path = dir.file("truncated.xml");
      ASSERT_TRUE(WriteFile(path, bytes));
      Recorder r;
      EXPECT_EQ(xml_sax_parse(path.c_str(), &r), -3) << name << " cut at " << cut;
      size_t complete = 0;  // start tags wholly inside the kept bytes
      for (size_t i = bytes.find('<'); i != std::string::npos; i = bytes.find('<', i + 1))
        if (i + 1 < bytes.size() && std::isalpha(static_cast<unsigned char>(bytes[i + 1])) &&
            bytes.find('>', i) != std::string::npos)
          complete++;
      ASSERT_LE(r.starts.size(), ref.starts.size());
      EXPECT_TRUE(std::equal(r.starts.begin(), r.starts.end(), ref.starts.begin())) << name;
      // A start tag cut in half may still be delivered.
      EXPECT_GE(r.starts.size(), complete) << name << " cut at " << cut;
      EXPECT_LE(r.starts.size(), complete + 1) << name << " cut at " << cut;
    }
  }
}

TEST(XmlSax, TextInPiecesArrivesAsOneNode) {
  // Entities, a CDATA section, character references and a text far longer
  // than the parser's own pieces and the 2048-byte chunks.
  std::string longText;
  for (int i = 0; i < 600; i++) longText += "word" + std::to_string(i) + " ";
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE book [ <!ENTITY author \"Mary &amp; Ann\"> <!ENTITY ext SYSTEM \"file:///etc/hostname\"> ]>\n"
      "<book><p id=\"a1\" class='x'>" +
      longText + "&amp; &#x4E2D;&#25991; &author;&nbsp;&eacute;<![CDATA[<raw>]]>&ext;end</p><p/></book>";
  std::string expected = longText + "& 中文 Mary & Ann\u00a0\u00e9<raw>end";

  TempDir dir;
  std::string path = dir.file("long.xml");
  ASSERT_TRUE(WriteFile(path, doc));
  Recorder r;
  EXPECT_EQ(xml_sax_parse(path.c_str(), &r), 0);
  std::vector<std::string> want = {"<book", "<p id=a1 class=x", expected, ">p", "<p", ">p", ">book"};
  EXPECT_EQ(r.events, want);

  Recorder m;
  EXPECT_EQ(xml_sax_parse_memory(doc.data(), static_cast<int>(doc.size()), "long.xml", &m), 0);
  EXPECT_EQ(m.events, want);
}

// A '<' or '&' that starts no markup is text, wherever the 2048-byte
// chunks cut the file; comments, CDATA and UTF-16 files are left alone.
TEST(XmlSax, StrayMarkupCharactersAreText) {
  const std::string text = "<<书名>> 1<2 & a&b; x &lt;&gt;&amp;&nbsp;AT&T <";
  const std::string want = "<<书名>> 1<2 & a x <>&\u00a0AT&T <";  // &b; is no entity: dropped
  for (size_t pad = 2030; pad < 2060; pad++) {
    std::string doc = "<r><!--" + std::string(pad, 'x') + " a < b --><p>" + text +
                      "</p><![CDATA[ <&]]]]><q/></r>";
    Recorder r;
    EXPECT_EQ(xml_sax_parse_memory(doc.data(), static_cast<int>(doc.size()), "stray", &r), -3) << pad;
    std::vector<std::string> want_events = {"<r", "<p", want, ">p", " <&]]", "<q", ">q", ">r"};
    EXPECT_EQ(r.events, want_events) << pad;
  }
  std::string u16 = "\xFF\xFE" + ebooktest::convert("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>a &amp; b</r>",
                                                    "UTF-16LE", "UTF-8");
  Recorder r;
  EXPECT_EQ(xml_sax_parse_memory(u16.data(), static_cast<int>(u16.size()), "utf16", &r), 0);
  EXPECT_EQ(r.allText(), "a & b");
}

TEST(XmlSax, CallbackStopsTheParseAtOnce) {
  std::string doc = "<root>";
  for (int i = 0; i < 20000; i++) doc += "<item n=\"" + std::to_string(i) + "\">text</item>";
  doc += "</root>";
  TempDir dir;
  std::string path = dir.file("big.xml");
  ASSERT_TRUE(WriteFile(path, doc));

  for (int stopAfter : {1, 3, 500}) {
    Recorder r;
    r.stopAfterStarts = stopAfter;
    r.stopCode = 42;
    r.result = 99;  // cleared by the parse
    EXPECT_EQ(xml_sax_parse(path.c_str(), &r), 42);
    EXPECT_EQ(static_cast<int>(r.starts.size()), stopAfter);
    EXPECT_EQ(r.events.back().substr(0, 5), stopAfter == 1 ? "<root" : "<item");
  }
}

TEST(XmlSax, ResultsForMissingEmptyAndHostileInput) {
  TempDir dir;
  Recorder r;
  EXPECT_EQ(xml_sax_parse(nullptr, &r), -1);
  EXPECT_EQ(xml_sax_parse(dir.file("x.xml").c_str(), nullptr), -1);
  EXPECT_EQ(xml_sax_parse(dir.file("missing.xml").c_str(), &r), -4);
  ASSERT_TRUE(WriteFile(dir.file("empty.xml"), ""));
  EXPECT_EQ(xml_sax_parse(dir.file("empty.xml").c_str(), &r), -5);
  EXPECT_EQ(xml_sax_parse_memory("", 0, "empty", &r), -5);

  // Entities that expand a billion times, binary junk and a lone tag: each
  // ends (quickly) with an error, never a crash.
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\">";
  for (char c = 'b'; c <= 'j'; c++) {
    laughs += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; i++) laughs += std::string("&") + static_cast<char>(c - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><l>&j;</l>";
  std::string junk;
  for (int i = 0; i < 5000; i++) junk += static_cast<char>((i * 7919) & 0xFF);
  for (const std::string &bytes : {laughs, junk, std::string("<"), std::string("<a b='")}) {
    Recorder h;
    int rc = xml_sax_parse_memory(bytes.data(), static_cast<int>(bytes.size()), "hostile", &h);
    EXPECT_EQ(rc, -3);
    EXPECT_LT(h.allText().size(), 100000u);
  }
}

TEST(XmlSax, AttributeAndWhiteSpaceHelpers) {
  const char *atts[] = {"id", "p1", "Src", "a.mp3", "src", "b.mp3", nullptr};
  EXPECT_STREQ(get_xml_attribute(atts, "src"), "b.mp3");
  EXPECT_STREQ(get_xml_attribute_caseless(atts, "SRC"), "a.mp3");
  EXPECT_EQ(get_xml_attribute(atts, "class"), nullptr);
  EXPECT_EQ(get_xml_attribute(nullptr, "id"), nullptr);

  struct Case {
    std::string text;
    int len;
  } cases[] = {
      {"abc \r\n", 3},       {"abc", 3},    {" \t\n", 0},          {"a\x0b", 2}, {"a\x0c", 2},
      {std::string("a\0", 2), 2}, {"a\x01\x05\x0a\x0d ", 1}, {"", 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(get_no_white_space_len(c.text.data(), static_cast<int>(c.text.size())), c.len) << c.text;
}

}  // namespace
