// sound/sound_speed.h: the tempo processors. Three processors change the
// speed of speech or music without changing its pitch, or the pitch without
// changing the speed:
//   0  the prompt voice      16000 Hz mono, speech settings
//   1  the reading voice     16000 Hz mono, speech settings
//   2  decoded audio         the library's automatic settings for music
// They take and give interleaved signed 16-bit PCM. A processor with tempo
// and pitch both 0 is bypassed: the caller uses its own input.
//
// A processor holds some audio between calls. At the end of a stream
// (a sentence, a clip) call SoundSpeed_Flush and then SoundSpeed_Receive
// until it gives 0, so the tail is heard and nothing reaches the next
// stream; where the stream jumps (a seek, a stop) call SoundSpeed_Clear.
#pragma once

constexpr int kSoundSpeedCount = 3;

// Configures the three processors as above and puts them in bypass.
// Returns 0.
int SoundSpeed_Init(void);

// Format of the PCM a processor takes. Changing it drops what the
// processor holds. Channels other than 1 mean 2. Return 0, or -1 for a bad
// processor number or rate.
int SoundSpeed_SetSampleRate(int n, int rate);
int SoundSpeed_SetChannels(int n, int ch);

// Tempo change in percent, clamped to -90..1000 (processor 0 speaks 100
// as 90); pitch in semitones, clamped to -10..10. Entering bypass drops
// what the processor holds. Return 0, or -1 for a bad processor number.
int SoundSpeed_SetSpeed(int n, int percent);
int SoundSpeed_SetPitch(int n, int semitones);

// Current settings (for the settings screens and tests); -1 for a bad n.
int SoundSpeed_GetSpeed(int n);
int SoundSpeed_GetPitch(int n);

// Puts `frames` frames through processor n and takes out at most
// `out_frames` processed frames. Returns the frames written to `out` (0 while
// the processor fills up); -2 in bypass (nothing is taken); -1 for a bad n,
// a null buffer or a count <= 0.
int SoundSpeed(int n, const short *in, int frames, short *out, int out_frames);

// Takes out at most `out_frames` frames the processor still holds, without
// new input: after SoundSpeed_Flush this is the end of the stream. Once a
// flushed processor is empty it is reset for the next stream.
// Returns the frames written (0 when empty), or -1.
int SoundSpeed_Receive(int n, short *out, int out_frames);

// The library's flush (push out the last input, padded as needed) and
// clear (drop everything). Return 0, or -1 for a bad processor number.
int SoundSpeed_Flush(int n);
int SoundSpeed_Clear(int n);
