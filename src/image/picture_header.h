// What a picture's header says before any decoder sees it: its size, and a key to the kind of
// pixels it holds, so that what the platform's decoder reported for one picture of a kind can
// stand for the next without a probe of its own. Read after the header checks passed.
#pragma once

#include "core/byte_span.h"

#include <cstdint>

struct PictureHeader {
    std::uint32_t width = 0, height = 0;
    // Equal for two pictures whose headers agree in every field that decides the decoder's pixel
    // format: the container, the bits, the colour type or compression, the alpha.
    std::uint64_t kind = 0;
};

// PNG, JPEG, TGA (by the name's ending), BMP and DIB headers; false for every other form (DDS)
// and for bytes too short to hold the fields.
bool ReadPictureHeader(const char* fileName, const ByteSpan& bytes, PictureHeader& out);
