#include "core/win32.h"

#include "block_fixtures.h"
#include "core/core.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "support/error_cell.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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
