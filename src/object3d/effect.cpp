#include "core/win32.h"

#include "object3d/effect.h"
#include "object3d/object_records.h"

#include <cstring>

// Stand-in until the effect class is built: nothing compiles here, so every load fails.

EffectBase::~EffectBase() {
    if (effect) effect->Release();
    effect = nullptr;
}

bool EffectBase::Load(const char* name, bool, bool) {
    if (name) {
        std::strncpy(fileName, name, sizeof fileName - 1);
        fileName[sizeof fileName - 1] = 0;
    }
    return false;
}

bool EffectBase::PrepareMesh(MeshRecord*) {
    return true;
}

void EffectBase::PrepareMeshTangents(MeshRecord*) {}

std::uint32_t EffectBase::Apply(MeshRecord*) {
    return 0;
}

void EffectBase::End() {
    if (effect) effect->End();
}

bool SetMeshEffect(MeshRecord* mesh, EffectBase* effect, bool) {
    if (!mesh) return false;
    if (mesh->effect && !mesh->sharedEffect && mesh->effect != effect) delete mesh->effect;
    mesh->effect = effect;
    mesh->sharedEffect = 0;
    if (effect) {
        std::memcpy(mesh->effectFileName, effect->fileName, sizeof mesh->effectFileName);
        mesh->effectFileName[sizeof mesh->effectFileName - 1] = 0;
    }
    return true;
}

bool SetMeshEffectPrepared(MeshRecord* mesh, EffectBase* effect) {
    return SetMeshEffect(mesh, effect, true);
}
