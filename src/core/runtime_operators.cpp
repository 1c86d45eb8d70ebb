// The numeric operators and the conversions between value types of the run-time support.
#include "core/win32.h"

#include "core/runtime_data.h"

#include <cmath>

namespace {

// Float to integer conversions follow the processor: out of range and NaN give the "integer
// indefinite" (the lowest value) rather than undefined behaviour.
std::int64_t Truncate64(double v) {
    if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

std::int32_t Truncate32(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

// Negative values keep their low 32 bits, values from 4294967296 up saturate.
std::uint32_t TruncateToDword(double v) {
    const std::int64_t t = Truncate64(v);
    if (t < 0) return static_cast<std::uint32_t>(t);
    return t < 0x100000000ll ? static_cast<std::uint32_t>(t) : 0xFFFFFFFFu;
}

std::int32_t Flag(bool value) {
    return value ? 1 : 0;
}

} // namespace

std::int32_t IntEqual(std::int32_t a, std::int32_t b) {
    return Flag(a == b);
}
std::int32_t IntNotEqual(std::int32_t a, std::int32_t b) {
    return Flag(a != b);
}
std::int32_t IntGreater(std::int32_t a, std::int32_t b) {
    return Flag(static_cast<std::uint32_t>(a) > static_cast<std::uint32_t>(b));
}
std::int32_t IntLess(std::int32_t a, std::int32_t b) {
    return Flag(static_cast<std::uint32_t>(a) < static_cast<std::uint32_t>(b));
}
std::int32_t IntGreaterEqual(std::int32_t a, std::int32_t b) {
    return Flag(static_cast<std::uint32_t>(a) >= static_cast<std::uint32_t>(b));
}
std::int32_t IntLessEqual(std::int32_t a, std::int32_t b) {
    return Flag(static_cast<std::uint32_t>(a) <= static_cast<std::uint32_t>(b));
}
std::int32_t IntPower(std::int32_t a, std::int32_t b) {
    return Truncate32(std::pow(static_cast<double>(a), static_cast<double>(b)));
}
std::uint8_t BytePower(std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(Truncate32(std::pow(double(a), double(b))) & 0xFF);
}
std::uint16_t WordPower(std::uint16_t a, std::uint16_t b) {
    return static_cast<std::uint16_t>(Truncate32(std::pow(double(a), double(b))) & 0xFFFF);
}

float FloatMultiply(float a, float b) {
    return a * b;
}
float FloatAdd(float a, float b) {
    return a + b;
}
float FloatSubtract(float a, float b) {
    return a - b;
}
float FloatDivide(float a, float b) {
    return b == 0.0f ? 0.0f : a / b;
}
float FloatModulo(float a, float b) {
    return b == 0.0f ? 0.0f : std::fmod(a, b);
}
std::int32_t FloatEqual(float a, float b) {
    return Flag(a == b);
}
std::int32_t FloatNotEqual(float a, float b) {
    return Flag(a != b);
}
std::int32_t FloatGreater(float a, float b) {
    return Flag(a > b);
}
std::int32_t FloatLess(float a, float b) {
    return Flag(a < b);
}
std::int32_t FloatGreaterEqual(float a, float b) {
    return Flag(a >= b);
}
std::int32_t FloatLessEqual(float a, float b) {
    return Flag(a <= b);
}
float FloatPower(float a, float b) {
    return static_cast<float>(std::pow(double(a), double(b)));
}

double DoubleMultiply(double a, double b) {
    return a * b;
}
double DoubleAdd(double a, double b) {
    return a + b;
}
double DoubleSubtract(double a, double b) {
    return a - b;
}
double DoubleDivide(double a, double b) {
    return b == 0.0 ? 0.0 : a / b;
}
std::int32_t DoubleEqual(double a, double b) {
    return Flag(a == b);
}
std::int32_t DoubleNotEqual(double a, double b) {
    return Flag(a != b);
}
std::int32_t DoubleGreater(double a, double b) {
    return Flag(a > b);
}
std::int32_t DoubleLess(double a, double b) {
    return Flag(a < b);
}
std::int32_t DoubleGreaterEqual(double a, double b) {
    return Flag(a >= b);
}
std::int32_t DoubleLessEqual(double a, double b) {
    return Flag(a <= b);
}
double DoublePower(double a, double b) {
    return std::pow(a, b);
}

// Unsigned arithmetic gives the wrapped result without signed-overflow undefined behaviour.
std::int64_t Int64Add(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t Int64Subtract(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
std::int64_t Int64Multiply(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
std::int64_t Int64Divide(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    if (b == -1) return Int64Subtract(0, a); // the lowest value over -1 would trap
    return a / b;
}
std::int64_t Int64Power(std::int64_t a, std::int64_t b) {
    return Truncate64(std::pow(static_cast<double>(a), static_cast<double>(b)));
}
std::int32_t Int64Equal(std::int64_t a, std::int64_t b) {
    return Flag(a == b);
}
std::int32_t Int64NotEqual(std::int64_t a, std::int64_t b) {
    return Flag(a != b);
}
// High words with sign, then low words without: the plain signed 64-bit order.
std::int32_t Int64Greater(std::int64_t a, std::int64_t b) {
    return Flag(a > b);
}
std::int32_t Int64Less(std::int64_t a, std::int64_t b) {
    return Flag(a < b);
}
std::int32_t Int64GreaterEqual(std::int64_t a, std::int64_t b) {
    return Flag(a >= b);
}
std::int32_t Int64LessEqual(std::int64_t a, std::int64_t b) {
    return Flag(a <= b);
}

std::uint16_t ConvertByteToWord(std::uint8_t v) {
    return v;
}
std::uint32_t ConvertByteToDword(std::uint8_t v) {
    return v;
}
std::int32_t ConvertByteToInteger(std::uint8_t v) {
    return v;
}
float ConvertByteToFloat(std::uint8_t v) {
    return v;
}
double ConvertByteToDouble(std::uint8_t v) {
    return v;
}
std::int64_t ConvertByteToInt64(std::uint8_t v) {
    return v;
}

std::uint8_t ConvertWordToByte(std::uint16_t v) {
    return static_cast<std::uint8_t>(v);
}
std::uint32_t ConvertWordToDword(std::uint16_t v) {
    return v;
}
std::int32_t ConvertWordToInteger(std::uint16_t v) {
    return v;
}
float ConvertWordToFloat(std::uint16_t v) {
    return v;
}
double ConvertWordToDouble(std::uint16_t v) {
    return v;
}
std::int64_t ConvertWordToInt64(std::uint16_t v) {
    return v;
}

std::uint8_t ConvertDwordToByte(std::uint32_t v) {
    return static_cast<std::uint8_t>(v);
}
std::uint16_t ConvertDwordToWord(std::uint32_t v) {
    return static_cast<std::uint16_t>(v);
}
std::int32_t ConvertDwordToInteger(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}
float ConvertDwordToFloat(std::uint32_t v) {
    return static_cast<float>(v);
}
double ConvertDwordToDouble(std::uint32_t v) {
    return static_cast<double>(v);
}
std::int64_t ConvertDwordToInt64(std::uint32_t v) {
    return v;
}

std::uint8_t ConvertIntegerToByte(std::int32_t v) {
    return static_cast<std::uint8_t>(v);
}
std::uint16_t ConvertIntegerToWord(std::int32_t v) {
    return static_cast<std::uint16_t>(v);
}
std::uint32_t ConvertIntegerToDword(std::int32_t v) {
    return static_cast<std::uint32_t>(v);
}
float ConvertIntegerToFloat(std::int32_t v) {
    return static_cast<float>(v);
}
double ConvertIntegerToDouble(std::int32_t v) {
    return v;
}
std::int64_t ConvertIntegerToInt64(std::int32_t v) {
    return v;
}

std::uint8_t ConvertFloatToByte(float v) {
    return static_cast<std::uint8_t>(Truncate32(v));
}
std::uint16_t ConvertFloatToWord(float v) {
    return static_cast<std::uint16_t>(Truncate32(v));
}
std::uint32_t ConvertFloatToDword(float v) {
    return TruncateToDword(v);
}
std::int32_t ConvertFloatToInteger(float v) {
    return Truncate32(v);
}
double ConvertFloatToDouble(float v) {
    return v;
}
std::int64_t ConvertFloatToInt64(float v) {
    return Truncate64(v);
}

std::uint8_t ConvertDoubleToByte(double v) {
    return static_cast<std::uint8_t>(Truncate32(v));
}
std::uint16_t ConvertDoubleToWord(double v) {
    return static_cast<std::uint16_t>(Truncate32(v));
}
std::uint32_t ConvertDoubleToDword(double v) {
    return TruncateToDword(v);
}
std::int32_t ConvertDoubleToInteger(double v) {
    return Truncate32(v);
}
float ConvertDoubleToFloat(double v) {
    return static_cast<float>(v);
}
std::int64_t ConvertDoubleToInt64(double v) {
    return Truncate64(v);
}

std::uint8_t ConvertInt64ToByte(std::int64_t v) {
    return static_cast<std::uint8_t>(v);
}
std::uint16_t ConvertInt64ToWord(std::int64_t v) {
    return static_cast<std::uint16_t>(v);
}
std::uint32_t ConvertInt64ToDword(std::int64_t v) {
    return static_cast<std::uint32_t>(v);
}
std::int32_t ConvertInt64ToInteger(std::int64_t v) {
    return static_cast<std::int32_t>(v);
}
float ConvertInt64ToFloat(std::int64_t v) {
    return static_cast<float>(v);
}
double ConvertInt64ToDouble(std::int64_t v) {
    return static_cast<double>(v);
}
