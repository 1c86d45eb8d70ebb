// Run-time support of the language constructs: DATA lists, the operators of every value type and
// the conversions between types. Only running out of memory raises an error (101).
#pragma once

#include "core/win32.h"

#include <cstdint>

// <windows.h> makes FillMemory a macro; the command of that name must be reachable.
#undef FillMemory

// DATA area: 10-byte items, byte 0 the type (1 number, 2 string), bytes 2-9 a double or, in the
// first four, a pointer to a zero-terminated text.
constexpr std::uint8_t kDataNumber = 1;
constexpr std::uint8_t kDataString = 2;
constexpr std::uint32_t kDataItemBytes = 10;

void SetDataArea(const void* start, const void* end);
void RestoreData(const void* position);
const void* GetDataReadPointer();
std::int64_t ReadDataInteger();
float ReadDataFloat();
double ReadDataDouble();
char* ReadDataString(char* oldText);

void* AllocMemory(std::int32_t size);
void FillMemory(void* block, std::int32_t value, std::int32_t size);

// 32-bit integers: ordering compares without sign.
std::int32_t IntEqual(std::int32_t a, std::int32_t b);
std::int32_t IntNotEqual(std::int32_t a, std::int32_t b);
std::int32_t IntGreater(std::int32_t a, std::int32_t b);
std::int32_t IntLess(std::int32_t a, std::int32_t b);
std::int32_t IntGreaterEqual(std::int32_t a, std::int32_t b);
std::int32_t IntLessEqual(std::int32_t a, std::int32_t b);
std::int32_t IntPower(std::int32_t a, std::int32_t b);
std::uint8_t BytePower(std::uint8_t a, std::uint8_t b);
std::uint16_t WordPower(std::uint16_t a, std::uint16_t b);

float FloatMultiply(float a, float b);
float FloatAdd(float a, float b);
float FloatSubtract(float a, float b);
float FloatDivide(float a, float b);
float FloatModulo(float a, float b);
std::int32_t FloatEqual(float a, float b);
std::int32_t FloatNotEqual(float a, float b);
std::int32_t FloatGreater(float a, float b);
std::int32_t FloatLess(float a, float b);
std::int32_t FloatGreaterEqual(float a, float b);
std::int32_t FloatLessEqual(float a, float b);
float FloatPower(float a, float b);

double DoubleMultiply(double a, double b);
double DoubleAdd(double a, double b);
double DoubleSubtract(double a, double b);
double DoubleDivide(double a, double b);
std::int32_t DoubleEqual(double a, double b);
std::int32_t DoubleNotEqual(double a, double b);
std::int32_t DoubleGreater(double a, double b);
std::int32_t DoubleLess(double a, double b);
std::int32_t DoubleGreaterEqual(double a, double b);
std::int32_t DoubleLessEqual(double a, double b);
double DoublePower(double a, double b);

// 64-bit integers wrap on overflow.
std::int64_t Int64Add(std::int64_t a, std::int64_t b);
std::int64_t Int64Subtract(std::int64_t a, std::int64_t b);
std::int64_t Int64Multiply(std::int64_t a, std::int64_t b);
std::int64_t Int64Divide(std::int64_t a, std::int64_t b);
std::int64_t Int64Power(std::int64_t a, std::int64_t b);
std::int32_t Int64Equal(std::int64_t a, std::int64_t b);
std::int32_t Int64NotEqual(std::int64_t a, std::int64_t b);
std::int32_t Int64Greater(std::int64_t a, std::int64_t b);
std::int32_t Int64Less(std::int64_t a, std::int64_t b);
std::int32_t Int64GreaterEqual(std::int64_t a, std::int64_t b);
std::int32_t Int64LessEqual(std::int64_t a, std::int64_t b);

// Strings: a null text stands for the empty text. The results are new texts the caller owns; a
// text that cannot be made raises 101 and the caller gets its old target back, as it was.
std::int32_t StringEqual(const char* a, const char* b);
std::int32_t StringNotEqual(const char* a, const char* b);
std::int32_t StringGreater(const char* a, const char* b);
std::int32_t StringLess(const char* a, const char* b);
std::int32_t StringGreaterEqual(const char* a, const char* b);
std::int32_t StringLessEqual(const char* a, const char* b);
char* StringConcatenate(char* oldTarget, const char* a, const char* b);
char* StringAssign(char* oldTarget, const char* text);
char* StringFree(char* text);

// Conversions between byte, word, dword (unsigned 32-bit), integer, float, double and 64-bit.
std::uint16_t ConvertByteToWord(std::uint8_t v);
std::uint32_t ConvertByteToDword(std::uint8_t v);
std::int32_t ConvertByteToInteger(std::uint8_t v);
float ConvertByteToFloat(std::uint8_t v);
double ConvertByteToDouble(std::uint8_t v);
std::int64_t ConvertByteToInt64(std::uint8_t v);

std::uint8_t ConvertWordToByte(std::uint16_t v);
std::uint32_t ConvertWordToDword(std::uint16_t v);
std::int32_t ConvertWordToInteger(std::uint16_t v);
float ConvertWordToFloat(std::uint16_t v);
double ConvertWordToDouble(std::uint16_t v);
std::int64_t ConvertWordToInt64(std::uint16_t v);

std::uint8_t ConvertDwordToByte(std::uint32_t v);
std::uint16_t ConvertDwordToWord(std::uint32_t v);
std::int32_t ConvertDwordToInteger(std::uint32_t v);
float ConvertDwordToFloat(std::uint32_t v);
double ConvertDwordToDouble(std::uint32_t v);
std::int64_t ConvertDwordToInt64(std::uint32_t v);

std::uint8_t ConvertIntegerToByte(std::int32_t v);
std::uint16_t ConvertIntegerToWord(std::int32_t v);
std::uint32_t ConvertIntegerToDword(std::int32_t v);
float ConvertIntegerToFloat(std::int32_t v);
double ConvertIntegerToDouble(std::int32_t v);
std::int64_t ConvertIntegerToInt64(std::int32_t v);

std::uint8_t ConvertFloatToByte(float v);
std::uint16_t ConvertFloatToWord(float v);
std::uint32_t ConvertFloatToDword(float v);
std::int32_t ConvertFloatToInteger(float v);
double ConvertFloatToDouble(float v);
std::int64_t ConvertFloatToInt64(float v);

std::uint8_t ConvertDoubleToByte(double v);
std::uint16_t ConvertDoubleToWord(double v);
std::uint32_t ConvertDoubleToDword(double v);
std::int32_t ConvertDoubleToInteger(double v);
float ConvertDoubleToFloat(double v);
std::int64_t ConvertDoubleToInt64(double v);

std::uint8_t ConvertInt64ToByte(std::int64_t v);
std::uint16_t ConvertInt64ToWord(std::int64_t v);
std::uint32_t ConvertInt64ToDword(std::int64_t v);
std::int32_t ConvertInt64ToInteger(std::int64_t v);
float ConvertInt64ToFloat(std::int64_t v);
double ConvertInt64ToDouble(std::int64_t v);
