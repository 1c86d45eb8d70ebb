// Array files: string arrays as CR LF lines, other arrays as (index, bytes) records.
#include "core/win32.h"

#include "core/core.h"
#include "core/media.h"
#include "core/runtime_arrays.h"
#include "core/runtime_arrays_internal.h"
#include "core/error_numbers.h"

#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kFirstBadType = 9;
constexpr std::int32_t kEndOfRecords = -1;

char* TextOf(void* element) {
    char* text = nullptr;
    std::memcpy(&text, element, sizeof text);
    return text;
}

void AppendWord(std::string* bytes, std::int32_t word) {
    bytes->append(reinterpret_cast<const char*>(&word), sizeof word);
}

std::string StringArrayBytes(RuntimeArray array) {
    const ArrayHeader* header = GetArrayHeader(array);
    std::string bytes;
    for (std::uint32_t i = 0; i < header->count; ++i) {
        if (const char* text = TextOf(array[i])) bytes += text;
        bytes += "\r\n";
    }
    return bytes;
}

std::string RecordArrayBytes(RuntimeArray array) {
    const ArrayHeader* header = GetArrayHeader(array);
    std::string bytes;
    AppendWord(&bytes, static_cast<std::int32_t>(header->typeCode));
    AppendWord(&bytes, static_cast<std::int32_t>(header->count));
    for (std::uint32_t i = 0; i < header->count; ++i) {
        AppendWord(&bytes, static_cast<std::int32_t>(i));
        bytes.append(static_cast<const char*>(array[i]), header->elementSize);
    }
    AppendWord(&bytes, kEndOfRecords);
    return bytes;
}

// Replaces the element's text with a fresh copy of the line, made by the core's text allocator.
void SetElementText(void* element, const char* line, std::size_t length) {
    char* text = TextOf(element);
    ResizeModuleString(g_CoreData, &text, 0);
    ResizeModuleString(g_CoreData, &text, static_cast<std::int32_t>(length + 1));
    if (text) std::memcpy(text, line, length);
    std::memcpy(element, &text, sizeof text);
}

// False when the array has no room for a text pointer, or the file no line for an array that
// has elements.
bool LoadStringArray(RuntimeArray array, const char* data, std::uint32_t size) {
    const ArrayHeader* header = GetArrayHeader(array);
    if (header->elementSize < sizeof(char*) || (size == 0 && header->count > 0)) return false;
    std::uint32_t start = 0;
    for (std::uint32_t k = 0; k < header->count && start < size; ++k) {
        std::uint32_t end = start;
        while (end < size && !(data[end] == '\r' && end + 1 < size && data[end + 1] == '\n'))
            ++end;
        SetElementText(array[k], data + start, end - start);
        start = end < size ? end + 2 : size;
    }
    return true;
}

bool ReadWord(const std::uint8_t* data, std::uint32_t size, std::uint32_t* at, std::int32_t* word) {
    if (size - *at < sizeof *word) return false;
    std::memcpy(word, data + *at, sizeof *word);
    *at += sizeof *word;
    return true;
}

// Walks the records once without writing: a file is loaded whole or not at all, so one whose
// records point outside the array or stop inside a record cannot leave it half changed.
bool RecordsAreSound(RuntimeArray array, const std::uint8_t* data, std::uint32_t size, bool apply) {
    const ArrayHeader* header = GetArrayHeader(array);
    std::uint32_t at = 8;
    std::int32_t index = 0;
    while (at < size) {
        if (!ReadWord(data, size, &at, &index)) return false;
        if (index == kEndOfRecords) return true;
        if (index < 0 || static_cast<std::uint32_t>(index) >= header->count) return false;
        if (size - at < header->elementSize) return false;
        if (apply) std::memcpy(array[index], data + at, header->elementSize);
        at += header->elementSize;
    }
    return true; // the end of the file also ends the records
}

// Loads the records of a file that is this array's (its type and count, every index inside it,
// no record cut short); false, the array untouched, for any other.
bool LoadRecordArray(RuntimeArray array, const std::uint8_t* data, std::uint32_t size) {
    const ArrayHeader* header = GetArrayHeader(array);
    std::uint32_t at = 0;
    std::int32_t type = 0, count = 0;
    if (!ReadWord(data, size, &at, &type) || !ReadWord(data, size, &at, &count)) return false;
    if (static_cast<std::uint32_t>(type) != header->typeCode ||
        static_cast<std::uint32_t>(count) != header->count ||
        !RecordsAreSound(array, data, size, false))
        return false;
    ClearArrayItems(array, 0, header->count);
    RecordsAreSound(array, data, size, true);
    return true;
}

bool TypeIsKnown(RuntimeArray array) {
    if (GetArrayHeader(array)->typeCode < kFirstBadType) return true;
    RaiseRuntimeError(kArrayTypeIllegal);
    return false;
}

} // namespace

void SaveArrayFile(const char* fileName, RuntimeArray array) {
    if (!array || !TypeIsKnown(array)) return;
    const std::string bytes = GetArrayHeader(array)->typeCode == kArrayStringType
                                  ? StringArrayBytes(array)
                                  : RecordArrayBytes(array);
    if (!fileName ||
        !CoreWriteWholeFile(fileName, bytes.data(), static_cast<std::uint32_t>(bytes.size())))
        RaiseRuntimeError(kArrayFileNotCreated);
}

void LoadArrayFile(const char* fileName, RuntimeArray* arrayVariable) {
    if (!arrayVariable || !*arrayVariable || !TypeIsKnown(*arrayVariable)) return;
    RuntimeArray array = *arrayVariable;
    std::uint32_t size = 0;
    void* data = fileName ? CoreReadWholeFile(fileName, &size) : nullptr;
    if (!data) {
        RaiseRuntimeError(kFileMissing);
        return;
    }
    const bool loaded = GetArrayHeader(array)->typeCode == kArrayStringType
                            ? LoadStringArray(array, static_cast<const char*>(data), size)
                            : LoadRecordArray(array, static_cast<const std::uint8_t*>(data), size);
    GlobalFree(data);
    // A file the array refuses is no more loaded than one that cannot be opened.
    if (!loaded) RaiseRuntimeError(kFileMissing);
}

void LoadArrayFileHooked(const char* fileName, RuntimeArray* arrayVariable) {
    // A refused name loads nothing: the array's own checks, then the load error.
    ScopedMediaName name(g_CoreData, fileName);
    LoadArrayFile(name.Ok() ? name.Text() : nullptr, arrayVariable);
}
