// A mesh's texture slots and material colours. Textures belong to the image module: a slot keeps
// an image number (negative for images the image module made for this module) and borrows the
// image's texture; only the slot's second texture object (a cube or render target) is its own.
//
// Images the image module made for meshes are counted (Object3DState::moduleImageUses): every
// slot that takes one holds a use, and the image is deleted when its last slot lets go of it.
// Images of the program (positive numbers) are never deleted here.
#pragma once

#include "core/win32.h"

#include "core/item_keepers.h"

#include <cstdint>

struct MeshRecord;

// Stage numbers the stage setters accept; -1 stands for stage 0.
constexpr std::int32_t kLastTextureStage = 7;

// Loads a texture named by a mesh: the folder with the name's file part, the same with ".dds",
// the name as given, the file part alone. The image number, 0 when none loaded. The mode is the
// image module's size divisor.
std::int32_t LoadTextureFile(const char* name, const char* folder, std::int32_t mode);
std::int32_t LoadTextureFileDefault(const char* name, const char* folder);
// Loads the textures named in the mesh's slots or multi-materials. The flag goes to the loader as
// its mode, except 0 for slots whose name begins with the prefix; mode says how the loaded
// textures are combined with the mesh's colours.
void LoadMeshTextures(MeshRecord* mesh, const char* folder, std::int32_t mode, std::int32_t flag,
                      const char* prefix);
void LoadMeshTexturesStage(MeshRecord* mesh, const char* folder, std::int32_t mode,
                           std::int32_t flag);
void LoadMeshTexturesDefault(MeshRecord* mesh, const char* folder, std::int32_t mode);

// Grows the slot array to at least n + 1 slots, keeping the old ones (owned textures included);
// a new slot starts on its own stage. False when the slots cannot be made.
bool EnsureMeshTextureCount(MeshRecord* mesh, std::int32_t n);
// Slot `to` becomes a copy of slot `from`, sharing its image and texture object; false when
// either lies outside the mesh's slots.
bool ShareMeshTextureSlot(MeshRecord* mesh, std::int32_t from, std::int32_t to);

// Puts an image (0 none) on a stage. Stages outside -1..7 are ignored; -1 is stage 0.
void SetMeshTextureStage(MeshRecord* mesh, std::int32_t stage, std::int32_t image);
// The same, except that stage -1 first resets slot 0 and detaches the effect.
void SetMeshTexture(MeshRecord* mesh, std::int32_t stage, std::int32_t image);
// An image on a stage with its own colour operation and coordinate mode, over the stages before.
void SetMeshStageImage(MeshRecord* mesh, std::int32_t stage, std::int32_t colourOperation,
                       std::int32_t coordinateMode, std::int32_t image);
// A texture object of any kind (a cube or render target) on a stage, mapped by reflection. The
// slot takes a reference of its own; the caller keeps and releases its own.
void SetMeshStageTextureObject(MeshRecord* mesh, std::int32_t stage,
                               IDirect3DBaseTexture9* textureObject);
// Drops textures and effect and colours the mesh through its material (ARGB).
void SetMeshPlainColour(MeshRecord* mesh, D3DCOLOR colour);

// Lets go of the mesh's images; each module image no other slot uses is deleted.
void FreeMeshTextures(MeshRecord* mesh);
// The source's slots over the target's first slots, sharing images and texture objects.
void CopyMeshTextures(MeshRecord* target, const MeshRecord* source);
// The target's slot array replaced by a fresh copy of the source's (each slot sharing the
// source's images); false, the target as it was, when the copy cannot be made.
bool CopyMeshTextureSlots(MeshRecord* target, const MeshRecord* source);
// Every slot and material of the mesh that holds texture before takes after in its place; a null
// after lets go of it.
void ReplaceTextureReference(MeshRecord* mesh, IDirect3DTexture9* before, IDirect3DTexture9* after);
// Every slot and material of the mesh that holds the texture lets go of it.
void ClearTextureReference(MeshRecord* mesh, IDirect3DTexture9* texture);
// ReplaceTextureReference on every mesh of every object and of the mesh table.
void ReplaceObjectsTextureRef(IDirect3DTexture9* before, IDirect3DTexture9* after);
// ClearTextureReference on every mesh of every object and of the mesh table, for a texture about
// to be freed.
void ClearObjectsOfTextureRef(IDirect3DTexture9* texture);
// The module's keeper of images (added as it starts): meshes let go of a deleted image's texture
// and take a remade image's new texture in place of the old, so they draw what the number names.
void ObjectsKeepImages(const ItemNotice& notice);

// Material colours (ARGB); with multi-materials they go to every material entry instead of the
// mesh's own material. Each turns the material on.
void SetMeshDiffuseMaterial(MeshRecord* mesh, D3DCOLOR colour);
void SetMeshAmbienceMaterial(MeshRecord* mesh, D3DCOLOR colour);
void SetMeshSpecularMaterial(MeshRecord* mesh, D3DCOLOR colour);
void SetMeshEmissiveMaterial(MeshRecord* mesh, D3DCOLOR colour);
void SetMeshSpecularPower(MeshRecord* mesh, float power);
// Below 100 percent: the texture factor's alpha is that share of 255; 100 or more turns it off.
void SetMeshAlphaFactor(MeshRecord* mesh, float percent);
// The mesh's material into every multi-material entry.
void ApplyMaterialToAllMaterials(MeshRecord* mesh);
// The source's material, alpha factor and render settings (not the visible flag, ghost blend or
// cull mode) onto the target.
void CopyMeshMaterials(MeshRecord* target, const MeshRecord* source);
