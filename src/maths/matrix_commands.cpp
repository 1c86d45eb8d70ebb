#include "core/win32.h"

#include "maths/maths.h"
#include "camera/camera_record.h"
#include "core/core.h"
#include "maths/maths_store.h"

#include <cstring>

namespace {

constexpr const char* kMatrix = "matrix";
constexpr const char* kResult = "result matrix";
constexpr const char* kSource = "source matrix";

// A matrix operand of a matrix command (missing: 7802); the camera and world getters' own (7801);
// a vector3 operand (missing: 7801).
MathsOperand Mat(std::int32_t id, const char* role = kMatrix) {
    return {id, kMatrixKind, role, kMatrixMissing};
}
MathsOperand GetterMat(std::int32_t id) {
    return {id, kMatrixKind, kMatrix, kValueOutOfRange};
}
MathsOperand Vec3(std::int32_t id, const char* role) {
    return {id, kVector3Kind, role};
}

// The builders of one matrix and a few floats: the D3DX function writes the whole item.
template <typename Build> void BuildInto(const char* command, std::int32_t id, Build build) {
    const CheckedOperands o(command, {Mat(id)});
    if (o) build(&o.As<D3DXMATRIX>(0));
}

// result = op(a, b), through a temporary so that the result may be either operand.
template <typename Op>
void Combine(const char* command, std::int32_t result, std::int32_t a, std::int32_t b, Op op) {
    const CheckedOperands o(command,
                            {Mat(result, kResult), Mat(a, "matrix a"), Mat(b, "matrix b")});
    if (o) o.As<D3DXMATRIX>(0) = op(o.As<D3DXMATRIX>(1), o.As<D3DXMATRIX>(2));
}

void ScaleInPlace(const char* command, std::int32_t id, float s) {
    const CheckedOperands o(command, {Mat(id)});
    if (!o) return;
    for (int i = 0; i < 16; ++i)
        o[0][i] *= s;
}

bool BitsEqual(const char* command, std::int32_t a, std::int32_t b, bool wantEqual) {
    const CheckedOperands o(command, {Mat(a, "matrix a"), Mat(b, "matrix b")});
    if (!o) return false;
    return (std::memcmp(o[0], o[1], 16 * sizeof(float)) == 0) == wantEqual;
}

void LookAt(const char* command, std::int32_t result, std::int32_t eye, std::int32_t at,
            std::int32_t up,
            D3DXMATRIX*(WINAPI* build)(D3DXMATRIX*, const D3DXVECTOR3*, const D3DXVECTOR3*,
                                       const D3DXVECTOR3*)) {
    const CheckedOperands o(command, {Mat(result, kResult), Vec3(eye, "eye vector"),
                                      Vec3(at, "at vector"), Vec3(up, "up vector")});
    if (o)
        build(&o.As<D3DXMATRIX>(0), &o.As<D3DXVECTOR3>(1), &o.As<D3DXVECTOR3>(2),
              &o.As<D3DXVECTOR3>(3));
}

// Camera 0's matrix as its record keeps it. A missing camera 0 (no camera module, or its record
// gone) leaves the item as it was rather than reading through a null record.
void FromCameraZero(const char* command, std::int32_t id, bool view) {
    const CheckedOperands o(command, {GetterMat(id)});
    if (!o || !g_Maths.getCamera) return;
    const CameraRecord* camera = g_Maths.getCamera(0);
    if (camera) o.As<D3DXMATRIX>(0) = view ? camera->view : camera->projection;
}

} // namespace

// The source comes first here, unlike the vector copies.
void CopyMatrix(std::int32_t source, std::int32_t destination) {
    const CheckedOperands o(__func__,
                            {Mat(source, kSource), Mat(destination, "destination matrix")});
    if (o) o.As<D3DXMATRIX>(1) = o.As<D3DXMATRIX>(0);
}

void AddMatrix(std::int32_t result, std::int32_t a, std::int32_t b) {
    Combine(__func__, result, a, b, [](const D3DXMATRIX& x, const D3DXMATRIX& y) { return x + y; });
}
void SubtractMatrix(std::int32_t result, std::int32_t a, std::int32_t b) {
    Combine(__func__, result, a, b, [](const D3DXMATRIX& x, const D3DXMATRIX& y) { return x - y; });
}
void MultiplyMatrix(std::int32_t result, std::int32_t a, std::int32_t b) {
    Combine(__func__, result, a, b, [](const D3DXMATRIX& x, const D3DXMATRIX& y) {
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, &x, &y);
        return product;
    });
}

void MultiplyMatrix(std::int32_t id, float s) {
    ScaleInPlace(__func__, id, s);
}
// One reciprocal, then products: s = 0 gives infinities, no error.
void DivideMatrix(std::int32_t id, float s) {
    ScaleInPlace(__func__, id, 1.0f / s);
}

bool IsEqualMatrix(std::int32_t a, std::int32_t b) {
    return BitsEqual(__func__, a, b, true);
}
bool IsNotEqualMatrix(std::int32_t a, std::int32_t b) {
    return BitsEqual(__func__, a, b, false);
}

float InverseMatrix(std::int32_t result, std::int32_t source) {
    const CheckedOperands o(__func__, {Mat(result, kResult), Mat(source, kSource)});
    if (!o) return 0.0f;
    D3DXMATRIX inverse;
    float determinant = 0.0f;
    if (D3DXMatrixInverse(&inverse, &determinant, &o.As<D3DXMATRIX>(1)))
        o.As<D3DXMATRIX>(0) = inverse;
    return determinant;
}

void TransposeMatrix(std::int32_t result, std::int32_t source) {
    const CheckedOperands o(__func__, {Mat(result, kResult), Mat(source, kSource)});
    if (!o) return;
    D3DXMATRIX t;
    D3DXMatrixTranspose(&t, &o.As<D3DXMATRIX>(1));
    o.As<D3DXMATRIX>(0) = t;
}

void SetIdentityMatrix(std::int32_t id) {
    BuildInto(__func__, id, [](D3DXMATRIX* m) { D3DXMatrixIdentity(m); });
}

bool IsIdentityMatrix(std::int32_t id) {
    const CheckedOperands o(__func__, {Mat(id)});
    if (!o) return false;
    const float one = 1.0f;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            const float* e = &o[0][row * 4 + column];
            if (row == column ? std::memcmp(e, &one, sizeof one) != 0 : *e != 0.0f) return false;
        }
    }
    return true;
}

void BuildLookAtRHMatrix(std::int32_t result, std::int32_t eye, std::int32_t at, std::int32_t up) {
    LookAt(__func__, result, eye, at, up, D3DXMatrixLookAtRH);
}
void BuildLookAtLHMatrix(std::int32_t result, std::int32_t eye, std::int32_t at, std::int32_t up) {
    LookAt(__func__, result, eye, at, up, D3DXMatrixLookAtLH);
}

void BuildOrthoRHMatrix(std::int32_t id, float width, float height, float zNear, float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixOrthoRH(m, width, height, zNear, zFar); });
}
void BuildOrthoLHMatrix(std::int32_t id, float width, float height, float zNear, float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixOrthoLH(m, width, height, zNear, zFar); });
}
void BuildPerspectiveRHMatrix(std::int32_t id, float width, float height, float zNear, float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixPerspectiveRH(m, width, height, zNear, zFar); });
}
void BuildPerspectiveLHMatrix(std::int32_t id, float width, float height, float zNear, float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixPerspectiveLH(m, width, height, zNear, zFar); });
}
void BuildPerspectiveFovRHMatrix(std::int32_t id, float fovy, float aspect, float zNear,
                                 float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixPerspectiveFovRH(m, fovy, aspect, zNear, zFar); });
}
void BuildPerspectiveFovLHMatrix(std::int32_t id, float fovy, float aspect, float zNear,
                                 float zFar) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixPerspectiveFovLH(m, fovy, aspect, zNear, zFar); });
}

void BuildReflectionMatrix(std::int32_t id, float a, float b, float c, float d) {
    const D3DXPLANE plane(a, b, c, d);
    BuildInto(__func__, id, [&](D3DXMATRIX* m) { D3DXMatrixReflect(m, &plane); });
}

void BuildRotationAxisMatrix(std::int32_t result, std::int32_t axis, float angle) {
    const CheckedOperands o(__func__, {Mat(result, kResult), Vec3(axis, "rotation axis vector")});
    if (o) D3DXMatrixRotationAxis(&o.As<D3DXMATRIX>(0), &o.As<D3DXVECTOR3>(1), angle);
}

void RotateXMatrix(std::int32_t id, float angle) {
    BuildInto(__func__, id, [=](D3DXMATRIX* m) { D3DXMatrixRotationX(m, angle); });
}
void RotateYMatrix(std::int32_t id, float angle) {
    BuildInto(__func__, id, [=](D3DXMATRIX* m) { D3DXMatrixRotationY(m, angle); });
}
void RotateZMatrix(std::int32_t id, float angle) {
    BuildInto(__func__, id, [=](D3DXMATRIX* m) { D3DXMatrixRotationZ(m, angle); });
}
void RotateYawPitchRollMatrix(std::int32_t id, float yaw, float pitch, float roll) {
    BuildInto(__func__, id,
              [=](D3DXMATRIX* m) { D3DXMatrixRotationYawPitchRoll(m, yaw, pitch, roll); });
}
void ScaleMatrix(std::int32_t id, float x, float y, float z) {
    BuildInto(__func__, id, [=](D3DXMATRIX* m) { D3DXMatrixScaling(m, x, y, z); });
}
void TranslateMatrix(std::int32_t id, float x, float y, float z) {
    BuildInto(__func__, id, [=](D3DXMATRIX* m) { D3DXMatrixTranslation(m, x, y, z); });
}

void GetViewMatrix(std::int32_t id) {
    FromCameraZero(__func__, id, true);
}
void GetProjectionMatrix(std::int32_t id) {
    FromCameraZero(__func__, id, false);
}
void GetWorldMatrix(std::int32_t id) {
    const CheckedOperands o(__func__, {GetterMat(id)});
    if (o) D3DXMatrixIdentity(&o.As<D3DXMATRIX>(0));
}
