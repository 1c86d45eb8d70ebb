#include "core/win32.h"

#include "modelfile/conv_md2.h"
#include "core/load_budget.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <memory>
#include <new>

namespace ConvMD2 {

namespace {

constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 0x112
constexpr std::uint64_t kFrameHead = 40; // scale, translate, name
constexpr std::uint64_t kSkinNameBytes = 64;
// Three corners a triangle, all numbered in 16 bits when the platform makes the normals.
constexpr std::int64_t kMostTriangles = 0xFFFF / 3;

struct State {
    ConvertedObject kept;
};

State g_State;

bool ReadHeader(const ByteSpan& file, MD2Data& data) {
    std::int32_t* h = data.header;
    for (int i = 0; i < kHeaderWords; ++i)
        if (!file.I32(4u * i, h[i])) return false;
    if (static_cast<std::uint32_t>(h[kWordMagic]) != kMagic || h[kWordVersion] != kVersion)
        return false;
    for (int count : {kWordSkinCount, kWordVertexCount, kWordTexCoordCount, kWordTriangleCount,
                      kWordFrameCount})
        if (h[count] < 0) return false;
    // The root mesh is frame 0; every mesh holds three corners a triangle.
    const std::int64_t triangles = h[kWordTriangleCount];
    return h[kWordFrameCount] > 0 && triangles <= kMostTriangles &&
           (h[kWordFrameCount] + std::int64_t{1}) * 3 * triangles <= kMostConvertedVertices;
}

float Float(const ByteSpan& span, std::uint64_t at) {
    float value = 0;
    span.F32(at, value);
    return value;
}

} // namespace

std::string SkinTextureName(const std::uint8_t* name) {
    std::string text = FieldText(name, kSkinNameBytes);
    const std::size_t slash = text.rfind('/');
    if (slash != std::string::npos) text.erase(0, slash + 1);
    // A name shorter than an extension is replaced whole.
    text.resize(text.size() >= 3 ? text.size() - 3 : 0);
    return text + "bmp";
}

bool ReadFrames(const ByteSpan& file, MD2Data& data) {
    const std::int32_t* h = data.header;
    const std::uint64_t vertices = static_cast<std::uint32_t>(h[kWordVertexCount]);
    const std::uint64_t each = kFrameHead + 4 * vertices;
    ByteSpan table;
    if (!TableInFile(file, h[kWordFrameOffset], each, h[kWordFrameCount], table) ||
        !ChargeLoad(static_cast<std::uint64_t>(h[kWordFrameCount]),
                    sizeof(DecodedFrame) + vertices * sizeof(DecodedVertex)))
        return false;
    data.frames.resize(static_cast<std::size_t>(h[kWordFrameCount]));
    for (std::size_t f = 0; f < data.frames.size(); ++f) {
        const std::uint64_t at = f * each;
        float scale[3], translate[3];
        for (int i = 0; i < 3; ++i) {
            scale[i] = Float(table, at + 4 * i);
            translate[i] = Float(table, at + 12 + 4 * i);
        }
        DecodedFrame& frame = data.frames[f];
        std::memcpy(frame.name, table.data + at + 24, sizeof frame.name);
        frame.vertices.resize(vertices);
        const std::uint8_t* packed = table.data + at + kFrameHead;
        // The file's z is up; the engine's up is y.
        for (DecodedVertex& v : frame.vertices) {
            v.x = packed[0] * scale[0] + translate[0];
            v.y = packed[2] * scale[2] + translate[2];
            v.z = packed[1] * scale[1] + translate[1];
            v.normal = packed[3];
            packed += 4;
        }
    }
    return true;
}

bool ReadTriangles(const ByteSpan& file, MD2Data& data) {
    const std::int32_t* h = data.header;
    ByteSpan table;
    if (!TableInFile(file, h[kWordTriangleOffset], 12, h[kWordTriangleCount], table)) return false;
    data.triangles.resize(static_cast<std::size_t>(h[kWordTriangleCount]));
    for (std::size_t t = 0; t < data.triangles.size(); ++t) {
        Triangle& triangle = data.triangles[t];
        for (int c = 0; c < 3; ++c) {
            std::uint32_t vertex = 0, texCoord = 0;
            table.U16(12 * t + 2 * c, vertex);
            table.U16(12 * t + 6 + 2 * c, texCoord);
            if (vertex >= static_cast<std::uint32_t>(h[kWordVertexCount]) ||
                texCoord >= static_cast<std::uint32_t>(h[kWordTexCoordCount]))
                return false;
            triangle.vertex[c] = static_cast<std::uint16_t>(vertex);
            triangle.texCoord[c] = static_cast<std::uint16_t>(texCoord);
        }
    }
    return true;
}

bool ReadTexCoordsAndSkins(const ByteSpan& file, MD2Data& data) {
    const std::int32_t* h = data.header;
    ByteSpan coords, skins;
    if (!TableInFile(file, h[kWordTexCoordOffset], 4, h[kWordTexCoordCount], coords) ||
        !TableInFile(file, h[kWordSkinOffset], kSkinNameBytes, h[kWordSkinCount], skins))
        return false;
    // Coordinates are divided by the skin's size: a size of 0 makes none of them a number.
    const bool sized = h[kWordSkinWidth] > 0 && h[kWordSkinHeight] > 0;
    if (h[kWordTexCoordCount] > 0 && !sized) return false;
    data.texCoords.resize(static_cast<std::size_t>(h[kWordTexCoordCount]));
    for (std::size_t i = 0; i < data.texCoords.size(); ++i) {
        std::int32_t s = 0, t = 0;
        coords.I16(4 * i, s);
        coords.I16(4 * i + 2, t);
        data.texCoords[i] = {static_cast<float>(s) / static_cast<float>(h[kWordSkinWidth]),
                             static_cast<float>(t) / static_cast<float>(h[kWordSkinHeight])};
    }
    data.skins.clear();
    for (std::int32_t i = 0; i < h[kWordSkinCount]; ++i)
        data.skins.push_back(SkinTextureName(skins.data + kSkinNameBytes * i));
    return true;
}

bool Decode(const ByteSpan& file, MD2Data& data) {
    data = MD2Data{};
    return ReadHeader(file, data) && ReadFrames(file, data) && ReadTriangles(file, data) &&
           ReadTexCoordsAndSkins(file, data);
}

bool BuildMesh(FrameRecord* frame, const MD2Data& data, std::size_t k) {
    if (!frame || k >= data.frames.size()) return false;
    const auto triangles = static_cast<std::int32_t>(data.triangles.size());
    // The mesh, and as much again for the platform's copy that its normals are computed in.
    const std::uint64_t vertexBytes = 3 * std::uint64_t(triangles) * D3DXGetFVFVertexSize(kFormat);
    if (!ChargeLoad(sizeof(MeshRecord) + 2 * vertexBytes)) return false;
    MeshRecord* mesh = NewConvertedMesh(kFormat, 3 * triangles, 0, D3DPT_TRIANGLELIST);
    if (!mesh) return false;
    delete frame->mesh;
    frame->mesh = mesh;
    mesh->drawVertexCount = triangles;
    mesh->drawPrimitiveCount = triangles;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* out = reinterpret_cast<float*>(mesh->vertices);
    const std::vector<DecodedVertex>& positions = data.frames[k].vertices;
    for (const Triangle& triangle : data.triangles) {
        for (int c = 0; c < 3; ++c, out += map.StrideDwords) {
            const DecodedVertex& p = positions[triangle.vertex[c]];
            const TexCoord& t = data.texCoords[triangle.texCoord[c]];
            out[map.X] = p.x;
            out[map.Y] = p.y;
            out[map.Z] = p.z;
            out[map.TexU[0]] = t.u;
            out[map.TexV[0]] = t.v;
        }
    }
    RecomputeUnindexedNormals(mesh);
    return true;
}

ObjectRecord* BuildObject(const MD2Data& data) {
    auto object = std::make_unique<ObjectRecord>();
    object->rootFrame = new (std::nothrow) FrameRecord;
    if (!object->rootFrame || !BuildMesh(object->rootFrame, data, 0)) return nullptr;
    MeshRecord* mesh = object->rootFrame->mesh;
    if (!GiveOneTextureSlot(mesh, data.skins.empty() ? std::string() : data.skins[0]))
        return nullptr;
    const auto frames = static_cast<std::int32_t>(data.frames.size());
    if (!ChargeLoad(frames, sizeof(FrameRecord))) return nullptr;
    mesh->keyFrames = new (std::nothrow) FrameRecord[frames];
    if (!mesh->keyFrames) return nullptr;
    mesh->keyFrameCount = frames;
    for (std::int32_t k = 0; k < frames; ++k)
        if (!BuildMesh(&mesh->keyFrames[k], data, static_cast<std::size_t>(k))) return nullptr;
    return object.release();
}

bool Load(const char* fileName) {
    State& s = g_State;
    s.kept.object.reset();
    std::vector<std::uint8_t> bytes;
    MD2Data data;
    if (!ReadModelFile(fileName, bytes) || !Decode(ByteSpan{bytes.data(), bytes.size()}, data))
        return false;
    s.kept.object.reset(BuildObject(data));
    return s.kept.object != nullptr;
}

const ObjectRecord* LoadedObject() {
    return g_State.kept.object.get();
}

bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    return g_State.kept.Run(Load, fileName, block, size);
}

void Free(std::uint8_t* block) {
    g_State.kept.Free(block);
}

} // namespace ConvMD2
