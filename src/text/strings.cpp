#include "core/win32.h"

#include "text/strings.h"
#include "text/text_state.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TextState& s = g_Text;

struct Tokenizer {
    char* next = nullptr;
} tokens;

void Free(char* previous) {
    if (previous) ResizeModuleString(s.core, &previous, 0);
}

// Hands out a copy of the scratch text (no string when there is no scratch).
char* ReturnTextScratch() {
    if (!s.scratch) return nullptr;
    const std::size_t length = std::strlen(s.scratch);
    char* result = nullptr;
    ResizeModuleString(s.core, &result, static_cast<std::int32_t>(length + 1));
    if (result) std::memcpy(result, s.scratch, length + 1);
    return result;
}

// The scratch holding a copy of text (empty for no text); false when it cannot be had.
bool ScratchCopy(const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    if (length >= 0x7FFFFFFF || !ReserveTextScratch(static_cast<std::uint32_t>(length)))
        return false;
    if (text)
        std::memcpy(s.scratch, text, length + 1);
    else
        s.scratch[0] = 0;
    return true;
}

// Frees the previous string and returns the scratch's text.
char* Finish(char* previous) {
    Free(previous);
    return ReturnTextScratch();
}

char* Formatted(char* previous, const char* format, auto value) {
    if (ReserveTextScratch(64)) std::snprintf(s.scratch, 65, format, value);
    return Finish(previous);
}

char* ChangeCase(char* previous, const char* text, int (*change)(int)) {
    if (ScratchCopy(text))
        for (char* c = s.scratch; *c; ++c)
            *c = static_cast<char>(change(static_cast<unsigned char>(*c)));
    return Finish(previous);
}

int ToLowerC(int c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}
int ToUpperC(int c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// The next token from p: skip delimiters, cut at the first delimiter after the token.
char* TakeToken(char* p, const char* delimiters) {
    if (!p || !delimiters) return CopyToNewString("");
    p += std::strspn(p, delimiters);
    if (!*p) {
        tokens.next = nullptr;
        return CopyToNewString("");
    }
    char* end = p + std::strcspn(p, delimiters);
    tokens.next = *end ? end + 1 : nullptr;
    *end = 0;
    return CopyToNewString(p);
}

} // namespace

char* CopyToNewString(const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    char* result = nullptr;
    ResizeModuleString(s.core, &result, static_cast<std::int32_t>(length + 1));
    if (!result) {
        RaiseRuntimeError(kStringNoMemory);
        return nullptr;
    }
    if (text) std::memcpy(result, text, length + 1);
    return result;
}

std::int32_t GetAsciiCode(const char* text) {
    return text ? static_cast<unsigned char>(text[0]) : 0;
}

char* MakeBinaryString(char* previous, std::uint32_t value) {
    if (ReserveTextScratch(33)) {
        s.scratch[0] = '%';
        for (int bit = 31; bit >= 0; --bit)
            s.scratch[32 - bit] = (value >> bit) & 1 ? '1' : '0';
        s.scratch[33] = 0;
    }
    return Finish(previous);
}

char* MakeCharacterString(char* previous, std::int32_t code) {
    if (ReserveTextScratch(1)) {
        s.scratch[0] = static_cast<char>(code & 0xFF);
        s.scratch[1] = 0;
    }
    return Finish(previous);
}

char* MakeHexString(char* previous, std::uint32_t value) {
    return Formatted(previous, "%X", value);
}

char* GetLeftString(char* previous, const char* text, std::int32_t count) {
    if (ScratchCopy(text)) {
        const auto length = static_cast<std::int32_t>(std::strlen(s.scratch));
        if (count <= 0)
            s.scratch[0] = 0;
        else if (count <= length)
            s.scratch[count] = 0;
    }
    return Finish(previous);
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
    if (ScratchCopy(text)) {
        const auto length = static_cast<std::uint32_t>(std::strlen(s.scratch));
        const auto at = static_cast<std::uint32_t>(position);
        if (at != 0 && at <= length) {
            s.scratch[0] = s.scratch[at - 1];
            s.scratch[1] = 0;
        } else {
            s.scratch[0] = 0;
        }
    }
    return Finish(previous);
}

char* GetRightString(char* previous, const char* text, std::int32_t count) {
    if (ScratchCopy(text)) {
        const auto length = static_cast<std::int64_t>(std::strlen(s.scratch));
        const std::int64_t start = length - count;
        if (count <= 0 || start >= length)
            s.scratch[0] = 0;
        else if (start > 0)
            std::memmove(s.scratch, s.scratch + start,
                         static_cast<std::size_t>(length - start + 1));
    }
    return Finish(previous);
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
    if (ReserveTextScratch(n)) {
        std::memset(s.scratch, ' ', n);
        s.scratch[n] = 0;
    } else if (s.scratch) {
        s.scratch[0] = 0;
    }
    return Finish(previous);
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
    ScratchCopy(s.face);
    return Finish(previous);
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
