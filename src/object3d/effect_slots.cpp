#include "core/win32.h"

#include "object3d/object3d.h"
#include "object3d/effect.h"
#include "object3d/object_state.h"

#include <cstring>
#include <memory>
#include <new>

bool LoadOrShareEffect(MeshRecord* mesh, bool prepare) {
    if (!mesh || !mesh->effectFileName[0]) return false;
    for (std::int32_t slot = 1; slot < kEffectSlots - 1; ++slot) {
        EffectBase* effect = g_Object3D.effects[slot];
        if (!effect || _stricmp(effect->fileName, mesh->effectFileName) != 0) continue;
        if (!SetMeshEffect(mesh, effect, prepare)) return false;
        mesh->sharedEffect = 1;
        return true;
    }
    std::unique_ptr<EffectBase> effect(new (std::nothrow) EffectBase);
    if (!effect || !effect->Load(mesh->effectFileName, false, prepare)) return false;
    if (!SetMeshEffectPrepared(mesh, effect.get())) return false;
    effect.release(); // the mesh owns it now
    return true;
}
