#include "core/win32.h"

#include "support/failing_saves.h"
#include "support/temp_folder.h"
#include "core/core.h"

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr const char* kInner = "inner.bin"; // the file inside a folder that stands in place
constexpr const char* kFiller = "filler.bin";
// A disk larger than this is not one of the test disks (the mount is missing).
constexpr ULONGLONG kSmallDiskBytes = 64ull << 20;

// The folder the test disks are mounted in, as a Windows path; empty, with why, when unnamed.
std::string TestDisks(std::string& why) {
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("ZARVOLIN_TEST_DISKS", value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        why = "no test disks: ZARVOLIN_TEST_DISKS is unset (the ctest fixture test_disks or "
              "scripts/test-whole.sh mounts them with scripts/test-disks.sh, as root)";
        return {};
    }
    std::string path = value;
    // A Unix path: Wine shows the Unix root as drive Z:.
    if (path[0] == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}

// The names in a folder, "." and ".." left out.
std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// Writes until the disk refuses another byte; false when it never did.
bool FillDisk(const std::string& file) {
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const std::vector<char> chunk(1 << 16, 'f');
    bool full = false;
    for (DWORD size = 1 << 16; size > 0; size /= 2) {
        DWORD written = size;
        while (written == size && WriteFile(handle, chunk.data(), size, &written, nullptr)) {
        }
        full = GetLastError() == ERROR_DISK_FULL || full;
    }
    CloseHandle(handle);
    return full;
}

const char* SaveFaultName(SaveFault fault) {
    static const char* const kNames[] = {"a full disk", "a read-only folder", "a read-only file",
                                         "a folder in the file's place",
                                         "a file held open without sharing"};
    return kNames[static_cast<int>(fault)];
}

class FailingSave {
public:
    // The target `name` with the fault made; old is the file there before the save (null: none,
    // for commands that only make new files; with FolderInPlace, the bytes of the file inside).
    FailingSave(SaveFault fault, const std::string& name, const std::string* old);
    ~FailingSave();
    FailingSave(const FailingSave&) = delete;
    FailingSave& operator=(const FailingSave&) = delete;

    // Empty when the fault is made; otherwise why it cannot be here.
    const std::string& Unavailable() const { return unavailable_; }
    const std::string& Target() const { return target_; }
    // Lets go of what keeps the target from being written (the handle held, the filler), then
    // checks that the target is as it was and that nothing else was left beside it.
    ::testing::AssertionResult KeptAsItWas();

private:
    void MakeOnTestDisk(const std::string& name);
    void Release();

    SaveFault fault_;
    std::string old_;
    bool hasOld_;
    std::string unavailable_;
    std::unique_ptr<TempFolder> folder_; // where the file lives, or its writable side
    std::string target_;
    std::string filler_;
    HANDLE held_ = nullptr; // the handle holding the target open
};

} // namespace

FailingSave::FailingSave(SaveFault fault, const std::string& name, const std::string* old)
    : fault_(fault), old_(old ? *old : std::string()), hasOld_(old != nullptr) {
    if (fault == SaveFault::FullDisk || fault == SaveFault::ReadOnlyFolder) {
        MakeOnTestDisk(name);
        return;
    }
    folder_ = std::make_unique<TempFolder>();
    target_ = folder_->File(name);
    if (fault == SaveFault::FolderInPlace) {
        folder_->Write(name + "\\" + kInner, old_);
        return;
    }
    if (hasOld_) folder_->Write(name, old_);
    if (fault == SaveFault::ReadOnlyFile)
        SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_READONLY);
    if (fault == SaveFault::HeldOpen) {
        held_ = CreateFileA(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held_ == INVALID_HANDLE_VALUE) unavailable_ = "the file could not be held open";
    }
}

void FailingSave::MakeOnTestDisk(const std::string& name) {
    const std::string disks = TestDisks(unavailable_);
    if (disks.empty()) return;
    if (fault_ == SaveFault::FullDisk) {
        const std::string disk = disks + "\\small";
        ULARGE_INTEGER free{}, total{}, totalFree{};
        if (!GetDiskFreeSpaceExA(disk.c_str(), &free, &total, &totalFree) ||
            total.QuadPart > kSmallDiskBytes) {
            unavailable_ = disk + " is no small disk of its own (scripts/test-disks.sh mounts "
                                  "one there as root)";
            return;
        }
        folder_ = std::make_unique<TempFolder>(disk);
        target_ = folder_->File(name);
        filler_ = folder_->File(kFiller);
        if (hasOld_) folder_->Write(name, old_);
        if ((hasOld_ && TempFolder::Read(target_) != old_) || !FillDisk(filler_))
            unavailable_ = disk + " could not be filled";
        return;
    }
    // The file is made on the writable side of the read-only view it is saved through.
    folder_ = std::make_unique<TempFolder>(disks + "\\writable");
    const std::string leaf = folder_->Path().substr(folder_->Path().rfind('\\'));
    const std::string view = disks + "\\readonly" + leaf;
    target_ = view + "\\" + name;
    if (hasOld_) folder_->Write(name, old_);
    const std::string probe = view + "\\probe.bin";
    HANDLE handle = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        DeleteFileA(probe.c_str());
        unavailable_ = disks + "\\readonly is no read-only view of its writable folder (scripts/"
                               "test-disks.sh mounts one there as root)";
    } else if (hasOld_ && TempFolder::Read(target_) != old_) {
        unavailable_ = view + " does not show its writable folder";
    }
}

FailingSave::~FailingSave() {
    Release();
}

void FailingSave::Release() {
    if (held_ && held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    held_ = nullptr;
    if (fault_ == SaveFault::ReadOnlyFile)
        SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!filler_.empty()) DeleteFileA(filler_.c_str());
}

::testing::AssertionResult FailingSave::KeptAsItWas() {
    Release();
    const std::string folder = target_.substr(0, target_.rfind('\\'));
    const std::string name = target_.substr(folder.size() + 1);
    std::set<std::string> expected;
    if (hasOld_ || fault_ == SaveFault::FolderInPlace) expected.insert(name);
    std::set<std::string> found = Entries(folder);
    if (found != expected) {
        std::string listed;
        for (const std::string& entry : found)
            listed += " " + entry;
        return ::testing::AssertionFailure() << "the folder holds:" << listed;
    }
    const DWORD attributes = GetFileAttributesA(target_.c_str());
    if (fault_ == SaveFault::FolderInPlace) {
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            TempFolder::Read(target_ + "\\" + kInner) != old_)
            return ::testing::AssertionFailure() << "the folder in the file's place changed";
        return ::testing::AssertionSuccess();
    }
    if (!hasOld_) return ::testing::AssertionSuccess(); // the folder holds nothing: no file made
    const std::string now = TempFolder::Read(target_);
    if (now != old_)
        return ::testing::AssertionFailure()
               << "the old file of " << old_.size() << " bytes now holds " << now.size()
               << (now.size() == old_.size() ? " other bytes" : " bytes");
    return ::testing::AssertionSuccess();
}

void CheckFailingSaves(const std::vector<FailingSaveRow>& rows, const std::string& name,
                       const std::string& old) {
    RuntimeErrorRecord* const before = GetModuleErrorPointer();
    RuntimeErrorRecord cell;
    SetModuleErrorPointer(&cell);
    for (const FailingSaveRow& row : rows) {
        SCOPED_TRACE(std::string(row.writer) + " onto " + SaveFaultName(row.fault));
        FailingSave site(row.fault, name, row.oldFile ? &old : nullptr);
        if (!site.Unavailable().empty()) {
            SetModuleErrorPointer(before);
            GTEST_SKIP() << site.Unavailable();
        }
        cell.number = 0;
        row.save(site.Target());
        EXPECT_EQ(cell.number, row.error);
        EXPECT_TRUE(site.KeptAsItWas());
    }
    SetModuleErrorPointer(before);
}

void CheckFailingSaves(const char* writer, std::initializer_list<SaveFault> faults,
                       std::int32_t error, const std::function<void(const std::string&)>& save,
                       const std::string& name, const std::string& old) {
    std::vector<FailingSaveRow> rows;
    for (SaveFault fault : faults)
        rows.push_back({writer, fault, true, error, save});
    CheckFailingSaves(rows, name, old);
}

std::string SeededBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}
