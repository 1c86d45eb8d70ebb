// A mesh's render settings: the flags the object manager turns into device states when it draws
// the mesh, the sampler settings of its texture slots, and the shaders or effect bound to it.
// These only store values and check nothing but what each says; the object commands check the
// numbers first.
#pragma once

#include "core/win32.h"

#include <cstdint>

class EffectBase;
struct MeshRecord;

// Plain setters.
void SetMeshWireframe(MeshRecord* mesh, std::uint8_t flag);
void SetMeshLight(MeshRecord* mesh, std::uint8_t flag);
void SetMeshCull(MeshRecord* mesh, std::uint8_t flag);
// A mode below 1 turns culling off and keeps the stored mode; otherwise stores it, culling on.
void SetMeshCullMode(MeshRecord* mesh, std::int32_t mode);
void SetMeshFog(MeshRecord* mesh, std::uint8_t flag);
void SetMeshAmbient(MeshRecord* mesh, std::uint8_t flag);
void SetMeshTransparency(MeshRecord* mesh, std::uint8_t flag);
void SetMeshAlphaTestValue(MeshRecord* mesh, std::uint32_t value);
// A blend mode of -1 keeps the mesh's current one.
void SetMeshGhost(MeshRecord* mesh, std::uint8_t flag, std::int32_t blendMode);
void HideMesh(MeshRecord* mesh);
void ShowMesh(MeshRecord* mesh);
void SetMeshZRead(MeshRecord* mesh, std::uint8_t flag);
void SetMeshZWrite(MeshRecord* mesh, std::uint8_t flag);
void SetMeshZBias(MeshRecord* mesh, std::uint8_t flag, float slopeScaleBias, float bias);

// Sampler setters. They never grow the slot array: a stage without a slot is ignored. Filters are
// the user's 0, 1, 2 and are stored one higher, as the device's point, linear and anisotropic.
void SetMeshTextureStageFilter(MeshRecord* mesh, std::uint32_t stage, std::uint32_t filter);
void SetMeshTextureFilter(MeshRecord* mesh, std::uint32_t filter);
void SetMeshTextureStageAddress(MeshRecord* mesh, std::uint32_t stage, std::uint32_t addressMode,
                                std::uint32_t mipFilter);
void SetMeshTextureAddress(MeshRecord* mesh, std::uint32_t addressMode, std::uint32_t mipFilter);

// Detaches the mesh's effect (destroyed unless shared) and releases its shaders; a mesh on a
// vertex declaration with a saved FVF goes back to that FVF first.
void FreeMeshEffect(MeshRecord* mesh);
// Slot 0 back to the plain diffuse colour, the alpha factor off, then FreeMeshEffect.
void ClearMeshTextureStage(MeshRecord* mesh);
// FreeMeshEffect, then false without vertex shader 1.1; else makes the stages' slots exist and
// saves the current FVF when none is saved yet.
bool CheckMeshShaderSupport(MeshRecord* mesh, std::int32_t stages);
// Binds the shaders (the mesh takes a reference of its own to each) and sets the stages up to
// modulate their textures.
void SetMeshShaders(MeshRecord* mesh, IDirect3DVertexShader9* vertexShader,
                    IDirect3DPixelShader9* pixelShader, std::int32_t stages);
// Gives the mesh the effect to own (false when shaders are unsupported or the effect is null);
// vertices backed up are put back.
bool BindEffectToMesh(MeshRecord* mesh, std::int32_t stages, EffectBase* effect);
