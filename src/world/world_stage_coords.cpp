#include "core/win32.h"

#include "world/world_clock.h"
#include "world/world_render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;

// The surface vertices a stage changes: a polygon's or mesh's run of the level's vertices, or a
// patch's grid.
struct FaceVertices {
    WorldVertex* first = nullptr;
    std::size_t count = 0;
    bool patch = false;
};

FaceVertices VerticesOf(WorldLevel& level, std::int32_t f) {
    if (f < 0 || static_cast<std::size_t>(f) >= level.faces.size()) return {};
    const WorldFaceRecord& face = level.faces[static_cast<std::size_t>(f)];
    if (face.type == kFacePatch) {
        if (face.patch < 0 || static_cast<std::size_t>(face.patch) >= level.patches.size())
            return {};
        PatchRecord& patch = level.patches[static_cast<std::size_t>(face.patch)];
        return {patch.vertices.data(), patch.vertices.size(), true};
    }
    if (face.type != kFacePolygon && face.type != kFaceMesh) return {};
    if (face.firstVertex < 0 || face.vertexCount <= 0 ||
        static_cast<std::size_t>(face.firstVertex) + face.vertexCount > level.vertices.size())
        return {};
    return {level.vertices.data() + face.firstVertex, static_cast<std::size_t>(face.vertexCount),
            false};
}

// A value a modifier computed, as the float stored: one that is infinite, not a number or below
// the smallest normal float becomes 0. Left so, it would feed every later modifier and the device
// (arithmetic on such values runs some 200 times slower here); a rotation squares coordinates, so
// ten in a row make them infinite. No real level's values are ever such, so these draw as before.
// The bits are read because the x87 unit holds values past the float range in its registers.
float Kept(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint32_t exponent = (bits >> 23) & 0xFFu;
    if (exponent == 0 || exponent == 0xFFu) bits = 0;
    float kept;
    std::memcpy(&kept, &bits, sizeof kept);
    return kept;
}

// Called before each change: the first one of a face keeps what it changes.
void BeginChange(std::int32_t f) {
    if (WorldRenderData().coordinatesChanged) return;
    SaveFaceTexCoords(f);
    WorldRenderData().coordinatesChanged = true;
}

void Environment(const FaceVertices& v) {
    const D3DXVECTOR3 eye = WorldRenderData().environmentEye;
    for (std::size_t i = 0; i < v.count; ++i) {
        WorldVertex& vertex = v.first[i];
        D3DXVECTOR3 e = eye - vertex.position;
        D3DXVec3Normalize(&e, &e);
        vertex.u = Kept(e.x + vertex.normal.x);
        vertex.v = Kept(e.y + vertex.normal.y);
    }
}

// An angle past the float range is 0, which rotates nothing.
float RotationAngle(float rate) {
    return Kept(static_cast<float>(WorldSeconds() * rate) * kDegreesToRadians);
}

// The rotation's matrix at this moment, the same for every vertex of the face: made once, not
// once a vertex (which cost a microsecond a vertex).
D3DXMATRIX RotationMatrix(float rate) {
    D3DXMATRIX x, y, z, scale, move;
    D3DXMatrixRotationX(&x, RotationAngle(rate));
    D3DXMatrixRotationY(&y, 0.0f);
    D3DXMatrixRotationZ(&z, 1.0f);
    D3DXMatrixScaling(&scale, 1.0f, 1.0f, 1.0f);
    D3DXMatrixTranslation(&move, 0.5f, 0.5f, 0.0f);
    return x * y * z * scale * move;
}

void Rotate(const FaceVertices& v, float rate) {
    const D3DXMATRIX m = RotationMatrix(rate);
    for (std::size_t i = 0; i < v.count; ++i) {
        WorldVertex& vertex = v.first[i];
        const D3DXVECTOR3 st(vertex.u, vertex.v, 0.0f);
        D3DXVECTOR3 o;
        D3DXVec3TransformCoord(&o, &st, &m);
        vertex.u = Kept((o.x + 1.0f) * vertex.u);
        vertex.v = Kept((o.y + 1.0f) * vertex.v);
    }
}

// A scroll offset brought to at most 1 (whole turns of a repeating texture change nothing).
float Reduced(float offset) {
    return offset > 1.0f ? offset - std::ceil(offset - 1.0f) : offset;
}

void ApplyModifier(std::int32_t f, const FaceVertices& v, const ShaderTexMod& mod) {
    if (!v.patch && mod.rotation != 0.0f && RotationAngle(mod.rotation) != 0.0f) {
        BeginChange(f);
        Rotate(v, mod.rotation);
    }
    if (mod.scaleS != 0.0f || mod.scaleT != 0.0f) {
        BeginChange(f);
        for (std::size_t i = 0; i < v.count; ++i) {
            v.first[i].u = Kept(v.first[i].u * mod.scaleS);
            v.first[i].v = Kept(v.first[i].v * mod.scaleT);
        }
    }
    const double wrapped = WrappedWorldSeconds();
    float a = static_cast<float>(wrapped * mod.scrollS);
    float b = static_cast<float>(wrapped * mod.scrollT);
    if (!v.patch) a = Reduced(a), b = Reduced(b);
    if (a != 0.0f || b != 0.0f) {
        BeginChange(f);
        for (std::size_t i = 0; i < v.count; ++i) {
            v.first[i].u = Kept(v.first[i].u + a);
            v.first[i].v = Kept(v.first[i].v + b);
        }
    }
}

} // namespace

void UpdateShaderStages(std::int32_t face, const ShaderRecord&, const ShaderStage& stage) {
    const FaceVertices v = VerticesOf(WorldLevelData(), face);
    if (!v.first) return;
    if (stage.textureCoordinates == 2) {
        BeginChange(face);
        Environment(v);
    }
    const std::size_t mods = std::min<std::size_t>(stage.modifierCount, stage.modifiers.size());
    for (std::size_t m = 0; m < mods; ++m)
        ApplyModifier(face, v, stage.modifiers[m]);
}

void SaveFaceTexCoords(std::int32_t face) {
    const FaceVertices v = VerticesOf(WorldLevelData(), face);
    // Polygons and meshes are restored from the level's own vertex lump.
    if (!v.patch || !v.first) return;
    WorldRenderState& state = WorldRenderData();
    // As large as this patch: a fixed area would overflow on a finely divided curve.
    if (state.savedS.size() < v.count) {
        state.savedS.resize(v.count);
        state.savedT.resize(v.count);
    }
    for (std::size_t i = 0; i < v.count; ++i) {
        state.savedS[i] = v.first[i].u;
        state.savedT[i] = v.first[i].v;
    }
}

void RestoreFaceTexCoords(std::int32_t face) {
    WorldRenderState& state = WorldRenderData();
    if (!state.coordinatesChanged) return;
    state.coordinatesChanged = false;
    WorldLevel& level = WorldLevelData();
    const FaceVertices v = VerticesOf(level, face);
    if (!v.first) return;
    if (v.patch) {
        for (std::size_t i = 0; i < v.count && i < state.savedS.size(); ++i) {
            v.first[i].u = state.savedS[i];
            v.first[i].v = state.savedT[i];
        }
        return;
    }
    const std::size_t first = static_cast<std::size_t>(v.first - level.vertices.data());
    for (std::size_t i = 0; i < v.count && first + i < level.file.vertices.size(); ++i) {
        v.first[i].u = level.file.vertices[first + i].texture[0];
        v.first[i].v = level.file.vertices[first + i].texture[1];
    }
}
