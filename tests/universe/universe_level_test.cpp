#include "core/win32.h"

#include "universe/universe_scene.h"
#include "core/load_budget.h"
#include "object3d/model_files.h"
#include "object3d/positioning.h"
#include "support/failing_saves.h"
#include "support/temp_folder.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"
#include "universe/universe_file.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A loaded-style world (no grid) of two areas over four meshes, mesh 0 held by both areas'
// batches, mesh 2 by area 0's second batches and shared with area 1.
void BuildHandMadeAreas() {
    ReplaceUniverse(true);
    Universe& u = World();
    u.CreateRootNode(1000, 1000, 1000);
    MeshRecord* m[4];
    for (int i = 0; i < 4; ++i)
        m[i] = BoxMesh({0, 0, 0}, {1.0f + i, 1, 1});
    u.textureMeshes.assign(m, m + 4);
    auto holder = [](MeshRecord* mesh) {
        auto h = std::make_unique<UniverseBatch>();
        h->mesh = mesh;
        return h;
    };
    for (int a = 0; a < 2; ++a)
        u.areas.push_back(std::make_unique<UniverseArea>());
    UniverseArea& first = *u.areas[0];
    UniverseArea& second = *u.areas[1];
    first.batches.push_back(holder(m[0]));
    first.batches.push_back(holder(m[1]));
    first.secondBatches.push_back(holder(m[2]));
    second.batches.push_back(holder(m[3]));
    second.batches.push_back(holder(m[0]));
    second.sharedMeshes.push_back(first.secondBatches[0].get());
    auto door = std::make_unique<UniversePortal>();
    door->neighbour = 1;
    door->strength = 1;
    first.portals.push_back(std::move(door));
}

std::int32_t IntAt(const std::string& bytes, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// Writes a level pair into the folder: an object file of one frame holding a triangle-list mesh of
// the given vertex count, and beside it the structure file of the words; the object file's name.
std::string WriteLevelPair(const TempFolder& folder, std::int32_t vertices,
                           const std::vector<std::int32_t>& words) {
    ObjectRecord object;
    object.rootFrame = new FrameRecord;
    auto* mesh = new MeshRecord;
    object.rootFrame->mesh = mesh;
    mesh->fvf = D3DFVF_XYZ;
    mesh->vertexSize = 12;
    mesh->vertexCount = mesh->drawVertexCount = vertices;
    mesh->drawPrimitiveCount = vertices / 3;
    mesh->vertices = new std::uint8_t[12 * vertices]();
    const std::string level = folder.File("crafted.tlo");
    EXPECT_TRUE(SaveObjectFile(level.c_str(), &object));
    std::string bytes(4 * words.size(), '\0');
    std::memcpy(bytes.data(), words.data(), bytes.size());
    folder.Write("crafted.tlu", bytes);
    return level;
}

// Where the structure file of the world above holds area 1's second batch index: past the
// header, area 0 (vectors, 2 + 1 + 0 indices with their counts, one portal), area 1's vectors,
// its count and first index.
constexpr std::size_t kAreaOneBatchTwo = 16 + (36 + 12 + 8 + 4 + 112) + 36 + 8;

class UniverseSavesOnTestDisks : public UniverseScene {};

} // namespace

TEST_F(UniverseSavesOnTestDisks, FailedSavesKeepTheOldFiles) {
    BuildHandMadeAreas();
    CheckUnnamedSaves("SaveUniverse", 8212, [](const char* name) { SaveUniverse(name); });
    using F = SaveFault;
    const auto save = [](const std::string& target) { SaveUniverse(target.c_str()); };
    CheckFailingSaves({{"SaveUniverse", F::FullDisk, false, 8212, save},
                       {"SaveUniverse", F::ReadOnlyFolder, false, 8212, save},
                       {"SaveUniverse", F::AppearsMeanwhile, true, 8212, save}},
                      "saved.tlo", SeededBytes(100000, 43));
    // The structure file appears once the object file is in place: that one goes again.
    const auto beside = [](const std::string& structure) {
        SaveUniverse((structure.substr(0, structure.size() - 4) + ".tlo").c_str());
    };
    CheckFailingSaves({{"SaveUniverse", F::AppearsMeanwhile, true, 8212, beside}}, "saved.tlu",
                      SeededBytes(1000, 44));
}

TEST_F(UniverseScene, ALevelSavesAsAPairAndLoadsBackToTheSameBytes) {
    TempFolder folder;
    BuildHandMadeAreas();
    const std::string level = folder.File("level.tlo");
    ASSERT_TRUE(World().SaveLevel(level.c_str()));
    const std::string objectBytes = TempFolder::Read(level);
    const std::string structureBytes = TempFolder::Read(folder.File("level.tlu"));
    ASSERT_FALSE(objectBytes.empty());
    // The mesh in two areas' lists goes into the object file twice; the structure file names
    // its first place both times.
    ASSERT_EQ(World().textureMeshes.size(), 5u);
    EXPECT_EQ(World().textureMeshes[4], World().textureMeshes[0]);
    EXPECT_EQ(IntAt(structureBytes, kAreaOneBatchTwo), 0);
    ObjectRecord* saved = nullptr;
    ASSERT_TRUE(LoadObjectFile(level.c_str(), &saved));
    std::int32_t frames = 0;
    WalkFrameTree(saved->rootFrame, [&](FrameRecord* f) { frames += f->mesh ? 1 : 0; });
    delete saved;
    EXPECT_EQ(frames, 5);

    ASSERT_EQ(LoadUniverse(level.c_str(), 0), 1);
    Universe& u = World();
    ASSERT_EQ(u.textureMeshes.size(), 5u);
    ASSERT_EQ(u.areas.size(), 2u);
    EXPECT_EQ(g_Universe.areaCount, 2);
    EXPECT_EQ(u.areas[1]->batches[1]->mesh, u.textureMeshes[0]);
    EXPECT_EQ(u.areas[1]->sharedMeshes[0], u.areas[0]->secondBatches[0].get());
    EXPECT_NE(u.areas[0]->batches[0]->mesh->drawItem, nullptr);
    EXPECT_EQ(u.textureMeshes[3]->bounds.maximum.x, 4.0f);

    // A loaded world saves its loaded batches again, to the same bytes.
    const std::string again = folder.File("again.tlo");
    ASSERT_TRUE(World().SaveLevel(again.c_str()));
    EXPECT_EQ(TempFolder::Read(folder.File("again.tlu")), structureBytes);
    EXPECT_EQ(TempFolder::Read(again), objectBytes);
    EXPECT_EQ(World().textureMeshes.size(), 5u);
}

TEST_F(UniverseScene, OneMeshHeldByManyBatchesIsPlacedOnce) {
    // Placed again for each of its holders, the mesh would be copied into a buffer of its own
    // this many times over, for many minutes.
    constexpr std::int32_t kHolders = 600000;
    constexpr std::int32_t kVertices = 65535;
    std::vector<std::int32_t> words = {100, 100, 100, 1};
    words.insert(words.end(), 9, 0); // the area's bounds and centre
    words.push_back(kHolders);
    words.insert(words.end(), kHolders, 0);  // each batch the level's mesh 0
    words.insert(words.end(), {0, 0, 0, 0}); // no second batches, shared entries, portals, cells
    TempFolder folder;
    const std::string level = WriteLevelPair(folder, kVertices, words);
    ASSERT_EQ(LoadUniverse(level.c_str(), 0), 1);
    const Universe& u = World();
    ASSERT_EQ(u.textureMeshes.size(), 1u);
    MeshRecord* mesh = u.textureMeshes[0];
    EXPECT_EQ(mesh->vertexCount, kVertices);
    EXPECT_NE(mesh->drawItem, nullptr);
    ASSERT_EQ(u.areas.size(), 1u);
    ASSERT_EQ(u.areas[0]->batches.size(), static_cast<std::size_t>(kHolders));
    EXPECT_EQ(u.areas[0]->batches[kHolders - 1]->mesh, mesh);
    // The holders and the mesh's vertices were charged to the load of both files.
    EXPECT_GE(LastLoadCharged(), std::uint64_t{kHolders} * sizeof(UniverseBatch) + 12 * kVertices);
    EXPECT_LE(LastLoadCharged(), LastLoadLimit());
}

TEST_F(UniverseScene, AStructureFileBeyondItsBudgetLeavesAnEmptyWorld) {
    // Areas of 52 bytes each, every one making an area record and its box: together past any
    // budget a file of this size gets, unless it is loaded whole with all of them charged.
    constexpr std::int32_t kAreas = 180000;
    std::vector<std::int32_t> words = {100, 100, 100, kAreas};
    words.insert(words.end(), 13 * std::size_t{kAreas}, 0);
    words.push_back(0); // no cells
    TempFolder folder;
    const std::string level = WriteLevelPair(folder, 3, words);
    const std::uint64_t made = kAreas * std::uint64_t{sizeof(UniverseArea) + sizeof(UniverseNode)};
    const std::uint64_t fileBytes = 4 * words.size() + TempFolder::Read(level).size();
    cell.number = 0;
    const std::int32_t loaded = LoadUniverse(level.c_str(), 0);
    if (made > LoadBudgetFor(fileBytes)) {
        EXPECT_EQ(loaded, 0);
    }
    if (loaded) {
        EXPECT_GE(LastLoadCharged(), made);
        EXPECT_LE(LastLoadCharged(), LastLoadLimit());
        return;
    }
    EXPECT_EQ(cell.number, 7018);
    ASSERT_NE(UniversePointer(), nullptr);
    EXPECT_EQ(World().created, 0);
    EXPECT_TRUE(World().areas.empty());
    EXPECT_TRUE(World().textureMeshes.empty());
    EXPECT_EQ(g_Universe.areaCount, 0);
}

TEST_F(UniverseScene, ABuiltLevelLoadsBackAndStillCollides) {
    TempFolder folder;
    BuildDoorwayLevel();
    const std::size_t cells = World().cells.size();
    const std::string level = folder.File("doorway.tlo");
    ASSERT_TRUE(World().SaveLevel(level.c_str()));
    ASSERT_EQ(LoadUniverse(level.c_str(), 0), 1);
    EXPECT_EQ(World().areas.size(), 2u);
    EXPECT_EQ(World().cells.size(), cells);
    // The wall, 12.9 units along the ray, through the loaded batches.
    EXPECT_EQ(UniverseRayCommand(-100, 20, 36.6f, -100, 20, 60), 12);
    EXPECT_EQ(UniverseRayCommand(0, 50, 0, 0, 50, 100), 0);
}

TEST_F(UniverseScene, ALevelIsWrittenWholeOrNotAtAll) {
    TempFolder folder;
    BuildHandMadeAreas();
    // The structure file there already: neither file is written, the world is untouched, and
    // the save says so as the object file's would.
    const std::string taken = folder.Write("taken.tlu", "old");
    cell.number = 0;
    EXPECT_FALSE(World().SaveLevel(folder.File("taken.tlo").c_str()));
    EXPECT_EQ(cell.number, 106);
    EXPECT_EQ(TempFolder::Read(taken), "old");
    EXPECT_FALSE(ObjectFileExists(folder.File("taken.tlo").c_str()));
    EXPECT_EQ(World().textureMeshes.size(), 4u);

    // The object file there already: its save's error, and no structure file.
    folder.Write("busy.tlo", "old");
    cell.number = 0;
    EXPECT_FALSE(World().SaveLevel(folder.File("busy.tlo").c_str()));
    EXPECT_EQ(cell.number, 106);
    EXPECT_FALSE(ObjectFileExists(folder.File("busy.tlu").c_str()));
    // A name that is its own structure file, and a folder that is not there, cannot be written.
    for (const char* name : {"self.tlu", "missing\\level.tlo"}) {
        cell.number = 0;
        EXPECT_FALSE(World().SaveLevel(folder.File(name).c_str())) << name;
        EXPECT_EQ(cell.number, 8212) << name;
        EXPECT_FALSE(ObjectFileExists(folder.File(name).c_str())) << name;
    }
    // One without an extension gains it.
    EXPECT_TRUE(World().SaveLevel(folder.File("bare").c_str()));
    EXPECT_TRUE(ObjectFileExists(folder.File("bare.tlu").c_str()));
    // No temporary file is left behind.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder.File("*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);

    // A missing level leaves an empty world and answers 0.
    cell.number = 0;
    EXPECT_EQ(LoadUniverse(folder.File("none.tlo").c_str(), 0), 0);
    ASSERT_NE(UniversePointer(), nullptr);
    EXPECT_EQ(World().created, 0);
    EXPECT_TRUE(World().textureMeshes.empty());
}

TEST_F(UniverseScene, LimbsBecomeLevelMeshesWithTheirCompanionsAndCasters) {
    CreateUniverse(1000, 1000, 1000);
    BuildBox(1, 10);
    PositionObject(1, 100, 0, 0);
    AddLimbToUniverse(1, 0, 1, 5, 2, 2);
    Universe& u = World();
    ASSERT_EQ(u.levelMeshes.size(), 1u);
    MeshRecord* mesh = u.levelMeshes[0];
    EXPECT_EQ(mesh->owner, 1);
    EXPECT_EQ(mesh->shadowKind, 2);
    EXPECT_EQ(mesh->worldSpace, 1);
    EXPECT_NEAR(mesh->bounds.centre.x, 100, 1e-3f);
    EXPECT_NE(mesh->drawItem, nullptr);
    EXPECT_EQ(FirstMesh(1)->collisionValue, 5);
    EXPECT_EQ(FirstMesh(1)->collisionKind, 2);
    EXPECT_EQ(g_Object3D.objects[1]->inUniverse, 1);
    EXPECT_TRUE(u.pendingLimbs.empty());
    // Mode 1: a box over the limb's bounds, moved with it; kind 2: the mesh itself casts.
    EXPECT_EQ(u.collisionModes[0], 1);
    ASSERT_NE(u.collisionMeshes[0], nullptr);
    EXPECT_EQ(u.collisionMeshes[0]->vertexCount, 24);
    EXPECT_NEAR(u.collisionMeshes[0]->bounds.minimum.x, 90, 1e-3f);
    ASSERT_EQ(u.shadowCasters.size(), 1u);
    EXPECT_EQ(u.shadowCasters[0].mesh, mesh);

    // Shadow kind 1: the box approximation casts; mode 0 keeps it as the companion.
    BuildBox(2, 10);
    AddObjectToUniverse(2, 0, 0, 1, 0);
    ASSERT_EQ(u.levelMeshes.size(), 2u);
    ASSERT_NE(u.collisionMeshes[1], nullptr);
    ASSERT_EQ(u.shadowCasters.size(), 2u);
    EXPECT_EQ(u.shadowCasters[1].mesh, u.collisionMeshes[1]);
    // No companion without a box mode or kind.
    BuildBox(3, 10);
    AddObjectToUniverseExport(3, 0, 0, 0, 0);
    ASSERT_EQ(u.levelMeshes.size(), 3u);
    EXPECT_EQ(u.collisionMeshes[2], nullptr);
    EXPECT_EQ(u.shadowCasters.size(), 2u);

    // Outside the root box: nothing added, not even a caster.
    PositionObject(3, 995, 0, 0);
    AddObjectToUniverse(3, 1, 0, 2, 0);
    EXPECT_EQ(u.levelMeshes.size(), 3u);
    EXPECT_EQ(u.shadowCasters.size(), 2u);
}

TEST_F(UniverseTables, AMeshTheManagerRefusesCastsNoShadow) {
    // Without a device no mesh can be placed in the buffers.
    BuildBox(1, 10);
    AddObjectToUniverse(1, 1, 0, 2, 0);
    EXPECT_TRUE(World().levelMeshes.empty());
    EXPECT_TRUE(World().shadowCasters.empty());
    EXPECT_EQ(g_Object3D.objects[1]->inUniverse, 1);
}
