// WAV files of the sound format the recorder uses: RIFF/WAVE, PCM, 1 channel,
// 8000 samples per second, 16 bits.
#pragma once

#include <string>

// The samples of a WAV file; false with a message naming what is wrong
// (not a WAV file, another format, rate, channel count or depth, truncated).
bool ReadWaveFile(const std::string& file, std::string& pcm, std::string& error);
// A complete WAV file holding pcm.
std::string MakeWaveFile(const std::string& pcm);
