// The ivTTS calls (see ivtts.h). An instance record lives in the work memory
// its creator hands over; it owns its resampler, effect and PCM buffers and
// is used by one thread at a time. The only state shared between instances is
// espeak-ng itself (espeak_core.cpp, under its own lock), the data-path
// override and the resource lexicons (g_configMutex, below; a lexicon is not
// changed once made). No lock is held while a callback runs.
//
// Resource layout (all numbers 32-bit little-endian): "ivTTSres", version 1,
// section count (at most 16), then per section its type, offset and size.
// Type 1: the espeak-ng data folder (UTF-8 path). Type 2: a lexicon of lines
// "word<TAB>replacement" (UTF-8), applied longest word first to Han text read
// by a Mandarin voice; replacements are usually characters followed by
// tone-numbered pinyin (银hang2). Unknown types are skipped; a resource without
// the header leaves every setting at its default.
#include "ttsengine/ivtts.h"

#include "core/runtime/log.h"
#include "ttsengine/espeak_core.h"
#include "ttsengine/pcm_dsp.h"
#include "ttsengine/text_plan.h"
#include "ttsengine/voice_role.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr char kLogSource[] = "ttsengine/ivtts.c";
constexpr uint32_t kMagic = 0x53545669;  // "iVTS"
constexpr size_t kPieceSamples = 1024;   // 64 ms per output callback
constexpr uint32_t kMaxSections = 16;
constexpr uint32_t kMaxLexiconBytes = 4u << 20;

// A lexicon read from a resource: words and replacements are views into
// the section's text, which it owns. Instances made from the same resource
// share one (g_lexicons), as the readers' voices come and go.
struct Lexicon {
  std::string text;
  std::unordered_map<std::string_view, std::string_view> words;
  size_t maxChars = 0;
};

std::mutex g_configMutex;
std::string g_dataPath;  // guarded by g_configMutex; set by ivTTS_SetDataPath
std::unordered_map<size_t, std::weak_ptr<const Lexicon>> g_lexicons;  // guarded by g_configMutex

}  // namespace

struct IvTtsInstance {
  uint32_t magic = kMagic;
  void *cbParam = nullptr;
  ivCBOutput output = nullptr;
  ivCBEvent event = nullptr;
  ivCBProgress progress = nullptr;
  ivCBProgress progressExt = nullptr;
  ivCBParamChange paramChange = nullptr;

  int language = 1;
  int codePage = kCodePageGbk;
  int readDigit = 0;
  int yao = 0;
  int roleMain = ivTTS_ROLE_MANDARIN_FEMALE;
  int roleCompanion = ivTTS_ROLE_MANDARIN_FEMALE;
  VoiceSettings voice;

  bool inSynth = false;  // a callback of this instance is running
  Resampler resampler;
  PcmEffect effect;
  std::vector<int16_t> native, pcm;

  std::shared_ptr<const Lexicon> lexicon;  // null without one
};

namespace {

bool valid(ivHTTS h) { return h && h->magic == kMagic; }

uint32_t le32(const unsigned char *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

size_t utf8Len(unsigned char lead) {
  return lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
}

std::shared_ptr<const Lexicon> parseLexicon(std::string text) {
  auto lex = std::make_shared<Lexicon>();
  lex->text = std::move(text);
  std::string_view all(lex->text);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t nl = all.find('\n', pos);
    if (nl == std::string_view::npos) nl = all.size();
    std::string_view line = all.substr(pos, nl - pos);
    pos = nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string_view::npos || tab == 0 || tab + 1 == line.size())
      continue;
    std::string_view word = line.substr(0, tab);
    size_t chars = 0;
    for (size_t i = 0; i < word.size(); i += utf8Len(static_cast<unsigned char>(word[i]))) chars++;
    if (chars < 2 || chars > 16) continue;
    lex->words.emplace(word, line.substr(tab + 1));
    lex->maxChars = std::max(lex->maxChars, chars);
  }
  return lex;
}

// The lexicon of a resource section, shared with other instances that read
// the same text.
std::shared_ptr<const Lexicon> lexiconFor(std::string text) {
  size_t key = std::hash<std::string>()(text);
  std::scoped_lock lock(g_configMutex);
  auto it = g_lexicons.find(key);
  if (it != g_lexicons.end())
    if (auto lex = it->second.lock(); lex && lex->text == text) return lex;
  auto lex = parseLexicon(std::move(text));
  g_lexicons[key] = lex;
  return lex;
}

// Reads what the resource offers: the data folder and the lexicon.
void readResource(IvTtsInstance *h, const ivTResPackDesc *res, uint32_t count, std::string *dataDir) {
  if (!res || count == 0 || !res->pfnRead) return;
  unsigned char head[16];
  if (res->pfnRead(res->pCBParam, head, 0, sizeof head) != ivTTS_RES_READ_ALL ||
      std::memcmp(head, "ivTTSres", 8) != 0) {
    LOGI("speech resource without sections: defaults\n");
    return;
  }
  uint32_t sections = le32(head + 12);
  if (le32(head + 8) != 1 || sections > kMaxSections) {
    LOGW("speech resource: version %u with %u sections not understood\n", le32(head + 8), sections);
    return;
  }
  for (uint32_t i = 0; i < sections; i++) {
    unsigned char entry[12];
    if (res->pfnRead(res->pCBParam, entry, 16 + i * 12, sizeof entry) != ivTTS_RES_READ_ALL) {
      LOGW("speech resource: section table cut short\n");
      return;
    }
    uint32_t type = le32(entry), offset = le32(entry + 4), size = le32(entry + 8);
    if ((type != 1 && type != 2) || size == 0) continue;
    if ((type == 1 && size > 1024) || size > kMaxLexiconBytes) {
      LOGW("speech resource: section %u too large (%u bytes)\n", type, size);
      continue;
    }
    std::string data(size, '\0');
    if (res->pfnRead(res->pCBParam, data.data(), offset, size) != ivTTS_RES_READ_ALL) {
      LOGW("speech resource: section %u unreadable\n", type);
      continue;
    }
    if (type == 1)
      *dataDir = data.c_str();
    else
      h->lexicon = lexiconFor(std::move(data));
  }
}

// Replaces lexicon words in Han text, longest first at each character.
std::string applyLexicon(const Lexicon *lex, const std::string &text) {
  if (!lex || lex->words.empty()) return text;
  std::string_view t(text);
  std::string out;
  size_t i = 0;
  while (i < t.size()) {
    size_t ends[17];
    size_t n = 0, j = i;
    while (n < lex->maxChars && j < t.size()) {
      j = std::min(j + utf8Len(static_cast<unsigned char>(t[j])), t.size());
      ends[n++] = j;
    }
    size_t next = ends[0];
    for (size_t k = n; k >= 2; k--) {
      auto it = lex->words.find(t.substr(i, ends[k - 1] - i));
      if (it != lex->words.end()) {
        out += it->second;
        i = ends[k - 1];
        next = 0;
        break;
      }
    }
    if (next) {
      out.append(t.substr(i, next - i));
      i = next;
    }
  }
  return out;
}

TextPlanOptions planOptions(const IvTtsInstance *h, int codePage) {
  TextPlanOptions o;
  o.codePage = codePage;
  o.language = h->language;
  o.readDigit = h->readDigit;
  o.yao = h->yao;
  return o;
}

// The voice and the final text of one run.
bool runVoice(const IvTtsInstance *h, const TextRun &run, EspeakVoice *voice, std::string *text) {
  const VoiceRole *role = VoiceRoleFind(run.lang == RunLang::kChinese ? h->roleMain : h->roleCompanion);
  if (!role) return false;
  *voice = VoiceRoleVoice(*role, run.lang, h->voice);
  bool mandarin = run.lang == RunLang::kChinese && std::strncmp(role->chinese, "cmn", 3) == 0;
  *text = mandarin ? applyLexicon(h->lexicon.get(), run.text) : run.text;
  return true;
}

// Hands PCM to the output callback in pieces. False when it asked to stop.
bool deliver(IvTtsInstance *h, uint16_t code, const std::vector<int16_t> &pcm) {
  for (size_t i = 0; i < pcm.size(); i += kPieceSamples) {
    size_t n = std::min(kPieceSamples, pcm.size() - i);
    int r = h->output(h->cbParam, code, pcm.data() + i, static_cast<uint32_t>(n * sizeof(int16_t)));
    if (r != ivTTS_OUTPUT_CONTINUE) return false;
  }
  return true;
}

bool isCallbackId(uint32_t id) {
  return id == ivTTS_PARAM_PARAMCH_CALLBACK || id == ivTTS_PARAM_PROGRESS_CALLBACK ||
         id == ivTTS_PARAM_PROGRESS_CALLBACK_EXT || id == ivTTS_PARAM_OUTPUT_CALLBACK ||
         id == ivTTS_PARAM_EVENT_CALLBACK;
}

bool isReservedId(uint32_t id) {
  return id == ivTTS_PARAM_TEXT_MARK || id == ivTTS_PARAM_RESERVED_105 || id == ivTTS_PARAM_INPUT_MODE ||
         (id >= ivTTS_PARAM_RESERVED_303 && id <= ivTTS_PARAM_RESERVED_306) || id == ivTTS_PARAM_RESERVED_800;
}

bool inRange(intptr_t v, intptr_t lo, intptr_t hi) { return v >= lo && v <= hi; }

// Stores a value; false when the id is unknown or the value is refused.
bool store(IvTtsInstance *h, uint32_t id, intptr_t v) {
  switch (id) {
    case ivTTS_PARAM_PARAMCH_CALLBACK: h->paramChange = reinterpret_cast<ivCBParamChange>(v); return true;
    case ivTTS_PARAM_PROGRESS_CALLBACK: h->progress = reinterpret_cast<ivCBProgress>(v); return true;
    case ivTTS_PARAM_PROGRESS_CALLBACK_EXT: h->progressExt = reinterpret_cast<ivCBProgress>(v); return true;
    case ivTTS_PARAM_OUTPUT_CALLBACK: h->output = reinterpret_cast<ivCBOutput>(v); return true;
    case ivTTS_PARAM_EVENT_CALLBACK: h->event = reinterpret_cast<ivCBEvent>(v); return true;
    case ivTTS_PARAM_LANGUAGE:
      if (!inRange(v, 0, 2)) return false;
      h->language = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_INPUT_CODEPAGE:
      if (v != kCodePageGbk && v != kCodePageUtf8 && v != kCodePageUtf16le) return false;
      h->codePage = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_READ_DIGIT:
      if (!inRange(v, 0, 2)) return false;
      h->readDigit = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_CHINESE_NUMBER_1:
      if (!inRange(v, 0, 1)) return false;
      h->yao = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_ROLE:
      if (!inRange(v, 0, 1000) || !VoiceRoleFind(static_cast<int>(v))) return false;
      h->roleMain = h->roleCompanion = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_ROLE_MAIN:
    case ivTTS_PARAM_ROLE_COMPANION:
      if (!inRange(v, 0, 1000) || !VoiceRoleFind(static_cast<int>(v))) return false;
      (id == ivTTS_PARAM_ROLE_MAIN ? h->roleMain : h->roleCompanion) = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_VOICE_STYLE:
      if (!inRange(v, 0, 2)) return false;
      h->voice.style = static_cast<int>(v);
      return true;
    case ivTTS_PARAM_VOICE_SPEED:
    case ivTTS_PARAM_VOICE_PITCH:
    case ivTTS_PARAM_VOLUME:
      if (!inRange(v, -32768, 32767)) return false;
      (id == ivTTS_PARAM_VOICE_SPEED ? h->voice.speed : id == ivTTS_PARAM_VOICE_PITCH ? h->voice.pitch : h->voice.volume) =
          static_cast<int>(v);
      return true;
    case ivTTS_PARAM_VEMODE:
      if (!inRange(v, 0, 7) || !PcmEffect::Supported(static_cast<int>(v))) return false;
      h->voice.effect = static_cast<int>(v);
      return true;
    default:
      return isReservedId(id) && v == 0;  // reserved ids take only 0
  }
}

bool fetch(const IvTtsInstance *h, uint32_t id, intptr_t *v) {
  switch (id) {
    case ivTTS_PARAM_PARAMCH_CALLBACK: *v = reinterpret_cast<intptr_t>(h->paramChange); return true;
    case ivTTS_PARAM_PROGRESS_CALLBACK: *v = reinterpret_cast<intptr_t>(h->progress); return true;
    case ivTTS_PARAM_PROGRESS_CALLBACK_EXT: *v = reinterpret_cast<intptr_t>(h->progressExt); return true;
    case ivTTS_PARAM_OUTPUT_CALLBACK: *v = reinterpret_cast<intptr_t>(h->output); return true;
    case ivTTS_PARAM_EVENT_CALLBACK: *v = reinterpret_cast<intptr_t>(h->event); return true;
    case ivTTS_PARAM_LANGUAGE: *v = h->language; return true;
    case ivTTS_PARAM_INPUT_CODEPAGE: *v = h->codePage; return true;
    case ivTTS_PARAM_READ_DIGIT: *v = h->readDigit; return true;
    case ivTTS_PARAM_CHINESE_NUMBER_1: *v = h->yao; return true;
    case ivTTS_PARAM_ROLE:
    case ivTTS_PARAM_ROLE_MAIN: *v = h->roleMain; return true;
    case ivTTS_PARAM_ROLE_COMPANION: *v = h->roleCompanion; return true;
    case ivTTS_PARAM_VOICE_STYLE: *v = h->voice.style; return true;
    case ivTTS_PARAM_VOICE_SPEED: *v = h->voice.speed; return true;
    case ivTTS_PARAM_VOICE_PITCH: *v = h->voice.pitch; return true;
    case ivTTS_PARAM_VOLUME: *v = h->voice.volume; return true;
    case ivTTS_PARAM_VEMODE: *v = h->voice.effect; return true;
    default:
      if (!isReservedId(id)) return false;
      *v = 0;
      return true;
  }
}

}  // namespace

int ivTTS_CreateG(ivHTTS *phTTS, void *heap, uint32_t heapSize, void *cbParam,
                  const ivTResPackDesc *resources, uint32_t resCount, const void *reserved) {
  if (!phTTS) return ivTTS_ERR_INVPARAM;
  *phTTS = nullptr;
  if (reserved) return ivTTS_ERR_INVPARAM;
  if (!heap) return ivTTS_ERR_BUFFER;
  void *p = heap;
  size_t space = heapSize;
  if (!std::align(alignof(IvTtsInstance), sizeof(IvTtsInstance), p, space)) return ivTTS_ERR_BUFFER;

  auto *h = new (p) IvTtsInstance;
  h->cbParam = cbParam;
  std::string dataDir;
  readResource(h, resources, resCount, &dataDir);
  {
    std::scoped_lock lock(g_configMutex);
    if (!g_dataPath.empty()) dataDir = g_dataPath;
  }
  int err = ivTTS_ERR_OK;
  if (!h->resampler.ok())
    err = ivTTS_ERR_FAILED;
  else if (EspeakOpen(dataDir.empty() ? nullptr : dataDir.c_str()) != 0)
    err = ivTTS_ERR_RESOURCE;
  if (err != ivTTS_ERR_OK) {
    h->~IvTtsInstance();
    return err;
  }
  *phTTS = h;
  return ivTTS_ERR_OK;
}

int ivTTS_SetParam(ivHTTS h, uint32_t id, intptr_t value) {
  if (!valid(h)) return ivTTS_ERR_INVCALL;
  intptr_t old = 0;
  bool had = fetch(h, id, &old);
  if (!store(h, id, value)) return ivTTS_ERR_INVPARAM;
  if (h->paramChange && !isCallbackId(id) && had && old != value && !h->inSynth) {
    h->inSynth = true;  // no ivTTS call on this instance from inside the callback
    h->paramChange(h->cbParam, id, value);
    h->inSynth = false;
  }
  return ivTTS_ERR_OK;
}

int ivTTS_GetParam(ivHTTS h, uint32_t id, intptr_t *value) {
  if (!valid(h)) return ivTTS_ERR_INVCALL;
  if (!value || !fetch(h, id, value)) return ivTTS_ERR_INVPARAM;
  return ivTTS_ERR_OK;
}

int ivTTS_SynthText(ivHTTS h, const void *text, uint32_t bytes) {
  if (!valid(h) || h->inSynth || !h->output) return ivTTS_ERR_INVCALL;
  if (!text && bytes > 0) return ivTTS_ERR_INVPARAM;
  h->inSynth = true;
  std::vector<TextClause> plan = TextPlan(text, bytes, planOptions(h, h->codePage));
  h->resampler.Reset();
  h->effect.Reset(h->voice.effect);
  int result = ivTTS_ERR_OK;
  bool aborted = false;
  for (const TextClause &clause : plan) {
    if (h->progressExt) h->progressExt(h->cbParam, clause.byteStart, clause.byteLen);
    if (h->progress) h->progress(h->cbParam, clause.charStart, clause.charLen);
    for (const TextRun &run : clause.runs) {
      EspeakVoice voice;
      std::string say;
      h->native.clear();
      h->pcm.clear();
      if (!runVoice(h, run, &voice, &say) || EspeakSynth(voice, say, &h->native) != 0) {
        result = ivTTS_ERR_FAILED;  // the rest of the text is still spoken
        continue;
      }
      h->resampler.Process(h->native.data(), h->native.size(), &h->pcm);
      h->effect.Process(h->pcm.data(), h->pcm.size());
      if (!deliver(h, ivTTS_CODE_PCM, h->pcm)) {
        aborted = true;
        break;
      }
    }
    if (aborted) break;
  }
  if (!aborted) {
    h->pcm.clear();
    h->resampler.Flush(&h->pcm);
    h->effect.Process(h->pcm.data(), h->pcm.size());
    aborted = !deliver(h, ivTTS_CODE_PCM_FLUSH, h->pcm);
  }
  if (!aborted && h->effect.TailSamples() > 0) {
    h->pcm.assign(h->effect.TailSamples(), 0);
    h->effect.Process(h->pcm.data(), h->pcm.size());
    aborted = !deliver(h, ivTTS_CODE_PCM_TAIL, h->pcm);
  }
  if (h->event) h->event(h->cbParam, ivTTS_EVENT_TEXT_END, aborted ? 1 : 0);
  h->inSynth = false;
  return aborted ? ivTTS_ERR_EXIT : result;
}

int ivTTS_Destroy(ivHTTS h) {
  if (!valid(h) || h->inSynth) return ivTTS_ERR_INVCALL;
  h->magic = 0;
  h->~IvTtsInstance();
  return ivTTS_ERR_OK;
}

int ivTTS_SetDataPath(const char *dir) {
  std::scoped_lock lock(g_configMutex);
  g_dataPath = dir ? dir : "";
  return ivTTS_ERR_OK;
}

int ivTTS_FindDataPath(char *out, uint32_t size) {
  if (!out || size == 0) return ivTTS_ERR_INVPARAM;
  std::string dir = EspeakDataDir();
  if (dir.empty()) {
    std::string override;
    {
      std::scoped_lock lock(g_configMutex);
      override = g_dataPath;
    }
    if (EspeakFindData(override.empty() ? nullptr : override.c_str(), &dir) != 0) return ivTTS_ERR_RESOURCE;
  }
  if (dir.size() + 1 > size) return ivTTS_ERR_BUFFER;
  std::memcpy(out, dir.c_str(), dir.size() + 1);
  return ivTTS_ERR_OK;
}

int ivTTS_GetPhonemes(ivHTTS h, const char *utf8, char *out, uint32_t size) {
  if (!valid(h) || h->inSynth) return -ivTTS_ERR_INVCALL;
  if (!utf8 || !out || size == 0) return -ivTTS_ERR_INVPARAM;
  std::string all;
  for (const TextClause &clause :
       TextPlan(utf8, static_cast<uint32_t>(std::strlen(utf8)), planOptions(h, kCodePageUtf8))) {
    if (!all.empty()) all += " | ";
    for (const TextRun &run : clause.runs) {
      EspeakVoice voice;
      std::string say, phonemes;
      if (!runVoice(h, run, &voice, &say) || EspeakPhonemes(voice, say, &phonemes) != 0)
        return -ivTTS_ERR_FAILED;
      if (!all.empty() && all.back() != ' ') all += ' ';
      all += phonemes;
    }
  }
  size_t n = std::min<size_t>(all.size(), size - 1);
  std::memcpy(out, all.data(), n);
  out[n] = '\0';
  return static_cast<int>(n);
}
