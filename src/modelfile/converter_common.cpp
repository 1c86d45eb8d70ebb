#include "core/win32.h"

#include "modelfile/converter_common.h"
#include "core/load_budget.h"
#include "modelfile/object_block.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

bool ReadModelFile(const char* fileName, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!fileName) return false;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length{};
    DWORD read = 0;
    // One copy, read straight into the vector, charged before it is made.
    bool ok = GetFileSizeEx(file, &length) && length.QuadPart >= 0 &&
              length.QuadPart <= std::numeric_limits<std::int32_t>::max() &&
              ChargeLoad(static_cast<std::uint64_t>(length.QuadPart));
    if (ok) {
        bytes.resize(static_cast<std::size_t>(length.QuadPart));
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
              read == bytes.size());
    }
    CloseHandle(file);
    if (!ok) bytes.clear();
    return ok;
}

bool TableInFile(const ByteSpan& file, std::int64_t offset, std::uint64_t each, std::int64_t count,
                 ByteSpan& table) {
    if (offset < 0 || count < 0) return false;
    const auto n = static_cast<std::uint64_t>(count);
    // A table larger than the file cannot lie inside it (and its size may not fit 64 bits).
    if (n != 0 && each > file.size / n) return false;
    return file.Sub(static_cast<std::uint64_t>(offset), each * n, table);
}

std::string FieldText(const std::uint8_t* field, std::size_t length) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, length));
}

void CopyRecordName(char* to, const std::string& name) {
    const std::size_t length =
        name.size() < kRecordNameLength - 1 ? name.size() : kRecordNameLength - 1;
    std::memcpy(to, name.data(), length);
    to[length] = 0;
}

MeshRecord* NewConvertedMesh(std::uint32_t fvf, std::int32_t vertexCount, std::int32_t indexCount,
                             std::int32_t primitiveType) {
    auto mesh = std::make_unique<MeshRecord>();
    if (!SetupMeshFVFData(mesh.get(), fvf, vertexCount, indexCount) ||
        (indexCount > 0 && !mesh->indices))
        return nullptr;
    mesh->savedFVF = fvf;
    mesh->primitiveType = primitiveType;
    // Whatever the converter leaves unwritten is zero, never what the heap held.
    std::memset(mesh->vertices, 0, static_cast<std::size_t>(vertexCount) * mesh->vertexSize);
    if (mesh->indices) std::memset(mesh->indices, 0, sizeof(std::uint16_t) * indexCount);
    return mesh.release();
}

bool GiveOneTextureSlot(MeshRecord* mesh, const std::string& fileName) {
    delete[] mesh->textures;
    mesh->textures = new (std::nothrow) TextureRecord[1];
    mesh->textureCount = mesh->textures ? 1 : 0;
    if (!mesh->textures) return false;
    CopyRecordName(mesh->textures[0].fileName, fileName);
    return true;
}

void RecomputeUnindexedNormals(MeshRecord* mesh) {
    // Past 16-bit corners the platform would renumber the vertices (or refuse with an error):
    // such a mesh keeps the normals it has.
    constexpr std::int64_t kMostCorners = 0xFFFF;
    if (mesh->vertexCount > kMostCorners ||
        std::int64_t{mesh->drawPrimitiveCount} * 3 > kMostCorners)
        return;
    const std::int32_t type = mesh->primitiveType;
    RecomputeMeshNormals(mesh);
    delete[] std::exchange(mesh->indices, nullptr);
    mesh->indexCount = 0;
    mesh->primitiveType = type;
}

bool ConvertedObject::Begin(std::uint8_t** out, std::uint32_t* size) {
    FreeObjectBlock(std::exchange(block, nullptr));
    object.reset();
    if (!out || !size) return false;
    *out = nullptr;
    *size = 0;
    return true;
}

bool ConvertedObject::HandOut(std::uint8_t** out, std::uint32_t* size) {
    if (object && WriteObjectToBlock(object.get(), out, size)) {
        block = *out;
        return true;
    }
    object.reset();
    return false;
}

bool ConvertedObject::Run(bool (*load)(const char*), const char* fileName, std::uint8_t** out,
                          std::uint32_t* size) {
    if (!Begin(out, size)) return false;
    try {
        if (!load(fileName)) return false;
    } catch (const std::bad_alloc&) {
        object.reset();
        return false;
    }
    return HandOut(out, size);
}

void ConvertedObject::Free(std::uint8_t* handedOut) {
    if (handedOut && handedOut == block) block = nullptr;
    FreeObjectBlock(handedOut);
    object.reset();
}
