// Sprites module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void SpriteConstructor(HMODULE, HMODULE);
void SpriteDestructor();
void SpriteSetErrorHandler(RuntimeErrorRecord* cell);
void SpritePassCoreData(CoreData* core);
void SpriteRefreshD3D(std::int32_t mode);
void SpriteUpdate();
void SpriteSaveBackground();
void SpriteRestoreBackground();
