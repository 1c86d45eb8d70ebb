#include "core/win32.h"

#include "core/core.h"
#include "core/core_state.h"
#include "core/frame_loop.h"
#include "core/media.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class Media : public ::testing::Test {
protected:
    void SetUp() override { LinkModules(); }
    void SetMediaFolder(const std::string& folder) {
        std::strncpy(g_CoreData->mediaFolder, folder.c_str(), kCorePathLength - 1);
    }
    TempFolder folder;
};

} // namespace

TEST_F(Media, RedirectPrefersTheMediaFolderCopyIfItFitsTheBuffer) {
    SetMediaFolder(folder.Path());
    const std::string target = folder.Write("media\\Images\\a.png", "png");
    char name[260] = "Images\\a.png";
    MediaPathRedirect(name, sizeof name);
    EXPECT_EQ(std::string(name), target);
    char missing[260] = "Images\\b.png";
    MediaPathRedirect(missing, sizeof missing);
    EXPECT_STREQ(missing, "Images\\b.png");
    MediaPathRedirect(nullptr, 260);

    folder.Write("media\\a.png", "png");
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, "a.png", 6);
    MediaPathRedirect(buffer, 6); // the longer name would not fit in six bytes
    EXPECT_STREQ(buffer, "a.png");
    for (std::size_t i = 6; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], '#');

    char unterminated[4] = {'a', 'b', 'c', 'd'};
    MediaPathRedirect(unterminated, sizeof unterminated); // no terminator: left alone
    EXPECT_EQ(std::memcmp(unterminated, "abcd", 4), 0);
}

TEST_F(Media, WholeFilesRoundTrip) {
    const std::string path = folder.File("data.bin");
    const std::string bytes("\0\1\2hello\xff", 9);
    ASSERT_TRUE(
        CoreWriteWholeFile(path.c_str(), bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    std::uint32_t size = 0;
    void* block = CoreReadWholeFile(path.c_str(), &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(block), size), bytes);
    GlobalFree(block);

    const std::string empty = folder.Write("empty.bin", "");
    block = CoreReadWholeFile(empty.c_str(), &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 0u);
    GlobalFree(block);

    size = 7;
    EXPECT_EQ(CoreReadWholeFile(folder.File("missing.bin").c_str(), &size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST_F(Media, FailedWriteLeavesTheOldFileIntact) {
    const std::string path = folder.Write("records.bin", "old contents");
    // Another program holds the file open without letting it be replaced.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CoreWriteWholeFile(path.c_str(), "new", 3));
    CloseHandle(held);
    EXPECT_EQ(TempFolder::Read(path), "old contents");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder.File("records.bin.tmp-*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file was left behind";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    EXPECT_FALSE(CoreWriteWholeFile(path.c_str(), nullptr, 5));
    EXPECT_EQ(TempFolder::Read(path), "old contents");
}

TEST_F(Media, ScramblerRoundTripsMediaFilesOnlyWithASeed) {
    SetMediaFolder(folder.Path());
    const std::string stored(300, 'x');
    std::string path = folder.Write("media\\s.wav", stored);
    MediaScramblerBeforeOpen(path.data());
    EXPECT_EQ(TempFolder::Read(path), stored) << "changed without a seed";

    g_CoreData->scramblerSeed = 0x5EED;
    MediaScramblerBeforeOpen(path.data());
    const std::string readable = TempFolder::Read(path);
    EXPECT_EQ(readable.size(), stored.size());
    EXPECT_NE(readable, stored);
    MediaScramblerAfterClose(path.data());
    EXPECT_EQ(TempFolder::Read(path), stored);

    // Files outside the media folder are never touched.
    TempFolder elsewhere;
    std::string other = elsewhere.Write("t.wav", stored);
    MediaScramblerBeforeOpen(other.data());
    EXPECT_EQ(TempFolder::Read(other), stored);
}

namespace {

struct Received {
    WPARAM code = 0;
    std::string data;
} received;

LRESULT CALLBACK DebuggerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 1034) return DefWindowProcA(window, message, wParam, lParam);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "ZIZERUDADUDUZIREDE");
    if (!mapping) return -1;
    const auto* view =
        static_cast<const std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    std::uint32_t size = 0;
    std::memcpy(&size, view, 4);
    received.code = wParam;
    received.data.assign(reinterpret_cast<const char*>(view + 4), size);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return 77;
}

} // namespace

TEST_F(Media, DebuggerLinkSendsSizeAndDataThroughTheMapping) {
    EXPECT_EQ(SendDebuggerMessage(5, "abc", 3), 0); // no debugger yet
    WNDCLASSA wc{};
    wc.lpfnWndProc = DebuggerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DebuggerProbe";
    RegisterClassA(&wc);
    HWND debugger = CreateWindowExA(0, wc.lpszClassName, "TulseDebugger", 0, 0, 0, 10, 10, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    ASSERT_NE(debugger, nullptr);
    EXPECT_EQ(SendDebuggerMessage(5, "abc", 3), 77);
    EXPECT_EQ(received.code, 5u);
    EXPECT_EQ(received.data, "abc");
    EXPECT_EQ(SendDebuggerMessage(6, nullptr, 0), 77);
    EXPECT_EQ(received.data, "");
    EXPECT_EQ(SendDebuggerMessage(6, "abc", -1), 0);

    std::int32_t breakCell = 0;
    g_CoreWindow.breakCell = &breakCell;
    SendDebuggerText("stopped at line 4");
    EXPECT_EQ(received.code, 31u);
    EXPECT_EQ(received.data, std::string("stopped at line 4", 18)); // with its terminator
    EXPECT_EQ(breakCell, 1);
    g_CoreWindow.breakCell = nullptr;
    DestroyWindow(debugger);
}

TEST_F(Media, EndProgramEndsTheLoopAtTheNextPump) {
    std::int32_t breakCell = 0;
    g_CoreWindow.breakCell = &breakCell;
    EndProgram();
    EXPECT_EQ(breakCell, 2);
    EXPECT_EQ(PumpMessages(), 1);
    g_CoreWindow.breakCell = nullptr;
    g_FrameLoop.quitSeen = 0;
}
