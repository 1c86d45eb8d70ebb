#include "core/win32.h"

#include "world/level_fixtures.h"
#include "support/guarded_bytes.h"
#include "support/temp_folder.h"

#include <cstring>

std::string LevelPath(const std::string& name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\levels\\" + name;
}

std::string SyntheticLevel() {
    return TempFolder::Read(LevelPath("synthetic.bsp"));
}

std::string SyntheticArchive() {
    return LevelPath("synthetic\\synthetic.pk3");
}

std::string RealMapsArchive() {
    return LevelPath("openarena\\pak1-maps.pk3");
}

bool RealMapsPresent() {
    return GetFileAttributesA(RealMapsArchive().c_str()) != INVALID_FILE_ATTRIBUTES;
}

BspLump LumpOf(const std::string& level, int lump) {
    return BspLump{GetInt(level, 8 + 8 * static_cast<std::size_t>(lump)),
                   GetInt(level, 12 + 8 * static_cast<std::size_t>(lump))};
}

void SetLump(std::string& level, int lump, std::int32_t offset, std::int32_t length) {
    PutInt(level, 8 + 8 * static_cast<std::size_t>(lump), offset);
    PutInt(level, 12 + 8 * static_cast<std::size_t>(lump), length);
}

std::size_t FieldAt(const std::string& level, int lump, std::size_t recordSize, std::size_t index,
                    std::size_t field) {
    return static_cast<std::size_t>(LumpOf(level, lump).offset) + index * recordSize + field;
}

std::int32_t GetInt(const std::string& bytes, std::size_t at) {
    std::int32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void PutInt(std::string& bytes, std::size_t at, std::int32_t value) {
    if (at + 4 <= bytes.size()) std::memcpy(&bytes[at], &value, 4);
}

BspFault ReadGuarded(const std::string& bytes, BspFile& file) {
    const GuardedBytes guarded(bytes);
    return ReadBspFile(ByteSpan{guarded.Data(), guarded.Size()}, file);
}

bool OnDevice(IDirect3DTexture9* texture, IDirect3DDevice9* device) {
    if (!texture) return false;
    IDirect3DDevice9* owner = nullptr;
    texture->GetDevice(&owner);
    if (owner) owner->Release();
    return owner == device;
}
