// The loaded level: the file's lumps, and what the world draws and collides with, made from them
// at load: engine vertices, 16-bit mesh indices, curved-patch grids, one render record per face,
// lightmap textures and the faces grouped by texture. Owned by the world module; the level
// replaces the previous one whole, or not at all.
#pragma once

#include "world/bsp_file.h"
#include "world/bsp_patch.h"
#include "world/world_vertex.h"

#include <cstdint>
#include <vector>

// How bright lightmaps are made at load.
constexpr float kLightmapBrightness = 2.5f;

// One face as drawn. Texture handle: an index into the world's texture list, -2 - s for shader
// s of the shader table, -1 for none.
struct WorldFaceRecord {
    std::int32_t type = 0;
    std::int32_t firstVertex = 0; // polygons and meshes
    std::int32_t vertexCount = 0;
    std::int32_t firstMeshIndex = 0; // meshes
    std::int32_t meshIndexCount = 0;
    std::int32_t texture = -1;
    std::int32_t shader = -1;
    std::int32_t lightmap = -1; // index into the world's lightmap textures
    std::int32_t patch = -1;    // patches: the patch table's record, -1 when none was built
    // Polygons: the triangles the file lists for them in the mesh index list, when it lists a
    // sound set. Merged polygons are not convex fans of their vertices; these are drawn and
    // collided with instead of the fan.
    std::int32_t firstTriangleIndex = 0;
    std::int32_t triangleIndexCount = 0;
    float distance = 0.0f; // polygons, meshes and billboards: origin . normal, level units
    float normal[3] = {0, 0, 0};
    float origin[3] = {0, 0, 0};
};

// The faces that share one texture handle, in face order.
struct WorldFaceGroup {
    std::int32_t texture = -1;
    std::vector<std::int32_t> faces;
};

struct WorldLevel {
    BspFile file; // the lightmap lump as brightened, kept to remake the textures after a reset
    std::vector<WorldVertex> vertices;
    std::vector<std::uint16_t> indices; // the low 16 bits of each level mesh index
    std::vector<PatchRecord> patches;
    std::vector<WorldFaceRecord> faces;
    std::vector<WorldFaceGroup> groups;         // ascending texture handle
    std::vector<std::int32_t> faceVisible;      // one per face, written by the drawing pass
    std::vector<std::int32_t> lightmapTextures; // lightmap i's texture, -1 when none was made
};

// The module's level, empty until a level loads.
WorldLevel& WorldLevelData();

// Parses and checks a whole level file image, then replaces the level: 1, or 0 (the level as it
// was) when the image is refused or the running load's budget cannot hold it. The shader table is
// read; textures and lightmaps are made on the device when there is one. Everything it makes is
// charged to the running load before it is made.
int LoadBSPData(const std::uint8_t* image, std::size_t size);

// The load's stages after the file is read and checked, in the order LoadBSPData runs them; each
// works on level (whose file is filled) and may be timed alone.
void MakeLevelLightmaps(WorldLevel& level);
// False when the patches together would hold more than kMostLevelPatchVertices.
bool MakeLevelPatches(WorldLevel& level);
// What the level lets every later frame and collision call do, charged to the running load
// (level_charges.cpp): a small file can make neither a frame nor a sweep take seconds. False
// when sweeps would test more than kMostSweptTriangles.
bool ChargeLevelWork(const WorldLevel& level);
void MakeFaceRecords(WorldLevel& level);
void MakeLevelVertices(WorldLevel& level);
void GroupLevelFaces(WorldLevel& level);

// The work a level's frames and sweeps do, in bytes of its load's budget, measured under Wine's
// software rendering (December 2026, 8 cores): the ceiling (192 MB) buys under half a second of
// any one kind in a frame and under 0.03 s in a sweep, where the largest of openarena's levels
// need at most 21 MB of all of them together. Besides these, each pass over a face hands the
// device its vertices and indices at their size.
// A face drawn in a pass past its first (a shader's second stage on): 3-5 us a draw call. The
// first passes are bounded by the faces a level may hold (65,536, about 0.3 s a frame), so that a
// level of that many faces loads within its budget as before.
constexpr std::uint64_t kDrawCallCharge = 2048;
// One vertex of a face in one pass through one texture modifier or environment mapping: 17-26 ns
// in the release build through the drawing pass (one face of 256 vertices through 16 stages of
// 255 rotations, scrolls or scales, 1.04 million passes: 18-27 ms of a frame, whose face then
// fills it), so the floor's 64 MB pays for 2.1 million, about 0.05 s a frame.
constexpr std::uint64_t kModifierVertexCharge = 32;
// A leaf's face marked by a frame's visibility walk or a sweep's: 2-5 ns.
constexpr std::uint64_t kLeafFaceWalkCharge = 64;
// A node and the leaf below it, their boxes tested by a sweep: 50-80 ns.
constexpr std::uint64_t kNodeWalkCharge = 512;
// The triangles of solid polygons and patches that one sweep may test, with its slides, at up to
// 240 ns each (0.063 s for all): more refuse the level. Openarena's levels hold at most 29,466;
// charging them at the sweep's rate instead would take 15 MB of a real level's budget and refuse
// a level of 65,536 quads, which sweeps in 30 ms.
constexpr std::uint64_t kMostSweptTriangles = 1 << 18;

// All the patches of a level together: a bound on what a file can make the loader allocate.
constexpr std::int64_t kMostLevelPatchVertices = 4 << 20;

// Brightens r, g, b texels in place by factor, keeping an over-bright texel's channel ratios.
void ScaleLightmapColours(std::uint8_t* texels, std::size_t byteCount, float factor);

// Frees every level array, the patches, the face records and groups.
void FreeLevelData();
// The same two steps by name: the face groups alone, and every array with them.
void FreeFaceGroups(WorldLevel& level);
void FreeWorldArrays(WorldLevel& level);
