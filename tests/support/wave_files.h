// Wave files made in memory for the sound and music tests.
#pragma once

#include <cstdint>
#include <string>

std::string U32(std::uint32_t v);
std::string U16(std::uint16_t v);
// A 16-bit PCM wave of a tone: channels, rate and sample count as asked.
std::string PcmWave(int samples, int channels = 1, int rate = 22050);
// True when the runner gave the Wine processes an audio device (WINE_RUN_AUDIO): then a sound
// start-up that finds none is a fault, not a reason to skip.
bool AudioDevicePromised();
