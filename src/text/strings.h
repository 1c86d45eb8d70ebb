// The engine's string commands. A command that returns a new string takes the caller's previous
// one first (null for none) and frees it; the caller owns every string it gets back. When the new
// string cannot be had, the command raises 101 and gives the previous one back as it was. The
// Export forms take no previous string. Positions are 1-based byte positions.
#pragma once

#include <cstdint>

char* CopyToNewString(const char* text);
std::int32_t GetAsciiCode(const char* text);
char* MakeBinaryString(char* previous, std::uint32_t value);
char* MakeCharacterString(char* previous, std::int32_t code);
char* MakeHexString(char* previous, std::uint32_t value);
char* GetLeftString(char* previous, const char* text, std::int32_t count);
std::int32_t GetStringLength(const char* text);
char* MakeLowerCase(char* previous, const char* text);
char* GetMidCharacter(char* previous, const char* text, std::int32_t position);
char* GetRightString(char* previous, const char* text, std::int32_t count);
char* FloatToString(char* previous, float value);
char* IntegerToString(char* previous, std::int32_t value);
char* DoubleToString(char* previous, double value);
char* MakeUpperCase(char* previous, const char* text);
float StringToFloat(const char* text);
char* MakeSpaces(char* previous, std::int32_t count);
// Appends source to destination, which holds destinationSize bytes; the bytes copied (the
// source's length + 1), or 0 when the result would not fit.
std::int32_t AppendString(char* destination, std::int32_t destinationSize, const char* source);
char* ReverseString(char* text);
// 0 when the character or substring does not occur, or for no text.
std::int32_t FindFirstCharacter(const char* text, const char* characters);
std::int32_t FindLastCharacter(const char* text, const char* characters);
std::int32_t FindSubstring(const char* text, const char* substring);
std::int32_t CompareStrings(const char* a, const char* b);
// Tokens: the source is cut in place, as by strtok.
char* FirstToken(char* text, const char* delimiters);
char* NextToken(const char* delimiters);
char* GetTextFont(char* previous);
std::int32_t GetTextSize();
std::int32_t GetTextStyle();
std::int32_t GetTextBackgroundType();

char* MakeBinaryStringExport(std::uint32_t value);
char* MakeCharacterStringExport(std::int32_t code);
char* MakeHexStringExport(std::uint32_t value);
char* GetLeftStringExport(const char* text, std::int32_t count);
char* MakeLowerCaseExport(const char* text);
char* GetMidCharacterExport(const char* text, std::int32_t position);
char* GetRightStringExport(const char* text, std::int32_t count);
char* FloatToStringExport(float value);
char* IntegerToStringExport(std::int32_t value);
char* DoubleToStringExport(double value);
char* MakeUpperCaseExport(const char* text);
char* MakeSpacesExport(std::int32_t count);
char* GetTextFontExport();
