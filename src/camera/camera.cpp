#include "core/win32.h"

#include "camera/camera.h"
#include "core/core.h"
#include "display/display.h"

// Stand-in until the camera module is built: one fixed camera 0 at the origin looking along +z
// (field of view 61.962135 degrees, near 1, far 3000), drawn each frame with its transforms set
// and its depth buffer cleared. No numbered cameras, no render targets, no automatic focus.
namespace {

constexpr float kDefaultFov = 61.962135f;
constexpr float kDegreesToRadians = 0.01745329238474369f;

struct State {
    CoreData* core = nullptr;
    CameraRecord camera0;
    std::int32_t renderCamera = 0;
};
State s;

void BuildProjection(CameraRecord& c) {
    D3DXMatrixPerspectiveFovLH(&c.projection, c.fov * kDegreesToRadians, c.aspect, c.nearRange,
                               c.farRange);
}

void BuildView(CameraRecord& c) {
    D3DXMatrixIdentity(&c.view);
    const D3DXVECTOR3& p = c.position;
    c.view._41 = -D3DXVec3Dot(&p, &c.right);
    c.view._42 = -D3DXVec3Dot(&p, &c.up);
    c.view._43 = -D3DXVec3Dot(&p, &c.look);
}

void SendTransforms(const CameraRecord& c) {
    if (IDirect3DDevice9* device = GetDirect3DDevice()) {
        device->SetTransform(D3DTS_VIEW, &c.view);
        device->SetTransform(D3DTS_PROJECTION, &c.projection);
    }
}

// Camera 0 fitted to the display as it is now.
void SetUpCamera0() {
    CameraRecord& c = s.camera0;
    c = CameraRecord{};
    const std::int32_t width = s.core && s.core->displayWidth > 0 ? s.core->displayWidth : 640;
    const std::int32_t height = s.core && s.core->displayHeight > 0 ? s.core->displayHeight : 480;
    c.fullViewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
    c.viewport = c.fullViewport;
    c.fov = kDefaultFov;
    c.aspect = static_cast<float>(width) / static_cast<float>(height);
    BuildProjection(c);
    BuildView(c);
}

} // namespace

void CameraConstructor(HMODULE, HMODULE) {
    SetUpCamera0();
    s.renderCamera = 0;
}
void CameraDestructor() {}
void CameraSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void CameraPassCoreDataExport(CoreData* core) {
    s.core = core;
    SetUpCamera0();
    if (core) core->currentCamera = 0;
}
void CameraRefreshD3D(std::int32_t mode) {
    if (mode == 1) SetUpCamera0();
}
void CameraUpdate() {}

void CameraRenderFirstPass(std::int32_t skipClear) {
    s.renderCamera = 0;
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (device) {
        SendTransforms(s.camera0);
        device->SetViewport(&s.camera0.viewport);
        if (!skipClear) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    }
}

void CameraRenderPass() {
    CameraRenderFirstPass(0);
}

std::int32_t NextCameraRenderPass() {
    s.renderCamera = -1;
    if (IDirect3DDevice9* device = GetDirect3DDevice())
        device->SetViewport(&s.camera0.fullViewport);
    return 1;
}

std::int32_t GetCurrentRenderCamera() {
    return s.renderCamera;
}

CameraRecord* GetCameraInternalData(std::int32_t camera) {
    return camera == 0 ? &s.camera0 : nullptr;
}

void UpdateCameraView() {
    BuildView(s.camera0);
    SendTransforms(s.camera0);
}

void SetCurrentCameraFOV(float fov) {
    s.camera0.fov = fov;
    BuildProjection(s.camera0);
    SendTransforms(s.camera0);
}

float GetCameraPositionX(std::int32_t camera) {
    return camera == 0 ? s.camera0.position.x : 0.0f;
}
float GetCameraPositionY(std::int32_t camera) {
    return camera == 0 ? s.camera0.position.y : 0.0f;
}
float GetCameraPositionZ(std::int32_t camera) {
    return camera == 0 ? s.camera0.position.z : 0.0f;
}

void PositionCameraExport(std::int32_t, float, float, float) {}

void AutoCameraFocus(float, float, float, float) {}

CameraBridge GetCameraBridge() {
    return {GetCameraInternalData, UpdateCameraView,   SetCurrentCameraFOV,  GetCameraPositionX,
            GetCameraPositionY,    GetCameraPositionZ, PositionCameraExport, AutoCameraFocus};
}
