#include "core/win32.h"

#include "world/shader_script.h"
#include "world/shader_table.h"
#include "core/load_budget.h"

#include <cmath>

namespace {

struct NamedValue {
    const char* name;
    std::int32_t value;
};

constexpr NamedValue kSourceBlends[] = {
    {"GL_ONE", D3DBLEND_ONE},
    {"GL_ZERO", D3DBLEND_ZERO},
    {"GL_DST_COLOR", D3DBLEND_DESTCOLOR},
    {"GL_ONE_MINUS_DST_COLOR", D3DBLEND_INVDESTCOLOR},
    {"GL_SRC_ALPHA", D3DBLEND_SRCALPHA},
    {"GL_ONE_MINUS_SRC_ALPHA", D3DBLEND_INVSRCALPHA},
};
constexpr NamedValue kDestinationBlends[] = {
    {"GL_ONE", D3DBLEND_ONE},
    {"GL_ZERO", D3DBLEND_ZERO},
    {"GL_SRC_COLOR", D3DBLEND_SRCCOLOR},
    {"GL_ONE_MINUS_SRC_COLOR", D3DBLEND_INVSRCCOLOR},
    {"GL_SRC_ALPHA", D3DBLEND_SRCALPHA},
    {"GL_ONE_MINUS_SRC_ALPHA", D3DBLEND_INVSRCALPHA},
};
constexpr NamedValue kDepthFunctions[] = {{"lequal", D3DCMP_LESSEQUAL}, {"equal", D3DCMP_EQUAL}};
constexpr NamedValue kTextureCoordinates[] = {{"base", 0}, {"lightmap", 1}, {"environment", 2}};

bool Same(const std::string& a, const char* b) {
    return _stricmp(a.c_str(), b) == 0;
}

// Sets value from the table's entry named text; false (value unchanged) when none is.
template <std::size_t N>
bool Lookup(const NamedValue (&table)[N], const std::string& text, std::int32_t& value) {
    for (const NamedValue& entry : table)
        if (Same(text, entry.name)) {
            value = entry.value;
            return true;
        }
    return false;
}

void SetOnlyFrame(ShaderStage& stage, const std::string& name) {
    RequireLoad(sizeof(std::string) + name.size());
    stage.frameNames.assign(1, name);
    stage.frameCount = 1;
}

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// The names after the frequency, to the line's end, a comment or a brace; past the 32nd they
// are passed over.
void ReadAnimationFrames(ShaderScript& script, ShaderStage& stage) {
    stage.frameNames.clear();
    for (;;) {
        while (IsSpaceOrTab(ScriptChar(script)))
            ++script.position;
        const char c = ScriptChar(script);
        if (AtScriptEnd(script) || c == '\n' || c == '\r' || c == '{' || c == '}') break;
        if (c == '/' && script.position + 1 < script.length &&
            script.text[script.position + 1] == '/')
            break;
        const std::string name = ReadShaderToken(script);
        if (stage.frameNames.size() >= kShaderStageFrames) continue;
        RequireLoad(sizeof(std::string) + name.size());
        stage.frameNames.push_back(name);
    }
    stage.frameCount = static_cast<std::uint8_t>(stage.frameNames.size());
}

void ReadBlend(ShaderScript& script, ShaderStage& stage) {
    std::string source, destination;
    if (!ReadShaderValue(script, source)) return;
    if (Same(source, "add")) {
        stage.sourceBlend = D3DBLEND_ONE;
        stage.destinationBlend = D3DBLEND_ONE;
    } else if (Same(source, "filter")) {
        stage.sourceBlend = D3DBLEND_DESTCOLOR;
        stage.destinationBlend = D3DBLEND_ZERO;
    } else if (Same(source, "blend")) {
        stage.sourceBlend = D3DBLEND_SRCALPHA;
        stage.destinationBlend = D3DBLEND_INVSRCALPHA;
    } else if (Lookup(kSourceBlends, source, stage.sourceBlend) &&
               ReadShaderValue(script, destination)) {
        Lookup(kDestinationBlends, destination, stage.destinationBlend);
    }
}

// Scroll rates wrap into -100 to 100 as repeated steps of 100 would take them (250 gives 50,
// 200 gives 100), by a remainder: stepping a float near 1e10 by 100 changes nothing.
float WrapScroll(float value) {
    const double v = value;
    if (v > 100.0) {
        const double r = std::fmod(v, 100.0);
        return static_cast<float>(r == 0.0 ? 100.0 : r);
    }
    if (v < -100.0) {
        const double r = std::fmod(v, 100.0);
        return static_cast<float>(r == 0.0 ? -100.0 : r);
    }
    return value;
}

void ReadTexMod(ShaderScript& script, ShaderStage& stage) {
    if (stage.modifierCount >= kMostShaderTexMods) return;
    ShaderTexMod mod;
    std::string kind;
    ReadShaderValue(script, kind);
    if (Same(kind, "rotate")) {
        ReadShaderValueNumber(script, mod.rotation);
    } else if (Same(kind, "scale")) {
        ReadShaderValueNumber(script, mod.scaleS);
        ReadShaderValueNumber(script, mod.scaleT);
    } else if (Same(kind, "scroll")) {
        ReadShaderValueNumber(script, mod.scrollS);
        ReadShaderValueNumber(script, mod.scrollT);
        mod.scrollS = WrapScroll(mod.scrollS);
        mod.scrollT = WrapScroll(mod.scrollT);
    }
    RequireLoad(sizeof(ShaderTexMod));
    stage.modifiers.push_back(mod);
    ++stage.modifierCount;
}

void ReadAlphaFunction(const std::string& value, ShaderStage& stage) {
    struct AlphaTest {
        const char* name;
        std::uint8_t reference;
        std::int32_t function;
    };
    static constexpr AlphaTest kTests[] = {{"GT0", 0, D3DCMP_GREATER},
                                           {"LT128", 128, D3DCMP_LESS},
                                           {"GE128", 128, D3DCMP_GREATEREQUAL}};
    for (const AlphaTest& test : kTests)
        if (Same(value, test.name)) {
            stage.alphaTest = 1;
            stage.alphaReference = test.reference;
            stage.alphaFunction = test.function;
        }
}

} // namespace

void ParseShaderStage(ShaderScript& script, ShaderStage& stage, const std::string& keyword) {
    std::string value;
    if (Same(keyword, "map") || Same(keyword, "clampmap")) {
        if (!ReadShaderValue(script, value)) return;
        SetOnlyFrame(stage, value);
        if (Same(keyword, "map") && Same(value, "$lightmap")) stage.textureCoordinates = 1;
    } else if (Same(keyword, "animmap")) {
        if (!ReadShaderValueNumber(script, stage.animationFrequency)) return;
        ReadAnimationFrames(script, stage);
    } else if (Same(keyword, "blendfunc")) {
        ReadBlend(script, stage);
        // Blended stages leave the depth buffer alone, unless a later "depthwrite" asks.
        if (stage.sourceBlend != D3DBLEND_ONE || stage.destinationBlend != D3DBLEND_ZERO)
            stage.depthWrite = 0;
    } else if (Same(keyword, "depthfunc")) {
        if (ReadShaderValue(script, value)) Lookup(kDepthFunctions, value, stage.depthFunction);
    } else if (Same(keyword, "depthwrite")) {
        stage.depthWrite = 1;
    } else if (Same(keyword, "tcgen")) {
        std::int32_t coordinates = 0;
        if (ReadShaderValue(script, value) && Lookup(kTextureCoordinates, value, coordinates))
            stage.textureCoordinates = static_cast<std::uint8_t>(coordinates);
    } else if (Same(keyword, "tcmod")) {
        ReadTexMod(script, stage);
    } else if (Same(keyword, "alphafunc")) {
        if (ReadShaderValue(script, value)) ReadAlphaFunction(value, stage);
    }
}
