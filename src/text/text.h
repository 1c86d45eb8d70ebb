// Text module: strings drawn on the display with a GDI font rendered once into a glyph sheet,
// measured, and the engine's string commands (see text/strings.h).
#pragma once

#include "core/core_data.h"
#include "placement/transform_record.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void TextConstructor(HMODULE display);
// Stop entry: releases everything the module holds.
void TextDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void TextSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void TextPassCoreData(CoreData* core);
// 0 releases everything; 1 starts the module again ("fixedsys", size 12).
void TextRefreshD3D(std::int32_t mode);

// Draw with the top-left corner at x, y (centred on x), in the current ink colours.
void TextAt(std::int32_t x, std::int32_t y, const char* text);
// Draws with the text centred on x.
void CenterTextAt(std::int32_t x, std::int32_t y, const char* text);
// The width in pixels the text would take.
std::int32_t GetTextWidth(const char* text);
// The height in pixels the text would take.
std::int32_t GetTextHeight(const char* text);
// The font face; the glyph sheet is made again.
void SetTextFont(const char* face);
// The font face and character set, for the link table.
void SetTextFontExport(const char* face, std::int32_t characterSet);
// Sizes above 100 (negative ones too) become 100; the same size again changes nothing.
void SetTextSize(std::int32_t size);
// Neither bold nor italic.
void SetTextToNormal();
// Italic, not bold.
void SetTextToItalic();
// Bold, not italic.
void SetTextToBold();
// Bold and italic.
void SetTextToBoldItalic();
// Text drawn over a box of the background ink.
void SetTextOpaque();
// Text drawn without a background.
void SetTextTransparent();
// The text colour; a draw with a different ink colour replaces it.
void SetTextColour(std::int32_t alpha, std::int32_t red, std::int32_t green, std::int32_t blue);
// The installed font families, as checklist strings.
void FontChecklist();
// Draws the text in 3D space with the current world transform.
void DrawText3D(const char* text);

// Clears the world matrix and the last byte and sets look +z, up +y and right +x, touching
// nothing else; returns the record.
TransformRecord* InitTransformRecord(TransformRecord* record);
