// 3DS files put together chunk by chunk for the converter's tests, and a lister of the chunks of
// real files for their damaged copies.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace scene3ds {

std::string U16(std::uint32_t v);
std::string U32(std::uint32_t v);
std::string Floats(const std::vector<float>& values);
std::string Name(const std::string& name); // with its terminator
std::string Chunk(std::uint16_t id, const std::string& body);

std::string Vertices(const std::vector<std::array<float, 3>>& vertices);
// Faces with a zero flags word each, then their sub-chunks.
std::string Faces(const std::vector<std::array<int, 3>>& faces, const std::string& chunks = "");
std::string Group(const std::string& material, const std::vector<int>& faces);
std::string Object(const std::string& name, const std::string& meshChunks);
// One triangle (three vertices, one face) under the object name.
std::string TriangleObject(const std::string& name);
// A keyframer object node: its header (flags 0, the parent index), then further chunks.
std::string Node(const std::string& name, int parent, const std::string& chunks = "");
// A track of keys, each its frame number and the bytes after it (spline flags, values).
std::string Track(std::uint16_t id, const std::vector<std::pair<int, std::string>>& keys);
// The main chunk around an editor section and, when given, a keyframer section.
std::string Scene(const std::string& editor, const std::string& keyframer = "");
// The X text of the bytes; a test failure when none is made.
std::string XText(const std::string& bytes);

// A chunk of a real file: where its header starts, and where its count words lie.
struct Listed {
    std::size_t at;
    std::vector<std::size_t> counts;
};
std::vector<Listed> ListChunks(const std::string& bytes);

} // namespace scene3ds
