#include "core/win32.h"

#include "codecs/crc32.h"
#include "world/archive_fixtures.h"
#include "world/pk3_archive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

class ZipMembers : public ::testing::Test {
protected:
    void TearDown() override { CloseZipArchives(); }
};

// The members of the build's source folder that hold bytes.
const char* const kFiles[] = {"Textures/Wall.TGA",   "big.txt",
                              "maps/data.bsp",       "scripts/a.shader.bak",
                              "scripts/base.shader", "stored40k.bin"};

std::uint32_t BitwiseCrc(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::uint32_t Crc(const std::string& bytes, std::uint32_t crc = 0) {
    return Crc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), crc);
}

} // namespace

TEST(Crc32, KnownValuesEveryLengthAndContinuation) {
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(""), 0u);
    std::mt19937 random(32);
    std::string bytes(300, 0);
    for (auto& b : bytes)
        b = static_cast<char>(random());
    // Every length and start, so that the eight-at-a-time path meets every tail.
    for (std::size_t start = 0; start < 8; ++start)
        for (std::size_t n = 0; n + start <= bytes.size(); n += 7)
            ASSERT_EQ(Crc(bytes.substr(start, n)), BitwiseCrc(bytes.substr(start, n))) << n;
    EXPECT_EQ(Crc(bytes.substr(123), Crc(bytes.substr(0, 123))), Crc(bytes));
}

TEST_F(ZipMembers, StoredMemberOf40000BytesPassesTheWindowTwiceUnchanged) {
    const std::string original = OriginalBytes("stored40k.bin");
    ASSERT_EQ(original.size(), 40000u);
    EXPECT_TRUE(Extracted(ArchivePath("zip-0.zip"), "stored40k.bin") == original);
    EXPECT_TRUE(Extracted(ArchivePath("py-methods.zip"), "stored/scripts/base.shader") ==
                OriginalBytes("scripts/base.shader"));
}

TEST_F(ZipMembers, DeflateOfEveryLevelAndBlockKindDecodes) {
    for (int level = 0; level <= 9; ++level) {
        const std::string archive = ArchivePath("zip-" + std::to_string(level) + ".zip");
        for (const char* file : kFiles)
            EXPECT_TRUE(Extracted(archive, file) == OriginalBytes(file)) << level << " " << file;
    }
    const std::string kinds = ArchivePath("py-deflate.zip");
    EXPECT_TRUE(Extracted(kinds, "fixed/big.txt") == OriginalBytes("big.txt"));
    EXPECT_TRUE(Extracted(kinds, "dynamic/maps/data.bsp") == OriginalBytes("maps/data.bsp"));
    EXPECT_TRUE(Extracted(kinds, "blocks/big.txt") == OriginalBytes("big.txt"));
    EXPECT_TRUE(Extracted(ArchivePath("py-methods.zip"), "deflated/scripts/base.shader") ==
                OriginalBytes("scripts/base.shader"));
}

TEST_F(ZipMembers, DataDescriptorMembersDecodeWithTheDirectorySizes) {
    for (const TestMember& m : MembersOf(ArchivePath("zip-descriptor.zip")))
        EXPECT_TRUE(m.flags & 8) << m.name << ": made without a data descriptor";
    for (const char* file : {"big.txt", "maps/data.bsp", "stored40k.bin"})
        EXPECT_TRUE(Extracted(ArchivePath("zip-descriptor.zip"), file) == OriginalBytes(file))
            << file;
    EXPECT_TRUE(Extracted(ArchivePath("py-deflate.zip"), "descriptor/maps/data.bsp") ==
                OriginalBytes("maps/data.bsp"));
}

TEST_F(ZipMembers, EncryptedUnknownAndEmptyMembersAreNotFound) {
    EXPECT_EQ(Extracted(ArchivePath("zip-encrypted.zip"), "base.shader"), kNotFound);
    EXPECT_EQ(Extracted(ArchivePath("zip-encrypted.zip"), "data.bsp"), kNotFound);
    EXPECT_EQ(Extracted(ArchivePath("zip-bzip2.zip"), "base.shader"), kNotFound);
    const std::string methods = ArchivePath("py-methods.zip");
    EXPECT_EQ(Extracted(methods, "bzip2/scripts/base.shader"), kNotFound);
    EXPECT_EQ(Extracted(methods, "lzma/scripts/base.shader"), kNotFound);
    EXPECT_EQ(Extracted(ArchivePath("py-deflate.zip"), "deflate64/maps/data.bsp"), kNotFound);
    // An archive with a comment after its end record cannot be read at all.
    EXPECT_EQ(Extracted(ArchivePath("zip-comment.zip"), "base.shader"), kNotFound);
    for (int level : {0, 6}) {
        const std::string archive = ArchivePath("zip-" + std::to_string(level) + ".zip");
        EXPECT_EQ(Extracted(archive, "empty.txt"), kNotFound);
        EXPECT_EQ(Extracted(archive, "emptydir/"), kNotFound);
    }
}

TEST_F(ZipMembers, OldMethodsDecodeToTheReferenceBytes) {
    // Shrink with code growth, partial clears and a full table; reduce with factors 1 to 4;
    // implode with either dictionary, with and without a literal tree, copies reaching into the
    // zeros before the start.
    for (const char* name :
         {"shrink-small.txt", "shrink-clears.bin", "shrink-full.txt", "implode-4k.bin",
          "implode-8k.bin", "implode-4k-tree.txt", "implode-8k-tree.bin"})
        EXPECT_TRUE(Extracted(ArchivePath("legacy-unzip.zip"), name) ==
                    OriginalBytes(std::string("legacy/") + name))
            << name;
    for (int factor = 1; factor <= 4; ++factor) {
        const std::string name = "reduce-" + std::to_string(factor) + ".bin";
        EXPECT_TRUE(Extracted(ArchivePath("legacy-reduce.zip"), name) ==
                    OriginalBytes("legacy/" + name))
            << name;
    }
    for (const TestMember& m : MembersOf(ArchivePath("small.zip")))
        EXPECT_TRUE(Extracted(ArchivePath("small.zip"), m.name) ==
                    OriginalBytes("legacy/small.bin"))
            << m.name;
}
