#include "core/win32.h"

#include "core/mapped_file.h"

#include <algorithm>

namespace {

// A 32-bit process maps no more than this at once; larger files are checked by their first part.
constexpr std::uint64_t kMappedCap = 256u << 20;
constexpr std::uint64_t kPrefixOfLarge = 16u << 20;

} // namespace

MappedFile::MappedFile(const char* fileName) {
    if (!fileName || !*fileName) return;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0) {
        fileSize_ = static_cast<std::uint64_t>(length.QuadPart);
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            // A large view may find no room in a crowded address space: then the first part.
            for (std::uint64_t wanted :
                 {std::min(fileSize_, kMappedCap), std::min(fileSize_, kPrefixOfLarge)}) {
                view_ = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(wanted));
                size_ = view_ ? static_cast<std::size_t>(wanted) : 0;
                if (view_) break;
            }
            CloseHandle(mapping); // the view keeps the mapping alive
        }
    }
    CloseHandle(file);
}

MappedFile::~MappedFile() {
    if (view_) UnmapViewOfFile(view_);
}
