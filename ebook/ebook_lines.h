// ebook/ebook_lines.h: the text side of the e-book reader, without speech.
// A page (UTF-8) is cut into sentences, counted into paragraphs, walked
// letter by letter; a whole book is counted once at open so that positions
// can be spoken as "sentence n of m". Pure functions over plain records; the
// two whole-book arrays are process-wide (one reader exists at a time) and
// are written only by EbookInstallCount on the reader's thread (a count made
// elsewhere is handed over first, see ebook/ebook_count.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct ebook_parser;

constexpr int kEbookMaxLines = 2000;      // sentences kept per page
constexpr int kEbookMaxPages = 131071;    // pages counted by doExtraInit

// The sentence table of one page: the page text and up to 2000 sentences;
// sentence i runs from start[i] to start[i + 1]. An empty page has one
// empty sentence.
struct EbookLines {
  std::string text;
  int count = 0;
  int start[kEbookMaxLines + 1] = {};
};

// Splits text (length bytes of UTF-8) into lines->text and its sentences.
// A sentence starts at the first letter, digit or other non-punctuation
// character after a break (control characters, ! , ; ? CJK punctuation,
// full-width forms, and a '.' not followed by a letter or digit); neutral
// ASCII (spaces, quotes, brackets) stays with the sentence before. Returns
// the sentence count (at least 1).
int InitLineInfo(EbookLines *lines, const char *text, int length);

// The number of sentences of text by the same rules (no table kept).
int CountLines(const char *text, int length);

// Runs of CR/LF bytes in text[0..length): a run of any length counts once.
int CountParagraphBreaks(const char *text, int length);

// Sentence i's bytes: *len set, pointer into lines->text (null outside).
const char *GetSentence(const EbookLines *lines, int i, int *len);

// 1 when bytes [from, to) of text hold a CR or LF.
int HasLineBreak(const char *text, int from, int to);

// 1 when a CR or LF follows the last character of text[from..to) other
// than CR, LF, blank or tab: the sentence ends its paragraph.
int EndsWithBreak(const char *text, int from, int to);

// Whole-book counters: StartLineOfPage[p] and StartParagraphOfPage[p] hold
// the sentences and the paragraph breaks before page p; index total_pages
// holds the totals.
extern int StartLineOfPage[kEbookMaxPages + 1];
extern int StartParagraphOfPage[kEbookMaxPages + 1];

// A whole-book count before it is installed: per page the sentences and
// paragraph breaks before it (the totals at the end), and whether the page
// continues a run of line breaks that the page before ended in.
struct EbookBookCount {
  std::vector<int> lines;
  std::vector<int> paragraphs;
  std::vector<bool> continuesRun;
};

// Reads every page of an open book (at most 131071) into *count. A run of
// line breaks that a page end cuts in two counts once. stop (may be null)
// is looked at before every page. Returns the pages counted, or -1 when
// stopped.
int EbookCountPages(ebook_parser *parser, int total_pages, EbookBookCount *count, const std::atomic<bool> *stop);

// Makes a count the one the two arrays and ParagraphsBefore answer from.
void EbookInstallCount(const EbookBookCount &count);

// Counts and installs at once. Returns the number of pages counted.
int doExtraInit(ebook_parser *parser, int total_pages);

// The paragraph breaks of the book before byte offset of page (whose text
// is given), counted as doExtraInit counts them.
int ParagraphsBefore(int page, const char *text, int offset);

// ---- Characters ----

// Decodes the UTF-8 character at text[pos] (pos < length): its code in
// *code, its byte length as the result (an invalid byte counts as one byte
// of its own value).
int Utf8CharAt(const char *text, int length, int pos, uint32_t *code);

// Start of the character before pos (pos > 0), or -1 at 0.
int Utf8PrevStart(const char *text, int pos);

// The letter after the one at pos (pos < length): its offset, or length
// when the page has no further letter. A run of spaces and tabs, or of CR
// and LF, is one letter: stepping past its first byte skips the rest.
int NextLetter(const char *text, int length, int pos);

// The letter before pos: its offset, or -1 when pos is the page's first.
// A run of white space is entered at its first byte.
int PrevLetter(const char *text, int pos);

// Skips, from pos, the white space of the same run as code (a space or tab
// after a space or tab, CR/LF after CR or LF): where a run that began on
// the page before ends. Returns the new offset.
int SkipRunFrom(const char *text, int length, int pos, uint32_t code);

// The character the reader speaks for code (a few rare forms are replaced
// by their common ones).
uint32_t EbookSubstitute(uint32_t code);

// Appends code as UTF-8 to out.
void AppendUtf8(std::string *out, uint32_t code);

// Copies len bytes of a sentence into the text given to the speech engine:
// every character substituted, control characters made blanks, blanks at
// either end dropped.
std::string SpeakableSentence(const char *text, int len);

// What letter mode says for code in language lang (0 Chinese, 1 English):
// the character, its symbol name, or in Chinese its example words from the
// word list (", 开心的开, ..."). UTF-8, at most 508 bytes.
std::string LetterText(uint32_t code, int lang);
