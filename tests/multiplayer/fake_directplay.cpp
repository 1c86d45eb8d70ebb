#include "core/win32.h"

#include "fake_directplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

const GUID kTestApplication = {
    0x7D2F0893, 0x0B73, 0x48FF, {0xAE, 0x7F, 0x66, 0x83, 0xEC, 0x72, 0x6B, 0x21}};

namespace {

FakeNetwork* g_Network = nullptr;

// The connection block EnumConnections hands out: a tag and the provider.
struct ProviderBlock {
    char tag[4];
    GUID provider;
};

HRESULT MakeFakeDirectPlay(DWORD classContext, IDirectPlay4A** out) {
    *out = nullptr;
    if (!g_Network) return E_FAIL;
    ++g_Network->peersMade;
    *out = new FakePeer(*g_Network, true, classContext);
    return DP_OK;
}

HRESULT MakeFakeLobby(IDirectPlayLobbyA** out) {
    *out = nullptr;
    if (!g_Network) return E_FAIL;
    ++g_Network->lobbiesMade;
    *out = new FakeLobby(*g_Network);
    return DP_OK;
}

DPNAME ShortName(const std::string& name) {
    DPNAME n{};
    n.dwSize = sizeof n;
    n.lpszShortNameA = const_cast<char*>(name.c_str());
    return n;
}

GUID NewInstance(std::size_t index) {
    GUID g{0x5E55107u + static_cast<DWORD>(index), 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    return g;
}

} // namespace

FakePeer::FakePeer(FakeNetwork& net, bool byModule, DWORD context)
    : network(net), madeByModule(byModule), classContext(context) {
    network.livePeers.push_back(this);
}

FakePeer::~FakePeer() {
    LeaveSession();
    auto& live = network.livePeers;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

STDMETHODIMP FakePeer::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDirectPlay4A) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakePeer::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

void FakePeer::LeaveSession() {
    if (session < 0) return;
    std::vector<DPID> mine;
    for (const auto& [id, player] : network.players)
        if (player.owner == this) mine.push_back(id);
    for (DPID id : mine)
        DestroyPlayer(id);
    const int left = std::exchange(session, -1);
    const bool anyone = std::any_of(network.livePeers.begin(), network.livePeers.end(),
                                    [left](const FakePeer* peer) { return peer->session == left; });
    // A session hosted in this process ends with its last peer.
    if (!anyone && network.sessions[left].reportedPlayers < 0) network.sessions[left].open = false;
}

STDMETHODIMP FakePeer::Close() {
    if (session < 0) return DPERR_NOSESSIONS;
    LeaveSession();
    return DP_OK;
}

STDMETHODIMP FakePeer::CreatePlayer(LPDPID id, LPDPNAME name, HANDLE, LPVOID, DWORD, DWORD flags) {
    if (session < 0) {
        // The platform's own object crashes here; the module must never get this far.
        ++network.createPlayerWithoutSession;
        return DPERR_INVALIDOBJECT;
    }
    if (FAILED(network.createPlayerResult)) return network.createPlayerResult;
    const DPID newId = (flags & DPPLAYER_SERVERPLAYER) ? DPID_SERVERPLAYER : network.nextPlayer++;
    FakePlayer& player = network.players[newId];
    player.named = name && name->lpszShortNameA;
    player.name = player.named ? name->lpszShortNameA : "";
    player.owner = this;
    player.session = session;
    network.sessions[session].players.push_back(newId);
    *id = newId;
    network.TellSession(session, this,
                        FakeNetwork::PlayerMessage(DPSYS_CREATEPLAYERORGROUP, newId));
    return DP_OK;
}

STDMETHODIMP FakePeer::DestroyPlayer(DPID id) {
    const auto found = network.players.find(id);
    if (found == network.players.end() || found->second.owner != this) return DPERR_INVALIDPLAYER;
    const int in = found->second.session;
    network.players.erase(found);
    auto& list = network.sessions[in].players;
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
    network.TellSession(in, this, FakeNetwork::PlayerMessage(DPSYS_DESTROYPLAYERORGROUP, id));
    return DP_OK;
}

STDMETHODIMP FakePeer::EnumPlayers(LPGUID, LPDPENUMPLAYERSCALLBACK2 callback, LPVOID context,
                                   DWORD) {
    if (session < 0) return DPERR_NOSESSIONS;
    // By index, not over a copy: listing players allocates nothing of the caller's heap.
    const std::vector<DPID>& ids = network.sessions[session].players;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const DPID id = ids[i];
        const FakePlayer& player = network.players[id];
        DPNAME name{};
        name.dwSize = sizeof name;
        name.lpszShortNameA = player.named ? const_cast<char*>(player.name.c_str()) : nullptr;
        if (!callback(id, DPPLAYERTYPE_PLAYER, &name, 0, context)) break;
    }
    return DP_OK;
}

STDMETHODIMP FakePeer::EnumSessions(LPDPSESSIONDESC2 wanted, DWORD,
                                    LPDPENUMSESSIONSCALLBACK2 callback, LPVOID context, DWORD) {
    if (!initialised) return DPERR_UNINITIALIZED;
    DWORD timeout = 0;
    for (const FakeSession& s : network.sessions) {
        if (!s.open || s.application != wanted->guidApplication) continue;
        DPSESSIONDESC2 found{};
        found.dwSize = sizeof found;
        found.dwFlags = s.flags;
        found.guidInstance = s.instance;
        found.guidApplication = s.application;
        found.dwMaxPlayers = s.maximumPlayers;
        found.dwCurrentPlayers = s.reportedPlayers >= 0 ? static_cast<DWORD>(s.reportedPlayers)
                                                        : static_cast<DWORD>(s.players.size());
        found.lpszSessionNameA = const_cast<char*>(s.name.c_str());
        if (!callback(&found, &timeout, 0, context)) return DP_OK;
    }
    callback(nullptr, &timeout, DPESC_TIMEDOUT, context);
    return DP_OK;
}

STDMETHODIMP FakePeer::Open(LPDPSESSIONDESC2 description, DWORD flags) {
    FakeOpen record{flags, *description, ""};
    if (description->lpszSessionNameA) record.name = description->lpszSessionNameA;
    network.opens.push_back(record);
    if (!initialised) return DPERR_UNINITIALIZED;
    if (session >= 0) return DPERR_ALREADYINITIALIZED;
    if (flags == DPOPEN_CREATE) {
        FakeSession s;
        s.instance = NewInstance(network.sessions.size());
        s.application = description->guidApplication;
        s.name = record.name;
        s.maximumPlayers = description->dwMaxPlayers;
        s.flags = description->dwFlags;
        network.sessions.push_back(s);
        session = static_cast<int>(network.sessions.size() - 1);
        return DP_OK;
    }
    if (network.joinAnswersConnecting) return DPERR_CONNECTING;
    if (FAILED(network.joinResult)) return network.joinResult;
    for (std::size_t i = 0; i < network.sessions.size(); ++i) {
        if (network.sessions[i].open && network.sessions[i].instance == description->guidInstance) {
            session = static_cast<int>(i);
            return DP_OK;
        }
    }
    return DPERR_NOSESSIONS;
}

HRESULT FakePeer::ReceiveFlood(LPDPID from, LPDPID to, LPVOID data, LPDWORD size) {
    FakeMessage& run = inbox.front();
    if (std::exchange(*size, run.floodBytes) < run.floodBytes) return DPERR_BUFFERTOOSMALL;
    const std::uint32_t header[3] = {4, run.floodBytes - 8, floodTaken};
    std::memset(data, static_cast<int>(floodTaken & 0xFF), run.floodBytes);
    std::memcpy(data, header, sizeof header);
    *from = run.from;
    *to = run.to;
    ++floodTaken;
    if (--run.floodLeft == 0) inbox.pop_front();
    return DP_OK;
}

STDMETHODIMP FakePeer::Receive(LPDPID from, LPDPID to, DWORD, LPVOID data, LPDWORD size) {
    if (inbox.empty()) return DPERR_NOMESSAGES;
    const FakeMessage& next = inbox.front();
    if (next.floodLeft > 0) return ReceiveFlood(from, to, data, size);
    if (network.receiveNeverFits) {
        *size = 16;
        return DPERR_BUFFERTOOSMALL;
    }
    if (*size < next.bytes.size()) {
        *size = static_cast<DWORD>(next.bytes.size());
        return DPERR_BUFFERTOOSMALL;
    }
    if (!next.bytes.empty()) std::memcpy(data, next.bytes.data(), next.bytes.size());
    *size = static_cast<DWORD>(next.bytes.size()) + network.receiveOverstates;
    *from = next.from;
    *to = next.to;
    inbox.pop_front();
    return DP_OK;
}

STDMETHODIMP FakePeer::Send(DPID from, DPID to, DWORD flags, LPVOID data, DWORD size) {
    FakeMessage message{from, to, flags, std::string(static_cast<const char*>(data), size)};
    network.sent.push_back(message);
    if (session < 0) return DPERR_NOSESSIONS;
    if (to != DPID_ALLPLAYERS && !network.players.count(to)) return DPERR_INVALIDPLAYER;
    network.Deliver(this, message);
    return DP_OK;
}

STDMETHODIMP FakePeer::EnumConnections(LPCGUID, LPDPENUMCONNECTIONSCALLBACK callback,
                                       LPVOID context, DWORD) {
    for (const FakeProvider& p : network.providers) {
        ProviderBlock block{{'P', 'R', 'O', 'V'}, p.guid};
        DPNAME name{};
        name.dwSize = sizeof name;
        name.lpszShortNameA = const_cast<char*>(p.name.c_str());
        if (!callback(&p.guid, &block, sizeof block, &name, 0, context)) break;
    }
    return DP_OK;
}

STDMETHODIMP FakePeer::InitializeConnection(LPVOID connection, DWORD) {
    if (initialised) return DPERR_ALREADYINITIALIZED;
    if (!connection) return DPERR_INVALIDPARAMS;
    GUID provider{};
    std::string address;
    int elements = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(connection);
    if (std::memcmp(bytes, "PROV", 4) == 0) {
        provider = reinterpret_cast<const ProviderBlock*>(bytes)->provider;
    } else {
        // The lobby's compound address: each element's header, then its data.
        for (std::size_t at = 0; at + sizeof(DPADDRESS) <= network.lastCompoundSize; ++elements) {
            DPADDRESS header;
            std::memcpy(&header, bytes + at, sizeof header);
            const char* data = reinterpret_cast<const char*>(bytes + at + sizeof header);
            if (header.guidDataType == DPAID_ServiceProvider) {
                std::memcpy(&provider, data, sizeof provider);
            } else {
                address.assign(data, strnlen(data, header.dwDataSize));
            }
            at += sizeof header + header.dwDataSize;
        }
    }
    const auto known = std::find_if(network.providers.begin(), network.providers.end(),
                                    [&](const FakeProvider& p) { return p.guid == provider; });
    if (known == network.providers.end() || !known->initialises) return DPERR_UNAVAILABLE;
    initialised = true;
    network.lastProvider = provider;
    network.lastAddress = address;
    network.addressElements = elements;
    return DP_OK;
}

STDMETHODIMP FakePeer::GetMessageQueue(DPID from, DPID to, DWORD flags, LPDWORD messages,
                                       LPDWORD bytes) {
    if (FAILED(network.messageQueueResult)) return network.messageQueueResult;
    if (flags != DPMESSAGEQUEUE_SEND && flags != DPMESSAGEQUEUE_RECEIVE) return DPERR_INVALIDFLAGS;
    std::uint64_t count = 0, total = 0;
    for (const FakeMessage& m : inbox) {
        if (flags == DPMESSAGEQUEUE_SEND) break;
        if ((from && m.from != from) || (to && m.to != to)) continue;
        const bool run = m.floodLeft > 0;
        count += run ? m.floodLeft : 1;
        total += run ? std::uint64_t{m.floodLeft} * m.floodBytes : m.bytes.size();
    }
    if (messages) *messages = static_cast<DWORD>(std::min<std::uint64_t>(count, MAXDWORD));
    if (bytes) *bytes = static_cast<DWORD>(std::min<std::uint64_t>(total, MAXDWORD));
    return DP_OK;
}

DPID FakePeer::Host(const std::string& game, DWORD maximumPlayers, const std::string& player) {
    DPSESSIONDESC2 description{};
    description.dwSize = sizeof description;
    description.guidApplication = kTestApplication;
    description.dwMaxPlayers = maximumPlayers;
    description.lpszSessionNameA = const_cast<char*>(game.c_str());
    initialised = true;
    if (FAILED(Open(&description, DPOPEN_CREATE))) return 0;
    DPNAME name = ShortName(player);
    DPID id = 0;
    return SUCCEEDED(CreatePlayer(&id, &name, nullptr, nullptr, 0, DPPLAYER_SERVERPLAYER)) ? id : 0;
}

DPID FakePeer::Join(int sessionIndex, const std::string& player) {
    DPSESSIONDESC2 description{};
    description.dwSize = sizeof description;
    description.guidApplication = kTestApplication;
    description.guidInstance = network.sessions.at(sessionIndex).instance;
    initialised = true;
    if (FAILED(Open(&description, DPOPEN_JOIN))) return 0;
    DPNAME name = ShortName(player);
    DPID id = 0;
    return SUCCEEDED(CreatePlayer(&id, &name, nullptr, nullptr, 0, 0)) ? id : 0;
}

DPID FakePeer::FirstPlayer() const {
    for (const auto& [id, player] : network.players)
        if (player.owner == this) return id;
    return 0;
}

STDMETHODIMP FakeLobby::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDirectPlayLobbyA && iid != IID_IDirectPlayLobby2A) {
        return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeLobby::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP FakeLobby::CreateCompoundAddress(LPCDPCOMPOUNDADDRESSELEMENT elements, DWORD count,
                                              LPVOID address, LPDWORD size) {
    DWORD total = 0;
    for (DWORD i = 0; i < count; ++i)
        total += sizeof(DPADDRESS) + elements[i].dwDataSize;
    network_.lastCompoundSize = total;
    if (!address || *size < total) {
        *size = total;
        return DPERR_BUFFERTOOSMALL;
    }
    auto* to = static_cast<std::uint8_t*>(address);
    for (DWORD i = 0; i < count; ++i) {
        const DPADDRESS header{elements[i].guidDataType, elements[i].dwDataSize};
        std::memcpy(to, &header, sizeof header);
        std::memcpy(to + sizeof header, elements[i].lpData, elements[i].dwDataSize);
        to += sizeof header + elements[i].dwDataSize;
    }
    *size = total;
    return DP_OK;
}

FakeNetwork::FakeNetwork() {
    g_Network = this;
    SetDirectPlayCreators({MakeFakeDirectPlay, MakeFakeLobby});
}

FakeNetwork::~FakeNetwork() {
    for (FakePeer* peer : owned_)
        peer->Release();
    SetDirectPlayCreators({});
    g_Network = nullptr;
    EXPECT_EQ(createPlayerWithoutSession, 0) << "a player was created with no open session";
}

FakeSession& FakeNetwork::AddSession(const std::string& name, DWORD maximumPlayers,
                                     long reportedPlayers) {
    return AddSession(name, maximumPlayers, reportedPlayers, kTestApplication);
}

FakeSession& FakeNetwork::AddSession(const std::string& name, DWORD maximumPlayers,
                                     long reportedPlayers, const GUID& application) {
    FakeSession s;
    s.instance = NewInstance(sessions.size());
    s.application = application;
    s.name = name;
    s.maximumPlayers = maximumPlayers;
    s.reportedPlayers = reportedPlayers;
    sessions.push_back(s);
    return sessions.back();
}

FakePeer* FakeNetwork::NewPeer() {
    owned_.push_back(new FakePeer(*this, false, CLSCTX_INPROC_SERVER));
    return owned_.back();
}

FakePeer* FakeNetwork::ModulePeer() const {
    for (auto it = livePeers.rbegin(); it != livePeers.rend(); ++it)
        if ((*it)->madeByModule) return *it;
    return nullptr;
}

void FakeNetwork::Inject(FakePeer* to, DPID from, const std::string& bytes, DPID addressee) {
    to->inbox.push_back(FakeMessage{from, addressee, 0, bytes});
}

void FakeNetwork::Flood(FakePeer* to, DPID from, DPID addressee, DWORD bytes, DWORD count) {
    if (count > 0) to->inbox.push_back(FakeMessage{from, addressee, 0, {}, bytes, count});
}

void FakeNetwork::TellSessionLost(FakePeer* to) {
    const DWORD type = DPSYS_SESSIONLOST;
    Inject(to, DPID_SYSMSG, std::string(reinterpret_cast<const char*>(&type), 4));
}

void FakeNetwork::TellNowHost(FakePeer* to) {
    const DWORD type = DPSYS_HOST;
    Inject(to, DPID_SYSMSG, std::string(reinterpret_cast<const char*>(&type), 4));
}

void FakeNetwork::Deliver(FakePeer* sender, const FakeMessage& message) {
    const FakeSession& s = sessions[sender->session];
    for (DPID id : s.players) {
        const FakePlayer& player = players[id];
        const bool addressed =
            message.to == DPID_ALLPLAYERS ? id != message.from : id == message.to;
        if (addressed && player.owner) {
            player.owner->inbox.push_back(
                FakeMessage{message.from, id, message.flags, message.bytes});
        }
    }
}

void FakeNetwork::TellSession(int session, const FakePeer* except, const std::string& bytes) {
    for (FakePeer* peer : livePeers)
        if (peer != except && peer->session == session) Inject(peer, DPID_SYSMSG, bytes);
}

std::string FakeNetwork::PlayerMessage(DWORD type, DPID id, DWORD kind) {
    DPMSG_CREATEPLAYERORGROUP message{};
    message.dwType = type;
    message.dwPlayerType = kind;
    message.dpId = id;
    return std::string(reinterpret_cast<const char*>(&message), sizeof message);
}
