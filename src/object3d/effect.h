// EffectBase: one .fx effect bound to meshes, owned by a mesh (unless shared) or an effect slot.
// It compiles the file, reads the parameters' semantics and annotations once, binds textures
// named in annotations, learns which vertex inputs the shaders read, and for every mesh drawn
// with it fills the engine's values (matrices, light, eye, time, alpha, shadow range, bones)
// before the object manager draws the passes.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <string>

struct MeshRecord;

// The engine values a parameter can be bound to; names that mean one value share its slot.
enum EffectSemantic : int {
    kSemanticWorld,
    kSemanticView,
    kSemanticProjection,
    kSemanticWorldView,
    kSemanticViewProjection,
    kSemanticWorldViewProjection,
    kSemanticWorldViewInverse,
    kSemanticWorldInverse,
    kSemanticViewInverse,
    kSemanticWorldTranspose,
    kSemanticWorldInverseTranspose,
    kSemanticViewTranspose,
    kSemanticViewInverseTranspose,
    kSemanticProjectionTranspose,
    kSemanticViewProjectionTranspose,
    kSemanticWorldViewProjectionTranspose,
    kSemanticCameraPosition,
    kSemanticEyePosition,
    kSemanticLightDirection,
    kSemanticLightDirectionObject,
    kSemanticLightPosition,
    kSemanticTime,
    kSemanticSinTime,
    kSemanticMeshRadius,
    kSemanticAlphaOverride,
    kSemanticBonePalette,
    kSemanticSlots
};

constexpr std::uint32_t kDeferredTextureSlots = 8;
constexpr std::uint32_t kBonePaletteSize = 64;

class EffectBase {
public:
    EffectBase() = default;
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // Compiles the file (searched for in four places) and reads its parameters; false, the
    // compile error kept, when it cannot be used.
    virtual bool Load(const char* fileName, bool readXFile, bool loadTextures);
    // Gives the mesh the effect's template geometry, when it has one; true.
    virtual bool PrepareMesh(MeshRecord* mesh);
    // Adds the vertex elements the effect's shaders read, and backs the new layout up; false,
    // with the mesh's old layout or its old backup kept, out of memory.
    virtual bool PrepareMeshTangents(MeshRecord* mesh);
    // Begins the effect for the mesh; the number of passes, 0 without an effect.
    virtual std::uint32_t Apply(MeshRecord* mesh);
    // Ends what Apply began.
    virtual void End();

    // Binds (or with unbind, clears) the slot of a semantic name; with a null handle, whether the
    // semantic is bound. "xfile" is known but binds nothing.
    bool BindSemantics(const char* name, D3DXHANDLE handle, bool unbind);
    bool BindSemanticsDefault(const char* name, D3DXHANDLE handle);
    bool LoadParameters(bool readXFile, bool loadTextures);
    // Recomputes the engine's values for the mesh and sets every bound parameter.
    void SetConstants(MeshRecord* mesh);

    ID3DXEffect* effect = nullptr; // owned
    char fileName[256] = {};
    D3DXEFFECT_DESC description{};
    std::uint8_t transpose = 0; // every computed matrix set transposed
    D3DXHANDLE semantics[kSemanticSlots] = {};
    std::uint32_t ensureNormals = 0;
    std::uint32_t needsColour = 0;
    std::uint32_t needsTangent = 0;
    std::uint32_t usesPalette = 0;
    std::uint8_t texturesLoaded = 0;
    // Texture parameters that take the mesh's own textures when it is drawn. The count goes on
    // past the list, so that a mesh refuses an effect with more than it holds.
    std::uint32_t deferredCount = 0;
    std::uint32_t deferred[kDeferredTextureSlots] = {};
    char* xFileName = nullptr;          // owned
    MeshRecord* templateMesh = nullptr; // owned
    // Meshes that own the effect together (one file effect on a whole object); the last of them
    // to let go destroys it. 0 and 1 both mean a single owner.
    std::uint32_t owners = 0;
};

// A mesh that owns its effect lets go of it: destroyed unless other owners remain.
inline void ReleaseOwnedEffect(EffectBase* effect) {
    if (effect && effect->owners > 1)
        --effect->owners;
    else
        delete effect;
}

// How effects are made from files: the platform's compiler, unless something else is handed in.
using CreateEffectFn = HRESULT(WINAPI*)(IDirect3DDevice9*, const char*, const D3DXMACRO*,
                                        ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect**,
                                        ID3DXBuffer**);
// Null restores the platform's.
void SetEffectCreator(CreateEffectFn create);
// The text of the last failed compile (empty when none failed).
const std::string& GetLastEffectError();

// Rewrites an assembly shader file that declares no inputs: the standard declarations after
// every "vs." version token, and "target[" lines commented out. True when the destination was
// written.
bool ScanShaderInputDeclaration(const char* source, const char* destination);
// Appends the vertex elements asked for that the mesh lacks (normal, colour, tangent frame,
// blend weights and indices for a mesh with bones) and fills them. False, the mesh as it was,
// when its new arrays cannot be made; a mesh the platform cannot extend is left as it is.
bool ExtendMeshDeclaration(MeshRecord* mesh, bool addNormal, bool addTangentFrame, bool addColour,
                           bool addBlend);

// Attaches an effect to a mesh (null removes the mesh's own); false when the mesh cannot take it.
bool SetMeshEffect(MeshRecord* mesh, EffectBase* effect, bool prepare);
// SetMeshEffect with the mesh prepared for the effect.
bool SetMeshEffectPrepared(MeshRecord* mesh, EffectBase* effect);
