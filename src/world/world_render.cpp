#include "core/win32.h"

#include "world/world_render.h"
#include "world/world.h"
#include "world/world_clock.h"
#include "world/world_state.h"
#include "world/world_textures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

WorldRenderState renderState;

IDirect3DDevice9* Device() {
    return g_World.device;
}

void SetSamplers(DWORD sampler) {
    IDirect3DDevice9* d = Device();
    d->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    d->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
}

// The stage and sampler settings of a texture-stage mode, without the blending it switches on.
void SetStageSettings(std::int32_t mode) {
    IDirect3DDevice9* d = Device();
    if (mode == 0) {
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
        SetSamplers(0);
        SetSamplers(1);
        return;
    }
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    SetSamplers(0);
    for (DWORD stage : {1u, 2u}) {
        d->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

IDirect3DTexture9* TextureOf(std::int32_t handle) {
    const auto& textures = WorldTextures().textures;
    if (handle < 0 || handle >= textures.count ||
        static_cast<std::size_t>(handle) >= textures.entries.size())
        return nullptr;
    return textures.entries[static_cast<std::size_t>(handle)].texture.Get();
}

IDirect3DTexture9* LightmapOf(std::int32_t handle) {
    const auto& lightmaps = WorldTextures().lightmaps;
    if (handle < 0 || handle >= lightmaps.count ||
        static_cast<std::size_t>(handle) >= lightmaps.entries.size())
        return nullptr;
    return lightmaps.entries[static_cast<std::size_t>(handle)].texture.Get();
}

const ShaderRecord* ShaderOf(std::int32_t index) {
    const ShaderTable& table = WorldShaderTable();
    if (index < 0 || index >= table.count) return nullptr;
    return &table.records[static_cast<std::size_t>(index)];
}

void Count(UINT primitives) {
    if (g_World.core) g_World.core->drawnPolygons += static_cast<std::int32_t>(primitives);
}

// A triangle list through 16-bit indices from the level's mesh index list over a run of its
// vertices.
void DrawTriangles(const WorldLevel& level, std::int32_t firstVertex, std::int32_t vertexCount,
                   std::int32_t firstIndex, std::int32_t indexCount) {
    const UINT primitives = static_cast<UINT>(std::max(indexCount, 0) / 3);
    if (!primitives || firstVertex < 0 || vertexCount <= 0 ||
        static_cast<std::size_t>(firstVertex) + vertexCount > level.vertices.size() ||
        firstIndex < 0 ||
        static_cast<std::size_t>(firstIndex) + primitives * 3 > level.indices.size())
        return;
    Device()->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertexCount),
                                     primitives, &level.indices[firstIndex], D3DFMT_INDEX16,
                                     &level.vertices[firstVertex], sizeof(WorldVertex));
    Count(primitives);
}

// One face's draw call, from the level's vertices in system memory.
void DrawFace(const WorldLevel& level, const WorldFaceRecord& face) {
    IDirect3DDevice9* d = Device();
    const std::size_t vertices = level.vertices.size();
    if (face.type == kFacePolygon) {
        if (face.vertexCount < 3 || face.firstVertex < 0 ||
            static_cast<std::size_t>(face.firstVertex) + face.vertexCount > vertices)
            return;
        if (face.triangleIndexCount >= 3) {
            DrawTriangles(level, face.firstVertex, face.vertexCount, face.firstTriangleIndex,
                          face.triangleIndexCount);
            return;
        }
        const UINT primitives = static_cast<UINT>(face.vertexCount - 2);
        d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, primitives, &level.vertices[face.firstVertex],
                           sizeof(WorldVertex));
        Count(primitives);
    } else if (face.type == kFacePatch) {
        if (face.patch < 0 || static_cast<std::size_t>(face.patch) >= level.patches.size()) return;
        const PatchRecord& patch = level.patches[static_cast<std::size_t>(face.patch)];
        const UINT primitives = static_cast<UINT>(patch.indices.size() / 3);
        if (!primitives || patch.vertices.empty()) return;
        d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(patch.vertices.size()),
                                  primitives, patch.indices.data(), D3DFMT_INDEX16,
                                  patch.vertices.data(), sizeof(WorldVertex));
        Count(primitives);
    } else if (face.type == kFaceMesh) {
        DrawTriangles(level, face.firstVertex, face.vertexCount, face.firstMeshIndex,
                      face.meshIndexCount);
    }
}

bool Visible(const WorldLevel& level, std::int32_t face) {
    return face >= 0 && static_cast<std::size_t>(face) < level.faceVisible.size() &&
           level.faceVisible[static_cast<std::size_t>(face)];
}

void DrawPlainGroup(const WorldLevel& level, const WorldFaceGroup& group) {
    IDirect3DDevice9* d = Device();
    d->SetTexture(0, TextureOf(group.texture));
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    for (std::int32_t f : group.faces) {
        if (!Visible(level, f)) continue;
        const WorldFaceRecord& face = level.faces[static_cast<std::size_t>(f)];
        if (face.texture < 0) continue;
        d->SetTexture(1, LightmapOf(face.lightmap));
        // Meshes take their light from their vertex colours, not from a lightmap.
        if (face.type == kFaceMesh) SetStageSettings(1);
        DrawFace(level, face);
        if (face.type == kFaceMesh) SetStageSettings(0);
    }
}

bool IsLightmapFrame(const ShaderStage& stage, std::int32_t frame) {
    return static_cast<std::size_t>(frame) < stage.frameNames.size() &&
           _stricmp(stage.frameNames[static_cast<std::size_t>(frame)].c_str(), "$lightmap") == 0;
}

void SetStageStates(const ShaderStage& stage) {
    IDirect3DDevice9* d = Device();
    d->SetRenderState(D3DRS_SRCBLEND, static_cast<DWORD>(stage.sourceBlend));
    d->SetRenderState(D3DRS_DESTBLEND, static_cast<DWORD>(stage.destinationBlend));
    d->SetRenderState(D3DRS_ZFUNC, static_cast<DWORD>(stage.depthFunction));
    d->SetRenderState(D3DRS_ZWRITEENABLE, static_cast<DWORD>(stage.depthWrite));
    d->SetRenderState(D3DRS_ALPHATESTENABLE, static_cast<DWORD>(stage.alphaTest));
    d->SetRenderState(D3DRS_ALPHAREF, stage.alphaReference);
    d->SetRenderState(D3DRS_ALPHAFUNC, static_cast<DWORD>(stage.alphaFunction));
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, stage.textureCoordinates == 1 ? 1 : 0);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
}

// One stage over the group's visible faces; how many were drawn.
std::int32_t DrawShaderStage(WorldLevel& level, const WorldFaceGroup& group,
                             const ShaderRecord& shader, const ShaderStage& stage) {
    IDirect3DDevice9* d = Device();
    const std::int32_t frame = ShaderStageFrame(stage, WorldSeconds());
    const std::int32_t handle = stage.frameTextures[static_cast<std::size_t>(frame)];
    const bool lightmapStage = handle < 0 && IsLightmapFrame(stage, frame);
    if (handle >= 0) d->SetTexture(0, TextureOf(handle));
    SetStageStates(stage);
    std::int32_t drawn = 0;
    for (std::int32_t f : group.faces) {
        if (!Visible(level, f)) continue;
        const WorldFaceRecord& face = level.faces[static_cast<std::size_t>(f)];
        UpdateShaderStages(f, shader, stage);
        if (lightmapStage) d->SetTexture(0, LightmapOf(face.lightmap));
        DrawFace(level, face);
        RestoreFaceTexCoords(f);
        ++drawn;
    }
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    return drawn;
}

void DrawShaderGroup(WorldLevel& level, const WorldFaceGroup& group) {
    const std::int32_t s = -2 - group.texture;
    const ShaderRecord* shader = ShaderOf(s);
    if (!shader) return;
    Device()->SetRenderState(D3DRS_CULLMODE, static_cast<DWORD>(shader->cullMode));
    Device()->SetTexture(1, nullptr);
    std::int32_t drawn = 0;
    for (const ShaderStage& stage : shader->stages) {
        if (stage.frameCount == 0) continue;
        drawn += DrawShaderStage(level, group, *shader, stage);
        // A shader whose first drawable stage reached no face has nothing to lay further stages on.
        if (drawn == 0) break;
    }
}

// The eye of the pass in engine units: the world camera's, or during the object engine's
// reflection pass the mirrored eye it leaves in CoreData.
D3DXVECTOR3 PassEye() {
    const CoreData* core = g_World.core;
    if (core && core->stencilMode == 2 && core->renderPassIndex == 1)
        return D3DXVECTOR3(core->reflectionEye[0], core->reflectionEye[1], core->reflectionEye[2]);
    const WorldBridges& b = g_World.bridges;
    if (!b.cameraX || !b.cameraY || !b.cameraZ) return D3DXVECTOR3(0, 0, 0);
    return D3DXVECTOR3(b.cameraX(g_World.camera), b.cameraY(g_World.camera),
                       b.cameraZ(g_World.camera));
}

// Camera 1 gives environment-mapped stages their eye; without it they use the pass's eye (asking
// the camera module for a camera that is not there would raise an error every frame).
D3DXVECTOR3 EnvironmentEye(const D3DXVECTOR3& passEye) {
    const WorldBridges& b = g_World.bridges;
    if (!b.cameraData) return passEye;
    const CameraRecord* camera = b.cameraData(1);
    return camera ? camera->position : passEye;
}

} // namespace

WorldRenderState& WorldRenderData() {
    return renderState;
}

void BeginWorldRenderStates() {
    IDirect3DDevice9* d = Device();
    if (!d) return;
    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = D3DCOLORVALUE{1, 1, 1, 1};
    d->SetMaterial(&material);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    d->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void EndWorldRenderStates() {
    IDirect3DDevice9* d = Device();
    if (!d) return;
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
}

void SetWorldTextureStages(std::int32_t mode) {
    if (!Device()) return;
    SetStageSettings(mode);
    Device()->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    Device()->SetRenderState(D3DRS_LIGHTING, TRUE);
}

bool BoxOutsideView(const float (&box)[6]) {
    const D3DXPLANE& p = renderState.viewPlane;
    const D3DXVECTOR3 low = LevelToEnginePoint(box[0], box[1], box[2]);
    const D3DXVECTOR3 high = LevelToEnginePoint(box[3], box[4], box[5]);
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 c(corner & 1 ? high.x : low.x, corner & 2 ? high.y : low.y,
                            corner & 4 ? high.z : low.z);
        if (c.x * p.a + c.y * p.b + c.z * p.c + p.d > 0.0f) return false;
    }
    return true;
}

void RenderWorld() {
    WorldLevel& level = WorldLevelData();
    IDirect3DDevice9* d = Device();
    if (!d || !WorldLevelLoaded() || level.vertices.empty()) return;
    D3DXMATRIX view;
    d->GetTransform(D3DTS_VIEW, &view);
    renderState.viewPlane = D3DXPLANE(view._13 + view._14, view._23 + view._24, view._33 + view._34,
                                      view._43 + view._44);
    const D3DXVECTOR3 eye = PassEye();
    renderState.environmentEye = EnvironmentEye(eye);
    renderState.eye = EngineToLevelPoint(eye.x, eye.y, eye.z);
    MarkVisibleFaces(level, renderState.eye);
    d->SetVertexShader(nullptr);
    d->SetFVF(kWorldVertexFormat);
    SetWorldTextureStages(0);
    // Plain textures from the highest handle down, then untextured faces, then shaders in table
    // order: the groups are sorted by ascending handle.
    for (auto group = level.groups.rbegin(); group != level.groups.rend(); ++group)
        DrawShadedFaces(*group);
    for (DWORD stage : {1u, 2u})
        d->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

void DrawShadedFaces(const WorldFaceGroup& group) {
    if (!Device()) return;
    if (group.texture >= -1)
        DrawPlainGroup(WorldLevelData(), group);
    else
        DrawShaderGroup(WorldLevelData(), group);
}

std::int32_t ShaderStageFrame(const ShaderStage& stage, double seconds) {
    const std::int32_t count =
        std::min<std::int32_t>(stage.frameCount, static_cast<std::int32_t>(kShaderStageFrames));
    if (count <= 0 || !(stage.animationFrequency > 0.0f)) return 0;
    const double turns =
        std::trunc(count * static_cast<double>(stage.animationFrequency) * seconds * 0.1);
    if (!std::isfinite(turns)) return 0;
    const auto frame = static_cast<std::int32_t>(std::fmod(turns, static_cast<double>(count)));
    return frame >= 0 && frame < count ? frame : 0;
}
