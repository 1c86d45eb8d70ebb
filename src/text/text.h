// Text module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void TextConstructor(HMODULE);
void TextDestructor();
void TextSetErrorHandler(RuntimeErrorRecord* cell);
void TextPassCoreData(CoreData* core);
void TextRefreshD3D(std::int32_t mode);
void SetTextFontExport(const char* face, std::int32_t characterSet);
