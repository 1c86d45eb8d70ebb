// Fixtures and builders shared by the tests of the 3D modules.
#pragma once

#include "core/win32.h"

#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "support/engine_fixture.h"
#include "support/error_cell.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// The module's tables without a device: the checks, creation and deletion.
class ObjectTables : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    ErrorCellScope errors;
};

// The engine started as the game starts it, with a device and the fixed camera 0.
class ObjectScene : public EngineFixture {
protected:
    void SetUp() override;
    // Clears the frame to a colour, runs one Sync and reads the pixel at the screen's centre.
    std::uint32_t SyncAndReadCentre(std::uint32_t clearColour);
    // Clears the frame, runs one Sync and reads every eighth pixel of every eighth row (colour
    // without alpha).
    std::vector<std::uint32_t> SyncAndReadGrid(std::uint32_t clearColour);
};

// Swaps the object module's device for a recording one for the scope's lifetime.
class DeviceRecording {
public:
    DeviceRecording() : device(g_Object3D.device) { g_Object3D.device = &device; }
    ~DeviceRecording() { g_Object3D.device = real_; }
    DeviceRecording(const DeviceRecording&) = delete;
    DeviceRecording& operator=(const DeviceRecording&) = delete;
    RecordingDevice device;

private:
    IDirect3DDevice9* real_ = g_Object3D.device;
};

// Fills a mesh with the box from low to high (FVF 0x112, faces wound clockwise seen from outside),
// indexed or as a plain list.
bool FillBoxMesh(MeshRecord* mesh, const D3DXVECTOR3& low, const D3DXVECTOR3& high,
                 bool indexed = true);
// Object n: a box of half-size h about its origin, indexed or as a plain list.
void BuildBox(std::int32_t n, float h, bool indexed = true);
// Object n: one mesh of the given triangle count, a plain list of tiny triangles.
void BuildTriangles(std::int32_t n, std::int32_t triangles);
// The first mesh of object n.
MeshRecord* FirstMesh(std::int32_t n);
// Gives object n's first mesh one texture slot naming an image number (its sort key).
void SetSortKey(std::int32_t n, std::int32_t image);
// Makes object n an instance of source, its limbs all shown; its record is made in `block` when
// one is given (a deleted record's).
void MakeInstance(std::int32_t n, std::int32_t source, void* block = nullptr);
// The red, green and blue channels of a pixel.
inline int Red(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}
inline int Green(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
inline int Blue(std::uint32_t c) {
    return c & 0xFF;
}
