// Multiplayer: hosting, joining and leaving sessions, and the players in them.
#include "core/win32.h"

#include "multiplayer/multiplayer.h"
#include "multiplayer/multiplayer_state.h"
#include "core/core.h"
#include "core/no_throw.h"

#include <cstring>

namespace {

MultiplayerState& s = g_Multiplayer;

// A join's retries while the host answers "connecting" stop after this long.
constexpr DWORD kJoinPatienceMs = 10000;

enum JoinResult { kJoinFailed = 0, kJoined = 1, kJoinedWithoutPlayer = 2, kJoinRefusedPlayer = 3 };

// A player of the session as EnumPlayers reported it.
struct EnumeratedPlayer {
    DPID id = 0;
    bool named = false;
    char name[kNameBytes] = {};
};

bool CreateLocalPlayer(NetConnection& c, const char* name, DWORD flags) {
    DPNAME playerName{};
    playerName.dwSize = sizeof playerName;
    playerName.lpszShortNameA = const_cast<char*>(name);
    DPID id = 0;
    if (FAILED(c.play->CreatePlayer(&id, &playerName, c.event, nullptr, 0, flags))) return false;
    c.localPlayer = id;
    return true;
}

DPSESSIONDESC2 SessionDescription() {
    DPSESSIONDESC2 description{};
    description.dwSize = sizeof description;
    description.guidApplication = kNetApplicationGuid;
    return description;
}

// The session's flags for a session type; the DirectPlay protocol is always asked for.
DWORD SessionFlags(std::int32_t sessionType) {
    const DWORD flags = sessionType == 1   ? DPSESSION_MIGRATEHOST
                        : sessionType == 2 ? DPSESSION_CLIENTSERVER
                                           : 0;
    return flags | DPSESSION_DIRECTPLAYPROTOCOL;
}

void HostNetGame(const char* gameName, const char* playerName, std::int32_t maximumPlayers,
                 DWORD flags) {
    if (s.sessionState > 0) return RaiseRuntimeWarning(kAlreadyInGame);
    if (!gameName || !playerName || !EnsureNetReady()) return RaiseRuntimeWarning(kGameNotCreated);
    if (!*gameName) return RaiseRuntimeError(kGameNameIllegal);
    if (!*playerName) return RaiseRuntimeError(kPlayerNameIllegal);
    if (maximumPlayers < 2 || maximumPlayers > kLastPlayer) {
        return RaiseRuntimeError(kMaximumPlayersIllegal);
    }
    NetConnection& c = *s.connection;
    if (!c.play) return RaiseRuntimeWarning(kGameNotCreated);
    DPSESSIONDESC2 description = SessionDescription();
    description.dwFlags = flags;
    description.dwMaxPlayers = static_cast<DWORD>(maximumPlayers);
    description.lpszSessionNameA = const_cast<char*>(gameName);
    if (FAILED(c.play->Open(&description, DPOPEN_CREATE))) {
        return RaiseRuntimeWarning(kGameNotCreated);
    }
    c.opened = true;
    // A session without our player is of no use: it is closed again.
    if (!CreateLocalPlayer(c, playerName, DPPLAYER_SERVERPLAYER)) {
        LeaveNetSession(c);
        return RaiseRuntimeWarning(kGameNotCreated);
    }
    ClearPlayerSlots();
    s.sessionState = 1;
}

// Keeps the window answering while the host is being reached; false once a quit was seen.
bool PumpWhileJoining() {
    const CoreData* core = s.core;
    const bool quit = core && core->callbacks.pumpMessages && core->callbacks.pumpMessages() == 1;
    Sleep(5);
    return !quit;
}

HRESULT OpenUntilConnected(NetConnection& c, DPSESSIONDESC2& description) {
    const DWORD start = timeGetTime();
    HRESULT hr = c.play->Open(&description, DPOPEN_JOIN);
    while (hr == DPERR_CONNECTING && timeGetTime() - start < kJoinPatienceMs && PumpWhileJoining())
        hr = c.play->Open(&description, DPOPEN_JOIN);
    return hr;
}

JoinResult JoinChosenSession(NetConnection& c, const char* playerName) {
    if (!c.play || !EnumerateNetSessions(c)) return kJoinFailed;
    // A session the enumeration did not find again cannot be asked for.
    if (c.chosenSession >= c.sessionCount) return kJoinFailed;
    DPSESSIONDESC2 description = SessionDescription();
    description.guidInstance = c.sessions[c.chosenSession].instance;
    const HRESULT hr = OpenUntilConnected(c, description);
    if (hr == DPERR_CANTCREATEPLAYER) return kJoinRefusedPlayer;
    if (FAILED(hr)) return kJoinFailed;
    c.opened = true;
    if (!CreateLocalPlayer(c, playerName, 0)) {
        LeaveNetSession(c);
        return kJoinedWithoutPlayer;
    }
    return kJoined;
}

// ConnectNetGame's join raises none of its errors: hosting follows.
void JoinNetGame(std::int32_t session, const char* playerName, bool quiet) {
    if (s.sessionState > 0) return RaiseRuntimeWarning(kAlreadyInGame);
    if (!playerName) return quiet ? void() : RaiseRuntimeError(kPlayerNameIllegal);
    std::int32_t index = session > 0 ? session - 1 : -1;
    if (!EnsureNetReady(&index)) return RaiseRuntimeWarning(kGameNotJoined);
    if (index < 0 || index >= kSessionSlots) {
        return quiet ? void() : RaiseRuntimeError(kSessionNumberIllegal);
    }
    NetConnection& c = *s.connection;
    c.chosenSession = index;
    if (!*playerName) return quiet ? void() : RaiseRuntimeError(kPlayerNameIllegal);
    switch (JoinChosenSession(c, playerName)) {
    case kJoined:
        ClearPlayerSlots();
        s.sessionState = 2;
        break;
    case kJoinedWithoutPlayer:
        RaiseRuntimeWarning(kPlayerNotCreated);
        break;
    case kJoinRefusedPlayer:
        RaiseRuntimeWarning(kJoinCannotCreatePlayer);
        break;
    case kJoinFailed:
        RaiseRuntimeWarning(kGameNotJoined);
        break;
    }
}

BOOL CALLBACK AddPlayer(DPID id, DWORD, LPCDPNAME name, DWORD, LPVOID context) {
    auto& players = *static_cast<std::vector<EnumeratedPlayer>*>(context);
    if (players.size() >= static_cast<std::size_t>(kLastPlayer)) return FALSE;
    EnumeratedPlayer& player = players.emplace_back();
    player.id = id;
    player.named = name && name->lpszShortNameA;
    CopyNetName(player.name, player.named ? name->lpszShortNameA : nullptr);
    return TRUE;
}

// The session's players, at most 255; false when DirectPlay could not list them, or (101) when
// there is no memory for the list.
bool EnumerateNetPlayers(NetConnection& c, std::vector<EnumeratedPlayer>& players) {
    players.clear();
    // The callback then never allocates: nothing may throw through DirectPlay.
    if (!NoThrow(kStringNoMemory, [&] { players.reserve(kLastPlayer); })) return false;
    return c.play && SUCCEEDED(c.play->EnumPlayers(nullptr, AddPlayer, &players, 0));
}

} // namespace

void CreateNetGame(const char* gameName, const char* playerName, std::int32_t maximumPlayers) {
    HostNetGame(gameName, playerName, maximumPlayers, SessionFlags(1));
}

void CreateNetGame(const char* gameName, const char* playerName, std::int32_t maximumPlayers,
                   std::int32_t sessionType) {
    HostNetGame(gameName, playerName, maximumPlayers, SessionFlags(sessionType));
}

void JoinNetGame(std::int32_t session, const char* playerName) {
    JoinNetGame(session, playerName, false);
}

std::int32_t ConnectNetGame(const char* gameName, const char* playerName,
                            std::int32_t maximumPlayers, std::int32_t sessionType) {
    const bool wasInGame = s.sessionState > 0;
    JoinNetGame(1, playerName, true);
    const bool joined = !wasInGame && s.sessionState == 2;
    if (s.sessionState == 0) CreateNetGame(gameName, playerName, maximumPlayers, sessionType);
    if (!s.connection) return 0;
    NetConnection& c = *s.connection;
    std::vector<EnumeratedPlayer> players;
    if (joined && EnumerateNetPlayers(c, players)) {
        for (const EnumeratedPlayer& player : players)
            if (player.named && player.id != c.localPlayer) PlayerSlotFor(player.id);
    }
    return PlayerSlotFor(c.localPlayer);
}

void FreeNetGame() {
    ClearPlayerSlots();
    s.sessionState = 0;
    ReleaseCurrentNetData();
    CloseNetConnection();
}

std::int32_t CreateNetPlayer(const char* playerName) {
    if (!InNetGame() || !s.connection->play) {
        RaiseRuntimeWarning(kNoGame);
        return 0;
    }
    NetConnection& c = *s.connection;
    DPNAME name{};
    name.dwSize = sizeof name;
    name.lpszShortNameA = const_cast<char*>(playerName);
    DPID id = 0;
    if (FAILED(c.play->CreatePlayer(&id, &name, c.event, nullptr, 0, 0))) {
        RaiseRuntimeWarning(kPlayerNotCreated);
        return 0;
    }
    return PlayerSlotFor(id);
}

void FreeNetPlayer(std::int32_t player) {
    if (!InNetGame() || !s.connection->play) return RaiseRuntimeWarning(kNoGame);
    if (player < 1 || player > kLastPlayer) return RaiseRuntimeError(kPlayerNumberIllegal);
    const DPID id = s.players[player];
    if (!id) return RaiseRuntimeWarning(kPlayerSlotEmpty);
    if (id == DPID_SERVERPLAYER) return; // the server player stays while the session lasts
    if (SUCCEEDED(s.connection->play->DestroyPlayer(id))) {
        FreePlayerSlot(player);
    } else {
        RaiseRuntimeWarning(kPlayerNotDestroyed);
    }
}

void ListNetPlayers() {
    if (!InNetGame()) return RaiseRuntimeWarning(kNoGame);
    NetConnection& c = *s.connection;
    std::vector<EnumeratedPlayer> players;
    if (!EnumerateNetPlayers(c, players)) return;
    const char* names[kLastPlayer] = {};
    const EnumeratedPlayer* rows[kLastPlayer] = {};
    std::size_t count = 0;
    for (const EnumeratedPlayer& player : players) {
        if (!player.named) continue;
        names[count] = player.name;
        rows[count++] = &player;
    }
    // The list is had before the player table changes: out of memory (101) changes nothing.
    if (!FillNetChecklist(names, count, 1)) return;
    std::array<bool, kPlayerSlots> listed{};
    for (std::size_t row = 0; row < count; ++row) {
        const DPID id = rows[row]->id;
        const std::int32_t number = PlayerSlotFor(id);
        if (number > 0) listed[number] = true;
        if (CoreData* core = s.core) {
            std::int32_t* values = core->checklistRows[row].values;
            values[0] = number;
            values[1] = static_cast<std::int32_t>(id);
            values[2] = id == c.localPlayer ? 1 : 0;
            values[3] = id == DPID_SERVERPLAYER ? 1 : 0;
        }
    }
    for (std::int32_t n = 1; n <= kLastPlayer; ++n)
        if (!listed[n]) FreePlayerSlot(n);
}
