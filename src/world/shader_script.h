// The reader of ".shader" scripts: a position over the script's bytes (not zero-terminated) and
// the brace depth. Every operation stops at the end of the text.
#pragma once

#include <cstdint>
#include <string>

// Longer tokens are cut to this many characters; the rest of the token is passed over.
constexpr std::size_t kLongestShaderToken = 255;

struct ShaderScript {
    const std::uint8_t* text = nullptr;
    std::int32_t position = 0;
    std::int32_t length = 0;
    std::int32_t depth = 0; // 0 outside any block
};

// The operations that report anything return 1 when they reached the end of the text.

// Skips space, tab, line feed and carriage return.
int SkipBlanks(ShaderScript& script);
// SkipBlanks, then every "//" comment up to its line's end with the blanks after it.
int SkipBlanksAndComments(ShaderScript& script);
// Advances to the next carriage return or line feed and one past it.
int SkipToLineEnd(ShaderScript& script);
// Skips blanks; consumes a "{" (depth up, result 1) or a "}" (depth down, result -1); otherwise
// consumes nothing and gives 0 (also at the end of the text).
int SkipToBrace(ShaderScript& script);
// Passes over text, counting braces, until the depth is back to 0; then skips blanks and comments.
void SkipShaderBlock(ShaderScript& script);
// SkipToBrace until no brace follows, skipping comments between.
void ConsumeShaderBraces(ShaderScript& script);
// The characters up to a space, tab, line feed, carriage return or "{" ("}" does not end a token);
// the position ends on the stopping character.
std::string ReadShaderToken(ShaderScript& script);
// The longest run of digits, "-" and "." at the position as a decimal number: 0 when the run is
// not one, the largest float when it is beyond the float range.
float ReadShaderNumber(ShaderScript& script);

// A keyword's value: skips blanks and comments and reads a token, or a number. When the text ends
// or a brace follows instead, the value is missing: false, and the position goes back to where it
// was, so that the keyword's line ends there and the brace stays for the block structure.
bool ReadShaderValue(ShaderScript& script, std::string& value);
bool ReadShaderValueNumber(ShaderScript& script, float& value);

// True when the position is at the end of the text.
inline bool AtScriptEnd(const ShaderScript& script) {
    return script.position >= script.length;
}
// The character at the position; 0 at the end of the text.
inline char ScriptChar(const ShaderScript& script) {
    return AtScriptEnd(script) ? '\0' : static_cast<char>(script.text[script.position]);
}
