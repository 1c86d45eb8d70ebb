#include "core/win32.h"

#include "text/strings.h"
#include "text/text_state.h"
#include "core/core.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TextState& s = g_Text;

struct Tokenizer {
    char* next = nullptr;
} tokens;

// A string of length bytes (and its terminator) for the caller, or null with error 101 raised.
char* NewResult(std::uint64_t length) {
    return NewModuleString(s.core, length + 1);
}

// The caller's new string in place of previous; previous stays the caller's when there is none.
char* HandOver(char* previous, char* result) {
    return HandOverModuleString(s.core, previous, result);
}

// A copy of text[0, length) in place of previous. Results are made straight in the caller's new
// string, never built up in a buffer the module keeps: a long result holds no memory afterwards.
char* CopyOut(char* previous, const char* text, std::size_t length) {
    return ReplaceModuleString(s.core, previous, text, length);
}

std::size_t LengthOf(const char* text) {
    return text ? std::strlen(text) : 0;
}

char* Formatted(char* previous, const char* format, auto value) {
    char text[72] = {};
    std::snprintf(text, sizeof text, format, value);
    return CopyOut(previous, text, std::strlen(text));
}

char* ChangeCase(char* previous, const char* text, int (*change)(int)) {
    const std::size_t length = LengthOf(text);
    char* result = NewResult(length);
    for (std::size_t i = 0; result && i < length; ++i)
        result[i] = static_cast<char>(change(static_cast<unsigned char>(text[i])));
    return HandOver(previous, result);
}

int ToLowerC(int c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}
int ToUpperC(int c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// The next token from p: skip delimiters, cut at the first delimiter after the token. The source
// is cut, and the tokenizer moved on, only once the token's copy is made.
char* TakeToken(char* p, const char* delimiters) {
    if (!p || !delimiters) return CopyToNewString("");
    p += std::strspn(p, delimiters);
    char* end = p + std::strcspn(p, delimiters);
    char* token = CopyOut(nullptr, p, static_cast<std::size_t>(end - p));
    if (!token) return nullptr;
    tokens.next = *p && *end ? end + 1 : nullptr;
    *end = 0;
    return token;
}

} // namespace

char* CopyToNewString(const char* text) {
    return CopyOut(nullptr, text, LengthOf(text));
}

std::int32_t GetAsciiCode(const char* text) {
    return text ? static_cast<unsigned char>(text[0]) : 0;
}

char* MakeBinaryString(char* previous, std::uint32_t value) {
    char text[33];
    text[0] = '%';
    for (int bit = 31; bit >= 0; --bit)
        text[32 - bit] = (value >> bit) & 1 ? '1' : '0';
    return CopyOut(previous, text, sizeof text);
}

char* MakeCharacterString(char* previous, std::int32_t code) {
    const char character = static_cast<char>(code & 0xFF);
    return CopyOut(previous, &character, character ? 1 : 0);
}

char* MakeHexString(char* previous, std::uint32_t value) {
    return Formatted(previous, "%X", value);
}

char* GetLeftString(char* previous, const char* text, std::int32_t count) {
    const std::size_t length = LengthOf(text);
    const std::size_t kept = count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), length);
    return CopyOut(previous, text, kept);
}

std::int32_t GetStringLength(const char* text) {
    return text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
}

char* MakeLowerCase(char* previous, const char* text) {
    return ChangeCase(previous, text, ToLowerC);
}
char* MakeUpperCase(char* previous, const char* text) {
    return ChangeCase(previous, text, ToUpperC);
}

char* GetMidCharacter(char* previous, const char* text, std::int32_t position) {
    const std::size_t length = LengthOf(text);
    const auto at = static_cast<std::uint32_t>(position);
    if (at != 0 && at <= length) return CopyOut(previous, text + at - 1, 1);
    return CopyOut(previous, text, 0);
}

char* GetRightString(char* previous, const char* text, std::int32_t count) {
    const std::size_t length = LengthOf(text);
    const std::size_t kept = count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), length);
    return CopyOut(previous, text ? text + length - kept : text, kept);
}

char* FloatToString(char* previous, float value) {
    return Formatted(previous, "%.12g", static_cast<double>(value));
}
char* IntegerToString(char* previous, std::int32_t value) {
    return Formatted(previous, "%d", static_cast<int>(value));
}
char* DoubleToString(char* previous, double value) {
    return Formatted(previous, "%.16g", value);
}

float StringToFloat(const char* text) {
    return text ? static_cast<float>(std::strtod(text, nullptr)) : 0.0f;
}

char* MakeSpaces(char* previous, std::int32_t count) {
    const std::uint32_t n = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    char* result = NewResult(n);
    if (result) std::memset(result, ' ', n);
    return HandOver(previous, result);
}

std::int32_t AppendString(char* destination, std::int32_t destinationSize, const char* source) {
    if (!destination || !source || destinationSize <= 0) return 0;
    const std::size_t used = strnlen(destination, static_cast<std::size_t>(destinationSize));
    const std::size_t length = std::strlen(source);
    if (used >= static_cast<std::size_t>(destinationSize) ||
        used + length + 1 > static_cast<std::size_t>(destinationSize))
        return 0;
    std::memcpy(destination + used, source, length + 1);
    return static_cast<std::int32_t>(length + 1);
}

char* ReverseString(char* text) {
    if (!text) return text;
    for (std::size_t i = 0, j = std::strlen(text); i + 1 < j; ++i, --j)
        std::swap(text[i], text[j - 1]);
    return text;
}

std::int32_t FindFirstCharacter(const char* text, const char* characters) {
    if (!text || !characters || !characters[0]) return 0;
    const char* at = std::strchr(text, characters[0]);
    return at ? static_cast<std::int32_t>(at - text) + 1 : 0;
}

std::int32_t FindLastCharacter(const char* text, const char* characters) {
    if (!text || !characters || !characters[0]) return 0;
    const char* at = std::strrchr(text, characters[0]);
    return at ? static_cast<std::int32_t>(at - text) + 1 : 0;
}

std::int32_t FindSubstring(const char* text, const char* substring) {
    if (!text || !substring) return 0;
    const char* at = std::strstr(text, substring);
    return at ? static_cast<std::int32_t>(at - text) + 1 : 0;
}

std::int32_t CompareStrings(const char* a, const char* b) {
    if (!a || !b) return a == b ? 1 : 0;
    return std::strcmp(a, b) == 0 ? 1 : 0;
}

char* FirstToken(char* text, const char* delimiters) {
    return TakeToken(text, delimiters);
}
char* NextToken(const char* delimiters) {
    return TakeToken(tokens.next, delimiters);
}

char* GetTextFont(char* previous) {
    return CopyOut(previous, s.face, strnlen(s.face, sizeof s.face));
}

std::int32_t GetTextSize() {
    return s.size;
}
std::int32_t GetTextStyle() {
    return (s.italic ? 1 : 0) + (s.bold ? 2 : 0);
}
std::int32_t GetTextBackgroundType() {
    return s.opaque ? 1 : 0;
}

char* MakeBinaryStringExport(std::uint32_t value) {
    return MakeBinaryString(nullptr, value);
}
char* MakeCharacterStringExport(std::int32_t code) {
    return MakeCharacterString(nullptr, code);
}
char* MakeHexStringExport(std::uint32_t value) {
    return MakeHexString(nullptr, value);
}
char* GetLeftStringExport(const char* text, std::int32_t count) {
    return GetLeftString(nullptr, text, count);
}
char* MakeLowerCaseExport(const char* text) {
    return MakeLowerCase(nullptr, text);
}
char* GetMidCharacterExport(const char* text, std::int32_t position) {
    return GetMidCharacter(nullptr, text, position);
}
char* GetRightStringExport(const char* text, std::int32_t count) {
    return GetRightString(nullptr, text, count);
}
char* FloatToStringExport(float value) {
    return FloatToString(nullptr, value);
}
char* IntegerToStringExport(std::int32_t value) {
    return IntegerToString(nullptr, value);
}
char* DoubleToStringExport(double value) {
    return DoubleToString(nullptr, value);
}
char* MakeUpperCaseExport(const char* text) {
    return MakeUpperCase(nullptr, text);
}
char* MakeSpacesExport(std::int32_t count) {
    return MakeSpaces(nullptr, count);
}
char* GetTextFontExport() {
    return GetTextFont(nullptr);
}
