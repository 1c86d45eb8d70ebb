// 3D object module: its entries for the core, the checks every object command runs first, object
// creation and deletion, and the utilities other 3D code and other modules use. The records are
// in object3d/object_records.h.
#pragma once

#include "core/core_data.h"
#include "object3d/object_records.h"

#include <cstdint>

// Module entries.
void Basic3DConstructor(HMODULE display, HMODULE image, HMODULE camera, HMODULE light);
void Basic3DDestructor();
void Basic3DSetErrorHandler(RuntimeErrorRecord* cell);
void Basic3DPassCoreData(CoreData* core);
// 0: the Destructor; 1: the Constructor and the CoreData pass again; other modes nothing.
void Basic3DRefreshD3D(std::int32_t mode);
// The per-camera passes: the main pass (layers 0 to 2), the transparent layer and the overlays.
void Basic3DUpdate();
void Basic3DRenderLayerThree();
void Basic3DRenderLayerFour();
void Basic3DBeginStencilShadows();
void Basic3DDrawStencilShadowQuad();
void Basic3DRunAutomaticCollision();
void Basic3DUpdateAutomaticCameraCollision();
// Object n's record when ConfirmObject passes, else null.
ObjectRecord* GetObjectPointer(std::int32_t n);

// Checks: each returns whether the command may go on and raises at most one run-time error.
bool ConfirmObject(std::int32_t n);         // 7006 range, 7008 missing; an instance: false
bool ConfirmObjectInstance(std::int32_t n); // the same, accepting instances
bool ObjectExists(std::int32_t n);          // never raises
bool ConfirmNewObject(std::int32_t n);      // 7006, 7007 in use
bool ConfirmObjectAndLimb(std::int32_t n, std::int32_t limb); // then 7021, 7023
bool ConfirmObjectAndLimbInstance(std::int32_t n, std::int32_t limb);
bool ConfirmMesh(std::int32_t n);      // 7001 range, 7003 missing
bool ConfirmNewMesh(std::int32_t n);   // 7001; an existing mesh n is deleted
bool ConfirmEffect(std::int32_t n);    // 7721 range, 7722 empty slot
bool ConfirmNewEffect(std::int32_t n); // 7721, 7723 slot in use

// Creation and deletion.
// Grows the object tables past n; false, keeping the old ones, when they cannot be allocated.
bool ResizeObjectArrays(std::int32_t n);
bool ResizeMeshArray(std::int32_t n);
// Lists object n for drawing once the manager's lists have room for it; false (9706) when not.
bool AddObjectToDrawList(std::int32_t n);
void RemoveObjectFromDrawList(std::int32_t n);
// Object n with one frame named source carrying one empty mesh.
bool CreateNewObject(std::int32_t n, const char* source);
// The same with limbs - 1 further frames, each the child of the one before, each with a mesh.
bool CreateNewObjectWithLimbs(std::int32_t n, const char* source, std::int32_t limbs);
// Finishes an object a loader or maker has filled; range -1.0 takes the bounding radius.
bool SetupNewObject(std::int32_t n, float range);
// Deletes object n, and first every instance of it. Needs no memory.
bool DeleteObject(std::int32_t n);
// Deletes whatever record a make that failed left under n, set up or not.
void DiscardObject(std::int32_t n);

// Utilities.
namespace object3d {
// Brings an angle into [0, 360) a turn at a time; 0 when that takes more than a hundred turns.
// (The runtime's WrapAngle takes the whole turns off first.)
float WrapAngle(float angle);
} // namespace object3d
void MatrixToEulerAngles(const D3DXMATRIX* matrix, D3DXVECTOR3* out);
void GetAnglesToPoint(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* out);
// Fog off and linear (to 50,000), light 0 white and directional, as the light module makes it:
// what the object and terrain modules set on every device they are given.
void SetSceneDeviceDefaults(IDirect3DDevice9* device);
void SetObjectMatrixMode(ObjectRecord* object, std::int32_t mode);
void UpdateObjectLookVectors(ObjectRecord* object);
void RefreshObjectSortFlag(ObjectRecord* object);
void SetObjectTransparencyFlags(ObjectRecord* object, std::int32_t mode);
void ResetObjectTransform(std::int32_t n);
void SetObjectWorldPosition(std::int32_t n, float x, float y, float z);
float GetObjectWorldX(std::int32_t n);
float GetObjectWorldY(std::int32_t n);
float GetObjectWorldZ(std::int32_t n);
void GetCameraValue(std::int32_t n);
bool IsStencilFormat(D3DFORMAT format);
bool DeviceSupportsStencil();
bool DeviceSupportsClipPlanes();
bool DeviceSupportsBumpMapping();
bool DeviceSupportsTextureBlend();
bool DeviceSupportsDot3();
std::int32_t FormatBitsPerPixel(D3DFORMAT format);
D3DCOLOR VectorToColour(const D3DXVECTOR3* vector, float alpha);
// A render-target cube of the first image's width, its faces copied from images 0 to 5.
IDirect3DCubeTexture9* CreateCubeRenderTarget(const std::int32_t images[6]);

// The memory-block module's mesh conversions. MakeMeshFromMemblock reads count vertices of the
// FVF from data (size bytes; too few fail); MakeMemblockFromMesh mode 1 hands out a copy of mesh
// n's vertices as a plain list (free it with any other mode).
bool MakeMeshFromMemblock(std::int32_t n, std::uint32_t fvf, std::int32_t count,
                          const std::uint8_t* data, std::uint32_t size);
bool MakeMemblockFromMesh(std::int32_t n, std::uint32_t* fvf, std::uint32_t* stride,
                          std::int32_t* count, std::uint8_t** data, std::uint32_t* size,
                          std::int32_t mode);

// Shares a loaded effect of the mesh's effect file name, or loads it; false when neither works.
bool LoadOrShareEffect(MeshRecord* mesh, bool prepare);
