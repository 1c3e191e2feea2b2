// libFuzzer targets of the small parsers: one source, two targets (see
// CMakeLists.txt). The first input byte picks the parser, the rest is its
// input, so a few binaries cover many parsers and the build stays short.
//   fuzz_text  (INPUT_FUZZ_STORES 0): text and markup that arrive in books
//              and on cards: plain-text books in every character set and
//              their pages, the sentence splitter, lyrics, the PDF tools'
//              output, the SAX layer (XML and HTML), the polyphone table,
//              the toolbox's resource files, file names.
//   fuzz_store (INPUT_FUZZ_STORES 1): what the player reads back from its
//              own files and from the system: the settings file with its
//              menu, bookmark and history blocks, the alarm file, the radio
//              station list, the memo and reminder indexes, virtual-key
//              messages, /proc/cmdline and /proc/version.
// The host board's root is a folder of this process, so the fixed paths
// land there. The sanitizers report what goes wrong; libFuzzer's limits
// catch a hang or unbounded memory.
#include "board/board.h"
#include "board/host/host.h"
#include "core/clock/alarm.h"
#include "core/clock/reminder.h"
#include "core/library/bookmark.h"
#include "core/runtime/app.h"
#include "core/runtime/config.h"
#include "core/runtime/globals.h"
#include "core/runtime/log.h"
#include "core/runtime/machine.h"
#include "core/runtime/vkey.h"
#include "ebook/charset.h"
#include "ebook/ebook_lines.h"
#include "ebook/ebook_parser.h"
#include "ebook/xml_sax.h"
#include "menu/mdata.h"
#include "radio/radio.h"
#include "radio/tuner.h"
#include "record/record.h"
#include "speech/duoying.h"
#include "toolbox/res_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

std::string g_root;  // the board's root folder, made once
constexpr char kCmdline[] = "console=ttyS0 hard_ver=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4";

std::string under(const char *path) { return g_root + path; }

void writeFile(const std::string &path, std::string_view bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Removes what a parser kept aside (damaged copies) and the board's command
// log, so that a long run does not fill the disk.
void tidy(const char *folder) {
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(under(folder), ec)) {
    std::string name = e.path().filename().string();
    if (name.find(".bad") != std::string::npos || name.find(".bak") != std::string::npos)
      std::filesystem::remove(e.path(), ec);
  }
  truncate(BoardHostFile("commands.txt").c_str(), 0);
}

// ---- text and markup ----

// Every page of a book record opened on the input, each page through the
// sentence splitter and the paragraph counter as the reader does.
void readBook(const char *fixedPath, std::string_view bytes) {
  writeFile(under(fixedPath), bytes);
  ebook_parser parser = *find_ebook_parser(fixedPath);
  parser.context = nullptr;
  if (parser.open(&parser, fixedPath) != 0) return;
  static EbookLines lines;
  const char *text = nullptr;
  int pages = parser.get_total_pages(&parser);
  for (int i = 0; i < pages && i < 64; i++) {
    int n = parser.read_page(&parser, i, &text);
    if (n <= 0 || !text) continue;
    if (n > 0x10000) std::abort();
    InitLineInfo(&lines, text, n);
    ParagraphsBefore(std::min(i, kEbookMaxPages), text, n / 2);
    for (int s = 0; s < lines.count; s++) {
      int len = 0;
      GetSentence(&lines, s, &len);
    }
  }
  parser.close(&parser);
}

// What the PDF tools print: the info program's page count, a page of text
// as the reader takes it (the program runs only on the board; here each run
// would start two processes).
void pdfOutput(std::string_view bytes) {
  std::string text(bytes);
  pdf_info_pages(text.c_str());
  static EbookLines lines;
  InitLineInfo(&lines, text.data(), static_cast<int>(text.size()));
}

void charsets(std::string_view bytes) {
  const auto *b = reinterpret_cast<const unsigned char *>(bytes.data());
  int n = static_cast<int>(bytes.size());
  int set = get_charset(b, n);
  PageSizeFunc size = get_page_size_func(set);
  static char out[4 * 1024];
  for (int at = 0; at < n;) {
    int page = size(b + at, n - at);
    if (page <= 0 || page > n - at) std::abort();  // the cut must move on and stay inside
    charset_page_to_utf8(set, bytes.data() + at, page, out, sizeof out);
    at += page;
  }
  std::string name(bytes.substr(0, 255));
  name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
  std::string text = charset_name_text(name.c_str());
  CountLines(text.data(), static_cast<int>(text.size()));
  CountParagraphBreaks(text.data(), static_cast<int>(text.size()));
  EndsWithBreak(text.data(), 0, static_cast<int>(text.size()));
}

struct SaxCount : XmlSaxCallbacks {
  long events = 0;
};

void sax(std::string_view bytes, bool html) {
  SaxCount s{};
  s.on([](XmlSaxCallbacks *st, const char *, const char **attributes) {
         static_cast<SaxCount *>(st)->events++;
         get_xml_attribute(attributes, "id");
         get_xml_attribute_caseless(attributes, "HREF");
       },
       [](XmlSaxCallbacks *st, const char *) { static_cast<SaxCount *>(st)->events++; },
       [](XmlSaxCallbacks *st, const char *text, int length) {
         static_cast<SaxCount *>(st)->events++;
         get_no_white_space_len(text, length);
       });
  int n = static_cast<int>(bytes.size());
  if (html) html_sax_parse_memory(bytes.data(), n, "fuzz.html", &s);
  else xml_sax_parse_memory(bytes.data(), n, "fuzz.xml", &s);
}

// The table is the input's first half up to a zero byte, the text to
// convert what follows it.
void polyphones(std::string_view bytes) {
  size_t cut = std::min(bytes.find('\0'), bytes.size());
  writeFile(under("/mnt/emmc/duo_ying_zi.res"), bytes.substr(0, cut));
  // A new modification time each run: the table is read again.
  static long stamp = 1;
  struct timeval times[2] = {{stamp, 0}, {stamp, 0}};
  stamp++;
  utimes(under("/mnt/emmc/duo_ying_zi.res").c_str(), times);
  reload_duoying_file();
  std::string text(cut < bytes.size() ? bytes.substr(cut + 1) : std::string_view("中文"));
  static char out[1024];
  DuoYingConvert(text.c_str(), out, sizeof out);
  int len = 0;
  convert_utf8(text.data(), static_cast<int>(text.size()), &len);
  int codes[4];
  GetHCode(codes, text.c_str());
}

void resources(std::string_view bytes) {
  writeFile(under("/home/res.txt"), bytes);
  ResCtrl ctrl;
  if (InitSourceFile("/home/res.txt", &ctrl) != 0) return;
  ResData data;
  InitResData(&data);
  for (int i = 0; i < std::min(ctrl.index_num, 32); i++) {
    if (ReadSourceFile(&ctrl.index[static_cast<size_t>(i)], &ctrl, &data) != 0) continue;
    for (int which : {-1, -2, -3, -4, 0, 1, kResFirstFields | 2}) {
      char *text = nullptr;
      if (ResDataToUtfStr(&ctrl, &data, &text, which) == 0) delete[] text;
    }
  }
  if (ctrl.index_num > 0) find(ctrl.index[0].id, ctrl.index.data(), ctrl.index_num);
  FreeResData(&data);
  DeInitSourceFile(&ctrl);
}

void textParsers(uint8_t which, std::string_view bytes) {
  switch (which % 10) {
    case 0: readBook("/mnt/emmc/book.txt", bytes); break;
    case 1: readBook("/mnt/emmc/book.ebk", bytes); break;
    case 2: readBook("/mnt/emmc/song.lrc", bytes); break;
    case 3: pdfOutput(bytes); break;
    case 4: charsets(bytes); break;
    case 5: sax(bytes, false); break;
    case 6: sax(bytes, true); break;
    case 7: polyphones(bytes); break;
    case 8: resources(bytes); break;
    default: {
      static EbookLines lines;
      InitLineInfo(&lines, bytes.data(), static_cast<int>(bytes.size()));
      break;
    }
  }
}

// ---- the player's own files and the system's ----

void settings(std::string_view bytes) {
  writeFile(under("/home/q7cfg.xml"), bytes);
  _LoadConfig("/home/q7cfg.xml");
  // The bookmark and history lists as the browser and the players look them up.
  for (int type = 0; type < MARK_TYPES; type++) {
    for (int i = 0; i < MarkArryTotal(type); i++)
      if (const Mark *m = MarkArryGet(type, i)) MarkFind(type, m->path.c_str(), m->title.c_str());
    MarkClean(type);
  }
  static uint32_t table[kMarkTableLength];
  GetTotalMark(1, table, kMarkTableLength);
}

void stations(std::string_view bytes) {
  writeFile(under("/home/radio.xml"), bytes);
  Radio radio;
  radio.chip_name = "ar1019";
  radio.bands.resize(1);
  TunerSetArea(&radio.bands[0], 0);
  RadioLoadStation(&radio, "/home/radio.xml");
  tidy("/home");
}

void storeParsers(uint8_t which, std::string_view bytes) {
  std::string text(bytes);  // NUL-terminated for the C-string parsers
  switch (which % 8) {
    case 0: settings(bytes); break;
    case 1:
      writeFile(under("/home/alarm.xml"), bytes);
      LoadAlarm("/home/alarm.xml");
      tidy("/home");
      break;
    case 2: stations(bytes); break;
    case 3: MemoParseIndex(bytes); break;
    case 4:
      TagIndexLines(bytes, [](std::string_view line) {
        VoiceRemind r;
        if (RmdParseLine(line, &r) == 0) {
          RmdFormatLine(&r);
          RmdGetTimeAt(&r, 0);
        }
      });
      break;
    case 5: VkeyHandleMessage(bytes.data(), static_cast<int>(bytes.size())); break;
    case 6:
      ParseCommandLine(text.c_str());
      ReadVerFromStr(text.c_str());
      ParseCommandLine(kCmdline);  // the next settings file is read as this device's
      break;
    default: ParseKernelVersion(text.c_str()); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  LogSetLevel(-1);  // every damaged file is logged
  char tmpl[] = "/tmp/input-fuzz-XXXXXX";
  const char *d = mkdtemp(tmpl);
  if (!d) std::abort();
  g_root = d;
  for (const char *f : {"/home", "/mnt/emmc", "/tmp"}) std::filesystem::create_directories(under(f));
  BoardHostOptions o;
  o.root = g_root;
  o.audio = "null";
  if (BoardHostConfigure(o) != 0) std::abort();
  if (register_iconv_cd() != 0) return 1;
  AppRegisterHooks();
  MenuInit();
  BookMarkInit();
  ParseCommandLine(kCmdline);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
  if (INPUT_FUZZ_STORES) storeParsers(data[0], bytes);
  else textParsers(data[0], bytes);
  static unsigned runs = 0;
  if (++runs % 4096 == 0) truncate(BoardHostFile("commands.txt").c_str(), 0);
  return 0;
}
