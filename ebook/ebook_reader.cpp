// The e-book reader screen. One heap record (Reader) holds the screen head,
// the list of books, the private parser record of the open book, the
// sentence table of the current page and the reading voice; it lives from
// EbookCreate until the reader is left.
//
// The end of a sentence reaches the screen as the EBOOKEND key. A finish
// that happened just before a key moved the position must not move it a
// second time: every start or stop of the voice first stops it (after
// which no finish is in flight) and marks all finishes so far as handled;
// an EBOOKEND is acted upon only when an unhandled finish exists, or when
// the screen posted it itself (an empty sentence, B of A-B repeat).
#include "ebook/ebook_reader.h"

#include "board/board.h"
#include "core/runtime/globals.h"
#include "core/library/bookmark.h"
#include "core/runtime/config.h"
#include "core/ui/dialog.h"
#include "core/library/filebrowser.h"
#include "core/ui/inputbox.h"
#include "core/ui/listbox.h"
#include "core/runtime/key.h"
#include "core/runtime/log.h"
#include "core/ui/menu.h"
#include "core/clock/alarm.h"
#include "ebook/ebook_count.h"
#include "core/clock/sleep_timer.h"
#include "ebook/charset.h"
#include "ebook/ebook_epub.h"
#include "ebook/ebook_lines.h"
#include "ebook/epub.h"
#include "ebook/ebook_parser.h"
#include "info/info.h"
#include "menu/mdata.h"
#include "sound/sound.h"
#include "speech/duoying.h"
#include "speech/text_sound.h"
#include "speech/tts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <strings.h>
#include <thread>
#include <vector>

namespace {

constexpr char kLogSource[] = "ebook/ebook.c";
constexpr int kRetryMs = 23;

enum { UNIT_10PCT = 0, UNIT_1PCT = 1, UNIT_PAGE = 2, UNIT_PARAGRAPH = 3, UNIT_SENTENCE = 4, UNIT_STEP_SENTENCE = 5,
       UNIT_STEP_LETTER = 6 };
enum { MODE_READ = 0, MODE_SENTENCE = 5, MODE_LETTER = 6 };

const char *const kPause[2] = {"暂停", "pause"};
const char *const kBegin[2] = {"已到文件开头", "beginning of the book"};
const char *const kReadNext[2] = {"是否朗读下一篇?", "Whether reading the next one?"};
const char *const kStartNext[2] = {"开始朗读下一篇", "Start the next one"};
const char *const kMarkAdded[2] = {"已增加书签", "add book mark"};
const char *const kCannotOpen[2] = {"无法打开文件", "can not open the file"};
// Why a book cannot be opened, when its format can tell.
const char *const kProtected[2] = {"文档受密码保护", "this document is protected"};
const char *const kDamaged[2] = {"文件已损坏", "this file is damaged"};
const char *const kUnsupported[2] = {"不支持此类文件", "do not support this file"};
int g_openResult = 0;  // of the last open, 0 before one; key distribution thread only
const char *const kChaptersMissing[2] = {"有章节缺失，已跳过", "some chapters are missing and were skipped"};
const char *const kEncrypted[2] = {"书籍已加密，无法朗读", "the book is encrypted and cannot be read"};
const char *const kNotEpub[2] = {"文件不是有效的EPUB书籍", "the file is not a valid EPUB book"};
// The whole-book count runs after reading has started (ebook_count.h).
const char *const kNotCounted[2] = {"句子和段落还在统计中", "sentences and paragraphs are still being counted"};

void say(const char *const *text) { text_sound_insert(text[PromptLanguage()]); }

struct Reader {
  Activity head{};
  Activity *browser = nullptr;  // borrowed; follows the open book
  ebook_parser parser{};        // private copy of the registry's record
  bool opened = false;
  std::unique_ptr<TtsApp> tts;
  bool ttsRunning = false;
  int sound = -1;
  int total_pages = 0, cur_page = 0, cur_line = 0, cur_char = 0;
  // A text book is paged as reading reaches its pages (ebook_parser.h):
  // total_pages are those found so far until allPages makes it whole.
  bool pages_partial = false;
  int last_char_len = 0;
  uint32_t last_char = 0;
  bool is_pdf = false, is_epub = false;
  int charset = 0;  // CHARSET_* chosen by hand for this book (kept with its history), 0 automatic
  int mode = MODE_READ;
  bool play_pending = true;
  int ab_state = 0, a_page = 0, a_line = 0, b_page = 0, b_line = 0;
  EbookLines lines;
  std::vector<std::string> files;  // full paths
  int cur_file = 0;
  bool finished = false;     // the open book was read to its end
  int noted_page = -1, noted_line = -1;  // the position last kept in the history
  bool menuPaused = false;   // a menu or a parameter change paused the voice
  bool ownEnd = false;       // an EBOOKEND the screen posted itself is on its way
  std::atomic<unsigned> finishes{0};  // sentences the voice finished (speech thread)
  unsigned handled = 0;      // finishes acted upon or made stale
  int savedShutdown = 0;
};

Reader *readerOf(Activity *a) { return a && a->key == EbookKey ? static_cast<Reader *>(a->data) : nullptr; }

std::string baseName(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string &currentPath(const Reader *r) { return r->files[static_cast<size_t>(r->cur_file)]; }

// ---- the speech thread's side ----

// PCM of the reading voice to the device: -2 (a prompt holds it) and -3
// (full) make the voice offer the block again in 23 ms. A block the device
// took in part is finished here, unless the voice is stopped meanwhile.
int EbookWritePcm(void *user, void *pcm, int bytes) {
  auto *r = static_cast<Reader *>(user);
  auto *p = static_cast<unsigned char *>(pcm);
  int done = 0;
  while (done < bytes) {
    int n = sound_write(r->sound, p + done, bytes - done);
    if (n > 0) {
      done += n;
      continue;
    }
    if (n != -2 && n != -3) return bytes;  // no device: the block is lost, speech goes on
    if (done == 0) return -1;
    if (tts_status(r->tts.get()) & (TTS_FLAG_STOP | TTS_FLAG_EXIT)) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
  return bytes;
}

void EbookTtsFinish(void *user) {
  auto *r = static_cast<Reader *>(user);
  r->finishes.fetch_add(1);
  SendVKey(VKEY_EBOOKEND);
}

// ---- the voice ----

void stopSpeech(Reader *r) {
  tts_stop(r->tts.get());
  sound_discard(r->sound);  // what follows is heard at once
  r->handled = r->finishes.load();
  r->ownEnd = false;
}

void postOwnEnd(Reader *r) {
  r->ownEnd = true;
  SendVKey(VKEY_EBOOKEND);
}

int EbookGetTtsParam(int *params) {
  TtsGetDefaultParam(params);
  params[TTS_PARAM_CODEPAGE] = 65001;
  int v = 0;
  if (ItemGetValue(&ReadRole, nullptr, &v) == 0 && v >= 0 && v < 8) {
    params[TTS_PARAM_MAIN_ROLE] = RoleTable[PromptLanguage()][v][0];
    params[TTS_PARAM_SUB_ROLE] = RoleTable[PromptLanguage()][v][1];
  }
  if (ItemGetValue(&ReadSpeed, nullptr, &v) == 0) params[TTS_PARAM_VSPEED] = v;
  if (ItemGetValue(&ReadEffect, nullptr, &v) == 0) params[TTS_PARAM_VEMODE] = v;
  if (ItemGetValue(&ReadPitch, nullptr, &v) == 0) params[TTS_PARAM_VPITCH] = v * 6400;
  return 0;
}

void EbookPlaySentence(Reader *r) {
  stopSpeech(r);
  r->cur_char = 0;
  int len = 0;
  const char *s = GetSentence(&r->lines, r->cur_line, &len);
  std::string text = SpeakableSentence(s, len);
  if (text.empty()) {
    if (CfgDebugEbook) LOGD("GetCurSentence return %d\n", len);
    postOwnEnd(r);
    return;
  }
  int outLen = 0;
  const char *out = convert_utf8(text.c_str(), static_cast<int>(text.size()), &outLen);
  if (!out || outLen <= 0) {
    out = text.c_str();
    outLen = static_cast<int>(text.size());
  }
  tts_synth_sentence(r->tts.get(), out, outLen);
}

void EbookPlayChar(Reader *r) {
  stopSpeech(r);
  std::string text = LetterText(r->last_char, PromptLanguage());
  if (text.empty()) return;
  tts_synth_sentence(r->tts.get(), text.c_str(), static_cast<int>(text.size()));
}

// Speaks what the position and the mode ask for: reading on speaks the
// sentence; a stepping mode speaks one unit when one was asked for.
void playRule(Reader *r) {
  if (r->play_pending) {
    if (r->mode == MODE_LETTER) {
      r->play_pending = false;
      EbookPlayChar(r);
    } else if (r->mode == MODE_SENTENCE) {
      r->play_pending = false;
      EbookPlaySentence(r);
    } else {
      EbookPlaySentence(r);
    }
  } else if (r->mode == MODE_READ) {
    EbookPlaySentence(r);
  }
}

// ---- pages and sentences ----

// Reads cur_page into the sentence table; a page that cannot be read is an
// empty page. Returns 0, -1 without an open book.
int EbookLoadCurPage(Reader *r) {
  if (!r->opened) {
    InitLineInfo(&r->lines, "", 0);
    return -1;
  }
  const char *text = nullptr;
  int n = r->parser.read_page(&r->parser, r->cur_page, &text);
  if (n <= 0 || !text) {
    if (CfgDebugEbook) LOGD("page %d cannot be read: an empty page\n", r->cur_page);
    n = 0;
    text = "";
  }
  InitLineInfo(&r->lines, text, n);
  r->cur_line = std::clamp(r->cur_line, 0, r->lines.count - 1);
  r->cur_char = 0;
  return 0;
}

// Takes the page count from the parser: whole when its table is (the
// background count hands its table over), else the pages found so far.
void syncPages(Reader *r) {
  const int known = ebook_text_known_pages(&r->parser);
  r->pages_partial = known >= 0;
  r->total_pages = known >= 0 ? known : r->parser.get_total_pages(&r->parser);
}

// The book's end is asked for: the page count is made whole (at once when
// the count's table came in, else by paging the rest of the book now).
void allPages(Reader *r) {
  if (!r->pages_partial) return;
  r->total_pages = r->parser.get_total_pages(&r->parser);
  r->pages_partial = false;
}

// Whether the book has page `page`, paging it that far when reading gets
// beyond the pages found so far.
bool hasPage(Reader *r, int page) {
  if (page < r->total_pages) return true;
  if (!r->pages_partial) return false;
  const char *text = nullptr;
  r->parser.read_page(&r->parser, page, &text);  // pages the book that far
  syncPages(r);
  return page < r->total_pages;
}

void loadPage(Reader *r, int page, int line) {
  r->cur_page = std::clamp(page, 0, std::max(r->total_pages - 1, 0));
  r->cur_line = line;
  EbookLoadCurPage(r);
}

// The next sentence, across pages. 0, -1 at the end of the book.
int ToNextSentence(Reader *r) {
  if (r->cur_line + 1 < r->lines.count) {
    r->cur_line++;
    r->cur_char = 0;
    return 0;
  }
  if (!hasPage(r, r->cur_page + 1)) return -1;
  loadPage(r, r->cur_page + 1, 0);
  return 0;
}

// The sentence before, across pages. 0, -1 at the start of the book.
int ToPreSentence(Reader *r) {
  if (r->cur_line > 0) {
    r->cur_line--;
    r->cur_char = 0;
    return 0;
  }
  if (r->cur_page == 0) return -1;
  loadPage(r, r->cur_page - 1, kEbookMaxLines);  // clamped to its last sentence
  return 0;
}

// The current sentence ends its paragraph (a line break after its last
// character; a break before its first one, at a page start, does not).
bool endsParagraph(const Reader *r) {
  return EndsWithBreak(r->lines.text.data(), r->lines.start[r->cur_line], r->lines.start[r->cur_line + 1]) != 0;
}

// Forward to the first sentence of the next paragraph: the first one with
// a character other than CR/LF after a line break (the current sentence's
// closing break counts). 0, -1 at the end of the book.
int ToNextPararaph(Reader *r) {
  bool seen = endsParagraph(r);
  for (;;) {
    if (ToNextSentence(r) != 0) return -1;
    const char *t = r->lines.text.data();
    for (int i = r->lines.start[r->cur_line]; i < r->lines.start[r->cur_line + 1]; i++) {
      if (t[i] == '\r' || t[i] == '\n') seen = true;
      else if (seen) return 0;
    }
  }
}

// Back to the start of the previous paragraph: back past the second
// sentence that ends a paragraph, onto the one after it. (A page that cuts
// a run of line breaks in two leaves a break at both sides of the cut;
// counting sentences that end in one counts that run once.) 0, or 1 when
// the start of the book was reached instead (page 0, sentence 0).
int ToPrePararaph(Reader *r) {
  int breaks = 0;
  for (;;) {
    if (ToPreSentence(r) != 0) {
      loadPage(r, 0, 0);
      return 1;
    }
    if (endsParagraph(r) && ++breaks == 2) {
      if (ToNextSentence(r) != 0) LOGW("ToNextSentence return %d\n", -1);
      return 0;
    }
  }
}

// ---- letters ----

int pageEnd(const Reader *r) { return r->lines.start[r->lines.count]; }
int pageOffset(const Reader *r) { return r->lines.start[r->cur_line] + r->cur_char; }

// Places the position on byte off of the page and takes its character.
void setLetter(Reader *r, int off) {
  int line = 0;
  while (line + 1 < r->lines.count && r->lines.start[line + 1] <= off) line++;
  r->cur_line = line;
  r->cur_char = off - r->lines.start[line];
  if (off < pageEnd(r)) {
    r->last_char_len = Utf8CharAt(r->lines.text.data(), pageEnd(r), off, &r->last_char);
  } else {
    r->last_char = ' ';
    r->last_char_len = 0;
  }
}

// The next letter (GetCurChar), across sentence and page ends. 0, -1 at
// the end of the book.
int GetCurChar(Reader *r) {
  const char *t = r->lines.text.data();
  int next = pageOffset(r) < pageEnd(r) ? NextLetter(t, pageEnd(r), pageOffset(r)) : pageEnd(r);
  while (next >= pageEnd(r)) {
    if (!hasPage(r, r->cur_page + 1)) return -1;
    const uint32_t before = r->last_char;
    loadPage(r, r->cur_page + 1, 0);
    next = SkipRunFrom(r->lines.text.data(), pageEnd(r), 0, before);
  }
  setLetter(r, next);
  return 0;
}

// The letter before. 0, -1 at the start of the book.
int GetPreChar(Reader *r) {
  int prev = PrevLetter(r->lines.text.data(), pageOffset(r));
  while (prev < 0) {
    if (r->cur_page == 0) return -1;
    loadPage(r, r->cur_page - 1, 0);
    prev = PrevLetter(r->lines.text.data(), pageEnd(r));
  }
  setLetter(r, prev);
  return 0;
}

// ---- files and history ----

// The history entry of the open book: page and sentence (page 0 for a
// finished book).
void noteHistory(Reader *r) {
  if (!r->opened) return;
  const std::string &path = currentPath(r);
  const int page = r->finished ? 0 : r->cur_page, line = r->finished ? 0 : r->cur_line;
  int n = MarkAddItem(MARK_EBOOK_HISTORY, path.c_str(), baseName(path).c_str(), nullptr, nullptr, line, page);
  if (n < 0) LOGE("MarkAddItem return %d\n", n);
  else MarkSetOptions(MARK_EBOOK_HISTORY, path.c_str(), baseName(path).c_str(), r->charset);
}

// The position keeper's tick (key thread): a position that moved since
// the last tick is written at once.
void keepPosition(void *context) {
  Reader *r = static_cast<Reader *>(context);
  if (!r->opened || (r->cur_page == r->noted_page && r->cur_line == r->noted_line)) return;
  r->noted_page = r->cur_page;
  r->noted_line = r->cur_line;
  noteHistory(r);
  BookMarkSaveNow();
}

// The same, written to the file at the store's next tick.
void storeHistory(Reader *r) {
  if (!r->opened) return;
  noteHistory(r);
  BookMarkFlush();
}

// Where a book was left: page and sentence from the history, 0 0 without.
void historyOf(const std::string &path, int *page, int *line) {
  *page = *line = 0;
  const Mark *m = MarkArryGet(MARK_EBOOK_HISTORY, MarkFind(MARK_EBOOK_HISTORY, path.c_str(), baseName(path).c_str()));
  if (m && !m->items.empty()) {
    *page = std::max(m->items[0].charoffset, 0);
    *line = std::max(m->items[0].timeoffset, 0);
  }
  if (CfgDebugEbook) LOGD("%s, Find history: page=%d\n", path.c_str(), *page);
}

void EbookCloseFile(Reader *r) {
  if (!r->opened) return;
  EbookCountStop();
  r->parser.close(&r->parser);
  r->opened = false;
}

// Opens list entry cur_file + step at start_page / start_line. Past either
// end of the list the index wraps and -1 is returned; -1 also when the file
// cannot be opened (cur_file then names it).
int EbookOpenFile(Reader *r, int step, int start_page, int start_line) {
  const int n = static_cast<int>(r->files.size());
  int index = r->cur_file + step;
  if (index < 0 || index >= n) {
    r->cur_file = index < 0 ? n - 1 : 0;
    return -1;
  }
  r->cur_file = index;
  const std::string &path = currentPath(r);
  ebook_parser *record = find_ebook_parser(baseName(path).c_str());
  if (!record) {
    LOGE("%s is not an ebook\n", path.c_str());
    return -1;
  }
  r->parser = *record;
  r->parser.context = nullptr;
  r->charset = MarkGetOptions(MARK_EBOOK_HISTORY, path.c_str(), baseName(path).c_str());
  if (ebook_text_choose_charset(r->charset) != 0) r->charset = 0;
  int ret = r->parser.open(&r->parser, path.c_str());
  ebook_text_choose_charset(0);  // other books detect theirs
  g_openResult = ret;
  if (ret != 0) {
    LOGE("open ebook fail, return = %d\n", ret);
    if (record == &ebook_parser_for_epub) say(ebook_epub_last_error() == EPUB_ENCRYPTED ? kEncrypted : kNotEpub);
    return -1;
  }
  r->opened = true;
  syncPages(r);
  if (r->total_pages <= 0) {
    LOGE("open ebook fail, return = %d\n", 0);  // nothing to read
    EbookCloseFile(r);
    return -1;
  }
  const char *ext = get_extension_name(path.c_str());
  r->is_pdf = ext && strcasecmp(ext, "pdf") == 0;
  r->is_epub = ext && strcasecmp(ext, "epub") == 0;
  ItemSetVisable(&EpubFastMode, r->is_epub ? 1 : 0);
  ItemSetVisable(&EbookChapterList, r->is_epub ? 1 : 0);
  ItemSetVisable(&EbookCharset, ebook_text_charset(&r->parser) >= 0 ? 1 : 0);
  for (int row = 0; row <= EbookCharset.maximum; row++)
    if (EbookCharset.values[row].value == r->charset) ItemSetValue(&EbookCharset, row);
  if (ebook_epub_missing(&r->parser) > 0) say(kChaptersMissing);
  // Reading starts at once; sentences and paragraphs are counted meanwhile.
  if (!r->is_pdf) EbookCountStart(record, path.c_str(), r->charset, &r->parser);
  const bool inside = start_page >= 0 && hasPage(r, start_page);
  r->cur_page = inside ? start_page : 0;
  r->cur_line = inside ? std::max(start_line, 0) : 0;
  r->cur_char = 0;
  r->last_char = 0;
  r->last_char_len = 0;
  r->ab_state = 0;
  r->mode = MODE_READ;
  r->play_pending = true;
  r->finished = false;
  ItemSetValue(&EbookABrepeat, 0);
  if (r->browser && FileBrowserLoadFile(r->browser, path.c_str()) != 0)
    LOGW("FileBrowserLoadFile return error\n");  // the browser stays where it was
  if (CfgDebugEbook) LOGD("ebook open: %s, pages=%d, page=%d\n", path.c_str(), r->total_pages, r->cur_page);
  return 0;
}

// Leaves the reader: the history keeps where the book was left (page 0 for
// a finished one). passOn: the key goes on down the stack.
int leave(Reader *r, bool passOn) {
  ActivityRemove(&r->head);
  BookMarkKeepPosition(nullptr, nullptr);
  SleepTimerDetach(r);
  if (r->ttsRunning) tts_deinit(r->tts.get());
  storeHistory(r);
  EbookCloseFile(r);
  sound_close(r->sound);
  RestoryAutoShutdown(r->savedShutdown);
  delete r;
  return FileBrowserReturn(passOn, 2);
}

// The end of the book: the next book of the list, after asking unless the
// setting says to go on.
int endOfBook(Reader *r) {
  stopSpeech(r);
  r->finished = true;
  storeHistory(r);
  // The last book of the folder: nothing to ask about.
  if (r->cur_file + 1 >= static_cast<int>(r->files.size())) return leave(r, false);
  int autoNext = 0;
  if (ItemGetValue(&AutoPlayNextFile, nullptr, &autoNext) < 0) autoNext = 0;
  if (!autoNext && DialogBoxCreate(kReadNext[PromptLanguage()]) != VKEY_OK) return leave(r, false);
  // "Start the next one" is said once the next book is open (it holds the
  // reading voice until it ends, so it is still heard first); a book that
  // cannot be opened is said so instead, to the end, and the one after it
  // is tried.
  for (;;) {
    EbookCloseFile(r);
    if (r->cur_file + 1 >= static_cast<int>(r->files.size())) {
      LOGI("EbookOpenFile return error\n");
      return leave(r, false);
    }
    int page = 0, line = 0;
    historyOf(r->files[static_cast<size_t>(r->cur_file) + 1], &page, &line);
    if (EbookOpenFile(r, 1, page, line) == 0) break;
    wait_text_sound_end(text_sound_insert(EbookOpenErrorText(PromptLanguage())));
  }
  say(kStartNext);
  if (EbookLoadCurPage(r) != 0) {
    LOGE("EbookLoadCurPage return error\n");
    return leave(r, false);
  }
  playRule(r);
  return 0;
}

// What the end of a sentence does: the next sentence (back to A when B is
// reached), or the end of the book.
int sentenceEnded(Reader *r) {
  const int page = r->cur_page;
  if (ToNextSentence(r) != 0) return endOfBook(r);
  // Reading on into a new page: the history follows, so that a power cut
  // loses at most the page being read (the store saves itself later).
  if (r->cur_page != page && r->mode == MODE_READ) noteHistory(r);
  if (r->ab_state == 3 && (r->cur_page > r->b_page || (r->cur_page == r->b_page && r->cur_line >= r->b_line))) {
    if (r->cur_page != r->a_page) loadPage(r, r->a_page, r->a_line);
    else r->cur_line = std::clamp(r->a_line, 0, r->lines.count - 1);
    r->cur_char = 0;
  }
  playRule(r);
  return 0;
}

int onEbookEnd(Reader *r) {
  const unsigned done = r->finishes.load();
  if (!r->ownEnd && done == r->handled) return 0;  // stale: the position moved since
  r->ownEnd = false;
  r->handled = done;
  if (r->mode != MODE_READ && !r->play_pending) return 0;
  return sentenceEnded(r);
}

int currentUnit() {
  int v = UNIT_PAGE;
  if (ItemGetValue(&FastMode, nullptr, &v) < 0 || v < UNIT_10PCT || v > UNIT_STEP_LETTER) v = UNIT_PAGE;
  return v;
}

// An EPUB read with the page unit may turn by chapter instead.
bool chapterUnit(const Reader *r) {
  return r->is_epub && currentUnit() == UNIT_PAGE && MenuItemGetValue(&EpubFastMode) == 1;
}

// The chapter the current sentence is in; -1 before the first.
int currentChapter(Reader *r) {
  return ebook_epub_chapter_of(&r->parser, r->cur_page, r->lines.start[r->cur_line]);
}

void startChapter(Reader *r, int target);

// LEFT / RIGHT by chapter: the start of the previous / next chapter (the
// book's start before the first). Returns as moveByUnit.
int moveByChapter(Reader *r, int dir) {
  const int target = currentChapter(r) + (dir > 0 ? 1 : -1);
  if (target >= ebook_epub_chapter_count(&r->parser)) return endOfBook(r);
  startChapter(r, target);
  return 0;
}

// Reads on from where chapter target starts (the book's start for one
// before the first).
void startChapter(Reader *r, int target) {
  int page = 0, offset = 0;
  if (target < 0 || ebook_epub_chapter_start(&r->parser, target, &page, &offset) != 0) {
    say(kBegin);
    loadPage(r, 0, 0);
  } else {
    loadPage(r, page, 0);
    while (r->cur_line + 1 < r->lines.count && r->lines.start[r->cur_line + 1] <= offset) r->cur_line++;
  }
  r->play_pending = true;
  playRule(r);
}

// LEFT (dir -1) / RIGHT (+1) by the current unit.
int moveByUnit(Reader *r, int dir) {
  stopSpeech(r);
  if (chapterUnit(r)) return moveByChapter(r, dir);
  const int unit = currentUnit();
  switch (unit) {
    case UNIT_10PCT:
    case UNIT_1PCT:
    case UNIT_PAGE: {
      const int parts = unit == UNIT_10PCT ? 10 : 100;
      if (unit != UNIT_PAGE) allPages(r);
      else hasPage(r, r->cur_page + 1);
      const int step = unit == UNIT_PAGE || r->total_pages <= parts ? 1 : r->total_pages / parts;
      if (dir > 0 && r->cur_page >= r->total_pages - 1) return sentenceEnded(r);
      loadPage(r, dir > 0 ? std::min(r->cur_page + step, r->total_pages - 1) : std::max(r->cur_page - step, 0), 0);
      break;
    }
    case UNIT_PARAGRAPH:
      if (dir > 0) {
        if (ToNextPararaph(r) != 0) return endOfBook(r);
      } else if (ToPrePararaph(r) == 1) {
        say(kBegin);
      }
      break;
    case UNIT_SENTENCE:
    case UNIT_STEP_SENTENCE:
      if (dir > 0) {
        if (ToNextSentence(r) != 0) return endOfBook(r);
      } else if (ToPreSentence(r) != 0) {
        say(kBegin);
      }
      if (unit == UNIT_STEP_SENTENCE) r->mode = MODE_SENTENCE;
      break;
    case UNIT_STEP_LETTER:
      if (r->mode != MODE_LETTER && dir > 0) {
        setLetter(r, pageOffset(r));  // the first step says the letter the reading stands on
      } else if (dir > 0 ? GetCurChar(r) != 0 : GetPreChar(r) != 0) {
        if (dir > 0) return endOfBook(r);
        say(kBegin);
        setLetter(r, 0);
      }
      r->mode = MODE_LETTER;
      break;
  }
  r->play_pending = true;
  playRule(r);
  return 0;
}

// ---- where am I and the sleep timer: estimates from the current page ----

// Milliseconds the reading voice takes for UTF-8 text at speed 0: a
// Chinese character is a syllable (about four a second), any other
// character about a sixteenth of a second (175 words a minute).
int64_t speechMs(const char *text, size_t from, size_t to) {
  int64_t ms = 0;
  for (size_t i = from; i < to; i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xc0) == 0x80) continue;
    ms += c >= 0xe2 ? 250 : 62;  // three-byte and longer sequences: CJK and beyond
  }
  return ms;
}

// The reading voice's speed setting as a factor of its speed 0 (the speech
// service doubles the words at 10, then speeds the sound up 10% a step).
double speedFactor() {
  int v = 0;
  if (ItemGetValue(&ReadSpeed, nullptr, &v) != 0) v = 0;
  return v <= 10 ? std::pow(2.0, v / 10.0) : 2.0 * (1.0 + (v - 10) / 10.0);
}

// Reading time from the position to byte `offset` of page `page` (the book's
// end for page total_pages), the pages between counted as long as this one.
int64_t readingMsTo(const Reader *r, int page, int offset) {
  const std::string &t = r->lines.text;
  const size_t at = std::min(static_cast<size_t>(std::max(r->lines.start[r->cur_line], 0)), t.size());
  int64_t ms;
  if (page <= r->cur_page) {
    ms = speechMs(t.data(), at, std::clamp(static_cast<size_t>(std::max(offset, 0)), at, t.size()));
  } else {
    const int64_t pageMs = speechMs(t.data(), 0, t.size());
    ms = speechMs(t.data(), at, t.size()) + pageMs * (page - r->cur_page - 1);
    if (page < r->total_pages && !t.empty()) ms += pageMs * std::max(offset, 0) / static_cast<int64_t>(t.size());
  }
  return static_cast<int64_t>(static_cast<double>(ms) / speedFactor());
}

// An EPUB's chapter ends where the next one starts; another book's only
// section is the book.
int chapterLeftMs(void *context) {
  Reader *r = static_cast<Reader *>(context);
  if (!r->opened) return -1;
  allPages(r);
  int page = r->total_pages, offset = 0;
  if (r->is_epub) {
    const int next = ebook_epub_chapter_of(&r->parser, r->cur_page, r->lines.start[r->cur_line]) + 1;
    if (next < ebook_epub_chapter_count(&r->parser) && ebook_epub_chapter_start(&r->parser, next, &page, &offset) != 0)
      page = r->total_pages, offset = 0;
  }
  return static_cast<int>(std::min<int64_t>(readingMsTo(r, page, offset), INT_MAX));
}

int chapterId(void *context) {
  Reader *r = static_cast<Reader *>(context);
  return r->opened && r->is_epub ? ebook_epub_chapter_of(&r->parser, r->cur_page, r->lines.start[r->cur_line]) : 0;
}

const SleepTimerClient kSleepClient = {chapterLeftMs, chapterId};

// Appended to the position: the percent read (by the position's bytes in
// the book's pages) and the reading time left at the voice's speed.
void appendReadingLeft(const Reader *r, char *text, size_t size) {
  if (!r->opened || r->total_pages < 1) return;
  const size_t bytes = std::max<size_t>(r->lines.text.size(), 1);
  const double at = r->cur_page + static_cast<double>(std::max(r->lines.start[r->cur_line], 0)) / bytes;
  const int percent = std::clamp(static_cast<int>(at * 100 / r->total_pages), 0, 100);
  char left[128];
  LeftSecondToStr(LEFT_READING, static_cast<int>(std::min<int64_t>(readingMsTo(r, r->total_pages, 0) / 1000, INT_MAX)),
                  left, sizeof left, PromptLanguage());
  const size_t n = std::strlen(text);
  std::snprintf(text + n, size - n, PromptLanguage() ? ", %d percent read, %s" : ", 已读百分之%d, %s", percent, left);
}

void speakPosition(Reader *r) {
  char total[128], cur[128], text[1024];
  allPages(r);
  std::string name = charset_name_text(baseName(currentPath(r)).c_str());
  const int unit = currentUnit();
  if (chapterUnit(r)) {
    // The book by its title and author where it names them, the chapter
    // counted from 1 and its title.
    const char *title = ebook_epub_title(&r->parser), *author = ebook_epub_author(&r->parser);
    if (title && *title) name = std::string(title) + (author && *author ? ", " + std::string(author) : "");
    const int n = ebook_epub_chapter_count(&r->parser);
    const int c = std::max(currentChapter(r), 0);
    const char *label = ebook_epub_chapter_title(&r->parser, c);
    std::snprintf(total, sizeof total, PromptLanguage() ? "total %d chapters" : "总共%d章", n);
    std::snprintf(cur, sizeof cur, PromptLanguage() ? "chapter %d%s%s" : "当前第%d章%s%s", c + 1, label && *label ? ", " : "",
                  label ? label : "");
  } else if (r->is_pdf || unit <= UNIT_PAGE || unit == UNIT_STEP_LETTER || !EbookCountReady()) {
    // Before the count is in, the page stands in for the sentence or
    // paragraph, and the listener hears why.
    if (!r->is_pdf && unit > UNIT_PAGE && unit != UNIT_STEP_LETTER) name += std::string(", ") + kNotCounted[PromptLanguage()];
    TotalPageToStr(r->total_pages, total, sizeof total, PromptLanguage());
    CurPageToStr(r->cur_page + 1, cur, sizeof cur, PromptLanguage());
  } else if (unit == UNIT_PARAGRAPH) {
    const int all = StartParagraphOfPage[std::min(r->total_pages, kEbookMaxPages)];
    // Line breaks before the sentence's first character belong to the
    // paragraphs before it (a page may start with them).
    const char *t = r->lines.text.data();
    int at = r->lines.start[r->cur_line];
    while (at < r->lines.start[r->cur_line + 1] && std::strchr("\r\n \t", t[at]) && t[at]) at++;
    int n = ParagraphsBefore(std::min(r->cur_page, kEbookMaxPages), t, at) + 1;
    TotalParagraphToStr(std::max(all, 1), total, sizeof total, PromptLanguage());
    CurParagraphToStr(std::min(n, std::max(all, 1)), cur, sizeof cur, PromptLanguage());
  } else {
    TotalLineToStr(StartLineOfPage[std::min(r->total_pages, kEbookMaxPages)], total, sizeof total, PromptLanguage());
    CurLineToStr(StartLineOfPage[std::min(r->cur_page, kEbookMaxPages)] + r->cur_line + 1, cur, sizeof cur, PromptLanguage());
  }
  std::snprintf(text, sizeof text, "%s, %s, %s", name.c_str(), total, cur);
  appendReadingLeft(r, text, sizeof text);
  text_sound_insert(text);
}

// UP (-1) / DOWN (+1): the previous / next unit, named; reading goes on.
void stepUnit(Reader *r, int dir) {
  ItemChgVal(&FastMode, dir > 0 ? 1 : 0, 1);
  const char *name = nullptr;
  int v = 0;
  if (ItemGetValue(&FastMode, &name, &v) == 0 && name) text_sound_insert(name);
  if (r->mode != MODE_READ) {
    r->mode = MODE_READ;
    r->play_pending = true;
    EbookPlaySentence(r);
  }
}

void onOk(Reader *r) {
  if (r->mode != MODE_READ) {
    r->mode = MODE_READ;
    r->play_pending = true;
    EbookPlaySentence(r);
    return;
  }
  const unsigned st = tts_status(r->tts.get());
  if (st & TTS_FLAG_PAUSE) {
    tts_continue(r->tts.get());
    RestoryAutoShutdown(0);
  } else if ((st & (TTS_FLAG_STOP | TTS_FLAG_END | TTS_FLAG_EXIT)) == 0) {
    tts_pause(r->tts.get());
    RestoryAutoShutdown(1);
    say(kPause);
    keepPosition(r);
  }
}

// ---- menus ----

void EbookMenuEnter(void *context) {
  auto *r = static_cast<Reader *>(context);
  const unsigned st = tts_status(r->tts.get());
  r->menuPaused = (st & (TTS_FLAG_STOP | TTS_FLAG_PAUSE | TTS_FLAG_END | TTS_FLAG_EXIT)) == 0;
  if (r->menuPaused) tts_pause(r->tts.get());
}

void EbookMenuExit(void *context) {
  auto *r = static_cast<Reader *>(context);
  if (r->menuPaused) tts_continue(r->tts.get());
  r->menuPaused = false;
}

void openMenu(Reader *r, MenuNode *menu) {
  Activity *m = MenuCreate(&r->head, menu, EbookMenuEnter, EbookMenuExit, r, 1);
  if (!m) {
    LOGE("MenuCreate return NULL\n");
    EbookMenuExit(r);
    return;
  }
  ActivitySetActive(m, 1);
}

int EbookSetParam(void *context, int id, int value) {
  auto *r = static_cast<Reader *>(context);
  if (!r || !r->ttsRunning) return -1;
  TtsApp *app = r->tts.get();
  int ret;
  if (id == TTS_PARAM_ROLE) {
    if (value < 0 || value > 7) return -1;
    const int *pair = RoleTable[PromptLanguage()][value];
    ret = TtsSetParam(app, TTS_PARAM_ROLE2, pair[1]) | TtsSetParam(app, TTS_PARAM_ROLE, pair[0]);
  } else {
    ret = TtsSetParam(app, id, id == TTS_PARAM_PITCH ? value * 6400 : value);
  }
  // The unit is spoken again in the new voice once the menu closes.
  if (r->mode != MODE_READ) r->play_pending = true;
  playRule(r);
  tts_pause(app);
  r->menuPaused = true;
  return ret < 0 ? -1 : 0;
}

// The input boxes of the jumps handed back a number (-1: cancelled).
void jumpTo(Reader *r, int page) {
  r->menuPaused = false;
  stopSpeech(r);
  loadPage(r, page, 0);
  r->play_pending = true;
  playRule(r);
}

void MenuJmpToPageCallBack(void *arg, int value) {
  auto *r = static_cast<Reader *>(arg);
  if (value < 0) return EbookMenuExit(r);
  allPages(r);
  jumpTo(r, std::min(std::max(value, 1), r->total_pages) - 1);  // page 1 is the first
}

void MenuJmpToPercentCallBack(void *arg, int value) {
  auto *r = static_cast<Reader *>(arg);
  if (value < 0) return EbookMenuExit(r);
  allPages(r);
  jumpTo(r, static_cast<int>(std::min<int64_t>(int64_t{r->total_pages} * value / 100, r->total_pages - 1)));
}

int openInputBox(Reader *r, int initial, int digits, void (*callback)(void *, int)) {
  Activity *box = InputBoxCreate(initial, digits, callback, r);
  if (!box) return -1;
  ActivitySetActive(box, 1);
  return 0;
}

int EbookMenuJmpToPage(void *context, int, int) {
  auto *r = static_cast<Reader *>(context);
  return r ? openInputBox(r, r->cur_page + 1, 6, MenuJmpToPageCallBack) : -1;
}

int EbookMenuJmpToPercent(void *context, int, int) {
  auto *r = static_cast<Reader *>(context);
  return r ? openInputBox(r, 0, 2, MenuJmpToPercentCallBack) : -1;
}

void EbookChapterListCallBack(void *arg, int index) {
  auto *r = static_cast<Reader *>(arg);
  if (index < 0) return EbookMenuExit(r);
  r->menuPaused = false;
  stopSpeech(r);
  startChapter(r, index);
}

int EbookMenuChapterList(void *context, int, int) {
  auto *r = static_cast<Reader *>(context);
  if (!r || !r->is_epub) return -1;
  std::vector<std::string> lines;
  for (int c = 0; c < ebook_epub_chapter_count(&r->parser); c++) {
    const char *label = ebook_epub_chapter_title(&r->parser, c);
    char line[1024];
    std::snprintf(line, sizeof line, PromptLanguage() ? "chapter %d%s%s" : "第%d章%s%s", c + 1,
                  label && *label ? ", " : "", label ? label : "");
    lines.push_back(line);
  }
  Activity *box = ListBoxCreate(std::move(lines), currentChapter(r), EbookChapterListCallBack, r);
  if (!box) return -1;
  box->active = 1;  // spoken once, when the menu that opened it closes
  return 0;
}

// The character set chosen by hand: the book is opened again in it at the
// page being read, and the choice is kept with its history.
int EbookSetCharset(void *context, int value, int) {
  auto *r = static_cast<Reader *>(context);
  if (!r || !r->opened) return -1;
  const int page = r->cur_page;
  r->charset = value;
  noteHistory(r);  // the open below takes the choice from there
  stopSpeech(r);
  EbookCloseFile(r);
  if (EbookOpenFile(r, 0, page, 0) != 0) {
    say(kCannotOpen);
    SendVKey(VKEY_BACK);  // nothing left to read: the reader closes
    return 0;
  }
  jumpTo(r, r->cur_page);
  return 0;
}

int EbookMarkAddItem(void *context, int, int) {
  auto *r = static_cast<Reader *>(context);
  if (!r || !r->opened) return -1;
  const std::string &path = currentPath(r);
  int n = MarkAddItem(MARK_EBOOK_BOOKMARK, path.c_str(), baseName(path).c_str(), nullptr, nullptr, r->cur_line,
                      r->cur_page);
  if (n < 0) {
    LOGE("GeneralMarkAddItem return %d\n", n);
    return -1;
  }
  BookMarkFlush();
  char page[128], text[512];
  PageToStr(r->cur_page + 1, page, sizeof page, PromptLanguage());
  std::snprintf(text, sizeof text, "%s%d, %s", kMarkAdded[PromptLanguage()], n, page);
  text_sound_insert(text);
  return 0;
}

int EbookMarkAddRepeat(void *context, int value, int) {
  auto *r = static_cast<Reader *>(context);
  if (!r || !r->opened) return -1;
  switch (value) {
    case 0:
      r->a_page = r->cur_page;
      r->a_line = r->cur_line;
      r->ab_state = 1;
      return 0;
    case 1:
      if (!(r->ab_state & 1)) return -1;
      r->b_page = r->cur_page;
      r->b_line = r->cur_line;
      r->ab_state = 3;
      postOwnEnd(r);
      return 0;
    case 2:
      r->ab_state = 0;
      return 0;
    default:
      return -1;
  }
}

// The e-book files of a folder in name order (the order setting decides
// the direction). False when the folder cannot be read.
bool listEbookFiles(const std::string &dir, std::vector<std::string> *names) {
  std::error_code ec;
  std::filesystem::directory_iterator it(BoardPath(dir.c_str()), ec);
  if (ec) return false;
  for (const auto &entry : it) {
    std::string name = entry.path().filename().string();
    std::error_code sec;
    if (name.empty() || name[0] == '.' || entry.symlink_status(sec).type() != std::filesystem::file_type::regular)
      continue;
    if (IsEbookFile(dir.c_str(), name.c_str())) names->push_back(name);
  }
  std::sort(names->begin(), names->end());
  if (!CfgFileSortAscent) std::reverse(names->begin(), names->end());
  return true;
}

Activity *createList(Activity *browser, std::vector<std::string> files, int current, int start_page,
                     int start_line) {
  g_openResult = 0;  // a failure before the open is no fault of the file
  if (current < 0 || current >= static_cast<int>(files.size())) {
    LOGE("Cannot find cur ebook file int list\n");
    return nullptr;
  }
  std::unique_ptr<Reader> r(new (std::nothrow) Reader);
  if (r) r->tts.reset(new (std::nothrow) TtsApp);
  if (!r || !r->tts) {
    LOGE("Not enough memory\n");
    return nullptr;
  }
  r->browser = browser;
  r->files = std::move(files);
  r->sound = sound_open(1, 16000, 1);
  if (r->sound < 0) {
    LOGE("sound open return %d\n", r->sound);
    return nullptr;
  }
  TtsApp *app = r->tts.get();
  EbookGetTtsParam(app->params);
  std::snprintf(app->name, sizeof app->name, "EBOOK_TTS");
  std::snprintf(app->voice, sizeof app->voice, "ebook");
  app->tempo = 1;
  if (tts_init(app, EbookWritePcm, EbookTtsFinish, r.get()) != 0) {
    LOGE("tts_init return error\n");
    sound_close(r->sound);
    return nullptr;
  }
  r->ttsRunning = true;
  r->cur_file = current;
  if (EbookOpenFile(r.get(), 0, start_page, start_line) != 0) {
    tts_deinit(app);
    sound_close(r->sound);
    return nullptr;
  }
  EbookLoadCurPage(r.get());
  r->head = {"EBOOK", 0, EbookKey, EbookShow, EbookHide, 0, r.get()};
  if (ActivityAdd(&r->head) != 0) {
    tts_deinit(app);
    EbookCloseFile(r.get());
    sound_close(r->sound);
    return nullptr;
  }
  r->savedShutdown = SaveAndStopAutoShutdown();
  BookMarkKeepPosition(keepPosition, r.get());
  SleepTimerAttach(&kSleepClient, r.get());
  // The entry's name may still be spoken: reading starts now.
  text_sound_stop();
  int report = 0;
  if (ItemGetValue(&AutoReportFileInfo, nullptr, &report) == 0 && report) {
    char total[128], cur[128], text[1024];
    allPages(r.get());
    TotalPageToStr(r->total_pages, total, sizeof total, PromptLanguage());
    CurPageToStr(r->cur_page + 1, cur, sizeof cur, PromptLanguage());
    std::snprintf(text, sizeof text, "%s, %s, %s", charset_name_text(baseName(currentPath(r.get())).c_str()).c_str(), total, cur);
    text_sound_insert(text);
  }
  playRule(r.get());
  return &r.release()->head;
}

}  // namespace

const char *EbookOpenErrorText(int language) {
  const int l = language == 1 ? 1 : 0;
  switch (g_openResult) {
    case EBOOK_OPEN_PROTECTED: return kProtected[l];
    case EBOOK_OPEN_DAMAGED: return kDamaged[l];
    case EBOOK_OPEN_UNSUPPORTED: return kUnsupported[l];
    default: return kCannotOpen[l];
  }
}

int EbookReaderInit(void) {
  static const FileBrowserPlayer kPlayer = {IsEbookFile, EbookCreate, nullptr, EbookOpenErrorText};
  int r = FileBrowserRegisterPlayer(FILE_KIND_EBOOK, &kPlayer);
  r |= MenuBindFunc("EbookMenuJmpToPage", EbookMenuJmpToPage);
  r |= MenuBindFunc("EbookMenuJmpToPercent", EbookMenuJmpToPercent);
  r |= MenuBindFunc("EbookMarkAddItem", EbookMarkAddItem);
  r |= MenuBindFunc("EbookMarkAddRepeat", EbookMarkAddRepeat);
  r |= MenuBindFunc("EbookMenuChapterList", EbookMenuChapterList);
  r |= MenuBindFunc("EbookSetCharset", EbookSetCharset);
  r |= MenuBindParamFunc("EbookSetParam", EbookSetParam);
  return r == 0 ? 0 : -1;
}

int IsEbookFile(const char *, const char *name) { return name && check_is_ebook(name) ? 1 : 0; }

Activity *EbookCreate(Activity *browser, int start_page, int start_line) {
  const std::vector<int> list = GetFileList(browser, IsEbookFile);
  if (list.empty()) {
    LOGE("GetFileList return NULL\n");
    return nullptr;
  }
  const int cur = FileBrowserGetCur(browser);
  std::vector<std::string> files;
  int current = -1;
  for (int index : list) {
    if (index == cur) current = static_cast<int>(files.size());
    files.push_back(GetFullPath(browser, index));
  }
  return createList(browser, std::move(files), current, start_page, start_line);
}

Activity *EbookCreateFile(Activity *browser, const char *path, int start_page, int start_line) {
  if (!path) return nullptr;
  const std::string full(path);
  const size_t slash = full.rfind('/');
  if (slash == std::string::npos || slash + 1 == full.size()) {
    LOGE("GetFullPath return NULL\n");
    return nullptr;
  }
  const std::string dir = full.substr(0, slash > 0 ? slash : 1), name = full.substr(slash + 1);
  std::vector<std::string> names;
  if (!listEbookFiles(dir, &names)) {
    LOGE("GetFileList return NULL\n");
    return nullptr;
  }
  auto it = std::find(names.begin(), names.end(), name);
  std::vector<std::string> files;
  for (const std::string &n : names) files.push_back(dir == "/" ? "/" + n : dir + "/" + n);
  return createList(browser, std::move(files), it == names.end() ? -1 : static_cast<int>(it - names.begin()),
                    start_page, start_line);
}

int EbookKey(Activity *act, const KeyEvent *key) {
  Reader *r = readerOf(act);
  if (!r || !key) return -1;
  switch (key->code) {
    case VKEY_EBOOKEND:
      return onEbookEnd(r);
    case VKEY_LEFT:
    case VKEY_RIGHT:
      return moveByUnit(r, key->code == VKEY_RIGHT ? 1 : -1);
    case VKEY_UP:
    case VKEY_DOWN:
      stepUnit(r, key->code == VKEY_DOWN ? 1 : -1);
      return 0;
    case VKEY_ESC:
      speakPosition(r);
      return 0;
    case VKEY_OK:
      onOk(r);
      return 0;
    case VKEY_MENU:
      openMenu(r, &TextBookMenu);
      return 0;
    case VKEY_MARK:
      openMenu(r, &EbookMarkMenu);
      return 0;
    case VKEY_VOL_:
      VolumeDecMedia();
      return 0;
    case VKEY_VOLADD:
      VolumeAddMedia();
      return 0;
    case VKEY_BACK:
      return leave(r, false);
    case VKEY_SDOUT:
    case VKEY_USBDISKOUT: {
      const int removed = key->code == VKEY_SDOUT ? 1 : 2;
      if (GetMoutPointTypeFpath(currentPath(r).c_str()) != removed) return 0;
      if (CfgDebugEbook) LOGD("The current device has been pulled out!\n");
      return leave(r, true);
    }
    case VKEY_POWEROFF:
      return leave(r, true);
    default:
      return 1;
  }
}

// Speaks nothing. A sentence end that reached a menu or the input box over
// the reader went no further: it is posted again.
int EbookShow(Activity *act) {
  Reader *r = readerOf(act);
  if (!r) return -1;
  if (r->finishes.load() != r->handled && !r->ownEnd) SendVKey(VKEY_EBOOKEND);
  return 0;
}

int EbookHide(Activity *act) { return ActivityHideScreen(act); }

int EbookPercentRead(Activity *act, int *estimated) {
  Reader *r = readerOf(act);
  if (r) allPages(r);
  if (!r || r->total_pages <= 0) return -1;
  const int pages = std::min(r->total_pages, kEbookMaxPages);
  if (!r->is_pdf && EbookCountReady() && StartLineOfPage[pages] > 0) {
    if (estimated) *estimated = 0;
    const int64_t before = StartLineOfPage[std::min(r->cur_page, pages)] + r->cur_line;
    return static_cast<int>(before * 100 / StartLineOfPage[pages]);
  }
  // Pages hold the same number of source bytes: the share of pages is the
  // share of the file.
  if (estimated) *estimated = 1;
  return static_cast<int>(static_cast<int64_t>(r->cur_page) * 100 / r->total_pages);
}

int EbookReaderGetInfo(Activity *act, EbookReaderInfo *info) {
  Reader *r = readerOf(act);
  if (!r || !info) return -1;
  info->path = currentPath(r);
  allPages(r);
  info->total_pages = r->total_pages;
  info->cur_page = r->cur_page;
  info->cur_line = r->cur_line;
  info->cur_char = r->cur_char;
  info->line_count = r->lines.count;
  info->mode = r->mode;
  info->ab_state = r->ab_state;
  return 0;
}
