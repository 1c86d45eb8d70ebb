#include "core/win32.h"

#include "object3d/object3d.h"
#include "core/com_ptr.h"
#include "display/display.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/positioning.h"

#include <cmath>

namespace {

constexpr float kRadiansToDegrees = 57.295776f;
constexpr double kTwoPi = 6.2831854820251465;
constexpr int kWrapSteps = 100;

double IntoTurn(double angle) {
    if (angle < 0) angle += kTwoPi;
    if (angle >= kTwoPi) angle -= kTwoPi;
    return angle;
}

} // namespace

float object3d::WrapAngle(float angle) {
    for (int step = 0; step < kWrapSteps; ++step) {
        if (angle >= 0 && angle < 360) return angle;
        angle += angle < 0 ? 360.0f : -360.0f;
    }
    return 0;
}

void MatrixToEulerAngles(const D3DXMATRIX* m, D3DXVECTOR3* out) {
    if (!m || !out) return;
    if (std::fabs(m->_13) <= 1.0f) {
        out->x = std::atan2(m->_23, m->_33) * kRadiansToDegrees;
        out->y = std::asin(-m->_13) * kRadiansToDegrees;
        out->z = std::atan2(m->_12, m->_11) * kRadiansToDegrees;
    } else {
        out->x = out->z = 0;
        out->y = m->_13 * 90.0f;
    }
}

void GetAnglesToPoint(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* out) {
    if (!from || !to || !out) return;
    D3DXVECTOR3 d = *to - *from;
    const double yaw = IntoTurn(std::atan2(d.x, d.z));
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, static_cast<float>(-yaw));
    D3DXVec3TransformCoord(&d, &d, &turn);
    const double pitch = IntoTurn(-std::atan2(d.y, d.z));
    out->x = object3d::WrapAngle(static_cast<float>(pitch) * kRadiansToDegrees);
    out->y = object3d::WrapAngle(static_cast<float>(yaw) * kRadiansToDegrees);
    out->z = 0;
}

void SetObjectMatrixMode(ObjectRecord* object, std::int32_t mode) {
    if (!object) return;
    ObjectPosition& p = object->position;
    if (mode == 1 && p.matrixMode == 0) {
        CalculateObjectRotation(object);
        p.matFreeFlight = p.matRotation;
    }
    if (mode == 1) MatrixToEulerAngles(&p.matFreeFlight, &p.angle);
    p.matrixMode = static_cast<std::uint8_t>(mode);
}

void UpdateObjectLookVectors(ObjectRecord* object) {
    if (!object) return;
    ObjectPosition& p = object->position;
    if (p.matrixMode == 0) CalculateObjectRotation(object);
    const D3DXMATRIX& r = p.matrixMode == 0 ? p.matRotation : p.matFreeFlight;
    const D3DXVECTOR3 look(0, 0, 1), up(0, 1, 0), right(1, 0, 0);
    D3DXVec3TransformNormal(&p.look, &look, &r);
    D3DXVec3TransformNormal(&p.up, &up, &r);
    D3DXVec3TransformNormal(&p.right, &right, &r);
}

void RefreshObjectSortFlag(ObjectRecord* object) {
    if (!object) return;
    object->specialPass = object->locked || object->transparent || object->noDepth || object->ghost;
}

void SetObjectTransparencyFlags(ObjectRecord* object, std::int32_t mode) {
    if (!object) return;
    object->transparent = mode == 2 || mode == 3 || mode == 5 || mode == 6;
    object->waterLevel = mode == 5;
    RefreshObjectSortFlag(object);
}

void ResetObjectTransform(std::int32_t n) {
    PositionObject(n, 0, 0, 0);
    ScaleObject(n, 100, 100, 100);
    RotateObject(n, 0, 0, 0);
}

void SetObjectWorldPosition(std::int32_t n, float x, float y, float z) {
    if (!ConfirmObject(n)) return;
    ObjectRecord* object = g_Object3D.objects[n];
    object->collision.moved = 1;
    UpdateObjectCentre(object);
    object->position.position = D3DXVECTOR3(x, y, z) - object->collision.centreOffset;
}

float GetObjectWorldX(std::int32_t n) {
    return ConfirmObject(n) ? GetObjectCentrePositionX(g_Object3D.objects[n]) : 0.0f;
}
float GetObjectWorldY(std::int32_t n) {
    return ConfirmObject(n) ? GetObjectCentrePositionY(g_Object3D.objects[n]) : 0.0f;
}
float GetObjectWorldZ(std::int32_t n) {
    return ConfirmObject(n) ? GetObjectCentrePositionZ(g_Object3D.objects[n]) : 0.0f;
}

void GetCameraValue(std::int32_t n) {
    if (g_Object3D.cameras.autoFocus) g_Object3D.cameras.autoFocus(0, 0, 0, static_cast<float>(n));
}

bool IsStencilFormat(D3DFORMAT format) {
    return format == D3DFMT_D24S8 || format == D3DFMT_D15S1 || format == D3DFMT_D24X4S4;
}

bool DeviceSupportsStencil() {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device) return false;
    ComPtr<IDirect3DSurface9> depth;
    D3DSURFACE_DESC desc{};
    if (FAILED(device->GetDepthStencilSurface(depth.PutAddress())) || !depth ||
        FAILED(depth->GetDesc(&desc)))
        return false;
    constexpr DWORD kStencilOps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO |
                                  D3DSTENCILCAPS_REPLACE | D3DSTENCILCAPS_INCR |
                                  D3DSTENCILCAPS_DECR; // 199
    return IsStencilFormat(desc.Format) && (g_Object3D.caps.StencilCaps & kStencilOps);
}

bool DeviceSupportsClipPlanes() {
    return g_Object3D.caps.MaxUserClipPlanes > 0;
}

bool DeviceSupportsBumpMapping() {
    const D3DCAPS9& c = g_Object3D.caps;
    return (c.TextureOpCaps & (D3DTEXOPCAPS_BUMPENVMAP | D3DTEXOPCAPS_BUMPENVMAPLUMINANCE)) &&
           c.MaxTextureBlendStages >= 3;
}

bool DeviceSupportsTextureBlend() {
    return g_Object3D.caps.TextureOpCaps & 0x30800;
}

bool DeviceSupportsDot3() {
    const D3DCAPS9& c = g_Object3D.caps;
    return (c.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3) && c.MaxTextureBlendStages >= 2;
}

std::int32_t FormatBitsPerPixel(D3DFORMAT format) {
    return SurfaceFormatBits(format);
}

D3DCOLOR VectorToColour(const D3DXVECTOR3* v, float alpha) {
    if (!v) return 0;
    auto channel = [](float c) {
        return static_cast<DWORD>(static_cast<int>(c * 127.0f + 128.0f)) & 0xFF;
    };
    const DWORD a = static_cast<DWORD>(static_cast<int>(alpha * 255.0f)) & 0xFF;
    return a << 24 | channel(v->x) << 16 | channel(v->y) << 8 | channel(v->z);
}

IDirect3DCubeTexture9* CreateCubeRenderTarget(const std::int32_t images[6]) {
    const Object3DState& s = g_Object3D;
    if (!s.device || !images || !s.images.getWidth || !s.images.getPointer) return nullptr;
    const std::int32_t edge = s.images.getWidth(images[0]);
    if (edge <= 0) return nullptr;
    IDirect3DCubeTexture9* cube = nullptr;
    if (FAILED(s.device->CreateCubeTexture(edge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                           D3DPOOL_DEFAULT, &cube, nullptr)))
        return nullptr;
    for (int face = 0; face < 6; ++face) {
        IDirect3DTexture9* texture = s.images.getPointer(images[face]);
        if (!texture) continue;
        ComPtr<IDirect3DSurface9> from, to;
        if (FAILED(texture->GetSurfaceLevel(0, from.PutAddress())) ||
            FAILED(
                cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, to.PutAddress())))
            continue;
        D3DXLoadSurfaceFromSurface(to, nullptr, nullptr, from, nullptr, nullptr, D3DX_DEFAULT, 0);
    }
    return cube;
}
