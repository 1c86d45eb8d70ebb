#include "core/win32.h"

#include "universe/universe_scene.h"
#include "support/temp_folder.h"
#include "universe/universe_file.h"

#include <cstring>
#include <random>
#include <string>

namespace {

std::string StructurePath(const std::string& name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path);
    return program.substr(0, program.rfind('\\')) + "\\test-data\\structures\\" + name;
}

std::vector<std::uint8_t> StructureFile(const std::string& name) {
    const std::string bytes = TempFolder::Read(StructurePath(name));
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

ByteSpan Span(const std::vector<std::uint8_t>& bytes, std::size_t size) {
    return ByteSpan{bytes.data(), size};
}

std::int32_t IntAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// Four distinct meshes standing in the level object's meshes; the world frees them.
void GiveMeshes(Universe& u) {
    for (int i = 0; i < 4; ++i)
        u.textureMeshes.push_back(BoxMesh({0, 0, 0}, {1.0f + i, 1, 1}));
}

// What any decode, whole or not, must leave: a spare past the cells, links inside the array,
// and a box on every area and portal that leads into a loaded area.
void ExpectSound(const Universe& u, std::size_t fileSize) {
    ASSERT_LE(u.areas.size(), fileSize / 40);
    if (!u.cells.empty()) {
        ASSERT_EQ(u.cells.size(), static_cast<std::size_t>(u.cellCount) + 1);
    }
    ASSERT_LE(static_cast<std::size_t>(u.cellCount), fileSize / kCellHeadBytes);
    const UniverseNode* first = u.cells.data();
    for (const UniverseNode& cell : u.cells)
        for (const UniverseNode* n : cell.neighbours)
            ASSERT_TRUE(!n || (n >= first && n < first + u.cells.size()));
    for (const auto& area : u.areas) {
        ASSERT_NE(area->box, nullptr);
        for (const auto& portal : area->portals) {
            ASSERT_NE(portal->box, nullptr);
            ASSERT_GE(portal->neighbour, 0);
            ASSERT_LT(portal->neighbour, static_cast<std::int32_t>(u.areas.size()));
        }
    }
}

} // namespace

TEST_F(UniverseTables, EmptyWorldIsTwentyBytesAndExtentsComeBackTruncatedAndSigned) {
    Universe u;
    ASSERT_TRUE(u.CreateRootNode(10.9f, -5.5f, 3000));
    const std::vector<std::uint8_t> bytes = EncodeUniverse(u);
    ASSERT_EQ(bytes.size(), 20u);
    EXPECT_EQ(IntAt(bytes, 0), 10);
    EXPECT_EQ(IntAt(bytes, 4), -5);
    EXPECT_EQ(IntAt(bytes, 8), 3000);
    EXPECT_EQ(IntAt(bytes, 12), 0);
    EXPECT_EQ(IntAt(bytes, 16), 0);

    Universe v;
    EXPECT_TRUE(DecodeUniverse(v, Span(bytes, bytes.size())));
    ASSERT_NE(v.root, nullptr);
    EXPECT_EQ(v.root->halfExtents, D3DXVECTOR3(10, -5, 3000));
    EXPECT_EQ(v.cellCount, 0);
    EXPECT_EQ(v.cells.size(), 1u);

    // A world with a root already keeps it, and still takes the file's areas.
    Universe w;
    w.CreateRootNode(1, 2, 3);
    const std::vector<std::uint8_t> plain = StructureFile("plain.tlu");
    EXPECT_TRUE(DecodeUniverse(w, Span(plain, plain.size())));
    EXPECT_EQ(w.root->halfExtents, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(w.areas.size(), 2u);
}

TEST_F(UniverseTables, SavingOntoAnExistingFileWritesNothing) {
    TempFolder folder;
    const std::string taken = folder.Write("taken.tlu", "keep");
    Universe u;
    u.CreateRootNode(100, 100, 100);
    EXPECT_FALSE(u.Save(taken.c_str()));
    EXPECT_EQ(TempFolder::Read(taken), "keep");

    const std::string fresh = folder.File("fresh.tlu");
    EXPECT_TRUE(u.Save(fresh.c_str()));
    const std::vector<std::uint8_t> expected = EncodeUniverse(u);
    EXPECT_EQ(TempFolder::Read(fresh), std::string(expected.begin(), expected.end()));
    EXPECT_FALSE(u.Load(folder.File("missing.tlu").c_str()));
}

TEST_F(UniverseTables, ThePlainFileLoadsAsWrittenAndEncodesBackToItsBytes) {
    const std::vector<std::uint8_t> plain = StructureFile("plain.tlu");
    Universe u;
    GiveMeshes(u);
    const std::vector<MeshRecord*> m = u.textureMeshes;
    ASSERT_TRUE(DecodeUniverse(u, Span(plain, plain.size())));
    EXPECT_EQ(u.root->halfExtents, D3DXVECTOR3(1000, 500, 1000));
    ASSERT_EQ(u.areas.size(), 2u);
    EXPECT_EQ(g_Universe.areaCount, 2);
    const UniverseArea& a = *u.areas[0];
    const UniverseArea& b = *u.areas[1];
    ASSERT_EQ(a.batches.size(), 2u);
    EXPECT_EQ(a.batches[0]->mesh, m[0]);
    EXPECT_EQ(a.batches[1]->mesh, m[1]);
    ASSERT_EQ(a.secondBatches.size(), 1u);
    ASSERT_EQ(b.batches.size(), 2u);
    EXPECT_EQ(b.batches[0]->mesh, m[3]);
    EXPECT_EQ(b.batches[1]->mesh, nullptr); // stored as -1
    // The shared entry is the second batch that holds its mesh, as the assembly links it.
    ASSERT_EQ(b.sharedMeshes.size(), 1u);
    EXPECT_EQ(b.sharedMeshes[0], a.secondBatches[0].get());

    ASSERT_EQ(a.portals.size(), 1u);
    const UniversePortal& door = *a.portals[0];
    EXPECT_EQ(door.neighbour, 1);
    // Boxes for the debug drawing: the area's from its corners, the portal's from its own.
    ASSERT_NE(door.box, nullptr);
    EXPECT_EQ(door.box->centre, door.centre);
    ASSERT_NE(a.box, nullptr);
    EXPECT_EQ(a.box->halfExtents, D3DXVECTOR3(100, 50, 100));
    EXPECT_EQ(a.box->sides[0].quad[0].colour, b.box->sides[0].quad[0].colour);

    ASSERT_EQ(u.cellCount, 3);
    ASSERT_EQ(u.cells.size(), 4u);
    EXPECT_EQ(u.cells[0].neighbours[0], nullptr);
    EXPECT_EQ(u.cells[0].neighbours[1], &u.cells[1]);
    EXPECT_EQ(u.cells[1].neighbours[0], &u.cells[0]);
    EXPECT_EQ(u.cells[2].neighbours[1], nullptr);
    ASSERT_EQ(u.cells[2].triangles.size(), 2u);
    EXPECT_EQ(u.cells[2].triangles[0].value, 8);
    EXPECT_EQ(u.cells[2].triangles[1].value, -2);
    EXPECT_EQ(u.cells[2].triangles[1].corners[8], 7.0f);

    const std::vector<std::uint8_t> again = EncodeUniverse(u);
    EXPECT_EQ(again, plain);
}

TEST_F(UniverseTables, OlderAndDamagedIndicesLoadWithoutReachingOutside) {
    const std::vector<std::uint8_t> odd = StructureFile("odd.tlu");
    Universe u;
    GiveMeshes(u);
    EXPECT_TRUE(DecodeUniverse(u, Span(odd, odd.size())));
    ASSERT_EQ(u.areas.size(), 2u);
    // A mesh index past the list is no mesh; a portal into no area is dropped.
    EXPECT_EQ(u.areas[1]->batches[1]->mesh, nullptr);
    ASSERT_EQ(u.areas[1]->portals.size(), 1u);
    EXPECT_EQ(u.areas[1]->portals[0]->neighbour, 0);
    // An old file's 0 for an empty side still links cell 0; the spare (index 3) is the last
    // cell a link may reach, and anything past it, even by one, links nothing.
    ASSERT_EQ(u.cellCount, 3);
    EXPECT_EQ(u.cells[2].neighbours[1], &u.cells[0]);
    EXPECT_EQ(u.cells[2].neighbours[2], nullptr);
    EXPECT_EQ(u.cells[2].neighbours[3], &u.cells[3]);
    EXPECT_EQ(u.cells[2].neighbours[4], nullptr);
    ExpectSound(u, odd.size());
}

TEST_F(UniverseTables, CutFilesKeepOnlyWholeRecords) {
    const std::vector<std::uint8_t> plain = StructureFile("plain.tlu");
    for (std::size_t size = 0; size < plain.size(); ++size) {
        Universe u;
        EXPECT_FALSE(DecodeUniverse(u, Span(plain, size))) << size;
        ExpectSound(u, size);
        // Inside the header nothing is made.
        EXPECT_EQ(u.created, size >= 16 ? 1 : 0) << size;
        // Area 0's door leads into area 1: while that is missing the door goes too.
        for (const auto& area : u.areas)
            ASSERT_EQ(area->portals.size(), u.areas.size() == 2 ? 1u : 0u) << size;
        for (std::int32_t c = 0; c < u.cellCount; ++c)
            ASSERT_EQ(u.cells[c].triangles.size(), c == 1 ? 0u : c == 0 ? 1u : 2u) << size;
    }
}

TEST_F(UniverseTables, HostileCountsAndRandomBytesNeitherCrashNorAllocateHugely) {
    const std::vector<std::uint8_t> plain = StructureFile("plain.tlu");
    // Every field is four bytes wide, so this puts each value at every count in turn.
    for (std::int32_t value : {-1, 0x7FFFFFFF, 0x40000000, 1000000, INT32_MIN}) {
        for (std::size_t at = 12; at + 4 <= plain.size(); at += 4) {
            std::vector<std::uint8_t> bytes = plain;
            std::memcpy(bytes.data() + at, &value, 4);
            Universe u;
            DecodeUniverse(u, Span(bytes, bytes.size()));
            ExpectSound(u, bytes.size());
            ASSERT_LE(u.areas.size(), 2u) << at;
            ASSERT_LE(u.cellCount, 3) << at;
        }
    }
    std::mt19937 random(42);
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::uint8_t> bytes(random() % 700);
        for (std::uint8_t& b : bytes)
            b = static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : random());
        Universe u;
        DecodeUniverse(u, Span(bytes, bytes.size()));
        ExpectSound(u, bytes.size());
    }
}

TEST_F(UniverseTables, SharedEntriesLinkTheFirstHolderOfTheirMeshInOnePass) {
    // Checked pairwise against every second batch, this many entries would take many minutes.
    constexpr std::int32_t kMany = 600000;
    std::vector<std::int32_t> words = {100, 100, 100, 2};
    auto area = [&words](const std::vector<std::int32_t>& second,
                         const std::vector<std::int32_t>& shared) {
        words.insert(words.end(), 9 + 1, 0); // bounds and centre at 0, no batches
        for (const std::vector<std::int32_t>* list : {&second, &shared}) {
            words.push_back(static_cast<std::int32_t>(list->size()));
            words.insert(words.end(), list->begin(), list->end());
        }
        words.push_back(0); // no portals
    };
    // Area 0 holds mesh 1 many times, then mesh 2; area 1 holds meshes 2 and 0.
    std::vector<std::int32_t> second(kMany, 1), shared(kMany, 1);
    second.push_back(2);
    area(second, {});
    shared.insert(shared.end(), {2, 0, 3, kNoIndex, 3});
    area({2, 0}, shared);
    words.push_back(0); // no cells
    std::vector<std::uint8_t> bytes(4 * words.size());
    std::memcpy(bytes.data(), words.data(), bytes.size());

    Universe u;
    GiveMeshes(u);
    ASSERT_TRUE(DecodeUniverse(u, Span(bytes, bytes.size())));
    ASSERT_EQ(u.areas.size(), 2u);
    const UniverseArea &a = *u.areas[0], &b = *u.areas[1];
    ASSERT_EQ(b.sharedMeshes.size(), kMany + 5u);
    // The first holder, areas in order and then their batches, as the batch assembly links.
    EXPECT_EQ(b.sharedMeshes[0], a.secondBatches[0].get());
    EXPECT_EQ(b.sharedMeshes[kMany - 1], a.secondBatches[0].get());
    EXPECT_EQ(b.sharedMeshes[kMany], a.secondBatches[kMany].get());
    EXPECT_EQ(b.sharedMeshes[kMany + 1], b.secondBatches[1].get());
    // A mesh no second batch holds, and no mesh, get a holder of their own at each entry.
    ASSERT_EQ(b.loadedShared.size(), 3u);
    EXPECT_EQ(b.sharedMeshes[kMany + 2], b.loadedShared[0].get());
    EXPECT_EQ(b.loadedShared[0]->mesh, u.textureMeshes[3]);
    EXPECT_EQ(b.sharedMeshes[kMany + 3]->mesh, nullptr);
    EXPECT_EQ(b.sharedMeshes[kMany + 4], b.loadedShared[2].get());
}

TEST_F(UniverseTables, EntriesAreWrittenByTheFirstPlaceOfTheirMeshInOnePass) {
    // The level's list names a mesh once a batch holding it (as a save lists them): here one mesh
    // two million times, then two more. Searched through the list for each of a million entries,
    // the last mesh would take many minutes.
    constexpr std::int32_t kListed = 2000000, kEntries = 1000000;
    Universe u;
    MeshRecord* meshes[3] = {new MeshRecord, new MeshRecord, new MeshRecord};
    u.textureMeshes.assign(kListed, meshes[0]);
    u.textureMeshes.insert(u.textureMeshes.end(), {meshes[1], meshes[2], meshes[1]});
    u.areas.push_back(std::make_unique<UniverseArea>());
    UniverseArea& area = *u.areas[0];
    for (MeshRecord* mesh : {meshes[2], meshes[1], meshes[0]})
        area.batches.push_back(std::make_unique<UniverseBatch>(UniverseBatch{mesh}));
    area.secondBatches.push_back(std::make_unique<UniverseBatch>()); // no mesh
    area.sharedMeshes.assign(kEntries, area.batches[0].get());
    const std::vector<std::uint8_t> bytes = EncodeUniverse(u);
    // Past the header and the area's three vectors: the batches, the second batch, the entries.
    const std::pair<std::size_t, std::int32_t> fields[] = {
        {0, 3},         {4, kListed + 1},  {8, kListed},
        {12, 0},        {16, 1},           {20, kNoIndex},
        {24, kEntries}, {28, kListed + 1}, {24 + 4 * kEntries, kListed + 1}};
    for (const auto& [offset, value] : fields)
        EXPECT_EQ(IntAt(bytes, 16 + 36 + offset), value) << offset;
}

TEST(UniverseFileName, ReplacesAFourCharacterExtensionOrAppends) {
    EXPECT_EQ(UniverseFileName("level.tlo"), "level.tlu");
    EXPECT_EQ(UniverseFileName("maps\\level.TLO"), "maps\\level.tlu");
    EXPECT_EQ(UniverseFileName("level"), "level.tlu");
    EXPECT_EQ(UniverseFileName("a.x"), "a.x.tlu");
    EXPECT_EQ(UniverseFileName("maps.v2\\lvl"), "maps.v2\\lvl.tlu");
    EXPECT_EQ(UniverseFileName(nullptr), ".tlu");
}
