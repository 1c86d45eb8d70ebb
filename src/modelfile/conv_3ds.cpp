#include "core/win32.h"

#include "core/load_budget.h"
#include "display/display.h"
#include "modelfile/conv_3ds_internal.h"
#include "modelfile/converters.h"
#include "modelfile/object_block.h"
#include "object3d/model_files.h"
#include "object3d/object_records.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>

namespace Conv3DS {

namespace {

// One conversion at a time: its object and block live until Free or the next conversion.
struct State {
    IDirect3DDevice9* device = nullptr;
    CoreData* core = nullptr;
    std::uint8_t* block = nullptr;  // the last block handed out, owned
    ObjectRecord* object = nullptr; // loaded from the temporary file, owned
    TraceSink sink = WriteToStandardOutput;
};

State g_State;

constexpr char kTempName[] = "tlotemp.x";

void ReleaseConversion() {
    FreeObjectBlock(std::exchange(g_State.block, nullptr));
    delete std::exchange(g_State.object, nullptr);
}

// Both passes over the file: the keyframer's hierarchy and pivots first, then the text.
void RunPasses(Conversion& c, const std::uint8_t* bytes, std::size_t size) {
    c.matrixStack.assign(kTableSize, kIdentityMatrix);
    c.pass = Pass::collect;
    c.objectCounter = 0;
    ReadMainChunk(c, bytes, size);

    c.x = XTextBuffer{};
    WriteXHeader(c.x);
    c.nodes.clear();
    c.objectCounter = -1;
    c.openDepth = 0;
    c.parentWorld = c.currentWorld = kIdentityMatrix;
    c.pass = Pass::write;
    ReadMainChunk(c, bytes, size);
    KeepAnimatedFrames(c);
    WriteXAnimationSet(c.x, c.nodes);
}

bool WriteTextFile(const char* destination, const std::string& text) {
    DeleteFileA(destination);
    // What the temporary folder is given is charged before it is written.
    if (!ChargeLoad(text.size())) return false;
    HANDLE file = CreateFileA(destination, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    return ok;
}

// The size of the named file; 0 when it cannot be found (its read fails then).
std::uint64_t SourceBytes(const char* fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(fileName, GetFileExInfoStandard, &data)) return 0;
    return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

} // namespace

void WriteToStandardOutput(const char* line) {
    std::fputs(line, stdout);
}

void SetTraceSink(TraceSink sink) {
    g_State.sink = sink;
}

void Trace(const char* format, ...) {
    if (!g_State.sink) return;
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    g_State.sink(line);
}

bool Build3DSXText(const std::uint8_t* bytes, std::size_t size, std::string& text) {
    text.clear();
    try {
        // The tables are large: on the heap, not the stack.
        RequireLoad(sizeof(Conversion) +
                    std::uint64_t{kTableSize} * (sizeof(std::int16_t) + sizeof(D3DXVECTOR3) +
                                                 sizeof(std::int32_t) + sizeof(D3DXMATRIX)));
        auto c = std::make_unique<Conversion>();
        RunPasses(*c, bytes, size);
        if (c->x.overflow) return false;
        text = std::move(c->x.text);
        return true;
    } catch (const std::exception&) {
        // Out of memory on a file whose text cannot be held.
        return false;
    }
}

int Write3DSAsXFile(const char* source, const char* destination) {
    TLOBlock file;
    if (!source) return -4;
    // The source whole in memory, charged before it is read.
    if (!ChargeLoad(SourceBytes(source))) {
        DeleteFileA(destination);
        return 0;
    }
    if (!ReadWholeFile(source, file.Out(), file.OutSize())) return -4;
    std::string text;
    if (!Build3DSXText(file.Data(), file.Size(), text)) {
        // No text: no file, and the load that follows fails.
        DeleteFileA(destination);
        return 0;
    }
    // A file that cannot be written is passed over: its load fails.
    if (!WriteTextFile(destination, text)) DeleteFileA(destination);
    return 0;
}

bool ConvertViaTempX(const char* fileName) {
    delete std::exchange(g_State.object, nullptr);
    GetObjectTempDataFolder();
    const std::string path = std::string(ObjectTempDataFolder) + kTempName;
    if (Write3DSAsXFile(fileName, path.c_str()) != 0) return false;
    // Past the budget no text is written, and there is nothing to load.
    if (LoadOverBudget()) {
        DeleteFileA(path.c_str());
        return false;
    }
    ObjectRecord* loaded = nullptr;
    const bool ok = LoadObjectFile(path.c_str(), &loaded, ObjectFileUse::kReadFrom);
    DeleteFileA(path.c_str());
    g_State.object = loaded;
    return ok && loaded;
}

bool ConvertFile(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    if (!block || !size) return false;
    *block = nullptr;
    *size = 0;
    ReleaseConversion();
    g_State.device = GetDirect3DDevice();
    if (ConvertViaTempX(fileName) && WriteObjectToBlock(g_State.object, block, size)) {
        g_State.block = *block;
        return true;
    }
    ReleaseConversion();
    return false;
}

void PassCoreData(CoreData* core) {
    g_State.core = core;
}

bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    return ConvertFile(fileName, block, size);
}

void Free(std::uint8_t* block) {
    if (block && block == g_State.block) g_State.block = nullptr;
    FreeObjectBlock(block);
    delete std::exchange(g_State.object, nullptr);
}

ObjectRecord* LoadedObject() {
    return g_State.object;
}

} // namespace Conv3DS
