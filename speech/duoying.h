// speech/duoying.h: the polyphone table. Words whose characters have several
// readings, and that the speech engine would misread, are replaced by text
// that reads right (a homophone in unambiguous characters, or inline pinyin)
// before the e-book reader speaks a sentence. The table comes from
// "/mnt/emmc/duo_ying_zi.res" (GBK lines "word,replacement"); matching works
// on GBK text, longest word first.
//
// The table is loaded on the main thread at start-up and after USB disk mode;
// conversions run on the reader's thread. g_mutex (duoying.cpp) guards the
// table; the shared result buffer is the caller's to use before the next
// conversion. Messages go to standard output, not to the log.
#pragma once

// Loads the file into the table. Returns 0, or -1 when it cannot be opened
// or read (the table then stays unloaded and text passes unchanged).
int InitDuoYing(void);

// Frees the table; conversions then pass text through.
void DeInitDuoYing(void);

// Loads the file again when its modification time changed since the last
// load; frees the table when the file is gone.
void reload_duoying_file(void);

// Replaces the table's words in GBK text src, writing at most size bytes
// (terminator included) to dst; dst null means a shared 1024-byte buffer.
// Returns dst, src itself when src is null or dst == src, null for an empty src.
char *DuoYingConvert(const char *src, char *dst, int size);

// The same for len bytes of UTF-8 text. Returns the converted text (in the
// shared buffer, valid until the next call) with *out_len its length, the
// input itself when no table is loaded, or a single blank for empty text.
// Characters without a GBK form become blanks.
const char *convert_utf8(const char *text, int len, int *out_len);

// Bucket numbers of a GBK text's first two to five characters (see the file
// format): codes[k] for the first k + 2 characters. Returns the highest k
// (0..3), -1 for a null or empty text, -2 when shorter than four bytes, -3
// when the first two characters are not GBK.
int GetHCode(int codes[4], const char *text);
