// Camera module: numbered cameras through which the 3D scene is drawn, each with its placement,
// view and projection, viewport, backdrop and optional image target. Its entries for the core,
// the per-frame passes, the entries other modules keep (camera/camera_record.h) and the camera
// commands.
#pragma once

#include "camera/camera_record.h"
#include "core/core_data.h"

#include <cstdint>

// Module entries.
void CameraConstructor(HMODULE display, HMODULE image);
void CameraDestructorExport();
void CameraSetErrorHandlerExport(RuntimeErrorRecord* cell);
void CameraPassCoreDataExport(CoreData* core);
// 0: the Destructor; 1: the Constructor and the CoreData pass again.
void CameraRefreshD3D(std::int32_t mode);
// The module's per-pass hook: does nothing.
void CameraUpdate();
// Sets camera 0 up for drawing; skipClear leaves the target uncleared.
void CameraRenderFirstPass(std::int32_t skipClear);
// The first pass with the skip-clear flag 0.
void CameraRenderPass();
// 0 after setting up the next camera, 1 when none is left (the full viewport back).
std::int32_t NextCameraRenderPass();
// The camera being rendered, -1 after the last of a frame.
std::int32_t GetCurrentRenderCamera();

// Entries other modules keep.
CameraRecord* GetCameraInternalData(std::int32_t camera);
void UpdateCameraView();
void SetCurrentCameraFOV(float fov);
float GetCameraPositionX(std::int32_t camera);
float GetCameraPositionY(std::int32_t camera);
float GetCameraPositionZ(std::int32_t camera);
void PositionCameraExport(std::int32_t camera, float x, float y, float z);
// Turns the current camera onto a newly made object of the given size.
void AutoCameraFocus(float x, float y, float z, float size);
CameraBridge GetCameraBridge();

// Commands. Camera numbers run from 0 to 22000000 (7201); 7203 for a missing camera, 7202 for one
// that exists, 7205 for making or deleting camera 0, 7801 for a missing vector. Forms without a
// number address the current camera (or camera 0 where said).
void MakeCamera(std::int32_t n);
void DeleteCamera(std::int32_t n);
void SetCurrentCamera(std::int32_t n);
void AutoCamOn();
void AutoCamOff();

void PositionCamera(std::int32_t n, float x, float y, float z);
void PositionCamera(float x, float y, float z);
void PositionCameraToVector(std::int32_t n, std::int32_t vector);
void RotateCamera(std::int32_t n, float x, float y, float z);
void RotateCamera(float x, float y, float z);
void RotateCameraToVector(std::int32_t n, std::int32_t vector);
void XRotateCamera(std::int32_t n, float angle);
void XRotateCamera(float angle);
void YRotateCamera(std::int32_t n, float angle);
void YRotateCamera(float angle);
void ZRotateCamera(std::int32_t n, float angle);
void ZRotateCamera(float angle);
void PointCamera(std::int32_t n, float x, float y, float z);
void PointCamera(float x, float y, float z);
void MoveCamera(std::int32_t n, float distance);
void MoveCamera(float distance);
void MoveCameraUp(std::int32_t n, float distance);
void MoveCameraDown(std::int32_t n, float distance);
void MoveCameraLeft(std::int32_t n, float distance);
void MoveCameraRight(std::int32_t n, float distance);
void TurnCameraLeft(std::int32_t n, float angle);
void TurnCameraLeft(float angle);
void TurnCameraRight(std::int32_t n, float angle);
void TurnCameraRight(float angle);
void PitchCameraUp(std::int32_t n, float angle);
void PitchCameraUp(float angle);
void PitchCameraDown(std::int32_t n, float angle);
void PitchCameraDown(float angle);
void RollCameraLeft(std::int32_t n, float angle);
void RollCameraLeft(float angle);
void RollCameraRight(std::int32_t n, float angle);
void RollCameraRight(float angle);
void SetCameraToFollow(std::int32_t n, float x, float y, float z, float angle, float distance,
                       float height, float smooth);
void SetCameraToFollow(float x, float y, float z, float angle, float distance, float height,
                       float smooth);
void ControlCameraUsingArrowKeys(std::int32_t n, float move, float turn);
void SetCameraToObjectOrientation(std::int32_t n, std::int32_t object);
void SetCameraToObjectOrientation(std::int32_t object);

void SetCameraRange(std::int32_t n, float nearRange, float farRange);
void SetCameraRange(float nearRange, float farRange);
void SetCameraFOV(std::int32_t n, float fov);
void SetCameraAspect(std::int32_t n, float aspect);
void SetCameraAspect(float aspect);
void SetCameraView(std::int32_t n, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom);
void SetCameraView(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
void ClearCameraView(std::int32_t n);
void ClearCameraView();
void SetCameraRotationXYZ(std::int32_t n);
void SetCameraRotationXYZ();
void SetCameraRotationZYX(std::int32_t n);
void SetCameraRotationZYX();
void BackdropOn(std::int32_t n);
void BackdropOn();
void BackdropOff(std::int32_t n);
void BackdropOff();
void BackdropColor(std::int32_t n, D3DCOLOR colour);
void BackdropColor(D3DCOLOR colour);
// Renders the camera into image (power-of-two width and height, 504 otherwise); copy 1 draws
// into a texture of its own and copies it into the image at each of the camera's passes. A target
// the device cannot make raises 7204 and leaves no image under that number claiming its size. A
// camera that already has a target keeps it.
void SetCameraToImage(std::int32_t n, std::int32_t image, std::int32_t width, std::int32_t height,
                      std::int32_t copy = 0);

float CameraPositionX(std::int32_t n);
float CameraPositionX();
float CameraPositionY(std::int32_t n);
float CameraPositionY();
float CameraPositionZ(std::int32_t n);
float CameraPositionZ();
float CameraAngleX(std::int32_t n);
float CameraAngleX();
float CameraAngleY(std::int32_t n);
float CameraAngleY();
float CameraAngleZ(std::int32_t n);
float CameraAngleZ();
float CameraLookX(std::int32_t n);
float CameraLookY(std::int32_t n);
float CameraLookZ(std::int32_t n);
void SetVector3ToCameraPosition(std::int32_t vector, std::int32_t n);
void SetVector3ToCameraRotation(std::int32_t vector, std::int32_t n);
// No checks: the camera's matrix, or the identity when it is missing.
D3DXMATRIX* GetCameraViewMatrix(D3DXMATRIX* destination, std::int32_t n);
D3DXMATRIX* GetCameraProjectionMatrix(D3DXMATRIX* destination, std::int32_t n);
