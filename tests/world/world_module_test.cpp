// The world module's load road and command table without a device: the two attempts and the
// providers they offer the level to, the ".pk3" test, names too long, the media redirect and
// hooks, the slot check of every slot command, and forwarding to a provider's hooks.
#include "core/win32.h"

#include "core/load_budget.h"
#include "support/error_cell.h"
#include "support/temp_folder.h"
#include "world/archive_fixtures.h"
#include "world/crafted_levels.h"
#include "world/level_builder.h"
#include "world/level_fixtures.h"
#include "world/pk3_archive.h"
#include "world/world.h"
#include "world/world_load.h"
#include "world/world_level.h"
#include "world/world_state.h"
#include "world/world_textures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

// What the test's provider hooks saw, and what their load answers.
struct ProviderLog {
    std::vector<std::string> loads;
    std::vector<std::string> calls;
    std::int32_t answer = 0;
};
ProviderLog providerLog;

std::int32_t RecordLoad(const char* archive, const char* level) {
    providerLog.loads.push_back(std::string(archive ? archive : "<none>") + "|" + level);
    return providerLog.answer;
}

// The module's own slot entities: no camera or object module runs here.
float Position(std::int32_t entity) {
    return static_cast<float>(entity) * 10.0f;
}

// Makes a folder the current one for the scope's lifetime.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::string& folder) {
        GetCurrentDirectoryA(MAX_PATH, before_);
        ok_ = SetCurrentDirectoryA(folder.c_str()) != 0;
    }
    ~CurrentFolderScope() { SetCurrentDirectoryA(before_); }
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
    bool Ok() const { return ok_; }

private:
    char before_[MAX_PATH] = {};
    bool ok_ = false;
};

class WorldModule : public ::testing::Test {
protected:
    void SetUp() override {
        providerLog = ProviderLog{};
        WorldConstructor(nullptr, nullptr, nullptr, nullptr);
        WorldPassCoreData(&core);
        WorldBridges& b = g_World.bridges;
        b.cameraX = b.cameraY = b.cameraZ = b.objectX = b.objectY = b.objectZ = Position;
    }
    void TearDown() override {
        g_World.providers[0] = WorldProvider{};
        g_World.providers[1] = WorldProvider{};
        WorldDestructor();
    }
    // Both providers record their loads.
    void InstallProviders() {
        g_World.providers[0].load = RecordLoad;
        g_World.providers[1].load = RecordLoad;
    }
    ErrorCellScope errors;
    CoreData core{};
    // Outlives the module's stop: the world keeps the archives it read open until then, and an
    // open file would keep the folder from being removed.
    TempFolder folder;
};

TEST_F(WorldModule, AMissingLevelIsTriedBesideTheArchiveThenFails) {
    folder.Write("levels\\pak0.pk3", ZipOf({StoredMember("maps/b.bsp", SyntheticLevel())}));
    const CurrentFolderScope current(folder.Path());
    ASSERT_TRUE(current.Ok());
    InstallProviders();
    LoadWorld("levels\\pak0.pk3", "maps/a.bsp");
    // Each attempt offers the level to the kind-2 provider, then to the kind-1 provider.
    EXPECT_EQ(providerLog.loads,
              (std::vector<std::string>{"levels\\pak0.pk3|maps/a.bsp", "<none>|maps/a.bsp",
                                        "|levels\\maps/a.bsp", "<none>|levels\\maps/a.bsp"}));
    EXPECT_EQ(GetWorldKind(), kWorldNone);
    EXPECT_EQ(errors.Last(), kWorldLoadFailed);
    // The same archive holds maps/b.bsp: the first attempt finds it.
    errors.Clear();
    providerLog.loads.clear();
    LoadWorld("levels\\pak0.pk3", "maps/b.bsp");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(GetWorldKind(), kWorldBsp);
    EXPECT_TRUE(providerLog.loads.empty());
}

TEST_F(WorldModule, TheArchiveMustEndInPk3InAnyCase) {
    const std::string level = SyntheticLevel();
    for (const auto& [name, pk3] : {std::pair{"UPPER.PK3", true},
                                    {"mixed.Pk3", true},
                                    {"level.zip", false},
                                    {"pk3", false}}) {
        const std::string path = folder.Write(name, ZipOf({StoredMember("maps/s.bsp", level)}));
        errors.Clear();
        LoadWorld(path.c_str(), "maps/s.bsp");
        EXPECT_EQ(GetWorldKind(), pk3 ? kWorldBsp : kWorldNone) << name;
        EXPECT_EQ(errors.Last(), pk3 ? 0 : kWorldLoadFailed) << name;
        EXPECT_EQ(LoadBSP(path.c_str(), "maps/s.bsp"), pk3 ? 1 : 0) << name;
    }
    EXPECT_EQ(LoadBSP("", "maps/s.bsp"), 0);
    EXPECT_EQ(LoadBSP(nullptr, "maps/s.bsp"), 0);
}

TEST_F(WorldModule, ALevelThatDoesNotParseIsNoWorld) {
    std::string level = SyntheticLevel();
    PutInt(level, 4, 45);
    const std::string path = folder.Write("v45.pk3", ZipOf({StoredMember("maps/v.bsp", level)}));
    EXPECT_EQ(LoadBSP(path.c_str(), "maps/v.bsp"), 0);
    EXPECT_FALSE(WorldLevelLoaded());
    LoadWorld(path.c_str(), "maps/v.bsp");
    EXPECT_EQ(errors.Last(), kWorldLoadFailed);
    EXPECT_EQ(GetWorldKind(), kWorldNone);
    EXPECT_FALSE(WorldLevelLoaded());
}

constexpr std::size_t kFaceBytes = 104, kVertexBytes = 44;

// Curved patches of the finest grids, every one over the same nine control points.
std::string SharedPatchesLevel() {
    LevelBuilder builder;
    builder.FlatPatch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, 0, 10),
                      D3DXVECTOR3(0, 1, 0), "textures/test/wall", 1e6f);
    const std::string level = builder.Bytes();
    return Appended(level, kLumpFaces, Repeated(FaceOf(level, 0), 126));
}

// A mesh face of three million indices over three vertices.
std::string LongMeshLevel() {
    std::string level = WallLevel();
    for (const auto& [field, value] : {std::pair{8, 3}, {16, 3}, {20, 0}, {24, 3000000}})
        PutInt(level, FieldAt(level, kLumpFaces, kFaceBytes, 0, std::size_t(field)), value);
    std::string triangle;
    for (std::int32_t index : {0, 1, 2})
        triangle.append(reinterpret_cast<const char*>(&index), 4);
    return Appended(level, kLumpMeshIndices, Repeated(triangle, 1000000));
}

// A thousand polygons, each a fan over the same 65,536 vertices.
std::string WideFacesLevel() {
    std::string level = WallLevel();
    const std::string vertex =
        level.substr(FieldAt(level, kLumpVertices, kVertexBytes, 0, 0), kVertexBytes);
    std::string face = FaceOf(level, 0);
    PutInt(face, 16, kMostFaceVertices);
    PutInt(face, 24, 0);
    level = Appended(level, kLumpVertices, Repeated(vertex, kMostFaceVertices));
    return Appended(level, kLumpFaces, Repeated(face, 1000));
}

// Ten thousand leaves, each listing the same million faces: a walk of 10^10 every frame.
std::string ManyLeavesLevel() {
    std::string level = WallLevel();
    std::string leaf = level.substr(FieldAt(level, kLumpLeaves, 48, 0, 0), 48);
    PutInt(leaf, 32, 0);
    PutInt(leaf, 36, 1000000);
    level = Appended(level, kLumpLeafFaces, std::string(4000000, '\0'));
    return Appended(level, kLumpLeaves, Repeated(leaf, 10000));
}

std::string ManyLightmapsLevel() {
    return Appended(SyntheticLevel(), kLumpLightmaps,
                    std::string(kMostLevelLightmaps * kLightmapBytes, '@'));
}

std::string NanControlPointLevel() {
    std::string level = SyntheticLevel();
    const std::int32_t first =
        GetInt(level, FieldAt(level, kLumpFaces, kFaceBytes, kSyntheticPatchFace, 12));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&level[FieldAt(level, kLumpVertices, kVertexBytes, std::size_t(first) + 4, 4)],
                &nan, 4);
    return level;
}

// Archives that small files make expensive, each alone in its folder: refused within the budget
// their size gives, or (the lightmaps) loaded with all they made charged to it. A refused one
// leaves no archive open or listed behind it, so the next level loads as before.
TEST_F(WorldModule, CraftedLevelsAreRefusedOrLoadWithinTheirBudget) {
    const TestMember script = DeflatedRun("scripts/a.shader", '/', 256u << 20);
    TestMember second = script;
    second.name = "scripts/b.shader";
    const std::string lightmaps = ManyLightmapsLevel();
    const std::vector<std::pair<std::string, std::vector<TestMember>>> kinds = {
        {"patches", {StoredMember("maps/x.bsp", SharedPatchesLevel())}},
        {"mesh", {DeflatedMember("maps/x.bsp", LongMeshLevel(), {12})}},
        {"faces", {DeflatedMember("maps/x.bsp", WideFacesLevel(), {kVertexBytes})}},
        {"lightmaps", {DeflatedMember("maps/x.bsp", lightmaps, {1})}},
        {"leaves", {DeflatedMember("maps/x.bsp", ManyLeavesLevel(), {48, 4})}},
        {"scripts", {StoredMember("maps/x.bsp", SyntheticLevel()), script, second}},
        {"nan", {StoredMember("maps/x.bsp", NanControlPointLevel())}},
    };
    int open = OpenZipArchiveCount();
    std::int32_t listed = WorldArchiveFiles().count;
    for (const auto& [kind, members] : kinds) {
        const std::string path = folder.Write(kind + "\\" + kind + ".pk3", ZipOf(members));
        errors.Clear();
        LoadWorld(path.c_str(), "maps/x.bsp");
        EXPECT_LE(LastLoadCharged(), LastLoadLimit()) << kind;
        if (kind == "lightmaps" && errors.Last() == 0) {
            EXPECT_GE(LastLoadCharged(), 2 * lightmaps.size()) << "inflated and kept";
            // A level that loads keeps its archives open and listed, as every loaded level does.
            open = OpenZipArchiveCount();
            listed = WorldArchiveFiles().count;
            continue;
        }
        EXPECT_EQ(errors.Last(), kWorldLoadFailed) << kind;
        EXPECT_EQ(GetWorldKind(), kWorldNone) << kind;
        EXPECT_FALSE(WorldLevelLoaded()) << kind;
        EXPECT_EQ(OpenZipArchiveCount(), open) << kind;
        EXPECT_EQ(WorldArchiveFiles().count, listed) << kind;
    }
    errors.Clear();
    LoadWorld(SyntheticArchive().c_str(), "maps/synthetic.bsp");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(GetWorldKind(), kWorldBsp);
    EXPECT_GE(LastLoadCharged(), SyntheticLevel().size());
}

// Archives stay open between levels: a level read again from its archive, which the table finds
// open, gets the archive's share of its budget as the first load did.
TEST_F(WorldModule, ALevelFromAnArchiveAlreadyOpenGetsItsShare) {
    const std::string path =
        folder.Write("share\\share.pk3", ZipOf({StoredMember("maps/x.bsp", WallLevel())}));
    // Between the floor and the ceiling: a share left out or counted twice shows.
    const std::uint64_t share = LoadBudgetFor(TempFolder::Read(path).size());
    ASSERT_GT(share, kLoadBudgetFloor);
    ASSERT_LT(2 * share - kLoadBudgetFloor, kLoadBudgetCeiling);
    LoadWorld(path.c_str(), "maps/x.bsp");
    ASSERT_EQ(errors.Last(), 0);
    EXPECT_EQ(LastLoadLimit(), share);
    const int open = OpenZipArchiveCount();
    LoadWorld(path.c_str(), "maps/x.bsp");
    ASSERT_EQ(errors.Last(), 0);
    EXPECT_EQ(OpenZipArchiveCount(), open) << "read from the archives already open";
    EXPECT_EQ(LastLoadLimit(), share);
}

// With every slot of the archive table taken, a refused level's archive takes the last slot while
// it loads and gives it back: the refused archive is closed (its file can be deleted) and the
// archive that held the slot is open again. A level that loads keeps the slot.
TEST_F(WorldModule, ARefusedLevelLeavesAFullArchiveTableAsItWas) {
    const std::string small = ZipOf({StoredMember("a.txt", "a")});
    std::vector<std::string> paths;
    ArchiveFileList members;
    for (int i = 0; i < kMostOpenArchives; ++i) {
        paths.push_back(folder.Write("full\\" + std::to_string(i) + ".pk3", small));
        ASSERT_EQ(ListZipMembers(paths.back().c_str(), "a", members), 1);
    }
    ClearArchiveFileList(members);
    ASSERT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    const std::string refused =
        folder.Write("refused\\x.pk3", ZipOf({StoredMember("maps/x.bsp", SharedLeafLevel(2, 1))}));
    LoadWorld(refused.c_str(), "maps/x.bsp");
    EXPECT_EQ(errors.Last(), kWorldLoadFailed);
    EXPECT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    EXPECT_EQ(WorldArchiveFiles().count, 0);
    EXPECT_TRUE(DeleteFileA(refused.c_str())) << "the refused archive is kept open";
    EXPECT_FALSE(DeleteFileA(paths.back().c_str())) << "the last slot's archive was closed";
    errors.Clear();
    LoadWorld(SyntheticArchive().c_str(), "maps/synthetic.bsp");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(OpenZipArchiveCount(), kMostOpenArchives);
    EXPECT_TRUE(DeleteFileA(paths.back().c_str())) << "the slot's archive was not let go";
}

// Every face names a texture of its own that no member of two archives of 65,535 holds: each name
// is looked up in the directories and among the names before it, which a walk of either per name
// would take minutes over.
// As many faces as a level may hold, face i naming "textures/many/i".
TestMember ManyNamesLevel() {
    std::string level = WallLevel(), face = FaceOf(level, 0), faces, names;
    for (std::int32_t i = 0; i < kMostLevelFaces; ++i) {
        PutInt(face, 0, i);
        faces += face;
        char record[72] = {};
        std::snprintf(record, 64, "textures/many/%05d", static_cast<int>(i));
        names.append(record, sizeof record);
    }
    level = Appended(Appended(level, kLumpFaces, faces), kLumpTextures, names);
    return DeflatedMember("maps/x.bsp", level, {kFaceBytes, 72});
}

TEST_F(WorldModule, ThousandsOfTextureNamesLinkByLookupNotByWalk) {
    std::vector<TestMember> members;
    for (int i = 0; i < 65535; ++i) {
        char member[16];
        std::snprintf(member, sizeof member, "d/%05d.x", i);
        members.push_back(StoredMember(member, "x"));
    }
    // Two archives, each searched for every name.
    folder.Write("many\\more.pk3", ZipOf(members));
    members.back() = ManyNamesLevel();
    const std::string path = folder.Write("many\\many.pk3", ZipOf(members));
    LoadWorld(path.c_str(), "maps/x.bsp");
    ASSERT_EQ(errors.Last(), 0);
    ASSERT_EQ(GetWorldKind(), kWorldBsp);
    EXPECT_EQ(WorldTextures().missing.count, kMostLevelFaces);
    EXPECT_EQ(WorldLevelData().faces.back().texture, -1);
}

// Faces that use the shaders of 65,534 scripts: each script joins the level's files once.
TEST_F(WorldModule, ThousandsOfShaderScriptsAreListedOnce) {
    std::vector<TestMember> members{ManyNamesLevel()};
    for (int i = 0; i < 65534; ++i) {
        char name[32], script[48];
        std::snprintf(name, sizeof name, "scripts/%05d.shader", i);
        std::snprintf(script, sizeof script, "textures/many/%05d\n{\n}\n", i);
        members.push_back(StoredMember(name, script));
    }
    const std::string path = folder.Write("scripts\\scripts.pk3", ZipOf(members));
    LoadWorld(path.c_str(), "maps/x.bsp");
    ASSERT_EQ(errors.Last(), 0);
    const WorldLevel& level = WorldLevelData();
    EXPECT_EQ(level.faces[65533].shader, 65533);
    EXPECT_EQ(level.faces[65534].shader, -1);
    ASSERT_EQ(g_World.levelFiles.count, 1 + 65534);
    EXPECT_EQ(g_World.levelFiles.entries[65534].path, "scripts/65533.shader");
    EXPECT_NE(g_World.levelFiles.entries[65534].folder.find("scripts.pk3"), std::string::npos);
}

TEST_F(WorldModule, NamesLongerThan259CharactersAreRefused) {
    InstallProviders();
    const std::string archive = SyntheticArchive();
    for (const auto& [path, level] :
         {std::pair{std::string(260, 'a') + ".pk3", std::string("maps/synthetic.bsp")},
          std::pair{archive, std::string(260, 'm')}}) {
        errors.Clear();
        LoadWorld(path.c_str(), level.c_str());
        EXPECT_EQ(errors.Last(), kWorldLoadFailed);
        EXPECT_EQ(GetWorldKind(), kWorldNone);
    }
    EXPECT_TRUE(providerLog.loads.empty()) << "nothing was tried";
    // 259 characters are a name like any other (no folder: the second attempt repeats the first).
    LoadWorld("x.pk3", std::string(259, 'm').c_str());
    EXPECT_EQ(providerLog.loads.size(), 4u);
    // A second attempt whose joined name would pass 259 characters is not made.
    providerLog.loads.clear();
    LoadWorld(("C:\\" + std::string(240, 'f') + "\\x.pk3").c_str(), std::string(30, 'n').c_str());
    EXPECT_EQ(providerLog.loads.size(), 2u);
}

// The media redirect and the two hooks, as the core would call them.
std::vector<std::string> hookCalls;
std::string redirectTo;
void Redirect(char* name, std::int32_t size) {
    hookCalls.push_back(std::string("redirect ") + name);
    if (!redirectTo.empty() && redirectTo.size() < static_cast<std::size_t>(size))
        std::strcpy(name, redirectTo.c_str());
}
void BeforeOpen(char* name) {
    hookCalls.push_back(std::string("before ") + name);
}
void AfterClose(char* name) {
    hookCalls.push_back(std::string("after ") + name);
}

TEST_F(WorldModule, TheArchivePathGoesThroughTheMediaRedirectAndHooks) {
    hookCalls.clear();
    redirectTo = SyntheticArchive();
    core.callbacks.mediaRedirect = Redirect;
    core.callbacks.beforeOpen = BeforeOpen;
    core.callbacks.afterClose = AfterClose;
    LoadWorld("elsewhere.pk3", "maps/synthetic.bsp");
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(GetWorldKind(), kWorldBsp);
    EXPECT_EQ(hookCalls, (std::vector<std::string>{"redirect elsewhere.pk3", "before " + redirectTo,
                                                   "after " + redirectTo}));
    redirectTo.clear();
}

// Every slot command, called with one slot number.
const std::vector<std::pair<const char*, std::function<void(std::int32_t)>>> kSlotCommands = {
    {"SetWorldCollisionSphere", [](std::int32_t s) { SetWorldCollisionSphere(s, 0, 1, 0); }},
    {"SetWorldObjectCollisionSphere",
     [](std::int32_t s) { SetWorldObjectCollisionSphere(s, 1, 1, 0); }},
    {"SetWorldCollisionEllipsoid",
     [](std::int32_t s) { SetWorldCollisionEllipsoid(s, 0, 1, 2, 3); }},
    {"SetWorldObjectCollisionEllipsoid",
     [](std::int32_t s) { SetWorldObjectCollisionEllipsoid(s, 1, 1, 2, 3); }},
    {"SetWorldCollisionOffset", [](std::int32_t s) { SetWorldCollisionOffset(s, 2); }},
    {"SetWorldCollisionThreshold", [](std::int32_t s) { SetWorldCollisionThreshold(s, 0.5f); }},
    {"DisableWorldCollision", [](std::int32_t s) { DisableWorldCollision(s); }},
    {"UpdateWorldCollision", [](std::int32_t s) { UpdateWorldCollision(s); }},
    {"WorldCollisionHit", [](std::int32_t s) { WorldCollisionHit(s); }},
    {"WorldCollisionX", [](std::int32_t s) { WorldCollisionX(s); }},
    {"WorldCollisionY", [](std::int32_t s) { WorldCollisionY(s); }},
    {"WorldCollisionZ", [](std::int32_t s) { WorldCollisionZ(s); }},
};

// What a slot command may change of every slot.
std::vector<float> SlotValues() {
    std::vector<float> values;
    for (std::size_t k = 0; k < kWorldSlots; ++k) {
        const WorldCollisionSlot& s = g_World.slots[k];
        values.insert(values.end(),
                      {s.previous[1], s.radius, s.radii[0], s.heightOffset, s.threshold,
                       float(s.entity), float(s.hit), float(g_World.active[k])});
    }
    return values;
}

TEST_F(WorldModule, SlotsOutsideOneTo24RaiseTheirErrorAndChangeNothing) {
    g_World.slots[24].hit = 1;
    const std::vector<float> before = SlotValues();
    for (const auto& [name, command] : kSlotCommands) {
        for (std::int32_t slot : {0, 25, -1, 1000}) {
            errors.Clear();
            command(slot);
            EXPECT_EQ(errors.Last(), kWorldBadSlot) << name << "(" << slot << ")";
        }
    }
    EXPECT_EQ(SlotValues(), before);
    EXPECT_EQ(WorldCollisionX(25), 0.0f);
    for (const auto& [name, command] : kSlotCommands) {
        errors.Clear();
        command(24);
        command(1);
        EXPECT_EQ(errors.Last(), 0) << name;
    }
    EXPECT_NE(SlotValues(), before);
}

TEST_F(WorldModule, SlotsRecordWhereTheirEntityStandsLessTheOffset) {
    SetWorldCollisionSphere(3, 2, 1.5f, 1);
    const WorldCollisionSlot& s = g_World.slots[3];
    EXPECT_FLOAT_EQ(s.previous[1], 20.0f); // camera 2 stands at (20, 20, 20)
    SetWorldCollisionOffset(3, 2.0f);
    EXPECT_FLOAT_EQ(s.previous[1], 18.0f);
    SetWorldCollisionEllipsoid(3, 2, 1, 2, 3);
    EXPECT_EQ(s.response, 1); // an ellipsoid keeps the sphere's response
    g_World.slots[3].hit = 1;
    EXPECT_EQ(WorldCollisionHit(3), 1); // once, then cleared
    EXPECT_EQ(WorldCollisionHit(3), 0);
}

std::int32_t HitTwo(std::int32_t slot) {
    providerLog.calls.push_back("hit " + std::to_string(slot));
    return 2;
}
void CameraHook(std::int32_t camera) {
    providerLog.calls.push_back("camera " + std::to_string(camera));
}
void DisableHook(std::int32_t slot) {
    providerLog.calls.push_back("disable " + std::to_string(slot));
}
float CorrectionHook(std::int32_t slot) {
    return static_cast<float>(slot) + 0.5f;
}

TEST_F(WorldModule, AProviderLevelTakesTheCommandsItServes) {
    providerLog.answer = 1;
    WorldProvider& second = g_World.providers[1];
    second.load = RecordLoad;
    second.hit = HitTwo;
    second.setCamera = CameraHook;
    second.disable = DisableHook;
    second.correction[0] = CorrectionHook;
    LoadWorld("nowhere.zip", "level.map");
    ASSERT_EQ(GetWorldKind(), kWorldKind2);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(WorldCollisionHit(5), 2);
    SetWorldCamera(7);
    DisableWorldCollision(6);
    EXPECT_EQ(providerLog.calls, (std::vector<std::string>{"hit 5", "camera 7", "disable 6"}));
    EXPECT_EQ(g_World.camera, 0);
    EXPECT_EQ(WorldCollisionX(5), 0.0f); // kind 2 has no corrections
    // Absent hooks do nothing; sphere set-ups always use the module's own slots.
    SetWorldCollisionThreshold(5, 9.0f);
    EXPECT_FLOAT_EQ(g_World.slots[5].threshold, 0.003f);
    SetWorldCollisionSphere(5, 0, 2.0f, 0);
    EXPECT_FLOAT_EQ(g_World.slots[5].radius, 2.0f);
    // Slot numbers are checked before anything is forwarded.
    providerLog.calls.clear();
    EXPECT_EQ(WorldCollisionHit(0), 0);
    EXPECT_EQ(errors.Last(), kWorldBadSlot);
    EXPECT_TRUE(providerLog.calls.empty());

    // Kind 1 has corrections; freeing the world lets the provider release.
    g_World.providers[1] = WorldProvider{};
    WorldProvider& first = g_World.providers[0];
    first.load = RecordLoad;
    first.correction[0] = CorrectionHook;
    LoadWorld("nowhere.zip", "level.map");
    ASSERT_EQ(GetWorldKind(), kWorldKind1);
    EXPECT_FLOAT_EQ(WorldCollisionX(3), 3.5f);
    EXPECT_EQ(WorldCollisionY(3), 0.0f);
}

} // namespace
