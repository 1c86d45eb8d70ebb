// Small levels written in engine units for the collision and drawing tests: quads and flat 3 x 3
// patches under one node and one leaf, or with the leaf left out of every cluster's sight.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <string>
#include <vector>

class LevelBuilder {
public:
    // The index of a texture name, added once.
    std::int32_t Texture(const std::string& name);
    // A polygon over four corners in engine units, facing normal; its face index.
    std::int32_t Quad(const D3DXVECTOR3 (&corners)[4], const D3DXVECTOR3& normal,
                      const std::string& texture);
    // An axis-aligned wall square of half-size h centred on centre, facing normal (one axis).
    std::int32_t Wall(const D3DXVECTOR3& centre, const D3DXVECTOR3& normal, float h,
                      const std::string& texture = "textures/test/wall");
    // A patch of 3 x 3 control points from corner along du and dv (each the full side), its
    // middle row and column raised by bulge along normal (flat when 0).
    std::int32_t FlatPatch(const D3DXVECTOR3& corner, const D3DXVECTOR3& du, const D3DXVECTOR3& dv,
                           const D3DXVECTOR3& normal, const std::string& texture,
                           float bulge = 0.0f);
    // The level file: node 0 with leaf 0 (cluster 0), which holds every face, in front and an
    // empty leaf 1 behind; no visibility.
    std::string Bytes() const;

private:
    struct Face {
        std::int32_t type, first, count, texture;
        D3DXVECTOR3 normal, low, high; // level units
        std::int32_t patch[2];
    };
    std::vector<std::string> textures_;
    std::vector<float> vertices_; // 11 words a vertex, as stored
    std::vector<Face> faces_;
    std::int32_t AddVertex(const D3DXVECTOR3& engine, const D3DXVECTOR3& normal, float u, float v);
};

// Loads the bytes as the world's level (1 on success) and marks it loaded, as LoadWorld does.
int LoadBuiltLevel(const std::string& bytes);
