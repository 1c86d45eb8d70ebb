#include "core/win32.h"

#include "world/bsp_file.h"

#include <cmath>

namespace {

// The order in which the loader reads the lumps; 12 and 15 are never read.
constexpr int kReadOrder[] = {0, 2, 7, 3, 4, 5, 13, 11, 1, 10, 14, 16, 6, 8, 9};

// first and count describe a run inside an array of size elements.
bool InRange(std::int64_t first, std::int64_t count, std::size_t size) {
    return first >= 0 && count >= 0 && first + count <= static_cast<std::int64_t>(size);
}

bool ReadHeader(ByteSpan image, BspFile& file, BspFault& fault) {
    if (!image.Tag(0, "IBSP")) {
        fault = kBspBadMagic;
        return false;
    }
    std::uint32_t version = 0;
    if (!image.U32(4, version) || (version != 46 && version != 47)) {
        fault = kBspBadVersion;
        return false;
    }
    if (!image.Has(0, kBspHeaderSize)) {
        fault = kBspBadLump;
        return false;
    }
    file.version = static_cast<std::int32_t>(version);
    std::memcpy(file.lumps, image.data + 8, sizeof file.lumps);
    for (int index : kReadOrder) {
        const BspLump& lump = file.lumps[index];
        if (lump.offset < 0 || lump.length < 0 ||
            !image.Has(static_cast<std::uint64_t>(lump.offset),
                       static_cast<std::uint64_t>(lump.length))) {
            fault = kBspBadLump;
            return false;
        }
    }
    return true;
}

// The visibility lump: absent when shorter than its 12-byte minimum; otherwise its rows must fit
// in it and every cluster must have a bit in a row.
bool ReadVisibility(ByteSpan image, BspFile& file) {
    const BspLump& lump = file.lumps[kLumpVisibility];
    file.visibilityPresent = lump.length >= 12 ? 1 : 0;
    if (!file.visibilityPresent) return true;
    BspVisibility& vis = file.visibility;
    std::memcpy(&vis.clusterCount, image.data + lump.offset, 4);
    std::memcpy(&vis.bytesPerCluster, image.data + lump.offset + 4, 4);
    const std::int64_t clusters = vis.clusterCount, rowBytes = vis.bytesPerCluster;
    if (clusters < 0 || rowBytes < 0 || rowBytes * 8 < clusters ||
        clusters * rowBytes > static_cast<std::int64_t>(lump.length) - 8)
        return false;
    const auto* rows = image.data + lump.offset + 8;
    RequireLoad(static_cast<std::uint64_t>(clusters * rowBytes));
    vis.rows.assign(rows, rows + clusters * rowBytes);
    return true;
}

void ReadLumps(ByteSpan image, BspFile& file) {
    const BspLump* l = file.lumps;
    RequireLoad(static_cast<std::uint64_t>(l[kLumpEntities].length));
    file.entities.assign(reinterpret_cast<const char*>(image.data) + l[kLumpEntities].offset,
                         static_cast<std::size_t>(l[kLumpEntities].length));
    ReadBspLump(image, l[kLumpPlanes], file.planes);
    ReadBspLump(image, l[kLumpModels], file.models);
    ReadBspLump(image, l[kLumpNodes], file.nodes);
    ReadBspLump(image, l[kLumpLeaves], file.leaves);
    ReadBspLump(image, l[kLumpLeafFaces], file.leafFaces);
    ReadBspLump(image, l[kLumpFaces], file.faces);
    ReadBspLump(image, l[kLumpMeshIndices], file.meshIndices);
    ReadBspLump(image, l[kLumpTextures], file.textures);
    ReadBspLump(image, l[kLumpVertices], file.vertices);
    // Whole lightmaps only: a partial one at the end is dropped like any remainder.
    BspLump whole = l[kLumpLightmaps];
    whole.length = static_cast<std::int32_t>(whole.length / kLightmapBytes * kLightmapBytes);
    ReadBspLump(image, whole, file.lightmaps);
    ReadBspLump(image, l[kLumpLeafBrushes], file.leafBrushes);
    ReadBspLump(image, l[kLumpBrushes], file.brushes);
    ReadBspLump(image, l[kLumpBrushSides], file.brushSides);
}

bool FaceFits(const BspFile& file, const BspFace& face) {
    if (face.texture < 0 || static_cast<std::size_t>(face.texture) >= file.textures.size())
        return false;
    if (face.type != kFacePolygon && face.type != kFacePatch && face.type != kFaceMesh) return true;
    if (!InRange(face.firstVertex, face.vertexCount, file.vertices.size())) return false;
    if (face.type != kFacePatch && face.meshIndexCount > kMostFaceIndices) return false;
    if (face.type != kFaceMesh) return true;
    if (face.vertexCount > kMostFaceVertices ||
        !InRange(face.firstMeshIndex, face.meshIndexCount, file.meshIndices.size()))
        return false;
    // Each index addresses a vertex of the face's own range.
    const std::int32_t* index = file.meshIndices.data() + face.firstMeshIndex;
    for (std::int32_t i = 0; i < face.meshIndexCount; ++i)
        if (index[i] < 0 || index[i] >= face.vertexCount) return false;
    return true;
}

bool LeavesFit(const BspFile& file) {
    for (std::int32_t face : file.leafFaces)
        if (face < 0 || static_cast<std::size_t>(face) >= file.faces.size()) return false;
    for (const BspLeaf& leaf : file.leaves) {
        if (!InRange(leaf.firstLeafFace, leaf.leafFaceCount, file.leafFaces.size())) return false;
        if (file.visibilityPresent && leaf.cluster >= file.visibility.clusterCount) return false;
    }
    return true;
}

bool ChildFits(const BspFile& file, std::int32_t child) {
    if (child >= 0) return static_cast<std::size_t>(child) < file.nodes.size();
    return -(static_cast<std::int64_t>(child) + 1) < static_cast<std::int64_t>(file.leaves.size());
}

// Marks a node's child reached: false when it was already (its index in reached: a node's own,
// a leaf's after the nodes).
bool Reach(const BspFile& file, std::int32_t child, std::vector<std::uint8_t>& reached) {
    const std::size_t at = child >= 0 ? static_cast<std::size_t>(child)
                                      : file.nodes.size() + static_cast<std::size_t>(-(child + 1));
    if (reached[at]) return false;
    reached[at] = 1;
    return true;
}

// Every reference in range, and the nodes below node 0 a tree: a node reached twice would let a
// walk loop or repeat, a leaf reached twice would have a sweep walk its faces once per node
// naming it.
bool NodesFit(const BspFile& file) {
    for (const BspNode& node : file.nodes)
        if (node.plane < 0 || static_cast<std::size_t>(node.plane) >= file.planes.size() ||
            !ChildFits(file, node.children[0]) || !ChildFits(file, node.children[1]))
            return false;
    if (file.nodes.empty()) return true;
    RequireLoad(file.nodes.size(), sizeof(std::uint8_t) + sizeof(std::int32_t));
    RequireLoad(file.leaves.size(), sizeof(std::uint8_t));
    std::vector<std::uint8_t> reached(file.nodes.size() + file.leaves.size(), 0);
    std::vector<std::int32_t> pending{0};
    reached[0] = 1;
    while (!pending.empty()) {
        const BspNode& node = file.nodes[static_cast<std::size_t>(pending.back())];
        pending.pop_back();
        for (std::int32_t child : node.children) {
            if (!Reach(file, child, reached)) return false;
            if (child >= 0) pending.push_back(child);
        }
    }
    return true;
}

bool Plain(const float* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!(std::fabs(values[i]) <= kLargestLevelNumber)) return false;
    return true;
}

// What is drawn, tessellated and collided with: positions, texture coordinates, normals and
// planes. Lightmap coordinates are not checked here: real levels hold NaN in a few (ToWorldVertex
// makes those 0).
bool NumbersFit(const BspFile& file) {
    for (const BspVertex& v : file.vertices)
        if (!Plain(v.position, 3) || !Plain(v.texture, 2) || !Plain(v.normal, 3)) return false;
    for (const BspPlane& p : file.planes)
        if (!Plain(p.normal, 3) || !Plain(&p.distance, 1)) return false;
    return true;
}

BspFault CheckLevel(const BspFile& file) {
    if (file.faces.size() > static_cast<std::size_t>(kMostLevelFaces) ||
        file.LightmapCount() > kMostLevelLightmaps)
        return kBspTooMany;
    for (const BspFace& face : file.faces)
        if (!FaceFits(file, face)) return kBspBadFace;
    if (!LeavesFit(file)) return kBspBadLeaf;
    if (!NodesFit(file)) return kBspBadNode;
    if (!NumbersFit(file)) return kBspBadNumber;
    return kBspFine;
}

} // namespace

BspFault ReadBspFile(ByteSpan image, BspFile& file) {
    file = BspFile{};
    BspFault fault = kBspFine;
    if (!image.data || !ReadHeader(image, file, fault)) {
        file = BspFile{};
        return image.data ? fault : kBspBadMagic;
    }
    if (!ReadVisibility(image, file)) {
        file = BspFile{};
        return kBspBadVisibility;
    }
    ReadLumps(image, file);
    fault = CheckLevel(file);
    if (fault != kBspFine) file = BspFile{};
    return fault;
}

std::string BspTextureNameText(const BspTextureName& texture) {
    return std::string(texture.name, strnlen(texture.name, sizeof texture.name));
}

std::int32_t FindBspLeaf(const BspFile& file, const D3DXVECTOR3& point) {
    std::size_t node = 0;
    for (std::size_t steps = 0; steps < file.nodes.size(); ++steps) {
        if (node >= file.nodes.size()) return -1;
        const BspNode& n = file.nodes[node];
        if (n.plane < 0 || static_cast<std::size_t>(n.plane) >= file.planes.size()) return -1;
        const BspPlane& p = file.planes[static_cast<std::size_t>(n.plane)];
        const float side =
            p.normal[0] * point.x + p.normal[1] * point.y + p.normal[2] * point.z - p.distance;
        const std::int32_t child = side >= 0.0f ? n.children[0] : n.children[1];
        if (child < 0) return -(child + 1);
        node = static_cast<std::size_t>(child);
    }
    return -1;
}
