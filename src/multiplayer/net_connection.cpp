// Multiplayer: the connection object, its service providers, the compound address a connection is
// initialised with, the session list, and the provider and session checklists.
#include "core/win32.h"

#include "multiplayer/multiplayer.h"
#include "multiplayer/multiplayer_state.h"
#include "multiplayer/net_packet.h"
#include "core/core.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

MultiplayerState& s = g_Multiplayer;

// One call per installed provider: only those that initialise are kept.
BOOL CALLBACK AddProvider(LPCGUID provider, LPVOID connectionBlock, DWORD size, LPCDPNAME name,
                          DWORD, LPVOID context) {
    NetConnection& c = *static_cast<NetConnection*>(context);
    if (c.providerCount >= kProviderSlots) return FALSE;
    if (!connectionBlock || !size) return TRUE;
    ComPtr<IDirectPlay4A> trial;
    if (FAILED(MakeDirectPlay(CLSCTX_ALL, trial))) return TRUE;
    if (FAILED(trial->InitializeConnection(connectionBlock, 0))) return TRUE;
    NetProvider& p = c.providers[c.providerCount];
    if (!CopyNetBytes(static_cast<const std::uint8_t*>(connectionBlock), size, p.connection)) {
        c.outOfMemory = true; // a connection without this provider is not made
        return FALSE;
    }
    CopyNetName(p.name, name ? name->lpszShortNameA : nullptr);
    p.guid = provider ? *provider : GUID_NULL;
    ++c.providerCount;
    return TRUE;
}

// Makes the connection object and records the usable providers; null, with 101 raised, when
// memory runs out for it or for a provider's block.
NetConnection* CreateDirectPlay() {
    std::unique_ptr<NetConnection> made(new (std::nothrow) NetConnection);
    if (made && SUCCEEDED(MakeDirectPlay(CLSCTX_ALL, made->play))) {
        made->play->EnumConnections(nullptr, AddProvider, made.get(), DPCONNECTION_DIRECTPLAY);
    }
    if (!made || made->outOfMemory) {
        RaiseRuntimeError(kStringNoMemory);
        return nullptr;
    }
    s.connection = std::move(made);
    s.sessionState = 0;
    s.events = NetSessionEvents{};
    return s.connection.get();
}

// IPX when present (the last one), else the first TCP/IP, else the first provider.
std::int32_t DefaultProvider(const NetConnection& c) {
    std::int32_t ipx = -1, tcp = -1;
    for (std::int32_t i = 0; i < c.providerCount; ++i) {
        if (c.providers[i].guid == DPSPGUID_IPX) ipx = i;
        if (tcp < 0 && c.providers[i].guid == DPSPGUID_TCPIP) tcp = i;
    }
    return ipx >= 0 ? ipx : (tcp >= 0 ? tcp : 0);
}

// A new interface in place of the current one, whose session is left first.
bool RenewInterface(NetConnection& c) {
    LeaveNetSession(c);
    c.initialised = false;
    c.play.Reset();
    return SUCCEEDED(MakeDirectPlay(CLSCTX_INPROC_SERVER, c.play));
}

// Initialises the interface with the provider's connection block.
bool SelectProvider(NetConnection& c, std::int32_t index) {
    NetProvider& p = c.providers[index];
    if (p.connection.empty()) return false;
    // DirectPlay initialises an object once: choosing again needs a fresh one.
    if (c.initialised && !RenewInterface(c)) return false;
    if (!c.play || FAILED(c.play->InitializeConnection(p.connection.data(), 0))) return false;
    c.initialised = true;
    c.selectedProvider = index;
    return true;
}

// The address element that carries an address text for this provider, null for none.
const GUID* AddressKindFor(const GUID& provider) {
    if (provider == DPSPGUID_TCPIP) return &DPAID_INet;
    if (provider == DPSPGUID_MODEM) return &DPAID_Phone;
    if (provider == DPSPGUID_SERIAL) return &DPAID_ComPort;
    return nullptr;
}

// A movable global block, locked while it lives.
class LockedGlobalBlock {
public:
    explicit LockedGlobalBlock(DWORD size)
        : handle_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size)) {
        if (handle_) data_ = GlobalLock(handle_);
    }
    ~LockedGlobalBlock() {
        if (data_) GlobalUnlock(handle_);
        if (handle_) GlobalFree(handle_);
    }
    LockedGlobalBlock(const LockedGlobalBlock&) = delete;
    LockedGlobalBlock& operator=(const LockedGlobalBlock&) = delete;
    void* Data() const { return data_; }

private:
    HGLOBAL handle_ = nullptr;
    void* data_ = nullptr;
};

// Initialises a new interface with the selected provider and the address, then lists sessions.
bool InitializeNetAddress(NetConnection& c, const char* address) {
    if (!RenewInterface(c)) return false;
    ComPtr<IDirectPlayLobby2A> lobby;
    if (FAILED(MakeLobby(lobby))) return false;

    GUID provider = c.providers[c.selectedProvider].guid;
    const bool hasAddress = address && *address;
    const GUID* kind = AddressKindFor(provider);
    DPCOMPOUNDADDRESSELEMENT elements[2] = {{DPAID_ServiceProvider, sizeof(GUID), &provider}};
    DWORD count = 1;
    if (kind && hasAddress) {
        elements[1] = {*kind, static_cast<DWORD>(std::strlen(address) + 1),
                       const_cast<char*>(address)};
        count = 2;
    }
    DWORD size = 0;
    lobby->CreateCompoundAddress(elements, count, nullptr, &size); // learns the size
    if (!size) return false;
    LockedGlobalBlock block(size);
    if (!block.Data() || FAILED(lobby->CreateCompoundAddress(elements, count, block.Data(), &size)))
        return false;
    if (FAILED(c.play->InitializeConnection(block.Data(), 0))) return false;
    c.initialised = true;
    // A modem without a number has nobody to ask for sessions yet.
    if (provider == DPSPGUID_MODEM && !hasAddress) return true;
    return EnumerateNetSessions(c);
}

BOOL CALLBACK AddSession(LPCDPSESSIONDESC2 session, LPDWORD, DWORD flags, LPVOID context) {
    if (flags & DPESC_TIMEDOUT) return FALSE;
    NetConnection& c = *static_cast<NetConnection*>(context);
    if (c.sessionCount >= kSessionSlots) return FALSE;
    if (!session) return TRUE;
    NetSession& record = c.sessions[c.sessionCount++];
    record.instance = session->guidInstance;
    record.currentPlayers = session->dwCurrentPlayers;
    record.maximumPlayers = session->dwMaxPlayers;
    const char* name = session->lpszSessionNameA ? session->lpszSessionNameA : "";
    std::snprintf(record.text, sizeof record.text, "%s (%d/%d)", name,
                  static_cast<int>(record.currentPlayers), static_cast<int>(record.maximumPlayers));
    record.text[kNameBytes - 1] = 0;
    return TRUE;
}

} // namespace

NetConnection* NetConnectionForCommand() {
    return s.connection ? s.connection.get() : CreateDirectPlay();
}

bool EnsureNetReady(std::int32_t* sessionIndex) {
    if (s.connection) return true;
    NetConnection* c = CreateDirectPlay();
    if (!c) return false;
    if (!SelectProvider(*c, DefaultProvider(*c))) {
        RaiseRuntimeWarning(kProviderNotSelected);
        return false;
    }
    if (!InitializeNetAddress(*c, "")) {
        RaiseRuntimeWarning(kConnectionNotInitialised);
        return false;
    }
    c->chosenSession = 1;
    if (sessionIndex) *sessionIndex = 0;
    return true;
}

bool EnumerateNetSessions(NetConnection& c) {
    c.sessionCount = 0;
    if (!c.play) return false;
    DPSESSIONDESC2 wanted{};
    wanted.dwSize = sizeof wanted;
    wanted.guidApplication = kNetApplicationGuid;
    return SUCCEEDED(c.play->EnumSessions(&wanted, 0, AddSession, &c, 0));
}

void LeaveNetSession(NetConnection& c) {
    if (c.play && c.opened) {
        if (c.localPlayer) c.play->DestroyPlayer(c.localPlayer);
        c.play->Close();
    }
    c.opened = false;
    c.localPlayer = 0;
    c.deferredCount = 0; // the session's notices go with it, and a message waiting to be queued
    c.pendingSize = 0;
    c.receiveBuffer.reset();
    c.receiveSize = 0;
    s.sessionState = 0;
}

void CloseNetConnection() {
    if (!s.connection) return;
    LeaveNetSession(*s.connection);
    s.connection.reset();
    s.sessionState = 0;
    s.events = NetSessionEvents{};
}

void ListNetConnections() {
    const bool made = !s.connection;
    const NetConnection* c = NetConnectionForCommand();
    if (!c) return;
    const char* names[kProviderSlots] = {};
    for (std::int32_t i = 0; i < c->providerCount; ++i)
        names[i] = c->providers[i].name;
    // A list that cannot be had (101) leaves no network behind that it made.
    if (!FillNetChecklist(names, static_cast<std::size_t>(c->providerCount), 0) && made)
        CloseNetConnection();
}

void SelectNetConnection(std::int32_t provider) {
    SelectNetConnection(provider, "");
}

void SelectNetConnection(std::int32_t provider, const char* address) {
    NetConnection* c = NetConnectionForCommand();
    if (!c) return;
    if (provider < 1 || provider > kProviderSlots) {
        RaiseRuntimeError(kProviderNumberIllegal);
        return;
    }
    if (!SelectProvider(*c, provider - 1)) {
        RaiseRuntimeWarning(kProviderNotSelected);
        return;
    }
    if (!InitializeNetAddress(*c, address)) RaiseRuntimeWarning(kConnectionNotInitialised);
}

void ListNetSessions() {
    const bool made = !s.connection;
    NetConnection* c = NetConnectionForCommand();
    if (!c) return;
    const char* texts[kSessionSlots] = {};
    std::size_t count = 0;
    if (EnumerateNetSessions(*c)) {
        for (std::int32_t i = 0; i < c->sessionCount; ++i)
            texts[count++] = c->sessions[i].text;
    }
    if (!FillNetChecklist(texts, count, count == 0 ? 0 : 1)) {
        if (made) CloseNetConnection(); // as ListNetConnections
        return;
    }
    CoreData* core = s.core;
    if (!core) return;
    for (std::int32_t row = 0; row < core->checklistRowsInUse; ++row) {
        const NetSession& session = c->sessions[row];
        core->checklistRows[row].values[0] = static_cast<std::int32_t>(session.currentPlayers);
        core->checklistRows[row].values[1] = static_cast<std::int32_t>(session.maximumPlayers);
    }
}
