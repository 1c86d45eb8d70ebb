// The camera record: one numbered camera's placement, matrices, viewport and render target. The
// object, world, terrain, particle and maths modules read it through GetCameraInternalData.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct CameraRecord {
    D3DXMATRIX projection;
    D3DXMATRIX view;
    D3DXVECTOR3 look{0, 0, 1};
    D3DXVECTOR3 up{0, 1, 0};
    D3DXVECTOR3 right{1, 0, 0};
    D3DXVECTOR3 position{0, 0, 0};
    D3DVIEWPORT9 fullViewport{};
    D3DVIEWPORT9 viewport{};
    std::int32_t targetImage = 0; // 0: the back buffer
    IDirect3DTexture9* targetTexture = nullptr;
    IDirect3DSurface9* targetSurface = nullptr;
    IDirect3DTexture9* copyTexture = nullptr;
    IDirect3DSurface9* copySurface = nullptr;
    std::int32_t backdropOn = 0; // 1: each pass clears colour and depth, else depth only
    D3DCOLOR backdropColour = D3DCOLOR_ARGB(255, 0, 0, 128);
    std::uint8_t matrixMode = 0; // 1: orientation from the rotation matrix
    D3DXMATRIX rotation;
    D3DXVECTOR3 angle{0, 0, 0};
    float aspect = 0;
    float aspectOverride = 0; // 0: none
    float fov = 0.7853982f;   // vertical, degrees
    float nearRange = 1.0f;
    float farRange = 3000.0f;
    std::uint8_t rotationOrder = 1;  // 1: X, then Y, then Z
    std::uint8_t storedMatrices = 0; // the view rebuild sends the user view as it stands
    D3DXMATRIX userView;
    std::int32_t clipMode = 0; // 1: user clip plane 0; 2: also the view reflected in it
    D3DXPLANE clipPlane{0, 0, 0, 0};
    // The render target as asked for, so that a device reset can make it again.
    std::int32_t targetWidth = 0, targetHeight = 0, targetCopy = 0;

    CameraRecord()
        : projection(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
          view(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
          rotation(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
          userView(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0) {}
};

// The camera entries other modules keep from their start-up on.
struct CameraBridge {
    CameraRecord* (*getInternalData)(std::int32_t camera);
    void (*updateView)();
    void (*setCurrentFOV)(float fov);
    float (*getPositionX)(std::int32_t camera);
    float (*getPositionY)(std::int32_t camera);
    float (*getPositionZ)(std::int32_t camera);
    void (*position)(std::int32_t camera, float x, float y, float z);
    void (*autoFocus)(float x, float y, float z, float size);
};
