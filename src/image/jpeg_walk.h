// The engine's own walk of a JPEG file, marker by marker and scan by scan, before the platform's
// decoder sees it. The decoder passes over every block a scan covers, however few bytes the scan
// takes: a progressive file of a few kilobytes may hold thousands of scans over a large picture,
// minutes of decoding. The walk counts those passes so that a load charges them first.
#pragma once

#include "core/byte_span.h"

#include <cstdint>

struct JpegLayout {
    std::uint32_t width = 0, height = 0, components = 0, precision = 0;
    // Blocks passed over by scans after each component's first scan. The first pass over a
    // block decodes its pixels, which the load charges as pixels; every later one is work the
    // file's layout adds.
    std::uint64_t repeatedBlocks = 0;
};

// The decoder a file is walked for. The picture loaders' decoder refuses at once what it cannot
// decode. The media graph's Motion-JPEG decoder drops such a frame and waits for ever for one it
// can decode, holding its graph's worker until the process ends: for it the walk also refuses
// every frame that decoder never decodes.
enum class JpegDecoder { kPicture, kMotionJpeg };

// True when the markers before the first scan are possible (one frame of a size the loaders
// take, then a scan of its components) and every later scan names components of the frame. The
// file may end early, as a cut-short picture does; the passes of the scans it holds are counted,
// and those that an unmapped rest of the file could hold are assumed.
bool WalkJpeg(const ByteSpan& bytes, std::uint64_t fileSize, JpegLayout& out,
              JpegDecoder decoder = JpegDecoder::kPicture);
