// Image module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void ImageConstructor(HMODULE display);
void ImageDestructor();
void ImageSetErrorHandler(RuntimeErrorRecord* cell);
void ImagePassCoreData(CoreData* core);
void ImageRefreshD3D(std::int32_t mode);
// Takes the sprite functions that pasting an image draws with.
void ImageLinkSpriteFunctions(HMODULE sprite);
void SetImageColorKey(std::int32_t red, std::int32_t green, std::int32_t blue);
