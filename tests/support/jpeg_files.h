// JPEG files written bit by bit for the picture tests: a frame of any size and sampling, and scans
// of any of its components, every block coded empty (a DC difference of 0, no AC coefficients).
// A scan over a large picture then takes a few bytes, and the picture decodes to flat grey.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct JpegScan {
    std::vector<int> components; // indices into the frame's components
    bool dc = true;              // a progressive scan of the DC band; else of the AC band 1-63
};

struct JpegPicture {
    int width = 8, height = 8;
    bool progressive = false;
    std::vector<std::uint8_t> sampling{0x11}; // each component's H << 4 | V; ids 1, 2, ...
    std::vector<JpegScan> scans{JpegScan{{0}, true}};
    bool end = true; // the end-of-picture marker after the last scan
    int precision = 8;
    std::uint8_t frameMarker = 0; // the frame header's marker; 0: C0, or C2 when progressive
};

std::string JpegBytes(const JpegPicture& picture);
// A grey progressive picture: its DC scan, then acScans scans of the AC band over every block.
std::string ProgressiveJpegBytes(int width, int height, int acScans);
