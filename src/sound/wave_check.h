// Checks of wave formats before the platform's sound and compression services see them: the
// compression manager divides by samples per block and trusts block sizes and extension lengths.
#pragma once

#include "core/byte_span.h"

#include <cstdint>

// A WAVEFORMATEX as stored in a fmt chunk of length bytes (16, or 18 and the extension); true
// when every field fits its tag. A tag the engine does not know is refused, unless anyTag lets
// it through on the fields all formats share (a media graph's own decoders take it).
bool CheckWaveFormat(const ByteSpan& format, bool anyTag = false);
// A whole RIFF WAVE file: chunks inside the file, a fmt chunk that passes CheckWaveFormat, then
// a data chunk.
bool CheckWaveFile(const ByteSpan& bytes, std::uint64_t fileSize);
