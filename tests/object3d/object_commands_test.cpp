#include "core/win32.h"

#include "support/failing_saves.h"
#include "support/image_files.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "object3d/keyframes.h"
#include "object3d/object_commands.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

bool FileThere(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::pair<std::int32_t, std::int32_t>> calls;
bool existedAtCall = false;
void Record(std::int32_t n, std::int32_t value) {
    calls.emplace_back(n, value);
    existedAtCall = ObjectExists(n);
}

void AddCallback(ObjectRecord* object, std::int32_t value) {
    auto* grown = new ObjectDeleteCallback[object->deleteCallbackCount + 1];
    std::copy_n(object->deleteCallbacks, object->deleteCallbackCount, grown);
    grown[object->deleteCallbackCount++] = {Record, value};
    delete[] object->deleteCallbacks;
    object->deleteCallbacks = grown;
}

// Object n: a box whose root frame slides along x by its matrix keys, 10 units over 10 frames.
void BuildSlidingBox(std::int32_t n) {
    ASSERT_TRUE(CreateNewObject(n, "slider"));
    ObjectRecord* o = g_Object3D.objects[n];
    ASSERT_TRUE(FillBoxMesh(o->rootFrame->mesh, {-1, -1, -1}, {1, 1, 1}));
    o->animationSet = new AnimationSetRecord;
    o->animationSet->length = 10;
    AnimationRecord* a = o->animationSet->animation = new AnimationRecord;
    std::strcpy(a->name, o->rootFrame->name);
    a->matrixKeyCount = 2;
    a->matrixKeys = new MatrixKey[2];
    D3DXMatrixTranslation(&a->matrixKeys[0].value, 0, 0, 0);
    D3DXMatrixTranslation(&a->matrixKeys[0].delta, 0, 0, 0);
    a->matrixKeys[0].delta._11 = a->matrixKeys[0].delta._22 = a->matrixKeys[0].delta._33 =
        a->matrixKeys[0].delta._44 = 0;
    a->matrixKeys[0].delta._41 = 1;
    a->matrixKeys[0].time = 0;
    D3DXMatrixTranslation(&a->matrixKeys[1].value, 10, 0, 0);
    a->matrixKeys[1].delta = kZeroMatrix;
    a->matrixKeys[1].time = 10;
    ASSERT_TRUE(SetupNewObject(n, -1.0f));
}

// Object saves where they must fail. An object is only saved under a new name: a file there that
// can be read refuses the save with 106; where nothing could be written 8212 is raised, and what
// was at the name stays.
class ObjectSavesOnTestDisks : public ObjectTables {};

} // namespace

TEST_F(ObjectSavesOnTestDisks, FailedSavesKeepTheOldFile) {
    BuildBox(1, 1);
    CheckUnnamedSaves("SaveObject", 8212, [](const char* name) { SaveObject(name, 1); });
    const auto save = [](const std::string& target) { SaveObject(target.c_str(), 1); };
    using F = SaveFault;
    CheckFailingSaves({{"SaveObject", F::FullDisk, false, 8212, save},
                       {"SaveObject", F::ReadOnlyFolder, false, 8212, save},
                       {"SaveObject", F::ReadOnlyFile, true, 106, save},
                       {"SaveObject", F::FolderInPlace, true, 8212, save},
                       {"SaveObject", F::HeldOpen, true, 8212, save},
                       {"SaveObject", F::AppearsMeanwhile, true, 8212, save}},
                      "saved.tlo", SeededBytes(100000, 41));
}

TEST_F(ObjectTables, SavedNamesMustEndInTlo) {
    TempFolder folder;
    BuildBox(1, 1);
    for (const char* name : {"a.tlo", "b.TLO", "c.Tlo"}) {
        SaveObject(folder.File(name).c_str(), 1);
        EXPECT_TRUE(FileThere(folder.File(name))) << name;
    }
    errors.Clear();
    for (const char* name : {"d.tlox", "a", "tlo"}) {
        SaveObject(folder.File(name).c_str(), 1);
        EXPECT_FALSE(FileThere(folder.File(name))) << name;
    }
    SaveObject("a", 1);
    EXPECT_EQ(errors.Last(), 7030);
    errors.Clear();
    SaveObject(folder.File("a.tlo").c_str(), 1);
    EXPECT_EQ(errors.Last(), 106);

    // A name too long for the file layer is refused before anything else.
    LoadObject(std::string(300, 'x').append(".tlo").c_str(), 2);
    EXPECT_EQ(errors.Last(), 105);
    EXPECT_FALSE(ObjectExists(2));
}

TEST_F(ObjectTables, DeletingRangesCallbacksExistenceAndExclusion) {
    BuildBox(1, 1);
    BuildBox(3, 1);
    calls.clear();
    AddCallback(g_Object3D.objects[3], 7);
    AddCallback(g_Object3D.objects[3], 8);
    DeleteObjectsCmd(0, 0);
    DeleteObjectsCmd(3, 1);
    DeleteObjectsCmd(0, 3);
    EXPECT_TRUE(ObjectExists(1) && ObjectExists(3));
    errors.Clear();
    DeleteObjectsCmd(1, 4); // 2 and 4 are holes
    EXPECT_FALSE(ObjectExists(1) || ObjectExists(3));
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{3, 7}, {3, 8}}));
    EXPECT_TRUE(existedAtCall);
    // The last number of a range goes too, also the table's last slot under a bound beyond it.
    BuildBox(2, 1);
    const std::int32_t top = g_Object3D.objectCapacity - 1;
    BuildBox(top, 1);
    ASSERT_EQ(g_Object3D.objectCapacity, top + 1);
    DeleteObjectsCmd(1, 2);
    EXPECT_FALSE(ObjectExists(2));
    DeleteObjectsCmd(top - 1, top + 10);
    EXPECT_FALSE(ObjectExists(top));
    EXPECT_EQ(errors.Last(), 0);

    BuildBox(5, 1);
    InstanceObject(6, 5);
    ASSERT_TRUE(IsInstance(g_Object3D.objects[6]));
    EXPECT_EQ(g_Object3D.objects[6]->instanceDataLength, 1);
    EXPECT_TRUE(ObjectExist(6));
    EXPECT_FALSE(ObjectExist(g_Object3D.objectCapacity + 100));
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_FALSE(ObjectExist(0));
    EXPECT_EQ(errors.Last(), 7006);
    errors.Clear();
    InstanceObject(7, 6); // an instance of an instance is not made, silently
    EXPECT_FALSE(ObjectExists(7));
    EXPECT_EQ(errors.Last(), 0);

    ExcludeObjectOn(5);
    ExcludeObjectOn(6);
    ExcludeObjectOff(6);
    EXPECT_EQ(g_Object3D.objects[5]->hidden, 0);
    EXPECT_EQ(g_Object3D.objects[6]->collision.excluded, 0);
}

TEST_F(ObjectTables, AClonesSharedAnimationOutlivesItsSource) {
    BuildSlidingBox(1);
    CloneObject(2, 1, 1);
    ASSERT_TRUE(ObjectExists(2));
    ObjectRecord* copy = g_Object3D.objects[2];
    AnimationRecord* keys = copy->animationSet->animation;
    EXPECT_EQ(keys->matrixKeyCount, 0u);
    EXPECT_EQ(keys->keySource, g_Object3D.objects[1]->animationSet->animation);

    DeleteObjectCmd(1);
    ASSERT_FALSE(ObjectExists(1));
    EXPECT_EQ(keys->keySource, nullptr);
    ASSERT_EQ(keys->matrixKeyCount, 2u);
    ASSERT_TRUE(AnimateObject(copy, 5));
    EXPECT_NEAR(copy->rootFrame->transformMatrix._41, 5, 1e-4);

    // Without sharing the copy keeps keys of its own.
    CloneObject(3, 2, 0);
    ASSERT_TRUE(ObjectExists(3));
    EXPECT_EQ(g_Object3D.objects[3]->animationSet->animation->matrixKeyCount, 2u);
}

TEST_F(ObjectScene, SavedObjectsLoadBackWithTheirTextures) {
    TempFolder folder;
    folder.Write("wood.bmp", BmpBytes(4, 4, [](int, int) { return 0xFF00C000u; }));
    BuildBox(1, 1);
    MeshRecord* mesh = FirstMesh(1);
    mesh->lighting = 0;
    mesh->textureCount = 1;
    mesh->textures = new TextureRecord[1];
    std::strcpy(mesh->textures[0].fileName, "wood.bmp");
    mesh->textures[0].colourOperation = D3DTOP_MODULATE;
    mesh->textures[0].argument1 = D3DTA_TEXTURE;
    SaveObject(folder.File("box.tlo").c_str(), 1);
    DeleteObjectCmd(1);

    LoadObject(folder.File("box.tlo").c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_NE(FirstMesh(1)->textures[0].imageNumber, 0);
    PositionObject(1, 0, 0, 5);
    EXPECT_EQ(SyncAndReadCentre(0xFF000000) & 0xFFFFFF, 0x00C000u);

    // A bare name is looked for, and its textures found, in the current folder.
    char kept[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, kept);
    SetCurrentDirectoryA(folder.Path().c_str());
    LoadObject("box.tlo", 2);
    SetCurrentDirectoryA(kept);
    ASSERT_TRUE(ObjectExists(2));
    EXPECT_NE(FirstMesh(2)->textures[0].imageNumber, 0);
}
