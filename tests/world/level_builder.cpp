#include "core/win32.h"

#include "world/level_builder.h"
#include "world/world_level.h"
#include "world/world_state.h"

#include <algorithm>
#include <cstring>

namespace {

// Engine to level units, the exact inverse of the loader's 0.029, y and z swapped.
D3DXVECTOR3 ToLevel(const D3DXVECTOR3& e) {
    return D3DXVECTOR3(static_cast<float>(e.x / 0.029), static_cast<float>(e.z / 0.029),
                       static_cast<float>(e.y / 0.029));
}

template <typename T> void Put(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutInts(std::string& out, std::initializer_list<std::int32_t> values) {
    for (std::int32_t v : values)
        Put(out, v);
}

} // namespace

std::int32_t LevelBuilder::Texture(const std::string& name) {
    const auto at = std::find(textures_.begin(), textures_.end(), name);
    if (at != textures_.end()) return static_cast<std::int32_t>(at - textures_.begin());
    textures_.push_back(name);
    return static_cast<std::int32_t>(textures_.size() - 1);
}

std::int32_t LevelBuilder::AddVertex(const D3DXVECTOR3& engine, const D3DXVECTOR3& normal, float u,
                                     float v) {
    const D3DXVECTOR3 p = ToLevel(engine);
    const float words[10] = {p.x, p.y, p.z, u, v, 0, 0, normal.x, normal.z, normal.y};
    const std::int32_t index = static_cast<std::int32_t>(vertices_.size() / 11);
    vertices_.insert(vertices_.end(), words, words + 10);
    std::uint32_t white = 0xFFFFFFFF;
    float colour;
    std::memcpy(&colour, &white, 4);
    vertices_.push_back(colour);
    return index;
}

std::int32_t LevelBuilder::Quad(const D3DXVECTOR3 (&corners)[4], const D3DXVECTOR3& normal,
                                const std::string& texture) {
    Face face{
        1,     0, 4, Texture(texture), ToLevel(normal), ToLevel(corners[0]), ToLevel(corners[0]),
        {0, 0}};
    face.normal = D3DXVECTOR3(normal.x, normal.z, normal.y);
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k) {
        const std::int32_t v = AddVertex(corners[k], normal, uv[k][0], uv[k][1]);
        if (k == 0) face.first = v;
    }
    faces_.push_back(face);
    return static_cast<std::int32_t>(faces_.size() - 1);
}

std::int32_t LevelBuilder::Wall(const D3DXVECTOR3& c, const D3DXVECTOR3& n, float h,
                                const std::string& texture) {
    // Two directions across the wall, whichever axis it faces along.
    const D3DXVECTOR3 a = n.x != 0 ? D3DXVECTOR3(0, h, 0) : D3DXVECTOR3(h, 0, 0);
    const D3DXVECTOR3 b = n.z != 0 ? D3DXVECTOR3(0, h, 0) : D3DXVECTOR3(0, 0, h);
    const D3DXVECTOR3 corners[4] = {c - a - b, c + a - b, c + a + b, c - a + b};
    return Quad(corners, n, texture);
}

std::int32_t LevelBuilder::FlatPatch(const D3DXVECTOR3& corner, const D3DXVECTOR3& du,
                                     const D3DXVECTOR3& dv, const D3DXVECTOR3& normal,
                                     const std::string& texture, float bulge) {
    Face face{2, 0, 9, Texture(texture), {0, 0, 1}, {}, {}, {3, 3}};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const float raised = bulge * ((i == 1) + (j == 1));
            const D3DXVECTOR3 p = corner + du * (i * 0.5f) + dv * (j * 0.5f) + normal * raised;
            const std::int32_t v = AddVertex(p, normal, i * 0.5f, j * 0.5f);
            if (i == 0 && j == 0) face.first = v;
        }
    const D3DXVECTOR3 a = ToLevel(corner), b = ToLevel(corner + du + dv);
    face.low = D3DXVECTOR3(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z));
    face.high = D3DXVECTOR3(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z));
    faces_.push_back(face);
    return static_cast<std::int32_t>(faces_.size() - 1);
}

std::string LevelBuilder::Bytes() const {
    std::string lumps[17];
    for (const std::string& name : textures_) {
        char record[72] = {};
        std::memcpy(record, name.data(), std::min<std::size_t>(name.size(), 63));
        lumps[1].append(record, sizeof record);
    }
    Put(lumps[2], D3DXPLANE(0, 0, 1, -1e6f)); // every point in front
    PutInts(lumps[3], {0, -1, -2, -100000, -100000, -100000, 100000, 100000, 100000});
    PutInts(lumps[4], {0, 0, -100000, -100000, -100000, 100000, 100000, 100000, 0,
                       static_cast<std::int32_t>(faces_.size()), 0, 0});
    PutInts(lumps[4], {0, 0, -100000, -100000, -100000, 100000, 100000, 100000, 0, 0, 0, 0});
    for (std::size_t f = 0; f < faces_.size(); ++f)
        PutInts(lumps[5], {static_cast<std::int32_t>(f)});
    for (float word : vertices_)
        Put(lumps[10], word);
    for (const Face& f : faces_) {
        // A polygon lists its fan's triangles, as level files do.
        const std::int32_t firstIndex = static_cast<std::int32_t>(lumps[11].size() / 4);
        const std::int32_t indexCount = f.type == 1 ? 3 * (f.count - 2) : 0;
        for (std::int32_t k = 1; f.type == 1 && k + 1 < f.count; ++k)
            PutInts(lumps[11], {0, k, k + 1});
        PutInts(lumps[13],
                {f.texture, -1, f.type, f.first, f.count, firstIndex, indexCount, -1, 0, 0, 0, 0});
        const float origin[3] = {vertices_[static_cast<std::size_t>(f.first) * 11],
                                 vertices_[static_cast<std::size_t>(f.first) * 11 + 1],
                                 vertices_[static_cast<std::size_t>(f.first) * 11 + 2]};
        for (float w : origin)
            Put(lumps[13], w);
        for (const D3DXVECTOR3* v : {&f.low, &f.high, &f.normal})
            Put(lumps[13], *v);
        PutInts(lumps[13], {f.patch[0], f.patch[1]});
    }
    std::string out = "IBSP";
    PutInts(out, {46});
    std::int32_t offset = 144;
    for (const std::string& lump : lumps) {
        PutInts(out, {offset, static_cast<std::int32_t>(lump.size())});
        offset += static_cast<std::int32_t>(lump.size());
    }
    for (const std::string& lump : lumps)
        out += lump;
    return out;
}

int LoadBuiltLevel(const std::string& bytes) {
    const int ok = LoadBSPData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (ok) g_World.flags |= kLevelLoaded;
    return ok;
}
