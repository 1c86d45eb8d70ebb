#include "core/win32.h"

#include "light/light.h"
#include "core/core.h"
#include "core/idlist.h"
#include "display/display.h"
#include "maths/maths.h"
#include "core/error_numbers.h"

#include <cstring>
#include <new>

namespace {

constexpr std::int32_t kLargestNumber = 22000000;
constexpr float kByteToFloat = 0.003921568859368563f;
constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr float kNewLightRange = 1000.0f;
constexpr float kDirectionalRange = 5000.0f;

// Written only by the light module, on the main thread. The lights live from MakeLight (light 0
// from the Constructor) to DeleteLight or the Destructor; a device reset leaves light 0 only.
struct State {
    IdList lights;                  // number -> LightRecord, owned
    LightRecord* current = nullptr; // the last lookup's record
    IDirect3DDevice9* device = nullptr;
    std::int32_t ambient[3] = {255, 255, 255};
    std::int32_t ambientPercentage = 25;
    std::int32_t fogColour[3] = {0, 0, 0};
    float fogStart = 0.0f, fogEnd = 3000.0f;
    CoreData* core = nullptr;
    VectorEntries vectors; // the maths module's, from the CoreData pass on
};
State s;

DWORD FloatBits(float f) {
    DWORD bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void SetState(D3DRENDERSTATETYPE state, DWORD value) {
    if (s.device) s.device->SetRenderState(state, value);
}

LightRecord* Find(std::int32_t n) {
    s.current = static_cast<LightRecord*>(s.lights.Find(n));
    return s.current;
}

// The light after the range check (7301) and the lookup (7303); null after either error.
LightRecord* Checked(std::int32_t n) {
    if (n < 0 || n > kLargestNumber) {
        RaiseRuntimeError(kLightNumberIllegal);
        return nullptr;
    }
    LightRecord* light = Find(n);
    if (!light) RaiseRuntimeError(kLightMissing);
    return light;
}

// The light by lookup alone (the record-only setters).
LightRecord* Looked(std::int32_t n) {
    LightRecord* light = Find(n);
    if (!light) RaiseRuntimeError(kLightMissing);
    return light;
}

void Send(std::int32_t n, const LightRecord& light) {
    if (s.device) s.device->SetLight(static_cast<DWORD>(n), &light.light);
}

// Runs fn on light n after its checks, then sends the light.
template <typename Fn> void Changed(std::int32_t n, Fn&& fn) {
    if (LightRecord* light = Checked(n)) {
        fn(*light);
        Send(n, *light);
    }
}

// The vector item's x, y, z; false after 7801.
bool ReadVector(std::int32_t vector, D3DXVECTOR3& out) {
    const VectorEntries& v = s.vectors;
    if (!v.exists || !v.getVector3 || !v.setVector3 || !v.exists(vector)) {
        RaiseRuntimeError(kValueOutOfRange);
        return false;
    }
    float xyz[3] = {};
    v.getVector3(xyz, vector);
    out = D3DXVECTOR3(xyz[0], xyz[1], xyz[2]);
    return true;
}

// 1 / (range / 3)^2 in floats; a range of 0 or less gives no fall-off instead of a division by 0.
float QuadraticAttenuation(float range) {
    if (range <= 0) return 0.0f;
    return 1.0f / PowerInt(range * 0.3333333432674408f, 2);
}

// Clears the Direct3D part and sets what every kind shares.
void BecomeKind(LightRecord& r, std::int32_t kind, D3DLIGHTTYPE type) {
    r.kind = kind;
    r.light = D3DLIGHT9{};
    r.light.Type = type;
    r.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    r.light.Attenuation0 = 1.0f;
}

void SetAmbientState() {
    const float p = static_cast<float>(s.ambientPercentage) * 0.01f;
    DWORD colour = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        const auto c = static_cast<std::int32_t>(static_cast<float>(s.ambient[i]) * p);
        colour |= static_cast<DWORD>(c & 0xFF) << (16 - 8 * i);
    }
    SetState(D3DRS_AMBIENT, colour);
}

DWORD PackedFogColour() {
    return static_cast<DWORD>(s.fogColour[0] & 0xFF) << 16 |
           static_cast<DWORD>(s.fogColour[1] & 0xFF) << 8 |
           static_cast<DWORD>(s.fogColour[2] & 0xFF);
}

// False when the record cannot be had.
bool MakeLightRecord(std::int32_t n) {
    auto* light = new (std::nothrow) LightRecord{};
    if (!light) return false;
    light->kind = 1;
    light->on = 1;
    light->range = kNewLightRange;
    auto* old = static_cast<LightRecord*>(s.lights.Find(n));
    if (s.lights.Add(n, light, 0, 0) == 0) {
        delete light;
        return false;
    }
    delete old;
    if (n == 0)
        SetDirectionalLight(0, 0.1f, -0.7f, 0.2f);
    else
        SetPointLight(n, 0, 0, 0);
    if (s.device) s.device->LightEnable(static_cast<DWORD>(n), TRUE);
    return true;
}

template <typename Fn> float ReadLight(std::int32_t n, Fn&& fn) {
    const LightRecord* light = Checked(n);
    return light ? fn(*light) : 0.0f;
}

} // namespace

float PowerInt(float x, std::int32_t n) {
    if (n < 0) return 1.0f / PowerInt(x, -n);
    float result = 1.0f;
    for (std::uint32_t e = static_cast<std::uint32_t>(n); e; e >>= 1, x *= x)
        if (e & 1) result *= x;
    return result;
}

void LightConstructor(HMODULE) {
    s.current = nullptr;
    s.device = GetDirect3DDevice();
    s.ambient[0] = s.ambient[1] = s.ambient[2] = 255;
    s.ambientPercentage = 25;
    s.fogColour[0] = s.fogColour[1] = s.fogColour[2] = 0;
    s.fogStart = 0.0f;
    s.fogEnd = 3000.0f;
    MakeLightRecord(0);
    SetAmbientState();
    SetState(D3DRS_FOGENABLE, FALSE);
}

void LightDestructor() {
    for (IdListNode* n = s.lights.first; n; n = n->next)
        delete static_cast<LightRecord*>(n->data);
    s.lights.Clear();
    s.current = nullptr;
}

void LightSetErrorHandlerExport(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void LightPassCoreDataExport(CoreData* core) {
    s.core = core;
    if (core) core->fogEnabled = 0;
    s.vectors = GetVectorEntries();
}

void LightRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        LightDestructor();
    } else if (mode == 1) {
        LightConstructor(nullptr);
        LightPassCoreDataExport(s.core);
    }
}

void MakeLight(std::int32_t n) {
    if (n == 0) {
        RaiseRuntimeError(kLightZeroFixed);
        return;
    }
    if (n < 1 || n > kLargestNumber) {
        RaiseRuntimeError(kLightNumberIllegal);
        return;
    }
    if (Find(n)) {
        RaiseRuntimeError(kLightExists);
        return;
    }
    if (!MakeLightRecord(n)) RaiseRuntimeError(kStringNoMemory);
}

void DeleteLight(std::int32_t n) {
    if (n == 0) {
        RaiseRuntimeError(kLightZeroFixed);
        return;
    }
    if (n < 1 || n > kLargestNumber) {
        RaiseRuntimeError(kLightNumberIllegal);
        return;
    }
    LightRecord* light = Find(n);
    if (!light) {
        RaiseRuntimeError(kLightMissing);
        return;
    }
    if (s.device) s.device->LightEnable(static_cast<DWORD>(n), FALSE);
    s.lights.Delete(n);
    delete light;
    s.current = nullptr;
}

void SetPointLight(std::int32_t n, float x, float y, float z) {
    Changed(n, [=](LightRecord& r) {
        BecomeKind(r, 2, D3DLIGHT_POINT);
        r.light.Position = {x, y, z};
        r.light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
        r.light.Attenuation2 = QuadraticAttenuation(r.range);
        r.light.Range = r.range;
    });
}

void SetSpotLight(std::int32_t n, float inner, float outer) {
    Changed(n, [=](LightRecord& r) {
        BecomeKind(r, 3, D3DLIGHT_SPOT);
        r.light.Direction = {0.0f, -1.0f, 0.0f};
        r.light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
        r.light.Falloff = 1.0f;
        r.light.Range = r.range;
        r.light.Theta = inner * kDegreesToRadians;
        r.light.Phi = outer * kDegreesToRadians;
    });
}

void SetDirectionalLight(std::int32_t n, float x, float y, float z) {
    Changed(n, [=](LightRecord& r) {
        BecomeKind(r, 1, D3DLIGHT_DIRECTIONAL);
        r.light.Direction = {x, y, z};
        r.light.Range = kDirectionalRange;
    });
}

void SetLightRange(std::int32_t n, float range) {
    Changed(n, [=](LightRecord& r) {
        r.range = range;
        r.light.Range = range;
        r.light.Attenuation0 = 1.0f;
        r.light.Attenuation2 = QuadraticAttenuation(range);
    });
}

void PositionLight(std::int32_t n, float x, float y, float z) {
    Changed(n, [=](LightRecord& r) { r.light.Position = {x, y, z}; });
}

void PositionLightToVector(std::int32_t n, std::int32_t vector) {
    LightRecord* light = Checked(n);
    D3DXVECTOR3 v;
    if (!light || !ReadVector(vector, v)) return;
    light->light.Position = {v.x, v.y, v.z};
    Send(n, *light);
}

void RotateLight(std::int32_t n, float x, float y, float z) {
    Changed(n, [=](LightRecord& r) {
        D3DXMATRIX rx, ry, rz;
        D3DXMatrixRotationX(&rx, x * kDegreesToRadians);
        D3DXMatrixRotationY(&ry, y * kDegreesToRadians);
        D3DXMatrixRotationZ(&rz, z * kDegreesToRadians);
        const D3DXMATRIX turn = rx * ry * rz;
        const D3DXVECTOR3 forward(0, 0, 1);
        D3DXVECTOR3 direction;
        D3DXVec3TransformCoord(&direction, &forward, &turn);
        r.light.Direction = {direction.x, direction.y, direction.z};
    });
}

void RotateLightToVector(std::int32_t n, std::int32_t vector) {
    if (!Checked(n)) return;
    D3DXVECTOR3 v;
    if (ReadVector(vector, v)) RotateLight(n, v.x, v.y, v.z);
}

void PointLight(std::int32_t n, float x, float y, float z) {
    Changed(n, [=](LightRecord& r) {
        const D3DXVECTOR3 from(r.light.Position.x, r.light.Position.y, r.light.Position.z);
        D3DXVECTOR3 direction = D3DXVECTOR3(x, y, z) - from;
        D3DXVec3Normalize(&direction, &direction);
        r.light.Direction = {direction.x, direction.y, direction.z};
    });
}

void ColorLight(std::int32_t n, std::int32_t red, std::int32_t green, std::int32_t blue) {
    Changed(n, [=](LightRecord& r) {
        r.light.Diffuse.r = static_cast<float>(red) * kByteToFloat;
        r.light.Diffuse.g = static_cast<float>(green) * kByteToFloat;
        r.light.Diffuse.b = static_cast<float>(blue) * kByteToFloat;
    });
}

void ColorLightPacked(std::int32_t n, std::uint32_t colour) {
    ColorLight(n, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

void HideLight(std::int32_t n) {
    if (LightRecord* light = Checked(n)) {
        if (s.device) s.device->LightEnable(static_cast<DWORD>(n), FALSE);
        light->on = 0;
    }
}

void ShowLight(std::int32_t n) {
    if (LightRecord* light = Checked(n)) {
        if (s.device) s.device->LightEnable(static_cast<DWORD>(n), TRUE);
        light->on = 1;
    }
}

void ApplyLight(std::int32_t n) {
    Changed(n, [](LightRecord&) {});
}

void SetLightSpecular(std::int32_t n, float alpha, float red, float green, float blue) {
    if (LightRecord* light = Looked(n)) light->light.Specular = {red, green, blue, alpha};
}
void SetLightAmbient(std::int32_t n, float alpha, float red, float green, float blue) {
    if (LightRecord* light = Looked(n)) light->light.Ambient = {red, green, blue, alpha};
}
void SetLightFalloff(std::int32_t n, float value) {
    if (LightRecord* light = Looked(n)) light->light.Falloff = value;
}
void SetLightAttenuation0(std::int32_t n, float value) {
    if (LightRecord* light = Looked(n)) light->light.Attenuation0 = value;
}
void SetLightAttenuation1(std::int32_t n, float value) {
    if (LightRecord* light = Looked(n)) light->light.Attenuation1 = value;
}
void SetLightAttenuation2(std::int32_t n, float value) {
    if (LightRecord* light = Looked(n)) light->light.Attenuation2 = value;
}

std::int32_t LightExist(std::int32_t n) {
    if (n < 0 || n > kLargestNumber) {
        RaiseRuntimeError(kLightNumberIllegal);
        return 0;
    }
    return Find(n) ? 1 : 0;
}

std::int32_t LightType(std::int32_t n) {
    const LightRecord* light = Checked(n);
    return light ? light->kind : -1;
}

float LightPositionX(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Position.x; });
}
float LightPositionY(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Position.y; });
}
float LightPositionZ(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Position.z; });
}
float LightDirectionX(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Direction.x; });
}
float LightDirectionY(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Direction.y; });
}
float LightDirectionZ(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.light.Direction.z; });
}
std::int32_t LightVisible(std::int32_t n) {
    const LightRecord* light = Checked(n);
    return light && light->on == 1 ? 1 : 0;
}
float LightRange(std::int32_t n) {
    return ReadLight(n, [](const LightRecord& r) { return r.range; });
}

void SetVector3ToLightPosition(std::int32_t vector, std::int32_t n) {
    const LightRecord* light = Checked(n);
    D3DXVECTOR3 unused;
    if (!light || !ReadVector(vector, unused)) return;
    s.vectors.setVector3(vector, light->light.Position.x, light->light.Position.y,
                         light->light.Position.z);
}

void SetVector3ToLightDirection(std::int32_t vector, std::int32_t n) {
    const LightRecord* light = Checked(n);
    D3DXVECTOR3 unused;
    if (!light || !ReadVector(vector, unused)) return;
    s.vectors.setVector3(vector, light->light.Direction.x, light->light.Direction.y,
                         light->light.Direction.z);
}

void SetSpecularOn() {
    SetState(D3DRS_SPECULARENABLE, TRUE);
}
void SetSpecularOff() {
    SetState(D3DRS_SPECULARENABLE, FALSE);
}
void SetNormalizationOn() {
    SetState(D3DRS_NORMALIZENORMALS, TRUE);
}
void SetNormalizationOff() {
    SetState(D3DRS_NORMALIZENORMALS, FALSE);
}

void SetAmbientLight(std::int32_t percentage) {
    s.ambientPercentage = percentage;
    SetAmbientState();
}

void ColorAmbientLight(std::uint32_t colour) {
    s.ambient[0] = (colour >> 16) & 0xFF;
    s.ambient[1] = (colour >> 8) & 0xFF;
    s.ambient[2] = colour & 0xFF;
    SetAmbientState();
}

void FogOn() {
    if (s.core) s.core->fogEnabled = 1;
    SetState(D3DRS_FOGENABLE, TRUE);
    SetState(D3DRS_FOGCOLOR, PackedFogColour());
    SetState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    SetState(D3DRS_FOGSTART, FloatBits(s.fogStart));
    SetState(D3DRS_FOGEND, FloatBits(s.fogEnd));
}

void FogOff() {
    if (s.core) s.core->fogEnabled = 0;
    SetState(D3DRS_FOGENABLE, FALSE);
}

void FogColor(std::int32_t red, std::int32_t green, std::int32_t blue) {
    s.fogColour[0] = red, s.fogColour[1] = green, s.fogColour[2] = blue;
    SetState(D3DRS_FOGCOLOR, PackedFogColour());
}

void FogColorPacked(std::uint32_t colour) {
    SetState(D3DRS_FOGCOLOR, colour);
}

void FogDistance(std::int32_t end) {
    s.fogEnd = static_cast<float>(end);
    SetState(D3DRS_FOGSTART, FloatBits(s.fogStart));
    SetState(D3DRS_FOGEND, FloatBits(s.fogEnd));
}

void FogDistance(std::int32_t start, std::int32_t end) {
    s.fogStart = static_cast<float>(start);
    FogDistance(end);
}
