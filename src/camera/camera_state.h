// The camera module's state, shared by its source files (and read by its tests).
#pragma once

#include "camera/camera_record.h"
#include "core/com_ptr.h"
#include "core/core_data.h"
#include "core/idlist.h"
#include "image/image_bridge.h"
#include "maths/maths.h"
#include "core/error_numbers.h"

#include <cstdint>

struct ObjectRecord;

// The numbered cameras: records under camera numbers, in the order they are drawn.
using CameraList = IdList;

// Written only by the camera module, on the main thread. The records live from MakeCamera (camera
// 0 from the Constructor) to DeleteCamera; a device reset releases their targets and the shared
// depth surface, and makes them again.
struct CameraState {
    IdList cameras;                         // number -> CameraRecord, owned; camera 0 first
    std::int32_t currentNumber = 0;         // the camera of commands without a number
    CameraRecord* current = nullptr;        // the last lookup's record
    std::int32_t renderCamera = 0;          // the camera being drawn; -1 after the last of a frame
    bool targetSwitched = false;            // a pass has redirected drawing into an image
    std::int32_t appliedClipMode = 0;       // the clip mode last sent
    ComPtr<IDirect3DSurface9> depthSurface; // one depth-stencil surface for every image target
    UINT depthWidth = 0, depthHeight = 0;
    ComPtr<IDirect3D9> d3d;
    std::uint8_t autoCamera = 1; // AutoCameraFocus moves the current camera
    std::uint8_t firstFocus = 1; // the first AutoCameraFocus turns the backdrop on
    IDirect3DDevice9* device = nullptr;
    CoreData* core = nullptr;
    ImageBridge images{};
    VectorEntries vectors;
    ObjectRecord* (*getObject)(std::int32_t n) = nullptr;
};

extern CameraState g_Camera;

// Looks the camera up without a check; it becomes the current record (null when missing).
CameraRecord* FindCamera(std::int32_t n);
// The camera after the range check (7201) and the lookup (7203); null after either error.
CameraRecord* CheckedCamera(std::int32_t n);
// Rebuilds the projection; sends it when n is the current camera number.
void BuildCameraProjection(CameraRecord& camera, std::int32_t n);
// The view rebuild of the current record: view and projection built and sent.
void RebuildCurrentView();
// Angles in degrees, from a rotation matrix.
D3DXVECTOR3 AnglesFromMatrix(const D3DXMATRIX& m);
// The angles that make a camera at from look at to.
D3DXVECTOR3 AnglesToward(const D3DXVECTOR3& from, const D3DXVECTOR3& to);
// Brings an angle into [0, 360) a turn at a time; 0 when that takes more than a hundred turns.
float CameraWrapAngle(float angle);
// Sets camera n up anew: full viewport, field of view, aspect, projection, position.
void SetUpCamera(std::int32_t n);
// Releases the camera's render targets.
void ReleaseCameraTargets(CameraRecord& camera);
// Makes the camera's image target (SetCameraToImage after its checks); false leaves the camera on
// the back buffer.
bool MakeCameraTarget(CameraRecord& camera, std::int32_t image, std::int32_t width,
                      std::int32_t height, std::int32_t copy);
