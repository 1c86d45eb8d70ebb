#include "core/win32.h"

#include "model_bytes.h"
#include "core/core_data.h"
#include "core/error_numbers.h"
#include "core/frame_loop.h"
#include "draw2d/draw2d.h"
#include "light/light.h"
#include "modelfile/conv_mdl.h"
#include "modelfile/converters.h"
#include "object3d/animation_commands.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_commands.h"
#include "object3d/object_records.h"
#include "object3d/positioning.h"
#include "support/object_scene.h"
#include "support/port_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kModels = "Z:\\usr\\share\\assimp\\models\\MDL";
const std::vector<std::size_t> kHeaderWords = {140, 144, 164, 168, 172, 176, 180,
                                               184, 192, 196, 200, 204, 208};

struct Bone {
    std::int32_t parent = -1;
    std::array<float, 6> value = {}, scale = {1, 1, 1, 1, 1, 1};
    std::array<std::string, 6> streams; // each channel's runs; empty: no data (offset 0)
};

// One model of a strip of 5 and a fan of 4 over six vertices in the z = 0 plane, bone 0.
struct Studio {
    const char* magic = "IDST";
    std::int32_t version = 10, frames = 3, group = 0, bodyParts = 1, skin = 0;
    std::vector<Bone> bones = {Bone{}};
    std::vector<std::pair<std::string, std::array<std::int32_t, 2>>> textures = {
        {"skin.bmp", {4, 2}}};
    std::vector<std::int16_t> skins = {0};
    std::vector<std::vector<std::int16_t>> strips = {{5, 0, 1, 2, 3, 4}, {-4, 0, 2, 4, 5}};
    std::vector<std::uint8_t> vertexBones = {0, 0, 0, 0, 0, 0};
    std::array<float, 3> corner = {2, -1, 0}; // the last vertex
    int meshes = 1;
    std::size_t sharedPictures = 0; // the first this many textures show the first one's pixels
};

std::string StreamRun(const std::vector<std::int16_t>& values, std::uint8_t total) {
    FileBytes f;
    f.Put(static_cast<std::uint8_t>(values.size())).Put(total);
    for (std::int16_t v : values)
        f.I16(v);
    return f.data;
}

// Header, bones, sequence, group (its data at the file's start), animation, textures (grey
// palettes), skin row, body part, model, meshes with their commands, vertex bones and vertices.
std::string MakeStudio(const Studio& s) {
    FileBytes f;
    f.Raw(s.magic, 4).I32(s.version).Field("model", 236);
    auto header = [&](std::size_t at, std::size_t count) {
        f.Patch(at, static_cast<std::int32_t>(count));
        f.Patch(at + 4, f.Size());
    };
    header(140, s.bones.size());
    for (const Bone& b : s.bones) {
        f.Field("bone", 32).I32(b.parent).Field("", 28);
        for (float v : b.value)
            f.F32(v);
        for (float v : b.scale)
            f.F32(v);
    }
    header(164, 1);
    const std::int32_t sequence = f.Size();
    f.Field("", 56).I32(s.frames).Field("", 96).I32(s.group).Field("", 16);
    header(172, 1);
    f.Field("", 104);
    const std::int32_t records = f.Size();
    f.Patch(sequence + 124, records);
    f.Field("", 12 * s.bones.size());
    for (std::size_t b = 0; b < s.bones.size(); ++b)
        for (std::size_t j = 0; j < 6; ++j)
            if (!s.bones[b].streams[j].empty()) {
                f.Patch(records + 12 * b + 2 * j,
                        static_cast<std::int16_t>(f.Size() - records - 12 * b));
                f.data += s.bones[b].streams[j];
            }
    header(180, s.textures.size());
    const std::int32_t table = f.Size();
    f.Field("", 80 * s.textures.size());
    for (std::size_t i = 0; i < s.textures.size(); ++i) {
        const auto [w, h] = s.textures[i].second;
        f.data.replace(table + 80 * i, 64, std::string(s.textures[i].first).append(64, '\0'), 0,
                       64);
        f.Patch(table + 80 * i + 68, w), f.Patch(table + 80 * i + 72, h);
        if (i > 0 && i < s.sharedPictures) {
            f.Patch(table + 80 * i + 76, table + 80 * static_cast<std::int32_t>(s.textures.size()));
            continue;
        }
        f.Patch(table + 80 * i + 76, f.Size());
        f.Field("", static_cast<std::size_t>(w) * h);
        for (int c = 0; c < 256; ++c)
            f.Put(static_cast<std::uint8_t>(c)).Put(static_cast<std::uint8_t>(c)).Put('\0');
    }
    f.Patch(192, static_cast<std::int32_t>(s.skins.size()));
    f.Patch(196, std::int32_t{1});
    f.Patch(200, f.Size());
    for (std::int16_t skin : s.skins)
        f.I16(skin);
    f.Patch(204, s.bodyParts), f.Patch(208, f.Size());
    const std::int32_t model = f.Size() + 76;
    f.Field("body", 64).I32(1).I32(0).I32(model);
    f.Field("model", 72).I32(s.meshes).I32(model + 112).I32(6).Field("", 28);
    const std::int32_t meshes = f.Size();
    f.Field("", 20 * s.meshes);
    for (int m = 0; m < s.meshes; ++m) {
        f.Patch(meshes + 20 * m + 4, f.Size()), f.Patch(meshes + 20 * m + 8, s.skin + m);
        for (const std::vector<std::int16_t>& strip : s.strips) {
            f.I16(strip[0]);
            for (std::size_t i = 1; i < strip.size(); ++i)
                f.I16(strip[i]).I16(0).I16(static_cast<std::int16_t>(2 * strip[i])).I16(1);
        }
        f.I16(0);
    }
    f.Patch(model + 84, f.Size());
    for (std::uint8_t bone : s.vertexBones)
        f.Put(bone);
    f.Patch(model + 88, f.Size());
    for (float v : {0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 2, 0, 0})
        f.F32(v);
    for (float v : s.corner)
        f.F32(v);
    return f.data;
}

template <typename T> T WordAt(const std::string& file, std::size_t at) {
    T value{};
    std::memcpy(&value, &file[at], sizeof value);
    return value;
}

// The file with its model's meshes replaced by one a start: each names the command list at that
// offset into the commands, which are put after the file with the meshes, all with skin 0.
std::string WithCommandLists(std::string file, const std::string& commands,
                             const std::vector<std::int32_t>& starts) {
    FileBytes f;
    f.data = std::move(file);
    const auto model = WordAt<std::int32_t>(f.data, WordAt<std::int32_t>(f.data, 208) + 72);
    const std::int32_t base = f.Size();
    f.data += commands;
    f.Patch(model + 72, static_cast<std::int32_t>(starts.size()));
    f.Patch(model + 76, f.Size());
    for (std::int32_t start : starts)
        f.I32(0).I32(base + start).I32(0).I32(0).I32(0);
    return f.data;
}

// One command of the given vertices (a strip; a fan for a negative count), each s = 2 v, t = 1.
std::string Command(std::int32_t count, const std::vector<std::int16_t>& vertices) {
    FileBytes f;
    f.I16(static_cast<std::int16_t>(count));
    for (std::int16_t v : vertices)
        f.I16(v).I16(0).I16(static_cast<std::int16_t>(2 * v)).I16(1);
    return f.data;
}

// The names of the files in a folder.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
}

bool Decodes(const std::string& bytes, ConvMDL::MDLData* data = nullptr) {
    ConvMDL::MDLData local;
    return ConvMDL::Decode(SpanOf(bytes), data ? *data : local);
}

// A bone's transform at each of the frames, sampled in that order; empty when sampling fails.
std::vector<ConvMDL::BoneTransform> Poses(const ConvMDL::MDLData& data,
                                          const std::vector<float>& frames, std::size_t bone = 0) {
    ConvMDL::PoseSampler sampler(data);
    std::vector<ConvMDL::BoneTransform> poses, transforms;
    for (float frame : frames) {
        if (!sampler.MakeSkeleton(frame, transforms)) return {};
        poses.push_back(transforms[bone]);
    }
    return poses;
}

// The object module's temporary data folder is the engine's media folder while this lasts.
struct TempDataFolder {
    TempDataFolder() { std::strcpy(g_CoreData->mediaFolder, folder.Path().c_str()); }
    ~TempDataFolder() { g_CoreData->mediaFolder[0] = 0; }
    TempFolder folder;
};

// The studio models: the sub-folder of MDL whose files begin with "IDST".
std::string StudioFolder() {
    for (const std::string& file : FindModelFiles(kModels, ".mdl"))
        if (TempFolder::Read(file).compare(0, 4, "IDST") == 0)
            return file.substr(0, file.find('\\', kModels.size() + 1));
    return "";
}

} // namespace

TEST(MDLFile, TexturesAndTheirFileNames) {
    EXPECT_EQ(ConvMDL::OutputSize(100), 128);
    EXPECT_EQ(ConvMDL::OutputSize(60), 64);
    EXPECT_EQ(ConvMDL::OutputSize(300), 256);
    // Three pixels spread over four: each the mean of four samples' palette colours.
    const std::uint8_t pixels[3] = {0, 1, 2}, palette[768] = {0, 0, 0, 200, 100, 40, 20, 40, 60};
    ConvMDL::Texture texture;
    texture.width = 3, texture.height = 1;
    texture.pixels = ByteSpan{pixels, 3}, texture.palette = ByteSpan{palette, 768};
    std::vector<std::uint32_t> rows(16, 7); // two rows 32 bytes apart
    ConvMDL::ResampleTexture(texture, 4, 2, reinterpret_cast<std::uint8_t*>(rows.data()), 32);
    EXPECT_EQ(rows[0], 0xFF000000u);
    EXPECT_EQ(rows[1], 0xFF643214u); // half black, half (200, 100, 40)
    EXPECT_EQ(rows[8 + 3], 0xFF14283Cu);
    EXPECT_EQ(rows[4], 7u); // nothing past a row's pixels

    EXPECT_EQ(ConvMDL::SkinFileName("..\\x.bmp"), "x.bmp");
    EXPECT_EQ(ConvMDL::SkinFileName("textures/red/base.bmp"), "base.bmp");
    // Only the base name: the check for names from outside comes when the skins are saved.
    EXPECT_EQ(ConvMDL::SkinFileName("a\\.."), "..");
    EXPECT_EQ(ConvMDL::SkinFileName("folder/"), "");
}

TEST(MDLFile, StripsAndFansOfWholeStudioModels) {
    ConvMDL::MDLData data;
    Studio layout;
    layout.strips.push_back({2, 1, 2}); // no triangle: no mesh
    ASSERT_TRUE(Decodes(MakeStudio(layout), &data));
    ASSERT_EQ(data.strips.size(), 2u);
    EXPECT_EQ(data.strips[0].primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(data.strips[1].primitiveType, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(data.strips[1].vertexCount, 4);
    const float* v = &data.strips[1].vertices[8 * 2]; // vertex 4: s = 8 of 4, t = 1 of 2
    EXPECT_EQ(std::vector<float>(v, v + 8), (std::vector<float>{2, 0, 0, 0, 0, 0, 2, 0.5f}));
    EXPECT_EQ(data.vertexBones.size(), 9u);
    layout.skin = 4; // outside the skin row: no texture, coordinates unscaled
    ASSERT_TRUE(Decodes(MakeStudio(layout), &data));
    EXPECT_EQ(data.strips[0].texture, -1);
    EXPECT_EQ(data.strips[0].vertices[8 + 6], 2.0f);

    for (auto change : std::vector<void (*)(Studio&)>{
             [](Studio& s) { s.magic = "IDSQ"; }, [](Studio& s) { s.version = 6; },
             [](Studio& s) { s.bodyParts = 0; }, [](Studio& s) { s.bones[0].parent = 0; },
             [](Studio& s) { s.bones.resize(129); }, [](Studio& s) { s.strips[0][4] = 6; },
             [](Studio& s) { s.vertexBones[4] = 1; },
             [](Studio& s) { s.textures[0].second[0] = 0; },
             [](Studio& s) {
                 s.strips.assign(801, {3, 0, 1, 2});
             }}) {
        Studio refused;
        change(refused);
        EXPECT_FALSE(Decodes(MakeStudio(refused)));
    }
    layout = Studio{};
    layout.bones.resize(128);
    layout.strips.assign(800, {3, 0, 1, 2});
    layout.textures.clear(); // kept in a file of their own
    EXPECT_TRUE(Decodes(MakeStudio(layout)));
    layout.group = 2; // the sequence's data is in another file
    ASSERT_TRUE(Decodes(MakeStudio(layout), &data));
    EXPECT_FALSE(data.animated);

    // Meshes naming one list, or its tail, each get its strips with their own coordinates,
    // whichever mesh read the list first.
    const std::string strip = Command(5, {0, 1, 2, 3, 4}), list = strip + Command(-4, {0, 2, 4, 5});
    const auto tail = static_cast<std::int32_t>(strip.size());
    for (const auto& [starts, counts] :
         std::vector<std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>>>{
             {{0, tail, 0}, {5, 4, 4, 5, 4}}, {{tail, 0}, {4, 5, 4}}}) {
        const std::string file =
            WithCommandLists(MakeStudio(Studio{}), list + Command(0, {}), starts);
        ASSERT_TRUE(Decodes(file, &data));
        std::vector<std::int32_t> made;
        std::size_t vertices = 0;
        for (const ConvMDL::StripRecord& s : data.strips)
            made.push_back(s.vertexCount), vertices += s.vertices.size() / 8;
        EXPECT_EQ(made, counts);
        EXPECT_EQ(data.vertexBones.size(), vertices);
        EXPECT_EQ(data.strips.back().primitiveType, D3DPT_TRIANGLEFAN);
        EXPECT_EQ(data.strips.back().vertices[8 * 2 + 6], 2.0f); // vertex 4: s = 8 of 4, once
    }
    // 200,000 meshes, each naming the next command of a list of 400,000 that make no triangle:
    // each command is read once, not once a mesh (which would take many minutes).
    std::string dots;
    for (int i = 0; i < 400000; ++i)
        dots += Command(1, {0});
    std::vector<std::int32_t> starts(200000);
    for (std::size_t i = 0; i < starts.size(); ++i)
        starts[i] = static_cast<std::int32_t>(10 * i);
    const std::string dotted =
        WithCommandLists(MakeStudio(Studio{}), dots + Command(0, {}), starts);
    ASSERT_TRUE(Decodes(dotted, &data));
    EXPECT_TRUE(data.strips.empty());
}

TEST(MDLFile, ChannelsFollowTheirRunsAndKeepTheirBase) {
    Studio layout;
    Bone& bone = layout.bones[0];
    bone.value = {1, 7, 0, 0, 0, 0};
    bone.scale = {0.5f, 100, 1, 1, 1, 0.01f};
    bone.streams[0] = StreamRun({10, 20}, 3) + StreamRun({40}, 2);
    bone.streams[5] = StreamRun({0}, 2) + StreamRun({100, 100}, 3);
    layout.bones.push_back(Bone{0, {1, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}, {}});
    ConvMDL::MDLData data; // its spans point into the file, which must outlive them
    std::string file = MakeStudio(layout);
    ASSERT_TRUE(Decodes(file, &data));
    const std::vector<float> frames = {0, 0.5f, 1.5f, 2.5f, 3, 0.5f, 1.5f};
    const std::vector<ConvMDL::BoneTransform> poses = Poses(data, frames);
    ASSERT_EQ(poses.size(), frames.size());
    const float x[] = {6, 8.5f, 11, 16, 21, 8.5f, 11};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_NEAR(poses[i].m[0][3], x[i], 1e-5) << "frame " << frames[i];
        EXPECT_EQ(poses[i].m[1][3], 7.0f); // no data: the base, unscaled
    }
    // About z: still in the first run at 0.5, half way to one radian at 1.5, after any frame.
    EXPECT_EQ(poses[1].m[1][0], 0.0f);
    EXPECT_NEAR(poses[2].m[1][0], std::sin(0.5f), 1e-5);
    EXPECT_NEAR(poses[6].m[0][0], std::cos(0.5f), 1e-5);
    const std::vector<ConvMDL::BoneTransform> child = Poses(data, {1.5f}, 1);
    ASSERT_EQ(child.size(), 1u);
    EXPECT_NEAR(child[0].m[1][3], 7 + std::sin(0.5f), 1e-5); // moved with its parent
    // As the engine moves points: rotation times point plus translation.
    const D3DXMATRIX m = ConvMDL::PoseMatrix(child[0]);
    D3DXVECTOR3 moved;
    TransformCoordByMatrix(1, 0, 0, &m, &moved);
    EXPECT_NEAR(moved.y, 7 + 2 * std::sin(0.5f), 1e-5);
    // Opposite quaternions are one turn: the way between them is none.
    const D3DXQUATERNION q(0, 0, 0.6f, 0.8f), same = ConvMDL::SlerpQuaternion(q, -q, 0.5f);
    EXPECT_NEAR(same.z, 0.6f, 1e-6);

    // A run of no frames would never end; one of no values has nothing to repeat.
    for (const std::string& stream : {StreamRun({5}, 0), StreamRun({}, 4)}) {
        layout.bones[0].streams[0] = stream;
        file = MakeStudio(layout);
        ASSERT_TRUE(Decodes(file, &data));
        EXPECT_TRUE(Poses(data, {1}).empty());
    }
}

TEST_F(ObjectScene, StudioStripsBecomeAChainWithBakedFrames) {
    TempDataFolder temp;
    Studio layout;
    layout.textures = {{"..\\x.bmp", {100, 60}}, {"big.bmp", {300, 300}}};
    layout.skins = {0, 1};
    layout.meshes = 2;
    std::uint8_t* block = nullptr;
    std::uint32_t size = 0;
    const std::string file = temp.folder.Write("model\\m.mdl", MakeStudio(layout));
    ASSERT_TRUE(ConvMDL::Convert(file.c_str(), &block, &size));
    const ObjectRecord* o = ConvMDL::LoadedObject();
    std::vector<const MeshRecord*> meshes;
    for (const FrameRecord* f = o->rootFrame; f; f = f->child)
        meshes.push_back(f->mesh);
    ASSERT_EQ(meshes.size(), 4u);
    EXPECT_EQ(meshes[0]->primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(meshes[0]->drawPrimitiveCount, 3);
    EXPECT_EQ(meshes[1]->primitiveType, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(meshes[1]->drawPrimitiveCount, 2);
    EXPECT_EQ(meshes[1]->indexCount + meshes[1]->culling + meshes[1]->materialOn, 0);
    EXPECT_EQ(meshes[1]->boneCount, 1);
    EXPECT_STREQ(meshes[0]->textures[0].fileName, "x.bmp");
    EXPECT_STREQ(meshes[3]->textures[0].fileName, "big.bmp");
    EXPECT_EQ(std::memcmp(meshes[2]->backupVertices, meshes[2]->vertices, 5 * 32), 0);
    EXPECT_NEAR(std::fabs(reinterpret_cast<const float*>(meshes[0]->vertices)[5]), 1.0f, 1e-5);
    const AnimationRecord* a = o->animationSet->animation;
    EXPECT_EQ(a->keyed, 0u);
    EXPECT_EQ(a->bakedIndexCount, 18u);
    EXPECT_EQ(a->bakedFrameCount, 20u); // 3 frames: 30 samples, the last ten dropped
    EXPECT_EQ(a->bakedMatricesPerFrame, 1u);
    // The textures lie in the temporary folder with sides of powers of two.
    std::int32_t width = 0, height = 0;
    BitmapSize(temp.folder.File("x.bmp"), &width, &height);
    EXPECT_EQ(width * 1000 + height, 128064);
    BitmapSize(temp.folder.File("big.bmp"), &width, &height);
    EXPECT_EQ(width * 1000 + height, 256256);
    EXPECT_TRUE(SavedBlockReadsBackSame(block, size, temp.folder.Path()));
    ConvMDL::Free(block);

    // Names that differ only in case are one file, showing the last texture's picture; a name
    // showing another texture's picture keeps a file of its own.
    layout.textures = {{"a.bmp", {4, 2}}, {"b.bmp", {4, 2}}, {"A.bmp", {100, 60}}};
    layout.sharedPictures = 2;
    layout.skins = {0, 1, 2};
    layout.meshes = 3;
    ASSERT_TRUE(ConvMDL::LoadModel(temp.folder.Write("cases.mdl", MakeStudio(layout)).c_str()));
    std::vector<std::string> names;
    for (const FrameRecord* f = ConvMDL::LoadedObject()->rootFrame; f; f = f->child)
        names.push_back(_strlwr(std::string(f->mesh->textures[0].fileName).data()));
    EXPECT_EQ(names,
              (std::vector<std::string>{"a.bmp", "a.bmp", "b.bmp", "b.bmp", "a.bmp", "a.bmp"}));
    BitmapSize(temp.folder.File("b.bmp"), &width, &height);
    EXPECT_EQ(width * 1000 + height, 4002);
    BitmapSize(temp.folder.File("a.bmp"), &width, &height);
    EXPECT_EQ(width * 1000 + height, 128064);

    layout = Studio{};
    layout.frames = 1; // fewer than two frames keep none
    ASSERT_TRUE(ConvMDL::LoadModel(temp.folder.Write("one.mdl", MakeStudio(layout)).c_str()));
    EXPECT_EQ(ConvMDL::LoadedObject()->animationSet->animation->bakedFrameCount, 0u);
    ConvertDamagedCopies(MakeStudio(Studio{}), kHeaderWords, temp.folder.File("damaged.mdl"),
                         ConvMDL::Convert, ConvMDL::Free);
}

TEST_F(ObjectScene, StudioModelsWithABodyPartConvert) {
    const std::string studio = StudioFolder();
    if (studio.empty()) GTEST_SKIP() << "assimp-testmodels' studio models are not installed";
    TempDataFolder temp;
    int converted = 0;
    for (const std::string& file : FindModelFiles(kModels, ".mdl")) {
        const std::string bytes = TempFolder::Read(file);
        std::int32_t parts = 0;
        if (bytes.size() >= 212) std::memcpy(&parts, &bytes[204], 4);
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        const bool made = ConvMDL::Convert(file.c_str(), &block, &size);
        EXPECT_EQ(made, bytes.compare(0, 4, "IDST") == 0 && parts > 0) << file;
        if (made) {
            EXPECT_TRUE(SavedBlockReadsBackSame(block, size, temp.folder.Path())) << file;
        }
        converted += made;
        ConvMDL::Free(block);
    }
    EXPECT_EQ(converted, 13);
    std::int32_t width = 0, height = 0;
    BitmapSize(temp.folder.File("chrome_texture.bmp"), &width, &height);
    EXPECT_EQ(width * 1000 + height, 64064);
    ASSERT_TRUE(ConvMDL::LoadModel((studio + "\\chrome_sphere.mdl").c_str()));
    EXPECT_EQ(ConvMDL::LoadedObject()->animationSet->animation->bakedFrameCount, 2200u);
    // Textures in another file: no names. A first sequence in another group: no frames.
    ASSERT_TRUE(ConvMDL::LoadModel((studio + "\\man.mdl").c_str()));
    EXPECT_STREQ(ConvMDL::LoadedObject()->rootFrame->mesh->textures[0].fileName, "");
    ASSERT_TRUE(ConvMDL::LoadModel(
        (studio + "\\duplicate_sequence_groups\\duplicate_sequence_groups.mdl").c_str()));
    EXPECT_EQ(ConvMDL::LoadedObject()->animationSet->animation->bakedFrameCount, 0u);
    ForEachDamagedCopy(TempFolder::Read(studio + "\\chrome_sphere.mdl"), kHeaderWords, 8,
                       [](const std::string& copy) {
                           ConvMDL::MDLData data;
                           if (Decodes(copy, &data)) Poses(data, {0, 0.5f, 1, 7.5f, 300});
                       });
}

TEST_F(ObjectScene, StudioTablesOverlappingTheHeaderAreRefused) {
    // The skin row and a texture's pixels anywhere inside the header are refused (their words
    // would be read as entries); right after it they are read.
    const std::string file = MakeStudio(Studio{});
    const std::size_t pixels = WordAt<std::int32_t>(file, 184) + 76;
    for (const std::size_t word : {std::size_t{200}, pixels})
        for (const std::int32_t offset : {1, 243, 244}) {
            std::string moved = file;
            std::memcpy(&moved[word], &offset, 4);
            EXPECT_EQ(Decodes(moved), offset == 244) << "word " << word << " at " << offset;
        }

    const std::string studio = StudioFolder();
    if (studio.empty()) GTEST_SKIP() << "assimp-testmodels' studio models are not installed";
    TempDataFolder temp;
    for (const char* name : {"man.mdl", "chrome_sphere.mdl", "unnamed_bones.mdl"}) {
        std::string bytes = TempFolder::Read(studio + "\\" + name);
        // The first model's vertex table at offset 0: its positions would be the header's words.
        std::int32_t part = 0, model = 0;
        std::memcpy(&part, &bytes[208], 4);
        std::memcpy(&model, &bytes[part + 72], 4);
        std::memset(&bytes[model + 88], 0, 4);
        EXPECT_FALSE(Decodes(bytes)) << name;
        cell.number = 0;
        LoadObject(temp.folder.Write(name, bytes).c_str(), 1);
        EXPECT_EQ(cell.number, 7018) << name;
        EXPECT_FALSE(ObjectExists(1)) << name;
    }
}

TEST_F(ObjectScene, StudioModelsAreLitOnTheLightsSide) {
    const std::string studio = StudioFolder();
    if (studio.empty()) GTEST_SKIP() << "assimp-testmodels' studio models are not installed";
    TempDataFolder temp;
    LoadObject((studio + "\\chrome_sphere.mdl").c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    PositionObject(1, 0, 0, 8);
    SetAmbientLight(0);
    // Points left and right of the sphere's middle, lit from either side in turn.
    auto sides = [&](float x) {
        SetDirectionalLight(0, x, 0, 0.3f);
        ClearScreen(0xFF000000);
        Sync();
        auto brightness = [](std::uint32_t c) { return Red(c) + Green(c) + Blue(c); };
        return std::make_pair(brightness(GetPixelColour(270, 240)),
                              brightness(GetPixelColour(370, 240)));
    };
    const auto fromLeft = sides(1), fromRight = sides(-1); // shining towards +x, then -x
    EXPECT_GT(fromLeft.first, fromRight.first + 30);
    EXPECT_GT(fromRight.second, fromLeft.second + 30);
}

TEST_F(ObjectScene, StudioModelsPastTheirLoadAreRefusedAndLeaveNoSkins) {
    TempDataFolder temp;
    TempFolder models;
    // A thousand texture records showing one picture: one file, every strip naming it.
    Studio shared;
    shared.textures.clear();
    for (int i = 0; i < 1000; ++i)
        shared.textures.push_back({"skin" + std::to_string(i) + ".bmp", {256, 256}});
    shared.sharedPictures = 1000;
    shared.skins = {0, 999};
    shared.meshes = 2;
    const std::string sharedFile = models.Write("shared.mdl", MakeStudio(shared));
    LoadObject(sharedFile.c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    DeleteObject(1);
    EXPECT_EQ(FilesIn(temp.folder.Path()), std::vector<std::string>{"skin0.bmp"});
    ASSERT_TRUE(ConvMDL::LoadModel(sharedFile.c_str()));
    for (const FrameRecord* f = ConvMDL::LoadedObject()->rootFrame; f; f = f->child)
        EXPECT_STREQ(f->mesh->textures[0].fileName, "skin0.bmp");
    DeleteFileA(temp.folder.File("skin0.bmp").c_str());

    std::vector<std::pair<std::string, std::string>> refused;
    // A hundred meshes naming one strip of 32,767 vertices.
    std::vector<std::int16_t> vertices(32767);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = static_cast<std::int16_t>(i % 6);
    refused.emplace_back("strip", WithCommandLists(MakeStudio(Studio{}),
                                                   Command(32767, vertices) + Command(0, {}),
                                                   std::vector<std::int32_t>(100, 0)));
    // Twenty meshes, or one, naming it: what the conversion makes fits the load's budget, but
    // not the first frame's buffers and its 32,765 triangles a mesh stacked over six corners,
    // which fill the view thousands of times a frame.
    for (const std::size_t meshes : {std::size_t{20}, std::size_t{1}})
        refused.emplace_back("stacked " + std::to_string(meshes),
                             WithCommandLists(MakeStudio(Studio{}),
                                              Command(32767, vertices) + Command(0, {}),
                                              std::vector<std::int32_t>(meshes, 0)));
    Studio layout;
    layout.frames = 0x7FFFFFFF;
    refused.emplace_back("frames", MakeStudio(layout));
    // More pictures than one file may write into the temporary folder: those written go again.
    layout = Studio{};
    layout.textures.clear();
    for (std::uint64_t i = 0; i <= ConvMDL::kMostSkinBytes / (256 * 256 * 4); ++i)
        layout.textures.push_back({"p" + std::to_string(i) + ".bmp", {129, 129}});
    refused.emplace_back("pictures", MakeStudio(layout));
    // Numbers out of range in bones, in the scales of channels with data (alone, or times the
    // data), in positions.
    const float nan = std::nanf(""), infinity = HUGE_VALF;
    for (const auto& [value, channel] : std::vector<std::pair<float, int>>{
             {nan, 0}, {infinity, 3}, {-infinity, 1}, {1e30f, 2}, {-1e30f, 5}}) {
        layout = Studio{};
        layout.bones[0].value[channel] = value;
        refused.emplace_back("value " + std::to_string(channel), MakeStudio(layout));
    }
    for (const auto& [scale, channel] :
         std::vector<std::pair<float, int>>{{nan, 0}, {1e36f, 1}, {1e36f, 4}, {1e17f, 2}}) {
        layout = Studio{};
        layout.bones[0].scale[channel] = scale;
        layout.bones[0].streams[channel] = StreamRun({100, 200}, 3);
        refused.emplace_back("scale " + std::to_string(channel), MakeStudio(layout));
    }
    layout = Studio{};
    layout.corner = {0, 1e30f, 0};
    refused.emplace_back("position", MakeStudio(layout));
    for (const auto& [name, bytes] : refused) {
        cell.number = 0;
        LoadObject(models.Write(name + ".mdl", bytes).c_str(), 1);
        EXPECT_EQ(cell.number, kObjectNotLoaded) << name;
        EXPECT_FALSE(ObjectExists(1)) << name;
        EXPECT_TRUE(FilesIn(temp.folder.Path()).empty()) << name;
    }
}

// Skins pass the one check for names from outside: a reserved or control character, "." or "..",
// or a device (any case, any extension) refuses the load before any skin or port is written.
TEST_F(ObjectScene, StudioSkinsNamedOutsideTheOneCheckAreRefused) {
    TempDataFolder temp;
    TempFolder models;
    std::vector<std::string> names = {"NUL",     "CON",          "AUX.bmp", "prn .bmp",   "conout$",
                                      "a*b.bmp", "a?b.bmp",      "a<b.bmp", "a\001b.bmp", "..",
                                      " . ",     "x.bmp:hidden", "C:x.bmp"};
    std::string why;
    std::optional<PortFiles> ports;
    if (PortFiles::Mapped(&why)) ports.emplace();
    for (std::size_t i = 0; ports && i < PortFiles::Names().size(); ++i) {
        std::string port = PortFiles::Names()[i] + std::array{"", ".bmp", " .bmp"}[i % 3];
        names.push_back(i % 2 ? CharLowerA(port.data()) : port);
    }
    for (const std::string& name : names) {
        cell.number = 0;
        const Studio layout = {
            .textures = {{"first.bmp", {4, 2}}, {name, {4, 2}}}, .skins = {0, 1}, .meshes = 2};
        LoadObject(models.Write("skins.mdl", MakeStudio(layout)).c_str(), 1);
        EXPECT_EQ(cell.number, kObjectNotLoaded) << name;
        if (ObjectExists(1)) DeleteObject(1);
        EXPECT_EQ(FilesIn(temp.folder.Path()), std::vector<std::string>{}) << name;
    }
    EXPECT_EQ(ports ? ports->Written() : std::vector<std::string>{}, std::vector<std::string>{});
    // A skin name empty after its last slash names no file: the mesh is bare.
    LoadObject(models.Write("bare.mdl", MakeStudio({.textures = {{"skins/", {4, 2}}}})).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    EXPECT_STREQ(FirstMesh(1)->textures[0].fileName, "");
    DeleteObject(1);
    if (!ports) GTEST_SKIP() << why;
}

TEST_F(ObjectScene, StudioSkinsGoWithAFileThatAnAppendRefuses) {
    TempDataFolder temp;
    TempFolder models;
    LoadObject(models.Write("host.mdl", MakeStudio(Studio{})).c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    // The host's animation names no frame of the appended file: the append is refused after
    // the file has loaded and written its skin.
    AnimationSetRecord* set = ObjectAt(1)->animationSet;
    ASSERT_TRUE(set && set->animation);
    std::strcpy(set->animation->name, "elsewhere");
    Studio appended;
    appended.textures = {{"late.bmp", {4, 2}}};
    cell.number = 0;
    EXPECT_EQ(AppendObject(models.Write("late.mdl", MakeStudio(appended)).c_str(), 1,
                           static_cast<std::int32_t>(set->length)),
              0);
    EXPECT_EQ(cell.number, kAppendFailed);
    EXPECT_EQ(FilesIn(temp.folder.Path()), std::vector<std::string>{"skin.bmp"});
    DeleteObject(1);
}
