#include "core/win32.h"

#include "object3d/object3d.h"
#include "camera/camera.h"
#include "core/core.h"
#include "core/module_link.h"
#include "display/display.h"
#include "image/image.h"
#include "maths/maths.h"
#include "object3d/collision.h"
#include "object3d/effect_commands.h"
#include "object3d/effect_slots.h"
#include "object3d/sliding_collision.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/vertex_data_commands.h"
#include "universe/universe.h"
#include "core/error_numbers.h"

#include <cstring>
#include <new>
#include <utility>

Object3DState g_Object3D;

namespace {

constexpr float kFogEnd = 50000.0f;

// Destroys every object in the table and frees both object tables.
void FreeObjectTables() {
    Object3DState& s = g_Object3D;
    for (std::int32_t n = 0; s.objects && n < s.objectCapacity; ++n) {
        ForgetVertexDataLock(s.objects[n], nullptr);
        delete s.objects[n];
        s.objects[n] = nullptr;
    }
    delete[] std::exchange(s.objects, nullptr);
    delete[] std::exchange(s.usedNumbers, nullptr);
    s.usedCount = 0;
}

void FreeMeshTable() {
    Object3DState& s = g_Object3D;
    for (std::int32_t n = 0; s.meshes && n < s.meshCapacity; ++n) {
        ForgetVertexDataLock(nullptr, s.meshes[n]);
        delete s.meshes[n];
        s.meshes[n] = nullptr;
    }
    delete[] std::exchange(s.meshes, nullptr);
    s.meshCapacity = 0;
}

} // namespace

void SetSceneDeviceDefaults(IDirect3DDevice9* device) {
    if (!device) return;
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
    device->SetRenderState(D3DRS_FOGEND, FloatBits(kFogEnd));
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 0};
    light.Direction = {0.1f, -0.7f, 0.2f};
    light.Range = 5000.0f;
    light.Attenuation0 = 1.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
}

void Basic3DSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void Basic3DConstructor(HMODULE display, HMODULE image, HMODULE camera, HMODULE light) {
    Object3DState& s = g_Object3D;
    s.handles[0] = display, s.handles[1] = image, s.handles[2] = camera, s.handles[3] = light;
    s.images = GetImageBridge();
    s.cameras = GetCameraBridge();
    const MathsBridge maths = GetMathsBridge();
    s.getVector4 = maths.getVector4;
    s.getMatrix = maths.getMatrix;
    ModuleLinkTable.image.constructor = ImageConstructor;
    ModuleLinkTable.image.destructor = ImageDestructor;
    ModuleLinkTable.image.setSettingWord = SetImageSettingWord;
    // Told by the image module when an image goes or is made again, in its one walk of keepers.
    AddItemKeeper(ItemOwner::Image, ObjectsKeepImages);
    s.device = GetDirect3DDevice();
    s.caps = D3DCAPS9{};
    if (s.device) {
        s.device->GetDeviceCaps(&s.caps);
        SetSceneDeviceDefaults(s.device);
    }
    CreateDefaultUniverse();
    s.universeCollision = CollisionResult{};
}

void Basic3DPassCoreData(CoreData* core) {
    Object3DState& s = g_Object3D;
    s.core = core;
    s.resizeString = core ? core->callbacks.resizeString : nullptr;
    s.cameras = GetCameraBridge();
    s.device = GetDirect3DDevice();
    if (core) {
        core->renderPassCount = 1;
        core->stencilMode = core->shadowCount = core->reflectionCount = 0;
    }
    FreeObjectTables();
    const std::int32_t capacity = s.objectCapacity;
    s.objects = new (std::nothrow) ObjectRecord*[capacity > 0 ? capacity : 1]();
    s.usedNumbers = new (std::nothrow) std::int32_t[capacity > 0 ? capacity : 1]();
    if (!s.objects || !s.usedNumbers) {
        FreeObjectTables();
        s.objectCapacity = 0;
        RaiseRuntimeError(kObjectTablesFailed);
    }
    s.manager.Construct();
    if (!s.manager.ReserveLists(s.objectCapacity)) RaiseRuntimeError(kObjectTablesFailed);
}

void Basic3DDestructor() {
    Object3DState& s = g_Object3D;
    RemoveItemKeeper(ItemOwner::Image, ObjectsKeepImages);
    // The world first: its meshes leave the manager's buffers while those still exist.
    EndUniverseModule();
    s.manager.Free();
    // The solver would otherwise keep pointing at the deleted world's triangles.
    SetCollisionTriangles(0, nullptr, 0);
    FreeObjectTables();
    s.moduleImageUses.clear(); // a reset deletes every image; a stale count only keeps one alive
    if (!s.meshesSurvive) {
        FreeMeshTable();
    } else {
        // The buffers they were placed in are gone.
        for (std::int32_t n = 0; s.meshes && n < s.meshCapacity; ++n)
            if (s.meshes[n]) DeleteDrawItem(std::exchange(s.meshes[n]->drawItem, nullptr));
    }
    // Effects and shaders belong to the device, as the objects do.
    FreeEffectSlots();
    FreeShaderSlots();
    s.device = nullptr;
}

void Basic3DRefreshD3D(std::int32_t mode) {
    Object3DState& s = g_Object3D;
    if (mode == 0) {
        Basic3DDestructor();
    } else if (mode == 1) {
        const CoreData* core = s.core;
        Basic3DConstructor(
            core ? core->handles.display : nullptr, core ? core->handles.image : nullptr,
            core ? core->handles.camera : nullptr, core ? core->handles.light : nullptr);
        Basic3DPassCoreData(s.core);
    }
}

void Basic3DUpdate() {
    g_Object3D.manager.Update();
}

void Basic3DRenderLayerThree() {
    g_Object3D.manager.RenderLayerThree();
}

// The frame loop's last pass of a camera: the transparent layer, then the overlays.
void Basic3DRenderLayerFour() {
    g_Object3D.manager.RenderLayerThree();
    g_Object3D.manager.RenderLayerFour();
}

void Basic3DBeginStencilShadows() {
    g_Object3D.manager.BeginStencilShadows();
}

void Basic3DDrawStencilShadowQuad() {
    g_Object3D.manager.DrawStencilShadowQuad();
}

void Basic3DRunAutomaticCollision() {
    RunAutomaticCollision();
}

void Basic3DUpdateAutomaticCameraCollision() {
    UpdateAutomaticCameraCollision();
}

ObjectRecord* GetObjectPointer(std::int32_t n) {
    return ConfirmObject(n) ? g_Object3D.objects[n] : nullptr;
}
