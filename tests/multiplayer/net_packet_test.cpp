// The packet reader on bytes at the very end of readable memory: a read past what arrived crashes.
#include "core/win32.h"

#include "multiplayer/net_packet.h"
#include "net_fixture.h"
#include "support/guarded_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Read(const std::string& bytes, NetPacket& out) {
    GuardedBytes guarded(bytes);
    return ReadNetPacket(ByteSpan{guarded.Data(), guarded.Size()}, out);
}

} // namespace

TEST(NetPacket, OnlyWholePacketsOfKnownTypesAreRead) {
    const std::string whole[] = {
        Packet(1, "\x01\x02\x03\x04"), Packet(2, std::string("\0\0\xC0\x3F", 4)),
        Packet(3, std::string("text", 5)), Packet(4, "block"), Packet(8, std::string(40, '\x11'))};
    for (const std::string& bytes : whole) {
        NetPacket view;
        ASSERT_TRUE(Read(bytes, view)) << bytes.size();
        EXPECT_EQ(view.type, static_cast<std::uint32_t>(bytes[0]));
        // Every shorter arrival is dropped.
        for (std::size_t n = 0; n < bytes.size(); ++n)
            EXPECT_FALSE(Read(bytes.substr(0, n), view)) << n << " of " << bytes.size();
    }
    NetPacket view;
    EXPECT_TRUE(Read(Packet(4, "abc") + "trailing", view));
    EXPECT_EQ(view.size, 3u) << "bytes after N are not the packet's";
    EXPECT_TRUE(Read(Packet(5, ""), view));
    EXPECT_EQ(view.size, 0u);
    EXPECT_FALSE(Read(Packet(1, "\x01\x02\x03"), view));
    EXPECT_FALSE(Read(Packet(2, "\x01\x02\x03\x04\x05"), view));
    EXPECT_FALSE(Read(Packet(0, "abcd"), view));
    EXPECT_FALSE(Read(Packet(9, "abcd"), view));
    std::string claimsMore = Packet(4, "ab");
    claimsMore[7] = '\xFF'; // N near 4 GB
    EXPECT_FALSE(Read(claimsMore, view));
}

TEST(NetPacket, TextsEndAtTheirZeroTheirDataOr255Characters) {
    NetPacket view;
    ASSERT_TRUE(Read(Packet(3, "abc"), view)); // no terminator, at the end of memory
    EXPECT_EQ(view.size, 3u);
    ASSERT_TRUE(Read(Packet(3, std::string("ab\0cd", 5)), view));
    EXPECT_EQ(view.size, 2u);
    ASSERT_TRUE(Read(Packet(3, std::string(1000, 'q')), view));
    EXPECT_EQ(view.size, 255u);
    ASSERT_TRUE(Read(Packet(3, ""), view));
    EXPECT_EQ(view.size, 0u);
}

TEST(NetPacket, RandomBytesNeverReadPastTheirEnd) {
    std::uint32_t seed = 777;
    for (int i = 0; i < 2000; ++i) {
        std::string bytes((seed >> 8) % 64, '\0');
        for (char& b : bytes) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<char>(seed >> 24);
        }
        // Small types and lengths, so that many of them are nearly packets.
        if (bytes.size() >= 8) {
            bytes[0] = static_cast<char>(seed % 10);
            bytes[1] = bytes[2] = bytes[3] = 0;
            bytes[4] = static_cast<char>((seed >> 4) % 70);
            bytes[5] = bytes[6] = bytes[7] = 0;
        }
        NetPacket view;
        if (Read(bytes, view)) {
            EXPECT_LE(view.size + 8u, bytes.size());
            EXPECT_GE(view.type, 1u);
            EXPECT_LE(view.type, 8u);
        }
    }
}

TEST(NetPacket, BuiltPacketsReadBack) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(BuildNetPacket(7, "wave", 4, bytes));
    NetPacket view;
    ASSERT_TRUE(Read(std::string(bytes.begin(), bytes.end()), view));
    EXPECT_EQ(view.type, 7u);
    EXPECT_EQ(view.size, 4u);
    EXPECT_FALSE(BuildNetPacket(4, "", 0xFFFFFFFCu, bytes)) << "no room for the header";
}
