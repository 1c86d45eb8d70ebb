#include "core/win32.h"

#include "modelfile/object_block.h"
#include "core/load_budget.h"
#include "modelfile/object_block_codes.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <bitset>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

using namespace tlo;

// Every reader below reads within a cursor that ends where its block ends, and every count is
// checked against the bytes left before anything is allocated for it: a damaged or hostile block
// makes the read fail, and whatever was made so far is already linked into the object, which the
// caller then destroys whole. Inside a load, each record and array is charged to the load's budget
// at its size before it is made: past the budget the read fails the same way.

namespace {

constexpr std::uint32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

struct Header {
    std::uint32_t code = 0;
    std::uint32_t size = 0;
};

bool ReadHeader(BlockCursor& c, Header& h) {
    return ReadBlockDwordPair(c, &h.code, &h.size);
}

// The payload of a block of the given size as a cursor of its own; c moves past it.
bool Payload(BlockCursor& c, std::uint32_t size, BlockCursor& payload) {
    if (size > c.Left()) return c.Fail();
    payload = BlockCursor{c.at, c.at + size, false};
    c.at += size;
    return true;
}

// Counts and arrays may each come once per record, every array after its count.
class Seen {
public:
    bool First(std::uint32_t code) {
        if (code >= codes_.size() || codes_[code]) return false;
        codes_[code] = true;
        return true;
    }
    bool Has(std::uint32_t code) const { return code < codes_.size() && codes_[code]; }

private:
    std::bitset<512> codes_;
};

bool ReadInt(BlockCursor& p, std::int32_t* value) {
    std::uint32_t v = 0;
    if (!ReadBlockDword(p, &v)) return false;
    *value = static_cast<std::int32_t>(v);
    return true;
}

bool ReadCount(BlockCursor& p, std::int32_t* value) {
    std::uint32_t v = 0;
    if (!ReadBlockDword(p, &v) || v > kMaxCount) return p.Fail();
    *value = static_cast<std::int32_t>(v);
    return true;
}

bool ReadFloat(BlockCursor& p, float* value) {
    return ReadBlockInto(p, value, 4);
}

// count elements of T into a new array; nothing when count is 0.
template <typename T> bool ReadTypedArray(BlockCursor& p, T** array, std::uint32_t count) {
    const std::uint64_t bytes = std::uint64_t{sizeof(T)} * count;
    if (bytes == 0) return true;
    // An array already there, or one longer than the bytes left, is not read.
    if (*array || bytes > p.Left() || !ChargeLoad(bytes)) return p.Fail();
    T* made = new (std::nothrow) T[count];
    if (!made) return p.Fail();
    std::memcpy(made, p.at, static_cast<std::size_t>(bytes));
    p.at += bytes;
    *array = made;
    return true;
}

// An array block. A payload of 0 bytes is an array the writer did not have: nothing is read and
// the array stays absent.
template <typename T> bool ReadArrayBlock(BlockCursor& p, T** array, std::uint32_t count) {
    return p.Left() == 0 || ReadTypedArray(p, array, count);
}

// Frames whose lists wait to be read: children and siblings nest one level per link, so they are
// read from a list of pending blocks, not by recursion.
struct PendingFrame {
    BlockCursor span;
    FrameRecord** target;
    FrameRecord* parent;
    int depth;
};

bool ReadMeshList(BlockCursor& c, MeshRecord** target, int keyDepth);

bool ReadFrameList(BlockCursor& c, FrameRecord** target, FrameRecord* into, FrameRecord* parent,
                   int depth, int keyDepth, std::vector<PendingFrame>& pending) {
    Header h;
    if (!ReadHeader(c, h)) return false;
    if (h.code == kEnd) return true;
    FrameRecord* f = into;
    if (!f) {
        if (!ChargeLoad(sizeof(FrameRecord))) return c.Fail();
        f = new (std::nothrow) FrameRecord;
        if (!f) return c.Fail();
        *target = f;
    }
    f->parent = parent;
    Seen seen;
    for (;;) {
        BlockCursor p;
        if (!Payload(c, h.size, p)) return false;
        bool ok = true;
        switch (h.code) {
        case kFrameName:
            ok = ReadBlockString(p, f->name);
            break;
        case kFrameMatrix:
            ok = ReadBlockMatrix(p, &f->initialMatrix);
            break;
        case kFrameMesh:
            ok = seen.First(h.code) && ReadMeshList(p, &f->mesh, keyDepth);
            break;
        case kFrameChild:
            ok = seen.First(h.code);
            pending.push_back({p, &f->child, f, depth + 1});
            break;
        case kFrameSibling:
            ok = seen.First(h.code);
            pending.push_back({p, &f->sibling, parent, depth + 1});
            break;
        case kFrameOffset:
            ok = ReadBlockVector(p, &f->offset);
            break;
        case kFrameRotation:
            ok = ReadBlockVector(p, &f->rotation);
            break;
        case kFrameScale:
            ok = ReadBlockVector(p, &f->scale);
            break;
        default:
            break;
        }
        if (!ok) return c.Fail();
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return true;
    }
}

// One frame list from c into *target (or into the given frame), then every frame nested in it.
bool ReadFrameTree(BlockCursor& c, FrameRecord** target, FrameRecord* into, int keyDepth) {
    std::vector<PendingFrame> pending;
    if (!ReadFrameList(c, target, into, nullptr, 0, keyDepth, pending)) return false;
    while (!pending.empty()) {
        PendingFrame next = pending.back();
        pending.pop_back();
        if (next.depth > kMaxNesting || !ReadFrameList(next.span, next.target, nullptr, next.parent,
                                                       next.depth, keyDepth, pending))
            return c.Fail();
    }
    return true;
}

bool DeclarationEnds(const D3DVERTEXELEMENT9* declaration) {
    for (std::uint32_t i = 0; i < kDeclarationEntries; ++i)
        if (declaration[i].Stream == 0xFF) return true;
    return false;
}

// Block 138: the count, then one frame list per keyframe, outside the block.
bool ReadKeyFrames(BlockCursor& c, MeshRecord* m, int keyDepth) {
    std::uint32_t count = 0;
    if (!ReadBlockDword(c, &count)) return false;
    if (count == 0) return true;
    if (keyDepth >= kMaxKeyFrameNesting) return c.Fail();
    if (count > c.Left() / kHeaderSize) return c.Fail(); // each list holds an end marker at least
    // Eight bytes of the block make a whole frame record here.
    if (!ChargeLoad(count, sizeof(FrameRecord))) return c.Fail();
    m->keyFrames = new (std::nothrow) FrameRecord[count];
    if (!m->keyFrames) return c.Fail();
    m->keyFrameCount = static_cast<std::int32_t>(count);
    for (std::uint32_t k = 0; k < count; ++k)
        if (!ReadFrameTree(c, nullptr, &m->keyFrames[k], keyDepth + 1)) return false;
    return true;
}

bool ReadVertices(BlockCursor& p, MeshRecord* m, const Seen& seen) {
    if (!seen.Has(kMeshVertexSize) || !seen.Has(kMeshVertexCount)) return false;
    const std::uint64_t bytes =
        std::uint64_t{m->vertexSize} * static_cast<std::uint32_t>(m->vertexCount);
    if (bytes > p.Left() && p.Left() > 0) return false;
    return ReadArrayBlock(p, &m->vertices, static_cast<std::uint32_t>(bytes));
}

bool ReadIndices(BlockCursor& p, MeshRecord* m, const Seen& seen) {
    if (!seen.Has(kMeshIndexCount)) return false;
    if (m->indexCount == 0) return true;
    return ReadArrayBlock(p, &m->indices, static_cast<std::uint32_t>(m->indexCount));
}

bool ReadMeshBlock(const Header& h, BlockCursor& p, MeshRecord* m, Seen& seen) {
    switch (h.code) {
    case kMeshFVF:
        return ReadBlockDword(p, &m->fvf);
    case kMeshVertexSize:
        return seen.First(h.code) && !seen.Has(kMeshVertices) && ReadBlockDword(p, &m->vertexSize);
    case kMeshVertexCount:
        return seen.First(h.code) && ReadCount(p, &m->vertexCount);
    case kMeshIndexCount:
        return seen.First(h.code) && ReadCount(p, &m->indexCount);
    case kMeshVertices:
        return seen.First(h.code) && ReadVertices(p, m, seen);
    case kMeshIndices:
        return seen.First(h.code) && ReadIndices(p, m, seen);
    case kMeshPrimitiveType:
        return ReadInt(p, &m->primitiveType);
    case kMeshDrawVertices:
        return ReadInt(p, &m->drawVertexCount);
    case kMeshDrawPrimitives:
        return ReadInt(p, &m->drawPrimitiveCount);
    case kMeshBoneCount:
        return seen.First(h.code) && ReadCount(p, &m->boneCount);
    case kMeshBones:
        return seen.First(h.code) && seen.Has(kMeshBoneCount) &&
               ReadBoneBlocks(&m->bones, m->boneCount, p);
    case kMeshMaterialOn:
        return ReadBlockByte(p, &m->materialOn);
    case kMeshMaterial:
        return ReadBlockMaterial(p, &m->material);
    case kMeshTextureCount:
        return seen.First(h.code) && ReadCount(p, &m->textureCount);
    case kMeshTextures:
        return seen.First(h.code) && seen.Has(kMeshTextureCount) &&
               ReadTextureBlocks(&m->textures, m->textureCount, p);
    case kMeshMultiMaterialOn:
        return ReadBlockByte(p, &m->multiMaterialOn);
    case kMeshMultiMaterialCount:
        return seen.First(h.code) && ReadCount(p, &m->multiMaterialCount);
    case kMeshMultiMaterials:
        return seen.First(h.code) && seen.Has(kMeshMultiMaterialCount) &&
               ReadMultiMaterialBlocks(&m->multiMaterials, m->multiMaterialCount, p);
    case kMeshWireframe:
        return ReadBlockByte(p, &m->wireframe);
    case kMeshLighting:
        return ReadBlockByte(p, &m->lighting);
    case kMeshCulling:
        return ReadBlockByte(p, &m->culling);
    case kMeshFog:
        return ReadBlockByte(p, &m->fog);
    case kMeshAmbient:
        return ReadBlockByte(p, &m->ambient);
    case kMeshTransparency:
        return ReadBlockByte(p, &m->transparency);
    case kMeshGhost:
        return ReadBlockByte(p, &m->ghost);
    case kMeshGhostMode:
        return ReadInt(p, &m->ghostMode);
    case kMeshVisible:
        return ReadBlockByte(p, &m->visible);
    case kMeshFormatFlag:
        return ReadBlockByte(p, &m->formatFlag);
    case kMeshEffectName:
        m->effectInUse = 1;
        return ReadBlockString(p, m->effectFileName);
    case kMeshFormatWord:
        return ReadBlockDword(p, &m->formatWord);
    case kMeshDepthBiasOn:
        return ReadBlockByte(p, &m->depthBiasOn);
    case kMeshSlopeScaleDepthBias:
        return ReadFloat(p, &m->slopeScaleDepthBias);
    case kMeshDepthBias:
        return ReadFloat(p, &m->depthBias);
    case kMeshDepthRead:
        return ReadBlockByte(p, &m->depthRead);
    case kMeshDepthWrite:
        return ReadBlockByte(p, &m->depthWrite);
    case kMeshAlphaReference:
        return ReadInt(p, &m->alphaReference);
    default:
        return true;
    }
}

// A mesh whose numbers point outside its own arrays is refused; counts of arrays that never came
// are cleared, so that no count promises data that is not there.
bool FinishMesh(MeshRecord* m) {
    if (!m->vertices) m->vertexCount = 0;
    if (!m->indices) m->indexCount = 0;
    if (!m->bones) m->boneCount = 0;
    if (!m->textures) m->textureCount = 0;
    if (!m->multiMaterials) m->multiMaterialCount = 0;
    const auto vertices = static_cast<std::uint32_t>(m->vertexCount);
    // Device buffers are filled a word at a time: a vertex of another size would run into the
    // next mesh placed after it.
    if (m->vertexSize % 4 != 0) return false;
    if (m->fvf == 0 && !DeclarationEnds(m->declaration)) {
        // No declaration describes the vertices: only a mesh without any is kept, given the
        // empty declaration.
        if (m->vertices) return false;
        m->declaration[0] = D3DDECL_END();
    }
    // The vertices are one array: an element of another stream, or one past the vertex, would
    // describe bytes the mesh does not have.
    if (m->fvf == 0 && !DeclarationFitsVertex(m->declaration, m->vertexSize)) return false;
    if (m->vertices && m->fvf && D3DXGetFVFVertexSize(m->fvf) > m->vertexSize) return false;
    for (std::int32_t i = 0; i < m->indexCount; ++i)
        if (m->indices[i] >= vertices) return false;
    for (std::int32_t b = 0; b < m->boneCount; ++b) {
        const BoneRecord& bone = m->bones[b];
        for (std::uint32_t j = 0; bone.vertices && j < bone.influenceCount; ++j)
            if (bone.vertices[j] >= vertices) return false;
    }
    return true;
}

bool ReadMeshList(BlockCursor& c, MeshRecord** target, int keyDepth) {
    Header h;
    if (!ReadHeader(c, h)) return false;
    if (h.code == kEnd) return true;
    if (!ChargeLoad(sizeof(MeshRecord))) return c.Fail();
    auto* m = new (std::nothrow) MeshRecord;
    if (!m) return c.Fail();
    *target = m;
    Seen seen;
    for (;;) {
        // Two blocks break the size rule: the declaration follows a size word of 4, and the
        // keyframes follow their count outside the block.
        if (h.code == kMeshDeclaration) {
            if (!seen.First(h.code) || !ReadBlockInto(c, m->declaration, kDeclarationBytes) ||
                !DeclarationEnds(m->declaration))
                return c.Fail();
        } else if (h.code == kMeshKeyFrames) {
            if (!seen.First(h.code) || !ReadKeyFrames(c, m, keyDepth)) return c.Fail();
        } else {
            BlockCursor p;
            if (!Payload(c, h.size, p)) return false;
            if (!ReadMeshBlock(h, p, m, seen)) return c.Fail();
        }
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return FinishMesh(m) || c.Fail();
    }
}

// One record of a record list, from its first header h to its end marker.
template <typename Record, typename Handler>
bool ReadRecordList(Record** records, std::int32_t count, BlockCursor& c, Handler handle) {
    Header h;
    if (!ReadHeader(c, h)) return false;
    if (h.code == kEnd) return true;
    // Each record ends in a marker of its own: a count the bytes cannot hold is a lie.
    if (count <= 0 || static_cast<std::uint32_t>(count) > c.Left() / kHeaderSize + 1 || *records)
        return c.Fail();
    // The whole count is made, however few records follow.
    if (!ChargeLoad(static_cast<std::uint32_t>(count), sizeof(Record))) return c.Fail();
    *records = new (std::nothrow) Record[static_cast<std::uint32_t>(count)]();
    if (!*records) return c.Fail();
    for (std::int32_t i = 0;;) {
        Seen seen;
        while (h.code != kEnd) {
            BlockCursor p;
            if (!Payload(c, h.size, p) || !handle(h, p, (*records)[i], seen)) return c.Fail();
            if (!ReadHeader(c, h)) return false;
        }
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return true;
        if (++i >= count) return c.Fail(); // more records than the count
    }
}

bool ReadBone(const Header& h, BlockCursor& p, BoneRecord& bone, Seen& seen) {
    switch (h.code) {
    case kBoneName:
        return ReadBlockString(p, bone.name);
    case kBoneInfluenceCount:
        return seen.First(h.code) && ReadBlockDword(p, &bone.influenceCount);
    case kBoneVertices:
        return seen.First(h.code) && seen.Has(kBoneInfluenceCount) &&
               ReadArrayBlock(p, &bone.vertices, bone.influenceCount);
    case kBoneWeights:
        return seen.First(h.code) && seen.Has(kBoneInfluenceCount) &&
               ReadArrayBlock(p, &bone.weights, bone.influenceCount);
    case kBoneOffsetMatrix:
        return ReadBlockMatrix(p, &bone.offsetMatrix);
    default:
        return true;
    }
}

bool ReadTexture(const Header& h, BlockCursor& p, TextureRecord& slot, Seen&) {
    std::uint32_t* words[12] = {&slot.stage,          &slot.colourOperation, &slot.argument1,
                                &slot.argument2,      &slot.addressU,        &slot.addressV,
                                &slot.magFilter,      &slot.minFilter,       &slot.mipFilter,
                                &slot.coordinateMode, &slot.extra[0],        &slot.extra[1]};
    if (h.code == kTextureName) return ReadBlockString(p, slot.fileName);
    if (h.code >= kTextureFirstWord && h.code <= kTextureLastWord)
        return ReadBlockDword(p, words[h.code - kTextureFirstWord]);
    return true;
}

bool ReadMultiMaterial(const Header& h, BlockCursor& p, MultiMaterialRecord& e, Seen&) {
    switch (h.code) {
    case kMultiMaterialName:
        return ReadBlockString(p, e.name);
    case kMultiMaterialMaterial:
        return ReadBlockMaterial(p, &e.material);
    case kMultiMaterialStartIndex:
        return ReadBlockDword(p, &e.startIndex);
    case kMultiMaterialIndexCount:
        return ReadBlockDword(p, &e.indexCount);
    case kMultiMaterialPrimitiveCount:
        return ReadBlockDword(p, &e.primitiveCount);
    default:
        return true;
    }
}

template <typename Key>
bool ReadKeys(BlockCursor& p, Key** keys, std::uint32_t count, const Seen& seen,
              std::uint32_t countCode) {
    return seen.Has(countCode) && ReadArrayBlock(p, keys, count);
}

bool ReadAnimationBlock(const Header& h, BlockCursor& p, AnimationRecord* a, Seen& seen) {
    if (h.code >= kPositionKeyCount && h.code <= kMatrixKeys && !seen.First(h.code)) return false;
    if (h.code >= kBakedIndices && h.code <= kBakedMatrices && !seen.First(h.code)) return false;
    switch (h.code) {
    case kAnimationName:
        return ReadBlockString(p, a->name);
    case kPositionKeyCount:
        return ReadBlockDword(p, &a->positionKeyCount);
    case kPositionKeys:
        return ReadKeys(p, &a->positionKeys, a->positionKeyCount, seen, kPositionKeyCount);
    case kRotationKeyCount:
        return ReadBlockDword(p, &a->rotationKeyCount);
    case kRotationKeys:
        return ReadKeys(p, &a->rotationKeys, a->rotationKeyCount, seen, kRotationKeyCount);
    case kScaleKeyCount:
        return ReadBlockDword(p, &a->scaleKeyCount);
    case kScaleKeys:
        return ReadKeys(p, &a->scaleKeys, a->scaleKeyCount, seen, kScaleKeyCount);
    case kMatrixKeyCount:
        return ReadBlockDword(p, &a->matrixKeyCount);
    case kMatrixKeys:
        return ReadKeys(p, &a->matrixKeys, a->matrixKeyCount, seen, kMatrixKeyCount);
    case kKeyed:
        return ReadBlockDword(p, &a->keyed);
    case kBakedIndexCount:
        return ReadBlockDword(p, &a->bakedIndexCount);
    case kBakedIndices:
        return seen.Has(kBakedIndexCount) &&
               ReadArrayBlock(p, &a->bakedIndices, a->bakedIndexCount);
    case kBakedFrameCount:
        return ReadBlockDword(p, &a->bakedFrameCount);
    case kBakedMatricesPerFrame:
        return ReadBlockDword(p, &a->bakedMatricesPerFrame);
    case kBakedMatrices:
        return seen.Has(kBakedFrameCount) && seen.Has(kBakedMatricesPerFrame) &&
               ReadBakedFrameMatrices(a, p);
    default:
        return true;
    }
}

bool FinishAnimation(AnimationRecord* a) {
    if (!a->positionKeys) a->positionKeyCount = 0;
    if (!a->rotationKeys) a->rotationKeyCount = 0;
    if (!a->scaleKeys) a->scaleKeyCount = 0;
    if (!a->matrixKeys) a->matrixKeyCount = 0;
    if (!a->bakedIndices) a->bakedIndexCount = 0;
    if (!a->bakedFrames) a->bakedFrameCount = 0;
    for (std::uint32_t i = 0; i < a->bakedIndexCount; ++i)
        if (a->bakedIndices[i] >= a->bakedMatricesPerFrame) return false;
    return true;
}

// One animation list; the span of its next animation's list, when it has one, in *next.
bool ReadOneAnimation(BlockCursor& c, AnimationRecord** target, BlockCursor* next, bool* hasNext) {
    *hasNext = false;
    Header h;
    if (!ReadHeader(c, h)) return false;
    if (h.code == kEnd) return true;
    if (!ChargeLoad(sizeof(AnimationRecord))) return c.Fail();
    auto* a = new (std::nothrow) AnimationRecord;
    if (!a) return c.Fail();
    *target = a;
    Seen seen;
    for (;;) {
        BlockCursor p;
        if (!Payload(c, h.size, p)) return false;
        if (h.code == kAnimationNext) {
            if (*hasNext) return c.Fail();
            *hasNext = true;
            *next = p;
        } else if (!ReadAnimationBlock(h, p, a, seen)) {
            return c.Fail();
        }
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return FinishAnimation(a) || c.Fail();
    }
}

bool ReadSetBlock(const Header& h, BlockCursor& p, AnimationSetRecord* set, Seen& seen) {
    switch (h.code) {
    case kSetName:
        return ReadBlockString(p, set->name);
    case kSetLength:
        return ReadBlockDword(p, &set->length);
    case kSetAnimation:
        return seen.First(h.code) && ReadAnimationBlocks(&set->animation, p);
    default:
        return true;
    }
}

} // namespace

bool ReadBlockInto(BlockCursor& c, void* buffer, std::uint32_t bytes) {
    if (bytes > c.Left()) return c.Fail();
    if (bytes > 0) std::memcpy(buffer, c.at, bytes);
    c.at += bytes;
    return true;
}

bool ReadBlockString(BlockCursor& c, char* buffer) {
    std::uint32_t n = 0;
    if (!ReadBlockDword(c, &n)) return false;
    if (n == 0) return true;
    if (n > c.Left()) return c.Fail();
    const std::uint32_t kept = n < kRecordNameLength - 1 ? n : kRecordNameLength - 1;
    std::memcpy(buffer, c.at, kept);
    buffer[kept] = 0;
    c.at += n;
    return true;
}

bool ReadBlockByte(BlockCursor& c, std::uint8_t* value) {
    std::uint8_t byte = 0;
    if (!ReadBlockInto(c, &byte, 1)) return false;
    *value = byte != 0 ? 1 : 0;
    return true;
}

bool ReadBlockDword(BlockCursor& c, std::uint32_t* value) {
    return ReadBlockInto(c, value, 4);
}

bool ReadBlockDwordPair(BlockCursor& c, std::uint32_t* first, std::uint32_t* second) {
    return ReadBlockDword(c, first) && ReadBlockDword(c, second);
}

bool ReadBlockVector(BlockCursor& c, D3DXVECTOR3* value) {
    return ReadBlockInto(c, value, 12);
}

bool ReadBlockMatrix(BlockCursor& c, D3DXMATRIX* value) {
    return ReadBlockInto(c, value, 64);
}

bool ReadBlockMaterial(BlockCursor& c, D3DMATERIAL9* value) {
    return ReadBlockInto(c, value, 68);
}

bool ReadBlockBuffer(BlockCursor& c, std::uint8_t** buffer, std::uint32_t bytes) {
    if (!buffer || bytes > c.Left()) return c.Fail();
    if (!*buffer) {
        if (!ChargeLoad(bytes)) return c.Fail();
        *buffer = new (std::nothrow) std::uint8_t[bytes > 0 ? bytes : 1];
        if (!*buffer) return c.Fail();
    }
    return ReadBlockInto(c, *buffer, bytes);
}

bool ReadBlockElementArray(BlockCursor& c, std::uint8_t** array, std::uint32_t elementSize,
                           std::uint32_t count) {
    const std::uint64_t bytes = std::uint64_t{elementSize} * count;
    if (bytes > c.Left()) return c.Fail();
    return ReadTypedArray(c, array, static_cast<std::uint32_t>(bytes));
}

bool ReadBlockWordArray(BlockCursor& c, std::uint16_t** array, std::uint32_t count) {
    return ReadTypedArray(c, array, count);
}

bool ReadBlockDwordArray(BlockCursor& c, std::uint32_t** array, std::uint32_t count) {
    return ReadTypedArray(c, array, count);
}

bool ReadFrameBlocks(FrameRecord** frame, BlockCursor& c) {
    return frame && ReadFrameTree(c, frame, nullptr, 0);
}

bool ReadMeshBlocks(MeshRecord** mesh, BlockCursor& c) {
    return mesh && ReadMeshList(c, mesh, 0);
}

bool ReadBoneBlocks(BoneRecord** bones, std::int32_t count, BlockCursor& c) {
    return ReadRecordList(bones, count, c, ReadBone);
}

bool ReadTextureBlocks(TextureRecord** textures, std::int32_t count, BlockCursor& c) {
    return ReadRecordList(textures, count, c, ReadTexture);
}

bool ReadMultiMaterialBlocks(MultiMaterialRecord** entries, std::int32_t count, BlockCursor& c) {
    return ReadRecordList(entries, count, c, ReadMultiMaterial);
}

bool ReadAnimationSetBlocks(AnimationSetRecord** set, BlockCursor& c) {
    Header h;
    if (!ReadHeader(c, h)) return false;
    if (h.code == kEnd) return true;
    if (!ChargeLoad(sizeof(AnimationSetRecord))) return c.Fail();
    auto* made = new (std::nothrow) AnimationSetRecord;
    if (!made) return c.Fail();
    *set = made;
    Seen seen;
    for (;;) {
        BlockCursor p;
        if (!Payload(c, h.size, p) || !ReadSetBlock(h, p, made, seen)) return c.Fail();
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return true;
    }
}

bool ReadAnimationBlocks(AnimationRecord** animation, BlockCursor& c) {
    // Each next animation nests inside the one before; the chain is followed in a loop.
    BlockCursor* cursor = &c;
    BlockCursor next;
    for (int depth = 0;; ++depth) {
        bool hasNext = false;
        BlockCursor span;
        if (depth > kMaxNesting || !ReadOneAnimation(*cursor, animation, &span, &hasNext))
            return c.Fail();
        if (!hasNext) return true;
        animation = &(*animation)->next;
        next = span;
        cursor = &next;
    }
}

bool ReadBakedFrameMatrices(AnimationRecord* a, BlockCursor& c) {
    const std::uint32_t frames = a->bakedFrameCount, perFrame = a->bakedMatricesPerFrame;
    if (c.Left() == 0 || frames == 0 || perFrame == 0) return true; // no tables
    if (a->bakedFrames || std::uint64_t{64} * frames * perFrame > c.Left()) return c.Fail();
    if (!ChargeLoad(frames, sizeof(D3DXMATRIX*) + std::uint64_t{sizeof(D3DXMATRIX)} * perFrame))
        return c.Fail();
    a->bakedFrames = new (std::nothrow) D3DXMATRIX*[frames]();
    if (!a->bakedFrames) return c.Fail();
    for (std::uint32_t f = 0; f < frames; ++f) {
        a->bakedFrames[f] = new (std::nothrow) D3DXMATRIX[perFrame];
        if (!a->bakedFrames[f] || !ReadBlockInto(c, a->bakedFrames[f], 64 * perFrame))
            return c.Fail();
    }
    return true;
}

bool ReadTrailingBlocks(ObjectRecord* object, BlockCursor& c) {
    bool custom = false;
    while (c.Left() > 0) {
        Header h;
        BlockCursor p;
        if (!ReadHeader(c, h)) return false;
        if (h.code == kEnd) return true;
        if (!Payload(c, h.size, p)) return false;
        if (h.code != kRootCustomData) continue;
        std::uint32_t length = 0;
        if (custom || !ReadBlockDword(p, &length) || length > p.Left()) return c.Fail();
        custom = true;
        object->customSize = 0;
        if (length > 0 && !ReadBlockBuffer(p, &object->customBufferB, length)) return c.Fail();
        object->customSize = length;
    }
    return true;
}

bool ReadObjectBlocks(ObjectRecord** object, BlockCursor& c) {
    if (!object) return false;
    *object = nullptr;
    char magic[kRecordNameLength] = {};
    std::uint32_t words[3];
    if (!ReadBlockString(c, magic) || _stricmp(magic, kMagic) != 0 ||
        !ReadBlockInto(c, words, sizeof words))
        return false;
    if (!ChargeLoad(sizeof(ObjectRecord))) return false;
    // Held until it is whole: a reader that runs out of memory midway leaves nothing behind.
    std::unique_ptr<ObjectRecord> made(new (std::nothrow) ObjectRecord);
    if (!made) return false;
    // Root blocks 1 and 2 always come first, in that order; their codes are not looked at.
    Header frames, set;
    BlockCursor framePayload, setPayload;
    const bool read = ReadHeader(c, frames) && Payload(c, frames.size, framePayload) &&
                      ReadFrameBlocks(&made->rootFrame, framePayload) && ReadHeader(c, set) &&
                      Payload(c, set.size, setPayload) &&
                      ReadAnimationSetBlocks(&made->animationSet, setPayload) &&
                      ReadTrailingBlocks(made.get(), c);
    if (!read) return false;
    *object = made.release();
    return true;
}

bool ReadObjectFromBlock(const std::uint8_t* block, std::uint32_t size, ObjectRecord** object) {
    if (!object) return false;
    *object = nullptr;
    if (!block) return false;
    BlockCursor cursor{block, block + size, false};
    return ReadObjectBlocks(object, cursor);
}

bool ReadWholeFile(const char* fileName, std::uint8_t** buffer, std::uint32_t* size) {
    if (!buffer || !size) return false;
    *buffer = nullptr;
    *size = 0;
    if (!fileName) return false;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length{};
    std::uint8_t* data = nullptr;
    DWORD read = 0;
    bool ok = GetFileSizeEx(file, &length) && length.QuadPart >= 0 &&
              length.QuadPart <= std::numeric_limits<std::int32_t>::max();
    if (ok) {
        const auto bytes = static_cast<DWORD>(length.QuadPart);
        data = new (std::nothrow) std::uint8_t[bytes > 0 ? bytes : 1];
        ok = data && (bytes == 0 || (ReadFile(file, data, bytes, &read, nullptr) && read == bytes));
    }
    CloseHandle(file);
    if (!ok) {
        delete[] data;
        return false;
    }
    *buffer = data;
    *size = read;
    return true;
}
