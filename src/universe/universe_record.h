// The static level world: level meshes merged into a grid of 100-unit box cells, the cells grouped
// into box areas joined by portals, per-cell collision triangles, shadow lights and a decal ring.
// The object module keeps the one pointer to it (UniversePointer, object3d/object_state.h); the
// world is created with that module and destroyed with it or by the universe commands.
//
// Who writes what: the build (universe_build.cpp, universe_areas.cpp) fills the grid, cells, areas
// and portals; the batch assembly (universe_batches.cpp) the areas' mesh lists; the queries
// (universe_queries.cpp) queryMeshes, visibleFrusta, visitedAreas and the collision buffer; the
// object, caster and light operations (universe_lights.cpp) the rest. Everything lives until the
// world is destroyed, except what a second Build or batch assembly replaces.
//
// What the world keeps of other items: the level meshes, their companions and the lights' shadow
// meshes live as long as the world, so the pointers to them (cell lists, side meshes, casters,
// query results) never outlive them; batch meshes go with a Build or an assembly, which takes
// them out of every list and forgets a ray contact on them. Images and effects its meshes use are
// the owners': the world's keepers (universe_keepers.cpp) let go of them as they go. Static
// objects leave the list as they are deleted, and the world's end releases those it still holds.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class AreaBuckets;
class BatchAssembly;
struct CameraRecord;
struct FrameRecord;
struct MeshRecord;
struct ObjectRecord;
class ReplacingFile;

// Side codes of cells, areas and portals; opposite pairs are 0/1, 2/3, 4/5.
enum UniverseSide : std::int32_t {
    kSideMinusZ = 0,
    kSidePlusZ = 1,
    kSidePlusY = 2,
    kSideMinusY = 3,
    kSidePlusX = 4,
    kSideMinusX = 5,
};
constexpr int kUniverseSides = 6;
constexpr std::int32_t OppositeSide(std::int32_t side) {
    return side ^ 1;
}

// Portal depths of one walk: entry 0 is the start area.
constexpr int kUniversePortalDepths = 20;
// A batch stays below this many vertices, so that its 16-bit indices always reach.
constexpr std::int32_t kBatchVertexLimit = 43688;

// One corner of a side quad (vertex format 0x152).
struct UniverseQuadVertex {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(UniverseQuadVertex) == 36);
constexpr std::uint32_t kUniverseQuadFormat =
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// One face of a cell or box.
struct UniverseNodeSide {
    UniverseQuadVertex quad[4];
    MeshRecord* mesh; // the strongest level mesh lying on this face; not owned
    // On the bottom side: the highest vertex y of its side mesh.
    float topHeight;
    std::uint8_t open;
    std::uint8_t drawable;
    std::int32_t strength; // the side mesh's, 0 when none
};

// One collision triangle: corners in the scaled space (x 0.1, y 1/30, z 0.1), and the collision
// value of its mesh. Stored byte for byte in the level's structure file.
struct UniverseTriangle {
    float corners[9];
    std::int32_t value;
};
static_assert(sizeof(UniverseTriangle) == 40);

// A grid cell; also the box record of the root, of every area and of every portal. A new node is
// all zero but its state.
struct UniverseNode {
    std::vector<MeshRecord*> meshes; // level meshes touching it, no duplicates; not owned
    UniverseNodeSide sides[kUniverseSides] = {};
    std::int32_t skipSides = 0; // nonzero: the side meshes are not looked for
    std::int32_t vertexTotal = 0;
    std::int32_t state = 2;
    std::uint8_t assigned = 0; // belongs to an area
    D3DXVECTOR3 centre{0, 0, 0};
    D3DXVECTOR3 halfExtents{0, 0, 0};
    // The cells across sides 0 to 5; null at the edge. Not owned.
    UniverseNode* neighbours[kUniverseSides] = {};
    std::vector<UniverseTriangle> triangles; // of the meshes centred in it
    D3DXVECTOR3 triangleMin{0, 0, 0};        // bounds of those triangles in engine units
    D3DXVECTOR3 triangleMax{0, 0, 0};
    std::int32_t gridIndex = 0;

    D3DXVECTOR3 Minimum() const { return centre - halfExtents; }
    D3DXVECTOR3 Maximum() const { return centre + halfExtents; }
};

// The one-word holder of a batch mesh; areas that share a batch point at its holder, so that a
// merge that replaces the mesh reaches them all.
struct UniverseBatch {
    MeshRecord* mesh = nullptr;
};

// An opening from an area into a neighbouring one.
struct UniversePortal {
    std::int32_t neighbour = 0; // index in the area list
    std::int32_t side = 0;
    std::int32_t strength = 0; // 1: a see-through opening
    D3DXVECTOR3 minimum{0, 0, 0};
    D3DXVECTOR3 maximum{0, 0, 0};
    D3DXVECTOR3 centre{0, 0, 0};
    D3DXVECTOR3 halfExtents{0, 0, 0};
    D3DXVECTOR3 corners[4] = {};
    std::unique_ptr<UniverseNode> box;
};

// A box of grid cells.
struct UniverseArea {
    D3DXVECTOR3 minimum{0, 0, 0};
    D3DXVECTOR3 maximum{0, 0, 0};
    D3DXVECTOR3 centre{0, 0, 0};
    // Merged meshes of the area, and of meshes centred here that reach into other areas. The
    // holders are owned; their meshes are the world's (see Universe::Destroy).
    std::vector<std::unique_ptr<UniverseBatch>> batches;
    std::vector<std::unique_ptr<UniverseBatch>> secondBatches;
    // Holders of other areas' secondBatches whose meshes reach into this one; not owned.
    std::vector<UniverseBatch*> sharedMeshes;
    std::vector<std::unique_ptr<UniversePortal>> portals;
    std::int32_t cornerCount = 0;
    std::vector<UniverseNode*> cells; // not owned
    std::unique_ptr<UniverseNode> box;
    std::uint8_t drawn = 0; // seen in the current frame
    // Holders of loaded shared entries whose meshes no area's second batch holds; owned.
    std::vector<std::unique_ptr<UniverseBatch>> loadedShared;
};

// Six planes (a, b, c, d) through which a box was seen.
struct UniversePlaneSet {
    D3DXPLANE planes[6];
};

// A limb handed in by the add-object commands, waiting to become a level mesh.
struct UniversePendingLimb {
    FrameRecord* frame = nullptr;
    ObjectRecord* object = nullptr;
    std::int32_t objectNumber = 0;
    std::int32_t collisionMode = 0;
    std::int32_t shadowKind = 0;
};

// A mesh that casts stencil shadows from the world's lights.
struct UniverseShadowCaster {
    D3DXMATRIX world;
    MeshRecord* mesh = nullptr; // not owned
};

// A numbered shadow light and the shadow volumes made for it (owned).
struct UniverseLight {
    float values[4] = {}; // x, y, z, w as given
    std::vector<std::int32_t> casterIndices;
    std::vector<MeshRecord*> shadowMeshes;
};

// Where a ray met a mesh.
struct UniverseRayContact {
    D3DXVECTOR3 point{0, 0, 0};
    D3DXVECTOR3 normal{0, 0, 0};
    MeshRecord* mesh = nullptr;
};

class Universe {
public:
    Universe();
    ~Universe();
    Universe(const Universe&) = delete;
    Universe& operator=(const Universe&) = delete;

    // Lifecycle (universe.cpp).
    // Makes the root node once; false when it exists or cannot be made.
    bool CreateRootNode(float x, float y, float z);
    // Index of the record in cells; 0 when it is not a cell.
    std::int32_t FindNodeIndex(const UniverseNode* node) const;

    // The build (universe_build.cpp, universe_areas.cpp). False, with the last build's structure
    // kept, when there is no memory for the new one.
    bool Build();
    // Whether the side of the cell at the grid coordinates is open; false outside the grid or
    // where no cell is. A positive side strength is stored in strength when given.
    bool GetCellSideFlag(std::int32_t side, std::int32_t ix, std::int32_t iy, std::int32_t iz,
                         std::int32_t* strength = nullptr) const;
    // The grid coordinate of a centre coordinate on an axis (0 x, 1 y, 2 z).
    std::int32_t GridCoordinate(std::int32_t axis, float centre) const;
    // The cell at grid coordinates, null outside the grid or where none is.
    UniverseNode* CellAt(std::int32_t ix, std::int32_t iy, std::int32_t iz) const;
    void ComputeCellTriangleBounds();

    // Batches (universe_batches.cpp).
    // Frees a world mesh that no list of the world holds any more; a ray contact on it goes too.
    void ReleaseMesh(MeshRecord* mesh);
    // The areas' batches assembled again; out of memory it throws, the last assembly's kept.
    void BuildAreaMeshLists();
    UniverseBatch* MergeMeshIntoArea(UniverseArea* area, MeshRecord* mesh, UniverseArea* target);
    void AddAreaMeshesToBuffers();

    // Queries (universe_queries.cpp).
    void GatherCellMeshes(std::vector<MeshRecord*>& list) const;
    void GatherAreaBatchMeshes(std::vector<MeshRecord*>& list) const;
    void GatherMeshesInBox(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
    bool IsBoxVisibleFromArea(std::int32_t area, const D3DXVECTOR3* eye, const D3DXVECTOR3& centre,
                              const D3DXVECTOR3& halfExtents);
    void AppendCellTriangles(const UniverseNode& cell);
    void AppendTriangle(const float corners[9], std::int32_t value);
    // Whether the segment crosses a triangle of the mesh, its two ends excluded.
    bool MeshRayHit(const MeshRecord* mesh, const D3DXVECTOR3& from, const D3DXVECTOR3& to) const;

    // Objects, casters and lights (universe_lights.cpp).
    // Static objects are listed through these two only, so that each knows its places.
    bool AddStaticObject(ObjectRecord* object);
    bool RemoveStaticObject(ObjectRecord* object);
    void AddShadowCaster(MeshRecord* mesh, const D3DXMATRIX* world);
    // Out of memory these two throw, the light or the decal ring as it was.
    void SetLight(std::int32_t n, float x, float y, float z, float w, bool makeShadows);
    void SetDecalImage(std::int32_t image, std::int32_t across, std::int32_t down);

    // Drawing (universe_render.cpp, universe_debug_draw.cpp): the world seen from camera 0
    // through the portals, before the object layers; false when it is not built or has no root.
    bool Render();
    bool RenderPortals(std::int32_t previous, std::int32_t depth, std::int32_t area);
    bool DrawArea(std::int32_t depth, UniverseArea& area);
    void DrawNodeBounds();
    // The draw calls one frame of debug drawing can make on this world.
    std::uint64_t DebugFrameDraws() const;
    // The shadow volumes of the lights, in the object module's shadow pass.
    void DrawLightShadows();
    // One decal of the size and frame on the surface of the last ray contact.
    void AddDecalQuad(float size, std::int32_t frame);

    // Collision (universe_collision.cpp).
    std::int32_t RayQuery(float x1, float y1, float z1, float x2, float y2, float z2);
    std::int32_t RayCollide(float x1, float y1, float z1, float x2, float y2, float z2);
    bool VolumeQuery(float ox, float oy, float oz, float nx, float ny, float nz, float mode);
    bool VolumeCollide(float ox, float oy, float oz, float nx, float ny, float nz, float mode);
    // The triangle tests the longest collision call on the loaded world can make: a ray tests
    // each level mesh once, a decal its surface once a corner, a volume query one cell block.
    std::uint64_t LongestCallTriangleTests() const;

    // The level's two files (universe_file.cpp, universe_level.cpp).
    // Writes the structure file; false, nothing written, when the file exists or cannot be made
    // whole. The second form writes it whole into a replacing file and leaves the commit to the
    // caller, who puts it in place with the level's object file.
    bool Save(const char* fileName) const;
    bool Save(ReplacingFile& file) const;
    // Reads the structure file; false when it is missing or holds less than a whole world.
    bool Load(const char* fileName);
    bool LoadLevel(const char* fileName, std::int32_t lightmapValue);
    // Writes the object file and the structure file beside it, both or neither.
    bool SaveLevel(const char* fileName);
    // The pending limbs become level meshes; false at the first mesh outside the root box (the
    // ones before it are kept). Out of memory it throws, the world as it was.
    bool AddPendingLimbs();

    std::unique_ptr<UniverseNode> root;
    // cellCount + 1 records (the last a spare); the grid, the areas and the neighbour links point
    // into it, so it is only ever replaced whole.
    std::vector<UniverseNode> cells;
    std::vector<UniverseNode*> cellGrid;
    std::uint32_t gridSlots = 0;
    std::vector<std::uint8_t> cellFlags; // one a grid slot: the cells visited in a frame
    std::uint8_t debugDraw[2] = {};
    std::uint8_t created = 0;
    std::uint8_t option = 0;
    std::uint8_t built = 0;
    std::uint8_t rayTested = 0;
    D3DXVECTOR3 boundsMax{-1000000, -1000000, -1000000};
    D3DXVECTOR3 boundsMin{1000000, 1000000, 1000000};
    D3DXVECTOR3 cellCentroid{0, 0, 0};
    std::int32_t cellCount = 0;
    std::int32_t gridX = 0, gridY = 0, gridZ = 0;
    std::int32_t halfGridX = 0, halfGridY = 0, halfGridZ = 0;
    const CameraRecord* view = nullptr; // camera 0 while the world draws; null between frames
    std::vector<UniversePendingLimb> pendingLimbs;
    std::vector<MeshRecord*> levelMeshes; // owned
    // One a level mesh: 0 its own triangles collide, 1 or 2 its collision mesh's, else none.
    std::vector<std::int32_t> collisionModes;
    std::vector<MeshRecord*> collisionMeshes; // owned, null allowed
    std::vector<ObjectRecord*> staticObjects; // not owned
    std::vector<std::int32_t> staticObjectWords;
    D3DCOLOR debugColour = 0;
    // The decal ring: its mesh (owned), the next quad's vertex, the last frame, the frames across
    // and the size of one frame in texture units.
    MeshRecord* decalMesh = nullptr;
    std::int32_t decalCursor = 0;
    std::int32_t decalLastFrame = 0;
    std::int32_t decalAcross = 0;
    float decalTileWidth = 0;
    float decalTileHeight = 0;
    std::vector<UniverseShadowCaster> shadowCasters;
    std::vector<UniverseLight> lights; // indexed by light number
    std::int32_t frame = 0;
    std::int32_t visitedAreas[kUniversePortalDepths] = {};
    std::vector<std::unique_ptr<UniverseArea>> areas;
    std::vector<UniversePlaneSet> visibleFrusta; // read and cleared by the query's caller
    std::vector<MeshRecord*> queryMeshes;        // not owned
    std::vector<MeshRecord*> textureMeshes;      // their textures go with the world
    // The flat collision buffer for the sliding solver: 9 floats a triangle, in the scaled space,
    // with one word a triangle (the collision value). Both keep their size between queries.
    std::uint32_t triangleCapacity = 0;
    std::uint32_t triangleFloats = 0;
    std::vector<float> triangleBuffer;
    std::vector<std::int32_t> triangleWords;
    // Drawing statistics of the last frame, then triangles tested and volume queries made (the
    // last two are cleared as the statistics query reads them).
    std::int32_t statistics[4] = {};
    // The last ray query's segment, and where its nearest hit within the segment lay (mesh null:
    // none yet); the decal quad and the debug drawing read them. They go with the world, and the
    // contact with the batch mesh it names.
    D3DXVECTOR3 raySegment[2] = {};
    UniverseRayContact rayContact;

private:
    // What a build makes: held aside while the next build runs, put back when that one runs out
    // of memory and freed when it is done.
    struct Structure;
    void SwapStructure(Structure& other) noexcept;
    void Destroy();
    void FreeCellsAndAreas();
    // The build's steps, from the level meshes to the portals.
    void BuildStructure();
    // A shadow volume for each caster, in the light's lists.
    void MakeLightShadows(UniverseLight& light);
    // The pending limbs' meshes, until the first outside the root box (false then); the objects
    // of the limbs looked at in entered.
    struct MadeLimb;
    bool MakePendingMeshes(std::vector<MadeLimb>& made, std::vector<ObjectRecord*>& entered);
    // The areas' batch meshes leave every list and go, then the areas; needs no memory.
    void ReleaseAreas(std::vector<std::unique_ptr<UniverseArea>> gone);
    // Build steps.
    void ClassifyLevelMeshes();
    void ComputeMeshBounds();
    void BuildGrid(bool fill);
    // The cell at indices on the y, x and z axes, each within its run of existing cells.
    UniverseNode& CellByIndex(std::int32_t iy, std::int32_t jx, std::int32_t kz);
    // Calls fn on every cell whose box may reach the box from low to high (a few more besides):
    // only the cells its index runs name, not every cell.
    template <typename Fn>
    void ForEachCellNear(const D3DXVECTOR3& low, const D3DXVECTOR3& high, Fn&& fn);
    // The run of cell indices on an axis (0 x, 1 y, 2 z) whose grid coordinates lie within
    // [low, high]; from > to for none.
    void CoordinateRun(int axis, std::int32_t low, std::int32_t high, std::int32_t& from,
                       std::int32_t& to) const;
    void AssignMeshesToCells();
    void LinkNeighbours();
    void AssignSideMeshes(UniverseNode& cell);
    void BuildAreas();
    bool AreaMayGrow(const std::int32_t box[6], std::int32_t direction) const;
    void MakeArea(const std::int32_t box[6]);
    // Whether the grid slot lies in the grid box of an area made so far; false outside the grid.
    bool Taken(std::int32_t ix, std::int32_t iy, std::int32_t iz) const;
    void MarkTaken(const UniverseArea& area);
    void BuildPortals();
    void BuildAreaPortals(std::int32_t a, const AreaBuckets& buckets);
    // Batch steps.
    void PlaceCellMeshes(std::int32_t pass, UniverseArea& area, UniverseNode& cell,
                         BatchAssembly& assembly);
    // The portal walk of IsBoxVisibleFromArea.
    bool WalkPortals(std::int32_t previous, std::int32_t depth, std::int32_t area,
                     const D3DXVECTOR3* eye, const D3DXVECTOR3& centre,
                     const D3DXVECTOR3& halfExtents);
    // On each axis (x, y, z) of the grid: the whole-number half extent it is laid on, and the first
    // index and the number of indices whose cells exist. The cells are the product of those three
    // runs, in order y, then x, then z (BuildGrid writes them).
    struct CellAxis {
        std::int32_t half = 0;
        std::int32_t first = 0;
        std::int32_t count = 0;
    };
    CellAxis cellAxes_[3];
    // Where each static object stands in staticObjects (an object added twice, twice), and for
    // each entry of staticObjects, where its place stands in its object's list.
    std::unordered_map<ObjectRecord*, std::vector<std::size_t>> staticPlaces_;
    std::vector<std::size_t> staticSlots_;
    // While the areas are built: one a grid slot, set in the grid boxes of the areas made.
    std::vector<std::uint8_t> taken_;
    std::int32_t counted_ = 0;   // cells found by the grid's counting pass
    std::int32_t walkSteps_ = 0; // areas entered by the current portal walk
    std::int32_t walkLooks_ = 0; // portals it looked at
    std::int32_t drawSteps_ = 0; // areas entered by the current frame's portal walk
    std::int32_t drawLooks_ = 0; // portals and cells it looked at
};
