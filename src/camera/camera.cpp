#include "core/win32.h"

#include "camera/camera.h"
#include "camera/camera_state.h"
#include "core/core.h"
#include "display/display.h"
#include "image/image.h"
#include "maths/maths.h"
#include "object3d/object3d.h"

#include <cmath>
#include <new>

CameraState g_Camera;

namespace {

constexpr float kDefaultFov = 61.962135f;
constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr float kRadiansToDegrees = 57.2957763671875f;
constexpr double kTwoPi = 6.2831854820251465;
constexpr int kWrapSteps = 100;
constexpr D3DCOLOR kOtherCameraBackdrop = D3DCOLOR_ARGB(255, 0, 128, 0);

double IntoTurn(double angle) {
    if (angle < 0) angle += kTwoPi;
    if (angle >= kTwoPi) angle -= kTwoPi;
    return angle;
}

// The view of an angle-mode camera: axes from the three rotations, then the position.
void BuildAngleView(CameraRecord& c) {
    D3DXMATRIX x, y, z, r;
    D3DXMatrixRotationX(&x, c.angle.x * kDegreesToRadians);
    D3DXMatrixRotationY(&y, c.angle.y * kDegreesToRadians);
    D3DXMatrixRotationZ(&z, c.angle.z * kDegreesToRadians);
    if (c.rotationOrder == 1) {
        D3DXMatrixMultiply(&r, &x, &y);
        D3DXMatrixMultiply(&r, &r, &z);
    } else {
        D3DXMatrixMultiply(&r, &z, &y);
        D3DXMatrixMultiply(&r, &r, &x);
    }
    const D3DXVECTOR3 right(1, 0, 0), up(0, 1, 0), look(0, 0, 1);
    D3DXVec3TransformCoord(&c.right, &right, &r);
    D3DXVec3TransformCoord(&c.up, &up, &r);
    D3DXVec3TransformCoord(&c.look, &look, &r);
    D3DXMatrixIdentity(&c.view);
    c.view._11 = c.right.x, c.view._12 = c.up.x, c.view._13 = c.look.x;
    c.view._21 = c.right.y, c.view._22 = c.up.y, c.view._23 = c.look.y;
    c.view._31 = c.right.z, c.view._32 = c.up.z, c.view._33 = c.look.z;
    c.view._41 = -D3DXVec3Dot(&c.position, &c.right);
    c.view._42 = -D3DXVec3Dot(&c.position, &c.up);
    c.view._43 = -D3DXVec3Dot(&c.position, &c.look);
}

// The view of a matrix-mode camera: its rotation matrix after the translation.
void BuildMatrixView(CameraRecord& c) {
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &c.rotation)) D3DXMatrixIdentity(&inverse);
    const D3DXVECTOR3 right(1, 0, 0), up(0, 1, 0), look(0, 0, 1);
    D3DXVec3TransformCoord(&c.right, &right, &inverse);
    D3DXVec3TransformCoord(&c.up, &up, &inverse);
    D3DXVec3TransformCoord(&c.look, &look, &inverse);
    c.angle = AnglesFromMatrix(inverse);
    D3DXMATRIX translation;
    D3DXMatrixTranslation(&translation, -c.position.x, -c.position.y, -c.position.z);
    c.view = translation * c.rotation;
}

// The surface a pass draws into, for the viewport limit.
void LimitToSurface(D3DVIEWPORT9& viewport, IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    if (!surface || FAILED(surface->GetDesc(&desc))) return;
    if (viewport.Width > desc.Width) viewport.Width = desc.Width;
    if (viewport.Height > desc.Height) viewport.Height = desc.Height;
}

// Render target 0 and depth back to the display's own.
void RestoreBackBuffer() {
    CameraState& s = g_Camera;
    if (s.core && s.core->renderTarget) s.device->SetRenderTarget(0, s.core->renderTarget);
    if (s.core && s.core->savedDepthSurface)
        s.device->SetDepthStencilSurface(s.core->savedDepthSurface);
    s.targetSwitched = false;
}

// Points drawing at the current record's image target; true when it did.
bool SelectRenderTarget(CameraRecord& c) {
    CameraState& s = g_Camera;
    if (c.targetImage <= 0) return false;
    IDirect3DBaseTexture9* image =
        s.images.getBaseTexture ? s.images.getBaseTexture(c.targetImage) : nullptr;
    if (image && image->GetType() == D3DRTYPE_CUBETEXTURE) {
        // A cube image takes the pass into the face its offset names.
        std::int32_t unused = 0, face = 0;
        if (s.images.getOffset) s.images.getOffset(c.targetImage, &unused, &face);
        ComPtr<IDirect3DSurface9> surface;
        if (face >= 0 && face < 6 &&
            SUCCEEDED(static_cast<IDirect3DCubeTexture9*>(image)->GetCubeMapSurface(
                static_cast<D3DCUBEMAP_FACES>(face), 0, surface.PutAddress()))) {
            s.device->SetRenderTarget(0, surface);
            if (s.depthSurface) s.device->SetDepthStencilSurface(s.depthSurface);
        }
        s.targetSwitched = true;
        return true;
    }
    if (!c.targetSurface) return false; // the target was lost: the back buffer serves
    s.device->SetRenderTarget(0, c.targetSurface);
    if (s.depthSurface) s.device->SetDepthStencilSurface(s.depthSurface);
    if (c.copySurface)
        D3DXLoadSurfaceFromSurface(c.copySurface, nullptr, nullptr, c.targetSurface, nullptr,
                                   nullptr, D3DX_FILTER_NONE, D3DCOLOR_ARGB(255, 0, 0, 0));
    s.targetSwitched = true;
    return true;
}

void ApplyClipMode(const CameraRecord& c) {
    CameraState& s = g_Camera;
    if (c.clipMode != 0 && c.clipMode != s.appliedClipMode) {
        s.device->SetClipPlane(0, c.clipPlane);
        s.device->SetRenderState(D3DRS_CLIPPLANEENABLE, 1);
        if (c.clipMode == 2) {
            D3DXMATRIX reflect;
            D3DXMatrixReflect(&reflect, &c.clipPlane);
            const D3DXMATRIX view = reflect * c.view;
            s.device->SetTransform(D3DTS_VIEW, &view);
        }
        s.appliedClipMode = c.clipMode;
    } else if (c.clipMode == 0 && s.appliedClipMode > 0) {
        s.device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
        s.appliedClipMode = 0;
    }
}

// Readies the device for a camera's pass: the viewport (kept inside the target surface), the
// clip plane, and the clear of the backdrop and depth.
void StartPass(CameraRecord& c, bool toImage, bool clear) {
    CameraState& s = g_Camera;
    D3DVIEWPORT9 viewport = c.viewport;
    LimitToSurface(viewport, toImage ? c.targetSurface : s.core ? s.core->renderTarget : nullptr);
    s.device->SetViewport(&viewport);
    ApplyClipMode(c);
    if (clear)
        s.device->Clear(0, nullptr,
                        c.backdropOn == 1 ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_ZBUFFER,
                        c.backdropColour, 1.0f, 0);
}

void KeepVectorEntries() {
    g_Camera.vectors = GetVectorEntries();
    g_Camera.getObject = GetObjectPointer;
}

} // namespace

float CameraWrapAngle(float angle) {
    for (int step = 0; step < kWrapSteps; ++step) {
        if (angle >= 0 && angle < 360) return angle;
        angle += angle < 0 ? 360.0f : -360.0f;
    }
    return 0;
}

D3DXVECTOR3 AnglesFromMatrix(const D3DXMATRIX& m) {
    if (std::fabs(m._13) <= 1.0f)
        return {std::atan2(m._23, m._33) * kRadiansToDegrees, std::asin(-m._13) * kRadiansToDegrees,
                std::atan2(m._12, m._11) * kRadiansToDegrees};
    return {0, m._13 * 1.5707963705062866f * kRadiansToDegrees, 0};
}

D3DXVECTOR3 AnglesToward(const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    D3DXVECTOR3 d = to - from;
    const double yaw = IntoTurn(std::atan2(d.x, d.z));
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, static_cast<float>(-yaw));
    D3DXVec3TransformCoord(&d, &d, &turn);
    const double pitch = IntoTurn(-std::atan2(d.y, d.z));
    return {CameraWrapAngle(static_cast<float>(pitch) * kRadiansToDegrees),
            CameraWrapAngle(static_cast<float>(yaw) * kRadiansToDegrees), 0};
}

CameraRecord* FindCamera(std::int32_t n) {
    g_Camera.current = static_cast<CameraRecord*>(g_Camera.cameras.Find(n));
    return g_Camera.current;
}

CameraRecord* CheckedCamera(std::int32_t n) {
    if (n < 0 || n > 22000000) {
        RaiseRuntimeError(kCameraNumberIllegal);
        return nullptr;
    }
    CameraRecord* camera = FindCamera(n);
    if (!camera) RaiseRuntimeError(kCameraMissing);
    return camera;
}

void BuildCameraProjection(CameraRecord& c, std::int32_t n) {
    D3DXMatrixPerspectiveFovLH(&c.projection, c.fov * kDegreesToRadians, c.aspect, c.nearRange,
                               c.farRange);
    if (n == g_Camera.currentNumber && g_Camera.device)
        g_Camera.device->SetTransform(D3DTS_PROJECTION, &c.projection);
}

void RebuildCurrentView() {
    CameraState& s = g_Camera;
    CameraRecord* c = s.current;
    if (!c) return;
    if (!c->storedMatrices) {
        if (c->matrixMode)
            BuildMatrixView(*c);
        else
            BuildAngleView(*c);
    }
    if (!s.device) return;
    s.device->SetTransform(D3DTS_VIEW, c->storedMatrices ? &c->userView : &c->view);
    s.device->SetTransform(D3DTS_PROJECTION, &c->projection);
}

void SetUpCamera(std::int32_t n) {
    CameraState& s = g_Camera;
    CameraRecord* zero = FindCamera(0);
    D3DVIEWPORT9 viewport{};
    if (n == 0) {
        if (s.device) s.device->GetViewport(&viewport);
    } else if (zero) {
        viewport = zero->viewport;
    } else {
        return;
    }
    CameraRecord* c = FindCamera(n);
    if (!c) return;
    DWORD width = viewport.Width, height = viewport.Height;
    float minZ = viewport.MinZ, maxZ = viewport.MaxZ;
    if (s.core) {
        width = static_cast<DWORD>(s.core->displayWidth);
        height = static_cast<DWORD>(s.core->displayHeight);
        minZ = 0.0f, maxZ = 1.0f;
    }
    c->fullViewport = {0, 0, width, height, minZ, maxZ};
    c->fov = kDefaultFov;
    c->aspect = height ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    if (c->aspectOverride != 0) c->aspect = c->aspectOverride;
    BuildCameraProjection(*c, n);
    c->viewport = {0, 0, width, height, 0.0f, 1.0f};
    c->position = D3DXVECTOR3(0, 0, 0);
    c->matrixMode = 0;
    c->rotationOrder = 1;
    RebuildCurrentView();
    if (n > 0) {
        c->backdropOn = 1;
        c->backdropColour = kOtherCameraBackdrop;
    }
    if (s.core) s.core->currentCamera = n;
    c->storedMatrices = 0;
    c->clipMode = 0;
    c->clipPlane = D3DXPLANE(0, 0, 0, 0);
}

void ReleaseCameraTargets(CameraRecord& c) {
    if (c.targetSurface) c.targetSurface->Release();
    c.targetSurface = nullptr;
    if (c.copyTexture) {
        if (c.targetTexture) c.targetTexture->Release();
        if (c.copySurface) c.copySurface->Release();
        c.targetTexture = nullptr;
        c.copySurface = nullptr;
        c.copyTexture = nullptr;
    }
    c.targetTexture = nullptr; // without copy mode the image module's
}

void CameraConstructor(HMODULE, HMODULE) {
    CameraState& s = g_Camera;
    s.current = nullptr;
    s.device = GetDirect3DDevice();
    s.d3d.Reset();
    if (!s.device)
        ReportInternalError("Failed to access D3D for camera DLL");
    else
        s.device->GetDirect3D(s.d3d.PutAddress());
    s.images = GetImageBridge();
    s.currentNumber = 0;
    // Camera 0 takes its old place, first in the list, so the others go on being drawn after it.
    CameraRecord* old = static_cast<CameraRecord*>(s.cameras.Find(0));
    auto* zero = new (std::nothrow) CameraRecord;
    if (zero) {
        s.cameras.Add(0, zero, 0, 0);
        if (old) {
            ReleaseCameraTargets(*old);
            delete old;
        }
        SetUpCamera(0);
    }
    // The other cameras' targets were lost with the old device: they are made again.
    for (IdListNode* n = s.cameras.first; n; n = n->next) {
        auto* c = static_cast<CameraRecord*>(n->data);
        if (n->id == 0 || c->targetImage <= 0 || c->targetSurface) continue;
        const std::int32_t image = c->targetImage;
        c->targetImage = 0;
        MakeCameraTarget(*c, image, c->targetWidth, c->targetHeight, c->targetCopy);
    }
    s.firstFocus = 1;
    s.renderCamera = 0;
    if (s.core) s.core->currentCamera = 0;
}

void CameraDestructorExport() {
    CameraState& s = g_Camera;
    for (IdListNode* n = s.cameras.first; n; n = n->next)
        ReleaseCameraTargets(*static_cast<CameraRecord*>(n->data));
    s.depthSurface.Reset();
    s.depthWidth = s.depthHeight = 0;
    s.d3d.Reset();
    s.device = nullptr;
}

void CameraSetErrorHandlerExport(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void CameraPassCoreDataExport(CoreData* core) {
    g_Camera.core = core;
    KeepVectorEntries();
    // Camera 0 was set up before the module knew the display's size.
    if (core && g_Camera.cameras.Find(0)) {
        const std::int32_t keep = g_Camera.currentNumber;
        SetUpCamera(0);
        g_Camera.currentNumber = keep;
        core->currentCamera = keep;
    }
}

void CameraRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        CameraDestructorExport();
    } else if (mode == 1) {
        CameraConstructor(nullptr, nullptr);
        KeepVectorEntries();
    }
}

void CameraUpdate() {}

void CameraRenderFirstPass(std::int32_t skipClear) {
    CameraState& s = g_Camera;
    s.renderCamera = 0;
    CameraRecord* c = FindCamera(0);
    if (!c || !s.device) {
        s.renderCamera = -1;
        return;
    }
    const bool toImage = SelectRenderTarget(*c);
    RebuildCurrentView();
    StartPass(*c, toImage, skipClear == 0);
}

void CameraRenderPass() {
    CameraRenderFirstPass(0);
}

std::int32_t NextCameraRenderPass() {
    CameraState& s = g_Camera;
    IdListNode* node = s.cameras.first;
    while (node && node->id != s.renderCamera)
        node = node->next;
    IdListNode* next = node ? node->next : nullptr;
    s.renderCamera = next ? next->id : -1;
    if (!s.device) return 1;
    if (next) {
        CameraRecord* c = FindCamera(next->id);
        const bool toImage = SelectRenderTarget(*c);
        if (!toImage) RestoreBackBuffer();
        RebuildCurrentView();
        StartPass(*c, toImage, true);
        return 0;
    }
    if (s.targetSwitched) RestoreBackBuffer();
    if (CameraRecord* zero = FindCamera(0)) {
        D3DVIEWPORT9 viewport = zero->fullViewport;
        LimitToSurface(viewport, s.core ? s.core->renderTarget : nullptr);
        s.device->SetViewport(&viewport);
    }
    if (s.appliedClipMode > 0) {
        s.device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
        s.appliedClipMode = 0;
    }
    return 1;
}

std::int32_t GetCurrentRenderCamera() {
    return g_Camera.renderCamera;
}

CameraRecord* GetCameraInternalData(std::int32_t camera) {
    return FindCamera(camera);
}

void UpdateCameraView() {
    RebuildCurrentView();
}

void SetCurrentCameraFOV(float fov) {
    SetCameraFOV(g_Camera.currentNumber, fov);
}

void PositionCameraExport(std::int32_t camera, float x, float y, float z) {
    PositionCamera(camera, x, y, z);
}

void AutoCameraFocus(float x, float y, float z, float size) {
    CameraState& s = g_Camera;
    CameraRecord* c = FindCamera(s.currentNumber);
    // A focus asked for by another module raises no camera error of its own.
    if (s.firstFocus == 1) {
        s.firstFocus = 0;
        if (c) c->backdropOn = 1;
    }
    if (s.autoCamera != 1 || !c) return;
    c->position = D3DXVECTOR3(x, y + size * 0.5f, z - size * 3.0f);
    if (c->position.z > -2.0f) c->position.z = -2.0f;
    c->angle = AnglesToward(c->position, D3DXVECTOR3(x, y, z));
    RebuildCurrentView();
}

CameraBridge GetCameraBridge() {
    return {GetCameraInternalData, UpdateCameraView,   SetCurrentCameraFOV,  GetCameraPositionX,
            GetCameraPositionY,    GetCameraPositionZ, PositionCameraExport, AutoCameraFocus};
}
