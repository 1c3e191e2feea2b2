// daisy/daisy_duration.h: the length of an audio file, for SMIL audio
// elements that play to the end of their file. Stands in for the audio
// decoder's duration probe until the decoder module provides it.
#pragma once

// Duration of the audio file at path (a fixed path, mapped by the board) in
// ms, or -1 when it cannot be opened or gives no duration.
int daisy_audio_total_ms(const char *path);
