// Multiplayer: the module entries, the functions it takes from other modules, the DirectPlay
// creators, player numbers and the session-event queries.
#include "core/win32.h"

#include "multiplayer/multiplayer.h"
#include "multiplayer/multiplayer_state.h"
#include "bitmap/bitmap.h"
#include "core/checklist.h"
#include "core/core.h"
#include "image/image.h"
#include "memblock/memblock.h"
#include "object3d/object3d.h"
#include "sound/sound.h"

#include <algorithm>
#include <cstring>
#include <utility>

MultiplayerState g_Multiplayer;

const GUID kNetApplicationGuid = {
    0x7D2F0893, 0x0B73, 0x48FF, {0xAE, 0x7F, 0x66, 0x83, 0xEC, 0x72, 0x6B, 0x21}};

namespace {

MultiplayerState& s = g_Multiplayer;

HRESULT PlatformDirectPlay(DWORD classContext, IDirectPlay4A** out) {
    return CoCreateInstance(CLSID_DirectPlay, nullptr, classContext, IID_IDirectPlay4A,
                            reinterpret_cast<void**>(out));
}

HRESULT PlatformLobby(IDirectPlayLobbyA** out) {
    return DirectPlayLobbyCreateA(nullptr, out, nullptr, nullptr, 0);
}

// Outlives module restarts: tests set it before the engine starts the module.
DirectPlayCreators g_Creators{PlatformDirectPlay, PlatformLobby};

// The event queries see pending system messages first.
void ReceiveForEvents() {
    if (s.connection) ReceiveNetMessages();
}

} // namespace

void SetDirectPlayCreators(const DirectPlayCreators& creators) {
    g_Creators.createDirectPlay =
        creators.createDirectPlay ? creators.createDirectPlay : PlatformDirectPlay;
    g_Creators.createLobby = creators.createLobby ? creators.createLobby : PlatformLobby;
}

HRESULT MakeDirectPlay(DWORD classContext, ComPtr<IDirectPlay4A>& out) {
    const HRESULT hr = g_Creators.createDirectPlay(classContext, out.PutAddress());
    if (FAILED(hr)) out.Reset();
    return out ? hr : (FAILED(hr) ? hr : E_NOINTERFACE);
}

HRESULT MakeLobby(ComPtr<IDirectPlayLobby2A>& out) {
    out.Reset();
    ComPtr<IDirectPlayLobbyA> lobby;
    HRESULT hr = g_Creators.createLobby(lobby.PutAddress());
    if (FAILED(hr) || !lobby) return FAILED(hr) ? hr : E_NOINTERFACE;
    hr = lobby->QueryInterface(IID_IDirectPlayLobby2A, out.PutVoid());
    if (FAILED(hr)) out.Reset();
    return out ? hr : (FAILED(hr) ? hr : E_NOINTERFACE);
}

void MultiplayerConstructor() {
    s.connection.reset();
    s.current = CurrentNetMessage{};
    s.queue.clear();
    s.queuedBytes = 0;
    s.messagesTaken = 0;
    s.droppedMessages = 0;
    s.frames = s.receiveCalls = 0;
    ClearPlayerSlots();
    s.sessionState = 0;
    s.events = NetSessionEvents{};
    s.bridges = MultiplayerBridges{};
}

void MultiplayerDestructor() {
    ReleaseCurrentNetData();
    CloseNetConnection();
    // Nothing reads the queue after the module stops.
    std::deque<NetMessageQueue>().swap(s.queue);
    s.queuedBytes = 0;
}

void MultiplayerSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void MultiplayerPassCoreDataExport(CoreData* core) {
    s.core = core;
    MultiplayerBridges& b = s.bridges;
    b.memblockExist = MemblockExistExport;
    b.memblockPtr = GetMemblockPtrExport;
    b.memblockSize = GetMemblockSizeExport;
    b.makeMemblock = MakeMemblockExport;
    b.deleteMemblock = DeleteMemblockExport;
    b.memblockFromImage = CreateMemblockFromImageExport;
    b.memblockFromBitmap = CreateMemblockFromBitmapExport;
    b.memblockFromSound = CreateMemblockFromSoundExport;
    b.memblockFromMesh = CreateMemblockFromMeshExport;
    b.imageFromMemblock = CreateImageFromMemblockExport;
    b.bitmapFromMemblock = CreateBitmapFromMemblockExport;
    b.soundFromMemblock = CreateSoundFromMemblockExport;
    b.meshFromMemblock = CreateMeshFromMemblockExport;
    b.imageExist = ImageExistChecked;
    b.bitmapExist = [](std::int32_t n) { return BitmapExist(n) != 0; };
    b.soundExist = [](std::int32_t n) { return SoundExistExport(n) != 0; };
    b.meshExist = ConfirmMesh;
}

void MultiplayerRefreshD3D(std::int32_t) {}

bool InNetGame() {
    return s.connection && s.sessionState > 0;
}

std::int32_t PlayerSlotFor(DPID id) {
    // Identifier 0 is every player (or none): it never takes a slot.
    if (id == 0) return 0;
    std::int32_t firstFree = -1;
    for (std::int32_t n = 1; n <= kLastPlayer; ++n) {
        if (s.players[n] == id) return n;
        if (firstFree < 0 && s.players[n] == 0) firstFree = n;
    }
    if (firstFree > 0) s.players[firstFree] = id;
    return firstFree;
}

std::int32_t NetPlayerArrived(DPID id) {
    const std::int32_t n = PlayerSlotFor(id);
    if (n > 0) s.releaseAt[n] = 0; // back before its slot was freed
    return n;
}

std::int32_t NetPlayerLeft(DPID id) {
    const std::int32_t n = PlayerSlotFor(id);
    if (n <= 0) return n;
    // Reading a message that names a freed player would number it afresh, for good: the slot
    // waits until the last such message has been made current and then replaced.
    std::size_t last = s.queue.size();
    while (last > 0 && s.queue[last - 1].from != id && s.queue[last - 1].to != id)
        --last;
    const bool current = s.current.from == id || s.current.to == id;
    if (last == 0 && !current) {
        FreePlayerSlot(n);
    } else {
        s.releaseAt[n] = s.messagesTaken + last + 1;
    }
    return n;
}

void FreeReadPlayerSlots() {
    for (std::int32_t n = 1; n <= kLastPlayer; ++n)
        if (s.releaseAt[n] && s.releaseAt[n] <= s.messagesTaken) FreePlayerSlot(n);
}

void FreePlayerSlot(std::int32_t player) {
    s.players[player] = 0;
    s.releaseAt[player] = 0;
}

void ClearPlayerSlots() {
    s.players.fill(0);
    s.releaseAt.fill(0);
}

void CopyNetName(char (&to)[kNameBytes], const char* text) {
    const std::size_t length = text ? strnlen(text, kNameBytes - 1) : 0;
    if (length) std::memcpy(to, text, length);
    to[length] = 0;
}

bool FillNetChecklist(const char* const* texts, std::size_t count, std::uint8_t hasValues) {
    CoreData* core = s.core;
    if (!core) return true; // no checklist to fill
    std::int32_t rows = 0;
    std::size_t longest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!texts[i]) continue;
        rows = static_cast<std::int32_t>(i + 1);
        longest = std::max(longest, strnlen(texts[i], kNameBytes - 1));
    }
    // Every row is had before the first is written.
    if (!ReserveChecklistRows(rows, static_cast<std::int32_t>(longest))) {
        RaiseRuntimeError(kStringNoMemory);
        return false;
    }
    core->checklistMade = 1;
    core->checklistHasValues = hasValues;
    core->checklistHasStrings = 1;
    for (std::int32_t row = 0; row < rows; ++row) {
        const char* text = texts[row] ? texts[row] : "";
        const std::size_t length = strnlen(text, longest);
        char* to = core->checklistRows[row].string;
        std::memcpy(to, text, length);
        to[length] = 0;
    }
    core->checklistRowsInUse = rows;
    return true;
}

std::int32_t NetGameExists() {
    return s.sessionState > 0 ? 1 : 0;
}

std::int32_t NetGameLost() {
    ReceiveForEvents();
    return std::exchange(s.events.sessionLost, 0);
}

std::int32_t NetPlayerCreated() {
    ReceiveForEvents();
    return std::exchange(s.events.created, 0);
}

std::int32_t NetPlayerDestroyed() {
    ReceiveForEvents();
    return std::exchange(s.events.destroyed, 0);
}

std::int32_t NetGameNowHosting() {
    ReceiveForEvents();
    return std::exchange(s.events.becameHost, 0u) ? 1 : 0;
}
