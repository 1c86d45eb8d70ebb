// What the MD2, MD3 and MDL converters share: reading a model file whole, making the meshes and
// texture slots of their objects, and keeping the object and the block they hand out.
#pragma once

#include "core/win32.h"

#include "core/byte_span.h"
#include "object3d/object_records.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The meshes a converter makes of one model (the root's and every key frame's) together hold at
// most this many vertices.
constexpr std::int64_t kMostConvertedVertices = std::int64_t{1} << 22;

// The file whole, held once and charged to the running load; false, bytes empty, when it cannot
// be opened or read whole, or does not fit the load's budget.
bool ReadModelFile(const char* fileName, std::vector<std::uint8_t>& bytes);

// count entries of `each` bytes from offset (a file word, possibly negative) as a span of their
// own; false unless all of them lie inside the file.
bool TableInFile(const ByteSpan& file, std::int64_t offset, std::uint64_t each, std::int64_t count,
                 ByteSpan& table);

// The text of a fixed-size name field: up to its first zero, or the whole field without one.
std::string FieldText(const std::uint8_t* field, std::size_t length);

// The name copied into a record's name field, cut to what the field holds.
void CopyRecordName(char* to, const std::string& name);

// A new mesh in the FVF (set in both format words) with its vertex array, and index array when
// indexCount is not 0, allocated and cleared; null when they cannot be had.
MeshRecord* NewConvertedMesh(std::uint32_t fvf, std::int32_t vertexCount, std::int32_t indexCount,
                             std::int32_t primitiveType);

// One texture slot naming the file (an empty name names none); false when it cannot be had.
bool GiveOneTextureSlot(MeshRecord* mesh, const std::string& fileName);

// The mesh's normals made from its triangles by the platform, the vertex layout and order kept;
// the index list the platform leaves on a mesh drawn without one is dropped again.
void RecomputeUnindexedNormals(MeshRecord* mesh);

// The object a converter built and the block it handed out, both kept until its Free.
struct ConvertedObject {
    std::unique_ptr<ObjectRecord> object;
    std::uint8_t* block = nullptr;

    // Starts a conversion: the last block and object are freed and the outs cleared; false for a
    // null out.
    bool Begin(std::uint8_t** block, std::uint32_t* size);
    // The object written into a new block handed out through block and size; false, nothing
    // handed out and the object freed, when it cannot be written.
    bool HandOut(std::uint8_t** block, std::uint32_t* size);
    // A whole conversion: Begin, load (which leaves its object here), HandOut. A failed
    // allocation anywhere in it fails the conversion.
    bool Run(bool (*load)(const char*), const char* fileName, std::uint8_t** block,
             std::uint32_t* size);
    // Frees the block (when it is not null) and the object.
    void Free(std::uint8_t* block);
};
