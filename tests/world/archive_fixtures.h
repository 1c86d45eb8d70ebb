// The archives the build made for these tests, the original bytes of their members, and zip
// archives written here byte by byte from members of those.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// openarena-data's pak0.pk3 as the Wine programs see it.
constexpr const char* kPak0 = "Z:\\usr\\share\\games\\openarena\\baseoa\\pak0.pk3";

// A file of the build's test archives folder, and an original there under src/ ("/" allowed).
std::string ArchivePath(const std::string& name);
std::string OriginalBytes(const std::string& name);

// The rows of a tab-separated manifest that the build wrote beside the archives, each split
// into its fields; none when the file is empty or missing.
std::vector<std::vector<std::string>> ManifestRows(const std::string& name);
// The same for a manifest at a full path.
std::vector<std::vector<std::string>> ManifestFileRows(const std::string& path);

// FindFileInZip's bytes as text, checking the zero byte after them; "<not found>" when it fails.
std::string Extracted(const std::string& archivePath, const std::string& member);
constexpr const char* kNotFound = "<not found>";

// A member as an archive written here holds it.
struct TestMember {
    std::string name;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t size = 0; // uncompressed
    std::string compressed;
};

TestMember StoredMember(const std::string& name, const std::string& bytes);
// Deflated with the fixed codes, copying from the distance back (of those given) where the bytes
// repeat longest: a level whose records repeat makes a small archive.
TestMember DeflatedMember(const std::string& name, const std::string& bytes,
                          const std::vector<std::size_t>& distances);
// count copies of one byte, deflated without ever being held whole.
TestMember DeflatedRun(const std::string& name, char byte, std::uint32_t count);
// Every member of an archive file, compressed data as they are (names lowercased).
std::vector<TestMember> MembersOf(const std::string& archivePath);
// A zip archive of the members, in order, with the comment after the end record.
std::string ZipOf(const std::vector<TestMember>& members, const std::string& comment = "");
// One member's local header and data, as the decompressor takes them.
std::string LocalRecord(const TestMember& member);
