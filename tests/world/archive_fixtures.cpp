#include "core/win32.h"

#include "world/archive_fixtures.h"
#include "codecs/crc32.h"
#include "support/temp_folder.h"
#include "world/pk3_archive.h"
#include "world/zip_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

std::string Le16(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string Le32(std::uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

std::string Folder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\archives\\";
}

// A deflate stream in one block of the fixed codes.
class FixedDeflate {
public:
    FixedDeflate() { Bits(3, 3); } // the last block, fixed codes
    void Literal(std::uint8_t byte) {
        if (byte < 144)
            Code(0x30u + byte, 8);
        else
            Code(0x190u + byte - 144, 9);
    }
    // length 3 to 258, distance 1 to 32,768.
    void Copy(std::uint32_t length, std::uint32_t distance) {
        static const std::uint32_t lengths[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                67, 83, 99, 115, 131, 163, 195, 227, 258};
        std::uint32_t k = 28;
        while (lengths[k] > length)
            --k;
        Symbol(257 + k);
        Bits(length - lengths[k], k < 8 || k == 28 ? 0 : static_cast<int>((k - 4) / 4));
        std::uint32_t d = 0, base = 1;
        while (d + 1 < 30 && DistanceBase(d + 1) <= distance)
            base = DistanceBase(++d);
        Code(d, 5);
        Bits(distance - base, d < 4 ? 0 : static_cast<int>(d / 2 - 1));
    }
    std::string Finish() {
        Symbol(256);
        if (filled_) out_ += static_cast<char>(pending_);
        return out_;
    }

private:
    static std::uint32_t DistanceBase(std::uint32_t d) {
        if (d < 4) return d + 1;
        const std::uint32_t extra = d / 2 - 1;
        return (1u << (extra + 1)) + 1 + (d & 1) * (1u << extra);
    }
    void Symbol(std::uint32_t symbol) {
        if (symbol < 280)
            Code(symbol - 256, 7);
        else
            Code(0xC0 + symbol - 280, 8);
    }
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bits((code >> i) & 1, 1);
    }
    void Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            pending_ |= ((value >> i) & 1) << filled_;
            if (++filled_ == 8) {
                out_ += static_cast<char>(pending_);
                pending_ = 0;
                filled_ = 0;
            }
        }
    }
    std::string out_;
    std::uint32_t pending_ = 0;
    int filled_ = 0;
};

} // namespace

TestMember DeflatedMember(const std::string& name, const std::string& bytes,
                          const std::vector<std::size_t>& distances) {
    TestMember m = StoredMember(name, bytes);
    m.method = 8;
    FixedDeflate deflate;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t best = 0, from = 0;
        for (std::size_t distance : distances) {
            std::size_t run = 0;
            while (i >= distance && i + run < bytes.size() && run < 258 &&
                   bytes[i + run] == bytes[i + run - distance])
                ++run;
            if (run > best) {
                best = run;
                from = distance;
            }
        }
        if (best >= 3) {
            deflate.Copy(static_cast<std::uint32_t>(best), static_cast<std::uint32_t>(from));
            i += best;
        } else {
            deflate.Literal(static_cast<std::uint8_t>(bytes[i++]));
        }
    }
    m.compressed = deflate.Finish();
    return m;
}

TestMember DeflatedRun(const std::string& name, char byte, std::uint32_t count) {
    TestMember m;
    m.name = name;
    m.method = 8;
    m.size = count;
    const std::string block(1 << 16, byte);
    for (std::uint32_t done = 0; done < count;) {
        const auto take = std::min<std::uint32_t>(count - done, 1 << 16);
        m.crc = Crc32(reinterpret_cast<const std::uint8_t*>(block.data()), take, m.crc);
        done += take;
    }
    // One literal, then copies of the byte before.
    FixedDeflate deflate;
    std::uint32_t done = 0;
    for (; done < count && (done == 0 || count - done < 3); ++done)
        deflate.Literal(static_cast<std::uint8_t>(byte));
    while (count - done >= 3) {
        const std::uint32_t length = std::min<std::uint32_t>(count - done, 258);
        deflate.Copy(length, 1);
        done += length;
    }
    for (; done < count; ++done)
        deflate.Literal(static_cast<std::uint8_t>(byte));
    m.compressed = deflate.Finish();
    return m;
}

std::string ArchivePath(const std::string& name) {
    return Folder() + name;
}

std::vector<std::vector<std::string>> ManifestRows(const std::string& name) {
    return ManifestFileRows(ArchivePath(name));
}

std::vector<std::vector<std::string>> ManifestFileRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream manifest(path);
    for (std::string line; std::getline(manifest, line);) {
        std::vector<std::string>& fields = rows.emplace_back();
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
    }
    return rows;
}

std::string OriginalBytes(const std::string& name) {
    std::string path = Folder() + "src\\" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return TempFolder::Read(path);
}

std::string Extracted(const std::string& archivePath, const std::string& member) {
    std::vector<std::uint8_t> data;
    std::uint32_t size = 0;
    if (!FindFileInZip(archivePath.c_str(), member.c_str(), data, size)) {
        EXPECT_TRUE(data.empty());
        return kNotFound;
    }
    EXPECT_EQ(data.size(), std::size_t{size} + 1) << member;
    EXPECT_EQ(data.back(), 0) << member << ": the byte after the member";
    return std::string(data.begin(), data.end() - 1);
}

TestMember StoredMember(const std::string& name, const std::string& bytes) {
    TestMember m;
    m.name = name;
    m.crc = Crc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    m.size = static_cast<std::uint32_t>(bytes.size());
    m.compressed = bytes;
    return m;
}

std::vector<TestMember> MembersOf(const std::string& archivePath) {
    const std::string bytes = TempFolder::Read(archivePath);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::vector<ZipDirEntry> entries;
    EXPECT_TRUE(ReadZipCentralDirectory(MemoryZipSource(data, bytes.size()), entries))
        << archivePath;
    std::vector<TestMember> members;
    for (const ZipDirEntry& e : entries) {
        const std::uint8_t* local = data + e.localHeaderOffset;
        TestMember m;
        m.name = e.name;
        m.flags = static_cast<std::uint16_t>(local[6] | (local[7] << 8));
        m.method = static_cast<std::uint16_t>(local[8] | (local[9] << 8));
        m.crc = e.crc32;
        m.size = e.uncompressedSize;
        const std::size_t at = 30 + (local[26] | (local[27] << 8)) + (local[28] | (local[29] << 8));
        m.compressed = bytes.substr(e.localHeaderOffset + at, e.compressedSize);
        members.push_back(m);
    }
    return members;
}

std::string LocalRecord(const TestMember& m) {
    return Le32(0x04034B50) + Le16(20) + Le16(m.flags) + Le16(m.method) + Le32(0) + Le32(m.crc) +
           Le32(static_cast<std::uint32_t>(m.compressed.size())) + Le32(m.size) +
           Le16(static_cast<std::uint32_t>(m.name.size())) + Le16(0) + m.name + m.compressed;
}

std::string ZipOf(const std::vector<TestMember>& members, const std::string& comment) {
    std::string body, central;
    for (const TestMember& m : members) {
        const auto offset = static_cast<std::uint32_t>(body.size());
        body += LocalRecord(m);
        central += Le32(0x02014B50) + Le16(20) + Le16(20) + Le16(m.flags) + Le16(m.method) +
                   Le32(0) + Le32(m.crc) + Le32(static_cast<std::uint32_t>(m.compressed.size())) +
                   Le32(m.size) + Le16(static_cast<std::uint32_t>(m.name.size())) + Le16(0) +
                   Le16(0) + Le16(0) + Le16(0) + Le32(0) + Le32(offset) + m.name;
    }
    const auto count = static_cast<std::uint32_t>(members.size());
    return body + central + Le32(0x06054B50) + Le16(0) + Le16(0) + Le16(count) + Le16(count) +
           Le32(static_cast<std::uint32_t>(central.size())) +
           Le32(static_cast<std::uint32_t>(body.size())) +
           Le16(static_cast<std::uint32_t>(comment.size())) + comment;
}
