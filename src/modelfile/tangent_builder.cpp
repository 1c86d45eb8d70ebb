#include "core/win32.h"

#include "modelfile/tangent_builder.h"
#include "core/com_ptr.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>
#include <utility>

namespace {

// ---------------------------------------------------------------------------------------------
// The builder
// ---------------------------------------------------------------------------------------------

using Vec = D3DXVECTOR3;
using CopyList = std::vector<std::pair<std::size_t, std::size_t>>; // (vertex, its copy)

constexpr float kDegenerateUv = 0.000001f;
constexpr float kMinDenominator = 0.0001f;

// A tangent frame of one face.
struct Frame {
    Vec tangent{0, 0, 0}, binormal{0, 0, 0}, normal{0, 0, 0};
};

// The output while the builder works on it. The attribute pointers stay valid because no
// attribute is added to the output once this is set up; null when no step of this build uses it.
struct Work {
    std::vector<VertexAttribute>* out = nullptr;
    VertexAttribute* indices = nullptr;
    VertexAttribute* position = nullptr;
    VertexAttribute* normal = nullptr;
    VertexAttribute* tex0 = nullptr;
    VertexAttribute* tangent = nullptr;
    VertexAttribute* binormal = nullptr;
    // Entries a vertex of each output attribute, so that added vertices copy whole entries.
    std::vector<std::size_t> floatWidth, intWidth;
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    // Faces whose three corners name vertices; the others take no part.
    std::vector<char> usable;
};

// A zero vector stays zero rather than becoming NaN.
Vec Normalised(const Vec& v) {
    const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    if (!(length > 0)) return Vec(0, 0, 0);
    return Vec(float(v.x / length), float(v.y / length), float(v.z / length));
}

Vec Cross(const Vec& a, const Vec& b) {
    return Vec(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Dot(const Vec& a, const Vec& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float& Component(Vec& v, int c) {
    return c == 0 ? v.x : c == 1 ? v.y : v.z;
}

float Component(const Vec& v, int c) {
    return c == 0 ? v.x : c == 1 ? v.y : v.z;
}

Vec Triple(const VertexAttribute* a, std::size_t v) {
    return Vec(a->floats[3 * v], a->floats[3 * v + 1], a->floats[3 * v + 2]);
}

void SetTriple(VertexAttribute* a, std::size_t v, const Vec& value) {
    a->floats[3 * v] = value.x;
    a->floats[3 * v + 1] = value.y;
    a->floats[3 * v + 2] = value.z;
}

void AddTriple(VertexAttribute* a, std::size_t v, const Vec& value) {
    SetTriple(a, v, Triple(a, v) + value);
}

// The first attribute of that name, or -1.
int Find(const std::vector<VertexAttribute>& list, const char* name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) return static_cast<int>(i);
    return -1;
}

VertexAttribute* FindIn(std::vector<VertexAttribute>& list, const char* name) {
    const int i = Find(list, name);
    return i < 0 ? nullptr : &list[i];
}

void CopyInputToOutput(const std::vector<VertexAttribute>& input,
                       std::vector<VertexAttribute>& output) {
    for (VertexAttribute& out : output) {
        out.ints.clear();
        out.floats.clear();
        const int i = Find(input, out.name.c_str());
        if (i >= 0) out = input[i];
    }
}

// An added output attribute starts as the input's attribute of its name, when there is one.
void AppendIfMissing(std::vector<VertexAttribute>& output,
                     const std::vector<VertexAttribute>& input, const char* name) {
    if (Find(output, name) >= 0) return;
    const int i = Find(input, name);
    output.push_back(i >= 0 ? input[i] : VertexAttribute{name, {}, {}});
}

bool HoldsThreeFloats(const std::string& name) {
    return name == "position" || name == "normal" || name == "tex0" || name == "tangent" ||
           name == "binormal";
}

// Gives every per-vertex attribute whole entries for each vertex: the three-float attributes are
// cut or padded with zeros to the vertex count, others lose a partial last entry.
void ShapeAttributes(Work& w) {
    const std::size_t n = w.vertexCount;
    w.floatWidth.assign(w.out->size(), 0);
    w.intWidth.assign(w.out->size(), 0);
    for (std::size_t i = 0; i < w.out->size(); ++i) {
        VertexAttribute& a = (*w.out)[i];
        if (a.name == "indices") continue;
        if (HoldsThreeFloats(a.name)) a.floats.resize(3 * n, 0.0f);
        if (n == 0) continue;
        w.floatWidth[i] = a.floats.size() / n;
        w.intWidth[i] = a.ints.size() / n;
        if (w.floatWidth[i]) a.floats.resize(w.floatWidth[i] * n);
        if (w.intWidth[i]) a.ints.resize(w.intWidth[i] * n);
    }
}

void MarkUsableFaces(Work& w) {
    const std::vector<std::int32_t>& idx = w.indices->ints;
    w.faceCount = idx.size() / 3;
    w.usable.assign(w.faceCount, 0);
    for (std::size_t f = 0; f < w.faceCount; ++f) {
        bool inside = true;
        for (int k = 0; k < 3; ++k)
            inside = inside && idx[3 * f + k] >= 0 &&
                     static_cast<std::size_t>(idx[3 * f + k]) < w.vertexCount;
        w.usable[f] = inside;
    }
}

std::size_t Corner(const Work& w, std::size_t f, int k) {
    return static_cast<std::size_t>(w.indices->ints[3 * f + k]);
}

// Appends a copy of vertex v to every output attribute but "indices"; returns the copy's index.
std::size_t AddVertexCopy(Work& w, std::size_t v) {
    for (std::size_t i = 0; i < w.out->size(); ++i) {
        VertexAttribute& a = (*w.out)[i];
        for (std::size_t j = 0; j < w.floatWidth[i]; ++j) {
            const float value = a.floats[v * w.floatWidth[i] + j];
            a.floats.push_back(value);
        }
        for (std::size_t j = 0; j < w.intWidth[i]; ++j) {
            const std::int32_t value = a.ints[v * w.intWidth[i] + j];
            a.ints.push_back(value);
        }
    }
    return w.vertexCount++;
}

// Face normals added at their corners: each face by the sine of its angle at its first corner
// (weighted), or by one.
void ComputeNormals(Work& w, bool weighted) {
    std::fill(w.normal->floats.begin(), w.normal->floats.end(), 0.0f);
    for (std::size_t f = 0; f < w.faceCount; ++f) {
        if (!w.usable[f]) continue;
        const Vec p0 = Triple(w.position, Corner(w, f, 0));
        const Vec a = Normalised(Triple(w.position, Corner(w, f, 1)) - p0);
        const Vec b = Normalised(Triple(w.position, Corner(w, f, 2)) - p0);
        Vec n = Cross(a, b);
        if (!weighted) n = Normalised(n);
        for (int k = 0; k < 3; ++k)
            AddTriple(w.normal, Corner(w, f, k), n);
    }
    for (std::size_t v = 0; v < w.vertexCount; ++v)
        SetTriple(w.normal, v, Normalised(Triple(w.normal, v)));
}

// Texture coordinates from a cylinder about the axis of the positions' greatest extent. Around
// axis a, u is the angle of the components (a + 1, a + 2) taken cyclically: atan2(d[a + 2],
// d[a + 1]), so atan2(z, y) about x, atan2(x, z) about y and atan2(y, x) about z.
void CylindricalMapping(Work& w) {
    Vec low(FLT_MAX, FLT_MAX, FLT_MAX), high(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (std::size_t v = 0; v < w.vertexCount; ++v) {
        const Vec p = Triple(w.position, v);
        low = Vec(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high = Vec(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    const Vec extent = high - low;
    const Vec centre = low * 0.5f + high * 0.5f;
    int axis = 0;
    for (int c = 1; c < 3; ++c)
        if (Component(extent, c) > Component(extent, axis)) axis = c;
    const float length = Component(extent, axis);
    for (std::size_t v = 0; v < w.vertexCount; ++v) {
        const Vec d = centre - Triple(w.position, v);
        float across = Component(d, (axis + 1) % 3);
        if (std::fabs(across) < kMinDenominator) across = std::copysign(kMinDenominator, across);
        float u = (std::atan2(Component(d, (axis + 2) % 3), across) / D3DX_PI + 1.0f) * 0.5f;
        // Positions all in one plane across the axis sit at the cylinder's middle.
        float height = length > 0 ? Component(d, axis) / length + 0.5f : 0.5f;
        u = std::clamp(u, 0.0f, 1.0f) - 0.25f;
        if (u < 0) u += 1.0f;
        height = std::clamp(height, 0.0f, 1.0f);
        SetTriple(w.tex0, v, Vec(u, 1.0f - height, 1.0f));
    }
}

// A triangle whose texture coordinate c (0 = u, 1 = v) jumps by half or more along an edge gets a
// copy of the lower end, moved up by one.
void FixWrapSeams(Work& w, int c, CopyList& copies) {
    std::vector<float>& tex = w.tex0->floats;
    for (std::size_t f = 0; f < w.faceCount; ++f) {
        if (!w.usable[f]) continue;
        for (int k = 0; k < 3; ++k) {
            std::int32_t& a = w.indices->ints[3 * f + k];
            std::int32_t& b = w.indices->ints[3 * f + (k + 1) % 3];
            const float ca = tex[3 * a + c], cb = tex[3 * b + c];
            if (!(std::fabs(ca - cb) >= 0.5f)) continue;
            std::int32_t& lower = ca < cb ? a : b;
            const std::size_t copy = AddVertexCopy(w, static_cast<std::size_t>(lower));
            tex[3 * copy + c] += 1.0f;
            copies.emplace_back(static_cast<std::size_t>(lower), copy);
            lower = static_cast<std::int32_t>(copy);
        }
    }
}

// D3DXVec3TransformCoord, but a zero w leaves the coordinates undivided instead of infinite.
void TransformTexCoords(Work& w, const D3DXMATRIX& m) {
    for (std::size_t v = 0; v < w.vertexCount; ++v) {
        const Vec t = Triple(w.tex0, v);
        Vec r(t.x * m._11 + t.y * m._21 + t.z * m._31 + m._41,
              t.x * m._12 + t.y * m._22 + t.z * m._32 + m._42,
              t.x * m._13 + t.y * m._23 + t.z * m._33 + m._43);
        const float h = t.x * m._14 + t.y * m._24 + t.z * m._34 + m._44;
        if (h != 0) r /= h;
        SetTriple(w.tex0, v, r);
    }
}

// Per axis c, the plane through the corners' (c, s, t) gives dc/ds and dc/dt; a face whose
// texture coordinates span no area adds nothing.
Frame FaceFrame(const Work& w, std::size_t f) {
    const std::size_t i0 = Corner(w, f, 0), i1 = Corner(w, f, 1), i2 = Corner(w, f, 2);
    const Vec p0 = Triple(w.position, i0), p1 = Triple(w.position, i1), p2 = Triple(w.position, i2);
    const Vec t0 = Triple(w.tex0, i0), t1 = Triple(w.tex0, i1), t2 = Triple(w.tex0, i2);
    Frame frame;
    for (int c = 0; c < 3; ++c) {
        const Vec e1(Component(p1, c) - Component(p0, c), t1.x - t0.x, t1.y - t0.y);
        const Vec e2(Component(p2, c) - Component(p0, c), t2.x - t0.x, t2.y - t0.y);
        const Vec q = Cross(e1, e2);
        if (std::fabs(q.x) <= kDegenerateUv) continue;
        Component(frame.tangent, c) = -q.y / q.x;
        Component(frame.binormal, c) = -q.z / q.x;
    }
    frame.tangent = Normalised(frame.tangent);
    frame.binormal = Normalised(frame.binormal);
    frame.normal = Normalised(Cross(frame.tangent, frame.binormal));
    return frame;
}

bool Creased(const Frame& a, const Frame& b, float cosLimit) {
    return std::fabs(Dot(a.tangent, b.tangent)) < cosLimit ||
           std::fabs(Dot(a.binormal, b.binormal)) < cosLimit ||
           std::fabs(Dot(a.normal, b.normal)) < cosLimit;
}

// A face whose frame bends away from the first face of a shared edge gets its own copies of the
// edge's two vertices.
void SplitCreases(Work& w, const std::vector<Frame>& frames, float cosLimit) {
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> firstFace;
    for (std::size_t f = 0; f < w.faceCount; ++f) {
        if (!w.usable[f]) continue;
        for (int k = 0; k < 3; ++k) {
            std::int32_t& a = w.indices->ints[3 * f + k];
            std::int32_t& b = w.indices->ints[3 * f + (k + 1) % 3];
            const auto [found, first] = firstFace.emplace(std::minmax(a, b), f);
            if (first || !Creased(frames[found->second], frames[f], cosLimit)) continue;
            a = static_cast<std::int32_t>(AddVertexCopy(w, static_cast<std::size_t>(a)));
            b = static_cast<std::int32_t>(AddVertexCopy(w, static_cast<std::size_t>(b)));
        }
    }
}

// Face frames summed at their corners; a seam copy's sums also count for the vertex it was first
// made from (a copy of a copy reaches the original), while the copy keeps its own.
void AccumulateFrames(Work& w, const std::vector<Frame>& frames, const CopyList& seamCopies) {
    std::vector<Vec> tangent(w.vertexCount, Vec(0, 0, 0)), binormal(w.vertexCount, Vec(0, 0, 0));
    for (std::size_t f = 0; f < w.faceCount; ++f) {
        if (!w.usable[f]) continue;
        for (int k = 0; k < 3; ++k) {
            tangent[Corner(w, f, k)] += frames[f].tangent;
            binormal[Corner(w, f, k)] += frames[f].binormal;
        }
    }
    std::vector<std::size_t> root(w.vertexCount);
    std::iota(root.begin(), root.end(), std::size_t{0});
    for (const auto& [vertex, copy] : seamCopies)
        root[copy] = root[vertex];
    for (const auto& [vertex, copy] : seamCopies) {
        tangent[root[copy]] += tangent[copy];
        binormal[root[copy]] += binormal[copy];
    }
    for (std::size_t v = 0; v < w.vertexCount; ++v) {
        SetTriple(w.tangent, v, Normalised(tangent[v]));
        SetTriple(w.binormal, v, Normalised(binormal[v]));
    }
}

void BuildFrames(Work& w, bool split, float creaseAngle, const CopyList& seamCopies) {
    std::vector<Frame> frames(w.faceCount);
    for (std::size_t f = 0; f < w.faceCount; ++f)
        if (w.usable[f]) frames[f] = FaceFrame(w, f);
    if (split) SplitCreases(w, frames, std::cos(creaseAngle));
    AccumulateFrames(w, frames, seamCopies);
}

// Adds the attributes the work needs that the output lacks, in the order the steps add them, and
// points the work at them.
void PrepareOutput(Work& w, const std::vector<VertexAttribute>& input,
                   std::vector<VertexAttribute>& output, bool wantNormal, bool frames) {
    if (wantNormal) AppendIfMissing(output, input, "normal");
    // Frames read texture coordinates, so the output holds them even when it did not ask.
    if (frames) AppendIfMissing(output, input, "tex0");
    if (frames) AppendIfMissing(output, input, "tangent");
    if (frames) AppendIfMissing(output, input, "binormal");
    w.out = &output;
    w.indices = FindIn(output, "indices");
    w.position = FindIn(output, "position");
    w.normal = wantNormal ? FindIn(output, "normal") : nullptr;
    w.tex0 = FindIn(output, "tex0");
    w.tangent = frames ? FindIn(output, "tangent") : nullptr;
    w.binormal = frames ? FindIn(output, "binormal") : nullptr;
    w.vertexCount = w.position->floats.size() / 3;
    ShapeAttributes(w);
    MarkUsableFaces(w);
}

} // namespace

bool MeshTangentBuilder::Build(const std::vector<VertexAttribute>& input,
                               std::vector<VertexAttribute>& output, float creaseAngle,
                               const D3DXMATRIX* textureMatrix, int tangentSplitting,
                               int cylindricalWrap, int normalWeighting) {
    CopyInputToOutput(input, output);
    const std::pair<bool, const char*> checks[] = {
        {Find(input, "indices") >= 0, "Missing indices from input"},
        {Find(output, "indices") >= 0, "Missing indices from output"},
        {Find(input, "position") >= 0, "Missing position from input"},
        {Find(output, "position") >= 0, "Missing position from output"},
    };
    for (const auto& [present, message] : checks) {
        if (present) continue;
        messages_.emplace_back(message);
        return false;
    }
    const bool frames = Find(output, "tangent") >= 0 || Find(output, "binormal") >= 0;
    const bool wantNormal = Find(input, "normal") < 0 && (Find(output, "normal") >= 0 || frames);
    Work w;
    PrepareOutput(w, input, output, wantNormal, frames);
    if (wantNormal) ComputeNormals(w, normalWeighting != kEqualNormals);
    if (w.tex0 && Find(input, "tex0") < 0) CylindricalMapping(w);
    CopyList seamCopies;
    const bool fixSeams = cylindricalWrap == kFixWrapSeams && w.tex0;
    if (fixSeams) FixWrapSeams(w, 0, seamCopies);
    if (fixSeams) FixWrapSeams(w, 1, seamCopies);
    if (textureMatrix && w.tex0) TransformTexCoords(w, *textureMatrix);
    if (frames) BuildFrames(w, tangentSplitting == kSplitAtCreases, creaseAngle, seamCopies);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The mesh adapter
// ---------------------------------------------------------------------------------------------

namespace {

constexpr DWORD kSystemMemory = D3DXMESH_SYSTEMMEM; // 0x110
constexpr DWORD kWorkingFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
constexpr float kAdapterCreaseAngle = 1.0471976f; // 60 degrees
constexpr float kColourValue = 255.0f;
// Names each vertex's source vertex, so that added vertices take the source's other elements.
constexpr const char* kSourceAttribute = "source";

// The working copy's vertex (kWorkingFormat).
struct WorkingVertex {
    float position[3];
    float normal[3];
    float uv[2];
};

// Where the builder's values go in a vertex of the result; floats = 0 when nothing is written.
struct Slot {
    DWORD offset = 0;
    int floats = 0;
};
struct ResultLayout {
    Slot position, normal, tex0, colour, tangent, binormal;
};

// FLOAT1 to FLOAT4 are types 0 to 3; other types hold no plain floats.
int FloatsOf(BYTE type) {
    return type <= D3DDECLTYPE_FLOAT4 ? type + 1 : 0;
}

// Elements of stream 0 and usage index 0, float-typed and inside the vertex; others are kept as
// the mesh had them (a packed colour is not overwritten with a float's bits).
ResultLayout FindLayout(const D3DVERTEXELEMENT9* declaration, DWORD stride) {
    ResultLayout layout;
    for (int i = 0; i < MAX_FVF_DECL_SIZE && declaration[i].Stream != 0xFF; ++i) {
        const D3DVERTEXELEMENT9& e = declaration[i];
        const Slot slot{e.Offset, FloatsOf(e.Type)};
        if (e.Stream != 0 || e.UsageIndex != 0 || !slot.floats) continue;
        if (e.Offset + 4u * slot.floats > stride) continue;
        Slot* target = e.Usage == D3DDECLUSAGE_POSITION   ? &layout.position
                       : e.Usage == D3DDECLUSAGE_NORMAL   ? &layout.normal
                       : e.Usage == D3DDECLUSAGE_TEXCOORD ? &layout.tex0
                       : e.Usage == D3DDECLUSAGE_COLOR    ? &layout.colour
                       : e.Usage == D3DDECLUSAGE_TANGENT  ? &layout.tangent
                       : e.Usage == D3DDECLUSAGE_BINORMAL ? &layout.binormal
                                                          : nullptr;
        if (target && !target->floats) *target = slot;
    }
    return layout;
}

bool Wide(ID3DXMesh* mesh) {
    return (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
}

bool ReadWorkingVertices(ID3DXMesh* working, std::vector<VertexAttribute>& input) {
    const DWORD count = working->GetNumVertices(), stride = working->GetNumBytesPerVertex();
    void* data = nullptr;
    if (stride < sizeof(WorkingVertex) ||
        FAILED(working->LockVertexBuffer(D3DLOCK_READONLY, &data)) || !data)
        return false;
    VertexAttribute &position = input[0], &tex0 = input[2], &normal = input[3], &source = input[4];
    bool anyNormal = false;
    for (DWORD v = 0; v < count; ++v) {
        WorkingVertex vertex;
        std::memcpy(&vertex, static_cast<const BYTE*>(data) + std::size_t(v) * stride,
                    sizeof vertex);
        position.floats.insert(position.floats.end(), vertex.position, vertex.position + 3);
        normal.floats.insert(normal.floats.end(), vertex.normal, vertex.normal + 3);
        tex0.floats.insert(tex0.floats.end(), {vertex.uv[0], vertex.uv[1], 0.0f});
        source.ints.push_back(static_cast<std::int32_t>(v));
        anyNormal = anyNormal || vertex.normal[0] || vertex.normal[1] || vertex.normal[2];
    }
    working->UnlockVertexBuffer();
    // A normal element the caller has just appended holds zeros: let the builder compute them.
    if (!anyNormal) input.erase(input.begin() + 3);
    return true;
}

bool ReadWorkingIndices(ID3DXMesh* working, std::vector<std::int32_t>& indices) {
    const std::size_t count = std::size_t(working->GetNumFaces()) * 3;
    void* data = nullptr;
    if (FAILED(working->LockIndexBuffer(D3DLOCK_READONLY, &data)) || !data) return false;
    const bool wide = Wide(working);
    for (std::size_t i = 0; i < count; ++i)
        indices.push_back(wide ? static_cast<std::int32_t>(static_cast<DWORD*>(data)[i])
                               : static_cast<WORD*>(data)[i]);
    working->UnlockIndexBuffer();
    return true;
}

// The builder's input from the working copy; false when its buffers cannot be read.
bool ReadWorkingMesh(ID3DXMesh* working, std::vector<VertexAttribute>& input) {
    for (const char* name : {"position", "indices", "tex0", "normal", kSourceAttribute})
        input.push_back(VertexAttribute{name, {}, {}});
    return ReadWorkingVertices(working, input) && ReadWorkingIndices(working, input[1].ints);
}

// Copies every vertex of the result from its source vertex, whole.
bool CopySourceVertices(ID3DXMesh* source, ID3DXMesh* result, const std::vector<std::int32_t>& of) {
    const DWORD stride = source->GetNumBytesPerVertex(), count = source->GetNumVertices();
    if (stride != result->GetNumBytesPerVertex() || of.size() != result->GetNumVertices())
        return false;
    void *from = nullptr, *to = nullptr;
    if (FAILED(source->LockVertexBuffer(D3DLOCK_READONLY, &from)) || !from) return false;
    const bool locked = SUCCEEDED(result->LockVertexBuffer(0, &to)) && to;
    for (std::size_t v = 0; locked && v < of.size(); ++v) {
        BYTE* vertex = static_cast<BYTE*>(to) + v * stride;
        if (of[v] >= 0 && DWORD(of[v]) < count)
            std::memcpy(vertex, static_cast<const BYTE*>(from) + std::size_t(of[v]) * stride,
                        stride);
        else
            std::memset(vertex, 0, stride);
    }
    if (locked) result->UnlockVertexBuffer();
    source->UnlockVertexBuffer();
    return locked;
}

// The faces keep their subsets.
bool CopyAttributeIds(ID3DXMesh* source, ID3DXMesh* result) {
    if (source->GetNumFaces() != result->GetNumFaces()) return true;
    DWORD *from = nullptr, *to = nullptr;
    if (FAILED(source->LockAttributeBuffer(D3DLOCK_READONLY, &from)) || !from) return false;
    const bool locked = SUCCEEDED(result->LockAttributeBuffer(0, &to)) && to;
    if (locked) std::copy(from, from + source->GetNumFaces(), to);
    if (locked) result->UnlockAttributeBuffer();
    source->UnlockAttributeBuffer();
    return locked;
}

// A mesh of the source's declaration with the builder's counts, holding the source's vertex data
// (vertex v taken from source vertex of[v]); null when none can be made.
ID3DXMesh* MakeResult(ID3DXMesh* source, const D3DVERTEXELEMENT9* declaration,
                      IDirect3DDevice9* device, DWORD vertices, DWORD faces,
                      const std::vector<std::int32_t>& of) {
    ComPtr<ID3DXMesh> result;
    if (vertices == source->GetNumVertices() && faces == source->GetNumFaces()) {
        const DWORD options = kSystemMemory | (Wide(source) ? D3DXMESH_32BIT : 0);
        if (FAILED(source->CloneMesh(options, declaration, device, result.PutAddress())))
            return nullptr;
        return result.Detach();
    }
    const bool wide = Wide(source) || vertices > 0xFFFF;
    const DWORD options = kSystemMemory | (wide ? D3DXMESH_32BIT : 0);
    if (vertices == 0 || faces == 0 ||
        FAILED(
            D3DXCreateMesh(faces, vertices, options, declaration, device, result.PutAddress())) ||
        !result || !CopySourceVertices(source, result, of) || !CopyAttributeIds(source, result))
        return nullptr;
    return result.Detach();
}

void WriteSlot(BYTE* vertex, const Slot& slot, const std::vector<float>* values, std::size_t v,
               int count) {
    if (!slot.floats || !values || values->size() < (v + 1) * 3) return;
    std::memcpy(vertex + slot.offset, values->data() + v * 3, 4 * std::min(slot.floats, count));
}

bool WriteVertices(ID3DXMesh* result, const ResultLayout& layout,
                   const std::vector<VertexAttribute>& output) {
    auto floats = [&](const char* name) {
        const int i = Find(output, name);
        return i < 0 ? nullptr : &output[i].floats;
    };
    const std::vector<float>*position = floats("position"), *normal = floats("normal"),
          *tex0 = floats("tex0"), *tangent = floats("tangent"), *binormal = floats("binormal");
    const DWORD stride = result->GetNumBytesPerVertex();
    void* data = nullptr;
    if (FAILED(result->LockVertexBuffer(0, &data)) || !data) return false;
    const float colour[4] = {kColourValue, kColourValue, kColourValue, kColourValue};
    for (DWORD v = 0; v < result->GetNumVertices(); ++v) {
        BYTE* vertex = static_cast<BYTE*>(data) + std::size_t(v) * stride;
        WriteSlot(vertex, layout.position, position, v, 3);
        WriteSlot(vertex, layout.normal, normal, v, 3);
        WriteSlot(vertex, layout.tex0, tex0, v, 2);
        WriteSlot(vertex, layout.tangent, tangent, v, 3);
        WriteSlot(vertex, layout.binormal, binormal, v, 3);
        if (layout.colour.floats)
            std::memcpy(vertex + layout.colour.offset, colour, 4 * layout.colour.floats);
    }
    result->UnlockVertexBuffer();
    return true;
}

bool WriteIndices(ID3DXMesh* result, const std::vector<std::int32_t>& indices) {
    const std::size_t count = std::min(indices.size(), std::size_t(result->GetNumFaces()) * 3);
    void* data = nullptr;
    if (FAILED(result->LockIndexBuffer(0, &data)) || !data) return false;
    const bool wide = Wide(result);
    for (std::size_t i = 0; i < count; ++i) {
        if (wide)
            static_cast<DWORD*>(data)[i] = static_cast<DWORD>(indices[i]);
        else
            static_cast<WORD*>(data)[i] = static_cast<WORD>(indices[i]);
    }
    result->UnlockIndexBuffer();
    return true;
}

// The frames of the source mesh in a new mesh; null when a step fails.
ID3DXMesh* BuildTangentMesh(ID3DXMesh* source, const D3DVERTEXELEMENT9* declaration,
                            IDirect3DDevice9* device, const int options[3]) {
    std::vector<VertexAttribute> input;
    {
        ComPtr<ID3DXMesh> working;
        const DWORD format = kSystemMemory | (Wide(source) ? D3DXMESH_32BIT : 0);
        if (FAILED(source->CloneMeshFVF(format, kWorkingFormat, device, working.PutAddress())) ||
            !working || !ReadWorkingMesh(working, input))
            return nullptr;
    }
    std::vector<VertexAttribute> output;
    for (const char* name :
         {"position", "indices", "tex0", "normal", "tangent", "binormal", kSourceAttribute})
        output.push_back(VertexAttribute{name, {}, {}});
    MeshTangentBuilder builder;
    if (!builder.Build(input, output, kAdapterCreaseAngle, nullptr, options[0], options[1],
                       options[2]))
        return nullptr;
    const auto vertices = static_cast<DWORD>(output[0].floats.size() / 3);
    const auto faces = static_cast<DWORD>(output[1].ints.size() / 3);
    const std::vector<std::int32_t>& of = output[Find(output, kSourceAttribute)].ints;
    ComPtr<ID3DXMesh> result(MakeResult(source, declaration, device, vertices, faces, of));
    if (!result ||
        !WriteVertices(result, FindLayout(declaration, result->GetNumBytesPerVertex()), output) ||
        !WriteIndices(result, output[1].ints))
        return nullptr;
    return result.Detach();
}

} // namespace

ID3DXMesh* ComputeMeshTangentFrames(ID3DXMesh* mesh, bool splitAtCreases, bool fixWrap,
                                    bool weightNormals) {
    if (!mesh) return nullptr;
    // The caller's mesh is kept until the new one is whole: it is the answer when a step fails.
    ComPtr<ID3DXMesh> source(mesh);
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ComPtr<IDirect3DDevice9> device;
    if (FAILED(source->GetDeclaration(declaration)) ||
        FAILED(source->GetDevice(device.PutAddress())) || !device)
        return source.Detach();
    const int options[3] = {
        splitAtCreases ? MeshTangentBuilder::kSplitAtCreases : MeshTangentBuilder::kNeverSplit,
        fixWrap ? MeshTangentBuilder::kFixWrapSeams : MeshTangentBuilder::kLeaveWrapSeams,
        weightNormals ? MeshTangentBuilder::kWeightedNormals : MeshTangentBuilder::kEqualNormals};
    ID3DXMesh* result = BuildTangentMesh(source, declaration, device, options);
    return result ? result : source.Detach();
}
