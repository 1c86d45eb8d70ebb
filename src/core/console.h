// The console: text and numbers printed at the CoreData print cursor, and typed lines read back.
// Once the display exists text is drawn on the render target; before that it goes to a GDI
// picture in memory that the window procedure copies to the window when it paints.
#pragma once

#include "core/win32.h"

#include <cstdint>

// The print callback of CoreDataCallbacks. A null text prints nothing.
void PrintText(const char* text, std::int32_t newLine);
void PrintString(const char* text);
void PrintStringNoNewLine(const char* text);
void PrintInteger(std::int64_t value);
void PrintIntegerNoNewLine(std::int64_t value);
void PrintFloat(double value);
void PrintFloatNoNewLine(double value);
void PrintNewLine();
void SetPrintCursor(std::int32_t x, std::int32_t y);
void ClearConsole();

// The line editor: frees the old text and returns the typed line as a new text. A line that
// cannot be held raises 101; the old text comes back (the numbers are 0).
char* InputStringLine(char* old);
std::int64_t InputInteger();
double InputFloat();

std::int64_t GetPerformanceCounter();
// A block that cannot be had raises 101 and gives null; the buffer held before stays held.
HGLOBAL AllocCoreBuffer(std::int32_t size);
void FreeCoreBuffer();
HGLOBAL AllocSecondBuffer(std::int32_t size);
void FreeSecondBuffer();
void FreeText(char* text);

// The GDI back end; printing starts it on demand. True when a picture was copied.
void StartGdiConsole();
void StopGdiConsole();
bool PaintGdiConsole(HDC target);
HDC GetGdiConsoleDC(); // null while stopped

// The 29 system colours saved at start-up; restoring writes back indices 0 to 27.
void SaveConsoleSystemColours();
void RestoreConsoleSystemColours();
