#include "core/win32.h"

#include "camera/camera.h"
#include "camera/camera_state.h"
#include "core/core.h"
#include "display/display.h"
#include "object3d/object_records.h"
#include "core/error_numbers.h"

#include <cmath>
#include <new>

namespace {

constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr float kRadiansToDegrees = 57.2957763671875f;
constexpr std::int32_t kCopyImageUsage = 21;

// Runs fn on camera n after its checks, then rebuilds its view.
template <typename Fn> void Turned(std::int32_t n, Fn&& fn) {
    if (CameraRecord* c = CheckedCamera(n)) {
        fn(*c);
        RebuildCurrentView();
    }
}

// Camera n and a vector item after their checks (7801 for a missing vector); null after an
// error.
CameraRecord* WithVector(std::int32_t n, std::int32_t vector) {
    CameraRecord* c = CheckedCamera(n);
    if (!c) return nullptr;
    const VectorEntries& v = g_Camera.vectors;
    if (!v.exists || !v.getVector3 || !v.setVector3 || !v.exists(vector)) {
        RaiseRuntimeError(kValueOutOfRange);
        return nullptr;
    }
    return c;
}

// A turn or move to the vector's x, y, z, then the rebuild.
template <typename Fn> void TurnedToVector(std::int32_t n, std::int32_t vector, Fn&& fn) {
    CameraRecord* c = WithVector(n, vector);
    if (!c) return;
    float xyz[3] = {};
    g_Camera.vectors.getVector3(xyz, vector);
    fn(*c, D3DXVECTOR3(xyz[0], xyz[1], xyz[2]));
    RebuildCurrentView();
}

// A camera value after its checks; 0 when they fail.
template <typename Fn> float Read(std::int32_t n, Fn&& fn) {
    const CameraRecord* c = CheckedCamera(n);
    return c ? fn(*c) : 0.0f;
}

// The camera-0 form of a getter: no range check, 7203 when camera 0 is missing.
template <typename Fn> float ReadZero(Fn&& fn) {
    const CameraRecord* c = FindCamera(0);
    if (!c) RaiseRuntimeError(kCameraMissing);
    return c ? fn(*c) : 0.0f;
}

// A turn about the camera's own axis: matrix mode, entered from its view when in angle mode.
void MatrixTurn(std::int32_t n, char axis, float degrees) {
    Turned(n, [axis, degrees](CameraRecord& c) {
        if (!c.matrixMode) {
            c.rotation = c.view;
            c.rotation._41 = c.rotation._42 = c.rotation._43 = 0;
            c.angle = AnglesFromMatrix(c.rotation);
        }
        D3DXMATRIX turn;
        const float radians = degrees * kDegreesToRadians;
        if (axis == 'x')
            D3DXMatrixRotationX(&turn, radians);
        else if (axis == 'y')
            D3DXMatrixRotationY(&turn, radians);
        else
            D3DXMatrixRotationZ(&turn, radians);
        c.rotation = c.rotation * turn;
        c.matrixMode = 1;
    });
}

// The first power of two from 1 to 4096 that is not below v; v itself above 4096.
std::int32_t NextPowerOfTwo(std::int32_t v) {
    for (std::int32_t p = 1; p <= 4096; p *= 2)
        if (p >= v) return p;
    return v;
}

// The shared depth surface, made (or made larger) for a target of this size.
bool EnsureDepthSurface(UINT width, UINT height, D3DFORMAT targetFormat) {
    CameraState& s = g_Camera;
    if (s.depthSurface && (s.depthWidth < width || s.depthHeight < height)) s.depthSurface.Reset();
    if (s.depthSurface) return true;
    D3DFORMAT format = ChooseDepthStencilFormat(s.d3d, targetFormat);
    if (format == D3DFMT_UNKNOWN) format = GetDisplayDepthFormat();
    if (FAILED(s.device->CreateDepthStencilSurface(width, height, format, D3DMULTISAMPLE_NONE, 0,
                                                   TRUE, s.depthSurface.PutAddress(), nullptr)) ||
        !s.depthSurface)
        return false;
    s.depthWidth = width;
    s.depthHeight = height;
    return true;
}

// Whether the device makes a texture of width x height without cutting it.
bool TargetSizeFits(std::int32_t width, std::int32_t height) {
    D3DCAPS9 caps{};
    return SUCCEEDED(g_Camera.device->GetDeviceCaps(&caps)) &&
           std::int64_t{width} <= std::int64_t{caps.MaxTextureWidth} &&
           std::int64_t{height} <= std::int64_t{caps.MaxTextureHeight};
}

} // namespace

bool MakeCameraTarget(CameraRecord& c, std::int32_t image, std::int32_t width, std::int32_t height,
                      std::int32_t copy) {
    CameraState& s = g_Camera;
    // Refused before anything changes: a target that cannot be made keeps the old image. An
    // image already under the number is made again by the create below, so what shows it (a
    // mesh, a sprite) shows the camera's picture.
    if (!s.device || c.targetTexture || !TargetSizeFits(width, height)) return false;
    D3DSURFACE_DESC back{};
    back.Format = D3DFMT_X8R8G8B8;
    if (s.core && s.core->savedRenderTarget) s.core->savedRenderTarget->GetDesc(&back);
    if (copy == 1) {
        if (FAILED(D3DXCreateTexture(s.device, width, height, D3DX_DEFAULT, D3DUSAGE_RENDERTARGET,
                                     back.Format, D3DPOOL_DEFAULT, &c.targetTexture)))
            c.targetTexture = nullptr;
        c.copyTexture = c.targetTexture && s.images.createWithUsage
                            ? s.images.createWithUsage(image, width, height, kCopyImageUsage)
                            : nullptr;
        if (c.copyTexture && FAILED(c.copyTexture->GetSurfaceLevel(0, &c.copySurface)))
            c.copySurface = nullptr;
    } else if (s.images.createRenderTarget) {
        c.targetTexture = s.images.createRenderTarget(image, width, height);
    }
    // Whatever fails leaves the camera drawing into the back buffer.
    if (!c.targetTexture || (copy == 1 && !c.copySurface) ||
        FAILED(c.targetTexture->GetSurfaceLevel(0, &c.targetSurface)) || !c.targetSurface ||
        !EnsureDepthSurface(width, height, back.Format)) {
        if (c.targetSurface) c.targetSurface->Release();
        if (c.copySurface) c.copySurface->Release();
        if (copy == 1 && c.targetTexture) c.targetTexture->Release(); // its own, not the image's
        c.targetSurface = c.copySurface = nullptr;
        c.targetTexture = c.copyTexture = nullptr;
        c.targetImage = 0;
        // An image made for the target would claim a size nothing draws into.
        if (s.images.exist && s.images.exist(image) && s.images.deleteImage)
            s.images.deleteImage(image);
        return false;
    }
    c.targetImage = image;
    c.targetWidth = width, c.targetHeight = height, c.targetCopy = copy;
    c.viewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
    return true;
}

void MakeCamera(std::int32_t n) {
    CameraState& s = g_Camera;
    if (n == 0) {
        RaiseRuntimeError(kCameraZeroFixed);
        return;
    }
    // -1 means "no camera" to the frame loop: numbers outside the range are refused.
    if (n < 0 || n > 22000000) {
        RaiseRuntimeError(kCameraNumberIllegal);
        return;
    }
    if (s.cameras.Find(n)) {
        RaiseRuntimeError(kCameraExists);
        return;
    }
    // A camera that cannot be had is an error, never a quiet nothing.
    auto* c = new (std::nothrow) CameraRecord;
    if (!c || s.cameras.Add(n, c, 1, 0) == 0) {
        delete c;
        RaiseRuntimeError(kStringNoMemory);
        return;
    }
    SetUpCamera(n);
}

void DeleteCamera(std::int32_t n) {
    CameraState& s = g_Camera;
    CameraRecord* c = CheckedCamera(n);
    if (!c) return;
    if (n == 0) {
        RaiseRuntimeError(kCameraZeroFixed);
        return;
    }
    ReleaseCameraTargets(*c);
    s.cameras.Delete(n);
    delete c;
    s.current = nullptr;
    if (s.renderCamera == n) s.renderCamera = -1;
}

void SetCurrentCamera(std::int32_t n) {
    CameraState& s = g_Camera;
    if (n < 0 || n > 22000000) {
        RaiseRuntimeError(kCameraNumberIllegal);
        return;
    }
    if (n > 0 && !FindCamera(n)) {
        RaiseRuntimeError(kCameraMissing);
        return;
    }
    s.currentNumber = n;
    if (s.core) s.core->currentCamera = n;
}

void AutoCamOn() {
    g_Camera.autoCamera = 1;
}
void AutoCamOff() {
    g_Camera.autoCamera = 0;
}

void PositionCamera(std::int32_t n, float x, float y, float z) {
    Turned(n, [=](CameraRecord& c) { c.position = D3DXVECTOR3(x, y, z); });
}
void PositionCamera(float x, float y, float z) {
    PositionCamera(g_Camera.currentNumber, x, y, z);
}
void PositionCameraToVector(std::int32_t n, std::int32_t vector) {
    TurnedToVector(n, vector, [](CameraRecord& c, D3DXVECTOR3 v) { c.position = v; });
}

void RotateCamera(std::int32_t n, float x, float y, float z) {
    Turned(n, [=](CameraRecord& c) {
        c.angle = D3DXVECTOR3(x, y, z);
        c.matrixMode = 0;
    });
}
void RotateCamera(float x, float y, float z) {
    RotateCamera(g_Camera.currentNumber, x, y, z);
}
void RotateCameraToVector(std::int32_t n, std::int32_t vector) {
    // Angle mode, as RotateCamera: in matrix mode the rebuild would overwrite the angles.
    TurnedToVector(n, vector, [](CameraRecord& c, D3DXVECTOR3 v) {
        c.angle = v;
        c.matrixMode = 0;
    });
}
void XRotateCamera(std::int32_t n, float angle) {
    Turned(n, [=](CameraRecord& c) {
        c.angle.x = angle;
        c.matrixMode = 0;
    });
}
void XRotateCamera(float angle) {
    XRotateCamera(g_Camera.currentNumber, angle);
}
void YRotateCamera(std::int32_t n, float angle) {
    Turned(n, [=](CameraRecord& c) {
        c.angle.y = angle;
        c.matrixMode = 0;
    });
}
void YRotateCamera(float angle) {
    YRotateCamera(g_Camera.currentNumber, angle);
}
void ZRotateCamera(std::int32_t n, float angle) {
    Turned(n, [=](CameraRecord& c) {
        c.angle.z = angle;
        c.matrixMode = 0;
    });
}
void ZRotateCamera(float angle) {
    ZRotateCamera(g_Camera.currentNumber, angle);
}
void PointCamera(std::int32_t n, float x, float y, float z) {
    Turned(n, [=](CameraRecord& c) {
        c.angle = AnglesToward(c.position, D3DXVECTOR3(x, y, z));
        c.matrixMode = 0;
    });
}
void PointCamera(float x, float y, float z) {
    PointCamera(g_Camera.currentNumber, x, y, z);
}

void MoveCamera(std::int32_t n, float distance) {
    Turned(n, [=](CameraRecord& c) { c.position += c.look * distance; });
}
void MoveCamera(float distance) {
    MoveCamera(g_Camera.currentNumber, distance);
}
void MoveCameraUp(std::int32_t n, float distance) {
    Turned(n, [=](CameraRecord& c) { c.position += c.up * distance; });
}
void MoveCameraDown(std::int32_t n, float distance) {
    Turned(n, [=](CameraRecord& c) { c.position -= c.up * distance; });
}
void MoveCameraLeft(std::int32_t n, float distance) {
    Turned(n, [=](CameraRecord& c) { c.position -= c.right * distance; });
}
void MoveCameraRight(std::int32_t n, float distance) {
    Turned(n, [=](CameraRecord& c) { c.position += c.right * distance; });
}

void TurnCameraLeft(std::int32_t n, float angle) {
    MatrixTurn(n, 'y', angle);
}
void TurnCameraLeft(float angle) {
    TurnCameraLeft(g_Camera.currentNumber, angle);
}
void TurnCameraRight(std::int32_t n, float angle) {
    MatrixTurn(n, 'y', -angle);
}
void TurnCameraRight(float angle) {
    TurnCameraRight(g_Camera.currentNumber, angle);
}
void PitchCameraUp(std::int32_t n, float angle) {
    MatrixTurn(n, 'x', angle);
}
void PitchCameraUp(float angle) {
    PitchCameraUp(g_Camera.currentNumber, angle);
}
void PitchCameraDown(std::int32_t n, float angle) {
    MatrixTurn(n, 'x', -angle);
}
void PitchCameraDown(float angle) {
    PitchCameraDown(g_Camera.currentNumber, angle);
}
void RollCameraLeft(std::int32_t n, float angle) {
    MatrixTurn(n, 'z', -angle);
}
void RollCameraLeft(float angle) {
    RollCameraLeft(g_Camera.currentNumber, angle);
}
void RollCameraRight(std::int32_t n, float angle) {
    MatrixTurn(n, 'z', angle);
}
void RollCameraRight(float angle) {
    RollCameraRight(g_Camera.currentNumber, angle);
}

void SetCameraToFollow(std::int32_t n, float x, float y, float z, float angle, float distance,
                       float height, float smooth) {
    // A smoothing below 1 would overshoot (or divide by zero): it counts as 1.
    if (!(smooth >= 1.0f)) smooth = 1.0f;
    Turned(n, [=](CameraRecord& c) {
        const float a = angle * kDegreesToRadians;
        const D3DXVECTOR3 target(x - std::sin(a) * distance, y + height,
                                 z - std::cos(a) * distance);
        const float dx = target.x - c.position.x, dz = target.z - c.position.z;
        const float heading = std::atan2(dx, dz);
        const float share = 1.0f / smooth;
        const float step = std::sqrt(dx * dx + dz * dz) * share;
        const D3DXVECTOR3 next(c.position.x + std::sin(heading) * step,
                               c.position.y + (target.y - c.position.y) * share,
                               c.position.z + std::cos(heading) * step);
        const float wanted = std::atan2(x - next.x, z - next.z) * kRadiansToDegrees;
        float e = wanted - c.angle.y;
        if (e < -180)
            e = (wanted + 360) - c.angle.y;
        else if (e > 180)
            e = wanted - (c.angle.y + 360);
        c.angle.y = CameraWrapAngle(c.angle.y + e * 0.6666666865348816f);
        c.position = next;
    });
}
void SetCameraToFollow(float x, float y, float z, float angle, float distance, float height,
                       float smooth) {
    SetCameraToFollow(g_Camera.currentNumber, x, y, z, angle, distance, height, smooth);
}

void ControlCameraUsingArrowKeys(std::int32_t n, float move, float turn) {
    Turned(n, [=](CameraRecord& c) {
        if (GetAsyncKeyState(VK_UP)) c.position += c.look * move;
        if (GetAsyncKeyState(VK_DOWN)) c.position -= c.look * move;
        if (GetAsyncKeyState(VK_LEFT)) c.angle.y -= turn;
        if (GetAsyncKeyState(VK_RIGHT)) c.angle.y += turn;
        c.matrixMode = 0;
        c.angle.x = c.angle.z = 0;
    });
}

void SetCameraToObjectOrientation(std::int32_t n, std::int32_t object) {
    CameraState& s = g_Camera;
    CameraRecord* c = FindCamera(n);
    if (!c) {
        RaiseRuntimeError(kCameraMissing);
        return;
    }
    const ObjectRecord* o = s.getObject ? s.getObject(object) : nullptr;
    if (!o) return;
    const ObjectPosition& p = o->position;
    c->look = p.look, c->up = p.up, c->right = p.right;
    c->angle = p.angle;
    c->matrixMode = p.matrixMode;
    if (!D3DXMatrixInverse(&c->rotation, nullptr, &p.matFreeFlight))
        D3DXMatrixIdentity(&c->rotation);
    c->rotationOrder = p.rotationOrder == 0 ? 1 : 0;
    RebuildCurrentView();
}
void SetCameraToObjectOrientation(std::int32_t object) {
    SetCameraToObjectOrientation(g_Camera.currentNumber, object);
}

void SetCameraRange(std::int32_t n, float nearRange, float farRange) {
    if (CameraRecord* c = CheckedCamera(n)) {
        c->nearRange = nearRange;
        c->farRange = farRange;
        BuildCameraProjection(*c, n);
    }
}
void SetCameraRange(float nearRange, float farRange) {
    SetCameraRange(g_Camera.currentNumber, nearRange, farRange);
}
void SetCameraFOV(std::int32_t n, float fov) {
    if (CameraRecord* c = CheckedCamera(n)) {
        c->fov = fov;
        BuildCameraProjection(*c, n);
    }
}
void SetCameraAspect(std::int32_t n, float aspect) {
    if (CameraRecord* c = CheckedCamera(n)) {
        c->aspectOverride = c->aspect = aspect;
        BuildCameraProjection(*c, n);
    }
}
void SetCameraAspect(float aspect) {
    SetCameraAspect(g_Camera.currentNumber, aspect);
}
void SetCameraView(std::int32_t n, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom) {
    CameraRecord* c = CheckedCamera(n);
    if (!c) return;
    // A corner before the surface's or a side that runs backwards has no viewport: as unsigned
    // device words it would name one some four billion pixels wide.
    if (left < 0 || top < 0 || right < left || bottom < top)
        return RaiseRuntimeError(kValueOutOfRange);
    c->viewport = {static_cast<DWORD>(left),
                   static_cast<DWORD>(top),
                   static_cast<DWORD>(right - left),
                   static_cast<DWORD>(bottom - top),
                   0.0f,
                   1.0f};
}
void SetCameraView(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    SetCameraView(g_Camera.currentNumber, left, top, right, bottom);
}
void ClearCameraView(std::int32_t n) {
    if (CameraRecord* c = CheckedCamera(n); c && g_Camera.device)
        g_Camera.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, c->backdropColour,
                               1.0f, 0);
}
void ClearCameraView() {
    ClearCameraView(g_Camera.currentNumber);
}
void SetCameraRotationXYZ(std::int32_t n) {
    if (CameraRecord* c = CheckedCamera(n)) c->rotationOrder = 1;
}
void SetCameraRotationXYZ() {
    SetCameraRotationXYZ(0);
}
void SetCameraRotationZYX(std::int32_t n) {
    if (CameraRecord* c = CheckedCamera(n)) c->rotationOrder = 0;
}
void SetCameraRotationZYX() {
    SetCameraRotationZYX(0);
}
void BackdropOn(std::int32_t n) {
    if (CameraRecord* c = CheckedCamera(n)) c->backdropOn = 1;
}
void BackdropOn() {
    BackdropOn(g_Camera.currentNumber);
}
void BackdropOff(std::int32_t n) {
    if (CameraRecord* c = CheckedCamera(n)) {
        c->backdropOn = 0;
        g_Camera.firstFocus = 0;
    }
}
void BackdropOff() {
    BackdropOff(g_Camera.currentNumber);
}
void BackdropColor(std::int32_t n, D3DCOLOR colour) {
    if (CameraRecord* c = CheckedCamera(n)) {
        c->backdropColour = colour;
        if (n == 0 && g_Camera.core) g_Camera.core->backdropColour = colour;
    }
}
void BackdropColor(D3DCOLOR colour) {
    BackdropColor(0, colour);
}

void SetCameraToImage(std::int32_t n, std::int32_t image, std::int32_t width, std::int32_t height,
                      std::int32_t copy) {
    CameraRecord* c = CheckedCamera(n);
    if (!c) return;
    if (image < 1 || image > 22000000) {
        RaiseRuntimeError(kImageNumberIllegal);
        return;
    }
    if (width != NextPowerOfTwo(width) || height != NextPowerOfTwo(height) || width < 1 ||
        height < 1) {
        RaiseRuntimeError(kImageSizeIllegal);
        return;
    }
    if (c->targetTexture) return; // a camera keeps the target it has
    if (!MakeCameraTarget(*c, image, width, height, copy)) RaiseRuntimeError(kCameraTargetNotMade);
}

float CameraPositionX(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.position.x; });
}
float CameraPositionX() {
    return ReadZero([](const CameraRecord& c) { return c.position.x; });
}
float CameraPositionY(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.position.y; });
}
float CameraPositionY() {
    return ReadZero([](const CameraRecord& c) { return c.position.y; });
}
float CameraPositionZ(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.position.z; });
}
float CameraPositionZ() {
    return ReadZero([](const CameraRecord& c) { return c.position.z; });
}
float CameraAngleX(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.angle.x; });
}
float CameraAngleX() {
    return ReadZero([](const CameraRecord& c) { return c.angle.x; });
}
float CameraAngleY(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.angle.y; });
}
float CameraAngleY() {
    return ReadZero([](const CameraRecord& c) { return c.angle.y; });
}
float CameraAngleZ(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.angle.z; });
}
float CameraAngleZ() {
    return ReadZero([](const CameraRecord& c) { return c.angle.z; });
}
float CameraLookX(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.look.x; });
}
float CameraLookY(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.look.y; });
}
float CameraLookZ(std::int32_t n) {
    return Read(n, [](const CameraRecord& c) { return c.look.z; });
}
float GetCameraPositionX(std::int32_t camera) {
    return CameraPositionX(camera);
}
float GetCameraPositionY(std::int32_t camera) {
    return CameraPositionY(camera);
}
float GetCameraPositionZ(std::int32_t camera) {
    return CameraPositionZ(camera);
}

void SetVector3ToCameraPosition(std::int32_t vector, std::int32_t n) {
    if (const CameraRecord* c = WithVector(n, vector))
        g_Camera.vectors.setVector3(vector, c->position.x, c->position.y, c->position.z);
}
void SetVector3ToCameraRotation(std::int32_t vector, std::int32_t n) {
    if (const CameraRecord* c = WithVector(n, vector))
        g_Camera.vectors.setVector3(vector, c->angle.x, c->angle.y, c->angle.z);
}

D3DXMATRIX* GetCameraViewMatrix(D3DXMATRIX* destination, std::int32_t n) {
    if (!destination) return destination;
    const CameraRecord* c = FindCamera(n);
    if (c)
        *destination = c->view;
    else
        D3DXMatrixIdentity(destination);
    return destination;
}

D3DXMATRIX* GetCameraProjectionMatrix(D3DXMATRIX* destination, std::int32_t n) {
    if (!destination) return destination;
    const CameraRecord* c = FindCamera(n);
    if (c)
        *destination = c->projection;
    else
        D3DXMatrixIdentity(destination);
    return destination;
}
