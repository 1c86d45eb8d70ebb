// Providers, sessions, players and session events, on stand-in DirectPlay peers.
#include "core/win32.h"

#include "net_fixture.h"

#include <string>

namespace {

const GUID kOtherApplication = {0x1234, 5, 6, {7, 8, 9, 10, 11, 12, 13, 14}};

class NetSessions : public NetTest {};

} // namespace

TEST_F(NetSessions, JoiningFirstJoinsTheFirstSessionAndAGameRefusesAnother) {
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        network.AddSession(name, 4, 1);
    JoinNetGame(3, "Bo");
    ASSERT_EQ(NetGameExists(), 1);
    EXPECT_EQ(errors.Last(), 0);
    ASSERT_EQ(network.opens.size(), 1u);
    EXPECT_EQ(network.opens[0].openFlags, static_cast<DWORD>(DPOPEN_JOIN));
    EXPECT_EQ(network.opens[0].description.guidInstance, network.sessions[0].instance);
    EXPECT_EQ(network.opens[0].description.guidApplication, kTestApplication);

    JoinNetGame(2, "Bo");
    CreateNetGame("Mine", "Bo", 4);
    EXPECT_EQ(network.opens.size(), 1u) << "a second game while in one";
    EXPECT_EQ(errors.Last(), 0);

    // Once the network is set up, the number counts.
    FreeNetGame();
    EXPECT_EQ(NetGameExists(), 0);
    SelectNetConnection(1);
    ListNetSessions();
    EXPECT_EQ(Rows().size(), 3u);
    JoinNetGame(3, "Bo");
    ASSERT_EQ(network.opens.size(), 2u);
    EXPECT_EQ(network.opens[1].description.guidInstance, network.sessions[2].instance);
}

TEST_F(NetSessions, HostingChecksItsArgumentsAndOpensWithTheTypesFlags) {
    CreateNetGame("Game", "Pat", 1);
    EXPECT_EQ(errors.Last(), 8507);
    errors.Clear();
    CreateNetGame("Game", "Pat", 256);
    EXPECT_EQ(errors.Last(), 8507);
    CreateNetGame("", "Pat", 4);
    EXPECT_EQ(errors.Last(), 8509);
    CreateNetGame("Game", "", 4);
    EXPECT_EQ(errors.Last(), 8508);
    errors.Clear();
    CreateNetGame(nullptr, "Pat", 4);
    CreateNetGame("Game", nullptr, 4);
    EXPECT_EQ(errors.Last(), 0) << "missing names are only warned about";
    EXPECT_TRUE(network.opens.empty());

    struct Case {
        int maximum, type;
        DWORD flags;
    };
    for (const Case& c : {Case{2, -1, 0x2004}, Case{255, -1, 0x2004}, Case{8, 1, 0x2004},
                          Case{8, 2, 0x3000}, Case{8, 7, 0x2000}}) {
        if (c.type < 0) {
            CreateNetGame("Game", "Pat", c.maximum);
        } else {
            CreateNetGame("Game", "Pat", c.maximum, c.type);
        }
        ASSERT_EQ(NetGameExists(), 1) << c.maximum << " " << c.type;
        const FakeOpen& open = network.opens.back();
        EXPECT_EQ(open.openFlags, static_cast<DWORD>(DPOPEN_CREATE));
        EXPECT_EQ(open.description.dwFlags, c.flags) << c.type;
        EXPECT_EQ(open.description.dwMaxPlayers, static_cast<DWORD>(c.maximum));
        EXPECT_EQ(open.description.dwSize, 80u);
        EXPECT_EQ(open.name, "Game");
        EXPECT_EQ(network.players.at(DPID_SERVERPLAYER).name, "Pat");
        FreeNetGame();
    }
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetSessions, PlayersGetNumbersAndLeaveTheListWhenGone) {
    EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1) << "the host is the server player";
    FakePeer* bo = nullptr;
    EXPECT_EQ(Joins("Bo", &bo), 2);
    const DPID boId = bo->FirstPlayer();
    ListNetPlayers();
    ASSERT_EQ(Rows(), (std::vector<std::string>{"Host", "Bo"}));
    EXPECT_EQ(Value(0, 0), 1);
    EXPECT_EQ(Value(0, 1), 1);
    EXPECT_EQ(Value(0, 2), 1) << "local";
    EXPECT_EQ(Value(0, 3), 1) << "server player";
    EXPECT_EQ(Value(1, 0), 2);
    EXPECT_EQ(Value(1, 1), static_cast<std::int32_t>(boId));
    EXPECT_EQ(Value(1, 2), 0);
    EXPECT_EQ(Value(1, 3), 0);

    bo->Close();
    EXPECT_EQ(NetPlayerDestroyed(), 2);
    EXPECT_EQ(NetPlayerDestroyed(), 0) << "cleared once read";
    ListNetPlayers();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Host"}));
    EXPECT_EQ(Joins("Cy"), 2) << "Bo's number was freed";

    FreeNetPlayer(1);
    EXPECT_EQ(network.players.count(DPID_SERVERPLAYER), 1u) << "identifier 1 stays";
    ListNetPlayers();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Host", "Cy"}));
    EXPECT_EQ(Value(0, 0), 1);

    const std::int32_t extra = CreateNetPlayer("Extra");
    EXPECT_EQ(extra, 3);
    FreeNetPlayer(extra);
    ListNetPlayers();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Host", "Cy"}));
    FreeNetPlayer(2); // Cy belongs to another peer: DirectPlay refuses, the number stays
    EXPECT_EQ(errors.Last(), 0);
    for (int bad : {0, -1, 256}) {
        errors.Clear();
        FreeNetPlayer(bad);
        EXPECT_EQ(errors.Last(), 8512) << bad;
    }
}

TEST_F(NetSessions, SessionsAreListedWithTheirCountsAndNamesAreBounded) {
    network.AddSession("Arena", 8, 2);
    network.AddSession("Elsewhere", 8, 2, kOtherApplication);
    network.AddSession(std::string(600, 'x'), 16, 3);
    SelectNetConnection(1);
    ListNetSessions();
    const std::vector<std::string> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "Arena (2/8)");
    EXPECT_EQ(Value(0, 0), 2);
    EXPECT_EQ(Value(0, 1), 8);
    EXPECT_EQ(rows[1], std::string(255, 'x'));
    EXPECT_EQ(Value(1, 1), 16);
    EXPECT_TRUE(g_CoreData->checklistMade && g_CoreData->checklistHasValues &&
                g_CoreData->checklistHasStrings);

    // A remote player's long name is cut the same way.
    for (FakeSession& session : network.sessions)
        session.open = false;
    FakePeer* host = network.NewPeer();
    ASSERT_NE(host->Host("Long", 8, std::string(600, 'y')), 0u);
    ConnectNetGame("Long", "Me", 8, 1);
    ASSERT_EQ(NetGameExists(), 1);
    ListNetPlayers();
    EXPECT_EQ(Rows().at(0), std::string(255, 'y'));

    for (int i = 0; i < 300; ++i)
        network.AddSession("Many", 4, 0);
    ListNetSessions();
    EXPECT_EQ(Rows().size(), 256u) << "the table holds 256 sessions";
}

TEST_F(NetSessions, OnlyProvidersThatInitialiseAreListedAndIpxIsTheDefault) {
    network.providers = {{DPSPGUID_TCPIP, "TCP/IP"},
                         {DPSPGUID_MODEM, "Modem", false},
                         {DPSPGUID_IPX, "IPX"},
                         {DPSPGUID_SERIAL, "Serial"}};
    ListNetConnections();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"TCP/IP", "IPX", "Serial"}));
    EXPECT_FALSE(g_CoreData->checklistHasValues);
    FreeNetGame();

    CreateNetGame("Game", "Pat", 4);
    ASSERT_EQ(NetGameExists(), 1);
    EXPECT_EQ(network.lastProvider, DPSPGUID_IPX);
    EXPECT_EQ(network.addressElements, 1);
    FreeNetGame();

    network.providers.erase(network.providers.begin() + 2);
    CreateNetGame("Game", "Pat", 4);
    EXPECT_EQ(network.lastProvider, DPSPGUID_TCPIP) << "without IPX, TCP/IP";
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetSessions, SelectingAConnectionBuildsItsAddress) {
    network.providers = {{DPSPGUID_TCPIP, "TCP/IP"}, {DPSPGUID_IPX, "IPX"}};
    SelectNetConnection(1, "127.0.0.1");
    EXPECT_EQ(network.lastProvider, DPSPGUID_TCPIP);
    EXPECT_EQ(network.lastAddress, "127.0.0.1");
    EXPECT_EQ(network.addressElements, 2);
    // Chosen again on an object DirectPlay has already initialised.
    SelectNetConnection(2, "10.0.0.1");
    EXPECT_EQ(network.lastProvider, DPSPGUID_IPX);
    EXPECT_EQ(network.addressElements, 1) << "IPX takes no address";
    SelectNetConnection(1);
    EXPECT_EQ(network.lastProvider, DPSPGUID_TCPIP);
    EXPECT_EQ(network.addressElements, 1) << "an empty address adds no element";
    EXPECT_EQ(errors.Last(), 0);
    for (int bad : {0, 65}) {
        errors.Clear();
        SelectNetConnection(bad);
        EXPECT_EQ(errors.Last(), 8510) << bad;
    }
    SelectNetConnection(3); // no such provider: a warning only
    EXPECT_EQ(errors.Last(), 8510);
    EXPECT_EQ(network.lastProvider, DPSPGUID_TCPIP);

    network.providers.assign(70, FakeProvider{DPSPGUID_TCPIP, "Same", true});
    FreeNetGame();
    ListNetConnections();
    EXPECT_EQ(Rows().size(), 64u);
}

TEST_F(NetSessions, JoinsEndWithTheirResults) {
    network.AddSession("Arena", 8, 1);
    JoinNetGame(1, "");
    EXPECT_EQ(errors.Last(), 8508);
    errors.Clear();
    JoinNetGame(1, nullptr);
    EXPECT_EQ(errors.Last(), 8508);
    for (int bad : {0, 257}) {
        errors.Clear();
        JoinNetGame(bad, "Bo");
        EXPECT_EQ(errors.Last(), 8511) << bad;
    }
    errors.Clear();
    JoinNetGame(2, "Bo"); // a number in range that the list does not have
    EXPECT_EQ(NetGameExists(), 0);

    network.joinResult = DPERR_CANTCREATEPLAYER;
    JoinNetGame(1, "Bo");
    EXPECT_EQ(NetGameExists(), 0);
    network.joinResult = DPERR_NOSESSIONS;
    JoinNetGame(1, "Bo");
    EXPECT_EQ(NetGameExists(), 0);

    // Joined, but no player: the session is left again.
    network.joinResult = DP_OK;
    network.createPlayerResult = DPERR_CANTCREATEPLAYER;
    JoinNetGame(1, "Bo");
    EXPECT_EQ(NetGameExists(), 0);
    ASSERT_NE(network.ModulePeer(), nullptr);
    EXPECT_EQ(network.ModulePeer()->session, -1);
    CreateNetGame("Mine", "Bo", 4);
    EXPECT_EQ(NetGameExists(), 0);
    EXPECT_EQ(network.ModulePeer()->session, -1);

    network.createPlayerResult = DP_OK;
    JoinNetGame(1, "Bo");
    EXPECT_EQ(NetGameExists(), 1);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetSessions, ConnectingJoinsAndNumbersTheNamedPlayersFirst) {
    EXPECT_EQ(ConnectNetGame("Arena", "", 8, 1), 0);
    EXPECT_EQ(errors.Last(), 8508) << "only the hosting raises";
    errors.Clear();

    FakePeer* host = network.NewPeer();
    ASSERT_EQ(host->Host("Arena", 8, "Ann"), DPID_SERVERPLAYER);
    DPNAME nameless{};
    nameless.dwSize = sizeof nameless;
    DPID ghost = 0;
    ASSERT_EQ(host->CreatePlayer(&ghost, &nameless, nullptr, nullptr, 0, 0), DP_OK);
    FreeNetGame();
    EXPECT_EQ(ConnectNetGame("Arena", "Me", 8, 1), 2);
    EXPECT_EQ(NetGameExists(), 1);
    EXPECT_EQ(network.opens.back().openFlags, static_cast<DWORD>(DPOPEN_JOIN));
    ListNetPlayers();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Ann", "Me"}));
    EXPECT_EQ(Value(0, 0), 1);
    EXPECT_EQ(Value(1, 0), 2);
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetSessions, SessionEventsAreReportedOnceAndFreeingReleasesEverything) {
    FakePeer* peer = Host();
    network.TellNowHost(peer);
    EXPECT_EQ(NetGameNowHosting(), 1);
    EXPECT_EQ(NetGameNowHosting(), 0);
    network.Inject(peer, DPID_SYSMSG, std::string("\x03\0\0\0\x07\0\0\0", 8)); // names nobody
    EXPECT_EQ(NetPlayerCreated(), 0);
    network.TellSessionLost(peer);
    EXPECT_EQ(NetGameLost(), 1);
    EXPECT_EQ(NetGameLost(), 0);
    EXPECT_EQ(NetGameExists(), 0);

    FreeNetGame();
    EXPECT_EQ(network.ModulePeer(), nullptr) << "every DirectPlay object released";
    EXPECT_EQ(network.sessions[0].open, false);
    EXPECT_TRUE(network.players.empty());
    EXPECT_EQ(NetGameLost(), 0);
    EXPECT_EQ(NetPlayerCreated(), 0);
}

TEST_F(NetSessions, AJoinThatKeepsConnectingGivesUpAfterTenSeconds) {
    network.AddSession("Slow", 8, 1);
    network.joinAnswersConnecting = true;
    const DWORD start = timeGetTime();
    JoinNetGame(1, "Bo");
    const DWORD elapsed = timeGetTime() - start;
    EXPECT_EQ(NetGameExists(), 0);
    EXPECT_GE(elapsed, 9000u);
    EXPECT_LT(elapsed, 30000u);
    EXPECT_GT(network.opens.size(), 2u) << "it asked again meanwhile";
    EXPECT_EQ(network.ModulePeer()->session, -1);
}
