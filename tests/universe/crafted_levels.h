// Level pairs written by the tests: an object file of meshes made in code, and beside it a
// structure file written field by field.
#pragma once

#include "core/win32.h"

#include "object3d/model_files.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"
#include "support/temp_folder.h"
#include "universe/universe_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// The words of a structure file, appended field by field.
class StructureWords {
public:
    // The header: root half extents of 100 and the area count.
    explicit StructureWords(std::int32_t areas) : words_{100, 100, 100, areas} {}

    StructureWords& Int(std::int32_t v, std::size_t times = 1) {
        words_.insert(words_.end(), times, v);
        return *this;
    }
    StructureWords& Float(float f) {
        std::int32_t bits;
        std::memcpy(&bits, &f, 4);
        return Int(bits);
    }
    StructureWords& Vector(const D3DXVECTOR3& v) { return Float(v.x).Float(v.y).Float(v.z); }
    // An area's box and its centre.
    StructureWords& Box(const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
        return Vector(low).Vector(high).Vector((low + high) * 0.5f);
    }
    // A list of `count` entries, each the same mesh index.
    StructureWords& List(std::int32_t count, std::int32_t index = 0) {
        return Int(count).Int(index, static_cast<std::size_t>(count));
    }
    // A portal into the neighbour through side 0, its quad 2000 wide at z = 50 and its box larger
    // still, as WidePortal makes it.
    StructureWords& WidePortal(std::int32_t neighbour) {
        Int(neighbour).Int(kSideMinusZ).Int(0);
        Vector({-1000, -1000, 50}).Vector({1000, 1000, 50});
        Vector({0, 0, 50}).Vector({1000, 1000, 1000});
        const float xs[4] = {1000, -1000, -1000, 1000}, ys[4] = {1000, 1000, -1000, -1000};
        for (int k = 0; k < 4; ++k)
            Vector({xs[k], ys[k], 50});
        return *this;
    }
    // A cell at the centre, 100 wide, whose six links all name one cell, holding `count` copies of
    // a triangle lying flat in the scaled space at height y.
    StructureWords& LinkedCell(const D3DXVECTOR3& centre, std::int32_t link, std::int32_t count,
                               float y) {
        Vector(centre).Vector({50, 50, 50}).Int(link, kUniverseSides).Int(count);
        for (std::int32_t i = 0; i < count; ++i) {
            for (const D3DXVECTOR3& p :
                 {D3DXVECTOR3(-1, y, -1), D3DXVECTOR3(1, y, -1), D3DXVECTOR3(0, y, 1)})
                Vector(p);
            Int(i + 1);
        }
        return *this;
    }
    const std::vector<std::int32_t>& Words() const { return words_; }

private:
    std::vector<std::int32_t> words_;
};

// A triangle across the x axis at x, listed `triangles` times by its indices (as a strip when
// asked: each index after the second makes another triangle).
inline MeshRecord* CrossingMesh(std::int32_t triangles, float x = 0, bool strip = false) {
    auto* mesh = new MeshRecord;
    const std::int32_t indices = strip ? triangles + 2 : 3 * triangles;
    EXPECT_TRUE(SetupMeshFVFData(mesh, D3DFVF_XYZ, 3, indices));
    const float corners[9] = {x, -1, -1, x, 1, -1, x, 0, 1};
    std::memcpy(mesh->vertices, corners, sizeof corners);
    for (std::int32_t i = 0; i < indices; ++i)
        mesh->indices[i] = static_cast<std::uint16_t>(i % 3);
    mesh->primitiveType = strip ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = 3;
    mesh->drawPrimitiveCount = triangles;
    CalculateMeshBounds(mesh);
    return mesh;
}

// Writes the object file of the meshes (a chain of sibling frames, each showing one; the object
// frees them) as level.tlo and the structure file of the words beside it; the object file's name.
inline std::string WriteCraftedLevel(const TempFolder& folder,
                                     const std::vector<MeshRecord*>& meshes,
                                     const StructureWords& structure) {
    ObjectRecord object;
    FrameRecord** next = &object.rootFrame;
    for (MeshRecord* mesh : meshes) {
        *next = new FrameRecord;
        (*next)->mesh = mesh;
        next = &(*next)->sibling;
    }
    const std::string level = folder.File("level.tlo");
    EXPECT_TRUE(SaveObjectFile(level.c_str(), &object));
    const std::vector<std::int32_t>& words = structure.Words();
    std::string bytes(4 * words.size(), '\0');
    std::memcpy(bytes.data(), words.data(), bytes.size());
    folder.Write("level.tlu", bytes);
    return level;
}
