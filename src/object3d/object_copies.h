// Object commands beside the primitive makers: a new object made from one limb of another,
// level-of-detail meshes taken from a second object, callbacks run before an object is deleted,
// and an object's rotation folded into its pivot.
#pragma once

#include <cstdint>

using ObjectDeleteFn = void (*)(std::int32_t object, std::int32_t value);

// Up to 25 callbacks an object, called in order with (object number, value) by the object delete
// commands before they delete it; further ones are ignored.
void AddObjectDeleteCallback(std::int32_t n, ObjectDeleteFn callback, std::int32_t value);
// Object n, named "limbmesh", from a limb of source (which may be an instance). Mode 1 copies the
// limb and every frame below it with their meshes, local matrices, offsets, rotations and scales,
// the bones and keyframes that follow frames of the copy, and, when the limb has no mesh, the
// source's largest mesh on the copy's root. Other modes copy the limb's mesh (else the source's
// first) as one mesh, turned and scaled as the source shows it. 7023 when there is no mesh to
// copy, 7002 when the object cannot be made.
void MakeObjectFromLimb(std::int32_t n, std::int32_t source, std::int32_t limb,
                        std::int32_t mode = 0);
// From `distance` on, level of detail `slot` (0 or 1, else 7801) draws in each frame of n that
// has a mesh a copy of the mesh of source's frame with the same name (in any letter case), with
// that mesh's materials and bones and the textures of n's own mesh.
void AddObjectLevelOfDetail(std::int32_t n, std::int32_t source, std::int32_t slot, float distance);
// Folds the current rotation into the pivot and sets the angles to 0; the object looks as it did.
void BakeObjectRotationIntoPivot(std::int32_t n);
