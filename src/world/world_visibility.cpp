#include "core/win32.h"

#include "world/shader_table.h"
#include "world/world_render.h"

#include <algorithm>

namespace {

// The eye's cluster sees the leaf's: with no visibility rows every leaf counts; a leaf outside the
// level (negative cluster) is seen from no cluster.
bool ClusterSeen(const BspFile& file, std::int32_t eyeCluster, std::int32_t leafCluster) {
    if (!file.visibilityPresent) return true;
    const BspVisibility& vis = file.visibility;
    if (leafCluster < 0 || leafCluster >= vis.clusterCount || eyeCluster >= vis.clusterCount)
        return false;
    const std::size_t at =
        static_cast<std::size_t>(eyeCluster) * static_cast<std::size_t>(vis.bytesPerCluster) +
        static_cast<std::size_t>(leafCluster >> 3);
    return at < vis.rows.size() && (vis.rows[at] >> (leafCluster & 7)) & 1;
}

bool IsSky(const WorldFaceRecord& face) {
    const ShaderTable& table = WorldShaderTable();
    return face.shader >= 0 && face.shader < table.count &&
           table.records[static_cast<std::size_t>(face.shader)].sky;
}

std::int32_t CullModeOf(const WorldFaceRecord& face) {
    const ShaderTable& table = WorldShaderTable();
    if (face.shader < 0 || face.shader >= table.count) return D3DCULL_CCW;
    return table.records[static_cast<std::size_t>(face.shader)].cullMode;
}

// A polygon faces the eye as its shader's cull mode asks: d is the eye's height above the
// polygon's plane through its first vertex.
bool PolygonShows(const WorldLevel& level, const WorldFaceRecord& face, const D3DXVECTOR3& eye) {
    const std::int32_t cull = CullModeOf(face);
    if (cull == D3DCULL_NONE) return true;
    if (face.firstVertex < 0 ||
        static_cast<std::size_t>(face.firstVertex) >= level.file.vertices.size())
        return false;
    const float* at = level.file.vertices[static_cast<std::size_t>(face.firstVertex)].position;
    const float d = (eye.x - at[0]) * face.normal[0] + (eye.y - at[1]) * face.normal[1] +
                    (eye.z - at[2]) * face.normal[2];
    if (cull == D3DCULL_CW) return d <= 0.0f;
    if (cull == D3DCULL_CCW) return d >= 0.0f;
    return false;
}

bool FaceShows(const WorldLevel& level, std::size_t f, const D3DXVECTOR3& eye) {
    const WorldFaceRecord& face = level.faces[f];
    if (IsSky(face)) return false;
    if (face.type == kFacePatch) {
        // A patch keeps its box in the lightmap vectors.
        const BspFace& stored = level.file.faces[f];
        const float box[6] = {stored.lightmapS[0], stored.lightmapS[1], stored.lightmapS[2],
                              stored.lightmapT[0], stored.lightmapT[1], stored.lightmapT[2]};
        return !BoxOutsideView(box);
    }
    if (face.type == kFacePolygon) return PolygonShows(level, face, eye);
    return true;
}

void MarkLeafFaces(WorldLevel& level, const BspLeaf& leaf, const D3DXVECTOR3& eye) {
    const BspFile& file = level.file;
    for (std::int64_t i = 0; i < leaf.leafFaceCount; ++i) {
        const std::int64_t at = static_cast<std::int64_t>(leaf.firstLeafFace) + i;
        if (at < 0 || at >= static_cast<std::int64_t>(file.leafFaces.size())) return;
        const std::int32_t f = file.leafFaces[static_cast<std::size_t>(at)];
        if (f < 0 || static_cast<std::size_t>(f) >= level.faces.size() ||
            static_cast<std::size_t>(f) >= level.file.faces.size())
            continue;
        std::int32_t& visible = level.faceVisible[static_cast<std::size_t>(f)];
        if (!visible && FaceShows(level, static_cast<std::size_t>(f), eye)) visible = 1;
    }
}

} // namespace

void MarkVisibleFaces(WorldLevel& level, const D3DXVECTOR3& eye) {
    level.faceVisible.assign(level.faces.size(), 0);
    const BspFile& file = level.file;
    const std::int32_t leaf = FindBspLeaf(file, eye);
    const std::int32_t cluster = leaf >= 0 && static_cast<std::size_t>(leaf) < file.leaves.size()
                                     ? file.leaves[static_cast<std::size_t>(leaf)].cluster
                                     : -1;
    if (cluster < 0) {
        // Outside the level: everything, sky included.
        std::fill(level.faceVisible.begin(), level.faceVisible.end(), 1);
        return;
    }
    for (const BspLeaf& l : file.leaves) {
        if (!ClusterSeen(file, cluster, l.cluster)) continue;
        const float box[6] = {static_cast<float>(l.mins[0]), static_cast<float>(l.mins[1]),
                              static_cast<float>(l.mins[2]), static_cast<float>(l.maxs[0]),
                              static_cast<float>(l.maxs[1]), static_cast<float>(l.maxs[2])};
        if (!BoxOutsideView(box)) MarkLeafFaces(level, l, eye);
    }
}
