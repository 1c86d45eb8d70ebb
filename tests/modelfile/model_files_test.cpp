#include "core/win32.h"

#include "block_fixtures.h"
#include "core/core.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "object3d/object_world.h"
#include "support/error_cell.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

namespace {

using ObjectPtr = std::unique_ptr<ObjectRecord>;

std::string ConverterFor(const char* extension) {
    const ModelConverter* converter = FindModelConverter(extension);
    return converter ? converter->name : "none";
}

bool FolderHoldsOnly(const std::string& folder, int files) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    int count = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, "..")) ++count;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return count == files;
}

} // namespace

TEST(ModelFiles, ExtensionsChooseTheirConverter) {
    EXPECT_EQ(ConverterFor("X"), "X");
    EXPECT_EQ(ConverterFor("xyz"), "X");
    EXPECT_EQ(ConverterFor("MD2"), "MD2");
    EXPECT_EQ(ConverterFor("md3"), "MD3");
    EXPECT_EQ(ConverterFor("3Ds"), "3DS");
    EXPECT_EQ(ConverterFor("mdl"), "MDL");
    EXPECT_EQ(ConverterFor("md4"), "none");
    EXPECT_EQ(ConverterFor(""), "none");

    ErrorCellScope errors;
    TempFolder folder;
    ObjectRecord* object = nullptr;
    const std::string md4 = folder.Write("model.md4", "data");
    EXPECT_FALSE(LoadObjectFile(md4.c_str(), &object));
    EXPECT_EQ(errors.Last(), 7018);
    // An MD3 model is named by its folder and reaches its converter unseen; an MD2 must exist.
    errors.Clear();
    EXPECT_FALSE(LoadObjectFile((folder.Path() + "\\model\\a.MD3").c_str(), &object));
    EXPECT_EQ(errors.Last(), 7018);
    EXPECT_FALSE(LoadObjectFile((folder.Path() + "\\model\\a.md2").c_str(), &object));
    EXPECT_EQ(errors.Last(), 105);
    EXPECT_EQ(object, nullptr);
}

TEST(ModelFiles, NativeFilesLoadInAnyCaseAndSaveOnlyOnce) {
    ErrorCellScope errors;
    TempFolder folder;
    ObjectPtr rich(RichObject());
    const std::string block = BlockOf(rich.get());
    for (const char* name : {"model.tlo", "model2.TLO", "model3.Tlo"}) {
        const std::string path = folder.Write(name, block);
        ObjectRecord* read = nullptr;
        ASSERT_TRUE(LoadObjectFile(path.c_str(), &read)) << name;
        EXPECT_TRUE(BlockOf(read) == block);
        delete read;
    }

    // The saved file holds the unanimated pose; saving over a file leaves it as it was.
    MeshRecord* mesh = rich->rootFrame->mesh;
    mesh->backupVertices = new std::uint8_t[128];
    std::memcpy(mesh->backupVertices, mesh->vertices, 128);
    mesh->vertices[0] ^= 0x55; // an animated pose
    ASSERT_TRUE(BuildFrameAndMeshLists(rich.get()));
    const std::string saved = folder.File("saved.tlo");
    ASSERT_TRUE(SaveObjectFile(saved.c_str(), rich.get()));
    EXPECT_TRUE(TempFolder::Read(saved) == block);
    const std::string other = folder.Write("other.tlo", "keep me");
    errors.Clear();
    EXPECT_FALSE(SaveObjectFile(other.c_str(), rich.get()));
    EXPECT_EQ(errors.Last(), 106);
    EXPECT_EQ(TempFolder::Read(other), "keep me");

    // A save that cannot be written fails and leaves nothing behind.
    errors.Clear();
    EXPECT_FALSE(SaveObjectFile(folder.File("missing\\a.tlo").c_str(), rich.get()));
    CreateDirectoryA(folder.File("box").c_str(), nullptr);
    EXPECT_FALSE(SaveObjectFile(folder.File("box").c_str(), rich.get()));
    EXPECT_TRUE(FolderHoldsOnly(folder.Path(), 6));
    EXPECT_TRUE(FolderHoldsOnly(folder.File("box"), 0));
}

TEST(ModelFiles, NativeFilesWhoseLayoutLeavesTheVertexAreNotLoaded) {
    ErrorCellScope errors;
    TempFolder folder;
    ObjectPtr object(RichObject());
    object->rootFrame->child->mesh->declaration[1].Stream = 1; // its texture coordinates
    const std::string path = folder.Write("stream.tlo", BlockOf(object.get()));
    ObjectRecord* read = nullptr;
    EXPECT_FALSE(LoadObjectFile(path.c_str(), &read));
    EXPECT_EQ(errors.Last(), 7018);
    EXPECT_EQ(read, nullptr);
}

TEST(ModelFiles, NativeFilesHoldingValuesThatAreNotNumbersAreNotLoaded) {
    ErrorCellScope errors;
    TempFolder folder;
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInfinite = std::numeric_limits<float>::infinity();
    const auto word = [](MeshRecord* mesh, int vertex, int at) -> float& {
        return reinterpret_cast<float*>(mesh->vertices + mesh->vertexSize * vertex)[at];
    };
    // Each spoils one float a file brings in; the last vertex or key of each list, so that a walk
    // stopping one short lets it through.
    const std::pair<const char*, std::function<void(ObjectRecord*)>> spoils[] = {
        {"frame matrix", [](ObjectRecord* o) { o->rootFrame->initialMatrix._42 = kNaN; }},
        {"position", [&](ObjectRecord* o) { word(o->rootFrame->mesh, 3, 2) = 1e30f; }},
        {"normal", [&](ObjectRecord* o) { word(o->rootFrame->mesh, 3, 5) = kInfinite; }},
        {"declared position",
         [&](ObjectRecord* o) { word(o->rootFrame->child->mesh, 2, 1) = -1e19f; }},
        {"key-frame mesh",
         [&](ObjectRecord* o) { word(o->rootFrame->mesh->keyFrames[1].mesh, 3, 0) = kNaN; }},
        {"bone offset",
         [](ObjectRecord* o) { o->rootFrame->mesh->bones[1].offsetMatrix._33 = kNaN; }},
        {"bone weight", [](ObjectRecord* o) { o->rootFrame->mesh->bones[0].weights[1] = kNaN; }},
        {"position key",
         [](ObjectRecord* o) { o->animationSet->animation->positionKeys[1].value.z = 1e30f; }},
        {"rotation key",
         [](ObjectRecord* o) { o->animationSet->animation->rotationKeys[0].value.w = kNaN; }},
        {"scale key",
         [](ObjectRecord* o) { o->animationSet->animation->scaleKeys[0].value.z = kInfinite; }},
        {"position change",
         [](ObjectRecord* o) { o->animationSet->animation->positionKeys[0].delta.y = kNaN; }},
        {"matrix key",
         [](ObjectRecord* o) { o->animationSet->animation->matrixKeys[1].value._44 = kNaN; }},
        {"matrix change",
         [](ObjectRecord* o) { o->animationSet->animation->matrixKeys[0].delta._11 = 1e19f; }},
        {"baked matrix",
         [](ObjectRecord* o) {
             AnimationRecord* arm = o->animationSet->animation->next;
             arm->bakedFrames[arm->bakedFrameCount - 1][arm->bakedMatricesPerFrame - 1]._43 = 1e19f;
         }},
        // The last frame of the tree (the root's sibling), the last mesh (the arm's), the last
        // range: each would reach a frame's matrix or the device's lighting.
        {"frame offset", [](ObjectRecord* o) { o->rootFrame->sibling->offset.z = kNaN; }},
        {"frame rotation", [](ObjectRecord* o) { o->rootFrame->sibling->rotation.x = kNaN; }},
        {"frame scale", [](ObjectRecord* o) { o->rootFrame->sibling->scale.y = kInfinite; }},
        {"material", [](ObjectRecord* o) { o->rootFrame->child->mesh->material.Power = kNaN; }},
        {"range material",
         [](ObjectRecord* o) {
             MeshRecord* mesh = o->rootFrame->mesh;
             mesh->multiMaterials[mesh->multiMaterialCount - 1].material.Emissive.a = -1e19f;
         }},
        // A colour operation reaches the device's own tables, the last slot's as the first's.
        {"colour operation past the last",
         [](ObjectRecord* o) {
             o->rootFrame->mesh->textures[1].colourOperation = D3DTOP_LERP + 1;
         }},
        {"colour operation 0",
         [](ObjectRecord* o) { o->rootFrame->mesh->textures[1].colourOperation = 0; }},
    };
    // The last key's change towards a next key is never used, and a writer may leave anything
    // there: it does not refuse a file.
    const auto unspoiled = [] {
        ObjectRecord* object = RichObject();
        object->animationSet->animation->positionKeys[1].delta.x = kNaN;
        object->animationSet->animation->matrixKeys[1].delta._12 = kNaN;
        return object;
    };
    ObjectRecord* read = nullptr;
    ObjectPtr plain(unspoiled());
    ASSERT_TRUE(LoadObjectFile(folder.Write("plain.tlo", BlockOf(plain.get())).c_str(), &read));
    delete std::exchange(read, nullptr);
    for (const auto& [what, spoil] : spoils) {
        ObjectPtr object(unspoiled());
        spoil(object.get());
        const std::string path = folder.Write("spoiled.tlo", BlockOf(object.get()));
        errors.Clear();
        EXPECT_FALSE(LoadObjectFile(path.c_str(), &read)) << what;
        EXPECT_EQ(errors.Last(), 7018) << what;
        EXPECT_EQ(read, nullptr) << what;
        delete read;
    }

    // The last operation the device has loads.
    ObjectPtr lerp(unspoiled());
    lerp->rootFrame->mesh->textures[1].colourOperation = D3DTOP_LERP;
    EXPECT_TRUE(LoadObjectFile(folder.Write("lerp.tlo", BlockOf(lerp.get())).c_str(), &read));
    delete std::exchange(read, nullptr);

    // The bound itself: a position or a key of 1e17 loads, one of 1e19 does not.
    for (const float value : {1e17f, -1e17f, 1e19f, -1e19f}) {
        for (const bool key : {false, true}) {
            ObjectPtr object(unspoiled());
            if (key)
                object->animationSet->animation->positionKeys[1].value.y = value;
            else
                word(object->rootFrame->mesh, 3, 1) = value;
            errors.Clear();
            const bool loaded =
                LoadObjectFile(folder.Write("bound.tlo", BlockOf(object.get())).c_str(), &read);
            EXPECT_EQ(loaded, std::fabs(value) < 1e18f) << value << (key ? " key" : " position");
            EXPECT_EQ(errors.Last(), loaded ? 0 : 7018) << value;
            delete std::exchange(read, nullptr);
        }
    }

    // Words past the format are padding, not positions: the file loads, and its bounds come from
    // the positions alone.
    ObjectPtr padded(RichObject());
    MeshRecord* leg = padded->rootFrame->sibling->mesh = new MeshRecord;
    leg->fvf = leg->savedFVF = D3DFVF_XYZ | D3DFVF_NORMAL;
    leg->vertexSize = 32;
    leg->vertexCount = 2;
    leg->vertices = new std::uint8_t[64];
    const float words[16] = {-1, 2, 3, 0, 1, 0, 1e30f, kNaN, 4, -5, 6, 0, 1, 0, -1e30f, kNaN};
    std::memcpy(leg->vertices, words, sizeof words);
    const std::string path = folder.Write("padded.tlo", BlockOf(padded.get()));
    ASSERT_TRUE(LoadObjectFile(path.c_str(), &read));
    ObjectPtr loaded(read);
    D3DXVECTOR3 low(1e9f, 1e9f, 1e9f), high = -low, centre(0, 0, 0);
    float radius = 0;
    MeshRecord* mesh = loaded->rootFrame->sibling->mesh;
    ASSERT_TRUE(GetVertexBounds(0, mesh, &kIdentityMatrix, &low, &high, &centre, &radius));
    EXPECT_EQ(low, D3DXVECTOR3(-1, -5, 3));
    EXPECT_EQ(high, D3DXVECTOR3(4, 2, 6));

    // A declaration that puts the position after the texture coordinates is read there.
    MeshRecord* arm = loaded->rootFrame->child->mesh;
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 8, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        D3DDECL_END()};
    std::memcpy(arm->declaration, elements, sizeof elements);
    float* v = reinterpret_cast<float*>(arm->vertices);
    for (int i = 0; i < arm->vertexCount; ++i) {
        v[5 * i] = 1e30f; // texture coordinates that would be a position at word 0
        v[5 * i + 2] = static_cast<float>(i), v[5 * i + 3] = 0, v[5 * i + 4] = -2.0f * i;
    }
    low = D3DXVECTOR3(1e9f, 1e9f, 1e9f), high = -low;
    ASSERT_TRUE(GetVertexBounds(0, arm, &kIdentityMatrix, &low, &high, &centre, &radius));
    EXPECT_EQ(low, D3DXVECTOR3(0, 0, -2.0f * (arm->vertexCount - 1)));
    EXPECT_EQ(high, D3DXVECTOR3(arm->vertexCount - 1.0f, 0, 0));
}

TEST(ModelFiles, CopiesCustomDataAndTheTemporaryFolder) {
    ObjectPtr rich(RichObject());
    ObjectRecord* copy = nullptr;
    ASSERT_TRUE(CopyObjectViaBlock(&copy, rich.get()));
    EXPECT_TRUE(BlockOf(copy) == BlockOf(rich.get()));
    std::uint8_t* data = AllocateObjectCustomData(copy, 8);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(copy->customBufferB, data);
    EXPECT_EQ(copy->customSize, 8u);
    EXPECT_EQ(data[7], 0);
    delete copy;

    char kept[kCorePathLength];
    std::memcpy(kept, g_CoreData->mediaFolder, sizeof kept);
    std::strcpy(g_CoreData->mediaFolder, "C:\\work");
    GetObjectTempDataFolder();
    EXPECT_STREQ(ObjectTempDataFolder, "C:\\work\\");
    std::strcpy(g_CoreData->mediaFolder, "C:\\work\\");
    GetObjectTempDataFolder();
    EXPECT_STREQ(ObjectTempDataFolder, "C:\\work\\");
    g_CoreData->mediaFolder[0] = 0;
    GetObjectTempDataFolder();
    std::memcpy(g_CoreData->mediaFolder, kept, sizeof kept);
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    const std::string folder = ObjectTempDataFolder;
    EXPECT_EQ(folder.rfind(temporary, 0), 0u) << folder;
    EXPECT_EQ(folder.substr(folder.size() - 9), "\\tuldata\\");
    EXPECT_NE(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}
