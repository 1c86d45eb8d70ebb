#include "core/win32.h"

#include "scene_3ds.h"
#include "modelfile/conv_3ds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace scene3ds {

namespace {

std::uint32_t ReadU16(const std::string& b, std::size_t at) {
    return at + 2 > b.size() ? 0 : std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8;
}

// Chunks that hold sub-chunks from the start of their body.
const std::uint16_t kContainers[] = {0x4D4D, 0x3D3D, 0xB000, 0xB002, 0xAFFF, 0xA200, 0xA020,
                                     0xA030, 0xA040, 0x1200, 0x2100, 0x4100, 0x7001};

// Where a chunk's sub-chunks start, past what its body holds first; 0 when it holds none.
std::size_t SubChunksAt(const std::string& b, std::uint16_t id, std::size_t body) {
    if (std::count(std::begin(kContainers), std::end(kContainers), id)) return body;
    if (id == 0x4000) return b.find('\0', body) + 1; // npos + 1 is 0
    if (id == 0x4120) return body + 2 + 8 * ReadU16(b, body);
    return id == 0x4600 ? body + 12 : 0;
}

std::vector<std::size_t> CountsOf(const std::string& b, std::uint16_t id, std::size_t body) {
    if (id == 0x4110 || id == 0x4120 || id == 0x4140) return {body};
    if (id == 0x4130 && b.find('\0', body) != std::string::npos) return {b.find('\0', body) + 1};
    if (id >= 0xB020 && id <= 0xB022) return {body + 10};
    return {};
}

void List(const std::string& b, std::size_t at, std::size_t end, std::vector<Listed>& out) {
    while (at + 6 <= end) {
        const std::uint16_t id = static_cast<std::uint16_t>(ReadU16(b, at));
        const std::uint32_t length = ReadU16(b, at + 2) | ReadU16(b, at + 4) << 16;
        if (length < 6 || length > end - at) return;
        out.push_back({at, CountsOf(b, id, at + 6)});
        if (const std::size_t sub = SubChunksAt(b, id, at + 6)) List(b, sub, at + length, out);
        at += length;
    }
}

} // namespace

std::string U16(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}

std::string U32(std::uint32_t v) {
    return U16(v & 0xFFFF) + U16(v >> 16);
}

std::string Floats(const std::vector<float>& values) {
    std::string out(4 * values.size(), '\0');
    if (!values.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}

std::string Name(const std::string& name) {
    return name + '\0';
}

std::string Chunk(std::uint16_t id, const std::string& body) {
    return U16(id) + U32(static_cast<std::uint32_t>(body.size() + 6)) + body;
}

std::string Vertices(const std::vector<std::array<float, 3>>& vertices) {
    std::string body = U16(static_cast<std::uint32_t>(vertices.size()));
    for (const auto& v : vertices)
        body += Floats({v[0], v[1], v[2]});
    return Chunk(0x4110, body);
}

std::string Faces(const std::vector<std::array<int, 3>>& faces, const std::string& chunks) {
    std::string body = U16(static_cast<std::uint32_t>(faces.size()));
    for (const auto& f : faces)
        body += U16(f[0]) + U16(f[1]) + U16(f[2]) + U16(0);
    return Chunk(0x4120, body + chunks);
}

std::string Group(const std::string& material, const std::vector<int>& faces) {
    std::string body = Name(material) + U16(static_cast<std::uint32_t>(faces.size()));
    for (int f : faces)
        body += U16(f);
    return Chunk(0x4130, body);
}

std::string Object(const std::string& name, const std::string& meshChunks) {
    return Chunk(0x4000, Name(name) + Chunk(0x4100, meshChunks));
}

std::string TriangleObject(const std::string& name) {
    return Object(name, Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) + Faces({{0, 1, 2}}));
}

std::string Node(const std::string& name, int parent, const std::string& chunks) {
    const std::string header = Name(name) + U16(0) + U16(0) + U16(parent & 0xFFFF);
    return Chunk(0xB002, Chunk(0xB010, header) + chunks);
}

std::string Track(std::uint16_t id, const std::vector<std::pair<int, std::string>>& keys) {
    std::string body = std::string(10, '\0') + U32(static_cast<std::uint32_t>(keys.size()));
    for (const auto& [frame, value] : keys)
        body += U32(static_cast<std::uint32_t>(frame)) + value;
    return Chunk(id, body);
}

std::string Scene(const std::string& editor, const std::string& keyframer) {
    std::string body = Chunk(0x0002, U32(3)) + Chunk(0x3D3D, editor);
    return Chunk(0x4D4D, keyframer.empty() ? body : body + Chunk(0xB000, keyframer));
}

std::string XText(const std::string& bytes) {
    std::string text;
    EXPECT_TRUE(Conv3DS::Build3DSXText(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size(), text));
    return text;
}

std::vector<Listed> ListChunks(const std::string& bytes) {
    std::vector<Listed> out;
    List(bytes, 0, bytes.size(), out);
    return out;
}

} // namespace scene3ds
