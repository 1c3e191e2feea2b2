// ttsengine/voice_role.h: the engine's voice roles and how they map onto
// espeak-ng voices. A role reads Han text with a Mandarin or Cantonese voice
// and Latin text with an English one, both in the role's own variant, pitch
// and intonation range, so that the eight voices of the settings sound
// different from one another.
#pragma once

#include "ttsengine/espeak_core.h"
#include "ttsengine/text_plan.h"

struct VoiceRole {
  int id;
  const char *chinese;  // espeak-ng voice for Han text
  const char *english;  // espeak-ng voice for Latin text
  const char *variant;  // espeak-ng variant ("f2", "m3")
  int pitch;            // espeak-ng pitch 0..100
  int range;            // espeak-ng intonation range 0..100
};

// The role with this id, or null for an unknown one.
const VoiceRole *VoiceRoleFind(int id);

// Prosody settings of an instance (engine parameter values).
struct VoiceSettings {
  int speed = 0;       // 0x502
  int pitch = 0;       // 0x503
  int volume = 32767;  // 0x504
  int style = 1;       // 0x501
  int effect = 0;      // 0x600
};

// The complete espeak-ng voice for one run of text.
EspeakVoice VoiceRoleVoice(const VoiceRole &role, RunLang lang, const VoiceSettings &settings);
