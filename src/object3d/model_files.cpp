#include "core/win32.h"

#include "object3d/model_files.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_lists.h"
#include "object3d/object_manager.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/object_values.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

char ObjectTempDataFolder[kTempFolderLength] = {};

namespace {

std::string WithBackslash(std::string folder) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

void SetTempFolder(const std::string& folder) {
    std::strncpy(ObjectTempDataFolder, folder.c_str(), kTempFolderLength - 1);
    ObjectTempDataFolder[kTempFolderLength - 1] = 0;
}

// The text after the name's last dot; empty without one.
const char* ExtensionOf(const char* fileName) {
    const char* dot = std::strrchr(fileName, '.');
    return dot ? dot + 1 : "";
}

} // namespace

void GetObjectTempDataFolder() {
    if (g_CoreData && g_CoreData->mediaFolder[0]) {
        SetTempFolder(WithBackslash(std::string(
            g_CoreData->mediaFolder, strnlen(g_CoreData->mediaFolder, kCorePathLength))));
        return;
    }
    char working[MAX_PATH] = {}, temporary[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, working);
    GetTempPathA(MAX_PATH, temporary);
    std::string base = WithBackslash(temporary);
    // A temporary folder that is the working folder would fill the program's own folder.
    if (_stricmp(base.c_str(), WithBackslash(working).c_str()) == 0) {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        base = WithBackslash(windows) + "temp\\";
        CreateDirectoryA(base.c_str(), nullptr);
    }
    const std::string folder = base + "tuldata";
    CreateDirectoryA(folder.c_str(), nullptr); // an existing folder stays as it is
    SetTempFolder(folder + "\\");
}

bool ObjectFileExists(const char* fileName) {
    if (!fileName) return false;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool ConvertModelFile(const char* fileName, const char* extension, std::uint8_t** block,
                      std::uint32_t* size) {
    if (!block || !size) return false;
    *block = nullptr;
    *size = 0;
    const ModelConverter* converter = FindModelConverter(extension);
    if (!converter || !fileName) return false;
    if (converter->passCoreData) converter->passCoreData(g_CoreData);
    std::uint8_t* converted = nullptr;
    std::uint32_t convertedSize = 0;
    bool ok = converter->convert(fileName, &converted, &convertedSize) && converted &&
              ChargeLoad(convertedSize);
    if (ok) {
        // The converter keeps its block until its free; the caller gets a copy of its own.
        *block = new (std::nothrow) std::uint8_t[convertedSize > 0 ? convertedSize : 1];
        ok = *block != nullptr;
        if (ok) {
            std::memcpy(*block, converted, convertedSize);
            *size = convertedSize;
        }
    }
    converter->free(converted);
    return ok;
}

// The bytes of the frames' meshes' vertices: setting a loaded object up keeps a copy of each
// mesh's pose, and that copy is part of what the load makes.
static std::uint64_t PoseCopyBytes(const FrameRecord* root) {
    std::uint64_t bytes = 0;
    std::vector<const FrameRecord*> pending{root};
    while (!pending.empty()) {
        const FrameRecord* frame = pending.back();
        pending.pop_back();
        if (!frame) continue;
        if (frame->mesh && frame->mesh->vertexCount > 0)
            bytes += std::uint64_t{frame->mesh->vertexSize} * frame->mesh->vertexCount;
        pending.push_back(frame->child);
        pending.push_back(frame->sibling);
    }
    return bytes;
}

// The device buffers, draws and fill of the object's first frame (see FirstFrameBytes), charged
// with the frames placed as they will be drawn and the meshes as new objects' are placed.
static bool ChargeFirstFrame(ObjectRecord* object) {
    return (!object->rootFrame || SetupObjectLists(object)) &&
           ChargeLoad(FirstFrameBytes(object, g_Object3D.newObjectOwnBuffers != 0));
}

bool LoadObjectFile(const char* fileName, ObjectRecord** object, ObjectFileUse use) {
    if (!object) return false;
    *object = nullptr;
    if (!fileName) {
        RaiseRuntimeError(kFileMissing);
        return false;
    }
    const char* extension = ExtensionOf(fileName);
    // An MD3 model is named by its folder: no file of that name need exist.
    if (_stricmp(extension, "MD3") != 0 && !ObjectFileExists(fileName)) {
        RaiseRuntimeError(kFileMissing);
        return false;
    }
    // An MD3 model is named by its folder, size 0: its parts add themselves as they are read.
    LoadScope load(MediaFileSize(fileName));
    TLOBlock block;
    const bool native = _stricmp(extension, "TLO") == 0;
    const bool loaded = load.Guard([&] {
        const bool read = native
                              ? ReadWholeFile(fileName, block.Out(), block.OutSize())
                              : ConvertModelFile(fileName, extension, block.Out(), block.OutSize());
        return read && ReadObjectFromBlock(block.Data(), block.Size(), object) &&
               ObjectValuesInRange(*object) && ChargeLoad(PoseCopyBytes((*object)->rootFrame)) &&
               (use == ObjectFileUse::kReadFrom || ChargeFirstFrame(*object));
    });
    if (!loaded || LoadOverBudget()) {
        delete std::exchange(*object, nullptr);
        RaiseRuntimeError(kObjectNotLoaded);
        return false;
    }
    return true;
}

bool WriteObjectFile(ReplacingFile& file, ObjectRecord* object) {
    if (!object) return false;
    RestoreAllMeshVertices(object);
    TLOBlock block;
    return WriteObjectToBlock(object, block.Out(), block.OutSize()) &&
           file.WriteAll(block.Data(), block.Size());
}

bool SaveObjectFile(const char* fileName, ObjectRecord* object) {
    if (!fileName || !object) return false;
    if (ObjectFileExists(fileName)) {
        RaiseRuntimeError(kFileExists);
        return false;
    }
    ReplacingFile file(fileName);
    // A file that appeared under the name since the check is another writer's: it stays.
    if (WriteObjectFile(file, object) && file.Commit(false, /*replaceExisting=*/false)) return true;
    RaiseRuntimeError(kFileWriteFailed);
    return false;
}

bool CopyObjectViaBlock(ObjectRecord** newObject, const ObjectRecord* source) {
    if (!newObject) return false;
    *newObject = nullptr;
    TLOBlock block;
    return WriteObjectToBlock(source, block.Out(), block.OutSize()) &&
           ReadObjectFromBlock(block.Data(), block.Size(), newObject);
}

std::uint8_t* AllocateObjectCustomData(ObjectRecord* object, std::uint32_t size) {
    if (!object) return nullptr;
    delete[] object->customBufferB;
    object->customBufferB = new (std::nothrow) std::uint8_t[size > 0 ? size : 1]();
    object->customSize = object->customBufferB ? size : 0;
    return object->customBufferB;
}
