// The MDL converter's decoded file and its steps (the entries are in converters.h): studio
// models with bones, a sampled first sequence, palettised textures and strips and fans. Decoding
// and sampling take bytes and need no device; saving textures and making normals do.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct CoreData;
struct FrameRecord;
struct ObjectRecord;

namespace ConvMDL {

constexpr std::uint32_t kMagic = 0x54534449; // "IDST"
constexpr std::int32_t kVersion = 10;
// Larger models are refused.
constexpr std::int32_t kMostStrips = 800;
constexpr std::int32_t kMostBones = 128;
// The sampled frames hold at most this many bone matrices together (64 MB); a longer first
// sequence keeps the frames that fit.
constexpr std::int64_t kMostBakedMatrices = std::int64_t{1} << 20;
// The skins one file may write into the temporary folder.
constexpr std::uint64_t kMostSkinBytes = std::uint64_t{16} << 20;

struct Bone {
    std::int32_t parent = -1; // -1 for none; always a bone before this one
    float value[6] = {};      // base position x, y, z and rotation angles x, y, z
    float scale[6] = {};      // of the same channels
};

// Rows of rotation with the translation as the fourth value of each row.
struct BoneTransform {
    float m[3][4];
};

struct Texture {
    std::string name; // as the file names it
    std::int32_t width = 0, height = 0;
    ByteSpan pixels;  // width x height palette indices, row by row
    ByteSpan palette; // 256 entries of red, green and blue
};

struct StripRecord {
    std::vector<float> vertices; // 8 floats a vertex: position, normal (0), u, v
    std::int32_t primitiveType = D3DPT_TRIANGLESTRIP;
    std::int32_t vertexCount = 0;
    std::int32_t texture = -1; // the texture's number; -1 for none
    std::string textureName;   // as saved in the temporary folder; empty for none
};

// The file as the converter reads it, every offset, count and index checked.
struct MDLData {
    ByteSpan file;
    std::vector<Bone> bones;
    // The first sequence: its frame count and, when its data lies in this file, where each bone's
    // animation record starts (bone b's at animation + 12 b).
    std::int32_t frameCount = 0;
    bool animated = false;
    std::uint64_t animation = 0;
    std::vector<Texture> textures;
    std::vector<StripRecord> strips;
    std::vector<std::uint32_t> vertexBones; // one per strip vertex, strips in order
    // The skin files to save (one a distinct picture) and the texture each shows.
    std::vector<std::pair<std::string, std::size_t>> skinFiles;
};

// The whole file; false for anything but a well-formed studio model with a body part, or one with
// a bone value or scale or a position past kLargestLoadedValue (or not a number). Inside a load
// what it makes is charged first (past the budget: std::bad_alloc).
bool Decode(const ByteSpan& file, MDLData& data);
// The name a texture is saved under in the temporary folder: its base name (what follows the
// last slash); empty (nothing saved, the mesh untextured) when that is empty. SaveTextures puts
// the name through the one check for names from outside.
std::string SkinFileName(const std::string& name);

// Where each bone stands at a frame of the first sequence (k whole frames and a fraction).
// Sampling frames in rising order walks each channel's data once.
class PoseSampler {
public:
    explicit PoseSampler(const MDLData& data);
    // The bone transforms at the frame; false when the animation data leaves the file or does not
    // hold together.
    bool MakeSkeleton(float frame, std::vector<BoneTransform>& transforms);

private:
    struct Cursor {
        std::uint64_t run = 0;   // the file offset of the run that covers `first` on
        std::int32_t first = 0;  // the frame the run starts at
        std::uint64_t start = 0; // the stream's first run; 0 for a constant channel
    };
    bool Sample(std::size_t bone, int channel, std::int32_t k, bool position, float& a1, float& a2,
                bool& apart);
    const MDLData& data_;
    std::vector<Cursor> cursors_; // six a bone
};

D3DXQUATERNION EulerToQuaternion(const float angles[3]);
D3DXQUATERNION SlerpQuaternion(const D3DXQUATERNION& p, D3DXQUATERNION q, float t);
// The rotation of a unit quaternion with the translation t.
BoneTransform QuaternionToMatrix(const D3DXQUATERNION& q, const float t[3]);
// The child's transform followed by its parent's.
BoneTransform ConcatBoneTransforms(const BoneTransform& parent, const BoneTransform& child);
// A bone transform as the engine moves points with it (a point times the matrix).
D3DXMATRIX PoseMatrix(const BoneTransform& transform);

// The smallest power of two not below size, at least 1 and at most 256.
std::int32_t OutputSize(std::int32_t size);
// The texture resampled to width x height, each pixel the mean of four palette colours, as
// A8R8G8B8 rows pitch bytes apart.
void ResampleTexture(const Texture& texture, std::int32_t width, std::int32_t height,
                     std::uint8_t* rows, std::uint32_t pitch);

// The engine object of the decoded file, with its sampled animation; null when it cannot be made.
ObjectRecord* BuildObject(MDLData& data);
// Each strip given the file its texture is saved under, and the files to save listed: a name
// shows what the last texture of that name shows, and names showing one picture share one file.
void NameTextures(MDLData& data);
// The listed skin files saved into the folder as bitmaps. False, and none of the files it made
// left, when a name fails the check for names from outside (a device name, a reserved or control
// character, "." or "..", the path limit: then nothing is written), when the device cannot make,
// lock or save one, or when the load's budget or kMostSkinBytes is spent.
bool SaveTextures(const MDLData& data, const std::string& folder);

void PassCoreData(CoreData* core);
// The file as the converter's own object (kept until the next conversion or Free).
bool LoadModel(const char* fileName);
const ObjectRecord* LoadedObject();

} // namespace ConvMDL
