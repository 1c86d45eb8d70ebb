#include "core/win32.h"

#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "model_bytes.h"
#include "modelfile/conv_md3.h"
#include "modelfile/converters.h"
#include "object3d/model_files.h"
#include "object3d/object_commands.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "support/object_scene.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Axes = std::array<float, 9>;
const Axes kQuarterTurnY = {0, 0, -1, 0, 1, 0, 1, 0, 0}; // rows: where x, y and z go

struct SurfaceLayout {
    std::string name = "s_body", shader = "models/players/knight/red.tga";
    std::int32_t frames = 1;
    std::vector<std::int32_t> triangles = {0, 1, 2};
};

struct PartLayout {
    std::int32_t frames = 1, version = 15;
    std::vector<Axes> tags = {kQuarterTurnY}; // one frame's tags, the same in every frame
    std::vector<SurfaceLayout> surfaces = {SurfaceLayout{}};
};

// Three vertices, (64, 128, -64) first, whose x moves 64 units a frame.
std::string MakeSurface(const SurfaceLayout& s) {
    const auto shaders = static_cast<std::int32_t>(!s.shader.empty());
    const auto triangles = static_cast<std::int32_t>(s.triangles.size() / 3);
    const std::int32_t trianglesAt = 108 + 68 * shaders, coords = trianglesAt + 12 * triangles;
    FileBytes f;
    f.Raw("IDP3", 4).Field(s.name, 64).I32(0).I32(s.frames).I32(shaders).I32(3).I32(triangles);
    f.I32(trianglesAt).I32(108).I32(coords).I32(coords + 24).I32(coords + 24 + 24 * s.frames);
    if (shaders) f.Field(s.shader, 64).I32(0);
    for (std::int32_t index : s.triangles)
        f.I32(index);
    f.F32(0).F32(0.5f).F32(0.25f).F32(0.5f).F32(0.5f).F32(0.5f);
    for (std::int16_t k = 0; k < s.frames; ++k)
        f.I16(64 + 64 * k).I16(128).I16(-64).I16(0).I32(0).I32(0).I16(64).I16(0).I32(0);
    return f.data;
}

std::string MakePart(const PartLayout& p) {
    const auto tags = static_cast<std::int32_t>(p.tags.size());
    FileBytes f;
    f.Raw("IDP3", 4).I32(p.version).Field("part", 64).I32(0).I32(p.frames).I32(tags);
    f.I32(static_cast<std::int32_t>(p.surfaces.size())).I32(0).I32(0).I32(0).I32(0).I32(0);
    f.Field("", 56 * p.frames);
    for (std::int32_t k = 0; k < p.frames * tags; ++k) {
        f.Field("tag", 64).F32(1).F32(2).F32(3);
        for (float a : p.tags[k % tags])
            f.F32(a);
    }
    for (const SurfaceLayout& s : p.surfaces)
        f.data += MakeSurface(s);
    return f.data;
}

// An untagged part whose surfaces all take their triangles (every corner vertex 0), texture
// coordinates and vertex frames from one block of zero bytes at its end: a small file of many
// vertices, corners and key frames.
std::string MakeSharedBlockPart(std::int32_t surfaces, std::int32_t vertices,
                                std::int32_t frames = 1, std::int32_t triangles = 0,
                                const std::string& name = "s_shared") {
    FileBytes f;
    f.Raw("IDP3", 4).I32(15).Field("part", 64).I32(0).I32(1).I32(0).I32(surfaces).Field("", 20);
    f.Field("", 56);
    const std::int32_t block = f.Size() + 108 * surfaces;
    for (std::int32_t i = 0; i < surfaces; ++i) {
        const std::int32_t to = block - f.Size(), coords = to + 12 * triangles;
        f.Raw("IDP3", 4).Field(name, 64).I32(0).I32(frames).I32(0).I32(vertices).I32(triangles);
        f.I32(to).I32(to).I32(coords).I32(coords).I32(108);
    }
    f.Field("", 12 * std::size_t{1} * triangles + 8 * std::size_t{1} * vertices * frames);
    return f.data;
}

ConvMD3::PartRead Read(const std::string& bytes, ConvMD3::Part* part = nullptr) {
    ConvMD3::Part local;
    return ConvMD3::ReadPart(SpanOf(bytes), part ? *part : local);
}

std::string Shader(std::string field) {
    field.resize(68, '\0');
    return ConvMD3::ShaderName(reinterpret_cast<const std::uint8_t*>(field.data()));
}

// The chain's frames from the root, the closing empty one included.
std::vector<const FrameRecord*> Chain(const ObjectRecord* o) {
    std::vector<const FrameRecord*> frames;
    for (const FrameRecord* f = o->rootFrame; f; f = f->child)
        frames.push_back(f);
    return frames;
}

std::string OpenArenaFolder() {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string path = program;
    return path.substr(0, path.rfind('\\')) + "\\test-data\\openarena";
}

} // namespace

TEST(MD3Part, NamesAndTagRotations) {
    const ConvMD3::PartFileNames names = ConvMD3::MakePartFileNames("sets/sarge.md3");
    EXPECT_EQ(names.parts[0], "sets/sarge/lower.md3");
    EXPECT_EQ(names.parts[2], "sets/sarge/head.md3");
    EXPECT_EQ(names.texturePrefix, "sets/sarge/");
    EXPECT_EQ(ConvMD3::MakePartFileNames(".md3").parts[1], "/upper.md3");
    // The name ends at its first zero, whatever follows; without a slash there is none.
    EXPECT_EQ(Shader(std::string("models/players/knight/red.tga\0junk/x.tga", 40)), "red.tga");
    EXPECT_EQ(Shader("a\\b\\c.tga"), "c.tga");
    EXPECT_EQ(Shader("red.tga"), "");
    EXPECT_EQ(Shader(std::string(60, 'a') + "/b.t\x01"), "b.t"); // the index is no part of it

    const Axes identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(ConvMD3::MatrixToQuaternion(identity.data()), D3DXQUATERNION(0, 0, 0, 1));
    for (const Axes& axes :
         {kQuarterTurnY, Axes{1, 0, 0, 0, -1, 0, 0, 0, -1}, Axes{-1, 0, 0, 0, 1, 0, 0, 0, -1},
          Axes{-1, 0, 0, 0, -1, 0, 0, 0, 1}}) {
        const D3DXMATRIX m = ConvMD3::QuaternionToMatrix(ConvMD3::MatrixToQuaternion(axes.data()));
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(m.m[i / 3][i % 3], axes[i], 1e-6);
    }
}

TEST(MD3Part, PartsAreReadInFileOrderAndCheckedWhole) {
    PartLayout layout;
    layout.frames = 2;
    layout.surfaces[0].frames = 2;
    ConvMD3::Part part;
    ASSERT_EQ(Read(MakePart(layout), &part), ConvMD3::PartRead::kRead);
    ASSERT_EQ(part.tags.size(), 2u);
    EXPECT_EQ(part.tags[1].origin, D3DXVECTOR3(1, 2, 3));
    const ConvMD3::Surface& s = part.surfaces[0];
    EXPECT_EQ(s.vertexFrames[1][0], D3DXVECTOR3(2, 2, -1)); // a sixty-fourth of the file's units
    EXPECT_EQ(s.triangles, (std::vector<std::uint16_t>{0, 1, 2}));

    PartLayout old;
    old.version = 14;
    EXPECT_EQ(Read(MakePart(old)), ConvMD3::PartRead::kNone);
    for (auto change : std::vector<void (*)(PartLayout&)>{
             [](PartLayout& p) {
                 p.surfaces[0].triangles = {0, 1, 3};
             },
             [](PartLayout& p) {
                 p.surfaces[0].triangles = {0, -1, 2};
             },
             [](PartLayout& p) { p.surfaces[0].frames = 2; }}) { // no tags for frame 1
        PartLayout damaged;
        change(damaged);
        EXPECT_EQ(Read(MakePart(damaged)), ConvMD3::PartRead::kDamaged);
    }
    FileBytes many{MakePart({})};
    many.Patch(108 + 56 + 112 + 80, std::int32_t{65536}); // more than 16-bit indices number
    EXPECT_EQ(Read(many.data), ConvMD3::PartRead::kDamaged);

    const std::vector<std::string> files = FindModelFiles(OpenArenaFolder(), ".md3");
    if (files.empty()) GTEST_SKIP() << "openarena-data's pak0.pk3 was not unzipped for the tests";
    EXPECT_EQ(files.size(), 150u);
    for (const std::string& file : files)
        EXPECT_EQ(ConvMD3::LoadPart(file.c_str(), part), ConvMD3::PartRead::kRead) << file;
    const std::size_t surface = 108 + 56 * 213 + 112 * 213;
    ForEachDamagedCopy(TempFolder::Read(OpenArenaFolder() + "\\models\\players\\sarge\\lower.md3"),
                       {76, 80, 84, surface + 72, surface + 80, surface + 88, surface + 104}, 8,
                       [](const std::string& copy) { Read(copy); });
}

TEST_F(ObjectScene, MD3SurfacesBecomeAChainOfTurnedFrames) {
    TempFolder folder;
    PartLayout lower, head;
    lower.frames = 2;
    lower.surfaces.resize(2);
    lower.surfaces[0].name = "ab_first";
    lower.surfaces[0].frames = 2;
    lower.surfaces[1].name = "ab_second";
    lower.surfaces[1].shader = "bare"; // no slash: no name of its own
    head.tags.clear();
    head.surfaces[0].name = "h";
    folder.Write("models\\knight\\lower.md3", MakePart(lower));
    folder.Write("models\\knight\\head.md3", MakePart(head));
    char before[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA(folder.Path().c_str());
    const bool loaded = ConvMD3::LoadModel("models/knight.md3");
    SetCurrentDirectoryA(before);
    ASSERT_TRUE(loaded);
    const std::vector<const FrameRecord*> chain = Chain(ConvMD3::LoadedObject());
    ASSERT_EQ(chain.size(), 4u); // three surfaces and the empty end
    EXPECT_STREQ(chain[1]->name, "ab_second");
    EXPECT_EQ(chain[3]->mesh, nullptr);
    // Of the two "ab" surfaces only the last keeps its tag's turn; the untagged head has none.
    EXPECT_TRUE(IsIdentity(chain[0]->initialMatrix));
    EXPECT_TRUE(IsIdentity(chain[0]->mesh->keyFrames[1].initialMatrix));
    EXPECT_NEAR(chain[1]->initialMatrix._13, -1.0f, 1e-6);
    EXPECT_TRUE(IsIdentity(chain[2]->initialMatrix));

    const MeshRecord* mesh = chain[0]->mesh;
    EXPECT_EQ(mesh->frameLocal + mesh->materialOn, 2);
    EXPECT_STREQ(mesh->textures[0].fileName, "models/knight/red.tga");
    EXPECT_STREQ(chain[1]->mesh->textures[0].fileName, "models/knight/red.tga"); // the last name
    // (64, 128, -64) is (1, 2, -1), drawn as (x, -z, y), white; triangles wind the other way.
    const float* v = reinterpret_cast<const float*>(mesh->vertices);
    EXPECT_EQ(D3DXVECTOR3(v[0], v[1], v[2]), D3DXVECTOR3(1, 1, 2));
    EXPECT_EQ(reinterpret_cast<const D3DCOLOR*>(v)[6], 0xFFFFFFFFu);
    EXPECT_NEAR(v[3] * v[3] + v[4] * v[4] + v[5] * v[5], 1.0f, 1e-4);
    EXPECT_EQ(std::vector<std::uint16_t>(mesh->indices, mesh->indices + 3),
              (std::vector<std::uint16_t>{0, 2, 1}));
    ASSERT_EQ(mesh->keyFrameCount, 2);
    EXPECT_EQ(reinterpret_cast<const float*>(mesh->keyFrames[1].mesh->vertices)[0], 2.0f);

    // Many surfaces of few names are combined in one pass (a walk of every earlier surface for
    // each would take minutes): two-character names all share one key, a shorter one none.
    const char* const names[] = {"s1", "ab_legs", "t2", "ab_arms"};
    std::vector<std::unique_ptr<FrameRecord>> frames(3 << 15);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = std::make_unique<FrameRecord>();
        std::strcpy(frames[i]->name, i == 5 ? "x" : names[i % 4]);
        frames[i]->initialMatrix = kZeroMatrix;
    }
    ConvMD3::CombineParts(frames);
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (!IsIdentity(frames[i]->initialMatrix)) kept.push_back(i);
    EXPECT_EQ(kept, (std::vector<std::size_t>{5, frames.size() - 2, frames.size() - 1}));
}

TEST_F(ObjectScene, MD3ConversionsStandAlone) {
    TempFolder folder;
    folder.Write("one\\upper.md3", MakePart({})); // lower and head missing
    const std::string model = folder.File("one.md3");
    std::uint8_t *first = nullptr, *second = nullptr;
    std::uint32_t firstSize = 0, secondSize = 0;
    ASSERT_TRUE(ConvMD3::Convert(model.c_str(), &first, &firstSize));
    const std::string firstBytes(reinterpret_cast<const char*>(first), firstSize);
    ConvMD3::Free(first);
    // Nothing of the first conversion joins the second's chain.
    ASSERT_TRUE(ConvMD3::Convert(model.c_str(), &second, &secondSize));
    EXPECT_EQ(Chain(ConvMD3::LoadedObject()).size(), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second), secondSize), firstBytes);
    ConvMD3::Free(second);
    // A surface without a shader name takes none from an earlier model.
    PartLayout bare;
    bare.surfaces[0].shader.clear();
    folder.Write("bare\\head.md3", MakePart(bare));
    ASSERT_TRUE(ConvMD3::LoadModel(folder.File("bare.md3").c_str()));
    EXPECT_STREQ(ConvMD3::LoadedObject()->rootFrame->mesh->textures[0].fileName, "");

    // No part at all, or a damaged one, is no model.
    EXPECT_FALSE(ConvMD3::Convert(folder.File("none.md3").c_str(), &first, &firstSize));
    EXPECT_EQ(first, nullptr);
    EXPECT_FALSE(ConvMD3::Convert(nullptr, &first, &firstSize));
    PartLayout layout;
    layout.frames = layout.surfaces[0].frames = 2;
    const std::size_t surface = 108 + 112 + 224;
    std::vector<std::size_t> words = {76, 80, 84};
    for (std::size_t word = 72; word <= 104; word += 4)
        words.push_back(surface + word);
    ConvertDamagedCopies(MakePart(layout), words, folder.File("one\\upper.md3"), ConvMD3::Convert,
                         ConvMD3::Free);
}

TEST_F(ObjectScene, MD3ModelsPastTheCapsAreRefusedBeforeTheyAreBuilt) {
    // A mesh for frame 0 and one a vertex frame: 512 x 4096 x 2 vertices are the most.
    EXPECT_EQ(Read(MakeSharedBlockPart(512, 4096)), ConvMD3::PartRead::kRead);
    EXPECT_EQ(Read(MakeSharedBlockPart(513, 4096)), ConvMD3::PartRead::kDamaged);
    EXPECT_EQ(Read(MakeSharedBlockPart(1, 0, 0xFFFF)), ConvMD3::PartRead::kRead);
    EXPECT_EQ(Read(MakeSharedBlockPart(1, 0, 0x10000)), ConvMD3::PartRead::kDamaged);

    // Two parts within the caps each, past them together: the load's error, and no object.
    TempFolder folder;
    const std::string half = MakeSharedBlockPart(257, 4096);
    folder.Write("big\\lower.md3", half);
    folder.Write("big\\upper.md3", half);
    LoadObject(folder.File("big.md3").c_str(), 1);
    EXPECT_EQ(cell.number, 7018);
    EXPECT_FALSE(ObjectExists(1));
}

TEST_F(ObjectScene, MD3ModelsPastTheLoadBudgetOrWithoutNumbersAreRefused) {
    // Tables that many surfaces share, key frames by the thousand and their corners are charged
    // for each surface and frame that makes them, before they are made.
    TempFolder folder;
    const std::vector<std::pair<std::string, std::string>> crafted = {
        {"aliased", MakeSharedBlockPart(2000, 3, 1, 21845)},
        {"frames", MakeSharedBlockPart(1, 8, 0xFFFF, 21845)},
        {"block", MakeSharedBlockPart(32, 0xFFFF)}};
    std::int32_t n = 1;
    for (const auto& [name, bytes] : crafted) {
        folder.Write(name + "\\lower.md3", bytes);
        cell.number = 0;
        LoadObject(folder.File(name + ".md3").c_str(), n);
        EXPECT_EQ(cell.number, kObjectNotLoaded) << name;
        EXPECT_FALSE(ObjectExists(n++)) << name;
    }
    // Empty surfaces of one name: within the budget, or refused.
    folder.Write("same\\head.md3", MakeSharedBlockPart(1 << 15, 0, 1, 0, "s1"));
    cell.number = 0;
    LoadObject(folder.File("same.md3").c_str(), n);
    EXPECT_EQ(ObjectExists(n), cell.number == 0) << cell.number;
    EXPECT_LE(LastLoadCharged(), LastLoadLimit());

    // A tag whose axes are no numbers turns its surface by no numbers.
    PartLayout nan;
    nan.tags[0][4] = std::nanf("");
    folder.Write("nan\\upper.md3", MakePart(nan));
    cell.number = 0;
    LoadObject(folder.File("nan.md3").c_str(), ++n);
    EXPECT_EQ(cell.number, kObjectNotLoaded);
    EXPECT_FALSE(ObjectExists(n));
}

TEST_F(ObjectScene, OpenArenaPlayersConvertAndAnimate) {
    const std::string players = OpenArenaFolder() + "\\models\\players\\";
    if (FindModelFiles(players + "sarge", ".md3").empty())
        GTEST_SKIP() << "openarena-data's pak0.pk3 was not unzipped for the tests";
    TempFolder folder;
    for (const char* name : {"sarge", "sorceress"}) {
        std::uint8_t* block = nullptr;
        std::uint32_t size = 0;
        ASSERT_TRUE(ConvMD3::Convert((players + name + ".md3").c_str(), &block, &size)) << name;
        EXPECT_EQ(Chain(ConvMD3::LoadedObject()).size(), name[1] == 'a' ? 4u : 5u) << name;
        EXPECT_TRUE(SavedBlockReadsBackSame(block, size, folder.Path())) << name;
        ConvMD3::Free(block);
    }
    // The model is its folder: each part read adds its size to the load. (The object loader
    // alone: the command's texture loads are loads of their own.)
    ObjectRecord* loaded = nullptr;
    ASSERT_TRUE(LoadObjectFile((players + "sarge.md3").c_str(), &loaded));
    delete loaded;
    std::uint64_t partBytes = 0;
    for (const char* part : {"lower", "upper", "head"})
        partBytes += TempFolder::Read(players + "sarge\\" + part + ".md3").size();
    EXPECT_EQ(LastLoadLimit(), LoadBudgetFor(partBytes));
    EXPECT_GT(LastLoadCharged(), partBytes);
    EXPECT_LE(LastLoadCharged(), LastLoadLimit());
    LoadObject((players + "sarge.md3").c_str(), 1);
    ASSERT_TRUE(ObjectExists(1)) << cell.number;
    ObjectRecord* o = g_Object3D.objects[1];
    ASSERT_EQ(o->frameCount, 4); // legs, torso, head and the empty end
    EXPECT_STREQ(o->frames[1]->mesh->textures[0].fileName,
                 (players + "sarge/grismlambert2SG").c_str());
    MeshRecord* legs = o->frames[0]->mesh;
    EXPECT_EQ(legs->keyFrameCount, 213);
    const std::string still(reinterpret_cast<const char*>(legs->vertices),
                            legs->vertexCount * legs->vertexSize);
    o->animating = 1;
    o->currentFrame = 40.5f;
    UpdateObjectAnimationFrame(o);
    EXPECT_EQ(legs->currentKeyFrame, 40);
    EXPECT_NE(std::string(reinterpret_cast<const char*>(legs->vertices), still.size()), still);
}
