// Time to the first spoken sentence of a 50 MiB text book, and memory.
//
// A GBK book of 50 MiB (numbered paragraphs of everyday prose) is written
// under a temporary board root. Each measurement runs in a child process,
// so that its peak RSS (getrusage) is its own:
//   reader    what the reader does on open: the txt record's open (paging
//             its first megabyte), the whole-book sentence and paragraph count started in
//             the background (EbookCountStart), page 0 split into
//             sentences, the first sentence handed to the speech engine,
//             and its first PCM block (when the engine and its data are
//             there); then the time the background count took;
//   count first  the old path: the whole book paged and counted
//             (doExtraInit) before page 0;
//   baseline  one plain pass over the bytes: GBK to UTF-8 with iconv in
//             256 KiB pieces, counting bytes and line ends (iconv | wc).
// Figures only; nothing is asserted.
//
//   bench_ebook_open [--keep] [MiB]
#include "bench/bench_util.h"
#include "board/board.h"
#include "board/host/host.h"
#include "core/runtime/log.h"
#include "ebook/charset.h"
#include "ebook/ebook_count.h"
#include "ebook/ebook_lines.h"
#include "ebook/ebook_parser.h"
#include "speech/duoying.h"
#include "speech/tts.h"
#include "ttsengine/ivtts.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::inChild;
using bench::maxRssKb;
using bench::msSince;

constexpr char kBook[] = "/mnt/emmc/big.txt";

std::string toGbk(const std::string &utf8) {
  iconv_t cd = iconv_open("GB18030", "UTF-8");
  std::string out(utf8.size() * 2 + 16, '\0');
  char *ip = const_cast<char *>(utf8.data());
  size_t il = utf8.size();
  char *op = out.data();
  size_t ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

// Writes about mib MiB of numbered GBK paragraphs. Returns the byte count.
long long writeBook(const std::string &path, int mib) {
  const std::string head = toGbk("第");
  const std::string tail = toGbk(
      "段。春天来了，花开了，鸟儿在树上唱歌！"
      "小明和他的朋友们去公园玩，他们看见湖里有很多小鱼。"
      "天快黑的时候，他们才回家；妈妈已经做好了晚饭。"
      "第二天早上，太阳照常升起，新的一天开始了。\r\n");
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  const long long want = static_cast<long long>(mib) << 20;
  long long bytes = 0;
  std::string chunk;
  for (long long i = 1; bytes < want; i++) {
    chunk += head + std::to_string(i) + tail;
    if (chunk.size() > (1u << 20) || bytes + static_cast<long long>(chunk.size()) >= want) {
      f.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      bytes += static_cast<long long>(chunk.size());
      chunk.clear();
    }
  }
  return bytes;
}

struct FirstPcm {
  std::atomic<int64_t> at{0};
};

int sink(void *user, void *, int) {
  auto *f = static_cast<FirstPcm *>(user);
  int64_t zero = 0;
  f->at.compare_exchange_strong(zero, BoardMonotonicUs());
  return -1;  // keep nothing: the first block is all that is timed
}

void finish(void *) {}

// The reader's open path; count: the old one, with the whole-book count
// before the first sentence; else the count runs in the background.
void readerOpen(bool count) {
  const char *label = count ? "count first" : "reader";
  const long rss0 = maxRssKb();
  const int64_t t0 = BoardMonotonicUs();
  ebook_parser parser = ebook_parser_for_txt;
  if (parser.open(&parser, kBook) != 0) {
    std::printf("open failed\n");
    return;
  }
  // The reader takes the pages found so far; the old path paged it all.
  const int known = ebook_text_known_pages(&parser);
  const int pages = count || known < 0 ? parser.get_total_pages(&parser) : known;
  const double openMs = msSince(t0);
  int64_t t1 = BoardMonotonicUs();
  if (count) doExtraInit(&parser, pages);
  else EbookCountStart(&ebook_parser_for_txt, kBook, 0, &parser);
  const double countMs = msSince(t1);
  const char *text = nullptr;
  int n = parser.read_page(&parser, 0, &text);
  static EbookLines lines;
  InitLineInfo(&lines, text, n);
  int len = 0;
  const char *s = GetSentence(&lines, 0, &len);
  std::string sentence = SpeakableSentence(s, len);
  int outLen = 0;
  const char *out = convert_utf8(sentence.c_str(), static_cast<int>(sentence.size()), &outLen);
  const double handedMs = msSince(t0);
  // The engine starts at the reader's creation, before the book opens; its
  // start is not part of the open.
  auto app = std::make_unique<TtsApp>();
  TtsGetDefaultParam(app->params);
  app->params[TTS_PARAM_CODEPAGE] = 65001;
  std::snprintf(app->name, sizeof app->name, "EBOOK_TTS");
  app->tempo = 1;
  FirstPcm first;
  double pcmMs = -1;
  if (tts_init(app.get(), sink, finish, &first) == 0) {
    const int64_t t2 = BoardMonotonicUs();
    tts_synth_sentence(app.get(), out, outLen);
    while (first.at.load() == 0 && BoardMonotonicUs() - t2 < 10000000)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (first.at.load()) pcmMs = handedMs + static_cast<double>(first.at.load() - t2) / 1000.0;
    tts_stop(app.get());
    tts_deinit(app.get());
  }
  char pcm[32] = "n/a (no engine data)";
  if (pcmMs >= 0) std::snprintf(pcm, sizeof pcm, "%.1f ms", pcmMs);
  std::printf("%-11s open (paging %s) %.1f ms + count %.1f ms -> first sentence handed %.1f ms (goal < 100), first "
              "PCM %s\n",
              label, count ? "all" : "the first MiB", openMs, countMs, handedMs, pcm);
  if (!count) {
    EbookCountJoin();
    std::printf("%-11s whole-book count done in the background %.1f ms after the open\n", label, msSince(t0));
  }
  std::printf("%-11s peak RSS %.1f MiB (%.1f before)\n", label, maxRssKb() / 1024.0, rss0 / 1024.0);
  parser.close(&parser);
}

void baseline() {
  const long rss0 = maxRssKb();
  const int64_t t0 = BoardMonotonicUs();
  FILE *f = std::fopen(BoardPath(kBook).c_str(), "rb");
  if (!f) return;
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  std::vector<char> in(256 * 1024), out(1024 * 1024);
  long long bytes = 0, lines = 0;
  size_t carry = 0;
  for (;;) {
    size_t n = std::fread(in.data() + carry, 1, in.size() - carry, f);
    if (n == 0) break;
    char *ip = in.data();
    size_t il = carry + n;
    char *op = out.data();
    size_t ol = out.size();
    iconv(cd, &ip, &il, &op, &ol);  // an incomplete character at the end waits for the next piece
    for (char *p = out.data(); p < op; p++) lines += *p == '\n';
    bytes += op - out.data();
    std::memmove(in.data(), ip, il);
    carry = il;
  }
  iconv_close(cd);
  std::fclose(f);
  std::printf("%-11s one pass GBK -> UTF-8 + line count: %.1f ms (%lld UTF-8 bytes, %lld lines), peak RSS %.1f MiB "
              "(%.1f before)\n",
              "baseline", msSince(t0), bytes, lines, maxRssKb() / 1024.0, rss0 / 1024.0);
}


}  // namespace

int main(int argc, char **argv) {
  bool keep = false;
  int mib = 50;
  for (int i = 1; i < argc; i++) {
    if (std::string(argv[i]) == "--keep") keep = true;
    else mib = std::max(1, std::atoi(argv[i]));
  }
  LogSetLevel(-1);
  char tmpl[] = "/tmp/bench-ebook-XXXXXX";
  const char *root = mkdtemp(tmpl);
  if (!root) return 1;
  for (const char *d : {"/home", "/mnt/emmc"}) std::filesystem::create_directories(std::string(root) + d);
  BoardHostOptions o;
  o.root = root;
  o.audio = "null";
  BoardHostConfigure(o);
  std::error_code ec;
  std::filesystem::copy_file(TB_SOURCE_DIR "/data/Resource.irf", std::string(root) + "/home/Resource.irf", ec);
  if (register_iconv_cd() != 0) return 1;
  const int64_t t0 = BoardMonotonicUs();
  long long bytes = writeBook(BoardPath(kBook), mib);
  std::printf("book: %lld bytes of GBK text written in %.0f ms\n", bytes, msSince(t0));
  inChild([] { readerOpen(false); });
  inChild([] { readerOpen(true); });
  inChild([] { baseline(); });
  if (!keep) std::filesystem::remove_all(root, ec);
  else std::printf("root kept at %s\n", root);
  return 0;
}
