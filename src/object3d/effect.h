// EffectBase: one .fx effect bound to meshes, owned by a mesh (unless shared) or an effect slot.
// Stand-in until the effect class is built: it loads nothing, so no mesh ever draws through one.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct MeshRecord;

class EffectBase {
public:
    EffectBase() = default;
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // Compiles the file and reads its parameters; false when it cannot be used.
    virtual bool Load(const char* fileName, bool readXFile, bool loadTextures);
    // Gives the mesh the effect's template geometry, when it has one.
    virtual bool PrepareMesh(MeshRecord* mesh);
    // Adds the vertex elements the effect's shaders read.
    virtual void PrepareMeshTangents(MeshRecord* mesh);
    // Begins the effect for the mesh; the number of passes, 0 when there is nothing to draw.
    virtual std::uint32_t Apply(MeshRecord* mesh);
    // Ends what Apply began.
    virtual void End();

    ID3DXEffect* effect = nullptr; // owned
    char fileName[256] = {};
};

// Attaches an effect to a mesh (null removes the mesh's own); false when the mesh cannot take it.
bool SetMeshEffect(MeshRecord* mesh, EffectBase* effect, bool prepare);
// SetMeshEffect with the mesh prepared for the effect.
bool SetMeshEffectPrepared(MeshRecord* mesh, EffectBase* effect);
