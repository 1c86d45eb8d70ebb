// Running out of memory in the universe commands: each raises 101 (a save may say 8212, its own)
// and leaves the world as it was, or does all its work; no exception leaves one, and a world's
// end never needs memory.
#include "core/win32.h"

#include "universe/universe_scene.h"
#include "object3d/static_boxes.h"
#include "support/failing_heap.h"
#include "support/temp_folder.h"
#include "universe/universe_collision.h"
#include "universe/universe_commands.h"

#include <functional>
#include <new>
#include <string>

namespace {

// What the commands change, as one line; the world's address too, so that a world made again
// shows.
std::string Print() {
    const Universe* u = UniversePointer();
    if (!u) return "no world";
    std::size_t boxes = 0, holders = 0, shadows = 0;
    for (const StaticBoxNode* box = GetStaticBoxList().first; box; box = box->next)
        ++boxes;
    for (const auto& area : u->areas)
        holders += area->batches.size() + area->secondBatches.size();
    for (const UniverseLight& light : u->lights)
        shadows += light.shadowMeshes.size();
    return std::to_string(reinterpret_cast<std::uintptr_t>(u)) + " meshes " +
           std::to_string(u->levelMeshes.size()) + "/" + std::to_string(u->collisionModes.size()) +
           "/" + std::to_string(u->collisionMeshes.size()) + " cells " +
           std::to_string(u->cellCount) + " areas " + std::to_string(u->areas.size()) +
           " holders " + std::to_string(holders) + " listed " +
           std::to_string(u->textureMeshes.size()) + " casters " +
           std::to_string(u->shadowCasters.size()) + " lights " + std::to_string(u->lights.size()) +
           "/" + std::to_string(shadows) + " statics " + std::to_string(u->staticObjects.size()) +
           "/" + std::to_string(u->staticObjectWords.size()) + " decal " +
           std::to_string(u->decalMesh != nullptr) + " boxes " + std::to_string(boxes);
}

struct Row {
    const char* name;
    std::function<void()> call;
};

// A save assembles the areas' batches before it writes: one that fails later (out of memory, or a
// file that cannot be written) keeps them, as it keeps the world's level.
std::string WithoutBatches(const std::string& print) {
    const std::size_t from = print.find(" holders "), to = print.find(" casters ");
    return from == std::string::npos ? print : print.substr(0, from) + print.substr(to);
}

class UniverseMemory : public UniverseScene {
protected:
    void SetUp() override {
        UniverseScene::SetUp();
        try { // a thread's first exception sets up what later ones reuse
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
    }
    // The doorway level built and an object of one box, with a static box of the object engine.
    void MakeScene() {
        DeleteObject(1);
        BuildDoorwayLevel();
        BuildBox(1, 10);
        MakeStaticCollisionBox(-1, -1, -1, 1, 1, 1);
        DeleteFileA(saved.c_str());
        DeleteFileA(folder.File("saved.tlu").c_str());
    }
    // Each allocation of the call refused in turn: 101 (or the error allowed) with the world as
    // before, or the call's whole work.
    void Check(const Row& row, std::int32_t alsoAllowed = 101,
               std::string (*seen)(const std::string&) = nullptr) {
        MakeScene();
        row.call();
        const std::string done = Print();
        ASSERT_EQ(cell.number, 0) << row.name;
        int k = 1;
        for (; k < 1000; ++k) {
            MakeScene();
            const std::string before = Print();
            cell.number = 0;
            const std::string what = std::string(row.name) + ", allocation " + std::to_string(k);
            if (!failing_heap::CallFailing(k, row.call, what)) break;
            const std::int32_t error = cell.number;
            // The world's address may be another after a world made again that did its work.
            std::string after = Print(), was = before;
            if (seen && error) after = seen(after), was = seen(was);
            if (error == 0)
                EXPECT_EQ(after.substr(after.find(' ')), done.substr(done.find(' '))) << what;
            else
                EXPECT_TRUE((error == 101 || error == alsoAllowed) && after == was)
                    << what << ": error " << error << ", " << was << " -> " << after;
            if (seen)
                EXPECT_EQ(GetFileAttributesA(saved.c_str()) != INVALID_FILE_ATTRIBUTES, error == 0)
                    << what;
        }
        EXPECT_GT(k, 1) << row.name << " makes no allocation";
    }
    TempFolder folder;
    const std::string saved = folder.File("saved.tlo");
};

} // namespace

TEST_F(UniverseMemory, CommandsRaiseOrWorkAndKeepTheWorld) {
    const Row rows[] = {
        {"CreateUniverse", [] { CreateUniverse(500, 500, 500); }},
        {"DeleteUniverse", [] { DeleteUniverse(); }},
        {"BuildUniverse", [] { BuildUniverse(); }},
        {"AddObjectToUniverse", [] { AddObjectToUniverse(1, 1, 0, 1, 0); }},
        {"AddLimbToUniverse", [] { AddLimbToUniverse(1, 0, 2, 0, 2, 0); }},
        {"AddStaticObjectToUniverse", [] { AddStaticObjectToUniverse(1); }},
        {"SetUniverseLight", [] { SetUniverseLight(3, 0, 0, 0, 0); }},
        {"SetUniverseDecalImage", [] { SetUniverseDecalImage(1, 2, 2); }},
    };
    for (const Row& row : rows)
        Check(row);
    Check({"SaveUniverse", [this] { SaveUniverse(saved.c_str()); }}, 8212, WithoutBatches);
}
