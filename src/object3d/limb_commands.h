// The limb commands: a limb is one frame of an object's hierarchy, numbered from 0 (the root) in
// the order of the object's frame list. They show, hide, texture and colour a limb's mesh, move,
// turn and scale the limb, add, remove, relink and re-mesh limbs, and read a limb's state back.
// Every command checks the object, then the limb (7006/7008, then 7021/7023) before anything else;
// a command that works on the limb's mesh does nothing for a limb without one. Where a command
// says it accepts instances, an instance's limbs are its source's, and their visibility is the
// instance's own.
#pragma once

#include <cstdint>

// Appearance. Hide and show accept instances: an instance hides its own copy of the limb only.
void HideLimb(std::int32_t n, std::int32_t limb);
void ShowLimb(std::int32_t n, std::int32_t limb);
// The image on stage 0 with the mesh's effect dropped; TextureLimbStage leaves the other stages.
void TextureLimb(std::int32_t n, std::int32_t limb, std::int32_t image);
void TextureLimbStage(std::int32_t n, std::int32_t limb, std::int32_t stage, std::int32_t image);
// The mesh loses its textures and effect and takes the ARGB colour as its material.
void ColorLimb(std::int32_t n, std::int32_t limb, std::uint32_t colour);
// Moves or scales texture set `stage` (the short forms: set 0).
void ScrollLimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage, float u, float v);
void ScrollLimbTexture(std::int32_t n, std::int32_t limb, float u, float v);
void ScaleLimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage, float u, float v);
void ScaleLimbTexture(std::int32_t n, std::int32_t limb, float u, float v);
// Averages normals that differ by at most the percentage (held to 0..100).
void SetLimbSmoothing(std::int32_t n, std::int32_t limb, float percent);
void SetLimbSmoothing(std::int32_t n, std::int32_t limb, std::int32_t percent);
void SetLimbNormals(std::int32_t n, std::int32_t limb);

// Shape. Offsets are in object units, angles in degrees, scales in percent. With a non-zero
// bounds flag the object's bounds are computed again at once.
void OffsetLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
                std::int32_t boundsFlag = 0);
void RotateLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
                std::int32_t boundsFlag = 0);
void ScaleLimb(std::int32_t n, std::int32_t limb, float x, float y, float z,
               std::int32_t boundsFlag = 0);

// Structure.
// A new top-level limb named "new limb" carrying a copy of mesh item `mesh`; it always becomes
// the last limb. A limb number of 0 or more other than that raises 7026 (the limb is added all
// the same); -1 asks for no number. 7028 when the limb cannot be made.
void AddLimb(std::int32_t n, std::int32_t limb, std::int32_t mesh);
// Removes the limb with everything below it; the root (limb 0) cannot go (7021).
void RemoveLimb(std::int32_t n, std::int32_t limb);
// Moves the child limb, with everything below it, under the parent limb. 7021 for the root as
// child, for a limb under itself and for a parent that lies below the child.
void LinkLimb(std::int32_t n, std::int32_t parent, std::int32_t child);
// The limb's mesh replaced by a copy of mesh item `mesh` that keeps the old textures and
// material; 7032 for a limb without a mesh.
void ChangeLimbMesh(std::int32_t n, std::int32_t limb, std::int32_t mesh);
// One checklist row per limb in limb order: the name, then A the limb, B its parent, C its next
// sibling and D its first child (-1 for none).
void PerformChecklistForObjectLimbs(std::int32_t n);

// Queries; each gives 0 when a check fails.
// 7021 for a limb outside 0..22,000,000; otherwise whether the object (or an instance's source)
// has that limb. Accepts instances.
bool LimbExist(std::int32_t n, std::int32_t limb);
bool ConfirmLimbCmd(std::int32_t n, std::int32_t limb);
std::int32_t GetLimbCount(std::int32_t n);
float LimbOffsetX(std::int32_t n, std::int32_t limb);
float LimbOffsetY(std::int32_t n, std::int32_t limb);
float LimbOffsetZ(std::int32_t n, std::int32_t limb);
float LimbAngleX(std::int32_t n, std::int32_t limb);
float LimbAngleY(std::int32_t n, std::int32_t limb);
float LimbAngleZ(std::int32_t n, std::int32_t limb);
// Where the limb is in the world; an instance's limbs are placed by the instance.
float LimbPositionX(std::int32_t n, std::int32_t limb);
float LimbPositionY(std::int32_t n, std::int32_t limb);
float LimbPositionZ(std::int32_t n, std::int32_t limb);
// The limb's angles in the world, in degrees.
float LimbDirectionX(std::int32_t n, std::int32_t limb);
float LimbDirectionY(std::int32_t n, std::int32_t limb);
float LimbDirectionZ(std::int32_t n, std::int32_t limb);
// In percent.
float LimbScaleX(std::int32_t n, std::int32_t limb);
float LimbScaleY(std::int32_t n, std::int32_t limb);
float LimbScaleZ(std::int32_t n, std::int32_t limb);
// The image number on the mesh's slot `stage` (the short form: 0); 0 for a slot it lacks.
std::int32_t LimbTexture(std::int32_t n, std::int32_t limb, std::int32_t stage = 0);
// Text results: a new string from the core's string allocator; the previous one, when given, is
// freed through it. The empty string when a check fails or there is nothing to name.
// The file name of material `stage` (with materials) or of texture slot `stage`.
char* LimbTextureName(char* previous, std::int32_t n, std::int32_t limb, std::int32_t stage);
char* LimbTextureName(char* previous, std::int32_t n, std::int32_t limb);
char* LimbTextureName(std::int32_t n, std::int32_t limb);
char* LimbName(char* previous, std::int32_t n, std::int32_t limb);
// Accepts instances: an instance answers with its own visibility of the limb.
bool LimbVisible(std::int32_t n, std::int32_t limb);
