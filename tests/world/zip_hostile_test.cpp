#include "core/win32.h"

#include "support/guarded_bytes.h"
#include "world/archive_fixtures.h"
#include "world/zip_member.h"
#include "world/zip_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The small members of every method that the build made: stored, deflated, shrunk, reduced with
// factors 1 and 4, imploded without and with a literal tree.
const std::vector<TestMember>& Small() {
    static const std::vector<TestMember> members = MembersOf(ArchivePath("small.zip"));
    return members;
}

ZipDirEntry EntryOf(const TestMember& m) {
    ZipDirEntry e;
    e.compressedSize = static_cast<std::uint32_t>(m.compressed.size());
    e.uncompressedSize = m.size;
    e.crc32 = m.crc;
    return e;
}

// Extracts the member from bytes that end where its record ends: a read past them crashes.
bool Extract(const TestMember& m, const ZipDirEntry& e, std::string* out = nullptr) {
    GuardedBytes record(LocalRecord(m));
    std::vector<std::uint8_t> bytes;
    const bool ok = ExtractZipMember(record.Data(), record.Size(), e, bytes);
    EXPECT_EQ(ok, !bytes.empty());
    if (ok && out) *out = std::string(bytes.begin(), bytes.end() - 1);
    return ok;
}

// Decodes into an output of exactly the stated size: a write past it crashes.
bool DecodeGuarded(const TestMember& m, const std::string& compressed, std::size_t size) {
    GuardedBytes in(compressed);
    GuardedBytes out(std::string(size, '\0'));
    return DecompressZipMember(m.method, m.flags, in.Data(), in.Size(), out.Writable(), size);
}

std::string Read(const std::string& archive, const ZipDirEntry& entry) {
    GuardedBytes bytes(archive);
    std::vector<std::uint8_t> out;
    if (!ReadZipMember(MemoryZipSource(bytes.Data(), bytes.Size()), entry, out)) return kNotFound;
    return std::string(out.begin(), out.end() - 1);
}

std::vector<ZipDirEntry> Directory(const std::string& archive, bool* ok = nullptr) {
    GuardedBytes bytes(archive);
    std::vector<ZipDirEntry> entries;
    const bool read = ReadZipCentralDirectory(MemoryZipSource(bytes.Data(), bytes.Size()), entries);
    if (ok) *ok = read;
    return entries;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = static_cast<char>(v >> (8 * k));
}

} // namespace

TEST(DamagedMembers, MembersCutAtEveryLengthFailInsideTheirBytes) {
    ASSERT_EQ(Small().size(), 7u);
    const std::string original = OriginalBytes("legacy/small.bin");
    for (const TestMember& m : Small()) {
        for (std::size_t cut = 0; cut <= m.compressed.size(); ++cut) {
            TestMember part = m;
            part.compressed.resize(cut);
            std::string out;
            const bool whole = cut == m.compressed.size();
            ASSERT_EQ(Extract(part, EntryOf(part), &out), whole) << m.name << " cut at " << cut;
            if (whole) {
                EXPECT_TRUE(out == original) << m.name;
            }
            ASSERT_EQ(DecodeGuarded(m, part.compressed, m.size), whole) << m.name << " " << cut;
        }
    }
}

TEST(DamagedMembers, FlippedBitsNeverPassForTheOriginal) {
    const std::string original = OriginalBytes("legacy/small.bin");
    std::mt19937 random(39);
    int refused = 0;
    for (const TestMember& m : Small()) {
        for (int round = 0; round < 400; ++round) {
            TestMember bad = m;
            for (unsigned flips = 1 + random() % 3; flips; --flips) {
                const std::size_t at = random() % bad.compressed.size();
                bad.compressed[at] = static_cast<char>(bad.compressed[at] ^ (1 << (random() % 8)));
            }
            std::string out;
            if (Extract(bad, EntryOf(m), &out)) {
                EXPECT_TRUE(out == original) << m.name << ": damage decoded to other bytes";
            } else {
                ++refused;
            }
            DecodeGuarded(m, bad.compressed, m.size);
        }
    }
    EXPECT_GT(refused, 7 * 400 * 9 / 10);
}

TEST(DamagedMembers, WrongCrcFalseSizesAndBadHeadersAreRefused) {
    for (const TestMember& m : Small()) {
        const ZipDirEntry good = EntryOf(m);
        ASSERT_TRUE(Extract(m, good)) << m.name;
        ZipDirEntry e = good;
        e.crc32 ^= 1;
        EXPECT_FALSE(Extract(m, e)) << m.name << ": wrong CRC";
        for (std::uint32_t size : {0u, m.size - 1, m.size + 1, m.size * 2, 0xFFFFFFFFu}) {
            e = good;
            e.uncompressedSize = size;
            EXPECT_FALSE(Extract(m, e)) << m.name << ": stated size " << size;
            // Methods without an end mark may decode to a smaller size (the CRC refuses it).
            if (size < 100000) DecodeGuarded(m, m.compressed, size);
        }
        for (std::uint32_t size : {good.compressedSize + 1, 0xFFFFFFFFu}) {
            e = good;
            e.compressedSize = size; // more than the record holds
            EXPECT_FALSE(Extract(m, e)) << m.name;
        }
        TestMember bad = m;
        bad.flags |= 1; // encrypted
        EXPECT_FALSE(Extract(bad, good)) << m.name;
        for (std::uint16_t method : {7, 9, 12, 14, 19, 97, 99}) {
            bad = m;
            bad.method = method;
            EXPECT_FALSE(Extract(bad, good)) << m.name << " as method " << method;
        }
        std::string record = LocalRecord(m);
        record[0] = 'Q';
        GuardedBytes bytes(record);
        std::vector<std::uint8_t> out;
        EXPECT_FALSE(ExtractZipMember(bytes.Data(), bytes.Size(), good, out));
        record = LocalRecord(m);
        record[28] = static_cast<char>(0xFF); // an extra field longer than the record
        GuardedBytes longExtra(record);
        EXPECT_FALSE(ExtractZipMember(longExtra.Data(), longExtra.Size(), good, out));
        EXPECT_FALSE(ExtractZipMember(bytes.Data(), 29, good, out));
    }
}

TEST(DamagedArchives, RecordsAreCheckedAgainstTheArchiveLength) {
    const std::vector<TestMember> members = {StoredMember("one.txt", "first member"),
                                             StoredMember("two.txt", "second member")};
    const std::string good = ZipOf(members);
    bool ok = false;
    std::vector<ZipDirEntry> entries = Directory(good, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Read(good, entries[1]), "second member");
    const std::size_t end = good.size() - 22;
    auto refused = [&](std::string bytes, const char* what) {
        Directory(bytes, &ok);
        EXPECT_FALSE(ok) << what;
    };
    std::string bad = good;
    Put32(bad, end + 16, static_cast<std::uint32_t>(end + 1));
    refused(bad, "directory after the end record");
    bad = good;
    Put32(bad, end + 12, 0x7FFFFFFF);
    refused(bad, "directory larger than the archive");
    bad = good;
    bad[end + 8] = bad[end + 10] = 40;
    refused(bad, "more entries than the directory holds");
    bad = good;
    bad[end + 4] = 1;
    refused(bad, "a second disk");
    refused(ZipOf(members, "a comment"), "a comment after the end record");
    refused(good.substr(0, good.size() - 1), "a cut end record");
    refused(good.substr(good.size() - 21), "shorter than an end record");
    bad = good;
    bad[good.find("PK\x01\x02")] = 'Q';
    refused(bad, "a directory entry without its signature");
    // A member whose local header lies past the archive, or whose data would run past it.
    ZipDirEntry moved = entries[1];
    moved.localHeaderOffset = static_cast<std::uint32_t>(good.size() - 10);
    EXPECT_EQ(Read(good, moved), kNotFound);
    moved.localHeaderOffset = 0xFFFFFFF0u;
    EXPECT_EQ(Read(good, moved), kNotFound);
    moved = entries[0];
    moved.compressedSize = static_cast<std::uint32_t>(good.size());
    EXPECT_EQ(Read(good, moved), kNotFound);
    moved = entries[0];
    moved.localHeaderOffset = 1; // no local header there
    EXPECT_EQ(Read(good, moved), kNotFound);
}

TEST(DamagedArchives, NamesLongerThan255BytesAreRefused) {
    const std::string longName(256, 'n');
    const std::string archive =
        ZipOf({StoredMember(std::string(255, 'm'), "kept"), StoredMember(longName, "refused"),
               StoredMember("after.txt", "after")});
    bool ok = false;
    const std::vector<ZipDirEntry> entries = Directory(archive, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::string(entries[0].name), std::string(255, 'm'));
    EXPECT_STREQ(entries[1].name, "after.txt");
    EXPECT_EQ(Read(archive, entries[1]), "after");
}

TEST(DamagedArchives, TenThousandRandomArchivesFailCleanly) {
    // Archives of the small members with their records damaged field by field, and byte noise.
    std::mt19937 random(1039);
    const std::string seed = ZipOf(Small());
    int readable = 0, extracted = 0;
    for (int round = 0; round < 10000; ++round) {
        std::string bytes = seed;
        switch (round % 4) {
        case 0: // a few bytes anywhere
            for (int n = 1 + random() % 4; n; --n)
                bytes[random() % bytes.size()] = static_cast<char>(random());
            break;
        case 1: { // a 16- or 32-bit field of the records, set to a chosen or random value
            static const std::uint32_t values[] = {0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
            const std::size_t record = random() % 2
                                           ? bytes.rfind("PK\x05\x06")
                                           : bytes.find("PK\x01\x02", random() % bytes.size());
            const std::size_t at = (record == std::string::npos ? 0 : record) + random() % 46;
            const std::uint32_t v = random() % 2 ? values[random() % 6] : random();
            for (int k = 0; k < (random() % 2 ? 2 : 4) && at + k < bytes.size(); ++k)
                bytes[at + k] = static_cast<char>(v >> (8 * k));
            break;
        }
        case 2: // cut anywhere, the end record moved to the new end
            bytes = bytes.substr(0, random() % bytes.size()) + bytes.substr(bytes.size() - 22);
            break;
        default: // noise behind an end record pointing into it
            bytes.assign(64 + random() % 2000, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            bytes += seed.substr(seed.size() - 22);
            Put32(bytes, bytes.size() - 6, random() % bytes.size());
            Put32(bytes, bytes.size() - 10, random() % bytes.size());
        }
        bool ok = false;
        const std::vector<ZipDirEntry> entries = Directory(bytes, &ok);
        readable += ok;
        for (std::size_t i = 0; i < entries.size() && i < 16; ++i)
            extracted += Read(bytes, entries[i]) != kNotFound;
    }
    // The damage reached the decoders, not only the record checks.
    EXPECT_GT(readable, 3000);
    EXPECT_GT(extracted, 15000);
}

TEST(ZipNames, TheIndexFindsWhatAWalkOfTheDirectoryFinds) {
    // Short names over few letters and both separators, many alike: endings of every kind meet.
    std::mt19937 random(2718);
    const char letters[] = "ab/\\.";
    const auto name = [&](const char* alphabet, std::size_t size) {
        std::string text(1 + random() % 6, 'a');
        for (char& c : text)
            c = alphabet[random() % size];
        return text;
    };
    for (int round = 0; round < 20; ++round) {
        std::vector<ZipDirEntry> entries(1 + random() % 300);
        for (ZipDirEntry& entry : entries)
            std::strcpy(entry.name, name(letters, 5).c_str());
        ZipNameIndex index;
        index.Build(entries);
        for (int ask = 0; ask < 500; ++ask) {
            const std::string request = name("aBb/\\.", 6);
            ASSERT_EQ(index.Find(request.c_str()), FindZipEntry(entries, request.c_str()))
                << "request " << request;
        }
        EXPECT_EQ(index.Find(""), -1);
        EXPECT_EQ(index.Find(nullptr), -1);
    }
}
