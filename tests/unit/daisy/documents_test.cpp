// The NCC, text document, NCX and OPF readers, on regular files and on the
// hand-made kinds real books come in.
#include "daisy/ncc_html.h"
#include "daisy/ncx.h"
#include "daisy/opf.h"
#include "daisy/xhtml_text.h"

#include "daisy_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using daisytest::TempDir;

struct Ncc {
  Ncc(const TempDir &dir, const std::string &text) {
    dir.write("ncc.html", text);
    info = NccHtmlInfo_new();
    rc = ncc_html_parse(dir.file("ncc.html").c_str(), info);
  }
  ~Ncc() { NccHtmlInfo_free(info); }
  // "name|class|href|label" of item i.
  std::string item(int i) const {
    auto s = [](const char *p) { return std::string(p ? p : "(null)"); };
    return s(NccHtmlInfo_get_header_name(info, i)) + "|" + s(NccHtmlInfo_get_header_class(info, i)) + "|" +
           s(NccHtmlInfo_get_header_href(info, i)) + "|" + s(NccHtmlInfo_get_header_label(info, i));
  }
  NccHtmlInfo *info;
  int rc;
};

TEST(NccHtml, TitleMetasAndItems) {
  TempDir dir;
  Ncc n(dir,
        "<?xml version=\"1.0\"?><html><head><title>Part &amp; <b>One</b></title><title>Second</title>"
        "<meta name=\"dc:title\" content=\" Spaced\n title \"/><meta name=\"only-name\"/>"
        "<meta name=\"ncc:totalTime\" content=\"1:02:03\"/></head><body>"
        "<h1 class=\"title\"><a href=\"s1.smil#a\">Caf&eacute; &amp; <span>Bar</span></a></h1>"
        "<span class=\"page-normal\"><a href=\"s1.smil#b\">\n  12\n </a></span>"
        "<h2><a>no href</a></h2><div><p><a href=\"s2.smil#c\">In a div</a></p></div>"
        "<div class=\"wrap\"><h3 id=\"x\"><a href=\"s2.smil#d\">Wrapped</a><a href=\"s2.smil#e\"></a></h3></div>"
        "<a href=\"s3.smil#f\">bare</a></body></html>");
  ASSERT_EQ(n.rc, 0);
  EXPECT_STREQ(n.info->title, "Part & One");
  ASSERT_EQ(NccHtmlInfo_get_total_metas(n.info), 2);
  EXPECT_STREQ(NccHtmlInfo_find_meta(n.info, "dc:title"), "Spaced title");
  EXPECT_STREQ(NccHtmlInfo_find_meta(n.info, "ncc:totalTime"), "1:02:03");
  EXPECT_EQ(NccHtmlInfo_find_meta(n.info, "ncc:totaltime"), nullptr);
  ASSERT_EQ(NccHtmlInfo_get_total_headers(n.info), 5);
  EXPECT_EQ(n.item(0), "h1|title|s1.smil#a|Caf\xC3\xA9 & Bar");
  EXPECT_EQ(n.item(1), "span|page-normal|s1.smil#b|12");
  EXPECT_EQ(n.item(2), "div||s2.smil#c|In a div");
  EXPECT_EQ(n.item(3), "h3||s2.smil#d|Wrapped");
  EXPECT_EQ(n.item(4), "h3||s2.smil#e|");
  EXPECT_EQ(NccHtmlInfo_get_header_name(n.info, 5), nullptr);
}

TEST(NccHtml, HandMadeHtmlStillGivesItsItems) {
  TempDir dir;
  // No declaration, upper-case names, unclosed meta and br, HTML entities.
  Ncc n(dir,
        "<HTML><HEAD><META NAME=\"dc:title\" CONTENT=\"Hand&nbsp;made\"><TITLE>Hand made</TITLE>"
        "<META name=\"ncc:narrator\" content=\"N\"></HEAD><BODY>"
        "<H1 CLASS=\"title\"><A HREF=\"a.smil#1\">First&nbsp;chapter</A></H1><BR>"
        "<SPAN CLASS=\"page-normal\"><A HREF=\"a.smil#2\">2</A></SPAN>"
        "<H2><A HREF=\"b.smil#3\">Second &copy;</A></H2></BODY></HTML>");
  EXPECT_EQ(n.rc, -3);
  EXPECT_STREQ(n.info->title, "Hand made");
  EXPECT_STREQ(NccHtmlInfo_find_meta(n.info, "dc:title"), "Hand made");
  EXPECT_STREQ(NccHtmlInfo_find_meta(n.info, "ncc:narrator"), "N");
  ASSERT_EQ(NccHtmlInfo_get_total_headers(n.info), 3);
  EXPECT_EQ(n.item(0), "H1|title|a.smil#1|First chapter");
  EXPECT_EQ(n.item(1), "SPAN|page-normal|a.smil#2|2");
  EXPECT_EQ(n.item(2), "H2||b.smil#3|Second \xC2\xA9");
}

TEST(NccHtml, Latin1FileWithChineseAsCharacterReferences) {
  TempDir dir;
  Ncc n(dir,
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><html><head><title>Caf\xE9 &#20013;&#25991;</title></head>"
        "<body><h1><a href=\"s.smil#x\">&#31532;&#19968;&#31456; \xE9t\xE9</a></h1></body></html>");
  ASSERT_EQ(n.rc, 0);
  EXPECT_STREQ(n.info->title, "Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(n.item(0), "h1||s.smil#x|\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0 \xC3\xA9t\xC3\xA9");
}

TEST(NccHtml, BodyLessFileAndErrors) {
  TempDir dir;
  Ncc n(dir, "<html><title>T</title><h1><a href=\"s.smil#x\">X</a></h1></html>");
  ASSERT_EQ(NccHtmlInfo_get_total_headers(n.info), 1);
  EXPECT_EQ(n.item(0), "h1||s.smil#x|X");
  NccHtmlInfo *info = NccHtmlInfo_new();
  EXPECT_EQ(ncc_html_parse(dir.file("none.html").c_str(), info), -4);
  dir.write("empty.html", "");
  EXPECT_EQ(ncc_html_parse(dir.file("empty.html").c_str(), info), -5);
  EXPECT_EQ(ncc_html_parse(nullptr, info), -1);
  EXPECT_EQ(info->title, nullptr);
  NccHtmlInfo_free(info);
  EXPECT_EQ(NccHtmlInfo_get_total_headers(nullptr), -1);
  EXPECT_EQ(NccHtmlInfo_find_meta(nullptr, "x"), nullptr);
}

struct Text {
  Text(const TempDir &dir, const std::string &body) {
    dir.write("c.html", body);
    t = XhtmlText_new(static_cast<int>(body.size()));
    rc = xhtml_parse(dir.file("c.html").c_str(), t);
  }
  ~Text() { XhtmlText_free(t); }
  std::vector<std::string> of(const char *id) const {
    std::vector<std::string> out;
    int i = xhtml_text_find_id(t, id, 0, 1);
    for (int k = 0; k < xhtml_text_get_id_total_strings(t, i); k++) out.push_back(xhtml_text_get(t, i, k));
    return out;
  }
  XhtmlText *t;
  int rc;
};

TEST(XhtmlText, ChunksBelongToEveryEnclosingId) {
  TempDir dir;
  Text x(dir,
         "<html><head><style>p {}</style><script>var x;</script></head><body>"
         "<p id=\"a\">  One <em>two</em> three\n  <span ID=\"b\">four</span></p>"
         "<p id=\"blank\">  \n\t </p><div Id=\"c\">\xE4\xB8\xAD\xE6\x96\x87 text</div><p id=\"open\">five");
  EXPECT_EQ(x.rc, -3);
  EXPECT_EQ(x.of("a"), (std::vector<std::string>{"One", "two", "three", "four"}));
  EXPECT_EQ(x.of("b"), (std::vector<std::string>{"four"}));
  EXPECT_TRUE(x.of("blank").empty());
  EXPECT_EQ(x.of("c"), (std::vector<std::string>{"\xE4\xB8\xAD\xE6\x96\x87 text"}));
  EXPECT_EQ(x.of("open"), (std::vector<std::string>{"five"}));  // closed by the end of the file
  EXPECT_EQ(xhtml_text_get_total_ids(x.t), 5);
  EXPECT_EQ(xhtml_text_find_id(x.t, "c", 99, -1), 3);
  EXPECT_EQ(xhtml_text_find_id(x.t, "a", 2, 1), -101);
  EXPECT_EQ(xhtml_text_find_id(x.t, "a", -5, -1), 0);
  EXPECT_EQ(xhtml_text_find_id(x.t, nullptr, 0, 1), -1);
  EXPECT_EQ(xhtml_text_get(x.t, 0, 4), nullptr);
  EXPECT_EQ(xhtml_text_get(x.t, 9, 0), nullptr);
  int chinese = 0, english = 0;
  EXPECT_EQ(GetXhtmlTextChnEngCnt(x.t, &chinese, &english), 0);
  EXPECT_EQ(chinese, 2);
  EXPECT_EQ(english, 3 + 3 + 5 + 4 + 4 + 4);  // One two three four text five
}

struct Nav {
  Nav(const TempDir &dir, const std::string &body) {
    dir.write("n.ncx", body);
    n = NavInfo_new();
    rc = ncx_parse(dir.file("n.ncx").c_str(), n);
  }
  ~Nav() { NavInfo_free(n); }
  NavInfo *n;
  int rc;
};

TEST(Ncx, NavigationPointLevelsAndTargetLists) {
  TempDir dir;
  Nav x(dir,
        "<ncx><head/><docTitle><text>T</text></docTitle><navMap><content src=\"early.smil#x\"/>"
        "<navPoint><navLabel><text>1</text></navLabel><content src=\"a.smil#1\"/>"
        "<navPoint><content src=\"a.smil#2\"/><navPoint><content src=\"b.smil#3\"/></navPoint></navPoint>"
        "</navPoint><navPoint><content src=\"c.smil#4\"/></navPoint></navMap>"
        "<pageList class=\"p\"><pageTarget><navLabel><text> 1 </text></navLabel><content src=\"a.smil#p1\"/></pageTarget>"
        "<pageTarget><content src=\"a.smil#p2\"/><navLabel><text>2</text></navLabel></pageTarget>"
        "<pageTarget><navLabel><text>lost</text></navLabel></pageTarget>"
        "<pageTarget><navLabel><text>  </text></navLabel><content src=\"b.smil#p3\"/></pageTarget>"
        "</pageList><navList class=\"note\"><navTarget><navLabel><text>n</text></navLabel>"
        "<content src=\"c.smil#n1\"/></navTarget></navList><navList/></ncx>");
  ASSERT_EQ(x.rc, 0);
  ASSERT_EQ(ncx_get_total_nav_maps(x.n), 1);
  ASSERT_EQ(ncx_get_nav_map_total_refs(x.n, 0), 4);
  const int levels[] = {1, 2, 3, 1};
  const char *srcs[] = {"a.smil#1", "a.smil#2", "b.smil#3", "c.smil#4"};
  for (int j = 0; j < 4; j++) {
    EXPECT_EQ(ncx_get_nav_map_nav_point_level(x.n, 0, j), levels[j]);
    EXPECT_STREQ(ncx_get_nav_map_ref(x.n, 0, j), srcs[j]);
  }
  ASSERT_EQ(ncx_get_total_page_lists(x.n), 1);
  EXPECT_STREQ(ncx_get_page_list_class(x.n, 0), "p");
  ASSERT_EQ(ncx_get_page_list_total_refs(x.n, 0), 3);  // the target without content is skipped
  EXPECT_STREQ(ncx_get_page_list_ref_label(x.n, 0, 0), "1");
  EXPECT_STREQ(ncx_get_page_list_ref(x.n, 0, 1), "a.smil#p2");
  EXPECT_STREQ(ncx_get_page_list_ref_label(x.n, 0, 1), "2");  // label after content still pairs
  EXPECT_STREQ(ncx_get_page_list_ref(x.n, 0, 2), "b.smil#p3");
  EXPECT_STREQ(ncx_get_page_list_ref_label(x.n, 0, 2), "");
  ASSERT_EQ(ncx_get_total_nav_lists(x.n), 2);
  EXPECT_STREQ(ncx_get_nav_list_class(x.n, 0), "note");
  EXPECT_EQ(ncx_get_nav_list_class(x.n, 1), nullptr);
  EXPECT_STREQ(ncx_get_nav_list_ref_label(x.n, 0, 0), "n");
  EXPECT_EQ(ncx_get_nav_list_total_refs(x.n, 1), 0);
  EXPECT_EQ(ncx_get_nav_list_total_refs(x.n, 2), -1);
  EXPECT_EQ(ncx_get_nav_map_nav_point_level(x.n, 0, 4), -1);
  EXPECT_EQ(ncx_get_page_list_ref(x.n, 1, 0), nullptr);
  EXPECT_EQ(ncx_get_total_nav_maps(nullptr), -1);
}

struct Opf {
  Opf(const TempDir &dir, const std::string &body) {
    dir.write("p.opf", body);
    o = OpfInfo_new();
    rc = opf_parse(dir.file("p.opf").c_str(), o);
  }
  ~Opf() { OpfInfo_free(o); }
  OpfInfo *o;
  int rc;
};

TEST(Opf, MetadataManifestAndSpine) {
  TempDir dir;
  std::string longTitle(1100, 'x');
  longTitle.replace(1022, 3, "\xE4\xB8\xAD");  // a character across the 1024-byte cut
  Opf p(dir,
        "<package><metadata><dc-metadata><dc:Title xmlns:dc=\"d\">  A <i>B</i> </dc:Title>"
        "<dc:Description xmlns:dc=\"d\">" + longTitle + "</dc:Description></dc-metadata>"
        "<x-metadata><meta name=\"dtb:narrator\" content=\"N\"/><meta name=\"x\"/></x-metadata></metadata>"
        "<manifest><item id=\"s1\" href=\"s1.smil\" media-type=\"application/smil\"/>"
        "<item id=\"bad\" href=\"b.smil\"/><item id=\"ncx\" href=\"n.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
        "</manifest><spine><itemref idref=\"s1\"/><itemref/><itemref idref=\"gone\"/></spine></package>");
  ASSERT_EQ(p.rc, 0);
  ASSERT_EQ(opf_get_dcmetadata_cnt(p.o), 2);
  EXPECT_STREQ(opf_get_dcmetadata_name(p.o, 0), "dc:Title");
  EXPECT_STREQ(opf_get_dcmetadata_content(p.o, 0), "A B");
  EXPECT_EQ(std::string(opf_get_dcmetadata_content(p.o, 1)), std::string(1022, 'x'));  // cut on a character
  EXPECT_EQ(opf_get_xmetadata_cnt(p.o), 1);
  EXPECT_EQ(opf_find_xmetadata(p.o, "dtb:narrator"), 0);
  ASSERT_EQ(opf_get_manifest_cnt(p.o), 2);
  EXPECT_EQ(opf_find_manifest_id(p.o, "ncx"), 1);
  EXPECT_EQ(opf_find_manifest_mediatype(p.o, "application/smil"), 0);
  EXPECT_EQ(opf_find_manifest_id(p.o, "bad"), -101);
  EXPECT_EQ(opf_find_manifest_id(p.o, nullptr), -1);
  ASSERT_EQ(opf_get_spine_cnt(p.o), 2);
  EXPECT_STREQ(opf_get_spine(p.o, 1), "gone");
  EXPECT_EQ(opf_get_spine(p.o, 2), nullptr);
}

TEST(Opf, MetadataWithoutTheWrappers) {
  TempDir dir;
  Opf p(dir,
        "<package xmlns:dc=\"d\"><metadata><dc:title>T</dc:title><meta name=\"dtb:totalTime\" content=\"1:00\"/>"
        "</metadata><manifest/><spine/></package>");
  ASSERT_EQ(p.rc, 0);
  EXPECT_EQ(opf_find_dcmetadata(p.o, "dc:title"), 0);
  EXPECT_STREQ(opf_get_xmetadata_content(p.o, 0), "1:00");
  EXPECT_EQ(opf_get_manifest_cnt(p.o), 0);
}

}  // namespace
