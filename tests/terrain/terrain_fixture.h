// The engine with camera 0 at the origin looking along +z, for the terrain module's tests.
#pragma once

#include "core/win32.h"

#include "support/object_scene.h"
#include "support/recording_device.h"
#include "support/temp_folder.h"
#include "terrain/terrain.h"
#include "terrain/terrain_state.h"

#include <cstdint>
#include <vector>

// The quadrant colours of LoadQuadrants' picture.
constexpr std::uint32_t kTopLeft = 0xFF0000, kTopRight = 0x00FF00, kBottomLeft = 0x0000FF,
                        kBottomRight = 0xFFFF00;
constexpr std::uint32_t kClear = 0xFF204060;

class TerrainScene : public ObjectScene {
protected:
    void TearDown() override;
    static TerrainMatrixRecord* Record(std::int32_t n) { return FindTerrainMatrix(n); }
    // The vertex buffer as the device holds it.
    static std::vector<TerrainVertex> Vertices(std::int32_t n);
    // Image n: 4 x 4 pixels in four single-coloured quadrants.
    void LoadQuadrants(std::int32_t image);
    // Matrix n of 1 x 1 tile, size units square, upright in front of camera 0 at distance 6, unlit
    // and point-sampled: its picture shows as in the image.
    static void FacingTile(std::int32_t n, float size);
    // Every pixel of the back buffer after one Sync over the clear colour, 0xRRGGBB.
    std::vector<std::uint32_t> SyncAndReadScreen();
    // The run-time error that fn raises (0 for none).
    template <typename Fn> std::int32_t ErrorOf(Fn&& fn) {
        cell.number = 0;
        fn();
        return cell.number;
    }
    TempFolder folder;
};

// Hands the terrain module (and every matrix) a recording device for the scope's lifetime.
class TerrainRecording {
public:
    TerrainRecording();
    ~TerrainRecording();
    TerrainRecording(const TerrainRecording&) = delete;
    TerrainRecording& operator=(const TerrainRecording&) = delete;
    RecordingDevice device;

private:
    static void Point(IDirect3DDevice9* to);
    IDirect3DDevice9* real_ = g_Terrain.device;
};
