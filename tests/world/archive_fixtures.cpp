#include "core/win32.h"

#include "world/archive_fixtures.h"
#include "codecs/crc32.h"
#include "support/temp_folder.h"
#include "world/pk3_archive.h"
#include "world/zip_records.h"

#include <gtest/gtest.h>

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

} // namespace

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
