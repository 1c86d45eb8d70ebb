// The world module's state: what the core hands it, the entries of other modules it keeps, the
// world kind, the level's files and the collision slots. The level itself is world_level.h's,
// shaders shader_table.h's and textures world_textures.h's.
#pragma once

#include "camera/camera_record.h"
#include "core/core_data.h"
#include "world/archive_list.h"
#include "core/error_numbers.h"

#include <array>
#include <cstdint>

// World kinds: none, the two level providers this program does not contain, a BSP level.
enum WorldKind : std::int32_t { kWorldNone = 0, kWorldKind1 = 1, kWorldKind2 = 2, kWorldBsp = 3 };

constexpr std::int32_t kWorldSlots = 25; // 0 to 24; commands take 1 to 24
constexpr float kDefaultSlotThreshold = 0.003f;

// The nine entries of the display, camera and object modules the world reaches through, and the
// camera record entry that tells whether camera 1 (the eye of environment-mapped stages) exists.
struct WorldBridges {
    IDirect3DDevice9* (*getDevice)() = nullptr;
    void (*positionCamera)(std::int32_t camera, float x, float y, float z) = nullptr;
    float (*cameraX)(std::int32_t camera) = nullptr;
    float (*cameraY)(std::int32_t camera) = nullptr;
    float (*cameraZ)(std::int32_t camera) = nullptr;
    void (*positionObject)(std::int32_t object, float x, float y, float z) = nullptr;
    float (*objectX)(std::int32_t object) = nullptr;
    float (*objectY)(std::int32_t object) = nullptr;
    float (*objectZ)(std::int32_t object) = nullptr;
    CameraRecord* (*cameraData)(std::int32_t camera) = nullptr;
};

// The hooks of a level provider for world kinds 1 and 2. None is installed in this program: an
// absent load counts as a failed load, any other absent hook as doing nothing (queries give 0).
struct WorldProvider {
    // Kind 2 takes the archive path and level name, kind 1 the level name (archive null).
    std::int32_t (*load)(const char* archive, const char* level) = nullptr;
    void (*release)() = nullptr;
    void (*setCamera)(std::int32_t camera) = nullptr;
    void (*setEllipsoid)(std::int32_t slot, std::int32_t camera, float x, float y,
                         float z) = nullptr;
    void (*setObjectEllipsoid)(std::int32_t slot, std::int32_t object, float x, float y,
                               float z) = nullptr;
    void (*setOffset)(std::int32_t slot, float offset) = nullptr;
    void (*setThreshold)(std::int32_t slot, float value) = nullptr;
    void (*disable)(std::int32_t slot) = nullptr;
    std::int32_t (*hit)(std::int32_t slot) = nullptr;
    // Kind 1 only: the step and the corrections x, y and z.
    void (*step)(std::int32_t slot) = nullptr;
    float (*correction[3])(std::int32_t slot) = {nullptr, nullptr, nullptr};
    // Kind 2 only: its two commands of its own.
    void (*extra[2])() = {nullptr, nullptr};
};

// One collision slot: a camera or object swept through the level each frame.
struct WorldCollisionSlot {
    float previous[3] = {0, 0, 0}; // end of the last frame, height offset removed
    float wanted[3] = {0, 0, 0};
    float radius = 0.0f;         // -1: the ellipsoid radii apply
    std::int32_t entityKind = 0; // 1 camera, 0 object
    std::int32_t entity = 0;
    float radii[3] = {0, 0, 0};
    std::int32_t response = 0; // 0 slide, 1 stop
    std::uint8_t hit = 0;
    float correction[3] = {0, 0, 0};
    float heightOffset = 0.0f;
    float threshold = kDefaultSlotThreshold;
    std::uint8_t started = 0;
};

// Written by the module's entries and commands on the main thread. core, bridges and device live
// from the Constructor on (the device is taken again at every mode change); kind, the loaded flag
// and the level files from one LoadWorld to the next FreeWorld; the slots for the run.
struct WorldState {
    CoreData* core = nullptr;
    IDirect3DDevice9* device = nullptr;
    WorldBridges bridges;
    std::int32_t kind = kWorldNone;
    std::int32_t camera = 0;    // whose position decides what is visible
    std::uint32_t flags = 0;    // kLevelLoaded
    ArchiveFileList levelFiles; // the level file and each shader script its faces use
    std::array<WorldCollisionSlot, kWorldSlots> slots{};
    std::array<std::uint8_t, kWorldSlots> active{};
    WorldProvider providers[2]; // kinds 1 and 2
};

constexpr std::uint32_t kLevelLoaded = 1u << 0;

extern WorldState g_World;

// The level's files, which the level loader adds shader scripts to.
ArchiveFileList& WorldLevelFiles();
// The provider of kind 1 or 2.
WorldProvider& WorldProviderOf(std::int32_t kind);
