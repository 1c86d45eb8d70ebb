// The records of a zip archive (end of central directory, central directory entries, local file
// headers), read from a file or from memory with every signature, offset and size checked
// against the archive's length.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

// Member names longer than this are refused: the entry is skipped, its member never found.
constexpr std::size_t kZipNameLimit = 255;

// One central directory entry, in directory order.
struct ZipDirEntry {
    char name[kZipNameLimit + 1] = {}; // lowercased
    std::uint32_t localHeaderOffset = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t crc32 = 0; // of the uncompressed bytes, checked after decoding
};

// Where an archive's bytes come from: an open file or, for tests, memory.
class ZipSource {
public:
    virtual ~ZipSource() = default;
    virtual std::uint64_t Length() const = 0;
    // False unless all size bytes at offset could be read.
    virtual bool ReadAt(std::uint64_t offset, void* to, std::size_t size) const = 0;
};

// An open file handle (a HANDLE, read access); the CRT's streams would cap the open archives at
// the CRT's 512.
class FileZipSource : public ZipSource {
public:
    explicit FileZipSource(void* file);
    std::uint64_t Length() const override { return length_; }
    bool ReadAt(std::uint64_t offset, void* to, std::size_t size) const override;

private:
    void* file_;
    std::uint64_t length_ = 0;
};

class MemoryZipSource : public ZipSource {
public:
    MemoryZipSource(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    std::uint64_t Length() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* to, std::size_t size) const override;

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
};

// Reads the end record (the archive's last 22 bytes: a trailing comment is not supported) and
// every central directory entry. False for an archive that cannot be read.
bool ReadZipCentralDirectory(const ZipSource& source, std::vector<ZipDirEntry>& entries);

// The index of the first entry whose name ends with the request, compared without regard to case,
// where that ending begins the name or follows "/" or "\"; -1 when none does.
int FindZipEntry(const std::vector<ZipDirEntry>& entries, const char* request);

// A directory's names indexed for FindZipEntry's rule, so that looking up thousands of names in an
// archive of thousands of members does not compare each with every member: the names reversed
// (a wanted ending becomes a wanted beginning) and sorted, with the least directory index of every
// run of them. What it holds is charged to the running load (std::bad_alloc past its budget).
class ZipNameIndex {
public:
    void Build(const std::vector<ZipDirEntry>& entries);
    // As FindZipEntry over the entries the index was built from.
    int Find(const char* request) const;

private:
    // The least directory index of the sorted names [from, to); INT_MAX for none.
    int Least(std::size_t from, std::size_t to) const;
    int LeastBetween(const std::string& low, const std::string& high) const;
    std::vector<std::string> reversed_;
    std::vector<std::vector<int>> least_; // least_[k][i]: of the sorted names [i, i + 2^k)
};

// Reads the entry's local header, name, extra field and compressed data and decodes them
// (ExtractZipMember): out holds the member's bytes and one more, zero. False, with out empty,
// when the member cannot be read or decoded.
bool ReadZipMember(const ZipSource& source, const ZipDirEntry& entry,
                   std::vector<std::uint8_t>& out);
