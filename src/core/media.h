// What the core offers every loader around a file: the media-folder redirect, the media
// scrambler's hooks, and whole-file reading and writing.
#pragma once

#include "core/core_data.h"

#include <cstdint>

bool CoreFileExists(const char* fileName);

// When "<media folder>\media\<name>" exists, the name becomes it. A name whose replacement would
// not fit in bufferSize bytes is left unchanged.
void MediaPathRedirect(char* fileName, std::int32_t bufferSize);

// A GlobalAlloc block holding the whole file (free it with GlobalFree), its size in *size; null
// when the file cannot be read.
void* CoreReadWholeFile(const char* fileName, std::uint32_t* size);
// Writes through a temporary file that then replaces the old one, so a failed write leaves the
// old file as it was. True when the file holds the new bytes.
bool CoreWriteWholeFile(const char* fileName, const void* data, std::uint32_t size);

// The scrambler turns a stored media file into its readable form before it is opened
// (direction 0) and back after (direction 1). Nothing happens while the seed is 0.
void MediaScramblerBeforeOpen(char* fileName);
void MediaScramblerAfterClose(char* fileName);
void MediaScrambleFile(const char* fileName, std::int32_t direction);

// The link to a debugger or editor program: the message goes through the file mapping
// "ZIZERUDADUDUZIREDE" to the window "TulseDebugger". The debugger's result, or 0 when none runs.
std::int32_t SendDebuggerMessage(std::int32_t code, const void* data, std::int32_t size);
void SendDebuggerText(const char* text);
void RequestDebuggerBreak();
// Ends the program at the next message pump, showing CoreData's end message if one is held.
void EndProgram();
