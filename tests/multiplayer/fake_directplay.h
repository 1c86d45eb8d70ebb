// Stand-in DirectPlay and lobby objects, written from the interfaces' method lists: a network of
// peers in one process that host, join and deliver messages to each other. The module gets its
// peers through the creation seam; a test drives further peers itself.
#pragma once

#include "multiplayer/directplay_seam.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class FakeNetwork;

struct FakeMessage {
    DPID from = 0;
    DPID to = 0;
    DWORD flags = 0;
    std::string bytes;
    // When floodLeft is above 0, the entry stands for that many memory-block packets of floodBytes
    // bytes (at least 12) in place of `bytes`, made as Receive takes them: each one's data starts
    // with its number among the peer's flood packets, and is filled with its low byte.
    DWORD floodBytes = 0;
    DWORD floodLeft = 0;
};

struct FakeProvider {
    GUID guid{};
    std::string name;
    bool initialises = true;
};

struct FakeSession {
    GUID instance{};
    GUID application{};
    std::string name;
    DWORD maximumPlayers = 0;
    DWORD flags = 0;
    bool open = true;
    std::vector<DPID> players;
    long reportedPlayers = -1; // when 0 or more, the count the enumeration reports
};

// What one Open was asked.
struct FakeOpen {
    DWORD openFlags = 0;
    DPSESSIONDESC2 description{};
    std::string name;
};

struct FakePlayer {
    std::string name;
    bool named = true;
    class FakePeer* owner = nullptr;
    int session = -1;
};

class FakePeer final : public IDirectPlay4 {
public:
    FakePeer(FakeNetwork& network, bool madeByModule, DWORD classContext);
    ~FakePeer();

    FakeNetwork& network;
    const bool madeByModule;
    const DWORD classContext;
    bool initialised = false;
    int session = -1;
    std::deque<FakeMessage> inbox;
    DWORD floodTaken = 0; // flood packets received so far
    ULONG References() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Close() override;
    STDMETHODIMP CreatePlayer(LPDPID id, LPDPNAME name, HANDLE, LPVOID, DWORD,
                              DWORD flags) override;
    STDMETHODIMP DestroyPlayer(DPID id) override;
    STDMETHODIMP EnumPlayers(LPGUID, LPDPENUMPLAYERSCALLBACK2 callback, LPVOID context,
                             DWORD) override;
    STDMETHODIMP EnumSessions(LPDPSESSIONDESC2 wanted, DWORD, LPDPENUMSESSIONSCALLBACK2 callback,
                              LPVOID context, DWORD) override;
    STDMETHODIMP Open(LPDPSESSIONDESC2 description, DWORD flags) override;
    STDMETHODIMP Receive(LPDPID from, LPDPID to, DWORD, LPVOID data, LPDWORD size) override;
    STDMETHODIMP Send(DPID from, DPID to, DWORD flags, LPVOID data, DWORD size) override;
    STDMETHODIMP EnumConnections(LPCGUID, LPDPENUMCONNECTIONSCALLBACK callback, LPVOID context,
                                 DWORD) override;
    STDMETHODIMP InitializeConnection(LPVOID connection, DWORD) override;
    // The inbox is the receive queue; sends are delivered at once, so the send queue is empty.
    STDMETHODIMP GetMessageQueue(DPID from, DPID to, DWORD flags, LPDWORD messages,
                                 LPDWORD bytes) override;

    // Never used by the module: the stand-in reports them unsupported.
    STDMETHODIMP AddPlayerToGroup(DPID, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP CreateGroup(LPDPID, LPDPNAME, LPVOID, DWORD, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP DeletePlayerFromGroup(DPID, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP DestroyGroup(DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP EnumGroupPlayers(DPID, LPGUID, LPDPENUMPLAYERSCALLBACK2, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP EnumGroups(LPGUID, LPDPENUMPLAYERSCALLBACK2, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP GetCaps(LPDPCAPS, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetGroupData(DPID, LPVOID, LPDWORD, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetGroupName(DPID, LPVOID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetMessageCount(DPID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetPlayerAddress(DPID, LPVOID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetPlayerCaps(DPID, LPDPCAPS, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetPlayerData(DPID, LPVOID, LPDWORD, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetPlayerName(DPID, LPVOID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetSessionDesc(LPVOID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP Initialize(LPGUID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetGroupData(DPID, LPVOID, DWORD, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetGroupName(DPID, LPDPNAME, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetPlayerData(DPID, LPVOID, DWORD, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetPlayerName(DPID, LPDPNAME, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetSessionDesc(LPDPSESSIONDESC2, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP AddGroupToGroup(DPID, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP CreateGroupInGroup(DPID, LPDPID, LPDPNAME, LPVOID, DWORD, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP DeleteGroupFromGroup(DPID, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP EnumGroupsInGroup(DPID, LPGUID, LPDPENUMPLAYERSCALLBACK2, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP GetGroupConnectionSettings(DWORD, DPID, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP SecureOpen(LPCDPSESSIONDESC2, DWORD, LPCDPSECURITYDESC,
                            LPCDPCREDENTIALS) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP SendChatMessage(DPID, DPID, DWORD, LPDPCHAT) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetGroupConnectionSettings(DWORD, DPID, LPDPLCONNECTION) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP StartSession(DWORD, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetGroupFlags(DPID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetGroupParent(DPID, LPDPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetPlayerAccount(DPID, DWORD, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP GetPlayerFlags(DPID, LPDWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP GetGroupOwner(DPID, LPDPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SetGroupOwner(DPID, DPID) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP SendEx(DPID, DPID, DWORD, LPVOID, DWORD, DWORD, DWORD, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP CancelMessage(DWORD, DWORD) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP CancelPriority(DWORD, DWORD, DWORD) override { return DPERR_UNSUPPORTED; }

    // Test helpers: host or join as this peer with one player; its identifier.
    DPID Host(const std::string& game, DWORD maximumPlayers, const std::string& player);
    DPID Join(int sessionIndex, const std::string& player);
    // The player this peer created first, 0 for none.
    DPID FirstPlayer() const;

private:
    void LeaveSession();
    HRESULT ReceiveFlood(LPDPID from, LPDPID to, LPVOID data, LPDWORD size);
    ULONG refs_ = 1;
};

// A lobby that builds compound addresses as DPADDRESS headers, each followed by its data.
class FakeLobby final : public IDirectPlayLobby2 {
public:
    explicit FakeLobby(FakeNetwork& network) : network_(network) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateCompoundAddress(LPCDPCOMPOUNDADDRESSELEMENT elements, DWORD count,
                                       LPVOID address, LPDWORD size) override;

    STDMETHODIMP Connect(DWORD, LPDIRECTPLAY2*, IUnknown*) override { return DPERR_UNSUPPORTED; }
    STDMETHODIMP CreateAddress(REFGUID, REFGUID, LPCVOID, DWORD, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP EnumAddress(LPDPENUMADDRESSCALLBACK, LPCVOID, DWORD, LPVOID) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP EnumAddressTypes(LPDPLENUMADDRESSTYPESCALLBACK, REFGUID, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP EnumLocalApplications(LPDPLENUMLOCALAPPLICATIONSCALLBACK, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP GetConnectionSettings(DWORD, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP ReceiveLobbyMessage(DWORD, DWORD, LPDWORD, LPVOID, LPDWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP RunApplication(DWORD, LPDWORD, LPDPLCONNECTION, HANDLE) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP SendLobbyMessage(DWORD, DWORD, LPVOID, DWORD) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP SetConnectionSettings(DWORD, DWORD, LPDPLCONNECTION) override {
        return DPERR_UNSUPPORTED;
    }
    STDMETHODIMP SetLobbyMessageEvent(DWORD, DWORD, HANDLE) override { return DPERR_UNSUPPORTED; }

private:
    FakeNetwork& network_;
    ULONG refs_ = 1;
};

// The network the module's creators make peers on while it lives (one at a time).
class FakeNetwork {
public:
    FakeNetwork();
    ~FakeNetwork();
    FakeNetwork(const FakeNetwork&) = delete;
    FakeNetwork& operator=(const FakeNetwork&) = delete;

    // Set-up.
    std::vector<FakeProvider> providers{{DPSPGUID_TCPIP, "TCP/IP"}};
    bool joinAnswersConnecting = false; // every join's Open says DPERR_CONNECTING
    HRESULT joinResult = DP_OK;
    HRESULT createPlayerResult = DP_OK;
    bool receiveNeverFits = false;      // Receive asks for room again and again
    DWORD receiveOverstates = 0;        // Receive reports this many bytes more than it wrote
    HRESULT messageQueueResult = DP_OK; // GetMessageQueue fails with it when it is a failure
    DPID nextPlayer = 0x100;
    // A session hosted by nobody in this process, under the module's application unless told.
    FakeSession& AddSession(const std::string& name, DWORD maximumPlayers, long reportedPlayers);
    FakeSession& AddSession(const std::string& name, DWORD maximumPlayers, long reportedPlayers,
                            const GUID& application);

    // A peer the test drives, released with the network.
    FakePeer* NewPeer();
    // The newest live peer the module made, null for none.
    FakePeer* ModulePeer() const;
    // Puts a raw message into the peer's inbox.
    void Inject(FakePeer* to, DPID from, const std::string& bytes, DPID addressee = 0);
    // Puts count flood packets of the given size into the peer's inbox.
    void Flood(FakePeer* to, DPID from, DPID addressee, DWORD bytes, DWORD count);
    // The system messages DirectPlay sends.
    void TellSessionLost(FakePeer* to);
    void TellNowHost(FakePeer* to);

    // What happened.
    std::vector<FakeOpen> opens;
    std::vector<FakeMessage> sent;
    GUID lastProvider{};     // of the last successful InitializeConnection
    std::string lastAddress; // its address text, "" for none
    int addressElements = 0; // elements of the last compound address
    int peersMade = 0;       // through the creators
    int lobbiesMade = 0;
    int createPlayerWithoutSession = 0;

    // Shared state of the peers.
    std::vector<FakeSession> sessions;
    std::map<DPID, FakePlayer> players;
    std::vector<FakePeer*> livePeers;
    DWORD lastCompoundSize = 0; // of the last compound address the lobby built

    void Deliver(FakePeer* sender, const FakeMessage& message);
    // A system message to every other peer in the session.
    void TellSession(int session, const FakePeer* except, const std::string& bytes);
    static std::string PlayerMessage(DWORD type, DPID id, DWORD kind = DPPLAYERTYPE_PLAYER);

private:
    std::vector<FakePeer*> owned_;
};

// The module's application identifier, as the stand-ins filter by it.
extern const GUID kTestApplication;
