#include "core/win32.h"

#include "universe/universe_scene.h"
#include "object3d/object_commands.h"
#include "object3d/static_boxes.h"
#include "universe/universe_commands.h"
#include "support/guarded_bytes.h"

#include <string>
#include <utility>

namespace {

std::size_t StaticBoxCount() {
    std::size_t n = 0;
    for (const StaticBoxNode* box = GetStaticBoxList().first; box; box = box->next)
        ++n;
    return n;
}

} // namespace

TEST_F(UniverseTables, WithoutAWorldTheCommandsDoNothingButTheObjectCheck) {
    BuildBox(1, 10);
    DeleteUniverse();
    ASSERT_EQ(UniversePointer(), nullptr);
    BuildUniverse();
    BuildUniverseExport();
    SetUniverseDebugOn();
    SetUniverseOptionOn();
    SetUniverseLight(1, 0, 0, 0, 0);
    SetUniverseDecalImage(1, 2, 2);
    AddUniverseDecal(5, 0);
    SaveUniverse("never.tlo");
    AddObjectToUniverse(1, 0, 0, 0, 0);
    AddLimbToUniverseExport(1, 0, 0, 0, 0, 0);
    EXPECT_EQ(UniversePointer(), nullptr);
    EXPECT_EQ(g_Object3D.objects[1]->inUniverse, 0);
    EXPECT_EQ(errors.Last(), 0);
    SaveUniverse(nullptr); // no name says so, world or none
    EXPECT_EQ(errors.Last(), 8212);

    // The static-object commands still check the number.
    EXPECT_EQ(AddStaticObjectToUniverse(0), 0);
    EXPECT_EQ(errors.Last(), 7006);
    EXPECT_EQ(RemoveStaticObjectFromUniverseExport(9), 0);
    EXPECT_EQ(errors.Last(), 7008);
    EXPECT_EQ(AddStaticObjectToUniverseExport(1), 1);

    CreateUniverseExport(200, 300, 400);
    ASSERT_NE(UniversePointer(), nullptr);
    EXPECT_EQ(World().root->halfExtents, D3DXVECTOR3(200, 300, 400));
}

TEST_F(UniverseTables, ObjectCommandsCheckFirstAndLoadingClearsTheStaticBoxes) {
    BuildBox(1, 10);
    Universe& u = World();
    EXPECT_EQ(AddStaticObjectToUniverse(1), 1);
    ASSERT_EQ(u.staticObjects.size(), 1u);
    g_Object3D.objects[1]->universeVisible = 0;
    EXPECT_EQ(RemoveStaticObjectFromUniverse(1), 1);
    EXPECT_TRUE(u.staticObjects.empty());
    EXPECT_EQ(g_Object3D.objects[1]->universeVisible, 1);
    // A bad limb raises the limb check's error and queues nothing.
    AddLimbToUniverse(1, 5, 0, 0, 0, 0);
    EXPECT_EQ(errors.Last(), 7023);
    EXPECT_EQ(g_Object3D.objects[1]->inUniverse, 0);

    // The second set carries the object engine's static box; replacing the world by a load
    // clears them, even when the load fails.
    const std::size_t boxes = StaticBoxCount();
    EXPECT_EQ(MakeStaticCollisionBoxExport(0, 0, 0, 1, 1, 1), 1);
    EXPECT_EQ(StaticBoxCount(), boxes + 1);
    EXPECT_EQ(LoadUniverseExport("no such level.tlo", 0), 0);
    EXPECT_EQ(StaticBoxCount(), 0u);
    EXPECT_EQ(errors.Last(), 105);
    ASSERT_NE(UniversePointer(), nullptr);
    // A world without its root node takes no limbs.
    AddObjectToUniverse(1, 0, 0, 0, 0);
    EXPECT_EQ(g_Object3D.objects[1]->inUniverse, 0);
}

TEST_F(UniverseTables, AnInstancesLimbIsCheckedAgainstItsSourcesLimbs) {
    CreateUniverse(1000, 1000, 1000);
    BuildBox(1, 10);
    InstanceObject(2, 1);
    // The source's frame list ends where readable memory ends: a read past it crashes.
    ObjectRecord* source = g_Object3D.objects[1];
    GuardedBytes frames(std::string(reinterpret_cast<char*>(source->frames), sizeof(void*)));
    FrameRecord** own =
        std::exchange(source->frames, reinterpret_cast<FrameRecord**>(frames.Writable()));
    const std::int32_t value = source->frames[0]->mesh->collisionValue;
    AddLimbToUniverse(2, 1, 0, 77, 0, 0);
    EXPECT_EQ(errors.Last(), 7023);
    EXPECT_EQ(g_Object3D.objects[2]->inUniverse, 0);
    EXPECT_TRUE(World().levelMeshes.empty());
    EXPECT_EQ(source->frames[0]->mesh->collisionValue, value);
    errors.Clear();
    AddLimbToUniverse(2, 0, 0, 77, 0, 0); // the source's limb, taken in for the instance
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(source->frames[0]->mesh->collisionValue, 77);
    EXPECT_EQ(g_Object3D.objects[2]->inUniverse, 1);
    source->frames = own;
}
