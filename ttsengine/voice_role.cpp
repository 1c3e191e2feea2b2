// The role table and the mapping of speed, pitch and volume onto espeak-ng.
#include "ttsengine/voice_role.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr char kMandarin[] = "cmn-latn-pinyin";  // plain "cmn" misreads many characters
constexpr char kCantonese[] = "yue";
constexpr char kEnglish[] = "en-us";

constexpr VoiceRole kRoles[] = {
    {3, kMandarin, kEnglish, "f2", 50, 50},   // Mandarin and English, female
    {4, kMandarin, kEnglish, "m3", 50, 50},   // Mandarin and English, male
    {14, kMandarin, kEnglish, "f4", 56, 72},  // Sichuan, female
    {15, kCantonese, kEnglish, "f2", 50, 55}, // Cantonese and English, female
    {17, kMandarin, kEnglish, "m1", 48, 50},  // English male (companion)
    {19, kMandarin, kEnglish, "f1", 52, 50},  // English female (companion)
    {22, kMandarin, kEnglish, "f3", 54, 62},  // Taiwan, female
    {54, kMandarin, kEnglish, "m7", 78, 92},  // cartoon character
    {55, kMandarin, kEnglish, "f5", 90, 65},  // child
    {56, kCantonese, kEnglish, "m3", 50, 55}, // Cantonese and English, male
};

}  // namespace

const VoiceRole *VoiceRoleFind(int id) {
  for (const VoiceRole &r : kRoles)
    if (r.id == id) return &r;
  return nullptr;
}

EspeakVoice VoiceRoleVoice(const VoiceRole &role, RunLang lang, const VoiceSettings &s) {
  EspeakVoice v;
  v.name = std::string(lang == RunLang::kChinese ? role.chinese : role.english) + "+" + role.variant;
  // +32000 doubles the words per minute, -32000 halves them.
  double rate = 175.0 * std::pow(2.0, s.speed / 32000.0);
  v.rate = std::clamp(static_cast<int>(std::lround(rate)), 80, 450);
  v.pitch = std::clamp(role.pitch + s.pitch * 30 / 32000, 0, 100);
  int range = role.range;
  if (s.style == 0) range = 10;
  if (s.style == 2) range = std::min(100, range + 30);
  if (s.effect == 7) range = 100;
  v.range = range;
  v.volume = static_cast<int>((static_cast<long>(s.volume) + 32768) * 100 / 65535);
  return v;
}
