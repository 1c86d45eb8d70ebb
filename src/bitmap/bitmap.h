// Bitmap module: numbered off-screen drawing surfaces on the device. Bitmap 0 is the screen (the
// back buffer); the others are lockable render targets that the 2D drawing can be pointed at.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Module entries.
void BitmapConstructor(HINSTANCE);
// Stop entry: releases everything the module holds.
void BitmapDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void BitmapSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void BitmapPassCoreData(CoreData* core);
// 0 frees every bitmap; 1 makes bitmap 0 again for the new device.
void BitmapRefreshD3D(std::int32_t mode);

// Numbers 0..22000000 for lookups (error 1001 outside), 1..22000000 for making and deleting;
// 1002 when a bitmap is missing, 1003 when a file cannot be loaded or a bitmap cannot be made
// (a bitmap already under the number then stays as it was).
void CreateBitmap(std::int32_t n, std::int32_t width, std::int32_t height);
// Loads a picture into bitmap n (a new bitmap takes the picture's size) and draws to it.
void LoadBitmap(const char* fileName, std::int32_t n);
// Loads a picture onto the screen (bitmap 0).
void LoadBitmap(const char* fileName);
// Copies one bitmap onto another, stretched to fit (1001 when they are the same).
void CopyBitmap(std::int32_t from, std::int32_t to);
// Copies a rectangle of one bitmap onto a rectangle of another, stretched.
void CopyBitmapRect(std::int32_t from, std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, std::int32_t to, std::int32_t toLeft, std::int32_t toTop,
                    std::int32_t toRight, std::int32_t toBottom);
// Frees bitmap n; drawing goes back to the screen.
void DeleteBitmap(std::int32_t n);
// Makes drawing go to bitmap n (0: the screen).
void SetCurrentBitmap(std::int32_t n);
// The bitmap that drawing goes to.
std::int32_t GetCurrentBitmap();

// 1 when bitmap n exists.
std::int32_t BitmapExist(std::int32_t n);
// Width in pixels, 0 when missing.
std::int32_t GetBitmapWidth(std::int32_t n);
// Height in pixels, 0 when missing.
std::int32_t GetBitmapHeight(std::int32_t n);
// Bits per pixel, 0 when missing.
std::int32_t GetBitmapDepth(std::int32_t n);
// 1 after an odd number of mirrors.
std::int32_t BitmapMirrored(std::int32_t n);
// 1 after an odd number of flips.
std::int32_t BitmapFlipped(std::int32_t n);
// The same on the current bitmap.
std::int32_t BitmapExist();
// Width of the current bitmap.
std::int32_t GetBitmapWidth();
// Height of the current bitmap.
std::int32_t GetBitmapHeight();
// Bits per pixel of the current bitmap.
std::int32_t GetBitmapDepth();
// Whether the current bitmap is mirrored.
std::int32_t BitmapMirrored();
// Whether the current bitmap is flipped.
std::int32_t BitmapFlipped();

// Pixel effects, in place. A percent outside 0..100 or a radius above 9 does nothing.
void MirrorBitmap(std::int32_t n);
// Turns the bitmap upside down.
void FlipBitmap(std::int32_t n);
// Scales every pixel's colour to percent of itself.
void FadeBitmap(std::int32_t n, std::int32_t percent);
// Averages each pixel over a radius x radius box (2 to 9); 101, and the bitmap as it was, when the
// rows it works in cannot be had.
void BlurBitmap(std::int32_t n, std::int32_t radius);

// Memory-block converters. Mode 1 fills *data (a GlobalAlloc block the caller frees with mode 0)
// with the bitmap's rows and its sizes (5104 when there is no memory for them); any other mode
// frees *data.
void MakeMemblockFromBitmap(std::int32_t mode, std::int32_t n, std::uint8_t** data,
                            std::int32_t* width, std::int32_t* height, std::int32_t* depth,
                            std::int32_t* size);
// Makes bitmap n (n > 0) of this size and copies the rows in; bitmap 0 takes only what fits.
// False, with nothing read, when the block of size bytes holds fewer pixels than the header says.
bool MakeBitmapFromMemblock(std::int32_t n, std::int32_t width, std::int32_t height,
                            std::int32_t depth, const std::uint8_t* data, std::uint32_t size);
