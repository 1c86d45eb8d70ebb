#include "core/win32.h"

#include "modelfile/tangent_builder.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Attributes = std::vector<VertexAttribute>;
using Builder = MeshTangentBuilder;
constexpr float kCrease = 1.0471976f;

VertexAttribute Attr(const char* name, std::vector<float> floats = {},
                     std::vector<std::int32_t> ints = {}) {
    return VertexAttribute{name, std::move(ints), std::move(floats)};
}

Attributes Outputs(std::initializer_list<const char*> names) {
    Attributes list;
    for (const char* name : names)
        list.push_back(Attr(name));
    return list;
}

const VertexAttribute& Named(const Attributes& list, const char* name) {
    for (const VertexAttribute& a : list)
        if (a.name == name) return a;
    ADD_FAILURE() << "no attribute " << name;
    static const VertexAttribute none;
    return none;
}

D3DXVECTOR3 At(const Attributes& list, const char* name, std::size_t v) {
    const std::vector<float>& f = Named(list, name).floats;
    if (f.size() < 3 * v + 3) return D3DXVECTOR3(NAN, NAN, NAN);
    return D3DXVECTOR3(f[3 * v], f[3 * v + 1], f[3 * v + 2]);
}

#define EXPECT_VEC(actual, ex, ey, ez)                                                             \
    do {                                                                                           \
        const D3DXVECTOR3 a_ = (actual);                                                           \
        EXPECT_NEAR(a_.x, ex, 1e-4f);                                                              \
        EXPECT_NEAR(a_.y, ey, 1e-4f);                                                              \
        EXPECT_NEAR(a_.z, ez, 1e-4f);                                                              \
    } while (0)

// A unit quad in the z = 0 plane, u along +x and v growing downwards (along -y).
Attributes FlatQuad() {
    return {Attr("position", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}),
            Attr("indices", {}, {0, 1, 2, 0, 2, 3}),
            Attr("tex0", {0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0, 0})};
}

// Two coplanar faces (0 1 2, 0 2 3) and a third (1 4 2) folded down by 90 degrees along the edge
// 1-2, its u running on. "weight" marks each vertex.
Attributes FoldedMesh() {
    return {Attr("position", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, -1}),
            Attr("indices", {}, {0, 1, 2, 0, 2, 3, 1, 4, 2}),
            Attr("tex0", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0}),
            Attr("weight", {}, {10, 11, 12, 13, 14})};
}

Attributes FrameOutputs() {
    return Outputs({"position", "indices", "tex0", "tangent", "binormal", "weight"});
}

} // namespace

TEST(TangentBuilder, MissingAttributesFailIndicesFirst) {
    Builder builder;
    Attributes out = FrameOutputs();
    EXPECT_FALSE(builder.Build({Attr("tex0")}, out, kCrease, nullptr, 1, 3, 4));
    out = Outputs({"position", "tangent"});
    EXPECT_FALSE(builder.Build(FlatQuad(), out, kCrease, nullptr, 1, 3, 4));
    out = FrameOutputs();
    EXPECT_FALSE(builder.Build({Attr("indices", {}, {0, 1, 2})}, out, kCrease, nullptr, 1, 3, 4));
    out = Outputs({"indices", "tangent"});
    EXPECT_FALSE(builder.Build(FlatQuad(), out, kCrease, nullptr, 1, 3, 4));
    EXPECT_EQ(
        builder.Messages(),
        (std::vector<std::string>{"Missing indices from input", "Missing indices from output",
                                  "Missing position from input", "Missing position from output"}));
}

TEST(TangentBuilder, FlatQuadFramesFollowTheTextureAndItsMatrix) {
    Builder builder;
    Attributes out = Outputs({"position", "indices", "tangent", "binormal"});
    ASSERT_TRUE(builder.Build(FlatQuad(), out, kCrease, nullptr, 1, 3, 4));
    // Normals and texture coordinates the frames needed join the output.
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[4].name, "normal");
    EXPECT_EQ(out[5].floats, FlatQuad()[2].floats);
    for (std::size_t v = 0; v < 4; ++v) {
        EXPECT_VEC(At(out, "tangent", v), 1, 0, 0);
        EXPECT_VEC(At(out, "binormal", v), 0, -1, 0);
        EXPECT_VEC(At(out, "normal", v), 0, 0, 1);
    }
    EXPECT_TRUE(builder.Messages().empty());

    // Mirrored u by the texture matrix mirrors the tangents.
    D3DXMATRIX mirror;
    D3DXMatrixScaling(&mirror, -1, 1, 1);
    ASSERT_TRUE(builder.Build(FlatQuad(), out, kCrease, &mirror, 1, 3, 4));
    EXPECT_VEC(At(out, "tex0", 1), -1, 1, 0);
    EXPECT_VEC(At(out, "tangent", 0), -1, 0, 0);
}

TEST(TangentBuilder, UvDegenerateFacesAddNothing) {
    // Face 1 4 3's texture coordinates lie on one line: its frame is zero, not NaN.
    Attributes in{Attr("position", {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1}),
                  Attr("indices", {}, {0, 1, 2, 1, 3, 4}),
                  Attr("tex0", {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 3, 0, 0})};
    Builder builder;
    Attributes out = FrameOutputs();
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, 4));
    EXPECT_VEC(At(out, "tangent", 1), 1, 0, 0);
    EXPECT_VEC(At(out, "binormal", 1), 0, 1, 0);
    EXPECT_VEC(At(out, "tangent", 3), 0, 0, 0);
    EXPECT_VEC(At(out, "binormal", 4), 0, 0, 0);
}

TEST(TangentBuilder, NormalsWeightedBySineOrEqual) {
    // Vertex 0 joins a face with a narrow angle there (normal +z) and a right-angled one (+x).
    Attributes in{Attr("position", {0, 0, 0, 1, 0, 0, 1, 0.1f, 0, 0, 1, 0, 0, 0, 1, 5, 5, 5}),
                  Attr("indices", {}, {0, 1, 2, 0, 3, 4})};
    Builder builder;
    Attributes out = Outputs({"position", "indices", "normal"});
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, Builder::kEqualNormals));
    EXPECT_VEC(At(out, "normal", 0), std::sqrt(0.5f), 0, std::sqrt(0.5f));
    EXPECT_VEC(At(out, "normal", 5), 0, 0, 0); // in no face
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, Builder::kWeightedNormals));
    const D3DXVECTOR3 weighted = At(out, "normal", 0);
    EXPECT_GT(weighted.x, 0.99f);
    EXPECT_NEAR(D3DXVec3Length(&weighted), 1, 1e-5f);
    // Normals given are kept.
    in.push_back(Attr("normal", std::vector<float>(18, 2.0f)));
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, 4));
    EXPECT_EQ(Named(out, "normal").floats, std::vector<float>(18, 2.0f));
}

TEST(TangentBuilder, CreasesSplitOnlyWhenAsked) {
    Builder builder;
    Attributes out = FrameOutputs();
    // The engine's options never add vertices.
    ASSERT_TRUE(builder.Build(FoldedMesh(), out, kCrease, nullptr, 1, 3, 4));
    EXPECT_EQ(Named(out, "position").floats.size(), 15u);
    EXPECT_EQ(Named(out, "indices").ints, FoldedMesh()[1].ints);
    EXPECT_VEC(At(out, "tangent", 1), std::sqrt(0.5f), 0, -std::sqrt(0.5f));

    // The folded face meets face 0 at the edge 1-2: it gets copies 5 (of 2) and 6 (of 1).
    ASSERT_TRUE(builder.Build(FoldedMesh(), out, kCrease, nullptr, 0, 3, 4));
    EXPECT_EQ(Named(out, "indices").ints, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3, 6, 4, 5}));
    EXPECT_EQ(Named(out, "weight").ints, (std::vector<std::int32_t>{10, 11, 12, 13, 14, 12, 11}));
    EXPECT_VEC(At(out, "position", 6), 1, 0, 0);
    EXPECT_VEC(At(out, "tangent", 1), 1, 0, 0);
    EXPECT_VEC(At(out, "tangent", 6), 0, 0, -1);
    EXPECT_VEC(At(out, "tangent", 2), 1, 0, 0);
}

TEST(TangentBuilder, WrapSeamsCopyTheLowerEnd) {
    // Face 0 1 2 jumps in u from 0.9 to 0.1, face 3 4 5 in v from 0 to 0.8.
    Attributes in{Attr("position", {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1}),
                  Attr("indices", {}, {0, 1, 2, 3, 4, 5}),
                  Attr("tex0", {0.9f, 0.2f, 0, 0.1f, 0.2f, 7, 0.95f, 0.6f, 0, 0.2f, 0, 0, 0.3f,
                                0.8f, 0, 0.25f, 0.9f, 0})};
    Builder builder;
    Attributes out = Outputs({"position", "indices", "tex0", "tangent", "binormal"});
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, 4));
    EXPECT_EQ(Named(out, "indices").ints, in[1].ints);
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, Builder::kFixWrapSeams, 4));
    EXPECT_EQ(Named(out, "indices").ints, (std::vector<std::int32_t>{0, 6, 2, 7, 4, 5}));
    EXPECT_VEC(At(out, "tex0", 6), 1.1f, 0.2f, 7);
    EXPECT_VEC(At(out, "tex0", 7), 0.2f, 1, 0);
    EXPECT_VEC(At(out, "position", 6), 2, 0, 0);
    // The vertex left behind takes its copy's frame; the copy keeps its own.
    const D3DXVECTOR3 copy = At(out, "tangent", 6);
    EXPECT_NEAR(D3DXVec3Length(&copy), 1, 1e-5f);
    EXPECT_VEC(At(out, "tangent", 1), copy.x, copy.y, copy.z);
}

TEST(TangentBuilder, CylindricalMappingAboutTheLongestAxis) {
    // About y (extent 4) from the centre at the origin: u from atan2(d.x, d.z), d = centre - p.
    Attributes in{Attr("position", {0, 2, -1, -1, 0, 0, 1, -2, 1}), Attr("indices", {}, {0, 1, 2})};
    Builder builder;
    Attributes out = Outputs({"position", "indices", "tex0"});
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, 4));
    EXPECT_VEC(At(out, "tex0", 0), 0.25f, 1, 1);
    EXPECT_VEC(At(out, "tex0", 1), 0.5f, 0.5f, 1);
    EXPECT_VEC(At(out, "tex0", 2), 0.875f, 0, 1);
    // All in one point: no extent to divide by.
    in[0].floats.assign(9, 3.0f);
    ASSERT_TRUE(builder.Build(in, out, kCrease, nullptr, 1, 3, 4));
    EXPECT_FLOAT_EQ(At(out, "tex0", 0).y, 0.5f);
}

TEST(TangentBuilder, BadIndicesAndShortAttributesAreSafe) {
    // Three vertices; faces naming vertex 7 and -1, a partial face, and short normals and tex0.
    Attributes in{Attr("position", {0, 0, 0, 1, 0, 0, 0, 1, 0, 9}),
                  Attr("indices", {}, {0, 1, 2, 0, 1, 7, -1, 0, 1, 2}), Attr("normal", {0, 0, 1}),
                  Attr("tex0", {0.9f, 0, 0, 0.1f, 0.8f, 0}), Attr("odd", {1, 2, 3, 4, 5, 6, 7})};
    Attributes out = Outputs({"position", "indices", "normal", "tex0", "tangent", "odd"});
    const float zeros[16] = {};
    const D3DXMATRIX flat(zeros); // w = 0 everywhere
    Builder builder;
    ASSERT_TRUE(builder.Build(in, out, kCrease, &flat, 0, 2, 4));
    EXPECT_EQ(Named(out, "indices").ints.size(), 10u);
    EXPECT_EQ(Named(out, "indices").ints[5], 7);
    const std::size_t vertices = Named(out, "position").floats.size() / 3;
    EXPECT_EQ(vertices, 7u); // face 0 jumps twice in u and twice in v
    for (const VertexAttribute& a : out) {
        if (a.name == "indices") continue;
        EXPECT_EQ(a.floats.size(), (a.name == "odd" ? 2 : 3) * vertices) << a.name;
        for (float f : a.floats)
            EXPECT_TRUE(std::isfinite(f)) << a.name;
    }
}

// ---------------------------------------------------------------------------------------------
// The mesh adapter
// ---------------------------------------------------------------------------------------------

namespace {

// A mesh of the declaration with the positions and first texture coordinates given (the other
// bytes zero) and these indices; 32-bit indices when wide.
ID3DXMesh* MakeMesh(const D3DVERTEXELEMENT9* declaration, const Attributes& source, bool wide) {
    const auto& position = source[0].floats;
    const auto& indices = source[1].ints;
    const auto& tex = source[2].floats;
    const DWORD vertices = position.size() / 3, faces = indices.size() / 3;
    ID3DXMesh* mesh = nullptr;
    const DWORD options = D3DXMESH_SYSTEMMEM | (wide ? D3DXMESH_32BIT : 0);
    if (FAILED(D3DXCreateMesh(faces, vertices, options, declaration, g_Object3D.device, &mesh)))
        return nullptr;
    const DWORD stride = mesh->GetNumBytesPerVertex();
    BYTE* data = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&data));
    std::memset(data, 0, vertices * stride);
    for (DWORD v = 0; v < vertices; ++v) {
        std::memcpy(data + v * stride, &position[3 * v], 12);
        std::memcpy(data + v * stride + declaration[1].Offset, &tex[3 * v], 8);
    }
    mesh->UnlockVertexBuffer();
    void* index = nullptr;
    mesh->LockIndexBuffer(0, &index);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (wide)
            static_cast<DWORD*>(index)[i] = indices[i];
        else
            static_cast<WORD*>(index)[i] = WORD(indices[i]);
    }
    mesh->UnlockIndexBuffer();
    return mesh;
}

template <typename T> T Read(ID3DXMesh* mesh, DWORD v, DWORD offset) {
    BYTE* data = nullptr;
    T value{};
    if (SUCCEEDED(mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&data)))) {
        std::memcpy(&value, data + v * mesh->GetNumBytesPerVertex() + offset, sizeof value);
        mesh->UnlockVertexBuffer();
    }
    return value;
}

template <typename T> void Write(ID3DXMesh* mesh, DWORD v, DWORD offset, const T& value) {
    BYTE* data = nullptr;
    ASSERT_TRUE(SUCCEEDED(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&data))));
    std::memcpy(data + v * mesh->GetNumBytesPerVertex() + offset, &value, sizeof value);
    mesh->UnlockVertexBuffer();
}

struct Float2 {
    float u, v;
};

#define FORWARD(type, name, params, args)                                                          \
    STDMETHOD_(type, name) params override {                                                       \
        return inner_->name args;                                                                  \
    }

// Passes every call to a real mesh, but its index buffer cannot be locked, and it cannot be
// cloned when told so (its clones are of its kind).
class FailingMesh final : public ID3DXMesh {
public:
    FailingMesh(ID3DXMesh* inner, bool failClone) : inner_(inner), failClone_(failClone) {
        ++alive;
    }
    static inline int alive = 0;

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        if (--refs_) return refs_;
        inner_->Release();
        --alive;
        delete this;
        return 0;
    }
    STDMETHOD(CloneMeshFVF)(DWORD o, DWORD f, IDirect3DDevice9* d, ID3DXMesh** m) override {
        ID3DXMesh* real = nullptr;
        if (failClone_ || FAILED(inner_->CloneMeshFVF(o, f, d, &real))) return E_FAIL;
        *m = new FailingMesh(real, false);
        return S_OK;
    }
    STDMETHOD(LockIndexBuffer)(DWORD, void**) override { return D3DERR_INVALIDCALL; }
    FORWARD(HRESULT, DrawSubset, (DWORD a), (a))
    FORWARD(DWORD, GetNumFaces, (), ())
    FORWARD(DWORD, GetNumVertices, (), ())
    FORWARD(DWORD, GetFVF, (), ())
    FORWARD(HRESULT, GetDeclaration, (D3DVERTEXELEMENT9 * a), (a))
    FORWARD(DWORD, GetNumBytesPerVertex, (), ())
    FORWARD(DWORD, GetOptions, (), ())
    FORWARD(HRESULT, GetDevice, (IDirect3DDevice9 * *a), (a))
    FORWARD(HRESULT, CloneMesh,
            (DWORD a, const D3DVERTEXELEMENT9* b, IDirect3DDevice9* c, ID3DXMesh** d), (a, b, c, d))
    FORWARD(HRESULT, GetVertexBuffer, (IDirect3DVertexBuffer9 * *a), (a))
    FORWARD(HRESULT, GetIndexBuffer, (IDirect3DIndexBuffer9 * *a), (a))
    FORWARD(HRESULT, LockVertexBuffer, (DWORD a, void** b), (a, b))
    FORWARD(HRESULT, UnlockVertexBuffer, (), ())
    FORWARD(HRESULT, UnlockIndexBuffer, (), ())
    FORWARD(HRESULT, GetAttributeTable, (D3DXATTRIBUTERANGE * a, DWORD* b), (a, b))
    FORWARD(HRESULT, ConvertPointRepsToAdjacency, (const DWORD* a, DWORD* b), (a, b))
    FORWARD(HRESULT, ConvertAdjacencyToPointReps, (const DWORD* a, DWORD* b), (a, b))
    FORWARD(HRESULT, GenerateAdjacency, (FLOAT a, DWORD* b), (a, b))
    FORWARD(HRESULT, UpdateSemantics, (D3DVERTEXELEMENT9 * a), (a))
    FORWARD(HRESULT, LockAttributeBuffer, (DWORD a, DWORD** b), (a, b))
    FORWARD(HRESULT, UnlockAttributeBuffer, (), ())
    FORWARD(HRESULT, Optimize,
            (DWORD a, const DWORD* b, DWORD* c, DWORD* d, ID3DXBuffer** e, ID3DXMesh** f),
            (a, b, c, d, e, f))
    FORWARD(HRESULT, OptimizeInplace,
            (DWORD a, const DWORD* b, DWORD* c, DWORD* d, ID3DXBuffer** e), (a, b, c, d, e))
    FORWARD(HRESULT, SetAttributeTable, (const D3DXATTRIBUTERANGE* a, DWORD b), (a, b))

private:
    ~FailingMesh() = default;
    ID3DXMesh* inner_;
    bool failClone_;
    ULONG refs_ = 1;
};
#undef FORWARD

// Position, first texture coordinates, a lightmap's coordinates, a float colour and the frame,
// as the effect's declaration extender leaves a mesh (normals appended, still zero).
const D3DVERTEXELEMENT9 kExtended[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                       {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                       {0, 20, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 1},
                                       {0, 28, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                       {0, 40, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_COLOR, 0},
                                       {0, 44, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                       {0, 56, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_BINORMAL, 0},
                                       D3DDECL_END()};

// Position, texture coordinates, a packed colour and a tangent.
const D3DVERTEXELEMENT9 kPacked[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                     {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                     {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                     {0, 24, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                     D3DDECL_END()};

std::vector<std::int32_t> IndicesOf(ID3DXMesh* mesh) {
    std::vector<std::int32_t> list;
    void* data = nullptr;
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data))) return list;
    const bool wide = mesh->GetOptions() & D3DXMESH_32BIT;
    for (DWORD i = 0; i < mesh->GetNumFaces() * 3; ++i)
        list.push_back(wide ? std::int32_t(static_cast<DWORD*>(data)[i])
                            : static_cast<WORD*>(data)[i]);
    mesh->UnlockIndexBuffer();
    return list;
}

} // namespace

TEST_F(ObjectScene, TangentFramesFillTheMeshAndKeepItsOtherData) {
    ID3DXMesh* mesh = MakeMesh(kExtended, FlatQuad(), false);
    ASSERT_NE(mesh, nullptr);
    for (DWORD v = 0; v < 4; ++v)
        Write(mesh, v, 20, Float2{7.0f + v, 8});
    mesh->AddRef(); // to watch the reference handed over
    ID3DXMesh* result = ComputeMeshTangentFrames(mesh, false, false, true);
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result, mesh);
    EXPECT_EQ(mesh->Release(), 0u);
    EXPECT_EQ(result->GetNumVertices(), 4u);
    EXPECT_EQ(result->GetNumFaces(), 2u);
    EXPECT_EQ(result->GetNumBytesPerVertex(), 68u);
    for (DWORD v = 0; v < 4; ++v) {
        EXPECT_VEC(Read<D3DXVECTOR3>(result, v, 44), 1, 0, 0);
        EXPECT_VEC(Read<D3DXVECTOR3>(result, v, 56), 0, -1, 0);
        EXPECT_VEC(Read<D3DXVECTOR3>(result, v, 28), 0, 0, 1); // computed, not left zero
        EXPECT_EQ(Read<float>(result, v, 40), 255.0f);
        EXPECT_EQ(Read<Float2>(result, v, 20).u, 7.0f + v);
    }
    EXPECT_EQ(Read<Float2>(result, 1, 12).u, 1.0f);
    EXPECT_EQ(IndicesOf(result), FlatQuad()[1].ints);
    EXPECT_EQ(result->Release(), 0u);
}

TEST_F(ObjectScene, TangentFramesSplitCreasesCopyingWholeVertices) {
    ID3DXMesh* mesh = MakeMesh(kPacked, FoldedMesh(), true);
    ASSERT_NE(mesh, nullptr);
    for (DWORD v = 0; v < 5; ++v)
        Write(mesh, v, 20, DWORD(0xFF102030 + v));
    DWORD* ids = nullptr;
    ASSERT_TRUE(SUCCEEDED(mesh->LockAttributeBuffer(0, &ids)));
    ids[2] = 1;
    mesh->UnlockAttributeBuffer();

    ID3DXMesh* result = ComputeMeshTangentFrames(mesh, true, false, true);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->GetNumVertices(), 7u);
    EXPECT_EQ(result->GetNumFaces(), 3u);
    EXPECT_TRUE(result->GetOptions() & D3DXMESH_32BIT);
    EXPECT_EQ(IndicesOf(result), (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3, 6, 4, 5}));
    EXPECT_EQ(Read<DWORD>(result, 5, 20), 0xFF102032u); // a packed colour is kept
    EXPECT_EQ(Read<DWORD>(result, 6, 20), 0xFF102031u);
    EXPECT_EQ(Read<Float2>(result, 6, 12).u, 1.0f);
    EXPECT_VEC(Read<D3DXVECTOR3>(result, 1, 24), 1, 0, 0);
    EXPECT_VEC(Read<D3DXVECTOR3>(result, 6, 24), 0, 0, -1);
    ASSERT_TRUE(SUCCEEDED(result->LockAttributeBuffer(D3DLOCK_READONLY, &ids)));
    EXPECT_EQ(ids[2], 1u);
    result->UnlockAttributeBuffer();
    EXPECT_EQ(result->Release(), 0u);
}

TEST_F(ObjectScene, TangentFramesGiveTheMeshBackWhenAStepFails) {
    EXPECT_EQ(ComputeMeshTangentFrames(nullptr, false, false, true), nullptr);
    for (bool failClone : {true, false}) {
        ID3DXMesh* real = MakeMesh(kExtended, FlatQuad(), false);
        ASSERT_NE(real, nullptr);
        ID3DXMesh* mesh = new FailingMesh(real, failClone);
        // Not cloned, or its clone's indices unreadable: the mesh as given, its one reference.
        EXPECT_EQ(ComputeMeshTangentFrames(mesh, false, false, true), mesh) << failClone;
        EXPECT_EQ(FailingMesh::alive, 1);
        EXPECT_EQ(Read<D3DXVECTOR3>(mesh, 0, 44).x, 0.0f);
        EXPECT_EQ(mesh->Release(), 0u);
        EXPECT_EQ(FailingMesh::alive, 0);
    }
}
