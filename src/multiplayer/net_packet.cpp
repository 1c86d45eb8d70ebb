// Net packets: reading what a peer sent, never past what arrived, and building what we send.
#include "core/win32.h"

#include "multiplayer/net_packet.h"

#include <cstring>
#include <exception>

bool ReadNetPacket(ByteSpan bytes, NetPacket& out) {
    out = NetPacket{};
    std::uint32_t type = 0, size = 0;
    if (!bytes.U32(0, type) || !bytes.U32(4, size)) return false;
    if (type < kNetInteger || type > kNetMesh) return false;
    if (!bytes.Has(kNetPacketHeader, size)) return false;
    if ((type == kNetInteger || type == kNetFloat) && size != 4) return false;
    out.type = type;
    out.data = bytes.data + kNetPacketHeader;
    out.size = size;
    // A peer's text may lack its terminator or run long: it ends at the first zero, the end of
    // the data or 255 characters, whichever comes first.
    if (type == kNetText) {
        const void* zero = std::memchr(out.data, 0, size);
        if (zero)
            out.size =
                static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - out.data);
        if (out.size > kNetTextLimit) out.size = kNetTextLimit;
    }
    return true;
}

bool CopyNetBytes(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    try {
        out.assign(data, data + size);
        return true;
    } catch (const std::exception&) {
        std::vector<std::uint8_t>().swap(out);
        return false;
    }
}

bool BuildNetPacket(std::uint32_t type, const void* data, std::uint32_t size,
                    std::vector<std::uint8_t>& out) {
    if (size > 0xFFFFFFFFu - kNetPacketHeader) return false;
    try {
        out.assign(kNetPacketHeader + static_cast<std::size_t>(size), 0);
    } catch (const std::exception&) {
        std::vector<std::uint8_t>().swap(out);
        return false;
    }
    std::memcpy(out.data(), &type, 4);
    std::memcpy(out.data() + 4, &size, 4);
    if (size) std::memcpy(out.data() + kNetPacketHeader, data, size);
    return true;
}
