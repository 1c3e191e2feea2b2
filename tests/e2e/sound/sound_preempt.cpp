// A player pre-empted by a prompt, at full length, on the host board's
// sound device: a 44.1 kHz stereo stream whose frames encode their index
// plays as the main client; after 3 s a 16 kHz mono insert client speaks
// for 0.6 s. sound.log must show -2 only during the insert, the insert
// sounding within 260 ms of its open, the player reopened at 44100/2, and
// the player's output, joined, equal to its input sample for sample.
#include "unit/sound/preempt_scenario.h"

using soundtest::SoundTest;

TEST_F(SoundTest, PromptPreemptsAPlayerAfterThreeSeconds) {
  auto run = soundtest::RunPreempt(4500, 3000, 600);
  soundtest::CheckPreempt(run, 4500, true);
}
