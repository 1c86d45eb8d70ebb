// Small picture files written by hand, so that tests control every byte: 24-bit BMP, 32-bit TGA
// (top row first), uncompressed A8R8G8B8 DDS, and 32-bit RGBA PNG (stored, not compressed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The colour of a pixel as 0xAARRGGBB.
using PixelFn = std::function<std::uint32_t(int x, int y)>;

std::string BmpBytes(int width, int height, const PixelFn& pixel);
std::string TgaBytes(int width, int height, const PixelFn& pixel);
std::string DdsBytes(int width, int height, const PixelFn& pixel);
std::string PngBytes(int width, int height, const PixelFn& pixel);
