// The wire format of net messages: one DirectPlay message body per packet, a type word, a byte
// count N and N data bytes, little-endian. Reading checks every length against what arrived.
#pragma once

#include "core/byte_span.h"

#include <cstdint>
#include <vector>

enum NetMessageKind : std::uint32_t {
    kNetNone = 0,
    kNetInteger = 1,
    kNetFloat = 2,
    kNetText = 3,
    kNetMemblock = 4,
    kNetImage = 5,
    kNetBitmap = 6,
    kNetSound = 7,
    kNetMesh = 8,
};

constexpr std::uint32_t kNetPacketHeader = 8;
constexpr std::uint32_t kNetTextLimit = 255; // characters a received text keeps

// A received packet's type and the data it carries, pointing into the received bytes.
struct NetPacket {
    std::uint32_t type = kNetNone;
    const std::uint8_t* data = nullptr;
    // Bytes of data; for a text, its characters (up to the first zero, at most 255), without
    // the terminator.
    std::uint32_t size = 0;
};

// False for what is dropped: fewer than 8 bytes, N beyond the bytes that arrived, a type outside
// 1..8, or an integer or float whose N is not 4. Bytes after the N data bytes are ignored.
bool ReadNetPacket(ByteSpan bytes, NetPacket& out);

// The packet's bytes into out (replacing what it held); false when the memory cannot be had.
bool BuildNetPacket(std::uint32_t type, const void* data, std::uint32_t size,
                    std::vector<std::uint8_t>& out);

// out holds a copy of the bytes; false (out emptied) when the memory cannot be had.
bool CopyNetBytes(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);
