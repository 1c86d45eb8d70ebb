// The vertex the world draws and collides with: a level vertex in engine units, in the device's
// format position, normal, diffuse colour and two texture-coordinate sets.
#pragma once

#include "world/bsp_file.h"

#include <cstdint>

constexpr DWORD kWorldVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;
static_assert(kWorldVertexFormat == 0x252);

struct WorldVertex {
    D3DXVECTOR3 position{0, 0, 0};
    D3DXVECTOR3 normal{0, 0, 0};
    std::uint32_t colour = 0; // D3DCOLOR: alpha in the top byte
    float u = 0, v = 0;       // surface texture coordinates
    float lightmapU = 0, lightmapV = 0;
};
static_assert(sizeof(WorldVertex) == 44);

// r, g, b, a bytes as a D3DCOLOR.
inline std::uint32_t LevelColour(const std::uint8_t* rgba) {
    return static_cast<std::uint32_t>(rgba[3]) << 24 | static_cast<std::uint32_t>(rgba[0]) << 16 |
           static_cast<std::uint32_t>(rgba[1]) << 8 | rgba[2];
}

// A lightmap coordinate as drawn: real levels hold a few that are not numbers, drawn as 0.
inline float PlainLightmapCoordinate(float value) {
    return value >= -kLargestLevelNumber && value <= kLargestLevelNumber ? value : 0.0f;
}

// A level vertex in engine units; its normal has y and z swapped but keeps its length.
inline WorldVertex ToWorldVertex(const BspVertex& v) {
    WorldVertex out;
    out.position = LevelToEnginePointFromFloats(v.position);
    out.normal = D3DXVECTOR3(v.normal[0], v.normal[2], v.normal[1]);
    out.colour = LevelColour(v.colour);
    out.u = v.texture[0];
    out.v = v.texture[1];
    out.lightmapU = PlainLightmapCoordinate(v.lightmap[0]);
    out.lightmapV = PlainLightmapCoordinate(v.lightmap[1]);
    return out;
}
