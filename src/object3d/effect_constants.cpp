#include "core/win32.h"

#include "object3d/effect.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <cmath>

namespace {

constexpr float kByteToUnit = 0.003921569f;
constexpr float kDirectionalLightDistance = 1000.0f;

// The engine's values as last computed for an effect; valid from one apply to the next.
struct EffectConstants {
    D3DXMATRIX world, view, projection, worldView, viewProjection, worldViewProjection;
    D3DXMATRIX worldInverse, viewInverse, worldViewInverse;
    D3DXMATRIX worldT, worldInverseT, viewT, viewInverseT, projectionT, viewProjectionT,
        worldViewProjectionT;
    D3DXVECTOR4 light, lightObject, lightPosition, eye;
    D3DXMATRIX palette[kBonePaletteSize];
};

EffectConstants g_Constants;

D3DXMATRIX Transposed(const D3DXMATRIX& m) {
    D3DXMATRIX t;
    return *D3DXMatrixTranspose(&t, &m);
}

void ComputeLight(IDirect3DDevice9* device, EffectConstants& c) {
    D3DLIGHT9 light{};
    device->GetLight(0, &light);
    if (light.Type == D3DLIGHT_DIRECTIONAL) {
        const D3DVECTOR& d = light.Direction;
        c.light = D3DXVECTOR4(d.x, d.y, d.z, 0);
        c.lightPosition =
            D3DXVECTOR4(-kDirectionalLightDistance * d.x, -kDirectionalLightDistance * d.y,
                        -kDirectionalLightDistance * d.z, 1);
    } else {
        const D3DVECTOR& p = light.Position;
        // From the light to the object's origin.
        c.light = D3DXVECTOR4(c.world._41 - p.x, c.world._42 - p.y, c.world._43 - p.z, 1);
        c.lightPosition = D3DXVECTOR4(p.x, p.y, p.z, 1);
    }
    D3DXVec4Transform(&c.lightObject, &c.light, &c.worldInverse);
    D3DXVec4Normalize(&c.lightObject, &c.lightObject);
    D3DXVec4Normalize(&c.light, &c.light);
}

} // namespace

void EffectBase::SetConstants(MeshRecord* mesh) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!effect || !device) return;
    EffectConstants& c = g_Constants;
    device->GetTransform(D3DTS_WORLD, &c.world);
    device->GetTransform(D3DTS_VIEW, &c.view);
    device->GetTransform(D3DTS_PROJECTION, &c.projection);
    D3DXMatrixMultiply(&c.worldView, &c.world, &c.view);
    D3DXMatrixMultiply(&c.viewProjection, &c.view, &c.projection);
    D3DXMatrixMultiply(&c.worldViewProjection, &c.worldView, &c.projection);
    D3DXMatrixInverse(&c.worldInverse, nullptr, &c.world);
    D3DXMatrixInverse(&c.viewInverse, nullptr, &c.view);
    D3DXMatrixInverse(&c.worldViewInverse, nullptr, &c.worldView);
    ComputeLight(device, c);
    c.eye = D3DXVECTOR4(c.viewInverse._41, c.viewInverse._42, c.viewInverse._43, 1);
    if (semantics[kSemanticAlphaOverride] && mesh && mesh->alphaFactorOn == 1)
        effect->SetFloat(semantics[kSemanticAlphaOverride],
                         static_cast<float>(mesh->diffuseColour >> 24) * kByteToUnit);
    if (transpose) {
        for (D3DXMATRIX* m :
             {&c.world, &c.view, &c.projection, &c.worldView, &c.viewProjection,
              &c.worldViewProjection, &c.worldInverse, &c.viewInverse, &c.worldViewInverse})
            *m = Transposed(*m);
    }
    c.worldT = Transposed(c.world);
    c.worldInverseT = Transposed(c.worldInverse);
    c.viewT = Transposed(c.view);
    c.viewInverseT = Transposed(c.viewInverse);
    c.projectionT = Transposed(c.projection);
    c.viewProjectionT = Transposed(c.viewProjection);
    c.worldViewProjectionT = Transposed(c.worldViewProjection);

    const D3DXMATRIX* matrices[] = {&c.world,
                                    &c.view,
                                    &c.projection,
                                    &c.worldView,
                                    &c.viewProjection,
                                    &c.worldViewProjection,
                                    &c.worldViewInverse,
                                    &c.worldInverse,
                                    &c.viewInverse,
                                    &c.worldT,
                                    &c.worldInverseT,
                                    &c.viewT,
                                    &c.viewInverseT,
                                    &c.projectionT,
                                    &c.viewProjectionT,
                                    &c.worldViewProjectionT};
    for (int slot = kSemanticWorld; slot <= kSemanticWorldViewProjectionTranspose; ++slot)
        if (semantics[slot]) effect->SetMatrix(semantics[slot], matrices[slot]);
    const D3DXVECTOR4* vectors[] = {&c.eye, &c.eye, &c.light, &c.lightObject, &c.lightPosition};
    for (int slot = kSemanticCameraPosition; slot <= kSemanticLightPosition; ++slot)
        if (semantics[slot])
            effect->SetVector(semantics[slot], vectors[slot - kSemanticCameraPosition]);
    if (semantics[kSemanticTime])
        effect->SetFloat(semantics[kSemanticTime], static_cast<float>(timeGetTime()) * 0.001f);
    if (semantics[kSemanticSinTime])
        effect->SetFloat(semantics[kSemanticSinTime],
                         std::sin(static_cast<float>(timeGetTime()) * 0.001f));
    if (semantics[kSemanticMeshRadius] && mesh)
        effect->SetFloat(semantics[kSemanticMeshRadius], mesh->shadowRange);
    if (semantics[kSemanticBonePalette] && mesh && mesh->bones && mesh->boneCount > 0) {
        // Meshes with more bones than the palette holds use its first ones.
        const UINT count = mesh->boneCount < static_cast<std::int32_t>(kBonePaletteSize)
                               ? static_cast<UINT>(mesh->boneCount)
                               : kBonePaletteSize;
        for (UINT i = 0; i < count; ++i) {
            const D3DXMATRIX* follows = mesh->boneMatrices ? mesh->boneMatrices[i] : nullptr;
            c.palette[i] =
                follows ? mesh->bones[i].offsetMatrix * *follows : mesh->bones[i].offsetMatrix;
        }
        effect->SetMatrixTransposeArray(semantics[kSemanticBonePalette], c.palette, count);
    }
}
