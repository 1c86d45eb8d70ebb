#include "core/win32.h"

#include "world/zip_records.h"
#include "world/zip_member.h"
#include "core/load_budget.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// One central directory entry at dir[at, size): false when the record does not fit or is not
// one; *skip is set for an entry kept out of the directory (a name too long to hold).
bool ParseEntry(const std::uint8_t* dir, std::size_t size, std::size_t& at, ZipDirEntry& entry,
                bool* skip) {
    if (size - at < kCentralSize || Le32(dir + at) != kCentralSignature) return false;
    const std::uint8_t* p = dir + at;
    const std::size_t nameLength = Le16(p + 28);
    const std::size_t recordSize = kCentralSize + nameLength + Le16(p + 30) + Le16(p + 32);
    if (size - at < recordSize) return false;
    *skip = nameLength > kZipNameLimit;
    if (!*skip) {
        for (std::size_t i = 0; i < nameLength; ++i)
            entry.name[i] = Lower(static_cast<char>(p[kCentralSize + i]));
        entry.name[nameLength] = 0;
        entry.crc32 = Le32(p + 16);
        entry.compressedSize = Le32(p + 20);
        entry.uncompressedSize = Le32(p + 24);
        entry.localHeaderOffset = Le32(p + 42);
    }
    at += recordSize;
    return true;
}

} // namespace

FileZipSource::FileZipSource(void* file) : file_(file) {
    LARGE_INTEGER size;
    if (file_ && file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size) && size.QuadPart > 0)
        length_ = static_cast<std::uint64_t>(size.QuadPart);
}

bool FileZipSource::ReadAt(std::uint64_t offset, void* to, std::size_t size) const {
    if (offset > length_ || size > length_ - offset) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    auto* bytes = static_cast<std::uint8_t*>(to);
    while (size > 0) {
        DWORD read = 0;
        const auto chunk = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
        if (!ReadFile(file_, bytes, chunk, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

bool MemoryZipSource::ReadAt(std::uint64_t offset, void* to, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    std::memcpy(to, bytes_ + offset, size);
    return true;
}

bool ReadZipCentralDirectory(const ZipSource& source, std::vector<ZipDirEntry>& entries) {
    entries.clear();
    const std::uint64_t length = source.Length();
    std::uint8_t end[kEndSize];
    if (length < kEndSize || !source.ReadAt(length - kEndSize, end, kEndSize) ||
        Le32(end) != kEndSignature)
        return false;
    // One disk only, and the end record last: no comment after it.
    const std::uint16_t count = Le16(end + 8);
    if (Le16(end + 4) || Le16(end + 6) || Le16(end + 10) != count || Le16(end + 20)) return false;
    const std::uint64_t dirSize = Le32(end + 12), dirAt = Le32(end + 16);
    if (dirAt > length - kEndSize || dirSize > length - kEndSize - dirAt ||
        dirSize < std::uint64_t{count} * kCentralSize)
        return false;
    // The raw directory and the entries it becomes, charged before either is made.
    if (!ChargeLoad(dirSize) || !ChargeLoad(count, sizeof(ZipDirEntry))) return false;
    std::vector<std::uint8_t> dir;
    try {
        dir.resize(static_cast<std::size_t>(dirSize));
        entries.reserve(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!source.ReadAt(dirAt, dir.data(), dir.size())) return false;
    std::size_t at = 0;
    for (unsigned i = 0; i < count; ++i) {
        ZipDirEntry entry;
        bool skip = false;
        if (!ParseEntry(dir.data(), dir.size(), at, entry, &skip)) {
            entries.clear();
            return false;
        }
        if (!skip) entries.push_back(entry);
    }
    return true;
}

int FindZipEntry(const std::vector<ZipDirEntry>& entries, const char* request) {
    const std::size_t length = request ? std::strlen(request) : 0;
    if (length == 0) return -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const char* name = entries[i].name;
        const std::size_t nameLength = std::strlen(name);
        if (nameLength < length) continue;
        const std::size_t start = nameLength - length;
        if (start > 0 && name[start - 1] != '/' && name[start - 1] != '\\') continue;
        std::size_t k = 0;
        while (k < length && name[start + k] == Lower(request[k]))
            ++k;
        if (k == length) return static_cast<int>(i);
    }
    return -1;
}

void ZipNameIndex::Build(const std::vector<ZipDirEntry>& entries) {
    const std::size_t n = entries.size();
    std::size_t levels = 1, bytes = 0;
    while ((std::size_t{1} << levels) <= n)
        ++levels;
    for (const ZipDirEntry& entry : entries)
        bytes += std::strlen(entry.name);
    RequireLoad(bytes + n * (2 * sizeof(std::string) + sizeof(int) * (levels + 2)));
    std::vector<std::pair<std::string, int>> sorted(n);
    for (std::size_t i = 0; i < n; ++i) {
        sorted[i].first.assign(entries[i].name);
        std::reverse(sorted[i].first.begin(), sorted[i].first.end());
        sorted[i].second = static_cast<int>(i);
    }
    std::sort(sorted.begin(), sorted.end());
    reversed_.resize(n);
    least_.assign(levels, std::vector<int>(n, INT_MAX));
    for (std::size_t i = 0; i < n; ++i) {
        reversed_[i] = std::move(sorted[i].first);
        least_[0][i] = sorted[i].second;
    }
    for (std::size_t k = 1; k < levels; ++k)
        for (std::size_t i = 0; i + (std::size_t{1} << k) <= n; ++i)
            least_[k][i] =
                std::min(least_[k - 1][i], least_[k - 1][i + (std::size_t{1} << (k - 1))]);
}

int ZipNameIndex::Least(std::size_t from, std::size_t to) const {
    if (from >= to) return INT_MAX;
    std::size_t k = 0;
    while ((std::size_t{2} << k) <= to - from)
        ++k;
    return std::min(least_[k][from], least_[k][to - (std::size_t{1} << k)]);
}

int ZipNameIndex::LeastBetween(const std::string& low, const std::string& high) const {
    const auto from = std::lower_bound(reversed_.begin(), reversed_.end(), low);
    const auto to = std::lower_bound(reversed_.begin(), reversed_.end(), high);
    return Least(static_cast<std::size_t>(from - reversed_.begin()),
                 static_cast<std::size_t>(to - reversed_.begin()));
}

int ZipNameIndex::Find(const char* request) const {
    if (!request || !*request) return -1;
    std::string wanted(request);
    for (char& c : wanted)
        c = Lower(c);
    std::reverse(wanted.begin(), wanted.end());
    // The name itself, or the name ending it after a "/" or a "\".
    const auto [first, last] = std::equal_range(reversed_.begin(), reversed_.end(), wanted);
    const int found = std::min({Least(static_cast<std::size_t>(first - reversed_.begin()),
                                      static_cast<std::size_t>(last - reversed_.begin())),
                                LeastBetween(wanted + '/', wanted + '0'),
                                LeastBetween(wanted + '\\', wanted + ']')});
    return found == INT_MAX ? -1 : found;
}

bool ReadZipMember(const ZipSource& source, const ZipDirEntry& entry,
                   std::vector<std::uint8_t>& out) {
    out.clear();
    std::uint8_t local[kZipLocalHeaderSize];
    if (!source.ReadAt(entry.localHeaderOffset, local, sizeof local) ||
        Le32(local) != kLocalSignature || entry.compressedSize > kZipLargestMember)
        return false;
    const std::uint64_t total = kZipLocalHeaderSize + Le16(local + 26) + Le16(local + 28) +
                                std::uint64_t{entry.compressedSize};
    if (total > source.Length() - entry.localHeaderOffset || !ChargeLoad(total)) return false;
    std::vector<std::uint8_t> member;
    try {
        member.resize(static_cast<std::size_t>(total));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return source.ReadAt(entry.localHeaderOffset, member.data(), member.size()) &&
           ExtractZipMember(member.data(), member.size(), entry, out);
}
