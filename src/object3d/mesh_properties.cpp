#include "core/win32.h"

#include "object3d/mesh_properties.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <utility>

namespace {

// Vertex shader 1.1, the least that shaders and effects need.
constexpr DWORD kLeastVertexShader = 0xFFFE0101;

// The slot of a stage that already has one, else null.
TextureRecord* ExistingSlot(MeshRecord* mesh, std::uint32_t stage) {
    if (!mesh || !mesh->textures || mesh->textureCount <= 0) return nullptr;
    return stage < static_cast<std::uint32_t>(mesh->textureCount) ? &mesh->textures[stage]
                                                                  : nullptr;
}

template <typename T> void ReleaseHeld(T*& held) {
    if (T* old = std::exchange(held, nullptr)) old->Release();
}

// Takes a reference of the mesh's own to wanted, giving up the one it held.
template <typename T> void HoldShader(T*& held, T* wanted) {
    if (wanted) wanted->AddRef();
    if (T* old = std::exchange(held, wanted)) old->Release();
}

void ReleaseMeshShaderObjects(MeshRecord* mesh) {
    ReleaseHeld(mesh->vertexShader);
    ReleaseHeld(mesh->pixelShader);
    // A flag without its shader would mean nothing to the drawer.
    mesh->vertexShaderOn = 0;
    mesh->pixelShaderOn = 0;
}

} // namespace

void SetMeshWireframe(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->wireframe = flag;
}

void SetMeshLight(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->lighting = flag;
}

void SetMeshCull(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->culling = flag;
}

void SetMeshCullMode(MeshRecord* mesh, std::int32_t mode) {
    if (!mesh) return;
    if (mode < 1) {
        mesh->culling = 0; // the old mode comes back with the next SetMeshCull
        return;
    }
    mesh->cullMode = mode;
    mesh->culling = 1;
}

void SetMeshFog(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->fog = flag;
}

void SetMeshAmbient(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->ambient = flag;
}

void SetMeshTransparency(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->transparency = flag;
}

void SetMeshAlphaTestValue(MeshRecord* mesh, std::uint32_t value) {
    if (mesh) mesh->alphaReference = static_cast<std::int32_t>(value);
}

void SetMeshGhost(MeshRecord* mesh, std::uint8_t flag, std::int32_t blendMode) {
    if (!mesh) return;
    mesh->ghost = flag;
    if (blendMode != -1) mesh->ghostMode = blendMode;
}

void HideMesh(MeshRecord* mesh) {
    if (mesh) mesh->visible = 0;
}

void ShowMesh(MeshRecord* mesh) {
    if (mesh) mesh->visible = 1;
}

void SetMeshZRead(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->depthRead = flag;
}

void SetMeshZWrite(MeshRecord* mesh, std::uint8_t flag) {
    if (mesh) mesh->depthWrite = flag;
}

void SetMeshZBias(MeshRecord* mesh, std::uint8_t flag, float slopeScaleBias, float bias) {
    if (!mesh) return;
    mesh->depthBiasOn = flag;
    mesh->slopeScaleDepthBias = slopeScaleBias;
    mesh->depthBias = bias;
}

void SetMeshTextureStageFilter(MeshRecord* mesh, std::uint32_t stage, std::uint32_t filter) {
    if (TextureRecord* slot = ExistingSlot(mesh, stage))
        slot->magFilter = slot->minFilter = filter + 1;
}

void SetMeshTextureFilter(MeshRecord* mesh, std::uint32_t filter) {
    SetMeshTextureStageFilter(mesh, 0, filter);
}

void SetMeshTextureStageAddress(MeshRecord* mesh, std::uint32_t stage, std::uint32_t addressMode,
                                std::uint32_t mipFilter) {
    TextureRecord* slot = ExistingSlot(mesh, stage);
    if (!slot) return;
    slot->addressU = slot->addressV = addressMode;
    slot->mipFilter = mipFilter;
}

void SetMeshTextureAddress(MeshRecord* mesh, std::uint32_t addressMode, std::uint32_t mipFilter) {
    SetMeshTextureStageAddress(mesh, 0, addressMode, mipFilter);
}

void FreeMeshEffect(MeshRecord* mesh) {
    if (!mesh || (!mesh->effect && !mesh->vertexShader && !mesh->pixelShader)) return;
    // The effect's vertex declaration goes with it: back to the format the mesh had before.
    if (mesh->fvf == 0 && mesh->savedFVF) RebuildMeshViaDXMesh(mesh);
    if (mesh->effect && mesh->sharedEffect) {
        mesh->effect = nullptr; // its owner destroys it
    } else {
        ReleaseOwnedEffect(std::exchange(mesh->effect, nullptr));
        ReleaseMeshShaderObjects(mesh);
    }
    mesh->effectInUse = 0;
    mesh->effectPrepared = 0;
    mesh->sharedEffect = 0;
    mesh->effectData = 0;
}

void ClearMeshTextureStage(MeshRecord* mesh) {
    if (!mesh) return;
    if (EnsureMeshTextureCount(mesh, 0)) {
        TextureRecord& slot = mesh->textures[0];
        slot.ReleaseTexture();
        slot.stage = 0;
        slot.colourOperation = D3DTOP_SELECTARG1;
        slot.argument1 = D3DTA_DIFFUSE;
        slot.argument2 = D3DTA_DIFFUSE;
        slot.coordinateMode = 0;
    }
    mesh->alphaFactorOn = 0;
    mesh->diffuseColour = 0;
    FreeMeshEffect(mesh);
}

bool CheckMeshShaderSupport(MeshRecord* mesh, std::int32_t stages) {
    if (!mesh) return false;
    FreeMeshEffect(mesh);
    IDirect3DDevice9* device = g_Object3D.device;
    D3DCAPS9 caps{};
    if (!device || FAILED(device->GetDeviceCaps(&caps)) ||
        caps.VertexShaderVersion < kLeastVertexShader)
        return false;
    if (stages > 0 && !EnsureMeshTextureCount(mesh, stages - 1)) return false;
    if (!mesh->savedFVF && mesh->fvf) mesh->savedFVF = mesh->fvf;
    return true;
}

void SetMeshShaders(MeshRecord* mesh, IDirect3DVertexShader9* vertexShader,
                    IDirect3DPixelShader9* pixelShader, std::int32_t stages) {
    ClearMeshTextureStage(mesh);
    if (!CheckMeshShaderSupport(mesh, stages)) return;
    HoldShader(mesh->pixelShader, pixelShader);
    HoldShader(mesh->vertexShader, vertexShader);
    mesh->effectInUse = 1;
    for (std::int32_t i = 0; i < stages && i < mesh->textureCount; ++i) {
        TextureRecord& slot = mesh->textures[i];
        slot.stage = static_cast<std::uint32_t>(i);
        slot.colourOperation = D3DTOP_MODULATE;
        slot.argument1 = D3DTA_TEXTURE;
        slot.argument2 = i == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT;
        slot.coordinateMode = 0;
    }
}

bool BindEffectToMesh(MeshRecord* mesh, std::int32_t stages, EffectBase* effect) {
    if (!CheckMeshShaderSupport(mesh, stages)) return false;
    mesh->effectInUse = 1;
    mesh->effect = effect;
    if (!effect) return false;
    mesh->effectPrepared = 1;
    mesh->effectData = 0;
    // Vertices an earlier effect or animation changed start again from the backup.
    if (mesh->backupVertices) RestoreMeshVertices(mesh);
    return true;
}
