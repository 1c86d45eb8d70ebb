// The X converter's working state and the steps its files share. One conversion runs at a time:
// the state is module-wide, and its object lives until the next conversion or Free.
#pragma once

#include "core/win32.h"

#include <dxfile.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AnimationRecord;
struct AnimationSetRecord;
struct FrameRecord;
struct MeshRecord;
struct ObjectRecord;

namespace ConvX {

// The GUIDs of the templates the converter reads.
extern const GUID kFrame, kFrameTransformMatrix, kMesh, kMeshNormals, kMeshTextureCoords,
    kMeshVertexColors, kMeshMaterialList, kMaterial, kTextureFilename, kAnimationSet, kAnimation,
    kAnimationKey, kAnimationOptions, kXSkinMeshHeader, kSkinWeights, kFVFData;
// The template declarations registered before every file is read.
const char* TemplateText();

// How the engine's own read of an X file ends: the platform's parser is given only a readable one.
enum class XScan {
    kReadable,
    kUnread,    // no file, an empty one, or one past the load's budget
    kDamaged,   // a token, template or compressed chunk the parser could not read either
    kTooDeep,   // objects nested deeper than kDeepestNesting
    kRedefined, // a standard template's GUID declared with another layout
    kPastLimit, // a name, string or count past what the parser holds or reads in time
    kEndless,   // a reference to an object that holds it
};
// Objects (and templates and references) nested deeper than this are refused: no real file comes
// near it (the deepest known nests 14), and the platform's parser ends the process on a data
// object 2,000 deep.
constexpr int kDeepestNesting = 256;
// What the platform's parser holds, as probed under Wine 8 (both its readers, the converter's and
// the mesh loader's; the lower where they differ), with a margin. Past these the parser ends the
// process, writes past a table, cuts a value or fails; the known real files stay far inside.
// Names: a record keeps 40 characters; a member name of 41 ends the process, an object name
// overwrites the object's type from 56 and its data offset from 77; a template name of 40 fails.
constexpr std::size_t kLongestName = 39;
// Strings and numbers: text keeps 511 characters of a token; a binary string of 530 ends the
// process.
constexpr std::size_t kLongestString = 500;
// Templates: 200 per parser object, the standard ones the readers register first (34 and 35)
// included; from 203 the process ends.
constexpr std::size_t kMostTemplates = 150;
// Members of a template (50), restrictions on its children (200), dimensions of a member (4).
constexpr std::size_t kMostMembers = 45;
constexpr std::size_t kMostRestrictions = 180;
constexpr std::size_t kMostDimensions = 3;
// Children, inline or referenced, of one object (200); objects and references under one
// top-level object, itself included (2,000); bytes of its strings, each with its terminator
// (10,000).
constexpr std::size_t kMostChildren = 180;
constexpr std::size_t kMostTreeObjects = 1800;
constexpr std::size_t kMostTreeStringBytes = 9000;
// Objects the readers reach in the whole file, each reference counted with every object it
// leads to (the mesh loader builds each again): it reads about 300,000 a second from text, so
// that a file of more would take a load past a second.
constexpr std::uint64_t kMostReached = 300000;
// The file whole, unpacked when compressed, walked through: image holds what the parser may be
// given when the file is readable.
XScan ReadXImage(const char* fileName, std::vector<std::uint8_t>& image);
// The walk of an unpacked file, text or binary.
XScan ScanXImage(const std::uint8_t* bytes, std::size_t size);

// What the platform makes for each data object it hands out (inline or through a reference, each
// time one is reached) and its name: charged per visit, so that a tree of references doubling at
// each level runs out of budget, not of memory and time.
constexpr std::uint64_t kObjectVisit = 256;

// One working vertex: position, normal and three texture sets.
struct WorkVertex {
    float x, y, z, nx, ny, nz, u0, v0, u1, v1, u2, v2;
};

struct WorkColour {
    std::uint32_t vertex;
    float red, green, blue, alpha;
};

struct WorkMaterial {
    float face[4];
    float power;
    float specular[3];
    float emissive[3];
    std::string texture; // empty: none
};

struct WorkSkin {
    std::string bone;
    std::vector<std::uint32_t> vertices;
    std::vector<float> weights;
    float offset[16];
};

struct State {
    ObjectRecord* object = nullptr; // the object under construction, owned
    IDirect3DDevice9* device = nullptr;
    std::uint8_t* block = nullptr; // the last block handed out, owned until Free
    HRESULT fileError = S_OK;      // what the platform's parser last refused a file with
    // The mesh being read.
    std::vector<WorkVertex> vertices;
    std::vector<std::uint32_t> triangles;       // three vertex numbers per triangle
    std::vector<std::uint32_t> triangleFace;    // the face each triangle was cut from
    std::vector<float> normals;                 // three floats per normal
    std::vector<std::uint32_t> normalTriangles; // three normal numbers per triangle
    std::int32_t extraSets = 0;                 // texture sets beyond the first: 0, 1 or 2
    std::vector<WorkColour> colours;
    std::vector<std::uint32_t> faceMaterials;
    bool hasFaceMaterials = false;
    std::uint32_t materialCountWord = 0;
    std::uint32_t skinMaxPerVertex = 0, skinMaxPerFace = 0, skinBones = 0;
    std::vector<WorkMaterial> materials;
    std::vector<WorkSkin> skins;
};

extern State g_State;

// Frees the object and every working array.
void Cleanup();
// The mesh working data emptied for the next mesh.
void ResetMeshData();
// The name of a data object, cut to 255 characters; "$NoName$" when it has none.
std::string GetDataObjectName(IDirectXFileData* data);
// The object's data bytes; false when the platform gives none.
bool GetObjectData(IDirectXFileData* data, const std::uint8_t** bytes, DWORD* size);
// A new frame named name at the head of parent's children.
FrameRecord* CreateChildFrame(FrameRecord* parent, const std::string& name);
// Reads a Mesh data object into the frame's mesh; false when it cannot be read.
bool ReadMesh(IDirectXFileData* mesh, FrameRecord* frame);
// Material groups for every mesh of the object's frame list.
void ProcessMeshes(ObjectRecord* object);
// The keys of an AnimationKey object into the animation.
bool ReadAnimationKey(IDirectXFileData* key, AnimationSetRecord* set, AnimationRecord* animation);

// Releases a COM object of the file interfaces when it goes out of scope.
template <typename T> class Held {
public:
    Held() = default;
    ~Held() {
        if (p_) p_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T* get() const { return p_; }
    T** out() { return &p_; }
    T* operator->() const { return p_; }

private:
    T* p_ = nullptr;
};

// Reads the bytes of a data object in order, never past their end.
class DataReader {
public:
    DataReader(const std::uint8_t* bytes, DWORD size) : at_(bytes), end_(bytes + size) {}
    bool Dword(std::uint32_t* value) { return Read(value, 4); }
    bool Float(float* value) { return Read(value, 4); }
    bool Floats(float* values, std::uint32_t count) { return Read(values, 4 * count); }
    bool Word(std::uint16_t* value) { return Read(value, 2); }
    // A string member: the platform stores a pointer to its characters.
    bool String(std::string* value);
    // Whether count items of the given size can still follow.
    bool Holds(std::uint64_t count, std::uint32_t size) const {
        return count * size <= static_cast<std::uint64_t>(end_ - at_);
    }
    std::uint32_t Left() const { return static_cast<std::uint32_t>(end_ - at_); }

private:
    bool Read(void* to, std::uint32_t bytes);
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

} // namespace ConvX
