#include "core/win32.h"

#include "maths/maths.h"
#include "core/core.h"
#include "maths/maths_store.h"

#include <cmath>

namespace {

constexpr const char* kVector = "vector";
constexpr const char* kResult = "result vector";
constexpr const char* kSource = "source vector";
constexpr const char* kDestination = "destination vector";
constexpr const char* kA = "vector a";
constexpr const char* kB = "vector b";
constexpr const char* kC = "vector c";
constexpr const char* kD = "vector d";
constexpr const char* kMatrix = "matrix";

template <int N> struct VectorType;
template <> struct VectorType<2> { using Type = D3DXVECTOR2; };
template <> struct VectorType<3> { using Type = D3DXVECTOR3; };
template <> struct VectorType<4> { using Type = D3DXVECTOR4; };
template <int N> using Vector = typename VectorType<N>::Type;

// An N-component vector operand; a matrix operand of a vector command (missing: 7801 like the
// vectors).
template <int N> MathsOperand Vec(std::int32_t id, const char* role) {
    return {id, static_cast<MathsKind>(N - 1), role};
}
MathsOperand Mat(std::int32_t id, const char* role) {
    return {id, kMatrixKind, role};
}

template <int N>
void SetComponents(const char* command, std::int32_t id, const float (&values)[N],
                   const char* role) {
    const CheckedOperands o(command, {Vec<N>(id, role)});
    if (!o) return;
    for (int i = 0; i < N; ++i)
        o[0][i] = values[i];
}

// The source is looked up first, whichever argument it is.
template <int N>
void CopyVector(const char* command, std::int32_t destination, std::int32_t source) {
    const CheckedOperands o(command, {Vec<N>(source, kSource), Vec<N>(destination, kDestination)});
    if (o) o.As<Vector<N>>(1) = o.As<Vector<N>>(0);
}

template <int N>
float Component(const char* command, std::int32_t id, int index, const char* role = kVector) {
    const CheckedOperands o(command, {Vec<N>(id, role)});
    return o ? o[0][index] : 0.0f;
}

// result = op(a, b) component by component; each component is read before it is written, so the
// result may be either operand.
template <int N, typename Op>
void PerComponent(const char* command, std::int32_t result, std::int32_t a, std::int32_t b, Op op) {
    const CheckedOperands o(command, {Vec<N>(result, kResult), Vec<N>(a, kA), Vec<N>(b, kB)});
    if (!o) return;
    for (int i = 0; i < N; ++i)
        o[0][i] = op(o[1][i], o[2][i]);
}

template <int N> void MultiplyInPlace(const char* command, std::int32_t id, float s) {
    const CheckedOperands o(command, {Vec<N>(id, kVector)});
    if (!o) return;
    for (int i = 0; i < N; ++i)
        o[0][i] *= s;
}

template <int N>
void Scale(const char* command, std::int32_t result, std::int32_t source, float s) {
    const CheckedOperands o(command, {Vec<N>(result, kResult), Vec<N>(source, kSource)});
    if (!o) return;
    for (int i = 0; i < N; ++i)
        o[0][i] = o[1][i] * s;
}

template <int N>
void Interpolate(const char* command, std::int32_t result, std::int32_t a, std::int32_t b,
                 float s) {
    PerComponent<N>(command, result, a, b, [s](float x, float y) { return x + s * (y - x); });
}

// Float comparison: 0.0 == -0.0, and a NaN differs from everything.
template <int N> bool Equal(const char* command, std::int32_t a, std::int32_t b, bool wantEqual) {
    const CheckedOperands o(command, {Vec<N>(a, kA), Vec<N>(b, kB)});
    if (!o) return false;
    bool equal = true;
    for (int i = 0; i < N; ++i)
        equal = equal && o[0][i] == o[1][i];
    return equal == wantEqual;
}

template <int N> float LengthSquared(const char* command, std::int32_t id) {
    const CheckedOperands o(command, {Vec<N>(id, kVector)});
    float sum = 0.0f;
    for (int i = 0; o && i < N; ++i)
        sum += o[0][i] * o[0][i];
    return sum;
}

template <int N> float Dot(const char* command, std::int32_t a, std::int32_t b) {
    const CheckedOperands o(command, {Vec<N>(a, kA), Vec<N>(b, kB)});
    float sum = 0.0f;
    for (int i = 0; o && i < N; ++i)
        sum += o[0][i] * o[1][i];
    return sum;
}

template <int N, typename Fn>
void Bary(const char* command, std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
          float f, float g, Fn fn) {
    using V = Vector<N>;
    const CheckedOperands o(command,
                            {Vec<N>(result, kResult), Vec<N>(a, kA), Vec<N>(b, kB), Vec<N>(c, kC)});
    if (!o) return;
    V t;
    fn(&t, &o.As<V>(1), &o.As<V>(2), &o.As<V>(3), f, g);
    o.As<V>(0) = t;
}

// Catmull-Rom and Hermite: five vectors and a parameter, through the D3DX function given; each
// D3DX call writes a temporary, so the result may be an operand.
template <int N, typename Fn>
void Spline(const char* command, std::int32_t result, std::int32_t a, std::int32_t b,
            std::int32_t c, std::int32_t d, float s, Fn fn) {
    using V = Vector<N>;
    const CheckedOperands o(command, {Vec<N>(result, kResult), Vec<N>(a, kA), Vec<N>(b, kB),
                                      Vec<N>(c, kC), Vec<N>(d, kD)});
    if (!o) return;
    V t;
    fn(&t, &o.As<V>(1), &o.As<V>(2), &o.As<V>(3), &o.As<V>(4), s);
    o.As<V>(0) = t;
}

template <int N, typename Fn>
void NormalizeVector(const char* command, std::int32_t result, std::int32_t source, Fn fn) {
    using V = Vector<N>;
    const CheckedOperands o(command, {Vec<N>(result, kResult), Vec<N>(source, kSource)});
    if (!o) return;
    V t;
    fn(&t, &o.As<V>(1));
    o.As<V>(0) = t;
}

// The source through a matrix item with the D3DX function given.
template <int N, typename Fn>
void Transform(const char* command, std::int32_t result, std::int32_t source, std::int32_t matrix,
               Fn fn) {
    using V = Vector<N>;
    const CheckedOperands o(
        command, {Vec<N>(result, kResult), Vec<N>(source, kSource), Mat(matrix, kMatrix)});
    if (!o) return;
    V t;
    fn(&t, &o.As<V>(1), &o.As<D3DXMATRIX>(2));
    o.As<V>(0) = t;
}

float Larger(float a, float b) {
    return a > b ? a : b;
}
float Smaller(float a, float b) {
    return a < b ? a : b;
}

} // namespace

void SetVector2(std::int32_t id, float x, float y) {
    SetComponents<2>(__func__, id, {x, y}, nullptr);
}
// The other modules' bridge entry; its missing-item text has always named a matrix.
void SetVector3(std::int32_t id, float x, float y, float z) {
    SetComponents<3>(__func__, id, {x, y, z}, "matrix");
}
void SetVector4(std::int32_t id, float x, float y, float z, float w) {
    SetComponents<4>(__func__, id, {x, y, z, w}, nullptr);
}

void CopyVector2(std::int32_t destination, std::int32_t source) {
    CopyVector<2>(__func__, destination, source);
}
void CopyVector3(std::int32_t destination, std::int32_t source) {
    CopyVector<3>(__func__, destination, source);
}
void CopyVector4(std::int32_t destination, std::int32_t source) {
    CopyVector<4>(__func__, destination, source);
}

float GetXVector2(std::int32_t id) {
    return Component<2>(__func__, id, 0);
}
float GetYVector2(std::int32_t id) {
    return Component<2>(__func__, id, 1);
}
float GetXVector3(std::int32_t id) {
    return Component<3>(__func__, id, 0);
}
float GetYVector3(std::int32_t id) {
    return Component<3>(__func__, id, 1);
}
float GetZVector3(std::int32_t id) {
    return Component<3>(__func__, id, 2);
}
float GetXVector4(std::int32_t id) {
    return Component<4>(__func__, id, 0);
}
float GetYVector4(std::int32_t id) {
    return Component<4>(__func__, id, 1);
}
float GetZVector4(std::int32_t id) {
    return Component<4>(__func__, id, 2, nullptr);
}
float GetWVector4(std::int32_t id) {
    return Component<4>(__func__, id, 3, nullptr);
}

void AddVector2(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<2>(__func__, result, a, b, [](float x, float y) { return x + y; });
}
void AddVector3(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<3>(__func__, result, a, b, [](float x, float y) { return x + y; });
}
void AddVector4(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<4>(__func__, result, a, b, [](float x, float y) { return x + y; });
}
void SubtractVector3(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<3>(__func__, result, a, b, [](float x, float y) { return x - y; });
}
void SubtractVector4(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<4>(__func__, result, a, b, [](float x, float y) { return x - y; });
}

void MultiplyVector2(std::int32_t id, float s) {
    MultiplyInPlace<2>(__func__, id, s);
}
void MultiplyVector3(std::int32_t id, float s) {
    MultiplyInPlace<3>(__func__, id, s);
}
void MultiplyVector4(std::int32_t id, float s) {
    MultiplyInPlace<4>(__func__, id, s);
}
// One reciprocal, then products: s = 0 gives infinities, no error.
void DivideVector2(std::int32_t id, float s) {
    MultiplyInPlace<2>(__func__, id, 1.0f / s);
}
void DivideVector3(std::int32_t id, float s) {
    MultiplyInPlace<3>(__func__, id, 1.0f / s);
}
void DivideVector4(std::int32_t id, float s) {
    MultiplyInPlace<4>(__func__, id, 1.0f / s);
}

bool IsEqualVector2(std::int32_t a, std::int32_t b) {
    return Equal<2>(__func__, a, b, true);
}
bool IsEqualVector3(std::int32_t a, std::int32_t b) {
    return Equal<3>(__func__, a, b, true);
}
bool IsEqualVector4(std::int32_t a, std::int32_t b) {
    return Equal<4>(__func__, a, b, true);
}
bool IsNotEqualVector2(std::int32_t a, std::int32_t b) {
    return Equal<2>(__func__, a, b, false);
}
bool IsNotEqualVector3(std::int32_t a, std::int32_t b) {
    return Equal<3>(__func__, a, b, false);
}
bool IsNotEqualVector4(std::int32_t a, std::int32_t b) {
    return Equal<4>(__func__, a, b, false);
}

void GetBaryCentricCoordinatesVector2(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g) {
    Bary<2>(__func__, result, a, b, c, f, g, D3DXVec2BaryCentric);
}
void GetBaryCentricCoordinatesVector3(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g) {
    Bary<3>(__func__, result, a, b, c, f, g, D3DXVec3BaryCentric);
}
void GetBaryCentricCoordinatesVector4(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g) {
    Bary<4>(__func__, result, a, b, c, f, g, D3DXVec4BaryCentric);
}

void CatmullRomVector2(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s) {
    Spline<2>(__func__, result, a, b, c, d, s, D3DXVec2CatmullRom);
}
void CatmullRomVector3(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s) {
    Spline<3>(__func__, result, a, b, c, d, s, D3DXVec3CatmullRom);
}
void CatmullRomVector4(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s) {
    Spline<4>(__func__, result, a, b, c, d, s, D3DXVec4CatmullRom);
}
void HermiteVector2(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s) {
    Spline<2>(__func__, result, a, b, c, d, s, D3DXVec2Hermite);
}
void HermiteVector3(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s) {
    Spline<3>(__func__, result, a, b, c, d, s, D3DXVec3Hermite);
}
void HermiteVector4(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s) {
    Spline<4>(__func__, result, a, b, c, d, s, D3DXVec4Hermite);
}

void NormalizeVector2(std::int32_t result, std::int32_t source) {
    NormalizeVector<2>(__func__, result, source, D3DXVec2Normalize);
}
void NormalizeVector3(std::int32_t result, std::int32_t source) {
    NormalizeVector<3>(__func__, result, source, D3DXVec3Normalize);
}
void NormalizeVector4(std::int32_t result, std::int32_t source) {
    NormalizeVector<4>(__func__, result, source, D3DXVec4Normalize);
}

void ScaleVector2(std::int32_t result, std::int32_t source, float s) {
    Scale<2>(__func__, result, source, s);
}
void ScaleVector3(std::int32_t result, std::int32_t source, float s) {
    Scale<3>(__func__, result, source, s);
}
void ScaleVector4(std::int32_t result, std::int32_t source, float s) {
    Scale<4>(__func__, result, source, s);
}

void LinearInterpolationVector2(std::int32_t result, std::int32_t a, std::int32_t b, float s) {
    Interpolate<2>(__func__, result, a, b, s);
}
void LinearInterpolationVector3(std::int32_t result, std::int32_t a, std::int32_t b, float s) {
    Interpolate<3>(__func__, result, a, b, s);
}
void LinearInterpolationVector4(std::int32_t result, std::int32_t a, std::int32_t b, float s) {
    Interpolate<4>(__func__, result, a, b, s);
}

void MaximizeVector2(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<2>(__func__, result, a, b, Larger);
}
void MaximizeVector3(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<3>(__func__, result, a, b, Larger);
}
void MaximizeVector4(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<4>(__func__, result, a, b, Larger);
}
void MinimizeVector2(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<2>(__func__, result, a, b, Smaller);
}
void MinimizeVector3(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<3>(__func__, result, a, b, Smaller);
}
void MinimizeVector4(std::int32_t result, std::int32_t a, std::int32_t b) {
    PerComponent<4>(__func__, result, a, b, Smaller);
}

float GetLengthVector2(std::int32_t id) {
    return std::sqrt(LengthSquared<2>(__func__, id));
}
float GetLengthVector3(std::int32_t id) {
    return std::sqrt(LengthSquared<3>(__func__, id));
}
float GetLengthVector4(std::int32_t id) {
    return std::sqrt(LengthSquared<4>(__func__, id));
}
float GetLengthSquaredVector2(std::int32_t id) {
    return LengthSquared<2>(__func__, id);
}
float GetLengthSquaredVector3(std::int32_t id) {
    return LengthSquared<3>(__func__, id);
}
float GetLengthSquaredVector4(std::int32_t id) {
    return LengthSquared<4>(__func__, id);
}

float DotProductVector2(std::int32_t a, std::int32_t b) {
    return Dot<2>(__func__, a, b);
}
float DotProductVector3(std::int32_t a, std::int32_t b) {
    return Dot<3>(__func__, a, b);
}

float GetCCWVector2(std::int32_t a, std::int32_t b) {
    const CheckedOperands o(__func__, {Vec<2>(a, kA), Vec<2>(b, kB)});
    return o ? o[0][0] * o[1][1] - o[0][1] * o[1][0] : 0.0f;
}

void CrossProductVector3(std::int32_t result, std::int32_t a, std::int32_t b) {
    const CheckedOperands o(__func__, {Vec<3>(result, kResult), Vec<3>(a, kA), Vec<3>(b, kB)});
    if (!o) return;
    const float* u = o[1];
    const float* v = o[2];
    o.As<D3DXVECTOR3>(0) = D3DXVECTOR3(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                       u[0] * v[1] - u[1] * v[0]);
}

void TransformVectorCoordinates2(std::int32_t result, std::int32_t source, std::int32_t matrix) {
    Transform<2>(__func__, result, source, matrix, D3DXVec2TransformCoord);
}
void TransformVectorCoordinates3(std::int32_t result, std::int32_t source, std::int32_t matrix) {
    Transform<3>(__func__, result, source, matrix, D3DXVec3TransformCoord);
}
void TransformVectorNormalCoordinates3(std::int32_t result, std::int32_t source,
                                       std::int32_t matrix) {
    Transform<3>(__func__, result, source, matrix, D3DXVec3TransformNormal);
}
void TransformVectorCoordinates4(std::int32_t result, std::int32_t source, std::int32_t matrix) {
    Transform<4>(__func__, result, source, matrix, D3DXVec4Transform);
}

void ProjectVector3(std::int32_t result, std::int32_t source, std::int32_t projection,
                    std::int32_t view, std::int32_t world) {
    const CheckedOperands o(__func__, {Vec<3>(result, kResult), Vec<3>(source, kSource),
                                       Mat(projection, "projection matrix"),
                                       Mat(view, "view matrix"), Mat(world, "world matrix")});
    if (!o) return;
    // Without a device there is no viewport to map onto: the result stays as it was.
    D3DVIEWPORT9 viewport{};
    if (!g_Maths.device || FAILED(g_Maths.device->GetViewport(&viewport))) {
        ReportMissingItem(__func__, "device");
        return;
    }
    D3DXVECTOR3 t;
    D3DXVec3Project(&t, &o.As<D3DXVECTOR3>(1), &viewport, &o.As<D3DXMATRIX>(2),
                    &o.As<D3DXMATRIX>(3), &o.As<D3DXMATRIX>(4));
    o.As<D3DXVECTOR3>(0) = t;
}
