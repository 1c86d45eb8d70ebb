#include "core/win32.h"

#include "world/shader_script.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

bool AtComment(const ShaderScript& s) {
    return s.position + 1 < s.length && s.text[s.position] == '/' && s.text[s.position + 1] == '/';
}

bool IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '.';
}

} // namespace

int SkipBlanks(ShaderScript& s) {
    while (!AtScriptEnd(s) && IsBlank(ScriptChar(s)))
        ++s.position;
    return AtScriptEnd(s) ? 1 : 0;
}

int SkipBlanksAndComments(ShaderScript& s) {
    SkipBlanks(s);
    while (AtComment(s)) {
        while (!AtScriptEnd(s) && !IsLineEnd(ScriptChar(s)))
            ++s.position;
        SkipBlanks(s);
    }
    return AtScriptEnd(s) ? 1 : 0;
}

int SkipToLineEnd(ShaderScript& s) {
    while (!AtScriptEnd(s) && !IsLineEnd(ScriptChar(s)))
        ++s.position;
    if (!AtScriptEnd(s)) ++s.position;
    return AtScriptEnd(s) ? 1 : 0;
}

int SkipToBrace(ShaderScript& s) {
    SkipBlanks(s);
    const char c = ScriptChar(s);
    if (c == '{') {
        ++s.position;
        ++s.depth;
        return 1;
    }
    if (c == '}') {
        ++s.position;
        --s.depth;
        return -1;
    }
    return 0;
}

void SkipShaderBlock(ShaderScript& s) {
    while (s.depth > 0 && !SkipBlanksAndComments(s)) {
        const char c = ScriptChar(s);
        if (c == '{') ++s.depth;
        if (c == '}') --s.depth;
        ++s.position;
    }
    SkipBlanksAndComments(s);
}

void ConsumeShaderBraces(ShaderScript& s) {
    while (SkipToBrace(s) != 0)
        SkipBlanksAndComments(s);
}

std::string ReadShaderToken(ShaderScript& s) {
    const std::int32_t start = s.position;
    while (!AtScriptEnd(s)) {
        const char c = ScriptChar(s);
        if (IsBlank(c) || c == '{') break;
        ++s.position;
    }
    const auto length = static_cast<std::size_t>(s.position - start);
    return std::string(reinterpret_cast<const char*>(s.text) + start,
                       length < kLongestShaderToken ? length : kLongestShaderToken);
}

float ReadShaderNumber(ShaderScript& s) {
    const std::int32_t start = s.position;
    while (!AtScriptEnd(s) && IsNumberChar(ScriptChar(s)))
        ++s.position;
    if (s.position == start) return 0.0f;
    const std::string run(reinterpret_cast<const char*>(s.text) + start,
                          static_cast<std::size_t>(s.position - start));
    const double value = std::strtod(run.c_str(), nullptr);
    // A run of hundreds of digits is no float: it is kept at the float range's end.
    if (!(value <= FLT_MAX)) return FLT_MAX;
    if (!(value >= -FLT_MAX)) return -FLT_MAX;
    return static_cast<float>(value);
}

namespace {

// Skips to the value; false, with the position restored, when none is there.
bool AtValue(ShaderScript& s) {
    const std::int32_t start = s.position;
    SkipBlanksAndComments(s);
    const char c = ScriptChar(s);
    if (AtScriptEnd(s) || c == '{' || c == '}') {
        s.position = start;
        return false;
    }
    return true;
}

} // namespace

bool ReadShaderValue(ShaderScript& s, std::string& value) {
    value.clear();
    if (!AtValue(s)) return false;
    value = ReadShaderToken(s);
    return true;
}

bool ReadShaderValueNumber(ShaderScript& s, float& value) {
    value = 0.0f;
    if (!AtValue(s)) return false;
    value = ReadShaderNumber(s);
    return true;
}
