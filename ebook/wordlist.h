// ebook/wordlist.h: the example-word list, "/home/WordList.bin" held in
// memory as the file image. Spelling a Chinese character, the reader says a
// few words that contain it ("开心的开"). Loaded once on the main thread at
// start-up and only read afterwards, so lookups take no lock.
#pragma once

// Most words one character can have (the count is one byte in the file).
constexpr int kWordListMaxWords = 255;

// Loads the list. Returns 0 (also when it is already loaded), or -1 when the
// file is missing, unreadable or not in the list's format.
int WordList_Init(void);

// Loads the list from path (a fixed path, mapped by the board). Same results.
int WordList_InitFrom(const char *path);

// Frees the list; lookups then fail until the next WordList_Init.
void WordList_DeInit(void);

// The example words of character code (a UTF-16 code unit). Fills
// word_pointers[i] with the start of word i (UTF-16 little-endian bytes,
// not terminated, not necessarily 2-byte aligned) and word_lengths[i] with its
// length in 16-bit units; both arrays must hold kWordListMaxWords entries.
// Returns the number of words: 0 for a code outside the list or without
// words, -1 when the list is not loaded or an output is missing.
int WordList_GetWords(unsigned code, const unsigned char **word_pointers, unsigned char *word_lengths);
