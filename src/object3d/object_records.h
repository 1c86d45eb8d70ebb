// The records every 3D object is made of: the object with its position and collision blocks, its
// frames (limbs), the meshes on them with texture slots, bones and materials, the animation data,
// and the draw item that places a mesh in the object manager's shared buffers. The object module,
// its manager, the converters and the world code all read and write them.
//
// Every record is made with new and its constructor and destroyed by the teardown named with it.
// Pointers marked "owned" are freed by that teardown; every teardown clears what it frees, so a
// second teardown frees nothing. Byte arrays (vertices, indices, buffers) are new[] arrays.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <cstring>
#include <vector>

class EffectBase;
struct FrameRecord;
struct MeshRecord;
struct AnimationRecord;
struct VertexBufferEntry;
struct IndexBufferEntry;

inline const D3DXMATRIX kIdentityMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
inline const D3DXMATRIX kZeroMatrix(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

// Two matrices with the same bits. Inline word by word: cheaper than float comparisons or a
// library call, and a -0 merely counts as different.
inline bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    std::uint32_t x[16], y[16];
    std::memcpy(x, &a, sizeof x);
    std::memcpy(y, &b, sizeof y);
    std::uint32_t differ = 0;
    for (int i = 0; i < 16; ++i)
        differ |= x[i] ^ y[i];
    return differ == 0;
}

inline bool IsIdentity(const D3DXMATRIX& m) {
    return SameMatrix(m, kIdentityMatrix);
}

// a x b (a applied first). Inline, with the identity on either side costing no multiplication:
// every object multiplies several matrices each frame, most of them identities, and the
// platform's own multiply is a call into another library each time.
inline D3DXMATRIX Multiply(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    if (IsIdentity(a)) return b;
    if (IsIdentity(b)) return a;
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

// The whole frame number of an animation time, held within 0 .. count - 1 (0 for no frames or a
// time that is not a number). Clamped as a float first: a float beyond int range has no int.
inline std::int32_t ClampedFrameIndex(float time, std::int32_t count) {
    if (count <= 0 || !(time >= 0)) return 0;
    if (time >= static_cast<float>(count - 1)) return count - 1;
    return static_cast<std::int32_t>(time);
}

constexpr int kRecordNameLength = 256;
// The level-of-detail levels and the six mesh slots of a frame.
constexpr int kFrameMeshSlots = 6;

// Bounds and collision settings, embedded in every object and every mesh. A mesh's block starts
// all zero (the mesh constructor clears it); an object's keeps the defaults below.
struct CollisionBlock {
    D3DXVECTOR3 minimum{0, 0, 0};
    D3DXVECTOR3 maximum{0, 0, 0};
    D3DXVECTOR3 centre{0, 0, 0};
    float radius = 0;
    float scaledRadius = 0; // radius times the largest scale factor
    float poseRadius = 0;   // radius over the animated pose
    // The radius of the view-frustum test and of collision; 0 = never frustum-tested.
    float cullingRadius = 0;
    std::uint8_t enabled = 1;
    std::uint8_t moved = 0;            // position changed since the last collision check
    std::uint8_t centreFixed = 0;      // the world centre offset is valid; turning clears it
    std::uint8_t boxUse = 0;           // collision by boxes
    D3DXVECTOR3 centreOffset{0, 0, 0}; // world centre minus position, in world orientation
    std::int32_t type = 2;             // 0 none, 1 box, 2 sphere, 3 polygons
    std::uint8_t frozenBounds[2] = {}; // either set: per-frame animation bounds are not copied in
    std::uint8_t customBox = 0;
    std::uint8_t excluded = 0;
    std::int32_t lastHit = 0;
    std::int32_t responseMode = 0;
    std::uint8_t responseFlag = 1;
    float secondRadius = 0; // the radius a collision radius of 0 or less was set with
};

// Where an object is and how it is turned; embedded in every object.
struct ObjectPosition {
    D3DXVECTOR3 position{0, 0, 0};
    D3DXVECTOR3 angle{0, 0, 0}; // Euler angles in degrees
    D3DXVECTOR3 scale{1, 1, 1}; // 1.0 = 100%
    D3DXVECTOR3 look{0, 0, 1};
    D3DXVECTOR3 up{0, 1, 0};
    D3DXVECTOR3 right{1, 0, 0};
    D3DXVECTOR3 oldPosition{0, 0, 0}; // before the last move, for collision response
    D3DXVECTOR3 oldAngle{0, 0, 0};
    D3DXMATRIX oldFreeFlight = kIdentityMatrix;
    std::uint8_t matrixMode = 0;    // 1: rotation from the free-flight matrix
    std::uint8_t pivot = 0;         // the pivot matrix turns the object first
    std::uint8_t glued = 0;         // follows a limb of another object
    std::uint8_t matrixLocked = 0;  // the world matrix is not rebuilt
    std::int32_t glueObject = 0;    // 0 none
    std::int32_t glueLimb = 0;      // negative: follow the limb's position only
    std::int32_t rotationOrder = 0; // 0: X, Y, Z; 1: Z, Y, X
    float distance = 0;             // to the current camera, written by the draw passes
    std::uint8_t framesLocked = 0;  // frame matrices are not recomputed each frame
    D3DXMATRIX matTranslation = kZeroMatrix;
    D3DXMATRIX matRotation = kZeroMatrix; // the one SetObjectMatrixMode copies
    D3DXMATRIX matRotateX = kZeroMatrix;
    D3DXMATRIX matRotateY = kZeroMatrix;
    D3DXMATRIX matRotateZ = kZeroMatrix;
    D3DXMATRIX matScale = kZeroMatrix;
    D3DXMATRIX matRotationScale = kZeroMatrix; // the world matrix without its translation
    D3DXMATRIX matWorld = kIdentityMatrix;
    D3DXMATRIX matFreeFlight = kIdentityMatrix;
    D3DXMATRIX matPivot = kZeroMatrix;

    ObjectPosition() = default;
};

// One keyframe of each kind; times are frame numbers.
struct PositionKey {
    std::uint32_t time;
    D3DXVECTOR3 value;
    D3DXVECTOR3 delta; // change per frame towards the next key
};
struct RotationKey {
    std::uint32_t time;
    D3DXQUATERNION value;
};
using ScaleKey = PositionKey;
struct MatrixKey {
    std::uint32_t time;
    D3DXMATRIX value;
    D3DXMATRIX delta;
};
static_assert(sizeof(PositionKey) == 28 && sizeof(RotationKey) == 20 && sizeof(MatrixKey) == 132);

// The keys of one animated frame; a chain through next, owned link by link.
struct AnimationRecord {
    char name[kRecordNameLength] = {}; // the frame it drives
    FrameRecord* frame = nullptr;      // not owned
    std::int32_t interpolation = 0;
    std::uint32_t linear = 1; // 1: positions interpolate linearly, else Catmull-Rom
    std::uint32_t positionKeyCount = 0;
    std::uint32_t rotationKeyCount = 0;
    std::uint32_t scaleKeyCount = 0;
    std::uint32_t matrixKeyCount = 0;
    PositionKey* positionKeys = nullptr; // owned, as are the other three
    RotationKey* rotationKeys = nullptr;
    ScaleKey* scaleKeys = nullptr;
    MatrixKey* matrixKeys = nullptr;
    std::uint32_t matrixSearchStart = 0;
    std::uint32_t keyed = 1;               // 0: baked per-vertex matrices
    std::uint32_t* bakedIndices = nullptr; // owned: a matrix number per vertex
    std::uint32_t bakedIndexCount = 0;
    D3DXMATRIX** bakedFrames = nullptr; // owned, each entry owned: matrices per frame
    std::uint32_t bakedFrameCount = 0;
    std::uint32_t bakedMatricesPerFrame = 0;
    // Matrix keys come from there when set (see ShareMatrixKeys).
    AnimationRecord* keySource = nullptr;
    // The animations whose key source this is. When this one goes, the first of them inherits
    // the keys and the others borrow from it, so that no borrower samples freed keys.
    std::vector<AnimationRecord*> keyBorrowers;
    AnimationRecord* next = nullptr; // owned

    AnimationRecord() = default;
    ~AnimationRecord();
    AnimationRecord(const AnimationRecord&) = delete;
    AnimationRecord& operator=(const AnimationRecord&) = delete;
};

// The borrower samples the source's matrix keys from now on; its own are freed. A source that
// borrows itself lends its own source's keys instead.
void ShareMatrixKeys(AnimationRecord* borrower, AnimationRecord* source);

// An object's animation set: its animations and one bounds entry per animation frame.
struct AnimationSetRecord {
    char name[kRecordNameLength] = {};
    AnimationRecord* animation = nullptr; // owned chain
    std::uint32_t length = 0;             // frames: the largest key time
    AnimationSetRecord* next = nullptr;   // owned chain
    std::int32_t frameCount = 0;          // entries of the four arrays below
    D3DXVECTOR3* boundsMinimum = nullptr; // owned, as are the other three
    D3DXVECTOR3* boundsMaximum = nullptr;
    D3DXVECTOR3* boundsCentre = nullptr;
    float* boundsRadius = nullptr;

    AnimationSetRecord() = default;
    ~AnimationSetRecord();
    AnimationSetRecord(const AnimationSetRecord&) = delete;
    AnimationSetRecord& operator=(const AnimationSetRecord&) = delete;
};

// A mesh's place in the manager's shared device buffers.
struct DrawItem {
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer; // null for a mesh without indices
    std::int32_t primitiveType;
    std::uint32_t startVertex; // relative to baseVertex when indexed
    std::int32_t vertexCount;
    std::uint32_t startIndex;
    std::int32_t primitiveCount;
    std::uint32_t stride;
    std::uint32_t baseVertex;       // vertices already in the buffer when the mesh was placed
    VertexBufferEntry* vertexEntry; // not owned; null once the entry is gone
    IndexBufferEntry* indexEntry;   // not owned; null once the entry is gone
    MeshRecord* mesh;               // not owned: the mesh whose item this is
    // Its neighbours in the entries' lists of items.
    DrawItem* vertexNext;
    DrawItem* vertexPrevious;
    DrawItem* indexNext;
    DrawItem* indexPrevious;
};

// Zeroes a draw item: DrawItem has no initialisers, so every new one is cleared here first.
void ClearRecord56(DrawItem* item);
// Takes the item off the lists of the buffer entries it sits in, then frees it (null: nothing).
void DeleteDrawItem(DrawItem* item);

// One texture slot of a mesh. The plain texture is the image module's and only borrowed; the
// override (a cube or render-target texture) belongs to the slot, which releases it once.
struct TextureRecord {
    char fileName[kRecordNameLength] = {};
    std::int32_t imageNumber = 0; // 0 none; the first slot's is the object's sort key
    IDirect3DBaseTexture9* overrideTexture = nullptr; // owned; bound instead of texture
    IDirect3DTexture9* texture = nullptr;             // borrowed from the image module
    std::uint32_t stage = 0;
    std::uint32_t colourOperation = D3DTOP_SELECTARG1; // COLOROP and ALPHAOP
    std::uint32_t argument1 = D3DTA_DIFFUSE;
    std::uint32_t argument2 = D3DTA_DIFFUSE;
    std::uint32_t addressU = D3DTADDRESS_WRAP;
    std::uint32_t addressV = D3DTADDRESS_WRAP;
    std::uint32_t magFilter = D3DTEXF_LINEAR;
    std::uint32_t minFilter = D3DTEXF_LINEAR;
    std::uint32_t mipFilter = D3DTEXF_LINEAR;
    // 0 own coordinates, 1 sphere map, 2 reflection, 3 set 0, 10 to 17 set 0 to 7.
    std::uint32_t coordinateMode = 0;
    std::uint32_t extra[2] = {};

    TextureRecord() = default;
    ~TextureRecord();
    TextureRecord(const TextureRecord&) = delete;
    TextureRecord& operator=(const TextureRecord&) = delete;
    // Releases the owned override texture once and clears it.
    void ReleaseTexture();
};

// One bone of a skinned mesh: the vertices it moves and by how much.
struct BoneRecord {
    char name[kRecordNameLength] = {}; // the frame it follows
    std::uint32_t influenceCount = 0;
    std::uint32_t* vertices = nullptr; // owned
    float* weights = nullptr;          // owned
    D3DXMATRIX offsetMatrix = kZeroMatrix;
    FrameRecord* frame = nullptr; // not owned

    BoneRecord() = default;
    ~BoneRecord();
    BoneRecord(const BoneRecord&) = delete;
    BoneRecord& operator=(const BoneRecord&) = delete;
};

// One material range of a mesh; a zero-filled entry is valid.
struct MultiMaterialRecord {
    char name[kRecordNameLength];
    IDirect3DTexture9* texture; // bound on stage 0; borrowed
    D3DMATERIAL9 material;
    std::uint32_t startIndex; // added to the draw item's start index
    std::uint32_t indexCount;
    std::uint32_t primitiveCount; // 0 draws nothing
};

// One mesh: its vertices and indices in system memory, its render settings, texture slots,
// bones and effect. The constructor gives every render setting its default and a white material.
struct MeshRecord {
    std::uint32_t savedFVF = 0; // the format to return to when a shader's format is removed
    std::uint32_t fvf = 0;      // 0 when the declaration describes the vertex
    std::uint32_t vertexSize = 0;
    // 0 drawn while visible; 1 drawn while visible or while the module's kind-1 flag is set;
    // other values always drawn.
    std::int32_t kind = 0;
    std::uint8_t* backupVertices = nullptr; // owned: the vertices as set up, for vertex editing
    std::uint8_t* vertices = nullptr;       // owned
    std::uint16_t* indices = nullptr;       // owned
    std::int32_t vertexCount = 0;
    std::int32_t indexCount = 0; // 0: no index list
    std::int32_t primitiveType = D3DPT_TRIANGLELIST;
    std::int32_t drawVertexCount = 0;
    std::int32_t drawPrimitiveCount = 0;
    DrawItem* drawItem = nullptr; // owned
    std::uint8_t worldSpace = 0;  // vertices already in world space
    std::uint8_t vertexShaderOn = 0;
    std::uint8_t pixelShaderOn = 0; // the pixel shader replaces the texture stages
    std::uint8_t sharedEffect = 0;  // the effect belongs to another mesh or a slot
    std::uint8_t effectInUse = 0;
    std::uint8_t effectPrepared = 0;
    std::uint8_t effectSkinsMesh = 0;
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    IDirect3DVertexShader9* vertexShader = nullptr;           // owned
    IDirect3DVertexDeclaration9* vertexDeclaration = nullptr; // owned
    IDirect3DPixelShader9* pixelShader = nullptr;             // owned
    EffectBase* effect = nullptr;                             // owned unless sharedEffect
    char effectFileName[kRecordNameLength] = {};              // equal names share one effect
    std::uint32_t effectData = 0;
    BoneRecord* bones = nullptr; // owned array
    std::int32_t boneCount = 0;
    FrameRecord** boneFrames = nullptr;  // owned: the frame of each bone
    D3DXMATRIX** boneMatrices = nullptr; // owned: the combined matrix of each bone's frame
    std::uint8_t materialOn = 0;
    std::uint8_t alphaFactorOn = 0; // alpha reference and texture factor from the diffuse colour
    std::uint8_t multiMaterialOn = 0;
    std::int32_t textureCount = 0;
    std::int32_t multiMaterialCount = 0;
    D3DCOLOR diffuseColour = 0;                    // its top byte is the alpha factor
    TextureRecord* textures = nullptr;             // owned array
    MultiMaterialRecord* multiMaterials = nullptr; // owned array
    std::uint8_t* multiMaterialBuffer = nullptr;   // owned: a material and a word per material
    D3DMATERIAL9 material = {{1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0};
    std::uint32_t* triangleMaterials = nullptr; // owned: a material number per triangle
    std::uint8_t reAdd = 0;                     // to be placed in the buffers again
    std::uint8_t verticesChanged = 0;           // the vertex data must be uploaded again
    std::uint8_t needsRebuild = 0;              // the object must be re-sorted and rebuilt
    std::uint8_t indexLayoutChanged = 0;
    std::uint8_t wireframe = 0;
    std::uint8_t lighting = 1;
    std::uint8_t culling = 1;
    std::uint8_t fog = 1;
    std::uint8_t ambient = 1;
    std::uint8_t transparency = 0;
    std::int32_t alphaReference = 0; // 0: alpha test greater than 0
    std::uint8_t ghost = 0;
    std::uint8_t visible = 1;
    std::uint8_t depthRead = 1;
    std::uint8_t depthWrite = 1;
    std::int32_t ghostMode = 2; // blend pair 0 to 5
    std::uint8_t depthBiasOn = 0;
    float slopeScaleDepthBias = 0;
    float depthBias = 0;
    std::int32_t cullMode = 0; // 2: cull counter-clockwise faces whatever the culling byte
    std::uint8_t showBounds = 0;
    std::uint32_t mipmapBias = 0;      // float bits of sampler 0's MIPMAPLODBIAS
    std::uint32_t renderWords[7] = {}; // further settings copied whole with the material
    // Carried through the native object format and by nothing else.
    std::uint8_t formatFlag = 0;
    std::uint32_t formatWord = 0;
    // Drawn with the transform in force, which it then moves on by the frame's initial matrix.
    std::uint8_t frameLocal = 0;
    CollisionBlock bounds; // the radius is also a point list's point size
    float shadowRange = 0; // -1.0: a shadow volume built in object space
    float shadowLightRange = 0;
    FrameRecord* keyFrames = nullptr; // owned array: one mesh per vertex keyframe
    std::int32_t keyFrameCount = 0;
    std::int32_t currentKeyFrame = 0;
    // The static world's words: the frame it was last drawn in, its batch-assembly mark, the
    // strength its build gives (0 open, 1 see-through, 2 closed), the object it came from, its
    // shadow kind, and the collision value and kind its add commands give.
    std::int32_t frameStamp = 0;
    std::int32_t universePlaced = 0;
    std::int32_t universeStrength = 0;
    std::int32_t owner = 0;
    std::int32_t shadowKind = 0;
    std::int32_t collisionValue = 0;
    std::int32_t collisionKind = 0;

    MeshRecord();
    ~MeshRecord();
    MeshRecord(const MeshRecord&) = delete;
    MeshRecord& operator=(const MeshRecord&) = delete;
};

// One frame (limb) of an object's hierarchy, with the meshes hung on it.
struct FrameRecord {
    char name[kRecordNameLength] = {};
    std::int32_t index = 0;                       // limb number within the object
    FrameRecord* parent = nullptr;                // not owned
    FrameRecord* child = nullptr;                 // owned
    FrameRecord* sibling = nullptr;               // owned
    D3DXMATRIX initialMatrix = kIdentityMatrix;   // local transform as loaded
    D3DXMATRIX transformMatrix = kIdentityMatrix; // local transform in use
    D3DXMATRIX combinedMatrix = kIdentityMatrix;  // combined with the parents
    D3DXMATRIX worldMatrix = kIdentityMatrix;     // draws the frame's mesh
    std::uint8_t ownMatrix = 0;                   // drawn with the alternative matrix
    D3DXMATRIX alternativeMatrix = kIdentityMatrix;
    D3DXMATRIX userMatrix = kIdentityMatrix; // built from offset, rotation and scale
    D3DXVECTOR3 offset{0, 0, 0};
    D3DXVECTOR3 scale{1, 1, 1};
    D3DXVECTOR3 rotation{0, 0, 0}; // degrees
    D3DXVECTOR3 worldPosition{0, 0, 0};
    D3DXVECTOR3 worldAngle{0, 0, 0};
    D3DXVECTOR3 direction{0, 0, 0};
    std::uint8_t computed = 0; // world data computed
    // The six owned mesh slots, in this order.
    MeshRecord* mesh = nullptr;
    MeshRecord* shadowMesh = nullptr;
    MeshRecord* boundBoxMesh = nullptr;
    MeshRecord* boundSphereMesh = nullptr;
    MeshRecord* detailMeshes[2] = {};

    FrameRecord() = default;
    // Frees the six mesh slots, then the child and sibling chains (recursively).
    ~FrameRecord();
    FrameRecord(const FrameRecord&) = delete;
    FrameRecord& operator=(const FrameRecord&) = delete;

    // The six slots by number: mesh, shadow, bound box, bound sphere, detail 1, detail 2.
    MeshRecord*& MeshSlot(int slot);
};

struct ObjectDeleteCallback {
    void (*callback)(std::int32_t object, std::int32_t value);
    std::int32_t value;
};

// A new number for each object record made.
std::uint64_t NextObjectSerial();

// One 3D object: its frame tree with the meshes on it, its animation, placement and settings.
struct ObjectRecord {
    std::int32_t meshCount = 0;
    std::int32_t frameCount = 0;
    MeshRecord** meshes = nullptr;    // owned array; an entry that is a frame's mesh is the frame's
    FrameRecord** frames = nullptr;   // owned array, in limb order
    FrameRecord* rootFrame = nullptr; // owned
    AnimationSetRecord* animationSet = nullptr; // owned chain
    CollisionBlock collision;
    ObjectPosition position;
    std::uint8_t visible = 1;     // drawn, and takes part in the shadow passes
    std::uint8_t noMesh = 0;      // nothing of it is drawn
    std::uint8_t recalculate = 0; // world matrix and bounds are due before the next centre update
    std::uint8_t boundsFollow = 1;
    // Derived (RefreshObjectSortFlag): ghost, transparent, locked or no depth; keeps the object
    // out of the solid pass.
    std::uint8_t specialPass = 0;
    std::uint8_t ghost = 0;
    std::uint8_t transparent = 0;
    std::uint8_t waterLevel = 0; // its height splits the transparent pass
    std::uint8_t locked = 0;     // drawn last, on top, after the depth buffer is cleared
    std::uint8_t noDepth = 0;    // drawn in camera space before the locked objects; never culled
    std::uint8_t firstLastBoundsOnly = 0;
    std::uint8_t reflective = 0;     // a mirror surface
    std::uint8_t reflectionMode = 0; // the mirror plane also clips the reflected scene
    std::uint8_t needsDistance = 0;  // the solid pass computes its camera distance
    std::uint8_t showBounds = 0;
    std::uint8_t solidExcluded = 0;
    std::uint8_t ownBuffers = 1; // its meshes get device buffers of their own
    std::uint8_t rebuild = 0;    // the manager must re-sort it and rebuild its buffers
    std::uint8_t castsShadow = 0;
    std::int32_t shadowArgument = 0;
    std::uint8_t noShadowVolume = 0;
    std::uint8_t hidden = 0;    // left out of the visible list
    std::uint8_t noCulling = 0; // never frustum-culled; drawn with an identity world transform
    std::uint8_t largeRadius = 0;
    float fieldOfView = 0; // while drawn; 0 = the camera's
    std::int32_t commandWord = -1;
    std::uint8_t detailOn = 0;
    float detailDistances[2] = {}; // where levels of detail 1 and 2 begin
    std::int32_t detailLevel = 0;
    float pointSize = 0;
    std::uint8_t animationPlaying = 0;
    std::uint8_t animationLooping = 0;
    std::uint8_t frameChanged = 0; // set when the object is set up
    std::uint8_t animating = 0;
    std::uint8_t forceVertexUpdate = 0;
    float currentFrame = 0;
    float lastUpdatedFrame = 0;
    float speed = 1.0f;
    float startFrame = 0;
    float endFrame = 0;
    float totalFrames = 0;
    std::uint8_t blending = 0; // an interpolation to a target frame runs
    float blendFrom = 0;
    float blendTarget = 0;
    float blendProgress = 0;    // 0 to 1
    float blendStep = 1.0f;     // added to the progress per update
    std::uint8_t blendFlag = 0; // sample as a blend of two times
    float blendTimes[2] = {};
    float blendFactor = 0;
    ObjectRecord* instanceSource = nullptr; // not owned: the object an instance draws
    std::uint8_t* instanceData = nullptr;   // owned: a visibility byte per limb
    std::int32_t instanceDataLength = 0;
    std::uint8_t instanceAlpha = 0;
    D3DCOLOR instanceColour = 0;
    std::uint8_t* customBufferA = nullptr; // owned
    std::uint32_t customSize = 0;
    // Owned; when set, its first word is a colour used as the texture factor while drawn.
    std::uint8_t* customBufferB = nullptr;
    // Called with (object number, value) before the object is deleted; owned array.
    ObjectDeleteCallback* deleteCallbacks = nullptr;
    std::int32_t deleteCallbackCount = 0;
    std::int32_t deleteCallbackCapacity = 0;
    // The static world's words: the index of the area it was last found in (-1 none), whether
    // the world lets it draw (its area visibility: 0 hides it from drawing and animation),
    // whether its limbs were added to the world, and whether it was let go of as a static object.
    std::int32_t universeArea = -1;
    std::uint8_t universeVisible = 1;
    std::uint8_t inUniverse = 0;
    std::uint8_t staticReleased = 0;
    // Unique in the run: whoever keeps a record's pointer past a possible deletion tells it
    // from a later record made at the same address.
    std::uint64_t serial = NextObjectSerial();

    ObjectRecord() = default;
    // Frees the frames with their meshes, the meshes no frame owns, the animation sets, the
    // instance data and the custom buffers.
    ~ObjectRecord();
    ObjectRecord(const ObjectRecord&) = delete;
    ObjectRecord& operator=(const ObjectRecord&) = delete;
};

// A stack that holds its first N entries in place and allocates only past them: the frame walks
// below run every frame for every object.
template <typename T, int N> class SmallStack {
public:
    void Push(T value) {
        if (more_.empty() && size_ < N)
            local_[size_++] = value;
        else
            more_.push_back(value);
    }
    T Pop() {
        if (more_.empty()) return local_[--size_];
        T value = more_.back();
        more_.pop_back();
        return value;
    }
    bool Empty() const { return size_ == 0 && more_.empty(); }

private:
    T local_[N];
    int size_ = 0;
    std::vector<T> more_;
};

// Calls fn on the frame, its child subtree, then its sibling subtree (pre-order), without
// recursion, so that a tree of any depth costs no stack. fn may clear links it has walked past
// but must not add any.
template <typename Fn> void WalkFrameTree(FrameRecord* frame, Fn&& fn) {
    SmallStack<FrameRecord*, 32> pending;
    if (frame) pending.Push(frame);
    while (!pending.Empty()) {
        FrameRecord* f = pending.Pop();
        FrameRecord* sibling = f->sibling;
        FrameRecord* child = f->child;
        fn(f);
        if (sibling) pending.Push(sibling);
        if (child) pending.Push(child);
    }
}

// The first frame in the same order for which pred holds; null when none does.
template <typename Pred> FrameRecord* FindFrame(FrameRecord* frame, Pred&& pred) {
    SmallStack<FrameRecord*, 32> pending;
    if (frame) pending.Push(frame);
    while (!pending.Empty()) {
        FrameRecord* f = pending.Pop();
        if (pred(f)) return f;
        if (f->sibling) pending.Push(f->sibling);
        if (f->child) pending.Push(f->child);
    }
    return nullptr;
}
