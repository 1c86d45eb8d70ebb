// The object manager: the renderer of every 3D object. It places meshes in device vertex and index
// buffers that it owns (shared by meshes of one vertex format, or one per object), keeps the live
// objects sorted by their primary texture, culls them against the view frustum each frame,
// advances their animations and draws them in five layers through a cache that sends a device
// state only when it changes.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct ObjectRecord;
struct MeshRecord;
struct FrameRecord;
struct TextureRecord;
struct DrawItem;
class Universe;

// One vertex buffer, shared or one mesh's own; the manager keeps them in a chain. Each lists the
// draw items placed in it, so that a buffer that goes finds its mates without a walk of every
// mesh. The lists are linked through the items and entries themselves: placing a mesh allocates
// nothing but its own item and new entries, so a re-place that fails part way has only those to
// free.
struct VertexBufferEntry {
    std::uint32_t fvf = 0; // of every mesh in it; 0 when a declaration describes them
    // The declaration of every mesh in it when fvf is 0, up to and with its end marker.
    std::vector<D3DVERTEXELEMENT9> declaration;
    std::uint32_t usedSize = 0; // 32-bit words of vertex data placed so far
    std::uint32_t capacity = 0; // vertices it holds
    std::uint32_t usedVertices = 0;
    std::uint32_t stride = 0;                 // bytes a vertex
    bool points = false;                      // made for point lists
    IDirect3DVertexBuffer9* buffer = nullptr; // owned
    VertexBufferEntry* next = nullptr;
    VertexBufferEntry* previous = nullptr;
    std::uint32_t locked = 0; // locked whole for the frame's vertex uploads
    std::uint8_t* lockedData = nullptr;
    bool own = false;                        // made for one mesh: never searched for room
    bool going = false;                      // marked while a removal gathers the entries that go
    VertexBufferEntry* nextGoing = nullptr;  // the removal's chain of entries that go
    VertexBufferEntry* nextShared = nullptr; // the chain of entries searched for room
    VertexBufferEntry* previousShared = nullptr;
    DrawItem* items = nullptr; // not owned; the first, linked through vertexNext
};

// One 16-bit index buffer, in a second chain.
struct IndexBufferEntry {
    std::uint32_t capacity = 0; // indices
    std::uint32_t used = 0;
    IDirect3DIndexBuffer9* buffer = nullptr; // owned
    IndexBufferEntry* next = nullptr;
    IndexBufferEntry* previous = nullptr;
    bool own = false;
    bool going = false;
    IndexBufferEntry* nextGoing = nullptr;
    IndexBufferEntry* nextShared = nullptr;
    IndexBufferEntry* previousShared = nullptr;
    DrawItem* items = nullptr; // not owned; the first, linked through indexNext
};

// No texture binding is cached: after a cache reset, and after a multi-material mesh. Neither is
// ever an image number.
constexpr std::int32_t kNoTextureKey = -22000000;
constexpr std::int32_t kMultiMaterialKey = -9999999;
// A draw of more primitives than this may fail; it is then drawn again in chunks of this size.
constexpr std::int32_t kDrawChunk = 21845;
// The field of view of objects drawn in camera space.
constexpr float kCameraSpaceFov = 61.962135f;

// Copies the mesh's vertices first up to (not including) last into its place in its buffer.
bool CopyMeshVertexRangeToBuffer(MeshRecord* mesh, std::int32_t first, std::int32_t last);
// The primitives a draw of the mesh takes: its draw count, held to what its own data holds.
std::int32_t DrawablePrimitives(const MeshRecord* mesh);
// The entries of a new buffer made for a mesh: its own size, or the size a shared one gets.
std::uint32_t NewVertexBufferEntries(std::uint32_t vertexCount, std::uint32_t indexCount,
                                     bool ownBuffer);
std::uint32_t NewIndexBufferEntries(std::uint32_t indexCount, bool ownBuffer);
// What the first frame after an object's load costs the manager, as bytes its load is charged:
// the device buffers its meshes are placed in (in buffers of their own, or in shared ones as
// new objects' meshes are placed), the primitives drawn, and the pixels filled when the view
// frames the whole object (as the load's camera does) in the worst pose its animation reaches,
// with the work of measuring those poses. Its frame lists must be set up; the object is left in
// its load's pose with the keys it read, its bones linked to their frames. Runs inside a load's
// guard: the list of times it measures at is charged as it is made (see RequireLoad).
std::uint64_t FirstFrameBytes(ObjectRecord* object, bool ownBuffers);

class ObjectManager {
public:
    ObjectManager();
    ~ObjectManager();
    ObjectManager(const ObjectManager&) = delete;
    ObjectManager& operator=(const ObjectManager&) = delete;

    // Back to the initial values, as the module's CoreData pass wants it; frees what it held.
    void Construct();
    // Releases the quad and every buffer entry, frees the lists and the sort buffer.
    void Free();
    // Grows the four lists to exactly count entries, zeroed, once count reaches their capacity;
    // false when that fails.
    bool ReserveLists(std::int32_t count);

    // Buffer placement.
    VertexBufferEntry* FindOrCreateVertexBuffer(std::uint32_t fvf,
                                                const D3DVERTEXELEMENT9* declaration,
                                                std::uint32_t stride, std::uint32_t vertexCount,
                                                std::uint32_t indexCount, bool ownBuffer,
                                                std::int32_t primitiveType);
    IndexBufferEntry* FindOrCreateIndexBuffer(std::uint32_t indexCount, bool ownBuffer);
    bool AddMeshToBuffers(MeshRecord* mesh, bool ownBuffer);
    bool AddObjectMeshesToBuffers(ObjectRecord* object);
    // Places the object's meshes anew, as taking them out and adding them again would, but every
    // new place is made before the old ones go. False when one cannot be made: then every mesh
    // keeps its old place, no mate loses its own, and nothing new is held.
    bool ReplaceObjectMeshes(ObjectRecord* object);
    // Takes meshes out of the buffers. The buffers they sat in go, and the meshes that shared
    // them wait to be placed again (RefreshChangedMeshBuffers); the work grows with the meshes
    // named and their mates, not with every live mesh. Nothing here allocates: a deletion never
    // needs memory.
    void RemoveMeshFromBuffers(MeshRecord* mesh);
    void RemoveMeshesFromBuffers(const std::vector<MeshRecord*>& meshes);
    void RemoveObjectMeshesFromBuffers(ObjectRecord* object);
    // Places again the live meshes that lost their place; nothing when none did.
    void RefreshChangedMeshBuffers();
    void RemoveObject(ObjectRecord* object);
    void ApplyChanges();
    bool UpdateMeshVertices(MeshRecord* mesh);
    void UnlockVertexBuffers();
    void RefreshUpdatedMeshes();
    void RefreshIfMeshChanged(ObjectRecord* object);
    void MarkObjectChanged(ObjectRecord* object);
    void MarkListDirty() { listDirty = 1; }
    // On every mesh of every live object, the texture slots that hold before take after (null:
    // they let go of it).
    void ApplyToAllMeshes(IDirect3DTexture9* before, IDirect3DTexture9* after);

    // The frame's lists.
    void BuildDrawLists();
    void CollectVisibleObjects();
    void UpdateObjects();
    void UpdateAnimations();
    void PrepareFrame();

    // Device states.
    void ResetRenderStates();
    void ResetStateCache();
    void ResetTextureStages();
    bool SetMeshRenderStates(MeshRecord* mesh);
    bool SetMeshMaterial(MeshRecord* mesh);
    bool SetMeshShader(MeshRecord* mesh);
    bool SetMeshStreams(MeshRecord* mesh);
    bool SetMeshTextureStages(MeshRecord* mesh);
    void SetDefaultCull();

    // Drawing.
    bool DrawMesh(MeshRecord* mesh);
    bool DrawObject(ObjectRecord* object);
    float DistanceToCamera(ObjectRecord* object);
    bool RenderLayer(std::int32_t layer);
    void Update();
    void RenderLayerThree();
    void RenderLayerFour();

    // Stencil shadows and mirrors.
    void EnableStencilShadows();
    void DisableStencilShadows();
    // Makes the full-screen quad once, then gives its four vertices the colour.
    bool CreateShadowQuad(D3DCOLOR colour);
    void SetShadowVolumeStates();
    // Draws the object-space shadow meshes of the frames, or mesh alone when frames is null.
    bool DrawShadowMeshes(std::int32_t frameCount, FrameRecord** frames, MeshRecord* mesh);
    // The two passes of the volumes: front faces count up, back faces down, where hidden.
    bool DrawShadowVolumes(std::int32_t frameCount, FrameRecord** frames, MeshRecord* mesh);
    void EndShadowStates();
    // Per camera sub-pass, before the objects: the stencil cleared, or the reflected view set up.
    void BeginStencilShadows();
    // Per camera sub-pass, after the objects: the shadowed pixels darkened, or the mirror tinted.
    void DrawStencilShadowQuad();
    // Drops an object's shadow and mirror roles and settles the stencil mode.
    void DeleteObjectShadow(ObjectRecord* object);
    void DrawShadows(Universe* universe);

    // Read by the tests and the benchmarks.
    std::int32_t SortedCount() const { return sortedCount; }
    std::int32_t VisibleCount() const { return visibleCount; }
    ObjectRecord* SortedObject(std::int32_t i) const { return sortedList[i]; }
    ObjectRecord* VisibleObject(std::int32_t i) const { return visibleList[i]; }
    const VertexBufferEntry* VertexBuffers() const { return vertexBuffers; }
    const IndexBufferEntry* IndexBuffers() const { return indexBuffers; }

    // Stencil-shadow settings, read by the shadow passes.
    std::uint8_t shadowsEnabled = 1;
    D3DCOLOR shadowColour = 0;
    std::int32_t shadowLevels = 1;
    std::int32_t shadowAlpha = 64;
    D3DCOLOR mirrorTint = 0x40000000;
    // The mirror of layer 1: the plane, position and reflection mode the reflected pass uses.
    D3DXPLANE mirrorPlane{0, 0, 0, 0};
    D3DXVECTOR3 mirrorPosition{0, 0, 0};
    std::uint8_t mirrorReflectionMode = 0;
    D3DXMATRIX mirrorSavedView; // the view before the reflected sub-pass
    std::uint8_t rebuildNeeded = 0;

private:
    // Draw helpers.
    bool BindMeshTextures(MeshRecord* mesh);
    bool DrawMeshPrimitives(MeshRecord* mesh);
    bool DrawChunked(MeshRecord* mesh);
    bool DrawFrameMeshes(ObjectRecord* object, ObjectRecord* source);
    bool RenderSolidLayer();
    bool RenderMirrorLayer();
    bool RenderTransparentLayer();
    bool RenderOverlayLayer();
    bool RenderShadowLayer();
    void BeginShadowLight(D3DLIGHT9& kept);
    void DrawQuad(D3DCOLOR colour);
    void SetQuadStages();
    bool RenderOverlaySweep(bool lockedSweep);
    void EnterCameraSpace();
    void LeaveCameraSpace();
    bool cameraSpace = false;
    void SetWorld(const D3DXMATRIX& matrix);
    // Each sends the state only when it differs from the last value sent in this pass.
    void SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    void SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    void SetSamplerState(DWORD stage, D3DSAMPLERSTATETYPE type, DWORD value);
    void BindTexture(DWORD stage, IDirect3DBaseTexture9* texture);
    void SetBlendStates(const MeshRecord* mesh);
    void SetCoordinateMode(const TextureRecord& slot);
    void SetCullInForce(std::uint32_t cull);
    void ReleaseBufferChains();
    void RemoveVertexEntry(VertexBufferEntry* entry);
    void RemoveIndexEntry(IndexBufferEntry* entry);
    // A new item for the mesh in a buffer with room (none that is going) or a new one, its data
    // copied there; null, with no new entry left, when one cannot be made.
    DrawItem* PlaceMesh(MeshRecord* mesh, bool ownBuffer);
    // Takes back a place PlaceMesh made: the item goes and its buffers' fill levels fall.
    void Unplace(DrawItem* item);
    // The entries made after these tails go (they hold no items).
    void DropEntriesAfter(VertexBufferEntry* keptVertexTail, IndexBufferEntry* keptIndexTail);
    // The items and buffers of the meshes that eachMesh(fn) hands to fn go, and their mates'
    // items: how many mates now wait.
    template <typename EachMesh> std::size_t TakeOutOfBuffers(EachMesh&& eachMesh);
    template <typename Fn> void ForEachLiveMesh(Fn&& fn);

    IDirect3DVertexShader9* wantedShader = nullptr;
    std::uint32_t wantedFormat = 0;
    IDirect3DVertexShader9* shaderInForce = nullptr;
    std::uint32_t formatInForce = 0;
    IDirect3DVertexDeclaration9* declarationInForce = nullptr;
    IDirect3DVertexBuffer9* streamInForce = nullptr;
    std::uint32_t strideInForce = 0;
    IDirect3DIndexBuffer9* indicesInForce = nullptr;
    std::int32_t textureKey = 0;
    std::int32_t textureKeyInForce = kNoTextureKey;
    std::uint32_t stagesInUse = 0;
    std::uint8_t listDirty = 0;
    std::uint8_t forceShader = 0;
    std::uint8_t forceStream = 0;
    std::int32_t sortedCount = 0;
    std::int32_t lastObjectCount = 0;
    std::int32_t listCapacity = 0;
    std::int32_t visibleCount = 0;
    std::vector<std::int32_t> sortKeys;
    std::vector<ObjectRecord*> sortedList;
    std::vector<ObjectRecord*> visibleList;
    VertexBufferEntry* vertexBuffers = nullptr;
    VertexBufferEntry* vertexTail = nullptr;
    IndexBufferEntry* indexBuffers = nullptr;
    IndexBufferEntry* indexTail = nullptr;
    // The entries that take more meshes (not one mesh's own), searched for room in this order.
    VertexBufferEntry* sharedVertexBuffers = nullptr;
    VertexBufferEntry* sharedVertexTail = nullptr;
    IndexBufferEntry* sharedIndexBuffers = nullptr;
    IndexBufferEntry* sharedIndexTail = nullptr;
    std::size_t waitingMates = 0; // meshes that lost their place since the last refresh
    // The last value sent of each render, texture-stage and sampler state, and the textures
    // bound. Forgotten at the start of every pass: other modules change the device's states
    // between passes.
    static constexpr int kRenderStates = 256, kStageStates = 33, kSamplerStates = 14;
    DWORD renderStates[kRenderStates] = {};
    std::uint8_t renderKnown[kRenderStates] = {};
    DWORD stageStates[8][kStageStates] = {};
    std::uint8_t stageKnown[8][kStageStates] = {};
    DWORD samplerStates[8][kSamplerStates] = {};
    std::uint8_t samplerKnown[8][kSamplerStates] = {};
    IDirect3DBaseTexture9* boundTextures[8] = {};
    std::uint8_t texturesKnown = 0;
    std::uint8_t materialKnown = 0;
    IDirect3DPixelShader9* pixelShaderInForce = nullptr;
    std::uint8_t pixelShaderKnown = 0;
    std::uint8_t fogOn = 0; // the fog state the mesh states left, for the effect passes
    D3DCOLOR fogColour = 0;
    D3DCOLOR ambientColour = 0;
    std::uint32_t cullInForce = 0;
    std::uint32_t defaultCull = D3DCULL_CCW;
    D3DMATERIAL9 materialCache{};
    std::uint8_t textureFactorSet = 0;
    std::uint8_t instanceAlpha = 0;
    float defaultFieldOfView = 0;
    float fieldOfViewInForce = 0;
    IDirect3DVertexBuffer9* quadBuffer = nullptr;
    std::vector<ObjectRecord*> sortBuffer;
    D3DXMATRIX currentWorld; // the world transform last sent, when known
    std::uint8_t worldKnown = 0;
    D3DXMATRIX savedView; // the view of the overlay layer's camera-space runs
    float savedFieldOfView = 0;
    // While a stencil layer draws, its own blend and depth-write states hold, not the meshes'.
    std::uint8_t stencilLayer = 0;
    bool statesReset = false; // ResetRenderStates ran for this device
    bool animatedScene = false;
    std::uint32_t lastAnimatedScene = 0; // the scene whose frame advanced the animations
};
