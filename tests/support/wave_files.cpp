#include "core/win32.h"

#include "support/wave_files.h"

#include <cmath>

std::string U32(std::uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string U16(std::uint16_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 2);
}

std::string PcmWave(int samples, int channels, int rate) {
    std::string data;
    for (int i = 0; i < samples * channels; ++i)
        data +=
            U16(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(i * 0.1))));
    const int block = 2 * channels;
    return "RIFF" + U32(36 + static_cast<std::uint32_t>(data.size())) + "WAVEfmt " + U32(16) +
           U16(1) + U16(static_cast<std::uint16_t>(channels)) + U32(rate) + U32(rate * block) +
           U16(static_cast<std::uint16_t>(block)) + U16(16) + "data" +
           U32(static_cast<std::uint32_t>(data.size())) + data;
}

bool AudioDevicePromised() {
    char value[16] = "";
    return GetEnvironmentVariableA("WINE_RUN_AUDIO", value, sizeof value) > 0 && value[0];
}
