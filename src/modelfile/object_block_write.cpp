#include "core/win32.h"

#include "modelfile/object_block.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "modelfile/object_block_codes.h"
#include "object3d/object_records.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

using namespace tlo;

namespace {

bool Store(const void* data, std::uint32_t bytes, std::uint8_t** cursor, std::uint32_t* counter) {
    // Nothing this process can hold comes near 4 GB, but a counter that wrapped would size a
    // buffer too small for the writing pass.
    if (*counter > std::numeric_limits<std::uint32_t>::max() - bytes) return false;
    if (cursor && *cursor) {
        if (bytes > 0) std::memcpy(*cursor, data, bytes);
        *cursor += bytes;
    }
    *counter += bytes;
    return true;
}

// A nested or string block whose size is only known once its content is written: the place of
// its size word, filled in by Close.
class OpenBlock {
public:
    OpenBlock(std::uint32_t code, std::uint8_t** cursor, std::uint32_t* counter)
        : cursor_(cursor), counter_(counter) {
        ok_ = WriteBlockDword(code, cursor, counter);
        if (cursor && *cursor) size_ = *cursor;
        start_ = *counter + 4;
        ok_ = ok_ && WriteBlockDword(0, cursor, counter);
    }
    bool Close() {
        if (!ok_) return false;
        const std::uint32_t size = *counter_ - start_;
        if (size_) std::memcpy(size_, &size, 4);
        return true;
    }

private:
    std::uint8_t** cursor_;
    std::uint32_t* counter_;
    std::uint8_t* size_ = nullptr;
    std::uint32_t start_ = 0;
    bool ok_ = false;
};

bool WriteEnd(std::uint8_t** cursor, std::uint32_t* counter) {
    return WriteBlockDwordPair(kEnd, 0, cursor, counter);
}

bool DwordBlock(std::uint32_t code, std::uint32_t value, std::uint8_t** c, std::uint32_t* n) {
    return WriteBlockDwordPair(code, 4, c, n) && WriteBlockDword(value, c, n);
}

bool ByteBlock(std::uint32_t code, std::uint8_t value, std::uint8_t** c, std::uint32_t* n) {
    return WriteBlockDwordPair(code, 1, c, n) && WriteBlockByte(value, c, n);
}

bool FloatBlock(std::uint32_t code, float value, std::uint8_t** c, std::uint32_t* n) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return DwordBlock(code, bits, c, n);
}

bool VectorBlock(std::uint32_t code, const D3DXVECTOR3& value, std::uint8_t** c, std::uint32_t* n) {
    return WriteBlockDwordPair(code, 12, c, n) && WriteBlockVector(value, c, n);
}

bool MatrixBlock(std::uint32_t code, const D3DXMATRIX& value, std::uint8_t** c, std::uint32_t* n) {
    return WriteBlockDwordPair(code, 64, c, n) && WriteBlockMatrix(value, c, n);
}

bool MaterialBlock(std::uint32_t code, const D3DMATERIAL9& value, std::uint8_t** c,
                   std::uint32_t* n) {
    return WriteBlockDwordPair(code, 68, c, n) && WriteBlockMaterial(value, c, n);
}

// A record's name: at most the 255 characters a record holds.
bool NameBlock(std::uint32_t code, const char* name, std::uint8_t** c, std::uint32_t* n) {
    const auto length = static_cast<std::uint32_t>(strnlen(name, kRecordNameLength - 1));
    return WriteBlockDwordPair(code, 4 + length, c, n) && WriteBlockDword(length, c, n) &&
           WriteBlockData(name, length, c, n);
}

// An array block sized from its count; an absent array writes size 0 and no payload, which the
// reader takes as "no data", so writer and reader stay in step.
bool ArrayBlock(std::uint32_t code, const void* array, std::uint32_t elementSize,
                std::uint32_t count, std::uint8_t** c, std::uint32_t* n) {
    const std::uint64_t bytes = array ? std::uint64_t{elementSize} * count : 0;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return false;
    return WriteBlockDwordPair(code, static_cast<std::uint32_t>(bytes), c, n) &&
           (bytes == 0 || WriteBlockData(array, static_cast<std::uint32_t>(bytes), c, n));
}

std::uint32_t Count(std::int32_t count) {
    return count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

bool WriteFrameTree(const FrameRecord* frame, std::uint8_t** c, std::uint32_t* n, int keyDepth);

// The declaration's 65 entries; one that never ends describes nothing and is stored empty.
bool WriteDeclaration(const MeshRecord* mesh, std::uint8_t** c, std::uint32_t* n) {
    D3DVERTEXELEMENT9 entries[kDeclarationEntries];
    std::memcpy(entries, mesh->declaration, kDeclarationBytes);
    bool ends = false;
    for (const D3DVERTEXELEMENT9& e : entries)
        ends = ends || e.Stream == 0xFF;
    if (!ends) {
        std::memset(entries, 0, kDeclarationBytes);
        entries[0] = D3DDECL_END();
    }
    return WriteBlockData(entries, kDeclarationBytes, c, n);
}

bool WriteMeshList(const MeshRecord* mesh, std::uint8_t** c, std::uint32_t* n, int keyDepth) {
    if (!mesh) return WriteEnd(c, n);
    const std::uint32_t vertexCount = Count(mesh->vertexCount);
    const std::uint32_t indexCount = Count(mesh->indexCount);
    bool ok = DwordBlock(kMeshFVF, mesh->fvf, c, n) &&
              DwordBlock(kMeshVertexSize, mesh->vertexSize, c, n) &&
              DwordBlock(kMeshVertexCount, vertexCount, c, n) &&
              DwordBlock(kMeshIndexCount, indexCount, c, n);
    if (ok && mesh->fvf == 0)
        ok = WriteBlockDwordPair(kMeshDeclaration, 4, c, n) && WriteDeclaration(mesh, c, n);
    // The keyframes follow the count outside the block, one frame list each.
    const std::uint32_t keyFrames = mesh->keyFrames ? Count(mesh->keyFrameCount) : 0;
    if (keyFrames > 0 && keyDepth >= kMaxKeyFrameNesting) return false;
    ok = ok && DwordBlock(kMeshKeyFrames, keyFrames, c, n);
    for (std::uint32_t k = 0; ok && k < keyFrames; ++k)
        ok = WriteFrameTree(&mesh->keyFrames[k], c, n, keyDepth + 1);
    if (!ok) return false;
    const std::uint32_t boneCount = mesh->bones ? Count(mesh->boneCount) : 0;
    const std::uint32_t textureCount = mesh->textures ? Count(mesh->textureCount) : 0;
    const std::uint32_t multiCount = mesh->multiMaterials ? Count(mesh->multiMaterialCount) : 0;
    ok = ArrayBlock(kMeshVertices, mesh->vertices, mesh->vertexSize, vertexCount, c, n) &&
         (indexCount == 0 || ArrayBlock(kMeshIndices, mesh->indices, 2, indexCount, c, n)) &&
         DwordBlock(kMeshPrimitiveType, static_cast<std::uint32_t>(mesh->primitiveType), c, n) &&
         DwordBlock(kMeshDrawVertices, static_cast<std::uint32_t>(mesh->drawVertexCount), c, n) &&
         DwordBlock(kMeshDrawPrimitives, static_cast<std::uint32_t>(mesh->drawPrimitiveCount), c,
                    n) &&
         DwordBlock(kMeshBoneCount, boneCount, c, n);
    if (ok) {
        OpenBlock bones(kMeshBones, c, n);
        ok = WriteBoneBlocks(mesh->bones, static_cast<std::int32_t>(boneCount), c, n) &&
             bones.Close();
    }
    ok = ok && ByteBlock(kMeshMaterialOn, mesh->materialOn, c, n) &&
         MaterialBlock(kMeshMaterial, mesh->material, c, n) &&
         DwordBlock(kMeshTextureCount, textureCount, c, n);
    if (ok) {
        OpenBlock textures(kMeshTextures, c, n);
        ok = WriteTextureBlocks(mesh->textures, static_cast<std::int32_t>(textureCount), c, n) &&
             textures.Close();
    }
    ok = ok && ByteBlock(kMeshMultiMaterialOn, mesh->multiMaterialOn, c, n) &&
         DwordBlock(kMeshMultiMaterialCount, multiCount, c, n);
    if (ok) {
        OpenBlock entries(kMeshMultiMaterials, c, n);
        ok = WriteMultiMaterialBlocks(mesh->multiMaterials, static_cast<std::int32_t>(multiCount),
                                      c, n) &&
             entries.Close();
    }
    ok = ok && ByteBlock(kMeshWireframe, mesh->wireframe, c, n) &&
         ByteBlock(kMeshLighting, mesh->lighting, c, n) &&
         ByteBlock(kMeshCulling, mesh->culling, c, n) && ByteBlock(kMeshFog, mesh->fog, c, n) &&
         ByteBlock(kMeshAmbient, mesh->ambient, c, n) &&
         ByteBlock(kMeshTransparency, mesh->transparency, c, n) &&
         ByteBlock(kMeshGhost, mesh->ghost, c, n) &&
         DwordBlock(kMeshGhostMode, static_cast<std::uint32_t>(mesh->ghostMode), c, n) &&
         ByteBlock(kMeshVisible, mesh->visible, c, n) &&
         ByteBlock(kMeshFormatFlag, mesh->formatFlag, c, n) &&
         (!mesh->effectInUse || NameBlock(kMeshEffectName, mesh->effectFileName, c, n)) &&
         DwordBlock(kMeshFormatWord, mesh->formatWord, c, n) &&
         ByteBlock(kMeshDepthBiasOn, mesh->depthBiasOn, c, n) &&
         FloatBlock(kMeshSlopeScaleDepthBias, mesh->slopeScaleDepthBias, c, n) &&
         FloatBlock(kMeshDepthBias, mesh->depthBias, c, n) &&
         ByteBlock(kMeshDepthRead, mesh->depthRead, c, n) &&
         ByteBlock(kMeshDepthWrite, mesh->depthWrite, c, n) &&
         DwordBlock(kMeshAlphaReference, static_cast<std::uint32_t>(mesh->alphaReference), c, n);
    return ok && WriteEnd(c, n);
}

// The frame's own blocks before its child.
bool WriteFrameHead(const FrameRecord* f, std::uint8_t** c, std::uint32_t* n, int keyDepth) {
    if (!NameBlock(kFrameName, f->name, c, n) || !MatrixBlock(kFrameMatrix, f->initialMatrix, c, n))
        return false;
    OpenBlock mesh(kFrameMesh, c, n);
    return WriteMeshList(f->mesh, c, n, keyDepth) && mesh.Close();
}

bool WriteFrameTail(const FrameRecord* f, std::uint8_t** c, std::uint32_t* n) {
    return VectorBlock(kFrameOffset, f->offset, c, n) &&
           VectorBlock(kFrameRotation, f->rotation, c, n) &&
           VectorBlock(kFrameScale, f->scale, c, n) && WriteEnd(c, n);
}

// A frame with its child and sibling lists nested inside its own, written without recursion:
// a long chain of siblings nests as deep as it is long.
bool WriteFrameTree(const FrameRecord* frame, std::uint8_t** c, std::uint32_t* n, int keyDepth) {
    struct Open {
        const FrameRecord* frame;
        int stage; // 0 head, 1 child written, 2 sibling written
    };
    std::vector<Open> stack{{frame, 0}};
    std::vector<OpenBlock> blocks; // one per stack entry past the first
    blocks.reserve(16);
    while (!stack.empty()) {
        Open& top = stack.back();
        const FrameRecord* f = top.frame;
        if (!f || top.stage == 2) {
            if (f && (!blocks.back().Close() || !WriteFrameTail(f, c, n))) return false;
            if (!f && !WriteEnd(c, n)) return false;
            if (f) blocks.pop_back();
            stack.pop_back();
            continue;
        }
        if (stack.size() > static_cast<std::size_t>(kMaxNesting)) return false;
        if (top.stage == 0) {
            if (!WriteFrameHead(f, c, n, keyDepth)) return false;
            blocks.emplace_back(kFrameChild, c, n);
            top.stage = 1;
            stack.push_back({f->child, 0});
        } else {
            if (!blocks.back().Close()) return false;
            blocks.back() = OpenBlock(kFrameSibling, c, n);
            top.stage = 2;
            stack.push_back({f->sibling, 0});
        }
    }
    return true;
}

bool WriteAnimationHead(const AnimationRecord* a, std::uint8_t** c, std::uint32_t* n) {
    bool ok = NameBlock(kAnimationName, a->name, c, n) &&
              DwordBlock(kPositionKeyCount, a->positionKeyCount, c, n) &&
              (a->positionKeyCount == 0 ||
               ArrayBlock(kPositionKeys, a->positionKeys, 28, a->positionKeyCount, c, n)) &&
              DwordBlock(kRotationKeyCount, a->rotationKeyCount, c, n) &&
              (a->rotationKeyCount == 0 ||
               ArrayBlock(kRotationKeys, a->rotationKeys, 20, a->rotationKeyCount, c, n)) &&
              DwordBlock(kScaleKeyCount, a->scaleKeyCount, c, n) &&
              (a->scaleKeyCount == 0 ||
               ArrayBlock(kScaleKeys, a->scaleKeys, 28, a->scaleKeyCount, c, n)) &&
              DwordBlock(kMatrixKeyCount, a->matrixKeyCount, c, n) &&
              (a->matrixKeyCount == 0 ||
               ArrayBlock(kMatrixKeys, a->matrixKeys, 132, a->matrixKeyCount, c, n)) &&
              DwordBlock(kKeyed, a->keyed, c, n);
    if (!ok || a->keyed != 0) return ok;
    const std::uint32_t frames = a->bakedFrames ? a->bakedFrameCount : 0;
    const std::uint64_t bytes = std::uint64_t{64} * frames * a->bakedMatricesPerFrame;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return false;
    return DwordBlock(kBakedIndexCount, a->bakedIndexCount, c, n) &&
           ArrayBlock(kBakedIndices, a->bakedIndices, 4, a->bakedIndexCount, c, n) &&
           DwordBlock(kBakedFrameCount, frames, c, n) &&
           DwordBlock(kBakedMatricesPerFrame, a->bakedMatricesPerFrame, c, n) &&
           WriteBlockDwordPair(kBakedMatrices, static_cast<std::uint32_t>(bytes), c, n) &&
           WriteBakedFrameMatrices(a, c, n);
}

} // namespace

void FreeObjectBlock(std::uint8_t* block) {
    delete[] block;
}

bool WriteBlockDword(std::uint32_t value, std::uint8_t** cursor, std::uint32_t* counter) {
    return Store(&value, 4, cursor, counter);
}

bool WriteBlockByte(std::uint8_t value, std::uint8_t** cursor, std::uint32_t* counter) {
    return Store(&value, 1, cursor, counter);
}

bool WriteBlockVector(const D3DXVECTOR3& value, std::uint8_t** cursor, std::uint32_t* counter) {
    return Store(&value, 12, cursor, counter);
}

bool WriteBlockMatrix(const D3DXMATRIX& value, std::uint8_t** cursor, std::uint32_t* counter) {
    return Store(&value, 64, cursor, counter);
}

bool WriteBlockMaterial(const D3DMATERIAL9& value, std::uint8_t** cursor, std::uint32_t* counter) {
    static_assert(sizeof(D3DMATERIAL9) == 68);
    return Store(&value, 68, cursor, counter);
}

bool WriteBlockData(const void* data, std::uint32_t bytes, std::uint8_t** cursor,
                    std::uint32_t* counter) {
    return Store(data, bytes, cursor, counter);
}

bool WriteBlockString(const char* text, std::uint8_t** cursor, std::uint32_t* counter) {
    const std::size_t length = text ? std::strlen(text) : 0;
    if (length > std::numeric_limits<std::uint32_t>::max() - 4) return false;
    const auto n = static_cast<std::uint32_t>(length);
    return WriteBlockDword(n, cursor, counter) && Store(text, n, cursor, counter);
}

bool WriteBlockElementArray(const void* array, std::uint32_t elementSize, std::uint32_t count,
                            std::uint8_t** cursor, std::uint32_t* counter) {
    if (!array) return WriteBlockDword(0, cursor, counter);
    const std::uint64_t bytes = std::uint64_t{elementSize} * count;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return false;
    return Store(array, static_cast<std::uint32_t>(bytes), cursor, counter);
}

bool WriteBlockWordArray(const std::uint16_t* array, std::uint32_t count, std::uint8_t** cursor,
                         std::uint32_t* counter) {
    return WriteBlockElementArray(array, 2, count, cursor, counter);
}

bool WriteBlockDwordArray(const std::uint32_t* array, std::uint32_t count, std::uint8_t** cursor,
                          std::uint32_t* counter) {
    return WriteBlockElementArray(array, 4, count, cursor, counter);
}

bool WriteBlockDwordPair(std::uint32_t first, std::uint32_t second, std::uint8_t** cursor,
                         std::uint32_t* counter) {
    return WriteBlockDword(first, cursor, counter) && WriteBlockDword(second, cursor, counter);
}

bool WriteBlockDwordAndByte(std::uint32_t word, std::uint8_t byte, std::uint8_t** cursor,
                            std::uint32_t* counter) {
    return WriteBlockDword(word, cursor, counter) && WriteBlockByte(byte, cursor, counter);
}

bool WriteFrameBlocks(const FrameRecord* frame, std::uint8_t** cursor, std::uint32_t* counter) {
    return WriteFrameTree(frame, cursor, counter, 0);
}

bool WriteMeshBlocks(const MeshRecord* mesh, std::uint8_t** cursor, std::uint32_t* counter) {
    return WriteMeshList(mesh, cursor, counter, 0);
}

bool WriteBoneBlocks(const BoneRecord* bones, std::int32_t count, std::uint8_t** c,
                     std::uint32_t* n) {
    for (std::int32_t b = 0; bones && b < count; ++b) {
        const BoneRecord& bone = bones[b];
        const std::uint32_t k = bone.influenceCount;
        if (!NameBlock(kBoneName, bone.name, c, n) || !DwordBlock(kBoneInfluenceCount, k, c, n) ||
            (k != 0 && (!ArrayBlock(kBoneVertices, bone.vertices, 4, k, c, n) ||
                        !ArrayBlock(kBoneWeights, bone.weights, 4, k, c, n))) ||
            !MatrixBlock(kBoneOffsetMatrix, bone.offsetMatrix, c, n) || !WriteEnd(c, n))
            return false;
    }
    return WriteEnd(c, n);
}

bool WriteTextureBlocks(const TextureRecord* textures, std::int32_t count, std::uint8_t** c,
                        std::uint32_t* n) {
    for (std::int32_t t = 0; textures && t < count; ++t) {
        const TextureRecord& slot = textures[t];
        const std::uint32_t words[12] = {slot.stage,          slot.colourOperation, slot.argument1,
                                         slot.argument2,      slot.addressU,        slot.addressV,
                                         slot.magFilter,      slot.minFilter,       slot.mipFilter,
                                         slot.coordinateMode, slot.extra[0],        slot.extra[1]};
        if (!NameBlock(kTextureName, slot.fileName, c, n)) return false;
        for (std::uint32_t w = 0; w < 12; ++w)
            if (!DwordBlock(kTextureFirstWord + w, words[w], c, n)) return false;
        if (!WriteEnd(c, n)) return false;
    }
    return WriteEnd(c, n);
}

bool WriteMultiMaterialBlocks(const MultiMaterialRecord* entries, std::int32_t count,
                              std::uint8_t** c, std::uint32_t* n) {
    for (std::int32_t m = 0; entries && m < count; ++m) {
        const MultiMaterialRecord& e = entries[m];
        if (!NameBlock(kMultiMaterialName, e.name, c, n) ||
            !MaterialBlock(kMultiMaterialMaterial, e.material, c, n) ||
            !DwordBlock(kMultiMaterialStartIndex, e.startIndex, c, n) ||
            !DwordBlock(kMultiMaterialIndexCount, e.indexCount, c, n) ||
            !DwordBlock(kMultiMaterialPrimitiveCount, e.primitiveCount, c, n) || !WriteEnd(c, n))
            return false;
    }
    return WriteEnd(c, n);
}

bool WriteAnimationSetBlocks(const AnimationSetRecord* set, std::uint8_t** c, std::uint32_t* n) {
    if (!set) return WriteEnd(c, n);
    if (!NameBlock(kSetName, set->name, c, n) || !DwordBlock(kSetLength, set->length, c, n))
        return false;
    if (set->animation) {
        OpenBlock first(kSetAnimation, c, n);
        if (!WriteAnimationBlocks(set->animation, c, n) || !first.Close()) return false;
    }
    return WriteEnd(c, n);
}

bool WriteAnimationBlocks(const AnimationRecord* animation, std::uint8_t** c, std::uint32_t* n) {
    if (!animation) return WriteEnd(c, n);
    // Each next animation nests inside the one before: the open blocks wait on a list, not on
    // the call stack.
    std::vector<OpenBlock> open;
    for (const AnimationRecord* a = animation; a; a = a->next) {
        if (!WriteAnimationHead(a, c, n)) return false;
        if (!a->next) break;
        if (open.size() >= static_cast<std::size_t>(kMaxNesting)) return false;
        open.emplace_back(kAnimationNext, c, n);
    }
    if (!WriteEnd(c, n)) return false;
    for (; !open.empty(); open.pop_back())
        if (!open.back().Close() || !WriteEnd(c, n)) return false;
    return true;
}

bool WriteBakedFrameMatrices(const AnimationRecord* a, std::uint8_t** c, std::uint32_t* n) {
    if (!a || !a->bakedFrames) return true;
    for (std::uint32_t f = 0; f < a->bakedFrameCount; ++f) {
        const std::uint32_t bytes = 64 * a->bakedMatricesPerFrame;
        if (a->bakedFrames[f]) {
            if (!WriteBlockData(a->bakedFrames[f], bytes, c, n)) return false;
        } else {
            // A frame without its table is written as zeros, keeping the block's length.
            for (std::uint32_t m = 0; m < a->bakedMatricesPerFrame; ++m)
                if (!WriteBlockMatrix(kZeroMatrix, c, n)) return false;
        }
    }
    return true;
}

bool WriteObjectBlocks(const ObjectRecord* object, std::uint8_t** c, std::uint32_t* n) {
    if (!object) return false;
    if (!WriteBlockString(kMagic, c, n) || !WriteBlockDword(kVersion, c, n) ||
        !WriteBlockDwordPair(0, 0, c, n))
        return false;
    OpenBlock frames(kRootFrame, c, n);
    if (!WriteFrameBlocks(object->rootFrame, c, n) || !frames.Close()) return false;
    OpenBlock set(kRootAnimationSet, c, n);
    if (!WriteAnimationSetBlocks(object->animationSet, c, n) || !set.Close()) return false;
    const std::uint32_t custom = object->customBufferB ? object->customSize : 0;
    OpenBlock data(kRootCustomData, c, n);
    return WriteBlockDword(custom, c, n) && WriteBlockData(object->customBufferB, custom, c, n) &&
           data.Close() && WriteEnd(c, n);
}

bool WriteObjectToBlock(const ObjectRecord* object, std::uint8_t** block, std::uint32_t* size) {
    if (!block || !size) return false;
    *block = nullptr;
    *size = 0;
    std::uint32_t counted = 0;
    // Inside a load the block is part of what the load makes (a converter's object on its way to
    // the loader).
    if (!WriteObjectBlocks(object, nullptr, &counted) || !ChargeLoad(counted)) return false;
    // Held until written whole: a writing pass that runs out of memory leaves nothing held.
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                               std::uint8_t[counted > 0 ? counted : 1]);
    if (!buffer) return false;
    std::uint8_t* cursor = buffer.get();
    std::uint32_t written = 0;
    if (!WriteObjectBlocks(object, &cursor, &written) || written != counted) return false;
    *block = buffer.release();
    *size = counted;
    return true;
}

bool WriteWholeFile(const char* fileName, const void* buffer, std::uint32_t size) {
    return CoreWriteWholeFile(fileName, buffer, size);
}
