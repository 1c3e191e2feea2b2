// ttsengine/ivtts.h: the speech-synthesis engine, reached only through the
// ivTTS calls below. It turns Chinese and English text into 16-bit mono PCM
// at 16000 Hz and hands it to the caller's output callback.
//
// Underneath is libespeak-ng, which is one global engine that is not safe
// for threads. Every instance shares it behind one process-wide lock: a
// piece of text (one clause, one language) is synthesised under the lock
// into the instance's own buffer, with the instance's voice, rate and pitch
// applied first; the lock is then released and the PCM is resampled, given
// its effect and delivered to the output callback. So an output callback
// that blocks (a sink waiting for the sound device) never holds up another
// instance. Instances are independent otherwise; one instance must not be
// used by two threads at once.
//
// Text handling: Han text is read by the instance's main voice role, Latin
// words by its companion role; numbers, decimals, dates, times,
// percentages, negative numbers and long digit strings in Chinese text are
// turned into Chinese words first; tone-numbered pinyin ("hang2") inside
// Chinese text is read as Chinese. Inline pinyin is the way to force the
// reading of a character.
#pragma once

#include <cstdint>

struct IvTtsInstance;
typedef IvTtsInstance *ivHTTS;

// Results of the ivTTS calls: 0 or one of these codes.
enum {
  ivTTS_ERR_OK = 0,
  ivTTS_ERR_FAILED = 1,     // synthesis failed inside the engine
  ivTTS_ERR_INVCALL = 2,    // null or destroyed handle, or a call from inside a callback
  ivTTS_ERR_INVPARAM = 3,   // unknown parameter id, value out of range, bad argument
  ivTTS_ERR_BUFFER = 4,     // work memory missing or too small
  ivTTS_ERR_RESOURCE = 5,   // no usable speech data (espeak-ng-data) was found
  ivTTS_ERR_EXIT = 6,       // the output callback asked to abandon the text
};

// Work memory that callers hand to ivTTS_CreateG; the instance record lives
// in it (its buffers for PCM grow on the heap).
enum { ivTTS_HEAP_SIZE = 368640 };

// Output callback codes.
enum {
  ivTTS_CODE_PCM = 520,        // speech samples
  ivTTS_CODE_PCM_TAIL = 523,   // decay of the voice effect after the text
  ivTTS_CODE_PCM_FLUSH = 528,  // last samples of the text (resampler flush)
};

// Return values of the output callback.
enum {
  ivTTS_OUTPUT_CONTINUE = 0,
  ivTTS_OUTPUT_ABORT = 2,  // abandon the text; ivTTS_SynthText returns ivTTS_ERR_EXIT
};

// Events given to the event callback.
enum {
  ivTTS_EVENT_TEXT_END = 1,  // value: 0 spoken to its end, 1 abandoned
};

// Reads size bytes of a resource at offset into buffer. Returns
// ivTTS_RES_READ_ALL (all bits set) when the full size was read, else 0.
typedef uint32_t (*ivCBReadRes)(void *param, void *buffer, uint32_t offset, uint32_t size);
enum : uint32_t { ivTTS_RES_READ_ALL = 0xffffffffu };

// Receives bytes of PCM (16-bit signed, native byte order, mono, 16000 Hz)
// with one of the ivTTS_CODE_* codes. Called without any engine lock held;
// it may block. Returns ivTTS_OUTPUT_CONTINUE or ivTTS_OUTPUT_ABORT.
typedef int (*ivCBOutput)(void *param, uint16_t code, const void *pcm, uint32_t bytes);
// Told of engine events (ivTTS_EVENT_*). The result is ignored.
typedef int (*ivCBEvent)(void *param, uint32_t event, uint32_t value);
// Told, before its speech is delivered, which part of the text is being
// spoken: the extended form in bytes of the input, the plain form in
// characters. The result is ignored.
typedef int (*ivCBProgress)(void *param, uint32_t pos, uint32_t len);
// Told after a parameter has changed its value. The result is ignored.
typedef int (*ivCBParamChange)(void *param, uint32_t id, intptr_t value);

// Where the engine's resource comes from. The resource is optional: an
// empty or unreadable one leaves every setting at its default (see
// ttsengine/ivtts.cpp for its layout).
struct ivTResPackDesc {
  void *pCBParam;         // handed to pfnRead
  ivCBReadRes pfnRead;
  uint32_t reserved[7];   // 0
};

// Parameter ids of ivTTS_SetParam, with their values and defaults.
enum : uint32_t {
  ivTTS_PARAM_PARAMCH_CALLBACK = 0x000,   // ivCBParamChange
  ivTTS_PARAM_LANGUAGE = 0x100,           // how numbers are read: in Chinese in text with Han
                                          // characters, and in text of numbers alone with
                                          // 1 Chinese (default); 0 auto (English there);
                                          // 2 English (always English)
  ivTTS_PARAM_INPUT_CODEPAGE = 0x101,     // 936 GBK (default), 65001 UTF-8, 1200 UTF-16LE
  ivTTS_PARAM_TEXT_MARK = 0x102,          // reserved: 0
  ivTTS_PARAM_RESERVED_105 = 0x105,       // reserved: 0
  ivTTS_PARAM_INPUT_MODE = 0x200,         // 0: text handed to ivTTS_SynthText
  ivTTS_PARAM_PROGRESS_CALLBACK = 0x206,  // ivCBProgress, in characters
  ivTTS_PARAM_PROGRESS_CALLBACK_EXT = 0x207,  // ivCBProgress, in bytes
  ivTTS_PARAM_READ_DIGIT = 0x301,         // 0 auto, 1 as values, 2 digit by digit
  ivTTS_PARAM_CHINESE_NUMBER_1 = 0x302,   // the digit 1 in digit strings: 0 "yi", 1 "yao"
  ivTTS_PARAM_RESERVED_303 = 0x303,       // reserved 0x303..0x306: 0
  ivTTS_PARAM_RESERVED_304 = 0x304,
  ivTTS_PARAM_RESERVED_305 = 0x305,
  ivTTS_PARAM_RESERVED_306 = 0x306,
  ivTTS_PARAM_OUTPUT_CALLBACK = 0x401,    // ivCBOutput
  ivTTS_PARAM_ROLE = 0x500,               // a role for both languages (sets 0x510 and 0x511)
  ivTTS_PARAM_VOICE_STYLE = 0x501,        // 0 flat, 1 normal (default), 2 lively intonation
  ivTTS_PARAM_VOICE_SPEED = 0x502,        // -32768..32767, 0 normal, +32000 about twice as fast
  ivTTS_PARAM_VOICE_PITCH = 0x503,        // -32768..32767, 0 the role's own pitch
  ivTTS_PARAM_VOLUME = 0x504,             // -32768..32767, 32767 full (default)
  ivTTS_PARAM_ROLE_MAIN = 0x510,          // role reading Han text (default 3)
  ivTTS_PARAM_ROLE_COMPANION = 0x511,     // role reading Latin text (default 3)
  ivTTS_PARAM_VEMODE = 0x600,             // effect: 0 none, 2 echo, 6 reverberation, 7 strange tone
  ivTTS_PARAM_RESERVED_800 = 0x800,       // reserved: 0
  ivTTS_PARAM_EVENT_CALLBACK = 0x1001,    // ivCBEvent
};

// Voice roles (values of 0x500, 0x510, 0x511). A role fixes the voice of
// the language it reads: Mandarin or Cantonese for Han text (the companion
// reads Latin text in English with the role's character).
enum {
  ivTTS_ROLE_MANDARIN_FEMALE = 3,
  ivTTS_ROLE_MANDARIN_MALE = 4,
  ivTTS_ROLE_SICHUAN_FEMALE = 14,
  ivTTS_ROLE_CANTONESE_FEMALE = 15,
  ivTTS_ROLE_ENGLISH_MALE = 17,
  ivTTS_ROLE_ENGLISH_FEMALE = 19,
  ivTTS_ROLE_TAIWAN_FEMALE = 22,
  ivTTS_ROLE_CARTOON = 54,
  ivTTS_ROLE_CHILD = 55,
  ivTTS_ROLE_CANTONESE_MALE = 56,
};

// Creates an instance in the caller's work memory (at least
// ivTTS_HEAP_SIZE bytes is always enough; the memory must stay valid until
// ivTTS_Destroy). cbParam is handed to every callback. resources may be null
// or resCount 0. reserved must be null. The first creation in the process
// starts espeak-ng with the speech data found (see ivTTS_SetDataPath).
// Returns 0 with *phTTS set, or an ivTTS_ERR_* code with *phTTS null.
int ivTTS_CreateG(ivHTTS *phTTS, void *heap, uint32_t heapSize, void *cbParam,
                  const ivTResPackDesc *resources, uint32_t resCount, const void *reserved);

// Sets one parameter. Callbacks are passed as their address in value.
// Returns 0, or ivTTS_ERR_INVPARAM for an unknown id or a value out of range
// (the old value stays), ivTTS_ERR_INVCALL for a bad handle.
int ivTTS_SetParam(ivHTTS hTTS, uint32_t id, intptr_t value);

// Reads a parameter into *value. Returns 0 or an error code.
int ivTTS_GetParam(ivHTTS hTTS, uint32_t id, intptr_t *value);

// Speaks bytes of text in the input code page. Returns once all of its PCM
// has been handed to the output callback (0), or early with ivTTS_ERR_EXIT
// after the output callback returned ivTTS_OUTPUT_ABORT. Other codes: no
// output callback set, bad handle, a call from inside a callback.
int ivTTS_SynthText(ivHTTS hTTS, const void *text, uint32_t bytes);

// Ends the instance. The work memory may be reused afterwards. Returns 0.
int ivTTS_Destroy(ivHTTS hTTS);

// Outside the ivTTS calls proper (tools, tests, set-up):

// Directory of espeak-ng's data (the espeak-ng-data folder, or the folder
// holding it) to use when the engine starts, taking precedence over the
// resource's, the environment's ESPEAK_DATA_PATH and the built-in default.
// Effective only before the first ivTTS_CreateG. Null clears it. Returns 0.
int ivTTS_SetDataPath(const char *dir);

// The espeak-ng-data folder that the engine would use (or uses): 0 with
// out filled, or ivTTS_ERR_RESOURCE when none is found.
int ivTTS_FindDataPath(char *out, uint32_t size);

// What the instance would say for UTF-8 text, as espeak-ng phoneme
// mnemonics (the "-x" notation), clauses separated by " | ". For checking
// readings (polyphones, numbers) without listening. Returns the length
// written (out is always terminated) or a negative ivTTS_ERR_* code.
int ivTTS_GetPhonemes(ivHTTS hTTS, const char *utf8, char *out, uint32_t size);
