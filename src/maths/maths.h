// Maths module: numbered vector2, vector3, vector4 and matrix items under any 32-bit number (one
// number space for all four kinds), the commands that compute on them, and the entries other
// modules keep to read and write them.
//
// Every command that names existing items checks first that no number holds an item of another
// kind (7801, always), then that each item exists, in argument order (7801; 7802 for a missing
// matrix in the matrix commands, except the camera and world getters). A missing item raises only
// once the module has its CoreData; its "Command - role does not exist" text goes out regardless.
// On failure nothing changes and results are 0.0 or false.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: keeps the device getter and reads the device through it.
void MathsConstructor(HMODULE display);
// Stop entry: releases everything the module holds, so a restarted engine starts with no items.
void MathsDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MathsSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData, readies the module and takes the camera getter.
void MathsPassCoreData(CoreData* core);
// Mode 1 (after a device re-creation) reads the device again and readies the module; others do
// nothing.
void MathsRefreshD3D(std::int32_t mode);

// Item store. Making replaces an item of any kind under the number with one of zeros; deleting a
// missing item is no error. A deleted item's kind stays recorded until the number is made again.
bool MakeVector2(std::int32_t id);
bool MakeVector3(std::int32_t id);
bool MakeVector4(std::int32_t id);
bool MakeMatrix(std::int32_t id);
bool DeleteVector2(std::int32_t id);
bool DeleteVector3(std::int32_t id);
bool DeleteVector4(std::int32_t id);
bool DeleteMatrix(std::int32_t id);
// 1 when an item of any kind has this number; never an error.
std::int32_t MathsItemExists(std::int32_t id);
// Copy the item's components into out (zeros after an error) and return out; a null out only
// checks the item.
float* GetVector2(float* out, std::int32_t id);
float* GetVector3(float* out, std::int32_t id);
float* GetVector4(float* out, std::int32_t id);
float* GetMatrix(float* out, std::int32_t id);
// The exported forms the object module keeps: the value itself.
D3DXVECTOR4 GetVector4Export(std::int32_t id);
D3DXMATRIX GetMatrixExport(std::int32_t id);

// Vector commands. Results go into items the caller made; a result may be one of the operands.
void SetVector2(std::int32_t id, float x, float y);
void SetVector3(std::int32_t id, float x, float y, float z);
void SetVector4(std::int32_t id, float x, float y, float z, float w);
void CopyVector2(std::int32_t destination, std::int32_t source);
void CopyVector3(std::int32_t destination, std::int32_t source);
void CopyVector4(std::int32_t destination, std::int32_t source);
float GetXVector2(std::int32_t id);
float GetYVector2(std::int32_t id);
float GetXVector3(std::int32_t id);
float GetYVector3(std::int32_t id);
float GetZVector3(std::int32_t id);
float GetXVector4(std::int32_t id);
float GetYVector4(std::int32_t id);
float GetZVector4(std::int32_t id);
float GetWVector4(std::int32_t id);
void AddVector2(std::int32_t result, std::int32_t a, std::int32_t b);
void AddVector3(std::int32_t result, std::int32_t a, std::int32_t b);
void AddVector4(std::int32_t result, std::int32_t a, std::int32_t b);
void SubtractVector3(std::int32_t result, std::int32_t a, std::int32_t b);
void SubtractVector4(std::int32_t result, std::int32_t a, std::int32_t b);
// In place: each component times s, or times 1 / s.
void MultiplyVector2(std::int32_t id, float s);
void MultiplyVector3(std::int32_t id, float s);
void MultiplyVector4(std::int32_t id, float s);
void DivideVector2(std::int32_t id, float s);
void DivideVector3(std::int32_t id, float s);
void DivideVector4(std::int32_t id, float s);
// Float comparison of each component: 0.0 equals -0.0, a NaN equals nothing.
bool IsEqualVector2(std::int32_t a, std::int32_t b);
bool IsEqualVector3(std::int32_t a, std::int32_t b);
bool IsEqualVector4(std::int32_t a, std::int32_t b);
bool IsNotEqualVector2(std::int32_t a, std::int32_t b);
bool IsNotEqualVector3(std::int32_t a, std::int32_t b);
bool IsNotEqualVector4(std::int32_t a, std::int32_t b);
void GetBaryCentricCoordinatesVector2(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g);
void GetBaryCentricCoordinatesVector3(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g);
void GetBaryCentricCoordinatesVector4(std::int32_t result, std::int32_t a, std::int32_t b,
                                      std::int32_t c, float f, float g);
void CatmullRomVector2(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s);
void CatmullRomVector3(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s);
void CatmullRomVector4(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                       std::int32_t d, float s);
// a and c are the positions, b and d their tangents.
void HermiteVector2(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s);
void HermiteVector3(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s);
void HermiteVector4(std::int32_t result, std::int32_t a, std::int32_t b, std::int32_t c,
                    std::int32_t d, float s);
void NormalizeVector2(std::int32_t result, std::int32_t source);
void NormalizeVector3(std::int32_t result, std::int32_t source);
void NormalizeVector4(std::int32_t result, std::int32_t source);
void ScaleVector2(std::int32_t result, std::int32_t source, float s);
void ScaleVector3(std::int32_t result, std::int32_t source, float s);
void ScaleVector4(std::int32_t result, std::int32_t source, float s);
void LinearInterpolationVector2(std::int32_t result, std::int32_t a, std::int32_t b, float s);
void LinearInterpolationVector3(std::int32_t result, std::int32_t a, std::int32_t b, float s);
void LinearInterpolationVector4(std::int32_t result, std::int32_t a, std::int32_t b, float s);
void MaximizeVector2(std::int32_t result, std::int32_t a, std::int32_t b);
void MaximizeVector3(std::int32_t result, std::int32_t a, std::int32_t b);
void MaximizeVector4(std::int32_t result, std::int32_t a, std::int32_t b);
void MinimizeVector2(std::int32_t result, std::int32_t a, std::int32_t b);
void MinimizeVector3(std::int32_t result, std::int32_t a, std::int32_t b);
void MinimizeVector4(std::int32_t result, std::int32_t a, std::int32_t b);
float GetLengthVector2(std::int32_t id);
float GetLengthVector3(std::int32_t id);
float GetLengthVector4(std::int32_t id);
float GetLengthSquaredVector2(std::int32_t id);
float GetLengthSquaredVector3(std::int32_t id);
float GetLengthSquaredVector4(std::int32_t id);
float DotProductVector2(std::int32_t a, std::int32_t b);
float DotProductVector3(std::int32_t a, std::int32_t b);
// a.x b.y - a.y b.x: positive when b lies anticlockwise of a.
float GetCCWVector2(std::int32_t a, std::int32_t b);
void CrossProductVector3(std::int32_t result, std::int32_t a, std::int32_t b);
// Points (w = 1, divided by the w that results), a normal (w = 0) and a 4D vector (no division).
void TransformVectorCoordinates2(std::int32_t result, std::int32_t source, std::int32_t matrix);
void TransformVectorCoordinates3(std::int32_t result, std::int32_t source, std::int32_t matrix);
void TransformVectorNormalCoordinates3(std::int32_t result, std::int32_t source,
                                       std::int32_t matrix);
void TransformVectorCoordinates4(std::int32_t result, std::int32_t source, std::int32_t matrix);
// The point through world, view and projection onto the device's current viewport.
void ProjectVector3(std::int32_t result, std::int32_t source, std::int32_t projection,
                    std::int32_t view, std::int32_t world);

// Matrix commands: row-major, row vectors (a times b applies a first), angles in radians.
void CopyMatrix(std::int32_t source, std::int32_t destination);
void AddMatrix(std::int32_t result, std::int32_t a, std::int32_t b);
void SubtractMatrix(std::int32_t result, std::int32_t a, std::int32_t b);
void MultiplyMatrix(std::int32_t result, std::int32_t a, std::int32_t b);
void MultiplyMatrix(std::int32_t id, float s);
void DivideMatrix(std::int32_t id, float s);
// Bit for bit: -0.0 differs from 0.0.
bool IsEqualMatrix(std::int32_t a, std::int32_t b);
bool IsNotEqualMatrix(std::int32_t a, std::int32_t b);
// The source's determinant; a singular source leaves the result as it was.
float InverseMatrix(std::int32_t result, std::int32_t source);
void TransposeMatrix(std::int32_t result, std::int32_t source);
void SetIdentityMatrix(std::int32_t id);
// Diagonal exactly 1.0, every other element equal to 0.0 (-0.0 counts).
bool IsIdentityMatrix(std::int32_t id);
void BuildLookAtRHMatrix(std::int32_t result, std::int32_t eye, std::int32_t at, std::int32_t up);
void BuildLookAtLHMatrix(std::int32_t result, std::int32_t eye, std::int32_t at, std::int32_t up);
void BuildOrthoRHMatrix(std::int32_t id, float width, float height, float zNear, float zFar);
void BuildOrthoLHMatrix(std::int32_t id, float width, float height, float zNear, float zFar);
void BuildPerspectiveRHMatrix(std::int32_t id, float width, float height, float zNear, float zFar);
void BuildPerspectiveLHMatrix(std::int32_t id, float width, float height, float zNear, float zFar);
void BuildPerspectiveFovRHMatrix(std::int32_t id, float fovy, float aspect, float zNear,
                                 float zFar);
void BuildPerspectiveFovLHMatrix(std::int32_t id, float fovy, float aspect, float zNear,
                                 float zFar);
// Reflection in the plane a x + b y + c z + d = 0.
void BuildReflectionMatrix(std::int32_t id, float a, float b, float c, float d);
void BuildRotationAxisMatrix(std::int32_t result, std::int32_t axis, float angle);
void RotateXMatrix(std::int32_t id, float angle);
void RotateYMatrix(std::int32_t id, float angle);
void RotateZMatrix(std::int32_t id, float angle);
void RotateYawPitchRollMatrix(std::int32_t id, float yaw, float pitch, float roll);
void ScaleMatrix(std::int32_t id, float x, float y, float z);
void TranslateMatrix(std::int32_t id, float x, float y, float z);
// Camera 0's view or projection as the camera keeps it; the item stays as it was without camera 0.
void GetViewMatrix(std::int32_t id);
void GetProjectionMatrix(std::int32_t id);
// Always the identity.
void GetWorldMatrix(std::int32_t id);

// The vector entries the light, camera, terrain and particle modules keep from their start on.
struct VectorEntries {
    void (*setVector3)(std::int32_t id, float x, float y, float z) = nullptr;
    float* (*getVector3)(float* out, std::int32_t id) = nullptr;
    std::int32_t (*exists)(std::int32_t id) = nullptr;
};
VectorEntries GetVectorEntries();

// Everything other modules take from the maths module: the vector entries and, for the object
// module's effect parameters, the vector4 and matrix getters.
struct MathsBridge {
    VectorEntries vectors;
    D3DXVECTOR4 (*getVector4)(std::int32_t id) = nullptr;
    D3DXMATRIX (*getMatrix)(std::int32_t id) = nullptr;
};
MathsBridge GetMathsBridge();
