#include "core/win32.h"

#include "ftp/ftp.h"
#include "ftp/ftp_server.h"
#include "ftp/ftp_state.h"
#include "core/core.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Entry {
    std::int32_t type;
    std::int32_t size;
};

// Every entry of the current remote folder by name, walked with FTPFindFirst and FTPFindNext.
std::map<std::string, Entry> ListRemote() {
    std::map<std::string, Entry> entries;
    for (int more = FTPFindFirst(), guard = 0; more && guard < 1000; more = FTPFindNext(), ++guard)
        entries[TakeString(FTPGetFileName(nullptr))] = {FTPGetFileType(), FTPGetFileSize()};
    return entries;
}

// Steps a download until it ends; the progress after every step.
std::vector<std::int32_t> StepToTheEnd() {
    std::vector<std::int32_t> progress;
    for (int guard = 0; FTPGetProgress() != -1 && guard < 100; ++guard) {
        FTPDownloadStep();
        progress.push_back(FTPGetProgress());
    }
    return progress;
}

std::vector<std::string> g_HookLog;

} // namespace

TEST_F(FtpServerTest, ConnectingWhileConnectedKeepsTheNewLoginForConnectAgain) {
    WriteServedFile(Home("home.txt"), "tester's");
    WriteServedFile(OtherHome("other.txt"), "other's");
    ConnectAsTester();
    EXPECT_EQ(FTPConnect("127.0.0.1", "other", "pw2"), 0);
    EXPECT_EQ(FTPGetStatus(), 1) << "the first connection stays";
    EXPECT_EQ(ListRemote().count("home.txt"), 1u);

    EXPECT_EQ(FTPDisconnect(), 1);
    EXPECT_EQ(FTPGetStatus(), 0);
    EXPECT_EQ(FTPFindFirst(), 0) << "no connection";
    ASSERT_EQ(FTPConnectAgain(), 1);
    EXPECT_EQ(ListRemote().count("other.txt"), 1u) << "logged in as the second user";

    // Texts that would not fit the kept buffers are refused and change nothing.
    FTPDisconnect();
    const std::string tooLong(256, 'u');
    EXPECT_EQ(FTPConnect("127.0.0.1", tooLong.c_str(), "pw2"), 0);
    EXPECT_EQ(FTPConnect(tooLong.c_str(), "other", "pw2"), 0);
    EXPECT_EQ(FTPConnect("127.0.0.1", "other", tooLong.c_str()), 0);
    EXPECT_EQ(FTPGetStatus(), 0);
    EXPECT_EQ(FTPConnectAgain(), 1);
}

TEST_F(FtpServerTest, ClosedPortsAndWrongPasswordsFailWithTheServersReason) {
    // Nothing listens on 127.0.0.2, though it is the loopback too.
    EXPECT_EQ(FTPConnect("127.0.0.2", "tester", "secret"), 0);
    EXPECT_EQ(FTPGetStatus(), 0);
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_EQ(FTPGetFailureState(), 0);

    EXPECT_EQ(FTPConnect("127.0.0.1", "tester", "wrong"), 0);
    EXPECT_EQ(FTPGetStatus(), 0);
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_EQ(FTPGetFailureState(), 0);
    const std::string reason = TakeString(FTPGetFailureReason(nullptr));
    EXPECT_EQ(reason.rfind("530", 0), 0u) << reason;

    // Only the first failure after the flag was cleared fetches a new reason.
    ConnectAsTester();
    EXPECT_EQ(FTPSetDir("no such folder"), 0);
    EXPECT_EQ(FTPGetStatus(), 1) << "the server still answers";
    const std::string setDirReason = TakeString(FTPGetFailureReason(nullptr));
    EXPECT_EQ(setDirReason.rfind("550", 0), 0u) << setDirReason;
    EXPECT_EQ(FTPPutFile("no such local file.bin"), 0);
    EXPECT_EQ(TakeString(FTPGetFailureReason(nullptr)), setDirReason);
    EXPECT_EQ(FTPGetFailureState(), 1);
}

TEST_F(FtpServerTest, PutListGetAndDeleteAFile) {
    TempFolder local;
    const std::string bytes = PatternBytes(7000, 1);
    local.Write("upload.bin", bytes);
    CreateDirectoryA(Home("sub").c_str(), nullptr);
    char oldFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, oldFolder);
    SetCurrentDirectoryA(local.Path().c_str());
    ConnectAsTester();

    g_CoreData->callbacks.beforeOpen = [](char* name) {
        g_HookLog.push_back("before " + std::string(name));
    };
    g_CoreData->callbacks.afterClose = [](char* name) {
        g_HookLog.push_back("after " + std::string(name));
    };
    EXPECT_EQ(FTPPutFileExport("upload.bin"), 1);
    g_CoreData->callbacks.beforeOpen = g_CoreData->callbacks.afterClose = nullptr;
    EXPECT_EQ(g_HookLog, (std::vector<std::string>{"before upload.bin", "after upload.bin"}));
    EXPECT_EQ(TempFolder::Read(Home("upload.bin")), bytes);
    SetCurrentDirectoryA(oldFolder);

    auto entries = ListRemote();
    ASSERT_EQ(entries.count("upload.bin"), 1u);
    EXPECT_EQ(entries["upload.bin"].type, 0);
    EXPECT_EQ(entries["upload.bin"].size, 7000);
    ASSERT_EQ(entries.count("sub"), 1u);
    EXPECT_EQ(entries["sub"].type, 1);
    EXPECT_EQ(FTPGetFileType(), -1) << "after the last entry";
    EXPECT_EQ(FTPFindNext(), 0) << "the listing is closed";
    EXPECT_EQ(FTPGetFailureState(), 0) << "the end of a listing is no failure";

    const std::string copy = local.File("copy.bin");
    EXPECT_EQ(FTPGetFile("upload.bin", copy.c_str()), 1);
    EXPECT_EQ(TempFolder::Read(copy), bytes);
    EXPECT_EQ(FTPGetProgress(), -1) << "a blocking download has no progress";
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        for (std::int32_t hint : {0, 1}) { // no local name: nothing written, and the flag says so
            EXPECT_EQ(FTPGetFile("upload.bin", none, hint), 0);
            EXPECT_EQ(FTPGetFailureState(), 1) << (none ? "empty" : "no") << " name, hint " << hint;
        }
    }

    EXPECT_EQ(FTPDeleteFile("upload.bin"), 1);
    EXPECT_FALSE(FileExists(Home("upload.bin")));
    EXPECT_EQ(FTPDeleteFile("upload.bin"), 0);
    EXPECT_EQ(FTPGetFile("upload.bin", local.File("gone.bin").c_str()), 0);
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_EQ(FTPSetDir("sub"), 1);
    EXPECT_EQ(FTPGetStatus(), 1);
}

TEST_F(FtpServerTest, SteppedDownloadsReportProgressAndEndKeptOrDeleted) {
    TempFolder local;
    const std::string bytes = PatternBytes(7000, 2);
    WriteServedFile(Home("seven.bin"), bytes);
    ConnectAsTester();

    const std::string kept = local.File("kept.bin");
    ASSERT_EQ(FTPGetFile("seven.bin", kept.c_str(), 1), 1);
    EXPECT_EQ(FTPGetProgress(), 0);
    EXPECT_EQ(StepToTheEnd(), (std::vector<std::int32_t>{43, 87, 100, -1}));
    EXPECT_EQ(TempFolder::Read(kept), bytes);
    EXPECT_EQ(FTPGetFailureState(), 0);

    // Stopped midway, the partial bytes go, and an older file of the name stays as it was;
    // the finished download stays through the abort.
    const std::string partial = local.Write("partial.bin", "older");
    ASSERT_EQ(FTPGetFile("seven.bin", partial.c_str(), 1), 1);
    FTPDownloadStep();
    EXPECT_EQ(FTPGetProgress(), 43);
    EXPECT_EQ(TempFolder::Read(partial), "older") << "the bytes go to a file beside it";
    FTPTerminateDownload();
    EXPECT_EQ(FTPGetProgress(), -1);
    EXPECT_EQ(TempFolder::Read(partial), "older");
    EXPECT_EQ(LocalFilesIn(local.Path()), (std::vector<std::string>{"kept.bin", "partial.bin"}));

    // A local file that cannot be made leaves the connection free, and a new download
    // replaces a running one, whose partial bytes go.
    EXPECT_EQ(FTPGetFile("seven.bin", local.File("no folder\\x.bin").c_str(), 1), 0);
    EXPECT_EQ(FTPSetDir("."), 1);
    ASSERT_EQ(FTPGetFile("seven.bin", partial.c_str(), 1), 1);
    FTPDownloadStep();
    ASSERT_EQ(FTPGetFile("seven.bin", local.File("again.bin").c_str(), 1), 1);
    EXPECT_EQ(StepToTheEnd(), (std::vector<std::int32_t>{43, 87, 100, -1}));
    EXPECT_EQ(TempFolder::Read(partial), "older");
    EXPECT_EQ(LocalFilesIn(local.Path()),
              (std::vector<std::string>{"again.bin", "kept.bin", "partial.bin"}));
    EXPECT_EQ(FTPDisconnect(), 1);
    EXPECT_TRUE(FileExists(kept)) << "a finished download is not the module's to delete";
}

TEST_F(FtpServerTest, TheListedSizeOrElseTheHintTellsADownloadWhole) {
    const std::string bytes = PatternBytes(2000, 4);
    WriteServedFile(Home("file.bin"), bytes);
    WriteServedFile(Home("sub\\inner.bin"), bytes);
    // sub's listing names no inner.bin: its hint stands in for its size.
    WriteServedFile(Home("sub\\.listing"), "-rw-r--r--   1 owner group 9 Jan 01  2020 other\r\n");
    const struct {
        const char* remoteName;
        std::int32_t hint;
        std::vector<std::int32_t> progress;
        bool whole;
    } cases[] = {
        {"file.bin", 1, {100, -1}, true},
        {"./file.bin", 4000, {100, -1}, true}, // listed under any spelling: the hint steps aside
        {"sub/../file.bin", 9000, {100, -1}, true},
        {"sub/inner.bin", 2000, {100, -1}, true},
        {"sub/inner.bin", 4000, {50, -1}, false}, // short of the hint
    };
    ConnectAsTester();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.remoteName) + " " + std::to_string(c.hint));
        TempFolder local;
        const std::string target = local.File("copy.bin");
        ASSERT_EQ(FTPGetFile(c.remoteName, target.c_str(), c.hint), 1);
        EXPECT_EQ(StepToTheEnd(), c.progress);
        EXPECT_EQ(FTPGetFailureState(), c.whole ? 0 : 1);
        EXPECT_EQ(LocalFilesIn(local.Path()).size(), c.whole ? 1u : 0u);
        if (c.whole) {
            EXPECT_EQ(TempFolder::Read(target), bytes);
        }
    }
}

TEST_F(FtpServerTest, ATransferCutShortOfItsListedSizeLeavesNoFile) {
    TempFolder local;
    WriteServedFile(Home("cut.bin"), PatternBytes(7000, 3));
    ConnectAsTester();
    const std::string target = local.File("cut.bin");
    ASSERT_EQ(FTPGetFile("cut.bin", target.c_str(), 1), 1);
    const std::vector<std::int32_t> progress = StepToTheEnd();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), -1);
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(FTPGetFailureState(), 1);
    EXPECT_EQ(FTPGetStatus(), 1);

    EXPECT_EQ(FTPGetFile("cut.bin", target.c_str()), 0) << "the blocking form sees it too";
    EXPECT_FALSE(FileExists(target));
}

TEST_F(FtpServerTest, HostileListingsNeitherCrashNorOverrun) {
    CreateDirectoryA(Home("crafted").c_str(), nullptr);
    const std::string longName(300, 'n');
    std::string listing;
    listing += "-rw-r--r--   1 owner group 5368709120 Jan 01  2020 huge.bin\r\n";
    listing += "-rw-r--r--   1 owner group 3221225472 Jan 01  2020 three.bin\r\n";
    listing += "-rw-r--r--   1 owner group 12 Jan 01  2020 " + longName + "\r\n";
    listing += "-rw-r--r--   1 owner group 34 Jan 01  2020 odd %s %n \"quoted\" \x01\xff name\r\n";
    // No empty or blank line: Wine 8's listing parser reads a null token on one, and the
    // process dies inside FtpFindFirstFileA.
    listing += "garbage\r\ntotal 12\r\n-rw-r--r--\r\n-rw-r--r-- 1 a b\r\n";
    listing += "drwxr-xr-x   2 owner group 4096 Jan 01  2020 folder\r\n";
    listing += std::string(5000, 'g') + "\r\n"; // Wine's parser stops at a line this long
    listing += "-rw-r--r--   1 owner group 56 Jan 01  2020 after.bin\r\n";
    WriteServedFile(Home("crafted\\.listing"), listing);
    ConnectAsTester();
    ASSERT_EQ(FTPSetDir("crafted"), 1);

    const auto entries = ListRemote();
    ASSERT_EQ(entries.count("huge.bin"), 1u);
    // Wine's parser lists every size from 2 GiB - 1 byte on as 2,147,483,647; what the module
    // makes of sizes that do not fit is checked on entries made by hand below.
    for (const auto& [name, entry] : entries) {
        EXPECT_LT(name.size(), static_cast<std::size_t>(MAX_PATH));
        EXPECT_GE(entry.size, 0);
    }
    ASSERT_EQ(entries.count("folder"), 1u);
    EXPECT_EQ(entries.at("folder").type, 1);
    EXPECT_EQ(FTPGetStatus(), 1);
}

TEST(FtpEntries, SizesThatDoNotFitAnInt32ReadAsZero) {
    struct Case {
        DWORD high, low;
        std::int32_t size;
    } cases[] = {
        {0, 0x7FFFFFFF, 0x7FFFFFFF}, {0, 0x80000000, 0}, {0, 0xC0000000, 0}, {1, 0x40000000, 0}};
    for (const Case& c : cases) {
        g_Ftp.findData.nFileSizeHigh = c.high;
        g_Ftp.findData.nFileSizeLow = c.low;
        TakeFtpEntry();
        EXPECT_EQ(FTPGetFileSize(), c.size) << c.high << " " << c.low;
    }
    g_Ftp.findData = {};
    FTPDestructor();
}

TEST(FtpEntries, OnlyListedSizesBothSidesHoldContradictAPut) {
    const struct {
        std::uint64_t sent;
        std::int64_t listed;
        bool contradicts;
    } cases[] = {{30, 30, false},
                 {30, 1000, true},
                 {30, 0, true},
                 {0x7FFFFFFE, 0x7FFFFFFF, true},
                 {3ull << 30, 0x7FFFFFFF, false}, // Wine lists 2 GiB and more at 2 GiB - 1 byte
                 {5ull << 30, 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(ListedSizeContradicts(c.sent, c.listed), c.contradicts)
            << c.sent << " " << c.listed;
}

TEST(FtpDisconnect, OnlyTheHangingUpFormEndsADialUpConnection) {
    g_Ftp.dialled = true; // as a connect that had to dial leaves it
    EXPECT_EQ(FTPDisconnect(), 1);
    EXPECT_TRUE(g_Ftp.dialled);
    EXPECT_EQ(FTPDisconnectAndHangUp(), 1);
    EXPECT_FALSE(g_Ftp.dialled);
}
