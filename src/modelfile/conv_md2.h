// The MD2 converter's decoded file and its steps (the entries are in converters.h). Decoding
// takes bytes and needs no device; building the object makes normals through the platform.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"

#include <cstdint>
#include <string>
#include <vector>

struct FrameRecord;
struct ObjectRecord;

namespace ConvMD2 {

constexpr std::uint32_t kMagic = 0x32504449; // "IDP2"
constexpr std::int32_t kVersion = 8;
constexpr int kHeaderWords = 17;

// The header's words by position.
enum HeaderWord {
    kWordMagic,
    kWordVersion,
    kWordSkinWidth,
    kWordSkinHeight,
    kWordFrameSize,
    kWordSkinCount,
    kWordVertexCount,
    kWordTexCoordCount,
    kWordTriangleCount,
    kWordCommandCount,
    kWordFrameCount,
    kWordSkinOffset,
    kWordTexCoordOffset,
    kWordTriangleOffset,
    kWordFrameOffset,
    kWordCommandOffset,
    kWordEndOffset
};

struct DecodedVertex {
    float x, y, z;
    std::uint8_t normal;
};

struct DecodedFrame {
    char name[16];
    std::vector<DecodedVertex> vertices;
};

struct Triangle {
    std::uint16_t vertex[3];
    std::uint16_t texCoord[3];
};

struct TexCoord {
    float u, v;
};

// The file as the converter reads it, every index checked against its array.
struct MD2Data {
    std::int32_t header[kHeaderWords] = {};
    std::vector<DecodedFrame> frames;
    std::vector<Triangle> triangles;
    std::vector<TexCoord> texCoords;
    std::vector<std::string> skins; // as texture file names
};

// The whole file; false for anything that is not a well-formed MD2 file.
bool Decode(const ByteSpan& file, MD2Data& data);
bool ReadFrames(const ByteSpan& file, MD2Data& data);
bool ReadTriangles(const ByteSpan& file, MD2Data& data);
bool ReadTexCoordsAndSkins(const ByteSpan& file, MD2Data& data);
// A skin's 64-byte name as a texture file name: what follows its last "/", its last three
// characters made "bmp".
std::string SkinTextureName(const std::uint8_t* name);

// The engine object of the decoded file; null when it cannot be made.
ObjectRecord* BuildObject(const MD2Data& data);
// The frame's mesh: animation frame k as an unindexed triangle list.
bool BuildMesh(FrameRecord* frame, const MD2Data& data, std::size_t k);

// The file as the converter's own object (kept until the next conversion or Free).
bool Load(const char* fileName);
const ObjectRecord* LoadedObject();

} // namespace ConvMD2
