// The file module's test fixture, started for each case in a temporary folder made current, and
// the helpers its cases share.
#pragma once

#include "core/win32.h"

#include "core/core.h"
#include "file/file.h"
#include "file/file_state.h"
#include "memblock/memblock.h"
#include "support/error_cell.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        FileConstructor();
        FilePassCoreData(g_CoreData);
        MemblocksConstructor(nullptr);
        start = CurrentDirectory();
        ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    }
    void TearDown() override {
        FileDestructor();
        MemblocksDestructor();
        SetCurrentDirectoryA(start.c_str());
    }
    static std::string Take(char* text) {
        std::string copy = text ? text : "<null>";
        CoreResizeString(&text, 0);
        return copy;
    }
    static std::string Line(std::int32_t slot) { return Take(ReadFileString(slot, nullptr)); }
    ErrorCellScope errors;
    TempFolder folder;
    std::string start;
};

inline std::string U32(std::uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// One member of a packed tree: its name and its bytes.
inline std::string Member(const std::string& name, const std::string& data) {
    return U32(static_cast<std::uint32_t>(name.size() + 1)) + name + '\0' +
           U32(static_cast<std::uint32_t>(data.size())) + data;
}

// A file of head, then `gap` zeros that are never written (the file system keeps them as a
// hole), then tail: a file of gigabytes that costs no disk.
inline void WriteSparse(const std::string& path, const std::string& head, std::uint64_t gap,
                        const std::string& tail = "") {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(head.size() + gap);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
    SetEndOfFile(file);
    CloseHandle(file);
}

// A file at a full path, written whole.
inline void PutFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

inline constexpr std::uint32_t kGigabyte = 1u << 30;
inline constexpr std::uint32_t kAfterPack = 0x12345678; // where a slot read past a pack must stand
using Listing = std::map<std::string, std::string>;
