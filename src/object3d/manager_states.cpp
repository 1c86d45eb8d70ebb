#include "core/win32.h"

#include "object3d/object_manager.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::uint32_t kStages = 8;
constexpr DWORD kFullAmbient = 0xFFFFFFFF;
constexpr DWORD kTransparentAlphaRef = 207;

// The source and destination blend of each ghost mode.
constexpr DWORD kGhostBlends[6][2] = {
    {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ONE},       {D3DBLEND_SRCALPHA, D3DBLEND_SRCALPHA},
    {D3DBLEND_SRCCOLOR, D3DBLEND_DESTCOLOR}, {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}};

const D3DMATERIAL9 kDefaultMaterial = {{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, 10};

IDirect3DDevice9* Device() {
    return g_Object3D.device;
}

float CameraZeroFov() {
    const CameraBridge& c = g_Object3D.cameras;
    const CameraRecord* camera = c.getInternalData ? c.getInternalData(0) : nullptr;
    return camera ? camera->fov : kCameraSpaceFov;
}

} // namespace

void ObjectManager::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const auto i = static_cast<unsigned>(state);
    if (i < kRenderStates && renderKnown[i] && renderStates[i] == value) return;
    Device()->SetRenderState(state, value);
    if (i < kRenderStates) {
        renderKnown[i] = 1;
        renderStates[i] = value;
    }
}

void ObjectManager::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    const auto t = static_cast<unsigned>(type);
    const bool cached = stage < kStages && t < kStageStates;
    if (cached && stageKnown[stage][t] && stageStates[stage][t] == value) return;
    Device()->SetTextureStageState(stage, type, value);
    if (cached) {
        stageKnown[stage][t] = 1;
        stageStates[stage][t] = value;
    }
}

void ObjectManager::SetSamplerState(DWORD stage, D3DSAMPLERSTATETYPE type, DWORD value) {
    const auto t = static_cast<unsigned>(type);
    const bool cached = stage < kStages && t < kSamplerStates;
    if (cached && samplerKnown[stage][t] && samplerStates[stage][t] == value) return;
    Device()->SetSamplerState(stage, type, value);
    if (cached) {
        samplerKnown[stage][t] = 1;
        samplerStates[stage][t] = value;
    }
}

void ObjectManager::BindTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= kStages) {
        Device()->SetTexture(stage, texture);
        return;
    }
    if ((texturesKnown >> stage & 1) && boundTextures[stage] == texture) return;
    Device()->SetTexture(stage, texture);
    boundTextures[stage] = texture;
    texturesKnown |= static_cast<std::uint8_t>(1u << stage);
}

void ObjectManager::SetCullInForce(std::uint32_t cull) {
    cullInForce = cull;
    SetRenderState(D3DRS_CULLMODE, cull);
}

void ObjectManager::SetDefaultCull() {
    SetCullInForce(defaultCull);
}

void ObjectManager::ResetRenderStates() {
    IDirect3DDevice9* device = Device();
    if (!device) return;
    ResetStateCache();
    SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    SetRenderState(D3DRS_LIGHTING, TRUE);
    SetRenderState(D3DRS_FOGENABLE, FALSE);
    SetRenderState(D3DRS_AMBIENT, ambientColour);
    SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetRenderState(D3DRS_DEPTHBIAS, 0);
    SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
    SetRenderState(D3DRS_COLORVERTEX, TRUE);
    SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    materialCache = kDefaultMaterial;
    device->SetMaterial(&materialCache);
    materialKnown = 1;
    for (DWORD stage = 0; stage < kStages; ++stage) {
        SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        if (stage == 0) {
            SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        }
        SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }
    defaultFieldOfView = CameraZeroFov();
    statesReset = true;
}

void ObjectManager::ResetStateCache() {
    std::memset(renderKnown, 0, sizeof renderKnown);
    std::memset(stageKnown, 0, sizeof stageKnown);
    std::memset(samplerKnown, 0, sizeof samplerKnown);
    texturesKnown = 0;
    materialKnown = 0;
    worldKnown = 0;
    pixelShaderKnown = 0;
    textureKey = textureKeyInForce = kNoTextureKey;
    stagesInUse = 0;
    shaderInForce = nullptr;
    formatInForce = 0;
    declarationInForce = nullptr;
    forceShader = forceStream = 1;
    IDirect3DDevice9* device = Device();
    if (!device) return;
    // The application's own ambient light and fog colour as they stand now: the layers restore
    // them, and the light commands may have changed them since the last pass.
    device->GetRenderState(D3DRS_AMBIENT, &ambientColour);
    device->GetRenderState(D3DRS_FOGCOLOR, &fogColour);
    if (fieldOfViewInForce == 0) defaultFieldOfView = CameraZeroFov();
    SetDefaultCull();
}

void ObjectManager::ResetTextureStages() {
    IDirect3DDevice9* device = Device();
    if (!device) return;
    if (!pixelShaderKnown || pixelShaderInForce) {
        device->SetPixelShader(nullptr);
        pixelShaderInForce = nullptr;
        pixelShaderKnown = 1;
    }
    for (DWORD stage = 0; stage < 7; ++stage) {
        SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        // Pre-transformed 2D drawing that follows must not inherit a sphere map's transform.
        SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
    }
    SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    stagesInUse = 0;
    SetRenderState(D3DRS_AMBIENT, ambientColour);
    SetRenderState(D3DRS_FOGCOLOR, fogColour);
    if (fieldOfViewInForce != 0) {
        if (g_Object3D.cameras.setCurrentFOV) g_Object3D.cameras.setCurrentFOV(defaultFieldOfView);
        fieldOfViewInForce = 0;
    }
}

void ObjectManager::SetBlendStates(const MeshRecord* mesh) {
    DWORD blend = FALSE, source = D3DBLEND_SRCALPHA, destination = D3DBLEND_INVSRCALPHA;
    if (mesh->transparency) {
        blend = TRUE;
        SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        if (mesh->alphaReference == 0) {
            SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
            SetRenderState(D3DRS_ALPHAREF, 0);
        } else {
            const DWORD factor = mesh->diffuseColour >> 24;
            SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
            SetRenderState(D3DRS_ALPHAREF,
                           mesh->alphaFactorOn
                               ? static_cast<DWORD>(std::lround(factor / 255.0 * 128.0))
                               : kTransparentAlphaRef);
        }
    } else {
        SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    }
    if (mesh->ghost) {
        const std::int32_t mode = mesh->ghostMode >= 0 && mesh->ghostMode < 6 ? mesh->ghostMode : 2;
        blend = TRUE;
        source = kGhostBlends[mode][0];
        destination = kGhostBlends[mode][1];
    }
    SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    if (blend) {
        SetRenderState(D3DRS_SRCBLEND, source);
        SetRenderState(D3DRS_DESTBLEND, destination);
    }
}

bool ObjectManager::SetMeshRenderStates(MeshRecord* mesh) {
    if (!Device() || !mesh) return false;
    SetRenderState(D3DRS_FILLMODE, mesh->wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    SetRenderState(D3DRS_LIGHTING, mesh->lighting ? TRUE : FALSE);
    const DWORD cull = mesh->cullMode == 2 ? DWORD{D3DCULL_CCW}
                       : !mesh->culling    ? DWORD{D3DCULL_NONE}
                                           : cullInForce;
    SetRenderState(D3DRS_CULLMODE, cull);
    const CoreData* core = g_Object3D.core;
    // In a stencil layer the layer's own fog, blend, depth-write and bias states hold.
    if (core && core->fogEnabled && !stencilLayer) {
        fogOn = mesh->fog ? 1 : 0;
        SetRenderState(D3DRS_FOGENABLE, fogOn);
        SetRenderState(D3DRS_FOGCOLOR, mesh->fog && mesh->ghost ? 0 : fogColour);
    }
    const bool textured = mesh->textures && mesh->textureCount > 0 && mesh->textures[0].imageNumber;
    SetRenderState(D3DRS_AMBIENT, mesh->ambient ? ambientColour : textured ? kFullAmbient : 0);
    if (!stencilLayer) {
        SetBlendStates(mesh);
        SetRenderState(D3DRS_ZWRITEENABLE, mesh->depthWrite ? TRUE : FALSE);
        SetRenderState(D3DRS_DEPTHBIAS, mesh->depthBiasOn ? FloatBits(mesh->depthBias) : 0);
        SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS,
                       mesh->depthBiasOn ? FloatBits(mesh->slopeScaleDepthBias) : 0);
    }
    SetRenderState(D3DRS_ZENABLE, mesh->depthRead ? D3DZB_TRUE : D3DZB_FALSE);
    SetMeshMaterial(mesh);
    SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, mesh->mipmapBias);
    return true;
}

bool ObjectManager::SetMeshMaterial(MeshRecord* mesh) {
    IDirect3DDevice9* device = Device();
    if (!device || !mesh) return false;
    const D3DMATERIAL9& wanted = mesh->materialOn ? mesh->material : kDefaultMaterial;
    SetRenderState(D3DRS_COLORVERTEX, mesh->materialOn ? FALSE : TRUE);
    SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, mesh->materialOn ? D3DMCS_MATERIAL : D3DMCS_COLOR1);
    if (!materialKnown || std::memcmp(&materialCache, &wanted, sizeof wanted) != 0) {
        materialCache = wanted;
        materialKnown = 1;
        return SUCCEEDED(device->SetMaterial(&materialCache));
    }
    return true;
}

bool ObjectManager::SetMeshShader(MeshRecord* mesh) {
    IDirect3DDevice9* device = Device();
    if (!device || !mesh) return false;
    wantedShader = mesh->vertexShaderOn ? mesh->vertexShader : nullptr;
    wantedFormat = mesh->fvf;
    if (forceShader || wantedShader != shaderInForce) {
        if (FAILED(device->SetVertexShader(wantedShader))) return false;
        shaderInForce = wantedShader;
    }
    if (mesh->fvf == 0 && mesh->vertexDeclaration) {
        if (forceShader || declarationInForce != mesh->vertexDeclaration) {
            if (FAILED(device->SetVertexDeclaration(mesh->vertexDeclaration))) return false;
            declarationInForce = mesh->vertexDeclaration;
            formatInForce = 0;
        }
    } else if (mesh->fvf) {
        if (forceShader || declarationInForce || formatInForce != mesh->fvf) {
            if (FAILED(device->SetFVF(mesh->fvf))) return false;
            formatInForce = mesh->fvf;
            declarationInForce = nullptr;
        }
    } else {
        device->SetVertexDeclaration(nullptr);
        declarationInForce = nullptr;
        formatInForce = 0;
    }
    forceShader = 0;
    return true;
}

bool ObjectManager::SetMeshStreams(MeshRecord* mesh) {
    IDirect3DDevice9* device = Device();
    const DrawItem* item = mesh ? mesh->drawItem : nullptr;
    if (!device || !item) return false;
    if (forceStream || streamInForce != item->vertexBuffer || strideInForce != item->stride) {
        if (FAILED(device->SetStreamSource(0, item->vertexBuffer, 0, item->stride))) return false;
        streamInForce = item->vertexBuffer;
        strideInForce = item->stride;
    }
    if (item->indexBuffer && (forceStream || indicesInForce != item->indexBuffer)) {
        if (FAILED(device->SetIndices(item->indexBuffer))) return false;
        indicesInForce = item->indexBuffer;
    }
    forceStream = 0;
    return true;
}

void ObjectManager::SetCoordinateMode(const TextureRecord& slot) {
    const DWORD stage = slot.stage;
    const std::uint32_t mode = slot.coordinateMode;
    if (mode == 1) {
        // Sphere map from camera-space normals, scaled and offset into 0..1.
        SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL | stage);
        D3DXMATRIX m(0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 1);
        const DWORD transformStage = stage == 2 ? 2 : 1;
        Device()->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + transformStage),
                               &m);
        SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    } else if (mode == 2) {
        SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX,
                             D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR | stage);
        D3DXMATRIX view, inverse;
        Device()->GetTransform(D3DTS_VIEW, &view);
        D3DXMatrixInverse(&inverse, nullptr, &view);
        inverse._41 = inverse._42 = inverse._43 = 0;
        Device()->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage),
                               &inverse);
        SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    } else {
        const DWORD index = mode == 3 ? 0 : mode >= 10 && mode <= 17 ? mode - 10 : stage;
        SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, index);
        SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }
}

bool ObjectManager::SetMeshTextureStages(MeshRecord* mesh) {
    IDirect3DDevice9* device = Device();
    if (!device || !mesh) return false;
    const std::uint32_t count = mesh->textures && mesh->textureCount > 0
                                    ? static_cast<std::uint32_t>(mesh->textureCount)
                                    : 0;
    for (std::uint32_t stage = count; stage < stagesInUse && stage < kStages; ++stage)
        SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    stagesInUse = count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TextureRecord& slot = mesh->textures[i];
        const DWORD stage = slot.stage;
        SetSamplerState(stage, D3DSAMP_ADDRESSU, slot.addressU);
        SetSamplerState(stage, D3DSAMP_ADDRESSV, slot.addressV);
        SetSamplerState(stage, D3DSAMP_MAGFILTER, slot.magFilter);
        SetSamplerState(stage, D3DSAMP_MINFILTER, slot.minFilter);
        SetSamplerState(stage, D3DSAMP_MIPFILTER, slot.mipFilter);
        IDirect3DPixelShader9* shader = mesh->pixelShaderOn ? mesh->pixelShader : nullptr;
        if (!pixelShaderKnown || pixelShaderInForce != shader) {
            device->SetPixelShader(shader);
            pixelShaderInForce = shader;
            pixelShaderKnown = 1;
        }
        if (mesh->pixelShaderOn) continue;
        SetTextureStageState(stage, D3DTSS_COLOROP, slot.colourOperation);
        SetTextureStageState(stage, D3DTSS_COLORARG1, slot.argument1);
        SetTextureStageState(stage, D3DTSS_COLORARG2,
                             stage == 0 && textureFactorSet ? D3DTA_TFACTOR : slot.argument2);
        if (!instanceAlpha) {
            if (mesh->alphaFactorOn) {
                if (i + 1 == count) {
                    SetTextureStageState(stage, D3DTSS_ALPHAOP, slot.colourOperation);
                    SetTextureStageState(stage, D3DTSS_ALPHAARG2, slot.argument2);
                    SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
                    SetRenderState(D3DRS_TEXTUREFACTOR, mesh->diffuseColour);
                }
            } else {
                SetTextureStageState(stage, D3DTSS_ALPHAOP, slot.colourOperation);
                SetTextureStageState(stage, D3DTSS_ALPHAARG1, slot.argument1);
                SetTextureStageState(stage, D3DTSS_ALPHAARG2, slot.argument2);
            }
        }
        SetCoordinateMode(slot);
    }
    return true;
}
