// Bitmap module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void BitmapConstructor(HINSTANCE);
void BitmapDestructor();
void BitmapSetErrorHandler(RuntimeErrorRecord* cell);
void BitmapPassCoreData(CoreData* core);
void BitmapRefreshD3D(std::int32_t mode);
