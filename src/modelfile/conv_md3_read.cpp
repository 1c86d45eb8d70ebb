#include "core/win32.h"

#include "modelfile/conv_md3.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "modelfile/converter_common.h"

#include <cmath>

namespace ConvMD3 {

namespace {

constexpr std::uint64_t kHeaderBytes = 4 * kHeaderWords;
constexpr std::uint64_t kFrameBytes = 56;
constexpr std::uint64_t kTagBytes = 112;
constexpr std::uint64_t kNameBytes = 64;
constexpr std::uint64_t kShaderBytes = 68;
// Indices are 16-bit; so is every list of them.
constexpr std::int32_t kMostVertices = 0xFFFF;
constexpr std::int32_t kMostTriangles = 0xFFFF / 3;
constexpr float kVertexScale = 1.0f / 64;

const char* const kPartNames[kParts] = {"lower.md3", "upper.md3", "head.md3"};

float Float(const ByteSpan& span, std::uint64_t at) {
    float value = 0;
    span.F32(at, value);
    return value;
}

bool ReadTags(const ByteSpan& file, std::uint64_t at, Part& part) {
    const std::int64_t count =
        std::int64_t{part.header[kWordFrameCount]} * part.header[kWordTagCount];
    ByteSpan table;
    if (!TableInFile(file, static_cast<std::int64_t>(at), kTagBytes, count, table) ||
        !ChargeLoad(static_cast<std::uint64_t>(count), sizeof(Tag) + kNameBytes))
        return false;
    part.tags.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < part.tags.size(); ++i) {
        const std::uint64_t t = i * kTagBytes;
        float axis[9];
        for (int k = 0; k < 9; ++k)
            axis[k] = Float(table, t + 76 + 4 * k);
        Tag& tag = part.tags[i];
        tag.name = FieldText(table.data + t, kNameBytes);
        tag.origin = {Float(table, t + 64), Float(table, t + 68), Float(table, t + 72)};
        tag.rotation = MatrixToQuaternion(axis);
    }
    return true;
}

bool ReadSurfaceHeader(const ByteSpan& file, std::uint64_t at, Surface& s) {
    for (int i = 0; i < kHeaderWords; ++i)
        if (!file.I32(at + 4u * i, s.header[i])) return false;
    const std::int32_t* h = s.header;
    s.name = FieldText(file.data + at + 4, kNameBytes);
    return h[kWordVertexFrames] > 0 && h[kWordShaderCount] >= 0 && h[kWordVertexCount] >= 0 &&
           h[kWordVertexCount] <= kMostVertices && h[kWordTriangleCount] >= 0 &&
           h[kWordTriangleCount] <= kMostTriangles &&
           h[kWordEndOffset] >= std::int64_t{kHeaderBytes};
}

// The table of a surface at its offset from the surface's start.
bool SurfaceTable(const ByteSpan& file, std::uint64_t at, const Surface& s, int offsetWord,
                  std::uint64_t each, std::int64_t count, ByteSpan& table) {
    return TableInFile(file, static_cast<std::int64_t>(at) + s.header[offsetWord], each, count,
                       table);
}

// What decoding the surface makes: its triangles, shader names, coordinates and every vertex
// frame's positions (tables many surfaces may share are decoded, and charged, for each).
std::uint64_t DecodedBytes(const Surface& s) {
    const std::int32_t* h = s.header;
    const auto vertices = static_cast<std::uint64_t>(h[kWordVertexCount]);
    const auto frames = static_cast<std::uint64_t>(h[kWordVertexFrames]);
    return 6 * static_cast<std::uint64_t>(h[kWordTriangleCount]) +
           (sizeof(std::string) + kNameBytes) * static_cast<std::uint64_t>(h[kWordShaderCount]) +
           sizeof(D3DXVECTOR2) * vertices +
           frames * (sizeof(std::vector<D3DXVECTOR3>) + sizeof(D3DXVECTOR3) * vertices);
}

bool ReadSurfaceData(const ByteSpan& file, std::uint64_t at, Surface& s) {
    const std::int32_t* h = s.header;
    const std::int32_t vertices = h[kWordVertexCount];
    ByteSpan triangles, shaders, coords, positions;
    if (!SurfaceTable(file, at, s, kWordTriangleOffset, 12, h[kWordTriangleCount], triangles) ||
        !SurfaceTable(file, at, s, kWordShaderOffset, kShaderBytes, h[kWordShaderCount], shaders) ||
        !SurfaceTable(file, at, s, kWordTexCoordOffset, 8, vertices, coords) ||
        !SurfaceTable(file, at, s, kWordVertexOffset, 8,
                      std::int64_t{vertices} * h[kWordVertexFrames], positions) ||
        !ChargeLoad(DecodedBytes(s)))
        return false;
    s.triangles.resize(3 * static_cast<std::size_t>(h[kWordTriangleCount]));
    for (std::size_t i = 0; i < s.triangles.size(); ++i) {
        std::int32_t index = 0;
        triangles.I32(4 * i, index);
        if (index < 0 || index >= vertices) return false;
        s.triangles[i] = static_cast<std::uint16_t>(index);
    }
    for (std::int32_t i = 0; i < h[kWordShaderCount]; ++i)
        s.shaders.push_back(ShaderName(shaders.data + kShaderBytes * i));
    s.texCoords.resize(static_cast<std::size_t>(vertices));
    for (std::size_t i = 0; i < s.texCoords.size(); ++i)
        s.texCoords[i] = {Float(coords, 8 * i), Float(coords, 8 * i + 4)};
    s.vertexFrames.resize(static_cast<std::size_t>(h[kWordVertexFrames]));
    std::uint64_t v = 0;
    for (std::vector<D3DXVECTOR3>& frame : s.vertexFrames) {
        frame.resize(static_cast<std::size_t>(vertices));
        for (D3DXVECTOR3& p : frame) {
            std::int32_t x = 0, y = 0, z = 0;
            positions.I16(8 * v, x);
            positions.I16(8 * v + 2, y);
            positions.I16(8 * v + 4, z);
            p = {x * kVertexScale, y * kVertexScale, z * kVertexScale};
            ++v;
        }
    }
    return true;
}

bool ReadSurfaces(const ByteSpan& file, std::uint64_t at, Part& part) {
    const std::int32_t frames = part.header[kWordFrameCount];
    const bool tagged = part.header[kWordTagCount] > 0;
    // Counted before their data is decoded: past the caps nothing more is allocated.
    ConvertedTotals totals;
    for (std::int32_t i = 0; i < part.header[kWordSurfaceCount]; ++i) {
        // The record, and as much again for the list's room to grow.
        Surface s;
        if (!ChargeLoad(2 * sizeof(Surface) + kNameBytes) || !ReadSurfaceHeader(file, at, s) ||
            !totals.Add(s) || !ReadSurfaceData(file, at, s))
            return false;
        // Each vertex frame is turned by the first tag of the same frame.
        if (tagged && s.header[kWordVertexFrames] > frames) return false;
        at += static_cast<std::uint64_t>(s.header[kWordEndOffset]);
        part.surfaces.push_back(std::move(s));
    }
    return true;
}

} // namespace

bool ConvertedTotals::Add(const Surface& surface) {
    const std::int64_t made = std::int64_t{surface.header[kWordVertexFrames]} + 1;
    meshes += made;
    vertices += made * surface.header[kWordVertexCount];
    return meshes <= kMostConvertedMeshes && vertices <= kMostConvertedVertices;
}

PartFileNames MakePartFileNames(const std::string& fileName) {
    // The last "." after the first character ends the folder's name.
    const std::size_t dot = fileName.find_last_of('.');
    const std::string folder = dot != std::string::npos && dot >= 1 ? fileName.substr(0, dot) : "";
    PartFileNames names;
    for (int i = 0; i < kParts; ++i)
        names.parts[i] = folder + "/" + kPartNames[i];
    names.texturePrefix = folder + "/";
    return names;
}

std::string ShaderName(const std::uint8_t* field) {
    // The name ends at its first zero: the index and whatever follows it are no part of it.
    const std::string text = FieldText(field, kNameBytes);
    const std::size_t slash = text.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0) return "";
    return text.substr(slash + 1);
}

D3DXQUATERNION MatrixToQuaternion(const float m[9]) {
    const float trace = m[0] + m[4] + m[8] + 1;
    if (trace > 0) {
        const float s = 0.5f / std::sqrt(trace);
        return {(m[7] - m[5]) * s, (m[2] - m[6]) * s, (m[3] - m[1]) * s, 0.25f / s};
    }
    if (m[0] > m[4] && m[0] > m[8]) {
        const float s = 2 * std::sqrt(1 + m[0] - m[4] - m[8]);
        return {s / 4, (m[1] + m[3]) / s, (m[2] + m[6]) / s, (m[7] - m[5]) / s};
    }
    if (m[4] > m[8]) {
        const float s = 2 * std::sqrt(1 + m[4] - m[0] - m[8]);
        return {(m[1] + m[3]) / s, s / 4, (m[5] + m[7]) / s, (m[2] - m[6]) / s};
    }
    const float s = 2 * std::sqrt(1 + m[8] - m[0] - m[4]);
    return {(m[2] + m[6]) / s, (m[5] + m[7]) / s, s / 4, (m[3] - m[1]) / s};
}

D3DXMATRIX QuaternionToMatrix(const D3DXQUATERNION& q) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return D3DXMATRIX(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (w * y + x * z), 0,
                      2 * (w * z + x * y), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x), 0,
                      2 * (x * z - w * y), 2 * (w * x + y * z), 1 - 2 * (x * x + y * y), 0, 0, 0, 0,
                      1);
}

PartRead ReadPart(const ByteSpan& file, Part& part) {
    part = Part{};
    std::uint32_t magic = 0;
    std::int32_t version = 0;
    if (!file.U32(0, magic) || !file.I32(4, version) || magic != kMagic || version != kVersion)
        return PartRead::kNone;
    for (int i = 0; i < kHeaderWords; ++i)
        if (!file.I32(4u * i, part.header[i])) return PartRead::kDamaged;
    const std::int32_t* h = part.header;
    if (h[kWordFrameCount] < 0 || h[kWordTagCount] < 0 || h[kWordSurfaceCount] < 0)
        return PartRead::kDamaged;
    // The frames, the tags and the surfaces follow the header in that order.
    const std::uint64_t tags = kHeaderBytes + kFrameBytes * h[kWordFrameCount];
    if (!file.Has(0, tags) || !ReadTags(file, tags, part) ||
        !ReadSurfaces(file, tags + kTagBytes * part.tags.size(), part)) {
        part = Part{};
        return PartRead::kDamaged;
    }
    part.read = true;
    return PartRead::kRead;
}

PartRead LoadPart(const char* fileName, Part& part) {
    part = Part{};
    // The part is a file the load was given; reading it charges the copy it holds.
    AddLoadFile(MediaFileSize(fileName));
    std::vector<std::uint8_t> bytes;
    if (!ReadModelFile(fileName, bytes))
        return LoadOverBudget() ? PartRead::kDamaged : PartRead::kNone;
    return ReadPart(ByteSpan{bytes.data(), bytes.size()}, part);
}

} // namespace ConvMD3
