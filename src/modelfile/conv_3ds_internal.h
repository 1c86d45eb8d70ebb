// The 3DS converter's working state and the readers its chunk walk shares. A conversion reads the
// file twice: the first pass gathers the keyframer's hierarchy and pivots, the second writes text.
#pragma once

#include "core/win32.h"

#include "modelfile/conv_3ds.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace Conv3DS {

// The keyframer's nodes, the open frames and the matrix stack are tables of this size; what lies
// beyond them is ignored.
constexpr std::int32_t kTableSize = 5000;
// Names of objects keep this many characters; other names kLongName.
constexpr std::size_t kObjectName = 11;
constexpr std::size_t kLongName = 259;

// Reads little-endian values from a chunk's bytes, never past its end: a read that does not fit
// gives zero and moves to the end.
struct Cursor {
    const std::uint8_t* data = nullptr;
    std::size_t at = 0;
    std::size_t end = 0;

    std::size_t Left() const { return end - at; }
    std::uint8_t Byte();
    std::uint16_t Word();
    std::uint32_t Dword();
    float Float();
    void Floats(float* values, int count) {
        for (int i = 0; i < count; ++i)
            values[i] = Float();
    }
    // A zero-terminated name read to its terminator (or the end); the first `keep` characters are
    // kept, spaces as '_'. Empty when the first byte is the terminator.
    std::string Name(std::size_t keep);
};

// One chunk inside its parent: its id and its bytes after the 6-byte header.
struct Chunk {
    std::uint16_t id = 0;
    Cursor body;
};

// The next chunk at the cursor, its length held to the cursor's end, and the cursor moved past
// it; false when no whole header is left or the length cannot hold the header itself (the rest
// of the parent cannot be framed then).
bool NextChunk(Cursor& parent, Chunk& chunk);

// A name other than an object's, as Cursor::Name keeps it; "Default name" when it is empty
// (missing is traced then).
constexpr char kDefaultName[] = "Default name";
std::string ReadLongName(Cursor& body, const char* missing = ">>>>* No Material name found\n");

// A name as an X name can hold it: letters, digits, '_' and '-' are kept, anything else becomes
// '_' (the platform's parser refuses the whole file otherwise).
std::string XName(std::string name);

enum class Pass { collect, write };

// The mesh being read, reset for every triangle mesh.
struct MeshWork {
    std::vector<float> vertices;      // x, z, y per vertex as read (y and z exchanged)
    std::vector<std::uint32_t> faces; // a, c, b per face
    std::vector<float> mapping;       // u, v per vertex
    D3DXMATRIX local;
    bool hasLocalAxes = false;
    bool hasFaceList = false;
    std::vector<std::uint16_t> faceMaterials; // one per face, made by the first material group
    std::vector<std::string> groupNames;
};

struct Conversion {
    Pass pass = Pass::collect;
    std::int32_t objectCounter = 0;
    std::vector<std::int16_t> parents = std::vector<std::int16_t>(kTableSize, 0);
    std::vector<D3DXVECTOR3> pivots = std::vector<D3DXVECTOR3>(kTableSize, D3DXVECTOR3(0, 0, 0));
    std::vector<std::int32_t> depths = std::vector<std::int32_t>(kTableSize, 0);
    std::vector<D3DXMATRIX> matrixStack;
    D3DXMATRIX currentWorld;
    D3DXMATRIX parentWorld;
    std::int32_t openDepth = 0;
    std::vector<KeyframeNode> nodes;
    float colour[3] = {0, 0, 0};
    float percentage = 0;
    std::uint32_t layoutsRead = 0; // viewport layouts: four end every later viewport walk
    // What the text holds so far: a reference to anything else would make it unreadable.
    std::set<std::string> writtenFrames;
    std::set<std::string> writtenMaterials; // after the material name rule
    MeshWork mesh;
    XTextBuffer x;
};

// The trace lines of the readers, formatted as printf.
void Trace(const char* format, ...);

void ReadMainChunk(Conversion& c, const std::uint8_t* bytes, std::size_t size);
// The nodes that drive written frames, each named as its frame was written (cut as object names
// are); dummy nodes stay for the writer to pass over.
void KeepAnimatedFrames(Conversion& c);
void ReadTriMesh(Conversion& c, Cursor body, const std::string& objectName);
// A colour chunk (0x0010 floats, 0x0011 bytes) into c.colour; false for other ids. The prefix
// starts its trace line.
bool ReadColour(Conversion& c, Chunk chunk, const char* prefix);
// The colours of a holder's chunks; true when it held one.
bool ReadColourHolder(Conversion& c, Cursor body, const char* prefix);
// A percentage chunk (0x0030 integer, 0x0031 float) into c.percentage; false for other ids.
bool ReadPercentage(Conversion& c, Chunk chunk);
void ReadPercentageHolder(Conversion& c, Cursor body);
void ReadLight(Conversion& c, Cursor body);
void ReadCamera(Cursor body);
void ReadViewport(Conversion& c, Cursor body);

} // namespace Conv3DS
