// Array files: string arrays as CR LF lines, other arrays as (index, bytes) records.
#include "core/win32.h"

#include "core/core.h"
#include "core/media.h"
#include "core/runtime_arrays.h"
#include "core/runtime_arrays_internal.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"
#include "core/replacing_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t kFirstBadType = 9;
constexpr std::int32_t kEndOfRecords = -1;

char* TextOf(void* element) {
    char* text = nullptr;
    std::memcpy(&text, element, sizeof text);
    return text;
}

// Writes a file in pieces through a buffer of its own: a list of any size is saved without a copy
// of the whole file in memory.
class PieceWriter {
public:
    explicit PieceWriter(const char* fileName)
        : file_(CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~PieceWriter() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    void Put(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0 && ok_) {
            if (used_ == sizeof buffer_) Flush();
            const std::size_t piece = std::min(size, sizeof buffer_ - used_);
            std::memcpy(buffer_ + used_, bytes, piece);
            used_ += piece;
            bytes += piece;
            size -= piece;
        }
    }
    void PutWord(std::int32_t word) { Put(&word, sizeof word); }
    // True when every byte reached the disk.
    bool Finish() {
        Flush();
        return ok_ && FlushFileBuffers(file_);
    }

private:
    void Flush() {
        DWORD written = 0;
        ok_ = ok_ && file_ != INVALID_HANDLE_VALUE &&
              (used_ == 0 ||
               (WriteFile(file_, buffer_, static_cast<DWORD>(used_), &written, nullptr) &&
                written == used_));
        used_ = 0;
    }

    HANDLE file_;
    char buffer_[16384];
    std::size_t used_ = 0;
    bool ok_ = true;
};

void WriteStringArray(RuntimeArray array, PieceWriter& out) {
    const ArrayHeader* header = GetArrayHeader(array);
    for (std::uint32_t i = 0; i < header->count; ++i) {
        if (const char* text = TextOf(array[i])) out.Put(text, std::strlen(text));
        out.Put("\r\n", 2);
    }
}

void WriteRecordArray(RuntimeArray array, PieceWriter& out) {
    const ArrayHeader* header = GetArrayHeader(array);
    out.PutWord(static_cast<std::int32_t>(header->typeCode));
    out.PutWord(static_cast<std::int32_t>(header->count));
    for (std::uint32_t i = 0; i < header->count; ++i) {
        out.PutWord(static_cast<std::int32_t>(i));
        out.Put(array[i], header->elementSize);
    }
    out.PutWord(kEndOfRecords);
}

// Writes the array's file under the name a ReplacingFile gave; false when a write fails.
bool WriteArrayFile(const char* fileName, RuntimeArray array) {
    PieceWriter out(fileName);
    if (GetArrayHeader(array)->typeCode == kArrayStringType)
        WriteStringArray(array, out);
    else
        WriteRecordArray(array, out);
    return out.Finish();
}

void FreeText(char* text) {
    if (text) ResizeModuleString(g_CoreData, &text, 0);
}

// A new text for each line of the file while there are elements left: made[k] for line k, their
// number in *lines. False, none kept and 101 raised, when one cannot be had.
bool MakeLineTexts(const char* data, std::uint32_t size, std::uint32_t count, char** made,
                   std::uint32_t* lines) {
    std::uint32_t start = 0;
    for (*lines = 0; *lines < count && start < size; ++*lines) {
        std::uint32_t end = start;
        while (end < size && !(data[end] == '\r' && end + 1 < size && data[end + 1] == '\n'))
            ++end;
        made[*lines] = NewModuleString(g_CoreData, std::uint64_t{end - start} + 1);
        if (!made[*lines]) {
            for (std::uint32_t k = 0; k < *lines; ++k)
                FreeText(made[k]);
            return false;
        }
        std::memcpy(made[*lines], data + start, end - start);
        start = end < size ? end + 2 : size;
    }
    return true;
}

// Line k of the file, for k below the array's count, replaces the text of element k. Every new
// text is made before any old one goes, so running out of memory (101) leaves every text as it
// was. False when the array has no room for a text pointer, or the file no line for an array
// that has elements.
bool LoadStringArray(RuntimeArray array, const char* data, std::uint32_t size) {
    const ArrayHeader* header = GetArrayHeader(array);
    if (header->elementSize < sizeof(char*) || (size == 0 && header->count > 0)) return false;
    auto** made = static_cast<char**>(std::calloc(std::max(header->count, 1u), sizeof(char*)));
    std::uint32_t lines = 0;
    if (!made) {
        RaiseRuntimeError(kStringNoMemory);
    } else if (MakeLineTexts(data, size, header->count, made, &lines)) {
        for (std::uint32_t k = 0; k < lines; ++k) {
            FreeText(TextOf(array[k]));
            std::memcpy(array[k], &made[k], sizeof made[k]);
        }
    }
    std::free(made);
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

// The open file whole in a block of its own (std::free it); 0, or the error: 105 for a file that
// cannot be read, 101 for one that cannot be held (2 GB or more, or no memory for it).
std::int32_t ReadOpenFile(HANDLE file, char** data, std::uint32_t* size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length)) return kFileMissing;
    if (length.QuadPart >= 0x7FFFFFFF) return kStringNoMemory;
    const auto bytes = static_cast<DWORD>(length.QuadPart);
    char* block = static_cast<char*>(std::malloc(std::size_t{bytes} + 1));
    if (!block) return kStringNoMemory;
    DWORD read = 0;
    if (!ReadFile(file, block, bytes, &read, nullptr) || read != bytes) {
        std::free(block);
        return kFileMissing;
    }
    *data = block;
    *size = bytes;
    return 0;
}

std::int32_t ReadArrayFile(const char* fileName, char** data, std::uint32_t* size) {
    HANDLE file = fileName ? CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                           : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return kFileMissing;
    const std::int32_t error = ReadOpenFile(file, data, size);
    CloseHandle(file);
    return error;
}

bool TypeIsKnown(RuntimeArray array) {
    if (GetArrayHeader(array)->typeCode < kFirstBadType) return true;
    RaiseRuntimeError(kArrayTypeIllegal);
    return false;
}

} // namespace

void SaveArrayFile(const char* fileName, RuntimeArray array) {
    if (!array || !TypeIsKnown(array)) return;
    // The name's copies are the only memory the save takes; without them nothing is written.
    NoThrow(kStringNoMemory, [&] {
        ReplacingFile file(fileName);
        if (!file.Ok() || !WriteArrayFile(file.TemporaryName(), array) || !file.Commit())
            RaiseRuntimeError(kArrayFileNotCreated);
    });
}

void LoadArrayFile(const char* fileName, RuntimeArray* arrayVariable) {
    if (!arrayVariable || !*arrayVariable || !TypeIsKnown(*arrayVariable)) return;
    RuntimeArray array = *arrayVariable;
    std::uint32_t size = 0;
    char* data = nullptr;
    const std::int32_t error = ReadArrayFile(fileName, &data, &size);
    if (error) {
        RaiseRuntimeError(error);
        return;
    }
    const bool loaded = GetArrayHeader(array)->typeCode == kArrayStringType
                            ? LoadStringArray(array, data, size)
                            : LoadRecordArray(array, reinterpret_cast<std::uint8_t*>(data), size);
    std::free(data);
    // A file the array refuses is no more loaded than one that cannot be opened.
    if (!loaded) RaiseRuntimeError(kFileMissing);
}

void LoadArrayFileHooked(const char* fileName, RuntimeArray* arrayVariable) {
    // A refused name loads nothing: the array's own checks, then the load error.
    ScopedMediaName name(g_CoreData, fileName);
    LoadArrayFile(name.Ok() ? name.Text() : nullptr, arrayVariable);
}
