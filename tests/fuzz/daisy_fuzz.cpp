// libFuzzer targets of the DAISY readers. One source, one target per reader
// (DAISY_FUZZ_READER picks it, see CMakeLists.txt): the input is written to a
// file and parsed as that kind of file; the "book" target makes the input
// the middle SMIL file of a small book and walks the book through the DAISY
// 2.02 navigator. The sanitizers report what goes wrong.
#include "core/runtime/log.h"
#include "daisy/daisy202.h"
#include "daisy/ncc_html.h"
#include "daisy/ncx.h"
#include "daisy/opf.h"
#include "daisy/smil.h"
#include "daisy/xhtml_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

enum { kNcc, kSmil, kXhtml, kNcx, kOpf, kBook };

// A folder of this process, made once.
const std::string &folder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/daisy-fuzz-XXXXXX";
    const char *d = mkdtemp(tmpl);
    if (!d) std::abort();
    return std::string(d);
  }();
  return dir;
}

void writeFile(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

void writeText(const std::string &path, const std::string &text) {
  writeFile(path, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

void walkBook(const uint8_t *data, size_t size) {
  const std::string &d = folder();
  static bool made = false;
  if (!made) {
    writeText(d + "/ncc.html",
              "<html><head><title>F</title></head><body><h1><a href=\"a.smil#p1\">A</a></h1>"
              "<span class=\"page-normal\"><a href=\"b.smil#p2\">1</a></span><h2><a href=\"b.smil#x\">B</a></h2>"
              "<h1><a href=\"c.smil#p3\">C</a></h1></body></html>");
    const char *smil =
        "<smil><head><meta name=\"ncc:timeInThisSmil\" content=\"0:00:02\"/></head><body><seq>"
        "<par id=\"%s\"><text src=\"t.html#t1\"/><audio src=\"a.mp3\" clip-begin=\"npt=0s\" clip-end=\"npt=2s\"/></par>"
        "</seq></body></smil>";
    char buf[512];
    std::snprintf(buf, sizeof buf, smil, "p1");
    writeText(d + "/a.smil", buf);
    std::snprintf(buf, sizeof buf, smil, "p3");
    writeText(d + "/c.smil", buf);
    writeText(d + "/t.html", "<html><body><p id=\"t1\">One <b>two</b></p><p id=\"x\">Three</p></body></html>");
    made = true;
  }
  writeFile(d + "/b.smil", data, size);
  if (daisy202_open((d + "/ncc.html").c_str()) != 0) return;
  DaisyPlayItem *item = nullptr;
  const char *text = nullptr;
  daisy202_start(&item);
  for (int i = 0; i < 5000 && item && item->kind != DAISY_ITEM_END; i++) daisy202_continue(&item);
  for (int i = 0; i < 5000 && item && item->kind != DAISY_ITEM_BEGIN; i++) daisy202_last_phrase(&item);
  daisy202_next_page(&item);
  daisy202_last_par(&item);
  daisy202_next_nav_point(2, &item);
  daisy202_last_nav_point(1, &item);
  daisy202_time_jump(1500, &item, &text);
  daisy202_set_audio_pos(1900);
  DaisyBookMarkInfo mark;
  daisy202_get_book_mark_info(&mark);
  daisy202_go_to_book_mark(&mark, &item);
  daisy202_get_cur_time();
  daisy202_close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LogSetLevel(-1);  // the readers log every damaged file
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1 << 20)) return 0;
  if (DAISY_FUZZ_READER == kBook) {
    walkBook(data, size);
    return 0;
  }
  std::string path = folder() + "/input";
  writeFile(path, data, size);
  switch (DAISY_FUZZ_READER) {
    case kNcc: {
      NccHtmlInfo *n = NccHtmlInfo_new();
      ncc_html_parse(path.c_str(), n);
      for (int i = 0; i < NccHtmlInfo_get_total_headers(n); i++) NccHtmlInfo_get_header_label(n, i);
      NccHtmlInfo_free(n);
      break;
    }
    case kSmil: {
      for (int daisy3 = 0; daisy3 < 2; daisy3++) {
        DsySmlInfo *s = DsySmlInfo_new(static_cast<int>(size), daisy3);
        smil_parse(path.c_str(), s);
        for (int i = 0; i < s->count; i++)
          if (s->kind[i] == SMIL_TEXT) smil_check_text_element_is_only_text(s, i);
        smil_find_id(s, "p1", s->count / 2, -1);
        DsySmlInfo_free(s);
      }
      std::string clock(reinterpret_cast<const char *>(data), size < 64 ? size : 64);
      clipping_and_clock_value_to_ms(clock.c_str());
      break;
    }
    case kXhtml: {
      XhtmlText *t = XhtmlText_new(static_cast<int>(size));
      xhtml_parse(path.c_str(), t);
      int chinese, english;
      GetXhtmlTextChnEngCnt(t, &chinese, &english);
      for (int i = 0; i < xhtml_text_get_total_ids(t); i++) xhtml_text_get(t, i, 0);
      XhtmlText_free(t);
      break;
    }
    case kNcx: {
      NavInfo *n = NavInfo_new();
      ncx_parse(path.c_str(), n);
      NavInfo_free(n);
      break;
    }
    case kOpf: {
      OpfInfo *o = OpfInfo_new();
      opf_parse(path.c_str(), o);
      OpfInfo_free(o);
      break;
    }
    default:
      break;
  }
  return 0;
}
