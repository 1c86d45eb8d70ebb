#include "core/win32.h"

#include "block_fixtures.h"
#include "scene_3ds.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "modelfile/conv_3ds.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_commands.h"
#include "object3d/object_lists.h"
#include "object3d/positioning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <tuple>

namespace {

const std::string kModels = "Z:\\usr\\share\\assimp\\models\\3DS\\";
const char* const kSamples[] = {"test1.3ds",
                                "fels.3ds",
                                "RotatingCube.3DS",
                                "cube_with_diffuse_texture.3DS",
                                "cube_with_specular_texture.3DS",
                                "cubes_with_alpha.3DS",
                                "CameraRollAnim.3ds",
                                "CameraRollAnimWithChildObject.3ds",
                                "TargetCameraAnim.3ds",
                                "testFormatDetection"};

using ObjectPtr = std::unique_ptr<ObjectRecord>;

// The engine's temporary folder is the core data's folder: each case converts in a folder of its
// own, so that programs running side by side never share the temporary file.
class Conv3DSFiles : public ObjectScene {
protected:
    void SetUp() override {
        ObjectScene::SetUp();
        Conv3DS::SetTraceSink(nullptr);
        std::memcpy(kept_, g_CoreData->mediaFolder, sizeof kept_);
        std::strcpy(g_CoreData->mediaFolder, folder.Path().c_str());
    }
    void TearDown() override {
        Conv3DS::Free(nullptr);
        std::memcpy(g_CoreData->mediaFolder, kept_, sizeof kept_);
        ObjectScene::TearDown();
    }
    bool TempFileLeft() const {
        return GetFileAttributesA(folder.File("tlotemp.x").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // The converted object, null when the conversion failed; a block must read back whole.
    ObjectPtr Converted(const std::string& path, std::string* bytes = nullptr) {
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        ObjectRecord* read = nullptr;
        if (Conv3DS::Convert(path.c_str(), &block, &size)) {
            EXPECT_TRUE(ReadObjectFromBlock(block, size, &read));
            if (bytes) bytes->assign(reinterpret_cast<const char*>(block), size);
        }
        Conv3DS::Free(block);
        if (read) BuildFrameAndMeshLists(read);
        return ObjectPtr(read);
    }
    TempFolder folder;

private:
    char kept_[kCorePathLength];
};

std::vector<int> TrianglesPerMesh(const ObjectRecord* o) {
    std::vector<int> triangles;
    for (std::int32_t m = 0; o && m < o->meshCount; ++m)
        triangles.push_back(o->meshes[m]->indexCount / 3);
    return triangles;
}

std::set<std::string> Textures(const ObjectRecord* o) {
    std::set<std::string> names;
    for (std::int32_t m = 0; o && m < o->meshCount; ++m)
        for (std::int32_t t = 0; t < o->meshes[m]->textureCount; ++t)
            if (o->meshes[m]->textures[t].fileName[0])
                names.insert(o->meshes[m]->textures[t].fileName);
    return names;
}

} // namespace

TEST_F(Conv3DSFiles, EverySampleConvertsAndSavesAsItsBlock) {
    for (const char* name : kSamples) {
        SCOPED_TRACE(name);
        std::string block;
        const ObjectPtr object = Converted(kModels + name, &block);
        ASSERT_NE(object, nullptr);
        EXPECT_FALSE(TempFileLeft());
        const std::string saved = folder.File(std::string(name) + ".tlo");
        ASSERT_TRUE(SaveObjectFile(saved.c_str(), object.get()));
        ObjectRecord* loaded = nullptr;
        ASSERT_TRUE(LoadObjectFile(saved.c_str(), &loaded));
        EXPECT_TRUE(BlockOf(ObjectPtr(loaded).get()) == block);
    }
    EXPECT_EQ(TrianglesPerMesh(Converted(kModels + "RotatingCube.3DS").get()), std::vector{12});
    const ObjectPtr boxes = Converted(kModels + "test1.3ds");
    EXPECT_EQ(TrianglesPerMesh(boxes.get()), std::vector<int>(9, 12));
    // Each box's group names its own material: three textures over the nine boxes.
    EXPECT_EQ(Textures(boxes.get()),
              (std::set<std::string>{"CWALL02.JPG", "IMAGE1.JPG", "IMAGE2.JPG"}));
    EXPECT_EQ(TrianglesPerMesh(Converted(kModels + "fels.3ds").get()), std::vector{768});
    EXPECT_EQ(Textures(Converted(kModels + "cube_with_diffuse_texture.3DS").get()),
              std::set<std::string>{"TEST.PNG"});
}

TEST_F(Conv3DSFiles, ThePlatformsMeshLoaderReadsTheText) {
    for (const char* name : kSamples) {
        SCOPED_TRACE(name);
        const std::string text = folder.File(std::string(name) + ".x");
        ASSERT_EQ(Conv3DS::Write3DSAsXFile((kModels + name).c_str(), text.c_str()), 0);
        ComPtr<ID3DXMesh> mesh;
        ComPtr<ID3DXBuffer> materials;
        DWORD count = 0;
        ASSERT_EQ(D3DXLoadMeshFromXA(text.c_str(), D3DXMESH_SYSTEMMEM, g_Object3D.device, nullptr,
                                     materials.PutAddress(), nullptr, &count, mesh.PutAddress()),
                  S_OK);
        EXPECT_GT(mesh->GetNumFaces(), 0u);
        // One material for each group of the scene's meshes, or a mesh's own when it has none.
        if (std::string(name) == "testFormatDetection") {
            EXPECT_EQ(count, 4u);
        }
        if (std::string(name) == "RotatingCube.3DS") {
            EXPECT_EQ(mesh->GetNumFaces(), 12u);
        }
    }
    EXPECT_EQ(Conv3DS::Write3DSAsXFile(folder.File("missing.3ds").c_str(), "unused.x"), -4);
}

TEST_F(Conv3DSFiles, FilesThatCannotBeConverted) {
    std::uint8_t* block = reinterpret_cast<std::uint8_t*>(1);
    std::uint32_t size = 1;
    // A missing source fails at once, with no temporary file and no error of its own.
    EXPECT_FALSE(Conv3DS::Convert(folder.File("missing.3ds").c_str(), &block, &size));
    EXPECT_TRUE(block == nullptr && size == 0);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(Converted("Z:\\usr\\share\\assimp\\models\\invalid\\empty.3ds"), nullptr);
    EXPECT_EQ(Converted(folder.Write("other.3ds", "MZ" + std::string(100, '\1'))), nullptr);
    std::mt19937 random(3);
    for (int round = 0; round < 40; ++round) {
        std::string body(100 + random() % 3000, '\0');
        for (char& b : body)
            b = static_cast<char>(random());
        if (round % 2) body = scene3ds::Chunk(0x3D3D, scene3ds::Object("R", body));
        EXPECT_EQ(Converted(folder.Write("noise.3ds", scene3ds::Chunk(0x4D4D, body))), nullptr);
    }
    EXPECT_FALSE(TempFileLeft());
    EXPECT_EQ(Conv3DS::LoadedObject(), nullptr);
}

TEST_F(Conv3DSFiles, PositionsTooFarOutToMeasureAreNoObject) {
    std::string bytes = TempFolder::Read(kModels + "fels.3ds");
    LoadObject(folder.Write("fels.3ds", bytes).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    // Sixteen bytes of its vertex list overwritten: numbers, but their squares, which its radius
    // is measured with, are not.
    std::size_t list = 0;
    for (const scene3ds::Listed& chunk : scene3ds::ListChunks(bytes))
        if (!list && bytes.compare(chunk.at, 2, scene3ds::U16(0x4110)) == 0) list = chunk.at + 8;
    ASSERT_NE(list, 0u);
    bytes.replace(list + 24, 16, scene3ds::Floats({1e30f, -1e30f, 1e30f, 1e30f}));
    LoadObject(folder.Write("far.3ds", bytes).c_str(), 2);
    EXPECT_EQ(cell.number, 7018);
    EXPECT_FALSE(ObjectExists(2));
    EXPECT_FALSE(TempFileLeft());
    EXPECT_EQ(Conv3DS::LoadedObject(), nullptr);
}

TEST_F(Conv3DSFiles, MatricesAndTracksPastAFloatAreNoObject) {
    using namespace scene3ds;
    // A box with its local axes (four rows of three), and a node moving it to the given place.
    auto scene = [](float axis, float position) {
        const std::string mesh = Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) + Faces({{0, 1, 2}}) +
                                 Chunk(0x4160, Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, axis, 0, 0}));
        const std::string track = Track(0xB020, {{0, U16(0) + Floats({position, 0, 0})}});
        return Scene(Object("box", mesh), Node("box", -1, track));
    };
    LoadObject(folder.Write("near.3ds", scene(5, 5)).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    int n = 2;
    for (const auto& [axis, position] : {std::pair{1e30f, 5.0f}, std::pair{5.0f, 1e30f}}) {
        SCOPED_TRACE(n);
        LoadObject(folder.Write("far.3ds", scene(axis, position)).c_str(), n);
        EXPECT_EQ(cell.number, kObjectNotLoaded);
        EXPECT_FALSE(ObjectExists(n++));
        EXPECT_FALSE(TempFileLeft());
        cell.number = 0;
    }
}

TEST_F(Conv3DSFiles, RotatingCubeTurnsAsItPlays) {
    // Loaded by extension; the converter keeps nothing afterwards.
    LoadObject((kModels + "RotatingCube.3DS").c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_EQ(Conv3DS::LoadedObject(), nullptr);
    ObjectRecord* o = g_Object3D.objects[1];
    ASSERT_TRUE(o->animationSet && o->animationSet->animation);
    EXPECT_EQ(o->animationSet->animation->rotationKeyCount, 182u);
    PositionObject(1, 0, 0, 150);
    auto frame = [&](float at) {
        o->currentFrame = at;
        return SyncAndReadGrid(0xFF808080);
    };
    const std::vector<std::uint32_t> first = frame(0);
    EXPECT_GT(first.size() - std::count(first.begin(), first.end(), 0x808080u), 50u);
    EXPECT_NE(frame(45), first);
}

TEST_F(Conv3DSFiles, TheSceneItsTextAndItsTemporaryFileAreCharged) {
    const std::string source = kModels + "RotatingCube.3DS";
    const std::string bytes = TempFolder::Read(source);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::string text;
    std::uint64_t built = 0;
    {
        LoadScope load(bytes.size());
        ASSERT_TRUE(Conv3DS::Build3DSXText(data, bytes.size(), text));
        built = LoadCharged();
    }
    // Loaded by extension: the temporary file joins the scene's load, which is charged for the
    // text as built, as written and as read back.
    LoadObject(source.c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(bytes.size()));
    EXPECT_GE(LastLoadCharged(), built + 2 * text.size());

    // The source, the text and then the file: one byte short of them all, nothing is written.
    const std::string written = folder.File("written.x");
    for (const std::uint64_t left :
         {bytes.size() + built + text.size() - 1, bytes.size() + built + text.size()}) {
        LoadScope load(0);
        ASSERT_TRUE(ChargeLoad(LoadLimit() - left));
        EXPECT_EQ(Conv3DS::Write3DSAsXFile(source.c_str(), written.c_str()), 0);
        const bool fits = !LoadOverBudget();
        EXPECT_EQ(fits, left == bytes.size() + built + text.size());
        EXPECT_EQ(TempFolder::Read(written), fits ? text : "");
    }

    // A load with little left refuses the scene (a nested load joins it) and leaves no file.
    LoadScope load(0);
    ASSERT_TRUE(ChargeLoad(LoadLimit() - built));
    LoadObject(source.c_str(), 2);
    EXPECT_EQ(cell.number, kObjectNotLoaded);
    EXPECT_FALSE(ObjectExists(2));
    EXPECT_FALSE(TempFileLeft());
    EXPECT_EQ(Conv3DS::LoadedObject(), nullptr);
}

TEST_F(Conv3DSFiles, TextPastWhatTheTemporaryFolderTakesIsRefused) {
    // Three objects of 65,535 faces: each face a line of its own, three normals and a material
    // number, some 20 MB of text from 1.5 MB.
    const std::vector<std::array<int, 3>> faces(65535, {0, 1, 2});
    std::string editor;
    for (const char* name : {"a", "b", "c"})
        editor += scene3ds::Object(name, scene3ds::Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) +
                                             scene3ds::Faces(faces));
    const std::string path = folder.Write("faces.3ds", scene3ds::Scene(editor));
    LoadObject(path.c_str(), 1);
    EXPECT_EQ(cell.number, kObjectNotLoaded);
    EXPECT_FALSE(ObjectExists(1));
    EXPECT_FALSE(TempFileLeft());
    // A tenth of one of them loads whole, its faces side by side along a band (stacked on one
    // spot they would fill the view thousands of times a frame, which a load is refused for).
    std::vector<std::array<float, 3>> band;
    std::vector<std::array<int, 3>> beside;
    for (int i = 0; i < 6502; ++i)
        band.push_back({static_cast<float>(i / 2), static_cast<float>(i % 2), 0});
    for (int i = 0; i < 6500; ++i)
        beside.push_back({i, i + 1, i + 2});
    const std::string one = folder.Write(
        "one.3ds",
        scene3ds::Scene(scene3ds::Object("a", scene3ds::Vertices(band) + scene3ds::Faces(beside))));
    cell.number = 0;
    LoadObject(one.c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_EQ(g_Object3D.objects[1]->meshes[0]->indexCount, 3 * 6500);
}

// Damaged copies of each sample: cut short, or with chunk lengths of 0, 6 and beyond everything
// and counts of 65,535. Each converts to a readable object or fails; no temporary file stays.
class Conv3DSDamaged : public Conv3DSFiles,
                       public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(Conv3DSDamaged, FailCleanlyOrConvert) {
    const auto [sample, cut] = GetParam();
    const std::string bytes = TempFolder::Read(kModels + sample);
    std::vector<std::string> damaged;
    for (std::size_t at = 64; cut && at < bytes.size(); at += 64)
        damaged.push_back(bytes.substr(0, at));
    for (const scene3ds::Listed& chunk :
         cut ? std::vector<scene3ds::Listed>{} : scene3ds::ListChunks(bytes)) {
        for (std::uint32_t length : {0u, 6u, 0xFFFFFFFFu})
            damaged.push_back(std::string(bytes).replace(chunk.at + 2, 4, scene3ds::U32(length)));
        for (std::size_t count : chunk.counts)
            damaged.push_back(std::string(bytes).replace(count, 2, scene3ds::U16(65535)));
    }
    ASSERT_GT(damaged.size(), 12u);
    for (const std::string& file : damaged) {
        Converted(folder.Write("damaged.3ds", file));
        ASSERT_FALSE(TempFileLeft());
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, Conv3DSDamaged,
                         ::testing::Combine(::testing::ValuesIn(kSamples), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<const char*, bool>>& info) {
                             std::string name = std::get<0>(info.param);
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name + (std::get<1>(info.param) ? "_cut" : "_chunks");
                         });
