// Multiplayer: sending packets, the receive loop and its queue, the current message and the
// commands that read it or rebuild a memory block or media item from it.
#include "core/win32.h"

#include "multiplayer/multiplayer.h"
#include "multiplayer/multiplayer_state.h"
#include "multiplayer/net_packet.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <new>

namespace {

MultiplayerState& s = g_Multiplayer;

constexpr std::int32_t kScratchBlock = 257;
constexpr std::int32_t kLastSendBlock = 255;
constexpr std::int32_t kLastItem = 21999999;
constexpr std::int32_t kLastImage = 22000000;

using Convert = std::int32_t (*)(std::int32_t, std::int32_t);

// Raises error and returns false unless first <= n <= last.
bool InRange(std::int32_t n, std::int32_t first, std::int32_t last, std::int32_t error) {
    if (n >= first && n <= last) return true;
    RaiseRuntimeError(error);
    return false;
}

// Sends the bytes of an existing block.
void SendBlock(std::uint32_t type, std::int32_t player, std::int32_t guaranteed,
               std::int32_t block) {
    const MultiplayerBridges& b = s.bridges;
    if (!b.memblockPtr || !b.memblockSize) return;
    const std::uint8_t* data = b.memblockPtr(block);
    const std::int32_t size = b.memblockSize(block);
    if (data && size > 0) {
        SendNetPacket(type, player, guaranteed, data, static_cast<std::uint32_t>(size));
    }
}

// The numbers and errors of each kind of media item, on both sides.
struct MediaKind {
    std::uint32_t type;
    std::int32_t first, last, rangeError, missingError;
};
constexpr MediaKind kImageKind{kNetImage, 1, kLastImage, kImageNumberIllegal, kImageMissing};
constexpr MediaKind kBitmapKind{kNetBitmap, 0, kLastItem, kBitmapNumberIllegal, kBitmapMissing};
constexpr MediaKind kSoundKind{kNetSound, 1, kLastItem, kSoundNumberIllegal, kSoundMissing};
constexpr MediaKind kMeshKind{kNetMesh, 1, kLastItem, kMeshNumberIllegal, kMeshMissing};

bool TheScreen(std::int32_t) {
    return true;
}

// The item's number and existence, then the item turned into the scratch block and that sent. A
// failed conversion sends nothing: the block may still hold an older item.
void SendMediaItem(const MediaKind& kind, std::int32_t player, std::int32_t item,
                   std::int32_t guaranteed, bool (*exists)(std::int32_t), Convert toBlock) {
    if (!InRange(item, kind.first, kind.last, kind.rangeError)) return;
    if (!exists || !exists(item)) return RaiseRuntimeError(kind.missingError);
    // A conversion that runs out of memory sends nothing (101).
    if (toBlock && NoThrow(kStringNoMemory, 0, [&] { return toBlock(kScratchBlock, item); })) {
        SendBlock(kind.type, player, guaranteed, kScratchBlock);
    }
}

// What a queued record holds of the module's room.
std::size_t RecordBytes(const NetMessageQueue& message) {
    return message.data.capacity() + kNetRecordBytes;
}

// Room beside what is held for a message of this size: the buffer it is received into, and then
// its queued copy.
bool RoomFor(DWORD size) {
    const std::size_t held = s.queuedBytes + s.current.data.capacity();
    const std::size_t wanted = 2 * static_cast<std::size_t>(size) + kNetRecordBytes;
    return held <= kNetHeldBytes && wanted <= kNetHeldBytes - held;
}

// Appends a checked packet to the queue; anything else is dropped. False when it could not be
// queued for want of memory (101): the caller keeps it to queue later.
bool QueueNetMessage(const std::uint8_t* data, std::size_t size, DPID from, DPID to) {
    NetPacket packet;
    if (!ReadNetPacket(ByteSpan{data, size}, packet)) return true;
    NetMessageQueue message;
    message.type = packet.type;
    message.from = from;
    message.to = to;
    const std::size_t kept = packet.size + (packet.type == kNetText ? 1 : 0);
    try {
        message.data.assign(packet.data, packet.data + packet.size);
        message.data.resize(kept); // a text gets its terminator
        const std::size_t bytes = RecordBytes(message);
        s.queue.push_back(std::move(message));
        s.queuedBytes += bytes;
        return true;
    } catch (const std::exception&) {
        RaiseRuntimeError(kStringNoMemory);
        return false;
    }
}

// Receives one message into the connection's buffer, growing it as DirectPlay asks. S_FALSE when
// keeping: the message stays with DirectPlay, as there is no room to keep it yet.
HRESULT ReceiveOne(NetConnection& c, DPID& from, DPID& to, DWORD& size, bool keeping) {
    for (;;) {
        from = to = 0;
        size = c.receiveSize;
        const HRESULT hr = c.play->Receive(&from, &to, DPRECEIVE_ALL, c.receiveBuffer.get(), &size);
        if (hr != DPERR_BUFFERTOOSMALL) return hr;
        // Asking again for no more room than we have would go round for ever.
        if (size <= c.receiveSize) return hr;
        // One too large ever to keep would hold up every message behind it: it is taken.
        if (keeping && size <= kNetLargestMessage && !RoomFor(size)) return S_FALSE;
        c.receiveBuffer.reset(new (std::nothrow) std::uint8_t[size]);
        c.receiveSize = c.receiveBuffer ? size : 0;
        if (!c.receiveBuffer) {
            RaiseRuntimeError(kStringNoMemory); // the message stays with DirectPlay
            return E_OUTOFMEMORY;
        }
    }
}

void ReleaseReceiveBuffer(NetConnection& c) {
    c.receiveBuffer.reset();
    c.receiveSize = 0;
}

// Whether an unread notice set then is still kept from being replaced.
bool StillKept(const NetNoticeTime& set) {
    return s.frames < set.frame + 2 && s.receiveCalls < set.call + kNetNoticeKeptCalls;
}

// Whether handling the system message now would replace an arrival's (or a departure's) number
// that is still kept for the game.
bool NoticeMustWait(const std::uint8_t* data, std::size_t size) {
    const ByteSpan message{data, size};
    std::uint32_t type = 0, kind = 0;
    if (!message.U32(0, type) || !message.U32(4, kind) || kind != DPPLAYERTYPE_PLAYER) return false;
    const NetSessionEvents& e = s.events;
    if (type == DPSYS_CREATEPLAYERORGROUP) return e.created != 0 && StillKept(e.createdAt);
    if (type == DPSYS_DESTROYPLAYERORGROUP) return e.destroyed != 0 && StillKept(e.destroyedAt);
    return false;
}

DeferredSystemMessage PopDeferred(NetConnection& c) {
    const DeferredSystemMessage oldest = c.deferred[0];
    std::copy(c.deferred.begin() + 1, c.deferred.begin() + c.deferredCount, c.deferred.begin());
    --c.deferredCount;
    return oldest;
}

void HandleDeferred(const DeferredSystemMessage& message) {
    HandleNetSystemMessage(message.bytes.data(), message.size);
}

// Holds a system message back behind those held already; that ends the call's receiving, as a
// handled one does. When they fill the room, the oldest is handled first, as it would have been
// without holding: the drop never stops for them.
void DeferSystemMessage(NetConnection& c, const std::uint8_t* data, std::size_t size) {
    s.events.stopReceiving = 1;
    if (c.deferredCount == kNetDeferredMessages) HandleDeferred(PopDeferred(c));
    DeferredSystemMessage& held = c.deferred[c.deferredCount++];
    held = DeferredSystemMessage{};
    held.size = static_cast<std::uint8_t>(std::min(size, held.bytes.size()));
    if (held.size > 0) std::memcpy(held.bytes.data(), data, held.size);
}

// A system message taken is handled at once unless the call has handled one already (the drop
// takes past the one the receive loop stops at), others wait before it, or it must wait.
void TakeSystemMessage(NetConnection& c, const std::uint8_t* data, std::size_t size) {
    if (c.deferredCount == 0 && !s.events.stopReceiving && !NoticeMustWait(data, size)) {
        HandleNetSystemMessage(data, size);
    } else {
        DeferSystemMessage(c, data, size);
    }
}

// Hands over held-back system messages, oldest first, until one must still wait or one ended the
// call's receiving; true when the call must not receive: messages DirectPlay holds come after.
bool HandOverDeferred(NetConnection& c) {
    while (c.deferredCount > 0 && !s.events.stopReceiving) {
        const DeferredSystemMessage& oldest = c.deferred[0];
        if (NoticeMustWait(oldest.bytes.data(), oldest.size)) return true;
        HandleDeferred(PopDeferred(c));
    }
    return c.deferredCount > 0 || s.events.stopReceiving;
}

// A message taken from DirectPlay that could not be queued for want of memory waits in the
// receive buffer, ahead of everything DirectPlay still holds; false while it still cannot be.
bool QueuePending(NetConnection& c) {
    if (!c.pendingSize) return true;
    if (!QueueNetMessage(c.receiveBuffer.get(), c.pendingSize, c.pendingFrom, c.pendingTo))
        return false;
    c.pendingSize = 0;
    ReleaseReceiveBuffer(c);
    return true;
}

// Drains DirectPlay into the queue, as ReceiveNetMessages says; S_FALSE when DirectPlay may hold
// more.
HRESULT ReceiveIntoQueue(NetConnection& c) {
    if (!QueuePending(c)) return E_OUTOFMEMORY;
    for (int taken = 0; taken < kNetReceivesPerCall; ++taken) {
        if (s.queue.size() >= kNetQueueMessages) return S_FALSE;
        DPID from = 0, to = 0;
        DWORD size = 0;
        const HRESULT hr = ReceiveOne(c, from, to, size, true);
        if (hr == DPERR_NOMESSAGES) return S_OK;
        if (hr != DP_OK) return hr;
        // Never more than the buffer holds, whatever the size says.
        const std::size_t arrived = std::min<DWORD>(size, c.receiveSize);
        const bool tooLarge = c.receiveSize > kNetLargestMessage;
        if (from == DPID_SYSMSG) {
            TakeSystemMessage(c, c.receiveBuffer.get(), arrived);
        } else if (tooLarge) {
            ++s.droppedMessages;
        } else if (!QueueNetMessage(c.receiveBuffer.get(), arrived, from, to)) {
            c.pendingFrom = from;
            c.pendingTo = to;
            c.pendingSize = arrived;
            return E_OUTOFMEMORY;
        }
        ReleaseReceiveBuffer(c);
        // A dropped giant ends the loop too, so that no loop copies more than a few of them.
        if (s.events.stopReceiving || tooLarge) return S_FALSE;
    }
    return S_FALSE;
}

// What DirectPlay's receive queue and the module hold together beyond kNetHeldBytes, each of
// DirectPlay's messages costing a record as a queued one does; 0 when DirectPlay cannot say.
std::uint64_t HeldOverCap(const NetConnection& c) {
    // Zero first: Wine's DirectPlay succeeds without writing them.
    DWORD messages = 0, bytes = 0;
    if (FAILED(c.play->GetMessageQueue(0, 0, DPMESSAGEQUEUE_RECEIVE, &messages, &bytes))) return 0;
    const std::uint64_t held = std::uint64_t{bytes} + std::uint64_t{messages} * kNetRecordBytes +
                               s.queuedBytes + s.current.data.capacity() + c.receiveSize;
    return held > kNetHeldBytes ? held - kNetHeldBytes : 0;
}

// Takes DirectPlay's oldest messages and drops them until what was over the cap when it began is
// gone; what arrives meanwhile is left to the next call, so that a peer cannot keep one call
// dropping. System messages among them are never dropped (the player table depends on them), and
// none overwrites a notice before the game can read it: a game that asks once a frame sees every
// arrival and departure.
void DropOverCap(NetConnection& c) {
    for (std::uint64_t over = HeldOverCap(c); over > 0;) {
        DPID from = 0, to = 0;
        DWORD size = 0;
        if (ReceiveOne(c, from, to, size, false) != DP_OK) break;
        const std::size_t arrived = std::min<DWORD>(size, c.receiveSize);
        if (from == DPID_SYSMSG) {
            TakeSystemMessage(c, c.receiveBuffer.get(), arrived);
        } else {
            ++s.droppedMessages;
        }
        over -= std::min<std::uint64_t>(over, arrived + kNetRecordBytes);
        ReleaseReceiveBuffer(c);
    }
    ReleaseReceiveBuffer(c);
}

// The kind of message a rebuild reads: its data when the current message has that type.
const std::vector<std::uint8_t>* CurrentData(std::uint32_t type) {
    const CurrentNetMessage& m = s.current;
    return m.type == type && m.hasData && !m.data.empty() ? &m.data : nullptr;
}

// Block n made afresh with the bytes; false when it could not be made.
bool FillBlock(std::int32_t block, const std::vector<std::uint8_t>& bytes) {
    const MultiplayerBridges& b = s.bridges;
    if (!b.memblockExist || !b.deleteMemblock || !b.makeMemblock) return false;
    if (bytes.size() > 0x7FFFFFFF) return false;
    if (b.memblockExist(block)) b.deleteMemblock(block);
    std::uint8_t* to = b.makeMemblock(block, static_cast<std::int32_t>(bytes.size()));
    if (!to) return false;
    std::memcpy(to, bytes.data(), bytes.size());
    return true;
}

// Rebuilds the item from a message of its type through the scratch block; the data stays.
void RebuildMedia(const MediaKind& kind, std::int32_t item, Convert fromBlock,
                  std::int32_t blockError) {
    if (s.current.type != kind.type) return;
    if (!InRange(item, kind.first, kind.last, kind.rangeError)) return;
    const std::vector<std::uint8_t>* data = CurrentData(kind.type);
    if (!data) return;
    if (!FillBlock(kScratchBlock, *data)) return RaiseRuntimeError(blockError);
    if (fromBlock) NoThrow(kStringNoMemory, [&] { fromBlock(item, kScratchBlock); });
}

} // namespace

void SendNetPacket(std::uint32_t type, std::int32_t player, std::int32_t guaranteed,
                   const void* data, std::uint32_t size) {
    if (!InNetGame() || !s.connection->play) return RaiseRuntimeWarning(kNoGame);
    if (!InRange(player, 0, kLastPlayer, kPlayerNumberIllegal)) return;
    const DPID to = player == 0 ? DPID_ALLPLAYERS : s.players[player];
    if (player != 0 && !to) return RaiseRuntimeWarning(kPlayerSlotEmpty);
    std::vector<std::uint8_t> packet;
    if (!BuildNetPacket(type, data, size, packet)) return RaiseRuntimeError(kStringNoMemory);
    NetConnection& c = *s.connection;
    c.play->Send(c.localPlayer, to, guaranteed == 1 ? DPSEND_GUARANTEED : 0, packet.data(),
                 static_cast<DWORD>(packet.size()));
}

void SendNetMessageInteger(std::int32_t player, std::int32_t value) {
    SendNetPacket(kNetInteger, player, 0, &value, 4);
}

void SendNetMessageFloat(std::int32_t player, float value) {
    SendNetPacket(kNetFloat, player, 0, &value, 4);
}

void SendNetMessageString(std::int32_t player, const char* text) {
    if (!text) text = "";
    SendNetPacket(kNetText, player, 0, text, static_cast<std::uint32_t>(std::strlen(text) + 1));
}

void SendNetMessageMemblock(std::int32_t player, std::int32_t block) {
    SendNetMessageMemblock(player, block, 0);
}

void SendNetMessageMemblock(std::int32_t player, std::int32_t block, std::int32_t guaranteed) {
    if (!InRange(block, 1, kLastSendBlock, kMemblockNumberIllegal)) return;
    if (!s.bridges.memblockExist || !s.bridges.memblockExist(block)) {
        return RaiseRuntimeError(kMemblockMissing);
    }
    SendBlock(kNetMemblock, player, guaranteed, block);
}

void SendNetMessageImage(std::int32_t player, std::int32_t image, std::int32_t guaranteed) {
    SendMediaItem(kImageKind, player, image, guaranteed, s.bridges.imageExist,
                  s.bridges.memblockFromImage);
}

void SendNetMessageBitmap(std::int32_t player, std::int32_t bitmap, std::int32_t guaranteed) {
    // Bitmap 0 is the screen, which always exists.
    SendMediaItem(kBitmapKind, player, bitmap, guaranteed,
                  bitmap == 0 ? TheScreen : s.bridges.bitmapExist, s.bridges.memblockFromBitmap);
}

void SendNetMessageSound(std::int32_t player, std::int32_t sound, std::int32_t guaranteed) {
    SendMediaItem(kSoundKind, player, sound, guaranteed, s.bridges.soundExist,
                  s.bridges.memblockFromSound);
}

void SendNetMessageMesh(std::int32_t player, std::int32_t mesh, std::int32_t guaranteed) {
    // Meshes are numbered apart from objects: the mesh itself must exist.
    SendMediaItem(kMeshKind, player, mesh, guaranteed, s.bridges.meshExist,
                  s.bridges.memblockFromMesh);
}

HRESULT ReceiveNetMessages() {
    if (!s.connection || !s.connection->play) return S_OK;
    NetConnection& c = *s.connection;
    ++s.receiveCalls;
    s.events.stopReceiving = 0;
    // What the queue has no room for stays with DirectPlay, and so does what one call leaves, as
    // long as the two together stay within the cap.
    const HRESULT hr = HandOverDeferred(c) ? S_FALSE : ReceiveIntoQueue(c);
    // The drop receives into the buffer a message waiting there still needs.
    if (hr == S_FALSE && !c.pendingSize) DropOverCap(c);
    return hr;
}

void HandleNetSystemMessage(const std::uint8_t* data, std::size_t size) {
    const ByteSpan message{data, size};
    std::uint32_t type = 0, id = 0;
    if (!message.U32(0, type)) return;
    switch (type) {
    case DPSYS_SESSIONLOST:
        s.events.sessionLost = 1;
        s.sessionState = 0;
        break;
    case DPSYS_CREATEPLAYERORGROUP:
    case DPSYS_DESTROYPLAYERORGROUP: {
        std::uint32_t kind = 0;
        if (!message.U32(4, kind) || !message.U32(8, id)) return;
        if (kind != DPPLAYERTYPE_PLAYER) return; // a group holds no player number
        if (type == DPSYS_CREATEPLAYERORGROUP) {
            s.events.created = NetPlayerArrived(id);
            s.events.createdAt = {s.frames, s.receiveCalls};
        } else {
            s.events.destroyed = NetPlayerLeft(id);
            s.events.destroyedAt = {s.frames, s.receiveCalls};
        }
        break;
    }
    case DPSYS_HOST:
        s.events.becameHost = 1;
        break;
    default:
        return;
    }
    s.events.stopReceiving = 1;
}

void ReleaseCurrentNetData() {
    s.current.hasData = false;
    std::vector<std::uint8_t>().swap(s.current.data);
}

void GetNetMessage() {
    if (!InNetGame()) return RaiseRuntimeWarning(kNoGame);
    ++s.frames;
    ReleaseCurrentNetData(); // first, so that its room serves the receive
    ReceiveNetMessages();
    CurrentNetMessage& current = s.current;
    if (s.queue.empty()) {
        current.type = kNetNone;
        current.available = 0;
        return;
    }
    s.queuedBytes -= RecordBytes(s.queue.front());
    NetMessageQueue message = std::move(s.queue.front());
    s.queue.pop_front();
    ++s.messagesTaken;
    FreeReadPlayerSlots();
    current.type = message.type;
    current.from = message.from;
    current.to = message.to;
    current.available = 1;
    current.value = 0;
    if (message.type == kNetInteger || message.type == kNetFloat) {
        std::memcpy(&current.value, message.data.data(), 4);
    } else if (!message.data.empty()) {
        current.data = std::move(message.data);
        current.hasData = true;
    }
}

std::int32_t NetMessageExists() {
    return InNetGame() ? s.current.available : 0;
}

std::int32_t NetMessageType() {
    return static_cast<std::int32_t>(s.current.type);
}

std::int32_t NetMessagePlayerFrom() {
    return PlayerSlotFor(s.current.from);
}

std::int32_t NetMessagePlayerTo() {
    return PlayerSlotFor(s.current.to);
}

std::int32_t NetMessageInteger() {
    return s.current.type == kNetInteger ? static_cast<std::int32_t>(s.current.value) : 0;
}

float NetMessageFloat() {
    return s.current.type == kNetFloat ? std::bit_cast<float>(s.current.value) : 0.0f;
}

char* NetMessageString(char* oldString) {
    char text[kNetTextLimit + 1] = {};
    const std::vector<std::uint8_t>* data = InNetGame() ? CurrentData(kNetText) : nullptr;
    if (data) {
        const auto* chars = reinterpret_cast<const char*>(data->data());
        std::memcpy(text, chars,
                    strnlen(chars, std::min<std::size_t>(data->size(), kNetTextLimit)));
    }
    char* result = ReplaceModuleString(s.core, nullptr, text, std::strlen(text));
    // Out of memory (101) the caller keeps its previous string, and the message stays to be read.
    if (!result) return oldString;
    if (oldString) ResizeModuleString(s.core, &oldString, 0);
    // A text is read once.
    if (s.current.type == kNetText) ReleaseCurrentNetData();
    return result;
}

void NetMessageMemblock(std::int32_t block) {
    if (s.current.type != kNetMemblock) return;
    if (!InRange(block, 1, kLastSendBlock, kMemblockNumberIllegal)) return;
    const std::vector<std::uint8_t>* data = CurrentData(kNetMemblock);
    if (!data || !FillBlock(block, *data)) return RaiseRuntimeError(kMemblockNoMemory);
    ReleaseCurrentNetData();
}

void NetMessageImage(std::int32_t image) {
    RebuildMedia(kImageKind, image, s.bridges.imageFromMemblock, kMediaBlockNotMade);
}

void NetMessageBitmap(std::int32_t bitmap) {
    RebuildMedia(kBitmapKind, bitmap, s.bridges.bitmapFromMemblock, kMediaBlockNotMade);
}

void NetMessageSound(std::int32_t sound) {
    RebuildMedia(kSoundKind, sound, s.bridges.soundFromMemblock, kSoundPositionIllegal);
}

void NetMessageMesh(std::int32_t mesh) {
    RebuildMedia(kMeshKind, mesh, s.bridges.meshFromMemblock, kMediaBlockNotMade);
}
