// Basic 2D drawing: clears, boxes, lines, dots, circles and ellipses into the current render
// target, pixel reads, and the colour functions. Colours are 0xAARRGGBB.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void Basic2DConstructor(HMODULE display);
// Stop entry: releases everything the module holds.
void Basic2DDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void Basic2DSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void Basic2DPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void Basic2DRefreshD3D(std::int32_t mode);

// Clears the whole target and puts the print cursor back at 0, 0.
void ClearScreen(std::uint32_t colour);
// The foreground and background colours of 2D drawing and the console.
void SetInk(std::uint32_t foreground, std::uint32_t background);
// A box in the foreground colour; right and bottom are outside it.
void FillBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
// A line in the foreground colour.
void DrawLine2D(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
// One pixel in the foreground colour.
void DrawDot(std::int32_t x, std::int32_t y);
// A circle's outline in the foreground colour.
void DrawCircle(std::int32_t centreX, std::int32_t centreY, std::int32_t radius);
// An ellipse's outline in the foreground colour.
void DrawEllipse(std::int32_t centreX, std::int32_t centreY, std::int32_t radiusX,
                 std::int32_t radiusY);
// 0xFFRRGGBB, or 0 outside the target.
std::uint32_t GetPixelColour(std::int32_t x, std::int32_t y);
// An alpha-blended box whose colour runs between its corners.
void DrawShadedBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                   std::uint32_t topLeft, std::uint32_t topRight, std::uint32_t bottomLeft,
                   std::uint32_t bottomRight);
// Copies a rectangle of the target to another place on it.
void CopyScreenArea(std::int32_t destinationX, std::int32_t destinationY, std::int32_t width,
                    std::int32_t height, std::int32_t sourceX, std::int32_t sourceY);

// One lock of the render target for many pixel operations. (The display module's
// LockBackBuffer locks the back buffer itself; these lock whatever CoreData draws into.)
void Basic2DLockBackBuffer();
// Ends the lock.
void Basic2DUnlockBackBuffer();
// The locked target's first byte, null while unlocked.
void* GetBackBufferPtr();
// The locked target's bytes per row.
std::int32_t Basic2DGetBackBufferPitch();

// 0xFFRRGGBB from the three channels' low bytes.
std::uint32_t MakeRgb(std::int32_t red, std::int32_t green, std::int32_t blue);
// The red channel of a colour.
std::int32_t RgbRed(std::uint32_t colour);
// The green channel of a colour.
std::int32_t RgbGreen(std::uint32_t colour);
// The blue channel of a colour.
std::int32_t RgbBlue(std::uint32_t colour);
// The 16-bit 5-6-5 form of a colour.
std::int32_t Rgb565(std::int32_t red, std::int32_t green, std::int32_t blue);
