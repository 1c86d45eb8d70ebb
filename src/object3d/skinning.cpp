#include "core/win32.h"

#include "object3d/skinning.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr float kDefaultExtrusion = 2000.0f;
constexpr float kFacingAwayPush = 0.2f;
constexpr int kBonesPerVertex = 4;

// Each bone's matrix: its offset, times the matrix of the frame it follows when it has one.
std::vector<D3DXMATRIX> BoneMatrices(const MeshRecord* mesh) {
    std::vector<D3DXMATRIX> matrices(mesh->boneCount);
    for (std::int32_t b = 0; b < mesh->boneCount; ++b) {
        const D3DXMATRIX* follow = mesh->boneMatrices ? mesh->boneMatrices[b] : nullptr;
        matrices[b] =
            follow ? Multiply(mesh->bones[b].offsetMatrix, *follow) : mesh->bones[b].offsetMatrix;
    }
    return matrices;
}

D3DXVECTOR3 ReadVector(const std::uint8_t* vertex, std::uint32_t word) {
    D3DXVECTOR3 v;
    std::memcpy(&v, vertex + 4 * word, sizeof v);
    return v;
}

void WriteVector(std::uint8_t* vertex, std::uint32_t word, const D3DXVECTOR3& v) {
    std::memcpy(vertex + 4 * word, &v, sizeof v);
}

// Adds one weighted bone to a vertex of to, skinned from the same vertex of from (its backup):
// the position at words 0 to 2, the normal at 3 to 5 when the format has it there. A vertex
// first touched starts from zero.
void SkinVertex(std::uint8_t* to, const std::uint8_t* from, bool normal, const D3DXMATRIX& m,
                float weight, std::uint8_t& touched) {
    if (!touched) {
        std::memset(to, 0, normal ? 24 : 12);
        touched = 1;
    }
    D3DXVECTOR3 p = ReadVector(from, 0), moved;
    D3DXVec3TransformCoord(&moved, &p, &m);
    WriteVector(to, 0, ReadVector(to, 0) + moved * weight);
    if (!normal) return;
    D3DXVECTOR3 n = ReadVector(from, 3), turned;
    D3DXVec3TransformNormal(&turned, &n, &m);
    WriteVector(to, 3, ReadVector(to, 3) + turned * weight);
}

bool NormalFollowsPosition(const MeshRecord* mesh) {
    VertexOffsetMap map;
    return GetMeshOffsetMap(mesh, &map) && map.NZ != 0 && map.NX == 3 && map.X == 0;
}

} // namespace

bool UpdateFrameMesh(ObjectRecord* object, FrameRecord* frame) {
    return UpdateFrameMeshVertices(object, frame, frame ? frame->mesh : nullptr);
}

bool UpdateFrameMeshVertices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh) {
    if (!object || !mesh) return true;
    if (mesh->boneCount <= 0 || !mesh->bones) {
        InterpolateMeshVertexFrames(object, frame);
        return true;
    }
    const bool changed =
        object->currentFrame != object->lastUpdatedFrame || object->forceVertexUpdate;
    if (object->blendFlag == 1) {
        if (object->blendTimes[0] == object->blendTimes[1] && !changed) return true;
    } else if (!changed) {
        return true;
    }
    const AnimationSetRecord* set = object->animationSet;
    if (set && set->animation && set->animation->keyed == 0)
        UpdateVertexMatrixAnimation(object);
    else if (!mesh->effectSkinsMesh)
        SkinMeshVertices(object, frame, mesh);
    return true;
}

void SkinMeshVertices(ObjectRecord*, FrameRecord*, MeshRecord* mesh) {
    if (!mesh || !mesh->vertices || mesh->boneCount <= 0 || !mesh->bones || mesh->vertexSize < 12)
        return;
    BackupMeshVertices(mesh);
    if (!mesh->backupVertices) return;
    const std::vector<D3DXMATRIX> matrices = BoneMatrices(mesh);
    const bool normal = NormalFollowsPosition(mesh);
    std::vector<std::uint8_t> touched(mesh->vertexCount, 0);
    const std::size_t stride = mesh->vertexSize;
    for (std::int32_t b = 0; b < mesh->boneCount; ++b) {
        const BoneRecord& bone = mesh->bones[b];
        for (std::uint32_t j = 0; bone.vertices && bone.weights && j < bone.influenceCount; ++j) {
            const std::uint32_t v = bone.vertices[j];
            // A bone naming a vertex the mesh lacks is ignored.
            if (v >= static_cast<std::uint32_t>(mesh->vertexCount)) continue;
            SkinVertex(mesh->vertices + v * stride, mesh->backupVertices + v * stride, normal,
                       matrices[b], bone.weights[j], touched[v]);
        }
    }
    mesh->verticesChanged = 1;
}

void SkinFrameMesh(ObjectRecord* object, FrameRecord* frame) {
    if (frame) SkinMeshVertices(object, frame, frame->mesh);
}

void InterpolateMeshVertexFrames(ObjectRecord* object, FrameRecord* frame) {
    MeshRecord* mesh = frame ? frame->mesh : nullptr;
    if (!object || !mesh || !mesh->keyFrames || mesh->keyFrameCount < 2) return;
    if (!object->animating && !object->forceVertexUpdate) return;
    object->forceVertexUpdate = 0;
    // Frames outside the keys (or not numbers at all) show the first key.
    const float at = object->currentFrame;
    std::int32_t k = 0;
    float t = 0;
    if (at >= 0 && at < static_cast<float>(mesh->keyFrameCount - 1)) {
        k = static_cast<std::int32_t>(at);
        t = at - static_cast<float>(k);
    }
    mesh->currentKeyFrame = k;
    const FrameRecord& key = mesh->keyFrames[k];
    frame->initialMatrix = key.initialMatrix;
    const MeshRecord* a = key.mesh;
    const MeshRecord* b = mesh->keyFrames[k + 1].mesh;
    VertexOffsetMap map, mapA, mapB;
    if (!a || !b || !mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z ||
        !GetMeshOffsetMap(a, &mapA) || !GetMeshOffsetMap(b, &mapB) || !mapA.Z || !mapB.Z)
        return;
    std::int32_t count = mesh->vertexCount;
    if (a->vertexCount < count) count = a->vertexCount;
    if (b->vertexCount < count) count = b->vertexCount;
    auto* to = reinterpret_cast<float*>(mesh->vertices);
    const auto* fromA = reinterpret_cast<const float*>(a->vertices);
    const auto* fromB = reinterpret_cast<const float*>(b->vertices);
    for (std::int32_t v = 0; fromA && fromB && v < count; ++v) {
        const float* pa = fromA + v * mapA.StrideDwords;
        const float* pb = fromB + v * mapB.StrideDwords;
        float* p = to + v * map.StrideDwords;
        p[map.X] = pa[mapA.X] + (pb[mapB.X] - pa[mapA.X]) * t;
        p[map.Y] = pa[mapA.Y] + (pb[mapB.Y] - pa[mapA.Y]) * t;
        p[map.Z] = pa[mapA.Z] + (pb[mapB.Z] - pa[mapA.Z]) * t;
    }
    mesh->verticesChanged = 1;
}

void UpdateVertexMatrixAnimation(ObjectRecord* object) {
    const AnimationRecord* a =
        object && object->animationSet ? object->animationSet->animation : nullptr;
    if (!a || !a->bakedFrames || !a->bakedIndices || !object->meshes) return;
    // The current frame and every matrix number must lie within the tables.
    const float at = object->currentFrame;
    if (!(at >= 0 && at < static_cast<float>(a->bakedFrameCount))) return;
    const auto k = static_cast<std::uint32_t>(at);
    if (k >= a->bakedFrameCount || !a->bakedFrames[k]) return;
    const D3DXMATRIX* matrices = a->bakedFrames[k];
    std::uint32_t c = 0;
    const std::int32_t meshes = object->meshCount < 0 ? -object->meshCount : object->meshCount;
    for (std::int32_t m = 0; m < meshes; ++m) {
        MeshRecord* mesh = object->meshes[m];
        if (!mesh || !mesh->vertices || mesh->vertexSize < 12) continue;
        BackupMeshVertices(mesh);
        if (!mesh->backupVertices) continue;
        for (std::int32_t v = 0; v < mesh->vertexCount; ++v, ++c) {
            if (c >= a->bakedIndexCount) break;
            const std::uint32_t index = a->bakedIndices[c];
            if (index >= a->bakedMatricesPerFrame) continue;
            const std::size_t at = static_cast<std::size_t>(v) * mesh->vertexSize;
            const D3DXVECTOR3 p = ReadVector(mesh->backupVertices + at, 0);
            D3DXVECTOR3 moved;
            TransformCoordByMatrix(p.x, p.y, p.z, &matrices[index], &moved);
            WriteVector(mesh->vertices + at, 0, moved);
        }
        mesh->verticesChanged = 1;
    }
}

namespace {

// Skins the shadow mesh's vertices that lie exactly on the source's bone-moved vertices.
void SkinShadowFromBones(const MeshRecord* source, MeshRecord* shadow, const VertexOffsetMap& map) {
    const std::vector<D3DXMATRIX> matrices = BoneMatrices(source);
    const bool normal = map.NX == 3 && map.X == 0 && map.NZ != 0;
    const std::size_t stride = shadow->vertexSize;
    std::vector<std::uint8_t> touched(shadow->vertexCount, 0), done(shadow->vertexCount, 0);
    for (std::int32_t b = 0; b < source->boneCount; ++b) {
        const BoneRecord& bone = source->bones[b];
        std::fill(done.begin(), done.end(), 0);
        for (std::uint32_t j = 0; bone.vertices && bone.weights && j < bone.influenceCount; ++j) {
            const std::uint32_t v = bone.vertices[j];
            if (v >= static_cast<std::uint32_t>(source->vertexCount)) continue;
            const D3DXVECTOR3 p = ReadVector(source->vertices + v * source->vertexSize, 0);
            for (std::int32_t s = 0; s < shadow->vertexCount; ++s) {
                const std::uint8_t* backup = shadow->backupVertices + s * stride;
                if (done[s] || ReadVector(backup, map.X) != p) continue;
                done[s] = 1;
                SkinVertex(shadow->vertices + s * stride, backup, normal, matrices[b],
                           bone.weights[j], touched[s]);
            }
        }
    }
}

} // namespace

bool UpdateShadowMeshFromBones(float lightX, float lightY, float lightZ, MeshRecord* source,
                               float extrusion, MeshRecord* shadow, const D3DXMATRIX* world) {
    if (!source || !shadow || !shadow->vertices || shadow->vertexSize < 12) return true;
    BackupMeshVertices(shadow);
    if (!shadow->backupVertices) return true;
    VertexOffsetMap map;
    GetMeshOffsetMap(shadow, &map);
    const std::size_t bytes = static_cast<std::size_t>(shadow->vertexCount) * shadow->vertexSize;
    if (source->boneCount <= 0 || !source->bones || !source->vertices)
        std::memcpy(shadow->vertices, shadow->backupVertices, bytes);
    else
        SkinShadowFromBones(source, shadow, map);
    if (extrusion == -1.0f) extrusion = kDefaultExtrusion;
    D3DXVECTOR3 light(lightX, lightY, lightZ);
    if (world) {
        D3DXMATRIX inverse;
        if (D3DXMatrixInverse(&inverse, nullptr, world))
            D3DXVec3TransformCoord(&light, &light, &inverse);
    }
    D3DXVec3Normalize(&light, &light);
    if (map.Z) {
        for (std::int32_t v = 0; v < shadow->vertexCount; ++v) {
            std::uint8_t* vertex =
                shadow->vertices + static_cast<std::size_t>(v) * shadow->vertexSize;
            D3DXVECTOR3 n = map.NZ ? ReadVector(vertex, map.NX) : D3DXVECTOR3(0, 0, 0);
            D3DXVec3Normalize(&n, &n);
            const float push = -D3DXVec3Dot(&light, &n) < 0 ? extrusion : kFacingAwayPush;
            WriteVector(vertex, map.X, ReadVector(vertex, map.X) - light * push);
        }
    }
    shadow->verticesChanged = 1;
    shadow->indexLayoutChanged = 0;
    return true;
}

bool UpdateShadowVolume(const D3DXVECTOR3* light, float extrusion, MeshRecord* source,
                        MeshRecord* shadow, const D3DXMATRIX* world, std::int32_t) {
    if (!light || !source || !shadow) return true;
    return UpdateShadowMeshFromBones(light->x, light->y, light->z, source, extrusion, shadow,
                                     world);
}

void BuildVertexBlendWeights(MeshRecord* mesh, ID3DXMesh* dxMesh, std::uint32_t weightOffset,
                             std::uint32_t indexOffset) {
    if (!mesh || !dxMesh || mesh->boneCount <= 0 || !mesh->bones) return;
    const DWORD vertices = dxMesh->GetNumVertices();
    const DWORD stride = dxMesh->GetNumBytesPerVertex();
    // Four floats at each offset must lie inside the vertex.
    if (weightOffset + 16 > stride || indexOffset + 16 > stride) return;
    const std::size_t bones = static_cast<std::size_t>(mesh->boneCount);
    std::vector<float> weight(static_cast<std::size_t>(vertices) * bones, 0.0f);
    for (std::size_t b = 0; b < bones; ++b) {
        const BoneRecord& bone = mesh->bones[b];
        for (std::uint32_t j = 0; bone.vertices && bone.weights && j < bone.influenceCount; ++j)
            if (bone.vertices[j] < vertices) weight[bone.vertices[j] * bones + b] = bone.weights[j];
    }
    void* data = nullptr;
    if (FAILED(dxMesh->LockVertexBuffer(0, &data)) || !data) return;
    for (DWORD v = 0; v < vertices; ++v) {
        float* row = &weight[static_cast<std::size_t>(v) * bones];
        auto* vertex = static_cast<std::uint8_t*>(data) + static_cast<std::size_t>(v) * stride;
        std::memset(vertex + weightOffset, 0, 16);
        std::memset(vertex + indexOffset, 0, 16);
        for (int slot = 0; slot < kBonesPerVertex; ++slot) {
            std::size_t best = bones;
            for (std::size_t b = 0; b < bones; ++b)
                if (row[b] > 0 && (best == bones || row[b] > row[best])) best = b;
            if (best == bones) break;
            const float index = static_cast<float>(best);
            std::memcpy(vertex + indexOffset + 4 * slot, &index, 4);
            std::memcpy(vertex + weightOffset + 4 * slot, &row[best], 4);
            row[best] = 0;
        }
    }
    dxMesh->UnlockVertexBuffer();
}
