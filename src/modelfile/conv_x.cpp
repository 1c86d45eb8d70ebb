#include "core/win32.h"

#include "core/load_budget.h"
#include "core/media.h"
#include "display/display.h"
#include "modelfile/conv_x_internal.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace ConvX {

State g_State;

namespace {

constexpr char kNoName[] = "$NoName$";
// Frames within frames, and references followed, deeper than this end the read: a file whose
// references lead back to an object being read would otherwise never end.
constexpr int kDeepestObject = kDeepestNesting;

bool SameGuid(const GUID* a, const GUID& b) {
    return a && std::memcmp(a, &b, sizeof b) == 0;
}

void CopyName(char* to, const std::string& name) {
    std::strncpy(to, name.c_str(), kRecordNameLength - 1);
    to[kRecordNameLength - 1] = 0;
}

AnimationSetRecord* CreateAnimationSet(ObjectRecord* object, const std::string& name) {
    RequireLoad(sizeof(AnimationSetRecord));
    auto* set = new (std::nothrow) AnimationSetRecord;
    if (!set) return nullptr;
    CopyName(set->name, name);
    set->next = object->animationSet;
    object->animationSet = set;
    return set;
}

AnimationRecord* CreateAnimation(AnimationSetRecord* set, const std::string& name) {
    RequireLoad(sizeof(AnimationRecord));
    auto* animation = new (std::nothrow) AnimationRecord;
    if (!animation) return nullptr;
    CopyName(animation->name, name);
    animation->next = set->animation;
    set->animation = animation;
    return animation;
}

void ReadAnimationOptions(IDirectXFileData* data, AnimationRecord* animation) {
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    std::uint32_t openClosed = 0, quality = 0;
    if (r.Dword(&openClosed) && r.Dword(&quality)) animation->linear = quality == 1 ? 1 : 0;
}

struct Context {
    FrameRecord* frame;
    AnimationSetRecord* set;
    AnimationRecord* animation;
    int depth;
};

bool ReadDataObject(IDirectXFileData* data, const Context& at);

// The children of a data object: inline objects, and references resolved; binary objects skipped.
bool ReadChildren(IDirectXFileData* data, const Context& at) {
    for (;;) {
        Held<IDirectXFileObject> child;
        if (FAILED(data->GetNextObject(child.out())) || !child.get()) return true;
        Held<IDirectXFileData> inline_;
        Held<IDirectXFileDataReference> reference;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData,
                                            reinterpret_cast<void**>(inline_.out())))) {
            if (!ReadDataObject(inline_.get(), at)) return false;
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference,
                                                   reinterpret_cast<void**>(reference.out())))) {
            Held<IDirectXFileData> resolved;
            if (SUCCEEDED(reference->Resolve(resolved.out())) && resolved.get() &&
                !ReadDataObject(resolved.get(), at))
                return false;
        }
    }
}

// Frames and meshes outside animation sets build the tree; animation sets build the animation.
// (One walk does what reading the file once for each would do: objects inside an animation set
// never make frames or meshes, and nothing outside one makes animation.)
bool ReadDataObject(IDirectXFileData* data, const Context& at) {
    if (!data || !at.frame || at.depth > kDeepestObject) return false;
    RequireLoad(kObjectVisit);
    const GUID* type = nullptr;
    if (FAILED(data->GetType(&type)) || !type) return false;
    const std::string name = GetDataObjectName(data);
    Context inner = at;
    ++inner.depth;
    const bool animating = at.set != nullptr;
    if (SameGuid(type, kAnimationSet)) {
        inner.set = CreateAnimationSet(g_State.object, name);
        inner.animation = nullptr;
        if (!inner.set) return false;
    } else if (SameGuid(type, kAnimation)) {
        if (!animating) return true;
        inner.animation = CreateAnimation(at.set, name);
        if (!inner.animation) return false;
    } else if (SameGuid(type, kAnimationKey)) {
        return !animating || !at.animation || ReadAnimationKey(data, at.set, at.animation);
    } else if (SameGuid(type, kAnimationOptions)) {
        if (at.animation) ReadAnimationOptions(data, at.animation);
        return true;
    } else if (SameGuid(type, kFrame)) {
        if (at.animation) {
            // The frame an animation names is the frame it drives.
            CopyName(at.animation->name, name);
            return true;
        }
        if (!animating) {
            inner.frame = CreateChildFrame(at.frame, name);
            if (!inner.frame) return false;
        }
    } else if (SameGuid(type, kFrameTransformMatrix)) {
        const std::uint8_t* bytes = nullptr;
        DWORD size = 0;
        if (!animating && GetObjectData(data, &bytes, &size) && size >= 64)
            std::memcpy(&at.frame->initialMatrix, bytes, 64);
        return true;
    } else if (SameGuid(type, kMesh)) {
        if (animating) return true;
        FrameRecord* frame = at.frame;
        if (frame->mesh) frame = CreateChildFrame(at.frame, name);
        return frame && ReadMesh(data, frame);
    }
    return ReadChildren(data, inner);
}

bool Refused(HRESULT error) {
    g_State.fileError = error;
    return false;
}

bool ReadXFile(const std::vector<std::uint8_t>& image) {
    Held<IDirectXFile> file;
    HRESULT hr = DirectXFileCreate(file.out());
    if (FAILED(hr) || !file.get()) return Refused(hr);
    const char* templates = TemplateText();
    hr = file->RegisterTemplates(const_cast<char*>(templates),
                                 static_cast<DWORD>(std::strlen(templates)));
    if (FAILED(hr)) return Refused(hr);
    Held<IDirectXFileEnumObject> objects;
    // The parser reads the very bytes the engine's own walk has read.
    DXFILELOADMEMORY memory{const_cast<std::uint8_t*>(image.data()),
                            static_cast<DWORD>(image.size())};
    hr = file->CreateEnumObject(&memory, DXFILELOAD_FROMMEMORY, objects.out());
    if (FAILED(hr) || !objects.get()) return Refused(hr);
    const Context top{g_State.object->rootFrame, nullptr, nullptr, 0};
    for (;;) {
        Held<IDirectXFileData> data;
        const HRESULT next = objects->GetNextDataObject(data.out());
        if (next == DXFILEERR_NOMOREOBJECTS) return true;
        // Anything else the parser reports is a file it could not read.
        if (FAILED(next) || !data.get()) return Refused(next);
        if (!ReadDataObject(data.get(), top)) return false;
    }
}

} // namespace

bool DataReader::Read(void* to, std::uint32_t bytes) {
    if (bytes > Left()) return false;
    std::memcpy(to, at_, bytes);
    at_ += bytes;
    return true;
}

bool DataReader::String(std::string* value) {
    const char* text = nullptr;
    if (!Read(&text, sizeof text)) return false;
    value->clear();
    if (text) value->assign(text, strnlen(text, kRecordNameLength - 1));
    return true;
}

void ResetMeshData() {
    State& s = g_State;
    s.vertices.clear();
    s.triangles.clear();
    s.triangleFace.clear();
    s.normals.clear();
    s.normalTriangles.clear();
    s.extraSets = 0;
    s.colours.clear();
    s.faceMaterials.clear();
    s.hasFaceMaterials = false;
    s.materialCountWord = 0;
    s.skinMaxPerVertex = s.skinMaxPerFace = s.skinBones = 0;
    s.materials.clear();
    s.skins.clear();
}

void Cleanup() {
    delete std::exchange(g_State.object, nullptr);
    ResetMeshData();
    // Working arrays give their memory back too, not only their contents.
    g_State.vertices.shrink_to_fit();
    g_State.triangles.shrink_to_fit();
    g_State.triangleFace.shrink_to_fit();
}

std::string GetDataObjectName(IDirectXFileData* data) {
    DWORD length = 0;
    if (!data || FAILED(data->GetName(nullptr, &length)) || length <= 1) return kNoName;
    std::string name(length, '\0');
    if (FAILED(data->GetName(name.data(), &length)) || name[0] == 0) return kNoName;
    // Names are cut to what a record holds.
    return name.substr(0, strnlen(name.c_str(), kRecordNameLength - 1));
}

bool GetObjectData(IDirectXFileData* data, const std::uint8_t** bytes, DWORD* size) {
    void* raw = nullptr;
    *size = 0;
    if (FAILED(data->GetData(nullptr, size, &raw)) || !raw) return false;
    *bytes = static_cast<const std::uint8_t*>(raw);
    return true;
}

FrameRecord* CreateChildFrame(FrameRecord* parent, const std::string& name) {
    // The frame and its entry in the object's frame list.
    RequireLoad(sizeof(FrameRecord) + sizeof(FrameRecord*));
    auto* frame = new (std::nothrow) FrameRecord;
    if (!frame) return nullptr;
    CopyName(frame->name, name);
    frame->parent = parent;
    frame->sibling = parent->child;
    parent->child = frame;
    return frame;
}

namespace {

bool ReadObject(const char* fileName) {
    State& s = g_State;
    RequireLoad(sizeof(ObjectRecord) + sizeof(FrameRecord));
    s.object = new (std::nothrow) ObjectRecord;
    if (!s.object) return false;
    s.object->rootFrame = new (std::nothrow) FrameRecord;
    std::vector<std::uint8_t> image;
    const XScan verdict = ReadXImage(fileName, image);
    // What the walk refuses, the parser would have refused or ended the process on.
    if (verdict == XScan::kUnread) return false;
    if (verdict != XScan::kReadable) return Refused(DXFILEERR_PARSEERROR);
    // The platform's parser holds the file it is given and what it parses out of it.
    RequireLoad(2 * image.size());
    if (!s.object->rootFrame || !ReadXFile(image)) return false;
    SetupObjectLists(s.object);
    ProcessMeshes(s.object);
    s.normals.clear();
    return s.object->frames && s.object->meshes;
}

} // namespace

bool LoadObject(const char* fileName) {
    State& s = g_State;
    Cleanup();
    s.fileError = S_OK;
    s.device = GetDirect3DDevice();
    if (!fileName || !s.device) return false;
    // A budget of its own when no load runs (a caller other than the object loader), and a
    // refusal, never an exception, for a file that runs past it or past memory.
    LoadScope load(MediaFileSize(fileName));
    if (load.Guard([&] { return ReadObject(fileName); })) return true;
    Cleanup();
    return false;
}

bool ConvertFile(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    if (!block || !size) return false;
    *block = nullptr;
    *size = 0;
    FreeObjectBlock(std::exchange(g_State.block, nullptr));
    if (LoadObject(fileName) && WriteObjectToBlock(g_State.object, block, size)) {
        g_State.block = *block;
        return true;
    }
    Cleanup();
    return false;
}

bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    return ConvertFile(fileName, block, size);
}

HRESULT LastFileError() {
    return g_State.fileError;
}

void Free(std::uint8_t* block) {
    if (block && block == g_State.block) g_State.block = nullptr;
    FreeObjectBlock(block);
    Cleanup();
}

} // namespace ConvX
