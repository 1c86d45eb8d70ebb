// Small picture files written by hand, so that tests control every byte: 24-bit BMP, 32-bit TGA
// (top row first), uncompressed A8R8G8B8 DDS, and 32-bit RGBA PNG (stored, not compressed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The colour of a pixel as 0xAARRGGBB.
using PixelFn = std::function<std::uint32_t(int x, int y)>;

// topDown stores the rows top first, as a negative height says.
std::string BmpBytes(int width, int height, const PixelFn& pixel, bool topDown = false);
std::string TgaBytes(int width, int height, const PixelFn& pixel);
std::string DdsBytes(int width, int height, const PixelFn& pixel);
// A DXT1-compressed DDS of one R5G6B5 colour, one level.
std::string Dxt1Bytes(int width, int height, std::uint16_t colour);
std::string PngBytes(int width, int height, const PixelFn& pixel);
// A PNG of any colour type and depth from its rows' bytes as the type lays them out (the filter
// byte of each row is added here); palette and transparency become PLTE and tRNS when not empty.
std::string PngRawBytes(int width, int height, int depth, int colourType, const std::string& rows,
                        const std::string& palette = "", const std::string& transparency = "");
// A 1-bit palette PNG whose pixels are all colour 0 (black), its data in fixed-code deflate runs:
// a few kilobytes that claim a large picture.
std::string BlankPngBytes(int width, int height);
