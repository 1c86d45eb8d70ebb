// The lightmapper: bakes the light of point lights into textures for static meshes. Meshes are
// gathered from objects, single limbs or the static world, every triangle is lit on a small
// square grid of lumels, the grids are packed into 512 x 512 pages, each triangle gets second
// texture coordinates pointing into its page, and the page becomes the mesh's first texture
// stage. Pages are compressed to DXT1 and, given a folder, saved as "<folder>\<n>.dds".
//
// One LightMapper serves the object module (ModuleLightMapper); everything runs on the engine's
// thread and blocks until done. Progress goes to the CoreData progress word.
#pragma once

#include "core/win32.h"

#include "universe/universe_record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct FrameRecord;
struct MeshRecord;
struct ObjectRecord;
class MeshLooks;
class Universe;

constexpr std::int32_t kLightmapPageSize = 512;
constexpr std::int32_t kSmallestLightmapTile = 4;
constexpr std::int32_t kLargestLightmapTile = 128;
// Position, normal, the mesh's own coordinates and the lightmap coordinates.
constexpr std::uint32_t kLightmapFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2;

struct LightmapVertex {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    float u, v;
    float lightU, lightV;
};
static_assert(sizeof(LightmapVertex) == 40);

struct LightmapLight {
    std::int32_t area = 0; // 1 + the index of the world area holding it; 0 none
    D3DXVECTOR3 position{0, 0, 0};
    float range = 0;
    float brightness = 0;          // the percentage x 0.01
    D3DXVECTOR3 colour{0, 0, 0};   // red, green, blue on the 0-255 scale, times the brightness
    std::uint8_t castsShadows = 0; // 1: each lumel is tested for shadow
};

// One mesh to light. An instance's entry names the instance: its position places the source's
// frame and mesh while they are lit.
struct LightmapMeshEntry {
    FrameRecord* frame = nullptr; // null for a world mesh
    MeshRecord* mesh = nullptr;
    ObjectRecord* object = nullptr; // null for a world mesh
    std::int32_t words[2] = {-1, -1};
    // The object's number and record serial when listed: the pointer alone may outlive it.
    std::int32_t objectNumber = 0;
    std::uint64_t objectSerial = 0;
};

// A light that reaches the mesh being lit: the portal plane sets it passes and the world meshes
// that may stand between.
struct LightmapMeshLight {
    const LightmapLight* light = nullptr;
    std::vector<UniversePlaneSet> portals;
    std::vector<MeshRecord*> occluders;
};

// The triangle being lit: its plane, its rectangle on the dominant plane and the lumel grid.
struct LightmapTriangle {
    LightmapVertex* vertices[3] = {};
    D3DXVECTOR3 normal{0, 0, 0};
    D3DXVECTOR3 origin{0, 0, 0};
    std::int32_t axis = 3; // the dominant axis of the normal: 1 x, 2 y, 3 z
    float minU = 0, minV = 0, maxU = 0, maxV = 0, width = 0, height = 0;
    D3DXVECTOR3 lumelOrigin{0, 0, 0};
    D3DXVECTOR3 edgeU{0, 0, 0};
    D3DXVECTOR3 edgeV{0, 0, 0};
    float uv[3][2] = {}; // each corner's place in the rectangle, 0 to 1
    // No area or no plane: lit by nothing, its corners at the rectangle's origin.
    bool degenerate = false;
};

// The axis along which the normal is largest: 1 x, 2 y, 3 z (z on ties).
std::int32_t GetDominantAxis(const D3DXVECTOR3& normal);
// Plane, dominant axis and each corner projected on the other two axes, from corners a, b, c.
void SetupTriangle(LightmapTriangle& t, LightmapVertex* a, LightmapVertex* b, LightmapVertex* c);
// The rectangle around the projected corners; each corner's coordinates brought into 0..1.
void NormalizeTriangleUV(LightmapTriangle& t);
// The rectangle's corners lifted onto the triangle's plane: the lumel origin and edges.
void SetupLumelPlane(LightmapTriangle& t);
// Lights the w x h lumels (A8R8G8B8, rows of w) from the lights; colour step s > 0 makes every
// contribution a multiple of s per channel. 1 when a lumel was found in shadow.
std::uint8_t LightTriangle(const LightmapTriangle& t, const std::vector<LightmapMeshLight>& lights,
                           std::int32_t w, std::int32_t h, std::int32_t colourStep,
                           std::uint32_t* lumels);

// Where a placed block lies on its page.
struct LightmapSlot {
    std::int32_t x = 0, y = 0, width = 0, bottom = 0;
};

// One page of blocks being filled; the lightmapper keeps one at a time.
class LightmapPage {
public:
    LightmapPage() = default;
    ~LightmapPage();
    LightmapPage(const LightmapPage&) = delete;
    LightmapPage& operator=(const LightmapPage&) = delete;

    // An empty page of w x h blocks, without textures; false for a size outside 4..128.
    bool Reset(std::int32_t w, std::int32_t h);
    void SetFolder(const std::string& name) { folder = name; }
    const char* GetFileName() const { return fileName; }
    IDirect3DTexture9* GetTexture() const { return compressedTexture; }
    std::int32_t Capacity() const;

    // The mesh whose triangles are placed from now on.
    void BeginMesh(MeshRecord* placed);
    // Places a triangle's block, sharing the slot of an equal block when it has no shadow; its
    // corners get their page coordinates. False, placing nothing, when the page is full.
    bool PlaceTriangle(const std::uint32_t* block, std::uint8_t shadow, LightmapTriangle& t);
    // The first placed block equal texel for texel; -1 when none.
    std::int32_t FindIdenticalBlock(const std::uint32_t* block) const;
    // A new slot for the block: 0 when the page is full, else 1.
    std::int32_t PlaceBlock(const std::uint32_t* block, LightmapTriangle& t);
    // The triangle's corners pointed into the slot, inside its one-lumel border.
    void SetTriangleUV(LightmapTriangle& t, std::int32_t slot) const;
    // Where the next block goes, below the last or at the top of the next column.
    LightmapSlot NextSlotPosition() const;

    std::vector<std::uint32_t> blocks; // the placed blocks, in slot order
    std::int32_t used = 0;
    std::int32_t size = kLightmapPageSize;
    std::int32_t tileWidth = kSmallestLightmapTile, tileHeight = kSmallestLightmapTile;
    std::vector<LightmapSlot> slots;
    MeshRecord* mesh = nullptr;                     // being placed; not owned
    IDirect3DTexture9* colourTexture = nullptr;     // owned; locked while the page fills
    IDirect3DTexture9* compressedTexture = nullptr; // owned; the meshes hold their own references
    std::uint8_t* bits = nullptr;
    std::int32_t pitch = 0, width = 0, height = 0;
    char fileName[256] = {}; // empty: the page is not saved
    std::string folder;
    bool compressed = false; // the compressed texture holds the blocks

private:
    void WriteBlock(const std::uint32_t* block, const LightmapSlot& slot);
    // Slots by a hash of their blocks, so that equal blocks are found without a search.
    std::unordered_map<std::uint64_t, std::vector<std::int32_t>> slotsByHash_;
};

// Dark texels (red, green and blue all below 0x20 somewhere in their 3 x 3 neighbourhood) become
// the average of that neighbourhood; w x h texels in place.
void SmoothDarkTexels(std::uint32_t* block, std::int32_t w, std::int32_t h);

class LightMapper {
public:
    // Every frame of the object (of its source, for an instance) that has a mesh.
    void AddObject(std::int32_t number);
    void AddLimb(std::int32_t number, std::int32_t limb);
    // Every mesh of the world; nothing without one.
    void AddMesh(Universe* universe);
    void AddLight(float x, float y, float z, float range, float red, float green, float blue,
                  float brightness, std::uint8_t castsShadows);
    void DeleteLights() { lights_.clear(); }
    // Lights every listed mesh onto pages of quality x quality blocks (4..128); the mesh list is
    // emptied, the lights stay. Out of memory it raises 7002 and changes nothing: every mesh keeps
    // its shape, slots and effect, the list, lights and settings stay, and no page is written.
    void Build(std::int32_t quality, std::int32_t colourStep, const char* folder);
    void Reset();
    // A fresh page with its textures on the module's device. With a folder the page is named
    // after the page number, which goes up (a name too long for the page is not kept).
    void CreatePage(LightmapPage& page, std::int32_t w, std::int32_t h, std::int32_t& pageNumber);
    // Compresses the page, frees its blocks, writes it when it has a name and a block, and lets
    // go of its colour texture. A page with a block raises 8212 when it cannot be written: its
    // textures were not made, the name its folder asks for did not fit, or the write failed.
    void SavePage(LightmapPage& page);
    // The two halves of SavePage: the page compressed and its blocks freed; then written.
    void FinishPage(LightmapPage& page);
    void WritePage(LightmapPage& page);

    const std::vector<LightmapLight>& Lights() const { return lights_; }
    const std::vector<LightmapMeshEntry>& Meshes() const { return meshes_; }
    std::int32_t TileWidth() const { return tileWidth_; }
    std::int32_t TileHeight() const { return tileHeight_; }
    std::int32_t ColourStep() const { return colourStep_; }
    std::int32_t PageNumber() const { return pageNumber_; }

private:
    enum class Outcome { Skipped, Placed, PageFull };
    // A mesh is listed once; an entry whose object is gone gives its place to the new one.
    void AddEntry(FrameRecord* frame, MeshRecord* mesh, ObjectRecord* object, std::int32_t number);
    bool StillLive(const LightmapMeshEntry& entry) const;
    void PlaceLightsInAreas();
    std::vector<LightmapMeshLight> GatherMeshLights(const LightmapMeshEntry& entry) const;
    // Every listed mesh lit, each set aside in looks first; throws std::bad_alloc out of memory.
    void LightAll(MeshLooks& looks);
    void LightEntry(const LightmapMeshEntry& entry, MeshLooks& looks);
    Outcome ApplyToMesh(const LightmapMeshEntry& entry);
    Outcome LightTriangles(MeshRecord* mesh, const std::vector<LightmapMeshLight>& lights);
    void BindPage(const LightmapMeshEntry& entry);
    void NextPage();

    std::vector<LightmapLight> lights_;
    std::vector<LightmapMeshEntry> meshes_;
    std::int32_t tileWidth_ = kSmallestLightmapTile, tileHeight_ = kSmallestLightmapTile;
    std::int32_t colourStep_ = 0;
    std::string folder_;
    std::int32_t pageNumber_ = 0;
    std::unique_ptr<LightmapPage> page_; // only while Build runs
    // Filled pages, written once every mesh is lit; only while Build runs.
    std::vector<std::unique_ptr<LightmapPage>> finished_;
    std::vector<std::uint32_t> lumels_; // one triangle's block
};

// The object module's lightmapper.
LightMapper& ModuleLightMapper();
