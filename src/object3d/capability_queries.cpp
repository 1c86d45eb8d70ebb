#include "core/win32.h"

#include "object3d/object_state.h"
#include "object3d/query_commands.h"

#include <cstddef>
#include <iterator>

namespace {

struct FlagField {
    DWORD D3DCAPS9::*field;
    DWORD mask;
};

// In the order of CapabilityFlag.
constexpr FlagField kFlagFields[] = {
#define OBJECT3D_CAPABILITY_FIELD(name, field, mask) {&D3DCAPS9::field, mask},
    OBJECT3D_CAPABILITY_FLAGS(OBJECT3D_CAPABILITY_FIELD)
#undef OBJECT3D_CAPABILITY_FIELD
};
static_assert(std::size(kFlagFields) == static_cast<std::size_t>(CapabilityFlag::Count));

const D3DCAPS9& Caps() {
    return g_Object3D.caps;
}

} // namespace

std::int32_t CapabilityFlagOf(const D3DCAPS9& caps, CapabilityFlag flag) {
    const auto i = static_cast<std::size_t>(flag);
    if (i >= std::size(kFlagFields)) return 0;
    return (caps.*kFlagFields[i].field & kFlagFields[i].mask) != 0 ? 1 : 0;
}

float ShaderVersionOf(const D3DCAPS9& caps, DWORD version) {
    if (caps.MaxStreams == 0) return 0.0f;
    const float major = static_cast<float>((version >> 8) & 0xFF);
    const float minor = static_cast<float>(version & 0xFF);
    return major + minor * 0.1f;
}

#define OBJECT3D_CAPABILITY_DEFINE_FLAG(name, field, mask)                                         \
    std::uint8_t name() {                                                                          \
        return static_cast<std::uint8_t>(CapabilityFlagOf(Caps(), CapabilityFlag::name));          \
    }
OBJECT3D_CAPABILITY_FLAGS(OBJECT3D_CAPABILITY_DEFINE_FLAG)
#undef OBJECT3D_CAPABILITY_DEFINE_FLAG

#define OBJECT3D_CAPABILITY_DEFINE_VALUE(name, field)                                              \
    std::int32_t name() {                                                                          \
        return static_cast<std::int32_t>(Caps().field);                                            \
    }
OBJECT3D_CAPABILITY_VALUES(OBJECT3D_CAPABILITY_DEFINE_VALUE)
#undef OBJECT3D_CAPABILITY_DEFINE_VALUE

float GetPixelShaderMaxValue() {
    return Caps().PixelShader1xMaxValue;
}

float GetVertexShaderVersion() {
    return ShaderVersionOf(Caps(), Caps().VertexShaderVersion);
}

float GetPixelShaderVersion() {
    return ShaderVersionOf(Caps(), Caps().PixelShaderVersion);
}

std::uint8_t AlwaysTrueCapabilityA() {
    return 1;
}

std::uint8_t AlwaysTrueCapabilityB() {
    return 1;
}

std::uint8_t AlwaysTrueCapabilityC() {
    return 1;
}

std::uint8_t AlwaysTrueQuery() {
    return 1;
}
