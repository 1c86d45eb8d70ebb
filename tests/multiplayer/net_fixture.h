// The multiplayer module on a network of stand-in peers, without an engine window; the memory
// blocks module beside it.
#pragma once

#include "core/win32.h"

#include "fake_directplay.h"
#include "core/checklist.h"
#include "core/core.h"
#include "memblock/memblock.h"
#include "multiplayer/multiplayer.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

class NetTest : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        MemblocksConstructor(nullptr);
        MultiplayerConstructor();
        MultiplayerPassCoreDataExport(g_CoreData);
    }
    void TearDown() override {
        MultiplayerDestructor();
        MemblocksDestructor();
        FreeChecklist();
    }

    // The checklist's texts.
    static std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (std::int32_t i = 0; i < g_CoreData->checklistRowsInUse; ++i)
            rows.emplace_back(g_CoreData->checklistRows[i].string);
        return rows;
    }
    static std::int32_t Value(std::int32_t row, int index) {
        return g_CoreData->checklistRows[row].values[index];
    }
    // Hosts "Arena" for eight as "Host"; the module's peer.
    FakePeer* Host() {
        CreateNetGame("Arena", "Host", 8);
        EXPECT_EQ(NetGameExists(), 1);
        return network.ModulePeer();
    }
    // A peer of the test's that joins the module's session as name; its player's number on the
    // module's side.
    std::int32_t Joins(const std::string& name, FakePeer** peer = nullptr) {
        FakePeer* p = network.NewPeer();
        EXPECT_NE(p->Join(0, name), 0u);
        if (peer) *peer = p;
        return NetPlayerCreated();
    }
    // The text the module returns, released again.
    static std::string Text(char* text) {
        std::string s = text ? text : "(null)";
        if (text) CoreResizeString(&text, 0);
        return s;
    }

    FakeNetwork network;
    ErrorCellScope errors;
};

// The four bytes of a 32-bit value.
inline std::string Word(std::uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

// The bytes of a packet: type, N and the data.
inline std::string Packet(std::uint32_t type, const std::string& data) {
    std::string bytes(8, '\0');
    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    std::memcpy(bytes.data(), &type, 4);
    std::memcpy(bytes.data() + 4, &size, 4);
    return bytes + data;
}
