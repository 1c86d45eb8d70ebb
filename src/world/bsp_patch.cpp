#include "core/win32.h"

#include "world/bsp_patch.h"
#include "core/load_budget.h"

#include <cmath>

namespace {

// A grid side for a level: 2^(level + 1) x (controls - 1) / 2 + 1, or more than any grid may
// hold when the level alone makes it too long (the shift would overflow).
std::uint64_t GridSide(std::int32_t level, std::int32_t controls) {
    if (level >= 16) return std::uint64_t{1} << 40;
    return (std::uint64_t{1} << (level + 1)) * static_cast<std::uint64_t>(controls - 1) / 2 + 1;
}

bool GridFits(std::int32_t levelU, std::int32_t w, std::int32_t levelV, std::int32_t h) {
    const std::uint64_t across = GridSide(levelU, w), down = GridSide(levelV, h);
    return across <= kMostPatchVertices && down <= kMostPatchVertices &&
           across * down <= kMostPatchVertices;
}

bool SamePoint(const float* a, const float* b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

D3DXVECTOR3 Point(const BspVertex& v) {
    return D3DXVECTOR3(v.position[0], v.position[1], v.position[2]);
}

// The level of the first piece, scanning lines of controls, whose ends differ; -1 when none does.
// A line starts at line x lineStride and its controls lie pointStride apart.
std::int32_t FirstCurveLevel(const BspVertex* controls, std::int32_t lines, std::int32_t length,
                             std::int32_t lineStride, std::int32_t pointStride) {
    for (std::int32_t line = 0; line < lines; ++line) {
        const BspVertex* first = controls + line * lineStride;
        for (std::int32_t i = 0; i + 2 < length; i += 2) {
            const BspVertex& a = first[i * pointStride];
            const BspVertex& b = first[(i + 1) * pointStride];
            const BspVertex& c = first[(i + 2) * pointStride];
            if (!SamePoint(a.position, c.position))
                return TessellatePatchLevel(Point(a), Point(b), Point(c));
        }
    }
    return -1;
}

std::uint32_t AverageColour(std::uint32_t a, std::uint32_t c) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= ((((a >> shift) & 0xFF) + ((c >> shift) & 0xFF)) >> 1) << shift;
    return out;
}

// The midpoint of two vertices in what subdivision interpolates; the colour is left as in `into`.
void Midpoint(const WorldVertex& a, const WorldVertex& b, WorldVertex& into) {
    into.position = (a.position + b.position) * 0.5f;
    into.normal = (a.normal + b.normal) * 0.5f;
    into.u = (a.u + b.u) * 0.5f;
    into.v = (a.v + b.v) * 0.5f;
    into.lightmapU = (a.lightmapU + b.lightmapU) * 0.5f;
    into.lightmapV = (a.lightmapV + b.lightmapV) * 0.5f;
}

void FillIndices(PatchRecord& patch, std::int32_t across, std::int32_t down) {
    patch.indices.reserve(static_cast<std::size_t>(6 * (across - 1) * (down - 1)));
    for (std::int32_t j = 0; j + 1 < down; ++j) {
        for (std::int32_t i = 0; i + 1 < across; ++i) {
            const auto at = [across](std::int32_t row, std::int32_t column) {
                return static_cast<std::uint16_t>(row * across + column);
            };
            for (std::uint16_t index : {at(j, i), at(j + 1, i), at(j, i + 1), at(j, i + 1),
                                        at(j + 1, i), at(j + 1, i + 1)})
                patch.indices.push_back(index);
        }
    }
    patch.indexCount = static_cast<std::int32_t>(patch.indices.size());
}

bool FaceIsPatchGrid(const BspFace& face, const std::vector<BspVertex>& vertices) {
    const std::int32_t w = face.patchSize[0], h = face.patchSize[1];
    if (w < 3 || h < 3 || w % 2 == 0 || h % 2 == 0) return false;
    if (static_cast<std::int64_t>(w) * h != face.vertexCount) return false;
    return face.firstVertex >= 0 &&
           static_cast<std::int64_t>(face.firstVertex) + face.vertexCount <=
               static_cast<std::int64_t>(vertices.size());
}

} // namespace

std::int32_t TessellatePatchLevel(const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                                  const D3DXVECTOR3& c) {
    D3DXVECTOR3 middle = b, end = c;
    for (std::int32_t level = 0; level < kMostPatchLevel; ++level) {
        const D3DXVECTOR3 point = ((end + middle) * 0.5f + (middle + a) * 0.5f) * 0.5f;
        const D3DXVECTOR3 off = point - middle;
        if (off.x * off.x + off.y * off.y + off.z * off.z < 40000.0f) return level;
        end = point;
        middle = a;
    }
    return kMostPatchLevel;
}

void TessellatePatch(std::int32_t step, std::int32_t count, std::int32_t stride,
                     WorldVertex* vertices) {
    const auto at = [&](std::int32_t k) -> WorldVertex& { return vertices[k * stride]; };
    for (std::int32_t s = step; s >= 1; s /= 2) {
        for (std::int32_t i = 0; i + 2 * s < count; i += 2 * s) {
            const WorldVertex& a = at(i);
            const WorldVertex& c = at(i + 2 * s);
            WorldVertex& b = at(i + s);
            WorldVertex left = b, right = b;
            Midpoint(a, b, left);
            Midpoint(b, c, right);
            Midpoint(left, right, b);
            b.colour = AverageColour(a.colour, c.colour);
            if (s / 2 > 0) {
                Midpoint(left, left, at(i + s / 2));
                Midpoint(right, right, at(i + s + s / 2));
            }
        }
    }
}

bool BuildPatchGrid(const BspFace& face, const std::vector<BspVertex>& vertices,
                    PatchRecord& patch) {
    patch = PatchRecord{};
    if (!FaceIsPatchGrid(face, vertices)) return false;
    const std::int32_t w = face.patchSize[0], h = face.patchSize[1];
    const BspVertex* controls = vertices.data() + face.firstVertex;
    std::int32_t levelU = FirstCurveLevel(controls, h, w, w, 1);
    std::int32_t levelV = FirstCurveLevel(controls, w, h, 1, w);
    if (levelU < 0 || levelV < 0) return false;
    while (!GridFits(levelU, w, levelV, h)) {
        if (levelU == 0 && levelV == 0) return false;
        if (levelU >= levelV)
            --levelU;
        else
            --levelV;
    }
    const auto across = static_cast<std::int32_t>(GridSide(levelU, w));
    const auto down = static_cast<std::int32_t>(GridSide(levelV, h));
    const std::int32_t stepU = (across - 1) / (w - 1), stepV = (down - 1) / (h - 1);
    // The grid and its triangle list, charged to the running load before either is made.
    const std::uint64_t cells = static_cast<std::uint64_t>(across - 1) * (down - 1);
    RequireLoad(sizeof(PatchRecord) +
                static_cast<std::uint64_t>(across) * down * sizeof(WorldVertex) +
                cells * 6 * sizeof(std::uint16_t));
    patch.vertices.assign(static_cast<std::size_t>(across) * static_cast<std::size_t>(down),
                          WorldVertex{});
    for (std::int32_t j = 0; j < h; ++j)
        for (std::int32_t i = 0; i < w; ++i)
            patch.vertices[static_cast<std::size_t>(j * stepV * across + i * stepU)] =
                ToWorldVertex(controls[j * w + i]);
    for (std::int32_t i = 0; i < across; i += stepU)
        TessellatePatch(stepV, down, across, patch.vertices.data() + i);
    for (std::int32_t j = 0; j < down; ++j)
        TessellatePatch(stepU, across, 1, patch.vertices.data() + j * across);
    // Interpolated normals are shorter than unit length between controls that differ.
    for (WorldVertex& v : patch.vertices) {
        const float length =
            std::sqrt(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z);
        if (length > 0.0f) v.normal /= length;
    }
    patch.vertexCount = across * down;
    FillIndices(patch, across, down);
    return true;
}

std::int32_t BuildPatch(const BspFace& face, const std::vector<BspVertex>& vertices,
                        std::vector<PatchRecord>& patches) {
    PatchRecord patch;
    if (!BuildPatchGrid(face, vertices, patch)) return -1;
    patches.push_back(std::move(patch));
    return static_cast<std::int32_t>(patches.size() - 1);
}
