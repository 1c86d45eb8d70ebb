#include "core/win32.h"

#include "support/failing_saves.h"
#include "support/temp_folder.h"
#include "core/core.h"
#include "core/replacing_file.h"

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>

namespace {

// A disk larger than this is not one of the test disks (the mount is missing).
constexpr ULONGLONG kSmallDiskBytes = 64ull << 20;
constexpr const char* kFaultNames[] = {"a full disk",
                                       "a read-only folder",
                                       "a read-only file",
                                       "a folder in the file's place",
                                       "a file held open without sharing",
                                       "a file that appears while the save runs"};

// The file that AppearsMeanwhile makes: its name in the folder and its bytes.
struct Appearing {
    std::string name, bytes;
} appearing;

void MakeAppear(const char* target) {
    const char* leaf = std::strrchr(target, '\\');
    if (_stricmp(leaf ? leaf + 1 : target, appearing.name.c_str()) == 0)
        std::ofstream(target, std::ios::binary) << appearing.bytes;
}

// Writes until the disk refuses another byte; false when it never did.
bool FillDisk(const std::string& file) {
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::vector<char> chunk(1 << 16, 'f');
    DWORD written = 0;
    for (DWORD size = 1 << 16; size > 0; size /= 2)
        while (WriteFile(handle, chunk.data(), size, &written, nullptr) && written == size) {
        }
    const bool full = GetLastError() == ERROR_DISK_FULL;
    CloseHandle(handle);
    return full;
}

std::string Listed(const std::map<std::string, std::string>& tree) {
    std::string listed;
    for (const auto& [name, bytes] : tree)
        listed += " " + name + " (" + std::to_string(bytes.size()) + " bytes)";
    return listed;
}

// A target made unwritable by its fault in a folder of its own, and what that folder held then.
struct FailingSite {
    explicit FailingSite(SaveFault f) : fault(f) {}
    SaveFault fault;
    std::unique_ptr<TempFolder> folder; // where the files are made
    std::string view;                   // the folder saved into: a read-only view, or the same
    std::string target, filler;
    HANDLE held = INVALID_HANDLE_VALUE;
    std::map<std::string, std::string> before;

    std::string Make(const std::string& name, const std::string* old);
    // Lets go of what keeps the target from being written.
    void Release() {
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        if (fault == SaveFault::ReadOnlyFile)
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!filler.empty()) DeleteFileA(filler.c_str());
        if (fault == SaveFault::AppearsMeanwhile) SetReplacingFileBeforeMove(nullptr);
    }
    ~FailingSite() { Release(); }
};

// Makes the fault, old (when given) being the file there; why it cannot be made here, or empty.
std::string FailingSite::Make(const std::string& name, const std::string* old) {
    const std::string disks = TempFolder::UnixFolder("ZARVOLIN_TEST_DISKS");
    const bool full = fault == SaveFault::FullDisk, readOnly = fault == SaveFault::ReadOnlyFolder;
    if ((full || readOnly) && disks.empty()) return "no test disks: ZARVOLIN_TEST_DISKS is unset";
    folder = std::make_unique<TempFolder>(full       ? disks + "\\small"
                                          : readOnly ? disks + "\\writable"
                                                     : "");
    const std::string leaf = folder->Path().substr(folder->Path().rfind('\\'));
    view = readOnly ? disks + "\\readonly" + leaf : folder->Path();
    target = view + "\\" + name;
    const std::string kept = fault == SaveFault::FolderInPlace ? name + "\\inner.bin" : name;
    const bool appears = fault == SaveFault::AppearsMeanwhile;
    if (old && !appears) folder->Write(kept, *old);
    before = TempFolder::Tree(view);
    if (GetFileAttributesA(view.c_str()) == INVALID_FILE_ATTRIBUTES ||
        (old && !appears && before[kept] != *old))
        return view + " does not hold what was made there: the test disks are not mounted";
    if (appears && old) {
        // Made once the save has checked, it stays as it was made.
        appearing = {name, *old};
        before[name] = *old;
        SetReplacingFileBeforeMove(MakeAppear);
    }
    if (full) {
        ULARGE_INTEGER total{};
        filler = folder->File("filler.bin");
        if (!GetDiskFreeSpaceExA(view.c_str(), nullptr, &total, nullptr) ||
            total.QuadPart > kSmallDiskBytes || !FillDisk(filler))
            return view + " is no small disk that fills";
    } else if (readOnly) {
        HANDLE probe = CreateFileA((view + "\\probe.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            return view + " is writable";
        }
    } else if (fault == SaveFault::ReadOnlyFile) {
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    } else if (fault == SaveFault::HeldOpen) {
        held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) return target + " could not be held open";
    }
    return {};
}

} // namespace

void CheckFailingSaves(const std::vector<FailingSaveRow>& rows, const std::string& name,
                       const std::string& old) {
    RuntimeErrorRecord* const before = GetModuleErrorPointer();
    RuntimeErrorRecord cell;
    SetModuleErrorPointer(&cell);
    std::string missing;
    for (const FailingSaveRow& row : rows) {
        SCOPED_TRACE(std::string(row.writer) + " onto " + kFaultNames[static_cast<int>(row.fault)]);
        FailingSite site(row.fault);
        const std::string why = site.Make(name, row.oldFile ? &old : nullptr);
        if (!why.empty()) {
            missing = why;
            continue;
        }
        cell.number = 0;
        row.save(site.target);
        EXPECT_EQ(cell.number, row.error);
        site.Release();
        const auto after = TempFolder::Tree(site.view);
        EXPECT_TRUE(after == site.before)
            << "the folder held" << Listed(site.before) << ", now" << Listed(after);
    }
    SetModuleErrorPointer(before);
    if (!missing.empty()) GTEST_SKIP() << missing;
}

void CheckFailingSaves(const char* writer, std::initializer_list<SaveFault> faults,
                       std::int32_t error, const std::function<void(const std::string&)>& save,
                       const std::string& name, const std::string& old) {
    std::vector<FailingSaveRow> rows;
    for (SaveFault fault : faults)
        rows.push_back({writer, fault, true, error, save});
    CheckFailingSaves(rows, name, old);
}

void CheckNamelessSaves(const char* writer, std::int32_t error,
                        const std::function<void(const char*)>& save) {
    RuntimeErrorRecord* const before = GetModuleErrorPointer();
    RuntimeErrorRecord cell;
    SetModuleErrorPointer(&cell);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const TempFolder folder;
    SetCurrentDirectoryA(folder.Path().c_str());
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(std::string(writer) + (name ? " with an empty name" : " with a null name"));
        cell.number = 0;
        save(name);
        EXPECT_EQ(cell.number, error);
        EXPECT_TRUE(TempFolder::Tree(folder.Path()).empty())
            << "the folder holds" << Listed(TempFolder::Tree(folder.Path()));
    }
    SetCurrentDirectoryA(current);
    SetModuleErrorPointer(before);
}

std::string SeededBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}
