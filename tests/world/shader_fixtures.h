// Parsing hand-written scripts into the world's shader table, for the shader tests.
#pragma once

#include "world/shader_table.h"

#include <gtest/gtest.h>

#include <string>

// Each case starts and ends with an empty shader table.
class Shaders : public ::testing::Test {
protected:
    void SetUp() override { FreeWorldTable(); }
    void TearDown() override { FreeWorldTable(); }
};

// Parses a script as if read from scripts/test.shader in test.pk3.
inline void Parse(const std::string& text, const char* script = "scripts/test.shader") {
    EXPECT_EQ(ParseShaderHeader(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                                "test.pk3", script),
              1);
}

// The shader of that name; a failed check, and an empty record, when there is none.
inline const ShaderRecord& Shader(const char* name) {
    static const ShaderRecord none;
    const std::int32_t index = FindShader(name);
    EXPECT_GE(index, 0) << name;
    return index < 0 ? none : WorldShaderTable().records[static_cast<std::size_t>(index)];
}

// Stage i of the shader, or an empty stage when it has fewer.
inline const ShaderStage& Stage(const char* name, std::size_t i) {
    static const ShaderStage none;
    const ShaderRecord& shader = Shader(name);
    EXPECT_LT(i, shader.stages.size()) << name;
    return i < shader.stages.size() ? shader.stages[i] : none;
}
