// The MD3 converter's parts and steps (the entries are in converters.h). A model is a folder of
// three part files; reading a part takes bytes and needs no device, building the object makes
// normals through the platform.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FrameRecord;
struct ObjectRecord;

namespace ConvMD3 {

constexpr std::uint32_t kMagic = 0x33504449; // "IDP3"
constexpr std::int32_t kVersion = 15;
constexpr int kHeaderWords = 27;
constexpr int kParts = 3; // lower, upper, head

// The part header's words by position (the model name takes words 2 to 17).
enum PartWord {
    kWordMagic = 0,
    kWordVersion = 1,
    kWordFrameCount = 19,
    kWordTagCount = 20,
    kWordSurfaceCount = 21
};
// The surface header's words by position (the surface name takes words 1 to 16).
enum SurfaceWord {
    kWordVertexFrames = 18,
    kWordShaderCount,
    kWordVertexCount,
    kWordTriangleCount,
    kWordTriangleOffset,
    kWordShaderOffset,
    kWordTexCoordOffset,
    kWordVertexOffset,
    kWordEndOffset
};

struct Tag {
    std::string name;
    D3DXVECTOR3 origin;
    D3DXQUATERNION rotation;
};

struct Surface {
    std::int32_t header[kHeaderWords] = {};
    std::string name;
    std::vector<std::vector<D3DXVECTOR3>> vertexFrames; // decoded positions, frame by frame
    std::vector<std::uint16_t> triangles;               // three vertex numbers each, as in the file
    std::vector<D3DXVECTOR2> texCoords;                 // one per vertex
    std::vector<std::string> shaders;                   // the names after their last slash
};

// What a conversion makes of surfaces: a mesh for vertex frame 0 and one a vertex frame, each
// with every vertex of its surface. Capped over all parts, so that a small file whose surfaces
// share one block of vertices cannot make a huge object even where no load's budget runs (a
// conversion called on its own); inside a load the budget is charged as well.
constexpr std::int64_t kMostConvertedMeshes = std::int64_t{1} << 16;
struct ConvertedTotals {
    std::int64_t meshes = 0;
    std::int64_t vertices = 0;
    // Counts the surface in (its header is enough); false once past either cap.
    bool Add(const Surface& surface);
};

struct Part {
    bool read = false;
    std::int32_t header[kHeaderWords] = {};
    std::vector<Tag> tags; // frame count x tag count, the tags of frame 0 first
    std::vector<Surface> surfaces;
};

enum class PartRead {
    kNone,    // missing, or not a part of this format: it contributes nothing
    kRead,    // read whole
    kDamaged, // of this format but its contents do not hold together, past the caps or the budget
};

// The files a model named by fileName is read from: the folder is the name up to its last ".".
struct PartFileNames {
    std::string parts[kParts];
    std::string texturePrefix;
};
PartFileNames MakePartFileNames(const std::string& fileName);

// What a part decodes is charged to the running load before it is made; LoadPart adds the part's
// file to the load first.
PartRead ReadPart(const ByteSpan& file, Part& part);
PartRead LoadPart(const char* fileName, Part& part);
// A rotation given by its three axis vectors (nine floats, the first axis first) as a quaternion,
// and back as a matrix whose rows 0 to 2 are the axes.
D3DXQUATERNION MatrixToQuaternion(const float m[9]);
D3DXMATRIX QuaternionToMatrix(const D3DXQUATERNION& q);
// The shader name of a 64-byte shader field: what follows its last "/" or "\" after the first
// character; empty without one.
std::string ShaderName(const std::uint8_t* field);

// The surface frames of a part, appended to the list; recentShader carries the last non-empty
// shader name from surface to surface. Each surface is charged to the running load whole before
// any of it is made. False when a mesh cannot be made or the load's budget is spent.
bool BuildObject(const Part& part, const std::string& texturePrefix, std::string& recentShader,
                 std::vector<std::unique_ptr<FrameRecord>>& surfaceFrames);
// The frame's mesh: vertex frame k of the surface, turned by the tag when there is one (charged
// by BuildObject).
bool BuildSurfaceMesh(FrameRecord* frame, const Surface& surface, std::size_t k, const Tag* tag);
// Among surfaces whose names share their first two characters, only the last keeps its tag.
void CombineParts(std::vector<std::unique_ptr<FrameRecord>>& surfaceFrames);

// The model as the converter's own object (kept until the next conversion or Free); false when
// no part could be read or a part is damaged.
bool LoadModel(const char* fileName);
const ObjectRecord* LoadedObject();

} // namespace ConvMD3
