// The multiplayer module's state and the helpers its source files share.
#pragma once

#include "multiplayer/directplay_seam.h"
#include "core/com_ptr.h"
#include "core/core_data.h"
#include "core/error_numbers.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

constexpr std::int32_t kProviderSlots = 64;
constexpr std::int32_t kSessionSlots = 256;
constexpr std::int32_t kPlayerSlots = 256; // numbers 1..255; entry 0 is never used
constexpr std::int32_t kLastPlayer = kPlayerSlots - 1;
constexpr std::size_t kNameBytes = 256; // every kept name or text: 255 characters and a zero

// What peers can make the module hold. The queue, the current message's data and the buffer a
// message is being received into stay within kNetHeldBytes together; a message there is no room
// for stays with DirectPlay until reads make room, unless what DirectPlay holds for the game
// takes the whole past kNetHeldBytes: that excess is taken and dropped. A message is received
// whole and then copied, so one larger than half the room could never be kept: it is dropped too.
constexpr std::size_t kNetHeldBytes = std::size_t{64} << 20;
constexpr std::size_t kNetQueueMessages = 4096;
// What a queued record costs beside its data (the record and the heap's bookkeeping).
constexpr std::size_t kNetRecordBytes = 64;
constexpr std::size_t kNetLargestMessage = (kNetHeldBytes - kNetRecordBytes) / 2;
// One receive loop takes at most this many messages, so that no call lasts long.
constexpr int kNetReceivesPerCall = 256;
// System messages that may wait for notices the game has not read yet.
constexpr std::size_t kNetDeferredMessages = 16;
// An unread arrival or departure is kept from being replaced until the game has called
// GetNetMessage twice (a game asking once a frame has then asked) or made this many receiving
// calls (a game that asks without reading messages).
constexpr std::uint64_t kNetNoticeKeptCalls = 16;

// Every session this module creates or looks for carries it.
extern const GUID kNetApplicationGuid;

// An installed service provider that initialised when it was enumerated.
struct NetProvider {
    GUID guid{};
    char name[kNameBytes] = {};
    std::vector<std::uint8_t> connection; // the enumeration's connection block
};

// A session found by the last enumeration.
struct NetSession {
    GUID instance{};
    char text[kNameBytes] = {}; // "name (players/maximum)"
    std::uint32_t currentPlayers = 0;
    std::uint32_t maximumPlayers = 0;
};

// A system message held back (see ReceiveNetMessages): its first words, all the handler reads.
struct DeferredSystemMessage {
    std::array<std::uint8_t, 12> bytes{};
    std::uint8_t size = 0;
};

// The network: made by the first command that needs it, freed by FreeNetGame and the Destructor.
struct NetConnection {
    DPID localPlayer = 0;
    ComPtr<IDirectPlay4A> play;
    HANDLE event = nullptr; // given to CreatePlayer; null, so messages are polled
    // Holds one message while Receive fills it; freed after every message, unless that message
    // could not be queued for want of memory: it then waits here (pendingSize bytes, above 0),
    // to be queued first by the next receive.
    std::unique_ptr<std::uint8_t[]> receiveBuffer;
    DWORD receiveSize = 0;
    std::size_t pendingSize = 0;
    DPID pendingFrom = 0, pendingTo = 0;
    // Oldest first; they come before anything DirectPlay still holds. Emptied when the session
    // is left.
    std::array<DeferredSystemMessage, kNetDeferredMessages> deferred{};
    std::size_t deferredCount = 0;
    std::int32_t chosenSession = 0; // 0-based
    bool initialised = false;       // `play` has had a successful InitializeConnection
    bool opened = false;            // `play` holds an open session
    std::array<NetProvider, kProviderSlots> providers;
    std::int32_t providerCount = 0;
    std::int32_t selectedProvider = 0;
    std::array<NetSession, kSessionSlots> sessions;
    std::int32_t sessionCount = 0;
    bool outOfMemory = false; // a provider's block could not be kept while it was made
};

// When a notice was set: MultiplayerState::frames and receiveCalls.
struct NetNoticeTime {
    std::uint64_t frame = 0;
    std::uint64_t call = 0;
};

// Set by the system messages the receive loop sees; each query clears its own.
struct NetSessionEvents {
    std::uint8_t sessionLost = 0;
    // Player numbers, given when the arrival or departure was received: a departed player's slot
    // may be free again by the time the game asks.
    std::int32_t created = 0;
    std::int32_t destroyed = 0;
    NetNoticeTime createdAt;
    NetNoticeTime destroyedAt;
    std::uint32_t becameHost = 0;
    std::uint8_t stopReceiving = 0; // a session event ends the current receive loop
};

// A received message waiting in the queue, already checked.
struct NetMessageQueue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data; // a text holds its characters and a zero
    DPID from = 0;
    DPID to = 0;
};

// The message GetNetMessage made current.
struct CurrentNetMessage {
    std::uint8_t available = 0;
    std::uint32_t type = 0;
    DPID from = 0;
    DPID to = 0;
    std::uint32_t value = 0; // the four bytes of an integer or float
    // Texts and blocks: a copy of the data, until a reader or the next message releases it.
    bool hasData = false;
    std::vector<std::uint8_t> data;
};

// The memory-block and media functions, taken by PassCoreData.
struct MultiplayerBridges {
    std::int32_t (*memblockExist)(std::int32_t) = nullptr;
    std::uint8_t* (*memblockPtr)(std::int32_t) = nullptr;
    std::int32_t (*memblockSize)(std::int32_t) = nullptr;
    std::uint8_t* (*makeMemblock)(std::int32_t, std::int32_t) = nullptr;
    void (*deleteMemblock)(std::int32_t) = nullptr;
    std::int32_t (*memblockFromImage)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*memblockFromBitmap)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*memblockFromSound)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*memblockFromMesh)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*imageFromMemblock)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*bitmapFromMemblock)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*soundFromMemblock)(std::int32_t, std::int32_t) = nullptr;
    std::int32_t (*meshFromMemblock)(std::int32_t, std::int32_t) = nullptr;
    bool (*imageExist)(std::int32_t) = nullptr;
    bool (*bitmapExist)(std::int32_t) = nullptr;
    bool (*soundExist)(std::int32_t) = nullptr;
    bool (*meshExist)(std::int32_t) = nullptr; // raises 7001 and 7003 itself
};

// Lives from MultiplayerConstructor to MultiplayerDestructor; only this module writes it.
struct MultiplayerState {
    CoreData* core = nullptr;
    MultiplayerBridges bridges;
    std::unique_ptr<NetConnection> connection;
    // DirectPlay identifiers by player number; 0 is a free slot.
    std::array<DPID, kPlayerSlots> players{};
    // A departed player's slot is kept until the messages that name it have been read: it is freed
    // once messagesTaken reaches its entry (0: not departing).
    std::array<std::uint64_t, kPlayerSlots> releaseAt{};
    std::int32_t sessionState = 0; // 0 none, 1 hosting, 2 joined
    NetSessionEvents events;
    // Received messages, oldest first; they outlive FreeNetGame.
    std::deque<NetMessageQueue> queue;
    std::size_t queuedBytes = 0;     // the queue's data and records
    std::uint64_t messagesTaken = 0; // records GetNetMessage has made current
    std::uint64_t frames = 0;        // GetNetMessage calls: a game makes one a frame
    std::uint64_t receiveCalls = 0;  // ReceiveNetMessages calls
    // Player messages taken from DirectPlay and dropped for want of room: over kNetHeldBytes
    // together with DirectPlay's receive queue, or larger than kNetLargestMessage.
    std::uint64_t droppedMessages = 0;
    CurrentNetMessage current;
};

extern MultiplayerState g_Multiplayer;

// A new DirectPlay object or lobby through the creators.
HRESULT MakeDirectPlay(DWORD classContext, ComPtr<IDirectPlay4A>& out);
HRESULT MakeLobby(ComPtr<IDirectPlayLobby2A>& out);

// The connection, made (with its providers enumerated) when there is none; null without memory.
NetConnection* NetConnectionForCommand();
// Makes and readies the network when there is none; a join's index then becomes 0.
bool EnsureNetReady(std::int32_t* sessionIndex = nullptr);
// Fills the session table from DirectPlay; false when the enumeration failed.
bool EnumerateNetSessions(NetConnection& connection);
// Destroys the local player and closes the session open on the interface, if any; the module is
// then in no game.
void LeaveNetSession(NetConnection& connection);
// Leaves the session and frees the connection, if any.
void CloseNetConnection();

// A connection exists and the session state is above 0.
bool InNetGame();
// The player number of a DirectPlay identifier, registering a new one; -1 when the table is full,
// 0 for identifier 0 (every player, or none).
std::int32_t PlayerSlotFor(DPID id);
// A remote player arrived or left (its system message was received); its number.
std::int32_t NetPlayerArrived(DPID id);
std::int32_t NetPlayerLeft(DPID id);
// Frees the slots of departed players whose messages have all been read.
void FreeReadPlayerSlots();
// Empties one slot, or every slot.
void FreePlayerSlot(std::int32_t player);
void ClearPlayerSlots();

// Drains DirectPlay into the queue until it has nothing more, a session event was seen, the queue
// has no room for the next message, or the call has taken kNetReceivesPerCall messages. Then, if
// DirectPlay's receive queue and the module's hold more than kNetHeldBytes together, DirectPlay's
// oldest messages are dropped until they no longer do (system messages among them are handled).
// A system message is held back instead when the call has handled one already, or when it would
// replace an arrival's (or departure's) number the game has not read and is still kept for it
// (kNetNoticeKeptCalls); later calls hand the held ones over first.
HRESULT ReceiveNetMessages();
// The system-message handler: session lost, player created or destroyed, host migrated here.
void HandleNetSystemMessage(const std::uint8_t* data, std::size_t size);
// Frees the current message's copy of its data.
void ReleaseCurrentNetData();

// Builds and sends one packet after the connection and player checks.
void SendNetPacket(std::uint32_t type, std::int32_t player, std::int32_t guaranteed,
                   const void* data, std::uint32_t size);

// Writes the texts into checklist rows 0.., each row reserved for the longest text; the flags as
// given. Rows with a null text keep an empty one. False when the rows cannot be had: 101, and the
// checklist as it was.
bool FillNetChecklist(const char* const* texts, std::size_t count, std::uint8_t hasValues);

// Copies at most 255 characters of text (null counts as empty) and a zero into a kept name.
void CopyNetName(char (&to)[kNameBytes], const char* text);
