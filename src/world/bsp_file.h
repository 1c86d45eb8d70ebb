// BSP level files ("IBSP", versions 46 and 47) as they are stored: the header, the lumps and their
// records, read from a file image into typed arrays and checked whole before anything uses them.
// Nothing here needs a device. Positions are level units; the conversions to and from the
// engine's units swap y and z.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"
#include "core/load_budget.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

constexpr int kBspLumpCount = 17;
constexpr std::size_t kBspHeaderSize = 8 + 8 * kBspLumpCount;

enum BspLumpIndex {
    kLumpEntities = 0,
    kLumpTextures = 1,
    kLumpPlanes = 2,
    kLumpNodes = 3,
    kLumpLeaves = 4,
    kLumpLeafFaces = 5,
    kLumpLeafBrushes = 6,
    kLumpModels = 7,
    kLumpBrushes = 8,
    kLumpBrushSides = 9,
    kLumpVertices = 10,
    kLumpMeshIndices = 11,
    kLumpFaces = 13,
    kLumpLightmaps = 14,
    kLumpVisibility = 16,
};

enum BspFaceType { kFacePolygon = 1, kFacePatch = 2, kFaceMesh = 3, kFaceBillboard = 4 };

// A lightmap: 128 x 128 texels of r, g, b.
constexpr std::int32_t kLightmapSide = 128;
constexpr std::size_t kLightmapBytes = kLightmapSide * kLightmapSide * 3;

// What a level may hold: faces and lightmaps as the drawing tables allow, and the vertices one
// face may address through 16-bit indices.
constexpr std::int32_t kMostLevelFaces = 65536;
constexpr std::int32_t kMostLevelLightmaps = 1000;
constexpr std::int32_t kMostFaceVertices = 65536;
// The indices one polygon or mesh face may list: the real levels measured list at most 3,093, and
// a face of millions would be drawn, index by index, every frame.
constexpr std::int32_t kMostFaceIndices = 65536;
// The largest coordinate a level's numbers may hold; anything beyond, or not a number, refuses it.
constexpr float kLargestLevelNumber = 1e18f;

#pragma pack(push, 1)
struct BspLump {
    std::int32_t offset;
    std::int32_t length;
};
struct BspTextureName {
    char name[64]; // zero-terminated unless it fills all 64
    std::int32_t surfaceFlags;
    std::int32_t contentFlags;
};
struct BspPlane {
    float normal[3];
    float distance;
};
struct BspNode {
    std::int32_t plane;
    std::int32_t children[2]; // front, back; a negative child c is leaf -(c + 1)
    std::int32_t mins[3];
    std::int32_t maxs[3];
};
struct BspLeaf {
    std::int32_t cluster; // negative: outside the level
    std::int32_t area;
    std::int32_t mins[3];
    std::int32_t maxs[3];
    std::int32_t firstLeafFace;
    std::int32_t leafFaceCount;
    std::int32_t firstLeafBrush;
    std::int32_t leafBrushCount;
};
struct BspVertex {
    float position[3];
    float texture[2];
    float lightmap[2];
    float normal[3];
    std::uint8_t colour[4]; // r, g, b, a
};
struct BspFace {
    std::int32_t texture;
    std::int32_t effect;
    std::int32_t type;
    std::int32_t firstVertex;
    std::int32_t vertexCount;
    std::int32_t firstMeshIndex;
    std::int32_t meshIndexCount;
    std::int32_t lightmap; // negative: none
    std::int32_t lightmapStart[2];
    std::int32_t lightmapSize[2];
    float lightmapOrigin[3];
    float lightmapS[3]; // a patch's box minimum
    float lightmapT[3]; // a patch's box maximum
    float normal[3];
    std::int32_t patchSize[2];
};
#pragma pack(pop)
static_assert(sizeof(BspTextureName) == 72 && sizeof(BspPlane) == 16 && sizeof(BspNode) == 36);
static_assert(sizeof(BspLeaf) == 48 && sizeof(BspVertex) == 44 && sizeof(BspFace) == 104);

// The visibility rows: bit (c & 7) of byte (c >> 3) of row r is set when cluster c can be seen
// from cluster r.
struct BspVisibility {
    std::int32_t clusterCount = 0;
    std::int32_t bytesPerCluster = 0;
    std::vector<std::uint8_t> rows;
};

// Every lump the loader reads, as copies of their records. Lumps the world does not interpret
// are kept as raw bytes.
struct BspFile {
    std::int32_t version = 0;
    BspLump lumps[kBspLumpCount] = {};
    std::string entities;
    std::vector<BspTextureName> textures;
    std::vector<BspPlane> planes;
    std::vector<BspNode> nodes;
    std::vector<BspLeaf> leaves;
    std::vector<std::int32_t> leafFaces;
    std::vector<std::uint8_t> leafBrushes, models, brushes, brushSides;
    std::vector<BspVertex> vertices;
    std::vector<std::int32_t> meshIndices; // offsets from a face's first vertex
    std::vector<BspFace> faces;
    std::vector<std::uint8_t> lightmaps; // kLightmapBytes each
    std::int32_t visibilityPresent = 0;  // the lump holds at least 12 bytes
    BspVisibility visibility;

    std::int32_t LightmapCount() const {
        return static_cast<std::int32_t>(lightmaps.size() / kLightmapBytes);
    }
};

// Why a file image was refused (kBspFine when it was not).
enum BspFault {
    kBspFine,
    kBspBadMagic,
    kBspBadVersion,
    kBspBadLump,       // a lump's offset or length lies outside the image, or is negative
    kBspTooMany,       // more faces or lightmaps than a level may hold
    kBspBadFace,       // a face's texture, vertex or mesh-index range lies outside its array
    kBspBadLeaf,       // a leaf's faces, a leaf face or a cluster lies outside its array
    kBspBadNode,       // a plane or child outside its array, or a node or leaf reached twice
    kBspBadVisibility, // rows that the lump cannot hold
    kBspBadNumber,     // a vertex's position, texture coordinate or normal, or a plane, that is
                       // not a number or lies beyond kLargestLevelNumber
};

// Reads the lumps in the loader's order (0, 2, 7, 3, 4, 5, 13, 11, 1, 10, 14, 16, 6, 8, 9) and
// checks every count, range, index and number the level's users rely on, in 64-bit arithmetic.
// On kBspFine file holds the level; otherwise it is left empty. What it makes is charged to the
// running load first (std::bad_alloc past its budget).
BspFault ReadBspFile(ByteSpan image, BspFile& file);

// Copies a lump's bytes into records of T: length / sizeof(T) of them, the remainder ignored.
// The lump's range must already have been checked against the image.
// Charged to the running load before the records are made.
template <typename T>
std::int32_t ReadBspLump(ByteSpan image, const BspLump& lump, std::vector<T>& out) {
    const std::size_t count = static_cast<std::size_t>(lump.length) / sizeof(T);
    RequireLoad(count, sizeof(T));
    out.resize(count);
    if (count) std::memcpy(out.data(), image.data + lump.offset, count * sizeof(T));
    return static_cast<std::int32_t>(count);
}

// A texture record's name, never running past its 64 characters.
std::string BspTextureNameText(const BspTextureName& texture);

// The leaf that holds a point in level units: from node 0, front when normal . point - distance
// >= 0, else back, until a leaf. -1 when the level has no nodes, or when the walk takes more
// steps than there are nodes (which a checked file never does).
std::int32_t FindBspLeaf(const BspFile& file, const D3DXVECTOR3& point);

// Level units are 0.029 engine units; an engine unit is 34.48276 level units (that stored value,
// not the exact reciprocal). Level (x, y, z) is engine (0.029 x, 0.029 z, 0.029 y).
constexpr float kLevelToEngine = 0.029f;
constexpr float kEngineToLevel = 34.48276f;

inline D3DXVECTOR3 LevelToEnginePoint(float x, float y, float z) {
    return D3DXVECTOR3(kLevelToEngine * x, kLevelToEngine * z, kLevelToEngine * y);
}
inline D3DXVECTOR3 LevelToEnginePointFromFloats(const float* v) {
    return LevelToEnginePoint(v[0], v[1], v[2]);
}
inline D3DXVECTOR3 LevelToEnginePointFromInts(const std::int32_t* v) {
    return LevelToEnginePoint(static_cast<float>(v[0]), static_cast<float>(v[1]),
                              static_cast<float>(v[2]));
}
inline D3DXVECTOR3 LevelToEnginePointFromShorts(const std::int16_t* v) {
    return LevelToEnginePoint(v[0], v[1], v[2]);
}
inline D3DXVECTOR3 EngineToLevelPoint(float x, float y, float z) {
    return D3DXVECTOR3(kEngineToLevel * x, kEngineToLevel * z, kEngineToLevel * y);
}
inline float EngineToLevelScalar(float value) {
    return kEngineToLevel * value;
}
