#include "core/win32.h"

#include "object3d/object_values.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Written so that a NaN, which fails every comparison, is out of range too.
bool InRange(float value) {
    return std::fabs(value) <= kLargestLoadedValue;
}

bool AllInRange(const float* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (!InRange(values[i])) return false;
    return true;
}

template <class T> bool RecordInRange(const T& record) {
    static_assert(sizeof(T) % sizeof(float) == 0);
    return AllInRange(reinterpret_cast<const float*>(&record), sizeof(T) / sizeof(float));
}

// The words of one vertex a slot names, when the slot lies inside the vertex.
bool WordsInRange(const std::uint8_t* vertex, std::uint32_t vertexSize,
                  std::initializer_list<std::uint32_t> words) {
    for (const std::uint32_t word : words) {
        if (4 * std::uint64_t{word} + 4 > vertexSize) continue;
        float c = 0;
        std::memcpy(&c, vertex + 4 * word, 4);
        if (!InRange(c)) return false;
    }
    return true;
}

bool VerticesInRange(const MeshRecord* mesh) {
    VertexOffsetMap map{};
    if (!mesh->vertices || mesh->vertexCount <= 0 || !GetMeshOffsetMap(mesh, &map)) return true;
    const bool positions = map.Z != 0, normals = map.NZ != 0;
    for (std::int32_t i = 0; i < mesh->vertexCount && (positions || normals); ++i) {
        const std::uint8_t* vertex = mesh->vertices + std::size_t{mesh->vertexSize} * i;
        if (positions && !WordsInRange(vertex, mesh->vertexSize, {map.X, map.Y, map.Z}))
            return false;
        if (normals && !WordsInRange(vertex, mesh->vertexSize, {map.NX, map.NY, map.NZ}))
            return false;
    }
    return true;
}

bool BonesInRange(const MeshRecord* mesh) {
    for (std::int32_t b = 0; mesh->bones && b < mesh->boneCount; ++b) {
        const BoneRecord& bone = mesh->bones[b];
        if (!RecordInRange(bone.offsetMatrix)) return false;
        if (bone.weights && !AllInRange(bone.weights, bone.influenceCount)) return false;
    }
    return true;
}

// The material and every range's material: their colours and powers reach the device's lighting.
bool MaterialsInRange(const MeshRecord* mesh) {
    if (!RecordInRange(mesh->material)) return false;
    for (std::int32_t m = 0; mesh->multiMaterials && m < mesh->multiMaterialCount; ++m)
        if (!RecordInRange(mesh->multiMaterials[m].material)) return false;
    return true;
}

bool TexturesInRange(const MeshRecord* mesh) {
    for (std::int32_t t = 0; mesh->textures && t < mesh->textureCount; ++t)
        if (!ColourOperationInRange(mesh->textures[t].colourOperation)) return false;
    return true;
}

// The offset, rotation and scale build the frame's user matrix, which every limb command and
// every frame's matrix below it multiplies by.
bool FrameInRange(const FrameRecord* frame) {
    if (!RecordInRange(frame->initialMatrix) || !RecordInRange(frame->transformMatrix) ||
        !RecordInRange(frame->offset) || !RecordInRange(frame->rotation) ||
        !RecordInRange(frame->scale))
        return false;
    const MeshRecord* mesh = frame->mesh;
    return !mesh || (VerticesInRange(mesh) && BonesInRange(mesh) && MaterialsInRange(mesh) &&
                     TexturesInRange(mesh));
}

// The frame tree, key-frame meshes included, walked without recursion: a deep tree is no risk.
bool FramesInRange(const FrameRecord* root) {
    std::vector<const FrameRecord*> pending{root};
    while (!pending.empty()) {
        const FrameRecord* frame = pending.back();
        pending.pop_back();
        if (!frame) continue;
        if (!FrameInRange(frame)) return false;
        const MeshRecord* mesh = frame->mesh;
        for (std::int32_t k = 0; mesh && mesh->keyFrames && k < mesh->keyFrameCount; ++k)
            pending.push_back(&mesh->keyFrames[k]);
        pending.push_back(frame->child);
        pending.push_back(frame->sibling);
    }
    return true;
}

// A key's value, and its change towards the next key; the last key's change is never used (it
// is left as whatever the writer's memory held), so it is not looked at.
template <class Key> bool KeysInRange(const Key* keys, std::uint32_t count) {
    for (std::uint32_t k = 0; keys && k < count; ++k) {
        if (!RecordInRange(keys[k].value)) return false;
        if constexpr (requires { keys[k].delta; })
            if (k + 1 < count && !RecordInRange(keys[k].delta)) return false;
    }
    return true;
}

bool AnimationInRange(const AnimationRecord* a) {
    if (!KeysInRange(a->positionKeys, a->positionKeyCount) ||
        !KeysInRange(a->rotationKeys, a->rotationKeyCount) ||
        !KeysInRange(a->scaleKeys, a->scaleKeyCount) ||
        !KeysInRange(a->matrixKeys, a->matrixKeyCount))
        return false;
    for (std::uint32_t f = 0; a->bakedFrames && f < a->bakedFrameCount; ++f) {
        const D3DXMATRIX* matrices = a->bakedFrames[f];
        for (std::uint32_t m = 0; matrices && m < a->bakedMatricesPerFrame; ++m)
            if (!RecordInRange(matrices[m])) return false;
    }
    return true;
}

bool AnimationsInRange(const AnimationSetRecord* set) {
    for (; set; set = set->next)
        for (const AnimationRecord* a = set->animation; a; a = a->next)
            if (!AnimationInRange(a)) return false;
    return true;
}

} // namespace

bool ObjectValuesInRange(const ObjectRecord* object) {
    if (!object || !FramesInRange(object->rootFrame)) return false;
    for (std::int32_t m = 0; object->meshes && m < object->meshCount; ++m)
        if (object->meshes[m] && !VerticesInRange(object->meshes[m])) return false;
    return AnimationsInRange(object->animationSet);
}
